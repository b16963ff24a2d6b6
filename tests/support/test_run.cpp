#include "support/test_run.h"

#ifdef _WIN32

#include "data/uninstall_data.h"
#include "format/layout.h"
#include "paths/protected_folders.h"
#include "paths/special_folders.h"
#include "removal/reach_check.h"
#include "support/block_file.h"

namespace testing_support {

namespace {

bool FakeSpecialFolder(char* path, int csidl) {
    auto found = FakeShellFolders().find(csidl);
    return found != FakeShellFolders().end() && CopyText(path, kPathBufferSize, found->second.c_str());
}

// A value of the 64-bit view is found under its name with "64:" before it.
bool FakeSetupFolder(const char* valueName, char* path, bool view64) {
    auto found = FakeSetupValues().find((view64 ? "64:" : "") + std::string(valueName));
    return found != FakeSetupValues().end() && CopyText(path, kPathBufferSize, found->second.c_str());
}

}  // namespace

std::map<int, std::string>& FakeShellFolders() {
    static std::map<int, std::string> folders;
    return folders;
}

std::map<std::string, std::string>& FakeSetupValues() {
    static std::map<std::string, std::string> values;
    return values;
}

TestRun::TestRun(bool nt) {
    run.platform.nt = nt;
    run.installFolder = installFolder;
    run.paths.nt = nt;
    // As the driver finds it: only 64-bit Windows gives a 32-bit program a WOW64 System folder.
    char wow64Folder[kPathBufferSize];
    run.paths.wow64 = GetWow64SystemFolder(wow64Folder);
    run.paths.installFolder = installFolder;
    run.currentItem = currentItem;
    run.modulePath = modulePath;
    run.instance = GetModuleHandleA(nullptr);
    FakeShellFolders().clear();
    FakeSetupValues().clear();
}

TestRun::~TestRun() {
    // Lists a test lent to the run (vectors of its own) are not the run's to free.
    if (!loaded_) {
        run.data.files = {};
        run.data.shortcuts = {};
        run.data.registry = {};
        run.data.patterns = nullptr;
        run.data.patternSize = 0;
    }
}

void TestRun::UseFakeShell() {
    run.paths.lookups.specialFolder = FakeSpecialFolder;
}

void TestRun::UseFakeSetup() {
    run.paths.lookups.setupFolder = FakeSetupFolder;
}

bool TestRun::Load(const std::vector<uint8_t>& block) {
    FreeUninstallData(run.data);
    loaded_ = true;
    return LoadBytes(block, run.data).code == format::kLoadOk;
}

}  // namespace testing_support

#endif  // _WIN32
