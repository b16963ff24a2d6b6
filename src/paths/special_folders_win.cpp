#include "paths/special_folders.h"

#include <shlobj.h>

#include "common/handles_win.h"
#include "common/system_library.h"
#include "common/text.h"
#include "paths/path_state.h"

namespace {

constexpr const char* kSetupKey = "Software\\Microsoft\\Windows\\CurrentVersion";

using FolderFn = UINT(WINAPI*)(LPSTR, UINT);

// The directory services return 0 on failure and the size they need when the buffer is too small;
// both leave the buffer undefined, so they fill a scratch copy.
bool FillFromPlatform(FolderFn fill, char* path) {
    if (!fill) return false;
    char found[kPathBufferSize] = {};
    UINT n = fill(found, kPathBufferSize);
    return n != 0 && n < kPathBufferSize && CopyText(path, kPathBufferSize, found);
}

}  // namespace

bool GetSpecialFolder(char* path, int csidl) {
    LPITEMIDLIST list = nullptr;
    if (FAILED(SHGetSpecialFolderLocation(nullptr, csidl, &list)) || !list) return false;
    // SHGetPathFromIDListA writes up to MAX_PATH bytes and may empty its buffer when it fails.
    char found[MAX_PATH] = {};
    bool obtained = SHGetPathFromIDListA(list, found) && found[0] != '\0';
    IMalloc* allocator = nullptr;
    if (SUCCEEDED(SHGetMalloc(&allocator)) && allocator) {
        allocator->Free(list);
        allocator->Release();
    }
    return obtained && CopyText(path, kPathBufferSize, found);
}

bool ReadSetupFolder(const char* valueName, char* path, bool view64) {
    UniqueRegistryKey key;
    if (RegOpenKeyExA(HKEY_LOCAL_MACHINE, kSetupKey, 0, KEY_READ | (view64 ? KEY_WOW64_64KEY : 0),
                      key.put()) != ERROR_SUCCESS)
        return false;
    // Any value type is accepted, so nothing promises a terminator: one byte is kept for ours.
    char value[kPathBufferSize + 1] = {};
    DWORD size = kPathBufferSize;
    LONG status =
        RegQueryValueExA(key.get(), valueName, nullptr, nullptr, reinterpret_cast<BYTE*>(value), &size);
    if (status != ERROR_SUCCESS || size > kPathBufferSize) return false;
    value[size] = '\0';
    return value[0] != '\0' && CopyText(path, kPathBufferSize, value);
}

bool LookUpSpecialFolder(const PathState& paths, char* path, int csidl) {
    SpecialFolderLookup lookup = paths.lookups.specialFolder ? paths.lookups.specialFolder : GetSpecialFolder;
    return lookup(path, csidl);
}

bool LookUpSetupFolder(const PathState& paths, const char* valueName, char* path, bool view64) {
    SetupFolderLookup lookup = paths.lookups.setupFolder ? paths.lookups.setupFolder : ReadSetupFolder;
    return lookup(valueName, path, view64);
}

bool GetWindowsFolder(char* path) {
    return FillFromPlatform(GetWindowsDirectoryA, path);
}

bool GetSystemFolder(char* path) {
    return FillFromPlatform(GetSystemDirectoryA, path);
}

bool GetTempFolder(char* path) {
    char found[kPathBufferSize] = {};
    DWORD n = GetTempPathA(kPathBufferSize, found);
    return n != 0 && n < kPathBufferSize && CopyText(path, kPathBufferSize, found);
}

bool GetSharedWindowsFolder(char* path) {
    return FillFromPlatform(FindKernelExport<FolderFn>("GetSystemWindowsDirectoryA"), path);
}

bool GetWow64SystemFolder(char* path) {
    // Missing before XP; on 32-bit Windows it exists and fails.
    return FillFromPlatform(FindKernelExport<FolderFn>("GetSystemWow64DirectoryA"), path);
}
