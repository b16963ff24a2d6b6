// `uninstpack dump`: the block read back with the uninstaller's loader, printed as a manifest that
// builds the same bytes again; and what it says about blocks that do not load.
#include <filesystem>
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
        {"tokens, unattended", R"({"unattended": true,
            "files": [{"folder": "#AppData#\\Vendor"}, {"folder": "#AppData#\\Vendor", "name": "a.ini"},
                      {"folder": "#Fonts#", "name": "v.ttf", "flags": ["font"]}, {"folder": "#InstallDir#\\Bin", "name": "b.dll"}],
            "shortcuts": [{"levels": 1, "folder": "#AllUsersPrograms#\\Vendor\\App", "secondFolder": "#AllUsersDesktop#\\Vendor",
                           "name": "App.lnk"}, {"levels": 0, "folder": "#Startup#", "secondFolder": "", "name": "App.lnk"}]})"},
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
    EXPECT_NE(json.find(R"({"root": "HKLM", "key": "Software\\Демо\\Пути", "value": "Папка"})"),
              std::string::npos)
        << json;
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
    // 0x10 is the 64-bit view of a shared file's count, written as "view".
    EXPECT_NE(all.find("files[0].flags: flag bits 0xE0 have no name"), std::string::npos) << all;
    EXPECT_NE(all.find("registry[0].root: 0x12345678 is no predefined root"), std::string::npos) << all;
    EXPECT_NE(all.find("settings: flag bits 0x104 have no name"), std::string::npos) << all;
    EXPECT_NE(json.find(R"("flags": ["shared"], "view": 64)"), std::string::npos) << json;
}

