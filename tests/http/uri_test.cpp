// Address parsing, composing and the path merge.
#include <gtest/gtest.h>

#include "http/NetException.h"
#include "http/NetURI.h"

using namespace http;

TEST(NetURI, Parsing) {
    struct Case {
        std::u16string text;
        std::u16string protocol, username, password, host, port, path, document, params, bookmark;
        TNetIPVersion ip;
    } cases[] = {
        {u"http://h", u"http", u"", u"", u"h", u"", u"/", u"", u"", u"", TNetIPVersion::IPv4},
        {u"http://h:8080/a/b.zip", u"http", u"", u"", u"h", u"8080", u"/a/", u"b.zip", u"", u"", TNetIPVersion::IPv4},
        {u"http://u:p@h/x", u"http", u"u", u"p", u"h", u"", u"/", u"x", u"", u"", TNetIPVersion::IPv4},
        {u"http://u@h/x", u"http", u"u", u"", u"h", u"", u"/", u"x", u"", u"", TNetIPVersion::IPv4},
        {u"http://:p@h/x", u"http", u"", u"", u"h", u"", u"/", u"x", u"", u"", TNetIPVersion::IPv4},
        {u"http://[::1]:8080/d/", u"http", u"", u"", u"::1", u"8080", u"/d/", u"", u"", u"", TNetIPVersion::IPv6},
        {u"http://h/a?q=1#f", u"http", u"", u"", u"h", u"", u"/", u"a", u"q=1#f", u"", TNetIPVersion::IPv4},
        {u"http://h/a#f", u"http", u"", u"", u"h", u"", u"/", u"a", u"", u"f", TNetIPVersion::IPv4},
        {u"http:\\\\h\\a\\b.txt", u"http", u"", u"", u"h", u"", u"/a/", u"b.txt", u"", u"", TNetIPVersion::IPv4},
        {u"../b/c.zip?x", u"", u"", u"", u"", u"", u"../b/", u"c.zip", u"x", u"", TNetIPVersion::IPv4},
        {u"/root.txt", u"", u"", u"", u"", u"", u"/", u"root.txt", u"", u"", TNetIPVersion::IPv4},
        {u"name", u"", u"", u"", u"", u"", u"", u"name", u"", u"", TNetIPVersion::IPv4},
        // "://" makes an address absolute only right after a scheme at the start.
        {u"/x?next=http://host/y", u"", u"", u"", u"", u"", u"/", u"x", u"next=http://host/y", u"", TNetIPVersion::IPv4},
        {u"a/b://c", u"", u"", u"", u"", u"", u"a/b://", u"c", u"", u"", TNetIPVersion::IPv4},
        {u"svn+ssh://h/r", u"svn+ssh", u"", u"", u"h", u"", u"/", u"r", u"", u"", TNetIPVersion::IPv4},
        // Scheme-relative: a host without a scheme.
        {u"//h:81/p/f?q", u"", u"", u"", u"h", u"81", u"/p/", u"f", u"q", u"", TNetIPVersion::IPv4},
        {u"//[::1]/f", u"", u"", u"", u"::1", u"", u"/", u"f", u"", u"", TNetIPVersion::IPv6},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(std::string(c.text.begin(), c.text.end()));
        TNetURI uri(c.text);
        EXPECT_EQ(uri.Protocol, c.protocol);
        EXPECT_EQ(uri.Username, c.username);
        EXPECT_EQ(uri.Password, c.password);
        EXPECT_EQ(uri.Host, c.host);
        EXPECT_EQ(uri.Port, c.port);
        EXPECT_EQ(uri.Path, c.path);
        EXPECT_EQ(uri.Document, c.document);
        EXPECT_EQ(uri.Params, c.params);
        EXPECT_EQ(uri.Bookmark, c.bookmark);
        EXPECT_EQ(uri.IPVersion, c.ip);
    }
}

