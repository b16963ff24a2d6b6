// `uninstpack plan`: the ordered list of what an uninstaller's run would do with its block, pass
// by pass, with every path built as the passes build it (see plan_paths.h).
#pragma once

#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "format/block_writer.h"

namespace pack {

struct PlanOptions {
    bool nt = true;                         // the NT family (else 9x)
    std::optional<std::string> installDir;  // unknown: paths show "#InstallDir#\"
    std::string uninstallerName = "uninstall.exe";
};

struct PlanItem {
    PlanItem() = default;
    PlanItem(std::string entry, std::string action, std::string path, std::vector<std::string> notes,
             std::optional<uint32_t> progress)
        : entry(std::move(entry)),
          action(std::move(action)),
          path(std::move(path)),
          notes(std::move(notes)),
          progress(progress) {}

    std::string entry;  // the entry's JSON path ("files[3]"), empty for steps of the run itself
    // "delete", "remove folder", "skip", ...: the removal log's words (removal/log_words.h) for the
    // actions it writes, plus the plan's steps that are no item of a log ("check in use", "stop",
    // "nothing", "show", "open", "self-delete").
    std::string action;
    std::string path;  // the path or key the action works on
    std::vector<std::string> notes;
    std::optional<uint32_t> progress;  // the percentage shown after the item, when a bar exists
    // For a path that begins with a folder token: the path on a typical machine of the family.
    std::string typicalPath;
    // The same in fields, for programs (plan --json). `outcome`, what the run is to do with the
    // item in the plan's own words (a removal log writes what came of it instead: "removed", "not
    // there", "kept: ..."): "remove", "skip", "keep" (a protected folder where a climb ends), "ask",
    // "check", "run", "show", "open", "none"; `target` what it acts on: "file", "folder", "files" (a
    // pattern's), "key", "value", "program", "message", "document", "uninstaller".
    std::string outcome = {};
    std::string target = {};
    std::optional<std::string> key = {};           // a value entry's key (with its root)
    std::optional<std::string> valueName = {};     // a value entry's value name ("" the default value)
    std::optional<std::string> folder = {};        // a pattern's folder
    std::optional<std::string> mask = {};          // a pattern's file mask
    std::optional<std::string> secondFolder = {};  // a shortcut climb's second folder
    std::optional<uint32_t> level = {};            // a shortcut climb: the step (0 the folder itself)
    std::optional<uint32_t> levels = {};           // a shortcut climb: the entry's level count
    std::optional<std::string> arguments = {};     // the run-first program's arguments
    std::vector<std::string> flags = {};           // a file entry's flags by name
    std::vector<int> messages = {};                // the messages the step may show (questions by number)
    std::optional<int> view = {};  // 64: a registry entry, or a shared file's count, of the 64-bit view
};

struct PlanPass {
    std::string name;
    std::string title;
    std::vector<std::string> notes;  // what holds for every item of the pass
    std::vector<PlanItem> items;
};

// The version of plan --json's layout: 2 added the fields of PlanItem after `progress`.
inline constexpr int kPlanFormatVersion = 2;

struct Plan {
    int codePage = 0;  // the code page the texts were read in (0: not said)
    std::string platform;
    std::string installDir;
    uint32_t progressTotal = 0;
    std::vector<PlanPass> passes;
};

// Texts of the block are in its code page; `show` turns one into UTF-8 for the plan.
using ShowText = std::function<std::string(const std::string&)>;

Plan BuildPlan(const format::Block& block, const PlanOptions& options, const ShowText& show);
std::string FormatPlanText(const Plan& plan);
std::string FormatPlanJson(const Plan& plan);

}  // namespace pack
