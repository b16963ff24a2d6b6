#include "data/load_win.h"

#include "common/text.h"
#include "data/data_offset_win.h"
#include "data/file_io.h"
#include "data/loader.h"
#include "data/memory.h"
#include "data/messages.h"

bool LoadUninstallData(RunState& run) {
    uint32_t offset = ReadDataOffsetField();
    if (offset == 0) return false;
    // A name that does not fit is cut (and on XP not terminated): it would name another file.
    DWORD n = GetModuleFileNameA(run.instance, run.modulePath, kPathBufferSize);
    if (n == 0 || n >= kPathBufferSize) return false;
    FileHandle file = OpenExisting(run.modulePath, kOpenRead);
    if (file == kInvalidFile) return false;
    int error = LoadRecords(file, offset, run.data);
    CloseFile(file);
    if (error == format::kLoadOk) return true;

    char* text = nullptr;
    if (!AllocZeroed(kMessageBufferSize, text)) return false;
    FormatMessageText(run.data, text, error, run.modulePath);
    ShowMessage(run, text, MB_OK | MB_ICONINFORMATION);
    FreeBlock(text);
    return false;
}

int ShowMessage(const RunState& run, const char* text, UINT type) {
    const char* caption = GetMessageText(run.data, 0, format::kMsgCaption);
    int answer = MessageBoxA(run.ui.mainWindow, text, caption, type);
    return answer < 0 ? 0 : answer;
}
