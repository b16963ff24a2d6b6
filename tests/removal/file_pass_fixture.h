// Test support for the file pass in this process: a run state over a sandbox folder whose "App"
// folder is the install folder, a file list the test writes, the files and machine-wide values a
// case needs, and a listing of what the sandbox holds afterwards.
#pragma once

#include <deque>
#include <gtest/gtest.h>
#include <set>
#include <string>
#include <vector>

#include "format/layout.h"
#include "removal/files.h"
#include "support/sandbox.h"
#include "support/test_run.h"

namespace file_pass_testing {

inline constexpr char kSharedDllsKey[] = "Software\\Microsoft\\Windows\\CurrentVersion\\SharedDLLs";

struct Entry {
    std::string folder;
    std::string name;
    uint8_t flags = 0;
};

// The run state of testing_support::TestRun with the sandbox's App folder as the install folder and
// no message texts (so the pass asks nothing: an empty question means yes).
class FilePassRun {
  public:
    FilePassRun() : sandbox_(::testing::UnitTest::GetInstance()->current_test_info()->name()) {
        EXPECT_TRUE(sandbox_.ok()) << sandbox_.error();
        app_ = sandbox_.Make("App");
        EXPECT_TRUE(CopyText(test_.installFolder, (app_ + "\\").c_str()));
    }
    ~FilePassRun() {
        for (const std::string& name : sharedValues_) DeleteSharedCount(name);
        for (HANDLE h : held_) CloseHandle(h);
    }

    RunState& run() { return test_.run; }
    const std::string& root() const { return sandbox_.path(); }
    const std::string& app() const { return app_; }  // without a trailing backslash
    std::string InApp(const std::string& relative) const { return app_ + "\\" + relative; }

    void SetEntries(const std::vector<Entry>& entries) {
        texts_.clear();
        entries_.clear();
        items_.clear();
        for (const Entry& e : entries) {
            texts_.push_back(e.folder);
            char* folder = texts_.back().data();
            texts_.push_back(e.name);
            entries_.push_back({folder, texts_.back().data(), e.flags});
        }
        for (FileEntry& e : entries_) items_.push_back(&e);
        test_.run.data.files.items = items_.data();
        test_.run.data.files.count = static_cast<uint32_t>(items_.size());
    }

    // Writes a file (and its folder) at `path`; read-only when asked.
    static void Write(const std::string& path, bool readOnly = false) {
        size_t cut = path.find_last_of('\\');
        CreateDirectoryA(path.substr(0, cut).c_str(), nullptr);
        HANDLE file = CreateFileA(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                                  FILE_ATTRIBUTE_NORMAL, nullptr);
        ASSERT_NE(file, INVALID_HANDLE_VALUE) << path;
        DWORD written = 0;
        WriteFile(file, "x", 1, &written, nullptr);
        CloseHandle(file);
        if (readOnly) ASSERT_TRUE(SetFileAttributesA(path.c_str(), FILE_ATTRIBUTE_READONLY));
    }

    // Holds `path` open in this process with the given sharing until the object goes.
    HANDLE Hold(const std::string& path, DWORD share = 0) {
        HANDLE h = CreateFileA(path.c_str(), GENERIC_READ, share, nullptr, OPEN_EXISTING,
                               FILE_ATTRIBUTE_NORMAL, nullptr);
        EXPECT_NE(h, INVALID_HANDLE_VALUE) << path;
        if (h != INVALID_HANDLE_VALUE) held_.push_back(h);
        return h;
    }
    void Release(HANDLE h) {
        for (auto it = held_.begin(); it != held_.end(); ++it) {
            if (*it == h) {
                CloseHandle(h);
                held_.erase(it);
                return;
            }
        }
    }

    // SharedDLLs values named by the file's path, removed again when the object goes.
    void SetSharedValue(const std::string& name, DWORD type, const void* data, DWORD size) {
        sharedValues_.push_back(name);
        HKEY key = nullptr;
        ASSERT_EQ(RegCreateKeyExA(HKEY_LOCAL_MACHINE, kSharedDllsKey, 0, nullptr, 0, KEY_ALL_ACCESS, nullptr,
                                  &key, nullptr),
                  ERROR_SUCCESS);
        EXPECT_EQ(RegSetValueExA(key, name.c_str(), 0, type, static_cast<const BYTE*>(data), size),
                  ERROR_SUCCESS);
        RegCloseKey(key);
    }
    void SetSharedCount(const std::string& name, DWORD count) { SetSharedValue(name, REG_DWORD, &count, 4); }
    void ForgetSharedValue(const std::string& name) { sharedValues_.push_back(name); }

    // The stored count, or -1 when there is no such value.
    static long long SharedCount(const std::string& name) {
        HKEY key = nullptr;
        if (RegOpenKeyExA(HKEY_LOCAL_MACHINE, kSharedDllsKey, 0, KEY_QUERY_VALUE, &key) != ERROR_SUCCESS)
            return -1;
        DWORD count = 0, size = sizeof(count);
        LONG result =
            RegQueryValueExA(key, name.c_str(), nullptr, nullptr, reinterpret_cast<BYTE*>(&count), &size);
        RegCloseKey(key);
        return result == ERROR_SUCCESS ? static_cast<long long>(count) : -1;
    }
    static void DeleteSharedCount(const std::string& name) {
        HKEY key = nullptr;
        if (RegOpenKeyExA(HKEY_LOCAL_MACHINE, kSharedDllsKey, 0, KEY_SET_VALUE, &key) != ERROR_SUCCESS)
            return;
        RegDeleteValueA(key, name.c_str());
        RegCloseKey(key);
    }

    // Every file and folder below the sandbox, relative to it ("App\\Sub\\" for a folder), with
    // "(ro)" after read-only files.
    std::set<std::string> Listing() const {
        std::set<std::string> out;
        List(sandbox_.path(), "", out);
        return out;
    }

  private:
    static void List(const std::string& folder, const std::string& prefix, std::set<std::string>& out) {
        WIN32_FIND_DATAA found;
        HANDLE search = FindFirstFileA((folder + "\\*").c_str(), &found);
        if (search == INVALID_HANDLE_VALUE) return;
        do {
            std::string name = found.cFileName;
            if (name == "." || name == "..") continue;
            if (found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) {
                out.insert(prefix + name + "\\");
                List(folder + "\\" + name, prefix + name + "\\", out);
            } else {
                out.insert(prefix + name +
                           ((found.dwFileAttributes & FILE_ATTRIBUTE_READONLY) ? " (ro)" : ""));
            }
        } while (FindNextFileA(search, &found));
        FindClose(search);
    }

    testing_support::Sandbox sandbox_;
    testing_support::TestRun test_;
    std::string app_;
    std::deque<std::string> texts_;
    std::vector<FileEntry> entries_;
    std::vector<FileEntry*> items_;
    std::vector<std::string> sharedValues_;
    std::vector<HANDLE> held_;
};

}  // namespace file_pass_testing
