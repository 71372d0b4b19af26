// The table of texts: both languages for every id, the same parts in both, the
// access keys of each menu distinct in both, and the language a run chooses.
// Action names stay the keys of the settings file whatever the display language.
#include "app/AutoMode.h"
#include "catalogue/Catalogue.h"
#include "platform/ProgramFont.h"
#include "texts/Texts.h"

#include <gtest/gtest.h>

#include <objbase.h>

#include <cwctype>
#include <set>
#include <string>
#include <vector>

namespace {

bool HasChinese(const std::wstring& text) {
    for (wchar_t c : text)
        if ((c >= 0x4E00 && c <= 0x9FFF) || (c >= 0x3000 && c <= 0x303F) || (c >= 0xFF00 && c <= 0xFFEF)) return true;
    return false;
}

std::multiset<wchar_t> Placeholders(const std::wstring& text) {
    std::multiset<wchar_t> found;
    for (size_t i = 0; i + 1 < text.size(); ++i)
        if (text[i] == L'%' && text[i + 1] >= L'1' && text[i + 1] <= L'9') found.insert(text[++i]);
    return found;
}

// The letter after the single "&" of a menu or button text, upper-cased; 0 when there is none or more than one.
wchar_t AccessKey(const std::wstring& text) {
    wchar_t key = 0;
    int count = 0;
    for (size_t i = 0; i + 1 < text.size(); ++i)
        if (text[i] == L'&' && text[i + 1] != L'&') {
            key = static_cast<wchar_t>(std::towupper(text[i + 1]));
            ++count;
        }
    return count == 1 ? key : 0;
}

std::string Narrow(const std::wstring& text) { return std::string(text.begin(), text.end()); }

TEST(TextTable, EveryTextHasBothLanguagesWithTheSameParts) {
    for (size_t i = 0; i < static_cast<size_t>(TTextId::Count); ++i) {
        const auto id = static_cast<TTextId>(i);
        const std::wstring& chinese = LoadTextIn(TLanguage::Chinese, id);
        const std::wstring& english = LoadTextIn(TLanguage::English, id);
        EXPECT_FALSE(chinese.empty()) << "text " << i << " has no Chinese";
        EXPECT_FALSE(english.empty()) << "text " << i << " has no English";
        // Only a text that is the same in both (a language's own name) may show Chinese in English.
        EXPECT_TRUE(!HasChinese(english) || english == chinese)
            << "text " << i << " is not English: " << Narrow(english);
        EXPECT_EQ(Placeholders(chinese), Placeholders(english)) << "text " << i << " fills other parts in English";
    }
}

TEST(TextTable, NoTwoItemsOfOneMenuOrWindowShareAnAccessKeyInEitherLanguage) {
    const std::vector<std::vector<TTextId>> groups = {
        {TTextId::MenuFile, TTextId::MenuSetup, TTextId::MenuHelp},
        {TTextId::MenuReadAgain, TTextId::MenuClean, TTextId::MenuOtherApplications, TTextId::MenuVolumeCaches,
         TTextId::MenuExit},
        {TTextId::MenuStopReading, TTextId::MenuExit},
        {TTextId::MenuLegend, TTextId::MenuAbout},
        {TTextId::MenuSelectAll, TTextId::MenuDeselectAll, TTextId::MenuDefaultSelection},
        {TTextId::ButtonOK, TTextId::ButtonCancel},
        {TTextId::ButtonOK, TTextId::ButtonCancelA},
        {TTextId::ButtonProperties, TTextId::ButtonOK, TTextId::ButtonCancelA},
        {TTextId::ButtonClean, TTextId::ButtonClose},
    };
    for (TLanguage language : {TLanguage::Chinese, TLanguage::English})
        for (const auto& group : groups) {
            std::set<wchar_t> keys;
            for (TTextId id : group) {
                const std::wstring& text = LoadTextIn(language, id);
                const wchar_t key = AccessKey(text);
                EXPECT_NE(key, 0) << Narrow(text) << " has no single access key";
                EXPECT_TRUE(keys.insert(key).second) << Narrow(text) << " shares its access key";
            }
        }
}

TEST(TextTable, FormatFillsNumberedPartsInTheirPlaceAndLeavesOtherPercentSigns) {
    EXPECT_EQ(FormatTemplate(L"%2 of %1", {L"a", L"b"}), L"b of a");
    EXPECT_EQ(FormatTemplate(L"%APPDATA%\\Holvane (%1%)", {L"50"}), L"%APPDATA%\\Holvane (50%)");
    EXPECT_EQ(FormatTemplate(L"未知的变量 %%1%", {L"WINDIR"}), L"未知的变量 %WINDIR%");
    EXPECT_EQ(FormatTemplate(L"%1%2%3", {L"x"}), L"x");
    // A count picks the form of the word after it.
    EXPECT_EQ(FormatTemplate(L"deleted %1{ file| files}, %2{ folder| folders}", {L"1", L"0"}),
              L"deleted 1 file, 0 folders");
    EXPECT_EQ(FormatTemplate(L"%1{ file| files}", {L"11"}), L"11 files");
    // A part that holds "%1" itself is not filled again.
    EXPECT_EQ(FormatTemplate(L"%1 and %2", {L"%2", L"y"}), L"%2 and y");
    TLanguageScope chinese(TLanguage::Chinese);
    EXPECT_EQ(FormatText(TTextId::InfoFilesFound, 12), L"12 个文件被找到");
    TLanguageScope english(TLanguage::English);
    EXPECT_EQ(FormatText(TTextId::InfoFilesFound, 12), L"12 files found");
    EXPECT_EQ(FormatText(TTextId::DeletedFiles, 1, L"4 KB"), L"Deleted 1 file (4 KB).");
}

TEST(TextTable, ChineseForAnyChineseDisplayLanguageEnglishForEveryOther) {
    for (uint16_t zh : {0x0804, 0x0404, 0x0C04, 0x1004, 0x1404, 0x7804, 0x7C04, 0x0004})
        EXPECT_EQ(LanguageForUiLanguage(zh), TLanguage::Chinese) << std::hex << zh;
    for (uint16_t other : {0x0409, 0x0809, 0x0411, 0x0412, 0x0407, 0x0000, 0x007F})
        EXPECT_EQ(LanguageForUiLanguage(other), TLanguage::English) << std::hex << other;
    // The command line wins over the stored choice, which wins over Windows.
    EXPECT_EQ(ChooseLanguage(true, TLanguage::English, L"zh", 0x0804), TLanguage::English);
    EXPECT_EQ(ChooseLanguage(false, TLanguage::English, L"zh", 0x0409), TLanguage::Chinese);
    EXPECT_EQ(ChooseLanguage(false, TLanguage::Chinese, L"EN", 0x0804), TLanguage::English);
    EXPECT_EQ(ChooseLanguage(false, TLanguage::Chinese, L"", 0x0409), TLanguage::English);
    EXPECT_EQ(ChooseLanguage(false, TLanguage::Chinese, L"fr", 0x0C04), TLanguage::Chinese);
}

TEST(TextTable, LangSwitchTakesZhOrEnInAnyCaseTheLastOneCounting) {
    TLanguage language = TLanguage::Chinese;
    EXPECT_FALSE(LanguageSwitchArgs({L"Vantrel.exe", L"/auto"}, language));
    EXPECT_TRUE(LanguageSwitchArgs({L"Vantrel.exe", L"/LANG:EN"}, language));
    EXPECT_EQ(language, TLanguage::English);
    EXPECT_TRUE(LanguageSwitchArgs({L"Vantrel.exe", L"-lang:en", L"/auto", L"/lang:zh"}, language));
    EXPECT_EQ(language, TLanguage::Chinese);
    language = TLanguage::English;
    EXPECT_FALSE(LanguageSwitchArgs({L"Vantrel.exe", L"/lang:fr", L"/lang", L"lang:zh", L"/lang:"}, language));
    EXPECT_EQ(language, TLanguage::English);
    // "/lang:en" is no "/auto".
    EXPECT_FALSE(IsAutoModeArgs({L"Vantrel.exe", L"/lang:en"}));
}

// Every action of the catalogue, created in Language: (key, name) by row.
std::vector<std::pair<std::wstring, std::wstring>> CatalogueNames(TLanguage language) {
    TLanguageScope scope(language);
    std::vector<std::pair<std::wstring, std::wstring>> names;
    for (const TCatalogueRow& row : CleanupCatalogue()) {
        const auto item = row.ItemClass.Create();
        names.emplace_back(item->Key, item->Name);
    }
    return names;
}

TEST(TextTable, ActionsKeepTheirChineseNamesAsKeysInEnglish) {
    ::CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED);
    const auto chinese = CatalogueNames(TLanguage::Chinese);
    const auto english = CatalogueNames(TLanguage::English);
    ASSERT_EQ(chinese.size(), english.size());
    std::set<std::wstring> keys;
    for (size_t i = 0; i < chinese.size(); ++i) {
        EXPECT_EQ(chinese[i].first, chinese[i].second) << "row " << i << ": in Chinese the key is the name";
        EXPECT_EQ(english[i].first, chinese[i].first) << "row " << i << ": the key changed with the language";
        EXPECT_FALSE(HasChinese(english[i].second)) << "row " << i << " shows Chinese in English";
        EXPECT_TRUE(keys.insert(chinese[i].first).second) << "row " << i << " shares its key";
    }
    ::CoUninitialize();
}

