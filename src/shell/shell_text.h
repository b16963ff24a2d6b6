// The texts the uninstaller hands to other programs: a child's command line, the completed open
// command of a document class, the self-delete batch and its interpreter's command line. Pure and
// portable. Each is built whole or not at all: a cut command line runs a different program, a cut
// batch line deletes a different file.
#pragma once

#include <stddef.h>

// The command line of a program started by its path: the path in double quotes and, when there are
// arguments, one space and the arguments. False, with `out` unchanged, when it does not fit `size`.
[[nodiscard]] bool BuildProgramCommandLine(const char* program, const char* arguments, char* out,
                                           size_t size);

// True when `target` begins with "http://" or "https://", in any mix of case.
bool IsWebAddress(const char* target);

// The folder the shell opens `target` from: a file path that holds a backslash gives its folder (a
// drive root keeps its backslash); a web address or a bare name gives none. False when there is none
// or it does not fit.
[[nodiscard]] bool ShellWorkingFolder(const char* target, char* folder, size_t size);

// Turns the open command registered for a document class into the command that opens `target`: the
// command is cut where its first "%1" placeholder begins (the quoted form first, wherever it stands),
// then one space and the target are appended; a target with a blank is put in double quotes, since
// unquoted it would be split into several arguments. False, with `command` unchanged, when the result
// does not fit `size`.
[[nodiscard]] bool CompleteOpenCommand(char* command, size_t size, const char* target);

// About a second of tries at full speed on a current machine (far more under emulation), so that the
// file goes the moment the process has ended; then about two minutes, paced, before giving up.
inline constexpr unsigned kBatchFastTries = 1000;
inline constexpr unsigned kBatchPacedTries = 120;

// The paths written into the self-delete batch, in the interpreter's (OEM) code page.
struct SelfDeleteBatch {
    const char* module;         // the executable to delete
    const char* installFolder;  // the folder to remove once it is empty; null writes no rmdir line
    const char* batch;          // the batch file itself, deleted last
    // The program that paces the retries once the executable has stayed for a while (the System
    // folder's ping.exe on the NT family); null writes the plain loop the 9x family's command.com
    // understands, which retries until the file goes.
    const char* delayProgram;
    // With a delay program: how often the batch tries at full speed before it slows down, and how
    // many paced tries (about a second each) follow before it gives up and only deletes itself.
    unsigned fastTries = kBatchFastTries;
    unsigned pacedTries = kBatchPacedTries;
};

// Writes the batch text for `paths` into `out` when it fits `size` with its terminator, and returns
// its length in either case (call with a null `out` to measure). Every "%" of a path is doubled, since
// the interpreter expands "%" inside a batch even between quotes; every line ends with CR LF.
size_t ComposeSelfDeleteBatch(const SelfDeleteBatch& paths, char* out, size_t size);

// The interpreter's command line for `batchPath`. On the NT family: the quoted cmd.exe path, "/D"
// (no AutoRun commands), "/V:OFF" (no "!" expansion) and "/C" with the batch path in two pairs of
// quotes, so that cmd's quote stripping leaves one pair however the path is spelled. On the 9x family:
// command.com's path (quoted when it holds a blank) with "/C" and the batch path in quotes. False when
// it does not fit `size`, or when the batch path holds "%", "!" or a quote, which the interpreter would
// expand or end the path at.
[[nodiscard]] bool BuildInterpreterCommandLine(bool nt, const char* interpreter, const char* batchPath,
                                               char* out, size_t size);

// Writes `pattern` with its first "%d" replaced by `number` in plain decimal into `out`. False when
// the pattern holds no "%d" or the name does not fit `size`.
[[nodiscard]] bool FormatNumberedName(const char* pattern, unsigned number, char* out, size_t size);
