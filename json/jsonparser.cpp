// The tokenizer: a character-at-a-time state machine with an explicit stack,
// in plain mode (parsing JSON text) and in path mode (evaluating a path such
// as a.b[2] against a context value). Also the parse entries and the path
// accessors built on it.
//
// Each state of the machine is one handler of TJsonMachine; a handler looks at
// one character and says what happens to it (consumed, examined again in the
// state or at the level it moved to, or the run stops). The steps of path
// mode have handlers of their own, apart from the plain-mode ones.
#include <cstring>

#include "json/JsonTexts.h"
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

bool ContinuesWord(char16_t c) {
    return c >= 256 || c == u'.' || c == u'_' || (c >= u'A' && c <= u'Z') || (c >= u'a' && c <= u'z');
}

bool IsNumberChar(char16_t c) {
    return (c >= u'0' && c <= u'9') || c == u'+' || c == u'-' || c == u'.' || c == u'E' || c == u'e';
}

void CallMethod(const IJsonValue& callable, const IJsonValue& This, const IJsonValue& Params,
                IJsonValue& Result) {
    TJsonMethod m = callable->AsMethod();
    if (m) m(This, Params, Result);
}

// What a handler did with the character it was given.
enum class Step {
    Consume,  // go on with the next character
    Again,    // examine the same character again, in the new state or level
    Stop,     // the run ends (tok.err tells how)
};

// One run of the machine over a text, continuing from the tokenizer's state.
class TJsonMachine {
public:
    TJsonMachine(TJsonTokenizer& tok, bool strict, const IJsonValue& This, TJsonFindOptions options,
                 const IJsonValue& put, TJsonType dt)
        : tok_(tok), pb_(tok.pb), strict_(strict), pathMode_(static_cast<bool>(This)),
          thisType_(TypeOfValue(This)), This_(This), options_(options), put_(put), dt_(dt),
          lvl_(&tok.stack[tok.depth]) {}

    IJsonValue Run(const char16_t* str, int64_t len);

private:
    // Inlined into the loop of Run, so a character costs no call unless its
    // handler is a large one.
    [[gnu::always_inline]] inline Step Handle(char16_t c);

    // Plain mode, one handler per state.
    Step EatWhitespace(char16_t c);
    Step CommentStart(char16_t c);
    Step Comment(char16_t c);
    Step CommentEol(char16_t c);
    Step CommentEnd(char16_t c);
    Step Start(char16_t c);
    Step FinishLevel();
    Step String(char16_t c);
    Step StringEscape(char16_t c);
    Step EscapeDigit(char16_t c, int digits);
    Step Literal(char16_t c);
    Step Number(char16_t c);
    Step EndNumber();
    Step UnquotedText(char16_t c);
    Step Array(char16_t c);
    Step ArrayAdd();
    Step ArraySep(char16_t c);
    Step ObjectFieldStart(char16_t c);
    Step ObjectField(char16_t c);
    Step ObjectUnquotedField(char16_t c);
    Step ObjectFieldEnd(char16_t c);
    Step ObjectValueAdd();
    Step ObjectSep(char16_t c);
    void AppendRun(char16_t c);

    // Path mode: a path component, the steps at its end by the kind of the
    // value it applies to, and the index and argument expressions.
    Step PathComponent(char16_t c);
    Step MemberStep(char16_t c, bool parentInTree);
    Step ElementStep(char16_t c, bool parentInTree);
    Step LastElementStep(char16_t c, bool parentInTree);
    Step CallStep(char16_t c);
    Step IndexContextArray(int64_t n);
    Step EvalProperty();
    Step EvalArray();
    Step ParamValue(char16_t c);
    Step ParamPut(char16_t c);
    Step EvalMethod();
    Step MethodValue(char16_t c);
    Step MethodPut(char16_t c);

