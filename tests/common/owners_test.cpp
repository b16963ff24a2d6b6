// The handle owner and the scope guard: each handle is closed exactly once, on every path.
#include <gtest/gtest.h>
#include <vector>

#include "common/scope_exit.h"
#include "common/unique_handle.h"

namespace {

// A handle kind whose "close" is recorded: -1 owns nothing.
std::vector<int>& Closed() {
    static std::vector<int> closed;
    return closed;
}

struct RecordingTraits {
    using Handle = int;
    static Handle Invalid() { return -1; }
    static void Close(Handle handle) { Closed().push_back(handle); }
};
using Owner = UniqueHandle<RecordingTraits>;

TEST(UniqueHandle, ClosesEachHandleOnceWhateverHappensToTheOwner) {
    Closed().clear();
    {
        Owner empty;
        EXPECT_FALSE(empty);
        Owner one(1);
        EXPECT_TRUE(one);
        Owner moved(std::move(one));
        EXPECT_FALSE(one) << "the moved-from owner holds nothing";
        EXPECT_EQ(moved.get(), 1);
        Owner assigned(2);
        assigned = std::move(moved);  // closes 2, takes 1
        EXPECT_EQ(Closed(), std::vector<int>{2});
        Owner kept(3);
        EXPECT_EQ(kept.release(), 3);  // given up: never closed
        Owner filled(4);
        *filled.put() = 5;  // put() closes 4 first
        EXPECT_EQ(Closed(), (std::vector<int>{2, 4}));
        filled.reset(6);  // closes 5
        filled.reset();   // closes 6
        EXPECT_FALSE(filled);
    }
    // Leaving the scope closes only what was still owned: 1 (in `assigned`).
    EXPECT_EQ(Closed(), (std::vector<int>{2, 4, 5, 6, 1}));
}

TEST(ScopeExit, RunsOnEveryReturnUnlessDismissed) {
    int runs = 0;
    auto leave = [&](bool early, bool dismiss) {
        ScopeExit count([&] { ++runs; });
        if (dismiss) count.Dismiss();
        if (early) return 1;
        return 2;
    };
    EXPECT_EQ(leave(true, false), 1);
    EXPECT_EQ(leave(false, false), 2);
    EXPECT_EQ(runs, 2);
    leave(false, true);
    EXPECT_EQ(runs, 2) << "a dismissed guard does nothing";
}

}  // namespace
