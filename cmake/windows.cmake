# The Windows target: the uninstaller stub, its tests (run under Wine) and the test tools.
enable_language(RC)
add_compile_definitions(WIN32_LEAN_AND_MEAN STRICT _WIN32_WINNT=0x0501 WINVER=0x0501 _WIN32_IE=0x0501)
add_link_options(-static)
# Only libraries on the platform's known list: the rest (comctl32, uxtheme, ...) is loaded at run
# time from the System folder (src/common/system_library.h).
set(SYSTEM_LIBS shell32 ole32 advapi32 gdi32 user32 kernel32)

# Without exceptions nothing unwinds: on the 32-bit target the DWARF unwind tables (.eh_frame, 5 KB
# of the stub) are dead weight. The 64-bit test build keeps its tables: there the platform's own
# exception dispatch walks the stack through them.
if(CMAKE_SIZEOF_VOID_P EQUAL 4)
  target_compile_options(product_flags INTERFACE
    $<$<COMPILE_LANGUAGE:CXX>:-fno-asynchronous-unwind-tables -fno-unwind-tables>)
  # The 32-bit product code for size (the stub is downloaded and copied with every installation):
  # -Oz; arguments pushed, not stored into a frame reserved in each prologue; the stack kept at the
  # 4 bytes the platform's i386 convention promises (nothing here needs more: no SSE, no alignas);
  # data aligned as the ABI asks, not padded for speed; tail calls kept as calls (on i386 a sibling
  # call first moves its arguments over the caller's own: more bytes than it saves, measured); no
  # frame pointer (MinGW's i686 compiler keeps one even at -Oz: its set-up and restore in every
  # function and one register fewer, 1.4 KB of the stub; ebp is then an ordinary callee-saved
  # register, which the fault guard's assembly saves and restores as any callee must); switches
  # as compares, not tables of relocated addresses; a function called once not inlined by that
  # reason alone; branches kept as branches, not turned into flag-setting sequences (together 200
  # bytes of code and relocations, measured).
  # The compiler's default processor is the Pentium Pro, whose conditional moves (CMOV) fault with
  # an invalid opcode on the 386, 486 and Pentium processors that Windows 95 and 98 run on: the
  # product code is built for the 386, the oldest processor the 9x family supports (the runtime
  # library's routines the stub links, 64-bit division, use no such instruction either: checked by
  # disassembling the stub when this was written).
  # Without the stack probe a frame of a page or more could step over the guard page, so the build
  # refuses any such frame and any variable-length or alloca allocation. Product code only: the
  # test support code has frames far larger than a page.
  # Link-time optimisation: the code is generated once for the whole program, where every function
  # the program does not export is its own, so calls within it pass their first arguments in
  # registers and constants and unused arguments are seen across files (3.5 KB of the stub,
  # measured). The code is generated at the link: the programs that link the product code with
  # these flags (the stub, the benchmark's minimal remover) get them there too, so the frame check
  # also sees the frames that inlining across files makes.
  set(STUB_CODE_FLAGS -Oz -march=i386 -mno-accumulate-outgoing-args -mpreferred-stack-boundary=2
    -malign-data=abi -fno-optimize-sibling-calls -fomit-frame-pointer -fno-jump-tables
    -fno-inline-functions-called-once -fno-if-conversion -fno-if-conversion2 -mno-stack-arg-probe
    -Wframe-larger-than=4000 -Wvla -Walloca -flto)
  target_compile_options(product_flags INTERFACE $<$<COMPILE_LANGUAGE:CXX>:${STUB_CODE_FLAGS} -ffat-lto-objects>)
  set(STUB_LINK_FLAGS ${STUB_CODE_FLAGS} -fuse-linker-plugin -Werror)
  # Every other program (tests, tools, benchmarks, the Windows packer) links the ordinary code the
  # same objects also carry: this linker reports an inline function twice when a link mixes
  # link-time objects with ordinary ones (the tests' own).
  add_link_options(-fno-lto -fno-use-linker-plugin)
  # Not through the link-time optimiser: the memory routines the compiler calls on its own (it would
  # drop their definitions before the generated code asks for them), and the fault guard's assembly
  # (the MinGW linker crashes on a file-level asm statement in link-time code).
  set_source_files_properties(${SRC}/driver/crt_win.cpp ${SRC}/removal/fault_guard_win.cpp
    PROPERTIES COMPILE_OPTIONS -fno-lto)
endif()

set(WIN_SOURCES ${ALL_PRODUCT_SOURCES})
list(FILTER WIN_SOURCES EXCLUDE REGEX "(entry_win|crt_win)\\.cpp$")
add_library(uninst_core STATIC ${WIN_SOURCES})
target_link_libraries(uninst_core PRIVATE product_flags PUBLIC ${SYSTEM_LIBS})
target_include_directories(uninst_core PUBLIC ${SRC})

