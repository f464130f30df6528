// Decoding of one entry: finding its data, password checks and decryption
// (traditional and WinZip AES), stored and deflated data and the output sink.
// The older methods are in OldMethods.cpp; the driver that judges each entry
// is in UnZipper.cpp.
#include <algorithm>
#include <cmath>
#include <condition_variable>
#include <cstring>
#include <map>
#include <mutex>
#include <thread>

#include <zlib.h>

#include "platform/codepage.h"
#include "platform/crypto.h"
#include "platform/files.h"
#include "unzip/DecodeState.h"
#include "unzip/UnZipper.h"
#include "unzip/ZipTexts.h"

namespace unzip {

using platform::AsciiToText;

namespace {

struct CrcTable {
    uint32_t t[256];
    CrcTable() {
        for (uint32_t n = 0; n < 256; ++n) {
            uint32_t c = n;
            for (int k = 0; k < 8; ++k) c = (c & 1) ? 0xEDB88320u ^ (c >> 1) : c >> 1;
            t[n] = c;
        }
    }
};
const CrcTable kCrc;

inline uint32_t CrcStep(uint32_t crc, uint8_t b) { return kCrc.t[(crc ^ b) & 0xFF] ^ (crc >> 8); }

// data ^= key, eight bytes at a time.
void XorInto(uint8_t* data, const uint8_t* key, size_t n) {
    size_t k = 0;
    for (; k + 8 <= n; k += 8) {
        uint64_t a, b;
        std::memcpy(&a, data + k, 8);
        std::memcpy(&b, key + k, 8);
        a ^= b;
        std::memcpy(data + k, &a, 8);
    }
    for (; k < n; ++k) data[k] ^= key[k];
}

int Percent(uint64_t part, uint64_t whole) {
    if (whole == 0) return 0;
    double p = std::round(static_cast<double>(part) * 100.0 / static_cast<double>(whole));
    return p > 100 ? 100 : static_cast<int>(p);
}

}  // namespace

// WinZip AES: counter-mode decryption with a little-endian counter and an
// HMAC-SHA1 over the encrypted bytes.
struct TUnZipper::TAesContext {
    platform::TAesBlockCipher cipher;
    platform::THmacSha1 hmac;
    uint64_t counter = 0;        // the low eight bytes of the counter block
    uint8_t keystream[16] = {};
    unsigned pos = 16;
    std::vector<uint8_t> counters;  // counter blocks of one batch; high halves stay zero
    std::vector<uint8_t> stream;    // their key stream

    TAesContext() : counters(32768, 0), stream(32768) {}
    void Start(const uint8_t* key, int keyLen, const uint8_t* macKey) {
        cipher.SetKey(key, static_cast<size_t>(keyLen));
        hmac.Start(macKey, static_cast<size_t>(keyLen));
        counter = 0;
        pos = 16;
    }
    // Key stream for `blocks` counter values following the current one; the
    // counter is a little-endian number in the first eight bytes.
    void MakeStream(uint8_t* out, size_t blocks) {
        for (size_t b = 0; b < blocks; ++b) {
            uint64_t c = ++counter;
            uint8_t le[8];
            for (int k = 0; k < 8; ++k) le[k] = static_cast<uint8_t>(c >> (8 * k));
            std::memcpy(&counters[b * 16], le, 8);
        }
        cipher.EncryptBlocks(counters.data(), out, blocks);
    }
    void Decrypt(uint8_t* data, size_t n) {
        hmac.Update(data, n);
        size_t i = 0;
        while (i < n && pos < 16) data[i++] ^= keystream[pos++];
        while (n - i >= 16) {
            size_t count = std::min<size_t>((n - i) / 16, stream.size() / 16);
            MakeStream(stream.data(), count);
            XorInto(data + i, stream.data(), count * 16);
            i += count * 16;
        }
        if (i < n) {
            MakeStream(keystream, 1);
            pos = 0;
            while (i < n) data[i++] ^= keystream[pos++];
        }
    }
    void Code(uint8_t out[10]) {
        uint8_t full[platform::THmacSha1::kDigestSize];
        hmac.Finish(full);
        std::memcpy(out, full, 10);
    }
};

// Key derivation costs a thousand HMAC rounds per AES entry. The prefetcher
// reads each selected AES entry's salt through its own file handle and
// derives the keys for the current password on a second thread, in the order
// the run visits the entries; the run takes a result only when password and
// salt are the ones it checks.
class TUnZipper::TKeyPrefetcher {
public:
    struct Job {
        int index;
        uint64_t offset;
        int keyLen;
    };
    struct Result {
        uint8_t salt[16];
        uint8_t derived[66];
        bool ok = false;
    };

