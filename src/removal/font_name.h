// Reading a font file's full name (its naming table), through the file helpers only: portable, so
// the host tests and the fuzzer run it too.
#pragma once

#include <stdint.h>

// The name buffer: the name, " (TrueType)" after it, and the terminator must fit.
inline constexpr uint32_t kFontNameBufferSize = 520;

// Leaves the full name of the TrueType or OpenType font `path` (the last Macintosh full-name record
// of its naming table), NUL-terminated, in `name` (kFontNameBufferSize bytes); an empty string when
// the file cannot be read or holds no usable name.
void ReadFontFullName(const char* path, char* name);
