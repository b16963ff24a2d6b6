// The registry keys the registry pass and the packer's check refuse: the listed keys under every
// spelling and every root that reaches them, and the keys below them, which stay removable.
#include "removal/registry_guard.h"

#include <gtest/gtest.h>
#include <string>

namespace {

struct GuardCase {
    uint32_t root;
    const char* path;
    bool refused;
};

TEST(RegistryGuard, RefusesTheKeysWindowsAndEveryProgramNeed) {
    const GuardCase cases[] = {
        // The Software and System keys under other spellings, and the root itself.
        {format::kRootLocalMachine, "Software\\", true},
        {format::kRootLocalMachine, "\\System", true},
        {format::kRootCurrentUser, "\\\\SOFTWARE\\\\", true},
        {format::kRootClassesRoot, "\\", true},
        {format::kRootClassesRoot, "", true},
        // HKLM: every top-level key, the control sets and their containers.
        {format::kRootLocalMachine, "SAM", true},
        {format::kRootLocalMachine, "HARDWARE\\", true},
        {format::kRootLocalMachine, "SYSTEM\\CurrentControlSet", true},
        {format::kRootLocalMachine, "System\\CurrentControlSet\\Services", true},
        {format::kRootLocalMachine, "System\\CurrentControlSet\\Control", true},
        {format::kRootLocalMachine, "System\\CurrentControlSet\\Control\\Session Manager", true},
        {format::kRootLocalMachine, "System\\ControlSet001", true},
        {format::kRootLocalMachine, "System\\ControlSet002\\Services", true},
        {format::kRootLocalMachine, "System\\Select", true},
        // Software of HKLM and HKCU, and its 32-bit view.
        {format::kRootLocalMachine, "Software\\Microsoft", true},
        {format::kRootLocalMachine, "Software\\Microsoft\\Windows NT", true},
        {format::kRootLocalMachine, "Software\\Microsoft\\Windows NT\\CurrentVersion\\Winlogon", true},
        {format::kRootLocalMachine, "Software\\Microsoft\\Cryptography", true},
        {format::kRootLocalMachine, "Software\\Microsoft\\Windows\\CurrentVersion\\Uninstall", true},
        {format::kRootLocalMachine, "Software\\Wow6432Node", true},
        {format::kRootLocalMachine, "Software\\Wow6432Node\\Microsoft", true},
        {format::kRootLocalMachine, "Software\\Wow6432Node\\Microsoft\\Windows\\CurrentVersion\\Run", true},
        {format::kRootLocalMachine, "Software\\Policies", true},
        {format::kRootCurrentUser, "Software\\Microsoft\\Windows\\CurrentVersion\\Run", true},
        {format::kRootCurrentUser, "Control Panel", true},
        {format::kRootCurrentUser, "Environment", true},
        // Classes: under HKCR, Software\Classes of HKLM and HKCU, their Wow6432Node views.
        {format::kRootClassesRoot, "CLSID", true},
        {format::kRootClassesRoot, "clsid\\", true},
        {format::kRootClassesRoot, "Interface", true},
        {format::kRootClassesRoot, "TypeLib", true},
        {format::kRootClassesRoot, "AppID", true},
        {format::kRootClassesRoot, "*", true},
        {format::kRootClassesRoot, "*\\shellex\\ContextMenuHandlers", true},
        {format::kRootClassesRoot, "Folder", true},
        {format::kRootClassesRoot, "Directory\\Background\\shell", true},
        {format::kRootClassesRoot, "Drive", true},
        {format::kRootClassesRoot, "AllFilesystemObjects", true},
        {format::kRootClassesRoot, "exefile", true},
        {format::kRootClassesRoot, ".exe", true},
        {format::kRootClassesRoot, "Wow6432Node\\CLSID", true},
        {format::kRootLocalMachine, "Software\\Classes", true},
        {format::kRootLocalMachine, "Software\\Classes\\CLSID", true},
        {format::kRootCurrentUser, "Software\\Classes\\CLSID", true},
        {format::kRootCurrentUser, "Software\\Classes\\*", true},
        {format::kRootLocalMachine, "Software\\Wow6432Node\\Classes\\CLSID", true},
        // HKU: every user's hive, and each user's keys as under HKCU.
        {format::kRootUsers, ".DEFAULT", true},
        {format::kRootUsers, ".DEFAULT\\Software", true},
        {format::kRootUsers, ".DEFAULT\\Software\\Microsoft", true},
        {format::kRootUsers, "S-1-5-21-1-2-3-1001\\Software\\Classes\\CLSID", true},
        {format::kRootUsers, "S-1-5-21-1-2-3-1001_Classes", true},
        {format::kRootUsers, "S-1-5-21-1-2-3-1001_Classes\\CLSID", true},
        // The other roots.
        {format::kRootCurrentConfig, "Software", true},
        {format::kRootDynData, "Config Manager", true},
        {format::kRootPerformanceData, "Software\\Vendor\\App", true},
        {0x12345678u, "Software\\Vendor\\App", true},
        {0x80000007u, "Software\\Vendor\\App", true},
        // A doubled separator inside the key is only a spelling of the key.
        {format::kRootLocalMachine, "Software\\\\Microsoft\\Windows", true},
        {format::kRootLocalMachine, "System\\\\CurrentControlSet\\\\\\Services\\", true},

        // Keys below the listed ones stay removable.
        {format::kRootCurrentUser, "Software\\Vendor\\App", false},
        {format::kRootLocalMachine, "Software\\Vendor", false},
        {format::kRootLocalMachine, "Software\\Classes\\.myext", false},
        {format::kRootLocalMachine, "Software\\Classes\\CLSID\\{00000000-1111-2222-3333-444444444444}",
         false},
        {format::kRootClassesRoot, "MyApp.Document", false},
        {format::kRootClassesRoot, "*\\shellex\\ContextMenuHandlers\\MyApp", false},
        {format::kRootClassesRoot, "Wow6432Node\\CLSID\\{00000000-1111-2222-3333-444444444444}", false},
        {format::kRootLocalMachine, "System\\CurrentControlSet\\Services\\MyDriver", false},
        {format::kRootLocalMachine, "System\\ControlSet001\\Services\\MyDriver", false},
        {format::kRootLocalMachine, "System\\ControlSetX\\Services", false},
        {format::kRootLocalMachine, "Software\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\MyApp", false},
        {format::kRootLocalMachine, "Software\\Wow6432Node\\Vendor\\App", false},
        {format::kRootLocalMachine, "Software\\Microsoft\\MyTool", false},
        {format::kRootCurrentUser, "Control Panel\\MyApplet", false},
        {format::kRootUsers, ".DEFAULT\\Software\\Vendor\\App", false},
        {format::kRootUsers, "S-1-5-21-1-2-3-1001_Classes\\MyApp.Document", false},
        {format::kRootCurrentConfig, "Software\\Vendor", false},
        // A key whose name only begins like a listed one.
        {format::kRootLocalMachine, "SoftwareX\\Microsoft", false},
        {format::kRootClassesRoot, "CLSIDs", false},
    };
    for (const GuardCase& c : cases) {
        EXPECT_EQ(IsRefusedRegistryKey(c.root, c.path), c.refused) << std::hex << c.root << " " << c.path;
    }
}

TEST(RegistryGuard, NormalisesSeparatorsAndRefusesWhatDoesNotFit) {
    char out[16];
    EXPECT_TRUE(NormalizeRegistryKeyPath("\\\\A\\\\\\B\\C\\\\", out, sizeof out));
    EXPECT_STREQ(out, "A\\B\\C");
    EXPECT_TRUE(NormalizeRegistryKeyPath("\\\\\\", out, sizeof out));
    EXPECT_STREQ(out, "");
    EXPECT_TRUE(NormalizeRegistryKeyPath("123456789\\12345", out, sizeof out));  // 15 bytes and the NUL
    EXPECT_FALSE(NormalizeRegistryKeyPath("123456789\\123456", out, sizeof out));
    // A path the guard cannot hold is refused, never compared cut.
    std::string longPath = "Software\\Vendor\\" + std::string(kRegistryGuardPathSize, 'a');
    EXPECT_TRUE(IsRefusedRegistryKey(format::kRootCurrentUser, longPath.c_str()));
    std::string fits = "Software\\Vendor\\" + std::string(kRegistryGuardPathSize - 18, 'a');
    EXPECT_FALSE(IsRefusedRegistryKey(format::kRootCurrentUser, fits.c_str()));
}

}  // namespace
