// The manifest reader: JSON to the format library's block, loaded back by the uninstaller's loader;
// every class of bad field, named by its JSON path; texts converted to the manifest's code page.
#include "pack/manifest.h"

#include <cstring>
#include <gtest/gtest.h>

#include "pack/languages.h"
#include "pack_support.h"
#include "support/block_file.h"

using namespace format;
using pack::Manifest;
using pack_testing::Parse;
using testing_support::LoadedBlock;

namespace {

const char kFullManifest[] = R"({
  "codePage": 1252,
  "messages": {"caption": "Demo", "confirm": "Remove Demo?", "fileInUse": "Close Demo."},
  "files": [
    {"folder": ".\\Bin"},
    {"folder": ".\\Bin", "name": "app.dll", "flags": ["shared", "font", "selfRegister", "mustBeFree"]},
    {"folder": "C:\\Shared", "name": "lib.dll", "flags": ["shared"]}
  ],
  "shortcuts": [{"levels": 1, "folder": "C:\\Menu\\Vendor\\App", "secondFolder": "C:\\Desk", "name": "App.lnk"},
                {"folder": "C:\\Menu\\Other"}],
  "registry": [
    {"root": "HKCU", "key": "Software\\Vendor\\App"},
    {"root": "HKEY_LOCAL_MACHINE", "key": "Software\\Vendor\\App", "value": "Path"},
    {"root": "HKCR", "key": ".demo", "value": ""}
  ],
  "patterns": ["*.log", "#TempDir#\\app*.tmp"],
  "settings": {"waitForRun": true, "themedControls": true, "runFirst": "\"setup.exe\" /remove",
               "document": "https://example.com/"}
})";

TEST(Manifest, LoadsBackThroughTheUninstallersLoader) {
    Manifest m;
    ASSERT_EQ(Parse(kFullManifest, m), "");
    LoadedBlock b(EncodeBlock(m.block));
    ASSERT_EQ(b.outcome.code, kLoadOk);

    ASSERT_EQ(b.data.messageCount, 16u);
    EXPECT_STREQ(b.data.messages[kMsgCaption], "Demo");
    EXPECT_STREQ(b.data.messages[kMsgConfirm], "Remove Demo?");
    EXPECT_STREQ(b.data.messages[kMsgFileInUse], "Close Demo.");
    // Messages left out get their English defaults.
    EXPECT_STREQ(b.data.messages[kMsgFinished], "The program was removed.");
    EXPECT_STREQ(b.data.messages[kMsgNoToAll], "No to A&ll");
    EXPECT_STREQ(b.data.messages[kMsgBadHeader], "The uninstall data in %s is damaged.");

    ASSERT_EQ(b.data.files.count, 3u);
    EXPECT_STREQ(b.data.files.items[0]->folder, ".\\Bin");
    EXPECT_STREQ(b.data.files.items[0]->fileName, "");
    EXPECT_EQ(b.data.files.items[0]->flags, 0);
    EXPECT_EQ(b.data.files.items[1]->flags, kFileShared | kFileFont | kFileSelfRegister | kFileMustBeFree);
    EXPECT_STREQ(b.data.files.items[2]->fileName, "lib.dll");

    ASSERT_EQ(b.data.shortcuts.count, 2u);
    EXPECT_EQ(b.data.shortcuts.items[0]->levelCount, 1u);
    EXPECT_STREQ(b.data.shortcuts.items[0]->secondFolder, "C:\\Desk");
    EXPECT_EQ(b.data.shortcuts.items[1]->levelCount, 0u);
    EXPECT_STREQ(b.data.shortcuts.items[1]->fileName, "");

    ASSERT_EQ(b.data.registry.count, 3u);
    EXPECT_EQ(b.data.registry.items[0]->rootKey, 0x80000001u);
    EXPECT_STREQ(b.data.registry.items[0]->keyPath, "Software\\Vendor\\App");
    EXPECT_EQ(b.data.registry.items[1]->rootKey, 0x80000002u);
    EXPECT_STREQ(b.data.registry.items[1]->keyPath, "Software\\Vendor\\App\\\\Path");
    EXPECT_EQ(b.data.registry.items[2]->rootKey, 0x80000000u);
    EXPECT_STREQ(b.data.registry.items[2]->keyPath, ".demo\\\\");

    const char patterns[] = "*.log\0#TempDir#\\app*.tmp\0";
    ASSERT_EQ(b.data.patternSize, sizeof(patterns));
    EXPECT_EQ(0, memcmp(b.data.patterns, patterns, sizeof(patterns)));

    EXPECT_EQ(SettingsFlags(b.data), kSettingsWaitForRun | kSettingsThemedControls);
    EXPECT_STREQ(SettingsCommand(b.data), "\"setup.exe\" /remove");
    EXPECT_STREQ(SettingsDocument(b.data), "https://example.com/");
}

