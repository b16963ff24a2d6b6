// How the passes turn the data block's entries into the paths and keys they act on: the one set of
// rules, shared by the uninstaller's passes and the packer's `plan` and `check`, so the dry run and
// the real run cannot disagree. Portable and pure: no windows.h, no file system, no registry, no
// allocation. A folder token that begins an entry's folder is resolved through the caller's
// FolderTokenResolver (paths/token_table.h): the uninstaller's looks it up, the packer's shows it.
//
// Every builder writes into a caller's buffer of `size` bytes and returns false, leaving the empty
// string, when the result with its terminator does not fit: a cut path names another file, so the
// caller skips the item. The uninstaller passes path buffers (kPathBufferSize); the packer passes
// buffers as large as the inputs need, and the path-buffer size to learn whether a path fits.
#pragma once

#include <stddef.h>
#include <stdint.h>

#include "common/text.h"
#include "paths/token_table.h"

// The length of the folder token that `folder` begins with: a '#', a name, the closing '#', and then
// the end of the text or a backslash (or "/"). 0 when it begins with none.
[[nodiscard]] size_t LeadingTokenLength(const char* folder);

// A stored folder of a file entry, shortcut or second folder as the passes use it: one that begins
// with a folder token (LeadingTokenLength) is the token's folder, resolved by `tokens`, followed by
// the rest of the text as it stands ("#AppData#\Vendor" gives <application data>\Vendor; a root
// such as "D:\" is not doubled); any other folder is copied as stored. Only that leading token is
// expanded: a '#' further on belongs to a name. False, with `out` empty, when the token does not
// resolve (without `tokens` none does) or the result does not fit.
[[nodiscard]] bool BuildEntryFolder(const char* folder, const FolderTokenResolver* tokens, char* out,
                                    size_t size);

// The file pass's entry path (also the in-use check's): when `folder` begins with "." the install
// folder (`installFolder`, with its trailing backslash), followed by the rest of `folder` only when
// its second character is a backslash (".\Bin" gives <install>Bin; ".", "..\Other" and ".x" give the
// install folder itself); otherwise BuildEntryFolder (a leading token resolved, else `folder` as
// stored). A non-empty `name` follows after AppendBackslash (so an empty folder gives the bare name).
// "/" counts as a backslash, as it does for the platform, and is written as one (".\Bin/x" and
// "./Bin\x" both give <install>Bin\x).
[[nodiscard]] bool BuildEntryPath(const char* installFolder, const char* folder, const char* name, char* out,
                                  size_t size, const FolderTokenResolver* tokens = nullptr);

enum class ProgramFolderStart {
    kFolder,       // `out` holds the folder the program-folder pass climbs from
    kNoBackslash,  // the entry path holds no backslash: nothing to climb, only the progress moves
    kTooLong,      // the entry path does not fit: the entry is skipped
};

// The folder the program-folder pass climbs from: the entry path cut at its last backslash (a name
// with subfolders in it gives the deepest of them), or, for a folder entry (empty name), the entry
// path itself; StripTrailingBackslash'ed. The whole entry path, name included, must fit.
[[nodiscard]] ProgramFolderStart BuildProgramFolder(const char* installFolder, const char* folder,
                                                    const char* name, char* out, size_t size,
                                                    const FolderTokenResolver* tokens = nullptr);

// True when the clean-up pattern holds a '#' anywhere: it is expanded (ExpandFolderTokens), not
// taken relative to the install folder.
[[nodiscard]] inline bool PatternHasTokens(const char* pattern) {
    return ContainsByte(pattern, '#');
}

// A pattern without tokens: the install folder, AppendBackslash, the pattern.
[[nodiscard]] bool BuildPatternPath(const char* installFolder, const char* pattern, char* out, size_t size);

// Cuts the full pattern path `path` at its last backslash, in place: `path` keeps the folder and the
// mask (the file-name pattern) is returned. Null, with `path` unchanged, when it holds no backslash:
// the pattern is skipped.
[[nodiscard]] char* SplitPatternPath(char* path);

// True for a mask that names files in its folder only: not empty, not "." or "..", and without a
// colon or a slash, which would make the platform list another folder than the one cleaned.
[[nodiscard]] bool IsPlainFileMask(const char* mask);

// True for a shortcut file name that is a name only: not empty, not only dots and blanks (which the
// platform trims to the folder itself or its parent), and without a backslash, slash or colon, with
// which the name would reach another folder, a drive's current folder or a stream.
[[nodiscard]] bool IsPlainShortcutName(const char* name);

// A shortcut file's path: `folder`, AppendBackslash (nothing for an empty folder), `name`.
[[nodiscard]] bool BuildShortcutPath(const char* folder, const char* name, char* out, size_t size);

// Cuts `path` at its last backslash, which goes too ("C:\Menu" gives "C:"). False, with the path
// unchanged, when it holds none. The climbs of the shortcut-folder and program-folder passes.
[[nodiscard]] bool RemoveLastComponent(char* path);

// One step up the shortcut-folder climb: `folder` and, when not empty, `secondFolder` each lose their
// last component. False ends the climb: one of them held no backslash (then `folder` may already have
// been cut).
[[nodiscard]] bool ClimbShortcutStep(char* folder, char* secondFolder);

enum class RegistryEntryKind : uint8_t {
    kSkipped,  // the path is empty, or the whole "Software" or "System" key: never removed
    kValue,    // one value: the key before a doubled backslash, the value name after the last one
    kKey,      // the key with all its subkeys
};

struct RegistryPathSplit {
    RegistryEntryKind kind;
    size_t keyLength;       // the key's length at the start of the path (the whole path for a key)
    const char* valueName;  // inside the path, for a value entry (empty: the default value); else null
};

// Classifies a registry entry's key path as the registry pass does: a value entry when its last
// backslash is not its first character and follows another backslash.
[[nodiscard]] RegistryPathSplit SplitRegistryPath(const char* path);

// True for the predefined roots a registry entry may name: HKEY_CLASSES_ROOT, _CURRENT_USER,
// _LOCAL_MACHINE, _USERS and _CURRENT_CONFIG, and HKEY_DYN_DATA on the 9x family only.
[[nodiscard]] bool IsPredefinedRoot(uint32_t root, bool nt);

// True for "X:\..." and "\\server\share...": a relative path would be taken from whatever the
// current directory is.
[[nodiscard]] bool IsAbsolutePath(const char* path);

// True for a program path that can be started as written: absolute (IsAbsolutePath) and without a
// colon past the drive's, which would name a stream or nothing. A relative one ("tool.exe",
// "\tool.exe", "C:tool.exe") would be taken from wherever the current directory is, or searched for.
[[nodiscard]] bool IsAbsoluteProgramPath(const char* program);
// True for a folder the folder passes (folder entries, patterns, every climb) refuse as a network
// spelling: "\\?\..." and "\\.\..." always, and "\\server\share\..." unless `installFolder` lives on
// that same share ("\\127.0.0.1\share\..." may be any local folder, past the protected test). "/"
// counts as a backslash. Single files are not judged by it.
[[nodiscard]] bool IsRefusedNetworkFolder(const char* installFolder, const char* path);

// Where the run-first command's text begins: after one leading double quote and the blanks after it.
[[nodiscard]] const char* SkipRunFirstLead(const char* command);

// The run-first command taken relative to the install folder (a command that does not start with a
// token that expands): a double quote when the command began with one, the install folder,
// AppendBackslash, and the command from SkipRunFirstLead on.
[[nodiscard]] bool BuildRunFirstFolderCommand(const char* installFolder, const char* command, char* out,
                                              size_t size);
