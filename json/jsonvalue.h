// The JSON subsystem: reference-counted values, the lenient parser, path
// access and the writer.
//
// Every value is a TJsonValue reached through the intrusive handle
// IJsonValue. Values are born with a reference count of 0; the first handle
// that takes one raises it to 1 and the last handle that lets go frees it.
// Containers hold counted references on their members. Bad input is reported
// by result (nil, false, 0, the empty text), never by an exception.
#pragma once

#include <atomic>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <string_view>

#include "platform/exception.h"
#include "platform/stream.h"

namespace json {

class TJsonValue;
class TJsonArray;
class TJsonTableString;
class TJsonAvlIterator;
class TJsonEnumerator;
class TJsonWriter;
class TJsonTokenizer;
struct AvlOps;

enum TJsonType : uint8_t {
    stNull,
    stBoolean,
    stDouble,
    stCurrency,
    stInt,
    stObject,
    stArray,
    stString,
    stMethod
};

enum TJsonCompareResult { cpLess, cpEqu, cpGreat, cpError };

enum TJsonFindOption : uint8_t { foCreatePath = 1, foPutValue = 2, foDelete = 4, foCallMethod = 8 };
// A set of TJsonFindOption flags.
using TJsonFindOptions = uint8_t;

enum TJsonAvlSearchType : uint8_t { stEQual = 1, stLess = 2, stGreater = 4 };
using TJsonAvlSearchTypes = uint8_t;

// Fixed-point decimal with exactly four decimals: `scaled` is the value times
// 10000.
struct Currency {
    int64_t scaled = 0;
    static constexpr Currency FromScaled(int64_t s) { return Currency{s}; }
    double ToDouble() const { return static_cast<double>(scaled) / 10000.0; }
    friend bool operator==(Currency a, Currency b) { return a.scaled == b.scaled; }
};

// Raised when a value that handles still refer to is freed directly.
class EInvalidPointer : public platform::Exception {
public:
    using platform::Exception::Exception;
};

// Counted handle on one value; an empty handle is nil.
class IJsonValue {
public:
    IJsonValue() noexcept = default;
    IJsonValue(std::nullptr_t) noexcept {}
    IJsonValue(TJsonValue* v) noexcept;
    IJsonValue(const IJsonValue& o) noexcept;
    IJsonValue(IJsonValue&& o) noexcept : p_(o.p_) { o.p_ = nullptr; }
    ~IJsonValue();
    IJsonValue& operator=(const IJsonValue& o) noexcept;
    IJsonValue& operator=(IJsonValue&& o) noexcept;
    IJsonValue& operator=(std::nullptr_t) noexcept;

    TJsonValue* operator->() const noexcept { return p_; }
    TJsonValue& operator*() const noexcept { return *p_; }
    TJsonValue* get() const noexcept { return p_; }
    explicit operator bool() const noexcept { return p_ != nullptr; }
    friend bool operator==(const IJsonValue& a, const IJsonValue& b) { return a.p_ == b.p_; }
    friend bool operator==(const IJsonValue& a, std::nullptr_t) { return a.p_ == nullptr; }

private:
    TJsonValue* p_ = nullptr;
};

// A callable stored in a value: called by path evaluation with the value that
// holds it (`This`), the argument (`Params`) and the result to fill.
using TJsonMethod = void (*)(const IJsonValue& This, const IJsonValue& Params, IJsonValue& Result);

// Validation errors reported to a TJsonOnValidateError callback.
enum TJsonValidateError {
    veRuleMalformated,
    veFieldIsRequired,
    veInvalidDataType,
    veFieldNotFound,
    veUnexpectedField,
    veDuplicateEntry,
    veValueNotInEnum,
    veInvalidLength,
    veInvalidRange
};
using TJsonOnValidateError =
    std::function<void(void* sender, TJsonValidateError error, const std::u16string& objpath)>;

// Number of values that exist in the process now.
int32_t JsonLiveValues();
// The check made when the JSON subsystem shuts down at exit: when values are
// still alive it writes "Memory leak" (with the count) to `report` (standard
// error when null) and returns false.
bool JsonCheckLeaks(std::string* report = nullptr);

// One JSON value: null, boolean, double, currency, integer, object, array,
// string or callable. The kind is fixed at construction. Use a value through
// handles: the operations that take a handle on the value itself (the path
// accessors, GetEnumerator) free a value that no handle held before.
class TJsonValue {
public:
    explicit TJsonValue(TJsonType jt);
    explicit TJsonValue(bool b);
    explicit TJsonValue(int64_t i);
    explicit TJsonValue(int i) : TJsonValue(static_cast<int64_t>(i)) {}
    explicit TJsonValue(double d);
    explicit TJsonValue(std::u16string s);
    explicit TJsonValue(const char16_t* s) : TJsonValue(std::u16string(s)) {}
    // Text is UTF-16: a narrow literal ("text") would otherwise turn into the
    // boolean true through the pointer conversion.
    TJsonValue(const char* s) = delete;
    explicit TJsonValue(TJsonMethod m);
    static TJsonValue* CreateCurrency(Currency c);

