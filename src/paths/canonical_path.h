// The one canonical spelling of a folder path, so that the protected-folder test and the removal that
// follows it see the same folder the file system will act on.
#pragma once

// Writes the canonical form of the folder `path` into `canonical` (kPathBufferSize bytes): an absolute
// path ("X:\..." or "\\server\share\...") with backslashes only, "." and ".." resolved, doubled
// separators collapsed, trailing dots and spaces trimmed as the platform trims them, short (8.3) names
// ("PROGRA~1") replaced by long ones, and no trailing backslash except on a drive root. False, with
// `canonical` empty, when the path has no such form: it is relative or drive-relative, names a device
// or uses the "\\?\" or "\\.\" namespaces, holds wildcards, quotes, pipes or a stream colon, a
// platform service fails, or a result does not fit the buffer (a result is never cut).
[[nodiscard]] bool CanonicalizeFolderPath(const char* path, char* canonical);

// Replaces each component of the absolute `path` (kPathBufferSize bytes) by the name the file system
// lists for it, which is its long name. Components from the first one that does not exist on are kept
// as written. False, with `path` unchanged, when a listing fails otherwise or the result does not fit.
// Stands in for GetLongPathNameA where the platform lacks it (95, NT 4).
[[nodiscard]] bool ExpandShortNames(char* path);

enum class FinalPathResult {
    kNone,        // no final path to compare: the platform lacks the service or the folder cannot be opened
    kFound,       // `final` holds the folder's final path, in the canonical form
    kUnreadable,  // the folder opened but its final path could not be read whole
};

// The path the file system finally reaches for the existing folder `canonical` after following
// junctions and symbolic links (Vista and later), without the "\\?\" prefix and trailing backslash.
FinalPathResult ReadFinalFolderPath(const char* canonical, char* final);

// ReadFinalFolderPath for an object this process holds open: what the handle reaches, whatever has
// happened to its path since it was opened. kNone where the platform has no final paths.
FinalPathResult ReadFinalPathOfHandle(void* object, char* final);

// True for a drive root "X:\", a share root "\\server\share", and any path on an administrative share
// ("\\server\C$\...") that reaches a whole drive.
bool IsRootOrAdministrativeShare(const char* canonical);
