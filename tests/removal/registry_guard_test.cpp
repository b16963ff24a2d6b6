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
        {kRootLocalMachine, "Software\\", true},
        {kRootLocalMachine, "\\System", true},
        {kRootCurrentUser, "\\\\SOFTWARE\\\\", true},
        {kRootClassesRoot, "\\", true},
        {kRootClassesRoot, "", true},
        // HKLM: every top-level key, the control sets and their containers.
        {kRootLocalMachine, "SAM", true},
        {kRootLocalMachine, "HARDWARE\\", true},
        {kRootLocalMachine, "SYSTEM\\CurrentControlSet", true},
        {kRootLocalMachine, "System\\CurrentControlSet\\Services", true},
        {kRootLocalMachine, "System\\CurrentControlSet\\Control", true},
        {kRootLocalMachine, "System\\CurrentControlSet\\Control\\Session Manager", true},
        {kRootLocalMachine, "System\\ControlSet001", true},
        {kRootLocalMachine, "System\\ControlSet002\\Services", true},
        {kRootLocalMachine, "System\\Select", true},
        // Software of HKLM and HKCU, and its 32-bit view.
        {kRootLocalMachine, "Software\\Microsoft", true},
        {kRootLocalMachine, "Software\\Microsoft\\Windows NT", true},
        {kRootLocalMachine, "Software\\Microsoft\\Windows NT\\CurrentVersion\\Winlogon", true},
        {kRootLocalMachine, "Software\\Microsoft\\Cryptography", true},
        {kRootLocalMachine, "Software\\Microsoft\\Windows\\CurrentVersion\\Uninstall", true},
        {kRootLocalMachine, "Software\\Wow6432Node", true},
        {kRootLocalMachine, "Software\\Wow6432Node\\Microsoft", true},
        {kRootLocalMachine, "Software\\Wow6432Node\\Microsoft\\Windows\\CurrentVersion\\Run", true},
        {kRootLocalMachine, "Software\\Policies", true},
        {kRootCurrentUser, "Software\\Microsoft\\Windows\\CurrentVersion\\Run", true},
        {kRootCurrentUser, "Control Panel", true},
        {kRootCurrentUser, "Environment", true},
        // Classes: under HKCR, Software\Classes of HKLM and HKCU, their Wow6432Node views.
        {kRootClassesRoot, "CLSID", true},
        {kRootClassesRoot, "clsid\\", true},
        {kRootClassesRoot, "Interface", true},
        {kRootClassesRoot, "TypeLib", true},
        {kRootClassesRoot, "AppID", true},
        {kRootClassesRoot, "*", true},
        {kRootClassesRoot, "*\\shellex\\ContextMenuHandlers", true},
        {kRootClassesRoot, "Folder", true},
        {kRootClassesRoot, "Directory\\Background\\shell", true},
        {kRootClassesRoot, "Drive", true},
        {kRootClassesRoot, "AllFilesystemObjects", true},
        {kRootClassesRoot, "exefile", true},
        {kRootClassesRoot, ".exe", true},
        {kRootClassesRoot, "Wow6432Node\\CLSID", true},
        {kRootLocalMachine, "Software\\Classes", true},
        {kRootLocalMachine, "Software\\Classes\\CLSID", true},
        {kRootCurrentUser, "Software\\Classes\\CLSID", true},
        {kRootCurrentUser, "Software\\Classes\\*", true},
        {kRootLocalMachine, "Software\\Wow6432Node\\Classes\\CLSID", true},
        // HKU: every user's hive, and each user's keys as under HKCU.
        {kRootUsers, ".DEFAULT", true},
        {kRootUsers, ".DEFAULT\\Software", true},
        {kRootUsers, ".DEFAULT\\Software\\Microsoft", true},
        {kRootUsers, "S-1-5-21-1-2-3-1001\\Software\\Classes\\CLSID", true},
        {kRootUsers, "S-1-5-21-1-2-3-1001_Classes", true},
        {kRootUsers, "S-1-5-21-1-2-3-1001_Classes\\CLSID", true},
        // The other roots.
        {kRootCurrentConfig, "Software", true},
        {kRootDynData, "Config Manager", true},
        {kRootPerformanceData, "Software\\Vendor\\App", true},
        {0x12345678u, "Software\\Vendor\\App", true},
        {0x80000007u, "Software\\Vendor\\App", true},
        // A doubled separator inside the key is only a spelling of the key.
        {kRootLocalMachine, "Software\\\\Microsoft\\Windows", true},
        {kRootLocalMachine, "System\\\\CurrentControlSet\\\\\\Services\\", true},

        // Keys below the listed ones stay removable.
        {kRootCurrentUser, "Software\\Vendor\\App", false},
        {kRootLocalMachine, "Software\\Vendor", false},
        {kRootLocalMachine, "Software\\Classes\\.myext", false},
        {kRootLocalMachine, "Software\\Classes\\CLSID\\{00000000-1111-2222-3333-444444444444}", false},
        {kRootClassesRoot, "MyApp.Document", false},
        {kRootClassesRoot, "*\\shellex\\ContextMenuHandlers\\MyApp", false},
        {kRootClassesRoot, "Wow6432Node\\CLSID\\{00000000-1111-2222-3333-444444444444}", false},
        {kRootLocalMachine, "System\\CurrentControlSet\\Services\\MyDriver", false},
        {kRootLocalMachine, "System\\ControlSet001\\Services\\MyDriver", false},
        {kRootLocalMachine, "System\\ControlSetX\\Services", false},
        {kRootLocalMachine, "Software\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\MyApp", false},
        {kRootLocalMachine, "Software\\Wow6432Node\\Vendor\\App", false},
        {kRootLocalMachine, "Software\\Microsoft\\MyTool", false},
        {kRootCurrentUser, "Control Panel\\MyApplet", false},
        {kRootUsers, ".DEFAULT\\Software\\Vendor\\App", false},
        {kRootUsers, "S-1-5-21-1-2-3-1001_Classes\\MyApp.Document", false},
        {kRootCurrentConfig, "Software\\Vendor", false},
        // A key whose name only begins like a listed one.
        {kRootLocalMachine, "SoftwareX\\Microsoft", false},
        {kRootClassesRoot, "CLSIDs", false},
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
    EXPECT_TRUE(IsRefusedRegistryKey(kRootCurrentUser, longPath.c_str()));
    std::string fits = "Software\\Vendor\\" + std::string(kRegistryGuardPathSize - 18, 'a');
    EXPECT_FALSE(IsRefusedRegistryKey(kRootCurrentUser, fits.c_str()));
}

}  // namespace
