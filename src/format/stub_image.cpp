#include "format/stub_image.h"

#include <algorithm>
#include <cstring>

namespace format {

namespace {

constexpr size_t kDosHeaderSize = 0x40;
constexpr size_t kNewHeaderOffsetAt = 0x3C;
constexpr size_t kCoffHeaderSize = 20;
constexpr size_t kSectionHeaderSize = 40;
constexpr uint16_t kPe32Magic = 0x10B;
constexpr uint16_t kPe32PlusMagic = 0x20B;
// The PE format allows at most 96 sections; the Windows loader refuses more.
constexpr uint16_t kMaxSections = 96;
constexpr uint32_t kFieldEnd = kDataOffsetMarkerSize + kDataOffsetFieldSize;
// Offsets in the optional header: the CheckSum (the same in both formats), the count of data
// directories and the directories themselves (PE32+ has a 64-bit image base and stack sizes).
constexpr size_t kChecksumAt = 64;
constexpr size_t kDirectoryCountAt32 = 92;
constexpr size_t kDirectoryCountAt64 = 108;
constexpr uint32_t kSecurityDirectory = 4;
constexpr size_t kDirectoryEntrySize = 8;

bool Fail(std::string* why, const char* text) {
    if (why) *why = text;
    return false;
}

}  // namespace

std::optional<PeHeaders> ReadPeHeaders(const Bytes& image, std::string* why) {
    const size_t size = image.size();
    const uint8_t* p = image.data();
    if (size < kDosHeaderSize || p[0] != 'M' || p[1] != 'Z') {
        Fail(why, "no executable: it does not begin with an MZ header");
        return std::nullopt;
    }
    uint64_t pe = ReadU32(p + kNewHeaderOffsetAt);
    if (pe + 4 + kCoffHeaderSize + 2 > size || memcmp(p + pe, "PE\0\0", 4) != 0) {
        Fail(why, "no PE executable: its PE header is missing or lies past the end of the file");
        return std::nullopt;
    }
    const uint8_t* coff = p + pe + 4;
    uint16_t count = ReadU16(coff + 2);
    PeHeaders h;
    h.optionalSize = ReadU16(coff + 16);
    h.optional = static_cast<size_t>(pe + 4 + kCoffHeaderSize);
    h.magic = ReadU16(p + h.optional);
    if (h.optionalSize < 2 || (h.magic != kPe32Magic && h.magic != kPe32PlusMagic)) {
        Fail(why, "no PE executable: its optional header is not that of PE32 or PE32+");
        return std::nullopt;
    }
    uint64_t table = uint64_t{h.optional} + h.optionalSize;
    if (count == 0 || count > kMaxSections || table + uint64_t{count} * kSectionHeaderSize > size) {
        Fail(why, "the PE section table is empty, too long, or runs past the end of the file");
        return std::nullopt;
    }
    h.imageEnd = static_cast<size_t>(table + uint64_t{count} * kSectionHeaderSize);
    for (uint16_t i = 0; i < count; ++i) {
        PeSection s;
        s.header = static_cast<size_t>(table + uint64_t{i} * kSectionHeaderSize);
        s.virtualSize = ReadU32(p + s.header + 8);
        s.virtualAddress = ReadU32(p + s.header + 12);
        s.rawSize = ReadU32(p + s.header + 16);
        s.rawAt = ReadU32(p + s.header + 20);
        if (s.rawSize != 0 && uint64_t{s.rawAt} + s.rawSize > size) {
            Fail(why, "a PE section's raw data runs past the end of the file: the executable is cut short");
            return std::nullopt;
        }
        if (s.rawSize != 0) h.imageEnd = std::max(h.imageEnd, size_t{s.rawAt} + s.rawSize);
        h.sections.push_back(s);
    }
    return h;
}

std::optional<DataOffsetLocation> LocateDataOffsetField(const Bytes& image, std::string* why) {
    std::optional<PeHeaders> h = ReadPeHeaders(image, why);
    if (!h) return std::nullopt;
    const uint8_t* p = image.data();
    const uint64_t optional = h->optional;
    const uint64_t table = optional + h->optionalSize;
    DataOffsetLocation found;
    found.imageEnd = h->imageEnd;
    // Optional header fields are read only where the size the COFF header declares holds them.
    if (h->optionalSize >= kChecksumAt + 4) found.checksumField = static_cast<size_t>(optional + kChecksumAt);
    size_t countAt = h->magic == kPe32Magic ? kDirectoryCountAt32 : kDirectoryCountAt64;
    uint64_t entry = optional + countAt + 4 + uint64_t{kSecurityDirectory} * kDirectoryEntrySize;
    if (entry + kDirectoryEntrySize <= table && ReadU32(p + optional + countAt) > kSecurityDirectory) {
        found.certificatesEntry = static_cast<size_t>(entry);
        found.certificates = CertificateTable{ReadU32(p + entry), ReadU32(p + entry + 4)};
    }
    int named = 0;
    for (const PeSection& s : h->sections) {
        if (memcmp(p + s.header, kDataOffsetSectionName, sizeof kDataOffsetSectionName) != 0) continue;
        ++named;
        // The loader maps min(virtual size, raw size) bytes from the file and zero-fills the rest:
        // the marker and the field must come from the file.
        if (s.virtualSize < kFieldEnd || s.rawSize < kFieldEnd) {
            Fail(why, "the .uninst section is too small to hold the data-offset marker and field");
            return std::nullopt;
        }
        found.field = s.rawAt + kDataOffsetMarkerSize;
        found.markerIntact = memcmp(p + s.rawAt, kDataOffsetMarker, kDataOffsetMarkerSize) == 0;
    }
    if (named != 1) {
        Fail(why, named == 0 ? "no .uninst section: not an uninstaller built from this project's stub"
                             : "more than one .uninst section: the field the program reads is ambiguous");
        return std::nullopt;
    }
    return found;
}

uint32_t PeChecksum(const Bytes& image, size_t checksumField) {
    const size_t size = image.size();
    // The CheckSum field's own four bytes count as zero.
    auto at = [&](size_t i) -> uint32_t {
        return i >= size || (i >= checksumField && i < checksumField + 4) ? 0 : image[i];
    };
    uint64_t sum = 0;
    for (size_t i = 0; i < size; i += 2) {
        sum += at(i) | (at(i + 1) << 8);
        sum = (sum & 0xFFFF) + (sum >> 16);
    }
    sum = (sum & 0xFFFF) + (sum >> 16);
    return static_cast<uint32_t>(sum + size);
}

}  // namespace format
