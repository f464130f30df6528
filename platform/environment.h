// The process environment as text.
#pragma once

#include <string>

#undef GetEnvironmentVariable  // windows.h's name for GetEnvironmentVariableW

namespace platform {

// The value of an environment variable; empty text when it is not set.
std::u16string GetEnvironmentVariable(const std::u16string& name);
bool EnvironmentVariableSet(const std::u16string& name);

}  // namespace platform