TEST(Manifest, SettingsAndListsAreOptional) {
    Manifest m;
    ASSERT_EQ(Parse("{}", m), "");
    EXPECT_EQ(m.codePage, 1252);
    EXPECT_FALSE(m.block.settings.has_value());
    LoadedBlock b(EncodeBlock(m.block));
    ASSERT_EQ(b.outcome.code, kLoadOk);
    EXPECT_EQ(b.data.messageCount, 16u);
    EXPECT_EQ(b.data.files.count, 0u);
    EXPECT_EQ(b.data.settings, nullptr);
}

// Every class of bad manifest, with the JSON path and the message the author sees.
TEST(Manifest, ErrorsNameTheFieldByItsJsonPath) {
    struct Case {
        const char* json;
        const char* problem;
    } cases[] = {
        {R"({"files": [)", "m.json: not valid JSON: parse error at line 1, column 12"},
        {R"([1, 2])", "m.json: must be an object, not array"},
        {R"({"codePage": 1252, "extra": 1})", "m.json: extra: unknown field"},
        {R"({"codePage": "1252"})", "m.json: codePage: must be a whole number, not string"},
        {R"({"codePage": 99999})", "m.json: codePage: must be from 1 to 65535, not 99999"},
        {R"({"codePage": 12345})", "m.json: codePage: code page 12345 is not known to iconv (CP12345)"},
        {R"({"messages": {"captoin": "x"}})",
         "m.json: messages.captoin: unknown field (did you mean \"caption\"?)"},
        {R"({"messages": {"caption": 5}})", "m.json: messages.caption: must be a string, not number"},
        {R"({"messages": []})", "m.json: messages: must be an object, not array"},
        {R"({"files": {}})", "m.json: files: must be an array, not object"},
        {R"({"files": [{"name": "a"}]})", "m.json: files[0].folder: is missing"},
        {R"({"files": [{"folder": ".\\", "name": "a"}, {"folder": ".\\", "nmae": "b"}]})",
         "m.json: files[1].nmae: unknown field"},
        {R"({"files": [{"folder": "a"}, {"folder": "a"}, {"folder": "a"}, {"folder": ".\\", "flags": ["shared", "sharde"]}]})",
         "m.json: files[3].flags[1]: unknown flag \"sharde\" (did you mean \"shared\"?)"},
        {R"({"files": [{"folder": ".\\", "flags": ["bogus"]}]})",
         "m.json: files[0].flags[0]: unknown flag \"bogus\" (flags are shared, font, selfRegister, "
         "mustBeFree)"},
        {R"({"registry": [{"root": "HKML", "key": "Software\\X"}]})",
         "m.json: registry[0].root: unknown root \"HKML\" (did you mean \"HKLM\"?)"},
        {R"({"fiels": []})", "m.json: fiels: unknown field (did you mean \"files\"?)"},
        {R"({"files": [{"folder": ".\\", "name": "a", "flag": ["shared"]}]})",
         "m.json: files[0].flag: unknown field (did you mean \"flags\"?)"},
        {R"({"language": "rus"})", "m.json: language: unknown language \"rus\" (did you mean \"ru\"?)"},
        // A key given twice: JSON readers keep the last without a word.
        {R"({"files": [{"folder": ".\\", "name": "a", "name": "b"}]})",
         "m.json: files[0].name: is given twice in this object"},
        {R"({"settings": {"runFirst": "a"}, "settings": {"document": "b"}})",
         "m.json: settings: is given twice in this object"},
        {R"({"registry": [{"root": "HKCU", "key": "Software\\A"}, {"root": "HKCU", "key": "Software\\B", "key": "Software\\C"}]})",
         "m.json: registry[1].key: is given twice in this object"},
        {R"({"files": [{"folder": ".\\", "flags": "shared"}]})",
         "m.json: files[0].flags: must be an array, not string"},
        {R"({"files": [{"folder": ".\\", "flags": [1]}]})",
         "m.json: files[0].flags[0]: must be a flag name, not number"},
        {R"({"files": [{"folder": "a\u0000b"}]})",
         "m.json: files[0].folder: holds a NUL character, which would end the text early"},
        {R"({"shortcuts": [{"levels": 256, "folder": "C:\\M"}]})",
         "m.json: shortcuts[0].levels: must be from 0 to 255, not 256"},
        {R"({"shortcuts": [{"levels": -1, "folder": "C:\\M"}]})",
         "m.json: shortcuts[0].levels: must be from 0 to 255, not -1"},
        {R"({"shortcuts": [{"levels": 1.5, "folder": "C:\\M"}]})",
         "m.json: shortcuts[0].levels: must be a whole number, not number"},
        {R"({"registry": [{"key": "Software\\X"}]})", "m.json: registry[0].root: is missing"},
        {R"({"registry": [{"root": "HKXX", "key": "Software\\X"}]})",
         "m.json: registry[0].root: unknown root \"HKXX\" (roots are HKCR HKCU HKLM HKU HKPD HKCC HKDD)"},
        {R"({"registry": [{"root": "HKCU", "key": "Software\\X", "value": null}]})",
         "m.json: registry[0].value: must be a string, not null"},
        {R"({"patterns": ["*.log", ""]})",
         "m.json: patterns[1]: is empty; an empty pattern would end the list"},
        {R"({"patterns": "*.log"})", "m.json: patterns: must be an array, not string"},
        {R"({"settings": {"waitForRun": "yes"}})",
         "m.json: settings.waitForRun: must be true or false, not string"},
        {R"({"settings": {"runFirst": ["a"]}})", "m.json: settings.runFirst: must be a string, not array"},
        {R"({"settings": {"runfirst": "a"}})", "m.json: settings.runfirst: unknown field"},
        {R"({"unattended": "yes"})", "m.json: unattended: must be true or false, not string"},
        {R"({"unattended": true, "messages": {"readOnlyQuestion": "%s is read-only. Remove it?"}})",
         "m.json: messages.readOnlyQuestion: conflicts with \"unattended\": true"},
        {R"({"unattended": true, "messages": {"sharedFileQuestion": "%s is shared."}})",
         "m.json: messages.sharedFileQuestion: conflicts with \"unattended\": true"},
        {R"({"settings": {"unattended": true}})", "m.json: settings.unattended: unknown field"},
        // What the copy says about itself: its execution level and its product.
        {R"({"elevation": "admin"})",
         "m.json: elevation: must be \"administrator\", \"user\" or \"highest\", not \"admin\""},
        {R"({"elevation": true})",
         "m.json: elevation: must be \"administrator\", \"user\" or \"highest\", not true"},
        {R"({"product": {"version": "1.0"}})", "m.json: product.name: is missing"},
        {R"({"product": {"name": "App"}})", "m.json: product.version: is missing"},
        {R"({"product": {"name": "App", "version": "1.0 beta"}})",
         "m.json: product.version: \"1.0 beta\" is no version of 1 to 4 whole numbers"},
        {R"({"product": {"name": "App", "version": "70000"}})",
         "m.json: product.version: \"70000\" is no version"},
        {R"({"product": {"name": "A\tB", "version": "1"}})",
         "m.json: product.name: holds a control character"},
        {R"({"product": {"name": "", "version": "1"}})", "m.json: product.name: is empty"},
        {R"({"product": {"name": "App", "version": "1", "publisher": 7}})",
         "m.json: product.publisher: must be a string, not number"},
        {R"({"product": {"name": "App", "version": "1", "vendor": "X"}})",
         "m.json: product.vendor: unknown field"},
        // Texts by language: only for the languages the manifest offers, each shaped like "messages".
        {R"({"messagesByLanguage": {"de": {"caption": "X"}}})",
         "m.json: messagesByLanguage: gives texts by language, but the manifest names no \"language\""},
        {R"({"language": "de", "messagesByLanguage": {"fr": {"caption": "X"}}})",
         "m.json: messagesByLanguage.fr: is a language the manifest does not offer (it offers de)"},
        {R"({"language": "de", "messagesByLanguage": {"dx": {"caption": "X"}}})",
         "m.json: messagesByLanguage.dx: is no language the manifest offers (did you mean \"de\"?)"},
        {R"({"language": "de", "messagesByLanguage": {"de": {"capton": "X"}}})",
         "m.json: messagesByLanguage.de.capton: unknown field (did you mean \"caption\"?)"},
        {R"({"language": "de", "messagesByLanguage": {"de": {"caption": "X"}, "DE": {"caption": "Y"}}})",
         "gives the texts of de a second time"},
        {R"({"language": "de", "messagesByLanguage": ["de"]})",
         "m.json: messagesByLanguage: must be an object of texts by language tag, not array"},
        {R"({"language": "de", "messagesByLanguage": {"de": {"caption": "Удаление"}}})",
         "m.json: messagesByLanguage.de.caption: character U+0423"},
        {R"({"language": "de", "unattended": true, "messagesByLanguage": {"de": {"readOnlyQuestion": "%s?"}}})",
         "m.json: messagesByLanguage.de.readOnlyQuestion: conflicts with \"unattended\": true"},
    };
    for (const auto& c : cases) {
        Manifest m;
        std::string problems = Parse(c.json, m);
        EXPECT_NE(problems.find(c.problem), std::string::npos) << c.json << "\n got: " << problems;
    }
}

