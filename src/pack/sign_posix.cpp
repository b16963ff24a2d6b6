// Signing on POSIX: osslsigncode found on PATH and started with posix_spawn.
#include <fcntl.h>
#include <spawn.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <sys/stat.h>
#include <sys/wait.h>

#include "pack/platform.h"
#include "pack/sign_system.h"

extern char** environ;

namespace pack {

const char kProgramName[] = "osslsigncode";
const char kFolderSeparator[] = "/";
const char kNotFound[] =
    "osslsigncode is not installed (not found on PATH): install it (Debian and Ubuntu: apt install "
    "osslsigncode) or "
    "name it with UNINSTPACK_OSSLSIGNCODE, or build without --sign-with";

bool IsExecutableFile(const std::string& path) {
    struct stat info;
    return stat(path.c_str(), &info) == 0 && S_ISREG(info.st_mode) && access(path.c_str(), X_OK) == 0;
}

bool MakeSigningFolder(std::string& path, std::string& why) {
    // Under TMPDIR, else /tmp.
    const char* temp = getenv("TMPDIR");
    std::string pattern = std::string(temp && *temp ? temp : "/tmp") + "/uninstpack-signing-XXXXXX";
    std::vector<char> name(pattern.begin(), pattern.end());
    name.push_back('\0');
    if (!mkdtemp(name.data())) {
        why = platform::SystemError();
        return false;
    }
    path = name.data();
    return true;
}

void RemoveSigningFolder(const std::string& path) {
    for (const char* name : {kUnsignedName, kSignedName, kLogName}) unlink((path + "/" + name).c_str());
    rmdir(path.c_str());
}

// Runs the program with these arguments (no shell), its input from /dev/null and its output and
// messages into `log`; the exit status, or -1 when it could not be started (errno-like in `why`).
int RunProgram(const std::vector<std::string>& arguments, const std::string& log, std::string& why) {
    std::vector<char*> argv;
    for (const auto& a : arguments) argv.push_back(const_cast<char*>(a.c_str()));
    argv.push_back(nullptr);
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, 0, "/dev/null", O_RDONLY, 0);
    posix_spawn_file_actions_addopen(&actions, 1, log.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
    posix_spawn_file_actions_adddup2(&actions, 1, 2);
    pid_t child = 0;
    int started = posix_spawn(&child, argv[0], &actions, nullptr, argv.data(), environ);
    posix_spawn_file_actions_destroy(&actions);
    if (started != 0) {
        why = "cannot start " + arguments[0] + ": " + strerror(started);
        return -1;
    }
    int status = 0;
    while (waitpid(child, &status, 0) < 0) {
        if (errno != EINTR) {
            why = "cannot wait for " + arguments[0] + ": " + strerror(errno);
            return -1;
        }
    }
    if (WIFEXITED(status)) return WEXITSTATUS(status);
    why = arguments[0] + " ended by signal " + std::to_string(WTERMSIG(status));
    return -1;
}

// The folders of PATH, in order. An empty entry means the current folder, and a relative one a
// folder below it: a signer is never taken from there.
std::vector<std::string> SearchFolders() {
    std::vector<std::string> found;
    std::string folders = platform::Environment("PATH").value_or("");
    for (size_t start = 0; start <= folders.size();) {
        size_t colon = folders.find(':', start);
        if (colon == std::string::npos) colon = folders.size();
        std::string folder = folders.substr(start, colon - start);
        if (!folder.empty() && folder[0] == '/') found.push_back(folder + "/");
        start = colon + 1;
    }
    return found;
}

std::string SignerAdvice(const std::string&, const SignOptions&) {
    return "";
}

}  // namespace pack