    // The terms of the state table.
    void FinishValue(IJsonValue v) {
        lvl_->current = std::move(v);
        lvl_->saved_state = tsFinish;
        lvl_->state = tsEatws;
    }
    // Skips whitespace and comments, then goes on in `next`.
    void SkipTo(TJsonTokenerState next) {
        lvl_->saved_state = next;
        lvl_->state = tsEatws;
    }
    Step Push(TJsonTokenerState s);
    Step Fail(TJsonTokenizerError e) {
        tok_.err = e;
        return Step::Stop;
    }
    void Track(char16_t c) {
        if (c == u'\t') {
            tok_.col += 4;
        } else if (c == u'\n') {
            ++tok_.line;
            tok_.col = 0;
        } else {
            ++tok_.col;
        }
    }
    // Consumes the characters after the current one while `plain` holds for
    // them, up to the end of the text, and returns where the run ends. The
    // caller handles the whole run at once and leaves the last character of
    // it to be consumed as usual.
    template <class Plain>
    int64_t RunAfterCurrent(Plain plain) {
        int64_t j = tok_.char_offset + 1;
        while (j < end_ && plain(str_[j])) Track(str_[j++]);
        return j;
    }
    bool Storing() const { return (options_ & foPutValue) && count_ == 0; }
    bool Deleting() const { return (options_ & foDelete) && count_ == 0; }

    TJsonTokenizer& tok_;
    TJsonWriterString& pb_;
    const bool strict_;
    const bool pathMode_;
    const TJsonType thisType_;
    const IJsonValue& This_;
    const TJsonFindOptions options_;
    const IJsonValue& put_;
    const TJsonType dt_;
    TJsonTokenerSrec* lvl_;  // the current level
    IJsonValue returned_;    // the value of the last level that finished
    int count_ = 0;          // open index expressions and argument lists
    const char16_t* str_ = nullptr;
    int64_t end_ = 0;
};

IJsonValue TJsonMachine::Run(const char16_t* str, int64_t len) {
    str_ = str;
    end_ = len < 0 ? INT64_MAX : len;
    tok_.char_offset = 0;
    tok_.err = teSuccess;
    for (;;) {
        if (tok_.char_offset == len) {
            const bool complete = tok_.depth == 0 && lvl_->state == tsEatws && lvl_->saved_state == tsFinish;
            tok_.err = complete ? teSuccess : teContinue;
            break;
        }
        const char16_t c = str[tok_.char_offset];
        Track(c);
        Step s;
        do {
            s = Handle(c);
        } while (s == Step::Again);
        if (s == Step::Stop) break;
        ++tok_.char_offset;
        if (c == 0) {
            // The end of the text: a success only for a value finished at the
            // outermost level (a comment may still be open after it).
            if (tok_.depth != 0 || (lvl_->state != tsFinish && lvl_->saved_state != tsFinish))
                tok_.err = teParseEof;
            break;
        }
    }
    if (tok_.err != teSuccess) return nullptr;
    IJsonValue result = lvl_->current;
    if (pathMode_ && (options_ & foCallMethod) && ValueHasType(result, stMethod) && result->AsMethod()) {
        IJsonValue r = result;
        result->AsMethod()(lvl_->parent, put_, r);
        result = r;
    }
    return result;
}

Step TJsonMachine::Handle(char16_t c) {
    switch (lvl_->state) {
        case tsEatws: return EatWhitespace(c);
        case tsStart: return Start(c);
        case tsFinish: return FinishLevel();
        case tsNull:
        case tsBoolean: return Literal(c);
        case tsCommentStart: return CommentStart(c);
        case tsComment: return Comment(c);
        case tsCommentEol: return CommentEol(c);
        case tsCommentEnd: return CommentEnd(c);
        case tsString: return String(c);
        case tsStringEscape: return StringEscape(c);
        case tsIdentifier: return pathMode_ ? PathComponent(c) : UnquotedText(c);
        case tsEscapeUnicode: return EscapeDigit(c, 4);
        case tsEscapeHexadecimal: return EscapeDigit(c, 2);
        case tsNumber: return Number(c);
        case tsArray: return Array(c);
        case tsArrayAdd: return ArrayAdd();
        case tsArraySep: return ArraySep(c);
        case tsObjectFieldStart: return ObjectFieldStart(c);
        case tsObjectField: return ObjectField(c);
        case tsObjectUnquotedField: return ObjectUnquotedField(c);
        case tsObjectFieldEnd: return ObjectFieldEnd(c);
        case tsObjectValue: return Push(tsObjectValueAdd);
        case tsObjectValueAdd: return ObjectValueAdd();
        case tsObjectSep: return ObjectSep(c);
        case tsEvalProperty: return EvalProperty();
        case tsEvalArray: return EvalArray();
        case tsEvalMethod: return EvalMethod();
        case tsParamValue: return ParamValue(c);
        case tsParamPut: return ParamPut(c);
        case tsMethodValue: return MethodValue(c);
        case tsMethodPut: return MethodPut(c);
    }
    return Fail(teParseUnexpected);
}

