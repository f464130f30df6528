// The cookie store of an HTTP client: cookies from "Set-cookie" and
// "Set-cookie2" replies, kept per domain and sent back as the "Cookie" line.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <shared_mutex>
#include <string>
#include <utility>
#include <vector>

#include "http/NetURI.h"

namespace http {

// A cookie as the original Netscape note describes it.
class TNetNetscapeCookie {
public:
    virtual ~TNetNetscapeCookie() = default;

    const std::u16string& CookieText() const { return FCookieText; }
    // Parses the text, unless it is the text parsed last.
    void SetCookieText(const std::u16string& AText);
    // name "=" value
    std::u16string ClientCookie() const { return CookieName + u"=" + Value; }
    // Whether the expiry text names a date before now.
    bool IsExpired() const;
    // Takes the data of another cookie (a replacement under the same name).
    virtual void Assign(const TNetNetscapeCookie& source);
    // Whether the cookie text named a path (else the store gives it the
    // directory of the address it came from).
    bool PathNamed() const { return FPathNamed; }

    std::u16string Domain;
    std::u16string Expires;  // as received (or written from max-age)
    bool HttpOnly = false;
    std::u16string CookieName;
    std::u16string Path;
    bool Secure = false;
    std::u16string Value;

protected:
    using Attributes = std::vector<std::pair<std::u16string, std::u16string>>;
    static const std::u16string* Find(const Attributes& attributes, std::u16string_view name);
    virtual void LoadProperties(const Attributes& attributes);

    std::u16string FCookieText;
    bool FPathNamed = false;
};

// Cookies from "Set-cookie": adds max-age, version and comment.
class TNetCookieRFC2109 : public TNetNetscapeCookie {
public:
    void Assign(const TNetNetscapeCookie& source) override;

    int64_t Max_Age = -1;
    int32_t Version = 0;
    std::u16string Comment;

protected:
    void LoadProperties(const Attributes& attributes) override;
};

// Cookies from "Set-cookie2": adds the port rules, discard and comment URL.
class TNetCookieRFC2965 : public TNetCookieRFC2109 {
public:
    void Assign(const TNetNetscapeCookie& source) override;

    std::u16string CommentURL;
    bool Discard = false;
    std::vector<uint16_t> PortList;
    uint16_t RecvPort = 0;
    bool UsePort = false;

protected:
    void LoadProperties(const Attributes& attributes) override;
};

enum TNetCookieAccess { caRead, caReadWrite };

// All cookies of one store, indexed by domain (in the order the domains were
// first added) and, within a domain, by name; both case-insensitive.
class TNetCookies {
public:
    struct DomainEntry {
        std::u16string Domain;
        std::vector<TNetNetscapeCookie*> Cookies;  // in the order first stored
    };

    // Stores the cookie under its domain, replacing one of the same name.
    void AddCookie(std::unique_ptr<TNetNetscapeCookie> ACookie);
    void Remove(TNetNetscapeCookie* ACookie);
    int Count() const { return static_cast<int>(items_.size()); }
    const std::vector<DomainEntry>& CookieListByDomain() const { return byDomain_; }

    // Guards the index: shared for reading, exclusive for changes.
    void LockCookieListByDomain(TNetCookieAccess AAccessType);
    void UnlockCookieListByDomain(TNetCookieAccess AAccessType);

private:
    std::vector<std::unique_ptr<TNetNetscapeCookie>> items_;
    std::vector<DomainEntry> byDomain_;
    std::shared_mutex FRWLock;
};

// Takes the cookies of replies and gives the "Cookie" text for requests.
class TNetCookieManager {
public:
    // May refuse a cookie by setting VAccept to false.
    std::function<void(TNetCookieManager* Sender, TNetNetscapeCookie* ACookie, bool& VAccept)> OnNewCookie;
    std::function<void(TNetCookieManager* Sender)> OnCreate;
    std::function<void(TNetCookieManager* Sender)> OnDestroy;

    // A "Set-cookie" value received from AURL.
    void AddCookie(const std::u16string& ACookie, const TNetURI& AURL);
    // A "Set-cookie2" value received from AURL.
    void AddCookie2(const std::u16string& ACookie, const TNetURI& AURL);
    // The "Cookie" text for a request to URL; empty when no cookie applies.
    std::u16string GenerateCookieList(const TNetURI& URL, bool SecureConnection = false);

    TNetCookies& CookieCollection() { return cookies_; }

private:
    void AddParsed(std::unique_ptr<TNetNetscapeCookie> cookie, const TNetURI& AURL);
    TNetCookies cookies_;
};

}  // namespace http
