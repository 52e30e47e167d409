#!/usr/bin/env bash
# Runs Windows programs under wine, headless, in a wine prefix of their own.
#
#   wine-run.sh [OPTIONS] PROGRAM.exe [ARGS...]   run a program, exit with its code
#                                                 (modulo 256, as on Linux: test
#                                                 programs keep theirs below 256)
#   wine-run.sh [OPTIONS] start                   prepare the prefix, keep wine up
#   wine-run.sh [OPTIONS] stop                    end wineserver and its services
#
#   --prefix DIR     the prefix (default $WINEPREFIX)
#   --arch ARCH      win64 (default: 64-bit Windows, which runs 32-bit programs under
#                    WoW64) or win32 (a 32-bit Windows)
#   --locale NAME    the Linux locale Wine takes its code page from: zh_TW.UTF-8 (code
#                    page 950, the players' system), en_US.UTF-8 or C.UTF-8 (1252, the
#                    default); made with scripts/wine-locale.sh when the system lacks it
#
# A prefix made here keeps its architecture and locale: asked for others, it is made
# anew. Programs find the code page asked for in LAUNCHER_WINE_CODE_PAGE, so that a test
# can check that the prefix really has it (GetACP()).
#
# The cross build's CMake toolchain uses this as its emulator with the build folder's
# own prefix, so ctest and gtest_discover_tests run the tests through it.
#
# wineserver and wine's services (services.exe, winedevice.exe, ...) outlive the
# program that started them and keep the standard output and error they inherited:
# started by a test, they would hold ctest's pipes open and each test would wait
# for them to linger out (or test discovery would time out). So they are started
# here with their standard streams detached, before the program runs: for good with
# "start" (end them with "stop"), or with a short linger when a program is run
# without "start".
#
# Wine needs an X server for any window (the progress dialog, message boxes): "start"
# also starts a private Xvfb for the prefix when Xvfb is installed (never the user's own
# display: runs stay headless), and every program run through the prefix while it is up
# uses it. "stop" ends it. Without "start", programs get no display and cannot show
# windows.
set -euo pipefail

prefix=${WINEPREFIX:-}
arch=win64
locale=C.UTF-8
while [ $# -ge 2 ]; do
  case $1 in
    --prefix) prefix=$2 ;;
    --arch) arch=$2 ;;
    --locale) locale=$2 ;;
    *) break ;;
  esac
  shift 2
done
if [ $# -eq 0 ] || [ -z "$prefix" ] || [[ $1 == --* ]]; then
  echo "usage: wine-run.sh [--prefix DIR] [--arch win64|win32] [--locale NAME] PROGRAM.exe [ARGS...] | start | stop" >&2
  exit 2
fi
case $arch in win64 | win32) ;; *) echo "wine-run.sh: --arch is win64 or win32, not $arch" >&2; exit 2 ;; esac
# The ANSI code page Wine derives from the locale.
case $locale in
  zh_TW.UTF-8 | zh_TW.utf8) code_page=950 ;;
  en_US.UTF-8 | en_US.utf8 | C.UTF-8 | C.utf8 | C | POSIX) code_page=1252 ;;
  *) echo "wine-run.sh: no code page known for the locale $locale" >&2; exit 2 ;;
esac

# Debian's "wine" starts its 32-bit loader whenever wine32 is installed, 64-bit programs
# included. A machine that refuses 32-bit programs (scripts/runs-32-bit.sh) needs the
# 64-bit loader named, and then has only 64-bit programs and prefixes.
wine=(wine)
if ! bash "$(dirname "$0")/runs-32-bit.sh" 2>/dev/null; then
  if [ "$arch" = win32 ]; then
    echo "wine-run.sh: a win32 prefix runs 32-bit programs, which this machine refuses" >&2
    exit 1
  fi
  export WINELOADER=/usr/lib/wine/wine64
  [ -x "$WINELOADER" ] || { echo "wine-run.sh: $WINELOADER is missing (wine64)" >&2; exit 1; }
  wine=("$WINELOADER")
fi

case $prefix in /*) ;; *) prefix=$PWD/$prefix ;; esac
[ -d "$prefix" ] || mkdir -p "$prefix"
export WINEPREFIX=${prefix%/}
export WINEARCH=$arch
export WINEDEBUG=${WINEDEBUG:--all}
# No prompts to install Mono or Gecko.
export WINEDLLOVERRIDES=${WINEDLLOVERRIDES:-mscoree,mshtml=}
locpath=$(bash "$(dirname "$0")/wine-locale.sh" "$locale")
[ -z "$locpath" ] || export LOCPATH=$locpath
unset LANGUAGE
# This shell cannot load a locale of LOCPATH itself (it reads LOCPATH at its start):
# only the programs it starts need it.
export LC_ALL=$locale LANG=$locale 2>/dev/null
export LAUNCHER_WINE_CODE_PAGE=$code_page
# What a prefix made here was made for.
settings_file=$WINEPREFIX/.wine-run-settings
settings="arch=$arch locale=$locale"
# The wineserver serving the prefix: "PID SERVER_FOLDER" (the folder is its working
# folder), so that a run can tell it is up without asking wine.
server_file=$WINEPREFIX.server
# The prefix's private X server: "PID :DISPLAY".
display_file=$WINEPREFIX.display

# Runs a command in a session of its own with no stream of ours: neither the standard
# ones nor any other descriptor (the prefix lock, a make job server's pipe).
detached() {
  (
    for fd in /proc/"$BASHPID"/fd/*; do
      fd=${fd##*/}
      [ "$fd" -gt 2 ] && eval "exec $fd>&-" 2>/dev/null
    done
    exec setsid "$@" </dev/null >/dev/null 2>&1
  )
}

