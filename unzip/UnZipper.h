// TUnZipper: the extraction component. Configured through its properties
// (ZipName, DestDir, FilesList or DoAll, Password, OverwriteMode,
// RecreateDirs, ...) and driven by UnZip, it loads the archive directory,
// selects entries, decodes them and writes them below the destination,
// reporting each step through its On... events.
#pragma once

#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <set>
#include <string>
#include <vector>

#include "platform/stream.h"
#include "unzip/BufferedStream.h"
#include "unzip/ZipDirectory.h"
#include "unzip/ZipExceptions.h"

namespace unzip {

// Whether entries of this compression method can be decoded: stored, shrunk,
// reduced (1-4), imploded and deflated.
inline bool MethodSupported(unsigned method) { return method <= 6 || method == 8; }

enum TUZOverwriteMode { Prompt, Always, Never, ifNewer, ifOlder };
enum TSkipReason { srBadPassword, srNoOverwrite, srFileOpenError, srCreateError, srExcludeList,
                   srArchiveBitNotSet, srNoFileToFreshen, srSkippedInStartZip };
enum TIncompleteZipMode { izAssumeMulti, izAssumeBad, izAssumeNotAZip };
enum TMultiMode { mmNone, mmSpan, mmBlocks };
enum TBlockMode { bmStandard, bmClassic };
enum TSplitPartType { spFirst, spMiddle, spLast };
enum TOperationMode { omZip, omUnZip, omNone };

class TUnZipper;
struct TDecodeState;

// Message-box button and result values used by HandleMessage.
enum : int { IDOK = 1, IDCANCEL = 2, IDABORT = 3, IDRETRY = 4, IDIGNORE = 5, IDYES = 6, IDNO = 7 };
enum : unsigned { MB_OK = 0, MB_OKCANCEL = 1, MB_ABORTRETRYIGNORE = 2, MB_YESNOCANCEL = 3,
                  MB_YESNO = 4, MB_RETRYCANCEL = 5, MB_DEFBUTTON2 = 0x100, MB_DEFBUTTON3 = 0x200 };

class TUnZipper {
public:
    using TStartUnZipInfoEvent = std::function<void(TUnZipper* Sender, int NumFiles, int64_t TotalBytes, bool& StopNow)>;
    using TStartUnZipEvent = std::function<void(TUnZipper* Sender, int FileIndex, std::u16string& FName, bool& Skip)>;
    using TEndUnZipEvent = std::function<void(TUnZipper* Sender, int FileIndex, const std::u16string& FName)>;
    using TPromptForOverwriteEvent = std::function<void(TUnZipper* Sender, bool& OverWriteIt, int FileIndex, std::u16string& FName)>;
    using TSkippingFileEvent = std::function<void(TUnZipper* Sender, TSkipReason Reason, const std::u16string& FName, int FileIndex, bool& Retry)>;
    using TBadPasswordEvent = std::function<void(TUnZipper* Sender, int FileIndex, std::string& NewPassword)>;
    using TBadCRCEvent = std::function<void(TUnZipper* Sender, uint32_t CalcCRC, uint32_t StoredCRC, int FileIndex)>;
    using TPercentDoneEvent = std::function<void(TUnZipper* Sender, int Percent)>;
    using TUnZipCompleteEvent = std::function<void(TUnZipper* Sender, int FileCount)>;
    using TInCompleteZipEvent = std::function<void(TUnZipper* Sender, TIncompleteZipMode& IncompleteMode)>;
    using TGetNextDiskEvent = std::function<void(TUnZipper* Sender, int NextDisk, std::u16string& FName)>;
    using TFileNameForSplitPartEvent = std::function<void(TUnZipper* Sender, std::u16string& FName, int PartNum, TSplitPartType SplitType)>;
    using TGetNextBufferEvent = std::function<void(TUnZipper* Sender, std::vector<uint8_t>& Buffer, const std::u16string& FName, int64_t AmountUsed, int BufferNum, bool& Quit)>;
    using TDecryptEvent = std::function<void(TUnZipper* Sender, uint8_t* buffer, int length, const std::string& Password)>;
    using THandleMessageEvent = std::function<void(TUnZipper* Sender, int MessageID, const std::u16string& Msg1, const std::u16string& Msg2, unsigned flags, int& Return)>;

