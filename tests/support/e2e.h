// End-to-end runs of the real uninstaller: a sandbox folder and key of one test's own, the stub
// copied into it with the test's block attached, and a run under the robot with a timeout.
// Windows only; free of the test framework so that benchmarks can use it too.
#pragma once

#ifdef _WIN32

#include <windows.h>

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "format/block_writer.h"
#include "support/robot.h"

namespace e2e {

inline constexpr DWORD kRunTimeoutMs = 30000;
inline constexpr char kKeyBase[] = "Software\\UninstE2E";

// A folder under the temporary folder and a key under HKEY_CURRENT_USER\Software\UninstE2E, both
// named after `name` and this process, removed when made and when the object goes. The folder
// holds the installation folder "App" and, beside it, a canary file; the key holds a canary
// subkey. Nothing an uninstall does to the installation may touch the canaries.
class Sandbox {
  public:
    explicit Sandbox(const std::string& name);
    ~Sandbox();
    Sandbox(const Sandbox&) = delete;
    Sandbox& operator=(const Sandbox&) = delete;

    bool ok() const { return error_.empty(); }
    const std::string& error() const { return error_; }

    const std::string& root() const { return root_; }              // with a trailing backslash
    const std::string& installFolder() const { return install_; }  // root + "App\"
    std::string uninstaller() const { return install_ + "uninst.exe"; }
    const std::string& keyPath() const { return key_; }  // relative to HKEY_CURRENT_USER
    std::string installKeyPath() const { return key_ + "\\App"; }

    // Writes a file (and its folders) below the installation folder.
    [[nodiscard]] bool InstallFile(const std::string& relativePath, const std::string& content);
    // Writes a string value into the installation's key (installKeyPath), making the key.
    [[nodiscard]] bool InstallValue(const std::string& name, const std::string& value);
    // True while the canary file and key are there with their contents; `why` says what is gone.
    [[nodiscard]] bool CanariesAlive(std::string* why) const;

  private:
    void Remove();

    std::string root_, install_, key_, error_;
};

// The stub named by the environment variable UNINST_STUB, or nothing (with `error`).
std::optional<format::Bytes> ReadStub(std::string* error);

// Writes a copy of the stub to `path` with `block` attached and the data-offset field pointing at it.
[[nodiscard]] bool PlaceUninstaller(const std::string& path, const format::Bytes& block, std::string* error);
// Writes a copy of the stub to `path` with the field set to `field` (kept as built when absent: the
// stub's own size) and `tail` appended as it is.
[[nodiscard]] bool PlaceUninstallerRaw(const std::string& path, std::optional<uint32_t> field,
                                       const format::Bytes& tail, std::string* error);
// Writes `image` (a stub the test has changed as it needs) to `path`.
[[nodiscard]] bool PlaceUninstallerImage(const std::string& path, const format::Bytes& image, std::string* error);

struct RunResult {
    bool started = false;
    bool timedOut = false;  // the child was terminated after the timeout
    int exitCode = 0;
    std::string error;
    std::vector<robot::SeenWindow> windows;  // every window seen, in order

    std::vector<robot::SeenWindow> MessageBoxes() const;
    std::string Describe() const;  // all windows, for failure messages
};

// Starts `exe` with `arguments` (current folder: `folder`), answers its windows with `responder`
// while it runs, and waits for it; a child still running after `timeoutMs` is terminated.
RunResult RunWithRobot(const std::string& exe, const std::string& arguments, const std::string& folder,
                       robot::Responder responder, DWORD timeoutMs = kRunTimeoutMs);

}  // namespace e2e

#endif  // _WIN32
