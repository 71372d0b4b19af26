#include "engine/Masks.h"

#include <algorithm>
#include <iterator>

namespace {

constexpr std::uint32_t LowTableSize = 256;

bool IsHighSurrogate(wchar_t c) { return c >= 0xD800 && c <= 0xDBFF; }
bool IsLowSurrogate(wchar_t c) { return c >= 0xDC00 && c <= 0xDFFF; }
bool IsSurrogate(wchar_t c) { return c >= 0xD800 && c <= 0xDFFF; }

bool StartsPair(std::wstring_view s, std::size_t i) {
    return i + 1 < s.size() && IsHighSurrogate(s[i]) && IsLowSurrogate(s[i + 1]);
}

wchar_t UpAscii(wchar_t c) { return (c >= L'a' && c <= L'z') ? static_cast<wchar_t>(c - (L'a' - L'A')) : c; }

// What comma text treats as a separator, and therefore must quote.
bool IsBlankOrControl(wchar_t c) { return c <= L' ' || c == 0x7F; }

[[noreturn]] void InvalidMask(const std::wstring& mask, std::size_t position) {
    // Reads "'<mask>' is an invalid mask at (<position>)"; the error box shows it unchanged.
    throw EMaskException(L"'" + mask +
                         L"' \u662F\u4E00\u4E2A\u65E0\u6548\u7684\u8868\u5F81\u7801\u4E8E (" +
                         std::to_wstring(position) + L")");
}

}  // namespace

void TMask::TCharSet::AddRange(std::uint32_t from, std::uint32_t to) {
    if (from > to) return;
    for (std::uint32_t c = from; c <= to && c < LowTableSize; ++c) Low[c >> 6] |= std::uint64_t{1} << (c & 63);
    if (to >= LowTableSize) High.emplace_back(std::max(from, LowTableSize), to);
}

void TMask::TCharSet::Finish() {
    std::sort(High.begin(), High.end());
    std::vector<std::pair<std::uint32_t, std::uint32_t>> merged;
    for (const auto& r : High) {
        if (!merged.empty() && r.first <= merged.back().second + 1)
            merged.back().second = std::max(merged.back().second, r.second);
        else
            merged.push_back(r);
    }
    High = std::move(merged);
}

bool TMask::TCharSet::Contains(std::uint32_t unit) const {
    if (unit < LowTableSize) return (Low[unit >> 6] >> (unit & 63)) & 1;
    auto it = std::upper_bound(High.begin(), High.end(), unit,
                               [](std::uint32_t u, const auto& r) { return u < r.first; });
    return it != High.begin() && unit <= std::prev(it)->second;
}

TMask::TMask(const std::wstring& Mask) {
    const std::wstring_view m(Mask);
    const std::size_t n = m.size();
    bool starPending = false;
    int starSegments = 0;

    // Called with the index of the element's last unit, once the element is known to be well formed.
    auto push = [&](TStep step, std::size_t lastUnit) {
        if (starPending) {
            if (++starSegments > MaxStarSegments) InvalidMask(Mask, lastUnit + 1);
            FSteps.push_back({TStepKind::Star, 0, 0, 0});
            starPending = false;
        }
        FSteps.push_back(step);
    };

    std::size_t i = 0;
    while (i < n) {
        const wchar_t c = m[i];
        if (c == L'*') {
            starPending = true;
            ++i;
        } else if (c == L'?') {
            if (!starPending) FSteps.push_back({TStepKind::AnyUnit, 0, 0, 0});
            ++i;
        } else if (c == L'[') {
            TCharSet set;
            ++i;
            if (i < n && m[i] == L'!') {
                set.Negated = true;
                ++i;
            }
            if (i < n && m[i] == L']') InvalidMask(Mask, i + 1);
            if (i < n && m[i] == L'-') InvalidMask(Mask, i + 1);
            for (;;) {
                if (i >= n) InvalidMask(Mask, n + 1);
                if (m[i] == L']') break;
                // A member is one unit, or a pair that only holds its place.
                const bool fromUsable = !StartsPair(m, i) && !IsSurrogate(m[i]);
                const std::uint32_t from = UpAscii(m[i]);
                i += StartsPair(m, i) ? 2 : 1;
                if (i < n && m[i] == L'-') {
                    ++i;
                    if (i >= n) InvalidMask(Mask, n + 1);
                    const bool toUsable = !StartsPair(m, i) && !IsSurrogate(m[i]);
                    const std::uint32_t to = UpAscii(m[i]);
                    i += StartsPair(m, i) ? 2 : 1;
                    if (fromUsable && toUsable) set.AddRange(from, to);
                } else if (fromUsable) {
                    set.AddRange(from, from);
                }
            }
            set.Finish();
            push({TStepKind::Set, 0, 0, static_cast<std::uint32_t>(FSets.size())}, i);
            FSets.push_back(std::move(set));
            ++i;
        } else if (StartsPair(m, i)) {
            push({TStepKind::Pair, m[i], m[i + 1], 0}, i + 1);
            i += 2;
        } else {
            push({TStepKind::Literal, UpAscii(c), 0, 0}, i);
            ++i;
        }
    }
    if (starPending) FSteps.push_back({TStepKind::Star, 0, 0, 0});
    // Validated and counted as written above, so errors keep their positions.
    if (m.starts_with(L"*\\") && m.find(L'\\', 2) == std::wstring_view::npos) {
        FSteps.erase(FSteps.begin(), FSteps.begin() + 2);  // the star and the backslash
        FFileNameOnly = true;
    }
    FindFixedTail();
}

