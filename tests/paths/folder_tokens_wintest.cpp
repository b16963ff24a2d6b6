// Folder tokens on the real platform: the token table on both families, its fallbacks (reached by
// making the first lookup fail through the run state's lookups), and the expansion of whole texts.
#include "paths/folder_tokens.h"

#include <cstring>
#include <gtest/gtest.h>
#include <string>
#include <vector>

#include "paths/path_fixtures.h"
#include "paths/special_folders.h"

using namespace path_testing;

namespace {

std::string Resolve(const RunState& run, const std::string& token) {
    char buffer[kPathBufferSize] = {};
    EXPECT_TRUE(CopyText(buffer, token.c_str()));
    ResolveFolderToken(run.paths, buffer);
    return buffer;
}

// Expands `source` the way callers do (measure, then copy into length + 1 bytes) and checks that both
// calls agree and that the measuring call writes nothing.
std::string Expand(const RunState& run, const std::string& source) {
    char untouched[4] = {'Z', 'Z', 'Z', '\0'};
    uint32_t measured = ExpandFolderTokens(run.paths, nullptr, source.c_str(), kExpansionScratchSize);
    EXPECT_EQ(ExpandFolderTokens(run.paths, untouched, source.c_str(), 0), measured) << source;
    EXPECT_STREQ(untouched, "ZZZ") << "a size of 0 must write nothing";
    if (measured == kExpansionTooLong) return "<too long>";
    std::vector<char> dest(measured + 1, 'Z');
    EXPECT_EQ(ExpandFolderTokens(run.paths, dest.data(), source.c_str(), measured + 1), measured) << source;
    EXPECT_EQ(std::strlen(dest.data()), measured) << source;
    return dest.data();
}

struct TokenCase {
    const char* token;
    std::string expected;
};

// With every lookup answered by the platform the first lookup decides, whatever the family.
TEST(FolderTokenTable, EveryRowResolvesToThePlatformFolderOnBothFamilies) {
    const std::vector<TokenCase> cases = {
        {"#Windows#", WindowsDir()},
        {"#SYSTEM#", SystemDir()},
        {"#tempdir#", TempDir()},
        {"#CommonFiles#", ShellDir(CSIDL_PROGRAM_FILES_COMMON)},
        {"#Program Files#", ShellDir(CSIDL_PROGRAM_FILES)},
        {"#MyDocuments#", ShellDir(CSIDL_PERSONAL)},
        {"#Desktop#", ShellDir(CSIDL_DESKTOPDIRECTORY)},
        {"#AppData#", ShellDir(CSIDL_APPDATA)},
        {"#LocalAppData#", ShellDir(CSIDL_LOCAL_APPDATA)},
        {"#AllUsersAppData#", ShellDir(CSIDL_COMMON_APPDATA)},
        {"#AllUsersDocuments#", ShellDir(CSIDL_COMMON_DOCUMENTS)},
        {"#AllUsersDesktop#", ShellDir(CSIDL_COMMON_DESKTOPDIRECTORY)},
        {"#UserDir#", ShellDir(CSIDL_PROFILE)},
        {"#AllUsersDir#", ParentDir(ShellDir(CSIDL_COMMON_DOCUMENTS))},
        {"#InstallDir#", "C:\\Tools\\App"},
        {"#Programs#", ShellDir(CSIDL_PROGRAMS)},
        {"#allusersprograms#", ShellDir(CSIDL_COMMON_PROGRAMS)},
        {"#StartMenu#", ShellDir(CSIDL_STARTMENU)},
        {"#AllUsersStartMenu#", ShellDir(CSIDL_COMMON_STARTMENU)},
        {"#Startup#", ShellDir(CSIDL_STARTUP)},
        {"#AllUsersStartup#", ShellDir(CSIDL_COMMON_STARTUP)},
        {"#Fonts#", ShellDir(CSIDL_FONTS)},
    };
    const char* unknown[] = {"#Nothing#", "##",           "#Windows #", "#Install Dir#",
                             "Windows",   "#Start Menu#", "#Program#"};
    for (bool nt : {true, false}) {
        TestRun t(nt);
        for (const TokenCase& c : cases) {
            ASSERT_FALSE(c.expected.empty()) << "the platform has no folder for " << c.token;
            EXPECT_TRUE(TextEqualsNoCase(Resolve(t.run, c.token).c_str(), c.expected.c_str()))
                << (nt ? "NT " : "9x ") << c.token << " gave " << Resolve(t.run, c.token) << ", expected "
                << c.expected;
        }
        for (const char* token : unknown) EXPECT_EQ(Resolve(t.run, token), "") << token;
    }
}

struct FallbackCase {
    bool nt;
    const char* token;
    std::string expected;
};

void ExpectRows(TestRun& t, const std::vector<FallbackCase>& cases, const char* setting) {
    for (const FallbackCase& c : cases) {
        t.run.platform.nt = t.run.paths.nt = c.nt;
        EXPECT_EQ(Resolve(t.run, c.token), c.expected) << setting << (c.nt ? ", NT " : ", 9x ") << c.token;
    }
}

TEST(FolderTokenTable, FallbacksWhenTheShellHasNoFolderAtAll) {
    const std::string w = WindowsDir();
    TestRun t;
    t.UseFakeShell();
    ExpectRows(
        t,
        {
            {true, "#MyDocuments#", "#MyDocuments#"},
            {true, "#Desktop#", "#Desktop#"},
            {true, "#AppData#", w + "\\Profiles\\Administrator\\Application Data"},
            {true, "#LocalAppData#", w + "\\Profiles\\Administrator\\Local Settings\\Application Data"},
            {true, "#AllUsersAppData#", w + "\\Profiles\\All Users\\Application Data"},
            {true, "#AllUsersDocuments#", w + "\\Profiles\\All Users\\Documents"},
            {true, "#AllUsersDesktop#", w + "\\Profiles\\All Users\\Desktop"},
            {true, "#UserDir#", "c:\\"},
            {true, "#AllUsersDir#", w + "\\Profiles\\All Users"},
            {false, "#MyDocuments#", "#MyDocuments#"},
            {false, "#Desktop#", "#Desktop#"},
            {false, "#AppData#", w + "\\Application Data"},
            {false, "#LocalAppData#", w + "\\Application Data"},
            {false, "#AllUsersAppData#", w + "\\All Users\\Application Data"},
            {false, "#AllUsersDocuments#", w + "\\All Users\\Documents"},
            {false, "#AllUsersDesktop#", w + "\\All Users\\Desktop"},
            {false, "#UserDir#", w},
            {false, "#AllUsersDir#", w + "\\All Users"},
            // The user's menus have no fallback, as the user's desktop; the all-users ones fall back
            // as the all-users desktop does, the Fonts folder to the Windows folder's Fonts.
            {true, "#Programs#", "#Programs#"},
            {true, "#StartMenu#", "#StartMenu#"},
            {true, "#Startup#", "#Startup#"},
            {true, "#AllUsersPrograms#", w + "\\Profiles\\All Users\\Start Menu\\Programs"},
            {true, "#AllUsersStartMenu#", w + "\\Profiles\\All Users\\Start Menu"},
            {true, "#AllUsersStartup#", w + "\\Profiles\\All Users\\Start Menu\\Programs\\Startup"},
            {true, "#Fonts#", w + "\\Fonts"},
            {false, "#Programs#", "#Programs#"},
            {false, "#StartMenu#", "#StartMenu#"},
            {false, "#Startup#", "#Startup#"},
            {false, "#AllUsersPrograms#", w + "\\All Users\\Start Menu\\Programs"},
            {false, "#AllUsersStartMenu#", w + "\\All Users\\Start Menu"},
            {false, "#AllUsersStartup#", w + "\\All Users\\Start Menu\\Programs\\Startup"},
            {false, "#Fonts#", w + "\\Fonts"},
            // Rows that do not ask the shell are not affected.
            {false, "#Windows#", w},
            {true, "#InstallDir#", "C:\\Tools\\App"},
        },
        "no shell folders");
}

TEST(FolderTokenTable, NtFallbacksBuildOnTheApplicationDataFolder) {
    const std::string w = WindowsDir();
    TestRun t;
    t.UseFakeShell();
    FakeShellFolders()[CSIDL_APPDATA] = "C:\\Docs\\bob\\Application Data";
    ExpectRows(t,
               {
                   {true, "#AppData#", "C:\\Docs\\bob\\Application Data"},
                   {true, "#LocalAppData#", "C:\\Docs\\bob\\Local Settings\\Application Data"},
                   {true, "#AllUsersAppData#", "C:\\Docs\\All Users\\Application Data"},
                   {true, "#AllUsersDocuments#", "C:\\Docs\\All Users\\Documents"},
                   {true, "#AllUsersDesktop#", "C:\\Docs\\All Users\\Desktop"},
                   {true, "#UserDir#", "C:\\Docs\\bob"},
                   {true, "#AllUsersDir#", "C:\\Docs\\All Users"},
                   {true, "#AllUsersPrograms#", "C:\\Docs\\All Users\\Start Menu\\Programs"},
                   {true, "#AllUsersStartMenu#", "C:\\Docs\\All Users\\Start Menu"},
                   {true, "#AllUsersStartup#", "C:\\Docs\\All Users\\Start Menu\\Programs\\Startup"},
                   // The 9x family never builds on the profile folders.
                   {false, "#AllUsersPrograms#", w + "\\All Users\\Start Menu\\Programs"},
                   {false, "#LocalAppData#", w + "\\Application Data"},
                   {false, "#AllUsersDesktop#", w + "\\All Users\\Desktop"},
                   {false, "#UserDir#", w},
               },
               "only the application-data folder");

    // Profiles root needs two backslashes, the profile folder one; "c:\" when there is none.
    FakeShellFolders()[CSIDL_APPDATA] = "C:\\Data";
    ExpectRows(t,
               {
                   {true, "#LocalAppData#", "C:\\Local Settings\\Application Data"},
                   {true, "#AllUsersAppData#", w + "\\Profiles\\All Users\\Application Data"},
                   {true, "#UserDir#", "C:\\"},
               },
               "application data at a drive's top");
    FakeShellFolders()[CSIDL_APPDATA] = "Data";
    ExpectRows(
        t,
        {
            {true, "#LocalAppData#", w + "\\Profiles\\Administrator\\Local Settings\\Application Data"},
            {true, "#UserDir#", "c:\\"},
        },
        "application data without a backslash");
}

TEST(FolderTokenTable, FallbacksThatWouldOverflowTheirBufferAreSkippedNotCut) {
    const std::string w = WindowsDir();
    TestRun t;
    t.UseFakeShell();
    // The profile folder is 228 characters: with its 32-character tail it needs 261 bytes.
    FakeShellFolders()[CSIDL_APPDATA] = "C:\\" + std::string(225, 'p') + "\\AppData";
    // The profiles root is 233 characters: with its 27-character tail it needs 261 bytes.
    ExpectRows(t,
               {{true, "#LocalAppData#", w + "\\Profiles\\Administrator\\Local Settings\\Application Data"}},
               "long profile folder");
    FakeShellFolders()[CSIDL_APPDATA] = "C:\\" + std::string(230, 'p') + "\\x\\y";
    ExpectRows(t, {{true, "#AllUsersAppData#", w + "\\Profiles\\All Users\\Application Data"}},
               "long profiles root");
    // A shorter one still fits.
    FakeShellFolders()[CSIDL_APPDATA] = "C:\\" + std::string(200, 'p') + "\\x\\y";
    ExpectRows(
        t, {{true, "#AllUsersAppData#", "C:\\" + std::string(200, 'p') + "\\All Users\\Application Data"}},
        "profiles root that fits");
}

TEST(FolderTokenTable, FirstLookupResultsKeepRootsAndLoseTrailingBackslashes) {
    TestRun t;
    t.UseFakeShell();
    for (bool nt : {true, false}) {
        t.run.platform.nt = t.run.paths.nt = nt;
        FakeShellFolders()[CSIDL_COMMON_DOCUMENTS] = "D:\\Shared";
        EXPECT_EQ(Resolve(t.run, "#AllUsersDir#"), "D:\\");
        FakeShellFolders()[CSIDL_COMMON_DOCUMENTS] = "C:\\Users\\Public\\Documents";
        EXPECT_EQ(Resolve(t.run, "#AllUsersDir#"), "C:\\Users\\Public");
        EXPECT_EQ(Resolve(t.run, "#AllUsersDocuments#"), "C:\\Users\\Public\\Documents");
        FakeShellFolders()[CSIDL_COMMON_DOCUMENTS] = "Shared";
        EXPECT_EQ(Resolve(t.run, "#AllUsersDir#"), "c:\\");
        FakeShellFolders()[CSIDL_DESKTOPDIRECTORY] = "C:\\Docs\\";
        EXPECT_EQ(Resolve(t.run, "#Desktop#"), "C:\\Docs");
        FakeShellFolders()[CSIDL_DESKTOPDIRECTORY] = "D:\\";
        EXPECT_EQ(Resolve(t.run, "#Desktop#"), "D:\\");
        FakeShellFolders()[CSIDL_PROFILE] = "E:\\Home\\ann";
        EXPECT_EQ(Resolve(t.run, "#UserDir#"), "E:\\Home\\ann");
    }
}

TEST(FolderTokenTable, RegistryRowsAndTheirFallbacks) {
    TestRun t;
    t.UseFakeSetup();
    EXPECT_EQ(Resolve(t.run, "#CommonFiles#"), "#CommonFiles#");
    EXPECT_EQ(Resolve(t.run, "#Program Files#"), "#Program Files#");
    FakeSetupValues()["ProgramFilesDir"] = "E:\\Apps";
    EXPECT_EQ(Resolve(t.run, "#CommonFiles#"), "E:\\Apps\\Common Files");
    EXPECT_EQ(Resolve(t.run, "#Program Files#"), "E:\\Apps");
    FakeSetupValues()["ProgramFilesDir"] = "E:\\Apps\\";
    EXPECT_EQ(Resolve(t.run, "#CommonFiles#"), "E:\\Apps\\Common Files");
    EXPECT_EQ(Resolve(t.run, "#Program Files#"), "E:\\Apps");
    FakeSetupValues()["CommonFilesDir"] = "F:\\Shared Code\\";
    EXPECT_EQ(Resolve(t.run, "#CommonFiles#"), "F:\\Shared Code");
    FakeSetupValues()["ProgramFilesDir"] = "E:\\" + std::string(250, 'a');
    FakeSetupValues().erase("CommonFilesDir");
    EXPECT_EQ(Resolve(t.run, "#CommonFiles#"), "#CommonFiles#")
        << "a fallback that does not fit is no folder";
}

TEST(FolderTokenTable, RegistryValuesAreReadWholeAndTerminated) {
    char path[kPathBufferSize];
    std::memset(path, 'Z', sizeof(path));
    ASSERT_TRUE(ReadSetupFolder("ProgramFilesDir", path, false));
    EXPECT_TRUE(TextEqualsNoCase(path, ShellDir(CSIDL_PROGRAM_FILES).c_str())) << path;
    std::memset(path, 'Z', sizeof(path));
    EXPECT_FALSE(ReadSetupFolder("NoSuchValueHere", path, false));
    EXPECT_EQ(path[0], 'Z') << "a failed read leaves the buffer alone";
}

TEST(FolderTokenTable, SpecialFolderLookupFillsOnlyOnSuccess) {
    char path[kPathBufferSize];
    ASSERT_TRUE(GetSpecialFolder(path, CSIDL_FONTS));
    EXPECT_TRUE(TextEqualsNoCase(path, ShellDir(CSIDL_FONTS).c_str())) << path;
    std::memset(path, 'Z', sizeof(path));
    EXPECT_FALSE(GetSpecialFolder(path, 0x7F));  // no such CSIDL
    EXPECT_EQ(path[0], 'Z');
}

TEST(FolderTokenExpansion, EdgeCases) {
    TestRun t;
    const std::string w = WindowsDir();
    const std::vector<TokenCase> cases = {
        {"#windows#\\Fonts", w + "\\Fonts"},
        {"#Nothing#\\x", "\\x"},
        {"a#b#c", "ac"},
        {"50#", "50#"},
        {"#Desktop", "#Desktop"},
        {"##", ""},
        {"#AppData##Desktop#", ShellDir(CSIDL_APPDATA) + ShellDir(CSIDL_DESKTOPDIRECTORY)},
        {"#A##B#", ""},
        {"#Windows##System#", w + SystemDir()},
        {"#TempDir#\\*.tmp", TempDir() + "\\*.tmp"},
        {"x #InstallDir#\\setup.exe /y", "x C:\\Tools\\App\\setup.exe /y"},
        {"#System#\\..\\*.txt", SystemDir() + "\\..\\*.txt"},
        {"", ""},
    };
    for (const TokenCase& c : cases) {
        EXPECT_TRUE(TextEqualsNoCase(Expand(t.run, c.token).c_str(), c.expected.c_str()))
            << c.token << " gave " << Expand(t.run, c.token) << ", expected " << c.expected;
    }
}

TEST(FolderTokenExpansion, TextProducedByATokenIsNotScannedAgain) {
    TestRun t;
    ASSERT_TRUE(CopyText(t.installFolder, "C:\\a#Windows#b\\"));
    EXPECT_EQ(Expand(t.run, "#InstallDir#\\x"), "C:\\a#Windows#b\\x");
}

TEST(FolderTokenExpansion, EmptySourceClearsTheDestination) {
    TestRun t;
    char dest[8] = "ZZZZZZZ";
    EXPECT_EQ(ExpandFolderTokens(t.run.paths, dest, "", sizeof(dest)), 0u);
    EXPECT_EQ(dest[0], '\0');
}

TEST(FolderTokenExpansion, ExpansionsThatDoNotFitAreRefusedNotCut) {
    TestRun t;
    std::string repeated;
    for (int i = 0; i < 7000; ++i) repeated += "#Windows#";
    char dest[kPathBufferSize];
    std::memset(dest, 'Z', sizeof(dest));
    EXPECT_EQ(ExpandFolderTokens(t.run.paths, nullptr, repeated.c_str(), kExpansionScratchSize),
              kExpansionTooLong);
    EXPECT_EQ(ExpandFolderTokens(t.run.paths, dest, repeated.c_str(), sizeof(dest)), kExpansionTooLong);
    EXPECT_EQ(dest[0], '\0');

    // The longest text the scratch holds, and one byte more.
    EXPECT_EQ(Expand(t.run, std::string(kExpansionScratchSize - 1, 'a')).size(), kExpansionScratchSize - 1);
    EXPECT_EQ(Expand(t.run, std::string(kExpansionScratchSize, 'a')), "<too long>");
    EXPECT_EQ(Expand(t.run, std::string(kExpansionScratchSize - 5, 'a') + "#Windows#"), "<too long>");

    // A token longer than a path buffer matches nothing and yields nothing.
    EXPECT_EQ(Expand(t.run, "#" + std::string(70000, 'A') + "#\\*.zzz"), "\\*.zzz");
    EXPECT_EQ(Expand(t.run, "#" + std::string(300, 'A') + "#Windows#"), "Windows#");

    // A destination one byte short gets nothing rather than a shorter path.
    std::string pattern = WindowsDir() + "\\Cache\\*.tmp";
    uint32_t length = static_cast<uint32_t>(pattern.size());
    std::memset(dest, 'Z', sizeof(dest));
    EXPECT_EQ(ExpandFolderTokens(t.run.paths, dest, "#Windows#\\Cache\\*.tmp", length), length);
    EXPECT_EQ(dest[0], '\0');
    EXPECT_EQ(ExpandFolderTokens(t.run.paths, dest, "#Windows#\\Cache\\*.tmp", length + 1), length);
    EXPECT_TRUE(TextEqualsNoCase(dest, pattern.c_str())) << dest;
}

}  // namespace

