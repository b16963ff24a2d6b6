// Libraries by full System-folder path, and the common controls the dialogs still get from them.
// clang-format off
#include <windows.h>
#include <commctrl.h>  // after windows.h, which it needs
// clang-format on

#include "common/system_library.h"

#include <gtest/gtest.h>
#include <string>

#include "support/ui_session.h"
#include "ui/ui.h"

using testing_support::UiSession;

namespace {

std::string SystemFolder() {
    char folder[MAX_PATH] = {};
    UINT n = GetSystemDirectoryA(folder, MAX_PATH);
    return n != 0 && n < MAX_PATH ? folder : "";
}

std::string ModulePath(HMODULE module) {
    char path[MAX_PATH] = {};
    DWORD n = GetModuleFileNameA(module, path, MAX_PATH);
    return n != 0 && n < MAX_PATH ? path : "";
}

TEST(LoadSystemLibrary, TakesTheSystemFolderOrNothing) {
    ASSERT_FALSE(SystemFolder().empty());
    for (const char* name : {"uxtheme.dll", "comctl32.dll", "version.dll"}) {
        SCOPED_TRACE(name);
        HMODULE library = LoadSystemLibrary(name);
        ASSERT_NE(library, nullptr) << "Wine ships " << name;
        EXPECT_EQ(lstrcmpiA(ModulePath(library).c_str(), (SystemFolder() + "\\" + name).c_str()), 0)
            << ModulePath(library);
        FreeLibrary(library);
    }
    struct Case {
        const char* why;
        std::string name;
    } refused[] = {
        {"not in the System folder", "uninst-no-such-library.dll"},
        {"the full path does not fit a path buffer", std::string(300, 'a') + ".dll"},
    };
    for (const Case& c : refused) {
        SCOPED_TRACE(c.why);
        EXPECT_EQ(LoadSystemLibrary(c.name.c_str()), nullptr);
    }
}

// The manifest's dependency on version 6 of the common controls still holds now that the library is
// loaded at run time: the process's activation context redirects the common controls to version 6,
// which is what is loaded, the progress bar's class is registered and the dialog gets its bar.
TEST(CommonControls, TheProgressBarComesFromVersion6OfTheManifest) {
    ACTCTX_SECTION_KEYED_DATA redirect = {};
    redirect.cbSize = sizeof(redirect);
    EXPECT_TRUE(FindActCtxSectionStringA(0, nullptr, ACTIVATION_CONTEXT_SECTION_DLL_REDIRECTION,
                                         "comctl32.dll", &redirect))
        << "no common controls in the activation context: error " << GetLastError();

    UiSession session;
    ASSERT_TRUE(session.ready());
    ASSERT_TRUE(CreateProgressDialog(session.run().ui));
    HWND bar = session.run().ui.progressBar;
    ASSERT_NE(bar, nullptr) << "the progress bar's class is not registered";
    char className[64] = {};
    GetClassNameA(bar, className, sizeof(className));
    EXPECT_STREQ(className, PROGRESS_CLASSA);

    // By bare name the activation context answers: the common controls it names must be loaded now,
    // from the folder of the manifest's assembly in the side-by-side store. (Wine's library reports
    // version 5 from any folder, so the folder is what tells.)
    HMODULE loaded = GetModuleHandleA("comctl32.dll");
    ASSERT_NE(loaded, nullptr) << "the common controls of the activation context are not loaded";
    std::string path = ModulePath(loaded);
    CharLowerBuffA(path.data(), static_cast<DWORD>(path.size()));
    EXPECT_NE(path.find("\\winsxs\\"), std::string::npos) << path;
    EXPECT_NE(path.find("microsoft.windows.common-controls_6595b64144ccf1df_6.0."), std::string::npos)
        << path;
    DestroyProgressDialog(session.run().ui);
}

}  // namespace
