#include "removal/files.h"

#include "driver/run_state.h"
#include "removal/access_denied.h"
#include "removal/servers_fonts.h"
#include "ui/ui.h"

// PLACEHOLDER bodies, filled in by the file pass's work. Until then the driver's sequence calls them
// and nothing is removed; the read-only "to all" answer lives in run.readOnlyAnswer.
bool FindFileInUse(RunState&) { return false; }
void RemoveInstalledFiles(RunState&) {}
bool IsFileLocked(const char*) { return false; }
int AskReadOnlyQuestion(RunState&, const char*) { return IDNO; }
