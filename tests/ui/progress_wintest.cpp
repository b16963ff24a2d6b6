// The progress setter: when it moves the bar, and when it pumps the message queue.
// clang-format off
#include <windows.h>
#include <commctrl.h>  // after windows.h, which it needs
// clang-format on

#include <functional>
#include <gtest/gtest.h>
#include <vector>

#include "removal/folders.h"
#include "removal/registry.h"
#include "support/registry.h"
#include "support/sandbox.h"
#include "support/ui_robot.h"
#include "support/ui_session.h"
#include "ui/ui.h"

using testing_support::DrainMessages;
using testing_support::UiSession;

namespace {

constexpr UINT kMarker = WM_APP + 7;

// Leaves a message for this thread, calls SetProgress and tells whether it pumped the queue.
bool PumpedDuring(uint32_t percent) {
    DrainMessages();
    PostThreadMessageA(GetCurrentThreadId(), kMarker, 0, 0);
    SetProgress(percent);
    MSG msg;
    return PeekMessageA(&msg, nullptr, kMarker, kMarker, PM_REMOVE) == 0;
}

TEST(SetProgress, MovesTheBarAndPumpsOnlyWhenTheWholePercentChanges) {
    struct Step {
        uint32_t percent;
        uint32_t shown;  // the last shown percentage afterwards
        bool pumps;
    };
    struct Case {
        const char* name;
        bool withBar;
        std::vector<Step> steps;
    } const kCases[] = {
        {"first call with 0", true, {{0, 0, false}}},
        {"above 100 shows 100, then 100 does nothing", true, {{250, 100, true}, {100, 100, false}}},
        {"the largest value", true, {{0xFFFFFFFFu, 100, true}, {101, 100, false}}},
        {"forward, repeat, back", true, {{37, 37, true}, {37, 37, false}, {36, 36, true}, {0, 0, true}}},
        {"no bar: records and pumps", false, {{30, 30, true}, {30, 30, false}, {31, 31, true}}},
        {"no bar: first call with 0", false, {{0, 0, false}}},
    };
    for (const Case& c : kCases) {
        SCOPED_TRACE(c.name);
        UiSession session;
        ASSERT_TRUE(session.ready());
        UiState& ui = session.run().ui;
        if (c.withBar) ASSERT_TRUE(CreateProgressDialog(session.run().ui));
        EXPECT_EQ(ui.lastPercent, 0u);
        for (const Step& step : c.steps) {
            SCOPED_TRACE(step.percent);
            EXPECT_EQ(PumpedDuring(step.percent), step.pumps);
            EXPECT_EQ(ui.lastPercent, step.shown);
            if (c.withBar) {
                EXPECT_EQ(static_cast<uint32_t>(SendMessageA(ui.progressBar, PBM_GETPOS, 0, 0)), step.shown);
            }
        }
    }
}

TEST(SetProgress, APassOverManyEntriesMovesTheBarOncePerPercent) {
    UiSession session;
    ASSERT_TRUE(session.ready());
    ASSERT_TRUE(CreateProgressDialog(session.run().ui));
    HWND bar = session.run().ui.progressBar;
    testing_support::MessageSpy positions(bar, PBM_SETPOS);
    const uint32_t total = 30011;  // not a multiple of 100
    session.run().ui.progressTotal = total;
    for (uint32_t done = 0; done <= total; ++done)
        ReportProgress(session.run().ui, ProgressPass::kFiles, done);
    EXPECT_EQ(positions.count(), 100) << "1 to 100; the first 0 sends nothing";
    EXPECT_EQ(positions.parameters.front(), 1u);
    EXPECT_EQ(positions.parameters.back(), 100u);
    EXPECT_EQ(SendMessageA(bar, PBM_GETPOS, 0, 0), 100);
}

// Moves closer together than the bar's repaint interval change its position at once but draw it
// later: whatever comes next after the interval (the pump by time, the next move, a box over the
// dialog) draws it at its latest position, and the bar is never left undrawn.
TEST(SetProgress, QuickMovesAreDrawnOnceTheIntervalHasPassed) {
    struct Case {
        const char* name;
        std::function<void(UiSession&)> next;  // runs after the interval has passed
    } const kCases[] = {
        {"the pump by time",
         [](UiSession& session) {
             session.run().ui.lastAnswerTick = GetTickCount() - 5000;
             KeepAnswering();
         }},
        {"the next move", [](UiSession&) { SetProgress(13); }},
        {"a box over the dialog",
         [](UiSession& session) {
             RunState& run = session.run();
             testing_support::RobotThread robot([&] {
                 HWND box =
                     testing_support::WaitForDialog({session.Message(0), 0xFFFF, run.ui.progressDialog});
                 if (!box) return false;
                 testing_support::ClickButton(box, IDOK);
                 return true;
             });
             ShowMessage(run.ui, "box", MB_OK);
             EXPECT_TRUE(robot.JoinPumping(DrainMessages));
         }},
    };
    for (const Case& c : kCases) {
        SCOPED_TRACE(c.name);
        UiSession session;
        ASSERT_TRUE(session.ready());
        RunState& run = session.run();
        ASSERT_TRUE(CreateProgressDialog(run.ui));
        HWND bar = run.ui.progressBar;
        testing_support::MessageSpy positions(bar, PBM_SETPOS);
        SetProgress(10);
        SetProgress(11);
        SetProgress(12);
        EXPECT_EQ(positions.count(), 3) << "every position reaches the bar";
        EXPECT_EQ(SendMessageA(bar, PBM_GETPOS, 0, 0), 12);
        // Unless the machine stalled between them, the second and third moves came too soon.
        bool held = !IsWindowVisible(bar);
        run.ui.barPaintTick = GetTickCount() - 1000;
        c.next(session);
        EXPECT_TRUE(IsWindowVisible(bar)) << (held ? "held, then never drawn" : "");
        RECT stale;
        EXPECT_FALSE(GetUpdateRect(bar, &stale, FALSE)) << "drawn, not just marked for later";
        EXPECT_GE(SendMessageA(bar, PBM_GETPOS, 0, 0), 12);
        EXPECT_FALSE(run.ui.barHeld);
    }
}

TEST(ReportProgress, NothingHappensWithoutATotal) {
    UiSession session;
    ASSERT_TRUE(session.ready());
    ASSERT_TRUE(CreateProgressDialog(session.run().ui));
    testing_support::MessageSpy positions(session.run().ui.progressBar, PBM_SETPOS);
    DrainMessages();
    PostThreadMessageA(GetCurrentThreadId(), kMarker, 0, 0);
    ReportProgress(session.run().ui, ProgressPass::kRegistry, 50);  // progressTotal is 0
    MSG msg;
    EXPECT_NE(PeekMessageA(&msg, nullptr, kMarker, kMarker, PM_REMOVE), 0) << "no pump";
    EXPECT_EQ(positions.count(), 0);
    EXPECT_EQ(session.run().ui.lastPercent, 0u);
}

// Whether `step` pumped the queue, with the last pump `agoMs` before it.
bool PumpedBy(RunState& run, DWORD agoMs, const std::function<void()>& step, DWORD* sinceSet) {
    DrainMessages();
    PostThreadMessageA(GetCurrentThreadId(), kMarker, 0, 0);
    DWORD set = GetTickCount();
    run.ui.lastAnswerTick = set - agoMs;
    step();
    *sinceSet = GetTickCount() - set;
    MSG msg;
    return PeekMessageA(&msg, nullptr, kMarker, kMarker, PM_REMOVE) == 0;
}

TEST(KeepAnswering, PumpsByTimeBetweenMovesOfTheBarOnlyWithTheDialog) {
    struct Case {
        const char* name;
        bool withDialog;
        DWORD agoMs;
        bool viaReportProgress;  // else KeepAnswering itself
        bool pumps;              // when the step took less than the interval
    } const kCases[] = {
        {"due, same percentage", true, 5000, true, true},
        {"just pumped, same percentage", true, 0, true, false},
        {"due, direct call", true, 5000, false, true},
        {"just pumped, direct call", true, 0, false, false},
        {"tick count wrapped since the last pump", true, 0xFFFFFFF0u, false, true},
        {"no dialog (quiet mode): never", false, 5000, false, false},
    };
    for (const Case& c : kCases) {
        SCOPED_TRACE(c.name);
        UiSession session;
        ASSERT_TRUE(session.ready());
        RunState& run = session.run();
        if (c.withDialog) ASSERT_TRUE(CreateProgressDialog(run.ui));
        run.ui.progressTotal = 1000;
        testing_support::MessageSpy positions(run.ui.progressBar, PBM_SETPOS);
        SetProgress(40);
        DWORD since = 0;
        bool pumped = PumpedBy(
            run, c.agoMs,
            [&] {
                if (c.viaReportProgress) {
                    ReportProgress(run.ui, ProgressPass::kFiles, 405);  // still 40 %
                } else {
                    KeepAnswering();
                }
            },
            &since);
        // A step that took the whole interval itself may pump by right.
        if (!c.pumps && since < 25) EXPECT_FALSE(pumped);
        if (c.pumps) EXPECT_TRUE(pumped);
        EXPECT_EQ(run.ui.lastPercent, 40u);
        EXPECT_EQ(positions.count(), c.withDialog ? 1 : 0) << "the bar is never sent the same position again";
        if (pumped)
            EXPECT_LT(GetTickCount() - run.ui.lastAnswerTick, 5000u) << "the pump records when it ran";
    }
}

TEST(KeepAnswering, PassesWithoutABarStillAnswer) {
    // The wildcard pass and a key tree move no bar: they must answer by time all the same.
    UiSession session;
    ASSERT_TRUE(session.ready());
    RunState& run = session.run();
    ASSERT_TRUE(CreateProgressDialog(run.ui));
    testing_support::Sandbox box("KeepAnswering");
    ASSERT_TRUE(box.ok());
    ASSERT_TRUE(box.Write("Tree\\a.tmp", "x"));
    ASSERT_TRUE(box.Write("Tree\\sub\\b.tmp", "x"));
    ASSERT_TRUE(CopyText(run.installFolder, kPathBufferSize, (box.path() + "\\").c_str()));
    static char pattern[] = "Tree\\*.tmp\0";
    run.data.patterns = pattern;
    DWORD since = 0;
    EXPECT_TRUE(PumpedBy(
        run, 5000, [&] { RemoveWildcardMatches(run); }, &since))
        << "wildcard pass";
    EXPECT_FALSE(testing_support::Exists(box.Path("Tree")));

    testing_support::ScopedKey base(HKEY_CURRENT_USER, "Software\\UninstTests.KeepAnswering");
    HKEY made;
    ASSERT_EQ(RegCreateKeyExA(HKEY_CURRENT_USER, (base.path() + "\\Tree\\k").c_str(), 0, nullptr, 0,
                              KEY_WRITE, nullptr, &made, nullptr),
              ERROR_SUCCESS);
    RegCloseKey(made);
    HKEY parent;
    ASSERT_EQ(RegOpenKeyExA(HKEY_CURRENT_USER, base.path().c_str(), 0, KEY_ALL_ACCESS, &parent),
              ERROR_SUCCESS);
    LONG result = ERROR_GEN_FAILURE;
    EXPECT_TRUE(PumpedBy(
        run, 5000, [&] { result = DeleteKeyTree(parent, "Tree", 0); }, &since))
        << "key tree";
    RegCloseKey(parent);
    EXPECT_EQ(result, ERROR_SUCCESS);
    EXPECT_FALSE(testing_support::KeyExists(HKEY_CURRENT_USER, base.path() + "\\Tree"));
}

TEST(DestroyProgressDialog, LeavesNoHandleToTheDestroyedWindows) {
    UiSession session;
    ASSERT_TRUE(session.ready());
    RunState& run = session.run();
    ASSERT_TRUE(CreateProgressDialog(run.ui));
    HWND dialog = run.ui.progressDialog;
    DestroyProgressDialog(run.ui);
    EXPECT_FALSE(IsWindow(dialog));
    EXPECT_EQ(run.ui.progressDialog, nullptr);
    EXPECT_EQ(run.ui.progressBar, nullptr);
    // The setter and the pump go on without a dialog, and a second call does nothing.
    EXPECT_TRUE(PumpedDuring(40));
    EXPECT_EQ(run.ui.lastPercent, 40u);
    DestroyProgressDialog(run.ui);
    EXPECT_EQ(run.ui.progressDialog, nullptr);
}

}  // namespace
