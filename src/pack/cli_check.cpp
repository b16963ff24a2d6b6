#include <unordered_map>

#include "pack/cli_commands.h"

namespace pack {

namespace {

CheckedManifest ReadAndCheck(const std::string& path, const std::optional<std::string>& language,
                             const std::optional<std::string>& installDir, FILE* err) {
    CheckedManifest result;
    std::string text;
    std::string error;
    if (!ReadWholeFile(path, text, error)) {
        fprintf(err, "uninstpack: %s\n", error.c_str());
        result.failed = true;
        return result;
    }
    auto read = [&](const std::optional<std::string>& tag) {
        LanguageRun run;
        run.language = tag;
        std::vector<Problem> problems;
        run.readable = ParseManifest(text, run.manifest, problems, {tag});
        for (const auto& p : problems) run.findings.push_back({Severity::kError, p.where, p.message});
        return run;
    };
    auto check = [&](LanguageRun run) -> bool {
        std::optional<std::string> dir = installDir;
        if (!InstallDirInCodePage(dir, run.manifest.codePage, err)) return false;
        for (auto& f : CheckManifest(run.manifest, {dir})) run.findings.push_back(std::move(f));
        result.runs.push_back(std::move(run));
        return true;
    };
    LanguageRun first = read(language);
    // A manifest that offers several languages, read without one: check each of them instead. The
    // first reading only names them; checked, it would judge --install-dir in a code page that is no
    // language's.
    std::vector<std::string> tags;
    if (!language && first.manifest.offeredLanguages.size() > 1) tags = first.manifest.offeredLanguages;
    if (tags.empty()) {
        result.failed = !check(std::move(first));
        return result;
    }
    for (const auto& tag : tags) {
        if (!check(read(tag))) {
            result.failed = true;
            return result;
        }
    }
    return result;
}

// Reports the findings of every language once: a finding that holds in some of them only says in
// which.
void ReportFindings(const std::string& file, const CheckedManifest& checked, FindingReport& report) {
    struct Seen {
        Finding finding;
        std::vector<std::string> languages;
    };
    std::vector<Seen> seen;
    std::unordered_map<std::string, size_t> byText;
    for (const auto& run : checked.runs) {
        for (const auto& f : run.findings) {
            std::string key = DescribeFinding("", f) + (f.accepted ? "+" : "");
            auto [at, added] = byText.emplace(key, seen.size());
            if (added) seen.push_back({f, {}});
            if (run.language) seen[at->second].languages.push_back(*run.language);
        }
    }
    for (auto& s : seen) {
        if (checked.runs.size() > 1 && s.languages.size() < checked.runs.size()) {
            std::string tags;
            for (const auto& tag : s.languages) tags += (tags.empty() ? "" : ", ") + tag;
            s.finding.message += " (language " + tags + ")";
        }
        report.Add(file, s.finding);
    }
}

}  // namespace

CheckedManifest ReadCheckAndReport(const std::string& manifest, const std::optional<std::string>& language,
                                   const std::optional<std::string>& installDir, FindingReport& report,
                                   FILE* err) {
    if (installDir) {
        for (const auto& f : CheckInstallDirArgument(*installDir)) report.Add("uninstpack: --install-dir", f);
    }
    CheckedManifest checked = ReadAndCheck(manifest, language, installDir, err);
    if (!checked.failed) ReportFindings(ShownName(manifest), checked, report);
    return checked;
}

int RunCheck(const CheckCommandOptions& options, FILE* out, FILE* err) {
    (void)out;
    std::string shown = ShownName(options.manifest);
    FindingReport report(err, options.reporting);
    CheckedManifest checked =
        ReadCheckAndReport(options.manifest, options.language, options.installDir, report, err);
    if (checked.failed) return kExitFailure;
    if (options.reporting.verbose && checked.runs.size() > 1) {
        std::string tags;
        for (const auto& run : checked.runs) tags += (tags.empty() ? "" : ", ") + *run.language;
        fprintf(err, "%s: checked in each language it offers: %s\n", shown.c_str(), tags.c_str());
    }
    report.Summary(shown);
    // The findings are the result: a report that could not be written whole is a failure.
    if (fflush(err) != 0 || ferror(err)) return kExitFailure;
    return report.Fails() ? kExitFailure : kExitOk;
}

CommandWiring AddCheckCommand(CLI::App& app) {
    struct State {
        CheckCommandOptions options;
        std::string installDir;
        std::string language;
    };
    auto state = std::make_shared<State>();
    auto* command = app.add_subcommand(
        "check",
        "Warns about manifest entries that are dangerous or cannot work. Exit code 1 when there are errors.");
    command->add_option("MANIFEST", state->options.manifest, "the manifest (JSON; - reads standard input)")
        ->required();
    command->add_option("--install-dir", state->installDir, "measure path lengths with this install folder");
    command->add_option("--language", state->language,
                        "the language to check, among those the manifest's \"language\" list offers "
                        "(default: each of them)");
    AddReporting(command, state->options.reporting, true);
    return {command, [state] {
                CheckCommandOptions options = state->options;
                if (!state->installDir.empty()) options.installDir = state->installDir;
                if (!state->language.empty()) options.language = state->language;
                return RunCheck(options, stdout, stderr);
            }};
}

}  // namespace pack
