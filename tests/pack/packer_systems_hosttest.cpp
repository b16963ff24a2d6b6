// The packer builds the same uninstaller on every system: whatever the spelling of the paths (letters
// outside ASCII, spaces, CRLF manifests, and for the Windows packer drive letters and backslashes),
// and with code pages that accept, refuse and store texts alike (iconv on POSIX, the code page
// functions of Windows). Natively these run against the host packer; the Windows run (CTest in the
// i686 build) runs them against build/win32/uninstpack.exe under Wine and compares with the host
// packer (UNINSTPACK_NATIVE) byte for byte.
#include <gtest/gtest.h>
#include <optional>
#include <sys/stat.h>

#include "format/stub_image.h"
#include "pack_support.h"

using pack_testing::PackerPath;
using pack_testing::ReadBytes;
using pack_testing::ReadText;
using pack_testing::RunPacker;
using pack_testing::RunResult;
using pack_testing::TempFolder;
using pack_testing::WindowsPacker;
using pack_testing::WriteBytes;
using pack_testing::WriteText;

namespace {

// The host packer, when the packer under test is another build (the Windows run sets it).
std::optional<RunResult> RunNativePacker(const std::string& arguments) {
    const char* native = getenv("UNINSTPACK_NATIVE");
    if (!native || !*native) return std::nullopt;
    return pack_testing::RunProgram(std::string("'") + native + "'", arguments);
}

std::string Quoted(const std::string& text) {
    return "'" + text + "'";
}

std::string WithCrlf(const std::string& text) {
    std::string out;
    for (char c : text) {
        if (c == '\n') out += '\r';
        out += c;
    }
    return out;
}

bool Exists(const std::string& path) {
    struct stat info;
    return stat(path.c_str(), &info) == 0;
}

class PackerOnEverySystem : public ::testing::Test {
  protected:
    void SetUp() override {
        ASSERT_NE(getenv("UNINSTPACK"), nullptr) << "host tests run with UNINSTPACK set by CTest";
        // The real stub where the run has one (the Windows run), else the stand-in.
        const char* real = getenv("UNINST_STUB_FILE");
        stub_ = dir_.File("stub.exe");
        if (real && *real) {
            ASSERT_TRUE(Exists(real)) << real;
            WriteBytes(stub_, ReadBytes(real));
        } else {
            WriteBytes(stub_, pack_testing::FakeStub());
        }
        sample_ = ReadText(pack_testing::SourceDir() + "/examples/sample-app.json");
        ASSERT_FALSE(sample_.empty());
    }
    TempFolder dir_;
    std::string stub_, sample_;
};

TEST_F(PackerOnEverySystem, EverySpellingOfThePathsBuildsTheSameUninstaller) {
    // The reference: the host packer's build of the manifest as it stands, from plain names.
    WriteText(dir_.File("app.json"), sample_);
    std::string arguments = "build " + Quoted(dir_.File("app.json")) + " --stub " + Quoted(stub_) + " -o " +
                            Quoted(dir_.File("reference.exe"));
    auto reference = WindowsPacker() ? RunNativePacker(arguments) : RunPacker(arguments);
    ASSERT_TRUE(reference) << "the Windows run compares with the host packer: UNINSTPACK_NATIVE names it";
    ASSERT_EQ(reference->exitCode, 0) << reference->err;
    const format::Bytes expected = ReadBytes(dir_.File("reference.exe"));
    ASSERT_FALSE(expected.empty());

    const std::string folder = dir_.File("Mü ller Жук");
    ASSERT_EQ(mkdir(folder.c_str(), 0700), 0);
    WriteText(folder + "/app ü.json", sample_);
    WriteText(folder + "/app crlf.json", WithCrlf(sample_));
    WriteBytes(folder + "/stub ü.exe", ReadBytes(stub_));
    struct Case {
        std::string name;
        std::string manifest, stub, output;  // as the packer is given them
        std::string written;                 // where the output is, natively
    };
    std::vector<Case> cases = {
        {"letters outside ASCII and spaces", folder + "/app ü.json", folder + "/stub ü.exe",
         folder + "/out ü.exe", folder + "/out ü.exe"},
        {"a CRLF manifest", folder + "/app crlf.json", stub_, folder + "/crlf.exe", folder + "/crlf.exe"},
    };
    std::string driveFolder;
    if (WindowsPacker()) {
        cases.push_back({"drive letters and backslashes", PackerPath(folder + "/app crlf.json"),
                         PackerPath(folder + "/stub ü.exe"), PackerPath(folder + "/Z ü.exe"),
                         folder + "/Z ü.exe"});
        // A folder on drive C: of the prefix, named as Windows names it.
        const char* prefix = getenv("WINEPREFIX");
        ASSERT_TRUE(prefix && *prefix) << "the Windows run has WINEPREFIX set";
        std::string name = "uninstpack test " + std::to_string(getpid()) + " Ü";
        driveFolder = std::string(prefix) + "/drive_c/" + name;
        ASSERT_EQ(mkdir(driveFolder.c_str(), 0700), 0) << driveFolder;
        WriteText(driveFolder + "/app.json", WithCrlf(sample_));
        WriteBytes(driveFolder + "/stub.exe", ReadBytes(stub_));
        std::string c = "C:\\" + name + "\\";
        cases.push_back(
            {"a C:\\ path", c + "app.json", c + "stub.exe", c + "out.exe", driveFolder + "/out.exe"});
    }
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        auto run = RunPacker("build " + Quoted(c.manifest) + " --stub " + Quoted(c.stub) + " -o " +
                             Quoted(c.output));
        EXPECT_EQ(run.exitCode, 0) << run.err;
        EXPECT_NE(run.out.find(c.output + ": " + std::to_string(expected.size()) + " bytes"),
                  std::string::npos)
            << run.out;
        EXPECT_TRUE(ReadBytes(c.written) == expected) << c.written << " differs from the reference";
    }
    if (!driveFolder.empty()) {
        std::system(("rm -rf " + Quoted(driveFolder)).c_str());
    }
}

