// The real uninstaller hands work to other programs: the run-first program in each mode, and the
// self-delete that removes the executable and its emptied folder once the process has ended.
#include <gtest/gtest.h>

#include <string>

#include "e2e/e2e_fixture.h"
#include "support/sandbox.h"

using namespace format;
using testing_support::Exists;

namespace e2e_test {
namespace {

template <class Condition>
bool PollUntil(Condition done, DWORD limitMs = e2e::kSelfDeleteTimeoutMs) {
    DWORD start = GetTickCount();
    while (!done()) {
        if (GetTickCount() - start > limitMs) return false;
        Sleep(50);
    }
    return true;
}

// The probe's log for this test, named in the environment the uninstaller and its children inherit.
class ProbeLog {
  public:
    explicit ProbeLog(std::string path) : path_(std::move(path)) {
        DeleteFileA(path_.c_str());
        SetEnvironmentVariableA("UNINST_PROBE_LOG", path_.c_str());
    }
    ~ProbeLog() { SetEnvironmentVariableA("UNINST_PROBE_LOG", nullptr); }
    std::vector<testing_support::ProbeRecord> Records() const { return testing_support::ReadProbeLog(path_); }

  private:
    std::string path_;
};

class RunFirst : public E2eTest {};

// The program runs from its own folder with its arguments split off, in every mode but /X alone.
TEST_F(RunFirst, RunsInEveryModeButExternalAlone) {
    struct Case {
        const char* arguments;
        bool runs;
    } cases[] = {{"/S", true}, {"/Q", true}, {"/X", false}, {"/X /S", true}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.arguments);
        e2e::Installation& app = sandbox_.NewInstallation();
        ASSERT_TRUE(testing_support::CopyBuildFile("probe.exe", app.Path("tool.exe")));
        ProbeLog log(sandbox_.root() + "probe-" + app.exeName() + ".log");
        Block block;
        block.messages = TestMessages();
        block.settings = SettingsSpec{kSettingsWaitForRun, "\"  tool.exe \"   one \"two words\"", std::nullopt};
        Place(app, EncodeBlock(block));
        e2e::RunResult run = Run(app, c.arguments, robot::AnswerInOrder({}));
        std::string why;
        ASSERT_TRUE(e2e::WaitForRunToEnd(run, e2e::kRunTimeoutMs, &why)) << why;
        std::vector<testing_support::ProbeRecord> records = log.Records();
        ASSERT_EQ(records.size(), c.runs ? 1u : 0u);
        if (!c.runs) continue;
        std::string folder = app.folder().substr(0, app.folder().size() - 1);
        EXPECT_EQ(records[0].commandLine, "\"" + app.Path("tool.exe") + "\" one \"two words\"");
        EXPECT_EQ(records[0].arguments, (std::vector<std::string>{"one", "two words"}));
        EXPECT_TRUE(testing_support::StartsWithNoCase(records[0].currentFolder, folder) &&
                    records[0].currentFolder.size() == folder.size())
            << records[0].currentFolder;
    }
}

class SelfDelete : public E2eTest {};

// /Q deletes the uninstaller and its emptied folder, whose name holds "%", "&", parentheses, "^" and
// a character outside ASCII; the folder that an expanded "%" would have named instead stays.
TEST_F(SelfDelete, QuietRunRemovesTheExecutableAndItsFolder) {
    const std::string odd = "50%off & (x)^\xE9";
    e2e::Installation app(sandbox_.root() + odd + "\\", sandbox_.keyPath() + "\\Odd",
                          "un" + std::to_string(GetCurrentProcessId()) + "-odd.exe");
    ASSERT_TRUE(testing_support::MakeFolders(app.folder()));
    ASSERT_TRUE(testing_support::MakeFolders(sandbox_.root() + "50off & (x)^\xE9"));
    ASSERT_TRUE(testing_support::WriteFileText(sandbox_.root() + "50off & (x)^\xE9\\" + app.exeName(), "decoy"));
    Block block;
    block.messages = TestMessages();
    Place(app, EncodeBlock(block));
    e2e::RunResult run = Run(app, "/Q", robot::AnswerInOrder({}));
    EXPECT_EQ(run.exitCode, 0);
    ExpectSelfDeleted(run, app);
    EXPECT_EQ(testing_support::ReadFileText(sandbox_.root() + "50off & (x)^\xE9\\" + app.exeName()), "decoy");
}

// /S and /X never delete the uninstaller; a refused confirmation neither.
TEST_F(SelfDelete, OnlyConfirmedOrQuietRunsDeleteThemselves) {
    struct Case {
        const char* arguments;
        std::vector<robot::Reply> answers;
    } cases[] = {{"/S", {}}, {"/X", {}}, {"", {robot::Click(IDCANCEL)}}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.arguments);
        e2e::Installation& app = sandbox_.NewInstallation();
        Block block;
        block.messages = TestMessages();
        Place(app, EncodeBlock(block));
        e2e::RunResult run = Run(app, c.arguments, robot::AnswerInOrder(c.answers));
        std::string why;
        ASSERT_TRUE(e2e::WaitForRunToEnd(run, e2e::kRunTimeoutMs, &why)) << why;
        EXPECT_TRUE(Exists(app.uninstaller()));
    }
}

