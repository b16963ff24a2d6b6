#include "support/fake_stub.h"

#include <algorithm>
#include <cstring>

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

}  // namespace testing_support
