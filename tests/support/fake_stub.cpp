#include "support/fake_stub.h"

#include <algorithm>
#include <cstring>

#include "format/stub_image.h"

namespace testing_support {

namespace {

void Put16(format::Bytes& image, size_t at, uint16_t value) {
    image[at] = static_cast<uint8_t>(value);
    image[at + 1] = static_cast<uint8_t>(value >> 8);
}

void Section(format::Bytes& image, size_t header, const char* name, uint32_t rva, uint32_t rawAt,
             uint32_t characteristics) {
    memcpy(&image[header], name, strlen(name));
    format::PutU32At(image, header + 8, 0x200);   // virtual size
    format::PutU32At(image, header + 12, rva);    // virtual address
    format::PutU32At(image, header + 16, 0x200);  // raw size
    format::PutU32At(image, header + 20, rawAt);  // raw data
    format::PutU32At(image, header + 36, characteristics);
}

}  // namespace

format::Bytes FakeStubImage() {
    format::Bytes image(kFakeStubSize, 0);
    image[0] = 'M';
    image[1] = 'Z';
    format::PutU32At(image, 0x3C, 0x40);
    memcpy(&image[0x40], "PE\0\0", 4);
    Put16(image, 0x44, 0x14C);                     // i386
    Put16(image, 0x46, 3);                         // sections
    Put16(image, 0x54, 0xE0);                      // optional header size
    Put16(image, 0x56, 0x0102);                    // executable, 32-bit
    Put16(image, 0x58, 0x10B);                     // PE32
    format::PutU32At(image, 0x58 + 28, 0x400000);  // image base
    format::PutU32At(image, 0x58 + 32, 0x1000);    // section alignment
    format::PutU32At(image, 0x58 + 36, 0x200);     // file alignment
    format::PutU32At(image, 0x58 + 56, 0x4000);    // image size
    format::PutU32At(image, 0x58 + 60, 0x200);     // headers size
    Put16(image, 0x58 + 68, 2);                    // GUI
    format::PutU32At(image, 0x58 + 92, 16);        // data directories
    Section(image, kFakeStubSectionTable, ".text", 0x1000, 0x200, 0x60000020);
    Section(image, kFakeStubSectionTable + 40, ".data", 0x2000, 0x400, 0xC0000040);
    Section(image, kFakeStubUninstHeader, ".uninst", 0x3000, 0x600, 0xC0000040);
    std::fill(image.begin() + 0x200, image.begin() + 0x400, 0x90);
    memcpy(&image[kFakeStubField - format::kDataOffsetMarkerSize], format::kDataOffsetMarker,
           format::kDataOffsetMarkerSize);
    format::PutU32At(image, kFakeStubField, kFakeStubSize);
    return image;
}

format::Bytes FakeStubWithResourcesImage() {
    format::Bytes image = FakeStubImage();
    const size_t size = 0xC00;
    image.resize(size, 0);
    Put16(image, 0x46, 5);                       // sections
    format::PutU32At(image, 0x58 + 56, 0x6000);  // image size
    Section(image, kFakeStubSectionTable + 3 * 40, ".rsrc", 0x4000, 0x800, 0x40000040);
    Section(image, kFakeStubSectionTable + 4 * 40, ".reloc", 0x5000, 0xA00, 0x42000040);
    // The resource directory, written out by hand: two types (3, an icon; 24, the manifest), each
    // with name 1 and language 1033, then the two data entries and the data.
    const size_t r = 0x800;
    auto directory = [&](size_t at, uint16_t entries) { Put16(image, r + at + 14, entries); };
    auto entry = [&](size_t at, uint32_t name, uint32_t target) {
        format::PutU32At(image, r + at, name);
        format::PutU32At(image, r + at + 4, target);
    };
    directory(0x00, 2);
    entry(0x10, 3, 0x80000020);
    entry(0x18, 24, 0x80000038);
    directory(0x20, 1);
    entry(0x30, 1, 0x80000050);
    directory(0x38, 1);
    entry(0x48, 1, 0x80000068);
    directory(0x50, 1);
    entry(0x60, 1033, 0x80);
    directory(0x68, 1);
    entry(0x78, 1033, 0x90);
    const size_t manifestSize = sizeof kFakeStubManifest - 1;
    format::PutU32At(image, r + 0x80, 0x40A0);
    format::PutU32At(image, r + 0x84, sizeof kFakeStubIcon);
    format::PutU32At(image, r + 0x90, 0x40A8);
    format::PutU32At(image, r + 0x94, static_cast<uint32_t>(manifestSize));
    memcpy(&image[r + 0xA0], kFakeStubIcon, sizeof kFakeStubIcon);
    memcpy(&image[r + 0xA8], kFakeStubManifest, manifestSize);
    const uint32_t resourceSize = static_cast<uint32_t>(0xA8 + manifestSize);
    format::PutU32At(image, kFakeStubSectionTable + 3 * 40 + 8, resourceSize);
    memcpy(&image[0xA00], kFakeStubRelocations, sizeof kFakeStubRelocations);
    format::PutU32At(image, kFakeStubSectionTable + 4 * 40 + 8, sizeof kFakeStubRelocations);
    const size_t directories = 0x58 + 96;
    format::PutU32At(image, directories + 2 * 8, 0x4000);
    format::PutU32At(image, directories + 2 * 8 + 4, resourceSize);
    format::PutU32At(image, directories + 5 * 8, 0x5000);
    format::PutU32At(image, directories + 5 * 8 + 4, sizeof kFakeStubRelocations);
    format::PutU32At(image, kFakeStubField, size);
    format::PutU32At(image, 0x58 + 64, format::PeChecksum(image, 0x58 + 64));
    return image;
}

}  // namespace testing_support
