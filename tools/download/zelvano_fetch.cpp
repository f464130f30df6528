// zelvano-fetch [-q] [-r SECONDS] URL FILE
//
// Downloads URL into FILE with the threaded downloader, continuing from FILE
// when it exists, and waits for it. A line that stalls for 25 s or drops is
// asked again after growing pauses, for up to two minutes without progress
// (-r sets that window in seconds; -r 0 retries nothing). On a terminal a progress line (percent,
// bytes, speed, time left) is drawn on standard error; with -q or without a
// terminal only the summary is printed. Exit status: 0 when the download
// completed, which means FILE equals the remote file byte for byte; 1 when it
// failed (with the failure's message), whatever the server sent; 2 for wrong
// usage, 130 when Ctrl-C stopped it (the file then holds a valid prefix and a
// later run continues from there).
#include <atomic>
#include <chrono>
#include <csignal>
#include <cstdlib>
#include <cstdio>
#include <cstring>
#include <mutex>
#include <string>
#include <thread>

#include "download/HttpDownLoad.h"
#include "platform/codepage.h"
#include "platform/console.h"
#include "platform/sysinfo.h"

namespace {

volatile std::sig_atomic_t interrupted = 0;

// The first Ctrl-C lets the current piece finish; a second one ends at once,
// which still leaves a valid prefix because pieces are appended in order.
extern "C" void OnInterrupt(int) {
    if (interrupted) std::_Exit(130);
    interrupted = 1;
}

std::string Size(double bytes) {
    const char* units[] = {"B", "KiB", "MiB", "GiB"};
    int unit = 0;
    while (bytes >= 1024 && unit < 3) {
        bytes /= 1024;
        ++unit;
    }
    char text[32];
    std::snprintf(text, sizeof text, unit == 0 ? "%.0f %s" : "%.1f %s", bytes, units[unit]);
    return text;
}

std::string Duration(double seconds) {
    if (seconds < 0 || seconds > 359999) return "--:--";
    auto s = static_cast<long>(seconds + 0.5);
    char text[32];
    if (s >= 3600)
        std::snprintf(text, sizeof text, "%ld:%02ld:%02ld", s / 3600, s / 60 % 60, s % 60);
    else
        std::snprintf(text, sizeof text, "%02ld:%02ld", s / 60, s % 60);
    return text;
}

int Usage() {
    platform::PrintText(stderr, "usage: zelvano-fetch [-q] [-r SECONDS] URL FILE\n");
    return 2;
}

}  // namespace

int main(int argc, char** argv) {
    const std::vector<std::string> args = platform::Utf8Arguments(argc, argv);
    argc = static_cast<int>(args.size());
    bool quiet = false;
    download::TNetworkPolicy network = download::kRealLinePolicy;
    int first = 1;
    for (; first < argc; ++first) {
        if (args[first] == "-q") {
            quiet = true;
        } else if (args[first] == "-r" && first + 1 < argc) {
            const std::string& text = args[++first];
            char* end = nullptr;
            const long seconds = std::strtol(text.c_str(), &end, 10);
            if (text.empty() || *end != '\0' || seconds < 0 || seconds > 86400) return Usage();
            network.RetryWindow = static_cast<int>(seconds * 1000);
        } else {
            break;
        }
    }
    if (argc - first != 2) return Usage();
    const std::u16string url = platform::Utf8ToText(args[first]);
    const std::u16string file = platform::Utf8ToText(args[first + 1]);
    const bool drawProgress = !quiet && platform::IsTerminal(2);

    std::signal(SIGINT, OnInterrupt);
    std::signal(SIGTERM, OnInterrupt);

    // The gauge only exists for the progress line; the figures come from
    // the downloader itself.
    download::TPlainProgressGauge gauge;
    download::THttpDownLoad downloader(drawProgress ? &gauge : nullptr);
    downloader.SetDownLoadUrl(url);
    downloader.SetLocalFileName(file);
    // Deadlines and retries, so that a stalled or dropped line neither hangs
    // the tool nor ends it at the first fault.
    downloader.Network = network;
    downloader.OnRetry = [&](download::THttpDownLoad*, const std::u16string& failure, int pauseMs) {
        if (quiet) return;
        std::fprintf(stderr, "%szelvano-fetch: %s; retrying in %d s\n", drawProgress ? "\n" : "",
                     platform::TextToUtf8(failure).c_str(), pauseMs / 1000);
    };
    enum class Outcome { Running, Completed, Failed };
    std::atomic<Outcome> outcome{Outcome::Running};
    downloader.OnDownLoadFinish = [&](download::THttpDownLoad*) { outcome = Outcome::Completed; };
    downloader.OnDownLoadError = [&](download::THttpDownLoad*) { outcome = Outcome::Failed; };

    const auto started = std::chrono::steady_clock::now();
    int64_t startBytes = -1;
    downloader.Start();
    bool stopping = false;
    while (!downloader.Finished()) {
        std::this_thread::sleep_for(std::chrono::milliseconds(drawProgress ? 200 : 20));
        if (interrupted && !stopping) {
            stopping = true;
            downloader.Terminate();
        }
        if (!drawProgress) continue;
        const int32_t total = downloader.BytesTotal();
        const int64_t done = downloader.BytesDone();
        if (total < 0) continue;
        if (startBytes < 0) startBytes = done;
        const double elapsed =
            std::chrono::duration<double>(std::chrono::steady_clock::now() - started).count();
        const double speed = elapsed > 0 ? (done - startBytes) / elapsed : 0;
        const int percent = total > 0 ? static_cast<int>(done * 100 / total) : 100;
        const double left = speed > 0 ? (total - done) / speed : -1;
        platform::PrintText(stderr, "\r%3d%%  %s / %s  %s/s  %s left   ", percent, Size(done).c_str(),
                     Size(total).c_str(), Size(speed).c_str(), Duration(left).c_str());
        std::fflush(stderr);
    }
    downloader.WaitFor();
    if (drawProgress) std::fputc('\n', stderr);

    const double elapsed =
        std::chrono::duration<double>(std::chrono::steady_clock::now() - started).count();
    const std::string fileName = args[first + 1];
    const int64_t done = downloader.BytesDone();
    switch (outcome.load()) {
    case Outcome::Completed:
        platform::PrintText(stderr, "%s: %s (%lld bytes) complete in %.2f s\n", fileName.c_str(),
                     Size(done).c_str(), static_cast<long long>(done), elapsed);
        return 0;
    case Outcome::Failed:
        platform::PrintText(stderr, "zelvano-fetch: %s\n",
                     platform::TextToUtf8(downloader.LastError()).c_str());
        return 1;
    case Outcome::Running:
        break;
    }
    if (downloader.FatalException()) {
        try {
            std::rethrow_exception(downloader.FatalException());
        } catch (const std::exception& e) {
            platform::PrintText(stderr, "zelvano-fetch: %s\n", e.what());
        }
        return 1;
    }
    platform::PrintText(stderr, "%s: stopped at %lld bytes; run again to continue\n", fileName.c_str(),
                 static_cast<long long>(done));
    return 130;
}
