#include <algorithm>
#include <set>
#include <tuple>

#include "pack/languages.h"
#include "pack/manifest_reader.h"
#include "pack/plan_paths.h"

namespace pack {

namespace {

// Which built-in table fills the messages the manifest leaves out: "language" names one, or lists
// those the author picks from at build time (`picked`). False, with the problem recorded, when no
// table can be chosen.
bool ReadLanguage(Reader& r, const json& doc, const std::optional<std::string>& picked,
                  const Language*& chosen, std::vector<std::string>& offeredTags) {
    chosen = nullptr;
    auto found = doc.find("language");
    if (found == doc.end()) {
        if (!picked) return true;
        r.Fail("language", "--language " + *picked +
                               " was given, but the manifest names no language (add \"language\": " +
                               JsonString(*picked) + " or a list of languages to pick from)");
        return false;
    }
    auto known = [&r](const json& j, const std::string& where) -> const Language* {
        if (!j.is_string()) {
            r.Fail(where, std::string("must be a language tag, not ") + TypeName(j));
            return nullptr;
        }
        const Language* language = FindLanguage(j.get_ref<const std::string&>());
        if (!language) {
            std::vector<std::string> tags;
            for (const Language& builtIn : BuiltInLanguages().languages) tags.push_back(builtIn.tag);
            std::string hint = DidYouMean(j.get<std::string>(), tags);
            r.Fail(where, "unknown language " + j.dump() + hint + " (built in: " + BuiltInLanguageTags() +
                              "; `uninstpack languages` lists them)");
        }
        return language;
    };
    std::vector<const Language*> offered;
    if (found->is_array()) {
        if (found->empty()) {
            r.Fail("language", "is an empty list: name the languages to pick from");
            return false;
        }
        bool bad = false;
        for (size_t k = 0; k < found->size(); ++k) {
            const Language* language = known((*found)[k], Item("language", k));
            if (language && std::find(offered.begin(), offered.end(), language) != offered.end()) {
                r.Fail(Item("language", k), "lists " + language->tag + " a second time");
            } else if (language) {
                offered.push_back(language);
                continue;
            }
            bad = true;
        }
        if (bad) return false;
    } else if (const Language* language = known(*found, "language")) {
        offered.push_back(language);
    } else {
        return false;
    }
    std::string tags;
    for (const Language* language : offered) tags += (tags.empty() ? "" : ", ") + language->tag;
    for (const Language* language : offered) offeredTags.push_back(language->tag);
    if (!picked) {
        if (offered.size() == 1) {
            chosen = offered.front();
            return true;
        }
        r.Fail("language", "the manifest offers " + tags + ": pick one with --language");
        return false;
    }
    const Language* wanted = FindLanguage(*picked);
    if (wanted && std::find(offered.begin(), offered.end(), wanted) != offered.end()) {
        chosen = wanted;
        return true;
    }
    r.Fail("language", "--language " + *picked + " is not one the manifest offers (" + tags + ")");
    return false;
}

void ReadMessages(Reader& r, const json& doc, const Language* language, Manifest& manifest) {
    Block& block = manifest.block;
    // The English defaults are ASCII, which every code page the reader accepts keeps as it is.
    block.messages.assign(kDefaultMessages, kDefaultMessages + kMessageCount);
    auto found = doc.find("messages");
    for (int i = 0; language && i < kMessageCount; ++i) {
        if (found != doc.end() && found->is_object() && found->contains(kMessageKeys[i])) continue;
        auto converted = r.TextValue(json(language->messages[i]), Field("messages", kMessageKeys[i]),
                                     CodePage::Use::kMessage);
        if (converted) block.messages[i] = *converted;
    }
    if (found == doc.end()) return;
    if (!r.Object(*found, "messages", "messages")) return;
    r.Accept(*found, "messages", manifest);
    for (int i = 0; i < kMessageCount; ++i) {
        auto text = found->find(kMessageKeys[i]);
        if (text == found->end()) continue;
        manifest.givenMessages[i] = true;
        auto converted = r.TextValue(*text, Field("messages", kMessageKeys[i]), CodePage::Use::kMessage);
        if (converted) block.messages[i] = *converted;
    }
}

// "messagesByLanguage": an object of texts for each language the manifest offers, read like
// "messages". Each is checked in every reading; the chosen language's texts replace those of
// "messages" and of its table.
void ReadMessagesByLanguage(Reader& r, const json& doc, const Language* language, Manifest& manifest) {
    auto found = doc.find("messagesByLanguage");
    if (found == doc.end()) return;
    if (!found->is_object()) {
        r.Fail("messagesByLanguage",
               std::string("must be an object of texts by language tag, not ") + TypeName(*found));
        return;
    }
    if (!doc.contains("language")) {
        r.Fail("messagesByLanguage",
               "gives texts by language, but the manifest names no \"language\" to build in (add "
               "\"language\": the list of the languages it gives texts for)");
        return;
    }
    std::string offered;
    for (const auto& tag : manifest.offeredLanguages) offered += (offered.empty() ? "" : ", ") + tag;
    for (const auto& item : found->items()) {
        std::string where = Field("messagesByLanguage", item.key().c_str());
        const Language* named = FindLanguage(item.key());
        if (!named) {
            std::vector<std::string> tags(manifest.offeredLanguages);
            r.Fail(where, "is no language the manifest offers" + DidYouMean(item.key(), tags) +
                              " (it offers " + offered + ")");
            continue;
        }
        const auto& offers = manifest.offeredLanguages;
        if (std::find(offers.begin(), offers.end(), named->tag) == offers.end()) {
            // An unreadable "language" has been reported already.
            if (!manifest.offeredLanguages.empty())
                r.Fail(where, "is a language the manifest does not offer (it offers " + offered +
                                  "): add it to \"language\", or remove its texts");
            continue;
        }
        if (manifest.languageTexts.count(named->tag)) {
            r.Fail(where, "gives the texts of " + named->tag + " a second time");
            continue;
        }
        if (!r.Object(item.value(), where, "messages")) continue;
        r.Accept(item.value(), where, manifest);
        Manifest::LanguageTexts& texts = manifest.languageTexts[named->tag];
        texts.key = item.key();
        for (int i = 0; i < kMessageCount; ++i) {
            auto text = item.value().find(kMessageKeys[i]);
            if (text == item.value().end()) continue;
            texts.given[i] = true;
            if (named != language) {
                // Another language's text: its shape now, its code page in that language's reading.
                if (!text->is_string())
                    r.Fail(Field(where, kMessageKeys[i]),
                           std::string("must be a string, not ") + TypeName(*text));
                continue;
            }
            auto converted = r.TextValue(*text, Field(where, kMessageKeys[i]), CodePage::Use::kMessage);
            if (converted) manifest.block.messages[i] = *converted;
        }
    }
}

// "elevation": the execution level the uninstaller's manifest requests.
void ReadElevation(Reader& r, const json& doc, Manifest& manifest) {
    auto found = doc.find("elevation");
    if (found == doc.end()) return;
    std::optional<Elevation> elevation;
    if (found->is_string()) elevation = ElevationFromName(found->get_ref<const std::string&>());
    if (elevation) {
        manifest.elevation = *elevation;
        return;
    }
    std::string hint = found->is_string()
                           ? DidYouMean(found->get<std::string>(), {"administrator", "user", "highest"})
                           : std::string();
    r.Fail("elevation", "must be \"administrator\", \"user\" or \"highest\", not " + found->dump() + hint);
}

// "product": the name, version and publisher the copy's version resource gives. Texts stay UTF-8:
// the resource holds UTF-16.
void ReadProduct(Reader& r, const json& doc, Manifest& manifest) {
    auto found = doc.find("product");
    if (found == doc.end()) return;
    if (!r.Object(*found, "product", "product")) return;
    r.Accept(*found, "product", manifest);
    ProductIdentity product;
    bool complete = true;
    for (auto [key, text, required] :
         {std::tuple{"name", &product.name, true}, std::tuple{"version", &product.version, true},
          std::tuple{"publisher", &product.publisher, false}}) {
        std::string where = Field("product", key);
        auto value = found->find(key);
        if (value == found->end()) {
            if (required) {
                r.Fail(where, "is missing: the version resource names the product by it");
                complete = false;
            }
            continue;
        }
        if (!value->is_string()) {
            r.Fail(where, std::string("must be a string, not ") + TypeName(*value));
            complete = false;
            continue;
        }
        const std::string& utf8 = value->get_ref<const std::string&>();
        size_t units = Utf16FromUtf8(utf8).size();
        bool control = std::any_of(utf8.begin(), utf8.end(),
                                   [](char c) { return static_cast<unsigned char>(c) < 0x20; });
        if (control) {
            r.Fail(where,
                   "holds a control character (below 0x20): the file's properties show it on one line");
        } else if (required && utf8.empty()) {
            r.Fail(where, "is empty");
        } else if (units > kProductTextLimit) {
            r.Fail(where, "is " + std::to_string(units) +
                              " characters long; the version resource takes at most " +
                              std::to_string(kProductTextLimit));
        } else {
            *text = utf8;
            continue;
        }
        complete = false;
    }
    if (complete && !ParseFileVersion(product.version)) {
        r.Fail("product.version", JsonString(product.version) +
                                      " is no version of 1 to 4 whole numbers of 0 to 65535 joined by dots "
                                      "(\"2.1\", \"2.1.0.17\"): the file version is made of them");
        complete = false;
    }
    if (complete) manifest.product = std::move(product);
}

// "unattended": true empties the two questions the passes ask in every mode, /S and /Q included: a
// read-only file then goes without a question, and a shared file when its count runs out.
void ReadUnattended(Reader& r, const json& doc, Manifest& manifest) {
    auto found = doc.find("unattended");
    if (found == doc.end()) return;
    if (!found->is_boolean()) {
        r.Fail("unattended", std::string("must be true or false, not ") + TypeName(*found));
        return;
    }
    manifest.unattended = found->get<bool>();
    if (!*manifest.unattended) return;
    // The questions as "messages" and each language's object give them.
    std::vector<std::pair<std::string, const json*>> places;
    if (auto messages = doc.find("messages"); messages != doc.end() && messages->is_object())
        places.push_back({"messages", &*messages});
    if (auto byLanguage = doc.find("messagesByLanguage");
        byLanguage != doc.end() && byLanguage->is_object()) {
        for (const auto& item : byLanguage->items()) {
            if (item.value().is_object())
                places.push_back({Field("messagesByLanguage", item.key().c_str()), &item.value()});
        }
    }
    for (int n : {kMsgReadOnlyQuestion, kMsgSharedFileQuestion}) {
        for (const auto& [where, messages] : places) {
            auto text = messages->find(kMessageKeys[n]);
            if (text != messages->end() &&
                !(text->is_string() && text->get_ref<const std::string&>().empty())) {
                r.Fail(Field(where, kMessageKeys[n]),
                       "conflicts with \"unattended\": true, which leaves this question empty so that no run "
                       "waits for "
                       "an answer (leave the message out, or drop \"unattended\")");
            }
        }
        manifest.block.messages[n].clear();
    }
}

size_t Room(std::initializer_list<const std::string*> texts) {
    size_t total = 0;
    for (const auto* t : texts) total += t->size() + 1;
    return total;
}

// "view": 64 names the 64-bit view of the registry (64-bit programs' keys and shared counts), 32
// the view a 32-bit program has (the default). True for 64; nothing when the field is bad.
std::optional<bool> ReadView(Reader& r, const json& entry, const std::string& where) {
    auto found = entry.find("view");
    if (found == entry.end()) return false;
    if (!found->is_number_integer() || (*found != 32 && *found != 64)) {
        r.Fail(Field(where, "view"), "must be 32 or 64 (the registry view), not " + found->dump());
        return std::nullopt;
    }
    return *found == 64;
}

// Fails `where` when `texts` (the words for them: "folder and name take") need more than `limit`
// bytes with their terminators, the room the uninstaller keeps for one entry's texts.
void CheckRoom(Reader& r, const std::string& where, const char* texts,
               std::initializer_list<const std::string*> parts, size_t limit,
               const char* terminators = " bytes with their terminators") {
    size_t room = Room(parts);
    if (room > limit) {
        r.Fail(where, std::string(texts) + " " + std::to_string(room) + terminators +
                          "; the uninstaller holds at most " + std::to_string(limit));
    }
}

void ReadFile(Reader& r, const json& entry, size_t i, Manifest& manifest) {
    Block& block = manifest.block;
    std::string where = Item("files", i);
    if (!r.Object(entry, where, "files[]")) return;
    r.Accept(entry, where, manifest);
    FileSpec file;
    auto folder = r.Text(entry, "folder", Field(where, "folder"));
    auto name = r.Text(entry, "name", Field(where, "name"), std::string());
    if (auto flags = entry.find("flags"); flags != entry.end() && r.Array(*flags, Field(where, "flags"))) {
        for (size_t k = 0; k < flags->size(); ++k) {
            const json& flag = (*flags)[k];
            if (!flag.is_string()) {
                r.Fail(Item(Field(where, "flags"), k),
                       std::string("must be a flag name, not ") + TypeName(flag));
            } else if (auto bit = FileFlagFromName(flag.get_ref<const std::string&>())) {
                file.flags |= *bit;
            } else {
                std::string hint =
                    DidYouMean(flag.get<std::string>(), {"shared", "font", "selfRegister", "mustBeFree"});
                r.Fail(Item(Field(where, "flags"), k),
                       "unknown flag " + flag.dump() +
                           (hint.empty() ? " (flags are shared, font, selfRegister, mustBeFree)" : hint));
            }
        }
    }
    auto view64 = ReadView(r, entry, where);
    if (view64 && *view64) {
        if (!(file.flags & kFileShared)) {
            r.Fail(Field(where, "view"),
                   "applies to a shared file's count only (SharedDLLs in the 64-bit registry view): add "
                   "\"shared\" to the flags, or leave \"view\" out");
        }
        file.flags |= kFileView64;
    }
    if (!folder || !name || !view64) return;
    file.folder = std::move(*folder);
    file.name = std::move(*name);
    CheckRoom(r, where, "folder and name take", {&file.folder, &file.name}, kFileEntryTextLimit);
    block.files.push_back(std::move(file));
    manifest.fileIndex.push_back(i);
}

void ReadShortcut(Reader& r, const json& entry, size_t i, Manifest& manifest) {
    Block& block = manifest.block;
    std::string where = Item("shortcuts", i);
    if (!r.Object(entry, where, "shortcuts[]")) return;
    r.Accept(entry, where, manifest);
    ShortcutSpec shortcut;
    std::optional<int64_t> levels = 0;
    if (auto found = entry.find("levels"); found != entry.end())
        levels = r.Integer(*found, Field(where, "levels"), 0, 255);
    auto folder = r.Text(entry, "folder", Field(where, "folder"));
    auto second = r.Text(entry, "secondFolder", Field(where, "secondFolder"), std::string());
    auto name = r.Text(entry, "name", Field(where, "name"), std::string());
    if (!levels || !folder || !second || !name) return;
    shortcut.levels = static_cast<uint8_t>(*levels);
    shortcut.folder = std::move(*folder);
    shortcut.secondFolder = std::move(*second);
    shortcut.name = std::move(*name);
    CheckRoom(r, where, "its texts take", {&shortcut.folder, &shortcut.secondFolder, &shortcut.name},
              kShortcutEntryTextLimit);
    block.shortcuts.push_back(std::move(shortcut));
    manifest.shortcutIndex.push_back(i);
}

void ReadRegistryEntry(Reader& r, const json& entry, size_t i, Manifest& manifest) {
    Block& block = manifest.block;
    std::string where = Item("registry", i);
    if (!r.Object(entry, where, "registry[]")) return;
    r.Accept(entry, where, manifest);
    std::optional<uint32_t> root;
    auto rootField = entry.find("root");
    if (rootField == entry.end()) {
        r.Fail(Field(where, "root"), "is missing");
    } else if (!rootField->is_string()) {
        r.Fail(Field(where, "root"), std::string("must be a root name, not ") + TypeName(*rootField));
    } else if (!(root = RootFromName(rootField->get_ref<const std::string&>()))) {
        std::vector<std::string> names;
        for (const auto& known : kRoots) names.insert(names.end(), {known.shortName, known.longName});
        std::string hint = DidYouMean(rootField->get<std::string>(), names);
        r.Fail(Field(where, "root"),
               "unknown root " + rootField->dump() +
                   (hint.empty() ? " (roots are HKCR HKCU HKLM HKU HKPD HKCC HKDD)" : hint));
    }
    auto key = r.Text(entry, "key", Field(where, "key"));
    std::optional<std::string> value;
    if (entry.contains("value")) value = r.Text(entry, "value", Field(where, "value"));
    auto view64 = ReadView(r, entry, where);
    if (!root || !key || (entry.contains("value") && !value) || !view64) return;
    RegistrySpec stored{*root | (*view64 ? kRootView64 : 0u), value ? ComposeValuePath(*key, *value) : *key};
    // The uninstaller tells a value entry by a doubled last backslash and takes the value name after
    // the last one: what is stored must read back as what the manifest says.
    RegistryPathParts parts = SplitRegistryPath(stored.keyPath);
    if (value && value->find('\\') != std::string::npos) {
        r.Fail(Field(where, "value"),
               "holds \"\\\": the uninstaller takes a value's name after the last backslash, so "
               "it would remove another value or a whole key (a value name with a backslash "
               "cannot be stored)");
        return;
    }
    if (value && (parts.kind != RegistryEntryKind::kValue || parts.key != *key || parts.value != *value)) {
        r.Fail(where, "the key and value do not read back as written: the uninstaller would act on " +
                          std::string(parts.kind == RegistryEntryKind::kValue ? "another value" : "a key"));
        return;
    }
    if (!value && parts.kind == RegistryEntryKind::kValue) {
        r.Fail(Field(where, "key"),
               "its last backslash is doubled: the uninstaller reads the name after it as a "
               "value of the key before it, not as a key (write \"value\" to remove a value, or "
               "one backslash to remove the key; in a double-byte code page a character whose "
               "second byte is that of \"\\\" counts as a backslash)");
        return;
    }
    CheckRoom(r, where, "the key path takes", {&stored.keyPath}, kRegistryEntryTextLimit,
              " bytes with its terminator");
    if (stored.keyPath.size() > 0xFFFF) return;
    block.registry.push_back(std::move(stored));
    manifest.registryIndex.push_back(i);
}

// The three lists can hold 100,000 entries: each entry is read as soon as the parser has it and is
// not kept in the document (see ParseManifest).
enum class ListKind { kNone, kFiles, kShortcuts, kRegistry };

ListKind ListOfKey(const std::string& key) {
    if (key == "files") return ListKind::kFiles;
    if (key == "shortcuts") return ListKind::kShortcuts;
    if (key == "registry") return ListKind::kRegistry;
    return ListKind::kNone;
}

// Tells, for each event of the parser, whether it belongs to an entry of a top-level list.
class ListTracker {
  public:
    // Returns the list when the event ends (or is) one whole entry of it.
    ListKind Entry(int depth, json::parse_event_t event, const json& parsed) {
        using E = json::parse_event_t;
        if (depth == 1 && event == E::key) key_ = ListOfKey(parsed.get_ref<const std::string&>());
        if (depth == 1 && event == E::array_start) inList_ = key_;
        if (depth == 1 && event == E::array_end) inList_ = ListKind::kNone;
        if (depth == 2 && inList_ != ListKind::kNone &&
            (event == E::object_end || event == E::array_end || event == E::value)) {
            return inList_;
        }
        return ListKind::kNone;
    }
    // True when the event starts an entry of a list.
    bool Starts(int depth, json::parse_event_t event) const {
        using E = json::parse_event_t;
        return depth == 2 && inList_ != ListKind::kNone &&
               (event == E::object_start || event == E::array_start);
    }

