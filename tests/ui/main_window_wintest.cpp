// The hidden main window, the message pumps and the start and release of the user interface.
#include <windows.h>

#include <gtest/gtest.h>
#include <string>

#include "support/ui_robot.h"
#include "support/ui_session.h"
#include "ui/ui.h"

using testing_support::DrainMessages;
using testing_support::UiSession;
using testing_support::Watchdog;

namespace {

TEST(MainWindowOrigin, CentresAndNeverGoesNegative) {
    struct Case {
        int width, height, x, y;
    } const kCases[] = {
        {1024, 768, 352, 284}, {800, 600, 240, 200}, {1025, 769, 352, 284},  // odd sizes round down
        {320, 200, 0, 0},      {321, 201, 0, 0},     {318, 198, 0, 0},       // -1 rounds toward 0
        {100, 768, 0, 284},    {1024, 50, 352, 0},   {0, 0, 0, 0},
    };
    for (const Case& c : kCases) {
        WindowOrigin origin = MainWindowOrigin(c.width, c.height);
        EXPECT_EQ(origin.x, c.x) << c.width << "x" << c.height;
        EXPECT_EQ(origin.y, c.y) << c.width << "x" << c.height;
    }
}

TEST(MainWindow, ClassIsRegisteredAsDescribed) {
    UiSession session;
    ASSERT_TRUE(session.ready());
    WNDCLASSA wc = {};
    ASSERT_TRUE(GetClassInfoA(session.run().instance, "UninstItClass", &wc));
    EXPECT_EQ(wc.style, static_cast<UINT>(CS_HREDRAW | CS_VREDRAW));
    EXPECT_EQ(wc.lpfnWndProc, &MainWindowProc);
    EXPECT_EQ(wc.cbClsExtra, 0);
    EXPECT_EQ(wc.cbWndExtra, 0);
    EXPECT_NE(wc.hIcon, nullptr) << "icon group 800";
    EXPECT_EQ(wc.hCursor, LoadCursorA(nullptr, IDC_ARROW));
    EXPECT_EQ(wc.hbrBackground, GetStockObject(NULL_BRUSH));
    EXPECT_EQ(wc.lpszMenuName, nullptr);
    // A second registration of the same class fails, and says so.
    EXPECT_FALSE(RegisterMainWindowClass(session.run().ui));
}

TEST(MainWindow, IsHiddenCentredAndTitledWithMessage0) {
    UiSession session;
    ASSERT_TRUE(session.ready());
    HWND window = session.run().ui.mainWindow;
    EXPECT_FALSE(IsWindowVisible(window));
    // The platform adds WS_CLIPSIBLINGS to every top-level window.
    EXPECT_EQ(static_cast<DWORD>(GetWindowLongPtrA(window, GWL_STYLE)) & ~WS_CLIPSIBLINGS,
              static_cast<DWORD>(WS_OVERLAPPEDWINDOW | WS_CLIPCHILDREN));
    // The platform adds the window-edge bit to every captioned window; nothing else may be there.
    EXPECT_EQ(GetWindowLongPtrA(window, GWL_EXSTYLE) & ~WS_EX_WINDOWEDGE, 0);
    EXPECT_EQ(GetParent(window), nullptr);
    EXPECT_EQ(GetMenu(window), nullptr);
    EXPECT_EQ(testing_support::WindowText(window), "Example Uninstall");
    RECT rect = {};
    GetWindowRect(window, &rect);
    WindowOrigin origin = MainWindowOrigin(GetSystemMetrics(SM_CXSCREEN), GetSystemMetrics(SM_CYSCREEN));
    EXPECT_EQ(rect.left, origin.x);
    EXPECT_EQ(rect.top, origin.y);
    EXPECT_EQ(rect.right - rect.left, 320);
    EXPECT_EQ(rect.bottom - rect.top, 200);
    if (GetSystemMetrics(SM_CXSCREEN) == 1024 && GetSystemMetrics(SM_CYSCREEN) == 768) {
        EXPECT_EQ(rect.left, 352);
        EXPECT_EQ(rect.top, 284);
    }
}

// A window whose procedure counts what it receives.
struct CountingWindow {
    static inline int received = 0;
    static LRESULT CALLBACK Proc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
        if (message == WM_APP) ++received;
        return DefWindowProcA(window, message, wParam, lParam);
    }
    HWND window = nullptr;
    CountingWindow() {
        received = 0;
        WNDCLASSA wc = {};
        wc.lpfnWndProc = Proc;
        wc.hInstance = GetModuleHandleA(nullptr);
        wc.lpszClassName = "UiTestCounter";
        RegisterClassA(&wc);
        window = CreateWindowExA(0, "UiTestCounter", "", 0, 0, 0, 0, 0, HWND_MESSAGE, nullptr, wc.hInstance,
                                 nullptr);
    }
    ~CountingWindow() {
        DestroyWindow(window);
        UnregisterClassA("UiTestCounter", GetModuleHandleA(nullptr));
    }
};

