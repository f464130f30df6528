// The URL download service: URLDownloadToFileW of urlmon.dll, found at run
// time, with a status callback object that relays the service's progress;
// WinINet's internet cache.
#include "platform/urldownload.h"

#include "platform/win32/win32.h"

#include <urlmon.h>
#include <wininet.h>
#undef DeleteUrlCacheEntry  // wininet.h's name for DeleteUrlCacheEntryW

#include <exception>
#include <mutex>

namespace platform {
namespace {

using TURLDownloadToFileW = HRESULT(WINAPI*)(LPUNKNOWN, LPCWSTR, LPCWSTR, DWORD, LPBINDSTATUSCALLBACK);

constexpr wchar_t kLibrary[] = L"urlmon.dll";

std::mutex loadLock;
TURLDownloadToFileW downloadToFile = nullptr;  // set once, under loadLock

// The text without leading and trailing blanks and control characters.
std::u16string Trimmed(const wchar_t* text) {
    if (text == nullptr) return {};
    std::u16string s = win32::Text(text);
    size_t first = 0, last = s.size();
    while (first < last && s[first] <= u' ') ++first;
    while (last > first && s[last - 1] <= u' ') --last;
    return s.substr(first, last - first);
}

// The callback object handed to the service for one download. It relays
// every progress report to the caller's routine and answers E_ABORT once the
// routine cancelled (or failed); the service's other questions are not
// answered. As the HTTP negotiation object it notes the reply's status
// code, which the progress reports do not carry. Reference counted as COM
// wants: made with one reference, which the download drops when the service
// has returned; Detach() first cuts the link to the routine, so a reference
// the service might keep reaches nothing of the finished call.
bool IsHttps(const wchar_t* url) { return url != nullptr && _wcsnicmp(url, L"https://", 8) == 0; }

class TBindStatusCallback final : public IBindStatusCallback, public IHttpNegotiate {
public:
    TBindStatusCallback(const UrlDownloadProgress& progress, bool secure) : progress_(&progress), secure_(secure) {}

    bool Cancelled() const { return cancelled_; }
    // True when the bind was aborted at a redirect from https to http.
    bool Downgraded() const { return downgraded_; }
    std::exception_ptr Failure() const { return failure_; }
    // The status code of the last HTTP reply, 0 when there was none.
    DWORD ResponseCode() const { return responseCode_; }
    void Detach() { progress_ = nullptr; }

    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID riid, void** object) override {
        if (object == nullptr) return E_POINTER;
        if (IsEqualIID(riid, IID_IUnknown) || IsEqualIID(riid, IID_IBindStatusCallback)) {
            *object = static_cast<IBindStatusCallback*>(this);
            AddRef();
            return S_OK;
        }
        if (IsEqualIID(riid, IID_IHttpNegotiate)) {
            *object = static_cast<IHttpNegotiate*>(this);
            AddRef();
            return S_OK;
        }
        *object = nullptr;
        return E_NOINTERFACE;
    }
    ULONG STDMETHODCALLTYPE AddRef() override { return static_cast<ULONG>(InterlockedIncrement(&references_)); }
    ULONG STDMETHODCALLTYPE Release() override {
        const LONG left = InterlockedDecrement(&references_);
        if (left == 0) delete this;
        return static_cast<ULONG>(left);
    }

    HRESULT STDMETHODCALLTYPE OnProgress(ULONG ulProgress, ULONG ulProgressMax, ULONG ulStatusCode,
                                         LPCWSTR szStatusText) override {
        if (cancelled_) return E_ABORT;
        // Once on https, never on to http: the bind ends at such a redirect.
        if (ulStatusCode == BINDSTATUS_REDIRECTING) {
            const bool secure = IsHttps(szStatusText);
            if (secure_ && !secure) {
                downgraded_ = cancelled_ = true;
                return E_ABORT;
            }
            secure_ = secure;
        }
        if (progress_ == nullptr || !*progress_) return S_OK;
        // No exception may cross the service's frames: it is kept and raised
        // again once the service has returned.
        try {
            if ((*progress_)(ulProgress, ulProgressMax, ulStatusCode, Trimmed(szStatusText))) cancelled_ = true;
        } catch (...) {
            failure_ = std::current_exception();
            cancelled_ = true;
        }
        return cancelled_ ? E_ABORT : S_OK;
    }

