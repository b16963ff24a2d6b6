// The contract of the path builder that the passes and the packer's plan and check share: each
// table is what the uninstaller acts on for an entry. Runs on the host and in the Windows build.
#include "removal/entry_paths.h"

#include <gtest/gtest.h>
#include <string>
#include <vector>

#include "common/backslash.h"
#include "paths/token_table.h"

namespace {

const char kInstall[] = "C:\\Tools\\App\\";
constexpr size_t kRoomy = 1024;

std::string EntryPath(const char* folder, const char* name) {
    char out[kRoomy];
    EXPECT_TRUE(BuildEntryPath(kInstall, folder, name, out, sizeof(out)));
    return out;
}

TEST(EntryPaths, FileEntriesAsTheFilePassBuildsThem) {
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
        {".\\Data", "", "C:\\Tools\\App\\Data"},  // a folder entry
        {"C:\\Shared", "lib.dll", "C:\\Shared\\lib.dll"},
        {"C:\\Shared\\", "lib.dll", "C:\\Shared\\lib.dll"},
        {"", "lib.dll", "lib.dll"},
        {".\\Bin", "sub\\x.dll", "C:\\Tools\\App\\Bin\\sub\\x.dll"},
        // "/" is a separator, as the platform reads it, and every pass sees it as a backslash.
        {"C:/Other", "x.txt", "C:\\Other\\x.txt"},
        {"C:/Other/", "", "C:\\Other\\"},
        {"./Bin", "app.dll", "C:\\Tools\\App\\Bin\\app.dll"},
        {".\\Bin/sub", "a/b.dll", "C:\\Tools\\App\\Bin\\sub\\a\\b.dll"},
        {"//server/share/App", "a.dll", "\\\\server\\share\\App\\a.dll"},
    };
    for (const auto& c : cases) EXPECT_EQ(EntryPath(c.folder, c.name), c.path) << c.folder << " " << c.name;
}

// A resolver that knows three tokens, as a machine would name their folders.
struct FakeTokens {
    static bool Resolve(void*, const char* token, size_t length, char* out, size_t size) {
        std::string text(token, length);
        const char* folder = text == "#AppData#"       ? "C:\\Users\\u\\AppData\\Roaming"
                             : text == "#AllUsersDir#" ? "D:\\"
                             : text == "#Long#"
                                 ? "C:\\LLLLLLLLLLLLLLLLLLLLLLLLLLLLLLLLLLLLLLLLLLLLLLLLLLLLLLLLLLLLLL"
                                 : nullptr;
        return folder && CopyText(out, size, folder);
    }
    FolderTokenResolver resolver() { return {Resolve, this}; }
};

