// The packer's version, shown by `uninstpack --version`; raised with each release.
#pragma once

namespace pack {
inline constexpr char kPackerVersion[] = "0.1.0";
}  // namespace pack
