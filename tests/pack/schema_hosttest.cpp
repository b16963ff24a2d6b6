// docs/manifest.schema.json, the schema editors check manifests with, against the packer's own
// reader: the same fields at the same places, every example of the schema read by the reader,
// every example manifest valid, and manifests the reader refuses refused by the schema too
// (scripts/validate-manifest.py, with Python's jsonschema).
#include <filesystem>
#include <gtest/gtest.h>
#include <map>
#include <nlohmann/json.hpp>
#include <regex>
#include <set>

#include "pack/check.h"
#include "pack/languages.h"
#include "pack_support.h"

using namespace pack;
using nlohmann::json;
namespace fs = std::filesystem;

namespace {

json Schema() {
    std::string text = pack_testing::ReadText(pack_testing::SourceDir() + "/docs/manifest.schema.json");
    return json::parse(text, nullptr, false);
}

// The schema object that describes the objects at one of the reader's places (ManifestFields).
const json* SchemaAt(const json& schema, const std::string& place) {
    const json& top = schema;
    if (place.empty()) return &top;
    std::string name = place;
    bool item = name.size() > 2 && name.compare(name.size() - 2, 2, "[]") == 0;
    if (item) name.resize(name.size() - 2);
    if (!top.contains("properties") || !top["properties"].contains(name)) return nullptr;
    const json& property = top["properties"][name];
    if (!item) return &property;
    return property.contains("items") ? &property["items"] : nullptr;
}

std::set<std::string> PropertiesOf(const json& object) {
    std::set<std::string> names;
    if (object.contains("properties")) {
        for (const auto& p : object["properties"].items()) names.insert(p.key());
    }
    return names;
}

// A manifest that holds `value` under `key` at `place`, beside what that place requires.
json ManifestWith(const std::string& place, const std::string& key, const json& value) {
    auto entry = [&](json required) {
        required[key] = value;
        return required;
    };
    // Texts by language need the languages they are for.
    if (place.empty() && key == "messagesByLanguage" && value.is_object() && !value.empty())
        return json{{key, value}, {"language", value.begin().key()}};
    if (place.empty()) return json{{key, value}};
    if (place == "product")
        return json{{"product", entry(json{{"name", "Example App"}, {"version", "1.0"}})}};
    if (place == "messages") return json{{"messages", json{{key, value}}}};
    if (place == "settings") return json{{"settings", json{{key, value}}}};
    if (place == "files[]") return json{{"files", json::array({entry(json{{"folder", ".\\"}})})}};
    if (place == "shortcuts[]")
        return json{{"shortcuts", json::array({entry(json{{"folder", "C:\\Example\\Menu"}})})}};
    if (place == "registry[]") {
        return json{
            {"registry", json::array({entry(json{{"root", "HKCU"}, {"key", "Software\\Example Co\\App"}})})}};
    }
    return json();
}

// Runs scripts/validate-manifest.py on the files; its output, one line per file, by file.
std::map<std::string, std::string> Validate(const std::vector<std::string>& files, std::string* failure) {
    std::string script = pack_testing::SourceDir() + "/scripts/validate-manifest.py";
    pack_testing::TempFolder folder;
    std::string list;
    for (const auto& f : files) list += " '" + f + "'";
    // The Python on PATH may be one of its own without the module; Debian's has it from
    // python3-jsonschema (scripts/install-deps.sh).
    std::string command =
        "for p in python3 /usr/bin/python3; do if $p -c 'import jsonschema' 2>/dev/null; then "
        "exec $p '" +
        script + "'" + list + "; fi; done; echo 'no python3 with jsonschema' >&2; exit 2";
    int status = std::system(
        ("(" + command + ") >'" + folder.File("out") + "' 2>'" + folder.File("err") + "'").c_str());
    int code = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    std::map<std::string, std::string> verdicts;
    if (code != 0 && code != 1) {
        *failure = "validate-manifest.py exited with " + std::to_string(code) + ": " +
                   pack_testing::ReadText(folder.File("err"));
        return verdicts;
    }
    std::istringstream out(pack_testing::ReadText(folder.File("out")));
    for (std::string line; std::getline(out, line);) {
        for (const auto& f : files) {
            if (line == "ok " + f || line.rfind("invalid " + f + ":", 0) == 0) verdicts[f] = line;
        }
    }
    return verdicts;
}

// The same fields at the same places: an editor offers what the packer reads, and flags what it refuses.
TEST(ManifestSchema, NamesEveryFieldOfTheReaderAndNoOther) {
    json schema = Schema();
    ASSERT_FALSE(schema.is_discarded()) << "docs/manifest.schema.json is not valid JSON";
    for (const auto& fields : ManifestFields()) {
        SCOPED_TRACE(std::string("place \"") + fields.place + "\"");
        const json* object = SchemaAt(schema, fields.place);
        ASSERT_NE(object, nullptr) << "the schema does not describe this place";
        std::set<std::string> reader(fields.keys.begin(), fields.keys.end());
        EXPECT_EQ(PropertiesOf(*object), reader);
        EXPECT_EQ(object->value("additionalProperties", true), false)
            << "the reader refuses unknown fields here";
        EXPECT_EQ(object->value("type", ""), "object");
    }
    // And no object in the schema that the reader does not know as a place.
    std::set<std::string> places;
    for (const auto& fields : ManifestFields()) places.insert(fields.place);
    for (const auto& p : schema["properties"].items()) {
        const json& property = p.value();
        if (property.contains("properties")) EXPECT_TRUE(places.count(p.key())) << p.key();
        if (property.contains("items") && property["items"].contains("properties")) {
            EXPECT_TRUE(places.count(p.key() + "[]")) << p.key();
        }
    }
}

// Each property's examples, put where the schema describes them, are manifests the reader reads.
TEST(ManifestSchema, TheReaderReadsEveryExampleOfEveryField) {
    json schema = Schema();
    size_t tried = 0, known = 0;
    for (const auto& fields : ManifestFields()) {
        known += fields.keys.size();
        const json* object = SchemaAt(schema, fields.place);
        ASSERT_NE(object, nullptr) << fields.place;
        for (const auto& p : (*object)["properties"].items()) {
            SCOPED_TRACE(std::string(fields.place) + " " + p.key());
            ASSERT_TRUE(p.value().contains("examples")) << "each field has an example for editors";
            ASSERT_TRUE(p.value().contains("description")) << "each field says what it means";
            for (const auto& example : p.value()["examples"]) {
                json manifest = ManifestWith(fields.place, p.key(), example);
                ManifestOptions options;
                if (example.is_array() && p.key() == "language")
                    options.language = example[0].get<std::string>();
                Manifest m;
                std::vector<Problem> problems;
                EXPECT_TRUE(ParseManifest(manifest.dump(), m, problems, options))
                    << manifest.dump() << "\n"
                    << (problems.empty() ? "" : DescribeProblem("m.json", problems[0]));
                ++tried;
            }
        }
    }
    EXPECT_GE(tried, known);
}

// The tag pattern is the built-in tables, in any case, as the reader compares them.
TEST(ManifestSchema, LanguageTagsAreTheBuiltInOnes) {
    json schema = Schema();
    std::regex pattern(schema["$defs"]["languageTag"]["pattern"].get<std::string>(), std::regex::ECMAScript);
    const LanguageTables& tables = BuiltInLanguages();
    ASSERT_FALSE(tables.languages.empty());
    for (const Language& language : tables.languages) {
        std::string upper = language.tag, lower = language.tag;
        for (char& c : upper) c = static_cast<char>(toupper(static_cast<unsigned char>(c)));
        for (char& c : lower) c = static_cast<char>(tolower(static_cast<unsigned char>(c)));
        for (const std::string& tag : {language.tag, upper, lower}) {
            EXPECT_TRUE(std::regex_match(tag, pattern)) << tag;
            EXPECT_NE(FindLanguage(tag), nullptr) << tag;
        }
    }
    for (const char* unknown : {"xx", "pt", "zh", "de-DE", "", "en "}) {
        EXPECT_FALSE(std::regex_match(std::string(unknown), pattern)) << unknown;
        EXPECT_EQ(FindLanguage(unknown), nullptr) << unknown;
    }
}

// "accept" offers editors the names check gives its warnings, no more and no fewer, and every place
// that takes it points at that list.
TEST(ManifestSchema, AcceptNamesAreTheWarningsOfCheck) {
    json schema = Schema();
    std::set<std::string> offered;
    for (const auto& name : schema["$defs"]["accept"]["items"]["enum"])
        offered.insert(name.get<std::string>());
    const auto& names = WarningNames();
    EXPECT_EQ(offered, std::set<std::string>(names.begin(), names.end()));
    for (const auto& fields : ManifestFields()) {
        const json* object = SchemaAt(schema, fields.place);
        ASSERT_NE(object, nullptr) << fields.place;
        EXPECT_EQ((*object)["properties"]["accept"].value("$ref", ""), "#/$defs/accept") << fields.place;
    }
}

// Every manifest the repository ships validates; and a table of manifests the reader refuses for
// their shape is refused by the schema as well (so the validator is not waving everything through).
TEST(ManifestSchema, ExamplesValidateAndWhatTheReaderRefusesTheSchemaRefuses) {
    std::vector<std::string> shipped;
    for (const auto& entry : fs::recursive_directory_iterator(pack_testing::SourceDir() + "/examples")) {
        if (entry.path().extension() == ".json") shipped.push_back(entry.path().string());
    }
    ASSERT_FALSE(shipped.empty());
    struct Refused {
        const char* name;
        const char* json;
    };
    const Refused refused[] = {
        {"unknown-top", R"({"unatended": true})"},
        {"unknown-file-field", R"({"files": [{"folder": ".\\", "name": "a.exe", "flag": ["shared"]}]})"},
        {"unknown-flag", R"({"files": [{"folder": ".\\", "name": "a.exe", "flags": ["sharde"]}]})"},
        {"file-without-folder", R"({"files": [{"name": "a.exe"}]})"},
        {"flags-not-a-list", R"({"files": [{"folder": ".\\", "flags": "shared"}]})"},
        {"levels-too-high", R"({"shortcuts": [{"folder": "C:\\M", "levels": 256}]})"},
        {"levels-negative", R"({"shortcuts": [{"folder": "C:\\M", "levels": -1}]})"},
        {"levels-fraction", R"({"shortcuts": [{"folder": "C:\\M", "levels": 1.5}]})"},
        {"unknown-root", R"({"registry": [{"root": "HKLN", "key": "Software\\X"}]})"},
        {"registry-without-key", R"({"registry": [{"root": "HKCU"}]})"},
        {"empty-pattern", R"({"patterns": [""]})"},
        {"setting-not-bool", R"({"settings": {"waitForRun": "yes"}})"},
        {"unknown-setting", R"({"settings": {"wait": true}})"},
        {"code-page-text", R"({"codePage": "1252"})"},
        {"code-page-zero", R"({"codePage": 0})"},
        {"unknown-language", R"({"language": "xx"})"},
        {"empty-language-list", R"({"language": []})"},
        {"unknown-message", R"({"messages": {"title": "x"}})"},
        {"message-not-text", R"({"messages": {"caption": 5}})"},
        {"schema-not-text", R"({"$schema": 1})"},
        {"unknown-elevation", R"({"elevation": "admin"})"},
        {"product-without-version", R"({"product": {"name": "App"}})"},
        {"product-version-text", R"({"product": {"name": "App", "version": "1.0 beta"}})"},
        {"unknown-product-field", R"({"product": {"name": "App", "version": "1", "vendor": "X"}})"},
        {"texts-of-unknown-language",
         R"({"language": "de", "messagesByLanguage": {"xx": {"caption": "X"}}})"},
        {"unknown-message-of-a-language",
         R"({"language": "de", "messagesByLanguage": {"de": {"title": "X"}}})"},
    };
    pack_testing::TempFolder folder;
    std::vector<std::string> files = shipped;
    for (const auto& r : refused) {
        Manifest m;
        std::vector<Problem> problems;
        EXPECT_FALSE(ParseManifest(r.json, m, problems)) << r.name << ": the reader should refuse it";
        files.push_back(folder.File(std::string(r.name) + ".json"));
        pack_testing::WriteText(files.back(), r.json);
    }
    std::string failure;
    auto verdicts = Validate(files, &failure);
    ASSERT_TRUE(failure.empty()) << failure;
    for (const auto& f : shipped) {
        EXPECT_EQ(verdicts[f], "ok " + f);
        std::string text = pack_testing::ReadText(f);
        Manifest m;
        std::vector<Problem> problems;
        ManifestOptions options;
        EXPECT_TRUE(ParseManifest(text, m, problems, options))
            << f << ": " << (problems.empty() ? "" : DescribeProblem(f, problems[0]));
    }
    for (size_t i = shipped.size(); i < files.size(); ++i) {
        EXPECT_EQ(verdicts[files[i]].rfind("invalid ", 0), 0u) << files[i] << ": " << verdicts[files[i]];
    }
}

}  // namespace
