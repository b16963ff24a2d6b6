#include "removal/servers_fonts.h"

#include "driver/run_state.h"

// PLACEHOLDER bodies, filled in by the server and font work.
void UnregisterServer(RunState&) {}
void RemoveFont(RunState&, const char*) {}
