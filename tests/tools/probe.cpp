// A stand-in for the programs the uninstaller starts. It appends what it was given to a record
// file, then may start another command, wait, hold until told and exit with a chosen code:
//   probe.exe [--log=<file>] [--exit=<code>] [--wait=<ms>] [--hold=<file>] [anything] [--start <command
//   line>]
// The record file is --log's, else the one named by UNINST_PROBE_LOG, else "<probe>.log" beside
// the program. One record per start:
//   command line: <the raw command line>
//   argument: <each argument after the program name, one line each>
//   current folder: <the current directory>
//   platform: <platform id> <major>.<minor>    (1 for the 9x family, 2 for NT)
//   end
// "--start" takes the rest of the raw command line, as it stands, as a command to start (hidden,
// not waited for); it must come last. "--hold" makes it wait, after its record, until the file
// named exists (a test creates it to release the probe; bounded by a minute), then delete that
// file as its last act: a test that sees the file gone knows the probe is ending. A GUI program:
// no console appears.
#include <windows.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

namespace {

std::string LogPath() {
    for (int i = 1; i < __argc && strcmp(__argv[i], "--start") != 0; ++i) {
        if (strncmp(__argv[i], "--log=", 6) == 0) return __argv[i] + 6;
    }
    char value[MAX_PATH] = {};
    DWORD n = GetEnvironmentVariableA("UNINST_PROBE_LOG", value, MAX_PATH);
    if (n > 0 && n < MAX_PATH) return value;
    char self[MAX_PATH] = {};
    n = GetModuleFileNameA(nullptr, self, MAX_PATH);
    return n > 0 && n < MAX_PATH ? std::string(self) + ".log" : "";
}

// The text of the probe's option `prefix` ("--wait="), or nullptr; options after "--start" are
// the command's.
const char* Option(const char* prefix) {
    size_t length = strlen(prefix);
    for (int i = 1; i < __argc && strcmp(__argv[i], "--start") != 0; ++i) {
        if (strncmp(__argv[i], prefix, length) == 0) return __argv[i] + length;
    }
    return nullptr;
}

int IntOption(const char* prefix, int fallback) {
    const char* value = Option(prefix);
    return value ? atoi(value) : fallback;
}

// Polls until `file` exists and can be deleted (the test may still be writing it), then it is gone;
// at most a minute, so that a test that never releases it leaves no probe behind for long.
void HoldUntil(const char* file) {
    for (int i = 0; i < 3000 && !DeleteFileA(file); ++i) Sleep(20);
}

// The text after " --start " in the raw command line (past the program name), or nullptr.
const char* StartCommand(const char* commandLine) {
    const char* found = strstr(commandLine, " --start ");
    return found ? found + 9 : nullptr;
}

bool Record(const std::string& path) {
    FILE* log = fopen(path.c_str(), "ab");
    if (!log) return false;
    fprintf(log, "command line: %s\n", GetCommandLineA());
    // The arguments up to "--start": what follows it belongs to the command, not to the probe.
    for (int i = 1; i < __argc && strcmp(__argv[i], "--start") != 0; ++i)
        fprintf(log, "argument: %s\n", __argv[i]);
    char folder[MAX_PATH] = {};
    DWORD n = GetCurrentDirectoryA(MAX_PATH, folder);
    fprintf(log, "current folder: %s\n", n > 0 && n < MAX_PATH ? folder : "?");
    OSVERSIONINFOA version = {};
    version.dwOSVersionInfoSize = sizeof(version);
    if (GetVersionExA(&version)) {
        fprintf(log, "platform: %lu %lu.%lu\n", version.dwPlatformId, version.dwMajorVersion,
                version.dwMinorVersion);
    }
    fprintf(log, "end\n");
    return fclose(log) == 0;
}

}  // namespace

int WINAPI WinMain(HINSTANCE, HINSTANCE, LPSTR, int) {
    std::string log = LogPath();
    if (log.empty() || !Record(log)) return 120;
    if (const char* command = StartCommand(GetCommandLineA())) {
        std::string text = command;
        STARTUPINFOA startup = {};
        startup.cb = sizeof(startup);
        startup.dwFlags = STARTF_USESHOWWINDOW;
        startup.wShowWindow = SW_HIDE;
        PROCESS_INFORMATION process = {};
        if (!CreateProcessA(nullptr, text.data(), nullptr, nullptr, FALSE, CREATE_NO_WINDOW, nullptr, nullptr,
                            &startup, &process)) {
            return 121;
        }
        CloseHandle(process.hThread);
        CloseHandle(process.hProcess);
    }
    int wait = IntOption("--wait=", 0);
    if (wait > 0) Sleep(static_cast<DWORD>(wait));
    if (const char* hold = Option("--hold=")) HoldUntil(hold);
    return IntOption("--exit=", 0);
}
