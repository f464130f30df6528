// Number conversions and number texts.
#include "json/jsonnumber.h"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <cstring>
#include <limits>
#include <string>

#include "json/JsonTexts.h"
#include "json/jsonvalue.h"

namespace json {

namespace {
constexpr int64_t kMax = std::numeric_limits<int64_t>::max();
constexpr int64_t kMin = std::numeric_limits<int64_t>::min();

bool IsDigit(char16_t c) { return c >= u'0' && c <= u'9'; }

// from_chars over an ASCII copy; the text must hold only number characters.
// A value beyond the double range gives infinity or zero by the exponent's
// direction.
double AsciiToDouble(const char* p, const char* end) {
    bool neg = false;
    if (p < end && (*p == '-' || *p == '+')) {
        neg = *p == '-';
        ++p;
    }
    double v = 0;
    auto r = std::from_chars(p, end, v, std::chars_format::general);
    if (r.ec == std::errc::result_out_of_range) {
        const char* e = static_cast<const char*>(std::memchr(p, 'e', end - p));
        if (!e) e = static_cast<const char*>(std::memchr(p, 'E', end - p));
        bool tiny = e && e + 1 < end && e[1] == '-';
        v = tiny ? 0.0 : std::numeric_limits<double>::infinity();
    } else if (r.ec != std::errc()) {
        v = 0;
    }
    return neg ? -v : v;
}
}  // namespace

int64_t RoundHalfEven(double d) {
    if (std::isnan(d)) return 0;
    if (d >= 9223372036854775807.0) return kMax;
    if (d <= -9223372036854775808.0) return kMin;
    double f = std::floor(d);
    double diff = d - f;
    if (diff > 0.5 || (diff == 0.5 && std::fmod(f, 2.0) != 0)) f += 1;
    if (f >= 9223372036854775807.0) return kMax;
    return static_cast<int64_t>(f);
}

int64_t CurrencyRoundToInt(int64_t scaled) {
    int64_t q = scaled / 10000;
    int64_t r = scaled % 10000;
    if (r > 5000 || (r == 5000 && (q & 1))) ++q;
    else if (r < -5000 || (r == -5000 && (q & 1))) --q;
    return q;
}

int64_t SaturatingMul(int64_t a, int64_t b) {
    // Portable overflow check: 32-bit targets have no 128-bit integer.
    int64_t r;
    if (!__builtin_mul_overflow(a, b, &r)) return r;
    return (a < 0) != (b < 0) ? kMin : kMax;
}

bool TextToInt(std::u16string_view s, int64_t& value) {
    size_t i = 0, n = s.size();
    while (i < n && s[i] == u' ') ++i;
    bool neg = false;
    if (i < n && (s[i] == u'-' || s[i] == u'+')) neg = s[i++] == u'-';
    bool hex = false;
    if (i < n && (s[i] == u'$' || s[i] == u'x' || s[i] == u'X')) {
        hex = true;
        ++i;
    } else if (i + 1 < n && s[i] == u'0' && (s[i + 1] == u'x' || s[i + 1] == u'X')) {
        hex = true;
        i += 2;
    }
    if (i >= n) return false;
    uint64_t u = 0;
    if (hex) {
        int significant = 0;
        for (; i < n; ++i) {
            int h = HexDigit(s[i]);
            if (h < 0) return false;
            if (u != 0 || h != 0) ++significant;
            if (significant > 16) return false;
            u = (u << 4) | static_cast<uint64_t>(h);
        }
        int64_t v = static_cast<int64_t>(u);
        value = neg ? static_cast<int64_t>(0 - u) : v;
        return true;
    }
    for (; i < n; ++i) {
        if (!IsDigit(s[i])) return false;
        uint64_t d = s[i] - u'0';
        if (u > (uint64_t(kMax) + 1 - d) / 10) return false;
        u = u * 10 + d;
    }
    if (!neg && u > uint64_t(kMax)) return false;
    value = neg ? static_cast<int64_t>(0 - u) : static_cast<int64_t>(u);
    return true;
}

bool TextToDouble(std::u16string_view s, double& value) {
    size_t i = 0, n = s.size();
    while (i < n && s[i] == u' ') ++i;
    std::string ascii;
    if (i < n && (s[i] == u'-' || s[i] == u'+')) ascii += static_cast<char>(s[i++]);
    int digits = 0;
    while (i < n && IsDigit(s[i])) ascii += static_cast<char>(s[i++]), ++digits;
    if (i < n && s[i] == u'.') {
        ascii += '.';
        ++i;
        while (i < n && IsDigit(s[i])) ascii += static_cast<char>(s[i++]), ++digits;
    }
    if (digits == 0) return false;
    if (i < n && (s[i] == u'e' || s[i] == u'E')) {
        ascii += 'e';
        ++i;
        if (i < n && (s[i] == u'-' || s[i] == u'+')) ascii += static_cast<char>(s[i++]);
        int expDigits = 0;
        while (i < n && IsDigit(s[i])) ascii += static_cast<char>(s[i++]), ++expDigits;
        if (expDigits == 0) return false;
    }
    if (i != n) return false;
    value = AsciiToDouble(ascii.data(), ascii.data() + ascii.size());
    return true;
}

int64_t LeadingInteger(const char16_t* s, int n) {
    int i = 0;
    bool neg = false;
    if (i < n && (s[i] == u'-' || s[i] == u'+')) neg = s[i++] == u'-';
    uint64_t u = 0;
    const uint64_t limit = neg ? uint64_t(kMax) + 1 : uint64_t(kMax);
    for (; i < n && IsDigit(s[i]); ++i) {
        uint64_t d = s[i] - u'0';
        if (u > (limit - d) / 10) {
            u = limit;
            break;
        }
        u = u * 10 + d;
    }
    return neg ? static_cast<int64_t>(0 - u) : static_cast<int64_t>(u);
}

double LeadingDouble(const char16_t* s, int n) {
    char local[64];
    std::string big;
    char* a = local;
    if (n > static_cast<int>(sizeof local)) {
        big.resize(n);
        a = big.data();
    }
    for (int i = 0; i < n; ++i) a[i] = static_cast<char>(s[i]);
    return AsciiToDouble(a, a + n);
}

namespace {
int CopyAscii(const char* s, int n, char16_t* out) {
    for (int i = 0; i < n; ++i) out[i] = static_cast<unsigned char>(s[i]);
    return n;
}
template <size_t N>
int CopyText(const char16_t (&s)[N], char16_t* out) {
    std::copy(s, s + N - 1, out);
    return static_cast<int>(N - 1);
}
}  // namespace

int FormatInt(int64_t v, char16_t* out) {
    char buf[24];
    auto r = std::to_chars(buf, buf + sizeof buf, v);
    return CopyAscii(buf, static_cast<int>(r.ptr - buf), out);
}

int FormatDouble(double d, char16_t* out) {
    int k = 0;
    if (std::isnan(d)) return CopyText(texts::kNan, out);
    if (std::isinf(d)) {
        if (d < 0) out[k++] = u'-';
        return k + CopyText(texts::kInf, out + k);
    }
    if (d == 0) {
        out[0] = u'0';
        return 1;
    }
    if (d < 0) {
        out[k++] = u'-';
        d = -d;
    }
    // 15 significant digits, rounded: "d.dddddddddddddde+XX".
    char buf[40];
    auto r = std::to_chars(buf, buf + sizeof buf, d, std::chars_format::scientific, 14);
    std::string_view text(buf, r.ptr - buf);
    size_t epos = text.find('e');
    char digits[16];
    int nd = 0;
    for (size_t i = 0; i < epos; ++i)
        if (text[i] != '.') digits[nd++] = text[i];
    while (nd > 1 && digits[nd - 1] == '0') --nd;
    int exp10 = 0;
    std::from_chars(text.data() + epos + (text[epos + 1] == '+' ? 2 : 1), text.data() + text.size(),
                    exp10);
    int e = exp10 + 1;  // value = 0.d1d2... x 10^e
    if (e >= -3 && e <= 15) {
        if (e <= 0) {
            out[k++] = u'0';
            out[k++] = u'.';
            for (int i = 0; i < -e; ++i) out[k++] = u'0';
            for (int i = 0; i < nd; ++i) out[k++] = digits[i];
        } else {
            for (int i = 0; i < e; ++i) out[k++] = i < nd ? digits[i] : u'0';
            if (nd > e) {
                out[k++] = u'.';
                for (int i = e; i < nd; ++i) out[k++] = digits[i];
            }
        }
        return k;
    }
    out[k++] = digits[0];
    if (nd > 1) {
        out[k++] = u'.';
        for (int i = 1; i < nd; ++i) out[k++] = digits[i];
    }
    out[k++] = u'E';
    int x = e - 1;
    if (x < 0) {
        out[k++] = u'-';
        x = -x;
    }
    char eb[8];
    auto er = std::to_chars(eb, eb + sizeof eb, x);
    return k + CopyAscii(eb, static_cast<int>(er.ptr - eb), out + k);
}

int FormatCurrency(int64_t scaled, char16_t* out) {
    int k = 0;
    uint64_t u = static_cast<uint64_t>(scaled);
    if (scaled < 0) {
        out[k++] = u'-';
        u = 0 - u;
    }
    char buf[24];
    auto r = std::to_chars(buf, buf + sizeof buf, u / 10000);
    k += CopyAscii(buf, static_cast<int>(r.ptr - buf), out + k);
    unsigned frac = static_cast<unsigned>(u % 10000);
    if (frac) {
        out[k++] = u'.';
        char f[4] = {char('0' + frac / 1000), char('0' + frac / 100 % 10), char('0' + frac / 10 % 10),
                     char('0' + frac % 10)};
        int nf = 4;
        while (f[nf - 1] == '0') --nf;
        k += CopyAscii(f, nf, out + k);
    }
    return k;
}

std::u16string IntToText(int64_t v) {
    char16_t b[32];
    return std::u16string(b, FormatInt(v, b));
}
std::u16string DoubleToText(double d) {
    char16_t b[40];
    return std::u16string(b, FormatDouble(d, b));
}
std::u16string CurrencyToText(Currency c) {
    char16_t b[32];
    return std::u16string(b, FormatCurrency(c.scaled, b));
}

}  // namespace json