    TKeyPrefetcher(std::u16string archive, std::string password, std::vector<Job> jobs)
        : archive_(std::move(archive)), password_(std::move(password)), jobs_(std::move(jobs)) {
        worker_ = std::thread([this] { Work(); });
    }
    ~TKeyPrefetcher() {
        {
            std::lock_guard<std::mutex> lock(mutex_);
            stop_ = true;
        }
        wake_.notify_all();
        worker_.join();
    }
    // Waits for the result of entry `index`; false when there is none.
    bool Take(int index, const std::string& password, const uint8_t* salt, int saltLen, uint8_t* derived, int len) {
        if (password != password_) return false;
        std::unique_lock<std::mutex> lock(mutex_);
        bool known = false;
        for (auto& j : jobs_) known = known || j.index == index;
        if (!known) return false;
        wake_.wait(lock, [&] { return results_.count(index) || finished_; });
        auto it = results_.find(index);
        if (it == results_.end() || !it->second.ok || std::memcmp(it->second.salt, salt, saltLen) != 0) return false;
        std::memcpy(derived, it->second.derived, len);
        return true;
    }

private:
    void Work() {
        try {
            platform::TFileStream file(archive_, platform::fmOpenRead | platform::fmShareDenyNone);
            for (auto& job : jobs_) {
                {
                    std::lock_guard<std::mutex> lock(mutex_);
                    if (stop_) break;
                }
                Result r;
                local_file_header lrec;
                int saltLen = job.keyLen / 2;
                file.Seek(static_cast<int64_t>(job.offset & 0x7FFFFFFFFFFFFFFFull), platform::soBeginning);
                if (file.Read(&lrec, 30) == 30) {
                    file.Seek(lrec.filename_length + lrec.extra_field_length, platform::soCurrent);
                    r.ok = file.Read(r.salt, saltLen) == saltLen && password_.size() <= 128 &&
                           platform::Pbkdf2HmacSha1(password_.data(), password_.size(), r.salt,
                                                    static_cast<size_t>(saltLen), 1000, r.derived,
                                                    static_cast<size_t>(2 * job.keyLen + 2));
                }
                std::lock_guard<std::mutex> lock(mutex_);
                results_[job.index] = r;
                wake_.notify_all();
            }
        } catch (...) {
            // Without results the run derives every key itself.
        }
        std::lock_guard<std::mutex> lock(mutex_);
        finished_ = true;
        wake_.notify_all();
    }

