// `uninstpack plan`: the passes in their order, the entries in the order each pass takes them, and
// the progress each pass reports.
#include "pack/plan.h"

#include <gtest/gtest.h>
#include <nlohmann/json.hpp>

#include "pack_support.h"

using namespace format;
using namespace pack;

namespace {

std::string Same(const std::string& text) {
    return text;
}

Block ExampleBlock() {
    Block b;
    b.messages = {"Caption", "Remove?", "Done."};
    b.files = {{".\\Bin", "", 0},
               {".\\Bin", "a.dll", kFileShared | kFileMustBeFree},
               {"C:\\Windows\\Fonts", "demo.ttf", kFileFont},
               {".\\Bin", "b.dll", kFileSelfRegister}};
    b.shortcuts = {{1, "C:\\Menu\\Vendor\\App", "", "App.lnk"}};
    b.registry = {{0x80000001u, "Software\\Vendor\\App"},
                  {0x80000002u, "Software\\Run\\\\App"},
                  {0x80000001u, "Software"}};
    b.patterns = {"*.log", "#TempDir#\\app*.tmp", "#Nothing#System32\\*.dll"};
    b.settings = SettingsSpec{kSettingsWaitForRun, "\"setup.exe\" /remove", "https://example.com/"};
    return b;
}

const PlanPass& FindPass(const Plan& plan, const std::string& name) {
    for (const auto& p : plan.passes) {
        if (p.name == name) return p;
    }
    static PlanPass none;
    ADD_FAILURE() << "no pass " << name;
    return none;
}

TEST(Plan, PassesRunInTheDriversOrder) {
    Plan plan = BuildPlan(ExampleBlock(), {}, Same);
    std::vector<std::string> names;
    for (const auto& p : plan.passes) names.push_back(p.name);
    EXPECT_EQ(names, (std::vector<std::string>{"start", "runFirst", "files", "patterns", "shortcutFiles",
                                               "shortcutFolders", "programFolders", "registry", "closing"}));
    EXPECT_EQ(plan.progressTotal, 3u + 2 * 4 + 1);  // R + 2F + S
    EXPECT_EQ(plan.installDir, "#InstallDir#\\");
}

TEST(Plan, TheFilePassWalksFromTheLastEntryWithItsProgress) {
    PlanOptions options;
    options.installDir = "C:\\Tools\\App";
    Plan plan = BuildPlan(ExampleBlock(), options, Same);
    const PlanPass& files = FindPass(plan, "files");
    ASSERT_EQ(files.items.size(), 4u);
    const char* entries[] = {"files[3]", "files[2]", "files[1]", "files[0]"};
    const char* paths[] = {"C:\\Tools\\App\\Bin\\b.dll", "C:\\Windows\\Fonts\\demo.ttf",
                           "C:\\Tools\\App\\Bin\\a.dll", "C:\\Tools\\App\\Bin"};
    const char* actions[] = {"delete", "delete", "delete", "remove folder"};
    for (size_t k = 0; k < 4; ++k) {
        EXPECT_EQ(files.items[k].entry, entries[k]);
        EXPECT_EQ(files.items[k].path, paths[k]);
        EXPECT_EQ(files.items[k].action, actions[k]);
        EXPECT_EQ(files.items[k].progress, std::optional<uint32_t>(static_cast<uint32_t>(100 * k / 12)));
    }
    // The font's value goes only when it names this file; a bare name names a file in the Fonts folder.
    bool fontNote = false;
    for (const auto& note : files.items[1].notes) {
        fontNote = fontNote || note.find("by its bare file name when the file lies in the Fonts folder") !=
                                   std::string::npos;
    }
    EXPECT_TRUE(fontNote);
}

TEST(Plan, LaterPassesReportTheirPositionsAndSkips) {
    PlanOptions options;
    options.installDir = "C:\\Tools\\App";
    Plan plan = BuildPlan(ExampleBlock(), options, Same);
    const PlanPass& patterns = FindPass(plan, "patterns");
    ASSERT_EQ(patterns.items.size(), 3u);
    EXPECT_EQ(patterns.items[0].action, "clean");
    EXPECT_EQ(patterns.items[0].path, "C:\\Tools\\App");
    // The temporary folder itself is protected: the uninstaller never cleans it.
    EXPECT_EQ(patterns.items[1].action, "skip");
    EXPECT_EQ(patterns.items[2].action, "skip");

    const PlanPass& shortcuts = FindPass(plan, "shortcutFiles");
    ASSERT_EQ(shortcuts.items.size(), 1u);
    EXPECT_EQ(shortcuts.items[0].path, "C:\\Menu\\Vendor\\App\\App.lnk");
    EXPECT_EQ(shortcuts.items[0].progress, std::optional<uint32_t>(4 * 100 / 12));  // F + i

    const PlanPass& climb = FindPass(plan, "shortcutFolders");
    ASSERT_EQ(climb.items.size(), 2u);
    EXPECT_EQ(climb.items[1].path, "C:\\Menu\\Vendor");

    // Program folders: in list order, font entries skipped, a repeated folder not climbed again.
    const PlanPass& folders = FindPass(plan, "programFolders");
    ASSERT_EQ(folders.items.size(), 4u);
    EXPECT_EQ(folders.items[0].action, "remove folder");
    EXPECT_EQ(folders.items[0].progress,
              std::optional<uint32_t>((1 + 3 + 4 + 0) * 100 / 12));  // S + R + F + i
    EXPECT_EQ(folders.items[1].action, "nothing");
    EXPECT_EQ(folders.items[2].action, "nothing");
    EXPECT_FALSE(folders.items[2].progress.has_value());
    EXPECT_EQ(folders.items[3].action, "nothing");

    const PlanPass& registry = FindPass(plan, "registry");
    ASSERT_EQ(registry.items.size(), 3u);
    EXPECT_EQ(registry.items[0].action, "delete key");
    EXPECT_EQ(registry.items[0].path, "HKCU\\Software\\Vendor\\App");
    EXPECT_EQ(registry.items[0].progress, std::optional<uint32_t>((4 + 1 + 0) * 100 / 12));  // F + S + k
    EXPECT_EQ(registry.items[1].action, "delete value");
    EXPECT_EQ(registry.items[1].path, "HKLM\\Software\\Run");
    EXPECT_FALSE(registry.items[1].progress.has_value());  // value entries do not move the bar
    EXPECT_EQ(registry.items[2].action, "skip");

    const PlanPass& run = FindPass(plan, "runFirst");
    ASSERT_EQ(run.items.size(), 1u);
    EXPECT_EQ(run.items[0].path, "C:\\Tools\\App\\setup.exe");
    EXPECT_EQ(run.items[0].notes[0], "arguments: /remove");
}

// A run-first program that is not a whole path once composed is not run, and the plan says so.
TEST(Plan, RunFirstProgramsThatAreNotWholePathsAreSkipped) {
    struct Case {
        const char* command;
        const char* action;
    } cases[] = {{"#Nothing#tool.exe", "skip"},
                 {"#Nothing#\\tool.exe", "skip"},
                 {"#Nothing#C:tool.exe", "skip"},
                 {"C:tool.exe", "skip"},
                 {"tool.exe", "run"},
                 {"#System#\\cmd.exe /c", "run"}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.command);
        Block b;
        b.settings = SettingsSpec{0, c.command, std::nullopt};
        PlanOptions options;
        options.installDir = "C:\\Tools\\App";
        Plan plan = BuildPlan(b, options, Same);
        const PlanPass& run = FindPass(plan, "runFirst");
        ASSERT_EQ(run.items.size(), 1u);
        EXPECT_EQ(run.items[0].action, c.action);
        if (std::string(c.action) == "skip") {
            EXPECT_NE(run.items[0].notes[0].find("is not a whole path"), std::string::npos)
                << run.items[0].notes[0];
        }
    }
}

