#include "texts/Texts.h"

#include <array>
#include <atomic>

namespace {

constexpr std::size_t TextCount = static_cast<std::size_t>(TTextId::Count);

// Built once, on first use: every text of both languages as a string.
const std::array<std::vector<std::wstring>, 2>& Tables() {
    static const std::array<std::vector<std::wstring>, 2> tables = [] {
        std::array<std::vector<std::wstring>, 2> t{std::vector<std::wstring>{
#define VT_TEXT(Id, Chinese, English) Chinese,
#include "texts/TextTable.inc"
#undef VT_TEXT
                                                   },
                                                   std::vector<std::wstring>{
#define VT_TEXT(Id, Chinese, English) English,
#include "texts/TextTable.inc"
#undef VT_TEXT
                                                   }};
        return t;
    }();
    return tables;
}

std::atomic<TLanguage> GLanguage{TLanguage::Chinese};

bool EqualsAsciiNoCase(const std::wstring& a, const wchar_t* b) {
    std::size_t i = 0;
    for (; i < a.size() && b[i] != L'\0'; ++i) {
        wchar_t x = a[i], y = b[i];
        if (x >= L'A' && x <= L'Z') x = static_cast<wchar_t>(x - L'A' + L'a');
        if (y >= L'A' && y <= L'Z') y = static_cast<wchar_t>(y - L'A' + L'a');
        if (x != y) return false;
    }
    return i == a.size() && b[i] == L'\0';
}

}  // namespace

TLanguage CurrentLanguage() { return GLanguage.load(std::memory_order_relaxed); }
void SetCurrentLanguage(TLanguage Language) { GLanguage.store(Language, std::memory_order_relaxed); }

const std::wstring& LoadTextIn(TLanguage Language, TTextId Id) {
    static_assert(TextCount > 0);
    return Tables()[static_cast<std::size_t>(Language)][static_cast<std::size_t>(Id)];
}

const std::wstring& LoadText(TTextId Id) { return LoadTextIn(CurrentLanguage(), Id); }

std::wstring FormatTemplate(const std::wstring& Template, const std::vector<std::wstring>& Args) {
    std::wstring text;
    text.reserve(Template.size() + 16 * Args.size());
    for (std::size_t i = 0; i < Template.size(); ++i) {
        const wchar_t c = Template[i];
        if (c == L'%' && i + 1 < Template.size() && Template[i + 1] >= L'1' && Template[i + 1] <= L'9') {
            const std::size_t arg = static_cast<std::size_t>(Template[i + 1] - L'1');
            const std::wstring value = arg < Args.size() ? Args[arg] : std::wstring();
            text += value;
            ++i;
            // "%1{ file| files}": the first form after a count of 1, the second after any other.
            const std::size_t bar = Template.find(L'|', i + 1), close = Template.find(L'}', i + 1);
            if (i + 1 < Template.size() && Template[i + 1] == L'{' && bar < close && close != std::wstring::npos) {
                text += value == L"1" ? Template.substr(i + 2, bar - i - 2) : Template.substr(bar + 1, close - bar - 1);
                i = close;
            }
            continue;
        }
        text += c;
    }
    return text;
}

namespace {

bool IsPlaceholder(const std::wstring& Template, std::size_t At) {
    return Template[At] == L'%' && At + 1 < Template.size() && Template[At + 1] >= L'1' && Template[At + 1] <= L'9';
}

// Whether Text is Template with its %n filled in (each part at least one unit
// long); Args receives the parts.
bool MatchTemplate(const std::wstring& Template, std::size_t TemplateAt, const std::wstring& Text, std::size_t TextAt,
                   std::vector<std::wstring>& Args) {
    while (TemplateAt < Template.size() && !IsPlaceholder(Template, TemplateAt)) {
        if (TextAt >= Text.size() || Text[TextAt] != Template[TemplateAt]) return false;
        ++TemplateAt;
        ++TextAt;
    }
    if (TemplateAt == Template.size()) return TextAt == Text.size();
    const std::size_t arg = static_cast<std::size_t>(Template[TemplateAt + 1] - L'1');
    if (Args.size() <= arg) Args.resize(arg + 1);
    for (std::size_t end = TextAt + 1; end <= Text.size(); ++end) {
        Args[arg] = Text.substr(TextAt, end - TextAt);
        if (MatchTemplate(Template, TemplateAt + 2, Text, end, Args)) return true;
    }
    return false;
}

bool HasLiteralText(const std::wstring& Template) {
    for (std::size_t i = 0; i < Template.size(); ++i) {
        if (IsPlaceholder(Template, i)) ++i;
        else return true;
    }
    return false;
}

}  // namespace

std::wstring ChineseTextOf(const std::wstring& Text) {
    const std::vector<std::wstring>& shown = Tables()[static_cast<std::size_t>(CurrentLanguage())];
    const std::vector<std::wstring>& chinese = Tables()[0];
    for (std::size_t i = 0; i < shown.size(); ++i)
        if (shown[i] == Text) return chinese[i];
    std::vector<std::wstring> args;
    for (std::size_t i = 0; i < shown.size(); ++i) {
        if (shown[i].find(L'%') == std::wstring::npos || !HasLiteralText(shown[i])) continue;
        args.clear();
        if (MatchTemplate(shown[i], 0, Text, 0, args)) return FormatTemplate(chinese[i], args);
    }
    return Text;
}

TLanguage LanguageForUiLanguage(uint16_t LangId) {
    constexpr uint16_t LangChinese = 0x04;  // PRIMARYLANGID of every zh-* language
    return (LangId & 0x3ff) == LangChinese ? TLanguage::Chinese : TLanguage::English;
}

bool ParseLanguageName(const std::wstring& Name, TLanguage& Language) {
    if (EqualsAsciiNoCase(Name, L"zh")) {
        Language = TLanguage::Chinese;
        return true;
    }
    if (EqualsAsciiNoCase(Name, L"en")) {
        Language = TLanguage::English;
        return true;
    }
    return false;
}

const wchar_t* LanguageName(TLanguage Language) { return Language == TLanguage::English ? L"en" : L"zh"; }

TLanguage ChooseLanguage(bool Switched, TLanguage SwitchLanguage, const std::wstring& Stored, uint16_t UiLangId) {
    if (Switched) return SwitchLanguage;
    TLanguage stored;
    if (ParseLanguageName(Stored, stored)) return stored;
    return LanguageForUiLanguage(UiLangId);
}
