#include "pack/checker.h"

namespace pack {

using namespace format;

namespace {

// The last component of a folder, without the backslashes after it.
std::string LastComponent(const std::string& folder) {
    std::string trimmed = folder;
    while (!trimmed.empty() && (trimmed.back() == '\\' || trimmed.back() == '/')) trimmed.pop_back();
    size_t cut = trimmed.find_last_of("\\/");
    return cut == std::string::npos ? trimmed : trimmed.substr(cut + 1);
}

}  // namespace

// The second folder is a folder the passes remove when it is empty, nothing more: the shortcut file
// is deleted from the first folder only. An author who writes the desktop there, or the path of a
// second shortcut, expects a file to go that stays.
void Checker::CheckSecondFolder(const std::string& where, const format::ShortcutSpec& s,
                                const std::string& second, const std::string& judged) {
    if (second.empty()) return;
    std::string last = Lower(LastComponent(s.secondFolder));
    bool shortcutFile =
        last.size() > 4 && (last.ends_with(".lnk") || last.ends_with(".url") || last.ends_with(".pif"));
    if (shortcutFile || (!s.name.empty() && last == Lower(s.name))) {
        Warn("second-folder", where,
             "second folder " + Show(s.secondFolder) +
                 " ends in a shortcut's name: the second folder is a folder, removed when it is empty; "
                 "no file is deleted in it (list that shortcut in an entry of its own)");
    } else if (auto shared = SharedFolderName(judged)) {
        std::string expected = s.name.empty() ? std::string("nothing is removed there")
                                              : "no " + Show(s.name) + " is deleted in it";
        Warn("second-folder", where,
             "second folder " + Show(second) + " looks like " + *shared +
                 ", which the uninstaller never removes; " + expected +
                 ": the shortcut file goes from the first folder only (list a shortcut there in an entry of "
                 "its own)");
    }
}

void Checker::CheckShortcuts() {
    const auto& shortcuts = m_.block.shortcuts;
    for (size_t i = 0; i < shortcuts.size(); ++i) {
        const auto& s = shortcuts[i];
        std::string where = EntryPath(m_, "shortcuts", i);
        CheckControlCharacters(where, "folder", s.folder);
        CheckControlCharacters(where, "second folder", s.secondFolder);
        CheckControlCharacters(where, "file name", s.name);
        CheckTrailBackslash(where, s.folder + s.secondFolder + s.name);
        if (!s.name.empty() && !IsPlainShortcutName(s.name)) {
            Error(where, "file name " + Show(s.name) +
                             " is a path (\"\\\", \"/\", \":\" or only dots): a shortcut's "
                             "file name must be a name in its folder, and the uninstaller skips this one");
        }
        if (s.folder.empty()) {
            if (s.name.empty()) {
                Warn("empty-shortcut", where, "has neither folder nor name: it removes nothing");
            } else if (!IsAbsolutePath(s.name)) {
                Error(where, "has no folder: the uninstaller would take " + Show(s.name) +
                                 " from whatever its current directory is");
            }
            continue;
        }
        if (!CheckFolderToken(where, "folder", s.folder) ||
            !CheckFolderToken(where, "second folder", s.secondFolder)) {
            continue;
        }
        // A folder that begins with a folder token is absolute once looked up; it is judged as it
        // reads on a typical NT machine.
        std::string folder = BuildEntryFolder(InstallDir(), s.folder);
        std::string second = BuildEntryFolder(InstallDir(), s.secondFolder);
        bool folderToken = HasMachineToken(s.folder);
        bool secondToken = HasMachineToken(s.secondFolder);
        if (!folderToken && !IsAbsolutePath(folder) && !IsRelativeInstallToken(s.folder)) {
            Error(where, "folder " + Show(s.folder) +
                             " is not an absolute path and begins with no folder token "
                             "(such as #Programs#): the uninstaller skips it");
            continue;
        }
        if (!second.empty() && !secondToken && !IsAbsolutePath(second) &&
            !IsRelativeInstallToken(s.secondFolder)) {
            Error(where, "second folder " + Show(s.secondFolder) +
                             " is not an absolute path and begins with no folder "
                             "token");
        }
        auto length = [&](const char* what, const std::string& path, bool token) {
            if (token) {
                CheckTokenLength(where, what, path);
            } else {
                CheckLength(where, what, path, IsRelativeInstallToken(path));
            }
        };
        if (!s.name.empty()) length("the shortcut's path", BuildShortcutPath(folder, s.name), folderToken);
        length("the folder", folder, folderToken);
        if (!second.empty()) length("the second folder", second, secondToken);
        for (const std::string* built : {&folder, &second}) {
            if (!built->empty() && IsRefusedNetworkFolder(InstallDir().c_str(), built->c_str())) {
                Warn("network-folder", where,
                     "folder " + Show(*built) +
                         " is a network path outside the installation's share: "
                         "it may reach any folder, so the shortcut folder pass never removes it");
            }
        }
        std::string judged = TypicalPath(folder, true);
        std::string judgedSecond = TypicalPath(second, true);
        if (auto shared = SharedFolderName(judged)) {
            Warn("shared-shortcut-folder", where,
                 "folder " + Show(folder) + " looks like " + *shared +
                     ": the shortcut folder pass never removes it, and no level climbs above it");
        } else {
            CheckClimb(where, "folder", folder, s.levels);
        }
        if (!second.empty() && !SharedFolderName(judgedSecond)) {
            CheckClimb(where, "second folder", second, s.levels);
        }
        CheckSecondFolder(where, s, second, judgedSecond);
    }
}

}  // namespace pack
