// How the uninstaller's passes build their paths, for the packer's `plan` and `check`: std::string
// wrappers around the uninstaller's own builders (removal/entry_paths.h), so the two cannot drift;
// and the packer's own judgements (folders every installation shares, tokens it knows). Pure string
// functions: no file system, no registry, nothing machine-dependent (folder tokens stay as written;
// TypicalTokenFolder says what one stands for on a typical machine).
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "common/text.h"
#include "removal/entry_paths.h"

namespace pack {

// A path holds at most 259 characters; the uninstaller skips an item whose path does not fit.
inline constexpr size_t kPathLimit = kPathBufferSize - 1;
// True when the uninstaller's path buffer holds `path` with its terminator.
bool FitsPathBuffer(const std::string& path);

// True for a "\\?\" (verbatim) or "\\.\" (device) path: the uninstaller hands neither to its
// checks, and the plan and check cannot judge one either.
bool IsVerbatimOrDevicePath(const std::string& path);

// Where the install folder is not known, paths show it as this token, with its backslash.
inline constexpr const char* kUnknownInstallDir = "#InstallDir#\\";

// The install folder as the uninstaller keeps it: with exactly one trailing backslash.
std::string NormalizeInstallDir(const std::string& dir);

// Adds one backslash unless the text is empty or already ends with one.
void AppendBackslash(std::string& path);
// Removes a final backslash from a text longer than 3 characters, so "C:\" keeps it.
void StripTrailingBackslash(std::string& path);

// The packer's resolver of the folder token that begins an entry's folder (removal/entry_paths.h):
// a known token stays as written, so that plans and checks show it, and #InstallDir# becomes the
// install folder `*installDir` (as the uninstaller keeps it, with its backslash) without its
// backslash; an unknown token does not resolve. `installDir` must outlive the resolver.
FolderTokenResolver ShownTokenResolver(const std::string* installDir);

// The folder token that an entry's folder begins with ("#AppData#" of "#AppData#\Vendor"), as
// written, known or not; nothing when the folder begins with none (LeadingTokenLength).
std::optional<std::string> LeadingToken(const std::string& folder);
// Every folder token the uninstaller knows, for messages: "#Windows#, #System#, ...".
std::string KnownTokenList();
// What a known token stands for on a typical machine of the family (`nt`: Windows 10 on 64 bits, as
// the 32-bit uninstaller sees it, for a user named "<user>", #System64# through Sysnative; else
// Windows 98 in C:\WINDOWS). Empty
// for #InstallDir# and unknown tokens.
std::string TypicalTokenFolder(const std::string& token, bool nt);
// `path` with the token it begins with replaced by TypicalTokenFolder; `path` itself when it begins
// with no such token.
std::string TypicalPath(const std::string& path, bool nt);
// For a path that begins with a 64-bit folder token (#ProgramFiles64#, #CommonFiles64#, #System64#):
// the path on a typical 32-bit NT machine, where those tokens name the ordinary folders; else empty.
std::string Typical32BitWindowsPath(const std::string& path);

// The wrappers below build whole paths however long (FitsPathBuffer tells whether the uninstaller
// would take them); see removal/entry_paths.h for each rule. A folder token that begins an entry's
// folder resolves as ShownTokenResolver says: the result keeps it as written, and an entry whose
// token is unknown gives the empty string (the uninstaller skips it).

// A stored folder (file entry, shortcut, second folder) as the passes use it.
std::string BuildEntryFolder(const std::string& installDir, const std::string& folder);

// A file entry's full path as the file pass and the in-use check build it: a folder beginning
// with "." starts at the install folder (only ".\Sub" appends Sub); the name follows a backslash.
std::string BuildEntryPath(const std::string& installDir, const std::string& folder, const std::string& name);

// The folder the program-folder pass climbs from for a file entry, or nothing when the path holds
// no backslash (the entry only advances the progress) or its token is unknown.
std::optional<std::string> BuildProgramFolder(const std::string& installDir, const std::string& folder,
                                              const std::string& name);

// A clean-up pattern: its full path (tokens left as written), the folder and the mask.
struct PatternPath {
    std::string full;
    std::string folder;
    std::string mask;
    bool hasTokens = false;
    bool split = false;  // false: no backslash, the pass skips the pattern
};
PatternPath PlanPatternPath(const std::string& installDir, const std::string& pattern);
// A mask the wildcard pass takes: not empty, ".", "..", and without ':' or '/'.
bool IsPlainFileMask(const std::string& mask);

// A shortcut file name the shortcut-file pass takes: a name only, no path (see IsPlainShortcutName).
bool IsPlainShortcutName(const std::string& name);

// A shortcut file's path: its folder, a backslash and its name.
std::string BuildShortcutPath(const std::string& folder, const std::string& name);

// The folders the shortcut-folder pass tries for one entry, step by step: the folder (and second
// folder) themselves, then up to `levels` parents, until a path holds no backslash.
struct ClimbStep {
    std::string folder;
    std::string secondFolder;  // empty when the entry has none
};
std::vector<ClimbStep> ShortcutClimb(uint32_t levels, const std::string& folder,
                                     const std::string& secondFolder);

// The folder cut at its last backslash, or nothing when it holds none.
std::optional<std::string> ParentFolder(const std::string& folder);

// True when the path is absolute ("X:\..." or "\\server\share\..."): relative paths would be taken
// from whatever the current directory is.
bool IsAbsolutePath(const std::string& path);

// A folder every installation shares, recognised by the name it has on an English system (the
// Programs menu, the desktop, the Windows folder, ...); the uninstaller never removes these. Returns
// its description, or nothing.
std::optional<std::string> SharedFolderName(const std::string& path);

// SharedFolderName for a path that is not inside the install folder (`installDir` with its
// backslash): a program's own subfolders are never taken for shared ones, whatever their names.
std::optional<std::string> SharedFolderOutside(const std::string& path, const std::string& installDir);

// When `folder` (a pattern's folder, tokens as written) is a folder token's own folder, which the
// uninstaller protects ("#Desktop#", "#AppData#\", "#System#\."), that token; otherwise nothing.
// #InstallDir# is no such token, nor the all users' desktop, menus and startup folder on the 9x
// family (`nt` false).
std::optional<std::string> ProtectedTokenFolder(const std::string& folder, bool nt);

// Folder tokens, as the uninstaller expands them in patterns and the run-first command.
bool IsKnownToken(const std::string& token);  // "#Windows#" ... "#InstallDir#", letter case ignored
// Every "#...#" token of a text, in order; `unclosed` is set when a lone "#" is left at the end.
std::vector<std::string> TokensOf(const std::string& text, bool* unclosed = nullptr);

// Registry entries, classified as the registry pass does.
using ::RegistryEntryKind;
struct RegistryPathParts {
    RegistryEntryKind kind;
    std::string key;    // the key (a skipped entry's whole path)
    std::string value;  // the value name of a value entry; empty for the default value
};
RegistryPathParts SplitRegistryPath(const std::string& path);
// A root the registry pass acts under (removal/entry_paths.h).
bool IsPredefinedRoot(uint32_t root, bool nt);
// The stored form of a value entry: the key, a doubled backslash, the value name.
std::string ComposeValuePath(const std::string& key, const std::string& value);

// The run-first command as the driver composes it: the program and its arguments.
struct RunFirstCommand {
    bool tokenForm = false;  // the command starts with a folder token and is expanded, not rooted
    std::string composed;    // the composed text before it is split
    std::string program;
    std::string arguments;
    // The program is a whole path the uninstaller starts (IsAbsoluteProgramPath); in the token form,
    // with every known token taken for the absolute folder it expands to.
    bool absolute = false;
};
RunFirstCommand ComposeRunFirst(const std::string& installDir, const std::string& command);

// ASCII-only case-insensitive comparison, as every path comparison of the uninstaller.
bool EqualsNoCase(const std::string& a, const std::string& b);

}  // namespace pack
