#include "pack/plan_paths.h"

#include <vector>

#include "common/text.h"
#include "driver/command_split.h"

namespace pack {

namespace {

char Upper(char c) { return AsciiUpper(c); }

bool EndsWithNoCase(const std::string& text, const std::string& tail) {
    if (tail.size() > text.size()) return false;
    for (size_t i = 0; i < tail.size(); ++i) {
        if (Upper(text[text.size() - tail.size() + i]) != Upper(tail[i])) return false;
    }
    return true;
}

const char* const kKnownTokens[] = {
    "#Windows#",      "#System#",           "#TempDir#",          "#CommonFiles#",     "#Program Files#",
    "#MyDocuments#",  "#Desktop#",          "#AppData#",          "#LocalAppData#",    "#AllUsersAppData#",
    "#AllUsersDocuments#", "#AllUsersDesktop#", "#UserDir#",      "#AllUsersDir#",     "#InstallDir#",
};

}  // namespace

bool EqualsNoCase(const std::string& a, const std::string& b) {
    if (a.size() != b.size()) return false;
    for (size_t i = 0; i < a.size(); ++i) {
        if (Upper(a[i]) != Upper(b[i])) return false;
    }
    return true;
}

std::string NormalizeInstallDir(const std::string& dir) {
    std::string out = dir;
    while (out.size() > 1 && out.back() == '\\') out.pop_back();
    out += '\\';
    return out;
}

void AppendBackslash(std::string& path) {
    if (!path.empty() && path.back() != '\\') path += '\\';
}

void StripTrailingBackslash(std::string& path) {
    if (path.size() > 3 && path.back() == '\\') path.pop_back();
}

std::string BuildEntryPath(const std::string& installDir, const std::string& folder, const std::string& name) {
    std::string path;
    if (!folder.empty() && folder[0] == '.') {
        path = installDir;
        if (folder.size() > 1 && folder[1] == '\\') path += folder.substr(2);
    } else {
        path = folder;
    }
    if (!name.empty()) {
        AppendBackslash(path);
        path += name;
    }
    return path;
}

std::optional<std::string> BuildProgramFolder(const std::string& installDir, const std::string& folder,
                                              const std::string& name) {
    std::string path = BuildEntryPath(installDir, folder, "");
    if (!name.empty()) {
        AppendBackslash(path);
        path += name;
        size_t cut = path.rfind('\\');
        if (cut == std::string::npos) return std::nullopt;
        path.resize(cut);
    }
    StripTrailingBackslash(path);
    return path;
}

PatternPath BuildPatternPath(const std::string& installDir, const std::string& pattern) {
    PatternPath out;
    out.hasTokens = pattern.find('#') != std::string::npos;
    if (out.hasTokens) {
        out.full = pattern;
    } else {
        out.full = installDir;
        AppendBackslash(out.full);
        out.full += pattern;
    }
    size_t cut = out.full.rfind('\\');
    if (cut == std::string::npos) return out;
    out.split = true;
    out.folder = out.full.substr(0, cut);
    out.mask = out.full.substr(cut + 1);
    return out;
}

std::string BuildShortcutPath(const std::string& folder, const std::string& name) {
    std::string path = folder;
    AppendBackslash(path);
    return path + name;
}

std::optional<std::string> ParentFolder(const std::string& folder) {
    size_t cut = folder.rfind('\\');
    if (cut == std::string::npos) return std::nullopt;
    return folder.substr(0, cut);
}

std::vector<ClimbStep> ShortcutClimb(uint32_t levels, const std::string& folder, const std::string& secondFolder) {
    std::vector<ClimbStep> steps;
    if (folder.empty()) return steps;
    ClimbStep step{folder, secondFolder};
    for (;;) {
        steps.push_back(step);
        if (levels == 0) break;
        --levels;
        auto parent = ParentFolder(step.folder);
        if (!parent) break;
        step.folder = *parent;
        if (!step.secondFolder.empty()) {
            auto second = ParentFolder(step.secondFolder);
            if (!second) break;
            step.secondFolder = *second;
        }
    }
    return steps;
}

bool IsAbsolutePath(const std::string& path) {
    bool drive = path.size() >= 3 && ((path[0] | 0x20) >= 'a' && (path[0] | 0x20) <= 'z') && path[1] == ':' &&
                 path[2] == '\\';
    if (drive) return true;
    if (path.size() < 5 || path[0] != '\\' || path[1] != '\\') return false;
    size_t server = path.find('\\', 2);
    return server != std::string::npos && server > 2 && server + 1 < path.size() && path[server + 1] != '\\';
}

std::optional<std::string> SharedFolderName(const std::string& path) {
    std::string p = path;
    while (p.size() > 3 && p.back() == '\\') p.pop_back();
    if (p.size() < 4) return "the drive's root";
    struct Known {
        const char* tail;
        bool belowRoot;  // only as a folder directly below a drive's root ("C:\Windows")
        const char* name;
    };
    static const Known kKnown[] = {
        {"\\Start Menu\\Programs\\Startup", false, "the Startup folder"},
        {"\\Start Menu\\Programs\\Accessories", false, "the Accessories menu"},
        {"\\Start Menu\\Programs\\Administrative Tools", false, "the Administrative Tools menu"},
        {"\\Start Menu\\Programs", false, "the Programs menu"},
        {"\\Start Menu", false, "the Start menu"},
        {"\\Desktop", false, "a desktop folder"},
        {"\\Quick Launch", false, "the Quick Launch folder"},
        {"\\Application Data", false, "an application-data folder"},
        {"\\AppData\\Roaming", false, "the application-data folder"},
        {"\\AppData\\Local", false, "the local application-data folder"},
        {"\\AppData\\Local\\Temp", false, "a temporary folder"},
        {"\\Local Settings\\Temp", false, "a temporary folder"},
        {"\\Users\\Public\\Documents", false, "the shared documents folder"},
        {"\\All Users\\Documents", false, "the shared documents folder"},
        {"\\My Documents", false, "a documents folder"},
        {"\\Program Files\\Common Files", false, "the Common Files folder"},
        {"\\Program Files (x86)\\Common Files", false, "the Common Files folder"},
        {"\\Windows\\System32", false, "the System folder"},
        {"\\Windows\\SysWOW64", false, "the System folder"},
        {"\\Windows\\System", false, "the System folder"},
        {"\\Windows\\Fonts", false, "the Fonts folder"},
        {"\\Windows\\Temp", false, "a temporary folder"},
        {"\\WINNT\\System32", false, "the System folder"},
        {"\\WINNT\\Fonts", false, "the Fonts folder"},
        {"\\Program Files", true, "the Program Files folder"},
        {"\\Program Files (x86)", true, "the Program Files folder"},
        {"\\ProgramData", true, "the all-users application-data folder"},
        {"\\Windows", true, "the Windows folder"},
        {"\\WINNT", true, "the Windows folder"},
        {"\\Users", true, "the folder of all user profiles"},
        {"\\Documents and Settings", true, "the folder of all user profiles"},
    };
    for (const auto& k : kKnown) {
        if (!EndsWithNoCase(p, k.tail)) continue;
        if (k.belowRoot && p.size() != 2 + std::string(k.tail).size()) continue;
        return std::string(k.name);
    }
    return std::nullopt;
}

std::optional<std::string> SharedFolderOutside(const std::string& path, const std::string& installDir) {
    if (path.size() > installDir.size() && EqualsNoCase(path.substr(0, installDir.size()), installDir)) {
        return std::nullopt;
    }
    return SharedFolderName(path);
}

bool IsKnownToken(const std::string& token) {
    for (const char* known : kKnownTokens) {
        if (EqualsNoCase(token, known)) return true;
    }
    return false;
}

std::vector<std::string> TokensOf(const std::string& text, bool* unclosed) {
    std::vector<std::string> tokens;
    if (unclosed) *unclosed = false;
    size_t at = 0;
    for (;;) {
        size_t open = text.find('#', at);
        if (open == std::string::npos) break;
        size_t close = text.find('#', open + 1);
        if (close == std::string::npos) {
            if (unclosed) *unclosed = true;
            break;
        }
        tokens.push_back(text.substr(open, close - open + 1));
        at = close + 1;
    }
    return tokens;
}

RegistryPathParts SplitRegistryPath(const std::string& path) {
    if (path.empty() || EqualsNoCase(path, "Software") || EqualsNoCase(path, "System")) {
        return {RegistryEntryKind::kSkipped, path, ""};
    }
    size_t last = path.rfind('\\');
    if (last != std::string::npos && last != 0 && path[last - 1] == '\\') {
        return {RegistryEntryKind::kValue, path.substr(0, last - 1), path.substr(last + 1)};
    }
    return {RegistryEntryKind::kKey, path, ""};
}

std::string ComposeValuePath(const std::string& key, const std::string& value) { return key + "\\\\" + value; }

RunFirstCommand ComposeRunFirst(const std::string& installDir, const std::string& command) {
    RunFirstCommand out;
    size_t start = 0;
    if (start < command.size() && command[start] == '"') ++start;
    while (start < command.size() && command[start] == ' ') ++start;
    // A token that closes is expanded where the command runs; an unknown one expands to nothing.
    if (start < command.size() && command[start] == '#') out.tokenForm = command.find('#', start + 1) != std::string::npos;
    if (out.tokenForm) {
        std::string composed;
        size_t at = 0;
        for (;;) {
            size_t open = command.find('#', at);
            size_t close = open == std::string::npos ? open : command.find('#', open + 1);
            if (close == std::string::npos) {
                composed += command.substr(at);
                break;
            }
            composed += command.substr(at, open - at);
            std::string token = command.substr(open, close - open + 1);
            if (IsKnownToken(token)) composed += token;
            at = close + 1;
        }
        out.composed = composed;
    } else {
        if (!command.empty() && command[0] == '"') out.composed.push_back('"');
        std::string folder = installDir;
        AppendBackslash(folder);
        out.composed += folder + command.substr(start);
    }
    // The uninstaller's own splitter, on a copy.
    std::vector<char> text(out.composed.begin(), out.composed.end());
    text.push_back('\0');
    CommandParts parts = SplitCommand(text.data());
    out.program = parts.program ? parts.program : "";
    out.arguments = parts.arguments ? parts.arguments : "";
    return out;
}

}  // namespace pack
