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

std::optional<DataOffsetLocation> LocateDataOffsetField(const Bytes& image, std::string* why) {
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
    uint16_t sections = ReadU16(coff + 2);
    uint16_t optionalSize = ReadU16(coff + 16);
    uint64_t optional = pe + 4 + kCoffHeaderSize;
    uint16_t magic = ReadU16(p + optional);
    if (optionalSize < 2 || (magic != kPe32Magic && magic != kPe32PlusMagic)) {
        Fail(why, "no PE executable: its optional header is not that of PE32 or PE32+");
        return std::nullopt;
    }
    uint64_t table = optional + optionalSize;
    DataOffsetLocation found;
    // Optional header fields are read only where the size the COFF header declares holds them.
    if (table <= size && optionalSize >= kChecksumAt + 4)
        found.checksumField = static_cast<size_t>(optional + kChecksumAt);
    size_t countAt = magic == kPe32Magic ? kDirectoryCountAt32 : kDirectoryCountAt64;
    uint64_t entry = optional + countAt + 4 + uint64_t{kSecurityDirectory} * kDirectoryEntrySize;
    if (table <= size && entry + kDirectoryEntrySize <= table &&
        ReadU32(p + optional + countAt) > kSecurityDirectory) {
        found.certificatesEntry = static_cast<size_t>(entry);
        found.certificates = CertificateTable{ReadU32(p + entry), ReadU32(p + entry + 4)};
    }
    if (sections == 0 || sections > kMaxSections || table + uint64_t{sections} * kSectionHeaderSize > size) {
        Fail(why, "the PE section table is empty, too long, or runs past the end of the file");
        return std::nullopt;
    }
    found.imageEnd = static_cast<size_t>(table + uint64_t{sections} * kSectionHeaderSize);
    int named = 0;
    for (uint16_t i = 0; i < sections; ++i) {
        const uint8_t* header = p + table + uint64_t{i} * kSectionHeaderSize;
        uint32_t virtualSize = ReadU32(header + 8);
        uint32_t rawSize = ReadU32(header + 16);
        uint32_t rawAt = ReadU32(header + 20);
        uint64_t rawEnd = uint64_t{rawAt} + rawSize;
        if (rawSize != 0 && rawEnd > size) {
            Fail(why, "a PE section's raw data runs past the end of the file: the executable is cut short");
            return std::nullopt;
        }
        if (rawSize != 0) found.imageEnd = std::max(found.imageEnd, static_cast<size_t>(rawEnd));
        if (memcmp(header, kDataOffsetSectionName, sizeof kDataOffsetSectionName) != 0) continue;
        ++named;
        // The loader maps min(virtual size, raw size) bytes from the file and zero-fills the rest:
        // the marker and the field must come from the file.
        if (virtualSize < kFieldEnd || rawSize < kFieldEnd) {
            Fail(why, "the .uninst section is too small to hold the data-offset marker and field");
            return std::nullopt;
        }
        found.field = rawAt + kDataOffsetMarkerSize;
        found.markerIntact = memcmp(p + rawAt, kDataOffsetMarker, kDataOffsetMarkerSize) == 0;
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
