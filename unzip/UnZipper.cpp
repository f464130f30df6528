// TUnZipper: properties, the archive directory and the extraction driver.
#include "unzip/UnZipper.h"

#include <chrono>
#include <cstdio>
#include <set>
#include <thread>

#include "platform/codepage.h"
#include "platform/files.h"
#include "unzip/DecodeState.h"
#include "unzip/Wildcard.h"
#include "unzip/ZipTexts.h"

namespace unzip {

using platform::AsciiToText;

namespace {

std::u16string LowerAscii(std::u16string s) {
    for (auto& c : s)
        if (c >= 'A' && c <= 'Z') c = static_cast<char16_t>(c + 32);
    return s;
}

std::u16string ChangeExt(const std::u16string& name, const std::u16string& ext) {
    size_t slash = name.find_last_of(u"/");
    size_t dot = name.find_last_of(u'.');
    if (dot == std::u16string::npos || (slash != std::u16string::npos && dot < slash)) return name + ext;
    return name.substr(0, dot) + ext;
}

std::u16string ExtOf(const std::u16string& name) {
    size_t slash = name.find_last_of(u"/");
    size_t dot = name.find_last_of(u'.');
    if (dot == std::u16string::npos || (slash != std::u16string::npos && dot < slash)) return {};
    return name.substr(dot);
}

std::u16string IndexText(const char* format, long long value) {
    char buf[128];
    std::snprintf(buf, sizeof buf, format, value);
    return AsciiToText(buf);
}

// True when a stored path part holds a ".." component.
bool HasParentStep(const std::u16string& part) {
    size_t start = 0;
    while (start <= part.size()) {
        size_t end = part.find(u'/', start);
        if (end == std::u16string::npos) end = part.size();
        if (part.compare(start, end - start, u"..") == 0) return true;
        start = end + 1;
    }
    return false;
}

// Runs a cleanup on every way out of a scope.
template <class F>
struct Finally {
    F f;
    ~Finally() { f(); }
};
template <class F>
Finally(F) -> Finally<F>;

}  // namespace


// ---------------------------------------------------------------- properties

void TUnZipper::SetZipName(const std::u16string& Value) {
    if (!Value.empty() && Value.back() == u'?') throw EUserCanceled(texts::kCanceledZipName);
    if (LowerAscii(Value) == LowerAscii(FZipName) && !FArchiveStream) return;
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

// ---------------------------------------------------------------- directory

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

bool TUnZipper::RescueScan() {
    FRescued = true;
    FImproperZip = true;
    sortfiles.reset();
    files.reset();
    platform::TStream& S = *FZipStream;
    int64_t start = LowerAscii(ExtOf(FZipName)) == u".exe" ? 14000 : 0;
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
        int64_t skip = static_cast<int64_t>(e->Lextra_field_length) + static_cast<int64_t>(e->CompressedSize() & 0x7FFFFFFFFFFFull);
        if (e->HasDescriptor()) skip += 16;
        try {
            files->AddObject(e.get());
        } catch (const EListError&) {
            break;
        }
        e.release();
        S.Seek(skip, platform::soCurrent);
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
                S->Seek(static_cast<int64_t>(ecrec.offset_central() & 0x7FFFFFFFFFFFFFFFull), platform::soBeginning);
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
                if (FRescued || multi || !RescueScan()) {
                    ClearZip();
                    throw EBadZipFile(texts::kNotAZipFile);
                }
                repair = true;
                prev = nullptr;
                S = FZipStream;
                S->Seek(static_cast<int64_t>(ecrec.offset_central()), platform::soBeginning);
                i = static_cast<uint64_t>(-1);
                continue;
            }
        } else {
            if (multi || FRescued || !RescueScan()) {
                ClearZip();
                throw EBadZipFile(texts::kNotAZipFile);
            }
            repair = true;
            prev = nullptr;
            S = FZipStream;
            S->Seek(static_cast<int64_t>(ecrec.offset_central()), platform::soBeginning);
            i = static_cast<uint64_t>(-1);
            continue;
        }
        S->Seek(static_cast<int64_t>(prev->Cextra_field_length) + prev->file_comment_length, platform::soCurrent);
    }
    zfc.reset();
    files->filesdate = FFilesDate;
    FLoaded = true;
    Sort(FSortMode);
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
    FInBuf.assign(32769, 0);
    FOutBuf.assign(32769, 0);
    FWorkArea.assign(32780, 0);
    if (target == TTarget::File && !FDestDir.empty() && !platform::DirectoryExists(FDestDir))
        platform::ForceDirectories(FDestDir);
    if (MultiMode != mmNone && FSortMode != ByNone) Sort(ByNone);

    FTotalUncompressedSize = 0;
    FTotalBytesDone = 0;
    std::vector<std::u16string> patterns;
    for (auto& p : FilesList) patterns.push_back(LowerAscii(p));
    int selected = 0;
    TSortedZip& list = sortlist();
    for (int i = 0; i < list.Count(); ++i) {
        if (DoProcessMessages && FCancel.exchange(false)) throw EUserCanceled(texts::kUserAborted);
        TZipHeaderInfo& e = *list.Entry(i);
        bool isFolder = e.filename.empty();
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
                std::u16string name = LowerAscii(e.FullName());
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

std::u16string TUnZipper::DestinationFolder(const TZipHeaderInfo& entry, bool& escapes) const {
    // With no destination, relative stored paths stay relative to the current folder.
    std::u16string base = FDestDir.empty() ? std::u16string() : FDestDir + u"/";
    std::u16string folder;
    escapes = entry.filename == u".." || entry.filename == u".";
    if (!RecreateDirs || entry.directory.empty()) {
        folder = base;
    } else {
        std::u16string f = entry.directory;
        for (auto& prefix : RelativePathList) {
            if (!prefix.empty() && f.size() >= prefix.size() &&
                LowerAscii(f.substr(0, prefix.size())) == LowerAscii(prefix)) {
                f = f.substr(prefix.size());
                break;
            }
        }
        bool drive = f.size() > 1 && f[1] == u':';
        if (!f.empty() && f[0] != u'/' && !drive) {
            folder = base + f;
        } else if (FDestDir.empty()) {
            folder = f;
        } else if (!f.empty() && f[0] == u'/') {
            folder = FDestDir + f;
        } else {
            folder = FDestDir + (f.size() > 2 && f[2] == u'/' ? u"" : u"/") + f.substr(2);
        }
        escapes = escapes || HasParentStep(f);
        if (!folder.empty() && folder.back() != u'/') folder += u'/';
    }
    return folder;
}

void TUnZipper::ApplyAttributes(const std::u16string& path, const TZipHeaderInfo& entry, bool isFolder) {
    uint32_t unixMode = entry.external_file_attributes >> 16;
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

}  // namespace unzip
