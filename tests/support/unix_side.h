// The Unix side of the machine that Wine runs on, for the tests that need a tool only it has (the
// host build's `uninstpack`, `ln -s`). Windows only; free of the test framework.
//
// Usage:
//   std::string unix = testing_support::UnixPath(box.Path("App"));    // "/.../drive_c/users/..."
//   ASSERT_TRUE(testing_support::RunUnixShell("ln -s '" + a + "' '" + b + "'", &why)) << why;
#pragma once

#ifdef _WIN32

#include <windows.h>

#include <string>

namespace testing_support {

// The Unix path of a Windows path under Wine (wine_get_unix_file_name); empty where there is no
// Wine, or the path has no Unix name.
std::string UnixPath(const std::string& windowsPath);

// Runs `script` with /bin/sh -c as a Unix process of Wine's and waits (bounded) for it; false, with
// `why`, when it cannot start, runs too long or exits with another code than 0. The script must not
// hold double quotes.
[[nodiscard]] bool RunUnixShell(const std::string& script, std::string* why, DWORD timeoutMs = 60000);

// Makes `link` a Unix symbolic link to `target` (Windows paths, the link's folder existing), which Wine
// shows as a junction or symbolic link; false with `why` when it cannot be made or is not seen.
[[nodiscard]] bool MakeUnixLink(const std::string& link, const std::string& target, std::string* why);

}  // namespace testing_support

#endif  // _WIN32
