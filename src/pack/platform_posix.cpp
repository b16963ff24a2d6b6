// The packer's system calls on POSIX: names are bytes, taken as UTF-8.
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <sys/stat.h>
#include <vector>

#include "pack/platform.h"

namespace pack::platform {

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

FILE* OpenFile(const std::string& name, const char* mode, std::string& why) {
    FILE* file = fopen(name.c_str(), mode);
    if (!file) why = strerror(errno);
    return file;
}

bool RenameReplacing(const std::string& from, const std::string& to, std::string& why) {
    if (rename(from.c_str(), to.c_str()) == 0) return true;
    why = strerror(errno);
    return false;
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

bool WriteTemporaryCopy(const std::string& bytes, std::string& path) {
    const char* temp = getenv("TMPDIR");
    std::string pattern = temp && *temp ? temp : "/tmp";
    pattern.append("/uninstpack-stdin-XXXXXX");
    std::vector<char> name(pattern.begin(), pattern.end());
    name.push_back('\0');
    int fd = mkstemp(name.data());
    if (fd < 0) return false;
    FILE* f = fdopen(fd, "wb");
    bool ok = f && fwrite(bytes.data(), 1, bytes.size(), f) == bytes.size();
    // fclose closes the descriptor too; its result is checked: a write may fail only there.
    ok = f && fclose(f) == 0 && ok;
    if (!ok) {
        unlink(name.data());
        return false;
    }
    path = name.data();
    return true;
}

}  // namespace pack::platform
