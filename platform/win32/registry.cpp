// The real registry: keys opened and created below HKEY_LOCAL_MACHINE or
// HKEY_CURRENT_USER, text values stored as REG_SZ.
#include "platform/registry.h"

#include <vector>

#include "platform/codepage.h"
#include "platform/win32/win32.h"

namespace platform {
namespace {

HKEY RootHandle(const std::u16string& root) {
    if (root == u"HKEY_LOCAL_MACHINE") return reinterpret_cast<HKEY>(static_cast<intptr_t>(static_cast<LONG>(0x80000002)));
    if (root == u"HKEY_CURRENT_USER") return reinterpret_cast<HKEY>(static_cast<intptr_t>(static_cast<LONG>(0x80000001)));
    return nullptr;
}

// The key's path as the registry takes it, or empty when a component is
// unusable (as on Linux: empty names, ".", ".." and names with '/' or NUL).
std::wstring JoinedKeyPath(const std::u16string& key) {
    std::wstring path;
    std::u16string part;
    auto flush = [&]() {
        if (part.empty()) return true;
        if (part == u"." || part == u".." || part.find(u'/') != std::u16string::npos ||
            part.find(u'\0') != std::u16string::npos)
            return false;
        if (!path.empty()) path += L'\\';
        path.append(reinterpret_cast<const wchar_t*>(part.data()), part.size());
        part.clear();
        return true;
    };
    for (char16_t c : key) {
        if (c == u'\\') {
            if (!flush()) return {};
        } else {
            part += c;
        }
    }
    if (!flush()) return {};
    return path;
}

}  // namespace

// The key's path and registry view: the 64-bit system keeps the 32-bit
// view of SOFTWARE under SOFTWARE\Wow6432Node, a key that a 32-bit system
// does not have. A path through it is opened as SOFTWARE\... in the 32-bit
// view (which is that same key on a 64-bit system), so the key lands where
// the system's own readers look on either.
win32::TKeyLocation win32::KeyPath(const std::u16string& key) {
    TKeyLocation location{JoinedKeyPath(key), 0};
    static const std::wstring kRedirected = L"SOFTWARE\\WOW6432NODE\\";
    if (location.Path.size() > kRedirected.size()) {
        std::wstring head = location.Path.substr(0, kRedirected.size());
        for (auto& c : head) c = static_cast<wchar_t>(towupper(c));
        if (head == kRedirected) {
            location.Path.erase(9, kRedirected.size() - 9);  // after "SOFTWARE" and its separator
            location.View = KEY_WOW64_32KEY;
        }
    }
    return location;
}

namespace {

// The text values of an open key, in the registry's order.
bool ReadValues(HKEY key, TRegistryValues& values) {
    values.clear();
    DWORD count = 0, longestName = 0, longestData = 0;
    if (RegQueryInfoKeyW(key, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, &count, &longestName,
                         &longestData, nullptr, nullptr) != ERROR_SUCCESS)
        return false;
    std::vector<wchar_t> name(longestName + 1);
    std::vector<BYTE> data(longestData + sizeof(wchar_t));
    for (DWORD index = 0; index < count; ++index) {
        DWORD nameLength = static_cast<DWORD>(name.size());
        DWORD dataLength = static_cast<DWORD>(data.size());
        DWORD type = 0;
        if (RegEnumValueW(key, index, name.data(), &nameLength, nullptr, &type, data.data(), &dataLength) !=
            ERROR_SUCCESS)
            continue;
        if (type != REG_SZ && type != REG_EXPAND_SZ) continue;
        std::u16string text(reinterpret_cast<const char16_t*>(data.data()), dataLength / sizeof(char16_t));
        while (!text.empty() && text.back() == u'\0') text.pop_back();
        values.emplace_back(win32::Text(name.data(), nameLength), std::move(text));
    }
    return true;
}

}  // namespace

bool TRegistry::OpenKey(const std::u16string& key, bool canCreate) {
    CloseKey();
    HKEY root = RootHandle(root_);
    const win32::TKeyLocation location = win32::KeyPath(key);
    const std::wstring& path = location.Path;
    if (root == nullptr || path.empty()) return false;
    HKEY opened = nullptr;
    LONG status = canCreate ? RegCreateKeyExW(root, path.c_str(), 0, nullptr, REG_OPTION_NON_VOLATILE,
                                              KEY_READ | KEY_SET_VALUE | location.View, nullptr, &opened, nullptr)
                            : RegOpenKeyExW(root, path.c_str(), 0, KEY_READ | location.View, &opened);
    if (status != ERROR_SUCCESS) return false;
    TRegistryValues values;
    bool ok = ReadValues(opened, values);
    RegCloseKey(opened);
    if (!ok) return false;
    current_ = TextToUtf8(key);
    values_ = std::move(values);
    return true;
}

bool TRegistry::KeyExists(const std::u16string& key) const {
    HKEY root = RootHandle(root_);
    const win32::TKeyLocation location = win32::KeyPath(key);
    if (root == nullptr || location.Path.empty()) return false;
    HKEY opened = nullptr;
    if (RegOpenKeyExW(root, location.Path.c_str(), 0, KEY_READ | location.View, &opened) != ERROR_SUCCESS)
        return false;
    RegCloseKey(opened);
    return true;
}

bool TRegistry::DeleteKey(const std::u16string& key) {
    HKEY root = RootHandle(root_);
    const win32::TKeyLocation location = win32::KeyPath(key);
    if (root == nullptr || location.Path.empty()) return false;
    if (!current_.empty() && win32::KeyPath(Utf8ToText(current_)).Path == location.Path) CloseKey();
    return RegDeleteKeyExW(root, location.Path.c_str(), location.View, 0) == ERROR_SUCCESS;
}

void TRegistry::WriteString(const std::u16string& name, const std::u16string& value) {
    std::u16string message = u"Failed to set data for '" + name + u"'";
    if (current_.empty()) throw ERegistryException(message);
    const win32::TKeyLocation location = win32::KeyPath(Utf8ToText(current_));
    HKEY opened = nullptr;
    if (RegOpenKeyExW(RootHandle(root_), location.Path.c_str(), 0, KEY_SET_VALUE | location.View, &opened) !=
        ERROR_SUCCESS)
        throw ERegistryException(message);
    LONG status = RegSetValueExW(opened, win32::Wide(name), 0, REG_SZ, reinterpret_cast<const BYTE*>(value.c_str()),
                                 static_cast<DWORD>((value.size() + 1) * sizeof(char16_t)));
    RegCloseKey(opened);
    if (status != ERROR_SUCCESS) throw ERegistryException(message);
    for (auto& nv : values_)
        if (nv.first == name) {
            nv.second = value;
            return;
        }
    values_.emplace_back(name, value);
}

}  // namespace platform
