// Shared by the fuzz targets: an archive held in memory.
#pragma once

#include <cstddef>
#include <cstdint>

#include "platform/stream.h"

inline void LoadInto(platform::TMemoryStream& s, const uint8_t* data, size_t size) {
    s.Write(data, static_cast<int64_t>(size));
    s.SetPosition(0);
}
