// The progress setter: when it moves the bar, and when it pumps the message queue.
// clang-format off
#include <windows.h>
#include <commctrl.h>  // after windows.h, which it needs
// clang-format on

#include <gtest/gtest.h>

#include <vector>

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
    for (uint32_t done = 0; done <= total; ++done) ReportProgress(session.run().ui, ProgressPass::kFiles, done);
    EXPECT_EQ(positions.count(), 100) << "1 to 100; the first 0 sends nothing";
    EXPECT_EQ(positions.parameters.front(), 1u);
    EXPECT_EQ(positions.parameters.back(), 100u);
    EXPECT_EQ(SendMessageA(bar, PBM_GETPOS, 0, 0), 100);
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
