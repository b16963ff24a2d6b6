// `uninstpack build`: the stub's data-offset field, and the real packer's exit codes.
#include <gtest/gtest.h>

#include "data/loader.h"
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

uint32_t FieldValue(const Bytes& image, size_t field) { return format::ReadU32(image.data() + field); }

TEST(StubPatching, TheFieldGetsTheStubsSizeAndTheBlockFollows) {
    Bytes stub = FakeStub(300);
    ASSERT_EQ(FindDataOffsetField(stub), std::optional<size_t>(106));
    Bytes block = EncodeBlock({});
    std::string error;
    auto image = AttachBlock(stub, block, &error);
    ASSERT_TRUE(image) << error;
    ASSERT_EQ(image->size(), stub.size() + block.size());
    auto field = FindDataOffsetField(*image);
    ASSERT_TRUE(field);
    EXPECT_EQ(*field, 106u);
    EXPECT_EQ(FieldValue(*image, *field), 300u);
    EXPECT_TRUE(std::equal(block.begin(), block.end(), image->begin() + 300));
    // Nothing else of the stub changed.
    for (size_t i = 0; i < stub.size(); ++i) {
        if (i < *field || i >= *field + 4) ASSERT_EQ((*image)[i], stub[i]) << i;
    }
}

TEST(StubPatching, AMarkerThatIsMissingOrTwiceIsRefused) {
    Bytes none(64, 0);
    Bytes twice = FakeStub(300);
    std::copy(std::begin(kDataOffsetMarker), std::end(kDataOffsetMarker), twice.begin() + 200);
    Bytes atTheEnd(std::begin(kDataOffsetMarker), std::end(kDataOffsetMarker));  // no room for the field
    for (const Bytes* stub : {&none, &twice, &atTheEnd}) {
        EXPECT_FALSE(FindDataOffsetField(*stub));
        std::string error;
        EXPECT_FALSE(AttachBlock(*stub, EncodeEnd(), &error));
        EXPECT_NE(error.find("exactly once"), std::string::npos) << error;
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
    EXPECT_EQ(FieldValue(image, *field), 300u);
    testing_support::LoadedBlock b(Bytes(image.begin() + 300, image.end()));
    ASSERT_EQ(b.outcome.code, kLoadOk);
    EXPECT_STREQ(b.data.messages[kMsgCaption], "Uninst Demo Uninstall");
    EXPECT_EQ(b.data.files.count, 8u);
    EXPECT_EQ(b.data.shortcuts.count, 1u);
    EXPECT_EQ(b.data.registry.count, 3u);
    EXPECT_STREQ(b.data.patterns, "*.log");
    EXPECT_EQ(SettingsCommand(b.data), nullptr);
}

TEST_F(PackerRun, ExitCodesAreZeroOneAndTwo) {
    std::string good = dir_.File("good.json");
    std::string bad = dir_.File("bad.json");
    std::string dangerous = dir_.File("dangerous.json");
    WriteText(good, R"({"files": [{"folder": ".\\", "name": "app.exe"}]})");
    WriteText(bad, R"({"files": [{"folder": ".\\", "name": "app.exe", "flags": ["sharde"]}]})");
    WriteText(dangerous, R"({"registry": [{"root": "HKLM", "key": "Software\\"}]})");
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
        {"build '" + dir_.File("missing.json") + "' --stub '" + stub_ + "' -o '" + out + "'", 1, "cannot open"},
        {"build '" + good + "' --stub '" + dir_.File("missing.exe") + "' -o '" + out + "'", 1, "cannot open"},
        {"build '" + good + "' --stub '" + good + "' -o '" + out + "'", 1, "exactly once"},
        {"build '" + good + "' -o '" + out + "'", 2, "--stub is required"},
        {"build", 2, "MANIFEST is required"},
        {"", 2, "A subcommand is required"},
        {"frobnicate", 2, "frobnicate"},
        {"build '" + good + "' --stub '" + stub_ + "' -o '" + out + "' --bogus", 2, "--bogus"},
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
