// The removal passes against the platform's own limit, in the same run: the packed uninstaller,
// started with /S in a job as a user would start it, beside removal_minimal.exe (bench/tools), which
// makes only the platform calls the same removal needs and starts the same way with the same system
// libraries. Every figure is the best of a few rounds; each round builds its tree afresh.
//
// Sections (REMOVAL_BENCH_SECTIONS, any of "startup,files,whole,steps,walk,wildcard,registry,selfdelete";
// all by default):
//   startup    an installation with nothing to remove: what starting and ending cost on each side
//   files      an installation of REMOVAL_BENCH_FILES files (10000) in REMOVAL_BENCH_FOLDERS folders
//              (100), listed file by file with a folder entry per folder: times, ratio, peak memory;
//              and the same run with the removal log (/L=PATH) beside the one without: its cost
//   whole      an installation of REMOVAL_BENCH_WHOLE_FILES files (10000) in 100 folders, 100 key
//              entries and 2 shortcuts, and of REMOVAL_BENCH_WHOLE_LARGE files too when that is set:
//              times, ratio, peak memory
//   steps      in this process, per file: the lock probe, the shared-count step and the in-use check
//              of the file pass beside a bare DeleteFileA, on REMOVAL_BENCH_STEP_FILES files (1000)
//   walk       in this process, per folder: the checks the wildcard walk makes before it enters a
//              folder, beside listing and removing it, on REMOVAL_BENCH_WALK_FOLDERS folders (300)
//   wildcard   one pattern over REMOVAL_BENCH_TREE_FILES files (10000) in REMOVAL_BENCH_TREE_FOLDERS
//              folders (1000), two levels deep: times and ratio
//   registry   one key entry over REMOVAL_BENCH_KEYS keys (100000) five levels deep below the sandbox's
//              key in HKEY_CURRENT_USER\Software: times and ratio
//   selfdelete /Q (no closing box): from the uninstaller's end to its executable being gone, beside
//              an empty batch run by the same interpreter (cmd.exe by its full path)
// REMOVAL_BENCH_ROUNDS (3) rounds each; REMOVAL_BENCH_VERBOSE=1 prints every timed run. A run that leaves
// anything of its tree fails the benchmark. The platform requests behind the per-file figures: under Wine,
// run with REMOVAL_BENCH_SECTIONS=steps and WINEDEBUG=+server,+debugstr, and count the request lines between
// each "removal_winbench: steps begin" and "... end" mark (one pair per figure, in the order the
// section measures them: DeleteFileA, delete on close, disposition, probe + DeleteFileA, plain pass,
// shared pass, program folders, in-use check). The server must be started with that setting
// (`wineserver -k` first), or it traces nothing. Every started process is marked with its id
// ("removal_winbench: run pid=XXXX"): `make bench` runs the whole section once more beside a server
// started with `wineserver -f -d1` and prints each side's requests (scripts/count-requests.py).
#include <windows.h>

#include <psapi.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <functional>
#include <string>
#include <vector>

#include "data/uninstall_data.h"
#include "format/block_writer.h"
#include "format/layout.h"
#include "paths/canonical_path.h"
#include "paths/protected_folders.h"
#include "removal/files.h"
#include "removal/folders.h"
#include "support/e2e.h"
#include "support/helper_programs.h"
#include "support/registry.h"
#include "support/sandbox.h"
#include "support/test_run.h"
#include "win_clock.h"
#include "win_setting.h"

