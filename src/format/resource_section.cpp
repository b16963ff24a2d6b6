#include "format/resource_section.h"

#include <algorithm>
#include <cstring>

#include "format/stub_image.h"

namespace format {

namespace {

constexpr uint16_t kPe32Magic = 0x10B;
// Optional header offsets (the same in PE32 and PE32+ up to the data directories).
constexpr size_t kInitializedDataAt = 8;
constexpr size_t kChecksumAt = 64;
constexpr size_t kSectionAlignmentAt = 32;
constexpr size_t kFileAlignmentAt = 36;
constexpr size_t kImageSizeAt = 56;
constexpr size_t kDirectoryCountAt32 = 92;
constexpr size_t kDirectoryCountAt64 = 108;
constexpr uint32_t kResourceDirectory = 2;
constexpr uint32_t kSecurityDirectory = 4;
constexpr uint32_t kRelocationDirectory = 5;
// IMAGE_RESOURCE_DIRECTORY (16 bytes), its entries (8), IMAGE_RESOURCE_DATA_ENTRY (16).
constexpr uint32_t kDirectorySize = 16;
constexpr uint32_t kEntrySize = 8;
constexpr uint32_t kDataEntrySize = 16;
constexpr uint32_t kHighBit = 0x80000000u;
// Resource data is aligned to 8 bytes, as the linker aligns it.
constexpr uint32_t kDataAlignment = 8;

bool Fail(std::string* why, const std::string& text) {
    if (why) *why = text;
    return false;
}

uint32_t AlignUp(uint32_t value, uint32_t alignment) {
    return alignment == 0 ? value : (value + alignment - 1) / alignment * alignment;
}

using Section = PeSection;

// The headers of a PE image with its data directories, every offset checked against the file.
struct Headers : PeHeaders {
    size_t directories = 0;       // file offset of data directory 0
    uint32_t directoryCount = 0;  // data directories the headers hold
    uint32_t sectionAlignment = 0, fileAlignment = 0;

    uint32_t DirectoryRva(uint32_t index, const Bytes& image) const {
        return index < directoryCount ? ReadU32(image.data() + directories + 8 * index) : 0;
    }
    uint32_t DirectorySize(uint32_t index, const Bytes& image) const {
        return index < directoryCount ? ReadU32(image.data() + directories + 8 * index + 4) : 0;
    }
    // The section whose address range holds `rva`, or null.
    const Section* Holding(uint32_t rva) const {
        for (const auto& s : sections) {
            uint32_t span = std::max(s.virtualSize, s.rawSize);
            if (rva >= s.virtualAddress && uint64_t{rva} < uint64_t{s.virtualAddress} + span) return &s;
        }
        return nullptr;
    }
};

std::optional<Headers> ReadHeaders(const Bytes& image, std::string* why) {
    std::optional<PeHeaders> pe = ReadPeHeaders(image, why);
    if (!pe) return std::nullopt;
    Headers h;
    static_cast<PeHeaders&>(h) = std::move(*pe);
    const uint8_t* p = image.data();
    size_t countAt = h.magic == kPe32Magic ? kDirectoryCountAt32 : kDirectoryCountAt64;
    uint64_t table = uint64_t{h.optional} + h.optionalSize;
    if (h.optionalSize < countAt + 4) {
        Fail(why, "no PE executable: its optional header is cut short");
        return std::nullopt;
    }
    h.sectionAlignment = ReadU32(p + h.optional + kSectionAlignmentAt);
    h.fileAlignment = ReadU32(p + h.optional + kFileAlignmentAt);
    h.directories = h.optional + countAt + 4;
    uint64_t room = (table - h.directories) / 8;
    h.directoryCount = static_cast<uint32_t>(std::min<uint64_t>(ReadU32(p + h.optional + countAt), room));
    return h;
}

// Reads the resource tree from the bytes of the resource section, `base` its address.
class TreeReader {
  public:
    TreeReader(const uint8_t* bytes, uint32_t size, uint32_t base)
        : bytes_(bytes), size_(size), base_(base) {}

    bool Read(std::vector<Resource>& out, std::string* why) {
        Resource path;
        return Directory(0, 0, path, out, why);
    }

