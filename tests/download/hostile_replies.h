// Servers that misbehave in the ways servers, proxies and caches do, as
// scripts for the fault server. Each case says what a sound downloader ends
// with: the remote file byte for byte, or the error event. Both the
// downloader's tests and zelvano-fetch's run the whole table.
#pragma once

#include <cstdio>
#include <optional>
#include <string>
#include <vector>

#include "download_support.h"

namespace download_test {

struct HostileCase {
    const char* what;
    std::optional<std::string> local;  // the local file before the run, if any
    std::string remote;                // the file the server stands for
    std::string script;                // the fault server's script
    bool identical;                    // true: completion with the remote bytes; false: the error event
};

// Bytes as a JSON string body for the fault server (one \u00XX per byte).
inline std::string JsonBytes(const std::string& bytes) {
    std::string json;
    char buffer[8];
    for (unsigned char b : bytes) {
        std::snprintf(buffer, sizeof buffer, "\\u%04x", b);
        json += buffer;
    }
    return json;
}

// One connection's steps: each request head is read, then the reply sent.
inline std::string Conn(const std::vector<std::string>& replies, const std::string& after = "") {
    std::string steps;
    for (const auto& reply : replies) {
        if (!steps.empty()) steps += ",";
        steps += R"({"read": "head"}, {"send": ")" + reply + R"("})";
    }
    if (!after.empty()) steps += "," + after;
    return "[" + steps + "]";
}

inline std::string Script(const std::vector<std::string>& connections) {
    std::string list;
    for (const auto& c : connections) list += (list.empty() ? "" : ",") + c;
    return R"({"connections": [)" + list + "]}";
}

inline std::vector<HostileCase> HostileCases() {
    const std::string remote = Bytes(3000, 41);
    const std::string body = JsonBytes(remote);
    const std::string head3000 = R"(HTTP/1.1 200 OK\r\nContent-Length: 3000\r\n\r\n)";
    const std::string whole206 =
        R"(HTTP/1.1 206 Partial Content\r\nContent-Range: bytes 0-2999/3000\r\nContent-Length: 3000\r\n\r\n)" + body;
    std::vector<HostileCase> cases = {
        {"resume, Range ignored: 200 with the whole file", remote.substr(0, 1000), remote,
         Script({Conn({head3000, R"(HTTP/1.1 200 OK\r\nContent-Length: 3000\r\n\r\n)" + body})}), true},
        {"resume, Range ignored: 200 with a length other than the HEAD's", remote.substr(0, 1000), remote,
         Script({Conn({head3000, R"(HTTP/1.1 200 OK\r\nContent-Length: 2000\r\n\r\n)" + JsonBytes(remote.substr(0, 2000))})}),
         false},
        {"206 starting elsewhere than asked", remote.substr(0, 1000), remote,
         Script({Conn({head3000, R"(HTTP/1.1 206 Partial Content\r\nContent-Range: bytes 0-1999/3000\r\nContent-Length: 2000\r\n\r\n)" +
                                     JsonBytes(remote.substr(0, 2000))})}),
         false},
        {"206 naming another total than the HEAD", std::nullopt, remote,
         Script({Conn({head3000, R"(HTTP/1.1 206 Partial Content\r\nContent-Range: bytes 0-2999/4000\r\nContent-Length: 3000\r\n\r\n)" + body})}),
         false},
        {"206 with an unknown total", std::nullopt, remote,
         Script({Conn({head3000, R"(HTTP/1.1 206 Partial Content\r\nContent-Range: bytes 0-2999/*\r\nContent-Length: 3000\r\n\r\n)" + body})}),
         false},
        {"206 without Content-Range", std::nullopt, remote,
         Script({Conn({head3000, R"(HTTP/1.1 206 Partial Content\r\nContent-Length: 3000\r\n\r\n)" + body})}), false},
        {"206 whose Content-Length disagrees with its range", std::nullopt, remote,
         Script({Conn({head3000, R"(HTTP/1.1 206 Partial Content\r\nContent-Range: bytes 0-2999/3000\r\nContent-Length: 2000\r\n\r\n)" +
                                     JsonBytes(remote.substr(0, 2000))})}),
         false},
        {"206 carrying more than its range (chunked)", std::nullopt, remote,
         Script({Conn({head3000, R"(HTTP/1.1 206 Partial Content\r\nContent-Range: bytes 0-2999/3000\r\nTransfer-Encoding: chunked\r\n\r\nbb8\r\n)" +
                                     body + R"(\r\n10\r\n0123456789abcdef\r\n0\r\n\r\n)"})}),
         false},
        {"206 with a chunk size that is not a number", std::nullopt, remote,
         Script({Conn({head3000, R"(HTTP/1.1 206 Partial Content\r\nContent-Range: bytes 0-2999/3000\r\nTransfer-Encoding: chunked\r\n\r\nzz\r\n)" + body})}),
         false},
        {"local file longer than the remote one", remote + Bytes(500, 42), remote,
         Script({Conn({head3000, whole206})}), true},
        {"HEAD without Content-Length, GET chunked", std::nullopt, remote,
         Script({Conn({R"(HTTP/1.1 200 OK\r\nTransfer-Encoding: chunked\r\n\r\n)",
                       R"(HTTP/1.1 200 OK\r\nTransfer-Encoding: chunked\r\n\r\n3e8\r\n)" + JsonBytes(remote.substr(0, 1000)) +
                           R"(\r\n7d0\r\n)" + JsonBytes(remote.substr(1000)) + R"(\r\n0\r\n\r\n)"})}),
         true},
        {"HEAD without Content-Length, a local file present", remote.substr(0, 1000), remote,
         Script({Conn({R"(HTTP/1.1 200 OK\r\nConnection: close\r\n\r\n)"}, R"({"close": true})"),
                 Conn({R"(HTTP/1.1 200 OK\r\nContent-Length: 3000\r\n\r\n)" + body})}),
         true},
        {"HEAD ends on the redirect limit", std::nullopt, remote,
         Script({R"([{"repeat": 20, "steps": [{"read": "head"},
             {"send": "HTTP/1.1 302 Found\r\nLocation: /loop\r\nContent-Length: 0\r\n\r\n"}]}])"}),
         false},
        {"HEAD with a Content-Length that is not a number", std::nullopt, remote,
         Script({Conn({R"(HTTP/1.1 200 OK\r\nContent-Length: 0x10\r\n\r\n)"})}), false},
        {"HEAD naming a size beyond 2 GiB (4 GiB + 3000)", std::nullopt, remote,
         Script({Conn({R"(HTTP/1.1 200 OK\r\nContent-Length: 4294970296\r\n\r\n)", whole206})}), false},
        {"empty remote file", std::nullopt, "",
         Script({Conn({R"(HTTP/1.1 200 OK\r\nContent-Length: 0\r\n\r\n)"})}), true},
        {"empty remote file, a longer local file", std::string("old bytes"), "",
         Script({Conn({R"(HTTP/1.1 200 OK\r\nContent-Length: 0\r\n\r\n)"})}), true},
        {"a body sent after the HEAD reply", std::nullopt, remote,
         Script({Conn({head3000 + body}), Conn({whole206})}), true},
        // Framing that lies: a coding named as a part of another word, codings
        // the client cannot undo, chunked twice, tabs around a length.
        {"Transfer-Encoding: chunkedchunked", std::nullopt, remote,
         Script({Conn({head3000, R"(HTTP/1.1 206 Partial Content\r\nContent-Range: bytes 0-2999/3000\r\nTransfer-Encoding: chunkedchunked\r\n\r\nbb8\r\n)" +
                                     body + R"(\r\n0\r\n\r\n)"})}),
         false},
        {"Transfer-Encoding: gzip, chunked", std::nullopt, remote,
         Script({Conn({head3000, R"(HTTP/1.1 206 Partial Content\r\nContent-Range: bytes 0-2999/3000\r\nTransfer-Encoding: gzip, chunked\r\n\r\nbb8\r\n)" +
                                     body + R"(\r\n0\r\n\r\n)"})}),
         false},
        {"chunked named on two lines", std::nullopt, remote,
         Script({Conn({head3000, R"(HTTP/1.1 206 Partial Content\r\nContent-Range: bytes 0-2999/3000\r\nTransfer-Encoding: chunked\r\nTransfer-Encoding: chunked\r\n\r\nbb8\r\n)" +
                                     body + R"(\r\n0\r\n\r\n)"})}),
         false},
        {"Transfer-Encoding: \tChunked\t (any case, blanks around)", std::nullopt, remote,
         Script({Conn({head3000, R"(HTTP/1.1 206 Partial Content\r\nContent-Range: bytes 0-2999/3000\r\nTransfer-Encoding: \tChunked\t\r\n\r\nbb8\r\n)" +
                                     body + R"(\r\n0\r\n\r\n)"})}),
         true},
        {"tabs around Content-Length, one request", std::nullopt, remote,
         Script({Conn({R"(HTTP/1.1 200 OK\r\nTransfer-Encoding: chunked\r\n\r\n)",
                       R"(HTTP/1.1 200 OK\r\nContent-Length:\t3000\t\r\n\r\n)" + body})}),
         true},
        {"tabs around Content-Length, ranged", std::nullopt, remote,
         Script({Conn({R"(HTTP/1.1 200 OK\r\nContent-Length: \t3000\t \r\n\r\n)",
                       R"(HTTP/1.1 206 Partial Content\r\nContent-Range:\tbytes 0-2999/3000\t\r\nContent-Length:\t3000\t\r\n\r\n)" + body})}),
         true},
        {"every piece ends before its first byte", std::nullopt, remote,
         R"({"connections": [)" + Conn({head3000}, R"({"close": true})") + R"(],
             "default": [{"read": "head"},
                         {"send": "HTTP/1.1 206 Partial Content\r\nContent-Range: bytes 0-2999/3000\r\nContent-Length: 3000\r\n\r\n"},
                         {"close": true}]})",
         false},
        {"HTTP/1.0 replies without keep-alive", std::nullopt, remote,
         Script({Conn({R"(HTTP/1.0 200 OK\r\nContent-Length: 3000\r\n\r\n)"}, R"({"sleep": 0.3}, {"close": true})"),
                 Conn({R"(HTTP/1.0 206 Partial Content\r\nContent-Range: bytes 0-2999/3000\r\nContent-Length: 3000\r\n\r\n)" + body},
                      R"({"sleep": 0.3}, {"close": true})")}),
         true},
    };
    return cases;
}

}  // namespace download_test
