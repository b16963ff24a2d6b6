#include "common/system_library.h"

#include "common/scope_exit.h"
#include "common/text.h"

namespace {

// The flag values of the run-time looked-up calls; the headers define them only for newer targets.
constexpr DWORD kSearchSystem32 = 0x00000800;     // LOAD_LIBRARY_SEARCH_SYSTEM32
constexpr DWORD kAlteredSearchPath = 0x00000008;  // LOAD_WITH_ALTERED_SEARCH_PATH
constexpr DWORD kSearchLoadFolder = 0x00000100;   // LOAD_LIBRARY_SEARCH_DLL_LOAD_DIR

using SetDefaultDllDirectoriesFn = BOOL(WINAPI*)(DWORD);
using SetDllDirectoryFn = BOOL(WINAPI*)(LPCSTR);
using FindActCtxSectionStringFn = BOOL(WINAPI*)(DWORD, const GUID*, ULONG, LPCSTR,
                                                PACTCTX_SECTION_KEYED_DATA);

}  // namespace

FARPROC KernelProcAddress(const char* name) {
    HMODULE kernel = GetModuleHandleA("kernel32.dll");
    return kernel ? GetProcAddress(kernel, name) : nullptr;
}

const char* const kSystemPreloads[] = {kThemeLibraryName, "userenv.dll", "setupapi.dll",  "apphelp.dll",
                                       "propsys.dll",     "dwmapi.dll",  "cryptbase.dll", "oleacc.dll",
                                       "version.dll",     "profapi.dll"};
const int kSystemPreloadCount = sizeof(kSystemPreloads) / sizeof(kSystemPreloads[0]);

void RestrictLibrarySearch() {
    if (auto setDefault = FindKernelExport<SetDefaultDllDirectoriesFn>("SetDefaultDllDirectories")) {
        setDefault(kSearchSystem32);
    }
    if (auto setDirectory = FindKernelExport<SetDllDirectoryFn>("SetDllDirectoryA")) setDirectory("");
}

HMODULE LoadSystemLibrary(const char* name) {
    char path[kPathBufferSize];
    UINT n = GetSystemDirectoryA(path, kPathBufferSize);
    if (n == 0 || n >= kPathBufferSize || !AppendText(path, "\\") || !AppendText(path, name)) return nullptr;
    // Where the search flags exist, the library and its imports come from the System folder alone.
    // Elsewhere the altered search looks in the library's own folder, the System folder, before any
    // other; the plain one would look in the program's folder first.
    DWORD flags = FindKernelExport<SetDefaultDllDirectoriesFn>("SetDefaultDllDirectories")
                      ? kSearchSystem32
                      : kAlteredSearchPath;
    // A library missing from an older system is no error to show.
    UINT errorMode = SetErrorMode(SEM_FAILCRITICALERRORS | SEM_NOOPENFILEERRORBOX);
    ScopeExit restoreMode([&] { SetErrorMode(errorMode); });
    return LoadLibraryExA(path, nullptr, flags);
}

HMODULE LoadLibraryWithItsFolder(const char* path) {
    // With the search flags the altered search would bring back the legacy order (PATH among it)
    // that the restriction at entry took away; the two flags add the library's folder alone.
    DWORD flags = FindKernelExport<SetDefaultDllDirectoriesFn>("SetDefaultDllDirectories")
                      ? kSearchLoadFolder | kSearchSystem32
                      : kAlteredSearchPath;
    return LoadLibraryExA(path, nullptr, flags);
}

HMODULE LoadManifestOrSystemLibrary(const char* name) {
    // XP and later; the 9x family and 2000 have no activation contexts.
    auto find = FindKernelExport<FindActCtxSectionStringFn>("FindActCtxSectionStringA");
    ACTCTX_SECTION_KEYED_DATA redirect = {};
    redirect.cbSize = sizeof(redirect);
    if (find && find(0, nullptr, ACTIVATION_CONTEXT_SECTION_DLL_REDIRECTION, name, &redirect)) {
        return LoadLibraryA(name);
    }
    return LoadSystemLibrary(name);
}

void PreloadSystemLibraries() {
    for (int i = 0; i < kSystemPreloadCount; ++i) (void)LoadSystemLibrary(kSystemPreloads[i]);
}
