// The run state of one unit test, as the driver has it after start-up: path buffers of the test's
// own, the platform family, folder lookups that can be replaced by fakes, and a block loaded on
// request. Windows only.
//
// Usage:
//   testing_support::TestRun t;                  // NT family, install folder "C:\Tools\App\"
//   testing_support::TestRun nineX(false);       // the 9x family
//   CopyText(t.installFolder, "D:\\Other\\");    // the buffers are the test's to change
//   t.UseFakeShell(); FakeShellFolders()[CSIDL_APPDATA] = "C:\\Data";   // lookups see only fakes
//   ASSERT_TRUE(t.Load(format::EncodeBlock(block)));                    // lists and messages
//   SomePass(t.run);
// The protected-folder set and the loaded block are freed when the object goes (lists a test
// points run.data at without Load stay the test's); the fakes are emptied when the next one is made.
#pragma once

#ifdef _WIN32

#include <windows.h>

#include <cstdint>
#include <map>
#include <string>
#include <vector>

#include "common/text.h"
#include "run/run_state.h"

namespace testing_support {

// Shell folders and setup values the fake lookups give; anything not listed fails.
std::map<int, std::string>& FakeShellFolders();
std::map<std::string, std::string>& FakeSetupValues();

struct TestRun {
    char installFolder[kPathBufferSize] = "C:\\Tools\\App\\";
    char currentItem[kPathBufferSize] = {};
    char modulePath[kPathBufferSize] = "C:\\Tools\\App\\uninst.exe";
    RunState run{};

    explicit TestRun(bool nt = true);
    ~TestRun();
    TestRun(const TestRun&) = delete;
    TestRun& operator=(const TestRun&) = delete;

    // From now on the shell and registry lookups see only the fake folders.
    void UseFakeShell();
    void UseFakeSetup();
    // Loads `block` into run.data with the real loader; false when the loader refuses it.
    [[nodiscard]] bool Load(const std::vector<uint8_t>& block);

  private:
    bool loaded_ = false;  // run.data holds what Load read; otherwise a test may have lent it lists
};

}  // namespace testing_support

#endif  // _WIN32
