#include "support/snapshot.h"

#ifdef _WIN32

#include <cstdint>
#include <cstdio>

#include "support/registry.h"
#include "support/sandbox.h"

namespace testing_support {

namespace {

constexpr size_t kShownContent = 40;  // longer or binary content is shown by its hash

std::string Attributes(DWORD attributes) {
    std::string out;
    if (attributes & FILE_ATTRIBUTE_READONLY) out += ", read-only";
    if (attributes & FILE_ATTRIBUTE_HIDDEN) out += ", hidden";
    if (attributes & FILE_ATTRIBUTE_SYSTEM) out += ", system";
    return out;
}

std::string FileState(const std::string& path, DWORD attributes) {
    auto bytes = ReadFileBytes(path);
    if (!bytes) return "file (unreadable)" + Attributes(attributes);
    std::string state = "file, " + std::to_string(bytes->size()) + " bytes" + Attributes(attributes);
    bool printable = bytes->size() <= kShownContent;
    for (unsigned char c : *bytes) printable = printable && c >= 0x20 && c < 0x7F;
    if (printable) return state + ": \"" + std::string(bytes->begin(), bytes->end()) + "\"";
    uint32_t hash = 2166136261u;  // FNV-1a
    for (unsigned char c : *bytes) hash = (hash ^ c) * 16777619u;
    char text[16];
    snprintf(text, sizeof(text), "%08X", static_cast<unsigned>(hash));
    return state + ", hash " + text;
}

void WalkFolder(const std::string& folder, const std::string& name, Snapshot& out) {
    WIN32_FIND_DATAA found;
    HANDLE search = FindFirstFileA((folder + "\\*").c_str(), &found);
    if (search == INVALID_HANDLE_VALUE) return;
    do {
        std::string child = found.cFileName;
        if (child == "." || child == "..") continue;
        std::string path = folder + "\\" + child;
        if (found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) {
            out[name + child + "\\"] = "folder" + Attributes(found.dwFileAttributes);
            // Junctions and links are listed, never walked into; nor are names the platform trims
            // ("a." reaches "a", "..." the folder itself).
            bool trimmed = child.back() == '.' || child.back() == ' ';
            if (!trimmed && !(found.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT)) {
                WalkFolder(path, name + child + "\\", out);
            }
        } else {
            out[name + child] = FileState(path, found.dwFileAttributes);
        }
    } while (FindNextFileA(search, &found));
    FindClose(search);
}

void WalkKey(HKEY root, const std::string& key, const std::string& name, Snapshot& out) {
    for (const std::string& value : ValueNames(root, key)) {
        auto read = ReadValue(root, key, value);
        out[name + "@" + value] = read ? read->Describe() : "(unreadable)";
    }
    for (const std::string& child : SubkeyNames(root, key)) {
        if (IsLinkKey(root, key + "\\" + child)) {
            out[name + child + "\\"] = "link";  // never walked into: it may lead back up the tree
            continue;
        }
        out[name + child + "\\"] = "key";
        WalkKey(root, key + "\\" + child, name + child + "\\", out);
    }
}

std::string StateIn(const Snapshot& snapshot, const std::string& item) {
    auto found = snapshot.find(item);
    return found == snapshot.end() ? "(absent)" : found->second;
}

}  // namespace

Snapshot SnapshotFolder(const std::string& folder, const std::string& label) {
    Snapshot out;
    WalkFolder(folder, label, out);
    return out;
}

Snapshot SnapshotKey(HKEY root, const std::string& key, const std::string& label) {
    Snapshot out;
    WalkKey(root, key, label, out);
    return out;
}

Snapshot SnapshotValues(HKEY root, const std::string& key, const std::string& prefix,
                        const std::string& label) {
    Snapshot out;
    for (const std::string& value : ValueNames(root, key)) {
        if (!StartsWithNoCase(value, prefix)) continue;
        auto read = ReadValue(root, key, value);
        out[label + "@" + value] = read ? read->Describe() : "(unreadable)";
    }
    return out;
}

void Add(Snapshot& into, const Snapshot& more) {
    into.insert(more.begin(), more.end());
}

std::set<std::string> ItemsUnder(const Snapshot& snapshot, const std::string& item) {
    std::set<std::string> out;
    for (const auto& [name, state] : snapshot) {
        bool below = item.back() == '\\' && name.compare(0, item.size(), item) == 0;
        if (name == item || below) out.insert(name);
    }
    return out;
}

std::string Unexpected(const Snapshot& before, const Snapshot& after, const Expected& expected) {
    std::string out;
    auto line = [&out](const std::string& what, const std::string& item, const std::string& detail) {
        out += "  " + what + ": " + item + (detail.empty() ? "" : "  [" + detail + "]") + "\n";
    };
    for (const auto& [item, state] : before) {
        auto now = after.find(item);
        if (now == after.end()) {
            if (!expected.removed.count(item)) line("unexpectedly removed", item, state);
        } else if (expected.removed.count(item)) {
            line("expected to be removed, still there", item, now->second);
        } else if (now->second != state && !expected.changed.count(item)) {
            line("unexpectedly changed", item, "was " + state + "; now " + now->second);
        } else if (now->second == state && expected.changed.count(item)) {
            line("expected to change, unchanged", item, state);
        }
    }
    for (const auto& [item, state] : after) {
        if (before.count(item) == 0 && !expected.added.count(item)) line("unexpectedly added", item, state);
    }
    for (const std::string& item : expected.removed) {
        if (!before.count(item)) line("expected to be removed, but was not there before", item, "");
    }
    for (const std::string& item : expected.added) {
        if (!after.count(item))
            line("expected to be added, absent", item, "");
        else if (before.count(item))
            line("expected to be added, was there before", item, StateIn(before, item));
    }
    for (const std::string& item : expected.changed) {
        if (!before.count(item) || !after.count(item))
            line("expected to change, but absent before or after", item,
                 StateIn(before, item) + " -> " + StateIn(after, item));
    }
    return out;
}

}  // namespace testing_support

#endif  // _WIN32
