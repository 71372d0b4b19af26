#include "engine/Masks.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

const std::wstring Smile = L"\xD83D\xDE00";  // U+1F600 as a surrogate pair
const std::wstring Ext = L"\xD840\xDC00";    // U+20000 as a surrogate pair

// Position reported by compiling Mask, or 0 when it compiles.
int ErrorPosition(const std::wstring& mask) {
    try {
        TMask m(mask);
    } catch (const EMaskException& e) {
        const std::wstring& text = e.Message();
        const auto open = text.rfind(L'(');
        return std::stoi(text.substr(open + 1));
    }
    return 0;
}

std::wstring Repeat(const std::wstring& s, int count) {
    std::wstring out;
    for (int k = 0; k < count; ++k) out += s;
    return out;
}

std::wstring StarLetters(int count) {
    std::wstring out;
    for (int k = 0; k < count; ++k) {
        out += L'*';
        out += static_cast<wchar_t>(L'A' + k % 26);
    }
    return out;
}

}  // namespace

TEST(MaskMatching, TypicalCleanupMasks) {
    EXPECT_TRUE(MatchesMask(L"C:\\DOCS\\A.BAK", L"*.BAK"));
    EXPECT_TRUE(MatchesMask(L"A.bak", L"*.BAK"));
    EXPECT_FALSE(MatchesMask(L"A.BAK1", L"*.BAK"));

    EXPECT_TRUE(MatchesMask(L"C:\\SCANDISK.LOG", L"?:\\SCANDISK.LOG"));
    EXPECT_TRUE(MatchesMask(L"d:\\scandisk.log", L"?:\\SCANDISK.LOG"));
    EXPECT_FALSE(MatchesMask(L"C:\\WINDOWS\\SCANDISK.LOG", L"?:\\SCANDISK.LOG"));

    EXPECT_TRUE(MatchesMask(L"C:\\FILE0001.CHK", L"?:\\FILE????.CHK"));
    EXPECT_FALSE(MatchesMask(L"C:\\FILE01.CHK", L"?:\\FILE????.CHK"));

    EXPECT_TRUE(MatchesMask(L"C:\\A\\~$REPORT.DOC", L"*\\~$*.DOC"));
    EXPECT_FALSE(MatchesMask(L"C:\\A\\REPORT.DOC", L"*\\~$*.DOC"));
}

TEST(MaskMatching, LeadingStarBackslashNamesTheFileNotItsFolders) {
    const TMask word(L"*\\~$*.DOC");
    EXPECT_TRUE(word.Matches(L"D:\\X\\~$DRAFT.DOC"));
    EXPECT_TRUE(word.Matches(L"D:\\~$DRAFT.DOC"));
    EXPECT_TRUE(word.Matches(L"\\~$.DOC"));
    // The part's star may not reach back over a folder boundary, nor may `?` or a set.
    EXPECT_FALSE(word.Matches(L"D:\\~$OLD\\THESIS.DOC"));
    EXPECT_FALSE(word.Matches(L"D:\\~$A\\B\\C.DOC"));
    EXPECT_FALSE(MatchesMask(L"D:\\AB\\C", L"*\\A?C"));
    EXPECT_FALSE(MatchesMask(L"D:\\AB\\C", L"*\\AB[!X]C"));
    EXPECT_FALSE(word.Matches(L"~$DRAFT.DOC"));  // no folder at all
    EXPECT_TRUE(MatchesMask(L"C:\\", L"*\\"));
    EXPECT_FALSE(MatchesMask(L"C:\\A", L"*\\"));

    // A part with a backslash, or a mask that does not start with `*\`, is matched as written.
    EXPECT_TRUE(MatchesMask(L"C:\\U\\DR WATSON\\X\\Y.LOG", L"*\\DR WATSON\\*.LOG"));
    EXPECT_TRUE(MatchesMask(L"C:\\WINDOWS\\TEMP\\A\\B.DAT", L"C:\\WINDOWS\\TEMP\\*"));
    EXPECT_TRUE(MatchesMask(L"C:\\~$OLD\\THESIS.DOC", L"?*\\~$*.DOC"));
    EXPECT_TRUE(MatchesMask(L"C:\\A\\B\\C", L"*\\*[\\]C"));

    // Compiled lists follow the same rule, and compile errors keep their positions.
    const TCompiledMaskList list(L"*.BAK,*\\~$*.DOC");
    EXPECT_TRUE(list.MatchesAny(L"D:\\X\\~$DRAFT.DOC"));
    EXPECT_FALSE(list.MatchesAny(L"D:\\~$OLD\\THESIS.DOC"));
    EXPECT_EQ(ErrorPosition(L"*\\[]"), 4);
    EXPECT_EQ(ErrorPosition(L"*\\" + StarLetters(29)), 0);
    EXPECT_EQ(ErrorPosition(L"*\\" + StarLetters(30)), 62);
}

