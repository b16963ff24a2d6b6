#include "pack/cli.h"

#include <CLI/CLI.hpp>
#include <cstdio>

#include "pack/commands.h"

namespace pack {

int RunCli(int argc, char** argv) {
    CLI::App app{"uninstpack: builds, inspects and checks the data blocks of uninstallers", "uninstpack"};
    app.require_subcommand(1);
    app.fallthrough(false);

    BuildOptions build;
    std::string buildInstallDir;
    auto* buildCommand = app.add_subcommand(
        "build", "Builds an uninstaller: the manifest's data block appended to a copy of the stub. Runs the checks "
                 "of `check` first and refuses errors unless --force is given.");
    buildCommand->add_option("MANIFEST", build.manifest, "the manifest (JSON)")->required();
    buildCommand->add_option("--stub", build.stub, "the uninstaller executable as built (uninst.exe)")->required();
    buildCommand->add_option("-o,--output", build.output, "the uninstaller to write")->required();
    buildCommand->add_option("--install-dir", buildInstallDir, "measure path lengths with this install folder");
    buildCommand->add_flag("--force", build.force, "build even when the checks find errors");

    CheckCommandOptions check;
    std::string checkInstallDir;
    auto* checkCommand = app.add_subcommand(
        "check", "Warns about manifest entries that are dangerous or cannot work. Exit code 1 when there are errors.");
    checkCommand->add_option("MANIFEST", check.manifest, "the manifest (JSON)")->required();
    checkCommand->add_option("--install-dir", checkInstallDir, "measure path lengths with this install folder");

    // CLI11 reports a mistyped command only as a missing one; name it instead.
    std::string names;
    bool known = false;
    for (const auto* command : app.get_subcommands({})) {
        names += (names.empty() ? "" : ", ") + command->get_name();
        known = known || (argc > 1 && command->get_name() == argv[1]);
    }
    if (argc > 1 && argv[1][0] != '-' && !known) {
        fprintf(stderr, "uninstpack: unknown command \"%s\" (commands: %s)\nRun with --help for more information.\n",
                argv[1], names.c_str());
        return kExitUsage;
    }
    try {
        app.parse(argc, argv);
    } catch (const CLI::ParseError& e) {
        return app.exit(e) == 0 ? kExitOk : kExitUsage;
    }
    if (*buildCommand) {
        if (!buildInstallDir.empty()) build.installDir = buildInstallDir;
        return RunBuild(build, stdout, stderr);
    }
    if (*checkCommand) {
        if (!checkInstallDir.empty()) check.installDir = checkInstallDir;
        return RunCheck(check, stdout, stderr);
    }
    return kExitUsage;
}

}  // namespace pack
