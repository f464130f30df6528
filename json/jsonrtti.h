// Object marshalling: typed program values to JSON values and back.
//
// C++ keeps no field lists at run time, so a type describes itself once, by
// registration: a function DescribeType taking a builder for the type (found
// next to the type by argument-dependent lookup, or as a static member of
// it). The description is built on first use and kept for the life of the
// process. Built-in kinds (integers, characters, floating point, texts,
// Boolean, TDateTime, TGUID, TCurrency, TComp, TVariant, TSet, std::array and
// C arrays, std::vector, IJsonValue, TClassRef, pointers and callables) need
// no description.
//
//     struct TPoint { int X = 0; int Y = 0; };
//     void DescribeType(json::TRecordType<TPoint>& t) {
//         t.Name(u"TPoint")
//             .Field(u"X", &TPoint::X)
//             .Field(u"Y", &TPoint::Y, json::TJsonName(u"top"), json::TJsonDefault(u"0"));
//     }
//
//     class TShape {                      // a class: held by T*, unique_ptr or shared_ptr
//     public:
//         std::u16string FCaption;
//         TPoint FOrigin;
//         TShape* FNext = nullptr;        // shared and self references are kept
//         static void DescribeType(json::TClassType<TShape>& t) {
//             t.Unit(u"Shapes").Name(u"TShape")
//                 .Field(u"FCaption", &TShape::FCaption)
//                 .Field(u"FOrigin", &TShape::FOrigin)
//                 .Field(u"FNext", &TShape::FNext);
//         }
//     };
//
//     enum class TColor { Red, Green, Blue };
//     void DescribeType(json::TEnumType<TColor>& t) { t.Name(u"TColor").Names({u"Red", u"Green", u"Blue"}); }
//
//     json::TJsonRttiContext ctx;
//     json::IJsonValue o = ctx.AsJson(shape);          // shape is a TShape*
//     TPoint p = ctx.AsType<TPoint>(o->GetObject(u"FOrigin"));
//
// A class derived from a described class names its ancestor with
// t.Parent<TBase>(); the ancestor's fields come first. A field may also be a
// property, read through a getter member function and written through an
// optional setter: t.Field(u"MaxValue", &TGauge::MaxValue, &TGauge::SetMaxValue).
//
// DescribeType must be declared before the type is first converted. A class
// is walked by the fields of the reference's declared type. When FromJson
// makes a new instance for a raw pointer, the caller owns it; unique_ptr and
// shared_ptr references own theirs.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <initializer_list>
#include <limits>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <type_traits>
#include <utility>
#include <vector>

#include "json/jsonvalue.h"

namespace json {

// The one failure ToJson raises (filled with the variant's type code).
inline constexpr char16_t kUnsupportedVariantType[] = u"Unsuported variant data type: %d";

// ---------------------------------------------------------------------------
// Value types with a meaning of their own

// A local date and time: days since 1899-12-30 00:00, the time of day as the
// fraction.
struct TDateTime {
    double Value = 0;
    constexpr TDateTime() = default;
    constexpr TDateTime(double v) : Value(v) {}
    constexpr operator double() const { return Value; }
};

// A 128-bit identifier in its usual field layout.
struct TGUID {
    uint32_t D1 = 0;
    uint16_t D2 = 0;
    uint16_t D3 = 0;
    std::array<uint8_t, 8> D4{};
    friend bool operator==(const TGUID&, const TGUID&) = default;
};

// Fixed point with four decimals, the JSON library's currency payload.
using TCurrency = Currency;

// A 64-bit integer kept as a floating-point type (written as an integer).
struct TComp {
    int64_t Value = 0;
    friend bool operator==(TComp, TComp) = default;
};

// A set of the values of a described enumeration whose ordinals lie within
// 0..31, stored as one bit per value.
template <class E>
class TSet {
public:
    constexpr TSet() = default;
    constexpr TSet(std::initializer_list<E> values) {
        for (E v : values) Include(v);
    }
    static constexpr TSet FromBits(uint32_t bits) {
        TSet s;
        s.bits_ = bits;
        return s;
    }
    constexpr void Include(E v) { bits_ |= Bit(v); }
    constexpr void Exclude(E v) { bits_ &= ~Bit(v); }
    constexpr bool Contains(E v) const { return (bits_ & Bit(v)) != 0; }
    constexpr uint32_t Bits() const { return bits_; }
    friend constexpr bool operator==(TSet, TSet) = default;

private:
    static constexpr uint32_t Bit(E v) { return uint32_t{1} << static_cast<unsigned>(v); }
    uint32_t bits_ = 0;
};

// Variant type codes.
enum : uint16_t {
    varEmpty = 0x0000,
    varNull = 0x0001,
    varSmallint = 0x0002,
    varInteger = 0x0003,
    varSingle = 0x0004,
    varDouble = 0x0005,
    varCurrency = 0x0006,
    varDate = 0x0007,
    varOleStr = 0x0008,
    varDispatch = 0x0009,
    varError = 0x000A,
    varBoolean = 0x000B,
    varVariant = 0x000C,
    varUnknown = 0x000D,
    varShortInt = 0x0010,
    varByte = 0x0011,
    varWord = 0x0012,
    varLongWord = 0x0013,
    varInt64 = 0x0014,
    varUInt64 = 0x0015,
    varString = 0x0100,
    varUString = 0x0102,
    varArray = 0x2000,
};

// A value whose type travels with it. Integers, Boolean and currency (scaled
// by 10000) live in VInteger, Single, Double and dates in VDouble, wide and
// Unicode texts in VText, 8-bit text (ANSI code page) in VAnsi.
struct TVariant {
    uint16_t VType = varEmpty;
    int64_t VInteger = 0;
    double VDouble = 0;
    std::u16string VText;
    std::string VAnsi;

