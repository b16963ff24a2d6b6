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
    // The 64-bit programs' folders on 64-bit Windows (the ordinary ones on 32-bit Windows): what a
    // 32-bit program reaches by #Program Files#, #CommonFiles# and #System# is their 32-bit side.
    kProgramFiles64,
    kCommonFiles64,
    kSystem64,
};

// The names in that order, each ended by a NUL, in one text: a table of pointers would cost the
// uninstaller a pointer and a relocation per name.
inline constexpr char kFolderTokenNameList[] =
    "#Windows#\0#System#\0#TempDir#\0#CommonFiles#\0#Program Files#\0#MyDocuments#\0#Desktop#\0#AppData#\0"
    "#LocalAppData#\0#AllUsersAppData#\0#AllUsersDocuments#\0#AllUsersDesktop#\0#UserDir#\0#AllUsersDir#\0"
    "#InstallDir#\0#Programs#\0#AllUsersPrograms#\0#StartMenu#\0#AllUsersStartMenu#\0#Startup#\0"
    "#AllUsersStartup#\0#Fonts#\0#ProgramFiles64#\0#CommonFiles64#\0#System64#\0";

constexpr size_t CountFolderTokenNames() {
    size_t count = 0;
    for (size_t i = 0; i + 1 < sizeof(kFolderTokenNameList); ++i) count += kFolderTokenNameList[i] == '\0';
    return count;
}
inline constexpr size_t kFolderTokenCount = CountFolderTokenNames();
static_assert(kFolderTokenCount == static_cast<size_t>(FolderToken::kSystem64) + 1);

// The name of the token at `index` (below kFolderTokenCount) in the list.
inline const char* FolderTokenName(size_t index) {
    const char* name = kFolderTokenNameList;
    for (; index > 0; --index) name += TextLength(name) + 1;
    return name;
}

// The token whose name is the whole of `text` ('#'s included; ASCII letter case ignored).
[[nodiscard]] inline bool FindFolderToken(const char* text, FolderToken& found) {
    const char* name = kFolderTokenNameList;
    for (size_t i = 0; i < kFolderTokenCount; ++i, name += TextLength(name) + 1) {
        if (TextEqualsNoCase(text, name)) {
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
