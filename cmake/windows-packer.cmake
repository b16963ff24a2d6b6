# The Windows target's packer: uninstpack.exe and the packer's host tests run against it.
# The packer as a Windows console program, for authors who build on Windows: build/win32/uninstpack.exe
# (the i686 build, which runs everywhere). The uninstaller's rules (no C runtime, imports and size
# checked) are not its rules: it is ordinary C++ with the standard library, linked statically.
if(CMAKE_SIZEOF_VOID_P EQUAL 4)
  file(CREATE_LINK ${CLI11_INCLUDE}/CLI ${CMAKE_BINARY_DIR}/third_party/CLI SYMBOLIC)
  add_library(uninst_reading INTERFACE)
  target_link_libraries(uninst_reading INTERFACE uninst_core)
  target_include_directories(uninst_reading SYSTEM INTERFACE ${CMAKE_BINARY_DIR}/third_party)
  include(${CMAKE_SOURCE_DIR}/cmake/packer.cmake)
  target_sources(uninstpack PRIVATE ${SRC}/pack/uninstpack.rc)
  set_source_files_properties(${SRC}/pack/uninstpack.rc PROPERTIES
    OBJECT_DEPENDS ${SRC}/pack/uninstpack.manifest)
  # wmain: the arguments in UTF-16 (src/pack/main_win.cpp).
  target_link_options(uninstpack PRIVATE -municode -s)

  # osslsigncode.exe for the tests of the Windows packer's signing, alone in a folder for PATH.
  add_executable(fake_osslsigncode ${CMAKE_SOURCE_DIR}/tests/pack/fake_osslsigncode.cpp)
  target_compile_options(fake_osslsigncode PRIVATE -Wall -Wextra -Werror)
  target_link_options(fake_osslsigncode PRIVATE -municode)
  set_target_properties(fake_osslsigncode PROPERTIES OUTPUT_NAME osslsigncode
    RUNTIME_OUTPUT_DIRECTORY ${CMAKE_BINARY_DIR}/fake-signer)

  # The packer's host tests once more, against this packer under Wine: every case that runs the
  # real packer (pack_support.h's RunPacker) runs it through scripts/wine, and the cases that
  # compare systems compare with the host packer. The host build must be built (make build does).
  set(UNINST_HOST_BUILD ${CMAKE_BINARY_DIR}/../host CACHE PATH "the host build, whose tests run against uninstpack.exe")
  get_filename_component(HOST_TESTS_FILE ${UNINST_HOST_BUILD}/host_tests ABSOLUTE)
  get_filename_component(HOST_PACKER_FILE ${UNINST_HOST_BUILD}/uninstpack ABSOLUTE)
  # Two shards side by side (ctest -j2). LC_ALL: Wine reads the arguments' UTF-8 only in a UTF-8 locale.
  foreach(shard 0 1)
    add_test(NAME WindowsPacker.HostTests.${shard} COMMAND ${HOST_TESTS_FILE})
    set_tests_properties(WindowsPacker.HostTests.${shard} PROPERTIES
      REQUIRED_FILES "${HOST_TESTS_FILE};${HOST_PACKER_FILE}" TIMEOUT 300
      ENVIRONMENT "UNINSTPACK=${CMAKE_BINARY_DIR}/uninstpack.exe;UNINSTPACK_RUNNER=${CMAKE_SOURCE_DIR}/scripts/wine;UNINSTPACK_NATIVE=${HOST_PACKER_FILE};UNINST_STUB_FILE=${CMAKE_BINARY_DIR}/uninst.exe;UNINST_FAKE_SIGNER_DIR=${CMAKE_BINARY_DIR}/fake-signer;UNINST_SOURCE_DIR=${CMAKE_SOURCE_DIR};LC_ALL=C.UTF-8;WINEDEBUG=-all;GTEST_TOTAL_SHARDS=2;GTEST_SHARD_INDEX=${shard}")
  endforeach()
endif()
