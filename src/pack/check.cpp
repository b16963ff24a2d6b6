#include "pack/check.h"

#include <algorithm>
#include <string_view>
#include <unordered_map>

#include "data/messages.h"
#include "pack/languages.h"
#include "pack/plan_paths.h"
#include "pack/suggest.h"
#include "removal/pattern_guard.h"
#include "removal/registry_guard.h"

namespace pack {

using namespace format;

namespace {

// Without a known install folder, a relative path must leave at least this much room for one
// ("C:\Program Files\Vendor\Product\" is about 40 characters).
constexpr size_t kTypicalInstallDirLength = 48;
constexpr size_t kShortestInstallDirLength = 5;  // "C:\A\"

std::string Lower(std::string text) {
    for (char& c : text) {
        if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
    }
    return text;
}

std::string Trimmed(const std::string& path) {
    size_t first = path.find_first_not_of('\\');
    if (first == std::string::npos) return "";
    size_t last = path.find_last_not_of('\\');
    return path.substr(first, last - first + 1);
}

size_t Components(const std::string& path) {
    std::string t = Trimmed(path);
    if (t.empty()) return 0;
    size_t n = 1;
    for (size_t i = 0; i + 1 < t.size(); ++i) {
        if (t[i] == '\\' && t[i + 1] != '\\') ++n;
    }
    return n;
}

class Checker {
  public:
    Checker(const Manifest& manifest, const CheckOptions& options) : m_(manifest), options_(options) {
        std::string error;
        page_ = CodePage::Open(manifest.codePage, &error);
        installDir_ = options.installDir ? NormalizeInstallDir(*options.installDir) : std::string();
    }

    std::vector<Finding> Run() {
        CheckFiles();
        CheckShortcuts();
        CheckRegistry();
        CheckPatterns();
        CheckMessages();
        CheckUnattended();
        CheckLanguageOverrides();
        CheckSettings();
        if (m_.complete && m_.block.files.empty() && m_.block.shortcuts.empty() &&
            m_.block.registry.empty() && m_.block.patterns.empty()) {
            Warn("empty-manifest", "",
                 "lists no files, shortcuts, registry entries or patterns: the uninstaller removes nothing");
        }
        return std::move(findings_);
    }

  private:
    void Error(const std::string& where, const std::string& message) {
        findings_.push_back({Severity::kError, where, message});
    }
    // A warning has a name from kWarningNames, by which an entry's "accept" takes it.
    void Warn(const char* name, const std::string& where, const std::string& message) {
        findings_.push_back({Severity::kWarning, where, message, name});
    }

    // A text of the block as UTF-8, quoted, for messages.
    std::string Show(const std::string& text) const {
        std::string utf8;
        if (!page_ || !page_->ToUtf8(text, utf8, nullptr)) utf8 = text;
        return "\"" + utf8 + "\"";
    }

    bool IsDoubleByteLead(unsigned char c) const {
        switch (m_.codePage) {
            case 932:
                return (c >= 0x81 && c <= 0x9F) || (c >= 0xE0 && c <= 0xFC);
            case 936:
            case 949:
            case 950:
                return c >= 0x81 && c <= 0xFE;
            default:
                return false;
        }
    }

    // Double-byte code pages: a character whose second byte is that of "\" is cut by the
    // uninstaller's byte-wise backslash scans.
    void CheckTrailBackslash(const std::string& where, const std::string& text) {
        for (size_t i = 0; i + 1 < text.size(); ++i) {
            if (IsDoubleByteLead(static_cast<unsigned char>(text[i]))) {
                if (text[i + 1] == '\\') {
                    Warn("double-byte-backslash", where,
                         "a double-byte character ends in the byte of \"\\\": the uninstaller's byte-wise "
                         "backslash scans split the path inside it");
                    return;
                }
                ++i;
            }
        }
    }

