// The buffered stream and the entry-name patterns.
#include <gtest/gtest.h>

#include <vector>

#include "unzip/BufferedStream.h"
#include "unzip/Wildcard.h"

using namespace unzip;

namespace {

// A memory stream that counts and records the calls that reach it.
class CountingStream : public platform::TMemoryStream {
public:
    int64_t Read(void* b, int64_t n) override {
        ++reads;
        return TMemoryStream::Read(b, n);
    }
    int64_t Write(const void* b, int64_t n) override {
        writes.push_back(n);
        return TMemoryStream::Write(b, n);
    }
    int reads = 0;
    std::vector<int64_t> writes;
};

void Fill(CountingStream& s, int n) {
    std::vector<uint8_t> data(n);
    for (int i = 0; i < n; ++i) data[i] = static_cast<uint8_t>(i * 7);
    s.Write(data.data(), n);
    s.SetPosition(0);
    s.writes.clear();
    s.reads = 0;
}

}  // namespace

TEST(BufferedStream, PositionQueriesAndSmallReadsCostNoExtraRead) {
    CountingStream base;
    Fill(base, 20000);
    TBufferedStream s(&base, 8192);
    uint8_t buf[30];
    ASSERT_EQ(s.Read(buf, 30), 30);
    EXPECT_EQ(s.Seek(0, platform::soCurrent), 30);
    ASSERT_EQ(s.Read(buf, 30), 30);
    EXPECT_EQ(s.GetPosition(), 60);
    EXPECT_EQ(base.reads, 1);
    EXPECT_EQ(buf[0], static_cast<uint8_t>(30 * 7));
}

TEST(BufferedStream, SeekBackDropsBufferAndRereads) {
    CountingStream base;
    Fill(base, 20000);
    TBufferedStream s(&base, 8192);
    uint8_t buf[100];
    s.Read(buf, 100);
    EXPECT_EQ(s.Seek(-12, platform::soCurrent), 88);
    uint8_t b;
    ASSERT_EQ(s.Read(&b, 1), 1);
    EXPECT_EQ(b, static_cast<uint8_t>(88 * 7));
    EXPECT_EQ(base.reads, 2);
}

TEST(BufferedStream, SeekFromEndTakesEitherSign) {
    CountingStream base;
    Fill(base, 1000);
    TBufferedStream s(&base, 8192);
    EXPECT_EQ(s.Seek(22, platform::soEnd), 978);
    EXPECT_EQ(s.Seek(-22, platform::soEnd), 978);
    EXPECT_THROW(s.Seek(0, static_cast<platform::TSeekOrigin>(7)), platform::Exception);
}

TEST(BufferedStream, ReadsStopAtEndAndReadsCrossBufferEdges) {
    CountingStream base;
    Fill(base, 10000);
    TBufferedStream s(&base, 4096);
    std::vector<uint8_t> out(12000);
    EXPECT_EQ(s.Read(out.data(), 3000), 3000);
    EXPECT_EQ(s.Read(out.data() + 3000, 9000), 7000);
    for (int i = 0; i < 10000; ++i) ASSERT_EQ(out[i], static_cast<uint8_t>(i * 7)) << i;
    EXPECT_TRUE(s.IsEof());
}

TEST(BufferedStream, WritesWholeBuffersAndTheRestOnDestruction) {
    CountingStream base;
    std::vector<uint8_t> data(10000, 0x5A);
    {
        TBufferedStream s(&base, 8192);
        EXPECT_EQ(s.Write(data.data(), 10000), 10000);
        EXPECT_EQ(s.GetPosition(), 10000);
    }
    EXPECT_EQ(base.writes, (std::vector<int64_t>{8192, 1808}));
    EXPECT_EQ(base.GetSize(), 10000);
}

TEST(BufferedStream, SmallWritesAreCollected) {
    CountingStream base;
    {
        TBufferedStream s(&base, 8192);
        for (int i = 0; i < 100; ++i) s.Write("0123456789", 10);
    }
    EXPECT_EQ(base.writes, (std::vector<int64_t>{1000}));
}

TEST(BufferedStream, PutBackNeedsAByteReadFromTheBuffer) {
    CountingStream base;
    Fill(base, 100);
    TBufferedStream s(&base, 64);
    EXPECT_THROW(s.PutBack('x'), platform::EStreamError);
    uint8_t b;
    s.Read(&b, 1);
    s.PutBack('x');
    s.Read(&b, 1);
    EXPECT_EQ(b, 'x');
}

struct PatternCase {
    const char16_t* pattern;
    const char16_t* text;
    bool matches;
};

class Wildcards : public ::testing::TestWithParam<PatternCase> {};

TEST_P(Wildcards, Match) {
    const auto& c = GetParam();
    EXPECT_EQ(WildcardMatches(c.pattern, c.text), c.matches);
}

INSTANTIATE_TEST_SUITE_P(
    Table, Wildcards,
    ::testing::Values(PatternCase{u"*", u"", true}, PatternCase{u"*", u"docs/LICENSE", true},
                      PatternCase{u"*.*", u"docs/LICENSE", false}, PatternCase{u"*.*", u"a.txt", true},
                      PatternCase{u"*.txt", u"a.txt", true}, PatternCase{u"*.txt", u"sub/a.txt", true},
                      PatternCase{u"*.TXT", u"Readme.txt", true}, PatternCase{u"a?", u"a", false},
                      PatternCase{u"a?", u"ab", true}, PatternCase{u"abc*", u"abc", true},
                      PatternCase{u"abc**", u"abc", false}, PatternCase{u"abc?", u"abc", false},
                      PatternCase{u"<a-c>x", u"bx", true}, PatternCase{u"<c-a>x", u"bx", false},
                      PatternCase{u"<!a-c>x", u"dx", true}, PatternCase{u"<!a-c>x", u"bx", false},
                      PatternCase{u"<^a-c>x", u"dx", true}, PatternCase{u"<>x", u">x", false},
                      PatternCase{u"<ab", u"a", false}, PatternCase{u"*<0-9>", u"123", true},
                      PatternCase{u"*<0-9>", u"12a", false}, PatternCase{u"*<0-9>", u"", false},
                      PatternCase{u"[a]", u"[a]", true}, PatternCase{u"[a]", u"a", false},
                      PatternCase{u"a*c", u"abbbc", true}, PatternCase{u"a*c", u"abbbd", false},
                      PatternCase{u"*b*", u"abc", true}, PatternCase{u"x*<a-c>.txt", u"xab.txt", true},
                      PatternCase{u"x*<a-c>.txt", u"xad.txt", false}, PatternCase{u"a*<x>", u"ab", false}),
    [](const ::testing::TestParamInfo<PatternCase>& info) { return "Case" + std::to_string(info.index); });
