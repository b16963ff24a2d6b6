// The user interface: the hidden main window, the progress and question dialogs, the message
// pumps and the progress setter. One instance per process: the UI keeps a pointer to the run
// state's UI fields for its window procedures.
#pragma once

#include <windows.h>

#include "driver/run_state.h"

inline constexpr int kQuestionDialogId = 109;
inline constexpr int kProgressDialogId = 110;
inline constexpr int kIconGroupId = 800;
inline constexpr int kDialogTextId = 1000;
inline constexpr int kProgressBarId = 1009;
inline constexpr int kYesToAllId = 1001;
inline constexpr int kNoToAllId = 1002;

// Loads the visual-styles library from the System folder, looks up SetThemeAppProperties and
// initialises the common controls.
void InitUserInterface(RunState& run);
// Limits visual styles to window frames, when the library offers it.
void ApplyThemeProperties(RunState& run);
[[nodiscard]] bool RegisterMainWindowClass(RunState& run);
[[nodiscard]] bool CreateMainWindow(RunState& run);
LRESULT CALLBACK MainWindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
// Gives the dialog's children the shared normal-weight dialog font.
void ApplyDialogFont(HWND dialog);
INT_PTR CALLBACK ProgressDialogProc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam);
INT_PTR CALLBACK QuestionDialogProc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam);
// Shows the four-button question with `text`; returns the button's identifier, 2 for Escape or the
// close box, -1 when the dialog cannot be created.
INT_PTR ShowQuestionDialog(RunState& run, const char* text);
// Dispatches every waiting message and returns when the queue is empty; a quit message is dropped.
void PumpPendingMessages();
// Shows a whole percentage (at most 100) on the progress bar and pumps, only when it changed.
void SetProgress(uint32_t percent);
// Destroys the main window and dispatches messages until the quit message.
void RunFinalMessageLoop(RunState& run);
// Deletes the dialog font and unloads the visual-styles library.
void ReleaseUserInterface(RunState& run);
