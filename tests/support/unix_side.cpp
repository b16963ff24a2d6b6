#include "support/unix_side.h"

#ifdef _WIN32

#include <cstdlib>
#include <optional>
#include <vector>

#include "support/sandbox.h"

namespace testing_support {

std::string UnixPath(const std::string& windowsPath) {
    using UnixNameFn = char*(CDECL*)(LPCWSTR);
    auto unixName = reinterpret_cast<UnixNameFn>(
        GetProcAddress(GetModuleHandleA("kernel32.dll"), "wine_get_unix_file_name"));
    if (!unixName) return "";
    std::wstring wide(windowsPath.begin(), windowsPath.end());
    char* name = unixName(wide.c_str());
    if (!name) return "";
    std::string out = name;
    HeapFree(GetProcessHeap(), 0, name);
    return out;
}

bool RunUnixShell(const std::string& script, std::string* why, DWORD timeoutMs) {
    if (script.find('"') != std::string::npos) {
        *why = "a script with a double quote cannot be passed";
        return false;
    }
    // Wine gives no handle to wait on for a Unix process: the script writes its exit code into a
    // file of its own when it ends, and the wait polls for that file.
    static LONG counter = 0;
    char temp[MAX_PATH] = {};
    DWORD n = GetTempPathA(MAX_PATH, temp);
    if (n == 0 || n >= MAX_PATH) {
        *why = "no temporary folder";
        return false;
    }
    std::string done = std::string(temp) + "uninst-unix-" + std::to_string(GetCurrentProcessId()) + "-" +
                       std::to_string(InterlockedIncrement(&counter)) + ".rc";
    DeleteFileA(done.c_str());
    std::string unixDone = UnixPath(done);
    if (unixDone.empty()) {
        *why = "no Unix side here";
        return false;
    }
    std::string command = "sh -c \"( " + script + " ); echo $? > '" + unixDone + ".part' && mv '" + unixDone +
                          ".part' '" + unixDone + "'\"";
    std::vector<char> line(command.begin(), command.end());
    line.push_back('\0');
    STARTUPINFOA startup = {};
    startup.cb = sizeof startup;
    PROCESS_INFORMATION process = {};
    if (!CreateProcessA("Z:\\bin\\sh", line.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup,
                        &process)) {
        *why = "/bin/sh cannot be started here (error " + std::to_string(GetLastError()) + ")";
        return false;
    }
    CloseHandle(process.hThread);
    CloseHandle(process.hProcess);
    DWORD start = GetTickCount();
    std::optional<std::string> code;
    while (!(code = ReadFileText(done)) && GetTickCount() - start < timeoutMs) Sleep(20);
    DeleteFileA(done.c_str());
    if (!code) {
        *why = "the script did not end within " + std::to_string(timeoutMs) + " ms: " + script;
        return false;
    }
    if (code->empty() || (*code)[0] != '0' || std::atoi(code->c_str()) != 0) {
        *why = "the script exited with " + *code + ": " + script;
        return false;
    }
    return true;
}

bool MakeUnixLink(const std::string& link, const std::string& target, std::string* why) {
    size_t cut = link.find_last_of('\\');
    std::string unixTarget = UnixPath(target);
    std::string unixFolder = cut == std::string::npos ? std::string() : UnixPath(link.substr(0, cut));
    if (unixTarget.empty() || unixFolder.empty()) {
        *why = "no Unix path for " + target + " or the folder of " + link;
        return false;
    }
    if (!RunUnixShell("ln -s '" + unixTarget + "' '" + unixFolder + "/" + link.substr(cut + 1) + "'", why))
        return false;
    if (GetFileAttributesA(link.c_str()) == INVALID_FILE_ATTRIBUTES) {
        *why = "the link " + link + " is not seen";
        return false;
    }
    return true;
}

}  // namespace testing_support

#endif  // _WIN32
