#include <algorithm>
#include <cstdio>

#include "pack/cli_commands.h"
#include "pack/suggest.h"

namespace pack {

namespace {

std::string Joined(const std::vector<std::string>& names) {
    std::string all;
    for (const auto& n : names) all += (all.empty() ? "" : ", ") + n;
    return all;
}

}  // namespace

int ReportUnknownCommand(const std::string& word, const std::vector<std::string>& names) {
    fprintf(stderr,
            "uninstpack: unknown command \"%s\"%s (commands: %s)\nRun with --help for more information.\n",
            word.c_str(), DidYouMean(word, names).c_str(), Joined(names).c_str());
    return kExitUsage;
}

int ReportUnknownHelpTopic(const std::string& topic, const std::vector<std::string>& names) {
    fprintf(stderr, "uninstpack: no command \"%s\"%s (commands: %s)\n", topic.c_str(),
            DidYouMean(topic, names).c_str(), Joined(names).c_str());
    return kExitUsage;
}

void HintUnknownOptions(const CLI::App& command, int argc, char** argv) {
    std::vector<std::string> options;
    for (const auto* option : command.get_options()) {
        for (const auto& n : option->get_lnames()) options.push_back("--" + n);
    }
    for (int i = 2; i < argc; ++i) {
        std::string word = argv[i];
        word = word.substr(0, word.find('='));
        if (word.rfind("--", 0) != 0) continue;
        if (std::find(options.begin(), options.end(), word) != options.end()) continue;
        std::string hint = DidYouMean(word, options);
        if (!hint.empty())
            fprintf(stderr, "uninstpack %s: %s is no option%s\n", argv[1], word.c_str(), hint.c_str());
    }
}

}  // namespace pack
