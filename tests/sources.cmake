# The tests' sources, listed per platform. The root CMakeLists.txt includes this file
# and builds, for the system it builds for, the portable lists and that system's own:
# launcher_tests on Linux, launcher_tests.exe for Windows (run under Wine).

# The tests' process starter, loopback sockets and real peers, which the benchmarks use
# too. Each <name>_posix.cpp / <name>_win32.cpp pair is one piece of support for the
# two systems, as in the platform layer.
set(TEST_SUPPORT_LIBRARY_COMMON_SOURCES
  ${CMAKE_CURRENT_LIST_DIR}/support/peers/lighttpd_server.cpp
  ${CMAKE_CURRENT_LIST_DIR}/support/peers/loopback_socket.cpp
  ${CMAKE_CURRENT_LIST_DIR}/support/system/subprocess.cpp
)
set(TEST_SUPPORT_LIBRARY_POSIX_SOURCES
  ${CMAKE_CURRENT_LIST_DIR}/support/system/host_paths_posix.cpp
  ${CMAKE_CURRENT_LIST_DIR}/support/peers/lighttpd_server_posix.cpp
  ${CMAKE_CURRENT_LIST_DIR}/support/peers/loopback_socket_posix.cpp
  ${CMAKE_CURRENT_LIST_DIR}/support/peers/pyftpdlib_server.cpp
  ${CMAKE_CURRENT_LIST_DIR}/support/system/subprocess_posix.cpp
)
# lighttpd comes from the Linux side's peer broker (support/peers/peer_broker.py).
set(TEST_SUPPORT_LIBRARY_WIN32_SOURCES
  ${CMAKE_CURRENT_LIST_DIR}/support/system/host_paths_win32.cpp
  ${CMAKE_CURRENT_LIST_DIR}/support/peers/lighttpd_server_win32.cpp
  ${CMAKE_CURRENT_LIST_DIR}/support/peers/loopback_socket_win32.cpp
  ${CMAKE_CURRENT_LIST_DIR}/support/system/subprocess_win32.cpp
)

