#include "support/ui_robot.h"

#ifdef _WIN32
#include <algorithm>

namespace testing_support {

namespace {

constexpr DWORD kPollMs = 25;
constexpr UINT kSendTimeoutMs = 2000;

struct Search {
    const DialogQuery* query;
    HWND found;
};

bool ClassIs(HWND window, const char* name) {
    char buffer[64] = {};
    GetClassNameA(window, buffer, sizeof(buffer));
    return lstrcmpiA(buffer, name) == 0;
}

BOOL CALLBACK MatchDialog(HWND window, LPARAM param) {
    auto* search = reinterpret_cast<Search*>(param);
    const DialogQuery& query = *search->query;
    DWORD pid = 0;
    GetWindowThreadProcessId(window, &pid);
    if (pid != GetCurrentProcessId() || window == query.except) return TRUE;
    if (!IsWindowVisible(window) || !ClassIs(window, "#32770")) return TRUE;
    if (GetWindow(window, GW_ENABLEDPOPUP) != nullptr) return TRUE;  // a box or dialog sits on it
    if (query.neededControl != 0 && GetDlgItem(window, query.neededControl) == nullptr) return TRUE;
    if (query.caption && WindowText(window) != query.caption) return TRUE;
    search->found = window;
    return FALSE;
}

}  // namespace

HWND FindDialog(const DialogQuery& query) {
    Search search{&query, nullptr};
    EnumWindows(MatchDialog, reinterpret_cast<LPARAM>(&search));
    return search.found;
}

bool WaitFor(const std::function<bool()>& condition, DWORD timeoutMs) {
    DWORD start = GetTickCount();
    for (;;) {
        if (condition()) return true;
        if (GetTickCount() - start >= timeoutMs) return false;
        Sleep(kPollMs);
    }
}

HWND WaitForDialog(const DialogQuery& query, DWORD timeoutMs) {
    HWND found = nullptr;
    WaitFor([&] { return (found = FindDialog(query)) != nullptr; }, timeoutMs);
    return found;
}

bool WaitUntilGone(HWND window, DWORD timeoutMs) {
    return WaitFor([&] { return !IsWindow(window); }, timeoutMs);
}

std::string WindowText(HWND window) {
    char buffer[1024] = {};
    DWORD_PTR copied = 0;
    if (GetWindowThreadProcessId(window, nullptr) == GetCurrentThreadId()) {
        GetWindowTextA(window, buffer, sizeof(buffer));
    } else {
        SendMessageTimeoutA(window, WM_GETTEXT, sizeof(buffer), reinterpret_cast<LPARAM>(buffer),
                            SMTO_ABORTIFHUNG, kSendTimeoutMs, &copied);
    }
    return buffer;
}

std::string MessageBoxText(HWND box) {
    return WindowText(GetDlgItem(box, 0xFFFF));
}

HFONT WindowFont(HWND window) {
    DWORD_PTR font = 0;
    SendMessageTimeoutA(window, WM_GETFONT, 0, 0, SMTO_ABORTIFHUNG, kSendTimeoutMs, &font);
    return reinterpret_cast<HFONT>(font);
}

HWND FocusedWindow(HWND window) {
    GUITHREADINFO info = {};
    info.cbSize = sizeof(info);
    if (!GetGUIThreadInfo(GetWindowThreadProcessId(window, nullptr), &info)) return nullptr;
    return info.hwndFocus;
}

void ClickButton(HWND dialog, int id) {
    PostMessageA(GetDlgItem(dialog, id), BM_CLICK, 0, 0);
}

void PressKey(HWND dialog, UINT key) {
    HWND target = FocusedWindow(dialog);
    if (target != dialog && !IsChild(dialog, target)) target = dialog;
    UINT scan = MapVirtualKeyA(key, 0);
    PostMessageA(target, WM_KEYDOWN, key, 1 | (static_cast<LPARAM>(scan) << 16));
    PostMessageA(target, WM_KEYUP, key, 1 | (static_cast<LPARAM>(scan) << 16) | (3u << 30));
}

void PressCloseBox(HWND dialog) {
    PostMessageA(dialog, WM_SYSCOMMAND, SC_CLOSE, 0);
}

std::vector<ButtonInfo> ButtonsLeftToRight(HWND dialog) {
    std::vector<ButtonInfo> buttons;
    for (HWND child = GetWindow(dialog, GW_CHILD); child; child = GetWindow(child, GW_HWNDNEXT)) {
        if (!ClassIs(child, "Button")) continue;
        ButtonInfo info{GetDlgCtrlID(child), WindowText(child), {}};
        GetWindowRect(child, &info.rect);
        buttons.push_back(info);
    }
    std::sort(buttons.begin(), buttons.end(),
              [](const ButtonInfo& a, const ButtonInfo& b) { return a.rect.left < b.rect.left; });
    return buttons;
}

int InkImage::RightmostInkColumn() const {
    for (int x = width - 1; x >= 0; --x) {
        if (AnyInk(x, 0, x + 1, height)) return x;
    }
    return -1;
}

bool InkImage::AnyInk(int left, int top, int right, int bottom) const {
    for (int y = std::max(top, 0); y < std::min(bottom, height); ++y) {
        for (int x = std::max(left, 0); x < std::min(right, width); ++x) {
            if (At(x, y)) return true;
        }
    }
    return false;
}

std::string InkImage::Picture(int columns) const {
    std::string out = "\n";
    for (int y = 0; y < height; ++y) {
        for (int x = 0; x < std::min(columns, width); ++x) out += At(x, y) ? '#' : '.';
        out += '\n';
    }
    return out;
}

namespace {

// Paints into a white top-down 32-bit image and reduces it to dark pixels.
InkImage PaintInk(int width, int height, const std::function<void(HDC)>& paint) {
    InkImage image;
    if (width <= 0 || height <= 0) return image;
    image.width = width;
    image.height = height;
    BITMAPINFO info = {};
    info.bmiHeader.biSize = sizeof(info.bmiHeader);
    info.bmiHeader.biWidth = width;
    info.bmiHeader.biHeight = -height;
    info.bmiHeader.biPlanes = 1;
    info.bmiHeader.biBitCount = 32;
    void* bits = nullptr;
    HDC screen = GetDC(nullptr);
    HDC memory = CreateCompatibleDC(screen);
    HBITMAP bitmap = CreateDIBSection(screen, &info, DIB_RGB_COLORS, &bits, nullptr, 0);
    ReleaseDC(nullptr, screen);
    HGDIOBJ old = SelectObject(memory, bitmap);
    RECT all = {0, 0, width, height};
    FillRect(memory, &all, static_cast<HBRUSH>(GetStockObject(WHITE_BRUSH)));
    paint(memory);
    GdiFlush();
    image.ink.resize(static_cast<size_t>(width) * height);
    const auto* pixels = static_cast<const uint8_t*>(bits);
    for (size_t i = 0; i < image.ink.size(); ++i) {
        const uint8_t* p = pixels + 4 * i;  // blue, green, red, unused
        image.ink[i] = (p[0] + p[1] + p[2]) < 3 * 96;
    }
    SelectObject(memory, old);
    DeleteObject(bitmap);
    DeleteDC(memory);
    return image;
}

}  // namespace

InkImage CaptureInk(HWND control) {
    RECT client = {};
    GetClientRect(control, &client);
    return PaintInk(client.right, client.bottom, [control](HDC dc) {
        DWORD_PTR ignored = 0;
        SendMessageTimeoutA(control, WM_PRINTCLIENT, reinterpret_cast<WPARAM>(dc), PRF_CLIENT,
                            SMTO_ABORTIFHUNG, kSendTimeoutMs, &ignored);
    });
}

InkImage DrawTextInk(HFONT font, int width, int height, const char* text, UINT flags) {
    return PaintInk(width, height, [&](HDC dc) {
        HGDIOBJ old = SelectObject(dc, font);
        SetBkMode(dc, TRANSPARENT);
        SetTextColor(dc, RGB(0, 0, 0));
        RECT rect = {0, 0, width, height};
        DrawTextA(dc, text, -1, &rect, flags);
        SelectObject(dc, old);
    });
}

namespace {
const char kSpyProperty[] = "UiRobotMessageSpy";
}  // namespace

MessageSpy::MessageSpy(HWND window, UINT message) : window_(window), message_(message) {
    if (!window) return;
    SetPropA(window, kSpyProperty, this);
    original_ = reinterpret_cast<WNDPROC>(
        SetWindowLongPtrA(window, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(&MessageSpy::Proc)));
}

MessageSpy::~MessageSpy() {
    if (!IsWindow(window_)) return;
    SetWindowLongPtrA(window_, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(original_));
    RemovePropA(window_, kSpyProperty);
}

LRESULT CALLBACK MessageSpy::Proc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    auto* spy = static_cast<MessageSpy*>(GetPropA(window, kSpyProperty));
    if (message == spy->message_) {
        spy->parameters.push_back(wParam);
        ++spy->count_;
    }
    return CallWindowProcA(spy->original_, window, message, wParam, lParam);
}

