#include "app/ReleaseStatement.h"

#include <vector>

#include "json/jsonvalue.h"
#include "platform/calendar.h"
#include "platform/codepage.h"
#include "platform/crypto.h"
#include "platform/signature.h"

namespace release {

namespace {

TTrust& TrustStore() {
    static TTrust trust;
    return trust;
}

bool IsDigit(char c) { return c >= '0' && c <= '9'; }

// The parts of a dotted version; false for anything else. Each part has at
// most nine digits, so it fits an int.
bool VersionParts(const std::string& text, std::vector<uint32_t>& parts) {
    parts.clear();
    size_t i = 0;
    for (;;) {
        const size_t start = i;
        uint32_t value = 0;
        for (; i < text.size() && IsDigit(text[i]); ++i) {
            if (i - start == 9) return false;
            value = value * 10 + static_cast<uint32_t>(text[i] - '0');
        }
        if (i == start) return false;
        parts.push_back(value);
        if (i == text.size()) return true;
        if (text[i++] != '.') return false;
    }
}

bool IsLowerHex(const std::string& text, size_t length) {
    if (text.size() != length) return false;
    for (char c : text)
        if (!IsDigit(c) && !(c >= 'a' && c <= 'f')) return false;
    return true;
}

// A member of the statement that must be a string.
bool StringMember(const json::IJsonValue& statement, const char16_t* name, std::string& out) {
    json::IJsonValue member = statement->GetN(name);
    if (!member || !member->IsType(json::stString)) return false;
    out = platform::TextToUtf8(member->AsString());
    return true;
}

bool ParseStatement(const std::string& bytes, TRelease& release) {
    json::IJsonValue statement = json::TJsonValue::ParseString(platform::Utf8ToText(bytes), true, false);
    if (!statement || !statement->IsType(json::stObject)) return false;
    json::IJsonValue size = statement->GetN(u"size");
    std::string expires;
    if (!StringMember(statement, u"product", release.Product) ||
        !StringMember(statement, u"version", release.Version) ||
        !StringMember(statement, u"sha256", release.Sha256) || !StringMember(statement, u"expires", expires))
        return false;
    if (!size || !size->IsType(json::stInt) || size->AsInteger() < 0) return false;
    release.Size = size->AsInteger();
    return IsVersion(release.Version) && IsLowerHex(release.Sha256, 64) && ParseUtcTime(expires, release.Expires);
}

std::string Hex(const uint8_t* bytes, size_t length) {
    static const char digits[] = "0123456789abcdef";
    std::string text;
    for (size_t i = 0; i < length; ++i) {
        text += digits[bytes[i] >> 4];
        text += digits[bytes[i] & 15];
    }
    return text;
}

}  // namespace

void SetTrust(TTrust trust) { TrustStore() = std::move(trust); }

const TTrust& Trust() { return TrustStore(); }

bool IsVersion(const std::string& text) {
    std::vector<uint32_t> parts;
    return VersionParts(text, parts);
}

int CompareVersions(const std::string& a, const std::string& b) {
    std::vector<uint32_t> x, y;
    VersionParts(a, x);
    VersionParts(b, y);
    for (size_t i = 0; i < x.size() || i < y.size(); ++i) {
        uint32_t p = i < x.size() ? x[i] : 0, q = i < y.size() ? y[i] : 0;
        if (p != q) return p < q ? -1 : 1;
    }
    return 0;
}

bool ParseUtcTime(const std::string& text, int64_t& seconds) {
    // 2027-01-10T00:00:00Z
    static const char shape[] = "dddd-dd-ddTdd:dd:ddZ";
    if (text.size() != sizeof shape - 1) return false;
    for (size_t i = 0; i < text.size(); ++i)
        if (shape[i] == 'd' ? !IsDigit(text[i]) : text[i] != shape[i]) return false;
    auto number = [&](size_t at, size_t length) {
        int value = 0;
        for (size_t i = at; i < at + length; ++i) value = value * 10 + (text[i] - '0');
        return value;
    };
    const int year = number(0, 4), month = number(5, 2), day = number(8, 2);
    const int hour = number(11, 2), minute = number(14, 2), second = number(17, 2);
    if (month < 1 || month > 12 || day < 1 || hour > 23 || minute > 59 || second > 59) return false;
    // A day that does not exist in its month (2027-02-30) would roll over.
    int64_t y = 0;
    unsigned m = 0, d = 0;
    const int64_t days = platform::DaysFromCivil(year, month, day);
    platform::CivilFromDays(days, y, m, d);
    if (m != static_cast<unsigned>(month) || d != static_cast<unsigned>(day)) return false;
    seconds = days * 86400 + hour * 3600 + minute * 60 + second;
    return true;
}

TVerdict CheckStatement(const std::string& statementBase64, const std::string& signatureBase64,
                        const std::string& installedVersion, int64_t now, TRelease& release) {
    if (statementBase64.empty() || signatureBase64.empty()) return TVerdict::Unsigned;
    std::string bytes;
    if (!platform::DecodeBase64(statementBase64, bytes)) return TVerdict::BadSignature;
    platform::TMemoryStream signedBytes;
    signedBytes.WriteBuffer(bytes.data(), static_cast<int64_t>(bytes.size()));
    signedBytes.SetPosition(0);
    if (platform::VerifySignature(Trust().PublicKey, signedBytes, signatureBase64) != platform::SignatureCheck::Valid)
        return TVerdict::BadSignature;
    TRelease candidate;
    if (!ParseStatement(bytes, candidate)) return TVerdict::Malformed;
    if (candidate.Product != Trust().Product) return TVerdict::OtherProduct;
    if (candidate.Expires <= now) return TVerdict::Expired;
    // The same version again is a repair; a lower one is refused.
    if (!Trust().MinimumRelease.empty() && CompareVersions(candidate.Version, Trust().MinimumRelease) < 0)
        return TVerdict::Older;
    if (IsVersion(installedVersion) && CompareVersions(candidate.Version, installedVersion) < 0)
        return TVerdict::Older;
    release = candidate;
    return TVerdict::Accepted;
}

TVerifiedArchive::TVerifiedArchive(const std::u16string& path, const TRelease& release) {
    try {
        stream_ = std::make_unique<platform::TFileStream>(path, platform::fmOpenRead | platform::fmShareDenyWrite);
        platform::TSha256 digest;
        if (!digest.Ready()) return;
        std::vector<uint8_t> piece(1 << 16);
        int64_t total = 0;
        for (;;) {
            int64_t n = stream_->Read(piece.data(), static_cast<int64_t>(piece.size()));
            if (n <= 0) break;
            digest.Update(piece.data(), static_cast<size_t>(n));
            total += n;
            // More bytes than the statement gives: no need to read on.
            if (total > release.Size) return;
        }
        uint8_t sum[platform::TSha256::kDigestSize];
        digest.Finish(sum);
        stream_->SetPosition(0);
        accepted_ = total == release.Size && Hex(sum, sizeof sum) == release.Sha256;
    } catch (const platform::Exception&) {
        accepted_ = false;
    }
}

TVerifiedArchive::~TVerifiedArchive() = default;

}  // namespace release
