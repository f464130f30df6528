// Object marshalling: values to JSON by kind, shared and self references,
// the registered converters, and the reading rules of FromJson.
#include "json/jsonrtti.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <ctime>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "platform/codepage.h"
#include "tests/support/test_system.h"
#ifdef ZELVANO_RTTI_WITH_DOWNLOAD
#include "download/DownLoad.h"
#endif

namespace demo {

enum class TColor { Red, Green, Blue };
void DescribeType(json::TEnumType<TColor>& t) { t.Name(u"TColor").Names({u"Red", u"Green", u"Blue"}); }

struct TPoint {
    int32_t X = 0;
    int32_t Y = 0;
    friend bool operator==(const TPoint&, const TPoint&) = default;
};
void DescribeType(json::TRecordType<TPoint>& t) {
    t.Name(u"TPoint")
        .Field(u"X", &TPoint::X)
        .Field(u"Y", &TPoint::Y, json::TJsonName(u"top"), json::TJsonDefault(u"7"));
}

// One field of every kind that has a rule of its own.
struct TAll {
    int8_t I8 = 0;
    uint8_t U8 = 0;
    int16_t I16 = 0;
    uint16_t U16 = 0;
    int32_t I32 = 0;
    uint32_t U32 = 0;
    int64_t I64 = 0;
    float F32 = 0;
    double F64 = 0;
    long double F80 = 0;
    json::TCurrency Cur;
    json::TComp Comp;
    char AnsiChar = ' ';
    char16_t WideChar = u' ';
    std::u16string Text;
    std::string AnsiText;
    bool Flag = false;
    TColor Color = TColor::Red;
    json::TSet<TColor> Colors;
    std::array<int32_t, 3> Static{};
    int32_t Grid[2][2]{};
    std::vector<TPoint> Points;
    TPoint Origin;
    json::TVariant Var;
    json::TClassRef Ref;
    friend bool operator==(const TAll&, const TAll&) = default;
};
void DescribeType(json::TRecordType<TAll>& t) {
    t.Field(u"I8", &TAll::I8)
        .Field(u"U8", &TAll::U8)
        .Field(u"I16", &TAll::I16)
        .Field(u"U16", &TAll::U16)
        .Field(u"I32", &TAll::I32)
        .Field(u"U32", &TAll::U32)
        .Field(u"I64", &TAll::I64)
        .Field(u"F32", &TAll::F32)
        .Field(u"F64", &TAll::F64)
        .Field(u"F80", &TAll::F80)
        .Field(u"Cur", &TAll::Cur)
        .Field(u"Comp", &TAll::Comp)
        .Field(u"AnsiChar", &TAll::AnsiChar)
        .Field(u"WideChar", &TAll::WideChar)
        .Field(u"Text", &TAll::Text)
        .Field(u"AnsiText", &TAll::AnsiText)
        .Field(u"Flag", &TAll::Flag)
        .Field(u"Color", &TAll::Color)
        .Field(u"Colors", &TAll::Colors)
        .Field(u"Static", &TAll::Static)
        .Field(u"Grid", &TAll::Grid)
        .Field(u"Points", &TAll::Points)
        .Field(u"Origin", &TAll::Origin)
        .Field(u"Var", &TAll::Var)
        .Field(u"Ref", &TAll::Ref);
}

// Kinds that have no JSON form.
struct TOpaque {
    void* Raw = nullptr;
    void (*Proc)() = nullptr;
    std::function<void()> Callback;
    json::IJsonValue Json;
};
void DescribeType(json::TRecordType<TOpaque>& t) {
    t.Field(u"Raw", &TOpaque::Raw)
        .Field(u"Proc", &TOpaque::Proc)
        .Field(u"Callback", &TOpaque::Callback)
        .Field(u"Json", &TOpaque::Json);
}

class TShape {
public:
    virtual ~TShape() = default;
    std::u16string FCaption;
    TPoint FOrigin;
    static void DescribeType(json::TClassType<TShape>& t) {
        t.Unit(u"Shapes").Name(u"TShape").Field(u"FCaption", &TShape::FCaption).Field(u"FOrigin", &TShape::FOrigin);
    }
};

// A derived class whose references may be shared or point back to itself.
class TNode : public TShape {
public:
    TNode* FLeft = nullptr;
    TNode* FRight = nullptr;
    static void DescribeType(json::TClassType<TNode>& t) {
        t.Unit(u"Shapes")
            .Name(u"TNode")
            .Parent<TShape>()
            .Field(u"FLeft", &TNode::FLeft)
            .Field(u"FRight", &TNode::FRight);
    }
};

// Owns the next link, so whatever a read creates is freed.
class TChain {
public:
    int32_t FValue = 0;
    std::unique_ptr<TChain> FNext;
    static void DescribeType(json::TClassType<TChain>& t) {
        t.Unit(u"Shapes").Name(u"TChain").Field(u"FValue", &TChain::FValue).Field(u"FNext", &TChain::FNext);
    }
};

// A property read and written through member functions.
class TGauge {
public:
    int64_t Position() const { return position_; }
    void SetPosition(int64_t v) { position_ = v; }
    static void DescribeType(json::TClassType<TGauge>& t) {
        t.Unit(u"Shapes").Name(u"TGauge").Field(u"Position", &TGauge::Position, &TGauge::SetPosition);
    }

private:
    int64_t position_ = 0;
};

}  // namespace demo

