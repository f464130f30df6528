// The header model: an ordered list of header lines with case-insensitive
// lookup, folding and unfolding, and the header objects that turn named fields
// into request lines and reply lines into named fields.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

namespace http {

// Days since 1899-12-30 00:00 UTC, fractions for the time of day; 0 = unset.
using TDateTime = double;

TDateTime NowUTC();
TDateTime UnixToDateTime(int64_t seconds);
int64_t DateTimeToUnix(TDateTime value);
// Reads the three HTTP date forms (RFC 1123 "Sun, 06 Nov 1994 08:49:37 GMT",
// RFC 850 "Sunday, 06-Nov-94 08:49:37 GMT", asctime "Sun Nov  6 08:49:37 1994")
// and the cookie form with dashes ("Sun, 06-Nov-1994 08:49:37 GMT").
// Returns false for anything else.
bool TryParseHTTPDate(std::u16string_view text, TDateTime& value);
// Writes the RFC 1123 form.
std::u16string FormatHTTPDate(TDateTime value);

// A Content-Range value as a satisfied range is written (RFC 9110, 14.4):
// "bytes first-last/complete", complete a length or "*" (given as -1). False
// for anything else, and for a last position before the first or not below
// the complete length. The reply fields read the same header leniently.
bool TryParseContentRange(std::u16string_view AValue, int64_t& AFirst, int64_t& ALast, int64_t& AComplete);

// An ordered list of header lines: "name: value" lines and continuation lines
// that begin with a space or a tab.
class TNetHeaderList {
public:
    std::u16string NameValueSeparator = u": ";
    bool UnfoldLines = true;
    bool FoldLines = true;
    int FoldLength = 78;

    int Count() const { return static_cast<int>(lines_.size()); }
    const std::u16string& operator[](int index) const { return lines_[index]; }
    const std::vector<std::u16string>& Lines() const { return lines_; }
    void Add(std::u16string line) { lines_.push_back(std::move(line)); }
    void Delete(int index) { lines_.erase(lines_.begin() + index); }
    void Clear() { lines_.clear(); }

    // The text before the first ":" of line `index`; empty when it has none.
    std::u16string Names(int index) const;
    // The value of line `index` with its continuation lines joined when
    // UnfoldLines is set; empty outside the list.
    std::u16string ValueFromIndex(int index) const;
    int IndexOfName(std::u16string_view AName) const;

    std::u16string Values(std::u16string_view AName) const;
    // Replaces the first line of the name in place (appends when absent);
    // an empty value removes the line with its continuation lines.
    void SetValues(std::u16string_view AName, const std::u16string& AValue);
    // Appends the value of every line of the name, in list order.
    void Extract(std::u16string_view AName, std::vector<std::u16string>& ADest) const;
    // Appends a line even when the name is present.
    void AddValue(std::u16string_view AName, const std::u16string& AValue);

private:
    void AddFolded(std::vector<std::u16string>::iterator at, const std::u16string& line);
    void DeleteContinuations(int index);
    std::vector<std::u16string> lines_;
};

// Fields common to request and reply headers.
class TNetEntityHeaderInfo {
public:
    TNetEntityHeaderInfo();
    virtual ~TNetEntityHeaderInfo() = default;

    virtual void Clear();
    // Empties RawHeaders, then writes the fields into it.
    virtual void SetHeaders();
    // Reads RawHeaders into the fields.
    virtual void ReadHeaderFields();

    bool HasContentRange() const { return ContentRangeEnd > 0; }
    bool HasContentRangeInstance() const { return ContentRangeInstanceLength > 0; }

    std::u16string CacheControl;
    TNetHeaderList RawHeaders;
    std::u16string CharSet;
    std::u16string Connection;
    std::u16string ContentDisposition;
    std::u16string ContentEncoding;
    std::u16string ContentLanguage;
    int64_t ContentLength = -1;
    int64_t ContentRangeEnd = 0;
    int64_t ContentRangeStart = 0;
    int64_t ContentRangeInstanceLength = 0;
    std::u16string ContentType;
    std::u16string ContentVersion;
    TNetHeaderList CustomHeaders;
    TDateTime Date = 0;
    TDateTime Expires = 0;
    TDateTime LastModified = 0;
    std::u16string ETag;
    std::u16string Pragma;
    bool HasContentLength = false;

protected:
    void ClearEntity();
    void WriteEntityHeaders();
    void ReadEntityHeaders();
};

// Named fields of a request, written as header lines in a fixed order.
class TNetRequestHeaderInfo : public TNetEntityHeaderInfo {
public:
    TNetRequestHeaderInfo();
    void Clear() override;
    void SetHeaders() override;

    std::u16string Accept;
    std::u16string AcceptCharSet;
    std::u16string AcceptEncoding;
    std::u16string AcceptLanguage;
    std::u16string Expect;
    std::u16string From;
    std::u16string Password;
    std::u16string Referer;
    std::u16string UserAgent;
    std::u16string Username;
    std::u16string Host;
    std::u16string ProxyConnection;
    // The byte range without "bytes=", e.g. "0-1023999" or "1024000-".
    std::u16string Range;
    bool BasicByDefault = false;
};

// Named fields of a reply, read from its header lines.
class TNetResponseHeaderInfo : public TNetEntityHeaderInfo {
public:
    TNetResponseHeaderInfo();
    void Clear() override;
    void ReadHeaderFields() override;

    std::u16string AcceptRanges;
    std::u16string Location;
    std::u16string Server;
    std::u16string ProxyConnection;
    TNetHeaderList ProxyAuthenticate;
    TNetHeaderList WWWAuthenticate;
};

}  // namespace http
