// Where an uninstaller's data-offset field is, found as the program itself reads it: the field is a
// variable in the executable's own section ".uninst" (the marker, then the 32-bit offset, nothing
// else), so the program reads the bytes the section header maps there. The packer follows the same
// headers; it never searches the file, so bytes appended after the image (a block's texts, a file
// name, a decoy) can never be taken for the field.
#pragma once

#include <cstddef>
#include <optional>
#include <string>

#include "format/block_writer.h"

namespace format {

struct DataOffsetLocation {
    size_t field = 0;           // file offset of the 32-bit field
    bool markerIntact = false;  // the six bytes before the field are the marker
    size_t imageEnd = 0;        // end of the headers and the sections' raw data: what follows was appended
};

// Parses the PE headers of `image` (PE32 or PE32+), every read bounded by the file. Fails, saying why
// in `why`, when the file is no PE image, its headers or sections run past its end, or it has not
// exactly one ".uninst" section whose raw data holds the marker and the field. The marker bytes are
// not needed to find the field (the program never reads them); `markerIntact` tells whether they
// are there.
std::optional<DataOffsetLocation> LocateDataOffsetField(const Bytes& image, std::string* why = nullptr);

}  // namespace format
