// TUnZipper: properties, archive files and the extraction driver: selecting
// entries, the path each is written to, and extracting one entry.
#include "unzip/UnZipper.h"

#include <chrono>
#include <cstdio>
#include <thread>

#include "platform/codepage.h"
#include "platform/files.h"
#include "unzip/DecodeState.h"
#include "unzip/NameText.h"
#include "unzip/Wildcard.h"
#include "unzip/ZipTexts.h"

namespace unzip {

using platform::AsciiToText;

namespace {

std::u16string IndexText(const char* format, long long value) {
    char buf[128];
    std::snprintf(buf, sizeof buf, format, value);
    return AsciiToText(buf);
}

}  // namespace


// ---------------------------------------------------------------- properties

void TUnZipper::SetZipName(const std::u16string& Value) {
    if (!Value.empty() && Value.back() == u'?') throw EUserCanceled(texts::kCanceledZipName);
    if (FoldName(Value) == FoldName(FZipName) && !FArchiveStream) return;
    FArchiveStream = nullptr;
    ClearZip();
    FZipName = Value;
}

void TUnZipper::SetArchiveStream(platform::TStream* Value) {
    ClearZip();
    FZipName.clear();
    FArchiveStream = Value;
    FZipStream = Value;
    KeepZipOpen = true;
}

void TUnZipper::SetDestDir(const std::u16string& Value) {
    // There is no folder dialog in the library: asking for one is a cancel.
    if (Value == u"?") throw EUserCanceled(texts::kCanceledDestDir);
    FDestDir = Value;
    if (FDestDir.size() > 1 && FDestDir.back() == u'/') FDestDir.pop_back();
}

void TUnZipper::SetRootDir(const std::u16string& Value) {
    FRootDir = Value;
    RelativePathList.clear();
    if (!Value.empty()) RelativePathList.push_back(Value);
}

void TUnZipper::SetSortMode(TZipSortMode Value) {
    if (files && Value != FSortMode) Sort(Value);
    FSortMode = Value;
}

int TUnZipper::Count() { return files ? sortlist().Count() : 0; }

TSortedZip& TUnZipper::sortlist() { return sortfiles ? *sortfiles : *files; }

TZipHeaderInfo& TUnZipper::Entry(int Index) {
    if (!files || Index < 0 || Index >= Count())
        throw EListError(IndexText(texts::kIndexOutOfRange, Index));
    return *sortlist().Entry(Index);
}

std::string TUnZipper::ZipComment() { return ecrec.ZipComment; }

int64_t TUnZipper::ZipSize() {
    if (FArchiveStream) return FArchiveStream->GetSize();
    if (FZipFile) return FZipFile->GetSize();
    try {
        platform::TFileStream f(FZipName, platform::fmOpenRead | platform::fmShareDenyNone);
        return f.GetSize();
    } catch (const platform::Exception&) {
        return 0;
    }
}

// ---------------------------------------------------------------- run control

void TUnZipper::CancelTheOperation() {
    FCancel = true;
    FPause = false;
    FPauseWake.notify_all();
}

void TUnZipper::PauseTheOperation() {
    FCancel = false;
    FPause = true;
}

void TUnZipper::RestartTheOperation() {
    FPause = false;
    FPauseWake.notify_all();
}

// There is no message queue in the library; a pause point honours the cancel
// request and holds the run while paused.
void TUnZipper::ProcessMessages() {
    while (FPause && !FCancel) {
        std::unique_lock<std::mutex> lock(FPauseLock);
        FPauseWake.wait_for(lock, std::chrono::milliseconds(1000));
    }
    if (FCancel.exchange(false)) throw EUserCanceled(texts::kUserAborted);
}

int TUnZipper::HandleMessage(int MessageID, const std::u16string& Msg1, const std::u16string& Msg2, unsigned flags) {
    if (OnHandleMessage) {
        int result = 0;
        OnHandleMessage(this, MessageID, Msg1, Msg2, flags, result);
        return result;
    }
    // Without a handler the box's default button answers.
    static const int kButtons[][3] = {{IDOK, IDOK, IDOK},        {IDOK, IDCANCEL, IDCANCEL},
                                      {IDABORT, IDRETRY, IDIGNORE}, {IDYES, IDNO, IDCANCEL},
                                      {IDYES, IDNO, IDNO},       {IDRETRY, IDCANCEL, IDCANCEL}};
    unsigned kind = flags & 0xF;
    if (kind > 5) kind = 0;
    unsigned def = (flags >> 8) & 0xF;
    if (def > 2) def = 0;
    return kButtons[kind][def];
}

// ---------------------------------------------------------------- archive files

bool TUnZipper::OpenArchive() {
    if (FArchiveStream) {
        FZipStream = FArchiveStream;
        return true;
    }
    if (!FZipFile) {
        FZipFile = TBufferedFileStream::CreateFile(FZipName, platform::fmOpenRead | platform::fmShareDenyWrite,
                                                   false, BufferedStreamSize);
        FPartName = FZipName;
        FCurrentDisk = MultiMode != mmNone ? FNumDisks - 1 : 0;
    }
    FZipStream = FZipFile.get();
    return true;
}

void TUnZipper::CloseArchive() {
    FZipFile.reset();
    FZipStream = FArchiveStream;
}

std::u16string TUnZipper::PartName(int DiskNum) {
    std::u16string base = ChangeExt(FZipName, u"");
    bool last = DiskNum == FNumDisks;
    TSplitPartType type = DiskNum == 1 ? spFirst : (last ? spLast : spMiddle);
    if (OnFileNameForSplitPart) {
        std::u16string name = base;
        OnFileNameForSplitPart(this, name, DiskNum, type);
        return name;
    }
    if (last) return FZipName;
    if (BlockMode == bmClassic) return base + IndexText(".%3.3lld", DiskNum);
    return base + IndexText(".z%2.2lld", DiskNum);
}

void TUnZipper::OpenDisk(int DiskNum) {
    if (FArchiveStream) throw EUserCanceled(texts::kCanceledNewDisk);
    FZipFile.reset();
    FZipStream = nullptr;
    std::u16string name;
    if (MultiMode == mmSpan) {
        // Removable disks: ask until the part is there.
        name = FZipName;
        for (;;) {
            if (OnGetNextDisk) {
                OnGetNextDisk(this, DiskNum, name);
            } else {
                std::u16string text = AsciiToText(texts::kInsertDisk1) + IndexText("%lld", DiskNum) +
                                      AsciiToText(texts::kInsertDisk2);
                if (HandleMessage(0, text, u"", MB_OKCANCEL) == IDCANCEL) name.clear();
            }
            if (name.empty()) throw EUserCanceled(texts::kCanceledNewDisk);
            if (platform::GetFileKind(name) == platform::TFileKind::fkFile) break;
            if (!OnGetNextDisk && !OnHandleMessage) throw EUserCanceled(texts::kCanceledNewDisk);
        }
    } else {
        name = PartName(DiskNum);
    }
    try {
        FZipFile = TBufferedFileStream::CreateFile(name, platform::fmOpenRead | platform::fmShareDenyNone, false,
                                                   BufferedStreamSize);
    } catch (const platform::EStreamError&) {
        throw EUserCanceled(texts::kCanceledNewDisk);
    }
    FZipStream = FZipFile.get();
    FCurrentDisk = DiskNum - 1;
    FPartName = name;
}

platform::TStream* TUnZipper::NextDiskForCentral() {
    if (FCurrentDisk + 1 >= FNumDisks) return nullptr;
    OpenDisk(FCurrentDisk + 2);
    return FZipStream;
}

int64_t TUnZipper::ReadArchive(void* buf, int64_t n) {
    auto* out = static_cast<uint8_t*>(buf);
    int64_t done = 0;
    while (done < n) {
        int64_t got = FZipStream->Read(out + done, n - done);
        if (got > 0) done += got;
        if (done >= n) break;
        if (MultiMode == mmNone || FCurrentDisk + 1 >= FNumDisks) break;
        OpenDisk(FCurrentDisk + 2);
    }
    return done;
}

// ---------------------------------------------------------------- extraction driver

// Every extraction entry point: marks the component busy, loads the
// directory, opens the archive and runs the driver for one kind of target,
// then closes the archive again unless it is kept open. A by-index call
// (`byIndex`) has its index checked against the directory first; `resetCancel`
// also clears a cancel request left over when the run ends.
int TUnZipper::LoadAndExtract(TTarget target, platform::TStream* stream, std::vector<uint8_t>* buffer,
                              int onlyIndex, const std::u16string* pattern, bool byIndex,
                              bool resetCancel) {
    bool wasBusy = FBusy;
    FBusy = true;
    if (resetCancel) FCancel = false;
    Finally restore{[&] {
        if (!KeepZipOpen && !FArchiveStream) CloseArchive();
        FBusy = wasBusy;
        if (resetCancel) FCancel = false;
    }};
    ReadZip();
    if (!FLoaded) throw EIncompleteZip(texts::kIncompleteZip);
    if (byIndex) Entry(onlyIndex);
    OpenArchive();
    return RunExtraction(target, stream, buffer, onlyIndex, pattern);
}

int TUnZipper::UnZip() { return LoadAndExtract(TTarget::File, nullptr, nullptr, -1, nullptr, false, true); }

int TUnZipper::UnZipSelected() {
    FUnZippingSelected = true;
    Finally restore{[&] { FUnZippingSelected = false; }};
    return UnZip();
}

void TUnZipper::ClearSelected() {
    if (!files) return;
    for (int i = 0; i < files->Count(); ++i) files->Entry(i)->Selected = false;
}

int TUnZipper::NumSelected() {
    int n = 0;
    if (files)
        for (int i = 0; i < files->Count(); ++i) n += files->Entry(i)->Selected ? 1 : 0;
    return n;
}

bool TUnZipper::CheckArchive() {
    const int good = LoadAndExtract(TTarget::Test, nullptr, nullptr, -1, nullptr, false, true);
    return good == Count();
}

void TUnZipper::UnZipToStream(platform::TStream& theStream, const std::u16string& FName) {
    LoadAndExtract(TTarget::Stream, &theStream, nullptr, -1, &FName, false, false);
}

void TUnZipper::UnZipToStreamByIndex(platform::TStream& theStream, int Index) {
    LoadAndExtract(TTarget::Stream, &theStream, nullptr, Index, nullptr, true, false);
}

void TUnZipper::UnZipToBuffer(std::vector<uint8_t>& Buffer, const std::u16string& FName) {
    LoadAndExtract(TTarget::Buffer, nullptr, &Buffer, -1, &FName, false, false);
}

void TUnZipper::UnZipToBufferByIndex(std::vector<uint8_t>& Buffer, int Index) {
    LoadAndExtract(TTarget::Buffer, nullptr, &Buffer, Index, nullptr, true, false);
}

int TUnZipper::RunExtraction(TTarget target, platform::TStream* stream, std::vector<uint8_t>* buffer,
                             int onlyIndex, const std::u16string* pattern) {
    TOperationMode wasMode = FOperationMode;
    bool wasKeep = KeepZipOpen;
    TZipSortMode wasSort = FSortMode;
    FOperationMode = omUnZip;
    FCancel = false;
    KeepZipOpen = true;
    int count = 0;
    Finally finish{[&] {
        StopKeyPrefetch();
        FInBuf = {};
        FOutBuf = {};
        FWorkArea = {};
        FilesList.clear();
        if (FSortMode != wasSort) Sort(wasSort);
        if (OnUnZipComplete) OnUnZipComplete(this, count);
        KeepZipOpen = wasKeep;
        FOperationMode = wasMode;
    }};
    FSpans.clear();
    FWrittenFiles.clear();
    FInBuf.assign(32769, 0);
    FOutBuf.assign(32769, 0);
    FWorkArea.assign(32780, 0);
    if (target == TTarget::File && !FDestDir.empty() && !platform::DirectoryExists(FDestDir))
        platform::ForceDirectories(FDestDir);
    if (MultiMode != mmNone && FSortMode != ByNone) Sort(ByNone);

    FTotalUncompressedSize = 0;
    FTotalBytesDone = 0;
    std::vector<std::u16string> patterns;
    for (auto& p : FilesList) patterns.push_back(FoldName(p));
    int selected = 0;
    TSortedZip& list = sortlist();
    for (int i = 0; i < list.Count(); ++i) {
        if (DoProcessMessages && FCancel.exchange(false)) throw EUserCanceled(texts::kUserAborted);
        TZipHeaderInfo& e = *list.Entry(i);
        bool isFolder = e.IsFolder();
        if (onlyIndex >= 0) {
            e.MatchFlag = i == onlyIndex && !isFolder;
        } else if (pattern) {
            e.MatchFlag = !isFolder && WildcardMatches(*pattern, e.FullName());
        } else if (target == TTarget::Test) {
            e.MatchFlag = true;
        } else {
            e.MatchFlag = DoAll;
            if (FUnZippingSelected) {
                if (e.Selected) {
                    e.MatchFlag = true;
                    e.Selected = false;
                }
            } else if (!DoAll) {
                std::u16string name = FoldName(e.FullName());
                for (auto& p : patterns)
                    if (WildcardMatches(p, name)) {
                        e.MatchFlag = true;
                        break;
                    }
            }
            if (isFolder && !RecreateDirs) e.MatchFlag = false;
        }
        if (e.MatchFlag) {
            FTotalUncompressedSize += static_cast<int64_t>(e.UncompressedSize() & 0x7FFFFFFFFFFFFFFFull);
            ++selected;
        }
    }
    bool stop = false;
    if (OnStartUnZipInfo) OnStartUnZipInfo(this, selected, FTotalUncompressedSize, stop);
    if (selected == 0 || stop) return count;
    StartKeyPrefetch();
    for (int i = 0; i < list.Count(); ++i) {
        if (!list.Entry(i)->MatchFlag) continue;
        TEntryResult r;
        do {
            r = ExtractOneEntry(i, target, stream, buffer);
        } while (r == TEntryResult::Retry);
        if (r == TEntryResult::Good) ++count;
        if (target == TTarget::Test) list.Entry(i)->FileIsOK = r == TEntryResult::Good ? 1 : 0;
    }
    return count;
}

void TUnZipper::SkipEntry(TSkipReason Reason, const std::u16string& FName, int i, const TZipHeaderInfo& entry) {
    FTotalUncompressedSize -= static_cast<int64_t>(entry.UncompressedSize() & 0x7FFFFFFFFFFFFFFFull);
    if (OnSkippingFile) {
        bool retry = false;
        OnSkippingFile(this, Reason, FName, i, retry);
    }
}

bool TUnZipper::EntryPath(const TZipHeaderInfo& entry, std::u16string& rel, std::u16string& shown) const {
    // What the entry names below the destination: with RecreateDirs its
    // folders (less a prefix of RelativePathList) and its name, else the name.
    std::u16string stored;
    if (RecreateDirs) {
        stored = entry.directory;
        for (auto& prefix : RelativePathList) {
            if (!prefix.empty() && stored.size() >= prefix.size() &&
                FoldName(stored.substr(0, prefix.size())) == FoldName(prefix)) {
                stored = stored.substr(prefix.size());
                break;
            }
        }
    }
    stored += entry.filename;
    // Drive prefixes ("C:") and leading slashes are dropped first, as often
    // as they stand there; every check below runs on what is left.
    size_t k = 0;
    for (;;) {
        if (stored.size() >= k + 2 && stored[k + 1] == u':') k += 2;
        else if (k < stored.size() && stored[k] == u'/') ++k;
        else break;
    }
    shown = stored.substr(k);
    rel.clear();
    bool bad = shown.find(u'\0') != std::u16string::npos;
    size_t start = 0;
    while (start <= shown.size()) {
        size_t end = shown.find(u'/', start);
        if (end == std::u16string::npos) end = shown.size();
        std::u16string part = shown.substr(start, end - start);
        start = end + 1;
        if (part.empty() || part == u".") continue;
        // A part of dots and spaces only ("..", "...", ".. ") is refused:
        // Windows drops trailing dots and spaces, which leaves ".." or less.
        if (part.find_first_not_of(u". ") == std::u16string::npos) bad = true;
        // ".." is refused also between colons, which some systems read as a
        // drive or stream separator ("x:..").
        size_t from = 0;
        while (from <= part.size()) {
            size_t to = part.find(u':', from);
            if (to == std::u16string::npos) to = part.size();
            if (part.compare(from, to - from, u"..") == 0) bad = true;
            from = to + 1;
        }
        // A part the system reads as a device ("NUL", "con.txt" on Windows)
        // would send the data there instead of to a file below the destination.
        if (platform::IsDeviceName(part)) bad = true;
        if (!rel.empty()) rel += u'/';
        rel += platform::UsableFileName(part);
    }
    // An empty result names the destination itself; a file must have a name.
    if (rel.empty()) bad = true;
    if (!entry.filename.empty() && (entry.filename == u"." || entry.filename == u"..")) bad = true;
    return !bad;
}

bool TUnZipper::ClaimSpan(int i, uint32_t disk, uint64_t start, uint64_t dataStart, uint64_t csize) {
    // Offsets count from the start of the part the entry starts on; the data
    // of an entry that runs on into the next parts is not followed there.
    uint64_t end = dataStart + csize < dataStart ? UINT64_MAX : dataStart + csize;
    if (end <= start) end = start + 1;
    TSpanKey key{disk, start};
    auto next = FSpans.upper_bound(key);
    if (next != FSpans.end() && next->first.first == disk && next->first.second < end && next->second.second != i)
        return false;
    if (next != FSpans.begin()) {
        auto prev = std::prev(next);
        if (prev->first.first == disk && prev->second.first > start && prev->second.second != i) return false;
        if (prev->first == key) return true;  // the same entry, tried again
    }
    FSpans.emplace(key, std::make_pair(end, i));
    return true;
}

bool TUnZipper::AskNewPassword(int i) {
    if (!OnBadPassword) return false;
    std::string newPassword = Password;
    OnBadPassword(this, i, newPassword);
    if (newPassword == Password) return false;
    Password = newPassword;
    return true;
}

std::u16string TUnZipper::DestinationBase() const {
    // With no destination, stored paths are relative to the current folder.
    if (FDestDir.empty()) return {};
    return FDestDir.back() == u'/' ? FDestDir : FDestDir + u"/";
}

void TUnZipper::ApplyAttributes(const std::u16string& path, const TZipHeaderInfo& entry, bool isFolder) {
    uint32_t unixMode = entry.external_file_attributes >> 16;
    uint32_t kind = unixMode & 0170000;
    // A link (or device, socket, ...) is written as a regular file with the
    // permissions files get anyway: a link's 0777 means nothing for a file.
    if ((entry.version_made_by >> 8) == 3 && kind != 0 && kind != 0100000 && kind != 0040000) return;
    if ((entry.version_made_by >> 8) == 3 && unixMode != 0) {
        // Permission bits only: no setuid, setgid or sticky bit, never a link.
        int mode = static_cast<int>(unixMode & 0777);
        if (isFolder) mode |= 0700;
        platform::SetFileMode(path, mode);
    } else if (!isFolder && (entry.external_file_attributes & 1)) {
        int mode = platform::GetFileMode(path);
        if (mode >= 0) platform::SetFileMode(path, mode & ~0222 & 0777);
    }
}

// ---------------------------------------------------------------- one entry

TUnZipper::TEntryResult TUnZipper::ExtractOneEntry(int i, TTarget target, platform::TStream* stream,
                                                    std::vector<uint8_t>* buffer) {
    TZipHeaderInfo entry(*sortlist().Entry(i));
    struct ClearCurrent {
        TZipHeaderInfo*& p;
        ~ClearCurrent() { p = nullptr; }
    } clearCurrent{FCurrentEntry};
    if (entry.IsFolder()) return ExtractFolder(i, target, entry);

    TDecodeState st;
    st.entry = &entry;
    st.index = i;
    st.target = static_cast<int>(target);
    st.buffer = buffer;
    st.csize = entry.CompressedSize();
    SeekEntryData(st, entry.RelativeOffset());
    if (ReadArchive(&st.lrec, 30) < 30) throw EFatalUnzipError(texts::kPrematureEnd);
    st.dataStart = entry.RelativeOffset() + 30 + st.lrec.filename_length + st.lrec.extra_field_length;

    std::u16string FName;
    if (!ChooseFileName(i, target, entry, FName)) return TEntryResult::Skipped;
    st.fname = FName;

    // Entries whose bytes (local header and data) overlap those of an entry
    // already extracted in this run are refused: a few kilobytes could
    // otherwise be unpacked again and again.
    // A streamed entry whose sizes the rescue scan did not find cannot be
    // extracted; it fails instead of passing as an entry of 0 bytes.
    if (entry.SizesUnknown || !ClaimSpan(i, entry.DiskNumberStart(), entry.RelativeOffset(), st.dataStart, st.csize)) {
        if (OnBadCRC) OnBadCRC(this, 0, entry.crc32, i);
        return TEntryResult::Bad;
    }
    if (entry.Encrypted() && !CheckPassword(st)) {
        if (AskNewPassword(i)) return TEntryResult::Retry;
        SkipEntry(srBadPassword, entry.FullName(), i, entry);
        return TEntryResult::Skipped;
    }
    if (target == TTarget::File && !MayReplace(i, entry, FName)) return TEntryResult::Skipped;
    st.fname = FName;

    std::unique_ptr<TBufferedFileStream> outFile;
    if (!OpenOutput(i, target, entry, FName, stream, st, outFile)) return TEntryResult::Skipped;
    DecodeEntry(st, outFile, FName);
    return JudgeEntry(i, target, entry, st, FName);
}

TUnZipper::TEntryResult TUnZipper::ExtractFolder(int i, TTarget target, const TZipHeaderInfo& entry) {
    if (target != TTarget::File || !RecreateDirs) return TEntryResult::Good;
    std::u16string rel, shown;
    const std::u16string base = DestinationBase();
    if (!EntryPath(entry, rel, shown)) {
        SkipEntry(srCreateError, base + shown, i, entry);
        return TEntryResult::Skipped;
    }
    // A folder that cannot be made (a file of its name stands there, no
    // rights) is a failure of the entry, not a folder made.
    const std::u16string folder = base + rel;
    if (!platform::DirectoryExists(folder) && !platform::ForceDirectories(folder)) {
        SkipEntry(srCreateError, folder, i, entry);
        return TEntryResult::Skipped;
    }
    if (RetainAttributes) ApplyAttributes(folder, entry, true);
    return TEntryResult::Good;
}

bool TUnZipper::ChooseFileName(int i, TTarget target, const TZipHeaderInfo& entry, std::u16string& FName) {
    std::u16string rel, shown;
    const bool pathOk = EntryPath(entry, rel, shown);
    if (target == TTarget::File) FName = DestinationBase() + (pathOk ? rel : shown);
    else if (target == TTarget::Test) FName = entry.FullName();
    // A second entry for a file this run already wrote (the same name, or one
    // this system takes for it, such as another letter case on Windows) is
    // reported, before the application's event may delete the first one.
    if (target == TTarget::File && pathOk && FWrittenFiles.count(WrittenFileKey(FName))) {
        SkipEntry(srNoOverwrite, FName, i, entry);
        return false;
    }
    const std::u16string storedFName = FName;
    bool skip = false;
    if (OnStartUnZip) OnStartUnZip(this, i, FName, skip);
    if (skip) return false;
    if (target != TTarget::File) return true;
    // A stored path that leaves the destination, names it or holds a NUL
    // is never written (a name the application gave instead is its own).
    if (!pathOk && FName == storedFName) {
        SkipEntry(srCreateError, FName, i, entry);
        return false;
    }
    // A folder that cannot be made fails when the file is created.
    size_t slash = FName.find_last_of(u'/');
    if (slash != std::u16string::npos && slash > 0) {
        std::u16string dir = FName.substr(0, slash);
        if (!platform::DirectoryExists(dir)) platform::ForceDirectories(dir);
    }
    return true;
}

std::u16string TUnZipper::WrittenFileKey(const std::u16string& FName) {
    return platform::FileNamesIgnoreCase() ? FoldName(FName) : FName;
}

bool TUnZipper::MayReplace(int i, const TZipHeaderInfo& entry, std::u16string& FName) {
    if (!platform::PathExists(FName) || OverwriteMode == Always) return true;
    bool overwrite = false;
    switch (OverwriteMode) {
        case Prompt:
            if (OnPromptForOverwrite) {
                OnPromptForOverwrite(this, overwrite, i, FName);
            } else {
                std::u16string text = AsciiToText(texts::kReplaceExisting) + entry.filename + u"?";
                if (text.size() > 300) text.resize(300);
                overwrite = HandleMessage(texts::kMsgReplaceFile, text, AsciiToText(texts::kFileExistsAlert),
                                          MB_YESNO) == IDYES;
            }
            break;
        case ifNewer:
        case ifOlder: {
            int64_t entryTime = DosDateTimeToUnix(SanitizeDosDateTime(entry.last_mod_file_date_time));
            int64_t fileTime = platform::GetFileMTime(FName);
            overwrite = OverwriteMode == ifNewer ? entryTime > fileTime : entryTime < fileTime;
            break;
        }
        default: break;
    }
    if (!overwrite) SkipEntry(srNoOverwrite, FName, i, entry);
    return overwrite;
}

bool TUnZipper::OpenOutput(int i, TTarget target, const TZipHeaderInfo& entry, const std::u16string& FName,
                           platform::TStream* stream, TDecodeState& st,
                           std::unique_ptr<TBufferedFileStream>& outFile) {
    if (target == TTarget::Stream) {
        if (stream->GetSize() == 0)
            stream->SetSize(static_cast<int64_t>(entry.UncompressedSize() & 0x7FFFFFFFFFFFFFFFull));
        stream->SetPosition(0);
        st.out = stream;
        return true;
    }
    if (target == TTarget::Buffer) {
        if (st.buffer->empty())
            st.buffer->assign(BufferLength > 0 ? BufferLength : entry.UncompressedSize() + 1, 0);
        return true;
    }
    if (target != TTarget::File) return true;
    // Never write through a link that stands where the file goes.
    if (platform::GetFileKind(FName) == platform::TFileKind::fkSymlink) platform::DeleteFile(FName);
    auto create = [&]() {
        try {
            outFile = TBufferedFileStream::CreateFile(FName, platform::fmCreate, FlushFilesOnClose, BufferedStreamSize);
            return true;
        } catch (const platform::EStreamError&) {
            return false;
        }
    };
    bool created = create();
    if (!created && ReplaceReadOnly && platform::GetFileKind(FName) == platform::TFileKind::fkFile) {
        int mode = platform::GetFileMode(FName);
        if (mode >= 0 && !(mode & 0200) && platform::SetFileMode(FName, mode | 0200)) created = create();
    }
    if (!created) {
        SkipEntry(srCreateError, FName, i, entry);
        return false;
    }
    st.out = outFile.get();
    return true;
}

void TUnZipper::DecodeEntry(TDecodeState& st, std::unique_ptr<TBufferedFileStream>& outFile,
                            const std::u16string& FName) {
    // A file that could not be written whole (the data ended early, the disk
    // filled, the run was cancelled) never stays behind under its name.
    auto removePartialFile = [&] {
        if (!outFile) return;
        outFile.reset();
        platform::DeleteFile(FName);
    };
    try {
        Decode(st);
    } catch (const EBiggerThanUncompressed&) {
        st.unfinished = true;
    } catch (const ECanceledUnzipToBuffer&) {
        st.unfinished = true;
        st.bufferCanceled = true;
    } catch (const EZDecompressionError&) {
        // A wrong password that passed the one-byte check gives garbage to
        // the decoder: that entry fails and the run goes on. Damaged data of
        // an entry without a password still ends the run.
        if (!st.entry->Encrypted()) {
            removePartialFile();
            throw;
        }
        st.unfinished = true;
    } catch (...) {
        removePartialFile();
        throw;
    }
    if (!outFile) return;
    if (!outFile->FlushBuffer()) {
        removePartialFile();
        throw ECantWriteUCF(texts::kCantWriteUCF);
    }
    outFile.reset();
    if (st.unfinished) return;
    int64_t when = DosDateTimeToUnix(SanitizeDosDateTime(st.entry->last_mod_file_date_time));
    if (when >= 0) platform::SetFileMTime(FName, when);
    if (RetainAttributes) ApplyAttributes(FName, *st.entry, false);
}

TUnZipper::TEntryResult TUnZipper::JudgeEntry(int i, TTarget target, const TZipHeaderInfo& entry,
                                              TDecodeState& st, const std::u16string& FName) {
    bool codesAgree = true;
    if (st.aes && !st.unfinished && !st.unknownMethod) codesAgree = AesCodeAgrees(st);
    bool ae2 = st.aes && entry.AES_Extra && entry.AES_Extra->Version == 2;
    bool good;
    if (st.bufferCanceled) {
        good = true;
    } else {
        // An entry is good only when all its bytes came out and check out;
        // a stored CRC of 0 is a valid "no CRC" only for AE-2 entries, whose
        // authentication code covers the data instead.
        bool complete = !st.unfinished && !st.unknownMethod && st.done == entry.UncompressedSize();
        bool crcOk = ae2 ? true : st.crc == entry.crc32;
        good = complete && codesAgree && crcOk;
    }
    if (good) {
        if (target == TTarget::File) FWrittenFiles.insert(WrittenFileKey(FName));
        if (OnEndUnZip) OnEndUnZip(this, i, FName);
        return TEntryResult::Good;
    }
    if (target == TTarget::File) platform::DeleteFile(FName);
    // A method this component does not decode says nothing about the
    // password: it is reported as a failed entry, never as a bad password.
    if (entry.Encrypted() && !st.unknownMethod) {
        if (AskNewPassword(i)) return TEntryResult::Retry;
        SkipEntry(srBadPassword, entry.FullName(), i, entry);
        return TEntryResult::Bad;
    }
    if (OnBadCRC) OnBadCRC(this, st.crc, entry.crc32, i);
    return TEntryResult::Bad;
}

}  // namespace unzip
