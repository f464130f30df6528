// Small text helpers shared by the client's sources (ASCII case rules,
// trimming, number reading).
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "platform/codepage.h"

namespace http {

inline char16_t ToUpperAscii(char16_t c) { return (c >= u'a' && c <= u'z') ? static_cast<char16_t>(c - 32) : c; }
inline bool IsAsciiLetter(char16_t c) { return (c >= u'a' && c <= u'z') || (c >= u'A' && c <= u'Z'); }
inline bool IsWhite(char16_t c) { return c <= u' '; }

inline bool EqualsIgnoreCase(std::u16string_view a, std::u16string_view b) {
    if (a.size() != b.size()) return false;
    for (size_t i = 0; i < a.size(); ++i)
        if (ToUpperAscii(a[i]) != ToUpperAscii(b[i])) return false;
    return true;
}

inline bool StartsWithIgnoreCase(std::u16string_view text, std::u16string_view prefix) {
    return text.size() >= prefix.size() && EqualsIgnoreCase(text.substr(0, prefix.size()), prefix);
}

inline bool EndsWithIgnoreCase(std::u16string_view text, std::u16string_view suffix) {
    return text.size() >= suffix.size() && EqualsIgnoreCase(text.substr(text.size() - suffix.size()), suffix);
}

inline bool ContainsIgnoreCase(std::u16string_view text, std::u16string_view part) {
    if (part.empty()) return true;
    for (size_t i = 0; i + part.size() <= text.size(); ++i)
        if (EqualsIgnoreCase(text.substr(i, part.size()), part)) return true;
    return false;
}

inline std::u16string UpperCase(std::u16string_view text) {
    std::u16string result(text);
    for (auto& c : result) c = ToUpperAscii(c);
    return result;
}

// Removes control characters and spaces at both ends.
inline std::u16string Trim(std::u16string_view text) {
    size_t b = 0, e = text.size();
    while (b < e && IsWhite(text[b])) ++b;
    while (e > b && IsWhite(text[e - 1])) --e;
    return std::u16string(text.substr(b, e - b));
}

inline std::u16string TrimRight(std::u16string_view text) {
    size_t e = text.size();
    while (e > 0 && IsWhite(text[e - 1])) --e;
    return std::u16string(text.substr(0, e));
}

inline std::vector<std::u16string_view> Split(std::u16string_view text, char16_t separator) {
    std::vector<std::u16string_view> parts;
    size_t start = 0;
    for (;;) {
        size_t at = text.find(separator, start);
        if (at == std::u16string_view::npos) {
            parts.push_back(text.substr(start));
            return parts;
        }
        parts.push_back(text.substr(start, at - start));
        start = at + 1;
    }
}

inline std::u16string AsciiText(std::string_view ascii) { return std::u16string(ascii.begin(), ascii.end()); }

// Characters above 127 become "?".
inline std::string AsciiBytes(std::u16string_view text) {
    std::string bytes;
    bytes.reserve(text.size());
    for (char16_t c : text) bytes += c < 128 ? static_cast<char>(c) : '?';
    return bytes;
}

inline std::string Utf8Bytes(std::u16string_view text) { return platform::TextToUtf8(text); }

// An optionally signed decimal number that fits 64 bits, nothing else.
inline bool TryReadInt64(std::u16string_view text, int64_t& value) {
    size_t i = 0;
    bool negative = false;
    if (i < text.size() && (text[i] == u'+' || text[i] == u'-')) negative = text[i++] == u'-';
    if (i >= text.size()) return false;
    uint64_t v = 0;
    const uint64_t limit = negative ? uint64_t(INT64_MAX) + 1 : uint64_t(INT64_MAX);
    for (; i < text.size(); ++i) {
        char16_t c = text[i];
        if (c < u'0' || c > u'9') return false;
        unsigned digit = c - u'0';
        if (v > (limit - digit) / 10) return false;
        v = v * 10 + digit;
    }
    value = negative ? static_cast<int64_t>(0 - v) : static_cast<int64_t>(v);
    return true;
}

// Decimal digits only (no sign, no space) that fit 64 bits signed.
inline bool TryReadDigits(std::u16string_view text, int64_t& value) {
    return !text.empty() && text[0] != u'+' && text[0] != u'-' && TryReadInt64(text, value);
}

inline std::string Base64Encode(std::string_view bytes) {
    static const char* alphabet = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
    std::string out;
    size_t i = 0;
    for (; i + 2 < bytes.size(); i += 3) {
        uint32_t n = (uint8_t(bytes[i]) << 16) | (uint8_t(bytes[i + 1]) << 8) | uint8_t(bytes[i + 2]);
        out += alphabet[n >> 18];
        out += alphabet[(n >> 12) & 63];
        out += alphabet[(n >> 6) & 63];
        out += alphabet[n & 63];
    }
    if (i < bytes.size()) {
        uint32_t n = uint8_t(bytes[i]) << 16;
        if (i + 1 < bytes.size()) n |= uint8_t(bytes[i + 1]) << 8;
        out += alphabet[n >> 18];
        out += alphabet[(n >> 12) & 63];
        out += i + 1 < bytes.size() ? alphabet[(n >> 6) & 63] : '=';
        out += '=';
    }
    return out;
}

}  // namespace http
