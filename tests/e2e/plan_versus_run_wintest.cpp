// The dry run proven against the real run: for an installation, `uninstpack plan --json` (the host
// build's packer, run on the Unix side) says what the uninstaller will remove; the test plays that
// plan on a snapshot of the sandbox, runs the uninstaller with /S, and checks that exactly the items
// the plan announced went, item for item, and nothing else.
#include <algorithm>
#include <cctype>
#include <gtest/gtest.h>
#include <nlohmann/json.hpp>
#include <optional>
#include <random>
#include <set>

#include "e2e/e2e_fixture.h"
#include "e2e/token_places.h"
#include "support/snapshot.h"
#include "support/unix_side.h"

namespace e2e_test {
namespace {

using testing_support::Snapshot;
using Items = std::set<std::string>;

bool StartsWithNoCase(const std::string& text, const std::string& prefix) {
    return testing_support::StartsWithNoCase(text, prefix);
}

// A glob of '*' and '?', ASCII case ignored: the generated names have no short-name aliases, so
// this is all the masks need here.
bool Glob(const char* name, const char* mask) {
    if (*mask == '\0') return *name == '\0';
    if (*mask == '*') return Glob(name, mask + 1) || (*name != '\0' && Glob(name + 1, mask));
    if (*name == '\0') return false;
    if (*mask != '?' &&
        toupper(static_cast<unsigned char>(*mask)) != toupper(static_cast<unsigned char>(*name)))
        return false;
    return Glob(name + 1, mask + 1);
}

// The items of the sandbox as the plan's run leaves them: each plan item applied in order.
class PlanModel {
  public:
    PlanModel(const Snapshot& before, std::string root, std::string keyPath)
        : root_(std::move(root)), keyPath_(std::move(keyPath)) {
        for (const auto& item : before) items_.insert(item.first);
        char temp[MAX_PATH] = {};
        DWORD n = GetTempPathA(MAX_PATH, temp);
        temp_ = n && n < MAX_PATH ? temp : "";
        while (!temp_.empty() && temp_.back() == '\\') temp_.pop_back();
    }

    // A folder outside the sandbox whose snapshot items carry `label` ("#AppData#:Vendor\"), and the
    // token whose folder holds it, as the plan shows paths below it.
    void AddPlace(const TokenPlace& place) {
        places_.push_back({place.folder() + "\\", place.token() + ":"});
        tokens_.push_back({place.token(), place.tokenFolder()});
    }

    // Plays one plan (the JSON of `uninstpack plan --json`, read by its fields); false with `why` for
    // an item it cannot read.
    bool Play(const nlohmann::json& plan, std::string* why) {
        if (plan.value("formatVersion", 0) != 2) return Fail(why, "a plan of another format version");
        for (const auto& pass : plan["passes"]) {
            for (const auto& item : pass["items"]) {
                if (!Apply(pass["name"], item, why)) return false;
            }
        }
        return true;
    }

    // The run's link check, which the plan names but cannot make: `link` (a snapshot item, "App1\Bin\")
    // is a junction or link below the installation, so nothing at or below it is acted on.
    void AddLink(const std::string& link) { links_.push_back(link); }

    // The installation reached through the link `via` (a path, "<root>Via\") to the folder `item` is
    // ("App1\"): the plan's paths through the link name the snapshot's items of the folder.
    void AddAlias(const std::string& via, const std::string& item) { aliases_.push_back({via, item}); }

    Items Removed(const Snapshot& before) const {
        Items gone;
        for (const auto& item : before) {
            if (!items_.count(item.first)) gone.insert(item.first);
        }
        return gone;
    }