// What the shared lists refuse, the plan shows as skipped: the uninstaller's passes ask the same lists.
TEST(Plan, KeysAndPatternFoldersTheGuardsRefuseAreSkipped) {
    Block b;
    b.registry = {{0x80000002u, "SYSTEM\\CurrentControlSet\\Services"},
                  {0x80000001u, "Software\\Classes\\CLSID\\"},
                  {0x80000002u, "System\\CurrentControlSet\\Services\\MyDriver"},
                  {0x80000002u, "Software\\Microsoft\\Windows\\CurrentVersion\\Run\\\\MyApp"}};
    b.patterns = {"#System#\\drivers\\*.sys", "#Program Files#\\Common Files\\System\\*.dll",
                  "#AppData#\\Vendor\\*.tmp", "System32\\*.dll"};
    PlanOptions options;
    options.installDir = "C:\\Windows";
    Plan plan = BuildPlan(b, options, Same);
    const PlanPass& registry = FindPass(plan, "registry");
    ASSERT_EQ(registry.items.size(), 4u);
    const char* keyActions[] = {"skip", "skip", "delete key", "delete value"};
    for (size_t k = 0; k < 4; ++k) EXPECT_EQ(registry.items[k].action, keyActions[k]) << k;
    EXPECT_EQ(registry.items[0].notes[0], "refused: a key Windows or every program needs");
    const PlanPass& patterns = FindPass(plan, "patterns");
    ASSERT_EQ(patterns.items.size(), 4u);
    const char* patternActions[] = {"skip", "skip", "clean", "skip"};
    for (size_t k = 0; k < 4; ++k) EXPECT_EQ(patterns.items[k].action, patternActions[k]) << k;
    EXPECT_EQ(patterns.items[0].notes[0], "refused: inside the system's own folders");
    EXPECT_EQ(patterns.items[3].notes[0], "refused: inside the system's own folders");  // C:\Windows\System32
}

