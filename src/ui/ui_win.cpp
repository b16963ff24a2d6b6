#include "ui/ui.h"

// clang-format off
#include <windows.h>
#include <commctrl.h>  // after windows.h, which it needs
// clang-format on

#include "common/system_library.h"
#include "common/text.h"
#include "data/messages.h"

namespace {

const char kMainWindowClass[] = "UninstItClass";

// The longest a pass goes without the windows answering their messages, give or take one item. The
// bar moves once per percent, which over a large list can be seconds apart; a window whose thread
// has not looked at its queue for 5 s is shown as "Not Responding", and a user may end the process
// half-way. A quarter of the 100 ms at which a late repaint shows: an item, the tick's own
// granularity (about 16 ms) and a busy machine come on top.
constexpr DWORD kAnswerIntervalMs = 25;

// The least time between two repaints of the bar. Under Wine each repaint is a round trip to the X
// server of about 2 ms, so a hundred moves over a fast pass cost it a tenth of its time. The bar
// still takes every position as it comes (PBM_SETPOS), but a move sooner than this after the last
// repaint holds its redraw off (WM_SETREDRAW); the next move, pump or box after the interval draws
// it whole. Ten repaints a second still look smooth.
constexpr DWORD kBarPaintIntervalMs = 100;

// How long a wait for a child program sleeps at most before it pumps the windows' messages again.
constexpr DWORD kChildWaitStepMs = 200;

// The window and dialog procedures have no other way to reach the UI state. With
// -fdata-sections MinGW's GCC puts even a zero-initialised variable in a .data$ section with file
// contents, which costs the executable a 512-byte .data section of its own; named ".bss" it takes
// no room in the file and the loader zero-fills it.
[[gnu::section(".bss")]] UiState* g_ui;

const char* Message(int number) {
    return GetMessageText(*g_ui->data, 0, number);
}

// Draws the bar at its position now when its redraw was held off by a quick move (SetProgress).
void DrawHeldBar() {
    if (!g_ui || !g_ui->barHeld) return;
    g_ui->barHeld = false;
    HWND bar = g_ui->progressBar;
    SendMessageA(bar, WM_SETREDRAW, TRUE, 0);
    RedrawWindow(bar, nullptr, nullptr, RDW_INVALIDATE | RDW_UPDATENOW);
    g_ui->barPaintTick = GetTickCount();
}

}  // namespace

UiState::~UiState() {
    if (g_ui == this) g_ui = nullptr;
}

void InitUserInterface(UiState& ui, HINSTANCE instance, const UninstallData& data) {
    g_ui = &ui;
    ui.instance = instance;
    ui.data = &data;
    // Never through the search order (common/system_library.h).
    ui.themeLibrary.reset(LoadSystemLibrary(kThemeLibraryName));
    if (ui.themeLibrary) {
        ui.setThemeAppProperties = reinterpret_cast<SetThemeAppPropertiesFn>(
            reinterpret_cast<void*>(GetProcAddress(ui.themeLibrary.get(), "SetThemeAppProperties")));
    }
    // Version 6 from the side-by-side store where the manifest's dependency is honoured, else the
    // System folder's; kept for the rest of the process: the progress bar's class lives in it.
    HMODULE commonControls = LoadManifestOrSystemLibrary("comctl32.dll");
    using InitCommonControlsFn = void(WINAPI*)();
    auto init = commonControls ? reinterpret_cast<InitCommonControlsFn>(reinterpret_cast<void*>(
                                     GetProcAddress(commonControls, "InitCommonControls")))
                               : nullptr;
    if (init) init();
}

void ApplyThemeProperties(UiState& ui) {
    if (ui.setThemeAppProperties) ui.setThemeAppProperties(1);  // STAP_ALLOW_NONCLIENT
}

bool RegisterMainWindowClass(UiState& ui) {
    WNDCLASSA wc = {};
    wc.style = CS_HREDRAW | CS_VREDRAW;
    wc.lpfnWndProc = MainWindowProc;
    wc.hInstance = ui.instance;
    wc.hIcon = LoadIconA(ui.instance, MAKEINTRESOURCEA(kIconGroupId));
    wc.hCursor = LoadCursorA(nullptr, IDC_ARROW);
    wc.hbrBackground = static_cast<HBRUSH>(GetStockObject(NULL_BRUSH));
    wc.lpszClassName = kMainWindowClass;
    return RegisterClassA(&wc) != 0;
}

