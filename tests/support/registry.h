// Registry helpers for the tests: values of every type, trees of nested keys made in one call,
// keys that vanish with the test, and the machine-wide values (shared-DLL counts, installed fonts)
// a test plants under HKEY_LOCAL_MACHINE. Windows only; free of the test framework.
//
// Usage:
//   testing_support::ScopedKey key(HKEY_CURRENT_USER, "Software\\UninstTests\\<unique>");  // gone at both
//   ends ASSERT_TRUE(CreateTree(HKEY_CURRENT_USER, key.path(), {
//       {"App", "Path", RegValue::String("C:\\App")},
//       {"App\\Sub\\Deeper", "Count", RegValue::Dword(2)},
//       {"App\\Empty"},                                   // a key without values
//   }));
//   ReadValue(HKEY_CURRENT_USER, key.path() + "\\App", "Path")  // std::optional<RegValue>
//
//   testing_support::MachineValues machine(sandbox.path());    // names start with the sandbox
//   ASSERT_TRUE(machine.SetSharedDllCount(sandbox.Path("App\\shared.dll"), 2));
//   ASSERT_TRUE(machine.SetFontValue(Family::kNt, machine.FontName("Sans"), "sans.ttf"));
// MachineValues removes every value named after its sandbox from those keys when it is made and
// when it goes, whoever wrote them; the keys themselves are shared and stay.
#pragma once

#ifdef _WIN32

#include <windows.h>

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace testing_support {

inline constexpr char kSharedDllsKey[] = "Software\\Microsoft\\Windows\\CurrentVersion\\SharedDLLs";
inline constexpr char kNtFontsKey[] = "Software\\Microsoft\\Windows NT\\CurrentVersion\\Fonts";
inline constexpr char k9xFontsKey[] = "Software\\Microsoft\\Windows\\CurrentVersion\\Fonts";
// The suffix the installed-fonts values carry after the font's full name.
inline constexpr char kTrueTypeSuffix[] = " (TrueType)";

enum class Family { kNt, k9x };

// A registry value: its type and its bytes as the registry stores them.
struct RegValue {
    DWORD type = REG_NONE;
    std::vector<uint8_t> data;

    static RegValue String(const std::string& text);        // REG_SZ, with its NUL
    static RegValue ExpandString(const std::string& text);  // REG_EXPAND_SZ
    static RegValue MultiString(const std::vector<std::string>& texts);
    static RegValue Dword(uint32_t value);
    static RegValue Qword(uint64_t value);
    static RegValue Binary(const std::vector<uint8_t>& bytes);

    // "REG_SZ \"text\"", "REG_DWORD 2", "REG_BINARY 01 02 ...": for snapshots and failure messages.
    std::string Describe() const;
    bool operator==(const RegValue& other) const { return type == other.type && data == other.data; }
};

// One item of a tree: the key (relative to the tree's base, "" for the base itself, parts separated
// by backslashes) and, when `name` is given, a value in it ("" names the default value).
struct RegItem {
    std::string key;
    std::optional<std::string> name;
    RegValue value;

    RegItem(std::string key) : key(std::move(key)) {}
    RegItem(std::string key, std::string name, RegValue value)
        : key(std::move(key)), name(std::move(name)), value(std::move(value)) {}
};

// Creates `base` and every item below it; false (and what was made stays) when one fails.
[[nodiscard]] bool CreateTree(HKEY root, const std::string& base, const std::vector<RegItem>& items);
[[nodiscard]] bool SetValue(HKEY root, const std::string& key, const std::string& name,
                            const RegValue& value);
std::optional<RegValue> ReadValue(HKEY root, const std::string& key, const std::string& name);
bool KeyExists(HKEY root, const std::string& key);
bool ValueExists(HKEY root, const std::string& key, const std::string& name);
// True when `key` is a registry link (REG_LINK "SymbolicLinkValue"); links are never walked into.
bool IsLinkKey(HKEY root, const std::string& key);
// Deletes a key with all its subkeys (RegDeleteKeyA refuses a key with subkeys on the NT family);
// a link below it is deleted as a link, never followed. True when it is gone afterwards.
bool DeleteKeyTree(HKEY root, const std::string& key);
bool DeleteValue(HKEY root, const std::string& key, const std::string& name);
// The names of the subkeys and of the values of one key, in the registry's order.
std::vector<std::string> SubkeyNames(HKEY root, const std::string& key);
std::vector<std::string> ValueNames(HKEY root, const std::string& key);

// True when `text` starts with `prefix`, ASCII letters compared without case as the registry and
// the file system compare names.
bool StartsWithNoCase(const std::string& text, const std::string& prefix);

// "HKCU", "HKLM", ...: for messages.
std::string RootName(HKEY root);

// A key that is deleted with its subtree when the object is made and when it goes.
class ScopedKey {
  public:
    ScopedKey(HKEY root, std::string path);
    ~ScopedKey();
    ScopedKey(const ScopedKey&) = delete;
    ScopedKey& operator=(const ScopedKey&) = delete;

    HKEY root() const { return root_; }
    const std::string& path() const { return path_; }

  private:
    HKEY root_;
    std::string path_;
};

// A value of a shared key set for one test: the old value (or its absence) is put back when the
// object goes. For prefix-wide settings; a test that uses it changes the shared prefix and must run
// alone (a suite named ...Serial, see tests/run_serial.cmake).
class ScopedValue {
  public:
    ScopedValue(HKEY root, std::string key, std::string name, const RegValue& value);
    ~ScopedValue();
    ScopedValue(const ScopedValue&) = delete;
    ScopedValue& operator=(const ScopedValue&) = delete;

    bool ok() const { return ok_; }

  private:
    HKEY root_;
    std::string key_, name_;
    std::optional<RegValue> old_;
    bool ok_ = false;
};

// Machine-wide values of one test under HKEY_LOCAL_MACHINE: shared-DLL counts (named by a file's
// full path, which lies in the sandbox) and installed-font values (named by a full font name that
// starts with the sandbox's tag). Every value so named is removed from both keys, and from the 9x
// fonts key, when the object is made and when it goes.
class MachineValues {
  public:
    // `sandboxFolder`: the sandbox's folder; its last part is the tag of the font names.
    explicit MachineValues(std::string sandboxFolder);
    ~MachineValues();
    MachineValues(const MachineValues&) = delete;
    MachineValues& operator=(const MachineValues&) = delete;

    // A full font name of this sandbox: "<tag> <label>".
    std::string FontName(const std::string& label) const;
    // What the names of this sandbox's values start with: in SharedDLLs, and in the Fonts keys.
    std::string SharedDllPrefix() const { return folder_ + "\\"; }
    std::string FontPrefix() const { return tag_ + " "; }
    // The installed-fonts value name of a full name: the name and " (TrueType)".
    static std::string FontValueName(const std::string& fullName) { return fullName + kTrueTypeSuffix; }
    static const char* FontsKey(Family family) { return family == Family::kNt ? kNtFontsKey : k9xFontsKey; }

    // SharedDLLs\<filePath> = count (REG_DWORD); the path must lie in the sandbox.
    [[nodiscard]] bool SetSharedDllCount(const std::string& filePath, uint32_t count);
    // Fonts\<fullName> (TrueType) = fileName, in the key of the family; the name must be FontName's.
    [[nodiscard]] bool SetFontValue(Family family, const std::string& fullName, const std::string& fileName);

    // Removes every value of this sandbox from the three keys.
    void RemoveAll() const;

  private:
    std::string folder_, tag_;
};

}  // namespace testing_support

#endif  // _WIN32
