// The settings document: defaults, the tick and count reading rules, repair at
// start-up, where the file lives, unreadable files, and saves that cannot lose data.
#include "engine/Exceptions.h"
#include "engine/VantrelClasses.h"
#include "settings/SettingsLoad.h"
#include "settings/VantrelData.h"
#include "settings/XmlDom.h"
#include "support/TempFolder.h"

#include <gtest/gtest.h>

#include <windows.h>

#include <utility>
#include <vector>

namespace {

// --- Files ---

std::string ReadBytes(const std::wstring& path) { return ReadSettingsFile(path); }

void WriteBytes(const std::wstring& path, const std::string& bytes) {
    HANDLE h = ::CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    ASSERT_NE(h, INVALID_HANDLE_VALUE);
    DWORD written = 0;
    ::WriteFile(h, bytes.data(), static_cast<DWORD>(bytes.size()), &written, nullptr);
    ::CloseHandle(h);
}

std::string Utf8(const std::wstring& text) {
    const int size = ::WideCharToMultiByte(CP_UTF8, 0, text.data(), int(text.size()), nullptr, 0, nullptr, nullptr);
    std::string result(size_t(size), '\0');
    ::WideCharToMultiByte(CP_UTF8, 0, text.data(), int(text.size()), result.data(), size, nullptr, nullptr);
    return result;
}

// --- An action list of named actions ---

std::wstring GNextName;

class TNamedAction : public TCleanupSpecialActionItem {
protected:
    void Configure(std::wstring& Name, std::wstring&, std::wstring&, std::wstring&) override { Name = GNextName; }
};

struct TRow {
    std::wstring Name;
    bool DefaultTick;
};

void FillList(TCleanupList& list, const std::vector<TRow>& rows) {
    for (const TRow& row : rows) {
        GNextName = row.Name;
        list.AddAction(TCleanupCustomItem::ClassOf<TNamedAction>(), row.DefaultTick);
    }
}

std::vector<bool> DefaultTicks(const TCleanupList& list) {
    std::vector<bool> ticks;
    for (int i = 0; i < list.Count(); ++i) ticks.push_back(list.Items(i).DefaultChecked);
    return ticks;
}

const char* const Declaration = "<?xml version=\"1.0\"?>\r\n";

class SettingsFixture : public ::testing::Test {
protected:
    void SetUp() override { ASSERT_TRUE(SUCCEEDED(::CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED))); }
    void TearDown() override {
        SetReplaceFileForTesting(nullptr);
        ::CoUninitialize();
    }

    // Writes Xml (UTF-8) as a settings file and loads it.
    TXMLVantrelSettingsType LoadText(const std::string& xml) {
        WriteBytes(FileName, xml);
        return LoadVantrelSettings(FileName);
    }
    // Saves Settings to FileName and loads the file again.
    TXMLVantrelSettingsType SaveAndLoad(TXMLVantrelSettingsType& settings) {
        settings.SaveToFile(FileName);
        return LoadVantrelSettings(FileName);
    }

    TTempFolder Temp{L"settings"};
    const std::wstring FileName = Temp.Path() + L"Vantrel.cfg";
};

using SettingsStartup = SettingsFixture;
using SettingsTicks = SettingsFixture;
using SettingsDocument = SettingsFixture;
using SettingsLocation = SettingsFixture;
using SettingsSave = SettingsFixture;

// The main window's creation and destruction steps, run on List against FileName.
std::vector<bool> StartUp(TXMLVantrelSettingsType& settings, const TCleanupList& list) {
    std::vector<bool> ticks = DefaultTicks(list);
    LoadActionTicks(settings, list, ticks);
    LoadExcludeDirectories(settings);
    ValidateVantrelSettings(settings);
    return ticks;
}

}  // namespace

// --- Start-up and exit ---

