// What the user interface keeps for the run: the module and message table it shows, its windows,
// the bar's total and last value, and the font and library it owns. Part of the run state; only the
// UI and the driver change it.
#pragma once

#include <windows.h>

#include <stdint.h>

#include "common/handles_win.h"
#include "data/uninstall_data.h"

using SetThemeAppPropertiesFn = void(WINAPI*)(DWORD);

struct UiState {
    HINSTANCE instance;         // the module whose resources (dialogs, icon) are shown
    const UninstallData* data;  // the message table every window and box takes its texts from
    HWND mainWindow;
    // Both null in quiet mode, when the dialog could not be created, and once it was destroyed
    // (DestroyProgressDialog): nothing may use them after that.
    HWND progressDialog;
    HWND progressBar;
    uint32_t progressTotal;  // 0 when there is no progress dialog: then no pass reports progress
    uint32_t lastPercent;    // the value last sent to the progress bar
    DWORD lastAnswerTick;    // GetTickCount() when the message pump last ran
    DWORD barPaintTick;      // GetTickCount() when the bar was last drawn
    bool barHeld;            // the bar's redraw is held off (WM_SETREDRAW): it shows an older position
    UniqueFont dialogFont;
    UniqueLibrary themeLibrary;
    SetThemeAppPropertiesFn setThemeAppProperties;  // inside themeLibrary: cleared with it

    // The window procedures stop reaching this state when it goes.
    ~UiState();
};
