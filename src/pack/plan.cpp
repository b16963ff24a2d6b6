#include "pack/plan.h"

#include "pack/json_text.h"
#include "pack/manifest.h"
#include "pack/plan_paths.h"
#include "removal/log_words.h"
#include "removal/pattern_guard.h"
#include "removal/registry_guard.h"
#include "ui/progress.h"

namespace pack {

using namespace format;

namespace {

std::string Index(const char* list, size_t i) {
    return std::string(list) + "[" + std::to_string(i) + "]";
}

class Planner {
  public:
    Planner(const Block& block, const PlanOptions& options, const ShowText& show)
        : b_(block), options_(options), show_(show) {
        installDir_ = options.installDir ? NormalizeInstallDir(*options.installDir) : kUnknownInstallDir;
        F_ = static_cast<uint32_t>(block.files.size());
        S_ = static_cast<uint32_t>(block.shortcuts.size());
        R_ = static_cast<uint32_t>(block.registry.size());
        counts_ = {F_, S_, R_};
    }

    Plan Run() {
        plan_.platform = options_.nt ? "NT" : "9x";
        plan_.installDir = show_(installDir_);
        plan_.progressTotal = ProgressTotal(counts_);
        Start();
        Files();
        Patterns();
        ShortcutFiles();
        ShortcutFolders();
        ProgramFolders();
        Registry();
        Closing();
        SetOutcomes(plan_);
        return std::move(plan_);
    }

  private:
    PlanPass& Pass(const char* name, const char* title, std::vector<std::string> notes = {}) {
        plan_.passes.push_back({name, title, std::move(notes), {}});
        return plan_.passes.back();
    }

    // What the bar shows after entry `index` of `pass`, as ReportProgress computes it.
    std::optional<uint32_t> Progress(ProgressPass pass, uint32_t index) const {
        if (plan_.progressTotal == 0) return std::nullopt;
        return ProgressPercent(ProgressPosition(pass, counts_, index), plan_.progressTotal);
    }

    bool InstallDirKnown() const { return options_.installDir.has_value(); }

    // Why the uninstaller would skip a built path, or nothing. `relative`: it begins with the
    // install folder, whose length is unknown unless given.
    std::optional<std::string> SkipReason(const std::string& path, bool relative) const {
        if ((!relative || InstallDirKnown()) && !FitsPathBuffer(path)) {
            return "does not fit " + std::to_string(kPathLimit) + " characters (" +
                   std::to_string(path.size()) + ")";
        }
        if (!relative && !IsAbsolutePath(path)) return "not an absolute path";
        return std::nullopt;
    }

    static bool IsRelativeFolder(const std::string& folder) { return !folder.empty() && folder[0] == '.'; }

    // The folder token that `folder` begins with, when it stands for a folder of the machine (not
    // #InstallDir#, which is the install folder).
    static std::optional<std::string> MachineToken(const std::string& folder) {
        auto token = LeadingToken(folder);
        if (!token || !IsKnownToken(*token) || EqualsNoCase(*token, "#InstallDir#")) return std::nullopt;
        return token;
    }

    // Why the uninstaller would skip the entry path `path` built from the stored `folder`, or nothing.
    // A path that begins with a folder token is measured as it is on a typical machine.
    std::optional<std::string> EntrySkipReason(const std::string& folder, const std::string& path) const {
        auto token = LeadingToken(folder);
        if (token && !IsKnownToken(*token)) {
            return "unknown folder token " + show_(*token) +
                   ": the entry is skipped (known tokens: " + KnownTokenList() + ")";
        }
        if (token && EqualsNoCase(*token, "#InstallDir#")) return SkipReason(path, true);
        if (MachineToken(folder)) {
            std::string typical = TypicalPath(path, options_.nt);
            if (!FitsPathBuffer(typical)) {
                return "does not fit " + std::to_string(kPathLimit) + " characters on a typical " +
                       plan_.platform + " machine (" + std::to_string(typical.size()) + ")";
            }
            return std::nullopt;
        }
        return SkipReason(path, IsRelativeFolder(folder));
    }