TEST(EntryPaths, AFolderThatBeginsWithATokenIsThatTokensFolder) {
    struct Case {
        const char* folder;
        const char* name;
        const char* path;  // null: the entry is refused
    } cases[] = {
        {"#AppData#\\Vendor\\App", "a.ini", "C:\\Users\\u\\AppData\\Roaming\\Vendor\\App\\a.ini"},
        {"#AppData#", "a.ini", "C:\\Users\\u\\AppData\\Roaming\\a.ini"},
        {"#AppData#\\", "a.ini", "C:\\Users\\u\\AppData\\Roaming\\a.ini"},
        {"#AppData#\\Vendor", "", "C:\\Users\\u\\AppData\\Roaming\\Vendor"},     // a folder entry
        {"#AppData#/Vendor", "a", "C:\\Users\\u\\AppData\\Roaming\\Vendor\\a"},  // "/" is a separator
        // A drive root keeps its one backslash.
        {"#AllUsersDir#\\Vendor", "a", "D:\\Vendor\\a"},
        {"#AllUsersDir#", "a", "D:\\a"},
        // The rest of the folder is taken as it stands: a later '#' is part of a name.
        {"#AppData#\\#1 App#", "a", "C:\\Users\\u\\AppData\\Roaming\\#1 App#\\a"},
        // Only a token at the start, and followed by a backslash or nothing, is one.
        {"C:\\#AppData#", "a", "C:\\#AppData#\\a"},
        {"#AppData#Vendor", "a", "#AppData#Vendor\\a"},
        {"#AppData", "a", "#AppData\\a"},
        // A token the resolver does not know, or whose folder does not fit, refuses the entry.
        {"#Nothing#\\Vendor", "a", nullptr},
        {"##\\Vendor", "a", nullptr},
        // Relative entries are not looked at for tokens.
        {".\\#AppData#", "a", "C:\\Tools\\App\\#AppData#\\a"},
    };
    FakeTokens fake;
    FolderTokenResolver tokens = fake.resolver();
    for (const auto& c : cases) {
        char out[kRoomy];
        bool built = BuildEntryPath(kInstall, c.folder, c.name, out, sizeof(out), &tokens);
        EXPECT_EQ(built, c.path != nullptr) << c.folder;
        EXPECT_STREQ(out, c.path ? c.path : "") << c.folder;
    }
    // Without a resolver no token resolves: such entries are refused, never taken as stored.
    char out[kRoomy];
    EXPECT_FALSE(BuildEntryPath(kInstall, "#AppData#\\Vendor", "a", out, sizeof(out)));
    EXPECT_STREQ(out, "");
    EXPECT_TRUE(BuildEntryPath(kInstall, "C:\\Vendor", "a", out, sizeof(out)));
    // Shortcut folders and second folders go through the same rule.
    ASSERT_TRUE(BuildEntryFolder("#AppData#\\Menu", &tokens, out, sizeof(out)));
    EXPECT_STREQ(out, "C:\\Users\\u\\AppData\\Roaming\\Menu");
    ASSERT_TRUE(BuildEntryFolder("", &tokens, out, sizeof(out)));
    EXPECT_STREQ(out, "");
    // The program-folder pass climbs from the token entry's folder.
    EXPECT_EQ(BuildProgramFolder(kInstall, "#AppData#\\Vendor", "a.ini", out, sizeof(out), &tokens),
              ProgramFolderStart::kFolder);
    EXPECT_STREQ(out, "C:\\Users\\u\\AppData\\Roaming\\Vendor");
    EXPECT_EQ(BuildProgramFolder(kInstall, "#Nothing#\\Vendor", "a.ini", out, sizeof(out), &tokens),
              ProgramFolderStart::kTooLong);
}

TEST(EntryPaths, ATokenFolderThatDoesNotFitIsRefusedNeverCut) {
    FakeTokens fake;
    FolderTokenResolver tokens = fake.resolver();
    // #Long# is 65 characters; with "\" and a name of 193 the path is 259 characters, one more is 260.
    const std::string fits(259 - 65 - 1, 'n');
    char out[kPathBufferSize];
    ASSERT_TRUE(BuildEntryPath(kInstall, "#Long#", fits.c_str(), out, sizeof(out), &tokens));
    EXPECT_EQ(std::string(out).size(), 259u);
    EXPECT_FALSE(BuildEntryPath(kInstall, "#Long#", (fits + "n").c_str(), out, sizeof(out), &tokens));
    EXPECT_STREQ(out, "");
    // The token's folder itself larger than the buffer: refused too.
    EXPECT_FALSE(BuildEntryFolder("#Long#\\x", &tokens, out, 20));
    EXPECT_STREQ(out, "");
    EXPECT_EQ(LeadingTokenLength("#AppData#\\x"), 9u);
    EXPECT_EQ(LeadingTokenLength("#AppData#"), 9u);
    EXPECT_EQ(LeadingTokenLength("#AppData#x"), 0u);
    EXPECT_EQ(LeadingTokenLength("x#AppData#"), 0u);
    EXPECT_EQ(LeadingTokenLength("#AppData"), 0u);
}