Step TJsonMachine::Push(TJsonTokenerState s) {
    if (tok_.depth >= TJsonTokenizer::kMaxDepth - 1) return Fail(teDepth);
    lvl_->state = s;
    ++tok_.depth;
    tok_.ResetLevel(tok_.depth);
    lvl_ = &tok_.stack[tok_.depth];
    return Step::Again;
}

// ---------------------------------------------------------------------------
// Plain mode

Step TJsonMachine::EatWhitespace(char16_t c) {
    if (IsWhitespace(c)) {
        tok_.char_offset = RunAfterCurrent(IsWhitespace) - 1;
        return Step::Consume;
    }
    if (c == u'/') {
        pb_.Reset();
        pb_.Push(u'/');
        lvl_->state = tsCommentStart;
        return Step::Consume;
    }
    lvl_->state = lvl_->saved_state;
    return Step::Again;
}

Step TJsonMachine::CommentStart(char16_t c) {
    if (c != u'*' && c != u'/') return Fail(teParseComment);
    pb_.Push(c);
    lvl_->state = c == u'*' ? tsComment : tsCommentEol;
    return Step::Consume;
}

Step TJsonMachine::Comment(char16_t c) {
    pb_.Push(c);
    if (c == u'*') lvl_->state = tsCommentEnd;
    return Step::Consume;
}

Step TJsonMachine::CommentEol(char16_t c) {
    if (c == u'\n') lvl_->state = tsEatws;
    else pb_.Push(c);
    return Step::Consume;
}

Step TJsonMachine::CommentEnd(char16_t c) {
    pb_.Push(c);
    lvl_->state = c == u'/' ? tsEatws : tsComment;
    return Step::Consume;
}

Step TJsonMachine::Start(char16_t c) {
    switch (c) {
        case u'"':
        case u'\'':
            tok_.quote_char = c;
            pb_.Reset();
            lvl_->state = tsString;
            return Step::Consume;
        case u'-': case u'0': case u'1': case u'2': case u'3': case u'4': case u'5':
        case u'6': case u'7': case u'8': case u'9':
            pb_.Reset();
            if (pathMode_ && c != u'-' && tok_.depth == 0 && thisType_ == stObject) {
                // A path 0 or 12 names the member called so.
                lvl_->current = This_;
                lvl_->in_tree = true;
                lvl_->state = tsIdentifier;
                return Step::Again;
            }
            tok_.is_double = 0;
            tok_.floatcount = -1;
            lvl_->state = tsNumber;
            return Step::Again;
        case u't': case u'T': case u'f': case u'F':
            pb_.Reset();
            tok_.st_pos = 0;
            lvl_->state = tsBoolean;
            return Step::Again;
        case u'n': case u'N':
            pb_.Reset();
            tok_.st_pos = 0;
            lvl_->state = tsNull;
            return Step::Again;
        case u'[':
            lvl_->current = JV(stArray);
            SkipTo(tsArray);
            return Step::Consume;
        case u'{':
            lvl_->current = JV(stObject);
            SkipTo(tsObjectFieldStart);
            return Step::Consume;
        case u'(':
            if (pathMode_ && tok_.depth == 0 && thisType_ == stMethod) {
                lvl_->current = This_;
                lvl_->in_tree = true;
                lvl_->state = tsParamValue;
            }
            return Step::Consume;
        default:
            pb_.Reset();
            lvl_->state = tsIdentifier;
            return Step::Again;
    }
}

// The level's value is complete: at the outermost level the run ends with
// it, otherwise it is handed to the level below.
Step TJsonMachine::FinishLevel() {
    if (tok_.depth == 0) {
        tok_.err = teSuccess;
        return Step::Stop;
    }
    returned_ = std::move(lvl_->current);
    tok_.ResetLevel(tok_.depth);
    --tok_.depth;
    lvl_ = &tok_.stack[tok_.depth];
    return Step::Again;
}

