#include <unordered_map>

#include "pack/checker.h"

namespace pack {

using namespace format;

namespace {

// Notes entry `i` as the first file below every folder above `path` (compared in lower case), as the
// file pass builds folder entries' paths.
void NoteFoldersAbove(std::unordered_map<std::string, size_t>& firstFileBelow, const std::string& path,
                      size_t i) {
    std::string key = Lower(path);
    for (size_t cut = key.rfind('\\'); cut != std::string::npos && cut > 0; cut = key.rfind('\\', cut - 1)) {
        firstFileBelow.emplace(key.substr(0, cut), i);
    }
}

}  // namespace

void Checker::CheckFiles() {
    // The first file entry below each folder, to catch folder entries listed after their files.
    std::unordered_map<std::string, size_t> firstFileBelow;
    const auto& files = m_.block.files;
    for (size_t i = 0; i < files.size(); ++i) {
        const auto& f = files[i];
        std::string where = EntryPath(m_, "files", i);
        CheckControlCharacters(where, "folder", f.folder);
        CheckControlCharacters(where, "file name", f.name);
        if (!CheckFolderToken(where, "folder", f.folder)) continue;
        std::string path = BuildEntryPath(InstallDir(), f.folder, f.name);
        CheckTrailBackslash(where, f.folder + f.name);
        bool file =
            HasMachineToken(f.folder) ? CheckTokenFileEntry(where, f, path) : CheckFileEntry(where, f, path);
        if (file) NoteFoldersAbove(firstFileBelow, path, i);
    }
    for (size_t i = 0; i < files.size(); ++i) {
        const auto& f = files[i];
        if (!f.name.empty() || f.folder.empty()) continue;
        std::string path = BuildEntryPath(InstallDir(), f.folder, "");
        while (path.size() > 1 && path.back() == '\\') path.pop_back();
        auto found = firstFileBelow.find(Lower(path));
        if (found != firstFileBelow.end() && found->second < i) {
            Warn("folder-order", EntryPath(m_, "files", i),
                 "folder entry comes after " + EntryPath(m_, "files", found->second) +
                     " inside it: the file pass walks the list from its end, so it tries the folder "
                     "before its files "
                     "(list a folder entry before its files)");
        }
    }
}

bool Checker::CheckTokenFileEntry(const std::string& where, const FileSpec& f, const std::string& path) {
    // Looked up on the machine, then taken as an absolute folder.
    CheckComponents(where, f.folder.substr(LeadingToken(f.folder)->size()), f.name);
    CheckTokenLength(where, "the path", path);
    if (f.name.empty()) {
        CheckFolderEntry(where, f.flags, path, SharedFolderName(TypicalPath(path, true)));
        return false;
    }
    CheckSystemFile(where, TypicalPath(path, true), f.flags);
    return true;
}

bool Checker::CheckFileEntry(const std::string& where, const FileSpec& f, const std::string& path) {
    bool dotted = !f.folder.empty() && f.folder[0] == '.';
    // The path the uninstaller builds decides: an empty folder with a full-path name is absolute.
    bool installToken = IsRelativeInstallToken(f.folder);
    if (!dotted && !installToken && !IsAbsolutePath(path)) {
        if (f.folder.empty()) {
            Error(where, "has no folder: the uninstaller would take " + Show(f.name) +
                             " from whatever its current directory is");
        } else {
            Error(where, "folder " + Show(f.folder) +
                             " is neither absolute nor relative to the install folder "
                             "(\".\\\"): the uninstaller would take it from whatever its current "
                             "directory is");
        }
        return false;
    }
    // "/" is a separator to the uninstaller too: "./Bin" is ".\Bin".
    bool slashed = f.folder.size() >= 2 && (f.folder[1] == '\\' || f.folder[1] == '/');
    if (dotted && f.folder != "." && !slashed) {
        Warn("dot-folder", where,
             "folder " + Show(f.folder) +
                 " begins with \".\" but not \".\\\": the uninstaller takes the install folder "
                 "itself");
    }
    // Only ".\" folders append their text to the install folder; other dotted ones name it itself.
    bool appended = !dotted || slashed;
    CheckComponents(where,
                    !appended      ? ""
                    : dotted       ? f.folder.substr(2)
                    : installToken ? f.folder.substr(LeadingToken(f.folder)->size())
                                   : f.folder,
                    f.name);
    CheckLength(where, "the path", path, dotted || installToken);
    if (IsVerbatimOrDevicePath(path)) {
        Error(where, "path " + Show(path) +
                         " uses the \\\\?\\ or \\\\.\\ namespace, which the uninstaller "
                         "cannot check: it skips the entry");
        return false;
    }
    if (f.name.empty()) {
        bool network = IsRefusedNetworkFolder(InstallDir().c_str(), path.c_str());
        CheckFolderEntry(where, f.flags, path,
                         network ? std::nullopt : SharedFolderOutside(path, InstallDir()));
        if (network) {
            Warn("network-folder", where,
                 "folder entry " + Show(path) +
                     " is a network path outside the installation's share: "
                     "it may reach any folder, so the uninstaller never removes it or climbs from it");
        }
        return false;
    }
    if (!dotted || options_.installDir) CheckSystemFile(where, path, f.flags);
    return true;
}

void Checker::CheckFolderEntry(const std::string& where, uint8_t flags, const std::string& path,
                               const std::optional<std::string>& shared) {
    if (flags) Warn("folder-flags", where, "is a folder entry (no name): its flags are ignored");
    if (shared) {
        Warn("shared-folder-entry", where,
             "folder entry " + Show(path) + " looks like " + *shared +
                 ", which the uninstaller never removes");
    }
}

}  // namespace pack