  private:
    bool Apply(const std::string& pass, const nlohmann::json& item, std::string* why) {
        if (item.value("outcome", "") != "remove") return true;
        std::string target = item.value("target", "");
        std::string path = item.value("path", "");
        if (pass == "files" || pass == "shortcutFiles") {
            if (target == "file") DeleteFile(path);
            if (target == "folder") RemoveFolder(path);
        } else if (pass == "patterns") {
            std::string folder = item.value("folder", ""), mask = item.value("mask", "");
            if (folder.empty() || mask.empty())
                return Fail(why, "no folder or mask for the pattern of " + path);
            Clean(folder, mask);
        } else if (pass == "shortcutFolders") {
            RemoveFolder(path);
            std::string second = item.value("secondFolder", "");
            if (!second.empty()) RemoveFolder(second);
        } else if (pass == "programFolders") {
            for (std::string folder = path; RemoveFolder(folder);) folder = testing_support::FolderOf(folder);
        } else if (pass == "registry" && target == "key") {
            std::string key = KeyItem(path);
            if (key.empty()) return Fail(why, "a key outside the sandbox: " + path);
            for (auto it = items_.begin(); it != items_.end();) {
                it = StartsWithNoCase(*it, key) ? items_.erase(it) : std::next(it);
            }
        } else if (pass == "registry" && target == "value") {
            std::string key = KeyItem(item.value("key", ""));
            if (key.empty() || !item.contains("valueName"))
                return Fail(why, "a value outside the sandbox: " + path);
            EraseNoCase(key + "@" + item.value("valueName", ""));
        }
        return true;
    }

    static bool Fail(std::string* why, const std::string& text) {
        *why = text;
        return false;
    }

    // The snapshot item of a path in the sandbox ("App1\Data\"), or empty for a path outside it.
    std::string FolderItem(std::string path) const {
        if (StartsWithNoCase(path, "#TempDir#")) path = temp_ + path.substr(9);
        for (const auto& alias : aliases_) {
            std::string via = alias.first.substr(0, alias.first.size() - 1);  // without its backslash
            if (StartsWithNoCase(path, via) && (path.size() == via.size() || path[via.size()] == '\\')) {
                path = root_ + alias.second.substr(0, alias.second.size() - 1) + path.substr(via.size());
            }
        }
        for (const auto& token : tokens_) {
            if (StartsWithNoCase(path, token.first)) path = token.second + path.substr(token.first.size());
        }
        for (const auto& place : places_) {
            if (StartsWithNoCase(path, place.first) && path.size() > place.first.size()) {
                return place.second + path.substr(place.first.size());
            }
        }
        if (!StartsWithNoCase(path, root_) || path.size() <= root_.size()) return "";
        std::string item = path.substr(root_.size());
        return IsThroughLink(item) ? "" : item;
    }

    bool IsThroughLink(const std::string& item) const {
        for (const auto& link : links_) {
            if (StartsWithNoCase(item + "\\", link)) return true;
        }
        return false;
    }

    // "HKCU\<sandbox key>\A\B" as the snapshot names it: "HKCU:A\B\".
    std::string KeyItem(const std::string& path) const {
        std::string prefix = "HKCU\\" + keyPath_ + "\\";
        if (!StartsWithNoCase(path, prefix)) return "";
        std::string key = path.substr(prefix.size());
        while (!key.empty() && key.back() == '\\') key.pop_back();
        return "HKCU:" + key + "\\";
    }

    void EraseNoCase(const std::string& item) {
        for (auto it = items_.begin(); it != items_.end(); ++it) {
            if (testing_support::StartsWithNoCase(*it, item) && it->size() == item.size()) {
                items_.erase(it);
                return;
            }
        }
    }

    void DeleteFile(const std::string& path) {
        std::string item = FolderItem(path);
        if (!item.empty()) EraseNoCase(item);
    }

    bool HasChildren(const std::string& folder) const {
        for (const auto& item : items_) {
            if (item.size() > folder.size() && StartsWithNoCase(item, folder)) return true;
        }
        return false;
    }

    bool Has(const std::string& item) const {
        return std::any_of(items_.begin(), items_.end(), [&](const std::string& i) {
            return i.size() == item.size() && StartsWithNoCase(i, item);
        });
    }

