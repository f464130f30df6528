// Helpers of the downloader tests: file contents, whole-file reads and a run
// of the threaded downloader that records its events.
#pragma once

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <iomanip>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "download/HttpDownLoad.h"
#include "platform/codepage.h"
#include "tests/support/nginx_server.h"

namespace download_test {

namespace fs = std::filesystem;

// Deterministic bytes that differ at every position of interest, so a piece
// written at the wrong offset shows.
inline std::string Bytes(size_t size, uint32_t seed = 1) {
    std::string data(size, '\0');
    uint32_t x = seed * 2654435761u + 1;
    for (size_t i = 0; i < size; ++i) {
        x ^= x << 13;
        x ^= x >> 17;
        x ^= x << 5;
        data[i] = static_cast<char>(x >> 24);
    }
    return data;
}

inline void WriteFile(const fs::path& path, const std::string& data) {
    std::ofstream(path, std::ios::binary).write(data.data(), static_cast<std::streamsize>(data.size()));
}

inline std::string ReadFile(const fs::path& path) {
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

inline std::u16string Text(const std::string& utf8) { return platform::Utf8ToText(utf8); }

// What one run of the threaded downloader did.
struct RunResult {
    int finishCalls = 0;
    int errorCalls = 0;
    bool eventsOnWorker = true;
    bool finished = false;  // the run ended within the time limit
    std::u16string lastError;
};

// Starts a downloader that is already configured and waits for its run to
// end (at most `limit`), recording its events.
inline RunResult RunToEnd(download::THttpDownLoad& downloader,
                          std::chrono::seconds limit = std::chrono::seconds(30)) {
    RunResult result;
    const auto mainThread = std::this_thread::get_id();
    std::atomic<int> finish{0}, error{0};
    std::atomic<bool> onWorker{true};
    downloader.OnDownLoadFinish = [&](download::THttpDownLoad* sender) {
        EXPECT_EQ(sender, &downloader);
        if (std::this_thread::get_id() == mainThread) onWorker = false;
        ++finish;
    };
    downloader.OnDownLoadError = [&](download::THttpDownLoad* sender) {
        EXPECT_EQ(sender, &downloader);
        if (std::this_thread::get_id() == mainThread) onWorker = false;
        ++error;
    };
    downloader.Start();
    const auto deadline = std::chrono::steady_clock::now() + limit;
    while (!downloader.Finished() && std::chrono::steady_clock::now() < deadline)
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    result.finished = downloader.Finished();
    if (!result.finished) downloader.Terminate();
    downloader.WaitFor();
    result.finishCalls = finish;
    result.errorCalls = error;
    result.eventsOnWorker = onWorker;
    result.lastError = downloader.LastError();
    return result;
}

// One line of the test nginx's access log, split.
struct LoggedRequest {
    int connection;
    std::string method;
    std::string path;
    std::string range;  // "-" when the request had none
    int status;
};

inline std::vector<LoggedRequest> Requests(const zelvano_test::NginxServer& nginx) {
    const std::vector<std::string> lines = nginx.SettledAccessLog();
    // <connection> <n> "<method> <path> <version>" "<range>" <status> <bytes>
    std::vector<LoggedRequest> requests;
    for (const auto& text : lines) {
        LoggedRequest r{};
        int number = 0;
        std::istringstream in(text);
        std::string requestLine, version;
        in >> r.connection >> number >> std::quoted(requestLine) >> std::quoted(r.range) >> r.status;
        std::istringstream(requestLine) >> r.method >> r.path >> version;
        if (!in || r.path.empty()) {
            ADD_FAILURE() << "unexpected log line: " << text;
            continue;
        }
        requests.push_back(r);
    }
    return requests;
}

// The Range values of the GET requests, without "bytes=".
inline std::vector<std::string> GetRanges(const std::vector<LoggedRequest>& requests) {
    std::vector<std::string> ranges;
    for (const auto& r : requests)
        if (r.method == "GET") ranges.push_back(r.range.rfind("bytes=", 0) == 0 ? r.range.substr(6) : r.range);
    return ranges;
}

}  // namespace download_test
