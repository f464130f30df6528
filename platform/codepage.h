// Conversions between 8-bit code pages and UTF-16 text.
//
// The program's text is UTF-16 (std::u16string); 8-bit text holds bytes of a
// numbered code page. Code pages are named by their Windows numbers (437, 936,
// 1252, 65001, ...). UTF-8, UTF-16 and ISO-8859-1 are converted by this
// layer's own code; every other code page by the system: glibc's iconv on
// Linux, MultiByteToWideChar and WideCharToMultiByte on Windows.
//
// The system's ANSI and OEM code pages: on Windows GetACP and GetOEMCP; on
// Linux, which has none, they come from the environment:
//   ANSI: $ZELVANO_ANSI_CODEPAGE, else 65001 under a UTF-8 locale, else 1252;
//   OEM:  $ZELVANO_OEM_CODEPAGE, else 437.
#pragma once

#include <string>
#include <string_view>

namespace platform {

inline constexpr unsigned kCodePageUtf16 = 1200;
inline constexpr unsigned kCodePageUtf7 = 65000;
inline constexpr unsigned kCodePageUtf8 = 65001;
inline constexpr unsigned kCodePageLatin1 = 28591;

unsigned AnsiCodePage();
unsigned OemCodePage();

// True when bytes of this code page can be converted here.
bool CodePageAvailable(unsigned codePage);

// Bytes of `codePage` to text. A byte sequence the code page does not define
// becomes U+FFFD, one per offending byte. An unavailable code page decodes as
// ISO-8859-1 (every byte becomes the character of the same number).
std::u16string BytesToText(unsigned codePage, std::string_view bytes);

// Text to bytes of `codePage`. A character the code page lacks becomes
// `defaultChar`. An unavailable code page encodes as ISO-8859-1.
std::string TextToBytes(unsigned codePage, std::u16string_view text, char defaultChar = '?');

// Re-encodes bytes from one code page to another (through text).
std::string ConvertBytes(unsigned fromCodePage, unsigned toCodePage, std::string_view bytes,
                         char defaultChar = '?');

// UTF-8 <-> UTF-16 without iconv. Invalid UTF-8 (bad lead or continuation
// bytes, overlong forms, surrogates, values above U+10FFFF) becomes U+FFFD per
// offending byte; an unpaired surrogate in text is written as U+FFFD.
std::u16string Utf8ToText(std::string_view bytes);
std::string TextToUtf8(std::u16string_view text);

// The system's part of the conversions, for code pages other than the three
// above (used by the functions above; false when the system cannot convert).
bool SystemCodePageAvailable(unsigned codePage);
bool SystemBytesToText(unsigned codePage, std::string_view bytes, std::u16string& out);
bool SystemTextToBytes(unsigned codePage, std::u16string_view text, char defaultChar, std::string& out);

// Convenience for ASCII literals and diagnostics.
inline std::u16string AsciiToText(std::string_view ascii) {
    return std::u16string(ascii.begin(), ascii.end());
}

}  // namespace platform
