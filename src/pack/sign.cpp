#include "pack/sign.h"

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <vector>

#include "pack/image.h"
#include "pack/platform.h"

#ifdef _WIN32
#include <windows.h>
#else
#include <fcntl.h>
#include <spawn.h>
#include <unistd.h>

#include <sys/stat.h>
#include <sys/wait.h>

extern char** environ;
#endif

namespace pack {

namespace {

constexpr char kSignerVariable[] = "UNINSTPACK_OSSLSIGNCODE";
constexpr char kUnsignedName[] = "unsigned.exe";
constexpr char kSignedName[] = "signed.exe";
constexpr char kLogName[] = "osslsigncode.log";

// True when the signed file is the image with a certificate table after it: every byte of the
// image as it was, except the checksum and the security directory entry that signing sets, then at
// most 7 zero bytes of alignment and the table, which ends the file. Signing must not move or
// change the block: the data-offset field points at it.
bool SignedAsBuilt(const format::Bytes& image, const format::Bytes& signedImage,
                   format::CertificateTable& table, std::string& why) {
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
    if (signedImage.size() < image.size() || at < image.size() || at - image.size() >= 8 ||
        end != signedImage.size()) {
        why = "the certificate table (" + std::to_string(table.size) + " bytes at offset " +
              std::to_string(at) + ") does not directly follow the block and end the file";
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

#ifndef _WIN32

constexpr char kProgramName[] = "osslsigncode";
constexpr char kNotFound[] =
    "osslsigncode is not installed (not found on PATH): install it (Debian and Ubuntu: apt install "
    "osslsigncode) or "
    "name it with UNINSTPACK_OSSLSIGNCODE, or build without --sign-with";

bool IsExecutableFile(const std::string& path) {
    struct stat info;
    return stat(path.c_str(), &info) == 0 && S_ISREG(info.st_mode) && access(path.c_str(), X_OK) == 0;
}

// A temporary folder of its own under TMPDIR (else /tmp), removed with what the signing left in
// it: the signed file is only taken from there, and the caller writes it to the output.
class SigningFolder {
  public:
    SigningFolder() {
        const char* temp = getenv("TMPDIR");
        std::string pattern = std::string(temp && *temp ? temp : "/tmp") + "/uninstpack-signing-XXXXXX";
        std::vector<char> name(pattern.begin(), pattern.end());
        name.push_back('\0');
        if (mkdtemp(name.data())) {
            path_ = name.data();
        } else {
            why_ = platform::SystemError();
        }
    }
    ~SigningFolder() {
        if (path_.empty()) return;
        for (const char* name : {kUnsignedName, kSignedName, kLogName}) unlink(File(name).c_str());
        rmdir(path_.c_str());
    }
    SigningFolder(const SigningFolder&) = delete;
    SigningFolder& operator=(const SigningFolder&) = delete;

    bool ok() const { return !path_.empty(); }
    const std::string& why() const { return why_; }
    std::string File(const char* name) const { return path_ + "/" + name; }

  private:
    std::string path_;
    std::string why_;  // when it could not be made
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

#else  // _WIN32

constexpr char kProgramName[] = "osslsigncode.exe";

bool IsExecutableFile(const std::string& path) {
    std::wstring wide;
    if (!platform::WideFromUtf8(path, wide)) return false;
    DWORD attributes = GetFileAttributesW(wide.c_str());
    return attributes != INVALID_FILE_ATTRIBUTES && !(attributes & FILE_ATTRIBUTE_DIRECTORY);
}

// The folders of PATH that are absolute (a drive or a share): the current folder and folders
// below it are never searched for a signer.
std::vector<std::string> SearchFolders() {
    std::vector<std::string> found;
    std::string folders = platform::Environment("PATH").value_or("");
    for (size_t start = 0; start <= folders.size();) {
        size_t semicolon = folders.find(';', start);
        if (semicolon == std::string::npos) semicolon = folders.size();
        std::string folder = folders.substr(start, semicolon - start);
        if (folder.size() >= 2 && folder.front() == '"' && folder.back() == '"')
            folder = folder.substr(1, folder.size() - 2);
        bool drive = folder.size() >= 3 && folder[1] == ':' && (folder[2] == '\\' || folder[2] == '/');
        bool share = folder.size() >= 3 && folder[0] == '\\' && folder[1] == '\\';
        if (drive || share)
            found.push_back(folder.back() == '\\' || folder.back() == '/' ? folder : folder + "\\");
        start = semicolon + 1;
    }
    return found;
}

// A temporary folder of its own in the user's temporary folder (GetTempPathW), removed with what
// the signing left in it: the signed file is only taken from there, and the caller writes it to
// the output.
class SigningFolder {
  public:
    SigningFolder() {
        wchar_t temp[MAX_PATH + 1];
        DWORD length = GetTempPathW(MAX_PATH + 1, temp);
        std::string base;
        if (length == 0 || length > MAX_PATH || !platform::Utf8FromWide(std::wstring(temp, length), base)) {
            why_ = "no temporary folder: " + platform::SystemError();
            return;
        }
        if (base.back() != '\\' && base.back() != '/') base += '\\';
        for (unsigned attempt = 0; attempt < 100 && path_.empty(); ++attempt) {
            std::string candidate = base + "uninstpack-signing-" + std::to_string(GetCurrentProcessId()) +
                                    "-" + std::to_string(GetTickCount() + attempt);
            std::wstring wide;
            if (!platform::WideFromUtf8(candidate, wide)) {
                why_ = "the name is not valid UTF-8";
                return;
            }
            if (CreateDirectoryW(wide.c_str(), nullptr)) {
                path_ = candidate;
            } else if (GetLastError() != ERROR_ALREADY_EXISTS) {
                why_ = platform::SystemError();
                return;
            }
        }
        if (path_.empty() && why_.empty()) why_ = "every name tried is taken";
    }
    ~SigningFolder() {
        if (path_.empty()) return;
        for (const char* name : {kUnsignedName, kSignedName, kLogName}) platform::RemoveFile(File(name));
        std::wstring wide;
        if (platform::WideFromUtf8(path_, wide)) RemoveDirectoryW(wide.c_str());
    }
    SigningFolder(const SigningFolder&) = delete;
    SigningFolder& operator=(const SigningFolder&) = delete;

    bool ok() const { return !path_.empty(); }
    const std::string& why() const { return why_; }
    std::string File(const char* name) const { return path_ + "\\" + name; }

  private:
    std::string path_;
    std::string why_;  // when it could not be made
};

// One argument as the C runtime's command-line parser reads it back (CommandLineToArgvW's rules):
// quoted, with the backslashes before a quote doubled.
void AppendQuoted(std::wstring& line, const std::wstring& argument) {
    line.push_back(L'"');
    size_t backslashes = 0;
    for (wchar_t c : argument) {
        if (c == L'\\') {
            ++backslashes;
        } else {
            // Backslashes before a quote are doubled, and the quote escaped; others stand as they are.
            if (c == L'"') line.append(backslashes + 1, L'\\');
            backslashes = 0;
        }
        line.push_back(c);
    }
    line.append(backslashes, L'\\');  // doubled before the closing quote
    line.push_back(L'"');
}

// Runs the program with these arguments (no shell: CreateProcess with the program's full path),
// its input from NUL and its output and messages into `log`; the exit code, or -1 when it could
// not be started (why in `why`).
int RunProgram(const std::vector<std::string>& arguments, const std::string& log, std::string& why) {
    std::wstring program, line;
    for (const auto& argument : arguments) {
        std::wstring wide;
        if (!platform::WideFromUtf8(argument, wide)) {
            why = "cannot start " + arguments[0] + ": an argument is not valid UTF-8";
            return -1;
        }
        if (program.empty()) program = wide;
        if (!line.empty()) line.push_back(L' ');
        AppendQuoted(line, wide);
    }
    std::wstring logName;
    if (!platform::WideFromUtf8(log, logName)) logName.clear();
    SECURITY_ATTRIBUTES inherit{sizeof inherit, nullptr, TRUE};
    // FILE_SHARE_DELETE: the temporary folder goes even while a straggler still holds the log.
    HANDLE output =
        CreateFileW(logName.c_str(), GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                    &inherit, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    HANDLE input = CreateFileW(L"NUL", GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, &inherit,
                               OPEN_EXISTING, 0, nullptr);
    if (output == INVALID_HANDLE_VALUE || input == INVALID_HANDLE_VALUE) {
        why = "cannot start " + arguments[0] + ": cannot open " + log;
        if (output != INVALID_HANDLE_VALUE) CloseHandle(output);
        if (input != INVALID_HANDLE_VALUE) CloseHandle(input);
        return -1;
    }
    STARTUPINFOW startup{};
    startup.cb = sizeof startup;
    startup.dwFlags = STARTF_USESTDHANDLES;
    startup.hStdInput = input;
    startup.hStdOutput = output;
    startup.hStdError = output;
    PROCESS_INFORMATION process{};
    // No console: its output goes to the log, and a console host would hold the log open past the
    // signer's end.
    BOOL started = CreateProcessW(program.c_str(), line.data(), nullptr, nullptr, TRUE, DETACHED_PROCESS,
                                  nullptr, nullptr, &startup, &process);
    DWORD startError = GetLastError();
    CloseHandle(output);
    CloseHandle(input);
    if (!started) {
        why = "cannot start " + arguments[0] + " (error " + std::to_string(startError) + ")";
        return -1;
    }
    CloseHandle(process.hThread);
    DWORD code = 1;
    bool waited = WaitForSingleObject(process.hProcess, INFINITE) == WAIT_OBJECT_0 &&
                  GetExitCodeProcess(process.hProcess, &code);
    CloseHandle(process.hProcess);
    if (!waited) {
        why = "cannot wait for " + arguments[0];
        return -1;
    }
    return static_cast<int>(code & 0x7FFFFFFF);
}

// What to run instead where no osslsigncode is found: Windows' own signer, on the uninstaller
// built without --sign-with.
std::string SigntoolCommand(const std::string& output, const SignOptions& options) {
    return "signtool sign /fd SHA256 /f \"" + options.certificate + "\" /p PASSWORD" +
           (options.timestampUrl ? " /tr \"" + *options.timestampUrl + "\" /td SHA256" : std::string()) +
           " \"" + output + "\"";
}

constexpr char kNotFound[] =
    "osslsigncode is not installed (no osslsigncode.exe found on PATH): install it or name it with "
    "UNINSTPACK_OSSLSIGNCODE, or build without --sign-with and sign with signtool";

#endif  // _WIN32

}  // namespace

std::optional<std::string> FindSigner(std::string& error) {
    std::optional<std::string> named = platform::Environment(kSignerVariable);
    if (named && !named->empty()) {
        if (IsExecutableFile(*named)) return named;
        error = std::string(kSignerVariable) + " names " + *named +
                ", which is no executable file: osslsigncode is " + "not installed there";
        return std::nullopt;
    }
    for (const auto& folder : SearchFolders()) {
        if (IsExecutableFile(folder + kProgramName)) return folder + kProgramName;
    }
    error = kNotFound;
    return std::nullopt;
}

bool SignImage(const format::Bytes& image, const SignOptions& options, const std::string& output,
               format::Bytes& signedImage, format::CertificateTable& signature, std::string& error) {
    auto signer = FindSigner(error);
    if (!signer) {
#ifdef _WIN32
        error += ":\n  " + SigntoolCommand(output, options) + "\nnothing written";
#else
        (void)output;
#endif
        return false;
    }
    SigningFolder folder;
    if (!folder.ok()) {
        error = "cannot create a temporary folder for signing: " + folder.why();
        return false;
    }
    std::string unsignedFile = folder.File(kUnsignedName);
    std::string signedFile = folder.File(kSignedName);
    std::string log = folder.File(kLogName);
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
            // A Windows signer ends its lines with CRLF; the packer's messages end them with LF.
            std::string lines;
            for (size_t i = 0; i < said.size(); ++i) {
                if (!(said[i] == '\r' && i + 1 < said.size() && said[i + 1] == '\n')) lines += said[i];
            }
            said = lines;
            while (!said.empty() && (said.back() == '\n' || said.back() == '\r')) said.pop_back();
        }
        error = "signing with " + options.certificate +
                " failed: " + (code < 0 ? why : *signer + " exited with " + std::to_string(code)) +
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

}  // namespace pack