Step TJsonMachine::String(char16_t c) {
    if (c == tok_.quote_char) {
        FinishValue(JV(pb_.GetString()));
        return Step::Consume;
    }
    if (c == u'\\') {
        lvl_->saved_state = tsString;
        lvl_->state = tsStringEscape;
        return Step::Consume;
    }
    if (c == 0) {
        pb_.Push(c);
        return Step::Consume;
    }
    AppendRun(c);
    return Step::Consume;
}

// Appends c and the plain characters after it, up to the next quote, escape
// or NUL, in one step.
void TJsonMachine::AppendRun(char16_t c) {
    const char16_t q = tok_.quote_char;
    const int64_t j = RunAfterCurrent([q](char16_t d) { return d != q && d != u'\\' && d != 0; });
    pb_.Append(str_ + tok_.char_offset, static_cast<int>(j - tok_.char_offset));
    tok_.char_offset = j - 1;
}

Step TJsonMachine::StringEscape(char16_t c) {
    switch (c) {
        case u'b': pb_.Push(u'\b'); break;
        case u'f': pb_.Push(u'\f'); break;
        case u'n': pb_.Push(u'\n'); break;
        case u'r': pb_.Push(u'\r'); break;
        case u't': pb_.Push(u'\t'); break;
        case u'u':
        case u'x':
            tok_.ucs_char = 0;
            tok_.st_pos = 0;
            lvl_->state = c == u'u' ? tsEscapeUnicode : tsEscapeHexadecimal;
            return Step::Consume;
        default: pb_.Push(c); break;
    }
    lvl_->state = lvl_->saved_state;
    return Step::Consume;
}

// One digit of a backslash-u (4 digits) or backslash-x (2 digits) escape.
Step TJsonMachine::EscapeDigit(char16_t c, int digits) {
    const int h = HexDigit(c);
    if (h < 0) return Fail(teParseString);
    tok_.ucs_char += static_cast<uint32_t>(h) << (4 * (digits - 1 - tok_.st_pos));
    if (++tok_.st_pos == digits) {
        pb_.Push(static_cast<char16_t>(tok_.ucs_char));
        lvl_->state = lvl_->saved_state;
    }
    return Step::Consume;
}

// null, true and false; a literal is recognised by the character after it.
Step TJsonMachine::Literal(char16_t c) {
    pb_.Push(c);
    const int n = pb_.Position();
    const char16_t* buf = pb_.Data();
    auto matches = [&](const char16_t* lit, int litLen) {
        const int k = std::min(tok_.st_pos + 1, litLen);
        return k <= n && std::memcmp(buf, lit, k * sizeof(char16_t)) == 0;
    };
    const char16_t* literal = nullptr;
    int litLen = 0;
    if (lvl_->state == tsNull) {
        if (matches(texts::kNull, 4)) literal = texts::kNull, litLen = 4;
    } else if (matches(texts::kTrue, 4)) {
        literal = texts::kTrue, litLen = 4;
    } else if (matches(texts::kFalse, 5)) {
        literal = texts::kFalse, litLen = 5;
    }
    if (!literal) {
        pb_.Truncate(n - 1);
        lvl_->state = tsIdentifier;
        return Step::Again;
    }
    if (tok_.st_pos < litLen) {
        ++tok_.st_pos;
        return Step::Consume;
    }
    if (ContinuesWord(c)) {
        // The start of a longer word: unquoted text.
        lvl_->state = tsIdentifier;
        ++tok_.st_pos;
        return Step::Consume;
    }
    if (literal == texts::kNull) FinishValue(JV(stNull));
    else FinishValue(JV(literal == texts::kTrue));
    return Step::Again;
}