// Each language's reading takes its own texts from "messagesByLanguage", over "messages" and the
// table; another language's texts are checked in their own reading (their code page may differ).
TEST(Manifest, EachLanguageTakesItsOwnTexts) {
    using namespace pack;
    std::string json =
        R"({"language": ["de", "ru"], "messages": {"caption": "Example App", "finished": "Done."},
        "messagesByLanguage": {"de": {"caption": "Example App entfernen", "confirm": "Example App wirklich entfernen?"},
                               "ru": {"caption": "Удаление Example App"}}})";
    struct Case {
        const char* language;
        const char* caption;  // UTF-8
        const char* confirm;  // UTF-8: the table's where the language gives none
        const char* finished;
    } cases[] = {
        {"de", "Example App entfernen", "Example App wirklich entfernen?", "Done."},
        {"ru", "Удаление Example App", nullptr, "Done."},
    };
    for (const auto& c : cases) {
        Manifest m;
        std::vector<Problem> problems;
        ASSERT_TRUE(ParseManifest(json, m, problems, {c.language})) << c.language;
        std::string error;
        auto page = CodePage::Open(m.codePage, error);
        ASSERT_TRUE(page) << error;
        auto utf8 = [&](size_t n) {
            std::string out, ignored;
            EXPECT_TRUE(page->ToUtf8(m.block.messages[n], out, ignored));
            return out;
        };
        EXPECT_EQ(utf8(format::kMsgCaption), c.caption) << c.language;
        if (c.confirm) EXPECT_EQ(utf8(format::kMsgConfirm), c.confirm) << c.language;
        if (!c.confirm)
            EXPECT_EQ(utf8(format::kMsgConfirm), FindLanguage(c.language)->messages[format::kMsgConfirm]);
        EXPECT_EQ(utf8(format::kMsgFinished), c.finished) << c.language;
        EXPECT_EQ(MessagePath(m, format::kMsgCaption),
                  std::string("messagesByLanguage.") + c.language + ".caption");
        EXPECT_EQ(MessagePath(m, format::kMsgFinished), "messages.finished");
        EXPECT_EQ(m.languageTexts.size(), 2u);
    }
}

