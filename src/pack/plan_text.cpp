#include <cstdio>

#include "pack/planner.h"

namespace pack {

size_t PlanItemBytes(const Plan& plan, size_t perItem) {
    size_t total = 4096;
    for (const auto& pass : plan.passes) {
        for (const auto& item : pass.items) {
            total += perItem + item.entry.size() + item.action.size() + item.path.size();
            for (const auto& note : item.notes) total += note.size() + 16;
        }
    }
    return total;
}

std::string FormatPlanText(const Plan& plan) {
    std::string out;
    out.reserve(PlanItemBytes(plan, 16));
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

}  // namespace pack
