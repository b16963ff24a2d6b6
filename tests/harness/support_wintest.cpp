// The test support on the real platform: the sandbox removes what the passes leave read-only, the
// snapshot comparison names every surprise, the registry helpers keep every value type, the
// machine-wide values go at both ends, and a held file is really locked until it is released.
#include <algorithm>
#include <gtest/gtest.h>

#include "support/helper_programs.h"
#include "support/registry.h"
#include "support/sandbox.h"
#include "support/snapshot.h"

using namespace testing_support;

namespace {

const char kKey[] = "Software\\UninstTests\\Support";

std::string UniqueKey(const char* name) {
    return std::string(kKey) + "\\" + std::to_string(GetCurrentProcessId()) + "-" + name;
}

// Read-only files and folders, which Windows refuses to delete, are removed with the sandbox, and
// a leftover of an earlier sandbox of the same path is cleared when the next one is made.
TEST(Sandbox, RemovesReadOnlyFilesAndFolders) {
    std::string path;
    {
        Sandbox box("ReadOnly");
        ASSERT_TRUE(box.ok()) << box.error();
        path = box.path();
        ASSERT_TRUE(box.Write("Sub\\Deeper\\ro.txt", "read-only", kReadOnly));
        ASSERT_TRUE(IsReadOnly(box.Path("Sub\\Deeper\\ro.txt")));
        ASSERT_TRUE(SetReadOnly(box.Path("Sub"), true));
        EXPECT_FALSE(DeleteFileA(box.Path("Sub\\Deeper\\ro.txt").c_str())) << "Windows keeps read-only files";
        EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_ACCESS_DENIED));
    }
    EXPECT_FALSE(Exists(path)) << path;
}

// Every kind of difference is reported, by item and with its states, and only those.
TEST(Snapshot, UnexpectedNamesEachSurprise) {
    Sandbox box("Snapshot");
    ScopedKey key(HKEY_CURRENT_USER, UniqueKey("Snapshot"));
    ASSERT_TRUE(box.Write("App\\gone.txt", "a") && box.Write("App\\kept.txt", "b") &&
                box.Write("App\\changed.txt", "c") && box.Write("App\\Sub\\deep.txt", "d"));
    ASSERT_TRUE(CreateTree(HKEY_CURRENT_USER, key.path(),
                           {{"App", "Count", RegValue::Dword(2)}, {"App\\Sub", "", RegValue::String("x")}}));
    auto take = [&] {
        Snapshot s = SnapshotFolder(box.path());
        Add(s, SnapshotKey(HKEY_CURRENT_USER, key.path(), "HKCU:"));
        return s;
    };
    Snapshot before = take();
    EXPECT_EQ(before.at("App\\kept.txt"), "file, 1 bytes: \"b\"");
    EXPECT_EQ(before.at("HKCU:App\\@Count"), "REG_DWORD 2");
    EXPECT_EQ(before.at("HKCU:App\\Sub\\@"), "REG_SZ \"x|\"");
    EXPECT_EQ(before.at("HKCU:App\\Sub\\"), "key");
    EXPECT_EQ(ItemsUnder(before, "App\\Sub\\"), (std::set<std::string>{"App\\Sub\\", "App\\Sub\\deep.txt"}));

    ASSERT_TRUE(DeleteFileA(box.Path("App\\gone.txt").c_str()));
    ASSERT_TRUE(box.Write("App\\changed.txt", "changed"));
    ASSERT_TRUE(box.Write("App\\new.txt", "new"));
    ASSERT_TRUE(SetValue(HKEY_CURRENT_USER, key.path() + "\\App", "Count", RegValue::Dword(1)));
    Snapshot after = take();

    EXPECT_EQ(Unexpected(before, after,
                         {.removed = {"App\\gone.txt"},
                          .added = {"App\\new.txt"},
                          .changed = {"App\\changed.txt", "HKCU:App\\@Count"}}),
              "");
    std::string report = Unexpected(before, after, {.removed = {"App\\kept.txt"}});
    for (const char* line : {
             "unexpectedly removed: App\\gone.txt  [file, 1 bytes: \"a\"]",
             "expected to be removed, still there: App\\kept.txt",
             "unexpectedly changed: App\\changed.txt  [was file, 1 bytes: \"c\"; now file, 7 bytes: "
             "\"changed\"]",
             "unexpectedly changed: HKCU:App\\@Count  [was REG_DWORD 2; now REG_DWORD 1]",
             "unexpectedly added: App\\new.txt",
         }) {
        EXPECT_NE(report.find(line), std::string::npos) << line << "\nin\n" << report;
    }
    EXPECT_EQ(std::count(report.begin(), report.end(), '\n'), 5) << report;
    EXPECT_NE(
        Unexpected(before, before, {.changed = {"App\\kept.txt"}}).find("expected to change, unchanged"),
        std::string::npos);
}

