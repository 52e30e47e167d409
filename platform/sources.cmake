# The platform layer's sources, listed per platform. The root CMakeLists.txt includes
# this file after looking for GTK 3 and builds PLATFORM_SOURCES into the core.
# platform/win32/ will add its own list beside the POSIX one.

set(_platform ${CMAKE_CURRENT_LIST_DIR})

# Portable: every platform compiles these.
set(PLATFORM_COMMON_SOURCES
  ${_platform}/files.cpp
  ${_platform}/main_thread_calls.cpp
  ${_platform}/paths.cpp
  ${_platform}/progress_dialog.cpp
  ${_platform}/ui.cpp
  ${_platform}/widget_texts.cpp
)

# POSIX in name, Linux with glibc in fact (/proc, pidfd, O_PATH, accept4).
set(PLATFORM_POSIX_SOURCES
  ${_platform}/posix/console_progress_posix.cpp
  ${_platform}/posix/console_ui_posix.cpp
  ${_platform}/posix/errors_posix.cpp
  ${_platform}/posix/file_checks_posix.cpp
  ${_platform}/posix/file_stream_posix.cpp
  ${_platform}/posix/file_time_posix.cpp
  ${_platform}/posix/files_posix.cpp
  ${_platform}/posix/folder_search_posix.cpp
  ${_platform}/posix/instance_lock_posix.cpp
  ${_platform}/posix/net_posix.cpp
  ${_platform}/posix/paths_posix.cpp
  ${_platform}/posix/process_posix.cpp
  ${_platform}/posix/search_file_posix.cpp
  ${_platform}/posix/system_posix.cpp
  ${_platform}/posix/text_posix.cpp
  ${_platform}/posix/ui_backend_posix.cpp
)

# The GTK 3 user interface, which the POSIX backend chooses when the build has it
# (HAVE_GTK3).
set(PLATFORM_GTK_SOURCES
  ${_platform}/gtk/gtk_progress_dialog.cpp
  ${_platform}/gtk/gtk_ui.cpp
  ${_platform}/gtk/gtk_widget_texts.cpp
)

set(PLATFORM_SOURCES ${PLATFORM_COMMON_SOURCES} ${PLATFORM_POSIX_SOURCES})
if(GTK3_FOUND)
  list(APPEND PLATFORM_SOURCES ${PLATFORM_GTK_SOURCES})
endif()
unset(_platform)
