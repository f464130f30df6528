// Helpers for the extraction tests: a temporary folder, running the archive
// tools, reading files, and a small archive writer for exact bytes.
#pragma once

#include <gtest/gtest.h>
#include <zlib.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <optional>
#include <sstream>
#include <string>
#include <vector>

#include "tests/support/test_system.h"

namespace unziptest {

namespace fs = std::filesystem;

inline std::string ReadAll(const fs::path& p) {
    std::ifstream in(p, std::ios::binary);
    std::ostringstream s;
    s << in.rdbuf();
    return s.str();
}

inline void WriteAll(const fs::path& p, const std::string& data) {
    fs::create_directories(p.parent_path());
    std::ofstream out(p, std::ios::binary | std::ios::trunc);
    out.write(data.data(), static_cast<std::streamsize>(data.size()));
}

// Runs a command of the Unix shell (the archive tools); its exit status.
inline int Shell(const std::string& cmd) {
    return zelvano_test::RunShell(cmd + " >/dev/null 2>&1").Status;
}

inline std::u16string U(const std::string& s) { return std::u16string(s.begin(), s.end()); }
inline std::u16string U(const fs::path& p) { return U(p.string()); }

// A fresh folder below the system's temporary folder, removed afterwards.
class TempDir {
public:
    TempDir() : path_(zelvano_test::MakeTempDir("zelvano-unzip")) {}
    ~TempDir() { zelvano_test::RemoveTree(path_); }
    const fs::path& path() const { return path_; }
    fs::path operator/(const std::string& s) const { return path_ / s; }

private:
    fs::path path_;
};

inline uint32_t Crc(const std::string& s) {
    return static_cast<uint32_t>(::crc32(0, reinterpret_cast<const Bytef*>(s.data()), static_cast<uInt>(s.size())));
}

inline std::string RawDeflate(const std::string& s) {
    z_stream zs{};
    deflateInit2(&zs, 6, Z_DEFLATED, -15, 8, Z_DEFAULT_STRATEGY);
    std::string out(deflateBound(&zs, s.size()) + 16, '\0');
    zs.next_in = reinterpret_cast<Bytef*>(const_cast<char*>(s.data()));
    zs.avail_in = static_cast<uInt>(s.size());
    zs.next_out = reinterpret_cast<Bytef*>(out.data());
    zs.avail_out = static_cast<uInt>(out.size());
    deflate(&zs, Z_FINISH);
    out.resize(zs.total_out);
    deflateEnd(&zs);
    return out;
}

// One entry for ZipWriter; unset optional fields take the true values.
struct RawEntry {
    std::string name;
    std::string data;               // plain content
    uint16_t method = 0;            // 0 stored, 8 deflated (compressed here), other: data as given
    uint16_t flags = 0;
    uint16_t versionMadeBy = 20;    // host 0 (DOS)
    uint32_t external = 0;
    uint32_t dosDateTime = 0x5A2E6000;  // 2025-01-14 12:00:00
    std::optional<uint32_t> crc;
    std::optional<uint32_t> usize;
    std::optional<uint32_t> localOffset;
    std::string centralExtra;
    std::string payload;            // when set: the stored bytes as they are
};

inline void Put16(std::string& s, uint32_t v) {
    s += static_cast<char>(v & 0xFF);
    s += static_cast<char>((v >> 8) & 0xFF);
}
inline void Put32(std::string& s, uint32_t v) {
    Put16(s, v & 0xFFFF);
    Put16(s, v >> 16);
}

// Writes a plain single-part archive byte by byte.
inline std::string ZipWriter(const std::vector<RawEntry>& entries, const std::string& comment = "",
                             std::optional<uint16_t> countOverride = {}) {
    std::string out, central;
    for (const auto& e : entries) {
        std::string stored = !e.payload.empty() || e.data.empty() ? e.payload
                             : e.method == 8                      ? RawDeflate(e.data)
                                                                  : e.data;
        uint32_t crc = e.crc ? *e.crc : Crc(e.data);
        uint32_t usize = e.usize ? *e.usize : static_cast<uint32_t>(e.data.size());
        uint32_t offset = static_cast<uint32_t>(out.size());
        out += "PK\x03\x04";
        Put16(out, 20);
        Put16(out, e.flags);
        Put16(out, e.method);
        Put32(out, e.dosDateTime);
        Put32(out, crc);
        Put32(out, static_cast<uint32_t>(stored.size()));
        Put32(out, usize);
        Put16(out, static_cast<uint32_t>(e.name.size()));
        Put16(out, 0);
        out += e.name;
        out += stored;
        central += "PK\x01\x02";
        Put16(central, e.versionMadeBy);
        Put16(central, 20);
        Put16(central, e.flags);
        Put16(central, e.method);
        Put32(central, e.dosDateTime);
        Put32(central, crc);
        Put32(central, static_cast<uint32_t>(stored.size()));
        Put32(central, usize);
        Put16(central, static_cast<uint32_t>(e.name.size()));
        Put16(central, static_cast<uint32_t>(e.centralExtra.size()));
        Put16(central, 0);
        Put16(central, 0);
        Put16(central, 0);
        Put32(central, e.external);
        Put32(central, e.localOffset ? *e.localOffset : offset);
        central += e.name;
        central += e.centralExtra;
    }
    uint32_t centralOffset = static_cast<uint32_t>(out.size());
    out += central;
    out += "PK\x05\x06";
    Put16(out, 0);
    Put16(out, 0);
    uint16_t n = countOverride ? *countOverride : static_cast<uint16_t>(entries.size());
    Put16(out, n);
    Put16(out, n);
    Put32(out, static_cast<uint32_t>(central.size()));
    Put32(out, centralOffset);
    Put16(out, static_cast<uint32_t>(comment.size()));
    out += comment;
    return out;
}

inline std::string TestData(const std::string& name) { return std::string(ZELVANO_TESTDATA_DIR) + "/zip/" + name; }

}  // namespace unziptest
