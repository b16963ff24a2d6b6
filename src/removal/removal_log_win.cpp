#include "removal/removal_log.h"

#include <new>

#include "common/backslash.h"
#include "common/handles_win.h"
#include "common/memory.h"
#include "common/nt_files.h"
#include "common/scope_exit.h"
#include "common/text.h"
#include "paths/canonical_path.h"
#include "paths/protected_folders.h"
#include "run/run_state.h"
#include "ui/ui.h"

// Made in a block of the memory helpers by OpenRemovalLog, ended by RemovalLogTraits::Close.
struct RemovalLog {
    UniqueFileHandle file;  // not checked when it closes: nobody is left to tell of a failed close
    LogWord pass;
    bool exitKnown;
    bool failed;  // a write failed: nothing more is written (the counts go on)
    uint32_t used;
    uint32_t counts[3];  // removed, not there, kept
    PathState* paths;    // the run's, for the reasons of the link check's refusals
    DWORD exitCode;
    char buffer[4096];
};

void RemovalLogTraits::Close(RemovalLog* log) {
    log->~RemovalLog();
    FreeRaw(log);
}

namespace {

// Writes the buffer out. After a failed write nothing more is written: a log with a hole in the
// middle would read as a run that skipped items.
void Flush(RemovalLog& log) {
    DWORD written = 0;
    if (log.used != 0 && !log.failed &&
        (!WriteFile(log.file.get(), log.buffer, log.used, &written, nullptr) || written != log.used)) {
        log.failed = true;
    }
    log.used = 0;
}

void PutChar(RemovalLog& log, char c) {
    if (log.used == sizeof(log.buffer)) Flush(log);
    log.buffer[log.used++] = c;
}

// A text as one field: a tab, a line break or another control character in it becomes a blank.
void Put(RemovalLog& log, const char* text) {
    for (; *text != '\0'; ++text) PutChar(log, static_cast<unsigned char>(*text) < 0x20 ? ' ' : *text);
}

void PutNumber(RemovalLog& log, uint32_t value) {
    char digits[kDecimalDigitsSize];
    Put(log, FormatDecimal(value, digits));
}

// Writes `format` with its field codes replaced by the next arguments, every other byte as it
// stands: \1 a LogWord, \2 a text as Put writes it, \3 a uint32_t in decimal. The start line,
// the items and the summary differ only in their formats.
void PutFormat(RemovalLog& log, const char* format, ...) {
    __builtin_va_list args;
    __builtin_va_start(args, format);
    for (; *format != '\0'; ++format) {
        switch (*format) {
            case '\1':
                Put(log, LogWordText(__builtin_va_arg(args, LogWord)));
                break;
            case '\2':
                Put(log, __builtin_va_arg(args, const char*));
                break;
            case '\3':
                PutNumber(log, __builtin_va_arg(args, uint32_t));
                break;
            default:
                PutChar(log, *format);
                break;
        }
    }
    __builtin_va_end(args);
}

// Why the link check refused `path` (kOutcomeRefusedByLinkCheck).
uint32_t RefusalOf(PathState& paths, const char* path) {
    if (IsProtectedFolder(paths, path)) return kOutcomeProtected;
    // The link check refuses a folder it cannot look at, a missing one too.
    if (GetFileAttributesA(path) == INVALID_FILE_ATTRIBUTES) return GetLastError();
    return path[0] == '\\' && path[1] == '\\' ? kOutcomeNetworkPath : kOutcomeBelowLink;
}

// Out of line: inlined, the compiler copies the writing that follows into each of its branches.
[[gnu::noinline]] LogWord ResultOf(uint32_t outcome, bool registry) {
    return ResultOfOutcome(outcome, registry);
}

// The result field of `outcome`, counted into the summary when it is an item's.
void PutResult(RemovalLog& log, uint32_t outcome) {
    LogWord result = ResultOf(outcome, log.pass == LogWord::kRegistry);
    uint32_t number = result == LogWord::kExitCode      ? log.exitCode
                      : result == LogWord::kSharedCount ? outcome - kOutcomeSharedCount
                                                        : outcome;
    bool numbered =
        result == LogWord::kError || result == LogWord::kSharedCount || result == LogWord::kExitCode;
    // Only items count: questions and the run-first program have words of their own.
    if (result >= LogWord::kRemoved && result <= LogWord::kSharedCount) {
        ++log.counts[result == LogWord::kRemoved ? 0 : result == LogWord::kNotThere ? 1 : 2];
    }
    PutFormat(log, IsKeptResult(result) ? "\tkept: \1" : "\t\1", result);
    if (numbered) PutFormat(log, " \3", number);
}

LogWord AnswerWord(int answer) {
    if (answer == kYesToAllId) return LogWord::kYesToAll;
    if (answer == kNoToAllId) return LogWord::kNoToAll;
    // IDOK 1, IDCANCEL 2, IDRETRY 4, IDYES 6, IDNO 7; any other answer: the box was not shown.
    static const LogWord kByButton[] = {LogWord::kNotShown, LogWord::kOk,    LogWord::kCancel,
                                        LogWord::kNotShown, LogWord::kRetry, LogWord::kNotShown,
                                        LogWord::kYes,      LogWord::kNo};
    return answer >= 0 && answer < 8 ? kByButton[answer] : LogWord::kNotShown;
}

// True when the object open at `handle` is reached by the path `canonical` itself, not through a
// junction or link on the way (or where the platform cannot tell): judged through the handle, so
// nothing put at the path since the open changes the answer.
bool IsReachedByOwnPath(HANDLE handle, const char* canonical) {
    char final[kPathBufferSize];
    FinalPathResult result = ReadFinalPathOfHandle(handle, final);
    return result == FinalPathResult::kNone ||
           (result == FinalPathResult::kFound && TextEqualsNoCase(final, canonical));
}

// True when the open file is one the log may replace: a plain file on a disk, not read-only (an
// administrator's open for writing succeeds on one under Wine), no reparse point (the handle was
// opened on the link itself), no other hard link (whose contents it would replace), and reached by
// its own path: Wine follows a Unix symbolic link without showing a reparse point, and the final
// path of its handle then names the file it leads to.
bool IsPlainFileAt(HANDLE file, const char* canonical) {
    BY_HANDLE_FILE_INFORMATION info = {};
    if (GetFileType(file) != FILE_TYPE_DISK || !GetFileInformationByHandle(file, &info) ||
        (info.dwFileAttributes &
         (FILE_ATTRIBUTE_READONLY | FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_REPARSE_POINT)) ||
        info.nNumberOfLinks > 1) {
        return false;
    }
    return IsReachedByOwnPath(file, canonical);
}

// Opens the log file `path` (canonical) for writing: an existing file as it is, for IsPlainFileAt to
// judge before anything is written. A new file is created only in a folder judged through its handle
// (reached by its own path), relative to that handle and with FILE_CREATE, which follows no link at
// the name; `*created` then says so, and the handle may delete it. The 9x family, which has no links,
// creates it by its path.
HANDLE OpenLogFile(const char* path, bool nt, bool* created) {
    *created = false;
    // On the NT family a reparse point is opened itself, never followed (the 9x family has none).
    DWORD flags = FILE_ATTRIBUTE_NORMAL | (nt ? FILE_FLAG_OPEN_REPARSE_POINT : 0);
    HANDLE file = CreateFileA(path, GENERIC_WRITE, FILE_SHARE_READ, nullptr, OPEN_EXISTING, flags, nullptr);
    if (file != INVALID_HANDLE_VALUE || GetLastError() != ERROR_FILE_NOT_FOUND) return file;
    char folder[kPathBufferSize];
    const char* name = FindLastBackslash(path);
    if (!name || !CopyText(folder, path) || !CutAtLastBackslash(folder)) return INVALID_HANDLE_VALUE;
    if (!nt) {
        return CreateFileA(path, GENERIC_WRITE, FILE_SHARE_READ, nullptr, CREATE_NEW, flags, nullptr);
    }
    // A drive root ("C:\\") is no link; every other folder keeps no trailing backslash here.
    HeldFolder held;
    held.handle = OpenFolder(folder, 0, folder[3] == '\0');
    if (held.handle == INVALID_HANDLE_VALUE) return held.handle;
    ScopeExit release([&] { ReleaseFolder(held); });
    if ((folder[3] != '\0' &&
         (IsReparsePointHandle(held.handle) || !IsReachedByOwnPath(held.handle, folder))))
        return INVALID_HANDLE_VALUE;
    ChildOpen opened =
        OpenChild(held, name + 1, ChildKind::kFile, GENERIC_WRITE | DELETE | FILE_READ_ATTRIBUTES,
                  FILE_SHARE_READ, kChildCreate);
    *created = opened.handle != INVALID_HANDLE_VALUE;
    return opened.handle;
}

}  // namespace

