// The least a program can do to remove what the removal benchmark builds: the platform calls alone,
// with no data block, no lists and no checks. The benchmark starts it exactly as it starts the
// uninstaller, and it starts like the uninstaller (no C runtime, the same imported and preloaded
// system libraries, the same manifest), so that the ratio of the two times is what the uninstaller
// adds to the platform's own cost.
//
//   removal_minimal.exe files <root> <folders> <files per folder>
//       DeleteFileA on <root>\d<i>\f<j>.tmp for every i and j, RemoveDirectoryA on each <root>\d<i>
//   removal_minimal.exe tree <folder> <mask>
//       FindFirstFileA/FindNextFileA over <folder> and all its subfolders: every file matching <mask>
//       deleted, every folder then removed, <folder> itself last
//   removal_minimal.exe keys <key below HKEY_CURRENT_USER>
//       RegOpenKeyExA/RegEnumKeyExA/RegDeleteKeyA: the key and all its subkeys, depth first
//   removal_minimal.exe whole <root> <folders> <files per folder> <key below HKEY_CURRENT_USER> <keys>
//       what `files` does, then DeleteFileA on <root>\Menu\App.lnk and <root>\Desk\App.lnk, then
//       what `keys` does for each <key>\k<i>
//
// It deletes only inside the test sandboxes: a folder whose path does not hold "\uninst-" (the
// sandboxes' prefix in the temporary folder) and a key outside Software\UninstE2E\ are refused.
// Exit code 0 when it ran, 1 for a command line it refuses.
#include <windows.h>

#include <ole2.h>
#include <shellapi.h>

#include "common/system_library.h"
#include "common/text.h"

