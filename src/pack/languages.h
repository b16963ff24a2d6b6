// The packer's built-in message tables: for each language its tag ("de", "pt-BR"), names, ANSI code
// page and the sixteen messages in UTF-8, read from the JSON files of src/pack/languages that the
// build compiles into the program (cmake/languages.cmake).
#pragma once

#include <array>
#include <cstddef>
#include <string>
#include <string_view>
#include <vector>

#include "format/layout.h"

namespace pack {

// One embedded file as it stands in the repository: its file name and its UTF-8 JSON text.
struct EmbeddedLanguageFile {
    const char* name;
    const char* json;
};
extern const EmbeddedLanguageFile kLanguageFiles[];
extern const size_t kLanguageFileCount;

struct Language {
    std::string tag;
    std::string englishName;
    std::string nativeName;  // in the language itself, UTF-8
    int codePage = 0;
    std::array<std::string, format::kMessageCount> messages;  // UTF-8, by message number
};

// Reads one table. Every field and every message must be there, and nothing else; the messages
// are checked against the code page elsewhere (the manifest reader converts them).
[[nodiscard]] bool ParseLanguageTable(std::string_view json, Language& language, std::string& error);

struct LanguageTables {
    std::vector<Language> languages;  // in the order of their file names
    std::vector<std::string> errors;  // "FILE: REASON" for each embedded file that did not read
};

// The embedded tables, read once.
const LanguageTables& BuiltInLanguages();

// The built-in language with this tag (tags compare without case: "pt-br" is "pt-BR"), or null.
const Language* FindLanguage(std::string_view tag);

// "cs, da, de, ..." for error messages.
std::string BuiltInLanguageTags();

}  // namespace pack
