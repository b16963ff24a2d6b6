// Self-registering servers for the tests, one source built three ways (TEST_SERVER_UNREGISTER):
//   trace_server.dll     DllRegisterServer and DllUnregisterServer append a line to a trace file
//   faulting_server.dll  DllUnregisterServer appends its line, then writes through a null pointer
//   exiting_server.dll   DllUnregisterServer appends its line, then calls ExitProcess(259)
//   dependent_server.dll as trace_server.dll, and imports server_helper.dll (tests/dlls/
//                        server_helper.cpp), so it loads only where that library is found
// The trace file is "<the library's own path>.trace"; each line is
//   <register|unregister>|<the loading program's file name>|<the current directory>
// so that a test sees which program called it (regsvr32.exe or the uninstaller) and from where.
// Exported undecorated (the build links with --kill-at), with the __stdcall STDAPI signature.
#include <windows.h>

#define TEST_SERVER_TRACE 0
#define TEST_SERVER_FAULT 1
#define TEST_SERVER_EXIT_259 2
#define TEST_SERVER_DEPENDENT 3

#ifndef TEST_SERVER_UNREGISTER
#error "TEST_SERVER_UNREGISTER selects the behaviour"
#endif

#if TEST_SERVER_UNREGISTER == TEST_SERVER_DEPENDENT
extern "C" __declspec(dllimport) int ServerHelperValue();
#endif

namespace {

HMODULE g_self = nullptr;

const char* FileNameOf(const char* path) {
    const char* name = path;
    for (const char* p = path; *p; ++p) {
        if (*p == '\\' || *p == '/') name = p + 1;
    }
    return name;
}

void Trace(const char* verb) {
    char path[MAX_PATH + 8] = {};
    DWORD n = GetModuleFileNameA(g_self, path, MAX_PATH);
    if (n == 0 || n >= MAX_PATH) return;
    lstrcatA(path, ".trace");
    char program[MAX_PATH] = {};
    n = GetModuleFileNameA(nullptr, program, MAX_PATH);
    if (n == 0 || n >= MAX_PATH) program[0] = '\0';
    char folder[MAX_PATH] = {};
    n = GetCurrentDirectoryA(MAX_PATH, folder);
    if (n == 0 || n >= MAX_PATH) folder[0] = '\0';
    char line[2 * MAX_PATH + 32] = {};
    int length = wsprintfA(line, "%s|%s|%s\r\n", verb, FileNameOf(program), folder);
    HANDLE file = CreateFileA(path, FILE_APPEND_DATA, FILE_SHARE_READ, nullptr, OPEN_ALWAYS,
                              FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE) return;
    DWORD written = 0;
    WriteFile(file, line, static_cast<DWORD>(length), &written, nullptr);
    CloseHandle(file);
}

}  // namespace

extern "C" BOOL WINAPI DllMain(HINSTANCE instance, DWORD reason, LPVOID) {
    if (reason == DLL_PROCESS_ATTACH) g_self = instance;
    return TRUE;
}

extern "C" __declspec(dllexport) HRESULT __stdcall DllRegisterServer() {
    Trace("register");
    return S_OK;
}

extern "C" __declspec(dllexport) HRESULT __stdcall DllUnregisterServer() {
#if TEST_SERVER_UNREGISTER == TEST_SERVER_DEPENDENT
    // Called, so that the import stays in the image.
    if (ServerHelperValue() != 7) return E_FAIL;
#endif
    Trace("unregister");
#if TEST_SERVER_UNREGISTER == TEST_SERVER_FAULT
    // Through a pointer the compiler cannot see is null, so the store is made and faults.
    volatile int* volatile target = nullptr;
    *target = 1;
#elif TEST_SERVER_UNREGISTER == TEST_SERVER_EXIT_259
    ExitProcess(259);  // STILL_ACTIVE: a caller that polls the exit code waits for ever
#endif
    return S_OK;
}
