// The toolkit-free part of the dialogs: the unattended flag and what an
// unattended run writes to standard error.
#include "app/Dialogs.h"

#include "app/Texts.h"
#include "platform/codepage.h"

#include <atomic>
#include <cstdio>

namespace dialogs {
namespace {

std::atomic<bool> gUnattended{false};

}  // namespace

void SetUnattended(bool Value) { gUnattended = Value; }
bool Unattended() { return gUnattended; }

void WriteUnattendedMessage(const std::u16string& Caption, const std::u16string& Text) {
    const std::u16string caption = Caption.empty() ? std::u16string(texts::SWindowTitle) : Caption;
    std::fprintf(stderr, "%s: %s\n", platform::TextToUtf8(caption).c_str(), platform::TextToUtf8(Text).c_str());
    std::fflush(stderr);
}

void WriteHintLine(const std::u16string& Hint) {
    std::fprintf(stderr, "%s\n", platform::TextToUtf8(Hint).c_str());
    std::fflush(stderr);
}

}  // namespace dialogs
