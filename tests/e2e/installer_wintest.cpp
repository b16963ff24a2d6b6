// The worked example of docs/installer-guide.md, end to end: examples/installer/install.bat, with
// the uninstaller packed from its manifest by the host build's packer (on the Unix side, as an
// author packs it), installs Example App into the sandbox as a plain batch file does on Windows;
// then the quiet uninstall command it registered is read back from the Uninstall key, as a
// deployment tool reads it, and run. Afterwards the sandbox, the Uninstall key and the shared-DLL
// counts are as they were before the installation; only the empty vendor key is left, and the
// empty vendor folder when the installation went below one.
// The shipped i686 uninstaller is the one installed; in the x86-64 test run the installer
// re-starts itself as a 32-bit program, so this also runs the 64-bit Windows case (WOW64:
// HKLM\Software in the 32-bit view, the 32-bit command interpreter and reg.exe).
#include <cstring>
#include <gtest/gtest.h>
#include <ostream>
#include <set>

#include "common/scope_exit.h"
#include "e2e/e2e_fixture.h"
#include "support/sandbox.h"
#include "support/unix_side.h"

namespace e2e_test {
namespace {

using testing_support::ItemsUnder;
using testing_support::ReadValue;
using testing_support::RegValue;
using testing_support::UnixPath;

constexpr char kUninstallKey[] = "Microsoft\\Windows\\CurrentVersion\\Uninstall";
constexpr char kProductUninstallKey[] = "Microsoft\\Windows\\CurrentVersion\\Uninstall\\Example App";
constexpr char kVendorKey[] = "Example Co";
constexpr char kAppKey[] = "Example Co\\Example App";
constexpr char kSharedDlls[] = "Microsoft\\Windows\\CurrentVersion\\SharedDLLs";

bool IsI386Image(const format::Bytes& image) {
    uint32_t at = 0;
    if (image.size() < 0x40) return false;
    std::memcpy(&at, image.data() + 0x3C, sizeof(at));
    if (at > image.size() - 6 || std::memcmp(image.data() + at, "PE\0\0", 4) != 0) return false;
    WORD machine = 0;
    std::memcpy(&machine, image.data() + at + 4, sizeof(machine));
    return machine == IMAGE_FILE_MACHINE_I386;
}

// The shipped i686 stub among those this test build can start, or empty.
std::string ShippedStub() {
    for (const std::string& path : e2e::StubPaths()) {
        std::string error;
        std::optional<format::Bytes> image = e2e::ReadStub(&error, path);
        if (image && IsI386Image(*image)) return path;
    }
    return "";
}

// HKLM\Software as a 32-bit program sees it: the 32-bit view on 64-bit Windows, the only one otherwise.
class Software32 {
  public:
    Software32() {
        if (RegOpenKeyExA(HKEY_LOCAL_MACHINE, "Software", 0, KEY_ALL_ACCESS | KEY_WOW64_32KEY, &key_) !=
            ERROR_SUCCESS) {
            key_ = nullptr;
        }
    }
    ~Software32() {
        if (key_) RegCloseKey(key_);
    }
    Software32(const Software32&) = delete;
    Software32& operator=(const Software32&) = delete;
    HKEY get() const { return key_; }

