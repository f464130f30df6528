#include "platform/exception.h"

#include "platform/codepage.h"

namespace platform {

Exception::Exception(std::u16string message)
    : message_(std::move(message)), utf8_(TextToUtf8(message_)) {}

Exception::Exception(const char* asciiOrUtf8Message)
    : message_(Utf8ToText(asciiOrUtf8Message)), utf8_(asciiOrUtf8Message) {}

}  // namespace platform