display_running() {
  local pid display
  [ -r "$display_file" ] && read -r pid display <"$display_file" && [ -n "$display" ] &&
    [ "$(cat /proc/"$pid"/comm 2>/dev/null)" = Xvfb ] && echo "$display"
}

# Starts Xvfb for the prefix unless one runs; it picks a free display itself and
# writes its number once it is ready.
start_display() {
  local pid number fifo
  display_running >/dev/null && return
  command -v Xvfb >/dev/null || return 0
  fifo=$(mktemp -u "$WINEPREFIX.displayfd.XXXXXX")
  mkfifo "$fifo"
  (
    for fd in /proc/"$BASHPID"/fd/*; do
      fd=${fd##*/}
      [ "$fd" -gt 2 ] && eval "exec $fd>&-" 2>/dev/null
    done
    exec setsid Xvfb -displayfd 3 -screen 0 1024x768x24 -nolisten tcp \
      3>"$fifo" </dev/null >/dev/null 2>&1
  ) &
  pid=$!
  number=$(timeout 10 head -n1 "$fifo" || true)
  rm -f "$fifo"
  if [ -z "$number" ]; then
    kill "$pid" 2>/dev/null || true
    echo "wine-run.sh: Xvfb did not start; programs get no display" >&2
    return 0
  fi
  echo "$pid :$number" >"$display_file"
  display_new=1
}

stop_display() {
  local pid display
  if display_running >/dev/null; then
    read -r pid display <"$display_file"
    kill "$pid" 2>/dev/null || true
  fi
  rm -f "$display_file"
}

# The prefix's display for every wine process, or none (never the user's).
use_display() {
  local display
  if display=$(display_running); then
    export DISPLAY=$display
  else
    unset DISPLAY
  fi
  unset WAYLAND_DISPLAY
}

server_running() {
  local pid dir
  [ -r "$server_file" ] && read -r pid dir <"$server_file" && [ -n "$dir" ] &&
    [ /proc/"$pid"/cwd -ef "$dir" ]
}

# Finds the wineserver of this prefix: its working folder is named after the prefix's
# device and inode.
record_server() {
  local name proc dir comm
  name=$(stat -c '%d %i' "$WINEPREFIX" | awk '{ printf "server-%x-%x", $1, $2 }')
  rm -f "$server_file"
  for proc in /proc/[0-9]*; do
    read -r comm 2>/dev/null <"$proc/comm" || continue
    case $comm in wineserver*) ;; *) continue ;; esac
    dir=$(readlink "$proc/cwd" 2>/dev/null) || continue
    if [ "${dir##*/}" = "$name" ]; then
      echo "${proc#/proc/} $dir" >"$server_file"
      return
    fi
  done
}

# Starts wineserver (lingering LINGER seconds after its last program, or for good when
# LINGER is empty) and, when it was not running, wine's services; creates the prefix
# first when it is new. Several callers at once (ctest -j) take turns.
ensure_wine() {
  local linger=$1 rc=0
  exec 8>"$WINEPREFIX.lock"
  flock 8
  # A prefix of ours made for another architecture or locale is made anew.
  if [ -f "$settings_file" ] && [ "$(cat "$settings_file")" != "$settings" ]; then
    wineserver -k >/dev/null 2>&1 || true
    wineserver -w >/dev/null 2>&1 || true
    rm -f "$server_file"
    find "$WINEPREFIX" -mindepth 1 -delete
  fi
  # 0: started now, 2: one is already running for this prefix.
  detached wineserver "-p$linger" || rc=$?
  case $rc in
    0)
      if [ ! -f "$WINEPREFIX/system.reg" ]; then
        detached "${wine[@]}" wineboot -i || { echo "wine-run.sh: wineboot -i failed in $WINEPREFIX" >&2; exit 1; }
        echo "$settings" >"$settings_file"
      else
        detached "${wine[@]}" wineboot || { echo "wine-run.sh: wineboot failed in $WINEPREFIX" >&2; exit 1; }
      fi
      record_server
      ;;
    2) server_running || record_server ;;
    *) echo "wine-run.sh: wineserver did not start for $WINEPREFIX (code $rc)" >&2; exit 1 ;;
  esac
  exec 8>&-
}

case $1 in
  start)
    # A server that was started with a linger keeps it; "stop" ends it either way.
    # The display comes first: wine's services open their windows when they start.
    display_new=
    start_display
    use_display
    # Services that started without the new display (a run without "start") could not
    # host windows: start them again.
    if [ -n "$display_new" ]; then
      wineserver -k >/dev/null 2>&1 || true
      wineserver -w >/dev/null 2>&1 || true
      rm -f "$server_file"
    fi
    ensure_wine ""
    ;;
  stop)
    wineserver -k >/dev/null 2>&1 || true
    wineserver -w >/dev/null 2>&1 || true
    rm -f "$server_file"
    stop_display
    ;;
  *)
    use_display
    server_running || ensure_wine "${WINE_RUN_LINGER:-30}"
    exec "${wine[@]}" "$@"
    ;;
esac