// The 64-bit programs' folders: the 64-bit view's setup values and Sysnative on 64-bit Windows, the
// ordinary folders on 32-bit Windows.
TEST(FolderTokenTable, SixtyFourBitFoldersByTheMachinesKind) {
    TestRun t;
    t.UseFakeSetup();
    FakeSetupValues()["ProgramFilesDir"] = "C:\\Program Files (x86)";
    FakeSetupValues()["CommonFilesDir"] = "C:\\Program Files (x86)\\Common Files";
    FakeSetupValues()["64:ProgramFilesDir"] = "C:\\Program Files\\";
    FakeSetupValues()["64:CommonFilesDir"] = "C:\\Program Files\\Common Files";
    for (bool wide : {true, false}) {
        SCOPED_TRACE(wide ? "64-bit Windows" : "32-bit Windows");
        t.run.paths.wow64 = wide;
        EXPECT_EQ(Resolve(t.run, "#ProgramFiles64#"), wide ? "C:\\Program Files" : "C:\\Program Files (x86)");
        EXPECT_EQ(Resolve(t.run, "#commonfiles64#"),
                  wide ? "C:\\Program Files\\Common Files" : "C:\\Program Files (x86)\\Common Files");
        // Sysnative for a 32-bit program on 64-bit Windows; a 64-bit build's own System folder is the one.
        EXPECT_EQ(Resolve(t.run, "#System64#"),
                  wide && sizeof(void*) == 4 ? WindowsDir() + "\\Sysnative" : SystemDir());
        // The ordinary tokens keep the view a 32-bit program has.
        EXPECT_EQ(Resolve(t.run, "#Program Files#"), "C:\\Program Files (x86)");
    }
    // Without the 64-bit view's common value, its program folder's "Common Files".
    FakeSetupValues().erase("64:CommonFilesDir");
    t.run.paths.wow64 = true;
    EXPECT_EQ(Resolve(t.run, "#CommonFiles64#"), "C:\\Program Files\\Common Files");
}

// On the machine: the tokens name folders that exist, and on 64-bit Windows the 64-bit ones.
TEST(FolderTokenTable, SixtyFourBitFoldersOnThisMachine) {
    TestRun t;
    for (const char* token : {"#ProgramFiles64#", "#CommonFiles64#", "#System64#"}) {
        std::string folder = Resolve(t.run, token);
        DWORD attributes = GetFileAttributesA(folder.c_str());
        EXPECT_TRUE(attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY))
            << token << " gave " << folder;
        if (t.run.paths.wow64) EXPECT_EQ(folder.find("(x86)"), std::string::npos) << token << ": " << folder;
    }
    char system[MAX_PATH] = {};
    ASSERT_NE(GetSystemDirectoryA(system, MAX_PATH), 0u);
    // A 32-bit program on 64-bit Windows reaches the 64-bit System folder through Sysnative; every
    // other program's own System folder is the one.
    EXPECT_EQ(Resolve(t.run, "#System64#") == system, !t.run.paths.wow64 || sizeof(void*) == 8);
}
