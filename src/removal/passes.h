// The removal passes in the order of a run, each with its word in the log and the plan and the
// message the progress dialog shows while it runs. The driver runs the passes from this table and
// the packer's plan lists them from it, so the order is written once. Portable: the uninstaller, the
// packer and the host tests include it.
#pragma once

#include <stdint.h>

#include "format/layout.h"
#include "removal/log_words.h"

struct RemovalPass {
    LogWord word;     // the pass in the log and the plan
    uint8_t message;  // shown by the progress dialog during the pass (format::kMsgProgress...)
};

inline constexpr RemovalPass kRemovalPasses[] = {
    {LogWord::kFiles, format::kMsgProgressFiles},
    {LogWord::kPatterns, format::kMsgProgressFiles},
    {LogWord::kShortcutFiles, format::kMsgProgressShortcuts},
    {LogWord::kShortcutFolders, format::kMsgProgressShortcuts},
    {LogWord::kProgramFolders, format::kMsgProgressFolders},
    {LogWord::kRegistry, format::kMsgProgressRegistry},
};
