// Signed uninstallers: `build --sign-with` signs with osslsigncode after the block is attached, the
// signature covers the block, and `dump` and `plan` read a signed uninstaller as the unsigned one,
// reporting the certificate table instead of bytes after the end record.
#include <dirent.h>

#include <gtest/gtest.h>
#include <set>

#include "format/stub_image.h"
#include "pack/image.h"
#include "pack_support.h"

using namespace format;
using pack_testing::FakeStub;
using pack_testing::ReadBytes;
using pack_testing::ReadText;
using pack_testing::RunPacker;
using pack_testing::TempFolder;
using pack_testing::WriteBytes;
using pack_testing::WriteText;
using testing_support::kFakeStubField;
using testing_support::kFakeStubSize;

namespace {

struct Shell {
    int exitCode = -1;
    std::string output;  // standard output and error
};

// Runs a command line through /bin/sh (the arguments quoted by the caller).
Shell RunShell(const std::string& command) {
    TempFolder folder;
    Shell result;
    int status = std::system((command + " >'" + folder.File("out") + "' 2>&1 </dev/null").c_str());
    result.exitCode = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    result.output = ReadText(folder.File("out"));
    return result;
}

bool OnPath(const char* program) {
    return RunShell(std::string("command -v ") + program).exitCode == 0;
}

std::set<std::string> FolderItems(const std::string& path) {
    std::set<std::string> names;
    if (DIR* dir = opendir(path.c_str())) {
        while (dirent* entry = readdir(dir)) {
            std::string name = entry->d_name;
            if (name != "." && name != "..") names.insert(name);
        }
        closedir(dir);
    }
    return names;
}

// An environment variable set for one scope, put back as it was.
class ScopedEnvironment {
  public:
    ScopedEnvironment(const char* name, const char* value) : name_(name) {
        if (const char* old = getenv(name)) old_ = old;
        setenv(name, value, 1);
    }
    ~ScopedEnvironment() {
        if (old_) {
            setenv(name_, old_->c_str(), 1);
        } else {
            unsetenv(name_);
        }
    }

