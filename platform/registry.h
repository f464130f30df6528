// The key store that stands in for the system registry.
//
// Every key is one small file below the store folder
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

namespace platform {

inline constexpr char16_t HKEY_LOCAL_MACHINE[] = u"HKEY_LOCAL_MACHINE";
inline constexpr char16_t HKEY_CURRENT_USER[] = u"HKEY_CURRENT_USER";

// A failure to change the store: "Failed to set data for '<value name>'".
class ERegistryException : public Exception {
public:
    using Exception::Exception;
};

using TRegistryValues = std::vector<std::pair<std::u16string, std::u16string>>;

// Access to one root key of the store and at most one open key at a time.
class TRegistry {
public:
    explicit TRegistry(std::u16string rootKey = HKEY_LOCAL_MACHINE);
    TRegistry(const TRegistry&) = delete;
    TRegistry& operator=(const TRegistry&) = delete;

    // The store folder from the environment (see above), in UTF-8 bytes.
    static std::string StoreFolder();

    // Opens `key` (backslash-separated below the root), creating its file and
    // folders when `canCreate` and it is missing. False when the key does not
    // exist and may not or cannot be created, when its name is unusable (an
    // empty name, or a component that is ".", ".." or holds a '/'), or when
    // its file is not in the store's format.
    bool OpenKey(const std::u16string& key, bool canCreate);
    void CloseKey();
    bool HasCurrentKey() const { return !current_.empty(); }

    bool KeyExists(const std::u16string& key) const;
    // Removes a key's file; its sub-keys stay. True when it existed.
    bool DeleteKey(const std::u16string& key);

    // Sets a text value of the open key and stores the key at once. Raises
    // ERegistryException "Failed to set data for '<name>'" when no key is open
    // or the key cannot be stored; the stored key is then unchanged.
    void WriteString(const std::u16string& name, const std::u16string& value);
    // The value's text, empty when the value does not exist.
    std::u16string ReadString(const std::u16string& name) const;
    bool ValueExists(const std::u16string& name) const;
    const TRegistryValues& Values() const { return values_; }

    // The file that holds `key`, empty for an unusable key name.
    std::string KeyFileName(const std::u16string& key) const;

private:
    std::u16string root_;
    std::string current_;  // file of the open key, empty when none
    TRegistryValues values_;
};

// The store's file format, exposed for tests and tools.
std::string FormatRegistryValues(const TRegistryValues& values);
// False when `text` is not an object of string members in the format above.
bool ParseRegistryValues(std::string_view text, TRegistryValues& values);

}  // namespace platform
