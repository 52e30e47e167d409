#!/usr/bin/env bash
# Installs what the Windows cross build (32-bit) and its tests under Wine need, makes
# Debian's source packages reachable (the dependencies Debian has no MinGW build of
# are built from them) and the locales Wine runs in. Does nothing on a prepared machine.
set -euo pipefail

packages=(
  # MinGW-w64 for i686, the 32-bit program the players run, with the posix thread model
  # (std::thread, std::mutex)
  gcc-mingw-w64-i686-posix g++-mingw-w64-i686-posix binutils-mingw-w64-i686
  mingw-w64-i686-dev libz-mingw-w64-dev
  # and for x86_64: the tests' 64-bit stand-in updater (a 32-bit launcher on 64-bit
  # Windows must end it too)
  gcc-mingw-w64-x86-64-posix g++-mingw-w64-x86-64-posix binutils-mingw-w64-x86-64
  mingw-w64-x86-64-dev
  # Wine, 64-bit with its 32-bit half (WoW64, and 32-bit prefixes); a Chinese font for
  # the message boxes at code page 950
  wine wine64 wine32:i386 fonts-arphic-uming
  # building the dependencies from Debian's source packages
  dpkg-dev make patch autoconf automake libtool googletest libsimpleini-dev cmake ninja-build pkg-config
)

sudo_cmd=()
[ "$(id -u)" -eq 0 ] || sudo_cmd=(sudo)
export DEBIAN_FRONTEND=noninteractive

# Is there a deb-src entry for the archive the binary packages come from?
has_deb_src() {
  local f
  for f in /etc/apt/sources.list /etc/apt/sources.list.d/*.list; do
    [ -f "$f" ] && grep -qE '^[[:space:]]*deb-src[[:space:]]' "$f" && return 0
  done
  for f in /etc/apt/sources.list.d/*.sources; do
    [ -f "$f" ] && grep -qiE '^Types:.*[[:space:]]deb-src([[:space:]]|$)' "$f" && return 0
  done
  return 1
}

# Prints one "Types: deb-src" stanza for each "Types: deb" stanza of a deb822 file,
# with the same URIs, suites, components and key.
deb_src_stanzas() {
  awk '
    function flush(   k) {
      if (is_deb && ("uris" in raw)) {
        printf "\nTypes: deb-src\n"
        for (k = 1; k <= 4; k++) if (keep[k] in raw) printf "%s", raw[keep[k]]
      }
      is_deb = 0; field = ""; delete raw
    }
    BEGIN { split("uris suites components signed-by", keep, " ") }
    /^[[:space:]]*$/ { flush(); next }
    /^#/ { next }
    /^[[:space:]]/ { if (field in raw) raw[field] = raw[field] $0 "\n"; next }  # continuation
    {
      field = tolower($1); sub(/:$/, "", field)
      if (field == "types") for (i = 2; i <= NF; i++) if ($i == "deb") is_deb = 1
      if (field == "uris" || field == "suites" || field == "components" || field == "signed-by")
        raw[field] = $0 "\n"
    }
    END { flush() }
  ' "$1"
}

need_update=0
# 32-bit Wine comes from the i386 architecture.
if ! dpkg --print-foreign-architectures | grep -qx i386; then
  echo "setup-windows: adding the i386 architecture (32-bit Wine)"
  "${sudo_cmd[@]}" dpkg --add-architecture i386
  need_update=1
fi
if ! has_deb_src; then
  sources=/etc/apt/sources.list.d/debian.sources
  if [ -f "$sources" ] && [ -n "$(deb_src_stanzas "$sources")" ]; then
    echo "setup-windows: adding deb-src stanzas to $sources"
    { [ -z "$(tail -c1 "$sources")" ] || echo; deb_src_stanzas "$sources"; } | "${sudo_cmd[@]}" tee -a "$sources" >/dev/null
  elif [ -f /etc/apt/sources.list ] && grep -qE '^[[:space:]]*deb[[:space:]]' /etc/apt/sources.list; then
    echo "setup-windows: adding deb-src lines to /etc/apt/sources.list.d/debian-src.list"
    sed -nE 's/^[[:space:]]*deb([[:space:]])/deb-src\1/p' /etc/apt/sources.list |
      "${sudo_cmd[@]}" tee /etc/apt/sources.list.d/debian-src.list >/dev/null
  else
    echo "setup-windows: no Debian binary entry found to mirror as deb-src" >&2
    exit 1
  fi
  need_update=1
fi
# An entry alone is not enough: the source index must have been fetched too.
compgen -G '/var/lib/apt/lists/*_Sources*' >/dev/null || need_update=1

missing=()
for p in "${packages[@]}"; do
  if ! dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed'; then
    missing+=("$p")
  fi
done
[ ${#missing[@]} -eq 0 ] || need_update=1

if [ "$need_update" -eq 1 ]; then
  "${sudo_cmd[@]}" apt-get update -qq
fi
if [ ${#missing[@]} -gt 0 ]; then
  echo "setup-windows: installing ${missing[*]}"
  "${sudo_cmd[@]}" apt-get install -y -qq --no-install-recommends "${missing[@]}" >/dev/null
fi

# The players' locale for Wine (code page 950) and an English one (1252), made once
# into a cache folder when the system has none (scripts/wine-locale.sh).
for l in zh_TW.UTF-8 en_US.UTF-8; do
  bash "$(dirname "$0")/wine-locale.sh" "$l" >/dev/null
done
