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
    std::string uninstallerName = "uninst.exe";
};

struct PlanItem {
    PlanItem() = default;
    PlanItem(std::string entry, std::string action, std::string path, std::vector<std::string> notes,
             std::optional<uint32_t> progress)
        : entry(std::move(entry)), action(std::move(action)), path(std::move(path)), notes(std::move(notes)),
          progress(progress) {}

    std::string entry;   // the entry's JSON path ("files[3]"), empty for steps of the run itself
    std::string action;  // "delete", "remove folder", "skip", ...
    std::string path;    // the path or key the action works on
    std::vector<std::string> notes;
    std::optional<uint32_t> progress;  // the percentage shown after the item, when a bar exists
    // For a path that begins with a folder token: the path on a typical machine of the family.
    std::string typicalPath;
};

struct PlanPass {
    std::string name;
    std::string title;
    std::vector<std::string> notes;  // what holds for every item of the pass
    std::vector<PlanItem> items;
};

struct Plan {
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
