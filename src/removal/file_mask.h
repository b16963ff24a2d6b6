// The long-name test of a clean-up pattern's mask. FindFirstFileA also matches a mask against the
// 8.3 short names, so "*.htm" lists "index.html" and "*.dat" lists "settings.data"; the wildcard pass
// deletes only the names this test accepts as well. Portable: plain byte strings.
#pragma once

// True when the long name `name` matches `mask` as the platform reads masks: "*" stands for any run
// of characters (none too), ASCII letters compare without case, and
// - "?" stands for one character other than "."; where the name is at a "." or has ended it stands
//   for nothing ("file?.txt" matches "file.txt", "a??" matches "a");
// - a "." before "?", "*" or the mask's end also matches the end of a name without one ("core.*"
//   matches "core", "*.*" matches "README");
// - a "*" before a "." does not take the name's last "." ("*." matches "README", not "a.txt").
// A mask of kPathBufferSize characters or more matches nothing.
bool MatchesFileMask(const char* name, const char* mask);
