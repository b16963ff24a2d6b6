#include <cerrno>
#include <cstring>

#include "pack/cli_commands.h"
#include "pack/codepage.h"

namespace pack {

std::string ShownName(const std::string& path) {
    return path == "-" ? "<stdin>" : path;
}

void FindingReport::Add(const std::string& file, const Finding& finding) {
    if (finding.accepted) {
        ++accepted_;
        if (reporting_.verbose) fprintf(err_, "%s (accepted)\n", DescribeFinding(file, finding).c_str());
        return;
    }
    bool error = finding.severity == Severity::kError;
    ++(error ? errors_ : warnings_);
    if (error || !reporting_.quiet) fprintf(err_, "%s\n", DescribeFinding(file, finding).c_str());
}

void FindingReport::Summary(const std::string& file) {
    if (reporting_.quiet) return;
    std::string line = file + ": " + std::to_string(errors_) + (errors_ == 1 ? " error, " : " errors, ") +
                       std::to_string(warnings_) + (warnings_ == 1 ? " warning" : " warnings");
    if (accepted_) line += " (" + std::to_string(accepted_) + " accepted)";
    if (reporting_.werror && warnings_) line += "; --werror fails on warnings";
    fprintf(err_, "%s\n", line.c_str());
}

std::vector<Finding> CheckInstallDirArgument(const std::string& installDir) {
    std::vector<Finding> findings;
    // Windows reads "/" as "\": "C:/Apps" is absolute, only written otherwise.
    auto separator = [&installDir](size_t at) { return installDir[at] == '\\' || installDir[at] == '/'; };
    bool drive =
        installDir.size() >= 3 && installDir[1] == ':' && separator(2) &&
        ((installDir[0] >= 'A' && installDir[0] <= 'Z') || (installDir[0] >= 'a' && installDir[0] <= 'z'));
    bool unc = installDir.size() > 2 && separator(0) && separator(1);
    if (installDir.find('/') != std::string::npos) {
        findings.push_back(
            {Severity::kWarning, "",
             "\"" + installDir +
                 "\" holds \"/\": the uninstaller's paths use \"\\\", and its "
                 "climbs and checks see a \"/\" as part of a name (write C:\\Program Files\\...)",
             "install-dir"});
    }
    if (!drive && !unc) {
        findings.push_back({Severity::kWarning, "",
                            "\"" + installDir +
                                "\" is no absolute Windows path (a drive and \"\\\", or \\\\server\\share): "
                                "lengths and plans measured with it are not those of any installation",
                            "install-dir"});
    }
    return findings;
}

bool InstallDirInCodePage(std::optional<std::string>& installDir, int codePage, FILE* err) {
    if (!installDir) return true;
    std::string error;
    auto page = CodePage::Open(codePage, error);
    std::string converted;
    if (page && page->FromUtf8(*installDir, converted, error)) {
        installDir = converted;
        return true;
    }
    fprintf(err, "uninstpack: --install-dir: %s\n", error.c_str());
    return false;
}

bool WriteOutput(FILE* out, const std::string& text, FILE* err) {
    errno = 0;
    bool ok = fwrite(text.data(), 1, text.size(), out) == text.size();
    ok = fflush(out) == 0 && ok && !ferror(out);
    if (!ok)
        fprintf(err, "uninstpack: cannot write the output: %s\n", errno ? strerror(errno) : "write error");
    return ok;
}

}  // namespace pack
