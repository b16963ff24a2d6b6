#include "removal/reach_check.h"

#include <windows.h>

#include "common/backslash.h"
#include "common/text.h"
#include "data/memory.h"
#include "driver/run_state.h"
#include "paths/canonical_path.h"
#include "paths/protected_folders.h"
#include "paths/special_folders.h"
#include "removal/entry_paths.h"

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
    char lastFolder[kPathBufferSize];
    char lastFinal[kPathBufferSize];
    bool lastAllowed;
    NetworkUse lastNetwork;
    char lastTokenRoot[kPathBufferSize];
};

namespace {

bool StartsWithNoCase(const char* text, const char* prefix) {
    for (; *prefix; ++text, ++prefix) {
        if (AsciiUpper(*text) != AsciiUpper(*prefix)) return false;
    }
    return true;
}

// True when the canonical `folder` is `root` or lies below it.
bool IsAtOrBelow(const char* folder, const char* root) {
    size_t n = TextLength(root);
    if (n == 0 || !StartsWithNoCase(folder, root)) return false;
    // "C:\" ends with its separator; "C:\App" needs one after it ("C:\Apple" is not below it).
    return folder[n] == '\0' || folder[n] == '\\' || root[n - 1] == '\\';
}

ReachCache* GetCache(RunState& run) {
    if (!run.reachCache && !AllocZeroed(sizeof(ReachCache), run.reachCache)) return nullptr;
    ReachCache* cache = run.reachCache;
    if (!cache->installKnown) {
        cache->installKnown = true;
        if (!CanonicalizeFolderPath(run.installFolder, cache->install)) cache->install[0] = '\0';
    }
    return cache;
}

// The root's final path, looked up once per run; null when it cannot be read.
const ReachCache::Root* FindRoot(ReachCache& cache, const char* root, ReachCache::Root& spare) {
    for (uint32_t i = 0; i < cache.rootCount; ++i) {
        if (TextEqualsNoCase(cache.roots[i].canonical, root)) return &cache.roots[i];
    }
    ReachCache::Root& slot = cache.rootCount < ReachCache::kRootCapacity ? cache.roots[cache.rootCount] : spare;
    if (!CopyText(slot.canonical, root)) return nullptr;
    slot.result = ReadFinalFolderPath(root, slot.final);
    if (&slot != &spare) cache.rootCount++;
    return &slot;
}

// The look itself: `folder` must finally be the root's final path plus the rest as composed.
bool Judge(RunState& run, ReachCache& cache, const char* folder, const char* tokenRoot, NetworkUse network,
           char* final) {
    final[0] = '\0';
    if (network == NetworkUse::kRefused && IsRefusedNetworkFolder(cache.install, folder)) return false;
    char root[kPathBufferSize];
    char token[kPathBufferSize];
    if (tokenRoot && CanonicalizeFolderPath(tokenRoot, token) && IsAtOrBelow(folder, token)) {
        (void)CopyText(root, token);
    } else if (IsAtOrBelow(folder, cache.install)) {
        (void)CopyText(root, cache.install);
    } else if (!FindProtectedFolderAbove(run, folder, root)) {
        return false;
    }
    // Before Vista there are no final paths to compare; NT 5 junctions are not looked through.
    if (!FindKernelExport<FARPROC>("GetFinalPathNameByHandleA")) return true;
    ReachCache::Root spare;
    const ReachCache::Root* found = FindRoot(cache, root, spare);
    if (!found) return false;
    FinalPathResult folderResult = ReadFinalFolderPath(folder, final);
    // A folder (or root) that cannot be opened or read is not acted on: nothing shows where it leads.
    if (found->result != FinalPathResult::kFound || folderResult != FinalPathResult::kFound) {
        final[0] = '\0';
        return false;
    }
    char expected[kPathBufferSize];
    char rootFinal[kPathBufferSize];
    (void)CopyText(rootFinal, found->final);
    char rootText[kPathBufferSize];
    (void)CopyText(rootText, root);
    // "C:\" keeps its backslash in both forms; the rest of the folder begins with one.
    size_t rootLength = TextLength(rootText);
    if (rootLength > 0 && rootText[rootLength - 1] == '\\') rootText[--rootLength] = '\0';
    size_t finalLength = TextLength(rootFinal);
    if (finalLength > 0 && rootFinal[finalLength - 1] == '\\') rootFinal[finalLength - 1] = '\0';
    if (!CopyText(expected, rootFinal) || !AppendText(expected, folder + rootLength)) return false;
    return TextEqualsNoCase(expected, final);
}

}  // namespace

bool IsFolderReachedFromRoot(RunState& run, const char* canonical, const char* tokenRoot, NetworkUse network,
                             char* final) {
    final[0] = '\0';
    ReachCache* cache = GetCache(run);
    if (!cache) return false;
    const char* token = tokenRoot ? tokenRoot : "";
    if (cache->lastFolder[0] != '\0' && TextEqualsNoCase(cache->lastFolder, canonical) &&
        cache->lastNetwork == network && TextEqualsNoCase(cache->lastTokenRoot, token)) {
        (void)CopyText(final, kPathBufferSize, cache->lastFinal);
        return cache->lastAllowed;
    }
    bool allowed = Judge(run, *cache, canonical, tokenRoot, network, final);
    cache->lastAllowed = allowed;
    cache->lastNetwork = network;
    if (!CopyText(cache->lastFolder, canonical) || !CopyText(cache->lastFinal, final) ||
        !CopyText(cache->lastTokenRoot, token)) {
        cache->lastFolder[0] = '\0';
    }
    return allowed;
}

bool ResolveFolderToActOn(RunState& run, const char* path, const char* tokenRoot, char* canonical) {
    char final[kPathBufferSize];
    if (ResolveRemovableFolder(run, path, canonical) &&
        IsFolderReachedFromRoot(run, canonical, tokenRoot, NetworkUse::kRefused, final)) {
        return true;
    }
    canonical[0] = '\0';
    return false;
}

bool IsChildReachedFromParent(const char* child, const char* parentFinal, const char* name, char* childFinal) {
    childFinal[0] = '\0';
    char reached[kPathBufferSize];
    FinalPathResult result = ReadFinalFolderPath(child, reached);
    if (parentFinal[0] == '\0') return result != FinalPathResult::kFound || TextEqualsNoCase(reached, child);
    if (result != FinalPathResult::kFound) return false;
    char expected[kPathBufferSize];
    if (!CopyText(expected, parentFinal) || !AppendBackslash(expected, kPathBufferSize) ||
        !AppendText(expected, name) || !TextEqualsNoCase(expected, reached)) {
        return false;
    }
    return CopyText(childFinal, kPathBufferSize, reached);
}

void ReleaseReachCache(RunState& run) { FreeBlock(run.reachCache); }
