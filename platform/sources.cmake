# The platform layer's sources, listed per platform. The root CMakeLists.txt includes
# this file and picks the list of the platform it builds for; GTK's is added where GTK is used.
# platform/win32/ will add its own list beside the POSIX one.

# Portable: every platform compiles these.
set(PLATFORM_COMMON_SOURCES
  ${CMAKE_CURRENT_LIST_DIR}/files.cpp
  ${CMAKE_CURRENT_LIST_DIR}/main_thread_calls.cpp
  ${CMAKE_CURRENT_LIST_DIR}/paths.cpp
  ${CMAKE_CURRENT_LIST_DIR}/progress_dialog.cpp
  ${CMAKE_CURRENT_LIST_DIR}/ui.cpp
  ${CMAKE_CURRENT_LIST_DIR}/widget_texts.cpp
)

# POSIX in name, Linux with glibc in fact (/proc, pidfd, O_PATH, accept4).
set(PLATFORM_POSIX_SOURCES
  ${CMAKE_CURRENT_LIST_DIR}/posix/console_progress_posix.cpp
  ${CMAKE_CURRENT_LIST_DIR}/posix/console_ui_posix.cpp
  ${CMAKE_CURRENT_LIST_DIR}/posix/errors_posix.cpp
  ${CMAKE_CURRENT_LIST_DIR}/posix/file_checks_posix.cpp
  ${CMAKE_CURRENT_LIST_DIR}/posix/file_stream_posix.cpp
  ${CMAKE_CURRENT_LIST_DIR}/posix/file_time_posix.cpp
  ${CMAKE_CURRENT_LIST_DIR}/posix/files_posix.cpp
  ${CMAKE_CURRENT_LIST_DIR}/posix/folder_posix.cpp
  ${CMAKE_CURRENT_LIST_DIR}/posix/folder_search_posix.cpp
  ${CMAKE_CURRENT_LIST_DIR}/posix/instance_lock_posix.cpp
  ${CMAKE_CURRENT_LIST_DIR}/posix/net_posix.cpp
  ${CMAKE_CURRENT_LIST_DIR}/posix/paths_posix.cpp
  ${CMAKE_CURRENT_LIST_DIR}/posix/private_file_posix.cpp
  ${CMAKE_CURRENT_LIST_DIR}/posix/process_posix.cpp
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

