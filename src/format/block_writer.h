// Writes uninstall data blocks: the packer builds uninstallers with it, and the tests build their
// fixtures with it. Every field is written byte by byte in little-endian order.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "format/layout.h"

namespace format {

using Bytes = std::vector<uint8_t>;

struct FileSpec {
    std::string folder;
    std::string name;  // empty for a folder entry
    uint8_t flags = 0;
};

struct ShortcutSpec {
    uint8_t levels = 0;
    std::string folder;
    std::string secondFolder;
    std::string name;
};

struct RegistrySpec {
    uint32_t root = 0;
    std::string keyPath;  // a value is named after a doubled last backslash
};

struct SettingsSpec {
    uint32_t flags = 0;
    std::optional<std::string> command;
    std::optional<std::string> document;
};

// One installation's block, in the order the records are written.
struct Block {
    std::vector<std::string> messages;  // message table, by number
    std::vector<FileSpec> files;
    std::vector<ShortcutSpec> shortcuts;
    std::vector<RegistrySpec> registry;
    std::vector<std::string> patterns;
    std::optional<SettingsSpec> settings;
};

void PutU16(Bytes& out, uint16_t value);
void PutU32(Bytes& out, uint32_t value);
void PutU32At(Bytes& out, size_t at, uint32_t value);  // overwrites 4 bytes that are there
void PutText(Bytes& out, const std::string& text);     // u16 count and bytes; the caller checks the count

// A record: its 8-byte header and body.
Bytes EncodeRecord(uint16_t tag, const Bytes& body, uint8_t flags = 0);
Bytes EncodeStringTable(const std::vector<std::string>& texts);
// A file-list record; `tag` kView64FileListRecord for entries of the 64-bit view (kFileView64).
Bytes EncodeFileList(const std::vector<FileSpec>& files, uint16_t tag = kFileListRecord);
Bytes EncodeShortcutList(const std::vector<ShortcutSpec>& shortcuts);
Bytes EncodeRegistryList(const std::vector<RegistrySpec>& entries);
Bytes EncodePatterns(const std::vector<std::string>& patterns);
Bytes EncodeSettings(const SettingsSpec& settings);
Bytes EncodeEnd();

// Explains why a block cannot be encoded (a text longer than 65,535 bytes, an entry whose texts do
// not fit the room the uninstaller gives them, a pattern with a NUL); empty when it can.
std::string ValidateBlock(const Block& block);

// The whole block: string table, file, shortcut, registry, pattern and settings records (each only
// when it has content; the files in one record per run of entries of one registry view), then the end
// record.
Bytes EncodeBlock(const Block& block);

// The file offset of the data-offset field of an executable image, where the program reads it (see
// stub_image.h), or nothing when the image has no such field.
std::optional<size_t> FindDataOffsetField(const Bytes& image);

// Appends `block` to a copy of the stub and points its data-offset field at it; a PE checksum the
// stub carries is computed again for the result. Refuses a stub whose marker is not intact, a signed
// stub, and one that already carries a block (its field does not hold its own size, or bytes follow
// its image): appending to an uninstaller would leave its first block in front.
std::optional<Bytes> AttachBlock(const Bytes& stub, const Bytes& block, std::string* error);

}  // namespace format