    TUnZipper();
    ~TUnZipper();
    TUnZipper(const TUnZipper&) = delete;
    TUnZipper& operator=(const TUnZipper&) = delete;

    // --- archive directory
    const std::u16string& ZipName() const { return FZipName; }
    void SetZipName(const std::u16string& Value);
    platform::TStream* ArchiveStream() const { return FArchiveStream; }
    // The stream is not owned; setting it clears the component and keeps it open.
    void SetArchiveStream(platform::TStream* Value);
    void ReadZip();
    void ClearZip();
    void Sort(TZipSortMode SMode);
    int Count();
    bool isZip64() const { return files && files->isZip64; }
    // Entry `Index` in numbering order (raises EListError "Index %d is out of range").
    TZipHeaderInfo& Entry(int Index);
    std::u16string Filename(int Index) { return Entry(Index).filename; }
    std::u16string Pathname(int Index) { return Entry(Index).directory; }
    std::string ZipComment();
    bool ZipHasComment() const { return ecrec.ZipHasComment(); }
    int64_t ZipSize();

    // --- extraction
    int UnZip();
    int UnZipSelected();
    void ClearSelected();
    int NumSelected();
    void UnZipToStream(platform::TStream& theStream, const std::u16string& FName);
    void UnZipToStreamByIndex(platform::TStream& theStream, int Index);
    // An empty Buffer is sized to the entry's size + 1 (zero-filled).
    void UnZipToBuffer(std::vector<uint8_t>& Buffer, const std::u16string& FName);
    void UnZipToBufferByIndex(std::vector<uint8_t>& Buffer, int Index);
    bool CheckArchive();

    void CancelTheOperation();
    void PauseTheOperation();
    void RestartTheOperation();
    int HandleMessage(int MessageID, const std::u16string& Msg1, const std::u16string& Msg2, unsigned flags);

    // --- encryption helpers
    uint8_t DecryptHeaderByte(const std::string& Passwrd, const uint8_t dh[12]);
    uint8_t DecryptHeaderByteByPtr(const std::string& Passwrd, const uint8_t* dhPtr) { return DecryptHeaderByte(Passwrd, dhPtr); }
    void GetDecryptHeaderPtr(int Index, uint8_t* dhPtr);
    void decrypt_buff(uint8_t* bufptr, uint32_t num_to_decrypt);

    // --- properties
    const std::u16string& DestDir() const { return FDestDir; }
    void SetDestDir(const std::u16string& Value);
    const std::u16string& RootDir() const { return FRootDir; }
    void SetRootDir(const std::u16string& Value);
    std::vector<std::u16string> RelativePathList;
    TZipSortMode SortMode() const { return FSortMode; }
    void SetSortMode(TZipSortMode Value);
    bool RecreateDirs = false;
    TUZOverwriteMode OverwriteMode = Prompt;
    std::vector<std::u16string> FilesList;
    bool DoAll = false;
    TIncompleteZipMode IncompleteZipMode = izAssumeMulti;
    bool KeepZipOpen = false;
    bool DoProcessMessages = true;
    bool RetainAttributes = true;
    bool ReplaceReadOnly = false;
    bool FlushFilesOnClose = false;
    TBlockMode BlockMode = bmStandard;
    TOEMConvert OEMConvert = oemFlexible;
    std::string Password;
    bool CheckDiskLabels = true;
    uint32_t BufferLength = 0;
    uint32_t BufferedStreamSize = 8192;
    bool EncryptBeforeCompress = false;
    int Tag = 0;
    int NumDisks() const { return FNumDisks; }
    int CurrentDisk() const { return FCurrentDisk; }
    TMultiMode MultiMode = mmNone;
    bool Busy() const { return FBusy; }
    bool ImproperZip() const { return FImproperZip; }
    TOperationMode OperationMode() const { return FOperationMode; }
    int64_t TotalUncompressedSize() const { return FTotalUncompressedSize; }
    int64_t TotalBytesDone() const { return FTotalBytesDone; }

