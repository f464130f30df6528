// Paths (get, put, create, delete, call, Format) and the writer (escaping,
// indentation, cycles, the sinks and their failures).
#include <gtest/gtest.h>

#include <random>
#include <string>
#include <vector>

#include "json/jsonvalue.h"
#include "platform/codepage.h"
#include "platform/socket.h"
#include "platform/stream.h"

using namespace json;

namespace {

std::string U8(const std::u16string& s) { return platform::TextToUtf8(s); }

IJsonValue Doc(const char16_t* text) {
    IJsonValue v = ParseJsonText(text);
    EXPECT_TRUE(v) << U8(text);
    return v;
}

std::string Text(const IJsonValue& v) { return v ? U8(v->AsJSon(false, false)) : "nil"; }

// Adds one to its argument; with no argument gives the holder's "base".
void AddOne(const IJsonValue& This, const IJsonValue& Params, IJsonValue& Result) {
    if (ValueHasType(Params, stInt)) Result = JV(Params->AsInteger() + 1);
    else if (ValueHasType(Params, stArray)) Result = JV(int64_t(Params->AsArray()->Length()));
    else Result = This ? This->GetObject(u"base") : nullptr;
}

// A stream that takes only `room` bytes and then refuses more.
class ShortStream : public platform::TMemoryStream {
public:
    explicit ShortStream(int64_t room) : room_(room) {}
    int64_t Write(const void* buffer, int64_t count) override {
        int64_t n = std::min(count, room_);
        room_ -= n;
        return n > 0 ? TMemoryStream::Write(buffer, n) : 0;
    }

private:
    int64_t room_;
};

}  // namespace

TEST(JsonPaths, GetStringOfTheUpdateReply) {
    const struct {
        const char16_t* reply;
        std::string url;
    } cases[] = {
        {u"{\"code\":0,\"download_url\":\"http://h/r/Version.zip\"}", "http://h/r/Version.zip"},
        {u"{\"code\":0}", ""},
        {u"Service Unavailable", ""},
        {u"{\"download_url\":12}", "12"},
        {u"{\"download_url\":null}", "null"},
        {u"{\"download_url\":{\"a\":[1]}}", "{\"a\":[1]}"},
        {u"{\"download_url\":\"\\u4e0b\\/\"}", "下/"},
    };
    for (const auto& c : cases) EXPECT_EQ(U8(Doc(c.reply)->GetString(u"download_url")), c.url) << U8(c.reply);
}

TEST(JsonPaths, LookupsFollowTheWorkedExample) {
    IJsonValue v = Doc(u"{\"a\":{\"b\":[10,20]},\"n\":5,\"i\":1,\"0\":\"zero\",\"nullable\":\"member\","
                       u"\"a.b\":\"dotted\",\"a b\":\"blank\",\"\\u4e01\":\"cjk\"}");
    const struct {
        const char16_t* path;
        std::string found;
    } cases[] = {
        {u"a.b[1]", "20"},
        {u"a.b[0]", "10"},
        {u"a.b[i]", "20"},  // index taken from the member i
        {u"a.b[]", "20"},
        {u"a.b[2]", "nil"},
        {u"a.b[-1]", "nil"},
        {u"a.b[\"1\"]", "nil"},
        {u"a.b[1", "nil"},
        {u"a.b.c", "nil"},
        {u"a.x.y", "nil"},
        {u"n.x", "nil"},
        {u"n", "5"},
        {u"x", "nil"},
        {u"a", "{\"b\":[10,20]}"},
        {u"0", "\"zero\""},
        {u"true", "true"},
        {u"null", "null"},
        {u"nullable", "\"member\""},
        {u"a.b", "[10,20]"},   // the member called a.b cannot be reached
        {u"a b", "{\"b\":[10,20]}"},  // the blank ends the component
        {u"丁", "\"cjk\""},
        {u"[1,2]", "[1,2]"},
        {u"'lit'", "\"lit\""},
    };
    for (const auto& c : cases) EXPECT_EQ(Text(v->GetObject(c.path)), c.found) << U8(c.path);
    EXPECT_EQ(U8(v->GetString(u"n")), "5");
    EXPECT_EQ(U8(v->GetString(u"x")), "");
    EXPECT_EQ(v->GetInteger(u"a.b[1]"), 20);
    EXPECT_DOUBLE_EQ(v->GetDouble(u"a.b[0]"), 10);
    EXPECT_TRUE(v->GetBoolean(u"n"));
    EXPECT_FALSE(v->GetBoolean(u"x"));
    EXPECT_EQ(v->GetCurrency(u"n").scaled, 50000);
    EXPECT_EQ(v->GetArray(u"a.b")->Length(), 2);
    EXPECT_EQ(v->GetArray(u"n"), nullptr);
    // A literal path makes an array nobody else holds: no pointer to freed memory.
    EXPECT_EQ(v->GetArray(u"[1,2]"), nullptr);
    EXPECT_EQ(v->GetN(u"x")->DataType(), stNull);

    IJsonValue arr = Doc(u"[\"a\",\"b\",[7,8]]");
    EXPECT_EQ(Text(arr->GetObject(u"1")), "\"b\"");
    EXPECT_EQ(Text(arr->GetObject(u"name")), "nil");
    // A bracket starts a literal, whose numbers index the context array.
    EXPECT_EQ(Text(arr->GetObject(u"[2][1]")), "[[7,8]]");
}