// Appends the number's characters and classifies them as they come.
Step TJsonMachine::Number(char16_t c) {
    if (!IsNumberChar(c)) return EndNumber();
    const int64_t from = tok_.char_offset;
    const int64_t j = RunAfterCurrent(IsNumberChar);
    for (int64_t k = from; k < j; ++k) {
        const char16_t d = str_[k];
        if (d == u'.') {
            tok_.is_double = 1;
            tok_.floatcount = 0;
        } else if (d == u'E' || d == u'e') {
            tok_.is_double = 1;
            tok_.floatcount = -1;
        } else if (d >= u'0' && d <= u'9' && tok_.is_double == 1 && tok_.floatcount >= 0) {
            if (++tok_.floatcount > 4) tok_.floatcount = -1;
        }
    }
    pb_.Append(str_ + from, static_cast<int>(j - from));
    tok_.char_offset = j - 1;
    return Step::Consume;
}

// The first character after a number: an integer, a currency (a "." with at
// most four decimals) or a double; the character is examined again.
Step TJsonMachine::EndNumber() {
    const char16_t* buf = pb_.Data();
    const int n = pb_.Position();
    if (tok_.is_double == 0) {
        const int64_t value = LeadingInteger(buf, n);
        if (pathMode_ && thisType_ == stArray) return IndexContextArray(value);
        FinishValue(JV(value));
    } else if (tok_.floatcount >= 0) {
        // Drop the "." and read the digits as units of the fourth decimal.
        const int fc = tok_.floatcount;
        char16_t* w = const_cast<char16_t*>(buf);
        std::memmove(w + n - fc - 1, w + n - fc, fc * sizeof(char16_t));
        pb_.Truncate(n - 1);
        const int64_t units = LeadingInteger(pb_.Data(), pb_.Position());
        FinishValue(JVCurrency(Currency{SaturatingMul(units, kPow10[4 - fc])}));
    } else {
        FinishValue(JV(LeadingDouble(buf, n)));
    }
    return Step::Again;
}

// Unquoted text, which ends where the enclosing level would read on.
Step TJsonMachine::UnquotedText(char16_t c) {
    if (c < 256) {
        bool ends = c == 0;
        if (tok_.depth > 0) {
            const TJsonTokenerState below = tok_.stack[tok_.depth - 1].state;
            if (below == tsArrayAdd) ends = ends || c == u',' || c == u']';
            else if (below == tsObjectValueAdd) ends = ends || c == u',' || c == u'}';
        }
        if (ends) {
            if (strict_) return Fail(teParseString);
            pb_.TrimRight();
            FinishValue(JV(pb_.GetString()));
            return Step::Again;
        }
        if (c == u'\\') {
            lvl_->saved_state = tsIdentifier;
            lvl_->state = tsStringEscape;
            return Step::Consume;
        }
    }
    pb_.Push(c);
    return Step::Consume;
}

Step TJsonMachine::Array(char16_t c) {
    if (c == u']') {
        SkipTo(tsFinish);
        return Step::Consume;
    }
    return Push(tsArrayAdd);
}

Step TJsonMachine::ArrayAdd() {
    lvl_->current->AsArray()->Add(returned_);
    SkipTo(tsArraySep);
    return Step::Again;
}

Step TJsonMachine::ArraySep(char16_t c) {
    if (c == u']') {
        SkipTo(tsFinish);
        return Step::Consume;
    }
    if (c == u',') {
        SkipTo(tsArray);
        return Step::Consume;
    }
    return Fail(teParseArray);
}

Step TJsonMachine::ObjectFieldStart(char16_t c) {
    if (c == u'}') {
        SkipTo(tsFinish);
        return Step::Consume;
    }
    if (c == u'"' || c == u'\'') {
        tok_.quote_char = c;
        pb_.Reset();
        lvl_->state = tsObjectField;
        return Step::Consume;
    }
    if (c < 256 && (strict_ || IsPathDelimiter(c))) return Fail(teParseObjectKeyName);
    pb_.Reset();
    lvl_->state = tsObjectUnquotedField;
    return Step::Again;
}

Step TJsonMachine::ObjectField(char16_t c) {
    if (c == tok_.quote_char) {
        lvl_->field_name = pb_.GetString();
        SkipTo(tsObjectFieldEnd);
        return Step::Consume;
    }
    if (c == u'\\') {
        lvl_->saved_state = tsObjectField;
        lvl_->state = tsStringEscape;
        return Step::Consume;
    }
    if (c == 0) pb_.Push(c);
    else AppendRun(c);
    return Step::Consume;
}