TEST_F(SettingsStartup, NoFileAnywhereGivesDefaultsAndWritesThemAtExit) {
    const std::wstring exe = Temp.Path() + L"bin\\Vantrel.exe";
    const std::wstring appData = Temp.CreateFolder(L"AppData");
    const std::wstring fileName = GetSettingsFileName(exe, appData);
    EXPECT_EQ(fileName, appData + L"Holvane\\Vantrel\\Vantrel.cfg");

    std::wstring error = L"stale";
    TXMLVantrelSettingsType settings = OpenVantrelSettings(fileName, error);
    EXPECT_EQ(error, L"");
    TCleanupList list;
    FillList(list, {{L"清空回收站", true}, {L"删除 Cookies", false}, {L"Firefox", true}});
    const std::vector<bool> ticks = StartUp(settings, list);
    EXPECT_EQ(ticks, (std::vector<bool>{true, false, true}));
    EXPECT_TRUE(LoadExcludeDirectories(settings).empty());
    EXPECT_EQ(settings.Options().FileProtection(), L"Smart");
    EXPECT_EQ(settings.Options().ScanMode(), L"Complete");
    EXPECT_EQ(LoadReadDirCount(settings.Options(), L"Complete"), 0);

    SaveVantrelSettingsOnExit(settings, list, ticks, [&] { return GetSettingsFileName(exe, appData); });
    const std::string bytes = ReadBytes(fileName);
    EXPECT_EQ(bytes.rfind(Declaration, 0), 0u) << bytes;  // UTF-8 without a byte-order mark
    // The three elements in the order start-up first touched them.
    const size_t items = bytes.find("<CleanupItems"), excluded = bytes.find("<ExcludeDirectories"),
                 options = bytes.find("<Options");
    EXPECT_LT(items, excluded);
    EXPECT_LT(excluded, options);
    EXPECT_NE(options, std::string::npos);

    TXMLVantrelSettingsType saved = LoadVantrelSettings(fileName);
    EXPECT_EQ(saved.Options().FileProtection(), L"Smart");
    EXPECT_EQ(saved.Options().ScanMode(), L"Complete");
    const auto entries = saved.CleanupItems().All();
    ASSERT_EQ(entries.size(), 3u);
    EXPECT_EQ(entries[0].Name(), L"清空回收站");
    EXPECT_EQ(entries[0].Enabled(), L"True");
    EXPECT_EQ(entries[1].Name(), L"删除 Cookies");
    EXPECT_EQ(entries[1].Enabled(), L"False");
    EXPECT_EQ(entries[2].Enabled(), L"True");
    EXPECT_EQ(saved.ExcludeDirectories().Count(), 0);
}

TEST_F(SettingsStartup, OptionsOutsideTheirSetsAreRepairedValidOnesKept) {
    TXMLVantrelSettingsType repaired =
        LoadText("<VantrelSettings><Options FileProtection=\"smart\" ScanMode=\"\"/></VantrelSettings>");
    ValidateVantrelSettings(repaired);
    EXPECT_EQ(repaired.Options().FileProtection(), L"Smart");
    EXPECT_EQ(repaired.Options().ScanMode(), L"Complete");

    TXMLVantrelSettingsType fast = LoadText("<VantrelSettings><Options ScanMode=\"Fast\"/></VantrelSettings>");
    ValidateVantrelSettings(fast);
    EXPECT_EQ(fast.Options().FileProtection(), L"Smart");  // absent
    EXPECT_EQ(fast.Options().ScanMode(), L"Complete");

    for (const wchar_t* protection : {L"None", L"Uptime", L"Week", L"Smart"}) {
        TXMLVantrelSettingsType valid = NewVantrelSettings();
        valid.Options().SetFileProtection(protection);
        valid.Options().SetScanMode(L"Quick");
        ValidateVantrelSettings(valid);
        EXPECT_EQ(valid.Options().FileProtection(), protection);
        EXPECT_EQ(valid.Options().ScanMode(), L"Quick");
    }
}

TEST_F(SettingsStartup, DirectoryCountsReadAsDecimalOrZero) {
    TXMLVantrelSettingsType settings = LoadText(
        "<VantrelSettings><Options ReadDirCountComplete=\"abc\" ReadDirCountQuick=\"1234\"/></VantrelSettings>");
    EXPECT_EQ(LoadReadDirCount(settings.Options(), L"Complete"), 0);
    EXPECT_EQ(LoadReadDirCount(settings.Options(), L"Quick"), 1234);
    for (const wchar_t* text : {L"", L"-5", L"12x", L"99999999999", L"1.5"}) {
        settings.Options().SetReadDirCountQuick(text);
        EXPECT_EQ(LoadReadDirCount(settings.Options(), L"Quick"), 0) << text;
    }
    StoreReadDirCount(settings.Options(), L"Complete", 2000);
    EXPECT_EQ(settings.Options().ReadDirCountComplete(), L"2000");
    EXPECT_EQ(settings.Options().ReadDirCountQuick(), L"1.5");  // the other mode's count untouched
}

// --- Ticks ---

