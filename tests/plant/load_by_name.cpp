// The control for the planted-library tests: loads each library named on its command line by its
// bare name, as a careless program would. Placed in a folder with planted libraries it loads them,
// which shows that the planted library and the search order under test really do run it.
// kernel32 only and no manifest, so nothing else in the folder is loaded on its behalf.
#include <windows.h>

extern "C" void __cdecl LoadByNameEntry() {
    const char* p = GetCommandLineA();
    // Skip the program name, quoted or not.
    if (*p == '"') {
        for (++p; *p && *p != '"'; ++p) {
        }
        if (*p) ++p;
    } else {
        while (*p && *p != ' ') ++p;
    }
    char name[MAX_PATH];
    while (*p) {
        while (*p == ' ') ++p;
        int n = 0;
        while (*p && *p != ' ' && n < MAX_PATH - 1) name[n++] = *p++;
        name[n] = '\0';
        if (n == 0) break;
        HMODULE library = LoadLibraryA(name);
        if (library) FreeLibrary(library);
    }
    ExitProcess(0);
}
