// What the packer asks of the system it runs on. Every name and text inside the packer is UTF-8;
// on Windows these functions reach the system through its wide (UTF-16) functions, so that any
// file name works whatever the ANSI code page of the machine, and rename replaces like on POSIX.
// platform_posix.cpp and platform_win.cpp hold the two halves; the build takes the one of the
// system it builds for.
#pragma once

#include <cstdio>
#include <filesystem>
#include <optional>
#include <string>

#include "common/file_io.h"

namespace pack::platform {

// A path of the standard library from a UTF-8 name, and back.
std::filesystem::path PathFromUtf8(const std::string& name);
std::string Utf8FromPath(const std::filesystem::path& path);

// True for a Windows reparse point (a symbolic link or a junction), which std::filesystem of
// MinGW does not report as a link; false on POSIX, where symlink_status tells.
bool IsReparsePoint(const std::filesystem::path& path);

// fopen with a UTF-8 name; `mode` as for fopen ("rb", "wb"). Null, with `why`, on failure.
FILE* OpenFile(const std::string& name, const char* mode, std::string& why);

// Renames `from` to `to`, replacing a file there in one step. False, with `why`, on failure.
[[nodiscard]] bool RenameReplacing(const std::string& from, const std::string& to, std::string& why);
void RemoveFile(const std::string& name);
// Marks a written program as executable (mode 0755); nothing to do on Windows.
void MarkExecutable(const std::string& name);

// Opens an existing file for the uninstaller's loader (common/file_io.h) by a UTF-8 name.
FileHandle OpenForLoader(const std::string& name);

// The value of an environment variable, in UTF-8; nothing when it is not set.
std::optional<std::string> Environment(const char* name);

// Why the last failed call of the system failed, in words: errno on POSIX, GetLastError on Windows.
std::string SystemError();

// Writes `bytes` to a new file of the user's temporary folder (never one that is there already)
// and names it in `path`; false, with nothing left behind, when it cannot.
[[nodiscard]] bool WriteTemporaryCopy(const std::string& bytes, std::string& path);

}  // namespace pack::platform
