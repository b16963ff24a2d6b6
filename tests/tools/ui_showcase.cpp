// Shows one of the uninstaller's windows with sample texts, for screenshots (scripts/screenshots.sh):
//   ui_showcase confirm|progress|question READY-FILE DONE-FILE [UNINSTALLER]
// With UNINSTALLER (one built by uninstpack), the texts are the messages of its block, read with the
// uninstaller's loader at the offset its data-offset field holds.
// Once the window is up and painted it creates READY-FILE, then waits (at most a minute) for
// DONE-FILE to appear, answers the window as a user would and ends. Exit code 0 on success.
#include <windows.h>

#include <cstdint>
#include <cstring>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "data/messages.h"
#include "format/stub_image.h"
#include "support/block_file.h"
#include "support/ui_robot.h"
#include "support/ui_session.h"
#include "ui/ui.h"

using namespace testing_support;

namespace {

bool FileExists(const char* path) {
    return GetFileAttributesA(path) != INVALID_FILE_ATTRIBUTES;
}

bool Painted(HWND window) {
    if (GetUpdateRect(window, nullptr, FALSE)) return false;
    for (HWND child = GetWindow(window, GW_CHILD); child; child = GetWindow(child, GW_HWNDNEXT)) {
        if (GetUpdateRect(child, nullptr, FALSE)) return false;
    }
    return true;
}

// Waits for the window, tells the script it may take the picture, and answers once it has.
bool Pose(const DialogQuery& query, const char* ready, const char* done, int answer) {
    HWND window = WaitForDialog(query);
    if (!window || !WaitFor([&] { return Painted(window); })) return false;
    Sleep(300);  // let the window manager side settle before the picture
    HANDLE file =
        CreateFileA(ready, GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE) return false;
    CloseHandle(file);
    bool taken = WaitFor([&] { return FileExists(done); }, 60000);
    if (answer != 0) ClickButton(window, answer);
    return taken;
}

// The sixteen messages of an uninstaller's block; false when the file has no block that loads.
bool MessagesOf(const char* uninstaller, std::vector<std::string>& messages) {
    std::ifstream in(uninstaller, std::ios::binary);
    format::Bytes image((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    auto location = format::LocateDataOffsetField(image);
    if (!location || location->field + 4 > image.size()) return false;
    uint32_t offset = 0;
    memcpy(&offset, image.data() + location->field, 4);
    if (offset >= image.size()) return false;
    LoadedBlock loaded(format::Bytes(image.begin() + offset, image.end()));
    if (loaded.outcome.code != 0) return false;
    messages.clear();
    for (int i = 0; i < format::kMessageCount; ++i) messages.push_back(GetMessageText(loaded.data, 0, i));
    return true;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc != 4 && argc != 5) return 2;
    const char* mode = argv[1];
    const char* ready = argv[2];
    const char* done = argv[3];
    std::vector<std::string> messages = SampleMessages();
    if (argc == 5 && !MessagesOf(argv[4], messages)) return 5;
    UiSession session(messages);
    if (!session.ready()) return 3;
    RunState& run = session.run();
    const char* caption = session.Message(format::kMsgCaption);

    if (strcmp(mode, "confirm") == 0) {
        RobotThread robot([&] { return Pose({caption, IDCANCEL, nullptr}, ready, done, IDCANCEL); });
        int answer =
            ShowMessage(run.ui, session.Message(format::kMsgConfirm), MB_OKCANCEL | MB_ICONINFORMATION);
        WaitFor([&] { return robot.Finished(); });
        return robot.Succeeded() && answer == IDCANCEL ? 0 : 1;
    }

    // The progress dialog mid-run, with the bar at 40 percent; the question comes over it.
    if (!CreateProgressDialog(run.ui)) return 4;
    SetDlgItemTextA(run.ui.progressDialog, kDialogTextId, session.Message(format::kMsgProgressFiles));
    SetProgress(40);
    if (strcmp(mode, "progress") == 0) {
        RobotThread robot([&] { return Pose({caption, kProgressBarId, nullptr}, ready, done, 0); });
        robot.JoinPumping(PumpPendingMessages, 70000);
        return robot.Succeeded() ? 0 : 1;
    }
    if (strcmp(mode, "question") == 0) {
        char text[kMessageBufferSize] = {};
        FormatMessageText(run.data, text, format::kMsgReadOnlyQuestion,
                          "C:\\Program Files\\Example\\readme.txt");
        RobotThread robot([&] { return Pose({caption, kYesToAllId, nullptr}, ready, done, IDNO); });
        INT_PTR answer = ShowQuestionDialog(run.ui, text);
        WaitFor([&] { return robot.Finished(); });
        return robot.Succeeded() && answer == IDNO ? 0 : 1;
    }
    return 2;
}
