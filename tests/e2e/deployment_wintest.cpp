// Runs as a deployment tool makes them: /Q or /S, nobody to answer, the exit code read afterwards.
// A file still in use is scheduled for deletion at the next restart with the folders that then hold
// nothing else, the run ends with 3010 and Wine's restart (wineboot -r) removes them; the 9x family
// writes WININIT.INI instead; the exit code tells a clean run (0, with items kept on purpose too) from
// one that left items behind (1603).
#include <fstream>
#include <gtest/gtest.h>
#include <sstream>

#include "e2e/e2e_fixture.h"
#include "support/helper_programs.h"
#include "support/sandbox.h"

using namespace format;
using testing_support::Snapshot;

namespace e2e_test {
namespace {

constexpr char kSessionManager[] = "SYSTEM\\CurrentControlSet\\Control\\Session Manager";

// The session manager's pending operations: each source path as the list holds it ("\??\C:\...").
std::vector<std::string> PendingOperations() {
    std::vector<std::string> sources;
    HKEY key = nullptr;
    if (RegOpenKeyExA(HKEY_LOCAL_MACHINE, kSessionManager, 0, KEY_QUERY_VALUE, &key) != ERROR_SUCCESS)
        return sources;
    DWORD size = 0;
    std::string data;
    if (RegQueryValueExA(key, "PendingFileRenameOperations", nullptr, nullptr, nullptr, &size) ==
        ERROR_SUCCESS) {
        data.resize(size);
        if (RegQueryValueExA(key, "PendingFileRenameOperations", nullptr, nullptr,
                             reinterpret_cast<BYTE*>(data.data()), &size) != ERROR_SUCCESS) {
            data.clear();
        }
    }
    RegCloseKey(key);
    // Pairs of source and target; a deletion's target is empty.
    std::vector<std::string> strings;
    for (size_t at = 0; at < data.size();) {
        size_t end = data.find('\0', at);
        if (end == std::string::npos) end = data.size();
        strings.push_back(data.substr(at, end - at));
        at = end + 1;
    }
    for (size_t i = 0; i + 1 < strings.size(); i += 2) {
        if (!strings[i].empty()) sources.push_back(strings[i]);
    }
    return sources;
}

// Leaves no pending operation of one case to the restart of another.
void ClearPendingOperations() {
    HKEY key = nullptr;
    if (RegOpenKeyExA(HKEY_LOCAL_MACHINE, kSessionManager, 0, KEY_SET_VALUE, &key) != ERROR_SUCCESS) return;
    RegDeleteValueA(key, "PendingFileRenameOperations");
    RegCloseKey(key);
}

// Wine's restart: wineboot -r carries out the pending operations.
bool RestartWine(std::string* why) {
    char command[] = "wineboot.exe -r";
    STARTUPINFOA startup = {};
    startup.cb = sizeof startup;
    PROCESS_INFORMATION process = {};
    if (!CreateProcessA(nullptr, command, nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup, &process)) {
        *why = "wineboot did not start: " + std::to_string(GetLastError());
        return false;
    }
    DWORD waited = WaitForSingleObject(process.hProcess, 120000);
    CloseHandle(process.hThread);
    CloseHandle(process.hProcess);
    if (waited != WAIT_OBJECT_0) *why = "wineboot -r did not end";
    return waited == WAIT_OBJECT_0;
}

std::string ReadText(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::ostringstream all;
    all << in.rdbuf();
    return all.str();
}

// The last line of a removal log, split at its tabs.
std::vector<std::string> SummaryOf(const std::string& log) {
    size_t end = log.rfind("\r\n");
    size_t start = end == std::string::npos || end == 0 ? std::string::npos : log.rfind("\r\n", end - 1);
    std::string line = log.substr(start == std::string::npos ? 0 : start + 2,
                                  end - (start == std::string::npos ? 0 : start + 2));
    std::vector<std::string> fields;
    size_t from = 0;
    for (size_t tab; (tab = line.find('\t', from)) != std::string::npos; from = tab + 1)
        fields.push_back(line.substr(from, tab - from));
    fields.push_back(line.substr(from));
    return fields;
}

class DeploymentE2e : public E2eTest {};

// The restart acts on the whole prefix's pending list and WININIT.INI: these cases run alone, and each
// starts and ends with neither holding anything.
class RestartSerial : public E2eTest {
  protected:
    void SetUp() override {
        E2eTest::SetUp();
        ClearPendingOperations();
    }
    void TearDown() override {
        ClearPendingOperations();
        E2eTest::TearDown();
    }
    std::string Item(const e2e::Installation& app, const std::string& relative) const {
        return app.Path(relative).substr(sandbox_.root().size());
    }
};

TEST_F(RestartSerial, FilesInUseUnderQuietRunsGoAtTheNextRestart) {
    // /X and /S: quiet as /Q is, without the self-delete, so that the restart finds the folder as the
    // run left it.
    for (const char* mode : {"/X", "/S"}) {
        SCOPED_TRACE(mode);
        ClearPendingOperations();
        e2e::Installation& app = NewInstallation();
        ASSERT_TRUE(app.AddFile("Bin\\held.dll", "held"));
        ASSERT_TRUE(app.AddFile("Bin\\Sub\\held.ocx", "held too"));
        ASSERT_TRUE(app.AddFile("Bin\\free.dll", "free"));
        Block block = InstallationBlock(app);
        block.files.push_back({".\\Bin", "free.dll", 0});
        block.files.push_back({".\\Bin", "held.dll", 0});
        block.files.push_back({".\\Bin\\Sub", "held.ocx", 0});
        Place(app, EncodeBlock(block));
        std::string logPath = sandbox_.root() + "restart" + std::string(mode + 1) + ".log";
        Snapshot before = TakeSnapshot();
        e2e::RunResult run;
        {
            testing_support::LockedFile held(app.Path("Bin\\held.dll"));
            testing_support::LockedFile heldToo(app.Path("Bin\\Sub\\held.ocx"));
            ASSERT_TRUE(held.holding()) << held.error();
            ASSERT_TRUE(heldToo.holding()) << heldToo.error();
            run = Run(app, std::string(mode) + " /L=" + logPath, robot::AnswerInOrder({}));
            std::string why;
            ASSERT_TRUE(e2e::WaitForRunToEnd(run, e2e::kRunTimeoutMs, &why)) << why;
        }
        EXPECT_EQ(run.exitCode, 3010);
        EXPECT_TRUE(run.windows.empty()) << run.Describe();

        // Each held file, then each folder that holds nothing else, in an order that lets them go.
        std::vector<std::string> pending = PendingOperations();
        auto at = [&](const std::string& path) {
            auto found = std::find(pending.begin(), pending.end(), "\\??\\" + path);
            return found == pending.end() ? -1 : static_cast<int>(found - pending.begin());
        };
        int file = at(app.Path("Bin\\held.dll")), fileToo = at(app.Path("Bin\\Sub\\held.ocx"));
        int sub = at(app.Path("Bin\\Sub")), bin = at(app.Path("Bin"));
        EXPECT_EQ(pending.size(), 4u);
        EXPECT_GE(file, 0);
        EXPECT_GT(sub, fileToo);
        EXPECT_GT(bin, sub);
        EXPECT_GT(bin, file);

        std::string log = ReadText(logPath);
        EXPECT_NE(log.find("files\tdelete\tfiles[4]\t" + app.Path("Bin\\held.dll") +
                           "\tkept: in use, goes at restart\r\n"),
                  std::string::npos)
            << log;
        EXPECT_NE(log.find("programFolders\tremove folder\tfiles[5]\t" + app.Path("Bin") +
                           "\tkept: in use, goes at restart\r\n"),
                  std::string::npos)
            << log;
        std::vector<std::string> summary = SummaryOf(log);
        ASSERT_EQ(summary.size(), 5u) << log;
        EXPECT_EQ(summary[1], "completed");
        EXPECT_EQ(summary[3], "removed 5, kept on purpose 5, problems 0, at restart 4, not there 0") << log;
        EXPECT_EQ(summary[4], "exit code 3010");

        // Restarted: the held files and their folders are gone, and nothing else.
        std::string why;
        ASSERT_TRUE(RestartWine(&why)) << why;
        EXPECT_TRUE(PendingOperations().empty());
        std::string key = "HKCU:" + app.keyPath().substr(sandbox_.keyPath().size() + 1) + "\\";
        ExpectChanges(
            before,
            {.removed = {Item(app, "app.txt"), Item(app, "Data\\"), Item(app, "Data\\data.bin"),
                         Item(app, "Bin\\"), Item(app, "Bin\\free.dll"), Item(app, "Bin\\held.dll"),
                         Item(app, "Bin\\Sub\\"), Item(app, "Bin\\Sub\\held.ocx"), key, key + "@Path"},
             .added = {logPath.substr(sandbox_.root().size())}});
    }
}

// The 9x family has no pending list: a NUL line in WININIT.INI's [rename] section, by the short path,
// after the lines other programs wrote there.
TEST_F(RestartSerial, NineXFamilyWritesWininit) {
    char windows[MAX_PATH];
    UINT n = GetWindowsDirectoryA(windows, MAX_PATH);
    ASSERT_GT(n, 0u);
    std::string ini = std::string(windows, n) + "\\WININIT.INI";
    ASSERT_TRUE(testing_support::PlaceFile(ini, "[rename]\r\nNUL=C:\\OTHER.TMP\r\n"));
    e2e::Installation& app = NewInstallation(testing_support::Family::k9x);
    ASSERT_TRUE(app.AddFile("held.dll", "held"));
    Block block = InstallationBlock(app);
    block.files.push_back({".\\", "held.dll", 0});
    Place(app, EncodeBlock(block));
    e2e::RunResult run;
    {
        testing_support::LockedFile held(app.Path("held.dll"));
        ASSERT_TRUE(held.holding()) << held.error();
        run = Run(app, "/S", robot::AnswerInOrder({}));
        std::string why;
        ASSERT_TRUE(e2e::WaitForRunToEnd(run, e2e::kRunTimeoutMs, &why)) << why;
    }
    char shortPath[MAX_PATH];
    DWORD length = GetShortPathNameA(app.Path("held.dll").c_str(), shortPath, MAX_PATH);
    std::string text = ReadText(ini);
    DeleteFileA(ini.c_str());
    EXPECT_EQ(run.exitCode, 3010);
    ASSERT_GT(length, 0u);
    EXPECT_NE(text.find("NUL=C:\\OTHER.TMP"), std::string::npos) << text;
    EXPECT_NE(text.find("NUL=" + std::string(shortPath, length)), std::string::npos) << text;
    EXPECT_GT(text.find("NUL=" + std::string(shortPath, length)), text.find("NUL=C:\\OTHER.TMP")) << text;
    EXPECT_TRUE(PendingOperations().empty());
}

// The exit code of a run that went through its passes: 0 when everything listed went or was kept on
// purpose, 1603 when an item that should have gone stayed. With a log and without one alike.
TEST_F(DeploymentE2e, ExitCodeTellsACleanRunFromOneThatLeftItemsBehind) {
    struct Case {
        const char* what;
        std::vector<FileSpec> files;
        std::vector<std::string> patterns;
        int code;
    } cases[] = {
        {"everything went", {}, {}, 0},
        {"kept on purpose: a protected folder, a folder holding a user's file",
         {{"#Windows#", "", 0}, {".\\Keep", "", 0}},
         {},
         0},
        {"a pattern that reaches a folder every program shares", {}, {"#Windows#\\*.log"}, 1603},
        {"a path that does not fit", {{".\\" + std::string(300, 'x'), "a.txt", 0}}, {}, 1603},
    };
    for (const Case& c : cases) {
        for (const char* log : {"", " /L=exit.log"}) {
            SCOPED_TRACE(std::string(c.what) + log);
            e2e::Installation& app = NewInstallation();
            ASSERT_TRUE(app.AddFile("Keep\\notes.txt", "the user's"));
            Block block = InstallationBlock(app);
            block.files.insert(block.files.end(), c.files.begin(), c.files.end());
            block.patterns = c.patterns;
            Place(app, EncodeBlock(block));
            e2e::RunResult run = Run(app, std::string("/S") + log, robot::AnswerInOrder({}));
            EXPECT_EQ(run.exitCode, c.code);
            EXPECT_TRUE(run.windows.empty()) << run.Describe();
            if (log[0] != '\0') {
                std::vector<std::string> summary = SummaryOf(ReadText(sandbox_.root() + "exit.log"));
                ASSERT_EQ(summary.size(), 5u);
                EXPECT_EQ(summary[4], "exit code " + std::to_string(c.code));
            }
        }
    }
}

}  // namespace
}  // namespace e2e_test
