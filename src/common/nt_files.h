// Removal through handles (NT family): a folder is opened once and judged through its handle, its
// children are opened relative to that handle (never by a path composed again), judged through their
// own handle, and deleted through it. Nothing between the judgement and the deletion resolves a name,
// so a folder renamed and replaced by a link meanwhile cannot redirect the deletion.
//
// The native calls (NtCreateFile, NtQueryObject, NtSetInformationFile, RtlNtStatusToDosError, NtDeleteKey)
// are looked up in ntdll at run time: the image must still load on the 9x family, which has none of them and
// keeps deleting by path.
#pragma once

#include <windows.h>

#include <stdint.h>

// Room for an object name, in UTF-16 units: a path buffer's worth of characters and a device prefix.
inline constexpr uint32_t kObjectNameSize = 800;

// True when the native calls are there (looked up on the first call, once per process).
[[nodiscard]] bool HaveNtFileCalls();

// A folder opened by this process and the object name the platform gave its handle when it was
// judged. The children of a held folder are named from that: one that is reached another way (a
// link on the way, or the folder renamed since) reports another name and is refused.
struct HeldFolder {
    HANDLE handle;
    uint32_t nameLength;  // in UTF-16 units, without a trailing backslash
    wchar_t name[kObjectNameSize];
};

// Opens the folder `path` for listing, traversal, attributes and `extraAccess` (DELETE to remove it),
// every sharing allowed: a junction or link at its last name is opened itself, never followed, unless
// `followLink` (a root, which may be reached through one). INVALID_HANDLE_VALUE when it cannot be
// opened (GetLastError says why).
[[nodiscard]] HANDLE OpenFolder(const char* path, DWORD extraAccess, bool followLink);

// True when the open object is a reparse point (a junction, a symbolic link, a mount point), or when
// its attributes cannot be read.
[[nodiscard]] bool IsReparsePointHandle(HANDLE object);

// Reads the object name of `folder` into `held` and takes the handle over (closed by ReleaseFolder).
// False (the handle closed) when the name cannot be read.
[[nodiscard]] bool HoldFolder(HANDLE folder, HeldFolder& held);

// Closes the held folder's handle; the object may be held again.
void ReleaseFolder(HeldFolder& held);

// The outcome of a relative open: 0 and the handle, or the platform's error (2 for a missing name).
struct ChildOpen {
    HANDLE handle;  // INVALID_HANDLE_VALUE when the open failed
    DWORD error;
};

enum class ChildKind : unsigned char { kFile, kFolder };

// The dispositions of OpenChild: an existing child, or a new one (never an existing one, nor one
// through a link at the name).
inline constexpr ULONG kChildOpen = 1;    // FILE_OPEN
inline constexpr ULONG kChildCreate = 2;  // FILE_CREATE

// Opens the child `name` (one component, in the ANSI code page) of the held folder, relative to its
// handle: a reparse point at the name is opened itself. `share` is the sharing others keep.
[[nodiscard]] ChildOpen OpenChild(const HeldFolder& parent, const char* name, ChildKind kind, DWORD access,
                                  DWORD share, ULONG disposition = kChildOpen);

// True when the open object is the child `name` of `parent` as judged: its object name is the parent's
// followed by `name` (case aside). A file reached through a Unix symbolic link under Wine, or through
// the parent renamed and replaced since it was judged, reports another name.
[[nodiscard]] bool IsChildOf(HANDLE object, const HeldFolder& parent, const char* name);

// True when the object name of `object` is `expected` (`expectedLength` units), case aside.
[[nodiscard]] bool HasObjectName(HANDLE object, const wchar_t* expected, uint32_t expectedLength);

// Marks the open object for deletion as its last handle closes (it must have been opened with
// DELETE access); 0 or the platform's error: 5 for a read-only file, 145 for a folder not empty.
[[nodiscard]] DWORD DeleteThroughHandle(HANDLE object);

// Deletes the open registry key `key` itself (opened with DELETE access; it must have no subkeys),
// whatever name or registry view it was reached by: NtDeleteKey, which every NT version has. 0 or the
// platform's error.
[[nodiscard]] DWORD DeleteKeyThroughHandle(HKEY key);

// Sets or clears the read-only attribute of the open object (opened with FILE_WRITE_ATTRIBUTES),
// keeping its other bits; false when nothing changed. `attributes` is what it has now.
bool SetReadOnlyThroughHandle(HANDLE object, DWORD attributes, bool readOnly);

// The attributes of the open object; INVALID_FILE_ATTRIBUTES when they cannot be read.
[[nodiscard]] DWORD AttributesOfHandle(HANDLE object);
