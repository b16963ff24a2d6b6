// Keeps the Wine desktop (explorer.exe) of a test prefix up between tests, so that no test waits
// for it to start or holds the test runner's pipes while it ends.
#include <windows.h>

#include <cstdlib>

int main(int argc, char** argv) {
    GetDesktopWindow();
    Sleep(static_cast<DWORD>(argc > 1 ? atoi(argv[1]) : 3600) * 1000u);
    return 0;
}
