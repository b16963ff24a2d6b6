// libFuzzer target: any bytes as an uninstaller image or a bare data block, and as a font file. The block is
// found as `uninstpack dump` finds it (the data-offset field of the .uninst section when the bytes are such
// an image, else offset 0), loaded with the uninstaller's own loader through a memory stream; a block that
// loads is dumped, planned and checked as the packer does it, and a dump that the manifest can say in full
// must build the same block again. The loaded entries also go through the path builder as the passes call it
// (path buffers) and as the packer calls it (whole paths): the two must agree, and a path that does not fit
// is refused, never cut. The same bytes also choose a random manifest (see tests/pack/random_manifest.h),
// which must keep the packer's property: accepted, it loads, and build -> dump -> build gives the same block
// and says the same entries.
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
#include "pack/plan_paths.h"
#include "pack/random_manifest.h"
#include "removal/entry_paths.h"
#include "removal/font_name.h"

namespace {

const char kInstall[] = "C:\\Program Files\\Vendor\\Application\\";

// A bounded build agrees with the packer's whole one: the same path when it fits, a refusal when not.
void ExpectSame(bool built, const char* bounded, const std::string& whole) {
    if (built != (whole.size() < kPathBufferSize)) __builtin_trap();
    if (built ? whole != bounded : bounded[0] != '\0') __builtin_trap();
}

void ExercisePathBuilders(const UninstallData& data) {
    char path[kPathBufferSize];
    // Folder tokens resolve as the packer shows them, on both sides.
    const std::string install = kInstall;
    FolderTokenResolver tokens = pack::ShownTokenResolver(&install);
    for (uint32_t i = 0; i < data.files.count; ++i) {
        const FileEntry& f = *data.files.items[i];
        // An unknown token refuses the entry on both sides.
        auto token = pack::LeadingToken(f.folder);
        if (f.folder[0] != '.' && token && !pack::IsKnownToken(*token)) {
            if (BuildEntryPath(kInstall, f.folder, f.fileName, path, sizeof(path), &tokens) ||
                !pack::BuildEntryPath(kInstall, f.folder, f.fileName).empty()) {
                __builtin_trap();
            }
            continue;
        }
        ExpectSame(BuildEntryPath(kInstall, f.folder, f.fileName, path, sizeof(path), &tokens), path,
                   pack::BuildEntryPath(kInstall, f.folder, f.fileName));
        ProgramFolderStart start =
            BuildProgramFolder(kInstall, f.folder, f.fileName, path, sizeof(path), &tokens);
        auto folder = pack::BuildProgramFolder(kInstall, f.folder, f.fileName);
        if (start == ProgramFolderStart::kFolder && (!folder || *folder != path)) __builtin_trap();
        if (start == ProgramFolderStart::kNoBackslash && folder) __builtin_trap();
    }
    for (uint32_t i = 0; i < data.shortcuts.count; ++i) {
        const ShortcutEntry& s = *data.shortcuts.items[i];
        ExpectSame(BuildShortcutPath(s.folder, s.fileName, path, sizeof(path)), path,
                   pack::BuildShortcutPath(s.folder, s.fileName));
        char first[kPathBufferSize];
        char second[kPathBufferSize];
        if (!CopyText(first, s.folder) || !CopyText(second, s.secondFolder)) continue;
        for (uint32_t level = 0; level < 300 && ClimbShortcutStep(first, second); ++level) {
        }
    }
    for (uint32_t i = 0; i < data.registry.count; ++i) {
        const char* keyPath = data.registry.items[i]->keyPath;
        RegistryPathSplit split = SplitRegistryPath(keyPath);
        if (split.keyLength > TextLength(keyPath)) __builtin_trap();
        (void)IsPredefinedRoot(data.registry.items[i]->rootKey, true);
    }
    for (const char* p = data.patterns; p && *p; p += TextLength(p) + 1) {
        if (PatternHasTokens(p)) continue;
        bool built = BuildPatternPath(kInstall, p, path, sizeof(path));
        pack::PatternPath whole = pack::PlanPatternPath(kInstall, p);
        ExpectSame(built, path, whole.full);
        if (built) {
            char* mask = SplitPatternPath(path);
            if ((mask != nullptr) != whole.split || (mask && (whole.mask != mask || whole.folder != path)))
                __builtin_trap();
        }
    }
    if (const char* command = SettingsCommand(data)) {
        (void)BuildRunFirstFolderCommand(kInstall, command, path, sizeof(path));
    }
}

void ExerciseLoadedBlock(const UninstallData& data) {
    ExercisePathBuilders(data);
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

// The bytes as the choices of a random manifest; once they run out every choice is 0.
void CheckManifestProperty(const uint8_t* bytes, size_t size) {
    size_t at = 0;
    pack_testing::Choose choose = [&](uint32_t bound) -> uint32_t {
        uint32_t value = 0;
        for (uint32_t range = 1; range < bound && at < size; range <<= 8) value = value << 8 | bytes[at++];
        return value % bound;
    };
    std::string broken = pack_testing::CheckBuildDumpBuild(pack_testing::RandomManifest(choose).Json());
    if (!broken.empty()) {
        fprintf(stderr, "load_fuzz: %s\n", broken.c_str());
        __builtin_trap();
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* bytes, size_t size) {
    if (size == 0) return 0;
    // The manifest property costs a few code-page conversions per input: every other input, so the
    // loader keeps most of the time.
    if (bytes[0] & 1) CheckManifestProperty(bytes + 1, size - 1);
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

    // The same bytes as a font file: the name reader stays inside the file and its buffer, and
    // never gives a name that would not fit with " (TrueType)".
    FILE* font = fmemopen(image.data(), image.size(), "rb");
    if (!font) return 0;
    char name[kFontNameBufferSize];
    ReadFontFullNameFrom(font, name);
    fclose(font);
    if (__builtin_strlen(name) > kFontNameMaxLength) __builtin_trap();
    return 0;
}
