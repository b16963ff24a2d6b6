#include "pack/checker.h"
#include "removal/pattern_guard.h"

namespace pack {

using namespace format;

void Checker::ErrorSystemTree(const std::string& where, const std::string& folder) {
    Error(where, "cleans in " + Show(folder) +
                     ", inside the system's own folders (the Windows and System "
                     "folders, Windows's folders in Program Files and Common Files): the uninstaller "
                     "refuses the pattern");
}

void Checker::CheckPatterns() {
    // Token folders the uninstaller protects itself, and those it would clean whole.
    const auto& patterns = m_.block.patterns;
    for (size_t i = 0; i < patterns.size(); ++i) CheckPattern(EntryPath(m_, "patterns", i), patterns[i]);
}

void Checker::CheckPattern(const std::string& where, const std::string& p) {
    CheckControlCharacters(where, "pattern", p);
    CheckTrailBackslash(where, p);
    if (p.find('/') != std::string::npos) {
        Error(where, "holds \"/\": the uninstaller lists one folder and deletes in another");
        return;
    }
    bool unclosed = false;
    auto tokens = TokensOf(p, &unclosed);
    bool unknown = false;
    for (const auto& t : tokens) {
        if (!IsKnownToken(t)) {
            Error(where, "token " + Show(t) +
                             " is unknown: it expands to nothing and leaves a path that is not absolute "
                             "(known tokens: " +
                             KnownTokenList() + ")");
            unknown = true;
        }
    }
    if (unknown) return;
    if (unclosed) {
        Error(where, "holds a \"#\" without its closing \"#\"");
        return;
    }
    PatternPath path = PlanPatternPath(InstallDir(), p);
    if (!tokens.empty() && p[0] != '#') {
        Error(where, "a pattern with a folder token must begin with it: otherwise it is no absolute path");
        return;
    }
    // A token expands to its folder without a final backslash: the text glued to it
    // lengthens the folder's last name ("#InstallDir#Logs" is C:\AppLogs, beside C:\App).
    if (!tokens.empty() && p.size() > tokens.front().size() && p[tokens.front().size()] != '\\') {
        Error(where, "folder token " + Show(tokens.front()) +
                         " is not followed by a backslash: the text after it lengthens the name of "
                         "its folder, and the pattern cleans outside it (write " +
                         Show(tokens.front() + "\\" + p.substr(tokens.front().size())) + ")");
        return;
    }
    if (tokens.empty() && (IsAbsolutePath(p) || (p.size() > 1 && p[1] == ':') || p[0] == '\\')) {
        Error(where,
              "is written as an absolute path without a token: the uninstaller puts the install "
              "folder in front of it");
        return;
    }
    if (!path.split || path.mask.empty()) {
        Error(where, "has no file mask after its last backslash");
        return;
    }
    if (path.mask == "." || path.mask == ".." || path.mask.find(':') != std::string::npos) {
        Error(where, "mask " + Show(path.mask) + " is no file mask");
        return;
    }
    std::string folderPart = p.substr(0, p.size() - path.mask.size());
    if (("\\" + folderPart).find("\\..\\") != std::string::npos) {
        Error(where, "climbs with \"..\": it reaches outside the " +
                         std::string(tokens.empty() ? "install folder" : "token's folder"));
        return;
    }
    if (("\\" + folderPart).find("\\.\\") != std::string::npos) {
        Warn("pattern-dot-folder", where, "holds a \".\" folder: write the folder without it");
    }
    CheckPatternReach(where, tokens, path, folderPart);
}

void Checker::CheckPatternReach(const std::string& where, const std::vector<std::string>& tokens,
                                const PatternPath& path, const std::string& folderPart) {
    bool everything = path.mask == "*" || path.mask == "*.*";
    if (!tokens.empty()) {
        std::string rootToken = tokens.front();
        bool atRoot = EqualsNoCase(folderPart, rootToken + "\\") || EqualsNoCase(folderPart, rootToken);
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
            Warn("every-file", where, "deletes every file of the install folder and all its subfolders");
        }
    }
}

}  // namespace pack
