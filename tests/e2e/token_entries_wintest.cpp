// Entries whose folders begin with a folder token, on the real uninstaller of both families: file
// entries, folder entries, shortcut folders and second folders in the user's and all users' menus,
// the application-data folders, the desktop and the Fonts folder. Each place gets a folder of this
// test's own below the token's folder (removed at both ends), holding the listed items and a canary;
// a snapshot of every such folder proves that exactly the listed items went, the token folders
// themselves stayed, and an entry whose token is unknown touched nothing.
#include <gtest/gtest.h>
#include <memory>

#include "e2e/e2e_fixture.h"
#include "e2e/token_places.h"
#include "support/sandbox.h"
#include "support/unix_side.h"

using namespace format;
using testing_support::Expected;
using testing_support::Family;
using testing_support::Snapshot;

namespace e2e_test {
namespace {

class TokenEntriesE2e : public E2eTest {
  protected:
    // One place per token that names a folder of the machine where installers write.
    void MakePlaces(const std::string& name) {
        struct Row {
            const char* token;
            int csidl;
        } rows[] = {
            {"#AppData#", CSIDL_APPDATA},
            {"#LocalAppData#", CSIDL_LOCAL_APPDATA},
            {"#AllUsersAppData#", CSIDL_COMMON_APPDATA},
            {"#Desktop#", CSIDL_DESKTOPDIRECTORY},
            {"#Programs#", CSIDL_PROGRAMS},
            {"#AllUsersPrograms#", CSIDL_COMMON_PROGRAMS},
            {"#StartMenu#", CSIDL_STARTMENU},
            {"#AllUsersStartMenu#", CSIDL_COMMON_STARTMENU},
            {"#Startup#", CSIDL_STARTUP},
            {"#AllUsersStartup#", CSIDL_COMMON_STARTUP},
            {"#Fonts#", CSIDL_FONTS},
        };
        for (const Row& row : rows) {
            places_.push_back(std::make_unique<TokenPlace>(row.token, row.csidl, name));
            ASSERT_TRUE(places_.back()->ok()) << row.token << ": no folder, or cannot write in it";
        }
    }

    Snapshot TakeAll() const {
        Snapshot snapshot = TakeSnapshot();
        for (const auto& place : places_) testing_support::Add(snapshot, place->Take());
        return snapshot;
    }

    const TokenPlace& At(const char* token) const {
        for (const auto& place : places_) {
            if (place->token() == token) return *place;
        }
        ADD_FAILURE() << "no place for " << token;
        return *places_.front();
    }