// The copy's resources written anew are the same bytes from every packer, from the real stub where
// the run has it (the Windows run), else from a stand-in that ends as the real one does; the copy is
// a PE image objdump reads without a complaint, with its resources where the headers say.
TEST_F(PackerOnEverySystem, AProductAndAnElevationBuildTheSameUninstaller) {
    const char* real = getenv("UNINST_STUB_FILE");
    if (!(real && *real)) WriteBytes(stub_, pack_testing::FakeStubWithResources());
    WriteText(
        dir_.File("product.json"),
        R"({"elevation": "user", "product": {"name": "Exämple App", "version": "2.1.0.17", "publisher": "Example Co"},
                  "language": "de", "messages": {"caption": "Exämple App entfernen"},
                  "unattended": true, "files": [{"folder": ".\\", "name": "app.exe"}]})");
    std::string arguments =
        "build " + Quoted(dir_.File("product.json")) + " --stub " + Quoted(stub_) + " -o ";
    auto run = RunPacker(arguments + Quoted(dir_.File("packed.exe")));
    ASSERT_EQ(run.exitCode, 0) << run.err;
    const format::Bytes packed = ReadBytes(dir_.File("packed.exe"));
    if (WindowsPacker()) {
        auto reference = RunNativePacker(arguments + Quoted(dir_.File("reference.exe")));
        ASSERT_TRUE(reference);
        ASSERT_EQ(reference->exitCode, 0) << reference->err;
        EXPECT_TRUE(ReadBytes(dir_.File("reference.exe")) == packed) << "the two packers differ";
    }
    auto located = format::LocateDataOffsetField(packed);
    ASSERT_TRUE(located);
    EXPECT_GT(packed.size(), ReadBytes(stub_).size());
    // objdump, where the machine has it, reads the headers, the sections and the resource tree.
    if (std::system("command -v i686-w64-mingw32-objdump >/dev/null 2>&1") == 0) {
        std::string out = dir_.File("objdump.txt");
        int status = std::system(
            ("i686-w64-mingw32-objdump -p " + Quoted(dir_.File("packed.exe")) + " >" + Quoted(out) + " 2>&1")
                .c_str());
        std::string text = ReadText(out);
        EXPECT_EQ(status, 0) << text;
        for (const char* bad : {"objdump:", "corrupt", "invalid"})
            EXPECT_EQ(text.find(bad), std::string::npos) << bad << " in:\n" << text;
        EXPECT_NE(text.find("Resource Directory [.rsrc]"), std::string::npos) << text;
        EXPECT_NE(text.find("Entry: ID: 0x000010"), std::string::npos) << "a version resource (type 16)";
    }
    // dump reads what the resources say, and build of the dump gives the same bytes.
    auto dump = RunPacker("dump " + Quoted(dir_.File("packed.exe")));
    ASSERT_EQ(dump.exitCode, 0) << dump.err;
    EXPECT_NE(dump.out.find("\"elevation\": \"user\""), std::string::npos) << dump.out;
    EXPECT_NE(dump.out.find(
                  R"("product": {"name": "Exämple App", "version": "2.1.0.17", "publisher": "Example Co"})"),
              std::string::npos)
        << dump.out;
    WriteText(dir_.File("again.json"), dump.out);
    auto again = RunPacker("build " + Quoted(dir_.File("again.json")) + " --stub " + Quoted(stub_) + " -o " +
                           Quoted(dir_.File("again.exe")));
    ASSERT_EQ(again.exitCode, 0) << again.err;
    EXPECT_TRUE(ReadBytes(dir_.File("again.exe")) == packed) << "build of the dump differs";
    // Without a product and with the stub's own level the copy is the stub byte for byte.
    WriteText(dir_.File("plain.json"), R"({"elevation": "administrator", "unattended": true,
                  "files": [{"folder": ".\\", "name": "app.exe"}]})");
    auto plain = RunPacker("build " + Quoted(dir_.File("plain.json")) + " --stub " + Quoted(stub_) + " -o " +
                           Quoted(dir_.File("plain.exe")));
    ASSERT_EQ(plain.exitCode, 0) << plain.err;
    format::Bytes stub = ReadBytes(stub_), built = ReadBytes(dir_.File("plain.exe"));
    ASSERT_GT(built.size(), stub.size());
    auto field = format::LocateDataOffsetField(stub);
    ASSERT_TRUE(field);
    size_t checksum = field->checksumField;
    for (size_t i = 0; i < stub.size(); ++i) {
        bool stamped =
            (i >= field->field && i < field->field + 4) || (checksum && i >= checksum && i < checksum + 4);
        if (!stamped && built[i] != stub[i]) {
            ADD_FAILURE() << "the plain copy differs from the stub at " << i;
            break;
        }
    }
}

