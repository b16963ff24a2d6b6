// The built-in message tables: every table complete, formattable as the English one, encodable in
// its code page, with usable button mnemonics; and "language" in a manifest (one or a list to pick
// from with --language), as build and dump see it.
#include "pack/languages.h"

#include <algorithm>
#include <gtest/gtest.h>
#include <nlohmann/json.hpp>
#include <set>

#include "pack/check.h"
#include "pack/codepage.h"
#include "pack_support.h"

using pack::BuiltInLanguages;
using pack::Language;
using pack_testing::FakeStub;
using pack_testing::ReadText;
using pack_testing::RunPacker;
using pack_testing::TempFolder;
using pack_testing::WriteBytes;
using pack_testing::WriteText;

namespace {

const Language& English() {
    const Language* english = pack::FindLanguage("en");
    EXPECT_NE(english, nullptr);
    return *english;
}

// The printf directives of a text in order: "%s", "%%", "%d", ...
std::vector<std::string> Directives(const std::string& text) {
    std::vector<std::string> found;
    for (size_t i = 0; i + 1 < text.size(); ++i) {
        if (text[i] != '%') continue;
        found.push_back(text.substr(i, 2));
        ++i;
    }
    return found;
}

// Code point of the UTF-8 character at `i`, lower-cased for the scripts of the tables (Latin,
// Greek with its accented capitals, Cyrillic); `i` moves past it.
char32_t LowerCharacterAt(const std::string& text, size_t& i) {
    unsigned char lead = static_cast<unsigned char>(text[i]);
    size_t n = lead < 0x80 ? 1 : lead >= 0xF0 ? 4 : lead >= 0xE0 ? 3 : 2;
    char32_t c = n == 1 ? lead : lead & (0x7F >> n);
    for (size_t k = 1; k < n && i + k < text.size(); ++k) c = (c << 6) | (text[i + k] & 0x3F);
    i += n;
    if ((c >= U'A' && c <= U'Z') || (c >= 0xC0 && c <= 0xDE && c != 0xD7) || (c >= 0x391 && c <= 0x3AB) ||
        (c >= 0x410 && c <= 0x42F)) {
        return c + 0x20;
    }
    if (c >= 0x400 && c <= 0x40F) return c + 0x50;
    if (c >= 0x100 && c <= 0x17F && c % 2 == 0) return c + 1;
    switch (c) {
        case 0x386:
            return 0x3AC;
        case 0x388:
            return 0x3AD;
        case 0x389:
            return 0x3AE;
        case 0x38A:
            return 0x3AF;
        case 0x38C:
            return 0x3CC;
        case 0x38E:
            return 0x3CD;
        case 0x38F:
            return 0x3CE;
    }
    return c;
}

// The mnemonic of a button label (the character after its one "&"); 0 when it has none or more
// than one ("&&" is a literal ampersand).
char32_t Mnemonic(const std::string& label) {
    char32_t mnemonic = 0;
    int count = 0;
    for (size_t i = 0; i < label.size(); ++i) {
        if (label[i] != '&') continue;
        if (i + 1 < label.size() && label[i + 1] == '&') {
            ++i;
            continue;
        }
        ++count;
        size_t next = i + 1;
        if (next < label.size()) mnemonic = LowerCharacterAt(label, next);
    }
    return count == 1 ? mnemonic : 0;
}

bool DoubleByte(int codePage) {
    return codePage == 932 || codePage == 936 || codePage == 949 || codePage == 950;
}

TEST(LanguageTables, AllLanguagesAreBuiltInAndEnglishIsTheDefaults) {
    const auto& tables = BuiltInLanguages();
    for (const auto& error : tables.errors) ADD_FAILURE() << error;
    std::set<std::string> tags;
    for (const Language& language : tables.languages) tags.insert(language.tag);
    std::set<std::string> expected = {"en", "de", "fr", "es",    "it",    "pt-BR", "nl", "pl",
                                      "ru", "uk", "cs", "hu",    "tr",    "el",    "sv", "da",
                                      "fi", "nb", "ja", "zh-CN", "zh-TW", "ko"};
    EXPECT_EQ(tags, expected);
    for (int i = 0; i < format::kMessageCount; ++i) {
        EXPECT_EQ(English().messages[i], pack::kDefaultMessages[i]) << pack::kMessageKeys[i];
    }
    EXPECT_EQ(pack::FindLanguage("PT-br"), pack::FindLanguage("pt-BR"));
    EXPECT_EQ(pack::FindLanguage("pt"), nullptr);
}

TEST(LanguageTables, EveryTableIsCompleteEncodableAndFormatsAsEnglish) {
    for (const Language& language : BuiltInLanguages().languages) {
        SCOPED_TRACE(language.tag);
        std::string error;
        auto page = pack::CodePage::Open(language.codePage, error);
        ASSERT_TRUE(page) << error;
        for (int i = 0; i < format::kMessageCount; ++i) {
            const std::string& text = language.messages[i];
            SCOPED_TRACE(pack::kMessageKeys[i]);
            EXPECT_FALSE(text.empty());
            EXPECT_EQ(Directives(text), Directives(English().messages[i])) << text;
            std::string stored;
            EXPECT_TRUE(page->FromUtf8(text, stored, error, pack::CodePage::Use::kMessage)) << error;
        }
    }
}

TEST(LanguageTables, QuestionButtonsHaveOneMnemonicEachAllDifferent) {
    const int buttons[] = {format::kMsgYes, format::kMsgYesToAll, format::kMsgNo, format::kMsgNoToAll};
    for (const Language& language : BuiltInLanguages().languages) {
        SCOPED_TRACE(language.tag);
        std::set<char32_t> seen;
        for (int button : buttons) {
            const std::string& label = language.messages[button];
            char32_t mnemonic = Mnemonic(label);
            EXPECT_NE(mnemonic, 0u) << label << ": needs exactly one \"&\"";
            EXPECT_TRUE(seen.insert(mnemonic).second) << label << ": its mnemonic is taken by another button";
            // The Windows convention where a label has no Latin letter: "はい(&Y)".
            if (DoubleByte(language.codePage)) {
                EXPECT_TRUE(label.size() >= 4 && label.compare(label.size() - 4, 2, "(&") == 0 &&
                            label.back() == ')' &&
                            isupper(static_cast<unsigned char>(label[label.size() - 2])))
                    << label;
            }
        }
    }
}

// What the uninstaller shows must pass the packer's own message checks: lengths with a long
// path, directives, the texts that must not be empty.
TEST(LanguageTables, ManifestsOfEveryLanguagePassTheChecks) {
    for (const Language& language : BuiltInLanguages().languages) {
        SCOPED_TRACE(language.tag);
        pack::Manifest manifest;
        std::string json = R"({"language": ")" + language.tag +
                           R"(", "unattended": false, "files": [{"folder": ".\\", "name": "a.exe"}]})";
        ASSERT_EQ(pack_testing::Parse(json, manifest), "");
        EXPECT_EQ(manifest.codePage, language.codePage);
        for (const auto& finding : pack::CheckManifest(manifest, {}))
            ADD_FAILURE() << pack::DescribeFinding("m.json", finding);
        std::string why;
        auto page = pack::CodePage::Open(language.codePage, why);
        ASSERT_TRUE(page) << why;
        for (int i = 0; i < format::kMessageCount; ++i) {
            std::string back;
            ASSERT_TRUE(page->ToUtf8(manifest.block.messages[i], back, why)) << why;
            EXPECT_EQ(back, language.messages[i]) << pack::kMessageKeys[i];
        }
    }
}

