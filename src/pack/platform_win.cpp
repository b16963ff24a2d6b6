// The packer's system calls on Windows: every name through the wide (UTF-16) functions.
#include "pack/platform_win.h"

#include <algorithm>
#include <cerrno>
#include <cstdint>
#include <cstring>

namespace pack::platform {

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

bool WriteAllToHandle(HANDLE file, const void* data, size_t size, std::string& why) {
    const char* bytes = static_cast<const char*>(data);
    for (size_t done = 0; done < size;) {
        DWORD chunk = static_cast<DWORD>(std::min<size_t>(size - done, 1u << 20));
        DWORD written = 0;
        if (!WriteFile(file, bytes + done, chunk, &written, nullptr) || written != chunk) {
            why = SystemError();
            return false;
        }
        done += written;
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

FILE* OpenFile(const std::string& name, const char* mode, std::string& why) {
    std::wstring wideMode(mode, mode + strlen(mode));
    FILE* file = _wfopen(Wide(name).c_str(), wideMode.c_str());
    if (!file) why = strerror(errno);
    return file;
}

bool RenameReplacing(const std::string& from, const std::string& to, std::string& why) {
    // The C library's rename fails when the target exists; MoveFileEx replaces it.
    if (MoveFileExW(Wide(from).c_str(), Wide(to).c_str(), MOVEFILE_REPLACE_EXISTING)) return true;
    why = DescribeError(GetLastError());
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

bool WriteTemporaryCopy(const std::string& bytes, std::string& path) {
    // The user's temporary folder, named in UTF-16: it may hold any character.
    wchar_t temp[MAX_PATH + 1];
    DWORD length = GetTempPathW(MAX_PATH + 1, temp);
    std::string base;
    if (length == 0 || length > MAX_PATH || !Utf8FromWide(std::wstring(temp, length), base)) return false;
    if (base.back() != '\\' && base.back() != '/') base += '\\';
    for (unsigned attempt = 0; attempt < 100; ++attempt) {
        std::string candidate = base + "uninstpack-stdin-" + std::to_string(GetCurrentProcessId()) + "-" +
                                std::to_string(GetTickCount() + attempt) + ".exe";
        std::wstring wide;
        if (!WideFromUtf8(candidate, wide)) return false;
        // CREATE_NEW: never an existing file, which another program may own.
        HANDLE file = CreateFileW(wide.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW,
                                  FILE_ATTRIBUTE_TEMPORARY, nullptr);
        if (file == INVALID_HANDLE_VALUE) {
            if (GetLastError() == ERROR_FILE_EXISTS) continue;
            return false;
        }
        std::string why;
        bool ok = WriteAllToHandle(file, bytes.data(), bytes.size(), why);
        // Closed by hand, not by an owner: the close's result is checked, as a written file's last
        // bytes can fail there.
        ok = CloseHandle(file) && ok;
        if (!ok) {
            DeleteFileW(wide.c_str());
            return false;
        }
        path = candidate;
        return true;
    }
    return false;
}

}  // namespace pack::platform
