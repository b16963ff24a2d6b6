# The Windows target's uninstaller stub: its code flags, the core library the tests and tools link
# too, its resources, and the stub itself with the checks the build makes on it.
# The 32-bit stub is built for size: it is downloaded and copied with every installation. Without
# exceptions nothing unwinds: on the 32-bit target the DWARF unwind tables (.eh_frame, 5 KB of the
# stub) are dead weight. The 64-bit test build keeps its tables and the compiler's defaults: there
# the platform's own exception dispatch walks the stack through them.
if(CMAKE_SIZEOF_VOID_P EQUAL 4)
  target_compile_options(product_flags INTERFACE
    $<$<COMPILE_LANGUAGE:CXX>:-fno-asynchronous-unwind-tables -fno-unwind-tables>)
  # One flag a line, with what it saves or guards. The figures were measured on the stub when each
  # flag came in; "together" where a group was measured at once.
  set(STUB_CODE_FLAGS
    # Smallest code.
    -Oz
    # The 386, the oldest processor the 9x family runs on: the compiler's default, the Pentium Pro,
    # uses conditional moves (CMOV), an invalid opcode on the 386, 486 and Pentium (the runtime
    # routines the stub links, 64-bit division, use none either: checked by disassembly).
    -march=i386
    # Arguments pushed, not stored into a frame reserved in each prologue.
    -mno-accumulate-outgoing-args
    # The stack kept at the 4 bytes the platform's i386 convention promises: nothing here needs more
    # (no SSE, no alignas).
    -mpreferred-stack-boundary=2
    # Data aligned as the ABI asks, not padded for speed.
    -malign-data=abi
    # Tail calls kept as calls: on i386 a sibling call first moves its arguments over the caller's
    # own, more bytes than it saves (measured).
    -fno-optimize-sibling-calls
    # No frame pointer: MinGW's i686 compiler keeps one even at -Oz, a set-up and restore in every
    # function and one register fewer (1.4 KB of the stub). ebp is then an ordinary callee-saved
    # register, which the fault guard's assembly saves and restores as any callee must.
    -fomit-frame-pointer
    # Switches as compares, not tables of relocated addresses (with the next three: 200 bytes of code
    # and relocations together).
    -fno-jump-tables
    # A function called once is not inlined by that reason alone.
    -fno-inline-functions-called-once
    # Branches kept as branches, not turned into flag-setting sequences.
    -fno-if-conversion
    -fno-if-conversion2
    # No stack probe: instead the build refuses any frame of a page or more, which could step over
    # the guard page, and any variable-length or alloca allocation (product code only: the test
    # support code has frames far larger than a page).
    -mno-stack-arg-probe
    -Wframe-larger-than=4000
    -Wvla
    -Walloca
    # Link-time optimisation: the code is generated once for the whole program, where every function
    # the program does not export is its own, so calls within it pass their first arguments in
    # registers and constants and unused arguments are seen across files (3.5 KB of the stub). The
    # programs that link the product code (the stub, the benchmark's minimal remover) get these flags
    # at the link too, so the frame check also sees the frames that inlining across files makes.
    -flto)
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
list(REMOVE_ITEM WIN_SOURCES ${STUB_ENTRY_SOURCES})
add_library(uninst_core STATIC ${WIN_SOURCES})
target_link_libraries(uninst_core PRIVATE product_flags PUBLIC ${SYSTEM_LIBS})
target_include_directories(uninst_core PUBLIC ${SRC})

set(RESOURCE_SCRIPTS ${SRC}/resources/uninst.rc)
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
  COMMAND ${PYTHON3} ${CMAKE_SOURCE_DIR}/scripts/make-icon.py ${ICON_FILE}
  DEPENDS ${CMAKE_SOURCE_DIR}/scripts/make-icon.py VERBATIM)
add_custom_target(uninst_icon DEPENDS ${ICON_FILE})
set_source_files_properties(${RESOURCE_SCRIPTS} PROPERTIES
  OBJECT_DEPENDS "${ICON_FILE};${MANIFEST_FILE}")
add_executable(uninst WIN32 ${STUB_ENTRY_SOURCES} ${RESOURCE_SCRIPTS})
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
# stamp-stub (src/format/stamp_stub.cpp), a program of the build machine built from the PE reading
# the packer uses: it checks the size limit and the data-offset marker and writes the stub's own
# size into the field. The shipped 32-bit stub may not grow past 52 KiB (the build fails, and the
# linked file is deleted); the 64-bit build is for tests only.
set(STAMP_STUB ${CMAKE_BINARY_DIR}/stamp-stub)
set(STAMP_STUB_SOURCES ${SRC}/format/stamp_stub.cpp ${SRC}/format/stub_image.cpp)
add_custom_command(OUTPUT ${STAMP_STUB}
  COMMAND ${HOST_CXX} -std=c++20 -O2 -Wall -Wextra -Werror -I${SRC} ${STAMP_STUB_SOURCES} -o ${STAMP_STUB}
  DEPENDS ${STAMP_STUB_SOURCES} ${SRC}/format/stub_image.h ${SRC}/format/layout.h ${SRC}/format/block_writer.h
  VERBATIM)
add_custom_target(stamp_stub_tool DEPENDS ${STAMP_STUB})
add_dependencies(uninst stamp_stub_tool)
if(CMAKE_SIZEOF_VOID_P EQUAL 4)
  set(STUB_SIZE_CHECK --max-bytes 53248)
endif()
# Then scripts/check-stub.py: imports only from the known system libraries, ASLR and NX, no
# writable code, the relocations.
add_custom_command(TARGET uninst POST_BUILD
  COMMAND ${STAMP_STUB} $<TARGET_FILE:uninst> ${STUB_SIZE_CHECK}
  COMMAND ${PYTHON3} ${CMAKE_SOURCE_DIR}/scripts/check-stub.py $<TARGET_FILE:uninst> --objdump ${CMAKE_OBJDUMP}
  VERBATIM)
