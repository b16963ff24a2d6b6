// Test support for the path tests: the platform's folders asked through services other than the ones
// the product uses, with the shared run-state fixture and sandbox.
#pragma once

#include <windows.h>

#include <shlobj.h>

#include <string>

#include "common/text.h"
#include "paths/protected_folders.h"
#include "support/sandbox.h"
#include "support/test_run.h"

namespace path_testing {

// The run-state fixture and the sandbox are the shared ones of tests/support.
using testing_support::FakeSetupValues;
using testing_support::FakeShellFolders;
using testing_support::Sandbox;
using testing_support::TestRun;

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

}  // namespace path_testing
