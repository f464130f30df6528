// A block buffer in front of any stream, so that the many small reads of
// header parsing and the position queries of the reader cost no system call.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "platform/stream.h"

namespace unzip {

enum TBufferState { bsUnknown, bsRead, bsWrite };

class TBufferedStream : public platform::TStream {
public:
    using TNotifyEvent = std::function<void(TBufferedStream* Sender)>;

    // The stream is not owned.
    TBufferedStream(platform::TStream* Stream, uint32_t BufferSize);
    ~TBufferedStream() override;
    TBufferedStream(const TBufferedStream&) = delete;
    TBufferedStream& operator=(const TBufferedStream&) = delete;

    int64_t Read(void* Buffer, int64_t Count) override;
    int64_t Write(const void* Buffer, int64_t Count) override;
    int64_t Seek(int64_t Offset, platform::TSeekOrigin Origin) override;
    int64_t GetSize() override;

    virtual bool FillBuffer();
    virtual bool FlushBuffer();
    virtual void PutBack(uint8_t Ch);
    bool IsEof();

    bool FlushOnDestroy = false;
    TNotifyEvent OnFillBuffer;
    TNotifyEvent OnFlushBuffer;

protected:
    virtual void DoFillBuffer();
    virtual void DoFlushBuffer();
    // Writes what waits in the buffer and forces it to disk when asked; used
    // by destructors, which must not throw.
    void FinishWriting() noexcept;

    platform::TStream* fStream;
    std::vector<uint8_t> fBuffer;
    uint32_t fBufPtr = 0;
    uint32_t fBufEnd = 0;
    uint32_t fBufSize;
    TBufferState fState = bsUnknown;
    // The underlying stream's position as last seen (-1: not yet asked), so
    // that position queries cost no call on it.
    int64_t fUnderPos = -1;
    int64_t UnderPos();
    bool fWritten = false;
    bool fFinished = false;
};

// A buffered stream over a file it opens and owns.
class TBufferedFileStream : public TBufferedStream {
public:
    static std::unique_ptr<TBufferedFileStream> CreateFile(const std::u16string& FileName,
                                                           uint16_t Mode, bool FlushOut,
                                                           uint32_t BufSize);
    ~TBufferedFileStream() override;

    int Handle() const { return theFile->Handle(); }
    int64_t GetSize() override;
    void SetSize(int64_t NewSize) override;

private:
    TBufferedFileStream(std::unique_ptr<platform::TFileStream> file, uint32_t BufSize);
    std::unique_ptr<platform::TFileStream> theFile;
};

}  // namespace unzip