    // The components of a file entry's folder and name: ".." climbs; Windows drops a component's
    // trailing dots and spaces, so "..." and "name." name other folders than they say.
    void CheckComponents(const std::string& where, const std::string& folder, const std::string& name) {
        bool climbs = false;
        std::string odd;
        for (const std::string* text : {&folder, &name}) {
            size_t at = 0;
            while (at <= text->size()) {
                size_t end = text->find_first_of("\\/", at);
                if (end == std::string::npos) end = text->size();
                std::string part = text->substr(at, end - at);
                at = end + 1;
                if (part == "..") {
                    climbs = true;
                } else if (!part.empty() && part != "." && (part.back() == '.' || part.back() == ' ') &&
                           odd.empty()) {
                    odd = part;
                }
            }
        }
        if (climbs) Error(where, "the path climbs with \"..\": it may name a file outside the installation");
        if (odd.find_first_not_of(". ") == std::string::npos && !odd.empty()) {
            Warn("trailing-dot", where,
                 "component " + Show(odd) +
                     " is no climb, but Windows drops its trailing dots and spaces: it "
                     "names the folder it stands in");
        } else if (!odd.empty()) {
            Warn("trailing-dot", where,
                 "component " + Show(odd) +
                     " ends in a dot or a space, which Windows drops: the uninstaller acts on "
                     "a different name than the one written");
        }
    }

    // Checks the length of a built path; `relative` paths begin with the install folder.
    void CheckLength(const std::string& where, const std::string& what, const std::string& path,
                     bool relative) {
        if (!relative || options_.installDir) {
            if (path.size() > kPathLimit) {
                Error(where, what + " is " + std::to_string(path.size()) +
                                 " characters long: the uninstaller skips it (at most " +
                                 std::to_string(kPathLimit) + ")");
            }
            return;
        }
        size_t own = path.size() - std::string(kUnknownInstallDir).size();
        if (own + kShortestInstallDirLength > kPathLimit) {
            Error(where, what + " takes " + std::to_string(own) +
                             " characters after the install folder: it cannot fit " +
                             std::to_string(kPathLimit) + " with any install folder");
        } else if (own + kTypicalInstallDirLength > kPathLimit) {
            Warn("long-path", where,
                 what + " takes " + std::to_string(own) + " characters after the install folder, leaving " +
                     std::to_string(kPathLimit - own) +
                     " for it: a deeper install folder makes the uninstaller skip it");
        }
    }

    std::string InstallDir() const { return options_.installDir ? installDir_ : kUnknownInstallDir; }

    // A stored folder (`what`: "folder", "second folder") that begins with "#": it must begin with a
    // folder token the uninstaller knows, followed by a backslash or nothing. False, after an error,
    // when the uninstaller would skip the entry. A known token's name later in any folder is no
    // token: only the one at the start is expanded.
    bool CheckFolderToken(const std::string& where, const char* what, const std::string& folder) {
        size_t lead = LeadingTokenLength(folder.c_str());
        for (const auto& t :
             TokensOf(folder.empty() || (folder[0] == '#' && lead == 0) ? "" : folder.substr(lead))) {
            if (IsKnownToken(t)) {
                Warn("token-in-name", where,
                     std::string(what) + " " + Show(folder) + " holds " + Show(t) +
                         " after its start: only a "
                         "folder token at the start is expanded, this one is part of a name");
                break;
            }
        }
        if (folder.empty() || folder[0] != '#') return true;
        auto token = LeadingToken(folder);
        if (!token) {
            Error(where, std::string(what) + " " + Show(folder) +
                             " begins with \"#\" but not with a folder token "
                             "followed by a backslash: the uninstaller skips the entry");
            return false;
        }
        if (!IsKnownToken(*token)) {
            Error(where, std::string(what) + " " + Show(folder) + ": folder token " + Show(*token) +
                             " is unknown, and the uninstaller skips the entry (known tokens: " +
                             KnownTokenList() + ")");
            return false;
        }
        return true;
    }

    // True when `folder` begins with #InstallDir#: the install folder, whose length is measured as a
    // relative entry's is.
    static bool IsRelativeInstallToken(const std::string& folder) {
        auto token = LeadingToken(folder);
        return token && EqualsNoCase(*token, "#InstallDir#");
    }

    // True when `folder` begins with a token that names a folder of the machine (not #InstallDir#).
    static bool HasMachineToken(const std::string& folder) {
        auto token = LeadingToken(folder);
        return token && IsKnownToken(*token) && !EqualsNoCase(*token, "#InstallDir#");
    }

