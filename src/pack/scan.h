// `uninstpack scan`: a manifest skeleton for the files and folders of an installed image.
#pragma once

#include <optional>
#include <string>
#include <vector>

#include "pack/manifest.h"

namespace pack {

struct ScanOptions {
    std::string dir;             // the installed image: the install folder's contents
    std::string installDirName;  // the product's name in the messages; default: the folder's name
    std::string uninstaller = "uninstall.exe";  // left out: the uninstaller deletes itself
    int codePage = kDefaultCodePage;
    // Written as the manifest's "unattended" when given (true: no run waits for the questions).
    std::optional<bool> unattended = std::nullopt;
    // The folder below the Programs menu that the installer puts its shortcuts in ("Vendor\Product"),
    // or empty for none: each of `shortcuts` (default: the product's name + ".lnk") becomes a shortcut
    // entry in "#Programs#\<folder>" ("#AllUsersPrograms#\..." with `allUsers`), whose level count
    // climbs through the folder's own parts but not into the Programs menu.
    std::string startMenuFolder = {};
    std::vector<std::string> shortcuts = {};
    bool allUsers = false;
};

// Lists the image as relative entries (".\Sub"), sorted by name; each folder entry comes before
// its files and subfolders, so the file pass, which walks the list from its end, reaches it after
// them. Only the messages that name the product are set; the others keep the English defaults,
// which the JSON leaves out (JsonOptions). Fails, with the reason in `error`, when the folder cannot
// be read or the product's name does not fit the code page. Symbolic links, names Windows cannot
// hold and names the code page cannot hold are left out and named in `skipped`; `notes` holds
// what the author should look at (a file that looks like another uninstaller).
[[nodiscard]] bool ScanInstallation(const ScanOptions& options, Manifest& manifest,
                                    std::vector<std::string>& skipped, std::vector<std::string>& notes,
                                    std::string& error);

}  // namespace pack