  private:
    const char* name_;
    std::optional<std::string> old_;
};

// Where the loader stopped reading the uninstaller at `path`: just past its end record.
std::optional<uint64_t> LoadedBlockEnd(const std::string& path) {
    pack::LoadedData loaded;
    pack::ImageLoad load = pack::LoadImage(path, loaded);
    if (!load.error.empty() || load.code != 0) return std::nullopt;
    return load.blockEnd;
}

// What follows the end record of a signed file, laid out by hand: the certificate table as signing
// leaves it is reported as the signature; what signing would not leave is noted.
TEST(SignatureReport, WhatFollowsTheEndRecord) {
    Block block;
    block.messages = {"Caption", "Remove it?"};
    block.files = {{".\\", "app.exe", 0}};
    const Bytes uninstaller = *AttachBlock(FakeStub(), EncodeBlock(block), nullptr);
    const uint32_t blockEnd = static_cast<uint32_t>(uninstaller.size());
    const uint32_t aligned = (blockEnd + 7) / 8 * 8;
    auto certificate = [](uint16_t type) {
        Bytes table;
        PutU32(table, 24);
        PutU16(table, 0x0200);
        PutU16(table, type);
        table.resize(24, 0x30);
        return table;
    };
    struct Case {
        const char* name;
        Bytes gap;           // between the end record and the table
        Bytes table;         // appended after the gap
        Bytes after;         // appended after the table
        int64_t tableAt;     // the security directory's offset, relative to where the table was put
        uint32_t tableSize;  // the directory's size (0: the table's)
        bool signature;      // reported as the signature
        const char* note;    // among the notes ("" for none)
        size_t notes;  // how many notes (the bytes after the end record are noted when no signature explains
                       // them)
    } cases[] = {
        {"as signing leaves it", Bytes(aligned - blockEnd, 0), certificate(2), {}, 0, 0, true, "", 0},
        {"bytes after the table", Bytes(aligned - blockEnd, 0), certificate(2), Bytes(5, 0xEE), 0, 0, true,
         "5 bytes follow the certificate table (24 bytes at offset", 1},
        {"other bytes before the table",
         Bytes(3, 0xEE),
         certificate(2),
         {},
         0,
         0,
         true,
         "3 bytes follow the end record",
         1},
        {"no Authenticode signature",
         Bytes(aligned - blockEnd, 0),
         certificate(1),
         {},
         0,
         0,
         false,
         "does not begin with an Authenticode signature",
         1},
        {"the block runs into the table",
         Bytes(aligned - blockEnd, 0),
         certificate(2),
         {},
         -static_cast<int64_t>(aligned - blockEnd) - 4,
         0,
         false,
         "the block runs into the certificate table",
         2},
        {"a table past the end of the file",
         Bytes(aligned - blockEnd, 0),
         certificate(2),
         {},
         0,
         400,
         false,
         "past the end of the file",
         2},
    };
    TempFolder dir;
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        Bytes image = uninstaller;
        image.insert(image.end(), c.gap.begin(), c.gap.end());
        int64_t at = static_cast<int64_t>(image.size()) + c.tableAt;
        image.insert(image.end(), c.table.begin(), c.table.end());
        image.insert(image.end(), c.after.begin(), c.after.end());
        auto located = LocateDataOffsetField(image);
        ASSERT_TRUE(located && located->certificatesEntry);
        uint32_t size = c.tableSize ? c.tableSize : static_cast<uint32_t>(c.table.size() - c.tableAt);
        PutU32At(image, located->certificatesEntry, static_cast<uint32_t>(at));
        PutU32At(image, located->certificatesEntry + 4, size);
        std::string file = dir.File("uninst.exe");
        WriteBytes(file, image);
        pack::LoadedData loaded;
        pack::ImageLoad load = pack::LoadImage(file, loaded);
        ASSERT_EQ(load.code, 0) << load.error;
        EXPECT_EQ(load.blockEnd, blockEnd);
        EXPECT_EQ(load.signature.has_value(), c.signature);
        if (c.signature) EXPECT_EQ(load.signature->offset, static_cast<uint32_t>(at));
        std::string notes;
        for (const auto& n : load.notes) notes += n + "\n";
        EXPECT_EQ(load.notes.size(), c.notes) << notes;
        EXPECT_NE(notes.find(c.note), std::string::npos) << notes;
        EXPECT_EQ(loaded.data.files.count, 1u);
    }
}

// A throwaway self-signed code-signing certificate made with openssl in the test's folder (key and
// certificate in cert.pfx, password in password.txt, the certificate alone in cert.pem for
// `osslsigncode verify -CAfile`), and a stub that carries a PE checksum as linked stubs do.
class Signing : public ::testing::Test {
  protected:
    void SetUp() override {
        ASSERT_NE(getenv("UNINSTPACK"), nullptr) << "host tests run with UNINSTPACK set by CTest";
        // Wine starts a POSIX osslsigncode but cannot wait for it or hand it files: the Windows
        // packer's signing is checked without a signer (windows_packer_hosttest.cpp).
        if (pack_testing::WindowsPacker()) GTEST_SKIP() << "the Windows packer has no osslsigncode.exe here";
        for (const char* tool : {"openssl", "osslsigncode"}) {
            if (!OnPath(tool))
                GTEST_SKIP() << tool << " is not installed (scripts/install-deps.sh installs it)";
        }
        Shell made =
            RunShell("cd '" + dir_.path() +
                     "' && openssl req -x509 -newkey rsa:2048 -nodes -keyout key.pem -out cert.pem -days 2 "
                     "-subj '/CN=uninstpack test signer' && printf 'test secret\\n' > password.txt && "
                     "openssl pkcs12 -export -inkey key.pem -in cert.pem -out cert.pfx -passout "
                     "file:password.txt");
        ASSERT_EQ(made.exitCode, 0) << made.output;
        Bytes stub = FakeStub();
        auto located = LocateDataOffsetField(stub);
        ASSERT_TRUE(located && located->checksumField);
        PutU32At(stub, located->checksumField, 0x1234);  // stale, as the stamped stub's is
        stub_ = dir_.File("stub.exe");
        WriteBytes(stub_, stub);
        manifest_ = pack_testing::SourceDir() + "/examples/sample-app.json";
    }