void OpenRemovalLog(RunState& run) {
    char given[kPathBufferSize];
    char path[kPathBufferSize];
    uint32_t length = run.modes.logPathLength;
    if (length >= sizeof given) return;
    for (uint32_t i = 0; i < length; ++i) given[i] = run.modes.logPath[i];
    given[length] = '\0';
    // A relative path is taken from the current directory, as the command line meant it; the
    // canonical form is never a device or a "\\.\" path.
    char full[kPathBufferSize];
    char* name = nullptr;
    DWORD n = GetFullPathNameA(given, sizeof full, full, &name);
    if (n == 0 || n >= sizeof full || !CanonicalizeFolderPath(full, path)) return;
    // Opened without being cut first, so nothing is lost before the checks; cut once it passed.
    bool created = false;
    UniqueFileHandle file(OpenLogFile(path, run.platform.nt, &created));
    if (!file) return;
    if (!IsPlainFileAt(file.get(), path) || !SetEndOfFile(file.get())) {
        // A file this run created and then refused goes again: nothing is created for a refused log.
        if (created) (void)DeleteThroughHandle(file.get());
        return;
    }
    void* block = nullptr;
    if (!AllocZeroed(sizeof(RemovalLog), block)) return;
    // Default-initialised in zeroed memory: every field zero, the file owning nothing yet.
    run.log.reset(::new (block) RemovalLog);
    RemovalLog* log = run.log.get();
    log->file = static_cast<UniqueFileHandle&&>(file);
    log->paths = &run.paths;

    // start <TAB> version <TAB> install folder <TAB> family and modes
    PutFormat(*log, "\1\t\1\t\2\t\1", LogWord::kStart, LogWord::kVersion, run.installFolder,
              run.platform.nt6OrLater ? LogWord::kNt6
              : run.platform.nt       ? LogWord::kNt
                                      : LogWord::k9x);
    // The modes by their letters, Q S X: each member named, no walk across the struct's layout.
    static constexpr bool RunModes::*kModes[] = {&RunModes::quiet, &RunModes::silent, &RunModes::external};
    for (int i = 0; i < 3; ++i) {
        if (!(run.modes.*kModes[i])) continue;
        PutFormat(*log, " /");
        PutChar(*log, "QSX"[i]);
    }
    PutFormat(*log, "\r\n");
    LogPass(*log, LogWord::kStart);
}

