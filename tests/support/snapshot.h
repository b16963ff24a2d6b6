// Snapshots of a folder tree and of a registry tree, and their comparison against what a test
// expects to change, so that a test says "exactly these were removed, everything else stayed".
// Windows only; free of the test framework.
//
// Usage:
//   Snapshot before = SnapshotFolder(box.path());                       // "App\", "App\a.txt", ...
//   Add(before, SnapshotKey(HKEY_CURRENT_USER, key.path(), "HKCU:"));   // "HKCU:App\", "HKCU:App\@Path"
//   Add(before, SnapshotValues(HKEY_LOCAL_MACHINE, kSharedDllsKey, box.path() + "\\", "SharedDLLs:"));
//   ... run ...
//   std::string surprises = Unexpected(before, Snapshot...(after), {
//       .removed = ItemsUnder(before, "App\\"),          // the folder and everything in it
//       .changed = {"SharedDLLs:@" + dll},                // allowed to change (check the new value yourself)
//   });
//   EXPECT_TRUE(surprises.empty()) << surprises;
//
// Item names: a folder ends with a backslash ("App\Data\"), a file does not ("App\Data\d.bin"); a
// key ends with a backslash ("HKCU:App\"), a value is its key's item, "@" and its name ("HKCU:App\@Path";
// "HKCU:App\@" is the default value). The root folder or key itself is not an item: snapshot its
// parent to see it go. Each item's state ("file, 9 bytes: \"installed\"", "REG_DWORD 2") is what a
// change is measured by.
#pragma once

#ifdef _WIN32

#include <windows.h>

#include <map>
#include <set>
#include <string>

namespace testing_support {

using Snapshot = std::map<std::string, std::string>;  // item -> its state

// Every folder and file below `folder`, names relative to it and prefixed with `label`.
Snapshot SnapshotFolder(const std::string& folder, const std::string& label = "");
// Every subkey and value below `key` (its own values included), relative to it, prefixed with `label`.
Snapshot SnapshotKey(HKEY root, const std::string& key, const std::string& label);
// Only the values of `key` whose names start with `prefix` (ASCII case ignored), no subkeys: for keys
// that other tests write into at the same time (SharedDLLs, Fonts).
Snapshot SnapshotValues(HKEY root, const std::string& key, const std::string& prefix,
                        const std::string& label);
// Adds the items of `more` to `into`.
void Add(Snapshot& into, const Snapshot& more);

// `item` and everything below it: ItemsUnder(s, "App\\") is the folder App and its whole content.
std::set<std::string> ItemsUnder(const Snapshot& snapshot, const std::string& item);

struct Expected {
    std::set<std::string> removed;  // must be gone afterwards, and nothing else may be
    std::set<std::string> added;    // may (and must) appear
    std::set<std::string> changed;  // may (and must) change state
};

// Empty when `after` differs from `before` exactly as expected; otherwise one line per surprise:
// unexpected removals, expected removals that survived, unexpected additions and changes, with
// the states involved.
std::string Unexpected(const Snapshot& before, const Snapshot& after, const Expected& expected);

}  // namespace testing_support

#endif  // _WIN32
