// The command line and the console of the command-line tools.
#pragma once

#include <cstdio>
#include <string>
#include <string_view>
#include <vector>

namespace platform {

// The program's arguments (the program's own name first) as UTF-8.
// Windows: read from the wide command line (CommandLineToArgvW), so names
// outside the ANSI code page ("下载\发布.zip" under code page 1252) arrive
// whole. Linux: argv as given, which is UTF-8 there.
std::vector<std::string> Utf8Arguments(int argc, char** argv);

// Writes UTF-8 text to `stream` (standard output or error). Windows: a
// console gets it as wide text (WriteConsoleW), so it shows the characters
// whatever the console's code page; files and pipes get the UTF-8 bytes.
// Linux: the bytes. False when it could not be written.
bool WriteText(std::FILE* stream, std::string_view utf8);

// printf into WriteText.
#if defined(__GNUC__)
__attribute__((format(printf, 2, 3)))
#endif
bool PrintText(std::FILE* stream, const char* format, ...);

}  // namespace platform
