// `uninstpack build`: the stub's data-offset field, and the real packer's exit codes.
#include <gtest/gtest.h>

#include "data/loader.h"
#include "format/stub_image.h"
#include "pack_support.h"
#include "support/block_file.h"

using namespace format;
using pack_testing::FakeStub;
using pack_testing::ReadBytes;
using pack_testing::RunPacker;
using pack_testing::TempFolder;
using pack_testing::WriteBytes;
using pack_testing::WriteText;

namespace {

using testing_support::kFakeStubField;
using testing_support::kFakeStubSize;
using testing_support::kFakeStubUninstHeader;

uint32_t FieldValue(const Bytes& image, size_t field) { return format::ReadU32(image.data() + field); }

TEST(StubPatching, TheFieldGetsTheStubsSizeAndTheBlockFollows) {
    Bytes stub = FakeStub();
    ASSERT_EQ(FindDataOffsetField(stub), std::optional<size_t>(kFakeStubField));
    Bytes block = EncodeBlock({});
    std::string error;
    auto image = AttachBlock(stub, block, &error);
    ASSERT_TRUE(image) << error;
    ASSERT_EQ(image->size(), stub.size() + block.size());
    auto field = FindDataOffsetField(*image);
    ASSERT_TRUE(field);
    EXPECT_EQ(*field, kFakeStubField);
    EXPECT_EQ(FieldValue(*image, *field), kFakeStubSize);
    EXPECT_TRUE(std::equal(block.begin(), block.end(), image->begin() + kFakeStubSize));
    // Nothing else of the stub changed.
    for (size_t i = 0; i < stub.size(); ++i) {
        if (i < *field || i >= *field + 4) ASSERT_EQ((*image)[i], stub[i]) << i;
    }
}

// The field is where the program reads it: in the .uninst section the headers name. The marker bytes
// elsewhere in the file (a text of the program, a block's caption) are no field.
TEST(StubPatching, TheMarkerElsewhereInTheFileIsNoField) {
    Bytes stub = FakeStub();
    std::copy(std::begin(kDataOffsetMarker), std::end(kDataOffsetMarker), stub.begin() + 0x420);  // in .data
    std::string error;
    auto image = AttachBlock(stub, EncodeBlock({}), &error);
    ASSERT_TRUE(image) << error;
    EXPECT_EQ(FindDataOffsetField(*image), std::optional<size_t>(kFakeStubField));
    EXPECT_EQ(FieldValue(*image, kFakeStubField), kFakeStubSize);
}

// Stubs that are no stub as built: each is refused with the reason, and nothing is attached.
TEST(StubPatching, WhatIsNoStubAsBuiltIsRefused) {
    auto changed = [](auto change) {
        Bytes stub = FakeStub();
        change(stub);
        return stub;
    };
    Bytes uninstaller = *AttachBlock(FakeStub(), EncodeBlock({}), nullptr);
    struct Case {
        const char* name;
        Bytes stub;
        const char* reason;
    } cases[] = {
        {"no executable", Bytes(64, 0), "does not begin with an MZ header"},
        {"no PE header", changed([](Bytes& s) { PutU32At(s, 0x3C, 0x7F0); }), "PE header is missing"},
        {"no .uninst section", changed([](Bytes& s) { s[kFakeStubUninstHeader + 1] = 'x'; }), "no .uninst section"},
        {"two .uninst sections",
         changed([](Bytes& s) { std::copy_n(kDataOffsetSectionName, 8, s.begin() + kFakeStubUninstHeader - 40); }),
         "more than one .uninst section"},
        {"section too small", changed([](Bytes& s) { PutU32At(s, kFakeStubUninstHeader + 8, 8); }), "too small"},
        {"cut short", changed([](Bytes& s) { s.resize(0x700); }), "cut short"},
        {"marker overwritten", changed([](Bytes& s) { std::fill_n(s.begin() + kFakeStubField - 6, 6, 0); }),
         "marker of the stub's .uninst section was overwritten"},
        {"an uninstaller, not a stub", uninstaller, "the stub already carries a data block"},
        {"field moved off its size", changed([](Bytes& s) { PutU32At(s, kFakeStubField, 0x700); }),
         "the stub already carries a data block"},
        // A block appended after a signature would break it, and the uninstaller could not be signed again.
        {"a signed stub", changed([](Bytes& s) {
             size_t entry = LocateDataOffsetField(s)->certificatesEntry;
             PutU32At(s, entry, static_cast<uint32_t>(s.size()));
             PutU32At(s, entry + 4, 24);
             s.resize(s.size() + 24, 0);
         }),
         "the stub is signed"},
    };
    for (const auto& c : cases) {
        std::string error;
        EXPECT_FALSE(AttachBlock(c.stub, EncodeEnd(), &error)) << c.name;
        EXPECT_NE(error.find(c.reason), std::string::npos) << c.name << ": " << error;
    }
}

class PackerRun : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_NE(getenv("UNINSTPACK"), nullptr) << "host tests run with UNINSTPACK set by CTest";
        stub_ = dir_.File("stub.exe");
        WriteBytes(stub_, FakeStub());
    }
    TempFolder dir_;
    std::string stub_;
};