TEST_F(SettingsTicks, EnabledTextsReadByTheBooleanRules) {
    TXMLVantrelSettingsType settings = LoadText(
        "<VantrelSettings><CleanupItems>"
        "<CleanupItem Name=\"a\" Enabled=\"false\"/><CleanupItem Name=\"b\" Enabled=\"0\"/>"
        "<CleanupItem Name=\"c\" Enabled=\"FALSE\"/><CleanupItem Name=\"d\" Enabled=\"yes\"/>"
        "<CleanupItem Name=\"e\"/><CleanupItem Name=\"f\" Enabled=\"\"/>"
        "<CleanupItem Name=\"g\" Enabled=\"0.0\"/><CleanupItem Name=\"h\" Enabled=\"-2\"/>"
        "<CleanupItem Name=\"i\" Enabled=\"tRUE\"/><CleanupItem Name=\"j\" Enabled=\" 0 \"/>"
        "</CleanupItems></VantrelSettings>");
    const TXMLCleanupItemsType items = settings.CleanupItems();
    // Each default is the opposite of the expected answer, so a default cannot pass.
    const std::vector<std::pair<const wchar_t*, bool>> expected = {
        {L"a", false}, {L"b", false}, {L"c", false}, {L"d", true}, {L"e", true},
        {L"f", true},  {L"g", false}, {L"h", true},  {L"i", true}, {L"j", false}};
    for (const auto& [name, tick] : expected) EXPECT_EQ(LoadActionTick(items, name, !tick), tick) << name;
    // Names match exactly: another letter case is another action, which keeps its default.
    EXPECT_TRUE(LoadActionTick(items, L"A", true));
    EXPECT_FALSE(LoadActionTick(items, L"A", false));
}

TEST_F(SettingsTicks, FirstOfDuplicateNamesDecidesAndExitLeavesOneEntryPerAction) {
    TXMLVantrelSettingsType settings = LoadText(
        "<VantrelSettings><CleanupItems>"
        "<CleanupItem Name=\"x\" Enabled=\"False\"/><CleanupItem Name=\"gone\" Enabled=\"True\"/>"
        "<CleanupItem Name=\"x\" Enabled=\"True\"/>"
        "</CleanupItems></VantrelSettings>");
    TCleanupList list;
    FillList(list, {{L"new", false}, {L"x", true}});
    std::vector<bool> ticks = StartUp(settings, list);
    EXPECT_EQ(ticks, (std::vector<bool>{false, false}));

    ticks[0] = true;
    SaveVantrelSettingsOnExit(settings, list, ticks, [&] { return FileName; });
    const auto entries = LoadVantrelSettings(FileName).CleanupItems().All();
    ASSERT_EQ(entries.size(), 2u);
    EXPECT_EQ(entries[0].Name(), L"new");
    EXPECT_EQ(entries[0].Enabled(), L"True");
    EXPECT_EQ(entries[1].Name(), L"x");
    EXPECT_EQ(entries[1].Enabled(), L"False");
}

// The actions after the forty keep their ticks like the forty: a file of a
// program that knew only the forty gives them their defaults, and that program
// drops their names from a file written now at its next save.
TEST_F(SettingsTicks, FilesOfTheFortyAndOfTheActionsAfterThemLoadInEitherProgram) {
    const std::vector<TRow> forty = {{L"清除 Mozilla Firefox 缓存", true}, {L"清空 Windows 回收站", true}};
    std::vector<TRow> now = forty;
    now.push_back({L"清除 Google Chrome 缓存", true});
    now.push_back({L"清除 Google Chrome 历史记录", false});

    TXMLVantrelSettingsType older = LoadText(
        "<VantrelSettings><CleanupItems>"
        "<CleanupItem Name=\"清除 Mozilla Firefox 缓存\" Enabled=\"False\"/>"
        "<CleanupItem Name=\"清空 Windows 回收站\" Enabled=\"True\"/>"
        "</CleanupItems></VantrelSettings>");
    TCleanupList current;
    FillList(current, now);
    std::vector<bool> ticks = StartUp(older, current);
    EXPECT_EQ(ticks, (std::vector<bool>{false, true, true, false}));
    ticks[3] = true;
    SaveVantrelSettingsOnExit(older, current, ticks, [&] { return FileName; });

    TXMLVantrelSettingsType written = LoadVantrelSettings(FileName);
    TCleanupList fortyOnly;
    FillList(fortyOnly, forty);
    std::vector<bool> fortyTicks = StartUp(written, fortyOnly);
    EXPECT_EQ(fortyTicks, (std::vector<bool>{false, true}));
    SaveVantrelSettingsOnExit(written, fortyOnly, fortyTicks, [&] { return FileName; });
    const auto entries = LoadVantrelSettings(FileName).CleanupItems().All();
    ASSERT_EQ(entries.size(), 2u);
    EXPECT_EQ(entries[1].Name(), L"清空 Windows 回收站");

    // The ticks of the new actions came through the newer program's own file.
    TXMLVantrelSettingsType again = LoadText(
        "<VantrelSettings><CleanupItems><CleanupItem Name=\"清除 Google Chrome 历史记录\" Enabled=\"True\"/>"
        "</CleanupItems></VantrelSettings>");
    EXPECT_EQ(StartUp(again, current), (std::vector<bool>{true, true, true, true}));
}

