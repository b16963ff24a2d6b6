// Libraries planted in the install folder under system names never run inside the uninstaller. The
// install folder is where it runs from, elevated, and a standard user can often write to it; the
// platform searches a program's own folder first for a library loaded by bare name.
//
// Wine prefers its own builtin libraries; an override to "native,builtin" makes it search as Windows
// does, program folder first, for the planted names. A control program proves that the planted
// library and that search really do run it, so the uninstaller's checks can fail.
#include <gtest/gtest.h>
#include <string>
#include <vector>

#include "common/scope_exit.h"
#include "e2e/e2e_fixture.h"

namespace e2e_test {
namespace {

// The libraries system libraries load by name on demand on some Windows version, none of them on
// the known list, and the common controls, which the uninstaller imports no more.
const char* const kPlanted[] = {"uxtheme",   "userenv", "setupapi", "apphelp", "propsys", "dwmapi",
                                "cryptbase", "oleacc",  "version",  "profapi", "comctl32"};

// Wine's own user32 imports version.dll, so Wine loads it while it starts any program that uses
// user32, before the program's first instruction (Windows' user32 does not). Told to prefer a native
// version.dll, Wine would run the planted one there whatever the program does.
bool WineLoadsBeforeEntry(const std::string& name) {
    return name == "version";
}

std::string FolderOf(const std::string& path) {
    return path.substr(0, path.find_last_of('\\') + 1);
}

// The folder of the built test tools: the one holding the stub.
std::string BuildFolder() {
    char stub[MAX_PATH] = {};
    DWORD n = GetEnvironmentVariableA("UNINST_STUB", stub, MAX_PATH);
    return n == 0 || n >= MAX_PATH ? std::string() : FolderOf(stub);
}

// Tells Wine to prefer native libraries of `names` for programs named `program`, while the object
// lives. A program started by a Windows process takes WINEDLLOVERRIDES from the Unix environment of
// its parent, not from the Windows environment a test can change; the per-program key in Wine's
// registry is read by the new process itself. Only what this object made is removed again.
class WineNativeFirst {
  public:
    WineNativeFirst(const std::string& program, std::vector<std::string> names) : names_(std::move(names)) {
        appKeyPath_ = "Software\\Wine\\AppDefaults\\" + program;
        DWORD created = 0;
        if (RegCreateKeyExA(HKEY_CURRENT_USER, appKeyPath_.c_str(), 0, nullptr, 0, KEY_ALL_ACCESS, nullptr,
                            &appKey_, &created) != ERROR_SUCCESS) {
            appKey_ = nullptr;
            return;
        }
        createdAppKey_ = created == REG_CREATED_NEW_KEY;
        if (RegCreateKeyExA(appKey_, "DllOverrides", 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &overrides_,
                            &created) != ERROR_SUCCESS) {
            overrides_ = nullptr;
            return;
        }
        createdOverrides_ = created == REG_CREATED_NEW_KEY;
        const char value[] = "native,builtin";
        for (const std::string& name : names_) {
            if (RegSetValueExA(overrides_, name.c_str(), 0, REG_SZ, reinterpret_cast<const BYTE*>(value),
                               sizeof(value)) != ERROR_SUCCESS) {
                return;
            }
        }
        ok_ = true;
    }

    ~WineNativeFirst() {
        if (overrides_) {
            for (const std::string& name : names_) RegDeleteValueA(overrides_, name.c_str());
            RegCloseKey(overrides_);
            if (createdOverrides_) RegDeleteKeyA(appKey_, "DllOverrides");
        }
        if (appKey_) {
            RegCloseKey(appKey_);
            if (createdAppKey_) RegDeleteKeyA(HKEY_CURRENT_USER, appKeyPath_.c_str());
        }
    }
    WineNativeFirst(const WineNativeFirst&) = delete;
    WineNativeFirst& operator=(const WineNativeFirst&) = delete;

    bool ok() const { return ok_; }

  private:
    std::vector<std::string> names_;
    std::string appKeyPath_;
    HKEY appKey_ = nullptr;
    HKEY overrides_ = nullptr;
    bool createdAppKey_ = false;
    bool createdOverrides_ = false;
    bool ok_ = false;
};

class PlantedLibraries : public E2eTest {
  protected:
    void SetUp() override {
        E2eTest::SetUp();
        if (HasFatalFailure()) return;
        trace_ = sandbox_.root() + "trace";
        ASSERT_TRUE(CreateDirectoryA(trace_.c_str(), nullptr)) << trace_;
    }

