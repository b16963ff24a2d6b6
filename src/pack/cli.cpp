#include "pack/cli.h"

#include <CLI/CLI.hpp>
#include <algorithm>
#include <cstdio>

#include "pack/commands.h"
#include "pack/suggest.h"
#include "pack/version.h"

namespace pack {

namespace {

// -q and -v on a command (and --werror where it checks a manifest).
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

std::string VersionText() {
    return std::string("uninstpack ") + kPackerVersion;
}

}  // namespace

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
    Reporting reporting;

    BuildOptions build;
    std::string buildInstallDir;
    auto* buildCommand = app.add_subcommand(
        "build",
        "Builds an uninstaller: the manifest's data block appended to a copy of the stub. Runs the checks "
        "of `check` first and refuses errors unless --force is given.");
    buildCommand->add_option("MANIFEST", build.manifest, "the manifest (JSON; - reads standard input)")
        ->required();
    buildCommand->add_option("--stub", build.stub, "the uninstaller executable as built (uninst.exe)")
        ->required();
    buildCommand
        ->add_option("-o,--output", build.output,
                     "the uninstaller to write (- writes standard output; {lang} stands for the language's "
                     "tag, to build every language the manifest offers)")
        ->required();
    buildCommand->add_option("--install-dir", buildInstallDir,
                             "measure path lengths with this install folder");
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
    buildCommand
        ->add_option("--password-file", passwordFile, "the file that holds the certificate's password")
        ->needs(signWith);
    buildCommand->add_option("--timestamp", timestampUrl, "the address of an RFC 3161 time-stamping service")
        ->needs(signWith);
    AddReporting(buildCommand, reporting, true);

    CheckCommandOptions check;
    std::string checkInstallDir;
    auto* checkCommand = app.add_subcommand(
        "check",
        "Warns about manifest entries that are dangerous or cannot work. Exit code 1 when there are errors.");
    checkCommand->add_option("MANIFEST", check.manifest, "the manifest (JSON; - reads standard input)")
        ->required();
    checkCommand->add_option("--install-dir", checkInstallDir,
                             "measure path lengths with this install folder");
    std::string checkLanguage;
    checkCommand->add_option("--language", checkLanguage,
                             "the language to check, among those the manifest's \"language\" list offers "
                             "(default: each of them)");
    AddReporting(checkCommand, reporting, true);

    auto* languagesCommand = app.add_subcommand(
        "languages",
        "Lists the built-in message tables that a manifest's \"language\" can name: tag, code page, "
        "English and native name.");
    bool languagesJson = false;
    languagesCommand->add_flag("--json", languagesJson, "print the list as JSON");

    DumpOptions dump;
    auto* dumpCommand = app.add_subcommand(
        "dump",
        "Prints an uninstaller's data block as a manifest that `build` accepts again, read with the "
        "uninstaller's own loader. A block that fails to load prints the load error and the record where it "
        "failed, with exit code 1.");
    dumpCommand
        ->add_option("UNINSTALLER", dump.uninstaller, "the uninstaller executable (- reads standard input)")
        ->required();
    int dumpCodePage = 0;
    dumpCommand
        ->add_option("--code-page", dumpCodePage,
                     "the code page of the block's texts (default: guessed from the built-in languages' "
                     "tables, else 1252)")
        ->check(CLI::Range(1, 65535));
    AddReporting(dumpCommand, reporting, false);

    PlanCommandOptions plan;
    std::string planInstallDir;
    bool planNine = false;
    bool planNt = false;
    auto* planCommand = app.add_subcommand(
        "plan",
        "Shows, pass by pass, what a run of the uninstaller would remove and in which order, with every path "
        "as the passes build it.");
    planCommand
        ->add_option("UNINSTALLER", plan.uninstaller, "the uninstaller executable (- reads standard input)")
        ->required();
    auto* ntFlag = planCommand->add_flag("--nt", planNt, "the NT family (the default)");
    planCommand->add_flag("--9x", planNine, "the Windows 9x family")->excludes(ntFlag);
    planCommand->add_option("--install-dir", planInstallDir,
                            "the install folder (without it, paths show #InstallDir#)");
    planCommand->add_flag("--json", plan.json, "print the plan as JSON");
    int planCodePage = 0;
    planCommand
        ->add_option("--code-page", planCodePage,
                     "the code page of the block's texts (default: guessed from the built-in languages' "
                     "tables, else 1252)")
        ->check(CLI::Range(1, 65535));
    AddReporting(planCommand, reporting, false);

