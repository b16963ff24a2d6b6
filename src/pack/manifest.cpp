#include "pack/manifest.h"

#include <algorithm>

#include "pack/manifest_reader.h"

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

const RootInfo kRoots[7] = {
    {"HKCR", "HKEY_CLASSES_ROOT", kRootClassesRoot},
    {"HKCU", "HKEY_CURRENT_USER", kRootCurrentUser},
    {"HKLM", "HKEY_LOCAL_MACHINE", kRootLocalMachine},
    {"HKU", "HKEY_USERS", kRootUsers},
    {"HKPD", "HKEY_PERFORMANCE_DATA", kRootPerformanceData},
    {"HKCC", "HKEY_CURRENT_CONFIG", kRootCurrentConfig},
    {"HKDD", "HKEY_DYN_DATA", kRootDynData},
};

namespace {

struct FlagName {
    const char* name;
    uint8_t bit;
};
const FlagName kFlags[] = {{"shared", kFileShared},
                           {"font", kFileFont},
                           {"selfRegister", kFileSelfRegister},
                           {"mustBeFree", kFileMustBeFree}};

}  // namespace

const std::vector<ManifestObjectFields>& ManifestFields() {
    // "accept" names the warnings the author means, at each place findings are about.
    static const std::vector<ManifestObjectFields> fields = [] {
        std::vector<const char*> messages(kMessageKeys, kMessageKeys + kMessageCount);
        messages.push_back("accept");
        return std::vector<ManifestObjectFields>{
            {"",
             {"$schema", "codePage", "language", "unattended", "elevation", "product", "messages",
              "messagesByLanguage", "files", "shortcuts", "registry", "patterns", "settings", "accept"}},
            {"messages", messages},
            {"product", {"name", "version", "publisher", "accept"}},
            {"files[]", {"folder", "name", "flags", "view", "accept"}},
            {"shortcuts[]", {"levels", "folder", "secondFolder", "name", "accept"}},
            {"registry[]", {"root", "key", "value", "view", "accept"}},
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

std::string MessagePath(const Manifest& manifest, size_t n) {
    const char* key = n < kMessageCount ? kMessageKeys[n] : "";
    auto texts = manifest.languageTexts.find(manifest.language);
    if (n < kMessageCount && texts != manifest.languageTexts.end() && texts->second.given[n])
        return "messagesByLanguage." + texts->second.key + "." + key;
    return std::string("messages.") + key;
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

}  // namespace pack