// The registry pass compares a key entry normalised: the whole Software or System key written with
// stray backslashes is skipped under every root, HKCR too, whose own lists do not name them.
TEST(Plan, TheWholeSoftwareAndSystemKeysAreSkippedInAnySpelling) {
    struct Case {
        uint32_t root;
        const char* key;
        const char* action;
    } cases[] = {
        {0x80000000u, "Software\\", "skip"},
        {0x80000000u, "\\System", "skip"},
        {0x80000000u, "\\software\\", "skip"},
        {0x80000000u, "Software", "skip"},
        {0x80000001u, "\\Software", "skip"},
        {0x80000000u, "Software\\Vendor", "delete key"},
        {0x80000000u, "Software\\Vendor\\", "delete key"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.key);
        Block b;
        b.registry = {{c.root, c.key}};
        Plan plan = BuildPlan(b, {}, Same);
        const PlanPass& registry = FindPass(plan, "registry");
        ASSERT_EQ(registry.items.size(), 1u);
        EXPECT_EQ(registry.items[0].action, c.action);
    }
}

TEST(Plan, EntriesOfAFolderJustClimbedFromAreOneItem) {
    Block b;
    b.files = {{".\\Data", "", 0},
               {".\\Data", "a", 0},
               {".\\Data", "b", 0},
               {".\\Data", "c", 0},
               {".\\Bin", "d", 0}};
    Plan plan = BuildPlan(b, {}, Same);
    const PlanPass& folders = FindPass(plan, "programFolders");
    ASSERT_EQ(folders.items.size(), 3u);
    EXPECT_EQ(folders.items[0].entry, "files[0]");
    EXPECT_EQ(folders.items[1].entry, "files[1..3]");
    EXPECT_EQ(folders.items[1].action, "nothing");
    EXPECT_EQ(folders.items[1].notes[0], "same folder as files[0] (no second climb)");
    EXPECT_EQ(folders.items[1].progress,
              std::optional<uint32_t>((0 + 0 + 5 + 3) * 100 / 10));  // the run's last entry
    EXPECT_EQ(folders.items[2].entry, "files[4]");
    EXPECT_EQ(folders.items[2].action, "remove folder");
}

TEST(Plan, PathsThatDoNotFitAreSkipped) {
    Block b;
    b.files = {{".\\" + std::string(240, 'd'), "file.txt", 0}};
    PlanOptions options;
    options.installDir = "C:\\Program Files\\Vendor";
    Plan plan = BuildPlan(b, options, Same);
    const PlanPass& files = FindPass(plan, "files");
    ASSERT_EQ(files.items.size(), 1u);
    EXPECT_EQ(files.items[0].action, "skip");
    EXPECT_NE(files.items[0].notes[0].find("does not fit 259 characters"), std::string::npos);
}