Step TJsonMachine::ObjectUnquotedField(char16_t c) {
    if (c == 0 || c == u':') {
        lvl_->field_name = pb_.GetString();
        SkipTo(tsObjectFieldEnd);
        return Step::Again;
    }
    if (c == u'\\') {
        lvl_->saved_state = tsObjectUnquotedField;
        lvl_->state = tsStringEscape;
        return Step::Consume;
    }
    pb_.Push(c);
    return Step::Consume;
}

Step TJsonMachine::ObjectFieldEnd(char16_t c) {
    if (c != u':') return Fail(teParseObjectKeySep);
    SkipTo(tsObjectValue);
    return Step::Consume;
}

Step TJsonMachine::ObjectValueAdd() {
    lvl_->current->AsObject()->PutMember(lvl_->field_name, returned_);
    lvl_->field_name.clear();
    SkipTo(tsObjectSep);
    return Step::Again;
}

Step TJsonMachine::ObjectSep(char16_t c) {
    if (c == u'}') {
        SkipTo(tsFinish);
        return Step::Consume;
    }
    if (c == u',') {
        SkipTo(tsObjectFieldStart);
        return Step::Consume;
    }
    return Fail(teParseObjectValueSep);
}

// ---------------------------------------------------------------------------
// Path mode
//
// lvl_->in_tree tells whether the level's current value was reached from the
// context value by member and element steps alone (so the context value's
// tree holds it), as opposed to a literal of the path or a callable's result.

// A path component: its name gathers up to a delimiter, which ends it. Its
// value is looked up in `current`, or in the context value when no step has
// been taken at this level yet.
Step TJsonMachine::PathComponent(char16_t c) {
    if (c >= 256 || !IsPathDelimiter(c)) {
        pb_.Push(c);
        return Step::Consume;
    }
    lvl_->gparent = lvl_->parent;
    bool parentInTree = lvl_->in_tree;
    if (lvl_->current) {
        lvl_->parent = lvl_->current;
    } else {
        lvl_->parent = This_;
        parentInTree = true;
    }
    switch (lvl_->parent->DataType()) {
        case stObject: return MemberStep(c, parentInTree);
        case stArray:
            return lvl_->obj ? ElementStep(c, parentInTree) : LastElementStep(c, parentInTree);
        case stMethod: return CallStep(c);
        default:
            // Nothing can be looked up in a scalar: the path runs into the
            // end of the text and fails there.
            return Step::Consume;
    }
}

// The component names a member of an object.
Step TJsonMachine::MemberStep(char16_t c, bool parentInTree) {
    TJsonTableString* t = lvl_->parent->AsObject();
    const std::u16string name = pb_.GetString();
    lvl_->in_tree = parentInTree;
    if (c == u'(' || c == u'.' || c == u'[') {
        if (!name.empty()) lvl_->current = t->GetMember(name);
        lvl_->state = c == u'(' ? tsEvalMethod : c == u'.' ? tsEvalProperty : tsEvalArray;
        return Step::Consume;
    }
    if (!name.empty()) lvl_->current = t->GetMember(name);
    if (Storing()) {
        t->PutMember(name, put_);
    } else if (Deleting()) {
        lvl_->current = t->Delete(name);
        lvl_->in_tree = false;
        lvl_->state = tsFinish;
        return Step::Again;
    } else if (!lvl_->current && (options_ & foCreatePath)) {
        t->PutMember(name, JV(dt_));
    }
    lvl_->current = t->GetMember(name);
    lvl_->state = tsFinish;
    return Step::Again;
}

