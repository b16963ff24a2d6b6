#include "pack/cli_commands.h"
#include "pack/json_text.h"
#include "pack/languages.h"

namespace pack {

int RunLanguages(FILE* out, FILE* err, bool json) {
    const LanguageTables& tables = BuiltInLanguages();
    for (const auto& error : tables.errors)
        fprintf(err, "uninstpack: built-in language table %s\n", error.c_str());
    std::string text;
    if (json) {
        text = "{\n  \"formatVersion\": 1,\n  \"languages\": [";
        for (size_t i = 0; i < tables.languages.size(); ++i) {
            const Language& language = tables.languages[i];
            text += i ? ",\n    {\"tag\": " : "\n    {\"tag\": ";
            AppendJsonString(text, language.tag);
            text += ", \"codePage\": " + std::to_string(language.codePage) + ", \"englishName\": ";
            AppendJsonString(text, language.englishName);
            text += ", \"nativeName\": ";
            AppendJsonString(text, language.nativeName);
            text += "}";
        }
        text += "\n  ]\n}\n";
    } else {
        text = "tag    code page  English name           native name\n";
        for (const Language& language : tables.languages) {
            char line[32];
            snprintf(line, sizeof line, "%-6s %-10d ", language.tag.c_str(), language.codePage);
            // Pad by characters, not bytes: "Norwegian Bokmål" is UTF-8.
            size_t width = 0;
            for (unsigned char c : language.englishName) width += (c & 0xC0) != 0x80;
            text += line + language.englishName + std::string(width < 22 ? 23 - width : 1, ' ') +
                    language.nativeName + "\n";
        }
    }
    if (!WriteOutput(out, text, err)) return kExitFailure;
    return tables.errors.empty() ? kExitOk : kExitFailure;
}

CommandWiring AddLanguagesCommand(CLI::App& app) {
    auto json = std::make_shared<bool>(false);
    auto* command = app.add_subcommand(
        "languages",
        "Lists the built-in message tables that a manifest's \"language\" can name: tag, code page, "
        "English and native name.");
    command->add_flag("--json", *json, "print the list as JSON");
    return {command, [json] { return RunLanguages(stdout, stderr, *json); }};
}

}  // namespace pack
