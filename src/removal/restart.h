// Files a run that asks nothing (/Q, /S, /X: a deployment tool's) finds in use, and the folders that
// then still hold them: scheduled for deletion at the next restart instead of being left behind with
// nothing to say so. An interactive run asks about files in use before it removes anything.
//
// The NT family: MoveFileEx with MOVEFILE_DELAY_UNTIL_REBOOT, which an elevated run may do; the
// session manager acts on the pending list in its order, so a folder scheduled after what it holds
// goes once they are gone. The 9x family: a "NUL=" line in WININIT.INI's [rename] section, by the
// file's short path (files only: WININIT.INI cannot remove folders).
#pragma once

#include <stdint.h>

struct RunState;

// `outcome` is what deleting the file `path` (a canonical path) came to. When it says the file is in
// use (a sharing or lock violation, or a denied access) and the run asks nothing, schedules the file
// for deletion at the next restart: kOutcomeAtRestart (removal/log_words.h) when that worked, else
// `outcome` unchanged.
[[nodiscard]] uint32_t DeleteAtRestartIfInUse(RunState& run, const char* path, uint32_t outcome);

// `outcome` is what removing the folder `canonical` came to. When it is not empty (145) and holds
// nothing but files and folders this run scheduled, schedules the folder after them (the NT family):
// kOutcomeAtRestart when that worked (or an earlier climb scheduled it), else `outcome` unchanged.
[[nodiscard]] uint32_t RemoveFolderAtRestartIfHolding(RunState& run, const char* canonical, uint32_t outcome);

// The scheduled paths, remembered to find the folders that hold them: NUL after each.
struct RestartSchedule {
    uint32_t used;
    char paths[16384];
};
