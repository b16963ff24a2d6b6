// Where `build -o OUT` writes on POSIX: descriptors by their names, links followed to their file
// where the kernel would follow them, devices and FIFOs written into, regular files replaced through
// a temporary file.
#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <sys/stat.h>

#include "pack/output_file.h"

namespace pack {

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

// The kernel's rule for links in shared folders (Linux's fs.protected_symlinks, which root obeys
// too): a link in a sticky folder that everybody may write (/tmp) is followed only when the caller
// or the folder's owner owns it. Anybody may plant a link there, so one of another user's would make
// the packer, perhaps run as root, replace whatever file it leads to.
bool MayFollowLink(const std::string& link, const struct stat& linkInfo, std::string& error) {
    std::string folder = FolderOf(link);
    struct stat info;
    if (stat(folder.c_str(), &info) != 0) {
        error = "cannot look at the folder of the link " + link + ": " + strerror(errno);
        return false;
    }
    bool shared = (info.st_mode & S_ISVTX) && (info.st_mode & S_IWOTH);
    if (!shared || linkInfo.st_uid == geteuid() || linkInfo.st_uid == info.st_uid) return true;
    error = "will not follow the link " + link + ": it is another user's (uid " +
            std::to_string(linkInfo.st_uid) + ") in " + folder + ", which everybody may write";
    return false;
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

bool WriteNamedOutputFile(const std::string& output, const format::Bytes& bytes, bool executable,
                          std::string& error) {
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
    // Follow a chain of links to the file they name, each only where the kernel would follow it: the
    // links stay, the file behind them is written, unless it is another user's. A link into /proc
    // or /dev/fd (/dev/stdout) names an open descriptor, whose file the shell opened: write into it.
    std::string path = output;
    for (int hops = 0;; ++hops) {
        struct stat info;
        if (lstat(path.c_str(), &info) != 0) {
            if (errno == ENOENT) return ReplaceFile(path, bytes, executable, error);
            error = "cannot write " + output + ": " + strerror(errno);
            return false;
        }
        if (hops > 0 && S_ISREG(info.st_mode) && info.st_uid != geteuid()) {
            error = "will not write " + path + " through the link " + output +
                    ": the file is another user's (uid " + std::to_string(info.st_uid) + ")";
            return false;
        }
        if (S_ISLNK(info.st_mode)) {
            if (!MayFollowLink(path, info, error)) return false;
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

}  // namespace pack
