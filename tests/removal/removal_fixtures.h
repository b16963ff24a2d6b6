// Test support for the folder and registry passes: a run state whose lists are built from plain
// strings, a sandbox folder tree and a sandbox key with snapshots, so that a test checks that exactly
// the expected items went and every other item stayed.
#pragma once

#include <windows.h>

#include <gtest/gtest.h>
#include <memory>
#include <set>
#include <string>
#include <vector>

#include "data/uninstall_data.h"
#include "paths/path_fixtures.h"
#include "support/registry.h"
#include "support/sandbox.h"
#include "support/snapshot.h"
#include "support/test_run.h"

namespace removal_testing {

// Lists that own their texts: entries point into strings that live as long as the lists.
struct Lists {
    std::vector<std::unique_ptr<std::string>> texts;
    std::vector<FileEntry> files;
    std::vector<ShortcutEntry> shortcuts;
    std::vector<RegistryEntry> registry;
    std::vector<FileEntry*> filePointers;
    std::vector<ShortcutEntry*> shortcutPointers;
    std::vector<RegistryEntry*> registryPointers;
    std::string patterns;

    char* Text(const std::string& text) {
        texts.push_back(std::make_unique<std::string>(text));
        return texts.back()->data();
    }
    void File(const std::string& folder, const std::string& name, uint8_t flags = 0) {
        files.push_back({Text(folder), Text(name), flags});
    }
    void Shortcut(uint32_t levels, const std::string& folder, const std::string& second,
                  const std::string& name) {
        shortcuts.push_back({levels, Text(folder), Text(second), Text(name)});
    }
    void Key(uint32_t root, const std::string& path) { registry.push_back({root, Text(path)}); }
    void Pattern(const std::string& pattern) {
        patterns += pattern;
        patterns += '\0';
    }

    // Points the run's lists at these entries (patterns get their closing empty pattern).
    void AttachTo(RunState& run) {
        filePointers.clear();
        shortcutPointers.clear();
        registryPointers.clear();
        for (auto& f : files) filePointers.push_back(&f);
        for (auto& s : shortcuts) shortcutPointers.push_back(&s);
        for (auto& r : registry) registryPointers.push_back(&r);
        run.data.files = {filePointers.data(), static_cast<uint32_t>(files.size()), nullptr, 0};
        run.data.shortcuts = {shortcutPointers.data(), static_cast<uint32_t>(shortcuts.size()), nullptr, 0};
        run.data.registry = {registryPointers.data(), static_cast<uint32_t>(registry.size()), nullptr, 0};
        patterns += '\0';
        patterns += '\0';
        run.data.patterns = patterns.data();
        run.data.patternSize = static_cast<uint32_t>(patterns.size());
    }
};

// The items of a snapshot (support/snapshot.h), without their states.
inline std::set<std::string> Items(const testing_support::Snapshot& snapshot) {
    std::set<std::string> items;
    for (const auto& item : snapshot) items.insert(item.first);
    return items;
}

inline std::set<std::string> TreeSnapshot(const std::string& root) {
    return Items(testing_support::SnapshotFolder(root));
}

// What went between two snapshots; nothing may have appeared.
inline std::set<std::string> Removed(const std::set<std::string>& before,
                                     const std::set<std::string>& after) {
    std::set<std::string> gone;
    for (const auto& item : before) {
        if (!after.count(item)) gone.insert(item);
    }
    for (const auto& item : after) EXPECT_TRUE(before.count(item)) << "appeared: " << item;
    return gone;
}

// Creates the folders of `relative` below `root` and, unless it ends with a backslash, the file.
inline void MakeItem(const std::string& root, const std::string& relative) {
    std::string path = root;
    size_t at = 0;
    while (true) {
        size_t next = relative.find('\\', at);
        if (next == std::string::npos) break;
        path = root + "\\" + relative.substr(0, next);
        CreateDirectoryA(path.c_str(), nullptr);
        at = next + 1;
    }
    if (at < relative.size()) {
        HANDLE file = CreateFileA((root + "\\" + relative).c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                                  FILE_ATTRIBUTE_NORMAL, nullptr);
        ASSERT_NE(file, INVALID_HANDLE_VALUE) << relative;
        DWORD written = 0;
        WriteFile(file, "x", 1, &written, nullptr);
        CloseHandle(file);
    }
}

// Creates the file at the full path `path` (its folder must exist).
inline void MakeFileAt(const std::string& path) {
    HANDLE file =
        CreateFileA(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    ASSERT_NE(file, INVALID_HANDLE_VALUE) << path;
    CloseHandle(file);
}

inline void MakeTree(const std::string& root, const std::vector<std::string>& items) {
    for (const auto& item : items) MakeItem(root, item);
}

// A sandbox folder whose "App" subfolder is the run's install folder.
struct FolderSandbox {
    testing_support::Sandbox sandbox{::testing::UnitTest::GetInstance()->current_test_info()->name()};
    testing_support::TestRun test;
    Lists lists;

    FolderSandbox() {
        std::string install = sandbox.path() + "\\App\\";
        CreateDirectoryA(install.c_str(), nullptr);
        EXPECT_TRUE(CopyText(test.installFolder, install.c_str()));
    }
    RunState& run() { return test.run; }
    const std::string& root() const { return sandbox.path(); }
    std::string Path(const std::string& relative) const { return sandbox.path() + "\\" + relative; }
    void Attach() { lists.AttachTo(test.run); }
};

// A key of the test's own below HKEY_CURRENT_USER\Software, deleted when made and when done.
class KeySandbox {
  public:
    KeySandbox() {
        static int counter = 0;
        path_ = "Software\\UninstRemovalTest-" + std::to_string(GetCurrentProcessId()) + "-" +
                std::to_string(++counter);
        DeleteTree();
        EXPECT_EQ(RegCreateKeyExA(HKEY_CURRENT_USER, path_.c_str(), 0, nullptr, 0, KEY_ALL_ACCESS, nullptr,
                                  &key_, nullptr),
                  ERROR_SUCCESS);
    }
    ~KeySandbox() {
        RegCloseKey(key_);
        DeleteTree();
    }
    KeySandbox(const KeySandbox&) = delete;
    KeySandbox& operator=(const KeySandbox&) = delete;

    const std::string& path() const { return path_; }  // relative to HKEY_CURRENT_USER
    HKEY key() const { return key_; }

    // Creates the key `relative` (and its parents); with a value "name=data" when `value` is given.
    void Make(const std::string& relative, const std::string& value = "") const {
        HKEY made = nullptr;
        ASSERT_EQ(
            RegCreateKeyExA(key_, relative.c_str(), 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &made, nullptr),
            ERROR_SUCCESS)
            << relative;
        if (!value.empty()) {
            size_t eq = value.find('=');
            std::string name = value.substr(0, eq);
            std::string data = eq == std::string::npos ? "" : value.substr(eq + 1);
            RegSetValueExA(made, name.c_str(), 0, REG_SZ, reinterpret_cast<const BYTE*>(data.c_str()),
                           static_cast<DWORD>(data.size() + 1));
        }
        RegCloseKey(made);
    }

    // Every key below the sandbox ("A\\B\\") and every value ("A\\B\\@name", "@name" at its top).
    std::set<std::string> Snapshot() const {
        return Items(testing_support::SnapshotKey(HKEY_CURRENT_USER, path_, ""));
    }

  private:
    void DeleteTree() const { testing_support::DeleteKeyTree(HKEY_CURRENT_USER, path_); }

    std::string path_;
    HKEY key_ = nullptr;
};

}  // namespace removal_testing
