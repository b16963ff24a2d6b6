// The manifest: the JSON description of one installation that `uninstpack build` turns into a data
// block, and that `dump` prints back. Texts are UTF-8 in the JSON and in the manifest's code page in
// the block.
#pragma once

#include <array>
#include <cstdint>
#include <map>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "format/block_writer.h"
#include "pack/codepage.h"
#include "pack/identity.h"

namespace pack {

// Message names in the JSON, by message number, and the English text of each one left out.
extern const char* const kMessageKeys[format::kMessageCount];
extern const char* const kDefaultMessages[format::kMessageCount];

// A manifest read from JSON: the block it describes, its texts converted to the code page.
struct Manifest {
    int codePage = kDefaultCodePage;
    // "unattended" as the manifest states it: true writes the read-only and shared-file questions
    // (messages 9 and 10) empty, so that no run waits for an answer; false keeps them. Not stated,
    // `check` warns that runs with /S and /Q can stop at those questions.
    std::optional<bool> unattended;
    format::Block block;
    // The JSON index of each entry of the block's lists: an entry that could not be read is not in
    // the block, and the findings about those after it still name them as the manifest does. Empty
    // for a block that was not read from JSON (each entry is then its own index).
    std::vector<size_t> fileIndex, shortcutIndex, registryIndex, patternIndex;
    // Warnings the author means, by name, on the JSON path of the entry that says so ("files[2]",
    // "settings", "messages", "" for the manifest as a whole): `"accept": ["vendor-key"]`.
    std::map<std::string, std::vector<std::string>> accepted;
    // The tags of the languages the manifest's "language" names (one, or the list to pick from).
    std::vector<std::string> offeredLanguages;
    // False when some part of the manifest could not be read: the block holds the rest.
    bool complete = true;
    // Read from JSON only: the tag of the built-in table that filled the messages left out (empty
    // without "language"), and which messages the manifest gave itself.
    std::string language;
    std::array<bool, format::kMessageCount> givenMessages{};
    // "messagesByLanguage": for each offered language that has an object there (by the table's
    // tag), the key the manifest writes it under and the messages it gives. The chosen language's
    // texts are in the block, in place of those of "messages".
    struct LanguageTexts {
        std::string key;
        std::array<bool, format::kMessageCount> given{};
    };
    std::map<std::string, LanguageTexts> languageTexts;
    // Not part of the block: build writes them into the copy of the stub. "elevation" is the
    // execution level the uninstaller's manifest requests; "product" gives it a version resource.
    Elevation elevation = Elevation::kAdministrator;
    std::optional<ProductIdentity> product;
};

// The JSON path of message `n` as the manifest gives it for the chosen language:
// "messagesByLanguage.de.caption" when that object gives it, else "messages.caption".
std::string MessagePath(const Manifest& manifest, size_t n);

// The JSON path of entry `index` of the block's list `list` ("files", "shortcuts", "registry",
// "patterns"), as the manifest numbers it.
std::string EntryPath(const Manifest& manifest, const char* list, size_t index);

// The fields the reader accepts, by the place of their object: "" the document, "messages" (also each
// language's object of "messagesByLanguage"), "product", "files[]", "shortcuts[]", "registry[]",
// "settings". Anything else at these places is refused.
struct ManifestObjectFields {
    const char* place;
    std::vector<const char*> keys;
};
const std::vector<ManifestObjectFields>& ManifestFields();

// Something wrong at one place of the manifest: `where` is the JSON path ("files[3].flags[1]"),
// empty for the document as a whole.
struct Problem {
    std::string where;
    std::string message;
};

// Formats a problem as "FILE: WHERE: MESSAGE".
std::string DescribeProblem(const std::string& file, const Problem& problem);

struct ManifestOptions {
    // The language picked at build time among those the manifest's "language" list offers.
    std::optional<std::string> language;
};

// Reads manifest JSON. Returns true when the manifest is valid and can be encoded; otherwise
// `problems` names every bad field found, all of them in one pass, and `manifest` holds what could
// be read (for the checks to report on too). A key given twice in one object is a problem. A
// manifest with "language" takes that language's code page and built-in texts for every message it
// leaves out.
[[nodiscard]] bool ParseManifest(std::string_view json, Manifest& manifest, std::vector<Problem>& problems,
                                 const ManifestOptions& options = {});

// Writes the manifest as JSON that ParseManifest reads back to the same block. Returns false when
// a text holds bytes that name no character in the code page (`problems` says where). What the
// manifest cannot say (flag bits without a name, a root that is no predefined key, messages beyond
// the 16 or fewer than them) is written as near as it goes and noted in `notes`.
struct JsonOptions {
    // False leaves out the messages whose text is the English default, which build fills in again
    // (or a "language" added later replaces).
    bool defaultMessages = true;
};
[[nodiscard]] bool ManifestToJson(const Manifest& manifest, std::string& json, std::vector<Problem>& problems,
                                  std::vector<Problem>& notes, const JsonOptions& options = {});

// Registry roots by name (short and long names) and back.
std::optional<uint32_t> RootFromName(std::string_view name);
const char* RootName(uint32_t root);  // the short name, or null for a value that is no predefined root

// File flags by name and back.
std::optional<uint8_t> FileFlagFromName(std::string_view name);
std::vector<std::string> FileFlagNames(uint8_t flags);  // the known flags set, in their bit order

}  // namespace pack
