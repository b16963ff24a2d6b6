#include "removal/files.h"

#include "common/backslash.h"
#include "common/file_io.h"
#include "common/handles_win.h"
#include "common/memory.h"
#include "common/nt_files.h"
#include "common/scope_exit.h"
#include "common/text.h"
#include "data/messages.h"
#include "format/layout.h"
#include "paths/canonical_path.h"
#include "paths/folder_tokens.h"
#include "paths/protected_folders.h"
#include "paths/special_folders.h"
#include "paths/token_table.h"
#include "removal/access_denied.h"
#include "removal/entry_paths.h"
#include "removal/reach_check.h"
#include "removal/removal_log.h"
#include "removal/restart.h"
#include "removal/servers_fonts.h"
#include "run/run_state.h"
#include "ui/progress.h"
#include "ui/ui.h"

namespace {

constexpr char kSharedDllsKey[] = "Software\\Microsoft\\Windows\\CurrentVersion\\SharedDLLs";

// Builds the path of `entry` into the current-item buffer with the rule `uninstpack plan` shows (a
// folder token that begins the folder resolved through `tokens`); 0 when it is there, else (buffer
// empty) why the entry must be skipped: its token does not resolve (the folder is not there on this
// machine), the path does not fit (it is never cut), or is not absolute (it would be taken from
// whatever the current directory is).
uint32_t BuildCurrentItem(RunState& run, const FileEntry& entry, const FolderTokenResolver& tokens) {
    char* item = run.currentItem;
    if (!BuildEntryPath(run.installFolder, entry.folder, entry.fileName, item, kPathBufferSize, &tokens)) {
        return entry.folder[0] == '#' ? ERROR_PATH_NOT_FOUND : kOutcomeDoesNotFit;
    }
    if (IsAbsolutePath(item)) return 0;
    item[0] = '\0';
    return kOutcomeNotFullPath;
}

// The file's attributes and, when they cannot be read, the platform's error.
struct FileAttributes {
    DWORD attributes;
    DWORD error;
};

FileAttributes ReadFileAttributes(const char* path) {
    DWORD attributes = GetFileAttributesA(path);
    if (attributes != INVALID_FILE_ATTRIBUTES) return {attributes, 0};
    DWORD error = GetLastError();
    return {attributes, error != 0 ? error : ERROR_FILE_NOT_FOUND};
}

// The write-access test: 0 when the file's attributes can be read and it is not read-only,
// ERROR_ACCESS_DENIED when it is read-only, the platform's error when the attributes cannot be read.
DWORD WriteAccessOf(const FileAttributes& file) {
    if (file.attributes == INVALID_FILE_ATTRIBUTES) return file.error;
    return (file.attributes & FILE_ATTRIBUTE_READONLY) ? ERROR_ACCESS_DENIED : 0;
}

DWORD TestWriteAccess(const char* path) {
    return WriteAccessOf(ReadFileAttributes(path));
}

// Sets or clears the read-only attribute, keeping the other bits; nothing changes when the
// attributes cannot be read.
void SetReadOnly(const char* path, bool readOnly) {
    DWORD attributes = GetFileAttributesA(path);
    if (attributes == INVALID_FILE_ATTRIBUTES) return;
    attributes = readOnly ? (attributes | FILE_ATTRIBUTE_READONLY) : (attributes & ~FILE_ATTRIBUTE_READONLY);
    // No bit left means "normal", which the platform wants said (0 means "no change" to NT).
    SetFileAttributesA(path, attributes != 0 ? attributes : FILE_ATTRIBUTE_NORMAL);
}

// Opens the file for reading and writing, others may only read; true when that worked.
bool CanOpenForWriting(const char* path) {
    UniqueFile file(OpenExisting(path, kOpenReadWrite));
    return static_cast<bool>(file);
}

bool IsFileEntry(const FileEntry& entry) {
    return entry.fileName[0] != '\0';
}

// The SharedDLLs key, opened on the first shared entry of the pass and kept for the rest of it; one
// for each registry view (kFileView64: the 64-bit programs' counts, on 64-bit Windows).
struct SharedDllsKey {
    UniqueRegistryKey key;
    bool tried;
};

// The name the count of the file `path` has: the path itself, except that a 64-bit program names a
// file of #System64# (which this 32-bit program reaches as Sysnative) in its System folder, System32.
const char* SharedValueName(RunState& run, const FileEntry& entry, const char* path, char* name) {
    FolderToken token;
    const char* folder = EntryTokenRoot(run, entry.folder);
    if (run.paths.wow64 && folder && FindFolderToken(run.paths.entryTokens.token, token) &&
        token == FolderToken::kSystem64 && GetSystemFolder(name) &&
        AppendText(name, kPathBufferSize, path + TextLength(folder))) {
        return name;
    }
    return path;
}

// The shared-DLL count of the file in the current-item buffer: decremented, and the question of
// message 10 asked when no other installation uses it. Returns 0 when the file may go on to be
// removed, else what keeps it, for the log: in use (`locked`), the count of its other users, or the
// answer No. `shared` holds the key of each view.
uint32_t UpdateSharedCount(RunState& run, const FileEntry& entry, const char* path, bool locked,
                           SharedDllsKey* shared) {
    bool goOn = !locked;
    bool view64 = (entry.flags & format::kFileView64) != 0;
    SharedDllsKey& opened = shared[view64];
    if (!opened.tried) {
        opened.tried = true;
        // Only what the pass does with its values: read a count, write it back, delete it
        // (RegDeleteValueA asks for KEY_SET_VALUE). KEY_ALL_ACCESS would also ask for the rights to
        // change the key's own security and owner, which an ACL may well deny to an administrator.
        if (RegOpenKeyExA(HKEY_LOCAL_MACHINE, kSharedDllsKey, 0,
                          KEY_QUERY_VALUE | KEY_SET_VALUE | (view64 ? KEY_WOW64_64KEY : 0),
                          opened.key.put()) != ERROR_SUCCESS) {
            opened.key.reset();
        }
    }
    const UniqueRegistryKey& key = opened.key;
    char nameBuffer[kPathBufferSize];
    const char* name = SharedValueName(run, entry, path, nameBuffer);
    // Preset to 1 with room for exactly 4 bytes: a longer value cannot be read and counts as
    // missing; a shorter one leaves the upper bytes of the preset.
    DWORD count = 1;
    if (key) {
        DWORD type = 0;
        DWORD size = sizeof(count);
        if (RegQueryValueExA(key.get(), name, nullptr, &type, reinterpret_cast<BYTE*>(&count), &size) ==
            ERROR_SUCCESS) {
            if (count > 0) --count;
            if (count != 0) goOn = false;
            // A locked file keeps its last count: the other user of it is still there.
            if (!(locked && count == 0)) {
                RegSetValueExA(key.get(), name, 0, type, reinterpret_cast<const BYTE*>(&count), size);
            }
        }
    }
    if (!goOn) return locked ? ERROR_SHARING_VIOLATION : SharedCountOutcome(count);

    // Without a buffer there is no question, and the file goes as if the answer were Yes.
    UniqueBlock<char> text;
    if (AllocZeroed(kMessageBufferSize, text)) {
        FormatMessageText(run.data, text.get(), format::kMsgSharedFileQuestion, path);
        if (text.get()[0] != '\0') {
            int answer = ShowMessage(run.ui, text.get(), MB_YESNO | MB_ICONQUESTION);
            if (run.log) LogQuestion(*run.log.get(), text.get(), answer);
            if (answer != IDYES) return kOutcomeAnsweredNo;
        }
    }
    if (key) {
        LONG deleted = RegDeleteValueA(key.get(), name);
        if (run.log)
            LogItem(*run.log.get(), LogWord::kDeleteSharedCount, name, static_cast<uint32_t>(deleted));
    }
    return 0;
}

bool IsFileLockedFrom(const char* path, const FileAttributes& file);

// The folder of the file pass's last entry, as built and as checked: entries come sorted by folder,
// so the canonical form and the look at links are made once per folder, not once per file. On the NT
// family the folder is held open from its judgement on, and its files are opened relative to it.
struct CheckedFolder {
    char built[kPathBufferSize];
    char canonical[kPathBufferSize];
    bool allowed;
    bool tokenRooted;  // checked from a folder token's folder
    bool byHandle;     // `held` is the judged folder (NT family with the native calls)
    HeldFolder held;
};

void ForgetFolder(CheckedFolder& last) {
    if (last.byHandle) ReleaseFolder(last.held);
    last.built[0] = '\0';
}

// The path the file entry in the current-item buffer is acted on by: its folder's canonical form,
// reached from its root (`tokenRoot`, the folder of the token the entry begins with, or null) without
// a link on the way (removal/reach_check.h), and the entry's last name. False (the entry stays) when
// the folder cannot be checked or leads elsewhere. `name` receives the last name's position.
bool BuildCheckedFilePath(RunState& run, CheckedFolder& last, const char* tokenRoot, char* checked,
                          const char** name) {
    *name = FindLastBackslash(run.currentItem);
    char folder[kPathBufferSize];
    if (!*name || !CopyText(folder, run.currentItem) || !CutAtLastBackslash(folder)) return false;
    ++*name;
    bool tokenRooted = tokenRoot != nullptr;
    if (last.built[0] == '\0' || !TextEqualsNoCase(last.built, folder) || last.tokenRooted != tokenRooted) {
        ForgetFolder(last);
        char final[kPathBufferSize];
        last.byHandle = run.platform.nt;
        if (!CanonicalizeFolderPath(folder, last.canonical)) {
            last.allowed = false;
        } else if (last.byHandle) {
            last.allowed = HoldFolderReachedFromRoot(run, last.canonical, tokenRoot, NetworkUse::kAllowed, 0,
                                                     last.held, final);
        } else {
            last.allowed =
                IsFolderReachedFromRoot(run, last.canonical, tokenRoot, NetworkUse::kAllowed, final);
        }
        last.tokenRooted = tokenRooted;
        if (!CopyText(last.built, folder)) ForgetFolder(last);
    }
    return last.allowed && JoinPath(checked, kPathBufferSize, last.canonical, *name);
}

// --- The NT family: every file judged and deleted through its own handle, opened relative to its
// held folder. A question is asked while that handle is held, and the answer acts on it.

// The lock probe of IsFileLocked for the held file `file` (`attributes` its attributes): the file is
// opened again beside the held handle for reading and writing, others allowed to read (and to delete,
// which the held handle does). A read-only file is made writable through the handle for the probe and
// read-only again after it; an attribute that does not clear is a lock.
bool IsHeldFileLocked(const HeldFolder& folder, const char* name, HANDLE file, DWORD attributes) {
    bool readOnly = (attributes & FILE_ATTRIBUTE_READONLY) != 0;
    if (readOnly && !SetReadOnlyThroughHandle(file, attributes, false)) return true;
    // Only whether the probe opens counts: its owner, a temporary, closes it at once.
    bool locked = !UniqueFileHandle(OpenChild(folder, name, ChildKind::kFile, GENERIC_READ | GENERIC_WRITE,
                                              FILE_SHARE_READ | FILE_SHARE_DELETE)
                                        .handle);
    if (readOnly) SetReadOnlyThroughHandle(file, attributes & ~FILE_ATTRIBUTE_READONLY, true);
    return locked;
}

// True when `name`, looked up again relative to the held folder, still reaches the held `file` as the
// folder's child of that name. Made after a question and before anything acts on the answer: the
// administrator may take long to answer, and a folder renamed and replaced by a link meanwhile must not
// turn the answer against another file (Wine deletes by the name it opened the file by).
bool IsStillHeldAt(const HeldFolder& folder, const char* name, HANDLE file) {
    ChildOpen again = OpenChild(folder, name, ChildKind::kFile, FILE_READ_ATTRIBUTES,
                                FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE);
    if (again.handle == INVALID_HANDLE_VALUE) return false;
    UniqueFileHandle fresh(again.handle);
    BY_HANDLE_FILE_INFORMATION held;
    BY_HANDLE_FILE_INFORMATION found;
    return GetFileInformationByHandle(file, &held) && GetFileInformationByHandle(fresh.get(), &found) &&
           held.dwVolumeSerialNumber == found.dwVolumeSerialNumber &&
           held.nFileIndexLow == found.nFileIndexLow && held.nFileIndexHigh == found.nFileIndexHigh &&
           IsChildOf(fresh.get(), folder, name);
}

// The file a deletion acts on: the held handle `file` of the child `name` of `folder` (NT family), or
// the path alone (9x family: `file` null). Messages name `path` either way.
struct FileTarget {
    const char* path;
    HANDLE file;
    const HeldFolder* folder;
    const char* name;
};

// Deletes the target, first making it writable when `clear`: 0 or the platform's error. Through a
// held handle, the name must still reach the held file (IsStillHeldAt), else kOutcomeBelowLink.
uint32_t DeleteTarget(const FileTarget& target, bool clear) {
    if (!target.file) {
        if (clear) SetReadOnly(target.path, false);
        return OutcomeOf(DeleteFileA(target.path));
    }
    if (!IsStillHeldAt(*target.folder, target.name, target.file)) return kOutcomeBelowLink;
    if (clear) SetReadOnlyThroughHandle(target.file, AttributesOfHandle(target.file), false);
    return DeleteThroughHandle(target.file);
}

// Deletes the file of `entry`: a read-only file is made writable without a question when it is a
// font or a server, else as the remembered to-all answer or the read-only question says. A file that
// is in use (access denied but not read-only) stays. Returns what came of it for the log: 0
// (removed), the platform's error or a kOutcome value. Through a held handle, the question is asked
// while the handle is held and the answer acts on it.
uint32_t DeleteEntryFile(RunState& run, const FileEntry& entry, const FileTarget& target) {
    uint32_t error = DeleteTarget(target, false);
    while (error != 0) {
        if (!IsAccessDeniedError(error)) return error;
        DWORD attributes = target.file ? AttributesOfHandle(target.file) : GetFileAttributesA(target.path);
        if (attributes == INVALID_FILE_ATTRIBUTES) {
            DWORD why = GetLastError();
            return target.file || why == 0 ? error : why;
        }
        if (!(attributes & FILE_ATTRIBUTE_READONLY)) return error;  // in use
        if ((entry.flags & (format::kFileFont | format::kFileSelfRegister)) ||
            run.readOnlyAnswer == ToAllAnswer::kYesToAll) {
            return DeleteTarget(target, true);
        }
        if (run.readOnlyAnswer == ToAllAnswer::kNoToAll) return kOutcomeAnsweredNo;
        switch (AskReadOnlyQuestion(run, target.path)) {
            case IDYES:
                // A removal that still fails is looked at again: a file whose attribute did not
                // clear is asked about once more, one that is now writable but in use is left.
                error = DeleteTarget(target, true);
                break;
            case kYesToAllId:
                run.readOnlyAnswer = ToAllAnswer::kYesToAll;
                return DeleteTarget(target, true);
            case kNoToAllId:
                run.readOnlyAnswer = ToAllAnswer::kNoToAll;
                return kOutcomeAnsweredNo;
            default:
                return kOutcomeAnsweredNo;
        }
    }
    return 0;
}

// Opens the file `name` of the held folder with delete and attribute access, every sharing allowed, and
// judges it through that handle: no reparse point, reached as the folder's child of that name. 0 with
// `file` and its `attributes`; the platform's error, or kOutcomeBelowLink when it is judged elsewhere.
DWORD OpenHeldFile(const HeldFolder& folder, const char* name, UniqueFileHandle& file, DWORD& attributes) {
    ChildOpen opened =
        OpenChild(folder, name, ChildKind::kFile, DELETE | FILE_READ_ATTRIBUTES | FILE_WRITE_ATTRIBUTES,
                  FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE);
    if (opened.handle == INVALID_HANDLE_VALUE) return opened.error;
    file.reset(opened.handle);
    attributes = AttributesOfHandle(file.get());
    if (attributes == INVALID_FILE_ATTRIBUTES || (attributes & FILE_ATTRIBUTE_REPARSE_POINT) ||
        !IsChildOf(file.get(), folder, name)) {
        file.reset();
        return kOutcomeBelowLink;
    }
    return 0;
}

// One file entry (path in the current-item buffer, `name` its last name) in the held `folder`.
// A plain entry is opened as the lock probe opens a file, with delete access: one open that is the
// probe, the judgement and the deletion (the platform's requests: the open, the name, the disposition
// and the close). Anything else, or a file that is read-only, is opened with delete and attribute
// access, judged, probed for a lock, and then counted, asked about and deleted through that handle.
uint32_t RemoveHeldFile(RunState& run, const FileEntry& entry, const HeldFolder& folder, const char* name,
                        SharedDllsKey* shared) {
    const char* path = run.currentItem;
    bool plain = !(entry.flags & (format::kFileShared | format::kFileFont | format::kFileSelfRegister));
    if (plain) {
        ChildOpen fast =
            OpenChild(folder, name, ChildKind::kFile, GENERIC_READ | GENERIC_WRITE | DELETE, FILE_SHARE_READ);
        if (fast.handle != INVALID_HANDLE_VALUE) {
            UniqueFileHandle file(fast.handle);
            if (!IsChildOf(file.get(), folder, name)) return kOutcomeBelowLink;
            DWORD error = DeleteThroughHandle(file.get());
            if (error == 0 || !IsAccessDeniedError(error)) return error;
        } else if (fast.error == ERROR_SHARING_VIOLATION || fast.error == ERROR_FILE_NOT_FOUND ||
                   fast.error == ERROR_PATH_NOT_FOUND) {
            return fast.error;
        }
    }
    UniqueFileHandle file;
    DWORD attributes = INVALID_FILE_ATTRIBUTES;
    DWORD error = OpenHeldFile(folder, name, file, attributes);
    // A missing file still has its count step, as the probe finds no lock on it.
    bool locked = error == ERROR_SHARING_VIOLATION;
    if (error != 0 && !locked && error != ERROR_FILE_NOT_FOUND && error != ERROR_PATH_NOT_FOUND) return error;
    if (file) locked = IsHeldFileLocked(folder, name, file.get(), attributes);
    uint32_t outcome = locked ? ERROR_SHARING_VIOLATION : 0;
    if (entry.flags & format::kFileShared) outcome = UpdateSharedCount(run, entry, path, locked, shared);
    if (outcome != 0) return outcome;
    if (entry.flags & (format::kFileFont | format::kFileSelfRegister)) {
        // The font's name is read and the server is loaded from the file by its path, which the
        // held handle's delete access would refuse: it is let go meanwhile and the file is opened
        // and judged again relative to its folder before it goes.
        file.reset();
        if (entry.flags & format::kFileFont) RemoveFont(run, path);
        if (entry.flags & format::kFileSelfRegister) UnregisterServer(run);
        error = OpenHeldFile(folder, name, file, attributes);
    }
    if (error != 0) return error;
    return DeleteEntryFile(run, entry, {path, file.get(), &folder, name});
}

// Removes one file entry whose path is in the current-item buffer; `checked` is the path it is
// tested and deleted by. Messages and shared counts name the file as the entry does.
void RemoveFileEntry(RunState& run, const FileEntry& entry, const char* checked, SharedDllsKey* shared) {
    const char* path = run.currentItem;
    FileAttributes file = ReadFileAttributes(checked);
    // The 9x family, which has no links: the file is tested and deleted by its path. A file that shows
    // as a reparse point is left all the same.
    uint32_t outcome = kOutcomeBelowLink;
    if (file.attributes == INVALID_FILE_ATTRIBUTES || !(file.attributes & FILE_ATTRIBUTE_REPARSE_POINT)) {
        bool locked = IsFileLockedFrom(checked, file);
        outcome = locked ? ERROR_SHARING_VIOLATION : 0;
        if (entry.flags & format::kFileShared) outcome = UpdateSharedCount(run, entry, path, locked, shared);
        if (outcome == 0) {
            if (entry.flags & format::kFileFont) RemoveFont(run, path);
            if (entry.flags & format::kFileSelfRegister) UnregisterServer(run);
            outcome = DeleteEntryFile(run, entry, {checked, nullptr, nullptr, nullptr});
        }
        if (!(entry.flags & format::kFileShared)) outcome = DeleteAtRestartIfInUse(run, checked, outcome);
    }
    RecordItem(run, LogWord::kDelete, path, outcome);
}

// Removes the folder of a folder entry unless it is protected or reached through a link; a folder
// that is not empty or missing stays without a question (the log, when there is one, says so). The
// folder removed is the canonical one that was tested.
void RemoveFolderEntry(RunState& run, const char* tokenRoot) {
    char canonical[kPathBufferSize];
    uint32_t outcome = kOutcomeRefusedByLinkCheck;
    if (ResolveRemovableFolder(run.paths, run.currentItem, canonical))
        outcome = RemoveFolderReached(run, canonical, tokenRoot);
    RecordItem(run, LogWord::kRemoveFolder, run.currentItem, outcome);
}

bool IsFileLockedFrom(const char* path, const FileAttributes& file) {
    DWORD access = WriteAccessOf(file);
    if (access == 0) return !CanOpenForWriting(path);
    if (!IsAccessDeniedError(access)) return false;  // missing, or cannot be looked at
    // Read-only: the open for writing would fail for that alone, so clear the attribute for the
    // probe and put it back. An attribute that does not clear (read-only media, no rights) is a lock.
    SetReadOnly(path, false);
    if (IsAccessDeniedError(TestWriteAccess(path))) return true;
    bool opened = CanOpenForWriting(path);
    SetReadOnly(path, true);
    return !opened;
}

}  // namespace

