// The packer's commands, each returning the process exit code: 0 done, 1 failure. Messages go to
// `err`, results to `out`.
#pragma once

#include <cstdio>
#include <optional>
#include <string>
#include <vector>

#include "data/uninstall_data.h"
#include "pack/check.h"
#include "pack/manifest.h"
#include "pack/sign.h"

namespace pack {

inline constexpr int kExitOk = 0;
inline constexpr int kExitFailure = 1;
inline constexpr int kExitUsage = 2;

// How findings are reported: -q shows errors only, -v also what was decided and accepted
// warnings; --werror fails on warnings too.
struct Reporting {
    bool quiet = false;
    bool verbose = false;
    bool werror = false;
};

// The name a file is shown by in messages: "<stdin>" for "-".
std::string ShownName(const std::string& path);

// Prints findings on standard error as "FILE: JSON.PATH: error|warning[NAME]: TEXT" and counts
// them: the one place the packer reports a finding.
class FindingReport {
  public:
    FindingReport(FILE* err, const Reporting& reporting) : err_(err), reporting_(reporting) {}
    void Add(const std::string& file, const Finding& finding);
    // "FILE: N errors, M warnings" (and how many were accepted).
    void Summary(const std::string& file);
    size_t errors() const { return errors_; }
    size_t warnings() const { return warnings_; }
    // True when the findings fail the command: an error, or a warning under --werror.
    bool Fails() const { return errors_ > 0 || (reporting_.werror && warnings_ > 0); }

  private:
    FILE* err_;
    Reporting reporting_;
    size_t errors_ = 0, warnings_ = 0, accepted_ = 0;
};

// Warnings about an install folder given on the command line: relative, or written with "/".
std::vector<Finding> CheckInstallDirArgument(const std::string& installDir);

struct BuildOptions {
    std::string manifest;
    std::string stub;
    std::string output;
    std::optional<std::string> installDir;
    std::optional<std::string> language;  // picked among those the manifest offers
    bool force = false;
    std::optional<SignOptions> sign;  // sign the result with osslsigncode
    Reporting reporting;
};
int RunBuild(const BuildOptions& options, FILE* out, FILE* err);

// Without `language`, a manifest that offers several languages is checked (and built) in each; the
// output's "{lang}" stands for the language's tag.
struct CheckCommandOptions {
    std::string manifest;
    std::optional<std::string> installDir;
    std::optional<std::string> language;
    Reporting reporting;
};
int RunCheck(const CheckCommandOptions& options, FILE* out, FILE* err);

// What `dump` prints for a loaded block: the manifest as JSON (see ManifestToJson).
[[nodiscard]] bool DumpLoadedData(const UninstallData& data, int codePage, std::string& json,
                                  std::vector<Problem>& problems, std::vector<Problem>& notes);

// The code page of a block's texts: the one given, else guessed (see GuessCodePage).
struct DumpOptions {
    std::string uninstaller;
    std::optional<int> codePage;
    Reporting reporting;
};
int RunDump(const DumpOptions& options, FILE* out, FILE* err);

struct PlanCommandOptions {
    std::string uninstaller;
    std::optional<int> codePage;
    Reporting reporting;
    bool nt = true;
    std::optional<std::string> installDir;
    bool json = false;
};
int RunPlan(const PlanCommandOptions& options, FILE* out, FILE* err);

// The code page a block's texts are most likely in, when none is given: the page of the built-in
// language whose messages the block holds, else the default 1252 when every text reads back in it,
// else the first built-in language's page that reads them all. `why` says how it was chosen
// (empty for the default that reads).
int GuessCodePage(const format::Block& block, std::string& why);

// Lists the built-in languages: tag, code page, English and native name (UTF-8); as JSON with
// `json`.
int RunLanguages(FILE* out, FILE* err, bool json = false);

struct ScanCommandOptions {
    std::string dir;
    std::string installDirName;
    std::string uninstaller = "uninstall.exe";
    int codePage = 1252;
    bool unattended = false;
    std::string startMenuFolder;
    std::vector<std::string> shortcuts;
    bool allUsers = false;
};
int RunScan(const ScanCommandOptions& options, FILE* out, FILE* err);

}  // namespace pack
