#include "pack/cli_commands.h"
#include "pack/output_file.h"

namespace pack {

namespace {

// OUT for one language: "{lang}" stands for its tag.
std::string OutputFor(const std::string& output, const std::optional<std::string>& language) {
    std::string result = output;
    for (size_t at = result.find("{lang}"); language && at != std::string::npos;
         at = result.find("{lang}", at)) {
        result.replace(at, 6, *language);
        at += language->size();
    }
    return result;
}

// Whether the checked manifest may be built as the options ask: nothing unreadable, no error (or
// --force), and one output per language. False, with the exit code in `exitCode` and the reason
// said on `err`, when not.
bool MayBuild(const BuildOptions& options, const CheckedManifest& checked, FindingReport& report, FILE* err,
              int& exitCode) {
    std::string shown = ShownName(options.manifest);
    bool several = checked.runs.size() > 1;
    bool named = options.output.find("{lang}") != std::string::npos;
    bool unreadable = false;
    for (const auto& run : checked.runs) unreadable = unreadable || !run.readable;
    if (report.errors() || report.warnings() || unreadable || options.reporting.verbose)
        report.Summary(shown);
    exitCode = kExitFailure;
    if (unreadable) {
        fprintf(err, "uninstpack: %s cannot be built as it is; nothing written\n", shown.c_str());
        return false;
    }
    if (report.Fails() && !options.force) {
        fprintf(err, "uninstpack: %zu error%s%s in %s; nothing written (--force builds anyway)\n",
                report.errors(), report.errors() == 1 ? "" : "s",
                options.reporting.werror && report.warnings() ? " or warnings (--werror)" : "",
                shown.c_str());
        return false;
    }
    exitCode = kExitUsage;
    if (several && !named) {
        fprintf(err,
                "uninstpack: %s offers %zu languages: name one with --language, or build them all with -o "
                "holding "
                "{lang} (for example -o 'uninstall-{lang}.exe'); nothing written\n",
                shown.c_str(), checked.runs.size());
        return false;
    }
    if (named && !checked.runs.front().language) {
        fprintf(err, "uninstpack: -o %s holds {lang}, but %s names no language; nothing written\n",
                options.output.c_str(), shown.c_str());
        return false;
    }
    return true;
}

// True, after saying so, when an output is one of the files the command reads.
bool OutputClashes(const BuildOptions& options, const CheckedManifest& checked, FILE* err) {
    std::vector<InputFile> inputs = {{"the manifest", options.manifest}, {"the stub", options.stub}};
    if (options.sign) {
        inputs.push_back({"the certificate", options.sign->certificate});
        if (options.sign->passwordFile) inputs.push_back({"the password file", *options.sign->passwordFile});
    }
    for (const auto& run : checked.runs) {
        std::string why;
        if (OutputClashesWithInput(OutputFor(options.output, run.language), inputs, why)) {
            fprintf(err, "uninstpack: %s; nothing written\n", why.c_str());
            return true;
        }
    }
    return false;
}

// The uninstaller's description in its version resource: its caption (message 0) as this
// language's reading gives it, which names the product where the manifest says so; the product's
// name when the caption is empty.
std::string Description(const Manifest& manifest) {
    std::string error;
    auto page = CodePage::Open(manifest.codePage, error);
    std::string caption;
    if (page && !manifest.block.messages.empty() && !page->ToUtf8(manifest.block.messages[0], caption, error))
        caption.clear();
    return caption;
}

// Builds, signs when asked, and writes the uninstaller of one language's reading.
bool BuildOne(const BuildOptions& options, const LanguageRun& run, const std::string& stub, FILE* out,
              FILE* err) {
    std::string output = OutputFor(options.output, run.language);
    const Manifest& manifest = run.manifest;
    std::string error;
    format::Bytes block = format::EncodeBlock(manifest.block);
    format::Bytes copy(stub.begin(), stub.end());
    // The stub as built requests administrator rights and has no version resource: only another
    // level or a product makes the packer write the copy's resources (without them the copy is the
    // stub byte for byte).
    if (manifest.elevation != Elevation::kAdministrator || manifest.product) {
        auto identified =
            ApplyIdentity(copy, manifest.elevation, manifest.product, Description(manifest), error);
        if (!identified) {
            fprintf(err, "uninstpack: %s: %s\n", ShownName(options.stub).c_str(), error.c_str());
            return false;
        }
        copy = std::move(*identified);
    }
    auto image = format::AttachBlock(copy, block, &error);
    if (!image) {
        fprintf(err, "uninstpack: %s: %s\n", ShownName(options.stub).c_str(), error.c_str());
        return false;
    }
    format::CertificateTable signature;
    format::Bytes signedImage;
    if (options.sign && !SignImage(*image, *options.sign, output, signedImage, signature, error)) {
        fprintf(err, "uninstpack: %s\n", error.c_str());
        return false;
    }
    const format::Bytes& written = options.sign ? signedImage : *image;
    bool toStandardOutput = OutputIsStandardOutput(output);
    if (!WriteOutputFile(output, written, true, error)) {
        fprintf(err, "uninstpack: %s\n", error.c_str());
        return false;
    }
    // The bytes on standard output are the uninstaller: what was built goes to the messages.
    FILE* said = toStandardOutput ? err : out;
    if (options.reporting.quiet) return true;
    std::string name = output == "-" ? "<stdout>" : output;
    fprintf(said,
            "%s: %zu bytes; data block of %zu bytes at offset %zu (%zu files, %zu shortcuts, %zu "
            "registry entries, %zu patterns)\n",
            name.c_str(), written.size(), block.size(), copy.size(), manifest.block.files.size(),
            manifest.block.shortcuts.size(), manifest.block.registry.size(), manifest.block.patterns.size());
    if (options.sign) fprintf(said, "%s: %s\n", name.c_str(), DescribeSignature(signature).c_str());
    return true;
}

}  // namespace

int RunBuild(const BuildOptions& options, FILE* out, FILE* err) {
    if (options.manifest == "-" && options.stub == "-") {
        fprintf(err, "uninstpack: the manifest and the stub cannot both be standard input\n");
        return kExitUsage;
    }
    FindingReport report(err, options.reporting);
    CheckedManifest checked =
        ReadCheckAndReport(options.manifest, options.language, options.installDir, report, err);
    if (checked.failed) return kExitFailure;
    int refused = kExitFailure;
    if (!MayBuild(options, checked, report, err, refused)) return refused;
    std::string stub;
    std::string error;
    if (!ReadWholeFile(options.stub, stub, error)) {
        fprintf(err, "uninstpack: %s\n", error.c_str());
        return kExitFailure;
    }
    // Every output is built and checked before the first is written.
    if (OutputClashes(options, checked, err)) return kExitFailure;
    for (const auto& run : checked.runs) {
        if (!BuildOne(options, run, stub, out, err)) return kExitFailure;
    }
    return kExitOk;
}

CommandWiring AddBuildCommand(CLI::App& app) {
    struct State {
        BuildOptions options;
        std::string installDir, language;
        SignOptions sign;
        std::string passwordFile, timestampUrl;
        CLI::Option* signWith = nullptr;
    };
    auto state = std::make_shared<State>();
    auto* command = app.add_subcommand(
        "build",
        "Builds an uninstaller: the manifest's data block appended to a copy of the stub. Runs the checks "
        "of `check` first and refuses errors unless --force is given.");
    command->add_option("MANIFEST", state->options.manifest, "the manifest (JSON; - reads standard input)")
        ->required();
    command->add_option("--stub", state->options.stub, "the uninstaller executable as built (uninst.exe)")
        ->required();
    command
        ->add_option("-o,--output", state->options.output,
                     "the uninstaller to write (- writes standard output; {lang} stands for the language's "
                     "tag, to build every language the manifest offers)")
        ->required();
    command->add_option("--install-dir", state->installDir, "measure path lengths with this install folder");
    command->add_option("--language", state->language,
                        "the language to build, among those the manifest's \"language\" list offers");
    command->add_flag("--force", state->options.force, "build even when the checks find errors");
    state->signWith = command->add_option(
        "--sign-with", state->sign.certificate,
        "sign the uninstaller with this PKCS#12 certificate (.pfx) using osslsigncode (on PATH, or named by "
        "UNINSTPACK_OSSLSIGNCODE)");
    command
        ->add_option("--password-file", state->passwordFile, "the file that holds the certificate's password")
        ->needs(state->signWith);
    command
        ->add_option("--timestamp", state->timestampUrl, "the address of an RFC 3161 time-stamping service")
        ->needs(state->signWith);
    AddReporting(command, state->options.reporting, true);
    return {command, [state] {
                BuildOptions options = state->options;
                if (!state->installDir.empty()) options.installDir = state->installDir;
                if (!state->language.empty()) options.language = state->language;
                if (*state->signWith) {
                    SignOptions sign = state->sign;
                    if (!state->passwordFile.empty()) sign.passwordFile = state->passwordFile;
                    if (!state->timestampUrl.empty()) sign.timestampUrl = state->timestampUrl;
                    options.sign = sign;
                }
                return RunBuild(options, stdout, stderr);
            }};
}

}  // namespace pack