    // The path as a check for shared folders sees it: a folder token as on a typical machine.
    std::string Judged(const std::string& path) const { return TypicalPath(path, options_.nt); }

    // Notes what the folder token that begins `folder` stands for, with `path` on a typical machine.
    void NoteToken(PlanItem& item, const std::string& folder, const std::string& path) const {
        auto token = MachineToken(folder);
        if (!token) return;
        item.typicalPath = show_(TypicalPath(path, options_.nt));
        item.notes.push_back(show_(*token) + " is looked up on the machine; on a typical " + plan_.platform +
                             " machine: " + item.typicalPath);
    }

    // The path shown for an entry whose folder token is unknown (the builder gives nothing for it).
    static std::string Stored(const std::string& folder, const std::string& name) {
        if (name.empty()) return folder;
        return folder + (folder.empty() || folder.back() == '\\' ? "" : "\\") + name;
    }

    // Why the folder passes refuse `folder` as a network spelling, or nothing (the rule is shared
    // with the uninstaller: removal/entry_paths.h).
    std::optional<std::string> NetworkRefusal(const std::string& folder) const {
        if (!IsRefusedNetworkFolder(installDir_.c_str(), folder.c_str())) return std::nullopt;
        if (IsVerbatimOrDevicePath(folder)) return "refused: a \\\\?\\ or \\\\.\\ path cannot be checked";
        return std::string(
            "refused: a network path may reach any folder, a protected one too; folders are removed "
            "only on the share the installation lives on");
    }

    static bool IsVerbatimOrDevicePath(const std::string& path) {
        return path.size() >= 4 && path[0] == '\\' && path[1] == '\\' && (path[2] == '?' || path[2] == '.') &&
               path[3] == '\\';
    }

    // The check each pass makes on the machine before it acts on a folder, which the plan cannot see.
    static constexpr const char* kLinkNote =
        "a folder reached through a junction or symbolic link below its root is skipped: the run compares "
        "each folder's "
        "final path with its root's (the install folder for its own folders, a folder token's folder, else "
        "the nearest "
        "protected folder above, else the drive); a link above the root is followed";

    void Start() {
        PlanPass& pass =
            Pass(LogWordText(LogWord::kStart), "Before anything is removed (without /Q, /S or /X)",
                 {"while a file checked for use is locked, message 15 asks to close it (Retry or Cancel)"});
        pass.items.push_back({"",
                              LogWordText(LogWord::kAsk),
                              show_(Message(kMsgConfirm)),
                              {"OK goes on, Cancel ends the run (message 1)"},
                              {}});
        pass.items.back().messages = {1};
        for (size_t i = 0; i < b_.files.size(); ++i) {
            const auto& f = b_.files[i];
            if (f.name.empty() || !(f.flags & kFileMustBeFree)) continue;
            std::string path = BuildEntryPath(installDir_, f.folder, f.name);
            PlanItem item{Index("files", i),
                          "check in use",
                          show_(path.empty() ? Stored(f.folder, f.name) : path),
                          {},
                          {}};
            if (auto skip = EntrySkipReason(f.folder, path)) {
                item.action = LogWordText(LogWord::kSkip);
                item.notes.push_back(*skip);
            } else {
                NoteToken(item, f.folder, path);
            }
            item.target = "file";
            item.messages = {15};
            pass.items.push_back(std::move(item));
        }
        PlanPass& run = Pass(LogWordText(LogWord::kRunFirst), "The program to run first");
        if (b_.settings && b_.settings->command) {
            RunFirstCommand command = ComposeRunFirst(installDir_, *b_.settings->command);
            PlanItem item{"settings.runFirst", LogWordText(LogWord::kRun), show_(command.program), {}, {}};
            item.target = "program";
            item.arguments = show_(command.arguments);
            item.notes.push_back("arguments: " + (command.arguments.empty() ? std::string("(none)")
                                                                            : show_(command.arguments)));
            item.notes.push_back(command.tokenForm ? "folder tokens are expanded on the machine"
                                                   : "relative to the install folder");
            item.notes.push_back((b_.settings->flags & kSettingsWaitForRun) ? "waits until it ends"
                                                                            : "does not wait");
            item.notes.push_back("not run with /X alone");
            if (!command.absolute) {
                item.action = LogWordText(LogWord::kSkip);
                item.notes.insert(
                    item.notes.begin(),
                    "the program is not a whole path (\"X:\\...\" or \"\\\\server\\share\\...\"): "
                    "the uninstaller does not run it");
            } else if (!command.tokenForm) {
                if (auto skip = SkipReason(command.composed, true)) {
                    item.action = LogWordText(LogWord::kSkip);
                    item.notes.insert(item.notes.begin(), "the composed command " + *skip);
                }
            }
            run.items.push_back(std::move(item));
        }
    }