    static TVariant Of(uint16_t type, int64_t i) {
        TVariant v;
        v.VType = type;
        v.VInteger = i;
        return v;
    }
    static TVariant OfDouble(uint16_t type, double d) {
        TVariant v;
        v.VType = type;
        v.VDouble = d;
        return v;
    }
    static TVariant OfText(std::u16string s) {
        TVariant v;
        v.VType = varUString;
        v.VText = std::move(s);
        return v;
    }
    friend bool operator==(const TVariant&, const TVariant&) = default;
};

struct TClassInfo;

// A reference to a described class (or none): the class itself, not an
// instance of it.
struct TClassRef {
    const TClassInfo* Class = nullptr;
    friend bool operator==(const TClassRef&, const TClassRef&) = default;
};

// ---------------------------------------------------------------------------
// Type information

enum TTypeKind {
    tkUnknown,
    tkInteger,      // up to 32 bits
    tkChar,         // one byte, ANSI code page
    tkEnumeration,  // Boolean too
    tkFloat,
    tkSet,
    tkClass,        // a reference to a class instance
    tkMethod,       // bound callables (std::function)
    tkWChar,
    tkLString,      // 8-bit text of the ANSI code page
    tkUString,      // UTF-16 text
    tkVariant,
    tkArray,        // static, fixed number of elements
    tkRecord,
    tkInterface,    // IJsonValue
    tkInt64,
    tkDynArray,
    tkClassRef,
    tkPointer,
    tkProcedure,    // plain function pointers
};

enum TOrdType { otSByte, otUByte, otSWord, otUWord, otSLong, otULong, otSQWord, otUQWord };
enum TFloatType { ftSingle, ftDouble, ftExtended, ftComp, ftCurr };

struct TTypeInfo;
class TJsonRttiContext;
using TTypeInfoGetter = const TTypeInfo* (*)();

// A typed reference to a value held elsewhere (a variable, a field, an array
// element). It does not own the value.
struct TValue {
    const TTypeInfo* TypeInfo = nullptr;
    void* Data = nullptr;

    template <class T>
    static TValue From(T& v);
    template <class T>
    T& As() const {
        return *static_cast<T*>(Data);
    }
};

// One field of a record or class as its description lists it.
struct TRttiField {
    std::u16string Name;
    std::optional<std::u16string> JsonNameAttr;  // the name attribute
    std::optional<std::u16string> DefaultAttr;   // the default attribute (JSON text)
    TTypeInfoGetter FieldType = nullptr;
    // Hands the field of `instance` to `use` as a typed reference; with
    // `store` the value as `use` left it is kept (a property calls its setter).
    std::function<bool(void* instance, bool store, const std::function<bool(TValue&)>& use)> Access;

