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
    constexpr DWORD kShortTimeoutMs = 1500;
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

}  // namespace
}  // namespace e2e_test
