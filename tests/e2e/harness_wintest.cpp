// The end-to-end harness itself: a run nobody answers cannot hang the tests, the wait for a
// self-delete sees the batch through, the probe stands in for a started program (on both
// families), and a snapshot of the sandbox shows what a run changed.
#include <gtest/gtest.h>

#include "e2e/e2e_fixture.h"
#include "support/font_file.h"

using testing_support::Family;
using testing_support::ItemsUnder;
using testing_support::ProbeRecord;
using testing_support::ReadProbeLog;
using testing_support::Snapshot;

namespace e2e_test {
namespace {

class Harness : public E2eTest {
  protected:
    // Puts the probe in place of the installation's uninstaller.
    void PlaceProbe(const e2e::Installation& app) {
        ASSERT_TRUE(testing_support::CopyBuildFile("probe.exe", app.uninstaller())) << app.uninstaller();
    }

    static std::string SystemFile(const char* name) {
        char folder[MAX_PATH] = {};
        UINT n = GetSystemDirectoryA(folder, MAX_PATH);
        return n && n < MAX_PATH ? std::string(folder) + "\\" + name : name;
    }
};

// The confirmation has no Yes button: the reply cannot be delivered, the box stays up, and the
// run ends in the timeout.
TEST_F(Harness, UnansweredBoxEndsInATimeoutAndTheChildIsTerminated) {
    e2e::Installation& app = NewInstallation();
    Place(app, format::EncodeBlock(InstallationBlock(app)));
    // Long enough for the box to come up on a loaded machine under an emulated 32-bit loader; the run is cut
    // after it.
    constexpr DWORD kShortTimeoutMs = 10000;
    e2e::RunResult run =
        e2e::RunWithRobot(app.uninstaller(), "", sandbox_.root(),
                          robot::AnswerInOrder({robot::Click(IDYES)}, robot::Ignore()), kShortTimeoutMs);
    ASSERT_TRUE(run.started) << run.error;
    EXPECT_TRUE(run.timedOut) << run.Describe();
    EXPECT_EQ(static_cast<DWORD>(run.exitCode), 0xDEADu) << "the code TerminateProcess was given";
    EXPECT_EQ(run.job->ActiveProcesses(), 0u) << "nothing of the run is left";
    // The robot still recorded the box it left alone.
    std::vector<robot::SeenWindow> boxes = run.MessageBoxes();
    ASSERT_EQ(boxes.size(), 1u) << run.Describe();
    EXPECT_EQ(boxes[0].text, TestMessages()[format::kMsgConfirm]);
    EXPECT_FALSE(boxes[0].answered);
}

// The wait for a self-delete, with the probe as the program and a batch of the uninstaller's
// kind (retry the delete until the program has exited, remove its folder, delete itself) as what
// it leaves behind. It succeeds only once the batch has ended and both are gone; a program that
// leaves itself, or a child that keeps running, is reported, and the child is ended.
TEST_F(Harness, SelfDeleteWaitSeesTheBatchThrough) {
    struct Case {
        const char* name;
        bool batch;       // the probe starts the self-deleting batch
        bool lingering;   // the probe starts a copy of itself that waits for a minute
        bool deleted;     // the wait succeeds
        const char* why;  // what its failure says
    } cases[] = {
        {"the batch deletes the program and its folder", true, false, true, ""},
        {"nothing deletes the program", false, false, false, "is still there"},
        {"a child still runs when the time is up", false, true, false, "still running"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        e2e::Installation& app = sandbox_.NewInstallation();
        PlaceProbe(app);
        std::string folder = testing_support::FolderOf(app.uninstaller());
        std::string batch = sandbox_.root() + "delete-" + app.exeName() + ".bat";
        std::string lingerer = sandbox_.root() + "lingerer-" + app.exeName();
        std::string start;
        if (c.batch) {
            ASSERT_TRUE(testing_support::WriteFileText(
                batch, "@echo off\r\n:Repeat\r\ndel \"" + app.uninstaller() + "\" 2>nul\r\nif exist \"" +
                           app.uninstaller() + "\" goto Repeat\r\nrmdir \"" + folder +
                           "\"\r\ndel \"%~f0\"\r\n"));
            start = " --start \"" + SystemFile("cmd.exe") + "\" /c \"" + batch + "\"";
        }
        if (c.lingering) {
            ASSERT_TRUE(testing_support::CopyBuildFile("probe.exe", lingerer));
            start = " --start \"" + lingerer + "\" --wait=60000";  // records beside itself
        }
        Snapshot before = TakeSnapshot();
        e2e::RunResult run =
            Run(app, "\"--log=" + sandbox_.root() + "probe.log\"" + start, robot::AnswerInOrder({}));
        EXPECT_EQ(run.exitCode, 0) << run.Describe();
        std::string why;
        constexpr DWORD kWaitMs = 20000;
        bool deleted = e2e::WaitForSelfDelete(run, app.uninstaller(), c.lingering ? 3000 : kWaitMs, &why);
        EXPECT_EQ(deleted, c.deleted) << why;
        EXPECT_NE(why.find(c.why), std::string::npos) << why;
        EXPECT_EQ(run.job->ActiveProcesses(), 0u) << "nothing of the run runs on";
        if (c.lingering) {
            // Windows refuses to delete the file of a running program: this one has ended.
            EXPECT_TRUE(DeleteFileA(lingerer.c_str())) << "error " << GetLastError();
            ASSERT_TRUE(DeleteFileA((sandbox_.root() + "probe.log").c_str()));
            continue;
        }
        // The batch took the program, its folder and itself, and nothing else.
        testing_support::Expected expected;
        if (c.batch) expected.removed = ItemsUnder(before, testing_support::NameOf(folder) + "\\");
        if (c.batch) expected.removed.insert(testing_support::NameOf(batch));
        expected.added = {"probe.log"};
        ExpectChanges(before, expected);
        ASSERT_TRUE(DeleteFileA((sandbox_.root() + "probe.log").c_str()));
    }
}

// The probe records its arguments, current folder and the platform it was told, and exits with the
// code it is given: Wine reports Windows 98 to the executable of a 9x-family installation only. It
// records beside itself, or where UNINST_PROBE_LOG (inherited through every child) says.
TEST_F(Harness, ProbeRecordsWhatItWasGivenOnBothFamilies) {
    struct Case {
        Family family;
        const char* platform;  // the start of the recorded "<platform id> <major>.<minor>"
        bool logFromEnvironment;
    } cases[] = {{Family::kNt, "2 ", false}, {Family::k9x, "1 4.10", true}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.platform);
        e2e::Installation& app = sandbox_.NewInstallation();
        ASSERT_TRUE(app.UseFamily(c.family));
        PlaceProbe(app);
        std::string log = c.logFromEnvironment ? sandbox_.root() + "named.log" : app.uninstaller() + ".log";
        if (c.logFromEnvironment) ASSERT_TRUE(SetEnvironmentVariableA("UNINST_PROBE_LOG", log.c_str()));
        e2e::RunResult run = Run(app, "/remove \"two words\" --exit=7", robot::AnswerInOrder({}));
        SetEnvironmentVariableA("UNINST_PROBE_LOG", nullptr);
        EXPECT_EQ(run.exitCode, 7);
        std::vector<ProbeRecord> records = ReadProbeLog(log);
        ASSERT_EQ(records.size(), 1u) << log;
        EXPECT_EQ(records[0].arguments, (std::vector<std::string>{"/remove", "two words", "--exit=7"}));
        EXPECT_EQ(records[0].commandLine, "\"" + app.uninstaller() + "\" /remove \"two words\" --exit=7");
        EXPECT_TRUE(testing_support::StartsWithNoCase(records[0].currentFolder + "\\", sandbox_.root()))
            << records[0].currentFolder;
        EXPECT_EQ(records[0].platform.rfind(c.platform, 0), 0u) << records[0].platform;
    }
}

// What a run removes, measured on everything the sandbox owns: the installation's folder and key,
// and the machine-wide values named after it (a shared library's count, an installed font). A
// refused confirmation must leave all of it; so must a silent run of a block that lists none of it.
// The removal passes' own tests state what a run that lists them removes.
TEST_F(Harness, SnapshotShowsWhatARunChanged) {
    struct Case {
        const char* name;
        const char* arguments;
        std::vector<robot::Reply> answers;
        bool listed;  // the block lists the installation
    } cases[] = {
        {"confirmation refused", "", {robot::Click(IDCANCEL)}, true},
        {"silent run of a block that lists nothing", "/S", {}, false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        e2e::Installation& app = NewInstallation();
        const std::string fontName = Machine().FontName("Sans " + app.exeName());
        ASSERT_TRUE(app.AddFileBytes("sans.ttf", testing_support::SimpleFont(fontName)));
        ASSERT_TRUE(app.AddFile("shared.dll", "shared library", testing_support::kReadOnly));
        ASSERT_TRUE(testing_support::CopyBuildFile("trace_server.dll", app.Path("server.dll")));
        ASSERT_TRUE(Machine().SetSharedDllCount(app.Path("shared.dll"), 2));
        ASSERT_TRUE(Machine().SetFontValue(Family::kNt, fontName, "sans.ttf"));
        format::Block block = InstallationBlock(app);
        block.files.push_back({".\\", "sans.ttf", format::kFileFont});
        block.files.push_back({".\\", "shared.dll", format::kFileShared});
        block.files.push_back({".\\", "server.dll", format::kFileSelfRegister});
        if (!c.listed) {
            block.files.clear();
            block.registry.clear();
        }
        Place(app, format::EncodeBlock(block));

        Snapshot before = TakeSnapshot();
        ASSERT_EQ(before.count("SharedDLLs:@" + app.Path("shared.dll")), 1u) << "the snapshot sees HKLM";
        ASSERT_EQ(before.count("Fonts:@" + fontName + " (TrueType)"), 1u) << "the snapshot sees HKLM";
        e2e::RunResult run = Run(app, c.arguments, robot::AnswerInOrder(c.answers));
        EXPECT_EQ(run.exitCode, 0) << run.Describe();
        std::string why;
        ASSERT_TRUE(e2e::WaitForRunToEnd(run, e2e::kRunTimeoutMs, &why)) << why;
        ExpectChanges(before, {});
    }
}

// A key meant for a window that is gone reaches no other window: tests run side by side on one
// desktop, and the window with the focus may be another test's box (here one of this thread).
TEST(RobotReplies, KeysForAWindowThatIsGoneReachNoOtherWindow) {
    HINSTANCE instance = GetModuleHandleA(nullptr);
    HWND focus = CreateWindowExA(0, "BUTTON", "focus", WS_POPUP | WS_VISIBLE | BS_PUSHBUTTON, 0, 0, 80, 24,
                                 nullptr, nullptr, instance, nullptr);
    ASSERT_NE(focus, nullptr);
    SetForegroundWindow(focus);
    SetFocus(focus);
    HWND gone =
        CreateWindowExA(0, "STATIC", "gone", WS_POPUP, 0, 0, 10, 10, nullptr, nullptr, instance, nullptr);
    ASSERT_NE(gone, nullptr);
    DestroyWindow(gone);
    MSG msg;
    while (PeekMessageA(&msg, nullptr, WM_KEYFIRST, WM_KEYLAST, PM_REMOVE)) {
    }
    EXPECT_FALSE(robot::Deliver(gone, robot::Enter()));
    EXPECT_FALSE(robot::Deliver(gone, robot::Escape()));
    bool strayKey = PeekMessageA(&msg, nullptr, WM_KEYFIRST, WM_KEYLAST, PM_REMOVE) != FALSE;
    EXPECT_FALSE(strayKey) << "key " << msg.wParam << " went to window " << msg.hwnd;
    DestroyWindow(focus);
}

}  // namespace
}  // namespace e2e_test