    std::string Message(int number) const {
        return static_cast<size_t>(number) < b_.messages.size() ? b_.messages[number] : std::string();
    }

    void Files() {
        std::string readOnly =
            Message(kMsgReadOnlyQuestion).empty()
                ? "a read-only file goes without a question (message 9 is empty)"
                : "a read-only file makes message 9 ask (Yes, Yes to all, No, No to all), in every "
                  "mode: /Q and /S runs wait for the answer too";
        PlanPass& pass = Pass(LogWordText(LogWord::kFiles),
                              "Installed files, from the last entry to the first (message 11)",
                              {"a file locked by a running program stays", readOnly,
                               "a folder is removed only when it is empty", kLinkNote,
                               "a file that is itself a junction or symbolic link is skipped"});
        pass.items.reserve(F_);
        for (uint32_t k = 0; k < F_; ++k) {
            size_t i = F_ - 1 - k;
            const auto& f = b_.files[i];
            std::string path = BuildEntryPath(installDir_, f.folder, f.name);
            PlanItem item{
                Index("files", i),
                f.name.empty() ? LogWordText(LogWord::kRemoveFolder) : LogWordText(LogWord::kDelete),
                show_(path.empty() ? Stored(f.folder, f.name) : path),
                {},
                Progress(ProgressPass::kFiles, k)};
            auto skip = EntrySkipReason(f.folder, path);
            item.target = f.name.empty() ? "folder" : "file";
            item.flags = FileFlagNames(f.flags);
            if (!f.name.empty()) item.messages = {9};
            if (!f.name.empty() && (f.flags & kFileShared)) item.messages.push_back(10);
            if (!skip && IsVerbatimOrDevicePath(path)) skip = "a \\\\?\\ or \\\\.\\ path cannot be checked";
            if (!skip && f.name.empty()) skip = NetworkRefusal(path);
            if (!skip) NoteToken(item, f.folder, path);
            if (skip) {
                item.action = LogWordText(LogWord::kSkip);
                item.notes.push_back(*skip);
            } else if (f.name.empty()) {
                if (auto shared = SharedFolderOutside(Judged(path), installDir_)) {
                    item.action = LogWordText(LogWord::kSkip);
                    item.notes.push_back("protected: looks like " + *shared);
                }
            } else {
                if (f.flags & kFileShared) {
                    item.notes.push_back(
                        "shared: its count under "
                        "HKLM\\Software\\Microsoft\\Windows\\CurrentVersion\\SharedDLLs goes down "
                        "by one; removed only when it runs out, " +
                        std::string(Message(kMsgSharedFileQuestion).empty()
                                        ? "without a question (message 10 is empty)"
                                        : "after message 10 asks, in every mode: /Q and /S runs wait for the "
                                          "answer too"));
                }
                if (f.flags & kFileFont) {
                    item.notes.push_back(
                        "font: removed from the system first, and its value in the Fonts key when that "
                        "value names this file: by its full path, or by its bare file name when the "
                        "file lies in the Fonts folder");
                }
                if (f.flags & kFileSelfRegister) {
                    item.notes.push_back(options_.nt
                                             ? "server: unregistered first (regsvr32 /u /s on NT 6 and later)"
                                             : "server: unregistered first (its DllUnregisterServer)");
                }
            }
            pass.items.push_back(std::move(item));
        }
    }

