// Hostile file systems under the real uninstaller: links planted inside the installation, an
// installation reached through a link above it, network spellings of local folders and "/" in an
// entry's folder. Links are Unix symbolic links inside the prefix's drive, which Wine shows as
// junctions. Each case checks with a snapshot that exactly its items went and that the folders a
// link or a share leads to kept everything.
#include <gtest/gtest.h>

#include "e2e/e2e_fixture.h"
#include "support/sandbox.h"
#include "support/unix_side.h"

using namespace format;
using testing_support::Expected;
using testing_support::ItemsUnder;
using testing_support::Snapshot;

namespace e2e_test {
namespace {

class LinksE2e : public E2eTest {
  protected:
    // An item of the snapshot: the path relative to the sandbox.
    std::string Item(const std::string& path) const { return path.substr(sandbox_.root().size()); }

    // Writes the files (relative to the sandbox) of a folder the uninstaller must leave alone.
    void MakeVictim(const std::vector<std::string>& files) {
        for (const std::string& file : files)
            ASSERT_TRUE(testing_support::PlaceFile(sandbox_.root() + file, "victim"));
    }

    void Link(const std::string& link, const std::string& target) {
        std::string why;
        ASSERT_TRUE(testing_support::MakeUnixLink(link, target, &why)) << why;
    }