TEST(EntryPaths, APathThatDoesNotFitIsRefusedNeverCut) {
    // C:\Tools\App\ (13) + Bin\ (4) + a name: 259 characters fit a path buffer, 260 do not.
    const std::string fits(259 - 13 - 4, 'n');
    const std::string over(fits + "n");
    char out[kPathBufferSize];
    ASSERT_TRUE(BuildEntryPath(kInstall, ".\\Bin", fits.c_str(), out, sizeof(out)));
    EXPECT_EQ(std::string(out).size(), 259u);
    EXPECT_FALSE(BuildEntryPath(kInstall, ".\\Bin", over.c_str(), out, sizeof(out)));
    EXPECT_STREQ(out, "") << "nothing of a refused path is left";
    // Every builder refuses the same way, also when the cut would fall inside the install folder.
    EXPECT_FALSE(BuildEntryPath(kInstall, ".", "x", out, 5));
    const std::string shortcut = "C:\\Menu\\" + std::string(259 - 8, 's');
    ASSERT_TRUE(BuildShortcutPath("C:\\Menu", shortcut.c_str() + 8, out, sizeof(out)));
    EXPECT_FALSE(BuildShortcutPath("C:\\Menu", (shortcut + "s").c_str() + 8, out, sizeof(out)));
    EXPECT_STREQ(out, "");
    EXPECT_FALSE(BuildPatternPath(kInstall, (over + "\\*.log").c_str(), out, sizeof(out)));
    EXPECT_STREQ(out, "");
    EXPECT_FALSE(BuildRunFirstFolderCommand(kInstall, (over + "xxxx").c_str(), out, sizeof(out)));
    EXPECT_STREQ(out, "");
    // The folder alone would fit, but the pass builds the whole entry path first.
    EXPECT_EQ(BuildProgramFolder(kInstall, ".\\Bin", over.c_str(), out, sizeof(out)),
              ProgramFolderStart::kTooLong);
}

TEST(EntryPaths, ProgramFoldersAreTheFoldersThatHoldTheFiles) {
    struct Case {
        const char* folder;
        const char* name;
        ProgramFolderStart start;
        const char* path;
    } cases[] = {
        {".\\Bin", "app.dll", ProgramFolderStart::kFolder, "C:\\Tools\\App\\Bin"},
        {".\\", "app.exe", ProgramFolderStart::kFolder, "C:\\Tools\\App"},
        {".\\Bin", "sub\\x.dll", ProgramFolderStart::kFolder,
         "C:\\Tools\\App\\Bin\\sub"},  // the deepest folder
        {".\\Data", "", ProgramFolderStart::kFolder, "C:\\Tools\\App\\Data"},
        {".\\Data\\", "", ProgramFolderStart::kFolder, "C:\\Tools\\App\\Data"},
        {"C:\\", "boot.ini", ProgramFolderStart::kFolder, "C:"},  // shorter than 4: protected
        {"", "lone.dll", ProgramFolderStart::kNoBackslash, ""},
        {"C:/Other/Sub", "x.txt", ProgramFolderStart::kFolder,
         "C:\\Other\\Sub"},  // climbs as the file pass deletes
        {"C:/Other/", "", ProgramFolderStart::kFolder, "C:\\Other"},
    };
    for (const auto& c : cases) {
        char out[kRoomy];
        EXPECT_EQ(BuildProgramFolder(kInstall, c.folder, c.name, out, sizeof(out)), c.start)
            << c.folder << " " << c.name;
        EXPECT_STREQ(out, c.path) << c.folder << " " << c.name;
    }
}

