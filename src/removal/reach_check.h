// Junctions, symbolic links and mount points planted inside an installation, and network spellings of
// local folders. The uninstaller usually runs elevated over folders an ordinary user may write: a link
// put in place of `.\Bin` would make it delete whatever the link leads to. One rule for every pass:
// a folder is acted on only when the file system finally reaches it as its root's final path plus the
// rest of the path as composed. A link above the root (an installation reached through a junction, a
// subst or mapped drive) is allowed; one below it is not.
//
// The root of a folder: the token's folder when the caller names one and the folder lies below it;
// else the install folder when the folder lies below it; else the protected folder it is or the
// nearest one above it (those are made by the system, a link below one is not), else its drive or
// share root. Only files are acted on in a protected folder itself.
#pragma once

#include <windows.h>

#include <stdint.h>

struct RunState;
struct HeldFolder;

enum class NetworkUse : unsigned char {
    kAllowed,  // a single file: "\\server\share\..." keeps the rules every other file has
    kRefused,  // a folder to clean, remove or climb: only below the share the installation lives on
};

// The 9x family, which has no links: true when the canonical folder `canonical` has a root under the
// rule above and, with NetworkUse::kRefused, is no refused network spelling. `final` is emptied.
[[nodiscard]] bool IsFolderReachedFromRoot(RunState& run, const char* canonical, const char* tokenRoot,
                                           NetworkUse network, char* final);

// The rule above on the NT family, judged through a handle: opens the folder `canonical` itself
// (common/nt_files.h, with `extraAccess`: DELETE to remove it; a root is opened through a link at its
// name), refuses it when that handle reaches a reparse point, and compares the final path read through
// the handle with the root's final path (each root's is looked up once per run) plus the rest of
// `canonical`. Before Vista, where there are no final paths, the folders between the root and
// `canonical` must be no reparse point (looked at by their paths: the window that remains there). On success
// `held` owns the handle (ReleaseFolder closes it) and the caller acts through it alone; false leaves nothing
// open.
[[nodiscard]] bool HoldFolderReachedFromRoot(RunState& run, const char* canonical, const char* tokenRoot,
                                             NetworkUse network, DWORD extraAccess, HeldFolder& held,
                                             char* final);

// Removes the folder `canonical` (ResolveRemovableFolder's result) when it is reached from its root
// (NetworkUse::kRefused): on the NT family it is opened once, judged through that handle and removed
// through it, so nothing put at its path after the judgement is removed instead. 0 when it went, the
// platform's error (145 for a folder that is not empty), or kOutcomeRefusedByLinkCheck
// (removal/removal_log.h) when the judgement refused it, a missing folder included.
[[nodiscard]] uint32_t RemoveFolderReached(RunState& run, const char* canonical, const char* tokenRoot);

// The root an entry's folder is checked from when it begins with a folder token: the token's folder,
// as the entry's path builder has just resolved it (EntryTokens, paths/folder_tokens.h); null for a
// folder that begins with none.
[[nodiscard]] const char* EntryTokenRoot(const RunState& run, const char* storedFolder);
