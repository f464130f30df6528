#include "http/NetURI.h"

#include "http/NetException.h"
#include "http/NetTexts.h"

namespace http {

namespace {

using size_type = std::u16string::size_type;
constexpr auto npos = std::u16string::npos;

char16_t Upper(char16_t c) { return (c >= u'a' && c <= u'z') ? static_cast<char16_t>(c - 32) : c; }

bool SameText(std::u16string_view a, std::u16string_view b) {
    if (a.size() != b.size()) return false;
    for (size_t i = 0; i < a.size(); ++i)
        if (Upper(a[i]) != Upper(b[i])) return false;
    return true;
}

bool IsHighSurrogate(char16_t c) { return c >= 0xD800 && c <= 0xDBFF; }

}  // namespace

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

    size_type scheme = w.find(u"://");
    if (scheme == npos) {
        splitParams();
        size_type slash = w.rfind(u'/');
        if (slash != npos) {
            Path = w.substr(0, slash + 1);
            w.erase(0, slash + 1);
        }
    } else {
        Protocol = w.substr(0, scheme);
        w.erase(0, scheme + 3);
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
    result += Host;
    if (!Port.empty()) {
        bool isDefault = (SameText(Protocol, u"HTTP") && Port == u"80") ||
                         (SameText(Protocol, u"HTTPS") && Port == u"443") ||
                         (SameText(Protocol, u"FTP") && Port == u"21");
        if (!isDefault) result += u":" + Port;
    }
    result += GetPathAndParams();
    if ((AOptionalFields & ofBookmark) && !Bookmark.empty()) result += u"#" + Bookmark;
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
