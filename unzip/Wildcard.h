// Wildcard patterns that choose archive entries by name: "?" one character,
// "*" any run (folder separators included), "<a-z>" and "<!a-z>" sets, and
// "*<set>" a run of characters of a set. Case is ignored.
#pragma once

#include <string>

namespace unzip {

bool WildcardMatches(const std::u16string& Pattern, const std::u16string& Text);

}  // namespace unzip
