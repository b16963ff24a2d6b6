// Random manifests, and the property every manifest must keep through the packer: the host
// property test draws the choices from a seeded generator, the fuzz target (fuzz/load_fuzz.cpp)
// from its input bytes.
//
// The property: a manifest that ParseManifest accepts builds a block that the uninstaller's loader
// reads without error (so `check`, which only judges accepted manifests, never passes one the loader
// refuses), dump prints that block in full, and building the dump gives the same block again.
#pragma once

#include <cstdint>
#include <cstdio>
#include <functional>
#include <nlohmann/json.hpp>
#include <string>
#include <vector>

#include "data/loader.h"
#include "format/block_writer.h"
#include "pack/check.h"
#include "pack/image.h"
#include "pack/manifest.h"

namespace pack_testing {

// Gives a number below `bound` (bound > 0) for each choice the generator makes.
using Choose = std::function<uint32_t(uint32_t bound)>;

class RandomManifest {
  public:
    explicit RandomManifest(Choose choose) : choose_(std::move(choose)) {}

    std::string Json() {
        nlohmann::json doc = nlohmann::json::object();
        static const int kPages[] = {1252, 1251, 1250, 932, 936, 949, 950, 437, 922};
        if (Chance(4)) doc["codePage"] = kPages[choose_(std::size(kPages))];
        if (Chance(2)) {
            static const char* const kKeys[] = {"caption",          "confirm", "badHeader",
                                                "readOnlyQuestion", "noToAll", "fileInUse"};
            nlohmann::json messages = nlohmann::json::object();
            for (uint32_t n = choose_(4); n > 0; --n) messages[kKeys[choose_(std::size(kKeys))]] = Text(40);
            doc["messages"] = messages;
        }
        if (Chance(2)) doc["files"] = List([this] { return File(); });
        if (Chance(3)) doc["shortcuts"] = List([this] { return Shortcut(); });
        if (Chance(2)) doc["registry"] = List([this] { return Registry(); });
        if (Chance(2)) doc["patterns"] = List([this] { return nlohmann::json(Text(30)); });
        if (Chance(3)) {
            nlohmann::json settings = nlohmann::json::object();
            if (Chance(2)) settings["waitForRun"] = Chance(2);
            if (Chance(2)) settings["themedControls"] = Chance(2);
            if (Chance(2)) settings["runFirst"] = Text(30);
            if (Chance(2)) settings["document"] = Text(30);
            doc["settings"] = settings;
        }
        return doc.dump();
    }

  private:
    bool Chance(uint32_t oneIn) { return choose_(oneIn) == 0; }

    // Texts from the pieces paths, keys and messages are made of, now and then long enough to
    // reach the limits of the format.
    std::string Text(uint32_t typical) {
        static const char* const kPieces[] = {"a",
                                              "Z",
                                              "\\",
                                              "\\\\",
                                              "#",
                                              "#Windows#",
                                              "#TempDir#",
                                              "#Nope#",
                                              ".",
                                              "..",
                                              ":",
                                              "/",
                                              "*",
                                              "?",
                                              " ",
                                              "%s",
                                              "%d",
                                              "%",
                                              "é",
                                              "Ж",
                                              "¥",
                                              "‾",
                                              "表",
                                              "日本",
                                              "wwgT)H",
                                              ".\\",
                                              "C:\\",
                                              "Software",
                                              "System",
                                              "CLSID",
                                              "CurrentControlSet",
                                              "Microsoft",
                                              "Classes",
                                              "Program Files",
                                              "Common Files",
                                              "drivers",
                                              "System32",
                                              "Vendor",
                                              "App",
                                              "\xF0\x9F\x98\x80"};
        uint32_t length = Chance(8) ? 100 + choose_(500) : choose_(typical);
        std::string out;
        while (out.size() < length) out += kPieces[choose_(std::size(kPieces))];
        return out;
    }

    template <class Make>
    nlohmann::json List(Make make) {
        nlohmann::json list = nlohmann::json::array();
        for (uint32_t n = choose_(6); n > 0; --n) list.push_back(make());
        return list;
    }

    nlohmann::json File() {
        static const char* const kFolders[] = {".\\", ".\\Bin", "",    "C:\\App",
                                               "Sub", "..\\x",  "...", ".\\Data\\..."};
        nlohmann::json entry = {{"folder", Chance(2) ? kFolders[choose_(std::size(kFolders))] : Text(40)}};
        if (!Chance(3)) entry["name"] = Text(20);
        if (Chance(3)) {
            static const char* const kFlags[] = {"shared", "font", "selfRegister", "mustBeFree"};
            nlohmann::json flags = nlohmann::json::array();
            for (uint32_t n = 1 + choose_(3); n > 0; --n) flags.push_back(kFlags[choose_(std::size(kFlags))]);
            entry["flags"] = flags;
        }
        return entry;
    }

