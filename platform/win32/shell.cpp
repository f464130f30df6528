// Listing, deleting and starting through the Win32 file calls and the shell.
#include "platform/shell.h"

#include "platform/win32/win32.h"

#include <exdisp.h>
#include <shellapi.h>
#include <shldisp.h>
#include <shlguid.h>
#include <shlobj.h>

namespace platform {
namespace {

constexpr unsigned kListedAttributes = faReadOnly | faHidden | faSysFile | faDirectory | faSymLink;

// One argument quoted as CommandLineToArgvW and the C runtime split a
// command line: backslashes are literal unless they precede a quote.
std::u16string QuoteArgument(const std::u16string& argument) {
    if (!argument.empty() && argument.find_first_of(u" \t\n\v\"") == std::u16string::npos) return argument;
    std::u16string quoted = u"\"";
    size_t backslashes = 0;
    for (char16_t c : argument) {
        if (c == u'\\') {
            ++backslashes;
            continue;
        }
        if (c == u'"') quoted.append(backslashes * 2 + 1, u'\\');
        else quoted.append(backslashes, u'\\');
        backslashes = 0;
        quoted += c;
    }
    quoted.append(backslashes * 2, u'\\');
    return quoted + u"\"";
}

// A BSTR freed at the end of its scope.
class TBstr {
public:
    explicit TBstr(const std::wstring& text) : b_(SysAllocStringLen(text.data(), static_cast<UINT>(text.size()))) {}
    ~TBstr() { SysFreeString(b_); }
    TBstr(const TBstr&) = delete;
    TBstr& operator=(const TBstr&) = delete;
    BSTR get() const { return b_; }

private:
    BSTR b_;
};

bool RunsElevated() {
    HANDLE token = nullptr;
    if (!OpenProcessToken(GetCurrentProcess(), TOKEN_QUERY, &token)) return false;
    TOKEN_ELEVATION elevation{};
    DWORD size = 0;
    bool elevated = GetTokenInformation(token, TokenElevation, &elevation, sizeof elevation, &size) &&
                    elevation.TokenIsElevated != 0;
    CloseHandle(token);
    return elevated;
}

// The desktop shell's automation object: the shell window of the desktop,
// its view's background object, and the application behind that. The shell
// runs as the user who signed in, so what it starts runs as that user.
bool DesktopShell(IShellDispatch2** shell) {
    win32::TComPtr<IShellWindows> windows;
    if (FAILED(CoCreateInstance(CLSID_ShellWindows, nullptr, CLSCTX_ALL, IID_IShellWindows,
                                reinterpret_cast<void**>(&windows))))
        return false;
    VARIANT location, root;
    VariantInit(&location);
    VariantInit(&root);
    location.vt = VT_I4;
    location.lVal = CSIDL_DESKTOP;
    long window = 0;
    win32::TComPtr<IDispatch> desktop;
    if (windows->FindWindowSW(&location, &root, SWC_DESKTOP, &window, SWFO_NEEDDISPATCH, &desktop) != S_OK ||
        !desktop)
        return false;
    win32::TComPtr<IServiceProvider> services;
    if (FAILED(desktop->QueryInterface(IID_IServiceProvider, reinterpret_cast<void**>(&services)))) return false;
    win32::TComPtr<IShellBrowser> browser;
    if (FAILED(services->QueryService(SID_STopLevelBrowser, IID_IShellBrowser, reinterpret_cast<void**>(&browser))))
        return false;
    win32::TComPtr<IShellView> view;
    if (FAILED(browser->QueryActiveShellView(&view))) return false;
    win32::TComPtr<IDispatch> background;
    if (FAILED(view->GetItemObject(SVGIO_BACKGROUND, IID_IDispatch, reinterpret_cast<void**>(&background))))
        return false;
    win32::TComPtr<IShellFolderViewDual> folderView;
    if (FAILED(background->QueryInterface(IID_IShellFolderViewDual, reinterpret_cast<void**>(&folderView))))
        return false;
    win32::TComPtr<IDispatch> application;
    if (FAILED(folderView->get_Application(&application))) return false;
    return SUCCEEDED(application->QueryInterface(IID_IShellDispatch2, reinterpret_cast<void**>(shell)));
}

bool StartThroughDesktopShell(const std::wstring& program, const std::wstring& folder) {
    win32::TComScope com;
    if (!com.Usable()) return false;
    IShellDispatch2* raw = nullptr;
    if (!DesktopShell(&raw)) return false;
    win32::TComPtr<IShellDispatch2> shell;
    *&shell = raw;
    TBstr file(program);
    VARIANT arguments, directory, operation, show;
    VariantInit(&arguments);
    VariantInit(&directory);
    VariantInit(&operation);
    VariantInit(&show);
    TBstr folderText(folder);
    directory.vt = VT_BSTR;
    directory.bstrVal = folderText.get();
    show.vt = VT_I4;
    show.lVal = SW_SHOWNORMAL;
    return SUCCEEDED(shell->ShellExecute(file.get(), arguments, directory, operation, show));
}

}  // namespace

bool ListFolder(const std::u16string& folder, std::vector<TFolderEntry>& entries) {
    entries.clear();
    std::wstring pattern = win32::NativePath(folder.empty() ? u"." : folder);
    if (pattern.back() != L'\\') pattern += L'\\';
    pattern = win32::LongPath(pattern + L'*');
    WIN32_FIND_DATAW data;
    HANDLE find = FindFirstFileW(pattern.c_str(), &data);
    if (find == INVALID_HANDLE_VALUE) return GetLastError() == ERROR_FILE_NOT_FOUND;
    do {
        std::u16string name = win32::Text(data.cFileName);
        if (name == u"." || name == u"..") continue;
        entries.push_back({std::move(name), static_cast<unsigned>(data.dwFileAttributes) & kListedAttributes});
    } while (FindNextFileW(find, &data));
    FindClose(find);
    return true;
}

bool FileExists(const std::u16string& path) {
    DWORD attributes = path.empty() ? INVALID_FILE_ATTRIBUTES : GetFileAttributesW(win32::FilePath(path).c_str());
    return attributes != INVALID_FILE_ATTRIBUTES &&
           (!(attributes & FILE_ATTRIBUTE_DIRECTORY) || (attributes & FILE_ATTRIBUTE_REPARSE_POINT));
}

bool DeleteFileUnlessInUse(const std::u16string& path) {
    // An opener without delete sharing makes the deletion fail with a
    // sharing violation; that is the system's own notion of "in use".
    return DeleteFile(path);
}

bool DeleteTree(const std::u16string& path, std::u16string* error) {
    if (error) error->clear();
    std::wstring native = win32::NativePath(path);
    while (native.size() > 3 && native.back() == L'\\') native.pop_back();
    if (native.empty() || GetFileAttributesW(native.c_str()) == INVALID_FILE_ATTRIBUTES) {
        if (error)
            *error = u"Cannot delete " + path + u": " +
                     win32::ErrorMessage(native.empty() ? ERROR_FILE_NOT_FOUND : GetLastError());
        return false;
    }
    native.push_back(L'\0');  // the list of names ends with an empty name
    SHFILEOPSTRUCTW operation{};
    operation.wFunc = FO_DELETE;
    operation.pFrom = native.c_str();
    operation.fFlags = FOF_NOCONFIRMATION | FOF_NOERRORUI | FOF_SILENT;
    int result = SHFileOperationW(&operation);
    if (result == 0 && !operation.fAnyOperationsAborted && GetFileAttributesW(native.c_str()) == INVALID_FILE_ATTRIBUTES)
        return true;
    if (error) {
        // The shell's results below 0x71 are system error numbers.
        DWORD reason = result != 0 && result < 0x71 ? static_cast<DWORD>(result) : ERROR_ACCESS_DENIED;
        *error = u"Cannot delete " + path + u": " + win32::ErrorMessage(reason);
    }
    return false;
}

bool ShellExecute(const std::u16string& file, const std::vector<std::u16string>& args,
                  const std::u16string& workingFolder) {
    if (file.empty() || GetFileAttributesW(win32::Wide(file)) == INVALID_FILE_ATTRIBUTES) return false;
    if (!workingFolder.empty() && !DirectoryExists(workingFolder)) return false;
    std::u16string parameters;
    for (const auto& argument : args) {
        if (!parameters.empty()) parameters += u' ';
        parameters += QuoteArgument(argument);
    }
    std::wstring program = win32::NativePath(file);
    std::wstring folder = win32::NativePath(workingFolder);
    HINSTANCE result = ShellExecuteW(nullptr, L"open", program.c_str(),
                                     parameters.empty() ? nullptr : win32::Wide(parameters),
                                     folder.empty() ? nullptr : folder.c_str(), SW_SHOWNORMAL);
    return reinterpret_cast<intptr_t>(result) > 32;
}

bool StartAsDesktopUser(const std::u16string& file, const std::u16string& workingFolder) {
    if (file.empty() || GetFileAttributesW(win32::Wide(file)) == INVALID_FILE_ATTRIBUTES) return false;
    if (!workingFolder.empty() && !DirectoryExists(workingFolder)) return false;
    if (RunsElevated() && StartThroughDesktopShell(win32::NativePath(file), win32::NativePath(workingFolder)))
        return true;
    return ShellExecute(file, {}, workingFolder);
}

}  // namespace platform
