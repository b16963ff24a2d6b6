#include "support/ui_session.h"

#ifdef _WIN32
#include "data/messages.h"
#include "format/block_writer.h"
#include "support/ui_robot.h"
#include "ui/ui.h"

namespace testing_support {

std::vector<std::string> SampleMessages() {
    return {"Example Uninstall",
            "Remove Example and all of its components?",
            "Example was removed.",
            "&Yes",
            "Yes to &All",
            "&No",
            "No to A&ll",
            "There is not enough memory to read %s.",
            "The uninstall data in %s is damaged.",
            "%s is write-protected. Remove it anyway?",
            "%s may be used by other programs. Remove it?",
            "Removing files & folders...",
            "Removing shortcuts...",
            "Removing program folders...",
            "Removing registry entries...",
            "Some files are still in use. Close Example and choose Retry."};
}

UiSession::UiSession(const std::vector<std::string>& messages, bool withMainWindow) {
    format::Block block;
    block.messages = messages;
    if (!test_.Load(format::EncodeBlock(block))) return;
    RunState& run = test_.run;
    InitUserInterface(run.ui, run.instance, run.data);
    if (withMainWindow && (!RegisterMainWindowClass(run.ui) || !CreateMainWindow(run.ui))) return;
    ready_ = true;
}

UiSession::~UiSession() {
    RunState& run = test_.run;
    if (run.ui.progressDialog && IsWindow(run.ui.progressDialog)) DestroyWindow(run.ui.progressDialog);
    if (run.ui.mainWindow && IsWindow(run.ui.mainWindow)) DestroyWindow(run.ui.mainWindow);
    UnregisterClassA("UninstItClass", run.instance);
    ReleaseUserInterface(run.ui);
    FreeUninstallData(run.data);
    DrainMessages();
}

const char* UiSession::Message(int number) const {
    return GetMessageText(test_.run.data, 0, number);
}

}  // namespace testing_support
#endif
