// A stand-in for the uninstaller stub in tests of the packer: a small PE32 image laid out as the
// linker lays out the real one (headers, .text, .data, and the .uninst section holding the
// data-offset marker and field), with the field stamped as the build stamps it.
#pragma once

#include <cstddef>

#include "format/block_writer.h"

namespace testing_support {

inline constexpr size_t kFakeStubSize = 0x800;
inline constexpr size_t kFakeStubField = 0x606;         // the field, in the .uninst section's raw data
inline constexpr size_t kFakeStubSectionTable = 0x138;  // the section headers: .text, .data, .uninst
inline constexpr size_t kFakeStubUninstHeader = kFakeStubSectionTable + 2 * 40;

// The image; its field holds its own size (kFakeStubSize).
format::Bytes FakeStubImage();

}  // namespace testing_support
