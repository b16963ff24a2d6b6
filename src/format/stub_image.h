// Where an uninstaller's data-offset field is, found as the program itself reads it: the field is a
// variable at the start of the executable's own section ".uninst" (the marker, then the 32-bit
// offset), so the program reads the bytes the section header maps there. The packer follows the same
// headers; it never searches the file, so bytes appended after the image (a block's texts, a file
// name, a decoy) can never be taken for the field.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "format/block_writer.h"

namespace format {

// The security directory (data directory 4) of a PE image: the file offset and size of the
// certificate table that Authenticode signing appends at the end of the file. Unlike every other
// data directory its address is a file offset, not an RVA; the loader never maps the table.
struct CertificateTable {
    uint32_t offset = 0;
    uint32_t size = 0;
};

// A section of a PE image as its header describes it.
struct PeSection {
    size_t header = 0;  // file offset of its 40-byte header
    uint32_t virtualSize = 0, virtualAddress = 0, rawSize = 0, rawAt = 0;
};

// The headers of a PE image (PE32 or PE32+), every offset checked against the file.
struct PeHeaders {
    size_t optional = 0;        // file offset of the optional header
    uint16_t optionalSize = 0;  // its size as the COFF header declares it
    uint16_t magic = 0;         // 0x10B PE32, 0x20B PE32+
    std::vector<PeSection> sections;
    size_t imageEnd = 0;  // end of the headers and the sections' raw data: what follows was appended
};

// Reads the MZ and PE headers and the section table of `image`, every read bounded by the file. Fails,
// saying why in `why`, when the file is no PE32 or PE32+ image, or its section table or a section's
// raw data runs past its end. The one reader of the headers: the stamp, the packer and the resource
// writer all start from it.
std::optional<PeHeaders> ReadPeHeaders(const Bytes& image, std::string* why = nullptr);

struct DataOffsetLocation {
    size_t field = 0;           // file offset of the 32-bit field
    bool markerIntact = false;  // the six bytes before the field are the marker
    size_t imageEnd = 0;        // end of the headers and the sections' raw data: what follows was appended
    size_t checksumField = 0;   // file offset of the optional header's 32-bit CheckSum (0: none)
    // The security directory's entry as the headers hold it (empty when the image has no room for
    // the entry); not checked against the file.
    std::optional<CertificateTable> certificates;
    size_t certificatesEntry = 0;  // file offset of that entry (8 bytes), when there is one
};

// Parses the PE headers of `image` (PE32 or PE32+), every read bounded by the file. Fails, saying why
// in `why`, when the file is no PE image, its headers or sections run past its end, or it has not
// exactly one ".uninst" section whose raw data holds the marker and the field. The marker bytes are
// not needed to find the field (the program never reads them); `markerIntact` tells whether they
// are there.
std::optional<DataOffsetLocation> LocateDataOffsetField(const Bytes& image, std::string* why = nullptr);

// The PE checksum of `image` as the platform's CheckSumMappedFile computes it: the 16-bit one's
// complement sum of the whole file with the CheckSum field at `checksumField` taken as zero, plus
// the file's length. Windows checks it only for drivers and boot-time images, but signing tools
// set it, and a stale one is reported by every PE verifier.
uint32_t PeChecksum(const Bytes& image, size_t checksumField);

}  // namespace format
