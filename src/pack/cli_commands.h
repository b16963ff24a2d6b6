// The command line's parts, private to cli*.cpp: one file per command wires its options to its
// Run function (cli_build.cpp, cli_check.cpp, cli_dump.cpp, cli_plan.cpp, cli_scan.cpp), cli.cpp
// dispatches, cli_support.cpp holds what they share, and cli_hints.cpp names the nearest command or option to
// a mistyped one.
#pragma once

#include <CLI/CLI.hpp>
#include <cstdio>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "pack/commands.h"
#include "pack/image.h"

namespace pack {

// A command on the command line: its CLI11 subcommand, and what runs it once the line is parsed
// (the options it reads are owned by the function).
struct CommandWiring {
    CLI::App* command = nullptr;
    std::function<int()> run;
};

CommandWiring AddBuildCommand(CLI::App& app);
CommandWiring AddCheckCommand(CLI::App& app);
CommandWiring AddLanguagesCommand(CLI::App& app);
CommandWiring AddDumpCommand(CLI::App& app);
CommandWiring AddPlanCommand(CLI::App& app);
CommandWiring AddScanCommand(CLI::App& app);

// What the commands share (cli_support.cpp).

// The install folder given on the command line (UTF-8) in the code page of the texts it is joined
// with, so lengths count the bytes the uninstaller counts. False, with a message, when the code page
// cannot hold it.
[[nodiscard]] bool InstallDirInCodePage(std::optional<std::string>& installDir, int codePage, FILE* err);

// Writes a command's result; false, with a message, when it cannot be written whole (a full disk
// must not pass for an empty result).
[[nodiscard]] bool WriteOutput(FILE* out, const std::string& text, FILE* err);

// One language's reading of the manifest, with every problem and finding about it.
struct LanguageRun {
    std::optional<std::string> language;
    Manifest manifest;
    bool readable = false;
    std::vector<Finding> findings;
};

// A manifest read and checked in each language asked for: the one given, or every one it offers.
struct CheckedManifest {
    std::vector<LanguageRun> runs;
    bool failed = false;  // the manifest could not be read or checked at all (said on `err`)
};

// What check and build both begin with (cli_check.cpp): the --install-dir findings, then the
// manifest read and checked in every language it offers, and its findings reported.
CheckedManifest ReadCheckAndReport(const std::string& manifest, const std::optional<std::string>& language,
                                   const std::optional<std::string>& installDir, FindingReport& report,
                                   FILE* err);

// What dump and plan both begin with (cli_dump.cpp): the uninstaller's block loaded with the
// uninstaller's own loader, printing why when it fails. The code page is the one given, or the
// guess (said on `err`).
[[nodiscard]] bool LoadUninstaller(const std::string& path, const std::optional<int>& codePage,
                                   const Reporting& reporting, LoadedData& loaded, Manifest& manifest,
                                   FILE* err);

// --code-page on a command that reads an uninstaller's block (0 when not given).
void AddBlockCodePageOption(CLI::App* command, int& codePage);

// -q and -v on a command (and --werror where it checks a manifest).
void AddReporting(CLI::App* command, Reporting& reporting, bool checks);

// The usage error for a first word that names no command, with the nearest one.
int ReportUnknownCommand(const std::string& word, const std::vector<std::string>& names);
// The error for `help TOPIC` when TOPIC names no command.
int ReportUnknownHelpTopic(const std::string& topic, const std::vector<std::string>& names);
// After a parse error for words the command does not know: the nearest option to each "--word".
void HintUnknownOptions(const CLI::App& command, int argc, char** argv);

}  // namespace pack
