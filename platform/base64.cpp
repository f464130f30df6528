// Strict base64 decoding, the same on every system.
#include "platform/signature.h"

#include <cstdint>

namespace platform {

namespace {

int Sextet(char c) {
    if (c >= 'A' && c <= 'Z') return c - 'A';
    if (c >= 'a' && c <= 'z') return c - 'a' + 26;
    if (c >= '0' && c <= '9') return c - '0' + 52;
    if (c == '+') return 62;
    if (c == '/') return 63;
    return -1;
}

}  // namespace

bool DecodeBase64(std::string_view text, std::string& bytes) {
    bytes.clear();
    if (text.empty() || text.size() % 4 != 0) return false;
    size_t padding = 0;
    if (text.back() == '=') padding = text[text.size() - 2] == '=' ? 2 : 1;
    bytes.reserve(text.size() / 4 * 3);
    for (size_t i = 0; i < text.size(); i += 4) {
        const bool last = i + 4 == text.size();
        const size_t digits = last ? 4 - padding : 4;
        uint32_t group = 0;
        for (size_t k = 0; k < 4; ++k) {
            int value = 0;
            if (k < digits) {
                value = Sextet(text[i + k]);
                if (value < 0) return false;
            }
            group = group << 6 | static_cast<uint32_t>(value);
        }
        // Bits below the last byte must be zero in a canonical encoding.
        if (digits == 3 && (group & 0xFF) != 0) return false;
        if (digits == 2 && (group & 0xFFFF) != 0) return false;
        bytes.push_back(static_cast<char>(group >> 16));
        if (digits > 2) bytes.push_back(static_cast<char>(group >> 8 & 0xFF));
        if (digits > 3) bytes.push_back(static_cast<char>(group & 0xFF));
    }
    return true;
}

}  // namespace platform
