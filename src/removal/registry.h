// The registry pass: the keys and values of the registry list, the last removal pass.
#pragma once

#include <windows.h>

#include <stdint.h>

struct RunState;

// For each registry entry: skips the ones never removed, deletes a value entry's one value, and a
// key entry's key with all its subkeys (ProgressPass::kRegistry, value entries excepted).
void RemoveRegistryEntries(RunState& run);

// Deletes the subkey `name` of `parent` with all its subkeys, depth first; the first failure ends
// the tree and is returned. ERROR_BADKEY (1010) for a missing or empty name: the parent itself is
// never deleted through it. `depth` counts the levels above `parent` in this deletion. Every key is
// opened in the registry view `view` (0, or KEY_WOW64_64KEY) and deleted through its own handle.
LONG DeleteKeyTree(HKEY parent, const char* name, uint32_t depth, REGSAM view = 0);
