#include "platform/codepage.h"

#include <gtest/gtest.h>

#include <cstdlib>

using platform::BytesToText;
using platform::TextToBytes;
using platform::TextToUtf8;
using platform::Utf8ToText;

TEST(CodePage, Utf8DecodingReplacesEachInvalidByte) {
    struct Case {
        std::string bytes;
        std::u16string text;
    };
    const Case cases[] = {
        {"abc", u"abc"},
        {"\xE4\xB8\xAD\xE6\x96\x87", u"中文"},
        {"\xF0\x9F\x98\x80", u"\U0001F600"},
        {"\xFF", u"\uFFFD"},
        {"a\x80z", u"a\uFFFDz"},
        {"\xC0\xAF", u"\uFFFD\uFFFD"},            // overlong '/'
        {"\xED\xA0\x80", u"\uFFFD\uFFFD\uFFFD"},  // encoded surrogate
        {"\xE4\xB8", u"\uFFFD\uFFFD"},            // truncated at the end
        {"\xF4\x90\x80\x80", u"\uFFFD\uFFFD\uFFFD\uFFFD"},  // above U+10FFFF
        {std::string("a\0b", 3), std::u16string(u"a\0b", 3)},
    };
    for (const auto& c : cases) EXPECT_EQ(Utf8ToText(c.bytes), c.text) << c.bytes;
}

TEST(CodePage, Utf8EncodingWritesLoneSurrogatesAsReplacement) {
    EXPECT_EQ(TextToUtf8(u"中\U0001F600"), "\xE4\xB8\xAD\xF0\x9F\x98\x80");
    EXPECT_EQ(TextToUtf8(std::u16string(1, char16_t(0xD800)) + u"x"), "\xEF\xBF\xBDx");
    EXPECT_EQ(TextToUtf8(std::u16string(1, char16_t(0xDC00))), "\xEF\xBF\xBD");
}

TEST(CodePage, IconvCodePagesRoundTrip) {
    struct Case {
        unsigned cp;
        std::string bytes;
        std::u16string text;
    };
    const Case cases[] = {
        {936, "\xD6\xD0\xCE\xC4", u"中文"},
        {1252, "caf\xE9 \x80", u"café €"},
        {437, "\x82\xC9", u"é╔"},
        {28591, "\xE9\xFF", u"éÿ"},
        {1200, std::string("A\0\x2D\x4E", 4), u"A中"},
        {20866, "\xC1", u"а"},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(BytesToText(c.cp, c.bytes), c.text) << c.cp;
        EXPECT_EQ(TextToBytes(c.cp, c.text), c.bytes) << c.cp;
    }
}

TEST(CodePage, MissingCharactersAndUnknownPages) {
    EXPECT_EQ(TextToBytes(1252, u"a中b"), "a?b");
#ifdef _WIN32
    // The system's tables: each half of a surrogate pair is one missing
    // character, and an undefined byte maps to the private use area.
    EXPECT_EQ(TextToBytes(1252, u"a\U0001F600b", '#'), "a##b");
    EXPECT_EQ(BytesToText(936, "a\xFF"), u"a\uF8F5");
#else
    EXPECT_EQ(TextToBytes(1252, u"a\U0001F600b", '#'), "a#b");
    EXPECT_EQ(BytesToText(936, "a\xFF"), u"a\uFFFD");
#endif
    // Code page 0 or an unknown number falls back to ISO-8859-1 both ways.
    EXPECT_FALSE(platform::CodePageAvailable(0));
    EXPECT_FALSE(platform::CodePageAvailable(12345));
    EXPECT_EQ(BytesToText(12345, "\xE9"), u"é");
    EXPECT_EQ(TextToBytes(12345, u"é中"), "\xE9?");
}

#ifndef _WIN32
// Linux has no system code pages; the environment names them. Windows asks
// GetACP and GetOEMCP (win32/codepage_system_test.cpp).
TEST(CodePage, SystemCodePagesFollowTheEnvironment) {
    setenv("ZELVANO_ANSI_CODEPAGE", "936", 1);
    setenv("ZELVANO_OEM_CODEPAGE", "850", 1);
    EXPECT_EQ(platform::AnsiCodePage(), 936u);
    EXPECT_EQ(platform::OemCodePage(), 850u);
    unsetenv("ZELVANO_ANSI_CODEPAGE");
    unsetenv("ZELVANO_OEM_CODEPAGE");
    setenv("LC_ALL", "C", 1);
    EXPECT_EQ(platform::AnsiCodePage(), 1252u);
    setenv("LC_ALL", "C.UTF-8", 1);
    EXPECT_EQ(platform::AnsiCodePage(), 65001u);
    EXPECT_EQ(platform::OemCodePage(), 437u);
    unsetenv("LC_ALL");
}
#endif
