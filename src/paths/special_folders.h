// The folders the platform names: shell special folders, the setup folders in the registry, the
// Windows, System and temporary folders. Every lookup fills a path buffer of kPathBufferSize bytes
// only when it succeeded and fits; a failed or oversized lookup leaves the buffer as it was.
#pragma once

#include <windows.h>

struct PathState;

// The shell's special folders the uninstaller looks up, by their CSIDL numbers (shlobj.h's CSIDL_*),
// named once for the folder tokens and the protected set.
inline constexpr int kCsidlDesktop = 0;
inline constexpr int kCsidlPrograms = 2;
inline constexpr int kCsidlPersonal = 5;
inline constexpr int kCsidlStartup = 7;
inline constexpr int kCsidlStartMenu = 11;
inline constexpr int kCsidlDesktopDirectory = 16;
inline constexpr int kCsidlFonts = 20;
inline constexpr int kCsidlCommonStartMenu = 22;
inline constexpr int kCsidlCommonPrograms = 23;
inline constexpr int kCsidlCommonStartup = 24;
inline constexpr int kCsidlCommonDesktopDirectory = 25;
inline constexpr int kCsidlAppData = 26;
inline constexpr int kCsidlLocalAppData = 28;
inline constexpr int kCsidlCommonAppData = 35;
inline constexpr int kCsidlProfile = 40;
inline constexpr int kCsidlCommonDocuments = 46;

// Asks the shell for the special folder `csidl` (for the current user, no owner window) and writes its
// file-system path into `path`. True only when a path was obtained.
[[nodiscard]] bool GetSpecialFolder(char* path, int csidl);
// Reads `valueName` of HKLM\Software\Microsoft\Windows\CurrentVersion, any value type, into `path`,
// terminated by us. True when the value was read and is not empty. With `view64` the key is read in
// the 64-bit view of the registry (only ever asked on 64-bit Windows, where the 64-bit programs'
// folders are the values of that view).
[[nodiscard]] bool ReadSetupFolder(const char* valueName, char* path, bool view64);
// The two values every platform has there. Inline variables: one copy of each text in the program,
// whichever files name it.
inline constexpr char kProgramFilesDirValue[] = "ProgramFilesDir";
inline constexpr char kCommonFilesDirValue[] = "CommonFilesDir";
// The 64-bit System folder of 64-bit Windows as a 32-bit program reaches it (the Windows folder's
// "Sysnative": Vista and later, and XP and 2003 x64 with their update).
inline constexpr char kSysnativeName[] = "Sysnative";

// The same two lookups through the path state's replaceable ones.
[[nodiscard]] bool LookUpSpecialFolder(const PathState& paths, char* path, int csidl);
[[nodiscard]] bool LookUpSetupFolder(const PathState& paths, const char* valueName, char* path,
                                     bool view64 = false);

[[nodiscard]] bool GetWindowsFolder(char* path);
[[nodiscard]] bool GetSystemFolder(char* path);
// The temporary folder, as the platform gives it (with its trailing backslash).
[[nodiscard]] bool GetTempFolder(char* path);
// Folders that only some platforms know (looked up at run time): the shared Windows folder of a
// terminal server (2000 and later) and the 32-bit System folder of 64-bit Windows.
[[nodiscard]] bool GetSharedWindowsFolder(char* path);
[[nodiscard]] bool GetWow64SystemFolder(char* path);
