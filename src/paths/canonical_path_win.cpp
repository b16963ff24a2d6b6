#include "paths/canonical_path.h"

#include <windows.h>

#include "common/backslash.h"
#include "common/handles_win.h"
#include "common/system_library.h"
#include "common/text.h"
#include "paths/special_folders.h"

namespace {

using LongPathFn = DWORD(WINAPI*)(LPCSTR, LPSTR, DWORD);
using FinalPathFn = DWORD(WINAPI*)(HANDLE, LPSTR, DWORD, DWORD);

constexpr char kVerbatimPrefix[] = "\\\\?\\";
constexpr char kVerbatimUncPrefix[] = "\\\\?\\UNC\\";

// Length of the root: 3 for "X:\", the length of "\\server\share" (with its backslash when more
// follows) for a share; 0 when the path is neither. For canonical paths, which the platform gave with
// backslashes only; the folder passes' network refusal measures a share root as the block spells it
// instead (ShareRootLength, removal/entry_paths.cpp), where an incomplete or namespace root counts too.
size_t RootLength(const char* path) {
    if (IsAsciiLetter(path[0]) && path[1] == ':' && path[2] == '\\') return 3;
    if (path[0] != '\\' || path[1] != '\\') return 0;
    const char* server = path + 2;
    const char* serverEnd = server;
    while (*serverEnd && *serverEnd != '\\') ++serverEnd;
    if (serverEnd == server || *serverEnd != '\\') return 0;
    // "\\.\" is the device namespace and "\\?\" the verbatim one ("\\?\UNC\host\C$\..."): neither
    // is a server, and both pass paths to the file system unchecked.
    if (serverEnd - server == 1 && (server[0] == '.' || server[0] == '?')) return 0;
    const char* share = serverEnd + 1;
    const char* shareEnd = share;
    while (*shareEnd && *shareEnd != '\\') ++shareEnd;
    if (shareEnd == share) return 0;
    return static_cast<size_t>(shareEnd - path) + (*shareEnd == '\\' ? 1 : 0);
}

// Only absolute drive and share paths, without wildcards, quotes, pipes or control bytes. A colon past
// the drive letter names a stream: "C:\Windows::$INDEX_ALLOCATION" is the Windows folder itself.
bool HasAcceptedForm(const char* path) {
    for (size_t i = 0; path[i] != '\0'; ++i) {
        unsigned char c = static_cast<unsigned char>(path[i]);
        if (c < 0x20 || c == '*' || c == '?' || c == '"' || c == '<' || c == '>' || c == '|') return false;
        if (c == ':' && i != 1) return false;
    }
    return RootLength(path) != 0;
}

bool IsMissing(DWORD error) {
    return error == ERROR_FILE_NOT_FOUND || error == ERROR_PATH_NOT_FOUND;
}

// Long names for every existing component of the full path `path`. As the platform's own service
// does, only a path with a '~' is taken to hold short names; that also spares Wine, whose service
// lists every folder on the way, a listing per component.
bool ExpandLongNames(char* path) {
    if (!ContainsByte(path, '~')) return true;
    LongPathFn longPath = FindKernelExport<LongPathFn>("GetLongPathNameA");
    if (!longPath) return ExpandShortNames(path);
    char expanded[kPathBufferSize] = {};
    DWORD n = longPath(path, expanded, kPathBufferSize);
    if (n == 0) {
        // GetLongPathNameA wants the whole path to exist; the components that do are expanded here.
        return IsMissing(GetLastError()) && ExpandShortNames(path);
    }
    return n < kPathBufferSize && CopyText(path, kPathBufferSize, expanded);
}

}  // namespace

