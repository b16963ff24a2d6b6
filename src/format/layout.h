// The uninstall data block's byte layout: one definition shared by the uninstaller, which reads it,
// and the packer, which writes it. All numbers in the block are little-endian.
#pragma once

#include <stdint.h>

namespace format {

// The data-offset marker, directly followed by the 32-bit offset of the first record header.
inline constexpr unsigned char kDataOffsetMarker[6] = {0x77, 0x77, 0x67, 0x54, 0x29, 0x48};
inline constexpr uint32_t kDataOffsetMarkerSize = 6;
inline constexpr uint32_t kDataOffsetFieldSize = 4;
// The PE section that holds the marker and the field and nothing else (data_offset_win.cpp places
// them there), as its 8-byte name in the section table.
inline constexpr char kDataOffsetSectionName[8] = {'.', 'u', 'n', 'i', 'n', 's', 't', '\0'};
// Blocks must begin in the first 2 GiB: positions are 32-bit and the platform's seek is signed.
inline constexpr uint32_t kMaxFilePosition = 0x7FFFFFFF;

inline constexpr uint32_t kRecordHeaderSize = 8;  // u16 tag, u8 flags, u8 reserved, u32 body length
inline constexpr uint8_t kRecordFlagRefuseBody = 0x01;

enum RecordTag : uint16_t {
    kStringTablesRecord = 0x1234,
    kFileListRecord = 0x1235,
    kShortcutListRecord = 0x1236,
    kRegistryListRecord = 0x1237,
    kSkippedRecord = 0x1238,
    kCleanupPatternsRecord = 0x1239,
    kSettingsRecord = 0x123A,
    // A FileListRecord whose entries keep their shared count in the 64-bit registry view
    // (kFileView64). Its own tag, because uninstallers that do not know the view skip records of
    // tags they do not know: they leave such a file alone rather than count down its 32-bit
    // namesake and delete it.
    kView64FileListRecord = 0x123B,
    kEndRecord = 0x7F7F,
};

// FileEntry flags.
enum FileFlag : uint8_t {
    kFileShared = 0x01,
    kFileFont = 0x02,
    kFileSelfRegister = 0x04,
    kFileMustBeFree = 0x08,
    // The shared count is kept in the 64-bit view of the registry (with kFileShared): used on 64-bit
    // Windows, and the entry is left alone on 32-bit Windows. Stored in kView64FileListRecord only.
    kFileView64 = 0x10,
};

// The predefined roots as the data block stores them (the handle values of the HKEY_* keys).
inline constexpr uint32_t kRootClassesRoot = 0x80000000u;
inline constexpr uint32_t kRootCurrentUser = 0x80000001u;
inline constexpr uint32_t kRootLocalMachine = 0x80000002u;
inline constexpr uint32_t kRootUsers = 0x80000003u;
inline constexpr uint32_t kRootPerformanceData = 0x80000004u;
inline constexpr uint32_t kRootCurrentConfig = 0x80000005u;
inline constexpr uint32_t kRootDynData = 0x80000006u;  // Windows 9x only
// Added to a stored root: the entry names its key in the 64-bit view of the registry, opened with
// KEY_WOW64_64KEY on 64-bit Windows and left alone on 32-bit Windows. A root with it is no
// predefined root's value, so an uninstaller that does not know the view skips the entry (its
// registry pass acts under predefined roots only) instead of deleting the 32-bit namesake.
inline constexpr uint32_t kRootView64 = 0x00000100u;

// SettingsBlock flags and layout.
enum SettingsFlag : uint32_t {
    kSettingsWaitForRun = 0x01,
    kSettingsThemedControls = 0x02,
};
inline constexpr uint32_t kSettingsHeaderSize = 12;  // u32 flags, u32 command offset, u32 document offset

// Smallest encoding of one list entry: its fixed fields and empty texts.
inline constexpr uint32_t kMinFileEntrySize = 2 + 2 + 1;          // folder, file name, flags
inline constexpr uint32_t kMinShortcutEntrySize = 1 + 2 + 2 + 2;  // level, folder, second folder, file name
inline constexpr uint32_t kMinRegistryEntrySize = 4 + 2;          // root key, key path

// Room for one entry's texts with their terminators; an entry whose texts need more is malformed.
inline constexpr uint32_t kFileEntryTextLimit = 520;
inline constexpr uint32_t kShortcutEntryTextLimit = 780;
inline constexpr uint32_t kRegistryEntryTextLimit = 520;

// Little-endian fields of the block, read from bytes the caller has checked are there.
inline uint16_t ReadU16(const uint8_t* p) {
    return static_cast<uint16_t>(p[0] | (p[1] << 8));
}
inline uint32_t ReadU32(const uint8_t* p) {
    return static_cast<uint32_t>(p[0]) | (static_cast<uint32_t>(p[1]) << 8) |
           (static_cast<uint32_t>(p[2]) << 16) | (static_cast<uint32_t>(p[3]) << 24);
}

// Load error codes; each is also the number of the message shown for it.
enum LoadError : int {
    kLoadOk = 0,
    kLoadErrorBody = 1,
    kLoadErrorBodyMemory = 5,
    kLoadErrorMemory = 7,
    kLoadErrorHeader = 8,
};

// Message numbers of the message table.
enum MessageNumber : int {
    kMsgCaption = 0,
    kMsgConfirm = 1,
    kMsgFinished = 2,
    kMsgYes = 3,
    kMsgYesToAll = 4,
    kMsgNo = 5,
    kMsgNoToAll = 6,
    kMsgNoMemory = 7,
    kMsgBadHeader = 8,
    kMsgReadOnlyQuestion = 9,
    kMsgSharedFileQuestion = 10,
    kMsgProgressFiles = 11,
    kMsgProgressShortcuts = 12,
    kMsgProgressFolders = 13,
    kMsgProgressRegistry = 14,
    kMsgFileInUse = 15,
    kMessageCount = 16,
};

}  // namespace format
