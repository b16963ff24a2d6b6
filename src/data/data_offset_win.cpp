#include "data/data_offset_win.h"

#include "format/layout.h"

namespace {

// The marker and the field, with nothing between them, at the start of the section ".uninst" (the
// 32-bit stub's layout puts its import tables after them, cmake/uninst-i686.ld): the packer finds
// the field through the section table, as the loader maps it, never by searching the file.
// The marker bytes occur nowhere else in the executable (the build checks it). Byte arrays keep the
// struct free of padding.
struct DataOffsetField {
    unsigned char marker[6];
    unsigned char offset[4];
};

}  // namespace

// Read through volatile: the build and the packer rewrite the field in the file, so the compiler
// must not fold the value it was compiled with. The marker's bytes are taken one by one as constants,
// so the array in format/layout.h is not placed in the executable: the marker occurs once.
extern "C" {
__attribute__((used, section(".uninst"))) volatile DataOffsetField g_uninstallDataOffset = {
    {format::kDataOffsetMarker[0], format::kDataOffsetMarker[1], format::kDataOffsetMarker[2],
     format::kDataOffsetMarker[3], format::kDataOffsetMarker[4], format::kDataOffsetMarker[5]},
    {0, 0, 0, 0}};
}
static_assert(sizeof(format::kDataOffsetMarker) == format::kDataOffsetMarkerSize);

uint32_t ReadDataOffsetField() {
    uint8_t bytes[4];
    for (int i = 0; i < 4; ++i) bytes[i] = g_uninstallDataOffset.offset[i];
    return format::ReadU32(bytes);
}
