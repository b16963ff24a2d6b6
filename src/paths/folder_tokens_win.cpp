#include "paths/folder_tokens.h"

#include "common/memory.h"
#include "common/text.h"
#include "paths/path_state.h"
#include "paths/special_folders.h"
#include "paths/token_table.h"

namespace {

enum class TokenKind : uint8_t {
    kWindows,
    kSystem,
    kTemp,
    kCommonFiles,
    kProgramFiles,
    kCommonFiles64,
    kProgramFiles64,
    kSystem64,
    kShell,
    kUserDir,
    kAllUsersDir,
    kInstallDir
};

// Where the NT family looks when the shell has no folder, before the Windows folder.
enum class ProfileBase : uint8_t {
    kNone,
    kProfileFolder,  // the application-data folder with its last part replaced
    kProfilesRoot,   // the application-data folder with its last two parts replaced
};

// The fallbacks of a row all come from one text, the NT family's tail after the Windows folder
// ("Profiles\All Users\Desktop"): the profile-based fallback takes it from the backslash after
// "Profiles" or "Profiles\Administrator", and the 9x family takes its end from `nineXOffset` on.
// One text per row instead of three keeps the table small.
struct TokenRow {
    FolderToken token;
    TokenKind kind;
    uint8_t csidl;            // the shell folder looked up first
    ProfileBase ntBase;       // NT fallback one: this base + the tail from its backslash on
    uint8_t nineXOffset;      // the 9x fallback: the Windows folder + the tail from here on
    const char* windowsTail;  // NT fallback two: the Windows folder + this; null: no fallback
};

constexpr size_t kProfilesLength = sizeof("Profiles") - 1;
constexpr size_t kAdministratorProfileLength = sizeof("Profiles\\Administrator") - 1;

// Where the profile-based fallback's tail begins: its backslash.
constexpr size_t ProfileTailOffset(ProfileBase base) {
    return base == ProfileBase::kProfileFolder ? kAdministratorProfileLength : kProfilesLength;
}

// One row per token, in the order of FolderToken (paths/token_table.h), which names them.
constexpr TokenRow kTokenRows[] = {
    {FolderToken::kWindows, TokenKind::kWindows, 0, ProfileBase::kNone, 0, nullptr},
    {FolderToken::kSystem, TokenKind::kSystem, 0, ProfileBase::kNone, 0, nullptr},
    {FolderToken::kTempDir, TokenKind::kTemp, 0, ProfileBase::kNone, 0, nullptr},
    {FolderToken::kCommonFiles, TokenKind::kCommonFiles, 0, ProfileBase::kNone, 0, nullptr},
    {FolderToken::kProgramFiles, TokenKind::kProgramFiles, 0, ProfileBase::kNone, 0, nullptr},
    {FolderToken::kMyDocuments, TokenKind::kShell, kCsidlPersonal, ProfileBase::kNone, 0, nullptr},
    {FolderToken::kDesktop, TokenKind::kShell, kCsidlDesktopDirectory, ProfileBase::kNone, 0, nullptr},
    // 9x: "Application Data".
    {FolderToken::kAppData, TokenKind::kShell, kCsidlAppData, ProfileBase::kNone, 23,
     "Profiles\\Administrator\\Application Data"},
    // Profile folder + "\Local Settings\Application Data"; 9x: "Application Data".
    {FolderToken::kLocalAppData, TokenKind::kShell, kCsidlLocalAppData, ProfileBase::kProfileFolder, 38,
     "Profiles\\Administrator\\Local Settings\\Application Data"},
    // Profiles root + "\All Users\...", 9x: "All Users\...".
    {FolderToken::kAllUsersAppData, TokenKind::kShell, kCsidlCommonAppData, ProfileBase::kProfilesRoot, 9,
     "Profiles\\All Users\\Application Data"},
    {FolderToken::kAllUsersDocuments, TokenKind::kShell, kCsidlCommonDocuments, ProfileBase::kProfilesRoot, 9,
     "Profiles\\All Users\\Documents"},
    {FolderToken::kAllUsersDesktop, TokenKind::kShell, kCsidlCommonDesktopDirectory,
     ProfileBase::kProfilesRoot, 9, "Profiles\\All Users\\Desktop"},
    {FolderToken::kUserDir, TokenKind::kUserDir, kCsidlProfile, ProfileBase::kNone, 0, nullptr},
    {FolderToken::kAllUsersDir, TokenKind::kAllUsersDir, kCsidlCommonDocuments, ProfileBase::kProfilesRoot, 9,
     "Profiles\\All Users"},
    {FolderToken::kInstallDir, TokenKind::kInstallDir, 0, ProfileBase::kNone, 0, nullptr},
    // The user's menus have no fallback, as the user's desktop has none; the all-users ones fall back
    // as the all-users desktop does (the 9x family keeps them below the Windows folder, when at all).
    {FolderToken::kPrograms, TokenKind::kShell, kCsidlPrograms, ProfileBase::kNone, 0, nullptr},
    {FolderToken::kAllUsersPrograms, TokenKind::kShell, kCsidlCommonPrograms, ProfileBase::kProfilesRoot, 9,
     "Profiles\\All Users\\Start Menu\\Programs"},
    {FolderToken::kStartMenu, TokenKind::kShell, kCsidlStartMenu, ProfileBase::kNone, 0, nullptr},
    {FolderToken::kAllUsersStartMenu, TokenKind::kShell, kCsidlCommonStartMenu, ProfileBase::kProfilesRoot, 9,
     "Profiles\\All Users\\Start Menu"},
    {FolderToken::kStartup, TokenKind::kShell, kCsidlStartup, ProfileBase::kNone, 0, nullptr},
    {FolderToken::kAllUsersStartup, TokenKind::kShell, kCsidlCommonStartup, ProfileBase::kProfilesRoot, 9,
     "Profiles\\All Users\\Start Menu\\Programs\\Startup"},
    // Every family keeps its fonts in the Windows folder's Fonts.
    {FolderToken::kFonts, TokenKind::kShell, kCsidlFonts, ProfileBase::kNone, 0, "Fonts"},
    {FolderToken::kProgramFiles64, TokenKind::kProgramFiles64, 0, ProfileBase::kNone, 0, nullptr},
    {FolderToken::kCommonFiles64, TokenKind::kCommonFiles64, 0, ProfileBase::kNone, 0, nullptr},
    {FolderToken::kSystem64, TokenKind::kSystem64, 0, ProfileBase::kNone, 0, nullptr},
};

constexpr size_t LiteralLength(const char* text) {
    size_t n = 0;
    while (text[n]) ++n;
    return n;
}

// Each row in its place, and each derived tail where it should begin: the profile tail at a
// backslash, the 9x tail just after one (or at the start).
constexpr bool RowsFollowTheTokenTable() {
    if (sizeof(kTokenRows) / sizeof(kTokenRows[0]) != kFolderTokenCount) return false;
    for (size_t i = 0; i < kFolderTokenCount; ++i) {
        const TokenRow& row = kTokenRows[i];
        if (row.token != static_cast<FolderToken>(i)) return false;
        if (!row.windowsTail) continue;
        size_t length = LiteralLength(row.windowsTail);
        if (row.nineXOffset >= length ||
            (row.nineXOffset != 0 && row.windowsTail[row.nineXOffset - 1] != '\\')) {
            return false;
        }
        size_t profile = ProfileTailOffset(row.ntBase);
        if (row.ntBase != ProfileBase::kNone && (profile >= length || row.windowsTail[profile] != '\\'))
            return false;
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
    const char* tail = row.windowsTail;
    if (!tail) return false;  // no fallback: the token keeps its text
    if (!paths.nt) return WindowsFolderPlus(tail + row.nineXOffset, out);
    if (row.ntBase != ProfileBase::kNone &&
        ProfileBasePlus(paths, row.ntBase, tail + ProfileTailOffset(row.ntBase), out))
        return true;
    return WindowsFolderPlus(tail, out);
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

// With `view64` the values of the 64-bit registry view, which name the 64-bit programs' folders.
bool CommonFilesFolder(const PathState& paths, char* out, bool view64) {
    if (LookUpSetupFolder(paths, kCommonFilesDirValue, out, view64)) return true;
    char folder[kPathBufferSize];
    char joined[kPathBufferSize];
    return LookUpSetupFolder(paths, kProgramFilesDirValue, folder, view64) &&
           JoinPath(joined, kPathBufferSize, folder, "Common Files") &&
           CopyText(out, kPathBufferSize, joined);
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
        case TokenKind::kCommonFiles64:
            return CommonFilesFolder(paths, out, row.kind == TokenKind::kCommonFiles64 && paths.wow64);
        case TokenKind::kProgramFiles:
        case TokenKind::kProgramFiles64:
            // In the 64-bit view "ProgramFilesDir" names the 64-bit folder on every 64-bit Windows
            // ("ProgramW6432Dir" came with Windows 7).
            return LookUpSetupFolder(paths, kProgramFilesDirValue, out,
                                     row.kind == TokenKind::kProgramFiles64 && paths.wow64);
        case TokenKind::kSystem64:
            // The 64-bit System folder, which this 32-bit program sees as "Sysnative" (its System32
            // is SysWOW64); the ordinary System folder where Windows has only one, and for a 64-bit
            // build (the tests' own), whose System32 is the 64-bit one and which has no Sysnative.
            return paths.wow64 && sizeof(void*) == 4 ? WindowsFolderPlus(kSysnativeName, out)
                                                     : GetSystemFolder(out);
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

bool ResolveCachedToken(void* context, const char* token, size_t length, char* out, size_t size) {
    PathState& paths = *static_cast<PathState*>(context);
    EntryTokenCache& cache = paths.entryTokens;
    // A token too long for a path buffer matches no row.
    if (length >= kPathBufferSize) return false;
    // The same token as before (letter case aside): its text is read only as far as it goes.
    size_t i = 0;
    while (i < length && cache.token[i] != '\0' && AsciiUpper(cache.token[i]) == AsciiUpper(token[i])) ++i;
    if (i != length || cache.token[length] != '\0') {
        for (i = 0; i < length; ++i) cache.folder[i] = cache.token[i] = token[i];
        cache.folder[length] = cache.token[length] = '\0';
        ResolveFolderToken(paths, cache.folder);
        // An unknown token leaves nothing; one whose folder cannot be found keeps its own text.
        if (cache.folder[0] == '#') cache.folder[0] = '\0';
    }
    return cache.folder[0] != '\0' && CopyText(out, size, cache.folder);
}

}  // namespace

FolderTokenResolver EntryTokens(PathState& paths) {
    return {ResolveCachedToken, &paths};
}

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
    uint32_t length = BuildExpansion(paths, source, expansion) ? static_cast<uint32_t>(expansion.length())
                                                               : kExpansionTooLong;
    if (length != kExpansionTooLong) {
        Deliver(scratch.get(), length, dest, size);
    } else {
        Deliver("", 0, dest, size);
    }
    return length;
}