// A text is accepted, refused and stored alike on every system; the messages are the same words.
TEST_F(PackerOnEverySystem, CodePagesAcceptRefuseAndStoreAlike) {
    struct Case {
        int codePage;
        const char* text;     // JSON string contents
        bool inPath;          // a file name, else the caption
        const char* stored;   // the bytes the block holds, when accepted
        const char* refusal;  // the message, when refused
    } cases[] = {
        {1252, "M\\u00fcller", false, "M\xFCller", nullptr},
        {1252, "M\\u00fcller", true, "M\xFCller", nullptr},
        {1251, "\\u0416\\u0443\\u043a", true, "\xC6\xF3\xEA", nullptr},
        {1252, "\\u0416", false, nullptr, "character U+0416 \"Ж\" has no place in code page 1252"},
        // No best fit: "ā" is not stored as "a".
        {1252, "\\u0101", false, nullptr, "character U+0101 \"ā\" has no place in code page 1252"},
        // C1 controls: Windows would give them the bytes 1252 leaves undefined.
        {1252, "x\\u0081", false, nullptr, "character U+0081 \"\xC2\x81\" has no place in code page 1252"},
        // Private use: 936 maps end-user-defined characters on Windows only.
        {936, "\\ue000", false, nullptr, "character U+E000 \"\xEE\x80\x80\" has no place in code page 936"},
        // The wave dash: stored as its look-alike in a message, refused in a path.
        {932, "\\u301c", false, "\x81\x60", nullptr},
        {932, "a\\u301cb", true, nullptr,
         "character U+301C \"〜\" is stored as 0x81 0x60, which code page 932 reads back as U+FF5E"},
        {932, "\\u00a5", true, nullptr, "character U+00A5 \"¥\" becomes \"\\\" (0x5C) in code page 932"},
        // Box drawing in 950: the bytes iconv chooses (Windows would choose another pair).
        {950, "\\u2550", false, "\xA2\xA4", nullptr},
    };
    int index = 0;
    for (const auto& c : cases) {
        SCOPED_TRACE(std::to_string(c.codePage) + " " + c.text + (c.inPath ? " in a path" : " in a message"));
        std::string manifest = dir_.File("cp" + std::to_string(index) + ".json");
        std::string output = dir_.File("cp" + std::to_string(index) + ".exe");
        ++index;
        std::string caption = c.inPath ? "Caption" : c.text;
        std::string name = c.inPath ? std::string(c.text) + ".txt" : "app.exe";
        WriteText(manifest, "{\"codePage\": " + std::to_string(c.codePage) +
                                ", \"messages\": {\"caption\": \"" + caption +
                                "\"}, \"files\": [{\"folder\": \".\\\\\", \"name\": \"" + name + "\"}]}");
        std::string arguments =
            "build " + Quoted(manifest) + " --stub " + Quoted(stub_) + " -o " + Quoted(output);
        auto run = RunPacker(arguments);
        if (c.stored) {
            EXPECT_EQ(run.exitCode, 0) << run.err;
            std::string written = ReadText(output);
            EXPECT_NE(written.find(c.stored), std::string::npos)
                << "the block does not hold the expected bytes";
        } else {
            EXPECT_EQ(run.exitCode, 1) << run.out;
            EXPECT_NE(run.err.find(c.refusal), std::string::npos) << run.err;
            EXPECT_FALSE(Exists(output));
        }
        if (auto native = RunNativePacker(arguments + "-native")) {
            EXPECT_EQ(native->exitCode, run.exitCode);
            EXPECT_EQ(native->err, run.err);
            if (c.stored)
                EXPECT_TRUE(ReadBytes(output + "-native") == ReadBytes(output)) << "the uninstallers differ";
        }
    }
}

