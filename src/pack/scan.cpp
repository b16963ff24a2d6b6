#include "pack/scan.h"

#include <algorithm>
#include <filesystem>
#include <string_view>
#include <system_error>

#include "pack/plan_paths.h"
#include "pack/platform.h"

namespace pack {

namespace fs = std::filesystem;

namespace {

bool LessNoCase(const std::string& a, const std::string& b) {
    return std::lexicographical_compare(a.begin(), a.end(), b.begin(), b.end(), [](char x, char y) {
        auto lower = [](char c) { return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c; };
        return lower(x) < lower(y);
    });
}

// Why Windows cannot hold `name` as one file or folder name, or null. A Linux name may hold "\\",
// which the uninstaller reads as a folder separator, and other characters Windows refuses or reads
// otherwise; Windows drops trailing dots and spaces and opens devices for reserved names.
const char* NotAWindowsName(const std::string& name) {
    if (name.find('\\') != std::string::npos)
        return "its name holds \"\\\", which Windows reads as a folder separator";
    for (unsigned char c : name) {
        if (c < 0x20 || std::string_view("/:*?\"<>|").find(static_cast<char>(c)) != std::string_view::npos) {
            return "its name holds a character Windows does not allow in names (/ : * ? \" < > | or a "
                   "control character)";
        }
    }
    if (name.back() == '.' || name.back() == ' ')
        return "its name ends in a dot or a space, which Windows drops";
    std::string stem = name.substr(0, name.find('.'));
    while (!stem.empty() && stem.back() == ' ') stem.pop_back();
    static const char* const kDevices[] = {"CON",  "PRN",  "AUX",  "NUL",  "COM1", "COM2", "COM3", "COM4",
                                           "COM5", "COM6", "COM7", "COM8", "COM9", "LPT1", "LPT2", "LPT3",
                                           "LPT4", "LPT5", "LPT6", "LPT7", "LPT8", "LPT9"};
    for (const char* device : kDevices) {
        if (EqualsNoCase(stem, device))
            return "its name is that of a device, which Windows opens instead of a file";
    }
    return nullptr;
}

class Scanner {
  public:
    Scanner(const ScanOptions& options, const CodePage& page, format::Block& block,
            std::vector<std::string>& skipped, std::vector<std::string>& notes)
        : options_(options), page_(page), block_(block), skipped_(skipped), notes_(notes) {}

    // `relative` is the folder below the image, with backslashes ("" for the image itself).
    bool Walk(const fs::path& folder, const std::string& relative, std::string& error) {
        std::vector<std::string> files;
        std::vector<std::string> folders;
        std::error_code ec;
        for (fs::directory_iterator it(folder, ec), end; !ec && it != end; it.increment(ec)) {
            std::string name = platform::Utf8FromPath(it->path().filename());
            auto status = it->symlink_status(ec);
            if (ec) break;
            std::string shown = (relative.empty() ? "" : relative + "\\") + name;
            if (name.empty()) {
                // Windows names are UTF-16 and may hold a lone surrogate, which has no UTF-8 form.
                skipped_.push_back(shown + "? (its name is not valid Unicode)");
            } else if (fs::is_symlink(status) || platform::IsReparsePoint(it->path())) {
                // A link or junction leads out of the image: its files are not the product's.
                skipped_.push_back(shown + " (a symbolic link)");
            } else if (const char* why = NotAWindowsName(name)) {
                skipped_.push_back(shown + " (" + why + ")");
            } else if (fs::is_directory(status)) {
                folders.push_back(name);
            } else if (relative.empty() && EqualsNoCase(name, options_.uninstaller)) {
                // Windows matches names without case: listing the uninstaller under another spelling
                // would have the file pass delete the running program.
                continue;
            } else {
                files.push_back(name);
            }
        }
        if (ec) {
            error = "cannot read " + platform::Utf8FromPath(folder) + ": " + ec.message();
            return false;
        }
        std::sort(files.begin(), files.end(), LessNoCase);
        std::sort(folders.begin(), folders.end(), LessNoCase);
        std::string entryFolder;
        // The folder's own name was converted before Walk was called for it.
        std::string ignored;  // only whether it converts matters here
        if (!Convert(".\\" + relative, entryFolder, ignored)) return false;
        if (!relative.empty()) block_.files.push_back({entryFolder, "", 0});
        auto shown = [&relative](const std::string& name) {
            return (relative.empty() ? "" : relative + "\\") + name;
        };
        for (const auto& name : files) {
            if (relative.empty() && LooksLikeAnUninstaller(name)) {
                notes_.push_back(
                    name + " looks like an uninstaller, but the uninstaller is " + options_.uninstaller +
                    ": it is listed, so if it is the one, its file pass would delete the running program "
                    "(give --uninstaller " +
                    name + ")");
            }
            std::string converted, why;
            if (!Convert(name, converted, why)) {
                skipped_.push_back(shown(name) + " (" + why + ")");
                continue;
            }
            block_.files.push_back({entryFolder, converted, 0});
        }
        for (const auto& name : folders) {
            std::string converted, why;
            if (!Convert(name, converted, why)) {
                skipped_.push_back(shown(name) + " with everything in it (" + why + ")");
                continue;
            }
            if (!Walk(folder / platform::PathFromUtf8(name), shown(name), error)) return false;
        }
        return true;
    }

