// The packer's own path judgements, and the wrappers `plan` and `check` call the uninstaller's path
// builder through (its contract: tests/removal/entry_paths_test.cpp).
#include "pack/plan_paths.h"

#include <gtest/gtest.h>

using namespace pack;

namespace {

const std::string kInstall = "C:\\Tools\\App\\";

TEST(PlanPaths, RunFirstCommandsAreComposedAndSplit) {
    struct Case {
        const char* command;
        bool tokenForm;
        const char* program;
        const char* arguments;
        bool absolute = true;  // the uninstaller runs it
    } cases[] = {
        {"setup.exe", false, "C:\\Tools\\App\\setup.exe", ""},
        {"\"setup.exe\" /remove", false, "C:\\Tools\\App\\setup.exe", "/remove"},
        {"\"  tool.exe  \"    /x", false, "C:\\Tools\\App\\tool.exe", "/x"},
        {"#tool.exe", false, "C:\\Tools\\App\\#tool.exe", ""},   // a "#" without a closing one
        {"#Nothing#\\tool.exe", true, "\\tool.exe", "", false},  // an unknown token expands to nothing
        {"#Nothing#tool.exe", true, "tool.exe", "", false},
        {"#Nothing#C:tool.exe", true, "C:tool.exe", "", false},
        {"C:tool.exe", false, "C:\\Tools\\App\\C:tool.exe", "", false},
        {"\"#System#\\cmd.exe\" /c exit", true, "#System#\\cmd.exe", "/c exit"},
        {"#InstallDir#tool.exe", true, "#InstallDir#tool.exe", ""},
        {"my tool.exe -q", false, "C:\\Tools\\App\\my tool.exe -q", ""},  // unquoted: the program whole
    };
    for (const auto& c : cases) {
        RunFirstCommand run = ComposeRunFirst(kInstall, c.command);
        EXPECT_EQ(run.tokenForm, c.tokenForm) << c.command;
        EXPECT_EQ(run.program, c.program) << c.command;
        EXPECT_EQ(run.arguments, c.arguments) << c.command;
        EXPECT_EQ(run.absolute, c.absolute) << c.command;
    }
    // Without --install-dir the install folder stays a token, yet it is a whole path on every machine:
    // a program relative to it is run; one that names no file after any folder is not.
    struct Unknown {
        const char* command;
        const char* program;
        bool absolute;
    } unknown[] = {
        {"\"cleanup.exe\" /quiet", "#InstallDir#\\cleanup.exe", true},
        {"tools\\stop.exe", "#InstallDir#\\tools\\stop.exe", true},
        {"C:tool.exe", "#InstallDir#\\C:tool.exe", false},
        {"\"a:b.exe\" /x", "#InstallDir#\\a:b.exe", false},
    };
    for (const auto& c : unknown) {
        RunFirstCommand run = ComposeRunFirst(kUnknownInstallDir, c.command);
        EXPECT_EQ(run.program, c.program) << c.command;
        EXPECT_EQ(run.absolute, c.absolute) << c.command;
    }
}

TEST(PlanPaths, WrappersShowEveryPathWholeAndTellWhetherItFits) {
    const std::string longName(300, 'n');
    std::string path = BuildEntryPath(kInstall, ".\\Bin", longName);
    EXPECT_EQ(path, kInstall + "Bin\\" + longName) << "built whole, for the plan to show";
    EXPECT_FALSE(FitsPathBuffer(path));
    EXPECT_TRUE(FitsPathBuffer(std::string(kPathLimit, 'x')));
    EXPECT_EQ(BuildProgramFolder(kInstall, ".\\Bin", "sub\\x.dll"), "C:\\Tools\\App\\Bin\\sub");
    EXPECT_EQ(BuildProgramFolder(kInstall, "", "lone.dll"), std::nullopt);
    PatternPath pattern = PlanPatternPath(kInstall, "#AppData#\\Vendor\\*.tmp");
    EXPECT_TRUE(pattern.hasTokens && pattern.split);
    EXPECT_EQ(pattern.folder, "#AppData#\\Vendor");
    EXPECT_EQ(pattern.mask, "*.tmp");
    auto steps = ShortcutClimb(1, "C:\\Menu\\App", "D:\\Desk\\App");
    ASSERT_EQ(steps.size(), 2u);
    EXPECT_EQ(steps[1].folder, "C:\\Menu");
    EXPECT_EQ(steps[1].secondFolder, "D:\\Desk");
    RegistryPathParts parts = SplitRegistryPath(std::string("Software\\Run\\\\App"));
    EXPECT_EQ(parts.kind, RegistryEntryKind::kValue);
    EXPECT_EQ(parts.key, "Software\\Run");
    EXPECT_EQ(parts.value, "App");
    EXPECT_EQ(ComposeValuePath(parts.key, parts.value), "Software\\Run\\\\App");
    std::string folder = "C:\\A\\";
    StripTrailingBackslash(folder);
    EXPECT_EQ(folder, "C:\\A");
    AppendBackslash(folder);
    EXPECT_EQ(folder, "C:\\A\\");
}

TEST(PlanPaths, TokensAndSharedFolders) {
    EXPECT_TRUE(IsKnownToken("#windows#"));
    EXPECT_TRUE(IsKnownToken("#Program Files#"));
    EXPECT_FALSE(IsKnownToken("#Nothing#"));
    bool unclosed = false;
    EXPECT_EQ(TokensOf("#AppData##Desktop#\\x#", &unclosed),
              (std::vector<std::string>{"#AppData#", "#Desktop#"}));
    EXPECT_TRUE(unclosed);
    EXPECT_EQ(SharedFolderName("C:\\ProgramData\\Microsoft\\Windows\\Start Menu\\Programs\\"),
              "the Programs menu");
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
