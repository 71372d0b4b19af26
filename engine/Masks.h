// File-name masks: the wildcard patterns that cleanup actions use to pick files.
//
// Strings are UTF-16 and every wchar_t is handled as one code unit, so the
// matcher behaves the same whether wchar_t is 16 bits (the Windows build) or
// 32 bits (native test builds). A high surrogate directly followed by a low
// surrogate is a "pair" and plays the part of a two-unit character:
//   - in a name it is two units, so `?` covers one half of it;
//   - in a mask it must match those two units exactly;
//   - it is never a member of a set, and a set never matches either half.
// A surrogate unit that is not part of a pair is an ordinary one-unit literal
// outside brackets and contributes nothing inside them.
//
// Letters compare without regard to case, a-z against A-Z only; other scripts
// are compared exactly.
//
// Mask syntax, in brief:
//   c        one unit equal to c (letters case-insensitive)
//   ?        one unit, whatever it is
//   *        any run of units, including none; runs of `*` act as one, and
//            every `?` between a `*` and the next literal or set is absorbed
//            (so "*?" and "*??" both mean "*", and also match the empty name)
//   [set]    one non-surrogate unit in the set; `[!set]` one that is not
//            x-y inside a set is a range (ends folded to upper case first; an
//            inverted range is empty). The unit after `-` always ends the
//            range, even `]`. A pair inside brackets takes a member's place in
//            this syntax but adds nothing, and a range with a pair or a lone
//            surrogate at either end adds nothing.
// A mask must cover the whole name.
//
// A mask that is `*\` followed by a part without a backslash ("*\~$*.doc")
// names files, not folders: the part is matched against the text after the
// name's last backslash, and a name without a backslash matches nothing.
// Matched against the whole path, the part's wildcards could cross folder
// boundaries (`D:\~$old\thesis.doc`). Such a mask only ever takes fewer names.
//
// Compilation raises EMaskException for: an unclosed set (position one past
// the end), an empty set `[]` / `[!]` (at the `]`), a `-` as the first member
// (at the `-`), and more than 30 star segments (see TMask). Positions count
// code units from 1.
#pragma once

#include "engine/Exceptions.h"

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

class TCompiledMaskList;

class TMask {
public:
    // Each `*` run that is followed by a literal or a set starts a segment the
    // matcher may have to re-anchor while searching. At most 30 of these are
    // allowed; the literal or set that would start the 31st raises, at its last
    // code unit (the `]` of a set, the low half of a pair). A trailing `*` run
    // starts no segment, and `?` after `*` is absorbed, so neither counts.
    // Thirty "*A" groups in a row therefore compile and thirty-one do not.
    static constexpr int MaxStarSegments = 30;

    explicit TMask(const std::wstring& Mask);

    bool Matches(const std::wstring& Name) const;

    // The upper-case units every name this mask takes ends with, at most
    // MaxUnits of them (fewer when a wildcard or a pair comes sooner); empty
    // when a name it takes may end in anything.
    std::wstring FixedEnding(std::size_t MaxUnits) const;
    // The same for the units every name it takes starts with; empty for a
    // mask that matches after the last backslash.
    std::wstring FixedStart(std::size_t MaxUnits) const;
    // The longest run of upper-case units that every name it takes holds
    // somewhere, at most MaxUnits of it.
    std::wstring FixedInner(std::size_t MaxUnits) const;

private:
    friend class TCompiledMaskList;

    enum class TStepKind : std::uint8_t { Literal, Pair, AnyUnit, Set, Star };

    struct TStep {
        TStepKind Kind;
        wchar_t First;       // Literal: the unit, already upper-cased; Pair: high half
        wchar_t Second;      // Pair: low half
        std::uint32_t Set;   // Set: index into FSets
    };

    struct TCharSet {
        std::uint64_t Low[4] = {0, 0, 0, 0};                        // units 0..255
        std::vector<std::pair<std::uint32_t, std::uint32_t>> High;  // sorted, disjoint
        bool Negated = false;

        void AddRange(std::uint32_t from, std::uint32_t to);
        void Finish();
        bool Contains(std::uint32_t unit) const;
    };

    bool Match(std::wstring_view Name) const;
    void FindFixedTail();
    bool StepMatches(const TStep& step, std::wstring_view name, std::size_t pos, std::size_t& length) const;

    std::vector<TStep> FSteps;
    std::vector<TCharSet> FSets;
    std::size_t FTailStep = 0;    // first step after the last star; FSteps.size() when there is no fixed tail
    std::size_t FTailLength = 0;  // units that tail covers
    bool FFileNameOnly = false;   // the leading `*\` was dropped from FSteps; match after the last backslash
};

// Compiles Mask on every call; prefer TMask or TCompiledMaskList in loops.
bool MatchesMask(const std::wstring& Name, const std::wstring& Mask);

// Joins the items that are not blank after trimming into a mask list text.
// Items are stored as given, untrimmed.
std::wstring MakeMaskList(const std::vector<std::wstring>& Items);

// True when FileName matches any mask of MaskList, tried in order. The list is
// split and every mask compiled on each call; a malformed mask reached before a
// match raises EMaskException.
bool MatchesAnyMask(const std::wstring& FileName, const std::wstring& MaskList);

// Comma text: items separated by commas; an item that is empty or contains a
// blank, a control character, a comma or a double quote is written in double
// quotes with inner quotes doubled. Reading also splits at unquoted blanks and
// control characters (a run counts as one separator), and a comma that is the
// very last character adds an empty item. Reading what was written gives back
// the same items.
std::wstring CommaTextFromList(const std::vector<std::wstring>& Items);
std::vector<std::wstring> ListFromCommaText(const std::wstring& Text);

std::wstring UpperCaseAscii(std::wstring s);

// A mask list compiled once for repeated matching. MatchesAny gives exactly
// MatchesAnyMask's answers for the same list text, including raising for a
// malformed mask that is reached before any match, and does not allocate
// unless it raises.
class TCompiledMaskList {
public:
    explicit TCompiledMaskList(const std::wstring& MaskListText = L"");

    bool MatchesAny(std::wstring_view Name) const;
    bool Empty() const;
    struct TAnchors {
        std::wstring Ending;  // TMask::FixedEnding
        std::wstring Start;   // TMask::FixedStart
        std::wstring Inner;   // TMask::FixedInner
    };
    // Each mask's fixed ending and start, in order; nothing when the list holds
    // a malformed mask (whose raising depends on the masks before it), so a
    // caller cannot rule out any name.
    std::optional<std::vector<TAnchors>> Anchors(std::size_t MaxEnding, std::size_t MaxStart,
                                                 std::size_t MaxInner = 64) const;

private:
    std::vector<TMask> FMasks;                 // the masks before the first malformed one
    std::optional<EMaskException> FError;      // raised once FMasks are exhausted
};
