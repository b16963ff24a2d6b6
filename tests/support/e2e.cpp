#include "support/e2e.h"

#ifdef _WIN32

#include <cstdlib>
#include <utility>

namespace e2e {

namespace {

using testing_support::RegValue;

const char kCanaryFile[] = "canary.txt";
const char kCanaryContent[] = "beside the installation: must survive";
const char kCanaryKey[] = "Canary";
const char kCanaryValue[] = "alive";

constexpr DWORD kPollMs = 20;

bool WriteImage(const std::string& path, const format::Bytes& image, std::string* error) {
    if (testing_support::WriteFileBytes(path, image.data(), image.size())) return true;
    if (error) *error = "cannot write " + path;
    return false;
}

}  // namespace

Installation::Installation(std::string folder, std::string keyPath, std::string exeName)
    : folder_(std::move(folder)), keyPath_(std::move(keyPath)), exeName_(std::move(exeName)) {
    testing_support::DeleteKeyTree(HKEY_CURRENT_USER, std::string(kAppDefaultsKey) + "\\" + exeName_);
}

Installation::~Installation() {
    testing_support::DeleteKeyTree(HKEY_CURRENT_USER, std::string(kAppDefaultsKey) + "\\" + exeName_);
}

bool Installation::AddFile(const std::string& relativePath, const std::string& content, bool readOnly) {
    return testing_support::PlaceFile(folder_ + relativePath, content, readOnly);
}

bool Installation::AddFileBytes(const std::string& relativePath, const std::vector<uint8_t>& content) {
    std::string path = folder_ + relativePath;
    return testing_support::MakeFolders(testing_support::FolderOf(path)) &&
           testing_support::WriteFileBytes(path, content.data(), content.size());
}

bool Installation::AddValue(const std::string& name, const std::string& value) {
    return testing_support::SetValue(HKEY_CURRENT_USER, keyPath_, name, RegValue::String(value));
}

bool Installation::SetWindowsVersion(const char* version) {
    return testing_support::SetValue(HKEY_CURRENT_USER, std::string(kAppDefaultsKey) + "\\" + exeName_,
                                     "Version", RegValue::String(version));
}

bool Installation::UseFamily(Family family) {
    if (family == Family::k9x) return SetWindowsVersion("win98");
    return testing_support::DeleteKeyTree(HKEY_CURRENT_USER, std::string(kAppDefaultsKey) + "\\" + exeName_);
}

Sandbox::Sandbox(const std::string& name)
    : folder_("e2e-" + name),
      key_(HKEY_CURRENT_USER, std::string(kKeyBase) + "\\" + std::to_string(GetCurrentProcessId()) + "-" +
                                  testing_support::SafeName(name, 80)) {
    if (!folder_.ok()) {
        error_ = folder_.error();
        return;
    }
    root_ = folder_.path() + "\\";
    if (!folder_.Write(kCanaryFile, kCanaryContent) ||
        !testing_support::SetValue(HKEY_CURRENT_USER, key_.path() + "\\" + kCanaryKey, kCanaryValue,
                                   RegValue::String(kCanaryContent))) {
        error_ = "cannot plant the canaries in " + root_ + " and HKCU\\" + key_.path();
    }
}

// The installations go first: their Windows-version keys are removed before the sandbox is.
Sandbox::~Sandbox() {
    installations_.clear();
}

Installation& Sandbox::NewInstallation() {
    static int executables = 0;
    std::string number = std::to_string(installations_.size() + 1);
    std::string folder = root_ + "App" + number + "\\";
    testing_support::MakeFolders(folder);
    std::string exeName =
        "un" + std::to_string(GetCurrentProcessId()) + "-" + std::to_string(++executables) + ".exe";
    installations_.push_back(std::make_unique<Installation>(folder, key_.path() + "\\App" + number, exeName));
    return *installations_.back();
}

bool Sandbox::CanariesAlive(std::string* why) const {
    auto content = testing_support::ReadFileText(root_ + kCanaryFile);
    if (!content || *content != kCanaryContent) {
        if (why) *why = "the canary file " + root_ + kCanaryFile + " is gone or changed";
        return false;
    }
    auto value = testing_support::ReadValue(HKEY_CURRENT_USER, key_.path() + "\\" + kCanaryKey, kCanaryValue);
    if (!value || !(*value == RegValue::String(kCanaryContent))) {
        if (why) *why = "the canary key HKCU\\" + key_.path() + "\\" + kCanaryKey + " is gone or changed";
        return false;
    }
    return true;
}

std::optional<format::Bytes> ReadStub(std::string* error, const std::string& stubPath) {
    const char* path = stubPath.empty() ? getenv("UNINST_STUB") : stubPath.c_str();
    if (!path || !*path) {
        if (error) *error = "UNINST_STUB is not set";
        return std::nullopt;
    }
    auto stub = testing_support::ReadFileBytes(path);
    if (!stub || stub->empty()) {
        if (error) *error = std::string("cannot read the stub ") + path;
        return std::nullopt;
    }
    return format::Bytes(stub->begin(), stub->end());
}

std::vector<std::string> StubPaths() {
    std::vector<std::string> paths;
    const char* stub = getenv("UNINST_STUB");
    if (!stub || !*stub) return paths;
    paths.push_back(stub);
    std::string path = stub;
    size_t cut = path.rfind('\\');
    size_t tree = cut == std::string::npos || cut == 0 ? std::string::npos : path.rfind('\\', cut - 1);
    if (tree != std::string::npos) {
        std::string shipped = path.substr(0, tree) + "\\win32\\uninst.exe";
        if (lstrcmpiA(shipped.c_str(), stub) != 0 &&
            GetFileAttributesA(shipped.c_str()) != INVALID_FILE_ATTRIBUTES) {
            paths.push_back(shipped);
        }
    }
    return paths;
}

bool PlaceUninstaller(const std::string& path, const format::Bytes& block, std::string* error,
                      const std::string& stubPath) {
    auto stub = ReadStub(error, stubPath);
    if (!stub) return false;
    auto image = format::AttachBlock(*stub, block, error);
    return image && WriteImage(path, *image, error);
}

bool PlaceUninstallerRaw(const std::string& path, std::optional<uint32_t> field, const format::Bytes& tail,
                         std::string* error) {
    auto image = ReadStub(error);
    if (!image) return false;
    auto at = format::FindDataOffsetField(*image);
    if (!at) {
        if (error) *error = "the stub does not hold the data-offset marker exactly once";
        return false;
    }
    if (field) format::PutU32At(*image, *at, *field);
    image->insert(image->end(), tail.begin(), tail.end());
    return WriteImage(path, *image, error);
}

bool PlaceUninstallerImage(const std::string& path, const format::Bytes& image, std::string* error) {
    return WriteImage(path, image, error);
}

std::vector<robot::SeenWindow> RunResult::MessageBoxes() const {
    std::vector<robot::SeenWindow> boxes;
    for (const robot::SeenWindow& window : windows) {
        if (window.isMessageBox) boxes.push_back(window);
    }
    return boxes;
}

std::string RunResult::Describe() const {
    std::string out = "exit code " + std::to_string(exitCode) + (timedOut ? " (timed out)" : "") + ", " +
                      std::to_string(windows.size()) + " window(s)\n";
    for (const robot::SeenWindow& window : windows) out += robot::Describe(window);
    return out;
}

RunResult RunWithRobot(const std::string& exe, const std::string& arguments, const std::string& folder,
                       robot::Responder responder, DWORD timeoutMs) {
    RunResult result;
    result.job = std::make_shared<testing_support::ProcessJob>();
    std::string commandLine = "\"" + exe + "\"" + (arguments.empty() ? "" : " " + arguments);
    PROCESS_INFORMATION process = {};
    if (!result.job->Start(exe, commandLine, folder, &process, &result.error)) return result;
    result.started = true;
    CloseHandle(process.hThread);

    robot::Watcher watcher({process.dwProcessId, ""}, std::move(responder));
    if (!robot::WatchProcess(process.hProcess, watcher, timeoutMs)) {
        result.timedOut = true;
        result.error = "still running after " + std::to_string(timeoutMs) + " ms: terminated";
        TerminateProcess(process.hProcess, 0xDEAD);
        WaitForSingleObject(process.hProcess, 5000);
        result.job->Terminate(0xDEAD);  // and whatever it started
    }
    DWORD code = 0;
    GetExitCodeProcess(process.hProcess, &code);
    result.exitCode = static_cast<int>(code);
    CloseHandle(process.hProcess);
    result.windows = watcher.seen();
    return result;
}

bool WaitForRunToEnd(RunResult& run, DWORD timeoutMs, std::string* why) {
    if (!run.job) {
        if (why) *why = "the run has no job";
        return false;
    }
    if (run.job->WaitUntilEmpty(timeoutMs)) return true;
    DWORD left = run.job->ActiveProcesses();
    run.job->Terminate(0xDEAD);
    if (why) {
        *why = std::to_string(left) + " process(es) of the run still running after " +
               std::to_string(timeoutMs) + " ms (a batch that does not end?): terminated";
    }
    return false;
}

bool WaitForSelfDelete(RunResult& run, const std::string& exe, DWORD timeoutMs, std::string* why) {
    DWORD start = GetTickCount();
    if (!WaitForRunToEnd(run, timeoutMs, why)) return false;
    // Nothing of the run is left to delete anything: what is still there now stays. The short
    // poll only lets the file system catch up with deletions already made.
    const std::string folder = testing_support::FolderOf(exe);
    DWORD settle = GetTickCount();
    while (testing_support::Exists(exe) || testing_support::Exists(folder)) {
        DWORD now = GetTickCount();
        if (now - settle >= 1000 || now - start >= timeoutMs) {
            if (why) {
                *why = testing_support::Exists(exe) ? "the executable " + exe + " is still there"
                                                    : "its folder " + folder + " is still there";
                *why += " after the run and everything it started ended";
            }
            return false;
        }
        Sleep(kPollMs);
    }
    return true;
}

}  // namespace e2e

#endif  // _WIN32
