// A signed uninstaller runs as the unsigned one: built and signed by the host build's packer
// (`uninstpack build --sign-with`, osslsigncode on the Unix side) with a throwaway certificate, its
// signature verified, then run with /S: exactly what its block lists goes, the canaries stay, and
// the certificate table after the block is never read as records.
#include <gtest/gtest.h>
#include <nlohmann/json.hpp>

#include "e2e/e2e_fixture.h"
#include "support/sandbox.h"
#include "support/unix_side.h"

namespace e2e_test {
namespace {

using testing_support::ItemsUnder;
using testing_support::UnixPath;

// The exit code by which the script says that a tool it needs is not installed.
constexpr char kToolMissing[] = "exited with 77";

class SignedUninstaller : public E2eTest {};

TEST_F(SignedUninstaller, RunsWithSlashSAndRemovesWhatItsBlockLists) {
    e2e::Installation& app = NewInstallation();
    // The signing material and the manifest live outside the sandbox the snapshot covers.
    testing_support::Sandbox work("signing");
    ASSERT_TRUE(work.ok()) << work.error();
    using Json = nlohmann::json;
    Json files = Json::array({Json::object({{"folder", ".\\"}, {"name", "app.txt"}}),
                              Json::object({{"folder", ".\\Data"}}),
                              Json::object({{"folder", ".\\Data"}, {"name", "data.bin"}})});
    Json registry = Json::array({Json::object({{"root", "HKCU"}, {"key", app.keyPath()}})});
    Json manifest = Json::object({{"files", files}, {"registry", registry}});
    ASSERT_TRUE(testing_support::WriteFileText(work.Path("app.json"), manifest.dump(2)));
    const char* stubVariable = getenv("UNINST_STUB");
    ASSERT_NE(stubVariable, nullptr) << "the Windows tests run with UNINST_STUB set by CTest";
    std::string packer = UnixPath(testing_support::BuildFolder() + "..\\host\\uninstpack");
    std::string stub = UnixPath(stubVariable), folder = UnixPath(work.path()),
                exe = UnixPath(app.uninstaller());
    ASSERT_FALSE(packer.empty() || stub.empty() || folder.empty() || exe.empty()) << "no Unix paths here";

    std::string why;
    bool signedAndVerified = testing_support::RunUnixShell(
        "command -v openssl >/dev/null && command -v osslsigncode >/dev/null || exit 77; cd '" + folder +
            "' && openssl req -x509 -newkey rsa:2048 -nodes -keyout key.pem -out cert.pem -days 2 "
            "-subj '/CN=uninst e2e signer' >openssl.log 2>&1 && printf 'e2e secret' > password.txt && "
            "openssl pkcs12 -export -inkey key.pem -in cert.pem -out cert.pfx -passout file:password.txt "
            ">>openssl.log 2>&1 && '" +
            packer + "' build app.json --stub '" + stub + "' -o '" + exe +
            "' --sign-with cert.pfx --password-file password.txt >build.log 2>&1 && osslsigncode verify "
            "-CAfile "
            "cert.pem -in '" +
            exe + "' >verify.log 2>&1",
        &why, 120000);
    if (!signedAndVerified && why.find(kToolMissing) != std::string::npos) {
        GTEST_SKIP() << "openssl or osslsigncode is not installed (scripts/install-deps.sh installs both)";
    }
    if (!signedAndVerified && why.find("cannot be started") != std::string::npos) GTEST_SKIP() << why;
    ASSERT_TRUE(signedAndVerified) << why << "\nopenssl: "
                                   << testing_support::ReadFileText(work.Path("openssl.log")).value_or("")
                                   << "\nbuild: "
                                   << testing_support::ReadFileText(work.Path("build.log")).value_or("")
                                   << "\nverify: "
                                   << testing_support::ReadFileText(work.Path("verify.log")).value_or("");
    std::string built = testing_support::ReadFileText(work.Path("build.log")).value_or("");
    EXPECT_NE(built.find("signed: Authenticode certificate table"), std::string::npos) << built;

    testing_support::Snapshot before = TakeSnapshot();
    e2e::RunResult run = Run(app, "/S", robot::AnswerInOrder({}));
    ASSERT_TRUE(e2e::WaitForRunToEnd(run, e2e::kRunTimeoutMs, &why)) << why;
    EXPECT_EQ(run.exitCode, 0) << run.Describe();
    EXPECT_TRUE(run.MessageBoxes().empty()) << run.Describe();
    std::set<std::string> removed = ItemsUnder(before, "HKCU:App1\\");
    removed.insert({"App1\\app.txt", "App1\\Data\\data.bin", "App1\\Data\\"});
    ExpectChanges(before, {.removed = removed});
}

}  // namespace
}  // namespace e2e_test
