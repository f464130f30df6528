// Arguments from the wide command line; a console written with wide text.
#include "platform/console.h"

#include <io.h>

#include <algorithm>

#include "platform/codepage.h"
#include "platform/win32/win32.h"

#include <shellapi.h>

namespace platform {

std::vector<std::string> Utf8Arguments(int argc, char** argv) {
    int count = 0;
    wchar_t** wide = CommandLineToArgvW(GetCommandLineW(), &count);
    if (wide == nullptr) return {argv, argv + argc};
    std::vector<std::string> arguments;
    for (int k = 0; k < count; ++k) arguments.push_back(TextToUtf8(win32::Text(wide[k])));
    LocalFree(wide);
    return arguments;
}

bool WriteText(std::FILE* stream, std::string_view utf8) {
    HANDLE handle = reinterpret_cast<HANDLE>(_get_osfhandle(_fileno(stream)));
    DWORD mode = 0;
    if (handle == INVALID_HANDLE_VALUE || !GetConsoleMode(handle, &mode))
        return std::fwrite(utf8.data(), 1, utf8.size(), stream) == utf8.size();
    // What the C library holds for the console goes out first.
    std::fflush(stream);
    const std::u16string text = Utf8ToText(utf8);
    for (size_t done = 0; done < text.size();) {
        DWORD written = 0;
        DWORD chunk = static_cast<DWORD>(std::min<size_t>(text.size() - done, 8192));
        if (!WriteConsoleW(handle, win32::Wide(text) + done, chunk, &written, nullptr) || written == 0) return false;
        done += written;
    }
    return true;
}

}  // namespace platform
