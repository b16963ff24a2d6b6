// Child processes and the shell hand-off: the run-first program, the closing document and the batch
// that deletes the uninstaller once its process has ended.
#pragma once

#include <windows.h>

#include "common/handles_win.h"

struct RunState;

// Starts `program` (a path, without quotes) with `arguments` (may be null or empty) from the program's
// own folder; with `wait`, returns when it has ended, keeping the windows painted meanwhile. False when
// it could not start, or its command line would not fit whole (528 bytes).
bool RunProgram(RunState& run, const char* program, const char* arguments, bool wait);

// Opens the closing document or web address through the shell; when the shell fails, through the
// open command registered for the document class that `classKey` (".htm") names.
void OpenDocument(RunState& run, const char* document, const char* classKey);

// Reads the default value of `keyPath` under HKEY_CLASSES_ROOT into `buffer` (kPathBufferSize bytes).
// Returns ERROR_SUCCESS, or the platform's error code with `buffer` unchanged: an absent, empty or
// oversized value, or one that is not a string, is an error too.
LONG ReadClassDefault(const char* keyPath, char* buffer);

// Creates a new file in the temporary folder named after `pattern` (one "%d", numbered 1 to 998) and
// returns it open for writing, its path in `path` (kPathBufferSize bytes). A name that is taken is
// never opened or replaced: the next number is tried. Invalid when no name could be created.
UniqueFileHandle CreateUniqueTempFile(char* path, const char* pattern);

// Writes and starts the batch that deletes the executable and its emptied folder once this process
// has ended, then deletes itself. Nothing is reported when it cannot.
[[nodiscard]] bool StartSelfDelete(RunState& run);

// The two halves of StartSelfDelete, for a file other than the running executable.
//
// Writes the batch that deletes `module`, then removes `installFolder` (without trailing backslash)
// when it is empty and not protected, then deletes the batch; its path is left in `batchPath`
// (kPathBufferSize bytes). `interpreterFolder` is the System folder on the NT family (its ping.exe
// paces the retries) or the Windows folder on the 9x family. False, with no batch left, when any path
// cannot be written whole in the interpreter's code page or the batch cannot be written.
[[nodiscard]] bool WriteSelfDeleteBatch(RunState& run, const char* module, const char* installFolder,
                                        const char* interpreterFolder, char* batchPath);
// Starts the interpreter in `interpreterFolder` (cmd.exe on the NT family, command.com on the 9x
// family, never one found by searching) hidden on `batchPath`, without waiting: in the batch's folder,
// on the batch's bare name, so that no part of the folder's path reaches the command line. When it cannot
// start, deletes the batch and returns false.
bool StartBatchInterpreter(bool nt, const char* interpreterFolder, const char* batchPath);
