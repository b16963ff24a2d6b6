// The progress arithmetic the passes and the packer's plan share.
#include "ui/progress.h"

#include <gtest/gtest.h>

namespace {

TEST(Progress, PercentIsTheTruncatedShareCappedAt100) {
    struct Case {
        uint64_t position;
        uint32_t total;
        uint32_t percent;
    } cases[] = {
        {0, 7, 0},
        {1, 7, 14},  // 100 / 7 = 14.28...
        {6, 7, 85},
        {7, 7, 100},
        {20, 7, 100},               // the program-folder pass runs past the total
        {50000000, 50000000, 100},  // a 32-bit product would wrap here
        {0xFFFFFFFFull, 0xFFFFFFFFu, 100},
        {0xFFFFFFFFFFFFFFFFull, 1, 100},  // no 64-bit product wraps either
        {5, 0, 0},                        // no bar: nothing to divide by
    };
    for (const Case& c : cases)
        EXPECT_EQ(ProgressPercent(c.position, c.total), c.percent) << c.position << "/" << c.total;
    // Against the plain formula, for totals small and large and every position up to past the end.
    for (uint32_t total : {1u, 3u, 7u, 99u, 100u, 101u, 30011u, 0x7FFFFFFFu, 0xFFFFFFFFu}) {
        for (uint64_t step = 0; step <= 1000; ++step) {
            uint64_t position = static_cast<uint64_t>(total) * step / 997;
            uint64_t expected = position * 100 / total;
            ASSERT_EQ(ProgressPercent(position, total), expected > 100 ? 100u : expected)
                << position << "/" << total;
        }
    }
}

TEST(Progress, PositionsFollowTheRunsTable) {
    const ProgressCounts counts{4, 2, 3};  // F, S, R
    EXPECT_EQ(ProgressTotal(counts), 3u + 2 * 4 + 2);
    EXPECT_EQ(ProgressPosition(ProgressPass::kFiles, counts, 1), 1u);
    EXPECT_EQ(ProgressPosition(ProgressPass::kShortcutFiles, counts, 1), 4u + 1);
    EXPECT_EQ(ProgressPosition(ProgressPass::kShortcutFolders, counts, 1), 4u + 1);
    EXPECT_EQ(ProgressPosition(ProgressPass::kProgramFolders, counts, 1), 2u + 3 + 4 + 1);
    EXPECT_EQ(ProgressPosition(ProgressPass::kRegistry, counts, 1), 4u + 2 + 1);
    // Counts at their limits: the total saturates, positions do not wrap.
    const ProgressCounts huge{0xFFFFFFFFu, 0xFFFFFFFFu, 0xFFFFFFFFu};
    EXPECT_EQ(ProgressTotal(huge), 0xFFFFFFFFu);
    EXPECT_EQ(ProgressPosition(ProgressPass::kProgramFolders, huge, 0xFFFFFFFFu), 4ull * 0xFFFFFFFFu);
}

}  // namespace