  private:
    bool Convert(const std::string& utf8, std::string& out, std::string& why) {
        return page_.FromUtf8(utf8, out, why);
    }

    // Other installers' and older habits' names for the uninstaller: "uninst.exe", "unins000.exe".
    static bool LooksLikeAnUninstaller(const std::string& name) {
        return name.size() > 9 && EqualsNoCase(name.substr(0, 5), "unins") &&
               EqualsNoCase(name.substr(name.size() - 4), ".exe");
    }

    const ScanOptions& options_;
    const CodePage& page_;
    format::Block& block_;
    std::vector<std::string>& skipped_;
    std::vector<std::string>& notes_;
};

// The shortcut entries of --start-menu-folder: one per shortcut, in the folder below the Programs
// menu; the level count climbs through the folder's own parts ("Vendor\Product": 1, up to Vendor).
bool AddStartMenuShortcuts(const ScanOptions& options, const std::string& product, const CodePage& page,
                           format::Block& block, std::string& error) {
    if (options.startMenuFolder.empty()) {
        if (!options.shortcuts.empty())
            error = "--shortcut names a shortcut of --start-menu-folder, which is not given";
        return options.shortcuts.empty();
    }
    std::string folder = options.startMenuFolder;
    for (char& c : folder) {
        if (c == '/') c = '\\';
    }
    while (!folder.empty() && folder.back() == '\\') folder.pop_back();
    size_t parts = 0;
    for (size_t at = 0; at <= folder.size();) {
        size_t end = folder.find('\\', at);
        if (end == std::string::npos) end = folder.size();
        std::string part = folder.substr(at, end - at);
        if (part.empty() || part == "." || part == ".." || NotAWindowsName(part)) {
            error = "--start-menu-folder \"" + options.startMenuFolder +
                    "\": give the folder below the Programs menu, such as \"Vendor\\Product\", with names "
                    "Windows can hold";
            return false;
        }
        ++parts;
        at = end + 1;
    }
    std::vector<std::string> names = options.shortcuts;
    if (names.empty()) names.push_back(product + ".lnk");
    std::string stored;
    std::string why;
    if (!page.FromUtf8(std::string(options.allUsers ? "#AllUsersPrograms#\\" : "#Programs#\\") + folder,
                       stored, why)) {
        error = "--start-menu-folder: " + why;
        return false;
    }
    for (const auto& name : names) {
        if (name.find_first_of("\\/") != std::string::npos || NotAWindowsName(name)) {
            error = "--shortcut \"" + name + "\": give the shortcut's file name, such as \"Product.lnk\"";
            return false;
        }
        std::string convertedName;
        if (!page.FromUtf8(name, convertedName, why)) {
            error = "--shortcut \"" + name + "\": " + why;
            return false;
        }
        block.shortcuts.push_back({static_cast<uint8_t>(parts - 1), stored, "", convertedName});
    }
    return true;
}

}  // namespace

bool ScanInstallation(const ScanOptions& options, Manifest& manifest, std::vector<std::string>& skipped,
                      std::vector<std::string>& notes, std::string& error) {
    std::error_code ec;
    if (!fs::is_directory(platform::PathFromUtf8(options.dir), ec)) {
        error = options.dir + " is not a folder";
        return false;
    }
    if (options.uninstaller.empty() || options.uninstaller.find_first_of("\\/:") != std::string::npos) {
        error = "--uninstaller \"" + options.uninstaller +
                "\": give the file name alone (the uninstaller stands in the install folder it removes)";
        return false;
    }
    auto page = CodePage::Open(options.codePage, error);
    if (!page) return false;
    manifest = Manifest{};
    manifest.codePage = options.codePage;
    format::Block& block = manifest.block;
    std::string name = options.installDirName;
    if (name.empty()) {
        fs::path folder = fs::absolute(platform::PathFromUtf8(options.dir), ec).lexically_normal();
        if (folder.filename().empty()) folder = folder.parent_path();
        name = platform::Utf8FromPath(folder.filename());
    }
    block.messages.assign(kDefaultMessages, kDefaultMessages + format::kMessageCount);
    std::string caption, confirm, finished;
    const auto message = CodePage::Use::kMessage;
    if (!page->FromUtf8(name + " Uninstall", caption, error, message) ||
        !page->FromUtf8("Remove " + name + " and all of its components?", confirm, error, message) ||
        !page->FromUtf8(name + " was removed.", finished, error, message)) {
        error = "--install-dir-name: " + error;
        return false;
    }
    block.messages[format::kMsgCaption] = caption;
    block.messages[format::kMsgConfirm] = confirm;
    block.messages[format::kMsgFinished] = finished;
    if (options.unattended) {
        manifest.unattended = options.unattended;
        if (*options.unattended) {
            block.messages[format::kMsgReadOnlyQuestion].clear();
            block.messages[format::kMsgSharedFileQuestion].clear();
        }
    }
    if (!AddStartMenuShortcuts(options, name, *page, block, error)) return false;
    return Scanner(options, *page, block, skipped, notes)
        .Walk(platform::PathFromUtf8(options.dir), "", error);
}

}  // namespace pack
