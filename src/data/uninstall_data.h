// What the loader leaves for the passes: the lists, the pattern list, the settings block and the
// message table. Owned by the run state from loading until FreeUninstallData.
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
    char** messages;  // the message table: messageCount texts and a null
    uint32_t messageCount;
    EntryList<FileEntry> files;
    EntryList<ShortcutEntry> shortcuts;
    EntryList<RegistryEntry> registry;
    char* patterns;  // NUL-terminated patterns ended by an empty one, always inside the block
    uint32_t patternSize;
    uint8_t* settings;  // the settings body, checked when it was loaded; null when the block had none
    uint32_t settingsSize;
};

// Frees, in this order, the pattern list, the registry, shortcut and file lists, the settings block
// and the message table, clearing every pointer.
void FreeUninstallData(UninstallData& data);

// Settings, with the defaults of a block that has no settings record: flags 0, no texts.
uint32_t SettingsFlags(const UninstallData& data);
const char* SettingsCommand(const UninstallData& data);   // null when there is none
const char* SettingsDocument(const UninstallData& data);  // null when there is none
