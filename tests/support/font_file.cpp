#include "support/font_file.h"

namespace testing_support {

namespace {

using Bytes = std::vector<uint8_t>;

void PutU16Be(Bytes& out, uint16_t value) {
    out.push_back(static_cast<uint8_t>(value >> 8));
    out.push_back(static_cast<uint8_t>(value));
}

void PutU32Be(Bytes& out, uint32_t value) {
    PutU16Be(out, static_cast<uint16_t>(value >> 16));
    PutU16Be(out, static_cast<uint16_t>(value));
}

// The table check sum: the sum of the table's big-endian 32-bit words, the last one padded with zeros.
uint32_t CheckSum(const Bytes& table) {
    uint32_t sum = 0;
    for (size_t i = 0; i < table.size(); i += 4) {
        uint32_t word = 0;
        for (size_t k = 0; k < 4; ++k) word = word << 8 | (i + k < table.size() ? table[i + k] : 0);
        sum += word;
    }
    return sum;
}

Bytes NameTable(const FontLayout& layout) {
    Bytes storage;
    Bytes records;
    for (const FontNameRecord& name : layout.names) {
        PutU16Be(records, name.platform);
        PutU16Be(records, name.encoding);
        PutU16Be(records, name.language);
        PutU16Be(records, name.nameId);
        PutU16Be(records, name.length.value_or(static_cast<uint16_t>(name.string.size())));
        PutU16Be(records, name.offset.value_or(static_cast<uint16_t>(storage.size())));
        storage.insert(storage.end(), name.string.begin(), name.string.end());
    }
    Bytes table;
    PutU16Be(table, 0);  // format 0
    PutU16Be(table, layout.nameRecordCount.value_or(static_cast<uint16_t>(layout.names.size())));
    PutU16Be(table, layout.storageOffset.value_or(static_cast<uint16_t>(6 + records.size())));
    table.insert(table.end(), records.begin(), records.end());
    table.insert(table.end(), storage.begin(), storage.end());
    return table;
}

struct Table {
    std::string tag;
    Bytes data;
};

std::string FillerTag(size_t index) {
    std::string digits = std::to_string(index % 1000);
    return "t" + std::string(3 - digits.size(), '0') + digits;
}

}  // namespace

FontNameRecord MacName(uint16_t nameId, const std::string& text) {
    FontNameRecord record;
    record.platform = kFontPlatformMacintosh;
    record.nameId = nameId;
    record.string.assign(text.begin(), text.end());
    return record;
}

FontNameRecord WindowsName(uint16_t nameId, const std::string& text) {
    FontNameRecord record;
    record.platform = kFontPlatformWindows;
    record.encoding = 1;       // Unicode BMP
    record.language = 0x0409;  // English (United States)
    record.nameId = nameId;
    for (unsigned char c : text) PutU16Be(record.string, c);  // Latin-1 characters are their code points
    return record;
}

std::vector<uint8_t> WriteFont(const FontLayout& layout) {
    std::vector<Table> tables;
    for (size_t i = 0; i < layout.tablesBeforeName; ++i) tables.push_back({FillerTag(i), Bytes(4, 0)});
    if (layout.withNameTable) tables.push_back({"name", NameTable(layout)});
    for (size_t i = 0; i < layout.tablesAfterName; ++i)
        tables.push_back({FillerTag(layout.tablesBeforeName + i), Bytes(4, 0)});

    const uint16_t count = static_cast<uint16_t>(tables.size());
    uint16_t power = count ? 1 : 0, log = 0;  // the largest power of two not above the count
    while (power && power * 2 <= count) {
        power = static_cast<uint16_t>(power * 2);
        ++log;
    }
    Bytes out;
    PutU32Be(out, layout.openType ? 0x4F54544Fu /* 'OTTO' */ : 0x00010000u);
    PutU16Be(out, layout.tableCount.value_or(count));
    PutU16Be(out, static_cast<uint16_t>(power * 16));               // search range
    PutU16Be(out, log);                                             // entry selector
    PutU16Be(out, static_cast<uint16_t>(count * 16 - power * 16));  // range shift

    uint32_t offset = static_cast<uint32_t>(12 + 16 * tables.size());
    for (const Table& table : tables) {
        out.insert(out.end(), table.tag.begin(), table.tag.end());
        PutU32Be(out, CheckSum(table.data));
        bool isName = table.tag == "name";
        PutU32Be(out, isName && layout.nameTableOffset ? *layout.nameTableOffset : offset);
        PutU32Be(out, static_cast<uint32_t>(table.data.size()));
        offset += static_cast<uint32_t>((table.data.size() + 3) & ~size_t{3});
    }
    for (const Table& table : tables) {
        out.insert(out.end(), table.data.begin(), table.data.end());
        out.resize((out.size() + 3) & ~size_t{3}, 0);  // tables start on 4-byte boundaries
    }
    if (layout.cutAt && *layout.cutAt < out.size()) out.resize(*layout.cutAt);
    return out;
}

std::vector<uint8_t> SimpleFont(const std::string& fullName, bool openType) {
    FontLayout layout;
    layout.openType = openType;
    layout.names = {MacName(1, "Uninst Test"), MacName(kFontNameFull, fullName),
                    WindowsName(1, "Uninst Test"), WindowsName(kFontNameFull, fullName)};
    return WriteFont(layout);
}

}  // namespace testing_support
