#include "pack/cli_commands.h"
#include "pack/scan.h"

namespace pack {

int RunScan(const ScanCommandOptions& options, FILE* out, FILE* err) {
    ScanOptions scan{options.dir, options.installDirName, options.uninstaller, options.codePage};
    if (options.unattended) scan.unattended = true;
    scan.startMenuFolder = options.startMenuFolder;
    scan.shortcuts = options.shortcuts;
    scan.allUsers = options.allUsers;
    Manifest manifest;
    std::vector<std::string> skipped, scanNotes;
    std::string error;
    if (!ScanInstallation(scan, manifest, skipped, scanNotes, error)) {
        fprintf(err, "uninstpack: %s\n", error.c_str());
        return kExitFailure;
    }
    for (const auto& s : skipped) fprintf(err, "uninstpack: left out %s\n", s.c_str());
    for (const auto& s : scanNotes) fprintf(err, "uninstpack: note: %s\n", s.c_str());
    std::string json;
    std::vector<Problem> problems, notes;
    // Default texts stay out: build fills them in, and a "language" added later replaces them.
    if (!ManifestToJson(manifest, json, problems, notes, {.defaultMessages = false})) {
        for (const auto& p : problems) fprintf(err, "%s\n", DescribeProblem(options.dir, p).c_str());
        return kExitFailure;
    }
    return WriteOutput(out, json, err) ? kExitOk : kExitFailure;
}

CommandWiring AddScanCommand(CLI::App& app) {
    auto options = std::make_shared<ScanCommandOptions>();
    auto* command = app.add_subcommand(
        "scan",
        "Prints a manifest skeleton for the files and folders of an installed image, to edit and build.");
    command->add_option("DIR", options->dir, "the installed image: the contents of the install folder")
        ->required();
    command->add_option("--install-dir-name", options->installDirName,
                        "the product's name for the messages (default: DIR's own name)");
    command->add_option("--uninstaller", options->uninstaller,
                        "the uninstaller's file name, left out of the list (default uninstall.exe)");
    command->add_option("--code-page", options->codePage, "the code page of the texts (default 1252)")
        ->check(CLI::Range(1, 65535));
    command->add_flag("--unattended", options->unattended,
                      "write \"unattended\": true: no run, /S and /Q included, stops at the read-only or "
                      "shared-file question");
    auto* startMenu = command->add_option("--start-menu-folder", options->startMenuFolder,
                                          "the folder below the Programs menu that holds the shortcuts "
                                          "(\"Vendor\\Product\"): written as #Programs#\\...");
    command
        ->add_option("--shortcut", options->shortcuts,
                     "a shortcut's file name in that folder (repeatable; default: the product's name + .lnk)")
        ->needs(startMenu);
    command->add_flag("--all-users", options->allUsers, "the all users' Programs menu (#AllUsersPrograms#)")
        ->needs(startMenu);
    return {command, [options] { return RunScan(*options, stdout, stderr); }};
}

}  // namespace pack
