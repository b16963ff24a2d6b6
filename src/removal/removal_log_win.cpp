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

static_assert(sizeof(RunState::tally) / sizeof(uint32_t) == static_cast<int>(Tally::kCount));

// Made in a block of the memory helpers by OpenRemovalLog, ended by RemovalLogTraits::Close.
struct RemovalLog {
    UniqueFileHandle file;  // not checked when it closes: nobody is left to tell of a failed close
    LogWord pass;
    LogWord entryList;  // the list of the block the next lines' entry is in; kCount for none
    uint32_t entryIndex;
    bool exitKnown;
    bool failed;  // a write failed: nothing more is written (the tally goes on)
    uint32_t used;
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
// stands: \1 a LogWord, \2 a text as Put writes it, \3 a uint32_t in decimal, \4 one below 100
// in two digits. The start lines, the items and the summary differ only in their formats.
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
            case '\4': {
                uint32_t value = __builtin_va_arg(args, uint32_t);
                PutChar(log, static_cast<char>('0' + value / 10));
                PutChar(log, static_cast<char>('0' + value % 10));
                break;
            }
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

// The result field of `outcome`.
void PutResult(RemovalLog& log, uint32_t outcome) {
    LogWord result = ResultOf(outcome, log.pass == LogWord::kRegistry);
    uint32_t number = result == LogWord::kExitCode      ? log.exitCode
                      : result == LogWord::kSharedCount ? outcome - kOutcomeSharedCount
                                                        : outcome;
    bool numbered =
        result == LogWord::kError || result == LogWord::kSharedCount || result == LogWord::kExitCode;
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

// The local date and time in ISO 8601 with the offset from UTC (2026-12-11T14:05:09+01:00), a tab
// and `family`. One format for it all: each literal costs the stub a relocation.
void PutLocalTime(RemovalLog& log, LogWord family) {
    SYSTEMTIME t;
    GetLocalTime(&t);
    TIME_ZONE_INFORMATION zone;
    DWORD which = GetTimeZoneInformation(&zone);
    // Local time is UTC minus the bias, in minutes.
    LONG bias = which == TIME_ZONE_ID_INVALID
                    ? 0
                    : zone.Bias + (which == TIME_ZONE_ID_DAYLIGHT   ? zone.DaylightBias
                                   : which == TIME_ZONE_ID_STANDARD ? zone.StandardBias
                                                                    : 0);
    uint32_t minutes = static_cast<uint32_t>(bias < 0 ? -bias : bias);
    char sign[2] = {bias > 0 ? '-' : '+', '\0'};
    PutFormat(log, "\3-\4-\4T\4:\4:\4\2\4:\4\t\1", t.wYear, t.wMonth, t.wDay, t.wHour, t.wMinute, t.wSecond,
              sign, minutes / 60 % 100, minutes % 60, family);
}

// Whether the run has the administrator's full rights: the token's elevation where the system has
// one (NT 6 and later), "before UAC" where it has none to ask.
LogWord ElevationOf() {
    UniqueKernelHandle token;
    if (!OpenProcessToken(GetCurrentProcess(), TOKEN_QUERY, token.put())) return LogWord::kBeforeUac;
    DWORD elevated = 0;
    DWORD size = 0;
    // TokenElevation (20): not in the headers of every toolchain that builds for the 9x family.
    BOOL known = GetTokenInformation(token.get(), static_cast<TOKEN_INFORMATION_CLASS>(20), &elevated,
                                     sizeof elevated, &size);
    return !known ? LogWord::kBeforeUac : elevated ? LogWord::kElevated : LogWord::kNotElevated;
}

// An ignored word of the command line, up to its blank or quote.
void PutWord(RemovalLog& log, const char* word) {
    for (; *word != '\0' && *word != ' ' && *word != '"'; ++word)
        PutChar(log, static_cast<unsigned char>(*word) < 0x20 ? ' ' : *word);
}

// The lines before the passes: the format, the time with the family and the options, the computer
// and the user with the run's elevation.
void PutStartLines(RemovalLog& log, const RunState& run) {
    // log <TAB> format <TAB> <TAB> uninst removal log 2 <TAB> version
    PutFormat(log, "\1\t\1\t\t\2\t\1\r\n\1\t\1\t\t", LogWord::kLog, LogWord::kFormat, kLogFormat,
              LogWord::kVersion, LogWord::kStart, LogWord::kTime);
    // start <TAB> time <TAB> <TAB> local time <TAB> family, options and the words ignored
    PutLocalTime(log, run.platform.nt6OrLater ? LogWord::kNt6
                      : run.platform.nt       ? LogWord::kNt
                                              : LogWord::k9x);
    // The modes by their letters, Q S X: each member named, no walk across the struct's layout.
    static constexpr bool RunModes::*kModes[] = {&RunModes::quiet, &RunModes::silent, &RunModes::external};
    for (int i = 0; i < 3; ++i) {
        if (!(run.modes.*kModes[i])) continue;
        PutChar(log, ' ');
        PutChar(log, '/');
        PutChar(log, static_cast<char>(0x585351u >> (8 * i)));  // "QSX"[i], without a literal
    }
    const RunModes& options = run.modes;
    if (options.ignoredCount != 0) PutFormat(log, " \1", LogWord::kIgnored);
    // The first words ignored (the scan keeps four).
    for (uint32_t i = 0; i < options.ignoredCount && i < sizeof options.ignored / sizeof options.ignored[0];
         ++i) {
        PutChar(log, ' ');
        PutWord(log, options.ignored[i]);
    }
    // start <TAB> user <TAB> <TAB> computer\user <TAB> elevation
    char computer[kPathBufferSize];
    char name[kPathBufferSize];
    DWORD size = sizeof computer;
    if (!GetComputerNameA(computer, &size)) computer[0] = '\0';
    size = sizeof name;
    if (!GetUserNameA(name, &size)) name[0] = '\0';
    PutFormat(log, "\r\n\1\t\1\t\t\2\\\2\t\1\r\n", LogWord::kStart, LogWord::kUser, computer, name,
              ElevationOf());
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
    PutStartLines(*log, run);
    LogPass(*log, LogWord::kStart);
}

void LogProduct(RemovalLog& log, const char* caption, const char* installFolder) {
    // start <TAB> product <TAB> <TAB> caption <TAB> install folder
    PutFormat(log, "\1\t\1\t\t\2\t\2\r\n", LogWord::kStart, LogWord::kProduct, caption, installFolder);
}

void NoteEntry(RunState& run, LogWord list, uint32_t index) {
    RemovalLog* log = run.log.get();
    if (!log) return;
    log->entryList = list;
    log->entryIndex = index;
}

void CloseRemovalLog(RunState& run, LogWord ending, int exitCode) {
    RemovalLog& log = *run.log.get();
    const uint32_t* tally = run.tally;
    // summary <TAB> ending <TAB> <TAB> removed R, kept on purpose K, problems P, at restart A, not
    // there N <TAB> exit code E
    // -1 as a deployment tool reads it: the process's exit code is the same bits.
    char sign[2] = {exitCode < 0 ? '-' : '\0', '\0'};
    PutFormat(
        log,
        "\1\t\1\t\tremoved \3, kept on purpose \3, problems \3, at restart \3, not there \3\t\1 \2\3\r\n",
        LogWord::kSummary, ending, tally[0], tally[1], tally[2], tally[3], tally[4], LogWord::kExitCode, sign,
        static_cast<uint32_t>(exitCode < 0 ? -exitCode : exitCode));
    Flush(log);
    run.log.reset();
}

void LogPass(RemovalLog& log, LogWord pass) {
    Flush(log);
    log.pass = pass;
    log.entryList = LogWord::kCount;
}

void RecordItem(RunState& run, LogWord action, const char* path, uint32_t outcome, const char* tail) {
    if (outcome == kOutcomeRefusedByLinkCheck) outcome = RefusalOf(run.paths, path);
    ++run.tally[static_cast<int>(TallyOf(ResultOf(outcome, false)))];
    if (run.log) LogItem(*run.log.get(), action, path, outcome, tail);
}

void LogItem(RemovalLog& log, LogWord action, const char* path, uint32_t outcome, const char* tail) {
    // pass <TAB> action <TAB> reference <TAB> path <TAB> result
    PutFormat(log, "\1\t\1\t", log.pass, action);
    if (log.entryList != LogWord::kCount) {
        PutFormat(log, "\1", log.entryList);
        if (log.entryList != LogWord::kRunFirstSetting) {
            PutChar(log, '[');
            PutNumber(log, log.entryIndex);
            PutChar(log, ']');
        }
    }
    PutFormat(log, "\t\2", path);
    if (tail) PutFormat(log, "\\\2", tail);
    PutResult(log, outcome);
    PutFormat(log, "\r\n");
}

void RecordKey(RunState& run, LogWord action, uint32_t root, const char* keyPath, uint32_t outcome) {
    // Five bytes a root, from HKEY_CLASSES_ROOT (0x80000000) to HKEY_DYN_DATA (0x80000006).
    uint32_t index = root - 0x80000000u;
    RecordItem(run, action, index < 7 ? "HKCR\0HKCU\0HKLM\0HKU\0\0HKPD\0HKCC\0HKDD" + index * 5 : "?",
               outcome, keyPath);
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
