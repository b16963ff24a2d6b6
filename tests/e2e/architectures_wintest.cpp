// Both builds of the uninstaller on a 64-bit system that also has its 32-bit side, as every 64-bit
// Windows has: each build's manifest must ask for the common controls of its own architecture, or
// the loader refuses COMCTL32.dll (0xC000007B) and the program never starts (0xC0000135).
// A 64-bit test program is needed to start both, so the test is in the x86-64 test build only.
#include <cstring>
#include <gtest/gtest.h>

#include "e2e/e2e_fixture.h"

namespace e2e_test {
namespace {

#ifdef _WIN64

// The machine field of a PE image's file header, or 0 when the bytes are no PE image.
WORD MachineOf(const format::Bytes& image) {
    uint32_t at = 0;
    if (image.size() < 0x40) return 0;
    std::memcpy(&at, image.data() + 0x3C, sizeof(at));
    if (at > image.size() - 6 || std::memcmp(image.data() + at, "PE\0\0", 4) != 0) return 0;
    WORD machine = 0;
    std::memcpy(&machine, image.data() + at + 4, sizeof(machine));
    return machine;
}

// True when this 64-bit prefix has a 32-bit side that runs: its command interpreter starts and ends.
// Wine makes the folder even where no 32-bit program can run (a kernel without 32-bit support and
// no emulator registered); starting one then fails (error 1359).
bool ThirtyTwoBitProgramsRun() {
    char folder[MAX_PATH] = {};
    UINT n = GetSystemWow64DirectoryA(folder, sizeof(folder));
    if (n == 0 || n >= sizeof(folder) - 20) return false;
    std::string program = std::string(folder) + "\\cmd.exe";
    std::string commandLine = "\"" + program + "\" /c exit 7";
    STARTUPINFOA startup = {};
    startup.cb = sizeof(startup);
    PROCESS_INFORMATION process = {};
    if (!CreateProcessA(program.c_str(), commandLine.data(), nullptr, nullptr, FALSE, CREATE_NO_WINDOW,
                        nullptr, nullptr, &startup, &process)) {
        return false;
    }
    CloseHandle(process.hThread);
    DWORD code = 0;
    bool ended = WaitForSingleObject(process.hProcess, e2e::kRunTimeoutMs) == WAIT_OBJECT_0 &&
                 GetExitCodeProcess(process.hProcess, &code);
    if (!ended) TerminateProcess(process.hProcess, 1);
    CloseHandle(process.hProcess);
    return ended && code == 7;
}

// Each build runs in a sandbox of its own (the parameter is the build's PE machine).
class Architectures : public E2eTest, public ::testing::WithParamInterface<WORD> {};

TEST_P(Architectures, StubStartsAndRunsOnASystemWithThe32BitSide) {
    if (!ThirtyTwoBitProgramsRun()) {
        GTEST_SKIP() << "no 32-bit program runs in this prefix (the kernel runs none here and no emulator "
                        "is registered): scripts/install-deps.sh says why";
    }
    std::string stub;
    for (const std::string& path : e2e::StubPaths()) {
        std::string error;
        std::optional<format::Bytes> image = e2e::ReadStub(&error, path);
        ASSERT_TRUE(image) << error;
        if (MachineOf(*image) == GetParam()) stub = path;
    }
    ASSERT_FALSE(stub.empty()) << "no stub of this architecture beside the test build";
    SCOPED_TRACE(stub);
    std::string error;
    e2e::Installation& app = NewInstallation();
    ASSERT_TRUE(
        e2e::PlaceUninstaller(app.uninstaller(), format::EncodeBlock(InstallationBlock(app)), &error, stub))
        << error;
    // The whole interactive run: confirmation, progress dialog (a version 6 common control), closing
    // message, each with the block's texts.
    e2e::RunResult run = Run(app, "", robot::AnswerInOrder({robot::Click(IDOK), robot::Click(IDOK)}));
    EXPECT_EQ(run.exitCode, 0) << run.Describe();
    std::vector<robot::SeenWindow> boxes = run.MessageBoxes();
    ASSERT_EQ(boxes.size(), 2u) << run.Describe();
    EXPECT_EQ(boxes[0].text, TestMessages()[format::kMsgConfirm]);
    EXPECT_EQ(boxes[1].text, TestMessages()[format::kMsgFinished]);
}

INSTANTIATE_TEST_SUITE_P(Builds, Architectures,
                         ::testing::Values(WORD{IMAGE_FILE_MACHINE_AMD64}, WORD{IMAGE_FILE_MACHINE_I386}),
                         [](const ::testing::TestParamInfo<WORD>& info) {
                             return std::string(info.param == IMAGE_FILE_MACHINE_I386 ? "ShippedI686"
                                                                                      : "X86_64");
                         });

#endif  // _WIN64

}  // namespace
}  // namespace e2e_test