    // --- events
    TStartUnZipInfoEvent OnStartUnZipInfo;
    TStartUnZipEvent OnStartUnZip;
    TEndUnZipEvent OnEndUnZip;
    TPromptForOverwriteEvent OnPromptForOverwrite;
    TSkippingFileEvent OnSkippingFile;
    TBadPasswordEvent OnBadPassword;
    TBadCRCEvent OnBadCRC;
    TPercentDoneEvent OnFilePercentDone;
    TPercentDoneEvent OnTotalPercentDone;
    TUnZipCompleteEvent OnUnZipComplete;
    TInCompleteZipEvent OnInCompleteZip;
    TGetNextDiskEvent OnGetNextDisk;
    TFileNameForSplitPartEvent OnFileNameForSplitPart;
    TGetNextBufferEvent OnGetNextBuffer;
    TDecryptEvent OnDecrypt;
    THandleMessageEvent OnHandleMessage;

private:
    friend struct TDecodeState;
    enum class TTarget { File, Stream, Buffer, Test };

    // directory
    void LoadDirectory();
    bool OpenArchive();
    void CloseArchive();
    bool RescueScan();
    int64_t FrontShift(platform::TStream& S, bool multi);
    platform::TStream* NextDiskForCentral();
    void OpenDisk(int DiskNum);  // 1-based
    std::u16string PartName(int DiskNum);
    TSortedZip& sortlist();
    void ProcessMessages();

    // extraction driver
    int LoadAndExtract(TTarget target, platform::TStream* stream, std::vector<uint8_t>* buffer, int onlyIndex,
                       const std::u16string* pattern, bool byIndex, bool resetCancel);
    int RunExtraction(TTarget target, platform::TStream* stream, std::vector<uint8_t>* buffer, int onlyIndex,
                      const std::u16string* pattern);
    enum class TEntryResult { Good, Bad, Skipped, Retry };
    TEntryResult ExtractOneEntry(int i, TTarget target, platform::TStream* stream, std::vector<uint8_t>* buffer);
    // The steps of one entry, in order.
    TEntryResult ExtractFolder(int i, TTarget target, const TZipHeaderInfo& entry);
    // The name the entry is written to (or tested as), after the start event;
    // false when the entry is skipped (and reported where it is refused).
    bool ChooseFileName(int i, TTarget target, const TZipHeaderInfo& entry, std::u16string& FName);
    // The overwrite rules for a file already there; false (reported) when it stays.
    bool MayReplace(int i, const TZipHeaderInfo& entry, std::u16string& FName);
    // Opens where the data goes; false (reported) when the file cannot be made.
    bool OpenOutput(int i, TTarget target, const TZipHeaderInfo& entry, const std::u16string& FName,
                    platform::TStream* stream, TDecodeState& st, std::unique_ptr<TBufferedFileStream>& outFile);
    // Decodes the data and closes the file, with its time and attributes.
    void DecodeEntry(TDecodeState& st, std::unique_ptr<TBufferedFileStream>& outFile, const std::u16string& FName);
    // Whether the data came out whole and checked out; reports a failure.
    TEntryResult JudgeEntry(int i, TTarget target, const TZipHeaderInfo& entry, TDecodeState& st,
                            const std::u16string& FName);
    // How files written in this run are told apart: by their names, without
    // letter case where the system ignores it.
    static std::u16string WrittenFileKey(const std::u16string& FName);
    void SkipEntry(TSkipReason Reason, const std::u16string& FName, int i, const TZipHeaderInfo& entry);
    // The path of an entry relative to the destination (`rel`, false when
    // there is none: it would leave the destination, name it, or holds a
    // NUL) and the stored path shown in events (`shown`).
    bool EntryPath(const TZipHeaderInfo& entry, std::u16string& rel, std::u16string& shown) const;
    std::u16string DestinationBase() const;
    // Records the bytes entry `i` occupies; false when they overlap another's.
    bool ClaimSpan(int i, uint32_t disk, uint64_t start, uint64_t dataStart, uint64_t csize);
    // The one way to ask for another password: true when one was given.
    bool AskNewPassword(int i);
    void ApplyAttributes(const std::u16string& path, const TZipHeaderInfo& entry, bool isFolder);

