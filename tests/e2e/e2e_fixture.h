// The fixture of the end-to-end tests: a sandbox of the test's own with a small installation in
// it, the uninstaller packed with the test's block, runs under the robot that fail on a timeout,
// and canaries beside the installation that every run must leave alone.
#pragma once

#include <gtest/gtest.h>

#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "support/e2e.h"

namespace e2e_test {

inline constexpr uint32_t kHkcu = 0x80000001u;  // HKEY_CURRENT_USER as the block stores it

// A message table of all sixteen texts, each easy to tell apart. Message 1 holds "%s": the
// confirmation shows it as it stands, load error 1 formats it with the executable's path.
inline std::vector<std::string> TestMessages() {
    return {"E2E Uninstall",
            "Remove E2E App (%s) and all of its components?",
            "E2E App was removed.",
            "&Yes",
            "Yes to &All",
            "&No",
            "No to A&ll",
            "No memory to read %s.",
            "The uninstall data in %s is damaged.",
            "%s is write-protected. Remove it anyway?",
            "%s may be used by other programs. Remove it?",
            "Removing files...",
            "Removing shortcuts...",
            "Removing folders...",
            "Removing registry entries...",
            "Some files are still in use."};
}

// `text` with every "%s" replaced by `argument`, as the uninstaller formats its load errors.
inline std::string FormatWith(const std::string& text, const std::string& argument) {
    std::string out;
    for (size_t i = 0; i < text.size(); ++i) {
        if (text[i] == '%' && i + 1 < text.size() && text[i + 1] == 's') {
            out += argument;
            ++i;
        } else {
            out += text[i];
        }
    }
    return out;
}

class E2eTest : public ::testing::Test {
  protected:
    E2eTest()
        : sandbox_(::testing::UnitTest::GetInstance()->current_test_info()->test_suite_name() +
                   std::string(".") + ::testing::UnitTest::GetInstance()->current_test_info()->name()) {}

    void SetUp() override {
        ASSERT_TRUE(sandbox_.ok()) << sandbox_.error();
        ASSERT_TRUE(sandbox_.InstallFile("app.txt", "installed"));
        ASSERT_TRUE(sandbox_.InstallFile("Data\\data.bin", "installed"));
        ASSERT_TRUE(sandbox_.InstallValue("Path", sandbox_.installFolder()));
    }

    void TearDown() override {
        std::string why;
        EXPECT_TRUE(sandbox_.CanariesAlive(&why)) << why;
    }

    // The block of the sandbox's installation: its files, its key and the test messages.
    format::Block InstallationBlock() const {
        format::Block block;
        block.messages = TestMessages();
        block.files = {{".\\", "app.txt", 0}, {".\\Data", "data.bin", 0}, {".\\Data", "", 0}};
        block.registry = {{kHkcu, sandbox_.installKeyPath()}};
        return block;
    }

    void Place(const format::Bytes& block) {
        std::string error;
        ASSERT_TRUE(e2e::PlaceUninstaller(sandbox_.uninstaller(), block, &error)) << error;
    }

    void PlaceRaw(std::optional<uint32_t> field, const format::Bytes& tail) {
        std::string error;
        ASSERT_TRUE(e2e::PlaceUninstallerRaw(sandbox_.uninstaller(), field, tail, &error)) << error;
    }

    // Runs the placed uninstaller; a run that cannot start or has to be terminated fails the test.
    e2e::RunResult Run(const std::string& arguments, robot::Responder responder) {
        e2e::RunResult result =
            e2e::RunWithRobot(sandbox_.uninstaller(), arguments, sandbox_.root(), std::move(responder));
        EXPECT_TRUE(result.started) << result.error;
        EXPECT_FALSE(result.timedOut) << result.error << "\n" << result.Describe();
        return result;
    }

    bool Installed(const std::string& relativePath) const {
        return GetFileAttributesA((sandbox_.installFolder() + relativePath).c_str()) !=
               INVALID_FILE_ATTRIBUTES;
    }

    e2e::Sandbox sandbox_;
};

}  // namespace e2e_test