  private:
    HKEY key_ = nullptr;
};

// "program" arguments as the shell splits a registered command: a quoted program, then the rest.
bool SplitCommand(const std::string& command, std::string* program, std::string* arguments) {
    if (command.size() < 2 || command[0] != '"') return false;
    size_t close = command.find('"', 1);
    if (close == std::string::npos) return false;
    *program = command.substr(1, close - 1);
    size_t rest = command.find_first_not_of(' ', close + 1);
    *arguments = rest == std::string::npos ? "" : command.substr(rest);
    return true;
}

std::string Text(const std::optional<RegValue>& value) {
    if (!value || (value->type != REG_SZ && value->type != REG_EXPAND_SZ) || value->data.empty())
        return "<none>";
    return std::string(value->data.begin(), value->data.end() - 1);
}

std::optional<uint32_t> Dword(const std::optional<RegValue>& value) {
    if (!value || value->type != REG_DWORD || value->data.size() != 4) return std::nullopt;
    uint32_t n = 0;
    std::memcpy(&n, value->data.data(), 4);
    return n;
}

// The bytes of every file below `folder`, as install.bat's "for /r" adds them up (it sees no
// hidden or system files; the installation has none).
uint64_t BytesBelow(const std::string& folder) {
    uint64_t total = 0;
    WIN32_FIND_DATAA found;
    HANDLE find = FindFirstFileA((folder + "\\*").c_str(), &found);
    if (find == INVALID_HANDLE_VALUE) return 0;
    do {
        std::string name = found.cFileName;
        if (name == "." || name == "..") continue;
        if (found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) {
            total += BytesBelow(folder + "\\" + name);
        } else {
            total += (uint64_t{found.nFileSizeHigh} << 32) | found.nFileSizeLow;
        }
    } while (FindNextFileA(find, &found));
    FindClose(find);
    return total;
}

// The source tree of this build (a Unix path), from the build's CMake cache.
std::string SourceTree() {
    std::optional<std::string> cache =
        testing_support::ReadFileText(testing_support::BuildFolder() + "CMakeCache.txt");
    if (!cache) return "";
    const std::string key = "\nCMAKE_HOME_DIRECTORY:INTERNAL=";
    size_t at = cache->find(key);
    if (at == std::string::npos) return "";
    size_t end = cache->find_first_of("\r\n", at + key.size());
    std::string tree =
        cache->substr(at + key.size(), end == std::string::npos ? std::string::npos : end - at - key.size());
    return tree.find('\'') == std::string::npos ? tree : "";  // quoted in single quotes for the shell
}

// Where the installation goes below the sandbox (as below Program Files), and the folders the run
// leaves: the self-deleting batch removes the install folder, not a vendor folder above it.
struct Layout {
    const char* name;
    const char* installFolder;
    std::set<std::string> leftFolders;
};

void PrintTo(const Layout& layout, std::ostream* out) {
    *out << layout.installFolder;
}

// Serial: every case writes the same machine-wide keys.
class ExampleInstallerSerial : public E2eTest, public ::testing::WithParamInterface<Layout> {};

TEST_P(ExampleInstallerSerial, InstallsAndTheRegisteredQuietUninstallLeavesNothingBehind) {
    std::string stub = ShippedStub();
    if (stub.empty())
        GTEST_SKIP() << "the example installs the shipped i686 uninstaller, which this test build lacks";
    Software32 software;
    ASSERT_NE(software.get(), nullptr) << "cannot open HKLM\\Software (32-bit view) for writing";
    // The example's keys are the machine's, not the sandbox's: none may be there before, and none
    // stays after a failed run.
    auto cleanUp = [&software] {
        testing_support::DeleteKeyTree(software.get(), kProductUninstallKey);
        testing_support::DeleteKeyTree(software.get(), kAppKey);
        // The vendor key, which the test made: only when it is empty (a first-level key is never
        // deleted as a tree).
        RegDeleteKeyA(software.get(), kVendorKey);
    };
    ASSERT_FALSE(testing_support::KeyExists(software.get(), kVendorKey))
        << "HKLM\\Software\\Example Co exists already";
    ASSERT_FALSE(testing_support::KeyExists(software.get(), kProductUninstallKey))
        << "Example App is registered already";
    ScopeExit removeKeys(cleanUp);

    // The author's side: the example folder copied as it ships, the uninstaller packed beside install.bat.
    testing_support::Sandbox work("example-installer");
    ASSERT_TRUE(work.ok()) << work.error();
    std::string packer = UnixPath(testing_support::BuildFolder() + "..\\host\\uninstpack");
    std::string tree = SourceTree();
    std::string stubUnix = UnixPath(stub), folder = UnixPath(work.path());
    ASSERT_FALSE(packer.empty() || stubUnix.empty() || folder.empty()) << "no Unix paths here";
    ASSERT_FALSE(tree.empty()) << "no CMAKE_HOME_DIRECTORY in " << testing_support::BuildFolder()
                               << "CMakeCache.txt";
    std::string why;
    ASSERT_TRUE(testing_support::RunUnixShell(
        "cp -R '" + tree + "/examples/installer/.' '" + folder + "/' && cd '" + folder + "' && '" + packer +
            "' build example-app.json --stub '" + stubUnix + "' -o uninstall.exe >build.log 2>&1",
        &why))
        << why << "\n"
        << testing_support::ReadFileText(work.Path("build.log")).value_or("");

    std::string target = sandbox_.root() + GetParam().installFolder;
    testing_support::Snapshot before = TakeSnapshot();
    testing_support::Add(before, testing_support::SnapshotKey(software.get(), kUninstallKey, "Uninstall:"));
    testing_support::Add(before, testing_support::SnapshotValues(software.get(), kSharedDlls, sandbox_.root(),
                                                                 "SharedDLLs32:"));

    // The installer, as an administrator starts it.
    char system[MAX_PATH] = {};
    ASSERT_GT(GetSystemDirectoryA(system, MAX_PATH), 0u);
    std::string cmd = std::string(system) + "\\cmd.exe";
    e2e::RunResult install =
        e2e::RunWithRobot(cmd, "/d /c \"\"" + work.Path("install.bat") + "\" \"" + target + "\"\"",
                          work.path(), robot::AnswerInOrder({}));
    ASSERT_TRUE(install.started) << install.error;
    ASSERT_FALSE(install.timedOut) << install.error;
    ASSERT_EQ(install.exitCode, 0) << "install.bat failed";
    // Run again over itself (a repair): the shared file is counted once for this installation.
    e2e::RunResult again =
        e2e::RunWithRobot(cmd, "/d /c \"\"" + work.Path("install.bat") + "\" \"" + target + "\\\"\"",
                          work.path(), robot::AnswerInOrder({}));
    ASSERT_TRUE(again.started) << again.error;
    ASSERT_FALSE(again.timedOut) << again.error;
    ASSERT_EQ(again.exitCode, 0) << "install.bat failed the second time";

    // What the guide says the installer writes.
    for (const char* file :
         {"example.exe", "readme.txt", "Data\\default.ini", "Common\\example-runtime.dll", "uninstall.exe"}) {
        EXPECT_TRUE(testing_support::Exists(target + "\\" + file)) << file;
    }
    HKEY sw = software.get();
    std::string exe = target + "\\uninstall.exe";
    EXPECT_EQ(Text(ReadValue(sw, kProductUninstallKey, "DisplayName")), "Example App");
    EXPECT_EQ(Text(ReadValue(sw, kProductUninstallKey, "UninstallString")), "\"" + exe + "\"");
    EXPECT_EQ(Text(ReadValue(sw, kProductUninstallKey, "DisplayIcon")), exe + ",0");
    EXPECT_EQ(Text(ReadValue(sw, kProductUninstallKey, "InstallLocation")), target);
    EXPECT_EQ(Dword(ReadValue(sw, kProductUninstallKey, "NoModify")), 1u);
    EXPECT_EQ(Dword(ReadValue(sw, kProductUninstallKey, "NoRepair")), 1u);
    // The files' sizes in KB, rounded up: the installed files (the uninstaller among them) and
    // nothing else yet.
    std::optional<uint32_t> size = Dword(ReadValue(sw, kProductUninstallKey, "EstimatedSize"));
    ASSERT_TRUE(size.has_value());
    uint64_t bytes = BytesBelow(target);
    EXPECT_GT(bytes, BytesBelow(target + "\\Data")) << "the uninstaller and the other files count too";
    EXPECT_EQ(*size, (bytes + 1023) / 1024);
    EXPECT_EQ(Dword(ReadValue(sw, kSharedDlls, target + "\\Common\\example-runtime.dll")), 1u);
    EXPECT_EQ(Text(ReadValue(sw, kAppKey, "InstallDir")), target);
    // The program ran once and wrote a log, which the clean-up pattern removes.
    ASSERT_TRUE(testing_support::MakeFolders(target + "\\Logs"));
    ASSERT_TRUE(testing_support::WriteFileText(target + "\\Logs\\first-run.log", "started"));

    // The uninstall a deployment tool runs: the registered quiet command, as registered.
    std::string quiet = Text(ReadValue(sw, kProductUninstallKey, "QuietUninstallString"));
    EXPECT_EQ(quiet, "\"" + exe + "\" /Q");
    std::string program, arguments;
    ASSERT_TRUE(SplitCommand(quiet, &program, &arguments)) << quiet;
    e2e::RunResult run = e2e::RunWithRobot(program, arguments, work.path(), robot::AnswerInOrder({}));
    ASSERT_TRUE(run.started) << run.error;
    EXPECT_FALSE(run.timedOut) << run.error << "\n" << run.Describe();
    EXPECT_EQ(run.exitCode, 0) << run.Describe();
    EXPECT_TRUE(run.windows.empty()) << "a quiet uninstall shows nothing:\n" << run.Describe();
    // /Q removes the uninstaller and the install folder through its batch.
    ASSERT_TRUE(e2e::WaitForSelfDelete(run, exe, e2e::kSelfDeleteTimeoutMs, &why)) << why;

    testing_support::Snapshot after = TakeSnapshot();
    testing_support::Add(after, testing_support::SnapshotKey(sw, kUninstallKey, "Uninstall:"));
    testing_support::Add(after,
                         testing_support::SnapshotValues(sw, kSharedDlls, sandbox_.root(), "SharedDLLs32:"));
    std::string surprises = testing_support::Unexpected(before, after, {.added = GetParam().leftFolders});
    EXPECT_TRUE(surprises.empty()) << "not as before the installation:\n" << surprises;
    EXPECT_FALSE(testing_support::Exists(target));
    EXPECT_FALSE(testing_support::KeyExists(sw, kAppKey));
    // The uninstaller removes listed keys only; the vendor key above the product's stays, empty.
    EXPECT_TRUE(testing_support::SubkeyNames(sw, kVendorKey).empty());
    EXPECT_TRUE(testing_support::ValueNames(sw, kVendorKey).empty());
}

INSTANTIATE_TEST_SUITE_P(
    Layouts, ExampleInstallerSerial,
    ::testing::Values(Layout{"OwnFolder", "Example App", {}},
                      Layout{"BelowAVendorFolder", "Example Co\\Example App", {"Example Co\\"}}),
    [](const ::testing::TestParamInfo<Layout>& info) { return std::string(info.param.name); });

}  // namespace
}  // namespace e2e_test