    nlohmann::json Shortcut() {
        nlohmann::json entry = {{"levels", choose_(6)},
                                {"folder", Chance(2) ? "C:\\Menu\\Vendor\\App" : Text(40)}};
        if (Chance(2)) entry["secondFolder"] = Text(30);
        if (Chance(2)) entry["name"] = Text(20);
        return entry;
    }

    nlohmann::json Registry() {
        static const char* const kRoots[] = {"HKCR", "HKCU", "HKLM", "HKU", "HKPD", "HKCC", "HKDD"};
        nlohmann::json entry = {{"root", kRoots[choose_(std::size(kRoots))]}, {"key", Text(40)}};
        if (Chance(2)) entry["value"] = Text(10);
        return entry;
    }

    Choose choose_;
};

// Where the dump says something else than the manifest about what is removed (files, shortcuts,
// registry entries, patterns, settings), or "". Messages are left out: a code page may show a
// character of a message as another one (932 stores "¥" as the byte of "\\").
inline std::string DumpDiffers(const std::string& manifestJson, const std::string& dumpJson) {
    using nlohmann::json;
    json a = json::parse(manifestJson);
    json b = json::parse(dumpJson);
    auto text = [](const json& entry, const char* key) {
        auto found = entry.find(key);
        return found == entry.end() ? std::string() : found->get<std::string>();
    };
    auto flags = [](const json& entry) {
        uint32_t bits = 0;
        if (auto found = entry.find("flags"); found != entry.end()) {
            for (const auto& flag : *found) bits |= *pack::FileFlagFromName(flag.get<std::string>());
        }
        return bits;
    };
    auto list = [](const json& doc, const char* key) { return doc.contains(key) ? doc[key] : json::array(); };
    for (const char* key : {"files", "shortcuts", "registry", "patterns"}) {
        json x = list(a, key), y = list(b, key);
        if (x.size() != y.size()) return std::string(key) + ": another number of entries";
        for (size_t i = 0; i < x.size(); ++i) {
            std::string where = std::string(key) + "[" + std::to_string(i) + "]";
            if (x[i].is_string()) {
                if (x[i] != y[i]) return where;
                continue;
            }
            for (const char* field : {"folder", "name", "secondFolder", "root", "key"}) {
                if (text(x[i], field) != text(y[i], field)) return where + "." + field;
            }
            if (x[i].contains("value") != y[i].contains("value") ||
                text(x[i], "value") != text(y[i], "value")) {
                return where + ".value";
            }
            if (flags(x[i]) != flags(y[i])) return where + ".flags";
            if (x[i].value("levels", 0) != y[i].value("levels", 0)) return where + ".levels";
        }
    }
    json s = a.value("settings", json()), t = b.value("settings", json());
    if (s.is_null() != t.is_null()) return "settings";
    if (!s.is_null()) {
        for (const char* field : {"runFirst", "document"}) {
            if (s.contains(field) != t.contains(field) || text(s, field) != text(t, field)) {
                return std::string("settings.") + field;
            }
        }
        for (const char* flag : {"waitForRun", "themedControls"}) {
            if (s.value(flag, false) != t.value(flag, false)) return std::string("settings.") + flag;
        }
    }
    return "";
}

// Checks the property for one manifest; returns what broke it, or "" (also for a manifest that is
// refused: the property says nothing about those; `accepted` tells them apart).
inline std::string CheckBuildDumpBuild(const std::string& json, bool* accepted = nullptr) {
    pack::Manifest manifest;
    std::vector<pack::Problem> problems;
    bool parsed = pack::ParseManifest(json, manifest, problems);
    if (accepted) *accepted = parsed;
    if (!parsed) return "";
    auto findings = pack::CheckManifest(manifest, {});
    size_t errors = 0;
    for (const auto& f : findings) errors += f.severity == pack::Severity::kError;
    format::Bytes block = format::EncodeBlock(manifest.block);
    FILE* file = fmemopen(block.data(), block.size(), "rb");
    if (!file) return "fmemopen failed";
    pack::LoadedData loaded;
    LoadFailure failure{};
    int code = LoadRecords(file, 0, loaded.data, &failure);
    fclose(file);
    if (code != 0) {
        return std::string(errors ? "build --force" : "check accepted") +
               " a manifest whose block the loader refuses (" + LoadErrorName(code) + ")";
    }
    pack::Manifest dumped;
    dumped.codePage = manifest.codePage;
    dumped.block = pack::BlockFromData(loaded.data);
    std::string dumpJson;
    std::vector<pack::Problem> notes;
    if (!pack::ManifestToJson(dumped, dumpJson, problems, notes))
        return "dump failed: " + problems.front().message;
    if (!notes.empty()) return "dump noted: " + notes.front().message;
    pack::Manifest again;
    if (!pack::ParseManifest(dumpJson, again, problems))
        return "the dump does not build: " + problems.front().message;
    if (format::EncodeBlock(again.block) != block)
        return "build -> dump -> build gives other bytes:\n" + dumpJson;
    std::string differs = DumpDiffers(json, dumpJson);
    if (!differs.empty()) return "the dump says something else at " + differs + ":\n" + dumpJson;
    return "";
}

}  // namespace pack_testing
