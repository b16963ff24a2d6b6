#include "support/sandbox.h"

#ifdef _WIN32

#include <cstdio>

namespace testing_support {

std::string SafeName(const std::string& text, size_t limit) {
    std::string out;
    for (char c : text) {
        if (out.size() >= limit) break;
        bool plain = (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '-' ||
                     c == '.';
        out += plain ? c : '_';
    }
    return out;
}

bool MakeFolders(const std::string& folder) {
    // Skip the drive ("C:\") or the server part of a UNC name: those exist or cannot be made.
    size_t start = folder.size() > 2 && folder[1] == ':' ? 3 : 0;
    for (size_t slash = folder.find('\\', start); slash != std::string::npos;
         slash = folder.find('\\', slash + 1)) {
        CreateDirectoryA(folder.substr(0, slash).c_str(), nullptr);
    }
    if (!folder.empty() && folder.back() != '\\') CreateDirectoryA(folder.c_str(), nullptr);
    DWORD attributes = GetFileAttributesA(folder.c_str());
    return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY);
}

void RemoveTree(const std::string& folder) {
    WIN32_FIND_DATAA found;
    HANDLE search = FindFirstFileA((folder + "\\*").c_str(), &found);
    if (search != INVALID_HANDLE_VALUE) {
        do {
            std::string name = found.cFileName;
            if (name == "." || name == "..") continue;
            std::string child = folder + "\\" + name;
            SetFileAttributesA(child.c_str(), FILE_ATTRIBUTE_NORMAL);
            if (found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) {
                RemoveTree(child);
            } else {
                DeleteFileA(child.c_str());
            }
        } while (FindNextFileA(search, &found));
        FindClose(search);
    }
    SetFileAttributesA(folder.c_str(), FILE_ATTRIBUTE_NORMAL);
    RemoveDirectoryA(folder.c_str());
}

bool Exists(const std::string& path) {
    return GetFileAttributesA(path.c_str()) != INVALID_FILE_ATTRIBUTES;
}

bool IsReadOnly(const std::string& path) {
    DWORD attributes = GetFileAttributesA(path.c_str());
    return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_READONLY);
}

bool SetReadOnly(const std::string& path, bool readOnly) {
    DWORD attributes = GetFileAttributesA(path.c_str());
    if (attributes == INVALID_FILE_ATTRIBUTES) return false;
    attributes = readOnly ? attributes | FILE_ATTRIBUTE_READONLY : attributes & ~FILE_ATTRIBUTE_READONLY;
    // FILE_ATTRIBUTE_NORMAL is only valid alone: an empty set of attributes is written as it.
    return SetFileAttributesA(path.c_str(), attributes ? attributes : FILE_ATTRIBUTE_NORMAL) != 0;
}

bool WriteFileBytes(const std::string& path, const void* data, size_t size) {
    FILE* file = fopen(path.c_str(), "wb");
    if (!file) return false;
    bool ok = size == 0 || fwrite(data, 1, size, file) == size;
    return fclose(file) == 0 && ok;
}

bool WriteFileText(const std::string& path, const std::string& content) {
    return WriteFileBytes(path, content.data(), content.size());
}

bool PlaceFile(const std::string& path, const std::string& content, bool readOnly) {
    if (!MakeFolders(FolderOf(path))) return false;
    if (Exists(path) && !SetReadOnly(path, false)) return false;
    return WriteFileText(path, content) && (!readOnly || SetReadOnly(path, true));
}

std::optional<std::vector<unsigned char>> ReadFileBytes(const std::string& path) {
    FILE* file = fopen(path.c_str(), "rb");
    if (!file) return std::nullopt;
    std::vector<unsigned char> out;
    unsigned char chunk[65536];
    size_t n;
    while ((n = fread(chunk, 1, sizeof(chunk), file)) > 0) out.insert(out.end(), chunk, chunk + n);
    bool ok = !ferror(file);
    fclose(file);
    if (!ok) return std::nullopt;
    return out;
}

std::optional<std::string> ReadFileText(const std::string& path) {
    auto bytes = ReadFileBytes(path);
    if (!bytes) return std::nullopt;
    return std::string(bytes->begin(), bytes->end());
}

std::string FolderOf(const std::string& path) {
    size_t last = path.find_last_of('\\');
    return last == std::string::npos ? "" : path.substr(0, last);
}

std::string NameOf(const std::string& path) {
    size_t last = path.find_last_of('\\');
    return last == std::string::npos ? path : path.substr(last + 1);
}

std::string BuildFolder() {
    char path[MAX_PATH] = {};
    DWORD n = GetModuleFileNameA(nullptr, path, MAX_PATH);
    if (n == 0 || n >= MAX_PATH) return "";
    return FolderOf(path) + "\\";
}

bool CopyBuildFile(const std::string& name, const std::string& destination) {
    std::string folder = BuildFolder();
    return !folder.empty() && CopyFileA((folder + name).c_str(), destination.c_str(), FALSE) != 0;
}

Sandbox::Sandbox(const std::string& label) {
    static int counter = 0;
    char temp[MAX_PATH] = {};
    DWORD n = GetTempPathA(MAX_PATH, temp);
    if (n == 0 || n >= MAX_PATH) {
        error_ = "no temporary folder";
        return;
    }
    path_ = std::string(temp) + "uninst-" + std::to_string(GetCurrentProcessId()) + "-" +
            std::to_string(++counter) + "-" + SafeName(label);
    RemoveTree(path_);
    if (!CreateDirectoryA(path_.c_str(), nullptr)) error_ = "cannot create " + path_;
}

Sandbox::~Sandbox() {
    if (!path_.empty()) RemoveTree(path_);
}

std::string Sandbox::Make(const std::string& relative) const {
    std::string full = Path(relative);
    return MakeFolders(full) ? full : "";
}

bool Sandbox::Write(const std::string& relative, const std::string& content, bool readOnly) const {
    return PlaceFile(Path(relative), content, readOnly);
}

}  // namespace testing_support

#endif  // _WIN32
