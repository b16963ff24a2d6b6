#include "support/robot.h"

#ifdef _WIN32

#include <algorithm>
#include <utility>

namespace robot {

namespace {

constexpr DWORD kPollStepMs = 15;
// A hung window must not stop the robot for long; a slow one is waited for. No SMTO_ABORTIFHUNG:
// Wine calls a thread hung that has not asked for a message for 5 s, which a program still on its
// way to its first modal loop is on a loaded machine or under an emulator, and the robot's question
// or click would be lost.
constexpr UINT kSendTimeoutMs = 10000;
const char kDialogClass[] = "#32770";

std::string ClassOf(HWND window) {
    char name[256] = {};
    int n = GetClassNameA(window, name, sizeof(name));
    return n > 0 ? std::string(name, static_cast<size_t>(n)) : std::string();
}

// The caption of a window of another process: GetWindowTextA reads it without sending a message.
std::string CaptionOf(HWND window) {
    char text[1024] = {};
    int n = GetWindowTextA(window, text, sizeof(text));
    return n > 0 ? std::string(text, static_cast<size_t>(n)) : std::string();
}

// A control's text: WM_GETTEXT is answered by the other process, so it is sent with a timeout.
std::string ControlText(HWND control) {
    char text[4096] = {};
    DWORD_PTR copied = 0;
    if (!SendMessageTimeoutA(control, WM_GETTEXT, sizeof(text), reinterpret_cast<LPARAM>(text), SMTO_NORMAL,
                             kSendTimeoutMs, &copied)) {
        return std::string();
    }
    return std::string(text, std::min<size_t>(copied, sizeof(text) - 1));
}

// True once the window's thread takes a message sent to it. A window can be visible before its
// thread reaches its message loop (a box shown by a program still busy starting up), and until then
// every message the robot sends fails: SMTO_ABORTIFHUNG gives up at once on a thread that has taken
// no message for 5 s, which an emulated 32-bit program on a loaded machine can well take. Such a
// window is looked at again on the next poll instead of being recorded empty and left unanswered.
bool Answers(HWND window) {
    DWORD_PTR ignored = 0;
    return SendMessageTimeoutA(window, WM_NULL, 0, 0, SMTO_NORMAL, kSendTimeoutMs, &ignored) != 0;
}

bool IsButtonClass(const std::string& name) {
    return lstrcmpiA(name.c_str(), "Button") == 0;
}

SeenWindow Record(HWND window) {
    SeenWindow seen;
    seen.handle = window;
    GetWindowThreadProcessId(window, &seen.processId);
    seen.className = ClassOf(window);
    seen.caption = CaptionOf(window);
    seen.owner = GetWindow(window, GW_OWNER);
    if (seen.owner) {
        seen.ownerClass = ClassOf(seen.owner);
        seen.ownerVisible = IsWindowVisible(seen.owner) != FALSE;
    }
    bool hasProgressBar = false;
    for (HWND child = GetWindow(window, GW_CHILD); child; child = GetWindow(child, GW_HWNDNEXT)) {
        // Message boxes destroy the buttons their type does not use, but keep hidden ones out too.
        if (!IsWindowVisible(child)) continue;
        Control control;
        control.className = ClassOf(child);
        control.id = GetDlgCtrlID(child) & 0xFFFF;
        control.text = ControlText(child);
        if (lstrcmpiA(control.className.c_str(), "msctls_progress32") == 0) hasProgressBar = true;
        seen.controls.push_back(std::move(control));
    }
    bool dialog = seen.className == kDialogClass;
    HWND text = dialog ? GetDlgItem(window, kMessageBoxTextId) : nullptr;
    seen.isMessageBox = text != nullptr && lstrcmpiA(ClassOf(text).c_str(), "Static") == 0;
    if (seen.isMessageBox) seen.text = ControlText(text);
    seen.modal =
        seen.isMessageBox || (dialog && seen.owner && !IsWindowEnabled(seen.owner) && !hasProgressBar);
    return seen;
}

// Keys go to the control that has the focus, as a user's would; the dialog's own message loop
// turns Enter into its default button and Escape into the cancel command. Only into this window:
// for a window that is already gone GetWindowThreadProcessId gives thread 0, and GetGUIThreadInfo(0)
// describes the foreground thread, whose focus may be in another test's box.
bool PostKey(HWND window, UINT key) {
    DWORD thread = GetWindowThreadProcessId(window, nullptr);
    if (thread == 0) return false;
    GUITHREADINFO info = {};
    info.cbSize = sizeof(info);
    HWND target = window;
    if (GetGUIThreadInfo(thread, &info) && info.hwndFocus &&
        (info.hwndFocus == window || IsChild(window, info.hwndFocus))) {
        target = info.hwndFocus;
    }
    return PostMessageA(target, WM_KEYDOWN, key, 1) != FALSE;
}

}  // namespace

bool Deliver(HWND window, const Reply& reply) {
    switch (reply.action) {
        case Action::kIgnore:
            return false;
        case Action::kClick: {
            HWND button = GetDlgItem(window, reply.id);
            DWORD_PTR result = 0;
            return button &&
                   SendMessageTimeoutA(button, BM_CLICK, 0, 0, SMTO_NORMAL, kSendTimeoutMs, &result);
        }
        case Action::kCommand: {
            HWND button = GetDlgItem(window, reply.id);
            return PostMessageA(window, WM_COMMAND, MAKEWPARAM(reply.id, BN_CLICKED),
                                reinterpret_cast<LPARAM>(button)) != FALSE;
        }
        case Action::kEnter:
            return PostKey(window, VK_RETURN);
        case Action::kEscape:
            return PostKey(window, VK_ESCAPE);
        case Action::kCloseBox:
            return PostMessageA(window, WM_SYSCOMMAND, SC_CLOSE, 0) != FALSE;
    }
    return false;
}

namespace {

struct EnumContext {
    const Target* target;
    std::vector<HWND> found;
};

BOOL CALLBACK CollectWindow(HWND window, LPARAM param) {
    auto* context = reinterpret_cast<EnumContext*>(param);
    if (!IsWindowVisible(window)) return TRUE;
    if (context->target->processId != 0) {
        DWORD processId = 0;
        GetWindowThreadProcessId(window, &processId);
        if (processId != context->target->processId) return TRUE;
    } else if (CaptionOf(window) != context->target->caption) {
        return TRUE;
    }
    context->found.push_back(window);
    return TRUE;
}

std::string Quoted(const std::string& text) {
    return "\"" + text + "\"";
}

const char* ActionName(Action action) {
    switch (action) {
        case Action::kIgnore:
            return "none";
        case Action::kClick:
            return "click";
        case Action::kCommand:
            return "command";
        case Action::kEnter:
            return "Enter";
        case Action::kEscape:
            return "Escape";
        case Action::kCloseBox:
            return "close box";
    }
    return "?";
}

}  // namespace

std::vector<std::string> SeenWindow::ButtonTexts() const {
    std::vector<std::string> texts;
    for (const Control& control : controls) {
        if (IsButtonClass(control.className)) texts.push_back(control.text);
    }
    return texts;
}

bool SeenWindow::HasButton(int id) const {
    return std::any_of(controls.begin(), controls.end(),
                       [id](const Control& c) { return c.id == id && IsButtonClass(c.className); });
}

Responder AnswerInOrder(std::vector<Reply> replies, Reply then) {
    return [replies = std::move(replies), then](const SeenWindow& window, size_t modalIndex) {
        if (!window.modal) return Ignore();
        return modalIndex < replies.size() ? replies[modalIndex] : then;
    };
}

Watcher::Watcher(Target target, Responder responder)
    : target_(std::move(target)), responder_(std::move(responder)) {}

void Watcher::Poll() {
    known_.erase(std::remove_if(known_.begin(), known_.end(), [](HWND h) { return !IsWindow(h); }),
                 known_.end());
    EnumContext context{&target_, {}};
    EnumWindows(CollectWindow, reinterpret_cast<LPARAM>(&context));
    // EnumWindows lists the top of the z-order first; the window shown last is usually on top.
    for (auto it = context.found.rbegin(); it != context.found.rend(); ++it) {
        HWND window = *it;
        if (std::find(known_.begin(), known_.end(), window) != known_.end()) continue;
        if (!Answers(window)) continue;
        known_.push_back(window);
        SeenWindow seen = Record(window);
        seen.reply = responder_ ? responder_(seen, modalCount_) : Ignore();
        if (seen.modal) ++modalCount_;
        seen.answered = Deliver(window, seen.reply);
        seen_.push_back(std::move(seen));
    }
}

bool WatchProcess(HANDLE process, Watcher& watcher, DWORD timeoutMs) {
    DWORD start = GetTickCount();
    for (;;) {
        watcher.Poll();
        if (WaitForSingleObject(process, kPollStepMs) == WAIT_OBJECT_0) return true;
        if (GetTickCount() - start >= timeoutMs) return false;
    }
}

std::string Describe(const SeenWindow& window) {
    std::string out = Quoted(window.className) + " window " + Quoted(window.caption);
    if (window.owner) {
        out += " owned by " + Quoted(window.ownerClass) + (window.ownerVisible ? " (visible)" : " (hidden)");
    } else {
        out += " without owner";
    }
    out += window.isMessageBox ? ", message box\n" : (window.modal ? ", modal dialog\n" : "\n");
    if (window.isMessageBox) out += "  text: " + Quoted(window.text) + "\n";
    for (const Control& control : window.controls) {
        if (window.isMessageBox && control.id == kMessageBoxTextId) continue;
        out += "  control " + std::to_string(control.id) + " " + control.className + ": " +
               Quoted(control.text) + "\n";
    }
    out += "  reply: " + std::string(ActionName(window.reply.action));
    if (window.reply.action == Action::kClick || window.reply.action == Action::kCommand) {
        out += " " + std::to_string(window.reply.id);
    }
    if (window.reply.action != Action::kIgnore && !window.answered) out += " (could not be delivered)";
    return out + "\n";
}

}  // namespace robot

#endif  // _WIN32
