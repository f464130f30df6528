// The root of the program's exception families. Messages are text (UTF-16);
// what() gives the same message as UTF-8 for logs and tools.
#pragma once

#include <exception>
#include <string>

namespace platform {

class Exception : public std::exception {
public:
    explicit Exception(std::u16string message);
    explicit Exception(const char* asciiOrUtf8Message);
    const std::u16string& Message() const noexcept { return message_; }
    const char* what() const noexcept override { return utf8_.c_str(); }

private:
    std::u16string message_;
    std::string utf8_;
};

// A value outside the range an operation allows (positions beyond 2 GiB etc.).
class ERangeError : public Exception {
public:
    using Exception::Exception;
};

}  // namespace platform