TEST(EntryPaths, PatternsSplitAtTheirLastBackslash) {
    struct Case {
        const char* pattern;
        bool tokens;
        const char* folder;  // null: no backslash, the pattern is skipped
        const char* mask;
        bool plainMask;
    } cases[] = {
        {"*.log", false, "C:\\Tools\\App", "*.log", true},
        {"Logs\\*.log", false, "C:\\Tools\\App\\Logs", "*.log", true},
        {"Logs/*.txt", false, "C:\\Tools\\App", "Logs/*.txt", false},  // a slash would list another folder
        {"Logs\\..", false, "C:\\Tools\\App\\Logs", "..", false},
        {"Logs\\D:*.txt", false, "C:\\Tools\\App\\Logs", "D:*.txt", false},
        {"Logs\\", false, "C:\\Tools\\App\\Logs", "", false},
        {"#TempDir#\\app*.tmp", true, "#TempDir#", "app*.tmp", true},
        {"#AppData#\\Vendor\\Tool\\*.tmp", true, "#AppData#\\Vendor\\Tool", "*.tmp", true},
        {"#Nothing#", true, nullptr, nullptr, false},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(PatternHasTokens(c.pattern), c.tokens) << c.pattern;
        char path[kRoomy];
        if (c.tokens) {
            ASSERT_TRUE(CopyText(path, c.pattern));  // the uninstaller expands these first
        } else {
            ASSERT_TRUE(BuildPatternPath(kInstall, c.pattern, path, sizeof(path)));
        }
        const char* mask = SplitPatternPath(path);
        if (!c.folder) {
            EXPECT_EQ(mask, nullptr) << c.pattern;
            EXPECT_STREQ(path, c.pattern) << "left as it was";
            continue;
        }
        ASSERT_NE(mask, nullptr) << c.pattern;
        EXPECT_STREQ(path, c.folder) << c.pattern;
        EXPECT_STREQ(mask, c.mask) << c.pattern;
        EXPECT_EQ(IsPlainFileMask(mask), c.plainMask) << c.pattern;
    }
}

// The folders a shortcut entry's climb tries, as RemoveShortcutFolders walks them.
std::vector<std::string> Climb(uint32_t levels, const char* folder, const char* second) {
    char first[kPathBufferSize];
    char other[kPathBufferSize];
    EXPECT_TRUE(CopyText(first, folder));
    EXPECT_TRUE(CopyText(other, second));
    std::vector<std::string> steps;
    if (first[0] == '\0') return steps;
    for (;;) {
        steps.push_back(std::string(first) + (other[0] ? "|" + std::string(other) : ""));
        if (levels == 0) break;
        --levels;
        if (!ClimbShortcutStep(first, other)) break;
    }
    return steps;
}

TEST(EntryPaths, ShortcutClimbsTryTheFolderAndUpToLevelsParents) {
    using Steps = std::vector<std::string>;
    EXPECT_EQ(Climb(0, "C:\\Menu\\Vendor\\App", ""), Steps{"C:\\Menu\\Vendor\\App"});
    EXPECT_EQ(Climb(2, "C:\\Menu\\Vendor\\App", "D:\\Desk\\App"),
              (Steps{"C:\\Menu\\Vendor\\App|D:\\Desk\\App", "C:\\Menu\\Vendor|D:\\Desk", "C:\\Menu|D:"}));
    // A second folder without a backslash left ends the climb too.
    EXPECT_EQ(Climb(5, "C:\\Menu\\Vendor\\App", "Desk").size(), 1u);
    // A folder without a backslash left ends it; an empty folder is not climbed at all.
    EXPECT_EQ(Climb(9, "C:\\A", ""), (Steps{"C:\\A", "C:"}));
    EXPECT_TRUE(Climb(3, "", "C:\\Desk").empty());

    char path[kPathBufferSize];
    char shortcut[kPathBufferSize];
    ASSERT_TRUE(BuildShortcutPath("C:\\Menu\\App", "App.lnk", path, sizeof(path)));
    EXPECT_STREQ(path, "C:\\Menu\\App\\App.lnk");
    ASSERT_TRUE(BuildShortcutPath("", "C:\\Desk\\App.lnk", shortcut, sizeof(shortcut)));
    EXPECT_STREQ(shortcut, "C:\\Desk\\App.lnk") << "an empty folder adds no backslash";
}

