#include "pack/plan.h"

#include "pack/planner.h"
#include "removal/log_words.h"

namespace pack {

using namespace format;

Plan BuildPlan(const Block& block, const PlanOptions& options, const ShowText& show) {
    return Planner(block, options, show).Run();
}

Plan Planner::Run() {
    plan_.platform = options_.nt ? "NT" : "9x";
    plan_.installDir = show_(installDir_);
    plan_.progressTotal = ProgressTotal(counts_);
    Start();
    for (const auto& pass : kRemovalPasses) PlanRemovalPass(pass.word);
    Closing();
    SetOutcomes(plan_);
    return std::move(plan_);
}

PlanPass& Planner::StartRemovalPass(LogWord word, const char* description, std::vector<std::string> notes) {
    int message = 0;
    for (const auto& pass : kRemovalPasses) {
        if (pass.word == word) message = pass.message;
    }
    return Pass(LogWordText(word), std::string(description) + " (message " + std::to_string(message) + ")",
                std::move(notes));
}

void Planner::PlanRemovalPass(LogWord word) {
    switch (word) {
        case LogWord::kFiles:
            return Files();
        case LogWord::kPatterns:
            return Patterns();
        case LogWord::kShortcutFiles:
            return ShortcutFiles();
        case LogWord::kShortcutFolders:
            return ShortcutFolders();
        case LogWord::kProgramFolders:
            return ProgramFolders();
        case LogWord::kRegistry:
            return Registry();
        default:
            return;
    }
}

// What the bar shows after entry `index` of `pass`, as ReportProgress computes it.
std::optional<uint32_t> Planner::Progress(ProgressPass pass, uint32_t index) const {
    if (plan_.progressTotal == 0) return std::nullopt;
    return ProgressPercent(ProgressPosition(pass, counts_, index), plan_.progressTotal);
}

// Why the uninstaller would skip a built path, or nothing. `relative`: it begins with the
// install folder, whose length is unknown unless given.
std::optional<std::string> Planner::SkipReason(const std::string& path, bool relative) const {
    if ((!relative || InstallDirKnown()) && !FitsPathBuffer(path)) {
        return "does not fit " + std::to_string(kPathLimit) + " characters (" + std::to_string(path.size()) +
               ")";
    }
    if (!relative && !IsAbsolutePath(path)) return "not an absolute path";
    return std::nullopt;
}

// The folder token that `folder` begins with, when it stands for a folder of the machine (not
// #InstallDir#, which is the install folder).
std::optional<std::string> Planner::MachineToken(const std::string& folder) {
    auto token = LeadingToken(folder);
    if (!token || !IsKnownToken(*token) || EqualsNoCase(*token, "#InstallDir#")) return std::nullopt;
    return token;
}

// Why the uninstaller would skip the entry path `path` built from the stored `folder`, or nothing.
// A path that begins with a folder token is measured as it is on a typical machine.
std::optional<std::string> Planner::EntrySkipReason(const std::string& folder,
                                                    const std::string& path) const {
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

// Notes what the folder token that begins `folder` stands for, with `path` on a typical machine.
void Planner::NoteToken(PlanItem& item, const std::string& folder, const std::string& path) const {
    auto token = MachineToken(folder);
    if (!token) return;
    item.typicalPath = show_(TypicalPath(path, options_.nt));
    item.notes.push_back(show_(*token) + " is looked up on the machine; on a typical " + plan_.platform +
                         " machine: " + item.typicalPath);
    // The 64-bit folder tokens differ between the two kinds of NT machine.
    std::string ordinary = options_.nt ? Typical32BitWindowsPath(path) : "";
    if (!ordinary.empty()) item.notes.push_back("on 32-bit Windows: " + show_(ordinary));
}

// The path shown for an entry whose folder token is unknown (the builder gives nothing for it).
std::string Planner::Stored(const std::string& folder, const std::string& name) {
    if (name.empty()) return folder;
    return folder + (folder.empty() || folder.back() == '\\' ? "" : "\\") + name;
}

// Why the folder passes refuse `folder` as a network spelling, or nothing (the rule is shared
// with the uninstaller: removal/entry_paths.h).
std::optional<std::string> Planner::NetworkRefusal(const std::string& folder) const {
    if (!IsRefusedNetworkFolder(installDir_.c_str(), folder.c_str())) return std::nullopt;
    if (IsVerbatimOrDevicePath(folder)) return "refused: a \\\\?\\ or \\\\.\\ path cannot be checked";
    return std::string(
        "refused: a network path may reach any folder, a protected one too; folders are removed "
        "only on the share the installation lives on");
}

void Planner::Start() {
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
        PlanItem item{
            Index("files", i), "check in use", show_(path.empty() ? Stored(f.folder, f.name) : path), {}, {}};
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
        item.notes.push_back("arguments: " +
                             (command.arguments.empty() ? std::string("(none)") : show_(command.arguments)));
        item.notes.push_back(command.tokenForm ? "folder tokens are expanded on the machine"
                                               : "relative to the install folder");
        item.notes.push_back((b_.settings->flags & kSettingsWaitForRun) ? "waits until it ends"
                                                                        : "does not wait");
        item.notes.push_back("not run with /X alone");
        if (!command.absolute) {
            item.action = LogWordText(LogWord::kSkip);
            item.notes.insert(item.notes.begin(),
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

std::string Planner::Message(int number) const {
    return static_cast<size_t>(number) < b_.messages.size() ? b_.messages[number] : std::string();
}

void Planner::Closing() {
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
                               " deletes the uninstaller once it has exited, then removes " + show_(folder) +
                               " if it is empty",
                           "not with /S or /X, nor after Cancel"},
                          {}});
    pass.items.back().target = "uninstaller";
}

// What the run is to do with each item, from its action (in the plan's words: the log's
// results say what came of it).
void Planner::SetOutcomes(Plan& plan) {
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

}  // namespace pack
