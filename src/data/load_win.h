// Loading the block appended to the running executable.
#pragma once

#include <windows.h>

#include "data/uninstall_data.h"

// What LoadUninstallData returns when there is no block to read: no data offset, or the executable's
// own path or file cannot be had. Nothing is shown for it.
inline constexpr int kLoadNoBlock = -1;

// Reads the path of `instance`'s executable into `modulePath` (kPathBufferSize bytes) and the block
// appended to that file into `data`. Returns format::kLoadOk, kLoadNoBlock, or a load error code,
// which is also the number of the message to show (formatted with `modulePath`); `data` then holds
// what was read before the error, the message table perhaps among it.
[[nodiscard]] int LoadUninstallData(HINSTANCE instance, char* modulePath, UninstallData& data);
