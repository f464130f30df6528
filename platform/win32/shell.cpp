// Listing, deleting and starting through the Win32 file calls and the shell.
#include "platform/shell.h"

#include "platform/win32/win32.h"

#include <shellapi.h>

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

}  // namespace

bool ListFolder(const std::u16string& folder, std::vector<TFolderEntry>& entries) {
    entries.clear();
    std::wstring pattern = win32::NativePath(folder.empty() ? u"." : folder);
    if (pattern.back() != L'\\') pattern += L'\\';
    pattern += L'*';
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
    DWORD attributes = path.empty() ? INVALID_FILE_ATTRIBUTES : GetFileAttributesW(win32::Wide(path));
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

}  // namespace platform
