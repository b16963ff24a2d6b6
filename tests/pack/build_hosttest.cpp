// `uninstpack build`: the stub's data-offset field, and the real packer's exit codes.
#include <fcntl.h>
#include <unistd.h>

#include <filesystem>
#include <gtest/gtest.h>
#include <set>
#include <sys/stat.h>

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

uint32_t FieldValue(const Bytes& image, size_t field) {
    return format::ReadU32(image.data() + field);
}

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
        {"no .uninst section", changed([](Bytes& s) { s[kFakeStubUninstHeader + 1] = 'x'; }),
         "no .uninst section"},
        {"two .uninst sections", changed([](Bytes& s) {
             std::copy_n(kDataOffsetSectionName, 8, s.begin() + kFakeStubUninstHeader - 40);
         }),
         "more than one .uninst section"},
        {"section too small", changed([](Bytes& s) { PutU32At(s, kFakeStubUninstHeader + 8, 8); }),
         "too small"},
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
    auto run = RunPacker("build '" + pack_testing::SourceDir() + "/examples/sample-app.json' --stub '" +
                         stub_ + "' -o '" + out + "'");
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
    WriteText(good, R"({"unattended": true, "files": [{"folder": ".\\", "name": "app.exe"}]})");
    WriteText(bad, R"({"files": [{"folder": ".\\", "name": "app.exe", "flags": ["sharde"]}]})");
    WriteText(dangerous, R"({"registry": [{"root": "HKLM", "key": "Software\\"}]})");
    std::string breaking = dir_.File("breaking.json");
    WriteText(breaking, R"({"registry": [{"root": "HKLM", "key": "System\\CurrentControlSet\\Services"}],
                            "patterns": ["#System#\\drivers\\*.sys"]})");
    std::string vendor = dir_.File("vendor.json");
    WriteText(vendor, R"({"registry": [{"root": "HKCU", "key": "Software\\Vendor"}]})");
    std::string accepted = dir_.File("accepted.json");
    WriteText(accepted,
              R"({"registry": [{"root": "HKCU", "key": "Software\\Vendor", "accept": ["vendor-key"]}]})");
    std::string twice = dir_.File("twice.json");
    WriteText(twice, R"({"files": [{"folder": ".\\", "name": "a.exe", "name": "b.exe"}]})");
    std::string languages = dir_.File("languages.json");
    WriteText(languages, R"({"language": ["de", "ru"], "messages": {"caption": "Удаление"},
                             "files": [{"folder": ".\\", "name": "app.exe"}]})");
    WriteText(dir_.File("password.txt"), "secret\n");
    WriteText(dir_.File("cert.pfx"), "not read: the output is refused first");
    std::string out = dir_.File("out.exe");
    std::string build = " --stub '" + stub_ + "' -o '" + out + "'";
    struct Case {
        std::string arguments;
        int exitCode;
        const char* message;              // expected in stdout or stderr
        const char* absent = nullptr;     // in neither
        std::string input = "/dev/null";  // standard input
    } cases[] = {
        {"build '" + good + "'" + build, 0, "data block of"},
        {"build --help", 0, "Usage: uninstpack build"},
        {"--help", 0, "build"},
        {"build '" + bad + "'" + build, 1,
         "bad.json: files[0].flags[0]: error: unknown flag \"sharde\" (did you mean \"shared\"?)"},
        {"build '" + dangerous + "'" + build, 1, "nothing written (--force builds anyway)"},
        {"build '" + dangerous + "'" + build + " --force", 0, "data block of"},
        {"build '" + breaking + "'" + build, 1, "2 errors in"},
        {"build '" + dir_.File("missing.json") + "'" + build, 1, "cannot open"},
        {"build '" + good + "' --stub '" + dir_.File("missing.exe") + "' -o '" + out + "'", 1, "cannot open"},
        {"build '" + good + "' --stub '" + good + "' -o '" + out + "'", 1, "not an uninstaller stub"},
        // `out` is the uninstaller the first case built: a second block behind the first is refused.
        {"build '" + good + "' --stub '" + out + "' -o '" + dir_.File("twice.exe") + "'", 1,
         "the stub already carries a data block"},
        {"build '" + good + "' -o '" + out + "'", 2, "--stub is required"},
        {"build '" + good + "'" + build + " --bogus", 2, "--bogus"},
        {"build '" + good + "'" + build + " --password-file pw.txt", 2, "requires --sign-with"},
        // The conventions of command-line tools: version, usage of a bare command, help on a command,
        // the nearest command or option to a misspelt one.
        {"--version", 0, "uninstpack 0."},
        {"version", 0, "uninstpack 0."},
        {"", 2, "Usage: uninstpack [OPTIONS] SUBCOMMAND"},
        {"build", 2, "Usage: uninstpack build [OPTIONS] MANIFEST"},
        {"plan", 2, "Usage: uninstpack plan [OPTIONS] UNINSTALLER"},
        {"help check", 0, "Usage: uninstpack check [OPTIONS] MANIFEST"},
        {"help chek", 2, "no command \"chek\" (did you mean \"check\"?)"},
        {"frobnicate", 2, "frobnicate"},
        {"biuld '" + good + "'", 2, "unknown command \"biuld\" (did you mean \"build\"?)"},
        {"build '" + good + "'" + build + " --fource", 2,
         "--fource is no option (did you mean \"--force\"?)"},
        {"languages --json", 0,
         "\"tag\": \"ja\", \"codePage\": 932, \"englishName\": \"Japanese\", \"nativeName\": \"日本語\""},
        // Findings on standard error with the warning's name; --werror fails on warnings; an entry's
        // "accept" takes the warning its author means; -q shows errors only.
        {"check '" + vendor + "'", 0,
         "vendor.json: registry[0]: warning[vendor-key]: removes HKCU\\Software\\Vendor"},
        {"check '" + vendor + "' --werror", 1,
         "vendor.json: 0 errors, 1 warning; --werror fails on warnings"},
        {"build '" + vendor + "'" + build + " --werror", 1, "nothing written"},
        {"check '" + accepted + "' --werror", 0, "accepted.json: 0 errors, 0 warnings (1 accepted)",
         "warning[vendor-key]"},
        {"check '" + accepted + "' -v", 0,
         "warning[vendor-key]: removes HKCU\\Software\\Vendor with every subkey: every "
         "product stored under it goes too (accepted)"},
        {"check '" + vendor + "' -q", 0, "", "vendor-key"},
        {"check '" + dangerous + "' -q", 1, "dangerous.json: registry[0]: error:", "0 warnings"},
        {"check '" + twice + "'", 1, "twice.json: files[0].name: error: is given twice in this object"},
        // "-" reads the manifest from standard input.
        {"check -", 0, "<stdin>: registry[0]: warning[vendor-key]", nullptr, vendor},
        {"build -" + build, 0, "data block of", nullptr, good},
        {"build - --stub - -o '" + out + "'", 2, "cannot both be standard input", nullptr, good},
        {"dump -", 0, "\"name\": \"app.exe\"", nullptr, out},
        {"plan - --install-dir 'C:\\Demo'", 0, "self-delete C:\\Demo\\uninstall.exe", nullptr, out},
        {"plan '" + out + "' --install-dir 'D:/Demo'", 0,
         "uninstpack: --install-dir: warning[install-dir]: \"D:/Demo\" holds \"/\""},
        {"build '" + vendor + "'" + build, 0, "vendor.json: 0 errors, 1 warning"},
        // The install folder on the command line as the uninstaller would read it.
        {"check '" + good + "' --install-dir 'C:/Program Files/App'", 0,
         "uninstpack: --install-dir: warning[install-dir]: \"C:/Program Files/App\" holds \"/\"",
         "no absolute"},
        {"check '" + good + "' --install-dir 'Program Files\\App'", 0,
         "uninstpack: --install-dir: warning[install-dir]: \"Program Files\\App\" is no absolute Windows "
         "path"},
        {"check '" + good + "' --install-dir 'C:\\Program Files\\App'", 0, "0 errors, 0 warnings",
         "install-dir"},
        // Every language a manifest offers, in one call: a finding of some languages says which.
        {"check '" + languages + "'", 1,
         "languages.json: messages.caption: error: character U+0423 \"У\" has no place in code page 1252 "
         "(language de)"},
        {"check '" + languages + "' --language ru", 0, "0 errors"},
        {"build '" + languages + "' --language ru --stub '" + stub_ + "' -o '" + dir_.File("{lang}.exe") +
             "'",
         0, "ru.exe: "},
        {"build '" + good + "' --stub '" + stub_ + "' -o '" + dir_.File("{lang}.exe") + "'", 2,
         "names no language"},
        // OUT that is a file the command reads, under any spelling, is refused before anything is written.
        {"build '" + good + "' --stub '" + stub_ + "' -o '" + good + "'", 1, "is the manifest"},
        {"build '" + good + "' --stub '" + stub_ + "' -o '" + dir_.path() + "/./stub.exe'", 1, "is the stub"},
        {"build '" + good + "' --stub '" + stub_ + "' -o '" + dir_.File("password.txt") + "' --sign-with '" +
             dir_.File("cert.pfx") + "' --password-file '" + dir_.File("password.txt") + "'",
         1, "is the password file"},
        {"build '" + good + "' --stub '" + stub_ + "' -o '" + dir_.File("cert.pfx") + "' --sign-with '" +
             dir_.File("cert.pfx") + "'",
         1, "is the certificate"},
    };
    for (const auto& c : cases) {
        auto run = RunPacker(c.arguments, "", "", c.input);
        EXPECT_EQ(run.exitCode, c.exitCode) << c.arguments << "\n" << run.out << run.err;
        EXPECT_NE((run.out + run.err).find(c.message), std::string::npos) << c.arguments << "\n"
                                                                          << run.out << run.err;
        if (c.absent) {
            EXPECT_EQ((run.out + run.err).find(c.absent), std::string::npos) << c.arguments << "\n"
                                                                             << run.out << run.err;
        }
    }
    // The files a refused OUT named are as they were.
    EXPECT_EQ(pack_testing::ReadText(good),
              R"({"unattended": true, "files": [{"folder": ".\\", "name": "app.exe"}]})");
    EXPECT_EQ(ReadBytes(stub_), FakeStub());
    EXPECT_EQ(pack_testing::ReadText(dir_.File("password.txt")), "secret\n");
}

