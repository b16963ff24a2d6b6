#include "driver/driver.h"

#include <ole2.h>

#include "common/backslash.h"
#include "common/memory.h"
#include "common/scope_exit.h"
#include "common/text.h"
#include "data/load_win.h"
#include "data/messages.h"
#include "paths/special_folders.h"
#include "removal/entry_paths.h"
#include "removal/files.h"
#include "removal/folders.h"
#include "removal/passes.h"
#include "removal/registry.h"
#include "removal/removal_log.h"
#include "run/run_state.h"
#include "shell/command_split.h"
#include "shell/processes.h"
#include "shell/run_first.h"
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

// OleInitialize for the run; OleUninitialize when it ends, only when the initialisation succeeded.
class OleSession {
  public:
    OleSession() : ready_(SUCCEEDED(OleInitialize(nullptr))) {}
    ~OleSession() {
        if (ready_) OleUninitialize();
    }
    OleSession(const OleSession&) = delete;
    OleSession& operator=(const OleSession&) = delete;

  private:
    bool ready_;
};

// The run state's three path buffers, in one block.
struct PathBuffers {
    char modulePath[kPathBufferSize];
    char currentItem[kPathBufferSize];
    char installFolder[kPathBufferSize];
};

// Allocates the path buffers into `buffers`, lends them to the run and finds the install folder.
// False when the buffers cannot be had or the executable's path does not fit one: the run cannot
// go on without them.
bool StartUp(RunState& run, UniqueBlock<PathBuffers>& buffers) {
    if (!AllocZeroed(sizeof(PathBuffers), buffers)) return false;
    run.modulePath = buffers.get()->modulePath;
    run.currentItem = buffers.get()->currentItem;
    run.installFolder = buffers.get()->installFolder;
    // A cut name would make an ancestor folder the install folder.
    DWORD n = GetModuleFileNameA(run.instance, run.installFolder, kPathBufferSize);
    if (n == 0 || n >= kPathBufferSize) return false;
    (void)CutAtLastBackslash(run.installFolder);  // a name without a backslash is kept whole
    if (!AppendBackslash(run.installFolder, kPathBufferSize)) return false;
    run.paths.nt = run.platform.nt;
    // Only 64-bit Windows gives a 32-bit program a WOW64 System folder.
    run.paths.wow64 = GetWow64SystemFolder(run.modulePath);
    run.paths.installFolder = run.installFolder;
    return true;
}

// Says why the block cannot be read: load error `error`, whose number is its message's, formatted
// with the executable's path. Shown only in an interactive run: a quiet one (a deployment tool's)
// has nobody to press OK, so the text goes to the log alone, as a box not shown.
void ReportLoadError(RunState& run, int error) {
    UniqueBlock<char> text;
    if (!AllocZeroed(kMessageBufferSize, text)) return;
    FormatMessageText(run.data, text.get(), error, run.modulePath);
    int answer = run.modes.quiet ? 0 : ShowMessage(run.ui, text.get(), MB_OK | MB_ICONINFORMATION);
    if (run.log) LogQuestion(*run.log.get(), text.get(), answer);
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
    run.confirmation = ShowMessage(run.ui, confirm, MB_OKCANCEL | MB_ICONINFORMATION);
    if (run.log) LogQuestion(*run.log.get(), confirm, run.confirmation);
    if (run.confirmation != IDOK) return;
    while (FindFileInUse(run)) {
        const char* inUse = GetMessageText(run.data, 0, format::kMsgFileInUse);
        int answer = ShowMessage(run.ui, inUse, MB_RETRYCANCEL | MB_ICONINFORMATION);
        if (run.log) LogQuestion(*run.log.get(), inUse, answer);
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
    if (run.log) LogPass(*run.log.get(), LogWord::kRunFirst);  // written out before a program that may hang
    NoteEntry(run, LogWord::kRunFirstSetting, 0);
    LogWord result = LogWord::kNotRun;
    const char* shown = command;  // in the log: the program as composed, or the command as stored
    ComposedRunFirst composed{};  // its expansion lives until the log has shown the program
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
    if (run.log) LogRunFirst(*run.log.get(), shown, result);
}

// Without a progress dialog the total stays 0, so no pass reports progress.
void StartProgressDisplay(RunState& run) {
    if (!CreateProgressDialog(run.ui)) return;
    run.ui.progressTotal = ProgressTotal(RunProgressCounts(run.data));
}

void RunPass(RunState& run, LogWord pass) {
    switch (pass) {
        case LogWord::kFiles:
            return RemoveInstalledFiles(run);
        case LogWord::kPatterns:
            return RemoveWildcardMatches(run);
        case LogWord::kShortcutFiles:
            return RemoveShortcutFiles(run);
        case LogWord::kShortcutFolders:
            return RemoveShortcutFolders(run);
        case LogWord::kProgramFolders:
            return RemoveProgramFolders(run);
        case LogWord::kRegistry:
            return RemoveRegistryEntries(run);
        default:
            return;
    }
}

// The passes in the table's order (removal/passes.h). The dialog's text changes where a pass shows
// another message than the one before; the log starts each pass's lines.
void RemoveEverything(RunState& run) {
    if (!run.modes.quiet) StartProgressDisplay(run);
    int shown = -1;
    for (const RemovalPass& pass : kRemovalPasses) {
        if (pass.message != shown) SetPhaseText(run, shown = pass.message);
        if (run.log) LogPass(*run.log.get(), pass.word);
        RunPass(run, pass.word);
    }
    DestroyProgressDialog(run.ui);
}

void CloseRun(RunState& run) {
    const char* finished = GetMessageText(run.data, 0, format::kMsgFinished);
    if (!run.modes.quiet && finished[0] != '\0') ShowMessage(run.ui, finished, MB_OK | MB_ICONINFORMATION);
    const char* document = SettingsDocument(run.data);
    if (!run.modes.external && !run.modes.silent && document) OpenDocument(run, document, ".htm");
}

}  // namespace

