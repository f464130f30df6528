// The archive directory: the on-disk records, one TZipHeaderInfo per entry,
// the end record, and the sorted lists the component numbers entries by.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "platform/stream.h"

namespace unzip {

inline constexpr uint32_t LOCSIG = 0x04034b50;
inline constexpr uint32_t CENSIG = 0x02014b50;
inline constexpr uint32_t ENDSIG = 0x06054b50;
inline constexpr uint32_t ZIP64EOCSIG = 0x06064b50;
inline constexpr uint32_t ZIP64EOCLSIG = 0x07064b50;

#pragma pack(push, 1)
struct local_file_header {
    uint32_t Signature;
    uint16_t version_needed_to_extract;
    uint16_t general_purpose_bit_flag;
    uint16_t compression_method;
    uint32_t last_mod_file_date_time;
    uint32_t crc32;
    uint32_t compressed_size;
    uint32_t uncompressed_size;
    uint16_t filename_length;
    uint16_t extra_field_length;
};
struct central_file_header {
    uint32_t Signature;
    uint16_t version_made_by;
    uint16_t version_needed_to_extract;
    uint16_t general_purpose_bit_flag;
    uint16_t compression_method;
    uint32_t last_mod_file_date_time;
    uint32_t crc32;
    uint32_t compressed_size;
    uint32_t uncompressed_size;
    uint16_t filename_length;
    uint16_t extra_field_length;
    uint16_t file_comment_length;
    uint16_t disk_number_start;
    uint16_t internal_file_attributes;
    uint32_t external_file_attributes;
    uint32_t relative_offset;
};
struct end_of_central {
    uint32_t ID;
    uint16_t this_disk;
    uint16_t start_central_disk;
    uint16_t num_entries_this_disk;
    uint16_t num_entries;
    uint32_t size_central;
    uint32_t offset_central;
    uint16_t zip_comment_length;
};
struct zip64_end_of_central {
    uint32_t ID;
    uint64_t size;
    uint16_t version_made_by;
    uint16_t version_needed;
    uint32_t this_disk;
    uint32_t start_central_disk;
    uint64_t num_entries_this_disk;
    uint64_t num_entries;
    uint64_t size_central;
    uint64_t offset_central;
};
struct zip64_end_of_central_locator {
    uint32_t ID;
    uint32_t num_disk_start_zip64_end_central;
    uint64_t offset_zip64_end_central;
    uint32_t num_disks;
};
struct zip64_Extra_Field {
    uint16_t Tag;
    uint16_t Size;
    uint64_t Uncompressed_Size;
    uint64_t Compressed_Size;
    uint64_t Relative_Offset;
    uint32_t DiskStart;
};
struct AES_Extra_Field {
    uint16_t Tag;
    uint16_t Size;
    uint16_t Version;
    uint16_t Vendor_id;
    uint8_t Strength;
    uint16_t compression_method;
};
#pragma pack(pop)
static_assert(sizeof(local_file_header) == 30);
static_assert(sizeof(central_file_header) == 46);
static_assert(sizeof(end_of_central) == 22);
static_assert(sizeof(zip64_end_of_central) == 56);
static_assert(sizeof(zip64_end_of_central_locator) == 20);
static_assert(sizeof(AES_Extra_Field) == 11);

struct UPATH_Extra_Field {
    uint8_t Version = 0;
    uint32_t NameCRC32 = 0;
    uint16_t Size = 0;
    std::string Path;  // UTF-8
};

enum TEncryptStrength { esPKStandard, esAES128, esAES192, esAES256 };
enum TOEMConvert { oemNever, oemFlexible };

// The one table of WinZip AES strengths: the strength byte of the AES extra
// field (1, 2, 3) gives the strength (esPKStandard for any other value) and
// the strength the key length in bytes (0 for esPKStandard).
TEncryptStrength AesStrength(uint8_t code);
int AesKeyLength(TEncryptStrength strength);
enum TZipSortMode { ByName, ByFileName, ByDirectoryName, ByDate, ByCompressedSize,
                    ByUnCompressedSize, ByRate, ByNone };
enum TDuplicates { dupIgnore, dupAccept, dupError };

// Root of the objects that can copy themselves onto each other.
class TPersistent {
public:
    virtual ~TPersistent() = default;
    virtual void Assign(const TPersistent& Source);
protected:
    virtual void AssignTo(TPersistent& Dest) const;
};

// One archive entry as the central directory (or a local header) describes it.
class TZipHeaderInfo : public TPersistent {
public:
    // Opens the next part of a multi-part archive and returns the stream to
    // read on (null when it cannot).
    using TNewDiskEvent = std::function<platform::TStream*()>;

