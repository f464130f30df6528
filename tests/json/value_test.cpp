// Value model: conversions and number texts, comparison, lifetime and the
// live-value counter, copying and merging, clearing and packing, the array
// storage and the member table.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <limits>
#include <random>
#include <string>
#include <thread>
#include <utility>
#include <vector>

#include "json/jsonpool.h"
#include "json/jsonvalue.h"
#include "platform/codepage.h"

using namespace json;

namespace {

std::string U8(const std::u16string& s) { return platform::TextToUtf8(s); }

IJsonValue Obj(const char16_t* text) {
    IJsonValue v = ParseJsonText(text);
    EXPECT_TRUE(v) << U8(text);
    return v;
}

// Member names of an object in iteration order.
std::vector<std::u16string> Names(const IJsonValue& o) {
    std::vector<std::u16string> r;
    TJsonValueIter it;
    for (bool more = MembersFirst(o, it); more; more = MembersNext(it)) r.push_back(it.key);
    MembersClose(it);
    return r;
}

class LiveValues : public ::testing::Test {
protected:
    void SetUp() override { before_ = JsonLiveValues(); }
    void TearDown() override { EXPECT_EQ(JsonLiveValues(), before_) << "values leaked by the test"; }
    int32_t before_ = 0;
};

}  // namespace

TEST(JsonConversions, AsStringGivesNumberTextsAndCompactJson) {
    const std::pair<IJsonValue, std::u16string> cases[] = {
        {JV(int64_t(-5)), u"-5"},
        {JV(2.5), u"2.5"},
        {JV(1e21), u"1E21"},
        {JV(0.5), u"0.5"},
        {JV(1234.5), u"1234.5"},
        {JV(0.0001), u"0.0001"},
        {JV(0.00001), u"1E-5"},
        {JV(1e20), u"1E20"},
        {JV(1e15), u"1E15"},
        {JV(123456789012345.0), u"123456789012345"},
        {JV(1.0 / 3), u"0.333333333333333"},
        {JV(2.0 / 3), u"0.666666666666667"},
        {JV(-0.001), u"-0.001"},
        {JV(1.5e-7), u"1.5E-7"},
        {JV(-1.25e300), u"-1.25E300"},
        {JV(std::numeric_limits<double>::infinity()), u"INF"},
        {JV(-std::numeric_limits<double>::infinity()), u"-INF"},
        {JV(std::nan("")), u"NAN"},
        {JVCurrency(Currency{15000}), u"1.5"},
        {JVCurrency(Currency{20000}), u"2"},
        {JVCurrency(Currency{35000}), u"3.5"},
        {JVCurrency(Currency{1}), u"0.0001"},
        {JVCurrency(Currency{-22500}), u"-2.25"},
        {JVCurrency(Currency{std::numeric_limits<int64_t>::min()}), u"-922337203685477.5808"},
        {JV(std::numeric_limits<int64_t>::min()), u"-9223372036854775808"},
        {JV(true), u"true"},
        {JV(false), u"false"},
        {JV(stNull), u"null"},
        {JV(u"text"), u"text"},
        {Obj(u"{\"x\":1}"), u"{\"x\":1}"},
        {Obj(u"[1,\"a/b\",null]"), u"[1,\"a/b\",null]"},
    };
    for (const auto& [v, text] : cases) EXPECT_EQ(U8(v->AsString()), U8(text));
}

