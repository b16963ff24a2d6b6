#include "pack/checker.h"
#include "removal/pattern_guard.h"

namespace pack {

using namespace format;

std::vector<Finding> Checker::Run() {
    CheckFiles();
    CheckShortcuts();
    CheckRegistry();
    CheckPatterns();
    CheckMessages();
    CheckUnattended();
    CheckLanguageOverrides();
    CheckProductTexts();
    CheckSettings();
    CheckPerUserPlaces();
    if (m_.complete && m_.block.files.empty() && m_.block.shortcuts.empty() && m_.block.registry.empty() &&
        m_.block.patterns.empty()) {
        Warn("empty-manifest", "",
             "lists no files, shortcuts, registry entries or patterns: the uninstaller removes nothing");
    }
    return std::move(findings_);
}

void Checker::Error(const std::string& where, const std::string& message) {
    findings_.push_back({Severity::kError, where, message});
}

// A warning has a name from kWarningNames, by which an entry's "accept" takes it.
void Checker::Warn(const char* name, const std::string& where, const std::string& message) {
    findings_.push_back({Severity::kWarning, where, message, name});
}

// A text of the block as UTF-8, quoted, for messages.
std::string Checker::Show(const std::string& text) const {
    std::string utf8;
    std::string ignored;  // only whether it converts matters here
    if (!page_ || !page_->ToUtf8(text, utf8, ignored)) utf8 = text;
    return "\"" + utf8 + "\"";
}

bool Checker::IsDoubleByteLead(unsigned char c) const {
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
void Checker::CheckTrailBackslash(const std::string& where, const std::string& text) {
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

void Checker::CheckControlCharacters(const std::string& where, const char* what, const std::string& text) {
    for (unsigned char c : text) {
        if (c >= 0x20) continue;
        // Below 0x20 no byte is part of another character, in a double-byte code page either.
        static const char kHex[] = "0123456789ABCDEF";
        std::string shown = c == '\t'   ? "a tab"
                            : c == '\r' ? "a carriage return"
                            : c == '\n' ? "a line feed"
                                        : "";
        if (shown.empty()) shown = std::string("the control character 0x") + kHex[c >> 4] + kHex[c & 15];
        Error(where,
              std::string(what) + " holds " + shown +
                  ": the one-line findings, plan items and removal log lines that show it would break, "
                  "and no file name on Windows may hold one");
        return;
    }
}

// The components of a file entry's folder and name: ".." climbs; Windows drops a component's
// trailing dots and spaces, so "..." and "name." name other folders than they say.
void Checker::CheckComponents(const std::string& where, const std::string& folder, const std::string& name) {
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
void Checker::CheckLength(const std::string& where, const std::string& what, const std::string& path,
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
                         " characters after the install folder: it cannot fit " + std::to_string(kPathLimit) +
                         " with any install folder");
    } else if (own + kTypicalInstallDirLength > kPathLimit) {
        Warn("long-path", where,
             what + " takes " + std::to_string(own) + " characters after the install folder, leaving " +
                 std::to_string(kPathLimit - own) +
                 " for it: a deeper install folder makes the uninstaller skip it");
    }
}

// A stored folder (`what`: "folder", "second folder") that begins with "#": it must begin with a
// folder token the uninstaller knows, followed by a backslash or nothing. False, after an error,
// when the uninstaller would skip the entry. A known token's name later in any folder is no
// token: only the one at the start is expanded.
bool Checker::CheckFolderToken(const std::string& where, const char* what, const std::string& folder) {
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
bool Checker::IsRelativeInstallToken(const std::string& folder) {
    auto token = LeadingToken(folder);
    return token && EqualsNoCase(*token, "#InstallDir#");
}

// True when `folder` begins with a token that names a folder of the machine (not #InstallDir#).
bool Checker::HasMachineToken(const std::string& folder) {
    auto token = LeadingToken(folder);
    return token && IsKnownToken(*token) && !EqualsNoCase(*token, "#InstallDir#");
}

// A path that begins with a folder token, measured as it is on a typical NT machine.
void Checker::CheckTokenLength(const std::string& where, const std::string& what, const std::string& path) {
    std::string typical = TypicalPath(path, true);
    size_t own = path.size() - LeadingToken(path)->size();
    if (own + 3 > kPathLimit) {
        Error(where, what + " takes " + std::to_string(own) +
                         " characters after its folder token: it cannot fit " + std::to_string(kPathLimit) +
                         " with any folder");
    } else if (typical.size() > kPathLimit) {
        Warn("long-path", where,
             what + " is " + std::to_string(typical.size()) + " characters long on a typical NT machine (" +
                 Show(typical) + "): the uninstaller skips it where it does not fit " +
                 std::to_string(kPathLimit));
    }
}

// A file of the system, or one that every program shares, is not the installation's to remove:
// the Windows folder, the System folder and Windows's own folders are the system's (error);
// Common Files and the Fonts folder are shared by every program (warning; a font the
// installation added goes with the font flag, which removes it from the system first).
void Checker::CheckSystemFile(const std::string& where, const std::string& path, uint8_t flags) {
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

void Checker::CheckClimb(const std::string& where, const char* which, const std::string& folder,
                         uint32_t levels) {
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

}  // namespace pack
