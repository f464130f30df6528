// Object marshalling: the conversions by kind, the converters of Boolean,
// TDateTime and TGUID, and the date and GUID texts.
#include "json/jsonrtti.h"

#include <cmath>
#include <cstdio>
#include <ctime>
#include <iomanip>
#include <locale>
#include <mutex>
#include <sstream>

#include "json/jsonnumber.h"
#include "platform/calendar.h"
#include "platform/codepage.h"

namespace json {

namespace {

// ---------------------------------------------------------------------------
// Known classes

struct ClassRegistry {
    std::mutex mutex;
    std::map<std::u16string, const TClassInfo*> byName;
};

ClassRegistry& Registry() {
    static ClassRegistry registry;
    return registry;
}

// ---------------------------------------------------------------------------
// Small helpers

std::u16string Ascii(const std::string& s) { return platform::AsciiToText(s); }

using platform::CivilFromDays;
using platform::DaysFromCivil;

int64_t FloorDiv(int64_t a, int64_t b) {
    int64_t q = a / b;
    if ((a % b != 0) && ((a < 0) != (b < 0))) --q;
    return q;
}

bool IsLeap(int64_t y) { return (y % 4 == 0 && y % 100 != 0) || y % 400 == 0; }
unsigned DaysInMonth(int64_t y, unsigned m) {
    static const unsigned days[] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
    return m == 2 && IsLeap(y) ? 29 : days[m - 1];
}

// The C library's time-zone functions share static state.
std::mutex& TimeMutex() {
    static std::mutex m;
    return m;
}

// Offset of local time from UTC, in seconds, for a local wall time given as
// seconds since 1970 counted as if it were UTC.
int64_t OffsetAtLocal(int64_t localSeconds) {
    int64_t y;
    unsigned mo, d;
    const int64_t days = FloorDiv(localSeconds, 86400);
    const int64_t secs = localSeconds - days * 86400;
    CivilFromDays(days, y, mo, d);
    std::tm tm{};
    tm.tm_year = static_cast<int>(y - 1900);
    tm.tm_mon = static_cast<int>(mo) - 1;
    tm.tm_mday = static_cast<int>(d);
    tm.tm_hour = static_cast<int>(secs / 3600);
    tm.tm_min = static_cast<int>(secs / 60 % 60);
    tm.tm_sec = static_cast<int>(secs % 60);
    tm.tm_isdst = -1;
    std::lock_guard lock(TimeMutex());
    const std::time_t t = std::mktime(&tm);
    if (t == static_cast<std::time_t>(-1) && tm.tm_year != 69) return 0;
    return localSeconds - static_cast<int64_t>(t);
}

// Offset of local time from UTC, in seconds, at an instant.
int64_t OffsetAtUtc(int64_t utcSeconds) {
    const std::time_t t = static_cast<std::time_t>(utcSeconds);
    std::lock_guard lock(TimeMutex());
    const std::tm* tm = std::localtime(&t);
    if (!tm) return 0;
    const int64_t local = DaysFromCivil(tm->tm_year + int64_t{1900}, static_cast<unsigned>(tm->tm_mon + 1),
                                        static_cast<unsigned>(tm->tm_mday)) *
                              86400 +
                          tm->tm_hour * 3600 + tm->tm_min * 60 + tm->tm_sec;
    return local - utcSeconds;
}

// A local date and time from its parts (milliseconds included).
TDateTime EncodeLocal(int64_t y, unsigned mo, unsigned d, unsigned h, unsigned mi, unsigned s, double ms) {
    const double day = static_cast<double>(DaysFromCivil(y, mo, d) + 25569);
    return TDateTime(day + (h * 3600000.0 + mi * 60000.0 + s * 1000.0 + ms) / 86400000.0);
}

// Reads `count` decimal digits at text[pos].
bool Digits(std::u16string_view text, std::size_t& pos, int count, unsigned& value) {
    if (pos + static_cast<std::size_t>(count) > text.size()) return false;
    value = 0;
    for (int k = 0; k < count; ++k) {
        const char16_t c = text[pos + static_cast<std::size_t>(k)];
        if (c < u'0' || c > u'9') return false;
        value = value * 10 + (c - u'0');
    }
    pos += static_cast<std::size_t>(count);
    return true;
}

// A date and time in the user's locale format (the date alone also serves).
bool LocaleTextToDateTime(std::u16string_view text, TDateTime& local) {
    const std::string bytes = platform::TextToUtf8(text);
    std::locale loc = std::locale::classic();
    try {
        loc = std::locale("");
    } catch (const std::runtime_error&) {
    }
    for (const char* format : {"%x %X", "%x"}) {
        std::istringstream in(bytes);
        in.imbue(loc);
        std::tm tm{};
        in >> std::get_time(&tm, format);
        if (in.fail()) continue;
        in >> std::ws;
        if (!in.eof()) continue;
        const int64_t y = tm.tm_year + int64_t{1900};
        const unsigned mo = static_cast<unsigned>(tm.tm_mon + 1);
        if (mo < 1 || mo > 12 || tm.tm_mday < 1 || static_cast<unsigned>(tm.tm_mday) > DaysInMonth(y, mo))
            continue;
        local = EncodeLocal(y, mo, static_cast<unsigned>(tm.tm_mday), static_cast<unsigned>(tm.tm_hour),
                            static_cast<unsigned>(tm.tm_min), static_cast<unsigned>(tm.tm_sec), 0);
        return true;
    }
    return false;
}

std::u16string FormatVariantError(uint16_t type) {
    std::u16string message(kUnsupportedVariantType);
    const std::size_t at = message.find(u"%d");
    return message.replace(at, 2, Ascii(std::to_string(type)));
}

// ---------------------------------------------------------------------------
// Registered converters

IJsonValue BooleanToJson(TJsonRttiContext&, TValue& value, const IJsonValue&) {
    return JV(value.As<bool>());
}

bool BooleanFromJson(TJsonRttiContext& ctx, const IJsonValue& obj, TValue& Value) {
    switch (TypeOfValue(obj)) {
        case stBoolean:
            Value.As<bool>() = obj->AsBoolean();
            return true;
        case stInt:
            Value.As<bool>() = obj->AsInteger() != 0;
            return true;
        case stString: {
            IJsonValue parsed = ParseJsonText(obj->AsString());
            if (!parsed || TypeOfValue(parsed) == stString) return false;
            return BooleanFromJson(ctx, parsed, Value);
        }
        default:
            return false;
    }
}

IJsonValue DateTimeToJson(TJsonRttiContext&, TValue& value, const IJsonValue&) {
    return JV(DateTimeToUnixMs(value.As<TDateTime>()));
}

bool DateTimeFromJson(TJsonRttiContext&, const IJsonValue& obj, TValue& Value) {
    switch (TypeOfValue(obj)) {
        case stInt:
            Value.As<TDateTime>() = UnixMsToDateTime(obj->AsInteger());
            return true;
        case stString: {
            const std::u16string text = obj->AsString();
            return Iso8601ToDateTime(text, Value.As<TDateTime>()) ||
                   LocaleTextToDateTime(text, Value.As<TDateTime>());
        }
        default:
            return false;
    }
}

IJsonValue GuidToJson(TJsonRttiContext&, TValue& value, const IJsonValue&) {
    return JV(GuidToText(value.As<TGUID>()));
}

bool GuidFromJson(TJsonRttiContext&, const IJsonValue& obj, TValue& Value) {
    switch (TypeOfValue(obj)) {
        case stNull:
            Value.As<TGUID>() = TGUID{};
            return true;
        case stString:
            return TextToGuid(obj->AsString(), Value.As<TGUID>());
        default:
            return false;
    }
}

}  // namespace

// ---------------------------------------------------------------------------
// Dates and GUIDs

// Instants further than this from 1970 (about 285,000 years) have no
// time-zone rules; they convert without an offset, and dates beyond it are
// held at it.
constexpr int64_t kZoneRangeMs = 9'000'000'000'000'000;

int64_t DateTimeToUnixMs(TDateTime local) {
    const double ms = (local.Value - 25569.0) * 86400000.0;
    if (std::isnan(ms)) return 0;
    if (ms >= static_cast<double>(kZoneRangeMs)) return kZoneRangeMs;
    if (ms <= -static_cast<double>(kZoneRangeMs)) return -kZoneRangeMs;
    const int64_t localMs = std::llround(ms);
    return localMs - OffsetAtLocal(FloorDiv(localMs, 1000)) * 1000;
}

TDateTime UnixMsToDateTime(int64_t ms) {
    const int64_t offsetMs = ms > -kZoneRangeMs && ms < kZoneRangeMs ? OffsetAtUtc(FloorDiv(ms, 1000)) * 1000 : 0;
    return TDateTime(static_cast<double>(ms + offsetMs) / 86400000.0 + 25569.0);
}

bool Iso8601ToDateTime(std::u16string_view text, TDateTime& local) {
    std::size_t pos = 0;
    unsigned year, month, day;
    if (!Digits(text, pos, 4, year)) return false;
    const bool extended = pos < text.size() && text[pos] == u'-';
    if (extended) ++pos;
    if (!Digits(text, pos, 2, month)) return false;
    if (extended && (pos >= text.size() || text[pos++] != u'-')) return false;
    if (!Digits(text, pos, 2, day)) return false;
    if (month < 1 || month > 12 || day < 1 || day > DaysInMonth(year, month)) return false;

    unsigned hour = 0, minute = 0, second = 0;
    double ms = 0;
    bool hasZone = false;
    int64_t zoneSeconds = 0;
    if (pos < text.size()) {
        if (text[pos] != u'T' && text[pos] != u't' && text[pos] != u' ') return false;
        ++pos;
        if (!Digits(text, pos, 2, hour)) return false;
        if (extended && (pos >= text.size() || text[pos++] != u':')) return false;
        if (!Digits(text, pos, 2, minute)) return false;
        const bool hasSeconds = extended ? pos < text.size() && text[pos] == u':'
                                         : pos < text.size() && text[pos] >= u'0' && text[pos] <= u'9';
        if (hasSeconds) {
            if (extended) ++pos;
            if (!Digits(text, pos, 2, second)) return false;
            if (pos < text.size() && (text[pos] == u'.' || text[pos] == u',')) {
                ++pos;
                double scale = 100;
                const std::size_t start = pos;
                for (; pos < text.size() && text[pos] >= u'0' && text[pos] <= u'9'; ++pos) {
                    ms += (text[pos] - u'0') * scale;
                    scale /= 10;
                }
                if (pos == start) return false;
            }
        }
        if (hour > 23 || minute > 59 || second > 59) return false;
        if (pos < text.size()) {
            hasZone = true;
            const char16_t z = text[pos++];
            if (z == u'Z' || z == u'z') {
                zoneSeconds = 0;
            } else if (z == u'+' || z == u'-') {
                unsigned zh, zm = 0;
                if (!Digits(text, pos, 2, zh)) return false;
                if (pos < text.size()) {
                    if (text[pos] == u':') ++pos;
                    if (!Digits(text, pos, 2, zm)) return false;
                }
                if (zh > 23 || zm > 59) return false;
                zoneSeconds = (int64_t{zh} * 3600 + int64_t{zm} * 60) * (z == u'-' ? -1 : 1);
            } else {
                return false;
            }
            if (pos != text.size()) return false;
        }
    }
    if (!hasZone) {
        local = EncodeLocal(year, month, day, hour, minute, second, ms);
        return true;
    }
    const int64_t wallMs =
        (DaysFromCivil(year, month, day) * 86400 + hour * 3600 + minute * 60 + second) * 1000 + std::llround(ms);
    local = UnixMsToDateTime(wallMs - zoneSeconds * 1000);
    return true;
}

std::u16string GuidToText(const TGUID& g) {
    char buf[40];
    std::snprintf(buf, sizeof buf, "%.8x-%.4x-%.4x-%.2x%.2x-%.2x%.2x%.2x%.2x%.2x%.2x", g.D1, g.D2, g.D3, g.D4[0],
                  g.D4[1], g.D4[2], g.D4[3], g.D4[4], g.D4[5], g.D4[6], g.D4[7]);
    return Ascii(buf);
}

bool TextToGuid(std::u16string_view text, TGUID& g) {
    if (text.size() == 38 && text.front() == u'{' && text.back() == u'}') text = text.substr(1, 36);
    if (text.size() != 36) return false;
    uint8_t bytes[16];
    std::size_t n = 0;
    for (std::size_t i = 0; i < 36;) {
        if (i == 8 || i == 13 || i == 18 || i == 23) {
            if (text[i] != u'-') return false;
            ++i;
            continue;
        }
        const int hi = HexDigit(text[i]), lo = HexDigit(text[i + 1]);
        if (hi < 0 || lo < 0) return false;
        bytes[n++] = static_cast<uint8_t>(hi * 16 + lo);
        i += 2;
    }
    g.D1 = uint32_t{bytes[0]} << 24 | uint32_t{bytes[1]} << 16 | uint32_t{bytes[2]} << 8 | bytes[3];
    g.D2 = static_cast<uint16_t>(bytes[4] << 8 | bytes[5]);
    g.D3 = static_cast<uint16_t>(bytes[6] << 8 | bytes[7]);
    for (int k = 0; k < 8; ++k) g.D4[static_cast<std::size_t>(k)] = bytes[8 + k];
    return true;
}

// ---------------------------------------------------------------------------
// Type information

void RegisterClassInfo(const TClassInfo* info) {
    if (info->ClassName.empty()) return;
    ClassRegistry& r = Registry();
    std::lock_guard lock(r.mutex);
    r.byName.emplace(info->QualifiedName(), info);
}

const TClassInfo* FindClassInfo(const std::u16string& qualifiedName) {
    ClassRegistry& r = Registry();
    std::lock_guard lock(r.mutex);
    auto it = r.byName.find(qualifiedName);
    return it == r.byName.end() ? nullptr : it->second;
}

std::vector<std::pair<const TRttiField*, void*>> TRttiContext::GetFields(const TClassInfo* cls,
                                                                           void* instance) const {
    std::vector<std::pair<const TRttiField*, void*>> fields;
    if (cls->Parent) fields = GetFields(cls->Parent(), cls->ToParent(instance));
    for (const TRttiField& f : cls->Fields) fields.emplace_back(&f, instance);
    return fields;
}

// ---------------------------------------------------------------------------
// The context

TJsonRttiContext::TJsonRttiContext() {
    SerialToJson[TypeInfoOf<bool>()] = BooleanToJson;
    SerialFromJson[TypeInfoOf<bool>()] = BooleanFromJson;
    SerialToJson[TypeInfoOf<TDateTime>()] = DateTimeToJson;
    SerialFromJson[TypeInfoOf<TDateTime>()] = DateTimeFromJson;
    SerialToJson[TypeInfoOf<TGUID>()] = GuidToJson;
    SerialFromJson[TypeInfoOf<TGUID>()] = GuidFromJson;
}

TJsonRttiContext::~TJsonRttiContext() = default;

IJsonValue TJsonRttiContext::FieldsToJson(const std::vector<std::pair<const TRttiField*, void*>>& fields,
                                          const IJsonValue& target, const IJsonValue& index) {
    TJsonTableString* members = target->AsObject();
    for (const auto& entry : fields) {
        const TRttiField* field = entry.first;
        field->Access(entry.second, false, [&](TValue& v) {
            members->PutMember(field->JsonName(), ToJson(v, index));
            return true;
        });
    }
    return target;
}

IJsonValue TJsonRttiContext::ToJson(TValue& value, const IJsonValue& index) {
    const TTypeInfo* ti = value.TypeInfo;
    if (!ti || !value.Data) return nullptr;
    // A conversion needs an index object; callers that pass none get one for
    // this conversion.
    const IJsonValue idx = TypeOfValue(index) == stObject ? index : JV(stObject);

    if (auto conv = SerialToJson.find(ti); conv != SerialToJson.end()) return conv->second(*this, value, idx);

    void* p = value.Data;
    switch (ti->Kind) {
        case tkInteger:
        case tkEnumeration:
        case tkSet:
        case tkInt64:
            return JV(ti->GetOrd(p));
        case tkFloat:
            switch (ti->FloatType) {
                case ftComp:
                    return JV(ti->GetOrd(p));
                case ftCurr:
                    return JVCurrency(Currency::FromScaled(ti->GetOrd(p)));
                default:
                    return JV(ti->GetFloat(p));
            }
        case tkChar:
            return JV(platform::BytesToText(platform::AnsiCodePage(), std::string(1, *static_cast<char*>(p))));
        case tkWChar:
            return JV(std::u16string(1, *static_cast<char16_t*>(p)));
        case tkUString:
            return JV(*static_cast<std::u16string*>(p));
        case tkLString:
            return JV(platform::BytesToText(platform::AnsiCodePage(), *static_cast<std::string*>(p)));
        case tkVariant: {
            const TVariant& v = *static_cast<TVariant*>(p);
            switch (v.VType) {
                case varEmpty:
                case varNull:
                    return nullptr;
                case varShortInt:
                    return JV(int64_t{static_cast<int8_t>(v.VInteger)});
                case varSmallint:
                    return JV(int64_t{static_cast<int16_t>(v.VInteger)});
                case varInteger:
                    return JV(int64_t{static_cast<int32_t>(v.VInteger)});
                case varInt64:
                    return JV(v.VInteger);
                case varByte:
                    return JV(int64_t{static_cast<uint8_t>(v.VInteger)});
                case varWord:
                    return JV(int64_t{static_cast<uint16_t>(v.VInteger)});
                case varLongWord:
                    return JV(int64_t{static_cast<uint32_t>(v.VInteger)});
                case varSingle:
                    return JV(static_cast<double>(static_cast<float>(v.VDouble)));
                case varDouble:
                    return JV(v.VDouble);
                case varCurrency:
                    return JVCurrency(Currency::FromScaled(v.VInteger));
                case varDate:
                    return JV(DateTimeToUnixMs(TDateTime(v.VDouble)));
                case varBoolean:
                    return JV(v.VInteger != 0);
                case varOleStr:
                case varUString:
                    return JV(v.VText);
                case varString:
                    return JV(platform::BytesToText(platform::AnsiCodePage(), v.VAnsi));
                default:
                    throw platform::Exception(FormatVariantError(v.VType));
            }
        }
        case tkRecord: {
            std::vector<std::pair<const TRttiField*, void*>> fields;
            for (const TRttiField& f : ti->Fields) fields.emplace_back(&f, p);
            return FieldsToJson(fields, JV(stObject), idx);
        }
        case tkClass: {
            void* instance = ti->GetInstance(p);
            if (!instance) return nullptr;
            const std::u16string key = Ascii(std::to_string(reinterpret_cast<uintptr_t>(instance)));
            TJsonTableString* known = idx->AsObject();
            if (IJsonValue seen = known->GetMember(key)) return seen;
            IJsonValue obj = JV(stObject);
            known->PutMember(key, obj);
            return FieldsToJson(Context.GetFields(ti->ClassData(), instance), obj, idx);
        }
        case tkArray:
        case tkDynArray: {
            IJsonValue arr = JV(stArray);
            const TTypeInfo* et = ti->ElementType();
            const std::size_t n = ti->Kind == tkArray ? ti->ElementCount : ti->GetLength(p);
            for (std::size_t i = 0; i < n; ++i) {
                TValue element{et, ti->Element(p, i)};
                arr->AsArray()->Add(ToJson(element, idx));
            }
            return arr;
        }
        case tkInterface:
            return *static_cast<IJsonValue*>(p);
        case tkClassRef: {
            const TClassInfo* cls = static_cast<TClassRef*>(p)->Class;
            return cls ? JV(cls->QualifiedName()) : nullptr;
        }
        default:
            return nullptr;
    }
}

bool TJsonRttiContext::FromJsonFields(const std::vector<std::pair<const TRttiField*, void*>>& fields,
                                      const IJsonValue& obj) {
    TJsonTableString* members = obj->AsObject();
    for (const auto& [field, instance] : fields) {
        IJsonValue member = members->GetMember(field->JsonName());
        if (TypeOfValue(member) == stNull && field->DefaultAttr) member = ParseJsonText(*field->DefaultAttr);
        const bool ok = field->Access(instance, true, [&](TValue& v) { return FromJson(v.TypeInfo, member, v); });
        if (!ok) {
            // The one trace of a failed read: which field stopped it.
            std::fprintf(stdout, "%s\n", platform::TextToUtf8(field->Name).c_str());
            std::fflush(stdout);
            return false;
        }
    }
    return true;
}

bool TJsonRttiContext::FromJson(const TTypeInfo* TypeInfo, const IJsonValue& obj, TValue& Value) {
    const TTypeInfo* ti = TypeInfo;
    if (!ti || !Value.Data) return false;
    Value.TypeInfo = ti;
    if (auto conv = SerialFromJson.find(ti); conv != SerialFromJson.end()) return conv->second(*this, obj, Value);

    void* p = Value.Data;
    const TJsonType jt = TypeOfValue(obj);
    // A string that holds JSON text of another kind is read as that value.
    auto parsedString = [&]() -> IJsonValue {
        if (jt != stString) return nullptr;
        IJsonValue parsed = ParseJsonText(obj->AsString());
        return TypeOfValue(parsed) == stString ? nullptr : parsed;
    };

    switch (ti->Kind) {
        case tkInteger:
        case tkEnumeration: {
            if (jt == stBoolean || jt == stInt) {
                const int64_t v = obj->AsInteger();
                if (v < ti->MinValue || v > ti->MaxValue) return false;
                ti->SetOrd(p, v);
                return true;
            }
            IJsonValue parsed = parsedString();
            return parsed && FromJson(ti, parsed, Value);
        }
        case tkInt64: {
            int64_t v;
            if (jt == stInt) {
                v = obj->AsInteger();
            } else if (jt != stString || !TextToInt(obj->AsString(), v)) {
                return false;
            }
            ti->SetOrd(p, v);
            return true;
        }
        case tkSet: {
            int64_t v;
            if (jt == stInt) {
                v = obj->AsInteger();
            } else if (jt != stString || !TextToInt(obj->AsString(), v) || v < INT32_MIN || v > UINT32_MAX) {
                return false;
            }
            // Only bits of the set's own elements may be set.
            const TTypeInfo* element = ti->CompType();
            const int64_t top = std::min<int64_t>(element->MaxValue, 31);
            const uint64_t allowed = top < 0 ? 0 : (uint64_t{2} << top) - 1;
            const uint64_t bits = static_cast<uint64_t>(v) & 0xFFFFFFFFu;
            if (v < INT32_MIN || v > UINT32_MAX || (bits & ~allowed) != 0) return false;
            ti->SetOrd(p, static_cast<int64_t>(bits));
            return true;
        }
        case tkFloat: {
            if (jt == stDouble || jt == stCurrency || jt == stInt) {
                switch (ti->FloatType) {
                    case ftComp:
                        ti->SetOrd(p, obj->AsInteger());
                        break;
                    case ftCurr:
                        ti->SetOrd(p, obj->AsCurrency().scaled);
                        break;
                    default:
                        ti->SetFloat(p, obj->AsDouble());
                }
                return true;
            }
            IJsonValue parsed = parsedString();
            return parsed && FromJson(ti, parsed, Value);
        }
        case tkChar: {
            if (jt != stString) return false;
            const std::u16string text = obj->AsString();
            if (text.size() != 1) return false;
            const std::string bytes = platform::TextToBytes(platform::AnsiCodePage(), text);
            // A character the ANSI code page cannot hold in one byte is refused.
            if (bytes.size() != 1 || platform::BytesToText(platform::AnsiCodePage(), bytes) != text) return false;
            *static_cast<char*>(p) = bytes[0];
            return true;
        }
        case tkWChar: {
            if (jt != stString) return false;
            const std::u16string text = obj->AsString();
            if (text.size() != 1) return false;
            *static_cast<char16_t*>(p) = text[0];
            return true;
        }
        case tkUString:
        case tkLString: {
            if (jt == stObject || jt == stArray) return false;
            const std::u16string text = jt == stNull ? std::u16string() : obj->AsString();
            if (ti->Kind == tkUString)
                *static_cast<std::u16string*>(p) = text;
            else
                *static_cast<std::string*>(p) = platform::TextToBytes(platform::AnsiCodePage(), text);
            return true;
        }
        case tkVariant: {
            TVariant& v = *static_cast<TVariant*>(p);
            switch (jt) {
                case stNull:
                    v = TVariant::Of(varNull, 0);
                    return true;
                case stBoolean:
                    v = TVariant::Of(varBoolean, obj->AsBoolean() ? 1 : 0);
                    return true;
                case stDouble:
                    v = TVariant::OfDouble(varDouble, obj->AsDouble());
                    return true;
                case stCurrency:
                    v = TVariant::Of(varCurrency, obj->AsCurrency().scaled);
                    return true;
                case stInt:
                    v = TVariant::Of(varInt64, obj->AsInteger());
                    return true;
                case stString:
                    v = TVariant::OfText(obj->AsString());
                    return true;
                default:
                    return false;
            }
        }
        case tkRecord:
        case tkClass: {
            if (ti->Kind == tkClass && jt == stNull) {
                ti->SetInstance(p, nullptr);
                return true;
            }
            if (jt != stObject) return false;
            for (const TJsonValue* open : reading_)
                if (open == obj.get()) return false;
            std::vector<std::pair<const TRttiField*, void*>> fields;
            if (ti->Kind == tkRecord) {
                for (const TRttiField& f : ti->Fields) fields.emplace_back(&f, p);
            } else {
                const TClassInfo* cls = ti->ClassData();
                void* instance = ti->GetInstance(p);
                if (!instance) {
                    if (!cls->Create) return false;
                    instance = cls->Create();
                    ti->SetInstance(p, instance);
                }
                fields = Context.GetFields(cls, instance);
            }
            reading_.push_back(obj.get());
            struct Pop {
                std::vector<const TJsonValue*>& open;
                ~Pop() { open.pop_back(); }
            } pop{reading_};
            return FromJsonFields(fields, obj);
        }
        case tkArray: {
            if (jt != stArray) return false;
            TJsonArray* items = obj->AsArray();
            if (static_cast<std::size_t>(items->Length()) != ti->ElementCount) return false;
            const TTypeInfo* et = ti->ElementType();
            for (std::size_t i = 0; i < ti->ElementCount; ++i) {
                TValue element{et, ti->Element(p, i)};
                if (!FromJson(et, items->GetItem(static_cast<int64_t>(i)), element)) return false;
            }
            return true;
        }
        case tkDynArray: {
            const TTypeInfo* et = ti->ElementType();
            if (jt == stNull) {
                ti->SetLength(p, 0);
                return true;
            }
            if (jt != stArray) {
                ti->SetLength(p, 1);
                TValue element{et, ti->Element(p, 0)};
                return FromJson(et, obj, element);
            }
            TJsonArray* items = obj->AsArray();
            const std::size_t n = static_cast<std::size_t>(items->Length());
            ti->SetLength(p, n);
            for (std::size_t i = 0; i < n; ++i) {
                TValue element{et, ti->Element(p, i)};
                if (!FromJson(et, items->GetItem(static_cast<int64_t>(i)), element)) return false;
            }
            return true;
        }
        case tkClassRef: {
            TClassRef& ref = *static_cast<TClassRef*>(p);
            if (jt == stNull) {
                ref.Class = nullptr;
                return true;
            }
            if (jt != stString) return false;
            const TClassInfo* cls = Context.FindType(obj->AsString());
            if (!cls) return false;
            ref.Class = cls;
            return true;
        }
        case tkInterface:
            // The JSON value itself, as ToJson gives it.
            *static_cast<IJsonValue*>(p) = obj;
            return true;
        default:
            return false;
    }
}

}  // namespace json
