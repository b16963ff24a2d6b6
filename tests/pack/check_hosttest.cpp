// `uninstpack check`: each warning and error, on the entry that causes it.
#include "pack/check.h"

#include <algorithm>
#include <gtest/gtest.h>

#include "pack_support.h"

using namespace pack;

namespace {

std::vector<Finding> CheckJson(const std::string& json,
                               std::optional<std::string> installDir = std::nullopt) {
    Manifest m;
    std::string problems = pack_testing::Parse(json, m);
    EXPECT_EQ(problems, "") << json;
    return CheckManifest(m, {installDir});
}

std::string All(const std::vector<Finding>& findings) {
    std::string all;
    for (const auto& f : findings) all += DescribeFinding("m.json", f) + "\n";
    return all;
}

TEST(Check, TheSampleManifestIsClean) {
    std::string json = pack_testing::ReadText(pack_testing::SourceDir() + "/examples/sample-app.json");
    auto findings = CheckJson(json, "C:\\Program Files\\Example Co\\Uninst Demo");
    EXPECT_TRUE(findings.empty()) << All(findings);
}

TEST(Check, EachFindingNamesItsEntry) {
    std::string deep(200, 'd');
    struct Case {
        std::string json;
        const char* finding;  // "WHERE: error: TEXT" as printed
    } cases[] = {
        // Paths that do not fit 259 characters.
        {R"({"files": [{"folder": ".\\)" + deep + R"(", "name": ")" + std::string(60, 'n') + R"("}]})",
         "files[0]: error: the path takes 261 characters after the install folder: it cannot fit 259 with "
         "any install folder"},
        {R"({"files": [{"folder": ".\\)" + deep + R"(", "name": "abcdefghijklmnop.txt"}]})",
         "files[0]: warning[long-path]: the path takes 221 characters after the install folder, leaving 38 "
         "for it"},
        {R"({"files": [{"folder": "C:\\)" + deep + R"(", "name": ")" + std::string(60, 'n') + R"("}]})",
         "files[0]: error: the path is 264 characters long: the uninstaller skips it (at most 259)"},
        {R"({"shortcuts": [{"folder": "C:\\)" + deep + R"(", "name": ")" + std::string(60, 'n') + R"("}]})",
         "shortcuts[0]: error: the shortcut's path is 264 characters long"},
        {R"({"patterns": [")" + std::string(250, 'p') + R"(\\*.log"]})",
         "patterns[0]: error: the pattern's path takes 256 characters after the install folder"},
        // Entries that would be taken from the current directory.
        {R"({"files": [{"folder": "", "name": "version.dll"}]})", "files[0]: error: has no folder"},
        {R"({"files": [{"folder": "Sub", "name": "a.dll"}]})",
         "files[0]: error: folder \"Sub\" is neither absolute nor relative"},
        {R"({"files": [{"folder": ".\\..\\..", "name": "a.dll"}]})",
         "files[0]: error: the path climbs with \"..\""},
        {R"({"shortcuts": [{"folder": "", "name": "App.lnk"}]})", "shortcuts[0]: error: has no folder"},
        // Shortcut file names that are paths: the uninstaller skips them.
        {R"({"shortcuts": [{"folder": "C:\\Menu\\App", "name": "..\\..\\..\\victim\\x.ini"}]})",
         "shortcuts[0]: error: file name \"..\\..\\..\\victim\\x.ini\" is a path"},
        {R"({"shortcuts": [{"folder": "C:\\Menu\\App", "name": "../x.ini"}]})",
         "shortcuts[0]: error: file name \"../x.ini\" is a path"},
        {R"({"shortcuts": [{"folder": "C:\\Menu\\App", "name": ".."}]})",
         "shortcuts[0]: error: file name \"..\" is a path"},
        {R"({"shortcuts": [{"folder": "C:\\Menu\\App", "name": "C:x.lnk"}]})",
         "shortcuts[0]: error: file name \"C:x.lnk\" is a path"},
        {R"({"shortcuts": [{"folder": "", "name": "C:\\Menu\\App.lnk"}]})",
         "shortcuts[0]: error: file name \"C:\\Menu\\App.lnk\" is a path"},
        // Control characters in the names the uninstaller acts on: no Windows name holds one, and a
        // one-line finding, plan item or log line that shows it breaks.
        {R"({"files": [{"folder": ".\\Bin", "name": "a\tb.dll"}]})",
         "files[0]: error: file name holds a tab"},
        {R"({"files": [{"folder": ".\\Bin\r"}]})", "files[0]: error: folder holds a carriage return"},
        {R"({"shortcuts": [{"folder": "C:\\Menu", "name": "App\n.lnk"}]})",
         "shortcuts[0]: error: file name holds a line feed"},
        {R"({"shortcuts": [{"folder": "C:\\Menu", "secondFolder": "Ven\u0001dor", "name": "App.lnk"}]})",
         "shortcuts[0]: error: second folder holds the control character 0x01"},
        {R"({"registry": [{"root": "HKCU", "key": "Software\\Vendor\tApp"}]})",
         "registry[0]: error: key holds a tab"},
        {R"({"registry": [{"root": "HKCU", "key": "Software\\Vendor", "value": "Na\u001fme"}]})",
         "registry[0]: error: value name holds the control character 0x1F"},
        {R"({"patterns": ["Logs\\\u0007*.log"]})",
         "patterns[0]: error: pattern holds the control character 0x07"},
        // Registry entries that are skipped or name a whole root's Software or System key.
        {R"({"registry": [{"root": "HKCU", "key": "Software"}]})",
         "registry[0]: warning[skipped-key]: names HKCU\\Software itself: the uninstaller never removes it "
         "and skips the "
         "entry"},
        {R"({"registry": [{"root": "HKLM", "key": "SYSTEM\\"}]})",
         "registry[0]: error: key \"SYSTEM\\\" names HKLM's whole SYSTEM key under another spelling"},
        {R"({"registry": [{"root": "HKCR", "key": "\\"}]})",
         "registry[0]: error: key \"\\\" names HKCR's whole root key"},
        {R"({"registry": [{"root": "HKLM", "key": "Software\\Microsoft"}]})",
         "registry[0]: error: key \"Software\\Microsoft\" is one that Windows or every program needs: "
         "removing it with "
         "its subkeys breaks the machine"},
        {R"({"registry": [{"root": "HKCR", "key": "CLSID"}]})",
         "registry[0]: error: key \"CLSID\" is one that Windows"},
        {R"({"registry": [{"root": "HKPD", "key": "Software\\X\\Y"}]})",
         "registry[0]: error: HKPD is no key that can be removed"},
        {R"({"registry": [{"root": "HKCU", "key": "Software\\Vendor"}]})",
         "registry[0]: warning[vendor-key]: removes HKCU\\Software\\Vendor with every subkey"},
        // Keys whose deletion breaks the machine, under each root that reaches them.
        {R"({"registry": [{"root": "HKLM", "key": "SYSTEM\\CurrentControlSet"}]})",
         "registry[0]: error: key \"SYSTEM\\CurrentControlSet\" is one that Windows or every program needs"},
        {R"({"registry": [{"root": "HKLM", "key": "System\\CurrentControlSet\\Services"}]})",
         "registry[0]: error: key \"System\\CurrentControlSet\\Services\" is one that Windows"},
        {R"({"registry": [{"root": "HKLM", "key": "Software\\Classes\\CLSID"}]})",
         "registry[0]: error: key \"Software\\Classes\\CLSID\" is one that Windows"},
        {R"({"registry": [{"root": "HKCU", "key": "Software\\Classes\\CLSID"}]})",
         "registry[0]: error: key \"Software\\Classes\\CLSID\" is one that Windows"},
        {R"({"registry": [{"root": "HKLM", "key": "Software\\Microsoft\\Windows NT"}]})",
         "registry[0]: error: key \"Software\\Microsoft\\Windows NT\" is one that Windows"},
        {R"({"registry": [{"root": "HKLM", "key": "Software\\Wow6432Node\\Microsoft"}]})",
         "registry[0]: error: key \"Software\\Wow6432Node\\Microsoft\" is one that Windows"},
        {R"({"registry": [{"root": "HKLM", "key": "Software\\Microsoft\\Cryptography"}]})",
         "registry[0]: error: key \"Software\\Microsoft\\Cryptography\" is one that Windows"},
        {R"({"registry": [{"root": "HKU", "key": ".DEFAULT\\Software"}]})",
         "registry[0]: error: key \".DEFAULT\\Software\" is one that Windows"},
        {R"({"registry": [{"root": "HKLM", "key": "Software\\\\Microsoft\\Windows"}]})",
         "registry[0]: error: key \"Software\\\\Microsoft\\Windows\" holds a doubled backslash inside it"},
        {R"({"registry": [{"root": "HKLM", "key": "Software\\\\Microsoft\\Windows"}]})",
         "registry[0]: error: key \"Software\\\\Microsoft\\Windows\" is one that Windows"},
        {R"({"registry": [{"root": "HKCU", "key": "Software\\Vendor\\\\App", "value": "Path"}]})",
         "registry[0]: error: key \"Software\\Vendor\\\\App\" holds a doubled backslash inside it"},
        // Patterns that clean inside the system's own trees.
        {R"({"patterns": ["#System#\\drivers\\*.sys"]})",
         "patterns[0]: error: cleans in \"#System#\\drivers\", inside the system's own folders"},
        {R"({"patterns": ["#Windows#\\System32\\*.dll"]})",
         "patterns[0]: error: cleans in \"#Windows#\\System32\", inside the system's own folders"},
        {R"({"patterns": ["#Program Files#\\Common Files\\System\\*.dll"]})",
         "patterns[0]: error: cleans in \"#Program Files#\\Common Files\\System\", inside the system's own "
         "folders"},
        {R"({"patterns": ["#CommonFiles#\\Microsoft Shared\\*.dll"]})",
         "patterns[0]: error: cleans in \"#CommonFiles#\\Microsoft Shared\", inside the system's own "
         "folders"},
        // File entries: components that only look like climbs.
        {R"({"files": [{"folder": ".\\Data\\...", "name": "a"}]})",
         "files[0]: warning[trailing-dot]: component \"...\" is no climb, but Windows drops its trailing "
         "dots and spaces"},
        {R"({"files": [{"folder": "C:\\App.", "name": "a"}]})",
         "files[0]: warning[trailing-dot]: component \"App.\" ends in a dot or a space, which Windows drops"},
        // Patterns that reach outside the install folder or match in protected folders.
        {R"({"patterns": ["..\\..\\*.*"]})",
         "patterns[0]: error: climbs with \"..\": it reaches outside the install folder"},
        {R"({"patterns": ["C:\\Temp\\*.tmp"]})",
         "patterns[0]: error: is written as an absolute path without a token"},
        {R"({"patterns": ["#TempDir#\\*.tmp"]})",
         "patterns[0]: warning[protected-pattern]: #TempDir# is a protected folder: the uninstaller skips "
         "the pattern"},
        {R"({"patterns": ["#MyDocuments#\\*.*"]})",
         "patterns[0]: warning[protected-pattern]: #MyDocuments# is a protected folder: the uninstaller "
         "skips the pattern"},
        {R"({"patterns": ["#Windows#\\*.log"]})",
         "patterns[0]: warning[protected-pattern]: #Windows# is a protected folder: the uninstaller skips "
         "the pattern"},
        {R"({"patterns": ["#Nothing#System32\\*.dll"]})",
         "patterns[0]: error: token \"#Nothing#\" is unknown"},
        {R"({"patterns": ["#AppData#\\Microsoft\\Windows\\Start Menu\\Programs\\*.lnk"]})",
         "patterns[0]: warning[shared-pattern]: matches in \"#AppData#\\Microsoft\\Windows\\Start "
         "Menu\\Programs\", which "
         "looks like the Programs menu"},
        // A token glued to the text after it lengthens its folder's name: a folder beside it.
        {R"({"patterns": ["#InstallDir#Logs\\*.log"]})",
         "patterns[0]: error: folder token \"#InstallDir#\" is not followed by a backslash: the text after "
         "it lengthens the name of its folder, and the pattern cleans outside it (write "
         "\"#InstallDir#\\Logs\\*.log\")"},
        {R"({"patterns": ["#AppData#Vendor\\*.tmp"]})",
         "patterns[0]: error: folder token \"#AppData#\" is not followed by a backslash"},
        {R"({"patterns": ["#InstallDir#*.tmp"]})",
         "patterns[0]: error: folder token \"#InstallDir#\" is not followed by a backslash"},
        {R"({"patterns": ["Logs/*.txt"]})", "patterns[0]: error: holds \"/\""},
        {R"({"patterns": ["Logs\\.."]})", "patterns[0]: error: mask \"..\" is no file mask"},
        {R"({"patterns": ["Logs\\"]})", "patterns[0]: error: has no file mask after its last backslash"},
        {R"({"patterns": ["*.*"]})",
         "patterns[0]: warning[every-file]: deletes every file of the install folder and all its subfolders"},
        // Shortcut level counts that climb into shared menus.
        {R"({"shortcuts": [{"levels": 2, "folder": "C:\\ProgramData\\Microsoft\\Windows\\Start Menu\\Programs\\Vendor\\App"}]})",
         "shortcuts[0]: warning[climb-shared]: level count 2 climbs from the folder up to "
         "\"C:\\ProgramData\\Microsoft\\Windows\\Start Menu\\Programs\" (the Programs menu): at most 1 "
         "keeps"},
        {R"({"shortcuts": [{"levels": 3, "folder": "D:\\Apps\\Vendor\\Menu"}]})",
         "shortcuts[0]: warning[climb-shared]: level count 3 climbs from the folder up to \"D:\\Apps\" (a "
         "folder just "
         "below the drive's root): at most 1 keeps"},
        {R"({"shortcuts": [{"folder": "C:\\Users\\Public\\Desktop", "name": "App.lnk"}]})",
         "shortcuts[0]: warning[shared-shortcut-folder]: folder \"C:\\Users\\Public\\Desktop\" looks like a "
         "desktop folder"},
        // Messages with directives other than %s and %%, and texts that do not fit the buffer.
        {R"({"messages": {"badHeader": "Error %d in %s"}})", "messages.badHeader: error: holds %d beside %s"},
        {R"({"messages": {"progressFiles": "50% done"}})",
         "messages.progressFiles: warning[format-directive]: holds % : only %s and %% are directives"},
        {R"({"messages": {"readOnlyQuestion": "%s or %s?"}})",
         "messages.readOnlyQuestion: warning[repeated-placeholder]: holds %s 2 times"},
        {R"({"messages": {"caption": "Remove %s"}})",
         "messages.caption: warning[unused-placeholder]: holds %s, but this message is shown as it stands"},
        {R"({"messages": {"finished": "100%% done"}})",
         "messages.finished: warning[double-percent]: holds %% without %s"},
        {R"({"messages": {"sharedFileQuestion": ")" + std::string(800, 'x') + R"( %s"}})",
         "messages.sharedFileQuestion: warning[long-message]: takes 1060 bytes with a path of 259 "
         "characters: the message "
         "buffer holds 1023"},
        {R"({"messages": {"noMemory": ")" + std::string(1100, 'x') + R"("}})",
         "messages.noMemory: warning[long-message]: takes 1100 bytes"},
        {R"({"messages": {"readOnlyQuestion": ""}})",
         "messages.readOnlyQuestion: warning[empty-message]: is empty: every read-only listed file"},
        {R"({"messages": {"caption": ""}})",
         "messages.caption: warning[empty-message]: is empty: every box and dialog has an empty caption"},
        // Messages that replace the texts of the manifest's language.
        {R"({"language": "de", "messages": {"yes": "&Yes"}})",
         "messages.yes: warning[language-override]: is the English default text: it replaces the de table's "
         "\"&Ja\" (leave the message out"},
        {R"({"language": "de", "messages": {"caption": "Uninstall"}})",
         "messages.caption: warning[language-override]: is the English default text: it replaces the de "
         "table's \"Deinstallation\""},
        {R"({"language": "de", "messages": {"progressFiles": "Entferne Dateien..."}})",
         "messages.progressFiles: warning[language-override]: replaces the de table's \"Dateien werden "
         "entfernt...\" (leave the message out"},
        // Settings.
        {R"({"settings": {"runFirst": ""}})", "settings.runFirst: error: is empty"},
        {R"({"settings": {"waitForRun": true}})",
         "settings.waitForRun: warning[wait-without-run]: is set, but there is no runFirst program"},
        {R"({"settings": {"document": "readme.txt"}})",
         "settings.document: warning[document-kind]: is neither a web address"},
        {R"({"settings": {"runFirst": "\"tool.exe"}})",
         "settings.runFirst: warning[unclosed-quote]: begins with a double quote that is never closed"},
        // A program that is not a whole path once composed: the uninstaller does not run it.
        {R"({"settings": {"runFirst": "#Nothing#tool.exe"}})",
         "settings.runFirst: error: program \"tool.exe\" is not a whole path"},
        {R"({"settings": {"runFirst": "#Nothing#\\tool.exe /x"}})",
         "settings.runFirst: error: program \"\\tool.exe /x\" is not a whole path"},
        {R"({"settings": {"runFirst": "#Nothing#C:tool.exe"}})",
         "settings.runFirst: error: program \"C:tool.exe\" is not a whole path"},
        {R"({"settings": {"runFirst": "C:tool.exe"}})",
         "settings.runFirst: error: program \"#InstallDir#\\C:tool.exe\" is not a whole path"},
        {R"({"settings": {"runFirst": "#Windows#C:tool.exe"}})",
         "settings.runFirst: error: program \"#Windows#C:tool.exe\" is not a whole path"},
        // Files.
        {R"({"files": [{"folder": ".\\Data", "name": "a"}, {"folder": ".\\Data"}]})",
         "files[1]: warning[folder-order]: folder entry comes after files[0] inside it"},
        {R"({"files": [{"folder": ".\\Data", "flags": ["shared"]}]})",
         "files[0]: warning[folder-flags]: is a folder entry (no name): its flags are ignored"},
        {R"({"files": [{"folder": "C:\\Windows\\Fonts"}]})",
         "files[0]: warning[shared-folder-entry]: folder entry \"C:\\Windows\\Fonts\" looks like the Fonts "
         "folder"},
        {R"({"files": [{"folder": "..\\x", "name": "a"}]})",
         "files[0]: warning[dot-folder]: folder \"..\\x\" begins with \".\" but not \".\\\""},
        {R"({"codePage": 932, "files": [{"folder": ".\\表", "name": "a"}]})",
         "files[0]: warning[double-byte-backslash]: a double-byte character ends in the byte of \"\\\""},
        // Network and verbatim spellings, which may reach any folder past the protected test.
        {R"({"files": [{"folder": "\\\\host\\share\\Dir"}]})",
         "files[0]: warning[network-folder]: folder entry \"\\\\host\\share\\Dir\" is a network path outside "
         "the installation's share"},
        {R"({"files": [{"folder": "\\\\?\\C:\\Dir", "name": "a.txt"}]})",
         "files[0]: error: path \"\\\\?\\C:\\Dir\\a.txt\" uses the \\\\?\\ or \\\\.\\ namespace"},
        {R"({"shortcuts": [{"folder": "\\\\host\\share\\Menu", "name": "App.lnk"}]})",
         "shortcuts[0]: warning[network-folder]: folder \"\\\\host\\share\\Menu\" is a network path outside "
         "the installation's share"},
        {"{}", "warning[empty-manifest]: lists no files, shortcuts, registry entries or patterns"},
        // Files of the system, under each spelling of its folders; files every program shares.
        {R"({"files": [{"folder": "C:\\Windows\\System32", "name": "kernel32.dll"}]})",
         "files[0]: error: file \"C:\\Windows\\System32\\kernel32.dll\" is in the system's own folders"},
        {R"({"files": [{"folder": "C:\\WINDOWS", "name": "explorer.exe"}]})",
         "files[0]: error: file \"C:\\WINDOWS\\explorer.exe\" is in the system's"},
        {R"({"files": [{"folder": "D:\\WINNT\\system", "name": "old.drv"}]})",
         "files[0]: error: file \"D:\\WINNT\\system\\old.drv\" is in the system's"},
        {R"({"files": [{"folder": "C:\\Windows\\SysWOW64\\", "name": "msvcrt.dll", "flags": ["shared"]}]})",
         "files[0]: error: file"},
        {R"({"files": [{"folder": "C:\\Windows", "name": "system32/drivers/etc/hosts"}]})",
         "files[0]: error: file"},
        {R"({"files": [{"folder": "C:\\Program Files\\Common Files\\System\\ado", "name": "msado15.dll"}]})",
         "files[0]: error: file"},
        {R"({"files": [{"folder": "C:\\Program Files\\Internet Explorer", "name": "iexplore.exe"}]})",
         "files[0]: error: file"},
        {R"({"files": [{"folder": "C:\\", "name": "boot.ini"}]})",
         "files[0]: error: file \"C:\\boot.ini\" is in the system's"},
        {R"({"files": [{"folder": "C:\\Windows\\Fonts", "name": "vendor.ttf"}]})",
         "files[0]: warning[shared-file]: file \"C:\\Windows\\Fonts\\vendor.ttf\" is in the Fonts folder"},
        {R"({"files": [{"folder": "C:\\Program Files\\Common Files\\Vendor", "name": "engine.dll"}]})",
         "files[0]: warning[shared-file]: file \"C:\\Program Files\\Common Files\\Vendor\\engine.dll\" is in "
         "Common Files"},
        {R"({"files": [{"folder": "C:\\Program Files (x86)\\Common Files", "name": "x.dll"}]})",
         "files[0]: warning[shared-file]: file"},
        // Folder tokens at the start of entry folders: known ones only, followed by a backslash.
        {R"({"files": [{"folder": "#Nothing#\\App", "name": "a"}]})",
         "files[0]: error: folder \"#Nothing#\\App\": folder token \"#Nothing#\" is unknown, and the "
         "uninstaller skips the "
         "entry (known tokens: #Windows#, #System#, #TempDir#"},
        {R"({"files": [{"folder": "#AppData#Vendor", "name": "a"}]})",
         "files[0]: error: folder \"#AppData#Vendor\" begins with \"#\" but not with a folder token followed "
         "by a backslash"},
        {R"({"shortcuts": [{"folder": "#Programz#\\Vendor", "name": "App.lnk"}]})",
         "shortcuts[0]: error: folder \"#Programz#\\Vendor\": folder token \"#Programz#\" is unknown"},
        {R"({"shortcuts": [{"folder": "#Programs#\\Vendor", "secondFolder": "#Desk#\\Vendor", "name": "App.lnk"}]})",
         "shortcuts[0]: error: second folder \"#Desk#\\Vendor\": folder token \"#Desk#\" is unknown"},
        {R"({"shortcuts": [{"folder": "Vendor\\Menu", "name": "App.lnk"}]})",
         "shortcuts[0]: error: folder \"Vendor\\Menu\" is not an absolute path and begins with no folder "
         "token"},
        {R"({"files": [{"folder": "C:\\Data\\#AppData#", "name": "a"}]})",
         "files[0]: warning[token-in-name]: folder \"C:\\Data\\#AppData#\" holds \"#AppData#\" after its "
         "start: only a folder token at the start "
         "is expanded"},
        {R"({"files": [{"folder": "#..#\\x", "name": "a"}]})",
         "files[0]: error: folder \"#..#\\x\": folder token \"#..#\" is unknown"},
        {R"({"files": [{"folder": "#AppData#\\..\\Other", "name": "a"}]})",
         "files[0]: error: the path climbs with \"..\""},
        {R"({"files": [{"folder": "#Programs#"}]})",
         "files[0]: warning[shared-folder-entry]: folder entry \"#Programs#\" looks like the Programs menu, "
         "which the uninstaller never removes"},
        {R"({"files": [{"folder": "#AppData#\\)" + std::string(240, 'd') + R"(", "name": "a"}]})",
         "files[0]: warning[long-path]: the path is 274 characters long on a typical NT machine"},
        {R"({"files": [{"folder": "#AppData#\\)" + std::string(260, 'd') + R"(", "name": "a"}]})",
         "files[0]: error: the path takes 263 characters after its folder token: it cannot fit 259 with any "
         "folder"},
        {R"({"shortcuts": [{"levels": 2, "folder": "#Programs#\\Vendor\\App", "name": "App.lnk"}]})",
         "shortcuts[0]: warning[climb-shared]: level count 2 climbs from the folder up to \"#Programs#\" "
         "(the Programs menu): at most 1 keeps"},
        {R"({"shortcuts": [{"folder": "#AllUsersStartup#", "name": "App.lnk"}]})",
         "shortcuts[0]: warning[shared-shortcut-folder]: folder \"#AllUsersStartup#\" looks like the Startup "
         "folder"},
        {R"({"patterns": ["#Startup#\\*.lnk"]})",
         "patterns[0]: warning[protected-pattern]: #Startup# is a protected folder"},
        {R"({"patterns": ["#Nothing#\\*.dll"]})",
         "patterns[0]: error: token \"#Nothing#\" is unknown: it expands to nothing and leaves a path that "
         "is not absolute "
         "(known tokens: #Windows#, #System#"},
        {R"({"settings": {"runFirst": "#Nothing#\\x.exe"}})",
         "settings.runFirst: warning[unknown-token]: token \"#Nothing#\" is unknown: it "
         "expands to nothing (known tokens: #Windows#"},
        // A per-user uninstaller runs with the user's rights: per-machine places are warned about.
        {R"({"elevation": "user", "registry": [{"root": "HKLM", "key": "Software\\V\\A"}]})",
         "registry[0]: warning[per-machine]: HKLM is per-machine: with \"elevation\": \"user\" the "
         "uninstaller "
         "runs with the user's rights"},
        {R"({"elevation": "user", "files": [{"folder": "#Program Files#\\V", "name": "a"}]})",
         "files[0]: warning[per-machine]: its folder token #Program Files# is a per-machine place"},
        {R"({"elevation": "user", "files": [{"folder": "C:\\Program Files (x86)\\V", "name": "a"}]})",
         "files[0]: warning[per-machine]: its folder \"C:\\Program Files (x86)\\V\" is a per-machine place"},
        {R"({"elevation": "user", "files": [{"folder": ".\\", "name": "a.dll", "flags": ["shared"]}]})",
         "files[0]: warning[per-machine]: its flag shared counts it under HKLM's SharedDLLs"},
        {R"({"elevation": "user", "shortcuts": [{"folder": "#AllUsersPrograms#\\V", "name": "A.lnk"}]})",
         "shortcuts[0]: warning[per-machine]: its folder token #AllUsersPrograms# is a per-machine place"},
        {R"({"elevation": "user", "patterns": ["#AllUsersAppData#\\V\\*.log"]})",
         "patterns[0]: warning[per-machine]: its folder token #AllUsersAppData# is a per-machine place"},
        // The second folder is a folder: no shortcut file is deleted in it.
        {R"({"shortcuts": [{"folder": "#Programs#\\V", "secondFolder": "#Desktop#", "name": "App.lnk"}]})",
         "shortcuts[0]: warning[second-folder]: second folder \"#Desktop#\" looks like a desktop folder, "
         "which "
         "the uninstaller never removes; no \"App.lnk\" is deleted in it"},
        {R"({"shortcuts": [{"folder": "#Programs#\\V", "secondFolder": "#AllUsersPrograms#", "name": ""}]})",
         "shortcuts[0]: warning[second-folder]: second folder \"#AllUsersPrograms#\" looks like the Programs "
         "menu, which the uninstaller never removes; nothing is removed there"},
        {R"({"shortcuts": [{"folder": "#Programs#\\V", "secondFolder": "#Desktop#\\App.lnk", "name": "App.lnk"}]})",
         "shortcuts[0]: warning[second-folder]: second folder \"#Desktop#\\App.lnk\" ends in a shortcut's "
         "name"},
        {R"({"shortcuts": [{"folder": "C:\\Menu\\V", "secondFolder": "C:\\Other\\Help.url"}]})",
         "shortcuts[0]: warning[second-folder]: second folder \"C:\\Other\\Help.url\" ends in a shortcut's "
         "name"},
        // A shortcut directly in a desktop or Programs folder, with no level to climb.
        {R"({"shortcuts": [{"levels": 0, "folder": "#Desktop#", "name": "App.lnk"}]})",
         "shortcuts[0]: warning[shared-shortcut-folder]: folder \"#Desktop#\" looks like a desktop folder"},
        {R"({"shortcuts": [{"levels": 0, "folder": "#AllUsersPrograms#", "name": "App.lnk"}]})",
         "shortcuts[0]: warning[shared-shortcut-folder]: folder \"#AllUsersPrograms#\" looks like the "
         "Programs "
         "menu"},
        // Runs with /S and /Q stop at the questions the manifest leaves in.
        {R"({"files": [{"folder": ".\\", "name": "a.exe"}]})",
         "warning[unattended]: runs with /S and /Q still stop at the read-only question (message 9), for any "
         "listed file that is "
         "read-only and wait for an answer that no one may be there to give; add \"unattended\": true"},
        {R"({"files": [{"folder": ".\\", "name": "a.dll", "flags": ["shared"]}]})",
         "warning[unattended]: runs with /S and /Q still stop at the read-only question (message 9) and the "
         "shared-file "
         "question (message 10)"},
        {R"({"messages": {"readOnlyQuestion": ""}, "files": [{"folder": ".\\", "name": "a.dll", "flags": ["shared"]}]})",
         "warning[unattended]: runs with /S and /Q still stop at the shared-file question (message 10) and "
         "wait"},
    };
    const auto& names = WarningNames();
    for (const auto& c : cases) {
        auto findings = CheckJson(c.json);
        std::string all = All(findings);
        EXPECT_NE(all.find(std::string("m.json: ") + c.finding), std::string::npos)
            << c.json << "\n"
            << c.finding << "\n got: " << all;
        // Every warning has a name an entry can accept it by; errors have none.
        for (const auto& f : findings) {
            bool named = std::find(names.begin(), names.end(), f.name) != names.end();
            EXPECT_EQ(named, f.severity == Severity::kWarning) << DescribeFinding("m.json", f);
        }
    }
}

// "accept" on an entry takes the warnings it names about that entry, and nothing else.
TEST(Check, AnEntryAcceptsTheWarningsItNames) {
    struct Case {
        std::string json;
        std::string open;      // the findings left, as printed, one per line ("" none)
        std::string accepted;  // the findings accepted
    } cases[] = {
        {R"({"registry": [{"root": "HKCU", "key": "Software\\Vendor", "accept": ["vendor-key"]}]})", "",
         "registry[0]: warning[vendor-key]: removes HKCU\\Software\\Vendor with every subkey: every product "
         "stored under it goes too\n"},
        // Another entry's warning stays.
        {R"({"registry": [{"root": "HKCU", "key": "Software\\A", "accept": ["vendor-key"]}, {"root": "HKCU", "key": "Software\\B"}]})",
         "registry[1]: warning[vendor-key]: removes HKCU\\Software\\B with every subkey: every product "
         "stored under it goes too\n",
         "registry[0]: warning[vendor-key]: removes HKCU\\Software\\A with every subkey: every product "
         "stored under it goes too\n"},
        // Another warning of the same entry stays; errors cannot be accepted.
        {R"({"registry": [{"root": "HKCU", "key": "\\Software\\Vendor", "accept": ["key-backslash"]}]})",
         "registry[0]: warning[vendor-key]: removes HKCU\\Software\\Vendor with every subkey: every product "
         "stored under it goes too\n",
         "registry[0]: warning[key-backslash]: key \"\\Software\\Vendor\" begins or ends with a backslash; "
         "write it without\n"},
        {R"({"registry": [{"root": "HKLM", "key": "Software\\Microsoft", "accept": ["vendor-key"]}]})",
         "registry[0]: error: key \"Software\\Microsoft\" is one that Windows or every program needs: "
         "removing it with its "
         "subkeys breaks the machine (the uninstaller refuses it)\n",
         ""},
        {R"({"unattended": false, "settings": {"waitForRun": true, "accept": ["wait-without-run"]}, "files": [{"folder": ".\\", "name": "a"}]})",
         "",
         "settings.waitForRun: warning[wait-without-run]: is set, but there is no runFirst program to wait "
         "for\n"},
        {R"({"unattended": false, "messages": {"caption": "", "accept": ["empty-message"]}, "files": [{"folder": ".\\", "name": "a"}]})",
         "",
         "messages.caption: warning[empty-message]: is empty: every box and dialog has an empty caption\n"},
        {R"({"accept": ["empty-manifest"]})", "",
         "warning[empty-manifest]: lists no files, shortcuts, registry entries or patterns: the uninstaller "
         "removes nothing\n"},
        // A name that is no warning's is an error, with the nearest name.
        {R"({"unattended": false, "files": [{"folder": ".\\", "name": "a", "accept": ["vendr-key"]}]})",
         "files[0].accept[0]: error: \"vendr-key\" is no warning's name (did you mean \"vendor-key\"?) "
         "(docs/packer.md lists "
         "them; errors cannot be accepted)\n",
         ""},
    };
    for (const auto& c : cases) {
        Manifest m;
        ASSERT_EQ(pack_testing::Parse(c.json, m), "") << c.json;
        std::string open, accepted;
        for (const auto& f : CheckManifest(m, {}))
            (f.accepted ? accepted : open) += DescribeFinding("", f).substr(2) + "\n";
        EXPECT_EQ(open, c.open) << c.json;
        EXPECT_EQ(accepted, c.accepted) << c.json;
    }
}

// A manifest of several languages checked in each: the texts that name the product, given for one
// language only, are warned about once, whichever reading finds them.
TEST(Check, ProductTextsForOneLanguageOnly) {
    struct Case {
        std::string json;
        std::string finding;  // "" for none
    } cases[] = {
        {R"({"language": ["de", "fr"], "messages": {"caption": "Example App entfernen"}})",
         "messages.caption: warning[product-texts]: is one text for the languages the manifest offers: the "
         "de and "
         "fr builds show it as written, in one language"},
        {R"({"language": ["de", "fr", "ja"], "messagesByLanguage": {"de": {"confirm": "Entfernen?"}}})",
         "messagesByLanguage.de.confirm: warning[product-texts]: is given for de only: the fr and ja builds "
         "show the "
         "table's text, which does not name the product"},
        {R"({"language": ["de", "fr"], "messages": {"finished": "Done."}, "messagesByLanguage": {"de": {"finished": "Fertig."}}})",
         "messages.finished: warning[product-texts]: is one text for the languages the manifest offers: the "
         "fr build "
         "shows it"},
        {R"({"language": ["de", "fr"], "messagesByLanguage": {"de": {"caption": "A entfernen"}, "fr": {"caption": "Désinstaller A"}}})",
         ""},
        {R"({"language": ["de", "fr"], "messages": {"yes": "&Oui"}})", ""},
        {R"({"language": "de", "messages": {"caption": "Example App entfernen"}})", ""},
    };
    for (const auto& c : cases) {
        Manifest first;
        std::vector<Problem> ignored;
        (void)ParseManifest(c.json, first, ignored);
        std::vector<std::string> tags = first.offeredLanguages;
        std::string all;
        for (const auto& tag : tags) {
            Manifest m;
            std::vector<Problem> problems;
            ASSERT_TRUE(ParseManifest(c.json, m, problems, {tag})) << c.json;
            for (const auto& f : CheckManifest(m, {}))
                if (f.name == "product-texts") all += DescribeFinding("m.json", f) + "\n";
        }
        if (c.finding.empty()) {
            EXPECT_EQ(all, "") << c.json;
        } else {
            EXPECT_NE(all.find("m.json: " + c.finding), std::string::npos) << c.json << "\n got: " << all;
        }
    }
}

// Entries the checks once misjudged: none of these findings may appear.
TEST(Check, WhatTheEntryDoesNotDoIsNotReported) {
    struct Case {
        std::string json;
        const char* notFound;
    } cases[] = {
        // An empty folder with a full-path name builds a full path.
        {R"({"files": [{"folder": "", "name": "C:\\Vendor\\x.dll"}]})", "has no folder"},
        {R"({"files": [{"folder": "", "name": "\\\\server\\share\\x.dll"}]})", "current directory"},
        // "..." is no climb.
        {R"({"files": [{"folder": ".\\Data\\...", "name": "a"}]})", "climbs"},
        {R"({"files": [{"folder": "C:\\App", "name": "...\\a"}]})", "climbs"},
        {R"({"files": [{"folder": "...", "name": "a"}]})", "climbs"},
        // Per-user places in a per-user uninstaller; per-machine ones in another.
        {R"({"elevation": "user", "files": [{"folder": "#LocalAppData#\\Programs\\App", "name": "a.exe"}],
             "registry": [{"root": "HKCU", "key": "Software\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\App"}],
             "shortcuts": [{"folder": "#Programs#\\App", "name": "App.lnk"}]})",
         "per-machine"},
        {R"({"elevation": "highest", "registry": [{"root": "HKLM", "key": "Software\\V\\A"}]})",
         "per-machine"},
        {R"({"registry": [{"root": "HKLM", "key": "Software\\V\\A"}]})", "per-machine"},
        // A second folder that is the program's own.
        {R"({"shortcuts": [{"folder": "#Programs#\\V\\App", "secondFolder": "#AllUsersPrograms#\\V\\App", "name": "App.lnk"}]})",
         "second-folder"},
        // A program relative to the install folder, which is a whole path when the uninstaller runs.
        {R"({"settings": {"runFirst": "\"cleanup.exe\" /quiet"}})", "is not a whole path"},
        {R"({"settings": {"runFirst": "tools\\stop.exe"}})", "is not a whole path"},
        // Keys below the refused ones.
        {R"({"registry": [{"root": "HKLM", "key": "System\\CurrentControlSet\\Services\\MyDriver"}]})",
         "error"},
        {R"({"registry": [{"root": "HKCR", "key": "CLSID\\{00000000-1111-2222-3333-444444444444}"}]})",
         "error"},
        {R"({"registry": [{"root": "HKU", "key": ".DEFAULT\\Software\\Vendor\\App"}]})", "error"},
        {R"({"patterns": ["#Program Files#\\Vendor\\App\\*.log"]})", "error"},
        // Token entries are absolute once looked up; #InstallDir# is the install folder.
        {R"({"files": [{"folder": "#AppData#\\Vendor", "name": "a.ini"}]})", "files[0]: error"},
        {R"({"files": [{"folder": "#InstallDir#\\Bin", "name": "a.dll"}]})", "files[0]: error"},
        {R"({"shortcuts": [{"levels": 1, "folder": "#AllUsersPrograms#\\Vendor\\App", "name": "App.lnk"}]})",
         "shortcuts[0]"},
        {R"({"shortcuts": [{"folder": "#InstallDir#\\Menu", "name": "App.lnk"}]})", "shortcuts[0]: error"},
        // The questions: no warning without a file that could be asked about, nor once the choice is made.
        {R"({"files": [{"folder": ".\\Data"}], "registry": [{"root": "HKCU", "key": "Software\\V\\A"}]})",
         "unattended"},
        {R"({"unattended": false, "files": [{"folder": ".\\", "name": "a.dll", "flags": ["shared"]}]})",
         "unattended"},
        {R"({"unattended": true, "files": [{"folder": ".\\", "name": "a.dll", "flags": ["shared"]}]})",
         "warning"},
        {R"({"messages": {"readOnlyQuestion": "", "sharedFileQuestion": ""}, "files": [{"folder": ".\\", "name": "a.dll",
             "flags": ["shared"]}]})",
         "unattended: warning"},
        // "/" is a separator: "./Bin" appends to the install folder as ".\\Bin" does.
        {R"({"files": [{"folder": "./Bin", "name": "a"}]})", "begins with"},
        // A single file on a share keeps the rules every file has.
        {R"({"files": [{"folder": "\\\\host\\share\\Dir", "name": "a.txt"}]})", "network"},
        // The product's own caption, confirmation and closing message beside a language, a message
        // that says what the table says, and English texts without a language.
        {R"({"language": "de", "messages": {"caption": "Example App entfernen", "confirm": "Example App entfernen?",
             "finished": "Example App wurde entfernt."}})",
         "replaces"},
        {R"({"language": "de", "messages": {"yes": "&Ja"}})", "replaces"},
        {R"({"messages": {"yes": "&Yes", "progressFiles": "Removing files of Example App..."}})", "replaces"},
    };
    for (const auto& c : cases) {
        std::string all = All(CheckJson(c.json));
        EXPECT_EQ(all.find(c.notFound), std::string::npos) << c.json << "\n got: " << all;
    }
}

TEST(Check, SoundEntriesGiveNoFinding) {
    std::string json = R"({"unattended": false,
      "files": [{"folder": ".\\Data"}, {"folder": ".\\Data", "name": "a.dat"}, {"folder": "C:\\Shared", "name": "x.dll"},
                 {"folder": "C:\\Windows\\Fonts", "name": "vendor.ttf", "flags": ["font"]},
                 {"folder": "C:\\Program Files\\Common Files\\Vendor", "name": "engine.dll", "flags": ["shared"]},
                 {"folder": "C:\\Program Files\\Vendor\\Windows", "name": "a.dll"}],
      "shortcuts": [{"levels": 1, "folder": "C:\\ProgramData\\Microsoft\\Windows\\Start Menu\\Programs\\Vendor\\App", "name": "App.lnk"}],
      "registry": [{"root": "HKCU", "key": "Software\\Vendor\\App"}, {"root": "HKLM", "key": "Software\\Microsoft\\Windows\\CurrentVersion\\Run", "value": "App"}],
      "patterns": ["Logs\\*.log", "#AppData#\\Vendor\\App\\*.tmp"],
      "messages": {"readOnlyQuestion": "%s is read-only (100%% sure). Remove it?"},
      "settings": {"waitForRun": true, "runFirst": "\"#System#\\cmd.exe\" /c echo", "document": "https://example.com/"}})";
    auto findings = CheckJson(json, "C:\\Program Files\\Vendor\\App");
    EXPECT_TRUE(findings.empty()) << All(findings);
}

TEST(Check, AKnownInstallFolderIsMeasuredExactly) {
    std::string json = R"({"unattended": false, "files": [{"folder": ".\\)" + std::string(200, 'd') +
                       R"(", "name": "x.txt"}]})";
    EXPECT_TRUE(CheckJson(json, "C:\\Short").empty()) << All(CheckJson(json, "C:\\Short"));
    auto deep = All(CheckJson(json, "C:\\" + std::string(60, 'i')));
    EXPECT_NE(deep.find("files[0]: error: the path is 270 characters long"), std::string::npos) << deep;
}

TEST(Check, TheRealPackerExitsOneOnErrors) {
    pack_testing::TempFolder dir;
    std::string clean = dir.File("clean.json"), bad = dir.File("bad.json");
    pack_testing::WriteText(clean, R"({"unattended": true, "files": [{"folder": ".\\", "name": "a.exe"}]})");
    pack_testing::WriteText(
        bad,
        R"({"unattended": false, "files": [{"folder": ".\\", "name": "a.exe"}], "patterns": ["#Nothing#\\*.*"]})");
    auto ok = pack_testing::RunPacker("check '" + clean + "'");
    EXPECT_EQ(ok.exitCode, 0) << ok.out << ok.err;
    // Findings and the summary go to standard error, as a compiler's do; standard output stays empty.
    EXPECT_NE(ok.err.find("clean.json: 0 errors, 0 warnings"), std::string::npos) << ok.err;
    EXPECT_EQ(ok.out, "");
    auto fail = pack_testing::RunPacker("check '" + bad + "'");
    EXPECT_EQ(fail.exitCode, 1);
    EXPECT_NE(fail.err.find("bad.json: patterns[0]: error: token \"#Nothing#\" is unknown"),
              std::string::npos)
        << fail.err;
    EXPECT_NE(fail.err.find("bad.json: 1 error, 0 warnings"), std::string::npos) << fail.err;
    EXPECT_EQ(fail.out, "");
    EXPECT_EQ(pack_testing::RunPacker("check").exitCode, 2);
}

}  // namespace
