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

// Opens the key `path` (normalised, relative to `parent`) one component at a time, each relative to
// the one before and opened itself (REG_OPTION_OPEN_LINK), the last with `access`. A registry link on
// the way is never followed: it is refused as kOutcomeBelowLink. `components` of the path are opened (all of
// them with ~0u); returns 0 or the platform's error. The 9x family, which has no links, opens the
// path in one call.
uint32_t OpenKeyByComponents(const RunState& run, HKEY parent, const char* path, uint32_t components,
                             REGSAM access, UniqueRegistryKey& out) {
    // The root itself (a value right under it) is no link.
    if (!run.platform.nt || path[0] == '\0')
        return static_cast<uint32_t>(RegOpenKeyExA(parent, path, 0, access, out.put()));
    char name[kRegistryGuardPathSize];
    UniqueRegistryKey current;
    HKEY at = parent;
    for (uint32_t level = 0; level < components && *path != '\0'; ++level) {
        size_t n = 0;
        while (path[n] != '\0' && path[n] != '\\') {
            name[n] = path[n];
            ++n;
        }
        name[n] = '\0';
        path += path[n] == '\\' ? n + 1 : n;
        bool last = *path == '\0' || level + 1 == components;
        UniqueRegistryKey next;
        LONG result = RegOpenKeyExA(at, name, kOpenLink, last ? access : KEY_QUERY_VALUE, next.put());
        if (result != ERROR_SUCCESS) return static_cast<uint32_t>(result);
        // A link on the way is refused: Wine finds the subkeys of the key it points at even below
        // a link opened itself. The last component is the caller's to judge.
        if (!last && IsLinkKey(next.get())) return kOutcomeBelowLink;
        current = static_cast<UniqueRegistryKey&&>(next);
        at = current.get();
    }
    out = static_cast<UniqueRegistryKey&&>(current);
    return out ? 0 : static_cast<uint32_t>(ERROR_BADKEY);
}

// The number of components of the normalised key path `path`.
uint32_t CountComponents(const char* path) {
    uint32_t count = path[0] != '\0' ? 1 : 0;
    for (; *path != '\0'; ++path) count += *path == '\\' ? 1 : 0;
    return count;
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
    uint32_t result =
        OpenKeyByComponents(run, RootHandle(root), normalized, ~0u, KEY_SET_VALUE | KEY_QUERY_VALUE, opened);
    if (result != 0) return result;
    // A link's only value is where it points; the value named is not in it.
    if (run.platform.nt && IsLinkKey(opened.get())) return kOutcomeRefusedKey;
    return static_cast<uint32_t>(RegDeleteValueA(opened.get(), split.valueName));
}

// One key entry: the key as it was tested, normalised; never a key every program shares. On the NT
// family its parent is opened a component at a time (no link followed on the way) and the tree is
// deleted relative to that handle.
uint32_t RemoveKey(const RunState& run, uint32_t root, const char* path) {
    char normalized[kRegistryGuardPathSize];
    if (!NormalizeRegistryKeyPath(path, normalized, sizeof normalized)) return kOutcomeDoesNotFit;
    if (normalized[0] == '\0' || TextEqualsNoCase(normalized, "Software") ||
        TextEqualsNoCase(normalized, "System") || IsRefusedRegistryKey(root, normalized)) {
        return kOutcomeRefusedKey;
    }
    // The 9x family deletes the key together with its subkeys.
    if (!run.platform.nt) return static_cast<uint32_t>(RegDeleteKeyA(RootHandle(root), normalized));
    uint32_t above = CountComponents(normalized) - 1;
    const char* name = normalized;
    for (const char* p = normalized; *p != '\0'; ++p) {
        if (*p == '\\') name = p + 1;
    }
    HKEY parent = RootHandle(root);
    UniqueRegistryKey opened;
    if (above != 0) {
        uint32_t result = OpenKeyByComponents(run, parent, normalized, above, KEY_QUERY_VALUE, opened);
        if (result != 0) return result;
        // The parent itself may be a link opened as such: nothing below it is its own.
        if (IsLinkKey(opened.get())) return kOutcomeBelowLink;
        parent = opened.get();
    }
    return static_cast<uint32_t>(DeleteKeyTree(parent, name, 0));
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
            LogKey(*run.log.get(),
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
