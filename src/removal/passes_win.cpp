#include "removal/passes.h"

// PLACEHOLDER bodies: each pass is filled in by the work that builds it (files, wildcard/shortcut/
// folder passes, registry); until then the driver's sequence calls them and nothing is removed.
bool FindFileInUse(RunState&) { return false; }
void RemoveInstalledFiles(RunState&) {}
void RemoveWildcardMatches(RunState&) {}
void RemoveShortcutFiles(RunState&) {}
void RemoveShortcutFolders(RunState&) {}
void RemoveProgramFolders(RunState&) {}
void RemoveRegistryEntries(RunState&) {}