TEST(NetURI, Composing) {
    struct Case {
        std::u16string text, uri, full;
    } cases[] = {
        {u"http://h", u"http://h/", u"http://h/"},
        {u"http://h:80/a/b.zip", u"http://h/a/b.zip", u"http://h/a/b.zip"},
        {u"HTTP://h:80/a/b.zip", u"HTTP://h/a/b.zip", u"HTTP://h/a/b.zip"},
        {u"http://h:8080/a/b.zip", u"http://h:8080/a/b.zip", u"http://h:8080/a/b.zip"},
        {u"https://h:443/", u"https://h/", u"https://h/"},
        {u"ftp://h:21/f", u"ftp://h/f", u"ftp://h/f"},
        {u"gopher://h:70/f", u"gopher://h:70/f", u"gopher://h:70/f"},
        {u"http://u:p@h/x?q#f", u"http://h/x?q#f", u"http://u:p@h/x?q#f"},
        {u"http://h/x#frag", u"http://h/x", u"http://h/x#frag"},
        // An IPv6 host keeps its brackets, or its last group would read as the port.
        {u"http://[::1]:8080/", u"http://[::1]:8080/", u"http://[::1]:8080/"},
        {u"http://[fe80::1]/a", u"http://[fe80::1]/a", u"http://[fe80::1]/a"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(std::string(c.text.begin(), c.text.end()));
        TNetURI uri(c.text);
        EXPECT_EQ(uri.GetURI(), c.uri);
        EXPECT_EQ(uri.FullURIText(), c.full);
    }
    EXPECT_EQ(TNetURI(u"http://[::1]:80/").GetHostAndPort(), u"[::1]");
    EXPECT_EQ(TNetURI(u"https://h:443/").GetHostAndPort(), u"h");
    EXPECT_EQ(TNetURI(u"http://h:443/").GetHostAndPort(), u"h:443");
    TNetURI auth(u"http://u:p@h:81/x#f");
    EXPECT_EQ(auth.GetFullURI(ofAuthInfo), u"http://u:p@h:81/x");
    EXPECT_EQ(auth.GetPathAndParams(), u"/x");
}

TEST(NetURI, ComposingWithoutProtocolOrHostFails) {
    TNetURI relative(u"/a/b");
    try {
        relative.GetURI();
        FAIL();
    } catch (const ENetURIException& e) {
        EXPECT_EQ(e.Message(), u"Protocol field is empty");
    }
    TNetURI noHost;
    noHost.Protocol = u"http";
    try {
        noHost.GetFullURI();
        FAIL();
    } catch (const ENetURIException& e) {
        EXPECT_EQ(e.Message(), u"Host field is empty");
    }
}

TEST(NetURI, NormalizePathKeepsSurrogatePairs) {
    EXPECT_EQ(TNetURI::NormalizePath(u"a\\b\\\\c"), u"a/b//c");
    EXPECT_EQ(TNetURI::NormalizePath(u"\U0001F600\\x"), u"\U0001F600/x");
}

TEST(NetURI, PathMerge) {
    struct Case {
        std::u16string base, path, merged;
    } cases[] = {
        {u"/a/x/", u"../b/", u"/a/b/"},
        {u"/a/", u"", u"/a/"},
        {u"/a/", u"b//c/", u"/a/b/c/"},
        {u"/a/", u"./c/", u"/a/./c/"},
        {u"/a/", u"/z/", u"/z/"},
        {u"/a", u"b/", u"/a/b/"},
        {u"/a/b/", u"../../../x/", u"/x/"},
        {u"/a/b/", u"c", u"/a/b/c"},
        {u"/", u"", u"/"},
        {u"", u"", u""},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(std::string(c.base.begin(), c.base.end()) + " + " + std::string(c.path.begin(), c.path.end()));
        EXPECT_EQ(TNetURI::MergePaths(c.base, c.path), c.merged);
    }
}

TEST(NetURI, PortsAndDefaults) {
    struct Case {
        std::u16string text;
        bool valid;
        uint16_t port;
    } cases[] = {
        {u"1", true, 1},       {u"80", true, 80},     {u"65535", true, 65535}, {u"080", true, 80},
        {u"0", false, 0},      {u"65536", false, 0},  {u"-1", false, 0},       {u"+80", false, 0},
        {u"", false, 0},       {u" 80", false, 0},    {u"8o", false, 0},       {u"99999999999999999999", false, 0},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(std::string(c.text.begin(), c.text.end()));
        uint16_t port = 0;
        EXPECT_EQ(TryReadPort(c.text, port), c.valid);
        if (c.valid) {
            EXPECT_EQ(port, c.port);
        }
    }
    EXPECT_EQ(DefaultPort(u"HTTP"), 80);
    EXPECT_EQ(DefaultPort(u"https"), 443);
    EXPECT_EQ(DefaultPort(u"ftp"), 21);
    EXPECT_EQ(DefaultPort(u"gopher"), 0);
    EXPECT_TRUE(HasControlCharacter(u"http://h/a\r\nX: 1"));
    EXPECT_TRUE(HasControlCharacter(u"http://h/\x7f"));
    EXPECT_FALSE(HasControlCharacter(u"http://h/a b\u00e9"));
}