// -o in a scratch folder, for each kind of file OUT can be: the uninstaller reaches where OUT leads,
// and nothing else is replaced or left behind.
TEST_F(PackerRun, TheOutputGoesWhereItLeadsAndReplacesNothingElse) {
    std::string manifest = dir_.File("app.json");
    WriteText(manifest, R"({"files": [{"folder": ".\\", "name": "app.exe"}]})");
    std::string expected = dir_.File("expected.exe");
    auto reference = RunPacker("build '" + manifest + "' --stub '" + stub_ + "' -o '" + expected + "'");
    ASSERT_EQ(reference.exitCode, 0) << reference.err;
    const Bytes image = ReadBytes(expected);
    ASSERT_GT(image.size(), kFakeStubSize);
    auto build = [&](const std::string& output) {
        return RunPacker("build '" + manifest + "' --stub '" + stub_ + "' -o '" + output + "'");
    };
    auto kind = [](const std::string& path) {
        struct stat info;
        if (lstat(path.c_str(), &info) != 0) return std::string("missing");
        if (S_ISLNK(info.st_mode)) return std::string("link");
        if (S_ISFIFO(info.st_mode)) return std::string("fifo");
        return std::string(S_ISREG(info.st_mode) ? "file" : "other");
    };
    auto items = [](const std::string& folder) {
        std::set<std::string> names;
        for (const auto& entry : std::filesystem::directory_iterator(folder))
            names.insert(entry.path().filename());
        return names;
    };
    std::string other = dir_.File("elsewhere");
    ASSERT_EQ(mkdir(other.c_str(), 0755), 0);

    // -o -: the uninstaller on standard output, and what was built said on standard error.
    auto piped = build("-");
    EXPECT_EQ(piped.exitCode, 0) << piped.err;
    EXPECT_EQ(Bytes(piped.out.begin(), piped.out.end()), image);
    EXPECT_NE(piped.err.find("<stdout>: " + std::to_string(image.size()) + " bytes"), std::string::npos)
        << piped.err;

    // A regular file is replaced whole, by a new file renamed over it.
    std::string regular = dir_.File("regular.exe");
    WriteText(regular, "last week's uninstaller");
    struct stat before;
    ASSERT_EQ(stat(regular.c_str(), &before), 0);
    auto replaced = build(regular);
    EXPECT_EQ(replaced.exitCode, 0) << replaced.err;
    EXPECT_EQ(ReadBytes(regular), image);
    struct stat after;
    ASSERT_EQ(stat(regular.c_str(), &after), 0);
    EXPECT_NE(before.st_ino, after.st_ino) << "replaced by a rename, not rewritten in place";

    // Links and FIFOs are POSIX's: Wine shows a link to the Windows packer as the file it names, so
    // the Windows packer's own handling (links, devices) is tested on names Windows knows instead.
    if (!pack_testing::WindowsPacker()) {
        // A link is written through: it stays a link, its target (in another folder) gets the bytes,
        // replaced beside the target.
        std::string target = other + "/target.exe";
        WriteText(target, "old");
        std::string link = dir_.File("link.exe");
        ASSERT_EQ(symlink("elsewhere/target.exe", link.c_str()), 0);
        auto through = build(link);
        EXPECT_EQ(through.exitCode, 0) << through.err;
        EXPECT_EQ(kind(link), "link");
        EXPECT_EQ(ReadBytes(target), image);
        // A link to a file that is not there yet creates it.
        std::string dangling = dir_.File("dangling.exe");
        ASSERT_EQ(symlink("elsewhere/new.exe", dangling.c_str()), 0);
        EXPECT_EQ(build(dangling).exitCode, 0);
        EXPECT_EQ(kind(dangling), "link");
        EXPECT_EQ(ReadBytes(other + "/new.exe"), image);

        // A FIFO, and a link to one (as /dev/stdout is a link to the descriptor's file), are written
        // into: the reader gets the uninstaller and the FIFO stays. The reader is open before the packer
        // runs, without waiting, and the image fits the pipe's buffer, so nothing can block.
        std::string fifo = dir_.File("pipe");
        ASSERT_EQ(mkfifo(fifo.c_str(), 0600), 0);
        std::string fifoLink = dir_.File("stdout-like");
        ASSERT_EQ(symlink(fifo.c_str(), fifoLink.c_str()), 0);
        for (const std::string& output : {fifo, fifoLink}) {
            int reader = open(fifo.c_str(), O_RDONLY | O_NONBLOCK);
            ASSERT_GE(reader, 0);
            auto written = build(output);
            EXPECT_EQ(written.exitCode, 0) << output << "\n" << written.err;
            Bytes got(image.size() + 16);
            ssize_t n = read(reader, got.data(), got.size());
            close(reader);
            got.resize(n > 0 ? static_cast<size_t>(n) : 0);
            EXPECT_EQ(got, image) << output;
            EXPECT_EQ(kind(fifo), "fifo");
            EXPECT_EQ(kind(fifoLink), "link");
        }
    } else {
        // A device name makes no file wherever it stands: refused, and nothing is made beside it.
        for (const char* device : {"nul.exe", "CON", "com1.exe"}) {
            auto refused = build(other + "/" + device);
            EXPECT_EQ(refused.exitCode, 1) << device << "\n" << refused.err;
            EXPECT_NE(refused.err.find("it names a device"), std::string::npos) << refused.err;
        }
    }

    // A folder is no output; nothing of the temporary files is left anywhere.
    auto folder = build(other);
    EXPECT_EQ(folder.exitCode, 1);
    EXPECT_NE(folder.err.find("it is a folder"), std::string::npos) << folder.err;
    if (!pack_testing::WindowsPacker()) {
        EXPECT_EQ(items(other), (std::set<std::string>{"target.exe", "new.exe"}));
        EXPECT_EQ(items(dir_.path()),
                  (std::set<std::string>{"app.json", "stub.exe", "expected.exe", "regular.exe", "link.exe",
                                         "dangling.exe", "pipe", "stdout-like", "elsewhere"}));
    } else {
        EXPECT_EQ(items(other), std::set<std::string>{});
        EXPECT_EQ(items(dir_.path()), (std::set<std::string>{"app.json", "stub.exe", "expected.exe",
                                                             "regular.exe", "elsewhere"}));
    }
}

