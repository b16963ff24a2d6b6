#include "removal/reach_check.h"

#include <windows.h>

#include "common/backslash.h"
#include "common/handles_win.h"
#include "common/memory.h"
#include "common/nt_files.h"
#include "common/text.h"
#include "paths/canonical_path.h"
#include "paths/protected_folders.h"
#include "paths/special_folders.h"
#include "removal/entry_paths.h"
#include "removal/removal_log.h"
#include "removal/restart.h"
#include "run/run_state.h"

// The roots seen in this run with their final paths, and the last folder judged. Roots and their
// final paths do not change while the uninstaller runs; looking them up costs an open each.
struct ReachCache {
    static constexpr uint32_t kRootCapacity = 16;
    struct Root {
        char canonical[kPathBufferSize];
        char final[kPathBufferSize];
        FinalPathResult result;
    };
    uint32_t rootCount;
    Root roots[kRootCapacity];
    bool installKnown;
    char install[kPathBufferSize];  // the install folder's canonical form; empty when it has none
};

namespace {

// True when the canonical `folder` is `root` or lies below it.
bool IsAtOrBelow(const char* folder, const char* root) {
    size_t n = TextLength(root);
    if (n == 0 || !StartsWithNoCase(folder, root)) return false;
    // "C:\" ends with its separator; "C:\App" needs one after it ("C:\Apple" is not below it).
    return folder[n] == '\0' || folder[n] == '\\' || root[n - 1] == '\\';
}

ReachCache* GetCache(RunState& run) {
    if (!run.reachCache && !AllocZeroed(sizeof(ReachCache), run.reachCache)) return nullptr;
    ReachCache* cache = run.reachCache.get();
    if (!cache->installKnown) {
        cache->installKnown = true;
        if (!CanonicalizeFolderPath(run.installFolder, cache->install)) cache->install[0] = '\0';
    }
    return cache;
}

// The root's final path, looked up once per run (a run meets a handful of roots; past the table's
// room the last slot is looked up again each time); null when it cannot be read.
const char* FindRootFinal(ReachCache& cache, const char* root) {
    uint32_t i = 0;
    for (; i < cache.rootCount; ++i) {
        if (TextEqualsNoCase(cache.roots[i].canonical, root)) break;
    }
    if (i == cache.rootCount) {
        if (i == ReachCache::kRootCapacity) --i;
        ReachCache::Root& slot = cache.roots[i];
        (void)CopyText(slot.canonical, root);  // both are path buffers
        slot.result = ReadFinalFolderPath(root, slot.final);
        cache.rootCount = i + 1;
    }
    return cache.roots[i].result == FinalPathResult::kFound ? cache.roots[i].final : nullptr;
}

// Before Vista there are no final paths, but NT 5 has junctions and mount points: the folder and
// each folder between it and its root (the root itself excluded) must be no reparse point. A missing
// one is passed over: what lies below it is missing too, and its parents are still looked at.
bool IsLinkBelowRoot(const char* folder, const char* root) {
    char path[kPathBufferSize];
    if (!CopyText(path, folder)) return true;
    size_t rootLength = TextLength(root);
    while (TextLength(path) > rootLength) {
        DWORD attributes = GetFileAttributesA(path);
        if (attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_REPARSE_POINT)) return true;
        if (!CutAtLastBackslash(path)) break;
    }
    return false;
}

}  // namespace

