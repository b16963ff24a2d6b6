// The run state: every process-wide value of one uninstall run, owned by the driver and handed to
// the parts that need it. One thread uses it; nothing is locked.
#pragma once

#include <windows.h>

#include "common/unique_handle.h"
#include "data/uninstall_data.h"
#include "paths/path_state.h"
#include "run/options.h"
#include "ui/ui_state.h"

struct ReachCache;
struct RestartSchedule;
struct RemovalLog;

// Owns the /L log (removal/removal_log.h): closes its file and frees it. CloseRemovalLog writes the
// summary line first; an owner that goes without it leaves the lines written so far.
struct RemovalLogTraits {
    using Handle = RemovalLog*;
    static Handle Invalid() { return nullptr; }
    static void Close(Handle log);  // removal/removal_log_win.cpp
};
using UniqueRemovalLog = UniqueHandle<RemovalLogTraits>;

struct PlatformFlags {
    bool nt;          // the NT family (VER_PLATFORM_WIN32_NT)
    bool nt6OrLater;  // NT with a major version above 5
};

// The remembered answer to the read-only question: once "to all" was chosen (or message 9 is empty,
// which counts as yes to all) it holds for every later read-only file of the run.
enum class ToAllAnswer : uint8_t {
    kUnset,
    kYesToAll,
    kNoToAll,
};

struct RunState {
    PlatformFlags platform;
    RunModes modes;
    HINSTANCE instance;
    // The three path buffers, lent by the driver (which owns them) for the whole run.
    char* modulePath;  // the executable's full path (kPathBufferSize bytes)
    // The path the current step works on (kPathBufferSize bytes). One buffer, handed from phase to
    // phase; each phase owns it only while it runs and may leave anything in it:
    //   run-first command  ComposeRunFirstCommand writes the composed command here (folder form) and
    //                      it stays in use until RunProgram has returned;
    //   in-use check       FindFileInUse builds each entry path here;
    //   file pass          each entry path; UnregisterServer reads the path from here;
    //   shortcut files     each shortcut's path;
    //   program folders    each entry's folder and the folders it climbs through;
    //   self-delete        StartSelfDelete's copy of the executable's path.
    // The wildcard, shortcut-folder and registry passes build in buffers of their own and leave it.
    char* currentItem;
    char* installFolder;  // the executable's folder, with a trailing backslash (kPathBufferSize bytes)
    UninstallData data;
    PathState paths;  // what the path functions need: lookups, family, install folder, protected set
    UniqueBlock<ReachCache> reachCache;  // the link checks' roots and last folder (removal/reach_check.h)
    UiState ui;
    int confirmation;            // the answer that lets the run remove and delete itself when it is IDOK
    ToAllAnswer readOnlyAnswer;  // set by the file pass only; never reset during the run
    UniqueRemovalLog log;        // the /L=PATH log (removal/removal_log.h); empty without one
    uint32_t tally[5];           // items by their class (Tally, removal/log_words.h), log or not
    UniqueBlock<RestartSchedule> restart;  // what goes at the next restart (removal/restart.h)
};