    TJsonValue(const TJsonValue&) = delete;
    TJsonValue& operator=(const TJsonValue&) = delete;
    static void* operator new(size_t size);
    static void operator delete(void* p) noexcept;

    // Reference counting (atomic).
    int32_t AddRef() noexcept;
    int32_t Release() noexcept;
    // Frees a value no handle refers to; raises EInvalidPointer "Invalid
    // pointer" and leaves the value intact otherwise.
    void Free();

    int32_t RefCount() const { return FRefCount.load(std::memory_order_relaxed); }
    TJsonType DataType() const { return FDataType; }
    TJsonType GetDataType() const { return FDataType; }
    bool Processing() const { return FProcessing; }
    bool GetProcessing() const { return FProcessing; }
    void SetProcessing(bool value) { FProcessing = value; }
    void* GetDataPtr() const { return FDataPtr; }
    void SetDataPtr(void* value) { FDataPtr = value; }
    bool IsType(TJsonType t) const { return FDataType == t; }

    // Caller owns the enumerator.
    std::unique_ptr<TJsonEnumerator> GetEnumerator();

    // Conversions; none fails, an unconvertible kind gives the zero value.
    bool AsBoolean() const;
    int64_t AsInteger() const;
    double AsDouble() const;
    Currency AsCurrency() const;
    std::u16string AsString();
    TJsonArray* AsArray() const;
    TJsonTableString* AsObject() const;
    TJsonMethod AsMethod() const;

    // Path accessors (a path such as a.b[2]).
    IJsonValue ForcePath(const std::u16string& path, TJsonType dataType = stObject);
    std::u16string Format(const std::u16string& str, char16_t BeginSep = u'%',
                          char16_t EndSep = u'%');
    IJsonValue GetObject(const std::u16string& path);
    void PutObject(const std::u16string& path, const IJsonValue& Value);
    bool GetBoolean(const std::u16string& path);
    void PutBoolean(const std::u16string& path, bool Value);
    int64_t GetInteger(const std::u16string& path);
    void PutInteger(const std::u16string& path, int64_t Value);
    double GetDouble(const std::u16string& path);
    void PutCurrency(const std::u16string& path, Currency Value);
    Currency GetCurrency(const std::u16string& path);
    void PutDouble(const std::u16string& path, double Value);
    std::u16string GetString(const std::u16string& path);
    void PutString(const std::u16string& path, const std::u16string& Value);
    TJsonMethod GetMethod(const std::u16string& path);
    void PutMethod(const std::u16string& path, TJsonMethod Value);
    TJsonArray* GetArray(const std::u16string& path);
    IJsonValue GetN(const std::u16string& path);
    void PutN(const std::u16string& path, const IJsonValue& Value);
    IJsonValue Delete(const std::u16string& path);
    IJsonValue call(const std::u16string& path, const IJsonValue& param = nullptr);
    IJsonValue call(const std::u16string& path, const std::u16string& param);

    // Writing. WriteTo returns the last Append result (negative: the writer
    // failed).
    int WriteTo(TJsonWriter& writer, bool indent, bool escape, int level);
    std::u16string AsJSon(bool indent = false, bool escape = true);
    int64_t SaveTo(platform::TStream& stream, bool indent = false, bool escape = true);
    int64_t SaveTo(const std::u16string& FileName, bool indent = false, bool escape = true);
    int64_t SaveTo(const std::string& FileName, bool indent = false, bool escape = true);
    int64_t SaveTo(int socket, bool indent = false, bool escape = true);
    int64_t CalcSize(bool indent = false, bool escape = true);

    void Clear(bool all = false);
    void Pack(bool all = false);
    IJsonValue Clone();
    void Merge(const IJsonValue& obj, bool reference = false);
    void Merge(const std::u16string& str);
    TJsonCompareResult Compare(const IJsonValue& obj);
    TJsonCompareResult Compare(const std::u16string& str);