  private:
    bool Directory(uint32_t at, int level, Resource& path, std::vector<Resource>& out, std::string* why) {
        if (uint64_t{at} + kDirectorySize > size_)
            return Fail(why, "a resource directory lies past the end of the resource section");
        uint32_t entries = uint32_t{ReadU16(bytes_ + at + 12)} + ReadU16(bytes_ + at + 14);
        if (uint64_t{at} + kDirectorySize + uint64_t{entries} * kEntrySize > size_)
            return Fail(why, "a resource directory's entries run past the end of the resource section");
        for (uint32_t i = 0; i < entries; ++i) {
            const uint8_t* entry = bytes_ + at + kDirectorySize + i * kEntrySize;
            uint32_t name = ReadU32(entry), target = ReadU32(entry + 4);
            ResourceKey key;
            if (name & kHighBit) {
                if (!Name(name & ~kHighBit, key.name, why)) return false;
            } else {
                key.id = static_cast<uint16_t>(name);
            }
            if (level == 0) path.type = key;
            if (level == 1) path.name = key;
            if (level == 2) path.language = key.id;
            bool subdirectory = (target & kHighBit) != 0;
            if (subdirectory != (level < 2))
                return Fail(why, "the resource directory is not one of type, name and language");
            if (subdirectory) {
                // Each level is deeper than the one before it, so a loop in the tree ends here.
                if (!Directory(target & ~kHighBit, level + 1, path, out, why)) return false;
            } else if (!Data(target, path, out, why)) {
                return false;
            }
        }
        return true;
    }

    bool Name(uint32_t at, std::u16string& name, std::string* why) {
        if (uint64_t{at} + 2 > size_)
            return Fail(why, "a resource name lies past the end of the resource section");
        uint32_t length = ReadU16(bytes_ + at);
        if (length == 0 || uint64_t{at} + 2 + 2ull * length > size_)
            return Fail(why, "a resource name is empty or runs past the end of the resource section");
        name.clear();
        for (uint32_t i = 0; i < length; ++i)
            name.push_back(static_cast<char16_t>(ReadU16(bytes_ + at + 2 + 2 * i)));
        return true;
    }

    bool Data(uint32_t at, const Resource& path, std::vector<Resource>& out, std::string* why) {
        if (uint64_t{at} + kDataEntrySize > size_)
            return Fail(why, "a resource data entry lies past the end of the resource section");
        uint32_t rva = ReadU32(bytes_ + at), length = ReadU32(bytes_ + at + 4);
        if (rva < base_ || uint64_t{rva - base_} + length > size_)
            return Fail(why, "a resource's data lies outside the resource section");
        Resource r = path;
        r.codePage = ReadU32(bytes_ + at + 8);
        r.data.assign(bytes_ + (rva - base_), bytes_ + (rva - base_) + length);
        out.push_back(std::move(r));
        return true;
    }