// scan reads names outside ASCII as they are (the Windows packer through the wide functions).
TEST_F(PackerOnEverySystem, ScanReadsNamesOutsideAscii) {
    std::string image = dir_.File("Démo");
    ASSERT_EQ(mkdir(image.c_str(), 0700), 0);
    ASSERT_EQ(mkdir((image + "/Données").c_str(), 0700), 0);
    WriteText(image + "/Müller.txt", "x");
    WriteText(image + "/Données/naïve.dat", "x");
    auto scan = RunPacker("scan " + Quoted(PackerPath(image)));
    ASSERT_EQ(scan.exitCode, 0) << scan.err;
    EXPECT_NE(scan.out.find(R"("caption": "Démo Uninstall")"), std::string::npos) << scan.out;
    EXPECT_NE(scan.out.find(R"("name": "Müller.txt")"), std::string::npos) << scan.out;
    EXPECT_NE(scan.out.find(R"({"folder": ".\\Données", "name": "naïve.dat"})"), std::string::npos)
        << scan.out;

    // A name the code page cannot hold is left out of the skeleton, and said so.
    WriteText(image + "/Жук.txt", "x");
    auto leftOut = RunPacker("scan " + Quoted(PackerPath(image)));
    EXPECT_EQ(leftOut.exitCode, 0) << leftOut.err;
    EXPECT_NE(leftOut.err.find("left out Жук.txt (character U+0416 \"Ж\" has no place in code page 1252)"),
              std::string::npos)
        << leftOut.err;
    EXPECT_EQ(leftOut.out.find("Жук"), std::string::npos) << leftOut.out;
    EXPECT_NE(leftOut.out.find(R"("name": "Müller.txt")"), std::string::npos) << leftOut.out;
}

