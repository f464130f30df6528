// A private nginx for one test: started on a free loopback port with its
// configuration, logs and pid in a temporary folder, stopped by the destructor.
//
//   zelvano_test::NginxServer nginx(docRoot, "location /old { return 302 /new; }");
//   nginx.Port(); nginx.BaseURL(); nginx.AccessLog();
//
// The test target needs the compile definition
//   ZELVANO_SUPPORT_DIR="${ZELVANO_SUPPORT_DIR}"
// so the header finds nginx_fixture.py, which does the actual work.
#pragma once

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <stdexcept>
#include <string>
#include <thread>
#include <vector>

#include "tests/support/test_system.h"  // RunCommand, ShellQuote, MakeTempDir

#ifndef ZELVANO_SUPPORT_DIR
#error "define ZELVANO_SUPPORT_DIR (the tests/support folder) for this target"
#endif

namespace zelvano_test {

// A temporary folder removed with everything in it when the object goes.
class TempDir {
 public:
  explicit TempDir(const std::string& prefix = "zelvano-test") : path_(MakeTempDir(prefix)) {}
  ~TempDir() { RemoveTree(path_); }
  TempDir(const TempDir&) = delete;
  TempDir& operator=(const TempDir&) = delete;
  const std::filesystem::path& Path() const { return path_; }

 private:
  std::filesystem::path path_;
};

// nginx serving DocRoot on 127.0.0.1:Port(). ExtraServerConfig goes verbatim
// into the server block (locations, return rules, keepalive settings...).
class NginxServer {
 public:
  // With a certificate chain and key (PEM files) the port speaks TLS and
  // BaseURL() is an https address; TlsProtocols replaces the versions it
  // offers ("TLSv1.2 TLSv1.3", nginx's ssl_protocols).
  explicit NginxServer(const std::filesystem::path& DocRoot,
                       const std::string& ExtraServerConfig = "",
                       const std::filesystem::path& TlsCertificate = {},
                       const std::filesystem::path& TlsKey = {},
                       const std::string& TlsProtocols = "")
      : work_("zelvano-nginx"), tls_(!TlsCertificate.empty()) {
    std::string command = "python3 " + ShellQuote(std::string(ZELVANO_SUPPORT_DIR) +
                                                  "/nginx_fixture.py") +
                          " start --root " + ShellQuote(DocRoot.string()) +
                          " --workdir " + ShellQuote(work_.Path().string());
    if (!ExtraServerConfig.empty()) {
      std::filesystem::path extra = work_.Path() / "extra.conf";
      std::ofstream(extra) << ExtraServerConfig << "\n";
      command += " --extra " + ShellQuote(extra.string());
    }
    if (tls_)
      command += " --tls " + ShellQuote(TlsCertificate.string()) + " " + ShellQuote(TlsKey.string());
    if (tls_ && !TlsProtocols.empty()) command += " --tls-protocols " + ShellQuote(TlsProtocols);
    port_ = std::stoi(RunCommand(command));
  }
  ~NginxServer() {
    try {
      RunCommand("python3 " +
                 ShellQuote(std::string(ZELVANO_SUPPORT_DIR) + "/nginx_fixture.py") +
                 " stop --workdir " + ShellQuote(work_.Path().string()));
    } catch (...) {
    }
  }
  NginxServer(const NginxServer&) = delete;
  NginxServer& operator=(const NginxServer&) = delete;

  int Port() const { return port_; }
  // "http://127.0.0.1:PORT" (https with TLS) without a trailing slash.
  std::string BaseURL() const {
    return (tls_ ? "https://127.0.0.1:" : "http://127.0.0.1:") + std::to_string(port_);
  }
  std::filesystem::path AccessLogPath() const { return work_.Path() / "access.log"; }
  std::filesystem::path ErrorLogPath() const { return work_.Path() / "error.log"; }
  std::filesystem::path WorkDir() const { return work_.Path(); }

  // The access log's lines so far: "<connection> <request number on it>
  // \"<request line>\" \"<Range header or ->\" <status> <body bytes>", with
  // TLS followed by "<protocol> <r: resumed session, .: full handshake>".
  std::vector<std::string> AccessLog() const {
    std::vector<std::string> lines;
    std::ifstream in(AccessLogPath());
    for (std::string line; std::getline(in, line);) lines.push_back(line);
    return lines;
  }

  // The log once no line has been added for 50 ms: what a test counts from
  // must not grow later with the lines of earlier requests.
  std::vector<std::string> SettledAccessLog() const {
    auto lines = AccessLog();
    for (int waited = 0; waited < 2000; waited += 50) {
      std::this_thread::sleep_for(std::chrono::milliseconds(50));
      auto again = AccessLog();
      if (again.size() == lines.size()) break;
      lines = std::move(again);
    }
    return lines;
  }

  // nginx writes a request's log line after its reply has gone out, so a
  // client can be done before the line is there: wait up to two seconds for
  // at least `count` lines, then return what the log holds.
  std::vector<std::string> AccessLogOfAtLeast(size_t count) const {
    auto lines = AccessLog();
    for (int waited = 0; lines.size() < count && waited < 2000; waited += 10) {
      std::this_thread::sleep_for(std::chrono::milliseconds(10));
      lines = AccessLog();
    }
    return lines;
  }

 private:
  TempDir work_;
  bool tls_;
  int port_ = 0;
};

}  // namespace zelvano_test
