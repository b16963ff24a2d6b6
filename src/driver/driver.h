// The uninstall sequence, from start-up to the self-delete.
#pragma once

#include <windows.h>

// Runs the whole uninstall: the entry function. `commandLine` is the text after the program name.
int RunUninstaller(HINSTANCE instance, const char* commandLine);
