// `uninstpack dump`: the block read back with the uninstaller's loader, printed as a manifest that
// builds the same bytes again; and what it says about blocks that do not load.
#include <gtest/gtest.h>

#include "pack/commands.h"
#include "pack/image.h"
#include "pack_support.h"
#include "support/block_file.h"

using namespace format;
using pack_testing::FakeStub;
using pack_testing::ReadBytes;
using pack_testing::RunPacker;
using pack_testing::TempFolder;
using pack_testing::WriteBytes;
using pack_testing::WriteText;
using testing_support::Join;

namespace {

const char kCyrillicManifest[] = R"({
  "codePage": 1251,
  "messages": {"caption": "Удаление", "confirm": "Удалить «Демо»?", "noToAll": ""},
  "files": [
    {"folder": ".\\Данные"},
    {"folder": ".\\Данные", "name": "файл.dat", "flags": ["shared", "mustBeFree"]},
    {"folder": "C:\\Windows\\Fonts", "name": "demo.ttf", "flags": ["font"]},
    {"folder": ".\\Bin", "name": "srv.dll", "flags": ["selfRegister"]}
  ],
  "shortcuts": [{"levels": 2, "folder": "C:\\Меню\\Демо", "secondFolder": "C:\\Desktop\\Демо", "name": "Демо.lnk"},
                {"levels": 0, "folder": "C:\\Menu", "secondFolder": "", "name": ""}],
  "registry": [
    {"root": "HKCU", "key": "Software\\Демо"},
    {"root": "HKLM", "key": "Software\\Демо\\Пути", "value": "Папка"},
    {"root": "HKCR", "key": ".demo", "value": ""},
    {"root": "HKU", "key": "", "value": "AtRoot"}
  ],
  "patterns": ["*.log", "#TempDir#\\демо*.tmp"],
  "settings": {"waitForRun": true, "themedControls": false, "runFirst": "\"#System#\\cmd.exe\" /c echo", "document": ""}
})";

// build, dump, build: the two uninstallers are the same bytes.
TEST(DumpRoundTrip, BuildDumpBuildGivesTheSameBytes) {
    TempFolder dir;
    std::string stub = dir.File("stub.exe");
    WriteBytes(stub, FakeStub());
    struct Case {
        const char* name;
        std::string manifest;
    } cases[] = {
        {"sample", pack_testing::ReadText(pack_testing::SourceDir() + "/examples/sample-app.json")},
        {"cyrillic", kCyrillicManifest},
        {"empty", "{}"},
        {"settings only", R"({"settings": {"themedControls": true}})"},
    };
    for (const auto& c : cases) {
        std::string first = dir.File("first.exe"), second = dir.File("second.exe");
        std::string manifest = dir.File("m.json"), dumped = dir.File("dumped.json");
        WriteText(manifest, c.manifest);
        auto built = RunPacker("build '" + manifest + "' --stub '" + stub + "' -o '" + first + "' --force");
        ASSERT_EQ(built.exitCode, 0) << c.name << built.err;
        int codePage = c.manifest.find("1251") != std::string::npos ? 1251 : 1252;
        auto dump = RunPacker("dump '" + first + "' --code-page " + std::to_string(codePage));
        ASSERT_EQ(dump.exitCode, 0) << c.name << dump.err;
        EXPECT_EQ(dump.err, "") << c.name;
        WriteText(dumped, dump.out);
        auto rebuilt = RunPacker("build '" + dumped + "' --stub '" + stub + "' -o '" + second + "' --force");
        ASSERT_EQ(rebuilt.exitCode, 0) << c.name << rebuilt.err;
        EXPECT_EQ(ReadBytes(first), ReadBytes(second)) << c.name << "\n" << dump.out;
    }
}

TEST(DumpRoundTrip, DumpShowsTextsInUtf8) {
    pack::Manifest m;
    ASSERT_EQ(pack_testing::Parse(kCyrillicManifest, m), "");
    std::string json;
    std::vector<pack::Problem> problems, notes;
    ASSERT_TRUE(pack::ManifestToJson(m, json, problems, notes));
    EXPECT_NE(json.find(R"("caption": "Удаление")"), std::string::npos) << json;
    EXPECT_NE(json.find(R"({"root": "HKLM", "key": "Software\\Демо\\Пути", "value": "Папка"})"), std::string::npos) << json;
    EXPECT_NE(json.find(R"({"root": "HKU", "key": "", "value": "AtRoot"})"), std::string::npos) << json;
    EXPECT_NE(json.find(R"("flags": ["shared", "mustBeFree"])"), std::string::npos) << json;
    EXPECT_TRUE(notes.empty());
}

