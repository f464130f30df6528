// The member table of object values: an AVL tree ordered by descending name
// hash, then ascending name, and its iterator.
#include <vector>

#include "json/jsonpool.h"
#include "json/jsonvalue.h"
#include "json/jsonwalk.h"

namespace json {

namespace {

// Fixes a node whose FLt side is two levels higher. `shorter` tells whether
// the subtree is now one level lower than before the fix.
TJsonAvlEntry* FixLtHeavy(TJsonAvlEntry* n, bool& shorter);
TJsonAvlEntry* FixGtHeavy(TJsonAvlEntry* n, bool& shorter);

}  // namespace

// Access to the links for the tree algorithms below.
struct AvlOps {
    static TJsonAvlEntry*& Lt(TJsonAvlEntry* e) { return e->FLt; }
    static TJsonAvlEntry*& Gt(TJsonAvlEntry* e) { return e->FGt; }
    static int32_t& Bf(TJsonAvlEntry* e) { return e->FBf; }
    static TJsonValue*& Ptr(TJsonAvlEntry* e) { return e->FPtr; }
    static uint32_t HashOf(const TJsonAvlEntry* e) { return e->FHash; }
};

namespace {

TJsonAvlEntry* FixLtHeavy(TJsonAvlEntry* n, bool& shorter) {
    TJsonAvlEntry* l = AvlOps::Lt(n);
    if (AvlOps::Bf(l) <= 0) {
        AvlOps::Lt(n) = AvlOps::Gt(l);
        AvlOps::Gt(l) = n;
        if (AvlOps::Bf(l) == 0) {
            AvlOps::Bf(n) = -1;
            AvlOps::Bf(l) = 1;
            shorter = false;
        } else {
            AvlOps::Bf(n) = 0;
            AvlOps::Bf(l) = 0;
            shorter = true;
        }
        return l;
    }
    TJsonAvlEntry* m = AvlOps::Gt(l);
    AvlOps::Gt(l) = AvlOps::Lt(m);
    AvlOps::Lt(n) = AvlOps::Gt(m);
    AvlOps::Lt(m) = l;
    AvlOps::Gt(m) = n;
    AvlOps::Bf(l) = AvlOps::Bf(m) == 1 ? -1 : 0;
    AvlOps::Bf(n) = AvlOps::Bf(m) == -1 ? 1 : 0;
    AvlOps::Bf(m) = 0;
    shorter = true;
    return m;
}

TJsonAvlEntry* FixGtHeavy(TJsonAvlEntry* n, bool& shorter) {
    TJsonAvlEntry* r = AvlOps::Gt(n);
    if (AvlOps::Bf(r) >= 0) {
        AvlOps::Gt(n) = AvlOps::Lt(r);
        AvlOps::Lt(r) = n;
        if (AvlOps::Bf(r) == 0) {
            AvlOps::Bf(n) = 1;
            AvlOps::Bf(r) = -1;
            shorter = false;
        } else {
            AvlOps::Bf(n) = 0;
            AvlOps::Bf(r) = 0;
            shorter = true;
        }
        return r;
    }
    TJsonAvlEntry* m = AvlOps::Lt(r);
    AvlOps::Lt(r) = AvlOps::Gt(m);
    AvlOps::Gt(n) = AvlOps::Lt(m);
    AvlOps::Gt(m) = r;
    AvlOps::Lt(m) = n;
    AvlOps::Bf(r) = AvlOps::Bf(m) == -1 ? 1 : 0;
    AvlOps::Bf(n) = AvlOps::Bf(m) == 1 ? -1 : 0;
    AvlOps::Bf(m) = 0;
    shorter = true;
    return m;
}

// After the FLt side of n lost a level; returns whether n's subtree did.
bool LtShrank(TJsonAvlEntry*& n) {
    int32_t& bf = AvlOps::Bf(n);
    ++bf;
    if (bf == 1) return false;
    if (bf == 0) return true;
    bool shorter;
    n = FixGtHeavy(n, shorter);
    return shorter;
}

bool GtShrank(TJsonAvlEntry*& n) {
    int32_t& bf = AvlOps::Bf(n);
    --bf;
    if (bf == -1) return false;
    if (bf == 0) return true;
    bool shorter;
    n = FixLtHeavy(n, shorter);
    return shorter;
}

// Unlinks the first entry (in order) of the subtree at n into `first`.
bool RemoveFirst(TJsonAvlEntry*& n, TJsonAvlEntry*& first) {
    if (!AvlOps::Lt(n)) {
        first = n;
        n = AvlOps::Gt(n);
        return true;
    }
    if (!RemoveFirst(AvlOps::Lt(n), first)) return false;
    return LtShrank(n);
}

bool RemoveKey(TJsonAvlEntry*& n, std::u16string_view key, uint32_t hash,
               TJsonAvlEntry*& removed) {
    if (!n) return false;
    int c = TJsonAvlTree::CompareKeyToEntry(key, hash, n);
    if (c < 0) return RemoveKey(AvlOps::Lt(n), key, hash, removed) && LtShrank(n);
    if (c > 0) return RemoveKey(AvlOps::Gt(n), key, hash, removed) && GtShrank(n);
    removed = n;
    if (!AvlOps::Lt(n)) {
        n = AvlOps::Gt(n);
        return true;
    }
    if (!AvlOps::Gt(n)) {
        n = AvlOps::Lt(n);
        return true;
    }
    TJsonAvlEntry* succ;
    bool shorter = RemoveFirst(AvlOps::Gt(n), succ);
    AvlOps::Lt(succ) = AvlOps::Lt(n);
    AvlOps::Gt(succ) = AvlOps::Gt(n);
    AvlOps::Bf(succ) = AvlOps::Bf(n);
    n = succ;
    return shorter && GtShrank(n);
}

}  // namespace

// ---------------------------------------------------------------------------
// Entries

using EntryPool = pool::FixedPool<sizeof(TJsonAvlEntry)>;
void* TJsonAvlEntry::operator new(size_t) { return EntryPool::Alloc(); }
void TJsonAvlEntry::operator delete(void* p) noexcept { EntryPool::Free(p); }

TJsonAvlEntry::TJsonAvlEntry(std::u16string AName, TJsonValue* Obj)
    : FHash(Hash(AName)), FName(std::move(AName)), FPtr(Obj) {}

uint32_t TJsonAvlEntry::Hash(std::u16string_view k) {
    uint32_t h = 0;
    for (char16_t u : k) h = h * 129u + u + 0x9E370001u;
    return h;
}

void TJsonAvlEntry::SetValue(const IJsonValue& v) {
    TJsonValue* n = v.get();
    if (n) n->AddRef();
    TJsonValue* old = FPtr;
    FPtr = n;
    if (old) old->Release();
}

// ---------------------------------------------------------------------------
// Tree

TJsonAvlTree::~TJsonAvlTree() { TJsonAvlTree::Clear(false); }

int TJsonAvlTree::CompareEntries(const TJsonAvlEntry* a, const TJsonAvlEntry* b) {
    return CompareKeyToEntry(a->Name(), AvlOps::HashOf(a), b);
}

int TJsonAvlTree::CompareKeyToEntry(std::u16string_view key, uint32_t keyHash,
                                    const TJsonAvlEntry* e) {
    uint32_t h = AvlOps::HashOf(e);
    if (keyHash != h) return keyHash > h ? -1 : 1;
    return key.compare(e->Name());
}

TJsonAvlEntry* TJsonAvlTree::InsertEntry(TJsonAvlEntry* e) {
    // Walk down recording the path, link the new entry, then fix the balance
    // factors on the way back up until a subtree's height stops changing.
    TJsonAvlEntry** links[80];
    TJsonAvlEntry* nodes[80];
    int dirs[80];
    int depth = 0;
    TJsonAvlEntry** link = &FRoot;
    while (*link) {
        TJsonAvlEntry* n = *link;
        int c = CompareEntries(e, n);
        if (c == 0) {
            std::swap(AvlOps::Ptr(n), AvlOps::Ptr(e));
            ++FCount;
            DisposeEntry(e, false);
            --FCount;
            return n;
        }
        links[depth] = link;
        nodes[depth] = n;
        dirs[depth] = c < 0 ? -1 : 1;
        ++depth;
        link = c < 0 ? &AvlOps::Lt(n) : &AvlOps::Gt(n);
    }
    AvlOps::Lt(e) = AvlOps::Gt(e) = nullptr;
    AvlOps::Bf(e) = 0;
    *link = e;
    ++FCount;
    for (int i = depth - 1; i >= 0; --i) {
        TJsonAvlEntry* n = nodes[i];
        int32_t& bf = AvlOps::Bf(n);
        bf += dirs[i];
        if (bf == 0) break;
        if (bf == 1 || bf == -1) continue;
        bool shorter;
        *links[i] = bf < 0 ? FixLtHeavy(n, shorter) : FixGtHeavy(n, shorter);
        break;
    }
    return e;
}

TJsonAvlEntry* TJsonAvlTree::FindEntry(std::u16string_view key, TJsonAvlSearchTypes st) const {
    uint32_t hash = TJsonAvlEntry::Hash(key);
    TJsonAvlEntry* remembered = nullptr;
    TJsonAvlEntry* n = FRoot;
    while (n) {
        int c = CompareKeyToEntry(key, hash, n);
        if (c == 0) {
            if (st & stEQual) return n;
            if (st & stLess) n = AvlOps::Lt(n);
            else if (st & stGreater) n = AvlOps::Gt(n);
            else return nullptr;
        } else if (c > 0) {
            if (st & stLess) remembered = n;
            n = AvlOps::Gt(n);
        } else {
            if (st & stGreater) remembered = n;
            n = AvlOps::Lt(n);
        }
    }
    return remembered;
}

TJsonAvlEntry* TJsonAvlTree::RemoveEntry(std::u16string_view key) {
    TJsonAvlEntry* removed = nullptr;
    RemoveKey(FRoot, key, TJsonAvlEntry::Hash(key), removed);
    if (removed) {
        --FCount;
        AvlOps::Lt(removed) = AvlOps::Gt(removed) = nullptr;
    }
    return removed;
}

void TJsonAvlTree::DisposeEntry(TJsonAvlEntry* entry, bool) { delete entry; }

void TJsonAvlTree::Clear(bool all) {
    // The tree is emptied first, so a value released below that reaches back
    // into this table finds it empty. The detached tree is taken apart by
    // rotating FLt children up, which needs no stack.
    TJsonAvlEntry* e = FRoot;
    FRoot = nullptr;
    FCount = 0;
    while (e) {
        if (TJsonAvlEntry* l = AvlOps::Lt(e)) {
            AvlOps::Lt(e) = AvlOps::Gt(l);
            AvlOps::Gt(l) = e;
            e = l;
        } else {
            TJsonAvlEntry* next = AvlOps::Gt(e);
            DisposeEntry(e, all);
            e = next;
        }
    }
}

// ---------------------------------------------------------------------------
// Member table

TJsonTableString::~TJsonTableString() { Clear(false); }

void TJsonTableString::DisposeEntry(TJsonAvlEntry* entry, bool all) {
    TJsonValue* v = AvlOps::Ptr(entry);
    AvlOps::Ptr(entry) = nullptr;
    delete entry;
    if (v) {
        if (all) v->Clear(true);
        v->Release();
    }
}

IJsonValue TJsonTableString::GetMember(std::u16string_view name) const {
    TJsonAvlEntry* e = FindEntry(name, stEQual);
    return e ? IJsonValue(e->Ptr()) : nullptr;
}

void TJsonTableString::PutMember(const std::u16string& name, const IJsonValue& value) {
    // The entry holds its reference from the start, so putting the value a
    // member already holds never frees it on the way.
    TJsonValue* v = value.get();
    if (v) v->AddRef();
    InsertEntry(new TJsonAvlEntry(name, v));
}

IJsonValue TJsonTableString::Delete(std::u16string_view k) {
    TJsonAvlEntry* e = RemoveEntry(k);
    if (!e) return nullptr;
    IJsonValue r(e->Ptr());
    if (e->Ptr()) e->Ptr()->Release();
    delete e;
    return r;
}

bool TJsonTableString::Find(std::u16string_view k, IJsonValue& value) const {
    TJsonAvlEntry* e = FindEntry(k, stEQual);
    if (!e) return false;
    value = IJsonValue(e->Ptr());
    return true;
}

IJsonValue TJsonTableString::GetNames() const {
    IJsonValue r = JV(stArray);
    TJsonAvlIterator it(this);
    for (it.First(); it.GetIter(); it.Next()) r->AsArray()->Add(JV(it.GetIter()->Name()));
    return r;
}

IJsonValue TJsonTableString::GetValues() const {
    IJsonValue r = JV(stArray);
    TJsonAvlIterator it(this);
    for (it.First(); it.GetIter(); it.Next()) r->AsArray()->Add(IJsonValue(it.GetIter()->Ptr()));
    return r;
}

void TJsonTableString::Pack(bool all) {
    std::vector<std::u16string> empty;
    TJsonAvlIterator it(this);
    for (it.First(); it.GetIter(); it.Next()) {
        TJsonAvlEntry* e = it.GetIter();
        if (!e->Ptr()) empty.push_back(e->Name());
        else if (all) IJsonValue(e->Ptr())->Pack(true);
    }
    for (const auto& name : empty) {
        TJsonAvlEntry* e = RemoveEntry(name);
        if (e) DisposeEntry(e, false);
    }
}

std::unique_ptr<TJsonAvlIterator> TJsonTableString::GetEnumerator() const {
    return std::make_unique<TJsonAvlIterator>(this);
}

// ---------------------------------------------------------------------------
// Iterator

void TJsonAvlIterator::DescendLt(TJsonAvlEntry* e) {
    while (e && FDepth + 1 < kMaxDepth) {
        FPath[++FDepth] = e;
        e = AvlOps::Lt(e);
    }
}

void TJsonAvlIterator::DescendGt(TJsonAvlEntry* e) {
    while (e && FDepth + 1 < kMaxDepth) {
        FPath[++FDepth] = e;
        e = AvlOps::Gt(e);
    }
}

void TJsonAvlIterator::First() {
    FDepth = -1;
    DescendLt(FTree->Root());
}

void TJsonAvlIterator::Last() {
    FDepth = -1;
    DescendGt(FTree->Root());
}

void TJsonAvlIterator::Next() {
    if (FDepth < 0) return;
    TJsonAvlEntry* cur = FPath[FDepth];
    if (AvlOps::Gt(cur)) {
        DescendLt(AvlOps::Gt(cur));
        return;
    }
    while (FDepth > 0 && AvlOps::Gt(FPath[FDepth - 1]) == FPath[FDepth]) --FDepth;
    --FDepth;
}

void TJsonAvlIterator::Prior() {
    if (FDepth < 0) return;
    TJsonAvlEntry* cur = FPath[FDepth];
    if (AvlOps::Lt(cur)) {
        DescendGt(AvlOps::Lt(cur));
        return;
    }
    while (FDepth > 0 && AvlOps::Lt(FPath[FDepth - 1]) == FPath[FDepth]) --FDepth;
    --FDepth;
}

void TJsonAvlIterator::Search(std::u16string_view k, TJsonAvlSearchTypes st) {
    uint32_t hash = TJsonAvlEntry::Hash(k);
    FDepth = -1;
    int found = -1;
    TJsonAvlEntry* n = FTree->Root();
    while (n && FDepth + 1 < kMaxDepth) {
        FPath[++FDepth] = n;
        int c = TJsonAvlTree::CompareKeyToEntry(k, hash, n);
        if (c == 0) {
            if (st & stEQual) return;
            if (st & stLess) n = AvlOps::Lt(n);
            else if (st & stGreater) n = AvlOps::Gt(n);
            else break;
        } else if (c > 0) {
            if (st & stLess) found = FDepth;
            n = AvlOps::Gt(n);
        } else {
            if (st & stGreater) found = FDepth;
            n = AvlOps::Lt(n);
        }
    }
    FDepth = found;
}

bool TJsonAvlIterator::MoveNext() {
    if (!FStarted) {
        FStarted = true;
        First();
    } else {
        Next();
    }
    return FDepth >= 0;
}

// ---------------------------------------------------------------------------
// Tree walk

void TJsonTreeWalk::Open(TJsonValue* container) {
    frames_.push_back(Frame{container, 0, entries_.size()});
    if (TJsonTableString* t = container->AsObject())
        for (TJsonAvlEntry* e = t->Root(); e; e = AvlOps::Lt(e)) entries_.push_back(e);
}

bool TJsonTreeWalk::Next(Child& child) {
    Frame& f = frames_.back();
    if (TJsonArray* a = f.value->AsArray()) {
        if (f.next >= a->Length()) return false;
        child = Child{nullptr, f.next, a->Slot(f.next)};
        ++f.next;
        return true;
    }
    // In-order step: the entry on top is the next member; the entries
    // before its successor are the FLt path down from its FGt child.
    if (entries_.size() == f.base) return false;
    TJsonAvlEntry* e = entries_.back();
    entries_.pop_back();
    for (TJsonAvlEntry* g = AvlOps::Gt(e); g; g = AvlOps::Lt(g)) entries_.push_back(g);
    child = Child{&e->Name(), -1, e->Ptr()};
    return true;
}

void TJsonTreeWalk::Close() {
    entries_.resize(frames_.back().base);
    frames_.pop_back();
}

}  // namespace json