    // Validation against a rule document (rules and optional named
    // definitions). Rule words:
    //   "type":     "str" string; "int" integer; "float" double or currency;
    //               "number" integer, double or currency; "text" string or a
    //               number; "bool" boolean; "map" object; "seq" array;
    //               "scalar" anything but object, array and callable (null
    //               too); "any" (the default when "type" is absent).
    //   "required": true: the value must exist and not be null.
    //   "enum":     array of allowed values (compared with Compare).
    //   "length":   {"min","max","minex","maxex"} on the number of UTF-16
    //               units of a string, elements of an array or members of an
    //               object ("minex"/"maxex" are exclusive bounds).
    //   "range":    the same bounds on a number's value or, for a string,
    //               ordinally on its text.
    //   "mapping":  object of member name -> rule: each listed member is
    //               checked; a member the mapping does not list is
    //               veUnexpectedField.
    //   "sequence": array holding one rule, applied to every element.
    //   "unique":   true in the rule of a sequence's elements: no two elements
    //               compare equal (veDuplicateEntry).
    //   "name":     names a rule in the definitions.
    //   "inherit":  name of a definition whose words this rule starts from;
    //               its own words override them (veFieldNotFound when no
    //               definition has that name).
    // Checks run in this order: required, type, enum, length, range, then
    // mapping or sequence. A rule that is not an object, holds an unknown word
    // or a wrongly shaped one is veRuleMalformated. Each error is reported
    // with the path of the offending value (a.b[2]); the result is true when
    // nothing was reported.
    bool Validate(const std::u16string& rules, const std::u16string& defs = u"",
                  TJsonOnValidateError callback = nullptr, void* sender = nullptr);
    bool Validate(const IJsonValue& rules, const IJsonValue& defs = nullptr,
                  TJsonOnValidateError callback = nullptr, void* sender = nullptr);

    // Parsing (class-level operations).
    static IJsonValue ParseString(const char16_t* s, bool strict, bool partial = true,
                                  const IJsonValue& This = nullptr, TJsonFindOptions options = 0,
                                  const IJsonValue& put = nullptr, TJsonType dt = stNull);
    static IJsonValue ParseString(const std::u16string& s, bool strict, bool partial = true,
                                  const IJsonValue& This = nullptr, TJsonFindOptions options = 0,
                                  const IJsonValue& put = nullptr, TJsonType dt = stNull) {
        return ParseString(s.c_str(), strict, partial, This, options, put, dt);
    }
    static IJsonValue ParseStream(platform::TStream& stream, bool strict, bool partial = true,
                                  const IJsonValue& This = nullptr, TJsonFindOptions options = 0,
                                  const IJsonValue& put = nullptr, TJsonType dt = stNull);
    static IJsonValue ParseFile(const std::u16string& FileName, bool strict, bool partial = true,
                                const IJsonValue& This = nullptr, TJsonFindOptions options = 0,
                                const IJsonValue& put = nullptr, TJsonType dt = stNull);
    static IJsonValue ParseFile(const std::string& FileName, bool strict, bool partial = true,
                                const IJsonValue& This = nullptr, TJsonFindOptions options = 0,
                                const IJsonValue& put = nullptr, TJsonType dt = stNull);
    // One run of the machine over `len` units of str (or up to and including
    // the terminating NUL when len is -1), continuing from tok's state.
    static IJsonValue ParseEx(TJsonTokenizer& tok, const char16_t* str, int64_t len, bool strict,
                              const IJsonValue& This = nullptr, TJsonFindOptions options = 0,
                              const IJsonValue& put = nullptr, TJsonType dt = stNull);

protected:
    ~TJsonValue();

private:
    friend class IJsonValue;
    void Destroy();
    void ClearPayload();
    void Init(TJsonType jt);
    IJsonValue CloneScalar() const;
    void MergeScalar(TJsonValue& obj);

