// The scripted fault server (fault_server.py) for one test: started on a free
// loopback port, terminated by the destructor. See README.md for the script.
//
//   zelvano_test::FaultServer server(R"({"connections": [[
//       {"read": "head"},
//       {"send": "HTTP/1.1 200 OK\r\nContent-Length: 2\r\n\r\nok"}]]})");
//   server.Port(); server.BaseURL();
//   server.Requests();   // every recorded request head, byte for byte
//
// The test target needs the compile definition
//   ZELVANO_SUPPORT_DIR="${ZELVANO_SUPPORT_DIR}".
#pragma once

#include <csignal>
#include <fstream>
#include <sstream>
#include <stdexcept>
#include <string>
#include <vector>

#include <sys/wait.h>
#include <unistd.h>

#include "tests/support/nginx_server.h"  // TempDir

namespace zelvano_test {

class FaultServer {
public:
    struct Request {
        int Connection;    // 0 for the first accepted connection, and so on
        std::string Head;  // request line and header lines up to the empty line
    };

    // Host is the loopback address to listen on: "127.0.0.1" or "::1".
    explicit FaultServer(const std::string& ScriptJson, const std::string& Host = "127.0.0.1")
        : work_("zelvano-fault"), host_(Host) {
        const std::string script = (work_.Path() / "script.json").string();
        log_ = (work_.Path() / "events.log").string();
        std::ofstream(script) << ScriptJson;
        int out[2];
        if (::pipe(out) != 0) throw std::runtime_error("pipe failed");
        const std::string program = std::string(ZELVANO_SUPPORT_DIR) + "/fault_server.py";
        pid_ = ::fork();
        if (pid_ < 0) throw std::runtime_error("fork failed");
        if (pid_ == 0) {
            ::dup2(out[1], 1);
            ::close(out[0]);
            ::close(out[1]);
            ::execlp("python3", "python3", program.c_str(), "--script", script.c_str(), "--log",
                     log_.c_str(), "--host", host_.c_str(), static_cast<char*>(nullptr));
            ::_exit(127);
        }
        ::close(out[1]);
        std::string line;
        char c;
        while (::read(out[0], &c, 1) == 1 && c != '\n') line += c;
        ::close(out[0]);
        if (line.empty()) {
            Stop();
            throw std::runtime_error("fault server did not start");
        }
        port_ = std::stoi(line);
    }
    ~FaultServer() { Stop(); }
    FaultServer(const FaultServer&) = delete;
    FaultServer& operator=(const FaultServer&) = delete;

    int Port() const { return port_; }
    std::string BaseURL() const {
        const std::string host = host_.find(':') == std::string::npos ? host_ : "[" + host_ + "]";
        return "http://" + host + ":" + std::to_string(port_);
    }

    std::vector<Request> Requests() const {
        std::vector<Request> requests;
        for (const auto& line : Events()) {
            std::istringstream in(line);
            std::string kind, hex;
            int connection = -1;
            in >> kind >> connection >> hex;
            if (kind != "request") continue;
            std::string head;
            for (size_t i = 0; i + 1 < hex.size(); i += 2) head += static_cast<char>(std::stoi(hex.substr(i, 2), nullptr, 16));
            requests.push_back({connection, head});
        }
        return requests;
    }
    // Connections accepted so far.
    int Connections() const {
        int count = 0;
        for (const auto& line : Events())
            if (line.rfind("accept ", 0) == 0) ++count;
        return count;
    }

private:
    std::vector<std::string> Events() const {
        std::vector<std::string> lines;
        std::ifstream in(log_);
        for (std::string line; std::getline(in, line);) lines.push_back(line);
        return lines;
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
    std::string host_;
    std::string log_;
    pid_t pid_ = -1;
    int port_ = 0;
};

}  // namespace zelvano_test