    ScanCommandOptions scan;
    auto* scanCommand = app.add_subcommand(
        "scan",
        "Prints a manifest skeleton for the files and folders of an installed image, to edit and build.");
    scanCommand->add_option("DIR", scan.dir, "the installed image: the contents of the install folder")
        ->required();
    scanCommand->add_option("--install-dir-name", scan.installDirName,
                            "the product's name for the messages (default: DIR's own name)");
    scanCommand->add_option("--uninstaller", scan.uninstaller,
                            "the uninstaller's file name, left out of the list (default uninstall.exe)");
    scanCommand->add_option("--code-page", scan.codePage, "the code page of the texts (default 1252)")
        ->check(CLI::Range(1, 65535));
    scanCommand->add_flag("--unattended", scan.unattended,
                          "write \"unattended\": true: no run, /S and /Q included, stops at the read-only or "
                          "shared-file question");
    auto* startMenu = scanCommand->add_option("--start-menu-folder", scan.startMenuFolder,
                                              "the folder below the Programs menu that holds the shortcuts "
                                              "(\"Vendor\\Product\"): written as #Programs#\\...");
    scanCommand
        ->add_option("--shortcut", scan.shortcuts,
                     "a shortcut's file name in that folder (repeatable; default: the product's name + .lnk)")
        ->needs(startMenu);
    scanCommand->add_flag("--all-users", scan.allUsers, "the all users' Programs menu (#AllUsersPrograms#)")
        ->needs(startMenu);

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
    auto joined = [&names] {
        std::string all;
        for (const auto& n : names) all += (all.empty() ? "" : ", ") + n;
        return all;
    };
    // A bare `uninstpack`, or a command without any of its arguments: its usage, not one error.
    if (argc == 1 || (argc == 2 && named && named != versionCommand && named != helpCommand &&
                      named != languagesCommand)) {
        fprintf(stderr, "%s", (argc == 1 ? app.help() : named->help("uninstpack")).c_str());
        return kExitUsage;
    }
    // CLI11 reports a mistyped command only as a missing one; name it instead.
    if (argc > 1 && argv[1][0] != '-' && !named) {
        fprintf(
            stderr,
            "uninstpack: unknown command \"%s\"%s (commands: %s)\nRun with --help for more information.\n",
            argv[1], DidYouMean(argv[1], names).c_str(), joined().c_str());
        return kExitUsage;
    }
    try {
        app.parse(argc, argv);
    } catch (const CLI::ParseError& e) {
        int code = app.exit(e);
        // An option the command does not know: name the nearest one it does.
        if (e.get_exit_code() == static_cast<int>(CLI::ExitCodes::ExtrasError) && named) {
            std::vector<std::string> options;
            for (const auto* option : named->get_options()) {
                for (const auto& n : option->get_lnames()) options.push_back("--" + n);
            }
            for (int i = 2; i < argc; ++i) {
                std::string word = argv[i];
                word = word.substr(0, word.find('='));
                if (word.rfind("--", 0) != 0) continue;
                if (std::find(options.begin(), options.end(), word) != options.end()) continue;
                std::string hint = DidYouMean(word, options);
                if (!hint.empty())
                    fprintf(stderr, "uninstpack %s: %s is no option%s\n", argv[1], word.c_str(),
                            hint.c_str());
            }
        }
        return code == 0 ? kExitOk : kExitUsage;
    }
    if (*versionCommand) {
        printf("%s\n", VersionText().c_str());
        return kExitOk;
    }
    if (*helpCommand) {
        if (helpTopic.empty()) {
            printf("%s", app.help().c_str());
            return kExitOk;
        }
        for (auto* command : app.get_subcommands({})) {
            if (command->get_name() == helpTopic) {
                printf("%s", command->help("uninstpack").c_str());
                return kExitOk;
            }
        }
        fprintf(stderr, "uninstpack: no command \"%s\"%s (commands: %s)\n", helpTopic.c_str(),
                DidYouMean(helpTopic, names).c_str(), joined().c_str());
        return kExitUsage;
    }
    if (*buildCommand) {
        if (!buildInstallDir.empty()) build.installDir = buildInstallDir;
        if (!buildLanguage.empty()) build.language = buildLanguage;
        if (*signWith) {
            if (!passwordFile.empty()) sign.passwordFile = passwordFile;
            if (!timestampUrl.empty()) sign.timestampUrl = timestampUrl;
            build.sign = sign;
        }
        build.reporting = reporting;
        return RunBuild(build, stdout, stderr);
    }
    if (*checkCommand) {
        if (!checkInstallDir.empty()) check.installDir = checkInstallDir;
        if (!checkLanguage.empty()) check.language = checkLanguage;
        check.reporting = reporting;
        return RunCheck(check, stdout, stderr);
    }
    if (*languagesCommand) return RunLanguages(stdout, stderr, languagesJson);
    if (*dumpCommand) {
        if (dumpCodePage) dump.codePage = dumpCodePage;
        dump.reporting = reporting;
        return RunDump(dump, stdout, stderr);
    }
    if (*planCommand) {
        plan.nt = !planNine;
        if (planCodePage) plan.codePage = planCodePage;
        plan.reporting = reporting;
        if (!planInstallDir.empty()) plan.installDir = planInstallDir;
        return RunPlan(plan, stdout, stderr);
    }
    if (*scanCommand) return RunScan(scan, stdout, stderr);
    return kExitUsage;
}

}  // namespace pack