    const std::u16string& JsonName() const { return JsonNameAttr ? *JsonNameAttr : Name; }
};

// A described class: its own fields in declaration order and its ancestor.
struct TClassInfo {
    std::u16string UnitName;
    std::u16string ClassName;
    const TClassInfo* (*Parent)() = nullptr;
    void* (*ToParent)(void* instance) = nullptr;
    std::vector<TRttiField> Fields;
    void* (*Create)() = nullptr;  // null for classes that cannot be default-made
    void (*Destroy)(void*) = nullptr;

    std::u16string QualifiedName() const { return UnitName + u"." + ClassName; }
};

// What the program knows about one type. Which members mean something
// depends on Kind.
struct TTypeInfo {
    TTypeKind Kind = tkUnknown;
    std::u16string Name;
    std::size_t Size = 0;

    // tkInteger, tkInt64, tkEnumeration, tkChar, tkWChar, tkSet, and the
    // integer payload of ftComp and ftCurr floats.
    TOrdType OrdType = otSLong;
    int64_t MinValue = 0;
    int64_t MaxValue = 0;
    std::vector<std::u16string> EnumNames;
    int64_t (*GetOrd)(const void*) = nullptr;
    void (*SetOrd)(void*, int64_t) = nullptr;
    TTypeInfoGetter CompType = nullptr;  // tkSet: the element enumeration

    // tkFloat
    TFloatType FloatType = ftDouble;
    double (*GetFloat)(const void*) = nullptr;
    void (*SetFloat)(void*, double) = nullptr;

    // tkRecord
    std::vector<TRttiField> Fields;

    // tkClass: the slot (raw pointer, unique_ptr or shared_ptr) and the class
    const TClassInfo* (*ClassData)() = nullptr;
    void* (*GetInstance)(const void* slot) = nullptr;
    // Puts an instance made by ClassData()->Create (or none) into the slot;
    // owning slots free what they held.
    void (*SetInstance)(void* slot, void* instance) = nullptr;