    void Patterns() {
        PlanPass& pass = Pass(LogWordText(LogWord::kPatterns),
                              "Clean-up patterns, each folder with all its subfolders (message 11)",
                              {kLinkNote, "a file that is itself a junction or symbolic link is skipped"});
        for (size_t i = 0; i < b_.patterns.size(); ++i) {
            PatternPath p = PlanPatternPath(installDir_, b_.patterns[i]);
            if (p.hasTokens) ExpandInstallDirToken(p);
            PlanItem item{Index("patterns", i), LogWordText(LogWord::kClean), show_(p.full), {}, {}};
            item.target = "files";
            std::optional<std::string> skip;
            bool unclosed = false;
            for (const auto& t : TokensOf(b_.patterns[i], &unclosed)) {
                if (!IsKnownToken(t))
                    skip = "unknown token " + show_(t) + " leaves a path that is not absolute";
            }
            if (!skip && !p.split) skip = "no backslash: no folder to clean";
            if (!skip && !p.hasTokens) skip = SkipReason(p.full, true);
            if (!skip && p.hasTokens &&
                !IsKnownToken(b_.patterns[i].substr(0, b_.patterns[i].find('#', 1) + 1))) {
                skip = "does not begin with a folder token: not an absolute path";
            }
            if (!skip && !IsPlainFileMask(p.mask)) {
                skip = "mask " + show_(p.mask) + " is no file mask";
            }
            if (!skip) {
                if (auto shared = SharedFolderOutside(p.folder, installDir_))
                    skip = "protected: looks like " + *shared;
            }
            if (!skip && IsRefusedPatternFolder(p.folder.c_str()))
                skip = "refused: inside the system's own folders";
            if (!skip) skip = NetworkRefusal(p.folder);
            if (!skip) {
                if (auto token = ProtectedTokenFolder(p.folder, options_.nt)) {
                    skip = "protected: " + show_(*token) + " itself is a protected folder";
                }
            }
            if (skip) {
                item.action = LogWordText(LogWord::kSkip);
                item.notes.push_back(*skip);
            } else {
                item.path = show_(p.folder);
                item.folder = show_(p.folder);
                item.mask = show_(p.mask);
                item.notes.push_back("deletes files matching " + show_(p.mask) +
                                     " in it and every subfolder");
                item.notes.push_back(
                    "removes each folder of the tree that is then empty, the folder itself too");
                if (p.hasTokens) item.notes.push_back("folder tokens are expanded on the machine");
            }
            pass.items.push_back(std::move(item));
        }
    }

    // The install folder is the one folder token the plan knows (or shows as "#InstallDir#"). The
    // uninstaller expands it as every folder token: without its final backslash (a drive's root keeps
    // it), so "#InstallDir#Logs" names a folder beside the installation, not one in it.
    void ExpandInstallDirToken(PatternPath& p) const {
        static const std::string kToken = "#InstallDir#";
        std::string dir = installDir_;
        StripTrailingBackslash(dir);
        std::string full;
        for (size_t at = 0; at < p.full.size();) {
            if (p.full.size() - at >= kToken.size() &&
                EqualsNoCase(p.full.substr(at, kToken.size()), kToken)) {
                full += dir;
                at += kToken.size();
            } else {
                full += p.full[at++];
            }
        }
        p.full = full;
        size_t cut = full.rfind('\\');
        p.split = cut != std::string::npos;
        if (p.split) {
            p.folder = full.substr(0, cut);
            p.mask = full.substr(cut + 1);
        }
    }

