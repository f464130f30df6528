// Cookie parsing, the acceptance rules and the "Cookie" text.
#include <gtest/gtest.h>

#include "http/NetCookies.h"
#include "http/NetHeaders.h"

using namespace http;

namespace {

std::u16string Generate(TNetCookieManager& manager, const std::u16string& url, bool secure = false) {
    return manager.GenerateCookieList(TNetURI(url), secure);
}

}  // namespace

TEST(NetCookie, ParsingAttributes) {
    TNetCookieRFC2965 cookie;
    cookie.SetCookieText(u"  SID = abc ; Path=\"/app/\"; Domain=example.com:8080; secure; HttpOnly; "
                         u"Max-Age=60; Version=\"1\"; Comment=c; CommentURL=http://c/; Discard; Port=\"80, 8080\"");
    EXPECT_EQ(cookie.CookieName, u"SID");
    EXPECT_EQ(cookie.Value, u"abc");
    EXPECT_EQ(cookie.Path, u"/app/");
    EXPECT_EQ(cookie.Domain, u"example.com");
    EXPECT_TRUE(cookie.Secure);
    EXPECT_TRUE(cookie.HttpOnly);
    EXPECT_EQ(cookie.Max_Age, 60);
    EXPECT_EQ(cookie.Version, 1);
    EXPECT_EQ(cookie.Comment, u"c");
    EXPECT_EQ(cookie.CommentURL, u"http://c/");
    EXPECT_TRUE(cookie.Discard);
    EXPECT_TRUE(cookie.UsePort);
    EXPECT_EQ(cookie.PortList, (std::vector<uint16_t>{80, 8080}));
    TDateTime expires;
    ASSERT_TRUE(TryParseHTTPDate(cookie.Expires, expires)) << "max-age becomes an expiry date";
    EXPECT_NEAR(static_cast<double>(DateTimeToUnix(expires) - DateTimeToUnix(NowUTC())), 60.0, 2.0);

    TNetCookieRFC2109 plain;
    plain.SetCookieText(u"a=1");
    EXPECT_EQ(plain.Path, u"/");
    EXPECT_EQ(plain.Max_Age, -1);
    EXPECT_EQ(plain.Version, 0);
    EXPECT_EQ(plain.Expires, u"");
    EXPECT_EQ(plain.ClientCookie(), u"a=1");
}

// Set-cookie values from http://www.example.com/a/b/page: stored or refused.
TEST(NetCookieManager, AcceptanceRules) {
    struct Case {
        std::u16string cookie;
        bool stored;
    } cases[] = {
        {u"a=1", true},
        {u"a=1; domain=.example.com", true},
        {u"a=1; domain=.www.example.com", true},
        {u"a=1; domain=example.com", false},        // no leading dot
        {u"a=1; domain=.com", false},               // a top-level domain
        {u"a=1; domain=.other.com", false},         // not this host
        {u"a=1; path=/a/", true},
        {u"a=1; path=/x/", false},                  // not a prefix of the request path
        {u"a=1; expires=Sun, 06-Nov-2094 08:49:37 GMT", true},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(std::string(c.cookie.begin(), c.cookie.end()));
        TNetCookieManager manager;
        manager.AddCookie(c.cookie, TNetURI(u"http://www.example.com/a/b/page"));
        EXPECT_EQ(manager.CookieCollection().Count(), c.stored ? 1 : 0);
    }
    TNetCookieManager deep;
    deep.AddCookie(u"a=1; domain=.example.com", TNetURI(u"http://x.y.example.com/"));
    EXPECT_EQ(deep.CookieCollection().Count(), 0) << "a host two labels below the domain";
    TNetCookieManager ip;
    ip.AddCookie(u"a=1", TNetURI(u"http://127.0.0.1:8080/"));
    ip.AddCookie2(u"b=2; Version=1", TNetURI(u"http://127.0.0.1:8080/"));
    EXPECT_EQ(ip.CookieCollection().Count(), 0) << "an address never gets a default-domain cookie";
}

TEST(NetCookieManager, SetCookie2Rules) {
    TNetCookieManager manager;
    const TNetURI url(u"http://intranet:8080/");
    manager.AddCookie2(u"noversion=1", url);
    EXPECT_EQ(manager.CookieCollection().Count(), 0);
    manager.AddCookie2(u"a=1; Version=1", url);
    manager.AddCookie2(u"b=2; Version=1; Port", url);
    manager.AddCookie2(u"c=3; Version=1; Port=\"9090\"", url);
    EXPECT_EQ(manager.CookieCollection().Count(), 2) << "a port list without the receiving port is refused";
    EXPECT_EQ(Generate(manager, u"http://intranet:8080/x"), u"a=1; b=2");
    EXPECT_EQ(Generate(manager, u"http://intranet:9999/x"), u"a=1") << "Port without a list: only its own port";
}

TEST(NetCookieManager, ReplacingExpiringAndSecure) {
    TNetCookieManager manager;
    const TNetURI url(u"http://www.example.com/");
    manager.AddCookie(u"SID=1", url);
    manager.AddCookie(u"SID=2", url);
    EXPECT_EQ(Generate(manager, u"http://www.example.com/"), u"SID=2");

    manager.AddCookie(u"old=1; expires=Thu, 01-Jan-1998 00:00:00 GMT", url);
    manager.AddCookie(u"gone=1; Max-Age=0", url);
    manager.AddCookie(u"safe=1; secure", url);
    manager.AddCookie(u"empty=", url);
    EXPECT_EQ(Generate(manager, u"http://www.example.com/"), u"SID=2");
    EXPECT_EQ(Generate(manager, u"https://www.example.com/", true), u"SID=2; safe=1");
    EXPECT_EQ(manager.CookieCollection().Count(), 3) << "expired cookies are removed";
}

TEST(NetCookieManager, PathsAndDomainOrder) {
    TNetCookieManager manager;
    manager.AddCookie(u"p=1", TNetURI(u"http://www.example.com/shop/cart/view"));
    manager.AddCookie(u"d=2; domain=.example.com", TNetURI(u"http://www.example.com/"));
    manager.AddCookie(u"h=3", TNetURI(u"http://www.example.com/"));
    // Domains in the order first stored, each from its last cookie back,
    // and the whole list reversed.
    EXPECT_EQ(Generate(manager, u"http://www.example.com/shop/cart/x"), u"d=2; p=1; h=3");
    EXPECT_EQ(Generate(manager, u"http://www.example.com/other/"), u"d=2; h=3");
    EXPECT_EQ(Generate(manager, u"http://mail.example.com/"), u"d=2");
    EXPECT_EQ(Generate(manager, u"http://example.org/"), u"");
}

TEST(NetCookieManager, RefusalHook) {
    TNetCookieManager manager;
    manager.OnNewCookie = [](TNetCookieManager*, TNetNetscapeCookie* cookie, bool& accept) {
        accept = cookie->CookieName != u"tracker";
    };
    const TNetURI url(u"http://www.example.com/");
    manager.AddCookie(u"tracker=1", url);
    manager.AddCookie(u"ok=1", url);
    EXPECT_EQ(Generate(manager, u"http://www.example.com/"), u"ok=1");
}
