// A window hook that records what the uninstaller's progress display shows, for the tests that
// check the bar's positions and texts as the passes run. A test installs it on the uninstaller's
// thread (SetWindowsHookExA with WH_CALLWNDPROCRET and this library), which loads it into that
// process. After each message that changed the display, one line is appended to the file named by
// the environment variable UNINST_PROGRESS_TRACE (inherited from the test):
//   position <n>   the progress bar (msctls_progress32) after PBM_SETPOS, as it now stands
//   text <text>    the progress dialog's text control (1000, beside the bar 1009) after WM_SETTEXT
// Exported undecorated (the build links with --kill-at).
#include <windows.h>

#include <commctrl.h>

namespace {

constexpr int kTextId = 1000;
constexpr int kBarId = 1009;

void Append(const char* line) {
    char path[MAX_PATH] = {};
    DWORD n = GetEnvironmentVariableA("UNINST_PROGRESS_TRACE", path, MAX_PATH);
    if (n == 0 || n >= MAX_PATH) return;
    HANDLE file = CreateFileA(path, FILE_APPEND_DATA, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                              OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE) return;
    DWORD written = 0;
    WriteFile(file, line, static_cast<DWORD>(lstrlenA(line)), &written, nullptr);
    CloseHandle(file);
}

bool IsProgressBar(HWND window) {
    char name[32] = {};
    return GetClassNameA(window, name, sizeof name) > 0 && lstrcmpiA(name, PROGRESS_CLASSA) == 0;
}

}  // namespace

extern "C" __declspec(dllexport) LRESULT CALLBACK ProgressHookProc(int code, WPARAM wParam, LPARAM lParam) {
    if (code == HC_ACTION) {
        const CWPRETSTRUCT* call = reinterpret_cast<const CWPRETSTRUCT*>(lParam);
        char line[300] = {};
        if (call->message == PBM_SETPOS && IsProgressBar(call->hwnd)) {
            wsprintfA(line, "position %d\n", static_cast<int>(SendMessageA(call->hwnd, PBM_GETPOS, 0, 0)));
            Append(line);
        } else if (call->message == WM_SETTEXT && GetDlgCtrlID(call->hwnd) == kTextId &&
                   GetDlgItem(GetParent(call->hwnd), kBarId)) {
            char text[256] = {};
            GetWindowTextA(call->hwnd, text, sizeof text);
            wsprintfA(line, "text %s\n", text);
            Append(line);
        }
    }
    return CallNextHookEx(nullptr, code, wParam, lParam);
}
