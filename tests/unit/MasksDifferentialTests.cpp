// Checks the compiled matcher against a deliberately naive one: a memoised
// recursive interpreter that reads the mask text directly, with its own
// validation, on masks and names from a fixed-seed generator.
#include "engine/Masks.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <cstdio>
#include <random>
#include <string>
#include <vector>

namespace {

// ---------------------------------------------------------------- reference

namespace ref {

bool IsHigh(wchar_t c) { return c >= 0xD800 && c <= 0xDBFF; }
bool IsLow(wchar_t c) { return c >= 0xDC00 && c <= 0xDFFF; }
bool IsSurrogate(wchar_t c) { return IsHigh(c) || IsLow(c); }
bool PairAt(const std::wstring& s, std::size_t i) { return i + 1 < s.size() && IsHigh(s[i]) && IsLow(s[i + 1]); }
long Fold(wchar_t c) { return (c >= L'a' && c <= L'z') ? c - 32 : static_cast<long>(c); }

struct Set {
    bool negate = false;
    std::vector<std::pair<long, long>> ranges;
    std::size_t end = 0;  // index just past the closing ']'

    bool Accepts(wchar_t c) const {
        if (IsSurrogate(c)) return false;
        bool in = false;
        for (const auto& r : ranges) in = in || (Fold(c) >= r.first && Fold(c) <= r.second);
        return in != negate;
    }
};

// Reads the set whose '[' is at `at`; returns the 1-based error position, or 0.
int ReadSet(const std::wstring& m, std::size_t at, Set& set) {
    const std::size_t n = m.size();
    std::size_t i = at + 1;
    if (i < n && m[i] == L'!') {
        set.negate = true;
        ++i;
    }
    // One "character" of the set: a unit, or a pair which counts but is not single-byte.
    auto take = [&](std::size_t& k, long& value) {
        const bool single = !PairAt(m, k) && !IsSurrogate(m[k]);
        value = Fold(m[k]);
        k += PairAt(m, k) ? 2 : 1;
        return single;
    };
    for (bool first = true;; first = false) {
        if (i >= n) return static_cast<int>(n) + 1;
        if (m[i] == L']') {
            if (first) return static_cast<int>(i) + 1;
            set.end = i + 1;
            return 0;
        }
        if (first && m[i] == L'-') return static_cast<int>(i) + 1;
        long lo = 0;
        const bool loOk = take(i, lo);
        if (i < n && m[i] == L'-') {
            ++i;
            if (i >= n) return static_cast<int>(n) + 1;
            long hi = 0;
            const bool hiOk = take(i, hi);
            if (loOk && hiOk && lo <= hi) set.ranges.emplace_back(lo, hi);
        } else if (loOk) {
            set.ranges.emplace_back(lo, lo);
        }
    }
}

// 1-based error position, or 0 for a good mask.
int Validate(const std::wstring& m) {
    int segments = 0;
    std::size_t i = 0;
    while (i < m.size()) {
        const std::size_t start = i;
        std::size_t last;
        if (m[i] == L'*' || m[i] == L'?') {
            ++i;
            continue;
        }
        if (m[i] == L'[') {
            Set set;
            if (int err = ReadSet(m, i, set)) return err;
            i = set.end;
        } else {
            i += PairAt(m, i) ? 2 : 1;
        }
        last = i - 1;
        // The element opens a star segment when the wildcard run just before it holds a '*'.
        bool afterStar = false;
        for (std::size_t k = start; k > 0 && (m[k - 1] == L'*' || m[k - 1] == L'?'); --k)
            afterStar = afterStar || m[k - 1] == L'*';
        if (afterStar && ++segments > 30) return static_cast<int>(last) + 1;
    }
    return 0;
}

class Matcher {
public:
    Matcher(const std::wstring& mask, const std::wstring& name)
        : m(mask), s(name), memo((mask.size() + 1) * (name.size() + 1), -1) {}

