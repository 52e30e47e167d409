#!/usr/bin/env python3
"""Moves the files of tests/support/ into their rooms and rewrites what names them.

  scripts/move_test_support.py          git mv each file below, then rewrite
                                        `#include "support/NAME"`, "tests/support/NAME"
                                        and the CMake lists' support/NAME everywhere
  scripts/move_test_support.py --check  list what would change; exit 1 if anything

Re-runnable: a file already in its room stays, and a name already written with its room
is left alone, so it can be run again over a tree that gained files naming the old
places. A file still in tests/support/ that the table does not know is reported: give it
a room here.
"""
import pathlib
import re
import subprocess
import sys

# The rooms:
#   system/   the test process and the machine it runs on: folders, files, times, the
#             environment, processes it starts, what differs between the two systems
#   sandbox/  runs apart from the machine: PID, network, user and mount namespaces, a
#             forked child, another user, a private X server, a Wine session
#   peers/    servers: real ones (lighttpd, pyftpdlib) and our own loopback ones
#   builders/ what tests lay out and read back: zips, PE images, game folders, trees
ROOMS = {
    "system": [
        "code_page_check_win32.cpp",
        "current_folder.h", "current_folder_posix.cpp", "current_folder_win32.cpp",
        "environment.cpp", "environment.h", "environment_posix.cpp", "environment_win32.cpp",
        "file_bytes.h",
        "file_times.h", "file_times_posix.cpp", "file_times_win32.cpp",
        "host_paths.h", "host_paths_posix.cpp", "host_paths_win32.cpp",
        "name_codeset.h",
        "subprocess.cpp", "subprocess.h", "subprocess_posix.cpp", "subprocess_win32.cpp",
        "temp_dir.cpp", "temp_dir.h",
        "test_hooks_win32.cpp",
        "this_system.h", "this_system_posix.cpp", "this_system_win32.cpp",
        "time_zone.h", "time_zone_posix.cpp", "time_zone_win32.cpp",
        "tree_removal.h", "tree_removal_posix.cpp", "tree_removal_win32.cpp",
        "unreadable_file.h", "unreadable_file_posix.cpp", "unreadable_file_win32.cpp",
    ],
    "sandbox": [
        "as_player.h", "as_player_posix.cpp", "as_player_win32.cpp",
        "child_process.cpp", "child_process.h",
        "fault_sweep.cpp", "fault_sweep.h",
        "gtk_leaks.supp",
        "own_processes.h", "own_processes_posix.cpp", "own_processes_win32.cpp",
        "pid_namespace.cpp", "pid_namespace.h",
        "port21.h", "port21_posix.cpp", "port21_win32.cpp",
        "private_network.cpp", "private_network.h",
        "small_disk.cpp", "small_disk.h",
        "unprivileged.cpp", "unprivileged.h",
        "wine_session.cpp", "wine_session.h",
        "x_display.cpp", "x_display.h",
    ],
    "peers": [
        "ftp_server.py",
        "http_fault_server.cpp", "http_fault_server.h",
        "lighttpd_access_log.h",
        "lighttpd_server.cpp", "lighttpd_server.h", "lighttpd_server_posix.cpp",
        "lighttpd_server_win32.cpp",
        "loopback_socket.cpp", "loopback_socket.h", "loopback_socket_posix.cpp",
        "loopback_socket_win32.cpp",
        "peer_broker.py",
        "pyftpdlib_server.cpp", "pyftpdlib_server.h",
        "scripted_ftp_server.cpp", "scripted_ftp_server.h",
    ],
    "builders": [
        "argument_records.cpp", "argument_records.h",
        "folder_tree.cpp", "folder_tree.h",
        "game_folder.cpp", "game_folder.h",
        "update_sweep.cpp", "update_sweep.h",
        "password_zip.h", "password_zip_posix.cpp", "password_zip_win32.cpp",
        "pe_image.cpp", "pe_image.h",
        "reference_file_version.h", "reference_file_version_posix.cpp",
        "reference_file_version_win32.cpp",
        "zip_builder.cpp", "zip_builder.h",
        "zip_reader_handle.h",
    ],
}
ROOM_OF = {name: room for room, names in ROOMS.items() for name in names}

repo = pathlib.Path(__file__).resolve().parent.parent
support = repo / "tests" / "support"
# "support/NAME" where NAME is a file of the table, not already behind a room: in
# includes ("support/x.h", from tests/), paths ("tests/support/x.py") and the CMake
# lists ("${CMAKE_CURRENT_LIST_DIR}/support/x.cpp"). fuzz/support/ has other names.
NAME = re.compile(r"(?<![\w.-])support/(" + "|".join(re.escape(n) for n in ROOM_OF) + r")(?![\w.])")
# The tree's own text files; the third-party corpus is not ours to touch.
SKIP = ("tests/corpus/", "scripts/move_test_support.py")


def tracked_files():
    listing = subprocess.run(["git", "-C", str(repo), "ls-files", "-z"], check=True,
                             capture_output=True, text=True).stdout
    for relative in listing.split("\0"):
        if relative and not relative.startswith(SKIP):
            yield repo / relative


def main():
    check = "--check" in sys.argv[1:]
    changes = []
    for name, room in sorted(ROOM_OF.items()):
        if (support / name).exists():
            changes.append(f"move tests/support/{name} -> tests/support/{room}/{name}")
            if not check:
                (support / room).mkdir(exist_ok=True)
                subprocess.run(["git", "-C", str(repo), "mv", f"tests/support/{name}",
                                f"tests/support/{room}/{name}"], check=True)
    rewritten = []
    for path in tracked_files():
        if not path.is_file():
            continue
        try:
            text = path.read_text()
        except UnicodeDecodeError:
            continue
        new = NAME.sub(lambda m: f"support/{ROOM_OF[m.group(1)]}/{m.group(1)}", text)
        if new != text:
            changes.append(f"rewrite {path.relative_to(repo)}")
            if not check:
                path.write_text(new)
                rewritten.append(path)
    # The new include lines sort by room: clang-format puts them in order.
    sources = [str(path) for path in rewritten if path.suffix in (".cpp", ".h")]
    if sources:
        subprocess.run(["clang-format", "-i", *sources], check=True)
    unknown = sorted(p.name for p in support.iterdir() if p.is_file() and p.name not in ROOM_OF)
    for name in unknown:
        print(f"move_test_support: tests/support/{name} has no room in {pathlib.Path(__file__).name}")
    for change in changes:
        print(change)
    return 1 if (check and changes) or unknown else 0


if __name__ == "__main__":
    sys.exit(main())
