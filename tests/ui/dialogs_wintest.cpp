// The question and progress dialogs on a real window manager (Wine under Xvfb), answered by a
// robot thread while this thread runs the dialog's loop.
// clang-format off
#include <windows.h>
#include <commctrl.h>  // after windows.h, which it needs
// clang-format on

#include <atomic>
#include <functional>
#include <gtest/gtest.h>
#include <string>
#include <vector>

#include "support/ui_robot.h"
#include "support/ui_session.h"
#include "ui/ui.h"

using namespace testing_support;

namespace {

constexpr const char* kQuestion = "C:\\Example\\readme.txt is write-protected. Remove it anyway?";

POINT ClientOrigin(HWND window) {
    POINT origin = {0, 0};
    ClientToScreen(window, &origin);
    return origin;
}

DialogQuery QuestionQuery(const UiSession& session) {
    return {session.Message(0), kYesToAllId, nullptr};
}

// Where a text's drawing has ink below the baseline (an underline: "M" has no descender).
int UnderlineEnd(const InkImage& ink, int baseline) {
    for (int x = ink.width - 1; x >= 0; --x) {
        if (ink.AnyInk(x, baseline + 1, x + 1, ink.height)) return x;
    }
    return -1;
}

int Baseline(HFONT font) {
    HDC dc = CreateCompatibleDC(nullptr);
    HGDIOBJ old = SelectObject(dc, font);
    TEXTMETRICA metrics = {};
    GetTextMetricsA(dc, &metrics);
    SelectObject(dc, old);
    DeleteDC(dc);
    return metrics.tmAscent;
}

constexpr const char* kAmpersandText = "&MMMM";

// Compares a control's drawing of kAmpersandText with the platform's drawing of it as a mnemonic
// ("MMMM", the first M underlined) and as typed ("&MMMM"); `mnemonic` says which it must match.
void ExpectAmpersandDrawn(const InkImage& ink, HFONT font, bool mnemonic) {
    SCOPED_TRACE(ink.Picture(60));
    ASSERT_NE(font, nullptr);
    ASSERT_GT(ink.width, 0);
    const UINT flags = DT_LEFT | DT_WORDBREAK | DT_EXPANDTABS;
    InkImage hidden = DrawTextInk(font, ink.width, ink.height, kAmpersandText, flags);
    InkImage typed = DrawTextInk(font, ink.width, ink.height, kAmpersandText, flags | DT_NOPREFIX);
    int baseline = Baseline(font);
    // The two references differ by the ampersand's width; the underline belongs to the first.
    ASSERT_GE(typed.RightmostInkColumn() - hidden.RightmostInkColumn(), 4);
    ASSERT_GE(UnderlineEnd(hidden, baseline), 4);
    ASSERT_EQ(UnderlineEnd(typed, baseline), -1);
    const InkImage& expected = mnemonic ? hidden : typed;
    EXPECT_NEAR(ink.RightmostInkColumn(), expected.RightmostInkColumn(), 1)
        << (mnemonic ? "the ampersand must be hidden" : "the ampersand must be shown");
    EXPECT_NEAR(UnderlineEnd(ink, baseline), UnderlineEnd(expected, baseline), 1)
        << (mnemonic ? "the first M must be underlined" : "nothing may be underlined");
}

// Shows the question with `text` while the robot first calls `look` on the dialog and then
// `answer`; checks that the robot saw the dialog come and go. Returns the dialog's result.
INT_PTR AskQuestion(UiSession& session, const char* text, const std::function<void(HWND)>& look,
                    const std::function<void(HWND)>& answer) {
    RobotThread robot([&] {
        HWND dialog = WaitForDialog(QuestionQuery(session));
        if (!dialog) return false;
        look(dialog);
        answer(dialog);
        return WaitUntilGone(dialog);
    });
    INT_PTR result = ShowQuestionDialog(session.run().ui, text);
    EXPECT_TRUE(WaitFor([&] { return robot.Finished(); }));
    EXPECT_TRUE(robot.Succeeded()) << "the robot did not see the dialog come and go";
    return result;
}

void Ignore(HWND) {}

TEST(QuestionDialog, EachAnswerReturnsItsIdentifier) {
    struct Case {
        const char* name;
        std::function<void(HWND)> act;
        INT_PTR expected;
    } const kCases[] = {
        {"button message 3", [](HWND d) { ClickButton(d, IDYES); }, 6},
        {"button message 4", [](HWND d) { ClickButton(d, kYesToAllId); }, 1001},
        {"button message 5", [](HWND d) { ClickButton(d, IDNO); }, 7},
        {"button message 6", [](HWND d) { ClickButton(d, kNoToAllId); }, 1002},
        {"Enter", [](HWND d) { PressKey(d, VK_RETURN); }, 6},
        {"Escape", [](HWND d) { PressKey(d, VK_ESCAPE); }, 2},
        {"close box", [](HWND d) { PressCloseBox(d); }, 2},
    };
    UiSession session;
    ASSERT_TRUE(session.ready());
    for (const Case& c : kCases) {
        SCOPED_TRACE(c.name);
        EXPECT_EQ(AskQuestion(session, kQuestion, Ignore, c.act), c.expected);
    }
}

TEST(QuestionDialog, ClickingTheTextDoesNotEndIt) {
    UiSession session;
    ASSERT_TRUE(session.ready());
    bool stillShown = false;
    auto clickText = [&](HWND dialog) {
        HWND text = GetDlgItem(dialog, kDialogTextId);
        DWORD_PTR ignored = 0;
        SendMessageTimeoutA(text, WM_LBUTTONDOWN, MK_LBUTTON, MAKELPARAM(2, 2), SMTO_ABORTIFHUNG, 2000,
                            &ignored);
        SendMessageTimeoutA(text, WM_LBUTTONUP, 0, MAKELPARAM(2, 2), SMTO_ABORTIFHUNG, 2000, &ignored);
        // A command sent by the text would have ended (and hidden) the dialog by now.
        stillShown = IsWindowVisible(dialog) != FALSE;
    };
    EXPECT_EQ(AskQuestion(session, kQuestion, clickText, [](HWND d) { ClickButton(d, IDNO); }), IDNO);
    EXPECT_TRUE(stillShown);
}

TEST(QuestionDialog, ShowsTheBlockTextsInTheirPlaces) {
    UiSession session;
    ASSERT_TRUE(session.ready());
    struct Seen {
        std::string caption, text;
        std::vector<ButtonInfo> buttons;
        int focusId = 0;
        std::vector<int> tabOrder;
        POINT clientOrigin = {};
    } seen;
    auto look = [&](HWND dialog) {
        seen.caption = WindowText(dialog);
        seen.text = WindowText(GetDlgItem(dialog, kDialogTextId));
        seen.buttons = ButtonsLeftToRight(dialog);
        // Another test's window may hold the foreground: once the dialog is active again, the
        // dialog manager gives the focus back to the control it chose when it opened.
        if (!FocusedWindow(dialog)) SetForegroundWindow(dialog);
        WaitFor([&] { return FocusedWindow(dialog) != nullptr; });
        seen.focusId = GetDlgCtrlID(FocusedWindow(dialog));
        HWND first = GetDlgItem(dialog, IDYES);
        HWND item = first;
        for (int i = 0; i < 5; ++i) {
            item = GetNextDlgTabItem(dialog, item, FALSE);
            seen.tabOrder.push_back(GetDlgCtrlID(item));
        }
        seen.clientOrigin = ClientOrigin(dialog);
    };
    EXPECT_EQ(AskQuestion(session, kQuestion, look, [](HWND d) { ClickButton(d, kNoToAllId); }), kNoToAllId);

    EXPECT_EQ(seen.caption, "Example Uninstall");
    EXPECT_EQ(seen.text, kQuestion);
    const struct {
        int id;
        int message;
    } kLeftToRight[] = {{IDYES, 3}, {kYesToAllId, 4}, {IDNO, 5}, {kNoToAllId, 6}};
    ASSERT_EQ(seen.buttons.size(), 4u);
    for (size_t i = 0; i < 4; ++i) {
        EXPECT_EQ(seen.buttons[i].id, kLeftToRight[i].id) << "position " << i;
        EXPECT_EQ(seen.buttons[i].text, session.Message(kLeftToRight[i].message)) << "position " << i;
    }
    EXPECT_EQ(seen.focusId, IDYES) << "the first tab stop has the focus";
    EXPECT_EQ(seen.tabOrder, (std::vector<int>{kYesToAllId, IDNO, kNoToAllId, IDYES, kYesToAllId}));
    // No centring style: the dialog's client area opens at the hidden main window's.
    EXPECT_EQ(seen.clientOrigin.x, ClientOrigin(session.run().ui.mainWindow).x);
    EXPECT_EQ(seen.clientOrigin.y, ClientOrigin(session.run().ui.mainWindow).y);
}

TEST(QuestionDialog, AnAmpersandInTheQuestionMarksAMnemonic) {
    UiSession session;
    ASSERT_TRUE(session.ready());
    InkImage ink;
    HFONT font = nullptr;
    auto look = [&](HWND dialog) {
        HWND text = GetDlgItem(dialog, kDialogTextId);
        font = WindowFont(text);
        ink = CaptureInk(text);
    };
    AskQuestion(session, kAmpersandText, look, [](HWND d) { ClickButton(d, IDNO); });
    ExpectAmpersandDrawn(ink, font, true);
}

TEST(ProgressDialog, EscapeEnterAndTheCloseBoxChangeNothing) {
    UiSession session;
    ASSERT_TRUE(session.ready());
    ASSERT_TRUE(CreateProgressDialog(session.run().ui));
    HWND dialog = session.run().ui.progressDialog;
    SetDlgItemTextA(dialog, kDialogTextId, session.Message(11));
    SetProgress(40);
    MessageSpy spy(dialog, WM_COMMAND);

    std::string caption, text;
    RobotThread robot([&] {
        HWND found = WaitForDialog({session.Message(0), kProgressBarId, nullptr});
        if (found != dialog) return false;
        PressKey(found, VK_ESCAPE);
        if (!WaitFor([&] { return spy.count() >= 1; })) return false;
        PressKey(found, VK_RETURN);
        if (!WaitFor([&] { return spy.count() >= 2; })) return false;
        PressCloseBox(found);
        if (!WaitFor([&] { return spy.count() >= 3; })) return false;
        caption = WindowText(found);
        text = WindowText(GetDlgItem(found, kDialogTextId));
        return true;
    });
    // The thread pumps as a removal pass does between entries.
    ASSERT_TRUE(robot.JoinPumping(PumpPendingMessages));
    EXPECT_TRUE(robot.Succeeded()) << "commands seen: " << spy.count();
    EXPECT_EQ(spy.parameters, (std::vector<WPARAM>{IDCANCEL, IDOK, IDCANCEL}));
    EXPECT_TRUE(IsWindow(dialog));
    EXPECT_TRUE(IsWindowVisible(dialog));
    EXPECT_EQ(caption, "Example Uninstall");
    EXPECT_EQ(text, "Removing files & folders...");
    EXPECT_EQ(SendMessageA(session.run().ui.progressBar, PBM_GETPOS, 0, 0), 40);
}

TEST(ProgressDialog, PhaseTextIsShownAsTyped) {
    UiSession session;
    ASSERT_TRUE(session.ready());
    ASSERT_TRUE(CreateProgressDialog(session.run().ui));
    HWND text = GetDlgItem(session.run().ui.progressDialog, kDialogTextId);
    SetWindowTextA(text, kAmpersandText);
    ExpectAmpersandDrawn(CaptureInk(text), WindowFont(text), false);
}

TEST(ProgressDialog, OpensVisibleWithTheDefaultBar) {
    UiSession session;
    ASSERT_TRUE(session.ready());
    ASSERT_TRUE(CreateProgressDialog(session.run().ui));
    HWND dialog = session.run().ui.progressDialog;
    EXPECT_TRUE(IsWindowVisible(dialog));
    EXPECT_EQ(GetWindow(dialog, GW_OWNER), session.run().ui.mainWindow);
    EXPECT_EQ(WindowText(dialog), "Example Uninstall");
    HWND bar = session.run().ui.progressBar;
    ASSERT_EQ(bar, GetDlgItem(dialog, kProgressBarId));
    EXPECT_EQ(SendMessageA(bar, PBM_GETRANGE, TRUE, 0), 0);
    EXPECT_EQ(SendMessageA(bar, PBM_GETRANGE, FALSE, 0), 100);
    EXPECT_EQ(ClientOrigin(dialog).x, ClientOrigin(session.run().ui.mainWindow).x);
    EXPECT_EQ(ClientOrigin(dialog).y, ClientOrigin(session.run().ui.mainWindow).y);
}

// The fonts a dialog's windows draw with.
LOGFONTA Describe(HFONT font) {
    LOGFONTA description = {};
    GetObjectA(font, sizeof(description), &description);
    return description;
}

// The fonts a dialog's windows draw with; the dialog's own is described while the dialog, which
// deletes it, is still up.
struct DialogFonts {
    HFONT dialog = nullptr;
    LOGFONTA dialogDescription = {};
    std::vector<HFONT> children;
};

DialogFonts FontsOf(HWND dialog) {
    DialogFonts fonts{WindowFont(dialog), {}, {}};
    fonts.dialogDescription = Describe(fonts.dialog);
    for (HWND child = GetWindow(dialog, GW_CHILD); child; child = GetWindow(child, GW_HWNDNEXT)) {
        fonts.children.push_back(WindowFont(child));
    }
    return fonts;
}

void ExpectSharedFont(const DialogFonts& fonts, HFONT shared, size_t childCount) {
    ASSERT_EQ(fonts.children.size(), childCount);
    for (HFONT child : fonts.children) EXPECT_EQ(child, shared);
    ASSERT_NE(fonts.dialog, nullptr);
    EXPECT_NE(fonts.dialog, shared) << "the dialog keeps its own font";
    const LOGFONTA& own = fonts.dialogDescription;
    LOGFONTA normal = Describe(shared);
    EXPECT_EQ(normal.lfWeight, FW_NORMAL);
    EXPECT_STREQ(normal.lfFaceName, own.lfFaceName);
    EXPECT_STREQ(normal.lfFaceName, "Arial");
    EXPECT_EQ(normal.lfHeight, own.lfHeight);
}

// Records every font set on a dialog window (not a control) of this thread.
class DialogSetFontHook {
  public:
    DialogSetFontHook() {
        fonts.clear();
        hook_ = SetWindowsHookExA(WH_CALLWNDPROC, Proc, nullptr, GetCurrentThreadId());
    }
    ~DialogSetFontHook() { UnhookWindowsHookEx(hook_); }
    bool installed() const { return hook_ != nullptr; }
    static inline std::vector<HFONT> fonts;

