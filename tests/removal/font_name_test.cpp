// The font-name reader on font files written here: which record names the font, and the hostile
// headers, offsets and lengths that must give no name rather than a wrong one or a read outside
// the buffers. Portable: runs on the host (also under the sanitizers) and under Wine.
#include "removal/font_name.h"

#include <cstdint>
#include <cstdio>
#include <gtest/gtest.h>
#include <optional>
#include <string>
#include <vector>

#include "support/font_file.h"

namespace {

using Bytes = std::vector<uint8_t>;
using testing_support::FontLayout;
using testing_support::FontNameRecord;
using testing_support::WriteFont;

FontNameRecord Mac(const std::string& text) {
    return testing_support::MacName(testing_support::kFontNameFull, text);
}
FontNameRecord Windows(const std::string& text) {
    return testing_support::WindowsName(testing_support::kFontNameFull, text);
}
FontNameRecord Unicode(const std::string& text) {
    FontNameRecord record = Mac(text);
    record.platform = testing_support::kFontPlatformUnicode;
    return record;
}
FontLayout Names(std::vector<FontNameRecord> names) {
    FontLayout layout;
    layout.names = std::move(names);
    return layout;
}
void SetText(FontNameRecord& record, const std::string& text) {
    record.string.assign(text.begin(), text.end());
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
        FontLayout layout;
        std::string expected;
    };
    FontLayout otherIds = Names({testing_support::MacName(1, "Family"), Mac("Full Name")});
    FontLayout forty;
    forty.tablesBeforeName = 39;
    forty.names = {Mac("Fortieth")};
    FontLayout openType;
    openType.openType = true;
    openType.names = {Mac("Open Sans Bold")};
    FontLayout sharedString;  // two records pointing at one string, the second at its tail
    sharedString.names = {Mac("Uninst Serif"), Mac("")};
    sharedString.names[1].length = 5;
    sharedString.names[1].offset = 7;
    FontLayout longest;
    longest.names = {Mac(std::string(kFontNameMaxLength, 'L'))};
    const Case cases[] = {
        {"one record", Names({Mac("Uninst Sans")}), "Uninst Sans"},
        {"the last of several wins", Names({Mac("First"), Windows("Other"), Mac("Last")}), "Last"},
        {"other name ids are passed over", otherIds, "Full Name"},
        {"Windows and Unicode records only", Names({Windows("Wide"), Unicode("Uni")}), ""},
        {"the naming table as the 40th record", forty, "Fortieth"},
        {"an OpenType font", openType, "Open Sans Bold"},
        {"records may share string storage", sharedString, "Serif"},
        {"a name of the longest length that fits", longest, std::string(kFontNameMaxLength, 'L')},
        {"no records", Names({}), ""},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        EXPECT_EQ(ReadName(WriteFont(c.layout)), c.expected);
    }
}

// Files that would make a trusting reader read the wrong bytes, or outside its buffers: each gives
// no name, so no installed-font value is deleted.
TEST(FontName, HostileOrDamagedFilesGiveNoName) {
    std::vector<std::pair<const char*, FontLayout>> cases;
    auto add = [&](const char* what, auto change) {
        FontLayout layout;
        layout.names = {Mac("Uninst Sans")};
        change(layout);
        cases.push_back({what, layout});
    };
    add("naming table after the 40th record", [](FontLayout& s) { s.tablesBeforeName = 40; });
    add("table count 0", [](FontLayout& s) { s.tableCount = 0; });
    add("table count larger than the records there", [](FontLayout& s) {
        s.tableCount = 3000;
        s.withNameTable = false;
    });
    add("no naming table", [](FontLayout& s) { s.withNameTable = false; });
    add("shorter than its offset table", [](FontLayout& s) { s.cutAt = 11; });
    add("cut inside the table records", [](FontLayout& s) { s.cutAt = 20; });
    add("cut inside the name string", [](FontLayout& s) { s.cutAt = 12 + 16 + 6 + 12 + 4; });
    add("record count beyond the file", [](FontLayout& s) {
        s.nameRecordCount = 0xFFFF;
        s.names.clear();
    });
    add("naming table offset past the end", [](FontLayout& s) { s.nameTableOffset = 0x00100000; });
    add("naming table offset beyond a signed seek", [](FontLayout& s) { s.nameTableOffset = 0x7FFFFFF0u; });
    add("naming table offset that wraps", [](FontLayout& s) { s.nameTableOffset = 0xFFFFFFF0u; });
    add("storage offset past the end", [](FontLayout& s) { s.storageOffset = 0xFFFF; });
    add("string offset past the end", [](FontLayout& s) { s.names[0].offset = 0xFFF0; });
    add("string length past the end", [](FontLayout& s) { s.names[0].length = 40; });
    add("string length 5000 (overflows the buffer)",
        [](FontLayout& s) { SetText(s.names[0], std::string(5000, 'A')); });
    add("a name with no room for \" (TrueType)\"",
        [](FontLayout& s) { SetText(s.names[0], std::string(kFontNameMaxLength + 1, 'A')); });
    add("a NUL inside the name (it would be cut to another font's name)",
        [](FontLayout& s) { SetText(s.names[0], std::string("Arial\0 Custom", 13)); });
    add("empty name", [](FontLayout& s) { SetText(s.names[0], ""); });
    add("a good record followed by an unusable last one", [](FontLayout& s) {
        s.names.push_back(Mac("Broken"));
        s.names[1].offset = 0xFFF0;
    });
    for (const auto& [what, layout] : cases) {
        SCOPED_TRACE(what);
        EXPECT_EQ(ReadName(WriteFont(layout)), "");
    }
    EXPECT_EQ(ReadName({}), "") << "an empty file";
}

TEST(FontName, MissingFileGivesNoName) {
    char name[kFontNameBufferSize] = "stale";
    ReadFontFullName((::testing::TempDir() + "no-such-font-file.ttf").c_str(), name);
    EXPECT_STREQ(name, "");
}

}  // namespace
