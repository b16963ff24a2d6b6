#include "pack/output_file.h"

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <filesystem>

#include "pack/platform.h"

#ifdef _WIN32
#include <windows.h>
#else
#include <fcntl.h>
#include <unistd.h>

#include <sys/stat.h>
#endif

namespace pack {

std::string OutputClashesWithInput(const std::string& output, const std::vector<InputFile>& inputs) {
    if (output == "-") return "";
    std::error_code code;
    // By UTF-8 names on every system (a narrow path on Windows is in the ANSI code page).
    const std::filesystem::path outputPath = platform::PathFromUtf8(output);
    if (!std::filesystem::exists(outputPath, code)) return "";
    for (const auto& input : inputs) {
        if (input.path.empty() || input.path == "-") continue;
        if (std::filesystem::equivalent(outputPath, platform::PathFromUtf8(input.path), code) && !code) {
            return "-o " + output + " is " + input.role + " (" + input.path +
                   "): writing the uninstaller there would destroy it; name another file";
        }
    }
    return "";
}

namespace {

// Writes all of `bytes` to an open descriptor or stream; false on a short write.
bool WriteAll(FILE* stream, const format::Bytes& bytes) {
    bool ok = bytes.empty() || fwrite(bytes.data(), 1, bytes.size(), stream) == bytes.size();
    return fflush(stream) == 0 && ok && !ferror(stream);
}

}  // namespace

#ifndef _WIN32

bool OutputIsStandardOutput(const std::string& output) {
    if (output == "-") return true;
    struct stat out, named;
    return fstat(1, &out) == 0 && stat(output.c_str(), &named) == 0 && out.st_dev == named.st_dev &&
           out.st_ino == named.st_ino;
}

namespace {

bool WriteAll(int fd, const format::Bytes& bytes) {
    size_t done = 0;
    while (done < bytes.size()) {
        ssize_t n = write(fd, bytes.data() + done, bytes.size() - done);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) return false;
        done += static_cast<size_t>(n);
    }
    return true;
}

std::string FolderOf(const std::string& path) {
    size_t slash = path.rfind('/');
    if (slash == std::string::npos) return ".";
    return slash == 0 ? "/" : path.substr(0, slash);
}

// Writes into a device, a FIFO or an already open descriptor's file: no temporary file, no rename.
bool WriteInto(const std::string& path, const format::Bytes& bytes, std::string& error) {
    int fd = open(path.c_str(), O_WRONLY | O_CLOEXEC);
    if (fd < 0) {
        error = "cannot open " + path + ": " + strerror(errno);
        return false;
    }
    bool ok = WriteAll(fd, bytes);
    int saved = errno;
    ok = close(fd) == 0 && ok;
    if (!ok) error = "cannot write " + path + ": " + strerror(saved ? saved : errno);
    return ok;
}

// Replaces (or creates) the regular file `path` with a temporary file beside it, renamed over it
// once every byte is on disk.
bool ReplaceFile(const std::string& path, const format::Bytes& bytes, bool executable, std::string& error) {
    std::string folder = FolderOf(path);
    std::string name = path.substr(path.rfind('/') == std::string::npos ? 0 : path.rfind('/') + 1);
    std::string pattern = folder + "/." + name + ".partial-XXXXXX";
    std::vector<char> temporary(pattern.begin(), pattern.end());
    temporary.push_back('\0');
    int fd = mkstemp(temporary.data());
    if (fd < 0) {
        error = "cannot create a temporary file in " + folder + " for " + path + ": " + strerror(errno);
        return false;
    }
    bool ok = WriteAll(fd, bytes);
    ok = ok && fchmod(fd, executable ? 0755 : 0644) == 0;
    ok = ok && fsync(fd) == 0;
    int saved = errno;
    ok = close(fd) == 0 && ok;
    if (ok && rename(temporary.data(), path.c_str()) == 0) return true;
    if (!saved) saved = errno;
    error = "cannot write " + path + ": " + strerror(saved);
    unlink(temporary.data());
    return false;
}

}  // namespace

bool WriteOutputFile(const std::string& output, const format::Bytes& bytes, bool executable,
                     std::string& error) {
    if (output == "-") {
        if (WriteAll(stdout, bytes)) return true;
        error = std::string("cannot write to standard output: ") + strerror(errno);
        return false;
    }
    // Standard output and error, and the descriptors the shell opened, by any of their names: write
    // to the open descriptor itself, at its offset and with its append mode.
    int descriptor = -1;
    if (output == "/dev/stdout") descriptor = 1;
    if (output == "/dev/stderr") descriptor = 2;
    for (const char* prefix : {"/dev/fd/", "/proc/self/fd/"}) {
        std::string rest = output.rfind(prefix, 0) == 0 ? output.substr(strlen(prefix)) : "";
        if (!rest.empty() && rest.size() < 6 && rest.find_first_not_of("0123456789") == std::string::npos) {
            descriptor = std::stoi(rest);
        }
    }
    if (descriptor >= 0) {
        if (descriptor == 1) fflush(stdout);
        if (WriteAll(descriptor, bytes)) return true;
        error = "cannot write " + output + ": " + strerror(errno);
        return false;
    }
    // Follow a chain of links to the file they name: the links stay, the file behind them is
    // written. A link into /proc or /dev/fd (/dev/stdout) names an open descriptor, whose file
    // the shell opened: write into it.
    std::string path = output;
    for (int hops = 0;; ++hops) {
        struct stat info;
        if (lstat(path.c_str(), &info) != 0) {
            if (errno == ENOENT) return ReplaceFile(path, bytes, executable, error);
            error = "cannot write " + output + ": " + strerror(errno);
            return false;
        }
        if (S_ISLNK(info.st_mode)) {
            if (hops >= 40) {
                error = "cannot write " + output + ": " + strerror(ELOOP);
                return false;
            }
            std::vector<char> target(4096);
            ssize_t n = readlink(path.c_str(), target.data(), target.size() - 1);
            if (n < 0) {
                error = "cannot read the link " + path + ": " + strerror(errno);
                return false;
            }
            std::string next(target.data(), static_cast<size_t>(n));
            if (path.rfind("/proc/", 0) == 0 || path.rfind("/dev/fd/", 0) == 0 ||
                next.rfind("/proc/", 0) == 0) {
                return WriteInto(output, bytes, error);
            }
            path = next[0] == '/' ? next : FolderOf(path) + "/" + next;
            continue;
        }
        if (S_ISREG(info.st_mode)) return ReplaceFile(path, bytes, executable, error);
        if (S_ISCHR(info.st_mode) || S_ISBLK(info.st_mode) || S_ISFIFO(info.st_mode)) {
            return WriteInto(path, bytes, error);
        }
        error = "cannot write " + output + ": " +
                (S_ISDIR(info.st_mode) ? "it is a folder" : "it is no file, device or FIFO");
        return false;
    }
}