    // A new installation with a library under each planted name beside its uninstaller.
    e2e::Installation& PlantedInstallation() {
        e2e::Installation& app = NewInstallation();
        std::string build = BuildFolder();
        EXPECT_FALSE(build.empty()) << "UNINST_STUB is not set";
        for (const char* name : kPlanted) {
            std::string target = app.Path(std::string(name) + ".dll");
            EXPECT_TRUE(CopyFileA((build + "planted.dll").c_str(), target.c_str(), FALSE)) << target;
        }
        return app;
    }

    // Runs `exe` from the install folder (also its current folder) with Wine searching as Windows
    // does for the planted names (all of them, or those Wine does not load before the program's entry).
    e2e::RunResult RunPlanted(const std::string& exe, const std::string& arguments,
                              robot::Responder responder, bool allNames) {
        std::vector<std::string> names;
        for (const char* name : kPlanted) {
            if (allNames || !WineLoadsBeforeEntry(name)) names.push_back(name);
        }
        WineNativeFirst overrides(exe.substr(exe.find_last_of('\\') + 1), names);
        EXPECT_TRUE(overrides.ok()) << "cannot write Wine's library overrides";
        SetEnvironmentVariableA("UNINST_PLANT_TRACE", trace_.c_str());
        ScopeExit restore([] { SetEnvironmentVariableA("UNINST_PLANT_TRACE", nullptr); });
        std::string folder = exe.substr(0, exe.find_last_of('\\') + 1);
        e2e::RunResult run = e2e::RunWithRobot(exe, arguments, folder, std::move(responder));
        EXPECT_TRUE(run.started) << run.error;
        EXPECT_FALSE(run.timedOut) << run.error << "\n" << run.Describe();
        return run;
    }

    // The planted libraries that ran, each as "name.dll in <process>".
    std::vector<std::string> Ran() const {
        std::vector<std::string> ran;
        for (const char* name : kPlanted) {
            std::string file = trace_ + "\\" + name + ".dll.ran";
            HANDLE h =
                CreateFileA(file.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr);
            if (h == INVALID_HANDLE_VALUE) continue;
            char process[MAX_PATH + 1] = {};
            DWORD read = 0;
            ReadFile(h, process, MAX_PATH, &read, nullptr);
            CloseHandle(h);
            ran.push_back(std::string(name) + ".dll in " + process);
        }
        return ran;
    }

    std::string trace_;
};

// The control: a program that loads each name bare from that folder runs every planted library.
TEST_F(PlantedLibraries, RunWhenAProgramInTheFolderLoadsThemByName) {
    e2e::Installation& app = PlantedInstallation();
    std::string control = app.Path("load_by_name.exe");
    ASSERT_TRUE(CopyFileA((BuildFolder() + "load_by_name.exe").c_str(), control.c_str(), FALSE));
    std::string names;
    for (const char* name : kPlanted) names += std::string(name) + ".dll ";
    e2e::RunResult run = RunPlanted(control, names, robot::AnswerInOrder({}), true);
    EXPECT_EQ(run.exitCode, 0);
    EXPECT_EQ(Ran().size(), std::size(kPlanted)) << ::testing::PrintToString(Ran());
}

// The uninstaller, quiet and answered through its boxes to the closing message, runs none of them.
TEST_F(PlantedLibraries, NeverRunInTheUninstaller) {
    struct Case {
        const char* name;
        const char* arguments;
        std::vector<robot::Reply> replies;
        size_t boxes;
    } cases[] = {
        {"silent", "/S", {}, 0},
        {"confirmed through the boxes", "", {robot::Click(IDOK), robot::Click(IDOK)}, 2},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        e2e::Installation& app = PlantedInstallation();
        Place(app, format::EncodeBlock(InstallationBlock(app)));
        e2e::RunResult run =
            RunPlanted(app.uninstaller(), c.arguments, robot::AnswerInOrder(c.replies), false);
        EXPECT_EQ(run.exitCode, 0) << run.Describe();
        EXPECT_EQ(run.MessageBoxes().size(), c.boxes) << run.Describe();
        EXPECT_EQ(Ran(), std::vector<std::string>{});
    }
}

}  // namespace
}  // namespace e2e_test
