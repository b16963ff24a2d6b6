// The packer's commands, each returning the process exit code: 0 done, 1 failure. Messages go to
// `err`, results to `out`.
#pragma once

#include <cstdio>
#include <optional>
#include <string>
#include <vector>

#include "data/uninstall_data.h"
#include "pack/manifest.h"
#include "pack/sign.h"

namespace pack {

inline constexpr int kExitOk = 0;
inline constexpr int kExitFailure = 1;
inline constexpr int kExitUsage = 2;

struct BuildOptions {
    std::string manifest;
    std::string stub;
    std::string output;
    std::optional<std::string> installDir;
    std::optional<std::string> language;  // picked among those the manifest offers
    bool force = false;
    std::optional<SignOptions> sign;  // sign the result with osslsigncode
};
int RunBuild(const BuildOptions& options, FILE* out, FILE* err);

struct CheckCommandOptions {
    std::string manifest;
    std::optional<std::string> installDir;
    std::optional<std::string> language;
};
int RunCheck(const CheckCommandOptions& options, FILE* out, FILE* err);

// What `dump` prints for a loaded block: the manifest as JSON (see ManifestToJson).
[[nodiscard]] bool DumpLoadedData(const UninstallData& data, int codePage, std::string& json,
                                  std::vector<Problem>& problems, std::vector<Problem>& notes);

struct DumpOptions {
    std::string uninstaller;
    int codePage = 1252;
};
int RunDump(const DumpOptions& options, FILE* out, FILE* err);

struct PlanCommandOptions {
    std::string uninstaller;
    int codePage = 1252;
    bool nt = true;
    std::optional<std::string> installDir;
    bool json = false;
};
int RunPlan(const PlanCommandOptions& options, FILE* out, FILE* err);

// Lists the built-in languages: tag, code page, English and native name (UTF-8).
int RunLanguages(FILE* out, FILE* err);

struct ScanCommandOptions {
    std::string dir;
    std::string installDirName;
    std::string uninstaller = "uninst.exe";
    int codePage = 1252;
    bool unattended = false;
    std::string startMenuFolder;
    std::vector<std::string> shortcuts;
    bool allUsers = false;
};
int RunScan(const ScanCommandOptions& options, FILE* out, FILE* err);

}  // namespace pack
