// The archive directory: its records, names and lists, and the component's
// loading of it (end record, central records, the rescue scan).
#include "unzip/ZipDirectory.h"

#include <chrono>
#include <cmath>
#include <cstring>
#include <ctime>
#include <set>

#include "platform/codepage.h"
#include "platform/files.h"
#include "unzip/DecodeState.h"
#include "unzip/NameText.h"
#include "unzip/UnZipper.h"
#include "unzip/ZipExceptions.h"
#include "unzip/ZipTexts.h"

namespace unzip {

namespace {

uint16_t Get16(const uint8_t* p) { return static_cast<uint16_t>(p[0] | (p[1] << 8)); }
uint32_t Get32(const uint8_t* p) {
    return static_cast<uint32_t>(p[0]) | (static_cast<uint32_t>(p[1]) << 8) |
           (static_cast<uint32_t>(p[2]) << 16) | (static_cast<uint32_t>(p[3]) << 24);
}
uint64_t Get64(const uint8_t* p) { return Get32(p) | (static_cast<uint64_t>(Get32(p + 4)) << 32); }

int CompareText(const std::u16string& a, const std::u16string& b) {
    size_t n = std::min(a.size(), b.size());
    for (size_t i = 0; i < n; ++i) {
        char16_t x = platform::FoldCase(a[i]), y = platform::FoldCase(b[i]);
        if (x != y) return x < y ? -1 : 1;
    }
    return a.size() == b.size() ? 0 : (a.size() < b.size() ? -1 : 1);
}

bool SameIgnoringAsciiCase(const std::string& a, const std::string& b) {
    if (a.size() != b.size()) return false;
    for (size_t i = 0; i < a.size(); ++i) {
        unsigned char x = a[i], y = b[i];
        if (x >= 'A' && x <= 'Z') x += 32;
        if (y >= 'A' && y <= 'Z') y += 32;
        if (x != y) return false;
    }
    return true;
}

}  // namespace

// ---------------------------------------------------------------- helpers

namespace {

struct TAesStrengthRow {
    uint8_t code;
    TEncryptStrength strength;
    int keyLength;
};
constexpr TAesStrengthRow kAesStrengths[] = {{1, esAES128, 16}, {2, esAES192, 24}, {3, esAES256, 32}};

}  // namespace

TEncryptStrength AesStrength(uint8_t code) {
    for (auto& row : kAesStrengths)
        if (row.code == code) return row.strength;
    return esPKStandard;
}

int AesKeyLength(TEncryptStrength strength) {
    for (auto& row : kAesStrengths)
        if (row.strength == strength) return row.keyLength;
    return 0;
}

uint32_t SanitizeDosDateTime(uint32_t value) {
    uint32_t t = value & 0xFFFF, d = value >> 16;
    uint32_t hour = (t >> 11) & 31, minute = (t >> 5) & 63, second = (t & 31) * 2;
    uint32_t year = 1980 + ((d >> 9) & 127), month = (d >> 5) & 15, day = d & 31;
    bool clamped = false;
    auto clamp_hi = [&](uint32_t& v, uint32_t hi) { if (v > hi) { v = hi; clamped = true; } };
    auto clamp_lo = [&](uint32_t& v, uint32_t lo) { if (v < lo) { v = lo; clamped = true; } };
    clamp_hi(hour, 23);
    clamp_hi(minute, 59);
    clamp_hi(second, 59);
    clamp_hi(year, 2099);
    clamp_hi(month, 12);
    clamp_lo(month, 1);
    clamp_lo(day, 1);
    if (!clamped) return value;
    t = (hour << 11) | (minute << 5) | (second / 2);
    d = ((year - 1980) << 9) | (month << 5) | day;
    return (d << 16) | t;
}

int64_t DosDateTimeToUnix(uint32_t value) {
    uint32_t t = value & 0xFFFF, d = value >> 16;
    int year = 1980 + static_cast<int>((d >> 9) & 127), month = (d >> 5) & 15, day = d & 31;
    int hour = (t >> 11) & 31, minute = (t >> 5) & 63, second = (t & 31) * 2;
    static const int kDays[] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
    if (month < 1 || month > 12 || day < 1 || hour > 23 || minute > 59 || second > 59) return -1;
    bool leap = (year % 4 == 0 && year % 100 != 0) || year % 400 == 0;
    if (day > kDays[month - 1] + (month == 2 && leap ? 1 : 0)) return -1;
    std::tm tm{};
    tm.tm_year = year - 1900;
    tm.tm_mon = month - 1;
    tm.tm_mday = day;
    tm.tm_hour = hour;
    tm.tm_min = minute;
    tm.tm_sec = second;
    tm.tm_isdst = -1;
    return static_cast<int64_t>(std::mktime(&tm));
}

namespace {

// True when the bytes are well-formed UTF-8 (no overlong forms, surrogates
// or values above U+10FFFF).
bool IsUtf8(const std::string& raw) {
    size_t i = 0, n = raw.size();
    while (i < n) {
        auto b = static_cast<unsigned char>(raw[i]);
        if (b < 0x80) {
            ++i;
            continue;
        }
        int more;
        uint32_t cp, min;
        if (b >= 0xC2 && b <= 0xDF) { more = 1; cp = b & 0x1F; min = 0x80; }
        else if (b >= 0xE0 && b <= 0xEF) { more = 2; cp = b & 0x0F; min = 0x800; }
        else if (b >= 0xF0 && b <= 0xF4) { more = 3; cp = b & 0x07; min = 0x10000; }
        else return false;
        if (n - i <= static_cast<size_t>(more)) return false;
        for (int k = 1; k <= more; ++k) {
            auto c = static_cast<unsigned char>(raw[i + k]);
            if ((c & 0xC0) != 0x80) return false;
            cp = (cp << 6) | (c & 0x3F);
        }
        if (cp < min || cp > 0x10FFFF || (cp >= 0xD800 && cp <= 0xDFFF)) return false;
        i += 1 + more;
    }
    return true;
}

}  // namespace

namespace {

// A stored name read from its code page. Only the decoded text has its
// separators turned into '/': in the double-byte code pages of Chinese,
// Japanese and Korean systems 0x5C ('\\') is also the second byte of many
// characters (許 is B3 5C in Big5).
std::u16string DecodedName(const std::string& raw, uint16_t flags, uint16_t version_made_by, TOEMConvert oem) {
    // Unix zip tools store the bytes of the user's locale, today UTF-8,
    // without the UTF-8 flag: valid UTF-8 from a Unix host is taken as such.
    if (!(flags & 0x0800) && (version_made_by >> 8) == 3 && IsUtf8(raw)) return platform::Utf8ToText(raw);
    if (!(flags & 0x0800) && oem == oemFlexible && (version_made_by & 0x0B00) != 0x0B00) {
        unsigned oemcp = platform::OemCodePage(), ansicp = platform::AnsiCodePage();
        std::string ansi = platform::ConvertBytes(oemcp, ansicp, raw);
        std::string back = platform::ConvertBytes(ansicp, oemcp, ansi);
        if (SameIgnoringAsciiCase(back, raw)) return platform::BytesToText(ansicp, ansi);
    }
    return platform::Utf8ToText(raw);
}

}  // namespace

std::u16string DecodeEntryName(const std::string& raw, uint16_t flags, uint16_t version_made_by,
                               TOEMConvert oem) {
    std::u16string name = DecodedName(raw, flags, version_made_by, oem);
    for (auto& c : name)
        if (c == u'\\') c = u'/';
    return name;
}

// ---------------------------------------------------------------- TPersistent

void TPersistent::Assign(const TPersistent& Source) { Source.AssignTo(*this); }

void TPersistent::AssignTo(TPersistent&) const {
    throw platform::Exception("Cannot assign");
}

// ---------------------------------------------------------------- TZipHeaderInfo

TZipHeaderInfo::TZipHeaderInfo() { Clear(); OEMConvert = oemFlexible; }

void TZipHeaderInfo::Clear() {
    version_made_by = 45;
    version_needed_to_extract = 20;
    general_purpose_bit_flag = 0;
    last_mod_file_date_time = 0;
    crc32 = 0xFFFFFFFF;
    compressed_size = uncompressed_size = 0;
    filename_length = Cextra_field_length = Lextra_field_length = file_comment_length = 0;
    disk_number_start = 0;
    internal_file_attributes = 1;
    external_file_attributes = 0x20;
    relative_offset = 0;
    central_offset = 0;
    filename.clear();
    directory.clear();
    Zip64_Extended.reset();
    AES_Extra.reset();
    UPATH_Extra.reset();
    EncryptionStrength = esPKStandard;
    filecomment.clear();
    MatchFlag = false;
    FileIsOK = 0;
    Selected = false;
    OriginalExtraOffset = 0;
    OriginalCExtra_field_length = 0;
    OriginalZip64_Extra_length = 0;
    compression_method = 8;
    compression_method_stored = 8;
    SizesUnknown = false;
}

void TZipHeaderInfo::Assign(const TPersistent& Source) {
    auto* src = dynamic_cast<const TZipHeaderInfo*>(&Source);
    if (!src) return TPersistent::Assign(Source);
    if (src == this) return;
    version_made_by = src->version_made_by;
    version_needed_to_extract = src->version_needed_to_extract;
    general_purpose_bit_flag = src->general_purpose_bit_flag;
    compression_method = src->compression_method;
    compression_method_stored = src->compression_method_stored;
    SizesUnknown = src->SizesUnknown;
    last_mod_file_date_time = src->last_mod_file_date_time;
    crc32 = src->crc32;
    compressed_size = src->compressed_size;
    uncompressed_size = src->uncompressed_size;
    filename_length = src->filename_length;
    Cextra_field_length = src->Cextra_field_length;
    Lextra_field_length = src->Lextra_field_length;
    file_comment_length = src->file_comment_length;
    disk_number_start = static_cast<uint16_t>(src->DiskNumberStart() > 0xFFFF ? 0xFFFF : src->DiskNumberStart());
    if (src->disk_number_start == 0xFFFF) disk_number_start = 0xFFFF;
    internal_file_attributes = src->internal_file_attributes;
    external_file_attributes = src->external_file_attributes;
    relative_offset = src->relative_offset;
    central_offset = src->central_offset;
    filename = src->filename;
    directory = src->directory;
    EncryptionStrength = src->EncryptionStrength;
    MatchFlag = src->MatchFlag;
    FileIsOK = src->FileIsOK;
    Selected = src->Selected;
    OEMConvert = src->OEMConvert;
    OriginalExtraOffset = src->OriginalExtraOffset;
    OriginalCExtra_field_length = src->OriginalCExtra_field_length;
    OriginalZip64_Extra_length = src->OriginalZip64_Extra_length;
    if (!src->filecomment.empty()) filecomment = src->filecomment;
    Zip64_Extended = src->Zip64_Extended ? std::make_unique<zip64_Extra_Field>(*src->Zip64_Extended) : nullptr;
    AES_Extra = src->AES_Extra ? std::make_unique<AES_Extra_Field>(*src->AES_Extra) : nullptr;
    UPATH_Extra = src->UPATH_Extra ? std::make_unique<UPATH_Extra_Field>(*src->UPATH_Extra) : nullptr;
}

uint64_t TZipHeaderInfo::CompressedSize() const {
    if (compressed_size == 0xFFFFFFFF && Zip64_Extended) return Zip64_Extended->Compressed_Size;
    return compressed_size;
}
uint64_t TZipHeaderInfo::UncompressedSize() const {
    if (uncompressed_size == 0xFFFFFFFF && Zip64_Extended) return Zip64_Extended->Uncompressed_Size;
    return uncompressed_size;
}
uint64_t TZipHeaderInfo::RelativeOffset() const {
    if (relative_offset == 0xFFFFFFFF && Zip64_Extended) return Zip64_Extended->Relative_Offset;
    return relative_offset;
}
uint32_t TZipHeaderInfo::DiskNumberStart() const {
    if (disk_number_start == 0xFFFF && Zip64_Extended) return Zip64_Extended->DiskStart;
    return disk_number_start;
}

void TZipHeaderInfo::SplitName(const std::u16string& name) {
    size_t pos = name.find_last_of(u"/:");
    if (pos == std::u16string::npos) {
        filename = name;
        directory.clear();
    } else {
        filename = name.substr(pos + 1);
        directory = name.substr(0, pos + 1);
    }
}

void TZipHeaderInfo::SetFromCentral(const central_file_header& crec, const std::u16string& FName) {
    version_made_by = crec.version_made_by;
    version_needed_to_extract = crec.version_needed_to_extract;
    general_purpose_bit_flag = crec.general_purpose_bit_flag;
    compression_method = compression_method_stored = crec.compression_method;
    last_mod_file_date_time = SanitizeDosDateTime(crec.last_mod_file_date_time);
    crc32 = crec.crc32;
    compressed_size = crec.compressed_size;
    uncompressed_size = crec.uncompressed_size;
    filename_length = crec.filename_length;
    Cextra_field_length = crec.extra_field_length;
    file_comment_length = crec.file_comment_length;
    disk_number_start = crec.disk_number_start;
    internal_file_attributes = crec.internal_file_attributes;
    external_file_attributes = crec.external_file_attributes;
    relative_offset = crec.relative_offset;
    SplitName(FName);
    filecomment.clear();
    MatchFlag = false;
    Selected = false;
}

void TZipHeaderInfo::SetFromLocal(const local_file_header& lrec, const std::u16string& FName) {
    version_made_by = 0;
    version_needed_to_extract = lrec.version_needed_to_extract;
    general_purpose_bit_flag = lrec.general_purpose_bit_flag;
    compression_method = compression_method_stored = lrec.compression_method;
    last_mod_file_date_time = SanitizeDosDateTime(lrec.last_mod_file_date_time);
    crc32 = lrec.crc32;
    compressed_size = lrec.compressed_size;
    uncompressed_size = lrec.uncompressed_size;
    filename_length = lrec.filename_length;
    Lextra_field_length = lrec.extra_field_length;
    file_comment_length = 0;
    disk_number_start = 0;
    internal_file_attributes = 0;
    external_file_attributes = 0;
    relative_offset = 0;
    central_offset = 0;
    SplitName(FName);
    filecomment.clear();
    MatchFlag = false;
    Selected = false;
}

void TZipHeaderInfo::ReadExtraField(const uint8_t* data, size_t length) {
    size_t pos = 0;
    while (pos + 4 <= length) {
        uint16_t tag = Get16(data + pos);
        uint16_t size = Get16(data + pos + 2);
        const uint8_t* rec = data + pos + 4;
        // Records that claim more than the field holds are cut at its end.
        size_t avail = std::min<size_t>(size, length - pos - 4);
        if (tag == 0x0001) {
            OriginalZip64_Extra_length = static_cast<uint16_t>(size + 4);
            if (!Zip64_Extended) Zip64_Extended = std::make_unique<zip64_Extra_Field>();
            *Zip64_Extended = zip64_Extra_Field{0x0001, size, 0, 0, 0, 0};
            size_t off = 0;
            // Values missing from a short record read as 0.
            auto take64 = [&]() -> uint64_t {
                uint64_t v = off + 8 <= avail ? Get64(rec + off) : 0;
                off += 8;
                return v;
            };
            if (uncompressed_size == 0xFFFFFFFF) Zip64_Extended->Uncompressed_Size = take64();
            if (compressed_size == 0xFFFFFFFF) Zip64_Extended->Compressed_Size = take64();
            if (relative_offset == 0xFFFFFFFF) Zip64_Extended->Relative_Offset = take64();
            if (disk_number_start == 0xFFFF && off + 4 <= avail) Zip64_Extended->DiskStart = Get32(rec + off);
        } else if (tag == 0x7075) {
            if (avail >= 5) {
                if (!UPATH_Extra) UPATH_Extra = std::make_unique<UPATH_Extra_Field>();
                UPATH_Extra->Version = rec[0];
                UPATH_Extra->NameCRC32 = Get32(rec + 1);
                UPATH_Extra->Size = size;
                UPATH_Extra->Path.assign(reinterpret_cast<const char*>(rec + 5), avail - 5);
                std::u16string name = platform::Utf8ToText(UPATH_Extra->Path);
                for (auto& c : name)
                    if (c == u'\\') c = u'/';
                SplitName(name);
            }
        } else if (tag == 0x9901) {
            if (avail >= 7) {
                if (!AES_Extra) AES_Extra = std::make_unique<AES_Extra_Field>();
                AES_Extra->Tag = tag;
                AES_Extra->Size = size;
                AES_Extra->Version = Get16(rec);
                AES_Extra->Vendor_id = Get16(rec + 2);
                AES_Extra->Strength = rec[4];
                AES_Extra->compression_method = Get16(rec + 5);
            }
        }
        pos += 4 + static_cast<size_t>(size);
    }
}

bool TZipHeaderInfo::ReadCentralFromStream(platform::TStream*& S, const TNewDiskEvent& NewDiskEvent) {
    int64_t start = S->GetPosition();
    uint8_t raw[46];
    int64_t got = S->Read(raw, 46);
    if (got < 0) got = 0;
    bool switched = false;
    // A record cut by the end of a part continues on the next part.
    if (got < 46 && NewDiskEvent && (got < 4 || Get32(raw) == CENSIG)) {
        if (platform::TStream* next = NewDiskEvent()) {
            S = next;
            switched = true;
            int64_t more = S->Read(raw + got, 46 - got);
            if (more > 0) got += more;
        }
    }
    if (got < 46 || Get32(raw) != CENSIG) {
        if (!switched) S->Seek(start, platform::soBeginning);
        return false;
    }
    central_file_header crec;
    std::memcpy(&crec, raw, sizeof crec);
    std::string name(crec.filename_length, '\0');
    if (crec.filename_length && S->Read(name.data(), crec.filename_length) < crec.filename_length) {
        S->Seek(start, platform::soBeginning);
        return false;
    }
    SetFromCentral(crec, DecodeEntryName(name, crec.general_purpose_bit_flag, crec.version_made_by, OEMConvert));
    central_offset = start;
    if (Cextra_field_length) {
        OriginalExtraOffset = S->GetPosition();
        OriginalCExtra_field_length = Cextra_field_length;
        std::vector<uint8_t> extra(Cextra_field_length);
        int64_t n = S->Read(extra.data(), Cextra_field_length);
        ReadExtraField(extra.data(), static_cast<size_t>(n > 0 ? n : 0));
        S->Seek(OriginalExtraOffset, platform::soBeginning);
    }
    if (compression_method_stored == 99) {
        if (!AES_Extra) AES_Extra = std::make_unique<AES_Extra_Field>(AES_Extra_Field{0x9901, 7, 1, 0x4541, 0, 0});
        EncryptionStrength = AesStrength(AES_Extra->Strength);
        compression_method = AES_Extra->compression_method;
    }
    return true;
}

bool TZipHeaderInfo::ReadLocalFromStream(platform::TStream& S) {
    int64_t start = S.GetPosition();
    uint8_t raw[30];
    if (S.Read(raw, 30) < 30 || Get32(raw) != LOCSIG) {
        S.Seek(start, platform::soBeginning);
        return false;
    }
    local_file_header lrec;
    std::memcpy(&lrec, raw, sizeof lrec);
    std::string name(lrec.filename_length, '\0');
    if (lrec.filename_length && S.Read(name.data(), lrec.filename_length) < lrec.filename_length) {
        S.Seek(start, platform::soBeginning);
        return false;
    }
    SetFromLocal(lrec, DecodeEntryName(name, lrec.general_purpose_bit_flag, 0, OEMConvert));
    relative_offset = static_cast<uint32_t>(start > 0xFFFFFFFE ? 0xFFFFFFFF : start);
    if (Lextra_field_length) {
        int64_t here = S.GetPosition();
        std::vector<uint8_t> extra(Lextra_field_length);
        int64_t n = S.Read(extra.data(), Lextra_field_length);
        ReadExtraField(extra.data(), static_cast<size_t>(n > 0 ? n : 0));
        S.Seek(here, platform::soBeginning);
    }
    if (start > 0xFFFFFFFE) {
        if (!Zip64_Extended) Zip64_Extended = std::make_unique<zip64_Extra_Field>(zip64_Extra_Field{1, 0, 0, 0, 0, 0});
        Zip64_Extended->Relative_Offset = static_cast<uint64_t>(start);
    }
    if (compression_method_stored == 99) {
        if (!AES_Extra) AES_Extra = std::make_unique<AES_Extra_Field>(AES_Extra_Field{0x9901, 7, 1, 0x4541, 0, 0});
        EncryptionStrength = AesStrength(AES_Extra->Strength);
        compression_method = AES_Extra->compression_method;
    }
    return true;
}

// ---------------------------------------------------------------- TEndCentral

void TEndCentral::Clear() {
    ecrec = end_of_central{};
    ecrec.ID = ENDSIG;
    ZipComment.clear();
    ZipCommentPos = 0;
    Modified = false;
    Zip64EOC.reset();
    Zip64EOCL.reset();
    num_entries_override = UINT64_MAX;
    offset_central_override = UINT64_MAX;
}

void TEndCentral::Assign(const TPersistent& Source) {
    auto* src = dynamic_cast<const TEndCentral*>(&Source);
    if (!src) return TPersistent::Assign(Source);
    if (src == this) return;
    ecrec = src->ecrec;
    ZipComment = src->ZipComment;
    ZipCommentPos = src->ZipCommentPos;
    Modified = src->Modified;
    Zip64EOC = src->Zip64EOC ? std::make_unique<zip64_end_of_central>(*src->Zip64EOC) : nullptr;
    Zip64EOCL = src->Zip64EOCL ? std::make_unique<zip64_end_of_central_locator>(*src->Zip64EOCL) : nullptr;
    num_entries_override = src->num_entries_override;
    offset_central_override = src->offset_central_override;
}

uint32_t TEndCentral::this_disk() const {
    return ecrec.this_disk == 0xFFFF && Zip64EOC ? Zip64EOC->this_disk : ecrec.this_disk;
}
uint32_t TEndCentral::start_central_disk() const {
    return ecrec.start_central_disk == 0xFFFF && Zip64EOC ? Zip64EOC->start_central_disk : ecrec.start_central_disk;
}
uint64_t TEndCentral::num_entries_this_disk() const {
    return ecrec.num_entries_this_disk == 0xFFFF && Zip64EOC ? Zip64EOC->num_entries_this_disk
                                                             : ecrec.num_entries_this_disk;
}
uint64_t TEndCentral::num_entries() const {
    if (num_entries_override != UINT64_MAX) return num_entries_override;
    return ecrec.num_entries == 0xFFFF && Zip64EOC ? Zip64EOC->num_entries : ecrec.num_entries;
}
uint64_t TEndCentral::size_central() const {
    return ecrec.size_central == 0xFFFFFFFF && Zip64EOC ? Zip64EOC->size_central : ecrec.size_central;
}
uint64_t TEndCentral::offset_central() const {
    if (offset_central_override != UINT64_MAX) return offset_central_override;
    return ecrec.offset_central == 0xFFFFFFFF && Zip64EOC ? Zip64EOC->offset_central : ecrec.offset_central;
}

bool TEndCentral::ReadFromStream(platform::TStream& S) {
    int64_t size = S.GetSize();
    if (size < 22) return size == 0;
    int64_t n = std::min<int64_t>(65557, size);
    std::vector<uint8_t> buf(static_cast<size_t>(n));
    S.Seek(size - n, platform::soBeginning);
    if (S.Read(buf.data(), n) < n) return false;
    int64_t position = -1;
    for (int64_t i = n - 22; i >= 0; --i) {
        if (buf[i] == 0x50 && Get32(&buf[i]) == ENDSIG) {
            position = i;
            break;
        }
    }
    if (position < 0) return false;
    uint32_t id = ecrec.ID;
    std::memcpy(&ecrec, &buf[position], sizeof ecrec);
    ecrec.ID = id;
    ZipCommentPos = size - n + position + 22;
    Zip64EOC.reset();
    Zip64EOCL.reset();
    if (position - 20 >= 0 && Get32(&buf[position - 20]) == ZIP64EOCLSIG) {
        Zip64EOCL = std::make_unique<zip64_end_of_central_locator>();
        std::memcpy(Zip64EOCL.get(), &buf[position - 20], 20);
        Zip64EOC = std::make_unique<zip64_end_of_central>();
        S.Seek(static_cast<int64_t>(Zip64EOCL->offset_zip64_end_central & 0x7FFFFFFFFFFFFFFFull),
               platform::soBeginning);
        if (S.Read(Zip64EOC.get(), 56) < 56) {
            // No usable Zip64 record: the 32-bit values stand.
            Zip64EOC.reset();
        }
    }
    return true;
}

// ---------------------------------------------------------------- lists

TObjectList::~TObjectList() { FreeAll(); }

TPersistent* TObjectList::Items(int Index) const {
    if (Index < 0 || Index >= Count()) Error();
    return items_[Index];
}

void TObjectList::Error() const { throw EListError(texts::kListIndexOutOfBounds); }

void TObjectList::Grow() {
    int delta = capacity_ < 5 ? 4 : capacity_ < 9 ? 8 : static_cast<int>(std::lround(std::sqrt(capacity_)));
    capacity_ += delta;
    items_.reserve(capacity_);
}

void TObjectList::Put(int Index, TPersistent* Item) {
    if (Index < 0 || Index >= Count()) Error();
    FreeItem(items_[Index]);
    items_[Index] = Item;
}

void TObjectList::FreeItem(TPersistent* Item) {
    if (DestroyObjects) delete Item;
}

int TObjectList::AddObject(TPersistent* Item) {
    Insert(Count(), Item);
    return Count() - 1;
}

void TObjectList::Clear() { FreeAll(); }

void TObjectList::FreeAll() {
    for (auto* item : items_) FreeItem(item);
    items_.clear();
    capacity_ = 0;
}

int TObjectList::IndexOf(TPersistent* Item) {
    for (int i = 0; i < Count(); ++i)
        if (items_[i] == Item) return i;
    return -1;
}

void TObjectList::Insert(int Index, TPersistent* Item) {
    if (Index < 0 || Index > Count()) Error();
    if (Count() >= capacity_) Grow();
    items_.insert(items_.begin() + Index, Item);
}

bool TSortedObjectList::Search(const TPersistent* Key, int& Index) const {
    int lo = 0, hi = Count() - 1;
    bool found = false;
    while (lo <= hi) {
        int mid = (lo + hi) / 2;
        int c = Compare(KeyOf(items_[mid]), Key);
        if (c < 0) {
            lo = mid + 1;
        } else {
            hi = mid - 1;
            if (c == 0) {
                found = true;
                if (Duplicates != dupAccept) lo = mid;
            }
        }
    }
    Index = lo;
    return found;
}

int TSortedObjectList::AddObject(TPersistent* Item) {
    int index;
    if (Search(KeyOf(Item), index)) {
        if (Duplicates == dupIgnore) return -1;
        if (Duplicates == dupError) throw EListError(texts::kDuplicateObject);
    }
    TObjectList::Insert(index, Item);
    return index;
}

void TSortedObjectList::Insert(int, TPersistent* Item) { AddObject(Item); }

int TSortedObjectList::IndexOf(TPersistent* Item) {
    int index;
    if (!Search(KeyOf(Item), index)) return -1;
    for (int i = index; i < Count() && Compare(KeyOf(items_[i]), KeyOf(Item)) == 0; ++i)
        if (items_[i] == Item) return i;
    return TObjectList::IndexOf(Item);
}

void TSortedObjectList::Put(int, TPersistent*) { throw EListError(texts::kSortedPut); }

int TSortedZip::AddObject(TPersistent* Item) {
    int index = TSortedObjectList::AddObject(Item);
    if (static_cast<TZipHeaderInfo*>(Item)->Zip64_Extended) isZip64 = true;
    return index;
}

int TSortedZip::Compare(const TPersistent* Key1, const TPersistent* Key2) const {
    auto* a = static_cast<const TZipHeaderInfo*>(Key1);
    auto* b = static_cast<const TZipHeaderInfo*>(Key2);
    switch (SortMode) {
        case ByName: return CompareText(a->directory + a->filename, b->directory + b->filename);
        case ByFileName: return CompareText(a->filename, b->filename);
        case ByDirectoryName: return CompareText(a->directory, b->directory);
        case ByDate: {
            int64_t da = DosDateTimeToUnix(a->last_mod_file_date_time);
            int64_t db = DosDateTimeToUnix(b->last_mod_file_date_time);
            if (da < 0) da = 0;
            if (db < 0) db = 0;
            return da >= db ? -1 : 1;
        }
        case ByCompressedSize:
            return static_cast<uint32_t>(a->CompressedSize()) >= static_cast<uint32_t>(b->CompressedSize()) ? -1 : 1;
        case ByUnCompressedSize:
            return static_cast<uint32_t>(a->UncompressedSize()) >= static_cast<uint32_t>(b->UncompressedSize()) ? -1 : 1;
        case ByRate: {
            auto rate = [](const TZipHeaderInfo* e) -> int64_t {
                uint64_t u = e->UncompressedSize();
                if (u == 0) return 0;
                return std::min<int64_t>(100, std::llround(static_cast<double>(e->CompressedSize()) * 100.0 / u));
            };
            int64_t ra = rate(a), rb = rate(b);
            return ra > rb ? -1 : (ra < rb ? 1 : 0);
        }
        case ByNone:
        default: {
            uint32_t da = a->DiskNumberStart(), db = b->DiskNumberStart();
            if (da != db) return da < db ? -1 : 1;
            uint64_t oa = a->RelativeOffset(), ob = b->RelativeOffset();
            if (oa != ob) return oa < ob ? -1 : 1;
            return 0;
        }
    }
}

// ---------------------------------------------------------------- directory

namespace {

// Looks for the data descriptor of a streamed entry whose data starts at
// `dataStart`: a descriptor (with or without its signature, 32- or 64-bit
// sizes) whose compressed size is the distance from the data to it. On
// success the entry takes its CRC and sizes and `next` is where it ends.
bool FindDescriptor(platform::TStream& S, int64_t dataStart, TZipHeaderInfo& e, int64_t& next) {
    constexpr uint32_t kDescriptorSig = 0x08074b50;
    S.Seek(dataStart, platform::soBeginning);
    uint8_t ring[32] = {};
    uint64_t n = 0;  // bytes read from the data start
    uint32_t last4 = 0;
    std::vector<uint8_t> chunk(65536);
    for (;;) {
        int64_t got = S.Read(chunk.data(), static_cast<int64_t>(chunk.size()));
        if (got <= 0) return false;
        int64_t chunkStart = S.GetPosition() - got;
        for (int64_t k = 0; k < got; ++k) {
            uint8_t b = chunk[static_cast<size_t>(k)];
            ring[n % 32] = b;
            ++n;
            last4 = (last4 >> 8) | (static_cast<uint32_t>(b) << 24);
            if (n < 4) continue;
            uint64_t sigAt = n - 4;  // relative to the data start
            if (last4 == kDescriptorSig) {
                // Signature, CRC, then 32-bit or 64-bit sizes.
                uint8_t d[20];
                int64_t here = chunkStart + k + 1;
                S.Seek(here, platform::soBeginning);
                int64_t have = S.Read(d, 20);
                S.Seek(chunkStart + got, platform::soBeginning);
                uint32_t c32 = have >= 12 ? Get32(d + 4) : UINT32_MAX;
                uint64_t c64 = have >= 20 ? Get64(d + 4) : UINT64_MAX;
                if (have >= 12 && c32 == sigAt) {
                    e.crc32 = Get32(d);
                    e.compressed_size = c32;
                    e.uncompressed_size = Get32(d + 8);
                    next = dataStart + static_cast<int64_t>(sigAt) + 16;
                    return true;
                }
                if (have >= 20 && c64 == sigAt && c64 < 0xFFFFFFFFull && Get64(d + 12) < 0xFFFFFFFFull) {
                    e.crc32 = Get32(d);
                    e.compressed_size = static_cast<uint32_t>(c64);
                    e.uncompressed_size = static_cast<uint32_t>(Get64(d + 12));
                    next = dataStart + static_cast<int64_t>(sigAt) + 24;
                    return true;
                }
            }
            // A descriptor without signature stands right before the next record.
            if ((last4 == LOCSIG || last4 == CENSIG || last4 == ENDSIG) && sigAt >= 12) {
                uint8_t d[12];
                for (int j = 0; j < 12; ++j) d[j] = ring[(sigAt - 12 + j) % 32];
                if (Get32(d + 4) == sigAt - 12) {
                    e.crc32 = Get32(d);
                    e.compressed_size = Get32(d + 4);
                    e.uncompressed_size = Get32(d + 8);
                    next = dataStart + static_cast<int64_t>(sigAt);
                    return true;
                }
            }
        }
    }
}

// Moves an entry's local header offset by the bytes in front of the archive.
void ShiftOffset(TZipHeaderInfo& e, int64_t shift) {
    uint64_t offset = e.RelativeOffset() + static_cast<uint64_t>(shift);
    if (e.relative_offset != 0xFFFFFFFF && offset < 0xFFFFFFFF) {
        e.relative_offset = static_cast<uint32_t>(offset);
        return;
    }
    if (!e.Zip64_Extended) e.Zip64_Extended = std::make_unique<zip64_Extra_Field>(zip64_Extra_Field{1, 0, 0, 0, 0, 0});
    e.relative_offset = 0xFFFFFFFF;
    e.Zip64_Extended->Relative_Offset = offset;
}

}  // namespace

void TUnZipper::ClearZip() {
    FZipFile.reset();
    FZipStream = FArchiveStream;
    sortfiles.reset();
    files.reset();
    ecrec.Clear();
    FLoaded = false;
    FImproperZip = false;
    FRescued = false;
    FNumDisks = 1;
    FCurrentDisk = 0;
    MultiMode = mmNone;
    if (!FArchiveStream) FZipName.clear();
}

void TUnZipper::Sort(TZipSortMode SMode) {
    sortfiles.reset();
    FSortMode = SMode;
    if (!files || SMode == ByNone) return;
    sortfiles = std::make_unique<TSortedZip>(SMode, dupAccept);
    sortfiles->DestroyObjects = false;
    for (int i = 0; i < files->Count(); ++i) sortfiles->AddObject(files->Entry(i));
}

void TUnZipper::ReadZip() {
    bool wasBusy = FBusy;
    TOperationMode wasMode = FOperationMode;
    FBusy = true;
    FOperationMode = omUnZip;
    Finally restore{[&] {
        FBusy = wasBusy;
        FOperationMode = wasMode;
    }};
    std::u16string name = FZipName;
    try {
        try {
            LoadDirectory();
        } catch (const EIncompleteZip&) {
            CloseArchive();
            if (!OnInCompleteZip) throw;
            LoadDirectory();
        }
    } catch (const EIncompleteZip&) {
        // Swallowed here; the extraction's second opening reports it.
        CloseArchive();
        FLoaded = false;
        return;
    } catch (...) {
        ClearZip();
        FZipName = name;
        throw;
    }
    if (!KeepZipOpen && !FArchiveStream) CloseArchive();
}

// An archive with bytes in front of it (a self-extractor's stub, a script)
// whose offsets leave them out: its central directory ends where the end
// record starts, not where the end record says. The difference is the shift
// of every offset (0 when the stated offset holds a central record).
int64_t TUnZipper::FrontShift(platform::TStream& S, bool multi) {
    if (multi || ecrec.Zip64EOC || ecrec.ZipCommentPos < 22) return 0;
    int64_t stated = static_cast<int64_t>(ecrec.offset_central());
    int64_t actual = ecrec.ZipCommentPos - 22 - static_cast<int64_t>(ecrec.size_central());
    if (actual <= stated) return 0;
    auto centralAt = [&](int64_t at) {
        uint8_t sig[4];
        S.Seek(at, platform::soBeginning);
        return S.Read(sig, 4) == 4 && Get32(sig) == CENSIG;
    };
    if (centralAt(stated) || !centralAt(actual)) return 0;
    return actual - stated;
}

bool TUnZipper::RescueScan() {
    FRescued = true;
    FImproperZip = true;
    sortfiles.reset();
    files.reset();
    platform::TStream& S = *FZipStream;
    int64_t start = FoldName(ExtOf(FZipName)) == u".exe" ? 14000 : 0;
    S.Seek(start, platform::soBeginning);
    static const uint8_t kSig[4] = {'P', 'K', 3, 4};
    int matched = 0;
    int64_t skipped = 0;
    for (;;) {
        uint8_t b;
        if (S.Read(&b, 1) < 1) return false;
        if (matched == 0) {
            if (b == 'P') {
                matched = 1;
            } else if (++skipped % 10240 == 0 && DoProcessMessages) {
                ProcessMessages();
            }
            continue;
        }
        if (b == kSig[matched]) {
            ++matched;
        } else {
            matched = b == 'P' ? 1 : 0;
            continue;
        }
        if (matched < 4) continue;
        uint8_t ver[2];
        if (S.Read(ver, 2) < 2) return false;
        matched = 0;
        if (ver[1] >= 10) continue;
        S.Seek(-6, platform::soCurrent);
        break;
    }
    files = std::make_unique<TSortedZip>(ByNone, dupError);
    for (;;) {
        auto e = std::make_unique<TZipHeaderInfo>(OEMConvert);
        if (!e->ReadLocalFromStream(S)) break;
        int64_t dataStart = S.GetPosition() + e->Lextra_field_length;
        int64_t next = dataStart + static_cast<int64_t>(e->CompressedSize() & 0x7FFFFFFFFFFFull);
        if (e->HasDescriptor()) next += 16;
        // A streamed entry (bit 3) may leave its sizes and CRC to the data
        // descriptor after the data: without them it is no entry of 0 bytes
        // but one whose size is unknown, and extracting it fails.
        bool lost = false;
        if (e->HasDescriptor() && e->compressed_size == 0 && e->uncompressed_size == 0 && e->crc32 == 0) {
            lost = !FindDescriptor(S, dataStart, *e, next);
            e->SizesUnknown = lost;
        }
        try {
            files->AddObject(e.get());
        } catch (const EListError&) {
            break;
        }
        e.release();
        // Where the entry ends is not known: the scan cannot go on.
        if (lost) break;
        S.Seek(next, platform::soBeginning);
    }
    ecrec.ecrec.this_disk = 0;
    if (ecrec.Zip64EOC) ecrec.Zip64EOC->this_disk = 0;
    FCurrentDisk = 0;
    ecrec.offset_central_override = static_cast<uint64_t>(S.GetPosition());
    ecrec.num_entries_override = static_cast<uint64_t>(files->Count());
    FNumDisks = 1;
    return true;
}

void TUnZipper::LoadDirectory() {
    OpenArchive();
    int64_t stamp = FArchiveStream ? 0 : platform::GetFileStamp(FZipName);
    if (FLoaded && (FArchiveStream || stamp == FFilesDate)) return;
    FFilesDate = FArchiveStream ? std::chrono::system_clock::now().time_since_epoch().count() : stamp;
    sortfiles.reset();
    files.reset();
    ecrec.Clear();
    FLoaded = false;
    FImproperZip = false;
    FRescued = false;
    FNumDisks = 1;
    FCurrentDisk = 0;

    platform::TStream* S = FZipStream;
    std::unique_ptr<TBufferedFileStream> zfc;
    bool found = ecrec.ReadFromStream(*S);
    if (found && ecrec.this_disk() < ecrec.start_central_disk()) found = false;
    if (!found && !FArchiveStream) {
        ecrec.Clear();
        std::u16string zfcName = ChangeExt(FZipName, u".zfc");
        if (platform::GetFileKind(zfcName) == platform::TFileKind::fkFile) {
            zfc = TBufferedFileStream::CreateFile(zfcName, platform::fmOpenRead | platform::fmShareDenyWrite, false,
                                                  BufferedStreamSize);
            if (ecrec.ReadFromStream(*zfc)) {
                found = true;
                S = zfc.get();
            } else {
                zfc.reset();
                ecrec.Clear();
            }
        }
    }
    bool repair = false;
    if (!found) {
        ecrec.Clear();
        TIncompleteZipMode mode = IncompleteZipMode;
        if (OnInCompleteZip) OnInCompleteZip(this, mode);
        if (mode == izAssumeNotAZip) throw ENotAZipFile(texts::kNotAZipFile);
        if (mode == izAssumeMulti) throw EIncompleteZip(texts::kIncompleteZip);
        if (!RescueScan()) {
            ClearZip();
            throw EBadZipFile(texts::kNotAZipFile);
        }
        repair = true;
    }
    // The archive comment stands right after the end record.
    if (found && ecrec.ecrec.zip_comment_length) {
        int64_t here = S->GetPosition();
        ecrec.ZipComment.resize(ecrec.ecrec.zip_comment_length);
        S->Seek(ecrec.ZipCommentPos, platform::soBeginning);
        int64_t got = S->Read(ecrec.ZipComment.data(), ecrec.ecrec.zip_comment_length);
        ecrec.ZipComment.resize(static_cast<size_t>(got > 0 ? got : 0));
        S->Seek(here, platform::soBeginning);
    }
    bool multi = false;
    int64_t shift = 0;  // bytes in front of the archive (a stub) that its offsets leave out
    if (found) {
        FCurrentDisk = zfc ? 0 : static_cast<int>(ecrec.this_disk());
        if (ecrec.this_disk() != 0 && !zfc) {
            multi = true;
            if (MultiMode == mmNone) MultiMode = mmBlocks;  // no removable drives here
        } else {
            MultiMode = mmNone;
        }
        FNumDisks = static_cast<int>(std::min<uint32_t>(ecrec.this_disk(), 0xFFFF)) + 1;
        if (ecrec.num_entries() > 0) {
            if (zfc) {
                S->Seek(0, platform::soBeginning);
            } else {
                if (multi && static_cast<int>(ecrec.start_central_disk()) != FCurrentDisk) {
                    OpenDisk(static_cast<int>(ecrec.start_central_disk()) + 1);
                    S = FZipStream;
                }
                shift = FrontShift(*S, multi);
                S->Seek(static_cast<int64_t>(ecrec.offset_central() & 0x7FFFFFFFFFFFFFFFull) + shift,
                        platform::soBeginning);
            }
        }
    }
    if (repair) S->Seek(static_cast<int64_t>(ecrec.offset_central()), platform::soBeginning);

    if (!files) files = std::make_unique<TSortedZip>(ByNone, dupError);
    TZipHeaderInfo::TNewDiskEvent newDisk;
    if (multi) newDisk = [this]() { return NextDiskForCentral(); };
    std::unique_ptr<TZipHeaderInfo> lastRead;  // repair mode keeps the record read last
    std::set<TZipHeaderInfo*> matched;
    TZipHeaderInfo* prev = nullptr;
    // A central record that cannot be read or kept: scan the local headers
    // once, then read the central directory again from its start in repair
    // mode (the loop's next step is entry 0).
    auto rescueAndRestart = [&](uint64_t& i) {
        if (FRescued || multi || !RescueScan()) {
            ClearZip();
            throw EBadZipFile(texts::kNotAZipFile);
        }
        repair = true;
        prev = nullptr;
        S = FZipStream;
        S->Seek(static_cast<int64_t>(ecrec.offset_central()), platform::soBeginning);
        i = static_cast<uint64_t>(-1);
    };
    for (uint64_t i = 0; i < ecrec.num_entries(); ++i) {
        if (DoProcessMessages) ProcessMessages();
        auto e = std::make_unique<TZipHeaderInfo>(OEMConvert);
        bool ok = e->ReadCentralFromStream(S, newDisk);
        if (!ok && prev && prev->Cextra_field_length) {
            // The previous record's extra length overshot: it had none.
            int64_t old = prev->Cextra_field_length;
            prev->Cextra_field_length = 0;
            S->Seek(-old, platform::soCurrent);
            ok = e->ReadCentralFromStream(S, newDisk);
        }
        if (ok && shift) ShiftOffset(*e, shift);
        if (repair) {
            if (!ok) break;
            int index;
            // Each scanned entry takes the first central record that names
            // its offset; a second record for the same header is dropped.
            if (files->Search(e.get(), index) && matched.insert(files->Entry(index)).second) {
                TZipHeaderInfo* scanned = files->Entry(index);
                uint32_t offset = scanned->relative_offset;
                uint64_t offset64 = scanned->RelativeOffset();
                scanned->Assign(*e);
                scanned->relative_offset = offset;
                if (scanned->Zip64_Extended) scanned->Zip64_Extended->Relative_Offset = offset64;
            }
            lastRead = std::move(e);
            prev = lastRead.get();
        } else if (ok) {
            try {
                files->AddObject(e.get());
                prev = e.release();
            } catch (const EListError&) {
                rescueAndRestart(i);
                continue;
            }
        } else {
            rescueAndRestart(i);
            continue;
        }
        S->Seek(static_cast<int64_t>(prev->Cextra_field_length) + prev->file_comment_length, platform::soCurrent);
    }
    zfc.reset();
    files->filesdate = FFilesDate;
    FLoaded = true;
    Sort(FSortMode);
}

}  // namespace unzip
