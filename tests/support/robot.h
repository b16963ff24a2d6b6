// The robot: finds the visible top-level windows of a process (or of a caption), records what each
// one shows and answers it. The end-to-end tests run it while the uninstaller lives; the standalone
// robot (tests/tools/robot.cpp) uses it for the demo and for screenshots. Windows only.
//
// Usage (end-to-end tests go through e2e::RunWithRobot):
//   robot::Watcher watcher({processId, ""}, robot::AnswerInOrder({robot::Click(IDOK), robot::Escape()}));
//   robot::WatchProcess(process, watcher, 30000);
//   for (const robot::SeenWindow& w : watcher.seen()) robot::Describe(w);
#pragma once

#ifdef _WIN32

#include <windows.h>

#include <cstddef>
#include <functional>
#include <string>
#include <vector>

namespace robot {

// Message boxes keep their text in a static control with this identifier.
inline constexpr int kMessageBoxTextId = 0xFFFF;

enum class Action {
    kIgnore,    // only record the window
    kClick,     // BM_CLICK on the button with the reply's id
    kCommand,   // post WM_COMMAND with the reply's id, as a button click sends it
    kEnter,     // the Enter key, sent to the control that has the focus
    kEscape,    // the Escape key, likewise
    kCloseBox,  // the close box of the caption (WM_SYSCOMMAND SC_CLOSE)
};

struct Reply {
    Action action = Action::kIgnore;
    int id = 0;
};

inline Reply Ignore() {
    return {Action::kIgnore, 0};
}
inline Reply Click(int id) {
    return {Action::kClick, id};
}
inline Reply Command(int id) {
    return {Action::kCommand, id};
}
inline Reply Enter() {
    return {Action::kEnter, 0};
}
inline Reply Escape() {
    return {Action::kEscape, 0};
}
inline Reply CloseBox() {
    return {Action::kCloseBox, 0};
}

struct Control {
    std::string className;
    int id = 0;
    std::string text;
};

// One window as the robot first saw it, and what it did with it.
struct SeenWindow {
    HWND handle = nullptr;
    HWND owner = nullptr;
    DWORD processId = 0;
    std::string className;
    std::string caption;
    std::string text;  // a message box's text (static control 0xFFFF); empty for other windows
    std::string ownerClass;
    bool ownerVisible = false;
    bool isMessageBox = false;
    // A dialog that waits for an answer: a message box, or a dialog whose owner it disabled. The
    // modeless progress display (the one dialog with a progress bar) never is.
    bool modal = false;
    std::vector<Control> controls;  // the direct children, in order
    Reply reply;
    bool answered = false;  // the reply was delivered (false for kIgnore and for a missing button)

    std::vector<std::string> ButtonTexts() const;
    bool HasButton(int id) const;
};

// Decides the reply for a window seen for the first time; `modalIndex` counts the modal windows
// seen before this one.
using Responder = std::function<Reply(const SeenWindow& window, size_t modalIndex)>;

// Answers the modal windows with `replies` in order and each later one with `then`; records the
// other windows without answering them.
Responder AnswerInOrder(std::vector<Reply> replies, Reply then = Escape());

// Which windows to watch: those of one process, or, with processId 0, those with this caption.
struct Target {
    DWORD processId = 0;
    std::string caption;
};

class Watcher {
  public:
    Watcher(Target target, Responder responder);

    // One look: records and answers every visible top-level window of the target that is new
    // since the last look and whose thread takes messages (one that does not yet is looked at again
    // next time). Windows that are gone are forgotten.
    void Poll();

    const std::vector<SeenWindow>& seen() const { return seen_; }

  private:
    Target target_;
    Responder responder_;
    std::vector<SeenWindow> seen_;
    std::vector<HWND> known_;  // windows already recorded that still exist
    size_t modalCount_ = 0;
};

// Delivers `reply` to `window`; true when it went to that window (false for kIgnore, a missing
// button or a window that is gone).
bool Deliver(HWND window, const Reply& reply);

// Polls in short steps until `process` ends or `timeoutMs` passes; true when it ended.
bool WatchProcess(HANDLE process, Watcher& watcher, DWORD timeoutMs);

// A readable account of one window, over several lines.
std::string Describe(const SeenWindow& window);

}  // namespace robot

#endif  // _WIN32