    // decoding (per entry)
    // True when the current password fits the entry (then `st` stands at its data).
    bool CheckPassword(TDecodeState& st);
    // After an AES entry's data: true when its authentication code agrees.
    bool AesCodeAgrees(TDecodeState& st);
    void Decode(TDecodeState& st);
    void DecodeStored(TDecodeState& st);
    void DecodeShrunk(TDecodeState& st);
    void DecodeReduced(TDecodeState& st);
    void DecodeImploded(TDecodeState& st);
    void DecodeDeflated(TDecodeState& st);
    int64_t FillInput(TDecodeState& st);
    int NextInputByte(TDecodeState& st);
    // Bit fields of 0 to 16 bits, least significant first; -1 past the end.
    int GetBits(TDecodeState& st, int n);
    void PutByte(TDecodeState& st, uint8_t b);
    void FlushWindow(TDecodeState& st);
    void EmitOutput(TDecodeState& st, uint8_t* data, uint32_t n);
    int64_t ReadArchive(void* buf, int64_t n);
    void SeekEntryData(TDecodeState& st, uint64_t offset);
    void InitKeys(const std::string& pwd);
    void UpdateKeys(uint8_t c);
    uint8_t DecryptByte() const;

    std::u16string FZipName;
    std::u16string FDestDir;
    std::u16string FRootDir;
    TZipSortMode FSortMode = ByNone;
    platform::TStream* FArchiveStream = nullptr;
    std::unique_ptr<TBufferedFileStream> FZipFile;  // the open archive (or part)
    platform::TStream* FZipStream = nullptr;        // what is read: FZipFile or FArchiveStream
    std::u16string FPartName;                       // the part of a multi-part archive now open
    std::unique_ptr<TSortedZip> files;
    std::unique_ptr<TSortedZip> sortfiles;          // null when the same as files
    TEndCentral ecrec;
    int64_t FFilesDate = 0;
    bool FLoaded = false;
    bool FImproperZip = false;
    bool FRescued = false;
    bool FIncompletePending = false;
    int FNumDisks = 1;
    int FCurrentDisk = 0;
    bool FBusy = false;
    TOperationMode FOperationMode = omNone;
    std::atomic<bool> FCancel{false};
    std::atomic<bool> FPause{false};
    std::mutex FPauseLock;
    std::condition_variable FPauseWake;
    bool FUnZippingSelected = false;
    int64_t FTotalUncompressedSize = 0;
    int64_t FTotalBytesDone = 0;
    // Buffers of one extraction run, allocated once per run.
    std::vector<uint8_t> FInBuf, FOutBuf, FWorkArea;
    uint32_t FKeys[3] = {0, 0, 0};
    struct TAesContext;
    std::unique_ptr<TAesContext> FAes;
    // Derives the AES keys of the run's entries ahead, on a second thread.
    class TKeyPrefetcher;
    std::unique_ptr<TKeyPrefetcher> FPrefetch;
    void StartKeyPrefetch();
    void StopKeyPrefetch();
    TZipHeaderInfo* FCurrentEntry = nullptr;  // the private copy being decoded
    // The bytes of the entries extracted in this run: (part, start) -> (end, index).
    using TSpanKey = std::pair<uint32_t, uint64_t>;
    std::map<TSpanKey, std::pair<uint64_t, int>> FSpans;
    // The files this run wrote (WrittenFileKey).
    std::set<std::u16string> FWrittenFiles;
};

}  // namespace unzip