TEST_F(SettingsTicks, StoreActionTickUpdatesTheFirstMatchOrAppends) {
    TXMLVantrelSettingsType settings = NewVantrelSettings();
    const TXMLCleanupItemsType items = settings.CleanupItems();
    StoreActionTick(items, L"a", true);
    StoreActionTick(items, L"b", false);
    StoreActionTick(items, L"a", false);
    ASSERT_EQ(items.Count(), 2);
    EXPECT_EQ(items.Items(0).Enabled(), L"False");
    EXPECT_EQ(items.Items(1).Name(), L"b");
}

// --- The document and its bindings ---

TEST_F(SettingsDocument, CollectionsAddInsertAndClearTheirItemsOnly) {
    TXMLVantrelSettingsType settings = LoadText(
        "<VantrelSettings><ExcludeDirectories><!-- mine --><Unknown/></ExcludeDirectories></VantrelSettings>");
    const TXMLExcludeDirectoriesType directories = settings.ExcludeDirectories();
    EXPECT_EQ(directories.Count(), 0);
    directories.Add().SetName(L"C:\\b");
    directories.Insert(0).SetName(L"C:\\a");
    directories.Insert(2).SetName(L"C:\\c");
    EXPECT_EQ(LoadExcludeDirectories(settings), (std::vector<std::wstring>{L"C:\\a", L"C:\\b", L"C:\\c"}));
    EXPECT_THROW(directories.Items(3), EListError);
    EXPECT_THROW(directories.Insert(4), EListError);
    EXPECT_THROW(directories.Items(-1), EListError);

    directories.Clear();
    EXPECT_EQ(directories.Count(), 0);
    const std::string bytes = settings.SaveToUtf8();
    EXPECT_NE(bytes.find("<!-- mine -->"), std::string::npos) << bytes;
    EXPECT_NE(bytes.find("<Unknown/>"), std::string::npos) << bytes;
}

TEST_F(SettingsDocument, MissingElementsAreCreatedOnAccessAndSaved) {
    TXMLVantrelSettingsType settings = LoadText("<?xml version=\"1.0\"?><VantrelSettings/>");
    EXPECT_EQ(settings.Options().ScanMode(), L"");  // absent attribute reads as empty
    EXPECT_EQ(settings.CleanupItems().Count(), 0);
    TXMLVantrelSettingsType saved = SaveAndLoad(settings);
    const std::string bytes = ReadBytes(FileName);
    EXPECT_NE(bytes.find("<Options"), std::string::npos) << bytes;
    EXPECT_NE(bytes.find("<CleanupItems"), std::string::npos) << bytes;
    EXPECT_EQ(bytes.find("<ExcludeDirectories"), std::string::npos) << bytes;  // never asked for
}

TEST_F(SettingsDocument, SavedFileReadsBackEqual) {
    TXMLVantrelSettingsType settings = NewVantrelSettings();
    const std::vector<std::wstring> directories = {L"C:\\Data\\", L"D:\\A & B <\"quoted\"> 'x'", L"E:\\  two  "};
    StoreActionTick(settings.CleanupItems(), L"one", true);
    StoreActionTick(settings.CleanupItems(), L"two", false);
    StoreExcludeDirectories(settings, directories);
    const TXMLOptionsType options = settings.Options();
    options.SetFileProtection(L"Week");
    options.SetScanMode(L"Quick");
    StoreReadDirCount(options, L"Quick", 123);
    StoreReadDirCount(options, L"Complete", 45678);

    TXMLVantrelSettingsType loaded = SaveAndLoad(settings);
    EXPECT_EQ(loaded.Options().FileProtection(), L"Week");
    EXPECT_EQ(loaded.Options().ScanMode(), L"Quick");
    EXPECT_EQ(LoadReadDirCount(loaded.Options(), L"Quick"), 123);
    EXPECT_EQ(LoadReadDirCount(loaded.Options(), L"Complete"), 45678);
    EXPECT_FALSE(LoadActionTick(loaded.CleanupItems(), L"two", true));
    EXPECT_TRUE(LoadActionTick(loaded.CleanupItems(), L"one", false));
    EXPECT_EQ(LoadExcludeDirectories(loaded), directories);
    // Saving what was loaded writes the same bytes: the layout does not grow.
    EXPECT_EQ(loaded.SaveToUtf8(), ReadBytes(FileName));
}