TEST(MaskMatching, WholeNameAndCaseRules) {
    EXPECT_TRUE(MatchesMask(L"", L""));
    EXPECT_FALSE(MatchesMask(L"A", L""));
    EXPECT_FALSE(MatchesMask(L"", L"A"));
    EXPECT_FALSE(MatchesMask(L"XAB", L"AB"));
    EXPECT_FALSE(MatchesMask(L"ABX", L"AB"));
    EXPECT_TRUE(MatchesMask(L"readme.TXT", L"README.txt"));
    // Only a-z fold: neighbours of the letter ranges and other scripts compare exactly.
    EXPECT_FALSE(MatchesMask(L"@", L"`"));
    EXPECT_FALSE(MatchesMask(L"[", L"{"));
    EXPECT_FALSE(MatchesMask(L"\u00E9", L"\u00C9"));
    EXPECT_TRUE(MatchesMask(L"\u4E2D\u6587.txt", L"\u4E2D\u6587.TXT"));
}

TEST(MaskMatching, QuestionMarkAndStarInteraction) {
    EXPECT_FALSE(MatchesMask(L"A", L"A?"));
    EXPECT_TRUE(MatchesMask(L"AB", L"A?"));
    EXPECT_FALSE(MatchesMask(L"", L"?"));
    // A `?` after `*` is absorbed, however many and however interleaved with stars.
    EXPECT_TRUE(MatchesMask(L"A", L"A*?"));
    EXPECT_TRUE(MatchesMask(L"", L"*?"));
    EXPECT_TRUE(MatchesMask(L"", L"*??"));
    EXPECT_TRUE(MatchesMask(L"", L"**?*?"));
    EXPECT_TRUE(MatchesMask(L"X", L"*??X"));
    // A `?` before a `*` still needs a unit.
    EXPECT_FALSE(MatchesMask(L"", L"?*"));
    EXPECT_TRUE(MatchesMask(L"Q", L"?*"));
    EXPECT_FALSE(MatchesMask(L"X", L"?*?X"));
}

TEST(MaskMatching, StarSearchIsComplete) {
    // The first place the segment fits is not always the one that works.
    EXPECT_TRUE(MatchesMask(L"AAB", L"*AB"));
    EXPECT_TRUE(MatchesMask(L"ABABC", L"*ABC"));
    EXPECT_TRUE(MatchesMask(L"A.B.C.TXT", L"*.*.TXT"));
    EXPECT_TRUE(MatchesMask(L"XAYAZ", L"*A*Z"));
    EXPECT_FALSE(MatchesMask(L"XAYAZ", L"*A*Q"));
    EXPECT_TRUE(MatchesMask(L"ABCABD", L"*AB?"));
    EXPECT_FALSE(MatchesMask(L"AB", L"*AB?"));
    EXPECT_TRUE(MatchesMask(L"MISSISSIPPI", L"M*SS*PI"));
    EXPECT_TRUE(MatchesMask(L"ANYTHING AT ALL", L"*"));
    EXPECT_TRUE(MatchesMask(L"", L"***"));
}

TEST(MaskMatching, ManyStarsOnLongNamesStayFast) {
    // Thirty segments that all fit everywhere except at the very end: a naive recursive search would never finish.
    std::wstring mask;
    for (int k = 0; k < 29; ++k) mask += L"*A";
    const std::wstring name(20000, L'a');
    EXPECT_FALSE(MatchesMask(name, mask + L"*B"));
    EXPECT_TRUE(MatchesMask(name + L"b", mask + L"*B"));
}

