// The parser: lenient and strict texts, numbers, escapes, literals, nesting
// depth, comments, trailing text, streams in chunks and files.
#include <gtest/gtest.h>

#include <cstdio>
#include <random>
#include <string>
#include <vector>

#include "json/jsonvalue.h"
#include "platform/codepage.h"
#include "platform/stream.h"

using namespace json;

namespace {

std::string U8(const std::u16string& s) { return platform::TextToUtf8(s); }

const char* KindName(TJsonType t) {
    static const char* names[] = {"null", "bool", "double", "currency", "int",
                                  "object", "array", "string", "method"};
    return names[t];
}

// "kind:compact text" of a result, "nil" for none.
std::string Describe(const IJsonValue& v) {
    if (!v) return "nil";
    return std::string(KindName(v->DataType())) + ":" + U8(v->AsJSon(false, false));
}

struct Case {
    std::u16string text;
    std::string expected;
};

void RunCases(const std::vector<Case>& cases, bool strict, bool partial) {
    for (const auto& c : cases)
        EXPECT_EQ(Describe(TJsonValue::ParseString(c.text, strict, partial)), c.expected)
            << "text: " << U8(c.text);
}

std::string Repeat(const std::string& s, int n) {
    std::string r;
    for (int i = 0; i < n; ++i) r += s;
    return r;
}

}  // namespace

TEST(JsonParser, LenientTextsAsTheInstallerMeetsThem) {
    RunCases(
        {
            {u"{\"download_url\":\"http://h/v.zip\"}", "object:{\"download_url\":\"http://h/v.zip\"}"},
            {u"{\"download_url\":\"http://h/v.zip\"}xyz", "object:{\"download_url\":\"http://h/v.zip\"}"},
            {u"", "string:\"\""},
            {u"abc", "string:\"abc\""},
            {u"404 Not Found", "int:404"},
            {u"<html><body>502</body></html>", "string:\"<html><body>502</body></html>\""},
            {u"{abc", "nil"},
            {u"[1,2", "nil"},
            {u"\"abc", "nil"},
            {u"[1,2,]", "array:[1,2]"},
            {u"[,1]", "array:[\"\",1]"},
            {u"{a b :1}", "object:{\"a b \":1}"},
            {u"{'a':'b'}", "object:{\"a\":\"b\"}"},
            {u"{a: hello world , b : [x y , z]}", "object:{\"a\":\"hello world\",\"b \":[\"x y\",\"z\"]}"},
            {u"{\"a\":1,}", "object:{\"a\":1}"},
            {u"{\"a\":1 \"b\":2}", "nil"},
            {u"{\"a\" 1}", "nil"},
            {u"{,}", "nil"},
            {u"{\"a\":1,\"a\":2}", "object:{\"a\":2}"},
            {u"[1 2]", "nil"},
            {u"'it''s'", "string:\"it\""},
            {u"  \t\r\n\b\f[]", "array:[]"},
            {u"\v[]", "string:\"\v[]\""},  // vertical tab is not whitespace
        },
        false, true);
}

TEST(JsonParser, NumbersLiteralsAndEscapes) {
    RunCases(
        {
            {u"1.5", "currency:1.5"},
            {u"1.50000", "double:1.5"},
            {u"3.14159", "double:3.14159"},
            {u"1e3", "double:1000"},
            {u"10", "int:10"},
            {u"-0.25", "currency:-0.25"},
            {u"1.", "currency:1"},
            {u"-", "int:0"},
            {u"12-3", "int:12"},
            {u"12345678901234567890", "int:9223372036854775807"},
            {u"-12345678901234567890", "int:-9223372036854775808"},
            {u"1e400", "double:INF"},
            {u"1e-400", "double:0"},
            {u"1.5e3x", "double:1500"},
            {u"[1e]", "array:[1]"},
            {u"\"\\u00e9\"", "string:\"é\""},
            {u"\"\\x41\\x4a\"", "string:\"AJ\""},
            {u"\"\\q\\/\\\"\\\\\"", "string:\"q/\\\"\\\\\""},
            {u"\"\\b\\f\\n\\r\\t\"", "string:\"\b\f\n\r\t\""},
            {u"\"\\u12G4\"", "nil"},
            {u"\"\\x4\"", "nil"},
            {u"'a\"b'", "string:\"a\\\"b\""},
            {u"null", "null:null"},
            {u"true", "bool:true"},
            {u"false", "bool:false"},
            {u"nulls", "string:\"nulls\""},
            {u"truex", "string:\"truex\""},
            {u"TRUE", "string:\"TRUE\""},
            {u"Null", "string:\"Null\""},
            {u"[null,true,false]", "array:[null,true,false]"},
            {u"[nul]", "array:[\"nul\"]"},
            {u"[true.x]", "array:[\"true.x\"]"},
            {u"a\\u0041b", "string:\"aAb\""},
        },
        false, true);
}

TEST(JsonParser, StrictModeRejectsUnquotedNamesAndTexts) {
    RunCases(
        {
            {u"{a:1}", "nil"},
            {u"[,1]", "nil"},
            {u"abc", "nil"},
            {u"{\"a\":x}", "nil"},
            {u"{\"a\":[1,],}", "object:{\"a\":[1]}"},
            {u"{'a':\"b\"}", "object:{\"a\":\"b\"}"},
            {u"{\"\\u4e01\":1}", "object:{\"丁\":1}"},
            {u"{丁:1}", "object:{\"丁\":1}"},  // names from U+0100 up are let through
        },
        true, true);
}

