#include "removal/servers_fonts.h"

#include "common/backslash.h"
#include "common/current_folder.h"
#include "common/handles_win.h"
#include "common/memory.h"
#include "common/scope_exit.h"
#include "common/system_library.h"
#include "common/text.h"
#include "paths/canonical_path.h"
#include "paths/folder_tokens.h"
#include "removal/fault_guard.h"
#include "removal/removal_log.h"
#include "run/run_state.h"
#include "ui/ui.h"

namespace {

constexpr UINT kQuietErrorMode = SEM_FAILCRITICALERRORS | SEM_NOOPENFILEERRORBOX;
constexpr uint32_t kCommandBufferSize = 520;
constexpr DWORD kFontBroadcastTimeoutMs = 5000;
constexpr char kNtFontsKey[] = "Software\\Microsoft\\Windows NT\\CurrentVersion\\Fonts";
constexpr char k9xFontsKey[] = "Software\\Microsoft\\Windows\\CurrentVersion\\Fonts";
constexpr char kTrueTypeSuffix[] = " (TrueType)";

// The tool by its full path in the System folder: by bare name CreateProcessA would look in the
// uninstaller's own folder first, which others may be able to write to.
bool SystemToolPath(const char* name, char* path) {
    char folder[kPathBufferSize];
    UINT n = GetSystemDirectoryA(folder, kPathBufferSize);
    if (n == 0 || n >= kPathBufferSize) return false;
    return JoinPath(path, kPathBufferSize, folder, name);
}

// Runs "regsvr32 /u /s "<path>"" and waits for it, keeping its exit code for the log; false when it
// could not be started.
bool UnregisterWithTool(RunState& run, const char* path) {
    char tool[kPathBufferSize];
    if (!SystemToolPath("regsvr32.exe", tool)) return false;
    UniqueBlock<char> command;
    if (!AllocZeroed(kCommandBufferSize, command)) return false;
    if (!AppendText(command.get(), kCommandBufferSize, "regsvr32 /u /s \"") ||
        !AppendText(command.get(), kCommandBufferSize, path) ||
        !AppendText(command.get(), kCommandBufferSize, "\"")) {
        return false;
    }
    STARTUPINFOA startup = {};
    startup.cb = sizeof(startup);
    PROCESS_INFORMATION started = {};
    // Inheriting hands on only handles marked inheritable, and this process opens none so (no call
    // passes security attributes): the tool gets no handle of the uninstaller's files or keys.
    if (!CreateProcessA(tool, command.get(), nullptr, nullptr, TRUE, NORMAL_PRIORITY_CLASS, nullptr, nullptr,
                        &startup, &started)) {
        return false;
    }
    UniqueProcessInfo process;
    process.Take(started);
    WaitForChild(process.process.get());
    if (run.log) NoteExitCode(*run.log.get(), process.process.get());
    return true;
}

// Loads the server with its own folder as the current directory and calls its DllUnregisterServer
// under the fault guard. The directory and error mode come back. Returns what came of it for the log:
// 0 when the call returned, else the platform's error.
uint32_t UnregisterInProcess(const char* path) {
    UINT outerMode = SetErrorMode(kQuietErrorMode);
    ScopeExit restoreMode([&] { SetErrorMode(outerMode); });

    SavedCurrentFolder savedFolder;
    char folder[kPathBufferSize];
    if (CopyText(folder, path) && CutAtLastBackslash(folder)) SetCurrentDirectoryA(folder);

    // The search set restricted at entry leaves out the server's own folder, where its own libraries
    // sit: that folder is added for its imports, nothing else.
    UniqueLibrary library(LoadLibraryWithItsFolder(path));
    if (!library) return GetLastError();
    auto unregister = reinterpret_cast<GuardedFunction>(
        reinterpret_cast<void*>(GetProcAddress(library.get(), "DllUnregisterServer")));
    // What the call did, or whether it faulted, changes nothing here but the log: the file goes next.
    if (!unregister) return ERROR_PROC_NOT_FOUND;
    return CallWithFaultGuard(unregister) ? 0 : ERROR_NOACCESS;  // it faulted
}

// Writes the canonical spelling of the file path `path`: its folder canonical, its name as it stands.
bool CanonicalFilePath(const char* path, char* canonical) {
    char folder[kPathBufferSize];
    const char* name = FindLastBackslash(path);
    if (!name || !CopyText(folder, path) || !CutAtLastBackslash(folder)) return false;
    char canonicalFolder[kPathBufferSize];
    char joined[kPathBufferSize];
    return CanonicalizeFolderPath(folder, canonicalFolder) &&
           JoinPath(joined, kPathBufferSize, canonicalFolder, name + 1) &&
           CopyText(canonical, kPathBufferSize, joined);
}

// True when the font file `canonical` lies directly in the Fonts folder: the "#Fonts#" token's folder
// (the shell's, else the Windows folder's Fonts). A token that stays unresolved has no canonical form.
bool IsInFontsFolder(const RunState& run, const char* canonical) {
    char fonts[kPathBufferSize];
    (void)CopyText(fonts, "#Fonts#");
    ResolveFolderToken(run.paths, fonts);
    char canonicalFonts[kPathBufferSize];
    char folder[kPathBufferSize];
    return CanonicalizeFolderPath(fonts, canonicalFonts) && CopyText(folder, canonical) &&
           CutAtLastBackslash(folder) && TextEqualsNoCase(folder, canonicalFonts);
}

// True when the installed-fonts value's data names the font file `path`. A bare file name names a
// file in the Fonts folder (fonts there are registered so), so it is the listed file's only when that
// file lies in the Fonts folder: an application's private copy of "tahoma.ttf" leaves the system's
// value alone. A full path names the listed file only when both spell the same file canonically.
bool FontValueNamesFile(const RunState& run, HKEY key, const char* valueName, const char* path) {
    char data[kPathBufferSize];
    DWORD type = 0;
    DWORD size = sizeof(data) - 1;
    if (RegQueryValueExA(key, valueName, nullptr, &type, reinterpret_cast<BYTE*>(data), &size) !=
        ERROR_SUCCESS) {
        return false;
    }
    if (type != REG_SZ && type != REG_EXPAND_SZ) return false;
    data[size < sizeof(data) ? size : sizeof(data) - 1] = '\0';
    char listed[kPathBufferSize];
    if (!CanonicalFilePath(path, listed)) return false;
    if (!FindLastBackslash(data)) {
        const char* fileName = FindLastBackslash(listed);
        return data[0] != '\0' && TextEqualsNoCase(data, fileName + 1) && IsInFontsFolder(run, listed);
    }
    char named[kPathBufferSize];
    return CanonicalFilePath(data, named) && TextEqualsNoCase(named, listed);
}

}  // namespace

