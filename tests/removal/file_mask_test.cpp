// The long-name mask test of the wildcard pass: what it accepts is all the pass may delete.
#include <gtest/gtest.h>

#include "removal/file_mask.h"

namespace {

TEST(FileMask, MatchesLongNamesAsThePlatformReadsMasks) {
    struct Case {
        const char* name;
        const char* mask;
        bool matches;
    };
    const Case cases[] = {
        {"a.log", "*.log", true},        {"A.LOG", "*.log", true},         {"a.log.bak", "*.log", false},
        {"page.html", "*.htm", false},   {"page.htm", "*.htm", true},      {"settings.data", "*.dat", false},
        {"README", "*.*", true},         {"a.b.c", "*.*", true},           {"README", "*", true},
        {"README", "*.", true},          {"a.txt", "*.", false},           {"core", "core.*", true},
        {"core.1", "core.*", true},      {"core1", "core.*", false},       {"ab", "a?", true},
        {"a", "a?", false},              {"abc", "a?", false},             {"x.tmp", "x*y*.tmp", false},
        {"xAyB.tmp", "x*y*.tmp", true},  {"log", "*log*", true},           {"", "*", false},
        {"aaa", "*a*a*a*", true},        {"aa", "*a*a*a*", false},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(MatchesFileMask(c.name, c.mask), c.matches) << c.name << " against " << c.mask;
    }
}

}  // namespace
