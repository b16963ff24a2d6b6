#include "ui/ui.h"

// clang-format off
#include <windows.h>
#include <commctrl.h>  // after windows.h, which it needs
// clang-format on

#include "common/system_library.h"
#include "common/text.h"
#include "data/messages.h"
#include "driver/run_state.h"

namespace {

const char kMainWindowClass[] = "UninstItClass";

// The window and dialog procedures have no other way to reach the run state. With
// -fdata-sections MinGW's GCC puts even a zero-initialised variable in a .data$ section with file
// contents, which costs the executable a 512-byte .data section of its own; named ".bss" it takes
// no room in the file and the loader zero-fills it.
[[gnu::section(".bss")]] RunState* g_run;

const char* Message(int number) {
    return GetMessageText(g_run->data, 0, number);
}

}  // namespace

void InitUserInterface(RunState& run) {
    g_run = &run;
    // Never through the search order (common/system_library.h).
    run.ui.themeLibrary.reset(LoadSystemLibrary("uxtheme.dll"));
    if (run.ui.themeLibrary) {
        run.ui.setThemeAppProperties = reinterpret_cast<SetThemeAppPropertiesFn>(
            reinterpret_cast<void*>(GetProcAddress(run.ui.themeLibrary.get(), "SetThemeAppProperties")));
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

void ApplyThemeProperties(RunState& run) {
    if (run.ui.setThemeAppProperties) run.ui.setThemeAppProperties(1);  // STAP_ALLOW_NONCLIENT
}

bool RegisterMainWindowClass(RunState& run) {
    WNDCLASSA wc = {};
    wc.style = CS_HREDRAW | CS_VREDRAW;
    wc.lpfnWndProc = MainWindowProc;
    wc.hInstance = run.instance;
    wc.hIcon = LoadIconA(run.instance, MAKEINTRESOURCEA(kIconGroupId));
    wc.hCursor = LoadCursorA(nullptr, IDC_ARROW);
    wc.hbrBackground = static_cast<HBRUSH>(GetStockObject(NULL_BRUSH));
    wc.lpszClassName = kMainWindowClass;
    return RegisterClassA(&wc) != 0;
}

bool CreateMainWindow(RunState& run) {
    // Read at the moment of creation: the dialogs open at this window's client origin.
    WindowOrigin origin = MainWindowOrigin(GetSystemMetrics(SM_CXSCREEN), GetSystemMetrics(SM_CYSCREEN));
    run.ui.mainWindow = CreateWindowExA(
        0, kMainWindowClass, Message(format::kMsgCaption), WS_OVERLAPPEDWINDOW | WS_CLIPCHILDREN, origin.x,
        origin.y, kMainWindowWidth, kMainWindowHeight, nullptr, nullptr, run.instance, nullptr);
    return run.ui.mainWindow != nullptr;
}

LRESULT CALLBACK MainWindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    if (message == WM_DESTROY) PostQuitMessage(0);
    return DefWindowProcA(window, message, wParam, lParam);
}

void ApplyDialogFont(HWND dialog) {
    UiState& ui = g_run->ui;
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

bool CreateProgressDialog(RunState& run) {
    run.ui.progressDialog = CreateDialogParamA(run.instance, MAKEINTRESOURCEA(kProgressDialogId),
                                               run.ui.mainWindow, ProgressDialogProc, 0);
    if (!run.ui.progressDialog) return false;
    run.ui.progressBar = GetDlgItem(run.ui.progressDialog, kProgressBarId);
    return true;
}

void DestroyProgressDialog(RunState& run) {
    if (run.ui.progressDialog) DestroyWindow(run.ui.progressDialog);
    run.ui.progressDialog = nullptr;
    run.ui.progressBar = nullptr;
}

int ShowMessage(const RunState& run, const char* text, UINT type) {
    const char* caption = GetMessageText(run.data, 0, format::kMsgCaption);
    int answer = MessageBoxA(run.ui.mainWindow, text, caption, type);
    return answer < 0 ? 0 : answer;
}

INT_PTR ShowQuestionDialog(RunState& run, const char* text) {
    return DialogBoxParamA(run.instance, MAKEINTRESOURCEA(kQuestionDialogId), run.ui.mainWindow,
                           QuestionDialogProc, reinterpret_cast<LPARAM>(text));
}

void PumpPendingMessages() {
    MSG msg;
    while (PeekMessageA(&msg, nullptr, 0, 0, PM_NOREMOVE)) {
        if (GetMessageA(&msg, nullptr, 0, 0) <= 0) continue;  // the quit message is dropped
        HWND progress = g_run ? g_run->ui.progressDialog : nullptr;
        if (progress && IsDialogMessageA(progress, &msg)) continue;
        TranslateMessage(&msg);
        DispatchMessageA(&msg);
    }
}

void SetProgress(uint32_t percent) {
    if (!g_run) return;
    if (percent > 100) percent = 100;
    UiState& ui = g_run->ui;
    if (percent == ui.lastPercent) return;
    ui.lastPercent = percent;
    if (ui.progressBar) SendMessageA(ui.progressBar, PBM_SETPOS, percent, 0);
    PumpPendingMessages();
}

ProgressCounts RunProgressCounts(const RunState& run) {
    return {run.data.files.count, run.data.shortcuts.count, run.data.registry.count};
}

void ReportProgress(const RunState& run, ProgressPass pass, uint32_t index) {
    if (run.progressTotal == 0) return;
    SetProgress(ProgressPercent(ProgressPosition(pass, RunProgressCounts(run), index), run.progressTotal));
}

void RunFinalMessageLoop(RunState& run) {
    // When something destroyed the main window early (a WM_CLOSE from another process goes to
    // DefWindowProc), its quit message may already have been dropped by a pump: post one, or the
    // loop below would wait for ever.
    if (run.ui.mainWindow && IsWindow(run.ui.mainWindow)) {
        DestroyWindow(run.ui.mainWindow);
    } else {
        PostQuitMessage(0);
    }
    MSG msg;
    while (GetMessageA(&msg, nullptr, 0, 0) > 0) DispatchMessageA(&msg);  // -1 (an error) ends it too
}

void ReleaseUserInterface(RunState& run) {
    run.ui.dialogFont.reset();
    run.ui.setThemeAppProperties = nullptr;
    run.ui.themeLibrary.reset();
    g_run = nullptr;
}
