#include "removal/restart.h"

#include <windows.h>

#include "common/backslash.h"
#include "common/handles_win.h"
#include "common/memory.h"
#include "common/text.h"
#include "removal/log_words.h"
#include "run/run_state.h"

namespace {

// Adds "NUL=<short path of path>" to the [rename] section of WININIT.INI in the Windows folder, which
// the 9x family acts on at its next start. The section is read and written whole: one key per line,
// so a file scheduled before by another program keeps its line.
bool AddWininitDeletion(const char* path) {
    char ini[kPathBufferSize];
    char shortPath[kPathBufferSize];
    UINT n = GetWindowsDirectoryA(ini, sizeof ini);
    DWORD length = GetShortPathNameA(path, shortPath, sizeof shortPath);
    if (n == 0 || n >= sizeof ini || !AppendBackslash(ini, sizeof ini) || !AppendText(ini, "WININIT.INI") ||
        length == 0 || length >= sizeof shortPath) {
        return false;
    }
    constexpr DWORD kSectionSize = 32768;  // the most the 9x family reads of a section
    UniqueBlock<char> section;
    if (!AllocZeroed(kSectionSize, section)) return false;
    const char* name = "rename";  // one address for both calls
    DWORD used = GetPrivateProfileSectionA(name, section.get(), kSectionSize, ini);
    // A section the buffer cannot hold whole would lose its end when written back.
    if (used + sizeof "NUL=" + length + 1 >= kSectionSize - 2) return false;
    char* line = section.get() + used;
    // "NUL=" and the path, followed by the block's zeros (written a byte at a time: a literal costs
    // the stub a relocation).
    line[0] = 'N';
    line[1] = 'U';
    line[2] = 'L';
    line[3] = '=';
    (void)CopyText(line + 4, kSectionSize - used - 4, shortPath);
    return WritePrivateProfileSectionA(name, section.get(), ini) != FALSE;
}

// Schedules `path` and remembers it (when it still fits) for the folders that hold it.
bool Schedule(RunState& run, const char* path) {
    if (run.platform.nt ? !MoveFileExA(path, nullptr, MOVEFILE_DELAY_UNTIL_REBOOT)
                        : !AddWininitDeletion(path))
        return false;
    if (!run.restart && !AllocZeroed(sizeof(RestartSchedule), run.restart)) return true;
    RestartSchedule& schedule = *run.restart.get();
    if (CopyText(schedule.paths + schedule.used, sizeof schedule.paths - schedule.used, path))
        schedule.used += static_cast<uint32_t>(TextLength(path)) + 1;
    return true;
}

bool IsScheduled(const RunState& run, const char* path) {
    if (!run.restart) return false;
    const RestartSchedule& schedule = *run.restart.get();
    for (const char* p = schedule.paths; p < schedule.paths + schedule.used; p += TextLength(p) + 1) {
        if (TextEqualsNoCase(p, path)) return true;
    }
    return false;
}

// True when everything the folder `canonical` holds is scheduled already: the folder then goes at the
// restart after them. One that also holds anything else would stay, and is not said to go.
bool HoldsOnlyScheduled(const RunState& run, const char* canonical) {
    char path[kPathBufferSize];
    if (!JoinPath(path, sizeof path, canonical, "*")) return false;
    char* name = path + TextLength(path) - 1;
    WIN32_FIND_DATAA found;
    UniqueFindHandle search(FindFirstFileA(path, &found));
    if (!search) return false;
    do {
        const char* n = found.cFileName;
        if (n[0] == '.' && (n[1] == '\0' || (n[1] == '.' && n[2] == '\0'))) continue;
        *name = '\0';
        if (!AppendText(path, sizeof path, n) || !IsScheduled(run, path)) return false;
    } while (FindNextFileA(search.get(), &found));
    return true;
}

}  // namespace

uint32_t DeleteAtRestartIfInUse(RunState& run, const char* path, uint32_t outcome) {
    bool inUse = outcome == ERROR_SHARING_VIOLATION || outcome == ERROR_LOCK_VIOLATION ||
                 outcome == ERROR_ACCESS_DENIED;
    return inUse && run.modes.quiet && Schedule(run, path) ? kOutcomeAtRestart : outcome;
}

uint32_t RemoveFolderAtRestartIfHolding(RunState& run, const char* canonical, uint32_t outcome) {
    if (outcome != ERROR_DIR_NOT_EMPTY || !run.platform.nt) return outcome;
    // Already scheduled by an earlier entry's climb through it.
    if (IsScheduled(run, canonical)) return kOutcomeAtRestart;
    return HoldsOnlyScheduled(run, canonical) && Schedule(run, canonical) ? kOutcomeAtRestart : outcome;
}
