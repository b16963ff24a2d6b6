// The backslash helpers every path builder uses.
#include "common/backslash.h"

#include <gtest/gtest.h>
#include <string>

namespace {

TEST(Backslash, TrailingBackslashesComeAndGoOnlyWhereThePathKeepsItsMeaning) {
    struct Case {
        const char* input;
        const char* appended;
        const char* stripped;
        const char* cut;  // after CutAtLastBackslash; null when it holds none
    };
    const Case cases[] = {
        {"", "", "", nullptr},
        {"C:", "C:\\", "C:", nullptr},
        {"C:\\", "C:\\", "C:\\", "C:\\"},  // a drive root keeps its backslash
        {"C:\\A\\", "C:\\A\\", "C:\\A", "C:\\A"},
        {"C:\\A", "C:\\A\\", "C:\\A", "C:\\"},
        {"D:\\Shared\\x", "D:\\Shared\\x\\", "D:\\Shared\\x", "D:\\Shared"},
        {"ab\\", "ab\\", "ab\\", "ab"},
        {"abc\\", "abc\\", "abc", "abc"},
        {"\\x", "\\x\\", "\\x", ""},
    };
    for (const Case& c : cases) {
        char path[kPathBufferSize];
        ASSERT_TRUE(CopyText(path, c.input));
        EXPECT_TRUE(AppendBackslash(path, kPathBufferSize));
        EXPECT_STREQ(path, c.appended) << c.input;
        ASSERT_TRUE(CopyText(path, c.input));
        StripTrailingBackslash(path);
        EXPECT_STREQ(path, c.stripped) << c.input;
        ASSERT_TRUE(CopyText(path, c.input));
        EXPECT_EQ(CutAtLastBackslash(path), c.cut != nullptr) << c.input;
        EXPECT_STREQ(path, c.cut ? c.cut : c.input) << c.input;
    }
    char full[kPathBufferSize];
    std::string longest(kPathBufferSize - 1, 'a');
    ASSERT_TRUE(CopyText(full, longest.c_str()));
    EXPECT_FALSE(AppendBackslash(full, kPathBufferSize));
    EXPECT_EQ(std::string(full), longest) << "unchanged when the backslash does not fit";
}

}  // namespace