TEST(ProgramFont, TheWellKnownChineseUiFacesComeFirstWhateverTheirCase) {
    EXPECT_EQ(PreferredChineseFace({L"Foo", L"simsun", L"Microsoft YaHei"}), L"Microsoft YaHei");
    EXPECT_EQ(PreferredChineseFace({L"Foo", L"SimSun"}), L"SimSun");
    EXPECT_EQ(PreferredChineseFace({L"Foo", L"Bar"}), L"Foo");
    EXPECT_EQ(PreferredChineseFace({}), L"");
}

// The sandbox's Wine sees a Chinese font (fonts-wqy-microhei), which draws
// Chinese; under the sandbox's Chinese locale Tahoma draws it too, linked.
TEST(ProgramFont, ChineseFacesAreOfferedAndDrawChinese) {
    const std::vector<std::wstring> faces = ChineseFontFaces();
    ASSERT_FALSE(faces.empty()) << "no font for GB2312 text: is fonts-wqy-microhei installed?";
    for (const std::wstring& face : faces) EXPECT_NE(face.front(), L'@') << "vertical faces are left out";
    EXPECT_TRUE(FaceRendersChinese(PreferredChineseFace(faces)));
    EXPECT_TRUE(FaceRendersChinese(L"Tahoma"));
    EXPECT_EQ(ProgramFontFace(), L"Tahoma") << "the design's font wherever it shows Chinese";
}

}  // namespace
