#include "support/ui_session.h"

#ifdef _WIN32
#include "data/messages.h"
#include "format/block_writer.h"
#include "support/block_file.h"
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
    if (LoadBytes(format::EncodeBlock(block), run_.data).code != format::kLoadOk) return;
    run_.instance = GetModuleHandleA(nullptr);
    InitUserInterface(run_);
    if (withMainWindow && (!RegisterMainWindowClass(run_) || !CreateMainWindow(run_))) return;
    ready_ = true;
}

UiSession::~UiSession() {
    if (run_.ui.progressDialog && IsWindow(run_.ui.progressDialog)) DestroyWindow(run_.ui.progressDialog);
    if (run_.ui.mainWindow && IsWindow(run_.ui.mainWindow)) DestroyWindow(run_.ui.mainWindow);
    UnregisterClassA("UninstItClass", run_.instance);
    ReleaseUserInterface(run_);
    FreeUninstallData(run_.data);
    DrainMessages();
}

const char* UiSession::Message(int number) const {
    return GetMessageText(run_.data, 0, number);
}

}  // namespace testing_support
#endif
