#include "paths/folder_tokens.h"

#include "common/text.h"
#include "common/memory.h"
#include "paths/path_state.h"
#include "paths/special_folders.h"
#include "paths/token_table.h"

namespace {

constexpr int kCsidlPersonal = 5;
constexpr int kCsidlDesktopDirectory = 16;
constexpr int kCsidlCommonDesktopDirectory = 25;
constexpr int kCsidlAppData = 26;
constexpr int kCsidlLocalAppData = 28;
constexpr int kCsidlCommonAppData = 35;
constexpr int kCsidlProfile = 40;
constexpr int kCsidlCommonDocuments = 46;

enum class TokenKind {
    kWindows,
    kSystem,
    kTemp,
    kCommonFiles,
    kProgramFiles,
    kShell,
    kUserDir,
    kAllUsersDir,
    kInstallDir
};

// Where the NT family looks when the shell has no folder, before the Windows folder.
enum class ProfileBase {
    kNone,
    kProfileFolder,  // the application-data folder with its last part replaced
    kProfilesRoot,   // the application-data folder with its last two parts replaced
};

struct TokenRow {
    FolderToken token;
    TokenKind kind;
    int csidl;           // the shell folder looked up first
    ProfileBase ntBase;  // NT fallback one: this base + ntProfileTail
    const char* ntProfileTail;
    const char* ntWindowsTail;     // NT fallback two: the Windows folder + this; null: no fallback
    const char* nineXWindowsTail;  // the 9x fallback: the Windows folder + this
};

// One row per token, in the order of FolderToken (paths/token_table.h), which names them.
constexpr TokenRow kTokenRows[] = {
    {FolderToken::kWindows, TokenKind::kWindows, 0, ProfileBase::kNone, nullptr, nullptr, nullptr},
    {FolderToken::kSystem, TokenKind::kSystem, 0, ProfileBase::kNone, nullptr, nullptr, nullptr},
    {FolderToken::kTempDir, TokenKind::kTemp, 0, ProfileBase::kNone, nullptr, nullptr, nullptr},
    {FolderToken::kCommonFiles, TokenKind::kCommonFiles, 0, ProfileBase::kNone, nullptr, nullptr, nullptr},
    {FolderToken::kProgramFiles, TokenKind::kProgramFiles, 0, ProfileBase::kNone, nullptr, nullptr, nullptr},
    {FolderToken::kMyDocuments, TokenKind::kShell, kCsidlPersonal, ProfileBase::kNone, nullptr, nullptr, nullptr},
    {FolderToken::kDesktop, TokenKind::kShell, kCsidlDesktopDirectory, ProfileBase::kNone, nullptr, nullptr, nullptr},
    {FolderToken::kAppData, TokenKind::kShell, kCsidlAppData, ProfileBase::kNone, nullptr,
     "Profiles\\Administrator\\Application Data", "Application Data"},
    {FolderToken::kLocalAppData, TokenKind::kShell, kCsidlLocalAppData, ProfileBase::kProfileFolder,
     "\\Local Settings\\Application Data", "Profiles\\Administrator\\Local Settings\\Application Data",
     "Application Data"},
    {FolderToken::kAllUsersAppData, TokenKind::kShell, kCsidlCommonAppData, ProfileBase::kProfilesRoot,
     "\\All Users\\Application Data", "Profiles\\All Users\\Application Data", "All Users\\Application Data"},
    {FolderToken::kAllUsersDocuments, TokenKind::kShell, kCsidlCommonDocuments, ProfileBase::kProfilesRoot,
     "\\All Users\\Documents", "Profiles\\All Users\\Documents", "All Users\\Documents"},
    {FolderToken::kAllUsersDesktop, TokenKind::kShell, kCsidlCommonDesktopDirectory, ProfileBase::kProfilesRoot,
     "\\All Users\\Desktop", "Profiles\\All Users\\Desktop", "All Users\\Desktop"},
    {FolderToken::kUserDir, TokenKind::kUserDir, kCsidlProfile, ProfileBase::kNone, nullptr, nullptr, nullptr},
    {FolderToken::kAllUsersDir, TokenKind::kAllUsersDir, kCsidlCommonDocuments, ProfileBase::kProfilesRoot,
     "\\All Users", "Profiles\\All Users", "All Users"},
    {FolderToken::kInstallDir, TokenKind::kInstallDir, 0, ProfileBase::kNone, nullptr, nullptr, nullptr},
};

constexpr bool RowsFollowTheTokenTable() {
    if (sizeof(kTokenRows) / sizeof(kTokenRows[0]) != kFolderTokenCount) return false;
    for (size_t i = 0; i < kFolderTokenCount; ++i) {
        if (kTokenRows[i].token != static_cast<FolderToken>(i)) return false;
    }
    return true;
}
static_assert(RowsFollowTheTokenTable());

// The Windows folder, a backslash and `tail`; false when a part is missing or the whole does not fit.
bool WindowsFolderPlus(const char* tail, char* out) {
    char folder[kPathBufferSize];
    char joined[kPathBufferSize];
    return GetWindowsFolder(folder) && JoinPath(joined, kPathBufferSize, folder, tail) &&
           CopyText(out, kPathBufferSize, joined);
}

// The application-data folder with its last part (profile folder) or last two parts (profiles root)
// replaced by `tail`, which begins with a backslash.
bool ProfileBasePlus(const PathState& paths, ProfileBase base, const char* tail, char* out) {
    char folder[kPathBufferSize];
    if (!LookUpSpecialFolder(paths, folder, kCsidlAppData)) return false;
    char* cut = FindLastBackslash(folder);
    if (!cut) return false;
    if (base == ProfileBase::kProfilesRoot) {
        *cut = '\0';
        cut = FindLastBackslash(folder);
        if (!cut) return false;
    }
    *cut = '\0';
    return AppendText(folder, tail) && CopyText(out, kPathBufferSize, folder);
}

bool ShellFolderFallback(const PathState& paths, const TokenRow& row, char* out) {
    if (!row.nineXWindowsTail) return false;  // no fallback: the token keeps its text
    if (!paths.nt) return WindowsFolderPlus(row.nineXWindowsTail, out);
    if (row.ntBase != ProfileBase::kNone && ProfileBasePlus(paths, row.ntBase, row.ntProfileTail, out))
        return true;
    return WindowsFolderPlus(row.ntWindowsTail, out);
}

// The shared documents folder's parent; a drive root keeps its backslash, and a folder without any
// backslash gives "c:\".
bool AllUsersFolder(const PathState& paths, char* out) {
    char folder[kPathBufferSize];
    if (!LookUpSpecialFolder(paths, folder, kCsidlCommonDocuments)) return false;
    if (!CutAtLastBackslash(folder)) return CopyText(out, kPathBufferSize, "c:\\");
    return CopyText(out, kPathBufferSize, folder);
}

bool UserFolderFallback(const PathState& paths, char* out) {
    if (!paths.nt) return GetWindowsFolder(out);
    char folder[kPathBufferSize];
    if (LookUpSpecialFolder(paths, folder, kCsidlAppData) && CutAtLastBackslash(folder)) {
        return CopyText(out, kPathBufferSize, folder);
    }
    return CopyText(out, kPathBufferSize, "c:\\");
}

bool CommonFilesFolder(const PathState& paths, char* out) {
    if (LookUpSetupFolder(paths, "CommonFilesDir", out)) return true;
    char folder[kPathBufferSize];
    char joined[kPathBufferSize];
    return LookUpSetupFolder(paths, "ProgramFilesDir", folder) &&
           JoinPath(joined, kPathBufferSize, folder, "Common Files") && CopyText(out, kPathBufferSize, joined);
}

// The folder of one row into `out`; false when neither the lookup nor a fallback gave one that fits.
bool ResolveRow(const PathState& paths, const TokenRow& row, char* out) {
    char found[kPathBufferSize];
    switch (row.kind) {
        case TokenKind::kWindows:
            return GetWindowsFolder(out);
        case TokenKind::kSystem:
            return GetSystemFolder(out);
        case TokenKind::kTemp:
            return GetTempFolder(out);
        case TokenKind::kCommonFiles:
            return CommonFilesFolder(paths, out);
        case TokenKind::kProgramFiles:
            return LookUpSetupFolder(paths, "ProgramFilesDir", out);
        case TokenKind::kShell:
            if (LookUpSpecialFolder(paths, found, row.csidl)) return CopyText(out, kPathBufferSize, found);
            return ShellFolderFallback(paths, row, out);
        case TokenKind::kUserDir:
            if (LookUpSpecialFolder(paths, found, row.csidl)) return CopyText(out, kPathBufferSize, found);
            return UserFolderFallback(paths, out);
        case TokenKind::kAllUsersDir:
            return AllUsersFolder(paths, out) || ShellFolderFallback(paths, row, out);
        case TokenKind::kInstallDir:
            return paths.installFolder && CopyText(out, kPathBufferSize, paths.installFolder);
    }
    return false;
}

// Appends `length` bytes of `text` to the expansion in the scratch; false once it does not fit.
[[nodiscard]] bool Put(TextWriter& out, const char* text, size_t length) {
    out.Put(text, length);
    return out.fits();
}

// Builds the expansion of `source` in `out` (the scratch); false when it does not fit.
bool BuildExpansion(const PathState& paths, const char* source, TextWriter& out) {
    const char* read = source;
    for (;;) {
        const char* open = FindByte(read, '#');
        if (!open) return Put(out, read, TextLength(read));
        if (!Put(out, read, static_cast<size_t>(open - read))) return false;
        const char* close = FindByte(open + 1, '#');
        // A lone '#' and everything after it stay as they are.
        if (!close) return Put(out, open, TextLength(open));
        // Each token is resolved in a path buffer of its own. One too long for it matches no row,
        // so it yields nothing, as an unknown token does.
        char token[kPathBufferSize] = {};
        size_t tokenLength = static_cast<size_t>(close - open) + 1;
        if (tokenLength < kPathBufferSize) {
            for (size_t i = 0; i < tokenLength; ++i) token[i] = open[i];
            ResolveFolderToken(paths, token);
        }
        if (!Put(out, token, TextLength(token))) return false;
        read = close + 1;
    }
}

// Hands `text` of `length` bytes to the caller's destination whole, or not at all.
void Deliver(const char* text, uint32_t length, char* dest, uint32_t size) {
    if (!dest || size == 0) return;
    for (uint32_t i = 0; i < size; ++i) dest[i] = '\0';
    if (length >= size) return;
    for (uint32_t i = 0; i < length; ++i) dest[i] = text[i];
}

}  // namespace