// A tree of nested keys with values of every type reads back byte for byte.
TEST(Registry, TreesKeepEveryValueType) {
    ScopedKey key(HKEY_CURRENT_USER, UniqueKey("Types"));
    const std::vector<RegItem> items = {
        {"A", "text", RegValue::String("C:\\App")},
        {"A\\B", "expand", RegValue::ExpandString("%SystemRoot%\\x")},
        {"A\\B\\C", "multi", RegValue::MultiString({"one", "two"})},
        {"A\\B\\C", "dword", RegValue::Dword(0xDEADBEEF)},
        {"A\\B\\C", "qword", RegValue::Qword(0x0123456789ABCDEFull)},
        {"A\\B\\C", "binary", RegValue::Binary({0, 1, 2, 0xFF})},
        {"A\\B\\C", "", RegValue::String("default")},
        {"A\\Empty"},
    };
    ASSERT_TRUE(CreateTree(HKEY_CURRENT_USER, key.path(), items));
    for (const RegItem& item : items) {
        std::string path = key.path() + "\\" + item.key;
        EXPECT_TRUE(KeyExists(HKEY_CURRENT_USER, path)) << path;
        if (!item.name) continue;
        auto read = ReadValue(HKEY_CURRENT_USER, path, *item.name);
        ASSERT_TRUE(read.has_value()) << path << " @" << *item.name;
        EXPECT_EQ(read->Describe(), item.value.Describe());
        EXPECT_TRUE(*read == item.value);
    }
    EXPECT_EQ(SubkeyNames(HKEY_CURRENT_USER, key.path() + "\\A"), (std::vector<std::string>{"B", "Empty"}));
    EXPECT_TRUE(DeleteKeyTree(HKEY_CURRENT_USER, key.path()));
    EXPECT_FALSE(DeleteKeyTree(HKEY_CURRENT_USER, "Software")) << "a first-level key is never deleted";
    EXPECT_TRUE(KeyExists(HKEY_CURRENT_USER, "Software"));
}

// Machine-wide values named after a sandbox, whoever wrote them, go when the fixture is made and
// when it goes; values of other names in the same keys stay.
TEST(MachineValues, RemovedAtBothEndsAndOnlyTheirs) {
    Sandbox box("Machine");
    const std::string dll = box.Path("App\\shared.dll");
    const std::string neighbour = box.path() + "-other\\shared.dll";  // same prefix, not this sandbox
    std::string font;
    {
        MachineValues planted(box.path());
        font = planted.FontName("Sans");
        ASSERT_TRUE(planted.SetSharedDllCount(dll, 3));
        ASSERT_TRUE(planted.SetFontValue(Family::k9x, font, "sans.ttf"));
        EXPECT_FALSE(planted.SetSharedDllCount("C:\\Windows\\System32\\x.dll", 1)) << "outside the sandbox";
        EXPECT_FALSE(planted.SetFontValue(Family::kNt, "Arial", "arial.ttf"))
            << "not named after the sandbox";
    }
    EXPECT_FALSE(ValueExists(HKEY_LOCAL_MACHINE, kSharedDllsKey, dll));
    EXPECT_FALSE(ValueExists(HKEY_LOCAL_MACHINE, k9xFontsKey, font + kTrueTypeSuffix));

    // A leftover, as a run that crashed would leave it, is gone when the next fixture is made.
    ASSERT_TRUE(SetValue(HKEY_LOCAL_MACHINE, kNtFontsKey, font + kTrueTypeSuffix, RegValue::String("x.ttf")));
    ASSERT_TRUE(SetValue(HKEY_LOCAL_MACHINE, kSharedDllsKey, neighbour, RegValue::Dword(1)));
    {
        MachineValues fresh(box.path());
        EXPECT_FALSE(ValueExists(HKEY_LOCAL_MACHINE, kNtFontsKey, font + kTrueTypeSuffix));
        EXPECT_TRUE(ValueExists(HKEY_LOCAL_MACHINE, kSharedDllsKey, neighbour));
    }
    EXPECT_TRUE(DeleteValue(HKEY_LOCAL_MACHINE, kSharedDllsKey, neighbour));
}

// While another process holds the file, it can be neither opened nor deleted (a sharing
// violation, as an installed program in use gives); after the release it can, read-only or not.
TEST(LockedFile, LockedUntilReleased) {
    for (bool readOnly : {false, true}) {
        SCOPED_TRACE(readOnly ? "read-only file" : "writable file");
        Sandbox box("Locked");
        ASSERT_TRUE(box.Write("App\\in use.dll", "held", readOnly));
        const std::string path = box.Path("App\\in use.dll");
        LockedFile held(path);
        ASSERT_TRUE(held.holding()) << held.error();
        HANDLE file =
            CreateFileA(path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                        nullptr, OPEN_EXISTING, 0, nullptr);
        EXPECT_EQ(file, INVALID_HANDLE_VALUE);
        EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_SHARING_VIOLATION));
        if (file != INVALID_HANDLE_VALUE) CloseHandle(file);
        EXPECT_FALSE(DeleteFileA(path.c_str()));
        if (!readOnly) EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_SHARING_VIOLATION));

        EXPECT_TRUE(held.Release());
        EXPECT_FALSE(held.holding());
        ASSERT_TRUE(SetReadOnly(path, false));
        EXPECT_TRUE(DeleteFileA(path.c_str())) << "error " << GetLastError();
        EXPECT_TRUE(held.Release()) << "a second release is harmless";
    }
}

TEST(LockedFile, AMissingFileIsReported) {
    Sandbox box("LockedMissing");
    LockedFile held(box.Path("missing.dll"));
    EXPECT_FALSE(held.holding());
    EXPECT_NE(held.error().find("exit code 4"), std::string::npos) << held.error();
}

}  // namespace
