#include "shell/processes.h"

#include <shellapi.h>

#include "common/backslash.h"
#include "common/memory.h"
#include "common/text.h"
#include "paths/canonical_path.h"
#include "paths/protected_folders.h"
#include "paths/special_folders.h"
#include "removal/removal_log.h"
#include "run/run_state.h"
#include "shell/shell_text.h"
#include "ui/ui.h"

namespace {

constexpr size_t kCommandLineSize = 528;  // the quoted program path, a space and the arguments
constexpr size_t kDocumentSize = 520;     // the closing document, and the open command that takes it
constexpr size_t kInterpreterLineSize = 1040;
constexpr unsigned kTempNameCount = 998;
constexpr char kBatchPattern[] = "delme%d.bat";

// `path` in the OEM code page, which the interpreter reads the batch in. A character the OEM page
// lacks becomes "?" (a wildcard to del) or a look-alike letter (another file), so the conversion must
// come back unchanged; when it does not, the short (8.3) name of the existing file or folder is tried.
// False when neither form converts faithfully.
bool ToOemPath(const char* path, char* oem) {
    auto convert = [oem](const char* from) {
        DWORD length = static_cast<DWORD>(TextLength(from));
        if (length >= kPathBufferSize) return false;
        char back[kPathBufferSize];
        if (!CharToOemBuffA(from, oem, length) || !OemToCharBuffA(oem, back, length)) return false;
        oem[length] = '\0';
        back[length] = '\0';
        for (DWORD i = 0; i <= length; ++i) {
            if (back[i] != from[i]) return false;
        }
        return true;
    };
    if (convert(path)) return true;
    char shortPath[kPathBufferSize];
    DWORD n = GetShortPathNameA(path, shortPath, kPathBufferSize);
    return n != 0 && n < kPathBufferSize && convert(shortPath);
}

// Clears the read-only attribute, which del cannot pass: the batch would retry in vain.
void AllowDeletion(const char* path) {
    DWORD attributes = GetFileAttributesA(path);
    if (attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_READONLY)) {
        (void)SetFileAttributesA(path, attributes & ~static_cast<DWORD>(FILE_ATTRIBUTE_READONLY));
    }
}

bool WriteWhole(HANDLE file, const char* text, size_t length) {
    DWORD written = 0;
    return WriteFile(file, text, static_cast<DWORD>(length), &written, nullptr) && written == length;
}

// The batch text for the OEM paths in `paths`, written whole into the open `file`.
bool WriteBatchText(HANDLE file, const SelfDeleteBatch& paths) {
    size_t length = ComposeSelfDeleteBatch(paths, nullptr, 0);
    UniqueBlock<char> text;
    if (!AllocZeroed(length + 1, text) || ComposeSelfDeleteBatch(paths, text.get(), length + 1) != length) {
        return false;
    }
    return WriteWhole(file, text.get(), length);
}

// `folder` + "\" + `name` into `path` (kPathBufferSize bytes).

}  // namespace

bool RunProgram(RunState& run, const char* program, const char* arguments, bool wait) {
    char commandLine[kCommandLineSize];
    if (!BuildProgramCommandLine(program, arguments, commandLine, sizeof commandLine)) return false;
    // The child starts in the program's own folder; a path without a backslash starts in ours. Our own
    // current directory is never changed, so there is nothing to put back.
    char folder[kPathBufferSize];
    const char* directory = nullptr;
    if (FindLastBackslash(program)) {
        if (!CopyText(folder, program)) return false;  // no program path of 260 bytes or more can start
        (void)CutAtLastBackslash(folder);
        directory = folder;
    }
    STARTUPINFOA startup = {};
    startup.cb = sizeof(startup);
    PROCESS_INFORMATION info = {};
    // Inheriting hands on only handles marked inheritable, and this process opens none so (no call
    // passes security attributes): the child gets no handle of the uninstaller's files or keys.
    if (!CreateProcessA(nullptr, commandLine, nullptr, nullptr, TRUE, NORMAL_PRIORITY_CLASS, nullptr,
                        directory, &startup, &info)) {
        return false;
    }
    UniqueProcessInfo child;
    child.Take(info);
    if (wait) {
        HCURSOR previous = SetCursor(LoadCursorA(nullptr, IDC_WAIT));
        WaitForChild(child.process.get());
        SetCursor(previous);
        if (run.log) NoteExitCode(*run.log.get(), child.process.get());
    }
    return true;
}

