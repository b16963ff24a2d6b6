// The wildcard, shortcut and folder passes, in the order the driver calls them after the file pass.
// Each works silently: what cannot be removed stays and the pass goes on. No folder is entered,
// cleaned or removed unless ResolveRemovableFolder (paths/protected_folders.h) allowed it, and then
// only by the canonical path it gave.
#pragma once

#include <stdint.h>

struct RunState;

// For each clean-up pattern: deletes the matching files in the pattern's folder and all its
// subfolders, and removes every folder of that tree that ends up empty. Reports no progress.
void RemoveWildcardMatches(RunState& run);

// The wildcard pass's recursive worker. Precondition: the folder to clean is the current directory,
// `folderFinal` the final path the file system reaches it by (empty where the platform has none);
// `depth` counts the levels above it in this walk. Postcondition: the current directory is its
// parent, and the folder is gone if it ended up empty and is not protected.
void CleanFolderTree(RunState& run, const char* mask, const char* folderFinal, uint32_t depth);

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