bool TMask::StepMatches(const TStep& step, std::wstring_view name, std::size_t pos, std::size_t& length) const {
    const std::size_t n = name.size();
    switch (step.Kind) {
    case TStepKind::Literal:
        length = 1;
        return pos < n && UpAscii(name[pos]) == step.First;
    case TStepKind::Pair:
        length = 2;
        return pos + 1 < n && name[pos] == step.First && name[pos + 1] == step.Second;
    case TStepKind::AnyUnit:
        length = 1;
        return pos < n;
    case TStepKind::Set: {
        length = 1;
        if (pos >= n || IsSurrogate(name[pos])) return false;
        const TCharSet& set = FSets[step.Set];
        return set.Contains(static_cast<std::uint32_t>(UpAscii(name[pos]))) != set.Negated;
    }
    case TStepKind::Star:
        break;
    }
    return false;
}

// Every step other than a star covers a fixed number of units, so each segment
// between stars is a fixed-length pattern and its leftmost occurrence is always
// the best choice. That makes "retry from the most recent star, one unit later"
// a complete search, with no stack and no allocation.
// After the last star the mask is a fixed-length pattern that must end the
// name; most paths offered to "*.BAK"-like masks fail there at once.
void TMask::FindFixedTail() {
    FTailStep = FSteps.size();
    FTailLength = 0;
    while (FTailStep > 0 && FSteps[FTailStep - 1].Kind != TStepKind::Star) {
        --FTailStep;
        FTailLength += FSteps[FTailStep].Kind == TStepKind::Pair ? 2 : 1;
    }
    if (FTailStep == 0) FTailStep = FSteps.size();  // no star: the ordinary match is as quick
}

bool TMask::Match(std::wstring_view Name) const {
    if (FFileNameOnly) {
        const std::size_t slash = Name.rfind(L'\\');
        if (slash == std::wstring_view::npos) return false;
        Name.remove_prefix(slash + 1);
    }
    if (FTailStep < FSteps.size()) {
        if (Name.size() < FTailLength) return false;
        std::size_t pos = Name.size() - FTailLength, length = 0;
        for (std::size_t step = FTailStep; step < FSteps.size(); ++step, pos += length)
            if (!StepMatches(FSteps[step], Name, pos, length)) return false;
    }
    const std::size_t m = FSteps.size();
    const std::size_t n = Name.size();
    constexpr std::size_t None = static_cast<std::size_t>(-1);
    std::size_t step = 0;
    std::size_t pos = 0;
    std::size_t resumeStep = None;  // the step after the most recent star
    std::size_t resumePos = 0;      // where that star's run currently ends

    for (;;) {
        if (step < m) {
            if (FSteps[step].Kind == TStepKind::Star) {
                if (step + 1 == m) return true;  // a trailing star takes whatever is left
                resumeStep = ++step;
                resumePos = pos;
                continue;
            }
            std::size_t length = 0;
            if (StepMatches(FSteps[step], Name, pos, length)) {
                pos += length;
                ++step;
                continue;
            }
        } else if (pos == n) {
            return true;
        }
        if (resumeStep == None || resumePos >= n) return false;
        ++resumePos;
        // A literal after the star can only start where that unit stands: skip
        // the positions between in one tight loop (most of a path, for "*\NAME\*").
        if (FSteps[resumeStep].Kind == TStepKind::Literal) {
            const wchar_t first = FSteps[resumeStep].First;
            while (resumePos < n && UpAscii(Name[resumePos]) != first) ++resumePos;
            if (resumePos >= n) return false;
        }
        pos = resumePos;
        step = resumeStep;
    }
}

bool TMask::Matches(const std::wstring& Name) const { return Match(Name); }

std::wstring TMask::FixedStart(std::size_t MaxUnits) const {
    std::wstring start;
    if (FFileNameOnly) return start;
    for (std::size_t step = 0; step < FSteps.size() && start.size() < MaxUnits; ++step) {
        if (FSteps[step].Kind != TStepKind::Literal) break;
        start.push_back(FSteps[step].First);
    }
    return start;
}

