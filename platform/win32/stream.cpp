// File streams over Win32 file handles. Share modes are the system's own: a
// file opened by another program without the sharing asked for fails to
// open with a sharing violation.
#include "platform/stream.h"

#include <string>

#include "platform/codepage.h"
#include "platform/win32/win32.h"

namespace platform {

THandleStream::~THandleStream() {
    if (handle_ != -1 && handle_ != 0) CloseHandle(win32::IntToHandle(handle_));
}

int64_t THandleStream::Read(void* buffer, int64_t count) {
    int64_t done = 0;
    auto* p = static_cast<uint8_t*>(buffer);
    while (done < count) {
        DWORD piece = count - done > 0x40000000 ? 0x40000000 : static_cast<DWORD>(count - done);
        DWORD n = 0;
        if (!ReadFile(win32::IntToHandle(handle_), p + done, piece, &n, nullptr)) {
            DWORD error = GetLastError();
            // The writing end of a pipe closed: the end of the input.
            if (error == ERROR_BROKEN_PIPE || error == ERROR_HANDLE_EOF) break;
            throw EReadError(u"Stream read error. " + win32::ErrorMessage(error));
        }
        if (n == 0) break;
        done += n;
    }
    return done;
}

int64_t THandleStream::Write(const void* buffer, int64_t count) {
    int64_t done = 0;
    auto* p = static_cast<const uint8_t*>(buffer);
    while (done < count) {
        DWORD piece = count - done > 0x40000000 ? 0x40000000 : static_cast<DWORD>(count - done);
        DWORD n = 0;
        if (!WriteFile(win32::IntToHandle(handle_), p + done, piece, &n, nullptr) || n == 0) break;
        done += n;
    }
    return done;
}

int64_t THandleStream::Seek(int64_t offset, TSeekOrigin origin) {
    LARGE_INTEGER distance;
    distance.QuadPart = offset;
    LARGE_INTEGER position;
    DWORD method = origin == soBeginning ? FILE_BEGIN : origin == soCurrent ? FILE_CURRENT : FILE_END;
    if (!SetFilePointerEx(win32::IntToHandle(handle_), distance, &position, method)) return -1;
    return position.QuadPart;
}

void THandleStream::SetSize(int64_t newSize) {
    int64_t position = Seek(0, soCurrent);
    if (Seek(newSize, soBeginning) != newSize || !SetEndOfFile(win32::IntToHandle(handle_))) {
        std::u16string reason = win32::ErrorMessage(GetLastError());
        Seek(position, soBeginning);
        throw EStreamError(u"Stream size cannot be changed. " + reason);
    }
    Seek(position > newSize ? newSize : position, soBeginning);
}

bool THandleStream::Flush() { return FlushFileBuffers(win32::IntToHandle(handle_)) != 0; }

namespace {

HANDLE OpenWithMode(const std::u16string& name, uint16_t mode) {
    DWORD access;
    DWORD share;
    DWORD disposition = OPEN_EXISTING;
    if (mode == fmCreate) {
        access = GENERIC_READ | GENERIC_WRITE;
        share = 0;
        disposition = CREATE_ALWAYS;
    } else {
        switch (mode & 3) {
            case fmOpenWrite: access = GENERIC_WRITE; break;
            case fmOpenReadWrite: access = GENERIC_READ | GENERIC_WRITE; break;
            default: access = GENERIC_READ; break;
        }
        switch (mode & 0xF0) {
            case fmShareDenyWrite: share = FILE_SHARE_READ; break;
            case fmShareDenyRead: share = FILE_SHARE_WRITE; break;
            case fmShareDenyNone: share = FILE_SHARE_READ | FILE_SHARE_WRITE; break;
            default: share = 0; break;  // compatibility and exclusive
        }
    }
    // CREATE_ALWAYS on a hidden or system file fails unless the attributes
    // are given again, so the truncation is done after an open-always.
    if (disposition == CREATE_ALWAYS) disposition = OPEN_ALWAYS;
    HANDLE file = CreateFileW(win32::FilePath(name).c_str(), access, share, nullptr, disposition, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file != INVALID_HANDLE_VALUE && mode == fmCreate && GetFileType(file) == FILE_TYPE_DISK) {
        if (!SetEndOfFile(file)) {
            DWORD error = GetLastError();
            CloseHandle(file);
            SetLastError(error);
            return INVALID_HANDLE_VALUE;
        }
    }
    return file;
}

}  // namespace

TFileStream::TFileStream(const std::string& fileName, uint16_t mode)
    : TFileStream(Utf8ToText(fileName), mode) {}

TFileStream::TFileStream(const std::u16string& fileName, uint16_t mode)
    : THandleStream(win32::HandleToInt(OpenWithMode(fileName, mode))), fileName_(TextToUtf8(fileName)) {
    if (handle_ == -1) {
        std::u16string message = (mode == fmCreate ? u"Cannot create file \"" : u"Cannot open file \"") + fileName +
                                 u"\". " + win32::ErrorMessage(GetLastError());
        if (mode == fmCreate) throw EFCreateError(message);
        throw EFOpenError(message);
    }
}

std::unique_ptr<THandleStream> StandardInputStream() {
    HANDLE input;
    if (!DuplicateHandle(GetCurrentProcess(), GetStdHandle(STD_INPUT_HANDLE), GetCurrentProcess(), &input, 0, FALSE,
                         DUPLICATE_SAME_ACCESS))
        return nullptr;
    return std::make_unique<THandleStream>(win32::HandleToInt(input));
}

}  // namespace platform
