// Fetches one URL with TNetHTTP::Get into a file stream and prints
// "<bytes> <seconds>".
#include <chrono>
#include <cstdio>
#include <string>

#include "http/NetHTTP.h"
#include "platform/codepage.h"
#include "platform/stream.h"

int main(int argc, char** argv) {
    if (argc != 3) {
        std::fprintf(stderr, "usage: %s URL OUTPUT\n", argv[0]);
        return 2;
    }
    try {
        platform::TFileStream output(std::string(argv[2]), platform::fmCreate);
        http::TNetHTTP client;
        client.ReadTimeout = 30000;
        const auto start = std::chrono::steady_clock::now();
        client.Get(platform::Utf8ToText(argv[1]), output);
        const double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
        std::printf("%lld %.6f\n", static_cast<long long>(output.GetSize()), seconds);
    } catch (const std::exception& e) {
        std::fprintf(stderr, "failed: %s\n", e.what());
        return 1;
    }
    return 0;
}
