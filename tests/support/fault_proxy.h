// The fault proxy (fault_proxy.py) for one test: a loopback proxy in front of
// a loopback server that stalls, resets, refuses for a while, cuts
// connections, answers 503 now and then, delays requests and caps the
// bandwidth; terminated by the destructor. See fault_proxy.py for the
// options.
//
//   zelvano_test::FaultProxy proxy(nginx.Port(), {"--stall-after", "4000000"});
//   proxy.BaseURL();           // "http://127.0.0.1:PORT"
//   proxy.Stat("bytes");       // bytes carried to clients so far
//
// The test target needs the compile definition
//   ZELVANO_SUPPORT_DIR="${ZELVANO_SUPPORT_DIR}".
#pragma once

#include <csignal>
#include <fstream>
#include <iterator>
#include <regex>
#include <stdexcept>
#include <string>
#include <vector>

#include <sys/wait.h>
#include <unistd.h>

#include "tests/support/nginx_server.h"  // TempDir

namespace zelvano_test {

class FaultProxy {
public:
    FaultProxy(int upstreamPort, const std::vector<std::string>& options) : work_("zelvano-proxy") {
        stats_ = (work_.Path() / "stats.json").string();
        const std::string program = std::string(ZELVANO_SUPPORT_DIR) + "/fault_proxy.py";
        std::vector<std::string> args = {"python3", program, "--upstream", std::to_string(upstreamPort),
                                         "--stats", stats_};
        args.insert(args.end(), options.begin(), options.end());
        int out[2];
        if (::pipe(out) != 0) throw std::runtime_error("pipe failed");
        pid_ = ::fork();
        if (pid_ < 0) throw std::runtime_error("fork failed");
        if (pid_ == 0) {
            ::dup2(out[1], 1);
            ::close(out[0]);
            ::close(out[1]);
            std::vector<char*> argv;
            for (auto& a : args) argv.push_back(a.data());
            argv.push_back(nullptr);
            ::execvp("python3", argv.data());
            ::_exit(127);
        }
        ::close(out[1]);
        std::string line;
        char c;
        while (::read(out[0], &c, 1) == 1 && c != '\n') line += c;
        ::close(out[0]);
        if (line.empty()) {
            Stop();
            throw std::runtime_error("fault proxy did not start");
        }
        port_ = std::stoi(line);
    }
    ~FaultProxy() { Stop(); }
    FaultProxy(const FaultProxy&) = delete;
    FaultProxy& operator=(const FaultProxy&) = delete;

    int Port() const { return port_; }
    std::string BaseURL() const { return "http://127.0.0.1:" + std::to_string(port_); }

    // One figure of the stats file ("bytes", "connections", "requests",
    // "stalls", "resets", "cuts", "failures"); -1 when it cannot be read.
    // The file is read once it has not changed for 200 ms, so that the
    // figures of connections that are just ending are in.
    long long Stat(const std::string& name) const {
        std::string text = Read();
        for (int waited = 0; waited < 3000; waited += 200) {
            ::usleep(200000);
            std::string again = Read();
            if (again == text) break;
            text = std::move(again);
        }
        std::smatch match;
        if (!std::regex_search(text, match, std::regex("\"" + name + "\": (\\d+)"))) return -1;
        return std::stoll(match[1]);
    }

private:
    std::string Read() const {
        std::ifstream in(stats_);
        return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
    }
    void Stop() {
        if (pid_ > 0) {
            ::kill(pid_, SIGTERM);
            int status;
            ::waitpid(pid_, &status, 0);
            pid_ = -1;
        }
    }

    TempDir work_;
    std::string stats_;
    int pid_ = -1;
    int port_ = 0;
};

}  // namespace zelvano_test
