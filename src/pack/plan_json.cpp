#include "pack/json_text.h"
#include "pack/planner.h"

namespace pack {

namespace {

// A list of texts as a JSON array, after `lead` (which opens it: `, "notes": [`).
void AppendTextList(std::string& out, const char* lead, const std::vector<std::string>& texts) {
    out += lead;
    for (size_t n = 0; n < texts.size(); ++n) {
        if (n) out += ", ";
        AppendJsonString(out, texts[n]);
    }
    out += ']';
}

// One item as a JSON object: the fields that it has, in a fixed order.
void AppendItem(std::string& out, const PlanItem& item) {
    out += '{';
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
    if (!item.notes.empty()) AppendTextList(out, ", \"notes\": [", item.notes);
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
    if (!item.flags.empty()) AppendTextList(out, ", \"flags\": [", item.flags);
    if (item.view) out += ", \"view\": " + std::to_string(*item.view);
    if (!item.messages.empty()) {
        out += ", \"messages\": [";
        for (size_t n = 0; n < item.messages.size(); ++n)
            out += (n ? ", " : "") + std::to_string(item.messages[n]);
        out += ']';
    }
    out += '}';
}

}  // namespace

std::string FormatPlanJson(const Plan& plan) {
    std::string out;
    out.reserve(PlanItemBytes(plan, 64));
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
        AppendTextList(out, ", \"notes\": [", pass.notes);
        out += ",\n     \"items\": [";
        for (size_t i = 0; i < pass.items.size(); ++i) {
            out += i ? ",\n       " : "\n       ";
            AppendItem(out, pass.items[i]);
        }
        out += pass.items.empty() ? "]}" : "\n     ]}";
    }
    out += "\n  ]\n}\n";
    return out;
}

}  // namespace pack
