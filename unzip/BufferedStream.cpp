#include "unzip/BufferedStream.h"

#include <algorithm>
#include <cstdio>
#include <cstring>

#include "unzip/ZipTexts.h"

namespace unzip {

using platform::TSeekOrigin;

TBufferedStream::TBufferedStream(platform::TStream* Stream, uint32_t BufferSize)
    : fStream(Stream), fBuffer(BufferSize ? BufferSize : 1), fBufSize(BufferSize ? BufferSize : 1) {}

TBufferedStream::~TBufferedStream() { FinishWriting(); }

void TBufferedStream::FinishWriting() noexcept {
    if (fFinished) return;
    fFinished = true;
    try {
        if (fState == bsWrite) FlushBuffer();
        if (FlushOnDestroy && fWritten) {
            if (auto* handle = dynamic_cast<platform::THandleStream*>(fStream)) handle->Flush();
        }
    } catch (...) {
        // A destructor cannot report; a caller who cares closes explicitly.
    }
}

int64_t TBufferedStream::UnderPos() {
    if (fUnderPos < 0) fUnderPos = fStream->Seek(0, platform::soCurrent);
    return fUnderPos;
}

bool TBufferedStream::FillBuffer() {
    UnderPos();
    int64_t got = fStream->Read(fBuffer.data(), fBufSize);
    if (got < 0) got = 0;
    fUnderPos += got;
    fBufPtr = 0;
    fBufEnd = static_cast<uint32_t>(got);
    fState = got > 0 ? bsRead : bsUnknown;
    DoFillBuffer();
    return got > 0;
}

bool TBufferedStream::FlushBuffer() {
    uint32_t waiting = fBufPtr;
    UnderPos();
    int64_t put = waiting ? fStream->Write(fBuffer.data(), waiting) : 0;
    if (put > 0) fUnderPos += put;
    fBufPtr = 0;
    fBufEnd = 0;
    fState = bsUnknown;
    DoFlushBuffer();
    return put == waiting;
}

void TBufferedStream::DoFillBuffer() {
    if (OnFillBuffer) OnFillBuffer(this);
}

void TBufferedStream::DoFlushBuffer() {
    if (OnFlushBuffer) OnFlushBuffer(this);
}

int64_t TBufferedStream::Read(void* Buffer, int64_t Count) {
    if (fState == bsWrite) FlushBuffer();
    auto* out = static_cast<uint8_t*>(Buffer);
    int64_t done = 0;
    while (done < Count) {
        if (fState != bsRead || fBufPtr >= fBufEnd) {
            // Large reads bypass the buffer once it is used up.
            if (Count - done >= fBufSize) {
                UnderPos();
                int64_t got = fStream->Read(out + done, Count - done);
                if (got > 0) fUnderPos += got;
                fState = bsUnknown;
                fBufPtr = fBufEnd = 0;
                if (got > 0) done += got;
                break;
            }
            if (!FillBuffer()) break;
        }
        int64_t n = std::min<int64_t>(Count - done, fBufEnd - fBufPtr);
        std::memcpy(out + done, fBuffer.data() + fBufPtr, static_cast<size_t>(n));
        fBufPtr += static_cast<uint32_t>(n);
        done += n;
    }
    return done;
}

int64_t TBufferedStream::Write(const void* Buffer, int64_t Count) {
    if (fState == bsRead) {
        // Resynchronise the underlying position with the logical one.
        int64_t unread = fBufEnd - fBufPtr;
        if (unread) fUnderPos = fStream->Seek(UnderPos() - unread, platform::soBeginning);
        fState = bsUnknown;
    }
    if (fState != bsWrite) {
        fBufPtr = 0;
        fBufEnd = fBufSize;
    }
    const auto* in = static_cast<const uint8_t*>(Buffer);
    int64_t done = 0;
    if (fBufPtr == 0 && Count >= fBufSize) {
        // Whole buffers go straight through; only the rest is kept back.
        int64_t whole = Count - Count % fBufSize;
        UnderPos();
        int64_t put = fStream->Write(in, whole);
        if (put > 0) {
            fWritten = true;
            fUnderPos += put;
        }
        if (put != whole) return put < 0 ? 0 : put;
        done = whole;
    }
    while (done < Count) {
        int64_t n = std::min<int64_t>(Count - done, fBufEnd - fBufPtr);
        std::memcpy(fBuffer.data() + fBufPtr, in + done, static_cast<size_t>(n));
        fBufPtr += static_cast<uint32_t>(n);
        done += n;
        fState = bsWrite;
        fWritten = true;
        if (fBufPtr >= fBufEnd) {
            if (!FlushBuffer()) break;
            fBufPtr = 0;
            fBufEnd = fBufSize;
        }
    }
    if (fBufPtr > 0) fState = bsWrite;
    return done;
}

int64_t TBufferedStream::Seek(int64_t Offset, TSeekOrigin Origin) {
    int64_t underlying = UnderPos();
    int64_t logical = underlying;
    if (fState == bsRead) logical -= fBufEnd - fBufPtr;
    if (fState == bsWrite) logical += fBufPtr;
    int64_t target;
    switch (Origin) {
        case platform::soBeginning: target = Offset; break;
        case platform::soCurrent: target = logical + Offset; break;
        case platform::soEnd: {
            int64_t end = std::max(logical, fStream->GetSize());
            target = end - (Offset < 0 ? -Offset : Offset);
            break;
        }
        default: {
            char text[64];
            std::snprintf(text, sizeof text, texts::kInvalidSeekOrigin, static_cast<int>(Origin));
            throw platform::Exception(text);
        }
    }
    if (target == logical) return target;
    if (fState == bsWrite && !FlushBuffer()) throw platform::Exception(texts::kSeekError);
    fUnderPos = -1;
    fUnderPos = fStream->Seek(target, platform::soBeginning);
    fState = bsUnknown;
    fBufPtr = fBufEnd = 0;
    return target;
}

int64_t TBufferedStream::GetSize() {
    int64_t logical = UnderPos() + (fState == bsWrite ? fBufPtr : 0);
    int64_t size = fStream->GetSize();
    return std::max(logical, size);
}

void TBufferedStream::PutBack(uint8_t Ch) {
    if (fState != bsRead || fBufPtr == 0) throw platform::EStreamError(texts::kPutbackOverflow);
    fBuffer[--fBufPtr] = Ch;
}

bool TBufferedStream::IsEof() {
    if (fState == bsRead && fBufPtr < fBufEnd) return false;
    return UnderPos() == fStream->GetSize();
}

TBufferedFileStream::TBufferedFileStream(std::unique_ptr<platform::TFileStream> file, uint32_t BufSize)
    : TBufferedStream(file.get(), BufSize), theFile(std::move(file)) {}

std::unique_ptr<TBufferedFileStream> TBufferedFileStream::CreateFile(const std::u16string& FileName,
                                                                     uint16_t Mode, bool FlushOut,
                                                                     uint32_t BufSize) {
    auto file = std::make_unique<platform::TFileStream>(FileName, Mode);
    std::unique_ptr<TBufferedFileStream> stream(new TBufferedFileStream(std::move(file), BufSize));
    stream->FlushOnDestroy = FlushOut && (Mode & 3) != 0;
    return stream;
}

TBufferedFileStream::~TBufferedFileStream() {
    // The file must still be open while the last block is written.
    FinishWriting();
}

int64_t TBufferedFileStream::GetSize() {
    int64_t position = Seek(0, platform::soCurrent);
    int64_t size = Seek(0, platform::soEnd);
    Seek(position, platform::soBeginning);
    return size;
}

void TBufferedFileStream::SetSize(int64_t NewSize) {
    if (fState == bsWrite) FlushBuffer();
    if (fState == bsRead) {
        int64_t logical = UnderPos() - (fBufEnd - fBufPtr);
        fState = bsUnknown;
        fBufPtr = fBufEnd = 0;
        fUnderPos = fStream->Seek(logical, platform::soBeginning);
    }
    theFile->SetSize(NewSize);
    fUnderPos = -1;
}

}  // namespace unzip
