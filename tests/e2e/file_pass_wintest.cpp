// The file pass of the real uninstaller: the shared-count questions, the read-only question and its
// remembered answers, files held by another process, the in-use retry, fonts and self-registering
// servers (the fault guard proven on the shipped build), and the 9x family where it differs. Each
// case checks with a snapshot that exactly its items went and everything else stayed.
#include <gtest/gtest.h>

#include "e2e/e2e_fixture.h"
#include "support/font_file.h"
#include "support/helper_programs.h"
#include "support/sandbox.h"
#include "ui/ui.h"

using namespace format;
using testing_support::Expected;
using testing_support::Family;
using testing_support::Snapshot;

namespace e2e_test {
namespace {

class FilePassE2e : public E2eTest {
  protected:
    // An item of the snapshot: the path relative to the sandbox.
    std::string Item(const e2e::Installation& app, const std::string& relative) const {
        return app.Path(relative).substr(sandbox_.root().size());
    }
    static std::string Shared(const std::string& path) { return "SharedDLLs:@" + path; }

    // A block that lists only `files`, with the test messages (9 and 10 as given).
    static Bytes FilesBlock(const std::vector<FileSpec>& files, const char* message9 = nullptr,
                            const char* message10 = nullptr) {
        Block block;
        block.messages = TestMessages();
        if (message9) block.messages[kMsgReadOnlyQuestion] = message9;
        if (message10) block.messages[kMsgSharedFileQuestion] = message10;
        block.files = files;
        return EncodeBlock(block);
    }

    static std::string QuestionText(const robot::SeenWindow& window) {
        for (const robot::Control& control : window.controls) {
            if (control.id == kDialogTextId) return control.text;
        }
        return "";
    }
};

// The rows of the count table that ask message 10, answered both ways.
TEST_F(FilePassE2e, SharedFileWhoseCountRunsOutIsRemovedOnlyOnYes) {
    struct Case {
        const char* what;
        long count;  // -1: no value
        int answer;
        bool removed;
    } cases[] = {
        {"count 1, Yes", 1, IDYES, true},  {"count 1, No: kept with count 0", 1, IDNO, false},
        {"count 0, Yes", 0, IDYES, true},  {"no value, Yes", -1, IDYES, true},
        {"no value, No", -1, IDNO, false},
    };
    const std::vector<std::string> m = TestMessages();
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        e2e::Installation& app = NewInstallation();
        ASSERT_TRUE(app.AddFile("shared.dll", "shared"));
        std::string path = app.Path("shared.dll");
        if (c.count >= 0) ASSERT_TRUE(Machine().SetSharedDllCount(path, static_cast<uint32_t>(c.count)));
        Place(app, FilesBlock({{".\\", "shared.dll", kFileShared}}));
        Snapshot before = TakeSnapshot();
        e2e::RunResult run = Run(app, "/S", robot::AnswerInOrder({robot::Click(c.answer)}));
        std::vector<robot::SeenWindow> boxes = run.MessageBoxes();
        ASSERT_EQ(boxes.size(), 1u) << run.Describe();
        EXPECT_EQ(boxes[0].text, FormatWith(m[kMsgSharedFileQuestion], path));
        EXPECT_EQ(boxes[0].ButtonTexts(), (std::vector<std::string>{"&Yes", "&No"}));
        Expected expected;
        if (c.removed) {
            expected.removed.insert(Item(app, "shared.dll"));
            if (c.count >= 0) expected.removed.insert(Shared(path));
        } else if (c.count > 0) {
            expected.changed.insert(Shared(path));  // 1 becomes 0
        }
        ExpectChanges(before, expected);
    }
}

// Read-only files ask message 9, from the last entry on; the to-all answers hold for the rest of
// the run, and an empty message 9 removes them all without a word.
TEST_F(FilePassE2e, ReadOnlyQuestionAndItsRememberedAnswers) {
    struct Case {
        const char* what;
        std::vector<robot::Reply> replies;
        const char* message9;
        std::vector<std::string> removed;  // of r1..r4, walked r4 first
        size_t questions;
    } cases[] = {
        {"Yes, No, Yes to all",
         {robot::Click(IDYES), robot::Click(IDNO), robot::Click(kYesToAllId)},
         nullptr,
         {"r4.txt", "r2.txt", "r1.txt"},
         3},
        {"No to all", {robot::Click(kNoToAllId)}, nullptr, {}, 1},
        {"close box, then Yes",
         {robot::CloseBox(), robot::Click(IDYES), robot::Click(IDNO), robot::Click(IDNO)},
         nullptr,
         {"r3.txt"},
         4},
        {"empty message 9", {}, "", {"r4.txt", "r3.txt", "r2.txt", "r1.txt"}, 0},
    };
    const std::vector<std::string> m = TestMessages();
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        e2e::Installation& app = NewInstallation();
        std::vector<FileSpec> files;
        for (const char* name : {"r1.txt", "r2.txt", "r3.txt", "r4.txt"}) {
            ASSERT_TRUE(app.AddFile(name, "read-only", testing_support::kReadOnly));
            files.push_back({".\\", name, 0});
        }
        Place(app, FilesBlock(files, c.message9));
        Snapshot before = TakeSnapshot();
        e2e::RunResult run = Run(app, "/S", robot::AnswerInOrder(c.replies, robot::Click(IDNO)));
        ASSERT_EQ(run.windows.size(), c.questions) << run.Describe();
        if (c.questions > 0) {
            EXPECT_EQ(QuestionText(run.windows[0]), FormatWith(m[kMsgReadOnlyQuestion], app.Path("r4.txt")));
        }
        Expected expected;
        for (const std::string& name : c.removed) expected.removed.insert(Item(app, name));
        ExpectChanges(before, expected);
    }
}

