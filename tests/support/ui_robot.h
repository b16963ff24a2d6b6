// Test support: a robot that finds this process's dialogs and message boxes, reads them and
// answers them, from a thread of its own while the test's thread sits in a modal loop.
// Windows only (the file compiles to nothing elsewhere).
//
// Usage:
//   RobotThread robot([&] {                              // runs while the test thread is modal
//       HWND box = WaitForDialog({...});
//       if (!box) return false;
//       ClickButton(box, IDOK);
//       return true;
//   });
//   ShowSomethingModal(session.run());
//   EXPECT_TRUE(robot.JoinPumping(DrainMessages));
#pragma once

#ifdef _WIN32
#include <windows.h>

#include <atomic>
#include <functional>
#include <string>
#include <thread>
#include <vector>

namespace testing_support {

// A bound, not a wait: polls end as soon as the window is there. Generous for the shipped 32-bit
// build, which runs under an emulator on kernels without 32-bit support, on a loaded machine.
inline constexpr DWORD kRobotTimeoutMs = 15000;

// Which dialog to look for among this process's visible "#32770" windows.
struct DialogQuery {
    const char* caption = nullptr;  // the exact caption, or any
    int neededControl = 0;          // a control the dialog must have (0: any); tells dialogs apart
    HWND except = nullptr;          // a dialog to pass over
};

// The matching dialog at the top of its modal chain (it has no enabled owned popup), or null.
HWND FindDialog(const DialogQuery& query);
// Polls for such a dialog (every 25 ms) until `timeoutMs` has passed; null when none came.
HWND WaitForDialog(const DialogQuery& query, DWORD timeoutMs = kRobotTimeoutMs);
// Polls until `window` no longer exists; false when it still does after `timeoutMs`.
bool WaitUntilGone(HWND window, DWORD timeoutMs = kRobotTimeoutMs);
// Polls `condition` until it holds; false when it still does not after `timeoutMs`.
bool WaitFor(const std::function<bool()>& condition, DWORD timeoutMs = kRobotTimeoutMs);

// The window's text (asks its thread, which must be pumping, unless it is this thread).
std::string WindowText(HWND window);
// The text of a message box (its static text control, 0xFFFF).
std::string MessageBoxText(HWND box);
// The font a window draws with (WM_GETFONT).
HFONT WindowFont(HWND window);
// The window that has the keyboard focus in `window`'s thread, or null.
HWND FocusedWindow(HWND window);

// A user's actions, posted so that the robot never waits for the dialog's thread.
void ClickButton(HWND dialog, int id);  // BM_CLICK on the dialog's control `id`
void PressKey(HWND dialog, UINT key);   // key down and up on the focused control, or on the dialog
void PressCloseBox(HWND dialog);        // the caption's close box (SC_CLOSE)

struct ButtonInfo {
    int id;
    std::string text;
    RECT rect;  // in screen coordinates
};
// The dialog's push buttons sorted by their left edge.
std::vector<ButtonInfo> ButtonsLeftToRight(HWND dialog);

// A control's client area painted into memory (WM_PRINTCLIENT), reduced to dark "ink" pixels.
struct InkImage {
    int width = 0;
    int height = 0;
    std::vector<bool> ink;  // row by row, top-down
    bool At(int x, int y) const { return ink[static_cast<size_t>(y) * width + x]; }
    int RightmostInkColumn() const;                               // -1 when there is no ink
    bool AnyInk(int left, int top, int right, int bottom) const;  // in [left, right) x [top, bottom)
    std::string Picture(int columns) const;  // "#" for ink, "." for none: for failure messages
};
InkImage CaptureInk(HWND control);
// `text` drawn by DrawTextA with `font` and `flags` into an image of the given size: the reference
// a control's drawing is compared with.
InkImage DrawTextInk(HFONT font, int width, int height, const char* text, UINT flags);

// Records the messages of one kind that a window receives, by subclassing it while the object
// lives: how many came, and the first parameter of each. Several spies may watch different windows;
// a spy on no window (null) counts nothing.
class MessageSpy {
  public:
    MessageSpy(HWND window, UINT message);
    ~MessageSpy();
    MessageSpy(const MessageSpy&) = delete;
    MessageSpy& operator=(const MessageSpy&) = delete;
    int count() const { return count_.load(); }
    std::vector<WPARAM> parameters;  // written on the window's thread

  private:
    static LRESULT CALLBACK Proc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
    HWND window_;
    UINT message_;
    WNDPROC original_ = nullptr;
    std::atomic<int> count_{0};
};

// Runs `script` on a thread of its own. When the script returns false (it did not finish its
// work), the robot cancels every dialog of this process that is still up, so that a failing test
// ends instead of hanging in a modal loop. The destructor waits for the thread.
class RobotThread {
  public:
    explicit RobotThread(std::function<bool()> script);
    ~RobotThread();
    RobotThread(const RobotThread&) = delete;
    RobotThread& operator=(const RobotThread&) = delete;

    bool Finished() const { return finished_.load(); }
    bool Succeeded() const { return succeeded_.load(); }
    // Waits for the script while calling `pump` to dispatch this thread's messages (for modeless
    // windows, whose thread must run their messages). False when it did not finish in time.
    bool JoinPumping(const std::function<void()>& pump, DWORD timeoutMs = 2 * kRobotTimeoutMs);

  private:
    std::atomic<bool> finished_{false};
    std::atomic<bool> succeeded_{false};
    std::thread thread_;
};

// Posts WM_QUIT to the thread that made it when that thread is still busy after `timeoutMs`, so
// that a message loop that should have ended fails the test instead of hanging it.
class Watchdog {
  public:
    explicit Watchdog(DWORD timeoutMs = kRobotTimeoutMs);
    ~Watchdog();
    Watchdog(const Watchdog&) = delete;
    Watchdog& operator=(const Watchdog&) = delete;
    bool Fired() const { return fired_.load(); }

  private:
    HANDLE stop_;
    std::atomic<bool> fired_{false};
    std::thread thread_;
};

// Empties this thread's queue: dispatches what waits there and drops the quit message.
void DrainMessages();

}  // namespace testing_support
#endif
