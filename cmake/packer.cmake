# uninstpack, the installer author's tool: ordinary C++ with the standard library, JSON for
# Modern C++ and CLI11 (both header-only). Built by the host build as a program of the machine, and
# by the Windows builds as a console program of their own (static, so it runs without the MinGW
# runtime beside it). Expects the target uninst_reading: the uninstaller's portable reading code
# compiled for the same system, with the include folders of the two libraries.
include(${CMAKE_SOURCE_DIR}/cmake/packer-sources.cmake)
include(${CMAKE_SOURCE_DIR}/cmake/languages.cmake)
add_library(pack_lib STATIC ${PACK_LIB_SOURCES} ${LANGUAGE_TABLES_SOURCE})
target_include_directories(pack_lib PUBLIC ${SRC})
target_compile_options(pack_lib PRIVATE -Wall -Wextra -Werror)
target_link_libraries(pack_lib PUBLIC format_writer uninst_reading)

add_executable(uninstpack ${PACK_MAIN_SOURCE})
target_compile_options(uninstpack PRIVATE -Wall -Wextra -Werror)
target_link_libraries(uninstpack PRIVATE pack_lib)
