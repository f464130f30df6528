#include "platform/process.h"

#include <cstdio>
#include <cstdlib>

namespace platform {
namespace {

std::u16string UpperAsciiLetters(std::u16string_view s) {
    std::u16string out(s);
    for (auto& c : out)
        if (c >= u'a' && c <= u'z') c = static_cast<char16_t>(c - u'a' + u'A');
    return out;
}

std::u16string_view BaseName(std::u16string_view s) {
    size_t cut = s.find_last_of(u"/\\:");
    return cut == std::u16string_view::npos ? s : s.substr(cut + 1);
}

}  // namespace

bool ProcessMatches(const TProcessEntry& entry, const std::u16string& fileName) {
    if (fileName.empty()) return false;
    std::u16string wanted = UpperAsciiLetters(fileName);
    for (const std::u16string* name : {&entry.ExeFile, &entry.Argv0, &entry.Comm}) {
        if (name->empty()) continue;
        std::u16string upper = UpperAsciiLetters(*name);
        if (upper == wanted || BaseName(upper) == wanted) return true;
    }
    return false;
}

void EndProcessesNamed(const std::u16string& fileName) {
    int self = CurrentProcessId();
    bool selfMatches = false;
    for (const auto& entry : ProcessSnapshot()) {
        if (!ProcessMatches(entry, fileName)) continue;
        if (entry.ProcessID == self) {
            selfMatches = true;
            continue;
        }
        KillProcess(entry.ProcessID);
    }
    if (selfMatches) EndCurrentProcess();
}

void EndCurrentProcess() {
    std::fflush(nullptr);
    std::_Exit(0);
}

}  // namespace platform