    // `build` of the sample manifest to `output`, signed with the certificate unless told otherwise.
    pack_testing::RunResult Build(const std::string& output, const std::string& signing = "") {
        return RunPacker("build '" + manifest_ + "' --stub '" + stub_ + "' -o '" + output + "'" + signing);
    }
    std::string SignWith() const {
        return " --sign-with '" + dir_.File("cert.pfx") + "' --password-file '" + dir_.File("password.txt") +
               "'";
    }
    Shell Verify(const std::string& file) const {
        return RunShell("osslsigncode verify -CAfile '" + dir_.File("cert.pem") + "' -in '" + file + "'");
    }

    TempFolder dir_;
    std::string stub_, manifest_;
};

TEST_F(Signing, TheSignedUninstallerVerifiesAndReadsAsTheUnsignedOne) {
    ASSERT_EQ(mkdir(dir_.File("plain").c_str(), 0700), 0);
    ASSERT_EQ(mkdir(dir_.File("signed").c_str(), 0700), 0);
    std::string plain = dir_.File("plain/uninst.exe"), signedFile = dir_.File("signed/uninst.exe");
    auto built = Build(plain);
    ASSERT_EQ(built.exitCode, 0) << built.err;
    auto signedBuild = Build(signedFile, SignWith());
    ASSERT_EQ(signedBuild.exitCode, 0) << signedBuild.err;
    EXPECT_EQ(FolderItems(dir_.File("signed")), std::set<std::string>{"uninst.exe"})
        << "no temporary files left";

    Shell verified = Verify(signedFile);
    EXPECT_EQ(verified.exitCode, 0) << verified.output;
    EXPECT_NE(verified.output.find("Signature verification: ok"), std::string::npos) << verified.output;
    // The unsigned build's checksum was computed again after the block was attached: osslsigncode
    // compares it with its own computation.
    Shell checked = RunShell("osslsigncode verify -in '" + plain + "'");
    EXPECT_NE(checked.output.find("PE checksum"), std::string::npos) << checked.output;
    EXPECT_EQ(checked.output.find("invalid PE checksum"), std::string::npos) << checked.output;

    // The block was not moved: the field still points at it, and it is byte for byte the unsigned one.
    Bytes unsignedImage = ReadBytes(plain), signedImage = ReadBytes(signedFile);
    auto located = LocateDataOffsetField(signedImage);
    ASSERT_TRUE(located && located->certificates);
    EXPECT_EQ(ReadU32(signedImage.data() + kFakeStubField), kFakeStubSize);
    ASSERT_GT(signedImage.size(), unsignedImage.size());
    EXPECT_TRUE(std::equal(unsignedImage.begin() + kFakeStubSize, unsignedImage.end(),
                           signedImage.begin() + kFakeStubSize));
    // osslsigncode set the checksum of the signed file: the packer's computation agrees with it.
    EXPECT_EQ(ReadU32(signedImage.data() + located->checksumField),
              PeChecksum(signedImage, located->checksumField));
    const CertificateTable table = *located->certificates;
    EXPECT_EQ(uint64_t{table.offset} + table.size, signedImage.size());
    std::string report = "signed: Authenticode certificate table, " + std::to_string(table.size) +
                         " bytes at offset " + std::to_string(table.offset);
    EXPECT_NE(signedBuild.out.find(report), std::string::npos) << signedBuild.out;

    for (const char* command : {"dump", "plan"}) {
        SCOPED_TRACE(command);
        auto fromPlain = RunPacker(std::string(command) + " '" + plain + "'");
        auto fromSigned = RunPacker(std::string(command) + " '" + signedFile + "'");
        ASSERT_EQ(fromPlain.exitCode, 0) << fromPlain.err;
        ASSERT_EQ(fromSigned.exitCode, 0) << fromSigned.err;
        EXPECT_EQ(fromSigned.out, fromPlain.out);
        EXPECT_EQ(fromPlain.err, "");
        EXPECT_NE(fromSigned.err.find(report), std::string::npos) << fromSigned.err;
        EXPECT_EQ(fromSigned.err.find("note"), std::string::npos) << fromSigned.err;
    }
}

