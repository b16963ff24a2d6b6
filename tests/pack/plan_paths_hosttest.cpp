// How the passes build their paths, as the packer restates them for `plan` and `check`.
#include <gtest/gtest.h>

#include "pack/plan_paths.h"

using namespace pack;

namespace {

const std::string kInstall = "C:\\Tools\\App\\";

TEST(PlanPaths, EntryPathsAsTheFilePassBuildsThem) {
    struct Case {
        const char* folder;
        const char* name;
        const char* path;
    } cases[] = {
        {".\\Bin", "app.dll", "C:\\Tools\\App\\Bin\\app.dll"},
        {".\\", "a.dll", "C:\\Tools\\App\\a.dll"},
        {".", "a.dll", "C:\\Tools\\App\\a.dll"},
        {"..\\Other", "a.dll", "C:\\Tools\\App\\a.dll"},  // two dots do not climb
        {".x", "a.dll", "C:\\Tools\\App\\a.dll"},
        {".\\Data", "", "C:\\Tools\\App\\Data"},           // a folder entry
        {"C:\\Shared", "lib.dll", "C:\\Shared\\lib.dll"},
        {"C:\\Shared\\", "lib.dll", "C:\\Shared\\lib.dll"},
        {"", "lib.dll", "lib.dll"},
        {".\\Bin", "sub\\x.dll", "C:\\Tools\\App\\Bin\\sub\\x.dll"},
    };
    for (const auto& c : cases) EXPECT_EQ(BuildEntryPath(kInstall, c.folder, c.name), c.path) << c.folder << " " << c.name;
}

TEST(PlanPaths, ProgramFoldersAreTheFoldersThatHoldTheFiles) {
    struct Case {
        const char* folder;
        const char* name;
        std::optional<std::string> start;
    } cases[] = {
        {".\\Bin", "app.dll", "C:\\Tools\\App\\Bin"},
        {".\\", "app.exe", "C:\\Tools\\App"},
        {".\\Bin", "sub\\x.dll", "C:\\Tools\\App\\Bin\\sub"},  // the deepest folder of the name
        {".\\Data", "", "C:\\Tools\\App\\Data"},
        {"C:\\", "boot.ini", "C:"},  // cut at the last backslash: shorter than 4, so protected
        {"", "lone.dll", std::nullopt},  // no backslash at all
    };
    for (const auto& c : cases) EXPECT_EQ(BuildProgramFolder(kInstall, c.folder, c.name), c.start) << c.folder << " " << c.name;
}

TEST(PlanPaths, PatternsSplitAtTheirLastBackslash) {
    struct Case {
        const char* pattern;
        const char* folder;
        const char* mask;
        bool tokens;
        bool split;
    } cases[] = {
        {"*.log", "C:\\Tools\\App", "*.log", false, true},
        {"Logs\\*.log", "C:\\Tools\\App\\Logs", "*.log", false, true},
        {"#TempDir#\\app*.tmp", "#TempDir#", "app*.tmp", true, true},
        {"#AppData#\\Vendor\\Tool\\*.tmp", "#AppData#\\Vendor\\Tool", "*.tmp", true, true},
        {"#Nothing#", "", "", true, false},
    };
    for (const auto& c : cases) {
        PatternPath p = BuildPatternPath(kInstall, c.pattern);
        EXPECT_EQ(p.split, c.split) << c.pattern;
        EXPECT_EQ(p.hasTokens, c.tokens) << c.pattern;
        EXPECT_EQ(p.folder, c.folder) << c.pattern;
        EXPECT_EQ(p.mask, c.mask) << c.pattern;
    }
}

TEST(PlanPaths, ShortcutClimbsTryTheFolderAndUpToLevelsParents) {
    auto zero = ShortcutClimb(0, "C:\\Menu\\Vendor\\App", "");
    ASSERT_EQ(zero.size(), 1u);
    EXPECT_EQ(zero[0].folder, "C:\\Menu\\Vendor\\App");

    auto two = ShortcutClimb(2, "C:\\Menu\\Vendor\\App", "D:\\Desk\\App");
    ASSERT_EQ(two.size(), 3u);
    EXPECT_EQ(two[1].folder, "C:\\Menu\\Vendor");
    EXPECT_EQ(two[1].secondFolder, "D:\\Desk");
    EXPECT_EQ(two[2].folder, "C:\\Menu");
    EXPECT_EQ(two[2].secondFolder, "D:");

    // A second folder without a backslash left ends the climb too.
    auto shortSecond = ShortcutClimb(5, "C:\\Menu\\Vendor\\App", "Desk");
    EXPECT_EQ(shortSecond.size(), 1u);
    // A folder without a backslash left ends it; an empty folder is not climbed at all.
    EXPECT_EQ(ShortcutClimb(9, "C:\\A", "").size(), 2u);
    EXPECT_TRUE(ShortcutClimb(3, "", "C:\\Desk").empty());
}

TEST(PlanPaths, RegistryEntriesAreClassifiedAsThePassDoes) {
    struct Case {
        const char* path;
        RegistryEntryKind kind;
        const char* key;
        const char* value;
    } cases[] = {
        {"Software", RegistryEntryKind::kSkipped, "Software", ""},
        {"sOFTWARE", RegistryEntryKind::kSkipped, "sOFTWARE", ""},
        {"System", RegistryEntryKind::kSkipped, "System", ""},
        {"", RegistryEntryKind::kSkipped, "", ""},
        {"Software\\Vendor\\App", RegistryEntryKind::kKey, "Software\\Vendor\\App", ""},
        {"Software\\Run\\\\App", RegistryEntryKind::kValue, "Software\\Run", "App"},
        {"Software\\Vendor\\\\", RegistryEntryKind::kValue, "Software\\Vendor", ""},  // the default value
        {"\\\\AtRoot", RegistryEntryKind::kValue, "", "AtRoot"},
        {"\\Software", RegistryEntryKind::kKey, "\\Software", ""},  // a first backslash is never a value
    };
    for (const auto& c : cases) {
        RegistryPathParts parts = SplitRegistryPath(c.path);
        EXPECT_EQ(parts.kind, c.kind) << c.path;
        EXPECT_EQ(parts.key, c.key) << c.path;
        EXPECT_EQ(parts.value, c.value) << c.path;
        if (c.kind == RegistryEntryKind::kValue) EXPECT_EQ(ComposeValuePath(parts.key, parts.value), c.path);
    }
}

TEST(PlanPaths, RunFirstCommandsAreComposedAndSplit) {
    struct Case {
        const char* command;
        bool tokenForm;
        const char* program;
        const char* arguments;
    } cases[] = {
        {"setup.exe", false, "C:\\Tools\\App\\setup.exe", ""},
        {"\"setup.exe\" /remove", false, "C:\\Tools\\App\\setup.exe", "/remove"},
        {"\"  tool.exe  \"    /x", false, "C:\\Tools\\App\\tool.exe", "/x"},
        {"#tool.exe", false, "C:\\Tools\\App\\#tool.exe", ""},  // a "#" without a closing one
        {"#Nothing#\\tool.exe", true, "\\tool.exe", ""},         // an unknown token expands to nothing
        {"\"#System#\\cmd.exe\" /c exit", true, "#System#\\cmd.exe", "/c exit"},
        {"my tool.exe -q", false, "C:\\Tools\\App\\my tool.exe -q", ""},  // unquoted: the program whole
    };
    for (const auto& c : cases) {
        RunFirstCommand run = ComposeRunFirst(kInstall, c.command);
        EXPECT_EQ(run.tokenForm, c.tokenForm) << c.command;
        EXPECT_EQ(run.program, c.program) << c.command;
        EXPECT_EQ(run.arguments, c.arguments) << c.command;
    }
}

TEST(PlanPaths, AbsolutePathsAndTokens) {
    for (const char* path : {"C:\\", "c:\\x", "\\\\server\\share\\x", "\\\\server\\share"}) EXPECT_TRUE(IsAbsolutePath(path)) << path;
    for (const char* path : {"C:", "C:x", "x\\y", "\\x", "\\\\server", "\\\\\\x", ""}) EXPECT_FALSE(IsAbsolutePath(path)) << path;
    EXPECT_TRUE(IsKnownToken("#windows#"));
    EXPECT_TRUE(IsKnownToken("#Program Files#"));
    EXPECT_FALSE(IsKnownToken("#Nothing#"));
    bool unclosed = false;
    EXPECT_EQ(TokensOf("#AppData##Desktop#\\x#", &unclosed), (std::vector<std::string>{"#AppData#", "#Desktop#"}));
    EXPECT_TRUE(unclosed);
    EXPECT_EQ(SharedFolderName("C:\\ProgramData\\Microsoft\\Windows\\Start Menu\\Programs\\"), "the Programs menu");
    EXPECT_EQ(SharedFolderName("C:\\"), "the drive's root");
    EXPECT_FALSE(SharedFolderName("C:\\ProgramData\\Microsoft\\Windows\\Start Menu\\Programs\\Vendor"));
}

TEST(PlanPaths, SharedFoldersAreRecognisedByTheirWholeName) {
    struct Case {
        const char* path;
        std::optional<std::string> name;
    } cases[] = {
        {"C:\\Windows", "the Windows folder"},
        {"D:\\WINNT\\", "the Windows folder"},
        {"D:\\Backup\\Windows", std::nullopt},  // only directly below a drive's root
        {"C:\\Windows\\System32", "the System folder"},
        {"C:\\Program Files (x86)", "the Program Files folder"},
        {"C:\\Program Files\\Common Files", "the Common Files folder"},
        {"C:\\Program Files\\Vendor", std::nullopt},
        {"C:\\Users\\Public\\Documents", "the shared documents folder"},
        {"C:\\Users\\Public\\Desktop", "a desktop folder"},
        {"C:\\Users\\me\\AppData\\Roaming", "the application-data folder"},
        {"C:\\Tools\\App\\Documents", std::nullopt},
    };
    for (const auto& c : cases) EXPECT_EQ(SharedFolderName(c.path), c.name) << c.path;
    // A program's own subfolder is never a shared one, whatever its name.
    EXPECT_FALSE(SharedFolderOutside("C:\\Tools\\App\\Desktop", kInstall));
    EXPECT_EQ(SharedFolderOutside("C:\\Users\\me\\Desktop", kInstall), "a desktop folder");
}

}  // namespace