TEST_F(SettingsDocument, ChineseNamesKeptExactlyAsUtf8) {
    const std::wstring action = L"删除临时文件 (*.tmp, *.$$$, *.~mp)";
    const std::wstring rare = L"\xD840\xDC00 扩展汉字";  // U+20000, outside the BMP and GBK
    const std::wstring folder = L"C:\\资料\\照片\\";
    TXMLVantrelSettingsType settings = NewVantrelSettings();
    StoreActionTick(settings.CleanupItems(), action, false);
    StoreActionTick(settings.CleanupItems(), rare, true);
    StoreExcludeDirectories(settings, {folder});

    TXMLVantrelSettingsType loaded = SaveAndLoad(settings);
    const auto entries = loaded.CleanupItems().All();
    ASSERT_EQ(entries.size(), 2u);
    EXPECT_EQ(entries[0].Name(), action);
    EXPECT_EQ(entries[1].Name(), rare);
    EXPECT_EQ(LoadExcludeDirectories(loaded), std::vector<std::wstring>{folder});
    const std::string bytes = ReadBytes(FileName);
    EXPECT_NE(bytes.find(Utf8(action)), std::string::npos) << bytes;
    EXPECT_NE(bytes.find(Utf8(rare)), std::string::npos);
}

TEST_F(SettingsDocument, CharactersXmlForbidsAreReplacedSoTheFileAlwaysReadsBack) {
    // Control characters, U+FFFE/U+FFFF and lone surrogates have no place in
    // XML 1.0, not even as references; tab, line breaks and a proper pair do.
    EXPECT_EQ(XmlSafeText(std::wstring(L"a") + L'\0' + L"b"), L"a\xFFFD" L"b");
    const std::wstring hostile = L"Ctl\x01Name\x1F *\xFFFE\xFFFF\xD800x\xDC00";
    const std::wstring replaced = L"Ctl\xFFFDName\xFFFD *\xFFFD\xFFFD\xFFFDx\xFFFD";
    EXPECT_EQ(XmlSafeText(hostile), replaced);
    const std::wstring allowed = L"tab\tline\nreturn\r \xD840\xDC00 & < > \" \xFFFD";
    EXPECT_EQ(XmlSafeText(allowed), allowed);

    TXMLVantrelSettingsType settings = NewVantrelSettings();
    StoreActionTick(settings.CleanupItems(), hostile, true);
    StoreActionTick(settings.CleanupItems(), allowed, false);
    StoreExcludeDirectories(settings, {L"C:\\Data\x07\\"});
    TXMLVantrelSettingsType loaded = SaveAndLoad(settings);
    const std::string bytes = ReadBytes(FileName);
    for (const unsigned char c : bytes) EXPECT_TRUE(c >= 0x20 || c == '\r' || c == '\n' || c == '\t') << int(c);
    std::wstring error;
    TXMLVantrelSettingsType opened = OpenVantrelSettings(FileName, error);
    EXPECT_EQ(error, L"");
    const auto entries = loaded.CleanupItems().All();
    ASSERT_EQ(entries.size(), 2u);
    EXPECT_EQ(entries[0].Name(), replaced);
    EXPECT_EQ(entries[1].Name(), allowed);
    EXPECT_EQ(LoadExcludeDirectories(loaded), std::vector<std::wstring>{L"C:\\Data\xFFFD\\"});
    EXPECT_EQ(loaded.SaveToUtf8(), bytes);
}

TEST_F(SettingsDocument, OtherEncodingsAreReadAndRewrittenAsUtf8) {
    // A hand-edited file in UTF-16 whose declaration names its encoding.
    const std::wstring text =
        L"\xFEFF<?xml version=\"1.0\" encoding=\"UTF-16\"?><VantrelSettings><ExcludeDirectories>"
        L"<ExcludeDirectory Name=\"C:\\文档\"/></ExcludeDirectories></VantrelSettings>";
    TXMLVantrelSettingsType settings =
        LoadText(std::string(reinterpret_cast<const char*>(text.data()), text.size() * sizeof(wchar_t)));
    EXPECT_EQ(LoadExcludeDirectories(settings), std::vector<std::wstring>{L"C:\\文档"});

    TXMLVantrelSettingsType loaded = SaveAndLoad(settings);
    const std::string bytes = ReadBytes(FileName);
    EXPECT_EQ(bytes.rfind(Declaration, 0), 0u) << bytes;
    EXPECT_EQ(bytes.find("UTF-16"), std::string::npos);
    EXPECT_EQ(LoadExcludeDirectories(loaded), std::vector<std::wstring>{L"C:\\文档"});
}

// --- Where the file lives ---

