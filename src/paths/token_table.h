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
    // The places installers write shortcuts and fonts to.
    kPrograms,
    kAllUsersPrograms,
    kStartMenu,
    kAllUsersStartMenu,
    kStartup,
    kAllUsersStartup,
    kFonts,
};

inline constexpr const char* kFolderTokenNames[] = {
    "#Windows#",         "#System#",          "#TempDir#",        "#CommonFiles#",      "#Program Files#",
    "#MyDocuments#",     "#Desktop#",         "#AppData#",        "#LocalAppData#",     "#AllUsersAppData#",
    "#AllUsersDocuments#", "#AllUsersDesktop#", "#UserDir#",      "#AllUsersDir#",      "#InstallDir#",
    "#Programs#",        "#AllUsersPrograms#", "#StartMenu#",     "#AllUsersStartMenu#", "#Startup#",
    "#AllUsersStartup#", "#Fonts#",
};
inline constexpr size_t kFolderTokenCount = sizeof(kFolderTokenNames) / sizeof(kFolderTokenNames[0]);
static_assert(kFolderTokenCount == static_cast<size_t>(FolderToken::kFonts) + 1);

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

// Resolves the folder token an entry's folder begins with, for the path builders the passes and the
// packer share (removal/entry_paths.h): `token` (`length` bytes, both '#' included, not terminated)
// into `out` (`size` bytes). False when the token is unknown, its folder cannot be found or does not
// fit: the entry is then skipped. The uninstaller looks the folder up on the machine; the packer
// keeps the token as written, to show it.
struct FolderTokenResolver {
    bool (*resolve)(void* context, const char* token, size_t length, char* out, size_t size);
    void* context;
};
