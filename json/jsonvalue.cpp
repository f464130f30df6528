// Values: construction, reference counting, conversions, comparison, copying,
// merging, clearing and packing; array storage and enumeration.
#include "json/jsonvalue.h"

#include <cmath>
#include <cstdio>
#include <cstring>
#include <limits>
#include <unordered_set>
#include <vector>

#include "json/JsonTexts.h"
#include "json/jsonnumber.h"
#include "json/jsonpool.h"
#include "json/jsonwalk.h"

namespace json {

namespace {

std::atomic<int32_t> g_liveValues{0};

// Values whose count reached 0 while another value was being destroyed. They
// are destroyed one after the other by the outermost Release, so freeing a
// deeply nested tree never recurses.
thread_local std::vector<TJsonValue*>* t_pending = nullptr;

// Reports values still alive when the program ends.
struct LeakCheckAtExit {
    ~LeakCheckAtExit() { JsonCheckLeaks(); }
} g_leakCheckAtExit;

}  // namespace

int32_t JsonLiveValues() { return g_liveValues.load(); }

bool JsonCheckLeaks(std::string* report) {
    int32_t live = g_liveValues.load();
    if (live == 0) return true;
    std::string text = std::string(texts::kMemoryLeak) + " (" + std::to_string(live) +
                       " JSON values still alive)\n";
    if (report) *report = text;
    else std::fputs(text.c_str(), stderr);
    return false;
}

// ---------------------------------------------------------------------------
// Construction and lifetime

using ValuePool = pool::FixedPool<sizeof(TJsonValue)>;
void* TJsonValue::operator new(size_t) { return ValuePool::Alloc(); }
void TJsonValue::operator delete(void* p) noexcept { ValuePool::Free(p); }

void TJsonValue::Init(TJsonType jt) {
    g_liveValues.fetch_add(1, std::memory_order_relaxed);
    FDataType = jt;
    FO.c_int = 0;
    if (jt == stObject) FO.c_object = new TJsonTableString();
    else if (jt == stArray) FO.c_array = new TJsonArray();
}

TJsonValue::TJsonValue(TJsonType jt) { Init(jt); }
TJsonValue::TJsonValue(bool b) {
    Init(stBoolean);
    FO.c_boolean = b;
}
TJsonValue::TJsonValue(int64_t i) {
    Init(stInt);
    FO.c_int = i;
}
TJsonValue::TJsonValue(double d) {
    Init(stDouble);
    FO.c_double = d;
}
TJsonValue::TJsonValue(std::u16string s) : FOString(std::move(s)) { Init(stString); }
TJsonValue::TJsonValue(TJsonMethod m) {
    Init(stMethod);
    FO.c_method = m;
}
TJsonValue* TJsonValue::CreateCurrency(Currency c) {
    auto* v = new TJsonValue(stCurrency);
    v->FO.c_currency = c.scaled;
    return v;
}

TJsonValue::~TJsonValue() {
    g_liveValues.fetch_sub(1, std::memory_order_relaxed);
    if (FDataType == stObject) delete FO.c_object;
    else if (FDataType == stArray) delete FO.c_array;
}

int32_t TJsonValue::AddRef() noexcept { return FRefCount.fetch_add(1, std::memory_order_relaxed) + 1; }

int32_t TJsonValue::Release() noexcept {
    int32_t n = FRefCount.fetch_sub(1, std::memory_order_acq_rel) - 1;
    if (n == 0) Destroy();
    return n;
}

void TJsonValue::Destroy() {
    if (t_pending) {
        t_pending->push_back(this);
        return;
    }
    std::vector<TJsonValue*> pending;
    t_pending = &pending;
    delete this;
    while (!pending.empty()) {
        TJsonValue* v = pending.back();
        pending.pop_back();
        delete v;
    }
    t_pending = nullptr;
}

void TJsonValue::Free() {
    if (FRefCount.load() != 0) throw EInvalidPointer(texts::kInvalidPointer);
    Destroy();
}

std::unique_ptr<TJsonEnumerator> TJsonValue::GetEnumerator() {
    return std::make_unique<TJsonEnumerator>(IJsonValue(this));
}

TJsonType TypeOfValue(const IJsonValue& v) { return v ? v->DataType() : stNull; }
bool ValueHasType(const IJsonValue& v, TJsonType t) { return TypeOfValue(v) == t; }

// ---------------------------------------------------------------------------
// Conversions

bool TJsonValue::AsBoolean() const {
    switch (FDataType) {
        case stBoolean: return FO.c_boolean;
        case stDouble: return FO.c_double != 0;
        case stCurrency: return FO.c_currency != 0;
        case stInt: return FO.c_int != 0;
        case stString: return !FOString.empty();
        case stObject:
        case stArray:
        case stMethod: return true;
        default: return false;
    }
}

int64_t TJsonValue::AsInteger() const {
    switch (FDataType) {
        case stBoolean: return FO.c_boolean ? 1 : 0;
        case stDouble: return RoundHalfEven(FO.c_double);
        case stCurrency: return CurrencyRoundToInt(FO.c_currency);
        case stInt: return FO.c_int;
        case stString: {
            int64_t v;
            return TextToInt(FOString, v) ? v : 0;
        }
        default: return 0;
    }
}

double TJsonValue::AsDouble() const {
    switch (FDataType) {
        case stBoolean: return FO.c_boolean ? 1 : 0;
        case stDouble: return FO.c_double;
        case stCurrency: return static_cast<double>(FO.c_currency) / 10000.0;
        case stInt: return static_cast<double>(FO.c_int);
        case stString: {
            double v;
            return TextToDouble(FOString, v) ? v : 0;
        }
        default: return 0;
    }
}

Currency TJsonValue::AsCurrency() const {
    switch (FDataType) {
        case stBoolean: return Currency{FO.c_boolean ? 10000 : 0};
        case stDouble: return Currency{RoundHalfEven(FO.c_double * 10000.0)};
        case stCurrency: return Currency{FO.c_currency};
        case stInt: return Currency{SaturatingMul(FO.c_int, 10000)};
        case stString: {
            double v;
            return Currency{TextToDouble(FOString, v) ? RoundHalfEven(v * 10000.0) : 0};
        }
        default: return Currency{0};
    }
}

std::u16string TJsonValue::AsString() {
    if (FDataType == stString) return FOString;
    return AsJSon(false, false);
}

TJsonArray* TJsonValue::AsArray() const { return FDataType == stArray ? FO.c_array : nullptr; }
TJsonTableString* TJsonValue::AsObject() const {
    return FDataType == stObject ? FO.c_object : nullptr;
}
TJsonMethod TJsonValue::AsMethod() const { return FDataType == stMethod ? FO.c_method : nullptr; }

// ---------------------------------------------------------------------------
// Comparison, copying, merging

namespace {

// Sets a value's re-entry flag for the duration of one operation.
class ProcessingGuard {
public:
    explicit ProcessingGuard(TJsonValue* v) : v_(v) { v_->SetProcessing(true); }
    ~ProcessingGuard() { v_->SetProcessing(false); }

private:
    TJsonValue* v_;
};

bool IsContainer(TJsonType t) { return t == stObject || t == stArray; }

bool IsScalarNumber(TJsonType t) {
    return t == stBoolean || t == stDouble || t == stCurrency || t == stInt;
}

TJsonCompareResult CompareTexts(const std::u16string& a, const std::u16string& b) {
    int c = a.compare(b);
    return c < 0 ? cpLess : c == 0 ? cpEqu : cpGreat;
}

// A - B for two numeric kinds, exactly where both are integral.
TJsonCompareResult CompareNumbers(TJsonValue& a, TJsonValue& b) {
    // An integral value as whole units and ten-thousandths (0..9999), so
    // integers and currencies compare exactly without a 128-bit type.
    struct Fixed {
        int64_t whole;
        int64_t fraction;
    };
    auto integral = [](TJsonValue& v, Fixed& out) {
        switch (v.DataType()) {
            case stBoolean: out = {v.AsBoolean() ? 1 : 0, 0}; return true;
            case stInt: out = {v.AsInteger(), 0}; return true;
            case stCurrency: {
                int64_t scaled = v.AsCurrency().scaled;
                int64_t whole = scaled / 10000, fraction = scaled % 10000;
                if (fraction < 0) {
                    fraction += 10000;
                    --whole;
                }
                out = {whole, fraction};
                return true;
            }
            default: return false;
        }
    };
    Fixed ia, ib;
    if (integral(a, ia) && integral(b, ib)) {
        if (ia.whole != ib.whole) return ia.whole < ib.whole ? cpLess : cpGreat;
        return ia.fraction < ib.fraction ? cpLess : ia.fraction == ib.fraction ? cpEqu : cpGreat;
    }
    double d = a.AsDouble() - b.AsDouble();
    if (d < 0) return cpLess;
    if (d > 0) return cpGreat;
    if (d == 0) return cpEqu;
    return cpError;  // not a number
}

}  // namespace

TJsonCompareResult TJsonValue::Compare(const IJsonValue& obj) {
    TJsonType tb = TypeOfValue(obj);
    if (IsScalarNumber(FDataType)) {
        if (IsScalarNumber(tb)) return CompareNumbers(*this, *obj);
        if (tb == stString) return CompareTexts(AsString(), obj->AsString());
        return cpError;
    }
    if (FDataType == stString) {
        if (IsScalarNumber(tb) || tb == stString) return CompareTexts(AsString(), obj->AsString());
        return cpError;
    }
    return cpError;
}

TJsonCompareResult TJsonValue::Compare(const std::u16string& str) {
    return Compare(ParseJsonText(str));
}

IJsonValue TJsonValue::CloneScalar() const {
    switch (FDataType) {
        case stBoolean: return JV(FO.c_boolean);
        case stDouble: return JV(FO.c_double);
        case stCurrency: return JVCurrency(Currency{FO.c_currency});
        case stInt: return JV(FO.c_int);
        case stString: return JV(FOString);
        case stMethod: return JV(FO.c_method);
        default: return JV(FDataType);
    }
}

IJsonValue TJsonValue::Clone() {
    if (!IsContainer(FDataType)) return CloneScalar();
    // Each container is copied as it is opened and put into the copy of its
    // parent at once, so member order and slot numbers carry over. A
    // container met again while it is still open (a cycle) gives nil in the
    // copy. That guard is Clone's own: a value being merged, written,
    // cleared or packed is copied in full.
    IJsonValue root = JV(FDataType);
    TJsonTreeWalk walk;
    std::vector<TJsonValue*> copies;  // the copy of each open frame
    std::unordered_set<const TJsonValue*> open;
    walk.Open(this);
    copies.push_back(root.get());
    open.insert(this);
    auto visit = [&](const TJsonTreeWalk::Child& child) {
        TJsonValue* v = child.value;
        IJsonValue copy;
        const bool descend = v && IsContainer(v->FDataType) && !open.count(v);
        if (descend) copy = JV(v->FDataType);
        else if (v && !IsContainer(v->FDataType)) copy = v->CloneScalar();
        TJsonValue* into = copies.back();
        if (child.name) into->FO.c_object->PutMember(*child.name, copy);
        else into->FO.c_array->Add(copy);
        if (descend) {
            walk.Open(v);
            copies.push_back(copy.get());
            open.insert(v);
        }
    };
    walk.Run(visit, [&](TJsonValue* v) {
        open.erase(v);
        copies.pop_back();
    });
    return root;
}

void TJsonValue::MergeScalar(TJsonValue& obj) {
    switch (FDataType) {
        case stBoolean: FO.c_boolean = obj.AsBoolean(); break;
        case stDouble: FO.c_double = obj.AsDouble(); break;
        case stCurrency: FO.c_currency = obj.AsCurrency().scaled; break;
        case stInt: FO.c_int = obj.AsInteger(); break;
        case stString: FOString = obj.AsString(); break;
        case stMethod: FO.c_method = obj.AsMethod(); break;
        default: break;
    }
}

void TJsonValue::Merge(const IJsonValue& obj, bool reference) {
    if (TypeOfValue(obj) != FDataType) return;
    if (!IsContainer(FDataType)) {
        MergeScalar(*obj);
        return;
    }
    // A container reached again while it is being merged into (cycles on
    // both sides) is left as it is.
    if (FProcessing) return;
    // Frames walk the source; each has the container merged into beside it.
    // Both are held, so no replacement made on the way can free them.
    struct Target {
        TJsonValue* into;
        IJsonValue keepInto, keepFrom;
    };
    TJsonTreeWalk walk;
    std::vector<Target> targets;
    auto open = [&](TJsonValue* into, IJsonValue keepInto, IJsonValue keepFrom, TJsonValue* from) {
        targets.push_back(Target{into, std::move(keepInto), std::move(keepFrom)});
        into->FProcessing = true;
        walk.Open(from);
    };
    auto leave = [&](TJsonValue*) {
        targets.back().into->FProcessing = false;
        targets.pop_back();
    };
    auto visit = [&](const TJsonTreeWalk::Child& child) {
        TJsonValue* into = targets.back().into;
        IJsonValue c = child.name ? into->FO.c_object->GetMember(*child.name)
                                  : into->FO.c_array->GetItem(child.index);
        IJsonValue v(child.value);
        if (c && v && c->FDataType == v->FDataType) {
            if (c == v) return;
            if (!IsContainer(c->FDataType)) c->MergeScalar(*v);
            else if (!c->FProcessing) open(c.get(), c, v, v.get());
            return;
        }
        // Only the members of the top level are taken by reference.
        IJsonValue copy = !v ? nullptr : (reference && walk.Depth() == 1) ? v : v->Clone();
        if (child.name) into->FO.c_object->PutMember(*child.name, copy);
        else into->FO.c_array->PutItem(child.index, copy);
    };
    open(this, nullptr, nullptr, obj.get());
    walk.Run(visit, leave);
}

void TJsonValue::Merge(const std::u16string& str) { Merge(ParseJsonText(str), true); }

// Empties the value's own payload or storage, releasing what it held.
void TJsonValue::ClearPayload() {
    switch (FDataType) {
        case stBoolean: FO.c_boolean = false; break;
        case stDouble: FO.c_double = 0; break;
        case stCurrency: FO.c_currency = 0; break;
        case stInt: FO.c_int = 0; break;
        case stString: FOString.clear(); break;
        case stMethod: FO.c_method = nullptr; break;
        case stObject: FO.c_object->Clear(false); break;
        case stArray: FO.c_array->Clear(false); break;
        case stNull: break;
    }
}

void TJsonValue::Clear(bool all) {
    if (FProcessing) return;
    if (!all || !IsContainer(FDataType)) {
        ProcessingGuard guard(this);
        ClearPayload();
        return;
    }
    // Depth first: every value below is cleared before the container that
    // holds it lets it go. Values being cleared already (a cycle) are passed
    // over.
    TJsonTreeWalk walk;
    auto leave = [](TJsonValue* v) {
        v->ClearPayload();
        v->FProcessing = false;
    };
    auto visit = [&](const TJsonTreeWalk::Child& child) {
        TJsonValue* v = child.value;
        if (!v || v->FProcessing) return;
        if (IsContainer(v->FDataType)) {
            v->FProcessing = true;
            walk.Open(v);
        } else {
            v->ClearPayload();
        }
    };
    FProcessing = true;
    walk.Open(this);
    walk.Run(visit, leave);
}

void TJsonValue::Pack(bool all) {
    if (FProcessing || !IsContainer(FDataType)) return;
    // Each container packs its own storage before its children are visited.
    auto packOwn = [](TJsonValue* v) {
        if (v->FDataType == stObject) v->FO.c_object->Pack(false);
        else v->FO.c_array->Pack(false);
    };
    if (!all) {
        ProcessingGuard guard(this);
        packOwn(this);
        return;
    }
    TJsonTreeWalk walk;
    auto leave = [](TJsonValue* v) { v->FProcessing = false; };
    auto visit = [&](const TJsonTreeWalk::Child& child) {
        TJsonValue* v = child.value;
        if (!v || v->FProcessing || !IsContainer(v->FDataType)) return;
        v->FProcessing = true;
        packOwn(v);
        walk.Open(v);
    };
    FProcessing = true;
    packOwn(this);
    walk.Open(this);
    walk.Run(visit, leave);
}

// ---------------------------------------------------------------------------
// Array storage

TJsonArray::TJsonArray() : FArray(nullptr), FSize(32) {}

TJsonArray::~TJsonArray() {
    for (int i = 0; i < FLength; ++i)
        if (FArray[i]) FArray[i]->Release();
    std::free(FArray);
}

void TJsonArray::Grow(int64_t index) {
    if (index < FSize) return;
    int64_t newSize = std::max<int64_t>(int64_t(FSize) * 2, index + 1);
    if (newSize > std::numeric_limits<int>::max() / 2) throw std::bad_alloc();
    FSize = static_cast<int>(newSize);
}

void TJsonArray::Reserve(int64_t slots) {
    // Slots are allocated as they are used, up to the capacity; a fresh or
    // short array costs little memory although its capacity is 32.
    if (slots <= FAlloc) return;
    int64_t want = std::max<int64_t>(std::max<int64_t>(int64_t(FAlloc) * 2, 4), slots);
    if (want > FSize) want = FSize;
    auto* p = static_cast<TJsonValue**>(std::realloc(FArray, want * sizeof(TJsonValue*)));
    if (!p) throw std::bad_alloc();
    std::memset(p + FAlloc, 0, (want - FAlloc) * sizeof(TJsonValue*));
    FArray = p;
    FAlloc = static_cast<int>(want);
}

int TJsonArray::Add(const IJsonValue& Data) {
    int index = FLength;
    PutItem(index, Data);
    return index;
}

IJsonValue TJsonArray::GetItem(int64_t index) const {
    if (index < 0 || index >= FLength) return nullptr;
    return IJsonValue(FArray[index]);
}

bool TJsonArray::PutItem(int64_t index, const IJsonValue& value) {
    if (index < 0 || index - FLength > kMaxGap) return false;
    Grow(index);
    Reserve(index + 1);
    TJsonValue* v = value.get();
    if (v) v->AddRef();
    TJsonValue* old = FArray[index];
    FArray[index] = v;
    if (index >= FLength) FLength = static_cast<int>(index + 1);
    if (old) old->Release();
    return true;
}

bool TJsonArray::Insert(int64_t index, const IJsonValue& value) {
    if (index < 0) return false;
    if (index >= FLength) return PutItem(index, value);
    if (FLength == FSize) Grow(FSize);
    Reserve(int64_t(FLength) + 1);
    std::memmove(FArray + index + 1, FArray + index, (FLength - index) * sizeof(TJsonValue*));
    TJsonValue* v = value.get();
    if (v) v->AddRef();
    FArray[index] = v;
    ++FLength;
    return true;
}

IJsonValue TJsonArray::Delete(int64_t index) {
    if (index < 0 || index >= FLength) return nullptr;
    IJsonValue r(FArray[index]);
    if (FArray[index]) FArray[index]->Release();  // the handle r keeps it alive
    std::memmove(FArray + index, FArray + index + 1, (FLength - index - 1) * sizeof(TJsonValue*));
    --FLength;
    FArray[FLength] = nullptr;
    return r;
}

void TJsonArray::Clear(bool all) {
    if (all)
        for (int i = 0; i < FLength; ++i)
            if (FArray[i]) FArray[i]->Clear(true);
    // Slots are emptied before their values go, so a release that reaches
    // back into this array sees a consistent state.
    int n = FLength;
    FLength = 0;
    for (int i = 0; i < n; ++i) {
        TJsonValue* v = FArray[i];
        FArray[i] = nullptr;
        if (v) v->Release();
    }
}

void TJsonArray::Pack(bool all) {
    int k = 0;
    for (int i = 0; i < FLength; ++i)
        if (FArray[i]) FArray[k++] = FArray[i];
    for (int i = k; i < FLength; ++i) FArray[i] = nullptr;
    FLength = k;
    if (all)
        for (int i = 0; i < FLength; ++i)
            if (FArray[i]) IJsonValue(FArray[i])->Pack(true);
}

// ---------------------------------------------------------------------------
// Enumeration

bool MembersFirst(const IJsonValue& v, TJsonValueIter& iter) {
    if (!ValueHasType(v, stObject)) return false;
    iter.Ite = std::make_unique<TJsonAvlIterator>(v->AsObject());
    iter.Ite->First();
    TJsonAvlEntry* e = iter.Ite->GetIter();
    if (!e) return false;
    iter.key = e->Name();
    iter.val = IJsonValue(e->Ptr());
    return true;
}

bool MembersNext(TJsonValueIter& iter) {
    if (!iter.Ite) return false;
    iter.Ite->Next();
    TJsonAvlEntry* e = iter.Ite->GetIter();
    if (!e) return false;
    iter.key = e->Name();
    iter.val = IJsonValue(e->Ptr());
    return true;
}

void MembersClose(TJsonValueIter& iter) {
    iter.Ite.reset();
    iter.val = nullptr;
}

TJsonEnumerator::TJsonEnumerator(const IJsonValue& obj) : FObj(obj) {
    if (ValueHasType(FObj, stObject)) FObjEnum = FObj->AsObject()->GetEnumerator();
}

bool TJsonEnumerator::MoveNext() {
    switch (TypeOfValue(FObj)) {
        case stObject: return FObjEnum->MoveNext();
        case stArray:
            if (FCount + 1 < FObj->AsArray()->Length()) {
                ++FCount;
                return true;
            }
            return false;
        default: return false;
    }
}

IJsonValue TJsonEnumerator::GetCurrent() const {
    switch (TypeOfValue(FObj)) {
        case stObject: {
            TJsonAvlEntry* e = FObjEnum->GetIter();
            return e ? IJsonValue(e->Ptr()) : nullptr;
        }
        case stArray: return FObj->AsArray()->GetItem(FCount);
        default: return nullptr;
    }
}

}  // namespace json
