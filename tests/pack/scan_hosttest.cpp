// `uninstpack scan`: a manifest skeleton from an installed image.
#include <gtest/gtest.h>

#include <filesystem>

#include "pack/check.h"
#include "pack/scan.h"
#include "pack_support.h"

using namespace pack;
namespace fs = std::filesystem;

namespace {

// An installed image: files at the top, in two subfolders (one nested), the uninstaller and a link.
void MakeImage(const std::string& root) {
    fs::create_directories(root + "/Bin/Plugins");
    fs::create_directories(root + "/data");
    for (const char* file : {"app.exe", "Readme.txt", "uninst.exe", "Bin/core.dll", "Bin/Plugins/p.dll", "data/a.dat", "data/B.dat"}) {
        pack_testing::WriteText(root + "/" + file, "x");
    }
    fs::create_symlink(root + "/app.exe", root + "/link.exe");
}

TEST(Scan, ListsFolderEntriesBeforeTheirFilesAndSubfolders) {
    pack_testing::TempFolder dir;
    std::string root = dir.File("Uninst Demo");
    MakeImage(root);
    Manifest m;
    std::vector<std::string> skipped;
    std::string error;
    ScanOptions options{root, "", "uninst.exe", 1252};
    options.unattended = true;  // the choice the checks otherwise ask for
    ASSERT_TRUE(ScanInstallation(options, m, skipped, error)) << error;
    std::vector<std::string> entries;
    for (const auto& f : m.block.files) entries.push_back(f.folder + "|" + f.name);
    EXPECT_EQ(entries, (std::vector<std::string>{".\\|app.exe", ".\\|Readme.txt", ".\\Bin|", ".\\Bin|core.dll",
                                                 ".\\Bin\\Plugins|", ".\\Bin\\Plugins|p.dll", ".\\data|", ".\\data|a.dat",
                                                 ".\\data|B.dat"}));
    ASSERT_EQ(skipped.size(), 1u);
    EXPECT_EQ(skipped[0], "link.exe (a symbolic link)");
    EXPECT_EQ(m.block.messages[format::kMsgCaption], "Uninst Demo Uninstall");
    // The skeleton passes the checks: no folder entry comes after its files.
    auto findings = CheckManifest(m, {});
    for (const auto& f : findings) ADD_FAILURE() << DescribeFinding("scan", f);
}

TEST(Scan, NamesThatTheCodePageCannotHoldFail) {
    pack_testing::TempFolder dir;
    std::string root = dir.File("img");
    fs::create_directories(root);
    pack_testing::WriteText(root + "/Файл.txt", "x");
    Manifest m;
    std::vector<std::string> skipped;
    std::string error;
    EXPECT_FALSE(ScanInstallation({root, "Demo", "uninst.exe", 1252}, m, skipped, error));
    EXPECT_NE(error.find("\"Файл.txt\": character U+0424"), std::string::npos) << error;
    EXPECT_TRUE(ScanInstallation({root, "Demo", "uninst.exe", 1251}, m, skipped, error)) << error;
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
    std::vector<std::string> skipped;
    std::string error;
    ASSERT_TRUE(ScanInstallation({root, "Demo", "uninst.exe", 1252}, m, skipped, error)) << error;
    std::vector<std::string> entries;
    for (const auto& f : m.block.files) entries.push_back(f.folder + "|" + f.name);
    // Only the top-level uninstaller is the running program; Sub's file of that name is listed.
    EXPECT_EQ(entries, (std::vector<std::string>{".\\|app.exe", ".\\Sub|", ".\\Sub|uninst.exe"}));
    std::string all;
    for (const auto& s : skipped) all += s + "\n";
    for (const char* expected : {"a\\b.txt (its name holds \"\\\", which Windows reads as a folder separator)",
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
    EXPECT_NE(scan.err.find("left out link.exe"), std::string::npos) << scan.err;
    EXPECT_NE(scan.out.find(R"("caption": "My Demo Uninstall")"), std::string::npos) << scan.out;
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
         {"1|#AllUsersPrograms#\\Example Co\\My Demo|A.lnk", "1|#AllUsersPrograms#\\Example Co\\My Demo|B.lnk"}},
        {"--start-menu-folder 'My Demo'", {"0|#Programs#\\My Demo|My Demo.lnk"}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.options);
        auto scan = pack_testing::RunPacker("scan '" + root + "' --install-dir-name 'My Demo' --unattended " + c.options);
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
    EXPECT_NE(findings.find("scan: unattended: warning: runs with /S and /Q still stop"), std::string::npos) << findings;
    // Folders that are not below the Programs menu, and shortcut names with folders, are refused.
    for (const char* bad : {"--start-menu-folder '..\\Other'", "--start-menu-folder 'C:\\Menu'",
                            "--start-menu-folder 'A\\\\B'", "--start-menu-folder 'Menu' --shortcut 'x\\y.lnk'"}) {
        auto run = pack_testing::RunPacker("scan '" + root + "' " + bad);
        EXPECT_EQ(run.exitCode, 1) << bad << "\n" << run.out;
        EXPECT_NE(run.err.find("uninstpack: --"), std::string::npos) << bad << "\n" << run.err;
    }
    EXPECT_EQ(pack_testing::RunPacker("scan '" + root + "' --shortcut 'A.lnk'").exitCode, 2);
}

}  // namespace