    TZipHeaderInfo();
    explicit TZipHeaderInfo(TOEMConvert oem) : TZipHeaderInfo() { OEMConvert = oem; }
    TZipHeaderInfo(const TZipHeaderInfo& other) : TZipHeaderInfo() { Assign(other); }
    TZipHeaderInfo& operator=(const TZipHeaderInfo& other) { Assign(other); return *this; }
    void Assign(const TPersistent& Source) override;
    void Clear();

    // Reads one central record at the stream position; on success the stream
    // stands at the record's extra field. `NewDiskEvent` (multi-part only)
    // opens the next part and makes `S` read from it.
    bool ReadCentralFromStream(platform::TStream*& S, const TNewDiskEvent& NewDiskEvent = {});
    // Reads one local header; on success the stream stands after the name.
    bool ReadLocalFromStream(platform::TStream& S);
    void SetFromCentral(const central_file_header& crec, const std::u16string& FName);
    void SetFromLocal(const local_file_header& lrec, const std::u16string& FName);
    // Interprets an extra field (Zip64, AES, Unicode path).
    void ReadExtraField(const uint8_t* data, size_t length);

    uint64_t CompressedSize() const;
    uint64_t UncompressedSize() const;
    uint64_t RelativeOffset() const;
    uint32_t DiskNumberStart() const;
    bool Encrypted() const { return (general_purpose_bit_flag & 1) || compression_method_stored == 99; }
    bool HasDescriptor() const { return (general_purpose_bit_flag & 8) != 0; }
    bool HasComment() const { return file_comment_length != 0; }
    // A folder entry: a name that ends in "/". An entry without any name is
    // not a folder (it is refused as a bad name).
    bool IsFolder() const { return filename.empty() && !directory.empty(); }
    int64_t LocalSize() const { return 30 + filename_length + Lextra_field_length; }
    int64_t CentralSize() const { return 46 + filename_length + Cextra_field_length + file_comment_length; }
    // The stored name with its folder, folders separated by "/".
    std::u16string FullName() const { return directory + filename; }
    // Sets `filename` and `directory` from a name whose folders are separated by "/".
    void SplitName(const std::u16string& name);

    uint16_t version_made_by;
    uint16_t version_needed_to_extract;
    uint16_t general_purpose_bit_flag;
    uint32_t last_mod_file_date_time;
    uint32_t crc32;
    uint32_t compressed_size;
    uint32_t uncompressed_size;
    uint16_t filename_length;
    uint16_t Cextra_field_length;
    uint16_t Lextra_field_length;
    uint16_t file_comment_length;
    uint16_t disk_number_start;
    uint16_t internal_file_attributes;
    uint32_t external_file_attributes;
    uint32_t relative_offset;
    int64_t central_offset;
    std::u16string filename;
    std::u16string directory;
    std::unique_ptr<zip64_Extra_Field> Zip64_Extended;
    std::unique_ptr<AES_Extra_Field> AES_Extra;
    std::unique_ptr<UPATH_Extra_Field> UPATH_Extra;
    TEncryptStrength EncryptionStrength;
    std::string filecomment;
    bool MatchFlag;
    uint8_t FileIsOK;
    bool Selected;
    TOEMConvert OEMConvert;
    int64_t OriginalExtraOffset;
    uint16_t OriginalCExtra_field_length;
    uint16_t OriginalZip64_Extra_length;
    // A streamed entry found by the rescue scan whose sizes were not found:
    // extracting it fails.
    bool SizesUnknown;
    uint16_t compression_method;
    // The method as stored, before an AES record replaced method 99.
    uint16_t compression_method_stored;
};

// The end-of-central-directory record and the Zip64 records beside it.
class TEndCentral : public TPersistent {
public:
    TEndCentral() { Clear(); }
    void Clear();
    void Assign(const TPersistent& Source) override;
    bool ReadFromStream(platform::TStream& S);