// The component follows an index expression: element i of an array.
Step TJsonMachine::ElementStep(char16_t c, bool parentInTree) {
    TJsonArray* a = lvl_->parent->AsArray();
    if (!ValueHasType(lvl_->obj, stInt) || lvl_->obj->AsInteger() < 0) {
        lvl_->obj = nullptr;
        return Fail(teEvalInt);
    }
    const int64_t i = lvl_->obj->AsInteger();
    lvl_->obj = nullptr;
    lvl_->current = a->GetItem(i);
    lvl_->in_tree = parentInTree;
    switch (c) {
        case u'(':
            lvl_->state = tsEvalMethod;
            return Step::Consume;
        case u'.':
        case u'[':
            // A missing container on the way is created in slot i.
            if (!lvl_->current) {
                if (!(options_ & foCreatePath)) return Fail(c == u'.' ? teEvalObject : teEvalArray);
                IJsonValue made = JV(c == u'.' ? stObject : stArray);
                if (!a->PutItem(i, made)) return Fail(teEvalArray);
                lvl_->current = made;
            }
            if (c == u'[') lvl_->state = tsEvalArray;
            return Step::Consume;
        default:
            break;
    }
    if (Storing()) {
        if (!a->PutItem(i, put_)) return Fail(teEvalArray);
        lvl_->current = put_;
    } else if (Deleting()) {
        lvl_->current = a->Delete(i);
        lvl_->in_tree = false;
    }
    lvl_->state = tsFinish;
    return Step::Again;
}

// Empty brackets: the last element, or a new one appended when storing.
Step TJsonMachine::LastElementStep(char16_t c, bool parentInTree) {
    TJsonArray* a = lvl_->parent->AsArray();
    IJsonValue last = a->GetItem(int64_t(a->Length()) - 1);
    lvl_->in_tree = parentInTree;
    if (c == u'.' || c == u'[') {
        if (options_ & foPutValue) {
            lvl_->current = JV(c == u'.' ? stObject : stArray);
            a->Add(lvl_->current);
        } else {
            // An empty array has no last element to go on from.
            if (!last) return Fail(c == u'.' ? teEvalObject : teEvalArray);
            lvl_->current = last;
        }
        if (c == u'[') lvl_->state = tsEvalArray;
        return Step::Consume;
    }
    if (c == u'(') {
        lvl_->current = (options_ & foPutValue) ? nullptr : last;
        lvl_->state = tsEvalMethod;
        return Step::Consume;
    }
    if (Storing()) {
        a->Add(put_);
        lvl_->current = put_;
    } else {
        // A name applied to an array finds nothing.
        lvl_->current = pb_.Position() == 0 ? last : nullptr;
    }
    lvl_->state = tsFinish;
    return Step::Again;
}

// The component applies to a callable: it is called with the arguments
// gathered in `obj`.
Step TJsonMachine::CallStep(char16_t c) {
    const bool goesOn = c == u'(' || c == u'.' || c == u'[';
    if (!goesOn && (options_ & foPutValue) && count_ <= 0) return Fail(teEvalMethod);
    IJsonValue callable = lvl_->parent;
    lvl_->current = nullptr;
    CallMethod(callable, lvl_->gparent, lvl_->obj, lvl_->current);
    lvl_->obj = nullptr;
    lvl_->in_tree = false;
    if (!goesOn) {
        lvl_->state = tsFinish;
        return Step::Again;
    }
    // A call that gave nothing has nothing to go on from.
    if (c == u'.' && !lvl_->current) return Fail(teEvalObject);
    if (c == u'(') lvl_->state = tsEvalMethod;
    else if (c == u'[') lvl_->state = tsEvalArray;
    return Step::Consume;
}

// An integer token while the context value is an array indexes it.
Step TJsonMachine::IndexContextArray(int64_t n) {
    TJsonArray* a = This_->AsArray();
    if (Storing()) {
        if (!a->PutItem(n, put_)) return Fail(teEvalArray);
        lvl_->current = put_;
    } else if (Deleting()) {
        lvl_->current = a->Delete(n);
    } else {
        lvl_->current = a->GetItem(n);
        lvl_->in_tree = true;
    }
    FinishValue(lvl_->current);
    return Step::Again;
}

// After "." behind a member: the member must be an object (created when
// missing and the path creates).
Step TJsonMachine::EvalProperty() {
    if (!lvl_->current && (options_ & foCreatePath) && ValueHasType(lvl_->parent, stObject)) {
        lvl_->current = JV(stObject);
        lvl_->parent->AsObject()->PutMember(pb_.GetString(), lvl_->current);
    } else if (!ValueHasType(lvl_->current, stObject)) {
        return Fail(teEvalObject);
    }
    pb_.Reset();
    lvl_->state = tsIdentifier;
    return Step::Again;
}

