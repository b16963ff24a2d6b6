// Swaps while the real uninstaller works: an ordinary user who can write the installation renames a
// listed folder and puts a link to another folder (the victim's) in its place, at the moment that
// hurts most: while a question waits for the administrator, or right after the first file of the
// folder went. Every file of the victim's folder has a listed file's name; it must keep them all.
// The swaps are made from the Unix side (a rename and a symbolic link), as a user of the prefix's
// drive can.
#include <atomic>
#include <gtest/gtest.h>
#include <thread>

#include "e2e/e2e_fixture.h"
#include "support/sandbox.h"
#include "support/unix_side.h"
#include "ui/ui.h"

using namespace format;
using testing_support::Expected;
using testing_support::Snapshot;

namespace e2e_test {
namespace {

class RacesE2e : public E2eTest {
  protected:
    std::string Item(const std::string& path) const { return path.substr(sandbox_.root().size()); }

    // Renames `folder` to `moved` and puts a link to `victim` at its name, from the Unix side.
    static bool SwapForLink(const std::string& folder, const std::string& moved, const std::string& victim,
                            std::string* why) {
        std::string from = testing_support::UnixPath(folder);
        std::string to = testing_support::UnixPath(moved);
        std::string target = testing_support::UnixPath(victim);
        if (from.empty() || to.empty() || target.empty()) {
            *why = "no Unix path";
            return false;
        }
        return testing_support::RunUnixShell(
            "mv '" + from + "' '" + to + "' && ln -s '" + target + "' '" + from + "'", why);
    }
};

// The question window: the read-only question (or the shared-file one) is on the screen, the folder
// it names is swapped for a link, then the administrator answers. The answer acts on the file that
// was asked about or on nothing; no later file of that folder is taken from the link either.
TEST_F(RacesE2e, SwapWhileAQuestionWaitsRedirectsNothing) {
    struct Case {
        const char* what;
        uint8_t flags;        // of the listed files
        bool readOnly;        // the listed files are read-only (the read-only question)
        robot::Reply answer;  // to the first question; later ones get Yes
    } cases[] = {
        {"read-only question, Yes", 0, true, robot::Click(IDYES)},
        {"read-only question, Yes to all", 0, true, robot::Click(kYesToAllId)},
        {"shared-file question, Yes", kFileShared, false, robot::Click(IDYES)},
    };
    const char* names[] = {"r1.txt", "r2.txt", "r3.txt"};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        e2e::Installation& app = NewInstallation();
        std::string victim = sandbox_.root() + "Victim" + std::to_string(&c - cases);
        std::vector<FileSpec> files = {{".\\", "app.txt", 0}};
        for (const char* name : names) {
            ASSERT_TRUE(app.AddFile(std::string("Bin\\") + name, "installed", c.readOnly));
            ASSERT_TRUE(testing_support::PlaceFile(victim + "\\" + name, "victim"));
            files.push_back({".\\Bin", name, c.flags});
            if (c.flags & kFileShared)
                ASSERT_TRUE(Machine().SetSharedDllCount(app.Path(std::string("Bin\\") + name), 1));
        }
        Block block;
        block.messages = TestMessages();
        block.files = files;
        Place(app, EncodeBlock(block));

        // The first question is answered only after the swap; the snapshot is taken between the two.
        // The file asked about is held open by the uninstaller then, and cannot be read: its state is
        // the one it had before the run.
        Snapshot before = TakeSnapshot();
        Snapshot afterSwap;
        std::string swapError;
        bool swapped = false;
        robot::Responder responder = [&](const robot::SeenWindow& window, size_t modalIndex) -> robot::Reply {
            if (!window.modal) return robot::Ignore();
            if (modalIndex == 0) {
                swapped = SwapForLink(app.Path("Bin"), app.Path("Moved"), victim, &swapError);
                afterSwap = TakeSnapshot();
                afterSwap[Item(app.Path("Moved\\r3.txt"))] = before[Item(app.Path("Bin\\r3.txt"))];
                return c.answer;
            }
            return robot::Click(IDYES);
        };
        e2e::RunResult run = Run(app, "/S", responder);
        ASSERT_TRUE(swapped) << swapError << "\n" << run.Describe();
        ASSERT_GE(run.windows.size(), 1u) << run.Describe();
        // Only the file outside the swapped folder goes (and, for the shared file, the count value
        // that its Yes gave up); the victim's files and the moved folder's stay.
        Expected expected;
        expected.removed.insert(Item(app.Path("app.txt")));
        if (c.flags & kFileShared) expected.removed.insert("SharedDLLs:@" + app.Path("Bin\\r3.txt"));
        ExpectChanges(afterSwap, expected);
        for (const char* name : names) {
            EXPECT_NE(GetFileAttributesA((victim + "\\" + name).c_str()), INVALID_FILE_ATTRIBUTES) << name;
        }
    }
}

// Without a question: the moment the first file of the listed folder is gone (a change notification
// on the folder), the folder becomes a link. The files of the same names in the victim's folder all
// stay; each of the installation's is either gone or still in the moved folder.
TEST_F(RacesE2e, SwapAfterTheFirstDeletionRedirectsNothing) {
    struct Case {
        const char* what;
        bool pattern;  // the files are matched by a clean-up pattern instead of listed
    } cases[] = {{"listed files", false}, {"a pattern's matches", true}};
    constexpr int kFiles = 200;
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        e2e::Installation& app = NewInstallation();
        std::string victim = sandbox_.root() + (c.pattern ? "VictimP" : "VictimL");
        Block block;
        block.messages = TestMessages();
        block.files = {{".\\", "app.txt", 0}};
        for (int i = 0; i < kFiles; ++i) {
            std::string name = "f" + std::to_string(1000 + i) + ".log";
            ASSERT_TRUE(app.AddFile("Bin\\" + name, "installed"));
            ASSERT_TRUE(testing_support::PlaceFile(victim + "\\" + name, "victim"));
            if (!c.pattern) block.files.push_back({".\\Bin", name, 0});
        }
        if (c.pattern) block.patterns = {"Bin\\*.log"};
        Place(app, EncodeBlock(block));
        Snapshot before = TakeSnapshot();

        HANDLE change =
            FindFirstChangeNotificationA(app.Path("Bin").c_str(), FALSE, FILE_NOTIFY_CHANGE_FILE_NAME);
        ASSERT_NE(change, INVALID_HANDLE_VALUE);
        std::atomic<bool> swapped{false};
        std::string swapError;
        std::thread watcher([&] {
            if (WaitForSingleObject(change, 60000) == WAIT_OBJECT_0)
                swapped = SwapForLink(app.Path("Bin"), app.Path("Moved"), victim, &swapError);
        });
        e2e::RunResult run = Run(app, "/S", robot::AnswerInOrder({}));
        watcher.join();
        FindCloseChangeNotification(change);
        ASSERT_TRUE(swapped) << swapError << "\n" << run.Describe();

        int gone = 0;
        for (int i = 0; i < kFiles; ++i) {
            std::string name = "f" + std::to_string(1000 + i) + ".log";
            EXPECT_NE(GetFileAttributesA((victim + "\\" + name).c_str()), INVALID_FILE_ATTRIBUTES)
                << "the victim's " << name;
            if (GetFileAttributesA(app.Path("Moved\\" + name).c_str()) == INVALID_FILE_ATTRIBUTES) ++gone;
        }
        EXPECT_GE(gone, 1) << "the swap came after the first deletion";
        // Nothing else changed but the swap and the installation's own files: the victim's folder
        // is compared item by item.
        Snapshot after = TakeSnapshot();
        for (const auto& [item, value] : before) {
            if (item.rfind(Item(victim), 0) != 0) continue;
            auto found = after.find(item);
            EXPECT_TRUE(found != after.end() && found->second == value) << item;
        }
    }
}

}  // namespace
}  // namespace e2e_test
