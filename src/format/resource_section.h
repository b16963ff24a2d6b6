// The resources of a PE image (its resource directory: type, name, language, data), read from an
// image and written back as a new resource section. The packer gives an uninstaller resources the
// stub was not built with (a version resource, another execution level in its manifest) this way,
// so the stub carries no reserved room for them.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "format/block_writer.h"

namespace format {

// Resource types the packer works with (winuser.h's RT_* numbers).
inline constexpr uint16_t kResourceTypeVersion = 16;
inline constexpr uint16_t kResourceTypeManifest = 24;

// A resource's type or name: a number, or a name in UTF-16 code units.
struct ResourceKey {
    uint16_t id = 0;
    std::u16string name;  // not empty: a named entry (`id` unused)

    bool named() const { return !name.empty(); }
    bool operator==(const ResourceKey& other) const { return id == other.id && name == other.name; }
};

struct Resource {
    ResourceKey type;
    ResourceKey name;
    uint16_t language = 0;
    uint32_t codePage = 0;
    Bytes data;
};

// Every resource of the image, in the order of its directory. Fails, saying why, when the image is
// no PE image, has no resource directory, or the directory or a data entry lies outside the
// image's resource section (every read is bounded; a directory nested deeper than the three levels
// of type, name and language is refused).
std::optional<std::vector<Resource>> ReadResources(const Bytes& image, std::string* why = nullptr);

// The image with its resource section written anew to hold exactly `resources`. The section keeps
// its place; the sections after it, which may only be the base relocations (nothing in the program
// refers to their addresses), move by what it grew or shrank. The section table, the data
// directories, SizeOfImage and SizeOfInitializedData follow. A data-offset field that held the
// image's own size (a stub as built and stamped) then holds the new size, and a PE checksum the
// image carries is computed again. Refuses a signed image, one with bytes after its sections,
// and one whose resource directory does not begin its section.
std::optional<Bytes> ReplaceResources(const Bytes& image, const std::vector<Resource>& resources,
                                      std::string* why = nullptr);

}  // namespace format
