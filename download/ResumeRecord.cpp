#include "download/ResumeRecord.h"

#include <sstream>

#include "platform/codepage.h"
#include "platform/files.h"
#include "platform/stream.h"

namespace download {

namespace {

constexpr char kUrl[] = "url";
constexpr char kLength[] = "length";
constexpr char kETag[] = "etag";
constexpr char kLastModified[] = "last-modified";

bool StrongETag(const std::u16string& etag) { return !etag.empty() && etag.rfind(u"W/", 0) != 0; }

}  // namespace

bool operator==(const TResumeRecord& a, const TResumeRecord& b) {
    return a.Url == b.Url && a.Length == b.Length && a.ETag == b.ETag && a.LastModified == b.LastModified;
}

bool TResumeRecord::Identifies() const {
    return !Url.empty() && Length >= 0 && (StrongETag(ETag) || !LastModified.empty());
}

bool TResumeRecord::Continues(const TResumeRecord& stored) const { return Identifies() && *this == stored; }

std::string TResumeRecord::Serialize() const {
    // Header values and addresses never hold a line end: the client refuses
    // control characters in both.
    std::string text;
    text += std::string(kUrl) + " " + platform::TextToUtf8(Url) + "\n";
    text += std::string(kLength) + " " + std::to_string(Length) + "\n";
    text += std::string(kETag) + " " + platform::TextToUtf8(ETag) + "\n";
    text += std::string(kLastModified) + " " + platform::TextToUtf8(LastModified) + "\n";
    return text;
}

std::optional<TResumeRecord> TResumeRecord::Parse(std::string_view text) {
    TResumeRecord record;
    int seen = 0;
    size_t from = 0;
    while (from < text.size()) {
        const size_t end = text.find('\n', from);
        if (end == std::string_view::npos) return std::nullopt;  // a record cut short
        const std::string_view line = text.substr(from, end - from);
        from = end + 1;
        const size_t space = line.find(' ');
        if (space == std::string_view::npos) return std::nullopt;
        const std::string_view name = line.substr(0, space);
        const std::string value(line.substr(space + 1));
        if (name == kUrl) {
            record.Url = platform::Utf8ToText(value);
            seen |= 1;
        } else if (name == kLength) {
            if (value.empty() || value.find_first_not_of("-0123456789") != std::string::npos) return std::nullopt;
            try {
                record.Length = std::stoll(value);
            } catch (...) {
                return std::nullopt;
            }
            seen |= 2;
        } else if (name == kETag) {
            record.ETag = platform::Utf8ToText(value);
            seen |= 4;
        } else if (name == kLastModified) {
            record.LastModified = platform::Utf8ToText(value);
            seen |= 8;
        } else {
            return std::nullopt;
        }
    }
    if (seen != 15) return std::nullopt;
    return record;
}

std::optional<TResumeRecord> TResumeRecord::Load(const std::u16string& fileName) {
    if (!platform::PathExists(fileName)) return std::nullopt;
    try {
        platform::TFileStream file(fileName, platform::fmOpenRead | platform::fmShareDenyWrite);
        const int64_t size = file.GetSize();
        if (size > 64 * 1024) return std::nullopt;
        std::string text(static_cast<size_t>(size), '\0');
        file.ReadBuffer(text.data(), size);
        return Parse(text);
    } catch (...) {
        return std::nullopt;
    }
}

void TResumeRecord::Save(const std::u16string& fileName) const {
    const std::string text = Serialize();
    platform::TFileStream file(fileName, platform::fmCreate);
    file.WriteBuffer(text.data(), static_cast<int64_t>(text.size()));
}

}  // namespace download
