// What the uninstaller says about itself to Windows, written by the packer into the copy of the stub
// it builds: the execution level its manifest requests (UAC's prompt, or none for a per-user
// uninstaller) and a version resource naming the product (UAC's prompt, Task Manager, the file's
// properties). The stub carries neither room nor code for them: the packer writes the copy's
// resource section anew (format/resource_section.h).
#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "format/block_writer.h"

namespace pack {

// "elevation" in the manifest, and the requestedExecutionLevel each one writes.
enum class Elevation { kAdministrator, kUser, kHighest };
const char* ElevationName(Elevation elevation);   // "administrator", "user", "highest"
const char* ExecutionLevel(Elevation elevation);  // "requireAdministrator", "asInvoker", "highestAvailable"
std::optional<Elevation> ElevationFromName(std::string_view name);

// "product" in the manifest: texts in UTF-8 (the version resource holds UTF-16, so no code page
// limits them).
struct ProductIdentity {
    std::string name;
    std::string version;    // "1.2" to "1.2.3.4", whole numbers of 0 to 65535
    std::string publisher;  // empty: no CompanyName
    bool operator==(const ProductIdentity&) const = default;
};

// Room for one product text, in characters.
inline constexpr size_t kProductTextLimit = 256;

// The four numbers of a version text ("2.1" is 2.1.0.0), or nothing when it is not 1 to 4 whole
// numbers of 0 to 65535 joined by dots.
std::optional<std::array<uint16_t, 4>> ParseFileVersion(std::string_view version);

// The version resource (VS_VERSIONINFO) of the product: the fixed file and product version, and
// the strings FileDescription (`description`, the uninstaller's caption), ProductName,
// ProductVersion, FileVersion and CompanyName, in US English and UTF-16 (040904B0). `description`
// is UTF-8. The version must parse.
format::Bytes EncodeVersionResource(const ProductIdentity& product, const std::string& description);

// The manifest XML with the level of its requestedExecutionLevel set; nothing when the manifest has
// no such element with a quoted level.
std::optional<std::string> SetExecutionLevel(const std::string& xml, Elevation elevation);

// The stub with the execution level and, when given, the product's version resource in its
// resources (the manifest resource 1 is edited; a version resource 1 is added or replaced). Fails,
// saying why, when the stub has no such manifest or its resources cannot be written.
std::optional<format::Bytes> ApplyIdentity(const format::Bytes& stub, Elevation elevation,
                                           const std::optional<ProductIdentity>& product,
                                           const std::string& description, std::string& error);

// What an uninstaller's resources say: the execution level of its manifest, and the product its
// version resource names (as ApplyIdentity wrote them; nothing for what is not there or does not
// read).
struct ImageIdentity {
    std::optional<Elevation> elevation;
    std::optional<ProductIdentity> product;
};
ImageIdentity ReadIdentity(const format::Bytes& image);

// UTF-8 to UTF-16 and back, for the version resource's texts; JSON texts are valid UTF-8.
std::u16string Utf16FromUtf8(std::string_view utf8);
std::string Utf8FromUtf16(std::u16string_view utf16);

}  // namespace pack