void UnregisterServer(RunState& run) {
    const char* path = run.currentItem;
    // No "insert a disk" or "cannot find" boxes while a server or its libraries are looked for.
    UINT previousMode = SetErrorMode(kQuietErrorMode);
    ScopeExit restoreMode([&] { SetErrorMode(previousMode); });
    // NT 6 and later: the system's tool, so the library is never loaded into the uninstaller. Only
    // a tool that could not be started leads to the call in this process.
    uint32_t outcome = OutcomeOfWord(LogWord::kExitCode);
    if (!run.platform.nt6OrLater || !UnregisterWithTool(run, path)) outcome = UnregisterInProcess(path);
    if (run.log) LogItem(*run.log.get(), LogWord::kUnregister, path, outcome);
}

void RemoveFont(RunState& run, const char* path) {
    char name[kFontNameBufferSize];
    ReadFontFullName(path, name);
    uint32_t removed = RemoveFontResourceA(path) ? 0 : ERROR_FILE_NOT_FOUND;
    if (run.log) LogItem(*run.log.get(), LogWord::kRemoveFont, path, removed);
    // The name is never cut (the reader gives none that would not fit), so it cannot turn into
    // another font's value.
    if (name[0] != '\0' && AppendText(name, kTrueTypeSuffix)) {
        UniqueRegistryKey key;
        if (RegOpenKeyExA(HKEY_LOCAL_MACHINE, run.platform.nt ? kNtFontsKey : k9xFontsKey, 0,
                          KEY_QUERY_VALUE | KEY_SET_VALUE, key.put()) == ERROR_SUCCESS &&
            FontValueNamesFile(run, key.get(), name, path)) {
            LONG deleted = RegDeleteValueA(key.get(), name);
            if (run.log)
                LogItem(*run.log.get(), LogWord::kDeleteFontValue, name, static_cast<uint32_t>(deleted));
        }
    }
    // With a time limit: a plain SendMessage to every top-level window waits for ever on a hung one.
    DWORD_PTR ignored = 0;
    SendMessageTimeoutA(HWND_BROADCAST, WM_FONTCHANGE, 0, 0, SMTO_ABORTIFHUNG, kFontBroadcastTimeoutMs,
                        &ignored);
}
