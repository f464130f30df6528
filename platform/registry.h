// The system registry: one root key and at most one open key at a time.
//
// On Windows this is the real registry (RegCreateKeyExW, RegSetValueExW,
// REG_SZ values). Linux has none; a key store stands in for it there:
// every key is one small file below the store folder
// ($ZELVANO_REGISTRY_DIR, else ${XDG_DATA_HOME:-$HOME/.local/share}/zelvano/
// registry): the root key names the first folder, each backslash-separated
// key component a further folder, and the last component the file
// "<component>.json". The file is a JSON object whose members are the key's
// text values in the order they were first written, for example
//   {
//     "DisplayName": "Zelvano\u5728\u7ebf",
//     "HelpLink": ""
//   }
// Members hold strings only (the store keeps REG_SZ values); the writer escapes
// '"', '\\', control characters and everything outside ASCII as \uXXXX, so the
// file is plain ASCII. Every change of a value rewrites the key through a
// temporary file that is flushed and renamed over the old one, so a key is
// never seen half written.
#pragma once

#include <string>
#include <utility>
#include <vector>

#include "platform/exception.h"

// windows.h defines the root keys as handle macros; these are names.
#undef HKEY_LOCAL_MACHINE
#undef HKEY_CURRENT_USER

namespace platform {

inline constexpr char16_t HKEY_LOCAL_MACHINE[] = u"HKEY_LOCAL_MACHINE";
inline constexpr char16_t HKEY_CURRENT_USER[] = u"HKEY_CURRENT_USER";

// A failure to change the store: "Failed to set data for '<value name>'".
class ERegistryException : public Exception {
public:
    using Exception::Exception;
};

using TRegistryValues = std::vector<std::pair<std::u16string, std::u16string>>;

// Access to one root key and at most one open key at a time. The root is
// HKEY_LOCAL_MACHINE or HKEY_CURRENT_USER.
class TRegistry {
public:
    explicit TRegistry(std::u16string rootKey = HKEY_LOCAL_MACHINE);
    TRegistry(const TRegistry&) = delete;
    TRegistry& operator=(const TRegistry&) = delete;

    // The Linux store's folder from the environment (see above), in UTF-8
    // bytes (Linux only).
    static std::string StoreFolder();

    // Opens `key` (backslash-separated below the root), creating it when
    // `canCreate` and it is missing. False when the key does not exist and
    // may not or cannot be created, when its name is unusable (an empty
    // name, or a component that is ".", ".." or holds a '/'), or when the
    // key cannot be read (on Linux: its file is not in the store's format).
    bool OpenKey(const std::u16string& key, bool canCreate);
    void CloseKey();
    bool HasCurrentKey() const { return !current_.empty(); }

    bool KeyExists(const std::u16string& key) const;
    // Removes a key with its values. True when it existed. On Linux its
    // sub-keys stay; Windows refuses a key that has sub-keys (false).
    bool DeleteKey(const std::u16string& key);

    // Sets a text value of the open key and stores the key at once. Raises
    // ERegistryException "Failed to set data for '<name>'" when no key is open
    // or the key cannot be stored; the stored key is then unchanged.
    void WriteString(const std::u16string& name, const std::u16string& value);
    // The value's text, empty when the value does not exist. Values are read
    // when the key is opened; Values() lists the text values in the order
    // the system gives them.
    std::u16string ReadString(const std::u16string& name) const;
    bool ValueExists(const std::u16string& name) const;
    const TRegistryValues& Values() const { return values_; }

    // The file that holds `key`, empty for an unusable key name (Linux only).
    std::string KeyFileName(const std::u16string& key) const;

private:
    std::u16string root_;
    std::string current_;  // file of the open key, empty when none
    TRegistryValues values_;
};

// The Linux store's file format, exposed for tests and tools (Linux only).
std::string FormatRegistryValues(const TRegistryValues& values);
// False when `text` is not an object of string members in the format above.
bool ParseRegistryValues(std::string_view text, TRegistryValues& values);

}  // namespace platform
