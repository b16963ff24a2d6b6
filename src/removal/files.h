// The file pass: installed files and listed folders, with their shared-DLL counts, fonts and servers
// (removal/servers_fonts.h) and the read-only question; and the in-use check the driver runs first.
#pragma once

struct RunState;

// True as soon as one file entry marked FileMustBeFree is locked (IsFileLocked); false when none is.
// Builds each entry path in the current-item buffer and leaves the last one there.
[[nodiscard]] bool FindFileInUse(RunState& run);

// Walks the file list from its last entry to its first: removes folder entries that are not
// protected, and file entries that are not locked (shared counts, fonts, servers and the read-only
// question on the way). Every failure is absorbed entry by entry; the bar moves through
// ReportProgress(run.ui, ProgressPass::kFiles, k).
void RemoveInstalledFiles(RunState& run);

// True when the existing file `path` cannot be opened for reading and writing; false otherwise, a
// missing file included. Leaves the file's read-only attribute as it found it.
[[nodiscard]] bool IsFileLocked(const char* path);

// The four-button question about the read-only file `path` (message 9, template 109): IDYES, IDNO,
// kYesToAllId, kNoToAllId, or the identifier the dialog ended with (2 for Escape or the close box).
// 7 when the text buffer cannot be had or the dialog cannot be shown; kYesToAllId without asking
// when message 9 is empty.
int AskReadOnlyQuestion(RunState& run, const char* path);
