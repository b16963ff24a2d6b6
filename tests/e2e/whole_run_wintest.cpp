// A whole installation removed by the real uninstaller: files and folder entries, a font, patterns
// with matches in subfolders, shortcuts that climb, nested keys and single values. Through the UI
// answered by the robot, with the progress display recorded as the passes run (a window hook loaded
// into the uninstaller), and silently as a member of the 9x family, where keys go by the platform's
// own deletion of a key with its subkeys and the protected folders are that family's (the all-users
// menu folders are not among them there).
#include <windows.h>

#include <shlobj.h>

#include <fstream>
#include <gtest/gtest.h>

#include "e2e/e2e_fixture.h"
#include "support/font_file.h"
#include "support/sandbox.h"

using namespace format;
using testing_support::Family;
using testing_support::ItemsUnder;
using testing_support::RegValue;
using testing_support::Snapshot;

namespace e2e_test {
namespace {

class WholeRun : public E2eTest {
  protected:
    // Plants the installation and its neighbours that must stay, fills `block` with it and places
    // the uninstaller.
    void PlantInstallation(e2e::Installation& app, Family family, Block& block) {
        const std::string root = sandbox_.root();
        const std::string appName = testing_support::NameOf(testing_support::FolderOf(app.folder()));
        // Listed files, a font among them, and what the patterns match in subfolders.
        for (const char* file : {"app.exe", "readme.txt", "Bin\\core.dll", "Bin\\Plugins\\p.dll",
                                 "Data\\levels.dat", "debug.log", "Logs\\Today\\c.log"}) {
            ASSERT_TRUE(app.AddFile(file, "installed"));
        }
        ASSERT_TRUE(testing_support::MakeFolders(app.Path("Logs\\Old")));
        fontName_ = Machine().FontName(family == Family::kNt ? "Whole" : "Whole9x");
        ASSERT_TRUE(app.AddFileBytes("font.ttf", testing_support::SimpleFont(fontName_)));
        // A font outside the Fonts folder is registered by its full path.
        ASSERT_TRUE(Machine().SetFontValue(family, fontName_, app.Path("font.ttf")));
        // A shared folder outside the installation that a token pattern cleans: the user's file stays.
        for (const char* file : {"Shared\\a.tmp", "Shared\\Sub\\b.tmp", "Shared\\user.cfg"}) {
            ASSERT_TRUE(testing_support::PlaceFile(root + file, "x")) << file;
        }
        ASSERT_TRUE(testing_support::MakeFolders(root + "Shared\\Empty"));
        // Shortcuts: one that climbs two levels and stops at a folder another program uses, one
        // beside the user's own file.
        for (const char* file : {"Menu\\Programs\\Vendor\\App\\App.lnk", "Menu\\Programs\\Other\\o.lnk",
                                 "Desk\\App.lnk", "Desk\\user.txt"}) {
            ASSERT_TRUE(testing_support::PlaceFile(root + file, "x")) << file;
        }
        // Keys: the installation's own with nested subkeys, and two shared keys with one value each
        // of the installation's.
        const std::string key = app.keyPath();
        const std::string shared = sandbox_.keyPath();
        ASSERT_TRUE(testing_support::CreateTree(HKEY_CURRENT_USER, key,
                                                {{"", "Path", RegValue::String(app.folder())},
                                                 {"Settings", "Theme", RegValue::String("dark")},
                                                 {"Settings\\Window\\Pos", "x", RegValue::Dword(1)},
                                                 {"Settings\\Empty"}}));
        ASSERT_TRUE(testing_support::CreateTree(HKEY_CURRENT_USER, shared,
                                                {{"Run", appName, RegValue::String("app.exe")},
                                                 {"Run", "Other", RegValue::String("other.exe")},
                                                 {"Assoc", "", RegValue::String("App.Document")},
                                                 {"Assoc", "Content Type", RegValue::String("text/plain")}}));

        block.messages = TestMessages();
        block.files = {
            {".\\", "app.exe", 0},     {".\\", "readme.txt", 0},        {".\\", "font.ttf", kFileFont},
            {".\\Bin", "core.dll", 0}, {".\\Bin\\Plugins", "p.dll", 0}, {".\\Data", "levels.dat", 0},
            {".\\Data", "", 0}};
        block.patterns = {
            "*.log", "#TempDir#\\" + testing_support::NameOf(sandbox_.folder().path()) + "\\Shared\\*.tmp"};
        block.shortcuts = {{2, root + "Menu\\Programs\\Vendor\\App", "", "App.lnk"},
                           {0, root + "Desk", "", "App.lnk"}};
        block.registry = {{kHkcu, key + "\\Settings"},
                          {kHkcu, shared + "\\Run\\\\" + appName},
                          {kHkcu, shared + "\\Assoc\\\\"},
                          {kHkcu, key}};
        Place(app, EncodeBlock(block));
    }