    void ShortcutFiles() {
        PlanPass& pass = Pass(LogWordText(LogWord::kShortcutFiles), "Shortcut files (message 12)",
                              {kLinkNote, "a file that is itself a junction or symbolic link is skipped"});
        for (uint32_t i = 0; i < S_; ++i) {
            const auto& s = b_.shortcuts[i];
            PlanItem item{Index("shortcuts", i),
                          LogWordText(LogWord::kDelete),
                          "",
                          {},
                          Progress(ProgressPass::kShortcutFiles, i)};
            item.target = "file";
            if (s.name.empty()) {
                item.action = "nothing";
                item.notes.push_back("no file name");
            } else {
                std::string folder = BuildEntryFolder(installDir_, s.folder);
                std::string path = BuildShortcutPath(folder, s.name);
                item.path = show_(folder.empty() && !s.folder.empty() ? Stored(s.folder, s.name) : path);
                auto skip =
                    LeadingToken(s.folder) ? EntrySkipReason(s.folder, path) : SkipReason(path, false);
                if (!skip && IsVerbatimOrDevicePath(path))
                    skip = "a \\\\?\\ or \\\\.\\ path cannot be checked";
                if (!IsPlainShortcutName(s.name)) {
                    item.action = LogWordText(LogWord::kSkip);
                    item.notes.push_back(
                        "the file name is a path (\"\\\", \"/\", \":\" or only dots): a shortcut's file "
                        "name must be a name in its folder");
                } else if (skip) {
                    item.action = LogWordText(LogWord::kSkip);
                    item.notes.push_back(*skip);
                } else {
                    NoteToken(item, s.folder, path);
                }
            }
            pass.items.push_back(std::move(item));
        }
    }

    void ShortcutFolders() {
        PlanPass& pass =
            Pass(LogWordText(LogWord::kShortcutFolders),
                 "Shortcut folders, climbing their level counts (message 12)",
                 {"each folder is removed only when it is empty; one that stays does not end the climb",
                  kLinkNote});
        for (uint32_t i = 0; i < S_; ++i) {
            const auto& s = b_.shortcuts[i];
            std::string entry = Index("shortcuts", i);
            std::string folder = BuildEntryFolder(installDir_, s.folder);
            std::string second = BuildEntryFolder(installDir_, s.secondFolder);
            if ((folder.empty() && !s.folder.empty()) || (second.empty() && !s.secondFolder.empty())) {
                const std::string& bad = folder.empty() ? s.folder : s.secondFolder;
                pass.items.push_back({entry,
                                      LogWordText(LogWord::kSkip),
                                      show_(bad),
                                      {*EntrySkipReason(bad, "")},
                                      Progress(ProgressPass::kShortcutFolders, i)});
                continue;
            }
            auto steps = ShortcutClimb(s.levels, folder, second);
            if (steps.empty()) {
                pass.items.push_back(
                    {entry, "nothing", "", {"no folder"}, Progress(ProgressPass::kShortcutFolders, i)});
                pass.items.back().target = "folder";
                continue;
            }
            for (size_t k = 0; k < steps.size(); ++k) {
                const auto& step = steps[k];
                PlanItem item{entry, LogWordText(LogWord::kRemoveFolder), show_(step.folder), {}, {}};
                item.target = "folder";
                item.level = static_cast<uint32_t>(k);
                item.levels = s.levels;
                if (!step.secondFolder.empty()) item.secondFolder = show_(step.secondFolder);
                if (k == 0) {
                    item.notes.push_back("level count " + std::to_string(s.levels));
                } else {
                    item.notes.push_back("level " + std::to_string(k) + " of " + std::to_string(s.levels));
                }
                if (!step.secondFolder.empty())
                    item.notes.push_back("and the second folder " + show_(step.secondFolder));
                NoteToken(item, s.folder, step.folder);
                if (!step.secondFolder.empty() && MachineToken(s.secondFolder)) {
                    item.notes.push_back("the second folder on a typical " + plan_.platform +
                                         " machine: " + show_(TypicalPath(step.secondFolder, options_.nt)));
                }
                auto shared = SharedFolderName(Judged(step.folder));
                if (!shared && !step.secondFolder.empty())
                    shared = SharedFolderName(Judged(step.secondFolder));
                auto network = NetworkRefusal(step.folder);
                if (!network && !step.secondFolder.empty()) network = NetworkRefusal(step.secondFolder);
                bool last = k + 1 == steps.size();
                if (shared) {
                    item.action = "stop";
                    item.notes.push_back("protected: looks like " + *shared + "; the climb ends");
                    last = true;
                } else if (network) {
                    item.action = "stop";
                    item.notes.push_back(*network + "; the climb ends");
                    last = true;
                    shared = network;
                }
                if (last) item.progress = Progress(ProgressPass::kShortcutFolders, i);
                pass.items.push_back(std::move(item));
                if (shared) break;
            }
        }
    }

