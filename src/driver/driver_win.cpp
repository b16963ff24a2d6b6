#include <ole2.h>

#include "common/text.h"
#include "data/load_win.h"
#include "data/memory.h"
#include "data/messages.h"
#include "driver/command_split.h"
#include "driver/run_first.h"
#include "driver/run_state.h"
#include "common/backslash.h"
#include "paths/protected_folders.h"
#include "removal/entry_paths.h"
#include "removal/files.h"
#include "removal/folders.h"
#include "removal/reach_check.h"
#include "removal/registry.h"
#include "removal/removal_log.h"
#include "shell/processes.h"
#include "ui/progress.h"
#include "ui/ui.h"

namespace {

void DetectPlatform(PlatformFlags& platform) {
    OSVERSIONINFOA info = {};
    info.dwOSVersionInfoSize = sizeof(info);
    if (!GetVersionExA(&info)) return;
    platform.nt = info.dwPlatformId == VER_PLATFORM_WIN32_NT;
    platform.nt6OrLater = platform.nt && info.dwMajorVersion > 5;
}

// Allocates the three path buffers and finds the install folder. False when a buffer cannot be had
// or the executable's path does not fit one: the run cannot go on without them.
bool StartUp(RunState& run) {
    if (!AllocZeroed(kPathBufferSize, run.modulePath) || !AllocZeroed(kPathBufferSize, run.currentItem) ||
        !AllocZeroed(kPathBufferSize, run.installFolder)) {
        return false;
    }
    // A cut name would make an ancestor folder the install folder.
    DWORD n = GetModuleFileNameA(run.instance, run.installFolder, kPathBufferSize);
    if (n == 0 || n >= kPathBufferSize) return false;
    (void)CutAtLastBackslash(run.installFolder);  // a name without a backslash is kept whole
    return AppendBackslash(run.installFolder, kPathBufferSize);
}

// The last steps of every run: COM, the path buffers (and the protected set), the user interface.
void Teardown(RunState& run, bool oleReady) {
    if (oleReady) OleUninitialize();
    ReleaseProtectedFolders(run);
    ReleaseReachCache(run);
    FreeBlock(run.modulePath);
    FreeBlock(run.installFolder);
    FreeBlock(run.currentItem);
    ReleaseUserInterface(run);
}

// The early exits: nothing was confirmed or removed; release what start-up took and leave.
int EndEarly(RunState& run, bool oleReady, int exitCode) {
    if (run.log) CloseRemovalLog(run, LogWord::kNotRun);
    FreeUninstallData(run.data);
    Teardown(run, oleReady);
    return exitCode;
}

void SetPhaseText(RunState& run, int number) {
    if (run.ui.progressDialog) {
        SetDlgItemTextA(run.ui.progressDialog, kDialogTextId, GetMessageText(run.data, 0, number));
    }
}

// Asks for confirmation and, while a file that must be free is in use, to retry. Only OK and Retry
// go on; any other answer, 0 from a box that could not be shown included, removes nothing.
void Confirm(RunState& run) {
    const char* confirm = GetMessageText(run.data, 0, format::kMsgConfirm);
    run.confirmation = ShowMessage(run, confirm, MB_OKCANCEL | MB_ICONINFORMATION);
    if (run.log) LogQuestion(*run.log, confirm, run.confirmation);
    if (run.confirmation != IDOK) return;
    while (FindFileInUse(run)) {
        const char* inUse = GetMessageText(run.data, 0, format::kMsgFileInUse);
        int answer = ShowMessage(run, inUse, MB_RETRYCANCEL | MB_ICONINFORMATION);
        if (run.log) LogQuestion(*run.log, inUse, answer);
        if (answer != IDRETRY) {
            run.confirmation = IDCANCEL;
            return;
        }
        run.confirmation = IDOK;
    }
}

void RunFirstProgram(RunState& run) {
    const char* command = SettingsCommand(run.data);
    if (!command) return;
    if (run.log) LogPass(*run.log, LogWord::kRunFirst);  // written out before a program that may hang
    LogWord result = LogWord::kNotRun;
    const char* shown = command;  // in the log: the program as composed, or the command as stored
    RunFirstCommand composed{};
    if (ComposeRunFirstCommand(run, command, composed)) {
        bool external = run.modes.external && !run.modes.silent;
        if (!external) {
            CommandParts parts = SplitCommand(composed.text);
            shown = parts.program;
            // A program that is not a whole path (a token that expanded to nothing leaves "\tool.exe")
            // would be taken from our current directory or searched for: it is not run.
            if (IsAbsoluteProgramPath(parts.program)) {
                result = RunProgram(run, parts.program, parts.arguments,
                                    (SettingsFlags(run.data) & format::kSettingsWaitForRun) != 0)
                             ? LogWord::kStarted
                             : LogWord::kNotStarted;
            }
        }
    }
    if (run.log) LogRunFirst(*run.log, shown, result);
    ReleaseRunFirstCommand(composed);
}

// Without a progress dialog the total stays 0, so no pass reports progress.
void StartProgressDisplay(RunState& run) {
    if (!CreateProgressDialog(run)) return;
    run.progressTotal = ProgressTotal(RunProgressCounts(run));
    SetPhaseText(run, format::kMsgProgressFiles);
}

void RemoveEverything(RunState& run) {
    if (!run.modes.quiet) StartProgressDisplay(run);
    if (run.log) LogPass(*run.log, LogWord::kFiles);
    RemoveInstalledFiles(run);
    if (run.log) LogPass(*run.log, LogWord::kPatterns);
    RemoveWildcardMatches(run);
    SetPhaseText(run, format::kMsgProgressShortcuts);
    if (run.log) LogPass(*run.log, LogWord::kShortcutFiles);
    RemoveShortcutFiles(run);
    if (run.log) LogPass(*run.log, LogWord::kShortcutFolders);
    RemoveShortcutFolders(run);
    SetPhaseText(run, format::kMsgProgressFolders);
    if (run.log) LogPass(*run.log, LogWord::kProgramFolders);
    RemoveProgramFolders(run);
    SetPhaseText(run, format::kMsgProgressRegistry);
    if (run.log) LogPass(*run.log, LogWord::kRegistry);
    RemoveRegistryEntries(run);
    DestroyProgressDialog(run);
}

void CloseRun(RunState& run) {
    const char* finished = GetMessageText(run.data, 0, format::kMsgFinished);
    if (!run.modes.quiet && finished[0] != '\0') ShowMessage(run, finished, MB_OK | MB_ICONINFORMATION);
    const char* document = SettingsDocument(run.data);
    if (!run.modes.external && !run.modes.silent && document) OpenDocument(run, document, ".htm");
}

}  // namespace