namespace {

BOOL CALLBACK CancelDialog(HWND window, LPARAM) {
    DWORD pid = 0;
    GetWindowThreadProcessId(window, &pid);
    if (pid == GetCurrentProcessId() && IsWindowVisible(window) && ClassIs(window, "#32770")) {
        PostMessageA(window, WM_COMMAND, IDCANCEL, 0);
    }
    return TRUE;
}

}  // namespace

RobotThread::RobotThread(std::function<bool()> script)
    : thread_([this, script = std::move(script)] {
          bool ok = script();
          if (!ok) EnumWindows(CancelDialog, 0);
          succeeded_ = ok;
          finished_ = true;
      }) {}

RobotThread::~RobotThread() {
    if (thread_.joinable()) thread_.join();
}

bool RobotThread::JoinPumping(const std::function<void()>& pump, DWORD timeoutMs) {
    DWORD start = GetTickCount();
    while (!finished_.load()) {
        if (GetTickCount() - start >= timeoutMs) return false;
        MsgWaitForMultipleObjects(0, nullptr, FALSE, kPollMs, QS_ALLINPUT);
        pump();
    }
    pump();  // what the robot's last actions left in the queue
    return true;
}

Watchdog::Watchdog(DWORD timeoutMs) : stop_(CreateEventA(nullptr, TRUE, FALSE, nullptr)) {
    DWORD owner = GetCurrentThreadId();
    thread_ = std::thread([this, owner, timeoutMs] {
        if (WaitForSingleObject(stop_, timeoutMs) == WAIT_TIMEOUT) {
            fired_ = true;
            PostThreadMessageA(owner, WM_QUIT, 0, 0);
        }
    });
}

Watchdog::~Watchdog() {
    SetEvent(stop_);
    thread_.join();
    CloseHandle(stop_);
}

void DrainMessages() {
    // WM_PAINT stays in the queue until the window is painted: dispatch rather than just remove.
    MSG msg;
    for (int i = 0; i < 10000 && PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE); ++i) {
        if (msg.message != WM_QUIT) DispatchMessageA(&msg);
    }
}

}  // namespace testing_support
#endif