    // Everything the run removes, the installation's folder and its uninstaller apart.
    std::set<std::string> ListedItems(const Snapshot& before, const e2e::Installation& app,
                                      Family family) const {
        const std::string appItem = app.folder().substr(sandbox_.root().size());
        const std::string appName = appItem.substr(0, appItem.size() - 1);
        std::set<std::string> removed = ItemsUnder(before, appItem);
        removed.erase(appItem);
        removed.erase(appItem + app.exeName());
        for (const std::set<std::string>& more :
             {ItemsUnder(before, "HKCU:" + appName + "\\"), ItemsUnder(before, "Menu\\Programs\\Vendor\\"),
              ItemsUnder(before, "Shared\\Sub\\"), ItemsUnder(before, "Shared\\Empty\\")}) {
            removed.insert(more.begin(), more.end());
        }
        removed.insert({"Shared\\a.tmp", "Desk\\App.lnk", "HKCU:Run\\@" + appName, "HKCU:Assoc\\@",
                        (family == Family::kNt ? "Fonts:@" : "9x Fonts:@") + fontName_ + " (TrueType)"});
        return removed;
    }

    std::string fontName_;
};

// What the progress hook (tests/dlls/progress_hook.cpp) records, from the moment it is set on the
// uninstaller's thread: one line per change of the bar's position or the phase text.
class ProgressTrace {
  public:
    explicit ProgressTrace(std::string path) : path_(std::move(path)) {
        DeleteFileA(path_.c_str());
        SetEnvironmentVariableA("UNINST_PROGRESS_TRACE", path_.c_str());
        library_ = LoadLibraryA((testing_support::BuildFolder() + "progress_hook.dll").c_str());
        if (library_) proc_ = reinterpret_cast<HOOKPROC>(GetProcAddress(library_, "ProgressHookProc"));
    }
    ~ProgressTrace() {
        if (hook_) UnhookWindowsHookEx(hook_);
        if (library_) FreeLibrary(library_);
        SetEnvironmentVariableA("UNINST_PROGRESS_TRACE", nullptr);
    }
    ProgressTrace(const ProgressTrace&) = delete;
    ProgressTrace& operator=(const ProgressTrace&) = delete;

    // Sets the hook on the thread of `window` (a window of the uninstaller).
    bool Watch(HWND window) {
        DWORD thread = GetWindowThreadProcessId(window, nullptr);
        if (proc_ && thread && !hook_) hook_ = SetWindowsHookExA(WH_CALLWNDPROCRET, proc_, library_, thread);
        return hook_ != nullptr;
    }

    std::vector<std::string> Lines() const {
        std::vector<std::string> lines;
        std::ifstream in(path_);
        for (std::string line; std::getline(in, line);) lines.push_back(line);
        return lines;
    }

