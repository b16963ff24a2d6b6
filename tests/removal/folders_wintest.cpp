// The wildcard, shortcut and program-folder passes on real trees in a sandbox: each test takes a
// snapshot before and after and checks that exactly the expected items went.
#include "removal/folders.h"

#include <windows.h>

#include <shlobj.h>

#include <gtest/gtest.h>

#include "format/layout.h"
#include "removal/removal_fixtures.h"
#include "support/unix_side.h"

namespace {

using removal_testing::FolderSandbox;
using removal_testing::MakeTree;
using removal_testing::Removed;
using removal_testing::TreeSnapshot;
using Items = std::set<std::string>;

constexpr int kCsidlPersonal = 5;
constexpr int kCsidlDesktopDirectory = 16;

std::string CurrentFolder() {
    char path[MAX_PATH] = {};
    GetCurrentDirectoryA(MAX_PATH, path);
    return path;
}

// A tree of logs below the install folder, with files that match and files that don't, folders that
// end up empty and ones that don't, and canaries outside the pattern's folder.
const std::vector<std::string> kLogTree = {
    "App\\app.exe",
    "App\\top.log",
    "App\\Logs\\a.log",
    "App\\Logs\\keep.txt",
    "App\\Logs\\Sub\\b.log",
    "App\\Logs\\Sub\\Deeper\\c.LOG",
    "App\\Logs\\Mixed\\d.log",
    "App\\Logs\\Mixed\\e.dat",
    "App\\Logs\\Empty\\",
    "App\\Other\\f.log",
    "outside.log",
};

TEST(WildcardPass, CleansThePatternFolderTreeAndRemovesTheFoldersLeftEmpty) {
    struct Case {
        const char* name;
        std::string pattern;  // "%S" stands for the sandbox folder
        Items removed;
    };
    const Items logs = {"App\\Logs\\a.log",         "App\\Logs\\Sub\\b.log", "App\\Logs\\Sub\\Deeper\\c.LOG",
                        "App\\Logs\\Sub\\Deeper\\", "App\\Logs\\Sub\\",      "App\\Logs\\Mixed\\d.log",
                        "App\\Logs\\Empty\\"};
    const Case cases[] = {
        {"relative to the install folder", "Logs\\*.log", logs},
        {"a slash in the folder", "#TempDir#/%S/App/Logs\\*.log", logs},
        {"a slash in the mask", "Logs/*.log", {}},
        {"a token", "#TempDir#\\%S\\App\\Logs\\*.log", logs},
        {"the install folder's own tree", "*.dat", {"App\\Logs\\Mixed\\e.dat", "App\\Logs\\Empty\\"}},
        {"nothing matches: only the empty folder goes", "Logs\\*.none", {"App\\Logs\\Empty\\"}},
        {"a folder that does not exist", "Missing\\*.log", {}},
        {"no backslash after expansion", "#Unknown#*.log", {}},
        {"a relative path after expansion", "#Unknown#Logs\\*.log", {}},
        {"a mask naming a drive", "Logs\\C:*.log", {}},
        {"a mask of two dots", "Logs\\a\\..", {}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        FolderSandbox box;
        MakeTree(box.root(), kLogTree);
        std::string pattern = c.pattern;
        size_t s = pattern.find("%S");
        if (s != std::string::npos) {
            std::string name = box.root().substr(path_testing::TempDir().size() + 1);
            pattern.replace(s, 2, name);
        }
        box.lists.Pattern(pattern);
        box.Attach();
        // The install folder as the current directory: a relative path must not be read from it.
        std::string before = CurrentFolder();
        SetCurrentDirectoryA(box.Path("App").c_str());
        Items snapshot = TreeSnapshot(box.root());
        RemoveWildcardMatches(box.run());
        EXPECT_EQ(CurrentFolder(), box.Path("App")) << "the current directory is put back";
        SetCurrentDirectoryA(before.c_str());
        EXPECT_EQ(Removed(snapshot, TreeSnapshot(box.root())), c.removed);
    }
}

TEST(WildcardPass, EmptyListsDoNothing) {
    FolderSandbox box;
    MakeTree(box.root(), kLogTree);
    box.Attach();  // no pattern: the list is only its end
    Items snapshot = TreeSnapshot(box.root());
    RemoveWildcardMatches(box.run());
    box.run().data.patterns = nullptr;
    RemoveWildcardMatches(box.run());
    EXPECT_EQ(Removed(snapshot, TreeSnapshot(box.root())), Items{});
}

TEST(WildcardPass, LeavesReadOnlyFilesAndTheirFolders) {
    FolderSandbox box;
    MakeTree(box.root(), {"App\\Logs\\a.log", "App\\Logs\\Ro\\locked.log"});
    SetFileAttributesA(box.Path("App\\Logs\\Ro\\locked.log").c_str(), FILE_ATTRIBUTE_READONLY);
    box.lists.Pattern("Logs\\*.log");
    box.Attach();
    Items snapshot = TreeSnapshot(box.root());
    RemoveWildcardMatches(box.run());
    EXPECT_EQ(Removed(snapshot, TreeSnapshot(box.root())), (Items{"App\\Logs\\a.log"}));
    SetFileAttributesA(box.Path("App\\Logs\\Ro\\locked.log").c_str(), FILE_ATTRIBUTE_NORMAL);
}

// A protected folder inside the tree is neither cleaned nor removed, under any spelling of the
// pattern's folder, and the walk goes on with the folders beside it.
TEST(WildcardPass, NeverCleansAProtectedFolder) {
    struct Case {
        const char* pattern;
        Items removed;
    };
    const Items beside = {"App\\Logs\\a.log", "App\\Logs\\Sub\\b.log", "App\\Logs\\Sub\\"};
    const Case cases[] = {
        {"Logs\\*.log", beside},      {"Logs\\Docs\\*.log", {}},
        {"Logs\\Docs\\.\\*.log", {}}, {"Logs\\Docs\\Inner\\..\\*.log", {}},
        {"Logs\\\\Docs\\*.log", {}},  {"Logs\\Docs.\\*.log", {}},
        {"Logs\\Desk\\*.log", {}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.pattern);
        FolderSandbox box;
        MakeTree(box.root(), {"App\\Logs\\a.log", "App\\Logs\\Sub\\b.log", "App\\Logs\\Docs\\mine.log",
                              "App\\Logs\\Docs\\Inner\\deep.log", "App\\Logs\\Desk\\"});
        box.test.UseFakeShell();
        testing_support::FakeShellFolders()[kCsidlPersonal] = box.Path("App\\Logs\\Docs");
        testing_support::FakeShellFolders()[kCsidlDesktopDirectory] = box.Path("App\\Logs\\Desk");
        box.lists.Pattern(c.pattern);
        box.Attach();
        Items snapshot = TreeSnapshot(box.root());
        RemoveWildcardMatches(box.run());
        EXPECT_EQ(Removed(snapshot, TreeSnapshot(box.root())), c.removed);
    }
}

// The system's own trees are refused as `uninstpack check` refuses them, before any lookup.
TEST(WildcardPass, RefusesTheSystemsOwnTrees) {
    std::string drivers = path_testing::SystemDir() + "\\drivers";
    // A 32-bit program on 64-bit Windows sees SysWOW64 as its System folder, which Wine makes
    // without a drivers folder: make it for the test, and remove only what was made here.
    bool madeDrivers = CreateDirectoryA(drivers.c_str(), nullptr) != FALSE;
    std::string canaries[] = {drivers + "\\uninst-canary.zzq",
                              path_testing::SystemDir() + "\\uninst-canary.zzq"};
    for (const auto& canary : canaries) removal_testing::MakeFileAt(canary);
    FolderSandbox box;
    box.lists.Pattern("#System#\\drivers\\uninst-canary.zzq");
    box.lists.Pattern("#Windows#\\System32\\uninst-canary.zzq");
    box.lists.Pattern(drivers + "\\uninst-canary.zzq");
    box.lists.Pattern(path_testing::SystemDir() + "\\..\\System32\\uninst-canary.zzq");
    box.Attach();
    RemoveWildcardMatches(box.run());
    for (const auto& canary : canaries) {
        EXPECT_NE(GetFileAttributesA(canary.c_str()), INVALID_FILE_ATTRIBUTES) << canary;
        DeleteFileA(canary.c_str());
    }
    if (madeDrivers) RemoveDirectoryA(drivers.c_str());
}

// Long names are what the mask is matched against: "*.htm" lists "page.html" through its short
// name, and "*.*" takes names without a dot too.
TEST(WildcardPass, MatchesTheMaskAgainstLongNames) {
    FolderSandbox box;
    MakeTree(box.root(), {"App\\Web\\page.htm", "App\\Web\\page.html", "App\\Web\\settings.data",
                          "App\\All\\README", "App\\All\\a.b.c"});
    box.lists.Pattern("Web\\*.htm");
    box.lists.Pattern("Web\\*.dat");
    box.lists.Pattern("All\\*.*");
    box.Attach();
    Items snapshot = TreeSnapshot(box.root());
    RemoveWildcardMatches(box.run());
    EXPECT_EQ(Removed(snapshot, TreeSnapshot(box.root())),
              (Items{"App\\Web\\page.htm", "App\\All\\README", "App\\All\\a.b.c", "App\\All\\"}));
}

// Makes `link` a directory link to `target`: CreateSymbolicLinkA where the platform has it, and
// under Wine (whose CreateSymbolicLinkA makes nothing) a Unix symbolic link, which Wine shows as a
// reparse point.
bool MakeFolderLink(const std::string& link, const std::string& target) {
    using LinkFn = BOOLEAN(WINAPI*)(LPCSTR, LPCSTR, DWORD);
    auto symbolicLink =
        reinterpret_cast<LinkFn>(GetProcAddress(GetModuleHandleA("kernel32.dll"), "CreateSymbolicLinkA"));
    if (symbolicLink && symbolicLink(link.c_str(), target.c_str(), 1 /* directory */) &&
        GetFileAttributesA(link.c_str()) != INVALID_FILE_ATTRIBUTES) {
        return true;
    }
    std::string unixTarget = testing_support::UnixPath(target);
    std::string unixFolder = testing_support::UnixPath(testing_support::FolderOf(link));
    std::string why;
    return !unixTarget.empty() && !unixFolder.empty() &&
           testing_support::RunUnixShell(
               "ln -s '" + unixTarget + "' '" + unixFolder + "/" + testing_support::NameOf(link) + "'",
               &why) &&
           GetFileAttributesA(link.c_str()) != INVALID_FILE_ATTRIBUTES;
}

// Junctions and symbolic links inside the tree are neither entered nor removed: their targets keep
// every file.
TEST(WildcardPass, NeverFollowsALinkOutOfTheTree) {
    FolderSandbox box;
    MakeTree(box.root(), {"Victim\\v.log", "Victim\\Sub\\w.log", "App\\Logs\\a.log"});
    if (!MakeFolderLink(box.Path("App\\Logs\\link"), box.Path("Victim")))
        GTEST_SKIP() << "no folder links here";
    box.lists.Pattern("Logs\\*.log");
    box.Attach();
    Items snapshot = TreeSnapshot(box.root());
    ASSERT_TRUE(snapshot.count("App\\Logs\\link\\"));
    RemoveWildcardMatches(box.run());
    Items removed = Removed(snapshot, TreeSnapshot(box.root()));
    RemoveDirectoryA(box.Path("App\\Logs\\link").c_str());
    DeleteFileA(box.Path("App\\Logs\\link").c_str());
    EXPECT_EQ(removed, (Items{"App\\Logs\\a.log"}));
}

std::wstring Wide(const std::string& text) {
    return std::wstring(text.begin(), text.end());
}

// Creates `path` (a folder when it ends with a backslash) through the "\\?\" namespace, which takes
// paths of any length and names with trailing dots.
bool MakeVerbatim(const std::string& path) {
    std::wstring wide = L"\\\\?\\" + Wide(path);
    if (!path.empty() && path.back() == '\\') return CreateDirectoryW(wide.c_str(), nullptr) != FALSE;
    HANDLE file =
        CreateFileW(wide.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE) return false;
    CloseHandle(file);
    return true;
}

void RemoveVerbatim(const std::string& path) {
    std::wstring wide = L"\\\\?\\" + Wide(path);
    if (!path.empty() && path.back() == '\\') {
        RemoveDirectoryW(wide.c_str());
    } else {
        DeleteFileW(wide.c_str());
    }
}

// Names the platform trims ("a.", "...") reach another folder, or the same one again: skipped.
// Paths that do not fit a path buffer are skipped too, never cut into a shorter one.
TEST(WildcardPass, SkipsNamesThatReachAnotherEntryAndPathsTooLong) {
    FolderSandbox box;
    MakeTree(box.root(), {"App\\Logs\\a\\x.log", "App\\Logs\\y.log"});
    std::string logs = box.Path("App\\Logs\\");
    // A folder whose own path fits, holding a file whose path does not (259 characters at most).
    std::string fits = logs + std::string(250 - logs.size(), 'F') + "\\";
    // A folder whose own path does not fit, holding a file.
    std::string tooLong = logs + std::string(260 - logs.size(), 'L') + "\\";
    std::vector<std::string> made = {
        logs + "a.\\", logs + "a.\\t.log", logs + "...\\", fits, fits + "long-name.log",
        tooLong,       tooLong + "z.log"};
    for (const auto& item : made) ASSERT_TRUE(MakeVerbatim(item)) << item;
    box.lists.Pattern("Logs\\*.log");
    box.Attach();
    Items snapshot = TreeSnapshot(box.root());
    RemoveWildcardMatches(box.run());
    Items removed = Removed(snapshot, TreeSnapshot(box.root()));
    bool allThere = true;
    for (auto it = made.rbegin(); it != made.rend(); ++it) {
        allThere =
            allThere && (GetFileAttributesW((L"\\\\?\\" + Wide(*it)).c_str()) != INVALID_FILE_ATTRIBUTES);
        RemoveVerbatim(*it);
    }
    EXPECT_TRUE(allThere) << "an item with a trimmed name or a long path went";
    EXPECT_EQ(removed, (Items{"App\\Logs\\a\\x.log", "App\\Logs\\a\\", "App\\Logs\\y.log"}));
}

TEST(ShortcutPasses, DeleteTheFilesAndClimbTheLevelCounts) {
    struct Case {
        const char* name;
        uint32_t levels;
        const char* folder;  // relative to the sandbox; "" for none
        const char* second;
        const char* file;
        Items removed;
    };
    const Case cases[] = {
        {"level 0: only the folder",
         0,
         "Menu\\Vendor\\App",
         "",
         "App.lnk",
         {"Menu\\Vendor\\App\\App.lnk", "Menu\\Vendor\\App\\"}},
        {"level 2: the folder and two parents",
         2,
         "Menu\\Vendor\\App",
         "",
         "App.lnk",
         {"Menu\\Vendor\\App\\App.lnk", "Menu\\Vendor\\App\\", "Menu\\Vendor\\", "Menu\\"}},
        {"level 2 with a second folder",
         2,
         "Menu\\Vendor\\App",
         "Desk\\Vendor\\App",
         "App.lnk",
         {"Menu\\Vendor\\App\\App.lnk", "Menu\\Vendor\\App\\", "Menu\\Vendor\\", "Menu\\",
          "Desk\\Vendor\\App\\", "Desk\\Vendor\\", "Desk\\"}},
        {"a folder that stays does not end the climb",
         1,
         "Busy\\App",
         "Desk\\Vendor\\App",
         "App.lnk",
         {"Busy\\App\\App.lnk", "Desk\\Vendor\\App\\", "Desk\\Vendor\\"}},
        {"no file name: nothing deleted, still climbed", 0, "Menu\\Vendor\\App", "", "", {}},
        {"no folder: no climb, whatever the second folder", 3, "", "Desk\\Vendor\\App", "App.lnk", {}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        FolderSandbox box;
        MakeTree(box.root(), {"Menu\\Vendor\\App\\App.lnk", "Desk\\Vendor\\App\\", "Busy\\App\\App.lnk",
                              "Busy\\App\\user.txt", "Busy\\other.txt"});
        std::string folder = c.folder[0] ? box.Path(c.folder) : "";
        std::string second = c.second[0] ? box.Path(c.second) : "";
        box.lists.Shortcut(c.levels, folder, second, c.file);
        box.Attach();
        Items snapshot = TreeSnapshot(box.root());
        RemoveShortcutFiles(box.run());
        RemoveShortcutFolders(box.run());
        EXPECT_EQ(Removed(snapshot, TreeSnapshot(box.root())), c.removed);
    }
}

TEST(ShortcutPasses, StepOutOfTheCurrentDirectoryToRemoveIt) {
    FolderSandbox box;
    MakeTree(box.root(), {"Menu\\App\\App.lnk"});
    box.lists.Shortcut(0, box.Path("Menu\\App"), "", "App.lnk");
    box.Attach();
    std::string before = CurrentFolder();
    ASSERT_TRUE(SetCurrentDirectoryA(box.Path("Menu\\App").c_str()));
    Items snapshot = TreeSnapshot(box.root());
    RemoveShortcutFiles(box.run());
    RemoveShortcutFolders(box.run());
    EXPECT_EQ(Removed(snapshot, TreeSnapshot(box.root())), (Items{"Menu\\App\\App.lnk", "Menu\\App\\"}));
    SetCurrentDirectoryA(before.c_str());
}

TEST(ShortcutPasses, StopAtAProtectedFolderAndSkipRelativePaths) {
    FolderSandbox box;
    MakeTree(box.root(), {"Desktop\\Vendor\\App\\App.lnk", "rel.lnk"});
    box.test.UseFakeShell();
    testing_support::FakeShellFolders()[kCsidlDesktopDirectory] = box.Path("Desktop");
    // The climb removes App (emptied) and Vendor, and stops at the protected Desktop, which is empty.
    box.lists.Shortcut(5, box.Path("Desktop\\Vendor\\App"), "", "App.lnk");
    // An empty folder with a bare name would be read from the current directory.
    box.lists.Shortcut(0, "", "", "rel.lnk");
    // A spelling of the protected folder itself.
    box.lists.Shortcut(0, box.Path("Desktop\\."), "", "none.lnk");
    box.Attach();
    std::string before = CurrentFolder();
    SetCurrentDirectoryA(box.root().c_str());
    Items snapshot = TreeSnapshot(box.root());
    RemoveShortcutFiles(box.run());
    RemoveShortcutFolders(box.run());
    SetCurrentDirectoryA(before.c_str());
    EXPECT_EQ(Removed(snapshot, TreeSnapshot(box.root())),
              (Items{"Desktop\\Vendor\\App\\App.lnk", "Desktop\\Vendor\\App\\", "Desktop\\Vendor\\"}));
}

TEST(ProgramFolderPass, ClimbsFromEachEntryToTheFirstFolderThatStays) {
    FolderSandbox box;
    // The files are gone already (the file pass ran); their folders are left empty, except Keep.
    MakeTree(box.root(), {"App\\Bin\\Plugins\\", "App\\Data\\", "App\\Keep\\user.txt", "App\\Fonts\\",
                          "Shared\\Vendor\\Tool\\", "canary.txt"});
    box.lists.File(".\\", "app.exe");
    box.lists.File(".\\Bin", "Plugins\\p.dll");  // a name with a subfolder: its deepest folder
    box.lists.File(".\\Data", "a.dat");
    box.lists.File(".\\Data", "b.dat");  // same folder: no second climb
    box.lists.File(".\\Keep", "k.dat");
    box.lists.File(".\\Fonts", "f.ttf", format::kFileFont);  // font entries touch no folder
    box.lists.File(box.Path("Shared\\Vendor\\Tool"), "");
    box.lists.File("", "bare.dll");  // no backslash: only progress
    box.Attach();
    std::string before = CurrentFolder();
    SetCurrentDirectoryA(box.Path("App").c_str());
    Items snapshot = TreeSnapshot(box.root());
    RemoveProgramFolders(box.run());
    EXPECT_EQ(CurrentFolder(), box.Path("App")) << "the current directory is put back";
    SetCurrentDirectoryA(before.c_str());
    EXPECT_EQ(Removed(snapshot, TreeSnapshot(box.root())),
              (Items{"App\\Bin\\Plugins\\", "App\\Bin\\", "App\\Data\\", "Shared\\Vendor\\Tool\\",
                     "Shared\\Vendor\\", "Shared\\"}));
}

TEST(ProgramFolderPass, RemovesTheInstallFolderWhenItEndsUpEmptyAndStopsAtProtectedFolders) {
    FolderSandbox box;
    MakeTree(box.root(), {"App\\Data\\", "Docs\\Vendor\\"});
    box.test.UseFakeShell();
    testing_support::FakeShellFolders()[kCsidlPersonal] = box.Path("Docs");
    box.lists.File(".\\Data", "a.dat");
    box.lists.File(box.Path("Docs\\Vendor\\.\\"), "x.txt");
    box.lists.File(box.Path("Docs\\."), "");
    box.Attach();
    Items snapshot = TreeSnapshot(box.root());
    RemoveProgramFolders(box.run());
    EXPECT_EQ(Removed(snapshot, TreeSnapshot(box.root())), (Items{"App\\Data\\", "App\\", "Docs\\Vendor\\"}));
}

}  // namespace
