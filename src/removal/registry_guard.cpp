#include "removal/registry_guard.h"

#include "common/packed_texts.h"
#include "common/text.h"

namespace {

// Keys below Software (of HKLM, of HKCU, of a user in HKU, and of their Wow6432Node views) that
// Windows and every program share.
constexpr auto kSharedSoftwareKeys = PackTexts<
    "Microsoft", "Policies", "Policies\\Microsoft", "Policies\\Microsoft\\Windows", "Clients",
    "RegisteredApplications", "ODBC", "ODBC\\ODBC.INI", "ODBC\\ODBCINST.INI", "Microsoft\\Windows",
    "Microsoft\\Windows\\CurrentVersion", "Microsoft\\Windows\\CurrentVersion\\App Paths",
    "Microsoft\\Windows\\CurrentVersion\\Explorer",
    "Microsoft\\Windows\\CurrentVersion\\Explorer\\Shell Folders",
    "Microsoft\\Windows\\CurrentVersion\\Explorer\\User Shell Folders",
    "Microsoft\\Windows\\CurrentVersion\\Installer", "Microsoft\\Windows\\CurrentVersion\\Policies",
    "Microsoft\\Windows\\CurrentVersion\\Run", "Microsoft\\Windows\\CurrentVersion\\RunOnce",
    "Microsoft\\Windows\\CurrentVersion\\RunOnceEx", "Microsoft\\Windows\\CurrentVersion\\RunServices",
    "Microsoft\\Windows\\CurrentVersion\\RunServicesOnce", "Microsoft\\Windows\\CurrentVersion\\Setup",
    "Microsoft\\Windows\\CurrentVersion\\SharedDLLs", "Microsoft\\Windows\\CurrentVersion\\Shell Extensions",
    "Microsoft\\Windows\\CurrentVersion\\Shell Extensions\\Approved",
    "Microsoft\\Windows\\CurrentVersion\\Uninstall", "Microsoft\\Windows NT",
    "Microsoft\\Windows NT\\CurrentVersion", "Microsoft\\Windows NT\\CurrentVersion\\Fonts",
    "Microsoft\\Windows NT\\CurrentVersion\\FontSubstitutes",
    "Microsoft\\Windows NT\\CurrentVersion\\Image File Execution Options",
    "Microsoft\\Windows NT\\CurrentVersion\\ProfileList", "Microsoft\\Windows NT\\CurrentVersion\\Windows",
    "Microsoft\\Windows NT\\CurrentVersion\\Winlogon", "Microsoft\\Active Setup",
    "Microsoft\\Active Setup\\Installed Components", "Microsoft\\Command Processor", "Microsoft\\COM3",
    "Microsoft\\Cryptography", "Microsoft\\Internet Explorer", "Microsoft\\.NETFramework", "Microsoft\\Ole",
    "Microsoft\\Rpc", "Microsoft\\Shared Tools", "Microsoft\\SystemCertificates",
    "Microsoft\\Windows Defender">();

// Keys of a classes root (HKCR, Software\Classes) that every file type or COM object shares, and
// the types Windows starts programs and opens links through.
constexpr auto kSharedClassKeys = PackTexts<
    "CLSID", "Interface", "TypeLib", "AppID", "Installer", "MIME", "MIME\\Database",
    "MIME\\Database\\Content Type", "Protocols", "Protocols\\Handler", "Protocols\\Filter",
    "SystemFileAssociations", "Unknown", "*", "*\\shell", "*\\shellex", "*\\shellex\\ContextMenuHandlers",
    "*\\shellex\\PropertySheetHandlers", "AllFilesystemObjects", "AllFilesystemObjects\\shellex",
    "AllFilesystemObjects\\shellex\\ContextMenuHandlers", "Directory", "Directory\\shell",
    "Directory\\shellex", "Directory\\shellex\\ContextMenuHandlers", "Directory\\Background",
    "Directory\\Background\\shell", "Directory\\Background\\shellex",
    "Directory\\Background\\shellex\\ContextMenuHandlers", "Drive", "Drive\\shell", "Drive\\shellex",
    "Drive\\shellex\\ContextMenuHandlers", "Folder", "Folder\\shell", "Folder\\shellex",
    "Folder\\shellex\\ContextMenuHandlers", "exefile", "comfile", "batfile", "cmdfile", "piffile", "lnkfile",
    "dllfile", "regfile", "inifile", "txtfile", "htmlfile", "Msi.Package", "file", "ftp", "http", "https",
    "mailto", ".exe", ".com", ".bat", ".cmd", ".pif", ".lnk", ".dll", ".sys", ".msi", ".reg", ".scr", ".cpl",
    ".inf", ".ini", ".txt", ".htm", ".html", ".url">();

// Top-level keys of a user's hive (HKCU, HKU\<SID>) that Windows keeps.
constexpr auto kSharedUserKeys =
    PackTexts<"AppEvents", "Console", "Control Panel", "Control Panel\\Desktop",
              "Control Panel\\International", "Environment", "EUDC", "Identities", "Keyboard Layout",
              "Keyboard Layout\\Preload", "Network", "Printers", "RemoteAccess", "Software", "System",
              "Volatile Environment", "UNICODE Program Groups">();

// Keys below System\CurrentControlSet and System\ControlSetNNN.
constexpr auto kSharedControlSetKeys =
    PackTexts<"Control", "Control\\Class", "Control\\Lsa", "Control\\Network", "Control\\Nls",
              "Control\\Print", "Control\\Print\\Environments", "Control\\Print\\Monitors",
              "Control\\SafeBoot", "Control\\Session Manager", "Control\\Session Manager\\Environment",
              "Control\\Terminal Server", "Enum", "Hardware Profiles", "Policies", "Services",
              "Services\\EventLog", "Services\\EventLog\\Application", "Services\\EventLog\\System",
              "Services\\Tcpip", "Services\\Tcpip\\Parameters", "Services\\WinSock2",
              "Services\\WinSock2\\Parameters">();

// Keys directly below System that are no control set.
constexpr auto kSharedSystemKeys =
    PackTexts<"CurrentControlSet", "Select", "Setup", "MountedDevices", "WPA", "DriverDatabase">();

// When `path` begins with the whole components of `prefix`, the rest after its separator ("" when
// the path is the prefix itself); otherwise null.
const char* AfterPrefix(const char* path, const char* prefix) {
    size_t i = 0;
    for (; prefix[i] != '\0'; ++i) {
        if (AsciiUpper(path[i]) != AsciiUpper(prefix[i])) return nullptr;
    }
    if (path[i] == '\0') return path + i;
    return path[i] == '\\' ? path + i + 1 : nullptr;
}

// The rest after the first component, or null when the path has only one.
const char* AfterFirstComponent(const char* path) {
    for (; *path; ++path) {
        if (*path == '\\') return path + 1;
    }
    return nullptr;
}

// "ControlSet" and three digits, as the numbered control sets are named.
bool IsControlSetName(const char* name, size_t length) {
    static const char kStem[] = "ControlSet";
    constexpr size_t kStemLength = sizeof kStem - 1;
    if (length != kStemLength + 3) return false;
    for (size_t i = 0; i < kStemLength; ++i) {
        if (AsciiUpper(name[i]) != AsciiUpper(kStem[i])) return false;
    }
    for (size_t i = kStemLength; i < length; ++i) {
        if (name[i] < '0' || name[i] > '9') return false;
    }
    return true;
}

// `path` below a classes root.
bool IsSharedClassKey(const char* path) {
    if (*path == '\0') return true;
    // Wow6432Node below a classes root is the 32-bit view of the same classes.
    if (const char* view = AfterPrefix(path, "Wow6432Node")) {
        if (*view == '\0') return true;
        path = view;
    }
    return TextInPackedListNoCase(path, kSharedClassKeys);
}

// `path` below a root that holds a Software tree (HKLM, HKCU, a user of HKU).
bool IsSharedSoftwareKey(const char* path) {
    const char* rest = AfterPrefix(path, "Software");
    if (!rest) return false;
    if (*rest == '\0') return true;
    // Software\Wow6432Node is the 32-bit view of Software on 64-bit Windows.
    if (const char* view = AfterPrefix(rest, "Wow6432Node")) {
        if (*view == '\0') return true;
        rest = view;
    }
    if (const char* classes = AfterPrefix(rest, "Classes")) return IsSharedClassKey(classes);
    return TextInPackedListNoCase(rest, kSharedSoftwareKeys);
}

bool IsSharedSystemKey(const char* path) {
    const char* rest = AfterPrefix(path, "System");
    if (!rest) return false;
    if (*rest == '\0' || TextInPackedListNoCase(rest, kSharedSystemKeys)) return true;
    size_t length = 0;
    while (rest[length] != '\0' && rest[length] != '\\') ++length;
    bool controlSet = IsControlSetName(rest, length) || AfterPrefix(rest, "CurrentControlSet") != nullptr;
    if (!controlSet) return false;
    const char* inside = rest[length] == '\\' ? rest + length + 1 : rest + length;
    return *inside == '\0' || TextInPackedListNoCase(inside, kSharedControlSetKeys);
}

bool IsSharedUserKey(const char* path) {
    return *path == '\0' || TextInPackedListNoCase(path, kSharedUserKeys) || IsSharedSoftwareKey(path);
}

// HKLM, and the roots that mirror parts of it (HKCC, HKDD): every top-level key is a hive or a
// key of Windows (HARDWARE, SAM, SECURITY, SOFTWARE, SYSTEM, BCD00000000).
bool IsSharedMachineKey(const char* path) {
    return *path == '\0' || !ContainsByte(path, '\\') || IsSharedSoftwareKey(path) || IsSharedSystemKey(path);
}

// HKU: each top-level key is a user's hive (.DEFAULT, a SID) or a user's classes (SID_Classes).
bool IsSharedUsersKey(const char* path) {
    const char* rest = AfterFirstComponent(path);
    if (*path == '\0' || !rest) return true;
    static const char kClassesSuffix[] = "_Classes";
    constexpr size_t kSuffixLength = sizeof kClassesSuffix - 1;
    size_t first = static_cast<size_t>(rest - 1 - path);
    bool classes = first > kSuffixLength;
    for (size_t i = 0; classes && i < kSuffixLength; ++i) {
        classes = AsciiUpper(path[first - kSuffixLength + i]) == AsciiUpper(kClassesSuffix[i]);
    }
    return classes ? IsSharedClassKey(rest) : IsSharedUserKey(rest);
}

}  // namespace

bool NormalizeRegistryKeyPath(const char* keyPath, char* out, size_t size) {
    if (size == 0) return false;
    size_t n = 0;
    bool separator = false;
    for (const char* c = keyPath; *c != '\0'; ++c) {
        if (*c == '\\') {
            separator = n > 0;
            continue;
        }
        if (n + (separator ? 2 : 1) >= size) return false;
        if (separator) out[n++] = '\\';
        separator = false;
        out[n++] = *c;
    }
    out[n] = '\0';
    return true;
}

bool IsRefusedRegistryKey(uint32_t root, const char* keyPath) {
    char path[kRegistryGuardPathSize];
    if (!NormalizeRegistryKeyPath(keyPath, path, sizeof path)) return true;
    switch (root) {
        case format::kRootClassesRoot:
            return IsSharedClassKey(path);
        case format::kRootCurrentUser:
            return IsSharedUserKey(path);
        case format::kRootLocalMachine:
        case format::kRootCurrentConfig:
        case format::kRootDynData:
            return IsSharedMachineKey(path);
        case format::kRootUsers:
            return IsSharedUsersKey(path);
        default:
            return true;  // HKPD and values that are no predefined root
    }
}