// "unattended": true writes the two questions of the file pass empty, over a language's texts too;
// false, or leaving it out, keeps them.
TEST(Manifest, UnattendedLeavesTheQuestionsEmpty) {
    struct Case {
        const char* json;
        std::optional<bool> unattended;
        bool questionsEmpty;
    } cases[] = {
        {R"({"unattended": true})", true, true},
        {R"({"unattended": true, "language": "de"})", true, true},
        {R"({"unattended": true, "messages": {"readOnlyQuestion": "", "caption": "X"}})", true, true},
        {R"({"unattended": false})", false, false},
        {R"({"language": "fr"})", std::nullopt, false},
        {"{}", std::nullopt, false},
    };
    for (const auto& c : cases) {
        Manifest m;
        ASSERT_EQ(Parse(c.json, m), "") << c.json;
        EXPECT_EQ(m.unattended, c.unattended) << c.json;
        for (int n : {format::kMsgReadOnlyQuestion, format::kMsgSharedFileQuestion}) {
            EXPECT_EQ(m.block.messages[n].empty(), c.questionsEmpty) << c.json << " message " << n;
        }
        // The other messages are untouched.
        EXPECT_FALSE(m.block.messages[format::kMsgConfirm].empty()) << c.json;
    }
}

// One run names every problem: a wrong type or a misspelt name does not hide the others, and the
// entries after a bad one keep their own numbers.
TEST(Manifest, EveryProblemInOneRun) {
    std::string json = R"({"codePage": "1252", "language": "xx", "fiels": [],
        "files": [{"name": "a", "flags": ["sharde"]}, {"folder": ".\\", "name": "b"}],
        "registry": [{"root": "HKML", "key": "Software\\V\\A"}, {"root": "HKCU", "key": "Software\\V\\B", "key": "x"}],
        "settings": {"waitForRun": 1}})";
    Manifest m;
    std::string problems = Parse(json, m);
    for (const char* expected :
         {"m.json: codePage: must be a whole number, not string\n",
          "m.json: language: unknown language \"xx\"", "m.json: fiels: unknown field",
          "m.json: files[0].flags[0]: unknown flag \"sharde\"", "m.json: files[0].folder: is missing",
          "m.json: registry[0].root: unknown root \"HKML\"", "m.json: registry[1].key: is given twice",
          "m.json: settings.waitForRun: must be true or false, not number"}) {
        EXPECT_NE(problems.find(expected), std::string::npos) << expected << "\n got: " << problems;
    }
    EXPECT_FALSE(m.complete);
    // What could be read is there for the checks, under the numbers the manifest gives it.
    ASSERT_EQ(m.block.files.size(), 1u);
    EXPECT_EQ(pack::EntryPath(m, "files", 0), "files[1]");
    ASSERT_EQ(m.block.registry.size(), 1u);
    EXPECT_EQ(pack::EntryPath(m, "registry", 0), "registry[1]");
}

