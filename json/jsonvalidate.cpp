// Validation of a value against a rule document (the rule words are described
// at TJsonValue::Validate).
#include <vector>

#include "json/jsonvalue.h"

namespace json {

namespace {

struct Validator {
    IJsonValue defs;
    const TJsonOnValidateError& callback;
    void* sender;
    bool ok = true;

    void Report(TJsonValidateError e, const std::u16string& path) {
        ok = false;
        if (callback) callback(sender, e, path);
    }

    // The named definition, or nil.
    IJsonValue Definition(const std::u16string& name) {
        auto matches = [&](const IJsonValue& r) {
            return ValueHasType(r, stObject) && ValueHasType(r->AsObject()->GetMember(u"name"), stString) &&
                   r->AsObject()->GetMember(u"name")->AsString() == name;
        };
        if (ValueHasType(defs, stArray)) {
            TJsonArray* a = defs->AsArray();
            for (int i = 0; i < a->Length(); ++i)
                if (matches(a->GetItem(i))) return a->GetItem(i);
        } else if (ValueHasType(defs, stObject)) {
            if (matches(defs)) return defs;
            IJsonValue r = defs->AsObject()->GetMember(name);
            if (ValueHasType(r, stObject)) return r;
        }
        return nullptr;
    }

    // The rule with its inherited words filled in; nil when malformed.
    IJsonValue Resolve(const IJsonValue& rule, const std::u16string& path, int hops = 0) {
        if (!ValueHasType(rule, stObject)) {
            Report(veRuleMalformated, path);
            return nullptr;
        }
        IJsonValue inherit = rule->AsObject()->GetMember(u"inherit");
        if (!inherit) return rule;
        if (!ValueHasType(inherit, stString) || hops > 32) {
            Report(veRuleMalformated, path);
            return nullptr;
        }
        IJsonValue base = Definition(inherit->AsString());
        if (!base) {
            Report(veFieldNotFound, path);
            return nullptr;
        }
        base = Resolve(base, path, hops + 1);
        if (!base) return nullptr;
        IJsonValue merged = base->Clone();
        merged->AsObject()->Delete(u"inherit");
        TJsonValueIter it;
        for (bool more = MembersFirst(rule, it); more; more = MembersNext(it))
            if (it.key != u"inherit") merged->AsObject()->PutMember(it.key, it.val);
        MembersClose(it);
        return merged;
    }

    static bool TypeMatches(const std::u16string& type, TJsonType t, bool& known) {
        known = true;
        if (type == u"str") return t == stString;
        if (type == u"int") return t == stInt;
        if (type == u"float") return t == stDouble || t == stCurrency;
        if (type == u"number") return t == stInt || t == stDouble || t == stCurrency;
        if (type == u"text") return t == stString || t == stInt || t == stDouble || t == stCurrency;
        if (type == u"bool") return t == stBoolean;
        if (type == u"map") return t == stObject;
        if (type == u"seq") return t == stArray;
        if (type == u"scalar") return t != stObject && t != stArray && t != stMethod;
        if (type == u"any") return true;
        known = false;
        return false;
    }

    // Checks `measure` against {"min","max","minex","maxex"}; false when the
    // bounds object is malformed.
    bool InBounds(const IJsonValue& bounds, const IJsonValue& measure, bool& inside) {
        inside = true;
        if (!ValueHasType(bounds, stObject)) return false;
        TJsonValueIter it;
        bool wellFormed = true;
        for (bool more = MembersFirst(bounds, it); more; more = MembersNext(it)) {
            TJsonCompareResult c = measure->Compare(it.val);
            if (c == cpError) {
                wellFormed = false;
                continue;
            }
            if (it.key == u"min") inside &= c != cpLess;
            else if (it.key == u"max") inside &= c != cpGreat;
            else if (it.key == u"minex") inside &= c == cpGreat;
            else if (it.key == u"maxex") inside &= c == cpLess;
            else wellFormed = false;
        }
        MembersClose(it);
        return wellFormed;
    }