// A shortcut's file name is a name in its folder: nothing that reaches another folder, a drive's
// current folder, a stream, or the folder itself or its parent once trailing dots and blanks go.
TEST(EntryPaths, ShortcutFileNamesAreNamesOnly) {
    for (const char* name : {"App.lnk", "App..lnk", ".hidden.lnk", "My App (x86).lnk", "a"}) {
        EXPECT_TRUE(IsPlainShortcutName(name)) << name;
    }
    for (const char* name :
         {"..\\..\\..\\victim\\x.ini", "Sub\\App.lnk", "../x.ini", "a/b", "C:x.lnk", "App.lnk:s", "\\App.lnk",
          "C:\\Desk\\App.lnk", "..", ".", "...", ". .", " ", ""}) {
        EXPECT_FALSE(IsPlainShortcutName(name)) << name;
    }
}

TEST(EntryPaths, RegistryEntriesAreClassifiedAsThePassDoes) {
    struct Case {
        const char* path;
        RegistryEntryKind kind;
        const char* key;
        const char* value;
    } cases[] = {
        {"Software", RegistryEntryKind::kSkipped, "Software", nullptr},
        {"sOFTWARE", RegistryEntryKind::kSkipped, "sOFTWARE", nullptr},
        {"System", RegistryEntryKind::kSkipped, "System", nullptr},
        {"", RegistryEntryKind::kSkipped, "", nullptr},
        {"Software\\Vendor\\App", RegistryEntryKind::kKey, "Software\\Vendor\\App", nullptr},
        {"Software\\Run\\\\App", RegistryEntryKind::kValue, "Software\\Run", "App"},
        {"Software\\Vendor\\\\", RegistryEntryKind::kValue, "Software\\Vendor", ""},  // the default value
        {"\\\\AtRoot", RegistryEntryKind::kValue, "", "AtRoot"},
        {"\\Software", RegistryEntryKind::kKey, "\\Software", nullptr},  // a first backslash is never a value
    };
    for (const auto& c : cases) {
        RegistryPathSplit split = SplitRegistryPath(c.path);
        EXPECT_EQ(split.kind, c.kind) << c.path;
        EXPECT_EQ(std::string(c.path, split.keyLength), c.key) << c.path;
        if (c.value) {
            ASSERT_NE(split.valueName, nullptr) << c.path;
            EXPECT_STREQ(split.valueName, c.value) << c.path;
        } else {
            EXPECT_EQ(split.valueName, nullptr) << c.path;
        }
    }
    for (uint32_t root : {0x80000000u, 0x80000001u, 0x80000002u, 0x80000003u, 0x80000005u}) {
        EXPECT_TRUE(IsPredefinedRoot(root, true)) << root;
        EXPECT_TRUE(IsPredefinedRoot(root, false)) << root;
    }
    EXPECT_FALSE(IsPredefinedRoot(0x80000006u, true)) << "HKEY_DYN_DATA is 9x only";
    EXPECT_TRUE(IsPredefinedRoot(0x80000006u, false));
    for (uint32_t root : {0u, 0x80000004u, 0x80000007u, 0x7FFFFFFFu, 0x00000100u})
        EXPECT_FALSE(IsPredefinedRoot(root, false)) << root;
}

