# The host build: the packer, host tests of the portable reading code, and the benchmarks.
if(UNINST_SANITIZE)
  add_compile_options(-fsanitize=address,undefined -fno-omit-frame-pointer -fno-sanitize-recover=all)
  add_link_options(-fsanitize=address,undefined)
endif()

add_library(uninst_portable STATIC ${PORTABLE_SOURCES})
target_link_libraries(uninst_portable PRIVATE product_flags)
target_include_directories(uninst_portable PUBLIC ${SRC})

find_package(nlohmann_json 3 REQUIRED)
find_package(CLI11 REQUIRED)
add_library(uninst_reading INTERFACE)
target_link_libraries(uninst_reading INTERFACE uninst_portable nlohmann_json::nlohmann_json CLI11::CLI11)
include(${CMAKE_SOURCE_DIR}/cmake/packer.cmake)

if(NOT UNINST_TESTS)
  return()
endif()

# make install, into a staging folder: what it installs, and that it asks nothing of apt.
add_test(NAME Install.IntoAStagingFolder
  COMMAND sh ${CMAKE_SOURCE_DIR}/tests/install/install_test.sh ${CMAKE_SOURCE_DIR} ${CMAKE_BINARY_DIR})

file(GLOB_RECURSE HOST_TESTS CONFIGURE_DEPENDS ${CMAKE_SOURCE_DIR}/tests/*_hosttest.cpp)
file(GLOB TEST_SUPPORT CONFIGURE_DEPENDS ${CMAKE_SOURCE_DIR}/tests/support/*.cpp)
add_executable(host_tests ${PORTABLE_TESTS} ${HOST_TESTS} ${TEST_SUPPORT})
target_include_directories(host_tests PRIVATE ${CMAKE_SOURCE_DIR}/tests)
target_link_libraries(host_tests PRIVATE pack_lib GTest::gtest_main)
# One variable per property: discovered tests get their properties as name-value pairs.
gtest_discover_tests(host_tests DISCOVERY_TIMEOUT 60
  PROPERTIES ENVIRONMENT "UNINSTPACK=$<TARGET_FILE:uninstpack>"
             ENVIRONMENT_MODIFICATION "UNINST_SOURCE_DIR=set:${CMAKE_SOURCE_DIR}")

# Includes only go down the source folders' layers (scripts/check-layers.sh names them).
add_test(NAME Layers.IncludesOnlyGoDown COMMAND bash ${CMAKE_SOURCE_DIR}/scripts/check-layers.sh ${SRC})
add_test(NAME Layers.CheckRefusesAnUpwardInclude
  COMMAND bash ${CMAKE_SOURCE_DIR}/tests/harness/check_layers_selftest.sh)

file(GLOB BENCH_SOURCES CONFIGURE_DEPENDS ${CMAKE_SOURCE_DIR}/bench/*.cpp)
list(FILTER BENCH_SOURCES EXCLUDE REGEX "_winbench\\.cpp$")
foreach(bench ${BENCH_SOURCES})
  get_filename_component(name ${bench} NAME_WE)
  add_executable(${name} ${bench} ${TEST_SUPPORT})
  target_include_directories(${name} PRIVATE ${CMAKE_SOURCE_DIR}/tests)
  target_link_libraries(${name} PRIVATE pack_lib)
endforeach()
