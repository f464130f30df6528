// zelvano-json [--strict] [--whole] [--indent] [--escape] [--path PATH] [FILE|-]
//
// Reads FILE (or standard input): UTF-8, or UTF-16LE when it begins with
// FF FE. Parses it as ParseJsonText does (--strict: strict; --whole: text
// after the value is an error) and prints the JSON text as UTF-8, or with
// --path the GetString of that path. Exit 0; 1 with "invalid JSON" when the
// parse gives nil; 2 when the file cannot be read; 64 on bad arguments.
//
// The text is decoded and fed to the tokenizer in slices and the output is
// encoded as it is written, so a large document never exists as a whole in
// UTF-16 or in the output form: the result is the same as parsing the whole
// text and printing AsJSon.
#include <cstdio>
#include <cstring>
#include <memory>
#include <string>

#include "json/jsonvalue.h"
#include "platform/codepage.h"
#include "platform/console.h"
#include "platform/stream.h"

using namespace json;

namespace {

struct Options {
    bool strict = false;
    bool whole = false;
    bool indent = false;
    bool escape = false;
    bool hasPath = false;
    std::string path;
    std::string file = "-";
};

int Usage() {
    platform::WriteText(stderr,
                        "usage: zelvano-json [--strict] [--whole] [--indent] [--escape] [--path PATH] [FILE|-]\n");
    return 64;
}

// Reads the whole input; raises the stream layer's errors.
std::string ReadAll(const std::string& file) {
    std::unique_ptr<platform::TStream> in;
    if (file == "-") {
        in = platform::StandardInputStream();
        if (!in) throw platform::EFOpenError("Cannot open the standard input");
    } else in = std::make_unique<platform::TFileStream>(file, platform::fmOpenRead | platform::fmShareDenyNone);
    std::string bytes;
    char buf[1 << 16];
    for (;;) {
        int64_t n = in->Read(buf, sizeof buf);
        if (n <= 0) break;
        bytes.append(buf, static_cast<size_t>(n));
    }
    return bytes;
}

// Feeds UTF-16 slices to one tokenizer and reports where reading stopped.
class SliceParser {
public:
    SliceParser(bool strict) : strict_(strict) {}

    // False once the machine has stopped (a complete value or an error).
    bool Feed(const char16_t* units, int64_t n) {
        if (stopped_ || n == 0) return !stopped_;
        result_ = TJsonValue::ParseEx(tok_, units, n, strict_);
        if (tok_.char_offset < n) {
            stopped_ = true;
            int64_t at = tok_.char_offset;
            atEnd_ = units[at] == 0 || (at > 0 && units[at - 1] == 0);
        }
        return !stopped_;
    }

