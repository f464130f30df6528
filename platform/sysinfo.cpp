#include "platform/sysinfo.h"

#include <charconv>
#include <string_view>
#include <vector>

namespace platform {
namespace {

bool ParseNumber(std::string_view text, uint64_t& value) {
    int base = 10;
    if (text.size() > 2 && text[0] == '0' && (text[1] == 'x' || text[1] == 'X')) {
        text.remove_prefix(2);
        base = 16;
    }
    if (text.empty()) return false;
    auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), value, base);
    return ec == std::errc() && end == text.data() + text.size();
}

}  // namespace

std::optional<TOSVersionRecord> ParseOSVersion(const std::string& text) {
    std::vector<std::string_view> parts;
    std::string_view rest(text);
    while (true) {
        size_t dot = rest.find('.');
        parts.push_back(rest.substr(0, dot));
        if (dot == std::string_view::npos) break;
        rest.remove_prefix(dot + 1);
    }
    if (parts.size() < 2 || parts.size() > 4) return std::nullopt;
    uint64_t values[4] = {0, 0, VER_NT_WORKSTATION, 0};
    const uint64_t limits[4] = {UINT32_MAX, UINT32_MAX, UINT8_MAX, UINT16_MAX};
    for (size_t i = 0; i < parts.size(); ++i)
        if (!ParseNumber(parts[i], values[i]) || values[i] > limits[i]) return std::nullopt;
    TOSVersionRecord record;
    record.MajorVersion = static_cast<uint32_t>(values[0]);
    record.MinorVersion = static_cast<uint32_t>(values[1]);
    record.ProductType = static_cast<uint8_t>(values[2]);
    record.SuiteMask = static_cast<uint16_t>(values[3]);
    return record;
}

}  // namespace platform