    std::atomic<int32_t> FRefCount{0};
    bool FProcessing = false;
    TJsonType FDataType;
    void* FDataPtr = nullptr;
    union {
        bool c_boolean;
        double c_double;
        int64_t c_currency;
        int64_t c_int;
        TJsonTableString* c_object;
        TJsonArray* c_array;
        TJsonMethod c_method;
    } FO;
    std::u16string FOString;
};

inline IJsonValue::IJsonValue(TJsonValue* v) noexcept : p_(v) {
    if (p_) p_->AddRef();
}
inline IJsonValue::IJsonValue(const IJsonValue& o) noexcept : p_(o.p_) {
    if (p_) p_->AddRef();
}
inline IJsonValue::~IJsonValue() {
    if (p_) p_->Release();
}
inline IJsonValue& IJsonValue::operator=(const IJsonValue& o) noexcept {
    if (o.p_) o.p_->AddRef();
    TJsonValue* old = p_;
    p_ = o.p_;
    if (old) old->Release();
    return *this;
}
inline IJsonValue& IJsonValue::operator=(IJsonValue&& o) noexcept {
    if (this != &o) {
        TJsonValue* old = p_;
        p_ = o.p_;
        o.p_ = nullptr;
        if (old) old->Release();
    }
    return *this;
}
inline IJsonValue& IJsonValue::operator=(std::nullptr_t) noexcept {
    TJsonValue* old = p_;
    p_ = nullptr;
    if (old) old->Release();
    return *this;
}

// A new value behind a handle: JV(5), JV(u"text"), JV(stObject).
template <class... A>
    requires requires(A&&... args) { new TJsonValue(std::forward<A>(args)...); }
IJsonValue JV(A&&... args) {
    return IJsonValue(new TJsonValue(std::forward<A>(args)...));
}
inline IJsonValue JVCurrency(Currency c) { return IJsonValue(TJsonValue::CreateCurrency(c)); }

// The subsystem's text entry: lenient, text after the first value ignored.
IJsonValue ParseJsonText(const std::u16string& text);

// Helpers that accept nil.
TJsonType TypeOfValue(const IJsonValue& v);
bool ValueHasType(const IJsonValue& v, TJsonType t);

// Array storage: slots of counted handles, some of which may be nil.
class TJsonArray {
public:
    TJsonArray();
    ~TJsonArray();
    TJsonArray(const TJsonArray&) = delete;
    TJsonArray& operator=(const TJsonArray&) = delete;

    // A store may reach at most kMaxGap slots past the end (8 MiB of slots
    // on a 64-bit system); one farther, or at a negative index, stores
    // nothing and returns false, so a stray index cannot claim gigabytes.
    static constexpr int64_t kMaxGap = int64_t(1) << 20;

    int Add(const IJsonValue& Data);
    IJsonValue GetItem(int64_t index) const;
    bool PutItem(int64_t index, const IJsonValue& value);
    bool Insert(int64_t index, const IJsonValue& value);
    IJsonValue Delete(int64_t index);
    void Clear(bool all = false);
    void Pack(bool all = false);
    int Length() const { return FLength; }
    int Capacity() const { return FSize; }
    // The slot without taking a reference (nil allowed).
    TJsonValue* Slot(int index) const { return FArray[index]; }

private:
    void Grow(int64_t index);
    void Reserve(int64_t slots);

    TJsonValue** FArray;
    int FLength = 0;
    int FSize = 0;   // capacity in slots
    int FAlloc = 0;  // slots allocated so far (at most FSize)
};

// One member of an object's member table.
class TJsonAvlEntry {
public:
    TJsonAvlEntry(std::u16string AName, TJsonValue* Obj);
    static void* operator new(size_t size);
    static void operator delete(void* p) noexcept;
    static uint32_t Hash(std::u16string_view k);

    const std::u16string& Name() const { return FName; }
    TJsonValue* Ptr() const { return FPtr; }
    IJsonValue Value() const { return IJsonValue(FPtr); }
    void SetValue(const IJsonValue& v);

private:
    friend struct AvlOps;
    TJsonAvlEntry* FGt = nullptr;
    TJsonAvlEntry* FLt = nullptr;
    int32_t FBf = 0;
    uint32_t FHash;
    std::u16string FName;
    TJsonValue* FPtr;  // counted by the table when the entry is in one
};

// Balanced tree of entries ordered by descending name hash, then ascending
// name.
class TJsonAvlTree {
public:
    TJsonAvlTree() = default;
    virtual ~TJsonAvlTree();
    TJsonAvlTree(const TJsonAvlTree&) = delete;
    TJsonAvlTree& operator=(const TJsonAvlTree&) = delete;

    // Negative when a comes before b.
    static int CompareEntries(const TJsonAvlEntry* a, const TJsonAvlEntry* b);
    static int CompareKeyToEntry(std::u16string_view key, uint32_t keyHash, const TJsonAvlEntry* e);
    // Inserts e (now owned by the tree); returns the entry that holds the
    // value afterwards (an existing entry of the same name takes it).
    TJsonAvlEntry* InsertEntry(TJsonAvlEntry* e);
    TJsonAvlEntry* FindEntry(std::u16string_view key, TJsonAvlSearchTypes st) const;
    // Unlinks the entry of that name and returns it (caller owns it), or nil.
    TJsonAvlEntry* RemoveEntry(std::u16string_view key);
    virtual void Clear(bool all = false);
    int count() const { return FCount; }
    TJsonAvlEntry* Root() const { return FRoot; }

protected:
    virtual void DisposeEntry(TJsonAvlEntry* entry, bool all);