// Without a signer the build writes nothing, and on Windows names the signtool command to run on
// the uninstaller built without --sign-with.
TEST_F(PackerOnEverySystem, WithoutASignerNothingIsWritten) {
    WriteText(dir_.File("app.json"), sample_);
    std::string output = dir_.File("signed ü.exe");
    std::string arguments = "build " + Quoted(dir_.File("app.json")) + " --stub " + Quoted(stub_) + " -o " +
                            Quoted(output) + " --sign-with " + Quoted(dir_.File("cert ü.pfx")) +
                            " --password-file " + Quoted(dir_.File("password.txt")) +
                            " --timestamp http://timestamp.example";
    struct Case {
        const char* name;
        std::string environment;  // for the shell, before the packer
        std::string message;
    } cases[] = {
        {"a signer named that is not there", "UNINSTPACK_OSSLSIGNCODE=/nonexistent/osslsigncode",
         "UNINSTPACK_OSSLSIGNCODE names /nonexistent/osslsigncode, which is no executable file"},
        // Wine's PATH is the Windows one, which has no osslsigncode.exe; the host's is cleared.
        {"none on PATH",
         WindowsPacker() ? "UNINSTPACK_OSSLSIGNCODE=" : "UNINSTPACK_OSSLSIGNCODE= PATH=/nonexistent",
         WindowsPacker() ? "signtool sign /fd SHA256 /f \"" + dir_.File("cert ü.pfx") +
                               "\" /p PASSWORD /tr \"http://timestamp.example\" /td SHA256 \"" + output + "\""
                         : "osslsigncode is not installed (not found on PATH)"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        // The environment goes before the whole command line: the runner included.
        auto run = pack_testing::RunProgram(
            c.environment + " " +
                (WindowsPacker() ? Quoted(getenv("UNINSTPACK_RUNNER")) + " " : std::string()) +
                Quoted(getenv("UNINSTPACK")),
            arguments);
        EXPECT_EQ(run.exitCode, 1) << run.out;
        EXPECT_NE(run.err.find(c.message), std::string::npos) << run.err;
        EXPECT_FALSE(Exists(output));
    }
}

}  // namespace

