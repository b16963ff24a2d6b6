#include "pack/platform.h"

#include <cerrno>
#include <cstdint>
#include <cstdlib>
#include <cstring>

#ifdef _WIN32
#include <windows.h>
#else
#include <sys/stat.h>
#endif

namespace pack::platform {

namespace {
std::string g_lastError;
}  // namespace

std::string LastError() {
    return g_lastError.empty() ? std::string(strerror(errno)) : g_lastError;
}

#ifndef _WIN32

std::filesystem::path PathFromUtf8(const std::string& name) {
    return std::filesystem::path(name);
}
std::string Utf8FromPath(const std::filesystem::path& path) {
    return path.string();
}

std::string SystemError() {
    return strerror(errno);
}

bool IsReparsePoint(const std::filesystem::path&) {
    return false;
}

FILE* OpenFile(const std::string& name, const char* mode) {
    g_lastError.clear();
    return fopen(name.c_str(), mode);
}

bool RenameReplacing(const std::string& from, const std::string& to) {
    g_lastError.clear();
    return rename(from.c_str(), to.c_str()) == 0;
}

void RemoveFile(const std::string& name) {
    remove(name.c_str());
}

void MarkExecutable(const std::string& name) {
    chmod(name.c_str(), 0755);
}

FileHandle OpenForLoader(const std::string& name) {
    return OpenExisting(name.c_str(), kOpenRead);
}

std::optional<std::string> Environment(const char* name) {
    const char* value = getenv(name);
    if (!value) return std::nullopt;
    return std::string(value);
}

#else  // _WIN32

namespace {

// The system's words for a Win32 error code, in UTF-8, without the line break it ends with.
std::string DescribeError(DWORD code) {
    wchar_t* text = nullptr;
    DWORD length = FormatMessageW(
        FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS, nullptr,
        code, 0, reinterpret_cast<wchar_t*>(&text), 0, nullptr);
    std::string out;
    if (length == 0 || !Utf8FromWide(std::wstring(text, length), out)) out.clear();
    if (text) LocalFree(text);
    while (!out.empty() &&
           (out.back() == '\n' || out.back() == '\r' || out.back() == ' ' || out.back() == '.')) {
        out.pop_back();
    }
    return out.empty() ? "error " + std::to_string(code) : out;
}

std::wstring Wide(const std::string& text) {
    std::wstring out;
    // A name that is no valid UTF-8 cannot name a file: an empty name fails the call that takes it.
    if (!WideFromUtf8(text, out)) out.clear();
    return out;
}

}  // namespace

bool WideFromUtf8(const std::string& text, std::wstring& out) {
    out.clear();
    if (text.empty()) return true;
    if (text.size() > 0x7FFFFFFF) return false;
    int length = MultiByteToWideChar(CP_UTF8, MB_ERR_INVALID_CHARS, text.data(),
                                     static_cast<int>(text.size()), nullptr, 0);
    if (length <= 0) return false;
    out.resize(static_cast<size_t>(length));
    return MultiByteToWideChar(CP_UTF8, MB_ERR_INVALID_CHARS, text.data(), static_cast<int>(text.size()),
                               out.data(), length) == length;
}

bool Utf8FromWide(const std::wstring& text, std::string& out) {
    // By hand: WideCharToMultiByte turns a lone surrogate into U+FFFD without a word before Vista
    // (WC_ERR_INVALID_CHARS is newer), and a name must not become another name.
    out.clear();
    for (size_t i = 0; i < text.size(); ++i) {
        uint32_t c = static_cast<uint16_t>(text[i]);
        if (c >= 0xD800 && c <= 0xDFFF) {
            uint32_t low = i + 1 < text.size() ? static_cast<uint16_t>(text[i + 1]) : 0;
            if (c >= 0xDC00 || low < 0xDC00 || low > 0xDFFF) return false;
            c = 0x10000 + ((c - 0xD800) << 10) + (low - 0xDC00);
            ++i;
        }
        if (c < 0x80) {
            out.push_back(static_cast<char>(c));
        } else if (c < 0x800) {
            out.push_back(static_cast<char>(0xC0 | (c >> 6)));
            out.push_back(static_cast<char>(0x80 | (c & 0x3F)));
        } else if (c < 0x10000) {
            out.push_back(static_cast<char>(0xE0 | (c >> 12)));
            out.push_back(static_cast<char>(0x80 | ((c >> 6) & 0x3F)));
            out.push_back(static_cast<char>(0x80 | (c & 0x3F)));
        } else {
            out.push_back(static_cast<char>(0xF0 | (c >> 18)));
            out.push_back(static_cast<char>(0x80 | ((c >> 12) & 0x3F)));
            out.push_back(static_cast<char>(0x80 | ((c >> 6) & 0x3F)));
            out.push_back(static_cast<char>(0x80 | (c & 0x3F)));
        }
    }
    return true;
}

std::filesystem::path PathFromUtf8(const std::string& name) {
    return std::filesystem::path(Wide(name));
}

std::string Utf8FromPath(const std::filesystem::path& path) {
    std::string out;
    if (!Utf8FromWide(path.wstring(), out)) out.clear();
    return out;
}

std::string SystemError() {
    return DescribeError(GetLastError());
}

bool IsReparsePoint(const std::filesystem::path& path) {
    DWORD attributes = GetFileAttributesW(path.wstring().c_str());
    return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_REPARSE_POINT);
}

FILE* OpenFile(const std::string& name, const char* mode) {
    g_lastError.clear();
    std::wstring wideMode(mode, mode + strlen(mode));
    return _wfopen(Wide(name).c_str(), wideMode.c_str());
}

bool RenameReplacing(const std::string& from, const std::string& to) {
    g_lastError.clear();
    // The C library's rename fails when the target exists; MoveFileEx replaces it.
    if (MoveFileExW(Wide(from).c_str(), Wide(to).c_str(), MOVEFILE_REPLACE_EXISTING)) return true;
    g_lastError = DescribeError(GetLastError());
    return false;
}

void RemoveFile(const std::string& name) {
    DeleteFileW(Wide(name).c_str());
}

void MarkExecutable(const std::string&) {}

FileHandle OpenForLoader(const std::string& name) {
    return CreateFileW(Wide(name).c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                       FILE_ATTRIBUTE_NORMAL, nullptr);
}

std::optional<std::string> Environment(const char* name) {
    std::wstring wideName(name, name + strlen(name));
    DWORD length = GetEnvironmentVariableW(wideName.c_str(), nullptr, 0);
    if (length == 0) return std::nullopt;
    std::wstring value(length, L'\0');
    DWORD got = GetEnvironmentVariableW(wideName.c_str(), value.data(), length);
    if (got == 0 || got >= length) return std::string();
    value.resize(got);
    std::string out;
    if (!Utf8FromWide(value, out)) return std::nullopt;
    return out;
}

#endif  // _WIN32

}  // namespace pack::platform
