// The packer's commands, each returning the process exit code: 0 done, 1 failure. Messages go to
// `err`, results to `out`.
#pragma once

#include <cstdio>
#include <optional>
#include <string>

namespace pack {

inline constexpr int kExitOk = 0;
inline constexpr int kExitFailure = 1;
inline constexpr int kExitUsage = 2;

struct BuildOptions {
    std::string manifest;
    std::string stub;
    std::string output;
    std::optional<std::string> installDir;
    bool force = false;
};
int RunBuild(const BuildOptions& options, FILE* out, FILE* err);

struct CheckCommandOptions {
    std::string manifest;
    std::optional<std::string> installDir;
};
int RunCheck(const CheckCommandOptions& options, FILE* out, FILE* err);

}  // namespace pack