    bool Run() { return At(0, 0); }

private:
    bool At(std::size_t mi, std::size_t ni) {
        signed char& slot = memo[mi * (s.size() + 1) + ni];
        if (slot < 0) slot = Compute(mi, ni) ? 1 : 0;
        return slot == 1;
    }

    bool Compute(std::size_t mi, std::size_t ni) {
        const std::size_t n = s.size();
        if (mi == m.size()) return ni == n;
        const wchar_t c = m[mi];
        if (c == L'*') {
            std::size_t next = mi;
            while (next < m.size() && (m[next] == L'*' || m[next] == L'?')) ++next;
            for (std::size_t k = ni; k <= n; ++k)
                if (At(next, k)) return true;
            return false;
        }
        if (c == L'?') return ni < n && At(mi + 1, ni + 1);
        if (c == L'[') {
            Set set;
            ReadSet(m, mi, set);
            return ni < n && set.Accepts(s[ni]) && At(set.end, ni + 1);
        }
        if (PairAt(m, mi)) return ni + 1 < n && s[ni] == m[mi] && s[ni + 1] == m[mi + 1] && At(mi + 2, ni + 2);
        return ni < n && Fold(s[ni]) == Fold(c) && At(mi + 1, ni + 1);
    }

    const std::wstring& m;
    const std::wstring& s;
    std::vector<signed char> memo;
};

// The mask as written, against the whole name.
bool MatchesWhole(const std::wstring& mask, const std::wstring& name) { return Matcher(mask, name).Run(); }

// "*\\" and a part without a backslash: the part against the text after the last backslash.
bool Matches(const std::wstring& mask, const std::wstring& name) {
    if (mask.size() < 2 || mask[0] != L'*' || mask[1] != L'\\' || mask.find(L'\\', 2) != std::wstring::npos)
        return MatchesWhole(mask, name);
    const std::size_t slash = name.rfind(L'\\');
    return slash != std::wstring::npos && MatchesWhole(mask.substr(2), name.substr(slash + 1));
}

}  // namespace ref

// ---------------------------------------------------------------- generator

class Generator {
public:
    explicit Generator(std::uint32_t seed) : rng(seed) {}

    unsigned Below(unsigned n) { return static_cast<unsigned>(rng() % n); }
    bool Chance(unsigned percent) { return Below(100) < percent; }

    // A unit or pair that may appear in names and as a literal in masks.
    std::wstring Char() {
        static const wchar_t* const plain = L"aAbBcCqQxXzZ09\\.:~$-!]_`{@";
        const unsigned r = Below(100);
        if (r < 70) return std::wstring(1, plain[Below(26)]);
        if (r < 80) return Below(2) ? L"\u4E2D" : L"\u6587";
        if (r < 84) return L"\u00E9";
        if (r < 96) return Pair();
        return std::wstring(1, Below(2) ? wchar_t(0xD83D) : wchar_t(0xDE00));  // a lone half
    }

    std::wstring Pair() {
        switch (Below(3)) {
        case 0: return L"\xD83D\xDE00";
        case 1: return L"\xD83D\xDE01";
        default: return L"\xD840\xDC00";
        }
    }

    // A set, sometimes malformed, and a unit that it may accept.
    std::wstring Set(std::wstring& sample) {
        static const wchar_t* const members = L"aBcxZ09.-!*?]\\\u4E2D\u6587\u00E9\u5000";
        std::wstring text = L"[";
        if (Chance(30)) text += L'!';
        if (Chance(5)) text += L'-';
        const unsigned count = Chance(6) ? 0 : 1 + Below(3);
        sample = std::wstring(1, L"abcxyzABC09.-\u4E2D\u5000\u00E9"[Below(16)]);
        for (unsigned k = 0; k < count; ++k) {
            std::wstring member = Chance(10) ? Pair() : std::wstring(1, members[Below(18)]);
            if (member == L"]" && Chance(70)) member = L"a";  // keep most sets closed
            text += member;
            if (Chance(35)) {
                text += L'-';
                text += Chance(10) ? Pair() : std::wstring(1, members[Below(18)]);
            }
            if (Chance(50)) sample = member;
        }
        if (!Chance(5)) text += L']';
        return text;
    }

