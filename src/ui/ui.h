// The user interface: the hidden main window, the message boxes, the progress and question
// dialogs, the message pumps and the progress setter. One instance per process: the UI keeps a
// pointer to the run's UI state for its window procedures.
#pragma once

#include <windows.h>

#include <stdint.h>

#include "ui/progress.h"
#include "ui/ui_state.h"

inline constexpr int kQuestionDialogId = 109;
inline constexpr int kProgressDialogId = 110;
inline constexpr int kIconGroupId = 800;
inline constexpr int kDialogTextId = 1000;
inline constexpr int kProgressBarId = 1009;
inline constexpr int kYesToAllId = 1001;
inline constexpr int kNoToAllId = 1002;

inline constexpr int kMainWindowWidth = 320;
inline constexpr int kMainWindowHeight = 200;

struct WindowOrigin {
    int x;
    int y;
};

// Where the hidden main window stands on a screen of the given size: centred, with signed
// division rounding toward zero, and never at a negative coordinate.
constexpr WindowOrigin MainWindowOrigin(int screenWidth, int screenHeight) {
    int x = (screenWidth - kMainWindowWidth) / 2;
    int y = (screenHeight - kMainWindowHeight) / 2;
    return {x < 0 ? 0 : x, y < 0 ? 0 : y};
}

// Records the module and the message table in `ui` (the window procedures reach them through it),
// loads the visual-styles library from the System folder, looks up SetThemeAppProperties and
// initialises the common controls.
void InitUserInterface(UiState& ui, HINSTANCE instance, const UninstallData& data);
// Limits visual styles to window frames, when the library offers it.
void ApplyThemeProperties(UiState& ui);
// Registers UninstItClass, the hidden main window's class; true when the platform gave an atom.
[[nodiscard]] bool RegisterMainWindowClass(UiState& ui);
// Creates the hidden, centred main window titled with message 0, which owns every box and dialog.
[[nodiscard]] bool CreateMainWindow(UiState& ui);
// Posts the quit message when the main window is destroyed; everything goes to DefWindowProc.
LRESULT CALLBACK MainWindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
// Gives the dialog's direct children (never the dialog itself) the shared normal-weight dialog
// font, made once from the first dialog that has a font.
void ApplyDialogFont(HWND dialog);
// Template 110: captioned with message 0; absorbs every command, so Escape, Enter and the close
// box never close it.
INT_PTR CALLBACK ProgressDialogProc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam);
// Template 109: the question text is the creation parameter; any command ends the dialog with
// its identifier.
INT_PTR CALLBACK QuestionDialogProc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam);
// Creates the modeless progress dialog (template 110, shown at once) owned by the main window and
// records it and its progress bar; false when it could not be created.
[[nodiscard]] bool CreateProgressDialog(UiState& ui);
// Destroys the progress dialog, if there is one, and clears both its handles: after it the pumps
// and the progress setter no longer reach a destroyed window.
void DestroyProgressDialog(UiState& ui);
// Shows a modal message box with `text`, captioned with message 0 and owned by the main window
// (no owner before it exists). Returns the button pressed, or 0 when the box could not be shown.
int ShowMessage(const UiState& ui, const char* text, UINT type);
// Shows the four-button question with `text`; returns the button's identifier, 2 for Escape or the
// close box, -1 when the dialog cannot be created.
INT_PTR ShowQuestionDialog(UiState& ui, const char* text);
// Dispatches every waiting message and returns when the queue is empty; a quit message is dropped.
// Records when it ran (for KeepAnswering).
void PumpPendingMessages();
// Waits until `process` (a child program: the run-first program, regsvr32) has ended, dispatching
// the windows' messages while it runs (as they arrive, and at least every 200 ms), so the windows keep
// painting. The handle, not the exit code, tells that it ended: a child may well end with 259
// (STILL_ACTIVE) itself. A wait that fails ends the wait.
void WaitForChild(HANDLE process);
// Called for every item of a pass: pumps (PumpPendingMessages) when the progress dialog is up and
// the pump last ran 25 ms or more ago; otherwise returns at once. Never touches the bar.
void KeepAnswering();
// Shows a whole percentage (at most 100) on the progress bar, if there is one, and pumps; does
// nothing at all, not even pump, when the percentage equals the one shown last. The bar takes the
// position at once but is repainted at most every 100 ms: a quicker move is drawn by the next move,
// KeepAnswering or box after that.
void SetProgress(uint32_t percent);
// The one way a pass moves the bar: the position of its entry `index` (ui/progress.h) as a
// percentage of the run's total, through SetProgress; when that percentage is the one shown, only
// KeepAnswering. Does nothing while the total is 0 (no progress dialog, quiet mode).
void ReportProgress(const UiState& ui, ProgressPass pass, uint32_t index);
// The run's progress counts, from its lists.
ProgressCounts RunProgressCounts(const UninstallData& data);
// Destroys the main window and dispatches messages until the quit message; also ends when the
// window was already gone.
void RunFinalMessageLoop(UiState& ui);
// Deletes the dialog font and unloads the visual-styles library.
void ReleaseUserInterface(UiState& ui);
