#include "pack/image.h"

#include <sys/stat.h>

#include <cerrno>
#include <cstdio>
#include <cstring>

#include "format/stub_image.h"

namespace pack {

using namespace format;

bool ReadWholeFile(const std::string& path, std::string& out, std::string& error) {
    FILE* f = fopen(path.c_str(), "rb");
    if (!f) {
        error = "cannot open " + path + ": " + strerror(errno);
        return false;
    }
    out.clear();
    char buffer[1 << 16];
    size_t n;
    while ((n = fread(buffer, 1, sizeof buffer, f)) > 0) out.append(buffer, n);
    bool failed = ferror(f) != 0;
    fclose(f);
    if (failed) {
        error = "cannot read " + path;
        return false;
    }
    return true;
}

bool WriteWholeFile(const std::string& path, const Bytes& bytes, bool executable, std::string& error) {
    std::string temporary = path + ".partial";
    FILE* f = fopen(temporary.c_str(), "wb");
    if (!f) {
        error = "cannot create " + temporary + ": " + strerror(errno);
        return false;
    }
    bool ok = bytes.empty() || fwrite(bytes.data(), 1, bytes.size(), f) == bytes.size();
    ok = fclose(f) == 0 && ok;
    if (ok && executable) chmod(temporary.c_str(), 0755);
    if (!ok || rename(temporary.c_str(), path.c_str()) != 0) {
        error = "cannot write " + path + ": " + strerror(errno);
        remove(temporary.c_str());
        return false;
    }
    return true;
}

ImageLoad LoadImage(const std::string& path, LoadedData& loaded) {
    ImageLoad load;
    std::string bytes;
    if (!ReadWholeFile(path, bytes, load.error)) return load;
    load.opened = true;
    load.fileSize = bytes.size();
    Bytes image(bytes.begin(), bytes.end());
    std::string why;
    auto located = LocateDataOffsetField(image, &why);
    if (!located) {
        load.error = path + ": " + why;
        return load;
    }
    load.hasField = true;
    load.imageEnd = located->imageEnd;
    load.dataOffset = ReadU32(image.data() + located->field);
    if (!located->markerIntact) {
        load.notes.push_back("the data-offset marker in front of the field was overwritten (the uninstaller never "
                             "reads it): the field is read where the uninstaller reads it");
    }
    if (load.dataOffset == 0) {
        load.error = path + ": the data offset is 0: the uninstaller stops without a message";
        return load;
    }
    FileHandle file = OpenExisting(path.c_str(), kOpenRead);
    if (file == kInvalidFile) {
        load.error = "cannot open " + path;
        return load;
    }
    load.code = LoadRecords(file, load.dataOffset, loaded.data, &load.failure, &load.blockEnd);
    CloseFile(file);
    if (load.code != 0) return load;
    if (load.dataOffset < load.imageEnd) {
        load.notes.push_back("the block begins at offset " + std::to_string(load.dataOffset) +
                             ", inside the executable's image (which ends at " + std::to_string(load.imageEnd) + ")");
    } else if (load.dataOffset > load.imageEnd) {
        load.notes.push_back(std::to_string(load.dataOffset - load.imageEnd) + " bytes lie between the end of the "
                             "executable's image (offset " + std::to_string(load.imageEnd) + ") and the block");
    }
    if (load.blockEnd < load.fileSize) {
        load.notes.push_back(std::to_string(load.fileSize - load.blockEnd) + " bytes follow the end record (from offset " +
                             std::to_string(load.blockEnd) + "): the uninstaller never reads them");
    }
    return load;
}

std::string DescribeLoadFailure(const std::string& path, const ImageLoad& load) {
    if (!load.error.empty()) return load.error;
    char text[256];
    snprintf(text, sizeof text, "load error %d (%s) in the record at offset %u (0x%X, tag 0x%04X)", load.code,
             LoadErrorName(load.code), load.failure.recordOffset, load.failure.recordOffset, load.failure.tag);
    std::string out = path + ": " + text;
    if (load.dataOffset == load.fileSize) out += "; no block is attached (the data offset is the file's size)";
    return out;
}

Block BlockFromData(const UninstallData& data) {
    Block block;
    for (uint32_t i = 0; i < data.messageCount; ++i) block.messages.emplace_back(data.messages[i]);
    block.files.reserve(data.files.count);
    for (uint32_t i = 0; i < data.files.count; ++i) {
        const FileEntry* e = data.files.items[i];
        block.files.push_back({e->folder, e->fileName, e->flags});
    }
    for (uint32_t i = 0; i < data.shortcuts.count; ++i) {
        const ShortcutEntry* e = data.shortcuts.items[i];
        block.shortcuts.push_back({static_cast<uint8_t>(e->levelCount), e->folder, e->secondFolder, e->fileName});
    }
    for (uint32_t i = 0; i < data.registry.count; ++i) {
        const RegistryEntry* e = data.registry.items[i];
        block.registry.push_back({e->rootKey, e->keyPath});
    }
    if (data.patterns) {
        const char* p = data.patterns;
        const char* end = data.patterns + data.patternSize;
        while (p < end && *p) {
            std::string pattern(p);
            p += pattern.size() + 1;
            block.patterns.push_back(std::move(pattern));
        }
    }
    if (data.settings) {
        SettingsSpec settings;
        settings.flags = SettingsFlags(data);
        if (const char* command = SettingsCommand(data)) settings.command = command;
        if (const char* document = SettingsDocument(data)) settings.document = document;
        block.settings = settings;
    }
    return block;
}

}  // namespace pack
