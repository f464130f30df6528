#include "http/NetHeaders.h"

#include <chrono>
#include <cmath>
#include <cstdio>

#include "http/NetTexts.h"
#include "http/TextUtil.h"
#include "platform/calendar.h"

namespace http {

// ---------------------------------------------------------------- dates

namespace {

constexpr double kUnixEpochDays = 25569.0;  // 1970-01-01 as days since 1899-12-30

const char* const kMonths[] = {"Jan", "Feb", "Mar", "Apr", "May", "Jun",
                               "Jul", "Aug", "Sep", "Oct", "Nov", "Dec"};
const char* const kWeekDays[] = {"Sun", "Mon", "Tue", "Wed", "Thu", "Fri", "Sat"};

using platform::CivilFromDays;
using platform::DaysFromCivil;

int DaysInMonth(int64_t y, unsigned m) {
    static const int days[] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
    if (m == 2 && ((y % 4 == 0 && y % 100 != 0) || y % 400 == 0)) return 29;
    return days[m - 1];
}

int MonthIndex(std::u16string_view token) {
    if (token.size() < 3) return -1;
    // "Nov" and "November" both name the month.
    for (int i = 0; i < 12; ++i)
        if (StartsWithIgnoreCase(token, AsciiText(kMonths[i]))) return i + 1;
    return -1;
}

bool ReadNumber(std::u16string_view token, int64_t& value, size_t minDigits = 1, size_t maxDigits = 4) {
    if (token.size() < minDigits || token.size() > maxDigits) return false;
    value = 0;
    for (char16_t c : token) {
        if (c < u'0' || c > u'9') return false;
        value = value * 10 + (c - u'0');
    }
    return true;
}

bool ReadTime(std::u16string_view token, int64_t& h, int64_t& mi, int64_t& s) {
    std::vector<std::u16string_view> parts = Split(token, u':');
    if (parts.size() != 3) return false;
    return ReadNumber(parts[0], h, 1, 2) && ReadNumber(parts[1], mi, 1, 2) &&
           ReadNumber(parts[2], s, 1, 2) && h < 24 && mi < 60 && s < 61;
}

}  // namespace

TDateTime NowUTC() {
    auto now = std::chrono::system_clock::now().time_since_epoch();
    double seconds = std::chrono::duration<double>(now).count();
    return kUnixEpochDays + seconds / 86400.0;
}

TDateTime UnixToDateTime(int64_t seconds) { return kUnixEpochDays + static_cast<double>(seconds) / 86400.0; }

int64_t DateTimeToUnix(TDateTime value) {
    return static_cast<int64_t>(std::llround((value - kUnixEpochDays) * 86400.0));
}

bool TryParseHTTPDate(std::u16string_view text, TDateTime& value) {
    // Tokens separated by spaces and commas; a "dd-Mon-yy(yy)" token is split
    // at its dashes.
    std::vector<std::u16string_view> tokens;
    size_t i = 0;
    while (i < text.size()) {
        while (i < text.size() && (text[i] == u' ' || text[i] == u',' || text[i] == u'\t')) ++i;
        size_t start = i;
        while (i < text.size() && text[i] != u' ' && text[i] != u',' && text[i] != u'\t') ++i;
        if (i > start) tokens.push_back(text.substr(start, i - start));
    }
    std::vector<std::u16string_view> expanded;
    for (auto token : tokens) {
        if (token.find(u'-') != std::u16string_view::npos && token[0] != u'-' &&
            token.find(u':') == std::u16string_view::npos) {
            for (auto part : Split(token, u'-')) expanded.push_back(part);
        } else {
            expanded.push_back(token);
        }
    }
    size_t k = 0;
    // An optional weekday name.
    if (k < expanded.size() && !expanded[k].empty() && IsAsciiLetter(expanded[k][0]) &&
        MonthIndex(expanded[k]) < 0)
        ++k;
    int64_t day = 0, year = 0, h = 0, mi = 0, s = 0;
    int month = -1;
    if (k < expanded.size() && MonthIndex(expanded[k]) > 0) {
        // asctime: Mon dd hh:mm:ss yyyy
        if (expanded.size() < k + 4) return false;
        month = MonthIndex(expanded[k]);
        if (!ReadNumber(expanded[k + 1], day, 1, 2) || !ReadTime(expanded[k + 2], h, mi, s) ||
            !ReadNumber(expanded[k + 3], year, 4, 4))
            return false;
        k += 4;
    } else {
        // dd Mon yyyy hh:mm:ss, dd-Mon-yy hh:mm:ss, dd-Mon-yyyy hh:mm:ss
        if (expanded.size() < k + 4) return false;
        month = MonthIndex(expanded[k + 1]);
        if (month < 0 || !ReadNumber(expanded[k], day, 1, 2) || !ReadNumber(expanded[k + 2], year, 2, 4) ||
            expanded[k + 2].size() == 3 || !ReadTime(expanded[k + 3], h, mi, s))
            return false;
        if (expanded[k + 2].size() == 2) year += year < 70 ? 2000 : 1900;
        k += 4;
    }
    int64_t offsetMinutes = 0;
    if (k < expanded.size()) {
        std::u16string_view zone = expanded[k];
        if ((zone[0] == u'+' || zone[0] == u'-') && zone.size() == 5) {
            int64_t hhmm;
            if (!ReadNumber(zone.substr(1), hhmm, 4, 4)) return false;
            offsetMinutes = (hhmm / 100) * 60 + hhmm % 100;
            if (zone[0] == u'-') offsetMinutes = -offsetMinutes;
        } else if (!(EqualsIgnoreCase(zone, u"GMT") || EqualsIgnoreCase(zone, u"UTC") ||
                     EqualsIgnoreCase(zone, u"UT") || EqualsIgnoreCase(zone, u"Z"))) {
            return false;
        }
        ++k;
    }
    if (k != expanded.size()) return false;
    if (year < 1601 || year > 9999 || day < 1 || day > DaysInMonth(year, month)) return false;
    int64_t seconds = DaysFromCivil(year, month, static_cast<unsigned>(day)) * 86400 + h * 3600 + mi * 60 +
                      s - offsetMinutes * 60;
    value = UnixToDateTime(seconds);
    return true;
}

std::u16string FormatHTTPDate(TDateTime value) {
    int64_t seconds = DateTimeToUnix(value);
    int64_t days = seconds >= 0 ? seconds / 86400 : -((-seconds + 86399) / 86400);
    int64_t rest = seconds - days * 86400;
    int64_t y;
    unsigned m, d;
    CivilFromDays(days, y, m, d);
    int weekday = static_cast<int>(((days % 7) + 7 + 4) % 7);  // 1970-01-01 was a Thursday
    char buffer[64];
    std::snprintf(buffer, sizeof buffer, "%s, %02u %s %04lld %02d:%02d:%02d GMT", kWeekDays[weekday], d,
                  kMonths[m - 1], static_cast<long long>(y), static_cast<int>(rest / 3600),
                  static_cast<int>(rest / 60 % 60), static_cast<int>(rest % 60));
    return AsciiText(buffer);
}

bool TryParseContentRange(std::u16string_view AValue, int64_t& AFirst, int64_t& ALast, int64_t& AComplete) {
    const std::u16string value = Trim(AValue);
    std::u16string_view text(value);
    if (!StartsWithIgnoreCase(text, u"bytes ")) return false;
    text.remove_prefix(6);
    const size_t dash = text.find(u'-');
    const size_t slash = text.find(u'/');
    if (dash == std::u16string_view::npos || slash == std::u16string_view::npos || slash < dash) return false;
    if (!TryReadDigits(text.substr(0, dash), AFirst) ||
        !TryReadDigits(text.substr(dash + 1, slash - dash - 1), ALast) || ALast < AFirst)
        return false;
    const std::u16string_view complete = text.substr(slash + 1);
    if (complete == u"*") {
        AComplete = -1;
        return true;
    }
    return TryReadDigits(complete, AComplete) && ALast < AComplete;
}

// ---------------------------------------------------------------- header list

namespace {

bool IsContinuation(const std::u16string& line) {
    return !line.empty() && (line[0] == u' ' || line[0] == u'\t');
}

bool IsFoldBreak(char16_t c) { return c == u' ' || c == u'\t' || c == u','; }

}  // namespace

std::u16string TNetHeaderList::Names(int index) const {
    if (index < 0 || index >= Count()) return {};
    const std::u16string& line = lines_[index];
    if (IsContinuation(line)) return {};
    size_t colon = line.find(u':');
    if (colon == std::u16string::npos) return {};
    return Trim(std::u16string_view(line).substr(0, colon));
}

std::u16string TNetHeaderList::ValueFromIndex(int index) const {
    if (index < 0 || index >= Count()) return {};
    const std::u16string& line = lines_[index];
    size_t colon = line.find(u':');
    std::u16string value = colon == std::u16string::npos ? std::u16string() : line.substr(colon + 1);
    if (UnfoldLines) {
        for (int k = index + 1; k < Count() && IsContinuation(lines_[k]); ++k)
            value += u" " + Trim(lines_[k]);
    }
    return Trim(value);
}

int TNetHeaderList::IndexOfName(std::u16string_view AName) const {
    for (int i = 0; i < Count(); ++i) {
        if (IsContinuation(lines_[i])) continue;
        size_t colon = lines_[i].find(u':');
        if (colon == std::u16string::npos) continue;
        if (EqualsIgnoreCase(Trim(std::u16string_view(lines_[i]).substr(0, colon)), AName)) return i;
    }
    return -1;
}

std::u16string TNetHeaderList::Values(std::u16string_view AName) const {
    return ValueFromIndex(IndexOfName(AName));
}

void TNetHeaderList::DeleteContinuations(int index) {
    while (index + 1 < Count() && IsContinuation(lines_[index + 1])) Delete(index + 1);
}

void TNetHeaderList::AddFolded(std::vector<std::u16string>::iterator at, const std::u16string& line) {
    std::vector<std::u16string> pieces;
    if (!FoldLines || FoldLength <= 0 || static_cast<int>(line.size()) <= FoldLength) {
        pieces.push_back(line);
    } else {
        std::u16string current = line;
        while (static_cast<int>(current.size()) > FoldLength) {
            int breakPos = -1;
            bool quoted = false;
            bool broke = false;
            for (size_t i = 0; i < current.size(); ++i) {
                char16_t c = current[i];
                if (c == u'"')
                    quoted = !quoted;
                else if (!quoted && i > 0 && IsFoldBreak(c))
                    breakPos = static_cast<int>(i);
                if (static_cast<int>(i) + 1 > FoldLength && breakPos > 0) {
                    broke = true;
                    break;
                }
            }
            if (!broke) break;
            pieces.push_back(TrimRight(std::u16string_view(current).substr(0, breakPos + 1)));
            size_t next = breakPos + 1;
            while (next < current.size() && IsFoldBreak(current[next])) ++next;
            if (next >= current.size()) {
                current.clear();
                break;
            }
            current = u" " + current.substr(next);
        }
        if (!current.empty()) pieces.push_back(TrimRight(current));
    }
    lines_.insert(at, pieces.begin(), pieces.end());
}

void TNetHeaderList::SetValues(std::u16string_view AName, const std::u16string& AValue) {
    int index = IndexOfName(AName);
    if (AValue.empty()) {
        if (index >= 0) {
            DeleteContinuations(index);
            Delete(index);
        }
        return;
    }
    std::u16string line = std::u16string(AName) + NameValueSeparator + AValue;
    if (index < 0) {
        AddFolded(lines_.end(), line);
        return;
    }
    if (FoldLines) DeleteContinuations(index);
    Delete(index);
    AddFolded(lines_.begin() + index, line);
}

void TNetHeaderList::Extract(std::u16string_view AName, std::vector<std::u16string>& ADest) const {
    for (int i = 0; i < Count(); ++i)
        if (!IsContinuation(lines_[i]) && EqualsIgnoreCase(Names(i), AName)) ADest.push_back(ValueFromIndex(i));
}

void TNetHeaderList::AddValue(std::u16string_view AName, const std::u16string& AValue) {
    AddFolded(lines_.end(), std::u16string(AName) + NameValueSeparator + AValue);
}

// ---------------------------------------------------------------- content type

namespace {

struct MediaType {
    std::u16string Type;
    std::vector<std::pair<std::u16string, std::u16string>> Params;
};

// "type/sub; name=value; name="quoted \" value"".
MediaType ParseMediaType(std::u16string_view text) {
    MediaType result;
    size_t i = 0;
    size_t semi = text.find(u';');
    result.Type = Trim(text.substr(0, semi));
    if (semi == std::u16string_view::npos) return result;
    i = semi + 1;
    while (i < text.size()) {
        size_t start = i;
        while (i < text.size() && text[i] != u'=' && text[i] != u';') ++i;
        std::u16string name = Trim(text.substr(start, i - start));
        std::u16string value;
        if (i < text.size() && text[i] == u'=') {
            ++i;
            while (i < text.size() && (text[i] == u' ' || text[i] == u'\t')) ++i;
            if (i < text.size() && text[i] == u'"') {
                ++i;
                while (i < text.size() && text[i] != u'"') {
                    if (text[i] == u'\\' && i + 1 < text.size()) ++i;
                    value += text[i++];
                }
                if (i < text.size()) ++i;
                while (i < text.size() && text[i] != u';') ++i;
            } else {
                size_t vstart = i;
                while (i < text.size() && text[i] != u';') ++i;
                value = Trim(text.substr(vstart, i - vstart));
            }
        }
        if (i < text.size() && text[i] == u';') ++i;
        if (!name.empty()) result.Params.emplace_back(std::move(name), std::move(value));
    }
    return result;
}

std::u16string QuoteParamValue(const std::u16string& value) {
    static const std::u16string_view specials = u"()<>@,;:\\\"/[]?=";
    if (value.find_first_of(specials) == std::u16string::npos) return value;
    std::u16string quoted = u"\"";
    for (char16_t c : value) {
        if (c == u'"' || c == u'\\') quoted += u'\\';
        quoted += c;
    }
    return quoted + u"\"";
}

int64_t ReadInt64(std::u16string_view text, int64_t fallback) {
    int64_t value;
    return TryReadInt64(Trim(text), value) ? value : fallback;
}

TDateTime ReadDate(const std::u16string& text) {
    TDateTime value = 0;
    return TryParseHTTPDate(text, value) ? value : 0;
}

}  // namespace

// ---------------------------------------------------------------- entity

TNetEntityHeaderInfo::TNetEntityHeaderInfo() { RawHeaders.FoldLength = 1024; }

void TNetEntityHeaderInfo::ClearEntity() {
    CacheControl.clear();
    RawHeaders.Clear();
    CharSet.clear();
    Connection.clear();
    ContentDisposition.clear();
    ContentEncoding.clear();
    ContentLanguage.clear();
    ContentLength = -1;
    ContentRangeEnd = ContentRangeStart = ContentRangeInstanceLength = 0;
    ContentType.clear();
    ContentVersion.clear();
    CustomHeaders.Clear();
    Date = Expires = LastModified = 0;
    ETag.clear();
    Pragma.clear();
    HasContentLength = false;
}

void TNetEntityHeaderInfo::Clear() { ClearEntity(); }

void TNetEntityHeaderInfo::WriteEntityHeaders() {
    TNetHeaderList& h = RawHeaders;
    if (!Connection.empty()) h.SetValues(u"Connection", Connection);
    if (!ContentVersion.empty()) h.SetValues(u"Content-Version", ContentVersion);
    if (!ContentDisposition.empty()) h.SetValues(u"Content-Disposition", ContentDisposition);
    if (!ContentEncoding.empty()) h.SetValues(u"Content-Encoding", ContentEncoding);
    if (!ContentLanguage.empty()) h.SetValues(u"Content-Language", ContentLanguage);
    if (!ContentType.empty()) {
        MediaType type = ParseMediaType(ContentType);
        bool charsetWritten = false;
        std::u16string text = type.Type;
        for (auto& [name, value] : type.Params) {
            if (EqualsIgnoreCase(name, u"charset")) {
                if (CharSet.empty() || charsetWritten) continue;
                value = CharSet;
                charsetWritten = true;
            }
            text += u"; " + name + u"=" + QuoteParamValue(value);
        }
        if (!CharSet.empty() && !charsetWritten) text += u"; charset=" + QuoteParamValue(CharSet);
        h.SetValues(u"Content-Type", text);
    }
    if (ContentLength >= 0) h.SetValues(u"Content-Length", AsciiText(std::to_string(ContentLength)));
    if (!CacheControl.empty()) h.SetValues(u"Cache-control", CacheControl);
    if (Date > 0) h.SetValues(u"Date", FormatHTTPDate(Date));
    if (!ETag.empty()) h.SetValues(u"ETag", ETag);
    if (Expires > 0) h.SetValues(u"Expires", FormatHTTPDate(Expires));
    if (!Pragma.empty()) h.SetValues(u"Pragma", Pragma);
    for (const auto& line : CustomHeaders.Lines()) h.Add(line);
}

void TNetEntityHeaderInfo::SetHeaders() {
    RawHeaders.Clear();
    WriteEntityHeaders();
}

void TNetEntityHeaderInfo::ReadEntityHeaders() {
    const TNetHeaderList& h = RawHeaders;
    CacheControl = h.Values(u"Cache-control");
    Connection = h.Values(u"Connection");
    ContentVersion = h.Values(u"Content-Version");
    ContentDisposition = h.Values(u"Content-Disposition");
    ContentEncoding = h.Values(u"Content-Encoding");
    ContentLanguage = h.Values(u"Content-Language");

    std::u16string type = h.Values(u"Content-Type");
    if (type.empty()) {
        ContentType.clear();
    } else {
        MediaType parsed = ParseMediaType(type);
        std::u16string text = parsed.Type;
        for (const auto& [name, value] : parsed.Params) {
            if (EqualsIgnoreCase(name, u"charset"))
                CharSet = value;
            else
                text += u"; " + name + u"=" + QuoteParamValue(value);
        }
        ContentType = text;
    }

    ContentLength = ReadInt64(h.Values(u"Content-Length"), -1);
    HasContentLength = ContentLength >= 0;
    if (!HasContentLength) ContentLength = -1;

    std::u16string range = h.Values(u"Content-Range");
    ContentRangeStart = ContentRangeEnd = ContentRangeInstanceLength = 0;
    if (!range.empty()) {
        size_t space = range.find(u' ');
        std::u16string_view rest = space == std::u16string::npos ? std::u16string_view()
                                                                 : std::u16string_view(range).substr(space + 1);
        size_t slash = rest.find(u'/');
        std::u16string_view span = rest.substr(0, slash);
        if (slash != std::u16string_view::npos)
            ContentRangeInstanceLength = ReadInt64(rest.substr(slash + 1), 0);
        size_t dash = span.find(u'-');
        ContentRangeStart = ReadInt64(span.substr(0, dash), 0);
        if (dash != std::u16string_view::npos) ContentRangeEnd = ReadInt64(span.substr(dash + 1), 0);
    }

    Date = ReadDate(h.Values(u"Date"));
    LastModified = ReadDate(h.Values(u"Last-Modified"));
    Expires = ReadDate(h.Values(u"Expires"));
    ETag = h.Values(u"ETag");
    Pragma = h.Values(u"Pragma");
}

void TNetEntityHeaderInfo::ReadHeaderFields() { ReadEntityHeaders(); }

// ---------------------------------------------------------------- request

TNetRequestHeaderInfo::TNetRequestHeaderInfo() { Clear(); }

void TNetRequestHeaderInfo::Clear() {
    ClearEntity();
    Accept = texts::kDefaultAccept;
    AcceptCharSet.clear();
    AcceptEncoding.clear();
    AcceptLanguage.clear();
    Expect.clear();
    From.clear();
    Password.clear();
    Referer.clear();
    UserAgent = texts::kDefaultUserAgent;
    Username.clear();
    Host.clear();
    ProxyConnection.clear();
    Range.clear();
    BasicByDefault = false;
}

void TNetRequestHeaderInfo::SetHeaders() {
    RawHeaders.Clear();
    WriteEntityHeaders();
    TNetHeaderList& h = RawHeaders;
    if (!ProxyConnection.empty()) h.SetValues(u"Proxy-Connection", ProxyConnection);
    if (!Host.empty()) h.SetValues(u"Host", Host);
    if (!Accept.empty()) h.SetValues(u"Accept", Accept);
    if (!AcceptCharSet.empty()) h.SetValues(u"Accept-Charset", AcceptCharSet);
    if (!AcceptEncoding.empty()) h.SetValues(u"Accept-Encoding", AcceptEncoding);
    if (!AcceptLanguage.empty()) h.SetValues(u"Accept-Language", AcceptLanguage);
    if (!From.empty()) h.SetValues(u"From", From);
    if (!Referer.empty()) h.SetValues(u"Referer", Referer);
    if (!UserAgent.empty()) h.SetValues(u"User-Agent", UserAgent);
    if (!Range.empty()) h.SetValues(u"Range", u"bytes=" + Range);
    if (LastModified > 0) h.SetValues(u"If-Modified-Since", FormatHTTPDate(LastModified));
    if (BasicByDefault)
        h.SetValues(u"Authorization", u"Basic " + AsciiText(Base64Encode(Utf8Bytes(Username + u":" + Password))));
}

// ---------------------------------------------------------------- response

TNetResponseHeaderInfo::TNetResponseHeaderInfo() { Clear(); }

void TNetResponseHeaderInfo::Clear() {
    ClearEntity();
    ContentType = texts::kDefaultResponseContentType;
    AcceptRanges.clear();
    Location.clear();
    Server.clear();
    ProxyConnection.clear();
    ProxyAuthenticate.Clear();
    WWWAuthenticate.Clear();
}

void TNetResponseHeaderInfo::ReadHeaderFields() {
    ReadEntityHeaders();
    Location = RawHeaders.Values(u"Location");
    Server = RawHeaders.Values(u"Server");
    ProxyConnection = RawHeaders.Values(u"Proxy-Connection");
    AcceptRanges = RawHeaders.Values(u"Accept-Ranges");
    std::vector<std::u16string> values;
    WWWAuthenticate.Clear();
    RawHeaders.Extract(u"WWW-Authenticate", values);
    for (auto& v : values) WWWAuthenticate.Add(std::move(v));
    values.clear();
    ProxyAuthenticate.Clear();
    RawHeaders.Extract(u"Proxy-Authenticate", values);
    for (auto& v : values) ProxyAuthenticate.Add(std::move(v));
}

}  // namespace http
