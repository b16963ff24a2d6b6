#include "support/e2e.h"

#ifdef _WIN32

#include <cstdio>
#include <cstdlib>
#include <utility>

namespace e2e {

namespace {

const char kCanaryFile[] = "canary.txt";
const char kCanaryContent[] = "beside the installation: must survive";
const char kCanaryKey[] = "Canary";
const char kCanaryValue[] = "alive";

std::string SafeName(const std::string& name) {
    std::string out;
    for (char c : name) {
        bool plain = (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '-' ||
                     c == '.';
        out += plain ? c : '_';
    }
    return out;
}

// Removes a folder and everything in it, read-only files included. Best effort: a leftover is
// found and removed again by the next sandbox of that name.
void RemoveTree(const std::string& folder) {
    WIN32_FIND_DATAA found;
    HANDLE find = FindFirstFileA((folder + "\\*").c_str(), &found);
    if (find != INVALID_HANDLE_VALUE) {
        do {
            std::string name = found.cFileName;
            if (name == "." || name == "..") continue;
            std::string path = folder + "\\" + name;
            SetFileAttributesA(path.c_str(), FILE_ATTRIBUTE_NORMAL);
            if (found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) {
                RemoveTree(path);
            } else {
                DeleteFileA(path.c_str());
            }
        } while (FindNextFileA(find, &found));
        FindClose(find);
    }
    RemoveDirectoryA(folder.c_str());
}

// Deletes a key of HKEY_CURRENT_USER with all its subkeys (RegDeleteKeyA refuses a key that has
// subkeys on the NT family).
void RemoveKeyTree(const std::string& path) {
    HKEY key = nullptr;
    if (RegOpenKeyExA(HKEY_CURRENT_USER, path.c_str(), 0, KEY_READ, &key) == ERROR_SUCCESS) {
        std::vector<std::string> children;
        char name[256];
        for (DWORD i = 0;; ++i) {
            DWORD size = sizeof(name);
            if (RegEnumKeyExA(key, i, name, &size, nullptr, nullptr, nullptr, nullptr) != ERROR_SUCCESS)
                break;
            children.emplace_back(name, size);
        }
        RegCloseKey(key);
        for (const std::string& child : children) RemoveKeyTree(path + "\\" + child);
    }
    RegDeleteKeyA(HKEY_CURRENT_USER, path.c_str());
}

bool WriteWholeFile(const std::string& path, const void* data, size_t size) {
    FILE* file = fopen(path.c_str(), "wb");
    if (!file) return false;
    bool ok = size == 0 || fwrite(data, 1, size, file) == size;
    return fclose(file) == 0 && ok;
}

bool ReadWholeFile(const std::string& path, format::Bytes& out) {
    FILE* file = fopen(path.c_str(), "rb");
    if (!file) return false;
    out.clear();
    unsigned char chunk[65536];
    size_t n;
    while ((n = fread(chunk, 1, sizeof(chunk), file)) > 0) out.insert(out.end(), chunk, chunk + n);
    bool ok = !ferror(file);
    fclose(file);
    return ok;
}

bool SetStringValue(const std::string& keyPath, const char* name, const char* value) {
    HKEY key = nullptr;
    if (RegCreateKeyExA(HKEY_CURRENT_USER, keyPath.c_str(), 0, nullptr, 0, KEY_WRITE, nullptr, &key,
                        nullptr) != ERROR_SUCCESS) {
        return false;
    }
    LONG status = RegSetValueExA(key, name, 0, REG_SZ, reinterpret_cast<const BYTE*>(value),
                                 static_cast<DWORD>(lstrlenA(value) + 1));
    RegCloseKey(key);
    return status == ERROR_SUCCESS;
}

bool ReadStringValue(const std::string& keyPath, const char* name, std::string& out) {
    HKEY key = nullptr;
    if (RegOpenKeyExA(HKEY_CURRENT_USER, keyPath.c_str(), 0, KEY_READ, &key) != ERROR_SUCCESS) return false;
    char data[256] = {};
    DWORD size = sizeof(data) - 1;
    DWORD type = 0;
    LONG status = RegQueryValueExA(key, name, nullptr, &type, reinterpret_cast<BYTE*>(data), &size);
    RegCloseKey(key);
    if (status != ERROR_SUCCESS || type != REG_SZ) return false;
    out = data;  // terminated by us: the buffer was zeroed and one byte kept free
    return true;
}

}  // namespace

Sandbox::Sandbox(const std::string& name) {
    char temp[MAX_PATH] = {};
    DWORD n = GetTempPathA(MAX_PATH, temp);
    if (n == 0 || n >= MAX_PATH) {
        error_ = "no temporary folder";
        return;
    }
    std::string unique = std::to_string(GetCurrentProcessId()) + "-" + SafeName(name);
    root_ = std::string(temp) + "uninst-e2e-" + unique + "\\";
    install_ = root_ + "App\\";
    key_ = std::string(kKeyBase) + "\\" + unique;
    Remove();
    if (!CreateDirectoryA(root_.c_str(), nullptr) || !CreateDirectoryA(install_.c_str(), nullptr)) {
        error_ = "cannot create " + install_;
        return;
    }
    if (!WriteWholeFile(root_ + kCanaryFile, kCanaryContent, sizeof(kCanaryContent) - 1) ||
        !SetStringValue(key_ + "\\" + kCanaryKey, kCanaryValue, kCanaryContent)) {
        error_ = "cannot plant the canaries in " + root_ + " and HKCU\\" + key_;
    }
}

Sandbox::~Sandbox() {
    Remove();
}

void Sandbox::Remove() {
    if (!root_.empty()) RemoveTree(root_.substr(0, root_.size() - 1));
    if (!key_.empty()) RemoveKeyTree(key_);
}

bool Sandbox::InstallFile(const std::string& relativePath, const std::string& content) {
    std::string path = install_ + relativePath;
    for (size_t slash = path.find('\\', install_.size()); slash != std::string::npos;
         slash = path.find('\\', slash + 1)) {
        CreateDirectoryA(path.substr(0, slash).c_str(), nullptr);
    }
    return WriteWholeFile(path, content.data(), content.size());
}

bool Sandbox::InstallValue(const std::string& name, const std::string& value) {
    return SetStringValue(installKeyPath(), name.c_str(), value.c_str());
}

bool Sandbox::CanariesAlive(std::string* why) const {
    format::Bytes content;
    if (!ReadWholeFile(root_ + kCanaryFile, content) ||
        std::string(content.begin(), content.end()) != kCanaryContent) {
        if (why) *why = "the canary file " + root_ + kCanaryFile + " is gone or changed";
        return false;
    }
    std::string value;
    if (!ReadStringValue(key_ + "\\" + kCanaryKey, kCanaryValue, value) || value != kCanaryContent) {
        if (why) *why = "the canary key HKCU\\" + key_ + "\\" + kCanaryKey + " is gone or changed";
        return false;
    }
    return true;
}

std::optional<format::Bytes> ReadStub(std::string* error) {
    const char* path = getenv("UNINST_STUB");
    if (!path || !*path) {
        if (error) *error = "UNINST_STUB is not set";
        return std::nullopt;
    }
    format::Bytes stub;
    if (!ReadWholeFile(path, stub) || stub.empty()) {
        if (error) *error = std::string("cannot read the stub ") + path;
        return std::nullopt;
    }
    return stub;
}

bool PlaceUninstaller(const std::string& path, const format::Bytes& block, std::string* error) {
    auto stub = ReadStub(error);
    if (!stub) return false;
    auto image = format::AttachBlock(*stub, block, error);
    if (!image) return false;
    if (WriteWholeFile(path, image->data(), image->size())) return true;
    if (error) *error = "cannot write " + path;
    return false;
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
    if (WriteWholeFile(path, image->data(), image->size())) return true;
    if (error) *error = "cannot write " + path;
    return false;
}

bool PlaceUninstallerImage(const std::string& path, const format::Bytes& image, std::string* error) {
    if (WriteWholeFile(path, image.data(), image.size())) return true;
    if (error) *error = "cannot write " + path;
    return false;
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
    std::string commandLine = "\"" + exe + "\"" + (arguments.empty() ? "" : " " + arguments);
    STARTUPINFOA startup = {};
    startup.cb = sizeof(startup);
    PROCESS_INFORMATION process = {};
    if (!CreateProcessA(exe.c_str(), commandLine.data(), nullptr, nullptr, FALSE, 0, nullptr,
                        folder.empty() ? nullptr : folder.c_str(), &startup, &process)) {
        result.error = "cannot start " + commandLine + ": error " + std::to_string(GetLastError());
        return result;
    }
    result.started = true;
    CloseHandle(process.hThread);

    robot::Watcher watcher({process.dwProcessId, ""}, std::move(responder));
    if (!robot::WatchProcess(process.hProcess, watcher, timeoutMs)) {
        result.timedOut = true;
        result.error = "still running after " + std::to_string(timeoutMs) + " ms: terminated";
        TerminateProcess(process.hProcess, 0xDEAD);
        WaitForSingleObject(process.hProcess, 5000);
    }
    DWORD code = 0;
    GetExitCodeProcess(process.hProcess, &code);
    result.exitCode = static_cast<int>(code);
    CloseHandle(process.hProcess);
    result.windows = watcher.seen();
    return result;
}

}  // namespace e2e

#endif  // _WIN32
