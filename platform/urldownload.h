// The system's URL download service: fetching one address into one file on
// the calling thread with progress reports, and the internet cache in front
// of it.
//
// Windows: URLDownloadToFileW of urlmon.dll, loaded on first use in the
// process, with a status callback object, and DeleteUrlCacheEntryW of
// WinINet. Linux has no such service and no system internet cache: there
// HasUrlDownloadService() is false and callers fetch by their own means.
#pragma once

#include <cstdint>
#include <functional>
#include <string>

#undef DeleteUrlCacheEntry  // wininet.h's name for DeleteUrlCacheEntryW

namespace platform {

// One progress report of the service: bytes so far, total bytes (0 when not
// known), the service's status code as the service numbers it (1 finding
// the resource, 2 connecting, 3 redirecting, 4 beginning, 5 downloading and
// 6 ending the data, ...) and its status text without leading or trailing
// blanks and control characters. Answering true cancels the download.
using UrlDownloadProgress = std::function<bool(uint32_t Progress, uint32_t ProgressMax,
                                               uint32_t StatusCode, const std::u16string& StatusText)>;

// The result of a download that the service reports when a progress report
// cancelled it (E_ABORT).
inline constexpr long kUrlDownloadAborted = static_cast<long>(0x80004004u);

// Whether this system has a URL download service at all.
bool HasUrlDownloadService();

// The library that holds the service ("urlmon.dll"), for messages; empty
// where there is none.
std::u16string UrlDownloadLibrary();

// Loads the service's library and finds its download function. The first
// success is kept for the rest of the process; a failure is tried again on
// the next call. False when the library or the function is missing (and
// always where there is no service).
bool LoadUrlDownloadService();

// Removes the address's entry from the system's internet cache, so that the
// next fetch goes to the server; nothing to do when there is no entry or no
// cache.
void DeleteUrlCacheEntry(const std::u16string& url);

// Fetches `url` into `fileName` through the service, returning when the
// service is done: its result, 0 on success. Needs LoadUrlDownloadService()
// to have succeeded (kUrlDownloadAborted otherwise). COM is initialised for
// the call when the calling thread has not initialised it, and uninitialised
// again afterwards.
//
// Every report goes to `progress` on the calling thread. A download that a
// report cancelled gives kUrlDownloadAborted even where the service finishes
// it anyway. An exception thrown by `progress` cancels the download and is
// raised again once the service has returned. An HTTP reply whose status is
// not 2xx gives INET_E_DOWNLOAD_FAILURE (0x800C0008) even where the service
// saved the error page as the file and reported success.
long UrlDownloadToFile(const std::u16string& url, const std::u16string& fileName,
                       const UrlDownloadProgress& progress);

}  // namespace platform
