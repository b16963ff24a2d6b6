#include "data/load_win.h"

#include "common/file_io.h"
#include "common/text.h"
#include "data/data_offset_win.h"
#include "data/loader.h"

int LoadUninstallData(HINSTANCE instance, char* modulePath, UninstallData& data) {
    uint32_t offset = ReadDataOffsetField();
    if (offset == 0) return kLoadNoBlock;
    // A name that does not fit is cut (and on XP not terminated): it would name another file.
    DWORD n = GetModuleFileNameA(instance, modulePath, kPathBufferSize);
    if (n == 0 || n >= kPathBufferSize) return kLoadNoBlock;
    UniqueFile file(OpenExisting(modulePath, kOpenRead));
    if (!file) return kLoadNoBlock;
    return LoadRecords(file.get(), offset, data);
}