namespace {

using testing_support::BuildFolder;
using testing_support::Exists;

constexpr uint32_t kHkcu = 0x80000001u;  // HKEY_CURRENT_USER as the block stores it
constexpr DWORD kRunTimeoutMs = 900000;  // 10,000 files under an emulated loader on a loaded machine
constexpr DWORD kSelfDeleteTimeoutMs = 60000;
constexpr DWORD kMemoryReadingMs = 50;
constexpr char kMinimalName[] = "removal_minimal.exe";

int g_failures = 0;

bool SectionWanted(const char* section) {
    char text[256];
    DWORD n = GetEnvironmentVariableA("REMOVAL_BENCH_SECTIONS", text, sizeof(text));
    if (n == 0 || n >= sizeof(text)) return true;
    std::string list = std::string(",") + text + ",";
    return list.find(std::string(",") + section + ",") != std::string::npos;
}

void Fail(const std::string& what) {
    std::printf("FAILED: %s\n", what.c_str());
    std::fflush(stdout);
    ++g_failures;
}

// Messages with the questions (9, 10) and the closing text empty: nothing can stop a run to ask.
std::vector<std::string> BenchMessages() {
    std::vector<std::string> messages(16);
    messages[0] = "Removal Bench";
    messages[1] = "Remove the benchmark installation?";
    return messages;
}

// One start of a program in a job of its own, timed from before the start to its end.
struct ProcessFigures {
    bool ok = false;
    double ms = 0;
    double endedAt = 0;  // NowMs() when the end was seen
    SIZE_T peakWorkingSet = 0, peakPagefile = 0;
    std::shared_ptr<testing_support::ProcessJob> job;  // what it started runs on until this goes
};

// Has the file system write out what the round's set-up left pending, so that no timed run pays
// for the one before it: a flushed write commits the journal of an ext4 volume under Wine (fsync),
// and each run then starts from the same state. Without it a run that overlaps the periodic commit
// takes up to four times as long as the same run beside it.
void SettleFileSystem() {
    char folder[MAX_PATH];
    DWORD length = GetTempPathA(MAX_PATH, folder);
    if (length == 0 || length >= MAX_PATH) return;
    std::string path = std::string(folder) + "removal_winbench.settle";
    HANDLE file =
        CreateFileA(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE) return;
    DWORD written = 0;
    WriteFile(file, "x", 1, &written, nullptr);
    FlushFileBuffers(file);
    CloseHandle(file);
}

ProcessFigures RunTimed(const std::string& exe, const std::string& arguments, const std::string& folder) {
    SettleFileSystem();
    ProcessFigures figures;
    figures.job = std::make_shared<testing_support::ProcessJob>();
    PROCESS_INFORMATION process = {};
    std::string error;
    double start = NowMs();
    if (!figures.job->Start(exe, "\"" + exe + "\" " + arguments, folder, &process, &error)) {
        Fail(error);
        return figures;
    }
    // A mark for a trace of the platform's requests (scripts/count-requests.py): the process's id.
    char mark[64];
    std::snprintf(mark, sizeof mark, "removal_winbench: run pid=%04lx",
                  static_cast<unsigned long>(process.dwProcessId));
    OutputDebugStringA(mark);
    // Wine reads the counters of another process from the system while that process is there and
    // may have none once it has ended: they are also read while it runs (peaks only grow), and the
    // highest reading counts.
    auto readPeaks = [&] {
        PROCESS_MEMORY_COUNTERS counters = {};
        counters.cb = sizeof(counters);
        if (!GetProcessMemoryInfo(process.hProcess, &counters, sizeof(counters))) return;
        figures.peakWorkingSet = std::max(figures.peakWorkingSet, counters.PeakWorkingSetSize);
        figures.peakPagefile = std::max(figures.peakPagefile, counters.PeakPagefileUsage);
    };
    DWORD waited = WAIT_TIMEOUT;
    while (waited == WAIT_TIMEOUT && NowMs() - start < kRunTimeoutMs) {
        waited = WaitForSingleObject(process.hProcess, kMemoryReadingMs);
        if (waited == WAIT_TIMEOUT) readPeaks();
    }
    figures.endedAt = NowMs();
    figures.ms = figures.endedAt - start;
    if (waited != WAIT_OBJECT_0) {
        Fail(exe + " " + arguments + " still ran after the time limit");
        figures.job->Terminate(1);
    } else {
        readPeaks();
        figures.ok = true;
    }
    CloseHandle(process.hThread);
    CloseHandle(process.hProcess);
    static const bool verbose = Setting("REMOVAL_BENCH_VERBOSE", 0) != 0;
    if (verbose) {
        std::printf("    run: %9.1f ms  %s %s\n", figures.ms, exe.substr(exe.find_last_of('\\') + 1).c_str(),
                    arguments.c_str());
    }
    return figures;
}

// The best (shortest) run of each side over the rounds, and the largest peaks seen.
struct Best {
    double ms = 0;
    SIZE_T peakWorkingSet = 0, peakPagefile = 0;
    int runs = 0;

