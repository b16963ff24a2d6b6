// The folders that must never be removed, entered by a clean-up or climbed past: drive and share
// roots, the Windows and System folders, the shell's desktop, menu, start-up, application-data and
// shared folders (the all-users ones on the NT family only), the program folders named in the
// registry (both halves on 64-bit Windows), and the roots that folder tokens name: the user's profile
// and the profiles root, documents, local application data, the all-users folder and the temporary
// folder. Every spelling of one of them is the same folder: paths are compared in their canonical form
// (paths/canonical_path.h), and also by the final path the file system reaches through links.
#pragma once

struct PathState;

// True when `path` names a protected folder, or when it cannot be brought to a canonical form
// (a path that cannot be checked is never acted on), or when it is shorter than 4 characters.
// The caller's text is not changed: a trailing backslash stays as it was passed.
bool IsProtectedFolder(PathState& paths, const char* path);

// The test and the path to act on, in one step, for every caller that removes or enters a folder:
// writes the canonical form of `path` into `canonical` (kPathBufferSize bytes) and returns true when
// that folder may be removed or worked in. False, with `canonical` empty, when IsProtectedFolder
// would answer true. Callers act on `canonical` only, never on `path`.
[[nodiscard]] bool ResolveRemovableFolder(PathState& paths, const char* path, char* canonical);

// ResolveRemovableFolder without the look at the final path the file system reaches (one open of
// the folder): only for a caller that then acts on the folder only when that final path is the
// canonical path itself, which leaves that look nothing to add. The wildcard walk checks so after
// entering each folder; reading the final path twice cost it a tenth of its time.
[[nodiscard]] bool ResolveRemovableFolderByName(PathState& paths, const char* path, char* canonical);

// The protected folder of the set that the canonical folder `canonical` is, else the nearest one
// strictly above it, else its drive or share root, into `root` (kPathBufferSize bytes, canonical).
// False when no protected set can be had.
[[nodiscard]] bool FindProtectedFolderAbove(PathState& paths, const char* canonical, char* root);
