// Code pages through the system's own tables: GetACP and GetOEMCP name the
// ANSI and OEM code pages, MultiByteToWideChar and WideCharToMultiByte
// convert.
#include "platform/codepage.h"

#include <vector>

#include "platform/win32/win32.h"

namespace platform {
namespace {

// Code pages whose conversion takes no flags and no default character.
bool TakesNoDefaultChar(unsigned cp) {
    return cp == kCodePageUtf7 || cp == 42 || cp == 54936 || (cp >= 50220 && cp <= 50229) ||
           (cp >= 57002 && cp <= 57011);
}

}  // namespace

unsigned AnsiCodePage() { return GetACP(); }

unsigned OemCodePage() { return GetOEMCP(); }

bool SystemCodePageAvailable(unsigned codePage) { return IsValidCodePage(codePage) != 0; }

bool SystemBytesToText(unsigned codePage, std::string_view bytes, std::u16string& out) {
    out.clear();
    if (bytes.empty()) return true;
    const int length = static_cast<int>(bytes.size());
    int needed = MultiByteToWideChar(codePage, 0, bytes.data(), length, nullptr, 0);
    if (needed <= 0) return false;
    out.resize(static_cast<size_t>(needed));
    MultiByteToWideChar(codePage, 0, bytes.data(), length, reinterpret_cast<wchar_t*>(out.data()), needed);
    return true;
}

bool SystemTextToBytes(unsigned codePage, std::u16string_view text, char defaultChar, std::string& out) {
    out.clear();
    if (text.empty()) return true;
    const auto* wide = reinterpret_cast<const wchar_t*>(text.data());
    const int length = static_cast<int>(text.size());
    const char defaults[2] = {defaultChar, '\0'};
    const char* def = TakesNoDefaultChar(codePage) ? nullptr : defaults;
    int needed = WideCharToMultiByte(codePage, 0, wide, length, nullptr, 0, def, nullptr);
    if (needed <= 0) return false;
    out.resize(static_cast<size_t>(needed));
    WideCharToMultiByte(codePage, 0, wide, length, out.data(), needed, def, nullptr);
    return true;
}

}  // namespace platform