TEST(EntryPaths, AbsolutePathsTokensAndTheRunFirstCommand) {
    for (const char* path : {"C:\\", "c:\\x", "\\\\server\\share\\x", "\\\\server\\share"})
        EXPECT_TRUE(IsAbsolutePath(path)) << path;
    for (const char* path :
         {"C:", "C:x", "x\\y", "\\x", "\\\\server", "\\\\server\\", "\\\\\\x", "\\\\s\\\\x", "1:\\x", ""}) {
        EXPECT_FALSE(IsAbsolutePath(path)) << path;
    }
    FolderToken token;
    ASSERT_TRUE(FindFolderToken("#windows#", token));
    EXPECT_EQ(token, FolderToken::kWindows);
    ASSERT_TRUE(FindFolderToken("#Program Files#", token));
    EXPECT_EQ(token, FolderToken::kProgramFiles);
    ASSERT_TRUE(FindFolderToken("#INSTALLDIR#", token));
    EXPECT_EQ(token, FolderToken::kInstallDir);
    ASSERT_TRUE(FindFolderToken("#allusersprograms#", token));
    EXPECT_EQ(token, FolderToken::kAllUsersPrograms);
    ASSERT_TRUE(FindFolderToken("#Fonts#", token));
    EXPECT_EQ(token, FolderToken::kFonts);
    EXPECT_FALSE(FindFolderToken("#Nothing#", token));
    EXPECT_FALSE(FindFolderToken("#Windows", token));

    char out[kRoomy];
    ASSERT_TRUE(BuildRunFirstFolderCommand(kInstall, "\"  tool.exe\" /x", out, sizeof(out)));
    EXPECT_STREQ(out, "\"C:\\Tools\\App\\tool.exe\" /x");
    ASSERT_TRUE(BuildRunFirstFolderCommand(kInstall, "setup.exe", out, sizeof(out)));
    EXPECT_STREQ(out, "C:\\Tools\\App\\setup.exe");

    // The program is started only by a whole path.
    for (const char* program :
         {"C:\\Tools\\App\\tool.exe", "\\\\server\\share\\tool.exe", "C:\\Tools\\App\\\\tool.exe"}) {
        EXPECT_TRUE(IsAbsoluteProgramPath(program)) << program;
    }
    for (const char* program : {"tool.exe", "\\tool.exe", "C:tool.exe", "C:\\Tools\\App\\C:tool.exe",
                                "C:\\Tools\\tool.exe:stream", "\\\\server\\share\\C:x.exe", ""}) {
        EXPECT_FALSE(IsAbsoluteProgramPath(program)) << program;
    }
}

}  // namespace

// Folders on a network path may be any folder of the machine ("\\127.0.0.1\share" is C:\ itself):
// the folder passes take them only on the share the installation lives on, and never the verbatim
// or device namespaces, which pass any path on unchecked.
TEST(EntryPaths, NetworkFoldersOnlyOnTheInstallationsShare) {
    struct Case {
        const char* install;
        const char* folder;
        bool refused;
    } cases[] = {
        {"C:\\Tools\\App\\", "C:\\Other", false},
        {"C:\\Tools\\App\\", "\\\\host\\share\\Dir", true},
        {"C:\\Tools\\App\\", "\\\\127.0.0.1\\c\\Windows", true},
        {"C:\\Tools\\App\\", "//host/share/Dir", true},
        {"\\\\host\\share\\App\\", "\\\\HOST\\Share\\Other", false},
        {"\\\\host\\share\\App\\", "//host/share/Other", false},
        {"\\\\host\\share\\App\\", "\\\\host\\share", false},
        {"\\\\host\\share\\App\\", "\\\\host\\shared\\Dir", true},
        {"\\\\host\\share\\App\\", "\\\\host\\sh\\Dir", true},
        {"\\\\host\\share\\App\\", "\\\\other\\share\\Dir", true},
        {"C:\\Tools\\App\\", "\\\\?\\C:\\Dir", true},
        {"C:\\Tools\\App\\", "\\\\?\\UNC\\host\\share\\Dir", true},
        {"C:\\Tools\\App\\", "\\\\.\\C:\\Dir", true},
        {"\\\\?\\UNC\\host\\share\\App\\", "\\\\?\\UNC\\host\\share\\Dir", true},
    };
    for (const auto& c : cases)
        EXPECT_EQ(IsRefusedNetworkFolder(c.install, c.folder), c.refused) << c.install << " " << c.folder;
}
