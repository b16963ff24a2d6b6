// A stand-in for the uninstaller stub in tests of the packer: a small PE32 image laid out as the
// linker lays out the real one (headers, .text, .data, and the .uninst section holding the
// data-offset marker and field), with the field stamped as the build stamps it.
#pragma once

#include <cstddef>
#include <cstdint>

#include "format/block_writer.h"

namespace testing_support {

inline constexpr size_t kFakeStubSize = 0x800;
inline constexpr size_t kFakeStubField = 0x606;         // the field, in the .uninst section's raw data
inline constexpr size_t kFakeStubSectionTable = 0x138;  // the section headers: .text, .data, .uninst
inline constexpr size_t kFakeStubUninstHeader = kFakeStubSectionTable + 2 * 40;

// The image; its field holds its own size (kFakeStubSize).
format::Bytes FakeStubImage();

// The same with the two sections the real stub ends in: ".rsrc" (a manifest resource 1 that
// requests administrator rights, and an icon resource) and ".reloc" after it, which the data
// directories name; it carries a PE checksum. Its field holds its own size too.
format::Bytes FakeStubWithResourcesImage();
inline constexpr char kFakeStubManifest[] =
    "<assembly xmlns=\"urn:schemas-microsoft-com:asm.v1\" manifestVersion=\"1.0\"><trustInfo "
    "xmlns=\"urn:schemas-microsoft-com:asm.v3\"><security><requestedPrivileges><requestedExecutionLevel "
    "level=\"requireAdministrator\" "
    "uiAccess=\"false\"/></requestedPrivileges></security></trustInfo></assembly>";
inline constexpr uint8_t kFakeStubIcon[8] = {'I', 'C', 'O', 'N', 'D', 'A', 'T', 'A'};
inline constexpr uint8_t kFakeStubRelocations[12] = {0x00, 0x10, 0, 0, 12, 0, 0, 0, 0x10, 0x30, 0, 0};

}  // namespace testing_support
