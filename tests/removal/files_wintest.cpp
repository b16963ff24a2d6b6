// The file pass in this process on real files and the real registry: the entry-path rule, the lock
// probe, the in-use check, the walk with its folder entries, the read-only handling without a
// question, and the shared-DLL count rows that ask nothing. The rows with a question are in the
// end-to-end tests (tests/e2e/file_pass_wintest.cpp).
#include <cstring>
#include <gtest/gtest.h>
#include <iterator>
#include <vector>

#include "removal/file_pass_fixture.h"
#include "removal/folders.h"
#include "support/unix_side.h"

using file_pass_testing::Entry;
using file_pass_testing::FilePassRun;
using Listing = std::set<std::string>;

namespace {

constexpr uint8_t kShared = format::kFileShared;
constexpr uint8_t kFont = format::kFileFont;
constexpr uint8_t kMustBeFree = format::kFileMustBeFree;

// The entry path as the in-use check leaves it in the current-item buffer ("" when skipped).
TEST(FilePass, EntryPathsFollowTheDotRuleAndAreSkippedRatherThanCut) {
    FilePassRun t;
    std::string app = t.app() + "\\";
    std::string longFolder = t.root() + "\\" + std::string(240, 'x');
    struct Case {
        std::string folder, name, expected;
    } cases[] = {
        {".\\Sub", "a.dll", app + "Sub\\a.dll"},
        {".\\Sub\\", "a.dll", app + "Sub\\a.dll"},
        {".\\", "a.dll", app + "a.dll"},
        {".", "a.dll", app + "a.dll"},
        {"..\\Up", "a.dll", app + "a.dll"},  // two dots do not climb
        {".Sub", "a.dll", app + "a.dll"},
        {".\\Sub", "", app + "Sub"},
        {"C:\\Shared", "a.dll", "C:\\Shared\\a.dll"},
        {"C:\\Shared\\", "a.dll", "C:\\Shared\\a.dll"},
        {"C:\\", "a.dll", "C:\\a.dll"},
        {"\\\\server\\share", "a.dll", "\\\\server\\share\\a.dll"},
        // Relative results would be taken from whatever the current directory is: skipped.
        {"", "version.dll", ""},
        {"System32", "a.dll", ""},
        {"\\Windows", "a.dll", ""},
        {"\\\\server", "", ""},
        // Too long for the 260-byte buffer: skipped, never cut.
        {longFolder, "a.dll", ""},
        {".\\" + std::string(300, 'A'), "x", ""},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.folder + " | " + c.name);
        t.SetEntries({{c.folder, c.name, kMustBeFree}});
        std::memset(t.run().currentItem, 'Z', kPathBufferSize - 1);
        t.run().currentItem[kPathBufferSize - 1] = '\0';
        EXPECT_FALSE(FindFileInUse(t.run()));
        EXPECT_EQ(std::string(t.run().currentItem), c.expected);
    }
}

TEST(FilePass, LockProbeFindsFilesOthersHoldAndKeepsTheReadOnlyAttribute) {
    FilePassRun t;
    struct Case {
        const char* what;
        bool exists, readOnly;
        bool held;
        DWORD share;  // of the holder
        bool locked;
    } cases[] = {
        {"missing", false, false, false, 0, false},
        {"free", true, false, false, 0, false},
        {"free and read-only", true, true, false, 0, false},
        {"held without sharing", true, false, true, 0, true},
        {"held, others may only read", true, false, true, FILE_SHARE_READ, true},
        {"held, others may read and write", true, false, true, FILE_SHARE_READ | FILE_SHARE_WRITE, false},
        {"read-only and held", true, true, true, 0, true},
    };
    int n = 0;
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        std::string path = t.InApp("probe" + std::to_string(++n) + ".dll");
        if (c.exists) t.Write(path, c.readOnly);
        HANDLE held = c.held ? t.Hold(path, c.share) : nullptr;
        EXPECT_EQ(IsFileLocked(path.c_str()), c.locked);
        if (c.exists) {
            DWORD attributes = GetFileAttributesA(path.c_str());
            EXPECT_EQ((attributes & FILE_ATTRIBUTE_READONLY) != 0, c.readOnly) << "attribute as it was found";
        }
        if (held) t.Release(held);
    }
}

