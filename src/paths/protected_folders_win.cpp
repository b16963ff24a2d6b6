#include "paths/protected_folders.h"

#include "common/backslash.h"
#include "common/memory.h"
#include "common/text.h"
#include "paths/canonical_path.h"
#include "paths/folder_tokens.h"
#include "paths/path_state.h"
#include "paths/special_folders.h"

// Each folder of the comparison table, in its canonical form, and, where the file system reaches it
// through a junction or link, its final path as well. The folders cannot change while the uninstaller
// runs, and looking them up costs far more than one folder removal, so they are looked up once.
struct ProtectedFolderSet {
    // 34 folders at most, each with at most one final path.
    static constexpr uint32_t kCapacity = 68;
    uint32_t count;
    bool incomplete;  // a folder found no room: then no folder can be shown to be unprotected
    char folders[kCapacity][kPathBufferSize];
};

namespace {

constexpr const char* kQuickLaunch = "Microsoft\\Internet Explorer\\Quick Launch";

struct ShellRow {
    int csidl;
    bool ntOnly;  // the all-users folders are looked up on the NT family only
};

constexpr ShellRow kShellRows[] = {
    {kCsidlDesktop, false},     {kCsidlDesktopDirectory, false}, {kCsidlCommonDesktopDirectory, true},
    {kCsidlFonts, false},       {kCsidlPrograms, false},         {kCsidlCommonPrograms, true},
    {kCsidlStartMenu, false},   {kCsidlCommonStartMenu, true},   {kCsidlStartup, false},
    {kCsidlCommonStartup, true}};
// The application-data folders, each also with its Quick Launch folder.
constexpr int kAppDataRows[] = {kCsidlAppData, kCsidlCommonAppData};
// Roots that folder tokens name and the platforms' own folders that the rows above miss: the
// documents, the local application data, the profile (also its parent, the profiles root).
// The registry's program folders; the WOW64 names give the 64-bit and 32-bit folders on 64-bit Windows,
// where a 32-bit process reads "ProgramFilesDir" as "Program Files (x86)".
constexpr const char* kSetupValues[] = {kProgramFilesDirValue,   kCommonFilesDirValue,
                                        "ProgramW6432Dir",       "CommonW6432Dir",
                                        "ProgramFilesDir (x86)", "CommonFilesDir (x86)"};

bool Contains(const ProtectedFolderSet& set, const char* canonical) {
    for (uint32_t i = 0; i < set.count; ++i) {
        if (TextEqualsNoCase(set.folders[i], canonical)) return true;
    }
    return false;
}

void Put(ProtectedFolderSet& set, const char* folder) {
    if (folder[0] == '\0' || Contains(set, folder)) return;
    if (set.count == ProtectedFolderSet::kCapacity || !CopyText(set.folders[set.count], folder)) {
        set.incomplete = true;
        return;
    }
    set.count++;
}

// Adds `folder` as the platform or the shell gave it: its canonical form (or, when it has none, the
// text without its trailing backslash) and the final path behind it.
void Add(ProtectedFolderSet& set, const char* folder) {
    char canonical[kPathBufferSize];
    if (!CanonicalizeFolderPath(folder, canonical)) {
        (void)CopyText(canonical, folder);
        StripTrailingBackslash(canonical);
        Put(set, canonical);
        return;
    }
    Put(set, canonical);
    char final[kPathBufferSize];
    if (ReadFinalFolderPath(canonical, final) == FinalPathResult::kFound) Put(set, final);
}

void AddWithQuickLaunch(ProtectedFolderSet& set, const char* folder) {
    Add(set, folder);
    char quickLaunch[kPathBufferSize];
    // A composed path that does not fit names no folder, so it protects nothing.
    if (JoinPath(quickLaunch, kPathBufferSize, folder, kQuickLaunch)) Add(set, quickLaunch);
}

void AddWithParent(ProtectedFolderSet& set, char* folder) {
    Add(set, folder);
    StripTrailingBackslash(folder);
    if (CutAtLastBackslash(folder)) Add(set, folder);
}

void Build(const PathState& paths, ProtectedFolderSet& set) {
    char folder[kPathBufferSize];
    if (GetWindowsFolder(folder)) Add(set, folder);
    if (GetSystemFolder(folder)) Add(set, folder);
    for (const ShellRow& row : kShellRows) {
        if ((!row.ntOnly || paths.nt) && LookUpSpecialFolder(paths, folder, row.csidl)) Add(set, folder);
    }
    for (int csidl : kAppDataRows) {
        if (LookUpSpecialFolder(paths, folder, csidl)) AddWithQuickLaunch(set, folder);
    }
    if (LookUpSpecialFolder(paths, folder, kCsidlCommonDocuments)) AddWithParent(set, folder);
    for (const char* value : kSetupValues) {
        if (LookUpSetupFolder(paths, value, folder)) Add(set, folder);
    }
    if (GetSharedWindowsFolder(folder)) Add(set, folder);
    if (GetWow64SystemFolder(folder)) Add(set, folder);
    // The 64-bit programs' folders, as this 32-bit program reaches them (Sysnative for System32); on
    // 32-bit Windows the ordinary ones again.
    for (size_t i = static_cast<size_t>(FolderToken::kProgramFiles64); i < kFolderTokenCount; ++i) {
        (void)CopyText(folder, FolderTokenName(i));
        ResolveFolderToken(paths, folder);
        if (folder[0] != '#') Add(set, folder);
    }
    if (LookUpSpecialFolder(paths, folder, kCsidlPersonal)) Add(set, folder);
    if (LookUpSpecialFolder(paths, folder, kCsidlLocalAppData)) Add(set, folder);
    if (LookUpSpecialFolder(paths, folder, kCsidlProfile)) AddWithParent(set, folder);
    if (GetTempFolder(folder)) Add(set, folder);
}

const ProtectedFolderSet* GetProtectedSet(PathState& paths) {
    if (!paths.protectedSet) {
        if (!AllocZeroed(sizeof(ProtectedFolderSet), paths.protectedSet)) return nullptr;
        Build(paths, *paths.protectedSet.get());
    }
    return paths.protectedSet.get();
}

// The test of the canonical path itself: a root, or a folder of the set (true also without a set).
bool IsProtectedByName(PathState& paths, const char* canonical) {
    if (IsRootOrAdministrativeShare(canonical)) return true;
    // Without the set nothing can be shown to be unprotected.
    const ProtectedFolderSet* set = GetProtectedSet(paths);
    return !set || set->incomplete || Contains(*set, canonical);
}

bool IsProtectedCanonical(PathState& paths, const char* canonical) {
    if (IsProtectedByName(paths, canonical)) return true;
    const ProtectedFolderSet* set = GetProtectedSet(paths);
    // The same folder reached through a junction or link ("Documents and Settings\...").
    char final[kPathBufferSize];
    switch (ReadFinalFolderPath(canonical, final)) {
        case FinalPathResult::kNone:
            return false;
        case FinalPathResult::kFound:
            return IsRootOrAdministrativeShare(final) || Contains(*set, final);
        case FinalPathResult::kUnreadable:
            return true;
    }
    return true;
}

// The canonical form of `path` into `canonical` when that folder may be removed or worked in.
bool Resolve(PathState& paths, const char* path, char* canonical, bool lookAtFinalPath) {
    canonical[0] = '\0';
    if (TextLength(path) < 4) return false;
    char candidate[kPathBufferSize];
    if (!CanonicalizeFolderPath(path, candidate)) return false;
    if (lookAtFinalPath ? IsProtectedCanonical(paths, candidate) : IsProtectedByName(paths, candidate))
        return false;
    return CopyText(canonical, kPathBufferSize, candidate);
}

}  // namespace

bool ResolveRemovableFolder(PathState& paths, const char* path, char* canonical) {
    return Resolve(paths, path, canonical, true);
}

bool ResolveRemovableFolderByName(PathState& paths, const char* path, char* canonical) {
    return Resolve(paths, path, canonical, false);
}

bool IsProtectedFolder(PathState& paths, const char* path) {
    char canonical[kPathBufferSize];
    return !ResolveRemovableFolder(paths, path, canonical);
}

bool FindProtectedFolderAbove(PathState& paths, const char* canonical, char* root) {
    const ProtectedFolderSet* set = GetProtectedSet(paths);
    if (!set || set->incomplete || !CopyText(root, kPathBufferSize, canonical)) return false;
    // A protected folder is its own root: the files listed in it hang below it as those in its
    // subfolders do. The system may reach it through a link (for a 32-bit process on 64-bit Windows,
    // System32 is SysWOW64), which is the machine's own.
    if (Contains(*set, root)) return true;
    while (CutAtLastBackslash(root)) {
        if (IsRootOrAdministrativeShare(root) || Contains(*set, root)) return true;
    }
    return false;
}