void CloseRemovalLog(RunState& run, LogWord ending) {
    RemovalLog& log = *run.log.get();
    // summary <TAB> removed R, kept K, not there N <TAB> ending
    PutFormat(log, "\1\t\1 \3, kept \3, \1 \3\t\1\r\n", LogWord::kSummary, LogWord::kRemoved, log.counts[0],
              log.counts[2], LogWord::kNotThere, log.counts[1], ending);
    Flush(log);
    run.log.reset();
}

void LogPass(RemovalLog& log, LogWord pass) {
    Flush(log);
    log.pass = pass;
}

void LogItem(RemovalLog& log, LogWord action, const char* path, uint32_t outcome, const char* tail) {
    if (outcome == kOutcomeRefusedByLinkCheck) outcome = RefusalOf(*log.paths, path);
    PutFormat(log, "\1\t\1\t\2", log.pass, action, path);
    if (tail) PutFormat(log, "\\\2", tail);
    PutResult(log, outcome);
    PutFormat(log, "\r\n");
}

void LogKey(RemovalLog& log, LogWord action, uint32_t root, const char* keyPath, uint32_t outcome) {
    // Five bytes a root, from HKEY_CLASSES_ROOT (0x80000000) to HKEY_DYN_DATA (0x80000006).
    uint32_t index = root - 0x80000000u;
    LogItem(log, action, index < 7 ? "HKCR\0HKCU\0HKLM\0HKU\0\0HKPD\0HKCC\0HKDD" + index * 5 : "?", outcome,
            keyPath);
}

void LogQuestion(RemovalLog& log, const char* text, int answer) {
    LogItem(log, LogWord::kAsk, text, OutcomeOfWord(AnswerWord(answer)));
}

void LogRunFirst(RemovalLog& log, const char* command, LogWord result) {
    LogItem(log, LogWord::kRun, command, OutcomeOfWord(log.exitKnown ? LogWord::kExitCode : result));
}

void NoteExitCode(RemovalLog& log, HANDLE process) {
    log.exitKnown = GetExitCodeProcess(process, &log.exitCode) != FALSE;
}
