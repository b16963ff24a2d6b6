// Cost of the protected-folder test beside the cost of the folder removal it guards, measured in the
// same run on the same kind of folders: distinct, existing, empty and not protected.
//
// Prints the mean time of one IsProtectedFolder call with the protected set already built (how the
// passes use it), of one call that has to build the set first (the cost of looking every folder up
// per call), of the canonicalisation part alone, and of one RemoveDirectoryA, with the ratios.
#include <windows.h>

#include <cstdio>
#include <string>
#include <vector>

#include "paths/canonical_path.h"
#include "paths/path_fixtures.h"
#include "win_clock.h"

using namespace path_testing;

namespace {

constexpr int kFolders = 400;
constexpr int kRounds = 3;
constexpr int kBuildsPerRound = 20;

// Microseconds.
double Now() {
    return NowMs() * 1000.0;
}

struct Totals {
    double cached = 0, building = 0, canonical = 0, removal = 0;
    int cachedCalls = 0, buildingCalls = 0, removals = 0, wronglyProtected = 0, failedRemovals = 0;
};

void RunRound(Totals& totals) {
    Sandbox sandbox;
    std::vector<std::string> folders;
    for (int i = 0; i < kFolders; ++i) folders.push_back(sandbox.Make("folder" + std::to_string(i)));

    TestRun t;
    // Building the set on every call: the table looked up again for each folder.
    for (int i = 0; i < kBuildsPerRound; ++i) {
        t.run.paths.protectedSet.reset();
        double start = Now();
        bool isProtected = IsProtectedFolder(t.run.paths, folders[i].c_str());
        totals.building += Now() - start;
        totals.buildingCalls++;
        totals.wronglyProtected += isProtected;
    }
    // The set is built now; every further call only canonicalises and compares.
    for (const std::string& folder : folders) {
        double start = Now();
        bool isProtected = IsProtectedFolder(t.run.paths, folder.c_str());
        totals.cached += Now() - start;
        totals.cachedCalls++;
        totals.wronglyProtected += isProtected;
    }
    for (const std::string& folder : folders) {
        char canonical[kPathBufferSize];
        double start = Now();
        bool formed = CanonicalizeFolderPath(folder.c_str(), canonical);
        totals.canonical += Now() - start;
        totals.wronglyProtected += !formed;
    }
    for (const std::string& folder : folders) {
        double start = Now();
        BOOL removed = RemoveDirectoryA(folder.c_str());
        totals.removal += Now() - start;
        totals.removals++;
        totals.failedRemovals += !removed;
    }
}

}  // namespace

int main() {
    Totals totals;
    for (int round = 0; round < kRounds; ++round) RunRound(totals);
    double cached = totals.cached / totals.cachedCalls;
    double building = totals.building / totals.buildingCalls;
    double canonical = totals.canonical / totals.cachedCalls;
    double removal = totals.removal / totals.removals;
    std::printf("folders: %d distinct empty folders per round, %d rounds\n", kFolders, kRounds);
    std::printf("IsProtectedFolder, set built once:     %9.1f us per call (%d calls)\n", cached,
                totals.cachedCalls);
    std::printf("  of which canonical form alone:       %9.1f us per call\n", canonical);
    std::printf("IsProtectedFolder, set built per call: %9.1f us per call (%d calls)\n", building,
                totals.buildingCalls);
    std::printf("RemoveDirectoryA of an empty folder:   %9.1f us per call (%d calls)\n", removal,
                totals.removals);
    std::printf("ratio test/removal, set built once:    %9.2f\n", cached / removal);
    std::printf("ratio test/removal, set built per call:%9.2f\n", building / removal);
    if (totals.wronglyProtected || totals.failedRemovals) {
        std::printf("FAILED: %d folders were taken as protected, %d removals failed\n",
                    totals.wronglyProtected, totals.failedRemovals);
        return 1;
    }
    return 0;
}
