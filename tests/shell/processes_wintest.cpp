// The child processes and the shell hand-off, called directly: the run-first program and its wait,
// the closing document's fallback, the temporary name and the self-delete batch run by the real
// interpreter on a file that is not running.
#include "shell/processes.h"

#include <windows.h>

#include <tlhelp32.h>

#include <gtest/gtest.h>
#include <string>

#include "common/text.h"
#include "shell/shell_text.h"
#include "support/helper_programs.h"
#include "support/registry.h"
#include "support/sandbox.h"
#include "support/test_run.h"

using namespace testing_support;

namespace {

constexpr DWORD kPollLimitMs = 60000;

// Polls `done` every 50 ms until it holds or `limitMs` have passed.
template <class Condition>
bool PollUntil(Condition done, DWORD limitMs = kPollLimitMs) {
    DWORD start = GetTickCount();
    while (!done()) {
        if (GetTickCount() - start > limitMs) return false;
        Sleep(50);
    }
    return true;
}

std::string Unique(const std::string& label) {
    return "uninst" + std::to_string(GetCurrentProcessId()) + "-" + label;
}

// The ids of the running processes whose executable file is named `exeName`.
std::vector<DWORD> ProcessesNamed(const std::string& exeName) {
    std::vector<DWORD> ids;
    HANDLE snapshot = CreateToolhelp32Snapshot(TH32CS_SNAPPROCESS, 0);
    if (snapshot == INVALID_HANDLE_VALUE) return ids;
    PROCESSENTRY32 entry = {};
    entry.dwSize = sizeof(entry);
    for (BOOL more = Process32First(snapshot, &entry); more; more = Process32Next(snapshot, &entry)) {
        if (StartsWithNoCase(entry.szExeFile, exeName) && exeName.size() == strlen(entry.szExeFile)) {
            ids.push_back(entry.th32ProcessID);
        }
    }
    CloseHandle(snapshot);
    return ids;
}

std::string CurrentFolder() {
    char folder[MAX_PATH] = {};
    GetCurrentDirectoryA(MAX_PATH, folder);
    return folder;
}

// A top-level key of HKEY_CLASSES_ROOT (where the shell looks up document classes), deleted with its
// subtree at both ends.
class ClassesKey {
  public:
    explicit ClassesKey(std::string name) : name_(std::move(name)) { Remove(); }
    ~ClassesKey() { Remove(); }
    const std::string& name() const { return name_; }

  private:
    void Remove() {
        for (const std::string& child : SubkeyNames(HKEY_CLASSES_ROOT, name_)) {
            DeleteKeyTree(HKEY_CLASSES_ROOT, name_ + "\\" + child);
        }
        RegDeleteKeyA(HKEY_CLASSES_ROOT, name_.c_str());
    }
    std::string name_;
};

// ---- RunProgram ----

LRESULT CALLBACK CountingProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    if (message == WM_APP) ++*reinterpret_cast<int*>(GetWindowLongPtrA(window, GWLP_USERDATA));
    return DefWindowProcA(window, message, wParam, lParam);
}

class RunProgramTest : public ::testing::Test {
  protected:
    void SetUp() override {
        ASSERT_TRUE(box_.ok()) << box_.error();
        ASSERT_FALSE(box_.Make("Tools").empty());
        ASSERT_TRUE(CopyBuildFile("probe.exe", tool_));
    }
    std::vector<ProbeRecord> Records() const { return ReadProbeLog(log_); }

    Sandbox box_{"RunProgram"};
    std::string exeName_ = Unique("tool.exe");
    std::string tool_ = box_.Path("Tools\\" + exeName_);
    std::string log_ = box_.Path("probe.log");
    TestRun t_;
};

