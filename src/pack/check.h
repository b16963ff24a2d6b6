// `uninstpack check`: what in a manifest is dangerous or cannot work, named by its JSON path.
// `build` runs the same checks and refuses errors unless forced.
#pragma once

#include <optional>
#include <string>
#include <vector>

#include "pack/manifest.h"

namespace pack {

enum class Severity { kWarning, kError };

struct Finding {
    Severity severity;
    std::string where;  // JSON path of the entry
    std::string message;
};

struct CheckOptions {
    // The install folder the paths are measured with; without it, relative paths are measured
    // against the room an install folder needs at least.
    std::optional<std::string> installDir;
};

std::vector<Finding> CheckManifest(const Manifest& manifest, const CheckOptions& options);

// "FILE: WHERE: error: MESSAGE".
std::string DescribeFinding(const std::string& file, const Finding& finding);

}  // namespace pack
