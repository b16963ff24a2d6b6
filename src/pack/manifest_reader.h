// What the reading and the writing of manifests share, private to manifest*.cpp: JSON paths, the
// registry roots' names, and the Reader that turns a document's values into the block's texts.
#pragma once

#include <nlohmann/json.hpp>
#include <string>

#include "pack/codepage.h"
#include "pack/json_text.h"
#include "pack/manifest.h"
#include "pack/suggest.h"

namespace pack {

using nlohmann::json;
using namespace format;

struct RootInfo {
    const char* shortName;
    const char* longName;
    uint32_t value;
};
// The registry roots by short and long name, in the order of their values.
extern const RootInfo kRoots[7];

inline std::string Field(const std::string& path, const char* key) {
    return path.empty() ? key : path + "." + key;
}
inline std::string Item(const std::string& path, size_t index) {
    return path + "[" + std::to_string(index) + "]";
}

inline std::string Quoted(const std::string& utf8) {
    return JsonString(utf8);
}

inline const char* TypeName(const json& j) {
    return j.type_name();
}

// Reads the parts of a manifest document, converting texts to the code page and collecting every
// problem with its JSON path.
class Reader {
  public:
    Reader(std::vector<Problem>& problems) : problems_(problems) {}

    void Fail(const std::string& where, const std::string& message) { problems_.push_back({where, message}); }

    // True when `j` is an object whose keys are all among the fields of `place` (ManifestFields).
    bool Object(const json& j, const std::string& where, std::string_view place) {
        if (!j.is_object()) {
            Fail(where, std::string("must be an object, not ") + TypeName(j));
            return false;
        }
        const std::vector<const char*>* allowed = nullptr;
        for (const auto& fields : ManifestFields()) {
            if (place == fields.place) allowed = &fields.keys;
        }
        for (const auto& item : j.items()) {
            bool known = false;
            for (const char* key : *allowed) known = known || item.key() == key;
            if (!known) {
                std::vector<std::string> names(allowed->begin(), allowed->end());
                Fail(Field(where, item.key().c_str()), "unknown field" + DidYouMean(item.key(), names));
            }
        }
        return true;
    }

    bool Array(const json& j, const std::string& where) {
        if (j.is_array()) return true;
        Fail(where, std::string("must be an array, not ") + TypeName(j));
        return false;
    }

    // A text, converted to the code page. Missing optional texts give `fallback`.
    std::optional<std::string> Text(const json& parent, const char* key, const std::string& where,
                                    std::optional<std::string> fallback = std::nullopt) {
        auto found = parent.find(key);
        if (found == parent.end()) {
            if (!fallback) Fail(where, "is missing");
            return fallback;
        }
        return TextValue(*found, where);
    }

    // A text, converted to the code page; paths and keys (the default) also refuse characters the
    // page turns into ASCII ones (see CodePage::Use).
    std::optional<std::string> TextValue(const json& j, const std::string& where,
                                         CodePage::Use use = CodePage::Use::kPath) {
        if (!j.is_string()) {
            Fail(where, std::string("must be a string, not ") + TypeName(j));
            return std::nullopt;
        }
        const std::string& utf8 = j.get_ref<const std::string&>();
        if (utf8.find('\0') != std::string::npos) {
            Fail(where, "holds a NUL character, which would end the text early");
            return std::nullopt;
        }
        std::string converted;
        std::string error;
        if (!page_) return utf8;
        if (!page_->FromUtf8(utf8, converted, error, use)) {
            Fail(where, error);
            return std::nullopt;
        }
        if (converted.size() > 0xFFFF) {
            Fail(where, "is " + std::to_string(converted.size()) + " bytes long; a text holds at most 65535");
            return std::nullopt;
        }
        return converted;
    }

    bool Bool(const json& parent, const char* key, const std::string& where) {
        auto found = parent.find(key);
        if (found == parent.end()) return false;
        if (!found->is_boolean()) {
            Fail(where, std::string("must be true or false, not ") + TypeName(*found));
            return false;
        }
        return found->get<bool>();
    }

    std::optional<int64_t> Integer(const json& j, const std::string& where, int64_t low, int64_t high) {
        if (!j.is_number_integer()) {
            Fail(where, std::string("must be a whole number, not ") + TypeName(j));
            return std::nullopt;
        }
        int64_t value =
            j.is_number_unsigned() && j.get<uint64_t>() > INT64_MAX ? INT64_MAX : j.get<int64_t>();
        if (value < low || value > high) {
            Fail(where, "must be from " + std::to_string(low) + " to " + std::to_string(high) + ", not " +
                            std::to_string(value));
            return std::nullopt;
        }
        return value;
    }

    void SetCodePage(const CodePage* page) { page_ = page; }

    // An entry's "accept": the names of the warnings about it that the author means.
    void Accept(const json& parent, const std::string& where, Manifest& manifest) {
        auto found = parent.find("accept");
        if (found == parent.end()) return;
        std::string field = Field(where, "accept");
        if (!Array(*found, field)) return;
        std::vector<std::string>& names = manifest.accepted[where];
        for (size_t k = 0; k < found->size(); ++k) {
            const json& name = (*found)[k];
            if (!name.is_string()) {
                Fail(Item(field, k), std::string("must be the name of a warning, not ") + TypeName(name));
            } else {
                names.push_back(name.get<std::string>());
            }
        }
    }

  private:
    std::vector<Problem>& problems_;
    const CodePage* page_ = nullptr;
};

}  // namespace pack
