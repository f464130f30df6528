// The parts of the registry access that do not depend on the system.
#include "platform/registry.h"

namespace platform {

TRegistry::TRegistry(std::u16string rootKey) : root_(std::move(rootKey)) {}

void TRegistry::CloseKey() {
    current_.clear();
    values_.clear();
}

std::u16string TRegistry::ReadString(const std::u16string& name) const {
    for (const auto& nv : values_)
        if (nv.first == name) return nv.second;
    return {};
}

bool TRegistry::ValueExists(const std::u16string& name) const {
    for (const auto& nv : values_)
        if (nv.first == name) return true;
    return false;
}

}  // namespace platform
