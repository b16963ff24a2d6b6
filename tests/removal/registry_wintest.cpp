// The registry pass on real keys: a sandbox key below HKEY_CURRENT_USER\Software, and, for the
// entries that name a hive's own keys, the predefined roots redirected to sandbox keys so that a
// fault deletes nothing of the machine's.
#include "removal/registry.h"

#include <windows.h>

#include <gtest/gtest.h>

#include "removal/registry_guard.h"
#include "removal/removal_fixtures.h"

namespace {

using removal_testing::KeySandbox;
using removal_testing::Lists;
using Items = std::set<std::string>;

constexpr uint32_t kHkcu = 0x80000001u;
constexpr uint32_t kHklm = 0x80000002u;

Items RemovedKeys(const Items& before, const Items& after) {
    return removal_testing::Removed(before, after);
}

// A run on the NT or 9x family with the given registry entries.
struct RegistryRun {
    testing_support::TestRun test;
    Lists lists;
    explicit RegistryRun(bool nt = true) : test(nt) {}
    void Run() {
        lists.AttachTo(test.run);
        RemoveRegistryEntries(test.run);
    }
};

TEST(RegistryPass, RemovesKeysWithTheirSubkeysAndSingleValues) {
    struct Case {
        const char* name;
        std::string path;  // below the sandbox key
        Items removed;
    };
    const Case cases[] = {
        {"a key with nested subkeys",
         "App",
         {"App\\", "App\\@", "App\\@Path", "App\\A\\", "App\\A\\B\\", "App\\A\\B\\C\\", "App\\A\\B\\C\\@deep",
          "App\\D\\"}},
        {"a nested key only", "App\\A\\B", {"App\\A\\B\\", "App\\A\\B\\C\\", "App\\A\\B\\C\\@deep"}},
        {"doubled and trailing separators",
         "App\\\\A\\B\\",
         {"App\\A\\B\\", "App\\A\\B\\C\\", "App\\A\\B\\C\\@deep"}},
        {"one value", "App\\\\Path", {"App\\@Path"}},
        {"the default value", "App\\\\", {"App\\@"}},
        {"a key that does not exist", "Missing\\Key", {}},
        {"a value that does not exist", "App\\\\Missing", {}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        KeySandbox keys;
        keys.Make("App", "Path=C:\\App");
        keys.Make("App", "=default");
        keys.Make("App\\A\\B\\C", "deep=1");
        keys.Make("App\\D");
        keys.Make("Canary", "keep=1");
        Items before = keys.Snapshot();
        RegistryRun run;
        run.lists.Key(kHkcu, keys.path() + "\\" + c.path);
        run.Run();
        EXPECT_EQ(RemovedKeys(before, keys.Snapshot()), c.removed);
    }
}

// A value entry at the root: two backslashes and the value's name.
TEST(RegistryPass, RemovesAValueDirectlyUnderTheRoot) {
    std::string name = "UninstRootValue-" + std::to_string(GetCurrentProcessId());
    std::string other = name + "-other";
    for (const auto& n : {name, other}) {
        ASSERT_EQ(
            RegSetValueExA(HKEY_CURRENT_USER, n.c_str(), 0, REG_SZ, reinterpret_cast<const BYTE*>("x"), 2),
            ERROR_SUCCESS);
    }
    RegistryRun run;
    run.lists.Key(kHkcu, "\\\\" + name);
    run.Run();
    EXPECT_NE(RegQueryValueExA(HKEY_CURRENT_USER, name.c_str(), nullptr, nullptr, nullptr, nullptr),
              ERROR_SUCCESS);
    EXPECT_EQ(RegQueryValueExA(HKEY_CURRENT_USER, other.c_str(), nullptr, nullptr, nullptr, nullptr),
              ERROR_SUCCESS);
    RegDeleteValueA(HKEY_CURRENT_USER, other.c_str());
}

using OverrideFn = LONG(WINAPI*)(HKEY, HKEY);

OverrideFn OverridePredefKey() {
    return reinterpret_cast<OverrideFn>(
        GetProcAddress(GetModuleHandleA("advapi32.dll"), "RegOverridePredefKey"));
}

// The roots redirected to sandbox keys for one test: entries that name a hive's own keys then
// reach only the sandbox.
class RedirectedRoots {
  public:
    RedirectedRoots(const KeySandbox& keys) {
        HKEY user = nullptr;
        HKEY machine = nullptr;
        RegCreateKeyExA(keys.key(), "HKCU", 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &user, nullptr);
        RegCreateKeyExA(keys.key(), "HKLM", 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &machine, nullptr);
        OverrideFn redirect = OverridePredefKey();
        ok_ = redirect && redirect(HKEY_CURRENT_USER, user) == ERROR_SUCCESS &&
              redirect(HKEY_LOCAL_MACHINE, machine) == ERROR_SUCCESS;
        RegCloseKey(user);
        RegCloseKey(machine);
    }
    ~RedirectedRoots() {
        if (OverrideFn redirect = OverridePredefKey()) {
            redirect(HKEY_CURRENT_USER, nullptr);
            redirect(HKEY_LOCAL_MACHINE, nullptr);
        }
    }
    bool ok() const { return ok_; }

  private:
    bool ok_ = false;
};

// "Software" and "System" in any letter case and spelling, and the keys whose deletion breaks the
// machine, are refused as a whole; keys below them stay removable. Checked on both families.
TEST(RegistryPass, RefusesAHivesOwnKeysInEverySpelling) {
    for (bool nt : {true, false}) {
        SCOPED_TRACE(nt ? "NT" : "9x");
        KeySandbox keys;
        const char* made[] = {"HKCU\\Software\\Vendor\\App",
                              "HKCU\\Software\\Vendor\\Other",
                              "HKCU\\Software\\Microsoft\\Windows\\CurrentVersion\\Run",
                              "HKCU\\Software\\Classes\\CLSID\\{0}",
                              "HKCU\\Software\\Classes\\.myext",
                              "HKCU\\System\\Keep",
                              "HKLM\\SOFTWARE\\Policies\\P",
                              "HKLM\\SOFTWARE\\Wow6432Node\\W",
                              "HKLM\\SYSTEM\\CurrentControlSet\\Services\\MyDriver",
                              "HKLM\\SYSTEM\\CurrentControlSet\\Control\\C",
                              "HKLM\\SYSTEM\\ControlSet001\\Services\\S"};
        for (const char* key : made) keys.Make(key);
        Items before = keys.Snapshot();
        {
            RedirectedRoots roots(keys);
            ASSERT_TRUE(roots.ok());
            RegistryRun run(nt);
            for (const char* path :
                 {"Software", "SOFTWARE", "software", "Software\\", "\\Software", "\\Software\\",
                  "Software\\\\\\", "\\\\Software\\\\Vendor\\App\\..", "System", "SYSTEM\\", "\\", "",
                  "Software\\Microsoft", "Software\\Classes", "Software\\Classes\\CLSID",
                  "Software\\Microsoft\\Windows\\CurrentVersion\\Run"}) {
                run.lists.Key(kHkcu, path);
            }
            for (const char* path : {"SOFTWARE", "Software\\Wow6432Node", "Software\\Policies", "SYSTEM",
                                     "SYSTEM\\CurrentControlSet", "SYSTEM\\CurrentControlSet\\Services",
                                     "SYSTEM\\CurrentControlSet\\Control", "SYSTEM\\ControlSet001",
                                     "\\SYSTEM\\\\CurrentControlSet\\Services\\"}) {
                run.lists.Key(kHklm, path);
            }
            // Keys below the refused ones stay removable.
            run.lists.Key(kHkcu, "\\Software\\Vendor\\App\\");
            run.lists.Key(kHkcu, "Software\\Classes\\.myext");
            run.lists.Key(kHklm, "SYSTEM\\CurrentControlSet\\Services\\MyDriver");
            run.Run();
        }
        Items expected = {"HKCU\\Software\\Vendor\\App\\", "HKCU\\Software\\Classes\\.myext\\",
                          "HKLM\\SYSTEM\\CurrentControlSet\\Services\\MyDriver\\"};
        // The 9x family deletes with RegDeleteKeyA, which on this NT-family registry leaves a key
        // that still has subkeys: the leaves named here have none.
        EXPECT_EQ(RemovedKeys(before, keys.Snapshot()), expected);
    }
}

// Only the predefined roots are roots: any other value could be a key this process has open.
TEST(RegistryPass, SkipsRootsThatAreNoPredefinedKey) {
    KeySandbox keys;
    keys.Make("Victim");
    Items before = keys.Snapshot();
    RegistryRun run;
    uint32_t handleValue = static_cast<uint32_t>(reinterpret_cast<uintptr_t>(keys.key()));
    run.lists.Key(handleValue, "Victim");
    run.lists.Key(handleValue, "Victim\\\\");
    run.lists.Key(0x80000004u, "Victim");                  // HKEY_PERFORMANCE_DATA
    run.lists.Key(0x80000006u, keys.path() + "\\Victim");  // HKEY_DYN_DATA: the 9x family's only
    run.Run();
    EXPECT_EQ(RemovedKeys(before, keys.Snapshot()), Items{});
}

// The NT path of an open key ("\REGISTRY\USER\S-1-...\Software\..."), through NtQueryKey.
std::wstring KernelKeyName(HKEY key) {
    using NtQueryKeyFn = LONG(WINAPI*)(HANDLE, int, void*, ULONG, ULONG*);
    auto query = reinterpret_cast<NtQueryKeyFn>(GetProcAddress(GetModuleHandleA("ntdll.dll"), "NtQueryKey"));
    if (!query) return L"";
    alignas(ULONG) BYTE buffer[4096] = {};
    ULONG size = 0;
    if (query(key, 3 /* KeyNameInformation */, buffer, sizeof buffer, &size) != 0) return L"";
    ULONG length = *reinterpret_cast<ULONG*>(buffer);
    return std::wstring(reinterpret_cast<wchar_t*>(buffer + sizeof(ULONG)), length / sizeof(wchar_t));
}

// Makes `link` below the sandbox a registry link to the key `target` (also below it).
bool MakeLink(const KeySandbox& keys, const std::string& link, const std::string& target) {
    HKEY targetKey = nullptr;
    if (RegOpenKeyExA(keys.key(), target.c_str(), 0, KEY_READ, &targetKey) != ERROR_SUCCESS) return false;
    std::wstring name = KernelKeyName(targetKey);
    RegCloseKey(targetKey);
    if (name.empty()) return false;
    HKEY made = nullptr;
    if (RegCreateKeyExA(keys.key(), link.c_str(), 0, nullptr, REG_OPTION_CREATE_LINK,
                        KEY_ALL_ACCESS | KEY_CREATE_LINK, nullptr, &made, nullptr) != ERROR_SUCCESS) {
        return false;
    }
    LONG set =
        RegSetValueExW(made, L"SymbolicLinkValue", 0, REG_LINK, reinterpret_cast<const BYTE*>(name.data()),
                       static_cast<DWORD>(name.size() * sizeof(wchar_t)));
    RegCloseKey(made);
    return set == ERROR_SUCCESS;
}

// A link inside the tree is never followed: the tree it points at keeps every key, and the first
// failure stops the deletion of the tree that holds it.
TEST(RegistryPass, NeverFollowsARegistryLink) {
    KeySandbox keys;
    keys.Make("Victim\\Inner", "v=1");
    keys.Make("App\\A", "a=1");
    keys.Make("App\\B\\C");
    if (!MakeLink(keys, "App\\B\\Link", "Victim")) GTEST_SKIP() << "no registry links here";
    // A link back to an ancestor, which would make a recursion without end.
    ASSERT_TRUE(MakeLink(keys, "App\\B\\C\\Loop", "App"));
    Items before = keys.Snapshot();
    RegistryRun run;
    run.lists.Key(kHkcu, keys.path() + "\\App\\B\\C");
    run.lists.Key(kHkcu, keys.path() + "\\App\\A");
    run.lists.Key(kHkcu, keys.path() + "\\App\\B\\Link");
    run.lists.Key(kHkcu, keys.path() + "\\App\\B\\Link\\\\v");
    run.Run();
    Items after = keys.Snapshot();
    EXPECT_EQ(RemovedKeys(before, after), (Items{"App\\A\\", "App\\A\\@a"}));
}

// A link in the middle of a listed key's path (Software\Vendor -> elsewhere) is not followed either:
// the key is opened a component at a time, each opened itself, so nothing below a link is reached.
// The tree the links lead to keeps every key and value; the real key beside them goes.
TEST(RegistryPass, NeverFollowsALinkInTheMiddleOfAPath) {
    struct Case {
        const char* what;
        const char* entry;  // below the sandbox; "\\" ends a value entry
    } cases[] = {
        {"a key one level below the link", "Vendor\\Inner"},
        {"a key two levels below the link", "Vendor\\Inner\\Deep"},
        {"a value below the link", "Vendor\\Inner\\\\v"},
        {"a link two levels down", "App\\Mid\\Inner"},
        {"a value below a link two levels down", "App\\Mid\\Inner\\\\v"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        KeySandbox keys;
        keys.Make("Victim\\Inner", "v=1");
        keys.Make("Victim\\Inner\\Deep", "d=1");
        keys.Make("App\\Real", "r=1");
        // The links are volatile: they live as long as this process keeps the wineserver running.
        if (!MakeLink(keys, "Vendor", "Victim")) GTEST_SKIP() << "no registry links here";
        ASSERT_TRUE(MakeLink(keys, "App\\Mid", "Victim"));
        Items before = keys.Snapshot();
        RegistryRun run;
        run.lists.Key(kHkcu, keys.path() + "\\" + c.entry);
        run.lists.Key(kHkcu, keys.path() + "\\App\\Real");
        run.Run();
        EXPECT_EQ(RemovedKeys(before, keys.Snapshot()), (Items{"App\\Real\\", "App\\Real\\@r"}));
        // The victim's tree is still there to be reached through its own path.
        HKEY deep = nullptr;
        EXPECT_EQ(RegOpenKeyExA(keys.key(), "Victim\\Inner\\Deep", 0, KEY_READ, &deep), ERROR_SUCCESS);
        if (deep) RegCloseKey(deep);
    }
}

TEST(DeleteKeyTree, EnumeratesEveryNameLengthAndRefusesAnEmptyName) {
    KeySandbox keys;
    keys.Make("T\\" + std::string(255, 'n') + "\\x");
    keys.Make("T\\a");
    keys.Make("T\\" + std::string(100, 'm'));
    keys.Make("Canary");
    EXPECT_EQ(DeleteKeyTree(keys.key(), "", 0), ERROR_BADKEY);
    EXPECT_EQ(DeleteKeyTree(keys.key(), nullptr, 0), ERROR_BADKEY);
    EXPECT_EQ(DeleteKeyTree(keys.key(), "T", 0), ERROR_SUCCESS);
    EXPECT_EQ(keys.Snapshot(), Items{"Canary\\"});
}

// A tree deeper than the bound is left with its deepest keys: nothing is deleted past the bound and
// the stack is never at risk.
TEST(DeleteKeyTree, StopsAtTheDepthBound) {
    KeySandbox keys;
    HKEY at = nullptr;
    ASSERT_EQ(RegCreateKeyExA(keys.key(), "Deep", 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &at, nullptr),
              ERROR_SUCCESS);
    int made = 0;
    for (; made < 520; ++made) {
        HKEY next = nullptr;
        if (RegCreateKeyExA(at, "k", 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &next, nullptr) != ERROR_SUCCESS)
            break;
        RegCloseKey(at);
        at = next;
    }
    RegCloseKey(at);
    if (made < 520) GTEST_SKIP() << "the registry here nests only " << made << " levels";
    EXPECT_NE(DeleteKeyTree(keys.key(), "Deep", 0), ERROR_SUCCESS);
    HKEY deep = nullptr;
    EXPECT_EQ(RegOpenKeyExA(keys.key(), "Deep", 0, KEY_READ, &deep), ERROR_SUCCESS);
    RegCloseKey(deep);
    // Cleaned from the bottom so that the sandbox can go.
    std::string path = "Deep";
    for (int i = 0; i < made; ++i) path += "\\k";
    while (path.size() > 4) {
        RegDeleteKeyA(keys.key(), path.c_str());
        path.resize(path.size() - 2);
    }
}

}  // namespace
