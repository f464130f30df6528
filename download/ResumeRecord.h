// The record kept beside a partial download: which remote file its bytes
// belong to, as the size request described it. A later run continues the
// local file only when its own size request describes the same file; any
// doubt (no record, a record that cannot be read, a file without a strong
// validator) starts the download over.
#pragma once

#include <cstdint>
#include <optional>
#include <string>

namespace download {

struct TResumeRecord {
    std::u16string Url;           // the address asked for
    int64_t Length = -1;          // the size the HEAD named
    std::u16string ETag;          // the HEAD's ETag, as sent
    std::u16string LastModified;  // the HEAD's Last-Modified, as sent

    // Whether the record can tell one version of the file from another: a
    // known size and a strong ETag or a Last-Modified date. A weak ETag
    // ("W/...") alone does not promise equal bytes.
    bool Identifies() const;
    // Whether a local file recorded as `stored` may be continued for the
    // remote file this record describes.
    bool Continues(const TResumeRecord& stored) const;

    // The record as text (one "name value" line each) and back; nullopt for
    // text that is not a whole record.
    std::string Serialize() const;
    static std::optional<TResumeRecord> Parse(std::string_view text);

    // Reads a record file; nullopt when it is missing or not a record.
    static std::optional<TResumeRecord> Load(const std::u16string& fileName);
    // Writes the record file (replacing it); raises the file's failure.
    void Save(const std::u16string& fileName) const;
};

bool operator==(const TResumeRecord& a, const TResumeRecord& b);

}  // namespace download
