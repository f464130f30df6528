#include "platform/stream.h"

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <new>

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

}  // namespace platform
