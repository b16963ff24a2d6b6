// `uninstpack scan`: a manifest skeleton from an installed image.
#include "pack/scan.h"

#include <algorithm>
#include <filesystem>
#include <gtest/gtest.h>
#include <nlohmann/json.hpp>

#include "pack/check.h"
#include "pack_support.h"

using namespace pack;
namespace fs = std::filesystem;

namespace {

// An installed image: files at the top, in two subfolders (one nested), the uninstaller and a link.
void MakeImage(const std::string& root) {
    fs::create_directories(root + "/Bin/Plugins");
    fs::create_directories(root + "/data");
    for (const char* file : {"app.exe", "Readme.txt", "uninstall.exe", "Bin/core.dll", "Bin/Plugins/p.dll",
                             "data/a.dat", "data/B.dat"}) {
        pack_testing::WriteText(root + "/" + file, "x");
    }
    fs::create_symlink(root + "/app.exe", root + "/link.exe");
}

TEST(Scan, ListsFolderEntriesBeforeTheirFilesAndSubfolders) {
    pack_testing::TempFolder dir;
    std::string root = dir.File("Uninst Demo");
    MakeImage(root);
    Manifest m;
    std::vector<std::string> skipped, notes;
    std::string error;
    ScanOptions options{root, "", "uninstall.exe", 1252};
    options.unattended = true;  // the choice the checks otherwise ask for
    ASSERT_TRUE(ScanInstallation(options, m, skipped, notes, error)) << error;
    std::vector<std::string> entries;
    for (const auto& f : m.block.files) entries.push_back(f.folder + "|" + f.name);
    EXPECT_EQ(entries, (std::vector<std::string>{
                           ".\\|app.exe", ".\\|Readme.txt", ".\\Bin|", ".\\Bin|core.dll", ".\\Bin\\Plugins|",
                           ".\\Bin\\Plugins|p.dll", ".\\data|", ".\\data|a.dat", ".\\data|B.dat"}));
    ASSERT_EQ(skipped.size(), 1u);
    EXPECT_EQ(skipped[0], "link.exe (a symbolic link)");
    EXPECT_EQ(m.block.messages[format::kMsgCaption], "Uninst Demo Uninstall");
    // The skeleton passes the checks: no folder entry comes after its files.
    auto findings = CheckManifest(m, {});
    for (const auto& f : findings) ADD_FAILURE() << DescribeFinding("scan", f);
}

// A name the code page cannot hold is left out with a note, as other unusable names are: one such
// file must not cost the author the whole skeleton. A folder goes with everything in it.
TEST(Scan, NamesThatTheCodePageCannotHoldAreLeftOutAndNamed) {
    pack_testing::TempFolder dir;
    std::string root = dir.File("img");
    fs::create_directories(root + "/Данные");
    fs::create_directories(root + "/Sub");
    for (const char* file : {"Файл.txt", "app.exe", "Данные/x.dat", "Sub/Ж.txt", "Sub/ok.txt"}) {
        pack_testing::WriteText(root + "/" + file, "x");
    }
    Manifest m;
    std::vector<std::string> skipped, notes;
    std::string error;
    ASSERT_TRUE(ScanInstallation({root, "Demo", "uninstall.exe", 1252}, m, skipped, notes, error)) << error;
    std::vector<std::string> entries;
    for (const auto& f : m.block.files) entries.push_back(f.folder + "|" + f.name);
    EXPECT_EQ(entries, (std::vector<std::string>{".\\|app.exe", ".\\Sub|", ".\\Sub|ok.txt"}));
    std::string all;
    for (const auto& s : skipped) all += s + "\n";
    for (const char* expected : {"Файл.txt (character U+0424", "Sub\\Ж.txt (character U+0416",
                                 "Данные with everything in it (character U+0414"}) {
        EXPECT_NE(all.find(expected), std::string::npos) << expected << "\n got: " << all;
    }
    // In the code page that holds them they are listed.
    skipped.clear();
    ASSERT_TRUE(ScanInstallation({root, "Demo", "uninstall.exe", 1251}, m, skipped, notes, error)) << error;
    EXPECT_EQ(m.block.files.size(), 7u);
    EXPECT_TRUE(skipped.empty());
    // The product's name is the author's own input: one the code page cannot hold is an error.
    EXPECT_FALSE(ScanInstallation({root, "Демо", "uninstall.exe", 1252}, m, skipped, notes, error));
    EXPECT_NE(error.find("--install-dir-name"), std::string::npos) << error;
}

// Names as Windows reads them: the uninstaller under any spelling of its name is left out (the file
// pass must not delete the running program), and names Windows cannot hold are left out and named.
TEST(Scan, LeavesOutWhatWindowsWouldReadOtherwise) {
    pack_testing::TempFolder dir;
    std::string root = dir.File("img");
    fs::create_directories(root + "/Sub");
    for (const char* file : {"Uninst.EXE", "app.exe", "a\\b.txt", "Sub/x\\y", "star*.txt", "dot.", "con.txt",
                             "Sub/uninst.exe"}) {
        pack_testing::WriteText(root + "/" + file, "x");
    }
    fs::create_directories(root + "/back\\slash");
    pack_testing::WriteText(root + "/back\\slash/inner.txt", "x");
    Manifest m;
    std::vector<std::string> skipped, notes;
    std::string error;
    ASSERT_TRUE(ScanInstallation({root, "Demo", "uninst.exe", 1252}, m, skipped, notes, error)) << error;
    std::vector<std::string> entries;
    for (const auto& f : m.block.files) entries.push_back(f.folder + "|" + f.name);
    // Only the top-level uninstaller is the running program; Sub's file of that name is listed.
    EXPECT_EQ(entries, (std::vector<std::string>{".\\|app.exe", ".\\Sub|", ".\\Sub|uninst.exe"}));
    std::string all;
    for (const auto& s : skipped) all += s + "\n";
    for (const char* expected :
         {"a\\b.txt (its name holds \"\\\", which Windows reads as a folder separator)",
          "back\\slash (its name holds \"\\\"", "Sub\\x\\y (its name holds \"\\\"",
          "star*.txt (its name holds a character Windows does not allow",
          "dot. (its name ends in a dot or a space", "con.txt (its name is that of a device"}) {
        EXPECT_NE(all.find(expected), std::string::npos) << expected << "\n got: " << all;
    }
    EXPECT_EQ(all.find("Uninst.EXE"), std::string::npos) << all;
}

TEST(Scan, TheRealPackerPrintsAManifestThatBuilds) {
    pack_testing::TempFolder dir;
    std::string root = dir.File("Demo");
    MakeImage(root);
    auto scan = pack_testing::RunPacker("scan '" + root + "' --install-dir-name 'My Demo'");
    ASSERT_EQ(scan.exitCode, 0) << scan.err;
    // Wine shows a POSIX symbolic link to a Windows program as the file it points to.
    if (!pack_testing::WindowsPacker())
        EXPECT_NE(scan.err.find("left out link.exe"), std::string::npos) << scan.err;
    EXPECT_NE(scan.out.find(R"("caption": "My Demo Uninstall")"), std::string::npos) << scan.out;
    // The default name is the one the documentation installs the uninstaller under.
    EXPECT_EQ(scan.out.find("uninstall.exe"), std::string::npos) << scan.out;
    std::string manifest = dir.File("m.json"), stub = dir.File("stub.exe"), out = dir.File("u.exe");
    pack_testing::WriteText(manifest, scan.out);
    pack_testing::WriteBytes(stub, pack_testing::FakeStub());
    auto build = pack_testing::RunPacker("build '" + manifest + "' --stub '" + stub + "' -o '" + out + "'");
    EXPECT_EQ(build.exitCode, 0) << build.err;
    EXPECT_EQ(pack_testing::RunPacker("scan '" + dir.File("missing") + "'").exitCode, 1);
}

// The shortcuts of a Programs-menu folder as token entries, and the unattended choice: the skeleton
// checks clean and builds.
TEST(Scan, WritesStartMenuShortcutsAsTokensAndTheUnattendedChoice) {
    pack_testing::TempFolder dir;
    std::string root = dir.File("Demo");
    MakeImage(root);
    struct Case {
        std::string options;
        std::vector<std::string> shortcuts;  // "levels|folder|name"
    } cases[] = {
        {"--start-menu-folder 'Example Co\\My Demo'", {"1|#Programs#\\Example Co\\My Demo|My Demo.lnk"}},
        {"--start-menu-folder 'Example Co/My Demo/' --all-users --shortcut 'A.lnk' --shortcut 'B.lnk'",
         {"1|#AllUsersPrograms#\\Example Co\\My Demo|A.lnk",
          "1|#AllUsersPrograms#\\Example Co\\My Demo|B.lnk"}},
        {"--start-menu-folder 'My Demo'", {"0|#Programs#\\My Demo|My Demo.lnk"}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.options);
        auto scan = pack_testing::RunPacker("scan '" + root + "' --install-dir-name 'My Demo' --unattended " +
                                            c.options);
        ASSERT_EQ(scan.exitCode, 0) << scan.err;
        Manifest m;
        ASSERT_EQ(pack_testing::Parse(scan.out, m), "") << scan.out;
        std::vector<std::string> shortcuts;
        for (const auto& sc : m.block.shortcuts) {
            shortcuts.push_back(std::to_string(sc.levels) + "|" + sc.folder + "|" + sc.name);
            EXPECT_EQ(sc.secondFolder, "");
        }
        EXPECT_EQ(shortcuts, c.shortcuts);
        EXPECT_EQ(m.unattended, true);
        EXPECT_EQ(m.block.messages[format::kMsgReadOnlyQuestion], "");
        EXPECT_EQ(m.block.messages[format::kMsgSharedFileQuestion], "");
        for (const auto& f : CheckManifest(m, {})) ADD_FAILURE() << DescribeFinding("scan", f);
    }
    // Without --unattended the choice is left to the author, and the checks ask for it.
    auto plain = pack_testing::RunPacker("scan '" + root + "'");
    ASSERT_EQ(plain.exitCode, 0) << plain.err;
    EXPECT_EQ(plain.out.find("unattended"), std::string::npos) << plain.out;
    Manifest m;
    ASSERT_EQ(pack_testing::Parse(plain.out, m), "");
    EXPECT_EQ(m.unattended, std::nullopt);
    std::string findings;
    for (const auto& f : CheckManifest(m, {})) findings += DescribeFinding("scan", f) + "\n";
    EXPECT_NE(findings.find("scan: warning[unattended]: runs with /S and /Q still stop"), std::string::npos)
        << findings;
    // Folders that are not below the Programs menu, and shortcut names with folders, are refused.
    for (const char* bad :
         {"--start-menu-folder '..\\Other'", "--start-menu-folder 'C:\\Menu'", "--start-menu-folder 'A\\\\B'",
          "--start-menu-folder 'Menu' --shortcut 'x\\y.lnk'"}) {
        auto run = pack_testing::RunPacker("scan '" + root + "' " + bad);
        EXPECT_EQ(run.exitCode, 1) << bad << "\n" << run.out;
        EXPECT_NE(run.err.find("uninstpack: --"), std::string::npos) << bad << "\n" << run.err;
    }
    EXPECT_EQ(pack_testing::RunPacker("scan '" + root + "' --shortcut 'A.lnk'").exitCode, 2);
}

// Only the messages that name the product: the rest stay out, so that a "language" added later
// gives its texts (and the English defaults are filled in by build without one).
TEST(Scan, WritesOnlyTheMessagesThatNameTheProduct) {
    pack_testing::TempFolder dir;
    std::string root = dir.File("Demo");
    MakeImage(root);
    auto scan = pack_testing::RunPacker("scan '" + root + "'");
    ASSERT_EQ(scan.exitCode, 0) << scan.err;
    nlohmann::json doc = nlohmann::json::parse(scan.out, nullptr, false);
    ASSERT_TRUE(doc.is_object()) << scan.out;
    std::vector<std::string> keys;
    for (const auto& item : doc["messages"].items()) keys.push_back(item.key());
    EXPECT_EQ(keys, (std::vector<std::string>{"caption", "confirm", "finished"})) << scan.out;
    // The same skeleton with a language takes every other text from its table, without a warning.
    doc["language"] = "de";
    doc.erase("codePage");
    Manifest m;
    ASSERT_EQ(pack_testing::Parse(doc.dump(), m), "");
    EXPECT_EQ(m.block.messages[format::kMsgYes], "&Ja");
    EXPECT_EQ(m.block.messages[format::kMsgCaption], "Demo Uninstall");
    for (const auto& f : CheckManifest(m, {})) {
        if (f.where.rfind("messages", 0) == 0) ADD_FAILURE() << DescribeFinding("scan", f);
    }
}

// The uninstaller is left out under the name it is given; a file that looks like another
// uninstaller is listed with a note; a name with a folder is refused.
TEST(Scan, TheUninstallerItNamesIsNeverListed) {
    pack_testing::TempFolder dir;
    std::string root = dir.File("img");
    fs::create_directories(root);
    for (const char* file : {"app.exe", "UNINSTALL.EXE", "uninst.exe", "unins000.exe", "uninstall.txt"}) {
        pack_testing::WriteText(root + "/" + file, "x");
    }
    struct Case {
        const char* uninstaller;
        std::vector<std::string> listed;
        std::vector<std::string> noted;
    } cases[] = {
        {"uninstall.exe",
         {"app.exe", "uninst.exe", "unins000.exe", "uninstall.txt"},
         {"unins000.exe", "uninst.exe"}},
        {"uninst.exe",
         {"app.exe", "UNINSTALL.EXE", "unins000.exe", "uninstall.txt"},
         {"unins000.exe", "UNINSTALL.EXE"}},
        {"App.exe",
         {"UNINSTALL.EXE", "uninst.exe", "unins000.exe", "uninstall.txt"},
         {"unins000.exe", "uninst.exe", "UNINSTALL.EXE"}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.uninstaller);
        Manifest m;
        std::vector<std::string> skipped, notes;
        std::string error;
        ASSERT_TRUE(ScanInstallation({root, "Demo", c.uninstaller, 1252}, m, skipped, notes, error)) << error;
        std::vector<std::string> listed;
        for (const auto& f : m.block.files) listed.push_back(f.name);
        std::sort(listed.begin(), listed.end());
        std::vector<std::string> expected = c.listed;
        std::sort(expected.begin(), expected.end());
        EXPECT_EQ(listed, expected);
        ASSERT_EQ(notes.size(), c.noted.size());  // in the order of the listing
        for (size_t i = 0; i < notes.size(); ++i) {
            EXPECT_EQ(notes[i].rfind(c.noted[i] + " looks like an uninstaller, but the uninstaller is " +
                                         std::string(c.uninstaller),
                                     0),
                      0u)
                << notes[i];
        }
    }
    Manifest m;
    std::vector<std::string> skipped, notes;
    std::string error;
    for (const char* bad : {"Tools\\uninstall.exe", "Tools/uninstall.exe", "C:uninstall.exe", ""}) {
        EXPECT_FALSE(ScanInstallation({root, "Demo", bad, 1252}, m, skipped, notes, error)) << bad;
        EXPECT_NE(error.find("give the file name alone"), std::string::npos) << error;
    }
    auto run = pack_testing::RunPacker("scan '" + root + "'");
    EXPECT_EQ(run.exitCode, 0) << run.err;
    EXPECT_NE(run.err.find("uninstpack: note: uninst.exe looks like an uninstaller"), std::string::npos)
        << run.err;
}

}  // namespace