    void Add(const ProcessFigures& figures) {
        if (!figures.ok) return;
        ms = runs == 0 ? figures.ms : std::min(ms, figures.ms);
        peakWorkingSet = std::max(peakWorkingSet, figures.peakWorkingSet);
        peakPagefile = std::max(peakPagefile, figures.peakPagefile);
        ++runs;
    }
};

void PrintComparison(const char* what, const Best& ours, const Best& minimal, bool memory,
                     bool target = true) {
    std::printf("  %-34s uninstaller %9.1f ms   minimal %9.1f ms   ratio %5.2fx%s\n", what, ours.ms,
                minimal.ms, minimal.ms > 0 ? ours.ms / minimal.ms : 0.0, target ? " (target <= 1.50)" : "");
    if (memory) {
        std::printf("  %-34s uninstaller %6zu KB / %6zu KB   minimal %6zu KB / %6zu KB\n",
                    "peak working set / peak pagefile:", ours.peakWorkingSet / 1024, ours.peakPagefile / 1024,
                    minimal.peakWorkingSet / 1024, minimal.peakPagefile / 1024);
    }
    std::fflush(stdout);
}

// An installation with the uninstaller packed with `block` and the minimal program beside it.
bool PlacePrograms(const e2e::Installation& app, const format::Block& block) {
    std::string error;
    if (!e2e::PlaceUninstaller(app.uninstaller(), format::EncodeBlock(block), &error,
                               BuildFolder() + "uninst.exe")) {
        Fail("cannot place the uninstaller: " + error);
        return false;
    }
    if (!testing_support::CopyBuildFile(kMinimalName, app.Path(kMinimalName))) {
        Fail(std::string("cannot copy ") + kMinimalName);
        return false;
    }
    return true;
}

bool MakeEmptyFile(const std::string& path) {
    HANDLE file =
        CreateFileA(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE) return false;
    CloseHandle(file);
    return true;
}

// ---- startup: an installation with nothing to remove ---------------------------------------------

void StartupSection(unsigned rounds) {
    std::printf("startup: an empty installation (a block of messages only); /S; best of %u\n", rounds);
    e2e::Sandbox sandbox("RemovalBench.Startup");
    e2e::Installation& app = sandbox.NewInstallation();
    format::Block block;
    block.messages = BenchMessages();
    if (!sandbox.ok() || !PlacePrograms(app, block)) return;
    std::string root = app.folder();
    Best ours, minimal;
    for (unsigned round = 0; round < rounds; ++round) {
        ours.Add(RunTimed(app.uninstaller(), "/S", root));
        minimal.Add(
            RunTimed(app.Path(kMinimalName), "files \"" + root.substr(0, root.size() - 1) + "\" 0 0", root));
    }
    std::printf("  (start to end of each process: loading, reading the block, window, no removal)\n");
    PrintComparison("start-up and end:", ours, minimal, true, false);
}

// ---- files: the file pass over a listed installation -------------------------------------------

std::string ListedFolder(unsigned i) {
    return "d" + std::to_string(i);
}
std::string ListedFile(unsigned j) {
    return "f" + std::to_string(j) + ".tmp";
}

bool MakeListedTree(const std::string& root, unsigned folders, unsigned perFolder) {
    for (unsigned i = 0; i < folders; ++i) {
        std::string folder = root + ListedFolder(i) + "\\";
        if (!testing_support::MakeFolders(folder)) return false;
        for (unsigned j = 0; j < perFolder; ++j) {
            if (!MakeEmptyFile(folder + ListedFile(j))) return false;
        }
    }
    return true;
}

// Folder entries first, then their files: the pass walks the list backwards, so each folder is
// reached after its files.
std::vector<format::FileSpec> ListedEntries(unsigned folders, unsigned perFolder, uint8_t flags) {
    std::vector<format::FileSpec> entries;
    for (unsigned i = 0; i < folders; ++i) {
        entries.push_back({".\\" + ListedFolder(i), "", 0});
        for (unsigned j = 0; j < perFolder; ++j)
            entries.push_back({".\\" + ListedFolder(i), ListedFile(j), flags});
    }
    return entries;
}

unsigned ListedLeft(const std::string& root, unsigned folders) {
    unsigned left = 0;
    for (unsigned i = 0; i < folders; ++i) left += Exists(root + ListedFolder(i));
    return left;
}

void FilesSection(unsigned rounds) {
    unsigned files = Setting("REMOVAL_BENCH_FILES", 10000);
    unsigned folders = std::min(Setting("REMOVAL_BENCH_FOLDERS", 100), files);
    unsigned perFolder = files / folders;
    std::printf("files: %u files in %u folders, each listed, a folder entry per folder; /S; best of %u\n",
                perFolder * folders, folders, rounds);
    e2e::Sandbox sandbox("RemovalBench.Files");
    e2e::Installation& app = sandbox.NewInstallation();
    format::Block block;
    block.messages = BenchMessages();
    block.files = ListedEntries(folders, perFolder, 0);
    if (!sandbox.ok() || !PlacePrograms(app, block)) return;
    std::string root = app.folder();
    std::string rootArgument = "\"" + root.substr(0, root.size() - 1) + "\"";
    std::string logPath = sandbox.root() + "removal.log";
    // Every file and every folder entry removed (the program-folder pass then finds the folders gone).
    std::string summary =
        "summary\tcompleted\t\tremoved " + std::to_string(folders * perFolder + folders) + ", ";
    Best ours, minimal, logged;
    // One run of the uninstaller over a fresh tree, with the log or without; false when it left
    // folders or its log does not count every removal.
    auto runUninstaller = [&](bool withLog) {
        if (!MakeListedTree(root, folders, perFolder)) {
            Fail("cannot build the listed tree");
            return false;
        }
        (withLog ? logged : ours).Add(RunTimed(app.uninstaller(), withLog ? "/S /L=" + logPath : "/S", root));
        if (unsigned left = ListedLeft(root, folders)) {
            Fail(std::to_string(left) + " folders left by the uninstaller");
            return false;
        }
        if (!withLog) return true;
        std::string log = testing_support::ReadFileText(logPath).value_or("");
        size_t last = log.rfind("\nsummary\t");
        if (last == std::string::npos || log.compare(last + 1, summary.size(), summary) != 0 ||
            log.find("\texit code 0\r\n", last) == std::string::npos) {
            Fail("the removal log ends otherwise than with \"" + summary + "...\texit code 0\": " +
                 (last == std::string::npos ? log.substr(log.size() > 200 ? log.size() - 200 : 0)
                                            : log.substr(last + 1)));
            return false;
        }
        return true;
    };
    for (unsigned round = 0; round < rounds; ++round) {
        // The logged run goes first in every other round: neither side always follows the other.
        bool logFirst = round % 2 == 1;
        if (!runUninstaller(logFirst)) return;
        if (!MakeListedTree(root, folders, perFolder)) return Fail("cannot build the listed tree");
        minimal.Add(RunTimed(
            app.Path(kMinimalName),
            "files " + rootArgument + " " + std::to_string(folders) + " " + std::to_string(perFolder), root));
        if (unsigned left = ListedLeft(root, folders))
            return Fail(std::to_string(left) + " folders left by the minimal program");
        if (!runUninstaller(!logFirst)) return;
    }
    std::printf(
        "  (start to end of each process, start-up included; minimal = DeleteFileA per file, "
        "RemoveDirectoryA per folder)\n");
    PrintComparison("file pass:", ours, minimal, true);
    std::printf("  %-34s with /L %9.1f ms   without %9.1f ms   ratio %5.2fx (target <= 1.20)\n",
                "removal log (a line per item):", logged.ms, ours.ms,
                ours.ms > 0 ? logged.ms / ours.ms : 0.0);
    std::fflush(stdout);
    if (!sandbox.CanariesAlive(nullptr)) Fail("a canary of the files section is gone");
}

bool MakeKeyTree(const std::string& base, const std::vector<std::string>& keys);

// ---- whole: a whole installation, start-up included ---------------------------------------------

// REMOVAL_BENCH_WHOLE_FILES files (10000) in 100 folders, each listed with a folder entry per
// folder, 100 key entries (each an empty key) and 2 shortcuts; at REMOVAL_BENCH_WHOLE_LARGE files as
// well when that is set (100000 shows that the cost grows in line).
void WholeRunAt(unsigned files, unsigned rounds) {
    const unsigned folders = 100, keyCount = 100;
    unsigned perFolder = std::max(1u, files / folders);
    std::printf("whole: %u files in %u folders, %u keys, 2 shortcuts; /S; best of %u\n", perFolder * folders,
                folders, keyCount, rounds);
    e2e::Sandbox sandbox("RemovalBench.Whole");
    e2e::Installation& app = sandbox.NewInstallation();
    std::string root = app.folder();
    std::string base = sandbox.keyPath() + "\\Whole";
    format::Block block;
    block.messages = BenchMessages();
    block.files = ListedEntries(folders, perFolder, 0);
    block.shortcuts = {{0, root + "Menu", "", "App.lnk"}, {0, root + "Desk", "", "App.lnk"}};
    for (unsigned i = 0; i < keyCount; ++i)
        block.registry.push_back({kHkcu, base + "\\k" + std::to_string(i)});
    if (!sandbox.ok() || !PlacePrograms(app, block)) return;
    auto make = [&] {
        if (!MakeListedTree(root, folders, perFolder) || !testing_support::MakeFolders(root + "Menu") ||
            !testing_support::MakeFolders(root + "Desk") || !MakeEmptyFile(root + "Menu\\App.lnk") ||
            !MakeEmptyFile(root + "Desk\\App.lnk")) {
            return false;
        }
        std::vector<std::string> keys;
        for (unsigned i = 0; i < keyCount; ++i) keys.push_back("k" + std::to_string(i));
        return MakeKeyTree(base, keys);
    };
    auto left = [&] {
        unsigned n =
            ListedLeft(root, folders) + Exists(root + "Menu\\App.lnk") + Exists(root + "Desk\\App.lnk");
        for (unsigned i = 0; i < keyCount; ++i)
            n += testing_support::KeyExists(HKEY_CURRENT_USER, base + "\\k" + std::to_string(i));
        return n;
    };
    std::string arguments = "whole \"" + root.substr(0, root.size() - 1) + "\" " + std::to_string(folders) +
                            " " + std::to_string(perFolder) + " \"" + base + "\" " + std::to_string(keyCount);
    Best ours, minimal;
    for (unsigned round = 0; round < rounds; ++round) {
        if (!make()) return Fail("cannot build the whole installation");
        ours.Add(RunTimed(app.uninstaller(), "/S", root));
        if (unsigned n = left()) return Fail(std::to_string(n) + " items left by the uninstaller");
        if (!make()) return Fail("cannot build the whole installation");
        minimal.Add(RunTimed(app.Path(kMinimalName), arguments, root));
        if (unsigned n = left()) return Fail(std::to_string(n) + " items left by the minimal program");
    }
    std::printf(
        "  (start to end of each process; minimal = DeleteFileA, RemoveDirectoryA, the keys' deletion, "
        "bare)\n");
    PrintComparison("whole run:", ours, minimal, true);
    if (minimal.peakWorkingSet > 0) {
        std::printf("  %-34s %5.2fx (target <= 1.10)\n", "peak working set ratio:",
                    static_cast<double>(ours.peakWorkingSet) / static_cast<double>(minimal.peakWorkingSet));
        // What the uninstaller must hold and the minimal program, which makes the names from a
        // counter, does not: the block as loaded (texts in place), each entry and its pointer.
        size_t list = format::EncodeBlock(block).size() +
                      block.files.size() * (sizeof(FileEntry) + sizeof(void*)) +
                      block.shortcuts.size() * (sizeof(ShortcutEntry) + sizeof(void*)) +
                      block.registry.size() * (sizeof(RegistryEntry) + sizeof(void*));
        double beyond = static_cast<double>(ours.peakWorkingSet) - static_cast<double>(list);
        std::printf("  %-34s %6zu KB; the rest %5.2fx the minimal program's\n",
                    "of which the list it holds:", list / 1024,
                    beyond / static_cast<double>(minimal.peakWorkingSet));
    }
    if (!sandbox.CanariesAlive(nullptr)) Fail("a canary of the whole section is gone");
}

void WholeSection(unsigned rounds) {
    WholeRunAt(Setting("REMOVAL_BENCH_WHOLE_FILES", 10000), rounds);
    if (unsigned large = Setting("REMOVAL_BENCH_WHOLE_LARGE", 0)) WholeRunAt(large, rounds);
}

// ---- steps: what the file pass adds per file, measured in this process --------------------------

// Times `work` over a fresh listed tree; microseconds per file.
double PerFile(const testing_support::Sandbox& box, unsigned folders, unsigned perFolder,
               const std::function<void()>& prepare, const std::function<void()>& work) {
    std::string root = box.path() + "\\";
    if (!MakeListedTree(root, folders, perFolder)) {
        Fail("cannot build the tree for the steps");
        return 0;
    }
    prepare();
    SettleFileSystem();
    // Marks for a trace of the platform's requests (WINEDEBUG=+server,+debugstr under Wine).
    OutputDebugStringA("removal_winbench: steps begin");
    double start = NowMs();
    work();
    double ms = NowMs() - start;
    OutputDebugStringA("removal_winbench: steps end");
    // The in-use check removes nothing; everything else must have removed the whole tree.
    for (unsigned i = 0; i < folders; ++i) testing_support::RemoveTree(root + ListedFolder(i));
    return ms * 1000.0 / (folders * perFolder);
}

void StepsSection(unsigned rounds) {
    unsigned files = Setting("REMOVAL_BENCH_STEP_FILES", 1000);
    unsigned folders = std::min(10u, files);
    unsigned perFolder = files / folders;
    files = folders * perFolder;
    std::printf("steps: per file, in this process (no start-up), %u files in %u folders; best of %u\n", files,
                folders, rounds);
    testing_support::Sandbox box("RemovalBench.Steps");
    testing_support::MachineValues machine(box.path());
    std::string root = box.path() + "\\";
    auto paths = [&] {
        std::vector<std::string> all;
        for (unsigned i = 0; i < folders; ++i) {
            for (unsigned j = 0; j < perFolder; ++j)
                all.push_back(root + ListedFolder(i) + "\\" + ListedFile(j));
        }
        return all;
    }();
    double onClose = 1e30, disposition = 1e30;
    // Looked up: the headers are those of the oldest platform the product runs on.
    using SetInformationFn = BOOL(WINAPI*)(HANDLE, int, void*, DWORD);
    constexpr int kFileDispositionInfo = 4;
    auto setInformation = reinterpret_cast<SetInformationFn>(reinterpret_cast<void*>(
        GetProcAddress(GetModuleHandleA("kernel32.dll"), "SetFileInformationByHandle")));
    double bare = 1e30, locked = 1e30, plain = 1e30, shared = 1e30, inUse = 1e30, climbs = 1e30, set = 1e30;
    // The protected-folder set is built once per run, on the first folder test: built here, untimed
    // per file, and timed on its own.
    auto load = [&](testing_support::TestRun& t, uint8_t flags) {
        if (!CopyText(t.installFolder, root.c_str())) return false;
        format::Block block;
        block.messages = BenchMessages();
        block.files = ListedEntries(folders, perFolder, flags);
        if (!t.Load(format::EncodeBlock(block))) return false;
        double start = NowMs();
        (void)IsProtectedFolder(t.run.paths, root.c_str());
        set = std::min(set, NowMs() - start);
        return true;
    };
    bool lost = false;
    for (unsigned round = 0; round < rounds && !lost; ++round) {
        auto nothing = [] {};
        bare = std::min(bare, PerFile(box, folders, perFolder, nothing, [&] {
                            for (const std::string& path : paths) DeleteFileA(path.c_str());
                        }));
        // The two ways to delete through the one open the file pass makes on NT: delete-on-close
        // (the file pass's) and the disposition set on an open handle (Vista and later).
        onClose = std::min(onClose, PerFile(box, folders, perFolder, nothing, [&] {
                               for (const std::string& path : paths) {
                                   HANDLE h = CreateFileA(
                                       path.c_str(), GENERIC_READ | GENERIC_WRITE | DELETE, FILE_SHARE_READ,
                                       nullptr, OPEN_EXISTING,
                                       FILE_FLAG_DELETE_ON_CLOSE | FILE_FLAG_OPEN_REPARSE_POINT, nullptr);
                                   if (h != INVALID_HANDLE_VALUE) CloseHandle(h);
                               }
                           }));
        disposition =
            std::min(disposition, PerFile(box, folders, perFolder, nothing, [&] {
                         for (const std::string& path : paths) {
                             HANDLE h = CreateFileA(path.c_str(), GENERIC_READ | GENERIC_WRITE | DELETE,
                                                    FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                                                    FILE_FLAG_OPEN_REPARSE_POINT, nullptr);
                             if (h == INVALID_HANDLE_VALUE) continue;
                             BOOLEAN dispose = TRUE;  // FILE_DISPOSITION_INFO
                             lost |= !setInformation ||
                                     !setInformation(h, kFileDispositionInfo, &dispose, sizeof(dispose));
                             CloseHandle(h);
                         }
                     }));
        locked = std::min(locked, PerFile(box, folders, perFolder, nothing, [&] {
                              for (const std::string& path : paths) {
                                  if (!IsFileLocked(path.c_str())) DeleteFileA(path.c_str());
                              }
                          }));
        {
            testing_support::TestRun t;
            if (!load(t, 0)) return Fail("the steps' block does not load");
            plain = std::min(plain,
                             PerFile(box, folders, perFolder, nothing, [&] { RemoveInstalledFiles(t.run); }));
        }
        {
            testing_support::TestRun t;
            if (!load(t, format::kFileShared)) return Fail("the steps' block does not load");
            auto counts = [&] {
                for (const std::string& path : paths) lost |= !machine.SetSharedDllCount(path, 1);
            };
            shared = std::min(shared,
                              PerFile(box, folders, perFolder, counts, [&] { RemoveInstalledFiles(t.run); }));
        }
        {
            testing_support::TestRun t;
            if (!load(t, 0)) return Fail("the steps' block does not load");
            climbs = std::min(climbs, PerFile(
                                          box, folders, perFolder, [&] { RemoveInstalledFiles(t.run); },
                                          [&] { RemoveProgramFolders(t.run); }));
        }
        {
            testing_support::TestRun t;
            if (!load(t, format::kFileMustBeFree)) return Fail("the steps' block does not load");
            inUse = std::min(
                inUse, PerFile(box, folders, perFolder, nothing, [&] { lost |= FindFileInUse(t.run); }));
        }
    }
    if (lost)
        return Fail(
            "a shared count could not be set, a disposition could not be set, or the in-use check found a "
            "free file in use");
    std::printf("  %-52s %8.1f us per file\n", "DeleteFileA alone (the platform's limit):", bare);
    std::printf("  %-52s %8.1f us per file (%+.1f)\n",
                "one open, delete on close (the NT file pass):", onClose, onClose - bare);
    std::printf("  %-52s %8.1f us per file (%+.1f)\n", "one open, disposition set, close:", disposition,
                disposition - bare);
    std::printf("  %-52s %8.1f us per file (+%.1f)\n",
                "lock probe + DeleteFileA (attributes, open, close):", locked, locked - bare);
    std::printf("  %-52s %8.1f us per file (+%.1f)\n",
                "file pass, plain entries (attributes, one open, path):", plain, plain - bare);
    std::printf("  %-52s %8.1f us per file (+%.1f over plain)\n",
                "file pass, shared entries (count 1 -> value deleted):", shared, shared - plain);
    std::printf("  %-52s %8.1f us per file\n", "in-use check (lock probe per must-be-free entry):", inUse);
    std::printf("  %-52s %8.1f us per file\n",
                "program-folder pass after the file pass (per entry):", climbs);
    std::printf("  %-52s %8.1f ms per run\n", "protected-folder set, built on the first test:", set);
    std::fflush(stdout);
}

// ---- walk: what the wildcard walk adds per folder, measured in this process ---------------------

void WalkSection(unsigned rounds) {
    unsigned count = Setting("REMOVAL_BENCH_WALK_FOLDERS", 300);
    std::printf("walk: per folder, in this process (no start-up), %u empty folders; best of %u\n", count,
                rounds);
    testing_support::Sandbox box("RemovalBench.Walk");
    std::vector<std::string> folders;
    for (unsigned i = 0; i < count; ++i) folders.push_back(box.Path("w" + std::to_string(i)));
    testing_support::TestRun t;
    if (!CopyText(t.installFolder, (box.path() + "\\").c_str()))
        return Fail("the walk's sandbox path is too long");
    (void)IsProtectedFolder(t.run.paths, box.path().c_str());  // the set is built once per run
    double resolve = 1e30, final = 1e30, enter = 1e30, list = 1e30, remove = 1e30;
    bool wrong = false;
    auto perFolder = [&](double& best, const std::function<void(const std::string&)>& step) {
        double start = NowMs();
        for (const std::string& folder : folders) step(folder);
        best = std::min(best, (NowMs() - start) * 1000.0 / count);
    };
    for (unsigned round = 0; round < rounds && !wrong; ++round) {
        for (const std::string& folder : folders) wrong |= !testing_support::MakeFolders(folder);
        perFolder(resolve, [&](const std::string& folder) {
            char canonical[kPathBufferSize];
            wrong |= !ResolveRemovableFolder(t.run.paths, folder.c_str(), canonical);
        });
        perFolder(final, [&](const std::string& folder) {
            char path[kPathBufferSize];
            wrong |= ReadFinalFolderPath(folder.c_str(), path) == FinalPathResult::kUnreadable;
        });
        perFolder(enter, [&](const std::string& folder) {
            wrong |= !SetCurrentDirectoryA(folder.c_str()) || !SetCurrentDirectoryA(box.path().c_str());
        });
        perFolder(list, [&](const std::string& folder) {
            WIN32_FIND_DATAA found;
            HANDLE search = FindFirstFileA((folder + "\\*").c_str(), &found);
            if (search == INVALID_HANDLE_VALUE) wrong = true;
            while (search != INVALID_HANDLE_VALUE && FindNextFileA(search, &found)) {
            }
            if (search != INVALID_HANDLE_VALUE) FindClose(search);
        });
        perFolder(remove, [&](const std::string& folder) { wrong |= !RemoveDirectoryA(folder.c_str()); });
    }
    if (wrong) return Fail("a step of the walk failed on a plain folder");
    std::printf("  %-52s %8.1f us per folder\n",
                "protected test (canonical form, set, final path):", resolve);
    std::printf("  %-52s %8.1f us per folder\n", "  of which the final path (open, query, close):", final);
    std::printf("  %-52s %8.1f us per folder\n", "entering it and back (SetCurrentDirectoryA x2):", enter);
    std::printf("  %-52s %8.1f us per folder\n",
                "listing it (FindFirstFileA/FindNextFileA/FindClose):", list);
    std::printf("  %-52s %8.1f us per folder\n", "removing it (RemoveDirectoryA):", remove);
    std::fflush(stdout);
}

// ---- wildcard: a pattern over a two-level tree -------------------------------------------------

std::vector<std::string> PatternFolders(unsigned count) {
    unsigned top = std::max(1u, std::min(10u, count));
    unsigned below = count / top - 1;  // each top folder and its subfolders
    std::vector<std::string> folders;
    for (unsigned i = 0; i < top; ++i) {
        std::string parent = "Tree\\a" + std::to_string(i);
        folders.push_back(parent);
        for (unsigned j = 0; j < below; ++j) folders.push_back(parent + "\\b" + std::to_string(j));
    }
    return folders;
}

bool MakePatternTree(const std::string& root, const std::vector<std::string>& folders, unsigned perFolder) {
    for (const std::string& folder : folders) {
        if (!testing_support::MakeFolders(root + folder)) return false;
        for (unsigned j = 0; j < perFolder; ++j) {
            if (!MakeEmptyFile(root + folder + "\\" + ListedFile(j))) return false;
        }
    }
    return true;
}

void WildcardSection(unsigned rounds) {
    unsigned files = Setting("REMOVAL_BENCH_TREE_FILES", 10000);
    unsigned folderCount = std::min(Setting("REMOVAL_BENCH_TREE_FOLDERS", 1000), files);
    std::vector<std::string> folders = PatternFolders(folderCount);
    unsigned perFolder = files / static_cast<unsigned>(folders.size());
    std::printf(
        "wildcard: pattern Tree\\*.tmp over %zu files in %zu folders two levels deep; /S; best of %u\n",
        perFolder * folders.size(), folders.size(), rounds);
    e2e::Sandbox sandbox("RemovalBench.Wildcard");
    e2e::Installation& app = sandbox.NewInstallation();
    format::Block block;
    block.messages = BenchMessages();
    block.patterns = {"Tree\\*.tmp"};
    if (!sandbox.ok() || !PlacePrograms(app, block)) return;
    std::string root = app.folder();
    Best ours, minimal;
    for (unsigned round = 0; round < rounds; ++round) {
        if (!MakePatternTree(root, folders, perFolder)) return Fail("cannot build the pattern's tree");
        ours.Add(RunTimed(app.uninstaller(), "/S", root));
        if (Exists(app.Path("Tree"))) return Fail("the uninstaller left some of the pattern's tree");
        if (!MakePatternTree(root, folders, perFolder)) return Fail("cannot build the pattern's tree");
        minimal.Add(RunTimed(app.Path(kMinimalName), "tree \"" + app.Path("Tree") + "\" *.tmp", root));
        if (Exists(app.Path("Tree"))) return Fail("the minimal program left some of the pattern's tree");
    }
    std::printf(
        "  (minimal = FindFirstFileA/FindNextFileA per folder, DeleteFileA per file, RemoveDirectoryA per "
        "folder)\n");
    PrintComparison("wildcard pass:", ours, minimal, true);
    if (!sandbox.CanariesAlive(nullptr)) Fail("a canary of the wildcard section is gone");
}

// ---- registry: one key entry over a deep tree ---------------------------------------------------

// Keys breadth first, at most five levels, `count` in all: six below each, or as many more as five
// levels need to hold `count` (ten for 100,000).
std::vector<std::string> KeyTree(unsigned count) {
    unsigned wide = 6;
    for (;; ++wide) {
        uint64_t room = 0, level = 1;
        for (int depth = 0; depth < 5; ++depth) room += (level *= wide);
        if (room >= count) break;
    }
    std::vector<std::string> keys;
    std::vector<std::string> level = {""};
    for (int depth = 0; depth < 5 && keys.size() < count; ++depth) {
        std::vector<std::string> next;
        for (const std::string& parent : level) {
            for (unsigned i = 0; i < wide && keys.size() < count; ++i) {
                next.push_back(parent + (parent.empty() ? "" : "\\") + "k" + std::to_string(i));
                keys.push_back(next.back());
            }
        }
        level = std::move(next);
    }
    return keys;
}

bool MakeKeyTree(const std::string& base, const std::vector<std::string>& keys) {
    for (const std::string& key : keys) {
        HKEY made;
        if (RegCreateKeyExA(HKEY_CURRENT_USER, (base + "\\" + key).c_str(), 0, nullptr, 0, KEY_WRITE, nullptr,
                            &made, nullptr) != ERROR_SUCCESS) {
            return false;
        }
        RegCloseKey(made);
    }
    return true;
}

void RegistrySection(unsigned rounds) {
    std::vector<std::string> keys = KeyTree(Setting("REMOVAL_BENCH_KEYS", 100000));
    std::printf(
        "registry: one key entry over %zu keys, five levels deep, in HKCU\\Software; /S; best of %u\n",
        keys.size(), rounds);
    e2e::Sandbox sandbox("RemovalBench.Registry");
    e2e::Installation& app = sandbox.NewInstallation();
    std::string base = sandbox.keyPath() + "\\Tree";
    format::Block block;
    block.messages = BenchMessages();
    block.registry = {{kHkcu, base}};
    if (!sandbox.ok() || !PlacePrograms(app, block)) return;
    Best ours, minimal;
    for (unsigned round = 0; round < rounds; ++round) {
        if (!MakeKeyTree(base, keys)) return Fail("cannot build the key tree");
        ours.Add(RunTimed(app.uninstaller(), "/S", app.folder()));
        if (testing_support::KeyExists(HKEY_CURRENT_USER, base))
            return Fail("the uninstaller left some of the key tree");
        if (!MakeKeyTree(base, keys)) return Fail("cannot build the key tree");
        minimal.Add(RunTimed(app.Path(kMinimalName), "keys \"" + base + "\"", app.folder()));
        if (testing_support::KeyExists(HKEY_CURRENT_USER, base))
            return Fail("the minimal program left some of the key tree");
    }
    std::printf(
        "  (minimal = RegOpenKeyExA, RegEnumKeyExA at index 0 and RegDeleteKeyA per key, depth first)\n");
    PrintComparison("registry pass:", ours, minimal, true);
    if (!sandbox.CanariesAlive(nullptr)) Fail("a canary of the registry section is gone");
}

// ---- selfdelete: from the end of the uninstaller to its executable being gone ------------------

// Polls (bounded) until `done` holds; the time it first held, or a negative number.
double WhenDone(const std::function<bool()>& done, DWORD timeoutMs) {
    double limit = NowMs() + timeoutMs;
    for (;;) {
        double now = NowMs();
        if (done()) return now;
        if (now > limit) return -1;
        Sleep(1);
    }
}

void SelfDeleteSection(unsigned rounds) {
    std::printf("selfdelete: /Q (no closing box), one listed file; best of %u\n", rounds);
    e2e::Sandbox sandbox("RemovalBench.SelfDelete");
    if (!sandbox.ok()) return Fail(sandbox.error());
    char system[MAX_PATH];
    UINT n = GetSystemDirectoryA(system, MAX_PATH);
    if (n == 0 || n >= MAX_PATH) return Fail("no System folder");
    std::string interpreter = std::string(system) + "\\cmd.exe";
    std::string emptyBatch = sandbox.root() + "empty.bat";
    if (!testing_support::WriteFileText(emptyBatch, "")) return Fail("cannot write the empty batch");
    double gone = 1e30, ended = 1e30, empty = 1e30;
    for (unsigned round = 0; round < rounds; ++round) {
        e2e::Installation& app = sandbox.NewInstallation();
        format::Block block;
        block.messages = BenchMessages();
        block.files = {{".\\", "a.txt", 0}};
        std::string error;
        if (!app.AddFile("a.txt", "x") ||
            !e2e::PlaceUninstaller(app.uninstaller(), format::EncodeBlock(block), &error,
                                   BuildFolder() + "uninst.exe")) {
            return Fail("cannot place the self-deleting uninstaller: " + error);
        }
        ProcessFigures run = RunTimed(app.uninstaller(), "/Q", sandbox.root());
        if (!run.ok) return;
        std::string exe = app.uninstaller();
        double goneAt = WhenDone([&] { return !Exists(exe); }, kSelfDeleteTimeoutMs);
        double endedAt = WhenDone([&] { return run.job->ActiveProcesses() == 0; }, kSelfDeleteTimeoutMs);
        if (goneAt < 0 || endedAt < 0)
            return Fail("the executable or its batch is still there after the time limit");
        if (Exists(app.folder())) return Fail("the install folder is still there after the batch ended");
        gone = std::min(gone, goneAt - run.endedAt);
        ended = std::min(ended, endedAt - run.endedAt);

        // The same interpreter, started as the uninstaller starts it: by its full path, hidden, a new
        // console (the uninstaller has none), the same switches, from the System folder.
        STARTUPINFOA startup = {};
        startup.cb = sizeof(startup);
        startup.dwFlags = STARTF_USESHOWWINDOW;
        startup.wShowWindow = SW_HIDE;
        std::string commandLine = "\"" + interpreter + "\" /D /V:OFF /C \"\"" + emptyBatch + "\"\"";
        PROCESS_INFORMATION process = {};
        double start = NowMs();
        if (!CreateProcessA(interpreter.c_str(), commandLine.data(), nullptr, nullptr, FALSE,
                            CREATE_NEW_CONSOLE, nullptr, system, &startup, &process)) {
            return Fail("cannot start " + interpreter);
        }
        DWORD waited = WaitForSingleObject(process.hProcess, kSelfDeleteTimeoutMs);
        double end = NowMs();
        if (waited != WAIT_OBJECT_0) TerminateProcess(process.hProcess, 1);
        CloseHandle(process.hThread);
        CloseHandle(process.hProcess);
        if (waited != WAIT_OBJECT_0) return Fail("the empty batch still ran after the time limit");
        empty = std::min(empty, end - start);
    }
    std::printf("  %-58s %9.1f ms\n", "uninstaller ended -> its executable gone:", gone);
    std::printf("  %-58s %9.1f ms\n", "uninstaller ended -> the batch's interpreter ended too:", ended);
    std::printf("  %-58s %9.1f ms\n", "cmd.exe running an empty batch, start to end:", empty);
    std::printf("  %-58s %9.2fx\n", "ratio executable gone / empty batch:", gone / empty);
    std::fflush(stdout);
    if (!sandbox.CanariesAlive(nullptr)) Fail("a canary of the self-delete section is gone");
}

}  // namespace

int main() {
    unsigned rounds = Setting("REMOVAL_BENCH_ROUNDS", 3);
    if (SectionWanted("startup")) StartupSection(rounds);
    if (SectionWanted("files")) FilesSection(rounds);
    if (SectionWanted("whole")) WholeSection(rounds);
    if (SectionWanted("steps")) StepsSection(rounds);
    if (SectionWanted("walk")) WalkSection(rounds);
    if (SectionWanted("wildcard")) WildcardSection(rounds);
    if (SectionWanted("registry")) RegistrySection(rounds);
    if (SectionWanted("selfdelete")) SelfDeleteSection(rounds);
    return g_failures == 0 ? 0 : 1;
}
