#include "pack/checker.h"

namespace pack {

using namespace format;

void Checker::CheckSettings() {
    if (!m_.block.settings) return;
    const auto& s = *m_.block.settings;
    if (s.command) {
        if (s.command->empty()) {
            Error("settings.runFirst", "is empty: the uninstaller would try to run its install folder");
        } else {
            RunFirstCommand run = ComposeRunFirst(InstallDir(), *s.command);
            bool unclosed = false;
            for (const auto& t : TokensOf(*s.command, &unclosed)) {
                if (!IsKnownToken(t)) {
                    Warn("unknown-token", "settings.runFirst",
                         "token " + Show(t) +
                             " is unknown: it expands to nothing (known tokens: " + KnownTokenList() + ")");
                }
            }
            if (!run.tokenForm) CheckLength("settings.runFirst", "the composed command", run.composed, true);
            if (!run.absolute) {
                Error("settings.runFirst",
                      "program " + Show(run.program) +
                          " is not a whole path (\"X:\\...\" or "
                          "\"\\\\server\\share\\...\"): the uninstaller does not run it");
            }
            if ((*s.command)[0] == '"' && s.command->find('"', 1) == std::string::npos) {
                Warn("unclosed-quote", "settings.runFirst",
                     "begins with a double quote that is never closed");
            }
        }
    } else if (s.flags & kSettingsWaitForRun) {
        Warn("wait-without-run", "settings.waitForRun",
             "is set, but there is no runFirst program to wait for");
    }
    if (s.document) {
        const std::string& d = *s.document;
        bool web = Lower(d.substr(0, 7)) == "http://" || Lower(d.substr(0, 8)) == "https://";
        if (d.empty()) {
            Warn("empty-document", "settings.document",
                 "is empty: the uninstaller tries to open an empty document");
        } else if (!web && !IsAbsolutePath(d)) {
            Warn("document-kind", "settings.document",
                 "is neither a web address (http:// or https://) nor an absolute path");
        } else if (d.size() >= 520) {
            Error("settings.document",
                  "is " + std::to_string(d.size()) + " characters long: the uninstaller opens at most 519");
        }
    }
}

}  // namespace pack
