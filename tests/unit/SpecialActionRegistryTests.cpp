// The registry side of the special actions, against the sandbox's registry.
//
// The history lists live at fixed places under HKEY_CURRENT_USER, which other
// test processes may use at the same time. Each test here therefore points this
// process's HKEY_CURRENT_USER at an empty key of its own (RegOverridePredefKey):
// the actions run unchanged against real keys, and nothing else sees them.
#include "catalogue/SpecialActionClasses.h"
#include "engine/SystemRoutines.h"
#include "platform/Registry.h"
#include "SandboxTestSupport.h"

#include <gtest/gtest.h>

#include <windows.h>
#include <objbase.h>
#include <shlobj.h>

#include <memory>
#include <string>
#include <vector>

namespace {

using Strings = std::vector<std::wstring>;

template <class T>
std::unique_ptr<TCleanupSpecialActionItem> Make() {
    std::unique_ptr<TCleanupCustomItem> item = TCleanupCustomItem::ClassOf<T>().Create();
    return std::unique_ptr<TCleanupSpecialActionItem>(dynamic_cast<TCleanupSpecialActionItem*>(item.release()));
}

std::wstring Relative(const std::wstring& path) { return path[0] == L'\\' ? path.substr(1) : path; }

class SpecialActionRegistry : public ::testing::Test {
protected:
    void SetUp() override {
        FScratch = L"Software\\VantrelTests\\SpecialActions-" + std::to_wstring(::GetCurrentProcessId()) + L"-" +
                   std::to_wstring(::GetTickCount64());
        FAppData = GetSpecialFolder(CSIDL_APPDATA);
        ASSERT_EQ(::RegCreateKeyExW(HKEY_CURRENT_USER, FScratch.c_str(), 0, nullptr, 0, KEY_ALL_ACCESS, nullptr,
                                    FRoot.Receive(), nullptr),
                  ERROR_SUCCESS);
        ASSERT_EQ(::RegOverridePredefKey(HKEY_CURRENT_USER, FRoot.Get()), ERROR_SUCCESS);
        FRedirected = true;
        // Prove the redirection: a key made through HKEY_CURRENT_USER lands below the scratch key.
        CreateKey(L"\\Probe");
        TRegKey probe;
        ASSERT_EQ(::RegOpenKeyExW(FRoot.Get(), L"Probe", 0, KEY_READ, probe.Receive()), ERROR_SUCCESS);
    }
    void TearDown() override {
        if (FRedirected) ::RegOverridePredefKey(HKEY_CURRENT_USER, nullptr);
        ::RegDeleteTreeW(HKEY_CURRENT_USER, FScratch.c_str());
        ::RegDeleteKeyW(HKEY_CURRENT_USER, L"Software\\VantrelTests");  // only goes when no one else uses it
    }

    static void CreateKey(const std::wstring& path) {
        TRegKey key;
        ASSERT_EQ(::RegCreateKeyExW(HKEY_CURRENT_USER, Relative(path).c_str(), 0, nullptr, 0, KEY_ALL_ACCESS, nullptr,
                                    key.Receive(), nullptr),
                  ERROR_SUCCESS);
    }
    static void SetValue(const std::wstring& path, const std::wstring& name, const std::wstring& data) {
        TRegKey key;
        ASSERT_EQ(::RegCreateKeyExW(HKEY_CURRENT_USER, Relative(path).c_str(), 0, nullptr, 0, KEY_ALL_ACCESS, nullptr,
                                    key.Receive(), nullptr),
                  ERROR_SUCCESS);
        ASSERT_EQ(::RegSetValueExW(key.Get(), name.c_str(), 0, REG_SZ, reinterpret_cast<const BYTE*>(data.c_str()),
                                   static_cast<DWORD>((data.size() + 1) * sizeof(wchar_t))),
                  ERROR_SUCCESS);
    }
    // A history key as an application leaves it: numbered values, a default
    // value, and a subkey with a value of its own.
    static void FillList(const std::wstring& path) {
        SetValue(path, L"", L"default");
        SetValue(path, L"File1", L"C:\\a.txt");
        SetValue(path, L"File2", L"C:\\b.txt");
        SetValue(path + L"\\Nested", L"Kept", L"x");
    }
    static bool KeyExists(const std::wstring& path) { return RegistryKeyExists(HKEY_CURRENT_USER, path); }
    // -1 when the key is missing.
    static int ValueCount(const std::wstring& path) {
        TRegKey key;
        if (::RegOpenKeyExW(HKEY_CURRENT_USER, Relative(path).c_str(), 0, KEY_READ, key.Receive()) != ERROR_SUCCESS)
            return -1;
        DWORD values = 0;
        ::RegQueryInfoKeyW(key.Get(), nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, &values, nullptr, nullptr,
                           nullptr, nullptr);
        return static_cast<int>(values);
    }
    static void ExpectCleared(const std::wstring& path) {
        SCOPED_TRACE(testing::PrintToString(path));
        EXPECT_EQ(ValueCount(path), 0);
        EXPECT_EQ(ValueCount(path + L"\\Nested"), 1);
    }
    static void ExpectUntouched(const std::wstring& path) {
        SCOPED_TRACE(testing::PrintToString(path));
        EXPECT_EQ(ValueCount(path), 3);
        EXPECT_EQ(ValueCount(path + L"\\Nested"), 1);
    }

