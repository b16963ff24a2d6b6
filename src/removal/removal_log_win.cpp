#include "removal/removal_log.h"

#include "common/backslash.h"
#include "common/handles_win.h"
#include "common/text.h"
#include "data/memory.h"
#include "driver/run_state.h"
#include "paths/canonical_path.h"
#include "ui/ui.h"

struct RemovalLog {
    HANDLE file;
    const char* pass;
    uint32_t used;
    uint32_t removed;
    uint32_t kept;
    uint32_t notThere;
    DWORD exitCode;
    bool exitKnown;
    bool failed;  // a write failed: the rest is not written (the counts go on)
    char buffer[4096];
};

namespace {

// Writes the buffer out. After a failed write nothing more is written: a log with a hole in the
// middle would read as a run that skipped items.
void Flush(RemovalLog& log) {
    if (log.used != 0 && !log.failed) {
        DWORD written = 0;
        if (!WriteFile(log.file, log.buffer, log.used, &written, nullptr) || written != log.used) log.failed = true;
    }
    log.used = 0;
}

void PutChar(RemovalLog& log, char c) {
    if (log.used == sizeof(log.buffer)) Flush(log);
    log.buffer[log.used++] = c;
}

// A text as one field: a tab, a line break or another control character in it becomes a blank.
void Put(RemovalLog& log, const char* text) {
    for (; *text != '\0'; ++text) {
        auto c = static_cast<unsigned char>(*text);
        PutChar(log, c < 0x20 ? ' ' : *text);
    }
}

void PutNumber(RemovalLog& log, uint32_t value) {
    char digits[10];
    int n = 0;
    do {
        digits[n++] = static_cast<char>('0' + value % 10);
        value /= 10;
    } while (value != 0);
    while (n > 0) PutChar(log, digits[--n]);
}

void PutTab(RemovalLog& log) { PutChar(log, '\t'); }

void BeginLine(RemovalLog& log, const char* action) {
    Put(log, log.pass);
    PutTab(log);
    Put(log, action);
    PutTab(log);
}

void EndLine(RemovalLog& log) {
    PutChar(log, '\r');
    PutChar(log, '\n');
}

// The result field, counted into the summary.
void PutOutcome(RemovalLog& log, uint32_t outcome) {
    PutTab(log);
    LogResult result = ResultOfOutcome(outcome, log.pass == logword::kRegistry);
    Put(log, kLogResultWords[static_cast<int>(result)]);
    if (result == LogResult::kError) {
        PutChar(log, ' ');
        PutNumber(log, outcome);
    }
    EndLine(log);
    if (result == LogResult::kRemoved) {
        ++log.removed;
    } else if (result == LogResult::kNotThere) {
        ++log.notThere;
    } else {
        ++log.kept;
    }
}

const char* RootShortName(uint32_t root) {
    static const char* const kNames[] = {"HKCR", "HKCU", "HKLM", "HKU", "HKPD", "HKCC", "HKDD"};
    return root >= 0x80000000u && root <= 0x80000006u ? kNames[root - 0x80000000u] : "?";
}

const char* AnswerWord(int answer) {
    switch (answer) {
        case IDOK:
            return "OK";
        case IDCANCEL:
            return "Cancel";
        case IDRETRY:
            return "Retry";
        case IDYES:
            return "Yes";
        case IDNO:
            return "No";
        case kYesToAllId:
            return "Yes to all";
        case kNoToAllId:
            return "No to all";
        default:
            return "not shown";
    }
}

// The log's path made full and canonical: a relative path is taken from the current directory as
// the command line meant it; a device name, a "\\.\" path or one that does not fit gives none.
bool CanonicalLogPath(const RunModes& modes, char* canonical) {
    char given[kPathBufferSize];
    if (modes.logPathLength >= sizeof given) return false;
    for (uint32_t i = 0; i < modes.logPathLength; ++i) given[i] = modes.logPath[i];
    given[modes.logPathLength] = '\0';
    char full[kPathBufferSize];
    char* name = nullptr;
    DWORD n = GetFullPathNameA(given, sizeof full, full, &name);
    if (n == 0 || n >= sizeof full) return false;
    return CanonicalizeFolderPath(full, canonical);
}

// True when the file system reaches the file `canonical` (open as `file`) by that path itself:
// its final path is its folder's final path and its name. A symbolic link in its place leads
// elsewhere; where the platform has no final paths (before Vista) there are no such links.
bool IsReachedDirectly(const char* canonical) {
    char final[kPathBufferSize];
    FinalPathResult result = ReadFinalFolderPath(canonical, final);
    if (result == FinalPathResult::kNone) return true;
    if (result == FinalPathResult::kUnreadable) return false;
    char expected[kPathBufferSize];
    const char* name = FindLastBackslash(canonical);
    if (!name || !CopyText(expected, canonical) || !CutAtLastBackslash(expected)) return false;
    char folderFinal[kPathBufferSize];
    switch (ReadFinalFolderPath(expected, folderFinal)) {
        case FinalPathResult::kFound:
            if (!CopyText(expected, folderFinal)) return false;
            break;
        case FinalPathResult::kNone:
            break;
        case FinalPathResult::kUnreadable:
            return false;
    }
    return AppendBackslash(expected, sizeof expected) && AppendText(expected, name + 1) &&
           TextEqualsNoCase(expected, final);
}

// True when the handle is a plain file on a disk with no other name: a device, a reparse point or
// a file with another hard link (whose contents the log would replace) is not written.
bool IsPlainSingleFile(HANDLE file) {
    if (GetFileType(file) != FILE_TYPE_DISK) return false;
    BY_HANDLE_FILE_INFORMATION info = {};
    if (!GetFileInformationByHandle(file, &info)) return false;
    return !(info.dwFileAttributes & (FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_REPARSE_POINT)) &&
           info.nNumberOfLinks <= 1;
}

// An existing file at `canonical` may be replaced: it is a plain file reached by its own path.
// True as well when nothing is there.
bool MayReplace(const char* canonical, DWORD openFlags) {
    DWORD attributes = GetFileAttributesA(canonical);
    if (attributes == INVALID_FILE_ATTRIBUTES) return GetLastError() == ERROR_FILE_NOT_FOUND;
    if (attributes & (FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_REPARSE_POINT)) return false;
    UniqueFileHandle existing(CreateFileA(canonical, 0, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                                          nullptr, OPEN_EXISTING, openFlags, nullptr));
    return existing && IsPlainSingleFile(existing.get()) && IsReachedDirectly(canonical);
}

void PutModes(RemovalLog& log, const RunModes& modes) {
    if (modes.quiet) Put(log, "/Q ");
    if (modes.silent) Put(log, "/S ");
    if (modes.external) Put(log, "/X ");
    Put(log, "/L");
}

}  // namespace

