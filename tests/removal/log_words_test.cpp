// The removal log's words: one for each number, and the result each outcome a pass hands over reads as.
#include "removal/log_words.h"

#include <gtest/gtest.h>
#include <set>
#include <string>

namespace {

TEST(LogWords, OneDistinctWordForEachNumber) {
    std::set<std::string> seen;
    for (int n = 0; n < static_cast<int>(LogWord::kCount); ++n) {
        std::string word = LogWordText(static_cast<LogWord>(n));
        EXPECT_FALSE(word.empty()) << n;
        EXPECT_TRUE(seen.insert(word).second) << n << ": " << word << " twice";
    }
    // The packed text ends with the last word: no number points past it, none is left without one.
    const char* last = LogWordText(static_cast<LogWord>(static_cast<int>(LogWord::kCount) - 1));
    EXPECT_EQ(last + std::string(last).size() + 1, kLogWords + sizeof kLogWords);
    EXPECT_STREQ(LogWordText(LogWord::kProgramFolders), "programFolders");
    EXPECT_STREQ(LogWordText(LogWord::kDeleteValue), "delete value");
    EXPECT_STREQ(LogWordText(LogWord::kNt), "NT");
    EXPECT_STREQ(LogWordText(LogWord::k9x), "9x");
    EXPECT_STREQ(LogWordText(LogWord::kCancelled), "cancelled");
}

TEST(LogWords, ResultOfEachOutcome) {
    struct Case {
        uint32_t outcome;
        bool registry;
        const char* result;
    } cases[] = {
        {0, false, "removed"},
        {0, true, "removed"},
        {2, false, "not there"},    // ERROR_FILE_NOT_FOUND
        {3, true, "not there"},     // ERROR_PATH_NOT_FOUND
        {145, false, "not empty"},  // ERROR_DIR_NOT_EMPTY
        {5, false, "in use"},       // ERROR_ACCESS_DENIED
        {32, false, "in use"},      // ERROR_SHARING_VIOLATION
        {33, false, "in use"},      // ERROR_LOCK_VIOLATION
        {5, true, "error"},         // a key the user may not delete is no file in use
        {87, false, "error"},
        {kOutcomeProtected, false, "protected"},
        {kOutcomeBelowLink, false, "below a link"},
        {kOutcomeNetworkPath, false, "network path"},
        {kOutcomeRefusedKey, true, "refused key"},
        {kOutcomeAnsweredNo, false, "answered No"},
        {kOutcomeDoesNotFit, false, "path does not fit"},
        {kOutcomeNotFullPath, false, "not a full path"},
        {kOutcomeRefused, false, "refused"},
        {SharedCountOutcome(0), false, "shared count now"},
        {SharedCountOutcome(7), false, "shared count now"},
        {SharedCountOutcome(0xFFFFFFFFu), false, "shared count now"},
        {OutcomeOfWord(LogWord::kExitCode), false, "exit code"},
        {OutcomeOfWord(LogWord::kYesToAll), false, "Yes to all"},
        // Codes between the words and the shared counts name no word: an error with its number.
        {OutcomeOfWord(LogWord::kCancelled), false, "cancelled"},
        {OutcomeOfWord(LogWord::kCount), false, "error"},
        {0x3FFFFFFFu, true, "error"},
    };
    for (const Case& c : cases) {
        EXPECT_STREQ(LogWordText(ResultOfOutcome(c.outcome, c.registry)), c.result) << std::hex << c.outcome;
    }
    EXPECT_EQ(SharedCountOutcome(7) - kOutcomeSharedCount, 7u);
    EXPECT_EQ(SharedCountOutcome(0xFFFFFFFFu) - kOutcomeSharedCount,
              0x3FFFFFFFu);  // no wrap into another word
}

TEST(LogWords, EachItemResultFallsInOneClassOfTheSummary) {
    EXPECT_FALSE(IsKeptResult(LogWord::kRemoved));
    EXPECT_FALSE(IsKeptResult(LogWord::kNotThere));
    struct Case {
        LogWord word;
        Tally tally;
    } cases[] = {
        {LogWord::kRemoved, Tally::kRemoved},
        {LogWord::kNotThere, Tally::kNotThere},
        {LogWord::kAtRestart, Tally::kAtRestart},
        {LogWord::kNotEmpty, Tally::kKeptOnPurpose},
        {LogWord::kProtected, Tally::kKeptOnPurpose},
        {LogWord::kRefusedKey, Tally::kKeptOnPurpose},
        {LogWord::kAnsweredNo, Tally::kKeptOnPurpose},
        {LogWord::kSharedCount, Tally::kKeptOnPurpose},
        {LogWord::kNo64BitView, Tally::kKeptOnPurpose},  // an entry of the 64-bit view on 32-bit Windows
        {LogWord::kInUse, Tally::kProblem},
        {LogWord::kBelowLink, Tally::kProblem},
        {LogWord::kNetworkPath, Tally::kProblem},
        {LogWord::kDoesNotFit, Tally::kProblem},
        {LogWord::kNotFullPath, Tally::kProblem},
        {LogWord::kRefused, Tally::kProblem},
        {LogWord::kError, Tally::kProblem},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(TallyOf(c.word), c.tally) << LogWordText(c.word);
        EXPECT_EQ(IsKeptResult(c.word), c.word != LogWord::kRemoved && c.word != LogWord::kNotThere)
            << LogWordText(c.word);
    }
    // Every item result between the first and the last has its case above.
    EXPECT_EQ(static_cast<int>(LogWord::kError) - static_cast<int>(LogWord::kRemoved) + 1,
              static_cast<int>(sizeof cases / sizeof cases[0]));
    EXPECT_FALSE(IsKeptResult(LogWord::kExitCode));
    EXPECT_FALSE(IsKeptResult(LogWord::kYes));
    EXPECT_STREQ(LogWordText(ResultOfOutcome(kOutcomeAtRestart, false)), "in use, goes at restart");
}

TEST(LogWords, ExitCodeOfTheTally) {
    struct Case {
        uint32_t tally[5];  // removed, kept on purpose, problems, at restart, not there
        int code;
    } cases[] = {
        {{0, 0, 0, 0, 0}, 0},    {{9, 3, 0, 0, 2}, 0},    {{9, 0, 0, 1, 0}, 3010},
        {{9, 0, 1, 0, 0}, 1603}, {{9, 0, 1, 4, 0}, 1603},  // a problem outweighs a restart
    };
    for (const Case& c : cases) EXPECT_EQ(ExitCodeOfTally(c.tally), c.code);
}

}  // namespace