TEST(JsonConversions, ScalarConversionsFollowTheKindTable) {
    const double nan = std::nan("");
    struct Case {
        IJsonValue v;
        bool b;
        int64_t i;
        double d;
        int64_t c;  // currency, times 10000
    };
    const Case cases[] = {
        {JV(stNull), false, 0, 0, 0},
        {JV(true), true, 1, 1, 10000},
        {JV(2.5), true, 2, 2.5, 25000},
        {JV(3.5), true, 4, 3.5, 35000},
        {JV(-2.5), true, -2, -2.5, -25000},
        {JV(0.0), false, 0, 0, 0},
        {JV(nan), true, 0, nan, 0},
        {JV(1e30), true, std::numeric_limits<int64_t>::max(), 1e30, std::numeric_limits<int64_t>::max()},
        {JVCurrency(Currency{25000}), true, 2, 2.5, 25000},
        {JVCurrency(Currency{35000}), true, 4, 3.5, 35000},
        {JVCurrency(Currency{1}), true, 0, 0.0001, 1},
        {JV(int64_t(3)), true, 3, 3, 30000},
        {JV(int64_t(0)), false, 0, 0, 0},
        {JV(u"false"), true, 0, 0, 0},
        {JV(u"0"), true, 0, 0, 0},
        {JV(u""), false, 0, 0, 0},
        {JV(u" 42"), true, 42, 42, 420000},
        {JV(u"42 "), true, 0, 0, 0},
        {JV(u"+7"), true, 7, 7, 70000},
        {JV(u"$1F"), true, 31, 0, 0},
        {JV(u"0x1f"), true, 31, 0, 0},
        {JV(u"X10"), true, 16, 0, 0},
        {JV(u"-$10"), true, -16, 0, 0},
        {JV(u"99999999999999999999"), true, 0, 1e20, std::numeric_limits<int64_t>::max()},
        {JV(u"abc"), true, 0, 0, 0},
        {JV(u"1.25"), true, 0, 1.25, 12500},
        {JV(u" -2.5e1"), true, 0, -25, -250000},
        {JV(u"1."), true, 0, 1, 10000},
        {JV(u".5"), true, 0, 0.5, 5000},
        {JV(u"1e"), true, 0, 0, 0},
        {JV(u"1.2.3"), true, 0, 0, 0},
        {JV(stObject), true, 0, 0, 0},
        {JV(stArray), true, 0, 0, 0},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(U8(c.v->AsJSon()));
        EXPECT_EQ(c.v->AsBoolean(), c.b);
        EXPECT_EQ(c.v->AsInteger(), c.i);
        if (std::isnan(c.d)) EXPECT_TRUE(std::isnan(c.v->AsDouble()));
        else EXPECT_DOUBLE_EQ(c.v->AsDouble(), c.d);
        EXPECT_EQ(c.v->AsCurrency().scaled, c.c);
    }
    EXPECT_EQ(JV(stObject)->AsArray(), nullptr);
    EXPECT_NE(JV(stArray)->AsArray(), nullptr);
    EXPECT_EQ(JV(int64_t(1))->AsObject(), nullptr);
}

TEST(JsonCompare, NumbersNumericallyTextsOrdinallyContainersNever) {
    const struct {
        IJsonValue a;
        IJsonValue b;
        TJsonCompareResult r;
    } cases[] = {
        {JV(int64_t(1)), JV(1.0), cpEqu},
        {JV(int64_t(2)), JV(u"10"), cpGreat},  // "2" > "10" as texts
        {JV(u"2"), JV(int64_t(2)), cpEqu},
        {JV(true), JV(int64_t(1)), cpEqu},
        {JV(false), JV(0.5), cpLess},
        {JVCurrency(Currency{15000}), JV(1.5), cpEqu},
        {JV(std::numeric_limits<int64_t>::max()), JV(std::numeric_limits<int64_t>::max() - 1), cpGreat},
        {JV(u"a"), JV(u"b"), cpLess},
        {JV(int64_t(1)), JV(stNull), cpError},
        {JV(int64_t(1)), nullptr, cpError},
        {JV(u"a"), JV(stArray), cpError},
        {JV(stObject), JV(int64_t(1)), cpError},
        {JV(stNull), JV(stNull), cpError},
        {JV(stArray), JV(stArray), cpError},
    };
    for (const auto& c : cases)
        EXPECT_EQ(c.a->Compare(c.b), c.r) << U8(c.a->AsJSon()) << " vs " << (c.b ? U8(c.b->AsJSon()) : "nil");
    EXPECT_EQ(JV(int64_t(1))->Compare(u"1.0"), cpEqu);
    EXPECT_EQ(JV(u"abc")->Compare(u"abd"), cpLess);
}