    TJsonAvlEntry* FRoot = nullptr;
    int FCount = 0;
};

// The member table of an object value.
class TJsonTableString : public TJsonAvlTree {
public:
    ~TJsonTableString() override;
    IJsonValue GetMember(std::u16string_view name) const;
    void PutMember(const std::u16string& name, const IJsonValue& value);
    IJsonValue Delete(std::u16string_view k);
    bool Find(std::u16string_view k, IJsonValue& value) const;
    IJsonValue GetNames() const;
    IJsonValue GetValues() const;
    bool IsEmpty() const { return FCount == 0; }
    void Pack(bool all = false);
    std::unique_ptr<TJsonAvlIterator> GetEnumerator() const;

protected:
    void DisposeEntry(TJsonAvlEntry* entry, bool all) override;
};

// Walks a member tree in its order. The path holds the entries from the root
// to the current one.
class TJsonAvlIterator {
public:
    explicit TJsonAvlIterator(const TJsonAvlTree* tree) : FTree(tree) {}
    void First();
    void Last();
    void Next();
    void Prior();
    void Search(std::u16string_view k, TJsonAvlSearchTypes st);
    TJsonAvlEntry* GetIter() const { return FDepth < 0 ? nullptr : FPath[FDepth]; }
    TJsonAvlEntry* Current() const { return GetIter(); }
    bool MoveNext();

private:
    // Deep enough for any tree that fits in memory (an AVL tree of height 64
    // would need more than 10^13 entries).
    static constexpr int kMaxDepth = 64;
    void DescendLt(TJsonAvlEntry* e);
    void DescendGt(TJsonAvlEntry* e);

