#!/usr/bin/env bash
# Crash mode end to end on this machine: a game folder holding a crash folder with a few
# crash archives, pyftpdlib on 127.0.0.1:21 in a private network namespace (crash mode
# always uses port 21, and nothing leaves the namespace), one run of
# "launcher crash 127.0.0.1 USER:PASS crash", then what the server received, the crash
# folder gone and "KilnDev.ini" marked. Everything lives in a temporary folder that is
# removed at the end.
#
# Usage: scripts/demo-crash.sh [BUILD_FOLDER]   (default: build)
set -euo pipefail

repo=$(cd "$(dirname "$0")/.." && pwd)
build=${1:-build}
case $build in /*) ;; *) build=$repo/$build ;; esac
python=/usr/bin/python3

[ -x "$build/launcher" ] || { echo "demo-crash: $build/launcher is missing; build first" >&2; exit 1; }
"$python" -c 'import pyftpdlib' 2>/dev/null ||
  { echo "demo-crash: pyftpdlib is not installed for $python (python3-pyftpdlib)" >&2; exit 1; }
if ! unshare -rn true 2>/dev/null; then
  echo "demo-crash: skipped: 'unshare -rn' (a private network namespace for port 21) is not allowed here" >&2
  exit 0
fi

work=$(mktemp -d "${TMPDIR:-/tmp}/launcher-crash-demo.XXXXXX")
trap 'rm -rf "$work"' EXIT

step() { printf '\n== %s\n' "$*"; }
show() { sed 's/^/   | /' "$@"; }

game=$work/game      # the player's installation
server=$work/server  # the FTP server's root folder
mkdir -p "$game/crash/old" "$server" "$work/run"
cp "$build/launcher" "$game/launcher"

step "Game folder: the launcher and a crash folder"
# Crash archives are the files whose lower-case name begins with "ra" and holds "zip".
printf 'crash report 1\n' >"$work/report.txt"
if command -v zip >/dev/null; then
  (cd "$work" && zip -q "$game/crash/RA_0001.ZIP" report.txt && zip -q "$game/crash/old/ra9.zip" report.txt)
else
  cp "$work/report.txt" "$game/crash/RA_0001.ZIP"
  cp "$work/report.txt" "$game/crash/old/ra9.zip"
fi
head -c 3000 /dev/urandom >"$game/crash/ra_0002.zip.tmp"
printf 'not an archive\n' >"$game/crash/crash.dmp"
(cd "$game" && find crash -type f -printf '%-28p %6s bytes\n' | sort | show)

step "In a private network: pyftpdlib on 127.0.0.1:21, then: launcher crash 127.0.0.1 reporter:s3cret crash"
cat >"$work/inside.sh" <<'EOF'
set -eu
ip link set lo up
/usr/bin/python3 -m pyftpdlib -i 127.0.0.1 -p 21 -w -d "$SERVER" -u reporter -P s3cret \
  >"$WORK/server.log" 2>&1 &
server_pid=$!
trap 'kill "$server_pid" 2>/dev/null || true; wait "$server_pid" 2>/dev/null || true' EXIT
for _ in $(seq 100); do
  if (exec 3<>/dev/tcp/127.0.0.1/21) 2>/dev/null; then break; fi
  sleep 0.05
done
cd "$GAME"
rc=0
XDG_RUNTIME_DIR=$WORK/run ./launcher crash 127.0.0.1 reporter:s3cret crash || rc=$?
echo "launcher exit code: $rc (crash mode always ends with 1)"
EOF
SERVER=$server GAME=$game WORK=$work unshare -rn bash "$work/inside.sh" | show

step "Server side: the files received (lower-case names, crash.dmp not among them)"
(cd "$server" && find . -type f -printf '%-28P %6s bytes\n' | sort | show)
echo "   Commands the server saw, one connection per file:"
grep -oE '(USER|STOR|APPE) .*' "$work/server.log" | sed "s#$server/##" | show || true

step "Game folder afterwards: the crash folder is gone"
if [ -e "$game/crash" ]; then echo "   crash folder still there!"; exit 1; fi
# shellcheck disable=SC2012 # a listing for the reader, as ls prints it
(cd "$game" && ls -1 | show)

step "KilnDev.ini"
show "$game/KilnDev.ini"
