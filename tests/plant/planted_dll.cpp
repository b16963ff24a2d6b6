// The planted library: a stand-in for an attacker's library dropped into the install folder under a
// system library's name. Whichever process loads it leaves a trace: a file named after the library
// (uxtheme.dll.ran, ...) in the folder named by UNINST_PLANT_TRACE, holding that process's path.
// Then it refuses to load. kernel32 only, no C runtime: it must run wherever it is loaded.
#include <windows.h>

namespace {

// Appends `text` to `buffer` (`used` bytes in use, `size` bytes in all); false when it does not fit.
bool Append(char* buffer, DWORD& used, DWORD size, const char* text) {
    for (; *text; ++text) {
        if (used + 1 >= size) return false;
        buffer[used++] = *text;
    }
    buffer[used] = '\0';
    return true;
}

}  // namespace

extern "C" BOOL WINAPI PlantedMain(HINSTANCE self, DWORD reason, LPVOID) {
    if (reason != DLL_PROCESS_ATTACH) return TRUE;
    char trace[MAX_PATH];
    char module[MAX_PATH];
    char process[MAX_PATH];
    DWORD used = GetEnvironmentVariableA("UNINST_PLANT_TRACE", trace, MAX_PATH);
    DWORD moduleLength = GetModuleFileNameA(self, module, MAX_PATH);
    DWORD processLength = GetModuleFileNameA(nullptr, process, MAX_PATH);
    if (used == 0 || used >= MAX_PATH || moduleLength == 0 || moduleLength >= MAX_PATH ||
        processLength >= MAX_PATH) {
        return FALSE;
    }
    const char* name = module;
    for (const char* p = module; *p; ++p) {
        if (*p == '\\' || *p == '/') name = p + 1;
    }
    if (!Append(trace, used, MAX_PATH, "\\") || !Append(trace, used, MAX_PATH, name) ||
        !Append(trace, used, MAX_PATH, ".ran")) {
        return FALSE;
    }
    HANDLE file =
        CreateFileA(trace, GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file != INVALID_HANDLE_VALUE) {
        DWORD written = 0;
        WriteFile(file, process, processLength, &written, nullptr);
        CloseHandle(file);
    }
    return FALSE;
}