    static Bytes ListBlock(const std::vector<FileSpec>& files,
                           const std::vector<std::string>& patterns = {}) {
        Block block;
        block.messages = TestMessages();
        block.files = files;
        block.patterns = patterns;
        return EncodeBlock(block);
    }
};

// `.\Bin` replaced by a link to another folder: neither the file pass (files, a file in a subfolder,
// folder entries), the wildcard pass (a pattern below the link) nor the program-folder climb touches
// what the link leads to; the entries outside the link still go.
TEST_F(LinksE2e, LinksPlantedInsideTheInstallationAreNotFollowed) {
    e2e::Installation& app = NewInstallation();
    MakeVictim(
        {"VictimA\\a.txt", "VictimA\\sub\\a.txt", "VictimB\\Cache\\c.txt", "VictimB\\Cache\\deep\\d.txt"});
    ASSERT_TRUE(testing_support::MakeFolders(sandbox_.root() + "VictimA\\empty"));
    Link(app.Path("Bin"), sandbox_.root() + "VictimA");
    Link(app.Path("Store"), sandbox_.root() + "VictimB");
    Place(app, ListBlock({{".\\", "app.txt", 0},
                          {".\\Bin", "a.txt", 0},
                          {".\\Bin", "sub\\a.txt", 0},
                          {".\\Bin\\empty", "", 0},
                          {".\\Bin\\sub", "", 0},
                          {".\\Bin", "", 0}},
                         {"Store\\Cache\\*.txt"}));
    Snapshot before = TakeSnapshot();
    e2e::RunResult run = Run(app, "/S", robot::AnswerInOrder({}));
    EXPECT_TRUE(run.windows.empty()) << run.Describe();
    ExpectChanges(before, {.removed = {Item(app.Path("app.txt"))}});
}

// The installation reached through a link above it (as through a junction, subst or mapped drive):
// it goes whole, a pattern's subfolders included, while the folder it really is in keeps its other
// content.
TEST_F(LinksE2e, InstallationBelowALinkIsRemovedWhole) {
    e2e::Installation& app = NewInstallation();
    ASSERT_TRUE(app.AddFile("Logs\\a.log", "log"));
    ASSERT_TRUE(app.AddFile("Logs\\sub\\x.log", "log"));
    ASSERT_TRUE(app.AddFile("Logs\\keep.txt", "not a log"));
    ASSERT_TRUE(app.AddFile("Bin\\tool.dll", "installed"));
    std::string via = sandbox_.root() + "Via";
    std::string real = app.folder().substr(0, app.folder().size() - 1);
    Link(via, real);
    Place(app,
          ListBlock({{".\\", "app.txt", 0}, {".\\Bin", "tool.dll", 0}, {".\\Bin", "", 0}}, {"Logs\\*.log"}));
    Snapshot before = TakeSnapshot();
    std::string exe = via + "\\" + app.exeName();
    e2e::RunResult run = e2e::RunWithRobot(exe, "/S", sandbox_.root(), robot::AnswerInOrder({}));
    ASSERT_TRUE(run.started) << run.error;
    ASSERT_FALSE(run.timedOut) << run.Describe();
    EXPECT_TRUE(run.windows.empty()) << run.Describe();
    ExpectChanges(before,
                  {.removed = {Item(app.Path("app.txt")), Item(app.Path("Bin\\tool.dll")),
                               Item(app.Path("Bin")) + "\\", Item(app.Path("Logs\\a.log")),
                               Item(app.Path("Logs\\sub\\x.log")), Item(app.Path("Logs\\sub")) + "\\"}});
}

// A network spelling reaches a local folder past the protected test: "\\host\share\..." where the
// share is the drive the sandbox lives on. Folder entries and their climbs are refused unless the
// installation lives on that share; a single file keeps the rules every file has.
TEST_F(LinksE2e, NetworkSpellingsOfFoldersAreRefused) {
    e2e::Installation& app = NewInstallation();
    MakeVictim({"Remote\\file.txt"});
    ASSERT_TRUE(testing_support::MakeFolders(sandbox_.root() + "Remote\\Empty\\Inner"));
    ASSERT_TRUE(testing_support::MakeFolders(sandbox_.root() + "Remote\\Verbatim"));
    // Wine serves "\\host\share" from dosdevices\unc\host\share: make the share the sandbox's drive.
    std::string drive = sandbox_.root().substr(0, 3);
    std::string unixDrive = testing_support::UnixPath(drive);
    ASSERT_FALSE(unixDrive.empty());
    while (!unixDrive.empty() && unixDrive.back() == '/') unixDrive.pop_back();
    std::string host = "links" + std::to_string(GetCurrentProcessId());
    std::string unc = unixDrive + "/../dosdevices/unc/" + host;
    std::string why;
    ASSERT_TRUE(testing_support::RunUnixShell(
        "mkdir -p '" + unc + "' && ln -sfn '" + unixDrive + "' '" + unc + "/share'", &why))
        << why;
    struct ShareRemover {
        std::string unc;
        ~ShareRemover() {
            std::string ignored;
            (void)testing_support::RunUnixShell("rm -f '" + unc + "/share' && rmdir '" + unc + "'", &ignored);
        }
    } remover{unc};
    std::string remote = "\\\\" + host + "\\share\\" + sandbox_.root().substr(3) + "Remote";
    ASSERT_NE(GetFileAttributesA((remote + "\\Empty\\Inner").c_str()), INVALID_FILE_ATTRIBUTES) << remote;
    Place(app, ListBlock({{".\\", "app.txt", 0},
                          {remote, "file.txt", 0},
                          {remote + "\\Empty\\Inner", "", 0},
                          {"\\\\?\\UNC\\" + remote.substr(2) + "\\Verbatim", "", 0}}));
    Snapshot before = TakeSnapshot();
    e2e::RunResult run = Run(app, "/S", robot::AnswerInOrder({}));
    EXPECT_TRUE(run.windows.empty()) << run.Describe();
    ExpectChanges(before, {.removed = {Item(app.Path("app.txt")), "Remote\\file.txt"}});
}

// "/" is a separator in an entry's folder as it is for the platform: the file pass deletes the file
// in "X:/.../Other" and the program-folder climb removes the folder it emptied, as `plan` says.
TEST_F(LinksE2e, SlashesInAnEntryFolderAreSeparators) {
    e2e::Installation& app = NewInstallation();
    MakeVictim({"Other\\x.txt", "Other2\\y.txt"});
    std::string other = sandbox_.root() + "Other";
    for (char& c : other) c = c == '\\' ? '/' : c;
    Place(app, ListBlock({{".\\", "app.txt", 0}, {other, "x.txt", 0}, {"./Data", "data.bin", 0}}));
    Snapshot before = TakeSnapshot();
    e2e::RunResult run = Run(app, "/S", robot::AnswerInOrder({}));
    EXPECT_TRUE(run.windows.empty()) << run.Describe();
    ExpectChanges(before, {.removed = {Item(app.Path("app.txt")), "Other\\x.txt", "Other\\",
                                       Item(app.Path("Data\\data.bin")), Item(app.Path("Data")) + "\\"}});
}

}  // namespace
}  // namespace e2e_test