TEST(JsonPaths, PutsCreateWhatIsMissingAndGetsCreateNothing) {
    IJsonValue v = JV(stObject);
    EXPECT_FALSE(v->GetObject(u"a.b"));
    EXPECT_EQ(Text(v), "{}");
    v->PutString(u"a.b", u"x");
    EXPECT_EQ(Text(v), "{\"a\":{\"b\":\"x\"}}");

    IJsonValue w = Doc(u"{\"a\":{\"b\":[10,20]},\"n\":5}");
    w->PutInteger(u"a.c", 7);
    EXPECT_EQ(Text(w->GetObject(u"a")), "{\"c\":7,\"b\":[10,20]}");
    IJsonValue q = w->ForcePath(u"p.q", stArray);
    ASSERT_TRUE(ValueHasType(q, stArray));
    EXPECT_EQ(w->GetObject(u"p.q").get(), q.get());
    w->PutObject(u"a.b[]", JV(int64_t(30)));
    EXPECT_EQ(Text(w->GetObject(u"a.b")), "[10,20,30]");
    w->PutInteger(u"a.b[5]", 60);
    EXPECT_EQ(Text(w->GetObject(u"a.b")), "[10,20,30,null,null,60]");
    w->PutBoolean(u"a.b[1]", true);
    EXPECT_EQ(Text(w->GetObject(u"a.b[1]")), "true");
    w->PutDouble(u"d", 0.5);
    w->PutCurrency(u"c", Currency{12345});
    EXPECT_EQ(Text(w->GetObject(u"c")), "1.2345");
    w->PutN(u"nothing", nullptr);
    EXPECT_EQ(Text(w->GetObject(u"nothing")), "null");
    w->PutString(u"list[].name", u"first");  // a new object appended
    w->PutString(u"list[].name", u"second");
    EXPECT_EQ(Text(w->GetObject(u"list")), "[{\"name\":\"first\"},{\"name\":\"second\"}]");
    EXPECT_EQ(U8(w->GetString(u"list[].name")), "second");

    // A put that cannot finish keeps what it created on the way.
    IJsonValue p = JV(stObject);
    p->PutString(u"x.y trailing", u"v");
    EXPECT_EQ(Text(p), "{\"x\":{\"y\":\"v\"}}");
    // Huge array indexes store nothing instead of exhausting memory.
    IJsonValue big = Doc(u"{\"a\":[]}");
    big->PutInteger(u"a[99999999999]", 1);
    EXPECT_EQ(big->GetArray(u"a")->Length(), 0);
}

// A step that finds nothing ends the path: the next name is not looked up in
// the context value instead.
void GivesNothing(const IJsonValue&, const IJsonValue&, IJsonValue& Result) { Result = nullptr; }

TEST(JsonPaths, AStepThatFindsNothingEndsThePath) {
    const char16_t* doc = u"{\"a\":[],\"b\":5,\"name\":\"root\",\"list\":[]}";
    const char16_t* paths[] = {u"a[].b", u"list[].name", u"f().b", u"f().name", u"f().b.c"};
    for (const char16_t* path : paths) {
        IJsonValue v = Doc(doc);
        v->PutMethod(u"f", GivesNothing);
        const std::string before = Text(v);
        EXPECT_EQ(Text(v->GetObject(path)), "nil") << U8(path);
        EXPECT_EQ(U8(v->GetString(path)), "") << U8(path);
        EXPECT_EQ(Text(v->ForcePath(path)), "nil") << U8(path);
        EXPECT_EQ(Text(v->Delete(path)), "nil") << U8(path);
        EXPECT_EQ(Text(v), before) << U8(path) << ": nothing changed or created";
    }
    // With a last element there, the path goes on from it.
    IJsonValue w = Doc(u"{\"list\":[{\"name\":\"first\"},{\"name\":\"last\"}],\"name\":\"root\"}");
    EXPECT_EQ(U8(w->GetString(u"list[].name")), "last");
    EXPECT_EQ(Text(w->Delete(u"list[].name")), "\"last\"");
    EXPECT_EQ(U8(w->GetString(u"name")), "root");
}