// Limits of the format: texts the uninstaller's staging areas or the u16 counts cannot hold.
TEST(Manifest, RefusesEntriesTheUninstallerCannotHold) {
    std::string longText(300, 'a');
    struct Case {
        std::string json;
        const char* problem;
    } cases[] = {
        {R"({"files": [{"folder": ")" + longText + R"(", "name": ")" + longText + R"("}]})",
         "m.json: files[0]: folder and name take 602 bytes with their terminators; the uninstaller holds at "
         "most 520"},
        {R"({"shortcuts": [{"folder": ")" + longText + R"(", "secondFolder": ")" + longText +
             R"(", "name": ")" + longText + R"("}]})",
         "m.json: shortcuts[0]: its texts take 903 bytes with their terminators; the uninstaller holds at "
         "most 780"},
        {R"({"registry": [{"root": "HKCU", "key": ")" + longText + R"(", "value": ")" +
             std::string(250, 'v') + R"("}]})",
         "m.json: registry[0]: the key path takes 553 bytes with its terminator; the uninstaller holds at "
         "most 520"},
        {R"({"messages": {"confirm": ")" + std::string(70000, 'x') + R"("}})",
         "m.json: messages.confirm: is 70000 bytes long; a text holds at most 65535"},
    };
    for (const auto& c : cases) {
        Manifest m;
        std::string problems = Parse(c.json, m);
        EXPECT_NE(problems.find(c.problem), std::string::npos) << c.problem << "\n got: " << problems;
    }
}