// A shortcut's file name is a name in its folder: one that is a path is skipped, and says why.
TEST(Plan, ShortcutNamesThatArePathsAreSkipped) {
    struct Case {
        const char* name;
        const char* action;
    } cases[] = {
        {"App.lnk", "delete"},    {"App..lnk", "delete"}, {"..\\..\\..\\victim\\x.ini", "skip"},
        {"Sub\\App.lnk", "skip"}, {"../x.ini", "skip"},   {"..", "skip"},
        {". .", "skip"},          {"C:x.lnk", "skip"},    {"App.lnk:stream", "skip"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        Block b;
        b.shortcuts = {{0, "C:\\Menu\\Vendor\\App", "", c.name}};
        Plan plan = BuildPlan(b, {}, Same);
        const PlanPass& shortcuts = FindPass(plan, "shortcutFiles");
        ASSERT_EQ(shortcuts.items.size(), 1u);
        EXPECT_EQ(shortcuts.items[0].action, c.action);
        if (std::string(c.action) == "skip") {
            ASSERT_FALSE(shortcuts.items[0].notes.empty());
            EXPECT_NE(shortcuts.items[0].notes[0].find("is a path"), std::string::npos);
        }
    }
}

// A network spelling may reach any folder past the protected test: folder entries and climbs on it
// are refused unless the installation lives on that share; a single file keeps the rules of every
// file, and a verbatim or device path, which the run cannot check, is skipped. "/" is a separator.
TEST(Plan, NetworkVerbatimAndSlashedFolders) {
    struct Case {
        const char* installDir;
        FileSpec file;
        const char* filesAction;
        const char* climbAction;
        const char* climbPath;
    };
    const Case cases[] = {
        {"C:\\Tools\\App", {"\\\\host\\share\\Dir", "", 0}, "skip", "stop", "\\\\host\\share\\Dir"},
        {"\\\\host\\share\\App",
         {"\\\\HOST\\Share\\Other", "", 0},
         "remove folder",
         "remove folder",
         "\\\\HOST\\Share\\Other"},
        {"\\\\host\\share\\App", {"\\\\host\\other\\Dir", "", 0}, "skip", "stop", "\\\\host\\other\\Dir"},
        {"C:\\Tools\\App", {"\\\\host\\share\\Dir", "a.txt", 0}, "delete", "stop", "\\\\host\\share\\Dir"},
        {"C:\\Tools\\App",
         {"\\\\?\\UNC\\host\\share\\Dir", "", 0},
         "skip",
         "stop",
         "\\\\?\\UNC\\host\\share\\Dir"},
        {"C:\\Tools\\App", {"\\\\?\\C:\\Dir", "a.txt", 0}, "skip", "stop", "\\\\?\\C:\\Dir"},
        {"C:\\Tools\\App", {"C:/Other", "x.txt", 0}, "delete", "remove folder", "C:\\Other"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.file.folder + " " + c.file.name);
        Block b;
        b.files = {c.file};
        PlanOptions options;
        options.installDir = c.installDir;
        Plan plan = BuildPlan(b, options, Same);
        const PlanPass& files = FindPass(plan, "files");
        ASSERT_EQ(files.items.size(), 1u);
        EXPECT_EQ(files.items[0].action, c.filesAction);
        const PlanPass& folders = FindPass(plan, "programFolders");
        ASSERT_EQ(folders.items.size(), 1u);
        EXPECT_EQ(folders.items[0].action, c.climbAction);
        EXPECT_EQ(folders.items[0].path, c.climbPath);
    }
    Block b;
    b.shortcuts = {{2, "\\\\host\\share\\Menu\\Vendor", "", "App.lnk"}};
    PlanOptions options;
    options.installDir = "C:\\Tools\\App";
    Plan shortcutPlan = BuildPlan(b, options, Same);
    const PlanPass& climb = FindPass(shortcutPlan, "shortcutFolders");
    ASSERT_EQ(climb.items.size(), 1u);
    EXPECT_EQ(climb.items[0].action, "stop");
    EXPECT_NE(climb.items[0].notes.back().find("network path"), std::string::npos)
        << climb.items[0].notes.back();
}

// The uninstaller never cleans a folder token's own folder (it is protected), nor the system's trees;
// #InstallDir# is the install folder without its backslash, as every token's folder.
TEST(Plan, PatternsOfProtectedTokenFoldersAreSkipped) {
    struct Case {
        const char* pattern;
        bool nt;
        const char* action;
        const char* path;
    };
    const Case cases[] = {
        {"#Desktop#\\*.lnk", true, "skip", ""},
        {"#AppData#\\.\\*.tmp", true, "skip", ""},
        {"#Windows#\\*.tmp", true, "skip", ""},
        {"#System#\\drivers\\*.sys", true, "skip", ""},
        {"#AllUsersDesktop#\\*.lnk", true, "skip", ""},
        {"#AllUsersDesktop#\\*.lnk", false, "clean", "#AllUsersDesktop#"},
        {"#AllUsersPrograms#\\*.lnk", true, "skip", ""},
        {"#AllUsersStartup#\\*.lnk", false, "clean", "#AllUsersStartup#"},
        {"#Programs#\\*.lnk", false, "skip", ""},
        {"#Fonts#\\*.fon", false, "skip", ""},
        {"#AppData#\\Vendor\\*.tmp", true, "clean", "#AppData#\\Vendor"},
        {"#InstallDir#\\Logs\\*.log", true, "clean", "C:\\Tools\\App\\Logs"},
        {"#InstallDir#\\*.tmp", true, "clean", "C:\\Tools\\App"},
        // Glued to the text after it, the token names a folder beside the installation, or its parent.
        {"#InstallDir#Logs\\*.log", true, "clean", "C:\\Tools\\AppLogs"},
        {"#InstallDir#*.tmp", true, "clean", "C:\\Tools"},
    };
    for (const Case& c : cases) {
        Block b;
        b.patterns = {c.pattern};
        PlanOptions options;
        options.nt = c.nt;
        options.installDir = "C:\\Tools\\App";
        Plan plan = BuildPlan(b, options, Same);
        const PlanPass& patterns = FindPass(plan, "patterns");
        ASSERT_EQ(patterns.items.size(), 1u);
        EXPECT_EQ(patterns.items[0].action, c.action) << c.pattern;
        if (std::string(c.action) == "clean") EXPECT_EQ(patterns.items[0].path, c.path) << c.pattern;
    }
}

// Entries whose folders begin with a folder token: the plan shows the token, what it stands for on a
// typical machine of the family, and skips an entry whose token the uninstaller does not know.
TEST(Plan, TokenEntriesShowTheTokenAndATypicalMachinesFolder) {
    Block b;
    b.files = {{"#AppData#\\Vendor", "", 0},
               {"#AppData#\\Vendor", "a.ini", kFileMustBeFree},
               {"#Nothing#\\Vendor", "b.ini", 0},
               {"#InstallDir#\\Bin", "c.dll", 0}};
    b.shortcuts = {{1, "#AllUsersPrograms#\\Vendor\\App", "#AllUsersDesktop#\\Vendor", "App.lnk"},
                   {0, "#Startup#", "", "App.lnk"},
                   {0, "#Progs#\\Vendor", "", "App.lnk"}};
    struct Family {
        bool nt;
        const char* appData;
        const char* programs;
        const char* desktop;
        const char* startup;
    } families[] = {
        {true, "C:\\Users\\<user>\\AppData\\Roaming",
         "C:\\ProgramData\\Microsoft\\Windows\\Start Menu\\Programs", "C:\\Users\\Public\\Desktop",
         "C:\\Users\\<user>\\AppData\\Roaming\\Microsoft\\Windows\\Start Menu\\Programs\\Startup"},
        {false, "C:\\WINDOWS\\Application Data", "C:\\WINDOWS\\All Users\\Start Menu\\Programs",
         "C:\\WINDOWS\\All Users\\Desktop", "C:\\WINDOWS\\Start Menu\\Programs\\StartUp"},
    };
    for (const Family& family : families) {
        SCOPED_TRACE(family.nt ? "NT" : "9x");
        PlanOptions options;
        options.nt = family.nt;
        options.installDir = "C:\\Tools\\App";
        Plan plan = BuildPlan(b, options, Same);
        const std::string appData = family.appData, programs = family.programs, desktop = family.desktop;
        const PlanPass& files = FindPass(plan, "files");
        ASSERT_EQ(files.items.size(), 4u);
        EXPECT_EQ(files.items[0].path, "C:\\Tools\\App\\Bin\\c.dll");
        EXPECT_EQ(files.items[0].action, "delete");
        EXPECT_EQ(files.items[1].action, "skip");
        EXPECT_EQ(files.items[1].path, "#Nothing#\\Vendor\\b.ini");
        EXPECT_NE(files.items[1].notes[0].find("unknown folder token #Nothing#"), std::string::npos);
        EXPECT_EQ(files.items[2].action, "delete");
        EXPECT_EQ(files.items[2].path, "#AppData#\\Vendor\\a.ini");
        EXPECT_EQ(files.items[2].typicalPath, appData + "\\Vendor\\a.ini");
        EXPECT_EQ(files.items[3].action, "remove folder");
        EXPECT_EQ(files.items[3].typicalPath, appData + "\\Vendor");
        const PlanPass& start = FindPass(plan, "start");
        ASSERT_EQ(start.items.size(), 2u);
        EXPECT_EQ(start.items[1].path, "#AppData#\\Vendor\\a.ini");
        const PlanPass& shortcuts = FindPass(plan, "shortcutFiles");
        ASSERT_EQ(shortcuts.items.size(), 3u);
        EXPECT_EQ(shortcuts.items[0].path, "#AllUsersPrograms#\\Vendor\\App\\App.lnk");
        EXPECT_EQ(shortcuts.items[0].typicalPath, programs + "\\Vendor\\App\\App.lnk");
        EXPECT_EQ(shortcuts.items[1].typicalPath, std::string(family.startup) + "\\App.lnk");
        EXPECT_EQ(shortcuts.items[2].action, "skip");
        const PlanPass& climbs = FindPass(plan, "shortcutFolders");
        ASSERT_GE(climbs.items.size(), 4u);
        EXPECT_EQ(climbs.items[0].path, "#AllUsersPrograms#\\Vendor\\App");
        EXPECT_EQ(climbs.items[1].path, "#AllUsersPrograms#\\Vendor");
        EXPECT_EQ(climbs.items[1].typicalPath, programs + "\\Vendor");
        std::string notes;
        for (const auto& note : climbs.items[1].notes) notes += note + "\n";
        EXPECT_NE(notes.find("and the second folder #AllUsersDesktop#"), std::string::npos) << notes;
        EXPECT_NE(notes.find("the second folder on a typical " + std::string(family.nt ? "NT" : "9x") +
                             " machine: " + desktop),
                  std::string::npos)
            << notes;
        // The user's Startup folder itself is never removed, on either family.
        EXPECT_EQ(climbs.items[2].path, "#Startup#");
        EXPECT_EQ(climbs.items[2].action, "stop");
        EXPECT_EQ(climbs.items[3].action, "skip");
        const PlanPass& folders = FindPass(plan, "programFolders");
        ASSERT_EQ(folders.items.size(), 4u);
        EXPECT_EQ(folders.items[0].path, "#AppData#\\Vendor");
        EXPECT_EQ(folders.items[0].action, "remove folder");
        EXPECT_EQ(folders.items[2].action, "skip");
    }
}

// The two questions of the file pass are asked in every mode, unless their message is empty.
TEST(Plan, TheQuestionsSayTheyAreAskedInEveryMode) {
    Block b;
    b.messages = std::vector<std::string>(kMessageCount, "text %s");
    b.files = {{".\\", "a.dll", kFileShared}};
    auto texts = [](const Block& block) {
        Plan plan = BuildPlan(block, {}, Same);
        const PlanPass& files = FindPass(plan, "files");
        std::string all;
        for (const auto& note : files.notes) all += note + "\n";
        for (const auto& note : files.items.at(0).notes) all += note + "\n";
        return all;
    };
    std::string asked = texts(b);
    EXPECT_NE(
        asked.find("message 9 ask (Yes, Yes to all, No, No to all), in every mode: /Q and /S runs wait"),
        std::string::npos)
        << asked;
    EXPECT_NE(asked.find("after message 10 asks, in every mode: /Q and /S runs wait for the answer too"),
              std::string::npos)
        << asked;
    b.messages[kMsgReadOnlyQuestion].clear();
    b.messages[kMsgSharedFileQuestion].clear();
    std::string silent = texts(b);
    EXPECT_NE(silent.find("a read-only file goes without a question (message 9 is empty)"), std::string::npos)
        << silent;
    EXPECT_NE(silent.find("without a question (message 10 is empty)"), std::string::npos) << silent;
    EXPECT_EQ(silent.find("in every mode"), std::string::npos) << silent;
}

TEST(Plan, TheRealPackerPrintsJson) {
    pack_testing::TempFolder dir;
    std::string stub = dir.File("stub.exe"), out = dir.File("uninst.exe");
    pack_testing::WriteBytes(stub, pack_testing::FakeStub());
    auto built = pack_testing::RunPacker("build '" + pack_testing::SourceDir() +
                                         "/examples/sample-app.json' --stub '" + stub + "' -o '" + out + "'");
    ASSERT_EQ(built.exitCode, 0) << built.err;
    auto run = pack_testing::RunPacker("plan '" + out + "' --9x --json --install-dir 'C:\\Demo'");
    ASSERT_EQ(run.exitCode, 0) << run.err;
    // The self-delete names the uninstaller by the name it has.
    EXPECT_NE(run.out.find("\"C:\\\\Demo\\\\uninst.exe\""), std::string::npos) << run.out;
    std::string renamed = dir.File("Remove Demo.exe");
    pack_testing::WriteBytes(renamed, pack_testing::ReadBytes(out));
    auto named = pack_testing::RunPacker("plan '" + renamed + "' --install-dir 'C:\\Demo'");
    EXPECT_NE(named.out.find("self-delete C:\\Demo\\Remove Demo.exe"), std::string::npos) << named.out;
    auto doc = nlohmann::json::parse(run.out);
    EXPECT_EQ(doc["platform"], "9x");
    EXPECT_EQ(doc["installDir"], "C:\\Demo\\");
    EXPECT_EQ(doc["passes"][2]["name"], "files");
    EXPECT_EQ(doc["passes"][2]["items"][0]["path"], "C:\\Demo\\Fonts\\UninstDemoSans.ttf");
    // The sample's shortcuts are in the all users' Programs menu, as a typical 9x machine keeps it.
    EXPECT_EQ(doc["passes"][4]["name"], "shortcutFiles");
    EXPECT_EQ(doc["passes"][4]["items"][0]["path"],
              "#AllUsersPrograms#\\Example Co\\Uninst Demo\\Uninst Demo.lnk");
    EXPECT_EQ(doc["passes"][4]["items"][0]["typicalPath"],
              "C:\\WINDOWS\\All Users\\Start Menu\\Programs\\Example Co\\Uninst Demo\\Uninst Demo.lnk");

    auto text = pack_testing::RunPacker("plan '" + out + "'");
    ASSERT_EQ(text.exitCode, 0);
    EXPECT_NE(text.out.find("delete #InstallDir#\\Data\\settings.dat   [files[7]]"), std::string::npos)
        << text.out;
    EXPECT_EQ(pack_testing::RunPacker("plan '" + out + "' --nt --9x").exitCode, 2);
    EXPECT_EQ(pack_testing::RunPacker("plan '" + stub + "'").exitCode, 1);
}

}  // namespace