void OpenDocument(RunState&, const char* document, const char* classKey) {
    if (TextLength(document) >= kDocumentSize) return;  // a document cut short names another one
    char folder[kDocumentSize];
    const char* directory = ShellWorkingFolder(document, folder, sizeof(folder)) ? folder : nullptr;
    auto result =
        reinterpret_cast<INT_PTR>(ShellExecuteA(nullptr, "open", document, nullptr, directory, SW_SHOW));
    if (result > 32) return;

    // The shell could not: the open command registered for the class of `classKey`.
    char command[kDocumentSize];
    if (ReadClassDefault(classKey, command) != ERROR_SUCCESS) return;
    if (!AppendText(command, "\\shell\\open\\command")) return;
    if (ReadClassDefault(command, command) != ERROR_SUCCESS) return;
    if (!CompleteOpenCommand(command, sizeof(command), document)) return;
    (void)WinExec(command, SW_SHOW);
}

LONG ReadClassDefault(const char* keyPath, char* buffer) {
    UniqueRegistryKey key;
    LONG error = RegOpenKeyExA(HKEY_CLASSES_ROOT, keyPath, 0, KEY_QUERY_VALUE, key.put());
    if (error != ERROR_SUCCESS) return error;
    char value[kPathBufferSize + 1] = {};  // the value read whole (260 bytes) and our terminator
    DWORD type = 0;
    DWORD size = kPathBufferSize;
    error = RegQueryValueExA(key.get(), nullptr, nullptr, &type, reinterpret_cast<BYTE*>(value), &size);
    if (error != ERROR_SUCCESS) return error;
    if (type != REG_SZ && type != REG_EXPAND_SZ) return ERROR_INVALID_DATA;
    value[size] = '\0';
    if (value[0] == '\0') return ERROR_FILE_NOT_FOUND;
    if (type == REG_SZ) return CopyText(buffer, kPathBufferSize, value) ? ERROR_SUCCESS : ERROR_MORE_DATA;
    char expanded[kPathBufferSize];
    DWORD n = ExpandEnvironmentStringsA(value, expanded, kPathBufferSize);
    if (n == 0 || n > kPathBufferSize) return ERROR_MORE_DATA;
    return CopyText(buffer, kPathBufferSize, expanded) ? ERROR_SUCCESS : ERROR_MORE_DATA;
}

UniqueFileHandle CreateUniqueTempFile(char* path, const char* pattern) {
    path[0] = '\0';
    // Only a temporary folder that is a whole, absolute path: a relative one would put the file in
    // whatever the current directory is.
    char found[kPathBufferSize];
    char folder[kPathBufferSize];
    if (!GetTempFolder(found) || !CanonicalizeFolderPath(found, folder)) return {};
    for (unsigned n = 1; n <= kTempNameCount; ++n) {
        char name[kPathBufferSize];
        if (!FormatNumberedName(pattern, n, name, sizeof(name)) ||
            !JoinPath(path, kPathBufferSize, folder, name))
            break;
        // CREATE_NEW: a file of that name, readable or not, is someone else's and stays as it is.
        UniqueFileHandle file(
            CreateFileA(path, GENERIC_WRITE, 0, nullptr, CREATE_NEW, FILE_ATTRIBUTE_NORMAL, nullptr));
        if (file) return file;
    }
    path[0] = '\0';
    return {};
}