    // tkArray and tkDynArray
    TTypeInfoGetter ElementType = nullptr;
    std::size_t ElementCount = 0;  // tkArray
    std::size_t (*GetLength)(const void*) = nullptr;
    void (*SetLength)(void*, std::size_t) = nullptr;
    void* (*Element)(void*, std::size_t) = nullptr;
};

template <class T>
const TTypeInfo* TypeInfoOf();
template <class T>
const TClassInfo* ClassInfoOf();

// Attributes of a field.
struct TJsonName {
    explicit TJsonName(std::u16string text) : Text(std::move(text)) {}
    std::u16string Text;
};
struct TJsonDefault {
    explicit TJsonDefault(std::u16string text) : Text(std::move(text)) {}
    std::u16string Text;
};

namespace rtti_detail {

inline void ApplyAttribute(TRttiField& f, const TJsonName& a) { f.JsonNameAttr = a.Text; }
inline void ApplyAttribute(TRttiField& f, const TJsonDefault& a) { f.DefaultAttr = a.Text; }

template <class T, class M, class... A>
TRttiField MakeField(std::u16string name, M T::*member, const A&... attributes) {
    TRttiField f;
    f.Name = std::move(name);
    f.FieldType = &TypeInfoOf<M>;
    f.Access = [member](void* instance, bool, const std::function<bool(TValue&)>& use) {
        TValue v{TypeInfoOf<M>(), &(static_cast<T*>(instance)->*member)};
        return use(v);
    };
    (ApplyAttribute(f, attributes), ...);
    return f;
}

template <class T, class G, class S, class... A>
TRttiField MakeProperty(std::u16string name, G getter, S setter, const A&... attributes) {
    using M = std::remove_cvref_t<std::invoke_result_t<G, T&>>;
    TRttiField f;
    f.Name = std::move(name);
    f.FieldType = &TypeInfoOf<M>;
    f.Access = [getter, setter](void* instance, bool store, const std::function<bool(TValue&)>& use) {
        T& self = *static_cast<T*>(instance);
        M temp = std::invoke(getter, self);
        TValue v{TypeInfoOf<M>(), &temp};
        bool ok = use(v);
        if constexpr (!std::is_same_v<S, std::nullptr_t>) {
            if (store) std::invoke(setter, self, std::move(temp));
        }
        return ok;
    };
    (ApplyAttribute(f, attributes), ...);
    return f;
}

template <class A>
concept FieldAttribute = std::is_same_v<A, TJsonName> || std::is_same_v<A, TJsonDefault>;

}  // namespace rtti_detail

// Builder that a record type's DescribeType fills.
template <class T>
class TRecordType {
public:
    explicit TRecordType(TTypeInfo& info) : info_(info) {}
    TRecordType& Name(std::u16string name) {
        info_.Name = std::move(name);
        return *this;
    }
    template <class M, class... A>
        requires(!std::is_function_v<M> && (rtti_detail::FieldAttribute<A> && ...))
    TRecordType& Field(std::u16string name, M T::*member, const A&... attributes) {
        info_.Fields.push_back(rtti_detail::MakeField(std::move(name), member, attributes...));
        return *this;
    }
    template <class G, class S = std::nullptr_t, class... A>
        requires std::is_member_function_pointer_v<G>
    TRecordType& Field(std::u16string name, G getter, S setter = nullptr, const A&... attributes) {
        info_.Fields.push_back(rtti_detail::MakeProperty<T>(std::move(name), getter, setter, attributes...));
        return *this;
    }

private:
    TTypeInfo& info_;
};

// Builder that a class's DescribeType fills.
template <class T>
class TClassType {
public:
    explicit TClassType(TClassInfo& info) : info_(info) {}
    TClassType& Unit(std::u16string unit) {
        info_.UnitName = std::move(unit);
        return *this;
    }
    TClassType& Name(std::u16string name) {
        info_.ClassName = std::move(name);
        return *this;
    }
    template <class B>
    TClassType& Parent() {
        static_assert(std::is_base_of_v<B, T>, "the ancestor must be a base class");
        info_.Parent = &ClassInfoOf<B>;
        info_.ToParent = [](void* p) -> void* { return static_cast<B*>(static_cast<T*>(p)); };
        return *this;
    }
    template <class M, class... A>
        requires(!std::is_function_v<M> && (rtti_detail::FieldAttribute<A> && ...))
    TClassType& Field(std::u16string name, M T::*member, const A&... attributes) {
        info_.Fields.push_back(rtti_detail::MakeField(std::move(name), member, attributes...));
        return *this;
    }
    template <class G, class S = std::nullptr_t, class... A>
        requires std::is_member_function_pointer_v<G>
    TClassType& Field(std::u16string name, G getter, S setter = nullptr, const A&... attributes) {
        info_.Fields.push_back(rtti_detail::MakeProperty<T>(std::move(name), getter, setter, attributes...));
        return *this;
    }

private:
    TClassInfo& info_;
};

// Builder that an enumeration's DescribeType fills: the value names (ordinals
// 0, 1, ...) or an explicit ordinal range.
template <class E>
class TEnumType {
public:
    explicit TEnumType(TTypeInfo& info) : info_(info) {}
    TEnumType& Name(std::u16string name) {
        info_.Name = std::move(name);
        return *this;
    }
    TEnumType& Names(std::initializer_list<std::u16string> names) {
        info_.EnumNames.assign(names);
        info_.MinValue = 0;
        info_.MaxValue = static_cast<int64_t>(names.size()) - 1;
        return *this;
    }
    TEnumType& Range(int64_t minValue, int64_t maxValue) {
        info_.MinValue = minValue;
        info_.MaxValue = maxValue;
        return *this;
    }

private:
    TTypeInfo& info_;
};

// The classes described so far, by qualified name (unit "." class). A class
// is known once its description was first used or RegisterType was called.
void RegisterClassInfo(const TClassInfo* info);
const TClassInfo* FindClassInfo(const std::u16string& qualifiedName);

namespace rtti_detail {

template <class T>
concept RecordDescribed = std::is_class_v<T> && (requires(TRecordType<T>& b) { DescribeType(b); } ||
                                                 requires(TRecordType<T>& b) { T::DescribeType(b); });
template <class T>
concept ClassDescribed = std::is_class_v<T> && (requires(TClassType<T>& b) { DescribeType(b); } ||
                                                requires(TClassType<T>& b) { T::DescribeType(b); });
template <class T>
concept EnumDescribed = std::is_enum_v<T> && (requires(TEnumType<T>& b) { DescribeType(b); } ||
                                              requires(TEnumType<T>& b) { T::DescribeType(b); });

template <class Builder, class T>
void Describe(Builder& b) {
    if constexpr (requires { T::DescribeType(b); })
        T::DescribeType(b);
    else
        DescribeType(b);
}

template <class T>
struct IsStdArray : std::false_type {};
template <class E, std::size_t N>
struct IsStdArray<std::array<E, N>> : std::true_type {
    using Element = E;
    static constexpr std::size_t Count = N;
};
template <class T>
struct IsVector : std::false_type {};
template <class E, class A>
struct IsVector<std::vector<E, A>> : std::true_type {
    using Element = E;
};
template <class T>
struct IsSet : std::false_type {};
template <class E>
struct IsSet<TSet<E>> : std::true_type {
    using Element = E;
};
template <class T>
struct ClassSlot : std::false_type {};
template <class C>
struct ClassSlot<C*> : std::bool_constant<ClassDescribed<C>> {
    using Class = C;
    static void* Get(const void* slot) { return *static_cast<C* const*>(slot); }
    static void Set(void* slot, void* inst) { *static_cast<C**>(slot) = static_cast<C*>(inst); }
};
template <class C, class D>
struct ClassSlot<std::unique_ptr<C, D>> : std::bool_constant<ClassDescribed<C>> {
    using Class = C;
    static void* Get(const void* slot) { return static_cast<const std::unique_ptr<C, D>*>(slot)->get(); }
    static void Set(void* slot, void* inst) { static_cast<std::unique_ptr<C, D>*>(slot)->reset(static_cast<C*>(inst)); }
};
template <class C>
struct ClassSlot<std::shared_ptr<C>> : std::bool_constant<ClassDescribed<C>> {
    using Class = C;
    static void* Get(const void* slot) { return static_cast<const std::shared_ptr<C>*>(slot)->get(); }
    static void Set(void* slot, void* inst) { static_cast<std::shared_ptr<C>*>(slot)->reset(static_cast<C*>(inst)); }
};

template <class T>
struct IsStdFunction : std::false_type {};
template <class R, class... A>
struct IsStdFunction<std::function<R(A...)>> : std::true_type {};

template <class T>
void SetOrdinalAccess(TTypeInfo& info) {
    info.GetOrd = [](const void* p) -> int64_t { return static_cast<int64_t>(*static_cast<const T*>(p)); };
    info.SetOrd = [](void* p, int64_t v) { *static_cast<T*>(p) = static_cast<T>(v); };
}

template <class I>
void FillInteger(TTypeInfo& info, const char16_t* name) {
    info.Name = name;
    info.Kind = sizeof(I) == 8 ? tkInt64 : tkInteger;
    info.MinValue = static_cast<int64_t>(std::numeric_limits<I>::min());
    info.MaxValue = static_cast<int64_t>(std::numeric_limits<I>::max());
    constexpr bool s = std::is_signed_v<I>;
    info.OrdType = sizeof(I) == 1   ? (s ? otSByte : otUByte)
                   : sizeof(I) == 2 ? (s ? otSWord : otUWord)
                   : sizeof(I) == 4 ? (s ? otSLong : otULong)
                                    : (s ? otSQWord : otUQWord);
    SetOrdinalAccess<I>(info);
}

template <class F>
void FillFloat(TTypeInfo& info, const char16_t* name, TFloatType ft) {
    info.Kind = tkFloat;
    info.Name = name;
    info.FloatType = ft;
    info.GetFloat = [](const void* p) -> double { return static_cast<double>(*static_cast<const F*>(p)); };
    info.SetFloat = [](void* p, double v) {
        // A double beyond the type's range becomes an infinity of its sign.
        if (v > static_cast<double>(std::numeric_limits<F>::max()))
            v = std::numeric_limits<double>::infinity();
        else if (v < static_cast<double>(std::numeric_limits<F>::lowest()))
            v = -std::numeric_limits<double>::infinity();
        *static_cast<F*>(p) = static_cast<F>(v);
    };
}

template <class T>
TTypeInfo MakeTypeInfo() {
    TTypeInfo info;
    info.Size = sizeof(T);
    if constexpr (std::is_same_v<T, bool>) {
        info.Kind = tkEnumeration;
        info.Name = u"Boolean";
        info.MinValue = 0;
        info.MaxValue = 1;
        info.EnumNames = {u"False", u"True"};
        SetOrdinalAccess<bool>(info);
    } else if constexpr (std::is_same_v<T, char>) {
        info.Kind = tkChar;
        info.Name = u"AnsiChar";
        info.OrdType = otUByte;
        info.MaxValue = 255;
        info.GetOrd = [](const void* p) -> int64_t { return static_cast<unsigned char>(*static_cast<const char*>(p)); };
        info.SetOrd = [](void* p, int64_t v) { *static_cast<char*>(p) = static_cast<char>(v); };
    } else if constexpr (std::is_same_v<T, char16_t>) {
        info.Kind = tkWChar;
        info.Name = u"WideChar";
        info.OrdType = otUWord;
        info.MaxValue = 0xFFFF;
        SetOrdinalAccess<char16_t>(info);
    } else if constexpr (std::is_same_v<T, int8_t>) {
        FillInteger<T>(info, u"ShortInt");
    } else if constexpr (std::is_same_v<T, uint8_t>) {
        FillInteger<T>(info, u"Byte");
    } else if constexpr (std::is_same_v<T, int16_t>) {
        FillInteger<T>(info, u"SmallInt");
    } else if constexpr (std::is_same_v<T, uint16_t>) {
        FillInteger<T>(info, u"Word");
    } else if constexpr (std::is_integral_v<T> && std::is_signed_v<T> && sizeof(T) == 4) {
        FillInteger<T>(info, u"Integer");
    } else if constexpr (std::is_integral_v<T> && std::is_unsigned_v<T> && sizeof(T) == 4) {
        FillInteger<T>(info, u"Cardinal");
    } else if constexpr (std::is_integral_v<T> && std::is_signed_v<T> && sizeof(T) == 8) {
        FillInteger<T>(info, u"Int64");
    } else if constexpr (std::is_integral_v<T> && std::is_unsigned_v<T> && sizeof(T) == 8) {
        FillInteger<T>(info, u"UInt64");
    } else if constexpr (std::is_same_v<T, float>) {
        FillFloat<T>(info, u"Single", ftSingle);
    } else if constexpr (std::is_same_v<T, double>) {
        FillFloat<T>(info, u"Double", ftDouble);
    } else if constexpr (std::is_same_v<T, long double>) {
        FillFloat<T>(info, u"Extended", ftExtended);
    } else if constexpr (std::is_same_v<T, TDateTime>) {
        info.Kind = tkFloat;
        info.Name = u"TDateTime";
        info.FloatType = ftDouble;
        info.GetFloat = [](const void* p) -> double { return static_cast<const TDateTime*>(p)->Value; };
        info.SetFloat = [](void* p, double v) { static_cast<TDateTime*>(p)->Value = v; };
    } else if constexpr (std::is_same_v<T, TCurrency>) {
        info.Kind = tkFloat;
        info.Name = u"Currency";
        info.FloatType = ftCurr;
        info.GetOrd = [](const void* p) -> int64_t { return static_cast<const TCurrency*>(p)->scaled; };
        info.SetOrd = [](void* p, int64_t v) { static_cast<TCurrency*>(p)->scaled = v; };
    } else if constexpr (std::is_same_v<T, TComp>) {
        info.Kind = tkFloat;
        info.Name = u"Comp";
        info.FloatType = ftComp;
        info.GetOrd = [](const void* p) -> int64_t { return static_cast<const TComp*>(p)->Value; };
        info.SetOrd = [](void* p, int64_t v) { static_cast<TComp*>(p)->Value = v; };
    } else if constexpr (std::is_same_v<T, std::u16string>) {
        info.Kind = tkUString;
        info.Name = u"UnicodeString";
    } else if constexpr (std::is_same_v<T, std::string>) {
        info.Kind = tkLString;
        info.Name = u"AnsiString";
    } else if constexpr (std::is_same_v<T, TVariant>) {
        info.Kind = tkVariant;
        info.Name = u"Variant";
    } else if constexpr (std::is_same_v<T, IJsonValue>) {
        info.Kind = tkInterface;
        info.Name = u"IJsonValue";
    } else if constexpr (std::is_same_v<T, TClassRef>) {
        info.Kind = tkClassRef;
        info.Name = u"TClass";
    } else if constexpr (std::is_same_v<T, TGUID>) {
        info.Kind = tkRecord;
        info.Name = u"TGUID";
        TRecordType<TGUID> b(info);
        b.Field(u"D1", &TGUID::D1).Field(u"D2", &TGUID::D2).Field(u"D3", &TGUID::D3).Field(u"D4", &TGUID::D4);
    } else if constexpr (IsSet<T>::value) {
        using E = typename IsSet<T>::Element;
        info.Kind = tkSet;
        info.CompType = &TypeInfoOf<E>;
        info.OrdType = otULong;
        info.GetOrd = [](const void* p) -> int64_t { return static_cast<const T*>(p)->Bits(); };
        info.SetOrd = [](void* p, int64_t v) { *static_cast<T*>(p) = T::FromBits(static_cast<uint32_t>(v)); };
    } else if constexpr (EnumDescribed<T>) {
        info.Kind = tkEnumeration;
        using U = std::underlying_type_t<T>;
        info.OrdType = sizeof(U) == 1 ? otUByte : sizeof(U) == 2 ? otUWord : otSLong;
        info.GetOrd = [](const void* p) -> int64_t { return static_cast<int64_t>(*static_cast<const T*>(p)); };
        info.SetOrd = [](void* p, int64_t v) { *static_cast<T*>(p) = static_cast<T>(static_cast<U>(v)); };
        TEnumType<T> b(info);
        Describe<TEnumType<T>, T>(b);
    } else if constexpr (IsStdArray<T>::value) {
        using E = typename IsStdArray<T>::Element;
        info.Kind = tkArray;
        info.ElementType = &TypeInfoOf<E>;
        info.ElementCount = IsStdArray<T>::Count;
        info.Element = [](void* p, std::size_t i) -> void* { return &(*static_cast<T*>(p))[i]; };
    } else if constexpr (std::is_array_v<T> && std::extent_v<T> > 0) {
        using E = std::remove_extent_t<T>;
        info.Kind = tkArray;
        info.ElementType = &TypeInfoOf<E>;
        info.ElementCount = std::extent_v<T>;
        info.Element = [](void* p, std::size_t i) -> void* { return &(*static_cast<T*>(p))[i]; };
    } else if constexpr (IsVector<T>::value) {
        using E = typename IsVector<T>::Element;
        static_assert(!std::is_same_v<E, bool>, "std::vector<bool> has no addressable elements");
        info.Kind = tkDynArray;
        info.ElementType = &TypeInfoOf<E>;
        info.GetLength = [](const void* p) -> std::size_t { return static_cast<const T*>(p)->size(); };
        info.SetLength = [](void* p, std::size_t n) { static_cast<T*>(p)->resize(n); };
        info.Element = [](void* p, std::size_t i) -> void* { return &(*static_cast<T*>(p))[i]; };
    } else if constexpr (ClassSlot<T>::value) {
        using C = typename ClassSlot<T>::Class;
        info.Kind = tkClass;
        info.ClassData = &ClassInfoOf<C>;
        info.GetInstance = &ClassSlot<T>::Get;
        info.SetInstance = &ClassSlot<T>::Set;
    } else if constexpr (RecordDescribed<T>) {
        info.Kind = tkRecord;
        TRecordType<T> b(info);
        Describe<TRecordType<T>, T>(b);
    } else if constexpr (IsStdFunction<T>::value || std::is_member_function_pointer_v<T>) {
        info.Kind = tkMethod;
    } else if constexpr (std::is_pointer_v<T> && std::is_function_v<std::remove_pointer_t<T>>) {
        info.Kind = tkProcedure;
    } else if constexpr (std::is_pointer_v<T>) {
        info.Kind = tkPointer;
        info.Name = u"Pointer";
    } else {
        static_assert(sizeof(T) == 0,
                      "this type has no type information: give it a DescribeType(json::TRecordType<T>&), "
                      "DescribeType(json::TClassType<T>&) or DescribeType(json::TEnumType<T>&)");
    }
    return info;
}

}  // namespace rtti_detail

// The type information of T, made on first use and kept.
template <class T>
const TTypeInfo* TypeInfoOf() {
    if constexpr (!std::is_same_v<T, std::remove_cv_t<T>>) {
        return TypeInfoOf<std::remove_cv_t<T>>();
    } else {
        static const TTypeInfo info = rtti_detail::MakeTypeInfo<T>();
        return &info;
    }
}

// The description of a class, made on first use and kept; it is then known
// by its qualified name.
template <class T>
const TClassInfo* ClassInfoOf() {
    static const TClassInfo* info = [] {
        static TClassInfo ci;
        TClassType<T> b(ci);
        rtti_detail::Describe<TClassType<T>, T>(b);
        if constexpr (std::is_default_constructible_v<T> && !std::is_abstract_v<T>) {
            ci.Create = []() -> void* { return new T(); };
        }
        ci.Destroy = [](void* p) { delete static_cast<T*>(p); };
        RegisterClassInfo(&ci);
        return &ci;
    }();
    return info;
}

// Makes T's description known now (class references name classes only once
// they are known).
template <class T>
void RegisterType() {
    if constexpr (rtti_detail::ClassDescribed<T>)
        ClassInfoOf<T>();
    else
        TypeInfoOf<T>();
}

template <class T>
TValue TValue::From(T& v) {
    return TValue{TypeInfoOf<T>(), const_cast<std::remove_const_t<T>*>(&v)};
}

// Looks up types and fields.
class TRttiContext {
public:
    // A described class by its qualified name; null when unknown.
    const TClassInfo* FindType(const std::u16string& qualifiedName) const {
        return FindClassInfo(qualifiedName);
    }
    // Every field of an instance of the class, the ancestors' fields first,
    // each with the instance address its accessor takes.
    std::vector<std::pair<const TRttiField*, void*>> GetFields(const TClassInfo* cls, void* instance) const;
};

// Converters for types that are not read by their kind.
using TSerialToJson = std::function<IJsonValue(TJsonRttiContext& ctx, TValue& value, const IJsonValue& index)>;
using TSerialFromJson = std::function<bool(TJsonRttiContext& ctx, const IJsonValue& obj, TValue& Value)>;

// The marshalling context: typed values to JSON values and back, with the
// registered converters of Boolean, TDateTime and TGUID. One context serves
// one thread at a time (like the JSON values it makes).
class TJsonRttiContext {
public:
    TRttiContext Context;
    std::map<const TTypeInfo*, TSerialFromJson> SerialFromJson;
    std::map<const TTypeInfo*, TSerialToJson> SerialToJson;