    std::wstring FScratch;
    std::wstring FAppData;  // as the shell names it with the real HKEY_CURRENT_USER
    TRegKey FRoot;
    bool FRedirected = false;
};

struct TListCase {
    const char* Class;
    std::unique_ptr<TCleanupSpecialActionItem> (*Make)();
    Strings Keys;     // in the order they are cleared
    Strings Others;   // neighbours that must keep their values
};

Strings Prefixed(const std::wstring& prefix, const Strings& names) {
    Strings keys;
    for (const auto& name : names) keys.push_back(prefix + name);
    return keys;
}

Strings Joined(std::initializer_list<Strings> parts) {
    Strings all;
    for (const auto& part : parts) all.insert(all.end(), part.begin(), part.end());
    return all;
}

std::vector<TListCase> ListCases() {
    const std::wstring office = L"\\Software\\Microsoft\\Office\\";
    const Strings delphi = {L"hIBrowsingPath", L"hIPackgeSearchPath", L"hlBlockIndent", L"hlDCPOutput",
                            L"hlDPLOutput", L"hlFileMasks", L"hlFindError", L"hlGutterWidth", L"hlLibraryPath",
                            L"hlReplaceText", L"hlRightMargin", L"hlSearchReplaceText", L"hlSearchText",
                            L"hlSyntaxExtensions", L"hlTabStops", L"hlUndoLimit"};
    const Strings bds = {L"hlBlockIndent", L"hlDCPOutput", L"hlDebugDCUILPath", L"hlDebugDCUPath",
                         L"hlDNETBrowsingPath", L"hlDNETLibraryPath", L"hlDNETNamespaceSearchPath", L"hlDPLOutput",
                         L"hlFileMasks", L"hlGutterWidth", L"hlLibraryPath", L"hlRightMargin", L"hlSearchText",
                         L"hlSyntaxExtensions", L"hlTabStops", L"hlUndoLimit", L"URL History List"};
    const std::wstring applets = L"\\Software\\Microsoft\\Windows\\CurrentVersion\\Applets\\";
    return {
        {"Accessories", &Make<TClearWindowsAccessoriesRecentFileLists>,
         {applets + L"Paint\\Recent File List", applets + L"Wordpad\\Recent File List"},
         {applets + L"Paint\\View", applets + L"Notepad\\Recent File List"}},
        {"RunMRU", &Make<TClearWindowsRunMRU>,
         {L"\\Software\\Microsoft\\Windows\\CurrentVersion\\Explorer\\RunMRU"},
         {L"\\Software\\Microsoft\\Windows\\CurrentVersion\\Explorer\\RecentDocs"}},
        {"Office", &Make<TClearOfficeRecentFileLists>,
         {office + L"9.0\\Excel\\Recent Files", office + L"10.0\\Excel\\Recent Files",
          office + L"11.0\\Excel\\Recent Files", office + L"9.0\\PowerPoint\\Recent File List",
          office + L"10.0\\PowerPoint\\Recent File List", office + L"11.0\\PowerPoint\\Recent File List",
          office + L"9.0\\Publisher\\Recent File List", office + L"10.0\\Publisher\\Recent File List",
          office + L"11.0\\Publisher\\Recent File List"},
         {office + L"11.0\\Word\\Data", office + L"12.0\\Excel\\Recent Files",
          office + L"11.0\\Excel\\Recent File List", office + L"8.0\\PowerPoint\\Recent File List",
          office + L"11.0\\Publisher\\Options"}},
        {"WinZip", &Make<TClearWinZipHistory>,
         {L"\\Software\\Nico Mak Computing\\WinZip\\extract", L"\\Software\\Nico Mak Computing\\WinZip\\filemenu"},
         {L"\\Software\\Nico Mak Computing\\WinZip", L"\\Software\\Nico Mak Computing\\WinZip\\WinZip"}},
        {"WinRAR", &Make<TClearWinRarHistory>, {L"\\Software\\WinRAR\\ArcHistory"},
         {L"\\Software\\WinRAR", L"\\Software\\WinRAR\\DialogEditHistory\\ArcName"}},
        {"Nero", &Make<TClearNeroBurningRomHistory>, {L"\\Software\\Ahead\\Nero - Burning Rom\\Recent File List"},
         {L"\\Software\\Ahead\\Nero - Burning Rom\\General"}},
        {"Dreamweaver", &Make<TClearMacromediaDreamweaverHistory>,
         {L"\\Software\\Macromedia\\Dreamweaver MX 2004\\Recent File List"},
         {L"\\Software\\Macromedia\\Dreamweaver 8\\Recent File List"}},
        {"BDS", &Make<TClearBDSHistory>,
         Joined({Prefixed(L"\\Software\\Borland\\Delphi\\6.0\\History Lists\\", delphi),
                 Prefixed(L"\\Software\\Borland\\Delphi\\7.0\\History Lists\\", delphi),
                 Prefixed(L"\\Software\\Borland\\BDS\\3.0\\History Lists\\", bds)}),
         // Lower-case l where Delphi has a capital I; a later BDS; a list BDS 3.0 does not clear.
         {L"\\Software\\Borland\\Delphi\\7.0\\History Lists\\hlBrowsingPath",
          L"\\Software\\Borland\\Delphi\\5.0\\History Lists\\hlSearchText",
          L"\\Software\\Borland\\BDS\\4.0\\History Lists\\hlSearchText",
          L"\\Software\\Borland\\BDS\\3.0\\History Lists\\hlReplaceText"}},
        {"MediaPlayer", &Make<TClearWindowsMediaPlayerHistory>,
         {L"\\Software\\Microsoft\\MediaPlayer\\Player\\RecentFileList",
          L"\\Software\\Microsoft\\MediaPlayer\\Player\\RecentURLList",
          L"\\Software\\Microsoft\\MediaPlayer\\AutoComplete\\MediaEdit",
          L"\\Software\\Microsoft\\MediaPlayer\\AutoComplete\\MediaSearch"},
         {L"\\Software\\Microsoft\\MediaPlayer\\Player\\Settings"}},
    };
}

}  // namespace

