#include "unzip/Wildcard.h"

#include <vector>

#include "platform/casefold.h"

namespace unzip {
namespace {

enum class Outcome { Valid, End, Abort, Range, Literal, PatternError };

// One character class: single characters and inclusive ranges, maybe negated.
struct CharSet {
    bool negated = false;
    std::vector<std::pair<char16_t, char16_t>> ranges;
    bool Accepts(char16_t c) const {
        bool member = false;
        for (auto [lo, hi] : ranges)
            if (c >= lo && c <= hi) { member = true; break; }
        return member != negated;
    }
};

// Case is folded the same way under every locale (the window program sets
// one, the tool and the library's other users may not).
std::u16string Lower(const std::u16string& s) { return platform::FoldCase(s); }

Outcome MatchFrom(std::u16string_view P, std::u16string_view T);

// Parses the set of "<...>" starting after the "<"; on success `k` stands
// after the closing ">".
bool ParseSet(std::u16string_view P, size_t& k, CharSet& set) {
    size_t n = P.size();
    if (k >= n) return false;
    if (P[k] == u'!' || P[k] == u'^') {
        set.negated = true;
        if (++k >= n) return false;
    }
    if (P[k] == u'>') return false;
    while (P[k] != u'>') {
        char16_t c = P[k++];
        if (k >= n) return false;
        if (P[k] == u'-') {
            ++k;
            if (k >= n || P[k] == u'>') return false;
            char16_t c2 = P[k++];
            if (c2 >= c) set.ranges.push_back({c, c2});
            else set.ranges.push_back({1, 0});  // an empty range
            if (k >= n) return false;
        } else {
            set.ranges.push_back({c, c});
        }
    }
    ++k;
    return true;
}

// Parses a star set after "*<"; false when it is empty (no closing ">").
bool ParseStarSet(std::u16string_view P, size_t& k, CharSet& set) {
    size_t n = P.size();
    if (k >= n) return false;
    if (P[k] == u'!' || P[k] == u'^') {
        set.negated = true;
        ++k;
    }
    bool any = false;
    while (k < n && P[k] != u'>') {
        char16_t c = P[k];
        if (k + 2 < n && P[k + 1] == u'-') {
            char16_t c2 = P[k + 2];
            if (c2 >= c) set.ranges.push_back({c, c2});
            k += 3;
        } else {
            set.ranges.push_back({c, c});
            ++k;
        }
        any = true;
    }
    if (k >= n || !any) return false;
    ++k;
    return true;
}

Outcome MatchStar(std::u16string_view P, std::u16string_view T, const CharSet* set) {
    size_t i = 0, j = 0;
    while (i < P.size() && (P[i] == u'*' || P[i] == u'?')) {
        if (P[i] == u'?') {
            if (j >= T.size()) return Outcome::Abort;
            ++j;
        }
        ++i;
    }
    if (j > 0 && j >= T.size()) return Outcome::Abort;
    if (!P.empty() && i >= P.size()) return Outcome::Valid;
    Outcome last = Outcome::Abort;
    for (size_t k = j; k < T.size(); ++k) {
        if (i < P.size() && (P[i] == T[k] || P[i] == u'<')) {
            last = MatchFrom(P.substr(i), T.substr(k));
            if (last == Outcome::Valid) return Outcome::Valid;
        }
        if (set && !set->Accepts(T[k])) return Outcome::Abort;
    }
    return i >= P.size() ? Outcome::Valid : last;
}

Outcome MatchFrom(std::u16string_view P, std::u16string_view T) {
    if (P == u"*") return Outcome::Valid;
    size_t i = 0, j = 0;
    while (i < P.size()) {
        if (j >= T.size())
            return (P[i] == u'*' && i + 1 == P.size()) ? Outcome::Valid : Outcome::Abort;
        if (P[i] == u'*') {
            if (i + 1 < P.size() && P[i + 1] == u'<') {
                CharSet set;
                size_t k = i + 2;
                if (!ParseStarSet(P, k, set)) return Outcome::Abort;
                return MatchStar(P.substr(k), T.substr(j), &set);
            }
            return MatchStar(P.substr(i), T.substr(j), nullptr);
        }
        if (P[i] == u'<') {
            CharSet set;
            size_t k = i + 1;
            if (!ParseSet(P, k, set)) return Outcome::PatternError;
            if (!set.Accepts(T[j])) return Outcome::Range;
            i = k;
            ++j;
            continue;
        }
        if (P[i] != u'?' && P[i] != T[j]) return Outcome::Literal;
        ++i;
        ++j;
    }
    return j >= T.size() ? Outcome::Valid : Outcome::End;
}

}  // namespace

bool WildcardMatches(const std::u16string& Pattern, const std::u16string& Text) {
    return MatchFrom(Lower(Pattern), Lower(Text)) == Outcome::Valid;
}

}  // namespace unzip
