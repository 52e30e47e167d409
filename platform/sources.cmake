# The platform layer's sources, listed per platform. The root CMakeLists.txt includes
# this file and picks the list of the platform it builds for; GTK's is added where GTK is used.

# Portable: every platform compiles these.
set(PLATFORM_COMMON_SOURCES
  ${CMAKE_CURRENT_LIST_DIR}/fault_injection.cpp
  ${CMAKE_CURRENT_LIST_DIR}/files.cpp
  ${CMAKE_CURRENT_LIST_DIR}/main_thread_calls.cpp
  ${CMAKE_CURRENT_LIST_DIR}/paths.cpp
  ${CMAKE_CURRENT_LIST_DIR}/pe_file_version.cpp
  ${CMAKE_CURRENT_LIST_DIR}/progress_dialog.cpp
  ${CMAKE_CURRENT_LIST_DIR}/ui.cpp
  ${CMAKE_CURRENT_LIST_DIR}/widget_texts.cpp
)

# The POSIX backend: *_posix.cpp needs any POSIX system with glibc, *_linux.cpp Linux
# itself (/proc, pidfd, O_PATH, accept4); each of those says what it takes.
set(PLATFORM_POSIX_SOURCES
  ${CMAKE_CURRENT_LIST_DIR}/posix/console_progress_posix.cpp
  ${CMAKE_CURRENT_LIST_DIR}/posix/console_ui_posix.cpp
  ${CMAKE_CURRENT_LIST_DIR}/posix/errors_posix.cpp
  ${CMAKE_CURRENT_LIST_DIR}/posix/fault_injection_posix.cpp
  ${CMAKE_CURRENT_LIST_DIR}/posix/file_checks_posix.cpp
  ${CMAKE_CURRENT_LIST_DIR}/posix/file_stream_posix.cpp
  ${CMAKE_CURRENT_LIST_DIR}/posix/file_time_posix.cpp
  ${CMAKE_CURRENT_LIST_DIR}/posix/file_version_posix.cpp
  ${CMAKE_CURRENT_LIST_DIR}/posix/files_linux.cpp
  ${CMAKE_CURRENT_LIST_DIR}/posix/folder_linux.cpp
  ${CMAKE_CURRENT_LIST_DIR}/posix/folder_search_posix.cpp
  ${CMAKE_CURRENT_LIST_DIR}/posix/instance_lock_posix.cpp
  ${CMAKE_CURRENT_LIST_DIR}/posix/name_index_posix.cpp
  ${CMAKE_CURRENT_LIST_DIR}/posix/net_linux.cpp
  ${CMAKE_CURRENT_LIST_DIR}/posix/paths_linux.cpp
  ${CMAKE_CURRENT_LIST_DIR}/posix/private_file_posix.cpp
  ${CMAKE_CURRENT_LIST_DIR}/posix/process_linux.cpp
  ${CMAKE_CURRENT_LIST_DIR}/posix/search_file_posix.cpp
  ${CMAKE_CURRENT_LIST_DIR}/posix/system_posix.cpp
  ${CMAKE_CURRENT_LIST_DIR}/posix/text_posix.cpp
  ${CMAKE_CURRENT_LIST_DIR}/posix/ui_backend_posix.cpp
)

# The GTK 3 user interface, which the POSIX backend chooses when the build has it
# (HAVE_GTK3).
set(PLATFORM_GTK_SOURCES
  ${CMAKE_CURRENT_LIST_DIR}/gtk/gtk_progress_dialog.cpp
  ${CMAKE_CURRENT_LIST_DIR}/gtk/gtk_ui.cpp
  ${CMAKE_CURRENT_LIST_DIR}/gtk/gtk_widget_texts.cpp
)


# Win32 (Windows 7 and later, x64), cross-built with MinGW-w64.
set(PLATFORM_WIN32_SOURCES
  ${CMAKE_CURRENT_LIST_DIR}/win32/errors_win32.cpp
  ${CMAKE_CURRENT_LIST_DIR}/win32/fault_injection_win32.cpp
  ${CMAKE_CURRENT_LIST_DIR}/win32/file_checks_win32.cpp
  ${CMAKE_CURRENT_LIST_DIR}/win32/file_stream_win32.cpp
  ${CMAKE_CURRENT_LIST_DIR}/win32/file_time_win32.cpp
  ${CMAKE_CURRENT_LIST_DIR}/win32/file_version_win32.cpp
  ${CMAKE_CURRENT_LIST_DIR}/win32/files_win32.cpp
  ${CMAKE_CURRENT_LIST_DIR}/win32/folder_win32.cpp
  ${CMAKE_CURRENT_LIST_DIR}/win32/folder_search_win32.cpp
  ${CMAKE_CURRENT_LIST_DIR}/win32/net_win32.cpp
  ${CMAKE_CURRENT_LIST_DIR}/win32/paths_win32.cpp
  ${CMAKE_CURRENT_LIST_DIR}/win32/private_file_win32.cpp
  ${CMAKE_CURRENT_LIST_DIR}/win32/process_win32.cpp
  ${CMAKE_CURRENT_LIST_DIR}/win32/progress_dialog_win32.cpp
  ${CMAKE_CURRENT_LIST_DIR}/win32/search_file_win32.cpp
  ${CMAKE_CURRENT_LIST_DIR}/win32/system_win32.cpp
  ${CMAKE_CURRENT_LIST_DIR}/win32/test_hooks_win32.cpp
  ${CMAKE_CURRENT_LIST_DIR}/win32/text_win32.cpp
  ${CMAKE_CURRENT_LIST_DIR}/win32/ui_win32.cpp
)
# Linked into every program that links the core (a resource in a static library would
# be dropped): the progress dialog's template.
set(PLATFORM_WIN32_RESOURCES ${CMAKE_CURRENT_LIST_DIR}/win32/progress_dialog.rc)
# The program resources (manifest, VERSIONINFO) of each Windows program.
set(PLATFORM_WIN32_LAUNCHER_RESOURCES ${CMAKE_CURRENT_LIST_DIR}/win32/launcher.rc)
set(PLATFORM_WIN32_ADMIN_RESOURCES ${CMAKE_CURRENT_LIST_DIR}/win32/launcher_admin.rc)
# Windows 7 is the oldest system the backend's calls need (WSA_FLAG_NO_HANDLE_INHERIT,
# the process-status functions in kernel32).
set(PLATFORM_WIN32_DEFINITIONS WIN32_LEAN_AND_MEAN NOMINMAX _WIN32_WINNT=0x0601 PSAPI_VERSION=2)
set(PLATFORM_WIN32_LIBRARIES ws2_32 comctl32 version shell32 shlwapi user32 advapi32)
