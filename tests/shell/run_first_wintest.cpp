// Composing the run-first command relative to the install folder, and splitting it.
#include "shell/run_first.h"

#include <gtest/gtest.h>
#include <string>

#include "common/text.h"
#include "run/run_state.h"
#include "shell/command_split.h"
#include "support/test_run.h"

namespace {

class RunFirstTest : public ::testing::Test {
  protected:
    testing_support::TestRun test_;  // install folder C:\Tools\App\ on the NT family
    RunState& run_ = test_.run;
    char* installFolder_ = test_.installFolder;
};

TEST_F(RunFirstTest, FolderFormTable) {
    struct Case {
        const char* command;
        const char* program;
        const char* arguments;
    } cases[] = {
        {"setup.exe", "C:\\Tools\\App\\setup.exe", ""},
        {"\"setup.exe\" /remove", "C:\\Tools\\App\\setup.exe", "/remove"},
        {"\"  tool.exe \"   /x", "C:\\Tools\\App\\tool.exe", "/x"},
        {"\"tool.exe\"", "C:\\Tools\\App\\tool.exe", ""},
        {"#tool.exe", "C:\\Tools\\App\\#tool.exe", ""},  // a "#" without a closing one expands nothing
        {"Sub\\my tool.exe /q", "C:\\Tools\\App\\Sub\\my tool.exe /q", ""},
    };
    for (const auto& c : cases) {
        ComposedRunFirst composed{};
        ASSERT_TRUE(ComposeRunFirstCommand(run_, c.command, composed)) << c.command;
        CommandParts parts = SplitCommand(composed.text);
        EXPECT_STREQ(parts.program, c.program) << c.command;
        EXPECT_STREQ(parts.arguments, c.arguments) << c.command;
    }
}

TEST_F(RunFirstTest, CommandThatDoesNotFitIsNotComposed) {
    std::string longest(kPathBufferSize - 1 - TextLength(installFolder_), 'a');
    ComposedRunFirst composed{};
    ASSERT_TRUE(ComposeRunFirstCommand(run_, longest.c_str(), composed));
    EXPECT_EQ(TextLength(composed.text), kPathBufferSize - 1);

    std::string tooLong = longest + "b";
    EXPECT_FALSE(ComposeRunFirstCommand(run_, tooLong.c_str(), composed));
    EXPECT_EQ(composed.text, nullptr);
    EXPECT_FALSE(ComposeRunFirstCommand(run_, std::string(300, 'a').c_str(), composed));
}

}  // namespace
