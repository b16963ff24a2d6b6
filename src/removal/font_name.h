// Reading a font file's full name (its naming table), through the file helpers only: portable, so
// the host tests and the fuzzer run it too.
#pragma once

#include <stdint.h>

#include "common/file_io.h"

// The name buffer: the name, " (TrueType)" after it, and the terminator must fit.
inline constexpr uint32_t kFontNameBufferSize = 520;
// The longest name the reader gives: what leaves room for " (TrueType)" and the terminator.
inline constexpr uint32_t kFontNameMaxLength = kFontNameBufferSize - 11 - 1;
// Table records looked at before the search for the naming table gives up.
inline constexpr uint32_t kFontTableRecordLimit = 40;

// Leaves the full name of the TrueType or OpenType font `path` (the last Macintosh full-name record
// of its naming table), NUL-terminated, in `name` (kFontNameBufferSize bytes); an empty string when
// the file cannot be read or holds no usable name.
void ReadFontFullName(const char* path, char* name);

// The same from a file opened for reading; the file is left open, its position anywhere.
void ReadFontFullNameFrom(FileHandle file, char* name);
