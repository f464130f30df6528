// TNetURI: an address split into its parts (scheme, credentials, host, port,
// path, file name, query, fragment) and composed again.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

namespace http {

enum class TNetIPVersion { IPv4, IPv6 };

// Optional parts of a composed address.
enum TNetURIOptionalFields : unsigned {
    ofNone = 0,
    ofAuthInfo = 1,  // user name and password
    ofBookmark = 2,  // fragment
};
inline TNetURIOptionalFields operator|(TNetURIOptionalFields a, TNetURIOptionalFields b) {
    return static_cast<TNetURIOptionalFields>(static_cast<unsigned>(a) | static_cast<unsigned>(b));
}

// The port rules of addresses, in one place.
//
// The port a scheme uses when an address names none: 80 for http, 443 for
// https, 21 for ftp (the scheme in any letter case); 0 for any other scheme.
uint16_t DefaultPort(std::u16string_view AProtocol);
// Reads a port as an address writes it: decimal digits only, 1 to 65535.
bool TryReadPort(std::u16string_view AText, uint16_t& APort);

// Whether the text holds a control character (U+0000..U+001F, U+007F): such
// an address is never sent, since a CR or LF in it would end the request
// line and start header lines of the sender's choosing.
bool HasControlCharacter(std::u16string_view AText);

// Characters outside ASCII as a request line carries them: the bytes of
// their UTF-8 form, each as "%XX" ("/文件.zip" -> "/%E6%96%87%E4%BB%B6.zip").
// Everything else, "%" included, stays as written.
std::u16string PercentEncodeNonAscii(const std::u16string& text);

class TNetURI {
public:
    TNetURI() = default;
    explicit TNetURI(const std::u16string& AURI);

    // Reading stores the composition with both optional parts (see FullURIText)
    // and returns the composition without them. Raises ENetURIException when
    // the protocol or the host is empty.
    std::u16string GetURI();
    // Parses the text into the parts; never fails. "://" makes an absolute
    // address only right after a scheme at the start; a text that begins
    // with "//" names a host but no scheme (scheme-relative).
    void SetURI(const std::u16string& AURI);
    // The whole address as last set or composed.
    const std::u16string& FullURIText() const { return FURI; }

    std::u16string GetFullURI(TNetURIOptionalFields AOptionalFields = ofAuthInfo | ofBookmark) const;
    // Path + Document, then "?" and Params when there are any: the request target.
    std::u16string GetPathAndParams() const;
    // Host as an address and the Host header write it: an IPv6 host in
    // brackets, then ":" and Port unless Port is empty or the scheme's
    // default.
    std::u16string GetHostAndPort() const;

    // Every backslash becomes "/".
    static std::u16string NormalizePath(const std::u16string& APath);
    // Resolves APath against ABasePath: "." and ".." segments, collapsed "/" runs.
    static std::u16string MergePaths(const std::u16string& ABasePath, const std::u16string& APath);

    std::u16string Document;  // last path segment, no query or fragment
    std::u16string Protocol;  // scheme as written, without "://"
    std::u16string Port;      // empty when the address names none
    std::u16string Path;      // directory part, "/" ... "/" for an absolute address
    std::u16string Host;      // an IPv6 host without its brackets
    std::u16string Bookmark;  // fragment, without "#"
    std::u16string Username;
    std::u16string Password;
    std::u16string Params;  // query, without "?"
    TNetIPVersion IPVersion = TNetIPVersion::IPv4;

private:
    std::u16string FURI;
};

}  // namespace http