bool CreateMainWindow(UiState& ui) {
    // Read at the moment of creation: the dialogs open at this window's client origin.
    WindowOrigin origin = MainWindowOrigin(GetSystemMetrics(SM_CXSCREEN), GetSystemMetrics(SM_CYSCREEN));
    ui.mainWindow = CreateWindowExA(
        0, kMainWindowClass, Message(format::kMsgCaption), WS_OVERLAPPEDWINDOW | WS_CLIPCHILDREN, origin.x,
        origin.y, kMainWindowWidth, kMainWindowHeight, nullptr, nullptr, ui.instance, nullptr);
    return ui.mainWindow != nullptr;
}

LRESULT CALLBACK MainWindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    if (message == WM_DESTROY) PostQuitMessage(0);
    return DefWindowProcA(window, message, wParam, lParam);
}

void ApplyDialogFont(HWND dialog) {
    UiState& ui = *g_ui;
    if (!ui.dialogFont) {
        auto font = reinterpret_cast<HFONT>(SendMessageA(dialog, WM_GETFONT, 0, 0));
        LOGFONTA description = {};
        if (font && GetObjectA(font, sizeof(description), &description) != 0) {
            description.lfWeight = FW_NORMAL;
            ui.dialogFont.reset(CreateFontIndirectA(&description));
        }
    }
    if (!ui.dialogFont) return;
    for (HWND child = GetWindow(dialog, GW_CHILD); child; child = GetWindow(child, GW_HWNDNEXT)) {
        SendMessageA(child, WM_SETFONT, reinterpret_cast<WPARAM>(ui.dialogFont.get()), FALSE);
    }
}

INT_PTR CALLBACK ProgressDialogProc(HWND dialog, UINT message, WPARAM, LPARAM) {
    switch (message) {
        case WM_INITDIALOG:
            ApplyDialogFont(dialog);
            SetWindowTextA(dialog, Message(format::kMsgCaption));
            return TRUE;
        case WM_COMMAND:
            // Escape and the close box arrive as the cancel command: nothing closes this dialog.
            SetWindowLongPtrA(dialog, DWLP_MSGRESULT, 1);
            return TRUE;
        default:
            return FALSE;
    }
}

INT_PTR CALLBACK QuestionDialogProc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam) {
    switch (message) {
        case WM_INITDIALOG:
            ApplyDialogFont(dialog);
            SetWindowTextA(dialog, Message(format::kMsgCaption));
            SetDlgItemTextA(dialog, kDialogTextId, reinterpret_cast<const char*>(lParam));
            SetDlgItemTextA(dialog, IDYES, Message(format::kMsgYes));
            SetDlgItemTextA(dialog, IDNO, Message(format::kMsgNo));
            SetDlgItemTextA(dialog, kYesToAllId, Message(format::kMsgYesToAll));
            SetDlgItemTextA(dialog, kNoToAllId, Message(format::kMsgNoToAll));
            return TRUE;
        case WM_COMMAND:
            EndDialog(dialog, LOWORD(wParam));
            return TRUE;
        default:
            return FALSE;
    }
}

bool CreateProgressDialog(UiState& ui) {
    ui.progressDialog = CreateDialogParamA(ui.instance, MAKEINTRESOURCEA(kProgressDialogId), ui.mainWindow,
                                           ProgressDialogProc, 0);
    if (!ui.progressDialog) return false;
    ui.progressBar = GetDlgItem(ui.progressDialog, kProgressBarId);
    return true;
}

void DestroyProgressDialog(UiState& ui) {
    if (ui.progressDialog) DestroyWindow(ui.progressDialog);
    ui.progressDialog = nullptr;
    ui.progressBar = nullptr;
    ui.barHeld = false;
}

int ShowMessage(const UiState& ui, const char* text, UINT type) {
    DrawHeldBar();
    const char* caption = GetMessageText(*ui.data, 0, format::kMsgCaption);
    int answer = MessageBoxA(ui.mainWindow, text, caption, type);
    return answer < 0 ? 0 : answer;
}

