// Where `build -o OUT` writes: standard output for "-", a regular file replaced atomically (through
// a temporary file beside it, so a failed write leaves the old file as it was), the target of a
// symbolic link (replaced beside the target, the link kept), and a device or a FIFO written into
// directly (replacing one would cut off its reader).
#pragma once

#include <string>
#include <vector>

#include "format/block_writer.h"

namespace pack {

// One file the command reads, by what it is for ("the manifest", "the stub", ...).
struct InputFile {
    std::string role;
    std::string path;  // "-" is standard input, which no output can be
};

// True, with the error naming the input in `why`, when OUT is one of the files the command reads:
// the same file by identity (device and inode), whatever its spelling, through links too.
[[nodiscard]] bool OutputClashesWithInput(const std::string& output, const std::vector<InputFile>& inputs,
                                          std::string& why);

// True when OUT is standard output: "-", or a name of the file standard output is open on
// (/dev/stdout). What the command says then goes to standard error.
bool OutputIsStandardOutput(const std::string& output);

// Writes `bytes` to OUT as described above. `executable` marks a new or replaced regular file as a
// program. False, with `error`, when the bytes could not be written whole; a regular file OUT is
// then unchanged.
[[nodiscard]] bool WriteOutputFile(const std::string& output, const format::Bytes& bytes, bool executable,
                                   std::string& error);
// The same for a named OUT (not "-"): the system's half, output_file_posix.cpp or output_file_win.cpp.
[[nodiscard]] bool WriteNamedOutputFile(const std::string& output, const format::Bytes& bytes,
                                        bool executable, std::string& error);

}  // namespace pack
