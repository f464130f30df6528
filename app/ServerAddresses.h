// Where the update information comes from (the production server asked by
// the install action and the test server asked by the download page, each
// replaceable through the environment by scheme, host and port, e.g.
// "http://127.0.0.1:8080", so that a local server can stand in for it) and
// how its reply names the release archive.
#pragma once

#include <string>

#include "json/jsonvalue.h"
#include "platform/codepage.h"
#include "platform/environment.h"
#include "platform/exception.h"

namespace ServerAddresses {

inline constexpr char16_t kProductionServer[] = u"http://update.zelvano.example";
inline constexpr char16_t kTestServer[] = u"http://test.zelvano.example";
inline constexpr char16_t kUpdateInfoPath[] = u"/api/autodownload/student";
inline constexpr char16_t kXpQuery[] = u"?os=xp";
inline constexpr char16_t kTestUpdateInfoPath[] = u"/dtqnew/student/update/id/1";

inline std::u16string ServerFromEnvironment(const char16_t* variable, const char16_t* fallback) {
    std::u16string server = platform::GetEnvironmentVariable(variable);
    if (server.empty()) server = fallback;
    while (!server.empty() && server.back() == u'/') server.pop_back();
    return server;
}

// The install action's request address.
inline std::u16string UpdateInfoUrl(bool windowsXP) {
    return ServerFromEnvironment(u"ZELVANO_UPDATE_SERVER", kProductionServer) + kUpdateInfoPath +
           (windowsXP ? kXpQuery : u"");
}

// The download page's request address.
inline std::u16string TestUpdateInfoUrl() {
    return ServerFromEnvironment(u"ZELVANO_TEST_UPDATE_SERVER", kTestServer) + kTestUpdateInfoPath;
}

// An update reply as a JSON value: the text narrowed to the ANSI code page,
// read as UTF-8, parsed leniently (text after the first value ignored).
// Raises platform::Exception when the parse yields no value.
inline json::IJsonValue ParseReply(const std::u16string& Reply) {
    std::string narrowed = platform::TextToBytes(platform::AnsiCodePage(), Reply);
    json::IJsonValue value = json::ParseJsonText(platform::Utf8ToText(narrowed));
    if (!value) throw platform::Exception("The update information is not valid JSON");
    return value;
}

// The archive address in an update reply, `download_url`; empty when the
// value is no object or lacks it.
inline std::u16string ArchiveUrlOfReply(const std::u16string& Reply) {
    return ParseReply(Reply)->GetString(u"download_url");
}

// The release statement of an update reply, `release`, and the publisher's
// signature over it, `signature` (both base64 text); empty when the reply
// carries none.
inline std::string StatementOfReply(const std::u16string& Reply) {
    return platform::TextToUtf8(ParseReply(Reply)->GetString(u"release"));
}
inline std::string SignatureOfReply(const std::u16string& Reply) {
    return platform::TextToUtf8(ParseReply(Reply)->GetString(u"signature"));
}

}  // namespace ServerAddresses
