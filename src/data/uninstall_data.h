// What the loader leaves for the passes: the lists, the pattern list, the settings block and the
// message table. An UninstallData owns every block it points at and frees them when it goes.
#pragma once

#include <stdint.h>

// Entries point at their NUL-terminated texts, which stay inside the record body they were read from
// (the loader terminates them in place). The passes may change texts in place but never free them.
struct FileEntry {
    char* folder;
    char* fileName;  // empty for a folder entry
    uint8_t flags;
};

struct ShortcutEntry {
    uint32_t levelCount;
    char* folder;
    char* secondFolder;
    char* fileName;
};

struct RegistryEntry {
    uint32_t rootKey;  // a predefined root's handle value
    char* keyPath;
};

template <class Entry>
struct EntryList {
    Entry** items;  // null while no record filled the list
    uint32_t count;
    void** blocks;  // what the entries live in: each record's body and entry array
    uint32_t blockCount;
};

struct UninstallData {
    char** messages = nullptr;  // the message table: messageCount texts and a null
    uint32_t messageCount = 0;
    EntryList<FileEntry> files = {};
    EntryList<ShortcutEntry> shortcuts = {};
    EntryList<RegistryEntry> registry = {};
    char* patterns = nullptr;  // NUL-terminated patterns ended by an empty one, always inside the block
    uint32_t patternSize = 0;
    uint8_t* settings =
        nullptr;  // the settings body, checked when it was loaded; null when the block had none
    uint32_t settingsSize = 0;

    UninstallData() = default;
    ~UninstallData();
    // A copy would free every block twice.
    UninstallData(const UninstallData&) = delete;
    UninstallData& operator=(const UninstallData&) = delete;
};

// Frees, in this order, the pattern list, the registry, shortcut and file lists, the settings block
// and the message table, clearing every pointer: the data is empty again (and may be loaded again).
void FreeUninstallData(UninstallData& data);

// Settings, with the defaults of a block that has no settings record: flags 0, no texts.
uint32_t SettingsFlags(const UninstallData& data);
const char* SettingsCommand(const UninstallData& data);   // null when there is none
const char* SettingsDocument(const UninstallData& data);  // null when there is none