  private:
    ListKind key_ = ListKind::kNone;
    ListKind inList_ = ListKind::kNone;
};

void ReadPatterns(Reader& r, const json& list, Manifest& manifest) {
    Block& block = manifest.block;
    if (!r.Array(list, "patterns")) return;
    for (size_t i = 0; i < list.size(); ++i) {
        std::string where = Item("patterns", i);
        auto pattern = r.TextValue(list[i], where);
        if (!pattern) continue;
        if (pattern->empty()) {
            r.Fail(where, "is empty; an empty pattern would end the list");
            continue;
        }
        block.patterns.push_back(std::move(*pattern));
        manifest.patternIndex.push_back(i);
    }
}

void ReadSettings(Reader& r, const json& settings, Manifest& manifest) {
    Block& block = manifest.block;
    if (!r.Object(settings, "settings", "settings")) return;
    r.Accept(settings, "settings", manifest);
    SettingsSpec read;
    if (r.Bool(settings, "waitForRun", "settings.waitForRun")) read.flags |= kSettingsWaitForRun;
    if (r.Bool(settings, "themedControls", "settings.themedControls")) read.flags |= kSettingsThemedControls;
    if (settings.contains("runFirst")) read.command = r.Text(settings, "runFirst", "settings.runFirst");
    if (settings.contains("document")) read.document = r.Text(settings, "document", "settings.document");
    block.settings = std::move(read);
}

// "line 3, column 5" for a byte offset of the text.
std::string Position(std::string_view text, size_t byte) {
    size_t line = 1, column = 1;
    for (size_t i = 0; i < byte && i < text.size(); ++i) {
        if (text[i] == '\n') {
            ++line;
            column = 1;
        } else {
            ++column;
        }
    }
    return "line " + std::to_string(line) + ", column " + std::to_string(column);
}

// Finds the keys given twice in one object, which a JSON reader takes the last of without a word:
// the author meant one of them. A pass of its own over the text, with the JSON path of each.
class DuplicateKeys : public nlohmann::json_sax<json> {
  public:
    explicit DuplicateKeys(std::vector<Problem>& problems) : problems_(problems) {}

