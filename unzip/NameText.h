// Small helpers on names shared by the directory reader and the extraction
// driver. Internal to the extraction library.
#pragma once

#include <string>

#include "platform/casefold.h"

namespace unzip {

// Case is ignored the same way under every locale.
inline std::u16string FoldName(const std::u16string& s) { return platform::FoldCase(s); }

inline std::u16string ChangeExt(const std::u16string& name, const std::u16string& ext) {
    size_t slash = name.find_last_of(u"/");
    size_t dot = name.find_last_of(u'.');
    if (dot == std::u16string::npos || (slash != std::u16string::npos && dot < slash)) return name + ext;
    return name.substr(0, dot) + ext;
}

inline std::u16string ExtOf(const std::u16string& name) {
    size_t slash = name.find_last_of(u"/");
    size_t dot = name.find_last_of(u'.');
    if (dot == std::u16string::npos || (slash != std::u16string::npos && dot < slash)) return {};
    return name.substr(dot);
}

// Runs a cleanup on every way out of a scope.
template <class F>
struct Finally {
    F f;
    ~Finally() { f(); }
};
template <class F>
Finally(F) -> Finally<F>;

}  // namespace unzip
