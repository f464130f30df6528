// The older compression methods: shrinking (LZW), reducing (follower sets
// and DLE-coded repeats) and imploding (Shannon-Fano trees over a sliding
// window). They read through a bit buffer and write through the 32768-byte
// output buffer, which doubles as their history window.
#include <algorithm>
#include <cstring>
#include <vector>

#include "unzip/DecodeState.h"
#include "unzip/UnZipper.h"

namespace unzip {

namespace {
const uint32_t kMask[17] = {0x0000, 0x0001, 0x0003, 0x0007, 0x000F, 0x001F, 0x003F, 0x007F, 0x00FF,
                            0x01FF, 0x03FF, 0x07FF, 0x0FFF, 0x1FFF, 0x3FFF, 0x7FFF, 0xFFFF};
constexpr uint32_t kWindow = 32768;
}  // namespace

int TUnZipper::NextInputByte(TDecodeState& st) {
    if (st.remaining <= 0) {
        --st.remaining;
        return -1;
    }
    --st.remaining;
    if (st.inpos >= st.incnt && FillInput(st) <= 0) return -1;
    return FInBuf[st.inpos++];
}

int TUnZipper::GetBits(TDecodeState& st, int n) {
    while (st.bitcnt < 25 && !st.inputEnded) {
        int b = NextInputByte(st);
        if (b < 0) {
            st.inputEnded = true;
            break;
        }
        st.bitbuf |= static_cast<uint32_t>(b) << st.bitcnt;
        st.bitcnt += 8;
    }
    if (st.bitcnt < n) return -1;
    int v = static_cast<int>(st.bitbuf & kMask[n]);
    st.bitbuf >>= n;
    st.bitcnt -= n;
    return v;
}

void TUnZipper::FlushWindow(TDecodeState& st) {
    if (st.wpos > st.wflushed) EmitOutput(st, FOutBuf.data() + st.wflushed, st.wpos - st.wflushed);
    st.wflushed = st.wpos;
    if (st.wpos == kWindow) st.wpos = st.wflushed = 0;
}

inline void TUnZipper::PutByte(TDecodeState& st, uint8_t b) {
    FOutBuf[st.wpos++] = b;
    if (st.wpos == kWindow) FlushWindow(st);
}

// ---------------------------------------------------------------- shrinking

void TUnZipper::DecodeShrunk(TDecodeState& st) {
    constexpr int kCodes = 8192;
    constexpr uint16_t kFree = 0xFFFF;
    // Work area: prefix codes (2 bytes each), suffix bytes, and a stack.
    auto* prefix = reinterpret_cast<uint16_t*>(FWorkArea.data());
    uint8_t* suffix = FWorkArea.data() + 2 * kCodes;
    uint8_t* stack = FWorkArea.data() + 3 * kCodes;
    std::fill(FOutBuf.begin(), FOutBuf.end(), 0);
    st.wpos = st.wflushed = 0;
    for (int c = 0; c < kCodes; ++c) {
        prefix[c] = c < 256 ? 0 : kFree;
        suffix[c] = static_cast<uint8_t>(c < 256 ? c : 0);
    }
    prefix[256] = 0;  // the control code is never free
    uint64_t size = st.entry->UncompressedSize();
    int codeSize = 9;
    int freeEnt = 257;
    auto nextFree = [&](int from) {
        while (from < kCodes && prefix[from] != kFree) ++from;
        return from;
    };
    // Writes the string of `code` (and, for a code not yet defined, the
    // previous string plus its first byte); returns the first byte or -1.
    auto expand = [&](int code, int prev, uint8_t prevFirst) -> int {
        int sp = 0;
        int c = code;
        if (code >= 257 && prefix[code] == kFree) {
            if (code != freeEnt || prev < 0) return -1;
            stack[sp++] = prevFirst;
            c = prev;
        }
        while (c >= 256) {
            if (sp >= kCodes || prefix[c] == kFree || c == 256) return -1;
            stack[sp++] = suffix[c];
            c = prefix[c];
        }
        if (sp >= kCodes) return -1;
        stack[sp++] = static_cast<uint8_t>(c);
        int first = c;
        while (sp > 0) PutByte(st, stack[--sp]);
        return first;
    };
    int prev = GetBits(st, codeSize);
    if (prev < 0 || prev > 255) {
        FlushWindow(st);
        return;
    }
    uint8_t prevFirst = static_cast<uint8_t>(prev);
    PutByte(st, prevFirst);
    while (st.done + (st.wpos - st.wflushed) < size) {
        int code = GetBits(st, codeSize);
        if (code < 0) break;
        if (code == 256) {
            int sub = GetBits(st, codeSize);
            if (sub == 1) {
                if (codeSize < 13) ++codeSize;
            } else if (sub == 2) {
                // Partial clear: free every code that is no other code's prefix.
                std::vector<bool> isPrefix(kCodes, false);
                for (int c = 257; c < kCodes; ++c)
                    if (prefix[c] != kFree && prefix[c] >= 257) isPrefix[prefix[c]] = true;
                for (int c = 257; c < kCodes; ++c)
                    if (!isPrefix[c]) prefix[c] = kFree;
                freeEnt = nextFree(257);
            } else {
                break;
            }
            continue;
        }
        bool undefined = code >= 257 && prefix[code] == kFree;
        int first = expand(code, prev, prevFirst);
        if (first < 0) break;
        if (freeEnt < kCodes) {
            prefix[freeEnt] = static_cast<uint16_t>(prev);
            suffix[freeEnt] = static_cast<uint8_t>(undefined ? prevFirst : first);
            freeEnt = nextFree(freeEnt + 1);
        }
        prev = code;
        prevFirst = static_cast<uint8_t>(first);
    }
    FlushWindow(st);
}

// ---------------------------------------------------------------- reducing

void TUnZipper::DecodeReduced(TDecodeState& st) {
    int factor = st.entry->compression_method - 1;  // 1 to 4
    std::fill(FOutBuf.begin(), FOutBuf.end(), 0);
    st.wpos = st.wflushed = 0;
    // Follower sets: 256 sets of up to 63 bytes in the work area.
    uint8_t* followers = FWorkArea.data();
    uint8_t* counts = FWorkArea.data() + 256 * 64;
    for (int x = 255; x >= 0; --x) {
        int n = GetBits(st, 6);
        if (n < 0) {
            FlushWindow(st);
            return;
        }
        counts[x] = static_cast<uint8_t>(n);
        for (int k = 0; k < n; ++k) {
            int b = GetBits(st, 8);
            if (b < 0) {
                FlushWindow(st);
                return;
            }
            followers[x * 64 + k] = static_cast<uint8_t>(b);
        }
    }
    auto bitsFor = [](int n) {
        int bits = 1;
        while ((1 << bits) < n) ++bits;
        return bits;
    };
    const int lenMask = 0xFF >> factor;
    uint64_t size = st.entry->UncompressedSize();
    int last = 0, state = 0, len = 0, v = 0;
    auto produced = [&]() { return st.done + (st.wpos - st.wflushed); };
    while (produced() < size) {
        int c;
        if (counts[last] == 0) {
            c = GetBits(st, 8);
        } else {
            int bit = GetBits(st, 1);
            if (bit < 0) break;
            if (bit == 1) {
                c = GetBits(st, 8);
            } else {
                int index = GetBits(st, bitsFor(counts[last]));
                if (index < 0) break;
                if (index >= counts[last]) break;
                c = followers[last * 64 + index];
            }
        }
        if (c < 0) break;
        last = c;
        switch (state) {
            case 0:
                if (c != 144) PutByte(st, static_cast<uint8_t>(c));
                else state = 1;
                break;
            case 1:
                if (c != 0) {
                    v = c;
                    len = v & lenMask;
                    state = len == lenMask ? 2 : 3;
                } else {
                    PutByte(st, 144);
                    state = 0;
                }
                break;
            case 2:
                len += c;
                state = 3;
                break;
            case 3: {
                uint32_t dist = static_cast<uint32_t>(((v >> (8 - factor)) << 8) + c + 1);
                int n = len + 3;
                for (int k = 0; k < n && produced() < size; ++k)
                    PutByte(st, FOutBuf[(st.wpos - dist) & (kWindow - 1)]);
                state = 0;
                break;
            }
        }
    }
    FlushWindow(st);
}

// ---------------------------------------------------------------- imploding

namespace {

// A Shannon-Fano tree as a direct lookup on the next 16 bits (least
// significant bit first): symbol and code length per bit pattern.
struct SFTable {
    std::vector<uint16_t> symbol;
    std::vector<uint8_t> length;
    SFTable() : symbol(65536), length(65536) {}

