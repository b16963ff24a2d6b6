// The 64-bit side of 64-bit Windows on the real uninstaller, a 32-bit program: registry entries and
// shared counts of the 64-bit view, and the folder tokens #ProgramFiles64#, #CommonFiles64# and
// #System64#. In a 64-bit prefix each item has a namesake on the 32-bit side (a key under
// Wow6432Node, a file in Program Files (x86) or SysWOW64) that must stay while the listed one goes;
// in a 32-bit prefix the registry entries and shared counts of the 64-bit view are left alone and
// logged so, and the tokens name the ordinary folders.
#include <gtest/gtest.h>

#include "e2e/e2e_fixture.h"
#include "support/sandbox.h"

using namespace format;

namespace e2e_test {
namespace {

constexpr uint32_t kHklm = 0x80000002u;

bool Is64BitWindows() {
    char folder[MAX_PATH] = {};
    return GetSystemWow64DirectoryA(folder, sizeof folder) != 0;
}

// A key of HKEY_LOCAL_MACHINE in one registry view (`view`: KEY_WOW64_64KEY or KEY_WOW64_32KEY).
HKEY OpenView(const std::string& path, REGSAM view, REGSAM access = KEY_READ) {
    HKEY key = nullptr;
    return RegOpenKeyExA(HKEY_LOCAL_MACHINE, path.c_str(), 0, access | view, &key) == ERROR_SUCCESS ? key
                                                                                                    : nullptr;
}

bool KeyIn(const std::string& path, REGSAM view) {
    HKEY key = OpenView(path, view);
    if (key) RegCloseKey(key);
    return key != nullptr;
}

std::optional<DWORD> DwordIn(const std::string& path, const std::string& name, REGSAM view) {
    HKEY key = OpenView(path, view);
    if (!key) return std::nullopt;
    DWORD data = 0;
    DWORD size = sizeof data;
    LONG result =
        RegQueryValueExA(key, name.c_str(), nullptr, nullptr, reinterpret_cast<BYTE*>(&data), &size);
    RegCloseKey(key);
    if (result != ERROR_SUCCESS) return std::nullopt;
    return data;
}

bool SetDwordIn(const std::string& path, const std::string& name, DWORD data, REGSAM view) {
    HKEY key = nullptr;
    if (RegCreateKeyExA(HKEY_LOCAL_MACHINE, path.c_str(), 0, nullptr, 0, KEY_ALL_ACCESS | view, nullptr, &key,
                        nullptr) != ERROR_SUCCESS)
        return false;
    bool set = RegSetValueExA(key, name.c_str(), 0, REG_DWORD, reinterpret_cast<const BYTE*>(&data),
                              sizeof data) == ERROR_SUCCESS;
    RegCloseKey(key);
    return set;
}

void DeleteValueIn(const std::string& path, const std::string& name, REGSAM view) {
    HKEY key = OpenView(path, view, KEY_SET_VALUE);
    if (!key) return;
    RegDeleteValueA(key, name.c_str());
    RegCloseKey(key);
}

// Deletes the key of one view with its subkeys, each through its own handle (a deletion by name
// from a 32-bit program would be redirected to the 32-bit view).
void DeleteTreeIn(HKEY parent, const std::string& name, REGSAM view) {
    HKEY key = nullptr;
    if (RegOpenKeyExA(parent, name.c_str(), 0, KEY_ALL_ACCESS | view, &key) != ERROR_SUCCESS) return;
    char child[256];
    std::string last;
    for (;;) {
        DWORD size = sizeof child;
        if (RegEnumKeyExA(key, 0, child, &size, nullptr, nullptr, nullptr, nullptr) != ERROR_SUCCESS) break;
        if (last == child) break;  // it did not go: no endless loop
        last = child;
        DeleteTreeIn(key, child, view);
    }
    using DeleteKeyFn = LONG(NTAPI*)(HANDLE);
    auto deleteKey =
        reinterpret_cast<DeleteKeyFn>(GetProcAddress(GetModuleHandleA("ntdll.dll"), "NtDeleteKey"));
    if (deleteKey) deleteKey(key);
    RegCloseKey(key);
}

// The 64-bit programs' folder values as 64-bit programs read them (the ordinary ones on 32-bit
// Windows, whose one view is both).
std::string SetupFolder(const char* value, REGSAM view = KEY_WOW64_64KEY) {
    HKEY key = OpenView("Software\\Microsoft\\Windows\\CurrentVersion", view);
    char folder[MAX_PATH + 1] = {};
    DWORD size = MAX_PATH;
    if (key) RegQueryValueExA(key, value, nullptr, nullptr, reinterpret_cast<BYTE*>(folder), &size);
    if (key) RegCloseKey(key);
    return folder;
}

std::string WindowsFolder() {
    char folder[MAX_PATH] = {};
    GetWindowsDirectoryA(folder, MAX_PATH);
    return folder;
}

class ViewsE2e : public E2eTest {
  protected:
    void SetUp() override {
        E2eTest::SetUp();
        tag_ = "UninstView-" + testing_support::NameOf(sandbox_.folder().path()) + "-" +
               std::to_string(GetCurrentProcessId());
        key_ = "Software\\" + tag_;
        Clean();
    }
    void TearDown() override {
        Clean();
        E2eTest::TearDown();
    }
    void Clean() {
        for (REGSAM view : {KEY_WOW64_64KEY, KEY_WOW64_32KEY}) {
            DeleteTreeIn(HKEY_LOCAL_MACHINE, key_, view);
            DeleteValueIn(testing_support::kSharedDllsKey, SharedPath(), view);
        }
        for (const std::string& folder : Folders()) testing_support::RemoveTree(folder);
        for (const std::string& file : SystemFiles()) DeleteFileA(file.c_str());
    }
    // This test's folders below each program folder of both sides.
    std::vector<std::string> Folders() const {
        return {SetupFolder("ProgramFilesDir") + "\\" + tag_, SetupFolder("CommonFilesDir") + "\\" + tag_,
                SetupFolder("ProgramFilesDir", KEY_WOW64_32KEY) + "\\" + tag_};
    }
    // The file of #System64# (through Sysnative on 64-bit Windows) and its 32-bit namesake.
    std::vector<std::string> SystemFiles() const {
        std::string name = "\\" + tag_ + ".txt";
        if (!Is64BitWindows()) return {WindowsFolder() + "\\System32" + name};
        // A 64-bit build (this program and the uninstaller alike) has the 64-bit System32 as its own.
        std::string native = sizeof(void*) == 8 ? "\\System32" : "\\Sysnative";
        return {WindowsFolder() + native + name, WindowsFolder() + "\\SysWOW64" + name};
    }
    std::string SharedPath() const { return SetupFolder("CommonFilesDir") + "\\" + tag_ + "\\s.dll"; }

