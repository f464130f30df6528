// The tokenizer: a character-at-a-time state machine with an explicit stack,
// in plain mode (parsing JSON text) and in path mode (evaluating a path such
// as a.b[2] against a context value). Also the parse entries and the path
// accessors built on it.
#include <cstring>

#include "json/jsonnumber.h"
#include "json/jsonvalue.h"

namespace json {

namespace {

constexpr int64_t kPow10[] = {1, 10, 100, 1000, 10000};

bool IsWhitespace(char16_t c) {
    return c == 8 || c == 9 || c == 10 || c == 12 || c == 13 || c == 32;
}

bool IsPathDelimiter(char16_t c) {
    switch (c) {
        case 0: case 8: case 9: case 10: case 12: case 13: case u' ': case u'"': case u'(':
        case u')': case u',': case u'.': case u':': case u'[': case u']': case u'{': case u'}':
            return true;
        default: return false;
    }
}

int HexDigit(char16_t c) {
    if (c >= u'0' && c <= u'9') return c - u'0';
    if (c >= u'a' && c <= u'f') return c - u'a' + 10;
    if (c >= u'A' && c <= u'F') return c - u'A' + 10;
    return -1;
}

bool ContinuesWord(char16_t c) {
    return c >= 256 || c == u'.' || c == u'_' || (c >= u'A' && c <= u'Z') || (c >= u'a' && c <= u'z');
}

bool IsNumberChar(char16_t c) {
    return (c >= u'0' && c <= u'9') || c == u'+' || c == u'-' || c == u'.' || c == u'E' || c == u'e';
}

// Array indexes a store may use: beyond this the slots could not be held, so
// such a store does nothing.
constexpr int64_t kMaxStoreIndex = (int64_t(1) << 28) - 1;

void CallMethod(const IJsonValue& callable, const IJsonValue& This, const IJsonValue& Params,
                IJsonValue& Result) {
    TJsonMethod m = callable->AsMethod();
    if (m) m(This, Params, Result);
}

}  // namespace

// ---------------------------------------------------------------------------
// Tokenizer

TJsonTokenizer::TJsonTokenizer() { Reset(); }

TJsonTokenizer::~TJsonTokenizer() { Reset(); }

void TJsonTokenizer::ResetLevel(int adepth) {
    TJsonTokenerSrec& s = stack[adepth];
    s.state = tsEatws;
    s.saved_state = tsStart;
    s.obj = nullptr;
    s.current = nullptr;
    s.field_name.clear();
    s.parent = nullptr;
    s.gparent = nullptr;
}

void TJsonTokenizer::Reset() {
    for (int i = depth; i >= 0; --i) ResetLevel(i);
    depth = 0;
    err = teSuccess;
}

// ---------------------------------------------------------------------------
// The machine

IJsonValue TJsonValue::ParseEx(TJsonTokenizer& tok, const char16_t* str, int64_t len, bool strict,
                               const IJsonValue& This, TJsonFindOptions options,
                               const IJsonValue& put, TJsonType dt) {
    const bool pathMode = static_cast<bool>(This);
    const TJsonType thisType = TypeOfValue(This);
    const int64_t end = len < 0 ? INT64_MAX : len;
    TJsonWriterString& pb = tok.pb;
    IJsonValue returned;  // the value of the last level that finished
    int count = 0;        // open index expressions and argument lists
    TJsonTokenerSrec* lvl = &tok.stack[tok.depth];
    char16_t c = 0;

    tok.char_offset = 0;
    tok.err = teSuccess;

    auto track = [&tok](char16_t ch) {
        if (ch == u'\t') tok.col += 4;
        else if (ch == u'\n') {
            ++tok.line;
            tok.col = 0;
        } else {
            ++tok.col;
        }
    };
    auto finish = [&lvl](IJsonValue v) {
        lvl->current = std::move(v);
        lvl->saved_state = tsFinish;
        lvl->state = tsEatws;
    };

#define JSON_FAIL(e)     \
    do {                 \
        tok.err = (e);   \
        goto done;       \
    } while (0)
#define JSON_PUSH(s)                                       \
    do {                                                   \
        if (tok.depth >= TJsonTokenizer::kMaxDepth - 1)    \
            JSON_FAIL(teDepth);                            \
        lvl->state = (s);                                  \
        ++tok.depth;                                       \
        tok.ResetLevel(tok.depth);                         \
        lvl = &tok.stack[tok.depth];                       \
        goto again;                                        \
    } while (0)

next:
    if (tok.char_offset == len) {
        tok.err = (tok.depth == 0 && lvl->state == tsEatws && lvl->saved_state == tsFinish)
                      ? teSuccess
                      : teContinue;
        goto done;
    }
    c = str[tok.char_offset];
    track(c);

again:
    switch (lvl->state) {
        case tsEatws:
            if (IsWhitespace(c)) goto consume;
            if (c == u'/') {
                pb.Reset();
                pb.Push(u'/');
                lvl->state = tsCommentStart;
                goto consume;
            }
            lvl->state = lvl->saved_state;
            goto again;

        case tsCommentStart:
            if (c == u'*' || c == u'/') {
                pb.Push(c);
                lvl->state = c == u'*' ? tsComment : tsCommentEol;
                goto consume;
            }
            JSON_FAIL(teParseComment);

        case tsComment:
            pb.Push(c);
            if (c == u'*') lvl->state = tsCommentEnd;
            goto consume;

        case tsCommentEol:
            if (c == u'\n') lvl->state = tsEatws;
            else pb.Push(c);
            goto consume;

        case tsCommentEnd:
            pb.Push(c);
            lvl->state = c == u'/' ? tsEatws : tsComment;
            goto consume;

        case tsStart:
            switch (c) {
                case u'"':
                case u'\'':
                    tok.quote_char = c;
                    pb.Reset();
                    lvl->state = tsString;
                    goto consume;
                case u'-': case u'0': case u'1': case u'2': case u'3': case u'4': case u'5':
                case u'6': case u'7': case u'8': case u'9':
                    pb.Reset();
                    if (pathMode && c != u'-' && tok.depth == 0 && thisType == stObject) {
                        // A path 0 or 12 names the member called so.
                        lvl->current = This;
                        lvl->state = tsIdentifier;
                        goto again;
                    }
                    tok.is_double = 0;
                    tok.floatcount = -1;
                    lvl->state = tsNumber;
                    goto again;
                case u't': case u'T': case u'f': case u'F':
                    pb.Reset();
                    tok.st_pos = 0;
                    lvl->state = tsBoolean;
                    goto again;
                case u'n': case u'N':
                    pb.Reset();
                    tok.st_pos = 0;
                    lvl->state = tsNull;
                    goto again;
                case u'[':
                    lvl->current = JV(stArray);
                    lvl->saved_state = tsArray;
                    lvl->state = tsEatws;
                    goto consume;
                case u'{':
                    lvl->current = JV(stObject);
                    lvl->saved_state = tsObjectFieldStart;
                    lvl->state = tsEatws;
                    goto consume;
                case u'(':
                    if (pathMode && tok.depth == 0 && thisType == stMethod) {
                        lvl->current = This;
                        lvl->state = tsParamValue;
                    }
                    goto consume;
                default:
                    pb.Reset();
                    lvl->state = tsIdentifier;
                    goto again;
            }

        case tsFinish:
            if (tok.depth == 0) {
                tok.err = teSuccess;
                goto done;
            }
            returned = lvl->current;
            tok.ResetLevel(tok.depth);
            --tok.depth;
            lvl = &tok.stack[tok.depth];
            goto again;

        case tsString: {
            if (c == tok.quote_char) {
                finish(JV(pb.GetString()));
                goto consume;
            }
            if (c == u'\\') {
                lvl->saved_state = tsString;
                lvl->state = tsStringEscape;
                goto consume;
            }
            if (c == 0) {
                pb.Push(c);
                goto consume;
            }
            // Take the run of plain characters up to the next quote, escape
            // or NUL in one step.
            int64_t j = tok.char_offset + 1;
            const char16_t q = tok.quote_char;
            while (j < end) {
                char16_t d = str[j];
                if (d == q || d == u'\\' || d == 0) break;
                track(d);
                ++j;
            }
            pb.Append(str + tok.char_offset, static_cast<int>(j - tok.char_offset));
            tok.char_offset = j;
            goto next;
        }

        case tsStringEscape:
            switch (c) {
                case u'b': pb.Push(u'\b'); break;
                case u'f': pb.Push(u'\f'); break;
                case u'n': pb.Push(u'\n'); break;
                case u'r': pb.Push(u'\r'); break;
                case u't': pb.Push(u'\t'); break;
                case u'u':
                case u'x':
                    tok.ucs_char = 0;
                    tok.st_pos = 0;
                    lvl->state = c == u'u' ? tsEscapeUnicode : tsEscapeHexadecimal;
                    goto consume;
                default: pb.Push(c); break;
            }
            lvl->state = lvl->saved_state;
            goto consume;

        case tsEscapeUnicode:
        case tsEscapeHexadecimal: {
            int h = HexDigit(c);
            if (h < 0) JSON_FAIL(teParseString);
            const int digits = lvl->state == tsEscapeUnicode ? 4 : 2;
            tok.ucs_char += static_cast<uint32_t>(h) << (4 * (digits - 1 - tok.st_pos));
            if (++tok.st_pos == digits) {
                pb.Push(static_cast<char16_t>(tok.ucs_char));
                lvl->state = lvl->saved_state;
            }
            goto consume;
        }

        case tsNull:
        case tsBoolean: {
            pb.Push(c);
            const int n = pb.Position();
            const char16_t* buf = pb.Data();
            const char16_t* literal = nullptr;
            auto matches = [&](const char16_t* lit, int litLen) {
                int k = std::min(tok.st_pos + 1, litLen);
                return k <= n && std::memcmp(buf, lit, k * sizeof(char16_t)) == 0;
            };
            int litLen = 0;
            if (lvl->state == tsNull) {
                if (matches(u"null", 4)) literal = u"null", litLen = 4;
            } else if (matches(u"true", 4)) {
                literal = u"true", litLen = 4;
            } else if (matches(u"false", 5)) {
                literal = u"false", litLen = 5;
            }
            if (!literal) {
                pb.Truncate(n - 1);
                lvl->state = tsIdentifier;
                goto again;
            }
            if (tok.st_pos < litLen) {
                ++tok.st_pos;
                goto consume;
            }
            if (ContinuesWord(c)) {
                lvl->state = tsIdentifier;
                ++tok.st_pos;
                goto consume;
            }
            if (litLen == 4 && literal[0] == u'n') finish(JV(stNull));
            else finish(JV(literal[0] == u't'));
            goto again;
        }

        case tsNumber: {
            if (IsNumberChar(c)) {
                pb.Push(c);
                if (c == u'.') {
                    tok.is_double = 1;
                    tok.floatcount = 0;
                } else if (c == u'E' || c == u'e') {
                    tok.is_double = 1;
                    tok.floatcount = -1;
                } else if (c >= u'0' && c <= u'9' && tok.is_double == 1 && tok.floatcount >= 0) {
                    if (++tok.floatcount > 4) tok.floatcount = -1;
                }
                goto consume;
            }
            const char16_t* buf = pb.Data();
            const int n = pb.Position();
            if (tok.is_double == 0) {
                int64_t value = LeadingInteger(buf, n);
                if (pathMode && thisType == stArray) {
                    // The number indexes the context array.
                    TJsonArray* a = This->AsArray();
                    if ((options & foPutValue) && count == 0) {
                        if (value <= kMaxStoreIndex) a->PutItem(value, put);
                        lvl->current = put;
                    } else if ((options & foDelete) && count == 0) {
                        lvl->current = a->Delete(value);
                    } else {
                        lvl->current = a->GetItem(value);
                    }
                    finish(lvl->current);
                } else {
                    finish(JV(value));
                }
            } else if (tok.floatcount >= 0) {
                // Up to four decimals: exactly, as a currency.
                const int fc = tok.floatcount;
                char16_t* w = const_cast<char16_t*>(buf);
                std::memmove(w + n - fc - 1, w + n - fc, fc * sizeof(char16_t));
                pb.Truncate(n - 1);
                int64_t units = LeadingInteger(pb.Data(), pb.Position());
                finish(JVCurrency(Currency{SaturatingMul(units, kPow10[4 - fc])}));
            } else {
                finish(JV(LeadingDouble(buf, n)));
            }
            goto again;
        }

        case tsIdentifier:
            if (!pathMode) {
                if (c < 256) {
                    bool ends;
                    if (tok.depth == 0) {
                        ends = c == 0;
                    } else {
                        TJsonTokenerState below = tok.stack[tok.depth - 1].state;
                        if (below == tsArrayAdd) ends = c == 0 || c == u',' || c == u']';
                        else if (below == tsObjectValueAdd) ends = c == 0 || c == u',' || c == u'}';
                        else ends = c == 0;
                    }
                    if (ends) {
                        if (strict) JSON_FAIL(teParseString);
                        pb.TrimRight();
                        finish(JV(pb.GetString()));
                        goto again;
                    }
                    if (c == u'\\') {
                        lvl->saved_state = tsIdentifier;
                        lvl->state = tsStringEscape;
                        goto consume;
                    }
                }
                pb.Push(c);
                goto consume;
            }
            if (c >= 256 || !IsPathDelimiter(c)) {
                pb.Push(c);
                goto consume;
            }
            // The end of a path component.
            lvl->gparent = lvl->parent;
            lvl->parent = lvl->current ? lvl->current : This;
            switch (lvl->parent->DataType()) {
                case stObject: {
                    TJsonTableString* t = lvl->parent->AsObject();
                    std::u16string name = pb.GetString();
                    if (c == u'(' || c == u'.' || c == u'[') {
                        if (!name.empty()) lvl->current = t->GetMember(name);
                        lvl->state = c == u'(' ? tsEvalMethod : c == u'.' ? tsEvalProperty : tsEvalArray;
                        goto consume;
                    }
                    if (!name.empty()) lvl->current = t->GetMember(name);
                    bool removed = false;
                    if ((options & foPutValue) && count == 0) {
                        t->PutMember(name, put);
                    } else if ((options & foDelete) && count == 0) {
                        lvl->current = t->Delete(name);
                        removed = true;
                    } else if (!lvl->current && (options & foCreatePath)) {
                        lvl->current = JV(dt);
                        t->PutMember(name, lvl->current);
                    }
                    if (!removed) lvl->current = t->GetMember(name);
                    lvl->state = tsFinish;
                    goto again;
                }
                case stArray: {
                    TJsonArray* a = lvl->parent->AsArray();
                    if (lvl->obj) {
                        if (!ValueHasType(lvl->obj, stInt) || lvl->obj->AsInteger() < 0) {
                            lvl->obj = nullptr;
                            JSON_FAIL(teEvalInt);
                        }
                        const int64_t i = lvl->obj->AsInteger();
                        lvl->obj = nullptr;
                        lvl->current = a->GetItem(i);
                        if (c == u'(') {
                            lvl->state = tsEvalMethod;
                            goto consume;
                        }
                        if (c == u'.') {
                            if (!lvl->current) {
                                if (!(options & foCreatePath) || i > kMaxStoreIndex) JSON_FAIL(teEvalObject);
                                lvl->current = JV(stObject);
                                a->PutItem(i, lvl->current);
                            }
                            goto consume;
                        }
                        if (c == u'[') {
                            if (!lvl->current) {
                                if (!(options & foCreatePath)) JSON_FAIL(teEvalArray);
                                lvl->current = JV(stArray);
                                a->Add(lvl->current);
                            }
                            lvl->state = tsEvalArray;
                            goto consume;
                        }
                        if ((options & foPutValue) && count == 0) {
                            if (i <= kMaxStoreIndex) a->PutItem(i, put);
                            lvl->current = put;
                        } else if ((options & foDelete) && count == 0) {
                            lvl->current = a->Delete(i);
                        } else {
                            lvl->current = a->GetItem(i);
                        }
                        lvl->state = tsFinish;
                        goto again;
                    }
                    // Empty brackets: the last element, or a new one when
                    // storing.
                    IJsonValue last = a->GetItem(int64_t(a->Length()) - 1);
                    if (c == u'.' || c == u'[') {
                        if (options & foPutValue) {
                            lvl->current = JV(c == u'.' ? stObject : stArray);
                            a->Add(lvl->current);
                        } else {
                            lvl->current = last;
                        }
                        if (c == u'[') lvl->state = tsEvalArray;
                        goto consume;
                    }
                    if (c == u'(') {
                        lvl->current = (options & foPutValue) ? nullptr : last;
                        lvl->state = tsEvalMethod;
                        goto consume;
                    }
                    if ((options & foPutValue) && count == 0) {
                        a->Add(put);
                        lvl->current = put;
                    } else {
                        // A name applied to an array finds nothing.
                        lvl->current = pb.Position() == 0 ? last : nullptr;
                    }
                    lvl->state = tsFinish;
                    goto again;
                }
                case stMethod: {
                    if (c == u'(' || c == u'.' || c == u'[') {
                        IJsonValue callable = lvl->parent;
                        lvl->current = nullptr;
                        CallMethod(callable, lvl->gparent, lvl->obj, lvl->current);
                        lvl->obj = nullptr;
                        if (c == u'(') lvl->state = tsEvalMethod;
                        else if (c == u'[') lvl->state = tsEvalArray;
                        goto consume;
                    }
                    if ((options & foPutValue) && count <= 0) JSON_FAIL(teEvalMethod);
                    IJsonValue callable = lvl->parent;
                    lvl->current = nullptr;
                    CallMethod(callable, lvl->gparent, lvl->obj, lvl->current);
                    lvl->obj = nullptr;
                    lvl->state = tsFinish;
                    goto again;
                }
                default:
                    goto consume;
            }

        case tsArray:
            if (c == u']') {
                lvl->saved_state = tsFinish;
                lvl->state = tsEatws;
                goto consume;
            }
            JSON_PUSH(tsArrayAdd);

        case tsArrayAdd:
            lvl->current->AsArray()->Add(returned);
            lvl->saved_state = tsArraySep;
            lvl->state = tsEatws;
            goto again;

        case tsArraySep:
            if (c == u']') {
                lvl->saved_state = tsFinish;
                lvl->state = tsEatws;
                goto consume;
            }
            if (c == u',') {
                lvl->saved_state = tsArray;
                lvl->state = tsEatws;
                goto consume;
            }
            JSON_FAIL(teParseArray);

        case tsObjectFieldStart:
            if (c == u'}') {
                lvl->saved_state = tsFinish;
                lvl->state = tsEatws;
                goto consume;
            }
            if (c == u'"' || c == u'\'') {
                tok.quote_char = c;
                pb.Reset();
                lvl->state = tsObjectField;
                goto consume;
            }
            if (c < 256 && (strict || IsPathDelimiter(c))) JSON_FAIL(teParseObjectKeyName);
            pb.Reset();
            lvl->state = tsObjectUnquotedField;
            goto again;

        case tsObjectField:
            if (c == tok.quote_char) {
                lvl->field_name = pb.GetString();
                lvl->saved_state = tsObjectFieldEnd;
                lvl->state = tsEatws;
                goto consume;
            }
            if (c == u'\\') {
                lvl->saved_state = tsObjectField;
                lvl->state = tsStringEscape;
                goto consume;
            }
            pb.Push(c);
            goto consume;

        case tsObjectUnquotedField:
            if (c == 0 || c == u':') {
                lvl->field_name = pb.GetString();
                lvl->saved_state = tsObjectFieldEnd;
                lvl->state = tsEatws;
                goto again;
            }
            if (c == u'\\') {
                lvl->saved_state = tsObjectUnquotedField;
                lvl->state = tsStringEscape;
                goto consume;
            }
            pb.Push(c);
            goto consume;

        case tsObjectFieldEnd:
            if (c == u':') {
                lvl->saved_state = tsObjectValue;
                lvl->state = tsEatws;
                goto consume;
            }
            JSON_FAIL(teParseObjectKeySep);

        case tsObjectValue:
            JSON_PUSH(tsObjectValueAdd);

        case tsObjectValueAdd:
            lvl->current->AsObject()->PutMember(lvl->field_name, returned);
            lvl->field_name.clear();
            lvl->saved_state = tsObjectSep;
            lvl->state = tsEatws;
            goto again;

        case tsObjectSep:
            if (c == u'}') {
                lvl->saved_state = tsFinish;
                lvl->state = tsEatws;
                goto consume;
            }
            if (c == u',') {
                lvl->saved_state = tsObjectFieldStart;
                lvl->state = tsEatws;
                goto consume;
            }
            JSON_FAIL(teParseObjectValueSep);

        // Path mode.
        case tsEvalProperty:
            if (!lvl->current && (options & foCreatePath) && ValueHasType(lvl->parent, stObject)) {
                lvl->current = JV(stObject);
                lvl->parent->AsObject()->PutMember(pb.GetString(), lvl->current);
            } else if (!ValueHasType(lvl->current, stObject)) {
                JSON_FAIL(teEvalObject);
            }
            pb.Reset();
            lvl->state = tsIdentifier;
            goto again;

        case tsEvalArray:
            if (!lvl->current && (options & foCreatePath) && ValueHasType(lvl->parent, stObject)) {
                lvl->current = JV(stArray);
                lvl->parent->AsObject()->PutMember(pb.GetString(), lvl->current);
            } else if (!ValueHasType(lvl->current, stArray)) {
                JSON_FAIL(teEvalArray);
            }
            pb.Reset();
            lvl->state = tsParamValue;
            goto again;

        case tsParamValue:
            if (c == u']') {
                lvl->state = tsIdentifier;
                goto consume;
            }
            ++count;
            JSON_PUSH(tsParamPut);

        case tsParamPut:
            --count;
            lvl->obj = returned;
            pb.Reset();
            lvl->saved_state = tsIdentifier;
            lvl->state = tsEatws;
            if (c == u']') goto consume;
            JSON_FAIL(teEvalArray);

        case tsEvalMethod:
            if (ValueHasType(lvl->current, stMethod) && lvl->current->AsMethod()) {
                pb.Reset();
                lvl->obj = JV(stArray);
                lvl->state = tsMethodValue;
                goto again;
            }
            JSON_FAIL(teEvalMethod);

        case tsMethodValue:
            if (c == u')') {
                lvl->state = tsIdentifier;
                goto consume;
            }
            ++count;
            JSON_PUSH(tsMethodPut);

        case tsMethodPut:
            lvl->obj->AsArray()->Add(returned);
            if (c == u')') {
                if (lvl->obj->AsArray()->Length() == 1) lvl->obj = lvl->obj->AsArray()->GetItem(0);
                --count;
                pb.Reset();
                lvl->saved_state = tsIdentifier;
                lvl->state = tsEatws;
                goto consume;
            }
            if (c == u',') {
                // Each argument is one open expression until the list closes.
                --count;
                pb.Reset();
                lvl->saved_state = tsMethodValue;
                lvl->state = tsEatws;
                goto consume;
            }
            JSON_FAIL(teEvalMethod);
    }

consume:
    ++tok.char_offset;
    if (c == 0) {
        // The end of the text: a success only for a value finished at the
        // outermost level (a comment may still be open after it).
        if (tok.depth != 0 || (lvl->state != tsFinish && lvl->saved_state != tsFinish))
            tok.err = teParseEof;
        goto done;
    }
    goto next;

done:
#undef JSON_FAIL
#undef JSON_PUSH
    if (tok.err != teSuccess) return nullptr;
    IJsonValue result = lvl->current;
    if (pathMode && (options & foCallMethod) && ValueHasType(result, stMethod) && result->AsMethod()) {
        IJsonValue r = result;
        result->AsMethod()(lvl->parent, put, r);
        result = r;
    }
    return result;
}

// ---------------------------------------------------------------------------
// Entries

IJsonValue TJsonValue::ParseString(const char16_t* s, bool strict, bool partial,
                                   const IJsonValue& This, TJsonFindOptions options,
                                   const IJsonValue& put, TJsonType dt) {
    TJsonTokenizer tok;
    IJsonValue r = ParseEx(tok, s, -1, strict, This, options, put, dt);
    if (tok.err != teSuccess) return nullptr;
    if (!partial) {
        // Reading stopped at the terminating NUL, or just after it when it
        // was consumed inside a trailing comment.
        const int64_t at = tok.char_offset;
        const bool atEnd = (at > 0 && s[at - 1] == 0) || s[at] == 0;
        if (!atEnd) return nullptr;
    }
    return r;
}

IJsonValue ParseJsonText(const std::u16string& text) {
    return TJsonValue::ParseString(text.c_str(), false, true);
}

IJsonValue TJsonValue::ParseStream(platform::TStream& stream, bool strict, bool partial,
                                   const IJsonValue& This, TJsonFindOptions options,
                                   const IJsonValue& put, TJsonType dt) {
    TJsonTokenizer tok;
    const int64_t start = stream.GetPosition();
    unsigned char bom[2];
    const bool utf16 = stream.Read(bom, 2) == 2 && bom[0] == 0xFF && bom[1] == 0xFE;
    if (!utf16) stream.Seek(start, platform::soBeginning);

    unsigned char bytes[2048];
    char16_t units[1024];
    auto readChunk = [&]() -> int {
        if (utf16) {
            int64_t n = stream.Read(bytes, 2048);
            int k = static_cast<int>(n / 2);
            for (int i = 0; i < k; ++i) units[i] = char16_t(bytes[2 * i] | (bytes[2 * i + 1] << 8));
            return k;
        }
        int64_t n = stream.Read(bytes, 1024);
        for (int64_t i = 0; i < n; ++i) units[i] = bytes[i];
        return static_cast<int>(n);
    };
    for (int k = readChunk(); k > 0; k = readChunk()) {
        ParseEx(tok, units, k, strict, This, options, put, dt);
        if (tok.err != teContinue) break;
    }
    if (tok.err != teSuccess) return nullptr;
    return tok.stack[tok.depth].current;
}

IJsonValue TJsonValue::ParseFile(const std::u16string& FileName, bool strict, bool partial,
                                 const IJsonValue& This, TJsonFindOptions options,
                                 const IJsonValue& put, TJsonType dt) {
    try {
        platform::TFileStream f(FileName, platform::fmOpenRead | platform::fmShareDenyWrite);
        return ParseStream(f, strict, partial, This, options, put, dt);
    } catch (const platform::EStreamError&) {
        return nullptr;
    }
}

IJsonValue TJsonValue::ParseFile(const std::string& FileName, bool strict, bool partial,
                                 const IJsonValue& This, TJsonFindOptions options,
                                 const IJsonValue& put, TJsonType dt) {
    try {
        platform::TFileStream f(FileName, platform::fmOpenRead | platform::fmShareDenyWrite);
        return ParseStream(f, strict, partial, This, options, put, dt);
    } catch (const platform::EStreamError&) {
        return nullptr;
    }
}

// ---------------------------------------------------------------------------
// Path accessors

IJsonValue TJsonValue::GetObject(const std::u16string& path) {
    return ParseString(path.c_str(), false, true, IJsonValue(this));
}

bool TJsonValue::GetBoolean(const std::u16string& path) {
    IJsonValue v = GetObject(path);
    return v ? v->AsBoolean() : false;
}
int64_t TJsonValue::GetInteger(const std::u16string& path) {
    IJsonValue v = GetObject(path);
    return v ? v->AsInteger() : 0;
}
double TJsonValue::GetDouble(const std::u16string& path) {
    IJsonValue v = GetObject(path);
    return v ? v->AsDouble() : 0;
}
Currency TJsonValue::GetCurrency(const std::u16string& path) {
    IJsonValue v = GetObject(path);
    return v ? v->AsCurrency() : Currency{0};
}
std::u16string TJsonValue::GetString(const std::u16string& path) {
    IJsonValue v = GetObject(path);
    return v ? v->AsString() : std::u16string();
}
TJsonMethod TJsonValue::GetMethod(const std::u16string& path) {
    IJsonValue v = GetObject(path);
    return v ? v->AsMethod() : nullptr;
}
TJsonArray* TJsonValue::GetArray(const std::u16string& path) {
    IJsonValue v = GetObject(path);
    // The array is returned without a handle, so it must belong to the tree.
    // A path that is itself a literal (such as "[1]") makes a value that only
    // this handle holds; its array would be freed on return.
    if (!v || v->RefCount() <= 1) return nullptr;
    return v->AsArray();
}
IJsonValue TJsonValue::GetN(const std::u16string& path) {
    IJsonValue v = GetObject(path);
    return v ? v : JV(stNull);
}

void TJsonValue::PutObject(const std::u16string& path, const IJsonValue& Value) {
    ParseString(path.c_str(), true, false, IJsonValue(this), foCreatePath | foPutValue, Value);
}
void TJsonValue::PutBoolean(const std::u16string& path, bool Value) { PutObject(path, JV(Value)); }
void TJsonValue::PutInteger(const std::u16string& path, int64_t Value) { PutObject(path, JV(Value)); }
void TJsonValue::PutDouble(const std::u16string& path, double Value) { PutObject(path, JV(Value)); }
void TJsonValue::PutCurrency(const std::u16string& path, Currency Value) {
    PutObject(path, JVCurrency(Value));
}
void TJsonValue::PutString(const std::u16string& path, const std::u16string& Value) {
    PutObject(path, JV(Value));
}
void TJsonValue::PutMethod(const std::u16string& path, TJsonMethod Value) {
    ParseString(path.c_str(), false, true, IJsonValue(this), foCreatePath | foPutValue, JV(Value));
}
void TJsonValue::PutN(const std::u16string& path, const IJsonValue& Value) {
    ParseString(path.c_str(), false, true, IJsonValue(this), foCreatePath | foPutValue,
                Value ? Value : JV(stNull));
}
IJsonValue TJsonValue::ForcePath(const std::u16string& path, TJsonType dataType) {
    return ParseString(path.c_str(), false, true, IJsonValue(this), foCreatePath, nullptr, dataType);
}
IJsonValue TJsonValue::Delete(const std::u16string& path) {
    return ParseString(path.c_str(), false, true, IJsonValue(this), foDelete);
}
IJsonValue TJsonValue::call(const std::u16string& path, const IJsonValue& param) {
    return ParseString(path.c_str(), false, true, IJsonValue(this), foCallMethod, param);
}
IJsonValue TJsonValue::call(const std::u16string& path, const std::u16string& param) {
    return call(path, ParseJsonText(param));
}

}  // namespace json
