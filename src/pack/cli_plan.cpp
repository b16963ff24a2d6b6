#include "pack/cli_commands.h"
#include "pack/codepage.h"
#include "pack/plan.h"

namespace pack {

int RunPlan(const PlanCommandOptions& options, FILE* out, FILE* err) {
    LoadedData loaded;
    Manifest manifest;
    if (options.installDir) {
        FindingReport report(err, options.reporting);
        for (const auto& f : CheckInstallDirArgument(*options.installDir))
            report.Add("uninstpack: --install-dir", f);
    }
    if (!LoadUninstaller(options.uninstaller, options.codePage, options.reporting, loaded, manifest, err)) {
        return kExitFailure;
    }
    std::string error;
    auto page = CodePage::Open(manifest.codePage, error);
    if (!page) {
        fprintf(err, "uninstpack: --code-page: %s\n", error.c_str());
        return kExitFailure;
    }
    // Bytes that name no character are shown as "?": the plan is for reading.
    ShowText show = [&page](const std::string& text) {
        std::string utf8;
        std::string ignored;  // only whether it converts matters here
        if (page->ToUtf8(text, utf8, ignored)) return utf8;
        utf8 = text;
        for (char& c : utf8) {
            if (static_cast<unsigned char>(c) >= 0x80) c = '?';
        }
        return utf8;
    };
    PlanOptions planOptions;
    planOptions.nt = options.nt;
    planOptions.installDir = options.installDir;
    // The uninstaller deletes itself under the name it has, which is this file's.
    size_t slash = options.uninstaller.find_last_of("/\\");
    if (options.uninstaller != "-") {
        planOptions.uninstallerName =
            slash == std::string::npos ? options.uninstaller : options.uninstaller.substr(slash + 1);
    }
    if (!InstallDirInCodePage(planOptions.installDir, manifest.codePage, err)) return kExitFailure;
    Plan plan = BuildPlan(manifest.block, planOptions, show);
    plan.codePage = manifest.codePage;
    std::string text = options.json ? FormatPlanJson(plan) : FormatPlanText(plan);
    return WriteOutput(out, text, err) ? kExitOk : kExitFailure;
}

CommandWiring AddPlanCommand(CLI::App& app) {
    struct State {
        PlanCommandOptions options;
        std::string installDir;
        bool nine = false, nt = false;
        int codePage = 0;
    };
    auto state = std::make_shared<State>();
    auto* command = app.add_subcommand(
        "plan",
        "Shows, pass by pass, what a run of the uninstaller would remove and in which order, with every path "
        "as the passes build it.");
    command
        ->add_option("UNINSTALLER", state->options.uninstaller,
                     "the uninstaller executable (- reads standard input)")
        ->required();
    auto* ntFlag = command->add_flag("--nt", state->nt, "the NT family (the default)");
    command->add_flag("--9x", state->nine, "the Windows 9x family")->excludes(ntFlag);
    command->add_option("--install-dir", state->installDir,
                        "the install folder (without it, paths show #InstallDir#)");
    command->add_flag("--json", state->options.json, "print the plan as JSON");
    AddBlockCodePageOption(command, state->codePage);
    AddReporting(command, state->options.reporting, false);
    return {command, [state] {
                PlanCommandOptions options = state->options;
                options.nt = !state->nine;
                if (state->codePage) options.codePage = state->codePage;
                if (!state->installDir.empty()) options.installDir = state->installDir;
                return RunPlan(options, stdout, stderr);
            }};
}

}  // namespace pack