// Authenticode leaves only the checksum, the security directory entry and the certificate table out
// of its hash: one changed byte of the block or of the data-offset field fails verification.
TEST_F(Signing, AChangedByteOfTheBlockOrTheFieldFailsVerification) {
    std::string signedFile = dir_.File("uninst.exe");
    auto built = Build(signedFile, SignWith());
    ASSERT_EQ(built.exitCode, 0) << built.err;
    ASSERT_EQ(Verify(signedFile).exitCode, 0) << Verify(signedFile).output;
    Bytes image = ReadBytes(signedFile);
    auto blockEnd = LoadedBlockEnd(signedFile);
    ASSERT_TRUE(blockEnd);
    struct Case {
        const char* name;
        size_t at;
    } cases[] = {
        {"a byte of the message table", kFakeStubSize + 20},
        {"the last byte of the end record", static_cast<size_t>(*blockEnd - 1)},
        {"the data-offset field", kFakeStubField},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        Bytes changed = image;
        changed[c.at] ^= 0x01;
        std::string file = dir_.File("changed.exe");
        WriteBytes(file, changed);
        Shell verified = Verify(file);
        EXPECT_NE(verified.exitCode, 0) << verified.output;
        EXPECT_NE(verified.output.find("MISMATCH"), std::string::npos) << verified.output;
    }
}

// When the signer is missing or fails, the build says why and writes nothing: no output, no
// temporary file beside it, and an uninstaller already there stays as it was.
TEST_F(Signing, AFailedSigningWritesNothing) {
    WriteText(dir_.File("wrong.txt"), "not the password\n");
    struct Case {
        const char* name;
        const char* signer;  // UNINSTPACK_OSSLSIGNCODE
        std::string options;
        const char* message;
    } cases[] = {
        {"osslsigncode missing", "/nonexistent/osslsigncode", SignWith(), "osslsigncode is not installed"},
        {"a wrong password", "",
         " --sign-with '" + dir_.File("cert.pfx") + "' --password-file '" + dir_.File("wrong.txt") + "'",
         "mac verify failure"},
        {"no certificate", "", " --sign-with '" + dir_.File("missing.pfx") + "'",
         "Failed to read PKCS#12 file"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        ScopedEnvironment signer("UNINSTPACK_OSSLSIGNCODE", c.signer);
        std::set<std::string> before = FolderItems(dir_.path());
        auto run = Build(dir_.File("new.exe"), c.options);
        EXPECT_EQ(run.exitCode, 1) << run.out << run.err;
        EXPECT_NE(run.err.find(c.message), std::string::npos) << run.err;
        EXPECT_EQ(FolderItems(dir_.path()), before);

        WriteText(dir_.File("old.exe"), "the uninstaller of last week");
        run = Build(dir_.File("old.exe"), c.options);
        EXPECT_EQ(run.exitCode, 1) << run.out << run.err;
        EXPECT_EQ(ReadText(dir_.File("old.exe")), "the uninstaller of last week");
    }
}

}  // namespace
