// The real uninstaller with a good block: its modes, the confirmation and closing boxes with the
// block's texts, who owns them, and the exit codes.
#include <gtest/gtest.h>

#include "e2e/e2e_fixture.h"

using namespace format;
using testing_support::Family;

namespace e2e_test {
namespace {

// Quiet, silent and external modes ask nothing and end with 0.
class QuietRun : public E2eTest, public ::testing::WithParamInterface<const char*> {};

TEST_P(QuietRun, ShowsNoBoxAndExitsZero) {
    e2e::Installation& app = NewInstallation();
    Place(app, EncodeBlock(InstallationBlock(app)));
    e2e::RunResult run = Run(app, GetParam(), robot::AnswerInOrder({}, robot::Escape()));
    EXPECT_EQ(run.exitCode, 0);
    EXPECT_TRUE(run.windows.empty()) << run.Describe();
}

INSTANTIATE_TEST_SUITE_P(Options, QuietRun,
                         ::testing::Values("/S", "/Q", "/X", "-s", "/q/s", "/x /s", "/Quiet"),
                         [](const ::testing::TestParamInfo<const char*>& info) {
                             std::string name;
                             for (const char* p = info.param; *p; ++p) {
                                 if (*p == '/') name += "Slash";
                                 if (*p == '-') name += "Dash";
                                 if ((*p >= 'a' && *p <= 'z') || (*p >= 'A' && *p <= 'Z')) name += *p;
                             }
                             return name;
                         });

class Confirmation : public E2eTest {};

// The confirmation's answer decides whether the run goes on: only OK does.
TEST_F(Confirmation, OnlyOkGoesOnToTheClosingMessage) {
    struct Case {
        const char* name;
        robot::Reply answer;
        bool goesOn;
    } cases[] = {
        {"OK clicked", robot::Click(IDOK), true},
        {"OK by its command", robot::Command(IDOK), true},
        {"Enter presses the default button, OK", robot::Enter(), true},
        {"Cancel clicked", robot::Click(IDCANCEL), false},
        {"Escape", robot::Escape(), false},
        {"close box", robot::CloseBox(), false},
    };
    const std::vector<std::string> m = TestMessages();
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        e2e::Installation& app = NewInstallation();
        Place(app, EncodeBlock(InstallationBlock(app)));
        testing_support::Snapshot before = TakeSnapshot();
        e2e::RunResult run = Run(app, "", robot::AnswerInOrder({c.answer, robot::Click(IDOK)}));
        EXPECT_EQ(run.exitCode, 0) << run.Describe();
        std::vector<robot::SeenWindow> boxes = run.MessageBoxes();
        ASSERT_EQ(boxes.size(), c.goesOn ? 2u : 1u) << run.Describe();
        EXPECT_EQ(boxes[0].caption, m[kMsgCaption]);
        EXPECT_EQ(boxes[0].text, m[kMsgConfirm]) << "shown as it stands, \"%s\" included";
        EXPECT_EQ(boxes[0].ButtonTexts(), (std::vector<std::string>{"OK", "Cancel"}));
        EXPECT_TRUE(boxes[0].answered);
        if (c.goesOn) {
            EXPECT_EQ(boxes[1].caption, m[kMsgCaption]);
            EXPECT_EQ(boxes[1].text, m[kMsgFinished]);
            EXPECT_EQ(boxes[1].ButtonTexts(), std::vector<std::string>{"OK"});
            EXPECT_TRUE(boxes[1].answered);
        } else {
            // A refusal removes nothing, the uninstaller included, and deletes nothing later.
            std::string why;
            EXPECT_TRUE(e2e::WaitForRunToEnd(run, e2e::kRunTimeoutMs, &why)) << why;
            ExpectChanges(before, {});
        }
    }
}

// Every box belongs to the hidden main window, on both families.
TEST_F(Confirmation, BoxesAreOwnedByTheHiddenMainWindow) {
    for (Family family : {Family::kNt, Family::k9x}) {
        SCOPED_TRACE(family == Family::kNt ? "NT family" : "9x family");
        e2e::Installation& app = NewInstallation(family);
        Place(app, EncodeBlock(InstallationBlock(app)));
        e2e::RunResult run = Run(app, "", robot::AnswerInOrder({robot::Click(IDOK), robot::Click(IDOK)}));
        EXPECT_EQ(run.exitCode, 0);
        std::vector<robot::SeenWindow> boxes = run.MessageBoxes();
        ASSERT_EQ(boxes.size(), 2u) << run.Describe();
        for (const robot::SeenWindow& box : boxes) {
            EXPECT_EQ(box.className, "#32770");
            EXPECT_EQ(box.ownerClass, "UninstItClass");
            EXPECT_FALSE(box.ownerVisible);
        }
        EXPECT_EQ(boxes[0].owner, boxes[1].owner) << "one main window owns both";
    }
}

// The texts come from the block, byte for byte, in whatever code page it was written.
TEST_F(Confirmation, CaptionAndTextsComeFromTheBlock) {
    struct Case {
        const char* name;
        std::string caption, confirm, finished;
    } cases[] = {
        {"English", "Sample Uninstall", "Remove Sample?", "Sample was removed."},
        // "Удаление", "Удалить программу?", "Программа удалена." in code page 1251.
        {"Russian in code page 1251", "\xD3\xE4\xE0\xEB\xE5\xED\xE8\xE5",
         "\xD3\xE4\xE0\xEB\xE8\xF2\xFC \xEF\xF0\xEE\xE3\xF0\xE0\xEC\xEC\xF3?",
         "\xCF\xF0\xEE\xE3\xF0\xE0\xEC\xEC\xE0 \xF3\xE4\xE0\xEB\xE5\xED\xE0."},
        // "Désinstaller", "Supprimer l'application ?" in code page 1252.
        {"French in code page 1252", "D\xE9sinstaller", "Supprimer l'application ?", "Termin\xE9."},
        {"a percent sign is shown as written", "100% Uninstall", "Remove 50% %d %%?", "Done 100%."},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        e2e::Installation& app = NewInstallation();
        Block block = InstallationBlock(app);
        block.messages[kMsgCaption] = c.caption;
        block.messages[kMsgConfirm] = c.confirm;
        block.messages[kMsgFinished] = c.finished;
        Place(app, EncodeBlock(block));
        e2e::RunResult run = Run(app, "", robot::AnswerInOrder({robot::Click(IDOK), robot::Click(IDOK)}));
        EXPECT_EQ(run.exitCode, 0);
        std::vector<robot::SeenWindow> boxes = run.MessageBoxes();
        ASSERT_EQ(boxes.size(), 2u) << run.Describe();
        EXPECT_EQ(boxes[0].caption, c.caption);
        EXPECT_EQ(boxes[0].text, c.confirm);
        EXPECT_EQ(boxes[1].caption, c.caption);
        EXPECT_EQ(boxes[1].text, c.finished);
    }
}

// The confirmation is asked even with an empty text; the closing message is skipped when empty.
TEST_F(Confirmation, EmptyTextsAndMissingTables) {
    struct Case {
        const char* name;
        std::vector<std::string> messages;
        std::string caption, confirm;
    } cases[] = {
        {"empty message 2", {"Caption", "Remove?", ""}, "Caption", "Remove?"},
        {"table of two texts", {"Caption", "Remove?"}, "Caption", "Remove?"},
        {"empty confirmation", {"Caption", "", ""}, "Caption", ""},
        {"no message table at all", {}, "", ""},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        e2e::Installation& app = NewInstallation();
        Block block = InstallationBlock(app);
        block.messages = c.messages;
        Place(app, EncodeBlock(block));
        e2e::RunResult run = Run(app, "", robot::AnswerInOrder({robot::Click(IDOK)}));
        EXPECT_EQ(run.exitCode, 0);
        std::vector<robot::SeenWindow> boxes = run.MessageBoxes();
        ASSERT_EQ(boxes.size(), 1u) << run.Describe();
        EXPECT_EQ(boxes[0].caption, c.caption);
        EXPECT_EQ(boxes[0].text, c.confirm);
        EXPECT_EQ(boxes[0].ButtonTexts(), (std::vector<std::string>{"OK", "Cancel"}));
    }
}

// A close request sent to the hidden main window from outside while the confirmation is up must
// not keep the run from ending, whatever the answer.
TEST_F(Confirmation, CloseRequestToTheMainWindowDoesNotHangTheRun) {
    for (int answer : {IDOK, IDCANCEL}) {
        SCOPED_TRACE(answer == IDOK ? "OK" : "Cancel");
        e2e::Installation& app = NewInstallation();
        Place(app, EncodeBlock(InstallationBlock(app)));
        bool posted = false;
        e2e::RunResult run = Run(app, "", [&](const robot::SeenWindow& window, size_t modalIndex) {
            if (!window.modal) return robot::Ignore();
            if (modalIndex == 0) {
                posted = window.owner && PostMessageA(window.owner, WM_CLOSE, 0, 0);
                return robot::Click(answer);
            }
            return robot::Click(IDOK);
        });
        EXPECT_TRUE(posted) << run.Describe();
        EXPECT_EQ(run.exitCode, 0) << run.Describe();
        ASSERT_FALSE(run.MessageBoxes().empty()) << run.Describe();
        EXPECT_EQ(run.MessageBoxes()[0].text, TestMessages()[kMsgConfirm]);
    }
}

}  // namespace
}  // namespace e2e_test
