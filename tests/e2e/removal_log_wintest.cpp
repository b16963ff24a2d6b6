// The removal log of the real uninstaller (/L=PATH): a whole installation whose items end each way
// (removed, not there, in use, not empty, protected, refused key, shared count, below a link), with the lines
// and the summary held against the snapshot of what the run changed; a run killed at a question leaves the
// lines up to its last pass boundary whole; a log path that is a folder, a link, a hard link, a read-only
// file, a device, a link to no file yet or a new file in a linked folder gives no log and changes nothing
// there or where the link leads, and the run still completes.
#include <fstream>
#include <gtest/gtest.h>
#include <map>
#include <sstream>

#include "e2e/e2e_fixture.h"
#include "support/font_file.h"
#include "support/helper_programs.h"
#include "support/sandbox.h"
#include "support/unix_side.h"

using namespace format;
using testing_support::Expected;
using testing_support::Snapshot;

namespace e2e_test {
namespace {

// One line of the log, split at its tabs.
using LogLine = std::vector<std::string>;

struct LogFile {
    bool exists = false;
    std::string text;
    std::vector<LogLine> lines;
};

LogFile ReadLog(const std::string& path) {
    LogFile log;
    std::ifstream in(path, std::ios::binary);
    if (!in) return log;
    log.exists = true;
    std::ostringstream all;
    all << in.rdbuf();
    log.text = all.str();
    size_t start = 0;
    for (size_t end; (end = log.text.find("\r\n", start)) != std::string::npos; start = end + 2) {
        LogLine fields;
        std::string line = log.text.substr(start, end - start);
        size_t from = 0;
        for (size_t tab; (tab = line.find('\t', from)) != std::string::npos; from = tab + 1) {
            fields.push_back(line.substr(from, tab - from));
        }
        fields.push_back(line.substr(from));
        log.lines.push_back(fields);
    }
    return log;
}

std::string Show(const LogFile& log) {
    return "the log:\n" + log.text;
}

// The number of lines equal to `line`.
size_t CountOf(const LogFile& log, const LogLine& line) {
    size_t n = 0;
    for (const LogLine& l : log.lines) n += l == line ? 1 : 0;
    return n;
}

// The lines before the passes: the format and its version, the time (ISO 8601 with the offset) with the
// family and the options, the computer and user with the elevation, the product with the install folder.
constexpr size_t kStartLines = 4;

void ExpectStartLines(const LogFile& log, const std::string& folder, const std::string& options) {
    ASSERT_GE(log.lines.size(), kStartLines) << Show(log);
    EXPECT_EQ(log.lines[0], (LogLine{"log", "format", "", "uninst removal log 2", "0.1.0"})) << Show(log);
    const LogLine& time = log.lines[1];
    ASSERT_EQ(time.size(), 5u) << Show(log);
    EXPECT_EQ(LogLine(time.begin(), time.begin() + 3), (LogLine{"start", "time", ""}));
    // 2026-12-11T14:05:09+01:00
    const std::string& t = time[3];
    bool iso = t.size() == 25 && t[4] == '-' && t[7] == '-' && t[10] == 'T' && t[13] == ':' && t[16] == ':' &&
               (t[19] == '+' || t[19] == '-') && t[22] == ':';
    for (size_t i : {0, 1, 2, 3, 5, 6, 8, 9, 11, 12, 14, 15, 17, 18, 20, 21, 23, 24})
        iso = iso && i < t.size() && t[i] >= '0' && t[i] <= '9';
    EXPECT_TRUE(iso) << t;
    EXPECT_TRUE(time[4].size() >= options.size() &&
                time[4].compare(time[4].size() - options.size(), options.size(), options) == 0)
        << time[4];
    const LogLine& user = log.lines[2];
    ASSERT_EQ(user.size(), 5u) << Show(log);
    EXPECT_EQ(LogLine(user.begin(), user.begin() + 3), (LogLine{"start", "user", ""}));
    EXPECT_NE(user[3].find('\\'), std::string::npos) << user[3];
    EXPECT_TRUE(user[4] == "elevated" || user[4] == "not elevated" || user[4] == "before UAC") << user[4];
    EXPECT_EQ(log.lines[3], (LogLine{"start", "product", "", TestMessages()[0], folder})) << Show(log);
}

std::string TempFolder() {
    char path[MAX_PATH];
    DWORD n = GetTempPathA(MAX_PATH, path);
    std::string folder(path, n);
    if (!folder.empty() && folder.back() == '\\') folder.pop_back();
    return folder;
}

class RemovalLogE2e : public E2eTest {
  protected:
    std::string Item(const e2e::Installation& app, const std::string& relative) const {
        return app.Path(relative).substr(sandbox_.root().size());
    }
    std::string LogPath(const std::string& name) const { return sandbox_.root() + name; }
    // The snapshot's item of the installation's key ("HKCU:App1\").
    std::string KeyItem(const e2e::Installation& app) const {
        return "HKCU:" + app.keyPath().substr(sandbox_.keyPath().size() + 1) + "\\";
    }
};

// Every item of a full installation with its result, and a summary whose counts are the lines'
// and whose removals are exactly the snapshot's.
TEST_F(RemovalLogE2e, EveryItemWithItsResultAndASummaryThatMatchesTheRun) {
    e2e::Installation& app = NewInstallation();
    ASSERT_TRUE(app.AddFile("held.dll", "held"));
    ASSERT_TRUE(app.AddFile("shared.dll", "shared"));
    ASSERT_TRUE(app.AddFile("Keep\\notes.txt", "not listed"));
    ASSERT_TRUE(Machine().SetSharedDllCount(app.Path("shared.dll"), 2));
    testing_support::LockedFile held(app.Path("held.dll"));
    ASSERT_TRUE(held.holding()) << held.error();

    Block block;
    block.messages = TestMessages();
    // Walked from the last entry to the first.
    block.files = {{".\\Keep", "", 0},
                   {TempFolder(), "", 0},
                   {".\\Data", "", 0},
                   {".\\", "app.txt", 0},
                   {".\\Data", "data.bin", 0},
                   {".\\", "held.dll", 0},
                   {".\\", "shared.dll", kFileShared},
                   {".\\", "gone.txt", 0},
                   {".\\Missing", "x.dll", 0}};
    block.registry = {
        {kHkcu, app.keyPath()}, {kHkcu, "Software\\Microsoft"}, {kHkcu, app.keyPath() + "\\\\Missing"}};
    block.patterns = {"Logs\\*.log", "#Windows#\\*.log"};  // no Logs folder; the Windows folder is refused
    Place(app, EncodeBlock(block));
    std::string logPath = LogPath("run.log");
    Snapshot before = TakeSnapshot();
    e2e::RunResult run = Run(app, "/S /L=" + logPath, robot::AnswerInOrder({}));
    EXPECT_EQ(run.exitCode, 1603);  // the refused pattern; the held file goes at the next restart
    EXPECT_TRUE(run.windows.empty()) << run.Describe();

    Expected expected;
    expected.removed = {Item(app, "app.txt"), Item(app, "Data\\"), Item(app, "Data\\data.bin"), KeyItem(app),
                        KeyItem(app) + "@Path"};
    expected.changed = {"SharedDLLs:@" + app.Path("shared.dll")};  // 2 becomes 1
    expected.added = {"run.log"};
    ExpectChanges(before, expected);

    LogFile log = ReadLog(logPath);
    ASSERT_TRUE(log.exists);
    ASSERT_GE(log.lines.size(), 2u) << Show(log);
    std::string folder = app.folder();
    ExpectStartLines(log, folder, "/Q /S");

    std::string key = "HKCU\\" + app.keyPath();
    std::string stem = folder.substr(0, folder.size() - 1);  // the install folder without its backslash
    // Each with the reference of its entry, as the plan names it.
    const LogLine wanted[] = {
        {"files", "delete", "files[8]", folder + "Missing\\x.dll", "not there"},  // its folder too
        {"files", "delete", "files[7]", folder + "gone.txt", "not there"},
        {"files", "delete", "files[6]", folder + "shared.dll", "kept: shared count now 1"},
        {"files", "delete", "files[5]", folder + "held.dll", "kept: in use, goes at restart"},
        {"files", "delete", "files[4]", folder + "Data\\data.bin", "removed"},
        {"files", "delete", "files[3]", folder + "app.txt", "removed"},
        {"files", "remove folder", "files[2]", folder + "Data", "removed"},
        {"files", "remove folder", "files[1]", TempFolder(), "kept: protected"},
        {"files", "remove folder", "files[0]", folder + "Keep", "kept: not empty"},
        {"patterns", "clean", "patterns[0]", "Logs\\*.log", "not there"},
        {"patterns", "clean", "patterns[1]", "#Windows#\\*.log", "kept: refused"},
        {"programFolders", "remove folder", "files[2]", folder + "Data", "not there"},
        {"programFolders", "remove folder", "files[3]", stem, "kept: not empty"},
        {"registry", "delete key", "registry[0]", key, "removed"},
        {"registry", "delete key", "registry[1]", "HKCU\\Software\\Microsoft", "kept: refused key"},
        {"registry", "delete value", "registry[2]", key + "\\\\Missing", "not there"},
    };
    size_t at = 0;  // the lines of the run in the order of the run
    for (const LogLine& line : wanted) {
        size_t found = at;
        while (found < log.lines.size() && log.lines[found] != line) ++found;
        EXPECT_LT(found, log.lines.size()) << "missing or out of order: " << line[0] << " | " << line[1]
                                           << " | " << line[2] << " | " << line[3] << " | " << line[4] << "\n"
                                           << Show(log);
        if (found < log.lines.size()) at = found;
    }

    // The summary: the last line, its counts those of the item lines by their class; every removal
    // it counts is one the snapshot saw (the key's value went with its key).
    const std::set<std::string> onPurpose = {"kept: not empty", "kept: protected", "kept: refused key",
                                             "kept: answered No"};
    std::map<std::string, int> counts;
    std::set<std::string> removedPaths;
    for (size_t i = kStartLines; i + 1 < log.lines.size(); ++i) {
        const LogLine& line = log.lines[i];
        ASSERT_EQ(line.size(), 5u) << Show(log);
        if (line[1] == "ask" || line[1] == "run") continue;
        const std::string& result = line[4];
        std::string kind = result == "kept: in use, goes at restart" ? "at restart"
                           : onPurpose.count(result) != 0 || result.rfind("kept: shared count now ", 0) == 0
                               ? "kept on purpose"
                           : result.rfind("kept: ", 0) == 0 ? "problems"
                                                            : result;
        ++counts[kind];
        if (result == "removed") removedPaths.insert(line[3]);
    }
    EXPECT_EQ(removedPaths,
              (std::set<std::string>{folder + "app.txt", folder + "Data", folder + "Data\\data.bin", key}));
    EXPECT_EQ(log.lines.back(),
              (LogLine{"summary", "completed", "",
                       "removed " + std::to_string(counts["removed"]) + ", kept on purpose " +
                           std::to_string(counts["kept on purpose"]) + ", problems " +
                           std::to_string(counts["problems"]) + ", at restart " +
                           std::to_string(counts["at restart"]) + ", not there " +
                           std::to_string(counts["not there"]),
                       "exit code 1603"}))
        << Show(log);
    EXPECT_EQ(counts["removed"], 4) << Show(log);
    EXPECT_EQ(counts["at restart"], 1) << Show(log);
    EXPECT_EQ(counts["problems"], 1) << Show(log);  // the refused pattern
    EXPECT_EQ(log.text.size() >= 2 ? log.text.substr(log.text.size() - 2) : "", "\r\n");
}

// A link planted in place of a folder of the installation: its entries stay, and the log says
// why; what the link leads to keeps everything.
TEST_F(RemovalLogE2e, EntriesBelowALinkAreKeptAndSaidToBe) {
    e2e::Installation& app = NewInstallation();
    ASSERT_TRUE(testing_support::PlaceFile(sandbox_.root() + "Victim\\a.dll", "victim"));
    std::string why;
    ASSERT_TRUE(testing_support::MakeUnixLink(app.Path("Bin"), sandbox_.root() + "Victim", &why)) << why;
    Block block;
    block.messages = TestMessages();
    block.files = {{".\\Bin", "", 0}, {".\\Bin", "a.dll", 0}, {".\\", "app.txt", 0}};
    Place(app, EncodeBlock(block));
    std::string logPath = LogPath("links.log");
    Snapshot before = TakeSnapshot();
    e2e::RunResult run = Run(app, "/S /L=" + logPath, robot::AnswerInOrder({}));
    EXPECT_EQ(run.exitCode, 1603);  // what should have gone and stayed: a deployment tool hears of it
    ExpectChanges(before, {.removed = {Item(app, "app.txt")}, .added = {"links.log"}});
    LogFile log = ReadLog(logPath);
    EXPECT_EQ(CountOf(log, {"files", "delete", "files[2]", app.Path("app.txt"), "removed"}), 1u) << Show(log);
    EXPECT_EQ(CountOf(log, {"files", "delete", "files[1]", app.Path("Bin\\a.dll"), "kept: below a link"}), 1u)
        << Show(log);
    EXPECT_EQ(CountOf(log, {"files", "remove folder", "files[0]", app.Path("Bin"), "kept: below a link"}), 1u)
        << Show(log);
}

// What a removal does beside its file has lines of its own, counted in no class: the shared count
// deleted with the last user's file, the font resource and the font's value, the server's
// unregistration with the tool's exit code; and after the passes, the self-delete.
TEST_F(RemovalLogE2e, SideEffectsAndTheSelfDeleteHaveLinesOfTheirOwn) {
    e2e::Installation& app = NewInstallation();
    std::string font = Machine().FontName("Logged");
    ASSERT_TRUE(app.AddFileBytes("Fonts\\logged.ttf", testing_support::SimpleFont(font)));
    ASSERT_TRUE(Machine().SetFontValue(testing_support::Family::kNt, font, app.Path("Fonts\\logged.ttf")));
    ASSERT_TRUE(app.AddFile("shared.dll", "last user"));
    ASSERT_TRUE(Machine().SetSharedDllCount(app.Path("shared.dll"), 1));
    ASSERT_TRUE(testing_support::MakeFolders(app.Path("Bin")));
    ASSERT_TRUE(testing_support::CopyBuildFile("trace_server.dll", app.Path("Bin\\server.dll")));
    Block block = InstallationBlock(app);
    block.files.push_back({".\\Fonts", "logged.ttf", kFileFont});
    block.files.push_back({".\\", "shared.dll", kFileShared});
    block.files.push_back({".\\Bin", "server.dll", kFileSelfRegister});
    Place(app, EncodeBlock(block));
    std::string logPath = LogPath("effects.log");
    // /Q: the shared-file question is asked (its text is not empty) and answered Yes.
    e2e::RunResult run = Run(app, "/Q /L=" + logPath, robot::AnswerInOrder({robot::Click(IDYES)}));
    std::string why;
    ASSERT_TRUE(e2e::WaitForRunToEnd(run, e2e::kRunTimeoutMs, &why)) << why;
    EXPECT_EQ(run.exitCode, 0);
    LogFile log = ReadLog(logPath);
    for (const LogLine& line : log.lines) EXPECT_EQ(line.size(), 5u) << Show(log);
    const LogLine wanted[] = {
        {"files", "unregister", "files[5]", app.Path("Bin\\server.dll"), "exit code 0"},
        {"files", "delete", "files[5]", app.Path("Bin\\server.dll"), "removed"},
        {"files", "delete shared count", "files[4]", app.Path("shared.dll"), "removed"},
        {"files", "delete", "files[4]", app.Path("shared.dll"), "removed"},
        // Nothing in the test's session loaded the font: its resource is not there to remove.
        {"files", "remove font", "files[3]", app.Path("Fonts\\logged.ttf"), "not there"},
        {"files", "delete font value", "files[3]", font + " (TrueType)", "removed"},
        {"files", "delete", "files[3]", app.Path("Fonts\\logged.ttf"), "removed"},
        {"closing", "self-delete", "", app.uninstaller(), "started"},
    };
    size_t at = 0;
    for (const LogLine& line : wanted) {
        size_t found = at;
        while (found < log.lines.size() && log.lines[found] != line) ++found;
        EXPECT_LT(found, log.lines.size()) << "missing or out of order: " << line[1] << " " << line[3] << "\n"
                                           << Show(log);
        if (found < log.lines.size()) at = found;
    }
    // Six removals: app.txt, data.bin, Data, the three files; and the key. The lines of no count are not in
    // it.
    EXPECT_EQ(log.lines.back()[3].rfind("removed 7, kept on purpose", 0), 0u) << Show(log);
}

// The questions with their answers, the run-first program with its exit code, and a cancelled run:
// a refused confirmation removes nothing and says so.
TEST_F(RemovalLogE2e, QuestionsAnswersRunFirstAndCancellation) {
    const std::vector<std::string> m = TestMessages();
    {
        SCOPED_TRACE("cancelled");
        e2e::Installation& app = NewInstallation();
        Place(app, EncodeBlock(InstallationBlock(app)));
        std::string logPath = LogPath("cancelled.log");
        Snapshot before = TakeSnapshot();
        e2e::RunResult run = Run(app, "/L=" + logPath, robot::AnswerInOrder({robot::Click(IDCANCEL)}));
        EXPECT_EQ(run.exitCode, 0);
        ExpectChanges(before, {.added = {"cancelled.log"}});
        LogFile log = ReadLog(logPath);
        ASSERT_EQ(log.lines.size(), kStartLines + 2) << Show(log);
        ExpectStartLines(log, app.folder(), "");
        EXPECT_EQ(log.lines[kStartLines], (LogLine{"start", "ask", "", m[kMsgConfirm], "Cancel"}));
        EXPECT_EQ(
            log.lines[kStartLines + 1],
            (LogLine{"summary", "cancelled", "",
                     "removed 0, kept on purpose 0, problems 0, at restart 0, not there 0", "exit code 0"}));
    }
    {
        SCOPED_TRACE("read-only question and run-first program");
        e2e::Installation& app = NewInstallation();
        ASSERT_TRUE(app.AddFile("ro.txt", "read-only", testing_support::kReadOnly));
        ASSERT_TRUE(app.AddFile("ro2.txt", "read-only", testing_support::kReadOnly));
        std::string probe = app.Path("first.exe");
        ASSERT_TRUE(CopyFileA((testing_support::BuildFolder() + "probe.exe").c_str(), probe.c_str(), FALSE));
        Block block;
        block.messages = TestMessages();
        block.files = {{".\\", "ro2.txt", 0}, {".\\", "ro.txt", 0}};
        block.settings = SettingsSpec{kSettingsWaitForRun, "\"first.exe\" --exit=7", std::nullopt};
        Place(app, EncodeBlock(block));
        std::string logPath = LogPath("questions.log");
        e2e::RunResult run =
            Run(app, "/S /L=" + logPath, robot::AnswerInOrder({robot::Click(IDNO), robot::Click(IDYES)}));
        EXPECT_EQ(run.exitCode, 0);
        EXPECT_TRUE(testing_support::Exists(app.Path("ro.txt"))) << "answered No";
        EXPECT_FALSE(testing_support::Exists(app.Path("ro2.txt"))) << "answered Yes";
        LogFile log = ReadLog(logPath);
        EXPECT_EQ(CountOf(log, {"runFirst", "run", "settings.runFirst", probe, "exit code 7"}), 1u)
            << Show(log);
        EXPECT_EQ(CountOf(log, {"files", "ask", "files[1]",
                                FormatWith(m[kMsgReadOnlyQuestion], app.Path("ro.txt")), "No"}),
                  1u)
            << Show(log);
        EXPECT_EQ(CountOf(log, {"files", "delete", "files[1]", app.Path("ro.txt"), "kept: answered No"}), 1u)
            << Show(log);
        EXPECT_EQ(CountOf(log, {"files", "ask", "files[0]",
                                FormatWith(m[kMsgReadOnlyQuestion], app.Path("ro2.txt")), "Yes"}),
                  1u)
            << Show(log);
        EXPECT_EQ(CountOf(log, {"files", "delete", "files[0]", app.Path("ro2.txt"), "removed"}), 1u)
            << Show(log);
    }
}

// The 9x family writes the same log; a quoted path may hold blanks, and a "-" or "/" in it sets
// no option (with /Q read from "-Q" the run would delete itself); a relative path is taken from the
// current folder.
TEST_F(RemovalLogE2e, NineXFamilyQuotedAndRelativePaths) {
    struct Case {
        const char* what;
        std::string argument;  // after "/L="
        std::string log;       // where the log is then
    } cases[] = {
        {"quoted, with blanks", "\"" + LogPath("with blank -Q.log") + "\"", LogPath("with blank -Q.log")},
        {"relative", "relative.log",
         LogPath("relative.log")},  // the run's current folder is the sandbox's root
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        e2e::Installation& app = NewInstallation(testing_support::Family::k9x);
        Place(app, EncodeBlock(InstallationBlock(app)));
        e2e::RunResult run = Run(app, "/S /L=" + c.argument, robot::AnswerInOrder({}));
        EXPECT_EQ(run.exitCode, 0);
        std::string why;
        ASSERT_TRUE(e2e::WaitForRunToEnd(run, e2e::kRunTimeoutMs, &why)) << why;
        EXPECT_TRUE(testing_support::Exists(app.uninstaller())) << "/S keeps the uninstaller";
        LogFile log = ReadLog(c.log);
        ASSERT_GE(log.lines.size(), 2u) << Show(log);
        ExpectStartLines(log, app.folder(), "/Q /S");
        EXPECT_EQ(log.lines[1][4], "9x /Q /S") << Show(log);
        EXPECT_EQ(CountOf(log, {"files", "delete", "files[0]", app.Path("app.txt"), "removed"}), 1u)
            << Show(log);
        EXPECT_EQ(log.lines.back()[0], "summary") << Show(log);
        EXPECT_EQ(log.lines.back()[1], "completed") << Show(log);
    }
}

// A run killed while it waits for an answer leaves a log of whole lines: the start line, written
// out at the first pass boundary, and no summary.
TEST_F(RemovalLogE2e, KilledRunLeavesTheLinesUpToItsLastPassBoundary) {
    e2e::Installation& app = NewInstallation();
    ASSERT_TRUE(app.AddFile("ro.txt", "read-only", testing_support::kReadOnly));
    Block block;
    block.messages = TestMessages();
    block.files = {{".\\", "ro.txt", 0}, {".\\", "app.txt", 0}};
    Place(app, EncodeBlock(block));
    std::string logPath = LogPath("killed.log");
    bool killed = false;
    e2e::RunResult run = Run(app, "/S /L=" + logPath, [&](const robot::SeenWindow& window, size_t) {
        // The read-only question of the file pass: the run ends here, as a deployment tool would end it.
        HANDLE process = OpenProcess(PROCESS_TERMINATE, FALSE, window.processId);
        if (process) {
            killed = TerminateProcess(process, 9) != FALSE;
            CloseHandle(process);
        }
        return robot::Ignore();
    });
    ASSERT_TRUE(killed) << run.Describe();
    std::string why;
    ASSERT_TRUE(e2e::WaitForRunToEnd(run, e2e::kRunTimeoutMs, &why)) << why;
    LogFile log = ReadLog(logPath);
    ASSERT_TRUE(log.exists);
    ASSERT_FALSE(log.lines.empty()) << Show(log);
    ExpectStartLines(log, app.folder(), "/Q /S");
    EXPECT_EQ(log.text.substr(log.text.size() - 2), "\r\n") << "a line cut short:\n" << Show(log);
    for (const LogLine& line : log.lines) {
        EXPECT_EQ(line.size(), 5u) << Show(log);
        EXPECT_NE(line[0], "summary") << Show(log);
    }
}

// A log path that must not be written: nothing is written there or through it, no log appears
// anywhere else, and the run removes the installation as it would without /L.
TEST_F(RemovalLogE2e, PathThatMustNotBeWrittenGivesNoLogAndTheRunCompletes) {
    enum class Kind { kFolder, kUnixLink, kHardLink, kReadOnly, kDevice, kDanglingLink, kLinkedFolder };
    struct Case {
        const char* what;
        Kind kind;
    } cases[] = {
        {"a folder", Kind::kFolder},
        {"a symbolic link to a file", Kind::kUnixLink},
        {"a second hard link", Kind::kHardLink},
        {"a read-only file", Kind::kReadOnly},
        {"a device name", Kind::kDevice},
        {"a symbolic link to no file yet", Kind::kDanglingLink},
        {"a file in a linked folder", Kind::kLinkedFolder},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        e2e::Installation& app = NewInstallation();
        Place(app, EncodeBlock(InstallationBlock(app)));
        std::string name = "bad" + std::to_string(static_cast<int>(c.kind));
        std::string path = LogPath(name + ".log");
        std::string target = LogPath(name + "-target.txt");
        switch (c.kind) {
            case Kind::kFolder:
                ASSERT_TRUE(CreateDirectoryA(path.c_str(), nullptr));
                break;
            case Kind::kUnixLink: {
                ASSERT_TRUE(sandbox_.folder().Write(name + "-target.txt", "keep me"));
                std::string why;
                std::string unixTarget = testing_support::UnixPath(target);
                std::string unixLink = testing_support::UnixPath(sandbox_.root()) + "/" + name + ".log";
                ASSERT_FALSE(unixTarget.empty());
                ASSERT_TRUE(
                    testing_support::RunUnixShell("ln -s '" + unixTarget + "' '" + unixLink + "'", &why))
                    << why;
                break;
            }
            case Kind::kHardLink:
                ASSERT_TRUE(sandbox_.folder().Write(name + "-target.txt", "keep me"));
                ASSERT_TRUE(CreateHardLinkA(path.c_str(), target.c_str(), nullptr));
                break;
            case Kind::kReadOnly:
                ASSERT_TRUE(sandbox_.folder().Write(name + ".log", "keep me", testing_support::kReadOnly));
                break;
            case Kind::kDevice:
                path = sandbox_.root() + "nul";
                break;
            // The log's new file would be created in the folder the link leads to, before any check
            // on the open file could refuse it.
            case Kind::kDanglingLink:
            case Kind::kLinkedFolder: {
                bool folder = c.kind == Kind::kLinkedFolder;
                ASSERT_TRUE(CreateDirectoryA(LogPath(name + "-elsewhere").c_str(), nullptr));
                std::string unixTarget = testing_support::UnixPath(LogPath(name + "-elsewhere"));
                ASSERT_FALSE(unixTarget.empty());
                std::string unixLink =
                    testing_support::UnixPath(sandbox_.root()) + "/" + name + (folder ? "-folder" : ".log");
                std::string why;
                ASSERT_TRUE(testing_support::RunUnixShell(
                    "ln -s '" + unixTarget + (folder ? "" : "/new.log") + "' '" + unixLink + "'", &why))
                    << why;
                if (folder) path = LogPath(name + "-folder\\new.log");
                break;
            }
        }
        Snapshot before = TakeSnapshot();
        e2e::RunResult run = Run(app, "/S /L=" + path, robot::AnswerInOrder({}));
        EXPECT_EQ(run.exitCode, 0);
        Expected expected;
        expected.removed = testing_support::ItemsUnder(before, Item(app, ""));
        expected.removed.erase(Item(app, ""));
        expected.removed.erase(Item(app, app.exeName()));
        for (const std::string& item : testing_support::ItemsUnder(before, KeyItem(app)))
            expected.removed.insert(item);
        ExpectChanges(before, expected);  // the target and the path as they were; no log beside them
    }
}

}  // namespace
}  // namespace e2e_test