// The uninstaller takes a value entry from a doubled last backslash and its name from after the last
// one: a manifest entry that would be stored as something else is refused.
TEST(Manifest, RegistryEntriesMustReadBackAsWritten) {
    struct Case {
        const char* json;
        const char* problem;
    } cases[] = {
        {R"({"registry": [{"root": "HKCU", "key": "Software\\Vendor\\App", "value": "a\\b"}]})",
         "m.json: registry[0].value: holds \"\\\": the uninstaller takes a value's name after the last "
         "backslash"},
        {R"({"registry": [{"root": "HKCU", "key": "Software\\Vendor\\App", "value": "\\"}]})",
         "m.json: registry[0].value: holds \"\\\""},
        {R"({"registry": [{"root": "HKCU", "key": "Software\\Vendor\\\\App"}]})",
         "m.json: registry[0].key: its last backslash is doubled: the uninstaller reads the name after it as "
         "a value"},
        {R"({"registry": [{"root": "HKCU", "key": "Software\\Vendor\\App\\\\"}]})",
         "m.json: registry[0].key: its last backslash is doubled"},
    };
    for (const auto& c : cases) {
        Manifest m;
        std::string problems = Parse(c.json, m);
        EXPECT_NE(problems.find(c.problem), std::string::npos) << c.json << "\n got: " << problems;
    }
    // What reads back as written is kept: a doubled separator that is not the last one, a key's
    // default value, a value directly under the root.
    Manifest m;
    ASSERT_EQ(Parse(R"({"registry": [{"root": "HKCU", "key": "Software\\\\Vendor\\App"},
                                     {"root": "HKCU", "key": "Software\\Vendor", "value": ""},
                                     {"root": "HKU", "key": "", "value": "AtRoot"}]})",
                    m),
              "");
    ASSERT_EQ(m.block.registry.size(), 3u);
    EXPECT_EQ(m.block.registry[1].keyPath, "Software\\Vendor\\\\");
}

TEST(Manifest, EveryProblemIsReportedNotOnlyTheFirst) {
    Manifest m;
    std::string problems =
        Parse(R"({"files": [{"folder": 1}, {"folder": ".\\", "flags": ["x"]}], "patterns": [""]})", m);
    EXPECT_NE(problems.find("files[0].folder"), std::string::npos) << problems;
    EXPECT_NE(problems.find("files[1].flags[0]"), std::string::npos) << problems;
    EXPECT_NE(problems.find("patterns[0]"), std::string::npos) << problems;
}

