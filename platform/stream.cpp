#include "platform/stream.h"

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <new>

#include "platform/codepage.h"

namespace platform {

int64_t TStream::GetSize() {
    int64_t position = Seek(0, soCurrent);
    int64_t size = Seek(0, soEnd);
    Seek(position, soBeginning);
    return size;
}

void TStream::SetSize(int64_t) { throw EStreamError("Stream size cannot be changed"); }

void TStream::ReadBuffer(void* buffer, int64_t count) {
    if (count != 0 && Read(buffer, count) != count) throw EReadError("Stream read error");
}

void TStream::WriteBuffer(const void* buffer, int64_t count) {
    if (count != 0 && Write(buffer, count) != count) throw EWriteError("Stream write error");
}

int64_t TStream::CopyFrom(TStream& source, int64_t count) {
    if (count == 0) {
        source.SetPosition(0);
        count = source.GetSize();
    }
    constexpr int64_t kBlock = 61440;
    std::unique_ptr<uint8_t[]> block(new uint8_t[static_cast<size_t>(std::min(count, kBlock)) + 1]);
    int64_t left = count;
    while (left > 0) {
        int64_t n = std::min(left, kBlock);
        source.ReadBuffer(block.get(), n);
        WriteBuffer(block.get(), n);
        left -= n;
    }
    return count;
}

// ---- TMemoryStream ----

TMemoryStream::~TMemoryStream() { std::free(data_); }

void TMemoryStream::Reserve(int64_t capacity) {
    if (capacity <= capacity_) return;
    int64_t grown = std::max<int64_t>(capacity, capacity_ + capacity_ / 2);
    grown = (grown + 0x1FFF) & ~int64_t(0x1FFF);
    auto* p = static_cast<uint8_t*>(std::realloc(data_, static_cast<size_t>(grown)));
    if (p == nullptr) throw std::bad_alloc();
    data_ = p;
    capacity_ = grown;
}

int64_t TMemoryStream::Read(void* buffer, int64_t count) {
    if (count <= 0 || position_ >= size_) return 0;
    int64_t n = std::min(count, size_ - position_);
    std::memcpy(buffer, data_ + position_, static_cast<size_t>(n));
    position_ += n;
    return n;
}

int64_t TMemoryStream::Write(const void* buffer, int64_t count) {
    if (count <= 0 || position_ < 0) return 0;
    int64_t end = position_ + count;
    if (end > size_) {
        Reserve(end);
        if (position_ > size_) std::memset(data_ + size_, 0, static_cast<size_t>(position_ - size_));
        size_ = end;
    }
    std::memcpy(data_ + position_, buffer, static_cast<size_t>(count));
    position_ = end;
    return count;
}

int64_t TMemoryStream::Seek(int64_t offset, TSeekOrigin origin) {
    switch (origin) {
        case soBeginning: position_ = offset; break;
        case soCurrent: position_ += offset; break;
        case soEnd: position_ = size_ + offset; break;
    }
    return position_;
}

void TMemoryStream::SetSize(int64_t newSize) {
    if (newSize < 0) newSize = 0;
    int64_t old = size_;
    Reserve(newSize);
    if (newSize > old) std::memset(data_ + old, 0, static_cast<size_t>(newSize - old));
    size_ = newSize;
    if (position_ > size_) position_ = size_;
}

void TMemoryStream::Clear() {
    std::free(data_);
    data_ = nullptr;
    size_ = capacity_ = position_ = 0;
}

void TMemoryStream::SaveToFile(const std::string& fileName) {
    TFileStream file(fileName, fmCreate);
    file.WriteBuffer(data_, size_);
}

void TMemoryStream::LoadFromFile(const std::string& fileName) {
    TFileStream file(fileName, fmOpenRead | fmShareDenyWrite);
    int64_t size = file.GetSize();
    SetSize(size);
    position_ = 0;
    file.ReadBuffer(data_, size);
}

// ---- THandleStream ----

THandleStream::~THandleStream() {
    if (handle_ >= 0) ::close(handle_);
}

int64_t THandleStream::Read(void* buffer, int64_t count) {
    int64_t done = 0;
    auto* p = static_cast<uint8_t*>(buffer);
    while (done < count) {
        ssize_t n = ::read(handle_, p + done, static_cast<size_t>(count - done));
        if (n < 0 && errno == EINTR) continue;
        if (n < 0) throw EReadError((std::string("Stream read error. ") + std::strerror(errno)).c_str());
        if (n == 0) break;
        done += n;
    }
    return done;
}

int64_t THandleStream::Write(const void* buffer, int64_t count) {
    int64_t done = 0;
    auto* p = static_cast<const uint8_t*>(buffer);
    while (done < count) {
        ssize_t n = ::write(handle_, p + done, static_cast<size_t>(count - done));
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) break;
        done += n;
    }
    return done;
}