    // Removes the folder when it is there and empty; true when it went.
    bool RemoveFolder(const std::string& path) {
        std::string item = FolderItem(path);
        if (item.empty()) return false;
        if (item.back() != '\\') item += '\\';
        if (!Has(item) || HasChildren(item)) return false;
        EraseNoCase(item);
        return true;
    }

    void Clean(const std::string& path, const std::string& mask) {
        std::string folder = FolderItem(path);
        if (folder.empty()) return;
        if (folder.back() != '\\') folder += '\\';
        if (!Has(folder)) return;
        std::vector<std::string> folders;
        for (auto it = items_.begin(); it != items_.end();) {
            bool below = it->size() > folder.size() && StartsWithNoCase(*it, folder) && !IsThroughLink(*it);
            if (below && it->back() == '\\') folders.push_back(*it);
            bool match =
                below && it->back() != '\\' && Glob(testing_support::NameOf(*it).c_str(), mask.c_str());
            it = match ? items_.erase(it) : std::next(it);
        }
        // The deepest folders first, then the folder itself.
        std::sort(folders.begin(), folders.end(), [](const std::string& a, const std::string& b) {
            return std::count(a.begin(), a.end(), '\\') > std::count(b.begin(), b.end(), '\\');
        });
        folders.push_back(folder);
        for (const auto& f : folders) {
            if (!HasChildren(f)) EraseNoCase(f);
        }
    }

    std::set<std::string> items_;
    std::string root_, keyPath_, temp_;
    std::vector<std::pair<std::string, std::string>> places_;  // folder with its backslash, label
    std::vector<std::pair<std::string, std::string>> tokens_;  // token, its folder
    std::vector<std::string> links_;
    std::vector<std::pair<std::string, std::string>> aliases_;
};

class PlanVersusRun : public E2eTest {
  protected:
    // `uninstpack plan --json` of the placed uninstaller, with the installation's folder.
    std::optional<nlohmann::json> RunPlan(const e2e::Installation& app, const std::string& installDir,
                                          std::string* why) {
        std::string packer =
            testing_support::UnixPath(testing_support::BuildFolder() + "..\\host\\uninstpack");
        std::string exe = testing_support::UnixPath(app.uninstaller());
        std::string out = testing_support::UnixPath(app.Path("..\\plan.json"));
        if (packer.empty() || exe.empty() || out.empty()) {
            *why = "no Unix paths here";
            return std::nullopt;
        }
        if (!testing_support::RunUnixShell("'" + packer + "' plan --json --install-dir '" + installDir +
                                               "' '" + exe + "' > '" + out + "'",
                                           why)) {
            return std::nullopt;
        }
        auto text = testing_support::ReadFileText(app.Path("..\\plan.json"));
        DeleteFileA(app.Path("..\\plan.json").c_str());
        if (!text) {
            *why = "the plan was not written";
            return std::nullopt;
        }
        return nlohmann::json::parse(*text, nullptr, false);
    }

    // The sandbox and the folders of the test's own below token folders.
    Snapshot TakeAll(const std::vector<const TokenPlace*>& places) const {
        Snapshot snapshot = TakeSnapshot();
        for (const TokenPlace* place : places) testing_support::Add(snapshot, place->Take());
        return snapshot;
    }

    // What the disk holds that the plan cannot see: links below the installation (snapshot items), and
    // a link the installation is reached through (its path, with a backslash; empty: none). And the
    // folders of the test's own below token folders that the run works in too.
    struct Links {
        std::vector<std::string> inside;
        std::string via;
        std::vector<const TokenPlace*> places;
    };