TEST(MaskMatching, SurrogatePairsAreTwoUnits) {
    EXPECT_FALSE(MatchesMask(Smile, L"?"));
    EXPECT_TRUE(MatchesMask(Smile, L"??"));
    EXPECT_TRUE(MatchesMask(L"A" + Smile + L"B", L"A??B"));
    EXPECT_TRUE(MatchesMask(L"x" + Smile, L"*" + Smile));
    EXPECT_FALSE(MatchesMask(L"x" + Ext, L"*" + Smile));
    // Pair literals compare exactly; a differing low half is a different character.
    EXPECT_FALSE(MatchesMask(L"\xD83D\xDE01", Smile));
    EXPECT_TRUE(MatchesMask(Smile + Ext, Smile + L"*"));
    // A lone surrogate in the mask is a one-unit literal and may meet half of a pair.
    EXPECT_TRUE(MatchesMask(Smile, L"\xD83D*"));
    EXPECT_TRUE(MatchesMask(Smile, L"?\xDE00"));
}

TEST(MaskSets, MembersRangesAndNegation) {
    EXPECT_TRUE(MatchesMask(L"b.txt", L"[A-C]*"));
    EXPECT_FALSE(MatchesMask(L"b.txt", L"[!A-C]*"));
    EXPECT_TRUE(MatchesMask(L"d.txt", L"[!A-C]*"));
    EXPECT_TRUE(MatchesMask(L"B", L"[a-c]"));
    EXPECT_TRUE(MatchesMask(L"b", L"[xyB]"));
    EXPECT_FALSE(MatchesMask(L"", L"[!A]"));
    EXPECT_FALSE(MatchesMask(L"AB", L"[AB]"));
    // Inverted ranges add nothing; a-z folds before the comparison, so Z-a is inverted too.
    EXPECT_FALSE(MatchesMask(L"AX", L"[C-A]X"));
    EXPECT_FALSE(MatchesMask(L"BX", L"[C-A]X"));
    EXPECT_FALSE(MatchesMask(L"Z", L"[Z-a]"));
    EXPECT_TRUE(MatchesMask(L"5", L"[0-9]"));
    EXPECT_TRUE(MatchesMask(L"\u4E2D", L"[\u4E00-\u9FFF]"));
    EXPECT_FALSE(MatchesMask(L"\u3000", L"[\u4E00-\u9FFF]"));
    EXPECT_TRUE(MatchesMask(L"\u6000", L"[\u4E00-\u9FFF\u5000]"));
    EXPECT_TRUE(MatchesMask(L"\u0100", L"[\u00FF-\u0100]"));
    EXPECT_TRUE(MatchesMask(L"\u00FF", L"[\u00FF-\u0100]"));
}

TEST(MaskSets, PunctuationInsideBrackets) {
    // `!` negates only in first place, `*` and `?` are plain members.
    EXPECT_TRUE(MatchesMask(L"!", L"[a!]"));
    EXPECT_FALSE(MatchesMask(L"!", L"[!!a]"));
    EXPECT_TRUE(MatchesMask(L"*", L"[*?]"));
    EXPECT_TRUE(MatchesMask(L"?", L"[*?]"));
    EXPECT_FALSE(MatchesMask(L"X", L"[*?]"));
    // The unit after `-` ends the range even when it is `]`: [a-]] holds A..]
    EXPECT_TRUE(MatchesMask(L"\\", L"[a-]]"));
    EXPECT_TRUE(MatchesMask(L"q", L"[a-]]"));
    EXPECT_FALSE(MatchesMask(L"^", L"[a-]]"));
    // A `-` after a finished range is a member of its own.
    EXPECT_TRUE(MatchesMask(L"-", L"[a-c-e]"));
    EXPECT_TRUE(MatchesMask(L"E", L"[a-c-e]"));
    EXPECT_FALSE(MatchesMask(L"D", L"[a-c-e]"));
}

TEST(MaskSets, SurrogatesNeverMatchASet) {
    EXPECT_FALSE(MatchesMask(Smile, L"[!a][!a]"));
    EXPECT_FALSE(MatchesMask(Smile, L"[!a]?"));
    EXPECT_FALSE(MatchesMask(Smile, L"?[!a]"));
    EXPECT_FALSE(MatchesMask(L"\xD800", L"[\x0001-\xFFFF]"));
    // A pair inside brackets adds nothing, nor does a range it ends.
    EXPECT_FALSE(MatchesMask(Smile, L"[" + Smile + L"]"));
    EXPECT_TRUE(MatchesMask(L"A", L"[!" + Smile + L"]"));
    EXPECT_FALSE(MatchesMask(L"A", L"[" + Smile + L"-z]"));
    EXPECT_FALSE(MatchesMask(L"A", L"[0-" + Smile + L"]"));
    EXPECT_TRUE(MatchesMask(L"B", L"[" + Smile + L"b]"));
    EXPECT_FALSE(MatchesMask(L"\xE000", L"[" + Smile + L"-\xFFFF]"));
    EXPECT_FALSE(MatchesMask(L"\xE000", L"[\xDC00-\xFFFF]"));
}

