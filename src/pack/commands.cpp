#include "pack/commands.h"

#include <vector>

#include "pack/check.h"
#include "pack/image.h"
#include "pack/manifest.h"

namespace pack {

namespace {

// Reads and parses a manifest file, printing every problem; false when it cannot be used.
bool LoadManifest(const std::string& path, Manifest& manifest, FILE* err) {
    std::string text;
    std::string error;
    if (!ReadWholeFile(path, text, error)) {
        fprintf(err, "uninstpack: %s\n", error.c_str());
        return false;
    }
    std::vector<Problem> problems;
    if (ParseManifest(text, manifest, problems)) return true;
    for (const auto& p : problems) fprintf(err, "%s\n", DescribeProblem(path, p).c_str());
    return false;
}

// Prints the findings; returns the number of errors among them.
size_t PrintFindings(const std::string& path, const std::vector<Finding>& findings, FILE* err) {
    size_t errors = 0;
    for (const auto& f : findings) {
        fprintf(err, "%s\n", DescribeFinding(path, f).c_str());
        if (f.severity == Severity::kError) ++errors;
    }
    return errors;
}

}  // namespace

int RunBuild(const BuildOptions& options, FILE* out, FILE* err) {
    Manifest manifest;
    if (!LoadManifest(options.manifest, manifest, err)) return kExitFailure;
    auto findings = CheckManifest(manifest, {options.installDir});
    size_t errors = PrintFindings(options.manifest, findings, err);
    if (errors && !options.force) {
        fprintf(err, "uninstpack: %zu error%s in %s; nothing written (--force builds anyway)\n", errors,
                errors == 1 ? "" : "s", options.manifest.c_str());
        return kExitFailure;
    }
    std::string stub;
    std::string error;
    if (!ReadWholeFile(options.stub, stub, error)) {
        fprintf(err, "uninstpack: %s\n", error.c_str());
        return kExitFailure;
    }
    format::Bytes block = format::EncodeBlock(manifest.block);
    auto image = format::AttachBlock(format::Bytes(stub.begin(), stub.end()), block, &error);
    if (!image) {
        fprintf(err, "uninstpack: %s: %s\n", options.stub.c_str(), error.c_str());
        return kExitFailure;
    }
    if (!WriteWholeFile(options.output, *image, true, error)) {
        fprintf(err, "uninstpack: %s\n", error.c_str());
        return kExitFailure;
    }
    fprintf(out, "%s: %zu bytes; data block of %zu bytes at offset %zu (%zu files, %zu shortcuts, %zu registry entries, %zu patterns)\n",
            options.output.c_str(), image->size(), block.size(), stub.size(), manifest.block.files.size(),
            manifest.block.shortcuts.size(), manifest.block.registry.size(), manifest.block.patterns.size());
    return kExitOk;
}

int RunCheck(const CheckCommandOptions& options, FILE* out, FILE* err) {
    Manifest manifest;
    if (!LoadManifest(options.manifest, manifest, err)) return kExitFailure;
    auto findings = CheckManifest(manifest, {options.installDir});
    size_t errors = 0;
    for (const auto& f : findings) {
        fprintf(out, "%s\n", DescribeFinding(options.manifest, f).c_str());
        if (f.severity == Severity::kError) ++errors;
    }
    fprintf(out, "%s: %zu error%s, %zu warning%s\n", options.manifest.c_str(), errors, errors == 1 ? "" : "s",
            findings.size() - errors, findings.size() - errors == 1 ? "" : "s");
    return errors ? kExitFailure : kExitOk;
}

}  // namespace pack
