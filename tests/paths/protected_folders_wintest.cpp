// The protected-folder test on the real platform: the folders of both families, and every spelling
// of a protected folder that the file system accepts as that folder.
#include <cstring>
#include <gtest/gtest.h>
#include <string>
#include <vector>

#include "paths/canonical_path.h"
#include "paths/folder_tokens.h"
#include "paths/path_fixtures.h"

using namespace path_testing;

namespace {

const char kQuickLaunchPart[] = "\\Microsoft\\Internet Explorer\\Quick Launch";

// Asks the test and checks that the caller's text comes back exactly as it was passed.
bool Protected(RunState& run, const std::string& path) {
    char buffer[kPathBufferSize] = {};
    if (path.size() >= kPathBufferSize) return IsProtectedFolder(run.paths, path.c_str());
    EXPECT_TRUE(CopyText(buffer, path.c_str()));
    bool result = IsProtectedFolder(run.paths, buffer);
    EXPECT_EQ(std::string(buffer), path) << "the caller's path must come back unchanged";
    return result;
}

std::string Canonical(RunState& run, const std::string& path) {
    char canonical[kPathBufferSize];
    std::memset(canonical, 'Z', sizeof(canonical));
    if (!ResolveRemovableFolder(run.paths, path.c_str(), canonical)) {
        EXPECT_EQ(canonical[0], '\0') << "a refused folder leaves no path to act on";
        return "<protected>";
    }
    return canonical;
}

std::string Upper(std::string text) {
    for (char& c : text) c = AsciiUpper(c);
    return text;
}

// The folders of the comparison table that both families look up, as the platform names them.
std::vector<std::string> FoldersOfBothFamilies() {
    std::string appData = ShellDir(CSIDL_APPDATA);
    std::string commonAppData = ShellDir(CSIDL_COMMON_APPDATA);
    return {WindowsDir(),
            SystemDir(),
            ShellDir(CSIDL_DESKTOP),
            ShellDir(CSIDL_DESKTOPDIRECTORY),
            ShellDir(CSIDL_FONTS),
            ShellDir(CSIDL_PROGRAMS),
            ShellDir(CSIDL_STARTMENU),
            ShellDir(CSIDL_STARTUP),
            appData,
            appData + kQuickLaunchPart,
            commonAppData,
            commonAppData + kQuickLaunchPart,
            ShellDir(CSIDL_COMMON_DOCUMENTS),
            ShellDir(CSIDL_PROGRAM_FILES),
            ShellDir(CSIDL_PROGRAM_FILES_COMMON)};
}

std::vector<std::string> AllUsersMenuFolders() {
    return {ShellDir(CSIDL_COMMON_DESKTOPDIRECTORY), ShellDir(CSIDL_COMMON_PROGRAMS),
            ShellDir(CSIDL_COMMON_STARTMENU), ShellDir(CSIDL_COMMON_STARTUP)};
}

TEST(ProtectedFolders, ShortPathsAreProtected) {
    TestRun t;
    for (const char* path : {"", "C", "C:", "C:\\", "ab\\"}) EXPECT_TRUE(Protected(t.run, path)) << path;
}

TEST(ProtectedFolders, EveryTableFolderInAnySpellingOfCaseAndTrailingBackslash) {
    for (bool nt : {true, false}) {
        TestRun t(nt);
        for (const std::string& folder : FoldersOfBothFamilies()) {
            ASSERT_FALSE(folder.empty());
            EXPECT_TRUE(Protected(t.run, folder)) << folder;
            EXPECT_TRUE(Protected(t.run, folder + "\\")) << folder;
            EXPECT_TRUE(Protected(t.run, Upper(folder) + "\\")) << folder;
        }
    }
}

TEST(ProtectedFolders, AllUsersMenuFoldersAreProtectedOnNtOnly) {
    TestRun nt(true);
    TestRun nineX(false);
    for (const std::string& folder : AllUsersMenuFolders()) {
        ASSERT_FALSE(folder.empty());
        EXPECT_TRUE(Protected(nt.run, folder)) << folder;
        EXPECT_FALSE(Protected(nineX.run, folder)) << folder;
    }
}

TEST(ProtectedFolders, FoldersBelowOrAboveAreNotProtectedByTheirNeighbour) {
    TestRun t;
    Sandbox sandbox;
    std::string appData = ShellDir(CSIDL_APPDATA);
    const std::string notProtected[] = {
        WindowsDir() + "\\inf",
        WindowsDir() + "\\NoSuchFolder",
        appData + "\\Microsoft\\Internet Explorer",
        appData + kQuickLaunchPart + "\\Mine",
        sandbox.path(),
        sandbox.Make("App"),
    };
    for (const std::string& path : notProtected) {
        EXPECT_FALSE(Protected(t.run, path)) << path;
        EXPECT_FALSE(Protected(t.run, path + "\\")) << path;
    }
}

TEST(ProtectedFolders, ProgramFilesNeedsTheRegistry) {
    TestRun t;
    std::string programFiles = ShellDir(CSIDL_PROGRAM_FILES);
    EXPECT_TRUE(Protected(t.run, programFiles));
    TestRun withoutRegistry;
    withoutRegistry.UseFakeSetup();
    EXPECT_FALSE(Protected(withoutRegistry.run, programFiles));
    EXPECT_TRUE(Protected(withoutRegistry.run, WindowsDir()));
}

TEST(ProtectedFolders, RootsOfWhatTokensNameAndTheOtherProgramFolders) {
    std::vector<std::string> folders = {ShellDir(CSIDL_PROFILE),
                                        ParentDir(ShellDir(CSIDL_PROFILE)),
                                        ShellDir(CSIDL_PERSONAL),
                                        ShellDir(CSIDL_LOCAL_APPDATA),
                                        TempDir(),
                                        ParentDir(ShellDir(CSIDL_COMMON_DOCUMENTS))};
    char wow64[MAX_PATH] = {};
    UINT(WINAPI * wowFolder)
    (LPSTR, UINT) = reinterpret_cast<UINT(WINAPI*)(LPSTR, UINT)>(reinterpret_cast<void*>(
        GetProcAddress(GetModuleHandleA("kernel32.dll"), "GetSystemWow64DirectoryA")));
    if (wowFolder && wowFolder(wow64, MAX_PATH)) folders.push_back(wow64);
    // The other half of a 64-bit machine's program folders.
    std::string x86 = ShellDir(CSIDL_PROGRAM_FILESX86);
    if (!x86.empty()) folders.push_back(x86);
    for (bool nt : {true, false}) {
        TestRun t(nt);
        for (const std::string& folder : folders) {
            ASSERT_FALSE(folder.empty());
            EXPECT_TRUE(Protected(t.run, folder)) << folder;
        }
    }
}

// Each spelling names the Windows folder, the System folder or a drive root, or has no canonical form
// (""): then nothing can be checked and the folder is never acted on.
TEST(ProtectedFolders, EverySpellingOfTheWindowsFolderIsProtected) {
    const std::string w = WindowsDir();
    const std::string s = SystemDir();
    const std::string drive = w.substr(0, 2);
    const std::string root = drive + "\\";
    const struct {
        std::string path;
        std::string canonical;
    } spellings[] = {
        {w + "\\.", w},
        {w + "\\.\\", w},
        {s + "\\..", w},
        {s + "\\..\\", w},
        {drive + "\\\\" + w.substr(3), w},
        {Replace(w, '\\', "\\\\"), w},
        {Replace(w, '\\', "/"), w},
        {Replace(w, '\\', "/") + "/", w},
        {w + ".", w},
        {w + " ", w},
        {w + ". ", w},
        {w + "...", w},
        {w + "\\\\", w},
        {w + "\\...", w},
        {w + ".\\" + s.substr(w.size() + 1) + "\\..", w},
        {w + ".\\" + s.substr(w.size() + 1), s},
        {Upper(w) + "\\", Upper(w)},
        {root + "\\", root},
        {drive + "\\.", root},
        {drive + "\\.\\", root},
        {s + "\\..\\..\\..", root},
        {"\\\\localhost\\" + drive.substr(0, 1) + "$" + w.substr(2),
         "\\\\localhost\\" + drive.substr(0, 1) + "$" + w.substr(2)},
        {"\\\\localhost\\" + drive.substr(0, 1) + "$", "\\\\localhost\\" + drive.substr(0, 1) + "$"},
        {"\\\\localhost\\share\\", "\\\\localhost\\share"},
        {w + "::$INDEX_ALLOCATION", ""},
        {w + "\\NUL", ""},
        {"\\\\?\\" + w, ""},
        {"\\\\.\\" + w, ""},
        {"//?/" + Replace(w, '\\', "/"), ""},
        {"\\??\\" + w, ""},
        {"\\\\.\\PhysicalDrive0", ""},
        {drive + w.substr(3), ""},
        {w.substr(2), ""},
        {"windows\\system32", ""},
        {"..\\..\\..", ""},
        {w + "\\*", ""},
        {w + "\\" + std::string(300, 'x'), ""},
    };
    for (const auto& spelling : spellings) {
        char canonical[kPathBufferSize];
        bool formed = CanonicalizeFolderPath(spelling.path.c_str(), canonical);
        EXPECT_EQ(formed, !spelling.canonical.empty()) << spelling.path;
        if (formed) {
            EXPECT_TRUE(TextEqualsNoCase(canonical, spelling.canonical.c_str()))
                << spelling.path << " gave " << canonical << ", expected " << spelling.canonical;
        }
    }
    for (bool nt : {true, false}) {
        TestRun t(nt);
        for (const auto& spelling : spellings) EXPECT_TRUE(Protected(t.run, spelling.path)) << spelling.path;
    }
}

TEST(ProtectedFolders, OtherSpellingsOfTheSystemAndUserFolders) {
    TestRun t;
    const std::string w = WindowsDir();
    const std::string startup = ShellDir(CSIDL_COMMON_STARTUP);
    const std::string spellings[] = {
        w + ".\\" + SystemDir().substr(w.size() + 1),
        startup + "\\.",
        startup + ".",
        Replace(ShellDir(CSIDL_STARTUP), '\\', "/") + "//",
        ShellDir(CSIDL_APPDATA) + kQuickLaunchPart + "\\..\\Quick Launch\\",
    };
    for (const std::string& path : spellings) EXPECT_TRUE(Protected(t.run, path)) << path;
}

TEST(ProtectedFolders, ShortNamesOfProtectedFoldersAreProtected) {
    TestRun t;
    const std::string programFiles = ShellDir(CSIDL_PROGRAM_FILES);
    const std::string shortName = ShortName(programFiles);
    ASSERT_FALSE(shortName.empty());
    ASSERT_FALSE(TextEqualsNoCase(shortName.c_str(), programFiles.c_str()))
        << "the platform gave no short name";
    for (const std::string& path : {shortName, shortName + "\\", shortName + "\\.", Upper(shortName)}) {
        char canonical[kPathBufferSize];
        ASSERT_TRUE(CanonicalizeFolderPath(path.c_str(), canonical)) << path;
        EXPECT_TRUE(TextEqualsNoCase(canonical, programFiles.c_str())) << path << " gave " << canonical;
        EXPECT_TRUE(Protected(t.run, path)) << path;
    }
    const std::string commonFiles = ShellDir(CSIDL_PROGRAM_FILES_COMMON);
    const std::string shortCommon = shortName + commonFiles.substr(programFiles.size());
    EXPECT_TRUE(Protected(t.run, shortCommon)) << shortCommon;
}

// The path the file system finally reaches for `folder`, asked of the platform directly; empty when
// the platform cannot tell.
std::string FinalPath(const std::string& folder) {
    using FinalPathFn = DWORD(WINAPI*)(HANDLE, LPSTR, DWORD, DWORD);
    FinalPathFn finalPath = reinterpret_cast<FinalPathFn>(reinterpret_cast<void*>(
        GetProcAddress(GetModuleHandleA("kernel32.dll"), "GetFinalPathNameByHandleA")));
    if (!finalPath) return "";
    HANDLE handle = CreateFileA(folder.c_str(), 0, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                                nullptr, OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr);
    if (handle == INVALID_HANDLE_VALUE) return "";
    char path[MAX_PATH + 8] = {};
    DWORD n = finalPath(handle, path, sizeof(path), 0);
    CloseHandle(handle);
    if (n == 0 || n >= sizeof(path)) return "";
    std::string final = path;
    return final.rfind("\\\\?\\", 0) == 0 ? final.substr(4) : final;
}

// Wine keeps the user's desktop as a link to the home folder: both names reach one folder.
TEST(ProtectedFolders, AFolderReachedThroughALinkIsTheFolderItLinksTo) {
    TestRun t;
    const std::string desktop = ShellDir(CSIDL_DESKTOPDIRECTORY);
    const std::string final = FinalPath(desktop);
    if (final.empty() || TextEqualsNoCase(final.c_str(), desktop.c_str())) {
        GTEST_SKIP() << "the desktop is no link here: " << desktop;
    }
    EXPECT_TRUE(Protected(t.run, final)) << final << " is " << desktop;
    EXPECT_TRUE(Protected(t.run, final + "\\.")) << final;
    EXPECT_FALSE(Protected(t.run, final + "\\NoSuchFolder"));
    char canonical[kPathBufferSize];
    EXPECT_TRUE(CanonicalizeFolderPath(final.c_str(), canonical));
    char reached[kPathBufferSize];
    ASSERT_EQ(ReadFinalFolderPath(desktop.c_str(), reached), FinalPathResult::kFound);
    EXPECT_TRUE(TextEqualsNoCase(reached, canonical)) << reached;
}

// A clean-up pattern's folder is tested as the platform will resolve it.
TEST(ProtectedFolders, PatternFoldersThatResolveToProtectedFolders) {
    TestRun t;
    const std::string programFiles = ShortName(ShellDir(CSIDL_PROGRAM_FILES));
    const std::string patterns[] = {
        "#System#\\..\\*.txt",      "#Windows#\\.\\*.msi", "#System#\\..\\..\\*.*",  "#AppData#\\.\\*.tmp",
        "#Nothing#System32\\*.dll", "#TempDir#\\.\\*.tmp", programFiles + "\\*.log",
    };
    for (const std::string& pattern : patterns) {
        char expanded[kPathBufferSize];
        ASSERT_LT(ExpandFolderTokens(t.run.paths, expanded, pattern.c_str(), kPathBufferSize),
                  kPathBufferSize);
        char* mask = std::strrchr(expanded, '\\');
        ASSERT_NE(mask, nullptr) << expanded;
        *mask = '\0';
        EXPECT_EQ(Canonical(t.run, expanded), "<protected>") << pattern << " -> " << expanded;
    }
}

TEST(ProtectedFolders, RemovableFoldersComeBackInTheirOneCanonicalSpelling) {
    TestRun t;
    Sandbox sandbox;
    const std::string app = sandbox.Make("App");
    const std::string longName = sandbox.Make("A Long Folder Name");
    const std::string shortName = ShortName(longName);
    ASSERT_FALSE(shortName.empty());
    const struct {
        std::string path;
        std::string canonical;
    } cases[] = {
        {app, app},
        {app + "\\", app},
        {app + "\\..\\App\\.\\", app},
        {Replace(app, '\\', "/"), app},
        {Replace(app, '\\', "\\\\"), app},
        {app + ". ", app},
        {app + "\\Missing\\..", app},
        {app + "\\Missing", app + "\\Missing"},
        {shortName, longName},
        {shortName + "\\Missing\\More\\", longName + "\\Missing\\More"},
        {Upper(sandbox.path()) + "\\app", Upper(sandbox.path()) + "\\App"},
    };
    for (const auto& c : cases) {
        EXPECT_TRUE(TextEqualsNoCase(Canonical(t.run, c.path).c_str(), c.canonical.c_str()))
            << c.path << " gave " << Canonical(t.run, c.path) << ", expected " << c.canonical;
    }
}

TEST(ProtectedFolders, ListingStandsInForTheLongNameService) {
    Sandbox sandbox;
    const std::string longName = sandbox.Make("A Long Folder Name");
    const std::string programFiles = ShellDir(CSIDL_PROGRAM_FILES);
    const struct {
        std::string path;
        std::string expanded;
    } cases[] = {
        {ShortName(programFiles), programFiles},
        {ShortName(longName) + "\\Missing\\x", longName + "\\Missing\\x"},
        {ShortName(longName) + "\\", longName + "\\"},
    };
    for (const auto& c : cases) {
        char path[kPathBufferSize];
        ASSERT_TRUE(CopyText(path, c.path.c_str()));
        ASSERT_TRUE(ExpandShortNames(path)) << c.path;
        EXPECT_TRUE(TextEqualsNoCase(path, c.expanded.c_str())) << c.path << " gave " << path;
    }
    char relative[kPathBufferSize] = "Program Files";
    EXPECT_FALSE(ExpandShortNames(relative));
}

TEST(ProtectedFolders, TheSetIsBuiltOnceAndFreedOnRelease) {
    TestRun t;
    EXPECT_EQ(t.run.paths.protectedSet.get(), nullptr);
    EXPECT_TRUE(Protected(t.run, WindowsDir()));
    ProtectedFolderSet* built = t.run.paths.protectedSet.get();
    ASSERT_NE(built, nullptr);
    EXPECT_FALSE(Protected(t.run, WindowsDir() + "\\inf"));
    EXPECT_EQ(t.run.paths.protectedSet.get(), built);
    t.run.paths.protectedSet.reset();
    EXPECT_EQ(t.run.paths.protectedSet.get(), nullptr);
}

}  // namespace

