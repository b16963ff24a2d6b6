// Libraries come from the System folder only. The uninstaller runs elevated from the install folder,
// which a standard user can often write to, and the platform searches a program's own folder first
// for a library named without a path: a library planted there under a system name would run with
// administrator rights. So the image imports only libraries the platform always takes from the System
// folder (its known-libraries list), the search is restricted at entry, and every other library is
// loaded by its full System-folder path.
#pragma once

#include <windows.h>

// The address of kernel32's export `name`, or null when this platform's kernel32 lacks it: the calls
// that only later versions have are looked up at run time, so the image still loads on the first.
[[nodiscard]] FARPROC KernelProcAddress(const char* name);

// KernelProcAddress as a pointer to the function type `Fn`.
template <class Fn>
[[nodiscard]] Fn FindKernelExport(const char* name) {
    return reinterpret_cast<Fn>(reinterpret_cast<void*>(KernelProcAddress(name)));
}

// Restricts this process's library search to the System folder (SetDefaultDllDirectories, Windows 8
// and later, 7 and Vista with their update) and takes the current folder out of it (SetDllDirectoryA,
// XP SP1 and later). Both are looked up at run time; on a platform with neither nothing changes.
// Call it first of all, before anything that may load a library.
void RestrictLibrarySearch();

// Loads `name` (a bare file name such as "uxtheme.dll") from the System folder by its full path; the
// libraries it imports are searched in the System folder first as well. Null when the folder cannot
// be had, the path does not fit, or the library is not there; no error box is shown.
[[nodiscard]] HMODULE LoadSystemLibrary(const char* name);

// Loads the library at the full path `path` with its own folder searched for the libraries it
// imports, and otherwise the search set at entry: where the search flags exist, its own folder and the
// System folder only; elsewhere the altered search, its own folder in place of ours. Null when it
// cannot be loaded; the caller chooses the error mode.
[[nodiscard]] HMODULE LoadLibraryWithItsFolder(const char* path);

// Loads `name` as the process's activation context redirects it (the manifest's dependencies, from
// the platform's side-by-side store under the Windows folder: version 6 of the common controls on XP
// and later), else from the System folder as LoadSystemLibrary does. A name the context redirects is
// loaded by that name: the loader answers it from the context before any folder is searched.
[[nodiscard]] HMODULE LoadManifestOrSystemLibrary(const char* name);

// The visual-styles library: preloaded below and loaded by the user interface. An inline variable, so
// the program holds the name once.
inline constexpr char kThemeLibraryName[] = "uxtheme.dll";

// The libraries that system libraries load by name on demand on some Windows version, none of them on
// the known list: kSystemPreloads[i] for i < kSystemPreloadCount.
extern const char* const kSystemPreloads[];
extern const int kSystemPreloadCount;

// Loads each of kSystemPreloads from the System folder, where present, for the rest of the process
// (never freed): a later load by name finds the library already loaded and searches no folder.
void PreloadSystemLibraries();