// Blocks no packer writes: dump prints what it can and says what it left out or could not convert.
TEST(DumpForeignBlocks, NotesWhatTheManifestCannotSay) {
    Block block;
    block.messages = {"only", "three", "texts"};
    block.files = {{".\\", "a.dll", 0xF1}};
    block.registry = {{0x12345678u, "Software\\X"}};
    block.settings = SettingsSpec{0x104, std::nullopt, std::nullopt};
    pack::Manifest m;
    m.block = block;
    std::string json;
    std::vector<pack::Problem> problems, notes;
    ASSERT_TRUE(pack::ManifestToJson(m, json, problems, notes));
    std::string all;
    for (const auto& n : notes) all += n.where + ": " + n.message + "\n";
    EXPECT_NE(all.find("messages: the block holds 3 of the 16 messages"), std::string::npos) << all;
    EXPECT_NE(all.find("files[0].flags: flag bits 0xF0 have no name"), std::string::npos) << all;
    EXPECT_NE(all.find("registry[0].root: 0x12345678 is no predefined root"), std::string::npos) << all;
    EXPECT_NE(all.find("settings: flag bits 0x104 have no name"), std::string::npos) << all;
    EXPECT_NE(json.find(R"("flags": ["shared"])"), std::string::npos) << json;
}

TEST(DumpForeignBlocks, BytesWithoutACharacterInTheCodePageFail) {
    pack::Manifest m;
    m.block.files = {{".\\", "a\x81" "b", 0}};  // 0x81 names no character in code page 1252
    std::string json;
    std::vector<pack::Problem> problems, notes;
    EXPECT_FALSE(pack::ManifestToJson(m, json, problems, notes));
    ASSERT_EQ(problems.size(), 1u);
    EXPECT_EQ(problems[0].where, "files[0].name");
    EXPECT_NE(problems[0].message.find("byte 0x81"), std::string::npos) << problems[0].message;
}

// A block that fails to load: the load error's code and name, and the record where it failed.
TEST(DumpLoadErrors, NameTheCodeAndTheRecord) {
    TempFolder dir;
    Bytes stub = FakeStub(300);
    struct Case {
        const char* name;
        Bytes block;
        const char* message;
    } cases[] = {
        {"no block attached", {}, "load error 8 (LoadErrorHeader) in the record at offset 300 (0x12C, tag 0x0000); no block is attached"},
        {"settings refused", Join({EncodeFileList({{".\\", "a", 0}}), EncodeRecord(kSettingsRecord, Bytes(12, 0), 1), EncodeEnd()}),
         "load error 1 (LoadErrorBody) in the record at offset 320 (0x140, tag 0x123A)"},
        {"count too large", Join({EncodeRecord(kFileListRecord, {5, 0, 0, 0x40}), EncodeEnd()}),
         "load error 7 (LoadErrorMemory) in the record at offset 300 (0x12C, tag 0x1235)"},
    };
    for (const auto& c : cases) {
        Bytes image = stub;
        PutU32At(image, 106, 300u);
        image.insert(image.end(), c.block.begin(), c.block.end());
        std::string path = dir.File("bad.exe");
        WriteBytes(path, image);
        auto run = RunPacker("dump '" + path + "'");
        EXPECT_EQ(run.exitCode, 1) << c.name;
        EXPECT_EQ(run.out, "") << c.name;
        EXPECT_NE(run.err.find(c.message), std::string::npos) << c.name << "\n" << run.err;
    }
    std::string plain = dir.File("plain.bin");
    WriteBytes(plain, Bytes(100, 0));
    auto run = RunPacker("dump '" + plain + "'");
    EXPECT_EQ(run.exitCode, 1);
    EXPECT_NE(run.err.find("the data-offset marker does not occur exactly once"), std::string::npos) << run.err;
}

}  // namespace
