#include "platform/codepage.h"

#include <iconv.h>

#include <cerrno>
#include <cstdlib>
#include <cctype>
#include <cstring>
#include <mutex>
#include <string>
#include <unordered_map>

namespace platform {
namespace {

unsigned CodePageFromEnv(const char* name, unsigned fallback) {
    const char* value = std::getenv(name);
    if (value == nullptr || *value == '\0') return fallback;
    char* end = nullptr;
    unsigned long cp = std::strtoul(value, &end, 10);
    if (end == value || *end != '\0' || cp == 0 || cp > 65535) return fallback;
    return static_cast<unsigned>(cp);
}

bool LocaleIsUtf8() {
    // The program never calls setlocale itself, so ask the environment the
    // way setlocale(LC_CTYPE, "") would resolve it.
    for (const char* var : {"LC_ALL", "LC_CTYPE", "LANG"}) {
        const char* value = std::getenv(var);
        if (value == nullptr || *value == '\0') continue;
        std::string v(value);
        for (auto& c : v) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
        return v.find("utf-8") != std::string::npos || v.find("utf8") != std::string::npos;
    }
    return false;
}

// The iconv name of a Windows code page number.
std::string IconvName(unsigned cp) {
    switch (cp) {
        case kCodePageUtf16: return "UTF-16LE";
        case 1201: return "UTF-16BE";
        case kCodePageUtf7: return "UTF-7";
        case kCodePageUtf8: return "UTF-8";
        case 20127: return "ASCII";
        case 20866: return "KOI8-R";
        case 21866: return "KOI8-U";
        case 28605: return "ISO-8859-15";
        case 936: return "GBK";
        case 54936: return "GB18030";
        case 52936: return "HZ";
        case 950: return "BIG5";
        case 932: return "CP932";
        case 949: return "CP949";
        case 51932: return "EUC-JP";
        case 51949: return "EUC-KR";
        default: break;
    }
    if (cp >= 28591 && cp <= 28599) return "ISO-8859-" + std::to_string(cp - 28590);
    if (cp == 437 || cp == 850 || cp == 852 || cp == 855 || cp == 857 || cp == 860 ||
        cp == 861 || cp == 862 || cp == 863 || cp == 865 || cp == 866 || cp == 869) {
        return "IBM" + std::to_string(cp);
    }
    return "CP" + std::to_string(cp);
}

// One opened conversion per direction and code page, probed once.
struct Converters {
    std::mutex mutex;
    std::unordered_map<unsigned, bool> available;
};

Converters& Shared() {
    static Converters c;
    return c;
}

constexpr const char* kWide = "UTF-16LE";

class Iconv {
public:
    Iconv(const std::string& to, const std::string& from)
        : cd_(iconv_open(to.c_str(), from.c_str())) {}
    ~Iconv() {
        if (ok()) iconv_close(cd_);
    }
    Iconv(const Iconv&) = delete;
    Iconv& operator=(const Iconv&) = delete;
    bool ok() const { return cd_ != reinterpret_cast<iconv_t>(-1); }
    iconv_t get() const { return cd_; }

private:
    iconv_t cd_;
};

}  // namespace

unsigned AnsiCodePage() {
    return CodePageFromEnv("ZELVANO_ANSI_CODEPAGE", LocaleIsUtf8() ? kCodePageUtf8 : 1252);
}

unsigned OemCodePage() { return CodePageFromEnv("ZELVANO_OEM_CODEPAGE", 437); }

bool SystemCodePageAvailable(unsigned codePage) {
    auto& shared = Shared();
    std::lock_guard<std::mutex> lock(shared.mutex);
    auto it = shared.available.find(codePage);
    if (it != shared.available.end()) return it->second;
    Iconv probe(kWide, IconvName(codePage));
    shared.available.emplace(codePage, probe.ok());
    return probe.ok();
}

bool SystemBytesToText(unsigned codePage, std::string_view bytes, std::u16string& out) {
    Iconv cd(kWide, IconvName(codePage));
    if (!cd.ok()) return false;

    out.clear();
    out.reserve(bytes.size());
    char* in = const_cast<char*>(bytes.data());
    size_t inLeft = bytes.size();
    char16_t buffer[4096];
    while (inLeft > 0) {
        char* outPtr = reinterpret_cast<char*>(buffer);
        size_t outLeft = sizeof(buffer);
        size_t rc = iconv(cd.get(), &in, &inLeft, &outPtr, &outLeft);
        out.append(buffer, (sizeof(buffer) - outLeft) / sizeof(char16_t));
        if (rc != static_cast<size_t>(-1)) continue;
        if (errno == E2BIG) continue;
        // EILSEQ or EINVAL (truncated sequence): one replacement per byte.
        out.push_back(u'\uFFFD');
        ++in;
        --inLeft;
        iconv(cd.get(), nullptr, nullptr, nullptr, nullptr);
    }
    // Flush any shift state (stateful encodings such as UTF-7 or HZ).
    char* outPtr = reinterpret_cast<char*>(buffer);
    size_t outLeft = sizeof(buffer);
    iconv(cd.get(), nullptr, nullptr, &outPtr, &outLeft);
    out.append(buffer, (sizeof(buffer) - outLeft) / sizeof(char16_t));
    return true;
}

bool SystemTextToBytes(unsigned codePage, std::u16string_view text, char defaultChar, std::string& out) {
    Iconv cd(IconvName(codePage), kWide);
    if (!cd.ok()) return false;

    out.clear();
    out.reserve(text.size());
    char* in = reinterpret_cast<char*>(const_cast<char16_t*>(text.data()));
    size_t inLeft = text.size() * sizeof(char16_t);
    char buffer[4096];
    while (inLeft > 0) {
        char* outPtr = buffer;
        size_t outLeft = sizeof(buffer);
        size_t rc = iconv(cd.get(), &in, &inLeft, &outPtr, &outLeft);
        out.append(buffer, sizeof(buffer) - outLeft);
        if (rc != static_cast<size_t>(-1)) continue;
        if (errno == E2BIG) continue;
        // A character the code page lacks (or a lone surrogate): skip the
        // whole UTF-16 unit, or pair, and write the default character.
        char16_t unit = static_cast<char16_t>(static_cast<unsigned char>(in[0]) |
                                              (static_cast<unsigned char>(in[1]) << 8));
        size_t skip = 2;
        if (unit >= 0xD800 && unit <= 0xDBFF && inLeft >= 4) {
            char16_t next = static_cast<char16_t>(static_cast<unsigned char>(in[2]) |
                                                  (static_cast<unsigned char>(in[3]) << 8));
            if (next >= 0xDC00 && next <= 0xDFFF) skip = 4;
        }
        if (skip > inLeft) skip = inLeft;
        out.push_back(defaultChar);
        in += skip;
        inLeft -= skip;
        iconv(cd.get(), nullptr, nullptr, nullptr, nullptr);
    }
    char* outPtr = buffer;
    size_t outLeft = sizeof(buffer);
    iconv(cd.get(), nullptr, nullptr, &outPtr, &outLeft);
    out.append(buffer, sizeof(buffer) - outLeft);
    return true;
}

}  // namespace platform
