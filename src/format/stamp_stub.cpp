// stamp-stub: finishes the linked uninstaller stub, a program of the build machine (built from
// format/stub_image.cpp, the PE reading the packer uses, so the headers are read once, one way).
//   stamp-stub STUB [--max-bytes N]
// Fails when the stub is larger than N bytes (every installation carries a copy), when the
// data-offset marker does not occur exactly once in the file, or when the field is not at the
// start of the one ".uninst" section right after the marker. Then writes the file's own size into
// the field (a stub without a block fails at its first record header) and, where the linker set a
// PE checksum, computes it again for the stamped file (signing tools and PE verifiers check it).
#include <cerrno>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "format/layout.h"
#include "format/stub_image.h"

namespace {

int Fail(const char* stub, const std::string& message) {
    fprintf(stderr, "stamp-stub: %s: %s\n", stub, message.c_str());
    return 1;
}

bool ReadFile(const char* path, format::Bytes& bytes) {
    FILE* file = fopen(path, "rb");
    if (!file) return false;
    unsigned char buffer[1 << 16];
    size_t n;
    while ((n = fread(buffer, 1, sizeof buffer, file)) > 0) bytes.insert(bytes.end(), buffer, buffer + n);
    bool ok = !ferror(file);
    return fclose(file) == 0 && ok;
}

bool WriteFile(const char* path, const format::Bytes& bytes) {
    FILE* file = fopen(path, "wb");
    if (!file) return false;
    bool ok = fwrite(bytes.data(), 1, bytes.size(), file) == bytes.size();
    // The close's result is checked: the last bytes of a written file can fail there.
    return fclose(file) == 0 && ok;
}

size_t CountMarkers(const format::Bytes& bytes) {
    size_t count = 0;
    const size_t length = format::kDataOffsetMarkerSize;
    for (size_t at = 0; at + length <= bytes.size(); ++at) {
        if (memcmp(bytes.data() + at, format::kDataOffsetMarker, length) == 0) ++count;
    }
    return count;
}

void PutLittleEndian(format::Bytes& bytes, size_t at, uint32_t value) {
    for (int i = 0; i < 4; ++i) bytes[at + i] = static_cast<uint8_t>(value >> (8 * i));
}

uint32_t GetLittleEndian(const format::Bytes& bytes, size_t at) {
    uint32_t value = 0;
    for (int i = 3; i >= 0; --i) value = (value << 8) | bytes[at + i];
    return value;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc != 2 && !(argc == 4 && strcmp(argv[2], "--max-bytes") == 0)) {
        fprintf(stderr, "usage: stamp-stub STUB [--max-bytes N]\n");
        return 2;
    }
    const char* stub = argv[1];
    format::Bytes bytes;
    if (!ReadFile(stub, bytes)) return Fail(stub, std::string("cannot read it: ") + strerror(errno));
    if (argc == 4 && bytes.size() > strtoull(argv[3], nullptr, 10)) {
        return Fail(stub,
                    "is " + std::to_string(bytes.size()) + " bytes, more than the " + argv[3] + " allowed");
    }
    size_t markers = CountMarkers(bytes);
    if (markers != 1) {
        return Fail(stub, "the data-offset marker occurs " + std::to_string(markers) + " times, not once");
    }
    std::string why;
    auto located = format::LocateDataOffsetField(bytes, &why);
    if (!located || !located->markerIntact) {
        return Fail(stub, "has no .uninst section beginning with the data-offset marker" +
                              (why.empty() ? std::string() : " (" + why + ")"));
    }
    if (bytes.size() > UINT32_MAX) return Fail(stub, "is larger than a 32-bit offset reaches");
    PutLittleEndian(bytes, located->field, static_cast<uint32_t>(bytes.size()));
    if (located->checksumField != 0 && GetLittleEndian(bytes, located->checksumField) != 0) {
        PutLittleEndian(bytes, located->checksumField, format::PeChecksum(bytes, located->checksumField));
    }
    if (!WriteFile(stub, bytes)) return Fail(stub, std::string("cannot write it: ") + strerror(errno));
    return 0;
}