    const uint8_t* bytes_;
    uint32_t size_;
    uint32_t base_;
};

// Named entries first, in the order of their names, then numbered ones by number: the order the
// loader's binary search expects.
bool KeyLess(const ResourceKey& a, const ResourceKey& b) {
    if (a.named() != b.named()) return a.named();
    return a.named() ? a.name < b.name : a.id < b.id;
}

// Writes the tree: the three levels of directories, then the data entries, the names and the data.
Bytes WriteTree(std::vector<Resource> resources, uint32_t base) {
    std::stable_sort(resources.begin(), resources.end(), [](const Resource& a, const Resource& b) {
        if (!(a.type == b.type)) return KeyLess(a.type, b.type);
        if (!(a.name == b.name)) return KeyLess(a.name, b.name);
        return a.language < b.language;
    });
    // The directories in the order they are written, each with the range of resources under it.
    struct Node {
        int level;
        size_t first, last;  // resources [first, last)
        uint32_t offset = 0;
        std::vector<size_t> children;  // nodes (levels 0, 1) or resources (level 2)
    };
    std::vector<Node> nodes;
    auto keyAt = [&](size_t i, int level) -> ResourceKey {
        if (level == 0) return resources[i].type;
        if (level == 1) return resources[i].name;
        return ResourceKey{resources[i].language, {}};
    };
    nodes.push_back({0, 0, resources.size()});
    for (size_t n = 0; n < nodes.size(); ++n) {
        int level = nodes[n].level;
        for (size_t i = nodes[n].first; i < nodes[n].last;) {
            size_t j = i + 1;
            while (j < nodes[n].last && keyAt(j, level) == keyAt(i, level)) ++j;
            if (level < 2) {
                nodes[n].children.push_back(nodes.size());
                nodes.push_back({level + 1, i, j});
            } else {
                // Two resources of one type, name and language: the last one stands.
                nodes[n].children.push_back(j - 1);
            }
            i = j;
        }
    }
    uint32_t at = 0;
    for (auto& node : nodes) {
        node.offset = at;
        at += kDirectorySize + kEntrySize * static_cast<uint32_t>(node.children.size());
    }
    std::vector<uint32_t> dataEntry(resources.size(), 0);
    for (const auto& node : nodes) {
        if (node.level != 2) continue;
        for (size_t r : node.children) {
            dataEntry[r] = at;
            at += kDataEntrySize;
        }
    }
    // Names, each once.
    std::vector<std::pair<std::u16string, uint32_t>> names;
    auto nameOffset = [&](const std::u16string& name) -> uint32_t {
        for (const auto& [text, offset] : names)
            if (text == name) return offset;
        names.push_back({name, at});
        at += 2 + 2 * static_cast<uint32_t>(name.size());
        return names.back().second;
    };
    std::vector<uint32_t> nameAt(nodes.size(), 0);
    for (size_t n = 1; n < nodes.size(); ++n) {
        ResourceKey key = keyAt(nodes[n].first, nodes[n].level - 1);
        if (key.named()) nameAt[n] = nameOffset(key.name);
    }
    std::vector<uint32_t> dataAt(resources.size(), 0);
    for (const auto& node : nodes) {
        if (node.level != 2) continue;
        for (size_t r : node.children) {
            at = AlignUp(at, kDataAlignment);
            dataAt[r] = at;
            at += static_cast<uint32_t>(resources[r].data.size());
        }
    }
    Bytes out(at, 0);
    for (size_t n = 0; n < nodes.size(); ++n) {
        const Node& node = nodes[n];
        uint16_t named = 0, numbered = 0;
        for (size_t c : node.children) {
            ResourceKey key = node.level < 2 ? keyAt(nodes[c].first, node.level) : keyAt(c, 2);
            (key.named() ? named : numbered)++;
        }
        out[node.offset + 12] = static_cast<uint8_t>(named);
        out[node.offset + 13] = static_cast<uint8_t>(named >> 8);
        out[node.offset + 14] = static_cast<uint8_t>(numbered);
        out[node.offset + 15] = static_cast<uint8_t>(numbered >> 8);
        for (size_t k = 0; k < node.children.size(); ++k) {
            size_t c = node.children[k];
            size_t entry = node.offset + kDirectorySize + k * kEntrySize;
            if (node.level < 2) {
                ResourceKey key = keyAt(nodes[c].first, node.level);
                PutU32At(out, entry, key.named() ? (nameAt[c] | kHighBit) : key.id);
                PutU32At(out, entry + 4, nodes[c].offset | kHighBit);
            } else {
                PutU32At(out, entry, resources[c].language);
                PutU32At(out, entry + 4, dataEntry[c]);
            }
        }
    }
    for (size_t r = 0; r < resources.size(); ++r) {
        if (dataAt[r] == 0) continue;  // a resource another of its type, name and language replaced
        PutU32At(out, dataEntry[r], base + dataAt[r]);
        PutU32At(out, dataEntry[r] + 4, static_cast<uint32_t>(resources[r].data.size()));
        PutU32At(out, dataEntry[r] + 8, resources[r].codePage);
        std::copy(resources[r].data.begin(), resources[r].data.end(), out.begin() + dataAt[r]);
    }
    for (const auto& [text, offset] : names) {
        out[offset] = static_cast<uint8_t>(text.size());
        out[offset + 1] = static_cast<uint8_t>(text.size() >> 8);
        for (size_t i = 0; i < text.size(); ++i) {
            out[offset + 2 + 2 * i] = static_cast<uint8_t>(text[i]);
            out[offset + 3 + 2 * i] = static_cast<uint8_t>(text[i] >> 8);
        }
    }
    return out;
}

}  // namespace

std::optional<std::vector<Resource>> ReadResources(const Bytes& image, std::string* why) {
    auto headers = ReadHeaders(image, why);
    if (!headers) return std::nullopt;
    uint32_t rva = headers->DirectoryRva(kResourceDirectory, image);
    const Section* section = rva ? headers->Holding(rva) : nullptr;
    if (!section) {
        Fail(why, "the image has no resource directory");
        return std::nullopt;
    }
    // Only what the file holds is read: the loader zero-fills the rest of the section.
    uint32_t inFile =
        std::min(section->virtualSize ? section->virtualSize : section->rawSize, section->rawSize);
    if (rva - section->virtualAddress >= inFile) {
        Fail(why, "the resource directory lies outside its section's raw data");
        return std::nullopt;
    }
    uint32_t skip = rva - section->virtualAddress;
    std::vector<Resource> resources;
    TreeReader reader(image.data() + section->rawAt + skip, inFile - skip, rva);
    if (!reader.Read(resources, why)) return std::nullopt;
    return resources;
}

std::optional<Bytes> ReplaceResources(const Bytes& image, const std::vector<Resource>& resources,
                                      std::string* why) {
    auto headers = ReadHeaders(image, why);
    if (!headers) return std::nullopt;
    const Bytes& in = image;
    if (headers->DirectorySize(kSecurityDirectory, in) != 0) {
        Fail(why, "the image is signed: its resources cannot change without breaking the signature");
        return std::nullopt;
    }
    if (headers->imageEnd != in.size()) {
        Fail(why, "bytes follow the image's sections: not an image as the linker wrote it");
        return std::nullopt;
    }
    uint32_t rva = headers->DirectoryRva(kResourceDirectory, in);
    const Section* found = rva ? headers->Holding(rva) : nullptr;
    if (!found || found->virtualAddress != rva || found->rawSize == 0) {
        Fail(why, "the image has no resource section that begins with its resource directory");
        return std::nullopt;
    }
    const Section rsrc = *found;
    uint32_t relocations = headers->DirectoryRva(kRelocationDirectory, in);
    const uint32_t oldRawEnd = rsrc.rawAt + rsrc.rawSize;
    for (const auto& s : headers->sections) {
        if (s.virtualAddress <= rsrc.virtualAddress) {
            if (s.header != rsrc.header && s.rawSize != 0 && s.rawAt + s.rawSize > rsrc.rawAt) {
                Fail(why, "a section before the resource section has its raw data after it");
                return std::nullopt;
            }
            continue;
        }
        // The program refers to its sections by address: only the relocations, which nothing but
        // their data directory names, may move.
        if (relocations == 0 || s.virtualAddress != relocations || (s.rawSize != 0 && s.rawAt < oldRawEnd)) {
            Fail(why, "a section other than the base relocations follows the resource section");
            return std::nullopt;
        }
    }
    Bytes content = WriteTree(resources, rsrc.virtualAddress);
    const uint32_t newSize = static_cast<uint32_t>(content.size());
    const uint32_t newRaw = AlignUp(newSize, headers->fileAlignment);
    const uint32_t oldVirtual = rsrc.virtualSize ? rsrc.virtualSize : rsrc.rawSize;
    const int64_t deltaRaw = int64_t{newRaw} - rsrc.rawSize;
    const int64_t deltaVirtual = int64_t{AlignUp(rsrc.virtualAddress + newSize, headers->sectionAlignment)} -
                                 AlignUp(rsrc.virtualAddress + oldVirtual, headers->sectionAlignment);
    content.resize(newRaw, 0);
    Bytes out(in.begin(), in.begin() + rsrc.rawAt);
    out.insert(out.end(), content.begin(), content.end());
    out.insert(out.end(), in.begin() + oldRawEnd, in.end());
    auto add = [&out](size_t at, int64_t delta) {
        PutU32At(out, at, static_cast<uint32_t>(int64_t{ReadU32(out.data() + at)} + delta));
    };
    PutU32At(out, rsrc.header + 8, newSize);
    PutU32At(out, rsrc.header + 16, newRaw);
    for (const auto& s : headers->sections) {
        if (s.virtualAddress <= rsrc.virtualAddress) continue;
        add(s.header + 12, deltaVirtual);
        if (s.rawSize != 0) add(s.header + 20, deltaRaw);
    }
    for (uint32_t d = 0; d < headers->directoryCount; ++d) {
        size_t entry = headers->directories + 8 * d;
        uint32_t at = ReadU32(out.data() + entry);
        if (d == kResourceDirectory) {
            PutU32At(out, entry + 4, newSize);
        } else if (d != kSecurityDirectory && at > rsrc.virtualAddress) {
            add(entry, deltaVirtual);
        }
    }
    add(headers->optional + kImageSizeAt, deltaVirtual);
    add(headers->optional + kInitializedDataAt, deltaRaw);
    auto located = LocateDataOffsetField(out);
    if (located && ReadU32(out.data() + located->field) == in.size())
        PutU32At(out, located->field, static_cast<uint32_t>(out.size()));
    // The linker's checksum (0: none) is made right for the new file.
    const size_t checksum = headers->optional + kChecksumAt;
    if (ReadU32(out.data() + checksum) != 0) PutU32At(out, checksum, PeChecksum(out, checksum));
    return out;
}

}  // namespace format
