// The run-first command composed from a stored text that starts with a folder token, on the real
// platform: the program path the split gives is the expanded folder.
#include <gtest/gtest.h>
#include <string>

#include "paths/path_fixtures.h"
#include "run/run_state.h"
#include "shell/command_split.h"
#include "shell/run_first.h"

using namespace path_testing;

namespace {

struct Composed {
    bool ok;
    std::string program;
    std::string arguments;
};

Composed Compose(RunState& run, const std::string& command) {
    ComposedRunFirst composed{};
    Composed result{ComposeRunFirstCommand(run, command.c_str(), composed), "", ""};
    if (result.ok) {
        CommandParts parts = SplitCommand(composed.text);
        result.program = parts.program;
        result.arguments = parts.arguments;
    }
    return result;
}

bool Exists(const std::string& path) {
    return GetFileAttributesA(path.c_str()) != INVALID_FILE_ATTRIBUTES;
}

TEST(RunFirstTokens, TokensComposeTheProgramPath) {
    TestRun t;
    const std::string w = WindowsDir();
    const std::string s = SystemDir();
    const struct {
        std::string command;
        std::string program;
        std::string arguments;
    } cases[] = {
        {"#System#\\cmd.exe", s + "\\cmd.exe", ""},
        {"#system#\\cmd.exe /c exit 3", s + "\\cmd.exe /c exit 3", ""},
        {"\"#Windows#\\notepad.exe\" /x", w + "\\notepad.exe", "/x"},
        {"\"  #Windows#\\notepad.exe \"   a b", w + "\\notepad.exe", "a b"},
        {"\"#InstallDir#\\setup.exe\" /remove", "C:\\Tools\\App\\setup.exe", "/remove"},
        {"#Nothing#\\tool.exe", "\\tool.exe", ""},
        // Nothing expanded at the start: the command is taken in the install folder.
        {"# tool.exe", "C:\\Tools\\App\\# tool.exe", ""},
    };
    for (const auto& c : cases) {
        Composed composed = Compose(t.run, c.command);
        ASSERT_TRUE(composed.ok) << c.command;
        EXPECT_TRUE(TextEqualsNoCase(composed.program.c_str(), c.program.c_str()))
            << c.command << " gave " << composed.program << ", expected " << c.program;
        EXPECT_EQ(composed.arguments, c.arguments) << c.command;
    }
    EXPECT_TRUE(Exists(Compose(t.run, "#System#\\cmd.exe").program));
    EXPECT_TRUE(Exists(Compose(t.run, "\"#Windows#\\notepad.exe\" /x").program));
}

TEST(RunFirstTokens, ATokenWhoseFolderIsNotFoundIsTakenInTheInstallFolder) {
    TestRun t;
    t.UseFakeShell();
    Composed composed = Compose(t.run, "#MyDocuments#\\x.exe");
    ASSERT_TRUE(composed.ok);
    EXPECT_EQ(composed.program, "C:\\Tools\\App\\#MyDocuments#\\x.exe");
}

TEST(RunFirstTokens, ACommandThatDoesNotExpandWholeIsNotComposed) {
    TestRun t;
    std::string command;
    for (int i = 0; i < 7000; ++i) command += "#Windows#";
    EXPECT_FALSE(Compose(t.run, command).ok);
}

}  // namespace