    TJsonRttiContext();
    virtual ~TJsonRttiContext();
    TJsonRttiContext(const TJsonRttiContext&) = delete;
    TJsonRttiContext& operator=(const TJsonRttiContext&) = delete;

    // Reads obj into the storage Value refers to (of type TypeInfo). False
    // when obj cannot be read as that type; Value then holds what was filled
    // so far.
    virtual bool FromJson(const TTypeInfo* TypeInfo, const IJsonValue& obj, TValue& Value);
    // The JSON form of value. The index keeps one JSON object per class
    // instance (by address), so shared and self references come out as one
    // object; a nil index gets a fresh one. An instance that refers back to
    // itself gives an object that contains itself, which counting never
    // frees: release it with Clear(true). Raises platform::Exception for a
    // variant of an unsupported type.
    virtual IJsonValue ToJson(TValue& value, const IJsonValue& index);

    template <class T>
    T AsType(const IJsonValue& obj) {
        T result{};
        TValue v = TValue::From(result);
        FromJson(v.TypeInfo, obj, v);
        return result;
    }
    template <class T>
    IJsonValue AsJson(const T& obj, const IJsonValue& index = nullptr) {
        TValue v = TValue::From(obj);
        return ToJson(v, index);
    }

private:
    bool FromJsonFields(const std::vector<std::pair<const TRttiField*, void*>>& fields, const IJsonValue& obj);
    IJsonValue FieldsToJson(const std::vector<std::pair<const TRttiField*, void*>>& fields,
                            const IJsonValue& target, const IJsonValue& index);
    // JSON objects being read into class instances right now, so that a
    // value that contains itself ends the read instead of recursing forever.
    std::vector<const TJsonValue*> reading_;
};

// Milliseconds since 1970-01-01 00:00 UTC for a local date and time, through
// the time-zone rules in force at that date, and back.
int64_t DateTimeToUnixMs(TDateTime local);
TDateTime UnixMsToDateTime(int64_t ms);
// Reads an ISO 8601 date and time ("2026-12-09", "2026-12-09T10:30",
// "20261209T103000", seconds with a fraction, "Z" or "+hh:mm"/"-hhmm" zone);
// without a zone the time is local. False when the text is not one.
bool Iso8601ToDateTime(std::u16string_view text, TDateTime& local);
// The GUID text "xxxxxxxx-xxxx-xxxx-xxxx-xxxxxxxxxxxx" (lower case) and back;
// reading also takes upper case and enclosing braces.
std::u16string GuidToText(const TGUID& g);
bool TextToGuid(std::u16string_view text, TGUID& g);

}  // namespace json
