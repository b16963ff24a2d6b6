// Test support for the path tests: a run state with its own install folder, replaceable folder lookups,
// the platform's folders asked through services other than the ones the product uses, and a sandbox
// folder under the temporary folder.
#pragma once

#include <shlobj.h>
#include <windows.h>

#include <map>
#include <string>

#include "common/text.h"
#include "driver/run_state.h"
#include "paths/protected_folders.h"

namespace path_testing {

// Shell folders and registry values the fake lookups give; anything not listed fails.
inline std::map<int, std::string>& FakeShellFolders() {
    static std::map<int, std::string> folders;
    return folders;
}
inline std::map<std::string, std::string>& FakeSetupValues() {
    static std::map<std::string, std::string> values;
    return values;
}

inline bool FakeSpecialFolder(char* path, int csidl) {
    auto found = FakeShellFolders().find(csidl);
    return found != FakeShellFolders().end() && CopyText(path, kPathBufferSize, found->second.c_str());
}

inline bool FakeSetupFolder(const char* valueName, char* path) {
    auto found = FakeSetupValues().find(valueName);
    return found != FakeSetupValues().end() && CopyText(path, kPathBufferSize, found->second.c_str());
}

// A run state whose install folder is a buffer of its own; the protected set it builds is freed.
struct TestRun {
    char installFolder[kPathBufferSize] = "C:\\Tools\\App\\";
    char currentItem[kPathBufferSize] = {};
    RunState run{};

    explicit TestRun(bool nt = true) {
        run.platform.nt = nt;
        run.installFolder = installFolder;
        run.currentItem = currentItem;
        FakeShellFolders().clear();
        FakeSetupValues().clear();
    }
    ~TestRun() { ReleaseProtectedFolders(run); }
    TestRun(const TestRun&) = delete;
    TestRun& operator=(const TestRun&) = delete;

    // From now on the shell and registry lookups see only the fake folders.
    void UseFakeShell() { run.paths.lookups.specialFolder = FakeSpecialFolder; }
    void UseFakeSetup() { run.paths.lookups.setupFolder = FakeSetupFolder; }
};

inline std::string WithoutTrailingBackslash(std::string path) {
    if (path.size() > 3 && path.back() == '\\') path.pop_back();
    return path;
}

inline std::string WindowsDir() {
    char path[MAX_PATH] = {};
    GetWindowsDirectoryA(path, MAX_PATH);
    return path;
}

inline std::string SystemDir() {
    char path[MAX_PATH] = {};
    GetSystemDirectoryA(path, MAX_PATH);
    return path;
}

inline std::string TempDir() {
    char path[MAX_PATH] = {};
    GetTempPathA(MAX_PATH, path);
    return WithoutTrailingBackslash(path);
}

// A shell folder through SHGetFolderPathA, without its trailing backslash; empty when there is none.
inline std::string ShellDir(int csidl) {
    char path[MAX_PATH] = {};
    if (FAILED(SHGetFolderPathA(nullptr, csidl, nullptr, 0, path))) return "";
    return WithoutTrailingBackslash(path);
}

inline std::string ParentDir(const std::string& path) {
    size_t last = path.find_last_of('\\');
    return last == std::string::npos ? "" : path.substr(0, last);
}

inline std::string ShortName(const std::string& path) {
    char shortPath[MAX_PATH] = {};
    DWORD n = GetShortPathNameA(path.c_str(), shortPath, MAX_PATH);
    return n && n < MAX_PATH ? shortPath : "";
}

inline std::string Replace(std::string text, char from, const std::string& to) {
    std::string out;
    for (char c : text) out += c == from ? to : std::string(1, c);
    return out;
}

// A fresh folder under the temporary folder, removed with everything in it at the end.
class Sandbox {
  public:
    Sandbox() {
        static int counter = 0;
        path_ = TempDir() + "\\uninst-paths-" + std::to_string(GetCurrentProcessId()) + "-" +
                std::to_string(++counter);
        RemoveTree(path_);
        CreateDirectoryA(path_.c_str(), nullptr);
    }
    ~Sandbox() { RemoveTree(path_); }
    Sandbox(const Sandbox&) = delete;
    Sandbox& operator=(const Sandbox&) = delete;

    const std::string& path() const { return path_; }
    std::string Make(const std::string& relative) const {
        std::string full = path_ + "\\" + relative;
        CreateDirectoryA(full.c_str(), nullptr);
        return full;
    }

  private:
    static void RemoveTree(const std::string& folder) {
        WIN32_FIND_DATAA found;
        HANDLE search = FindFirstFileA((folder + "\\*").c_str(), &found);
        if (search != INVALID_HANDLE_VALUE) {
            do {
                std::string name = found.cFileName;
                if (name == "." || name == "..") continue;
                std::string child = folder + "\\" + name;
                if (found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) {
                    RemoveTree(child);
                } else {
                    SetFileAttributesA(child.c_str(), FILE_ATTRIBUTE_NORMAL);  // read-only ones too
                    DeleteFileA(child.c_str());
                }
            } while (FindNextFileA(search, &found));
            FindClose(search);
        }
        RemoveDirectoryA(folder.c_str());
    }
    std::string path_;
};

}  // namespace path_testing
