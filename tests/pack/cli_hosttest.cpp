// What every command of the real packer shares: a result that cannot be written is a failure, and
// the install folder given on the command line is a text of the uninstaller's code page.
#include <gtest/gtest.h>

#include "pack_support.h"

using pack_testing::RunPacker;
using pack_testing::TempFolder;
using pack_testing::WriteBytes;
using pack_testing::WriteText;

namespace {

class PackerCommands : public ::testing::Test {
  protected:
    void SetUp() override {
        ASSERT_NE(getenv("UNINSTPACK"), nullptr) << "host tests run with UNINSTPACK set by CTest";
        manifest_ = dir_.File("m.json");
        WriteText(manifest_, R"({"codePage": 1252, "files": [{"folder": ".\\", "name": "app.exe"}]})");
        WriteBytes(dir_.File("stub.exe"), pack_testing::FakeStub());
        uninstaller_ = dir_.File("uninst.exe");
        auto built = RunPacker("build '" + manifest_ + "' --stub '" + dir_.File("stub.exe") + "' -o '" +
                               uninstaller_ + "'");
        ASSERT_EQ(built.exitCode, 0) << built.err;
        std::string image = dir_.File("image");
        ASSERT_EQ(system(("mkdir -p '" + image + "' && echo x > '" + image + "/app.exe'").c_str()), 0);
    }
    TempFolder dir_;
    std::string manifest_, uninstaller_;
};

// A full disk: the result is lost, so the command fails and says so instead of exiting 0.
TEST_F(PackerCommands, AResultThatCannotBeWrittenFails) {
    const std::string commands[] = {
        "dump '" + uninstaller_ + "'",
        "plan '" + uninstaller_ + "'",
        "plan '" + uninstaller_ + "' --json",
        "scan '" + dir_.File("image") + "'",
    };
    for (const auto& command : commands) {
        auto run = RunPacker(command, "/dev/full");
        EXPECT_EQ(run.exitCode, 1) << command << "\n" << run.err;
        EXPECT_NE(run.err.find("uninstpack: cannot write the output: No space left on device"),
                  std::string::npos)
            << command << "\n"
            << run.err;
        EXPECT_EQ(RunPacker(command).exitCode, 0) << command;
    }
    // check reports on standard error: findings that cannot be written fail it the same way.
    std::string check = "check '" + manifest_ + "'";
    EXPECT_EQ(RunPacker(check, "", "/dev/full").exitCode, 1);
    EXPECT_EQ(RunPacker(check).exitCode, 0);
}

// --install-dir is UTF-8 on the command line and a text of the block's code page in the uninstaller:
// plan shows it as written, and lengths count the bytes of the code page.
TEST_F(PackerCommands, TheInstallFolderIsConvertedToTheCodePage) {
    auto plan = RunPacker("plan '" + uninstaller_ + "' --install-dir 'C:\\Programme\\Müller'");
    ASSERT_EQ(plan.exitCode, 0) << plan.err;
    EXPECT_NE(plan.out.find("install folder: C:\\Programme\\Müller\\;"), std::string::npos) << plan.out;
    EXPECT_NE(plan.out.find("delete C:\\Programme\\Müller\\app.exe"), std::string::npos) << plan.out;

    // "C:\", 240 characters and "\app.exe": 251 bytes in code page 1252, 371 in UTF-8.
    std::string deep = "C:\\" + std::string(120, 'a');
    for (int i = 0; i < 120; ++i) deep += "ü";
    for (const char* command : {"check", "build"}) {
        std::string arguments = std::string(command) + " '" + manifest_ + "' --install-dir '" + deep + "'";
        if (std::string(command) == "build") {
            arguments += " --stub '" + dir_.File("stub.exe") + "' -o '" + dir_.File("deep.exe") + "'";
        }
        auto run = RunPacker(arguments);
        EXPECT_EQ(run.exitCode, 0) << command << "\n" << run.out << run.err;
        EXPECT_EQ((run.out + run.err).find("characters long"), std::string::npos) << run.out << run.err;
    }

    struct Case {
        std::string arguments;
        const char* message;
    } cases[] = {
        {"plan '" + uninstaller_ + "' --install-dir 'C:\\Программы'",
         "uninstpack: --install-dir: character U+041F \"П\" has no place in code page 1252"},
        {"plan '" + uninstaller_ + "' --code-page 932 --install-dir 'C:\\Apps¥Vendor'",
         "uninstpack: --install-dir: character U+00A5 \"¥\" becomes \"\\\" (0x5C) in code page 932"},
        {"check '" + manifest_ + "' --install-dir 'C:\\Программы'",
         "uninstpack: --install-dir: character U+041F"},
    };
    for (const auto& c : cases) {
        auto run = RunPacker(c.arguments);
        EXPECT_EQ(run.exitCode, 1) << c.arguments;
        EXPECT_NE(run.err.find(c.message), std::string::npos) << c.arguments << "\n" << run.err;
    }
}

}  // namespace
