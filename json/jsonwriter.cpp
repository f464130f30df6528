// The writer: JSON text of a value tree into a text buffer, a byte stream, a
// file, a socket, or only counted.
#include <bit>
#include <cstdlib>
#include <cstring>
#include <limits>
#include <vector>

#include "json/JsonTexts.h"
#include "json/jsonnumber.h"
#include "json/jsonvalue.h"
#include "json/jsonwalk.h"
#include "platform/socketsend.h"

namespace json {

namespace {

int Length(const char16_t* buf) {
    int n = 0;
    while (buf[n]) ++n;
    return n;
}

// Low 8 bits of each unit, in a local area for short runs.
template <class Sink>
int AsBytes(const char16_t* buf, int Size, Sink sink) {
    char local[1024];
    std::vector<char> big;
    char* p = local;
    if (Size > static_cast<int>(sizeof local)) {
        big.resize(Size);
        p = big.data();
    }
    for (int i = 0; i < Size; ++i) p[i] = static_cast<char>(buf[i] & 0xFF);
    return sink(p, Size);
}

}  // namespace

int TJsonWriter::Append(const char16_t* buf) { return Append(buf, Length(buf)); }

// ---------------------------------------------------------------------------
// Text buffer

TJsonWriterString::TJsonWriterString() : FSize(32) {
    FBuf = static_cast<char16_t*>(std::malloc(FSize * sizeof(char16_t)));
    if (!FBuf) throw std::bad_alloc();
    FBuf[0] = 0;
}

TJsonWriterString::~TJsonWriterString() { std::free(FBuf); }

int TJsonWriterString::Append(const char16_t* buf, int Size) {
    if (Size <= 0) return Size;
    if (Size >= FSize - FBPos) {
        int64_t want = std::max<int64_t>(int64_t(FSize) * 2, int64_t(FBPos) + Size + 8);
        if (want > std::numeric_limits<int>::max()) throw std::bad_alloc();
        auto* p = static_cast<char16_t*>(std::realloc(FBuf, want * sizeof(char16_t)));
        if (!p) throw std::bad_alloc();
        FBuf = p;
        FSize = static_cast<int>(want);
    }
    std::memcpy(FBuf + FBPos, buf, Size * sizeof(char16_t));
    FBPos += Size;
    FBuf[FBPos] = 0;
    return Size;
}

void TJsonWriterString::Reset() {
    FBPos = 0;
    FBuf[0] = 0;
}

void TJsonWriterString::TrimRight() {
    while (FBPos > 0 && (FBuf[FBPos - 1] == u' ' || FBuf[FBPos - 1] == u'\r' ||
                         FBuf[FBPos - 1] == u'\n'))
        --FBPos;
    FBuf[FBPos] = 0;
}

// ---------------------------------------------------------------------------
// Streams, counter, socket

void TJsonWriterStream::Reset() { FStream.SetSize(0); }

// A stream that takes fewer bytes than offered has failed (a full disk, a
// closed pipe): that is reported as a negative result, so SaveTo does not
// return the size of a truncated document as a success.
int TJsonAnsiWriterStream::Append(const char16_t* buf, int Size) {
    if (Size <= 0) return 0;
    return AsBytes(buf, Size, [this](const char* p, int n) {
        int64_t w = FStream.Write(p, n);
        return w == n ? n : -1;
    });
}

int TJsonUnicodeWriterStream::Append(const char16_t* buf, int Size) {
    if (Size <= 0) return 0;
    int64_t bytes = int64_t(Size) * 2;
    int64_t w;
    if constexpr (std::endian::native == std::endian::little) {
        w = FStream.Write(buf, bytes);
    } else {
        std::vector<unsigned char> le(bytes);
        for (int i = 0; i < Size; ++i) {
            le[2 * i] = buf[i] & 0xFF;
            le[2 * i + 1] = buf[i] >> 8;
        }
        w = FStream.Write(le.data(), bytes);
    }
    return w == bytes ? static_cast<int>(bytes) : -1;
}

int TJsonWriterFake::Append(const char16_t*, int Size) {
    FSize += Size;
    return FSize;
}

int TJsonWriterSock::Append(const char16_t* buf, int Size) {
    if (Size <= 0) return 0;
    int r = AsBytes(buf, Size,
                    [this](const char* p, int n) { return platform::SocketSend(FSocket, p, n); });
    FSize += r;
    return r;
}

// ---------------------------------------------------------------------------
// Writing a value

namespace {

// Appends and remembers the first failure, so a failed write anywhere inside
// a value is reported even when later appends succeed.
class Out {
public:
    explicit Out(TJsonWriter& w) : w_(w) {}
    int Put(const char16_t* s, int n) {
        int r = w_.Append(s, n);
        if (r < 0 && failed_ == 0) failed_ = r;
        last_ = r;
        return r;
    }
    int Put(const char16_t* s) { return Put(s, Length(s)); }
    int Put(char16_t c) { return Put(&c, 1); }
    void Spaces(int n) {
        static const char16_t blanks[] = u"                                ";
        while (n > 0) {
            int k = n < 32 ? n : 32;
            Put(blanks, k);
            n -= k;
        }
    }
    void Note(int r) {
        if (r < 0 && failed_ == 0) failed_ = r;
        last_ = r;
    }
    int Result() const { return failed_ < 0 ? failed_ : last_; }
    int Failed() const { return failed_; }
    TJsonWriter& Writer() { return w_; }

private:
    TJsonWriter& w_;
    int last_ = 0;
    int failed_ = 0;
};

// Which units need an escape, for each escaping mode.
struct EscapeTables {
    bool full[256];
    bool minimal[256];
    EscapeTables() {
        for (int c = 0; c < 256; ++c) {
            full[c] = c < 32 || c >= 128 || c == '"' || c == '\\' || c == '/';
            minimal[c] = c == 0 || c == '"' || c == '\\';
        }
    }
};
const EscapeTables kEscape;

void WriteEscaped(Out& out, const char16_t* s, size_t n, bool escape) {
    size_t start = 0;
    for (size_t i = 0; i < n; ++i) {
        char16_t c = s[i];
        bool needs = escape ? (c >= 256 || kEscape.full[c]) : (c < 256 && kEscape.minimal[c]);
        if (!needs) continue;
        if (i > start) out.Put(s + start, static_cast<int>(i - start));
        start = i + 1;
        char16_t e[6] = {u'\\', 0, 0, 0, 0, 0};
        int len = 2;
        switch (c) {
            case u'"': e[1] = u'"'; break;
            case u'\\': e[1] = u'\\'; break;
            case u'/': e[1] = u'/'; break;
            case u'\b': e[1] = u'b'; break;
            case u'\t': e[1] = u't'; break;
            case u'\n': e[1] = u'n'; break;
            case u'\f': e[1] = u'f'; break;
            case u'\r': e[1] = u'r'; break;
            default:
                e[1] = u'u';
                e[2] = texts::kHexDigits[(c >> 12) & 15];
                e[3] = texts::kHexDigits[(c >> 8) & 15];
                e[4] = texts::kHexDigits[(c >> 4) & 15];
                e[5] = texts::kHexDigits[c & 15];
                len = 6;
        }
        out.Put(e, len);
    }
    if (n > start) out.Put(s + start, static_cast<int>(n - start));
}

bool Skipped(const TJsonValue* v) {
    return v && (v->DataType() == stMethod || v->Processing());
}

}  // namespace

int TJsonValue::WriteTo(TJsonWriter& writer, bool indent, bool escape, int level) {
    Out out(writer);
    if (FProcessing) return out.Put(texts::kNull, 4);
    char16_t num[40];
    switch (FDataType) {
        case stNull: return out.Put(texts::kNull, 4);
        case stBoolean: return FO.c_boolean ? out.Put(texts::kTrue, 4) : out.Put(texts::kFalse, 5);
        case stInt: return out.Put(num, FormatInt(FO.c_int, num));
        case stDouble: return out.Put(num, FormatDouble(FO.c_double, num));
        case stCurrency: return out.Put(num, FormatCurrency(FO.c_currency, num));
        case stMethod: return 0;
        case stString:
            out.Put(u'"');
            WriteEscaped(out, FOString.data(), FOString.size(), escape);
            out.Put(u'"');
            return out.Failed();
        case stObject:
        case stArray: break;
    }

    // Containers are written depth first with an explicit stack; each one is
    // marked as being written while it is open, so a member that leads back
    // to it is passed over.
    TJsonTreeWalk walk;
    std::vector<bool> first;  // per open container: no member written yet
    auto open = [&](TJsonValue* v) {
        const bool isObject = v->FDataType == stObject;
        if (isObject ? v->FO.c_object->count() == 0 : v->FO.c_array->Length() == 0) {
            out.Put(isObject ? texts::kEmptyObject : texts::kEmptyArray, 2);
            return;
        }
        v->FProcessing = true;
        walk.Open(v);
        first.push_back(true);
        out.Put(isObject ? u'{' : u'[');
        if (indent) {
            ++level;
            if (!isObject) {
                out.Put(texts::kLineBreak, 2);
                out.Spaces(level);
            }
        }
    };
    auto leave = [&](TJsonValue* v) {
        first.pop_back();
        v->FProcessing = false;
        if (v->FDataType == stObject) {
            if (indent) {
                --level;
                out.Put(texts::kLineBreak, 2);
                out.Spaces(level);
            }
            out.Put(u'}');
        } else {
            if (indent) --level;
            out.Put(u']');
        }
    };
    auto visit = [&](const TJsonTreeWalk::Child& child) {
        TJsonValue* v = child.value;
        if (Skipped(v)) return;
        if (!first.back()) out.Put(u',');
        first.back() = false;
        if (child.name) {
            if (indent) {
                out.Put(texts::kLineBreak, 2);
                out.Spaces(level);
            }
            out.Put(u'"');
            WriteEscaped(out, child.name->data(), child.name->size(), escape);
            if (indent) out.Put(texts::kMemberSepIndent, 3);
            else out.Put(texts::kMemberSep, 2);
        }
        if (!v) out.Put(texts::kNull, 4);
        else if (v->FDataType == stObject || v->FDataType == stArray) open(v);
        else out.Note(v->WriteTo(writer, indent, escape, level));
    };
    open(this);
    walk.Run(visit, leave, [&](TJsonValue* v) { v->FProcessing = false; });
    return out.Result();
}

std::u16string TJsonValue::AsJSon(bool indent, bool escape) {
    TJsonWriterString w;
    if (WriteTo(w, indent, escape, 0) < 0) return std::u16string();
    return w.GetString();
}

int64_t TJsonValue::SaveTo(platform::TStream& stream, bool indent, bool escape) {
    std::unique_ptr<TJsonWriterStream> w;
    if (escape) w = std::make_unique<TJsonAnsiWriterStream>(stream);
    else w = std::make_unique<TJsonUnicodeWriterStream>(stream);
    if (WriteTo(*w, indent, escape, 0) < 0) {
        w->Reset();
        return 0;
    }
    return stream.GetSize();
}

int64_t TJsonValue::SaveTo(const std::u16string& FileName, bool indent, bool escape) {
    try {
        platform::TFileStream f(FileName, platform::fmCreate);
        return SaveTo(f, indent, escape);
    } catch (const platform::EStreamError&) {
        return 0;
    }
}

int64_t TJsonValue::SaveTo(const std::string& FileName, bool indent, bool escape) {
    try {
        platform::TFileStream f(FileName, platform::fmCreate);
        return SaveTo(f, indent, escape);
    } catch (const platform::EStreamError&) {
        return 0;
    }
}

int64_t TJsonValue::SaveTo(int socket, bool indent, bool escape) {
    TJsonWriterSock w(socket);
    if (WriteTo(w, indent, escape, 0) < 0) return 0;
    return w.Size();
}

int64_t TJsonValue::CalcSize(bool indent, bool escape) {
    TJsonWriterFake w;
    if (WriteTo(w, indent, escape, 0) < 0) return 0;
    return w.size();
}

std::u16string TJsonValue::Format(const std::u16string& str, char16_t BeginSep, char16_t EndSep) {
    std::u16string result;
    size_t i = 0, n = str.size();
    while (i < n) {
        size_t b = str.find(BeginSep, i);
        if (b == std::u16string::npos) {
            result.append(str, i, std::u16string::npos);
            break;
        }
        result.append(str, i, b - i);
        size_t e = str.find(EndSep, b + 1);
        if (e == std::u16string::npos) return result;
        result += GetString(str.substr(b + 1, e - b - 1));
        i = e + 1;
    }
    return result;
}

}  // namespace json
