# The packer's sources, listed: the portable files, then the system's half of each pair
# (NAME_posix.cpp on the host, NAME_win.cpp for Windows), as the build of the stub picks its
# _win.cpp files. Sets PACK_LIB_SOURCES and PACK_MAIN_SOURCE; expects SRC.
set(PACK_PORTABLE_FILES
  check.cpp check_files.cpp check_messages.cpp check_paths.cpp check_patterns.cpp check_registry.cpp
  check_elevation.cpp check_settings.cpp check_shortcuts.cpp
  cli.cpp cli_build.cpp cli_check.cpp cli_dump.cpp cli_hints.cpp cli_languages.cpp cli_plan.cpp cli_scan.cpp
  cli_support.cpp
  codepage.cpp identity.cpp image.cpp languages.cpp
  manifest.cpp manifest_read.cpp manifest_write.cpp
  output_file.cpp
  plan.cpp plan_files.cpp plan_folders.cpp plan_json.cpp plan_paths.cpp plan_registry.cpp plan_text.cpp
  scan.cpp sign.cpp)
# Each NAME here has NAME_posix.cpp and NAME_win.cpp.
set(PACK_SYSTEM_FILES codepage output_file platform sign)
if(WIN32)
  set(PACK_SYSTEM_SUFFIX _win.cpp)
else()
  set(PACK_SYSTEM_SUFFIX _posix.cpp)
endif()
set(PACK_LIB_SOURCES)
foreach(file ${PACK_PORTABLE_FILES})
  list(APPEND PACK_LIB_SOURCES ${SRC}/pack/${file})
endforeach()
foreach(name ${PACK_SYSTEM_FILES})
  list(APPEND PACK_LIB_SOURCES ${SRC}/pack/${name}${PACK_SYSTEM_SUFFIX})
endforeach()
set(PACK_MAIN_SOURCE ${SRC}/pack/main${PACK_SYSTEM_SUFFIX})