    // Ends the text (its terminating NUL) and gives the value or nil.
    IJsonValue Finish(bool whole) {
        if (!stopped_) {
            static const char16_t nul[1] = {0};
            result_ = TJsonValue::ParseEx(tok_, nul, -1, strict_);
            atEnd_ = true;
        }
        if (tok_.err != teSuccess) return nullptr;
        if (whole && !atEnd_) return nullptr;
        return result_;
    }

private:
    bool strict_;
    TJsonTokenizer tok_;
    IJsonValue result_;
    bool stopped_ = false;
    bool atEnd_ = false;
};

IJsonValue Parse(const std::string& bytes, const Options& o) {
    SliceParser parser(o.strict);
    const size_t n = bytes.size();
    if (n >= 2 && static_cast<unsigned char>(bytes[0]) == 0xFF &&
        static_cast<unsigned char>(bytes[1]) == 0xFE) {
        char16_t units[1 << 15];
        size_t i = 2;
        while (i + 1 < n) {
            int k = 0;
            for (; k < (1 << 15) && i + 1 < n; ++k, i += 2)
                units[k] = char16_t(static_cast<unsigned char>(bytes[i]) |
                                    (static_cast<unsigned char>(bytes[i + 1]) << 8));
            if (!parser.Feed(units, k)) break;
        }
        if (i < n) {  // a lone last byte
            const char16_t bad = u'\uFFFD';
            parser.Feed(&bad, 1);
        }
        return parser.Finish(o.whole);
    }
    size_t i = 0;
    if (n >= 3 && bytes.compare(0, 3, "\xEF\xBB\xBF") == 0) i = 3;  // UTF-8 byte order mark
    const size_t kSlice = 1 << 14;
    while (i < n) {
        size_t cut = std::min(n, i + kSlice);
        // Cut before a lead byte, so no sequence is split.
        for (int back = 0; back < 3 && cut < n && cut > i + 1 &&
                           (static_cast<unsigned char>(bytes[cut]) & 0xC0) == 0x80;
             ++back)
            --cut;
        std::u16string text = platform::Utf8ToText(std::string_view(bytes).substr(i, cut - i));
        i = cut;
        if (!parser.Feed(text.data(), static_cast<int64_t>(text.size()))) break;
    }
    return parser.Finish(o.whole);
}

// Writes UTF-16 units to a FILE as UTF-8 through a buffer; a surrogate pair
// split over two appends is joined, a lone surrogate becomes U+FFFD.
class Utf8FileWriter : public TJsonWriter {
public:
    explicit Utf8FileWriter(std::FILE* f) : f_(f) {}
    ~Utf8FileWriter() override { Flush(); }
    using TJsonWriter::Append;
    int Append(const char16_t* buf, int Size) override {
        for (int i = 0; i < Size; ++i) Unit(buf[i]);
        return Size;
    }
    void Reset() override {}
    void Close() {
        if (high_) Code(0xFFFD);
        high_ = 0;
        Flush();
    }
    bool Failed() const { return failed_; }

private:
    void Unit(char16_t u) {
        if (high_) {
            if (u >= 0xDC00 && u <= 0xDFFF) {
                Code(0x10000 + ((char32_t(high_) - 0xD800) << 10) + (u - 0xDC00));
                high_ = 0;
                return;
            }
            Code(0xFFFD);
            high_ = 0;
        }
        if (u < 0x80) {
            if (pos_ == sizeof buf_) Flush();
            buf_[pos_++] = static_cast<char>(u);
        } else if (u >= 0xD800 && u <= 0xDBFF) {
            high_ = u;
        } else if (u >= 0xDC00 && u <= 0xDFFF) {
            Code(0xFFFD);
        } else {
            Code(u);
        }
    }
    void Code(char32_t c) {
        if (pos_ + 4 > sizeof buf_) Flush();
        if (c < 0x80) {
            buf_[pos_++] = static_cast<char>(c);
        } else if (c < 0x800) {
            buf_[pos_++] = static_cast<char>(0xC0 | (c >> 6));
            buf_[pos_++] = static_cast<char>(0x80 | (c & 0x3F));
        } else if (c < 0x10000) {
            buf_[pos_++] = static_cast<char>(0xE0 | (c >> 12));
            buf_[pos_++] = static_cast<char>(0x80 | ((c >> 6) & 0x3F));
            buf_[pos_++] = static_cast<char>(0x80 | (c & 0x3F));
        } else {
            buf_[pos_++] = static_cast<char>(0xF0 | (c >> 18));
            buf_[pos_++] = static_cast<char>(0x80 | ((c >> 12) & 0x3F));
            buf_[pos_++] = static_cast<char>(0x80 | ((c >> 6) & 0x3F));
            buf_[pos_++] = static_cast<char>(0x80 | (c & 0x3F));
        }
    }
    void Flush() {
        if (pos_ && !platform::WriteText(f_, std::string_view(buf_, pos_))) failed_ = true;
        pos_ = 0;
    }

    std::FILE* f_;
    char buf_[1 << 16];
    size_t pos_ = 0;
    char16_t high_ = 0;
    bool failed_ = false;
};

}  // namespace

int main(int argc, char** argv) {
    const std::vector<std::string> args = platform::Utf8Arguments(argc, argv);
    argc = static_cast<int>(args.size());
    Options o;
    bool fileGiven = false;
    for (int i = 1; i < argc; ++i) {
        std::string a = args[i];
        if (a == "--strict") o.strict = true;
        else if (a == "--whole") o.whole = true;
        else if (a == "--indent") o.indent = true;
        else if (a == "--escape") o.escape = true;
        else if (a == "--path") {
            if (++i >= argc) return Usage();
            o.hasPath = true;
            o.path = args[i];
        } else if (a.size() > 1 && a[0] == '-' && a != "-") {
            return Usage();
        } else {
            if (fileGiven) return Usage();
            fileGiven = true;
            o.file = a;
        }
    }

    std::string bytes;
    try {
        bytes = ReadAll(o.file);
    } catch (const platform::EReadError& e) {
        platform::PrintText(stderr, "zelvano-json: cannot read %s: %s\n",
                     o.file == "-" ? "standard input" : ("\"" + o.file + "\"").c_str(), e.what());
        return 2;
    } catch (const platform::Exception& e) {
        platform::PrintText(stderr, "zelvano-json: %s\n", e.what());
        return 2;
    }

    IJsonValue value = Parse(bytes, o);
    std::string().swap(bytes);
    if (!value) {
        platform::WriteText(stderr, "invalid JSON\n");
        return 1;
    }

    auto writer = std::make_unique<Utf8FileWriter>(stdout);
    if (o.hasPath) {
        std::u16string text = value->GetString(platform::Utf8ToText(o.path));
        writer->Append(text.data(), static_cast<int>(text.size()));
    } else {
        value->WriteTo(*writer, o.indent, o.escape, 0);
    }
    writer->Append(u"\n", 1);
    writer->Close();
    if (writer->Failed() || std::fflush(stdout) != 0) {
        platform::WriteText(stderr, "zelvano-json: write error\n");
        return 2;
    }
    return 0;
}