    // A path that begins with a folder token, measured as it is on a typical NT machine.
    void CheckTokenLength(const std::string& where, const std::string& what, const std::string& path) {
        std::string typical = TypicalPath(path, true);
        size_t own = path.size() - LeadingToken(path)->size();
        if (own + 3 > kPathLimit) {
            Error(where, what + " takes " + std::to_string(own) +
                             " characters after its folder token: it cannot fit " +
                             std::to_string(kPathLimit) + " with any folder");
        } else if (typical.size() > kPathLimit) {
            Warn("long-path", where,
                 what + " is " + std::to_string(typical.size()) +
                     " characters long on a typical NT machine (" + Show(typical) +
                     "): the uninstaller skips it where it does not fit " + std::to_string(kPathLimit));
        }
    }

    void CheckFiles() {
        // The first file entry below each folder, to catch folder entries listed after their files.
        std::unordered_map<std::string, size_t> firstFileBelow;
        const auto& files = m_.block.files;
        for (size_t i = 0; i < files.size(); ++i) {
            const auto& f = files[i];
            std::string where = EntryPath(m_, "files", i);
            bool dotted = !f.folder.empty() && f.folder[0] == '.';
            if (!CheckFolderToken(where, "folder", f.folder)) continue;
            std::string path = BuildEntryPath(InstallDir(), f.folder, f.name);
            CheckTrailBackslash(where, f.folder + f.name);
            if (HasMachineToken(f.folder)) {
                // Looked up on the machine, then taken as an absolute folder.
                CheckComponents(where, f.folder.substr(LeadingToken(f.folder)->size()), f.name);
                CheckTokenLength(where, "the path", path);
                if (f.name.empty()) {
                    if (f.flags)
                        Warn("folder-flags", where, "is a folder entry (no name): its flags are ignored");
                    if (auto shared = SharedFolderName(TypicalPath(path, true))) {
                        Warn("shared-folder-entry", where,
                             "folder entry " + Show(path) + " looks like " + *shared +
                                 ", which the uninstaller never removes");
                    }
                    continue;
                }
                std::string key = Lower(path);
                for (size_t cut = key.rfind('\\'); cut != std::string::npos && cut > 0;
                     cut = key.rfind('\\', cut - 1)) {
                    firstFileBelow.emplace(key.substr(0, cut), i);
                }
                CheckSystemFile(where, TypicalPath(path, true), f.flags);
                continue;
            }
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
                continue;
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
            if (IsVerbatimOrDevice(path)) {
                Error(where, "path " + Show(path) +
                                 " uses the \\\\?\\ or \\\\.\\ namespace, which the uninstaller "
                                 "cannot check: it skips the entry");
                continue;
            }
            if (f.name.empty()) {
                if (f.flags)
                    Warn("folder-flags", where, "is a folder entry (no name): its flags are ignored");
                if (IsRefusedNetworkFolder(InstallDir().c_str(), path.c_str())) {
                    Warn(
                        "network-folder", where,
                        "folder entry " + Show(path) +
                            " is a network path outside the installation's share: "
                            "it may reach any folder, so the uninstaller never removes it or climbs from it");
                    continue;
                }
                if (auto shared = SharedFolderOutside(path, InstallDir())) {
                    Warn("shared-folder-entry", where,
                         "folder entry " + Show(path) + " looks like " + *shared +
                             ", which the uninstaller never removes");
                }
                continue;
            }
            if (!dotted || options_.installDir) CheckSystemFile(where, path, f.flags);
            // Every folder above the file, as the file pass builds folder entries' paths.
            std::string key = Lower(path);
            for (size_t cut = key.rfind('\\'); cut != std::string::npos && cut > 0;
                 cut = key.rfind('\\', cut - 1)) {
                firstFileBelow.emplace(key.substr(0, cut), i);
            }
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

    static bool IsVerbatimOrDevice(const std::string& path) {
        return path.size() >= 4 && path[0] == '\\' && path[1] == '\\' && (path[2] == '?' || path[2] == '.') &&
               path[3] == '\\';
    }

    // A file of the system, or one that every program shares, is not the installation's to remove:
    // the Windows folder, the System folder and Windows's own folders are the system's (error);
    // Common Files and the Fonts folder are shared by every program (warning; a font the
    // installation added goes with the font flag, which removes it from the system first).
    void CheckSystemFile(const std::string& where, const std::string& path, uint8_t flags) {
        // Windows reads "/" as a separator too.
        size_t cut = path.find_last_of("\\/");
        if (cut == std::string::npos) return;
        std::string folder = path.substr(0, cut);
        std::string lower = Lower(folder);
        for (char& c : lower) c = c == '/' ? '\\' : c;
        while (!lower.empty() && (lower.back() == '\\' || lower.back() == ' ' || lower.back() == '.'))
            lower.pop_back();
        auto endsWith = [&lower](const std::string& tail) {
            return lower.size() >= tail.size() &&
                   lower.compare(lower.size() - tail.size(), tail.size(), tail) == 0;
        };
        bool fonts = lower.size() >= 3 && lower[1] == ':' &&
                     (endsWith(":\\windows\\fonts") || endsWith(":\\winnt\\fonts"));
        if (fonts) {
            if (!(flags & kFileFont)) {
                Warn("shared-file", where,
                     "file " + Show(path) +
                         " is in the Fonts folder, which every program shares: "
                         "without the font flag it is deleted while Windows still lists it as a font");
            }
            return;
        }
        bool commonFiles = (lower + "\\").find("\\common files\\") != std::string::npos;
        bool commonFilesItself = endsWith("\\common files");
        if (!commonFilesItself && IsRefusedPatternFolder(folder.c_str())) {
            Error(where, "file " + Show(path) +
                             " is in the system's own folders (the Windows and System folders, "
                             "Windows's folders in Program Files and Common Files, a drive's root): it "
                             "belongs to Windows, "
                             "and removing it can break the machine");
        } else if (commonFiles && !(flags & kFileShared)) {
            Warn("shared-file", where,
                 "file " + Show(path) +
                     " is in Common Files, which programs share: another "
                     "program may still need it (mark it shared, so its count decides)");
        }
    }

    void CheckClimb(const std::string& where, const char* which, const std::string& folder, uint32_t levels) {
        if (folder.empty()) return;
        // How many parents the climb may take before it reaches a folder that all programs share.
        std::string current = folder;
        for (uint32_t k = 1; k <= levels; ++k) {
            auto parent = ParentFolder(current);
            if (!parent) return;
            current = *parent;
            auto shared = SharedFolderName(TypicalPath(current, true));
            if (shared || Components(TypicalPath(current, true)) <= 2) {
                std::string name = shared ? *shared : "a folder just below the drive's root";
                Warn("climb-shared", where,
                     std::string("level count ") + std::to_string(levels) + " climbs from the " + which +
                         " up to " + Show(current) + " (" + name + "): at most " + std::to_string(k - 1) +
                         " keeps the climb inside the program's own menu folders");
                return;
            }
        }
    }

    void CheckShortcuts() {
        const auto& shortcuts = m_.block.shortcuts;
        for (size_t i = 0; i < shortcuts.size(); ++i) {
            const auto& s = shortcuts[i];
            std::string where = EntryPath(m_, "shortcuts", i);
            CheckTrailBackslash(where, s.folder + s.secondFolder + s.name);
            if (!s.name.empty() && !IsPlainShortcutName(s.name)) {
                Error(where,
                      "file name " + Show(s.name) +
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
            if (!s.name.empty())
                length("the shortcut's path", BuildShortcutPath(folder, s.name), folderToken);
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

    void CheckRegistry() {
        const auto& entries = m_.block.registry;
        for (size_t i = 0; i < entries.size(); ++i) {
            const auto& r = entries[i];
            std::string where = EntryPath(m_, "registry", i);
            const char* root = RootName(r.root);
            std::string rootName = root ? root : "this root";
            if (r.root == kRootPerformanceData) {
                Error(where, "HKPD is no key that can be removed: the uninstaller skips the entry");
                continue;
            } else if (r.root == kRootDynData) {
                Warn("hkdd", where, "HKDD exists only on Windows 9x: the entry does nothing on NT");
            }
            RegistryPathParts parts = SplitRegistryPath(r.keyPath);
            if (parts.kind == RegistryEntryKind::kSkipped) {
                Warn("skipped-key", where,
                     r.keyPath.empty() ? std::string("has an empty key path: the uninstaller skips it")
                                       : "names " + rootName + "\\" + r.keyPath +
                                             " itself: the uninstaller never removes it and skips the entry");
                continue;
            }
            // A doubled backslash inside the key is an empty key name: Windows refuses or skips it,
            // and the key named is not the one written.
            std::string trimmed = Trimmed(parts.key);
            if (trimmed.find("\\\\") != std::string::npos) {
                Error(where,
                      "key " + Show(parts.key) +
                          " holds a doubled backslash inside it: an empty key name, which "
                          "names another key than the one written (write one backslash between key names)");
            }
            if (parts.kind == RegistryEntryKind::kValue) {
                if (trimmed.empty()) {
                    Warn("root-value", where,
                         "removes the value " + Show(parts.value) + " directly under " + rootName);
                }
                continue;
            }
            if (trimmed.empty() || EqualsNoCase(trimmed, "Software") || EqualsNoCase(trimmed, "System")) {
                Error(where, "key " + Show(r.keyPath) + " names " + rootName + "'s whole " +
                                 (trimmed.empty() ? std::string("root") : trimmed) +
                                 " key under another spelling");
                continue;
            }
            if (trimmed != r.keyPath) {
                Warn("key-backslash", where,
                     "key " + Show(r.keyPath) + " begins or ends with a backslash; write it without");
            }
            if (IsRefusedRegistryKey(r.root, r.keyPath.c_str())) {
                Error(where, "key " + Show(r.keyPath) +
                                 " is one that Windows or every program needs: removing it with "
                                 "its subkeys breaks the machine (the uninstaller refuses it)");
                continue;
            }
            if (Components(trimmed) == 2 && EqualsNoCase(trimmed.substr(0, 9), "Software\\")) {
                Warn("vendor-key", where,
                     "removes " + rootName + "\\" + trimmed +
                         " with every subkey: every product stored under it goes too");
            }
        }
    }

    void ErrorSystemTree(const std::string& where, const std::string& folder) {
        Error(where, "cleans in " + Show(folder) +
                         ", inside the system's own folders (the Windows and System "
                         "folders, Windows's folders in Program Files and Common Files): the uninstaller "
                         "refuses the pattern");
    }

    void CheckPatterns() {
        // Token folders the uninstaller protects itself, and those it would clean whole.
        const auto& patterns = m_.block.patterns;
        for (size_t i = 0; i < patterns.size(); ++i) {
            const std::string& p = patterns[i];
            std::string where = EntryPath(m_, "patterns", i);
            CheckTrailBackslash(where, p);
            if (p.find('/') != std::string::npos) {
                Error(where, "holds \"/\": the uninstaller lists one folder and deletes in another");
                continue;
            }
            bool unclosed = false;
            auto tokens = TokensOf(p, &unclosed);
            bool unknown = false;
            for (const auto& t : tokens) {
                if (!IsKnownToken(t)) {
                    Error(where,
                          "token " + Show(t) +
                              " is unknown: it expands to nothing and leaves a path that is not absolute "
                              "(known tokens: " +
                              KnownTokenList() + ")");
                    unknown = true;
                }
            }
            if (unknown) continue;
            if (unclosed) {
                Error(where, "holds a \"#\" without its closing \"#\"");
                continue;
            }
            PatternPath path = PlanPatternPath(InstallDir(), p);
            if (!tokens.empty() && p[0] != '#') {
                Error(where,
                      "a pattern with a folder token must begin with it: otherwise it is no absolute path");
                continue;
            }
            // A token expands to its folder without a final backslash: the text glued to it
            // lengthens the folder's last name ("#InstallDir#Logs" is C:\AppLogs, beside C:\App).
            if (!tokens.empty() && p.size() > tokens.front().size() && p[tokens.front().size()] != '\\') {
                Error(where, "folder token " + Show(tokens.front()) +
                                 " is not followed by a backslash: the text after it lengthens the name of "
                                 "its folder, and the pattern cleans outside it (write " +
                                 Show(tokens.front() + "\\" + p.substr(tokens.front().size())) + ")");
                continue;
            }
            if (tokens.empty() && (IsAbsolutePath(p) || (p.size() > 1 && p[1] == ':') || p[0] == '\\')) {
                Error(where,
                      "is written as an absolute path without a token: the uninstaller puts the install "
                      "folder in front of it");
                continue;
            }
            if (!path.split || path.mask.empty()) {
                Error(where, "has no file mask after its last backslash");
                continue;
            }
            if (path.mask == "." || path.mask == ".." || path.mask.find(':') != std::string::npos) {
                Error(where, "mask " + Show(path.mask) + " is no file mask");
                continue;
            }
            std::string folderPart = p.substr(0, p.size() - path.mask.size());
            if (("\\" + folderPart).find("\\..\\") != std::string::npos) {
                Error(where, "climbs with \"..\": it reaches outside the " +
                                 std::string(tokens.empty() ? "install folder" : "token's folder"));
                continue;
            }
            if (("\\" + folderPart).find("\\.\\") != std::string::npos) {
                Warn("pattern-dot-folder", where, "holds a \".\" folder: write the folder without it");
            }
            bool everything = path.mask == "*" || path.mask == "*.*";
            if (!tokens.empty()) {
                std::string rootToken = tokens.front();
                bool atRoot =
                    EqualsNoCase(folderPart, rootToken + "\\") || EqualsNoCase(folderPart, rootToken);
                // Every token's own folder but the install folder is protected: the run skips such a
                // pattern whole, as plan shows.
                if (atRoot && ProtectedTokenFolder(rootToken, true)) {
                    Warn("protected-pattern", where,
                         rootToken + " is a protected folder: the uninstaller skips the pattern");
                } else if (IsRefusedPatternFolder(path.folder.c_str())) {
                    ErrorSystemTree(where, path.folder);
                } else if (auto shared = SharedFolderName(path.folder)) {
                    Warn("shared-pattern", where,
                         "matches in " + Show(path.folder) + ", which looks like " + *shared +
                             " that all programs share");
                } else if (everything) {
                    Warn("every-file", where,
                         "deletes every file in " + Show(path.folder) + " and all its subfolders");
                }
            } else {
                if (options_.installDir && IsRefusedPatternFolder(path.folder.c_str()))
                    ErrorSystemTree(where, path.folder);
                CheckLength(where, "the pattern's path", path.full, true);
                if (everything && (folderPart.empty())) {
                    Warn("every-file", where,
                         "deletes every file of the install folder and all its subfolders");
                }
            }
        }
    }

    void CheckMessages() {
        const auto& messages = m_.block.messages;
        for (size_t n = 0; n < messages.size() && n < kMessageCount; ++n) {
            const std::string& text = messages[n];
            std::string where = std::string("messages.") + kMessageKeys[n];
            // Messages formatted with a path: the load errors (1, 5, 7, 8) and the two questions.
            bool formatted = n == kMsgConfirm || n == kMsgNo || n == kMsgNoMemory || n == kMsgBadHeader ||
                             n == kMsgReadOnlyQuestion || n == kMsgSharedFileQuestion;
            size_t placeholders = 0;
            bool doubled = false;
            std::string others;
            for (size_t i = 0; i < text.size(); ++i) {
                if (text[i] != '%') continue;
                char next = i + 1 < text.size() ? text[i + 1] : '\0';
                if (next == 's') {
                    ++placeholders;
                } else if (next == '%') {
                    doubled = true;
                } else if (others.find(std::string("%") + next) == std::string::npos) {
                    others += (others.empty() ? "" : ", ") +
                              (next ? std::string("%") + next : std::string("a final %"));
                }
                if (next) ++i;
            }
            if (!others.empty()) {
                if (placeholders) {
                    Error(where, "holds " + others +
                                     " beside %s: a formatter of the format string would read an argument "
                                     "that is not there (only %s and %% may stand in such a text)");
                } else {
                    Warn("format-directive", where,
                         "holds " + others + ": only %s and %% are directives of a message");
                }
            }
            if (placeholders > 1)
                Warn("repeated-placeholder", where,
                     "holds %s " + std::to_string(placeholders) + " times: write the path once");
            if (placeholders && !formatted) {
                Warn("unused-placeholder", where,
                     "holds %s, but this message is shown as it stands: the %s is shown, not a path");
            } else if (placeholders && (n == kMsgConfirm || n == kMsgNo)) {
                Warn("unused-placeholder", where,
                     "holds %s: only a load error formats this message; where it is shown otherwise the %s "
                     "stays");
            }
            if (doubled && !placeholders)
                Warn("double-percent", where, "holds %% without %s: it is shown as two percent signs");
            if (formatted) {
                size_t length = text.size();
                if (placeholders) length += placeholders * kPathLimit - placeholders * 2;
                if (length > kMessageBufferSize - 1) {
                    Warn("long-message", where,
                         "takes " + std::to_string(length) + " bytes" +
                             (placeholders ? " with a path of " + std::to_string(kPathLimit) + " characters"
                                           : std::string()) +
                             ": the message buffer holds " + std::to_string(kMessageBufferSize - 1) +
                             ", the rest is cut");
                }
            }
            if (text.empty()) {
                switch (n) {
                    case kMsgCaption:
                        Warn("empty-message", where, "is empty: every box and dialog has an empty caption");
                        break;
                    case kMsgConfirm:
                    case kMsgFileInUse:
                        Warn("empty-message", where, "is empty: the box is still shown, with no text");
                        break;
                    case kMsgYes:
                    case kMsgYesToAll:
                    case kMsgNo:
                    case kMsgNoToAll:
                        Warn("empty-message", where,
                             "is empty: a button of the read-only question has no label");
                        break;
                    // "unattended": true says so on purpose.
                    case kMsgReadOnlyQuestion:
                        if (m_.unattended != true)
                            Warn("empty-message", where,
                                 "is empty: every read-only listed file is removed without a question");
                        break;
                    case kMsgSharedFileQuestion:
                        if (m_.unattended != true) {
                            Warn("empty-message", where,
                                 "is empty: shared files no other program uses are removed without a "
                                 "question");
                        }
                        break;
                    default:
                        break;
                }
            }
        }
    }

    // The two questions of the file pass are asked in every mode: a run with /S or /Q that a
    // deployment tool starts on a desktop nobody sees waits for ever. The manifest says which it wants.
    void CheckUnattended() {
        if (m_.unattended) return;
        bool files = false;
        bool shared = false;
        for (const auto& f : m_.block.files) {
            if (f.name.empty()) continue;
            files = true;
            shared = shared || (f.flags & kFileShared);
        }
        auto asks = [this](int n) {
            return static_cast<size_t>(n) < m_.block.messages.size() && !m_.block.messages[n].empty();
        };
        bool readOnly = files && asks(kMsgReadOnlyQuestion);
        bool sharedFiles = shared && asks(kMsgSharedFileQuestion);
        if (!readOnly && !sharedFiles) return;
        std::string questions =
            readOnly && sharedFiles
                ? "the read-only question (message 9) and the shared-file question (message 10)"
            : readOnly ? "the read-only question (message 9), for any listed file that is read-only"
                       : "the shared-file question (message 10)";
        Warn("unattended", "",
             "runs with /S and /Q still stop at " + questions +
                 " and wait for an answer that no one may be there to give; add \"unattended\": true to "
                 "leave the questions out (read-only files are removed, shared files when their count runs "
                 "out), or \"unattended\": false to keep them");
    }

    // Messages the manifest gives beside a language: each replaces the table's text. The caption,
    // the confirmation and the closing message name the product and are the author's to write; any
    // other text, and an English default anywhere, hides a translation the table has.
    void CheckLanguageOverrides() {
        if (m_.language.empty() || !page_) return;
        const Language* language = FindLanguage(m_.language);
        if (!language) return;
        const auto& messages = m_.block.messages;
        for (size_t n = 0; n < messages.size() && n < kMessageCount; ++n) {
            if (!m_.givenMessages[n]) continue;
            std::string table;
            if (!page_->FromUtf8(language->messages[n], table, nullptr, CodePage::Use::kMessage)) continue;
            const std::string& text = messages[n];
            if (text == table) continue;
            std::string where = std::string("messages.") + kMessageKeys[n];
            bool productText = n == kMsgCaption || n == kMsgConfirm || n == kMsgFinished;
            if (text == kDefaultMessages[n]) {
                Warn("language-override", where,
                     "is the English default text: it replaces the " + language->tag + " table's " +
                         Show(table) + " (leave the message out to use the table's)");
            } else if (!productText) {
                Warn("language-override", where,
                     "replaces the " + language->tag + " table's " + Show(table) +
                         " (leave the message out to use the table's)");
            }
        }
    }

    void CheckSettings() {
        if (!m_.block.settings) return;
        const auto& s = *m_.block.settings;
        if (s.command) {
            if (s.command->empty()) {
                Error("settings.runFirst", "is empty: the uninstaller would try to run its install folder");
            } else {
                RunFirstCommand run = ComposeRunFirst(InstallDir(), *s.command);
                bool unclosed = false;
                for (const auto& t : TokensOf(*s.command, &unclosed)) {
                    if (!IsKnownToken(t)) {
                        Warn("unknown-token", "settings.runFirst",
                             "token " + Show(t) + " is unknown: it expands to nothing (known tokens: " +
                                 KnownTokenList() + ")");
                    }
                }
                if (!run.tokenForm)
                    CheckLength("settings.runFirst", "the composed command", run.composed, true);
                if (!run.absolute) {
                    Error("settings.runFirst",
                          "program " + Show(run.program) +
                              " is not a whole path (\"X:\\...\" or "
                              "\"\\\\server\\share\\...\"): the uninstaller does not run it");
                }
                if ((*s.command)[0] == '"' && s.command->find('"', 1) == std::string::npos) {
                    Warn("unclosed-quote", "settings.runFirst",
                         "begins with a double quote that is never closed");
                }
            }
        } else if (s.flags & kSettingsWaitForRun) {
            Warn("wait-without-run", "settings.waitForRun",
                 "is set, but there is no runFirst program to wait for");
        }
        if (s.document) {
            const std::string& d = *s.document;
            bool web = Lower(d.substr(0, 7)) == "http://" || Lower(d.substr(0, 8)) == "https://";
            if (d.empty()) {
                Warn("empty-document", "settings.document",
                     "is empty: the uninstaller tries to open an empty document");
            } else if (!web && !IsAbsolutePath(d)) {
                Warn("document-kind", "settings.document",
                     "is neither a web address (http:// or https://) nor an absolute path");
            } else if (d.size() >= 520) {
                Error("settings.document", "is " + std::to_string(d.size()) +
                                               " characters long: the uninstaller opens at most 519");
            }
        }
    }

    const Manifest& m_;
    const CheckOptions& options_;
    std::unique_ptr<CodePage> page_;
    std::string installDir_;
    std::vector<Finding> findings_;
};

}  // namespace

const std::vector<std::string>& WarningNames() {
    static const std::vector<std::string> names = {
        "climb-shared",
        "document-kind",
        "dot-folder",
        "double-byte-backslash",
        "double-percent",
        "empty-document",
        "empty-manifest",
        "empty-message",
        "empty-shortcut",
        "every-file",
        "folder-flags",
        "folder-order",
        "format-directive",
        "hkdd",
        "key-backslash",
        "language-override",
        "long-message",
        "long-path",
        "network-folder",
        "pattern-dot-folder",
        "protected-pattern",
        "repeated-placeholder",
        "root-value",
        "shared-file",
        "shared-folder-entry",
        "shared-pattern",
        "shared-shortcut-folder",
        "skipped-key",
        "token-in-name",
        "trailing-dot",
        "unattended",
        "unclosed-quote",
        "unknown-token",
        "unused-placeholder",
        "vendor-key",
        "wait-without-run",
    };
    return names;
}

std::vector<Finding> CheckManifest(const Manifest& manifest, const CheckOptions& options) {
    std::vector<Finding> findings = Checker(manifest, options).Run();
    const auto& known = WarningNames();
    // The entry a finding is about: "files[3]" for "files[3].flags[0]", "settings" for
    // "settings.runFirst", "messages" for "messages.caption", "" for the whole manifest.
    auto entryOf = [](const std::string& where) {
        size_t bracket = where.find(']');
        if (bracket != std::string::npos && where.find('.') > bracket) return where.substr(0, bracket + 1);
        return where.substr(0, where.find('.'));
    };
    for (Finding& f : findings) {
        if (f.severity != Severity::kWarning) continue;
        auto accepted = manifest.accepted.find(entryOf(f.where));
        if (accepted == manifest.accepted.end()) continue;
        for (const auto& name : accepted->second) f.accepted = f.accepted || name == f.name;
    }
    for (const auto& [where, names] : manifest.accepted) {
        for (size_t k = 0; k < names.size(); ++k) {
            if (std::find(known.begin(), known.end(), names[k]) != known.end()) continue;
            std::string at = (where.empty() ? "" : where + ".") + "accept[" + std::to_string(k) + "]";
            findings.push_back({Severity::kError, at,
                                "\"" + names[k] + "\" is no warning's name" + DidYouMean(names[k], known) +
                                    " (docs/packer.md lists them; errors cannot be accepted)"});
        }
    }
    return findings;
}

std::string DescribeFinding(const std::string& file, const Finding& finding) {
    std::string out = file + ": ";
    if (!finding.where.empty()) out += finding.where + ": ";
    if (finding.severity == Severity::kError) {
        out += "error: ";
    } else {
        out += finding.name.empty() ? "warning: " : "warning[" + finding.name + "]: ";
    }
    return out + finding.message;
}

}  // namespace pack
