// The fixed texts of the JSON subsystem, in one place.
#pragma once

namespace json::texts {

inline constexpr const char* kInvalidPointer = "Invalid pointer";
inline constexpr const char* kMemoryLeak = "Memory leak";

inline constexpr char16_t kNull[] = u"null";
inline constexpr char16_t kTrue[] = u"true";
inline constexpr char16_t kFalse[] = u"false";
inline constexpr char16_t kEmptyObject[] = u"{}";
inline constexpr char16_t kEmptyArray[] = u"[]";
inline constexpr char16_t kLineBreak[] = u"\r\n";
inline constexpr char16_t kMemberSepIndent[] = u"\": ";
inline constexpr char16_t kMemberSep[] = u"\":";
inline constexpr char16_t kInf[] = u"INF";
inline constexpr char16_t kNan[] = u"NAN";
inline constexpr char16_t kHexDigits[] = u"0123456789abcdef";

}  // namespace json::texts
