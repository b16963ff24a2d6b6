// What the path functions need from the run: the folder lookups they make, replaceable one by one,
// the platform family, the install folder that "#InstallDir#" names, and the protected-folder set,
// built once per run. The run state holds one; the path functions are handed it and nothing more.
#pragma once

#include "common/memory.h"
#include "common/text.h"

struct ProtectedFolderSet;

// Looks up the shell special folder `csidl` into `path` (kPathBufferSize bytes); true when one was found.
// On failure `path` is left as it was.
using SpecialFolderLookup = bool (*)(char* path, int csidl);
// Reads the folder value `valueName` of HKLM\Software\Microsoft\Windows\CurrentVersion into `path`
// (kPathBufferSize bytes); true when it was read. On failure `path` is left as it was.
// With `view64`, the value is read in the 64-bit view of the registry (on 64-bit Windows).
using SetupFolderLookup = bool (*)(const char* valueName, char* path, bool view64);

// The lookups that the folder tokens and the protected-folder test make. A null member means the
// platform's own (GetSpecialFolder, ReadSetupFolder); tests put in one that fails to reach a fallback.
struct FolderLookups {
    SpecialFolderLookup specialFolder;
    SetupFolderLookup setupFolder;
};

// The folder token that began the last entry folder resolved, and its folder: entries sorted by
// folder look each token up once (paths/folder_tokens.h, EntryTokens).
struct EntryTokenCache {
    char token[kPathBufferSize];   // empty before the first
    char folder[kPathBufferSize];  // empty when the token has none
};

struct PathState {
    FolderLookups lookups;
    bool nt;  // the NT family: the all-users folders and the profile fallbacks
    // 64-bit Windows (this 32-bit program runs under WOW64): the 64-bit folders and registry view
    // exist beside the ones the program sees by default.
    bool wow64;
    const char* installFolder;  // the executable's folder with its backslash; null before start-up
    // Built by the first protected-folder test; freed with the run (reset() makes the next test
    // build it again).
    UniqueBlock<ProtectedFolderSet> protectedSet;
    EntryTokenCache entryTokens;
};
