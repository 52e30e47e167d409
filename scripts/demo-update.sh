#!/usr/bin/env bash
# Update mode end to end on this machine: a game folder with an outdated client updater,
# an operator who publishes a newer release, a web server on loopback, and two runs of
# the launcher: the first downloads and unpacks the package and starts the new updater,
# the second finds the updater current. Everything lives in a temporary folder that is
# removed at the end.
#
# Usage: scripts/demo-update.sh [BUILD_FOLDER]   (default: build)
set -euo pipefail

repo=$(cd "$(dirname "$0")/.." && pwd)
build=${1:-build}
case $build in /*) ;; *) build=$repo/$build ;; esac
shared=$(dirname "$repo")/shared
pe=$shared/corpus/pe

for tool in "$build/launcher" "$build/launcher-admin"; do
  [ -x "$tool" ] || { echo "demo-update: $tool is missing; build first" >&2; exit 1; }
done
command -v lighttpd >/dev/null || { echo "demo-update: lighttpd is not installed" >&2; exit 1; }

work=$(mktemp -d "${TMPDIR:-/tmp}/launcher-demo.XXXXXX")
server_pid=
cleanup() {
  if [ -n "$server_pid" ]; then kill "$server_pid" 2>/dev/null || true; wait "$server_pid" 2>/dev/null || true; fi
  rm -rf "$work"
}
trap cleanup EXIT

step() { printf '\n== %s\n' "$*"; }
show() { sed 's/^/   | /' "$@"; }

game=$work/game       # the player's installation
www=$work/www         # what the web server serves
release=$work/release # the operator's new client-updater release
settings=$work/settings
bin=$work/bin
mkdir -p "$game" "$www" "$release" "$settings" "$bin" "$work/run"

port=$(/usr/bin/python3 -c 'import socket; s=socket.socket(); s.bind(("127.0.0.1", 0)); print(s.getsockname()[1])')
url=http://127.0.0.1:$port/

step "Game folder: the launcher, an installed client updater, update.inf"
cp "$build/launcher" "$game/launcher"
cp "$pe/tiny64.exe" "$game/ClientUpdate.exe"   # a Windows updater, file version 1.2.3.4
chmod u+w "$game/ClientUpdate.exe"
: >"$game/vcfile.res"                            # compare versions before downloading
cat >"$settings/update_en.ini" <<EOF
[BOOT]
VersionURL=$url
DownloadURL=$url
DownloadPort=$port
ZipPath=Patch
EOF
"$build/launcher-admin" pack "$settings" "$game/update.inf"
echo "update_en.ini packed into update.inf:"
show "$settings/update_en.ini"
(cd "$game" && ls -l | show)

step "Operator: launcher-admin publish a newer release"
cp "$pe/tiny64-bigver.exe" "$release/ClientUpdate.exe"   # file version 10.0.19041.65535
echo "notes of the new updater" >"$release/ReleaseNotes.txt"
"$build/launcher-admin" publish "$release" "$www"
(cd "$www" && ls -l | show)
echo "version.txt:"
show "$www/version.txt"

step "Web server: lighttpd on $url"
log=$work/access.log
printf '%s\n' \
  "server.document-root = \"$www\"" \
  'server.bind = "127.0.0.1"' \
  "server.port = $port" \
  'server.modules = ("mod_accesslog")' \
  "accesslog.filename = \"$log\"" \
  'accesslog.format = "%r|%>s|%b bytes"' |
  lighttpd -D -f - &
server_pid=$!
for _ in $(seq 50); do
  curl -s -o /dev/null "$url" && break
  sleep 0.1
done

# wine is not installed here: this stand-in shows the command line the launcher runs
# and exits, in place of the Windows client updater.
cat >"$bin/wine" <<EOF
#!/bin/sh
{
  echo "stand-in for wine (wine is not installed): it would run the Windows program"
  echo "  \$1"
  shift
  echo "with the arguments:"
  for a in "\$@"; do echo "  [\$a]"; done
} >"$work/updater-started.txt"
EOF
chmod +x "$bin/wine"

run_launcher() {
  rm -f "$work/updater-started.txt"
  set +e
  (cd "$game" && env -u DISPLAY -u WAYLAND_DISPLAY PATH="$bin:$PATH" \
     XDG_RUNTIME_DIR="$work/run" ./launcher "$@")
  rc=$?
  set -e
  echo "launcher exit code: $rc"
  for _ in $(seq 50); do
    [ -s "$work/updater-started.txt" ] && break
    sleep 0.1
  done
  if [ -s "$work/updater-started.txt" ]; then
    echo "client updater started:"
    show "$work/updater-started.txt"
  else
    echo "no client updater was started"
  fi
}

step "First run: ./launcher Alice PatchPort:$port (the updater 1.2.3.4 is outdated)"
run_launcher Alice "PatchPort:$port"
echo "game folder afterwards (update.rar unpacked and deleted):"
(cd "$game" && ls -l | show)

step "Second run: the installed updater is now 10.0.19041.65535, as version.txt names"
run_launcher Alice "PatchPort:$port"
kill "$server_pid" 2>/dev/null || true
wait "$server_pid" 2>/dev/null || true
server_pid=
# lighttpd writes its access log completely only once it has stopped.
echo "requests the server answered (the first run fetched version.txt and the package,"
echo "the second only version.txt):"
show "$log"

step "Done; the temporary folder is removed"