void ResolveFolderToken(const PathState& paths, char* token) {
    FolderToken found;
    if (!FindFolderToken(token, found)) {
        token[0] = '\0';
        return;
    }
    char folder[kPathBufferSize];
    if (ResolveRow(paths, kTokenRows[static_cast<size_t>(found)], folder)) {
        // Cannot fail: both are path buffers.
        (void)CopyText(token, kPathBufferSize, folder);
    }
    if (token[0] != '\0') StripTrailingBackslash(token);
}

uint32_t ExpandFolderTokens(const PathState& paths, char* dest, const char* source, uint32_t size) {
    UniqueBlock<char> scratch;
    if (!AllocZeroed(kExpansionScratchSize, scratch)) {
        // Without the scratch nothing is expanded: the source goes on as it is.
        size_t length = TextLength(source);
        if (length >= kExpansionScratchSize) return kExpansionTooLong;
        Deliver(source, static_cast<uint32_t>(length), dest, size);
        return static_cast<uint32_t>(length);
    }
    TextWriter expansion(scratch.get(), kExpansionScratchSize);
    uint32_t length =
        BuildExpansion(paths, source, expansion) ? static_cast<uint32_t>(expansion.length()) : kExpansionTooLong;
    if (length != kExpansionTooLong) {
        Deliver(scratch.get(), length, dest, size);
    } else {
        Deliver("", 0, dest, size);
    }
    return length;
}
