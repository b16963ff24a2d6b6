// The wildcard, shortcut and folder passes, in the order the driver calls them after the file pass.
// Each works silently: what cannot be removed stays and the pass goes on. No folder is entered,
// cleaned or removed unless ResolveRemovableFolder (paths/protected_folders.h) allowed it, and then
// only by the canonical path it gave.
#pragma once

#include <stdint.h>

struct RunState;

// For each clean-up pattern: deletes the matching files in the pattern's folder and all its
// subfolders, and removes every folder of that tree that ends up empty. Reports no progress. On the NT
// family the pattern's folder is judged through its handle and the walk goes on through handles: each
// subfolder and file is opened relative to its judged folder, judged through its own handle and removed
// through it, so a folder swapped for a link during the walk redirects nothing.
void RemoveWildcardMatches(RunState& run);

// Deletes the shortcut file of each shortcut entry (ProgressPass::kShortcutFiles), by its folder's
// canonical path, unless a link below the folder's root leads elsewhere or the file is a link.
void RemoveShortcutFiles(RunState& run);

// Removes the folders that held the shortcuts, climbing up each entry's level count
// (ProgressPass::kShortcutFolders).
void RemoveShortcutFolders(RunState& run);

// Removes the emptied folders of the file list, climbing from each while folders can be removed
// (ProgressPass::kProgramFolders). The climbs start from the install folder's parent, so the process
// does not stand in a folder it removes; the current directory is put back afterwards when the folder
// it was is still there.
void RemoveProgramFolders(RunState& run);
