// Message lookup and formatting: texts come from the block, so formatting must be safe for any text.
#include "data/messages.h"

#include <gtest/gtest.h>
#include <string>
#include <vector>

#include "support/block_file.h"

using namespace format;
using testing_support::Join;
using testing_support::LoadedBlock;

namespace {

const Bytes kEnd = EncodeEnd();

std::string Format(const UninstallData& data, int number, const char* argument) {
    std::vector<char> buffer(kMessageBufferSize + 16, '#');
    FormatMessageText(data, buffer.data(), number, argument);
    // Nothing may be written past the message buffer.
    for (size_t i = kMessageBufferSize; i < buffer.size(); ++i) EXPECT_EQ(buffer[i], '#');
    return buffer.data();
}

TEST(Messages, LookupByNumber) {
    std::vector<std::string> texts;
    for (int i = 0; i < 16; ++i) texts.push_back("m" + std::to_string(i));
    texts[5] = "";  // an empty text in the middle does not end the table
    LoadedBlock b(Join({EncodeStringTable(texts), kEnd}));
    ASSERT_EQ(b.outcome.code, kLoadOk);
    EXPECT_STREQ(GetMessageText(b.data, 0, 0), "m0");
    EXPECT_STREQ(GetMessageText(b.data, 0, 5), "");
    EXPECT_STREQ(GetMessageText(b.data, 0, 6), "m6");
    EXPECT_STREQ(GetMessageText(b.data, 0, 15), "m15");
    for (int number : {16, -1, 1000}) EXPECT_STREQ(GetMessageText(b.data, 0, number), "") << number;
    EXPECT_STREQ(GetMessageText(b.data, 1, 0), "");
    UninstallData none{};
    EXPECT_STREQ(GetMessageText(none, 0, 0), "");
    EXPECT_NE(GetMessageText(none, 0, 3), nullptr);
}

TEST(Messages, FormatTable) {
    struct Case {
        const char* text;
        const char* expected;
    } cases[] = {
        {"Remove %s?", "Remove C:\\App\\data.bin?"},
        {"No directive here", "No directive here"},
        {"100% sure, %d items", "100% sure, %d items"},  // no %s: copied as it stands
        {"%s is 100%% done", "C:\\App\\data.bin is 100% done"},
        {"%d in %s", "%d in C:\\App\\data.bin"},  // other directives read no argument
        {"%s and %s", "C:\\App\\data.bin and C:\\App\\data.bin"},
        {"%S %x %s %", "%S %x C:\\App\\data.bin %"},
        {"", ""},
    };
    for (const auto& c : cases) {
        LoadedBlock b(Join({EncodeStringTable({"caption", c.text}), kEnd}));
        ASSERT_EQ(b.outcome.code, kLoadOk);
        EXPECT_EQ(Format(b.data, 1, "C:\\App\\data.bin"), c.expected) << c.text;
    }
}

TEST(Messages, LongTextsAreCutToTheBuffer) {
    std::string plain(5000, 'A');
    std::string formatted = "%s" + std::string(3000, 'B');
    LoadedBlock b(Join({EncodeStringTable({"caption", plain, formatted}), kEnd}));
    ASSERT_EQ(b.outcome.code, kLoadOk);
    EXPECT_EQ(Format(b.data, 1, "x"), std::string(kMessageBufferSize - 1, 'A'));
    std::string cut = Format(b.data, 2, std::string(2000, 'p').c_str());
    EXPECT_EQ(cut, std::string(kMessageBufferSize - 1, 'p'));
}

}  // namespace
