#include <algorithm>

#include "pack/manifest_reader.h"
#include "pack/plan_paths.h"

namespace pack {

namespace {

// Writes JSON texts from the code page, collecting the texts that cannot be converted.
class Writer {
  public:
    Writer(const CodePage& page, std::vector<Problem>& problems) : page_(page), problems_(problems) {}

    std::string Text(const std::string& bytes, const std::string& where) {
        std::string utf8;
        std::string error;
        if (!page_.ToUtf8(bytes, utf8, error)) {
            problems_.push_back({where, error + "; try --code-page"});
            return "\"\"";
        }
        return Quoted(utf8);
    }

  private:
    const CodePage& page_;
    std::vector<Problem>& problems_;
};

// The "files" list, and a note for flag bits that have no name.
void AppendFiles(Writer& w, const Block& block, std::string& out, std::vector<Problem>& notes) {
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
        if (f.flags & kFileView64) out += ", \"view\": 64";
        out += "}";
        uint8_t unnamed = f.flags & static_cast<uint8_t>(~(kFileShared | kFileFont | kFileSelfRegister |
                                                           kFileMustBeFree | kFileView64));
        if (unnamed) {
            char bits[8];
            snprintf(bits, sizeof bits, "0x%02X", unnamed);
            notes.push_back(
                {Field(where, "flags"), std::string("flag bits ") + bits + " have no name and are left out"});
        }
    }
    out += block.files.empty() ? "],\n" : "\n  ],\n";
}

// The "registry" list, and a note for a root that is no predefined one.
void AppendRegistry(Writer& w, const Block& block, std::string& out, std::vector<Problem>& notes) {
    out += "  \"registry\": [";
    for (size_t i = 0; i < block.registry.size(); ++i) {
        const auto& r = block.registry[i];
        std::string where = Item("registry", i);
        out += (i ? ",\n    " : "\n    ");
        // The 64-bit view is a bit of the stored root (format/layout.h).
        uint32_t rootValue = r.root & ~kRootView64;
        const char* root = RootName(rootValue);
        std::string rootText;
        if (root) {
            rootText = root;
        } else {
            char hex[16];
            snprintf(hex, sizeof hex, "0x%08X", rootValue);
            rootText = hex;
            notes.push_back(
                {Field(where, "root"), rootText + " is no predefined root; build does not accept it"});
        }
        RegistryPathParts parts = SplitRegistryPath(r.keyPath);
        out += "{\"root\": " + Quoted(rootText) + ", \"key\": " + w.Text(parts.key, Field(where, "key"));
        if (parts.kind == RegistryEntryKind::kValue)
            out += ", \"value\": " + w.Text(parts.value, Field(where, "value"));
        if (rootValue != r.root) out += ", \"view\": 64";
        out += "}";
    }
    out += block.registry.empty() ? "],\n" : "\n  ],\n";
}

// The "settings" object, and a note for flag bits that have no name.
void AppendSettings(Writer& w, const SettingsSpec& s, std::string& out, std::vector<Problem>& notes) {
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
        notes.push_back({"settings", std::string("flag bits ") + bits + " have no name and are left out"});
    }
}

}  // namespace

bool ManifestToJson(const Manifest& manifest, std::string& out, std::vector<Problem>& problems,
                    std::vector<Problem>& notes, const JsonOptions& options) {
    std::string error;
    auto page = CodePage::Open(manifest.codePage, error);
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
    // What the uninstaller's resources say of it (the stub's own level, administrator, is the default).
    if (manifest.elevation != Elevation::kAdministrator)
        out += std::string("  \"elevation\": ") + Quoted(ElevationName(manifest.elevation)) + ",\n";
    if (manifest.product) {
        const ProductIdentity& p = *manifest.product;
        out += "  \"product\": {\"name\": " + Quoted(p.name) + ", \"version\": " + Quoted(p.version);
        if (!p.publisher.empty()) out += ", \"publisher\": " + Quoted(p.publisher);
        out += "},\n";
    }

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

    AppendFiles(w, block, out, notes);

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

    AppendRegistry(w, block, out, notes);

    out += "  \"patterns\": [";
    for (size_t i = 0; i < block.patterns.size(); ++i) {
        out += (i ? ",\n    " : "\n    ") + w.Text(block.patterns[i], Item("patterns", i));
    }
    out += block.patterns.empty() ? "]" : "\n  ]";

    if (block.settings) AppendSettings(w, *block.settings, out, notes);
    out += "\n}\n";
    return problems.size() == before;
}

}  // namespace pack
