#include "pack/cli.h"

#include <CLI/CLI.hpp>
#include <cstdio>

#include "common/version.h"
#include "pack/cli_commands.h"

namespace pack {

namespace {

std::string VersionText() {
    return std::string("uninstpack ") + UNINST_VERSION;
}

// `help` and `help COMMAND`.
int RunHelp(CLI::App& app, const std::string& topic, const std::vector<std::string>& names) {
    if (topic.empty()) {
        printf("%s", app.help().c_str());
        return kExitOk;
    }
    for (auto* command : app.get_subcommands({})) {
        if (command->get_name() == topic) {
            printf("%s", command->help("uninstpack").c_str());
            return kExitOk;
        }
    }
    return ReportUnknownHelpTopic(topic, names);
}

}  // namespace

void AddReporting(CLI::App* command, Reporting& reporting, bool checks) {
    auto* quiet = command->add_flag(
        "-q,--quiet", reporting.quiet,
        checks ? "show errors only: no warnings, summary or result line" : "show errors only: no notes");
    command
        ->add_flag("-v,--verbose", reporting.verbose,
                   "also say what was decided (language, code page) and show accepted warnings")
        ->excludes(quiet);
    if (checks) {
        command->add_flag("--werror", reporting.werror,
                          "warnings fail too (exit code 1), except those an entry's \"accept\" names");
    }
}

void AddBlockCodePageOption(CLI::App* command, int& codePage) {
    command
        ->add_option("--code-page", codePage,
                     "the code page of the block's texts (default: guessed from the built-in languages' "
                     "tables, else 1252)")
        ->check(CLI::Range(1, 65535));
}

int RunCli(int argc, char** argv) {
    CLI::App app{"uninstpack: builds, inspects and checks the data blocks of uninstallers", "uninstpack"};
    app.require_subcommand(1);
    app.fallthrough(false);
    // The same command line on every system: CLI11 on Windows would read "/x" as an option, and
    // "/tmp/app.json" (a path under Wine, Cygwin or MSYS2) is none.
    app.allow_windows_style_options(false);
    // The full reference on the terminal, as the manual page (docs/uninstpack.1) has it.
    app.set_help_all_flag("--help-all", "Print the help of every command and option, and exit");
    app.set_version_flag("--version", VersionText(), "print the packer's version and exit");

    // In the order the help lists them.
    CommandWiring build = AddBuildCommand(app);
    CommandWiring check = AddCheckCommand(app);
    CommandWiring languages = AddLanguagesCommand(app);
    CommandWiring dump = AddDumpCommand(app);
    CommandWiring plan = AddPlanCommand(app);
    CommandWiring scan = AddScanCommand(app);
    auto* versionCommand = app.add_subcommand("version", "Prints the packer's version.");
    std::string helpTopic;
    auto* helpCommand = app.add_subcommand("help", "Shows the help of a command (uninstpack help build).");
    helpCommand->add_option("COMMAND", helpTopic, "the command");

    std::vector<std::string> names;
    CLI::App* named = nullptr;
    for (auto* command : app.get_subcommands({})) {
        names.push_back(command->get_name());
        if (argc > 1 && command->get_name() == argv[1]) named = command;
    }
    // A bare `uninstpack`, or a command that takes arguments given none: its usage, not one error.
    bool takesArguments =
        named && named != versionCommand && named != helpCommand && named != languages.command;
    if (argc == 1 || (argc == 2 && takesArguments)) {
        fprintf(stderr, "%s", (argc == 1 ? app.help() : named->help("uninstpack")).c_str());
        return kExitUsage;
    }
    // CLI11 reports a mistyped command only as a missing one; name it instead.
    if (argc > 1 && argv[1][0] != '-' && !named) return ReportUnknownCommand(argv[1], names);
    try {
        app.parse(argc, argv);
    } catch (const CLI::ParseError& e) {
        int code = app.exit(e);
        // An option the command does not know: name the nearest one it does.
        if (e.get_exit_code() == static_cast<int>(CLI::ExitCodes::ExtrasError) && named)
            HintUnknownOptions(*named, argc, argv);
        return code == 0 ? kExitOk : kExitUsage;
    }
    if (*versionCommand) {
        printf("%s\n", VersionText().c_str());
        return kExitOk;
    }
    if (*helpCommand) return RunHelp(app, helpTopic, names);
    for (const CommandWiring* wiring : {&build, &check, &languages, &dump, &plan, &scan}) {
        if (*wiring->command) return wiring->run();
    }
    return kExitUsage;
}

}  // namespace pack
