// Folder tokens ("#Windows#", "#AppData#", ...) inside stored texts, resolved on this machine.
#pragma once

#include <stdint.h>

#include "common/backslash.h"
#include "paths/token_table.h"

struct PathState;

// The scratch that one expansion is built in; the expanded text with its terminator must fit it.
inline constexpr uint32_t kExpansionScratchSize = 65500;
// What ExpandFolderTokens returns for a text whose expansion does not fit the scratch.
inline constexpr uint32_t kExpansionTooLong = 0xFFFFFFFFu;

// Resolves the single token held in `token` (a kPathBufferSize buffer holding only the token, both
// '#' included) in place to its folder, without a trailing backslash except on a drive root. A token
// that is not known leaves the empty string; a known token whose folder cannot be found, or does not
// fit, keeps its own text.
void ResolveFolderToken(const PathState& paths, char* token);

// Expands the folder tokens of `source`. Returns the length of the expansion (terminator not
// counted), the same for the measuring call (no destination, or a size of 0: nothing is written) and
// for the copying call; kExpansionTooLong when it does not fit the scratch. When copying, `dest`
// receives the whole expansion when it fits `size` bytes and the empty string otherwise: a cut
// expansion would name another path, so callers treat a length of `size` or more as a refusal.
// When the scratch cannot be had, `source` is passed on unexpanded in the same way.
uint32_t ExpandFolderTokens(const PathState& paths, char* dest, const char* source, uint32_t size);

// The resolver of the folder tokens that begin entries' folders (removal/entry_paths.h): a token's
// folder is looked up with ResolveFolderToken and kept in the run's paths for the entries after it
// that begin with the same token, as entries sorted by folder do. A token that is unknown, or whose
// folder cannot be found, resolves to nothing and its entries are skipped.
FolderTokenResolver EntryTokens(PathState& paths);
