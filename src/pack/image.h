// Files of the packer: manifests, stubs and uninstallers; and the loading of an uninstaller's block
// with the uninstaller's own loader.
#pragma once

#include <optional>
#include <string>
#include <vector>

#include "data/loader.h"
#include "data/uninstall_data.h"
#include "format/block_writer.h"
#include "format/stub_image.h"
#include "pack/identity.h"

namespace pack {

// Reads a file whole; "-" is standard input.
[[nodiscard]] bool ReadWholeFile(const std::string& path, std::string& out, std::string& error);
// Writes the file through a temporary name beside it, so a failed write leaves no half file.
[[nodiscard]] bool WriteWholeFile(const std::string& path, const format::Bytes& bytes, bool executable,
                                  std::string& error);

// What the loader read, freed with it.
struct LoadedData {
    UninstallData data;
};

// How loading an uninstaller's block went.
struct ImageLoad {
    bool opened = false;    // false: the file could not be read (see error)
    bool hasField = false;  // the image has the data-offset field where the program reads it
    uint32_t dataOffset = 0;
    uint64_t fileSize = 0;
    uint64_t imageEnd = 0;  // where the executable's image ends and appended data begins
    uint64_t blockEnd = 0;  // after a load: just past the end record
    int code = 0;           // the loader's result: 0 or a load error code
    LoadFailure failure{};
    std::string error;
    // What the uninstaller does not read or does not need, for the reader to know: altered marker
    // bytes, bytes after the end record, a gap between the image and the block.
    std::vector<std::string> notes;
    // After a load: the Authenticode certificate table that signing appended after the block (at
    // most 7 bytes of zeros between them, the table ending the file), when there is one. It is not
    // verified here: osslsigncode verify (or signtool verify) checks the signature.
    std::optional<format::CertificateTable> signature;
    // What the image's resources say: its execution level and the product its version resource
    // names (see identity.h).
    ImageIdentity identity;
};

// Finds the data-offset field of the file at `path` where the program reads it (its .uninst
// section, through the PE headers; see format/stub_image.h) and loads the block it points at with
// the uninstaller's loader.
ImageLoad LoadImage(const std::string& path, LoadedData& loaded);

// "signed: Authenticode certificate table, N bytes at offset X" for a load with a signature.
std::string DescribeSignature(const format::CertificateTable& table);

// Describes a failed ImageLoad in one line (the load error's code and name, and the record).
std::string DescribeLoadFailure(const std::string& path, const ImageLoad& load);

// What the loader read, as the format library's block (texts as stored, in the code page).
format::Block BlockFromData(const UninstallData& data);

}  // namespace pack
