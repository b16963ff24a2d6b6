// The 64-bit side of 64-bit Windows in the packer: "view": 64 read, stored, dumped and planned, the
// 64-bit folder tokens known to check and plan, and the stored form that an uninstaller which does
// not know the view cannot act on.
#include <gtest/gtest.h>
#include <nlohmann/json.hpp>

#include "format/block_writer.h"
#include "pack/check.h"
#include "pack/manifest.h"
#include "pack/plan.h"
#include "pack/plan_paths.h"
#include "pack_support.h"
#include "removal/entry_paths.h"
#include "removal/pattern_guard.h"
#include "removal/registry_guard.h"
#include "support/block_file.h"

using namespace format;
using namespace pack;
using testing_support::LoadBytes;

namespace {

std::string Same(const std::string& text) {
    return text;
}

const char kViewManifest[] = R"({
  "files": [
    {"folder": ".\\", "name": "app.exe"},
    {"folder": "#CommonFiles64#\\Vendor", "name": "core.dll", "flags": ["shared"], "view": 64},
    {"folder": "#CommonFiles64#\\Vendor", "name": "more.dll", "flags": ["shared"], "view": 64},
    {"folder": "#System64#", "name": "vendor.dll", "flags": ["shared"], "view": 32},
    {"folder": "#ProgramFiles64#\\Vendor\\App", "name": "app64.exe"}
  ],
  "registry": [
    {"root": "HKLM", "key": "Software\\Vendor\\App", "view": 64},
    {"root": "HKLM", "key": "Software\\Vendor\\App", "value": "Path", "view": 64},
    {"root": "HKCU", "key": "Software\\Vendor\\App"}
  ]
})";

Manifest Read(const std::string& json) {
    Manifest manifest;
    std::vector<Problem> problems;
    EXPECT_TRUE(ParseManifest(json, manifest, problems)) << (problems.empty() ? "" : problems[0].message);
    return manifest;
}

TEST(Views, ManifestStoresTheViewAndDumpWritesItBack) {
    Manifest m = Read(kViewManifest);
    ASSERT_EQ(m.block.files.size(), 5u);
    EXPECT_EQ(m.block.files[1].flags, kFileShared | kFileView64);
    EXPECT_EQ(m.block.files[3].flags, kFileShared);
    EXPECT_EQ(m.block.files[4].flags, 0);
    ASSERT_EQ(m.block.registry.size(), 3u);
    EXPECT_EQ(m.block.registry[0].root, kRootLocalMachine | kRootView64);
    EXPECT_EQ(m.block.registry[1].root, kRootLocalMachine | kRootView64);
    EXPECT_EQ(m.block.registry[2].root, kRootCurrentUser);
    std::string json;
    std::vector<Problem> problems, notes;
    ASSERT_TRUE(ManifestToJson(m, json, problems, notes));
    EXPECT_TRUE(notes.empty()) << notes[0].message;
    auto doc = nlohmann::json::parse(json);
    EXPECT_EQ(doc["files"][1]["view"], 64);
    EXPECT_FALSE(doc["files"][3].contains("view"));
    EXPECT_EQ(doc["registry"][0]["root"], "HKLM");
    EXPECT_EQ(doc["registry"][1]["view"], 64);
    EXPECT_FALSE(doc["registry"][2].contains("view"));
    // What dump writes reads back to the same block.
    Manifest again = Read(json);
    EXPECT_EQ(EncodeBlock(again.block), EncodeBlock(m.block));
}

TEST(Views, ABadViewIsAnErrorAtItsPath) {
    struct Case {
        const char* json;
        const char* where;
    } cases[] = {
        {R"({"registry": [{"root": "HKLM", "key": "Software\\V", "view": 48}]})", "registry[0].view"},
        {R"({"registry": [{"root": "HKLM", "key": "Software\\V", "view": "64"}]})", "registry[0].view"},
        {R"({"files": [{"folder": "C:\\V", "name": "a.dll", "view": 64}]})", "files[0].view"},
        {R"({"files": [{"folder": "C:\\V", "name": "a.dll", "flags": ["font"], "view": 64}]})",
         "files[0].view"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.json);
        Manifest manifest;
        std::vector<Problem> problems;
        EXPECT_FALSE(ParseManifest(c.json, manifest, problems));
        ASSERT_EQ(problems.size(), 1u);
        EXPECT_EQ(problems[0].where, c.where);
    }
}