  private:
    static LRESULT CALLBACK Proc(int code, WPARAM wParam, LPARAM lParam) {
        auto* call = reinterpret_cast<const CWPSTRUCT*>(lParam);
        char name[16] = {};
        if (code == HC_ACTION && call->message == WM_SETFONT &&
            GetClassNameA(call->hwnd, name, sizeof(name)) && lstrcmpA(name, "#32770") == 0) {
            fonts.push_back(reinterpret_cast<HFONT>(call->wParam));
        }
        return CallNextHookEx(nullptr, code, wParam, lParam);
    }
    HHOOK hook_;
};

TEST(DialogFont, MadeOnceByTheFirstDialogAndReusedByTheOther) {
    for (bool progressFirst : {true, false}) {
        SCOPED_TRACE(progressFirst ? "progress dialog first" : "question dialog first");
        UiSession session;
        ASSERT_TRUE(session.ready());
        UiState& ui = session.run().ui;
        DialogFonts progress, question;
        HFONT madeFirst = nullptr;
        auto openProgress = [&] {
            ASSERT_TRUE(CreateProgressDialog(session.run().ui));
            progress = FontsOf(ui.progressDialog);
            if (!madeFirst) madeFirst = ui.dialogFont.get();
        };
        auto askQuestion = [&] {
            AskQuestion(
                session, kQuestion, [&](HWND dialog) { question = FontsOf(dialog); },
                [](HWND d) { ClickButton(d, IDYES); });
            if (!madeFirst) madeFirst = ui.dialogFont.get();
        };
        DialogSetFontHook hook;
        ASSERT_TRUE(hook.installed());
        if (progressFirst) {
            openProgress();
            askQuestion();
        } else {
            askQuestion();
            openProgress();
        }
        ASSERT_NE(madeFirst, nullptr);
        // The dialog manager gives each dialog its template font; nothing else is set on them.
        EXPECT_EQ(DialogSetFontHook::fonts.size(), 2u);
        for (HFONT font : DialogSetFontHook::fonts) EXPECT_NE(font, madeFirst) << "set on a dialog itself";
        EXPECT_EQ(ui.dialogFont.get(), madeFirst) << "never made again";
        ExpectSharedFont(progress, madeFirst, 2);
        ExpectSharedFont(question, madeFirst, 5);

        ReleaseUserInterface(session.run().ui);
        EXPECT_EQ(ui.dialogFont.get(), nullptr);
        EXPECT_EQ(GetObjectType(madeFirst), 0u) << "deleted at release";
    }
}

}  // namespace
