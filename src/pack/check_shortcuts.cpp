#include "pack/checker.h"

namespace pack {

using namespace format;

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
    }
}

}  // namespace pack