// A cmd.exe planted in the install folder (searched first by name) never runs: the System folder's
// does, deleting the uninstaller and leaving the folder, which still holds the planted file.
TEST_F(SelfDelete, PlantedInterpreterInTheInstallFolderNeverRuns) {
    e2e::Installation& app = sandbox_.NewInstallation();
    ASSERT_TRUE(testing_support::CopyBuildFile("probe.exe", app.Path("cmd.exe")));
    ProbeLog log(sandbox_.root() + "planted.log");
    Block block;
    block.messages = TestMessages();
    Place(app, EncodeBlock(block));
    e2e::RunResult run = Run(app, "/Q", robot::AnswerInOrder({}));
    std::string why;
    ASSERT_TRUE(e2e::WaitForRunToEnd(run, e2e::kSelfDeleteTimeoutMs, &why)) << why;
    EXPECT_TRUE(PollUntil([&] { return !Exists(app.uninstaller()); })) << "the real interpreter did not run";
    EXPECT_TRUE(log.Records().empty()) << "the planted cmd.exe ran";
    EXPECT_TRUE(Exists(app.Path("cmd.exe")));
}

// The 9x family's interpreter missing (Wine has no command.com of its own; the test prefix's copy is
// moved away): the run ends normally, the uninstaller stays and no batch is left behind.
class SelfDeleteSerial : public E2eTest {
  protected:
    void SetUp() override {
        E2eTest::SetUp();
        char windows[MAX_PATH] = {};
        ASSERT_GT(GetWindowsDirectoryA(windows, MAX_PATH), 0u);
        commandCom_ = std::string(windows) + "\\command.com";
        aside_ = commandCom_ + ".aside";
        if (Exists(commandCom_)) ASSERT_TRUE(MoveFileA(commandCom_.c_str(), aside_.c_str()));
    }
    void TearDown() override {
        if (Exists(aside_)) EXPECT_TRUE(MoveFileA(aside_.c_str(), commandCom_.c_str()));
        E2eTest::TearDown();
    }
    std::string commandCom_, aside_;
};

std::vector<std::string> BatchesInTemp() {
    char temp[MAX_PATH] = {};
    GetTempPathA(MAX_PATH, temp);
    std::vector<std::string> names;
    WIN32_FIND_DATAA found;
    HANDLE search = FindFirstFileA((std::string(temp) + "delme*.bat").c_str(), &found);
    if (search == INVALID_HANDLE_VALUE) return names;
    do names.push_back(found.cFileName);
    while (FindNextFileA(search, &found));
    FindClose(search);
    return names;
}

TEST_F(SelfDeleteSerial, NoBatchLeftWhenTheNineXInterpreterIsMissing) {
    e2e::Installation& app = sandbox_.NewInstallation();
    ASSERT_TRUE(app.UseFamily(testing_support::Family::k9x));
    Block block;
    block.messages = TestMessages();
    Place(app, EncodeBlock(block));
    std::vector<std::string> before = BatchesInTemp();
    e2e::RunResult run = Run(app, "/Q", robot::AnswerInOrder({}));
    EXPECT_EQ(run.exitCode, 0);
    std::string why;
    ASSERT_TRUE(e2e::WaitForRunToEnd(run, e2e::kRunTimeoutMs, &why)) << why;
    EXPECT_TRUE(Exists(app.uninstaller()));
    EXPECT_EQ(BatchesInTemp(), before);
}

}  // namespace
}  // namespace e2e_test
