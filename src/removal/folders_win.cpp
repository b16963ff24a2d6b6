#include "removal/folders.h"

#include <windows.h>

#include "common/backslash.h"
#include "common/current_folder.h"
#include "common/handles_win.h"
#include "common/memory.h"
#include "common/nt_files.h"
#include "common/scope_exit.h"
#include "common/text.h"
#include "format/layout.h"
#include "paths/canonical_path.h"
#include "paths/folder_tokens.h"
#include "paths/protected_folders.h"
#include "removal/entry_paths.h"
#include "removal/file_mask.h"
#include "removal/pattern_guard.h"
#include "removal/reach_check.h"
#include "removal/removal_log.h"
#include "removal/restart.h"
#include "run/run_state.h"
#include "ui/progress.h"
#include "ui/ui.h"

namespace {

// Deeper trees are left below this level; it bounds the walk whatever the file system reports.
constexpr uint32_t kMaxWalkDepth = 128;

// A clean-up pattern's full path: folder tokens expanded, or the install folder in front, as the
// packer's plan builds it (removal/entry_paths.h).
bool BuildFullPatternPath(const RunState& run, const char* pattern, char* out) {
    if (PatternHasTokens(pattern))
        return ExpandFolderTokens(run.paths, out, pattern, kPathBufferSize) < kPathBufferSize;
    return BuildPatternPath(run.installFolder, pattern, out, kPathBufferSize);
}

// --- The current directory.

// True when the current directory is the folder `canonical` names.
bool IsCurrentFolder(const char* canonical) {
    char current[kPathBufferSize];
    char currentCanonical[kPathBufferSize];
    return ReadCurrentFolder(current) && CanonicalizeFolderPath(current, currentCanonical) &&
           TextEqualsNoCase(currentCanonical, canonical);
}

// Makes the parent of `canonical` the current directory.
void EnterParent(const char* canonical) {
    char parent[kPathBufferSize];
    if (CopyText(parent, kPathBufferSize, canonical) && CutAtLastBackslash(parent))
        SetCurrentDirectoryA(parent);
}

// Removes the folder `canonical` (ResolveRemovableFolder's result for `shown`, the folder as built)
// when the link check allows it, first stepping out of it when it is the current directory, and says
// so in the log: a refusal under `shown`, anything else under `canonical`. Returns the outcome.
uint32_t RemoveFolderLogged(RunState& run, const char* canonical, const char* tokenRoot, const char* shown) {
    if (IsCurrentFolder(canonical)) EnterParent(canonical);
    uint32_t outcome = RemoveFolderReached(run, canonical, tokenRoot);
    RecordItem(run, LogWord::kRemoveFolder, outcome == kOutcomeRefusedByLinkCheck ? shown : canonical,
               outcome);
    return outcome;
}

// --- The wildcard walk.

// One level of the walk, on the heap: a tree 128 levels deep costs little stack. On the NT family
// the level's folder is held open from its judgement on: its subfolders and files are opened relative
// to it, judged through their own handles and removed through them, and the folder itself is removed
// through its handle. The listing only proposes names; nothing is acted on through it. The 9x family,
// which has no links, acts on the composed paths.
struct WalkLevel {
    WIN32_FIND_DATAA found;
    char item[kPathBufferSize];   // a child's path, composed from the level's folder
    char child[kPathBufferSize];  // a subfolder's canonical path
    HeldFolder held;              // the subfolder being entered
};

// `folder` + "\" + `name` into `out` (a path buffer); false when it does not fit.
bool ComposeChild(const char* folder, const char* name, char* out) {
    return JoinPath(out, kPathBufferSize, folder, name);
}

// Names the platform would read as another entry: trailing dots and spaces are trimmed when a path
// is resolved, so "a." and "a " reach "a", and "..." or " " reach the folder itself.
bool EndsWithDotOrSpace(const char* name) {
    size_t n = TextLength(name);
    return n == 0 || name[n - 1] == '.' || name[n - 1] == ' ';
}

bool IsDirectory(const WIN32_FIND_DATAA& found) {
    return (found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
}

// Junctions and symbolic links lead out of the tree: never entered, never removed.
bool IsReparsePoint(DWORD attributes) {
    return (attributes & FILE_ATTRIBUTE_REPARSE_POINT) != 0;
}

// Opens the child `name` of the held folder relative to it and judges it through that handle: no
// reparse point, and reached as the folder's child of that name. INVALID_HANDLE_VALUE when it is
// missing, cannot be opened or is judged elsewhere (`*error` says which: the platform's, or
// kOutcomeBelowLink).
HANDLE OpenJudgedChild(const HeldFolder& folder, const char* name, ChildKind kind, DWORD access,
                       DWORD* error) {
    ChildOpen opened = OpenChild(folder, name, kind, access | FILE_READ_ATTRIBUTES,
                                 FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE);
    *error = opened.error;
    UniqueFileHandle child(opened.handle);
    if (!child) return INVALID_HANDLE_VALUE;
    if (IsReparsePointHandle(child.get()) || !IsChildOf(child.get(), folder, name)) {
        *error = kOutcomeBelowLink;
        return INVALID_HANDLE_VALUE;
    }
    return child.release();
}

// Cleans the folder `folder` (canonical, tested removable; `held` its judged handle, or none on the 9x
// family): its subfolders first (each removed when it ended up empty), then its files that match
// `mask`. The held handle is closed on return; the caller removes the folder itself.
void CleanLevel(RunState& run, const char* mask, const char* folder, HeldFolder& held, uint32_t depth) {
    bool byHandle = held.handle != INVALID_HANDLE_VALUE;
    UniqueBlock<WalkLevel> block;
    if (!AllocZeroed(sizeof(WalkLevel), block)) {
        ReleaseFolder(held);
        return;
    }
    WalkLevel& level = *block.get();
    if (depth < kMaxWalkDepth && ComposeChild(folder, "*", level.item)) {
        UniqueFindHandle search(FindFirstFileA(level.item, &level.found));
        if (search) {
            do {
                KeepAnswering();  // this pass has no bar to move: a large tree would go unanswered
                const char* name = level.found.cFileName;
                if (!IsDirectory(level.found) || IsReparsePoint(level.found.dwFileAttributes) ||
                    EndsWithDotOrSpace(name)) {
                    continue;  // "." and ".." end with a dot
                }
                // The subfolder must resolve to exactly the path composed for it and must not be
                // protected; on the NT family it is then opened relative to this folder and judged.
                if (!ComposeChild(folder, name, level.item) ||
                    !ResolveRemovableFolderByName(run.paths, level.item, level.child) ||
                    !TextEqualsNoCase(level.child, level.item)) {
                    continue;
                }
                level.held.handle = INVALID_HANDLE_VALUE;
                DWORD error = 0;
                if (byHandle) {
                    HANDLE child = OpenJudgedChild(held, name, ChildKind::kFolder,
                                                   FILE_LIST_DIRECTORY | FILE_TRAVERSE, &error);
                    if (child == INVALID_HANDLE_VALUE || !HoldFolder(child, level.held)) continue;
                }
                CleanLevel(run, mask, level.child, level.held, depth + 1);
                // Removed when it ended up empty (its removal failing is the emptiness test): opened
                // again relative to this folder with delete access, which the listing's sharing
                // would not have allowed while it was walked, and judged again.
                if (byHandle) {
                    UniqueFileHandle child(OpenJudgedChild(held, name, ChildKind::kFolder, DELETE, &error));
                    if (child) error = DeleteThroughHandle(child.get());
                } else {
                    error = OutcomeOf(RemoveDirectoryA(level.child));
                }
                error = RemoveFolderAtRestartIfHolding(run, level.child, error);
                RecordItem(run, LogWord::kRemoveFolder, level.child, error);
            } while (FindNextFileA(search.get(), &level.found));
        }
    }
    if (ComposeChild(folder, mask, level.item)) {
        // Listed with each "?" widened to "*": what the platforms list for "?" differs (Windows lets
        // it match nothing before a dot and at the end, Wine exactly one character), and the long-name
        // test below decides alone. The canonical folder holds no wildcard.
        for (char* p = level.item + TextLength(folder); *p != '\0'; ++p) {
            if (*p == '?') *p = '*';
        }
        UniqueFindHandle search(FindFirstFileA(level.item, &level.found));
        if (search) {
            do {
                KeepAnswering();
                const char* name = level.found.cFileName;
                // The mask is checked again on the long name: FindFirstFileA matches short names too.
                if (IsDirectory(level.found) || EndsWithDotOrSpace(name) || !MatchesFileMask(name, mask))
                    continue;
                uint32_t outcome = kOutcomeBelowLink;
                // A file that is a link is not deleted through it (Wine's DeleteFileA reaches its target).
                if (!IsReparsePoint(level.found.dwFileAttributes)) {
                    if (!ComposeChild(folder, name, level.item)) {
                        RecordItem(run, LogWord::kSkip, folder, kOutcomeDoesNotFit, name);
                        continue;
                    }
                    if (byHandle) {
                        DWORD error = 0;
                        UniqueFileHandle file(OpenJudgedChild(held, name, ChildKind::kFile, DELETE, &error));
                        outcome = file ? DeleteThroughHandle(file.get()) : error;
                    } else {
                        outcome = OutcomeOf(DeleteFileA(level.item));
                    }
                    outcome = DeleteAtRestartIfInUse(run, level.item, outcome);
                }
                if (outcome == kOutcomeBelowLink) {
                    RecordItem(run, LogWord::kDelete, folder, outcome, name);
                } else {
                    RecordItem(run, LogWord::kDelete, level.item, outcome);
                }
            } while (FindNextFileA(search.get(), &level.found));
        }
    }
    ReleaseFolder(held);
}

// The folder of the token a pattern begins with as an entry's folder does (LeadingTokenLength:
// "#AppData#\Vendor\*.log" gives the AppData folder) into `root`; false for a pattern that does not
// begin with a known token. A token glued to more text ("#AppData#x") roots nothing: its expansion
// is no folder below the token's.
bool ResolveLeadingToken(const RunState& run, const char* stored, char* root) {
    size_t length = LeadingTokenLength(stored);
    if (length == 0 || length >= kPathBufferSize) return false;
    for (size_t i = 0; i < length; ++i) root[i] = stored[i];
    root[length] = '\0';
    ResolveFolderToken(run.paths, root);
    return root[0] != '\0' && root[0] != '#';
}

// The folder of one pattern, checked as the packer's `check` checks it and then as every folder
// removal is: `stored` is the pattern's text as the block holds it, `folder` its expansion. On the NT
// family `held` receives the folder judged through its handle.
bool ResolvePatternFolder(RunState& run, const char* stored, const char* folder, char* canonical, char* final,
                          HeldFolder& held) {
    held.handle = INVALID_HANDLE_VALUE;
    char storedFolder[kPatternGuardPathSize];
    if (!CopyText(storedFolder, sizeof storedFolder, stored)) return false;
    if (RemoveLastComponent(storedFolder) && IsRefusedPatternFolder(storedFolder)) return false;
    if (IsRefusedPatternFolder(folder) || !ResolveRemovableFolder(run.paths, folder, canonical) ||
        IsRefusedPatternFolder(canonical)) {
        return false;
    }
    // The folder itself must be a folder and no junction or link; a link further up shows in its
    // final path, which must pass the guard as well.
    DWORD attributes = GetFileAttributesA(canonical);
    if (attributes == INVALID_FILE_ATTRIBUTES || !(attributes & FILE_ATTRIBUTE_DIRECTORY) ||
        IsReparsePoint(attributes)) {
        return false;
    }
    // No link below the pattern's root (the token's folder, else the install folder) on the way, and
    // no network spelling of a folder outside the installation's own share.
    char tokenRoot[kPathBufferSize];
    const char* root = ResolveLeadingToken(run, stored, tokenRoot) ? tokenRoot : nullptr;
    bool reached = run.platform.nt
                       ? HoldFolderReachedFromRoot(run, canonical, root, NetworkUse::kRefused, 0, held, final)
                       : IsFolderReachedFromRoot(run, canonical, root, NetworkUse::kRefused, final);
    if (reached && (final[0] == '\0' || !IsRefusedPatternFolder(final))) return true;
    ReleaseFolder(held);
    return false;
}

// The pattern's buffers, allocated once for the pass.
struct PatternWork {
    char path[kPathBufferSize];
    char canonical[kPathBufferSize];
    char final[kPathBufferSize];
    HeldFolder held;
};

// Cleans one pattern's tree; what is not cleaned at all is said in the log with the outcome.
uint32_t CleanPattern(RunState& run, const char* pattern, PatternWork& work) {
    if (!BuildFullPatternPath(run, pattern, work.path)) return kOutcomeDoesNotFit;
    const char* mask = SplitPatternPath(work.path);
    if (!mask || !IsPlainFileMask(mask)) return kOutcomeRefused;
    // A folder every program shares, one the packer's check refuses, or one reached through a link.
    if (!ResolvePatternFolder(run, pattern, work.path, work.canonical, work.final, work.held))
        return kOutcomeRefused;
    CleanLevel(run, mask, work.canonical, work.held, 0);
    // The pattern's folder goes when it ended up empty, judged again as every folder removal is.
    char tokenRoot[kPathBufferSize];
    uint32_t removed = RemoveFolderReached(
        run, work.canonical, ResolveLeadingToken(run, pattern, tokenRoot) ? tokenRoot : nullptr);
    RecordItem(run, LogWord::kRemoveFolder, work.canonical, removed);
    return 0;
}

}  // namespace

void RemoveWildcardMatches(RunState& run) {
    const char* pattern = run.data.patterns;
    if (!pattern || pattern[0] == '\0') return;
    UniqueBlock<PatternWork> work;
    if (!AllocZeroed(sizeof(PatternWork), work)) return;
    // The loader keeps the list inside its block and ends it with an empty pattern.
    for (uint32_t index = 0; *pattern != '\0'; pattern += TextLength(pattern) + 1, ++index) {
        NoteEntry(run, LogWord::kPatterns, index);
        uint32_t outcome = CleanPattern(run, pattern, *work.get());
        // A tree that was cleaned has a line for each file and folder; the pattern has one when not:
        // refused, or not there (the checks refuse a folder they cannot look at, a missing one too).
        if (outcome != 0) {
            if (outcome == kOutcomeRefused &&
                GetFileAttributesA(work.get()->path) == INVALID_FILE_ATTRIBUTES) {
                DWORD error = GetLastError();
                if (error == ERROR_FILE_NOT_FOUND || error == ERROR_PATH_NOT_FOUND) outcome = error;
            }
            RecordItem(run, LogWord::kClean, pattern, outcome);
        }
    }
}

namespace {

// Deletes the shortcut file `path` by its folder's canonical path, when no link below the folder's
// root leads elsewhere and the file is no link itself. Returns what came of it, for the log.
uint32_t DeleteShortcutFile(RunState& run, const char* path, const char* tokenRoot) {
    char folder[kPathBufferSize];
    char canonical[kPathBufferSize];
    char final[kPathBufferSize];
    char file[kPathBufferSize];
    const char* name = FindLastBackslash(path);
    if (!name || !CopyText(folder, path) || !CutAtLastBackslash(folder) ||
        !CanonicalizeFolderPath(folder, canonical) || !JoinPath(file, kPathBufferSize, canonical, name + 1)) {
        return kOutcomeRefusedByLinkCheck;
    }
    ++name;
    if (run.platform.nt) {
        // The folder judged through its handle, the shortcut opened relative to it, judged through
        // its own handle and deleted through it.
        HeldFolder held;
        if (!HoldFolderReachedFromRoot(run, canonical, tokenRoot, NetworkUse::kAllowed, 0, held, final))
            return kOutcomeRefusedByLinkCheck;
        ScopeExit release([&] { ReleaseFolder(held); });
        ChildOpen opened = OpenChild(held, name, ChildKind::kFile, DELETE | FILE_READ_ATTRIBUTES,
                                     FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE);
        if (opened.handle == INVALID_HANDLE_VALUE) return opened.error;
        UniqueFileHandle shortcut(opened.handle);
        if (IsReparsePointHandle(shortcut.get()) || !IsChildOf(shortcut.get(), held, name))
            return kOutcomeRefusedByLinkCheck;
        return DeleteThroughHandle(shortcut.get());
    }
    if (!IsFolderReachedFromRoot(run, canonical, tokenRoot, NetworkUse::kAllowed, final))
        return kOutcomeRefusedByLinkCheck;
    DWORD attributes = GetFileAttributesA(file);
    if (attributes != INVALID_FILE_ATTRIBUTES && IsReparsePoint(attributes))
        return kOutcomeRefusedByLinkCheck;
    return OutcomeOf(DeleteFileA(file));
}

}  // namespace

void RemoveShortcutFiles(RunState& run) {
    const EntryList<ShortcutEntry>& list = run.data.shortcuts;
    FolderTokenResolver tokens = EntryTokens(run.paths);
    char folder[kPathBufferSize];
    for (uint32_t i = 0; i < list.count; ++i) {
        const ShortcutEntry& entry = *list.items[i];
        NoteEntry(run, LogWord::kShortcuts, i);
        // A name that is a path ("..\\..\\x.ini") would delete a file outside the shortcut's folder. A
        // folder token that begins the folder is resolved first; the path is then built as for a
        // folder stored whole.
        if (IsPlainShortcutName(entry.fileName) &&
            BuildEntryFolder(entry.folder, &tokens, folder, kPathBufferSize) &&
            BuildShortcutPath(folder, entry.fileName, run.currentItem, kPathBufferSize) &&
            IsAbsolutePath(run.currentItem)) {
            uint32_t outcome = DeleteShortcutFile(run, run.currentItem, EntryTokenRoot(run, entry.folder));
            RecordItem(run, LogWord::kDelete, run.currentItem, outcome);
        } else if (entry.fileName[0] != '\0') {
            // A name that is a path, a token that does not resolve, a path that does not fit or one
            // that is not whole; an entry without a name has nothing to delete.
            RecordItem(run, LogWord::kSkip, entry.folder, kOutcomeRefused, entry.fileName);
        }
        ReportProgress(run.ui, ProgressPass::kShortcutFiles, i);
    }
}

namespace {

// The shortcut folders' buffers, allocated once for the pass.
struct ClimbWork {
    char folder[kPathBufferSize];
    char second[kPathBufferSize];
    char canonical[kPathBufferSize];
    char secondCanonical[kPathBufferSize];
    // The folders of the tokens that begin the two folders: the roots they are checked from.
    char folderRoot[kPathBufferSize];
    char secondRoot[kPathBufferSize];
};

// The root `storedFolder` is checked from (EntryTokenRoot), kept in `root`: the next folder built
// may begin with another token. Null for a folder without one.
const char* KeepTokenRoot(const RunState& run, const char* storedFolder, char* root) {
    const char* found = EntryTokenRoot(run, storedFolder);
    return found && CopyText(root, kPathBufferSize, found) ? root : nullptr;
}

// Tries the entry's folders (a leading folder token resolved through `tokens`) and up to its level
// count of parents of each. A folder that stays does not end the climb; a protected one, the level
// count or a missing backslash does. An entry whose token does not resolve is not climbed at all.
void ClimbShortcutFolders(RunState& run, const ShortcutEntry& entry, const FolderTokenResolver& tokens,
                          ClimbWork& work) {
    if (!BuildEntryFolder(entry.folder, &tokens, work.folder, kPathBufferSize)) return;
    const char* folderRoot = KeepTokenRoot(run, entry.folder, work.folderRoot);
    work.second[0] = '\0';
    if (entry.secondFolder[0] != '\0' &&
        !BuildEntryFolder(entry.secondFolder, &tokens, work.second, kPathBufferSize)) {
        return;
    }
    const char* secondRoot = KeepTokenRoot(run, entry.secondFolder, work.secondRoot);
    for (uint32_t levels = entry.levelCount;; --levels) {
        bool hasSecond = work.second[0] != '\0';
        const char* refused = nullptr;
        if (!ResolveRemovableFolder(run.paths, work.folder, work.canonical)) {
            refused = work.folder;
        } else if (hasSecond && !ResolveRemovableFolder(run.paths, work.second, work.secondCanonical)) {
            refused = work.second;
        }
        if (refused) {
            RecordItem(run, LogWord::kRemoveFolder, refused, kOutcomeRefusedByLinkCheck);
            return;
        }
        // Each folder is judged as it is removed, through the handle it is removed by.
        if (RemoveFolderLogged(run, work.canonical, folderRoot, work.folder) == kOutcomeRefusedByLinkCheck)
            return;
        if (hasSecond && RemoveFolderLogged(run, work.secondCanonical, secondRoot, work.second) ==
                             kOutcomeRefusedByLinkCheck)
            return;
        if (levels == 0 || !ClimbShortcutStep(work.folder, work.second)) return;
    }
}

}  // namespace

void RemoveShortcutFolders(RunState& run) {
    const EntryList<ShortcutEntry>& list = run.data.shortcuts;
    UniqueBlock<ClimbWork> work;
    bool ready = AllocZeroed(sizeof(ClimbWork), work);
    // The pass puts the current directory back where it found it, when that folder still exists.
    SavedCurrentFolder savedFolder;
    FolderTokenResolver tokens = EntryTokens(run.paths);
    for (uint32_t i = 0; i < list.count; ++i) {
        const ShortcutEntry& entry = *list.items[i];
        NoteEntry(run, LogWord::kShortcuts, i);
        if (ready && entry.folder[0] != '\0') ClimbShortcutFolders(run, entry, tokens, *work.get());
        ReportProgress(run.ui, ProgressPass::kShortcutFolders, i);
    }
}

void RemoveProgramFolders(RunState& run) {
    const EntryList<FileEntry>& list = run.data.files;
    // The pass puts the current directory back where it found it, when that folder still exists.
    SavedCurrentFolder savedFolder;
    // The process must not stand in the install folder, which the climbs may remove.
    char installFolder[kPathBufferSize];
    if (CopyText(installFolder, run.installFolder)) {
        StripTrailingBackslash(installFolder);
        EnterParent(installFolder);
    }
    char lastRemoved[kPathBufferSize] = {};
    // The folder of the climb just before, when that climb removed nothing. The next entries of the
    // same folder would only repeat its failure, since nothing has touched the disk in between; and
    // each repeat costs failed opens: an installation of 10,000 files in a few folders would try
    // every folder once per file, which doubled the time of a whole uninstall.
    char lastFailed[kPathBufferSize] = {};
    char canonical[kPathBufferSize];
    char* path = run.currentItem;
    FolderTokenResolver tokens = EntryTokens(run.paths);
    for (uint32_t i = 0; i < list.count; ++i) {
        const FileEntry& entry = *list.items[i];
        if (entry.flags & format::kFileFont) continue;  // no folder touched, no progress
        NoteEntry(run, LogWord::kFiles, i);
        if (BuildProgramFolder(run.installFolder, entry.folder, entry.fileName, path, kPathBufferSize,
                               &tokens) == ProgramFolderStart::kFolder &&
            !TextEqualsNoCase(path, lastRemoved) && !TextEqualsNoCase(path, lastFailed)) {
            const char* tokenRoot = EntryTokenRoot(run, entry.folder);
            bool removedOne = false;
            for (;;) {
                if (!ResolveRemovableFolder(run.paths, path, canonical)) {
                    RecordItem(run, LogWord::kRemoveFolder, path, kOutcomeRefusedByLinkCheck);
                    break;
                }
                // A folder that goes at the next restart lets the climb go on: its parent may follow it.
                uint32_t outcome = RemoveFolderLogged(run, canonical, tokenRoot, path);
                if (outcome != 0 && outcome != kOutcomeAtRestart) break;
                if (!removedOne) {
                    (void)CopyText(lastRemoved, path);  // `path` fits: it came from a buffer of that size
                    removedOne = true;
                }
                if (!RemoveLastComponent(path)) break;
            }
            // Without a removal the climb stopped at its first folder: `path` is still that folder.
            if (removedOne) {
                lastFailed[0] = '\0';
            } else {
                (void)CopyText(lastFailed, path);
            }
        }
        ReportProgress(run.ui, ProgressPass::kProgramFolders, i);
    }
}
