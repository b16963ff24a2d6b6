// Signing on Windows: osslsigncode.exe found on PATH and started with CreateProcessW.
#include <windows.h>

#include <cstring>

#include "common/handles_win.h"
#include "pack/platform_win.h"
#include "pack/sign_system.h"

namespace pack {

const char kProgramName[] = "osslsigncode.exe";
const char kFolderSeparator[] = "\\";

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

bool MakeSigningFolder(std::string& path, std::string& why) {
    // In the user's temporary folder (GetTempPathW).
    wchar_t temp[MAX_PATH + 1];
    DWORD length = GetTempPathW(MAX_PATH + 1, temp);
    std::string base;
    if (length == 0 || length > MAX_PATH || !platform::Utf8FromWide(std::wstring(temp, length), base)) {
        why = "no temporary folder: " + platform::SystemError();
        return false;
    }
    if (base.back() != '\\' && base.back() != '/') base += '\\';
    for (unsigned attempt = 0; attempt < 100; ++attempt) {
        std::string candidate = base + "uninstpack-signing-" + std::to_string(GetCurrentProcessId()) + "-" +
                                std::to_string(GetTickCount() + attempt);
        std::wstring wide;
        if (!platform::WideFromUtf8(candidate, wide)) {
            why = "the name is not valid UTF-8";
            return false;
        }
        if (CreateDirectoryW(wide.c_str(), nullptr)) {
            path = candidate;
            return true;
        }
        if (GetLastError() != ERROR_ALREADY_EXISTS) {
            why = platform::SystemError();
            return false;
        }
    }
    why = "every name tried is taken";
    return false;
}

void RemoveSigningFolder(const std::string& path) {
    for (const char* name : {kUnsignedName, kSignedName, kLogName}) platform::RemoveFile(path + "\\" + name);
    std::wstring wide;
    if (platform::WideFromUtf8(path, wide)) RemoveDirectoryW(wide.c_str());
}

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
    UniqueFileHandle output(CreateFileW(logName.c_str(), GENERIC_WRITE,
                                        FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, &inherit,
                                        CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr));
    UniqueFileHandle input(CreateFileW(L"NUL", GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, &inherit,
                                       OPEN_EXISTING, 0, nullptr));
    if (!output || !input) {
        why = "cannot start " + arguments[0] + ": cannot open " + log;
        return -1;
    }
    STARTUPINFOW startup{};
    startup.cb = sizeof startup;
    startup.dwFlags = STARTF_USESTDHANDLES;
    startup.hStdInput = input.get();
    startup.hStdOutput = output.get();
    startup.hStdError = output.get();
    PROCESS_INFORMATION process{};
    // No console: its output goes to the log, and a console host would hold the log open past the
    // signer's end.
    BOOL started = CreateProcessW(program.c_str(), line.data(), nullptr, nullptr, TRUE, DETACHED_PROCESS,
                                  nullptr, nullptr, &startup, &process);
    DWORD startError = GetLastError();
    // Our copies of the child's input and output go at once: the child holds its own.
    output.reset();
    input.reset();
    if (!started) {
        why = "cannot start " + arguments[0] + " (error " + std::to_string(startError) + ")";
        return -1;
    }
    UniqueProcessInfo child;
    child.Take(process);
    child.thread.reset();
    DWORD code = 1;
    bool waited = WaitForSingleObject(child.process.get(), INFINITE) == WAIT_OBJECT_0 &&
                  GetExitCodeProcess(child.process.get(), &code);
    if (!waited) {
        why = "cannot wait for " + arguments[0];
        return -1;
    }
    return static_cast<int>(code & 0x7FFFFFFF);
}

// What to run instead where no osslsigncode is found: Windows' own signer, on the uninstaller
// built without --sign-with.
std::string SignerAdvice(const std::string& output, const SignOptions& options) {
    return ":\n  signtool sign /fd SHA256 /f \"" + options.certificate + "\" /p PASSWORD" +
           (options.timestampUrl ? " /tr \"" + *options.timestampUrl + "\" /td SHA256" : std::string()) +
           " \"" + output + "\"" + "\nnothing written";
}

const char kNotFound[] =
    "osslsigncode is not installed (no osslsigncode.exe found on PATH): install it or name it with "
    "UNINSTPACK_OSSLSIGNCODE, or build without --sign-with and sign with signtool";

}  // namespace pack
