// The run state: every process-wide value of one uninstall run, owned by the driver and handed to
// the parts that need it. One thread uses it; nothing is locked.
#pragma once

#include <windows.h>

#include "data/uninstall_data.h"
#include "driver/options.h"
#include "paths/path_state.h"

struct PlatformFlags {
    bool nt;          // the NT family (VER_PLATFORM_WIN32_NT)
    bool nt6OrLater;  // NT with a major version above 5
};

using SetThemeAppPropertiesFn = void(WINAPI*)(DWORD);

struct UiState {
    HWND mainWindow;
    HWND progressDialog;  // null in quiet mode or when it could not be created
    HWND progressBar;
    uint32_t lastPercent;  // the value last sent to the progress bar
    HFONT dialogFont;
    HMODULE themeLibrary;
    SetThemeAppPropertiesFn setThemeAppProperties;
};

struct RunState {
    PlatformFlags platform;
    RunModes modes;
    HINSTANCE instance;
    char* modulePath;     // the executable's full path (kPathBufferSize bytes)
    char* currentItem;    // the path the current pass works on (kPathBufferSize bytes)
    char* installFolder;  // the executable's folder, with a trailing backslash (kPathBufferSize bytes)
    UninstallData data;
    PathState paths;  // folder lookups and the protected-folder set
    UiState ui;
    uint32_t progressTotal;  // 0 when there is no progress dialog: then no pass reports progress
    int confirmation;        // the answer that lets the run remove and delete itself when it is IDOK
};

// Runs the whole uninstall: the entry function. `commandLine` is the text after the program name.
int RunUninstaller(HINSTANCE instance, const char* commandLine);
