#include "pack/manifest.h"
#include "pack/planner.h"
#include "removal/log_words.h"
#include "removal/registry_guard.h"

namespace pack {

using namespace format;

// The registry pass refuses the whole Software or System key under any root and any spelling
// ("Software\", "\System"): it compares the key normalised, as it deletes it.
bool Planner::NamesSoftwareOrSystem(const std::string& keyPath) {
    char normalized[kRegistryGuardPathSize];
    if (!NormalizeRegistryKeyPath(keyPath.c_str(), normalized, sizeof normalized)) return false;
    return EqualsNoCase(normalized, "Software") || EqualsNoCase(normalized, "System");
}

void Planner::Registry() {
    PlanPass& pass = StartRemovalPass(
        LogWord::kRegistry, "Registry entries",
        {options_.nt
             ? "a key goes with all its subkeys, depth first; the first that cannot go stops that tree"
             : "a key goes with all its subkeys (RegDeleteKey on 9x)",
         "a value entry removes one value; its key and other values stay"});
    for (uint32_t k = 0; k < R_; ++k) {
        const auto& r = b_.registry[k];
        const char* rootName = RootName(r.root);
        char hex[16];
        snprintf(hex, sizeof hex, "0x%08X", r.root);
        std::string root = rootName ? rootName : hex;
        RegistryPathParts parts = SplitRegistryPath(r.keyPath);
        std::string entry = Index("registry", k);
        bool predefined = IsPredefinedRoot(r.root, options_.nt);
        if (parts.kind == RegistryEntryKind::kValue) {
            PlanItem item{entry, LogWordText(LogWord::kDeleteValue), root + "\\" + show_(parts.key), {}, {}};
            item.target = "value";
            item.key = item.path;
            item.valueName = show_(parts.value);
            item.notes.push_back("value " +
                                 (parts.value.empty() ? std::string("(default)") : show_(parts.value)));
            if (!predefined) {
                item.action = LogWordText(LogWord::kSkip);
                item.notes.push_back("not a predefined root");
            }
            pass.items.push_back(std::move(item));
            continue;
        }
        PlanItem item{entry,
                      LogWordText(LogWord::kDeleteKey),
                      root + "\\" + show_(r.keyPath),
                      {},
                      Progress(ProgressPass::kRegistry, k)};
        item.target = "key";
        if (parts.kind == RegistryEntryKind::kSkipped || NamesSoftwareOrSystem(r.keyPath)) {
            item.action = LogWordText(LogWord::kSkip);
            item.notes.push_back(r.keyPath.empty() ? "empty key path"
                                                   : "the whole Software or System key is never removed");
        } else if (!predefined) {
            item.action = LogWordText(LogWord::kSkip);
            item.notes.push_back("not a predefined root");
        } else if (IsRefusedRegistryKey(r.root, r.keyPath.c_str())) {
            item.action = LogWordText(LogWord::kSkip);
            item.notes.push_back("refused: a key Windows or every program needs");
        }
        pass.items.push_back(std::move(item));
    }
}

}  // namespace pack
