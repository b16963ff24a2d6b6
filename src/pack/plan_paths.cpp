#include "pack/plan_paths.h"

#include <vector>

#include "common/backslash.h"
#include "common/text.h"
#include "paths/token_table.h"
#include "shell/command_split.h"

namespace pack {

namespace {

char Upper(char c) {
    return AsciiUpper(c);
}

bool EndsWithNoCase(const std::string& text, const std::string& tail) {
    if (tail.size() > text.size()) return false;
    for (size_t i = 0; i < tail.size(); ++i) {
        if (Upper(text[text.size() - tail.size() + i]) != Upper(tail[i])) return false;
    }
    return true;
}

// A working copy of a text in a buffer with room for `extra` more bytes: the builders of
// removal/entry_paths.h then never run out of room, so the packer sees every path whole, also the
// ones the uninstaller would skip (FitsPathBuffer tells those).
struct Buffer {
    std::vector<char> bytes;
    explicit Buffer(size_t capacity) : bytes(capacity + 1, '\0') {}
    Buffer(const std::string& text, size_t extra) : bytes(text.size() + extra + 1, '\0') {
        (void)CopyText(bytes.data(), bytes.size(), text.c_str());
    }
    char* data() { return bytes.data(); }
    size_t size() const { return bytes.size(); }
    std::string str() const { return bytes.data(); }
};

}  // namespace

bool EqualsNoCase(const std::string& a, const std::string& b) {
    if (a.size() != b.size()) return false;
    for (size_t i = 0; i < a.size(); ++i) {
        if (Upper(a[i]) != Upper(b[i])) return false;
    }
    return true;
}

bool FitsPathBuffer(const std::string& path) {
    return path.size() < kPathBufferSize;
}

bool IsVerbatimOrDevicePath(const std::string& path) {
    return path.size() >= 4 && path[0] == '\\' && path[1] == '\\' && (path[2] == '?' || path[2] == '.') &&
           path[3] == '\\';
}

std::string NormalizeInstallDir(const std::string& dir) {
    std::string out = dir;
    while (out.size() > 1 && out.back() == '\\') out.pop_back();
    out += '\\';
    return out;
}

void AppendBackslash(std::string& path) {
    Buffer buffer(path, 1);
    (void)::AppendBackslash(buffer.data(), buffer.size());
    path = buffer.str();
}

void StripTrailingBackslash(std::string& path) {
    Buffer buffer(path, 0);
    ::StripTrailingBackslash(buffer.data());
    path = buffer.str();
}

namespace {

// `text` with each "#...#" token, paired from the left as the uninstaller pairs them, replaced by
// `replace(token)`; a lone "#" and what follows it stay as they are.
template <typename Replace>
std::string ReplaceTokens(const std::string& text, Replace replace) {
    std::string out;
    size_t at = 0;
    for (;;) {
        size_t open = text.find('#', at);
        size_t close = open == std::string::npos ? open : text.find('#', open + 1);
        if (close == std::string::npos) return out + text.substr(at);
        out += text.substr(at, open - at) + replace(text.substr(open, close - open + 1));
        at = close + 1;
    }
}

bool ShowToken(void* context, const char* token, size_t length, char* out, size_t size) {
    const std::string& installDir = *static_cast<const std::string*>(context);
    std::string text(token, length);
    if (!IsKnownToken(text)) return false;
    if (EqualsNoCase(text, "#InstallDir#")) {
        text = installDir;
        while (text.size() > 3 && text.back() == '\\') text.pop_back();
    }
    return CopyText(out, size, text.c_str());
}

// The typical folders of each token, in the order of the token table (paths/token_table.h).
struct TypicalFolders {
    const char* nt;
    const char* nineX;
};
constexpr TypicalFolders kTypicalFolders[] = {
    {"C:\\Windows", "C:\\WINDOWS"},
    {"C:\\Windows\\System32", "C:\\WINDOWS\\SYSTEM"},
    {"C:\\Users\\<user>\\AppData\\Local\\Temp", "C:\\WINDOWS\\TEMP"},
    {"C:\\Program Files (x86)\\Common Files", "C:\\Program Files\\Common Files"},
    {"C:\\Program Files (x86)", "C:\\Program Files"},
    {"C:\\Users\\<user>\\Documents", "C:\\My Documents"},
    {"C:\\Users\\<user>\\Desktop", "C:\\WINDOWS\\Desktop"},
    {"C:\\Users\\<user>\\AppData\\Roaming", "C:\\WINDOWS\\Application Data"},
    {"C:\\Users\\<user>\\AppData\\Local", "C:\\WINDOWS\\Application Data"},
    {"C:\\ProgramData", "C:\\WINDOWS\\All Users\\Application Data"},
    {"C:\\Users\\Public\\Documents", "C:\\WINDOWS\\All Users\\Documents"},
    {"C:\\Users\\Public\\Desktop", "C:\\WINDOWS\\All Users\\Desktop"},
    {"C:\\Users\\<user>", "C:\\WINDOWS"},
    {"C:\\Users\\Public", "C:\\WINDOWS\\All Users"},
    {"", ""},  // #InstallDir#: the install folder
    {"C:\\Users\\<user>\\AppData\\Roaming\\Microsoft\\Windows\\Start Menu\\Programs",
     "C:\\WINDOWS\\Start Menu\\Programs"},
    {"C:\\ProgramData\\Microsoft\\Windows\\Start Menu\\Programs",
     "C:\\WINDOWS\\All Users\\Start Menu\\Programs"},
    {"C:\\Users\\<user>\\AppData\\Roaming\\Microsoft\\Windows\\Start Menu", "C:\\WINDOWS\\Start Menu"},
    {"C:\\ProgramData\\Microsoft\\Windows\\Start Menu", "C:\\WINDOWS\\All Users\\Start Menu"},
    {"C:\\Users\\<user>\\AppData\\Roaming\\Microsoft\\Windows\\Start Menu\\Programs\\Startup",
     "C:\\WINDOWS\\Start Menu\\Programs\\StartUp"},
    {"C:\\ProgramData\\Microsoft\\Windows\\Start Menu\\Programs\\Startup",
     "C:\\WINDOWS\\All Users\\Start Menu\\Programs\\StartUp"},
    {"C:\\Windows\\Fonts", "C:\\WINDOWS\\FONTS"},
    // The 64-bit folders as the 32-bit uninstaller reaches them on 64-bit Windows; 9x has the
    // ordinary ones only.
    {"C:\\Program Files", "C:\\Program Files"},
    {"C:\\Program Files\\Common Files", "C:\\Program Files\\Common Files"},
    {"C:\\Windows\\Sysnative", "C:\\WINDOWS\\SYSTEM"},
};

// What the 64-bit folder tokens stand for on 32-bit Windows (NT): the ordinary folders.
constexpr const char* kTypical32BitFolders[] = {"C:\\Program Files", "C:\\Program Files\\Common Files",
                                                "C:\\Windows\\System32"};
static_assert(sizeof(kTypicalFolders) / sizeof(kTypicalFolders[0]) == kFolderTokenCount);

}  // namespace

FolderTokenResolver ShownTokenResolver(const std::string* installDir) {
    return {ShowToken, const_cast<std::string*>(installDir)};
}

std::optional<std::string> LeadingToken(const std::string& folder) {
    size_t length = LeadingTokenLength(folder.c_str());
    if (length == 0) return std::nullopt;
    return folder.substr(0, length);
}

std::string KnownTokenList() {
    std::string list;
    for (size_t i = 0; i < kFolderTokenCount; ++i)
        list += (list.empty() ? "" : ", ") + std::string(FolderTokenName(i));
    return list;
}

std::string TypicalTokenFolder(const std::string& token, bool nt) {
    FolderToken found;
    if (!FindFolderToken(token.c_str(), found)) return "";
    const TypicalFolders& folders = kTypicalFolders[static_cast<size_t>(found)];
    return nt ? folders.nt : folders.nineX;
}

std::string Typical32BitWindowsPath(const std::string& path) {
    auto token = LeadingToken(path);
    FolderToken found;
    if (!token || !FindFolderToken(token->c_str(), found) || found < FolderToken::kProgramFiles64) return "";
    size_t row = static_cast<size_t>(found) - static_cast<size_t>(FolderToken::kProgramFiles64);
    return kTypical32BitFolders[row] + path.substr(token->size());
}

std::string TypicalPath(const std::string& path, bool nt) {
    auto token = LeadingToken(path);
    if (!token) return path;
    std::string folder = TypicalTokenFolder(*token, nt);
    if (folder.empty()) return path;
    return folder + path.substr(token->size());
}

std::string BuildEntryFolder(const std::string& installDir, const std::string& folder) {
    FolderTokenResolver tokens = ShownTokenResolver(&installDir);
    Buffer out(installDir.size() + folder.size() + 1);
    (void)::BuildEntryFolder(folder.c_str(), &tokens, out.data(), out.size());
    return out.str();
}

std::string BuildEntryPath(const std::string& installDir, const std::string& folder,
                           const std::string& name) {
    FolderTokenResolver tokens = ShownTokenResolver(&installDir);
    Buffer out(installDir.size() + folder.size() + name.size() + 1);
    (void)::BuildEntryPath(installDir.c_str(), folder.c_str(), name.c_str(), out.data(), out.size(), &tokens);
    return out.str();
}

std::optional<std::string> BuildProgramFolder(const std::string& installDir, const std::string& folder,
                                              const std::string& name) {
    FolderTokenResolver tokens = ShownTokenResolver(&installDir);
    Buffer out(installDir.size() + folder.size() + name.size() + 1);
    if (::BuildProgramFolder(installDir.c_str(), folder.c_str(), name.c_str(), out.data(), out.size(),
                             &tokens) != ProgramFolderStart::kFolder) {
        return std::nullopt;
    }
    return out.str();
}

PatternPath PlanPatternPath(const std::string& installDir, const std::string& pattern) {
    PatternPath out;
    out.hasTokens = PatternHasTokens(pattern.c_str());
    // A pattern with tokens is expanded on the machine; here it stays as written.
    Buffer full(installDir.size() + pattern.size() + 1);
    if (out.hasTokens) {
        (void)CopyText(full.data(), full.size(), pattern.c_str());
    } else {
        (void)BuildPatternPath(installDir.c_str(), pattern.c_str(), full.data(), full.size());
    }
    out.full = full.str();
    const char* mask = SplitPatternPath(full.data());
    if (!mask) return out;
    out.split = true;
    out.folder = full.str();
    out.mask = mask;
    return out;
}

bool IsPlainFileMask(const std::string& mask) {
    return ::IsPlainFileMask(mask.c_str());
}

bool IsPlainShortcutName(const std::string& name) {
    return ::IsPlainShortcutName(name.c_str());
}

std::string BuildShortcutPath(const std::string& folder, const std::string& name) {
    Buffer out(folder.size() + name.size() + 1);
    (void)::BuildShortcutPath(folder.c_str(), name.c_str(), out.data(), out.size());
    return out.str();
}

std::optional<std::string> ParentFolder(const std::string& folder) {
    Buffer path(folder, 0);
    if (!RemoveLastComponent(path.data())) return std::nullopt;
    return path.str();
}

std::vector<ClimbStep> ShortcutClimb(uint32_t levels, const std::string& folder,
                                     const std::string& secondFolder) {
    std::vector<ClimbStep> steps;
    if (folder.empty()) return steps;
    Buffer first(folder, 0);
    Buffer second(secondFolder, 0);
    for (;;) {
        steps.push_back({first.str(), second.str()});
        if (levels == 0) break;
        --levels;
        if (!ClimbShortcutStep(first.data(), second.data())) break;
    }
    return steps;
}

bool IsAbsolutePath(const std::string& path) {
    return ::IsAbsolutePath(path.c_str());
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

std::optional<std::string> ProtectedTokenFolder(const std::string& folder, bool nt) {
    std::string f = folder;
    for (;;) {
        if (!f.empty() && (f.back() == '\\' || f.back() == '/')) {
            f.pop_back();
        } else if (f.size() >= 2 && f.back() == '.' && (f[f.size() - 2] == '\\' || f[f.size() - 2] == '/')) {
            f.resize(f.size() - 2);
        } else {
            break;
        }
    }
    if (!IsKnownToken(f) || EqualsNoCase(f, "#InstallDir#")) return std::nullopt;
    // The 9x family protects no all users' desktop, menus or startup folder.
    if (!nt) {
        for (const char* t :
             {"#AllUsersDesktop#", "#AllUsersPrograms#", "#AllUsersStartMenu#", "#AllUsersStartup#"}) {
            if (EqualsNoCase(f, t)) return std::nullopt;
        }
    }
    return f;
}

bool IsKnownToken(const std::string& token) {
    FolderToken found;
    return FindFolderToken(token.c_str(), found);
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
    RegistryPathSplit split = ::SplitRegistryPath(path.c_str());
    if (split.kind == RegistryEntryKind::kSkipped) return {split.kind, path, ""};
    return {split.kind, path.substr(0, split.keyLength), split.valueName ? split.valueName : ""};
}

bool IsPredefinedRoot(uint32_t root, bool nt) {
    return ::IsPredefinedRoot(root, nt);
}

std::string ComposeValuePath(const std::string& key, const std::string& value) {
    return key + "\\\\" + value;
}

RunFirstCommand ComposeRunFirst(const std::string& installDir, const std::string& command) {
    RunFirstCommand out;
    size_t start = static_cast<size_t>(SkipRunFirstLead(command.c_str()) - command.c_str());
    // A token that closes is expanded where the command runs; an unknown one expands to nothing.
    if (start < command.size() && command[start] == '#')
        out.tokenForm = command.find('#', start + 1) != std::string::npos;
    if (out.tokenForm) {
        out.composed =
            ReplaceTokens(command, [](const std::string& token) { return IsKnownToken(token) ? token : ""; });
    } else {
        Buffer composed(installDir.size() + command.size() + 2);
        (void)BuildRunFirstFolderCommand(installDir.c_str(), command.c_str(), composed.data(),
                                         composed.size());
        out.composed = composed.str();
    }
    // The uninstaller's own splitter, on a copy.
    std::vector<char> text(out.composed.begin(), out.composed.end());
    text.push_back('\0');
    CommandParts parts = SplitCommand(text.data());
    out.program = parts.program ? parts.program : "";
    out.arguments = parts.arguments ? parts.arguments : "";
    std::string program = out.program;
    if (out.tokenForm) {
        // A known token expands on the machine to an absolute folder; a stand-in judges the rest.
        program = ReplaceTokens(program, [](const std::string&) { return std::string("C:\\T\\"); });
    } else if (installDir == kUnknownInstallDir) {
        // The install folder is the uninstaller's own folder, a whole path on every machine: the
        // program is judged with a whole-path stand-in for it ("C:tool.exe" after it still names no
        // file, as it does after any install folder).
        Buffer judged(command.size() + 8);
        (void)BuildRunFirstFolderCommand("C:\\T\\", command.c_str(), judged.data(), judged.size());
        std::string composedStandIn = judged.str();
        std::vector<char> copy(composedStandIn.begin(), composedStandIn.end());
        copy.push_back('\0');
        CommandParts standIn = SplitCommand(copy.data());
        program = standIn.program ? standIn.program : "";
    }
    out.absolute = ::IsAbsoluteProgramPath(program.c_str());
    return out;
}

}  // namespace pack