TEST_F(SettingsLocation, FileBesideTheExecutableMovesToThePerUserFolder) {
    const std::wstring exe = Temp.CreateFolder(L"bin") + L"Vantrel.exe";
    const std::wstring beside = Temp.Path() + L"bin\\Vantrel.cfg";
    const std::wstring appData = Temp.CreateFolder(L"AppData");
    const std::wstring perUser = appData + L"Holvane\\Vantrel\\Vantrel.cfg";
    WriteBytes(beside, "<VantrelSettings><Options ScanMode=\"Quick\"/></VantrelSettings>");

    // First start after the change: the old file is read, the per-user folder made.
    std::wstring error;
    const std::wstring atStart = GetSettingsFileName(exe, appData);
    EXPECT_EQ(atStart, beside);
    TXMLVantrelSettingsType settings = OpenVantrelSettings(atStart, error);
    EXPECT_EQ(settings.Options().ScanMode(), L"Quick");
    settings.Options().SetFileProtection(L"Week");

    // Exit: saved in the per-user folder, nothing left beside the executable.
    TCleanupList list;
    SaveVantrelSettingsOnExit(settings, list, {}, [&] { return GetSettingsFileName(exe, appData); });
    EXPECT_FALSE(FileExists(beside));
    TXMLVantrelSettingsType moved = LoadVantrelSettings(perUser);
    EXPECT_EQ(moved.Options().ScanMode(), L"Quick");
    EXPECT_EQ(moved.Options().FileProtection(), L"Week");
    EXPECT_EQ(GetSettingsFileName(exe, appData), perUser);
}

TEST_F(SettingsLocation, FileBesideTheExecutableWithAPerUserFolder) {
    const std::wstring exe = Temp.CreateFolder(L"bin") + L"Vantrel.exe";
    const std::wstring beside = Temp.Path() + L"bin\\Vantrel.cfg";
    const std::wstring appData = Temp.CreateFolder(L"AppData");
    const std::wstring perUser = Temp.CreateFolder(L"AppData\\Holvane\\Vantrel") + L"Vantrel.cfg";

    // No per-user file yet: the old one becomes it rather than being thrown away.
    WriteBytes(beside, "<VantrelSettings><Options ScanMode=\"Quick\"/></VantrelSettings>");
    EXPECT_EQ(GetSettingsFileName(exe, appData), perUser);
    EXPECT_FALSE(FileExists(beside));
    EXPECT_EQ(LoadVantrelSettings(perUser).Options().ScanMode(), L"Quick");

    // A per-user file exists: it is in use, and the stale one beside the executable goes.
    WriteBytes(beside, "<VantrelSettings><Options ScanMode=\"Fast\"/></VantrelSettings>");
    EXPECT_EQ(GetSettingsFileName(exe, appData), perUser);
    EXPECT_FALSE(FileExists(beside));
    EXPECT_EQ(LoadVantrelSettings(perUser).Options().ScanMode(), L"Quick");
}

TEST_F(SettingsLocation, WithoutAUsableApplicationDataFolderTheFileStaysBesideTheExecutable) {
    const std::wstring exe = Temp.Path() + L"bin.v2\\Vantrel";  // a dot in the folder, none in the name
    EXPECT_EQ(GetSettingsFileName(exe, L""), exe + L".cfg");
    EXPECT_EQ(GetSettingsFileName(exe, Temp.Path() + L"missing\\"), exe + L".cfg");
    EXPECT_FALSE(FileExists(Temp.Path() + L"missing"));
}

// --- Unreadable files and safe saving ---

TEST_F(SettingsSave, UnreadableFileIsReportedAndKeptBeforeItIsReplaced) {
    const std::string broken = "<VantrelSettings><CleanupItems></VantrelSettings>";
    WriteBytes(FileName, broken);
    WriteBytes(FileName + L".unreadable", "older copy");
    std::wstring error;
    TXMLVantrelSettingsType settings = OpenVantrelSettings(FileName, error);
    EXPECT_NE(error.find(FileName), std::wstring::npos) << error;
    EXPECT_EQ(settings.CleanupItems().Count(), 0);  // a new document, as for a missing file
    EXPECT_EQ(ReadBytes(FileName), broken);         // nothing touched until the save

    TCleanupList list;
    FillList(list, {{L"a", true}});
    SaveVantrelSettingsOnExit(settings, list, {false}, [&] { return FileName; });
    EXPECT_EQ(ReadBytes(FileName + L".unreadable"), broken);
    EXPECT_FALSE(LoadActionTick(LoadVantrelSettings(FileName).CleanupItems(), L"a", true));
}