// Texts are UTF-8 in JSON and stored in the manifest's code page.
TEST(ManifestCodePage, ConvertsTextsToTheCodePage) {
    struct Case {
        int codePage;
        const char* utf8;
        std::string stored;
    } cases[] = {
        {1251, "Удалить программу?", "\xD3\xE4\xE0\xEB\xE8\xF2\xFC \xEF\xF0\xEE\xE3\xF0\xE0\xEC\xEC\xF3?"},
        {1252, "Café – déjà vu", "Caf\xE9 \x96 d\xE9j\xE0 vu"},
        {1252, "plain ASCII", "plain ASCII"},
        {932, "削除", "\x8D\xED\x8F\x9C"},
    };
    for (const auto& c : cases) {
        Manifest m;
        std::string json = R"({"codePage": )" + std::to_string(c.codePage) +
                           R"(, "messages": {"confirm": ")" + c.utf8 + R"("}, "files": [{"folder": "C:\\)" +
                           c.utf8 + R"("}]})";
        ASSERT_EQ(Parse(json, m), "") << c.utf8;
        EXPECT_EQ(m.codePage, c.codePage);
        EXPECT_EQ(m.block.messages[kMsgConfirm], c.stored) << c.utf8;
        EXPECT_EQ(m.block.files[0].folder, "C:\\" + c.stored) << c.utf8;
    }
}

TEST(ManifestCodePage, ACharacterTheCodePageCannotHoldIsAnError) {
    struct Case {
        const char* json;
        const char* problem;
    } cases[] = {
        {R"({"codePage": 1252, "files": [{"folder": ".\\", "name": "Файл.txt"}]})",
         "m.json: files[0].name: character U+0424 \"Ф\" has no place in code page 1252"},
        {R"({"codePage": 1251, "messages": {"caption": "Müller"}})",
         "m.json: messages.caption: character U+00FC \"ü\" has no place in code page 1251"},
        {R"({"codePage": 1252, "patterns": ["#TempDir#\\日本*.tmp"]})",
         "m.json: patterns[0]: character U+65E5 \"日\" has no place in code page 1252"},
    };
    for (const auto& c : cases) {
        Manifest m;
        std::string problems = Parse(c.json, m);
        EXPECT_NE(problems.find(c.problem), std::string::npos) << c.problem << "\n got: " << problems;
    }
}

// Code page 932 stores U+00A5 "¥" as 0x5C, the byte of "\\", and U+203E "‾" as "~": in a path or a
// key the uninstaller reads them as those ASCII characters. In a message they are the page's own.
TEST(ManifestCodePage, ACharacterThatBecomesAsciiInAPathIsAnError) {
    struct Case {
        const char* json;
        const char* problem;
    } cases[] = {
        {R"({"codePage": 932, "files": [{"folder": ".\\", "name": "a¥b.txt"}]})",
         "m.json: files[0].name: character U+00A5 \"¥\" becomes \"\\\" (0x5C) in code page 932"},
        {R"({"codePage": 932, "registry": [{"root": "HKCU", "key": "Software\\Vendor¥App"}]})",
         "m.json: registry[0].key: character U+00A5 \"¥\" becomes \"\\\" (0x5C) in code page 932"},
        {R"({"codePage": 932, "registry": [{"root": "HKCU", "key": "Software\\V", "value": "a¥b"}]})",
         "m.json: registry[0].value: character U+00A5"},
        {R"({"codePage": 932, "patterns": ["Logs\\‾*.tmp"]})",
         "m.json: patterns[0]: character U+203E \"‾\" becomes \"~\" (0x7E) in code page 932"},
        {R"({"codePage": 932, "shortcuts": [{"folder": "C:\\Menu¥App"}]})",
         "m.json: shortcuts[0].folder: character U+00A5"},
        {R"({"codePage": 932, "settings": {"runFirst": "tool¥x.exe"}})",
         "m.json: settings.runFirst: character U+00A5"},
    };
    for (const auto& c : cases) {
        Manifest m;
        std::string problems = Parse(c.json, m);
        EXPECT_NE(problems.find(c.problem), std::string::npos) << c.problem << "\n got: " << problems;
    }
    {
        Manifest m;
        std::string problems =
            Parse(R"({"codePage": 922, "files": [{"folder": ".\\", "name": "‾.txt"}]})", m);
        EXPECT_NE(problems.find(
                      "m.json: files[0].name: character U+203E \"‾\" is stored as 0xAF, which code page 922 "
                      "reads back as U+00AF \"¯\""),
                  std::string::npos)
            << problems;
    }
    Manifest m;
    ASSERT_EQ(Parse(R"({"codePage": 932, "messages": {"confirm": "¥1000 ‾"}})", m), "");
    EXPECT_EQ(m.block.messages[kMsgConfirm],
              "\x5C"
              "1000 ~");
}