TEST_F(LiveValues, ValuesAreBornUnownedAndFreedWithTheLastHandle) {
    auto* raw = new TJsonValue(int64_t(7));
    EXPECT_EQ(raw->RefCount(), 0);
    EXPECT_EQ(JsonLiveValues(), before_ + 1);
    {
        IJsonValue h(raw);
        EXPECT_EQ(raw->RefCount(), 1);
        IJsonValue copy = h;
        EXPECT_EQ(raw->RefCount(), 2);
    }
    EXPECT_EQ(JsonLiveValues(), before_);

    // Freeing an unowned value directly is allowed.
    auto* loose = new TJsonValue(u"loose");
    loose->Free();
    EXPECT_EQ(JsonLiveValues(), before_);
}

TEST_F(LiveValues, AContainerKeepsAValueItsCreatorDroppedAndRefusesToFreeIt) {
    IJsonValue arr = JV(stArray);
    auto* v = new TJsonValue(u"kept");
    arr->AsArray()->Add(IJsonValue(v));
    EXPECT_EQ(v->RefCount(), 1);
    try {
        v->Free();
        ADD_FAILURE() << "freeing a held value must raise";
    } catch (const EInvalidPointer& e) {
        EXPECT_STREQ(e.what(), "Invalid pointer");
    }
    EXPECT_EQ(U8(arr->AsArray()->GetItem(0)->AsString()), "kept");  // intact
    arr->AsArray()->Clear();
    EXPECT_EQ(JsonLiveValues(), before_ + 1);  // only the array
}

TEST_F(LiveValues, ADeeplyNestedTreeIsFreedWithoutRecursion) {
    // Built through the API, far deeper than any parse can go.
    IJsonValue root = JV(stArray);
    TJsonArray* a = root->AsArray();
    for (int i = 0; i < 200000; ++i) {
        IJsonValue next = JV(stArray);
        a->Add(next);
        a = next->AsArray();
    }
    root = nullptr;
}

TEST_F(LiveValues, TreesOfAnyDepthAreWrittenCopiedMergedClearedAndPacked) {
    // A path a.a.a... builds a chain far deeper than any parse can go, and
    // than any call stack could follow.
    const int depth = 300000;
    std::u16string path = u"a";
    for (int i = 1; i < depth; ++i) path += u".a";
    IJsonValue root = JV(stObject);
    ASSERT_TRUE(root->ForcePath(path));

    std::u16string expected;
    for (int i = 0; i < depth; ++i) expected += u"{\"a\":";
    expected += u"{}";
    expected.append(depth, u'}');
    EXPECT_TRUE(root->AsJSon() == expected);
    EXPECT_EQ(root->CalcSize(), static_cast<int64_t>(expected.size()));

    IJsonValue copy = root->Clone();
    EXPECT_TRUE(copy->AsJSon() == expected);
    copy->PutInteger(path + u".n", 1);
    root->Merge(copy, false);
    EXPECT_EQ(root->GetInteger(path + u".n"), 1);
    EXPECT_NE(root->GetObject(path).get(), copy->GetObject(path).get());
    root->Pack(true);
    EXPECT_EQ(root->CalcSize(), copy->CalcSize());
    copy->Clear(true);
    EXPECT_EQ(U8(copy->AsJSon()), "{}");
    root->Clear(true);
}

TEST_F(LiveValues, AValueBeingMergedIsCopiedInFull) {
    // o is being merged when its copy is made for the member y.
    IJsonValue o = Obj(u"{\"x\":1}");
    IJsonValue p = JV(stObject);
    p->AsObject()->PutMember(u"y", o);
    o->Merge(p, false);
    EXPECT_EQ(U8(o->AsJSon()), "{\"y\":{\"x\":1},\"x\":1}");
    EXPECT_NE(o->GetObject(u"y").get(), o.get());
    // And in an array slot.
    IJsonValue arr = Obj(u"[1]");
    IJsonValue src = JV(stArray);
    src->AsArray()->Add(JV(int64_t(1)));
    src->AsArray()->Add(arr);
    arr->Merge(src, false);
    EXPECT_EQ(U8(arr->AsJSon()), "[1,[1]]");
}

