// Registry keys whose deletion breaks the machine: the registry pass asks before it deletes a key
// entry, and the packer's `check` asks to report the entry. One list for both, so what the packer
// accepts is what the uninstaller deletes. Portable: plain char buffers, no allocation, no platform
// calls.
#pragma once

#include <stddef.h>
#include <stdint.h>

#include "format/layout.h"

// Room for a key path as the guard compares it: the registry entry's limit (519 bytes and the NUL).
inline constexpr size_t kRegistryGuardPathSize = 520;

// The key path as the guard compares it: runs of backslashes become one, leading and trailing
// backslashes go. Returns false, leaving `out` unspecified, when it does not fit `size` bytes. The
// registry pass deletes this form, the one it tested.
[[nodiscard]] bool NormalizeRegistryKeyPath(const char* keyPath, char* out, size_t size);

// True when the key entry `keyPath` under `root` must not be deleted with its subkeys.
// - `keyPath` is a key entry's whole path, in the installation's code page. Call it only for key
//   entries: value entries (a doubled last backslash) delete one value and are not judged here.
// - The path is compared normalised (NormalizeRegistryKeyPath), ASCII letters without case: the
//   spellings "Software\", "\Software", "SOFTWARE\\Microsoft" are the keys they name.
// - Refused: the root itself (an empty path); a root the pass must not touch (HKPD, or any value that
//   is no predefined root); a path that does not fit kRegistryGuardPathSize bytes; and the listed
//   keys of Windows and of every program: Software and System, the top-level keys of HKLM, HKU and
//   HKCU, Software\Microsoft, Software\Classes, Software\Policies, Software\Wow6432Node and keys of
//   Windows below them, System\CurrentControlSet and System\ControlSetNNN with their containers
//   (Services, Control, Enum, ...), and the classes every file type and COM object shares (CLSID,
//   Interface, TypeLib, AppID, *, Folder, Directory, Drive, AllFilesystemObjects, the program types
//   such as exefile and .exe), whether written under HKCR, Software\Classes of HKLM or HKCU, a
//   Wow6432Node view, or a user of HKU (SID\Software\..., SID_Classes\...).
// - Only the listed keys themselves are refused: keys below them (Software\Classes\.myext,
//   System\CurrentControlSet\Services\MyDriver, the Uninstall key's MyApp) stay removable.
[[nodiscard]] bool IsRefusedRegistryKey(uint32_t root, const char* keyPath);