// A file another process holds is locked: no count change to 0, no question, nothing removed, and
// its read-only attribute as it was.
TEST_F(FilePassE2e, FileHeldByAnotherProcessIsLeftWithoutAQuestion) {
    e2e::Installation& app = NewInstallation();
    ASSERT_TRUE(app.AddFile("held.dll", "held", testing_support::kReadOnly));
    ASSERT_TRUE(app.AddFile("count2.dll", "held"));
    ASSERT_TRUE(Machine().SetSharedDllCount(app.Path("held.dll"), 1));
    ASSERT_TRUE(Machine().SetSharedDllCount(app.Path("count2.dll"), 2));
    testing_support::LockedFile held(app.Path("held.dll"));
    ASSERT_TRUE(held.holding()) << held.error();
    testing_support::LockedFile held2(app.Path("count2.dll"));
    ASSERT_TRUE(held2.holding()) << held2.error();
    Place(app, FilesBlock({{".\\", "held.dll", kFileShared}, {".\\", "count2.dll", kFileShared}}));
    Snapshot before = TakeSnapshot();
    e2e::RunResult run = Run(app, "/S", robot::AnswerInOrder({}, robot::Click(IDYES)));
    EXPECT_TRUE(run.windows.empty()) << run.Describe();
    ExpectChanges(before, {.changed = {Shared(app.Path("count2.dll"))}});  // 2 becomes 1
}

// The in-use loop: message 15 while a file that must be free is held; released before Retry, the
// file is removed by the run that follows.
TEST_F(FilePassE2e, InUseRetryGoesOnOnceTheFileIsReleased) {
    e2e::Installation& app = NewInstallation();
    ASSERT_TRUE(app.AddFile("busy.dll", "busy"));
    testing_support::LockedFile held(app.Path("busy.dll"));
    ASSERT_TRUE(held.holding()) << held.error();
    Place(app, FilesBlock({{".\\", "busy.dll", kFileMustBeFree}}));
    const std::vector<std::string> m = TestMessages();
    int inUseBoxes = 0;
    e2e::RunResult run = Run(app, "", [&](const robot::SeenWindow& window, size_t) {
        if (window.text == m[kMsgFileInUse]) {
            if (++inUseBoxes == 2) EXPECT_TRUE(held.Release());  // still held at the first retry
            return robot::Click(IDRETRY);
        }
        return robot::Click(IDOK);
    });
    EXPECT_EQ(inUseBoxes, 2) << run.Describe();
    std::string why;
    EXPECT_TRUE(e2e::WaitForRunToEnd(run, e2e::kSelfDeleteTimeoutMs, &why)) << why;
    EXPECT_FALSE(testing_support::Exists(app.Path("busy.dll")));
    EXPECT_TRUE(testing_support::Exists(app.Path("app.txt"))) << "not listed";
}