    HRESULT STDMETHODCALLTYPE OnStartBinding(DWORD, IBinding*) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE GetPriority(LONG*) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE OnLowResource(DWORD) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE OnStopBinding(HRESULT, LPCWSTR) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE GetBindInfo(DWORD*, BINDINFO*) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE OnDataAvailable(DWORD, DWORD, FORMATETC*, STGMEDIUM*) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE OnObjectAvailable(REFIID, IUnknown*) override { return E_NOTIMPL; }

    // No request headers of our own.
    HRESULT STDMETHODCALLTYPE BeginningTransaction(LPCWSTR, LPCWSTR, DWORD, LPWSTR* additionalHeaders) override {
        if (additionalHeaders != nullptr) *additionalHeaders = nullptr;
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE OnResponse(DWORD responseCode, LPCWSTR, LPCWSTR,
                                         LPWSTR* additionalRequestHeaders) override {
        if (additionalRequestHeaders != nullptr) *additionalRequestHeaders = nullptr;
        responseCode_ = responseCode;
        return S_OK;
    }

private:
    ~TBindStatusCallback() = default;

    LONG references_ = 1;
    const UrlDownloadProgress* progress_;
    bool secure_;  // the address bound now is https
    bool cancelled_ = false;
    bool downgraded_ = false;
    std::exception_ptr failure_;
    DWORD responseCode_ = 0;
};

TURLDownloadToFileW LoadedFunction() {
    std::lock_guard<std::mutex> lock(loadLock);
    return downloadToFile;
}

}  // namespace

bool HasUrlDownloadService() { return true; }

std::u16string UrlDownloadLibrary() { return win32::Text(kLibrary); }

bool LoadUrlDownloadService() {
    std::lock_guard<std::mutex> lock(loadLock);
    if (downloadToFile != nullptr) return true;
    // From the system folder only: a program started from a download folder
    // must not load a urlmon.dll that was put beside it.
    wchar_t folder[MAX_PATH];
    const UINT length = GetSystemDirectoryW(folder, MAX_PATH);
    if (length == 0 || length >= MAX_PATH) return false;
    std::wstring path(folder, length);
    path += L'\\';
    path += kLibrary;
    HMODULE library = LoadLibraryW(path.c_str());
    if (library == nullptr) return false;
    const auto function = reinterpret_cast<TURLDownloadToFileW>(
        reinterpret_cast<void (*)()>(GetProcAddress(library, "URLDownloadToFileW")));
    if (function == nullptr) {
        FreeLibrary(library);
        return false;
    }
    downloadToFile = function;  // the library stays loaded for the rest of the process
    return true;
}

void DeleteUrlCacheEntry(const std::u16string& url) {
    // False when the cache holds no entry for the address, which is fine.
    DeleteUrlCacheEntryW(win32::Wide(url));
}

long UrlDownloadToFile(const std::u16string& url, const std::u16string& fileName,
                       const UrlDownloadProgress& progress) {
    const TURLDownloadToFileW function = LoadedFunction();
    if (function == nullptr) return kUrlDownloadAborted;
    win32::TComScope com;
    auto* callback = new TBindStatusCallback(progress, IsHttps(win32::Wide(url)));
    const std::wstring target = win32::NativePath(fileName);
    const HRESULT result = function(nullptr, win32::Wide(url), target.c_str(), 0, callback);
    const bool cancelled = callback->Cancelled();
    const bool downgraded = callback->Downgraded();
    const std::exception_ptr failure = callback->Failure();
    const DWORD responseCode = callback->ResponseCode();
    callback->Detach();
    callback->Release();
    if (failure) std::rethrow_exception(failure);
    if (downgraded) return static_cast<long>(INET_E_REDIRECT_FAILED);
    // A cancelled download is no success, even where the service went on to
    // the end regardless of the answer.
    if (cancelled) return kUrlDownloadAborted;
    // An HTTP reply other than success is a failed download, also where the
    // service saved the server's error page as the file and reported success.
    if (SUCCEEDED(result) && responseCode != 0 && (responseCode < 200 || responseCode > 299))
        return static_cast<long>(INET_E_DOWNLOAD_FAILURE);
    return static_cast<long>(result);
}

}  // namespace platform
