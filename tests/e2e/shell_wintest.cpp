// The real uninstaller hands work to other programs: the run-first program in each mode, waited for
// or not, the closing document through the registered command when the shell fails, and the
// self-delete that removes the executable and its emptied folder once the process has ended.
#include <atomic>
#include <gtest/gtest.h>
#include <string>
#include <thread>

#include "e2e/e2e_fixture.h"
#include "support/sandbox.h"
#include "ui/ui.h"

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
        block.settings =
            SettingsSpec{kSettingsWaitForRun, "\"  tool.exe \"   one \"two words\"", std::nullopt};
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

// A program that is not a whole path once composed is not run: an unknown token leaves "tool.exe",
// which a search would find in the uninstaller's own folder, or "\tool.exe", "C:tool.exe". The
// same program by a whole path runs.
TEST_F(RunFirst, ProgramThatIsNotAWholePathIsNotRun) {
    struct Case {
        const char* command;
        bool runs;
    } cases[] = {
        {"#Nothing#tool.exe", false},
        {"\"#Nothing#tool.exe\" one", false},
        {"\"#Nothing#\\tool.exe\" one", false},
        {"\"#Nothing#C:tool.exe\" one", false},
        {"\"tool.exe\" one", true},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.command);
        e2e::Installation& app = sandbox_.NewInstallation();
        ASSERT_TRUE(testing_support::CopyBuildFile("probe.exe", app.Path("tool.exe")));
        ProbeLog log(sandbox_.root() + "probe-" + app.exeName() + ".log");
        Block block;
        block.messages = TestMessages();
        block.settings = SettingsSpec{kSettingsWaitForRun, c.command, std::nullopt};
        Place(app, EncodeBlock(block));
        e2e::RunResult run = Run(app, "/S", robot::AnswerInOrder({}));
        std::string why;
        ASSERT_TRUE(e2e::WaitForRunToEnd(run, e2e::kRunTimeoutMs, &why)) << why;
        std::vector<testing_support::ProbeRecord> records = log.Records();
        ASSERT_EQ(records.size(), c.runs ? 1u : 0u);
        if (c.runs) EXPECT_EQ(records[0].commandLine, "\"" + app.Path("tool.exe") + "\" one");
    }
}

struct DisplaySearch {
    DWORD processId;
    HWND found;
};

BOOL CALLBACK FindDisplayProc(HWND window, LPARAM context) {
    DisplaySearch& search = *reinterpret_cast<DisplaySearch*>(context);
    DWORD owner = 0;
    GetWindowThreadProcessId(window, &owner);
    if (owner != search.processId || !IsWindowVisible(window) || !GetDlgItem(window, kProgressBarId))
        return TRUE;
    search.found = window;
    return FALSE;
}

// The progress display of process `processId`, when it shows one: its top-level dialog with the bar.
HWND FindProgressDisplay(DWORD processId) {
    DisplaySearch search{processId, nullptr};
    EnumWindows(FindDisplayProc, reinterpret_cast<LPARAM>(&search));
    return search.found;
}

