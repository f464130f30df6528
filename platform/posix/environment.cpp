#include "platform/environment.h"

#include <cstdlib>

#include "platform/codepage.h"

namespace platform {

std::u16string GetEnvironmentVariable(const std::u16string& name) {
    const char* value = std::getenv(TextToUtf8(name).c_str());
    return value ? Utf8ToText(value) : std::u16string();
}

bool EnvironmentVariableSet(const std::u16string& name) {
    return std::getenv(TextToUtf8(name).c_str()) != nullptr;
}

}  // namespace platform