namespace {

// A folder value of HKLM\Software\Microsoft\Windows\CurrentVersion as 64-bit programs read it (the
// ordinary one on 32-bit Windows, whose one view is both).
std::string SetupFolderOf64BitPrograms(const char* value) {
    HKEY key = nullptr;
    char folder[MAX_PATH + 1] = {};
    DWORD size = MAX_PATH;
    if (RegOpenKeyExA(HKEY_LOCAL_MACHINE, "Software\\Microsoft\\Windows\\CurrentVersion", 0,
                      KEY_READ | KEY_WOW64_64KEY, &key) == ERROR_SUCCESS) {
        RegQueryValueExA(key, value, nullptr, nullptr, reinterpret_cast<BYTE*>(folder), &size);
        RegCloseKey(key);
    }
    return folder;
}

}  // namespace

// Both views of a 64-bit machine: the 64-bit programs' folders, and System32 as this 32-bit program
// reaches it (Sysnative), in any spelling; their subfolders stay removable. On 32-bit Windows the
// same folders are the ordinary ones.
TEST(ProtectedFolders, TheSixtyFourBitProgramsFoldersInBothViews) {
    char wow64[MAX_PATH] = {};
    bool wide = GetSystemWow64DirectoryA(wow64, MAX_PATH) != 0;
    std::string programs = SetupFolderOf64BitPrograms("ProgramFilesDir");
    std::string common = SetupFolderOf64BitPrograms("CommonFilesDir");
    ASSERT_FALSE(programs.empty());
    ASSERT_FALSE(common.empty());
    std::vector<std::string> folders = {programs, common, Upper(programs) + "\\", common + "\\."};
    if (wide) {
        EXPECT_EQ(programs.find("(x86)"), std::string::npos) << programs;
        // How a 32-bit program reaches the 64-bit System32; a 64-bit build's own System32 is it.
        if (sizeof(void*) == 4) {
            folders.push_back(WindowsDir() + "\\Sysnative");
            folders.push_back(Upper(WindowsDir()) + "\\SYSNATIVE\\");
        }
    }
    for (bool nt : {true, false}) {
        TestRun t(nt);
        EXPECT_EQ(t.run.paths.wow64, wide);
        for (const std::string& folder : folders) EXPECT_TRUE(Protected(t.run, folder)) << folder;
        EXPECT_FALSE(Protected(t.run, programs + "\\Vendor")) << "a program's own folder stays removable";
    }
}
