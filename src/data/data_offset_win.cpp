#include "data/data_offset_win.h"

namespace {

// The marker and the field, with nothing between them. The marker bytes occur nowhere else in the
// executable (the build checks it): the packer finds the field by them. Byte arrays keep the
// struct free of padding.
struct DataOffsetField {
    unsigned char marker[6];
    unsigned char offset[4];
};

}  // namespace

// Read through volatile: the build and the packer rewrite the field in the file, so the compiler
// must not fold the value it was compiled with.
extern "C" {
__attribute__((used)) volatile DataOffsetField g_uninstallDataOffset = {{0x77, 0x77, 0x67, 0x54, 0x29, 0x48},
                                                                        {0, 0, 0, 0}};
}

uint32_t ReadDataOffsetField() {
    return static_cast<uint32_t>(g_uninstallDataOffset.offset[0]) |
           (static_cast<uint32_t>(g_uninstallDataOffset.offset[1]) << 8) |
           (static_cast<uint32_t>(g_uninstallDataOffset.offset[2]) << 16) |
           (static_cast<uint32_t>(g_uninstallDataOffset.offset[3]) << 24);
}