TEST(DumpForeignBlocks, BytesWithoutACharacterInTheCodePageFail) {
    pack::Manifest m;
    m.block.files = {{".\\",
                      "a\x81"
                      "b",
                      0}};  // 0x81 names no character in code page 1252
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
    Bytes stub = FakeStub();
    struct Case {
        const char* name;
        Bytes block;
        const char* message;
    } cases[] = {
        {"no block attached",
         {},
         "load error 8 (LoadErrorHeader) in the record at offset 2048 (0x800, tag 0x0000); no block is "
         "attached"},
        {"settings refused",
         Join({EncodeFileList({{".\\", "a", 0}}), EncodeRecord(kSettingsRecord, Bytes(12, 0), 1),
               EncodeEnd()}),
         "load error 1 (LoadErrorBody) in the record at offset 2068 (0x814, tag 0x123A)"},
        {"count too large", Join({EncodeRecord(kFileListRecord, {5, 0, 0, 0x40}), EncodeEnd()}),
         "load error 7 (LoadErrorMemory) in the record at offset 2048 (0x800, tag 0x1235)"},
    };
    for (const auto& c : cases) {
        Bytes image = stub;
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
    EXPECT_NE(run.err.find("no executable"), std::string::npos) << run.err;
}

// dump and plan read the field where the program reads it, through the real packer on real files.
class DumpFindsTheField : public ::testing::Test {
  protected:
    void SetUp() override {
        ASSERT_NE(getenv("UNINSTPACK"), nullptr) << "host tests run with UNINSTPACK set by CTest";
        stub_ = dir_.File("stub.exe");
        WriteBytes(stub_, FakeStub());
    }
    // Builds `manifest` (JSON) into `out`; the build's standard error, which must be empty.
    void Build(const std::string& manifest, const std::string& out) {
        std::string path = dir_.File("build.json");
        WriteText(path, manifest);
        auto run = RunPacker("build '" + path + "' --stub '" + stub_ + "' -o '" + out + "' --force");
        ASSERT_EQ(run.exitCode, 0) << run.err;
    }
    TempFolder dir_;
    std::string stub_;
};

// The six marker bytes are the ASCII text "wwgT)H": a caption or a file name may hold them.
TEST_F(DumpFindsTheField, MarkerBytesInTheBlocksTextsKeepBuildDumpBuild) {
    const std::string marker(std::begin(kDataOffsetMarker), std::end(kDataOffsetMarker));
    ASSERT_EQ(marker, "wwgT)H");
    std::string image = dir_.File("image");
    std::filesystem::create_directories(image + "/Data");
    WriteText(image + "/" + marker + ".txt", "x");
    WriteText(image + "/Data/" + marker, "x");
    auto scan = RunPacker("scan '" + image + "' --install-dir-name '" + marker + "'");
    ASSERT_EQ(scan.exitCode, 0) << scan.err;
    ASSERT_NE(scan.out.find("\"caption\": \"wwgT)H Uninstall\""), std::string::npos) << scan.out;
    std::string first = dir_.File("first.exe"), second = dir_.File("second.exe"),
                dumped = dir_.File("dumped.json");
    Build(scan.out, first);
    auto dump = RunPacker("dump '" + first + "'");
    ASSERT_EQ(dump.exitCode, 0) << dump.err;
    EXPECT_EQ(dump.err, "");
    WriteText(dumped, dump.out);
    auto rebuilt = RunPacker("build '" + dumped + "' --stub '" + stub_ + "' -o '" + second + "'");
    ASSERT_EQ(rebuilt.exitCode, 0) << rebuilt.err;
    EXPECT_EQ(ReadBytes(first), ReadBytes(second));
    auto plan = RunPacker("plan '" + first + "'");
    EXPECT_EQ(plan.exitCode, 0) << plan.err;
    EXPECT_NE(plan.out.find("#InstallDir#\\Data\\wwgT)H"), std::string::npos) << plan.out;
}

// An uninstaller whose marker was overwritten (the program never reads it), with a second marker,
// field and block appended after the end record: the program runs the first block, and so do dump
// and plan; the appended bytes are reported.
TEST_F(DumpFindsTheField, ADecoyAfterTheEndRecordIsReportedNotShown) {
    std::string real = dir_.File("real.exe");
    Build(R"({"registry": [{"root": "HKCU", "key": "Software\\Vendor\\RealApp"}]})", real);
    Bytes image = ReadBytes(real);
    size_t realSize = image.size();
    std::fill_n(image.begin() + testing_support::kFakeStubField - kDataOffsetMarkerSize,
                kDataOffsetMarkerSize, 0);
    Block decoy;
    decoy.registry = {{0x80000001u, "Software\\Vendor\\Decoy"}};
    Bytes tail(std::begin(kDataOffsetMarker), std::end(kDataOffsetMarker));
    PutU32(tail, static_cast<uint32_t>(realSize + kDataOffsetMarkerSize + kDataOffsetFieldSize));
    Bytes decoyBlock = EncodeBlock(decoy);
    tail.insert(tail.end(), decoyBlock.begin(), decoyBlock.end());
    image.insert(image.end(), tail.begin(), tail.end());
    std::string altered = dir_.File("altered.exe");
    WriteBytes(altered, image);

    auto dump = RunPacker("dump '" + altered + "'");
    ASSERT_EQ(dump.exitCode, 0) << dump.err;
    EXPECT_NE(dump.out.find("RealApp"), std::string::npos) << dump.out;
    EXPECT_EQ(dump.out.find("Decoy"), std::string::npos) << dump.out;
    EXPECT_NE(dump.err.find("note: the data-offset marker in front of the field was overwritten"),
              std::string::npos)
        << dump.err;
    EXPECT_NE(
        dump.err.find("note: " + std::to_string(tail.size()) + " bytes follow the end record (from offset " +
                      std::to_string(realSize) + "): the uninstaller never reads them"),
        std::string::npos)
        << dump.err;
    auto plan = RunPacker("plan '" + altered + "'");
    ASSERT_EQ(plan.exitCode, 0) << plan.err;
    EXPECT_NE(plan.out.find("delete key HKCU\\Software\\Vendor\\RealApp"), std::string::npos) << plan.out;
    EXPECT_EQ(plan.out.find("Decoy"), std::string::npos) << plan.out;
    EXPECT_NE(plan.err.find("bytes follow the end record"), std::string::npos) << plan.err;
}

}  // namespace
