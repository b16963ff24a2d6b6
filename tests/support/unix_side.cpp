#include "support/unix_side.h"

#ifdef _WIN32

#include <vector>

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
    std::string command = "sh -c \"" + script + "\"";
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
    DWORD waited = WaitForSingleObject(process.hProcess, timeoutMs);
    DWORD code = 1;
    GetExitCodeProcess(process.hProcess, &code);
    if (waited != WAIT_OBJECT_0) TerminateProcess(process.hProcess, 1);
    CloseHandle(process.hProcess);
    if (waited != WAIT_OBJECT_0) {
        *why = "the script ran longer than " + std::to_string(timeoutMs) + " ms: " + script;
        return false;
    }
    if (code != 0) {
        *why = "the script exited with " + std::to_string(code) + ": " + script;
        return false;
    }
    return true;
}

}  // namespace testing_support

#endif  // _WIN32
