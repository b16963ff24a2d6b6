#include "removal/files.h"

#include "common/backslash.h"
#include "common/file_io.h"
#include "common/handles_win.h"
#include "common/memory.h"
#include "common/text.h"
#include "data/messages.h"
#include "format/layout.h"
#include "paths/canonical_path.h"
#include "paths/folder_tokens.h"
#include "paths/protected_folders.h"
#include "removal/access_denied.h"
#include "removal/entry_paths.h"
#include "removal/reach_check.h"
#include "removal/removal_log.h"
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

// What a step's result means for the log: 0 when it worked, else the platform's error.
uint32_t OutcomeOf(BOOL done) {
    return done ? 0 : GetLastError();
}

// The SharedDLLs key, opened on the first shared entry of the pass and kept for the rest of it.
struct SharedDllsKey {
    UniqueRegistryKey key;
    bool tried;
};

// The shared-DLL count of the file in the current-item buffer: decremented, and the question of
// message 10 asked when no other installation uses it. Returns 0 when the file may go on to be
// removed, else what keeps it, for the log: in use (`locked`), the count of its other users, or the
// answer No.
uint32_t UpdateSharedCount(RunState& run, const char* path, bool locked, SharedDllsKey& shared) {
    bool goOn = !locked;
    if (!shared.tried) {
        shared.tried = true;
        if (RegOpenKeyExA(HKEY_LOCAL_MACHINE, kSharedDllsKey, 0, KEY_ALL_ACCESS, shared.key.put()) !=
            ERROR_SUCCESS) {
            shared.key.reset();
        }
    }
    const UniqueRegistryKey& key = shared.key;
    // Preset to 1 with room for exactly 4 bytes: a longer value cannot be read and counts as
    // missing; a shorter one leaves the upper bytes of the preset.
    DWORD count = 1;
    if (key) {
        DWORD type = 0;
        DWORD size = sizeof(count);
        if (RegQueryValueExA(key.get(), path, nullptr, &type, reinterpret_cast<BYTE*>(&count), &size) ==
            ERROR_SUCCESS) {
            if (count > 0) --count;
            if (count != 0) goOn = false;
            // A locked file keeps its last count: the other user of it is still there.
            if (!(locked && count == 0)) {
                RegSetValueExA(key.get(), path, 0, type, reinterpret_cast<const BYTE*>(&count), size);
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
            if (run.log) LogQuestion(*run.log, text.get(), answer);
            if (answer != IDYES) return kOutcomeAnsweredNo;
        }
    }
    if (key) RegDeleteValueA(key.get(), path);
    return 0;
}

// Makes the read-only file writable and removes it, whatever comes of either.
BOOL ClearAndDelete(const char* path) {
    SetReadOnly(path, false);
    return DeleteFileA(path);
}

// Deletes the file of `entry` (path in the current-item buffer): a read-only file is made writable
// without a question when it is a font or a server, else as the remembered to-all answer or the
// read-only question says. A file that is in use (access denied but not read-only) stays. Returns
// what came of it for the log: 0 (removed), the platform's error or kOutcomeAnsweredNo.
uint32_t DeleteEntryFile(RunState& run, const FileEntry& entry, const char* path) {
    BOOL removed = DeleteFileA(path);
    while (!removed) {
        DWORD error = GetLastError();
        if (!IsAccessDeniedError(error)) return error;
        DWORD access = TestWriteAccess(path);
        if (access == 0) return error;
        if (!IsAccessDeniedError(access)) return access;
        // Read-only from here on.
        if (entry.flags & (format::kFileFont | format::kFileSelfRegister))
            return OutcomeOf(ClearAndDelete(path));
        if (run.readOnlyAnswer == ToAllAnswer::kYesToAll) return OutcomeOf(ClearAndDelete(path));
        if (run.readOnlyAnswer == ToAllAnswer::kNoToAll) return kOutcomeAnsweredNo;
        switch (AskReadOnlyQuestion(run, path)) {
            case IDYES:
                // A removal that still fails is looked at again: a file whose attribute did not
                // clear is asked about once more, one that is now writable but in use is left.
                removed = ClearAndDelete(path);
                break;
            case kYesToAllId:
                run.readOnlyAnswer = ToAllAnswer::kYesToAll;
                return OutcomeOf(ClearAndDelete(path));
            case kNoToAllId:
                run.readOnlyAnswer = ToAllAnswer::kNoToAll;
                return kOutcomeAnsweredNo;
            default:
                return kOutcomeAnsweredNo;
        }
    }
    return 0;
}

bool IsFileLockedFrom(const char* path, const FileAttributes& file);

// The lock probe and the deletion of a plain, writable file in one open (NT family): opened for
// reading and writing with others allowed only to read, as the probe opens it, with delete access,
// and deleted as the handle closes. True when that settled the file: it went, or it is locked (a
// sharing violation, where the probe's open fails too) and stays untouched: 0 when it went,
// ERROR_SHARING_VIOLATION when it is locked (the log's outcomes). kNotSettled for any other failure
// (read-only, a running program's image, gone), which the probe and DeleteFileA then look at as
// before. A link found here after all is opened itself, never the file it leads to.
// Delete-on-close rather than setting the disposition through the handle: the same two requests as
// DeleteFileA under Wine instead of three. Where Windows 10 gives DeleteFileA POSIX semantics, a
// file that a scanner holds open with delete sharing keeps its name until the scanner lets go; its
// folder, which then stays at the folder entry, goes in the program-folder pass.
constexpr uint32_t kNotSettled = 0xFFFFFFFFu;
uint32_t TryDeleteUnlocked(const char* path) {
    HANDLE file =
        CreateFileA(path, GENERIC_READ | GENERIC_WRITE | DELETE, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                    FILE_FLAG_OPEN_REPARSE_POINT | FILE_FLAG_DELETE_ON_CLOSE, nullptr);
    if (file == INVALID_HANDLE_VALUE) {
        return GetLastError() == ERROR_SHARING_VIOLATION ? ERROR_SHARING_VIOLATION : kNotSettled;
    }
    CloseHandle(file);
    return 0;
}

// The folder of the file pass's last entry, as built and as checked: entries come sorted by folder,
// so the canonical form and the look at links are made once per folder, not once per file.
struct CheckedFolder {
    char built[kPathBufferSize];
    char canonical[kPathBufferSize];
    bool allowed;
    bool tokenRooted;  // checked from a folder token's folder
};

// The path the file entry in the current-item buffer is acted on by: its folder's canonical form,
// reached from its root (`tokenRoot`, the folder of the token the entry begins with, or null) without
// a link on the way (removal/reach_check.h), and the entry's last name. False (the entry stays) when
// the folder cannot be checked or leads elsewhere.
bool BuildCheckedFilePath(RunState& run, CheckedFolder& last, const char* tokenRoot, char* checked) {
    const char* name = FindLastBackslash(run.currentItem);
    char folder[kPathBufferSize];
    if (!name || !CopyText(folder, run.currentItem) || !CutAtLastBackslash(folder)) return false;
    ++name;
    bool tokenRooted = tokenRoot != nullptr;
    if (last.built[0] == '\0' || !TextEqualsNoCase(last.built, folder) || last.tokenRooted != tokenRooted) {
        char final[kPathBufferSize];
        last.allowed = CanonicalizeFolderPath(folder, last.canonical) &&
                       IsFolderReachedFromRoot(run, last.canonical, tokenRoot, NetworkUse::kAllowed, final);
        last.tokenRooted = tokenRooted;
        if (!CopyText(last.built, folder)) last.built[0] = '\0';
    }
    return last.allowed && JoinPath(checked, kPathBufferSize, last.canonical, name);
}

// Removes one file entry whose path is in the current-item buffer; `checked` is the path it is
// tested and deleted by. Messages and shared counts name the file as the entry does.
void RemoveFileEntry(RunState& run, const FileEntry& entry, const char* checked, SharedDllsKey& shared) {
    const char* path = run.currentItem;
    FileAttributes file = ReadFileAttributes(checked);
    // A file that is itself a junction or symbolic link is not deleted through: NT removes the link,
    // but Wine's DeleteFileA removes the file it leads to.
    uint32_t outcome = kOutcomeBelowLink;
    if (file.attributes == INVALID_FILE_ATTRIBUTES || !(file.attributes & FILE_ATTRIBUTE_REPARSE_POINT)) {
        outcome = kNotSettled;
        if (run.platform.nt &&
            !(entry.flags & (format::kFileShared | format::kFileFont | format::kFileSelfRegister)) &&
            WriteAccessOf(file) == 0) {
            outcome = TryDeleteUnlocked(checked);
        }
        if (outcome == kNotSettled) {
            bool locked = IsFileLockedFrom(checked, file);
            outcome = locked ? ERROR_SHARING_VIOLATION : 0;
            if (entry.flags & format::kFileShared) outcome = UpdateSharedCount(run, path, locked, shared);
            if (outcome == 0) {
                if (entry.flags & format::kFileFont) RemoveFont(run, path);
                if (entry.flags & format::kFileSelfRegister) UnregisterServer(run);
                outcome = DeleteEntryFile(run, entry, checked);
            }
        }
    }
    if (run.log) LogItem(*run.log, LogWord::kDelete, path, outcome);
}

// Removes the folder of a folder entry unless it is protected or reached through a link; a folder
// that is not empty or missing stays without a question (the log, when there is one, says so). The
// folder removed is the canonical one that was tested.
void RemoveFolderEntry(RunState& run, const char* tokenRoot) {
    char canonical[kPathBufferSize];
    if (ResolveFolderToActOn(run, run.currentItem, tokenRoot, canonical)) {
        BOOL removed = RemoveDirectoryA(canonical);
        if (run.log) LogItem(*run.log, LogWord::kRemoveFolder, run.currentItem, OutcomeOf(removed));
    } else if (run.log) {
        LogItem(*run.log, LogWord::kRemoveFolder, run.currentItem, kOutcomeRefusedByLinkCheck);
    }
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
    SharedDllsKey shared{};  // opened by the first shared entry, kept for the rest of the pass
    char checked[kPathBufferSize];
    for (uint32_t k = 0; k < count; ++k) {
        const FileEntry& entry = *run.data.files.items[count - 1 - k];
        uint32_t skipped = BuildCurrentItem(run, entry, tokens);
        if (skipped == 0) {
            // A token entry is checked for links from its token's folder.
            const char* tokenRoot = EntryTokenRoot(run, entry.folder);
            if (IsFileEntry(entry)) {
                if (BuildCheckedFilePath(run, folder, tokenRoot, checked)) {
                    RemoveFileEntry(run, entry, checked, shared);
                } else if (run.log) {
                    LogItem(*run.log, LogWord::kDelete, run.currentItem, kOutcomeRefusedByLinkCheck);
                }
            } else {
                RemoveFolderEntry(run, tokenRoot);
            }
        } else if (run.log) {
            LogItem(*run.log, LogWord::kSkip, entry.folder, skipped,
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
    if (run.log) LogQuestion(*run.log, text.get(), static_cast<int>(answer));
    return answer == -1 ? IDNO : static_cast<int>(answer);
}
