#include "pack/manifest.h"

#include <algorithm>
#include <cstdio>
#include <nlohmann/json.hpp>
#include <set>

#include "pack/json_text.h"
#include "pack/languages.h"
#include "pack/plan_paths.h"
#include "pack/suggest.h"

namespace pack {

using nlohmann::json;
using namespace format;

const char* const kMessageKeys[kMessageCount] = {
    "caption",
    "confirm",
    "finished",
    "yes",
    "yesToAll",
    "no",
    "noToAll",
    "noMemory",
    "badHeader",
    "readOnlyQuestion",
    "sharedFileQuestion",
    "progressFiles",
    "progressShortcuts",
    "progressFolders",
    "progressRegistry",
    "fileInUse",
};

const char* const kDefaultMessages[kMessageCount] = {
    "Uninstall",
    "Remove this program and all of its components?",
    "The program was removed.",
    "&Yes",
    "Yes to &All",
    "&No",
    "No to A&ll",
    "There is not enough memory to read %s.",
    "The uninstall data in %s is damaged.",
    "%s is write-protected. Remove it anyway?",
    "%s may be used by other programs. Remove it?",
    "Removing files...",
    "Removing shortcuts...",
    "Removing folders...",
    "Removing registry entries...",
    "Some files are still in use. Close the program and choose Retry.",
};

namespace {

struct RootInfo {
    const char* shortName;
    const char* longName;
    uint32_t value;
};
const RootInfo kRoots[] = {
    {"HKCR", "HKEY_CLASSES_ROOT", kRootClassesRoot},
    {"HKCU", "HKEY_CURRENT_USER", kRootCurrentUser},
    {"HKLM", "HKEY_LOCAL_MACHINE", kRootLocalMachine},
    {"HKU", "HKEY_USERS", kRootUsers},
    {"HKPD", "HKEY_PERFORMANCE_DATA", kRootPerformanceData},
    {"HKCC", "HKEY_CURRENT_CONFIG", kRootCurrentConfig},
    {"HKDD", "HKEY_DYN_DATA", kRootDynData},
};

struct FlagName {
    const char* name;
    uint8_t bit;
};
const FlagName kFlags[] = {{"shared", kFileShared},
                           {"font", kFileFont},
                           {"selfRegister", kFileSelfRegister},
                           {"mustBeFree", kFileMustBeFree}};

std::string Field(const std::string& path, const char* key) {
    return path.empty() ? key : path + "." + key;
}
std::string Item(const std::string& path, size_t index) {
    return path + "[" + std::to_string(index) + "]";
}

std::string Quoted(const std::string& utf8) {
    return JsonString(utf8);
}

const char* TypeName(const json& j) {
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
        if (!page_->FromUtf8(utf8, converted, &error, use)) {
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
    auto messages = doc.find("messages");
    for (int n : {kMsgReadOnlyQuestion, kMsgSharedFileQuestion}) {
        if (messages != doc.end() && messages->is_object()) {
            auto text = messages->find(kMessageKeys[n]);
            if (text != messages->end() &&
                !(text->is_string() && text->get_ref<const std::string&>().empty())) {
                r.Fail(Field("messages", kMessageKeys[n]),
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
    if (!folder || !name) return;
    file.folder = std::move(*folder);
    file.name = std::move(*name);
    if (Room({&file.folder, &file.name}) > kFileEntryTextLimit) {
        r.Fail(where, "folder and name take " + std::to_string(Room({&file.folder, &file.name})) +
                          " bytes with their terminators; the uninstaller holds at most " +
                          std::to_string(kFileEntryTextLimit));
    }
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
    size_t room = Room({&shortcut.folder, &shortcut.secondFolder, &shortcut.name});
    if (room > kShortcutEntryTextLimit) {
        r.Fail(where, "its texts take " + std::to_string(room) +
                          " bytes with their terminators; the uninstaller holds at most " +
                          std::to_string(kShortcutEntryTextLimit));
    }
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
    if (!root || !key || (entry.contains("value") && !value)) return;
    RegistrySpec stored{*root, value ? ComposeValuePath(*key, *value) : *key};
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
    if (stored.keyPath.size() + 1 > kRegistryEntryTextLimit) {
        r.Fail(where, "the key path takes " + std::to_string(stored.keyPath.size() + 1) +
                          " bytes with its terminator; the uninstaller holds at most " +
                          std::to_string(kRegistryEntryTextLimit));
    }
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

}  // namespace

const std::vector<ManifestObjectFields>& ManifestFields() {
    // "accept" names the warnings the author means, at each place findings are about.
    static const std::vector<ManifestObjectFields> fields = [] {
        std::vector<const char*> messages(kMessageKeys, kMessageKeys + kMessageCount);
        messages.push_back("accept");
        return std::vector<ManifestObjectFields>{
            {"",
             {"$schema", "codePage", "language", "unattended", "messages", "files", "shortcuts", "registry",
              "patterns", "settings", "accept"}},
            {"messages", messages},
            {"files[]", {"folder", "name", "flags", "accept"}},
            {"shortcuts[]", {"levels", "folder", "secondFolder", "name", "accept"}},
            {"registry[]", {"root", "key", "value", "accept"}},
            {"settings", {"waitForRun", "themedControls", "runFirst", "document", "accept"}},
        };
    }();
    return fields;
}

std::string DescribeProblem(const std::string& file, const Problem& problem) {
    std::string out = file + ": ";
    if (!problem.where.empty()) out += problem.where + ": ";
    return out + problem.message;
}

std::optional<uint32_t> RootFromName(std::string_view name) {
    for (const auto& root : kRoots) {
        if (name == root.shortName || name == root.longName) return root.value;
    }
    return std::nullopt;
}

const char* RootName(uint32_t value) {
    for (const auto& root : kRoots) {
        if (root.value == value) return root.shortName;
    }
    return nullptr;
}

std::optional<uint8_t> FileFlagFromName(std::string_view name) {
    for (const auto& flag : kFlags) {
        if (name == flag.name) return flag.bit;
    }
    return std::nullopt;
}

std::vector<std::string> FileFlagNames(uint8_t flags) {
    std::vector<std::string> names;
    for (const auto& flag : kFlags) {
        if (flags & flag.bit) names.push_back(flag.name);
    }
    return names;
}

std::string EntryPath(const Manifest& manifest, const char* list, size_t index) {
    const std::vector<size_t>* indices = nullptr;
    std::string name = list;
    if (name == "files") indices = &manifest.fileIndex;
    if (name == "shortcuts") indices = &manifest.shortcutIndex;
    if (name == "registry") indices = &manifest.registryIndex;
    if (name == "patterns") indices = &manifest.patternIndex;
    return Item(name, indices && index < indices->size() ? (*indices)[index] : index);
}

namespace {

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

bool ParseManifest(std::string_view text, Manifest& manifest, std::vector<Problem>& problems,
                   const ManifestOptions& options) {
    size_t before = problems.size();
    manifest = Manifest{};
    // First the document without the entries of the three lists: the code page, the messages, the
    // patterns and the settings. Then the lists, each entry read and dropped as the parser ends it,
    // so that no document of 100,000 entries is ever built.
    json doc;
    try {
        ListTracker tracker;
        json::parser_callback_t withoutEntries = [&tracker](int depth, json::parse_event_t event,
                                                            json& parsed) {
            bool starts = tracker.Starts(depth, event);
            return !starts && tracker.Entry(depth, event, parsed) == ListKind::kNone;
        };
        doc = json::parse(text.begin(), text.end(), withoutEntries, true, true);
    } catch (const json::parse_error& e) {
        std::string what = e.what();
        size_t cut = what.find("] ");
        what = cut == std::string::npos ? what : what.substr(cut + 2);
        if (what.rfind("parse error at line", 0) != 0) what = Position(text, e.byte) + ": " + what;
        problems.push_back({"", "not valid JSON: " + what});
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
    // problem. Without a code page the texts are read as they are written, unconverted.
    bool pageKnown = true;
    const Language* language = nullptr;
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
        page = CodePage::Open(manifest.codePage, &error);
        if (!page) problems.push_back({"codePage", error});
    }
    r.SetCodePage(page.get());
    Block& block = manifest.block;
    ReadMessages(r, doc, language, manifest);
    ReadUnattended(r, doc, manifest);
    bool lists = false;
    for (const char* list : {"files", "shortcuts", "registry"}) {
        if (auto found = doc.find(list); found != doc.end()) lists = r.Array(*found, list) || lists;
    }
    if (auto found = doc.find("patterns"); found != doc.end()) ReadPatterns(r, *found, manifest);
    if (auto found = doc.find("settings"); found != doc.end()) ReadSettings(r, *found, manifest);
    if (lists) {
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
    if (problems.size() == before) {
        // The format library's own limits, as a last guard.
        std::string invalid = ValidateBlock(block);
        if (!invalid.empty()) problems.push_back({"", invalid});
    }
    manifest.complete = problems.size() == before;
    return manifest.complete;
}

namespace {

// Writes JSON texts from the code page, collecting the texts that cannot be converted.
class Writer {
  public:
    Writer(const CodePage& page, std::vector<Problem>& problems) : page_(page), problems_(problems) {}

    std::string Text(const std::string& bytes, const std::string& where) {
        std::string utf8;
        std::string error;
        if (!page_.ToUtf8(bytes, utf8, &error)) {
            problems_.push_back({where, error + "; try --code-page"});
            return "\"\"";
        }
        return Quoted(utf8);
    }

  private:
    const CodePage& page_;
    std::vector<Problem>& problems_;
};

}  // namespace

bool ManifestToJson(const Manifest& manifest, std::string& out, std::vector<Problem>& problems,
                    std::vector<Problem>& notes, const JsonOptions& options) {
    std::string error;
    auto page = CodePage::Open(manifest.codePage, &error);
    if (!page) {
        problems.push_back({"codePage", error});
        return false;
    }
    size_t before = problems.size();
    Writer w(*page, problems);
    const Block& block = manifest.block;
    out.clear();
    out += "{\n  \"codePage\": " + std::to_string(manifest.codePage) + ",\n";
    if (manifest.unattended)
        out += std::string("  \"unattended\": ") + (*manifest.unattended ? "true" : "false") + ",\n";

    out += "  \"messages\": {";
    size_t count = std::min<size_t>(block.messages.size(), kMessageCount);
    size_t shown = 0;
    for (size_t i = 0; i < count; ++i) {
        if (!options.defaultMessages && block.messages[i] == kDefaultMessages[i]) continue;
        std::string where = Field("messages", kMessageKeys[i]);
        out += (shown++ ? ",\n    " : "\n    ") + Quoted(kMessageKeys[i]) + ": " +
               w.Text(block.messages[i], where);
    }
    out += shown ? "\n  },\n" : "},\n";
    if (block.messages.size() < kMessageCount) {
        notes.push_back(
            {"messages", "the block holds " + std::to_string(block.messages.size()) +
                             " of the 16 messages; build fills in the English defaults for the rest"});
    } else if (block.messages.size() > kMessageCount) {
        notes.push_back({"messages", "the block holds " + std::to_string(block.messages.size()) +
                                         " messages; those after the 16th are never shown and are left out"});
    }

    out += "  \"files\": [";
    for (size_t i = 0; i < block.files.size(); ++i) {
        const auto& f = block.files[i];
        std::string where = Item("files", i);
        out += (i ? ",\n    " : "\n    ");
        out += "{\"folder\": " + w.Text(f.folder, Field(where, "folder"));
        if (!f.name.empty()) out += ", \"name\": " + w.Text(f.name, Field(where, "name"));
        auto flags = FileFlagNames(f.flags);
        if (!flags.empty()) {
            out += ", \"flags\": [";
            for (size_t k = 0; k < flags.size(); ++k) out += (k ? ", " : "") + Quoted(flags[k]);
            out += "]";
        }
        out += "}";
        uint8_t unnamed =
            f.flags & static_cast<uint8_t>(~(kFileShared | kFileFont | kFileSelfRegister | kFileMustBeFree));
        if (unnamed) {
            char bits[8];
            snprintf(bits, sizeof bits, "0x%02X", unnamed);
            notes.push_back(
                {Field(where, "flags"), std::string("flag bits ") + bits + " have no name and are left out"});
        }
    }
    out += block.files.empty() ? "],\n" : "\n  ],\n";

    out += "  \"shortcuts\": [";
    for (size_t i = 0; i < block.shortcuts.size(); ++i) {
        const auto& s = block.shortcuts[i];
        std::string where = Item("shortcuts", i);
        out += (i ? ",\n    " : "\n    ");
        out += "{\"levels\": " + std::to_string(s.levels) +
               ", \"folder\": " + w.Text(s.folder, Field(where, "folder")) +
               ", \"secondFolder\": " + w.Text(s.secondFolder, Field(where, "secondFolder")) +
               ", \"name\": " + w.Text(s.name, Field(where, "name")) + "}";
    }
    out += block.shortcuts.empty() ? "],\n" : "\n  ],\n";

    out += "  \"registry\": [";
    for (size_t i = 0; i < block.registry.size(); ++i) {
        const auto& r = block.registry[i];
        std::string where = Item("registry", i);
        out += (i ? ",\n    " : "\n    ");
        const char* root = RootName(r.root);
        std::string rootText;
        if (root) {
            rootText = root;
        } else {
            char hex[16];
            snprintf(hex, sizeof hex, "0x%08X", r.root);
            rootText = hex;
            notes.push_back(
                {Field(where, "root"), rootText + " is no predefined root; build does not accept it"});
        }
        RegistryPathParts parts = SplitRegistryPath(r.keyPath);
        out += "{\"root\": " + Quoted(rootText) + ", \"key\": " + w.Text(parts.key, Field(where, "key"));
        if (parts.kind == RegistryEntryKind::kValue)
            out += ", \"value\": " + w.Text(parts.value, Field(where, "value"));
        out += "}";
    }
    out += block.registry.empty() ? "],\n" : "\n  ],\n";

    out += "  \"patterns\": [";
    for (size_t i = 0; i < block.patterns.size(); ++i) {
        out += (i ? ",\n    " : "\n    ") + w.Text(block.patterns[i], Item("patterns", i));
    }
    out += block.patterns.empty() ? "]" : "\n  ]";

    if (block.settings) {
        const auto& s = *block.settings;
        out += ",\n  \"settings\": {\"waitForRun\": ";
        out += (s.flags & kSettingsWaitForRun) ? "true" : "false";
        out += ", \"themedControls\": ";
        out += (s.flags & kSettingsThemedControls) ? "true" : "false";
        if (s.command) out += ", \"runFirst\": " + w.Text(*s.command, "settings.runFirst");
        if (s.document) out += ", \"document\": " + w.Text(*s.document, "settings.document");
        out += "}";
        uint32_t unnamed = s.flags & ~static_cast<uint32_t>(kSettingsWaitForRun | kSettingsThemedControls);
        if (unnamed) {
            char bits[16];
            snprintf(bits, sizeof bits, "0x%X", unnamed);
            notes.push_back(
                {"settings", std::string("flag bits ") + bits + " have no name and are left out"});
        }
    }
    out += "\n}\n";
    return problems.size() == before;
}

}  // namespace pack
