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
    std::string buildLanguage;
    buildCommand->add_option("--language", buildLanguage,
                             "the language to build, among those the manifest's \"language\" list offers");
    buildCommand->add_flag("--force", build.force, "build even when the checks find errors");
    SignOptions sign;
    std::string passwordFile, timestampUrl;
    auto* signWith = buildCommand->add_option(
        "--sign-with", sign.certificate,
        "sign the uninstaller with this PKCS#12 certificate (.pfx) using osslsigncode (on PATH, or named by "
        "UNINSTPACK_OSSLSIGNCODE)");
    buildCommand->add_option("--password-file", passwordFile, "the file that holds the certificate's password")
        ->needs(signWith);
    buildCommand->add_option("--timestamp", timestampUrl, "the address of an RFC 3161 time-stamping service")
        ->needs(signWith);

    CheckCommandOptions check;
    std::string checkInstallDir;
    auto* checkCommand = app.add_subcommand(
        "check", "Warns about manifest entries that are dangerous or cannot work. Exit code 1 when there are errors.");
    checkCommand->add_option("MANIFEST", check.manifest, "the manifest (JSON)")->required();
    checkCommand->add_option("--install-dir", checkInstallDir, "measure path lengths with this install folder");
    std::string checkLanguage;
    checkCommand->add_option("--language", checkLanguage,
                             "the language to check, among those the manifest's \"language\" list offers");

    auto* languagesCommand = app.add_subcommand(
        "languages", "Lists the built-in message tables that a manifest's \"language\" can name: tag, code page, "
                     "English and native name.");

    DumpOptions dump;
    auto* dumpCommand = app.add_subcommand(
        "dump", "Prints an uninstaller's data block as a manifest that `build` accepts again, read with the "
                "uninstaller's own loader. A block that fails to load prints the load error and the record where it "
                "failed, with exit code 1.");
    dumpCommand->add_option("UNINSTALLER", dump.uninstaller, "the uninstaller executable")->required();
    dumpCommand->add_option("--code-page", dump.codePage, "the code page of the block's texts (default 1252)")
        ->check(CLI::Range(1, 65535));

    PlanCommandOptions plan;
    std::string planInstallDir;
    bool planNine = false;
    bool planNt = false;
    auto* planCommand = app.add_subcommand(
        "plan", "Shows, pass by pass, what a run of the uninstaller would remove and in which order, with every path "
                "as the passes build it.");
    planCommand->add_option("UNINSTALLER", plan.uninstaller, "the uninstaller executable")->required();
    auto* ntFlag = planCommand->add_flag("--nt", planNt, "the NT family (the default)");
    planCommand->add_flag("--9x", planNine, "the Windows 9x family")->excludes(ntFlag);
    planCommand->add_option("--install-dir", planInstallDir,
                            "the install folder (without it, paths show #InstallDir#)");
    planCommand->add_flag("--json", plan.json, "print the plan as JSON");
    planCommand->add_option("--code-page", plan.codePage, "the code page of the block's texts (default 1252)")
        ->check(CLI::Range(1, 65535));

    ScanCommandOptions scan;
    auto* scanCommand = app.add_subcommand(
        "scan", "Prints a manifest skeleton for the files and folders of an installed image, to edit and build.");
    scanCommand->add_option("DIR", scan.dir, "the installed image: the contents of the install folder")->required();
    scanCommand->add_option("--install-dir-name", scan.installDirName,
                            "the product's name for the messages (default: DIR's own name)");
    scanCommand->add_option("--uninstaller", scan.uninstaller,
                            "the uninstaller's file name, left out of the list (default uninst.exe)");
    scanCommand->add_option("--code-page", scan.codePage, "the code page of the texts (default 1252)")
        ->check(CLI::Range(1, 65535));
    scanCommand->add_flag("--unattended", scan.unattended,
                          "write \"unattended\": true: no run, /S and /Q included, stops at the read-only or "
                          "shared-file question");
    auto* startMenu = scanCommand->add_option(
        "--start-menu-folder", scan.startMenuFolder,
        "the folder below the Programs menu that holds the shortcuts (\"Vendor\\Product\"): written as #Programs#\\...");
    scanCommand->add_option("--shortcut", scan.shortcuts,
                            "a shortcut's file name in that folder (repeatable; default: the product's name + .lnk)")
        ->needs(startMenu);
    scanCommand->add_flag("--all-users", scan.allUsers, "the all users' Programs menu (#AllUsersPrograms#)")->needs(startMenu);

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
        if (!buildLanguage.empty()) build.language = buildLanguage;
        if (*signWith) {
            if (!passwordFile.empty()) sign.passwordFile = passwordFile;
            if (!timestampUrl.empty()) sign.timestampUrl = timestampUrl;
            build.sign = sign;
        }
        return RunBuild(build, stdout, stderr);
    }
    if (*checkCommand) {
        if (!checkInstallDir.empty()) check.installDir = checkInstallDir;
        if (!checkLanguage.empty()) check.language = checkLanguage;
        return RunCheck(check, stdout, stderr);
    }
    if (*languagesCommand) return RunLanguages(stdout, stderr);
    if (*dumpCommand) return RunDump(dump, stdout, stderr);
    if (*planCommand) {
        plan.nt = !planNine;
        if (!planInstallDir.empty()) plan.installDir = planInstallDir;
        return RunPlan(plan, stdout, stderr);
    }
    if (*scanCommand) return RunScan(scan, stdout, stderr);
    return kExitUsage;
}

}  // namespace pack