TEST(MaskErrors, MalformedSetPositions) {
    EXPECT_EQ(ErrorPosition(L"[]"), 2);
    EXPECT_EQ(ErrorPosition(L"[!]"), 3);
    EXPECT_EQ(ErrorPosition(L"[abc"), 5);
    EXPECT_EQ(ErrorPosition(L"["), 2);
    EXPECT_EQ(ErrorPosition(L"[!"), 3);
    EXPECT_EQ(ErrorPosition(L"[a-"), 4);
    EXPECT_EQ(ErrorPosition(L"[a-]"), 5);
    EXPECT_EQ(ErrorPosition(L"[-a]"), 2);
    EXPECT_EQ(ErrorPosition(L"X[!-a]"), 4);
    EXPECT_EQ(ErrorPosition(L"[]]"), 2);
    EXPECT_EQ(ErrorPosition(L"*.TXT[a]["), 10);
    // Positions count code units, so a pair before the error counts twice.
    EXPECT_EQ(ErrorPosition(Smile + L"[]"), 4);
    // A pair is not an empty set and a `-` after one is not the first member.
    EXPECT_EQ(ErrorPosition(L"[" + Smile + L"]"), 0);
    EXPECT_EQ(ErrorPosition(L"[" + Smile + L"-a]"), 0);
    EXPECT_EQ(ErrorPosition(L"[C-A]X"), 0);
    EXPECT_EQ(ErrorPosition(L"]"), 0);
}

TEST(MaskErrors, MessageNamesMaskAndPosition) {
    try {
        TMask m(L"*.[]");
        FAIL() << "compiled";
    } catch (const EMaskException& e) {
        EXPECT_EQ(e.Message(), L"'*.[]' \u662F\u4E00\u4E2A\u65E0\u6548\u7684\u8868\u5F81\u7801\u4E8E (4)");
    }
}

TEST(MaskErrors, StarSegmentLimit) {
    EXPECT_EQ(ErrorPosition(StarLetters(30)), 0);
    EXPECT_EQ(ErrorPosition(StarLetters(31)), 62);
    // Neither a trailing star nor absorbed `?` start a segment; plain literals after one star are free.
    EXPECT_EQ(ErrorPosition(StarLetters(30) + L"*"), 0);
    EXPECT_EQ(ErrorPosition(StarLetters(30) + L"*??"), 0);
    EXPECT_EQ(ErrorPosition(L"*" + Repeat(L"X", 200)), 0);
    EXPECT_EQ(ErrorPosition(Repeat(L"*A?B", 30)), 0);
    // The element that opens the 31st segment is blamed at its last unit.
    EXPECT_EQ(ErrorPosition(StarLetters(30) + L"**[AB]"), 66);
    EXPECT_EQ(ErrorPosition(StarLetters(30) + L"*" + Smile), 63);
    // Masks right at the limit still match correctly.
    const std::wstring name = L"ABCDEFGHIJKLMNOPQRSTUVWXYZABCD";
    EXPECT_TRUE(MatchesMask(name, StarLetters(30)));
    EXPECT_FALSE(MatchesMask(name.substr(1), StarLetters(30)));
}

TEST(CommaText, WritingQuotesOnlyWhatReadingWouldSplit) {
    EXPECT_EQ(CommaTextFromList({}), L"");
    EXPECT_EQ(CommaTextFromList({L"*.BAK", L"A"}), L"*.BAK,A");
    EXPECT_EQ(CommaTextFromList({L"A B", L"x,y", L"say \"hi\"", L"tab\t"}),
              L"\"A B\",\"x,y\",\"say \"\"hi\"\"\",\"tab\t\"");
    EXPECT_EQ(CommaTextFromList({L""}), L"\"\"");
    EXPECT_EQ(CommaTextFromList({L"\u4E2D\u6587"}), L"\u4E2D\u6587");
}

