// The folders of the system's own trees that the wildcard pass and the packer's check refuse, in
// their token and literal spellings, and the folders that stay open to clean-up patterns.
#include "removal/pattern_guard.h"

#include <gtest/gtest.h>
#include <string>

namespace {

struct GuardCase {
    const char* folder;
    bool refused;
};

TEST(PatternGuard, RefusesTheSystemsOwnTrees) {
    const GuardCase cases[] = {
        // The System and Windows folders, whole, by token.
        {"#System#", true},
        {"#System#\\drivers", true},
        {"#system#\\DRIVERS\\etc", true},
        {"#Windows#\\System32", true},
        {"#Windows#\\Temp\\Vendor", true},
        {"#Windows#System32", true},
        // Program Files: the folder itself and Windows's folders in it.
        {"#Program Files#", true},
        {"#Program Files#\\Common Files", true},
        {"#Program Files#\\Common Files\\System", true},
        {"#Program Files#\\Common Files\\System\\ado", true},
        {"#Program Files#\\Common Files\\Microsoft Shared\\VGX", true},
        {"#Program Files#\\Windows NT\\Accessories", true},
        {"#Program Files#\\Internet Explorer", true},
        {"#CommonFiles#", true},
        {"#CommonFiles#\\System", true},
        {"#CommonFiles#\\Microsoft Shared", true},
        // Literal spellings, as written or expanded.
        {"C:\\Windows", true},
        {"c:\\windows\\system32\\drivers", true},
        {"D:\\WINNT\\System32", true},
        {"C:\\Program Files\\Common Files\\System", true},
        {"C:\\Program Files (x86)\\Common Files\\Microsoft Shared", true},
        {"C:\\Program Files (x86)\\Windows NT", true},
        {"C:\\Program Files", true},
        {"C:\\ProgramData\\Microsoft\\Windows\\Start Menu", true},
        {"C:\\Users", true},
        {"C:\\", true},
        {"C:\\System Volume Information", true},
        {"C:\\$Recycle.Bin\\S-1-5-21", true},
        // Other spellings Windows resolves to the same folders.
        {"C:/Windows/System32", true},
        {"C:\\\\Windows", true},
        {"C:\\Windows.\\System32", true},
        {"C:\\Windows \\System32", true},
        {"C:\\Windows\\.\\System32", true},
        {"C:\\Temp\\..\\Windows", true},
        {"#Program Files#\\Vendor\\..\\Common Files\\System", true},
        {"#Program Files#\\Common Files\\.\\System\\", true},
        {"\\\\server\\ADMIN$\\System32", true},
        {"\\\\localhost\\C$\\Windows", true},
        {"\\\\localhost\\C$", true},
        {"\\\\server\\share", true},
        // Folders the guard cannot judge.
        {"\\\\?\\C:\\Windows", true},
        {"\\\\.\\C:\\Temp", true},
        {"#Program Files#\\..", true},
        {"C:\\..", true},
        {"C:\\Vendor\\...\\App", true},
        {"C:Windows", true},
        {"#Windows", true},

        // Folders that stay open to patterns.
        {"#Program Files#\\Vendor\\App", false},
        {"#Program Files#\\Vendor\\Common Files\\System", false},
        {"#CommonFiles#\\Vendor", false},
        {"#AppData#\\Vendor\\App", false},
        {"#TempDir#\\Vendor", false},
        {"#InstallDir#\\Logs", false},
        {"C:\\Program Files\\Vendor\\App\\Logs", false},
        {"C:\\Program Files (x86)\\Common Files\\Vendor", false},
        {"C:\\Users\\Bob\\AppData\\Roaming\\Vendor", false},
        {"C:\\ProgramData\\Vendor", false},
        {"D:\\Games\\Windows", false},
        {"C:\\WindowsApps2", false},
        {"\\\\server\\share\\Vendor", false},
        {"Logs", false},
        {"", false},
    };
    for (const GuardCase& c : cases) {
        EXPECT_EQ(IsRefusedPatternFolder(c.folder), c.refused) << c.folder;
    }
}

TEST(PatternGuard, AFolderLongerThanItsRoomIsRefused) {
    std::string fits = "C:\\Vendor\\" + std::string(kPatternGuardPathSize - 11, 'a');
    EXPECT_FALSE(IsRefusedPatternFolder(fits.c_str()));
    std::string longer = fits + "a";
    EXPECT_TRUE(IsRefusedPatternFolder(longer.c_str()));
}

}  // namespace