// A child that itself ends with 259 (STILL_ACTIVE) is waited for until it has ended, not for ever;
// the windows' messages are dispatched meanwhile; it starts in its own folder with its arguments.
TEST_F(RunProgramTest, WaitsForAChildEndingWith259WhilePumpingMessages) {
    WNDCLASSA windowClass = {};
    windowClass.lpfnWndProc = CountingProc;
    windowClass.hInstance = GetModuleHandleA(nullptr);
    windowClass.lpszClassName = "RunProgramTestWindow";
    RegisterClassA(&windowClass);
    HWND window =
        CreateWindowA("RunProgramTestWindow", "", 0, 0, 0, 0, 0, nullptr, nullptr, nullptr, nullptr);
    ASSERT_NE(window, nullptr);
    int delivered = 0;
    SetWindowLongPtrA(window, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(&delivered));
    ASSERT_TRUE(PostMessageA(window, WM_APP, 0, 0));

    std::string before = CurrentFolder();
    std::string arguments = "--log=\"" + log_ + "\" --exit=259 --wait=700 one \"two words\"";
    EXPECT_TRUE(RunProgram(t_.run, tool_.c_str(), arguments.c_str(), true));
    EXPECT_TRUE(ProcessesNamed(exeName_).empty()) << "returned while the child still runs";
    EXPECT_EQ(delivered, 1) << "messages were not dispatched during the wait";
    EXPECT_EQ(CurrentFolder(), before) << "our own current folder changed";
    DestroyWindow(window);

    std::vector<ProbeRecord> runs = Records();
    ASSERT_EQ(runs.size(), 1u);
    EXPECT_EQ(runs[0].commandLine, "\"" + tool_ + "\" " + arguments);
    EXPECT_EQ(runs[0].arguments,
              (std::vector<std::string>{"--log=" + log_, "--exit=259", "--wait=700", "one", "two words"}));
    EXPECT_TRUE(StartsWithNoCase(runs[0].currentFolder, box_.Path("Tools")) &&
                runs[0].currentFolder.size() == box_.Path("Tools").size())
        << runs[0].currentFolder;
}

// Without the wait flag it returns at once; empty arguments add nothing to the quoted path.
TEST_F(RunProgramTest, WithoutWaitReturnsWhileTheChildRuns) {
    SetEnvironmentVariableA("UNINST_PROBE_LOG", log_.c_str());
    EXPECT_TRUE(RunProgram(t_.run, tool_.c_str(), "", false));
    SetEnvironmentVariableA("UNINST_PROBE_LOG", nullptr);
    ASSERT_TRUE(PollUntil([&] { return Records().size() == 1; }));
    EXPECT_EQ(Records()[0].commandLine, "\"" + tool_ + "\"");
    ASSERT_TRUE(PollUntil([&] { return ProcessesNamed(exeName_).empty(); }));
}

// Texts that do not fit are refused, never cut: nothing starts.
TEST_F(RunProgramTest, RefusesCommandLinesThatDoNotFitAndMissingPrograms) {
    std::string fits = "--log=\"" + log_ + "\" ";
    fits += std::string(527 - (tool_.size() + 3) - fits.size(), 'a');
    std::string tooLong = fits + "a";
    EXPECT_FALSE(RunProgram(t_.run, tool_.c_str(), tooLong.c_str(), true));
    EXPECT_FALSE(RunProgram(t_.run, (std::string(270, 'x') + "\\t.exe").c_str(), nullptr, true));
    EXPECT_FALSE(RunProgram(t_.run, box_.Path("Tools\\missing.exe").c_str(), nullptr, true));
    EXPECT_TRUE(Records().empty());
    EXPECT_TRUE(RunProgram(t_.run, tool_.c_str(), fits.c_str(), true)) << "527 characters fit";
    EXPECT_EQ(Records().size(), 1u);
}

// ---- ReadClassDefault and OpenDocument ----

class ClassesTest : public ::testing::Test {
  protected:
    void SetUp() override {
        ASSERT_TRUE(box_.ok()) << box_.error();
        ASSERT_TRUE(CopyBuildFile("probe.exe", probe_));
    }
    // Registers the per-test document class: `extension` names the class whose open command runs the
    // probe with `placeholder` ("\"%1\"" or "%1").
    void RegisterProbeClass(const std::string& placeholder) {
        std::string command = "\"" + probe_ + "\" --log=\"" + log_ + "\" " + placeholder;
        ASSERT_TRUE(CreateTree(HKEY_CLASSES_ROOT, root_.name(),
                               {{"ext", "", RegValue::String(root_.name() + "\\Doc")},
                                {"Doc\\shell\\open\\command", "", RegValue::String(command)}}));
    }