TEST(CommaText, ReadingSplitsAndUnquotes) {
    using V = std::vector<std::wstring>;
    EXPECT_EQ(ListFromCommaText(L""), V{});
    EXPECT_EQ(ListFromCommaText(L"  \t "), V{});
    EXPECT_EQ(ListFromCommaText(L"A,B"), (V{L"A", L"B"}));
    EXPECT_EQ(ListFromCommaText(L"  A   B\r\nC "), (V{L"A", L"B", L"C"}));
    EXPECT_EQ(ListFromCommaText(L"A , B"), (V{L"A", L"B"}));
    EXPECT_EQ(ListFromCommaText(L"A,,B"), (V{L"A", L"", L"B"}));
    EXPECT_EQ(ListFromCommaText(L",A"), (V{L"", L"A"}));
    EXPECT_EQ(ListFromCommaText(L"A,"), (V{L"A", L""}));
    EXPECT_EQ(ListFromCommaText(L"A, "), V{L"A"});
    EXPECT_EQ(ListFromCommaText(L"\"C:\\Program Files\\*.tmp\",X"), (V{L"C:\\Program Files\\*.tmp", L"X"}));
    EXPECT_EQ(ListFromCommaText(L"\"a\"\"b\""), V{L"a\"b"});
    EXPECT_EQ(ListFromCommaText(L"\"open"), V{L"open"});
    EXPECT_EQ(ListFromCommaText(L"\"ab\"cd"), (V{L"ab", L"cd"}));
}

TEST(MaskLists, MakeMaskListDropsBlankItems) {
    const std::wstring text = MakeMaskList({L"*.bak", L"  ", L"", L"C:\\Program Files\\*.tmp"});
    EXPECT_EQ(text, L"*.bak,\"C:\\Program Files\\*.tmp\"");
    EXPECT_EQ(ListFromCommaText(text), (std::vector<std::wstring>{L"*.bak", L"C:\\Program Files\\*.tmp"}));
    EXPECT_TRUE(MatchesAnyMask(L"D:\\X.BAK", text));
    EXPECT_TRUE(MatchesAnyMask(L"C:\\PROGRAM FILES\\A\\B.TMP", text));
    EXPECT_FALSE(MatchesAnyMask(L"C:\\PROGRAMFILES\\B.TMP", text));

    EXPECT_EQ(MakeMaskList({}), L"");
    EXPECT_EQ(MakeMaskList({L" ", L"\t", L""}), L"");
    // Kept items are not trimmed.
    EXPECT_EQ(MakeMaskList({L" *.a"}), L"\" *.a\"");
}

TEST(MaskLists, MatchesAnyMaskStopsAtFirstMatch) {
    EXPECT_FALSE(MatchesAnyMask(L"A", L""));
    EXPECT_FALSE(MatchesAnyMask(L"", L""));
    EXPECT_TRUE(MatchesAnyMask(L"", L"A,"));  // the trailing comma's empty mask matches the empty name
    EXPECT_TRUE(MatchesAnyMask(L"A.TMP", L"*.TMP,[]"));
    EXPECT_THROW(MatchesAnyMask(L"A.BAK", L"*.TMP,[]"), EMaskException);
    EXPECT_THROW(MatchesAnyMask(L"A.TMP", L"[],*.TMP"), EMaskException);
}

TEST(MaskLists, CompiledListAgreesWithMatchesAnyMask) {
    EXPECT_TRUE(TCompiledMaskList().Empty());
    EXPECT_TRUE(TCompiledMaskList(L"  ").Empty());
    EXPECT_FALSE(TCompiledMaskList(L",").Empty());
    EXPECT_FALSE(TCompiledMaskList(L"[").Empty());

    const TCompiledMaskList list(L"*.TMP,\"C:\\Program Files\\*\",~$*");
    EXPECT_TRUE(list.MatchesAny(L"X.TMP"));
    EXPECT_TRUE(list.MatchesAny(L"c:\\program files\\q"));
    EXPECT_TRUE(list.MatchesAny(L"~$A"));
    EXPECT_FALSE(list.MatchesAny(L"X.TMP1"));

    // A malformed mask raises only when matching reaches it, as MatchesAnyMask does.
    const TCompiledMaskList broken(L"*.TMP,[],*.BAK");
    EXPECT_TRUE(broken.MatchesAny(L"A.TMP"));
    EXPECT_THROW(broken.MatchesAny(L"A.BAK"), EMaskException);
}

TEST(MaskLists, UpperCaseAsciiTouchesOnlyAsciiLetters) {
    EXPECT_EQ(UpperCaseAscii(L"abc xyz-09_`{\u00E9\u4E2D"), L"ABC XYZ-09_`{\u00E9\u4E2D");
}