std::wstring TMask::FixedEnding(std::size_t MaxUnits) const {
    std::wstring ending;
    for (std::size_t step = FSteps.size(); step > 0 && ending.size() < MaxUnits; --step) {
        if (FSteps[step - 1].Kind != TStepKind::Literal) break;
        ending.insert(ending.begin(), FSteps[step - 1].First);
    }
    return ending;
}

std::wstring TMask::FixedInner(std::size_t MaxUnits) const {
    std::wstring longest, run;
    for (const TStep& step : FSteps) {
        if (step.Kind == TStepKind::Literal) {
            run.push_back(step.First);
            if (run.size() > longest.size()) longest = run;
        } else {
            run.clear();
        }
    }
    if (longest.size() > MaxUnits) longest.resize(MaxUnits);
    return longest;
}

bool MatchesMask(const std::wstring& Name, const std::wstring& Mask) { return TMask(Mask).Matches(Name); }

std::wstring MakeMaskList(const std::vector<std::wstring>& Items) {
    std::vector<std::wstring> kept;
    for (const std::wstring& item : Items) {
        if (std::any_of(item.begin(), item.end(), [](wchar_t c) { return !IsBlankOrControl(c); }))
            kept.push_back(item);
    }
    return CommaTextFromList(kept);
}

bool MatchesAnyMask(const std::wstring& FileName, const std::wstring& MaskList) {
    for (const std::wstring& mask : ListFromCommaText(MaskList))
        if (MatchesMask(FileName, mask)) return true;
    return false;
}

std::wstring CommaTextFromList(const std::vector<std::wstring>& Items) {
    std::wstring text;
    for (std::size_t k = 0; k < Items.size(); ++k) {
        const std::wstring& item = Items[k];
        if (k > 0) text += L',';
        // An empty item is quoted too; otherwise a list holding just "" would read back as no items.
        const bool quote = item.empty() || std::any_of(item.begin(), item.end(), [](wchar_t c) {
                               return IsBlankOrControl(c) || c == L',' || c == L'"';
                           });
        if (!quote) {
            text += item;
            continue;
        }
        text += L'"';
        for (wchar_t c : item) {
            if (c == L'"') text += L'"';
            text += c;
        }
        text += L'"';
    }
    return text;
}

std::vector<std::wstring> ListFromCommaText(const std::wstring& Text) {
    std::vector<std::wstring> items;
    const std::size_t n = Text.size();
    std::size_t i = 0;
    auto skipBlanks = [&] {
        while (i < n && IsBlankOrControl(Text[i])) ++i;
    };

    skipBlanks();
    while (i < n) {
        std::wstring item;
        if (Text[i] == L'"') {
            ++i;
            while (i < n) {
                if (Text[i] == L'"') {
                    if (i + 1 < n && Text[i + 1] == L'"') {
                        item += L'"';
                        i += 2;
                        continue;
                    }
                    ++i;
                    break;
                }
                item += Text[i++];
            }
        } else {
            while (i < n && Text[i] != L',' && !IsBlankOrControl(Text[i])) item += Text[i++];
        }
        items.push_back(std::move(item));
        skipBlanks();
        if (i < n && Text[i] == L',') {
            if (i + 1 == n) items.emplace_back();
            ++i;
            skipBlanks();
        }
    }
    return items;
}

std::wstring UpperCaseAscii(std::wstring s) {
    for (wchar_t& c : s) c = UpAscii(c);
    return s;
}

TCompiledMaskList::TCompiledMaskList(const std::wstring& MaskListText) {
    for (const std::wstring& mask : ListFromCommaText(MaskListText)) {
        try {
            FMasks.emplace_back(mask);
        } catch (const EMaskException& e) {
            // MatchesAnyMask only reaches this mask when none before it matches; keep that order.
            FError = e;
            break;
        }
    }
}

bool TCompiledMaskList::MatchesAny(std::wstring_view Name) const {
    for (const TMask& mask : FMasks)
        if (mask.Match(Name)) return true;
    if (FError) throw *FError;
    return false;
}

std::optional<std::vector<TCompiledMaskList::TAnchors>> TCompiledMaskList::Anchors(std::size_t MaxEnding,
                                                                                   std::size_t MaxStart,
                                                                                   std::size_t MaxInner) const {
    if (FError) return std::nullopt;
    std::vector<TAnchors> anchors;
    for (const TMask& mask : FMasks)
        anchors.push_back({mask.FixedEnding(MaxEnding), mask.FixedStart(MaxStart), mask.FixedInner(MaxInner)});
    return anchors;
}

bool TCompiledMaskList::Empty() const { return FMasks.empty() && !FError; }