file(GLOB RESOURCE_SCRIPTS CONFIGURE_DEPENDS ${SRC}/resources/*.rc)
# The manifest names the build's own architecture, for the program and for the common controls it
# asks for: a 64-bit program that asks for the x86 controls does not start on a system that has them
# (COMCTL32.dll fails to load with 0xC000007B).
if(CMAKE_SIZEOF_VOID_P EQUAL 4)
  set(UNINST_MANIFEST_ARCH X86)
else()
  set(UNINST_MANIFEST_ARCH amd64)
endif()
set(MANIFEST_FILE ${CMAKE_BINARY_DIR}/resources/uninst.manifest)
# Stored without the indentation, line breaks and comments of the readable source, which are no
# part of the XML's meaning (about 150 bytes of every stub).
set_property(DIRECTORY APPEND PROPERTY CMAKE_CONFIGURE_DEPENDS ${SRC}/resources/uninst.manifest.in)
file(READ ${SRC}/resources/uninst.manifest.in MANIFEST_TEXT)
string(REGEX REPLACE "<!--[^>]*-->" "" MANIFEST_TEXT "${MANIFEST_TEXT}")
string(REGEX REPLACE ">[ \t\r\n]+<" "><" MANIFEST_TEXT "${MANIFEST_TEXT}")
string(REGEX REPLACE "[ \t\r\n]+" " " MANIFEST_TEXT "${MANIFEST_TEXT}")
string(STRIP "${MANIFEST_TEXT}" MANIFEST_TEXT)
file(CONFIGURE OUTPUT ${MANIFEST_FILE} CONTENT "${MANIFEST_TEXT}" @ONLY)
# The icon is generated into the build tree; every target that links the resources waits for it.
set(ICON_FILE ${CMAKE_BINARY_DIR}/resources/uninst.ico)
add_custom_command(OUTPUT ${ICON_FILE}
  COMMAND python3 ${CMAKE_SOURCE_DIR}/scripts/make-icon.py ${ICON_FILE}
  DEPENDS ${CMAKE_SOURCE_DIR}/scripts/make-icon.py VERBATIM)
add_custom_target(uninst_icon DEPENDS ${ICON_FILE})
set_source_files_properties(${RESOURCE_SCRIPTS} PROPERTIES
  OBJECT_DEPENDS "${ICON_FILE};${MANIFEST_FILE}")
add_executable(uninst WIN32 ${SRC}/driver/entry_win.cpp ${SRC}/driver/crt_win.cpp ${RESOURCE_SCRIPTS})
target_link_libraries(uninst PRIVATE uninst_core product_flags gcc)
add_dependencies(uninst uninst_icon)
set_target_properties(uninst PROPERTIES OUTPUT_NAME uninst)
# No C runtime: our own entry point; the only imports are system DLLs.
if(CMAKE_SIZEOF_VOID_P EQUAL 4)
  set(ENTRY_SYMBOL _UninstallerEntry)  # i686 symbols carry a leading underscore
else()
  set(ENTRY_SYMBOL UninstallerEntry)
endif()
# The uninstaller runs elevated: ASLR (a dynamic base, with the relocations it needs) and NX stay on.
target_link_options(uninst PRIVATE ${STUB_LINK_FLAGS} -nostartfiles -nodefaultlibs -Wl,-e,${ENTRY_SYMBOL} -s
  -Wl,--gc-sections -Wl,--dynamicbase,--enable-reloc-section,--nxcompat)
# The 32-bit stub's own section layout (cmake/uninst-i686.ld): constants with the code, the import
# tables with the data-offset field; 1 KB less padding than the linker's default layout.
if(CMAKE_SIZEOF_VOID_P EQUAL 4)
  set(STUB_LINKER_SCRIPT ${CMAKE_SOURCE_DIR}/cmake/uninst-i686.ld)
  target_link_options(uninst PRIVATE -Wl,-T,${STUB_LINKER_SCRIPT})
  set_target_properties(uninst PROPERTIES LINK_DEPENDS ${STUB_LINKER_SCRIPT})
endif()
set(CMAKE_RC_FLAGS "${CMAKE_RC_FLAGS} -I${SRC}/resources -I${CMAKE_BINARY_DIR}/resources")
# The shipped 32-bit stub may not grow past 52 KiB (the build fails, and the linked file is
# deleted); the 64-bit build is for tests only.
if(CMAKE_SIZEOF_VOID_P EQUAL 4)
  set(STUB_SIZE_CHECK --max-bytes 53248)
endif()
add_custom_command(TARGET uninst POST_BUILD
  COMMAND python3 ${CMAKE_SOURCE_DIR}/scripts/stamp-stub.py $<TARGET_FILE:uninst> --objdump ${CMAKE_OBJDUMP}
          ${STUB_SIZE_CHECK}
  VERBATIM)

# Tests: the portable tests and the Windows-only ones, in one executable under Wine.
file(GLOB_RECURSE WIN_TESTS CONFIGURE_DEPENDS ${CMAKE_SOURCE_DIR}/tests/*_wintest.cpp)
file(GLOB TEST_SUPPORT CONFIGURE_DEPENDS ${CMAKE_SOURCE_DIR}/tests/support/*.cpp)
add_executable(uninst_tests ${PORTABLE_TESTS} ${WIN_TESTS} ${TEST_SUPPORT} ${RESOURCE_SCRIPTS})
target_include_directories(uninst_tests PRIVATE ${CMAKE_SOURCE_DIR}/tests)
# The JSON reader of the host build, for the tests that read `uninstpack plan --json`: only its own
# folder, since the host's other headers are not for this target.
file(MAKE_DIRECTORY ${CMAKE_BINARY_DIR}/third_party)
file(CREATE_LINK /usr/include/nlohmann ${CMAKE_BINARY_DIR}/third_party/nlohmann SYMBOLIC)
target_include_directories(uninst_tests SYSTEM PRIVATE ${CMAKE_BINARY_DIR}/third_party)
target_link_libraries(uninst_tests PRIVATE uninst_core format_writer GTest::gtest_main)
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

# The robot's window code, shared by the end-to-end tests and the standalone robot.
add_library(test_robot STATIC ${CMAKE_SOURCE_DIR}/tests/support/robot.cpp)
target_include_directories(test_robot PUBLIC ${CMAKE_SOURCE_DIR}/tests)
target_link_libraries(test_robot PUBLIC user32 kernel32)

# The in-process robot thread and UI session, for the tools that show the uninstaller's windows.
add_library(test_ui STATIC ${CMAKE_SOURCE_DIR}/tests/support/ui_robot.cpp
  ${CMAKE_SOURCE_DIR}/tests/support/ui_session.cpp ${CMAKE_SOURCE_DIR}/tests/support/test_run.cpp
  ${CMAKE_SOURCE_DIR}/tests/support/block_file.cpp)
target_include_directories(test_ui PUBLIC ${CMAKE_SOURCE_DIR}/tests)
target_link_libraries(test_ui PUBLIC uninst_core format_writer test_robot)

# The packer as a Windows console program, for authors who build on Windows: build/win32/uninstpack.exe
# (the i686 build, which runs everywhere). The uninstaller's rules (no C runtime, imports and size
# checked) are not its rules: it is ordinary C++ with the standard library, linked statically.
if(CMAKE_SIZEOF_VOID_P EQUAL 4)
  file(CREATE_LINK /usr/include/CLI ${CMAKE_BINARY_DIR}/third_party/CLI SYMBOLIC)
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

# Helper programs the tests start in place of the programs the uninstaller runs or meets: small
# GUI programs (no console appears) of their own, built beside the tests.
set(TEST_HELPER_PROGRAMS probe file_holder)
foreach(name ${TEST_HELPER_PROGRAMS})
  add_executable(${name} WIN32 ${CMAKE_SOURCE_DIR}/tests/tools/${name}.cpp)
  target_compile_options(${name} PRIVATE -Wall -Wextra -Werror)
endforeach()

# The tools: the robot, the screenshot showcase and the desktop keep-alive.
file(GLOB TOOL_SOURCES CONFIGURE_DEPENDS ${CMAKE_SOURCE_DIR}/tests/tools/*.cpp)
foreach(tool ${TOOL_SOURCES})
  get_filename_component(name ${tool} NAME_WE)
  if(name IN_LIST TEST_HELPER_PROGRAMS)
    continue()
  endif()
  add_executable(${name} ${tool} ${RESOURCE_SCRIPTS})
  target_link_libraries(${name} PRIVATE test_robot test_ui)
  add_dependencies(${name} uninst_icon)
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

# Benchmarks that need the platform: each bench/*_winbench.cpp becomes a Windows program.
file(GLOB WIN_BENCH_SOURCES CONFIGURE_DEPENDS ${CMAKE_SOURCE_DIR}/bench/*_winbench.cpp)
foreach(bench ${WIN_BENCH_SOURCES})
  get_filename_component(name ${bench} NAME_WE)
  add_executable(${name} ${bench} ${TEST_SUPPORT} ${RESOURCE_SCRIPTS})
  target_include_directories(${name} PRIVATE ${CMAKE_SOURCE_DIR}/tests)
  target_link_libraries(${name} PRIVATE uninst_core format_writer)
  add_dependencies(${name} uninst_icon)
endforeach()

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

# The minimal remover the removal benchmark sets beside the uninstaller: started like it (its own
# entry point, no C runtime, the same manifest, imports and preloaded libraries).
if(CMAKE_SIZEOF_VOID_P EQUAL 4)
  set(MINIMAL_ENTRY _MinimalEntry)
else()
  set(MINIMAL_ENTRY MinimalEntry)
endif()
add_executable(removal_minimal WIN32 ${CMAKE_SOURCE_DIR}/bench/tools/removal_minimal.cpp
  ${SRC}/driver/crt_win.cpp ${RESOURCE_SCRIPTS})
target_link_libraries(removal_minimal PRIVATE uninst_core product_flags gcc)
target_link_options(removal_minimal PRIVATE ${STUB_LINK_FLAGS} -nostartfiles -nodefaultlibs -Wl,-e,${MINIMAL_ENTRY} -s
  -Wl,--gc-sections -Wl,--dynamicbase,--enable-reloc-section,--nxcompat)
add_dependencies(removal_minimal uninst_icon)
target_link_libraries(removal_winbench PRIVATE psapi)
add_dependencies(removal_winbench removal_minimal uninst)