# The rest of the test support.
set(TEST_SUPPORT_COMMON_SOURCES
  ${CMAKE_CURRENT_LIST_DIR}/support/builders/argument_records.cpp
  ${CMAKE_CURRENT_LIST_DIR}/support/system/environment.cpp
  ${CMAKE_CURRENT_LIST_DIR}/support/peers/http_fault_server.cpp
  ${CMAKE_CURRENT_LIST_DIR}/support/builders/pe_image.cpp
  ${CMAKE_CURRENT_LIST_DIR}/support/peers/scripted_ftp_server.cpp
  ${CMAKE_CURRENT_LIST_DIR}/support/system/temp_dir.cpp
  ${CMAKE_CURRENT_LIST_DIR}/support/builders/zip_builder.cpp
  ${CMAKE_CURRENT_LIST_DIR}/support/sandbox/fault_sweep.cpp
  ${CMAKE_CURRENT_LIST_DIR}/support/builders/update_sweep.cpp
)
set(TEST_SUPPORT_POSIX_SOURCES
  ${CMAKE_CURRENT_LIST_DIR}/support/sandbox/as_player_posix.cpp
  ${CMAKE_CURRENT_LIST_DIR}/support/system/current_folder_posix.cpp
  ${CMAKE_CURRENT_LIST_DIR}/support/system/environment_posix.cpp
  ${CMAKE_CURRENT_LIST_DIR}/support/system/file_times_posix.cpp
  ${CMAKE_CURRENT_LIST_DIR}/support/builders/password_zip_posix.cpp
  ${CMAKE_CURRENT_LIST_DIR}/support/builders/reference_file_version_posix.cpp
  ${CMAKE_CURRENT_LIST_DIR}/support/system/this_system_posix.cpp
  ${CMAKE_CURRENT_LIST_DIR}/support/system/time_zone_posix.cpp
  ${CMAKE_CURRENT_LIST_DIR}/support/system/tree_removal_posix.cpp
  ${CMAKE_CURRENT_LIST_DIR}/support/system/unreadable_file_posix.cpp
  # Linux only (fork, namespaces, setpriv, Xvfb): for the Linux-only tests.
  ${CMAKE_CURRENT_LIST_DIR}/support/sandbox/child_process.cpp
  ${CMAKE_CURRENT_LIST_DIR}/support/builders/folder_tree.cpp
  ${CMAKE_CURRENT_LIST_DIR}/support/builders/game_folder.cpp
  ${CMAKE_CURRENT_LIST_DIR}/support/sandbox/own_processes_posix.cpp
  ${CMAKE_CURRENT_LIST_DIR}/support/sandbox/pid_namespace.cpp
  ${CMAKE_CURRENT_LIST_DIR}/support/sandbox/port21_posix.cpp
  ${CMAKE_CURRENT_LIST_DIR}/support/sandbox/private_network.cpp
  ${CMAKE_CURRENT_LIST_DIR}/support/sandbox/small_disk.cpp
  ${CMAKE_CURRENT_LIST_DIR}/support/sandbox/unprivileged.cpp
  ${CMAKE_CURRENT_LIST_DIR}/support/sandbox/user_namespace.cpp
  ${CMAKE_CURRENT_LIST_DIR}/support/sandbox/x_display.cpp
)
set(TEST_SUPPORT_WIN32_SOURCES
  ${CMAKE_CURRENT_LIST_DIR}/support/sandbox/as_player_win32.cpp
  ${CMAKE_CURRENT_LIST_DIR}/support/system/code_page_check_win32.cpp
  ${CMAKE_CURRENT_LIST_DIR}/support/system/current_folder_win32.cpp
  ${CMAKE_CURRENT_LIST_DIR}/support/system/environment_win32.cpp
  ${CMAKE_CURRENT_LIST_DIR}/support/system/file_times_win32.cpp
  ${CMAKE_CURRENT_LIST_DIR}/support/sandbox/own_processes_win32.cpp
  ${CMAKE_CURRENT_LIST_DIR}/support/builders/password_zip_win32.cpp
  ${CMAKE_CURRENT_LIST_DIR}/support/sandbox/port21_win32.cpp
  ${CMAKE_CURRENT_LIST_DIR}/support/builders/reference_file_version_win32.cpp
  ${CMAKE_CURRENT_LIST_DIR}/support/system/test_hooks_win32.cpp
  ${CMAKE_CURRENT_LIST_DIR}/support/system/this_system_win32.cpp
  ${CMAKE_CURRENT_LIST_DIR}/support/system/time_zone_win32.cpp
  ${CMAKE_CURRENT_LIST_DIR}/support/system/tree_removal_win32.cpp
  ${CMAKE_CURRENT_LIST_DIR}/support/system/unreadable_file_win32.cpp
)