    // Places the block, plans it, runs it with /S, and compares item for item, in the sandbox and in
    // the token places.
    void ExpectRunAsPlanned(const e2e::Installation& app, const format::Block& block,
                            const Links& links = {}) {
        const std::vector<const TokenPlace*>& places = links.places;
        Place(app, format::EncodeBlock(block));
        std::string why;
        std::string installDir = links.via.empty() ? app.folder() : links.via;
        auto plan = RunPlan(app, installDir, &why);
        if (!plan && why.find("cannot be started") != std::string::npos) GTEST_SKIP() << why;
        ASSERT_TRUE(plan && !plan->is_discarded()) << why;
        Snapshot before = TakeAll(places);
        PlanModel model(before, sandbox_.root(), sandbox_.keyPath());
        for (const TokenPlace* place : places) model.AddPlace(*place);
        for (const auto& link : links.inside) model.AddLink(link);
        if (!links.via.empty()) model.AddAlias(links.via, app.folder().substr(sandbox_.root().size()));
        ASSERT_TRUE(model.Play(*plan, &why)) << why;
        Items planned = model.Removed(before);
        // The log goes outside the sandbox, whose every change is compared.
        std::string logPath = TempLogPath();
        std::string options = "/S /L=\"" + logPath + "\"";
        e2e::RunResult run = links.via.empty() ? Run(app, options, robot::AnswerInOrder({}))
                                               : e2e::RunWithRobot(installDir + app.exeName(), options,
                                                                   sandbox_.root(), robot::AnswerInOrder({}));
        ASSERT_TRUE(run.started) << run.error;
        ASSERT_TRUE(e2e::WaitForRunToEnd(run, e2e::kRunTimeoutMs, &why)) << why;
        // A link below the installation keeps what it would have redirected: a problem to report.
        if (links.inside.empty()) EXPECT_EQ(run.exitCode, 0);
        std::string surprises = testing_support::Unexpected(before, TakeAll(places), {.removed = planned});
        EXPECT_TRUE(surprises.empty()) << "the run changed otherwise than planned:\n" << surprises;
        EXPECT_FALSE(planned.empty());
        std::optional<std::string> log = testing_support::ReadFileText(logPath);
        DeleteFileA(logPath.c_str());
        ASSERT_TRUE(log) << "no log at " << logPath;
        ExpectPlanJoinsLog(*plan, *log, run.exitCode);
    }

    static std::string TempLogPath() {
        char temp[MAX_PATH] = {};
        DWORD n = GetTempPathA(MAX_PATH, temp);
        return std::string(temp, n) + "uninst-plan-" + std::to_string(GetCurrentProcessId()) + ".log";
    }

