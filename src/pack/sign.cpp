#include "pack/sign.h"

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <vector>

#include "pack/image.h"
#include "pack/platform.h"
#include "pack/sign_system.h"

namespace pack {

namespace {

constexpr char kSignerVariable[] = "UNINSTPACK_OSSLSIGNCODE";

// The signing's own temporary folder (sign_system.h), removed with what the signing left in it:
// the signed file is only taken from there, and the caller writes it to the output.
class SigningFolder {
  public:
    SigningFolder() : made_(MakeSigningFolder(path_, why_)) {}
    ~SigningFolder() {
        if (made_) RemoveSigningFolder(path_);
    }
    SigningFolder(const SigningFolder&) = delete;
    SigningFolder& operator=(const SigningFolder&) = delete;

    bool ok() const { return made_; }
    const std::string& why() const { return why_; }
    std::string File(const char* name) const { return path_ + kFolderSeparator + name; }

  private:
    std::string path_;
    std::string why_;  // when it could not be made
    bool made_;
};

// True when the signed file is the image with a certificate table after it: every byte of the
// image as it was, except the checksum and the security directory entry that signing sets, then at
// most 7 zero bytes of alignment and the table, which ends the file. Signing must not move or
// change the block: the data-offset field points at it.
bool SignedAsBuilt(const format::Bytes& image, const format::Bytes& signedImage,
                   format::CertificateTable& table, std::string& why) {
    auto before = format::LocateDataOffsetField(image);
    auto after = format::LocateDataOffsetField(signedImage, &why);
    if (!before || !after) {
        why = "the signed file is no uninstaller: " + why;
        return false;
    }
    if (!after->certificates || after->certificates->size == 0 || before->certificatesEntry == 0) {
        why = "the signed file has no certificate table";
        return false;
    }
    table = *after->certificates;
    const uint64_t at = table.offset, end = uint64_t{table.offset} + table.size;
    if (signedImage.size() < image.size() || at < image.size() || at - image.size() >= 8 ||
        end != signedImage.size()) {
        why = "the certificate table (" + std::to_string(table.size) + " bytes at offset " +
              std::to_string(at) + ") does not directly follow the block and end the file";
        return false;
    }
    for (size_t i = 0; i < signedImage.size() && i < at; ++i) {
        bool setBySigning = (i >= before->checksumField && i < before->checksumField + 4) ||
                            (i >= before->certificatesEntry && i < before->certificatesEntry + 8);
        uint8_t was = i < image.size() ? image[i] : 0;
        if (!setBySigning && signedImage[i] != was) {
            why = "the signer changed the byte at offset " + std::to_string(i) + " of the uninstaller";
            return false;
        }
    }
    return true;
}

}  // namespace

std::optional<std::string> FindSigner(std::string& error) {
    std::optional<std::string> named = platform::Environment(kSignerVariable);
    if (named && !named->empty()) {
        if (IsExecutableFile(*named)) return named;
        error = std::string(kSignerVariable) + " names " + *named +
                ", which is no executable file: osslsigncode is " + "not installed there";
        return std::nullopt;
    }
    for (const auto& folder : SearchFolders()) {
        if (IsExecutableFile(folder + kProgramName)) return folder + kProgramName;
    }
    error = kNotFound;
    return std::nullopt;
}

bool SignImage(const format::Bytes& image, const SignOptions& options, const std::string& output,
               format::Bytes& signedImage, format::CertificateTable& signature, std::string& error) {
    auto signer = FindSigner(error);
    if (!signer) {
        error += SignerAdvice(output, options);
        return false;
    }
    SigningFolder folder;
    if (!folder.ok()) {
        error = "cannot create a temporary folder for signing: " + folder.why();
        return false;
    }
    std::string unsignedFile = folder.File(kUnsignedName);
    std::string signedFile = folder.File(kSignedName);
    std::string log = folder.File(kLogName);
    if (!WriteWholeFile(unsignedFile, image, false, error)) return false;
    std::vector<std::string> arguments = {*signer, "sign", "-pkcs12", options.certificate, "-h", "sha256"};
    if (options.passwordFile) arguments.insert(arguments.end(), {"-readpass", *options.passwordFile});
    if (options.timestampUrl) arguments.insert(arguments.end(), {"-ts", *options.timestampUrl});
    arguments.insert(arguments.end(), {"-in", unsignedFile, "-out", signedFile});
    std::string why;
    int code = RunProgram(arguments, log, why);
    if (code != 0) {
        std::string said;
        std::string ignored;
        if (ReadWholeFile(log, said, ignored)) {
            // A Windows signer ends its lines with CRLF; the packer's messages end them with LF.
            std::string lines;
            for (size_t i = 0; i < said.size(); ++i) {
                if (!(said[i] == '\r' && i + 1 < said.size() && said[i + 1] == '\n')) lines += said[i];
            }
            said = lines;
            while (!said.empty() && (said.back() == '\n' || said.back() == '\r')) said.pop_back();
        }
        error = "signing with " + options.certificate +
                " failed: " + (code < 0 ? why : *signer + " exited with " + std::to_string(code)) +
                (said.empty() ? std::string() : ":\n" + said) + "\nnothing written";
        return false;
    }
    std::string text;
    if (!ReadWholeFile(signedFile, text, error)) return false;
    signedImage.assign(text.begin(), text.end());
    if (!SignedAsBuilt(image, signedImage, signature, why)) {
        error = *signer + " did not sign the uninstaller as built (" + why + "); nothing written";
        return false;
    }
    return true;
}

}  // namespace pack