int64_t THandleStream::Seek(int64_t offset, TSeekOrigin origin) {
    int whence = origin == soBeginning ? SEEK_SET : origin == soCurrent ? SEEK_CUR : SEEK_END;
    off_t r = ::lseek(handle_, static_cast<off_t>(offset), whence);
    return r < 0 ? -1 : static_cast<int64_t>(r);
}

void THandleStream::SetSize(int64_t newSize) {
    int64_t position = Seek(0, soCurrent);
    if (::ftruncate(handle_, static_cast<off_t>(newSize)) != 0)
        throw EStreamError((std::string("Stream size cannot be changed. ") + std::strerror(errno)).c_str());
    if (position > newSize) Seek(newSize, soBeginning);
}

bool THandleStream::Flush() { return ::fsync(handle_) == 0; }

// ---- TFileStream ----

namespace {

int OpenWithMode(const std::string& name, uint16_t mode) {
    int flags = O_CLOEXEC;
    bool writing;
    if (mode == fmCreate) {
        flags |= O_RDWR | O_CREAT | O_TRUNC;
        writing = true;
    } else {
        switch (mode & 3) {
            case fmOpenWrite: flags |= O_WRONLY; writing = true; break;
            case fmOpenReadWrite: flags |= O_RDWR; writing = true; break;
            default: flags |= O_RDONLY; writing = false; break;
        }
    }
    // Check the share lock before truncating: open without O_TRUNC first.
    int fd = ::open(name.c_str(), flags & ~O_TRUNC, 0666);
    if (fd < 0) return -1;
    uint16_t share = mode == fmCreate ? fmShareExclusive : (mode & 0xF0);
    if (share != fmShareDenyNone) {
        int lock = writing ? LOCK_EX : LOCK_SH;
        if (::flock(fd, lock | LOCK_NB) != 0) {
            int saved = errno == EWOULDBLOCK ? EBUSY : errno;
            ::close(fd);
            errno = saved;
            return -1;
        }
    }
    // Only regular files are truncated: devices such as /dev/null have no size.
    struct stat info {};
    const bool regular = ::fstat(fd, &info) == 0 && S_ISREG(info.st_mode);
    if ((flags & O_TRUNC) && regular && ::ftruncate(fd, 0) != 0) {
        int saved = errno;
        ::close(fd);
        errno = saved;
        return -1;
    }
    return fd;
}

std::string OpenErrorText(int err) {
    // The lock conflict reads as the sharing violation it stands for.
    if (err == EBUSY) return "The process cannot access the file because it is being used by another process";
    return std::strerror(err);
}

}  // namespace

TFileStream::TFileStream(const std::string& fileName, uint16_t mode)
    : THandleStream(OpenWithMode(fileName, mode)), fileName_(fileName) {
    if (handle_ < 0) {
        std::string message = (mode == fmCreate ? "Cannot create file \"" : "Cannot open file \"") +
                              fileName + "\". " + OpenErrorText(errno);
        if (mode == fmCreate) throw EFCreateError(message.c_str());
        throw EFOpenError(message.c_str());
    }
}

TFileStream::TFileStream(const std::u16string& fileName, uint16_t mode)
    : TFileStream(TextToUtf8(fileName), mode) {}

}  // namespace platform
