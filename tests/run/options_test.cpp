// The option scan and the run-first command split.
#include "run/options.h"

#include <gtest/gtest.h>
#include <string>

#include "shell/command_split.h"

namespace {

struct OptionCase {
    const char* text;
    bool quiet, silent, external;
};

TEST(Options, ScanTable) {
    const OptionCase cases[] = {
        {nullptr, false, false, false},
        {"", false, false, false},
        {"    ", false, false, false},
        {"/q", true, false, false},
        {"-S", true, true, false},
        {"/x", true, false, true},
        {"/Quiet", true, false, false},
        {"/QS", true, false, false},
        {"/q/s", true, true, false},
        {"/q /s", true, true, false},
        {"  /q   -x", true, false, true},
        {"/Z /Q", true, false, false},
        {"foo /Q", false, false, false},
        {"- Q", false, false, false},  // the blank is the option letter; Q is the rest of its word
        {"/", false, false, false},
        {"/q /", true, false, false},
        {"\t/Q", false, false, false},  // a tab is not a blank
        {"/Quiet-S", true, true, false},
        {"/X /S", true, true, true},
        {"/q foo /s", true, false, false},
    };
    for (const auto& c : cases) {
        RunModes modes{};
        ScanOptions(c.text, modes);
        const char* shown = c.text ? c.text : "(null)";
        EXPECT_EQ(modes.quiet, c.quiet) << shown;
        EXPECT_EQ(modes.silent, c.silent) << shown;
        EXPECT_EQ(modes.external, c.external) << shown;
    }
}

TEST(Options, FlagsOnlyBecomeTrue) {
    RunModes modes{};
    ScanOptions("/S", modes);
    ScanOptions("/Z", modes);
    EXPECT_TRUE(modes.quiet);
    EXPECT_TRUE(modes.silent);
}

TEST(CommandSplit, Table) {
    struct Case {
        const char* text;
        const char* program;
        const char* arguments;
    } cases[] = {
        {"C:\\Tools\\App\\setup.exe", "C:\\Tools\\App\\setup.exe", ""},
        {"C:\\Tools\\App\\my tool.exe /x", "C:\\Tools\\App\\my tool.exe /x", ""},  // unquoted: whole text
        {"\"C:\\Tools\\App\\setup.exe\" /remove", "C:\\Tools\\App\\setup.exe", "/remove"},
        {"\"  C:\\Tools\\App\\tool.exe  \"    /x", "C:\\Tools\\App\\tool.exe", "/x"},
        {"\"C:\\Tools\\App\\tool.exe\"", "C:\\Tools\\App\\tool.exe", ""},  // nothing after the quote
        {"\"C:\\Tools\\App\\tool.exe", "C:\\Tools\\App\\tool.exe", ""},    // no closing quote
        {"\"C:\\a b\\t.exe\" \"quoted arg\" 2", "C:\\a b\\t.exe", "\"quoted arg\" 2"},
    };
    for (const auto& c : cases) {
        std::string text = c.text;
        CommandParts parts = SplitCommand(text.data());
        EXPECT_STREQ(parts.program, c.program) << c.text;
        EXPECT_STREQ(parts.arguments, c.arguments) << c.text;
    }
}

}  // namespace
