#include "pack/languages.h"

#include <nlohmann/json.hpp>

#include "pack/manifest.h"

namespace pack {

namespace {

using nlohmann::json;

bool SameTag(std::string_view a, std::string_view b) {
    if (a.size() != b.size()) return false;
    for (size_t i = 0; i < a.size(); ++i) {
        char x = a[i] >= 'A' && a[i] <= 'Z' ? static_cast<char>(a[i] - 'A' + 'a') : a[i];
        char y = b[i] >= 'A' && b[i] <= 'Z' ? static_cast<char>(b[i] - 'A' + 'a') : b[i];
        if (x != y) return false;
    }
    return true;
}

bool StringField(const json& doc, const char* key, std::string& out, std::string& error) {
    auto found = doc.find(key);
    if (found == doc.end() || !found->is_string() || found->get_ref<const std::string&>().empty()) {
        error = std::string("\"") + key + "\" must be a non-empty string";
        return false;
    }
    out = found->get<std::string>();
    return true;
}

LanguageTables ReadEmbedded() {
    LanguageTables tables;
    for (size_t i = 0; i < kLanguageFileCount; ++i) {
        Language language;
        std::string error;
        std::string name = kLanguageFiles[i].name;
        if (!ParseLanguageTable(kLanguageFiles[i].json, language, error)) {
            tables.errors.push_back(name + ": " + error);
        } else if (name != language.tag + ".json") {
            tables.errors.push_back(name + ": holds the tag \"" + language.tag +
                                    "\"; the file must be named after it");
        } else {
            tables.languages.push_back(std::move(language));
        }
    }
    return tables;
}

}  // namespace

bool ParseLanguageTable(std::string_view text, Language& language, std::string& error) {
    json doc = json::parse(text.begin(), text.end(), nullptr, false);
    if (doc.is_discarded() || !doc.is_object()) {
        error = "not a JSON object";
        return false;
    }
    for (const auto& item : doc.items()) {
        const std::string& key = item.key();
        if (key != "tag" && key != "englishName" && key != "nativeName" && key != "codePage" &&
            key != "messages") {
            error = "unknown field \"" + key + "\"";
            return false;
        }
    }
    if (!StringField(doc, "tag", language.tag, error) ||
        !StringField(doc, "englishName", language.englishName, error) ||
        !StringField(doc, "nativeName", language.nativeName, error)) {
        return false;
    }
    auto page = doc.find("codePage");
    if (page == doc.end() || !page->is_number_integer() || page->get<int64_t>() < 1 ||
        page->get<int64_t>() > 65535) {
        error = "\"codePage\" must be a code page number";
        return false;
    }
    language.codePage = page->get<int>();
    auto messages = doc.find("messages");
    if (messages == doc.end() || !messages->is_object() || messages->size() != format::kMessageCount) {
        error =
            "\"messages\" must hold the " + std::to_string(format::kMessageCount) + " messages, each once";
        return false;
    }
    for (int i = 0; i < format::kMessageCount; ++i) {
        auto text = messages->find(kMessageKeys[i]);
        if (text == messages->end() || !text->is_string()) {
            error = std::string("messages.") + kMessageKeys[i] + " is missing or not a string";
            return false;
        }
        language.messages[i] = text->get<std::string>();
    }
    return true;
}

const LanguageTables& BuiltInLanguages() {
    static const LanguageTables tables = ReadEmbedded();
    return tables;
}

const Language* FindLanguage(std::string_view tag) {
    for (const Language& language : BuiltInLanguages().languages) {
        if (SameTag(language.tag, tag)) return &language;
    }
    return nullptr;
}

std::string BuiltInLanguageTags() {
    std::string tags;
    for (const Language& language : BuiltInLanguages().languages)
        tags += (tags.empty() ? "" : ", ") + language.tag;
    return tags;
}

}  // namespace pack