void OpenRemovalLog(RunState& run) {
    if (!run.modes.logPath) return;
    char path[kPathBufferSize];
    if (!CanonicalLogPath(run.modes, path)) return;
    // NT: a reparse point at the path is opened itself, never followed (the 9x family has none).
    DWORD openFlags = run.platform.nt ? FILE_FLAG_OPEN_REPARSE_POINT : 0;
    if (!MayReplace(path, openFlags)) return;
    UniqueFileHandle file(CreateFileA(path, GENERIC_WRITE, FILE_SHARE_READ, nullptr, CREATE_ALWAYS,
                                      FILE_ATTRIBUTE_NORMAL | openFlags, nullptr));
    // Looked at again once open: something put in its place since the look above is not written.
    if (!file || !IsPlainSingleFile(file.get()) || !IsReachedDirectly(path)) return;
    RemovalLog* log = nullptr;
    if (!AllocZeroed(sizeof(RemovalLog), log)) return;
    log->file = file.release();
    log->pass = logword::kStart;
    run.log = log;

    LogNote(*log, "version", kUninstallerVersion, "");
    LogNote(*log, "platform", run.platform.nt6OrLater ? "NT 6 or later" : run.platform.nt ? "NT" : "9x", "");
    BeginLine(*log, "modes");
    PutModes(*log, run.modes);
    PutTab(*log);
    EndLine(*log);
    LogNote(*log, "install folder", run.installFolder, "");
    LogNote(*log, "log", path, "");
    Flush(*log);
}

void CloseRemovalLog(RunState& run, const char* ending) {
    if (!run.log) return;
    RemovalLog& log = *run.log;
    log.pass = logword::kSummary;
    Put(log, logword::kSummary);
    Put(log, "\tremoved ");
    PutNumber(log, log.removed);
    Put(log, ", kept ");
    PutNumber(log, log.kept);
    Put(log, ", not there ");
    PutNumber(log, log.notThere);
    PutTab(log);
    Put(log, ending);
    EndLine(log);
    Flush(log);
    CloseHandle(log.file);
    FreeBlock(run.log);
}

void LogPass(RemovalLog& log, const char* pass) {
    Flush(log);
    log.pass = pass;
}

void LogItem(RemovalLog& log, const char* action, const char* path, uint32_t outcome, const char* tail) {
    BeginLine(log, action);
    Put(log, path);
    if (tail) {
        PutChar(log, '\\');
        Put(log, tail);
    }
    PutOutcome(log, outcome);
}

void LogKey(RemovalLog& log, const char* action, uint32_t root, const char* keyPath, uint32_t outcome) {
    LogItem(log, action, RootShortName(root), outcome, keyPath);
}

void LogSharedCount(RemovalLog& log, const char* path, uint32_t count) {
    BeginLine(log, logword::kDelete);
    Put(log, path);
    Put(log, "\tkept: shared count now ");
    PutNumber(log, count);
    EndLine(log);
    ++log.kept;
}

void LogQuestion(RemovalLog& log, const char* text, int answer) {
    LogNote(log, logword::kAsk, text, AnswerWord(answer));
}

void LogRunFirst(RemovalLog& log, const char* program, const char* arguments, const char* result) {
    BeginLine(log, logword::kRun);
    PutChar(log, '"');
    Put(log, program);
    PutChar(log, '"');
    if (arguments && arguments[0] != '\0') {
        PutChar(log, ' ');
        Put(log, arguments);
    }
    PutTab(log);
    Put(log, result);
    if (log.exitKnown) {
        Put(log, ", exit code ");
        PutNumber(log, log.exitCode);
    }
    EndLine(log);
}

void NoteExitCode(RemovalLog& log, HANDLE process) {
    log.exitKnown = GetExitCodeProcess(process, &log.exitCode) != FALSE;
}

void LogNote(RemovalLog& log, const char* action, const char* text, const char* result) {
    BeginLine(log, action);
    Put(log, text);
    PutTab(log);
    Put(log, result);
    EndLine(log);
}
