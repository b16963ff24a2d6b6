// The one predicate every pass asks about "access denied" errors.
#include "removal/access_denied.h"

#include <gtest/gtest.h>

namespace {

TEST(AccessDenied, HoldsExactlyTheListedCodes) {
    const uint32_t denied[] = {5, 16, 19, 20, 32, 33, 36, 65, 82, 83, 108, 132, 158, 167};
    const uint32_t other[] = {0,  2,   3,   4,   6,   15,  17,  18,  37,  64,  66,   81,
                              84, 107, 109, 131, 133, 157, 159, 166, 168, 183, 1010, 0xFFFFFFFFu};
    for (uint32_t code : denied) EXPECT_TRUE(IsAccessDeniedError(code)) << code;
    for (uint32_t code : other) EXPECT_FALSE(IsAccessDeniedError(code)) << code;
}

}  // namespace
