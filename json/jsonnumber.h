// Number conversions of the JSON subsystem: reading texts as numbers, the
// rounding rules, and the number texts the writer prints.
#pragma once

#include <cstdint>
#include <string_view>

namespace json {

// The value of a hexadecimal digit (0-9, A-F, a-f), -1 for any other unit.
inline int HexDigit(char16_t c) {
    if (c >= u'0' && c <= u'9') return c - u'0';
    if (c >= u'a' && c <= u'f') return c - u'a' + 10;
    if (c >= u'A' && c <= u'F') return c - u'A' + 10;
    return -1;
}

// Nearest integer, halves to the even neighbour; NaN gives 0, values beyond
// the 64-bit range the nearest end of it.
int64_t RoundHalfEven(double d);
// A currency's stored value (times 10000) rounded to an integer, halves to even.
int64_t CurrencyRoundToInt(int64_t scaled);
// a * b, held at the ends of the 64-bit range instead of wrapping.
int64_t SaturatingMul(int64_t a, int64_t b);

// The whole text as an integer: leading blanks, an optional sign, decimal
// digits or hexadecimal digits after "$", "x", "X", "0x" or "0X". False when
// anything else follows, no digit comes, or a decimal value leaves the 64-bit
// range (up to 16 hexadecimal digits give the 64-bit pattern).
bool TextToInt(std::u16string_view s, int64_t& value);
// The whole text as a decimal number: leading blanks, an optional sign,
// digits with one optional "." and an optional exponent.
bool TextToDouble(std::u16string_view s, double& value);

// The tokenizer's readings of a number token (only + - . digits E e), which
// take the valid leading part and ignore the rest.
int64_t LeadingInteger(const char16_t* s, int n);
double LeadingDouble(const char16_t* s, int n);

// Number texts; `out` needs room for 32 units. Return the length.
int FormatInt(int64_t v, char16_t* out);
int FormatDouble(double d, char16_t* out);
int FormatCurrency(int64_t scaled, char16_t* out);

}  // namespace json
