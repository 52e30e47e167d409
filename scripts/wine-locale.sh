#!/usr/bin/env bash
# Makes a locale Wine can run in (Wine takes its ANSI code page from it) and prints
# the folder to give Wine as LOCPATH, or nothing when the system has the locale.
#
#   wine-locale.sh LOCALE        zh_TW.UTF-8 (code page 950), en_US.UTF-8 (1252), ...
#
# A missing locale is made with localedef from the locales' sources (no root needed)
# into ${XDG_CACHE_HOME:-$HOME/.cache}/launcher-locales/<glibc version>, once.
set -euo pipefail
locale=${1:?usage: wine-locale.sh LOCALE}
normalized() { echo "$1" | tr '[:upper:]' '[:lower:]' | sed 's/utf-8/utf8/'; }
wanted=$(normalized "$locale")
for l in $(locale -a); do
  [ "$(normalized "$l")" != "$wanted" ] || exit 0
done
glibc=$(getconf GNU_LIBC_VERSION | tr ' ' '-')
dir=${XDG_CACHE_HOME:-$HOME/.cache}/launcher-locales/$glibc
if [ ! -f "$dir/$locale/LC_CTYPE" ]; then
  name=${locale%%.*} charmap=${locale#*.}
  [ "$charmap" != "$locale" ] || charmap=UTF-8
  mkdir -p "$dir"
  # Made beside its place and renamed: a locale folder is complete or absent.
  tmp=$(mktemp -d "$dir/.tmp.XXXXXX")
  trap 'rm -rf "$tmp"' EXIT
  if ! localedef -i "$name" -f "$charmap" "$tmp/$locale" >"$tmp/log" 2>&1 || [ ! -f "$tmp/$locale/LC_CTYPE" ]; then
    echo "wine-locale.sh: localedef could not make $locale:" >&2
    cat "$tmp/log" >&2
    exit 1
  fi
  mv -T "$tmp/$locale" "$dir/$locale" 2>/dev/null || [ -f "$dir/$locale/LC_CTYPE" ]
fi
echo "$dir"
