#include "data/load_win.h"

#include "common/text.h"
#include "data/data_offset_win.h"
#include "data/file_io.h"
#include "data/loader.h"
#include "data/memory.h"
#include "data/messages.h"
#include "ui/ui.h"

bool LoadUninstallData(RunState& run) {
    uint32_t offset = ReadDataOffsetField();
    if (offset == 0) return false;
    // A name that does not fit is cut (and on XP not terminated): it would name another file.
    DWORD n = GetModuleFileNameA(run.instance, run.modulePath, kPathBufferSize);
    if (n == 0 || n >= kPathBufferSize) return false;
    int error = format::kLoadOk;
    {
        UniqueFile file(OpenExisting(run.modulePath, kOpenRead));
        if (!file) return false;
        error = LoadRecords(file.get(), offset, run.data);
    }
    if (error == format::kLoadOk) return true;

    UniqueBlock<char> text;
    if (!AllocZeroed(kMessageBufferSize, text)) return false;
    FormatMessageText(run.data, text.get(), error, run.modulePath);
    ShowMessage(run, text.get(), MB_OK | MB_ICONINFORMATION);
    return false;
}
