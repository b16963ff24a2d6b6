#include "removal/font_name.h"

// Every number in a font file is big-endian. Offsets come from the file and are summed in 64 bits:
// a sum that reaches past the end of the file, or past what a seek can reach, is never read.
namespace {

uint16_t BigEndian16(const uint8_t* p) {
    return static_cast<uint16_t>((p[0] << 8) | p[1]);
}

uint32_t BigEndian32(const uint8_t* p) {
    return (static_cast<uint32_t>(p[0]) << 24) | (static_cast<uint32_t>(p[1]) << 16) |
           (static_cast<uint32_t>(p[2]) << 8) | p[3];
}

constexpr uint32_t kOffsetTableSize = 12;
constexpr uint32_t kTableRecordSize = 16;
constexpr uint32_t kNamingHeaderSize = 6;
constexpr uint32_t kNameRecordSize = 12;
constexpr uint16_t kPlatformMacintosh = 1;
constexpr uint16_t kNameIdFullName = 4;
constexpr uint64_t kLargestSeek = 0x7FFFFFFF;  // the file helpers' seeks are signed 32-bit

bool SeekExactly(FileHandle file, uint64_t position) {
    return position <= kLargestSeek && SeekTo(file, static_cast<uint32_t>(position)) == position;
}

// The offset of the naming table, from the table records that follow the offset table; false when
// none of the first records (at most kFontTableRecordLimit) is tagged "name".
bool FindNamingTable(FileHandle file, uint32_t& offset) {
    uint8_t header[kOffsetTableSize];
    if (ReadExact(file, header, sizeof(header)) != 0) return false;
    uint32_t tables = BigEndian16(header + 4);
    if (tables > kFontTableRecordLimit) tables = kFontTableRecordLimit;
    for (uint32_t i = 0; i < tables; ++i) {
        uint8_t record[kTableRecordSize];
        if (ReadExact(file, record, sizeof(record)) != 0) return false;
        if (record[0] == 'n' && record[1] == 'a' && record[2] == 'm' && record[3] == 'e') {
            offset = BigEndian32(record + 8);
            return true;
        }
    }
    return false;
}

// Reads the string of one full-name record into `name`; false (and `name` empty) when it is not
// wholly inside the file, does not fit with " (TrueType)" after it, or holds a NUL (the name would
// be cut: a cut name may be another font's).
bool ReadNameString(FileHandle file, uint64_t position, uint32_t length, uint64_t fileSize, char* name) {
    name[0] = '\0';
    if (length > kFontNameMaxLength || position + length > fileSize || !SeekExactly(file, position))
        return false;
    if (length > 0 && ReadExact(file, name, length) != 0) {
        name[0] = '\0';
        return false;
    }
    for (uint32_t i = 0; i < length; ++i) {
        if (name[i] == '\0') {
            name[0] = '\0';
            return false;
        }
    }
    name[length] = '\0';
    return true;
}

}  // namespace

void ReadFontFullNameFrom(FileHandle file, char* name) {
    name[0] = '\0';
    uint64_t fileSize = 0;
    uint32_t tableOffset = 0;
    if (!GetFileSize64(file, fileSize) || !SeekExactly(file, 0) || !FindNamingTable(file, tableOffset))
        return;
    uint8_t header[kNamingHeaderSize];
    if (!SeekExactly(file, tableOffset) || ReadExact(file, header, sizeof(header)) != 0) return;
    uint32_t records = BigEndian16(header + 2);
    uint64_t storage = static_cast<uint64_t>(tableOffset) + BigEndian16(header + 4);
    uint64_t next = static_cast<uint64_t>(tableOffset) + kNamingHeaderSize;
    for (uint32_t i = 0; i < records; ++i, next += kNameRecordSize) {
        uint8_t record[kNameRecordSize];
        // A record cut short by the end of the file ends the walk: no record can follow it.
        if (!SeekExactly(file, next) || ReadExact(file, record, sizeof(record)) != 0) return;
        if (BigEndian16(record) != kPlatformMacintosh || BigEndian16(record + 6) != kNameIdFullName) continue;
        // The last full-name record decides, whatever its encoding and language: one that cannot
        // be used leaves no name rather than an earlier record's.
        (void)ReadNameString(file, storage + BigEndian16(record + 10), BigEndian16(record + 8), fileSize,
                             name);
    }
}

void ReadFontFullName(const char* path, char* name) {
    name[0] = '\0';
    UniqueFile file(OpenExisting(path, kOpenRead));
    if (!file) return;
    ReadFontFullNameFrom(file.get(), name);
}