    uint32_t this_disk() const;
    uint32_t start_central_disk() const;
    uint64_t num_entries_this_disk() const;
    uint64_t num_entries() const;
    uint64_t size_central() const;
    uint64_t offset_central() const;
    bool ZipHasComment() const { return ecrec.zip_comment_length != 0; }
    int64_t EndCentralSize() const { return 22 + ecrec.zip_comment_length; }

    end_of_central ecrec{};
    std::string ZipComment;
    int64_t ZipCommentPos = 0;
    bool Modified = false;
    std::unique_ptr<zip64_end_of_central> Zip64EOC;
    std::unique_ptr<zip64_end_of_central_locator> Zip64EOCL;
    // Overrides used by the rescue scan, which rebuilds the directory.
    uint64_t num_entries_override = UINT64_MAX;
    uint64_t offset_central_override = UINT64_MAX;
};

// An array of object references, owned unless DestroyObjects is false.
class TObjectList : public TPersistent {
public:
    TObjectList() = default;
    ~TObjectList() override;
    TObjectList(const TObjectList&) = delete;
    TObjectList& operator=(const TObjectList&) = delete;

    int Count() const { return static_cast<int>(items_.size()); }
    int Capacity() const { return capacity_; }
    TPersistent* Items(int Index) const;
    bool DestroyObjects = true;

    virtual void Error() const;
    virtual void Grow();
    virtual void Put(int Index, TPersistent* Item);
    virtual void FreeItem(TPersistent* Item);
    virtual int AddObject(TPersistent* Item);
    virtual void Clear();
    virtual int IndexOf(TPersistent* Item);
    virtual void Insert(int Index, TPersistent* Item);
    TPersistent* First() const { return items_.empty() ? nullptr : items_.front(); }
    TPersistent* Last() const { return items_.empty() ? nullptr : items_.back(); }
    // Frees every item (when owned) and empties the list.
    void FreeAll();

protected:
    std::vector<TPersistent*> items_;
    int capacity_ = 0;
};

// A list kept in the order of Compare.
class TSortedObjectList : public TObjectList {
public:
    TDuplicates Duplicates = dupAccept;

    virtual const TPersistent* KeyOf(const TPersistent* Item) const { return Item; }
    virtual int Compare(const TPersistent* Key1, const TPersistent* Key2) const = 0;
    // Binary search for the insertion index; true when an equal item exists.
    virtual bool Search(const TPersistent* Key, int& Index) const;
    int AddObject(TPersistent* Item) override;
    void Insert(int Index, TPersistent* Item) override;
    int IndexOf(TPersistent* Item) override;
    void Put(int Index, TPersistent* Item) override;
};

// The entries of one archive in the order of a sort mode.
class TSortedZip : public TSortedObjectList {
public:
    explicit TSortedZip(TZipSortMode mode, TDuplicates dups) {
        SortMode = mode;
        Duplicates = dups;
    }
    TZipHeaderInfo* Entry(int Index) const { return static_cast<TZipHeaderInfo*>(Items(Index)); }
    int AddObject(TPersistent* Item) override;
    int Compare(const TPersistent* Key1, const TPersistent* Key2) const override;

    TZipSortMode SortMode;
    int64_t filesdate = 0;
    bool isZip64 = false;
};

// DOS date and time (date in the high word) with out-of-range parts clamped.
uint32_t SanitizeDosDateTime(uint32_t value);
// Seconds since the epoch of a DOS date and time read as local time; -1 when
// the value names no date.
int64_t DosDateTimeToUnix(uint32_t value);
// Decodes a stored 8-bit name as the component does (code pages or UTF-8).
std::u16string DecodeEntryName(const std::string& raw, uint16_t flags, uint16_t version_made_by,
                               TOEMConvert oem);

}  // namespace unzip
