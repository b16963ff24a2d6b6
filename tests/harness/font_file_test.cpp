// The font writer against the layout a full-name reader walks (offset table, at most 40 table
// records, the naming table's header and records, all big-endian): the names it writes are where
// the records say, and each hostile option breaks exactly what it names.
#include "support/font_file.h"

#include <gtest/gtest.h>
#include <optional>
#include <string>
#include <vector>

using namespace testing_support;

namespace {

using Bytes = std::vector<uint8_t>;

std::optional<uint32_t> Be(const Bytes& bytes, uint64_t at, int size) {
    if (at + size > bytes.size()) return std::nullopt;
    uint32_t value = 0;
    for (int i = 0; i < size; ++i) value = value << 8 | bytes[at + i];
    return value;
}

struct Found {
    std::string name;           // the last Macintosh full name, as stored
    std::string failure;        // why the walk stopped, when it did
    uint16_t windowsNames = 0;  // Windows full-name records seen
};

// The walk of the file-pass font code, bounds checked, as its reference.
Found Walk(const Bytes& font) {
    Found found;
    if (font.size() < 12) return {"", "short offset table", 0};
    auto count = Be(font, 4, 2);
    if (!count || *count == 0) return {"", "no tables", 0};
    std::optional<uint32_t> nameTable;
    for (uint32_t i = 0; i < *count && i < 40; ++i) {
        auto tag = Be(font, 12 + 16 * i, 4);
        if (!tag) return {"", "short table record", 0};
        if (*tag == 0x6E616D65u /* 'name' */) {
            nameTable = Be(font, 12 + 16 * i + 8, 4);
            break;
        }
    }
    if (!nameTable) return {"", "no naming table among the first 40", 0};
    auto records = Be(font, *nameTable + 2, 2);
    auto storage = Be(font, *nameTable + 4, 2);
    if (!records || !storage) return {"", "naming table outside the file", 0};
    for (uint32_t i = 0; i < *records; ++i) {
        uint64_t at = *nameTable + 6ull + 12ull * i;
        auto platform = Be(font, at, 2), nameId = Be(font, at + 6, 2);
        auto length = Be(font, at + 8, 2), offset = Be(font, at + 10, 2);
        if (!platform || !nameId || !length || !offset)
            return {found.name, "short name record", found.windowsNames};
        if (*nameId != kFontNameFull) continue;
        if (*platform == kFontPlatformWindows) ++found.windowsNames;
        if (*platform != kFontPlatformMacintosh) continue;
        uint64_t text = uint64_t{*nameTable} + *storage + *offset;
        if (text + *length > font.size()) return {found.name, "string outside the file", found.windowsNames};
        found.name.assign(font.begin() + text, font.begin() + text + *length);
    }
    return found;
}

TEST(FontFile, WellFormedFontsCarryTheirFullNames) {
    for (bool openType : {false, true}) {
        Bytes font = SimpleFont("Uninst Sans Bold", openType);
        EXPECT_EQ(Be(font, 0, 4), openType ? 0x4F54544Fu : 0x00010000u);
        Found found = Walk(font);
        EXPECT_EQ(found.failure, "");
        EXPECT_EQ(found.name, "Uninst Sans Bold");
        EXPECT_EQ(found.windowsNames, 1u);
    }
    // The Windows record holds UTF-16BE: "Ab" is 00 41 00 62.
    FontNameRecord windows = WindowsName(kFontNameFull, "Ab");
    EXPECT_EQ(windows.string, (Bytes{0, 'A', 0, 'b'}));
    EXPECT_EQ(windows.platform, kFontPlatformWindows);
}

TEST(FontFile, HostileOptionsBreakWhatTheyName) {
    auto layout = [](std::vector<FontNameRecord> names) {
        FontLayout s;
        s.names = std::move(names);
        return s;
    };
    FontLayout lastWins = layout({MacName(4, "First"), MacName(1, "Family"), MacName(4, "Last")});
    FontLayout windowsOnly = layout({WindowsName(4, "Only Windows")});
    FontLayout past40 = layout({MacName(4, "Hidden")});
    past40.tablesBeforeName = 40;
    FontLayout at40 = layout({MacName(4, "Fortieth")});
    at40.tablesBeforeName = 39;
    at40.tablesAfterName = 5;
    FontLayout longLength = layout({MacName(4, "Short")});
    longLength.names[0].length = 5000;
    FontLayout farOffset = layout({MacName(4, "Far")});
    farOffset.names[0].offset = 0xFFF0;
    FontLayout tableOutside = layout({MacName(4, "Outside")});
    tableOutside.nameTableOffset = 0x7FFFFFF0u;
    FontLayout storageOutside = layout({MacName(4, "Storage")});
    storageOutside.storageOffset = 0xFFFF;
    FontLayout noTables = layout({});
    noTables.withNameTable = false;
    FontLayout cut = layout({MacName(4, "Cut")});
    cut.cutAt = 10;
    FontLayout moreRecords = layout({MacName(4, "Counted")});
    moreRecords.nameRecordCount = 9;
    FontLayout lyingCount = layout({MacName(4, "Lying")});
    lyingCount.tableCount = 0;

    struct Case {
        const char* name;
        const FontLayout& layout;
        std::string found, failure;
    } cases[] = {
        {"the last Macintosh full name wins", lastWins, "Last", ""},
        {"Windows records only", windowsOnly, "", ""},
        {"the naming table as the 41st record", past40, "", "no naming table among the first 40"},
        {"the naming table as the 40th record, more after it", at40, "Fortieth", ""},
        {"a length past the end", longLength, "", "string outside the file"},
        {"an offset past the end", farOffset, "", "string outside the file"},
        {"a table offset past the end", tableOutside, "", "naming table outside the file"},
        {"a storage offset past the end", storageOutside, "", "string outside the file"},
        {"no tables", noTables, "", "no tables"},
        {"a file shorter than its offset table", cut, "", "short offset table"},
        {"more records counted than written", moreRecords, "Counted", "short name record"},
        {"a table count of 0", lyingCount, "", "no tables"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        Found found = Walk(WriteFont(c.layout));
        EXPECT_EQ(found.name, c.found);
        EXPECT_EQ(found.failure, c.failure);
    }
    EXPECT_EQ(Be(WriteFont(past40), 4, 2), 41u);
}

}  // namespace
