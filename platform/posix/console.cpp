// Arguments and console output on Linux: UTF-8 bytes both ways.
#include "platform/console.h"

namespace platform {

std::vector<std::string> Utf8Arguments(int argc, char** argv) { return {argv, argv + argc}; }

bool WriteText(std::FILE* stream, std::string_view utf8) {
    return std::fwrite(utf8.data(), 1, utf8.size(), stream) == utf8.size();
}

}  // namespace platform
