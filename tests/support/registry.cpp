#include "support/registry.h"

#ifdef _WIN32

#include <cstdio>
#include <utility>

namespace testing_support {

namespace {

// Opens `key` for `access`; nullptr when it cannot be opened.
HKEY OpenKey(HKEY root, const std::string& key, REGSAM access) {
    HKEY opened = nullptr;
    return RegOpenKeyExA(root, key.c_str(), 0, access, &opened) == ERROR_SUCCESS ? opened : nullptr;
}

RegValue FromText(DWORD type, const std::string& text) {
    RegValue value;
    value.type = type;
    value.data.assign(text.begin(), text.end());
    value.data.push_back(0);
    return value;
}

void RemoveValuesStartingWith(const char* key, const std::string& prefix) {
    for (const std::string& name : ValueNames(HKEY_LOCAL_MACHINE, key)) {
        if (StartsWithNoCase(name, prefix)) DeleteValue(HKEY_LOCAL_MACHINE, key, name);
    }
}

}  // namespace

bool StartsWithNoCase(const std::string& text, const std::string& prefix) {
    if (text.size() < prefix.size()) return false;
    for (size_t i = 0; i < prefix.size(); ++i) {
        char a = text[i], b = prefix[i];
        if (a >= 'a' && a <= 'z') a = static_cast<char>(a - 'a' + 'A');
        if (b >= 'a' && b <= 'z') b = static_cast<char>(b - 'a' + 'A');
        if (a != b) return false;
    }
    return true;
}

RegValue RegValue::String(const std::string& text) {
    return FromText(REG_SZ, text);
}

RegValue RegValue::ExpandString(const std::string& text) {
    return FromText(REG_EXPAND_SZ, text);
}

RegValue RegValue::MultiString(const std::vector<std::string>& texts) {
    RegValue value;
    value.type = REG_MULTI_SZ;
    for (const std::string& text : texts) {
        value.data.insert(value.data.end(), text.begin(), text.end());
        value.data.push_back(0);
    }
    value.data.push_back(0);
    return value;
}

RegValue RegValue::Dword(uint32_t number) {
    RegValue value;
    value.type = REG_DWORD;
    for (int i = 0; i < 4; ++i) value.data.push_back(static_cast<uint8_t>(number >> (8 * i)));
    return value;
}

RegValue RegValue::Qword(uint64_t number) {
    RegValue value;
    value.type = REG_QWORD;
    for (int i = 0; i < 8; ++i) value.data.push_back(static_cast<uint8_t>(number >> (8 * i)));
    return value;
}

RegValue RegValue::Binary(const std::vector<uint8_t>& bytes) {
    RegValue value;
    value.type = REG_BINARY;
    value.data = bytes;
    return value;
}

std::string RegValue::Describe() const {
    auto text = [this] {
        std::string out;
        for (uint8_t byte : data) out += byte ? static_cast<char>(byte) : '|';
        return "\"" + out + "\"";
    };
    auto hex = [this] {
        std::string out;
        char digits[4];
        for (uint8_t byte : data) {
            snprintf(digits, sizeof(digits), " %02X", byte);
            out += digits;
        }
        return out;
    };
    switch (type) {
        case REG_SZ:
            return "REG_SZ " + text();
        case REG_EXPAND_SZ:
            return "REG_EXPAND_SZ " + text();
        case REG_MULTI_SZ:
            return "REG_MULTI_SZ " + text();
        case REG_DWORD:
            if (data.size() == 4) {
                uint32_t number =
                    data[0] | data[1] << 8 | data[2] << 16 | static_cast<uint32_t>(data[3]) << 24;
                return "REG_DWORD " + std::to_string(number);
            }
            return "REG_DWORD of " + std::to_string(data.size()) + " bytes:" + hex();
        case REG_BINARY:
            return "REG_BINARY" + hex();
        default:
            return "type " + std::to_string(type) + ":" + hex();
    }
}

bool CreateTree(HKEY root, const std::string& base, const std::vector<RegItem>& items) {
    HKEY made = nullptr;
    if (RegCreateKeyExA(root, base.c_str(), 0, nullptr, 0, KEY_WRITE, nullptr, &made, nullptr) !=
        ERROR_SUCCESS)
        return false;
    RegCloseKey(made);
    for (const RegItem& item : items) {
        std::string key = item.key.empty() ? base : base + "\\" + item.key;
        if (item.name) {
            if (!SetValue(root, key, *item.name, item.value)) return false;
            continue;
        }
        if (RegCreateKeyExA(root, key.c_str(), 0, nullptr, 0, KEY_WRITE, nullptr, &made, nullptr) !=
            ERROR_SUCCESS)
            return false;
        RegCloseKey(made);
    }
    return true;
}

bool SetValue(HKEY root, const std::string& key, const std::string& name, const RegValue& value) {
    HKEY opened = nullptr;
    if (RegCreateKeyExA(root, key.c_str(), 0, nullptr, 0, KEY_WRITE, nullptr, &opened, nullptr) !=
        ERROR_SUCCESS)
        return false;
    LONG status = RegSetValueExA(opened, name.c_str(), 0, value.type, value.data.data(),
                                 static_cast<DWORD>(value.data.size()));
    RegCloseKey(opened);
    return status == ERROR_SUCCESS;
}

std::optional<RegValue> ReadValue(HKEY root, const std::string& key, const std::string& name) {
    HKEY opened = OpenKey(root, key, KEY_QUERY_VALUE);
    if (!opened) return std::nullopt;
    RegValue value;
    DWORD size = 0;
    LONG status = RegQueryValueExA(opened, name.c_str(), nullptr, &value.type, nullptr, &size);
    if (status == ERROR_SUCCESS) {
        value.data.resize(size);
        status = RegQueryValueExA(opened, name.c_str(), nullptr, &value.type, value.data.data(), &size);
        value.data.resize(size);
    }
    RegCloseKey(opened);
    if (status != ERROR_SUCCESS) return std::nullopt;
    return value;
}

bool KeyExists(HKEY root, const std::string& key) {
    HKEY opened = OpenKey(root, key, KEY_READ);
    if (opened) RegCloseKey(opened);
    return opened != nullptr;
}

bool ValueExists(HKEY root, const std::string& key, const std::string& name) {
    return ReadValue(root, key, name).has_value();
}

bool IsLinkKey(HKEY root, const std::string& key) {
    HKEY opened = nullptr;
    if (RegOpenKeyExA(root, key.c_str(), REG_OPTION_OPEN_LINK, KEY_QUERY_VALUE, &opened) != ERROR_SUCCESS)
        return false;
    DWORD type = 0;
    bool link =
        RegQueryValueExA(opened, "SymbolicLinkValue", nullptr, &type, nullptr, nullptr) == ERROR_SUCCESS &&
        type == REG_LINK;
    RegCloseKey(opened);
    return link;
}

namespace {

// A link key is deleted through a handle to the link itself (NtDeleteKey); by name the registry
// would delete the key it points at.
void DeleteLink(HKEY root, const std::string& key) {
    using NtDeleteKeyFn = LONG(WINAPI*)(HANDLE);
    auto deleteKey =
        reinterpret_cast<NtDeleteKeyFn>(GetProcAddress(GetModuleHandleA("ntdll.dll"), "NtDeleteKey"));
    HKEY opened = nullptr;
    if (deleteKey &&
        RegOpenKeyExA(root, key.c_str(), REG_OPTION_OPEN_LINK, DELETE, &opened) == ERROR_SUCCESS) {
        deleteKey(opened);
        RegCloseKey(opened);
    }
}

}  // namespace

bool DeleteKeyTree(HKEY root, const std::string& key) {
    // Never a root or a first-level key such as "Software": a test's keys lie deeper.
    if (key.find('\\') == std::string::npos || key.back() == '\\') return false;
    if (IsLinkKey(root, key)) {
        DeleteLink(root, key);
        return !KeyExists(root, key);
    }
    for (const std::string& child : SubkeyNames(root, key)) DeleteKeyTree(root, key + "\\" + child);
    RegDeleteKeyA(root, key.c_str());
    return !KeyExists(root, key);
}

bool DeleteValue(HKEY root, const std::string& key, const std::string& name) {
    HKEY opened = OpenKey(root, key, KEY_SET_VALUE);
    if (!opened) return false;
    LONG status = RegDeleteValueA(opened, name.c_str());
    RegCloseKey(opened);
    return status == ERROR_SUCCESS;
}

std::vector<std::string> SubkeyNames(HKEY root, const std::string& key) {
    std::vector<std::string> names;
    HKEY opened = OpenKey(root, key, KEY_READ);
    if (!opened) return names;
    char name[256];
    for (DWORD i = 0;; ++i) {
        DWORD size = sizeof(name);
        if (RegEnumKeyExA(opened, i, name, &size, nullptr, nullptr, nullptr, nullptr) != ERROR_SUCCESS) break;
        names.emplace_back(name, size);
    }
    RegCloseKey(opened);
    return names;
}

std::vector<std::string> ValueNames(HKEY root, const std::string& key) {
    std::vector<std::string> names;
    HKEY opened = OpenKey(root, key, KEY_READ);
    if (!opened) return names;
    DWORD longest = 0;
    if (RegQueryInfoKeyA(opened, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, &longest,
                         nullptr, nullptr, nullptr) == ERROR_SUCCESS) {
        std::vector<char> name(longest + 2);
        for (DWORD i = 0;; ++i) {
            DWORD size = static_cast<DWORD>(name.size());
            if (RegEnumValueA(opened, i, name.data(), &size, nullptr, nullptr, nullptr, nullptr) !=
                ERROR_SUCCESS)
                break;
            names.emplace_back(name.data(), size);
        }
    }
    RegCloseKey(opened);
    return names;
}

std::string RootName(HKEY root) {
    if (root == HKEY_CURRENT_USER) return "HKCU";
    if (root == HKEY_LOCAL_MACHINE) return "HKLM";
    if (root == HKEY_CLASSES_ROOT) return "HKCR";
    if (root == HKEY_USERS) return "HKU";
    return "HKEY";
}

ScopedKey::ScopedKey(HKEY root, std::string path) : root_(root), path_(std::move(path)) {
    DeleteKeyTree(root_, path_);
}

ScopedKey::~ScopedKey() {
    DeleteKeyTree(root_, path_);
}

ScopedValue::ScopedValue(HKEY root, std::string key, std::string name, const RegValue& value)
    : root_(root), key_(std::move(key)), name_(std::move(name)), old_(ReadValue(root_, key_, name_)) {
    ok_ = SetValue(root_, key_, name_, value);
}

ScopedValue::~ScopedValue() {
    if (old_) {
        (void)SetValue(root_, key_, name_, *old_);
    } else {
        DeleteValue(root_, key_, name_);
    }
}

MachineValues::MachineValues(std::string sandboxFolder) : folder_(std::move(sandboxFolder)) {
    size_t last = folder_.find_last_of('\\');
    tag_ = last == std::string::npos ? folder_ : folder_.substr(last + 1);
    RemoveAll();
}

MachineValues::~MachineValues() {
    RemoveAll();
}

std::string MachineValues::FontName(const std::string& label) const {
    return FontPrefix() + label;
}

bool MachineValues::SetSharedDllCount(const std::string& filePath, uint32_t count) {
    if (!StartsWithNoCase(filePath, SharedDllPrefix())) return false;  // would not be removed at the end
    return SetValue(HKEY_LOCAL_MACHINE, kSharedDllsKey, filePath, RegValue::Dword(count));
}

bool MachineValues::SetFontValue(Family family, const std::string& fullName, const std::string& fileName) {
    if (!StartsWithNoCase(fullName, FontPrefix())) return false;
    return SetValue(HKEY_LOCAL_MACHINE, FontsKey(family), FontValueName(fullName),
                    RegValue::String(fileName));
}

void MachineValues::RemoveAll() const {
    if (tag_.empty()) return;
    RemoveValuesStartingWith(kSharedDllsKey, SharedDllPrefix());
    RemoveValuesStartingWith(kNtFontsKey, FontPrefix());
    RemoveValuesStartingWith(k9xFontsKey, FontPrefix());
}

}  // namespace testing_support

#endif  // _WIN32
