#include "format/block_writer.h"

#include <algorithm>
#include <cstring>

#include "format/stub_image.h"

namespace format {

void PutU16(Bytes& out, uint16_t value) {
    out.push_back(static_cast<uint8_t>(value));
    out.push_back(static_cast<uint8_t>(value >> 8));
}

void PutU32(Bytes& out, uint32_t value) {
    for (int shift = 0; shift < 32; shift += 8) out.push_back(static_cast<uint8_t>(value >> shift));
}

void PutU32At(Bytes& out, size_t at, uint32_t value) {
    for (int i = 0; i < 4; ++i) out.at(at + i) = static_cast<uint8_t>(value >> (8 * i));
}

void PutText(Bytes& out, const std::string& text) {
    PutU16(out, static_cast<uint16_t>(text.size()));
    out.insert(out.end(), text.begin(), text.end());
}

Bytes EncodeRecord(uint16_t tag, const Bytes& body, uint8_t flags) {
    Bytes out;
    out.reserve(kRecordHeaderSize + body.size());
    PutU16(out, tag);
    out.push_back(flags);
    out.push_back(0);
    PutU32(out, static_cast<uint32_t>(body.size()));
    out.insert(out.end(), body.begin(), body.end());
    return out;
}

Bytes EncodeStringTable(const std::vector<std::string>& texts) {
    Bytes body;
    PutU16(body, 1);
    PutU16(body, static_cast<uint16_t>(texts.size()));
    for (const auto& text : texts) PutText(body, text);
    return EncodeRecord(kStringTablesRecord, body);
}

Bytes EncodeFileList(const std::vector<FileSpec>& files, uint16_t tag) {
    Bytes body;
    PutU32(body, static_cast<uint32_t>(files.size()));
    for (const auto& f : files) {
        PutText(body, f.folder);
        PutText(body, f.name);
        body.push_back(f.flags);
    }
    return EncodeRecord(tag, body);
}

Bytes EncodeShortcutList(const std::vector<ShortcutSpec>& shortcuts) {
    Bytes body;
    PutU32(body, static_cast<uint32_t>(shortcuts.size()));
    for (const auto& s : shortcuts) {
        body.push_back(s.levels);
        PutText(body, s.folder);
        PutText(body, s.secondFolder);
        PutText(body, s.name);
    }
    return EncodeRecord(kShortcutListRecord, body);
}

Bytes EncodeRegistryList(const std::vector<RegistrySpec>& entries) {
    Bytes body;
    PutU32(body, static_cast<uint32_t>(entries.size()));
    for (const auto& r : entries) {
        PutU32(body, r.root);
        PutText(body, r.keyPath);
    }
    return EncodeRecord(kRegistryListRecord, body);
}

Bytes EncodePatterns(const std::vector<std::string>& patterns) {
    Bytes body;
    for (const auto& p : patterns) {
        body.insert(body.end(), p.begin(), p.end());
        body.push_back(0);
    }
    body.push_back(0);
    return EncodeRecord(kCleanupPatternsRecord, body);
}

Bytes EncodeSettings(const SettingsSpec& settings) {
    Bytes texts;
    auto place = [&](const std::optional<std::string>& text) -> uint32_t {
        if (!text) return 0;
        uint32_t offset = kSettingsHeaderSize + static_cast<uint32_t>(texts.size());
        texts.insert(texts.end(), text->begin(), text->end());
        texts.push_back(0);
        return offset;
    };
    uint32_t command = place(settings.command);
    uint32_t document = place(settings.document);
    Bytes body;
    PutU32(body, settings.flags);
    PutU32(body, command);
    PutU32(body, document);
    body.insert(body.end(), texts.begin(), texts.end());
    return EncodeRecord(kSettingsRecord, body);
}

Bytes EncodeEnd() {
    return EncodeRecord(kEndRecord, {});
}

namespace {

bool Fits(const std::string& text) {
    return text.size() <= 0xFFFF;
}

size_t TextRoom(std::initializer_list<const std::string*> texts) {
    size_t total = 0;
    for (const auto* t : texts) total += t->size() + 1;
    return total;
}

}  // namespace

std::string ValidateBlock(const Block& block) {
    for (size_t i = 0; i < block.messages.size(); ++i) {
        if (!Fits(block.messages[i])) return "message " + std::to_string(i) + " is longer than 65535 bytes";
    }
    if (block.messages.size() > 0xFFFF) return "more than 65535 messages";
    for (size_t i = 0; i < block.files.size(); ++i) {
        const auto& f = block.files[i];
        if (TextRoom({&f.folder, &f.name}) > kFileEntryTextLimit) {
            return "file " + std::to_string(i) + ": folder and name take more than " +
                   std::to_string(kFileEntryTextLimit) + " bytes";
        }
    }
    for (size_t i = 0; i < block.shortcuts.size(); ++i) {
        const auto& s = block.shortcuts[i];
        if (TextRoom({&s.folder, &s.secondFolder, &s.name}) > kShortcutEntryTextLimit) {
            return "shortcut " + std::to_string(i) + ": its texts take more than " +
                   std::to_string(kShortcutEntryTextLimit) + " bytes";
        }
    }
    for (size_t i = 0; i < block.registry.size(); ++i) {
        if (block.registry[i].keyPath.size() + 1 > kRegistryEntryTextLimit) {
            return "registry " + std::to_string(i) + ": the key path takes more than " +
                   std::to_string(kRegistryEntryTextLimit) + " bytes";
        }
    }
    for (size_t i = 0; i < block.patterns.size(); ++i) {
        const auto& p = block.patterns[i];
        if (p.empty()) return "pattern " + std::to_string(i) + " is empty: it would end the list";
        if (p.find('\0') != std::string::npos) return "pattern " + std::to_string(i) + " holds a NUL";
    }
    if (block.settings) {
        for (const auto* t : {&block.settings->command, &block.settings->document}) {
            if (*t && t->value().find('\0') != std::string::npos) return "a settings text holds a NUL";
        }
    }
    return {};
}

Bytes EncodeBlock(const Block& block) {
    Bytes out;
    auto add = [&out](const Bytes& record) { out.insert(out.end(), record.begin(), record.end()); };
    if (!block.messages.empty()) add(EncodeStringTable(block.messages));
    // Each run of entries of the 64-bit view in a record of its own tag (kView64FileListRecord), the
    // others in file-list records: the list reads back in its order.
    for (size_t i = 0; i < block.files.size();) {
        bool view64 = (block.files[i].flags & kFileView64) != 0;
        size_t end = i;
        while (end < block.files.size() && ((block.files[end].flags & kFileView64) != 0) == view64) ++end;
        std::vector<FileSpec> run(block.files.begin() + static_cast<std::ptrdiff_t>(i),
                                  block.files.begin() + static_cast<std::ptrdiff_t>(end));
        add(EncodeFileList(run, view64 ? kView64FileListRecord : kFileListRecord));
        i = end;
    }
    if (!block.shortcuts.empty()) add(EncodeShortcutList(block.shortcuts));
    if (!block.registry.empty()) add(EncodeRegistryList(block.registry));
    if (!block.patterns.empty()) add(EncodePatterns(block.patterns));
    if (block.settings) add(EncodeSettings(*block.settings));
    add(EncodeEnd());
    return out;
}

std::optional<size_t> FindDataOffsetField(const Bytes& image) {
    auto located = LocateDataOffsetField(image);
    if (!located) return std::nullopt;
    return located->field;
}

std::optional<Bytes> AttachBlock(const Bytes& stub, const Bytes& block, std::string* error) {
    std::string why;
    auto located = LocateDataOffsetField(stub, &why);
    if (!located) {
        if (error) *error = "not an uninstaller stub: " + why;
        return std::nullopt;
    }
    if (!located->markerIntact) {
        if (error)
            *error =
                "the data-offset marker of the stub's .uninst section was overwritten: not a stub as built";
        return std::nullopt;
    }
    if (located->certificates && located->certificates->size != 0) {
        if (error) {
            *error =
                "the stub is signed (it carries an Authenticode certificate table): the block would follow "
                "the "
                "signature and break it; build from the stub as built, then sign the uninstaller";
        }
        return std::nullopt;
    }
    uint32_t field = ReadU32(stub.data() + located->field);
    if (located->imageEnd != stub.size() || field != stub.size()) {
        if (error) {
            *error = "the stub already carries a data block (its data-offset field holds " +
                     std::to_string(field) + ", its image ends at " + std::to_string(located->imageEnd) +
                     " of " + std::to_string(stub.size()) +
                     " bytes): build from the stub as built, not from an uninstaller";
        }
        return std::nullopt;
    }
    if (stub.size() > kMaxFilePosition) {
        if (error) *error = "the stub is too large for a data block to follow it";
        return std::nullopt;
    }
    Bytes out = stub;
    PutU32At(out, located->field, static_cast<uint32_t>(stub.size()));
    out.insert(out.end(), block.begin(), block.end());
    // The linker sets the PE checksum; the field and the block change the file, so a checksum the
    // stub carries is made right for the uninstaller (no checksum, 0, stays 0).
    if (located->checksumField != 0 && ReadU32(out.data() + located->checksumField) != 0) {
        PutU32At(out, located->checksumField, PeChecksum(out, located->checksumField));
    }
    return out;
}

}  // namespace format