namespace {

// plan --json gives in fields what the text says in prose: a program reads the value name, the
// mask, the flags and the questions without parsing sentences.
TEST(Plan, TheJsonHoldsTheItemsInFields) {
    pack_testing::TempFolder dir;
    std::string stub = dir.File("stub.exe"), out = dir.File("uninst.exe"), manifest = dir.File("app.json");
    pack_testing::WriteBytes(stub, pack_testing::FakeStub());
    pack_testing::WriteText(manifest, R"({
      "files": [{"folder": ".\\Bin"}, {"folder": ".\\Bin", "name": "core.dll", "flags": ["shared", "selfRegister"]},
                {"folder": "C:\\Windows\\Fonts", "name": "demo.ttf", "flags": ["font"]}],
      "shortcuts": [{"levels": 1, "folder": "C:\\Menu\\Vendor\\App", "secondFolder": "D:\\Menu\\Vendor\\App", "name": "App.lnk"}],
      "registry": [{"root": "HKCU", "key": "Software\\Vendor\\App", "value": "Installed"},
                   {"root": "HKCU", "key": "Software\\Vendor\\App"}],
      "patterns": ["Logs\\*.log"],
      "settings": {"runFirst": "\"#System#\\cmd.exe\" /c echo", "waitForRun": true}})");
    auto built = pack_testing::RunPacker("build '" + manifest + "' --stub '" + stub + "' -o '" + out + "'");
    ASSERT_EQ(built.exitCode, 0) << built.err;
    auto run = pack_testing::RunPacker("plan '" + out + "' --json --install-dir 'C:\\Demo'");
    ASSERT_EQ(run.exitCode, 0) << run.err;
    auto doc = nlohmann::json::parse(run.out);
    EXPECT_EQ(doc["formatVersion"], 2);
    EXPECT_EQ(doc["codePage"], 1252);
    auto find = [&doc](const std::string& pass, const std::string& entry, const std::string& action) {
        for (const auto& p : doc["passes"]) {
            if (p["name"] != pass) continue;
            for (const auto& item : p["items"]) {
                if (item.value("entry", "") == entry && item["action"] == action) return item;
            }
        }
        return nlohmann::json();
    };
    struct Case {
        const char* pass;
        const char* entry;
        const char* action;
        const char* fields;  // the item holds each of these fields with these values
    } cases[] = {
        {"start", "", "ask", R"({"outcome": "ask", "messages": [1]})"},
        {"runFirst", "settings.runFirst", "run",
         R"({"outcome": "run", "target": "program", "path": "#System#\\cmd.exe", "arguments": "/c echo"})"},
        {"files", "files[1]", "delete",
         R"({"outcome": "remove", "target": "file", "flags": ["shared", "selfRegister"], "messages": [9, 10]})"},
        {"files", "files[0]", "remove folder", R"({"outcome": "remove", "target": "folder"})"},
        {"files", "files[2]", "delete",
         R"({"outcome": "remove", "target": "file", "flags": ["font"], "messages": [9]})"},
        {"patterns", "patterns[0]", "clean",
         R"({"outcome": "remove", "target": "files", "folder": "C:\\Demo\\Logs", "mask": "*.log"})"},
        {"shortcutFiles", "shortcuts[0]", "delete",
         R"({"outcome": "remove", "target": "file", "path": "C:\\Menu\\Vendor\\App\\App.lnk"})"},
        {"shortcutFolders", "shortcuts[0]", "remove folder",
         R"({"target": "folder", "level": 0, "levels": 1, "path": "C:\\Menu\\Vendor\\App", "secondFolder": "D:\\Menu\\Vendor\\App"})"},
        {"registry", "registry[0]", "delete value",
         R"({"outcome": "remove", "target": "value", "key": "HKCU\\Software\\Vendor\\App", "valueName": "Installed"})"},
        {"registry", "registry[1]", "delete key",
         R"({"outcome": "remove", "target": "key", "path": "HKCU\\Software\\Vendor\\App"})"},
        {"programFolders", "files[2]", "nothing", R"({"outcome": "none"})"},
        {"closing", "", "self-delete",
         R"({"outcome": "remove", "target": "uninstaller", "path": "C:\\Demo\\uninst.exe"})"},
    };
    for (const auto& c : cases) {
        auto item = find(c.pass, c.entry, c.action);
        ASSERT_FALSE(item.is_null()) << c.pass << " " << c.entry << " " << c.action << "\n" << run.out;
        const nlohmann::json fields = nlohmann::json::parse(c.fields);
        for (const auto& [key, value] : fields.items()) {
            EXPECT_EQ(item.contains(key) ? item[key] : nlohmann::json(), value)
                << c.pass << " " << c.entry << " " << key << "\n"
                << item.dump();
        }
    }
    // The second climb step of the shortcut says its level.
    bool levelOne = false;
    for (const auto& p : doc["passes"]) {
        for (const auto& item : p["items"])
            levelOne = levelOne || (p["name"] == "shortcutFolders" && item.value("level", 0) == 1);
    }
    EXPECT_TRUE(levelOne) << run.out;
}

}  // namespace
