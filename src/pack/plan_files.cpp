#include "pack/manifest.h"
#include "pack/planner.h"
#include "removal/log_words.h"
#include "removal/pattern_guard.h"

namespace pack {

using namespace format;

void Planner::Files() {
    std::string readOnly =
        Message(kMsgReadOnlyQuestion).empty()
            ? "a read-only file goes without a question (message 9 is empty)"
            : "a read-only file makes message 9 ask (Yes, Yes to all, No, No to all), in every "
              "mode: /Q and /S runs wait for the answer too";
    PlanPass& pass = StartRemovalPass(
        LogWord::kFiles, "Installed files, from the last entry to the first",
        {"a file locked by a running program stays", readOnly, "a folder is removed only when it is empty",
         kLinkNote, "a file that is itself a junction or symbolic link is skipped"});
    pass.items.reserve(F_);
    for (uint32_t k = 0; k < F_; ++k) {
        size_t i = F_ - 1 - k;
        const auto& f = b_.files[i];
        std::string path = BuildEntryPath(installDir_, f.folder, f.name);
        PlanItem item{Index("files", i),
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
        bool view64 = (f.flags & kFileView64) != 0;
        if (view64) {
            item.view = 64;
            if (!skip && !options_.nt) skip = "64-bit view: left alone on 9x, which has one view only";
        }
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
                    "HKLM\\Software\\Microsoft\\Windows\\CurrentVersion\\SharedDLLs " +
                    std::string(view64 ? "(the 64-bit view on 64-bit Windows; on 32-bit Windows the entry is "
                                         "left alone) "
                                       : "") +
                    "goes down by one; removed only when it runs out, " +
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

void Planner::Patterns() {
    PlanPass& pass =
        StartRemovalPass(LogWord::kPatterns, "Clean-up patterns, each folder with all its subfolders",
                         {kLinkNote, "a file that is itself a junction or symbolic link is skipped"});
    for (size_t i = 0; i < b_.patterns.size(); ++i) {
        PatternPath p = PlanPatternPath(installDir_, b_.patterns[i]);
        if (p.hasTokens) ExpandInstallDirToken(p);
        PlanItem item{Index("patterns", i), LogWordText(LogWord::kClean), show_(p.full), {}, {}};
        item.target = "files";
        std::optional<std::string> skip;
        bool unclosed = false;
        for (const auto& t : TokensOf(b_.patterns[i], &unclosed)) {
            if (!IsKnownToken(t)) skip = "unknown token " + show_(t) + " leaves a path that is not absolute";
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
            item.notes.push_back("deletes files matching " + show_(p.mask) + " in it and every subfolder");
            item.notes.push_back("removes each folder of the tree that is then empty, the folder itself too");
            if (p.hasTokens) item.notes.push_back("folder tokens are expanded on the machine");
        }
        pass.items.push_back(std::move(item));
    }
}

// The install folder is the one folder token the plan knows (or shows as "#InstallDir#"). The
// uninstaller expands it as every folder token: without its final backslash (a drive's root keeps
// it), so "#InstallDir#Logs" names a folder beside the installation, not one in it.
void Planner::ExpandInstallDirToken(PatternPath& p) const {
    static const std::string kToken = "#InstallDir#";
    std::string dir = installDir_;
    StripTrailingBackslash(dir);
    std::string full;
    for (size_t at = 0; at < p.full.size();) {
        if (p.full.size() - at >= kToken.size() && EqualsNoCase(p.full.substr(at, kToken.size()), kToken)) {
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

}  // namespace pack
