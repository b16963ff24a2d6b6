// The words of the removal log (uninst.exe /L=PATH): the passes, the actions and the results. The
// packer's plan names passes and actions with the same words, so that a deployment script can put a
// plan beside the log of a run. Portable: the uninstaller, the packer and the host tests include it.
//
// The words are one packed text, NUL between them, looked up by their LogWord number: the
// uninstaller's code then holds small numbers, not an address (and a relocation) for each word.
// The results from kAtRestart to kError are written after "kept: " (IsKeptResult), and each falls in
// one of the summary's classes (TallyOf): the order of the words is their class's.
#pragma once

#include <stdint.h>

#include "common/text.h"
#include "common/version.h"

enum class LogWord : uint8_t {
    // The uninstaller's version, on the start line.
    kVersion,
    // Passes and phases, in the order of a run.
    kStart,
    kRunFirst,
    kFiles,
    kPatterns,
    kShortcutFiles,
    kShortcutFolders,
    kProgramFolders,
    kRegistry,
    kClosing,
    kSummary,
    // Actions.
    kDelete,
    kRemoveFolder,
    kClean,
    kDeleteKey,
    kDeleteValue,
    kSkip,
    kAsk,
    kRun,
    // What an item's removal does beside it, and the end of the run: lines of no count.
    kDeleteSharedCount,
    kRemoveFont,
    kDeleteFontValue,
    kUnregister,
    kSelfDelete,
    // Results of items, by their class in the summary: gone, not there, going at the next restart,
    // kept on purpose (a folder holding other files, one every program shares, a shared key, the
    // user's answer, a file other programs still count on), and kept by a problem.
    kRemoved,
    kNotThere,
    kAtRestart,
    kNotEmpty,
    kProtected,
    kRefusedKey,
    kAnsweredNo,
    kSharedCount,
    kNo64BitView,
    kInUse,
    kBelowLink,
    kNetworkPath,
    kDoesNotFit,
    kNotFullPath,
    kRefused,
    kError,
    // The run-first program.
    kStarted,
    kNotStarted,
    kNotRun,
    kExitCode,
    // Answers to questions.
    kOk,
    kCancel,
    kRetry,
    kYes,
    kNo,
    kYesToAll,
    kNoToAll,
    kNotShown,
    // The platform family and the run's ending.
    kNt6,
    kNt,
    k9x,
    kCompleted,
    kCancelled,
    // The lines before the passes, and the references to the block's lists that are not passes.
    kLog,
    kFormat,
    kTime,
    kUser,
    kProduct,
    kElevated,
    kNotElevated,
    kBeforeUac,
    kIgnored,
    kShortcuts,
    kRunFirstSetting,
    kCount
};

inline constexpr char kLogWords[] = UNINST_VERSION
    "\0"
    "start\0runFirst\0files\0patterns\0shortcutFiles\0shortcutFolders\0programFolders\0registry\0closing\0"
    "summary\0"
    "delete\0remove folder\0clean\0delete key\0delete value\0skip\0ask\0run\0"
    "delete shared count\0remove font\0delete font value\0unregister\0self-delete\0"
    "removed\0not there\0in use, goes at restart\0not empty\0protected\0refused key\0answered No\0"
    "shared count now\0"
    "32-bit Windows\0in use\0below a link\0network path\0path does not fit\0not a full "
    "path\0refused\0error\0"
    "started\0not started\0not run\0exit code\0"
    "OK\0Cancel\0Retry\0Yes\0No\0Yes to all\0No to all\0not shown\0"
    "NT 6 or later\0NT\09x\0completed\0cancelled\0"
    "log\0format\0time\0user\0product\0elevated\0not elevated\0before "
    "UAC\0ignored:\0shortcuts\0settings.runFirst";

// The log's format and its version, on its first line: a reader checks them before the fields.
inline constexpr char kLogFormat[] = "uninst removal log 2";

// True for the results that keep an item: the log writes them after "kept: ".
constexpr bool IsKeptResult(LogWord word) {
    return word >= LogWord::kAtRestart && word <= LogWord::kError;
}

// The summary's classes of an item's result, in the summary's order.
enum class Tally : uint8_t { kRemoved, kKeptOnPurpose, kProblem, kAtRestart, kNotThere, kCount };

