// Names in the block that are read as the platform reads them, and no further: a shortcut's file
// name is a name in its folder, never a path out of it; a clean-up mask's "?" matches what
// FindFirstFileA matches it with, and the pass deletes exactly those files.
#include <gtest/gtest.h>
#include <string>

#include "e2e/e2e_fixture.h"
#include "support/sandbox.h"

using namespace format;
using testing_support::Family;
using testing_support::Snapshot;

namespace e2e_test {
namespace {

class EntryNames : public E2eTest {
  protected:
    // An item of the snapshot: the path relative to the sandbox.
    std::string Item(const std::string& path) const { return path.substr(sandbox_.root().size()); }
};

// A shortcut's file name that climbs out of its folder ("..\..\..\victim\x.ini") or holds a slash, a
// colon or only dots deletes nothing; the plain name beside it in the same block goes.
TEST_F(EntryNames, ShortcutNamesThatArePathsDeleteNothing) {
    e2e::Installation& app = NewInstallation();
    const std::string menu = sandbox_.root() + "Menu\\Vendor\\App";
    const std::string victim = sandbox_.root() + "victim";
    ASSERT_TRUE(testing_support::MakeFolders(menu));
    ASSERT_TRUE(testing_support::MakeFolders(victim + "\\sub"));
    ASSERT_TRUE(testing_support::WriteFileText(menu + "\\App.lnk", "link"));
    ASSERT_TRUE(testing_support::WriteFileText(menu + "\\user.txt", "keeps the folder"));
    ASSERT_TRUE(testing_support::WriteFileText(victim + "\\x.ini", "victim"));
    ASSERT_TRUE(testing_support::WriteFileText(victim + "\\y.ini", "victim"));
    ASSERT_TRUE(testing_support::WriteFileText(victim + "\\sub\\z.ini", "victim"));
    ASSERT_TRUE(testing_support::WriteFileText(sandbox_.root() + "Menu\\up.ini", "victim"));
    Block block;
    block.messages = TestMessages();
    block.shortcuts = {{0, menu, "", "..\\..\\..\\victim\\x.ini"},
                       {0, menu, "", "../../../victim/y.ini"},
                       {0, victim, "", "sub\\z.ini"},
                       {0, menu + "\\..", "", "..\\up.ini"},
                       {0, victim + "\\sub", "", ".."},
                       {0, menu, "", "App.lnk"}};
    Place(app, EncodeBlock(block));
    Snapshot before = TakeSnapshot();
    e2e::RunResult run = Run(app, "/S", robot::AnswerInOrder({}));
    EXPECT_EQ(run.exitCode, 1603) << "refused entries are items that stayed";
    EXPECT_TRUE(run.windows.empty()) << run.Describe();
    std::string why;
    ASSERT_TRUE(e2e::WaitForRunToEnd(run, e2e::kRunTimeoutMs, &why)) << why;
    ExpectChanges(before, {.removed = {Item(menu + "\\App.lnk")}});
}

// "?" matches one character that is not a dot, or nothing before a dot and at the end, as the
// platform lists with it: "file?.txt" takes file.txt and file1.txt, never file12.txt or filex.log;
// "data??" takes data, data1 and data12, never data123.
TEST_F(EntryNames, QuestionMarkMatchesAsThePlatformDoes) {
    e2e::Installation& app = NewInstallation();
    for (const char* name :
         {"file.txt", "file1.txt", "file12.txt", "filex.log", "data", "data1", "data12", "data123"}) {
        ASSERT_TRUE(app.AddFile(std::string("Logs\\") + name, "x"));
    }
    Block block;
    block.messages = TestMessages();
    block.patterns = {"Logs\\file?.txt", "Logs\\data??"};
    Place(app, EncodeBlock(block));
    Snapshot before = TakeSnapshot();
    e2e::RunResult run = Run(app, "/S", robot::AnswerInOrder({}));
    EXPECT_EQ(run.exitCode, 0);
    std::string why;
    ASSERT_TRUE(e2e::WaitForRunToEnd(run, e2e::kRunTimeoutMs, &why)) << why;
    testing_support::Expected expected;
    for (const char* name : {"file.txt", "file1.txt", "data", "data1", "data12"}) {
        expected.removed.insert(Item(app.Path(std::string("Logs\\") + name)));
    }
    ExpectChanges(before, expected);
}

}  // namespace
}  // namespace e2e_test