TEST_F(SettingsSave, FileOfAnotherKindCountsAsUnreadable) {
    const std::string other = "<?xml version=\"1.0\"?><Other><Options ScanMode=\"Quick\"/></Other>";
    WriteBytes(FileName, other);
    EXPECT_THROW(LoadVantrelSettings(FileName), EXmlError);
    std::wstring error;
    TXMLVantrelSettingsType settings = OpenVantrelSettings(FileName, error);
    EXPECT_NE(error, L"");
    EXPECT_EQ(settings.UnreadableFileName(), FileName);
    settings.SaveToFile(FileName);
    EXPECT_EQ(ReadBytes(FileName + L".unreadable"), other);
    EXPECT_NO_THROW(LoadVantrelSettings(FileName));
}

// A document type is refused whatever the parser makes of it (MSXML 6 refuses it
// while parsing; Wine's MSXML reads it and then cannot write the document): the
// file is kept as .unreadable and the next save succeeds.
TEST_F(SettingsSave, FileWithADocumentTypeCountsAsUnreadable) {
    const std::string body = "<VantrelSettings><Options ScanMode=\"Quick\"/></VantrelSettings>\r\n";
    for (const std::string& doctype : {std::string("<!DOCTYPE VantrelSettings>"),
                                       std::string("<!DOCTYPE VantrelSettings [<!ENTITY e \"Quick\">]>"),
                                       std::string("<!DOCTYPE VantrelSettings SYSTEM \"settings.dtd\">")}) {
        SCOPED_TRACE(doctype);
        const std::string file = std::string(Declaration) + doctype + "\r\n" + body;
        WriteBytes(FileName, file);
        ::DeleteFileW((FileName + L".unreadable").c_str());
        EXPECT_THROW(LoadVantrelSettings(FileName), EXmlError);
        std::wstring error;
        TXMLVantrelSettingsType settings = OpenVantrelSettings(FileName, error);
        EXPECT_NE(error.find(L".unreadable"), std::wstring::npos) << error;
        EXPECT_EQ(settings.Options().ScanMode(), L"");  // defaults, not the file's values

        TCleanupList list;
        FillList(list, {{L"a", true}});
        ASSERT_NO_THROW(SaveVantrelSettingsOnExit(settings, list, {false}, [&] { return FileName; }));
        EXPECT_EQ(ReadBytes(FileName + L".unreadable"), file);
        EXPECT_FALSE(LoadActionTick(LoadVantrelSettings(FileName).CleanupItems(), L"a", true));
    }
}

TEST_F(SettingsSave, UnreadableFileBesideTheExecutableSurvivesTheMove) {
    const std::wstring exe = Temp.CreateFolder(L"bin") + L"Vantrel.exe";
    const std::wstring beside = Temp.Path() + L"bin\\Vantrel.cfg";
    const std::wstring appData = Temp.CreateFolder(L"AppData");
    WriteBytes(beside, "not xml");
    std::wstring error;
    TXMLVantrelSettingsType settings = OpenVantrelSettings(GetSettingsFileName(exe, appData), error);
    EXPECT_NE(error, L"");
    TCleanupList list;
    SaveVantrelSettingsOnExit(settings, list, {}, [&] { return GetSettingsFileName(exe, appData); });
    EXPECT_EQ(ReadBytes(beside + L".unreadable"), "not xml");
    EXPECT_NO_THROW(LoadVantrelSettings(appData + L"Holvane\\Vantrel\\Vantrel.cfg"));
}

BOOL WINAPI FailingReplace(LPCWSTR, LPCWSTR, DWORD) {
    ::SetLastError(ERROR_DISK_FULL);
    return FALSE;
}

TEST_F(SettingsSave, InterruptedSaveLeavesThePreviousFileByteForByte) {
    TXMLVantrelSettingsType settings = NewVantrelSettings();
    settings.Options().SetScanMode(L"Quick");
    settings.SaveToFile(FileName);
    const std::string before = ReadBytes(FileName);

    settings.Options().SetScanMode(L"Complete");
    StoreActionTick(settings.CleanupItems(), L"a", true);
    SetReplaceFileForTesting(&FailingReplace);
    try {
        settings.SaveToFile(FileName);
        ADD_FAILURE() << "the failed save was reported as success";
    } catch (const EOSError& e) {
        EXPECT_EQ(e.Code(), DWORD(ERROR_DISK_FULL));
        EXPECT_NE(e.Message().find(FileName), std::wstring::npos);
    }
    EXPECT_EQ(ReadBytes(FileName), before);
    EXPECT_FALSE(FileExists(FileName + L".new"));

    SetReplaceFileForTesting(nullptr);
    settings.SaveToFile(FileName);
    EXPECT_EQ(LoadVantrelSettings(FileName).Options().ScanMode(), L"Complete");
}

