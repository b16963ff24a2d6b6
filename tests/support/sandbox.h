// A throwaway folder of one test, and the file helpers the tests use on it. Windows only; free of
// the test framework so that benchmarks can use it too.
//
// Usage:
//   testing_support::Sandbox box("Paths.Case");      // %TEMP%\uninst-<pid>-<n>-Paths.Case\, fresh
//   ASSERT_TRUE(box.ok()) << box.error();
//   std::string app = box.Make("App\\Data");          // folders, parents included; full path back
//   ASSERT_TRUE(box.Write("App\\a.txt", "text"));     // a file (and its folders)
//   ASSERT_TRUE(box.Write("App\\ro.txt", "x", kReadOnly));
//   box.Path("App\\a.txt")                            // the full path, exists or not
// The folder is removed with everything in it, read-only files and folders included, when the
// object is made (a leftover of the same name) and when it goes.
#pragma once

#ifdef _WIN32

#include <windows.h>

#include <optional>
#include <string>
#include <vector>

namespace testing_support {

inline constexpr bool kReadOnly = true;

class Sandbox {
  public:
    // `label` makes the folder recognisable (a test name); it is cut to a short safe form.
    explicit Sandbox(const std::string& label = "sandbox");
    ~Sandbox();
    Sandbox(const Sandbox&) = delete;
    Sandbox& operator=(const Sandbox&) = delete;

    bool ok() const { return error_.empty(); }
    const std::string& error() const { return error_; }

    // The folder, without a trailing backslash.
    const std::string& path() const { return path_; }
    // path() + "\" + relative.
    std::string Path(const std::string& relative) const { return path_ + "\\" + relative; }
    // Creates the folder `relative` and its parents; returns its full path (empty on failure).
    std::string Make(const std::string& relative) const;
    // Writes a file below the folder, making its folders; optionally read-only.
    [[nodiscard]] bool Write(const std::string& relative, const std::string& content,
                             bool readOnly = false) const;

  private:
    std::string path_, error_;
};

// A short form of `text` that is safe in a file or key name: letters, digits, '-' and '.' kept,
// anything else '_', at most `limit` characters.
std::string SafeName(const std::string& text, size_t limit = 40);

// Creates every folder of `folder` that is missing (a full path, no trailing backslash needed).
bool MakeFolders(const std::string& folder);
// Removes a folder and everything in it, clearing read-only attributes first. Best effort.
void RemoveTree(const std::string& folder);

bool Exists(const std::string& path);
bool IsReadOnly(const std::string& path);
// Sets or clears FILE_ATTRIBUTE_READONLY, keeping the other attributes.
[[nodiscard]] bool SetReadOnly(const std::string& path, bool readOnly);

[[nodiscard]] bool WriteFileBytes(const std::string& path, const void* data, size_t size);
[[nodiscard]] bool WriteFileText(const std::string& path, const std::string& content);
// Writes a file at a full path, making its folders, replacing a read-only one; optionally read-only.
[[nodiscard]] bool PlaceFile(const std::string& path, const std::string& content, bool readOnly = false);
std::optional<std::vector<unsigned char>> ReadFileBytes(const std::string& path);
std::optional<std::string> ReadFileText(const std::string& path);

// The folder of a path (everything before its last backslash), and the name after it.
std::string FolderOf(const std::string& path);
std::string NameOf(const std::string& path);

// The folder of the running test program, with a trailing backslash: the build folder, where the
// uninstaller, the helper programs and the test libraries are built.
std::string BuildFolder();
// Copies a helper program or test library of the build folder (`name`, e.g. "probe.exe") to
// `destination`; false when it is missing or cannot be copied.
[[nodiscard]] bool CopyBuildFile(const std::string& name, const std::string& destination);

}  // namespace testing_support

#endif  // _WIN32
