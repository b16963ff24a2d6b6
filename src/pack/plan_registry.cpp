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

// The registry view of an entry the pass acts on: the 64-bit view on 64-bit Windows, nothing on
// 32-bit Windows (and 9x), where that view does not exist.
void Planner::NoteView(PlanItem& item, bool view64) const {
    if (!view64) return;
    item.view = 64;
    if (!options_.nt) {
        item.action = LogWordText(LogWord::kSkip);
        item.notes.push_back("64-bit view: left alone on 9x, which has one view only");
        return;
    }
    item.notes.push_back(
        "64-bit view: on 64-bit Windows opened with KEY_WOW64_64KEY (its 32-bit namesake under "
        "Wow6432Node stays); left alone on 32-bit Windows, which has one view only");
}

void Planner::Registry() {
    PlanPass& pass = StartRemovalPass(
        LogWord::kRegistry, "Registry entries",
        {options_.nt
             ? "a key goes with all its subkeys, depth first; the first that cannot go stops that tree"
             : "a key goes with all its subkeys (RegDeleteKey on 9x)",
         "a value entry removes one value; its key and other values stay"});
    for (uint32_t k = 0; k < R_; ++k) {
        // The view is a bit of the stored root (format/layout.h); the root is judged without it.
        RegistrySpec r = b_.registry[k];
        bool view64 = (r.root & kRootView64) != 0;
        r.root &= ~kRootView64;
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
            } else {
                NoteView(item, view64);
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
        } else {
            NoteView(item, view64);
        }
        pass.items.push_back(std::move(item));
    }
}

}  // namespace pack