TEST_F(SettingsSave, SaveIntoAMissingFolderRaisesAndWritesNothing) {
    TXMLVantrelSettingsType settings = NewVantrelSettings();
    EXPECT_THROW(settings.SaveToFile(Temp.Path() + L"no such folder\\Vantrel.cfg"), EOSError);
}

TEST_F(SettingsSave, ReadOnlyFileIsNotReplaced) {
    TXMLVantrelSettingsType settings = NewVantrelSettings();
    settings.Options().SetScanMode(L"Quick");
    settings.SaveToFile(FileName);
    const std::string before = ReadBytes(FileName);
    ASSERT_TRUE(::SetFileAttributesW(FileName.c_str(), FILE_ATTRIBUTE_READONLY));

    settings.Options().SetScanMode(L"Complete");
    try {
        settings.SaveToFile(FileName);
        ADD_FAILURE() << "a read-only settings file was replaced";
    } catch (const EOSError& e) {
        EXPECT_EQ(e.Code(), DWORD(ERROR_ACCESS_DENIED));
        EXPECT_NE(e.Message().find(FileName), std::wstring::npos);
    }
    EXPECT_EQ(ReadBytes(FileName), before);
    EXPECT_NE(::GetFileAttributesW(FileName.c_str()) & FILE_ATTRIBUTE_READONLY, 0u);
    EXPECT_FALSE(FileExists(FileName + L".new"));
    ::SetFileAttributesW(FileName.c_str(), FILE_ATTRIBUTE_NORMAL);  // so the folder can go
}

// --- Reading on a thread of its own ---

// What the loading thread gives is what OpenVantrelSettings gives on this thread,
// with the excluded folders as plain text; the document it made serves this
// thread afterwards (reading, changing, writing), and the message comes once.
TEST_F(SettingsStartup, ALoadingThreadGivesTheSameSettingsForThisThreadToUse) {
    WriteBytes(FileName, "<?xml version=\"1.0\"?><VantrelSettings><!-- mine --><Options ScanMode=\"Quick\"/>"
                         "<ExcludeDirectories><ExcludeDirectory Name=\"C:\\A\"/><ExcludeDirectory Name=\"" +
                             Utf8(L"D:\\照片") + "\"/></ExcludeDirectories></VantrelSettings>");
    const DWORD self = ::GetCurrentThreadId();
    HWND window = ::CreateWindowExW(0, L"STATIC", L"", 0, 0, 0, 0, 0, HWND_MESSAGE, nullptr, nullptr, nullptr);
    ASSERT_NE(window, nullptr);
    constexpr UINT Loaded = WM_APP + 5;
    TLoadedSettings loaded;
    {
        TSettingsLoad load(FileName, window, Loaded);
        MSG msg;
        ASSERT_GT(::GetMessageW(&msg, window, Loaded, Loaded), 0);
        EXPECT_TRUE(load.Finished());
        loaded = load.Take();
        EXPECT_FALSE(::PeekMessageW(&msg, window, Loaded, Loaded, PM_REMOVE));
    }
    EXPECT_EQ(::GetCurrentThreadId(), self);
    EXPECT_TRUE(loaded.ErrorMessage.empty());
    EXPECT_EQ(loaded.ExcludeDirectories, (std::vector<std::wstring>{L"C:\\A", L"D:\\照片"}));
    ValidateVantrelSettings(loaded.Settings);
    EXPECT_EQ(loaded.Settings.Options().ScanMode(), L"Quick");
    StoreExcludeDirectories(loaded.Settings, {L"E:\\B"});
    loaded.Settings.SaveToFile(FileName);
    const std::string saved = ReadBytes(FileName);
    EXPECT_NE(saved.find("<!-- mine -->"), std::string::npos) << saved;
    EXPECT_EQ(LoadExcludeDirectories(LoadVantrelSettings(FileName)), (std::vector<std::wstring>{L"E:\\B"}));

    // An unreadable file: the same error and the same kept copy as on this thread.
    WriteBytes(FileName, "<VantrelSettings><Options>");
    {
        TSettingsLoad load(FileName, window, Loaded);
        MSG msg;
        ASSERT_GT(::GetMessageW(&msg, window, Loaded, Loaded), 0);
        loaded = load.Take();
    }
    std::wstring error;
    OpenVantrelSettings(FileName, error);
    EXPECT_EQ(loaded.ErrorMessage, error);
    EXPECT_TRUE(loaded.ExcludeDirectories.empty());
    EXPECT_EQ(loaded.Settings.UnreadableFileName(), FileName);
    ::DestroyWindow(window);
}
