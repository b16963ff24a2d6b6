// The backslash helpers every path builder uses: pure byte-string functions over bounded buffers,
// for the uninstaller and the packer alike. Nothing here knows the platform.
#pragma once

#include <stddef.h>

#include "common/text.h"

// The last backslash of `text`, or null when it holds none.
inline const char* FindLastBackslash(const char* text) {
    const char* last = nullptr;
    for (; *text; ++text) {
        if (*text == '\\') last = text;
    }
    return last;
}
inline char* FindLastBackslash(char* text) {
    return const_cast<char*>(FindLastBackslash(static_cast<const char*>(text)));
}

// Adds one backslash unless the text is empty or already ends with one; false, with the text
// unchanged, when it does not fit `size` bytes.
[[nodiscard]] inline bool AppendBackslash(char* path, size_t size) {
    size_t n = TextLength(path);
    if (n == 0 || path[n - 1] == '\\') return true;
    if (n + 2 > size) return false;
    path[n] = '\\';
    path[n + 1] = '\0';
    return true;
}

// Writes `folder`, a backslash (unless `folder` is empty or already ends with one) and `name` into
// `out` of `size` bytes: the one way a folder and a name become a path. False when the whole does not
// fit; what `out` then holds is no path to act on.
[[nodiscard]] inline bool JoinPath(char* out, size_t size, const char* folder, const char* name) {
    return CopyText(out, size, folder) && AppendBackslash(out, size) && AppendText(out, size, name);
}

// Removes a final backslash from a text longer than 3 characters, so "C:\" keeps it.
inline void StripTrailingBackslash(char* path) {
    size_t n = TextLength(path);
    if (n > 3 && path[n - 1] == '\\') path[n - 1] = '\0';
}

// Cuts `path` at its last backslash; a backslash right after a drive colon stays, so "D:\Shared"
// gives "D:\". False, with the path unchanged, when it holds no backslash.
[[nodiscard]] inline bool CutAtLastBackslash(char* path) {
    char* last = FindLastBackslash(path);
    if (!last) return false;
    if (last > path && last[-1] == ':') {
        last[1] = '\0';
    } else {
        *last = '\0';
    }
    return true;
}
