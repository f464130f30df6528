#include "platform/environment.h"

#include <vector>

#include "platform/win32/win32.h"

namespace platform {

std::u16string GetEnvironmentVariable(const std::u16string& name) {
    std::vector<wchar_t> buffer(256);
    for (;;) {
        DWORD length = ::GetEnvironmentVariableW(win32::Wide(name), buffer.data(), static_cast<DWORD>(buffer.size()));
        if (length == 0) return {};
        if (length < buffer.size()) return win32::Text(buffer.data(), length);
        buffer.resize(length);
    }
}

bool EnvironmentVariableSet(const std::u16string& name) {
    wchar_t probe[1];
    SetLastError(ERROR_SUCCESS);
    DWORD length = ::GetEnvironmentVariableW(win32::Wide(name), probe, 1);
    return length != 0 || GetLastError() != ERROR_ENVVAR_NOT_FOUND;
}

}  // namespace platform
