#include "removal/entry_paths.h"

#include "common/backslash.h"
#include "common/text.h"

namespace {

// Ends a builder: the whole result, or the empty string and false.
bool Finish(bool fits, char* out, size_t size) {
    if (!fits && size > 0) out[0] = '\0';
    return fits;
}

bool IsAsciiLetter(char c) { return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z'); }

}  // namespace

bool BuildEntryPath(const char* installFolder, const char* folder, const char* name, char* out, size_t size) {
    bool fits = size > 0;
    if (fits) out[0] = '\0';
    if (folder[0] == '.') {
        fits = fits && CopyText(out, size, installFolder);
        if (folder[1] == '\\') fits = fits && AppendText(out, size, folder + 2);
    } else {
        fits = fits && CopyText(out, size, folder);
    }
    if (name[0] != '\0') fits = fits && AppendBackslash(out, size) && AppendText(out, size, name);
    return Finish(fits, out, size);
}

ProgramFolderStart BuildProgramFolder(const char* installFolder, const char* folder, const char* name, char* out,
                                      size_t size) {
    if (!BuildEntryPath(installFolder, folder, name, out, size)) return ProgramFolderStart::kTooLong;
    if (name[0] != '\0' && !RemoveLastComponent(out)) {
        out[0] = '\0';
        return ProgramFolderStart::kNoBackslash;
    }
    StripTrailingBackslash(out);
    return ProgramFolderStart::kFolder;
}

bool PatternHasTokens(const char* pattern) {
    for (; *pattern; ++pattern) {
        if (*pattern == '#') return true;
    }
    return false;
}

bool BuildPatternPath(const char* installFolder, const char* pattern, char* out, size_t size) {
    bool fits = size > 0 && CopyText(out, size, installFolder) && AppendBackslash(out, size) &&
                AppendText(out, size, pattern);
    return Finish(fits, out, size);
}

char* SplitPatternPath(char* path) {
    char* last = FindLastBackslash(path);
    if (!last) return nullptr;
    *last = '\0';
    return last + 1;
}

bool IsPlainFileMask(const char* mask) {
    if (mask[0] == '\0' || TextEqualsNoCase(mask, ".") || TextEqualsNoCase(mask, "..")) return false;
    for (; *mask; ++mask) {
        if (*mask == ':' || *mask == '/' || *mask == '\\') return false;
    }
    return true;
}

bool IsPlainShortcutName(const char* name) {
    bool onlyDots = true;
    for (; *name; ++name) {
        if (*name == '\\' || *name == '/' || *name == ':') return false;
        if (*name != '.' && *name != ' ') onlyDots = false;
    }
    return !onlyDots;
}

bool BuildShortcutPath(const char* folder, const char* name, char* out, size_t size) {
    bool fits = size > 0 && CopyText(out, size, folder) && AppendBackslash(out, size) && AppendText(out, size, name);
    return Finish(fits, out, size);
}

bool RemoveLastComponent(char* path) {
    char* last = FindLastBackslash(path);
    if (!last) return false;
    *last = '\0';
    return true;
}

bool ClimbShortcutStep(char* folder, char* secondFolder) {
    if (!RemoveLastComponent(folder)) return false;
    return secondFolder[0] == '\0' || RemoveLastComponent(secondFolder);
}

RegistryPathSplit SplitRegistryPath(const char* path) {
    size_t length = TextLength(path);
    if (length == 0 || TextEqualsNoCase(path, "Software") || TextEqualsNoCase(path, "System")) {
        return {RegistryEntryKind::kSkipped, length, nullptr};
    }
    const char* last = FindLastBackslash(path);
    if (last && last != path && last[-1] == '\\') {
        return {RegistryEntryKind::kValue, static_cast<size_t>(last - 1 - path), last + 1};
    }
    return {RegistryEntryKind::kKey, length, nullptr};
}

bool IsPredefinedRoot(uint32_t root, bool nt) {
    // 0x80000004 (HKEY_PERFORMANCE_DATA) is no key to delete from; 0x80000006 (HKEY_DYN_DATA)
    // exists on the 9x family only.
    return (root >= 0x80000000u && root <= 0x80000003u) || root == 0x80000005u || (!nt && root == 0x80000006u);
}

bool IsAbsolutePath(const char* path) {
    if (IsAsciiLetter(path[0]) && path[1] == ':' && path[2] == '\\') return true;
    if (path[0] != '\\' || path[1] != '\\') return false;
    const char* server = path + 2;
    const char* serverEnd = server;
    while (*serverEnd && *serverEnd != '\\') ++serverEnd;
    // A server name, its backslash, and a share name that does not begin with another backslash.
    return serverEnd != server && serverEnd[0] == '\\' && serverEnd[1] != '\0' && serverEnd[1] != '\\';
}

bool IsAbsoluteProgramPath(const char* program) {
    if (!IsAbsolutePath(program)) return false;
    for (const char* p = program + 2; *p; ++p) {
        if (*p == ':') return false;
    }
    return true;
}

const char* SkipRunFirstLead(const char* command) {
    if (*command == '"') ++command;
    while (*command == ' ') ++command;
    return command;
}

bool BuildRunFirstFolderCommand(const char* installFolder, const char* command, char* out, size_t size) {
    bool fits = size > 0;
    if (fits) out[0] = '\0';
    fits = fits && (command[0] != '"' || AppendText(out, size, "\"")) && AppendText(out, size, installFolder) &&
           AppendBackslash(out, size) && AppendText(out, size, SkipRunFirstLead(command));
    return Finish(fits, out, size);
}
