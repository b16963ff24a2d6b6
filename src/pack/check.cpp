#include "pack/check.h"

#include <algorithm>

#include "pack/checker.h"
#include "pack/suggest.h"

namespace pack {

const std::vector<std::string>& WarningNames() {
    static const std::vector<std::string> names = {
        "climb-shared",       "document-kind",
        "dot-folder",         "double-byte-backslash",
        "double-percent",     "empty-document",
        "empty-manifest",     "empty-message",
        "empty-shortcut",     "every-file",
        "folder-flags",       "folder-order",
        "format-directive",   "hkdd",
        "key-backslash",      "language-override",
        "long-message",       "long-path",
        "network-folder",     "pattern-dot-folder",
        "per-machine",        "product-texts",
        "protected-pattern",  "repeated-placeholder",
        "root-value",         "second-folder",
        "shared-file",        "shared-folder-entry",
        "shared-pattern",     "shared-shortcut-folder",
        "skipped-key",        "token-in-name",
        "trailing-dot",       "unattended",
        "unclosed-quote",     "unknown-token",
        "unused-placeholder", "vendor-key",
        "wait-without-run",
    };
    return names;
}

std::vector<Finding> CheckManifest(const Manifest& manifest, const CheckOptions& options) {
    std::vector<Finding> findings = Checker(manifest, options).Run();
    const auto& known = WarningNames();
    // The entry a finding is about: "files[3]" for "files[3].flags[0]", "settings" for
    // "settings.runFirst", "messages" for "messages.caption", "" for the whole manifest.
    auto entryOf = [](const std::string& where) {
        // Each language's object of "messagesByLanguage" is an entry of its own.
        const std::string byLanguage = "messagesByLanguage.";
        if (where.compare(0, byLanguage.size(), byLanguage) == 0)
            return where.substr(0, where.find('.', byLanguage.size()));
        size_t bracket = where.find(']');
        if (bracket != std::string::npos && where.find('.') > bracket) return where.substr(0, bracket + 1);
        return where.substr(0, where.find('.'));
    };
    for (Finding& f : findings) {
        if (f.severity != Severity::kWarning) continue;
        auto accepted = manifest.accepted.find(entryOf(f.where));
        if (accepted == manifest.accepted.end()) continue;
        for (const auto& name : accepted->second) f.accepted = f.accepted || name == f.name;
    }
    for (const auto& [where, names] : manifest.accepted) {
        for (size_t k = 0; k < names.size(); ++k) {
            if (std::find(known.begin(), known.end(), names[k]) != known.end()) continue;
            std::string at = (where.empty() ? "" : where + ".") + "accept[" + std::to_string(k) + "]";
            findings.push_back({Severity::kError, at,
                                "\"" + names[k] + "\" is no warning's name" + DidYouMean(names[k], known) +
                                    " (docs/packer.md lists them; errors cannot be accepted)"});
        }
    }
    return findings;
}

std::string DescribeFinding(const std::string& file, const Finding& finding) {
    std::string out = file + ": ";
    if (!finding.where.empty()) out += finding.where + ": ";
    if (finding.severity == Severity::kError) {
        out += "error: ";
    } else {
        out += finding.name.empty() ? "warning: " : "warning[" + finding.name + "]: ";
    }
    return out + finding.message;
}

}  // namespace pack
