// The state of decoding one entry, shared by the driver and the decoders.
// Internal to the extraction library.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "platform/stream.h"
#include "unzip/ZipDirectory.h"

namespace unzip {

struct TDecodeState {
    TZipHeaderInfo* entry = nullptr;  // the private copy of the entry
    int index = 0;
    int target = 0;  // TUnZipper::TTarget
    platform::TStream* out = nullptr;
    std::vector<uint8_t>* buffer = nullptr;
    std::u16string fname;
    local_file_header lrec{};
    uint64_t dataStart = 0;    // first byte after the local header
    uint64_t csize = 0;        // compressed bytes not yet read from the archive
    int64_t remaining = 0;     // compressed bytes not yet handed to a decoder
    uint32_t inpos = 0, incnt = 0;
    uint32_t bitbuf = 0;
    int bitcnt = 0;
    bool inputEnded = false;
    uint32_t crc = 0;          // running CRC-32 (pre- and post-inverted form)
    uint64_t done = 0;         // bytes produced for this entry
    uint64_t outPos = 0;       // position in a memory buffer
    uint64_t amountUsed = 0;   // bytes in the current piece of a memory buffer
    int bufferNum = 0;
    bool aes = false;
    bool unfinished = false;
    bool bufferCanceled = false;
    bool unknownMethod = false;
    bool skipCrc = false;      // AE-2 entries store no CRC; their code covers the data
    uint32_t wpos = 0;         // write position in the output window of the older methods
    uint32_t wflushed = 0;     // how much of the window is already emitted
};

}  // namespace unzip
