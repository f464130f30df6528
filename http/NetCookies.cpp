#include "http/NetCookies.h"

#include <algorithm>
#include <chrono>

#include "http/NetHeaders.h"
#include "http/TextUtil.h"

namespace http {

namespace {

bool IsIPAddress(const std::u16string& host) {
    if (host.find(u':') != std::u16string::npos) return true;  // IPv6
    std::vector<std::u16string_view> parts = Split(host, u'.');
    if (parts.size() != 4) return false;
    for (auto part : parts) {
        if (part.empty() || part.size() > 3) return false;
        for (char16_t c : part)
            if (c < u'0' || c > u'9') return false;
        int value = 0;
        for (char16_t c : part) value = value * 10 + (c - u'0');
        if (value > 255) return false;
    }
    return true;
}

bool IsHostName(const std::u16string& name) { return !name.empty() && !IsIPAddress(name); }

bool DomainMatch(const std::u16string& host, const std::u16string& domain) {
    if (IsIPAddress(host)) return EqualsIgnoreCase(host, domain);
    if (!domain.empty() && domain[0] == u'.') {
        std::u16string bare = domain.substr(1);
        if (EndsWithIgnoreCase(host, domain) && IsHostName(bare) && bare.size() < host.size()) return true;
        return EqualsIgnoreCase(host, bare);
    }
    return EqualsIgnoreCase(host, domain);
}

// A host name without a dot gets ".local", as the port-aware cookie rules ask.
std::u16string WithLocal(const std::u16string& host) {
    return host.find(u'.') == std::u16string::npos ? host + u".local" : host;
}

int64_t NowSeconds() {
    return std::chrono::duration_cast<std::chrono::seconds>(std::chrono::system_clock::now().time_since_epoch())
        .count();
}

uint16_t PortOf(const TNetURI& url) {
    uint16_t port;
    if (TryReadPort(url.Port, port)) return port;
    return DefaultPort(url.Protocol) != 0 ? DefaultPort(url.Protocol) : 80;
}

std::u16string Unquote(const std::u16string& text) {
    if (text.size() >= 2 && text.front() == u'"' && text.back() == u'"') return text.substr(1, text.size() - 2);
    return text;
}

bool PortMatch(const TNetNetscapeCookie& cookie, uint16_t port) {
    auto* rfc2965 = dynamic_cast<const TNetCookieRFC2965*>(&cookie);
    if (!rfc2965 || !rfc2965->UsePort) return true;
    if (rfc2965->PortList.empty()) return port == rfc2965->RecvPort;
    return std::find(rfc2965->PortList.begin(), rfc2965->PortList.end(), port) != rfc2965->PortList.end();
}

}  // namespace

// ---------------------------------------------------------------- cookie classes

const std::u16string* TNetNetscapeCookie::Find(const Attributes& attributes, std::u16string_view name) {
    for (const auto& [key, value] : attributes)
        if (key == name) return &value;
    return nullptr;
}

void TNetNetscapeCookie::SetCookieText(const std::u16string& AText) {
    if (AText == FCookieText && !CookieName.empty()) return;
    FCookieText = AText;
    std::u16string text = Trim(AText);
    std::vector<std::u16string> items;
    for (auto item : Split(text, u';')) items.push_back(Trim(item));
    CookieName.clear();
    Value.clear();
    if (!items.empty()) {
        size_t eq = items[0].find(u'=');
        CookieName = Trim(std::u16string_view(items[0]).substr(0, eq));
        if (eq != std::u16string::npos) Value = Trim(std::u16string_view(items[0]).substr(eq + 1));
    }
    Attributes attributes;
    for (size_t i = 1; i < items.size(); ++i) {
        if (items[i].empty()) continue;
        size_t eq = items[i].find(u'=');
        std::u16string name = UpperCase(Trim(std::u16string_view(items[i]).substr(0, eq)));
        std::u16string value = eq == std::u16string::npos ? std::u16string() : Trim(std::u16string_view(items[i]).substr(eq + 1));
        attributes.emplace_back(std::move(name), std::move(value));
    }
    LoadProperties(attributes);
}

void TNetNetscapeCookie::LoadProperties(const Attributes& attributes) {
    Path.clear();
    FPathNamed = false;
    if (const auto* path = Find(attributes, u"PATH")) {
        FPathNamed = true;
        Path = *path;
        if (!Path.empty() && Path.front() == u'"') Path.erase(0, 1);
        if (!Path.empty() && Path.back() == u'"') Path.pop_back();
    }
    if (Path.empty()) Path.assign(1, u'/');
    const auto* expires = Find(attributes, u"EXPIRES");
    Expires = expires ? *expires : std::u16string();
    Domain.clear();
    if (const auto* domain = Find(attributes, u"DOMAIN")) Domain = domain->substr(0, domain->find(u':'));
    Secure = Find(attributes, u"SECURE") != nullptr;
    HttpOnly = Find(attributes, u"HTTPONLY") != nullptr;
}

bool TNetNetscapeCookie::IsExpired() const {
    // Expiry dates are whole seconds: one of the current second has passed.
    TDateTime when;
    return !Expires.empty() && TryParseHTTPDate(Expires, when) && DateTimeToUnix(when) <= NowSeconds();
}

void TNetNetscapeCookie::Assign(const TNetNetscapeCookie& source) {
    FCookieText = source.FCookieText;
    Domain = source.Domain;
    Expires = source.Expires;
    HttpOnly = source.HttpOnly;
    CookieName = source.CookieName;
    Path = source.Path;
    Secure = source.Secure;
    Value = source.Value;
    FPathNamed = source.FPathNamed;
}

void TNetCookieRFC2109::LoadProperties(const Attributes& attributes) {
    TNetNetscapeCookie::LoadProperties(attributes);
    TDateTime when;
    if (TryParseHTTPDate(Expires, when)) Max_Age = DateTimeToUnix(when) - NowSeconds();
    Max_Age = -1;
    int64_t number;
    if (const auto* maxAge = Find(attributes, u"MAX-AGE"); maxAge && TryReadInt64(Unquote(*maxAge), number))
        Max_Age = number;
    Version = 0;
    if (const auto* version = Find(attributes, u"VERSION");
        version && TryReadInt64(Unquote(*version), number) && number >= INT32_MIN && number <= INT32_MAX)
        Version = static_cast<int32_t>(number);
    const auto* comment = Find(attributes, u"COMMENT");
    Comment = comment ? *comment : std::u16string();
    if (Expires.empty() && Max_Age >= 0) {
        // A huge max-age is capped at the last date the format can write.
        int64_t seconds = std::min<int64_t>(Max_Age, int64_t(253402300799) - NowSeconds());
        Expires = FormatHTTPDate(UnixToDateTime(NowSeconds() + seconds));
    }
}

void TNetCookieRFC2109::Assign(const TNetNetscapeCookie& source) {
    TNetNetscapeCookie::Assign(source);
    if (auto* other = dynamic_cast<const TNetCookieRFC2109*>(&source)) {
        Max_Age = other->Max_Age;
        Version = other->Version;
        Comment = other->Comment;
    }
}

void TNetCookieRFC2965::LoadProperties(const Attributes& attributes) {
    TNetCookieRFC2109::LoadProperties(attributes);
    const auto* commentUrl = Find(attributes, u"COMMENTURL");
    CommentURL = commentUrl ? *commentUrl : std::u16string();
    Discard = Find(attributes, u"DISCARD") != nullptr;
    PortList.clear();
    const auto* port = Find(attributes, u"PORT");
    UsePort = port != nullptr;
    if (port && port->size() >= 2 && port->front() == u'"') {
        const std::u16string list = Unquote(*port);
        for (auto item : Split(list, u',')) {
            uint16_t number;
            if (TryReadPort(Trim(item), number)) PortList.push_back(number);
        }
    }
}

void TNetCookieRFC2965::Assign(const TNetNetscapeCookie& source) {
    TNetCookieRFC2109::Assign(source);
    if (auto* other = dynamic_cast<const TNetCookieRFC2965*>(&source)) {
        CommentURL = other->CommentURL;
        Discard = other->Discard;
        PortList = other->PortList;
        RecvPort = other->RecvPort;
        UsePort = other->UsePort;
    }
}

// ---------------------------------------------------------------- collection

void TNetCookies::AddCookie(std::unique_ptr<TNetNetscapeCookie> ACookie) {
    auto entry = std::find_if(byDomain_.begin(), byDomain_.end(),
                              [&](const DomainEntry& e) { return EqualsIgnoreCase(e.Domain, ACookie->Domain); });
    if (entry == byDomain_.end()) {
        byDomain_.push_back(DomainEntry{ACookie->Domain, {}});
        entry = byDomain_.end() - 1;
    }
    for (TNetNetscapeCookie*& stored : entry->Cookies) {
        if (EqualsIgnoreCase(stored->CookieName, ACookie->CookieName)) {
            // The new cookie takes the old one's place.
            for (auto& item : items_)
                if (item.get() == stored) {
                    item = std::move(ACookie);
                    stored = item.get();
                    return;
                }
        }
    }
    entry->Cookies.push_back(ACookie.get());
    items_.push_back(std::move(ACookie));
}

void TNetCookies::Remove(TNetNetscapeCookie* ACookie) {
    for (auto& entry : byDomain_)
        entry.Cookies.erase(std::remove(entry.Cookies.begin(), entry.Cookies.end(), ACookie), entry.Cookies.end());
    items_.erase(std::remove_if(items_.begin(), items_.end(), [&](const auto& item) { return item.get() == ACookie; }),
                 items_.end());
}

void TNetCookies::LockCookieListByDomain(TNetCookieAccess AAccessType) {
    if (AAccessType == caRead)
        FRWLock.lock_shared();
    else
        FRWLock.lock();
}

void TNetCookies::UnlockCookieListByDomain(TNetCookieAccess AAccessType) {
    if (AAccessType == caRead)
        FRWLock.unlock_shared();
    else
        FRWLock.unlock();
}

// ---------------------------------------------------------------- manager

void TNetCookieManager::AddCookie(const std::u16string& ACookie, const TNetURI& AURL) {
    auto cookie = std::make_unique<TNetCookieRFC2109>();
    cookie->SetCookieText(ACookie);
    AddParsed(std::move(cookie), AURL);
}

void TNetCookieManager::AddCookie2(const std::u16string& ACookie, const TNetURI& AURL) {
    auto cookie = std::make_unique<TNetCookieRFC2965>();
    cookie->SetCookieText(ACookie);
    cookie->RecvPort = PortOf(AURL);
    AddParsed(std::move(cookie), AURL);
}

void TNetCookieManager::AddParsed(std::unique_ptr<TNetNetscapeCookie> cookie, const TNetURI& AURL) {
    if (cookie->CookieName.empty()) return;
    auto* rfc2965 = dynamic_cast<TNetCookieRFC2965*>(cookie.get());
    const std::u16string& host = AURL.Host;
    const std::u16string matchHost = rfc2965 ? WithLocal(host) : host;

    if (cookie->Domain.empty())
        cookie->Domain = u"." + matchHost;
    else if (rfc2965 && cookie->Domain[0] != u'.')
        cookie->Domain = u"." + cookie->Domain;
    if (!cookie->PathNamed()) {
        // The request's own directory, without its final "/".
        cookie->Path = AURL.Path;
        if (!cookie->Path.empty() && cookie->Path.back() == u'/') cookie->Path.pop_back();
    }
    const std::u16string& domain = cookie->Domain;
    const std::u16string bare = domain[0] == u'.' ? domain.substr(1) : domain;

    bool refuse = AURL.Path.rfind(cookie->Path, 0) != 0;
    if (rfc2965) {
        refuse = refuse || rfc2965->Version <= 0 ||
                 (bare.find(u'.') == std::u16string::npos && !EqualsIgnoreCase(domain, u".local")) ||
                 !DomainMatch(matchHost, domain);
    } else {
        refuse = refuse || domain[0] != u'.' || bare.find(u'.') == std::u16string::npos ||
                 !DomainMatch(host, domain);
    }
    if (!refuse && IsHostName(matchHost) && EndsWithIgnoreCase(matchHost, domain)) {
        std::u16string before = matchHost.substr(0, matchHost.size() - domain.size());
        if (before.find(u'.') != std::u16string::npos) refuse = true;
    }
    if (!refuse && !PortMatch(*cookie, PortOf(AURL))) refuse = true;
    if (refuse) return;

    bool accept = true;
    if (OnNewCookie) OnNewCookie(this, cookie.get(), accept);
    if (!accept) return;
    cookies_.LockCookieListByDomain(caReadWrite);
    cookies_.AddCookie(std::move(cookie));
    cookies_.UnlockCookieListByDomain(caReadWrite);
}

std::u16string TNetCookieManager::GenerateCookieList(const TNetURI& URL, bool SecureConnection) {
    cookies_.LockCookieListByDomain(caReadWrite);
    std::vector<TNetNetscapeCookie*> expired;
    for (const auto& entry : cookies_.CookieListByDomain())
        for (auto* cookie : entry.Cookies)
            if (cookie->IsExpired()) expired.push_back(cookie);
    for (auto* cookie : expired) cookies_.Remove(cookie);
    cookies_.UnlockCookieListByDomain(caReadWrite);

    cookies_.LockCookieListByDomain(caRead);
    const std::u16string host = WithLocal(URL.Host);
    const uint16_t port = PortOf(URL);
    std::vector<const TNetNetscapeCookie*> kept;
    for (const auto& entry : cookies_.CookieListByDomain()) {
        if (!DomainMatch(host, entry.Domain)) continue;
        for (auto it = entry.Cookies.rbegin(); it != entry.Cookies.rend(); ++it) {
            const TNetNetscapeCookie* cookie = *it;
            if (!PortMatch(*cookie, port)) continue;
            if (URL.Path.rfind(cookie->Path, 0) != 0) continue;
            if (cookie->Secure && !SecureConnection) continue;
            if (cookie->Value.empty()) continue;
            kept.push_back(cookie);
        }
    }
    cookies_.UnlockCookieListByDomain(caRead);
    std::u16string text;
    for (auto it = kept.rbegin(); it != kept.rend(); ++it) {
        if (!text.empty()) text += u"; ";
        text += (*it)->ClientCookie();
    }
    return text;
}

}  // namespace http