// The run-first program holds until the test releases it (it deletes the release file as its last
// act). Waited for, it runs while the uninstaller pumps its messages with no progress display; the
// display, and the read-only question inside it, come only once it has ended. Not waited for, the
// display and the question are up while it still holds.
TEST_F(RunFirst, ProgressDisplayComesOnlyAfterAWaitedForProgramEnded) {
    for (bool waits : {true, false}) {
        SCOPED_TRACE(waits ? "waited for" : "not waited for");
        e2e::Installation& app = sandbox_.NewInstallation();
        ASSERT_TRUE(testing_support::CopyBuildFile("probe.exe", app.Path("tool.exe")));
        ASSERT_TRUE(app.AddFile("locked.txt", "x", testing_support::kReadOnly));
        const std::string release = sandbox_.root() + "release-" + app.exeName();
        ProbeLog log(sandbox_.root() + "probe-" + app.exeName() + ".log");
        Block block;
        block.messages = TestMessages();
        block.files = {{".\\", "locked.txt", 0}};
        block.settings = SettingsSpec{waits ? kSettingsWaitForRun : 0u,
                                      "\"tool.exe\" --hold=\"" + release + "\"", std::nullopt};
        Place(app, EncodeBlock(block));

        std::atomic<DWORD> processId{0};
        std::atomic<HWND> mainWindow{nullptr};
        std::atomic<bool> released{false};
        std::atomic<bool> releaseWritten{true};
        auto letGo = [&] {
            released = true;
            if (!testing_support::WriteFileText(release, "go")) releaseWritten = false;
        };
        // Waited for: once the program runs and the uninstaller has answered a message (it pumps
        // in its wait), there must be no progress display yet; then the program is released.
        std::atomic<int> displayWhileHeld{-1};
        std::thread releaser;
        if (waits) {
            releaser = std::thread([&] {
                bool running = PollUntil([&] { return mainWindow.load() && !log.Records().empty(); },
                                         e2e::kRunTimeoutMs);
                DWORD_PTR answer = 0;
                if (running &&
                    SendMessageTimeoutA(mainWindow.load(), WM_NULL, 0, 0, SMTO_NORMAL, 20000, &answer)) {
                    displayWhileHeld = FindProgressDisplay(processId.load()) ? 1 : 0;
                }
                letGo();
            });
        }
        bool questionSeen = false, displayAtQuestion = false, programEndedAtQuestion = false;
        e2e::RunResult run = Run(app, "", [&](const robot::SeenWindow& window, size_t modalIndex) {
            if (!window.modal) return robot::Ignore();
            if (modalIndex == 0) {
                processId = window.processId;
                mainWindow = window.owner;
                return robot::Click(IDOK);
            }
            if (window.HasButton(kYesToAllId)) {
                questionSeen = true;
                displayAtQuestion = FindProgressDisplay(window.processId) != nullptr;
                programEndedAtQuestion = released.load() && !Exists(release);
                if (!waits) letGo();
                return robot::Click(IDYES);
            }
            return robot::Click(IDOK);
        });
        if (releaser.joinable()) releaser.join();
        std::string why;
        ASSERT_TRUE(e2e::WaitForRunToEnd(run, e2e::kRunTimeoutMs, &why)) << why;
        ASSERT_TRUE(releaseWritten);
        ASSERT_EQ(log.Records().size(), 1u) << "the program ran once";
        EXPECT_TRUE(PollUntil([&] { return !Exists(release); }))
            << "the program was never released or never ended";
        ASSERT_TRUE(questionSeen) << run.Describe();
        EXPECT_TRUE(displayAtQuestion);
        EXPECT_EQ(programEndedAtQuestion, waits);
        if (waits)
            EXPECT_EQ(displayWhileHeld.load(), 0) << "-1: the uninstaller did not answer while it waited";
        EXPECT_FALSE(Exists(app.Path("locked.txt")));
    }
}

// The closing document when the shell cannot open it: the open command registered for ".htm" runs
// with the document in place of its placeholder. The class is the test's own, and the shell's
// handler of web addresses points at a program that does not exist, so no browser ever starts.
class ClosingDocumentSerial : public E2eTest {
  protected:
    void SetUp() override {
        E2eTest::SetUp();
        ASSERT_TRUE(testing_support::CopyBuildFile("probe.exe", viewer_));
        std::string command = "\"" + viewer_ + "\" --log=\"" + log_ + "\" \"%1\"";
        ASSERT_TRUE(testing_support::SetValue(HKEY_CLASSES_ROOT, className_ + "\\shell\\open\\command", "",
                                              testing_support::RegValue::String(command)));
        ASSERT_TRUE(htm_.ok());
        ASSERT_TRUE(http_.ok());
    }
    void TearDown() override {
        testing_support::DeleteKeyTree(HKEY_CLASSES_ROOT, className_);
        RegDeleteKeyA(HKEY_CLASSES_ROOT, kClassParent);  // only when no other test's class is in it
        E2eTest::TearDown();
    }

    static constexpr char kClassParent[] = "UninstE2E.Closing";
    std::string viewer_ = sandbox_.root() + "viewer.exe";
    std::string log_ = sandbox_.root() + "viewer.log";
    std::string className_ = std::string(kClassParent) + "\\" + std::to_string(GetCurrentProcessId());
    testing_support::ScopedValue htm_{HKEY_CLASSES_ROOT, ".htm", "",
                                      testing_support::RegValue::String(className_)};
    testing_support::ScopedValue http_{
        HKEY_CLASSES_ROOT, "http\\shell\\open\\command", "",
        testing_support::RegValue::String("\"" + sandbox_.root() + "no such browser.exe\" \"%1\"")};
};