    struct Case {
        std::wstring mask;
        std::vector<std::wstring> names;
    };

    Case Next() {
        Case c;
        std::wstring witness;
        const bool starHeavy = Chance(3);
        const unsigned tokens = starHeavy ? 27 + Below(8) : Below(9);
        for (unsigned k = 0; k < tokens; ++k) {
            if (starHeavy) {
                c.mask += L'*';
                if (Chance(20)) c.mask += L'?';
                witness += Noise(2);
            }
            const unsigned r = Below(100);
            if (starHeavy || r < 45) {
                std::wstring ch = Char();
                c.mask += ch;
                witness += Chance(20) ? SwapCase(ch) : ch;
            } else if (r < 65) {
                c.mask += L'*';
                witness += Noise(4);
            } else if (r < 80) {
                c.mask += L'?';
                witness += Chance(85) ? Char() : L"";
            } else {
                std::wstring sample;
                c.mask += Set(sample);
                witness += sample;
            }
        }
        std::wstring folderSplit;  // for a file-name mask: the witness with a folder boundary inside it
        if (Chance(12)) {
            c.mask = L"*\\" + c.mask;
            folderSplit = witness;
            folderSplit.insert(Below(static_cast<unsigned>(witness.size()) + 1), L"\\");
            folderSplit = Noise(3) + L"\\" + folderSplit;
            witness = Noise(3) + L"\\" + witness;
        }
        c.names.push_back(witness);
        c.names.push_back(Mutate(witness));
        c.names.push_back(folderSplit.empty() ? Mutate(Mutate(witness)) : folderSplit);
        c.names.push_back(Noise(8));
        c.names.push_back(L"");
        return c;
    }

    std::wstring Noise(unsigned maxLength) {
        std::wstring s;
        for (unsigned k = Below(maxLength + 1); k > 0; --k) s += Char();
        return s;
    }

    // Comma-text items built from the characters that need quoting.
    std::wstring ListItem() {
        static const wchar_t* const parts[] = {L"a", L"B", L" ", L"\t", L"\"", L",", L"\x7F", L"*", L"\u4E2D", L"\r\n"};
        std::wstring s;
        for (unsigned k = Below(5); k > 0; --k) s += parts[Below(10)];
        if (Chance(3)) s += L'\0';
        return s;
    }

private:
    static std::wstring SwapCase(std::wstring s) {
        for (wchar_t& c : s) {
            if (c >= L'a' && c <= L'z') c = static_cast<wchar_t>(c - 32);
            else if (c >= L'A' && c <= L'Z') c = static_cast<wchar_t>(c + 32);
        }
        return s;
    }

    std::wstring Mutate(std::wstring s) {
        const unsigned r = Below(3);
        if (s.empty() || r == 0) return s.insert(s.empty() ? 0 : Below(static_cast<unsigned>(s.size()) + 1), Char());
        const std::size_t at = Below(static_cast<unsigned>(s.size()));
        if (r == 1) return s.erase(at, 1);
        s[at] = Char()[0];
        return s;
    }

