// The progress display in the removal passes: whether the dialog keeps answering its messages, and
// what the user interface costs. Each pass runs with and without the progress dialog; with it, a
// watcher thread sends the dialog WM_NULL again 5 ms after each reply, as a hang detector would, and
// the longest wait for a reply is the longest time the dialog did not answer (Windows shows
// "Not Responding" after 5 s).
//   file pass   the calls the file pass makes for one file (build the path, probe whether it is
//               locked, read its attributes, delete it) on PROGRESS_BENCH_ENTRIES (100000) files
//               that do not exist, so that the disk is not what is timed, reporting progress as
//               the pass does; the calls into the user interface are timed one by one.
//   wildcard    the real wildcard pass (one pattern) over PROGRESS_BENCH_TREE_FILES (20000) files in
//               100 folders; it has no bar to move.
//   registry    the real tree deletion of one key entry over PROGRESS_BENCH_KEYS (10000) keys.
// For the last two the user interface's share is the difference of the passes with and without the
// dialog (noisy under load: it may come out negative). Best of 3 rounds.
// clang-format off
#include <windows.h>
#include <commctrl.h>  // after windows.h, which it needs
// clang-format on

#include <algorithm>
#include <atomic>
#include <cstdio>
#include <cstdlib>
#include <functional>
#include <string>

#include "removal/folders.h"
#include "removal/registry.h"
#include "support/registry.h"
#include "support/sandbox.h"
#include "support/ui_robot.h"
#include "support/ui_session.h"
#include "ui/ui.h"
#include "win_clock.h"

using testing_support::UiSession;

namespace {

constexpr int kRounds = 3;
constexpr double kGapLimitMs = 100;
constexpr double kShareLimit = 0.05;
constexpr DWORD kReplyTimeoutMs = 60000;
constexpr DWORD kWatchPaceMs = 5;

// The part of the last simulated pass's progress calls spent in the ones that moved the bar (and
// repainted it as they pumped).
double g_barMovesMs = 0;

unsigned Setting(const char* name, unsigned fallback) {
    char text[32];
    DWORD n = GetEnvironmentVariableA(name, text, sizeof(text));
    if (n == 0 || n >= sizeof(text)) return fallback;
    unsigned long value = std::strtoul(text, nullptr, 10);
    return value > 0 && value < 10000000 ? static_cast<unsigned>(value) : fallback;
}

// Sends WM_NULL to the window from a thread of its own, one message after the other, while it runs;
// records the longest wait for a reply.
class AnswerWatch {
  public:
    explicit AnswerWatch(HWND window) : window_(window) {
        stopped_ = CreateEventA(nullptr, TRUE, FALSE, nullptr);
        if (window && stopped_) thread_ = CreateThread(nullptr, 0, Watch, this, 0, nullptr);
    }
    ~AnswerWatch() {
        Stop();
        if (stopped_) CloseHandle(stopped_);
    }
    AnswerWatch(const AnswerWatch&) = delete;
    AnswerWatch& operator=(const AnswerWatch&) = delete;

    bool ok() const { return thread_ != nullptr; }
    // Ends the watch, answering its last message meanwhile (it waits on this thread's window).
    void Stop() {
        if (!thread_) return;
        stop_ = true;
        SetEvent(stopped_);
        while (MsgWaitForMultipleObjects(1, &thread_, FALSE, kReplyTimeoutMs, QS_SENDMESSAGE) ==
               WAIT_OBJECT_0 + 1) {
            MSG msg;
            PeekMessageA(&msg, nullptr, 0, 0, PM_NOREMOVE);  // delivers the sent message
        }
        CloseHandle(thread_);
        thread_ = nullptr;
    }
    double longestMs() const { return longest_; }
    unsigned replies() const { return replies_; }
    bool failed() const { return failed_; }

  private:
    static DWORD WINAPI Watch(void* self) {
        auto& watch = *static_cast<AnswerWatch*>(self);
        while (!watch.stop_) {
            double start = NowMs();
            DWORD_PTR result = 0;
            if (!SendMessageTimeoutA(watch.window_, WM_NULL, 0, 0, SMTO_NORMAL, kReplyTimeoutMs, &result)) {
                watch.failed_ = true;
                return 0;
            }
            watch.longest_ = std::max(watch.longest_, NowMs() - start);
            ++watch.replies_;
            // Paced: sent back to back, the messages would keep every pump busy answering them and
            // inflate the user interface's share. A message sent in a gap waits at most the gap.
            WaitForSingleObject(watch.stopped_, kWatchPaceMs);
        }
        return 0;
    }

