// The manual page (docs/uninstpack.1) and the bash completion (scripts/uninstpack.bash-completion)
// name every command and option the packer has, as `uninstpack --help-all` lists them.
#include <gtest/gtest.h>
#include <map>
#include <set>
#include <sstream>

#include "pack_support.h"

namespace {

// Command ("" for the program itself) to its options, read from --help-all: commands stand at the
// start of a line after "Subcommands:", options begin their line with "-" after the indentation.
std::map<std::string, std::set<std::string>> ReadHelpAll(const std::string& text) {
    std::map<std::string, std::set<std::string>> commands;
    std::string command;
    bool inCommands = false;
    std::istringstream lines(text);
    for (std::string line; std::getline(lines, line);) {
        if (line == "Subcommands:") {
            inCommands = true;
            continue;
        }
        if (inCommands && !line.empty() && line[0] != ' ') {
            command = line;
            commands[command];
            continue;
        }
        size_t start = line.find_first_not_of(' ');
        if (start == std::string::npos || start > 4 || line[start] != '-') continue;
        std::string names = line.substr(start, line.find(' ', start) - start);
        std::istringstream split(names);
        for (std::string name; std::getline(split, name, ',');) commands[command].insert(name);
    }
    return commands;
}

// "--install-dir" as troff writes it: "\-\-install\-dir".
std::string Troff(const std::string& option) {
    std::string out;
    for (char c : option) {
        if (c == '-') out += '\\';
        out += c;
    }
    return out;
}

// The words between the quotes of the completion's line that begins with `start`.
std::set<std::string> CompletionWords(const std::string& script, const std::string& start) {
    std::set<std::string> words;
    size_t at = script.find(start);
    if (at == std::string::npos) return words;
    at += start.size();
    std::istringstream list(script.substr(at, script.find('"', at) - at));
    for (std::string word; list >> word;) words.insert(word);
    return words;
}

TEST(Reference, ManualPageAndCompletionNameEveryCommandAndOption) {
    auto help = pack_testing::RunPacker("--help-all");
    ASSERT_EQ(help.exitCode, 0) << help.err;
    auto commands = ReadHelpAll(help.out);
    ASSERT_GE(commands.size(), 7u) << help.out;  // the program and its six commands
    ASSERT_TRUE(commands["build"].count("--stub")) << help.out;

    std::string manual = pack_testing::ReadText(pack_testing::SourceDir() + "/docs/uninstpack.1");
    std::string completion =
        pack_testing::ReadText(pack_testing::SourceDir() + "/scripts/uninstpack.bash-completion");
    ASSERT_FALSE(manual.empty());
    const std::set<std::string> completedCommands = CompletionWords(completion, "local commands=\"");
    for (const auto& [command, options] : commands) {
        SCOPED_TRACE(command.empty() ? "uninstpack" : command);
        std::set<std::string> completed;
        std::string section;
        if (command.empty()) {
            completed = CompletionWords(completion, "*) options=\"");
            section = ".SS \"Every command\"\n";
        } else {
            EXPECT_TRUE(completedCommands.count(command)) << "the completion does not offer the command";
            EXPECT_NE(manual.find("\n.B uninstpack " + command + "\n"), std::string::npos)
                << "not in the synopsis";
            completed = CompletionWords(completion, "        " + command + ") options=\"");
            section = ".SS " + command + "\n";
        }
        size_t sectionAt = manual.find(section);
        std::string described =
            sectionAt == std::string::npos
                ? std::string()
                : manual.substr(sectionAt, manual.find("\n.S", sectionAt + 1) - sectionAt);
        for (const auto& option : options) {
            if (option == "-h") continue;  // --help stands for it
            EXPECT_TRUE(completed.count(option)) << option << " is not completed";
            if (option == "--help" && !command.empty()) continue;  // described once, for every command
            EXPECT_NE(described.find(Troff(option)), std::string::npos)
                << option << " is not described under " << section;
        }
    }
}

}  // namespace
