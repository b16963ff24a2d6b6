#include "removal/registry.h"

#include "common/handles_win.h"
#include "common/memory.h"
#include "common/text.h"
#include "removal/entry_paths.h"
#include "removal/registry_guard.h"
#include "removal/removal_log.h"
#include "run/run_state.h"
#include "ui/progress.h"
#include "ui/ui.h"

namespace {

// Deeper trees are left in place: a tree of links to its own ancestors, or simply a very deep one,
// cannot exhaust the stack.
constexpr uint32_t kMaxKeyDepth = 512;
// The longest key name the registry allows is 255 characters; the enumeration gets more room.
constexpr DWORD kKeyNameSize = 1024;
// REG_OPTION_OPEN_LINK: opens a registry link itself instead of the key it points at (NT family).
constexpr DWORD kOpenLink = 0x00000008;
constexpr DWORD kRegLink = 6;  // REG_LINK

// The handle value of a predefined root; sign-extended as the HKEY_* constants are on 64-bit builds.
HKEY RootHandle(uint32_t root) {
    return reinterpret_cast<HKEY>(static_cast<LONG_PTR>(static_cast<LONG>(root)));
}

// True when the open key is a registry link (it holds SymbolicLinkValue of type REG_LINK).
bool IsLinkKey(HKEY key) {
    DWORD type = 0;
    LONG result = RegQueryValueExA(key, "SymbolicLinkValue", nullptr, &type, nullptr, nullptr);
    return (result == ERROR_SUCCESS || result == ERROR_MORE_DATA) && type == kRegLink;
}

// One value entry: opens its key (normalised as key entries are) and deletes the one value.
// Returns what came of it for the log: 0, the platform's error or a kOutcome value.
uint32_t RemoveValue(const RunState& run, uint32_t root, const char* path, const RegistryPathSplit& split) {
    char key[kRegistryGuardPathSize];
    char normalized[kRegistryGuardPathSize];
    if (split.keyLength >= sizeof key) return kOutcomeDoesNotFit;
    for (size_t i = 0; i < split.keyLength; ++i) key[i] = path[i];
    key[split.keyLength] = '\0';
    if (!NormalizeRegistryKeyPath(key, normalized, sizeof normalized)) return kOutcomeDoesNotFit;
    UniqueRegistryKey opened;
    DWORD options = run.platform.nt ? kOpenLink : 0;
    LONG result =
        RegOpenKeyExA(RootHandle(root), normalized, options, KEY_SET_VALUE | KEY_QUERY_VALUE, opened.put());
    if (result != ERROR_SUCCESS) return static_cast<uint32_t>(result);
    // A link's only value is where it points; the value named is not in it.
    if (run.platform.nt && IsLinkKey(opened.get())) return kOutcomeRefusedKey;
    return static_cast<uint32_t>(RegDeleteValueA(opened.get(), split.valueName));
}

// One key entry: the key as it was tested, normalised; never a key every program shares.
uint32_t RemoveKey(const RunState& run, uint32_t root, const char* path) {
    char normalized[kRegistryGuardPathSize];
    if (!NormalizeRegistryKeyPath(path, normalized, sizeof normalized)) return kOutcomeDoesNotFit;
    if (normalized[0] == '\0' || TextEqualsNoCase(normalized, "Software") ||
        TextEqualsNoCase(normalized, "System") || IsRefusedRegistryKey(root, normalized)) {
        return kOutcomeRefusedKey;
    }
    // The 9x family deletes the key together with its subkeys.
    LONG result = run.platform.nt ? DeleteKeyTree(RootHandle(root), normalized, 0)
                                  : RegDeleteKeyA(RootHandle(root), normalized);
    return static_cast<uint32_t>(result);
}

// One level of a tree deletion, on the heap: the name found and the name deleted last.
struct KeyLevel {
    char name[kKeyNameSize];
    char deleted[kKeyNameSize];
};

}  // namespace

void RemoveRegistryEntries(RunState& run) {
    const EntryList<RegistryEntry>& list = run.data.registry;
    for (uint32_t k = 0; k < list.count; ++k) {
        const RegistryEntry& entry = *list.items[k];
        RegistryPathSplit split = SplitRegistryPath(entry.keyPath);
        bool value = split.kind == RegistryEntryKind::kValue;
        // The plan's "skip": a root that is none, or an entry that names no key to remove.
        bool skipped = !IsPredefinedRoot(entry.rootKey, run.platform.nt) ||
                       (!value && split.kind != RegistryEntryKind::kKey);
        uint32_t outcome = kOutcomeRefusedKey;
        if (!skipped) {
            outcome = value ? RemoveValue(run, entry.rootKey, entry.keyPath, split)
                            : RemoveKey(run, entry.rootKey, entry.keyPath);
        }
        if (run.log) {
            LogKey(*run.log,
                   skipped ? LogWord::kSkip
                   : value ? LogWord::kDeleteValue
                           : LogWord::kDeleteKey,
                   entry.rootKey, entry.keyPath, outcome);
        }
        // A value entry does not move the bar.
        if (value) {
            KeepAnswering();
        } else {
            ReportProgress(run.ui, ProgressPass::kRegistry, k);
        }
    }
}

LONG DeleteKeyTree(HKEY parent, const char* name, uint32_t depth) {
    if (!name || name[0] == '\0') return ERROR_BADKEY;
    if (depth >= kMaxKeyDepth) return ERROR_STACK_OVERFLOW;
    KeepAnswering();  // one key entry may be a tree of many thousand keys
    UniqueRegistryKey key;
    LONG result =
        RegOpenKeyExA(parent, name, kOpenLink, DELETE | KEY_ENUMERATE_SUB_KEYS | KEY_QUERY_VALUE, key.put());
    if (result != ERROR_SUCCESS) return result;
    // One request tells how many subkeys and values the key has: a key without values is no link
    // (a link holds SymbolicLinkValue), and one without subkeys needs no enumeration. Most keys of
    // a tree are such leaves. A key that cannot be asked is looked at in full.
    DWORD subkeys = 1;
    DWORD values = 1;
    if (RegQueryInfoKeyA(key.get(), nullptr, nullptr, nullptr, &subkeys, nullptr, nullptr, &values, nullptr,
                         nullptr, nullptr, nullptr) != ERROR_SUCCESS) {
        subkeys = values = 1;
    }
    // A link leads to another tree, perhaps to one of this tree's ancestors: it stops this tree.
    if (values != 0 && IsLinkKey(key.get())) return ERROR_ACCESS_DENIED;
    if (subkeys == 0) return RegDeleteKeyA(parent, name);
    UniqueBlock<KeyLevel> level;
    if (!AllocZeroed(sizeof(KeyLevel), level)) return ERROR_NOT_ENOUGH_MEMORY;
    for (;;) {
        DWORD size = kKeyNameSize;  // in and out: reset before every call
        result = RegEnumKeyExA(key.get(), 0, level.get()->name, &size, nullptr, nullptr, nullptr, nullptr);
        if (result == ERROR_NO_MORE_ITEMS) break;
        if (result != ERROR_SUCCESS) return result;
        // A subkey that is still there after its deletion succeeded would be deleted forever.
        if (level.get()->deleted[0] != '\0' && TextEqualsNoCase(level.get()->name, level.get()->deleted)) {
            return ERROR_KEY_DELETED;
        }
        result = DeleteKeyTree(key.get(), level.get()->name, depth + 1);
        if (result != ERROR_SUCCESS) return result;
        (void)CopyText(level.get()->deleted, level.get()->name);  // same size: always fits
    }
    return RegDeleteKeyA(parent, name);
}
