#include "pack/checker.h"
#include "removal/registry_guard.h"

namespace pack {

using namespace format;

void Checker::CheckRegistry() {
    const auto& entries = m_.block.registry;
    for (size_t i = 0; i < entries.size(); ++i) {
        // The view is a bit of the stored root: the checks judge the root itself, in either view.
        RegistrySpec r = entries[i];
        bool view64 = (r.root & kRootView64) != 0;
        r.root &= ~kRootView64;
        std::string where = EntryPath(m_, "registry", i);
        // A value is named after the key's doubled last backslash.
        size_t value = r.keyPath.rfind("\\\\");
        CheckControlCharacters(where, "key", r.keyPath.substr(0, value));
        if (value != std::string::npos)
            CheckControlCharacters(where, "value name", r.keyPath.substr(value + 2));
        const char* root = RootName(r.root);
        std::string rootName = root ? root : "this root";
        if (r.root == kRootPerformanceData) {
            Error(where, "HKPD is no key that can be removed: the uninstaller skips the entry");
            continue;
        } else if (r.root == kRootDynData) {
            Warn("hkdd", where, "HKDD exists only on Windows 9x: the entry does nothing on NT");
        }
        if (view64 && (r.root == kRootDynData || r.root == kRootCurrentConfig)) {
            Warn("view-root", where,
                 rootName + " has no 64-bit view of its own: \"view\": 64 changes nothing there");
        }
        RegistryPathParts parts = SplitRegistryPath(r.keyPath);
        if (parts.kind == RegistryEntryKind::kSkipped) {
            Warn("skipped-key", where,
                 r.keyPath.empty() ? std::string("has an empty key path: the uninstaller skips it")
                                   : "names " + rootName + "\\" + r.keyPath +
                                         " itself: the uninstaller never removes it and skips the entry");
            continue;
        }
        // A doubled backslash inside the key is an empty key name: Windows refuses or skips it,
        // and the key named is not the one written.
        std::string trimmed = Trimmed(parts.key);
        if (trimmed.find("\\\\") != std::string::npos) {
            Error(where,
                  "key " + Show(parts.key) +
                      " holds a doubled backslash inside it: an empty key name, which "
                      "names another key than the one written (write one backslash between key names)");
        }
        if (parts.kind == RegistryEntryKind::kValue) {
            if (trimmed.empty()) {
                Warn("root-value", where,
                     "removes the value " + Show(parts.value) + " directly under " + rootName);
            }
            continue;
        }
        if (trimmed.empty() || EqualsNoCase(trimmed, "Software") || EqualsNoCase(trimmed, "System")) {
            Error(where, "key " + Show(r.keyPath) + " names " + rootName + "'s whole " +
                             (trimmed.empty() ? std::string("root") : trimmed) +
                             " key under another spelling");
            continue;
        }
        if (trimmed != r.keyPath) {
            Warn("key-backslash", where,
                 "key " + Show(r.keyPath) + " begins or ends with a backslash; write it without");
        }
        if (IsRefusedRegistryKey(r.root, r.keyPath.c_str())) {
            Error(where, "key " + Show(r.keyPath) +
                             " is one that Windows or every program needs: removing it with "
                             "its subkeys breaks the machine (the uninstaller refuses it)");
            continue;
        }
        if (Components(trimmed) == 2 && EqualsNoCase(trimmed.substr(0, 9), "Software\\")) {
            Warn("vendor-key", where,
                 "removes " + rootName + "\\" + trimmed +
                     " with every subkey: every product stored under it goes too");
        }
    }
}

}  // namespace pack
