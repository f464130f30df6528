#include "platform/codepage.h"

namespace platform {
namespace {

std::u16string Latin1ToText(std::string_view bytes) {
    std::u16string out(bytes.size(), u'\0');
    for (size_t i = 0; i < bytes.size(); ++i) out[i] = static_cast<unsigned char>(bytes[i]);
    return out;
}

std::string TextToLatin1(std::u16string_view text, char defaultChar) {
    std::string out(text.size(), '\0');
    for (size_t i = 0; i < text.size(); ++i)
        out[i] = text[i] < 0x100 ? static_cast<char>(text[i]) : defaultChar;
    return out;
}

}  // namespace

bool CodePageAvailable(unsigned codePage) {
    if (codePage == kCodePageUtf8 || codePage == kCodePageLatin1 || codePage == kCodePageUtf16)
        return true;
    return codePage != 0 && SystemCodePageAvailable(codePage);
}

std::u16string BytesToText(unsigned codePage, std::string_view bytes) {
    if (codePage == kCodePageUtf8) return Utf8ToText(bytes);
    if (codePage == kCodePageLatin1 || !CodePageAvailable(codePage)) return Latin1ToText(bytes);
    if (codePage == kCodePageUtf16) {
        std::u16string out(bytes.size() / 2, u'\0');
        for (size_t i = 0; i < out.size(); ++i)
            out[i] = static_cast<char16_t>(static_cast<unsigned char>(bytes[2 * i]) |
                                           (static_cast<unsigned char>(bytes[2 * i + 1]) << 8));
        if (bytes.size() % 2) out.push_back(u'\uFFFD');
        return out;
    }
    std::u16string out;
    if (!SystemBytesToText(codePage, bytes, out)) return Latin1ToText(bytes);
    return out;
}

std::string TextToBytes(unsigned codePage, std::u16string_view text, char defaultChar) {
    if (codePage == kCodePageUtf8) return TextToUtf8(text);
    if (codePage == kCodePageLatin1 || !CodePageAvailable(codePage))
        return TextToLatin1(text, defaultChar);
    if (codePage == kCodePageUtf16) {
        std::string out(text.size() * 2, '\0');
        for (size_t i = 0; i < text.size(); ++i) {
            out[2 * i] = static_cast<char>(text[i] & 0xFF);
            out[2 * i + 1] = static_cast<char>(text[i] >> 8);
        }
        return out;
    }
    std::string out;
    if (!SystemTextToBytes(codePage, text, defaultChar, out)) return TextToLatin1(text, defaultChar);
    return out;
}

std::string ConvertBytes(unsigned fromCodePage, unsigned toCodePage, std::string_view bytes,
                         char defaultChar) {
    return TextToBytes(toCodePage, BytesToText(fromCodePage, bytes), defaultChar);
}

std::u16string Utf8ToText(std::string_view bytes) {
    std::u16string out;
    out.reserve(bytes.size());
    const auto* p = reinterpret_cast<const unsigned char*>(bytes.data());
    const size_t n = bytes.size();
    size_t i = 0;
    while (i < n) {
        unsigned char b = p[i];
        if (b < 0x80) {
            out.push_back(b);
            ++i;
            continue;
        }
        size_t len;
        char32_t cp;
        char32_t min;
        if (b >= 0xC2 && b <= 0xDF) {
            len = 2, cp = b & 0x1F, min = 0x80;
        } else if (b >= 0xE0 && b <= 0xEF) {
            len = 3, cp = b & 0x0F, min = 0x800;
        } else if (b >= 0xF0 && b <= 0xF4) {
            len = 4, cp = b & 0x07, min = 0x10000;
        } else {
            out.push_back(u'\uFFFD');
            ++i;
            continue;
        }
        size_t k = 1;
        for (; k < len && i + k < n && (p[i + k] & 0xC0) == 0x80; ++k) cp = (cp << 6) | (p[i + k] & 0x3F);
        if (k < len || cp < min || cp > 0x10FFFF || (cp >= 0xD800 && cp <= 0xDFFF)) {
            out.push_back(u'\uFFFD');
            ++i;
            continue;
        }
        if (cp >= 0x10000) {
            cp -= 0x10000;
            out.push_back(static_cast<char16_t>(0xD800 + (cp >> 10)));
            out.push_back(static_cast<char16_t>(0xDC00 + (cp & 0x3FF)));
        } else {
            out.push_back(static_cast<char16_t>(cp));
        }
        i += len;
    }
    return out;
}

std::string TextToUtf8(std::u16string_view text) {
    std::string out;
    out.reserve(text.size());
    for (size_t i = 0; i < text.size(); ++i) {
        char32_t cp = text[i];
        if (cp < 0x80) {
            out.push_back(static_cast<char>(cp));
            continue;
        }
        if (cp >= 0xD800 && cp <= 0xDBFF && i + 1 < text.size() && text[i + 1] >= 0xDC00 &&
            text[i + 1] <= 0xDFFF) {
            cp = 0x10000 + ((cp - 0xD800) << 10) + (text[i + 1] - 0xDC00);
            ++i;
        } else if (cp >= 0xD800 && cp <= 0xDFFF) {
            cp = 0xFFFD;
        }
        if (cp < 0x800) {
            out.push_back(static_cast<char>(0xC0 | (cp >> 6)));
            out.push_back(static_cast<char>(0x80 | (cp & 0x3F)));
        } else if (cp < 0x10000) {
            out.push_back(static_cast<char>(0xE0 | (cp >> 12)));
            out.push_back(static_cast<char>(0x80 | ((cp >> 6) & 0x3F)));
            out.push_back(static_cast<char>(0x80 | (cp & 0x3F)));
        } else {
            out.push_back(static_cast<char>(0xF0 | (cp >> 18)));
            out.push_back(static_cast<char>(0x80 | ((cp >> 12) & 0x3F)));
            out.push_back(static_cast<char>(0x80 | ((cp >> 6) & 0x3F)));
            out.push_back(static_cast<char>(0x80 | (cp & 0x3F)));
        }
    }
    return out;
}

}  // namespace platform
