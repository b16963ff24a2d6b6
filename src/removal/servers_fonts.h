// Server unregistration and font removal: what the file pass does to a file flagged
// FileSelfRegister or FileFont just before it deletes it. Neither reports failure.
#pragma once

#include "removal/font_name.h"

struct RunState;

// Unregisters the self-registering server whose path is in the current-item buffer: through
// regsvr32 (by its full path) on NT 6 and later, else by calling its DllUnregisterServer in this
// process with its folder as the current directory. The error mode and the current directory are
// put back on every path.
void UnregisterServer(RunState& run);

// Removes the font file `path` from the system: its font resource, its value in the installed-fonts
// key (named after its full name, ReadFontFullName), and tells every top-level window.
void RemoveFont(RunState& run, const char* path);