    Sandbox box_{"Classes"};
    std::string probe_ = box_.Path("viewer.exe");
    std::string log_ = box_.Path("viewer.log");
    ClassesKey root_{Unique("classes")};
    TestRun t_;
};

TEST_F(ClassesTest, ReadClassDefaultTakesWholeStringsOnly) {
    std::string base = root_.name();
    ASSERT_TRUE(CreateTree(HKEY_CLASSES_ROOT, base,
                           {{"text", "", RegValue::String("htmlfile")},
                            {"longest", "", RegValue::String(std::string(259, 'l'))},
                            {"tooLong", "", RegValue::String(std::string(260, 'l'))},
                            {"empty", "", RegValue::String("")},
                            {"number", "", RegValue::Dword(7)},
                            {"expand", "", RegValue::ExpandString("%WINDIR%\\x.exe")},
                            {"noDefault", "other", RegValue::String("x")}}));
    char windows[MAX_PATH] = {};
    ASSERT_GT(GetEnvironmentVariableA("WINDIR", windows, MAX_PATH), 0u);
    struct Case {
        const char* key;
        bool ok;
        std::string value;
    } cases[] = {
        {"text", true, "htmlfile"}, {"longest", true, std::string(259, 'l')},
        {"tooLong", false, ""},     {"empty", false, ""},
        {"number", false, ""},      {"expand", true, std::string(windows) + "\\x.exe"},
        {"noDefault", false, ""},   {"missing", false, ""},
    };
    for (const Case& c : cases) {
        char buffer[kPathBufferSize] = "unchanged";
        LONG result = ReadClassDefault((base + "\\" + c.key).c_str(), buffer);
        EXPECT_EQ(result == ERROR_SUCCESS, c.ok) << c.key << ": " << result;
        EXPECT_EQ(std::string(buffer), c.ok ? c.value : "unchanged") << c.key;
    }
}

// A document the shell cannot open goes to the registered command, the placeholder cut off and the
// document appended (quoted when it has a blank).
TEST_F(ClassesTest, DocumentTheShellCannotOpenGoesToTheRegisteredCommand) {
    struct Case {
        const char* placeholder;
        std::string document;
        std::string tail;  // the command line after the probe's own options
    } cases[] = {
        {"\"%1\"", box_.Path("missing.htm"), "  " + box_.Path("missing.htm")},
        {"%1", box_.Path("no such\\page.htm"), "  \"" + box_.Path("no such\\page.htm") + "\""},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.document);
        DeleteFileA(log_.c_str());
        RegisterProbeClass(c.placeholder);
        OpenDocument(t_.run, c.document.c_str(), (root_.name() + "\\ext").c_str());
        ASSERT_TRUE(PollUntil([&] { return ReadProbeLog(log_).size() == 1; }));
        ProbeRecord record = ReadProbeLog(log_)[0];
        EXPECT_EQ(record.commandLine, "\"" + probe_ + "\" --log=\"" + log_ + "\"" + c.tail);
        EXPECT_EQ(record.arguments.back(), c.document);
    }
}

// Nothing runs when the class cannot be read or the text would not fit.
TEST_F(ClassesTest, NothingOpensWithoutAClassOrWhenTheTextDoesNotFit) {
    RegisterProbeClass("\"%1\"");
    OpenDocument(t_.run, box_.Path("missing.htm").c_str(), (root_.name() + "\\absent").c_str());
    std::string longDocument = box_.Path(std::string(520, 'd'));
    OpenDocument(t_.run, longDocument.c_str(), (root_.name() + "\\ext").c_str());
    // Registered command (about 100) + 2 + a 420-character document is past 520 bytes.
    std::string past = box_.Path(std::string(420 - box_.path().size(), 'p'));
    OpenDocument(t_.run, past.c_str(), (root_.name() + "\\ext").c_str());
    // A last run that does open shows the earlier ones would have had time to.
    OpenDocument(t_.run, box_.Path("last.htm").c_str(), (root_.name() + "\\ext").c_str());
    ASSERT_TRUE(PollUntil([&] { return !ReadProbeLog(log_).empty(); }));
    std::vector<ProbeRecord> runs = ReadProbeLog(log_);
    ASSERT_EQ(runs.size(), 1u);
    EXPECT_EQ(runs[0].arguments.back(), box_.Path("last.htm"));
}

