// Helpers shared by the HTTP client tests.
#pragma once

#include <gtest/gtest.h>

#include <chrono>
#include <string>

#include "http/NetHTTP.h"
#include "platform/codepage.h"
#include "platform/stream.h"

namespace http_test {

inline std::u16string U(const std::string& ascii) { return platform::AsciiToText(ascii); }

inline std::string A(const std::u16string& text) { return platform::TextToUtf8(text); }

// The downloader's requests with `client`: HEAD, then ranged GETs of
// 1,024,000 bytes (the last one open-ended) appended to `buffer`, each
// answered with 206. Returns the length the HEAD gave.
inline int64_t HeadThenRangedPieces(http::TNetHTTP& client, const std::u16string& url,
                                    platform::TMemoryStream& buffer) {
    client.HandleRedirects = true;
    client.Head(url);
    const int64_t length = client.Response().ContentLength;
    for (int64_t position = 0; position < length; position = buffer.GetSize()) {
        std::string range = std::to_string(position) + "-";
        if (position + 1024000 < length) range += std::to_string(position + 1023999);
        client.Request().Range = U(range);
        client.Get(client.URL().GetURI(), buffer);
        EXPECT_EQ(client.ResponseCode(), 206);
    }
    return length;
}

// Milliseconds since construction.
class Stopwatch {
public:
    long long ElapsedMs() const {
        return std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now() - start_)
            .count();
    }

private:
    std::chrono::steady_clock::time_point start_ = std::chrono::steady_clock::now();
};

}  // namespace http_test
