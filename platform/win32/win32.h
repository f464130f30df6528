// Helpers shared by the Win32 implementations of this layer (never included
// by code outside platform/win32). The program's UTF-16 text is the wide text
// of the W calls, so text crosses without conversion.
#pragma once

#include <winsock2.h>
#include <ws2tcpip.h>
#include <windows.h>
#include <objbase.h>

#include <string>

// windows.h names its W functions through macros; this layer has functions
// of the same names of its own.
#undef DeleteFile
#undef GetEnvironmentVariable
#undef ShellExecute

namespace platform::win32 {

inline const wchar_t* Wide(const std::u16string& text) { return reinterpret_cast<const wchar_t*>(text.c_str()); }
inline std::u16string Text(const wchar_t* wide) { return reinterpret_cast<const char16_t*>(wide); }
inline std::u16string Text(const wchar_t* wide, size_t length) {
    return {reinterpret_cast<const char16_t*>(wide), length};
}

// A COM interface pointer released at the end of its scope.
template <typename T>
class TComPtr {
public:
    TComPtr() = default;
    TComPtr(const TComPtr&) = delete;
    TComPtr& operator=(const TComPtr&) = delete;
    ~TComPtr() {
        if (p_) p_->Release();
    }
    T** operator&() { return &p_; }
    T* operator->() const { return p_; }
    T* get() const { return p_; }
    explicit operator bool() const { return p_ != nullptr; }

private:
    T* p_ = nullptr;
};

// The path with every '/' turned into '\': the calls that need backslashes
// (the shell's, long "\\?\" names) get them; the others accept both.
std::wstring NativePath(const std::u16string& path);

// The path as the file calls take it: NativePath, and a path too long for
// the classic limit (MAX_PATH, 248 for folders) made absolute with the
// "\\?\" prefix ("\\?\UNC\" for a share), which lifts that limit.
std::wstring FilePath(const std::u16string& path);
std::wstring LongPath(const std::wstring& native);

// The system's message for an error number (GetLastError, WSAGetLastError),
// without the trailing full stop and line break.
std::u16string ErrorMessage(unsigned long error);

// Starts Winsock 2.2 once for the whole program.
void EnsureWinsock();

// Where a registry key of this layer's backslash-separated names lives: its
// path below the root and the view flag it is opened with (0, or
// KEY_WOW64_32KEY for a path through SOFTWARE\Wow6432Node, which is opened
// as SOFTWARE\... in the 32-bit view). Path is empty for an unusable name.
struct TKeyLocation {
    std::wstring Path;
    REGSAM View;
};
TKeyLocation KeyPath(const std::u16string& key);

// A TCP socket (overlapped) that started programs do not inherit. Windows 7
// before SP1 refuses WSA_FLAG_NO_HANDLE_INHERIT (WSAEINVAL): the socket is
// then made without the flag and its handle marked not inheritable. `open`
// makes the socket (WSASocketW when null); tests give another.
using TOpenSocket = SOCKET (*)(int family, DWORD flags);
SOCKET OpenUninheritedSocket(int family, TOpenSocket open = nullptr);

// The handle kept in this layer's int-sized handle fields. Kernel handles and
// sockets fit in 32 bits on 64-bit Windows, which shares them with 32-bit
// programs; INVALID_HANDLE_VALUE and INVALID_SOCKET become -1.
inline int HandleToInt(HANDLE handle) { return static_cast<int>(reinterpret_cast<intptr_t>(handle)); }
inline HANDLE IntToHandle(int handle) { return reinterpret_cast<HANDLE>(static_cast<intptr_t>(handle)); }
inline int SocketToInt(SOCKET socket) { return static_cast<int>(static_cast<intptr_t>(socket)); }
inline SOCKET IntToSocket(int socket) { return static_cast<SOCKET>(static_cast<intptr_t>(socket)); }

// COM for the calling thread for as long as the object lives, in the
// single-threaded apartment when the thread has none yet, uninitialised
// again at the end. A thread that already has COM keeps it: in the same
// model the count goes up and down again; in the other model
// (RPC_E_CHANGED_MODE) COM is usable as it is.
class TComScope {
public:
    TComScope() : result_(CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED | COINIT_DISABLE_OLE1DDE)) {}
    ~TComScope() {
        if (SUCCEEDED(result_)) CoUninitialize();
    }
    TComScope(const TComScope&) = delete;
    TComScope& operator=(const TComScope&) = delete;
    bool Usable() const { return SUCCEEDED(result_) || result_ == RPC_E_CHANGED_MODE; }

private:
    HRESULT result_;
};

// Unix seconds <-> FILETIME (100-ns units since 1601-01-01).
int64_t FileTimeToUnixSeconds(const FILETIME& time);
int64_t FileTimeTo100ns(const FILETIME& time);
FILETIME UnixSecondsToFileTime(int64_t seconds);

}  // namespace platform::win32
