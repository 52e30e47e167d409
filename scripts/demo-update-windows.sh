#!/usr/bin/env bash
# Update mode of the Windows program under Wine: a game folder with launcher.exe and an
# outdated client updater, a signed release of a newer one published with launcher-admin,
# lighttpd serving it on loopback (on the Linux side), and two runs of launcher.exe in a
# Wine prefix of the demonstration's own: the first downloads the package, verifies it,
# unpacks it and starts the new "ClientUpdate.exe" through ShellExecuteExA; the second
# finds it current and starts it at once. The client updater is the tests' stand-in, a
# Windows program with file version 2.0.13.5 that writes down its command line.
# Everything lives in a temporary folder that is removed at the end, but for the Wine
# prefix, which stays in WINDOWS_BUILD (wine-demo-prefix) for the next run.
#
# Usage: scripts/demo-update-windows.sh WINDOWS_BUILD LINUX_BUILD
#   WINDOWS_BUILD holds launcher.exe and record_args.exe (scripts/build-windows.sh
#   programs), LINUX_BUILD launcher-admin and make_pe_image.
set -euo pipefail

repo=$(cd "$(dirname "$0")/.." && pwd)
[ $# -eq 2 ] || { echo "usage: demo-update-windows.sh WINDOWS_BUILD LINUX_BUILD" >&2; exit 2; }
windows=$1
build=$2
case $windows in /*) ;; *) windows=$repo/$windows ;; esac
case $build in /*) ;; *) build=$repo/$build ;; esac

for tool in "$windows/launcher.exe" "$windows/record_args.exe" "$build/launcher-admin" "$build/make_pe_image"; do
  [ -f "$tool" ] || { echo "demo-update-windows: $tool is missing; build first" >&2; exit 1; }
done
command -v lighttpd >/dev/null || { echo "demo-update-windows: lighttpd is not installed" >&2; exit 1; }

work=$(mktemp -d "${TMPDIR:-/tmp}/launcher-windows-demo.XXXXXX")
demo="demo-update-windows"
# shellcheck source=scripts/demo-common.sh
source "$repo/scripts/demo-common.sh"
wine_run=("$repo/scripts/wine-run.sh" --prefix "$windows/wine-demo-prefix")
server_pid=
cleanup() {
  stop_lighttpd
  "${wine_run[@]}" stop || true
  rm -rf "$work"
}
trap cleanup EXIT

game=$work/game
www=$work/www
release=$work/release
settings=$work/settings
keys=$work/keys
mkdir -p "$game" "$www" "$release" "$settings" "$keys"

port=$(free_port)
url=http://127.0.0.1:$port/

step "Wine: a prefix of the demonstration's own, with a private X server (made on the first run)"
"${wine_run[@]}" start
echo "prefix $windows/wine-demo-prefix ready"

step "Operator: launcher-admin keygen; game folder with launcher.exe, the client updater 2.0.13.4, update.inf"
public_key=$("$build/launcher-admin" keygen "$keys/release.key")
cp "$windows/launcher.exe" "$game/launcher.exe"
"$build/make_pe_image" 2.0.13.4 "$game/ClientUpdate.exe"
: >"$game/vcfile.res"
write_region_settings "$settings" "$public_key"
"$build/launcher-admin" pack "$settings" "$game/update.inf" | show
# shellcheck disable=SC2012 # a listing for the reader, as ls prints it
(cd "$game" && ls -l | show)

step "Operator: launcher-admin publish --sign the release 2.0.13.5 (the Windows stand-in updater)"
cp "$windows/record_args.exe" "$release/ClientUpdate.exe"
echo "notes of the new updater" >"$release/ReleaseNotes.txt"
"$build/launcher-admin" publish --sign "$keys/release.key" "$release" "$www" | show
echo "version.txt:"
show "$www/version.txt"

step "Web server: lighttpd on $url"
log=$work/access.log
start_lighttpd "$www" "$port" "$log"

run_launcher() {
  rm -f "$game/args.txt" "$game/command_lines.txt"
  echo "\$ wine launcher.exe $*"
  set +e
  (cd "$game" && timeout 120 "${wine_run[@]}" launcher.exe "$@")
  rc=$?
  set -e
  echo "launcher.exe exit code: $rc"
  for _ in $(seq 100); do
    [ -s "$game/command_lines.txt" ] && break
    sleep 0.1
  done
  if [ -s "$game/command_lines.txt" ]; then
    echo "ClientUpdate.exe started through ShellExecuteExA; its command line (GetCommandLineA):"
    show "$game/command_lines.txt"
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
[ ! -e "$game/update.rar" ] || fail "update.rar was left behind"
grep -q " 4718 x y PatchIP:$url PatchPort:$port\$" "$game/command_lines.txt" ||
  fail "the client updater was not started with 4718 x y PatchIP: PatchPort:"
echo "ClientUpdate.exe is now the published 2.0.13.5; update.rar is unpacked and deleted"

step "Second run: the installed updater is current"
run_launcher x y z "PatchIP:$url" "PatchPort:$port"
[ -s "$game/command_lines.txt" ] || fail "the client updater was not started"

stop_lighttpd
echo "requests the server answered (the first run fetched version.txt and the package,"
echo "the second only version.txt):"
show "$log"
[ "$(grep -c '2.0.13.5.zip' "$log")" = 1 ] || fail "the package was not fetched exactly once"

step "Done; Wine is stopped and the temporary folder removed"
