// The font-name reader on font files written here: which record names the font, and the hostile
// headers, offsets and lengths that must give no name rather than a wrong one or a read outside
// the buffers. Portable: runs on the host (also under the sanitizers) and under Wine.
#include <gtest/gtest.h>

#include <cstdint>
#include <cstdio>
#include <optional>
#include <string>
#include <vector>

#include "removal/font_name.h"

namespace {

using Bytes = std::vector<uint8_t>;

// A minimal font: offset table, table records, a naming table. Every number big-endian.
struct NameRecord {
    uint16_t platform = 1;  // Macintosh
    uint16_t nameId = 4;    // the full name
    std::string text;
    std::optional<uint16_t> length;  // what the record claims, when it lies
    std::optional<uint16_t> offset;
};

NameRecord Mac(const std::string& text) { return {1, 4, text, {}, {}}; }
NameRecord Windows(const std::string& text) {
    std::string utf16;
    for (char c : text) utf16 += std::string(1, '\0') + c;
    return {3, 4, utf16, {}, {}};
}

struct FontSpec {
    bool openType = false;
    std::vector<NameRecord> names;
    bool withNameTable = true;
    size_t tablesBefore = 0;
    std::optional<uint16_t> tableCount;
    std::optional<uint32_t> nameTableOffset;
    std::optional<uint16_t> recordCount;
    std::optional<uint16_t> storageOffset;
    std::optional<size_t> cutAt;
};

void Put16(Bytes& out, uint32_t v) {
    out.push_back(static_cast<uint8_t>(v >> 8));
    out.push_back(static_cast<uint8_t>(v));
}
void Put32(Bytes& out, uint32_t v) {
    Put16(out, v >> 16);
    Put16(out, v & 0xFFFF);
}

Bytes WriteFont(const FontSpec& spec) {
    size_t tables = spec.tablesBefore + (spec.withNameTable ? 1 : 0);
    Bytes out;
    Put32(out, spec.openType ? 0x4F54544Fu : 0x00010000u);
    Put16(out, spec.tableCount.value_or(static_cast<uint16_t>(tables)));
    Put16(out, 0);
    Put16(out, 0);
    Put16(out, 0);
    uint32_t nameOffset = static_cast<uint32_t>(12 + 16 * tables);
    for (size_t i = 0; i < spec.tablesBefore; ++i) {
        out.push_back('t');
        out.push_back(static_cast<uint8_t>('0' + i / 100 % 10));
        out.push_back(static_cast<uint8_t>('0' + i / 10 % 10));
        out.push_back(static_cast<uint8_t>('0' + i % 10));
        Put32(out, 0);
        Put32(out, 0);
        Put32(out, 0);
    }
    if (!spec.withNameTable) return out;
    out.insert(out.end(), {'n', 'a', 'm', 'e'});
    Put32(out, 0);
    Put32(out, spec.nameTableOffset.value_or(nameOffset));
    Put32(out, 0);
    Put16(out, 0);
    Put16(out, spec.recordCount.value_or(static_cast<uint16_t>(spec.names.size())));
    Put16(out, spec.storageOffset.value_or(static_cast<uint16_t>(6 + 12 * spec.names.size())));
    std::string storage;
    for (const NameRecord& r : spec.names) {
        Put16(out, r.platform);
        Put16(out, 0);
        Put16(out, 0);
        Put16(out, r.nameId);
        Put16(out, r.length.value_or(static_cast<uint16_t>(r.text.size())));
        Put16(out, r.offset.value_or(static_cast<uint16_t>(storage.size())));
        storage += r.text;
    }
    out.insert(out.end(), storage.begin(), storage.end());
    if (spec.cutAt && *spec.cutAt < out.size()) out.resize(*spec.cutAt);
    return out;
}

// The font written to a file of the test's own, read back by the reader.
std::string ReadName(const Bytes& font) {
    std::string path = ::testing::TempDir() + "font-" +
                       ::testing::UnitTest::GetInstance()->current_test_info()->name() + ".ttf";
    FILE* file = std::fopen(path.c_str(), "wb");
    EXPECT_NE(file, nullptr) << path;
    if (!file) return "<unwritten>";
    bool written = font.empty() || std::fwrite(font.data(), 1, font.size(), file) == font.size();
    EXPECT_TRUE(std::fclose(file) == 0 && written);
    char name[kFontNameBufferSize + 16];
    std::string sentinel(16, '\x5A');
    std::copy(sentinel.begin(), sentinel.end(), name + kFontNameBufferSize);
    name[0] = 'X';
    ReadFontFullName(path.c_str(), name);
    std::remove(path.c_str());
    EXPECT_EQ(std::string(name + kFontNameBufferSize, 16), sentinel) << "written past the 520-byte buffer";
    return name;
}

TEST(FontName, TheLastMacintoshFullNameRecordNamesTheFont) {
    struct Case {
        const char* what;
        FontSpec spec;
        std::string expected;
    };
    FontSpec otherIds;
    otherIds.names = {Mac("Family"), Mac("Full Name")};
    otherIds.names[0].nameId = 1;
    FontSpec forty;
    forty.tablesBefore = 39;
    forty.names = {Mac("Fortieth")};
    FontSpec openType;
    openType.openType = true;
    openType.names = {Mac("Open Sans Bold")};
    FontSpec sharedString;  // two records pointing at one string, the second at its tail
    sharedString.names = {Mac("Uninst Serif"), Mac("")};
    sharedString.names[1].length = 5;
    sharedString.names[1].offset = 7;
    FontSpec longest;
    longest.names = {Mac(std::string(kFontNameMaxLength, 'L'))};
    const Case cases[] = {
        {"one record", {false, {Mac("Uninst Sans")}}, "Uninst Sans"},
        {"the last of several wins", {false, {Mac("First"), Windows("Other"), Mac("Last")}}, "Last"},
        {"other name ids are passed over", otherIds, "Full Name"},
        {"Windows and Unicode records only", {false, {Windows("Wide"), {0, 4, "Uni", {}, {}}}}, ""},
        {"the naming table as the 40th record", forty, "Fortieth"},
        {"an OpenType font", openType, "Open Sans Bold"},
        {"records may share string storage", sharedString, "Serif"},
        {"a name of the longest length that fits", longest, std::string(kFontNameMaxLength, 'L')},
        {"no records", {false, {}}, ""},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        EXPECT_EQ(ReadName(WriteFont(c.spec)), c.expected);
    }
}

// Files that would make a trusting reader read the wrong bytes, or outside its buffers: each gives
// no name, so no installed-font value is deleted.
TEST(FontName, HostileOrDamagedFilesGiveNoName) {
    std::vector<std::pair<const char*, FontSpec>> cases;
    auto add = [&](const char* what, auto change) {
        FontSpec spec;
        spec.names = {Mac("Uninst Sans")};
        change(spec);
        cases.push_back({what, spec});
    };
    add("naming table after the 40th record", [](FontSpec& s) { s.tablesBefore = 40; });
    add("table count 0", [](FontSpec& s) { s.tableCount = 0; });
    add("table count larger than the records there", [](FontSpec& s) { s.tableCount = 3000; s.withNameTable = false; });
    add("no naming table", [](FontSpec& s) { s.withNameTable = false; });
    add("shorter than its offset table", [](FontSpec& s) { s.cutAt = 11; });
    add("cut inside the table records", [](FontSpec& s) { s.cutAt = 20; });
    add("cut inside the name string", [](FontSpec& s) { s.cutAt = 12 + 16 + 6 + 12 + 4; });
    add("record count beyond the file", [](FontSpec& s) { s.recordCount = 0xFFFF; s.names.clear(); });
    add("naming table offset past the end", [](FontSpec& s) { s.nameTableOffset = 0x00100000; });
    add("naming table offset beyond a signed seek", [](FontSpec& s) { s.nameTableOffset = 0x7FFFFFF0u; });
    add("naming table offset that wraps", [](FontSpec& s) { s.nameTableOffset = 0xFFFFFFF0u; });
    add("storage offset past the end", [](FontSpec& s) { s.storageOffset = 0xFFFF; });
    add("string offset past the end", [](FontSpec& s) { s.names[0].offset = 0xFFF0; });
    add("string length past the end", [](FontSpec& s) { s.names[0].length = 40; });
    add("string length 5000 (overflows the buffer)", [](FontSpec& s) {
        s.names[0].text = std::string(5000, 'A');
    });
    add("a name with no room for \" (TrueType)\"", [](FontSpec& s) {
        s.names[0].text = std::string(kFontNameMaxLength + 1, 'A');
    });
    add("a NUL inside the name (it would be cut to another font's name)", [](FontSpec& s) {
        s.names[0].text = std::string("Arial\0 Custom", 13);
    });
    add("empty name", [](FontSpec& s) { s.names[0].text = ""; });
    add("a good record followed by an unusable last one", [](FontSpec& s) {
        s.names.push_back(Mac("Broken"));
        s.names[1].offset = 0xFFF0;
    });
    for (const auto& [what, spec] : cases) {
        SCOPED_TRACE(what);
        EXPECT_EQ(ReadName(WriteFont(spec)), "");
    }
    EXPECT_EQ(ReadName({}), "") << "an empty file";
}

TEST(FontName, MissingFileGivesNoName) {
    char name[kFontNameBufferSize] = "stale";
    ReadFontFullName((::testing::TempDir() + "no-such-font-file.ttf").c_str(), name);
    EXPECT_STREQ(name, "");
}

}  // namespace
