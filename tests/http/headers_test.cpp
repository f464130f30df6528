// The header list, the request and reply header objects and HTTP dates.
#include <gtest/gtest.h>

#include "http/NetHeaders.h"

using namespace http;

TEST(NetHeaderList, LookupIsCaseInsensitiveAndUnfolds) {
    TNetHeaderList list;
    list.Add(u"content-length: 42");
    list.Add(u"X-Long: first part");
    list.Add(u"\tsecond part  ");
    list.Add(u" third");
    list.Add(u"Set-Cookie: a=1");
    list.Add(u"Set-Cookie: b=2");
    list.Add(u"no separator");
    EXPECT_EQ(list.Values(u"Content-Length"), u"42");
    EXPECT_EQ(list.Values(u"X-LONG"), u"first part second part third");
    EXPECT_EQ(list.IndexOfName(u"second part"), -1) << "continuation lines have no name";
    EXPECT_EQ(list.Values(u"missing"), u"");
    EXPECT_EQ(list.ValueFromIndex(99), u"");
    std::vector<std::u16string> cookies;
    list.Extract(u"set-cookie", cookies);
    EXPECT_EQ(cookies, (std::vector<std::u16string>{u"a=1", u"b=2"}));
    list.UnfoldLines = false;
    EXPECT_EQ(list.Values(u"X-Long"), u"first part");
}

TEST(NetHeaderList, WritingReplacesInPlaceAndRemoves) {
    TNetHeaderList list;
    list.SetValues(u"A", u"1");
    list.SetValues(u"B", u"2");
    list.Add(u" continuation of B");
    list.SetValues(u"C", u"3");
    list.SetValues(u"a", u"one");
    list.SetValues(u"B", u"two");
    EXPECT_EQ(list.Lines(), (std::vector<std::u16string>{u"a: one", u"B: two", u"C: 3"}));
    list.SetValues(u"B", u"");
    EXPECT_EQ(list.Lines(), (std::vector<std::u16string>{u"a: one", u"C: 3"}));
    list.AddValue(u"C", u"again");
    EXPECT_EQ(list.Count(), 3);
}

TEST(NetHeaderList, LongValuesFold) {
    TNetHeaderList list;
    list.FoldLength = 20;
    list.SetValues(u"X", u"alpha beta, gamma \"quoted, text here\" delta");
    EXPECT_EQ(list.Lines(), (std::vector<std::u16string>{u"X: alpha beta, gamma", u" \"quoted, text here\"",
                                                          u" delta"}));
    EXPECT_EQ(list.Values(u"X"), u"alpha beta, gamma \"quoted, text here\" delta");
    TNetHeaderList late;
    late.FoldLength = 10;
    late.SetValues(u"Y", u"abcdefghijklmnopqrstuvwxyz");
    EXPECT_EQ(late.Lines(), (std::vector<std::u16string>{u"Y:", u" abcdefghijklmnopqrstuvwxyz"}))
        << "the space after the name is the last break before the limit";
    TNetHeaderList whole;
    whole.FoldLength = 10;
    whole.NameValueSeparator = u":";
    whole.SetValues(u"Y", u"abcdefghijklmnopqrstuvwxyz");
    EXPECT_EQ(whole.Lines(), (std::vector<std::u16string>{u"Y:abcdefghijklmnopqrstuvwxyz"}));
}

TEST(NetRequestHeaderInfo, DefaultsAndLineOrder) {
    TNetRequestHeaderInfo request;
    request.Host = u"example.com:8080";
    request.AcceptEncoding = u"identity";
    request.SetHeaders();
    EXPECT_EQ(request.RawHeaders.Lines(),
              (std::vector<std::u16string>{u"Host: example.com:8080", u"Accept: text/html, */*",
                                           u"Accept-Encoding: identity",
                                           u"User-Agent: Mozilla/3.0 (compatible; Zelvano Library)"}));

    request.Range = u"1024000-";
    request.Connection = u"keep-alive";
    request.ContentType = u"text/plain; charset=latin1; name=\"a b\"; x=\"p/q\"; y=\"say \\\"hi\\\"\"";
    request.CharSet = u"utf-8";
    request.ContentLength = 0;
    request.CustomHeaders.Add(u"X-Custom: 1");
    request.Referer = u"http://r/";
    request.LastModified = UnixToDateTime(784111777);
    request.SetHeaders();
    EXPECT_EQ(request.RawHeaders.Lines(),
              (std::vector<std::u16string>{
                  u"Connection: keep-alive",
                  u"Content-Type: text/plain; charset=utf-8; name=a b; x=\"p/q\"; y=\"say \\\"hi\\\"\"",
                  u"Content-Length: 0", u"X-Custom: 1", u"Host: example.com:8080", u"Accept: text/html, */*",
                  u"Accept-Encoding: identity", u"Referer: http://r/",
                  u"User-Agent: Mozilla/3.0 (compatible; Zelvano Library)", u"Range: bytes=1024000-",
                  u"If-Modified-Since: Sun, 06 Nov 1994 08:49:37 GMT"}));
    request.CharSet.clear();
    request.SetHeaders();
    EXPECT_EQ(request.RawHeaders.Values(u"Content-Type"), u"text/plain; name=a b; x=\"p/q\"; y=\"say \\\"hi\\\"\"");
}