INT_PTR ShowQuestionDialog(UiState& ui, const char* text) {
    DrawHeldBar();
    return DialogBoxParamA(ui.instance, MAKEINTRESOURCEA(kQuestionDialogId), ui.mainWindow,
                           QuestionDialogProc, reinterpret_cast<LPARAM>(text));
}

void PumpPendingMessages() {
    MSG msg;
    // PM_NOREMOVE: the peek only asks whether a message waits, so the pump never blocks; GetMessageA
    // then takes that same message, and its result tells the quit message apart (dropped here: the
    // driver's own loop ends the run).
    while (PeekMessageA(&msg, nullptr, 0, 0, PM_NOREMOVE)) {
        if (GetMessageA(&msg, nullptr, 0, 0) <= 0) continue;  // the quit message is dropped
        HWND progress = g_ui ? g_ui->progressDialog : nullptr;
        if (progress && IsDialogMessageA(progress, &msg)) continue;
        TranslateMessage(&msg);
        DispatchMessageA(&msg);
    }
    if (g_ui) g_ui->lastAnswerTick = GetTickCount();
}

void WaitForChild(HANDLE process) {
    for (;;) {
        PumpPendingMessages();
        DWORD result = MsgWaitForMultipleObjects(1, &process, FALSE, kChildWaitStepMs, QS_ALLINPUT);
        // WAIT_FAILED ends the wait as if the child had ended: there is nothing left to wait on.
        if (result == WAIT_OBJECT_0 || result == WAIT_FAILED) return;
    }
}

void KeepAnswering() {
    // A tick-count read is a load from shared memory: cheap enough for every item of every pass.
    if (!g_ui || !g_ui->progressDialog) return;
    DWORD now = GetTickCount();
    if (now - g_ui->lastAnswerTick < kAnswerIntervalMs) return;  // wraps correctly
    if (now - g_ui->barPaintTick >= kBarPaintIntervalMs) DrawHeldBar();
    PumpPendingMessages();
}

void SetProgress(uint32_t percent) {
    if (!g_ui) return;
    if (percent > 100) percent = 100;
    UiState& ui = *g_ui;
    if (percent == ui.lastPercent) return;
    ui.lastPercent = percent;
    if (HWND bar = ui.progressBar) {
        // PBM_SETPOS repaints the bar before it returns, unless its redraw is held off.
        DWORD now = GetTickCount();
        bool soon = now - ui.barPaintTick < kBarPaintIntervalMs;
        if (soon && !ui.barHeld) {
            SendMessageA(bar, WM_SETREDRAW, FALSE, 0);
            ui.barHeld = true;
        }
        SendMessageA(bar, PBM_SETPOS, percent, 0);
        if (!soon) {
            if (ui.barHeld) {
                DrawHeldBar();
            } else {
                ui.barPaintTick = now;
            }
        }
    }
    PumpPendingMessages();
}

ProgressCounts RunProgressCounts(const UninstallData& data) {
    return {data.files.count, data.shortcuts.count, data.registry.count};
}

void ReportProgress(const UiState& ui, ProgressPass pass, uint32_t index) {
    if (ui.progressTotal == 0) return;
    uint32_t percent =
        ProgressPercent(ProgressPosition(pass, RunProgressCounts(*ui.data), index), ui.progressTotal);
    // The bar moves only when the percentage does; in between the windows still answer by time.
    if (percent == ui.lastPercent) {
        KeepAnswering();
    } else {
        SetProgress(percent);
    }
}

void RunFinalMessageLoop(UiState& ui) {
    // When something destroyed the main window early (a WM_CLOSE from another process goes to
    // DefWindowProc), its quit message may already have been dropped by a pump: post one, or the
    // loop below would wait for ever.
    if (ui.mainWindow && IsWindow(ui.mainWindow)) {
        DestroyWindow(ui.mainWindow);
    } else {
        PostQuitMessage(0);
    }
    MSG msg;
    while (GetMessageA(&msg, nullptr, 0, 0) > 0) DispatchMessageA(&msg);  // -1 (an error) ends it too
}

void ReleaseUserInterface(UiState& ui) {
    ui.dialogFont.reset();
    ui.setThemeAppProperties = nullptr;
    ui.themeLibrary.reset();
    g_ui = nullptr;
}