TEST(JsonPool, MemoryOfEndedThreadsIsReused) {
    std::u16string doc = u"[";
    for (int i = 0; i < 100000; ++i) doc += (i ? u",{\"i\":" : u"{\"i\":") + IntToText(i) + u"}";
    doc += u"]";
    auto parseOnAThread = [&doc] {
        std::thread t([&doc] {
            IJsonValue v = ParseJsonText(doc);
            ASSERT_EQ(v->AsArray()->Length(), 100000);
        });
        t.join();
    };
    parseOnAThread();
    const size_t afterOne = pool::SlabBytes();
    if (afterOne == 0) GTEST_SKIP() << "the block pool is not used in sanitizer builds";
    for (int i = 0; i < 19; ++i) parseOnAThread();
    // Each thread needs some 20 MB of blocks; later threads take those the
    // ended ones left, so the pool stays where one thread brought it.
    EXPECT_LE(pool::SlabBytes(), afterOne + (1u << 20));
}

// A narrow text would make a boolean; it does not compile.
template <class T>
concept MakesValue = requires(T t) { JV(t); };
static_assert(MakesValue<const char16_t*> && MakesValue<int64_t> && MakesValue<TJsonType>);
static_assert(!MakesValue<const char*> && !MakesValue<const char (&)[5]>);

namespace {
TJsonValue* g_keptForExit = nullptr;
}

TEST(JsonLeakReport, ACycleLeftAtExitIsReportedAsMemoryLeak) {
    {
        IJsonValue o = JV(stObject);
        o->AsObject()->PutMember(u"self", o);
        std::string report;
        EXPECT_FALSE(JsonCheckLeaks(&report));
        EXPECT_NE(report.find("Memory leak"), std::string::npos);
        o->Clear(true);  // breaks the cycle
    }
    EXPECT_TRUE(JsonCheckLeaks());

    EXPECT_EXIT(
        {
            IJsonValue o = JV(stObject);
            o->AsObject()->PutMember(u"self", o);
            g_keptForExit = o.get();  // still reachable, only the counter tells
            std::exit(0);
        },
        ::testing::ExitedWithCode(0), "Memory leak");
}

TEST_F(LiveValues, CloneCopiesDeeplyAndKeepsNilMembers) {
    IJsonValue o = Obj(u"{\"a\":[1,{\"b\":2.5}],\"s\":\"x\",\"c\":1.25}");
    o->AsObject()->PutMember(u"gap", nullptr);
    o->GetArray(u"a")->PutItem(3, JV(true));  // slot 2 stays nil
    o->SetDataPtr(&before_);

    IJsonValue c = o->Clone();
    EXPECT_EQ(c->AsJSon(), o->AsJSon());
    EXPECT_EQ(c->GetDataPtr(), nullptr);
    IJsonValue gap;
    EXPECT_TRUE(c->AsObject()->Find(u"gap", gap));
    EXPECT_FALSE(gap);
    EXPECT_EQ(c->GetArray(u"a")->Length(), 4);
    EXPECT_FALSE(c->GetArray(u"a")->GetItem(2));
    EXPECT_EQ(c->GetObject(u"c")->DataType(), stCurrency);

    o->PutInteger(u"a[1].b", 9);
    EXPECT_EQ(U8(c->GetString(u"a[1].b")), "2.5");
    EXPECT_NE(c->GetObject(u"a").get(), o->GetObject(u"a").get());
}

TEST_F(LiveValues, CloneAndMergeOfCyclesEnd) {
    IJsonValue a = Obj(u"{\"n\":1}");
    a->AsObject()->PutMember(u"self", a);
    IJsonValue c = a->Clone();
    EXPECT_EQ(U8(c->AsJSon()), "{\"n\":1,\"self\":null}");  // the loop is cut
    IJsonValue b = Obj(u"{\"n\":2}");
    b->AsObject()->PutMember(u"self", b);
    a->Merge(b, false);
    EXPECT_EQ(a->GetInteger(u"n"), 2);
    EXPECT_EQ(a->GetObject(u"self").get(), a.get());
    IJsonValue fresh = JV(stObject);
    fresh->Merge(b, false);
    EXPECT_EQ(U8(fresh->AsJSon()), "{\"n\":2,\"self\":{\"n\":2,\"self\":null}}");
    a->Clear(true);
    b->Clear(true);
}