// After "[" behind a member: the member must be an array (created when
// missing and the path creates); the index expression follows.
Step TJsonMachine::EvalArray() {
    if (!lvl_->current && (options_ & foCreatePath) && ValueHasType(lvl_->parent, stObject)) {
        lvl_->current = JV(stArray);
        lvl_->parent->AsObject()->PutMember(pb_.GetString(), lvl_->current);
    } else if (!ValueHasType(lvl_->current, stArray)) {
        return Fail(teEvalArray);
    }
    pb_.Reset();
    lvl_->state = tsParamValue;
    return Step::Again;
}

Step TJsonMachine::ParamValue(char16_t c) {
    if (c == u']') {
        lvl_->state = tsIdentifier;
        return Step::Consume;
    }
    ++count_;
    return Push(tsParamPut);
}

// The index expression was read at the level above: its value goes to `obj`.
Step TJsonMachine::ParamPut(char16_t c) {
    --count_;
    lvl_->obj = returned_;
    pb_.Reset();
    SkipTo(tsIdentifier);
    if (c != u']') return Fail(teEvalArray);
    return Step::Consume;
}

Step TJsonMachine::EvalMethod() {
    if (!ValueHasType(lvl_->current, stMethod) || !lvl_->current->AsMethod()) return Fail(teEvalMethod);
    pb_.Reset();
    lvl_->obj = JV(stArray);
    lvl_->state = tsMethodValue;
    return Step::Again;
}

Step TJsonMachine::MethodValue(char16_t c) {
    if (c == u')') {
        lvl_->state = tsIdentifier;
        return Step::Consume;
    }
    ++count_;
    return Push(tsMethodPut);
}

// One argument was read at the level above; a single argument is passed as
// itself, several as the array of them.
Step TJsonMachine::MethodPut(char16_t c) {
    TJsonArray* args = lvl_->obj->AsArray();
    args->Add(returned_);
    if (c != u')' && c != u',') return Fail(teEvalMethod);
    // Each argument is one open expression until the list closes.
    --count_;
    pb_.Reset();
    if (c == u',') {
        SkipTo(tsMethodValue);
        return Step::Consume;
    }
    if (args->Length() == 1) lvl_->obj = args->GetItem(0);
    SkipTo(tsIdentifier);
    return Step::Consume;
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
    s.in_tree = false;
}

void TJsonTokenizer::Reset() {
    for (int i = depth; i >= 0; --i) ResetLevel(i);
    depth = 0;
    err = teSuccess;
}

IJsonValue TJsonValue::ParseEx(TJsonTokenizer& tok, const char16_t* str, int64_t len, bool strict,
                               const IJsonValue& This, TJsonFindOptions options,
                               const IJsonValue& put, TJsonType dt) {
    return TJsonMachine(tok, strict, This, options, put, dt).Run(str, len);
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
    unsigned char bytes[2048];
    char16_t units[1024];
    try {
        const int64_t start = stream.GetPosition();
        const bool utf16 = stream.Read(bytes, 2) == 2 && bytes[0] == 0xFF && bytes[1] == 0xFE;
        if (!utf16) stream.Seek(start, platform::soBeginning);
        auto readChunk = [&]() -> int {
            if (utf16) {
                const int k = static_cast<int>(stream.Read(bytes, 2048) / 2);
                for (int i = 0; i < k; ++i) units[i] = char16_t(bytes[2 * i] | (bytes[2 * i + 1] << 8));
                return k;
            }
            const int64_t n = stream.Read(bytes, 1024);
            for (int64_t i = 0; i < n; ++i) units[i] = bytes[i];
            return static_cast<int>(n);
        };
        for (int k = readChunk(); k > 0; k = readChunk()) {
            ParseEx(tok, units, k, strict, This, options, put, dt);
            if (tok.err != teContinue) break;
        }
    } catch (const platform::EStreamError&) {
        return nullptr;  // a stream that cannot be read holds no value
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
    // The array is handed out without a handle, so only one that this
    // value's tree holds may be given: one reached by member and element
    // steps, not one the path made (a literal such as [1,2]) or a callable
    // returned, which no one holds once the path is evaluated.
    TJsonTokenizer tok;
    IJsonValue v = ParseEx(tok, path.c_str(), -1, false, IJsonValue(this));
    if (!v || !tok.stack[tok.depth].in_tree) return nullptr;
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
