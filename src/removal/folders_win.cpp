#include "removal/folders.h"

#include "driver/run_state.h"
#include "ui/ui.h"

// PLACEHOLDER bodies, filled in by the wildcard, shortcut and folder work. Until then the driver's
// sequence calls the passes and nothing is removed.
void RemoveWildcardMatches(RunState&) {}
void CleanFolderTree(RunState&, const char*, uint32_t) {}
void RemoveCurrentFolder(RunState&) {}
void RemoveShortcutFiles(RunState&) {}
void RemoveShortcutFolders(RunState&) {}
void RemoveProgramFolders(RunState&) {}
