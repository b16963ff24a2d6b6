// The loader and record readers, on real files. Runs natively and under Wine.
#include <cstring>
#include <gtest/gtest.h>
#include <string>

#include "common/memory.h"
#include "support/block_file.h"
#include "support/failing_blocks.h"

using namespace format;
using testing_support::Hex;
using testing_support::Join;
using testing_support::LoadedBlock;

namespace {

const Bytes kEnd = Hex("7F 7F 00 00 00 00 00 00");

std::string Text(const char* p) {
    return p ? std::string(p) : std::string("<null>");
}

TEST(LoaderKnownBytes, StringTableExampleLoadsTwoTexts) {
    LoadedBlock b(Hex("34 12 00 00 09 00 00 00 01 00 02 00 01 00 41 00 00 7F 7F 00 00 00 00 00 00"));
    ASSERT_EQ(b.outcome.code, kLoadOk);
    ASSERT_EQ(b.data.messageCount, 2u);
    EXPECT_STREQ(b.data.messages[0], "A");
    EXPECT_STREQ(b.data.messages[1], "");
    EXPECT_EQ(b.data.messages[2], nullptr);
    EXPECT_EQ(b.data.settings, nullptr);
    EXPECT_EQ(SettingsFlags(b.data), 0u);
    EXPECT_EQ(SettingsCommand(b.data), nullptr);
}

TEST(LoaderKnownBytes, FileRecordExampleAddsOneSharedEntry) {
    LoadedBlock b(
        Join({Hex("35 12 00 00 10 00 00 00 01 00 00 00 02 00 2E 5C 05 00 61 2E 64 6C 6C 01"), kEnd}));
    ASSERT_EQ(b.outcome.code, kLoadOk);
    ASSERT_EQ(b.data.files.count, 1u);
    EXPECT_STREQ(b.data.files.items[0]->folder, ".\\");
    EXPECT_STREQ(b.data.files.items[0]->fileName, "a.dll");
    EXPECT_EQ(b.data.files.items[0]->flags, kFileShared);
}

TEST(LoaderKnownBytes, FileRecordWithBinFolderMatchesTheWriter) {
    Bytes record = Join({Hex("35 12 00 00 15 00 00 00 01 00 00 00 05 00"), Bytes{'.', '\\', 'B', 'i', 'n'},
                         Hex("07 00"), Bytes{'a', 'p', 'p', '.', 'd', 'l', 'l'}, Hex("08")});
    EXPECT_EQ(EncodeFileList({{".\\Bin", "app.dll", kFileMustBeFree}}), record);
    LoadedBlock b(Join({record, kEnd}));
    ASSERT_EQ(b.outcome.code, kLoadOk);
    ASSERT_EQ(b.data.files.count, 1u);
    EXPECT_STREQ(b.data.files.items[0]->folder, ".\\Bin");
    EXPECT_STREQ(b.data.files.items[0]->fileName, "app.dll");
    EXPECT_EQ(b.data.files.items[0]->flags, kFileMustBeFree);
}

TEST(LoaderKnownBytes, SettingsExampleHasWaitFlagAndCommand) {
    Bytes record = Hex("3A 12 00 00 12 00 00 00 01 00 00 00 0C 00 00 00 00 00 00 00 75 2E 65 78 65 00");
    EXPECT_EQ(EncodeSettings({kSettingsWaitForRun, "u.exe", std::nullopt}), record);
    LoadedBlock b(Join({record, kEnd}));
    ASSERT_EQ(b.outcome.code, kLoadOk);
    EXPECT_EQ(SettingsFlags(b.data), kSettingsWaitForRun);
    EXPECT_EQ(Text(SettingsCommand(b.data)), "u.exe");
    EXPECT_EQ(SettingsDocument(b.data), nullptr);
}

TEST(Loader, WritesAndReadsEveryKindOfRecord) {
    Block block;
    block.messages = {"Caption", "Remove %s?", ""};
    block.files = {{".\\", "app.exe", 0},
                   {"C:\\Shared", "lib.dll", kFileShared | kFileSelfRegister},
                   {".\\Data", "", 0}};
    block.shortcuts = {{2, "C:\\Menu\\Vendor\\App", "C:\\Desktop", "App.lnk"}};
    block.registry = {{0x80000001u, "Software\\Vendor\\App"}, {0x80000002u, "Software\\Run\\\\App"}};
    block.patterns = {"*.log", "#TempDir#\\app*.tmp"};
    block.settings =
        SettingsSpec{kSettingsThemedControls, "\"setup.exe\" /remove", "https://example.com/bye"};
    LoadedBlock b(EncodeBlock(block));
    ASSERT_EQ(b.outcome.code, kLoadOk);
    ASSERT_EQ(b.data.messageCount, 3u);
    EXPECT_STREQ(b.data.messages[1], "Remove %s?");
    ASSERT_EQ(b.data.files.count, 3u);
    EXPECT_STREQ(b.data.files.items[1]->folder, "C:\\Shared");
    EXPECT_EQ(b.data.files.items[1]->flags, kFileShared | kFileSelfRegister);
    EXPECT_STREQ(b.data.files.items[2]->fileName, "");
    ASSERT_EQ(b.data.shortcuts.count, 1u);
    EXPECT_EQ(b.data.shortcuts.items[0]->levelCount, 2u);
    EXPECT_STREQ(b.data.shortcuts.items[0]->secondFolder, "C:\\Desktop");
    EXPECT_STREQ(b.data.shortcuts.items[0]->fileName, "App.lnk");
    ASSERT_EQ(b.data.registry.count, 2u);
    EXPECT_EQ(b.data.registry.items[1]->rootKey, 0x80000002u);
    EXPECT_STREQ(b.data.registry.items[1]->keyPath, "Software\\Run\\\\App");
    const char expected[] = "*.log\0#TempDir#\\app*.tmp\0";
    ASSERT_EQ(b.data.patternSize, sizeof(expected));
    EXPECT_EQ(0, memcmp(b.data.patterns, expected, sizeof(expected)));
    EXPECT_EQ(SettingsFlags(b.data), kSettingsThemedControls);
    EXPECT_EQ(Text(SettingsCommand(b.data)), "\"setup.exe\" /remove");
    EXPECT_EQ(Text(SettingsDocument(b.data)), "https://example.com/bye");
}

// How records add up, and what the walk skips.
TEST(Loader, RecordsOfOneKindAddUp) {
    Bytes twoFileRecords = Join({EncodeFileList({{"a", "1", 0}, {"a", "2", 0}, {"a", "3", 0}}),
                                 EncodeFileList({{"b", "4", 0}, {"b", "5", 0}}), kEnd});
    LoadedBlock files(twoFileRecords);
    ASSERT_EQ(files.outcome.code, kLoadOk);
    ASSERT_EQ(files.data.files.count, 5u);
    for (uint32_t i = 0; i < 5; ++i)
        EXPECT_EQ(std::string(files.data.files.items[i]->fileName), std::to_string(i + 1));

    LoadedBlock tables(Join({EncodeStringTable(std::vector<std::string>(16, "first")),
                             EncodeStringTable({"a", "b", "c", "d"}), kEnd}));
    ASSERT_EQ(tables.outcome.code, kLoadOk);
    ASSERT_EQ(tables.data.messageCount, 4u);
    EXPECT_STREQ(tables.data.messages[3], "d");

    LoadedBlock patterns(
        Join({Hex("39 12 00 00 03 00 00 00 61 00 00"), Hex("39 12 00 00 03 00 00 00 62 00 00"), kEnd}));
    ASSERT_EQ(patterns.outcome.code, kLoadOk);
    ASSERT_EQ(patterns.data.patternSize, 5u);
    EXPECT_EQ(0, memcmp(patterns.data.patterns, "a\0b\0\0", 5));

    LoadedBlock settings(Join({EncodeSettings({1, "first.exe", "doc.htm"}),
                               EncodeSettings({0, std::nullopt, std::nullopt}), kEnd}));
    ASSERT_EQ(settings.outcome.code, kLoadOk);
    EXPECT_EQ(SettingsFlags(settings.data), 0u);
    EXPECT_EQ(SettingsCommand(settings.data), nullptr);
    EXPECT_EQ(SettingsDocument(settings.data), nullptr);
}

TEST(Loader, TableCountAndTextCountEdgeCases) {
    // Three tables: only the first is read, the rest of the body is skipped.
    Bytes body;
    PutU16(body, 3);
    PutU16(body, 16);
    for (int i = 0; i < 16; ++i) PutText(body, "t" + std::to_string(i));
    PutU16(body, 1);
    PutText(body, "second table");
    LoadedBlock three(Join({EncodeRecord(kStringTablesRecord, body), kEnd}));
    ASSERT_EQ(three.outcome.code, kLoadOk);
    ASSERT_EQ(three.data.messageCount, 16u);
    EXPECT_STREQ(three.data.messages[15], "t15");

    // A table of no texts keeps the earlier table; with none before, there is no table.
    LoadedBlock keep(Join({EncodeStringTable({"x", "y"}), Hex("34 12 00 00 04 00 00 00 01 00 00 00"), kEnd}));
    ASSERT_EQ(keep.outcome.code, kLoadOk);
    EXPECT_EQ(keep.data.messageCount, 2u);
    LoadedBlock none(
        Join({Hex("34 12 00 00 04 00 00 00 01 00 00 00"), Hex("34 12 00 00 02 00 00 00 00 00"), kEnd}));
    ASSERT_EQ(none.outcome.code, kLoadOk);
    EXPECT_EQ(none.data.messages, nullptr);
}

TEST(Loader, WalkSkipsWhatItDoesNotRead) {
    struct Case {
        const char* name;
        Bytes block;
        uint32_t files;
    } cases[] = {
        {"only an end record", kEnd, 0},
        {"end record with a 4-byte body", Hex("7F 7F 00 00 04 00 00 00 01 02 03 04"), 0},
        {"end record ends the walk", Join({kEnd, EncodeFileList({{"a", "b", 0}}), kEnd}), 0},
        {"empty records of any tag",
         Join(
             {Hex("35 12 00 00 00 00 00 00 39 12 01 00 00 00 00 00"), EncodeFileList({{"a", "b", 0}}), kEnd}),
         1},
        {"tag 0x1238 with 10 bytes",
         Join({Hex("38 12 00 00 0A 00 00 00"), Bytes(10, 0x35), EncodeFileList({{"a", "b", 0}}), kEnd}), 1},
        {"unknown tag with 10 bytes",
         Join({Hex("00 20 00 00 0A 00 00 00"), Bytes(10, 0xFF), EncodeFileList({{"a", "b", 0}}), kEnd}), 1},
        {"list body longer than its entries",
         Join({Hex("35 12 00 00 0E 00 00 00 01 00 00 00 01 00 61 01 00 62 00 EE EE EE"), kEnd}), 1},
        {"registry count 0", Join({Hex("37 12 00 00 04 00 00 00 00 00 00 00"), kEnd}), 0},
    };
    for (const auto& c : cases) {
        LoadedBlock b(c.block);
        EXPECT_EQ(b.outcome.code, kLoadOk) << c.name;
        EXPECT_EQ(b.data.files.count, c.files) << c.name;
        EXPECT_EQ(b.data.registry.count, 0u) << c.name;
    }
}

// Where the block ends: just past the end record and its body; what follows is never read.
TEST(Loader, TheBlockEndsAfterTheEndRecord) {
    struct Case {
        const char* name;
        Bytes block;
        uint64_t length;  // of the block, from the data offset
    } cases[] = {
        {"only an end record", kEnd, 8},
        {"end record with a 4-byte body", Hex("7F 7F 00 00 04 00 00 00 01 02 03 04"), 12},
        {"bytes after the end record", Join({kEnd, EncodeFileList({{"a", "b", 0}}), kEnd}), 8},
        {"a record before it", Join({EncodeFileList({{"a", "b", 0}}), kEnd, Bytes(5, 0xEE)}),
         EncodeFileList({{"a", "b", 0}}).size() + 8},
    };
    for (const auto& c : cases) {
        LoadedBlock b(c.block);
        ASSERT_EQ(b.outcome.code, kLoadOk) << c.name;
        EXPECT_EQ(b.outcome.blockEnd, 16u + c.length) << c.name;  // 16 bytes of padding before the block
    }
}

// Entry arrays are sized in 64 bits and refused when the size does not fit the program's size_t: on
// the 32-bit uninstaller a count the file can hold times an entry's size may pass 4 GiB.
TEST(Loader, ArraySizesThatDoNotFitASizeAreRefused) {
    struct Case {
        uint64_t count;
        uint64_t size;
        bool fits;
    } cases[] = {
        {0x15555555u, 12, true},   // 0xFFFFFFFC bytes
        {0x15555556u, 12, false},  // 0x100000008: wraps to 8 in 32 bits
        {0x40000000u, 4, false},   // 0x100000000: wraps to 0
        {0xFFFFFFFFu, 1, true},
        {0x100000000u, 1, false},  // no count of the block is that large
        {0, 16, true},
    };
    constexpr uint64_t kSize32Max = 0xFFFFFFFFu;
    for (const auto& c : cases) {
        size_t bytes = 7;
        EXPECT_EQ(ArrayBytes(c.count, c.size, bytes, kSize32Max), c.fits) << c.count << " x " << c.size;
        if (c.fits) EXPECT_EQ(bytes, c.count * c.size);
    }
}

// Blocks that must fail to load, with the code each failure class reports.
TEST(LoaderErrors, EachFailureClassReportsItsCode) {
    for (const auto& c : testing_support::FailingBlocks()) {
        LoadedBlock b(c.block);
        EXPECT_EQ(b.outcome.code, c.code) << c.name;
    }
}

TEST(LoaderErrors, DataOffsetsOf2GiBAndMoreAreRefused) {
    testing_support::TempFile file(kEnd);
    for (uint32_t offset : {0x80000000u, 0xFFFFFFF8u}) {
        UninstallData data{};
        FileHandle handle = OpenExisting(file.path().c_str(), kOpenRead);
        ASSERT_NE(handle, kInvalidFile);
        EXPECT_EQ(LoadRecords(handle, offset, data), kLoadErrorHeader) << offset;
        CloseFile(handle);
        FreeUninstallData(data);
    }
}

TEST(LoaderErrors, FailureNamesTheRecordThatFailed) {
    Bytes first = EncodeFileList({{"a", "b", 0}});
    LoadedBlock b(Join({first, Hex("3A 12 00 00 04 00 00 00 01 00 00 00"), kEnd}));
    ASSERT_EQ(b.outcome.code, kLoadErrorBody);
    EXPECT_EQ(b.outcome.failure.recordOffset, 16u + first.size());  // 16 bytes of padding before the block
    EXPECT_EQ(b.outcome.failure.tag, kSettingsRecord);
    // What was read before the failure is still owned and freed with the data.
    EXPECT_EQ(b.data.files.count, 1u);
}

}  // namespace
