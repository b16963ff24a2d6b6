// The words of the removal log (uninst.exe /L=PATH): the passes, the actions and the results. The
// packer's plan names passes and actions with the same words, so that a deployment script can put a
// plan beside the log of a run. Portable: the uninstaller, the packer and the host tests include it.
#pragma once

#include <stdint.h>

#include "removal/access_denied.h"

// The uninstaller's version, on the log's first line.
inline constexpr char kUninstallerVersion[] = "0.1.0";

namespace logword {

// Passes and phases, in the order of a run.
inline constexpr char kStart[] = "start";
inline constexpr char kRunFirst[] = "runFirst";
inline constexpr char kFiles[] = "files";
inline constexpr char kPatterns[] = "patterns";
inline constexpr char kShortcutFiles[] = "shortcutFiles";
inline constexpr char kShortcutFolders[] = "shortcutFolders";
inline constexpr char kProgramFolders[] = "programFolders";
inline constexpr char kRegistry[] = "registry";
inline constexpr char kSummary[] = "summary";

// Actions.
inline constexpr char kDelete[] = "delete";
inline constexpr char kRemoveFolder[] = "remove folder";
inline constexpr char kClean[] = "clean";
inline constexpr char kDeleteKey[] = "delete key";
inline constexpr char kDeleteValue[] = "delete value";
inline constexpr char kSkip[] = "skip";
inline constexpr char kAsk[] = "ask";
inline constexpr char kRun[] = "run";

}  // namespace logword

// What became of one item. A pass hands the log either a platform error code (0 when the item went)
// or one of these, which lie above every code the file and registry services return.
inline constexpr uint32_t kOutcomeProtected = 0x20000001u;    // a folder every program shares
inline constexpr uint32_t kOutcomeBelowLink = 0x20000002u;    // reached through a junction or link
inline constexpr uint32_t kOutcomeNetworkPath = 0x20000003u;  // a network spelling of a folder
inline constexpr uint32_t kOutcomeRefusedKey = 0x20000004u;   // a key every program shares, or a link
inline constexpr uint32_t kOutcomeAnsweredNo = 0x20000005u;   // the user kept it
inline constexpr uint32_t kOutcomeDoesNotFit = 0x20000006u;   // the path would not fit 259 characters
inline constexpr uint32_t kOutcomeNotFullPath = 0x20000007u;  // taken from the current directory: never
inline constexpr uint32_t kOutcomeRefused = 0x20000008u;      // a name or pattern that could reach elsewhere

enum class LogResult : uint8_t {
    kRemoved,
    kNotThere,
    kInUse,
    kNotEmpty,
    kProtected,
    kBelowLink,
    kNetworkPath,
    kRefusedKey,
    kAnsweredNo,
    kDoesNotFit,
    kNotFullPath,
    kRefused,
    kError,  // "kept: error N" with the platform's code
};

// The result's words, by LogResult.
inline constexpr const char* kLogResultWords[] = {
    "removed",          "not there",         "kept: in use",  "kept: not empty",
    "kept: protected",  "kept: below a link", "kept: network path", "kept: refused key",
    "kept: answered No", "kept: path does not fit", "kept: not a full path", "kept: refused",
    "kept: error",
};

// The result of `outcome` (0, a platform error code, or a kOutcome value). `registry`: the registry
// pass, where a denied access is no file in use.
constexpr LogResult ResultOfOutcome(uint32_t outcome, bool registry) {
    switch (outcome) {
        case 0:
            return LogResult::kRemoved;
        case 2:  // ERROR_FILE_NOT_FOUND
        case 3:  // ERROR_PATH_NOT_FOUND
            return LogResult::kNotThere;
        case 145:  // ERROR_DIR_NOT_EMPTY
            return LogResult::kNotEmpty;
        case kOutcomeProtected:
            return LogResult::kProtected;
        case kOutcomeBelowLink:
            return LogResult::kBelowLink;
        case kOutcomeNetworkPath:
            return LogResult::kNetworkPath;
        case kOutcomeRefusedKey:
            return LogResult::kRefusedKey;
        case kOutcomeAnsweredNo:
            return LogResult::kAnsweredNo;
        case kOutcomeDoesNotFit:
            return LogResult::kDoesNotFit;
        case kOutcomeNotFullPath:
            return LogResult::kNotFullPath;
        case kOutcomeRefused:
            return LogResult::kRefused;
        default:
            break;
    }
    // The codes every pass takes alike for a file that is locked, in use or on protected media.
    if (!registry && IsAccessDeniedError(outcome)) return LogResult::kInUse;
    return LogResult::kError;
}
