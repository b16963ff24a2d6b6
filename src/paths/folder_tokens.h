// Folder tokens ("#Windows#", "#AppData#", ...) and the path helpers.
#pragma once

#include <stdint.h>

#include "driver/run_state.h"

// Expands the folder tokens of `source`. Returns the expanded length (terminator not counted);
// with no destination or a size of 0 nothing is written (the measuring call). Otherwise at most
// `size` bytes of the expansion reach `dest`.
uint32_t ExpandFolderTokens(const RunState& run, char* dest, const char* source, uint32_t size);

// Adds one backslash unless the text is empty or already ends with one; false when it does not fit.
bool AppendBackslash(char* path, uint32_t size);
// Removes a final backslash from a text longer than 3 characters, so "C:\" keeps it.
void StripTrailingBackslash(char* path);
