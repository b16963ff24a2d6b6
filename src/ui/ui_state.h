// What the user interface keeps for the run: its windows, the bar's last value, and the font and
// library it owns. Part of the run state; only the UI and the driver's teardown change it.
#pragma once

#include <windows.h>

#include <stdint.h>

#include "common/handles_win.h"

using SetThemeAppPropertiesFn = void(WINAPI*)(DWORD);

struct UiState {
    HWND mainWindow;
    // Both null in quiet mode, when the dialog could not be created, and once it was destroyed
    // (DestroyProgressDialog): nothing may use them after that.
    HWND progressDialog;
    HWND progressBar;
    uint32_t lastPercent;  // the value last sent to the progress bar
    DWORD lastAnswerTick;  // GetTickCount() when the message pump last ran
    UniqueFont dialogFont;
    UniqueLibrary themeLibrary;
    SetThemeAppPropertiesFn setThemeAppProperties;  // inside themeLibrary: cleared with it
};
