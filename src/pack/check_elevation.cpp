#include <cstring>

#include "pack/checker.h"

namespace pack {

using namespace format;

namespace {

// The folder tokens whose folders only an administrator may change: the system's, Program Files and
// Common Files (in either view), the all-users folders and the Fonts folder.
bool IsPerMachineToken(const std::string& token) {
    std::string t = Lower(token);
    for (const char* prefix : {"#windows#", "#system", "#program files#", "#programfiles", "#commonfiles",
                               "#allusers", "#fonts#"}) {
        if (t.compare(0, strlen(prefix), prefix) == 0) return true;
    }
    return false;
}

// A literal folder of the machine's: the Windows folder, Program Files, all users' data and profile.
bool IsPerMachineFolder(const std::string& folder) {
    std::string f = Lower(folder);
    for (char& c : f) c = c == '/' ? '\\' : c;
    if (f.size() < 3 || f[1] != ':' || f[2] != '\\') return false;
    std::string rest = f.substr(3);
    for (const char* root : {"windows", "winnt", "program files", "programdata", "users\\public"}) {
        std::string r = root;
        if (rest.compare(0, r.size(), r) == 0 &&
            (rest.size() == r.size() || rest[r.size()] == '\\' || rest[r.size()] == ' '))
            return true;
    }
    return false;
}

// What makes `folder` a per-machine place, or nothing.
std::optional<std::string> PerMachinePlace(const std::string& folder) {
    if (auto token = LeadingToken(folder); token && IsPerMachineToken(*token))
        return "folder token " + *token;
    if (IsPerMachineFolder(folder)) return "folder \"" + folder + "\"";
    return std::nullopt;
}

}  // namespace

void Checker::CheckPerUserPlaces() {
    if (m_.elevation != Elevation::kUser) return;
    const std::string tail =
        ": with \"elevation\": \"user\" the uninstaller runs with the user's rights, which cannot remove it "
        "(a per-user installation lives in #LocalAppData#\\Programs and HKCU; a per-machine one needs "
        "\"elevation\": \"administrator\")";
    auto warn = [&](const std::string& where, const std::string& what) {
        Warn("per-machine", where, what + tail);
    };
    if (options_.installDir && IsPerMachineFolder(*options_.installDir))
        warn("", "the install folder \"" + *options_.installDir + "\" is a per-machine place");
    for (size_t i = 0; i < m_.block.files.size(); ++i) {
        const auto& f = m_.block.files[i];
        std::string where = EntryPath(m_, "files", i);
        if (auto place = PerMachinePlace(f.folder)) {
            warn(where, "its " + *place + " is a per-machine place");
        } else if (!f.name.empty() && (f.flags & (kFileShared | kFileFont))) {
            warn(where, std::string("its flag ") + ((f.flags & kFileShared)
                                                        ? "shared counts it under HKLM's SharedDLLs"
                                                        : "font removes it from HKLM's Fonts key"));
        }
    }
    for (size_t i = 0; i < m_.block.shortcuts.size(); ++i) {
        const auto& s = m_.block.shortcuts[i];
        for (const std::string* folder : {&s.folder, &s.secondFolder}) {
            if (auto place = PerMachinePlace(*folder)) {
                warn(EntryPath(m_, "shortcuts", i), "its " + *place + " is a per-machine place");
                break;
            }
        }
    }
    for (size_t i = 0; i < m_.block.registry.size(); ++i) {
        if (m_.block.registry[i].root == kRootLocalMachine)
            warn(EntryPath(m_, "registry", i), "HKLM is per-machine");
    }
    for (size_t i = 0; i < m_.block.patterns.size(); ++i) {
        if (auto place = PerMachinePlace(m_.block.patterns[i]))
            warn(EntryPath(m_, "patterns", i), "its " + *place + " is a per-machine place");
    }
}

}  // namespace pack
