// End-to-end runs of the real uninstaller: a sandbox folder and key of one test's own, with
// canaries; installations in it, each with its own folder, key and executable name; runs under the
// robot, in a job, with a timeout; the wait for the self-deleting batch. Windows only; free of the
// test framework so that benchmarks can use it too (tests use e2e/e2e_fixture.h).
//
// Usage:
//   e2e::Sandbox sandbox("Suite.Test");                  // %TEMP%\uninst-...\ and
//   HKCU\Software\UninstE2E\... e2e::Installation& app = sandbox.NewInstallation(); // <root>App1\, key
//   ...\App1, "un<pid>-1.exe" app.AddFile("Data\\a.txt", "x");  app.UseFamily(Family::k9x);   // Wine reports
//   Windows 98 to it PlaceUninstaller(app.uninstaller(), block, &error); RunResult run =
//   RunWithRobot(app.uninstaller(), "/S", sandbox.root(), robot::AnswerInOrder({})); WaitForSelfDelete(run,
//   app.uninstaller(), kSelfDeleteTimeoutMs, &why);   // batch ended, all gone
// Every run is in a job (support/helper_programs.h): what it starts, the batch's interpreter
// included, is ended when the RunResult goes, so no sandbox is removed under a running batch.
#pragma once

#ifdef _WIN32

#include <windows.h>

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "format/block_writer.h"
#include "support/helper_programs.h"
#include "support/registry.h"
#include "support/robot.h"
#include "support/sandbox.h"

namespace e2e {

using testing_support::Family;

// One run of the uninstaller takes 1-5 s, also under an emulated 32-bit loader on a loaded machine;
// a run still going after this long hangs.
inline constexpr DWORD kRunTimeoutMs = 60000;
inline constexpr DWORD kSelfDeleteTimeoutMs = 30000;
inline constexpr char kKeyBase[] = "Software\\UninstE2E";
// Where Wine looks up the Windows version it reports to one executable, by file name.
inline constexpr char kAppDefaultsKey[] = "Software\\Wine\\AppDefaults";

// One installation: a folder (empty when made) below the sandbox, a key below the sandbox's key,
// and the name its uninstaller is placed under, unique among the tests that run at the same time.
// The per-executable Windows version it sets is removed when it goes.
class Installation {
  public:
    Installation(std::string folder, std::string keyPath, std::string exeName);
    ~Installation();
    Installation(const Installation&) = delete;
    Installation& operator=(const Installation&) = delete;

    const std::string& folder() const { return folder_; }  // with a trailing backslash
    const std::string& exeName() const { return exeName_; }
    std::string uninstaller() const { return folder_ + exeName_; }
    std::string Path(const std::string& relative) const { return folder_ + relative; }
    const std::string& keyPath() const { return keyPath_; }  // relative to HKEY_CURRENT_USER

    // Writes a file (and its folders) below the installation folder, optionally read-only.
    [[nodiscard]] bool AddFile(const std::string& relativePath, const std::string& content,
                               bool readOnly = false);
    [[nodiscard]] bool AddFileBytes(const std::string& relativePath, const std::vector<uint8_t>& content);
    // Writes a string value into the installation's key, making the key.
    [[nodiscard]] bool AddValue(const std::string& name, const std::string& value);
    // The Windows version Wine reports to this executable ("win98", "winxp", ...), set under
    // HKCU\Software\Wine\AppDefaults\<exe name>.
    [[nodiscard]] bool SetWindowsVersion(const char* version);
    // Runs the uninstaller as a member of `family`: win98 for the 9x family, Wine's default for NT.
    [[nodiscard]] bool UseFamily(Family family);

  private:
    std::string folder_, keyPath_, exeName_;
};

// A folder under the temporary folder and a key under HKEY_CURRENT_USER\Software\UninstE2E, both
// named after `name` and this process, removed when made and when the object goes. The folder
// holds a canary file, the key a canary subkey; nothing an uninstall does may touch them.
class Sandbox {
  public:
    explicit Sandbox(const std::string& name);
    ~Sandbox();
    Sandbox(const Sandbox&) = delete;
    Sandbox& operator=(const Sandbox&) = delete;

    bool ok() const { return error_.empty(); }
    const std::string& error() const { return error_; }

    const std::string& root() const { return root_; }  // with a trailing backslash
    const testing_support::Sandbox& folder() const { return folder_; }
    const std::string& keyPath() const { return key_.path(); }  // relative to HKEY_CURRENT_USER

    // A new, empty installation: root + "App<n>\", keyPath + "\App<n>", uninstaller "un<pid>-<n>.exe".
    Installation& NewInstallation();

    // True while the canary file and key are there with their contents; `why` says what is gone.
    [[nodiscard]] bool CanariesAlive(std::string* why) const;

  private:
    testing_support::Sandbox folder_;
    testing_support::ScopedKey key_;
    std::string root_, error_;
    std::vector<std::unique_ptr<Installation>> installations_;
};

// The stub named by the environment variable UNINST_STUB (or `stubPath` when given), or nothing
// (with `error`).
std::optional<format::Bytes> ReadStub(std::string* error, const std::string& stubPath = {});

// The stubs this test build can start: its own (UNINST_STUB) first and, when that is another build
// of the same tree, the shipped i686 one beside it (BUILD\win32\uninst.exe), each once.
std::vector<std::string> StubPaths();

// Writes a copy of the stub (UNINST_STUB, or `stubPath`) to `path` with `block` attached and the
// data-offset field pointing at it.
[[nodiscard]] bool PlaceUninstaller(const std::string& path, const format::Bytes& block, std::string* error,
                                    const std::string& stubPath = {});
// Writes a copy of the stub to `path` with the field set to `field` (kept as built when absent: the
// stub's own size) and `tail` appended as it is.
[[nodiscard]] bool PlaceUninstallerRaw(const std::string& path, std::optional<uint32_t> field,
                                       const format::Bytes& tail, std::string* error);
// Writes `image` (a stub the test has changed as it needs) to `path`.
[[nodiscard]] bool PlaceUninstallerImage(const std::string& path, const format::Bytes& image,
                                         std::string* error);

struct RunResult {
    bool started = false;
    bool timedOut = false;  // the child was terminated after the timeout
    int exitCode = 0;
    std::string error;
    std::vector<robot::SeenWindow> windows;  // every window seen, in order
    // The job of the run: the program and everything it started. Its processes end when the last
    // copy of the result goes.
    std::shared_ptr<testing_support::ProcessJob> job;

    std::vector<robot::SeenWindow> MessageBoxes() const;
    std::string Describe() const;  // all windows, for failure messages
};

// Starts `exe` with `arguments` (current folder: `folder`) in a job, answers its windows with
// `responder` while it runs, and waits for it; a program still running after `timeoutMs` is
// terminated with everything it started.
RunResult RunWithRobot(const std::string& exe, const std::string& arguments, const std::string& folder,
                       robot::Responder responder, DWORD timeoutMs = kRunTimeoutMs);

// Waits until every process of the run has ended (the program, the batch it left, anything that
// started); false with `why` when some still ran after `timeoutMs`: those are ended.
[[nodiscard]] bool WaitForRunToEnd(RunResult& run, DWORD timeoutMs, std::string* why);
// The self-delete: waits for the run to end as above, then polls (bounded) until the executable
// `exe` and its folder are gone; false with `why` naming what is still there or still running.
[[nodiscard]] bool WaitForSelfDelete(RunResult& run, const std::string& exe, DWORD timeoutMs,
                                     std::string* why);

}  // namespace e2e

#endif  // _WIN32
