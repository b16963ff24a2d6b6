// The end-to-end harness itself: a run nobody answers cannot hang the tests.
#include <gtest/gtest.h>

#include "e2e/e2e_fixture.h"

namespace e2e_test {
namespace {

class Harness : public E2eTest {};

// The confirmation has no Yes button: the reply cannot be delivered, the box stays up, and the
// run ends in the timeout.
TEST_F(Harness, UnansweredBoxEndsInATimeoutAndTheChildIsTerminated) {
    Place(format::EncodeBlock(InstallationBlock()));
    // Long enough for the box to come up on a loaded machine under an emulated 32-bit loader.
    constexpr DWORD kShortTimeoutMs = 10000;
    e2e::RunResult run =
        e2e::RunWithRobot(sandbox_.uninstaller(), "", sandbox_.root(),
                          robot::AnswerInOrder({robot::Click(IDYES)}, robot::Ignore()), kShortTimeoutMs);
    ASSERT_TRUE(run.started) << run.error;
    EXPECT_TRUE(run.timedOut) << run.Describe();
    EXPECT_EQ(static_cast<DWORD>(run.exitCode), 0xDEADu) << "the code TerminateProcess was given";
    // The robot still recorded the box it left alone.
    std::vector<robot::SeenWindow> boxes = run.MessageBoxes();
    ASSERT_EQ(boxes.size(), 1u) << run.Describe();
    EXPECT_EQ(boxes[0].text, TestMessages()[format::kMsgConfirm]);
    EXPECT_FALSE(boxes[0].answered);
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
    HWND gone = CreateWindowExA(0, "STATIC", "gone", WS_POPUP, 0, 0, 10, 10, nullptr, nullptr, instance, nullptr);
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
