// Linux has no URL download service and no system internet cache; callers
// fetch by their own means (HasUrlDownloadService() is false).
#include "platform/urldownload.h"

namespace platform {

bool HasUrlDownloadService() { return false; }

std::u16string UrlDownloadLibrary() { return {}; }

bool LoadUrlDownloadService() { return false; }

void DeleteUrlCacheEntry(const std::u16string&) {}

long UrlDownloadToFile(const std::u16string&, const std::u16string&, const UrlDownloadProgress&) {
    return kUrlDownloadAborted;
}

}  // namespace platform