TEST(NetResponseHeaderInfo, ReadingFields) {
    TNetResponseHeaderInfo response;
    EXPECT_EQ(response.ContentType, u"text/html");
    EXPECT_EQ(response.ContentLength, -1);
    response.RawHeaders.Add(u"content-type: application/json; charset=\"UT\\F-8\"");
    response.RawHeaders.Add(u"CONTENT-LENGTH: 1024000");
    response.RawHeaders.Add(u"Content-Range: bytes 100-199/1000");
    response.RawHeaders.Add(u"Location: /next");
    response.RawHeaders.Add(u"Date: Sun, 06 Nov 1994 08:49:37 GMT");
    response.RawHeaders.Add(u"WWW-Authenticate: Basic realm=a");
    response.RawHeaders.Add(u"WWW-Authenticate: Digest realm=b");
    response.ReadHeaderFields();
    EXPECT_EQ(response.ContentType, u"application/json");
    EXPECT_EQ(response.CharSet, u"UTF-8");
    EXPECT_EQ(response.ContentLength, 1024000);
    EXPECT_TRUE(response.HasContentLength);
    EXPECT_EQ(response.ContentRangeStart, 100);
    EXPECT_EQ(response.ContentRangeEnd, 199);
    EXPECT_EQ(response.ContentRangeInstanceLength, 1000);
    EXPECT_TRUE(response.HasContentRange());
    EXPECT_EQ(response.Location, u"/next");
    EXPECT_EQ(DateTimeToUnix(response.Date), 784111777);
    EXPECT_EQ(response.WWWAuthenticate.Count(), 2);

    const std::u16string badLengths[] = {u"", u"abc", u"12abc", u"99999999999999999999", u"0x10"};
    for (const auto& bad : badLengths) {
        TNetResponseHeaderInfo other;
        other.CharSet = u"UTF-8";
        if (!bad.empty()) other.RawHeaders.Add(u"Content-Length: " + bad);
        other.RawHeaders.Add(u"Content-Type: text/plain");
        other.RawHeaders.Add(u"Content-Range: bytes x-y/z");
        other.ReadHeaderFields();
        EXPECT_EQ(other.ContentLength, -1);
        EXPECT_FALSE(other.HasContentLength);
        EXPECT_EQ(other.CharSet, u"UTF-8") << "a reply without a charset keeps the earlier one";
        EXPECT_EQ(other.ContentRangeEnd, 0);
    }
}

TEST(HTTPDate, ReadsTheHttpAndCookieFormsAndWritesRfc1123) {
    const std::u16string same[] = {
        u"Sun, 06 Nov 1994 08:49:37 GMT",    // RFC 1123
        u"Sunday, 06-Nov-94 08:49:37 GMT",   // RFC 850
        u"Sun Nov  6 08:49:37 1994",         // asctime
        u"Sun, 06-Nov-1994 08:49:37 GMT",    // cookie form with dashes
        u"Sun, 06 Nov 1994 09:49:37 +0100",  // numeric zone
    };
    for (const auto& text : same) {
        TDateTime value = 0;
        ASSERT_TRUE(TryParseHTTPDate(text, value)) << std::string(text.begin(), text.end());
        EXPECT_EQ(DateTimeToUnix(value), 784111777);
    }
    const std::u16string bad[] = {u"", u"yesterday", u"Sun, 31 Feb 1994 08:49:37 GMT", u"Sun, 06 Nov 1994 25:00:00 GMT",
                                  u"Sun, 06 Nov 1994 08:49:37 PST", u"06 Nov", u"Sun, 06 Nov 1994 08:49:37 GMT extra"};
    for (const auto& text : bad) {
        TDateTime value = 0;
        EXPECT_FALSE(TryParseHTTPDate(text, value)) << std::string(text.begin(), text.end());
    }
    EXPECT_EQ(FormatHTTPDate(UnixToDateTime(784111777)), u"Sun, 06 Nov 1994 08:49:37 GMT");
    EXPECT_EQ(FormatHTTPDate(UnixToDateTime(951782400)), u"Tue, 29 Feb 2000 00:00:00 GMT");
}