TEST(JsonPaths, ContainersMadeOnTheWayGoInTheSlotThePathNames) {
    IJsonValue v = Doc(u"{\"a\":[]}");
    v->PutInteger(u"a[5][0]", 7);
    EXPECT_EQ(Text(v), "{\"a\":[null,null,null,null,null,[7]]}");
    EXPECT_EQ(v->GetInteger(u"a[5][0]"), 7);
    v->PutInteger(u"a[2].x", 1);
    EXPECT_EQ(Text(v->GetObject(u"a[2]")), "{\"x\":1}");
    EXPECT_EQ(Text(v->ForcePath(u"a[3][0]")), "nil");  // only the container is made
    EXPECT_EQ(Text(v->GetObject(u"a[3]")), "[]");
}

TEST(JsonPaths, AStoreFarPastTheEndOfAnArrayIsRefused) {
    const int64_t gap = TJsonArray::kMaxGap;
    IJsonValue v = Doc(u"{\"a\":[1,2]}");
    TJsonArray* a = v->GetArray(u"a");
    // Refused before anything is allocated: the capacity stays as it was.
    for (const char16_t* path : {u"a[268435455]", u"a[1048579]", u"a[1048579].x", u"a[1048579][0]"}) {
        v->PutInteger(path, 1);
        EXPECT_EQ(Text(v->ForcePath(path)), "nil") << U8(path);
        EXPECT_EQ(a->Length(), 2) << U8(path);
        EXPECT_EQ(a->Capacity(), 32) << U8(path);
    }
    EXPECT_FALSE(a->PutItem(2 + gap + 1, JV(true)));
    EXPECT_FALSE(a->Insert(2 + gap + 1, JV(true)));
    EXPECT_FALSE(a->PutItem(-1, JV(true)));
    // The farthest store allowed.
    v->PutInteger(u"a[1048578]", 3);  // 2 + 2^20
    EXPECT_EQ(a->Length(), 2 + gap + 1);
    EXPECT_EQ(v->GetInteger(u"a[1048578]"), 3);
    IJsonValue top = JV(stArray);
    top->PutInteger(u"1048577", 1);  // an index into the context array itself
    EXPECT_EQ(top->AsArray()->Length(), 0);
}

// Returns a new array nobody else holds.
void MakesArray(const IJsonValue&, const IJsonValue&, IJsonValue& Result) { Result = ParseJsonText(u"[1]"); }

TEST(JsonPaths, GetArrayHandsOutOnlyArraysTheTreeHolds) {
    IJsonValue v = Doc(u"{\"a\":{\"b\":[10,[20]]},\"l\":[[1]]}");
    v->PutMethod(u"f", MakesArray);
    EXPECT_EQ(v->GetArray(u"a.b")->Length(), 2);
    EXPECT_EQ(v->GetArray(u"a.b[1]")->Length(), 1);
    EXPECT_EQ(v->GetArray(u"l[]")->Length(), 1);
    EXPECT_EQ(v->GetArray(u"l[0]"), v->GetArray(u"l[]"));
    EXPECT_EQ(JV(stArray)->GetArray(u""), nullptr);
    // Made by the path or by a call: no one holds them once the path is done.
    EXPECT_EQ(v->GetArray(u"[1,2]"), nullptr);
    EXPECT_EQ(v->GetArray(u"f()"), nullptr);
    EXPECT_EQ(v->GetArray(u"f"), nullptr);
    EXPECT_EQ(Text(v->GetObject(u"f()")), "[1]");
}

TEST(JsonPaths, DeleteRemovesAndReturns) {
    IJsonValue v = Doc(u"{\"a\":{\"b\":[10,20,30]},\"n\":5}");
    EXPECT_EQ(Text(v->Delete(u"n")), "5");
    EXPECT_FALSE(v->GetObject(u"n"));
    EXPECT_EQ(Text(v->Delete(u"a.b[0]")), "10");
    EXPECT_EQ(Text(v->GetObject(u"a.b")), "[20,30]");
    // i is missing, so the brackets hold no index: the last element is
    // found and nothing is removed.
    EXPECT_EQ(Text(v->Delete(u"a.b[i]")), "30");
    EXPECT_EQ(Text(v->Delete(u"missing")), "nil");
    EXPECT_EQ(Text(v), "{\"a\":{\"b\":[20,30]}}");
}