    HWND window_;
    HANDLE thread_ = nullptr;
    HANDLE stopped_ = nullptr;
    std::atomic<bool> stop_{false};
    double longest_ = 0;  // written by the watcher, read after it ended
    unsigned replies_ = 0;
    bool failed_ = false;
};

struct PassFigures {
    double ms = 1e30;         // best pass with the dialog
    double msWithout = 1e30;  // best pass without it
    double longestGapMs = 0;  // the worst over the rounds
    unsigned replies = 0;     // in the best round
    double uiMs = -1;         // time in the progress calls, where they are timed one by one
    double barMovesMs = 0;    // of which in the calls that moved the bar
    int barPositions = 0;
    bool watchFailed = false;
};

void Print(const char* name, const PassFigures& f) {
    std::printf("%s\n", name);
    std::printf("  pass without progress dialog (best of %d): %10.1f ms\n", kRounds, f.msWithout);
    std::printf("  pass with progress dialog    (best of %d): %10.1f ms\n", kRounds, f.ms);
    std::printf("  longest wait for an answer:              %10.1f ms (limit %.0f ms)\n", f.longestGapMs,
                kGapLimitMs);
    std::printf("  answers to the watcher (best round):     %10u\n", f.replies);
    std::printf("  positions the bar received:              %10d (limit about 101)\n", f.barPositions);
    if (f.uiMs >= 0) {
        // The clock's own cost is taken off the whole, which can leave it below the part that moved
        // the bar (timed as it is): the larger of the two counts.
        double ui = std::max(f.uiMs, f.barMovesMs);
        std::printf("  time in the progress calls:              %10.1f ms (the clock's own cost taken off)\n",
                    f.uiMs);
        std::printf("    in the calls that moved the bar:       %10.1f ms (with their painting)\n",
                    f.barMovesMs);
        std::printf("  user interface share of the pass:        %10.2f %% (limit 5 %%)\n", 100 * ui / f.ms);
    }
    std::printf("  difference of the passes:                %+10.2f %% of the pass with the dialog\n",
                100 * (f.ms - f.msWithout) / f.ms);
    std::fflush(stdout);
}

// Runs `pass` kRounds times with and without the dialog; `prepare` (untimed) sets up each round.
// The pass gets the run and returns the time it spent in progress calls (negative: not timed).
PassFigures Measure(const std::function<bool(RunState&)>& prepare,
                    const std::function<double(RunState&, uint32_t total)>& pass, uint32_t total,
                    bool* error) {
    PassFigures f;
    for (int round = 0; round < kRounds && !*error; ++round) {
        for (int withDialog = 0; withDialog < 2 && !*error; ++withDialog) {
            UiSession session;
            RunState& run = session.run();
            if (!session.ready() || (withDialog && !CreateProgressDialog(run.ui)) || !prepare(run)) {
                std::fprintf(stderr,
                             "progress_winbench: the user interface or the pass could not be set up\n");
                *error = true;
                return f;
            }
            if (withDialog) run.ui.progressTotal = total;
            testing_support::MessageSpy positions(run.ui.progressBar, PBM_SETPOS);
            AnswerWatch watch(run.ui.progressDialog);
            if (withDialog && !watch.ok()) {
                *error = true;
                return f;
            }
            double start = NowMs();
            g_barMovesMs = 0;
            double ui = pass(run, total);
            double ms = NowMs() - start;
            watch.Stop();
            if (!withDialog) {
                f.msWithout = std::min(f.msWithout, ms);
                continue;
            }
            f.watchFailed |= watch.failed();
            f.longestGapMs = std::max(f.longestGapMs, watch.longestMs());
            f.barPositions = std::max(f.barPositions, positions.count());
            if (ms < f.ms) {
                f.ms = ms;
                f.uiMs = ui;
                f.barMovesMs = g_barMovesMs;
                f.replies = watch.replies();
            }
        }
    }
    return f;
}

// What a pair of clock readings costs, to take it off the progress calls timed one by one.
double ClockPairMs(uint32_t count) {
    double start = NowMs();
    double sink = 0;
    for (uint32_t i = 0; i < count; ++i) sink += NowMs() - NowMs();
    double ms = NowMs() - start;
    return sink > 1e30 ? 0 : ms;  // keeps the loop
}

double SimulatedFilePass(RunState& run, uint32_t total, const std::string& folder) {
    char path[MAX_PATH];
    double inUi = 0;
    for (uint32_t i = 0; i < total; ++i) {
        wsprintfA(path, "%s\\entry%05u.dat", folder.c_str(), i);
        HANDLE probe = CreateFileA(path, GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_EXISTING, 0, nullptr);
        if (probe != INVALID_HANDLE_VALUE) CloseHandle(probe);
        GetFileAttributesA(path);
        DeleteFileA(path);
        uint32_t shown = run.ui.lastPercent;
        double start = NowMs();
        ReportProgress(run.ui, ProgressPass::kFiles, i + 1);
        double ms = NowMs() - start;
        inUi += ms;
        if (run.ui.lastPercent != shown) g_barMovesMs += ms;
    }
    return std::max(0.0, inUi - ClockPairMs(total));
}

bool MakeTree(const std::string& root, unsigned folders, unsigned perFolder) {
    for (unsigned i = 0; i < folders; ++i) {
        std::string folder = root + "\\Tree\\d" + std::to_string(i);
        if (!testing_support::MakeFolders(folder)) return false;
        for (unsigned j = 0; j < perFolder; ++j) {
            std::string file = folder + "\\f" + std::to_string(j) + ".tmp";
            HANDLE h = CreateFileA(file.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
            if (h == INVALID_HANDLE_VALUE) return false;
            CloseHandle(h);
        }
    }
    return true;
}

bool MakeKeys(const std::string& base, unsigned count) {
    // Ten keys below each, breadth first.
    for (unsigned i = 1; i <= count; ++i) {
        std::string path;
        for (unsigned n = i; n != 0; n = (n - 1) / 10) path = "\\k" + std::to_string((n - 1) % 10) + path;
        HKEY made;
        if (RegCreateKeyExA(HKEY_CURRENT_USER, (base + path).c_str(), 0, nullptr, 0, KEY_WRITE, nullptr,
                            &made, nullptr) != ERROR_SUCCESS) {
            return false;
        }
        RegCloseKey(made);
    }
    return true;
}

}  // namespace

int main() {
    bool error = false;
    bool over = false;
    auto judge = [&](const PassFigures& f, bool share) {
        over |= f.watchFailed || f.longestGapMs > kGapLimitMs || f.barPositions > 101 ||
                (share && std::max(f.uiMs, f.barMovesMs) / f.ms > kShareLimit);
    };

    uint32_t entries = Setting("PROGRESS_BENCH_ENTRIES", 100000);
    char temp[MAX_PATH] = {};
    GetTempPathA(MAX_PATH, temp);
    std::string missing = std::string(temp) + "uninst-bench-missing";
    PassFigures files =
        Measure([](RunState&) { return true; },
                [&](RunState& run, uint32_t total) { return SimulatedFilePass(run, total, missing); },
                entries, &error);
    if (error) return 1;
    Print(("file pass, simulated: " + std::to_string(entries) + " entries").c_str(), files);
    judge(files, true);

    unsigned treeFiles = Setting("PROGRESS_BENCH_TREE_FILES", 20000);
    unsigned perFolder = std::max(1u, treeFiles / 100);
    testing_support::Sandbox box("ProgressBench");
    static char pattern[] = "Tree\\*.tmp\0";  // the list ends with an empty pattern
    PassFigures wildcard = Measure(
        [&](RunState& run) {
            run.data.patterns = pattern;
            return box.ok() && CopyText(run.installFolder, kPathBufferSize, (box.path() + "\\").c_str()) &&
                   MakeTree(box.path(), 100, perFolder);
        },
        [&](RunState& run, uint32_t) {
            RemoveWildcardMatches(run);
            return -1.0;
        },
        0, &error);
    if (error) return 1;
    if (testing_support::Exists(box.Path("Tree"))) {
        std::printf("progress_winbench: the wildcard pass left some of its tree\n");
        return 1;
    }
    Print(("wildcard pass: " + std::to_string(perFolder * 100) + " files in 100 folders").c_str(), wildcard);
    judge(wildcard, false);

    unsigned keys = Setting("PROGRESS_BENCH_KEYS", 10000);
    testing_support::ScopedKey base(HKEY_CURRENT_USER, "Software\\UninstProgressBench");
    PassFigures registry = Measure([&](RunState&) { return MakeKeys(base.path() + "\\Tree", keys); },
                                   [&](RunState&, uint32_t) {
                                       HKEY parent;
                                       if (RegOpenKeyExA(HKEY_CURRENT_USER, base.path().c_str(), 0,
                                                         KEY_ALL_ACCESS, &parent) != ERROR_SUCCESS) {
                                           return -1.0;
                                       }
                                       (void)DeleteKeyTree(parent, "Tree", 0);
                                       RegCloseKey(parent);
                                       return -1.0;
                                   },
                                   0, &error);
    if (error) return 1;
    if (testing_support::KeyExists(HKEY_CURRENT_USER, base.path() + "\\Tree")) {
        std::printf("progress_winbench: the key tree is still there\n");
        return 1;
    }
    Print(("registry pass, one key entry: " + std::to_string(keys) + " keys").c_str(), registry);
    judge(registry, false);

    if (over) std::printf("progress_winbench: OVER THE LIMIT\n");
    return over ? 1 : 0;
}
