// The option scan and the run-first command split.
#include "run/options.h"

#include <gtest/gtest.h>
#include <string>
#include <vector>

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

// The words the scan ignored, as the log names them: each up to its blank or quote.
TEST(Options, IgnoredWordsAreNoted) {
    struct Case {
        const char* text;
        std::vector<std::string> ignored;
        uint32_t count;
    } cases[] = {
        {"/S /Q", {}, 0},
        {"/S /Z", {"/Z"}, 1},
        {"/Zap /S -y", {"/Zap", "-y"}, 2},
        {"/S foo /Q", {"foo"}, 1},  // the word that ends the scan
        {"/S \"/Zed\" /L=x.log", {"/Zed"}, 1},
        {"/a /b /c /d /e /f", {"/a", "/b", "/c", "/d"}, 6},
        {"/S /", {"/"}, 1},
    };
    for (const auto& c : cases) {
        RunModes modes{};
        ScanOptions(c.text, modes);
        EXPECT_EQ(modes.ignoredCount, c.count) << c.text;
        std::vector<std::string> seen;
        for (uint32_t i = 0; i < modes.ignoredCount && i < 4; ++i) {
            std::string word = modes.ignored[i];
            seen.push_back(word.substr(0, word.find_first_of(" \"")));
        }
        EXPECT_EQ(seen, c.ignored) << c.text;
    }
}

// /L=PATH: the path it takes, and the letters around it that still count or do not.
TEST(Options, LogPathTable) {
    struct Case {
        const char* text;
        const char* path;  // null: no log
        bool quiet, silent, external;
    } cases[] = {
        {"/L=C:\\logs\\u.log", "C:\\logs\\u.log", false, false, false},
        {"-l=u.log /S", "u.log", true, true, false},
        {"/S /L=C:\\a-Q.log", "C:\\a-Q.log", true, true, false},       // "-Q" is part of the path
        {"/L=C:\\x/s-x.log /q", "C:\\x/s-x.log", true, false, false},  // and so are "/s" and "-x"
        {"/L=\"C:\\path with blanks\\u.log\" /S", "C:\\path with blanks\\u.log", true, true, false},
        {"/L=\"C:\\a -S b.log\"/X", "C:\\a -S b.log", true, false, true},  // an option right after the quote
        {"/L=\"C:\\open quote.log /S", "C:\\open quote.log /S", false, false, false},  // no closing quote
        {"/L=", nullptr, false, false, false},
        {"/L= /Q", nullptr, true, false, false},
        {"/L=\"\" /S", nullptr, true, true, false},
        {"/L", nullptr, false, false, false},            // no "=": the letter is ignored as before
        {"/Log=u.log /Q", nullptr, true, false, false},  // "/Log": only the first letter counts
        {"/L =u.log", nullptr, false, false, false},     // "=u.log" is a word of its own and ends the scan
        {"/L=a.log /L=b.log", "b.log", false, false, false},
        {"foo /L=u.log", nullptr, false, false, false},
        {"/Q/L=u.log/S", "u.log/S", true, false, false},
        // The whole option quoted, as programs that build argument lists write it.
        {"\"/L=C:\\x y.log\" /S", "C:\\x y.log", true, true, false},
        {"/Q \"/L=C:\\a -S b.log\"/X", "C:\\a -S b.log", true, false, true},
        {"\"/L=\"C:\\q r.log\"\" \"/S\"", "C:\\q r.log", true, true, false},
        {"\"/L=C:\\open.log /S", "C:\\open.log /S", false, false, false},  // no closing quote
        // A tab ends an unquoted path as a blank does; the next option still counts.
        {"/L=C:\\t.log\t/S", "C:\\t.log", true, true, false},
        {"/L=\"C:\\tab\tin.log\" /Q", "C:\\tab\tin.log", true, false, false},
    };
    for (const auto& c : cases) {
        RunModes modes{};
        ScanOptions(c.text, modes);
        std::string path = modes.logPath ? std::string(modes.logPath, modes.logPathLength) : std::string();
        if (c.path) {
            EXPECT_NE(modes.logPath, nullptr) << c.text;
            EXPECT_EQ(path, c.path) << c.text;
        } else {
            EXPECT_EQ(modes.logPath, nullptr) << c.text << " gave " << path;
            EXPECT_EQ(modes.logPathLength, 0u) << c.text;
        }
        EXPECT_EQ(modes.quiet, c.quiet) << c.text;
        EXPECT_EQ(modes.silent, c.silent) << c.text;
        EXPECT_EQ(modes.external, c.external) << c.text;
    }
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
