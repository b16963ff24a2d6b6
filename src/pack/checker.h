// The checker behind `uninstpack check` (check.h), split by the manifest's lists: one file each for
// the files, shortcuts, registry, patterns, messages and settings, and check_paths.cpp for the path
// checks they share. Private to the packer's check_*.cpp files.
#pragma once

#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "pack/check.h"
#include "pack/codepage.h"
#include "pack/manifest.h"
#include "pack/plan_paths.h"

namespace pack {

// Without a known install folder, a relative path must leave at least this much room for one
// ("C:\Program Files\Vendor\Product\" is about 40 characters).
constexpr size_t kTypicalInstallDirLength = 48;
constexpr size_t kShortestInstallDirLength = 5;  // "C:\A\"

inline std::string Lower(std::string text) {
    for (char& c : text) {
        if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
    }
    return text;
}

inline std::string Trimmed(const std::string& path) {
    size_t first = path.find_first_not_of('\\');
    if (first == std::string::npos) return "";
    size_t last = path.find_last_not_of('\\');
    return path.substr(first, last - first + 1);
}

inline size_t Components(const std::string& path) {
    std::string t = Trimmed(path);
    if (t.empty()) return 0;
    size_t n = 1;
    for (size_t i = 0; i + 1 < t.size(); ++i) {
        if (t[i] == '\\' && t[i + 1] != '\\') ++n;
    }
    return n;
}

// Collects the findings about one manifest; each Check* method covers one list or part.
class Checker {
  public:
    Checker(const Manifest& manifest, const CheckOptions& options) : m_(manifest), options_(options) {
        std::string error;
        page_ = CodePage::Open(manifest.codePage, error);
        installDir_ = options.installDir ? NormalizeInstallDir(*options.installDir) : std::string();
    }

    std::vector<Finding> Run();

  private:
    void Error(const std::string& where, const std::string& message);
    // A warning has a name from kWarningNames, by which an entry's "accept" takes it.
    void Warn(const char* name, const std::string& where, const std::string& message);

    // A text of the block as UTF-8, quoted, for messages.
    std::string Show(const std::string& text) const;

    bool IsDoubleByteLead(unsigned char c) const;

    // Double-byte code pages: a character whose second byte is that of "\" is cut by the
    // uninstaller's byte-wise backslash scans.
    void CheckTrailBackslash(const std::string& where, const std::string& text);

    // A name the uninstaller acts on (`what`: "folder", "file name", "key", ...) that holds a control
    // character (tab, CR, LF or another below 0x20): Windows takes no such file name, and the
    // one-line findings, plan items and log lines that show it would break in two.
    void CheckControlCharacters(const std::string& where, const char* what, const std::string& text);

    // The components of a file entry's folder and name: ".." climbs; Windows drops a component's
    // trailing dots and spaces, so "..." and "name." name other folders than they say.
    void CheckComponents(const std::string& where, const std::string& folder, const std::string& name);

    // Checks the length of a built path; `relative` paths begin with the install folder.
    void CheckLength(const std::string& where, const std::string& what, const std::string& path,
                     bool relative);

    std::string InstallDir() const { return options_.installDir ? installDir_ : kUnknownInstallDir; }

    // A stored folder (`what`: "folder", "second folder") that begins with "#": it must begin with a
    // folder token the uninstaller knows, followed by a backslash or nothing. False, after an error,
    // when the uninstaller would skip the entry. A known token's name later in any folder is no
    // token: only the one at the start is expanded.
    bool CheckFolderToken(const std::string& where, const char* what, const std::string& folder);

    // True when `folder` begins with #InstallDir#: the install folder, whose length is measured as a
    // relative entry's is.
    static bool IsRelativeInstallToken(const std::string& folder);

    // True when `folder` begins with a token that names a folder of the machine (not #InstallDir#).
    static bool HasMachineToken(const std::string& folder);

    // A path that begins with a folder token, measured as it is on a typical NT machine.
    void CheckTokenLength(const std::string& where, const std::string& what, const std::string& path);

    void CheckFiles();
    // One file or folder entry whose folder begins with a token of the machine's folders, and one
    // whose folder does not. True for a file the uninstaller removes (its folders are then noted).
    bool CheckTokenFileEntry(const std::string& where, const format::FileSpec& f, const std::string& path);
    bool CheckFileEntry(const std::string& where, const format::FileSpec& f, const std::string& path);
    // A folder entry: flags it ignores, and a folder of the system's that it never removes.
    void CheckFolderEntry(const std::string& where, uint8_t flags, const std::string& path,
                          const std::optional<std::string>& shared);

    // A file of the system, or one that every program shares, is not the installation's to remove:
    // the Windows folder, the System folder and Windows's own folders are the system's (error);
    // Common Files and the Fonts folder are shared by every program (warning; a font the
    // installation added goes with the font flag, which removes it from the system first).
    void CheckSystemFile(const std::string& where, const std::string& path, uint8_t flags);

    void CheckClimb(const std::string& where, const char* which, const std::string& folder, uint32_t levels);

    void CheckShortcuts();
    // A second folder that names a shortcut file, or is a shared folder where a shortcut file is
    // expected to go: only the first folder has its shortcut file deleted.
    void CheckSecondFolder(const std::string& where, const format::ShortcutSpec& s, const std::string& second,
                           const std::string& judged);

    void CheckRegistry();

    void ErrorSystemTree(const std::string& where, const std::string& folder);

    void CheckPatterns();
    void CheckPattern(const std::string& where, const std::string& p);
    // What a well-formed pattern reaches: a protected, system or shared folder, or every file.
    void CheckPatternReach(const std::string& where, const std::vector<std::string>& tokens,
                           const PatternPath& path, const std::string& folderPart);

    void CheckMessages();
    // What an empty message `n` leaves the run without.
    void CheckEmptyMessage(size_t n, const std::string& where);

    // The two questions of the file pass are asked in every mode: a run with /S or /Q that a
    // deployment tool starts on a desktop nobody sees waits for ever. The manifest says which it wants.
    void CheckUnattended();

    // Messages the manifest gives beside a language: each replaces the table's text. The caption,
    // the confirmation and the closing message name the product and are the author's to write; any
    // other text, and an English default anywhere, hides a translation the table has.
    void CheckLanguageOverrides();
    // A multi-language manifest that gives the product's own texts for one language only.
    void CheckProductTexts();
    // "elevation": "user" runs with the user's rights: places only an administrator may change are
    // warned about.
    void CheckPerUserPlaces();

    void CheckSettings();

    const Manifest& m_;
    const CheckOptions& options_;
    std::unique_ptr<CodePage> page_;
    std::string installDir_;
    std::vector<Finding> findings_;
};

}  // namespace pack