    const TJsonAvlTree* FTree;
    bool FStarted = false;  // MoveNext has positioned the iterator once
    int FDepth = -1;
    TJsonAvlEntry* FPath[kMaxDepth];
};

// Walks an object's members: key and val of the current one.
struct TJsonValueIter {
    std::u16string key;
    IJsonValue val;
    std::unique_ptr<TJsonAvlIterator> Ite;
};
bool MembersFirst(const IJsonValue& v, TJsonValueIter& iter);
bool MembersNext(TJsonValueIter& iter);
void MembersClose(TJsonValueIter& iter);

// Enumerates an object's member values or an array's slots.
class TJsonEnumerator {
public:
    explicit TJsonEnumerator(const IJsonValue& obj);
    bool MoveNext();
    IJsonValue GetCurrent() const;
    IJsonValue Current() const { return GetCurrent(); }

private:
    IJsonValue FObj;
    std::unique_ptr<TJsonAvlIterator> FObjEnum;
    int FCount = -1;
};

// Writer sinks for WriteTo. Append returns a negative number only when a
// socket send failed.
class TJsonWriter {
public:
    virtual ~TJsonWriter() = default;
    virtual int Append(const char16_t* buf, int Size) = 0;
    virtual int Append(const char16_t* buf);
    virtual void Reset() = 0;
};

// Growing UTF-16 text buffer, kept NUL-terminated.
class TJsonWriterString : public TJsonWriter {
public:
    TJsonWriterString();
    ~TJsonWriterString() override;
    TJsonWriterString(const TJsonWriterString&) = delete;
    TJsonWriterString& operator=(const TJsonWriterString&) = delete;
    using TJsonWriter::Append;
    int Append(const char16_t* buf, int Size) override;
    void Reset() override;
    std::u16string GetString() const { return std::u16string(FBuf, FBPos); }
    // Removes trailing spaces, carriage returns and line feeds.
    void TrimRight();
    const char16_t* Data() const { return FBuf; }
    int Size() const { return FSize; }
    int Position() const { return FBPos; }
    // Appends one unit (the tokenizer's hot path).
    void Push(char16_t c) {
        if (FSize - FBPos <= 1) Append(&c, 1);
        else {
            FBuf[FBPos++] = c;
            FBuf[FBPos] = 0;
        }
    }
    // Shortens the text to n units.
    void Truncate(int n) {
        FBPos = n;
        FBuf[n] = 0;
    }

private:
    char16_t* FBuf;
    int FBPos = 0;
    int FSize = 0;
};

// Writes into a byte stream (not owned).
class TJsonWriterStream : public TJsonWriter {
public:
    explicit TJsonWriterStream(platform::TStream& AStream) : FStream(AStream) {}
    using TJsonWriter::Append;
    void Reset() override;

protected:
    platform::TStream& FStream;
};

// Each unit as one byte (its low 8 bits).
class TJsonAnsiWriterStream : public TJsonWriterStream {
public:
    using TJsonWriterStream::TJsonWriterStream;
    using TJsonWriterStream::Append;
    int Append(const char16_t* buf, int Size) override;
};

// Units as UTF-16 little-endian bytes, no byte order mark.
class TJsonUnicodeWriterStream : public TJsonWriterStream {
public:
    using TJsonWriterStream::TJsonWriterStream;
    using TJsonWriterStream::Append;
    int Append(const char16_t* buf, int Size) override;
};

// Only counts the units.
class TJsonWriterFake : public TJsonWriter {
public:
    using TJsonWriter::Append;
    int Append(const char16_t* buf, int Size) override;
    void Reset() override { FSize = 0; }
    int size() const { return FSize; }

private:
    int FSize = 0;
};

// Sends each unit as one byte (its low 8 bits) on a connected socket.
class TJsonWriterSock : public TJsonWriter {
public:
    explicit TJsonWriterSock(int ASocket) : FSocket(ASocket) {}
    using TJsonWriter::Append;
    int Append(const char16_t* buf, int Size) override;
    void Reset() override { FSize = 0; }
    int Socket() const { return FSocket; }
    int Size() const { return FSize; }

private:
    int FSocket;
    int FSize = 0;
};

enum TJsonTokenerState : uint8_t {
    tsEatws,
    tsStart,
    tsFinish,
    tsNull,
    tsCommentStart,
    tsComment,
    tsCommentEol,
    tsCommentEnd,
    tsString,
    tsStringEscape,
    tsIdentifier,
    tsEscapeUnicode,
    tsEscapeHexadecimal,
    tsBoolean,
    tsNumber,
    tsArray,
    tsArrayAdd,
    tsArraySep,
    tsObjectFieldStart,
    tsObjectField,
    tsObjectUnquotedField,
    tsObjectFieldEnd,
    tsObjectValue,
    tsObjectValueAdd,
    tsObjectSep,
    tsEvalProperty,
    tsEvalArray,
    tsEvalMethod,
    tsParamValue,
    tsParamPut,
    tsMethodValue,
    tsMethodPut
};

enum TJsonTokenizerError {
    teSuccess,
    teContinue,
    teDepth,
    teParseEof,
    teParseUnexpected,
    teParseNull,
    teParseBoolean,
    teParseNumber,
    teParseArray,
    teParseObjectKeyName,
    teParseObjectKeySep,
    teParseObjectValueSep,
    teParseString,
    teParseComment,
    teEvalObject,
    teEvalArray,
    teEvalMethod,
    teEvalInt
};

// One level of the tokenizer's stack.
struct TJsonTokenerSrec {
    TJsonTokenerState state = tsEatws;
    TJsonTokenerState saved_state = tsStart;
    IJsonValue obj;
    IJsonValue current;
    std::u16string field_name;
    IJsonValue parent;
    IJsonValue gparent;
    // Path mode: `current` was reached from the context value by member and
    // element steps alone, so the context value's tree holds it (not a
    // literal of the path, not a callable's result).
    bool in_tree = false;
};

// The parser's state machine: one character at a time, with an explicit stack
// of 32 levels, so a text may also be fed in chunks.
class TJsonTokenizer {
public:
    static constexpr int kMaxDepth = 32;
    TJsonTokenizer();
    ~TJsonTokenizer();
    void Reset();
    void ResetLevel(int adepth);

    const char16_t* str = nullptr;
    TJsonWriterString pb;
    int depth = 0;
    int is_double = 0;
    int floatcount = -1;
    int st_pos = 0;
    int64_t char_offset = 0;
    TJsonTokenizerError err = teSuccess;
    uint32_t ucs_char = 0;
    char16_t quote_char = 0;
    TJsonTokenerSrec stack[kMaxDepth];
    int64_t line = 1;
    int64_t col = 0;
};

// Number text as the writer prints it.
std::u16string IntToText(int64_t v);
std::u16string DoubleToText(double d);
std::u16string CurrencyToText(Currency c);

}  // namespace json
