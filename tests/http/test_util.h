// Helpers shared by the HTTP client tests.
#pragma once

#include <chrono>
#include <string>

#include "platform/codepage.h"

namespace http_test {

inline std::u16string U(const std::string& ascii) { return platform::AsciiToText(ascii); }

inline std::string A(const std::u16string& text) { return platform::TextToUtf8(text); }

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