namespace {

// The root `folder` is judged from (see the header) into `root`; false when it has none.
bool FindRoot(RunState& run, ReachCache& cache, const char* folder, const char* tokenRoot, char* root) {
    char token[kPathBufferSize];
    if (tokenRoot && CanonicalizeFolderPath(tokenRoot, token) && IsAtOrBelow(folder, token)) {
        (void)CopyText(root, kPathBufferSize, token);
        return true;
    }
    if (IsAtOrBelow(folder, cache.install)) {
        (void)CopyText(root, kPathBufferSize, cache.install);
        return true;
    }
    return FindProtectedFolderAbove(run.paths, folder, root);
}

// The rule for `folder` below (or at) `root`, judged through `handle` (the folder opened itself): it
// must be no reparse point, and its final path is read through the handle, so what is judged is the
// object the caller then acts on, whatever happens to the path meanwhile. The root itself may be
// reached through a link: that is the installation's own way.
bool JudgeFolder(RunState& run, ReachCache& cache, const char* folder, const char* root, HANDLE handle,
                 char* final) {
    final[0] = '\0';
    if (!TextEqualsNoCase(folder, root) && IsReparsePointHandle(handle)) return false;
    // Before Vista there are no final paths to compare: the folders below the root are looked at.
    if (!run.platform.nt6OrLater) return !IsLinkBelowRoot(folder, root);
    const char* rootFinal = FindRootFinal(cache, root);
    // A folder (or root) that cannot be opened or read is not acted on: nothing shows where it leads.
    if (!rootFinal || ReadFinalPathOfHandle(handle, final) != FinalPathResult::kFound) {
        final[0] = '\0';
        return false;
    }
    // "C:\\" keeps its backslash in both forms; the rest of the folder begins with one.
    char expected[kPathBufferSize];
    size_t rootLength = TextLength(root);
    if (root[rootLength - 1] == '\\') --rootLength;
    if (!CopyText(expected, rootFinal)) return false;
    size_t n = TextLength(expected);
    if (n > 0 && expected[n - 1] == '\\') expected[n - 1] = '\0';
    return AppendText(expected, folder + rootLength) && TextEqualsNoCase(expected, final);
}

// The checks before any open: the cache, the network rule and the root.
ReachCache* PrepareJudgement(RunState& run, const char* folder, const char* tokenRoot, NetworkUse network,
                             char* root) {
    ReachCache* cache = GetCache(run);
    if (!cache) return nullptr;
    if (network == NetworkUse::kRefused && IsRefusedNetworkFolder(cache->install, folder)) return nullptr;
    return FindRoot(run, *cache, folder, tokenRoot, root) ? cache : nullptr;
}

}  // namespace

bool IsFolderReachedFromRoot(RunState& run, const char* folder, const char* tokenRoot, NetworkUse network,
                             char* final) {
    // The 9x family has no links: the folder needs a root and, when asked, no refused network spelling.
    final[0] = '\0';
    char root[kPathBufferSize];
    return PrepareJudgement(run, folder, tokenRoot, network, root) != nullptr;
}

bool HoldFolderReachedFromRoot(RunState& run, const char* canonical, const char* tokenRoot,
                               NetworkUse network, DWORD extraAccess, HeldFolder& held, char* final) {
    held.handle = INVALID_HANDLE_VALUE;
    held.nameLength = 0;
    final[0] = '\0';
    char root[kPathBufferSize];
    ReachCache* cache = PrepareJudgement(run, canonical, tokenRoot, network, root);
    if (!cache) return false;
    UniqueFileHandle folder(OpenFolder(canonical, extraAccess, TextEqualsNoCase(canonical, root)));
    if (!folder || !JudgeFolder(run, *cache, canonical, root, folder.get(), final)) return false;
    return HoldFolder(folder.release(), held);
}

uint32_t RemoveFolderReached(RunState& run, const char* canonical, const char* tokenRoot) {
    char final[kPathBufferSize];
    if (!run.platform.nt) {
        if (!IsFolderReachedFromRoot(run, canonical, tokenRoot, NetworkUse::kRefused, final))
            return kOutcomeRefusedByLinkCheck;
        return RemoveDirectoryA(canonical) ? 0 : GetLastError();
    }
    HeldFolder held;
    if (!HoldFolderReachedFromRoot(run, canonical, tokenRoot, NetworkUse::kRefused, DELETE, held, final))
        return kOutcomeRefusedByLinkCheck;
    DWORD error = DeleteThroughHandle(held.handle);
    ReleaseFolder(held);
    // Judged, and still holding what goes at the next restart: it follows them then.
    return RemoveFolderAtRestartIfHolding(run, canonical, error);
}

const char* EntryTokenRoot(const RunState& run, const char* storedFolder) {
    const char* folder = run.paths.entryTokens.folder;
    return LeadingTokenLength(storedFolder) != 0 && folder[0] != '\0' ? folder : nullptr;
}