    std::string tag_;
    std::string key_;
};

// One run with every kind of entry of the 64-bit side; the log says what came of each.
TEST_F(ViewsE2e, SixtyFourBitSideGoesAndItsThirtyTwoBitNamesakesStay) {
    const bool wide = Is64BitWindows();
    const std::string programs = SetupFolder("ProgramFilesDir");
    const std::string common = SetupFolder("CommonFilesDir");
    ASSERT_FALSE(programs.empty());
    ASSERT_FALSE(common.empty());
    if (wide) ASSERT_EQ(programs.find("(x86)"), std::string::npos) << programs;
    // The keys: the same tree in both views (one key on 32-bit Windows).
    for (REGSAM view : {KEY_WOW64_32KEY, KEY_WOW64_64KEY}) {
        ASSERT_TRUE(SetDwordIn(key_ + "\\App\\Sub", "deep", 1, view));
        ASSERT_TRUE(SetDwordIn(key_, "Val", 2, view));
        ASSERT_TRUE(SetDwordIn(key_, "Keep", 3, view));
    }
    // The files: #ProgramFiles64#, #System64#, and a shared file of #CommonFiles64# counted in the
    // 64-bit view; on 64-bit Windows a namesake of each on the 32-bit side.
    std::string x86 = SetupFolder("ProgramFilesDir", KEY_WOW64_32KEY) + "\\" + tag_;
    ASSERT_TRUE(testing_support::PlaceFile(programs + "\\" + tag_ + "\\App\\a.txt", "installed"));
    ASSERT_TRUE(testing_support::PlaceFile(programs + "\\" + tag_ + "\\canary.txt", "stays"));
    ASSERT_TRUE(testing_support::PlaceFile(common + "\\" + tag_ + "\\s.dll", "shared"));
    if (wide) ASSERT_TRUE(testing_support::PlaceFile(x86 + "\\App\\a.txt", "32-bit namesake"));
    for (const std::string& file : SystemFiles()) ASSERT_TRUE(testing_support::PlaceFile(file, "installed"));
    ASSERT_TRUE(SetDwordIn(testing_support::kSharedDllsKey, SharedPath(), 2, KEY_WOW64_64KEY));
    if (wide) ASSERT_TRUE(SetDwordIn(testing_support::kSharedDllsKey, SharedPath(), 5, KEY_WOW64_32KEY));

    e2e::Installation& app = NewInstallation();
    Block block = InstallationBlock(app);
    block.files.push_back({"#ProgramFiles64#\\" + tag_ + "\\App", "", 0});
    block.files.push_back({"#ProgramFiles64#\\" + tag_ + "\\App", "a.txt", 0});
    block.files.push_back({"#System64#", tag_ + ".txt", 0});
    block.files.push_back({"#CommonFiles64#\\" + tag_, "s.dll", kFileShared | kFileView64});
    // The guard holds in the 64-bit view: Software\Microsoft is refused as in the other.
    block.registry.push_back({kHklm | kRootView64, "Software\\Microsoft"});
    block.registry.push_back({kHklm | kRootView64, key_ + "\\App"});
    block.registry.push_back({kHklm | kRootView64, key_ + "\\\\Val"});
    Place(app, EncodeBlock(block));
    std::string logPath = sandbox_.root() + "views.log";
    e2e::RunResult run = Run(app, "/S /L=" + logPath, robot::AnswerInOrder({}));
    std::string why;
    ASSERT_TRUE(e2e::WaitForRunToEnd(run, e2e::kRunTimeoutMs, &why)) << why;
    EXPECT_EQ(run.exitCode, 0);
    EXPECT_TRUE(run.windows.empty()) << run.Describe();
    std::string log = testing_support::ReadFileText(logPath).value_or("");

    EXPECT_TRUE(KeyIn("Software\\Microsoft", KEY_WOW64_64KEY));
    // The 32-bit view's tree and value stay whatever happens; the 64-bit one goes where it exists.
    EXPECT_TRUE(KeyIn(key_ + "\\App\\Sub", KEY_WOW64_32KEY)) << log;
    EXPECT_EQ(DwordIn(key_, "Val", KEY_WOW64_32KEY), std::optional<DWORD>(2));
    EXPECT_EQ(DwordIn(key_, "Keep", KEY_WOW64_64KEY), std::optional<DWORD>(3));
    EXPECT_EQ(testing_support::Exists(programs + "\\" + tag_ + "\\App\\a.txt"), false) << log;
    EXPECT_EQ(testing_support::Exists(programs + "\\" + tag_ + "\\App"), false) << log;
    EXPECT_TRUE(testing_support::Exists(programs + "\\" + tag_ + "\\canary.txt"));
    EXPECT_FALSE(testing_support::Exists(SystemFiles()[0])) << log;
    EXPECT_TRUE(testing_support::Exists(common + "\\" + tag_ + "\\s.dll")) << "still counted once";
    if (wide) {
        EXPECT_FALSE(KeyIn(key_ + "\\App", KEY_WOW64_64KEY)) << log;
        EXPECT_TRUE(KeyIn(key_ + "\\App\\Sub", KEY_WOW64_32KEY)) << log;
        EXPECT_EQ(DwordIn(key_, "Val", KEY_WOW64_64KEY), std::nullopt) << log;
        EXPECT_TRUE(testing_support::Exists(x86 + "\\App\\a.txt"));
        EXPECT_TRUE(testing_support::Exists(SystemFiles()[1])) << "SysWOW64's namesake went";
        EXPECT_EQ(DwordIn(testing_support::kSharedDllsKey, SharedPath(), KEY_WOW64_64KEY),
                  std::optional<DWORD>(1));
        EXPECT_EQ(DwordIn(testing_support::kSharedDllsKey, SharedPath(), KEY_WOW64_32KEY),
                  std::optional<DWORD>(5));
        EXPECT_EQ(log.find("32-bit Windows"), std::string::npos) << log;
    } else {
        // One view: the entries of the 64-bit view name nothing here and are left alone.
        EXPECT_TRUE(KeyIn(key_ + "\\App\\Sub", KEY_WOW64_64KEY)) << log;
        EXPECT_EQ(DwordIn(key_, "Val", KEY_WOW64_64KEY), std::optional<DWORD>(2)) << log;
        EXPECT_EQ(DwordIn(testing_support::kSharedDllsKey, SharedPath(), KEY_WOW64_64KEY),
                  std::optional<DWORD>(2));
        for (const std::string& item : {key_ + "\\App", key_ + "\\\\Val", std::string("s.dll")}) {
            size_t at = log.find(item);
            ASSERT_NE(at, std::string::npos) << item << "\n" << log;
            size_t end = log.find('\n', at);
            EXPECT_NE(log.substr(at, end - at).find("kept: 32-bit Windows"), std::string::npos)
                << item << "\n"
                << log;
        }
    }
    // Refused by the guard where the view exists, left alone where it does not.
    size_t guard = log.find("HKLM\\Software\\Microsoft");
    ASSERT_NE(guard, std::string::npos) << log;
    EXPECT_NE(log.substr(guard, log.find('\n', guard) - guard).find(wide ? "refused key" : "32-bit Windows"),
              std::string::npos)
        << log;
}

}  // namespace
}  // namespace e2e_test
