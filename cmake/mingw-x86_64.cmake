# The same sources built for x86-64 Windows (PE32+): only for running the tests on machines whose
# kernel cannot execute Wine's 32-bit loader. The shipped uninstaller is always the i686 build.
set(CMAKE_SYSTEM_PROCESSOR AMD64)
set(TOOLCHAIN_PREFIX x86_64-w64-mingw32)
include(${CMAKE_CURRENT_LIST_DIR}/mingw-common.cmake)