TEST(JsonParser, TrailingTextCommentsAndTheEndOfText) {
    RunCases(
        {
            {u"{\"a\":1} xyz", "nil"},
            {u"{\"a\":1}  \r\n", "object:{\"a\":1}"},
            {u"{\"a\":1} // end", "object:{\"a\":1}"},
            {u"{\"a\":1} /* open", "object:{\"a\":1}"},
            {u"1 2", "nil"},
            {u"1", "int:1"},
        },
        false, false);
    RunCases(
        {
            {u"/* lead */ {\"a\":1} // tail", "object:{\"a\":1}"},
            {u"[1, /* in */ 2 // line\n]", "array:[1,2]"},
            {u"/x", "nil"},
            {u"[/x]", "nil"},
            {u"/* never closed", "nil"},
            {u"/* a ** b */1", "int:1"},
            // The end inside an unfinished array is not a value, even after
            // a complete element and a comment.
            {u"[1 //x", "nil"},
            {u"{\"a\":1 /* x", "nil"},
        },
        false, true);
}

TEST(JsonParser, NestingStopsAt32Levels) {
    RunCases(
        {
            {platform::Utf8ToText(Repeat("[", 32) + Repeat("]", 32)), "array:" + Repeat("[", 32) + Repeat("]", 32)},
            {platform::Utf8ToText(Repeat("[", 33) + Repeat("]", 33)), "nil"},
            {platform::Utf8ToText(Repeat("[", 32) + "1" + Repeat("]", 32)), "nil"},
            {platform::Utf8ToText(Repeat("{\"a\":", 31) + "[]" + Repeat("}", 31)),
             "object:" + Repeat("{\"a\":", 31) + "[]" + Repeat("}", 31)},
            {platform::Utf8ToText(Repeat("{\"a\":", 32) + "1" + Repeat("}", 32)), "nil"},
        },
        false, true);
}

TEST(JsonParser, TokenizerCountsLinesAndColumns) {
    TJsonTokenizer tok;
    const std::u16string text = u"[1,\n\t2]";
    IJsonValue v = TJsonValue::ParseEx(tok, text.c_str(), -1, false);
    ASSERT_TRUE(v);
    EXPECT_EQ(tok.line, 2);
    EXPECT_EQ(tok.col, 4 + 3);  // tab, "2", "]" and the terminating NUL examined
}

TEST(JsonParser, StreamsAreReadInChunksAsUtf16OrBytes) {
    auto parse = [](const std::string& bytes) {
        platform::TMemoryStream s;
        s.Write(bytes.data(), static_cast<int64_t>(bytes.size()));
        s.SetPosition(0);
        return TJsonValue::ParseStream(s, false);
    };
    // UTF-16LE after FF FE.
    std::string utf16 = "\xFF\xFE";
    for (char16_t u : std::u16string(u"{\"k\":\"丁é\"}")) utf16 += {char(u & 0xFF), char(u >> 8)};
    EXPECT_EQ(Describe(parse(utf16)), "object:{\"k\":\"丁é\"}");
    // Bytes are widened one by one: UTF-8 é reads as two characters.
    EXPECT_EQ(Describe(parse("\"\xC3\xA9\"")), "string:\"Ã©\"");
    // A number or literal still waiting for its next character is no value.
    EXPECT_EQ(Describe(parse("123")), "nil");
    EXPECT_EQ(Describe(parse("123 ")), "int:123");
    EXPECT_EQ(Describe(parse("[1,2")), "nil");

    // Tokens that straddle the 1024-byte and 2048-byte chunk borders.
    std::string big = "{\"pad\":\"" + std::string(1015, 'x') + "\",\"n\":123456789,\"t\":true,\"s\":\"" +
                      std::string(3000, 'y') + "\\u0041\",\"last\":[1.25,1e5]}";
    IJsonValue whole = ParseJsonText(platform::Utf8ToText(big));
    ASSERT_TRUE(whole);
    for (int shift = 0; shift < 12; ++shift) {
        std::string doc = std::string(shift, ' ') + big;
        EXPECT_EQ(Describe(parse(doc)), Describe(whole)) << "shift " << shift;
        std::string wide = "\xFF\xFE";
        for (char ch : doc) wide += {ch, '\0'};
        EXPECT_EQ(Describe(parse(wide)), Describe(whole)) << "utf-16 shift " << shift;
    }
}

TEST(JsonParser, FilesAreParsedAndMissingFilesGiveNil) {
    const std::string name =
        ::testing::TempDir() + "zelvano-json-" + std::to_string(std::random_device{}()) + ".json";
    IJsonValue v = ParseJsonText(u"{\"a\":[1,\"丁\"]}");
    EXPECT_GT(v->SaveTo(std::string(name), false, true), 0);
    EXPECT_EQ(Describe(TJsonValue::ParseFile(std::string(name), false)), Describe(v));
    std::remove(name.c_str());
    EXPECT_EQ(Describe(TJsonValue::ParseFile(std::string(name), false)), "nil");
    EXPECT_EQ(Describe(TJsonValue::ParseFile(u"/nonexistent/dir/x.json", false)), "nil");
}
