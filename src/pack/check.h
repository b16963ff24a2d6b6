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
    std::string name = {};  // a warning's stable short name ("vendor-key"); empty for errors
    bool accepted = false;  // a warning the entry's "accept" names: reported only on request
};

// The names of the warnings `check` reports, which an entry's "accept" may list.
const std::vector<std::string>& WarningNames();

struct CheckOptions {
    // The install folder the paths are measured with; without it, relative paths are measured
    // against the room an install folder needs at least.
    std::optional<std::string> installDir;
};

// The findings about the manifest. Warnings that an entry's "accept" names are marked accepted; a
// name in "accept" that is no warning's is an error.
std::vector<Finding> CheckManifest(const Manifest& manifest, const CheckOptions& options);

// "FILE: WHERE: error: MESSAGE", "FILE: WHERE: warning[NAME]: MESSAGE".
std::string DescribeFinding(const std::string& file, const Finding& finding);

}  // namespace pack