namespace {

std::vector<std::string> FolderNames(const std::string& path) {
    std::vector<std::string> names;
    std::string listing = pack_testing::RunProgram("ls -A", Quoted(path)).out;
    for (size_t start = 0; start < listing.size();) {
        size_t end = listing.find('\n', start);
        if (end == std::string::npos) end = listing.size();
        if (end > start) names.push_back(listing.substr(start, end - start));
        start = end + 1;
    }
    return names;
}

// The Windows packer finds osslsigncode.exe on PATH (a stand-in here: Wine cannot wait for the
// Linux one), hands it every name intact however it is spelled, keeps what it signed, and writes
// nothing when it fails, showing its messages. The host packer's signing is checked with the real
// osslsigncode (sign_hosttest.cpp).
TEST_F(PackerOnEverySystem, TheWindowsPackerSignsWithOsslsigncodeOnPath) {
    if (!WindowsPacker())
        GTEST_SKIP() << "for the Windows packer; sign_hosttest.cpp checks the host packer's signing";
    const char* signerFolder = getenv("UNINST_FAKE_SIGNER_DIR");
    ASSERT_TRUE(signerFolder && Exists(std::string(signerFolder) + "/osslsigncode.exe"))
        << "the Windows run sets UNINST_FAKE_SIGNER_DIR to the folder of the stand-in osslsigncode.exe";
    WriteText(dir_.File("app.json"), sample_);
    const std::string folder = dir_.File("Sig ü");
    ASSERT_EQ(mkdir(folder.c_str(), 0700), 0);
    WriteText(folder + "/password ü.txt", "secret\n");
    auto build = [&](const std::string& certificate, const std::string& output) {
        // Wine puts WINEPATH in front of the Windows PATH.
        return pack_testing::RunProgram(
            "UNINSTPACK_OSSLSIGNCODE= WINEPATH=" + Quoted(PackerPath(signerFolder)) + " " +
                Quoted(getenv("UNINSTPACK_RUNNER")) + " " + Quoted(getenv("UNINSTPACK")),
            "build " + Quoted(dir_.File("app.json")) + " --stub " + Quoted(stub_) + " -o " + Quoted(output) +
                " --sign-with " + Quoted(certificate) + " --password-file " +
                Quoted(PackerPath(folder + "/password ü.txt")) + " --timestamp http://timestamp.example");
    };
    auto plain = RunPacker("build " + Quoted(dir_.File("app.json")) + " --stub " + Quoted(stub_) + " -o " +
                           Quoted(dir_.File("plain.exe")));
    ASSERT_EQ(plain.exitCode, 0) << plain.err;
    const format::Bytes unsignedImage = ReadBytes(dir_.File("plain.exe"));

    WriteText(folder + "/cert ü.pfx", "ok");
    const std::string output = folder + "/signed ü.exe";
    auto run = build(PackerPath(folder + "/cert ü.pfx"), PackerPath(output));
    ASSERT_EQ(run.exitCode, 0) << run.err;
    const size_t aligned = (unsignedImage.size() + 7) / 8 * 8;
    EXPECT_NE(
        run.out.find(PackerPath(output) + ": signed: Authenticode certificate table, 32 bytes at offset " +
                     std::to_string(aligned)),
        std::string::npos)
        << run.out;
    format::Bytes signedImage = ReadBytes(output);
    ASSERT_EQ(signedImage.size(), aligned + 32);
    EXPECT_TRUE(std::equal(unsignedImage.begin() + 0x800, unsignedImage.end(), signedImage.begin() + 0x800))
        << "the block moved or changed";
    auto dump = RunPacker("dump " + Quoted(output));
    EXPECT_EQ(dump.exitCode, 0) << dump.err;
    EXPECT_NE(dump.err.find("signed: Authenticode certificate table, 32 bytes"), std::string::npos)
        << dump.err;

    WriteText(folder + "/fail ü.pfx", "fail");
    const std::string failed = folder + "/failed ü.exe";
    run = build(PackerPath(folder + "/fail ü.pfx"), PackerPath(failed));
    EXPECT_EQ(run.exitCode, 1) << run.out;
    EXPECT_NE(run.err.find("Failed to read PKCS#12 file"), std::string::npos) << run.err;
    // Its messages are shown, and they show every argument arrived whole.
    EXPECT_NE(run.err.find("\n-readpass\n" + PackerPath(folder + "/password ü.txt") +
                           "\n-ts\nhttp://timestamp.example\n"),
              std::string::npos)
        << run.err;
    EXPECT_FALSE(Exists(failed));
    auto left = FolderNames(folder);
    EXPECT_EQ(left, (std::vector<std::string>{"cert ü.pfx", "fail ü.pfx", "password ü.txt", "signed ü.exe"}))
        << "no temporary folder is left";
}

}  // namespace