    // Builds the codes from bit lengths as the format describes: lengths
    // sorted ascending (stable), codes counted up from the last one, bits
    // reversed for reading. False when the lengths do not form a code.
    bool Build(const std::vector<uint8_t>& lengths) {
        size_t n = lengths.size();
        std::vector<int> order(n);
        for (size_t i = 0; i < n; ++i) order[i] = static_cast<int>(i);
        std::stable_sort(order.begin(), order.end(), [&](int a, int b) { return lengths[a] < lengths[b]; });
        uint64_t kraft = 0;
        for (auto l : lengths) kraft += 1ull << (16 - l);
        if (kraft > 65536) return false;
        std::fill(length.begin(), length.end(), 0);
        uint32_t code = 0, increment = 0;
        int lastLen = 0;
        for (int i = static_cast<int>(n) - 1; i >= 0; --i) {
            code += increment;
            int sym = order[i];
            int len = lengths[sym];
            if (len != lastLen) {
                lastLen = len;
                increment = 1u << (16 - len);
            }
            if (code > 0xFFFF) return false;
            // Reverse the top `len` bits of the 16-bit code.
            uint32_t rev = 0;
            for (int b = 0; b < len; ++b)
                if (code & (1u << (15 - b))) rev |= 1u << b;
            for (uint32_t k = rev; k < 65536; k += 1u << len) {
                symbol[k] = static_cast<uint16_t>(sym);
                length[k] = static_cast<uint8_t>(len);
            }
        }
        return true;
    }
};

}  // namespace

void TUnZipper::DecodeImploded(TDecodeState& st) {
    uint16_t flags = st.entry->general_purpose_bit_flag;
    bool bigWindow = (flags & 2) != 0;
    bool literalTree = (flags & 4) != 0;
    std::fill(FOutBuf.begin(), FOutBuf.end(), 0);
    st.wpos = st.wflushed = 0;

    auto readTree = [&](SFTable& table, size_t count) -> bool {
        int bytes = GetBits(st, 8);
        if (bytes < 0) return false;
        std::vector<uint8_t> lengths;
        for (int k = 0; k <= bytes; ++k) {
            int b = GetBits(st, 8);
            if (b < 0) return false;
            int len = (b & 0x0F) + 1, times = (b >> 4) + 1;
            for (int t = 0; t < times; ++t) lengths.push_back(static_cast<uint8_t>(len));
        }
        if (lengths.size() != count) return false;
        return table.Build(lengths);
    };
    auto decodeSymbol = [&](const SFTable& table) -> int {
        // Fill the bit buffer, then look up what the next bits name.
        GetBits(st, 0);
        uint32_t bits = st.bitbuf & 0xFFFF;
        int len = table.length[bits];
        if (len == 0 || len > st.bitcnt) return -1;
        st.bitbuf >>= len;
        st.bitcnt -= len;
        return table.symbol[bits];
    };

    std::unique_ptr<SFTable> literals;
    SFTable lengthTree, distanceTree;
    if (literalTree) {
        literals = std::make_unique<SFTable>();
        if (!readTree(*literals, 256)) return FlushWindow(st);
    }
    if (!readTree(lengthTree, 64) || !readTree(distanceTree, 64)) return FlushWindow(st);

    int lowBits = bigWindow ? 7 : 6;
    int minMatch = literalTree ? 3 : 2;
    uint64_t size = st.entry->UncompressedSize();
    auto produced = [&]() { return st.done + (st.wpos - st.wflushed); };
    while (produced() < size) {
        int flag = GetBits(st, 1);
        if (flag < 0) break;
        if (flag == 1) {
            int c = literalTree ? decodeSymbol(*literals) : GetBits(st, 8);
            if (c < 0) break;
            PutByte(st, static_cast<uint8_t>(c));
            continue;
        }
        int low = GetBits(st, lowBits);
        if (low < 0) break;
        int high = decodeSymbol(distanceTree);
        if (high < 0) break;
        uint32_t dist = (static_cast<uint32_t>(high) << lowBits) | static_cast<uint32_t>(low);
        int len = decodeSymbol(lengthTree);
        if (len < 0) break;
        if (len == 63) {
            int more = GetBits(st, 8);
            if (more < 0) break;
            len += more;
        }
        len += minMatch;
        for (int k = 0; k < len && produced() < size; ++k)
            PutByte(st, FOutBuf[(st.wpos - dist - 1) & (kWindow - 1)]);
    }
    FlushWindow(st);
}

}  // namespace unzip
