// The removal log and `uninstpack plan` name passes and actions with the same words, so that a
// script can put the plan of an uninstaller beside the log of its run.
#include "removal/log_words.h"

#include <gtest/gtest.h>
#include <set>
#include <string>

#include "pack/plan.h"
#include "pack_support.h"

using namespace format;
using namespace pack;

namespace {

TEST(LogWords, PassesAndActionsAreThePlansWords) {
    Block b;
    b.messages = {"Caption", "Remove?", "Done."};
    b.files = {{".\\Bin", "", 0},
               {".\\Bin", "a.dll", kFileShared | kFileMustBeFree},
               {".\\", std::string(300, 'x'), 0}};
    b.shortcuts = {{1, "C:\\Menu\\Vendor\\App", "", "App.lnk"}, {0, "C:\\Menu", "", "..\\x.lnk"}};
    b.registry = {{0x80000001u, "Software\\Vendor\\App"},
                  {0x80000001u, "Software\\Vendor\\\\Name"},
                  {0x80000001u, "Software"}};
    b.patterns = {"*.log"};
    b.settings = SettingsSpec{kSettingsWaitForRun, "\"setup.exe\" /remove", std::nullopt};
    PlanOptions options;
    options.installDir = "C:\\Tools\\App";
    Plan plan = BuildPlan(b, options, [](const std::string& text) { return text; });
    std::set<std::string> passes, actions;
    for (const PlanPass& pass : plan.passes) {
        passes.insert(pass.name);
        for (const PlanItem& item : pass.items) actions.insert(item.action);
    }
    for (LogWord w :
         {LogWord::kStart, LogWord::kRunFirst, LogWord::kFiles, LogWord::kPatterns, LogWord::kShortcutFiles,
          LogWord::kShortcutFolders, LogWord::kProgramFolders, LogWord::kRegistry}) {
        EXPECT_EQ(passes.count(LogWordText(w)), 1u) << "pass " << LogWordText(w) << " is not the plan's";
    }
    for (LogWord w : {LogWord::kDelete, LogWord::kRemoveFolder, LogWord::kClean, LogWord::kDeleteKey,
                      LogWord::kDeleteValue, LogWord::kSkip, LogWord::kAsk, LogWord::kRun}) {
        EXPECT_EQ(actions.count(LogWordText(w)), 1u) << "action " << LogWordText(w) << " is not the plan's";
    }
}

}  // namespace