    std::vector<std::unique_ptr<TokenPlace>> places_;
};

// Every token place gets a file in Vendor\App (listed with its folder), a shortcut folder with a
// shortcut, a second folder, and things nobody listed; the run removes exactly the listed ones.
TEST_F(TokenEntriesE2e, ListedItemsBelowEachTokenGoAndNothingElseOnBothFamilies) {
    for (Family family : {Family::kNt, Family::k9x}) {
        SCOPED_TRACE(family == Family::kNt ? "NT" : "9x");
        e2e::Installation& app = NewInstallation(family);
        places_.clear();
        MakePlaces("uninst-tok-" + testing_support::NameOf(testing_support::FolderOf(app.folder())) + "-" +
                   std::to_string(GetCurrentProcessId()));
        if (HasFatalFailure()) return;
        // Only token entries: the installation's own files are not listed and stay.
        Block block;
        block.messages = TestMessages();
        Expected expected;
        for (const auto& place : places_) {
            const TokenPlace& p = *place;
            // A file with its folder entry, listed in install order; the folder above it empties too.
            ASSERT_TRUE(testing_support::PlaceFile(p.Real("Vendor\\App\\data.ini"), "installed"));
            ASSERT_TRUE(testing_support::PlaceFile(p.Real("Vendor\\App\\Sub\\x.txt"), "installed"));
            block.files.push_back({p.Stored("Vendor\\App"), "", 0});
            block.files.push_back({p.Stored("Vendor\\App"), "data.ini", 0});
            block.files.push_back({p.Stored("Vendor\\App\\Sub"), "x.txt", 0});
            // A file the user made beside a listed one keeps its folder.
            ASSERT_TRUE(testing_support::PlaceFile(p.Real("Kept\\user.txt"), "mine"));
            ASSERT_TRUE(testing_support::PlaceFile(p.Real("Kept\\listed.txt"), "installed"));
            block.files.push_back({p.Stored("Kept"), "listed.txt", 0});
            for (const char* item : {"Vendor\\", "Vendor\\App\\", "Vendor\\App\\data.ini",
                                     "Vendor\\App\\Sub\\", "Vendor\\App\\Sub\\x.txt", "Kept\\listed.txt"}) {
                expected.removed.insert(p.Item(item));
            }
        }
        // Shortcuts: a menu folder that climbs one level, with a second folder on the desktop.
        const TokenPlace& programs = At("#Programs#");
        const TokenPlace& desktop = At("#Desktop#");
        const TokenPlace& allPrograms = At("#AllUsersPrograms#");
        ASSERT_TRUE(testing_support::PlaceFile(programs.Real("Menu\\Product\\Product.lnk"), "link"));
        ASSERT_TRUE(testing_support::MakeFolders(desktop.Real("Menu\\Product")));
        ASSERT_TRUE(testing_support::PlaceFile(allPrograms.Real("Menu\\Product\\Product.lnk"), "link"));
        ASSERT_TRUE(testing_support::PlaceFile(allPrograms.Real("Menu\\Other.lnk"), "another program's"));
        block.shortcuts = {
            {1, programs.Stored("Menu\\Product"), desktop.Stored("Menu\\Product"), "Product.lnk"},
            {1, allPrograms.Stored("Menu\\Product"), "", "Product.lnk"}};
        for (const char* item : {"Menu\\", "Menu\\Product\\", "Menu\\Product\\Product.lnk"}) {
            expected.removed.insert(programs.Item(item));
        }
        for (const char* item : {"Menu\\", "Menu\\Product\\"}) expected.removed.insert(desktop.Item(item));
        // Menu stays: it still holds another program's shortcut.
        for (const char* item : {"Menu\\Product\\", "Menu\\Product\\Product.lnk"}) {
            expected.removed.insert(allPrograms.Item(item));
        }
        // An unknown token, and one that is not at the start, name nothing: their entries are skipped.
        const TokenPlace& appData = At("#AppData#");
        ASSERT_TRUE(testing_support::PlaceFile(appData.Real("Unknown\\u.txt"), "stays"));
        block.files.push_back({"#NoSuchToken#" + appData.Stored("Unknown").substr(9), "u.txt", 0});
        block.files.push_back({"#AppData#Unknown", "u.txt", 0});
        // The user's own Startup folder itself, as a folder entry: a protected folder, never removed.
        block.files.push_back({"#Startup#", "", 0});
        block.files.push_back({"#Programs#", "", 0});
        Place(app, EncodeBlock(block));
        Snapshot before = TakeAll();
        e2e::RunResult run = Run(app, "/S", robot::AnswerInOrder({}));
        std::string why;
        ASSERT_TRUE(e2e::WaitForRunToEnd(run, e2e::kRunTimeoutMs, &why)) << why;
        // The entries of an unknown token and of a token not followed by a backslash stay: refused.
        EXPECT_EQ(run.exitCode, 1603);
        EXPECT_TRUE(run.MessageBoxes().empty()) << run.Describe();
        std::string surprises = testing_support::Unexpected(before, TakeAll(), expected);
        EXPECT_TRUE(surprises.empty()) << surprises;
        for (const char* token : {"#Startup#", "#Programs#"}) {
            EXPECT_TRUE(testing_support::Exists(At(token).tokenFolder())) << token << " itself went";
        }
        if (HasFailure()) return;
    }
}

// A link planted below a token's folder (a Unix symbolic link, which Wine shows as a junction) is
// not followed: the entries are checked from the token's folder, as those of the install folder are
// from it. What the links lead to keeps everything; the listed file beside them goes.
TEST_F(TokenEntriesE2e, LinksBelowATokensFolderAreNotFollowed) {
    e2e::Installation& app = NewInstallation();
    places_.push_back(std::make_unique<TokenPlace>(
        "#AppData#", CSIDL_APPDATA, "uninst-tok-" + testing_support::NameOf(sandbox_.folder().path())));
    places_.push_back(std::make_unique<TokenPlace>(
        "#Programs#", CSIDL_PROGRAMS, "uninst-tok-" + testing_support::NameOf(sandbox_.folder().path())));
    for (const auto& place : places_) ASSERT_TRUE(place->ok()) << place->token();
    const TokenPlace& appData = At("#AppData#");
    const TokenPlace& programs = At("#Programs#");
    for (const char* file : {"VictimA\\a.txt", "VictimA\\sub\\b.txt", "VictimB\\App.lnk"}) {
        ASSERT_TRUE(testing_support::PlaceFile(sandbox_.root() + file, "victim"));
    }
    ASSERT_TRUE(testing_support::PlaceFile(appData.Real("Vendor\\ok.txt"), "installed"));
    std::string why;
    ASSERT_TRUE(testing_support::MakeUnixLink(appData.Real("Vendor\\Bin"), sandbox_.root() + "VictimA", &why))
        << why;
    ASSERT_TRUE(testing_support::MakeUnixLink(programs.Real("Menu"), sandbox_.root() + "VictimB", &why))
        << why;
    Block block;
    block.messages = TestMessages();
    block.files = {{appData.Stored("Vendor"), "", 0},
                   {appData.Stored("Vendor\\Bin"), "", 0},
                   {appData.Stored("Vendor\\Bin\\sub"), "", 0},
                   {appData.Stored("Vendor\\Bin"), "a.txt", 0},
                   {appData.Stored("Vendor\\Bin"), "sub\\b.txt", 0},
                   {appData.Stored("Vendor"), "ok.txt", 0}};
    block.shortcuts = {{1, programs.Stored("Menu"), "", "App.lnk"}};
    Place(app, EncodeBlock(block));
    // The snapshots go through the sandbox (the victims) and the places without entering the links.
    Snapshot before = TakeAll();
    e2e::RunResult run = Run(app, "/S", robot::AnswerInOrder({}));
    ASSERT_TRUE(e2e::WaitForRunToEnd(run, e2e::kRunTimeoutMs, &why)) << why;
    EXPECT_TRUE(run.MessageBoxes().empty()) << run.Describe();
    std::string surprises =
        testing_support::Unexpected(before, TakeAll(), {.removed = {appData.Item("Vendor\\ok.txt")}});
    EXPECT_TRUE(surprises.empty()) << surprises;
    for (const char* file : {"VictimA\\a.txt", "VictimA\\sub\\b.txt", "VictimB\\App.lnk"}) {
        EXPECT_TRUE(testing_support::Exists(sandbox_.root() + file)) << file;
    }
}

}  // namespace
}  // namespace e2e_test
