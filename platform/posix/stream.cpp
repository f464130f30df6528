#include "platform/stream.h"

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>

#include "platform/codepage.h"

namespace platform {

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

std::unique_ptr<THandleStream> StandardInputStream() {
    int input = ::fcntl(0, F_DUPFD_CLOEXEC, 0);
    if (input < 0) return nullptr;
    return std::make_unique<THandleStream>(input);
}

}  // namespace platform