// ---- CreateUniqueTempFile ----

TEST(CreateUniqueTempFile, PassesTakenNamesAndReplacesNone) {
    char temp[MAX_PATH] = {};
    ASSERT_GT(GetTempPathA(MAX_PATH, temp), 0u);
    std::string pattern = Unique("delme%d.bat");
    auto name = [&](int n) {
        std::string text = pattern;
        return std::string(temp) + text.replace(text.find("%d"), 2, std::to_string(n));
    };
    ASSERT_TRUE(WriteFileText(name(1), "one"));
    ASSERT_TRUE(WriteFileText(name(2), "two"));
    ASSERT_TRUE(WriteFileText(name(3), "three"));
    {
        LockedFile held(name(2));  // cannot be read by anyone else
        ASSERT_TRUE(held.holding()) << held.error();
        char path[kPathBufferSize] = {};
        UniqueFileHandle file = CreateUniqueTempFile(path, pattern.c_str());
        ASSERT_TRUE(file);
        EXPECT_TRUE(StartsWithNoCase(path, name(4)) && TextLength(path) == name(4).size()) << path;
        DWORD written = 0;
        EXPECT_TRUE(WriteFile(file.get(), "four", 4, &written, nullptr));
    }
    EXPECT_EQ(ReadFileText(name(1)), "one");
    EXPECT_EQ(ReadFileText(name(2)), "two");
    EXPECT_EQ(ReadFileText(name(3)), "three");
    EXPECT_EQ(ReadFileText(name(4)), "four");
    for (int n = 1; n <= 4; ++n) DeleteFileA(name(n).c_str());
}

// ---- The self-delete batch ----

class SelfDeleteTest : public ::testing::Test {
  protected:
    void SetUp() override {
        ASSERT_TRUE(box_.ok()) << box_.error();
        ASSERT_GT(GetSystemDirectoryA(system_, MAX_PATH), 0u);
    }
    // Writes the batch for `module` in `folder` and returns its bytes.
    std::string WriteBatch(const std::string& module, const std::string& folder) {
        char batch[kPathBufferSize] = {};
        if (!WriteSelfDeleteBatch(t_.run, module.c_str(), folder.c_str(), system_, batch)) return "";
        batch_ = batch;
        std::optional<std::string> text = ReadFileText(batch_);
        return text ? *text : "";
    }
    void TearDown() override {
        if (!batch_.empty()) DeleteFileA(batch_.c_str());
    }

    Sandbox box_{"SelfDelete"};
    char system_[MAX_PATH] = {};
    std::string batch_;
    TestRun t_;
};

