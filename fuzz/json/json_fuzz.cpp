// Feeds arbitrary bytes to the JSON parser, the writer and the path
// evaluator.
//
// Input layout: byte 0 holds option bits (strict, partial, indent, escape,
// UTF-8 or byte-wise decoding); the rest is a document, optionally followed
// by paths, each introduced by a 0x01 byte. Every input must leave no value
// alive, CalcSize must agree with the length of AsJSon, and a copy (also
// after merging the original into it) must print as the original.
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "json/jsonvalue.h"
#include "platform/codepage.h"

using namespace json;

namespace {

std::u16string Decode(std::string_view bytes, bool utf8) {
    if (utf8) return platform::Utf8ToText(bytes);
    return std::u16string(bytes.begin(), bytes.end());
}

// A store may reach a million slots past an array's end (8 MiB): valid, but
// not what a fuzzing run can afford many times per input. Indexes come from
// numbers in the paths or in the document, so inputs holding a number of six
// digits or more only read.
bool HasLongNumber(std::string_view bytes) {
    int run = 0;
    for (char c : bytes) {
        run = (c >= '0' && c <= '9') ? run + 1 : 0;
        if (run >= 6) return true;
    }
    return false;
}

void Check(bool ok) {
    if (!ok) __builtin_trap();
}

void Exercise(const uint8_t* data, size_t size) {
    if (size == 0) return;
    const uint8_t flags = data[0];
    const bool readOnly = HasLongNumber(std::string_view(reinterpret_cast<const char*>(data), size));
    const bool strict = flags & 1, partial = flags & 2, indent = flags & 4, escape = flags & 8,
               utf8 = flags & 16;
    std::string_view rest(reinterpret_cast<const char*>(data + 1), size - 1);
    std::vector<std::u16string> paths;
    size_t cut = rest.find('\x01');
    std::string_view doc = rest.substr(0, cut);
    while (cut != std::string_view::npos) {
        size_t next = rest.find('\x01', cut + 1);
        paths.push_back(Decode(rest.substr(cut + 1, next == std::string_view::npos ? next : next - cut - 1), utf8));
        cut = next;
    }

    IJsonValue v = TJsonValue::ParseString(Decode(doc, utf8), strict, partial);
    if (!v) return;
    std::u16string text = v->AsJSon(indent, escape);
    Check(static_cast<int64_t>(text.size()) == v->CalcSize(indent, escape));
    IJsonValue again = ParseJsonText(text);
    if (again) again->AsJSon(!indent, !escape);
    IJsonValue copy = v->Clone();
    Check(copy->AsJSon(indent, escape) == text);
    copy->Merge(v, false);
    Check(copy->AsJSon(indent, escape) == text);

    for (const auto& path : paths) {
        v->GetString(path);
        v->GetObject(path);
        // An array handed out without a handle must still be alive here.
        if (TJsonArray* a = v->GetArray(path)) Check(a->Length() >= 0);
        if (!readOnly) {
            v->PutString(path, u"x");
            v->ForcePath(path, stArray);
        }
        v->Delete(path);
        v->GetString(path);
    }
    text = v->AsJSon(indent, escape);
    Check(static_cast<int64_t>(text.size()) == v->CalcSize(indent, escape));
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const int32_t before = JsonLiveValues();
    Exercise(data, size);
    Check(JsonLiveValues() == before);
    return 0;
}