// Opened after the closing box, or at the end of a /Q run; never with /S or /X, nor after a refused
// confirmation. The shell's failure is shown to no one: the only boxes are the run's own.
TEST_F(ClosingDocumentSerial, ShellFailingTheRegisteredCommandOpensIt) {
    const std::string address = "http://example.invalid/page";
    const std::string missing = sandbox_.root() + "no such\\page.htm";
    struct Case {
        const char* what;
        std::string document;
        const char* arguments;
        std::vector<robot::Reply> replies;
        size_t boxes;
        std::string
            tail;  // the command line after the registered command's cut placeholder; empty: none runs
    } cases[] = {
        {"an address, /Q", address, "/Q", {}, 0, "  " + address},
        {"a document that is not there, quoted for its blank, after the closing box",
         missing,
         "",
         {robot::Click(IDOK), robot::Click(IDOK)},
         2,
         "  \"" + missing + "\""},
        {"/S", address, "/S", {}, 0, ""},
        {"/X", address, "/X", {}, 0, ""},
        {"confirmation refused", address, "", {robot::Click(IDCANCEL)}, 1, ""},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        DeleteFileA(log_.c_str());
        e2e::Installation& app = sandbox_.NewInstallation();
        Block block;
        block.messages = TestMessages();
        block.settings = SettingsSpec{0, std::nullopt, c.document};
        Place(app, EncodeBlock(block));
        e2e::RunResult run = Run(app, c.arguments, robot::AnswerInOrder(c.replies));
        EXPECT_EQ(run.MessageBoxes().size(), c.boxes) << run.Describe();
        std::string why;
        // The command runs in the run's job: once the job is empty, it has written its record or never ran.
        ASSERT_TRUE(e2e::WaitForRunToEnd(run, e2e::kRunTimeoutMs, &why)) << why;
        std::vector<testing_support::ProbeRecord> records = testing_support::ReadProbeLog(log_);
        if (c.tail.empty()) {
            EXPECT_TRUE(records.empty()) << records.front().commandLine;
            continue;
        }
        ASSERT_EQ(records.size(), 1u) << "nothing opened it";
        EXPECT_EQ(records[0].commandLine, "\"" + viewer_ + "\" --log=\"" + log_ + "\"" + c.tail);
        EXPECT_EQ(records[0].arguments, (std::vector<std::string>{"--log=" + log_, c.document}));
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
    ASSERT_TRUE(
        testing_support::WriteFileText(sandbox_.root() + "50off & (x)^\xE9\\" + app.exeName(), "decoy"));
    Block block;
    block.messages = TestMessages();
    Place(app, EncodeBlock(block));
    e2e::RunResult run = Run(app, "/Q", robot::AnswerInOrder({}));
    EXPECT_EQ(run.exitCode, 0);
    ExpectSelfDeleted(run, app);
    EXPECT_EQ(testing_support::ReadFileText(sandbox_.root() + "50off & (x)^\xE9\\" + app.exeName()), "decoy");
}

// A temporary folder whose path holds "%OS%" (TMP and TEMP name it): the batch is written there and
// run there, so the interpreter never expands the folder's path into the folder beside it, where a
// planted batch of the same name waits. The planted one never runs, the uninstaller goes.
TEST_F(SelfDelete, TempFolderWithAVariableRunsOnlyTheBatchWrittenThere) {
    std::string temp = sandbox_.root() + "T%OS%1";
    std::string expanded = sandbox_.root() + "TWindows_NT1";  // what cmd makes of it
    ASSERT_TRUE(testing_support::MakeFolders(temp));
    ASSERT_TRUE(testing_support::MakeFolders(expanded));
    std::string marker = sandbox_.root() + "planted-ran.txt";
    for (int n = 1; n <= 3; ++n) {
        ASSERT_TRUE(testing_support::WriteFileText(expanded + "\\delme" + std::to_string(n) + ".bat",
                                                   "@echo ran> \"" + marker + "\"\r\n"));
    }
    char savedTmp[MAX_PATH] = "";
    char savedTemp[MAX_PATH] = "";
    DWORD tmpLength = GetEnvironmentVariableA("TMP", savedTmp, MAX_PATH);
    DWORD tempLength = GetEnvironmentVariableA("TEMP", savedTemp, MAX_PATH);
    ASSERT_LT(tmpLength, DWORD{MAX_PATH});
    ASSERT_LT(tempLength, DWORD{MAX_PATH});
    ASSERT_TRUE(SetEnvironmentVariableA("TMP", temp.c_str()));
    ASSERT_TRUE(SetEnvironmentVariableA("TEMP", temp.c_str()));
    e2e::Installation& app = sandbox_.NewInstallation();
    Block block;
    block.messages = TestMessages();
    Place(app, EncodeBlock(block));
    e2e::RunResult run = Run(app, "/Q", robot::AnswerInOrder({}));
    SetEnvironmentVariableA("TMP", tmpLength ? savedTmp : nullptr);
    SetEnvironmentVariableA("TEMP", tempLength ? savedTemp : nullptr);
    EXPECT_EQ(run.exitCode, 0);
    ExpectSelfDeleted(run, app);
    EXPECT_FALSE(Exists(marker)) << "the planted batch ran";
    EXPECT_FALSE(Exists(temp + "\\delme1.bat")) << "the batch written there did not run";
    EXPECT_TRUE(Exists(expanded + "\\delme1.bat"));
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
