#include "pack/sign.h"

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <vector>

#include "pack/image.h"

#ifndef _WIN32
#include <fcntl.h>
#include <spawn.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

extern char** environ;
#endif

namespace pack {

#ifndef _WIN32

namespace {

constexpr char kSignerVariable[] = "UNINSTPACK_OSSLSIGNCODE";

// True when the signed file is the image with a certificate table after it: every byte of the
// image as it was, except the checksum and the security directory entry that signing sets, then at
// most 7 zero bytes of alignment and the table, which ends the file. Signing must not move or
// change the block: the data-offset field points at it.
bool SignedAsBuilt(const format::Bytes& image, const format::Bytes& signedImage, format::CertificateTable& table,
                   std::string& why) {
    auto before = format::LocateDataOffsetField(image);
    auto after = format::LocateDataOffsetField(signedImage, &why);
    if (!before || !after) {
        why = "the signed file is no uninstaller: " + why;
        return false;
    }
    if (!after->certificates || after->certificates->size == 0 || before->certificatesEntry == 0) {
        why = "the signed file has no certificate table";
        return false;
    }
    table = *after->certificates;
    const uint64_t at = table.offset, end = uint64_t{table.offset} + table.size;
    if (signedImage.size() < image.size() || at < image.size() || at - image.size() >= 8 || end != signedImage.size()) {
        why = "the certificate table (" + std::to_string(table.size) + " bytes at offset " + std::to_string(at) +
              ") does not directly follow the block and end the file";
        return false;
    }
    for (size_t i = 0; i < signedImage.size() && i < at; ++i) {
        bool setBySigning = (i >= before->checksumField && i < before->checksumField + 4) ||
                            (i >= before->certificatesEntry && i < before->certificatesEntry + 8);
        uint8_t was = i < image.size() ? image[i] : 0;
        if (!setBySigning && signedImage[i] != was) {
            why = "the signer changed the byte at offset " + std::to_string(i) + " of the uninstaller";
            return false;
        }
    }
    return true;
}

bool IsExecutableFile(const std::string& path) {
    struct stat info;
    return stat(path.c_str(), &info) == 0 && S_ISREG(info.st_mode) && access(path.c_str(), X_OK) == 0;
}

// Removes the temporary folder and what the signing left in it.
class SigningFolder {
  public:
    SigningFolder() {
        const char* temp = getenv("TMPDIR");
        std::string pattern = std::string(temp && *temp ? temp : "/tmp") + "/uninstpack-signing-XXXXXX";
        std::vector<char> name(pattern.begin(), pattern.end());
        name.push_back('\0');
        if (mkdtemp(name.data())) path_ = name.data();
    }
    ~SigningFolder() {
        if (path_.empty()) return;
        for (const char* name : {kUnsigned, kSigned, kLog}) unlink(File(name).c_str());
        rmdir(path_.c_str());
    }
    SigningFolder(const SigningFolder&) = delete;
    SigningFolder& operator=(const SigningFolder&) = delete;

    bool ok() const { return !path_.empty(); }
    std::string File(const char* name) const { return path_ + "/" + name; }

    static constexpr char kUnsigned[] = "unsigned.exe";
    static constexpr char kSigned[] = "signed.exe";
    static constexpr char kLog[] = "osslsigncode.log";

  private:
    std::string path_;
};

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

}  // namespace

std::optional<std::string> FindSigner(std::string& error) {
    const char* named = getenv(kSignerVariable);
    if (named && *named) {
        if (IsExecutableFile(named)) return std::string(named);
        error = std::string(kSignerVariable) + " names " + named + ", which is no executable file: osslsigncode is " +
                "not installed there";
        return std::nullopt;
    }
    const char* path = getenv("PATH");
    std::string folders = path ? path : "";
    for (size_t start = 0; start <= folders.size();) {
        size_t colon = folders.find(':', start);
        if (colon == std::string::npos) colon = folders.size();
        std::string folder = folders.substr(start, colon - start);
        // An empty entry means the current folder: a signer is never taken from there.
        if (!folder.empty() && folder[0] == '/' && IsExecutableFile(folder + "/osslsigncode")) {
            return folder + "/osslsigncode";
        }
        start = colon + 1;
    }
    error = "osslsigncode is not installed (not found on PATH): install it (Debian and Ubuntu: apt install "
            "osslsigncode) or name it with " + std::string(kSignerVariable) + ", or build without --sign-with";
    return std::nullopt;
}

bool SignImage(const format::Bytes& image, const SignOptions& options, const std::string& output,
               format::Bytes& signedImage, format::CertificateTable& signature, std::string& error) {
    (void)output;
    auto signer = FindSigner(error);
    if (!signer) return false;
    SigningFolder folder;
    if (!folder.ok()) {
        error = std::string("cannot create a temporary folder for signing: ") + strerror(errno);
        return false;
    }
    std::string unsignedFile = folder.File(SigningFolder::kUnsigned);
    std::string signedFile = folder.File(SigningFolder::kSigned);
    std::string log = folder.File(SigningFolder::kLog);
    if (!WriteWholeFile(unsignedFile, image, false, error)) return false;
    std::vector<std::string> arguments = {*signer, "sign", "-pkcs12", options.certificate, "-h", "sha256"};
    if (options.passwordFile) arguments.insert(arguments.end(), {"-readpass", *options.passwordFile});
    if (options.timestampUrl) arguments.insert(arguments.end(), {"-ts", *options.timestampUrl});
    arguments.insert(arguments.end(), {"-in", unsignedFile, "-out", signedFile});
    std::string why;
    int code = RunProgram(arguments, log, why);
    if (code != 0) {
        std::string said;
        std::string ignored;
        if (ReadWholeFile(log, said, ignored)) {
            while (!said.empty() && (said.back() == '\n' || said.back() == '\r')) said.pop_back();
        }
        error = "signing with " + options.certificate + " failed: " +
                (code < 0 ? why : *signer + " exited with " + std::to_string(code)) +
                (said.empty() ? std::string() : ":\n" + said) + "\nnothing written";
        return false;
    }
    std::string text;
    if (!ReadWholeFile(signedFile, text, error)) return false;
    signedImage.assign(text.begin(), text.end());
    if (!SignedAsBuilt(image, signedImage, signature, why)) {
        error = *signer + " did not sign the uninstaller as built (" + why + "); nothing written";
        return false;
    }
    return true;
}

#else  // _WIN32

std::optional<std::string> FindSigner(std::string& error) {
    error = "signing on Windows uses signtool";
    return std::nullopt;
}

// Windows has its own signer; the packer says how to run it on the file it builds without signing.
bool SignImage(const format::Bytes&, const SignOptions& options, const std::string& output, format::Bytes&,
               format::CertificateTable&, std::string& error) {
    error = "signing on Windows uses signtool: build without --sign-with, then run\n  signtool sign /fd SHA256 /f \"" +
            options.certificate + "\" /p PASSWORD" +
            (options.timestampUrl ? " /tr \"" + *options.timestampUrl + "\" /td SHA256" : std::string()) + " \"" +
            output + "\"\nnothing written";
    return false;
}

#endif  // _WIN32

}  // namespace pack
