#include "pack/commands.h"

#include <cerrno>
#include <cstring>
#include <vector>

#include "pack/check.h"
#include "pack/image.h"
#include "pack/languages.h"
#include "pack/manifest.h"
#include "pack/plan.h"
#include "pack/scan.h"

namespace pack {

namespace {

// Reads and parses a manifest file, printing every problem; false when it cannot be used.
bool LoadManifest(const std::string& path, const std::optional<std::string>& language, Manifest& manifest,
                  FILE* err) {
    std::string text;
    std::string error;
    if (!ReadWholeFile(path, text, error)) {
        fprintf(err, "uninstpack: %s\n", error.c_str());
        return false;
    }
    std::vector<Problem> problems;
    if (ParseManifest(text, manifest, problems, {language})) return true;
    for (const auto& p : problems) fprintf(err, "%s\n", DescribeProblem(path, p).c_str());
    return false;
}

// The install folder given on the command line (UTF-8) in the code page of the texts it is joined
// with, so lengths count the bytes the uninstaller counts. False, with a message, when the code page
// cannot hold it.
bool InstallDirInCodePage(std::optional<std::string>& installDir, int codePage, FILE* err) {
    if (!installDir) return true;
    std::string error;
    auto page = CodePage::Open(codePage, &error);
    std::string converted;
    if (page && page->FromUtf8(*installDir, converted, &error)) {
        installDir = converted;
        return true;
    }
    fprintf(err, "uninstpack: --install-dir: %s\n", error.c_str());
    return false;
}

// Writes a command's result; false, with a message, when it cannot be written whole (a full disk
// must not pass for an empty result).
bool WriteOutput(FILE* out, const std::string& text, FILE* err) {
    errno = 0;
    bool ok = fwrite(text.data(), 1, text.size(), out) == text.size();
    ok = fflush(out) == 0 && ok && !ferror(out);
    if (!ok) fprintf(err, "uninstpack: cannot write the output: %s\n", errno ? strerror(errno) : "write error");
    return ok;
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
    if (!LoadManifest(options.manifest, options.language, manifest, err)) return kExitFailure;
    std::optional<std::string> installDir = options.installDir;
    if (!InstallDirInCodePage(installDir, manifest.codePage, err)) return kExitFailure;
    auto findings = CheckManifest(manifest, {installDir});
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
    size_t size = image->size();
    format::CertificateTable signature;
    bool written = options.sign ? WriteSigned(options.output, *image, *options.sign, signature, size, error)
                                : WriteWholeFile(options.output, *image, true, error);
    if (!written) {
        fprintf(err, "uninstpack: %s\n", error.c_str());
        return kExitFailure;
    }
    fprintf(out, "%s: %zu bytes; data block of %zu bytes at offset %zu (%zu files, %zu shortcuts, %zu registry entries, %zu patterns)\n",
            options.output.c_str(), size, block.size(), stub.size(), manifest.block.files.size(),
            manifest.block.shortcuts.size(), manifest.block.registry.size(), manifest.block.patterns.size());
    if (options.sign) fprintf(out, "%s: %s\n", options.output.c_str(), DescribeSignature(signature).c_str());
    return kExitOk;
}

int RunCheck(const CheckCommandOptions& options, FILE* out, FILE* err) {
    Manifest manifest;
    if (!LoadManifest(options.manifest, options.language, manifest, err)) return kExitFailure;
    std::optional<std::string> installDir = options.installDir;
    if (!InstallDirInCodePage(installDir, manifest.codePage, err)) return kExitFailure;
    auto findings = CheckManifest(manifest, {installDir});
    size_t errors = 0;
    std::string text;
    for (const auto& f : findings) {
        text += DescribeFinding(options.manifest, f) + "\n";
        if (f.severity == Severity::kError) ++errors;
    }
    size_t warnings = findings.size() - errors;
    text += options.manifest + ": " + std::to_string(errors) + (errors == 1 ? " error, " : " errors, ") +
            std::to_string(warnings) + (warnings == 1 ? " warning\n" : " warnings\n");
    if (!WriteOutput(out, text, err)) return kExitFailure;
    return errors ? kExitFailure : kExitOk;
}

}  // namespace pack

namespace pack {

namespace {

// Loads an uninstaller's block with the uninstaller's own loader, printing why when it fails.
bool LoadUninstaller(const std::string& path, int codePage, LoadedData& loaded, Manifest& manifest, FILE* err) {
    ImageLoad load = LoadImage(path, loaded);
    for (const auto& note : load.notes) fprintf(err, "uninstpack: %s: note: %s\n", path.c_str(), note.c_str());
    if (load.signature) fprintf(err, "uninstpack: %s: %s\n", path.c_str(), DescribeSignature(*load.signature).c_str());
    if (!load.error.empty() || load.code != 0) {
        fprintf(err, "uninstpack: %s\n", DescribeLoadFailure(path, load).c_str());
        return false;
    }
    manifest.codePage = codePage;
    manifest.block = BlockFromData(loaded.data);
    return true;
}

}  // namespace

bool DumpLoadedData(const UninstallData& data, int codePage, std::string& json, std::vector<Problem>& problems,
                    std::vector<Problem>& notes) {
    Manifest manifest;
    manifest.codePage = codePage;
    manifest.block = BlockFromData(data);
    return ManifestToJson(manifest, json, problems, notes);
}

int RunDump(const DumpOptions& options, FILE* out, FILE* err) {
    LoadedData loaded;
    Manifest manifest;
    if (!LoadUninstaller(options.uninstaller, options.codePage, loaded, manifest, err)) return kExitFailure;
    std::string json;
    std::vector<Problem> problems, notes;
    bool ok = ManifestToJson(manifest, json, problems, notes);
    for (const auto& n : notes) fprintf(err, "%s: note: %s\n", options.uninstaller.c_str(), (n.where + ": " + n.message).c_str());
    if (!ok) {
        for (const auto& p : problems) fprintf(err, "%s\n", DescribeProblem(options.uninstaller, p).c_str());
        return kExitFailure;
    }
    return WriteOutput(out, json, err) ? kExitOk : kExitFailure;
}

int RunPlan(const PlanCommandOptions& options, FILE* out, FILE* err) {
    LoadedData loaded;
    Manifest manifest;
    if (!LoadUninstaller(options.uninstaller, options.codePage, loaded, manifest, err)) return kExitFailure;
    std::string error;
    auto page = CodePage::Open(options.codePage, &error);
    if (!page) {
        fprintf(err, "uninstpack: --code-page: %s\n", error.c_str());
        return kExitFailure;
    }
    // Bytes that name no character are shown as "?": the plan is for reading.
    ShowText show = [&page](const std::string& text) {
        std::string utf8;
        if (page->ToUtf8(text, utf8, nullptr)) return utf8;
        utf8 = text;
        for (char& c : utf8) {
            if (static_cast<unsigned char>(c) >= 0x80) c = '?';
        }
        return utf8;
    };
    PlanOptions planOptions;
    planOptions.nt = options.nt;
    planOptions.installDir = options.installDir;
    // The uninstaller deletes itself under the name it has, which is this file's.
    size_t slash = options.uninstaller.find_last_of("/\\");
    planOptions.uninstallerName = slash == std::string::npos ? options.uninstaller : options.uninstaller.substr(slash + 1);
    if (!InstallDirInCodePage(planOptions.installDir, options.codePage, err)) return kExitFailure;
    Plan plan = BuildPlan(manifest.block, planOptions, show);
    std::string text = options.json ? FormatPlanJson(plan) : FormatPlanText(plan);
    return WriteOutput(out, text, err) ? kExitOk : kExitFailure;
}

int RunScan(const ScanCommandOptions& options, FILE* out, FILE* err) {
    ScanOptions scan{options.dir, options.installDirName, options.uninstaller, options.codePage};
    if (options.unattended) scan.unattended = true;
    scan.startMenuFolder = options.startMenuFolder;
    scan.shortcuts = options.shortcuts;
    scan.allUsers = options.allUsers;
    Manifest manifest;
    std::vector<std::string> skipped;
    std::string error;
    if (!ScanInstallation(scan, manifest, skipped, error)) {
        fprintf(err, "uninstpack: %s\n", error.c_str());
        return kExitFailure;
    }
    for (const auto& s : skipped) fprintf(err, "uninstpack: left out %s\n", s.c_str());
    std::string json;
    std::vector<Problem> problems, notes;
    if (!ManifestToJson(manifest, json, problems, notes)) {
        for (const auto& p : problems) fprintf(err, "%s\n", DescribeProblem(options.dir, p).c_str());
        return kExitFailure;
    }
    return WriteOutput(out, json, err) ? kExitOk : kExitFailure;
}

int RunLanguages(FILE* out, FILE* err) {
    const LanguageTables& tables = BuiltInLanguages();
    for (const auto& error : tables.errors) fprintf(err, "uninstpack: built-in language table %s\n", error.c_str());
    std::string text = "tag    code page  English name           native name\n";
    for (const Language& language : tables.languages) {
        char line[32];
        snprintf(line, sizeof line, "%-6s %-10d ", language.tag.c_str(), language.codePage);
        // Pad by characters, not bytes: "Norwegian Bokmål" is UTF-8.
        size_t width = 0;
        for (unsigned char c : language.englishName) width += (c & 0xC0) != 0x80;
        text += line + language.englishName + std::string(width < 22 ? 23 - width : 1, ' ') + language.nativeName + "\n";
    }
    if (!WriteOutput(out, text, err)) return kExitFailure;
    return tables.errors.empty() ? kExitOk : kExitFailure;
}

}  // namespace pack
