// Writes small TrueType/OpenType font files for the font tests, as the block writer does for data
// blocks: an offset table, table records and a 'name' table whose records the test chooses, every
// number big-endian. Enough for a reader of the full font name; the glyph tables a renderer needs
// are not written. Options make the hostile files a reader must survive. Portable.
//
// Usage:
//   Bytes font = testing_support::SimpleFont("Uninst Sans");  // Macintosh and Windows full names
//   testing_support::FontLayout layout;
//   layout.names = {MacName(4, "First"), MacName(4, "Last"), WindowsName(4, "Other")};
//   layout.tablesBeforeName = 40;            // the 'name' record is the 41st
//   layout.names[0].length = 5000;           // a record that lies about its string
//   layout.nameTableOffset = 0x7FFFFFF0;     // a table record pointing outside the file
//   Bytes hostile = testing_support::WriteFont(layout);
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace testing_support {

inline constexpr uint16_t kFontPlatformUnicode = 0;
inline constexpr uint16_t kFontPlatformMacintosh = 1;
inline constexpr uint16_t kFontPlatformWindows = 3;
inline constexpr uint16_t kFontNameFull = 4;  // the full font name, nameID 4

struct FontNameRecord {
    uint16_t platform = kFontPlatformMacintosh;
    uint16_t encoding = 0;
    uint16_t language = 0;
    uint16_t nameId = kFontNameFull;
    std::vector<uint8_t> string;  // the stored bytes, as they are
    // What the record claims, when it should not be the truth: string length and offset (from the
    // start of string storage).
    std::optional<uint16_t> length;
    std::optional<uint16_t> offset;
};

// A Macintosh record (Roman, English): the text's bytes as they stand.
FontNameRecord MacName(uint16_t nameId, const std::string& text);
// A Windows record (Unicode BMP, US English): the text's bytes as UTF-16BE code units.
FontNameRecord WindowsName(uint16_t nameId, const std::string& text);

struct FontLayout {
    bool openType = false;  // 'OTTO' (CFF outlines) instead of version 1.0 (TrueType outlines)
    std::vector<FontNameRecord> names;
    bool withNameTable = true;
    size_t tablesBeforeName = 0;  // other table records ("t000", ...) before the 'name' record
    size_t tablesAfterName = 0;
    // Lies of the headers: the offset table's table count, the 'name' record's table offset, the
    // naming table's record count and string storage offset.
    std::optional<uint16_t> tableCount;
    std::optional<uint32_t> nameTableOffset;
    std::optional<uint16_t> nameRecordCount;
    std::optional<uint16_t> storageOffset;
    std::optional<size_t> cutAt;  // the file ends after this many bytes
};

std::vector<uint8_t> WriteFont(const FontLayout& layout);
// A well-formed font whose Macintosh and Windows full names are `fullName`.
std::vector<uint8_t> SimpleFont(const std::string& fullName, bool openType = false);

}  // namespace testing_support
