#include "removal/registry.h"

#include "driver/run_state.h"
#include "ui/ui.h"

// PLACEHOLDER bodies, filled in by the registry work. Until then the driver's sequence calls the
// pass and nothing is removed.
void RemoveRegistryEntries(RunState&) {}
LONG DeleteKeyTree(HKEY, const char*, uint32_t) { return ERROR_CALL_NOT_IMPLEMENTED; }
