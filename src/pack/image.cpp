#include "pack/image.h"

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <optional>

#include "format/stub_image.h"
#include "pack/platform.h"

namespace pack {

using namespace format;

bool ReadWholeFile(const std::string& path, std::string& out, std::string& error) {
    bool standardInput = path == "-";
    std::string why;
    FILE* f = standardInput ? stdin : platform::OpenFile(path, "rb", why);
    if (!f) {
        error = "cannot open " + path + ": " + why;
        return false;
    }
    out.clear();
    char buffer[1 << 16];
    size_t n;
    while ((n = fread(buffer, 1, sizeof buffer, f)) > 0) out.append(buffer, n);
    bool failed = ferror(f) != 0;
    if (!standardInput) fclose(f);
    if (failed) {
        error = "cannot read " + (standardInput ? std::string("standard input") : path);
        return false;
    }
    return true;
}

bool WriteWholeFile(const std::string& path, const Bytes& bytes, bool executable, std::string& error) {
    std::string temporary = path + ".partial";
    std::string why;
    FILE* f = platform::OpenFile(temporary, "wb", why);
    if (!f) {
        error = "cannot create " + temporary + ": " + why;
        return false;
    }
    bool ok = bytes.empty() || fwrite(bytes.data(), 1, bytes.size(), f) == bytes.size();
    ok = fclose(f) == 0 && ok;
    if (!ok) why = strerror(errno);
    if (ok && executable) platform::MarkExecutable(temporary);
    if (!ok || !platform::RenameReplacing(temporary, path, why)) {
        error = "cannot write " + path + ": " + why;
        platform::RemoveFile(temporary);
        return false;
    }
    return true;
}

namespace {

// WIN_CERTIFICATE: u32 length, u16 revision, u16 type; Authenticode is PKCS#7 signed data.
constexpr uint32_t kCertificateHeaderSize = 8;
constexpr uint16_t kCertificateRevision2 = 0x0200;
constexpr uint16_t kCertificateTypePkcsSignedData = 0x0002;
// Signing tools align the table to 8 bytes with zeros after the data before it.
constexpr uint64_t kCertificateAlignment = 8;

// Looks at the certificate table the security directory names, after a block that loaded. A table
// between the end record and the end of the file that begins with an Authenticode signature is kept
// in `load.signature`; what signing would not leave is noted. Returns the end of the bytes after the
// end record that are still to be reported: the end record itself when only up to 7 zero bytes of
// alignment precede the table, the table's start when other bytes do, the end of the file when
// the table is no signature of the block.
uint64_t NoteCertificateTable(const Bytes& image, const CertificateTable& table, ImageLoad& load) {
    const uint64_t at = table.offset, end = uint64_t{table.offset} + table.size;
    const std::string where = "the certificate table (" + std::to_string(table.size) + " bytes at offset " +
                              std::to_string(table.offset) + ")";
    if (end > load.fileSize || at < load.imageEnd) {
        load.notes.push_back(
            "the security directory names " + where +
            (end > load.fileSize ? " past the end of the file" : " inside the executable's image") +
            ": no signature that signing tools accept");
        return load.fileSize;
    }
    if (at < load.blockEnd) {
        load.notes.push_back("the block runs into " + where + " up to offset " +
                             std::to_string(load.blockEnd) +
                             ": the signature does not cover the records read from there on");
        return load.fileSize;
    }
    const uint8_t* header = image.data() + at;
    if (table.size >= kCertificateHeaderSize && ReadU32(header) <= table.size &&
        ReadU16(header + 4) == kCertificateRevision2 &&
        ReadU16(header + 6) == kCertificateTypePkcsSignedData) {
        load.signature = table;
    } else {
        load.notes.push_back(where + " does not begin with an Authenticode signature");
    }
    if (end < load.fileSize) {
        load.notes.push_back(std::to_string(load.fileSize - end) + " bytes follow " + where +
                             " (from offset " + std::to_string(end) +
                             "): the uninstaller never reads them and the signature does not cover them");
    }
    bool alignment =
        at - load.blockEnd < kCertificateAlignment &&
        std::all_of(image.begin() + static_cast<ptrdiff_t>(load.blockEnd),
                    image.begin() + static_cast<ptrdiff_t>(at), [](uint8_t b) { return b == 0; });
    return alignment ? load.blockEnd : at;
}

}  // namespace

namespace {

// Standard input held in a temporary file, for the uninstaller's loader, which reads a file by its
// name; removed when done.
class StandardInputCopy {
  public:
    explicit StandardInputCopy(const std::string& bytes) {
        if (!platform::WriteTemporaryCopy(bytes, path_)) path_.clear();
    }
    ~StandardInputCopy() {
        if (!path_.empty()) platform::RemoveFile(path_);
    }
    StandardInputCopy(const StandardInputCopy&) = delete;
    StandardInputCopy& operator=(const StandardInputCopy&) = delete;
    const std::string& path() const { return path_; }

