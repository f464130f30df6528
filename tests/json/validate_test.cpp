// Validation against rule documents.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "json/jsonvalue.h"
#include "platform/codepage.h"

using namespace json;

namespace {

std::string U8(const std::u16string& s) { return platform::TextToUtf8(s); }

// Runs a validation and lists the reports as "error@path".
std::vector<std::string> Reports(const char16_t* value, const char16_t* rules,
                                 const char16_t* defs = u"") {
    std::vector<std::string> out;
    IJsonValue v = ParseJsonText(value);
    EXPECT_TRUE(v);
    bool ok = v->Validate(rules, defs,
                          [&out](void* sender, TJsonValidateError e, const std::u16string& path) {
                              EXPECT_EQ(sender, reinterpret_cast<void*>(0x1));
                              out.push_back(std::to_string(e) + "@" + U8(path));
                          },
                          reinterpret_cast<void*>(0x1));
    EXPECT_EQ(ok, out.empty());
    return out;
}

using V = std::vector<std::string>;
std::string E(TJsonValidateError e, const char* path) { return std::to_string(e) + "@" + path; }

}  // namespace

TEST(JsonValidate, TypesRequiredEnumLengthAndRange) {
    const char16_t* reply =
        u"{type:map,mapping:{"
        u"download_url:{type:str,required:true,length:{min:8}},"
        u"code:{type:int,enum:[0,1]},"
        u"size:{type:number,range:{min:0,maxex:100}},"
        u"mandatory:{type:bool},"
        u"tags:{type:seq,sequence:[{type:text,unique:true}]}}}";
    EXPECT_EQ(Reports(u"{download_url:'http://h/v.zip',code:0,size:99.5,tags:[a,1]}", reply), V{});
    EXPECT_EQ(Reports(u"{code:2}", reply), (V{E(veValueNotInEnum, "code"), E(veFieldIsRequired, "download_url")}));
    EXPECT_EQ(Reports(u"{download_url:'short',size:100,mandatory:1,extra:0}", reply),
              (V{E(veInvalidDataType, "mandatory"), E(veInvalidRange, "size"),
                 E(veInvalidLength, "download_url"), E(veUnexpectedField, "extra")}));
    EXPECT_EQ(Reports(u"{download_url:null,tags:[a,b,a,{}]}", reply),
              (V{E(veDuplicateEntry, "tags[2]"), E(veInvalidDataType, "tags[3]"),
                 E(veFieldIsRequired, "download_url")}));
    EXPECT_EQ(Reports(u"[1,2]", reply), V{E(veInvalidDataType, "")});

    const struct {
        const char16_t* type;
        const char16_t* ok;
        const char16_t* bad;
    } types[] = {
        {u"str", u"'1'", u"1"},        {u"int", u"1", u"1.5"},      {u"float", u"1.5", u"1"},
        {u"number", u"1", u"'1'"},     {u"text", u"1.5", u"true"},  {u"bool", u"false", u"0"},
        {u"map", u"{}", u"[]"},        {u"seq", u"[]", u"{}"},      {u"scalar", u"null", u"[]"},
    };
    for (const auto& t : types) {
        std::u16string rule = std::u16string(u"{type:") + t.type + u"}";
        EXPECT_EQ(Reports(t.ok, rule.c_str()), V{}) << U8(t.type);
        EXPECT_EQ(Reports(t.bad, rule.c_str()), V{E(veInvalidDataType, "")}) << U8(t.type);
    }
    EXPECT_EQ(Reports(u"[1,2,3]", u"{length:{max:2}}"), V{E(veInvalidLength, "")});
    EXPECT_EQ(Reports(u"'b'", u"{range:{minex:'a',max:'b'}}"), V{});
    EXPECT_EQ(Reports(u"5", u"{range:{minex:5}}"), V{E(veInvalidRange, "")});
}

TEST(JsonValidate, InheritedDefinitionsAndMalformedRules) {
    const char16_t* defs = u"[{name:url,type:str,length:{min:4}},{name:pos,type:int,range:{min:1}}]";
    EXPECT_EQ(Reports(u"{u:'http',n:3}", u"{mapping:{u:{inherit:url},n:{inherit:pos}}}", defs), V{});
    EXPECT_EQ(Reports(u"{u:'x',n:0}", u"{mapping:{u:{inherit:url},n:{inherit:pos,range:{min:0}}}}", defs),
              V{E(veInvalidLength, "u")});
    EXPECT_EQ(Reports(u"1", u"{inherit:nothing}", defs), V{E(veFieldNotFound, "")});
    EXPECT_EQ(Reports(u"1", u"{type:integer}"), V{E(veRuleMalformated, "")});
    EXPECT_EQ(Reports(u"1", u"{colour:red}"), V{E(veRuleMalformated, "")});
    EXPECT_EQ(Reports(u"[1]", u"{sequence:[{},{}]}"), V{E(veRuleMalformated, "")});
    EXPECT_EQ(Reports(u"1", u"{range:{around:1}}"), V{E(veRuleMalformated, "")});
    EXPECT_EQ(Reports(u"1", u"[]"), V{E(veRuleMalformated, "")});
    // A rule that inherits itself ends instead of looping.
    EXPECT_EQ(Reports(u"1", u"{inherit:loop}", u"{name:loop,inherit:loop}"), V{E(veRuleMalformated, "")});
}
