// Child processes and the shell hand-off.
#pragma once

struct RunState;

// Starts `program` with `arguments`; with `wait`, returns when it has ended. False when it could not start.
bool RunProgram(RunState& run, const char* program, const char* arguments, bool wait);
// Opens the closing document or web address with the handler registered for `classKey`.
void OpenDocument(RunState& run, const char* document, const char* classKey);
// Writes and starts the batch that deletes the executable and its folder once the process has ended.
void StartSelfDelete(RunState& run);
