// Packed text lists: the bytes the packer lays down, what the reader gives back, and the lookup
// the registry and folder guards ask.
#include "common/packed_texts.h"

#include <gtest/gtest.h>
#include <string>
#include <vector>

namespace {

std::vector<std::string> Unpack(const char* list) {
    std::vector<std::string> texts;
    PackedTextReader reader(list);
    while (reader.Next()) texts.push_back(reader.Text());
    return texts;
}

// Texts that share beginnings in every way: longer after shorter, shorter after longer, the same
// text twice, nothing shared, a text that is all of the one before it plus a separator, bytes above
// 0x7F, and a text of the longest length the reader holds.
constexpr char kLongest[] =
    "0123456789abcdef0123456789abcdef0123456789abcdef0123456789abcdef0123456789abcdef0123456789abcdef"
    "0123456789abcdef0123456789abcde";
constexpr auto kMixed = PackTexts<"Microsoft", "Microsoft\\Windows", "Microsoft\\Windows NT",
                                  "Microsoft\\Windows", "Microsoft\\Windows", "Policies", "P",
                                  "Policies\\Microsoft", "\xC9t\xE9", "\xC9t\xE9\\", kLongest, "0", "*">();

TEST(PackedTexts, TheReaderGivesBackEveryTextInOrder) {
    static_assert(sizeof kLongest == kPackedTextSize);
    const std::vector<std::string> expected = {"Microsoft",
                                               "Microsoft\\Windows",
                                               "Microsoft\\Windows NT",
                                               "Microsoft\\Windows",
                                               "Microsoft\\Windows",
                                               "Policies",
                                               "P",
                                               "Policies\\Microsoft",
                                               "\xC9t\xE9",
                                               "\xC9t\xE9\\",
                                               kLongest,
                                               "0",
                                               "*"};
    EXPECT_EQ(Unpack(kMixed.bytes), expected);
    EXPECT_EQ(Unpack(PackTexts<"One">().bytes), std::vector<std::string>{"One"});
}

TEST(PackedTexts, EachTextIsItsSharedCountTheRestAndANul) {
    constexpr auto packed = PackTexts<"AB", "ABC", "B", "BB">();
    const char expected[] = {0, 'A', 'B', 0, 2, 'C', 0, 0, 'B', 0, 1, 'B', 0, 0, 0};
    ASSERT_EQ(sizeof packed.bytes, sizeof expected);
    for (size_t i = 0; i < sizeof expected; ++i) EXPECT_EQ(packed.bytes[i], expected[i]) << "byte " << i;
}

TEST(PackedTexts, LookupFindsWholeTextsIgnoringOnlyAsciiCase) {
    struct Case {
        const char* text;
        bool found;
    };
    const Case cases[] = {
        {"Microsoft", true},
        {"MICROSOFT\\windows nt", true},
        {"policies\\MICROSOFT", true},
        {"p", true},
        {"*", true},
        {"0", true},
        {kLongest, true},
        {"\xC9t\xE9", true},
        {"\xC9T\xE9\\", true},
        // Beginnings and continuations of listed texts, and what two texts share, are not listed.
        {"", false},
        {"Microsof", false},
        {"Microsoft\\", false},
        {"Microsoft\\Windows N", false},
        {"Microsoft\\WindowsX", false},
        {"Policie", false},
        {"Pol", false},
        {"**", false},
        {"00", false},
        // Only A-Z are folded: the case pairs of other code page bytes are different bytes.
        {"\xE9t\xE9", false},
    };
    for (const Case& c : cases) EXPECT_EQ(TextInPackedListNoCase(c.text, kMixed), c.found) << c.text;
    EXPECT_FALSE(TextInPackedListNoCase((std::string(kLongest) + "f").c_str(), kMixed));
}

// The lists come from the packer, but the reader keeps its buffer even on bytes it did not make: a
// count beyond the text before it and a text beyond the room.
TEST(PackedTexts, TheReaderStaysInsideItsBufferOnBytesThePackerCannotMake) {
    std::string list;
    list += '\x05';
    list += "AB";
    list += '\0';
    list += '\x7F';
    list += std::string(300, 'x');
    list += '\0';
    list += '\0';
    list += '\0';
    std::vector<std::string> texts = Unpack(list.c_str());
    ASSERT_EQ(texts.size(), 2u);
    EXPECT_EQ(texts[0], "AB");
    EXPECT_EQ(texts[1], "AB" + std::string(kPackedTextSize - 3, 'x'));
}

}  // namespace