// Every early return leaves through the owners: the run state (the data, the protected set, the UI's
// font and library), then the path buffers, then COM.
int RunUninstaller(HINSTANCE instance, const char* commandLine) {
    OleSession ole;
    UniqueBlock<PathBuffers> buffers;
    RunState run = {};
    DetectPlatform(run.platform);
    run.instance = instance;
    InitUserInterface(run.ui, run.instance, run.data);
    if (!StartUp(run, buffers)) return -1;
    ScanOptions(commandLine, run.modes);
    if (run.modes.logPath) OpenRemovalLog(run);
    // An early return ends the log as a run that removed nothing, with the code it returns.
    int exitCode = -1;
    ScopeExit endLog([&] {
        if (run.log) CloseRemovalLog(run, LogWord::kNotRun, exitCode);
    });

    int loaded = LoadUninstallData(run.instance, run.modulePath, run.data);
    if (loaded != format::kLoadOk) {
        if (loaded != kLoadNoBlock) ReportLoadError(run, loaded);
        return -1;
    }
    if (run.log)
        LogProduct(*run.log.get(), GetMessageText(run.data, 0, format::kMsgCaption), run.installFolder);
    if (!(SettingsFlags(run.data) & format::kSettingsThemedControls)) ApplyThemeProperties(run.ui);
    // Ends as a cancelled run does, with 0: nothing was shown or removed, and -1 is kept for a block
    // that cannot be read and a main window that cannot be created.
    if (!RegisterMainWindowClass(run.ui)) return exitCode = 0;
    if (!CreateMainWindow(run.ui)) return -1;

    run.confirmation = IDOK;
    if (!run.modes.quiet) Confirm(run);
    if (run.confirmation == IDOK) {
        RunFirstProgram(run);
        RemoveEverything(run);
        CloseRun(run);
    }
    // A cancelled run ends with 0, as it always has: nothing was removed. A run that went through
    // its passes tells a deployment tool what came of them (ExitCodeOfTally).
    exitCode = run.confirmation == IDOK ? ExitCodeOfTally(run.tally) : 0;

    RunFinalMessageLoop(run.ui);
    FreeUninstallData(run.data);  // the lists go before the batch starts; the rest goes with the owners
    if (run.confirmation == IDOK && !run.modes.external && !run.modes.silent) {
        bool started = StartSelfDelete(run);
        if (run.log) {
            LogPass(*run.log.get(), LogWord::kClosing);
            LogItem(*run.log.get(), LogWord::kSelfDelete, run.currentItem,
                    OutcomeOfWord(started ? LogWord::kStarted : LogWord::kNotStarted));
        }
    }
    if (run.log)
        CloseRemovalLog(run, run.confirmation == IDOK ? LogWord::kCompleted : LogWord::kCancelled, exitCode);
    return exitCode;
}