  private:
    std::string path_;
};

}  // namespace

ImageLoad LoadImage(const std::string& path, LoadedData& loaded) {
    ImageLoad load;
    std::string bytes;
    if (!ReadWholeFile(path, bytes, load.error)) return load;
    std::optional<StandardInputCopy> copy;
    if (path == "-") {
        copy.emplace(bytes);
        if (copy->path().empty()) {
            load.error = "cannot keep standard input in a temporary file: " + std::string(strerror(errno));
            return load;
        }
    }
    const std::string& filePath = copy ? copy->path() : path;
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
    load.identity = ReadIdentity(image);
    load.imageEnd = located->imageEnd;
    load.dataOffset = ReadU32(image.data() + located->field);
    if (!located->markerIntact) {
        load.notes.push_back(
            "the data-offset marker in front of the field was overwritten (the uninstaller never "
            "reads it): the field is read where the uninstaller reads it");
    }
    if (load.dataOffset == 0) {
        load.error = path + ": the data offset is 0: the uninstaller stops without a message";
        return load;
    }
    FileHandle file = platform::OpenForLoader(filePath);
    if (file == kInvalidFile) {
        load.error = "cannot open " + path;
        return load;
    }
    load.code = LoadRecords(file, load.dataOffset, loaded.data, &load.failure, &load.blockEnd);
    CloseFile(file);
    if (load.code != 0) return load;
    if (load.dataOffset < load.imageEnd) {
        load.notes.push_back("the block begins at offset " + std::to_string(load.dataOffset) +
                             ", inside the executable's image (which ends at " +
                             std::to_string(load.imageEnd) + ")");
    } else if (load.dataOffset > load.imageEnd) {
        load.notes.push_back(std::to_string(load.dataOffset - load.imageEnd) +
                             " bytes lie between the end of the "
                             "executable's image (offset " +
                             std::to_string(load.imageEnd) + ") and the block");
    }
    uint64_t trailerEnd = load.fileSize;
    if (located->certificates && located->certificates->size != 0) {
        trailerEnd = NoteCertificateTable(image, *located->certificates, load);
    }
    if (load.blockEnd < trailerEnd) {
        load.notes.push_back(std::to_string(trailerEnd - load.blockEnd) +
                             " bytes follow the end record (from offset " + std::to_string(load.blockEnd) +
                             "): the uninstaller never reads them");
    }
    return load;
}

std::string DescribeSignature(const CertificateTable& table) {
    return "signed: Authenticode certificate table, " + std::to_string(table.size) + " bytes at offset " +
           std::to_string(table.offset) + " (the uninstaller never reads it; osslsigncode verify checks it)";
}

std::string DescribeLoadFailure(const std::string& path, const ImageLoad& load) {
    if (!load.error.empty()) return load.error;
    char text[256];
    snprintf(text, sizeof text, "load error %d (%s) in the record at offset %u (0x%X, tag 0x%04X)", load.code,
             LoadErrorName(load.code), load.failure.recordOffset, load.failure.recordOffset,
             load.failure.tag);
    std::string out = path + ": " + text;
    if (load.dataOffset == load.fileSize)
        out += "; no block is attached (the data offset is the file's size)";
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
        block.shortcuts.push_back(
            {static_cast<uint8_t>(e->levelCount), e->folder, e->secondFolder, e->fileName});
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
