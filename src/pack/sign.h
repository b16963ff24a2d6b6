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

// Signs `image` into `signedImage`: the image goes to a temporary folder of its own (under TMPDIR,
// on Windows the user's temporary folder), osslsigncode signs it there (started with an argument
// vector, no shell), and only a signed file that holds the image unchanged up to its certificate
// table is taken. The caller writes it to `output` (named in messages, and in the signtool command
// offered on Windows when no osslsigncode is found). On failure `error` says why, with
// osslsigncode's own messages, and nothing is left behind. `signature` receives the certificate table.
[[nodiscard]] bool SignImage(const format::Bytes& image, const SignOptions& options,
                             const std::string& output, format::Bytes& signedImage,
                             format::CertificateTable& signature, std::string& error);

}  // namespace pack