bool WriteSelfDeleteBatch(RunState& run, const char* module, const char* installFolder,
                          const char* interpreterFolder, char* batchPath) {
    batchPath[0] = '\0';
    char oemModule[kPathBufferSize];
    if (!ToOemPath(module, oemModule)) return false;

    // The folder is removed only on the canonical path that passed the protected-folder test; a
    // protected one gets no rmdir line at all.
    char canonical[kPathBufferSize];
    char oemFolder[kPathBufferSize];
    bool removeFolder = ResolveRemovableFolder(run.paths, installFolder, canonical);
    if (removeFolder && !ToOemPath(canonical, oemFolder)) return false;

    char ping[kPathBufferSize];
    char oemPing[kPathBufferSize];
    bool nt = run.platform.nt;
    if (nt && (!JoinPath(ping, kPathBufferSize, interpreterFolder, "ping.exe") || !ToOemPath(ping, oemPing)))
        return false;

    char path[kPathBufferSize];
    UniqueFileHandle file = CreateUniqueTempFile(path, kBatchPattern);
    if (!file) return false;
    char oemBatch[kPathBufferSize];
    SelfDeleteBatch paths = {oemModule, removeFolder ? oemFolder : nullptr, oemBatch, nt ? oemPing : nullptr};
    // The batch path converts only once the file exists: its short name is there from then on.
    bool written = ToOemPath(path, oemBatch) && WriteBatchText(file.get(), paths);
    file.reset();
    if (!written) {
        (void)DeleteFileA(path);  // never leave a batch that is cut short
        return false;
    }
    return CopyText(batchPath, kPathBufferSize, path);
}

bool StartBatchInterpreter(bool nt, const char* interpreterFolder, const char* batchPath) {
    // By its full path: found by the search order, a cmd.exe planted in the install folder (the
    // application's folder, searched first) would run with our rights.
    char interpreter[kPathBufferSize];
    char commandLine[kInterpreterLineSize];
    // The batch by its own name in its folder, which the interpreter gets as its working folder: the
    // temporary folder comes from the environment and may hold "%NAME%" or "!", which the
    // interpreter would expand on its command line even between quotes and so run another batch.
    // ".\" ties the name to the working folder, where a bare one could be looked for along PATH.
    char batchFolder[kPathBufferSize];
    char batchName[kPathBufferSize];
    const char* name = FindLastBackslash(batchPath);
    bool ready = name && CopyText(batchFolder, batchPath) && CutAtLastBackslash(batchFolder) &&
                 CopyText(batchName, ".\\") && AppendText(batchName, name + 1) &&
                 JoinPath(interpreter, kPathBufferSize, interpreterFolder, nt ? "cmd.exe" : "command.com") &&
                 BuildInterpreterCommandLine(nt, interpreter, batchName, commandLine, sizeof(commandLine));
    // A drive root keeps its backslash: "C:" alone is the drive's current folder.
    if (ready && batchFolder[1] == ':' && batchFolder[2] == '\0') {
        ready = AppendBackslash(batchFolder, kPathBufferSize);
    }
    STARTUPINFOA startup = {};
    startup.cb = sizeof(startup);
    startup.dwFlags = STARTF_USESHOWWINDOW;
    startup.wShowWindow = SW_HIDE;
    PROCESS_INFORMATION info = {};
    // The 9x family starts an MS-DOS program only from the command line, with no application name;
    // its path there is a full one, so nothing is searched either.
    if (!ready || !CreateProcessA(nt ? interpreter : nullptr, commandLine, nullptr, nullptr, FALSE, 0,
                                  nullptr, batchFolder, &startup, &info)) {
        (void)DeleteFileA(batchPath);
        return false;
    }
    UniqueProcessInfo started;
    started.Take(info);  // closed at once: the interpreter outlives us
    return true;
}

bool StartSelfDelete(RunState& run) {
    StripTrailingBackslash(run.installFolder);
    DWORD n = GetModuleFileNameA(run.instance, run.currentItem, kPathBufferSize);
    if (n == 0 || n >= kPathBufferSize) return false;  // a cut name would be another file
    char interpreterFolder[kPathBufferSize];
    if (!(run.platform.nt ? GetSystemFolder(interpreterFolder) : GetWindowsFolder(interpreterFolder)))
        return false;
    StripTrailingBackslash(interpreterFolder);
    // Out of the install folder, which could not be removed while it is our current directory.
    (void)SetCurrentDirectoryA(interpreterFolder);
    AllowDeletion(run.currentItem);
    char batchPath[kPathBufferSize];
    if (!WriteSelfDeleteBatch(run, run.currentItem, run.installFolder, interpreterFolder, batchPath))
        return false;
    return StartBatchInterpreter(run.platform.nt, interpreterFolder, batchPath);
}
