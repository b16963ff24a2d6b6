// Loading the block appended to the running executable, and the message boxes.
#pragma once

#include "driver/run_state.h"

// Reads the executable's own block into the run state. On a load error it shows the message whose
// number is the error code, formatted with the executable's path, and fails; a missing data offset,
// module name or file fails without a message.
[[nodiscard]] bool LoadUninstallData(RunState& run);

// Shows a modal message box with `text`, captioned with message 0 and owned by the main window
// (no owner before it exists). Returns the button pressed, or 0 when the box could not be shown.
int ShowMessage(const RunState& run, const char* text, UINT type);
