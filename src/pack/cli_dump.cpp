#include <algorithm>

#include "pack/cli_commands.h"
#include "pack/languages.h"

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
    auto page = CodePage::Open(number, error);
    if (!page) return false;
    std::string utf8;
    for (const std::string* text : texts) {
        std::string ignored;  // only whether it converts matters here
        if (!page->ToUtf8(*text, utf8, ignored)) return false;
    }
    return true;
}

}  // namespace

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
    manifest.elevation = load.identity.elevation.value_or(Elevation::kAdministrator);
    manifest.product = load.identity.product;
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

int GuessCodePage(const format::Block& block, std::string& why) {
    why.clear();
    std::vector<const std::string*> texts = BlockTexts(block);
    // The built-in table whose messages the block holds most of, in its own code page.
    const Language* best = nullptr;
    size_t bestMatches = 0;
    for (const Language& language : BuiltInLanguages().languages) {
        std::string error;
        auto page = CodePage::Open(language.codePage, error);
        if (!page) continue;
        size_t matches = 0;
        for (size_t i = 0; i < block.messages.size() && i < language.messages.size(); ++i) {
            std::string encoded;
            std::string ignored;  // only whether it converts matters here
            if (page->FromUtf8(language.messages[i], encoded, ignored, CodePage::Use::kMessage) &&
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

CommandWiring AddDumpCommand(CLI::App& app) {
    struct State {
        DumpOptions options;
        int codePage = 0;
    };
    auto state = std::make_shared<State>();
    auto* command = app.add_subcommand(
        "dump",
        "Prints an uninstaller's data block as a manifest that `build` accepts again, read with the "
        "uninstaller's own loader. A block that fails to load prints the load error and the record where it "
        "failed, with exit code 1.");
    command
        ->add_option("UNINSTALLER", state->options.uninstaller,
                     "the uninstaller executable (- reads standard input)")
        ->required();
    AddBlockCodePageOption(command, state->codePage);
    AddReporting(command, state->options.reporting, false);
    return {command, [state] {
                DumpOptions options = state->options;
                if (state->codePage) options.codePage = state->codePage;
                return RunDump(options, stdout, stderr);
            }};
}

}  // namespace pack
