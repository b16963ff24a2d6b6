// Authenticode signing of a built uninstaller with osslsigncode. The block is attached before
// signing: the signature's hash covers the image and the block (only the checksum, the security
// directory entry and the certificate table itself are left out), so a changed block breaks it,
// and the certificate table the signer appends after the end record is never read as records.
#pragma once

#include <optional>
#include <string>

#include "format/block_writer.h"
#include "format/stub_image.h"

namespace pack {

struct SignOptions {
    std::string certificate;                  // a PKCS#12 file (.pfx, .p12) with the key
    std::optional<std::string> passwordFile;  // its password, read by osslsigncode, never on a command line
    std::optional<std::string> timestampUrl;  // an RFC 3161 time-stamping service
};

// The signing program: the file UNINSTPACK_OSSLSIGNCODE names when that is set, else osslsigncode
// found on PATH (osslsigncode.exe on Windows). Nothing, with `error` saying what to do, when
// there is none.
std::optional<std::string> FindSigner(std::string& error);

// Signs `image` and writes the signed uninstaller to `output`: the image goes to a temporary folder
// beside `output`, osslsigncode signs it there (started with an argument vector, no shell), and
// only a signed file that holds the image unchanged up to its certificate table is renamed to
// `output`. On failure nothing is left beside `output` (an older file there stays as it was) and
// `error` says why, with osslsigncode's own messages (on Windows without osslsigncode, the signtool
// command to run instead). `signature` receives the certificate table.
[[nodiscard]] bool WriteSigned(const std::string& output, const format::Bytes& image, const SignOptions& options,
                               format::CertificateTable& signature, size_t& signedSize, std::string& error);

}  // namespace pack
