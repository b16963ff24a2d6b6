// The removal passes, in the order the driver calls them.
#pragma once

#include "driver/run_state.h"

// True while some file marked FileMustBeFree is locked by another process.
bool FindFileInUse(RunState& run);

void RemoveInstalledFiles(RunState& run);
void RemoveWildcardMatches(RunState& run);
void RemoveShortcutFiles(RunState& run);
void RemoveShortcutFolders(RunState& run);
void RemoveProgramFolders(RunState& run);
void RemoveRegistryEntries(RunState& run);
