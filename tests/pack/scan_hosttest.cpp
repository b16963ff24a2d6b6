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
    ASSERT_TRUE(ScanInstallation({root, "", "uninst.exe", 1252}, m, skipped, error)) << error;
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
    // Wine shows a POSIX symbolic link to a Windows program as the file it points to.
    if (!pack_testing::WindowsPacker()) EXPECT_NE(scan.err.find("left out link.exe"), std::string::npos) << scan.err;
    EXPECT_NE(scan.out.find(R"("caption": "My Demo Uninstall")"), std::string::npos) << scan.out;
    std::string manifest = dir.File("m.json"), stub = dir.File("stub.exe"), out = dir.File("u.exe");
    pack_testing::WriteText(manifest, scan.out);
    pack_testing::WriteBytes(stub, pack_testing::FakeStub());
    auto build = pack_testing::RunPacker("build '" + manifest + "' --stub '" + stub + "' -o '" + out + "'");
    EXPECT_EQ(build.exitCode, 0) << build.err;
    EXPECT_EQ(pack_testing::RunPacker("scan '" + dir.File("missing") + "'").exitCode, 1);
}

}  // namespace
