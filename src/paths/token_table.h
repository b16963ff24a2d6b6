// The folder tokens a stored text may hold ("#Windows#", "#AppData#", ...): their names, once, for
// the uninstaller's expansion (paths/folder_tokens_win.cpp) and the packer's plan and check.
#pragma once

#include <stddef.h>
#include <stdint.h>

#include "common/text.h"

// In the order the expansion tries them; the first equal name decides.
enum class FolderToken : uint8_t {
    kWindows,
    kSystem,
    kTempDir,
    kCommonFiles,
    kProgramFiles,
    kMyDocuments,
    kDesktop,
    kAppData,
    kLocalAppData,
    kAllUsersAppData,
    kAllUsersDocuments,
    kAllUsersDesktop,
    kUserDir,
    kAllUsersDir,
    kInstallDir,
};

inline constexpr const char* kFolderTokenNames[] = {
    "#Windows#",         "#System#",          "#TempDir#",        "#CommonFiles#",      "#Program Files#",
    "#MyDocuments#",     "#Desktop#",         "#AppData#",        "#LocalAppData#",     "#AllUsersAppData#",
    "#AllUsersDocuments#", "#AllUsersDesktop#", "#UserDir#",      "#AllUsersDir#",      "#InstallDir#",
};
inline constexpr size_t kFolderTokenCount = sizeof(kFolderTokenNames) / sizeof(kFolderTokenNames[0]);
static_assert(kFolderTokenCount == static_cast<size_t>(FolderToken::kInstallDir) + 1);

// The token whose name is the whole of `text` ('#'s included; ASCII letter case ignored).
[[nodiscard]] inline bool FindFolderToken(const char* text, FolderToken& found) {
    for (size_t i = 0; i < kFolderTokenCount; ++i) {
        if (TextEqualsNoCase(text, kFolderTokenNames[i])) {
            found = static_cast<FolderToken>(i);
            return true;
        }
    }
    return false;
}
