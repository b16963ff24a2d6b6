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
    // The words the log writes for passes and actions, from its own table.
    std::set<std::string> logPasses, logActions;
    for (LogWord w :
         {LogWord::kStart, LogWord::kRunFirst, LogWord::kFiles, LogWord::kPatterns, LogWord::kShortcutFiles,
          LogWord::kShortcutFolders, LogWord::kProgramFolders, LogWord::kRegistry}) {
        logPasses.insert(LogWordText(w));
    }
    for (LogWord w : {LogWord::kDelete, LogWord::kRemoveFolder, LogWord::kClean, LogWord::kDeleteKey,
                      LogWord::kDeleteValue, LogWord::kSkip, LogWord::kAsk, LogWord::kRun}) {
        logActions.insert(LogWordText(w));
    }
    // Both ways: every word of the log is in this plan, and every word of the plan is the log's or
    // one of the plan's own steps, which a log has no line for.
    const std::set<std::string> planOnlyPasses = {"closing"};
    const std::set<std::string> planOnlySteps = {"check in use", "stop", "nothing",
                                                 "show",         "open", "self-delete"};
    for (const std::string& w : logPasses)
        EXPECT_EQ(passes.count(w), 1u) << "pass " << w << " is not the plan's";
    for (const std::string& w : logActions) {
        EXPECT_EQ(actions.count(w), 1u) << "action " << w << " is not the plan's";
    }
    for (const std::string& w : passes) {
        EXPECT_TRUE(logPasses.count(w) || planOnlyPasses.count(w)) << "the plan's pass " << w;
    }
    for (const std::string& w : actions) {
        EXPECT_TRUE(logActions.count(w) || planOnlySteps.count(w)) << "the plan's action " << w;
    }
    // The sample reaches the plan's own steps too, so the check above saw them.
    for (const char* w : {"check in use", "show", "self-delete"}) EXPECT_EQ(actions.count(w), 1u) << w;
}

}  // namespace