    void Check(const IJsonValue& value, const IJsonValue& ruleIn, const std::u16string& path) {
        IJsonValue rule = Resolve(ruleIn, path);
        if (!rule) return;
        TJsonTableString* r = rule->AsObject();
        static const char16_t* const kWords[] = {u"type", u"name", u"required", u"unique",
                                                 u"enum", u"length", u"range", u"mapping",
                                                 u"sequence", u"inherit"};
        TJsonValueIter it;
        for (bool more = MembersFirst(rule, it); more; more = MembersNext(it)) {
            bool known = false;
            for (const char16_t* w : kWords) known |= it.key == w;
            if (!known) {
                MembersClose(it);
                Report(veRuleMalformated, path);
                return;
            }
        }
        MembersClose(it);

        const bool present = value && value->DataType() != stNull;
        IJsonValue required = r->GetMember(u"required");
        if (required && !ValueHasType(required, stBoolean)) return Report(veRuleMalformated, path);
        if (!present) {
            if (required && required->AsBoolean()) Report(veFieldIsRequired, path);
            return;
        }

        IJsonValue type = r->GetMember(u"type");
        std::u16string typeName = u"any";
        if (type) {
            if (!ValueHasType(type, stString)) return Report(veRuleMalformated, path);
            typeName = type->AsString();
        }
        bool knownType;
        bool typeOk = TypeMatches(typeName, value->DataType(), knownType);
        if (!knownType) return Report(veRuleMalformated, path);
        if (!typeOk) return Report(veInvalidDataType, path);

        if (IJsonValue e = r->GetMember(u"enum")) {
            if (!ValueHasType(e, stArray)) return Report(veRuleMalformated, path);
            bool found = false;
            for (int i = 0; i < e->AsArray()->Length() && !found; ++i)
                found = value->Compare(e->AsArray()->GetItem(i)) == cpEqu;
            if (!found) Report(veValueNotInEnum, path);
        }

        if (IJsonValue bounds = r->GetMember(u"length")) {
            int64_t n = -1;
            if (value->IsType(stString)) n = static_cast<int64_t>(value->AsString().size());
            else if (value->IsType(stArray)) n = value->AsArray()->Length();
            else if (value->IsType(stObject)) n = value->AsObject()->count();
            if (n >= 0) {
                bool inside;
                if (!InBounds(bounds, JV(n), inside)) return Report(veRuleMalformated, path);
                if (!inside) Report(veInvalidLength, path);
            }
        }

        if (IJsonValue bounds = r->GetMember(u"range")) {
            bool inside;
            if (!InBounds(bounds, value, inside)) return Report(veRuleMalformated, path);
            if (!inside) Report(veInvalidRange, path);
        }

        if (IJsonValue mapping = r->GetMember(u"mapping")) {
            if (!ValueHasType(mapping, stObject)) return Report(veRuleMalformated, path);
            if (value->IsType(stObject)) {
                TJsonTableString* members = value->AsObject();
                TJsonValueIter m;
                for (bool more = MembersFirst(mapping, m); more; more = MembersNext(m))
                    Check(members->GetMember(m.key), m.val, Join(path, m.key));
                MembersClose(m);
                for (bool more = MembersFirst(value, m); more; more = MembersNext(m))
                    if (!mapping->AsObject()->FindEntry(m.key, stEQual))
                        Report(veUnexpectedField, Join(path, m.key));
                MembersClose(m);
            }
        }

        if (IJsonValue sequence = r->GetMember(u"sequence")) {
            if (!ValueHasType(sequence, stArray) || sequence->AsArray()->Length() != 1)
                return Report(veRuleMalformated, path);
            if (value->IsType(stArray)) {
                IJsonValue itemRule = sequence->AsArray()->GetItem(0);
                IJsonValue resolved = Resolve(itemRule, path);
                if (!resolved) return;
                IJsonValue unique = resolved->AsObject()->GetMember(u"unique");
                TJsonArray* a = value->AsArray();
                for (int i = 0; i < a->Length(); ++i) {
                    std::u16string itemPath = path + u"[" + IntToText(i) + u"]";
                    Check(a->GetItem(i), resolved, itemPath);
                    if (unique && unique->AsBoolean() && a->GetItem(i)) {
                        for (int j = 0; j < i; ++j) {
                            if (a->GetItem(j) && a->GetItem(i)->Compare(a->GetItem(j)) == cpEqu) {
                                Report(veDuplicateEntry, itemPath);
                                break;
                            }
                        }
                    }
                }
            }
        }
    }

    static std::u16string Join(const std::u16string& path, const std::u16string& name) {
        return path.empty() ? name : path + u"." + name;
    }
};

}  // namespace

bool TJsonValue::Validate(const IJsonValue& rules, const IJsonValue& defs,
                          TJsonOnValidateError callback, void* sender) {
    Validator v{defs, callback, sender};
    v.Check(IJsonValue(this), rules, u"");
    return v.ok;
}

bool TJsonValue::Validate(const std::u16string& rules, const std::u16string& defs,
                          TJsonOnValidateError callback, void* sender) {
    return Validate(ParseJsonText(rules), defs.empty() ? nullptr : ParseJsonText(defs), callback,
                    sender);
}

}  // namespace json