int RunUninstaller(HINSTANCE instance, const char* commandLine) {
    RunState run = {};
    DetectPlatform(run.platform);
    run.instance = instance;
    bool oleReady = SUCCEEDED(OleInitialize(nullptr));
    InitUserInterface(run);
    if (!StartUp(run)) return EndEarly(run, oleReady, -1);
    ScanOptions(commandLine, run.modes);
    if (run.modes.logPath) OpenRemovalLog(run);

    if (!LoadUninstallData(run)) return EndEarly(run, oleReady, -1);
    if (!(SettingsFlags(run.data) & format::kSettingsThemedControls)) ApplyThemeProperties(run);
    if (!RegisterMainWindowClass(run)) return EndEarly(run, oleReady, 0);
    if (!CreateMainWindow(run)) return EndEarly(run, oleReady, -1);

    run.confirmation = IDOK;
    if (!run.modes.quiet) Confirm(run);
    if (run.confirmation == IDOK) {
        RunFirstProgram(run);
        RemoveEverything(run);
        CloseRun(run);
    }
    if (run.log) CloseRemovalLog(run, run.confirmation == IDOK ? LogWord::kCompleted : LogWord::kCancelled);

    RunFinalMessageLoop(run);
    FreeUninstallData(run.data);
    if (run.confirmation == IDOK && !run.modes.external && !run.modes.silent) StartSelfDelete(run);
    Teardown(run, oleReady);
    return 0;
}