TEST(FilePass, InUseCheckAsksOnlyAboutFilesThatMustBeFree) {
    FilePassRun t;
    t.Write(t.InApp("free.dll"));
    t.Write(t.InApp("held.dll"));
    t.Write(t.InApp("other.dll"));
    HANDLE held = t.Hold(t.InApp("held.dll"));
    t.Hold(t.InApp("other.dll"));
    t.SetEntries(
        {{".\\", "free.dll", kMustBeFree}, {".\\", "held.dll", kMustBeFree}, {".\\", "other.dll", 0}});
    EXPECT_TRUE(FindFileInUse(t.run()));
    EXPECT_EQ(std::string(t.run().currentItem), t.InApp("held.dll")) << "stops at the first locked one";
    t.Release(held);
    EXPECT_FALSE(FindFileInUse(t.run())) << "other.dll is held but need not be free";
    EXPECT_EQ(std::string(t.run().currentItem), t.InApp("other.dll")) << "leaves the last path built";
}

// A plain file on the NT family is probed and deleted in one open; the 9x family probes, then
// deletes. Whoever else holds the file, both must leave exactly the same files behind.
TEST(FilePass, PlainFilesOthersHoldStayAlikeOnBothFamilies) {
    struct Case {
        const char* what;
        DWORD access;  // of the holder; 0: not held
        DWORD share;
        bool gone;  // once the holder let go
    } const cases[] = {
        {"not held", 0, 0, true},
        {"read, no sharing", GENERIC_READ, 0, false},
        {"read, others may only read", GENERIC_READ, FILE_SHARE_READ, false},
        {"read, others may read and write", GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, false},
        {"read, everything shared (deleted once let go)", GENERIC_READ,
         FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, true},
        {"written, everything shared", GENERIC_READ | GENERIC_WRITE,
         FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, false},
    };
    for (bool nt : {true, false}) {
        SCOPED_TRACE(nt ? "NT family" : "9x family");
        FilePassRun t;
        t.run().platform.nt = nt;
        std::vector<Entry> entries;
        std::vector<HANDLE> holders;
        for (size_t i = 0; i < std::size(cases); ++i) {
            std::string name = "c" + std::to_string(i) + ".dll";
            t.Write(t.InApp(name));
            entries.push_back({".\\", name, 0});
            if (cases[i].access == 0) continue;
            HANDLE h = CreateFileA(t.InApp(name).c_str(), cases[i].access, cases[i].share, nullptr,
                                   OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
            ASSERT_NE(h, INVALID_HANDLE_VALUE) << cases[i].what;
            holders.push_back(h);
        }
        t.SetEntries(entries);
        RemoveInstalledFiles(t.run());
        for (HANDLE h : holders) CloseHandle(h);
        Listing expected = {"App\\"};
        for (size_t i = 0; i < std::size(cases); ++i) {
            if (!cases[i].gone) expected.insert("App\\c" + std::to_string(i) + ".dll");
        }
        EXPECT_EQ(t.Listing(), expected);
    }
}

// The walk from the last entry to the first: folder entries listed before their files are reached
// after them; a locked file and a folder that still holds an unlisted file stay.
TEST(FilePass, RemovesFromTheLastEntryFolderEntriesAfterTheirFiles) {
    FilePassRun t;
    t.Write(t.InApp("plain.txt"));
    t.Write(t.InApp("Sub\\ro.txt"), true);
    t.Write(t.InApp("Sub\\Deeper\\d.txt"));
    t.Write(t.InApp("Keep\\listed.txt"));
    t.Write(t.InApp("Keep\\unlisted.txt"));
    t.Write(t.InApp("held.txt"));
    t.Write(t.root() + "\\canary.txt");
    t.Hold(t.InApp("held.txt"));
    t.SetEntries({
        {".\\Sub", ""},
        {".\\Sub\\Deeper", ""},
        {".\\Sub", "ro.txt"},
        {".\\Sub\\Deeper", "d.txt"},
        {".\\", "plain.txt"},
        {".\\Keep", ""},
        {".\\Keep", "listed.txt"},
        {".\\", "held.txt"},
        {".\\", "missing.txt"},
    });
    RemoveInstalledFiles(t.run());
    EXPECT_EQ(t.Listing(),
              (Listing{"App\\", "App\\Keep\\", "App\\Keep\\unlisted.txt", "App\\held.txt", "canary.txt"}));
    EXPECT_EQ(t.run().readOnlyAnswer, ToAllAnswer::kYesToAll) << "an empty question counts as yes to all";
}

// Read-only files without a question: the remembered answer decides, except for fonts and servers,
// which go whatever it is.
TEST(FilePass, RememberedAnswerDecidesForReadOnlyFilesButNotForFonts) {
    struct Case {
        const char* what;
        ToAllAnswer answer;
        Listing left;
    } cases[] = {
        {"yes to all", ToAllAnswer::kYesToAll, {"App\\"}},
        {"no to all", ToAllAnswer::kNoToAll, {"App\\", "App\\ro.txt (ro)"}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        FilePassRun t;
        t.Write(t.InApp("ro.txt"), true);
        t.Write(t.InApp("font.ttf"), true);  // not a font at all: no name, nothing in the registry
        t.SetEntries({{".\\", "ro.txt"}, {".\\", "font.ttf", kFont}});
        t.run().readOnlyAnswer = c.answer;
        RemoveInstalledFiles(t.run());
        EXPECT_EQ(t.Listing(), c.left);
        EXPECT_EQ(t.run().readOnlyAnswer, c.answer) << "never reset";
    }
}

// The count rows that ask nothing, and those whose question is empty (which means yes).
TEST(FilePass, SharedCountRowsWithoutAQuestion) {
    struct Case {
        const char* what;
        long long count;  // -1: no value
        bool locked;
        long long countAfter;
        bool fileStays;
    } cases[] = {
        {"2, free", 2, false, 1, true},
        {"2, locked", 2, true, 1, true},
        {"5, free", 5, false, 4, true},
        {"1, locked: unchanged", 1, true, 1, true},
        {"0, locked: unchanged", 0, true, 0, true},
        {"1, free: value deleted, file removed", 1, false, -1, false},
        {"0, free: value deleted, file removed", 0, false, -1, false},
        {"no value, free", -1, false, -1, false},
        {"no value, locked", -1, true, -1, true},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        FilePassRun t;
        std::string path = t.InApp("shared.dll");
        t.Write(path);
        if (c.count >= 0) {
            t.SetSharedCount(path, static_cast<DWORD>(c.count));
        } else {
            t.ForgetSharedValue(path);
        }
        if (c.locked) t.Hold(path);
        t.SetEntries({{".\\", "shared.dll", kShared}});
        RemoveInstalledFiles(t.run());
        EXPECT_EQ(FilePassRun::SharedCount(path), c.countAfter);
        EXPECT_EQ(GetFileAttributesA(path.c_str()) != INVALID_FILE_ATTRIBUTES, c.fileStays);
    }
}

// Values that are not a plain 4-byte count: the type and size read are written back, and one too
// long to read counts as missing (so it goes with the file).
TEST(FilePass, SharedCountKeepsTheStoredTypeAndTreatsLongValuesAsMissing) {
    FilePassRun t;
    std::string counted = t.InApp("binary.dll"), longValue = t.InApp("long.dll"),
                missing = t.InApp("missing.dll");
    t.Write(counted);
    t.Write(longValue);
    const uint8_t three[4] = {3, 0, 0, 0};
    const uint8_t eight[8] = {1, 0, 0, 0, 0, 0, 0, 0};
    t.SetSharedValue(counted, REG_BINARY, three, 4);
    t.SetSharedValue(longValue, REG_BINARY, eight, 8);
    t.SetSharedCount(missing, 1);  // a missing file counts as not locked: its count step runs
    t.SetEntries(
        {{".\\", "binary.dll", kShared}, {".\\", "long.dll", kShared}, {".\\", "missing.dll", kShared}});
    RemoveInstalledFiles(t.run());

    HKEY key = nullptr;
    ASSERT_EQ(RegOpenKeyExA(HKEY_LOCAL_MACHINE, file_pass_testing::kSharedDllsKey, 0, KEY_QUERY_VALUE, &key),
              ERROR_SUCCESS);
    uint8_t data[8] = {};
    DWORD type = 0, size = sizeof(data);
    EXPECT_EQ(RegQueryValueExA(key, counted.c_str(), nullptr, &type, data, &size), ERROR_SUCCESS);
    EXPECT_EQ(type, static_cast<DWORD>(REG_BINARY));
    EXPECT_EQ(size, 4u);
    EXPECT_EQ(data[0], 2);
    RegCloseKey(key);
    EXPECT_EQ(FilePassRun::SharedCount(longValue), -1) << "deleted with its file";
    EXPECT_EQ(FilePassRun::SharedCount(missing), -1);
    EXPECT_EQ(t.Listing(), (Listing{"App\\", "App\\binary.dll"}));
}

// A path cut to the buffer would name another file: the canary that the cut would reach stays.
TEST(FilePass, EntryTooLongForItsBufferIsSkippedNotCut) {
    FilePassRun t;
    std::string base = t.root() + "\\";
    std::string cutName(kPathBufferSize - 1 - base.size(), 'x');
    t.Write(base + cutName);  // exactly the first 259 bytes of the entry's path
    t.SetEntries({{base + cutName + "yyyy", "victim.txt"}, {base + cutName + "yyyy\\", ""}});
    RemoveInstalledFiles(t.run());
    EXPECT_NE(GetFileAttributesA((base + cutName).c_str()), INVALID_FILE_ATTRIBUTES);
}

// A relative entry would be taken from the current directory: it is skipped.
TEST(FilePass, RelativeEntryIsNotTakenFromTheCurrentDirectory) {
    FilePassRun t;
    t.Write(t.root() + "\\version.dll");
    t.Write(t.root() + "\\Sub\\x.txt");
    char saved[MAX_PATH] = {};
    GetCurrentDirectoryA(MAX_PATH, saved);
    ASSERT_TRUE(SetCurrentDirectoryA(t.root().c_str()));
    t.SetEntries({{"", "version.dll"}, {"Sub", "x.txt"}, {"Sub", ""}});
    RemoveInstalledFiles(t.run());
    SetCurrentDirectoryA(saved);
    EXPECT_EQ(t.Listing(), (Listing{"App\\", "Sub\\", "Sub\\x.txt", "version.dll"}));
}

// Before Vista there are no final paths to compare (this process's run says so): a link below the
// install folder, as NT 5's junctions and mount points are, is found by its attribute on the way up
// from each folder to the install folder. Neither the file pass (a file in the link, one in a folder
// below it, folder entries) nor the program-folder climb reaches what it leads to, while a link above
// the install folder (the installation reached through it) is followed.
TEST(FilePass, LinksBelowTheInstallFolderAreFoundWithoutFinalPaths) {
    struct Case {
        const char* what;
        bool throughLinkAbove;  // the install folder named through a link to it
    } const cases[] = {{"the install folder as it is", false}, {"the install folder through a link", true}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        FilePassRun t;
        ASSERT_FALSE(t.run().platform.nt6OrLater) << "the in-process run has no final paths";
        t.Write(t.root() + "\\Victim\\a.txt");
        t.Write(t.root() + "\\Victim\\Sub\\b.txt");
        ASSERT_TRUE(CreateDirectoryA((t.root() + "\\Victim\\Empty").c_str(), nullptr));
        t.Write(t.InApp("app.txt"));
        t.Write(t.InApp("Data\\d.txt"));
        std::string why;
        if (!testing_support::MakeUnixLink(t.InApp("Bin"), t.root() + "\\Victim", &why)) GTEST_SKIP() << why;
        char via[kPathBufferSize] = {};
        if (c.throughLinkAbove) {
            ASSERT_TRUE(testing_support::MakeUnixLink(t.root() + "\\Via", t.app(), &why)) << why;
            ASSERT_TRUE(CopyText(via, (t.root() + "\\Via\\").c_str()));
            t.run().installFolder = via;
            t.run().paths.installFolder = via;
        }
        t.SetEntries({{".\\", "app.txt"},
                      {".\\Data", "d.txt"},
                      {".\\Data", ""},
                      {".\\Bin", "a.txt"},
                      {".\\Bin\\Sub", "b.txt"},
                      {".\\Bin\\Empty", ""},
                      {".\\Bin", ""}});
        Listing before = t.Listing();
        RemoveInstalledFiles(t.run());
        RemoveProgramFolders(t.run());
        Listing after = t.Listing();
        Listing gone;
        for (const std::string& item : before) {
            if (!after.count(item)) gone.insert(item);
        }
        // The listing walks into links: the installation shows under "Via" as well, the victim under "Bin".
        Listing expected;
        for (std::string app : {"App\\", "Via\\"}) {
            if (app == "Via\\" && !c.throughLinkAbove) continue;
            expected.insert({app + "app.txt", app + "Data\\", app + "Data\\d.txt"});
        }
        EXPECT_EQ(gone, expected);
        RemoveDirectoryA(t.InApp("Bin").c_str());
        DeleteFileA(t.InApp("Bin").c_str());
        if (c.throughLinkAbove) {
            RemoveDirectoryA((t.root() + "\\Via").c_str());
            DeleteFileA((t.root() + "\\Via").c_str());
        }
    }
}

// The documents folder the next test's run sees: a link in its sandbox.
std::string g_documents;
bool DocumentsHere(char* path, int csidl) {
    return csidl == 5 /* CSIDL_PERSONAL */ && CopyText(path, kPathBufferSize, g_documents.c_str());
}

// A file listed in a protected folder hangs below that folder as a file in its subfolders does: the
// system may reach the folder through a link (for this process on 64-bit Windows, System32 is
// SysWOW64) and that link is the machine's own, with or without final paths. A link below it is not.
TEST(FilePass, FilesInAProtectedFolderReachedThroughALinkGo) {
    for (bool finalPaths : {false, true}) {
        SCOPED_TRACE(finalPaths ? "final paths compared" : "no final paths");
        FilePassRun t;
        t.run().platform.nt6OrLater = finalPaths;
        t.Write(t.root() + "\\RealDocs\\doc.txt");
        t.Write(t.root() + "\\RealDocs\\Sub\\deep.txt");
        t.Write(t.root() + "\\Victim\\v.txt");
        std::string why;
        if (!testing_support::MakeUnixLink(t.root() + "\\Docs", t.root() + "\\RealDocs", &why))
            GTEST_SKIP() << why;
        ASSERT_TRUE(
            testing_support::MakeUnixLink(t.root() + "\\RealDocs\\Plant", t.root() + "\\Victim", &why))
            << why;
        g_documents = t.root() + "\\Docs";
        t.run().paths.lookups.specialFolder = DocumentsHere;
        t.SetEntries({{g_documents, "doc.txt"},
                      {g_documents + "\\Sub", "deep.txt"},
                      {g_documents + "\\Plant", "v.txt"}});
        Listing before = t.Listing();
        RemoveInstalledFiles(t.run());
        Listing after = t.Listing();
        Listing gone;
        for (const std::string& item : before) {
            if (!after.count(item)) gone.insert(item);
        }
        // The listing walks into links: the documents show under "Docs" and "RealDocs".
        EXPECT_EQ(gone, (Listing{"Docs\\doc.txt", "Docs\\Sub\\deep.txt", "RealDocs\\doc.txt",
                                 "RealDocs\\Sub\\deep.txt"}));
        for (const char* link : {"\\RealDocs\\Plant", "\\Docs"}) {
            RemoveDirectoryA((t.root() + link).c_str());
            DeleteFileA((t.root() + link).c_str());
        }
    }
}

}  // namespace