namespace json {
namespace {

using demo::TAll;
using demo::TChain;
using demo::TColor;
using demo::TNode;
using demo::TPoint;

std::u16string Text(const IJsonValue& v) { return v ? v->AsJSon(false, false) : u"nil"; }

// Sets TZ for the life of the object and restores it afterwards.
class ScopedTimeZone {
public:
    explicit ScopedTimeZone(const char* tz) {
        if (const char* old = std::getenv("TZ")) old_ = old;
        zelvano_test::SetEnv("TZ", tz);
        tzset();
    }
    ~ScopedTimeZone() {
        if (old_)
            zelvano_test::SetEnv("TZ", *old_);
        else
            zelvano_test::UnsetEnv("TZ");
        tzset();
    }

private:
    std::optional<std::string> old_;
};

TEST(RttiToJson, EveryKindGivesItsJsonForm) {
    TJsonRttiContext ctx;
    TAll a;
    a.I8 = -8;
    a.U8 = 200;
    a.I16 = -16000;
    a.U16 = 65000;
    a.I32 = -2000000000;
    a.U32 = 4000000000u;
    a.I64 = -9000000000000000000;
    a.F32 = 0.5f;
    a.F64 = 1234.5;
    a.F80 = 0.25L;
    a.Cur = Currency::FromScaled(15000);
    a.Comp = TComp{42};
    a.AnsiChar = 'Q';
    a.WideChar = u'丁';
    a.Text = u"h\u00e9llo";
    a.AnsiText = "plain";
    a.Flag = true;
    a.Color = TColor::Blue;
    a.Colors = {TColor::Red, TColor::Blue};
    a.Static = {1, 2, 3};
    a.Grid[0][1] = 5;
    a.Grid[1][0] = 6;
    a.Points = {{1, 2}, {3, 4}};
    a.Origin = {9, 10};
    a.Var = TVariant::Of(varSmallint, -3);
    RegisterType<demo::TShape>();
    a.Ref.Class = ClassInfoOf<demo::TShape>();

    IJsonValue o = ctx.AsJson(a);
    ASSERT_EQ(TypeOfValue(o), stObject);
    struct Row {
        const char16_t* member;
        TJsonType kind;
        std::u16string text;
    };
    const Row rows[] = {
        {u"I8", stInt, u"-8"},
        {u"U8", stInt, u"200"},
        {u"I16", stInt, u"-16000"},
        {u"U16", stInt, u"65000"},
        {u"I32", stInt, u"-2000000000"},
        {u"U32", stInt, u"4000000000"},
        {u"I64", stInt, u"-9000000000000000000"},
        {u"F32", stDouble, u"0.5"},
        {u"F64", stDouble, u"1234.5"},
        {u"F80", stDouble, u"0.25"},
        {u"Cur", stCurrency, u"1.5"},
        {u"Comp", stInt, u"42"},
        {u"AnsiChar", stString, u"\"Q\""},
        {u"WideChar", stString, u"\"丁\""},
        {u"Text", stString, u"\"h\u00e9llo\""},
        {u"AnsiText", stString, u"\"plain\""},
        {u"Flag", stBoolean, u"true"},
        {u"Color", stInt, u"2"},
        {u"Colors", stInt, u"5"},
        {u"Static", stArray, u"[1,2,3]"},
        {u"Grid", stArray, u"[[0,5],[6,0]]"},
        {u"Points", stArray, u"[{\"top\":2,\"X\":1},{\"top\":4,\"X\":3}]"},
        {u"Origin", stObject, u"{\"top\":10,\"X\":9}"},
        {u"Var", stInt, u"-3"},
        {u"Ref", stString, u"\"Shapes.TShape\""},
    };
    for (const Row& r : rows) {
        IJsonValue m = o->GetObject(r.member);
        EXPECT_EQ(TypeOfValue(m), r.kind) << platform::TextToUtf8(r.member);
        EXPECT_EQ(Text(m), r.text) << platform::TextToUtf8(r.member);
    }
    EXPECT_EQ(o->AsObject()->count(), static_cast<int>(std::size(rows)));

    // And back: every field reads its own JSON form.
    TAll back = ctx.AsType<TAll>(o);
    back.Var = a.Var;  // a variant reads back as the widest kind (checked below)
    EXPECT_TRUE(back == a);
}

TEST(RttiToJson, KindsWithoutJsonFormAreNilAndInterfacesPassThrough) {
    TJsonRttiContext ctx;
    int target = 0;
    demo::TOpaque v;
    v.Raw = &target;
    v.Proc = [] {};
    v.Callback = [] {};
    v.Json = ParseJsonText(u"[1,{\"a\":true}]");
    IJsonValue o = ctx.AsJson(v);
    EXPECT_EQ(o->AsObject()->count(), 4);
    EXPECT_FALSE(o->GetObject(u"Raw"));
    EXPECT_FALSE(o->GetObject(u"Proc"));
    EXPECT_FALSE(o->GetObject(u"Callback"));
    EXPECT_EQ(o->GetObject(u"Json").get(), v.Json.get());
    EXPECT_EQ(o->AsJSon(), u"{\"Raw\":null,\"Callback\":null,\"Proc\":null,\"Json\":[1,{\"a\":true}]}");
}

TEST(RttiToJson, VariantsByTheirOwnType) {
    TJsonRttiContext ctx;
    struct Row {
        TVariant v;
        std::u16string text;
    };
    const Row rows[] = {
        {TVariant(), u"nil"},
        {TVariant::Of(varNull, 0), u"nil"},
        {TVariant::Of(varShortInt, -5), u"-5"},
        {TVariant::Of(varInteger, -70000), u"-70000"},
        {TVariant::Of(varInt64, int64_t{1} << 40), u"1099511627776"},
        {TVariant::Of(varByte, 255), u"255"},
        {TVariant::Of(varWord, 65535), u"65535"},
        {TVariant::Of(varLongWord, 0xFFFFFFFF), u"4294967295"},
        {TVariant::OfDouble(varSingle, 0.5), u"0.5"},
        {TVariant::OfDouble(varDouble, 2.25), u"2.25"},
        {TVariant::Of(varCurrency, 12345), u"1.2345"},
        {TVariant::Of(varBoolean, 1), u"true"},
        {TVariant::OfText(u"丁"), u"\"丁\""},
    };
    for (const Row& r : rows) {
        TVariant v = r.v;
        EXPECT_EQ(Text(ctx.AsJson(v)), r.text) << r.v.VType;
    }
    TVariant bad = TVariant::Of(varDispatch, 0);
    try {
        ctx.AsJson(bad);
        FAIL() << "an unsupported variant type must raise";
    } catch (const platform::Exception& e) {
        EXPECT_EQ(e.Message(), u"Unsuported variant data type: 9");
    }
}

TEST(RttiToJson, SharedInstanceIsOneObjectUsedTwice) {
    TJsonRttiContext ctx;
    TNode leaf;
    leaf.FCaption = u"leaf";
    TNode root;
    root.FCaption = u"root";
    root.FOrigin = {1, 2};
    root.FLeft = &leaf;
    root.FRight = &leaf;

    IJsonValue o = ctx.AsJson(&root);
    ASSERT_EQ(TypeOfValue(o), stObject);
    // The ancestor's fields come with the class's own.
    EXPECT_EQ(o->GetString(u"FCaption"), u"root");
    EXPECT_EQ(o->GetInteger(u"FOrigin.top"), 2);
    IJsonValue left = o->GetObject(u"FLeft");
    ASSERT_TRUE(left);
    EXPECT_EQ(left.get(), o->GetObject(u"FRight").get());
    EXPECT_EQ(left->GetString(u"FCaption"), u"leaf");
    EXPECT_EQ(TypeOfValue(left->GetObject(u"FLeft")), stNull);
    EXPECT_EQ(o->AsJSon(false, false),
              u"{\"FOrigin\":{\"top\":2,\"X\":1},\"FCaption\":\"root\","
              u"\"FLeft\":{\"FOrigin\":{\"top\":0,\"X\":0},\"FCaption\":\"leaf\",\"FLeft\":null,\"FRight\":null},"
              u"\"FRight\":{\"FOrigin\":{\"top\":0,\"X\":0},\"FCaption\":\"leaf\",\"FLeft\":null,\"FRight\":null}}");

    // A caller's index spans several conversions: the same instance again
    // gives the same object.
    IJsonValue index = ParseJsonText(u"{}");
    TNode* leafPtr = &leaf;
    TValue v = TValue::From(leafPtr);
    IJsonValue first = ctx.ToJson(v, index);
    EXPECT_EQ(ctx.ToJson(v, index).get(), first.get());
    EXPECT_EQ(index->AsObject()->count(), 1);
}

TEST(RttiToJson, SelfReferenceWritesWithoutTheLoopingMember) {
    TJsonRttiContext ctx;
    TNode self;
    self.FCaption = u"me";
    self.FLeft = &self;
    IJsonValue o = ctx.AsJson(&self);
    ASSERT_EQ(TypeOfValue(o), stObject);
    EXPECT_EQ(o->GetObject(u"FLeft").get(), o.get());
    EXPECT_EQ(o->AsJSon(false, false), u"{\"FOrigin\":{\"top\":0,\"X\":0},\"FCaption\":\"me\",\"FRight\":null}");
    o->Clear(true);  // the cycle is not freed by counting
}

TEST(RttiToJson, PropertiesAndOwnedReferences) {
    TJsonRttiContext ctx;
    demo::TGauge gauge;
    gauge.SetPosition(41);
    IJsonValue o = ctx.AsJson(&gauge);
    EXPECT_EQ(o->AsJSon(), u"{\"Position\":41}");
    o->PutInteger(u"Position", 99);
    demo::TGauge* p = &gauge;
    TValue v = TValue::From(p);
    ASSERT_TRUE(ctx.FromJson(v.TypeInfo, o, v));
    EXPECT_EQ(p, &gauge);  // the existing instance is filled
    EXPECT_EQ(gauge.Position(), 99);

    auto chain = std::make_unique<TChain>();
    chain->FValue = 1;
    chain->FNext = std::make_unique<TChain>();
    chain->FNext->FValue = 2;
    EXPECT_EQ(ctx.AsJson(chain)->AsJSon(), u"{\"FValue\":1,\"FNext\":{\"FValue\":2,\"FNext\":null}}");
}

#ifndef _WIN32  // POSIX TZ rules; the Windows C runtime reads only the simplest TZ forms
TEST(RttiDateTime, LocalMidnight1970IsMinusTheUtcOffset) {
    struct Row {
        const char* tz;
        int64_t epochMs;      // 1970-01-01 00:00 local
        int64_t julyMs;       // 2026-07-01 00:00 local
    };
    const int64_t july = 1782864000000;  // 2026-07-01 00:00 UTC
    const Row rows[] = {
        {"UTC0", 0, july},
        {"EST5EDT,M3.2.0,M11.1.0", 5 * 3600000, july + 4 * 3600000},  // daylight time in July
        {"IST-5:30", -(5 * 3600000 + 30 * 60000), july - (5 * 3600000 + 30 * 60000)},
    };
    for (const Row& r : rows) {
        ScopedTimeZone zone(r.tz);
        TJsonRttiContext ctx;
        TDateTime epoch(25569.0);
        TDateTime summer(25569.0 + 20635.0);
        EXPECT_EQ(Text(ctx.AsJson(epoch)), platform::AsciiToText(std::to_string(r.epochMs))) << r.tz;
        EXPECT_EQ(ctx.AsJson(summer)->AsInteger(), r.julyMs) << r.tz;

        // Milliseconds and ISO 8601 texts read back as local time.
        EXPECT_DOUBLE_EQ(ctx.AsType<TDateTime>(JV(r.epochMs)).Value, 25569.0) << r.tz;
        EXPECT_DOUBLE_EQ(ctx.AsType<TDateTime>(JV(u"2026-07-01T00:00:00")).Value, summer.Value) << r.tz;
        const TDateTime utcNoon = ctx.AsType<TDateTime>(JV(u"2026-07-01T12:00:00.500Z"));
        EXPECT_EQ(ctx.AsJson(utcNoon)->AsInteger(), july + 12 * 3600000 + 500) << r.tz;
        const TDateTime eastern = ctx.AsType<TDateTime>(JV(u"20260701T120000-0400"));
        EXPECT_EQ(ctx.AsJson(eastern)->AsInteger(), july + 16 * 3600000) << r.tz;
    }
}
#endif

TEST(RttiGuid, ConvertsTo36LowerCaseCharacters) {
    TJsonRttiContext ctx;
    TGUID g{0x0123ABCD, 0xEF01, 0x0203, {0xA0, 0xB1, 0x0C, 0xD2, 0xE3, 0xF4, 0x05, 0x16}};
    IJsonValue o = ctx.AsJson(g);
    ASSERT_EQ(TypeOfValue(o), stString);
    EXPECT_EQ(o->AsString(), u"0123abcd-ef01-0203-a0b1-0cd2e3f40516");
    EXPECT_EQ(o->AsString().size(), 36u);
    EXPECT_TRUE(ctx.AsType<TGUID>(o) == g);
}

// What FromJson makes of one JSON text for one type: refused, or the JSON
// form of the value it read.
using Reader = std::u16string (*)(TJsonRttiContext&, const IJsonValue&);
template <class T>
std::u16string Read(TJsonRttiContext& ctx, const IJsonValue& obj) {
    T value{};
    TValue v = TValue::From(value);
    if (!ctx.FromJson(TypeInfoOf<T>(), obj, v)) return u"refused";
    return Text(ctx.AsJson(value));
}
template <>
std::u16string Read<TVariant>(TJsonRttiContext& ctx, const IJsonValue& obj) {
    TVariant value;
    TValue v = TValue::From(value);
    if (!ctx.FromJson(TypeInfoOf<TVariant>(), obj, v)) return u"refused";
    return platform::AsciiToText(std::to_string(value.VType)) + u":" + Text(ctx.AsJson(value));
}

TEST(RttiFromJson, EachRuleAcceptsAndRefuses) {
    RegisterType<demo::TShape>();
    struct Row {
        const char* rule;
        Reader read;
        std::u16string json;  // parsed with ParseJsonText; "nil" for a nil value
        std::u16string result;
    };
    const Row rows[] = {
        {"Boolean", Read<bool>, u"true", u"true"},
        {"Boolean", Read<bool>, u"-3", u"true"},
        {"Boolean", Read<bool>, u"0", u"false"},
        {"Boolean", Read<bool>, u"\"false\"", u"false"},
        {"Boolean", Read<bool>, u"\"1\"", u"true"},
        {"Boolean", Read<bool>, u"\"yes\"", u"refused"},
        {"Boolean", Read<bool>, u"1.5", u"refused"},
        {"Boolean", Read<bool>, u"null", u"refused"},
        {"integer", Read<int8_t>, u"-128", u"-128"},
        {"integer", Read<int8_t>, u"128", u"refused"},
        {"integer", Read<int8_t>, u"true", u"1"},
        {"integer", Read<int8_t>, u"\" 12\"", u"12"},
        {"integer", Read<int8_t>, u"\"'12'\"", u"refused"},
        {"integer", Read<int8_t>, u"2.0", u"refused"},
        {"integer", Read<uint32_t>, u"4294967295", u"4294967295"},
        {"integer", Read<uint32_t>, u"-1", u"refused"},
        {"integer", Read<int32_t>, u"nil", u"refused"},
        {"enumeration", Read<TColor>, u"2", u"2"},
        {"enumeration", Read<TColor>, u"3", u"refused"},
        {"enumeration", Read<TColor>, u"\"1\"", u"1"},
        {"64-bit", Read<int64_t>, u"-9223372036854775808", u"-9223372036854775808"},
        {"64-bit", Read<int64_t>, u"\"9223372036854775807\"", u"9223372036854775807"},
        {"64-bit", Read<int64_t>, u"\"9223372036854775808\"", u"refused"},
        {"64-bit", Read<int64_t>, u"\"$FF\"", u"255"},
        {"64-bit", Read<int64_t>, u"\"12x\"", u"refused"},
        {"64-bit", Read<int64_t>, u"true", u"refused"},
        {"set", Read<TSet<TColor>>, u"5", u"5"},
        {"set", Read<TSet<TColor>>, u"\"0x3\"", u"3"},
        {"set", Read<TSet<TColor>>, u"8", u"refused"},
        {"set", Read<TSet<TColor>>, u"\"4294967296\"", u"refused"},
        {"set", Read<TSet<TColor>>, u"[1]", u"refused"},
        {"floating point", Read<double>, u"2.5", u"2.5"},
        {"floating point", Read<double>, u"1e3", u"1000"},
        {"floating point", Read<double>, u"7", u"7"},
        {"floating point", Read<double>, u"\"0.125\"", u"0.125"},
        {"floating point", Read<double>, u"\"abc\"", u"refused"},
        {"floating point", Read<double>, u"true", u"refused"},
        {"floating point", Read<float>, u"1e300", u"INF"},  // beyond Single: an infinity, not undefined
        {"floating point", Read<TCurrency>, u"1.23456", u"1.2346"},
        {"floating point", Read<TComp>, u"3.5", u"4"},
        {"character", Read<char>, u"\"a\"", u"\"a\""},
        {"character", Read<char>, u"\"ab\"", u"refused"},
        {"character", Read<char16_t>, u"\"丁\"", u"\"丁\""},
        {"character", Read<char16_t>, u"\"\"", u"refused"},
        {"character", Read<char16_t>, u"1", u"refused"},
        {"text", Read<std::u16string>, u"null", u"\"\""},
        {"text", Read<std::u16string>, u"nil", u"\"\""},
        {"text", Read<std::u16string>, u"12", u"\"12\""},
        {"text", Read<std::u16string>, u"true", u"\"true\""},
        {"text", Read<std::u16string>, u"{}", u"refused"},
        {"text", Read<std::u16string>, u"[]", u"refused"},
        {"variant", Read<TVariant>, u"true", u"11:true"},
        {"variant", Read<TVariant>, u"1.5", u"6:1.5"},
        {"variant", Read<TVariant>, u"1.5e0", u"5:1.5"},
        {"variant", Read<TVariant>, u"5", u"20:5"},
        {"variant", Read<TVariant>, u"\"x\"", u"258:\"x\""},
        {"variant", Read<TVariant>, u"null", u"1:nil"},
        {"variant", Read<TVariant>, u"[1]", u"refused"},
        {"record", Read<TPoint>, u"{\"X\":1,\"top\":2}", u"{\"top\":2,\"X\":1}"},
        {"record", Read<TPoint>, u"{\"X\":1}", u"{\"top\":7,\"X\":1}"},           // default attribute
        {"record", Read<TPoint>, u"{\"X\":1,\"top\":null}", u"{\"top\":7,\"X\":1}"},
        {"record", Read<TPoint>, u"{\"top\":2}", u"refused"},                     // X has no default
        {"record", Read<TPoint>, u"{\"X\":\"a\",\"top\":2}", u"refused"},
        {"record", Read<TPoint>, u"[1,2]", u"refused"},
        {"class", Read<std::unique_ptr<demo::TShape>>, u"{\"FCaption\":\"c\",\"FOrigin\":{\"X\":3}}",
         u"{\"FOrigin\":{\"top\":7,\"X\":3},\"FCaption\":\"c\"}"},
        {"class", Read<std::unique_ptr<demo::TShape>>, u"null", u"nil"},
        {"class", Read<std::unique_ptr<demo::TShape>>, u"{\"FCaption\":\"c\"}", u"refused"},
        {"class", Read<std::unique_ptr<demo::TShape>>, u"\"c\"", u"refused"},
        {"static array", Read<std::array<int32_t, 2>>, u"[1,2]", u"[1,2]"},
        {"static array", Read<std::array<int32_t, 2>>, u"[1,2,3]", u"refused"},
        {"static array", Read<std::array<int32_t, 2>>, u"[1,\"x\"]", u"refused"},
        {"static array", Read<std::array<std::array<int32_t, 2>, 2>>, u"[[1,2],[3,4]]", u"[[1,2],[3,4]]"},
        {"static array", Read<std::array<std::array<int32_t, 2>, 2>>, u"[[1,2],[3]]", u"refused"},
        {"static array", Read<std::array<int32_t, 2>>, u"null", u"refused"},
        {"dynamic array", Read<std::vector<int32_t>>, u"null", u"[]"},
        {"dynamic array", Read<std::vector<int32_t>>, u"[4,5,6]", u"[4,5,6]"},
        {"dynamic array", Read<std::vector<int32_t>>, u"7", u"[7]"},
        {"dynamic array", Read<std::vector<int32_t>>, u"[1,\"x\"]", u"refused"},
        {"class reference", Read<TClassRef>, u"\"Shapes.TShape\"", u"\"Shapes.TShape\""},
        {"class reference", Read<TClassRef>, u"\"Shapes.TMissing\"", u"refused"},
        {"class reference", Read<TClassRef>, u"null", u"nil"},
        {"class reference", Read<TClassRef>, u"3", u"refused"},
        {"interface", Read<IJsonValue>, u"[1,2]", u"[1,2]"},
        {"pointer", Read<void*>, u"null", u"refused"},
        {"method", Read<std::function<void()>>, u"null", u"refused"},
        {"TDateTime", Read<TDateTime>, u"86400000", u"86400000"},
        {"TDateTime", Read<TDateTime>, u"\"1970-01-02T00:00:01Z\"", u"86401000"},
        {"TDateTime", Read<TDateTime>, u"\"1970-13-02T00:00:00Z\"", u"refused"},
        {"TDateTime", Read<TDateTime>, u"\"yesterday\"", u"refused"},
        {"TDateTime", Read<TDateTime>, u"1.5", u"refused"},
        {"TGUID", Read<TGUID>, u"\"{0123ABCD-EF01-0203-A0B1-0CD2E3F40516}\"",
         u"\"0123abcd-ef01-0203-a0b1-0cd2e3f40516\""},
        {"TGUID", Read<TGUID>, u"null", u"\"00000000-0000-0000-0000-000000000000\""},
        {"TGUID", Read<TGUID>, u"\"0123abcd-ef01-0203-a0b1-0cd2e3f4051\"", u"refused"},
        {"TGUID", Read<TGUID>, u"\"0123abcd_ef01-0203-a0b1-0cd2e3f40516\"", u"refused"},
        {"TGUID", Read<TGUID>, u"\"0123abcg-ef01-0203-a0b1-0cd2e3f40516\"", u"refused"},
        {"TGUID", Read<TGUID>, u"5", u"refused"},
    };
    TJsonRttiContext ctx;
    for (const Row& r : rows) {
        const IJsonValue obj = r.json == u"nil" ? IJsonValue() : ParseJsonText(r.json);
        EXPECT_EQ(r.read(ctx, obj), r.result) << r.rule << ": " << platform::TextToUtf8(r.json);
    }
}

TEST(RttiFromJson, ClassesFillExistingOrNewInstancesAndStopAtCycles) {
    TJsonRttiContext ctx;
    // A new instance when the reference holds none, the ancestor's fields too.
    std::unique_ptr<TNode> node;
    TValue v = TValue::From(node);
    ASSERT_TRUE(ctx.FromJson(v.TypeInfo, ParseJsonText(u"{FCaption: 'n', FOrigin: {X: 1}, FLeft: null, FRight: null}"), v));
    ASSERT_TRUE(node);
    EXPECT_EQ(node->FCaption, u"n");
    EXPECT_EQ(node->FOrigin, (TPoint{1, 7}));

    // A JSON object that contains itself ends the read instead of recursing.
    IJsonValue loop = ParseJsonText(u"{\"FValue\": 1}");
    loop->AsObject()->PutMember(u"FNext", loop);
    std::unique_ptr<TChain> chain;
    TValue c = TValue::From(chain);
    EXPECT_FALSE(ctx.FromJson(c.TypeInfo, loop, c));
    ASSERT_TRUE(chain);
    EXPECT_EQ(chain->FValue, 1);
    loop->Clear(true);

    // What ToJson makes of a chain reads back into an equal chain.
    TChain three;
    three.FValue = 3;
    three.FNext = std::make_unique<TChain>();
    three.FNext->FValue = 4;
    auto copy = ctx.AsType<std::unique_ptr<TChain>>(ctx.AsJson(&three));
    ASSERT_TRUE(copy && copy->FNext);
    EXPECT_EQ(copy->FValue, 3);
    EXPECT_EQ(copy->FNext->FValue, 4);
    EXPECT_FALSE(copy->FNext->FNext);
}

#ifdef ZELVANO_RTTI_WITH_DOWNLOAD
TEST(RttiDownLoad, ToJsonWritesTheDownloaderAndWhatItHolds) {
    download::TPlainProgressGauge gauge;
    gauge.SetMaxValue(1200);
    gauge.SetProgress(300);
    download::TDownLoad d(&gauge);
    // Nothing listens on port 1 of the loopback address: the fetch fails at
    // once, after the action was given the address and the file.
    EXPECT_FALSE(d.DownLoad(u"http://127.0.0.1:1/Version.zip", u"/nonexistent-dir/Version.zip"));

    IJsonValue o = d.ToJson(nullptr);
    ASSERT_EQ(TypeOfValue(o), stObject);
    EXPECT_EQ(o->AsObject()->count(), 4);
    EXPECT_EQ(o->GetString(u"FDownLoadFileURL"), u"http://127.0.0.1:1/Version.zip");
    EXPECT_EQ(o->GetString(u"FLocalFileName"), u"/nonexistent-dir/Version.zip");
    EXPECT_EQ(o->GetObject(u"FProgressBar")->AsJSon(), u"{\"MaxValue\":1200,\"Progress\":300}");
    IJsonValue action = o->GetObject(u"FDownLoadURL");
    ASSERT_EQ(TypeOfValue(action), stObject);
    EXPECT_EQ(action->GetString(u"URL"), u"http://127.0.0.1:1/Version.zip");
    EXPECT_EQ(action->GetString(u"Filename"), u"/nonexistent-dir/Version.zip");
    EXPECT_EQ(action->AsObject()->count(), 3);
    IJsonValue callback = JV(true);
    EXPECT_TRUE(action->AsObject()->Find(u"OnDownloadProgress", callback));
    EXPECT_FALSE(callback);  // a callable has no JSON form

    // The caller's context serves as well; a downloader without a gauge has
    // a null one.
    TJsonRttiContext ctx;
    download::TDownLoad bare(nullptr);
    IJsonValue b = bare.ToJson(&ctx);
    ASSERT_EQ(TypeOfValue(b), stObject);
    EXPECT_EQ(TypeOfValue(b->GetObject(u"FProgressBar")), stNull);
    EXPECT_EQ(b->GetString(u"FDownLoadFileURL"), u"");
}
#endif

}  // namespace
}  // namespace json
