#include "paths/folder_tokens.h"

#include "common/text.h"

// PLACEHOLDER (the folder-token work fills this in): copies the source unchanged, which the
// run-first composition reads as "no token expanded".
uint32_t ExpandFolderTokens(const RunState&, char* dest, const char* source, uint32_t size) {
    uint32_t length = static_cast<uint32_t>(TextLength(source));
    if (dest && size) {
        uint32_t n = length + 1 < size ? length + 1 : size;
        for (uint32_t i = 0; i < n; ++i) dest[i] = source[i];
        dest[size - 1 < length ? size - 1 : length] = '\0';
    }
    return length;
}

bool AppendBackslash(char* path, uint32_t size) {
    size_t n = TextLength(path);
    if (n == 0 || path[n - 1] == '\\') return true;
    if (n + 2 > size) return false;
    path[n] = '\\';
    path[n + 1] = '\0';
    return true;
}

void StripTrailingBackslash(char* path) {
    size_t n = TextLength(path);
    if (n > 3 && path[n - 1] == '\\') path[n - 1] = '\0';
}