    std::mt19937 rng;
};

int ErrorPosition(const std::wstring& mask) {
    try {
        TMask m(mask);
    } catch (const EMaskException& e) {
        const std::wstring& text = e.Message();
        return std::stoi(text.substr(text.rfind(L'(') + 1));
    }
    return 0;
}

std::string Show(const std::wstring& s) {
    std::string out;
    for (wchar_t c : s) {
        if (c >= 0x20 && c < 0x7F) {
            out += static_cast<char>(c);
        } else {
            char buf[16];
            std::snprintf(buf, sizeof buf, "\\x%04X", static_cast<unsigned>(c));
            out += buf;
        }
    }
    return out;
}

// -1 for a raised mask error, otherwise 0 or 1.
int ReferenceAny(const std::vector<std::wstring>& masks, const std::wstring& name) {
    for (const std::wstring& mask : masks) {
        if (ref::Validate(mask) != 0) return -1;
        if (ref::Matches(mask, name)) return 1;
    }
    return 0;
}

template <class F>
int Outcome(F f) {
    try {
        return f() ? 1 : 0;
    } catch (const EMaskException&) {
        return -1;
    }
}

}  // namespace

TEST(MaskDifferential, CompiledMatcherAgreesWithReference) {
    Generator gen(20240607u);
    int malformed = 0, matched = 0, compared = 0, narrowed = 0;
    for (int round = 0; round < 30000; ++round) {
        const Generator::Case c = gen.Next();
        const int expectedError = ref::Validate(c.mask);
        ASSERT_EQ(ErrorPosition(c.mask), expectedError) << "mask " << Show(c.mask);
        if (expectedError != 0) {
            ++malformed;
            continue;
        }
        const TMask mask(c.mask);
        for (const std::wstring& name : c.names) {
            const bool expected = ref::Matches(c.mask, name);
            ASSERT_EQ(mask.Matches(name), expected) << "mask " << Show(c.mask) << " name " << Show(name);
            matched += expected;
            ++compared;
            // Names the whole-path reading of a "*\\" mask took and the file-name reading does not.
            narrowed += ref::MatchesWhole(c.mask, name) && !expected;
        }
    }
    // Guard the generator itself: both answers and both kinds of mask must be well represented.
    EXPECT_GT(malformed, 2000);
    EXPECT_GT(matched, compared / 5);
    EXPECT_LT(matched, compared * 4 / 5);
    EXPECT_GT(narrowed, 100);
}

TEST(MaskDifferential, ListsAgreeWithEachOtherAndWithReference) {
    Generator gen(77u);
    std::vector<Generator::Case> pool;
    for (int k = 0; k < 400; ++k) pool.push_back(gen.Next());

    int raised = 0, hits = 0;
    for (int round = 0; round < 3000; ++round) {
        std::vector<std::wstring> masks;
        for (unsigned k = gen.Below(5); k > 0; --k) {
            std::wstring mask = pool[gen.Below(400)].mask;
            if (gen.Chance(10)) mask += L" X";  // forces quoting in the list text
            masks.push_back(mask);
        }
        const std::wstring text = CommaTextFromList(masks);
        const TCompiledMaskList compiled(text);
        EXPECT_EQ(compiled.Empty(), masks.empty());
        for (int t = 0; t < 4; ++t) {
            const std::wstring& name = pool[gen.Below(400)].names[gen.Below(5)];
            const int viaText = Outcome([&] { return MatchesAnyMask(name, text); });
            const int viaCompiled = Outcome([&] { return compiled.MatchesAny(name); });
            ASSERT_EQ(viaText, viaCompiled) << "list " << Show(text) << " name " << Show(name);
            ASSERT_EQ(viaText, ReferenceAny(masks, name)) << "list " << Show(text) << " name " << Show(name);
            raised += viaText < 0;
            hits += viaText > 0;
        }
    }
    EXPECT_GT(raised, 200);
    EXPECT_GT(hits, 200);
}

TEST(MaskDifferential, CommaTextRoundTrips) {
    Generator gen(5u);
    for (int round = 0; round < 3000; ++round) {
        std::vector<std::wstring> items;
        for (unsigned k = gen.Below(6); k > 0; --k) items.push_back(gen.ListItem());
        const std::wstring text = CommaTextFromList(items);
        ASSERT_EQ(ListFromCommaText(text), items) << Show(text);
    }
}