TEST_F(PackerRun, BuildsTheSampleManifest) {
    std::string out = dir_.File("uninst.exe");
    auto run = RunPacker("build '" + pack_testing::SourceDir() + "/examples/sample-app.json' --stub '" + stub_ +
                         "' -o '" + out + "'");
    ASSERT_EQ(run.exitCode, 0) << run.err;
    EXPECT_EQ(run.err, "");
    Bytes image = ReadBytes(out);
    auto field = FindDataOffsetField(image);
    ASSERT_TRUE(field);
    EXPECT_EQ(FieldValue(image, *field), kFakeStubSize);
    testing_support::LoadedBlock b(Bytes(image.begin() + kFakeStubSize, image.end()));
    ASSERT_EQ(b.outcome.code, kLoadOk);
    EXPECT_STREQ(b.data.messages[kMsgCaption], "Uninst Demo Uninstall");
    EXPECT_EQ(b.data.files.count, 14u);
    EXPECT_EQ(b.data.shortcuts.count, 2u);
    EXPECT_EQ(b.data.registry.count, 3u);
    EXPECT_STREQ(b.data.patterns, "Logs\\*.log");
    ASSERT_NE(SettingsCommand(b.data), nullptr);
    EXPECT_STREQ(SettingsCommand(b.data), "\"#Windows#\\Temp\\uninst-demo-firstrun.exe\" says goodbye");
    ASSERT_NE(SettingsDocument(b.data), nullptr);
    EXPECT_STREQ(SettingsDocument(b.data), "C:\\users\\Public\\Documents\\Uninst Demo Readme.htm");
}

TEST_F(PackerRun, ExitCodesAreZeroOneAndTwo) {
    std::string good = dir_.File("good.json");
    std::string bad = dir_.File("bad.json");
    std::string dangerous = dir_.File("dangerous.json");
    WriteText(good, R"({"files": [{"folder": ".\\", "name": "app.exe"}]})");
    WriteText(bad, R"({"files": [{"folder": ".\\", "name": "app.exe", "flags": ["sharde"]}]})");
    WriteText(dangerous, R"({"registry": [{"root": "HKLM", "key": "Software\\"}]})");
    std::string breaking = dir_.File("breaking.json");
    WriteText(breaking, R"({"registry": [{"root": "HKLM", "key": "System\\CurrentControlSet\\Services"}],
                            "patterns": ["#System#\\drivers\\*.sys"]})");
    std::string out = dir_.File("out.exe");
    struct Case {
        std::string arguments;
        int exitCode;
        const char* message;  // expected in stdout or stderr
    } cases[] = {
        {"build '" + good + "' --stub '" + stub_ + "' -o '" + out + "'", 0, "data block of"},
        {"build --help", 0, "Usage: uninstpack build"},
        {"--help", 0, "build"},
        {"build '" + bad + "' --stub '" + stub_ + "' -o '" + out + "'", 1,
         "bad.json: files[0].flags[0]: unknown flag \"sharde\""},
        {"build '" + dangerous + "' --stub '" + stub_ + "' -o '" + out + "'", 1, "nothing written (--force builds anyway)"},
        {"build '" + dangerous + "' --stub '" + stub_ + "' -o '" + out + "' --force", 0, "data block of"},
        {"build '" + breaking + "' --stub '" + stub_ + "' -o '" + out + "'", 1, "2 errors in"},
        {"build '" + dir_.File("missing.json") + "' --stub '" + stub_ + "' -o '" + out + "'", 1, "cannot open"},
        {"build '" + good + "' --stub '" + dir_.File("missing.exe") + "' -o '" + out + "'", 1, "cannot open"},
        {"build '" + good + "' --stub '" + good + "' -o '" + out + "'", 1, "not an uninstaller stub"},
        // `out` is the uninstaller the first case built: a second block behind the first is refused.
        {"build '" + good + "' --stub '" + out + "' -o '" + dir_.File("twice.exe") + "'", 1,
         "the stub already carries a data block"},
        {"build '" + good + "' -o '" + out + "'", 2, "--stub is required"},
        {"build", 2, "MANIFEST is required"},
        {"", 2, "A subcommand is required"},
        {"frobnicate", 2, "frobnicate"},
        {"build '" + good + "' --stub '" + stub_ + "' -o '" + out + "' --bogus", 2, "--bogus"},
        {"build '" + good + "' --stub '" + stub_ + "' -o '" + out + "' --password-file pw.txt", 2, "requires --sign-with"},
    };
    for (const auto& c : cases) {
        auto run = RunPacker(c.arguments);
        EXPECT_EQ(run.exitCode, c.exitCode) << c.arguments << "\n" << run.out << run.err;
        EXPECT_NE((run.out + run.err).find(c.message), std::string::npos) << c.arguments << "\n" << run.out << run.err;
    }
}

TEST_F(PackerRun, AFailedBuildLeavesNoOutput) {
    std::string bad = dir_.File("bad.json");
    WriteText(bad, R"({"patterns": [""]})");
    std::string out = dir_.File("never.exe");
    auto run = RunPacker("build '" + bad + "' --stub '" + stub_ + "' -o '" + out + "'");
    EXPECT_EQ(run.exitCode, 1);
    EXPECT_EQ(access(out.c_str(), F_OK), -1);
    EXPECT_EQ(access((out + ".partial").c_str(), F_OK), -1);
}

}  // namespace