    void ProgramFolders() {
        PlanPass& pass =
            Pass(LogWordText(LogWord::kProgramFolders),
                 "Program folders, climbing while they are empty (message 13)",
                 {"each climb removes the folder when it is empty, then each parent while it is empty, "
                  "up to the first protected folder",
                  kLinkNote});
        pass.items.reserve(F_);
        std::string lastStart;
        std::string lastEntry;
        std::string repeatOf;  // the entry whose folder the item at the end of the pass repeats
        for (uint32_t i = 0; i < F_; ++i) {
            const auto& f = b_.files[i];
            std::string entry = Index("files", i);
            if (f.flags & kFileFont) {
                repeatOf.clear();
                pass.items.push_back({entry, "nothing", "", {"font entries are skipped"}, {}});
                continue;
            }
            auto folder = BuildProgramFolder(installDir_, f.folder, f.name);
            std::optional<uint32_t> progress = Progress(ProgressPass::kProgramFolders, i);
            if (!folder) {
                repeatOf.clear();
                auto token = LeadingToken(f.folder);
                if (token && !IsKnownToken(*token)) {
                    pass.items.push_back({entry,
                                          LogWordText(LogWord::kSkip),
                                          show_(f.folder),
                                          {*EntrySkipReason(f.folder, "")},
                                          progress});
                } else {
                    pass.items.push_back({entry, "nothing", "", {"the path holds no backslash"}, progress});
                }
                continue;
            }
            if (!lastStart.empty() && EqualsNoCase(*folder, lastStart)) {
                // A run of entries in the folder just climbed from is one item: "files[4..9]".
                if (repeatOf == lastEntry && !pass.items.empty()) {
                    PlanItem& run = pass.items.back();
                    run.entry = run.entry.substr(0, run.entry.find("..") == std::string::npos
                                                        ? run.entry.size() - 1
                                                        : run.entry.find("..")) +
                                ".." + std::to_string(i) + "]";
                    run.progress = progress;
                } else {
                    pass.items.push_back({entry,
                                          "nothing",
                                          show_(*folder),
                                          {"same folder as " + lastEntry + " (no second climb)"},
                                          progress});
                    repeatOf = lastEntry;
                }
                continue;
            }
            repeatOf.clear();
            PlanItem item{entry, LogWordText(LogWord::kRemoveFolder), show_(*folder), {}, progress};
            // The pass builds the whole entry path, name included, before it cuts the name off.
            auto skip = EntrySkipReason(f.folder, BuildEntryPath(installDir_, f.folder, f.name));
            if (!skip) NoteToken(item, f.folder, *folder);
            if (skip) {
                item.action = LogWordText(LogWord::kSkip);
                item.notes.push_back(*skip);
            } else if (auto shared = SharedFolderOutside(Judged(*folder), installDir_)) {
                item.action = "stop";
                item.notes.push_back("protected: looks like " + *shared);
            } else if (auto network = NetworkRefusal(*folder)) {
                item.action = "stop";
                item.notes.push_back(*network);
            } else {
                lastStart = *folder;
                lastEntry = entry;
            }
            pass.items.push_back(std::move(item));
        }
    }

    // The registry pass refuses the whole Software or System key under any root and any spelling
    // ("Software\", "\System"): it compares the key normalised, as it deletes it.
    static bool NamesSoftwareOrSystem(const std::string& keyPath) {
        char normalized[kRegistryGuardPathSize];
        if (!NormalizeRegistryKeyPath(keyPath.c_str(), normalized, sizeof normalized)) return false;
        return EqualsNoCase(normalized, "Software") || EqualsNoCase(normalized, "System");
    }

