// What the packer's Windows files share beyond platform.h (platform_win.cpp holds them).
#pragma once

#include <windows.h>

#include <string>

#include "pack/platform.h"

namespace pack::platform {

// UTF-16 and UTF-8, converted exactly: false on text that is not valid in its own encoding.
[[nodiscard]] bool WideFromUtf8(const std::string& text, std::wstring& out);
[[nodiscard]] bool Utf8FromWide(const std::wstring& text, std::string& out);

// Writes all of `size` bytes to an open file, in pieces of at most 1 MiB; false, with the system's
// words in `why`, on a failed or short write.
[[nodiscard]] bool WriteAllToHandle(HANDLE file, const void* data, size_t size, std::string& why);

}  // namespace pack::platform
