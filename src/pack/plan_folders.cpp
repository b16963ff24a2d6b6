#include "pack/manifest.h"
#include "pack/planner.h"
#include "removal/log_words.h"

namespace pack {

using namespace format;

void Planner::ShortcutFiles() {
    PlanPass& pass =
        StartRemovalPass(LogWord::kShortcutFiles, "Shortcut files",
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
            auto skip = LeadingToken(s.folder) ? EntrySkipReason(s.folder, path) : SkipReason(path, false);
            if (!skip && IsVerbatimOrDevicePath(path)) skip = "a \\\\?\\ or \\\\.\\ path cannot be checked";
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

void Planner::ShortcutFolders() {
    PlanPass& pass = StartRemovalPass(
        LogWord::kShortcutFolders, "Shortcut folders, climbing their level counts",
        {"each folder is removed only when it is empty; one that stays does not end the climb", kLinkNote});
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
            if (!shared && !step.secondFolder.empty()) shared = SharedFolderName(Judged(step.secondFolder));
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

void Planner::ProgramFolders() {
    PlanPass& pass = StartRemovalPass(
        LogWord::kProgramFolders, "Program folders, climbing while they are empty",
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
                run.entry =
                    run.entry.substr(0, run.entry.find("..") == std::string::npos ? run.entry.size() - 1
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

}  // namespace pack
