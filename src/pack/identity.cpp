#include "pack/identity.h"

#include <vector>

#include "format/resource_section.h"

namespace pack {

using format::Bytes;

namespace {

struct LevelName {
    Elevation elevation;
    const char* name;
    const char* level;
};
constexpr LevelName kLevels[] = {
    {Elevation::kAdministrator, "administrator", "requireAdministrator"},
    {Elevation::kUser, "user", "asInvoker"},
    {Elevation::kHighest, "highest", "highestAvailable"},
};

// VS_FIXEDFILEINFO: its signature and structure version, VFT_APP, VOS__WINDOWS32 (the stub runs on
// the 9x family and NT alike).
constexpr uint32_t kFixedSignature = 0xFEEF04BD;
constexpr uint32_t kFixedStructVersion = 0x00010000;
constexpr uint32_t kFileFlagsMask = 0x3F;
constexpr uint32_t kFileOsWindows32 = 0x00000004;
constexpr uint32_t kFileTypeApp = 1;
constexpr uint16_t kUsEnglish = 0x0409;
constexpr uint16_t kUnicodeCodePage = 1200;
constexpr uint16_t kResourceId = 1;

void Put16(Bytes& out, uint16_t value) {
    out.push_back(static_cast<uint8_t>(value));
    out.push_back(static_cast<uint8_t>(value >> 8));
}

void PutText16(Bytes& out, const std::u16string& text) {
    for (char16_t c : text) Put16(out, static_cast<uint16_t>(c));
    Put16(out, 0);
}

void PadTo4(Bytes& out) {
    while (out.size() % 4) out.push_back(0);
}

// One node of the version resource: wLength, wValueLength, wType, its key, its value and its
// children, each of them aligned to 4 bytes. wLength counts no padding after the last child.
Bytes VersionNode(const std::u16string& key, const Bytes& value, uint16_t valueLength, uint16_t type,
                  const std::vector<Bytes>& children) {
    Bytes out;
    Put16(out, 0);
    Put16(out, valueLength);
    Put16(out, type);
    PutText16(out, key);
    PadTo4(out);
    out.insert(out.end(), value.begin(), value.end());
    for (const auto& child : children) {
        PadTo4(out);
        out.insert(out.end(), child.begin(), child.end());
    }
    out[0] = static_cast<uint8_t>(out.size());
    out[1] = static_cast<uint8_t>(out.size() >> 8);
    return out;
}

Bytes StringNode(const char16_t* key, const std::string& utf8) {
    std::u16string text = Utf16FromUtf8(utf8);
    Bytes value;
    PutText16(value, text);
    return VersionNode(key, value, static_cast<uint16_t>(text.size() + 1), 1, {});
}

// The nodes below `at` up to `end` of a version resource, each as (key, value bytes, children
// range); a node that runs past its parent ends the walk.
struct Node {
    std::u16string key;
    size_t valueAt = 0, valueLength = 0;  // in bytes
    size_t childrenAt = 0, end = 0;
};

std::optional<Node> ReadNode(const Bytes& bytes, size_t at, size_t end, bool textValue) {
    if (at + 6 > end) return std::nullopt;
    size_t length = format::ReadU16(bytes.data() + at);
    size_t valueLength = format::ReadU16(bytes.data() + at + 2);
    if (length < 6 || at + length > end) return std::nullopt;
    Node node;
    node.end = at + length;
    size_t p = at + 6;
    while (p + 2 <= node.end && format::ReadU16(bytes.data() + p) != 0) {
        node.key.push_back(static_cast<char16_t>(format::ReadU16(bytes.data() + p)));
        p += 2;
    }
    if (p + 2 > node.end) return std::nullopt;
    p = (p + 2 + 3) / 4 * 4;
    node.valueAt = p;
    node.valueLength = textValue ? 2 * valueLength : valueLength;
    if (node.valueAt + node.valueLength > node.end) node.valueLength = node.end > p ? node.end - p : 0;
    node.childrenAt = (node.valueAt + node.valueLength + 3) / 4 * 4;
    return node;
}

// The strings of the first string table of a version resource, by key.
std::vector<std::pair<std::u16string, std::u16string>> VersionStrings(const Bytes& bytes) {
    std::vector<std::pair<std::u16string, std::u16string>> strings;
    auto root = ReadNode(bytes, 0, bytes.size(), false);
    if (!root || root->key != u"VS_VERSION_INFO") return strings;
    for (size_t at = root->childrenAt; at < root->end;) {
        auto info = ReadNode(bytes, at, root->end, false);
        if (!info) break;
        if (info->key == u"StringFileInfo") {
            auto table = ReadNode(bytes, info->childrenAt, info->end, false);
            for (size_t s = table ? table->childrenAt : info->end; table && s < table->end;) {
                auto string = ReadNode(bytes, s, table->end, true);
                if (!string) break;
                std::u16string value;
                for (size_t i = 0; i + 1 < string->valueLength; i += 2) {
                    char16_t c = static_cast<char16_t>(format::ReadU16(bytes.data() + string->valueAt + i));
                    if (c == 0) break;
                    value.push_back(c);
                }
                strings.push_back({string->key, value});
                s = (string->end + 3) / 4 * 4;
            }
            break;
        }
        at = (info->end + 3) / 4 * 4;
    }
    return strings;
}

}  // namespace

const char* ElevationName(Elevation elevation) {
    for (const auto& l : kLevels)
        if (l.elevation == elevation) return l.name;
    return "";
}

const char* ExecutionLevel(Elevation elevation) {
    for (const auto& l : kLevels)
        if (l.elevation == elevation) return l.level;
    return "";
}

std::optional<Elevation> ElevationFromName(std::string_view name) {
    for (const auto& l : kLevels)
        if (name == l.name) return l.elevation;
    return std::nullopt;
}

std::optional<std::array<uint16_t, 4>> ParseFileVersion(std::string_view version) {
    std::array<uint16_t, 4> parts{};
    size_t count = 0;
    size_t at = 0;
    while (true) {
        size_t digits = 0;
        uint32_t value = 0;
        while (at < version.size() && version[at] >= '0' && version[at] <= '9' && digits < 6) {
            value = value * 10 + static_cast<uint32_t>(version[at] - '0');
            ++at;
            ++digits;
        }
        if (digits == 0 || value > 0xFFFF || count == 4) return std::nullopt;
        parts[count++] = static_cast<uint16_t>(value);
        if (at == version.size()) return parts;
        if (version[at] != '.') return std::nullopt;
        ++at;
    }
}

Bytes EncodeVersionResource(const ProductIdentity& product, const std::string& description) {
    std::array<uint16_t, 4> v = ParseFileVersion(product.version).value_or(std::array<uint16_t, 4>{});
    uint32_t high = (uint32_t{v[0]} << 16) | v[1];
    uint32_t low = (uint32_t{v[2]} << 16) | v[3];
    Bytes fixed;
    for (uint32_t field : {kFixedSignature, kFixedStructVersion, high, low, high, low, kFileFlagsMask, 0u,
                           kFileOsWindows32, kFileTypeApp, 0u, 0u, 0u})
        format::PutU32(fixed, field);
    std::vector<Bytes> strings;
    if (!product.publisher.empty()) strings.push_back(StringNode(u"CompanyName", product.publisher));
    strings.push_back(StringNode(u"FileDescription", description.empty() ? product.name : description));
    strings.push_back(StringNode(u"FileVersion", product.version));
    strings.push_back(StringNode(u"ProductName", product.name));
    strings.push_back(StringNode(u"ProductVersion", product.version));
    Bytes table = VersionNode(u"040904B0", {}, 0, 1, strings);
    Bytes stringInfo = VersionNode(u"StringFileInfo", {}, 0, 1, {table});
    Bytes translation;
    Put16(translation, kUsEnglish);
    Put16(translation, kUnicodeCodePage);
    Bytes var = VersionNode(u"Translation", translation, 4, 0, {});
    Bytes varInfo = VersionNode(u"VarFileInfo", {}, 0, 1, {var});
    return VersionNode(u"VS_VERSION_INFO", fixed, static_cast<uint16_t>(fixed.size()), 0,
                       {stringInfo, varInfo});
}

std::optional<std::string> SetExecutionLevel(const std::string& xml, Elevation elevation) {
    size_t element = xml.find("<requestedExecutionLevel");
    if (element == std::string::npos) return std::nullopt;
    size_t close = xml.find('>', element);
    size_t level = xml.find("level=", element);
    if (close == std::string::npos || level == std::string::npos || level > close) return std::nullopt;
    size_t open = level + 6;
    char quote = xml[open];
    if (quote != '"' && quote != '\'') return std::nullopt;
    size_t end = xml.find(quote, open + 1);
    if (end == std::string::npos || end > close) return std::nullopt;
    return xml.substr(0, open + 1) + ExecutionLevel(elevation) + xml.substr(end);
}

std::optional<Bytes> ApplyIdentity(const Bytes& stub, Elevation elevation,
                                   const std::optional<ProductIdentity>& product,
                                   const std::string& description, std::string& error) {
    std::string why;
    auto resources = format::ReadResources(stub, &why);
    if (!resources) {
        error = "the stub's resources cannot be read: " + why;
        return std::nullopt;
    }
    bool edited = false;
    uint16_t language = kUsEnglish;
    for (auto& r : *resources) {
        if (r.type.named() || r.type.id != format::kResourceTypeManifest || r.name.named() ||
            r.name.id != kResourceId)
            continue;
        auto xml = SetExecutionLevel(std::string(r.data.begin(), r.data.end()), elevation);
        if (!xml) {
            error = "the stub's manifest resource has no requestedExecutionLevel with a level";
            return std::nullopt;
        }
        r.data.assign(xml->begin(), xml->end());
        language = r.language;
        edited = true;
    }
    if (!edited) {
        error = "the stub has no manifest resource 1 to set the execution level in";
        return std::nullopt;
    }
    if (product) {
        std::erase_if(*resources, [](const format::Resource& r) {
            return !r.type.named() && r.type.id == format::kResourceTypeVersion;
        });
        format::Resource version;
        version.type.id = format::kResourceTypeVersion;
        version.name.id = kResourceId;
        version.language = language;
        version.data = EncodeVersionResource(*product, description);
        resources->push_back(std::move(version));
    }
    auto image = format::ReplaceResources(stub, *resources, &why);
    if (!image) {
        error = "the stub's resources cannot be written anew: " + why;
        return std::nullopt;
    }
    return image;
}

ImageIdentity ReadIdentity(const Bytes& image) {
    ImageIdentity identity;
    auto resources = format::ReadResources(image);
    if (!resources) return identity;
    for (const auto& r : *resources) {
        if (r.type.named() || r.name.named() || r.name.id != kResourceId) continue;
        if (r.type.id == format::kResourceTypeManifest) {
            std::string xml(r.data.begin(), r.data.end());
            for (const auto& l : kLevels) {
                auto same = SetExecutionLevel(xml, l.elevation);
                if (same && *same == xml) identity.elevation = l.elevation;
            }
        } else if (r.type.id == format::kResourceTypeVersion) {
            ProductIdentity product;
            bool named = false;
            for (const auto& [key, value] : VersionStrings(r.data)) {
                if (key == u"ProductName") {
                    product.name = Utf8FromUtf16(value);
                    named = true;
                }
                if (key == u"ProductVersion") product.version = Utf8FromUtf16(value);
                if (key == u"CompanyName") product.publisher = Utf8FromUtf16(value);
            }
            if (named) identity.product = product;
        }
    }
    return identity;
}

std::u16string Utf16FromUtf8(std::string_view utf8) {
    std::u16string out;
    for (size_t i = 0; i < utf8.size();) {
        unsigned char c = static_cast<unsigned char>(utf8[i]);
        uint32_t code = c;
        size_t extra = c >= 0xF0 ? 3 : c >= 0xE0 ? 2 : c >= 0xC0 ? 1 : 0;
        if (extra) code = c & (0x3F >> extra);
        if (i + extra >= utf8.size()) extra = utf8.size() - i - 1;  // cut short: what is there
        for (size_t k = 1; k <= extra; ++k)
            code = (code << 6) | (static_cast<unsigned char>(utf8[i + k]) & 0x3F);
        i += extra + 1;
        if (code >= 0x10000) {
            code -= 0x10000;
            out.push_back(static_cast<char16_t>(0xD800 + (code >> 10)));
            out.push_back(static_cast<char16_t>(0xDC00 + (code & 0x3FF)));
        } else {
            out.push_back(static_cast<char16_t>(code));
        }
    }
    return out;
}

std::string Utf8FromUtf16(std::u16string_view utf16) {
    std::string out;
    for (size_t i = 0; i < utf16.size(); ++i) {
        uint32_t code = utf16[i];
        if (code >= 0xD800 && code < 0xDC00 && i + 1 < utf16.size() && utf16[i + 1] >= 0xDC00 &&
            utf16[i + 1] < 0xE000) {
            code = 0x10000 + ((code - 0xD800) << 10) + (utf16[++i] - 0xDC00);
        }
        if (code < 0x80) {
            out += static_cast<char>(code);
        } else if (code < 0x800) {
            out += static_cast<char>(0xC0 | (code >> 6));
            out += static_cast<char>(0x80 | (code & 0x3F));
        } else if (code < 0x10000) {
            out += static_cast<char>(0xE0 | (code >> 12));
            out += static_cast<char>(0x80 | ((code >> 6) & 0x3F));
            out += static_cast<char>(0x80 | (code & 0x3F));
        } else {
            out += static_cast<char>(0xF0 | (code >> 18));
            out += static_cast<char>(0x80 | ((code >> 12) & 0x3F));
            out += static_cast<char>(0x80 | ((code >> 6) & 0x3F));
            out += static_cast<char>(0x80 | (code & 0x3F));
        }
    }
    return out;
}

}  // namespace pack
