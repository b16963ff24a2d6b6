// The long-name test of a clean-up pattern's mask. FindFirstFileA also matches a mask against the
// 8.3 short names, so "*.htm" lists "index.html" and "*.dat" lists "settings.data"; the wildcard pass
// deletes only the names this test accepts as well. Portable: plain byte strings.
#pragma once

// True when the long name `name` matches `mask`: "*" stands for any run of characters (none too),
// "?" for exactly one, ASCII letters compare without case. As the platform reads masks, one that
// ends in ".*" also matches a name without any dot ("*.*" matches "README"), and one that ends in
// "." matches only names without a dot ("*." matches "README", not "a.txt").
bool MatchesFileMask(const char* name, const char* mask);
