# The Windows target, one file a job: the uninstaller stub (windows-stub.cmake), its tests under
# Wine (windows-tests.cmake), the packer as a Windows program (windows-packer.cmake), and the tools
# and benchmarks (windows-tools.cmake).
enable_language(RC)
add_compile_definitions(WIN32_LEAN_AND_MEAN STRICT _WIN32_WINNT=0x0501 WINVER=0x0501 _WIN32_IE=0x0501)
add_link_options(-static)
# Only libraries on the platform's known list: the rest (comctl32, uxtheme, ...) is loaded at run
# time from the System folder (src/common/system_library.h).
set(SYSTEM_LIBS shell32 ole32 advapi32 gdi32 user32 kernel32)

# Programs of the build machine that the build runs.
find_program(PYTHON3 python3 REQUIRED)
find_program(HOST_CXX NAMES c++ g++ REQUIRED)
# The host's header-only libraries, for the tests that read `uninstpack plan --json` and for the
# Windows packer: each folder alone is linked into the build tree, since the host's other headers
# are not for this target. NO_CMAKE_FIND_ROOT_PATH: they are the host's, not the MinGW sysroot's.
find_path(NLOHMANN_JSON_INCLUDE nlohmann/json.hpp REQUIRED NO_CMAKE_FIND_ROOT_PATH)
find_path(CLI11_INCLUDE CLI/CLI.hpp REQUIRED NO_CMAKE_FIND_ROOT_PATH)
file(MAKE_DIRECTORY ${CMAKE_BINARY_DIR}/third_party)
file(CREATE_LINK ${NLOHMANN_JSON_INCLUDE}/nlohmann ${CMAKE_BINARY_DIR}/third_party/nlohmann SYMBOLIC)

include(${CMAKE_SOURCE_DIR}/cmake/windows-stub.cmake)
include(${CMAKE_SOURCE_DIR}/cmake/windows-tests.cmake)
include(${CMAKE_SOURCE_DIR}/cmake/windows-packer.cmake)
include(${CMAKE_SOURCE_DIR}/cmake/windows-tools.cmake)
