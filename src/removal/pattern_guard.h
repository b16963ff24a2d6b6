// Folders of the system's own trees, where a clean-up pattern must not delete: the wildcard pass asks
// before it cleans a pattern's folder, and the packer's `check` asks to report the pattern. One list
// for both. Portable: plain char buffers, no allocation, no platform calls.
#pragma once

#include <stddef.h>

// Room for a folder as the guard reads it: a path buffer's worth of text after token expansion, with
// slack for the unexpanded token form.
inline constexpr size_t kPatternGuardPathSize = 520;

// True when the wildcard pass must not clean `folder` (a pattern's folder: its text before the
// backslash of the mask) or anything below it.
// - `folder` may be written with its folder token, as stored ("#System#\drivers"), or expanded and
//   absolute ("C:\Windows\System32\drivers", "\\server\ADMIN$\System32"). Call it with both: the
//   token form is judged on any machine, the expanded form catches folders written out literally.
//   Pass the long-name form; 8.3 names ("PROGRA~1") are not expanded here.
// - The folder is read as Windows reads a path: "/" is a separator, runs of separators are one,
//   "." components go, ".." takes the previous one, and trailing dots and spaces of a component are
//   dropped. ASCII letters compare without case.
// - Refused: the System folder's tree (#System#, #System64#, <Windows>\System32, \System, \SysWOW64,
//   \Sysnative and all below), the Windows folder's tree (#Windows#, X:\Windows, X:\WINNT,
//   \\server\ADMIN$), the Program Files folder itself (#Program Files#, #ProgramFiles64#) and the
//   folders of Windows in it (Common Files, Windows NT, Internet Explorer, Windows Defender,
//   WindowsApps, ...), in the Common Files folder (#CommonFiles#, #CommonFiles64#) the folder itself and its
//   System, Microsoft Shared, Services and SpeechEngines trees, a drive's root and its system folders (System
//   Volume Information, $Recycle.Bin, Boot, Recovery, ProgramData\Microsoft), administrative shares
//   (\\server\C$, any share ending in "$").
// - Also refused, as a folder the guard cannot judge: a "\\?\" or "\\.\" path, a ".." that climbs
//   above the folder's root, and a folder longer than kPatternGuardPathSize bytes.
// - Not judged here (false): folders relative to the install folder and the other tokens' folders
//   (#AppData#, #TempDir#, ...) below their roots; the caller composes and checks those.
[[nodiscard]] bool IsRefusedPatternFolder(const char* folder);