// The block as records: the files of the 64-bit view in records of their own tag, in list order, and
// the loader reading them all back into one list.
TEST(Views, FilesOfTheSixtyFourBitViewGetRecordsOfTheirOwn) {
    Manifest m = Read(kViewManifest);
    Bytes block = EncodeBlock(m.block);
    std::vector<std::pair<uint16_t, uint32_t>> records;  // tag, entry count
    for (size_t at = 0; at + kRecordHeaderSize <= block.size();) {
        uint16_t tag = ReadU16(block.data() + at);
        uint32_t length = ReadU32(block.data() + at + 4);
        bool list = tag == kFileListRecord || tag == kView64FileListRecord;
        records.push_back({tag, list ? ReadU32(block.data() + at + kRecordHeaderSize) : 0});
        at += kRecordHeaderSize + length;
    }
    std::vector<std::pair<uint16_t, uint32_t>> files;
    for (const auto& r : records) {
        if (r.first == kFileListRecord || r.first == kView64FileListRecord) files.push_back(r);
    }
    EXPECT_EQ(files, (std::vector<std::pair<uint16_t, uint32_t>>{
                         {kFileListRecord, 1}, {kView64FileListRecord, 2}, {kFileListRecord, 2}}));
    UninstallData data;
    ASSERT_EQ(LoadBytes(block, data).code, kLoadOk);
    ASSERT_EQ(data.files.count, 5u);
    EXPECT_STREQ(data.files.items[1]->fileName, "core.dll");
    EXPECT_EQ(data.files.items[2]->flags, kFileShared | kFileView64);
    EXPECT_STREQ(data.files.items[4]->fileName, "app64.exe");
    ASSERT_EQ(data.registry.count, 3u);
    EXPECT_EQ(data.registry.items[0]->rootKey, kRootLocalMachine | kRootView64);
}

// What an uninstaller that does not know the view does with the stored block: its loader skips
// records of tags it does not know (it reads the tags up to the settings record and the end record),
// and its registry pass acts only under a predefined root and never deletes a key its guard refuses.
// So no entry of the 64-bit view reaches its 32-bit namesake.
TEST(Views, AnUninstallerThatDoesNotKnowTheViewCannotActOnItsEntries) {
    const uint16_t earlierTags[] = {kStringTablesRecord, kFileListRecord, kShortcutListRecord,
                                    kRegistryListRecord, kSkippedRecord,  kCleanupPatternsRecord,
                                    kSettingsRecord,     kEndRecord};
    for (uint16_t tag : earlierTags) EXPECT_NE(tag, kView64FileListRecord);
    for (uint32_t root : {kRootClassesRoot, kRootCurrentUser, kRootLocalMachine, kRootUsers,
                          kRootPerformanceData, kRootCurrentConfig, kRootDynData}) {
        SCOPED_TRACE(root);
        uint32_t stored = root | kRootView64;
        for (bool nt : {true, false}) EXPECT_FALSE(::IsPredefinedRoot(stored, nt));
        EXPECT_TRUE(IsRefusedRegistryKey(stored, "Software\\Vendor\\App"));
        // Nor is the stored value any other root's.
        for (uint32_t other = kRootClassesRoot; other <= kRootDynData; ++other) EXPECT_NE(stored, other);
    }
    // And every file entry of the 64-bit view is in such a record, none in a file-list record.
    Manifest m = Read(kViewManifest);
    Bytes block = EncodeBlock(m.block);
    for (size_t at = 0; at + kRecordHeaderSize <= block.size();) {
        uint16_t tag = ReadU16(block.data() + at);
        uint32_t length = ReadU32(block.data() + at + 4);
        if (tag == kFileListRecord) {
            UninstallData one;
            Bytes alone(block.begin() + static_cast<std::ptrdiff_t>(at),
                        block.begin() + static_cast<std::ptrdiff_t>(at + kRecordHeaderSize + length));
            Bytes end = EncodeEnd();
            alone.insert(alone.end(), end.begin(), end.end());
            ASSERT_EQ(LoadBytes(alone, one).code, kLoadOk);
            for (uint32_t i = 0; i < one.files.count; ++i)
                EXPECT_FALSE(one.files.items[i]->flags & kFileView64);
        }
        at += kRecordHeaderSize + length;
    }
}

