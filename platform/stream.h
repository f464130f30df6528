// Byte streams: the abstract TStream every subsystem reads and writes through,
// a growable memory stream and a file stream over a system file handle (a
// POSIX descriptor on Linux, a Win32 file handle on Windows).
//
// File share modes are the system's own on Windows. On Linux they are
// emulated with advisory flock() locks so that two users of this layer see
// each other: a mode that denies writers takes a shared lock when opened
// read-only and an exclusive lock when opened for writing; fmShareDenyNone
// takes none. A conflicting lock makes the open fail.
#pragma once

#include <cstdint>
#include <memory>
#include <string>

#include "platform/exception.h"

namespace platform {

enum TSeekOrigin : int { soBeginning = 0, soCurrent = 1, soEnd = 2 };

class EStreamError : public Exception {
public:
    using Exception::Exception;
};
class EReadError : public EStreamError {
public:
    using EStreamError::EStreamError;
};
class EWriteError : public EStreamError {
public:
    using EStreamError::EStreamError;
};
class EFOpenError : public EStreamError {
public:
    using EStreamError::EStreamError;
};
class EFCreateError : public EStreamError {
public:
    using EStreamError::EStreamError;
};

class TStream {
public:
    virtual ~TStream() = default;

    // Reads up to `count` bytes; returns how many came (fewer only at the
    // end). A stream that fails to read (a folder, an I/O error) raises
    // EReadError "Stream read error. <system message>".
    virtual int64_t Read(void* buffer, int64_t count) = 0;
    // Writes up to `count` bytes; returns how many were taken.
    virtual int64_t Write(const void* buffer, int64_t count) = 0;
    // Moves the position; returns the new position.
    virtual int64_t Seek(int64_t offset, TSeekOrigin origin) = 0;
    // The size; the default seeks to the end and back.
    virtual int64_t GetSize();
    // Changes the size; streams that cannot raise EStreamError.
    virtual void SetSize(int64_t newSize);

    int64_t GetPosition() { return Seek(0, soCurrent); }
    void SetPosition(int64_t position) { Seek(position, soBeginning); }

    // Whole transfers: raise EReadError "Stream read error" or EWriteError
    // "Stream write error" when fewer bytes move than asked.
    void ReadBuffer(void* buffer, int64_t count);
    void WriteBuffer(const void* buffer, int64_t count);
    // Copies `count` bytes from `source` at its position; count 0 copies the
    // whole source from its beginning. Returns the bytes copied.
    int64_t CopyFrom(TStream& source, int64_t count);
};

// A stream in memory. Growth never zero-fills bytes that are then written.
class TMemoryStream : public TStream {
public:
    TMemoryStream() = default;
    ~TMemoryStream() override;
    TMemoryStream(const TMemoryStream&) = delete;
    TMemoryStream& operator=(const TMemoryStream&) = delete;

    int64_t Read(void* buffer, int64_t count) override;
    int64_t Write(const void* buffer, int64_t count) override;
    int64_t Seek(int64_t offset, TSeekOrigin origin) override;
    int64_t GetSize() override { return size_; }
    void SetSize(int64_t newSize) override;

    void Clear();
    uint8_t* Memory() { return data_; }
    const uint8_t* Memory() const { return data_; }
    std::string_view View() const {
        return {reinterpret_cast<const char*>(data_), static_cast<size_t>(size_)};
    }
    void SaveToFile(const std::string& fileName);
    void LoadFromFile(const std::string& fileName);

private:
    void Reserve(int64_t capacity);
    uint8_t* data_ = nullptr;
    int64_t size_ = 0;
    int64_t capacity_ = 0;
    int64_t position_ = 0;
};

// Open modes: one access value OR one share value, or fmCreate.
enum : uint16_t {
    fmOpenRead = 0x0000,
    fmOpenWrite = 0x0001,
    fmOpenReadWrite = 0x0002,
    fmShareCompat = 0x0000,
    fmShareExclusive = 0x0010,
    fmShareDenyWrite = 0x0020,
    fmShareDenyRead = 0x0030,
    fmShareDenyNone = 0x0040,
    fmCreate = 0xFF00,  // create or truncate, read-write, exclusive
};

// A stream over an open file handle (owned): a descriptor on Linux, a Win32
// HANDLE on Windows (kernel handles fit in an int there).
class THandleStream : public TStream {
public:
    explicit THandleStream(int handle) : handle_(handle) {}
    ~THandleStream() override;
    THandleStream(const THandleStream&) = delete;
    THandleStream& operator=(const THandleStream&) = delete;

    int64_t Read(void* buffer, int64_t count) override;
    int64_t Write(const void* buffer, int64_t count) override;
    int64_t Seek(int64_t offset, TSeekOrigin origin) override;
    void SetSize(int64_t newSize) override;
    int Handle() const { return handle_; }
    // Forces written data to the disk (fsync, FlushFileBuffers).
    bool Flush();

protected:
    int handle_;
};

// A file opened by name. Failures raise EFCreateError
// "Cannot create file "<name>". <system message>" for fmCreate and
// EFOpenError "Cannot open file "<name>". <system message>" otherwise.
class TFileStream : public THandleStream {
public:
    TFileStream(const std::string& fileName, uint16_t mode);
    TFileStream(const std::u16string& fileName, uint16_t mode);
    const std::string& FileName() const { return fileName_; }

private:
    std::string fileName_;
};

// A stream reading the program's standard input (a handle of its own, so
// the stream may close it); empty when there is none.
std::unique_ptr<THandleStream> StandardInputStream();

}  // namespace platform
