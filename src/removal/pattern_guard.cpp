#include "removal/pattern_guard.h"

#include "common/packed_texts.h"
#include "common/text.h"

namespace {

constexpr size_t kMaxComponents = 64;

// Folders of Windows inside the Program Files folder: each with its whole tree.
constexpr auto kWindowsProgramFolders =
    PackTexts<"Common Files", "Windows NT", "Internet Explorer", "Windows Defender",
              "Windows Defender Advanced Threat Protection", "Windows Mail", "Windows Media Player",
              "Windows Photo Viewer", "Windows Portable Devices", "Windows Security", "Windows Sidebar",
              "Windows Journal", "Windows Multimedia Platform", "WindowsApps", "ModifiableWindowsApps",
              "WindowsPowerShell", "Microsoft.NET", "Reference Assemblies", "MSBuild",
              "Uninstall Information", "Movie Maker", "Outlook Express", "NetMeeting", "Online Services",
              "Messenger", "MSN">();

// Folders of Windows inside the Common Files folder: each with its whole tree.
constexpr auto kWindowsCommonFolders = PackTexts<"System", "Microsoft Shared", "Services", "SpeechEngines">();

// Folders directly below a drive's root that belong to Windows: each with its whole tree.
constexpr auto kWindowsRootTrees =
    PackTexts<"Windows", "WINNT", "System Volume Information", "$Recycle.Bin", "RECYCLER", "Recycled", "Boot",
              "Recovery", "EFI", "Config.Msi">();

// Folders directly below a drive's root that hold every program's or user's folders: the folder
// itself (its subfolders are other programs' and users' own).
constexpr auto kSharedRootFolders =
    PackTexts<"Program Files", "Program Files (x86)", "ProgramData", "Users", "Documents and Settings">();

// The folder taken apart: its root and the components below it, as Windows resolves them.
struct Folder {
    enum Root { kRelative, kToken, kDrive, kShare } root = kRelative;
    char token[64];                // kToken: "#Name#"
    const char* server = nullptr;  // kShare
    const char* share = nullptr;   // kShare
    const char* parts[kMaxComponents];
    size_t count = 0;
    char text[kPatternGuardPathSize];
};

// Cuts `text` (already in the folder's buffer, separators "\") into NUL-terminated components and
// resolves ".", ".." and trailing dots and spaces. False when the folder cannot be judged.
bool Resolve(char* text, Folder& folder) {
    char* at = text;
    while (*at != '\0') {
        while (*at == '\\') ++at;
        if (*at == '\0') break;
        char* start = at;
        while (*at != '\0' && *at != '\\') ++at;
        bool more = *at == '\\';
        *at = '\0';
        char* end = at;
        if (more) ++at;
        if (TextEqualsNoCase(start, ".")) continue;
        if (TextEqualsNoCase(start, "..")) {
            if (folder.count == 0) return false;  // above the folder's root
            --folder.count;
            continue;
        }
        // Windows drops a component's trailing dots and spaces ("System32." is System32). A
        // component of nothing else ("...", ". .") has no one meaning: not judged.
        while (end > start && (end[-1] == '.' || end[-1] == ' ')) *--end = '\0';
        if (end == start) return false;
        if (folder.count == kMaxComponents) return false;
        folder.parts[folder.count++] = start;
    }
    return true;
}

// Parses `path` into `folder`. False when the folder cannot be judged.
bool Parse(const char* path, Folder& folder) {
    size_t n = 0;
    for (; path[n] != '\0'; ++n) {
        if (n + 1 >= sizeof folder.text) return false;
        folder.text[n] = path[n] == '/' ? '\\' : path[n];
    }
    folder.text[n] = '\0';
    char* text = folder.text;
    if (text[0] == '\\' && text[1] == '\\') {
        // \\?\ and \\.\ pass the path to the object manager as it stands.
        if ((text[2] == '?' || text[2] == '.') && (text[3] == '\\' || text[3] == '\0')) return false;
        folder.root = Folder::kShare;
        if (!Resolve(text + 2, folder) || folder.count < 2) return false;  // a server without a share
        folder.server = folder.parts[0];
        folder.share = folder.parts[1];
        for (size_t i = 2; i < folder.count; ++i) folder.parts[i - 2] = folder.parts[i];
        folder.count -= 2;
        return true;
    }
    if (IsAsciiLetter(text[0]) && text[1] == ':') {
        // "C:name" is relative to the current directory of drive C: no folder to judge.
        if (text[2] != '\\') return false;
        folder.root = Folder::kDrive;
        return Resolve(text + 3, folder);
    }
    if (text[0] == '#') {
        size_t close = 1;
        while (text[close] != '\0' && text[close] != '#') ++close;
        if (text[close] != '#' || close + 2 > sizeof folder.token) return false;  // unclosed, or no token
        for (size_t i = 0; i <= close; ++i) folder.token[i] = text[i];
        folder.token[close + 1] = '\0';
        folder.root = Folder::kToken;
        // Text glued to the token ("#Windows#System32") is read as the first component below it.
        return Resolve(text + close + 1, folder);
    }
    folder.root = Folder::kRelative;
    return Resolve(text, folder);
}

bool IsCommonFilesTree(const char* const* parts, size_t count) {
    return count == 0 || TextInPackedListNoCase(parts[0], kWindowsCommonFolders);
}

bool IsProgramFilesTree(const char* const* parts, size_t count) {
    if (count == 0) return true;
    if (TextEqualsNoCase(parts[0], "Common Files")) return IsCommonFilesTree(parts + 1, count - 1);
    return TextInPackedListNoCase(parts[0], kWindowsProgramFolders);
}

bool IsDriveTree(const char* const* parts, size_t count) {
    if (count == 0) return true;
    if (TextInPackedListNoCase(parts[0], kWindowsRootTrees)) return true;
    if (TextEqualsNoCase(parts[0], "Program Files") || TextEqualsNoCase(parts[0], "Program Files (x86)")) {
        return IsProgramFilesTree(parts + 1, count - 1);
    }
    if (TextEqualsNoCase(parts[0], "ProgramData") && count > 1 && TextEqualsNoCase(parts[1], "Microsoft"))
        return true;
    return count == 1 && TextInPackedListNoCase(parts[0], kSharedRootFolders);
}

bool IsShareTree(const Folder& folder) {
    const char* share = folder.share;
    size_t length = TextLength(share);
    if (length == 0 || share[length - 1] != '$') return folder.count == 0;  // an ordinary share: its root
    if (length == 2) return IsDriveTree(folder.parts, folder.count);        // C$: a drive's root
    return true;  // ADMIN$ (the Windows folder), PRINT$, IPC$ and the other administrative shares
}

bool IsTokenTree(const Folder& folder) {
    const char* token = folder.token;
    if (TextEqualsNoCase(token, "#System#") || TextEqualsNoCase(token, "#Windows#") ||
        TextEqualsNoCase(token, "#System64#"))
        return true;
    if (TextEqualsNoCase(token, "#Program Files#") || TextEqualsNoCase(token, "#ProgramFiles64#"))
        return IsProgramFilesTree(folder.parts, folder.count);
    if (TextEqualsNoCase(token, "#CommonFiles#") || TextEqualsNoCase(token, "#CommonFiles64#"))
        return IsCommonFilesTree(folder.parts, folder.count);
    return false;
}

}  // namespace

bool IsRefusedPatternFolder(const char* folder) {
    Folder parsed;
    if (!Parse(folder, parsed)) return true;
    switch (parsed.root) {
        case Folder::kToken:
            return IsTokenTree(parsed);
        case Folder::kDrive:
            return IsDriveTree(parsed.parts, parsed.count);
        case Folder::kShare:
            return IsShareTree(parsed);
        case Folder::kRelative:
            return false;
    }
    return true;
}