#else  // _WIN32

bool OutputIsStandardOutput(const std::string& output) {
    return output == "-";
}

namespace {

// True for a name Windows reads as a device wherever it stands (CON, NUL, COM1, "nul.exe", ...)
// and for the device namespace (\\.\): writing beside such a name makes no file.
bool IsDeviceName(const std::string& output) {
    if (output.size() >= 4 && (output[0] == '\\' || output[0] == '/') &&
        (output[1] == '\\' || output[1] == '/') && output[2] == '.' &&
        (output[3] == '\\' || output[3] == '/')) {
        return true;
    }
    size_t cut = output.find_last_of("\\/:");
    std::string name = output.substr(cut == std::string::npos ? 0 : cut + 1);
    name = name.substr(0, name.find('.'));
    while (!name.empty() && name.back() == ' ') name.pop_back();
    for (char& c : name) c = static_cast<char>(toupper(static_cast<unsigned char>(c)));
    if (name == "CON" || name == "PRN" || name == "AUX" || name == "NUL" || name == "CONIN$" ||
        name == "CONOUT$") {
        return true;
    }
    return name.size() == 4 && (name.compare(0, 3, "COM") == 0 || name.compare(0, 3, "LPT") == 0) &&
           name[3] >= '1' && name[3] <= '9';
}

}  // namespace

bool WriteOutputFile(const std::string& output, const format::Bytes& bytes, bool executable,
                     std::string& error) {
    (void)executable;  // every file is a program to Windows by its name
    if (output == "-") {
        if (WriteAll(stdout, bytes)) return true;
        error = std::string("cannot write to standard output: ") + strerror(errno);
        return false;
    }
    std::wstring wide;
    if (output.empty() || !platform::WideFromUtf8(output, wide)) {
        error = "cannot write " + output + ": the name is not valid UTF-8";
        return false;
    }
    if (IsDeviceName(output)) {
        error = "cannot write " + output +
                ": it names a device, which the packer does not write into on Windows; "
                "name a file, or - for standard output";
        return false;
    }
    DWORD attributes = GetFileAttributesW(wide.c_str());
    if (attributes != INVALID_FILE_ATTRIBUTES) {
        if (attributes & FILE_ATTRIBUTE_REPARSE_POINT) {
            // Renaming over a link replaces the link, not the file it names; writing through it
            // in place would not be atomic. Neither is what was asked for.
            error = "cannot write " + output +
                    ": it is a symbolic link or junction, which the packer does not "
                    "replace on Windows; name the file it points to";
            return false;
        }
        if (attributes & FILE_ATTRIBUTE_DIRECTORY) {
            error = "cannot write " + output + ": it is a folder";
            return false;
        }
    }
    // A new temporary file beside OUT (CREATE_NEW: never one that is there already), moved over
    // OUT in one step once it is written whole; OUT stays as it was until then.
    std::string temporary;
    HANDLE file = INVALID_HANDLE_VALUE;
    for (unsigned attempt = 0; attempt < 100 && file == INVALID_HANDLE_VALUE; ++attempt) {
        temporary = output + ".partial-" + std::to_string(GetCurrentProcessId()) + "-" +
                    std::to_string(GetTickCount() + attempt);
        std::wstring wideTemporary;
        if (!platform::WideFromUtf8(temporary, wideTemporary)) break;
        file = CreateFileW(wideTemporary.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW,
                           FILE_ATTRIBUTE_NORMAL, nullptr);
        if (file == INVALID_HANDLE_VALUE && GetLastError() != ERROR_FILE_EXISTS) break;
    }
    if (file == INVALID_HANDLE_VALUE) {
        error = "cannot create a temporary file beside " + output + ": " + platform::SystemError();
        return false;
    }
    bool ok = true;
    std::string why;
    for (size_t done = 0; ok && done < bytes.size();) {
        DWORD chunk = static_cast<DWORD>(std::min<size_t>(bytes.size() - done, 1u << 20));
        DWORD written = 0;
        ok = WriteFile(file, bytes.data() + done, chunk, &written, nullptr) && written == chunk;
        if (!ok) why = platform::SystemError();
        done += written;
    }
    if (ok && !FlushFileBuffers(file)) {
        ok = false;
        why = platform::SystemError();
    }
    if (!CloseHandle(file) && ok) {
        ok = false;
        why = platform::SystemError();
    }
    if (ok && !platform::RenameReplacing(temporary, output)) {
        ok = false;
        why = platform::LastError();
    }
    if (!ok) {
        platform::RemoveFile(temporary);
        error = "cannot write " + output + ": " + why;
        return false;
    }
    return true;
}

#endif  // _WIN32

}  // namespace pack
