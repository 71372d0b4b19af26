// The program's texts, one table per language (texts/TextTable.inc), and the
// language they are shown in. Code names a text by its id and never holds a
// text a user reads.
//
// Adding a text: one line in texts/TextTable.inc, VT_TEXT(Id, Chinese, English).
// Parts that vary go in as %1 .. %9 and are filled by FormatText, so each
// language puts them where its grammar wants them. A count may pick a word's
// form: "%1{ file| files}" gives "1 file" and "2 files" (English needs it;
// Chinese does not).
#pragma once

#include <cstdint>
#include <string>
#include <type_traits>
#include <vector>

enum class TTextId : uint16_t {
#define VT_TEXT(Id, Chinese, English) Id,
#include "texts/TextTable.inc"
#undef VT_TEXT
    Count
};

enum class TLanguage : uint8_t { Chinese = 0, English = 1 };

// The language texts are shown in; Chinese until start-up decides.
TLanguage CurrentLanguage();
void SetCurrentLanguage(TLanguage Language);

// Sets the language for its lifetime (tests, and the child runs they start).
class TLanguageScope {
public:
    explicit TLanguageScope(TLanguage Language) : FOld(CurrentLanguage()) { SetCurrentLanguage(Language); }
    ~TLanguageScope() { SetCurrentLanguage(FOld); }
    TLanguageScope(const TLanguageScope&) = delete;
    TLanguageScope& operator=(const TLanguageScope&) = delete;

private:
    TLanguage FOld;
};

// Text Id in the current language, or in Language.
const std::wstring& LoadText(TTextId Id);
const std::wstring& LoadTextIn(TLanguage Language, TTextId Id);

// Template with %1 .. %9 replaced by Args (a % before anything else stays as it is).
std::wstring FormatTemplate(const std::wstring& Template, const std::vector<std::wstring>& Args);

namespace TextDetail {
inline std::wstring Arg(const std::wstring& Value) { return Value; }
inline std::wstring Arg(const wchar_t* Value) { return Value; }
inline std::wstring Arg(std::wstring_view Value) { return std::wstring(Value); }
template <class T, class = std::enable_if_t<std::is_arithmetic_v<T>>>
std::wstring Arg(T Value) {
    return std::to_wstring(Value);
}
}  // namespace TextDetail

// Text Id in the current language with its %1 .. %9 filled; numbers are written in decimal.
template <class... TArgs>
std::wstring FormatText(TTextId Id, const TArgs&... Args) {
    return FormatTemplate(LoadText(Id), {TextDetail::Arg(Args)...});
}
template <class... TArgs>
std::wstring FormatTextIn(TLanguage Language, TTextId Id, const TArgs&... Args) {
    return FormatTemplate(LoadTextIn(Language, Id), {TextDetail::Arg(Args)...});
}

// The Chinese text of the table entry whose text in the current language is
// Text, with the same parts filled in when the entry has %n; Text itself when
// no entry gives it. Action names are stored by their Chinese text whatever the
// display language.
std::wstring ChineseTextOf(const std::wstring& Text);

// The language of the user's display language: Chinese for any Chinese (zh-*), English otherwise.
TLanguage LanguageForUiLanguage(uint16_t LangId);

// A stored or given language choice: "zh" or "en" (any letter case); false for
// anything else, which means "follow the display language".
bool ParseLanguageName(const std::wstring& Name, TLanguage& Language);
const wchar_t* LanguageName(TLanguage Language);

// The language of a run: the command line's choice, else the stored one ("zh",
// "en"), else that of the user's display language (UiLangId).
TLanguage ChooseLanguage(bool Switched, TLanguage SwitchLanguage, const std::wstring& Stored, uint16_t UiLangId);
