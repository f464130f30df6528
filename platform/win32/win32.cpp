#include "platform/win32/win32.h"

#include <mutex>

namespace platform::win32 {

std::wstring NativePath(const std::u16string& path) {
    std::wstring native(reinterpret_cast<const wchar_t*>(path.data()), path.size());
    for (auto& c : native)
        if (c == L'/') c = L'\\';
    return native;
}

std::wstring LongPath(const std::wstring& native) {
    constexpr size_t kClassicFolderLimit = MAX_PATH - 12;
    if (native.size() < kClassicFolderLimit || native.rfind(L"\\\\?\\", 0) == 0) return native;
    DWORD length = GetFullPathNameW(native.c_str(), 0, nullptr, nullptr);
    if (length == 0) return native;
    std::wstring full(length, L'\0');
    length = GetFullPathNameW(native.c_str(), length, full.data(), nullptr);
    full.resize(length);
    if (full.size() >= 3 && full[1] == L':' && full[2] == L'\\') return L"\\\\?\\" + full;
    if (full.rfind(L"\\\\", 0) == 0) return L"\\\\?\\UNC\\" + full.substr(2);
    return native;
}

std::wstring FilePath(const std::u16string& path) { return LongPath(NativePath(path)); }

std::u16string ErrorMessage(unsigned long error) {
    wchar_t* buffer = nullptr;
    DWORD length = FormatMessageW(FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM |
                                      FORMAT_MESSAGE_IGNORE_INSERTS,
                                  nullptr, error, 0, reinterpret_cast<wchar_t*>(&buffer), 0, nullptr);
    std::u16string message;
    if (length != 0 && buffer != nullptr) message = Text(buffer, length);
    if (buffer) LocalFree(buffer);
    while (!message.empty() && (message.back() == u'\n' || message.back() == u'\r' || message.back() == u' ' ||
                                message.back() == u'.'))
        message.pop_back();
    if (message.empty()) {
        std::string number = "System error " + std::to_string(error);
        message.assign(number.begin(), number.end());
    }
    return message;
}

void EnsureWinsock() {
    static std::once_flag once;
    std::call_once(once, [] {
        WSADATA data;
        WSAStartup(MAKEWORD(2, 2), &data);
    });
}

SOCKET OpenUninheritedSocket(int family, TOpenSocket open) {
    if (open == nullptr)
        open = [](int af, DWORD flags) { return ::WSASocketW(af, SOCK_STREAM, IPPROTO_TCP, nullptr, 0, flags); };
    SOCKET s = open(family, WSA_FLAG_OVERLAPPED | WSA_FLAG_NO_HANDLE_INHERIT);
    if (s != INVALID_SOCKET || WSAGetLastError() != WSAEINVAL) return s;
    s = open(family, WSA_FLAG_OVERLAPPED);
    if (s != INVALID_SOCKET) SetHandleInformation(reinterpret_cast<HANDLE>(s), HANDLE_FLAG_INHERIT, 0);
    return s;
}

namespace {
// 100-ns intervals from 1601-01-01 to 1970-01-01.
constexpr int64_t kEpochDifference = 116444736000000000LL;
}  // namespace

int64_t FileTimeTo100ns(const FILETIME& time) {
    return static_cast<int64_t>((static_cast<uint64_t>(time.dwHighDateTime) << 32) | time.dwLowDateTime) -
           kEpochDifference;
}

int64_t FileTimeToUnixSeconds(const FILETIME& time) {
    int64_t ticks = FileTimeTo100ns(time);
    // Floor division: times before 1970 round down as POSIX seconds do.
    return ticks >= 0 ? ticks / 10000000 : -((-ticks + 9999999) / 10000000);
}

FILETIME UnixSecondsToFileTime(int64_t seconds) {
    uint64_t ticks = static_cast<uint64_t>(seconds * 10000000 + kEpochDifference);
    FILETIME time;
    time.dwLowDateTime = static_cast<DWORD>(ticks);
    time.dwHighDateTime = static_cast<DWORD>(ticks >> 32);
    return time;
}

}  // namespace platform::win32
