// The process entry point. The executable links no C runtime (msvcrt.dll is missing from early
// Windows 95 systems): the entry takes the command line itself and leaves through ExitProcess.
#include "common/system_library.h"
#include "driver/driver.h"

namespace {

// The text after the program name, as the platform hands it to a GUI program's WinMain: the
// program name, quoted or not, and the blanks and tabs after it are skipped.
const char* SkipProgramName(const char* p) {
    if (*p == '"') {
        ++p;
        while (*p && *p != '"') ++p;
        if (*p == '"') ++p;
    } else {
        while (*p && *p != ' ' && *p != '\t') ++p;
    }
    while (*p == ' ' || *p == '\t') ++p;
    return p;
}

}  // namespace

extern "C" void __cdecl UninstallerEntry() {
    // Before anything can load a library by name: see common/system_library.h.
    RestrictLibrarySearch();
    PreloadSystemLibraries();
    const char* commandLine = SkipProgramName(GetCommandLineA());
    ExitProcess(static_cast<UINT>(RunUninstaller(GetModuleHandleA(nullptr), commandLine)));
}