# Tests of behaviour every system shares.
set(TEST_COMMON_SOURCES
  ${CMAKE_CURRENT_LIST_DIR}/config/catalogue_test.cpp
  ${CMAKE_CURRENT_LIST_DIR}/config/configuration_test.cpp
  ${CMAKE_CURRENT_LIST_DIR}/config/ini_file_test.cpp
  ${CMAKE_CURRENT_LIST_DIR}/ftp/blocking_socket_test.cpp
  ${CMAKE_CURRENT_LIST_DIR}/ftp/crash_upload_port21_test.cpp
  ${CMAKE_CURRENT_LIST_DIR}/ftp/crash_upload_test.cpp
  ${CMAKE_CURRENT_LIST_DIR}/ftp/ftp_client_test.cpp
  ${CMAKE_CURRENT_LIST_DIR}/ftp/ftp_reply_test.cpp
  ${CMAKE_CURRENT_LIST_DIR}/launcher/command_line_test.cpp
  ${CMAKE_CURRENT_LIST_DIR}/launcher/hand_over_unpack_test.cpp
  ${CMAKE_CURRENT_LIST_DIR}/platform/fault_injection_test.cpp
  ${CMAKE_CURRENT_LIST_DIR}/platform/files_test.cpp
  ${CMAKE_CURRENT_LIST_DIR}/platform/folder_search_test.cpp
  ${CMAKE_CURRENT_LIST_DIR}/platform/paths_test.cpp
  ${CMAKE_CURRENT_LIST_DIR}/platform/strings_test.cpp
  ${CMAKE_CURRENT_LIST_DIR}/platform/system_test.cpp
  ${CMAKE_CURRENT_LIST_DIR}/platform/text_test.cpp
  ${CMAKE_CURRENT_LIST_DIR}/tools/check_test.cpp
  ${CMAKE_CURRENT_LIST_DIR}/transfer/file_download_test.cpp
  ${CMAKE_CURRENT_LIST_DIR}/transfer/progress_bar_dlg_test.cpp
  ${CMAKE_CURRENT_LIST_DIR}/transfer/thread_test.cpp
  ${CMAKE_CURRENT_LIST_DIR}/unzip/zip_corpus_test.cpp
  ${CMAKE_CURRENT_LIST_DIR}/unzip/zip_item_rules_test.cpp
  ${CMAKE_CURRENT_LIST_DIR}/unzip/zip_reader_flush_test.cpp
  ${CMAKE_CURRENT_LIST_DIR}/unzip/zip_reader_fuzz_finds_test.cpp
  ${CMAKE_CURRENT_LIST_DIR}/unzip/zip_reader_test.cpp
  ${CMAKE_CURRENT_LIST_DIR}/update/file_version_test.cpp
  ${CMAKE_CURRENT_LIST_DIR}/update/package_file_fault_test.cpp
  ${CMAKE_CURRENT_LIST_DIR}/update/package_signature_test.cpp
  ${CMAKE_CURRENT_LIST_DIR}/update/package_verification_test.cpp
  ${CMAKE_CURRENT_LIST_DIR}/update/patch_step_test.cpp
  ${CMAKE_CURRENT_LIST_DIR}/update/release_statement_test.cpp
  ${CMAKE_CURRENT_LIST_DIR}/update/version_check_test.cpp
)
# Linux only: what the end-to-end suites run (the built programs in a game folder, in
# PID and network namespaces, as another user, on an X display), what Linux alone has
# (/proc, file modes, symbolic links, locales, fork) and what needs Linux peers the
# test waits for (Info-ZIP, exiftool, OpenSSL). Each file says why it is here.
set(TEST_LINUX_SOURCES
  ${CMAKE_CURRENT_LIST_DIR}/config/catalogue_locale_linux_test.cpp
  ${CMAKE_CURRENT_LIST_DIR}/config/ini_file_linux_test.cpp
  ${CMAKE_CURRENT_LIST_DIR}/ftp/crash_mode_end_to_end_test.cpp
  ${CMAKE_CURRENT_LIST_DIR}/ftp/crash_upload_linux_test.cpp
  ${CMAKE_CURRENT_LIST_DIR}/ftp/fault_sweep_crash_test.cpp
  ${CMAKE_CURRENT_LIST_DIR}/ftp/folder_tree_deletion_test.cpp
  ${CMAKE_CURRENT_LIST_DIR}/launcher/command_line_linux_test.cpp
  ${CMAKE_CURRENT_LIST_DIR}/launcher/entry_point_test.cpp
  ${CMAKE_CURRENT_LIST_DIR}/launcher/fault_sweep_update_test.cpp
  ${CMAKE_CURRENT_LIST_DIR}/launcher/hand_over_test.cpp
  ${CMAKE_CURRENT_LIST_DIR}/launcher/process_terminator_test.cpp
  ${CMAKE_CURRENT_LIST_DIR}/launcher/update_mode_hand_over_test.cpp
  ${CMAKE_CURRENT_LIST_DIR}/launcher/update_mode_https_test.cpp
  ${CMAKE_CURRENT_LIST_DIR}/launcher/update_mode_signature_test.cpp
  ${CMAKE_CURRENT_LIST_DIR}/launcher/update_mode_test.cpp
  ${CMAKE_CURRENT_LIST_DIR}/launcher/write_access_test.cpp
  ${CMAKE_CURRENT_LIST_DIR}/platform/files_linux_test.cpp
  ${CMAKE_CURRENT_LIST_DIR}/platform/folder_search_linux_test.cpp
  ${CMAKE_CURRENT_LIST_DIR}/platform/paths_linux_test.cpp
  ${CMAKE_CURRENT_LIST_DIR}/platform/system_linux_test.cpp
  ${CMAKE_CURRENT_LIST_DIR}/tools/check_https_linux_test.cpp
  ${CMAKE_CURRENT_LIST_DIR}/tools/launcher_admin_test.cpp
  ${CMAKE_CURRENT_LIST_DIR}/tools/publish_test.cpp
  ${CMAKE_CURRENT_LIST_DIR}/tools/signing_test.cpp
  ${CMAKE_CURRENT_LIST_DIR}/transfer/file_download_linux_test.cpp
  ${CMAKE_CURRENT_LIST_DIR}/transfer/progress_dialog_display_test.cpp
  ${CMAKE_CURRENT_LIST_DIR}/unzip/zip_info_zip_test.cpp
  ${CMAKE_CURRENT_LIST_DIR}/unzip/zip_reader_linux_test.cpp
)
# Windows only: what Windows alone has.
set(TEST_WINDOWS_SOURCES
  ${CMAKE_CURRENT_LIST_DIR}/launcher/process_terminator_windows_test.cpp
)