TEST_F(LiveValues, MergeCombinesMembersAndSlotsOfTheSameKind) {
    IJsonValue a = Obj(u"{\"n\":1,\"o\":{\"x\":1},\"arr\":[1,2,3],\"s\":\"old\"}");
    IJsonValue b = Obj(u"{\"n\":2,\"o\":{\"y\":2},\"arr\":[{\"z\":1}],\"s\":5,\"new\":[true]}");
    a->Merge(b, false);
    EXPECT_EQ(U8(a->GetString(u"n")), "2");
    EXPECT_EQ(U8(a->GetString(u"o.x")), "1");
    EXPECT_EQ(U8(a->GetString(u"o.y")), "2");
    EXPECT_EQ(U8(a->GetString(u"arr")), "[{\"z\":1},2,3]");  // later slots kept
    EXPECT_EQ(U8(a->GetString(u"s")), "5");                  // kinds differ: replaced
    EXPECT_NE(a->GetObject(u"new").get(), b->GetObject(u"new").get());

    IJsonValue r = JV(stObject);
    r->Merge(b, true);
    EXPECT_EQ(r->GetObject(u"new").get(), b->GetObject(u"new").get());

    IJsonValue i = JV(int64_t(1));
    i->Merge(JV(u"2"));  // different kinds: nothing
    EXPECT_EQ(i->AsInteger(), 1);
    i->Merge(JV(int64_t(5)));
    EXPECT_EQ(i->AsInteger(), 5);
    IJsonValue s = JV(u"a");
    s->Merge(u"\"b\"");
    EXPECT_EQ(U8(s->AsString()), "b");
}

TEST_F(LiveValues, ClearKeepsTheKindAndClearAllBreaksCycles) {
    const std::pair<IJsonValue, std::u16string> cases[] = {
        {JV(true), u"false"},       {JV(int64_t(4)), u"0"}, {JV(2.5), u"0"},
        {JVCurrency(Currency{5}), u"0"}, {JV(u"s"), u"\"\""},   {Obj(u"{\"a\":1}"), u"{}"},
        {Obj(u"[1,2]"), u"[]"},
    };
    for (const auto& [v, text] : cases) {
        TJsonType t = v->DataType();
        v->Clear();
        EXPECT_EQ(v->DataType(), t);
        EXPECT_EQ(U8(v->AsJSon()), U8(text));
    }

    // a -> arr -> a, and a -> a: unreachable once dropped unless broken.
    IJsonValue a = JV(stObject);
    IJsonValue arr = JV(stArray);
    a->AsObject()->PutMember(u"arr", arr);
    a->AsObject()->PutMember(u"self", a);
    arr->AsArray()->Add(a);
    arr = nullptr;
    EXPECT_GT(JsonLiveValues(), before_);
    a->Clear(true);
    a = nullptr;
}

TEST_F(LiveValues, PackRemovesNilSlotsAndMembers) {
    IJsonValue arr = JV(stArray);
    arr->AsArray()->PutItem(5, JV(int64_t(1)));
    EXPECT_EQ(arr->AsArray()->Length(), 6);
    for (int i = 0; i < 5; ++i) EXPECT_FALSE(arr->AsArray()->GetItem(i));
    arr->Pack();
    EXPECT_EQ(arr->AsArray()->Length(), 1);
    EXPECT_EQ(arr->AsArray()->GetItem(0)->AsInteger(), 1);

    IJsonValue o = Obj(u"{\"a\":1,\"inner\":[1,2]}");
    o->AsObject()->PutMember(u"nil", nullptr);
    o->GetArray(u"inner")->PutItem(4, JV(int64_t(3)));
    o->Pack(false);
    EXPECT_EQ(o->AsObject()->count(), 2);
    EXPECT_EQ(o->GetArray(u"inner")->Length(), 5);
    o->Pack(true);
    EXPECT_EQ(U8(o->GetString(u"inner")), "[1,2,3]");
}

