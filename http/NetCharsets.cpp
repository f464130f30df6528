// Character-set names of replies and the code pages that decode them.
#include "http/NetHTTP.h"
#include "http/TextUtil.h"
#include "platform/codepage.h"

namespace http {

namespace {

struct CharsetName {
    const char16_t* Name;
    unsigned CodePage;
};

// Registered names and aliases. A name mapped to 0 has no code page here and
// is read as ISO-8859-1.
const CharsetName kCharsets[] = {
    {u"US-ASCII", 1252}, {u"ASCII", 1252}, {u"ANSI_X3.4-1968", 1252}, {u"ANSI_X3.4-1986", 1252},
    {u"us", 1252}, {u"ISO646-US", 1252}, {u"IBM367", 1252}, {u"cp367", 1252}, {u"csASCII", 1252},
    {u"iso-ir-6", 1252},
    {u"ISO-8859-1", 28591}, {u"ISO_8859-1", 28591}, {u"ISO_8859-1:1987", 28591}, {u"latin1", 28591},
    {u"l1", 28591}, {u"CP819", 28591}, {u"IBM819", 28591}, {u"iso-ir-100", 28591},
    {u"csISOLatin1", 28591},
    {u"ISO-8859-2", 28592}, {u"ISO_8859-2", 28592}, {u"latin2", 28592}, {u"l2", 28592},
    {u"csISOLatin2", 28592},
    {u"ISO-8859-3", 28593}, {u"latin3", 28593},
    {u"ISO-8859-4", 28594}, {u"latin4", 28594},
    {u"ISO-8859-5", 28595}, {u"cyrillic", 28595},
    {u"ISO-8859-6", 28596}, {u"arabic", 28596},
    {u"ISO-8859-7", 28597}, {u"greek", 28597},
    {u"ISO-8859-8", 28598}, {u"hebrew", 28598},
    {u"ISO-8859-9", 1254}, {u"ISO_8859-9", 1254}, {u"latin5", 1254}, {u"l5", 1254},
    {u"ISO-8859-13", 28603},
    {u"ISO-8859-15", 28605}, {u"latin-9", 28605},
    {u"UTF-8", 65001},
    {u"UTF-16", 1200}, {u"UTF-16LE", 1200}, {u"UTF-16BE", 1201},
    {u"UTF-7", 65000},
    {u"GB2312", 936}, {u"GBK", 936}, {u"csGB2312", 936}, {u"chinese", 936}, {u"GB_2312-80", 936},
    {u"CP936", 936}, {u"MS936", 936}, {u"windows-936", 936},
    {u"GB18030", 0},
    {u"HZ-GB-2312", 52936},
    {u"Big5", 950}, {u"csBig5", 950},
    {u"Shift_JIS", 932}, {u"MS_Kanji", 932}, {u"csShiftJIS", 932},
    {u"EUC-JP", 51932},
    {u"EUC-KR", 949}, {u"KS_C_5601-1987", 949}, {u"csEUCKR", 949},
    {u"KOI8-R", 20866}, {u"csKOI8R", 20866},
    {u"KOI8-U", 21866},
    {u"IBM437", 437}, {u"cp437", 437}, {u"IBM850", 850}, {u"cp850", 850}, {u"IBM866", 866}, {u"cp866", 866},
    {u"windows-874", 874}, {u"TIS-620", 874},
    {u"windows-1250", 1250}, {u"windows-1251", 1251}, {u"windows-1252", 1252},
    {u"windows-1253", 1253}, {u"windows-1254", 1254}, {u"windows-1255", 1255},
    {u"windows-1256", 1256}, {u"windows-1257", 1257}, {u"windows-1258", 1258},
};

}  // namespace

unsigned CharsetToCodePage(std::u16string_view charset) {
    std::u16string name = Trim(charset);
    for (const auto& entry : kCharsets)
        if (EqualsIgnoreCase(name, entry.Name)) return entry.CodePage;
    return 0;
}

std::u16string DecodeByCharset(std::u16string_view charset, std::string_view bytes) {
    unsigned codePage = CharsetToCodePage(charset);
    if (codePage == 0 || !platform::CodePageAvailable(codePage)) codePage = platform::kCodePageLatin1;
    return platform::BytesToText(codePage, bytes);
}

}  // namespace http