// No code page the packer accepts lets a character into a path as another one: what it stores reads
// back as the character written, and never as an ASCII one.
TEST(ManifestCodePage, EveryAcceptedCodePageStoresPathsAsWritten) {
    int pages = 0;
    int refused = 0;
    for (int number = 1; number <= 0xFFFF; ++number) {
        std::string unknown;  // most numbers are no code page: not a failure
        auto page = pack::CodePage::Open(number, unknown);
        if (!page) continue;
        ++pages;
        for (uint32_t cp = 0x80; cp <= 0xFFFF; ++cp) {
            if (cp >= 0xD800 && cp < 0xE000) continue;
            std::string utf8 = cp < 0x800 ? std::string{static_cast<char>(0xC0 | (cp >> 6)),
                                                        static_cast<char>(0x80 | (cp & 0x3F))}
                                          : std::string{static_cast<char>(0xE0 | (cp >> 12)),
                                                        static_cast<char>(0x80 | ((cp >> 6) & 0x3F)),
                                                        static_cast<char>(0x80 | (cp & 0x3F))};
            std::string stored, error;
            if (page->FromUtf8(utf8, stored, error, pack::CodePage::Use::kPath)) {
                std::string back;
                ASSERT_FALSE(stored.size() == 1 && static_cast<unsigned char>(stored[0]) < 0x80)
                    << "code page " << number << " U+" << std::hex << cp;
                std::string why;
                ASSERT_TRUE(page->ToUtf8(stored, back, why) && back == utf8)
                    << "code page " << number << " U+" << std::hex << cp;
            } else if (error.find(" becomes ") != std::string::npos ||
                       error.find(" reads back as ") != std::string::npos) {
                ++refused;
            }
        }
    }
    EXPECT_GE(pages, 10);
    EXPECT_GT(refused, 0);  // 932 has two such characters, several IBM pages more
}

TEST(ManifestRoots, LongAndShortNamesGiveThePredefinedRoots) {
    struct Case {
        const char* name;
        uint32_t value;
    } cases[] = {{"HKCR", 0x80000000u}, {"HKEY_CLASSES_ROOT", 0x80000000u},
                 {"HKCU", 0x80000001u}, {"HKLM", 0x80000002u},
                 {"HKU", 0x80000003u},  {"HKEY_USERS", 0x80000003u},
                 {"HKPD", 0x80000004u}, {"HKCC", 0x80000005u},
                 {"HKDD", 0x80000006u}};
    for (const auto& c : cases) {
        auto value = pack::RootFromName(c.name);
        ASSERT_TRUE(value.has_value()) << c.name;
        EXPECT_EQ(*value, c.value) << c.name;
    }
    EXPECT_FALSE(pack::RootFromName("hkcu").has_value());
    EXPECT_EQ(pack::RootName(0x80000002u), std::string("HKLM"));
    EXPECT_EQ(pack::RootName(0x12345678u), nullptr);
}

}  // namespace