TEST(Views, CheckKnowsTheTokensAndThePatternGuardRefusesTheirTrees) {
    for (const char* token : {"#ProgramFiles64#", "#CommonFiles64#", "#System64#"}) {
        EXPECT_TRUE(IsKnownToken(token)) << token;
        EXPECT_NE(KnownTokenList().find(token), std::string::npos) << token;
        EXPECT_TRUE(IsRefusedPatternFolder(token)) << token;
    }
    EXPECT_TRUE(IsRefusedPatternFolder("#System64#\\drivers"));
    EXPECT_TRUE(IsRefusedPatternFolder("#ProgramFiles64#\\Common Files"));
    EXPECT_TRUE(IsRefusedPatternFolder("#CommonFiles64#\\Microsoft Shared"));
    EXPECT_TRUE(IsRefusedPatternFolder("C:\\Windows\\Sysnative\\Vendor"));
    EXPECT_FALSE(IsRefusedPatternFolder("#ProgramFiles64#\\Vendor\\App"));
    EXPECT_FALSE(IsRefusedPatternFolder("#CommonFiles64#\\Vendor"));
    Manifest m = Read(kViewManifest);
    for (const auto& f : CheckManifest(m, {})) {
        EXPECT_EQ(f.message.find("unknown folder token"), std::string::npos) << f.where << ": " << f.message;
    }
}

// The plan shows both views and both kinds of NT machine, and on 9x leaves the 64-bit view alone.
TEST(Views, PlanShowsTheViewAndTheFoldersOfBothKindsOfWindows) {
    Manifest m = Read(kViewManifest);
    for (bool nt : {true, false}) {
        SCOPED_TRACE(nt ? "NT" : "9x");
        PlanOptions options;
        options.nt = nt;
        options.installDir = "C:\\Tools\\App";
        Plan plan = BuildPlan(m.block, options, Same);
        const PlanPass* files = nullptr;
        const PlanPass* registry = nullptr;
        for (const auto& pass : plan.passes) {
            if (pass.name == "files") files = &pass;
            if (pass.name == "registry") registry = &pass;
        }
        ASSERT_TRUE(files && registry);
        // The file pass walks from the last entry: [0] app64.exe, [1] vendor.dll, [3] core.dll.
        ASSERT_EQ(files->items.size(), 5u);
        const PlanItem& program = files->items[0];
        EXPECT_EQ(program.path, "#ProgramFiles64#\\Vendor\\App\\app64.exe");
        EXPECT_EQ(program.typicalPath, "C:\\Program Files\\Vendor\\App\\app64.exe");
        std::string notes;
        for (const auto& note : program.notes) notes += note + "\n";
        EXPECT_EQ(
            notes.find("on 32-bit Windows: C:\\Program Files\\Vendor\\App\\app64.exe") != std::string::npos,
            nt)
            << notes;
        EXPECT_EQ(files->items[1].typicalPath,
                  nt ? "C:\\Windows\\Sysnative\\vendor.dll" : "C:\\WINDOWS\\SYSTEM\\vendor.dll");
        EXPECT_FALSE(files->items[1].view);
        const PlanItem& shared = files->items[3];
        EXPECT_EQ(shared.view, std::optional<int>(64));
        EXPECT_EQ(shared.action, nt ? "delete" : "skip");
        ASSERT_EQ(registry->items.size(), 3u);
        for (size_t i : {0u, 1u}) {
            EXPECT_EQ(registry->items[i].view, std::optional<int>(64));
            EXPECT_EQ(registry->items[i].action, nt ? (i == 0 ? "delete key" : "delete value") : "skip");
            EXPECT_EQ(registry->items[i].path.substr(0, 5), "HKLM\\");
        }
        EXPECT_FALSE(registry->items[2].view);
        std::string json = FormatPlanJson(plan);
        auto doc = nlohmann::json::parse(json);
        bool found = false;
        for (const auto& pass : doc["passes"]) {
            if (pass["name"] != "registry") continue;
            EXPECT_EQ(pass["items"][0]["view"], 64);
            EXPECT_FALSE(pass["items"][2].contains("view"));
            found = true;
        }
        EXPECT_TRUE(found);
        std::string text = FormatPlanText(plan);
        EXPECT_NE(text.find("64-bit view"), std::string::npos);
    }
}

}  // namespace
