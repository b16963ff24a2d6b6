# The uninstaller's sources, listed (a new file is named here). Files ending _win.cpp are the
# Windows side; the others are the portable reading code, which the host build compiles too (for
# the packer's plan and check, the host tests and the fuzzer). Sets ALL_PRODUCT_SOURCES (every
# file), PORTABLE_SOURCES and STUB_ENTRY_SOURCES (the entry point and the runtime routines, linked
# into the stub itself); expects SRC.
set(STUB_FILES
  common/current_folder_win.cpp common/file_io.cpp common/memory.cpp common/nt_files_win.cpp
  common/system_library_win.cpp
  common/text.cpp
  data/data_offset_win.cpp data/load_win.cpp data/loader.cpp data/messages.cpp data/uninstall_data.cpp
  driver/crt_win.cpp driver/driver_win.cpp driver/entry_win.cpp
  paths/canonical_path_win.cpp paths/folder_tokens_win.cpp paths/protected_folders_win.cpp
  paths/special_folders_win.cpp
  run/options.cpp
  removal/entry_paths.cpp removal/fault_guard_win.cpp removal/file_mask.cpp removal/files_win.cpp
  removal/folders_win.cpp removal/font_name.cpp removal/pattern_guard.cpp removal/reach_check_win.cpp
  removal/registry_guard.cpp removal/registry_win.cpp removal/removal_log_win.cpp
  removal/restart_win.cpp removal/servers_fonts_win.cpp
  shell/command_split.cpp shell/processes_win.cpp shell/run_first_win.cpp shell/shell_text.cpp
  ui/ui_win.cpp)
set(ALL_PRODUCT_SOURCES)
foreach(file ${STUB_FILES})
  list(APPEND ALL_PRODUCT_SOURCES ${SRC}/${file})
endforeach()
set(PORTABLE_SOURCES ${ALL_PRODUCT_SOURCES})
list(FILTER PORTABLE_SOURCES EXCLUDE REGEX "_win\\.cpp$")
set(STUB_ENTRY_SOURCES ${SRC}/driver/entry_win.cpp ${SRC}/driver/crt_win.cpp)
