// The separator of folders in this system's paths: the flows build paths by
// plain concatenation with it.
#pragma once

#include <string>

namespace platform {

#ifdef _WIN32
inline constexpr char16_t PathDelim = u'\\';
#else
inline constexpr char16_t PathDelim = u'/';
#endif

// The separator as text, for concatenation.
inline const std::u16string& PathDelimText() {
    static const std::u16string text(1, PathDelim);
    return text;
}

}  // namespace platform
