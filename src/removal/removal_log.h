// The removal log that /L=PATH asks for. Every line has five fields split by tabs; one line per item
// in the order of the run:
//   pass <TAB> action <TAB> reference <TAB> path or key <TAB> result
// with the words of removal/log_words.h; the reference names the block's entry as the packer's plan
// does ("files[3]", "registry[0]", "settings.runFirst"; empty for lines of no entry). Paths, keys and message
// texts are written as the block holds them, in its code page (a control character in one becomes a blank, so
// one item is one line). The lines before the passes come first:
//   log <TAB> format <TAB> <TAB> uninst removal log 2 <TAB> uninstaller's version
//   start <TAB> time <TAB> <TAB> local ISO 8601 time with offset <TAB> family, /Q /S /X, ignored: words
//   start <TAB> user <TAB> <TAB> computer\user <TAB> elevated | not elevated | before UAC
//   start <TAB> product <TAB> <TAB> caption <TAB> install folder      (once the block is read)
// and the last line is the summary a deployment script reads:
//   summary <TAB> completed | cancelled | not run <TAB> <TAB> removed R, kept on purpose K,
//           problems P, at restart A, not there N <TAB> exit code E
// Lines go through a 4 KiB buffer that is written out at every pass boundary and at the end: a run
// that is killed leaves every line up to its last boundary.
//
// Without /L the run state's log owner (run.log, a UniqueRemovalLog) is empty: the items are still
// counted (the exit code is made of the tally), and nothing is formatted.
#pragma once

#include <windows.h>

#include <stdint.h>

#include "removal/log_words.h"

struct RunState;
struct RemovalLog;

// Creates the log the options name (run.modes.logPath) and writes the lines before the passes.
// run.log is the log then. A relative path is taken from the current directory. A device name, a
// folder, a junction or link, a read-only file, a file with other hard links, a new file in a
// folder reached through a junction or link, or a file that cannot be opened gives no log (run.log
// stays empty; nothing is created or changed) and the run goes on as without /L. An existing file
// is replaced.
void OpenRemovalLog(RunState& run);

// Writes the summary line with the run's tally, `ending` (kCompleted, kCancelled or kNotRun) and the
// run's exit code, writes the buffer out, and ends the log (run.log is empty then).
void CloseRemovalLog(RunState& run, LogWord ending, int exitCode);

// A pass boundary: writes the buffer out; later lines name `pass`, and no entry until NoteEntry.
void LogPass(RemovalLog& log, LogWord pass);

// The product line, once the block is read: its caption (message 0) and the install folder.
void LogProduct(RemovalLog& log, const char* caption, const char* installFolder);

// The entry the next lines are about: entry `index` of the block's list `list` (kFiles, kPatterns,
// kShortcuts, kRegistry; kRunFirstSetting has no index). Nothing without a log.
void NoteEntry(RunState& run, LogWord list, uint32_t index);

// One item of a pass, counted into the run's tally and written to the log when there is one:
// `outcome` is 0 (removed), a platform error code, a kOutcome value (log_words.h) or
// kOutcomeRefusedByLinkCheck. `tail`, when given, is written after `path` and a backslash (a name
// whose path did not fit).
void RecordItem(RunState& run, LogWord action, const char* path, uint32_t outcome,
                const char* tail = nullptr);

// A line of the log that is no item of the tally (a question, the run-first program); `outcome` as
// RecordItem's, but never kOutcomeRefusedByLinkCheck.
void LogItem(RemovalLog& log, LogWord action, const char* path, uint32_t outcome, const char* tail = nullptr);

// The outcome of a step for LogItem: 0 when `done`, else the platform's error of the failed call.
inline uint32_t OutcomeOf(BOOL done) {
    return done ? 0 : GetLastError();
}

// An item's outcome for LogItem when the link check refused its folder (or the file in it): the log
// finds out why it stays, a protected folder, one that is not there (the platform's error), a network
// spelling, or a junction or link below its root. Below every kOutcome value of log_words.h, above
// every platform error code.
inline constexpr uint32_t kOutcomeRefusedByLinkCheck = 0x1FFFFFFFu;

// A registry item, as RecordItem: the root's short name ("HKCU"), a backslash and the key path as stored.
void RecordKey(RunState& run, LogWord action, uint32_t root, const char* keyPath, uint32_t outcome);

// A question the run asked and the button that answered it (0 or -1: it could not be shown).
void LogQuestion(RemovalLog& log, const char* text, int answer);

// The run-first command as stored and what came of it (kStarted, kNotStarted, kNotRun), or the
// exit code when NoteExitCode has read one.
void LogRunFirst(RemovalLog& log, const char* command, LogWord result);

// Keeps the exit code of the ended run-first program `process` for LogRunFirst.
void NoteExitCode(RemovalLog& log, HANDLE process);