// Links are followed only where the kernel would follow them: one of another user's in a sticky folder
// that everybody may write (/tmp) is refused, wherever it leads, and no link leads to a file of another
// user's being replaced. Both leave the link and every file as they were. Needs root, to give files
// and links away.
TEST_F(PackerRun, LinksAreFollowedOnlyWhereTheKernelWouldAndNeverToAnotherUsersFile) {
    if (pack_testing::WindowsPacker()) GTEST_SKIP() << "links are POSIX's";
    if (geteuid() != 0) GTEST_SKIP() << "needs root to make files and links of another user";
    constexpr uid_t kOther = 65534;  // nobody
    std::string manifest = dir_.File("app.json");
    WriteText(manifest, R"({"files": [{"folder": ".\\", "name": "app.exe"}]})");
    std::string shared = dir_.File("shared");
    std::string own = dir_.File("own");
    ASSERT_EQ(mkdir(shared.c_str(), 0777), 0);
    ASSERT_EQ(chmod(shared.c_str(), 01777), 0);  // as /tmp
    ASSERT_EQ(mkdir(own.c_str(), 0755), 0);
    std::string mine = dir_.File("mine.exe");
    std::string theirs = dir_.File("theirs.exe");
    struct Case {
        const char* name;
        std::string link;
        uid_t linkOwner;
        std::string target;
        const char* refusal;  // null: written through
    } cases[] = {
        {"another user's link in a shared folder", shared + "/planted.exe", kOther, mine,
         "will not follow the link"},
        {"the caller's own link in a shared folder", shared + "/mine.exe", 0, mine, nullptr},
        {"another user's link in a folder not everybody may write", own + "/theirs-link.exe", kOther, mine,
         nullptr},
        {"the caller's link to another user's file", own + "/to-theirs.exe", 0, theirs,
         "the file is another user's"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        WriteText(mine, "mine");
        WriteText(theirs, "theirs");
        ASSERT_EQ(chown(theirs.c_str(), kOther, kOther), 0);
        ASSERT_EQ(symlink(c.target.c_str(), c.link.c_str()), 0);
        ASSERT_EQ(lchown(c.link.c_str(), c.linkOwner, c.linkOwner), 0);
        auto run = RunPacker("build '" + manifest + "' --stub '" + stub_ + "' -o '" + c.link + "'");
        struct stat link;
        ASSERT_EQ(lstat(c.link.c_str(), &link), 0);
        EXPECT_TRUE(S_ISLNK(link.st_mode)) << "the link stays a link";
        Bytes written = ReadBytes(c.target);
        if (c.refusal) {
            EXPECT_EQ(run.exitCode, 1) << run.err;
            EXPECT_NE(run.err.find(c.refusal), std::string::npos) << run.err;
            std::string left(written.begin(), written.end());
            EXPECT_EQ(left, c.target == mine ? "mine" : "theirs") << "the file behind the link is unchanged";
        } else {
            EXPECT_EQ(run.exitCode, 0) << run.err;
            EXPECT_GT(written.size(), kFakeStubSize) << "the uninstaller is written behind the link";
        }
        std::set<std::string> left;
        for (const auto& entry : std::filesystem::directory_iterator(c.link.substr(0, c.link.rfind('/'))))
            left.insert(entry.path().filename());
        EXPECT_EQ(left.size(), 1u) << "no temporary file is left beside the link";
        unlink(c.link.c_str());
    }
}

// A write that fails (here: past the file size limit, with the signal that would end the packer
// ignored, as a full disk fails a write) exits 1 and leaves the old OUT as it was.
TEST_F(PackerRun, AFailedWriteLeavesTheOldOutput) {
    std::string manifest = dir_.File("app.json");
    WriteText(manifest, R"({"files": [{"folder": ".\\", "name": "app.exe"}]})");
    std::string out = dir_.File("uninst.exe");
    WriteText(out, "the uninstaller of last week");
    // The Windows packer through its runner (see pack_testing::WindowsPacker).
    std::string runner =
        pack_testing::WindowsPacker() ? "'" + std::string(getenv("UNINSTPACK_RUNNER")) + "' " : "";
    std::string command = "trap '' XFSZ; ulimit -f 1; exec " + runner + "'" +
                          std::string(getenv("UNINSTPACK")) + "' build '" + manifest + "' --stub '" + stub_ +
                          "' -o '" + out + "' 2>'" + dir_.File("err") + "'";
    int status = std::system(("sh -c \"" + command + "\"").c_str());
    ASSERT_TRUE(WIFEXITED(status));
    EXPECT_EQ(WEXITSTATUS(status), 1);
    EXPECT_NE(pack_testing::ReadText(dir_.File("err")).find("cannot write " + out), std::string::npos)
        << pack_testing::ReadText(dir_.File("err"));
    EXPECT_EQ(pack_testing::ReadText(out), "the uninstaller of last week");
    std::set<std::string> names;
    for (const auto& entry : std::filesystem::directory_iterator(dir_.path()))
        names.insert(entry.path().filename());
    EXPECT_EQ(names, (std::set<std::string>{"app.json", "stub.exe", "uninst.exe", "err"}));
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