TEST(JsonPaths, CallablesAreCalledWithTheirHolderAndArguments) {
    IJsonValue v = Doc(u"{\"base\":100,\"o\":{\"base\":7}}");
    v->PutMethod(u"inc", AddOne);
    v->PutMethod(u"o.get", AddOne);
    EXPECT_EQ(v->GetMethod(u"inc"), &AddOne);
    EXPECT_EQ(Text(v->call(u"inc", JV(int64_t(41)))), "42");
    EXPECT_EQ(Text(v->call(u"inc", u"1")), "2");
    EXPECT_EQ(Text(v->call(u"o.get")), "7");
    EXPECT_EQ(Text(v->call(u"base")), "100");  // not a callable: the value itself
    EXPECT_EQ(Text(v->GetObject(u"inc(41)")), "42");
    EXPECT_EQ(Text(v->GetObject(u"inc(1,2,3)")), "3");
    EXPECT_EQ(Text(v->GetObject(u"o.get()")), "0");
    EXPECT_EQ(Text(v->GetObject(u"inc(1")), "nil");
    EXPECT_EQ(Text(v->GetObject(u"base(1)")), "nil");
    v->PutMethod(u"empty", nullptr);
    EXPECT_EQ(Text(v->GetObject(u"empty(1)")), "nil");
    // Callables are never written.
    EXPECT_EQ(Text(v), "{\"o\":{\"base\":7},\"base\":100}");
}

TEST(JsonPaths, FormatFillsTemplates) {
    IJsonValue v = Doc(u"{\"name\":\"Ann\",\"n\":{\"k\":3}}");
    EXPECT_EQ(U8(v->Format(u"Hello %name%!", u'%', u'%')), "Hello Ann!");
    EXPECT_EQ(U8(v->Format(u"Hello %name", u'%', u'%')), "Hello ");
    EXPECT_EQ(U8(v->Format(u"{n.k}/{missing}/{n}", u'{', u'}')), "3//{\"k\":3}");
    EXPECT_EQ(U8(v->Format(u"no spans", u'%', u'%')), "no spans");
}

TEST(JsonWriter, EscapingFullAndMinimal) {
    const struct {
        std::u16string s;
        std::string escaped;
        std::string minimal;
    } cases[] = {
        {u"\tQ\u00e9\u4e01", "\"\\tQ\\u00e9\\u4e01\"", "\"\tQ\u00e9\u4e01\""},
        {u"a/b", "\"a\\/b\"", "\"a/b\""},
        {u"\"\\", "\"\\\"\\\\\"", "\"\\\"\\\\\""},
        {std::u16string(u"a\0b", 3), "\"a\\u0000b\"", "\"a\\u0000b\""},
        {u"\x01\x1f\x7f\b\f\n\r", "\"\\u0001\\u001f\x7f\\b\\f\\n\\r\"", "\"\x01\x1f\x7f\b\f\n\r\""},
        {u"\u00ff\u0100", "\"\\u00ff\\u0100\"", "\"\u00ff\u0100\""},
    };
    for (const auto& c : cases) {
        IJsonValue v = JV(c.s);
        EXPECT_EQ(U8(v->AsJSon(false, true)), c.escaped);
        EXPECT_EQ(U8(v->AsJSon(false, false)), c.minimal);
        IJsonValue o = JV(stObject);
        o->AsObject()->PutMember(c.s, JV(int64_t(1)));
        EXPECT_EQ(U8(o->AsJSon(false, true)), "{" + c.escaped + ":1}");
        // What the writer escapes, the parser reads back.
        EXPECT_EQ(ParseJsonText(v->AsJSon(false, true))->AsString(), c.s);
    }
}

TEST(JsonWriter, CompactAndIndentedLayout) {
    IJsonValue v = Doc(u"{\"a\":[1,2],\"b\":{\"c\":true}}");
    EXPECT_EQ(U8(v->AsJSon()), "{\"b\":{\"c\":true},\"a\":[1,2]}");
    EXPECT_EQ(U8(v->AsJSon(true)),
              "{\r\n \"b\": {\r\n  \"c\": true\r\n },\r\n \"a\": [\r\n  1,2]\r\n}");
    EXPECT_EQ(U8(Doc(u"{\"e\":{},\"f\":[]}")->AsJSon(true)), "{\r\n \"f\": [],\r\n \"e\": {}\r\n}");

    IJsonValue gaps = JV(stArray);
    gaps->AsArray()->PutItem(2, JV(u"x"));
    gaps->AsArray()->Add(JV(&AddOne));
    EXPECT_EQ(U8(gaps->AsJSon()), "[null,null,\"x\"]");
    IJsonValue nil = JV(stObject);
    nil->AsObject()->PutMember(u"m", nullptr);
    EXPECT_EQ(U8(nil->AsJSon()), "{\"m\":null}");
}

