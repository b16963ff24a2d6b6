// The fixture of the end-to-end tests: a sandbox of the test's own with canaries that every run
// must leave alone, installations in it (one per case, each with its own executable name), the
// uninstaller packed with the test's block, runs under the robot that fail on a timeout, and
// snapshots of everything the sandbox owns to check what a run changed.
#pragma once

#include <gtest/gtest.h>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "support/e2e.h"
#include "support/registry.h"
#include "support/snapshot.h"

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

// The name of the running test, "Suite.Name" (parameterised ones with their prefix and index).
inline std::string CurrentTestName() {
    const ::testing::TestInfo* info = ::testing::UnitTest::GetInstance()->current_test_info();
    return std::string(info->test_suite_name()) + "." + info->name();
}

// Usage:
//   class MyCase : public E2eTest {};
//   TEST_F(MyCase, Something) {
//       e2e::Installation& app = NewInstallation();             // one per case: own folder, key, exe name
//       Place(app, format::EncodeBlock(InstallationBlock(app)));
//       Snapshot before = TakeSnapshot();
//       e2e::RunResult run = Run(app, "/S", robot::AnswerInOrder({}));
//       ExpectChanges(before, {.removed = ItemsUnder(before, "App1\\")});
//   }
// NewInstallation(Family::k9x) runs that installation's uninstaller as Windows 98. Machine() plants
// shared-DLL counts and font values named after the sandbox; TakeSnapshot includes them.
class E2eTest : public ::testing::Test {
  protected:
    E2eTest() : sandbox_(CurrentTestName()), machine_(sandbox_.folder().path()) {}

    void SetUp() override { ASSERT_TRUE(sandbox_.ok()) << sandbox_.error(); }

    void TearDown() override {
        std::string why;
        EXPECT_TRUE(sandbox_.CanariesAlive(&why)) << why;
    }

    // A new installation with the standard content: app.txt, Data\data.bin and the value Path in
    // its key; its uninstaller runs as a member of `family`.
    e2e::Installation& NewInstallation(testing_support::Family family = testing_support::Family::kNt) {
        e2e::Installation& app = sandbox_.NewInstallation();
        EXPECT_TRUE(app.AddFile("app.txt", "installed"));
        EXPECT_TRUE(app.AddFile("Data\\data.bin", "installed"));
        EXPECT_TRUE(app.AddValue("Path", app.folder()));
        EXPECT_TRUE(app.UseFamily(family));
        return app;
    }

    // The block of an installation's standard content: its files, its key and the test messages.
    static format::Block InstallationBlock(const e2e::Installation& app) {
        format::Block block;
        block.messages = TestMessages();
        block.files = {{".\\", "app.txt", 0}, {".\\Data", "data.bin", 0}, {".\\Data", "", 0}};
        block.registry = {{kHkcu, app.keyPath()}};
        return block;
    }

    void Place(const e2e::Installation& app, const format::Bytes& block) {
        std::string error;
        ASSERT_TRUE(e2e::PlaceUninstaller(app.uninstaller(), block, &error)) << error;
    }

    void PlaceRaw(const e2e::Installation& app, std::optional<uint32_t> field, const format::Bytes& tail) {
        std::string error;
        ASSERT_TRUE(e2e::PlaceUninstallerRaw(app.uninstaller(), field, tail, &error)) << error;
    }

    // Runs the placed uninstaller; a run that cannot start or has to be terminated fails the test.
    e2e::RunResult Run(const e2e::Installation& app, const std::string& arguments,
                       robot::Responder responder) {
        e2e::RunResult result =
            e2e::RunWithRobot(app.uninstaller(), arguments, sandbox_.root(), std::move(responder));
        EXPECT_TRUE(result.started) << result.error;
        EXPECT_FALSE(result.timedOut) << result.error << "\n" << result.Describe();
        return result;
    }

    // Machine-wide values of this sandbox (HKLM SharedDLLs and Fonts), removed at both ends.
    testing_support::MachineValues& Machine() { return machine_; }

    // The sandbox's folder tree ("App1\app.txt", "canary.txt"), its key ("HKCU:App1\@Path") and the
    // machine-wide values named after it ("SharedDLLs:@<path>", "Fonts:@<name> (TrueType)",
    // "9x Fonts:@...").
    testing_support::Snapshot TakeSnapshot() const {
        using namespace testing_support;
        Snapshot snapshot = SnapshotFolder(sandbox_.folder().path());
        Add(snapshot, SnapshotKey(HKEY_CURRENT_USER, sandbox_.keyPath(), "HKCU:"));
        Add(snapshot,
            SnapshotValues(HKEY_LOCAL_MACHINE, kSharedDllsKey, machine_.SharedDllPrefix(), "SharedDLLs:"));
        Add(snapshot, SnapshotValues(HKEY_LOCAL_MACHINE, kNtFontsKey, machine_.FontPrefix(), "Fonts:"));
        Add(snapshot, SnapshotValues(HKEY_LOCAL_MACHINE, k9xFontsKey, machine_.FontPrefix(), "9x Fonts:"));
        return snapshot;
    }

    // Compares the sandbox now with `before`: exactly the expected items changed, nothing else.
    void ExpectChanges(const testing_support::Snapshot& before, const testing_support::Expected& expected) {
        std::string surprises = testing_support::Unexpected(before, TakeSnapshot(), expected);
        EXPECT_TRUE(surprises.empty())
            << "the sandbox " << sandbox_.root() << " changed otherwise than expected:\n"
            << surprises;
    }

    // Waits for the run's self-delete: the run and its batch ended, the executable and its folder gone.
    void ExpectSelfDeleted(e2e::RunResult& run, const e2e::Installation& app) {
        std::string why;
        EXPECT_TRUE(e2e::WaitForSelfDelete(run, app.uninstaller(), e2e::kSelfDeleteTimeoutMs, &why)) << why;
    }

    e2e::Sandbox sandbox_;
    testing_support::MachineValues machine_;
};

}  // namespace e2e_test
