// The planner behind `uninstpack plan` (plan.h): one method per pass of the uninstaller, split
// across plan.cpp (the run's own steps), plan_files.cpp, plan_folders.cpp and plan_registry.cpp. The
// plan's text and JSON forms are plan_text.cpp and plan_json.cpp. Private to the packer's plan_*.cpp.
#pragma once

#include "pack/plan.h"
#include "pack/plan_paths.h"
#include "removal/passes.h"
#include "ui/progress.h"

namespace pack {

using format::Block;

inline std::string Index(const char* list, size_t i) {
    return std::string(list) + "[" + std::to_string(i) + "]";
}

// The bytes the items of a plan take at least, so an output of tens of megabytes is allocated once.
size_t PlanItemBytes(const Plan& plan, size_t perItem);

// Builds the plan of one block: each pass in the uninstaller's order, then the outcome of each item.
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

    Plan Run();

  private:
    PlanPass& Pass(const char* name, const std::string& title, std::vector<std::string> notes = {}) {
        plan_.passes.push_back({name, title, std::move(notes), {}});
        return plan_.passes.back();
    }

    // A removal pass of removal/passes.h: named by its word, titled `description` and the message
    // its progress dialog shows.
    PlanPass& StartRemovalPass(LogWord word, const char* description, std::vector<std::string> notes);

    // Plans the removal pass `word` (removal/passes.h).
    void PlanRemovalPass(LogWord word);

    // What the bar shows after entry `index` of `pass`, as ReportProgress computes it.
    std::optional<uint32_t> Progress(ProgressPass pass, uint32_t index) const;

    bool InstallDirKnown() const { return options_.installDir.has_value(); }

    // Why the uninstaller would skip a built path, or nothing. `relative`: it begins with the
    // install folder, whose length is unknown unless given.
    std::optional<std::string> SkipReason(const std::string& path, bool relative) const;

    static bool IsRelativeFolder(const std::string& folder) { return !folder.empty() && folder[0] == '.'; }

    // The folder token that `folder` begins with, when it stands for a folder of the machine (not
    // #InstallDir#, which is the install folder).
    static std::optional<std::string> MachineToken(const std::string& folder);

    // Why the uninstaller would skip the entry path `path` built from the stored `folder`, or nothing.
    // A path that begins with a folder token is measured as it is on a typical machine.
    std::optional<std::string> EntrySkipReason(const std::string& folder, const std::string& path) const;

    // The path as a check for shared folders sees it: a folder token as on a typical machine.
    std::string Judged(const std::string& path) const { return TypicalPath(path, options_.nt); }

    // Notes what the folder token that begins `folder` stands for, with `path` on a typical machine.
    void NoteToken(PlanItem& item, const std::string& folder, const std::string& path) const;
    // Notes the registry view of an entry the pass acts on (sets `item.view`); on the 9x family an
    // entry of the 64-bit view is skipped.
    void NoteView(PlanItem& item, bool view64) const;

    // The path shown for an entry whose folder token is unknown (the builder gives nothing for it).
    static std::string Stored(const std::string& folder, const std::string& name);

    // Why the folder passes refuse `folder` as a network spelling, or nothing (the rule is shared
    // with the uninstaller: removal/entry_paths.h).
    std::optional<std::string> NetworkRefusal(const std::string& folder) const;

    // The check each pass makes on the machine before it acts on a folder, which the plan cannot see.
    static constexpr const char* kLinkNote =
        "a folder reached through a junction or symbolic link below its root is skipped: the run compares "
        "each folder's "
        "final path with its root's (the install folder for its own folders, a folder token's folder, else "
        "the nearest "
        "protected folder above, else the drive); a link above the root is followed";

    void Start();

    std::string Message(int number) const;

    void Files();

    void Patterns();

    // The install folder is the one folder token the plan knows (or shows as "#InstallDir#"). The
    // uninstaller expands it as every folder token: without its final backslash (a drive's root keeps
    // it), so "#InstallDir#Logs" names a folder beside the installation, not one in it.
    void ExpandInstallDirToken(PatternPath& p) const;

    void ShortcutFiles();

    void ShortcutFolders();

    void ProgramFolders();

    // The registry pass refuses the whole Software or System key under any root and any spelling
    // ("Software\", "\System"): it compares the key normalised, as it deletes it.
    static bool NamesSoftwareOrSystem(const std::string& keyPath);

    void Registry();

    void Closing();

    // What the run is to do with each item, from its action (in the plan's words: the log's
    // results say what came of it).
    static void SetOutcomes(Plan& plan);

    const Block& b_;
    const PlanOptions& options_;
    const ShowText& show_;
    std::string installDir_;
    uint32_t F_ = 0, S_ = 0, R_ = 0;
    ProgressCounts counts_{};
    Plan plan_;
};

}  // namespace pack