namespace {

constexpr char kSandboxMark[] = "\\uninst-";
constexpr char kKeyBase[] = "Software\\UninstE2E\\";

// The next blank-separated word of the command line (double quotes group), copied into `word`;
// false at the end of the line or when the word does not fit.
bool NextWord(const char*& p, char* word, size_t size) {
    while (*p == ' ' || *p == '\t') ++p;
    if (*p == '\0') return false;
    size_t n = 0;
    bool quoted = false;
    for (; *p && (quoted || (*p != ' ' && *p != '\t')); ++p) {
        if (*p == '"') {
            quoted = !quoted;
            continue;
        }
        if (n + 1 >= size) return false;
        word[n++] = *p;
    }
    word[n] = '\0';
    return true;
}

bool ParseNumber(const char* text, unsigned& value) {
    value = 0;
    if (*text == '\0') return false;
    for (; *text; ++text) {
        if (*text < '0' || *text > '9' || value > 100000000u) return false;
        value = value * 10 + static_cast<unsigned>(*text - '0');
    }
    return true;
}

bool StartsWithNoCase(const char* text, const char* prefix) {
    for (; *prefix; ++text, ++prefix) {
        if (AsciiUpper(*text) != AsciiUpper(*prefix)) return false;
    }
    return true;
}

bool Contains(const char* text, const char* part) {
    for (; *text; ++text) {
        if (StartsWithNoCase(text, part)) return true;
    }
    return false;
}

bool IsDotName(const char* name) {
    return name[0] == '.' && (name[1] == '\0' || (name[1] == '.' && name[2] == '\0'));
}

void RemoveListedFiles(const char* root, unsigned folders, unsigned filesPerFolder) {
    char path[kPathBufferSize];
    for (unsigned i = 0; i < folders; ++i) {
        for (unsigned j = 0; j < filesPerFolder; ++j) {
            if (wsprintfA(path, "%s\\d%u\\f%u.tmp", root, i, j) >= static_cast<int>(sizeof(path) - 1)) return;
            DeleteFileA(path);
        }
        wsprintfA(path, "%s\\d%u", root, i);
        RemoveDirectoryA(path);
    }
}

// `folder` is a full path in a buffer of kPathBufferSize bytes; it is extended and put back.
void CleanTree(char* folder, const char* mask) {
    size_t length = TextLength(folder);
    if (length + 2 >= kPathBufferSize) return;
    folder[length] = '\\';
    if (!CopyText(folder + length + 1, kPathBufferSize - length - 1, "*")) return;
    WIN32_FIND_DATAA found;
    HANDLE find = FindFirstFileA(folder, &found);
    if (find != INVALID_HANDLE_VALUE) {
        do {
            if (!(found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY)) continue;
            if (IsDotName(found.cFileName)) continue;
            if (!CopyText(folder + length + 1, kPathBufferSize - length - 1, found.cFileName)) continue;
            CleanTree(folder, mask);
        } while (FindNextFileA(find, &found));
        FindClose(find);
    }
    find = INVALID_HANDLE_VALUE;
    if (CopyText(folder + length + 1, kPathBufferSize - length - 1, mask))
        find = FindFirstFileA(folder, &found);
    if (find != INVALID_HANDLE_VALUE) {
        do {
            if (found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) continue;
            if (!CopyText(folder + length + 1, kPathBufferSize - length - 1, found.cFileName)) continue;
            DeleteFileA(folder);
        } while (FindNextFileA(find, &found));
        FindClose(find);
    }
    folder[length] = '\0';
    RemoveDirectoryA(folder);
}

LONG DeleteKeys(HKEY parent, const char* name) {
    HKEY key;
    LONG result = RegOpenKeyExA(parent, name, 0, DELETE | KEY_ENUMERATE_SUB_KEYS, &key);
    if (result != ERROR_SUCCESS) return result;
    char subkey[1024];
    for (;;) {
        DWORD size = sizeof(subkey);
        result = RegEnumKeyExA(key, 0, subkey, &size, nullptr, nullptr, nullptr, nullptr);
        if (result == ERROR_NO_MORE_ITEMS) break;
        if (result == ERROR_SUCCESS) result = DeleteKeys(key, subkey);
        if (result != ERROR_SUCCESS) {
            RegCloseKey(key);
            return result;
        }
    }
    result = RegDeleteKeyA(parent, name);
    RegCloseKey(key);
    return result;
}

// The uninstaller imports these libraries; one call of each keeps them in this program's imports,
// so that both start with the same set. Never called.
void* volatile g_imports[] = {reinterpret_cast<void*>(&OleInitialize),
                              reinterpret_cast<void*>(&ShellExecuteA),
                              reinterpret_cast<void*>(&GetStockObject), reinterpret_cast<void*>(&RegCloseKey),
                              reinterpret_cast<void*>(&MessageBoxA)};

int Run(const char* commandLine) {
    // The libraries the uninstaller loads before it reads its data: the preloads, the theme library
    // and the common controls of the manifest.
    RestrictLibrarySearch();
    PreloadSystemLibraries();
    (void)LoadSystemLibrary("uxtheme.dll");
    (void)LoadManifestOrSystemLibrary("comctl32.dll");

    const char* p = commandLine;
    char word[kPathBufferSize];
    if (!NextWord(p, word, sizeof(word))) return 1;  // the program's own name
    char mode[16], target[kPathBufferSize];
    if (!NextWord(p, mode, sizeof(mode)) || !NextWord(p, target, sizeof(target))) return 1;
    if (TextEqualsNoCase(mode, "keys")) {
        if (!StartsWithNoCase(target, kKeyBase)) return 1;
        DeleteKeys(HKEY_CURRENT_USER, target);
        return 0;
    }
    // wsprintfA below writes the root and at most 30 bytes more.
    if (!Contains(target, kSandboxMark) || TextLength(target) + 32 > kPathBufferSize) return 1;
    if (TextEqualsNoCase(mode, "files")) {
        unsigned folders, filesPerFolder;
        if (!NextWord(p, word, sizeof(word)) || !ParseNumber(word, folders)) return 1;
        if (!NextWord(p, word, sizeof(word)) || !ParseNumber(word, filesPerFolder)) return 1;
        RemoveListedFiles(target, folders, filesPerFolder);
        return 0;
    }
    if (TextEqualsNoCase(mode, "whole")) {
        unsigned folders, filesPerFolder, keys;
        char base[kPathBufferSize];
        if (!NextWord(p, word, sizeof(word)) || !ParseNumber(word, folders)) return 1;
        if (!NextWord(p, word, sizeof(word)) || !ParseNumber(word, filesPerFolder)) return 1;
        if (!NextWord(p, base, sizeof(base)) || !StartsWithNoCase(base, kKeyBase) ||
            TextLength(base) + 16 > sizeof(base)) {
            return 1;
        }
        if (!NextWord(p, word, sizeof(word)) || !ParseNumber(word, keys)) return 1;
        RemoveListedFiles(target, folders, filesPerFolder);
        static const char* const kShortcutFolders[] = {"Menu", "Desk"};
        for (const char* shortcut : kShortcutFolders) {
            wsprintfA(word, "%s\\%s\\App.lnk", target, shortcut);
            DeleteFileA(word);
        }
        for (unsigned i = 0; i < keys; ++i) {
            wsprintfA(word, "%s\\k%u", base, i);
            DeleteKeys(HKEY_CURRENT_USER, word);
        }
        return 0;
    }
    if (TextEqualsNoCase(mode, "tree")) {
        char mask[MAX_PATH];
        if (!NextWord(p, mask, sizeof(mask))) return 1;
        CleanTree(target, mask);
        return 0;
    }
    return 1;
}

}  // namespace

extern "C" void __cdecl MinimalEntry() {
    ExitProcess(static_cast<UINT>(Run(GetCommandLineA())));
}
