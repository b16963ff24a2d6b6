#include "pack/output_file.h"

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <filesystem>

#include "pack/platform.h"

namespace pack {

bool OutputClashesWithInput(const std::string& output, const std::vector<InputFile>& inputs,
                            std::string& why) {
    if (output == "-") return false;
    std::error_code code;
    // By UTF-8 names on every system (a narrow path on Windows is in the ANSI code page).
    const std::filesystem::path outputPath = platform::PathFromUtf8(output);
    if (!std::filesystem::exists(outputPath, code)) return false;
    for (const auto& input : inputs) {
        if (input.path.empty() || input.path == "-") continue;
        if (std::filesystem::equivalent(outputPath, platform::PathFromUtf8(input.path), code) && !code) {
            why = "-o " + output + " is " + input.role + " (" + input.path +
                  "): writing the uninstaller there would destroy it; name another file";
            return true;
        }
    }
    return false;
}

namespace {

// Writes all of `bytes` to an open descriptor or stream; false on a short write.
bool WriteAll(FILE* stream, const format::Bytes& bytes) {
    bool ok = bytes.empty() || fwrite(bytes.data(), 1, bytes.size(), stream) == bytes.size();
    return fflush(stream) == 0 && ok && !ferror(stream);
}

}  // namespace

bool WriteOutputFile(const std::string& output, const format::Bytes& bytes, bool executable,
                     std::string& error) {
    if (output == "-") {
        if (WriteAll(stdout, bytes)) return true;
        error = std::string("cannot write to standard output: ") + strerror(errno);
        return false;
    }
    return WriteNamedOutputFile(output, bytes, executable, error);
}

}  // namespace pack