// The values of exactly the listed keys go, in the listed order; subkeys and
// their values stay, and neighbouring lists keep theirs.
TEST_F(SpecialActionRegistry, HistoryListsClearExactlyTheirKeys) {
    TSandboxLock officeFolder(L"OfficeRecentFolder");  // the Office action also deletes a folder
    for (const auto& c : ListCases()) {
        SCOPED_TRACE(c.Class);
        for (const auto& key : c.Keys) FillList(key);
        for (const auto& key : c.Others) FillList(key);
        auto item = c.Make();
        EXPECT_EQ(item->RegistryKeys, c.Keys);
        item->Perform();
        for (const auto& key : c.Keys) ExpectCleared(key);
        for (const auto& key : c.Others) ExpectUntouched(key);
    }
}

TEST_F(SpecialActionRegistry, MissingKeysArePassedOverSilently) {
    TSandboxLock officeFolder(L"OfficeRecentFolder");
    CreateKey(L"\\Software\\WinRAR");
    for (const auto& c : ListCases()) {
        SCOPED_TRACE(c.Class);
        EXPECT_NO_THROW(c.Make()->Perform());
        for (const auto& key : c.Keys) EXPECT_FALSE(KeyExists(key)) << "created " << testing::PrintToString(key);
    }
}

TEST_F(SpecialActionRegistry, HistoryListsAreOfferedOnlyWithTheirApplicationKey) {
    struct TCase {
        const wchar_t* Key;
        bool (*IsAvailable)();
    };
    const TCase cases[] = {
        {L"\\Software\\Microsoft\\Office", &TClearOfficeRecentFileLists::IsAvailable},
        {L"\\Software\\Nico Mak Computing\\WinZip", &TClearWinZipHistory::IsAvailable},
        {L"\\Software\\WinRAR", &TClearWinRarHistory::IsAvailable},
        {L"\\Software\\Ahead\\Nero - Burning Rom", &TClearNeroBurningRomHistory::IsAvailable},
        {L"\\Software\\Macromedia\\Dreamweaver MX 2004", &TClearMacromediaDreamweaverHistory::IsAvailable},
        {L"\\Software\\Borland\\BDS", &TClearBDSHistory::IsAvailable},
        {L"\\Software\\Microsoft\\MediaPlayer", &TClearWindowsMediaPlayerHistory::IsAvailable},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(testing::PrintToString(std::wstring(c.Key)));
        EXPECT_FALSE(c.IsAvailable());
        CreateKey(c.Key);
        EXPECT_TRUE(c.IsAvailable());
        ASSERT_EQ(::RegDeleteTreeW(HKEY_CURRENT_USER, Relative(c.Key).c_str()), ERROR_SUCCESS);
        EXPECT_FALSE(c.IsAvailable());
    }
    // Delphi alone does not make the Borland action appear, though it clears Delphi's lists.
    CreateKey(L"\\Software\\Borland\\Delphi\\7.0\\History Lists");
    EXPECT_FALSE(TClearBDSHistory::IsAvailable());
    // The accessories and the Run box are part of Windows.
    EXPECT_TRUE(TClearWindowsAccessoriesRecentFileLists::IsAvailable());
    EXPECT_TRUE(TClearWindowsRunMRU::IsAvailable());
}

