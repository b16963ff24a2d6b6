// The real uninstaller with blocks it cannot load: exit code -1, and the box (or none) that the
// failure calls for, with the message whose number is the error code, formatted with the
// executable's full path.
#include <gtest/gtest.h>

#include "e2e/e2e_fixture.h"
#include "support/block_file.h"
#include "support/failing_blocks.h"
#include "support/sandbox.h"

using namespace format;
using testing_support::Join;

namespace e2e_test {
namespace {

constexpr int kLoadFailed = -1;

struct LoadErrorCase {
    const char* name;
    bool attach;                    // attach `tail` as the block, the field pointing at it
    std::optional<uint32_t> field;  // otherwise: the field's value (absent: as built, the stub's size)
    Bytes tail;                     // appended after the stub
    bool box;                       // whether a box is shown
    std::string caption, text;      // the box's caption and text ("%s" stands for the path)
};

Bytes TableAnd(const Bytes& rest) {
    return Join({EncodeStringTable(TestMessages()), rest});
}

std::vector<LoadErrorCase> LoadErrorCases() {
    const std::vector<std::string> m = TestMessages();
    Bytes settingsRefused = EncodeRecord(kSettingsRecord, EncodeSettings({0, std::nullopt, std::nullopt}), 1);
    return {
        {"field 0: no block, no message", false, 0u, TableAnd(EncodeEnd()), false, "", ""},
        {"no block: the field holds the stub's own size", false, std::nullopt, {}, true, "", ""},
        {"data offset past the end of the file", false, 0x7FFFFFF0u, {}, true, "", ""},
        {"data offset of 2 GiB", false, 0x80000000u, TableAnd(EncodeEnd()), true, "", ""},
        {"garbage where the first header is expected", false, std::nullopt, Bytes(64, 0xEE), true, "", ""},
        {"settings refused after the string table", true, std::nullopt,
         TableAnd(Join({settingsRefused, EncodeEnd()})), true, m[kMsgCaption], m[kMsgConfirm]},
        {"no end record after the string table", true, std::nullopt,
         TableAnd(EncodeFileList({{".\\", "a.txt", 0}})), true, m[kMsgCaption], m[kMsgBadHeader]},
    };
}

class LoadErrors : public E2eTest {};

TEST_F(LoadErrors, ExitMinusOneWithTheBoxOfTheFailure) {
    for (const LoadErrorCase& c : LoadErrorCases()) {
        SCOPED_TRACE(c.name);
        e2e::Installation& app = NewInstallation();
        if (c.attach) {
            Place(app, c.tail);
        } else {
            PlaceRaw(app, c.field, c.tail);
        }
        testing_support::Snapshot before = TakeSnapshot();
        e2e::RunResult run = Run(app, "", robot::AnswerInOrder({robot::Click(IDOK)}));
        EXPECT_EQ(run.exitCode, kLoadFailed) << run.Describe();
        ExpectChanges(before, {});  // nothing is removed when the block cannot be read
        std::vector<robot::SeenWindow> boxes = run.MessageBoxes();
        ASSERT_EQ(boxes.size(), c.box ? 1u : 0u) << run.Describe();
        ASSERT_EQ(run.windows.size(), boxes.size()) << run.Describe();
        if (!c.box) continue;
        EXPECT_EQ(boxes[0].caption, c.caption);
        EXPECT_EQ(boxes[0].text, FormatWith(c.text, app.uninstaller()));
        EXPECT_EQ(boxes[0].ButtonTexts(), std::vector<std::string>{"OK"});
        EXPECT_EQ(boxes[0].owner, nullptr) << "the main window does not exist while loading";
        EXPECT_TRUE(boxes[0].answered);
    }
}

// A quiet run (a deployment tool's, which never clicks) shows no box for a block it cannot read: it
// ends at once with -1, and the log says why (the box's text, as not shown) before "not run". The
// log option is written whole in quotes with a blank in its path, as tools that build argument lists
// write it; /S or /Q after it still counts (without it the run would wait at the confirmation).
TEST_F(LoadErrors, QuietRunsShowNoBoxEndAtOnceAndLogWhy) {
    char temp[MAX_PATH];
    DWORD n = GetTempPathA(MAX_PATH, temp);
    ASSERT_TRUE(n > 0 && n < MAX_PATH);
    const std::string log = std::string(temp) + "load error " + CurrentTestName() + ".log";
    for (const LoadErrorCase& c : LoadErrorCases()) {
        if (!c.box) continue;
        for (const char* mode : {"/S", "/Q"}) {
            SCOPED_TRACE(std::string(c.name) + " " + mode);
            e2e::Installation& app = NewInstallation();
            if (c.attach) {
                Place(app, c.tail);
            } else {
                PlaceRaw(app, c.field, c.tail);
            }
            DeleteFileA(log.c_str());
            testing_support::Snapshot before = TakeSnapshot();
            e2e::RunResult run = Run(app, "\"/L=" + log + "\" " + mode, robot::AnswerInOrder({}));
            EXPECT_EQ(run.exitCode, kLoadFailed) << run.Describe();
            EXPECT_TRUE(run.windows.empty()) << run.Describe();
            ExpectChanges(before, {});
            std::optional<std::string> text = testing_support::ReadFileText(log);
            ASSERT_TRUE(text) << "no log at " << log;
            std::string why = c.text.empty() ? "" : FormatWith(c.text, app.uninstaller());
            for (char& ch : why) ch = static_cast<unsigned char>(ch) < 0x20 ? ' ' : ch;  // one line an item
            EXPECT_NE(text->find("\task\t\t" + why + "\tnot shown\r\n"), std::string::npos) << *text;
            EXPECT_NE(text->find("\nsummary\tnot run\t\t"), std::string::npos) << *text;
            EXPECT_NE(text->find("\texit code -1\r\n"), std::string::npos) << *text;
        }
    }
    DeleteFileA(log.c_str());
}

// The program reads the data-offset field of its .uninst section, not the marker bytes: with the
// marker overwritten and a second marker, field and block appended after the end record, it runs
// the first block (here one without an end record: load error 8 with its own messages), never the
// appended one (which would load and ask for confirmation under the caption "DECOY").
TEST_F(LoadErrors, TheFieldIsReadInItsSectionNotFoundByTheMarker) {
    std::string error;
    auto stub = e2e::ReadStub(&error);
    ASSERT_TRUE(stub) << error;
    auto image = AttachBlock(*stub, TableAnd(EncodeFileList({{".\\", "a.txt", 0}})), &error);
    ASSERT_TRUE(image) << error;
    auto field = FindDataOffsetField(*image);
    ASSERT_TRUE(field);
    std::fill_n(image->begin() + *field - kDataOffsetMarkerSize, kDataOffsetMarkerSize, 0);
    std::vector<std::string> decoyMessages = TestMessages();
    decoyMessages[kMsgCaption] = "DECOY";
    Bytes decoy = Join({EncodeStringTable(decoyMessages), EncodeEnd()});
    image->insert(image->end(), std::begin(kDataOffsetMarker), std::end(kDataOffsetMarker));
    PutU32(*image, static_cast<uint32_t>(image->size() + kDataOffsetFieldSize));
    image->insert(image->end(), decoy.begin(), decoy.end());
    e2e::Installation& app = NewInstallation();
    ASSERT_TRUE(e2e::PlaceUninstallerImage(app.uninstaller(), *image, &error)) << error;

    e2e::RunResult run = Run(app, "", robot::AnswerInOrder({robot::Click(IDOK)}));
    EXPECT_EQ(run.exitCode, kLoadFailed) << run.Describe();
    std::vector<robot::SeenWindow> boxes = run.MessageBoxes();
    ASSERT_EQ(boxes.size(), 1u) << run.Describe();
    EXPECT_EQ(boxes[0].caption, TestMessages()[kMsgCaption]);
    EXPECT_EQ(boxes[0].text, FormatWith(TestMessages()[kMsgBadHeader], app.uninstaller()));
}

// Every block the loader refuses, run for real: the box shows the message of the block's error.
class FailingBlockRun : public E2eTest, public ::testing::WithParamInterface<size_t> {};

TEST_P(FailingBlockRun, ExitsMinusOneAfterTheMessageOfItsError) {
    const testing_support::FailingBlock& failing = testing_support::FailingBlocks()[GetParam()];
    SCOPED_TRACE(failing.name);
    e2e::Installation& app = NewInstallation();
    Place(app, TableAnd(failing.block));
    testing_support::Snapshot before = TakeSnapshot();
    e2e::RunResult run = Run(app, "", robot::AnswerInOrder({robot::Click(IDOK)}));
    EXPECT_EQ(run.exitCode, kLoadFailed) << run.Describe();
    std::vector<robot::SeenWindow> boxes = run.MessageBoxes();
    ASSERT_EQ(boxes.size(), 1u) << run.Describe();
    EXPECT_EQ(boxes[0].caption, TestMessages()[kMsgCaption]);
    EXPECT_EQ(boxes[0].text, FormatWith(TestMessages()[failing.code], app.uninstaller()));
    ExpectChanges(before, {});  // nothing is removed when the block cannot be read
}

std::string FailingBlockName(const ::testing::TestParamInfo<size_t>& info) {
    std::string name;
    bool upper = true;
    for (const char* p = testing_support::FailingBlocks()[info.param].name; *p; ++p) {
        bool alnum = (*p >= 'a' && *p <= 'z') || (*p >= 'A' && *p <= 'Z') || (*p >= '0' && *p <= '9');
        if (!alnum) {
            upper = true;
            continue;
        }
        name += upper && *p >= 'a' && *p <= 'z' ? static_cast<char>(*p - 'a' + 'A') : *p;
        upper = false;
    }
    return name;
}

INSTANTIATE_TEST_SUITE_P(Loader, FailingBlockRun,
                         ::testing::Range<size_t>(0, testing_support::FailingBlocks().size()),
                         FailingBlockName);

}  // namespace
}  // namespace e2e_test
