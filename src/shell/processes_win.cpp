#include "shell/processes.h"

#include "driver/run_state.h"

// PLACEHOLDER bodies, filled in by the child-process and shell work.
bool RunProgram(RunState&, const char*, const char*, bool) { return false; }
void OpenDocument(RunState&, const char*, const char*) {}
void StartSelfDelete(RunState&) {}