bool CanonicalizeFolderPath(const char* path, char* canonical) {
    canonical[0] = '\0';
    char work[kPathBufferSize];
    if (!CopyText(work, path)) return false;
    for (char* p = work; *p; ++p) {
        if (*p == '/') *p = '\\';
    }
    if (!HasAcceptedForm(work)) return false;
    // Resolves "." and "..", collapses doubled backslashes, trims trailing dots and spaces.
    char full[kPathBufferSize] = {};
    char* filePart = nullptr;
    DWORD n = GetFullPathNameA(work, kPathBufferSize, full, &filePart);
    if (n == 0 || n >= kPathBufferSize) return false;
    // A device name anywhere ("C:\Windows\NUL") comes back as a "\\.\" path, refused here.
    if (!HasAcceptedForm(full) || !ExpandLongNames(full) || !HasAcceptedForm(full)) return false;
    StripTrailingBackslash(full);
    return CopyText(canonical, kPathBufferSize, full);
}

bool ExpandShortNames(char* path) {
    size_t root = RootLength(path);
    if (root == 0) return false;
    char out[kPathBufferSize] = {};
    for (size_t i = 0; i < root; ++i) out[i] = path[i];
    const char* rest = path + root;
    while (*rest != '\0') {
        const char* end = rest;
        while (*end != '\0' && *end != '\\') ++end;
        size_t used = TextLength(out);
        size_t length = static_cast<size_t>(end - rest);
        if (used + length >= kPathBufferSize) return false;
        for (size_t i = 0; i < length; ++i) out[used + i] = rest[i];
        out[used + length] = '\0';
        WIN32_FIND_DATAA found;
        UniqueFindHandle search(length ? FindFirstFileA(out, &found) : INVALID_HANDLE_VALUE);
        if (!search) {
            if (length && !IsMissing(GetLastError())) return false;
            // Nothing further exists to list: the rest stays as written.
            if (!AppendText(out, end)) return false;
            break;
        }
        out[used] = '\0';
        if (!AppendText(out, found.cFileName) || (*end == '\\' && !AppendText(out, "\\"))) return false;
        rest = *end == '\\' ? end + 1 : end;
    }
    return CopyText(path, kPathBufferSize, out);
}

FinalPathResult ReadFinalFolderPath(const char* canonical, char* final) {
    final[0] = '\0';
    if (!FindKernelExport<FinalPathFn>("GetFinalPathNameByHandleA")) return FinalPathResult::kNone;
    UniqueFileHandle folder(CreateFileA(canonical, FILE_READ_ATTRIBUTES,
                                        FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                                        OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr));
    if (!folder) return FinalPathResult::kNone;
    return ReadFinalPathOfHandle(folder.get(), final);
}

FinalPathResult ReadFinalPathOfHandle(void* object, char* final) {
    final[0] = '\0';
    FinalPathFn finalPath = FindKernelExport<FinalPathFn>("GetFinalPathNameByHandleA");
    if (!finalPath) return FinalPathResult::kNone;
    // Room for the "\\?\UNC\" prefix in front of a path of a whole path buffer.
    char raw[kPathBufferSize + 8] = {};
    DWORD n = finalPath(object, raw, sizeof(raw), 0);  // FILE_NAME_NORMALIZED | VOLUME_NAME_DOS
    if (n == 0 || n >= sizeof(raw)) return FinalPathResult::kUnreadable;
    char result[kPathBufferSize + 8] = {};
    if (StartsWithNoCase(raw, kVerbatimUncPrefix)) {
        result[0] = '\\';
        (void)CopyText(result + 1, sizeof(result) - 1, raw + sizeof(kVerbatimUncPrefix) - 2);
    } else if (StartsWithNoCase(raw, kVerbatimPrefix)) {
        (void)CopyText(result, raw + sizeof(kVerbatimPrefix) - 1);
    } else {
        (void)CopyText(result, raw);
    }
    StripTrailingBackslash(result);
    if (!HasAcceptedForm(result) || !CopyText(final, kPathBufferSize, result))
        return FinalPathResult::kUnreadable;
    return FinalPathResult::kFound;
}

bool IsRootOrAdministrativeShare(const char* canonical) {
    size_t root = RootLength(canonical);
    if (root == 0 || canonical[root] == '\0') return true;
    if (canonical[0] != '\\') return false;
    // The share name ends just before the root's closing backslash.
    return canonical[root - 2] == '$';
}
