// The progress display's cost in a removal pass over many entries: how often SetProgress really
// moves the bar and pumps the queue, and the pass time with and without the progress dialog.
// Each simulated entry makes the platform calls the file pass makes for one file (build the path,
// probe whether it is locked, read its attributes, delete it) on files that do not exist, so that
// the disk is not what is timed: a real pass, which deletes real files, is slower still, and the
// user interface's share smaller.
// clang-format off
#include <windows.h>
#include <commctrl.h>  // after windows.h, which it needs
// clang-format on

#include <cstdio>

#include "support/ui_robot.h"
#include "support/ui_session.h"
#include "ui/ui.h"

using testing_support::UiSession;

namespace {

constexpr uint32_t kEntries = 100000;
constexpr int kRounds = 3;

double Seconds(LARGE_INTEGER from, LARGE_INTEGER to) {
    LARGE_INTEGER frequency;
    QueryPerformanceFrequency(&frequency);
    return static_cast<double>(to.QuadPart - from.QuadPart) / static_cast<double>(frequency.QuadPart);
}

struct PassResult {
    double seconds = 0;
    uint32_t calls = 0;            // SetProgress calls
    uint32_t changes = 0;          // calls that moved the bar and pumped
    double insideSetProgress = 0;  // time spent in the calls that moved the bar
    double noChangeCalls = 0;      // time spent in the others
};

// One pass over kEntries entries; reports progress the way the passes do, only when a total is set.
PassResult SimulatePass(RunState& run, const char* folder) {
    PassResult result;
    char path[MAX_PATH];
    LARGE_INTEGER start, end;
    QueryPerformanceCounter(&start);
    for (uint32_t i = 0; i < kEntries; ++i) {
        wsprintfA(path, "%s\\entry%05u.dat", folder, i);
        HANDLE probe = CreateFileA(path, GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_EXISTING, 0, nullptr);
        if (probe != INVALID_HANDLE_VALUE) CloseHandle(probe);
        GetFileAttributesA(path);
        DeleteFileA(path);
        if (run.ui.progressTotal != 0) {
            uint32_t percent = ProgressPercent(static_cast<uint64_t>(i) + 1, run.ui.progressTotal);
            ++result.calls;
            if (percent == run.ui.lastPercent) {
                SetProgress(percent);  // returns at once: timed in bulk by NoChangeCallsSeconds
                continue;
            }
            // Reading the clock costs about as much as a call that changes nothing, so only the
            // calls that move the bar and pump are timed one by one.
            LARGE_INTEGER callStart, callEnd;
            QueryPerformanceCounter(&callStart);
            SetProgress(percent);
            QueryPerformanceCounter(&callEnd);
            result.insideSetProgress += Seconds(callStart, callEnd);
            if (run.ui.lastPercent == percent) ++result.changes;
        }
    }
    QueryPerformanceCounter(&end);
    result.seconds = Seconds(start, end);
    return result;
}

// The time of `count` SetProgress calls that change nothing (the same percentage again).
double NoChangeCallsSeconds(RunState& run, uint32_t count) {
    LARGE_INTEGER start, end;
    QueryPerformanceCounter(&start);
    for (uint32_t i = 0; i < count; ++i) SetProgress(run.ui.lastPercent);
    QueryPerformanceCounter(&end);
    return Seconds(start, end);
}

}  // namespace

int main() {
    char folder[MAX_PATH] = {};
    GetTempPathA(MAX_PATH, folder);
    lstrcatA(folder, "uninst-bench-missing");

    double best[2] = {1e30, 1e30};  // without, with
    PassResult shown;
    uint32_t barPositions = 0;
    for (int round = 0; round < kRounds; ++round) {
        for (int withDialog = 0; withDialog < 2; ++withDialog) {
            UiSession session;
            if (!session.ready()) {
                fprintf(stderr, "progress_winbench: the user interface could not start (no display?)\n");
                return 1;
            }
            RunState& run = session.run();
            if (withDialog) {
                if (!CreateProgressDialog(run.ui)) {
                    fprintf(stderr, "progress_winbench: the progress dialog could not be created\n");
                    return 1;
                }
                run.ui.progressTotal = kEntries;
            }
            // Counts the positions the bar really receives (none without the dialog).
            testing_support::MessageSpy positions(run.ui.progressBar, PBM_SETPOS);
            PassResult pass = SimulatePass(run, folder);
            if (withDialog) {
                if (pass.seconds < best[1]) {
                    shown = pass;
                    shown.noChangeCalls = NoChangeCallsSeconds(run, pass.calls - pass.changes);
                }
                barPositions = static_cast<uint32_t>(positions.count());
            }
            if (pass.seconds < best[withDialog]) best[withDialog] = pass.seconds;
        }
    }

    // Two views of the same cost: the time spent inside SetProgress in the fastest pass with the
    // dialog, and the difference between the fastest passes with and without it (noisier: it
    // includes the platform's own painting of the dialog on other threads, and may be negative).
    double share = (shown.insideSetProgress + shown.noChangeCalls) / shown.seconds;
    double difference = (best[1] - best[0]) / best[1];
    printf("entries per pass:                      %u\n", kEntries);
    printf("SetProgress calls:                     %u\n", shown.calls);
    printf("calls that moved the bar and pumped:   %u (limit about 101)\n", shown.changes);
    printf("positions the bar received:            %u\n", barPositions);
    printf("pass without progress dialog (best of %d): %.3f s\n", kRounds, best[0]);
    printf("pass with progress dialog    (best of %d): %.3f s\n", kRounds, best[1]);
    printf("time in the calls that moved the bar:  %.4f s\n", shown.insideSetProgress);
    printf("time in the calls that did not:        %.4f s\n", shown.noChangeCalls);
    printf("user interface share of the pass:      %.2f %% (limit 5 %%)\n", share * 100);
    printf("difference of the passes:              %+.2f %% of the pass with the dialog\n", difference * 100);
    bool ok = shown.changes <= 101 && barPositions <= 101 && share < 0.05;
    if (!ok) printf("progress_winbench: OVER THE LIMIT\n");
    return ok ? 0 : 1;
}
