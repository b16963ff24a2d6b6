# The Windows target's tests, run under Wine: the portable and Windows-only tests in one program,
# the helper programs and libraries they start or load, and the planted-library tests.
# Tests: the portable tests and the Windows-only ones, in one executable under Wine.
file(GLOB_RECURSE WIN_TESTS CONFIGURE_DEPENDS ${CMAKE_SOURCE_DIR}/tests/*_wintest.cpp)
file(GLOB TEST_SUPPORT CONFIGURE_DEPENDS ${CMAKE_SOURCE_DIR}/tests/support/*.cpp)
add_executable(uninst_tests ${PORTABLE_TESTS} ${WIN_TESTS} ${TEST_SUPPORT} ${RESOURCE_SCRIPTS})
target_include_directories(uninst_tests PRIVATE ${CMAKE_SOURCE_DIR}/tests)
# The host's JSON reader (windows.cmake), for the tests that read `uninstpack plan --json`.
target_include_directories(uninst_tests SYSTEM PRIVATE ${CMAKE_BINARY_DIR}/third_party)
# version.dll: the identity tests read the version resource the packer writes (the stub never links it).
target_link_libraries(uninst_tests PRIVATE uninst_core format_writer GTest::gtest_main version)
add_dependencies(uninst_tests uninst uninst_icon)

set(STUB_WINE "Z:${CMAKE_BINARY_DIR}/uninst.exe")
string(REPLACE "/" "\\" STUB_WINE "${STUB_WINE}")
# One variable per property: the discovered tests' properties are written as name-value pairs, so
# a list of two variables in ENVIRONMENT would lose the second.
# The time limits leave room for the 32-bit build under an emulator (2-5 times slower) on a loaded
# machine: listing the tests takes 2-15 s there, the longest test under a minute.
gtest_discover_tests(uninst_tests DISCOVERY_MODE PRE_TEST DISCOVERY_TIMEOUT 300
  PROPERTIES ENVIRONMENT "WINEDEBUG=-all" ENVIRONMENT_MODIFICATION "UNINST_STUB=set:${STUB_WINE}" TIMEOUT 300)
# Suites named ...Serial run alone (tests/run_serial.cmake); read after the discovered tests.
set_property(DIRECTORY APPEND PROPERTY TEST_INCLUDE_FILES ${CMAKE_SOURCE_DIR}/tests/run_serial.cmake)

# Helper programs the tests start in place of the programs the uninstaller runs or meets: small
# GUI programs (no console appears) of their own, built beside the tests.
set(TEST_HELPER_PROGRAMS probe file_holder)
foreach(name ${TEST_HELPER_PROGRAMS})
  add_executable(${name} WIN32 ${CMAKE_SOURCE_DIR}/tests/tools/${name}.cpp)
  target_compile_options(${name} PRIVATE -Wall -Wextra -Werror)
endforeach()

# Self-registering test servers, one source built four ways (see tests/dlls/test_server.cpp):
# DllRegisterServer and DllUnregisterServer exported undecorated (--kill-at drops i686's @0), for
# the architecture of this build, named <name>.dll beside the tests.
# dependent_server imports server_helper, which tests place beside it.
add_library(server_helper SHARED ${CMAKE_SOURCE_DIR}/tests/dlls/server_helper.cpp)
target_compile_options(server_helper PRIVATE -Wall -Wextra -Werror)
set_target_properties(server_helper PROPERTIES PREFIX "" RUNTIME_OUTPUT_DIRECTORY ${CMAKE_BINARY_DIR})
set(TEST_SERVERS trace_server 0 faulting_server 1 exiting_server 2 dependent_server 3)
while(TEST_SERVERS)
  list(POP_FRONT TEST_SERVERS name behaviour)
  add_library(${name} SHARED ${CMAKE_SOURCE_DIR}/tests/dlls/test_server.cpp)
  target_compile_definitions(${name} PRIVATE TEST_SERVER_UNREGISTER=${behaviour})
  target_compile_options(${name} PRIVATE -Wall -Wextra -Werror)
  target_link_options(${name} PRIVATE -Wl,--kill-at)
  set_target_properties(${name} PROPERTIES PREFIX "" RUNTIME_OUTPUT_DIRECTORY ${CMAKE_BINARY_DIR})
  list(APPEND TEST_SERVER_TARGETS ${name})
endwhile()
target_link_libraries(dependent_server PRIVATE server_helper)
list(APPEND TEST_SERVER_TARGETS server_helper)
# The hook that records the uninstaller's progress display (tests/dlls/progress_hook.cpp), loaded
# into the uninstaller by the window hook a test sets on its thread.
add_library(progress_hook SHARED ${CMAKE_SOURCE_DIR}/tests/dlls/progress_hook.cpp)
target_compile_options(progress_hook PRIVATE -Wall -Wextra -Werror)
target_link_options(progress_hook PRIVATE -Wl,--kill-at)
target_link_libraries(progress_hook PRIVATE user32)
set_target_properties(progress_hook PROPERTIES PREFIX "" RUNTIME_OUTPUT_DIRECTORY ${CMAKE_BINARY_DIR})
add_dependencies(uninst_tests ${TEST_HELPER_PROGRAMS} ${TEST_SERVER_TARGETS} progress_hook)

# The planted-library tests: a library that leaves a trace wherever it is loaded, and a control
# program that loads libraries by bare name. Both beside uninst.exe, without C runtime or manifest.
if(CMAKE_SIZEOF_VOID_P EQUAL 4)
  set(PLANT_PREFIX _)
  set(PLANTED_ENTRY _PlantedMain@12)
else()
  set(PLANT_PREFIX "")
  set(PLANTED_ENTRY PlantedMain)
endif()
add_library(planted SHARED ${CMAKE_SOURCE_DIR}/tests/plant/planted_dll.cpp)
set_target_properties(planted PROPERTIES PREFIX "" OUTPUT_NAME planted)
target_compile_options(planted PRIVATE -fno-exceptions -fno-rtti -fno-tree-loop-distribute-patterns)
target_link_options(planted PRIVATE -nostdlib -Wl,-e,${PLANTED_ENTRY} -s)
target_link_libraries(planted PRIVATE kernel32)
add_executable(load_by_name ${CMAKE_SOURCE_DIR}/tests/plant/load_by_name.cpp)
target_compile_options(load_by_name PRIVATE -fno-exceptions -fno-rtti -fno-tree-loop-distribute-patterns)
target_link_options(load_by_name PRIVATE -nostdlib -Wl,-e,${PLANT_PREFIX}LoadByNameEntry -s)
target_link_libraries(load_by_name PRIVATE kernel32)
add_dependencies(uninst_tests planted load_by_name)