    void Registry() {
        PlanPass& pass = Pass(
            LogWordText(LogWord::kRegistry), "Registry entries (message 14)",
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
                PlanItem item{
                    entry, LogWordText(LogWord::kDeleteValue), root + "\\" + show_(parts.key), {}, {}};
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

    void Closing() {
        PlanPass& pass = Pass("closing", "The end of the run");
        std::string finished = Message(kMsgFinished);
        if (!finished.empty()) {
            pass.items.push_back({"", "show", show_(finished), {"message 2; not with /Q, /S or /X"}, {}});
            pass.items.back().target = "message";
            pass.items.back().messages = {2};
        }
        if (b_.settings && b_.settings->document) {
            const std::string& d = *b_.settings->document;
            pass.items.push_back({"settings.document", "open", show_(d), {"not with /S or /X"}, {}});
            pass.items.back().target = "document";
        }
        std::string exe = installDir_ + options_.uninstallerName;  // the name it has where it runs
        std::string folder = installDir_;
        StripTrailingBackslash(folder);
        pass.items.push_back({"",
                              "self-delete",
                              show_(exe),
                              {"a batch run by " + std::string(options_.nt ? "cmd.exe" : "command.com") +
                                   " deletes the uninstaller once it has exited, then removes " +
                                   show_(folder) + " if it is empty",
                               "not with /S or /X, nor after Cancel"},
                              {}});
        pass.items.back().target = "uninstaller";
    }

    // What the run is to do with each item, from its action (in the plan's words: the log's
    // results say what came of it).
    static void SetOutcomes(Plan& plan) {
        for (auto& pass : plan.passes) {
            for (auto& item : pass.items) {
                const std::string& a = item.action;
                if (a == LogWordText(LogWord::kDelete) || a == LogWordText(LogWord::kRemoveFolder) ||
                    a == LogWordText(LogWord::kClean) || a == LogWordText(LogWord::kDeleteKey) ||
                    a == LogWordText(LogWord::kDeleteValue) || a == "self-delete") {
                    item.outcome = "remove";
                } else if (a == "stop") {
                    item.outcome = "keep";
                } else if (a == "nothing") {
                    item.outcome = "none";
                } else if (a == "check in use") {
                    item.outcome = "check";
                } else {
                    item.outcome = a;  // LogWordText(LogWord::kSkip), LogWordText(LogWord::kAsk),
                                       // LogWordText(LogWord::kRun), "show", "open"
                }
                if (item.target.empty() && pass.name == LogWordText(LogWord::kProgramFolders))
                    item.target = "folder";
            }
        }
    }

    const Block& b_;
    const PlanOptions& options_;
    const ShowText& show_;
    std::string installDir_;
    uint32_t F_ = 0, S_ = 0, R_ = 0;
    ProgressCounts counts_{};
    Plan plan_;
};

}  // namespace

Plan BuildPlan(const Block& block, const PlanOptions& options, const ShowText& show) {
    return Planner(block, options, show).Run();
}

namespace {

// The bytes the items of a plan take at least, so an output of tens of megabytes is allocated once.
size_t ItemBytes(const Plan& plan, size_t perItem) {
    size_t total = 4096;
    for (const auto& pass : plan.passes) {
        for (const auto& item : pass.items) {
            total += perItem + item.entry.size() + item.action.size() + item.path.size();
            for (const auto& note : item.notes) total += note.size() + 16;
        }
    }
    return total;
}

}  // namespace

std::string FormatPlanText(const Plan& plan) {
    std::string out;
    out.reserve(ItemBytes(plan, 16));
    out += "Platform: " + plan.platform + "; install folder: " + plan.installDir +
           "; progress total: " + std::to_string(plan.progressTotal) + " units\n";
    for (const auto& pass : plan.passes) {
        out += "\n== " + pass.title + "\n";
        for (const auto& note : pass.notes) out += "   (" + note + ")\n";
        if (pass.items.empty()) out += "   (nothing)\n";
        for (const auto& item : pass.items) {
            out += "   ";
            if (item.progress) {
                char percent[8];
                snprintf(percent, sizeof percent, "%3u%% ", *item.progress);
                out += percent;
            } else {
                out += "     ";
            }
            out += item.action;
            if (!item.path.empty()) {
                out += ' ';
                out += item.path;
            }
            if (!item.entry.empty()) {
                out += "   [";
                out += item.entry;
                out += ']';
            }
            out += '\n';
            for (const auto& note : item.notes) {
                out += "           - ";
                out += note;
                out += '\n';
            }
        }
    }
    return out;
}

std::string FormatPlanJson(const Plan& plan) {
    std::string out;
    out.reserve(ItemBytes(plan, 64));
    out += "{\n  \"formatVersion\": " + std::to_string(kPlanFormatVersion) + ",\n  \"platform\": ";
    AppendJsonString(out, plan.platform);
    out += ",\n  \"installDir\": ";
    AppendJsonString(out, plan.installDir);
    if (plan.codePage) out += ",\n  \"codePage\": " + std::to_string(plan.codePage);
    out += ",\n  \"progressTotal\": " + std::to_string(plan.progressTotal) + ",\n  \"passes\": [";
    for (size_t p = 0; p < plan.passes.size(); ++p) {
        const auto& pass = plan.passes[p];
        out += p ? ",\n    {\"name\": " : "\n    {\"name\": ";
        AppendJsonString(out, pass.name);
        out += ", \"title\": ";
        AppendJsonString(out, pass.title);
        out += ", \"notes\": [";
        for (size_t n = 0; n < pass.notes.size(); ++n) {
            if (n) out += ", ";
            AppendJsonString(out, pass.notes[n]);
        }
        out += "],\n     \"items\": [";
        for (size_t i = 0; i < pass.items.size(); ++i) {
            const auto& item = pass.items[i];
            out += i ? ",\n       {" : "\n       {";
            if (!item.entry.empty()) {
                out += "\"entry\": ";
                AppendJsonString(out, item.entry);
                out += ", ";
            }
            out += "\"action\": ";
            AppendJsonString(out, item.action);
            if (!item.path.empty()) {
                out += ", \"path\": ";
                AppendJsonString(out, item.path);
            }
            if (!item.notes.empty()) {
                out += ", \"notes\": [";
                for (size_t n = 0; n < item.notes.size(); ++n) {
                    if (n) out += ", ";
                    AppendJsonString(out, item.notes[n]);
                }
                out += ']';
            }
            if (!item.typicalPath.empty()) {
                out += ", \"typicalPath\": ";
                AppendJsonString(out, item.typicalPath);
            }
            if (item.progress) out += ", \"progress\": " + std::to_string(*item.progress);
            out += ", \"outcome\": ";
            AppendJsonString(out, item.outcome);
            if (!item.target.empty()) {
                out += ", \"target\": ";
                AppendJsonString(out, item.target);
            }
            auto text = [&out](const char* name, const std::optional<std::string>& value) {
                if (!value) return;
                out += std::string(", \"") + name + "\": ";
                AppendJsonString(out, *value);
            };
            text("key", item.key);
            text("valueName", item.valueName);
            text("folder", item.folder);
            text("mask", item.mask);
            text("secondFolder", item.secondFolder);
            text("arguments", item.arguments);
            if (item.level) out += ", \"level\": " + std::to_string(*item.level);
            if (item.levels) out += ", \"levels\": " + std::to_string(*item.levels);
            if (!item.flags.empty()) {
                out += ", \"flags\": [";
                for (size_t n = 0; n < item.flags.size(); ++n) {
                    if (n) out += ", ";
                    AppendJsonString(out, item.flags[n]);
                }
                out += ']';
            }
            if (!item.messages.empty()) {
                out += ", \"messages\": [";
                for (size_t n = 0; n < item.messages.size(); ++n)
                    out += (n ? ", " : "") + std::to_string(item.messages[n]);
                out += ']';
            }
            out += '}';
        }
        out += pass.items.empty() ? "]}" : "\n     ]}";
    }
    out += "\n  ]\n}\n";
    return out;
}

}  // namespace pack
