// The long-name mask test of the wildcard pass: what it accepts is all the pass may delete.
#include "removal/file_mask.h"

#include <gtest/gtest.h>

namespace {

TEST(FileMask, MatchesLongNamesAsThePlatformReadsMasks) {
    struct Case {
        const char* name;
        const char* mask;
        bool matches;
    };
    const Case cases[] = {
        {"a.log", "*.log", true},
        {"A.LOG", "*.log", true},
        {"a.log.bak", "*.log", false},
        {"page.html", "*.htm", false},
        {"page.htm", "*.htm", true},
        {"settings.data", "*.dat", false},
        {"README", "*.*", true},
        {"a.b.c", "*.*", true},
        {"README", "*", true},
        {"README", "*.", true},
        {"a.txt", "*.", false},
        {"core", "core.*", true},
        {"core.1", "core.*", true},
        {"core1", "core.*", false},
        {"ab", "a?", true},
        {"a", "a?", true},
        {"abc", "a?", false},
        {"x.tmp", "x*y*.tmp", false},
        {"xAyB.tmp", "x*y*.tmp", true},
        {"log", "*log*", true},
        {"", "*", false},
        {"aaa", "*a*a*a*", true},
        {"aa", "*a*a*a*", false},
        // "?" stands for nothing before a "." and at the end, never for the "." itself.
        {"file.txt", "file?.txt", true},
        {"file1.txt", "file?.txt", true},
        {"file12.txt", "file?.txt", false},
        {"a", "a??", true},
        {"ab", "a??", true},
        {"abc", "a??", true},
        {"abcd", "a??", false},
        {"a.b", "a?b", false},
        {"axb", "a??b", false},
        {"ab.txt", "a??.txt", true},
        {"a.txt", "?a.txt", false},
        {"x.a", "x.?", true},
        {"x", "x.?", true},
        {"x.ab", "x.?", false},
        {"file.txt", "file?txt", false},
        // A "." before a wildcard or the end also matches the end of the name; a "*" before a "."
        // keeps the name's last ".".
        {"core", "core.?", true},
        {"core", "core.", true},
        {"core1", "core.?", false},
        {"a.b.txt", "*.txt", true},
        {"a.b", "*.", false},
        {"a.b.c", "*.c", true},
        {"ab", "a", false},
        {"a", "ab", false},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(MatchesFileMask(c.name, c.mask), c.matches) << c.name << " against " << c.mask;
    }
}

}  // namespace
