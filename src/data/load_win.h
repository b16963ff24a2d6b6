// Loading the block appended to the running executable.
#pragma once

#include "driver/run_state.h"

// Reads the executable's own block into the run state. On a load error it shows the message whose
// number is the error code, formatted with the executable's path, and fails; a missing data offset,
// module name or file fails without a message.
[[nodiscard]] bool LoadUninstallData(RunState& run);