// The batch as the interpreter reads it: the paths in the OEM code page (é is 0x82 in 437), every
// "%" doubled, "&", "^" and parentheses left inside the quotes; ping by its full path.
TEST_F(SelfDeleteTest, BatchBytesHoldTheOemPathsWithPercentDoubled) {
    std::string folder = box_.Make("50%off & (x)^\xE9");
    ASSERT_FALSE(folder.empty());
    ASSERT_TRUE(box_.Write("50%off & (x)^\xE9\\uninst.exe", "exe"));
    std::string module = folder + "\\uninst.exe";
    std::string bytes = WriteBatch(module, folder);
    ASSERT_FALSE(bytes.empty());
    EXPECT_TRUE(StartsWithNoCase(NameOf(batch_), "delme")) << batch_;

    auto oem = [](std::string text) {
        std::string out;
        for (char c : text) {
            if (c == '%') out += '%';
            out += c == '\xE9' ? '\x82' : c;
        }
        return out;
    };
    std::string expected =
        "@echo off\r\nset n=0\r\n:Repeat\r\ndel \"" + oem(module) + "\"\r\nif not exist \"" + oem(module) +
        "\" goto Removed\r\nset /a n+=1\r\nif %n% lss 1000 goto Repeat\r\nif %n% geq 1120 goto End\r\n\"" +
        std::string(system_) + "\\ping.exe\" -n 2 127.0.0.1 >nul\r\ngoto Repeat\r\n:Removed\r\nrmdir \"" +
        oem(folder) + "\"\r\n:End\r\ndel \"" + oem(batch_) + "\"\r\n";
    EXPECT_EQ(bytes, expected);

    // The 9x family's batch: the plain loop, no pacing.
    TestRun nineX(false);
    char batch[kPathBufferSize] = {};
    ASSERT_TRUE(WriteSelfDeleteBatch(nineX.run, module.c_str(), folder.c_str(), system_, batch));
    std::optional<std::string> plain = ReadFileText(batch);
    DeleteFileA(batch);
    ASSERT_TRUE(plain);
    EXPECT_EQ(*plain, "@echo off\r\n:Repeat\r\ndel \"" + oem(module) + "\"\r\nif exist \"" + oem(module) +
                          "\" goto Repeat\r\nrmdir \"" + oem(folder) + "\"\r\ndel \"" + oem(batch) +
                          "\"\r\n");
}

// A protected install folder (the temporary folder itself here) gets no rmdir line.
TEST_F(SelfDeleteTest, ProtectedInstallFolderIsNeverRemoved) {
    char temp[MAX_PATH] = {};
    ASSERT_GT(GetTempPathA(MAX_PATH, temp), 0u);
    std::string module = std::string(temp) + Unique("uninst.exe");
    ASSERT_TRUE(WriteFileText(module, "exe"));
    std::string folder = temp;
    folder.pop_back();
    std::string bytes = WriteBatch(module, folder);
    DeleteFileA(module.c_str());
    ASSERT_FALSE(bytes.empty());
    EXPECT_EQ(bytes.find("rmdir"), std::string::npos) << bytes;
    EXPECT_NE(bytes.find(":Removed\r\n:End\r\n"), std::string::npos) << bytes;
}

// The real interpreter on a file that is not running: the file and its emptied folder go, and so
// does the batch; the folder a lone "%" would have named instead stays. A folder that still holds
// something stays too.
TEST_F(SelfDeleteTest, InterpreterDeletesTheFileAndTheEmptiedFolderOnly) {
    struct Case {
        const char* folder;
        const char* decoy;  // the folder the path would name if "%" were expanded
        bool leftBehind;    // a file beside the executable keeps the folder
    } cases[] = {
        {"A 50%off & (x)^\xE9", "A 50off & (x)^\xE9", false},
        {"%OS%", "Windows_NT", false},
        {"Busy", nullptr, true},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.folder);
        std::string folder = box_.Make(c.folder);
        ASSERT_TRUE(box_.Write(std::string(c.folder) + "\\uninst.exe", "exe"));
        if (c.leftBehind) ASSERT_TRUE(box_.Write(std::string(c.folder) + "\\data.txt", "kept"));
        if (c.decoy) ASSERT_TRUE(box_.Write(std::string(c.decoy) + "\\uninst.exe", "decoy"));
        std::string module = folder + "\\uninst.exe";
        ASSERT_FALSE(WriteBatch(module, folder).empty());
        ASSERT_TRUE(StartBatchInterpreter(true, system_, batch_.c_str()));
        EXPECT_TRUE(PollUntil([&] { return !Exists(batch_); })) << "the batch did not end";
        EXPECT_FALSE(Exists(module));
        EXPECT_EQ(Exists(folder), c.leftBehind);
        if (c.leftBehind) EXPECT_EQ(ReadFileText(folder + "\\data.txt"), "kept");
        if (c.decoy) EXPECT_EQ(ReadFileText(box_.Path(std::string(c.decoy) + "\\uninst.exe")), "decoy");
    }
}