    bool null() override { return Value(); }
    bool boolean(bool) override { return Value(); }
    bool number_integer(number_integer_t) override { return Value(); }
    bool number_unsigned(number_unsigned_t) override { return Value(); }
    bool number_float(number_float_t, const string_t&) override { return Value(); }
    bool string(string_t&) override { return Value(); }
    bool binary(binary_t&) override { return Value(); }
    bool start_object(std::size_t) override { return Open(false); }
    bool start_array(std::size_t) override { return Open(true); }
    bool end_object() override { return Close(); }
    bool end_array() override { return Close(); }
    bool key(string_t& key) override {
        Frame& frame = stack_.back();
        if (!frame.keys.insert(key).second) {
            std::string where = Field(frame.path, key.c_str());
            problems_.push_back({where,
                                 "is given twice in this object: a reader takes only the last one (remove or "
                                 "rename the other)"});
        }
        frame.key = key;
        return true;
    }
    bool parse_error(std::size_t, const std::string&, const nlohmann::detail::exception&) override {
        return false;
    }

  private:
    struct Frame {
        bool array = false;
        size_t next = 0;
        std::string path;
        std::string key;
        std::set<std::string> keys;
    };
    std::string ChildPath() {
        if (stack_.empty()) return "";
        Frame& parent = stack_.back();
        return parent.array ? Item(parent.path, parent.next++) : Field(parent.path, parent.key.c_str());
    }
    bool Value() {
        if (!stack_.empty() && stack_.back().array) ++stack_.back().next;
        return true;
    }
    bool Open(bool array) {
        Frame frame;
        frame.array = array;
        frame.path = ChildPath();
        stack_.push_back(std::move(frame));
        return true;
    }
    bool Close() {
        stack_.pop_back();
        return true;
    }
    std::vector<Problem>& problems_;
    std::vector<Frame> stack_;
};

}  // namespace

namespace {

// The document without the entries of the three lists (see ParseManifest). False, with the
// problem, on text that is no JSON.
bool ParseWithoutEntries(std::string_view text, json& doc, std::vector<Problem>& problems) {
    try {
        ListTracker tracker;
        json::parser_callback_t withoutEntries = [&tracker](int depth, json::parse_event_t event,
                                                            json& parsed) {
            bool starts = tracker.Starts(depth, event);
            return !starts && tracker.Entry(depth, event, parsed) == ListKind::kNone;
        };
        doc = json::parse(text.begin(), text.end(), withoutEntries, true, true);
        return true;
    } catch (const json::parse_error& e) {
        std::string what = e.what();
        size_t cut = what.find("] ");
        what = cut == std::string::npos ? what : what.substr(cut + 2);
        if (what.rfind("parse error at line", 0) != 0) what = Position(text, e.byte) + ": " + what;
        problems.push_back({"", "not valid JSON: " + what});
        return false;
    }
}

// The language and the code page. The page is null when neither names one that can be used (the
// problem is recorded): the texts are then read as they are written, unconverted.
std::unique_ptr<CodePage> ReadCodePage(Reader& r, const json& doc, const ManifestOptions& options,
                                       const Language*& language, Manifest& manifest,
                                       std::vector<Problem>& problems) {
    bool pageKnown = true;
    if (!ReadLanguage(r, doc, options.language, language, manifest.offeredLanguages)) pageKnown = false;
    if (language) {
        manifest.codePage = language->codePage;
        manifest.language = language->tag;
    }
    if (auto found = doc.find("codePage"); found != doc.end()) {
        auto number = r.Integer(*found, "codePage", 1, 65535);
        if (!number) {
            pageKnown = false;
        } else if (language && *number != language->codePage) {
            r.Fail("codePage", std::to_string(*number) + " conflicts with the language " + language->tag +
                                   ", whose texts are in code page " + std::to_string(language->codePage) +
                                   " (leave \"codePage\" out, or give " + std::to_string(language->codePage) +
                                   ")");
            pageKnown = false;
        } else {
            manifest.codePage = static_cast<int>(*number);
        }
    }
    std::string error;
    std::unique_ptr<CodePage> page;
    if (pageKnown) {
        page = CodePage::Open(manifest.codePage, error);
        if (!page) problems.push_back({"codePage", error});
    }
    return page;
}

// The entries of the three lists, each read as the parser ends it and then dropped.
void ReadListEntries(Reader& r, std::string_view text, Manifest& manifest) {
    ListTracker tracker;
    size_t counts[4] = {};
    json::parser_callback_t readEntries = [&](int depth, json::parse_event_t event, json& parsed) {
        ListKind list = tracker.Entry(depth, event, parsed);
        switch (list) {
            case ListKind::kFiles:
                ReadFile(r, parsed, counts[1]++, manifest);
                return false;
            case ListKind::kShortcuts:
                ReadShortcut(r, parsed, counts[2]++, manifest);
                return false;
            case ListKind::kRegistry:
                ReadRegistryEntry(r, parsed, counts[3]++, manifest);
                return false;
            case ListKind::kNone:
                return true;
        }
        return true;
    };
    json rest = json::parse(text.begin(), text.end(), readEntries, true, true);
    (void)rest;
}

}  // namespace

bool ParseManifest(std::string_view text, Manifest& manifest, std::vector<Problem>& problems,
                   const ManifestOptions& options) {
    size_t before = problems.size();
    manifest = Manifest{};
    // First the document without the entries of the three lists: the code page, the messages, the
    // patterns and the settings. Then the lists, each entry read and dropped as the parser ends it,
    // so that no document of 100,000 entries is ever built.
    json doc;
    if (!ParseWithoutEntries(text, doc, problems)) {
        manifest.complete = false;
        return false;
    }
    {
        DuplicateKeys duplicates(problems);
        json::sax_parse(text.begin(), text.end(), &duplicates, nlohmann::detail::input_format_t::json, true,
                        true);
    }
    Reader r(problems);
    if (!r.Object(doc, "", "")) {
        manifest.complete = false;
        return false;
    }
    r.Accept(doc, "", manifest);
    // "$schema" names the schema an editor checks the manifest with; the block has no place for it.
    if (auto found = doc.find("$schema"); found != doc.end() && !found->is_string()) {
        r.Fail("$schema", std::string("must be a string, not ") + TypeName(*found));
    }
    // A part that cannot be read is reported and the reading goes on, so that one run names every
    // problem.
    const Language* language = nullptr;
    std::unique_ptr<CodePage> page = ReadCodePage(r, doc, options, language, manifest, problems);
    r.SetCodePage(page.get());
    ReadMessages(r, doc, language, manifest);
    ReadMessagesByLanguage(r, doc, language, manifest);
    ReadUnattended(r, doc, manifest);
    ReadElevation(r, doc, manifest);
    ReadProduct(r, doc, manifest);
    bool lists = false;
    for (const char* list : {"files", "shortcuts", "registry"}) {
        if (auto found = doc.find(list); found != doc.end()) lists = r.Array(*found, list) || lists;
    }
    if (auto found = doc.find("patterns"); found != doc.end()) ReadPatterns(r, *found, manifest);
    if (auto found = doc.find("settings"); found != doc.end()) ReadSettings(r, *found, manifest);
    if (lists) ReadListEntries(r, text, manifest);
    if (problems.size() == before) {
        // The format library's own limits, as a last guard.
        std::string invalid = ValidateBlock(manifest.block);
        if (!invalid.empty()) problems.push_back({"", invalid});
    }
    manifest.complete = problems.size() == before;
    return manifest.complete;
}

}  // namespace pack
