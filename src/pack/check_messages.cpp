#include "data/messages.h"
#include "pack/checker.h"
#include "pack/languages.h"

namespace pack {

using namespace format;

void Checker::CheckMessages() {
    const auto& messages = m_.block.messages;
    for (size_t n = 0; n < messages.size() && n < kMessageCount; ++n) {
        const std::string& text = messages[n];
        std::string where = MessagePath(m_, n);
        // Messages formatted with a path: the load errors (1, 5, 7, 8) and the two questions.
        bool formatted = n == kMsgConfirm || n == kMsgNo || n == kMsgNoMemory || n == kMsgBadHeader ||
                         n == kMsgReadOnlyQuestion || n == kMsgSharedFileQuestion;
        size_t placeholders = 0;
        bool doubled = false;
        std::string others;
        for (size_t i = 0; i < text.size(); ++i) {
            if (text[i] != '%') continue;
            char next = i + 1 < text.size() ? text[i + 1] : '\0';
            if (next == 's') {
                ++placeholders;
            } else if (next == '%') {
                doubled = true;
            } else if (others.find(std::string("%") + next) == std::string::npos) {
                others += (others.empty() ? "" : ", ") +
                          (next ? std::string("%") + next : std::string("a final %"));
            }
            if (next) ++i;
        }
        if (!others.empty()) {
            if (placeholders) {
                Error(where, "holds " + others +
                                 " beside %s: a formatter of the format string would read an argument "
                                 "that is not there (only %s and %% may stand in such a text)");
            } else {
                Warn("format-directive", where,
                     "holds " + others + ": only %s and %% are directives of a message");
            }
        }
        if (placeholders > 1)
            Warn("repeated-placeholder", where,
                 "holds %s " + std::to_string(placeholders) + " times: write the path once");
        if (placeholders && !formatted) {
            Warn("unused-placeholder", where,
                 "holds %s, but this message is shown as it stands: the %s is shown, not a path");
        } else if (placeholders && (n == kMsgConfirm || n == kMsgNo)) {
            Warn("unused-placeholder", where,
                 "holds %s: only a load error formats this message; where it is shown otherwise the %s "
                 "stays");
        }
        if (doubled && !placeholders)
            Warn("double-percent", where, "holds %% without %s: it is shown as two percent signs");
        if (formatted) {
            size_t length = text.size();
            if (placeholders) length += placeholders * kPathLimit - placeholders * 2;
            if (length > kMessageBufferSize - 1) {
                Warn("long-message", where,
                     "takes " + std::to_string(length) + " bytes" +
                         (placeholders ? " with a path of " + std::to_string(kPathLimit) + " characters"
                                       : std::string()) +
                         ": the message buffer holds " + std::to_string(kMessageBufferSize - 1) +
                         ", the rest is cut");
            }
        }
        if (text.empty()) CheckEmptyMessage(n, where);
    }
}

void Checker::CheckEmptyMessage(size_t n, const std::string& where) {
    switch (n) {
        case kMsgCaption:
            Warn("empty-message", where, "is empty: every box and dialog has an empty caption");
            break;
        case kMsgConfirm:
        case kMsgFileInUse:
            Warn("empty-message", where, "is empty: the box is still shown, with no text");
            break;
        case kMsgYes:
        case kMsgYesToAll:
        case kMsgNo:
        case kMsgNoToAll:
            Warn("empty-message", where, "is empty: a button of the read-only question has no label");
            break;
        // "unattended": true says so on purpose.
        case kMsgReadOnlyQuestion:
            if (m_.unattended != true)
                Warn("empty-message", where,
                     "is empty: every read-only listed file is removed without a question");
            break;
        case kMsgSharedFileQuestion:
            if (m_.unattended != true) {
                Warn("empty-message", where,
                     "is empty: shared files no other program uses are removed without a "
                     "question");
            }
            break;
        default:
            break;
    }
}

// The two questions of the file pass are asked in every mode: a run with /S or /Q that a
// deployment tool starts on a desktop nobody sees waits for ever. The manifest says which it wants.
void Checker::CheckUnattended() {
    if (m_.unattended) return;
    bool files = false;
    bool shared = false;
    for (const auto& f : m_.block.files) {
        if (f.name.empty()) continue;
        files = true;
        shared = shared || (f.flags & kFileShared);
    }
    auto asks = [this](int n) {
        return static_cast<size_t>(n) < m_.block.messages.size() && !m_.block.messages[n].empty();
    };
    bool readOnly = files && asks(kMsgReadOnlyQuestion);
    bool sharedFiles = shared && asks(kMsgSharedFileQuestion);
    if (!readOnly && !sharedFiles) return;
    std::string questions =
        readOnly && sharedFiles
            ? "the read-only question (message 9) and the shared-file question (message 10)"
        : readOnly ? "the read-only question (message 9), for any listed file that is read-only"
                   : "the shared-file question (message 10)";
    Warn("unattended", "",
         "runs with /S and /Q still stop at " + questions +
             " and wait for an answer that no one may be there to give; add \"unattended\": true to "
             "leave the questions out (read-only files are removed, shared files when their count runs "
             "out), or \"unattended\": false to keep them");
}

// Messages the manifest gives beside a language: each replaces the table's text. The caption,
// the confirmation and the closing message name the product and are the author's to write; any
// other text, and an English default anywhere, hides a translation the table has.
void Checker::CheckLanguageOverrides() {
    if (m_.language.empty() || !page_) return;
    const Language* language = FindLanguage(m_.language);
    if (!language) return;
    const auto& messages = m_.block.messages;
    auto texts = m_.languageTexts.find(m_.language);
    for (size_t n = 0; n < messages.size() && n < kMessageCount; ++n) {
        bool byLanguage = texts != m_.languageTexts.end() && texts->second.given[n];
        if (!m_.givenMessages[n] && !byLanguage) continue;
        std::string table;
        std::string ignored;  // only whether it converts matters here
        if (!page_->FromUtf8(language->messages[n], table, ignored, CodePage::Use::kMessage)) continue;
        const std::string& text = messages[n];
        if (text == table) continue;
        std::string where = MessagePath(m_, n);
        bool productText = n == kMsgCaption || n == kMsgConfirm || n == kMsgFinished;
        if (text == kDefaultMessages[n]) {
            Warn("language-override", where,
                 "is the English default text: it replaces the " + language->tag + " table's " + Show(table) +
                     " (leave the message out to use the table's)");
        } else if (!productText) {
            Warn("language-override", where,
                 "replaces the " + language->tag + " table's " + Show(table) +
                     " (leave the message out to use the table's)");
        }
    }
}

}  // namespace pack