// A file that never goes (held open here) does not keep the batch spinning: after its tries it
// gives up, leaves the file and the folder, and deletes itself.
TEST_F(SelfDeleteTest, BatchGivesUpOnAFileThatNeverGoes) {
    std::string folder = box_.Make("Held");
    ASSERT_TRUE(box_.Write("Held\\uninst.exe", "exe"));
    std::string module = folder + "\\uninst.exe";
    LockedFile held(module);
    ASSERT_TRUE(held.holding()) << held.error();

    std::string batch = box_.Path("short.bat");
    std::string ping = std::string(system_) + "\\ping.exe";
    SelfDeleteBatch paths = {module.c_str(), folder.c_str(), batch.c_str(), ping.c_str(), 3, 2};
    std::string text(ComposeSelfDeleteBatch(paths, nullptr, 0) + 1, '\0');
    ComposeSelfDeleteBatch(paths, text.data(), text.size());
    text.pop_back();
    ASSERT_TRUE(WriteFileText(batch, text));

    char commandLine[1040];
    std::string cmd = std::string(system_) + "\\cmd.exe";
    ASSERT_TRUE(
        BuildInterpreterCommandLine(true, cmd.c_str(), batch.c_str(), commandLine, sizeof(commandLine)));
    STARTUPINFOA startup = {};
    startup.cb = sizeof(startup);
    startup.dwFlags = STARTF_USESHOWWINDOW;
    startup.wShowWindow = SW_HIDE;
    PROCESS_INFORMATION info = {};
    ASSERT_TRUE(CreateProcessA(cmd.c_str(), commandLine, nullptr, nullptr, FALSE, 0, nullptr, system_,
                               &startup, &info));
    DWORD waited = WaitForSingleObject(info.hProcess, kPollLimitMs);
    if (waited != WAIT_OBJECT_0) TerminateProcess(info.hProcess, 1);
    CloseHandle(info.hThread);
    CloseHandle(info.hProcess);
    EXPECT_EQ(waited, WAIT_OBJECT_0) << "the batch kept spinning";
    EXPECT_FALSE(Exists(batch));
    EXPECT_TRUE(Exists(module));
    EXPECT_TRUE(Exists(folder));
}

// No interpreter where it must be (the 9x family's command.com in a folder without one): no batch
// is left behind.
TEST_F(SelfDeleteTest, NoBatchLeftWhenTheInterpreterCannotStart) {
    std::string folder = box_.Make("App");
    ASSERT_TRUE(box_.Write("App\\uninst.exe", "exe"));
    ASSERT_FALSE(WriteBatch(folder + "\\uninst.exe", folder).empty());
    ASSERT_TRUE(Exists(batch_));
    EXPECT_FALSE(StartBatchInterpreter(false, box_.path().c_str(), batch_.c_str()));
    EXPECT_FALSE(Exists(batch_));
    EXPECT_TRUE(Exists(folder + "\\uninst.exe"));
}

// A path the OEM code page cannot hold ("€" is not in 437) is written by its short name, or the
// batch is not written at all: never with "?" in its place, which del takes as a wildcard.
TEST_F(SelfDeleteTest, PathsTheOemPageCannotHoldUseTheShortNameOrWriteNoBatch) {
    std::string folder = box_.Make("App\x80");
    ASSERT_TRUE(box_.Write("App\x80\\uninst.exe", "exe"));
    std::string module = folder + "\\uninst.exe";
    char shortModule[MAX_PATH] = {};
    DWORD n = GetShortPathNameA(module.c_str(), shortModule, MAX_PATH);
    std::string bytes = WriteBatch(module, folder);
    bool shortNameConverts =
        n > 0 && n < MAX_PATH && std::string(shortModule).find('\x80') == std::string::npos;
    if (shortNameConverts) {
        ASSERT_FALSE(bytes.empty());
        EXPECT_NE(bytes.find(std::string("del \"") + shortModule + "\"\r\n"), std::string::npos) << bytes;
    } else {
        EXPECT_TRUE(bytes.empty()) << bytes;
    }
    EXPECT_EQ(bytes.find('?'), std::string::npos) << bytes;
}

}  // namespace