bool QuitWaiting() {
    MSG msg;
    return PeekMessageA(&msg, nullptr, WM_QUIT, WM_QUIT, PM_REMOVE) != 0;
}

TEST(PumpPendingMessages, DropsAQuitMessageAndGoesOn) {
    UiSession session;
    ASSERT_TRUE(session.ready());
    CountingWindow counter;
    ASSERT_NE(counter.window, nullptr);
    struct Case {
        const char* name;
        void (*postQuit)();
    } const kCases[] = {
        {"posted quit ahead of the others", [] { PostThreadMessageA(GetCurrentThreadId(), WM_QUIT, 0, 0); }},
        {"quit flag of PostQuitMessage", [] { PostQuitMessage(0); }},
    };
    for (const Case& c : kCases) {
        SCOPED_TRACE(c.name);
        DrainMessages();
        CountingWindow::received = 0;
        c.postQuit();
        PostMessageA(counter.window, WM_APP, 0, 0);
        PostMessageA(counter.window, WM_APP, 0, 0);
        Watchdog watchdog;
        PumpPendingMessages();
        EXPECT_FALSE(watchdog.Fired()) << "the pump waited for a message";
        EXPECT_EQ(CountingWindow::received, 2) << "the messages after the quit were dispatched";
        EXPECT_FALSE(QuitWaiting()) << "the quit message was left in the queue";
    }
}

TEST(PumpPendingMessages, ReturnsAtOnceOnAnEmptyQueue) {
    UiSession session;
    ASSERT_TRUE(session.ready());
    DrainMessages();
    Watchdog watchdog;
    PumpPendingMessages();
    EXPECT_FALSE(watchdog.Fired());
}

TEST(RunFinalMessageLoop, DestroysTheWindowAndEndsOnItsQuitMessage) {
    UiSession session;
    ASSERT_TRUE(session.ready());
    CountingWindow counter;
    PostMessageA(counter.window, WM_APP, 0, 0);
    Watchdog watchdog;
    RunFinalMessageLoop(session.run().ui);
    EXPECT_FALSE(watchdog.Fired()) << "the loop did not end by itself";
    EXPECT_FALSE(IsWindow(session.run().ui.mainWindow));
    EXPECT_EQ(CountingWindow::received, 1) << "messages before the quit are dispatched";
}

TEST(RunFinalMessageLoop, EndsWhenTheWindowWasDestroyedEarly) {
    UiSession session;
    ASSERT_TRUE(session.ready());
    HWND window = session.run().ui.mainWindow;
    // Another process closes the hidden window mid-run; the next pump drops its quit message.
    PostMessageA(window, WM_CLOSE, 0, 0);
    PumpPendingMessages();
    ASSERT_FALSE(IsWindow(window));
    ASSERT_FALSE(QuitWaiting());
    Watchdog watchdog;
    RunFinalMessageLoop(session.run().ui);
    EXPECT_FALSE(watchdog.Fired()) << "the final loop waited for a quit message that never came";
}

TEST(UserInterface, LoadsThemesFromTheSystemFolderAndReleasesEverything) {
    UiSession session(testing_support::SampleMessages(), false);
    ASSERT_TRUE(session.ready());
    UiState& ui = session.run().ui;
    ASSERT_NE(ui.themeLibrary.get(), nullptr) << "Wine ships uxtheme.dll";
    char loaded[MAX_PATH] = {};
    char expected[MAX_PATH] = {};
    GetModuleFileNameA(ui.themeLibrary.get(), loaded, MAX_PATH);
    GetSystemDirectoryA(expected, MAX_PATH);
    EXPECT_EQ(lstrcmpiA(loaded, (std::string(expected) + "\\uxtheme.dll").c_str()), 0) << loaded;
    EXPECT_EQ(reinterpret_cast<void*>(ui.setThemeAppProperties),
              reinterpret_cast<void*>(GetProcAddress(ui.themeLibrary.get(), "SetThemeAppProperties")));
    EXPECT_NE(ui.setThemeAppProperties, nullptr);

    // Visual styles for the frames only; the process's setting is put back afterwards.
    using GetPropertiesFn = DWORD(WINAPI*)();
    auto getProperties = reinterpret_cast<GetPropertiesFn>(
        reinterpret_cast<void*>(GetProcAddress(ui.themeLibrary.get(), "GetThemeAppProperties")));
    ASSERT_NE(getProperties, nullptr);
    DWORD before = getProperties();
    ApplyThemeProperties(session.run().ui);
    EXPECT_EQ(getProperties(), 1u) << "STAP_ALLOW_NONCLIENT alone";
    ui.setThemeAppProperties(before);

    ReleaseUserInterface(session.run().ui);
    EXPECT_EQ(ui.themeLibrary.get(), nullptr);
    EXPECT_EQ(ui.setThemeAppProperties, nullptr);
}

}  // namespace