    // The plan and the log of the run join on the entries' references: every removal the plan
    // announces has a line of the same pass and action for its entry (a range "files[4..9]", a run of
    // entries the plan shows as one, for one of them), and the summary's exit code is the run's.
    static void ExpectPlanJoinsLog(const nlohmann::json& plan, const std::string& log, int exitCode) {
        std::vector<std::vector<std::string>> lines;
        for (size_t start = 0, end; (end = log.find("\r\n", start)) != std::string::npos; start = end + 2) {
            std::vector<std::string> fields;
            std::string line = log.substr(start, end - start);
            size_t from = 0;
            for (size_t tab; (tab = line.find('\t', from)) != std::string::npos; from = tab + 1)
                fields.push_back(line.substr(from, tab - from));
            fields.push_back(line.substr(from));
            ASSERT_EQ(fields.size(), 5u) << line;
            lines.push_back(fields);
        }
        ASSERT_FALSE(lines.empty());
        EXPECT_EQ(lines.back()[0], "summary");
        EXPECT_EQ(lines.back()[4], "exit code " + std::to_string(exitCode));
        // "files[4..9]" is the list "files" and the indexes 4 to 9; "files[3]" the index 3 alone.
        auto inRange = [](const std::string& reference, const std::string& entry) {
            size_t open = entry.find('[');
            size_t dots = entry.find("..");
            if (open == std::string::npos || dots == std::string::npos) return reference == entry;
            size_t at = reference.find('[');
            if (at == std::string::npos || reference.compare(0, at, entry, 0, open) != 0) return false;
            unsigned long index = std::stoul(reference.substr(at + 1));
            return index >= std::stoul(entry.substr(open + 1)) && index <= std::stoul(entry.substr(dots + 2));
        };
        const std::set<std::string> removals = {"delete", "remove folder", "clean", "delete key",
                                                "delete value"};
        size_t joined = 0;
        for (const auto& pass : plan["passes"]) {
            for (const auto& item : pass["items"]) {
                std::string entry = item.value("entry", "");
                std::string action = item.value("action", "");
                if (entry.empty() || item.value("outcome", "") != "remove" || !removals.count(action))
                    continue;
                bool found =
                    std::any_of(lines.begin(), lines.end(), [&](const std::vector<std::string>& line) {
                        // A pattern's "clean" is written as what came of it: its matches and folders, each
                        // a line; "clean" alone when nothing of it was cleaned.
                        bool sameAction =
                            line[1] == action ||
                            (action == "clean" && (line[1] == "delete" || line[1] == "remove folder"));
                        return line[0] == pass["name"] && sameAction && inRange(line[2], entry);
                    });
                EXPECT_TRUE(found) << "no log line for " << pass["name"] << " " << action << " " << entry
                                   << "\n"
                                   << log;
                joined += found ? 1 : 0;
            }
        }
        EXPECT_GT(joined, 0u);
    }
};

// The sample installation (examples/sample-app.json) with its shortcut and keys moved into the
// sandbox, and the demo's additions: patterns with matches in subfolders, a shortcut that climbs,
// nested keys.
TEST_F(PlanVersusRun, TheSampleInstallation) {
    e2e::Installation& app = sandbox_.NewInstallation();
    // The listed files are gone already, as the file pass leaves them; what stays are the files the
    // patterns match and the ones the user made.
    for (const char* file : {"Bin\\core.log", "Data\\Cache\\a.log", "Data\\Cache\\Old\\b.log",
                             "Data\\user.cfg", "debug.log", "Logs\\Today\\c.log"}) {
        ASSERT_TRUE(app.AddFile(file, "x"));
    }
    std::string menu = sandbox_.root() + "Start Menu\\Programs\\Example Co\\Uninst Demo";
    ASSERT_TRUE(testing_support::MakeFolders(menu));
    ASSERT_TRUE(testing_support::WriteFileText(menu + "\\Uninst Demo.lnk", "link"));
    using testing_support::RegValue;
    std::string key = app.keyPath();
    ASSERT_TRUE(testing_support::CreateTree(HKEY_CURRENT_USER, key,
                                            {{"Settings\\Window", "x", RegValue::Dword(1)},
                                             {"Settings", "Theme", RegValue::String("dark")},
                                             {"Run", "Uninst Demo", RegValue::String("app.exe")},
                                             {"Run", "Other", RegValue::String("other.exe")}}));
    format::Block block;
    block.messages = TestMessages();
    block.files = {{".\\", "app.exe", 0},
                   {".\\", "readme.txt", 0},
                   {".\\Bin", "", 0},
                   {".\\Bin", "core.dll", 0},
                   {".\\Data", "", 0},
                   {".\\Data", "levels.dat", 0},
                   {".\\Data", "scores.dat", 0},
                   {".\\Data", "settings.dat", 0}};
    block.shortcuts = {{1, menu, "", "Uninst Demo.lnk"}};
    block.registry = {{kHkcu, key + "\\Settings"}, {kHkcu, key + "\\Run\\\\Uninst Demo"}, {kHkcu, key}};
    block.patterns = {"*.log", "#TempDir#\\" + testing_support::NameOf(sandbox_.folder().path()) + "\\" +
                                   testing_support::NameOf(testing_support::FolderOf(app.folder())) +
                                   "\\Data\\*.cfg"};
    ExpectRunAsPlanned(app, block);
}

// An installation with a link planted inside it (its Bin folder leads to a folder beside it) and one
// reached through a link above it: the run follows the plan with the link check the plan names.
TEST_F(PlanVersusRun, InstallationsWithLinks) {
    auto link = [](const std::string& at, const std::string& target) {
        std::string why;
        bool made = testing_support::MakeUnixLink(at, target, &why);
        EXPECT_TRUE(made) << why;
        return made;
    };
    {
        SCOPED_TRACE("a link inside");
        e2e::Installation& app = sandbox_.NewInstallation();
        for (const char* file : {"app.txt", "Logs\\a.log", "Logs\\sub\\b.log"})
            ASSERT_TRUE(app.AddFile(file, "x"));
        for (const char* file : {"Victim\\a.txt", "Victim\\c.log", "Victim\\sub\\d.log"}) {
            ASSERT_TRUE(testing_support::PlaceFile(sandbox_.root() + file, "victim"));
        }
        if (!link(app.Path("Bin"), sandbox_.root() + "Victim")) return;
        format::Block block;
        block.messages = TestMessages();
        block.files = {
            {".\\", "app.txt", 0}, {".\\Bin", "", 0}, {".\\Bin", "a.txt", 0}, {".\\Bin\\sub", "", 0}};
        block.patterns = {"*.log", "Bin\\*.log", "Bin\\sub\\*.log"};
        ExpectRunAsPlanned(app, block, {.inside = {app.folder().substr(sandbox_.root().size()) + "Bin\\"}});
        if (HasFatalFailure()) return;
    }
    {
        SCOPED_TRACE("a link above");
        e2e::Installation& app = sandbox_.NewInstallation();
        for (const char* file :
             {"app.txt", "Bin\\core.dll", "Logs\\a.log", "Logs\\sub\\b.log", "Logs\\keep.txt"}) {
            ASSERT_TRUE(app.AddFile(file, "x"));
        }
        std::string via = sandbox_.root() + "Via";
        if (!link(via, app.folder().substr(0, app.folder().size() - 1))) return;
        format::Block block;
        block.messages = TestMessages();
        block.files = {{".\\", "app.txt", 0}, {".\\Bin", "", 0}, {".\\Bin", "core.dll", 0}};
        block.patterns = {"Logs\\*.log"};
        ExpectRunAsPlanned(app, block, {.via = via + "\\"});
    }
}

// Patterns of the install folder's token: with a backslash after it the pattern cleans inside the
// installation; glued to a name it names a folder beside it, which the plan must show as the run
// cleans it.
TEST_F(PlanVersusRun, InstallDirTokenPatterns) {
    e2e::Installation& app = sandbox_.NewInstallation();
    for (const char* file : {"app.txt", "Logs\\a.log", "Logs\\sub\\b.log", "Logs\\keep.txt"})
        ASSERT_TRUE(app.AddFile(file, "x"));
    std::string beside = app.folder().substr(0, app.folder().size() - 1) + "Side\\";
    for (const char* file : {"c.log", "keep.txt"})
        ASSERT_TRUE(testing_support::PlaceFile(beside + file, "x"));
    format::Block block;
    block.messages = TestMessages();
    block.files = {{".\\", "app.txt", 0}};
    block.patterns = {"#InstallDir#\\Logs\\*.log", "#InstallDir#Side\\*.log"};
    ExpectRunAsPlanned(app, block);
}

// Generated installations: folders, files that patterns match or keep, folder entries, patterns with
// and without tokens, shortcuts with level counts and second folders, nested keys, value entries.
TEST_F(PlanVersusRun, GeneratedInstallations) {
    for (uint32_t seed : {1u, 2u, 3u}) {
        SCOPED_TRACE("seed " + std::to_string(seed));
        std::mt19937 random(seed);
        auto pick = [&](uint32_t n) { return static_cast<uint32_t>(random() % n); };
        e2e::Installation& app = sandbox_.NewInstallation();
        std::string appName = testing_support::NameOf(testing_support::FolderOf(app.folder()));
        format::Block block;
        block.messages = TestMessages();
        // Folders up to three deep, each with files of three kinds.
        std::vector<std::string> folders = {""};
        for (uint32_t i = 0; i < 40; ++i) {
            std::string parent = folders[pick(static_cast<uint32_t>(folders.size()))];
            if (std::count(parent.begin(), parent.end(), '\\') >= 3) parent = "";
            folders.push_back(parent + "d" + std::to_string(i) + "\\");
        }
        const char* kinds[] = {".log", ".txt", ".tmp"};
        for (uint32_t i = 0; i < 120; ++i) {
            std::string folder = folders[pick(static_cast<uint32_t>(folders.size()))];
            ASSERT_TRUE(app.AddFile(folder + "f" + std::to_string(i) + kinds[pick(3)], "x"));
        }
        for (size_t i = 1; i < folders.size(); ++i)
            ASSERT_TRUE(testing_support::MakeFolders(app.Path(folders[i])));
        // Entries of files already gone (the file pass ran) and of folders, in install order.
        for (size_t i = 1; i < folders.size(); ++i) {
            std::string folder = ".\\" + folders[i].substr(0, folders[i].size() - 1);
            if (pick(2)) block.files.push_back({folder, "gone" + std::to_string(i) + ".dll", 0});
            if (pick(3) == 0) block.files.push_back({folder, "", 0});
        }
        for (uint32_t i = 0; i < 8; ++i) {
            std::string folder = folders[pick(static_cast<uint32_t>(folders.size()))];
            std::string mask = pick(2) ? "*.tmp" : (pick(2) ? "*.log" : "f1*.txt");
            if (pick(2)) {
                block.patterns.push_back(folder + mask);
            } else {
                block.patterns.push_back("#TempDir#\\" + testing_support::NameOf(sandbox_.folder().path()) +
                                         "\\" + appName + "\\" + folder + mask);
            }
        }
        // Shortcuts below the sandbox, some with a second folder.
        for (uint32_t i = 0; i < 12; ++i) {
            std::string folder = sandbox_.root() + "Menu" + std::to_string(seed) + "\\V" +
                                 std::to_string(pick(3)) + "\\P" + std::to_string(i);
            std::string second;
            if (pick(3) == 0) {
                second = sandbox_.root() + "Desk" + std::to_string(seed) + "\\V" + std::to_string(i);
                ASSERT_TRUE(testing_support::MakeFolders(second));
            }
            std::string name = "s" + std::to_string(i) + ".lnk";
            ASSERT_TRUE(testing_support::MakeFolders(folder));
            ASSERT_TRUE(testing_support::WriteFileText(folder + "\\" + name, "link"));
            if (pick(4) == 0) ASSERT_TRUE(testing_support::WriteFileText(folder + "\\user.txt", "kept"));
            block.shortcuts.push_back({static_cast<uint8_t>(pick(3)), folder, second, pick(6) ? name : ""});
        }
        // Keys three deep with values; entries for some keys, some values and some default values.
        using testing_support::RegValue;
        std::vector<testing_support::RegItem> keys;
        std::vector<std::string> keyNames;
        for (uint32_t i = 0; i < 30; ++i) {
            std::string name =
                "K" + std::to_string(pick(5)) + "\\S" + std::to_string(pick(4)) + "\\T" + std::to_string(i);
            keyNames.push_back(name);
            keys.push_back({name, "v" + std::to_string(i), RegValue::String("x")});
            if (pick(3) == 0) keys.push_back({name, "", RegValue::String("default")});
        }
        ASSERT_TRUE(testing_support::CreateTree(HKEY_CURRENT_USER, app.keyPath(), keys));
        for (uint32_t i = 0; i < 20; ++i) {
            std::string name = keyNames[pick(static_cast<uint32_t>(keyNames.size()))];
            switch (pick(4)) {
                case 0:
                    block.registry.push_back(
                        {kHkcu, app.keyPath() + "\\" + name + "\\\\v" + std::to_string(i)});
                    break;
                case 1:
                    block.registry.push_back({kHkcu, app.keyPath() + "\\" + name + "\\\\"});
                    break;
                case 2:
                    block.registry.push_back({kHkcu, app.keyPath() + "\\" + testing_support::FolderOf(name)});
                    break;
                default:
                    block.registry.push_back({kHkcu, app.keyPath() + "\\" + name});
                    break;
            }
        }
        ExpectRunAsPlanned(app, block);
        if (HasFatalFailure() || IsSkipped()) return;
    }
}

// A manifest of token entries: files and folders below the application-data folders, shortcuts in
// the menus with second folders on the desktop, climbs that stop at a folder someone else still uses.
TEST_F(PlanVersusRun, TokenEntries) {
    e2e::Installation& app = sandbox_.NewInstallation();
    std::string name = "uninst-pvr-" + testing_support::NameOf(testing_support::FolderOf(app.folder())) +
                       "-" + std::to_string(GetCurrentProcessId());
    TokenPlace appData("#AppData#", CSIDL_APPDATA, name);
    TokenPlace allAppData("#AllUsersAppData#", CSIDL_COMMON_APPDATA, name);
    TokenPlace programs("#Programs#", CSIDL_PROGRAMS, name);
    TokenPlace allPrograms("#AllUsersPrograms#", CSIDL_COMMON_PROGRAMS, name);
    TokenPlace desktop("#Desktop#", CSIDL_DESKTOPDIRECTORY, name);
    for (const TokenPlace* place : {&appData, &allAppData, &programs, &allPrograms, &desktop}) {
        ASSERT_TRUE(place->ok()) << place->token();
    }
    format::Block block;
    block.messages = TestMessages();
    // Files gone already (the file pass ran), folders the program-folder pass climbs from.
    for (const char* folder : {"Vendor\\App\\Cache", "Vendor\\App\\Data", "Vendor\\Tool"}) {
        ASSERT_TRUE(testing_support::MakeFolders(appData.Real(folder)));
        block.files.push_back({appData.Stored(folder), "gone.dat", 0});
    }
    ASSERT_TRUE(testing_support::PlaceFile(appData.Real("Vendor\\Tool\\user.cfg"), "mine"));
    ASSERT_TRUE(testing_support::MakeFolders(allAppData.Real("Vendor\\Shared")));
    block.files.push_back({allAppData.Stored("Vendor\\Shared"), "", 0});
    block.files.push_back({allAppData.Stored("Vendor"), "gone.dat", 0});
    // Shortcuts: one climbs from a second-level menu folder, one keeps its folder (a user's file in it).
    ASSERT_TRUE(testing_support::PlaceFile(programs.Real("Vendor\\App\\App.lnk"), "link"));
    ASSERT_TRUE(testing_support::PlaceFile(programs.Real("Vendor\\App\\Tools\\Tool.lnk"), "link"));
    ASSERT_TRUE(testing_support::MakeFolders(desktop.Real("Vendor\\App")));
    ASSERT_TRUE(testing_support::PlaceFile(allPrograms.Real("Vendor\\App.lnk"), "link"));
    ASSERT_TRUE(testing_support::PlaceFile(allPrograms.Real("Vendor\\notes.txt"), "mine"));
    block.shortcuts = {{1, programs.Stored("Vendor\\App"), desktop.Stored("Vendor\\App"), "App.lnk"},
                       {2, programs.Stored("Vendor\\App\\Tools"), "", "Tool.lnk"},
                       {1, allPrograms.Stored("Vendor"), "", "App.lnk"}};
    // A pattern below a token's folder, beside the entries.
    ASSERT_TRUE(testing_support::PlaceFile(appData.Real("Vendor\\App\\Cache\\a.tmp"), "x"));
    block.patterns = {appData.Stored("Vendor\\App\\Cache\\*.tmp")};
    ExpectRunAsPlanned(app, block, {.places = {&appData, &allAppData, &programs, &allPrograms, &desktop}});
}

}  // namespace
}  // namespace e2e_test
