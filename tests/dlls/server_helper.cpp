// The library that dependent_server.dll imports (tests/dlls/test_server.cpp). Tests place it beside
// that server, so the server loads only when the loader searches the server's own folder.
#include <windows.h>

extern "C" __declspec(dllexport) int ServerHelperValue() {
    return 7;
}
