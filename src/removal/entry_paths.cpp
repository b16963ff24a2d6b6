#include "removal/entry_paths.h"

#include "common/backslash.h"
#include "common/text.h"
#include "format/layout.h"

namespace {

// Ends a builder: the whole result, or the empty string and false.
bool Finish(bool fits, char* out, size_t size) {
    if (!fits && size > 0) out[0] = '\0';
    return fits;
}

bool IsSeparator(char c) {
    return c == '\\' || c == '/';
}

}  // namespace

size_t LeadingTokenLength(const char* folder) {
    if (folder[0] != '#') return 0;
    size_t close = 1;
    while (folder[close] != '\0' && folder[close] != '#') ++close;
    if (folder[close] != '#') return 0;
    char after = folder[close + 1];
    return after == '\0' || after == '\\' || after == '/' ? close + 1 : 0;
}

bool BuildEntryFolder(const char* folder, const FolderTokenResolver* tokens, char* out, size_t size) {
    if (size == 0) return false;
    out[0] = '\0';
    size_t tokenLength = LeadingTokenLength(folder);
    if (tokenLength == 0) return Finish(CopyText(out, size, folder), out, size);
    if (!tokens || !tokens->resolve(tokens->context, folder, tokenLength, out, size) || out[0] == '\0') {
        return Finish(false, out, size);
    }
    const char* rest = folder + tokenLength;
    // A drive root keeps its backslash ("D:\"): the rest's own backslash is not doubled after it.
    size_t length = TextLength(out);
    if (out[length - 1] == '\\' && (rest[0] == '\\' || rest[0] == '/')) ++rest;
    return Finish(AppendText(out, size, rest), out, size);
}

bool BuildEntryPath(const char* installFolder, const char* folder, const char* name, char* out, size_t size,
                    const FolderTokenResolver* tokens) {
    bool fits = size > 0;
    if (fits) out[0] = '\0';
    size_t start = 0;
    if (folder[0] == '.') {
        fits = fits && CopyText(out, size, installFolder);
        start = fits ? TextLength(out) : 0;
        if (IsSeparator(folder[1])) fits = fits && AppendText(out, size, folder + 2);
    } else {
        fits = fits && BuildEntryFolder(folder, tokens, out, size);
    }
    if (name[0] != '\0') fits = fits && AppendBackslash(out, size) && AppendText(out, size, name);
    if (!fits) return Finish(false, out, size);
    // The platform reads "/" as a separator: every pass, climb and check sees the same folders only
    // when the path is built with backslashes alone ("C:/Other" is absolute and climbs as "C:\Other").
    for (char* p = out + start; *p; ++p) {
        if (*p == '/') *p = '\\';
    }
    return true;
}

ProgramFolderStart BuildProgramFolder(const char* installFolder, const char* folder, const char* name,
                                      char* out, size_t size, const FolderTokenResolver* tokens) {
    if (!BuildEntryPath(installFolder, folder, name, out, size, tokens)) return ProgramFolderStart::kTooLong;
    if (name[0] != '\0' && !RemoveLastComponent(out)) {
        out[0] = '\0';
        return ProgramFolderStart::kNoBackslash;
    }
    StripTrailingBackslash(out);
    return ProgramFolderStart::kFolder;
}

bool BuildPatternPath(const char* installFolder, const char* pattern, char* out, size_t size) {
    return Finish(size > 0 && JoinPath(out, size, installFolder, pattern), out, size);
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
    return Finish(size > 0 && JoinPath(out, size, folder, name), out, size);
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
    return (root >= format::kRootClassesRoot && root <= format::kRootUsers) ||
           root == format::kRootCurrentConfig || (!nt && root == format::kRootDynData);
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

namespace {

// Length of "\\server\share" at the start of `path` ("/" counting as "\"); 0 when it is no network path.
// Not paths/'s RootLength, on purpose: that one reads a canonical root (backslashes only, a whole
// share, no namespace) to split a path it accepts; this one reads a folder as the block spells it, and
// every spelling that reaches the network counts, "//host", "\\host" alone and "\\?\" too, so that the
// refusal below cannot be talked past with a form the other would not call a share.
size_t ShareRootLength(const char* path) {
    if (!IsSeparator(path[0]) || !IsSeparator(path[1])) return 0;
    size_t at = 2;
    while (path[at] != '\0' && !IsSeparator(path[at])) ++at;
    if (path[at] != '\0') ++at;
    while (path[at] != '\0' && !IsSeparator(path[at])) ++at;
    return at;
}

}  // namespace

bool IsRefusedNetworkFolder(const char* installFolder, const char* path) {
    size_t n = ShareRootLength(path);
    if (n == 0) return false;
    // The verbatim and device namespaces hand any path to the file system unchecked.
    if ((path[2] == '?' || path[2] == '.') && (path[3] == '\0' || IsSeparator(path[3]))) return true;
    if (ShareRootLength(installFolder) != n) return true;
    for (size_t i = 0; i < n; ++i) {
        char a = IsSeparator(path[i]) ? '\\' : path[i];
        char b = IsSeparator(installFolder[i]) ? '\\' : installFolder[i];
        if (AsciiUpper(a) != AsciiUpper(b)) return true;
    }
    return false;
}

const char* SkipRunFirstLead(const char* command) {
    if (*command == '"') ++command;
    while (*command == ' ') ++command;
    return command;
}

bool BuildRunFirstFolderCommand(const char* installFolder, const char* command, char* out, size_t size) {
    bool fits = size > 0;
    if (fits) out[0] = '\0';
    fits = fits && (command[0] != '"' || AppendText(out, size, "\"")) &&
           AppendText(out, size, installFolder) && AppendBackslash(out, size) &&
           AppendText(out, size, SkipRunFirstLead(command));
    return Finish(fits, out, size);
}