  private:
    std::string path_;
    HMODULE library_ = nullptr;
    HOOKPROC proc_ = nullptr;
    HHOOK hook_ = nullptr;
};

// The bar as the run's table of positions moves it, with total T = R + 2F + S: the file pass at
// k (k = 0 ... F-1), none for the patterns, both shortcut passes at F + i, the program folders at
// S + R + F + i except for font entries, the registry at F + S + k except for value entries; each
// as the truncated percentage, shown only when it changes (the bar starts at 0), and the phase
// texts 11 to 14 before their passes.
std::vector<std::string> TableTrace(const Block& block) {
    const uint32_t f = static_cast<uint32_t>(block.files.size());
    const uint32_t s = static_cast<uint32_t>(block.shortcuts.size());
    const uint32_t r = static_cast<uint32_t>(block.registry.size());
    const uint32_t total = r + 2 * f + s;
    std::vector<std::string> trace;
    uint32_t shown = 0;
    auto at = [&](uint32_t position) {
        uint32_t percent = position * 100 / total;
        if (percent > 100) percent = 100;
        if (percent != shown) trace.push_back("position " + std::to_string(percent));
        shown = percent;
    };
    auto text = [&](int message) { trace.push_back("text " + block.messages[message]); };
    text(kMsgProgressFiles);
    for (uint32_t k = 0; k < f; ++k) at(k);
    text(kMsgProgressShortcuts);
    for (uint32_t i = 0; i < s; ++i) at(f + i);
    for (uint32_t i = 0; i < s; ++i) at(f + i);
    text(kMsgProgressFolders);
    for (uint32_t i = 0; i < f; ++i) {
        if (!(block.files[i].flags & kFileFont)) at(s + r + f + i);
    }
    text(kMsgProgressRegistry);
    for (uint32_t k = 0; k < r; ++k) {
        const std::string& path = block.registry[k].keyPath;
        size_t last = path.rfind('\\');
        bool value = last != std::string::npos && last > 0 && path[last - 1] == '\\';
        if (!value) at(f + s + k);
    }
    return trace;
}

// Confirmation OK, the progress display, the closing box OK: exactly the listed items go, the
// uninstaller deletes itself and the emptied folder, and the bar and its texts follow the table.
TEST_F(WholeRun, ThroughTheUiEverythingListedGoesWithTheProgressOfEachPass) {
    e2e::Installation& app = sandbox_.NewInstallation();
    Block block;
    PlantInstallation(app, Family::kNt, block);
    if (HasFatalFailure()) return;
    Snapshot before = TakeSnapshot();
    ProgressTrace trace(sandbox_.root() + "progress.trace");
    bool watching = false;
    e2e::RunResult run = Run(app, "", [&](const robot::SeenWindow& window, size_t modalIndex) {
        if (!window.modal) return robot::Ignore();
        if (modalIndex == 0) watching = trace.Watch(window.handle);
        return robot::Click(IDOK);
    });
    EXPECT_EQ(run.exitCode, 0);
    std::vector<robot::SeenWindow> boxes = run.MessageBoxes();
    ASSERT_EQ(boxes.size(), 2u) << run.Describe();
    EXPECT_EQ(boxes[0].text, TestMessages()[kMsgConfirm]);
    EXPECT_EQ(boxes[1].text, TestMessages()[kMsgFinished]);
    ExpectSelfDeleted(run, app);
    // The listed items, and the uninstaller with its folder.
    std::set<std::string> removed = ItemsUnder(before, app.folder().substr(sandbox_.root().size()));
    std::set<std::string> listed = ListedItems(before, app, Family::kNt);
    removed.insert(listed.begin(), listed.end());
    ExpectChanges(before, {.removed = removed, .added = {"progress.trace"}});
    ASSERT_TRUE(watching) << "the progress hook could not be set on the uninstaller's thread";
    EXPECT_EQ(trace.Lines(), TableTrace(block));
}

// The same installation removed silently as a member of the 9x family: the same items go.
TEST_F(WholeRun, SilentlyOnTheNineXFamilyEverythingListedGoes) {
    e2e::Installation& app = sandbox_.NewInstallation();
    ASSERT_TRUE(app.UseFamily(Family::k9x));
    Block block;
    PlantInstallation(app, Family::k9x, block);
    if (HasFatalFailure()) return;
    Snapshot before = TakeSnapshot();
    e2e::RunResult run = Run(app, "/S", robot::AnswerInOrder({}));
    // Wine keeps the NT rule for a key with subkeys when it reports the 9x family: deleting the
    // Settings entry fails with error 5 (the later entry of its parent takes it), and the run reports
    // that problem.
    EXPECT_EQ(run.exitCode, 1603);
    EXPECT_TRUE(run.windows.empty()) << run.Describe();
    std::string why;
    ASSERT_TRUE(e2e::WaitForRunToEnd(run, e2e::kRunTimeoutMs, &why)) << why;
    ExpectChanges(before, {.removed = ListedItems(before, app, Family::k9x)});
}

// The all-users startup folder is protected on the NT family only: a shortcut folder that climbs
// into it leaves it on NT and removes it, empty, on the 9x family. Runs alone: it changes a folder
// the whole prefix shares, and puts it back.
class FamilyFoldersSerial : public E2eTest {
  protected:
    void TearDown() override {
        if (!startup_.empty()) EXPECT_TRUE(testing_support::MakeFolders(startup_));
        E2eTest::TearDown();
    }
    std::string startup_;
};

bool IsEmptyFolder(const std::string& folder) {
    WIN32_FIND_DATAA found;
    HANDLE search = FindFirstFileA((folder + "\\*").c_str(), &found);
    if (search == INVALID_HANDLE_VALUE) return false;
    bool empty = true;
    do empty = empty && (strcmp(found.cFileName, ".") == 0 || strcmp(found.cFileName, "..") == 0);
    while (FindNextFileA(search, &found));
    FindClose(search);
    return empty;
}

TEST_F(FamilyFoldersSerial, AllUsersStartupFolderIsProtectedOnTheNtFamilyOnly) {
    char path[MAX_PATH] = {};
    ASSERT_TRUE(SHGetSpecialFolderPathA(nullptr, path, CSIDL_COMMON_STARTUP, TRUE));
    startup_ = path;
    if (!IsEmptyFolder(startup_)) GTEST_SKIP() << startup_ << " is not empty here: no run could remove it";
    for (Family family : {Family::kNt, Family::k9x}) {
        SCOPED_TRACE(family == Family::kNt ? "NT family" : "9x family");
        e2e::Installation& app = sandbox_.NewInstallation();
        ASSERT_TRUE(app.UseFamily(family));
        const std::string mine = startup_ + "\\UninstE2E-" + app.exeName();
        ASSERT_TRUE(testing_support::PlaceFile(mine + "\\App.lnk", "link"));
        Block block;
        block.messages = TestMessages();
        block.shortcuts = {{1, mine, "", "App.lnk"}};
        Place(app, EncodeBlock(block));
        e2e::RunResult run = Run(app, "/S", robot::AnswerInOrder({}));
        std::string why;
        ASSERT_TRUE(e2e::WaitForRunToEnd(run, e2e::kRunTimeoutMs, &why)) << why;
        EXPECT_FALSE(testing_support::Exists(mine));
        EXPECT_EQ(testing_support::Exists(startup_), family == Family::kNt);
        testing_support::RemoveTree(mine);
        ASSERT_TRUE(testing_support::MakeFolders(startup_));
    }
}

}  // namespace
}  // namespace e2e_test
