// The texts handed to other programs, byte for byte: command lines, open commands and the batch.
#include "shell/shell_text.h"

#include <cstdio>
#include <cstring>
#include <gtest/gtest.h>
#include <string>

namespace {

TEST(ProgramCommandLine, QuotesThePathAndAddsArgumentsOnlyWhenThereAreSome) {
    struct Case {
        const char* program;
        const char* arguments;
        const char* expected;
    } cases[] = {
        {"C:\\Tools\\App\\setup.exe", "/remove", "\"C:\\Tools\\App\\setup.exe\" /remove"},
        {"C:\\Tools\\App\\setup.exe", "", "\"C:\\Tools\\App\\setup.exe\""},
        {"C:\\Tools\\App\\setup.exe", nullptr, "\"C:\\Tools\\App\\setup.exe\""},
        {"tool.exe", "a  \"b c\"", "\"tool.exe\" a  \"b c\""},
        // Quotes inside the path are not looked for: the path is wrapped as it stands.
        {"\"C:\\x.exe\"", nullptr, "\"\"C:\\x.exe\"\""},
    };
    for (const Case& c : cases) {
        char out[528];
        ASSERT_TRUE(BuildProgramCommandLine(c.program, c.arguments, out, sizeof(out))) << c.expected;
        EXPECT_STREQ(out, c.expected);
    }
}

TEST(ProgramCommandLine, RefusesWhatDoesNotFitAndLeavesTheBufferAlone) {
    std::string program(20, 'p');
    // "\"" + 20 + "\"" + " " + arguments: 23 + n characters and the terminator.
    std::string fits(528 - 1 - 23, 'a');
    char out[528];
    ASSERT_TRUE(BuildProgramCommandLine(program.c_str(), fits.c_str(), out, sizeof(out)));
    EXPECT_EQ(std::string(out).size(), 527u);
    std::string tooLong = fits + "b";
    out[0] = 'X';
    out[1] = '\0';
    EXPECT_FALSE(BuildProgramCommandLine(program.c_str(), tooLong.c_str(), out, sizeof(out)));
    EXPECT_STREQ(out, "X");
    EXPECT_FALSE(BuildProgramCommandLine(std::string(600, 'p').c_str(), nullptr, out, sizeof(out)));
    EXPECT_STREQ(out, "X");
}

TEST(ShellWorkingFolder, FilePathsOpenFromTheirFolderAddressesAndBareNamesFromNone) {
    struct Case {
        const char* target;
        const char* folder;  // null: none
    } cases[] = {
        {"C:\\Docs\\readme.htm", "C:\\Docs"},
        {"C:\\readme.htm", "C:\\"},
        {"\\\\server\\share\\doc.htm", "\\\\server\\share"},
        {"readme.htm", nullptr},
        {"http://example.com/a\\b", nullptr},
        {"HTTPS://example.com\\x", nullptr},
        {"hTtP://x", nullptr},
        {"httpx:\\\\y\\z", "httpx:\\\\y"},
        {"http:/\\x", "http:/"},
    };
    for (const Case& c : cases) {
        char folder[520] = "unchanged";
        bool found = ShellWorkingFolder(c.target, folder, sizeof(folder));
        EXPECT_EQ(found, c.folder != nullptr) << c.target;
        if (c.folder) EXPECT_STREQ(folder, c.folder) << c.target;
    }
    EXPECT_TRUE(IsWebAddress("https://x"));
    EXPECT_FALSE(IsWebAddress("http:/x"));
    EXPECT_FALSE(IsWebAddress("ftp://x"));
}

TEST(OpenCommand, CutsAtThePlaceholderAndAppendsTheTarget) {
    struct Case {
        const char* registered;
        const char* target;
        const char* expected;
    } cases[] = {
        {"\"C:\\B\\b.exe\" -o \"%1\"", "C:\\D\\r.htm", "\"C:\\B\\b.exe\" -o  C:\\D\\r.htm"},
        {"C:\\B\\b.exe %1", "http://x/", "C:\\B\\b.exe  http://x/"},
        {"C:\\B\\b.exe", "http://x/", "C:\\B\\b.exe http://x/"},
        // The quoted form is cut at wherever it stands, before a bare %1 that comes first.
        {"b.exe %1 \"%1\" tail", "t", "b.exe %1  t"},
        {"b.exe %10", "t", "b.exe  t"},
        // A target with a blank would be split: it is quoted.
        {"b.exe \"%1\"", "C:\\My Docs\\r.htm", "b.exe  \"C:\\My Docs\\r.htm\""},
    };
    for (const Case& c : cases) {
        char command[520];
        snprintf(command, sizeof(command), "%s", c.registered);
        ASSERT_TRUE(CompleteOpenCommand(command, sizeof(command), c.target)) << c.registered;
        EXPECT_STREQ(command, c.expected);
    }
}

TEST(OpenCommand, RefusesACommandThatDoesNotFit) {
    char command[520];
    std::string registered(259, 'c');
    snprintf(command, sizeof(command), "%s", registered.c_str());
    std::string target(519 - 259 - 1, 't');
    ASSERT_TRUE(CompleteOpenCommand(command, sizeof(command), target.c_str()));
    EXPECT_EQ(std::string(command).size(), 519u);
    snprintf(command, sizeof(command), "%s", registered.c_str());
    EXPECT_FALSE(CompleteOpenCommand(command, sizeof(command), (target + "t").c_str()));
    EXPECT_EQ(std::string(command), registered);
}

TEST(SelfDeleteBatch, NineXTextIsTheFixedTemplate) {
    SelfDeleteBatch paths = {"C:\\App\\uninst.exe", "C:\\App", "C:\\WINDOWS\\TEMP\\delme1.bat", nullptr};
    std::string expected =
        "@echo off\r\n:Repeat\r\ndel \"C:\\App\\uninst.exe\"\r\nif exist \"C:\\App\\uninst.exe\" goto "
        "Repeat\r\n"
        "rmdir \"C:\\App\"\r\ndel \"C:\\WINDOWS\\TEMP\\delme1.bat\"\r\n";
    size_t length = ComposeSelfDeleteBatch(paths, nullptr, 0);
    ASSERT_EQ(length, expected.size());
    std::string out(length + 1, '\xCC');
    ASSERT_EQ(ComposeSelfDeleteBatch(paths, out.data(), out.size()), length);
    EXPECT_EQ(out.substr(0, length), expected);
    EXPECT_EQ(out[length], '\0');
}

TEST(SelfDeleteBatch, NtTextRetriesFastThenPacedThenGivesUp) {
    SelfDeleteBatch paths = {"C:\\50%off\\A&B (x)^\x82\\uninst.exe", "C:\\50%off\\A&B (x)^\x82",
                             "C:\\T\\delme2.bat", "C:\\WINDOWS\\system32\\ping.exe"};
    std::string expected =
        "@echo off\r\n"
        "set n=0\r\n"
        ":Repeat\r\n"
        "del \"C:\\50%%off\\A&B (x)^\x82\\uninst.exe\"\r\n"
        "if not exist \"C:\\50%%off\\A&B (x)^\x82\\uninst.exe\" goto Removed\r\n"
        "set /a n+=1\r\n"
        "if %n% lss 1000 goto Repeat\r\n"
        "if %n% geq 1120 goto End\r\n"
        "\"C:\\WINDOWS\\system32\\ping.exe\" -n 2 127.0.0.1 >nul\r\n"
        "goto Repeat\r\n"
        ":Removed\r\n"
        "rmdir \"C:\\50%%off\\A&B (x)^\x82\"\r\n"
        ":End\r\n"
        "del \"C:\\T\\delme2.bat\"\r\n";
    size_t length = ComposeSelfDeleteBatch(paths, nullptr, 0);
    ASSERT_EQ(length, expected.size());
    std::string out(length + 1, '\0');
    ComposeSelfDeleteBatch(paths, out.data(), out.size());
    EXPECT_EQ(out.substr(0, length), expected);

    // A protected folder: no rmdir line, everything else as it was.
    paths.installFolder = nullptr;
    std::string withoutRmdir = expected;
    size_t at = withoutRmdir.find("rmdir ");
    withoutRmdir.erase(at, withoutRmdir.find("\r\n", at) + 2 - at);
    std::string out2(ComposeSelfDeleteBatch(paths, nullptr, 0) + 1, '\0');
    ComposeSelfDeleteBatch(paths, out2.data(), out2.size());
    EXPECT_EQ(out2.substr(0, out2.size() - 1), withoutRmdir);
}

// Paths of any length are measured exactly, and a buffer that is too small is never written past:
// the length returned tells the caller the text was not composed whole.
TEST(SelfDeleteBatch, MeasuresExactlyAndNeverWritesPastTheBuffer) {
    std::string deep = "C:\\" + std::string(250, '%') + "\\uninst.exe";
    SelfDeleteBatch paths = {deep.c_str(), "C:\\x", "C:\\T\\delme1.bat", "C:\\W\\ping.exe"};
    size_t length = ComposeSelfDeleteBatch(paths, nullptr, 0);
    std::string full(length + 1, '\0');
    ASSERT_EQ(ComposeSelfDeleteBatch(paths, full.data(), full.size()), length);
    EXPECT_EQ(full[length], '\0');
    EXPECT_NE(full.find("del \"C:\\" + std::string(500, '%') + "\\uninst.exe\"\r\n"), std::string::npos);

    std::string shortBuffer(length + 8, 'Z');
    EXPECT_EQ(ComposeSelfDeleteBatch(paths, shortBuffer.data(), length), length);
    EXPECT_EQ(shortBuffer.substr(length), std::string(8, 'Z'));
}

TEST(InterpreterCommandLine, NtQuotesTwiceAndTurnsOffAutoRunAndDelayedExpansion) {
    char out[1040];
    ASSERT_TRUE(BuildInterpreterCommandLine(true, "C:\\WINDOWS\\system32\\cmd.exe",
                                            "C:\\Users\\J (Admin)\\Temp\\delme1.bat", out, sizeof(out)));
    EXPECT_STREQ(
        out,
        "\"C:\\WINDOWS\\system32\\cmd.exe\" /D /V:OFF /C \"\"C:\\Users\\J (Admin)\\Temp\\delme1.bat\"\"");
    ASSERT_TRUE(BuildInterpreterCommandLine(false, "C:\\WINDOWS\\command.com",
                                            "C:\\WINDOWS\\TEMP\\delme1.bat", out, sizeof(out)));
    EXPECT_STREQ(out, "C:\\WINDOWS\\command.com /C \"C:\\WINDOWS\\TEMP\\delme1.bat\"");
    ASSERT_TRUE(
        BuildInterpreterCommandLine(false, "C:\\MY WIN\\command.com", "C:\\T\\d.bat", out, sizeof(out)));
    EXPECT_STREQ(out, "\"C:\\MY WIN\\command.com\" /C \"C:\\T\\d.bat\"");
    char small[20] = "kept";
    EXPECT_FALSE(
        BuildInterpreterCommandLine(true, "C:\\W\\cmd.exe", "C:\\T\\delme1.bat", small, sizeof(small)));
    EXPECT_STREQ(small, "kept");
    // The interpreter expands "%" and "!" on its command line even between quotes, and a quote ends
    // the path: a batch path with any of them is refused on both families.
    ASSERT_TRUE(BuildInterpreterCommandLine(true, "C:\\W\\cmd.exe", ".\\delme1.bat", out, sizeof(out)));
    EXPECT_STREQ(out, "\"C:\\W\\cmd.exe\" /D /V:OFF /C \"\".\\delme1.bat\"\"");
    for (const char* batch :
         {"C:\\T%OS%1\\delme1.bat", "C:\\T!x!\\delme1.bat", "C:\\T\"\\delme1.bat", "%TMP%"}) {
        for (bool nt : {true, false}) {
            std::strcpy(out, "kept");
            EXPECT_FALSE(BuildInterpreterCommandLine(nt, "C:\\W\\cmd.exe", batch, out, sizeof(out))) << batch;
            EXPECT_STREQ(out, "kept");
        }
    }
}

TEST(NumberedName, PlainDecimalInPlaceOfTheMark) {
    char out[260];
    ASSERT_TRUE(FormatNumberedName("delme%d.bat", 1, out, sizeof(out)));
    EXPECT_STREQ(out, "delme1.bat");
    ASSERT_TRUE(FormatNumberedName("delme%d.bat", 998, out, sizeof(out)));
    EXPECT_STREQ(out, "delme998.bat");
    ASSERT_TRUE(FormatNumberedName("%d", 40, out, sizeof(out)));
    EXPECT_STREQ(out, "40");
    EXPECT_FALSE(FormatNumberedName("delme.bat", 1, out, sizeof(out)));
    char small[10];
    EXPECT_FALSE(FormatNumberedName("delme%d.bat", 1, small, sizeof(small)));
}

}  // namespace