TEST(ManifestLanguage, ListSelectionAndItsErrors) {
    struct Case {
        const char* manifest;
        const char* picked;  // --language, or null
        const char* result;  // the caption built, or the problem
    } cases[] = {
        {R"({"language": "de"})", nullptr, "Deinstallation"},
        {R"({"language": "pt-br"})", nullptr, "Desinstalar"},
        {R"({"language": ["de", "fr"]})", "fr", "Désinstallation"},
        {R"({"language": ["ru"]})", nullptr, "Удаление программы"},
        {R"({"language": "ja", "codePage": 932})", nullptr, "アンインストール"},
        {R"({"language": "de"})", "de", "Deinstallation"},
        {R"({"language": ["de", "fr"]})", nullptr,
         "m.json: language: the manifest offers de, fr: pick one with --language\n"},
        {R"({"language": ["de", "fr"]})", "it",
         "m.json: language: --language it is not one the manifest offers (de, fr)\n"},
        {R"({"language": "de"})", "fr",
         "m.json: language: --language fr is not one the manifest offers (de)\n"},
        {R"({})", "de",
         "m.json: language: --language de was given, but the manifest names no language (add \"language\": "
         "\"de\" or "
         "a list of languages to pick from)\n"},
        {R"({"language": "ru", "codePage": 1252})", nullptr,
         "m.json: codePage: 1252 conflicts with the language ru, whose texts are in code page 1251 (leave "
         "\"codePage\" "
         "out, or give 1251)\n"},
        {R"({"language": []})", nullptr,
         "m.json: language: is an empty list: name the languages to pick from\n"},
        {R"({"language": ["de", "de", 7]})", "de",
         "m.json: language[1]: lists de a second time\nm.json: language[2]: must be a language tag, not "
         "number\n"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(std::string(c.manifest) + " --language " + (c.picked ? c.picked : "(none)"));
        pack::Manifest manifest;
        std::vector<pack::Problem> problems;
        pack::ManifestOptions options;
        if (c.picked) options.language = c.picked;
        bool parsed = pack::ParseManifest(c.manifest, manifest, problems, options);
        std::string said;
        for (const auto& p : problems) said += pack::DescribeProblem("m.json", p) + "\n";
        if (parsed) {
            std::string why;
            auto page = pack::CodePage::Open(manifest.codePage, why);
            ASSERT_TRUE(page) << why;
            ASSERT_TRUE(page->ToUtf8(manifest.block.messages[format::kMsgCaption], said, why)) << why;
        }
        EXPECT_EQ(said, c.result);
    }
    pack::Manifest manifest;
    EXPECT_NE(pack_testing::Parse(R"({"language": "xx"})", manifest)
                  .find(R"(m.json: language: unknown language "xx" (built in: cs, da, de, el, en,)"),
              std::string::npos);
}

// Messages the manifest gives replace the table's and must fit its code page.
TEST(ManifestLanguage, ManifestMessagesOverrideTheTable) {
    pack::Manifest manifest;
    ASSERT_EQ(
        pack_testing::Parse(
            R"({"language": "de", "messages": {"caption": "Beispiel entfernen", "finished": ""}})", manifest),
        "");
    const Language& german = *pack::FindLanguage("de");
    EXPECT_EQ(manifest.block.messages[format::kMsgCaption], "Beispiel entfernen");
    EXPECT_EQ(manifest.block.messages[format::kMsgFinished], "");
    EXPECT_EQ(manifest.block.messages[format::kMsgConfirm],
              "M\xF6"
              "chten Sie dieses Programm und alle zugeh\xF6rigen Komponenten entfernen?");
    EXPECT_NE(german.messages[format::kMsgConfirm],
              manifest.block.messages[format::kMsgConfirm]);  // UTF-8 vs 1252
    EXPECT_EQ(
        pack_testing::Parse(R"({"language": "ru", "messages": {"yes": "&Ja", "no": "Müller"}})", manifest),
        "m.json: messages.no: character U+00FC \"ü\" has no place in code page 1251\n");
}

// build with "ru", then dump: the block holds the CP1251 bytes, and dump shows the Russian texts.
TEST(ManifestLanguage, RussianBuildStoresCp1251AndDumpShowsIt) {
    TempFolder dir;
    WriteBytes(dir.File("stub.exe"), FakeStub());
    WriteText(dir.File("ru.json"),
              R"({"language": ["de", "ru"], "files": [{"folder": ".\\", "name": "a.exe"}]})");
    auto build = RunPacker("build '" + dir.File("ru.json") + "' --stub '" + dir.File("stub.exe") + "' -o '" +
                           dir.File("ru.exe") + "' --language ru");
    ASSERT_EQ(build.exitCode, 0) << build.err;
    // "Удаление программы" in code page 1251, written out here rather than converted by the packer.
    const std::string caption = "\xD3\xE4\xE0\xEB\xE5\xED\xE8\xE5 \xEF\xF0\xEE\xE3\xF0\xE0\xEC\xEC\xFB";
    EXPECT_NE(ReadText(dir.File("ru.exe")).find(caption), std::string::npos);
    auto dump = RunPacker("dump '" + dir.File("ru.exe") + "' --code-page 1251");
    ASSERT_EQ(dump.exitCode, 0) << dump.err;
    auto dumped = nlohmann::json::parse(dump.out);
    EXPECT_EQ(dumped["codePage"], 1251);
    const Language& russian = *pack::FindLanguage("ru");
    for (int i = 0; i < format::kMessageCount; ++i) {
        EXPECT_EQ(dumped["messages"][pack::kMessageKeys[i]], russian.messages[i]) << pack::kMessageKeys[i];
    }
    auto unpicked = RunPacker("build '" + dir.File("ru.json") + "' --stub '" + dir.File("stub.exe") +
                              "' -o '" + dir.File("x.exe") + "'");
    EXPECT_EQ(unpicked.exitCode, 2);
    EXPECT_NE(
        unpicked.err.find("ru.json offers 2 languages: name one with --language, or build them all with -o "
                          "holding {lang}"),
        std::string::npos)
        << unpicked.err;
    EXPECT_FALSE(std::filesystem::exists(dir.File("x.exe")));
}

// check and build over every language a manifest offers in one call; dump and plan then read each
// uninstaller's texts in its language's code page without being told.
TEST(ManifestLanguage, EveryOfferedLanguageInOneCallAndTheCodePageGuessed) {
    TempFolder dir;
    WriteBytes(dir.File("stub.exe"), FakeStub());
    WriteText(dir.File("app.json"),
              R"({"language": ["de", "ru"], "files": [{"folder": ".\\", "name": "a.exe"}]})");
    auto check = RunPacker("check '" + dir.File("app.json") + "' -v");
    EXPECT_EQ(check.exitCode, 0) << check.err;
    EXPECT_NE(check.err.find("app.json: checked in each language it offers: de, ru"), std::string::npos)
        << check.err;
    auto build = RunPacker("build '" + dir.File("app.json") + "' --stub '" + dir.File("stub.exe") + "' -o '" +
                           dir.File("uninstall-{lang}.exe") + "'");
    ASSERT_EQ(build.exitCode, 0) << build.err;
    EXPECT_NE(build.out.find("uninstall-de.exe: "), std::string::npos) << build.out;
    EXPECT_NE(build.out.find("uninstall-ru.exe: "), std::string::npos) << build.out;
    struct Case {
        const char* file;
        const char* tag;
        int codePage;
        const char* note;  // on standard error ("" none)
    } cases[] = {
        {"uninstall-de.exe", "de", 1252, ""},
        {"uninstall-ru.exe", "ru", 1251,
         "note: texts read in code page 1251: 16 of its messages are those of the built-in ru table; "
         "--code-page chooses another"},
    };
    for (const auto& c : cases) {
        auto dump = RunPacker("dump '" + dir.File(c.file) + "'");
        ASSERT_EQ(dump.exitCode, 0) << dump.err;
        EXPECT_EQ(dump.err.find("note:") == std::string::npos, std::string(c.note).empty()) << dump.err;
        EXPECT_NE(dump.err.find(c.note), std::string::npos) << dump.err;
        auto dumped = nlohmann::json::parse(dump.out);
        EXPECT_EQ(dumped["codePage"], c.codePage) << c.file;
        const Language& language = *pack::FindLanguage(c.tag);
        EXPECT_EQ(dumped["messages"]["confirm"], language.messages[format::kMsgConfirm]) << c.file;
        auto plan = RunPacker("plan '" + dir.File(c.file) + "' --json");
        ASSERT_EQ(plan.exitCode, 0) << plan.err;
        auto planned = nlohmann::json::parse(plan.out);
        EXPECT_EQ(planned["codePage"], c.codePage) << c.file;
        EXPECT_EQ(planned["passes"][0]["items"][0]["path"], language.messages[format::kMsgConfirm])
            << plan.out;
    }
    // A block that is no table's and does not read in 1252: the first built-in language's code page
    // that reads it, named. "ー" is 0x81 0x5B in code page 932; 0x81 names nothing in 1252.
    WriteText(dir.File("ja.json"),
              R"({"codePage": 932, "files": [{"folder": ".\\", "name": "ツール.exe"}]})");
    ASSERT_EQ(RunPacker("build '" + dir.File("ja.json") + "' --stub '" + dir.File("stub.exe") + "' -o '" +
                        dir.File("ja.exe") + "'")
                  .exitCode,
              0);
    auto guessed = RunPacker("dump '" + dir.File("ja.exe") + "'");
    ASSERT_EQ(guessed.exitCode, 0) << guessed.err;
    EXPECT_NE(
        guessed.err.find(
            "texts read in code page 932: its texts do not read back in code page 1252; 932 (Japanese)"),
        std::string::npos)
        << guessed.err;
    EXPECT_NE(guessed.out.find("ツール.exe"), std::string::npos) << guessed.out;
    // -q keeps the guess to itself; the code page given is taken as it is, without a note.
    auto quiet = RunPacker("dump '" + dir.File("uninstall-ru.exe") + "' -q");
    EXPECT_EQ(quiet.err, "");
    EXPECT_EQ(nlohmann::json::parse(quiet.out)["codePage"], 1251);
    auto given = RunPacker("dump '" + dir.File("uninstall-ru.exe") + "' --code-page 1252");
    EXPECT_EQ(given.err.find("note:"), std::string::npos) << given.err;
    EXPECT_EQ(nlohmann::json::parse(given.out)["codePage"], 1252);
}

// --install-dir is judged in the code page of each language a manifest offers, and only in those: a
// folder every offered language can hold is no error, one that some language cannot hold is.
TEST(ManifestLanguage, TheInstallFolderIsJudgedInEachOfferedLanguagesCodePage) {
    TempFolder dir;
    WriteBytes(dir.File("stub.exe"), FakeStub());
    struct Case {
        const char* languages;
        int exitCode;
        const char* err;  // on standard error
    } cases[] = {
        {R"(["ru", "uk"])", 0, "app.json: 0 errors"},
        {R"(["de", "ru"])", 1, "--install-dir: character U+041F"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.languages);
        WriteText(dir.File("app.json"), std::string(R"({"language": )") + c.languages +
                                            R"(, "files": [{"folder": ".\\", "name": "a.exe"}]})");
        std::string manifest = "'" + dir.File("app.json") + "' -v --install-dir 'C:\\Программы\\Demo'";
        for (const std::string& command :
             {"check " + manifest, "build " + manifest + " --stub '" + dir.File("stub.exe") + "' -o '" +
                                       dir.File("u-{lang}.exe") + "'"}) {
            auto run = RunPacker(command);
            EXPECT_EQ(run.exitCode, c.exitCode) << command << "\n" << run.err;
            EXPECT_NE(run.err.find(c.err), std::string::npos) << command << "\n" << run.err;
            if (c.exitCode == 0) EXPECT_EQ(run.err.find("--install-dir:"), std::string::npos) << run.err;
        }
    }
}

TEST(LanguagesCommand, ListsEveryLanguageWithItsCodePageAndNames) {
    auto listed = RunPacker("languages");
    ASSERT_EQ(listed.exitCode, 0) << listed.err;
    EXPECT_EQ(static_cast<size_t>(std::count(listed.out.begin(), listed.out.end(), '\n')),
              BuiltInLanguages().languages.size() + 1);
    EXPECT_NE(listed.out.find("\nja     932        Japanese               日本語\n"), std::string::npos)
        << listed.out;
    EXPECT_NE(listed.out.find("\nnb     1252       Norwegian Bokmål       Norsk bokmål\n"),
              std::string::npos);
    auto json = RunPacker("languages --json");
    ASSERT_EQ(json.exitCode, 0) << json.err;
    auto doc = nlohmann::json::parse(json.out);
    EXPECT_EQ(doc["formatVersion"], 1);
    ASSERT_EQ(doc["languages"].size(), BuiltInLanguages().languages.size());
    for (size_t i = 0; i < doc["languages"].size(); ++i) {
        const Language& language = BuiltInLanguages().languages[i];
        EXPECT_EQ(doc["languages"][i]["tag"], language.tag);
        EXPECT_EQ(doc["languages"][i]["codePage"], language.codePage);
        EXPECT_EQ(doc["languages"][i]["englishName"], language.englishName);
        EXPECT_EQ(doc["languages"][i]["nativeName"], language.nativeName);
    }
}

}  // namespace