namespace pack {

// A manifest that offers several languages and gives the texts that name the product (the caption,
// the confirmation, the closing message) for some of them only: the other builds show a text in
// another language, or the table's, which does not name the product. The text says the same in
// every language's reading, so the report shows it once.
void Checker::CheckProductTexts() {
    const auto& offered = m_.offeredLanguages;
    if (offered.size() < 2) return;
    auto list = [](const std::vector<std::string>& tags) {
        std::string out;
        for (size_t i = 0; i < tags.size(); ++i)
            out += (i == 0 ? "" : i + 1 == tags.size() ? " and " : ", ") + tags[i];
        return out;
    };
    for (size_t n : {size_t{kMsgCaption}, size_t{kMsgConfirm}, size_t{kMsgFinished}}) {
        std::vector<std::string> with, without;
        std::string firstKey;
        for (const auto& tag : offered) {
            auto texts = m_.languageTexts.find(tag);
            bool given = texts != m_.languageTexts.end() && texts->second.given[n];
            (given ? with : without).push_back(tag);
            if (given && firstKey.empty()) firstKey = texts->second.key;
        }
        if (without.empty()) continue;
        std::string builds = "the " + list(without) + (without.size() == 1 ? " build shows" : " builds show");
        if (m_.givenMessages[n]) {
            Warn("product-texts", std::string("messages.") + kMessageKeys[n],
                 "is one text for the languages the manifest offers: " + builds +
                     " it as written, in one language (give each language's text in \"messagesByLanguage\")");
        } else if (!with.empty()) {
            Warn("product-texts", "messagesByLanguage." + firstKey + "." + kMessageKeys[n],
                 "is given for " + list(with) + " only: " + builds +
                     " the table's text, which does not name the product (give it in \"messagesByLanguage\" "
                     "for every language)");
        }
    }
}

}  // namespace pack