TEST(JsonArray, GrowthInsertAndDeleteFollowTheCapacityRules) {
    {
        TJsonArray a;
        EXPECT_EQ(a.Capacity(), 32);
        a.PutItem(32, JV(int64_t(1)));
        EXPECT_EQ(a.Capacity(), 64);
        EXPECT_EQ(a.Length(), 33);
        a.PutItem(100, JV(int64_t(2)));
        EXPECT_EQ(a.Capacity(), 128);  // twice the old capacity
        a.PutItem(300, JV(int64_t(2)));
        EXPECT_EQ(a.Capacity(), 301);  // index + 1, being larger
        a.PutItem(-1, JV(int64_t(3)));
        EXPECT_EQ(a.Length(), 301);
        EXPECT_FALSE(a.GetItem(-1));
        EXPECT_FALSE(a.GetItem(301));
    }
    {
        TJsonArray a;
        for (int i = 0; i < 32; ++i) EXPECT_EQ(a.Add(JV(int64_t(i))), i);
        EXPECT_EQ(a.Capacity(), 32);
        a.Insert(0, JV(int64_t(-1)));
        EXPECT_EQ(a.Capacity(), 64);
        EXPECT_EQ(a.Length(), 33);
        for (int i = 0; i < 33; ++i) EXPECT_EQ(a.GetItem(i)->AsInteger(), i - 1);
        a.Insert(40, JV(int64_t(40)));  // beyond the end: as PutItem
        EXPECT_EQ(a.Length(), 41);
        a.Insert(-2, JV(int64_t(0)));
        EXPECT_EQ(a.Length(), 41);

        IJsonValue d = a.Delete(1);
        EXPECT_EQ(d->AsInteger(), 0);
        EXPECT_EQ(a.Length(), 40);
        EXPECT_EQ(a.GetItem(1)->AsInteger(), 1);
        EXPECT_EQ(a.GetItem(39)->AsInteger(), 40);
        EXPECT_FALSE(a.Delete(40));
        EXPECT_FALSE(a.Delete(-1));
        EXPECT_EQ(a.Length(), 40);
        a.Clear();
        EXPECT_EQ(a.Length(), 0);
        EXPECT_EQ(a.Capacity(), 64);
    }
}

TEST(JsonMemberTable, HashAndIterationOrder) {
    EXPECT_EQ(TJsonAvlEntry::Hash(u""), 0u);
    EXPECT_EQ(TJsonAvlEntry::Hash(u"b"), TJsonAvlEntry::Hash(u"a") + 1);
    EXPECT_EQ(TJsonAvlEntry::Hash(u"ab"), (TJsonAvlEntry::Hash(u"a") * 129u + u'b' + 0x9E370001u));

    IJsonValue o = JV(stObject);
    o->AsObject()->PutMember(u"a", JV(int64_t(1)));
    o->AsObject()->PutMember(u"b", JV(int64_t(2)));
    EXPECT_EQ(Names(o), (std::vector<std::u16string>{u"b", u"a"}));
    o->AsObject()->PutMember(u"a", JV(int64_t(3)));
    EXPECT_EQ(Names(o), (std::vector<std::u16string>{u"b", u"a"}));
    EXPECT_EQ(o->AsObject()->count(), 2);
    EXPECT_EQ(U8(o->AsJSon()), "{\"b\":2,\"a\":3}");

    // Putting the value a member already holds keeps it alive.
    IJsonValue held = o->AsObject()->GetMember(u"a");
    TJsonValue* raw = held.get();
    held = nullptr;
    o->AsObject()->PutMember(u"a", IJsonValue(raw));
    EXPECT_EQ(o->AsObject()->GetMember(u"a")->AsInteger(), 3);

    EXPECT_EQ(U8(o->AsObject()->GetNames()->AsJSon()), "[\"b\",\"a\"]");
    EXPECT_EQ(U8(o->AsObject()->GetValues()->AsJSon()), "[2,3]");
    EXPECT_EQ(o->AsObject()->Delete(u"b")->AsInteger(), 2);
    EXPECT_FALSE(o->AsObject()->Delete(u"b"));
    EXPECT_FALSE(o->AsObject()->IsEmpty());
}

