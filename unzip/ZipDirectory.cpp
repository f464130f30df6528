#include "unzip/ZipDirectory.h"

#include <cmath>
#include <cstring>
#include <ctime>
#include <cwctype>

#include "platform/codepage.h"
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

char16_t Fold(char16_t c) {
    if (c < 0x80) return (c >= 'A' && c <= 'Z') ? static_cast<char16_t>(c + 32) : c;
    return static_cast<char16_t>(std::towlower(c));
}

int CompareText(const std::u16string& a, const std::u16string& b) {
    size_t n = std::min(a.size(), b.size());
    for (size_t i = 0; i < n; ++i) {
        char16_t x = Fold(a[i]), y = Fold(b[i]);
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

std::u16string DecodeEntryName(const std::string& raw, uint16_t flags, uint16_t version_made_by,
                               TOEMConvert oem) {
    if (!(flags & 0x0800) && oem == oemFlexible && (version_made_by & 0x0B00) != 0x0B00) {
        unsigned oemcp = platform::OemCodePage(), ansicp = platform::AnsiCodePage();
        std::string ansi = platform::ConvertBytes(oemcp, ansicp, raw);
        std::string back = platform::ConvertBytes(ansicp, oemcp, ansi);
        if (SameIgnoringAsciiCase(back, raw)) return platform::BytesToText(ansicp, ansi);
    }
    return platform::Utf8ToText(raw);
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
    for (auto& c : name)
        if (c == '\\') c = '/';
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
        switch (AES_Extra->Strength) {
            case 1: EncryptionStrength = esAES128; break;
            case 2: EncryptionStrength = esAES192; break;
            case 3: EncryptionStrength = esAES256; break;
            default: EncryptionStrength = esPKStandard; break;
        }
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
    for (auto& c : name)
        if (c == '\\') c = '/';
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
        EncryptionStrength = AES_Extra->Strength >= 1 && AES_Extra->Strength <= 3
                                 ? static_cast<TEncryptStrength>(AES_Extra->Strength) : esPKStandard;
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

}  // namespace unzip