    std::u16string archive_;
    std::string password_;
    std::vector<Job> jobs_;
    std::mutex mutex_;
    std::condition_variable wake_;
    std::map<int, Result> results_;
    bool stop_ = false;
    bool finished_ = false;
    std::thread worker_;
};

void TUnZipper::StartKeyPrefetch() {
    FPrefetch.reset();
    if (FArchiveStream || MultiMode != mmNone || !files) return;
    std::vector<TKeyPrefetcher::Job> jobs;
    TSortedZip& list = sortlist();
    for (int i = 0; i < list.Count(); ++i) {
        TZipHeaderInfo& e = *list.Entry(i);
        if (!e.MatchFlag || e.IsFolder() || e.EncryptionStrength == esPKStandard) continue;
        int keyLen = AesKeyLength(e.EncryptionStrength);
        jobs.push_back({i, e.RelativeOffset(), keyLen});
    }
    // One entry gains nothing from a second thread.
    if (jobs.size() < 2) return;
    FPrefetch = std::make_unique<TKeyPrefetcher>(FZipName, Password, std::move(jobs));
}

void TUnZipper::StopKeyPrefetch() { FPrefetch.reset(); }

// Made and destroyed here, where the AES context is a complete type.
TUnZipper::TUnZipper() = default;

TUnZipper::~TUnZipper() {
    try {
        ClearZip();
    } catch (...) {
    }
}

// ---------------------------------------------------------------- traditional keys

void TUnZipper::InitKeys(const std::string& pwd) {
    FKeys[0] = 0x12345678;
    FKeys[1] = 0x23456789;
    FKeys[2] = 0x34567890;
    for (unsigned char c : pwd) UpdateKeys(c);
}

void TUnZipper::UpdateKeys(uint8_t c) {
    FKeys[0] = CrcStep(FKeys[0], c);
    FKeys[1] = (FKeys[1] + (FKeys[0] & 0xFF)) * 134775813u + 1;
    FKeys[2] = CrcStep(FKeys[2], static_cast<uint8_t>(FKeys[1] >> 24));
}

uint8_t TUnZipper::DecryptByte() const {
    uint32_t t = (FKeys[2] & 0xFFFF) | 2;
    return static_cast<uint8_t>((t * (t ^ 1)) >> 8);
}

uint8_t TUnZipper::DecryptHeaderByte(const std::string& Passwrd, const uint8_t dh[12]) {
    InitKeys(Passwrd);
    uint8_t plain = 0;
    for (int i = 0; i < 12; ++i) {
        plain = static_cast<uint8_t>(dh[i] ^ DecryptByte());
        UpdateKeys(plain);
    }
    return plain;
}

void TUnZipper::GetDecryptHeaderPtr(int Index, uint8_t* dhPtr) {
    TZipHeaderInfo& e = Entry(Index);
    std::memset(dhPtr, 0, 12);
    if (!e.Encrypted()) return;
    bool wasOpen = FZipStream != nullptr;
    OpenArchive();
    TDecodeState st;
    st.entry = &e;
    SeekEntryData(st, e.RelativeOffset());
    local_file_header lrec{};
    if (ReadArchive(&lrec, 30) == 30) {
        FZipStream->Seek(lrec.filename_length + lrec.extra_field_length, platform::soCurrent);
        ReadArchive(dhPtr, 12);
    }
    if (!wasOpen && !KeepZipOpen && !FArchiveStream) CloseArchive();
}

void TUnZipper::decrypt_buff(uint8_t* bufptr, uint32_t num_to_decrypt) {
    if (FCurrentEntry && FCurrentEntry->EncryptionStrength != esPKStandard) {
        if (FAes) FAes->Decrypt(bufptr, num_to_decrypt);
        return;
    }
    for (uint32_t i = 0; i < num_to_decrypt; ++i) {
        uint8_t plain = static_cast<uint8_t>(bufptr[i] ^ DecryptByte());
        UpdateKeys(plain);
        bufptr[i] = plain;
    }
}

// ---------------------------------------------------------------- reading

void TUnZipper::SeekEntryData(TDecodeState& st, uint64_t offset) {
    if (MultiMode != mmNone && static_cast<int>(st.entry->DiskNumberStart()) != FCurrentDisk)
        OpenDisk(static_cast<int>(st.entry->DiskNumberStart()) + 1);
    FZipStream->Seek(static_cast<int64_t>(offset & 0x7FFFFFFFFFFFFFFFull), platform::soBeginning);
}

int64_t TUnZipper::FillInput(TDecodeState& st) {
    st.inpos = st.incnt = 0;
    if (st.csize == 0) return 0;
    if (DoProcessMessages) ProcessMessages();
    uint32_t n = static_cast<uint32_t>(std::min<uint64_t>(32768, st.csize));
    if (ReadArchive(FInBuf.data(), n) < n) throw EFatalUnzipError(texts::kPrematureEnd);
    st.csize -= n;
    if (st.entry->Encrypted() && !EncryptBeforeCompress) {
        if (OnDecrypt) OnDecrypt(this, FInBuf.data(), static_cast<int>(n), Password);
        else decrypt_buff(FInBuf.data(), n);
    }
    st.incnt = n;
    return n;
}

// One check of the current password; asking for another one is the driver's
// (ExtractOneEntry), for the header checks here and for damage found later alike.
bool TUnZipper::CheckPassword(TDecodeState& st) {
    TZipHeaderInfo& e = *st.entry;
    if (e.EncryptionStrength == esPKStandard) {
        uint8_t check = e.HasDescriptor() ? static_cast<uint8_t>((e.last_mod_file_date_time & 0xFFFF) >> 8)
                                          : static_cast<uint8_t>(e.crc32 >> 24);
        uint8_t header[12];
        SeekEntryData(st, st.dataStart);
        if (ReadArchive(header, 12) < 12) throw EFatalUnzipError(texts::kPrematureEnd);
        if (DecryptHeaderByte(Password, header) != check && Tag == 0) return false;
        st.csize = st.csize >= 12 ? st.csize - 12 : 0;
        st.dataStart += 12;
        return true;
    }
    // WinZip AES.
    int keyLen = AesKeyLength(e.EncryptionStrength);
    int saltLen = keyLen / 2;
    uint8_t salt[16], verifier[2];
    SeekEntryData(st, st.dataStart);
    if (ReadArchive(salt, saltLen) < saltLen || ReadArchive(verifier, 2) < 2)
        throw EFatalUnzipError(texts::kPrematureEnd);
    if (!FAes) FAes = std::make_unique<TAesContext>();
    uint8_t derived[66];
    int len = 2 * keyLen + 2;
    bool derivedOk = FPrefetch && FPrefetch->Take(st.index, Password, salt, saltLen, derived, len);
    if (!derivedOk)
        derivedOk = Password.size() <= 128 &&
                    platform::Pbkdf2HmacSha1(Password.data(), Password.size(), salt,
                                             static_cast<size_t>(saltLen), 1000, derived,
                                             static_cast<size_t>(len));
    bool ok = derivedOk && derived[2 * keyLen] == verifier[0] && derived[2 * keyLen + 1] == verifier[1];
    if (!ok) return false;
    FAes->Start(derived, keyLen, derived + keyLen);
    uint64_t overhead = static_cast<uint64_t>(saltLen) + 12;
    st.csize = st.csize >= overhead ? st.csize - overhead : 0;
    st.dataStart += static_cast<uint64_t>(saltLen) + 2;
    st.aes = true;
    st.skipCrc = e.AES_Extra && e.AES_Extra->Version == 2;
    return true;
}

bool TUnZipper::AesCodeAgrees(TDecodeState& st) {
    uint8_t calc[10], stored[10];
    FAes->Code(calc);
    // Skip what the decoder left unread, then read the stored code.
    if (st.csize > 0) FZipStream->Seek(static_cast<int64_t>(st.csize), platform::soCurrent);
    return ReadArchive(stored, 10) == 10 && std::memcmp(calc, stored, 10) == 0;
}

// ---------------------------------------------------------------- output sink

void TUnZipper::EmitOutput(TDecodeState& st, uint8_t* data, uint32_t n) {
    if (n == 0) return;
    TZipHeaderInfo& e = *st.entry;
    if (e.Encrypted() && !Password.empty() && (EncryptBeforeCompress || e.compression_method == 0)) {
        if (EncryptBeforeCompress && OnDecrypt) OnDecrypt(this, data, static_cast<int>(n), Password);
        else decrypt_buff(data, n);
    }
    uint64_t size = e.UncompressedSize();
    auto target = static_cast<TTarget>(st.target);
    if (st.done + n > size)
        throw EBiggerThanUncompressed(texts::kBiggerThanUncompressed);
    if (target == TTarget::File || target == TTarget::Stream) {
        if (st.out->Write(data, n) != n) throw ECantWriteUCF(texts::kCantWriteUCF);
    } else if (target == TTarget::Buffer) {
        std::vector<uint8_t>& buf = *st.buffer;
        if (BufferLength == 0) {
            if (st.outPos + n > buf.size()) throw EBiggerThanUncompressed(texts::kBiggerThanUncompressed);
            std::memcpy(buf.data() + st.outPos, data, n);
            st.outPos += n;
        } else {
            uint32_t taken = 0;
            while (taken < n) {
                if (buf.size() < BufferLength) buf.resize(BufferLength);
                uint32_t room = static_cast<uint32_t>(BufferLength - st.amountUsed);
                uint32_t k = std::min(room, n - taken);
                std::memcpy(buf.data() + st.amountUsed, data + taken, k);
                st.amountUsed += k;
                taken += k;
                bool last = st.done + taken == size;
                if (st.amountUsed == BufferLength && !last) {
                    bool quit = false;
                    if (OnGetNextBuffer) OnGetNextBuffer(this, buf, st.fname, static_cast<int64_t>(st.amountUsed), st.bufferNum, quit);
                    ++st.bufferNum;
                    st.amountUsed = 0;
                    if (quit) throw ECanceledUnzipToBuffer(texts::kCanceledBufferUnzip);
                }
            }
        }
    }
    if (!st.skipCrc) st.crc = static_cast<uint32_t>(::crc32(st.crc, data, n));
    st.done += n;
    if (OnFilePercentDone) OnFilePercentDone(this, Percent(st.done, size));
    FTotalBytesDone += n;
    if (OnTotalPercentDone)
        OnTotalPercentDone(this, FTotalUncompressedSize > 0
                                     ? Percent(static_cast<uint64_t>(FTotalBytesDone), static_cast<uint64_t>(FTotalUncompressedSize))
                                     : 0);
}

// ---------------------------------------------------------------- decoders

void TUnZipper::DecodeStored(TDecodeState& st) {
    while (st.csize > 0) {
        if (DoProcessMessages) ProcessMessages();
        uint32_t n = static_cast<uint32_t>(std::min<uint64_t>(32768, st.csize));
        if (ReadArchive(FOutBuf.data(), n) < n) throw EFatalUnzipError(texts::kPrematureEnd);
        st.csize -= n;
        st.remaining -= n;
        EmitOutput(st, FOutBuf.data(), n);
    }
}

void TUnZipper::DecodeDeflated(TDecodeState& st) {
    z_stream zs{};
    if (inflateInit2_(&zs, -15, "1.2.3", static_cast<int>(sizeof(z_stream))) < 0)
        throw EZDecompressionError(texts::kZlibError);
    struct Ender {
        z_stream* zs;
        bool ended = false;
        ~Ender() {
            if (!ended) inflateEnd(zs);
        }
    } ender{&zs};
    int64_t n = FillInput(st);
    st.remaining -= n;
    zs.next_in = FInBuf.data();
    zs.avail_in = static_cast<uInt>(n);
    zs.next_out = FOutBuf.data();
    zs.avail_out = 32768;
    for (;;) {
        if (zs.avail_in == 0) {
            n = FillInput(st);
            st.remaining -= n;
            zs.next_in = FInBuf.data();
            zs.avail_in = static_cast<uInt>(n);
        }
        int r = inflate(&zs, Z_NO_FLUSH);
        if (r < 0 || r == Z_NEED_DICT) throw EZDecompressionError(texts::kZlibError);
        if (zs.avail_out == 0 || r == Z_STREAM_END) {
            uint32_t produced = 32768 - zs.avail_out;
            zs.next_out = FOutBuf.data();
            zs.avail_out = 32768;
            EmitOutput(st, FOutBuf.data(), produced);
        }
        if (r == Z_STREAM_END) break;
    }
    ender.ended = true;
    if (inflateEnd(&zs) < 0) throw EZDecompressionError(texts::kZlibError);
}

void TUnZipper::Decode(TDecodeState& st) {
    FCurrentEntry = st.entry;
    st.crc = 0;
    st.done = 0;
    st.outPos = 0;
    st.amountUsed = 0;
    st.bufferNum = 0;
    st.bitbuf = 0;
    st.bitcnt = 0;
    st.inputEnded = false;
    st.inpos = st.incnt = 0;
    st.remaining = static_cast<int64_t>(std::min<uint64_t>(st.csize, INT64_MAX));
    SeekEntryData(st, st.dataStart);
    if (!MethodSupported(st.entry->compression_method)) {
        st.unknownMethod = true;
        if (static_cast<TTarget>(st.target) != TTarget::Test)
            HandleMessage(texts::kMsgUnknownMethod, AsciiToText(texts::kUnknownMethod), AsciiToText(texts::kZipError), MB_OK);
        return;
    }
    switch (st.entry->compression_method) {
        case 0: DecodeStored(st); break;
        case 1: DecodeShrunk(st); break;
        case 2: case 3: case 4: case 5: DecodeReduced(st); break;
        case 6: DecodeImploded(st); break;
        case 8: DecodeDeflated(st); break;
    }
    // The last piece of a memory buffer filled in pieces.
    if (static_cast<TTarget>(st.target) == TTarget::Buffer && BufferLength > 0 && st.amountUsed > 0) {
        bool quit = false;
        if (OnGetNextBuffer) OnGetNextBuffer(this, *st.buffer, st.fname, static_cast<int64_t>(st.amountUsed), st.bufferNum, quit);
        ++st.bufferNum;
        st.amountUsed = 0;
    }
}

}  // namespace unzip