// A font made by the font writer: its resource and its file go, and its installed-fonts value (in
// the family's key) when the value names that file by its full path in any spelling. A value that
// holds a bare file name names a file in the Fonts folder: an application's private copy of a font
// in its own Fonts folder leaves the system's value of the same name alone. Another font's value stays.
TEST_F(FilePassE2e, FontFileGoesWithTheInstalledFontValueThatNamesIt) {
    struct Case {
        const char* what;
        bool fullPath;         // the value holds the font's full path (else its bare file name)
        const char* spelling;  // the folder as the value spells it, below the installation
    } cases[] = {
        {"full path", true, "Fonts"},
        {"full path in another spelling", true, "Data\\..\\FONTS"},
        {"bare file name of a private copy", false, nullptr},
    };
    int n = 0;
    for (Family family : {Family::kNt, Family::k9x}) {
        for (const Case& c : cases) {
            SCOPED_TRACE(std::string(family == Family::kNt ? "NT: " : "9x: ") + c.what);
            e2e::Installation& app = NewInstallation(family);
            std::string name = Machine().FontName("Sans" + std::to_string(++n));
            std::string other = Machine().FontName("Other" + std::to_string(n));
            ASSERT_TRUE(app.AddFileBytes("Fonts\\tahoma.ttf", testing_support::SimpleFont(name)));
            std::string data = c.fullPath ? app.Path(std::string(c.spelling) + "\\tahoma.ttf") : "tahoma.ttf";
            ASSERT_TRUE(Machine().SetFontValue(family, name, data));
            ASSERT_TRUE(Machine().SetFontValue(family, other, "other.ttf"));
            Place(app, FilesBlock({{".\\Fonts", "tahoma.ttf", kFileFont}}));
            Snapshot before = TakeSnapshot();
            e2e::RunResult run = Run(app, "/S", robot::AnswerInOrder({}));
            EXPECT_TRUE(run.windows.empty()) << run.Describe();
            std::string key = family == Family::kNt ? "Fonts:@" : "9x Fonts:@";
            testing_support::Expected expected;
            expected.removed = {Item(app, "Fonts\\tahoma.ttf")};
            if (c.fullPath) expected.removed.insert(key + name + " (TrueType)");
            ExpectChanges(before, expected);
        }
    }
}

// Self-registering servers: through regsvr32 from the System folder on NT 6 and later (an exit code
// of 259 does not hang the wait); in the uninstaller itself, with the server's folder as the current
// directory, on NT 5 and the 9x family, where a server that faults is caught and the run goes on,
// and a server that imports a library of its own from beside it loads and is unregistered.
TEST_F(FilePassE2e, ServersAreUnregisteredBeforeTheirFilesGo) {
    struct Case {
        const char* what;
        const char* library;
        const char* version;  // as Wine reports it to the uninstaller; null: its default (NT 6.1)
        bool byTool;
        bool withHelper = false;  // server_helper.dll, which the server imports, lies beside it
    } cases[] = {
        {"NT 6: regsvr32", "trace_server.dll", nullptr, true},
        {"NT 6: regsvr32 exits with 259", "exiting_server.dll", nullptr, true},
        {"NT 5: in process", "trace_server.dll", "winxp", false},
        {"NT 5: in process, the server faults", "faulting_server.dll", "winxp", false},
        {"9x: in process, the server faults", "faulting_server.dll", "win98", false},
        {"NT 5: in process, the server imports a library beside it", "dependent_server.dll", "winxp", false,
         true},
        {"9x: in process, the server imports a library beside it", "dependent_server.dll", "win98", false,
         true},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        e2e::Installation& app = NewInstallation();
        if (c.version) ASSERT_TRUE(app.SetWindowsVersion(c.version));
        ASSERT_TRUE(testing_support::MakeFolders(app.Path("Bin")));
        ASSERT_TRUE(testing_support::CopyBuildFile(c.library, app.Path("Bin\\server.dll")));
        if (c.withHelper) {
            ASSERT_TRUE(
                testing_support::CopyBuildFile("server_helper.dll", app.Path("Bin\\server_helper.dll")));
        }
        ASSERT_TRUE(testing_support::SetReadOnly(app.Path("Bin\\server.dll"), true))
            << "goes without a question";
        Place(app, FilesBlock({{".\\Bin", "server.dll", kFileSelfRegister}, {".\\Bin", "", 0}}));
        Snapshot before = TakeSnapshot();
        e2e::RunResult run = Run(app, "/S", robot::AnswerInOrder({}));
        EXPECT_EQ(run.exitCode, 0);
        EXPECT_TRUE(run.windows.empty()) << run.Describe();
        std::string trace =
            testing_support::ReadFileText(app.Path("Bin\\server.dll.trace")).value_or("<no trace>");
        std::string host = c.byTool ? "regsvr32.exe" : app.exeName();
        std::string folder = c.byTool ? "" : app.Path("Bin");
        EXPECT_EQ(trace.substr(0, trace.find('|', 11)), "unregister|" + host) << trace;
        if (!c.byTool) EXPECT_EQ(trace, "unregister|" + host + "|" + folder + "\r\n");
        // The folder stays: it now holds the trace.
        ExpectChanges(before, {.removed = {Item(app, "Bin\\server.dll")},
                               .added = {Item(app, "Bin\\server.dll.trace")}});
    }
}

}  // namespace
}  // namespace e2e_test