// The class of the item result `word` (kRemoved to kError).
constexpr Tally TallyOf(LogWord word) {
    return word == LogWord::kRemoved     ? Tally::kRemoved
           : word == LogWord::kNotThere  ? Tally::kNotThere
           : word == LogWord::kAtRestart ? Tally::kAtRestart
           : word < LogWord::kInUse      ? Tally::kKeptOnPurpose
                                         : Tally::kProblem;
}

// The exit code a run that went through its passes ends with, in the convention deployment tools
// read (Windows Installer's): 1603 when an item that should have gone stayed, 3010 when something
// goes at the next restart, else 0.
constexpr int ExitCodeOfTally(const uint32_t* tally) {
    return tally[static_cast<int>(Tally::kProblem)]     ? 1603
           : tally[static_cast<int>(Tally::kAtRestart)] ? 3010
                                                        : 0;
}

// The text of `word`.
constexpr const char* LogWordText(LogWord word) {
    return NthText(kLogWords, static_cast<int>(word));
}

// What became of one item. A pass hands the log either a platform error code (0 when the item went)
// or one of these, which lie above every code the file and registry services return.
constexpr uint32_t OutcomeOfWord(LogWord result) {
    return 0x20000000u + static_cast<uint32_t>(result);
}
inline constexpr uint32_t kOutcomeProtected =
    OutcomeOfWord(LogWord::kProtected);  // a folder every program shares
inline constexpr uint32_t kOutcomeBelowLink = OutcomeOfWord(LogWord::kBelowLink);  // reached through a link
inline constexpr uint32_t kOutcomeNetworkPath = OutcomeOfWord(LogWord::kNetworkPath);  // a network spelling
inline constexpr uint32_t kOutcomeRefusedKey =
    OutcomeOfWord(LogWord::kRefusedKey);  // a shared key, or a link
inline constexpr uint32_t kOutcomeAnsweredNo = OutcomeOfWord(LogWord::kAnsweredNo);  // the user kept it
inline constexpr uint32_t kOutcomeDoesNotFit =
    OutcomeOfWord(LogWord::kDoesNotFit);  // longer than 259 characters
inline constexpr uint32_t kOutcomeNotFullPath =
    OutcomeOfWord(LogWord::kNotFullPath);  // would be taken from the current directory
inline constexpr uint32_t kOutcomeRefused =
    OutcomeOfWord(LogWord::kRefused);  // a name or pattern that reaches elsewhere
inline constexpr uint32_t kOutcomeAtRestart =
    OutcomeOfWord(LogWord::kAtRestart);  // in use, scheduled for deletion at the next restart
// An entry of the 64-bit registry view on a Windows that has no such view: left alone.
inline constexpr uint32_t kOutcomeNo64BitView = OutcomeOfWord(LogWord::kNo64BitView);
// A shared file that stays: its count of other users, added to this (at most 0x3FFFFFFF).
inline constexpr uint32_t kOutcomeSharedCount = 0x40000000u;

constexpr uint32_t SharedCountOutcome(uint32_t count) {
    return kOutcomeSharedCount + (count < 0x3FFFFFFFu ? count : 0x3FFFFFFFu);
}

// The result word of `outcome` (0, a platform error code or a kOutcome value); kError and
// kSharedCount are followed by a number in the log. `registry`: the registry pass, where a denied
// access is no file in use.
constexpr LogWord ResultOfOutcome(uint32_t outcome, bool registry) {
    if (outcome >= kOutcomeSharedCount) return LogWord::kSharedCount;
    // A code above the words (another program may set any code, ours included) is an error.
    if (outcome > 0x20000000u && outcome < OutcomeOfWord(LogWord::kCount))
        return static_cast<LogWord>(outcome - 0x20000000u);
    if (outcome == 0) return LogWord::kRemoved;
    if (outcome == 2 || outcome == 3)
        return LogWord::kNotThere;                  // ERROR_FILE_NOT_FOUND, ERROR_PATH_NOT_FOUND
    if (outcome == 145) return LogWord::kNotEmpty;  // ERROR_DIR_NOT_EMPTY
    // ERROR_ACCESS_DENIED, ERROR_SHARING_VIOLATION, ERROR_LOCK_VIOLATION: a file another process
    // holds (the file pass tells a read-only file apart before); the registry has no such thing.
    if (!registry && (outcome == 5 || outcome == 32 || outcome == 33)) return LogWord::kInUse;
    return LogWord::kError;
}
