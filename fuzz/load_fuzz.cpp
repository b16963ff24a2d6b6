// libFuzzer target: any bytes as an uninstaller image or a bare data block. The block is found as
// `uninstpack dump` finds it (the data-offset field when the marker occurs once, else offset 0),
// loaded with the uninstaller's own loader through a memory stream; a block that loads is dumped,
// planned and checked as the packer does it, and a dump that the manifest can say in full must
// build the same block again.
#include <stdio.h>

#include <cstddef>
#include <cstdint>

#include "data/loader.h"
#include "data/uninstall_data.h"
#include "format/block_writer.h"
#include "pack/check.h"
#include "pack/commands.h"
#include "pack/image.h"
#include "pack/manifest.h"
#include "pack/plan.h"

namespace {

void ExerciseLoadedBlock(const UninstallData& data) {
    std::string json;
    std::vector<pack::Problem> problems, notes;
    bool dumped = pack::DumpLoadedData(data, 1252, json, problems, notes);

    format::Block block = pack::BlockFromData(data);
    pack::PlanOptions options;
    pack::ShowText show = [](const std::string& text) { return text; };
    pack::Plan plan = pack::BuildPlan(block, options, show);
    (void)pack::FormatPlanText(plan);
    (void)pack::FormatPlanJson(plan);
    pack::Manifest manifest;
    manifest.block = block;
    (void)pack::CheckManifest(manifest, {});

    if (!dumped || !notes.empty()) return;
    // What dump prints in full, build reads back to the same block.
    pack::Manifest parsed;
    std::vector<pack::Problem> parseProblems;
    if (!pack::ParseManifest(json, parsed, parseProblems)) __builtin_trap();
    if (format::EncodeBlock(parsed.block) != format::EncodeBlock(block)) __builtin_trap();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* bytes, size_t size) {
    if (size == 0) return 0;
    format::Bytes image(bytes, bytes + size);
    uint32_t offset = 0;
    if (auto field = format::FindDataOffsetField(image)) {
        offset = format::ReadU32(image.data() + *field);
    }
    FILE* file = fmemopen(image.data(), image.size(), "rb");
    if (!file) return 0;
    UninstallData data{};
    LoadFailure failure{};
    int code = LoadRecords(file, offset, data, &failure);
    fclose(file);
    if (code == 0) ExerciseLoadedBlock(data);
    FreeUninstallData(data);
    return 0;
}