TEST_F(SpecialActionRegistry, OfficeAlsoDeletesTheRecentShortcutFolder) {
    TSandboxLock officeFolder(L"OfficeRecentFolder");
    const std::wstring appData = GetSpecialFolder(CSIDL_APPDATA);
    ASSERT_FALSE(appData.empty());
    ASSERT_EQ(appData, FAppData);  // the redirection does not move the folder the action deletes
    ASSERT_EQ(appData.rfind(L"C:\\", 0), 0u);
    const std::wstring office = appData + L"Microsoft\\Office\\", recent = office + L"Recent\\";
    if (PathExists(recent)) GTEST_SKIP() << "an Office recent folder exists already";
    const bool hadOffice = PathExists(office);
    ASSERT_TRUE(CreateDirectoryTree(recent + L"Old Project"));
    ASSERT_TRUE(WriteTestFile(recent + L"report.doc.lnk", "link"));
    ASSERT_TRUE(WriteTestFile(recent + L"Old Project\\plan.xls.lnk", "link"));
    ASSERT_TRUE(::SetFileAttributesW((recent + L"report.doc.lnk").c_str(), FILE_ATTRIBUTE_HIDDEN));
    const std::wstring neighbour = office + L"vt-neighbour-" + std::to_wstring(::GetCurrentProcessId()) + L".txt";
    ASSERT_TRUE(WriteTestFile(neighbour, "stays"));

    Make<TClearOfficeRecentFileLists>()->Perform();

    EXPECT_FALSE(PathExists(recent));
    EXPECT_EQ(ReadTestFile(neighbour), "stays");
    ::DeleteFileW(neighbour.c_str());
    if (!hadOffice) DeleteDirectoryTree(office);

    // A second run finds no folder and says nothing.
    EXPECT_NO_THROW(Make<TClearOfficeRecentFileLists>()->Perform());
}

// Wine's history store cannot clear (ClearHistory answers E_NOTIMPL); the typed URLs still go.
TEST_F(SpecialActionRegistry, InternetExplorerHistoryClearsTheTypedUrls) {
    ASSERT_TRUE(SUCCEEDED(::CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED)));
    const std::wstring typed = L"\\Software\\Microsoft\\Internet Explorer\\TypedURLs";
    SetValue(typed, L"url1", L"http://vantrel.test/one");
    SetValue(typed, L"url2", L"http://vantrel.test/two");
    SetValue(L"\\Software\\Microsoft\\Internet Explorer\\Main", L"Start Page", L"about:blank");

    auto item = Make<TClearIEHistory>();
    EXPECT_EQ(item->RegistryKeys, Strings{typed});
    EXPECT_NO_THROW(item->Perform());
    EXPECT_EQ(ValueCount(typed), 0);
    EXPECT_EQ(ValueCount(L"\\Software\\Microsoft\\Internet Explorer\\Main"), 1);
    ::CoUninitialize();
}

TEST_F(SpecialActionRegistry, NethoodClearsTheComputerDescriptions) {
    TSandboxLock netHood(L"NetHood");  // the action also empties the sandbox's network-neighbourhood folder
    const std::wstring descriptions = L"\\Software\\Microsoft\\Windows\\CurrentVersion\\Explorer\\ComputerDescriptions";
    SetValue(descriptions, L"SERVER1", L"Build server");
    SetValue(descriptions, L"NAS", L"Shelf");
    auto item = Make<TClearNethood>();
    EXPECT_EQ(item->RegistryKeys, Strings{descriptions});
    item->Perform();
    EXPECT_EQ(ValueCount(descriptions), 0);
    EXPECT_TRUE(KeyExists(descriptions));
}