# Small programs the tests run. record_args is the stand-in client updater; on Windows
# it carries a file version of its own (record_args.rc).
set(TEST_PROGRAM_COMMON_SOURCES
  ${CMAKE_CURRENT_LIST_DIR}/programs/record_args.cpp
)
set(TEST_PROGRAM_POSIX_SOURCES
  ${CMAKE_CURRENT_LIST_DIR}/programs/record_args_posix.cpp
)
# Linux only: writes PE images with a chosen file version (the demonstration uses it).
set(TEST_PROGRAM_MAKE_PE_IMAGE_SOURCES
  ${CMAKE_CURRENT_LIST_DIR}/programs/make_pe_image.cpp
  ${CMAKE_CURRENT_LIST_DIR}/support/builders/pe_image.cpp
)
set(TEST_PROGRAM_WIN32_SOURCES
  ${CMAKE_CURRENT_LIST_DIR}/programs/record_args_win32.cpp
)
# Shows the launcher's own dialog under a display, on either system.
set(TEST_PROGRAM_DIALOG_SOURCES
  ${CMAKE_CURRENT_LIST_DIR}/programs/progress_dialog_driver.cpp
)
# Windows only: the launcher's dialog, read back from its controls under Wine.
set(TEST_PROGRAM_WIN32_DIALOG_SOURCES
  ${CMAKE_CURRENT_LIST_DIR}/programs/progress_dialog_controls.cpp
)
# Windows only: prints GetACP(), which the Wine tests check before they trust a prefix.
set(TEST_PROGRAM_WIN32_CODE_PAGE_SOURCES
  ${CMAKE_CURRENT_LIST_DIR}/programs/code_page_win32.cpp
)

# Linux tests of the Windows build's programs under Wine (launcher_wine_tests, built
# when LAUNCHER_WINDOWS_BUILD_DIR names a Windows test build), and their support.
set(TEST_WINE_SOURCES
  ${CMAKE_CURRENT_LIST_DIR}/wine/crash_mode_wine_test.cpp
  ${CMAKE_CURRENT_LIST_DIR}/wine/crash_upload_wine_test.cpp
  ${CMAKE_CURRENT_LIST_DIR}/wine/fault_sweep_wine_test.cpp
  ${CMAKE_CURRENT_LIST_DIR}/wine/message_box_wine_test.cpp
  ${CMAKE_CURRENT_LIST_DIR}/wine/progress_dialog_wine_test.cpp
  ${CMAKE_CURRENT_LIST_DIR}/wine/update_mode_wine_test.cpp
)
set(TEST_SUPPORT_WINE_SOURCES
  ${CMAKE_CURRENT_LIST_DIR}/support/sandbox/wine_session.cpp
)
