#include "common/current_folder.h"

#include <windows.h>

#include "common/backslash.h"

bool ReadCurrentFolder(char* path) {
    DWORD n = GetCurrentDirectoryA(kPathBufferSize, path);
    if (n == 0 || n >= kPathBufferSize) {
        path[0] = '\0';
        return false;
    }
    StripTrailingBackslash(path);
    return true;
}

SavedCurrentFolder::~SavedCurrentFolder() {
    if (saved_) SetCurrentDirectoryA(folder_);
}
