#include "pack/commands.h"

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <unordered_map>
#include <vector>

#include "pack/check.h"
#include "pack/image.h"
#include "pack/json_text.h"
#include "pack/languages.h"
#include "pack/manifest.h"
#include "pack/output_file.h"
#include "pack/plan.h"
#include "pack/scan.h"

namespace pack {

std::string ShownName(const std::string& path) {
    return path == "-" ? "<stdin>" : path;
}

void FindingReport::Add(const std::string& file, const Finding& finding) {
    if (finding.accepted) {
        ++accepted_;
        if (reporting_.verbose) fprintf(err_, "%s (accepted)\n", DescribeFinding(file, finding).c_str());
        return;
    }
    bool error = finding.severity == Severity::kError;
    ++(error ? errors_ : warnings_);
    if (error || !reporting_.quiet) fprintf(err_, "%s\n", DescribeFinding(file, finding).c_str());
}

void FindingReport::Summary(const std::string& file) {
    if (reporting_.quiet) return;
    std::string line = file + ": " + std::to_string(errors_) + (errors_ == 1 ? " error, " : " errors, ") +
                       std::to_string(warnings_) + (warnings_ == 1 ? " warning" : " warnings");
    if (accepted_) line += " (" + std::to_string(accepted_) + " accepted)";
    if (reporting_.werror && warnings_) line += "; --werror fails on warnings";
    fprintf(err_, "%s\n", line.c_str());
}

std::vector<Finding> CheckInstallDirArgument(const std::string& installDir) {
    std::vector<Finding> findings;
    // Windows reads "/" as "\": "C:/Apps" is absolute, only written otherwise.
    auto separator = [&installDir](size_t at) { return installDir[at] == '\\' || installDir[at] == '/'; };
    bool drive =
        installDir.size() >= 3 && installDir[1] == ':' && separator(2) &&
        ((installDir[0] >= 'A' && installDir[0] <= 'Z') || (installDir[0] >= 'a' && installDir[0] <= 'z'));
    bool unc = installDir.size() > 2 && separator(0) && separator(1);
    if (installDir.find('/') != std::string::npos) {
        findings.push_back(
            {Severity::kWarning, "",
             "\"" + installDir +
                 "\" holds \"/\": the uninstaller's paths use \"\\\", and its "
                 "climbs and checks see a \"/\" as part of a name (write C:\\Program Files\\...)",
             "install-dir"});
    }
    if (!drive && !unc) {
        findings.push_back({Severity::kWarning, "",
                            "\"" + installDir +
                                "\" is no absolute Windows path (a drive and \"\\\", or \\\\server\\share): "
                                "lengths and plans measured with it are not those of any installation",
                            "install-dir"});
    }
    return findings;
}

namespace {

// The install folder given on the command line (UTF-8) in the code page of the texts it is joined
// with, so lengths count the bytes the uninstaller counts. False, with a message, when the code page
// cannot hold it.
bool InstallDirInCodePage(std::optional<std::string>& installDir, int codePage, FILE* err) {
    if (!installDir) return true;
    std::string error;
    auto page = CodePage::Open(codePage, &error);
    std::string converted;
    if (page && page->FromUtf8(*installDir, converted, &error)) {
        installDir = converted;
        return true;
    }
    fprintf(err, "uninstpack: --install-dir: %s\n", error.c_str());
    return false;
}

// Writes a command's result; false, with a message, when it cannot be written whole (a full disk
// must not pass for an empty result).
bool WriteOutput(FILE* out, const std::string& text, FILE* err) {
    errno = 0;
    bool ok = fwrite(text.data(), 1, text.size(), out) == text.size();
    ok = fflush(out) == 0 && ok && !ferror(out);
    if (!ok)
        fprintf(err, "uninstpack: cannot write the output: %s\n", errno ? strerror(errno) : "write error");
    return ok;
}

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

// What check and build both begin with: the --install-dir findings, then the manifest read and checked
// in every language it offers, and its findings reported.
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

// OUT for one language: "{lang}" stands for its tag.
std::string OutputFor(const std::string& output, const std::optional<std::string>& language) {
    std::string result = output;
    for (size_t at = result.find("{lang}"); language && at != std::string::npos;
         at = result.find("{lang}", at)) {
        result.replace(at, 6, *language);
        at += language->size();
    }
    return result;
}

}  // namespace

int RunBuild(const BuildOptions& options, FILE* out, FILE* err) {
    std::string shown = ShownName(options.manifest);
    if (options.manifest == "-" && options.stub == "-") {
        fprintf(err, "uninstpack: the manifest and the stub cannot both be standard input\n");
        return kExitUsage;
    }
    FindingReport report(err, options.reporting);
    CheckedManifest checked =
        ReadCheckAndReport(options.manifest, options.language, options.installDir, report, err);
    if (checked.failed) return kExitFailure;
    bool several = checked.runs.size() > 1;
    bool named = options.output.find("{lang}") != std::string::npos;
    bool unreadable = false;
    for (const auto& run : checked.runs) unreadable = unreadable || !run.readable;
    if (report.errors() || report.warnings() || unreadable || options.reporting.verbose)
        report.Summary(shown);
    if (unreadable) {
        fprintf(err, "uninstpack: %s cannot be built as it is; nothing written\n", shown.c_str());
        return kExitFailure;
    }
    if (report.Fails() && !options.force) {
        fprintf(err, "uninstpack: %zu error%s%s in %s; nothing written (--force builds anyway)\n",
                report.errors(), report.errors() == 1 ? "" : "s",
                options.reporting.werror && report.warnings() ? " or warnings (--werror)" : "",
                shown.c_str());
        return kExitFailure;
    }
    if (several && !named) {
        fprintf(err,
                "uninstpack: %s offers %zu languages: name one with --language, or build them all with -o "
                "holding "
                "{lang} (for example -o 'uninstall-{lang}.exe'); nothing written\n",
                shown.c_str(), checked.runs.size());
        return kExitUsage;
    }
    if (named && !checked.runs.front().language) {
        fprintf(err, "uninstpack: -o %s holds {lang}, but %s names no language; nothing written\n",
                options.output.c_str(), shown.c_str());
        return kExitUsage;
    }
    std::string stub;
    std::string error;
    if (!ReadWholeFile(options.stub, stub, error)) {
        fprintf(err, "uninstpack: %s\n", error.c_str());
        return kExitFailure;
    }
    // Every output is built and checked before the first is written.
    std::vector<InputFile> inputs = {{"the manifest", options.manifest}, {"the stub", options.stub}};
    if (options.sign) {
        inputs.push_back({"the certificate", options.sign->certificate});
        if (options.sign->passwordFile) inputs.push_back({"the password file", *options.sign->passwordFile});
    }
    for (const auto& run : checked.runs) {
        std::string output = OutputFor(options.output, run.language);
        std::string clash = OutputClashesWithInput(output, inputs);
        if (!clash.empty()) {
            fprintf(err, "uninstpack: %s; nothing written\n", clash.c_str());
            return kExitFailure;
        }
    }
    for (const auto& run : checked.runs) {
        std::string output = OutputFor(options.output, run.language);
        const Manifest& manifest = run.manifest;
        format::Bytes block = format::EncodeBlock(manifest.block);
        auto image = format::AttachBlock(format::Bytes(stub.begin(), stub.end()), block, &error);
        if (!image) {
            fprintf(err, "uninstpack: %s: %s\n", ShownName(options.stub).c_str(), error.c_str());
            return kExitFailure;
        }
        format::CertificateTable signature;
        format::Bytes signedImage;
        if (options.sign && !SignImage(*image, *options.sign, output, signedImage, signature, error)) {
            fprintf(err, "uninstpack: %s\n", error.c_str());
            return kExitFailure;
        }
        const format::Bytes& written = options.sign ? signedImage : *image;
        bool toStandardOutput = OutputIsStandardOutput(output);
        if (!WriteOutputFile(output, written, true, error)) {
            fprintf(err, "uninstpack: %s\n", error.c_str());
            return kExitFailure;
        }
        // The bytes on standard output are the uninstaller: what was built goes to the messages.
        FILE* said = toStandardOutput ? err : out;
        if (options.reporting.quiet) continue;
        std::string name = output == "-" ? "<stdout>" : output;
        fprintf(said,
                "%s: %zu bytes; data block of %zu bytes at offset %zu (%zu files, %zu shortcuts, %zu "
                "registry entries, %zu patterns)\n",
                name.c_str(), written.size(), block.size(), stub.size(), manifest.block.files.size(),
                manifest.block.shortcuts.size(), manifest.block.registry.size(),
                manifest.block.patterns.size());
        if (options.sign) fprintf(said, "%s: %s\n", name.c_str(), DescribeSignature(signature).c_str());
    }
    return kExitOk;
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

}  // namespace pack

namespace pack {

namespace {

// Every text of a block, for the code page guess.
std::vector<const std::string*> BlockTexts(const format::Block& block) {
    std::vector<const std::string*> texts;
    for (const auto& m : block.messages) texts.push_back(&m);
    for (const auto& f : block.files) texts.insert(texts.end(), {&f.folder, &f.name});
    for (const auto& s : block.shortcuts) texts.insert(texts.end(), {&s.folder, &s.secondFolder, &s.name});
    for (const auto& r : block.registry) texts.push_back(&r.keyPath);
    for (const auto& p : block.patterns) texts.push_back(&p);
    if (block.settings && block.settings->command) texts.push_back(&*block.settings->command);
    if (block.settings && block.settings->document) texts.push_back(&*block.settings->document);
    return texts;
}

bool ReadsIn(const std::vector<const std::string*>& texts, int number) {
    std::string error;
    auto page = CodePage::Open(number, &error);
    if (!page) return false;
    std::string utf8;
    for (const std::string* text : texts) {
        if (!page->ToUtf8(*text, utf8, nullptr)) return false;
    }
    return true;
}

// Loads an uninstaller's block with the uninstaller's own loader, printing why when it fails. The
// code page is the one given, or the guess (said on `err`).
bool LoadUninstaller(const std::string& path, const std::optional<int>& codePage, const Reporting& reporting,
                     LoadedData& loaded, Manifest& manifest, FILE* err) {
    std::string shown = ShownName(path);
    ImageLoad load = LoadImage(path, loaded);
    if (!reporting.quiet) {
        for (const auto& note : load.notes)
            fprintf(err, "uninstpack: %s: note: %s\n", shown.c_str(), note.c_str());
        if (load.signature)
            fprintf(err, "uninstpack: %s: %s\n", shown.c_str(), DescribeSignature(*load.signature).c_str());
    }
    if (!load.error.empty() || load.code != 0) {
        fprintf(err, "uninstpack: %s\n", DescribeLoadFailure(shown, load).c_str());
        return false;
    }
    manifest.block = BlockFromData(loaded.data);
    if (codePage) {
        manifest.codePage = *codePage;
        return true;
    }
    std::string why;
    manifest.codePage = GuessCodePage(manifest.block, why);
    if ((!why.empty() && !reporting.quiet) || reporting.verbose) {
        fprintf(err, "uninstpack: %s: note: texts read in code page %d%s\n", shown.c_str(), manifest.codePage,
                why.empty() ? " (the default)" : (": " + why + "; --code-page chooses another").c_str());
    }
    return true;
}

}  // namespace

int GuessCodePage(const format::Block& block, std::string& why) {
    why.clear();
    std::vector<const std::string*> texts = BlockTexts(block);
    // The built-in table whose messages the block holds most of, in its own code page.
    const Language* best = nullptr;
    size_t bestMatches = 0;
    for (const Language& language : BuiltInLanguages().languages) {
        std::string error;
        auto page = CodePage::Open(language.codePage, &error);
        if (!page) continue;
        size_t matches = 0;
        for (size_t i = 0; i < block.messages.size() && i < language.messages.size(); ++i) {
            std::string encoded;
            if (page->FromUtf8(language.messages[i], encoded, nullptr, CodePage::Use::kMessage) &&
                encoded == block.messages[i]) {
                ++matches;
            }
        }
        if (matches > bestMatches) {
            best = &language;
            bestMatches = matches;
        }
    }
    if (best && best->codePage != kDefaultCodePage && ReadsIn(texts, best->codePage)) {
        why = std::to_string(bestMatches) + " of its messages are those of the built-in " + best->tag +
              " table";
        return best->codePage;
    }
    if (ReadsIn(texts, kDefaultCodePage)) return kDefaultCodePage;
    std::vector<int> tried = {kDefaultCodePage};
    for (const Language& language : BuiltInLanguages().languages) {
        if (std::find(tried.begin(), tried.end(), language.codePage) != tried.end()) continue;
        tried.push_back(language.codePage);
        if (ReadsIn(texts, language.codePage)) {
            why = "its texts do not read back in code page " + std::to_string(kDefaultCodePage) + "; " +
                  std::to_string(language.codePage) + " (" + language.englishName +
                  ") is the first code page of the built-in languages that reads them all";
            return language.codePage;
        }
    }
    why = "no code page of the built-in languages reads all its texts";
    return kDefaultCodePage;
}

bool DumpLoadedData(const UninstallData& data, int codePage, std::string& json,
                    std::vector<Problem>& problems, std::vector<Problem>& notes) {
    Manifest manifest;
    manifest.codePage = codePage;
    manifest.block = BlockFromData(data);
    return ManifestToJson(manifest, json, problems, notes);
}

int RunDump(const DumpOptions& options, FILE* out, FILE* err) {
    LoadedData loaded;
    Manifest manifest;
    if (!LoadUninstaller(options.uninstaller, options.codePage, options.reporting, loaded, manifest, err)) {
        return kExitFailure;
    }
    std::string shown = ShownName(options.uninstaller);
    std::string json;
    std::vector<Problem> problems, notes;
    bool ok = ManifestToJson(manifest, json, problems, notes);
    if (!options.reporting.quiet) {
        for (const auto& n : notes)
            fprintf(err, "%s: note: %s\n", shown.c_str(), (n.where + ": " + n.message).c_str());
    }
    if (!ok) {
        for (const auto& p : problems) fprintf(err, "%s\n", DescribeProblem(shown, p).c_str());
        return kExitFailure;
    }
    return WriteOutput(out, json, err) ? kExitOk : kExitFailure;
}

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
    auto page = CodePage::Open(manifest.codePage, &error);
    if (!page) {
        fprintf(err, "uninstpack: --code-page: %s\n", error.c_str());
        return kExitFailure;
    }
    // Bytes that name no character are shown as "?": the plan is for reading.
    ShowText show = [&page](const std::string& text) {
        std::string utf8;
        if (page->ToUtf8(text, utf8, nullptr)) return utf8;
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

int RunLanguages(FILE* out, FILE* err, bool json) {
    const LanguageTables& tables = BuiltInLanguages();
    for (const auto& error : tables.errors)
        fprintf(err, "uninstpack: built-in language table %s\n", error.c_str());
    std::string text;
    if (json) {
        text = "{\n  \"formatVersion\": 1,\n  \"languages\": [";
        for (size_t i = 0; i < tables.languages.size(); ++i) {
            const Language& language = tables.languages[i];
            text += i ? ",\n    {\"tag\": " : "\n    {\"tag\": ";
            AppendJsonString(text, language.tag);
            text += ", \"codePage\": " + std::to_string(language.codePage) + ", \"englishName\": ";
            AppendJsonString(text, language.englishName);
            text += ", \"nativeName\": ";
            AppendJsonString(text, language.nativeName);
            text += "}";
        }
        text += "\n  ]\n}\n";
    } else {
        text = "tag    code page  English name           native name\n";
        for (const Language& language : tables.languages) {
            char line[32];
            snprintf(line, sizeof line, "%-6s %-10d ", language.tag.c_str(), language.codePage);
            // Pad by characters, not bytes: "Norwegian Bokmål" is UTF-8.
            size_t width = 0;
            for (unsigned char c : language.englishName) width += (c & 0xC0) != 0x80;
            text += line + language.englishName + std::string(width < 22 ? 23 - width : 1, ' ') +
                    language.nativeName + "\n";
        }
    }
    if (!WriteOutput(out, text, err)) return kExitFailure;
    return tables.errors.empty() ? kExitOk : kExitFailure;
}

}  // namespace pack
