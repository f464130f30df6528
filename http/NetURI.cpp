#include "http/NetURI.h"

#include "http/NetException.h"
#include "http/NetTexts.h"
#include "http/TextUtil.h"

namespace http {

namespace {

using size_type = std::u16string::size_type;
constexpr auto npos = std::u16string::npos;

bool IsHighSurrogate(char16_t c) { return c >= 0xD800 && c <= 0xDBFF; }

// scheme = ALPHA *( ALPHA / DIGIT / "+" / "-" / "." )  (RFC 3986, 3.1)
bool IsScheme(std::u16string_view text) {
    if (text.empty() || !IsAsciiLetter(text[0])) return false;
    for (char16_t c : text)
        if (!IsAsciiLetter(c) && !(c >= u'0' && c <= u'9') && c != u'+' && c != u'-' && c != u'.') return false;
    return true;
}

}  // namespace

uint16_t DefaultPort(std::u16string_view AProtocol) {
    if (EqualsIgnoreCase(AProtocol, u"http")) return 80;
    if (EqualsIgnoreCase(AProtocol, u"https")) return 443;
    if (EqualsIgnoreCase(AProtocol, u"ftp")) return 21;
    return 0;
}

bool TryReadPort(std::u16string_view AText, uint16_t& APort) {
    int64_t value;
    if (!TryReadDigits(AText, value) || value < 1 || value > 65535) return false;
    APort = static_cast<uint16_t>(value);
    return true;
}

bool HasControlCharacter(std::u16string_view AText) {
    for (char16_t c : AText)
        if (c < 0x20 || c == 0x7F) return true;
    return false;
}

TNetURI::TNetURI(const std::u16string& AURI) {
    if (!AURI.empty()) SetURI(AURI);
}

std::u16string TNetURI::NormalizePath(const std::u16string& APath) {
    std::u16string result = APath;
    for (size_type i = 0; i < result.size(); ++i) {
        if (IsHighSurrogate(result[i])) {
            ++i;  // the pair's second half is never a backslash; skip it
            continue;
        }
        if (result[i] == u'\\') result[i] = u'/';
    }
    return result;
}

void TNetURI::SetURI(const std::u16string& AURI) {
    FURI = AURI;
    std::u16string w = NormalizePath(AURI);
    Document.clear();
    Protocol.clear();
    Port.clear();
    Path.clear();
    Host.clear();
    Bookmark.clear();
    Username.clear();
    Password.clear();
    Params.clear();
    IPVersion = TNetIPVersion::IPv4;

    auto splitParams = [&] {
        size_type q = w.find(u'?');
        if (q != npos) {
            Params = w.substr(q + 1);
            w.erase(q);
        }
    };

    const size_type scheme = w.find(u"://");
    const bool hasScheme = scheme != npos && IsScheme(std::u16string_view(w).substr(0, scheme));
    const bool schemeRelative = !hasScheme && w.size() >= 2 && w[0] == u'/' && w[1] == u'/';
    if (!hasScheme && !schemeRelative) {
        splitParams();
        size_type slash = w.rfind(u'/');
        if (slash != npos) {
            Path = w.substr(0, slash + 1);
            w.erase(0, slash + 1);
        }
    } else {
        if (hasScheme) {
            Protocol = w.substr(0, scheme);
            w.erase(0, scheme + 3);
        } else {
            w.erase(0, 2);
        }
        splitParams();
        std::u16string authority;
        size_type slash = w.find(u'/');
        if (slash == npos) {
            authority = w;
            w.clear();
        } else {
            authority = w.substr(0, slash);
            w.erase(0, slash + 1);
        }
        size_type at = authority.find(u'@');
        if (at != npos) {
            std::u16string credentials = authority.substr(0, at);
            size_type colon = credentials.find(u':');
            if (colon == npos) {
                Username = credentials;
            } else {
                Username = credentials.substr(0, colon);
                Password = credentials.substr(colon + 1);
            }
            if (Username.empty()) Password.clear();
            authority.erase(0, at + 1);
        }
        size_type open = authority.find(u'[');
        size_type close = authority.find(u']');
        if (open != npos && close != npos && open < close) {
            Host = authority.substr(open + 1, close - open - 1);
            size_type colon = authority.find(u':', close);
            authority = colon == npos ? std::u16string() : authority.substr(colon + 1);
            IPVersion = TNetIPVersion::IPv6;
        } else {
            size_type colon = authority.find(u':');
            if (colon == npos) {
                Host = authority;
                authority.clear();
            } else {
                Host = authority.substr(0, colon);
                authority.erase(0, colon + 1);
            }
        }
        Port = authority;
        size_type last = w.rfind(u'/');
        if (last != npos) {
            Path = u"/" + w.substr(0, last + 1);
            w.erase(0, last + 1);
        } else {
            Path = u"/";
        }
    }
    size_type hash = w.find(u'#');
    if (hash == npos) {
        Document = w;
    } else {
        Document = w.substr(0, hash);
        Bookmark = w.substr(hash + 1);
    }
}

std::u16string TNetURI::GetURI() {
    FURI = GetFullURI(ofAuthInfo | ofBookmark);
    return GetFullURI(ofNone);
}

std::u16string TNetURI::GetFullURI(TNetURIOptionalFields AOptionalFields) const {
    if (Protocol.empty()) throw ENetURIException(texts::kProtocolFieldEmpty);
    if (Host.empty()) throw ENetURIException(texts::kHostFieldEmpty);
    std::u16string result = Protocol + u"://";
    if ((AOptionalFields & ofAuthInfo) && !Username.empty()) {
        result += Username;
        if (!Password.empty()) result += u":" + Password;
        result += u"@";
    }
    result += GetHostAndPort();
    result += GetPathAndParams();
    if ((AOptionalFields & ofBookmark) && !Bookmark.empty()) result += u"#" + Bookmark;
    return result;
}

std::u16string TNetURI::GetHostAndPort() const {
    // A host with a colon can only be an IPv6 literal; without its brackets
    // its last group would read as the port.
    std::u16string result =
        IPVersion == TNetIPVersion::IPv6 || Host.find(u':') != npos ? u"[" + Host + u"]" : Host;
    const uint16_t defaultPort = DefaultPort(Protocol);
    const bool isDefault = defaultPort != 0 && Port == AsciiText(std::to_string(defaultPort));
    if (!Port.empty() && !isDefault) result += u":" + Port;
    return result;
}

std::u16string PercentEncodeNonAscii(const std::u16string& text) {
    static const char16_t kHex[] = u"0123456789ABCDEF";
    std::u16string result;
    size_t plain = 0;
    for (size_t k = 0; k <= text.size(); ++k) {
        if (k < text.size() && text[k] < 0x80) continue;
        result.append(text, plain, k - plain);
        if (k == text.size()) break;
        size_t end = k + 1;
        while (end < text.size() && text[end] >= 0x80) ++end;
        for (unsigned char byte : platform::TextToUtf8(text.substr(k, end - k))) {
            result += u'%';
            result += kHex[byte >> 4];
            result += kHex[byte & 15];
        }
        plain = end;
        k = end - 1;
    }
    return result;
}

std::u16string TNetURI::GetPathAndParams() const {
    std::u16string result = Path + Document;
    if (!Params.empty()) result += u"?" + Params;
    return result;
}

std::u16string TNetURI::MergePaths(const std::u16string& ABasePath, const std::u16string& APath) {
    if (!APath.empty() && APath[0] == u'/') return APath;
    const bool keepTrailing = APath.empty() || APath.back() == u'/';
    std::u16string w = ABasePath;
    if (!w.empty() && w.back() != u'/') w += u'/';
    w += APath;
    std::u16string r;
    for (size_type i = 0; i < w.size(); ++i) {
        char16_t c = w[i];
        if (c == u'/') {
            if (i == 0)
                r = u"/";
            else if (r.empty() || r.back() != u'/')
                r += u'/';
        } else if (c == u'.' && !r.empty() && r.back() == u'/' && i + 1 < w.size() && w[i + 1] == u'.') {
            r.pop_back();
            while (!r.empty() && r.back() != u'/') r.pop_back();
            ++i;
        } else {
            r += c;
        }
    }
    if (r != u"/" && !r.empty() && r.back() == u'/' && !keepTrailing) r.pop_back();
    return r;
}

}  // namespace http
