#include "data/uninstall_data.h"

#include "common/memory.h"
#include "format/layout.h"

namespace {

template <class Entry>
void FreeList(EntryList<Entry>& list) {
    for (uint32_t i = 0; i < list.blockCount; ++i) FreeBlock(list.blocks[i]);
    FreeBlock(list.blocks);
    list.blockCount = 0;
    FreeBlock(list.items);
    list.count = 0;
}

uint32_t SettingsField(const UninstallData& data, uint32_t at) {
    if (!data.settings || data.settingsSize < at + 4) return 0;
    return format::ReadU32(data.settings + at);
}

// The loader has checked that a non-zero offset lies inside the body and its text ends there.
const char* SettingsText(const UninstallData& data, uint32_t at) {
    uint32_t offset = SettingsField(data, at);
    if (offset == 0 || offset >= data.settingsSize) return nullptr;
    return reinterpret_cast<const char*>(data.settings + offset);
}

}  // namespace

void FreeUninstallData(UninstallData& data) {
    FreeBlock(data.patterns);
    data.patternSize = 0;
    FreeList(data.registry);
    FreeList(data.shortcuts);
    FreeList(data.files);
    FreeBlock(data.settings);
    data.settingsSize = 0;
    if (data.messages) {
        for (uint32_t i = 0; i < data.messageCount; ++i) FreeBlock(data.messages[i]);
        FreeBlock(data.messages);
    }
    data.messageCount = 0;
}

UninstallData::~UninstallData() {
    FreeUninstallData(*this);
}

uint32_t SettingsFlags(const UninstallData& data) {
    return SettingsField(data, 0);
}
const char* SettingsCommand(const UninstallData& data) {
    return SettingsText(data, 4);
}
const char* SettingsDocument(const UninstallData& data) {
    return SettingsText(data, 8);
}