TEST_F(LiveValues, MemberTableStaysOrderedThroughRandomInsertsAndDeletes) {
    std::mt19937 rng(7);
    auto before = [](const std::u16string& x, const std::u16string& y) {
        uint32_t hx = TJsonAvlEntry::Hash(x), hy = TJsonAvlEntry::Hash(y);
        return hx != hy ? hx > hy : x < y;
    };
    IJsonValue o = JV(stObject);
    TJsonTableString* t = o->AsObject();
    std::vector<std::u16string> live;
    for (int round = 0; round < 4000; ++round) {
        std::u16string name;
        for (int k = 0, n = 1 + rng() % 3; k < n; ++k) name += char16_t(u'a' + rng() % 20);
        if (rng() % 3 == 0) {
            bool had = std::find(live.begin(), live.end(), name) != live.end();
            EXPECT_EQ(static_cast<bool>(t->Delete(name)), had) << U8(name);
            live.erase(std::remove(live.begin(), live.end(), name), live.end());
        } else {
            t->PutMember(name, JV(name));
            if (std::find(live.begin(), live.end(), name) == live.end()) live.push_back(name);
        }
    }
    std::sort(live.begin(), live.end(), before);
    ASSERT_EQ(t->count(), static_cast<int>(live.size()));
    EXPECT_EQ(Names(o), live);
    for (const auto& n : live) EXPECT_EQ(t->GetMember(n)->AsString(), n);

    // Backwards, and the nearest neighbours of a key.
    TJsonAvlIterator it(t);
    std::vector<std::u16string> back;
    for (it.Last(); it.GetIter(); it.Prior()) back.push_back(it.GetIter()->Name());
    EXPECT_TRUE(std::equal(back.begin(), back.end(), live.rbegin(), live.rend()));
    const std::u16string& mid = live[live.size() / 2];
    EXPECT_EQ(t->FindEntry(mid, stEQual)->Name(), mid);
    EXPECT_EQ(t->FindEntry(mid, stLess)->Name(), live[live.size() / 2 - 1]);
    EXPECT_EQ(t->FindEntry(mid, stGreater)->Name(), live[live.size() / 2 + 1]);
    EXPECT_EQ(t->FindEntry(mid, stLess | stEQual)->Name(), mid);
    it.Search(mid, stGreater);
    ASSERT_TRUE(it.GetIter());
    EXPECT_EQ(it.GetIter()->Name(), live[live.size() / 2 + 1]);
    it.Next();
    EXPECT_EQ(it.GetIter()->Name(), live[live.size() / 2 + 2]);
    EXPECT_FALSE(t->FindEntry(live.front(), stLess));
    EXPECT_FALSE(t->FindEntry(live.back(), stGreater));
}

TEST_F(LiveValues, EnumeratorsVisitMembersSlotsOrNothing) {
    IJsonValue o = Obj(u"{\"a\":1,\"b\":2}");
    std::vector<int64_t> seen;
    auto e = o->GetEnumerator();
    while (e->MoveNext()) seen.push_back(e->Current()->AsInteger());
    EXPECT_EQ(seen, (std::vector<int64_t>{2, 1}));

    IJsonValue arr = JV(stArray);
    arr->AsArray()->PutItem(1, JV(int64_t(5)));
    auto ea = arr->GetEnumerator();
    ASSERT_TRUE(ea->MoveNext());
    EXPECT_FALSE(ea->Current());
    ASSERT_TRUE(ea->MoveNext());
    EXPECT_EQ(ea->Current()->AsInteger(), 5);
    EXPECT_FALSE(ea->MoveNext());

    EXPECT_FALSE(JV(int64_t(1))->GetEnumerator()->MoveNext());

    TJsonValueIter it;
    EXPECT_FALSE(MembersFirst(JV(stArray), it));
    EXPECT_FALSE(it.Ite);
    EXPECT_FALSE(MembersFirst(JV(stObject), it));
    MembersClose(it);
    EXPECT_EQ(TypeOfValue(nullptr), stNull);
    EXPECT_TRUE(ValueHasType(nullptr, stNull));
}