TEST(JsonWriter, ValuesThatContainThemselvesAreWrittenWithoutTheLoop) {
    IJsonValue o = Doc(u"{\"a\":1}");
    o->AsObject()->PutMember(u"self", o);
    IJsonValue arr = Doc(u"[1,2]");
    arr->AsArray()->Add(arr);
    arr->AsArray()->Add(JV(int64_t(3)));
    o->AsObject()->PutMember(u"arr", arr);
    EXPECT_EQ(U8(o->AsJSon()), "{\"arr\":[1,2,3],\"a\":1}");
    EXPECT_EQ(U8(arr->AsJSon()), "[1,2,3]");
    EXPECT_EQ(o->CalcSize(), static_cast<int64_t>(o->AsJSon().size()));
    EXPECT_EQ(U8(o->AsString()), "{\"arr\":[1,2,3],\"a\":1}");
    o->Clear(true);
}

TEST(JsonWriter, CalcSizeMatchesTheText) {
    IJsonValue v = Doc(u"{\"s\":\"\\u4e01\\t/\",\"n\":[1.5,2,null,true],\"o\":{\"x\":-0.001}}");
    for (bool indent : {false, true})
        for (bool escape : {false, true})
            EXPECT_EQ(v->CalcSize(indent, escape), static_cast<int64_t>(v->AsJSon(indent, escape).size()));
}

TEST(JsonWriter, StreamsFilesAndSockets) {
    IJsonValue v = Doc(u"{\"k\":\"\\u00e9\"}");
    {
        platform::TMemoryStream s;
        EXPECT_EQ(v->SaveTo(s, false, true), 14);
        EXPECT_EQ(s.View(), "{\"k\":\"\\u00e9\"}");
    }
    {
        platform::TMemoryStream s;
        EXPECT_EQ(v->SaveTo(s, false, false), 18);
        EXPECT_EQ(s.View(), std::string("{\0\"\0k\0\"\0:\0\"\0\xe9\0\"\0}\0", 18));
    }
    {
        ShortStream s(5);  // a full disk: the document does not fit
        EXPECT_EQ(v->SaveTo(s, false, true), 0);
        EXPECT_EQ(s.GetSize(), 0);
    }
    const std::string name =
        ::testing::TempDir() + "zelvano-json-" + std::to_string(std::random_device{}()) + ".json";
    EXPECT_EQ(v->SaveTo(name, true, true), v->CalcSize(true, true));
    EXPECT_EQ(Text(TJsonValue::ParseFile(name, true)), Text(v));
    std::remove(name.c_str());
    EXPECT_EQ(v->SaveTo(std::string("/nonexistent/dir/x.json")), 0);

    platform::Socket a, b;
    ASSERT_EQ(platform::Socket::Pair(a, b), 0);
    EXPECT_EQ(v->SaveTo(a.Handle(), false, true), 14);
    char buf[64] = {};
    int err = 0;
    EXPECT_EQ(b.Receive(buf, sizeof buf, err), 14);
    EXPECT_EQ(std::string(buf, 14), "{\"k\":\"\\u00e9\"}");
    b.Close();
    EXPECT_EQ(v->SaveTo(a.Handle(), false, true), 0);  // the peer is gone
    TJsonWriterSock w(a.Handle());
    EXPECT_LT(JV(u"x")->WriteTo(w, false, false, 0), 0);
}

TEST(JsonWriter, TextBufferGrowsAndTrims) {
    TJsonWriterString w;
    EXPECT_EQ(w.Size(), 32);
    EXPECT_EQ(w.Append(u"abc"), 3);
    EXPECT_EQ(w.Append(u"", 0), 0);
    std::u16string longer(40, u'x');
    w.Append(longer.data(), 40);
    EXPECT_EQ(w.Size(), 64);  // max(2 x 32, 43 + 8)
    EXPECT_EQ(w.Position(), 43);
    EXPECT_EQ(w.Data()[43], 0);
    w.Append(u"\t \r\n ");
    w.TrimRight();
    EXPECT_EQ(U8(w.GetString()), "abc" + std::string(40, 'x') + "\t");
    w.Reset();
    EXPECT_EQ(w.Position(), 0);
    EXPECT_EQ(w.Size(), 64);

    TJsonWriterFake f;
    f.Append(u"abcd");
    EXPECT_EQ(f.Append(u"ef", 2), 6);
    f.Reset();
    EXPECT_EQ(f.size(), 0);
}
