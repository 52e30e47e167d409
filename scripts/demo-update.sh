#!/usr/bin/env bash
# Update mode end to end on this machine: a game folder with an outdated client updater,
# an operator who publishes a newer release with launcher-admin, lighttpd serving it on
# loopback, and four runs of the launcher: the first downloads the signed package,
# verifies it, unpacks it over the updater's files and starts the new updater; the
# second finds it current; the third is handed a changed package and refuses it; the
# fourth is offered an older signed release and refuses it before the download.
# Everything lives in a temporary folder that is removed at the end.
#
# Usage: scripts/demo-update.sh [BUILD_FOLDER]   (default: build)
set -euo pipefail

repo=$(cd "$(dirname "$0")/.." && pwd)
build=${1:-build}
case $build in /*) ;; *) build=$repo/$build ;; esac

for tool in launcher launcher-admin record_args make_pe_image; do
  [ -x "$build/$tool" ] || { echo "demo-update: $build/$tool is missing; build first" >&2; exit 1; }
done
command -v lighttpd >/dev/null || { echo "demo-update: lighttpd is not installed" >&2; exit 1; }

work=$(mktemp -d "${TMPDIR:-/tmp}/launcher-demo.XXXXXX")
demo="demo-update"
# shellcheck source=scripts/demo-common.sh
source "$repo/scripts/demo-common.sh"
server_pid=
cleanup() {
  stop_lighttpd
  rm -rf "$work"
}
trap cleanup EXIT

game=$work/game        # the player's installation
www=$work/www          # what the web server serves
release=$work/release  # the operator's new client-updater release
settings=$work/settings
bin=$work/bin          # put first on the launcher's PATH
keys=$work/keys        # the operator's secret key, far from the web server
mkdir -p "$game" "$www" "$release" "$settings" "$bin" "$work/run" "$keys"

port=$(free_port)
url=http://127.0.0.1:$port/

step "Operator: launcher-admin keygen, once"
public_key=$("$build/launcher-admin" keygen "$keys/release.key")
echo "$public_key" | show
# shellcheck disable=SC2012 # a listing for the reader, as ls prints it
ls -l "$keys" | show

step "Game folder: the launcher, the installed client updater 2.0.13.4, update.inf"
cp "$build/launcher" "$game/launcher"
"$build/make_pe_image" 2.0.13.4 "$game/ClientUpdate.exe"
: >"$game/vcfile.res"   # the marker that makes the launcher compare versions
write_region_settings "$settings" "$public_key"
"$build/launcher-admin" pack "$settings" "$game/update.inf" | show
echo "update_en.ini, the region's settings inside update.inf (the PatchIP:/PatchPort:"
echo "arguments below override the server's address and port):"
show "$settings/update_en.ini"
# shellcheck disable=SC2012 # a listing for the reader, as ls prints it
(cd "$game" && ls -l | show)

step "Operator: launcher-admin publish --sign the release 2.0.13.5, then verify it"
"$build/make_pe_image" 2.0.13.5 "$release/ClientUpdate.exe"
printf '#!/bin/sh\necho "companion updater"\n' >"$release/VeltoraUpdate.exe"
chmod 755 "$release/VeltoraUpdate.exe"
echo "notes of the new updater" >"$release/ReleaseNotes.txt"
chmod 444 "$release/ReleaseNotes.txt"
"$build/launcher-admin" publish --sign "$keys/release.key" "$release" "$www" | show
echo "version.txt:"
show "$www/version.txt"
"$build/launcher-admin" verify "$public_key" "$www/version.txt" "$www/2.0.13.5.zip" | show

step "Web server: lighttpd on $url"
log=$work/access.log
start_lighttpd "$www" "$port" "$log"

# The client updater is a Windows program: the launcher starts it through wine. Here a
# small test program stands in for wine and writes down the command line it is given.
cp "$build/record_args" "$bin/wine"

run_launcher() {
  rm -f "$bin/args.txt"
  echo "\$ ./launcher $*"
  # Without a display the progress dialog draws its bar on a terminal's standard error.
  set +e
  (cd "$game" && env -u DISPLAY -u WAYLAND_DISPLAY PATH="$bin:$PATH" \
     XDG_RUNTIME_DIR="$work/run" ./launcher "$@")
  rc=$?
  set -e
  echo "launcher exit code: $rc"
  for _ in $(seq 50); do
    [ -s "$bin/args.txt" ] && break
    sleep 0.1
  done
  if [ -s "$bin/args.txt" ]; then
    echo "client updater started (through wine), one argument per line:"
    sed '/^$/d' "$bin/args.txt" | show
  else
    echo "no client updater was started"
  fi
}

step "First run: the installed updater 2.0.13.4 is outdated"
run_launcher x y z "PatchIP:$url" "PatchPort:$port"
echo "game folder afterwards:"
# shellcheck disable=SC2012 # a listing for the reader, as ls prints it
(cd "$game" && ls -l | show)
cmp -s "$game/ClientUpdate.exe" "$release/ClientUpdate.exe" || fail "ClientUpdate.exe was not replaced"
[ -x "$game/VeltoraUpdate.exe" ] || fail "VeltoraUpdate.exe lost its execute bits"
[ ! -e "$game/update.rar" ] || fail "update.rar was left behind"
[ -s "$bin/args.txt" ] || fail "the client updater was not started"
echo "ClientUpdate.exe is now the published 2.0.13.5; update.rar is unpacked and deleted"

step "Second run: the installed updater is current"
run_launcher x y z "PatchIP:$url" "PatchPort:$port"

step "Third run: a hostile mirror serves release 2.0.13.6 with one byte changed"
"$build/make_pe_image" 2.0.13.6 "$release/ClientUpdate.exe"
"$build/launcher-admin" publish --sign "$keys/release.key" "$release" "$www" | show
# One bit of the entry's time in its local header: the archive still unpacks.
byte=$(od -An -tu1 -j10 -N1 "$www/2.0.13.6.zip")
# shellcheck disable=SC2059 # the format is the byte's octal escape
printf "\\$(printf %03o $((byte ^ 1)))" | dd of="$www/2.0.13.6.zip" bs=1 seek=10 conv=notrunc status=none
"$build/launcher-admin" verify "$public_key" "$www/version.txt" "$www/2.0.13.6.zip" 2>&1 | show || true
installed=$(sha256sum <"$game/ClientUpdate.exe")
run_launcher x y z "PatchIP:$url" "PatchPort:$port" 2>&1 | grep -v '^IniFile : '
[ "$(sha256sum <"$game/ClientUpdate.exe")" = "$installed" ] || fail "the changed package was installed"
[ ! -e "$game/update.rar" ] || fail "the refused package was left behind"
echo "the changed package was refused and deleted; the installed 2.0.13.5 started"

step "Fourth run: a hostile mirror serves the older release 2.0.13.4, validly signed"
old=$work/old
mkdir -p "$old/release"
"$build/make_pe_image" 2.0.13.4 "$old/release/ClientUpdate.exe"
"$build/launcher-admin" publish --sign "$keys/release.key" "$old/release" "$old/www" | show
cp "$old/www/2.0.13.4.zip" "$old/www/version.txt" "$www/"
"$build/launcher-admin" verify --installed 2.0.13.5 "$public_key" "$www/version.txt" \
  "$www/2.0.13.4.zip" 2>&1 | show || true
run_launcher x y z "PatchIP:$url" "PatchPort:$port" 2>&1 | grep -v '^IniFile : '
[ "$(sha256sum <"$game/ClientUpdate.exe")" = "$installed" ] || fail "the older release was installed"
echo "the older release was refused before its download; the installed 2.0.13.5 started"
stop_lighttpd
# lighttpd writes its access log completely only once it has stopped.
echo "requests the server answered (the first run fetched version.txt and the package,"
echo "the second only version.txt, the third both again, the fourth only version.txt):"
show "$log"
[ "$(grep -c '2.0.13.5.zip' "$log")" = 1 ] || fail "the package was not fetched exactly once"
! grep -q '2.0.13.4.zip' "$log" || fail "the older package was fetched"

step "Done; the temporary folder is removed"