bool FindFileInUse(RunState& run) {
    FolderTokenResolver tokens = EntryTokens(run.paths);
    for (uint32_t i = 0; i < run.data.files.count; ++i) {
        const FileEntry& entry = *run.data.files.items[i];
        if (BuildCurrentItem(run, entry, tokens) != 0) continue;
        if (!IsFileEntry(entry) || !(entry.flags & format::kFileMustBeFree)) continue;
        if (IsFileLocked(run.currentItem)) return true;
    }
    return false;
}

void RemoveInstalledFiles(RunState& run) {
    uint32_t count = run.data.files.count;
    FolderTokenResolver tokens = EntryTokens(run.paths);
    CheckedFolder folder;
    folder.built[0] = '\0';
    folder.byHandle = false;
    folder.held.handle = INVALID_HANDLE_VALUE;
    ScopeExit releaseFolder([&] { ForgetFolder(folder); });
    SharedDllsKey shared[2] = {};  // by view, opened by the first shared entry, kept for the pass
    char checked[kPathBufferSize];
    for (uint32_t k = 0; k < count; ++k) {
        const FileEntry& entry = *run.data.files.items[count - 1 - k];
        NoteEntry(run, LogWord::kFiles, count - 1 - k);
        // 32-bit Windows has no 64-bit view to count in: the file is left as it is.
        uint32_t skipped = (entry.flags & format::kFileView64) && !run.paths.wow64
                               ? kOutcomeNo64BitView
                               : BuildCurrentItem(run, entry, tokens);
        if (skipped == 0) {
            // A token entry is checked for links from its token's folder.
            const char* tokenRoot = EntryTokenRoot(run, entry.folder);
            const char* name = nullptr;
            if (IsFileEntry(entry)) {
                if (!BuildCheckedFilePath(run, folder, tokenRoot, checked, &name)) {
                    RecordItem(run, LogWord::kDelete, run.currentItem, kOutcomeRefusedByLinkCheck);
                } else if (folder.byHandle) {
                    uint32_t outcome = RemoveHeldFile(run, entry, folder.held, name, shared);
                    if (!(entry.flags & format::kFileShared))
                        outcome = DeleteAtRestartIfInUse(run, checked, outcome);
                    RecordItem(run, LogWord::kDelete, run.currentItem, outcome);
                } else {
                    RemoveFileEntry(run, entry, checked, shared);
                }
            } else {
                // The folder may be the one held for the files before it: it is let go first.
                ForgetFolder(folder);
                RemoveFolderEntry(run, tokenRoot);
            }
        } else {
            RecordItem(run, LogWord::kSkip, entry.folder, skipped,
                       IsFileEntry(entry) ? entry.fileName : nullptr);
        }
        ReportProgress(run.ui, ProgressPass::kFiles, k);
    }
}

bool IsFileLocked(const char* path) {
    return IsFileLockedFrom(path, ReadFileAttributes(path));
}

int AskReadOnlyQuestion(RunState& run, const char* path) {
    UniqueBlock<char> text;
    if (!AllocZeroed(kMessageBufferSize, text)) return IDNO;
    FormatMessageText(run.data, text.get(), format::kMsgReadOnlyQuestion, path);
    // An empty text means: every read-only file goes without a question.
    if (text.get()[0] == '\0') return kYesToAllId;
    INT_PTR answer = ShowQuestionDialog(run.ui, text.get());
    if (run.log) LogQuestion(*run.log.get(), text.get(), static_cast<int>(answer));
    return answer == -1 ? IDNO : static_cast<int>(answer);
}
