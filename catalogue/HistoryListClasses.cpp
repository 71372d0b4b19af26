// Special actions that erase the most-recently-used lists applications keep
// under HKEY_CURRENT_USER. The inherited Execute does the clearing: every value
// of every listed key goes, the keys and their subkeys stay.
#include "catalogue/SpecialActionClasses.h"
#include "texts/Texts.h"

#include "engine/SystemRoutines.h"

#include <windows.h>
#include <shellapi.h>
#include <shlobj.h>

namespace {

bool UserKeyExists(const wchar_t* keyPath) { return RegistryKeyExists(HKEY_CURRENT_USER, keyPath); }

void AddKeys(std::vector<std::wstring>& keys, const wchar_t* prefix, std::initializer_list<const wchar_t*> names) {
    for (const wchar_t* name : names) keys.push_back(std::wstring(prefix) + name);
}

}  // namespace

// --- Windows accessories and the Run box ---

void TClearWindowsAccessoriesRecentFileLists::Configure(std::wstring& Name, std::wstring& ProgressText,
                                                        std::wstring& FirstInfoLine, std::wstring& SecondInfoLine) {
    Name = LoadText(TTextId::ActionAccessoriesMru);
    ProgressText = LoadText(TTextId::ProgressAccessoriesMru);
    FirstInfoLine = LoadText(TTextId::InfoAccessoriesMru1);
    SecondInfoLine = LoadText(TTextId::InfoAccessoriesMru2);
    RegistryKeys.push_back(L"\\Software\\Microsoft\\Windows\\CurrentVersion\\Applets\\Paint\\Recent File List");
    RegistryKeys.push_back(L"\\Software\\Microsoft\\Windows\\CurrentVersion\\Applets\\Wordpad\\Recent File List");
}

void TClearWindowsRunMRU::Configure(std::wstring& Name, std::wstring& ProgressText, std::wstring& FirstInfoLine,
                                    std::wstring& SecondInfoLine) {
    Name = LoadText(TTextId::ActionRunMru);
    ProgressText = LoadText(TTextId::ProgressRunMru);
    FirstInfoLine = LoadText(TTextId::InfoRunMru1);
    SecondInfoLine = LoadText(TTextId::InfoRunMru2);
    RegistryKeys.push_back(L"\\Software\\Microsoft\\Windows\\CurrentVersion\\Explorer\\RunMRU");
}

// --- Microsoft Office ---

bool TClearOfficeRecentFileLists::IsAvailable() { return UserKeyExists(L"\\Software\\Microsoft\\Office"); }

void TClearOfficeRecentFileLists::Configure(std::wstring& Name, std::wstring& ProgressText,
                                            std::wstring& FirstInfoLine, std::wstring&) {
    Name = LoadText(TTextId::ActionOfficeMru);
    ProgressText = LoadText(TTextId::ProgressOfficeMru);
    FirstInfoLine = LoadText(TTextId::InfoOfficeMru);
    // Excel calls its list "Recent Files", PowerPoint and Publisher "Recent File List".
    for (const wchar_t* list : {L"Excel\\Recent Files", L"PowerPoint\\Recent File List", L"Publisher\\Recent File List"})
        for (const wchar_t* version : {L"9.0", L"10.0", L"11.0"})
            RegistryKeys.push_back(std::wstring(L"\\Software\\Microsoft\\Office\\") + version + L"\\" + list);
}

void TClearOfficeRecentFileLists::Execute() {
    TCleanupSpecialActionItem::Execute();
    // Without the application-data folder the path would be relative to the
    // current directory, and the shell would delete whatever lies there.
    const std::wstring appData = GetSpecialFolder(CSIDL_APPDATA);
    if (appData.empty()) return;
    // Office makes the folder again when it needs it.
    const std::wstring from = appData + L"Microsoft\\Office\\Recent" + L'\0';  // a list of one: two zeros at the end
    SHFILEOPSTRUCTW operation = {};
    operation.hwnd = ApplicationMainWindow();
    operation.wFunc = FO_DELETE;
    operation.pFrom = from.c_str();
    constexpr FILEOP_FLAGS flags = FOF_SILENT | FOF_NOCONFIRMATION | FOF_FILESONLY | FOF_NOCONFIRMMKDIR | FOF_NOERRORUI;
    static_assert(flags == 0x694);  // and no FOF_ALLOWUNDO: the shortcuts do not go to the recycle bin
    operation.fFlags = flags;
    ::SHFileOperationW(&operation);
}

// --- Archivers, burning, web design ---

bool TClearWinZipHistory::IsAvailable() { return UserKeyExists(L"\\Software\\Nico Mak Computing\\WinZip"); }

void TClearWinZipHistory::Configure(std::wstring& Name, std::wstring& ProgressText, std::wstring& FirstInfoLine,
                                    std::wstring& SecondInfoLine) {
    Name = FormatText(TTextId::ActionProductHistory, L"WinZip");
    ProgressText = FormatText(TTextId::ProgressProductHistory, L"WinZip");
    FirstInfoLine = FormatText(TTextId::InfoProductHistory, L"WinZip");
    SecondInfoLine.clear();
    RegistryKeys.push_back(L"\\Software\\Nico Mak Computing\\WinZip\\extract");
    RegistryKeys.push_back(L"\\Software\\Nico Mak Computing\\WinZip\\filemenu");
}

bool TClearWinRarHistory::IsAvailable() { return UserKeyExists(L"\\Software\\WinRAR"); }

void TClearWinRarHistory::Configure(std::wstring& Name, std::wstring& ProgressText, std::wstring& FirstInfoLine,
                                    std::wstring&) {
    Name = FormatText(TTextId::ActionProductHistory, L"WinRar");
    ProgressText = FormatText(TTextId::ProgressProductHistory, L"WinRar");
    FirstInfoLine = FormatText(TTextId::InfoProductHistory, L"WinRar");
    RegistryKeys.push_back(L"\\Software\\WinRAR\\ArcHistory");
}

bool TClearNeroBurningRomHistory::IsAvailable() { return UserKeyExists(L"\\Software\\Ahead\\Nero - Burning Rom"); }

void TClearNeroBurningRomHistory::Configure(std::wstring& Name, std::wstring& ProgressText,
                                            std::wstring& FirstInfoLine, std::wstring&) {
    Name = FormatText(TTextId::ActionProductHistory, L"Nero Burning Rom");
    ProgressText = FormatText(TTextId::ProgressProductHistory, L"Nero Burning Rom");
    FirstInfoLine = FormatText(TTextId::InfoProductHistory, L"Nero Burning Rom");
    RegistryKeys.push_back(L"\\Software\\Ahead\\Nero - Burning Rom\\Recent File List");
}

bool TClearMacromediaDreamweaverHistory::IsAvailable() {
    return UserKeyExists(L"\\Software\\Macromedia\\Dreamweaver MX 2004");
}

void TClearMacromediaDreamweaverHistory::Configure(std::wstring& Name, std::wstring& ProgressText,
                                                   std::wstring& FirstInfoLine, std::wstring&) {
    Name = FormatText(TTextId::ActionProductHistory, L"Dreamweaver");
    ProgressText = FormatText(TTextId::ProgressProductHistory, L"Dreamweaver");
    FirstInfoLine = FormatText(TTextId::InfoProductHistory, L"Macromedia Dreamweaver");
    RegistryKeys.push_back(L"\\Software\\Macromedia\\Dreamweaver MX 2004\\Recent File List");
}

// --- Borland Developer Studio ---

bool TClearBDSHistory::IsAvailable() { return UserKeyExists(L"\\Software\\Borland\\BDS"); }

void TClearBDSHistory::Configure(std::wstring& Name, std::wstring& ProgressText, std::wstring& FirstInfoLine,
                                 std::wstring&) {
    Name = FormatText(TTextId::ActionProductHistory, L"Borland Developer Studio");
    ProgressText = FormatText(TTextId::ProgressProductHistory, L"Borland Developer Studio");
    FirstInfoLine = FormatText(TTextId::InfoProductHistory, L"Borland Developer Studio");
    // Delphi 6 and 7 spell their first two lists with a capital I ("hI...").
    const std::initializer_list<const wchar_t*> delphiLists = {
        L"hIBrowsingPath", L"hIPackgeSearchPath", L"hlBlockIndent",  L"hlDCPOutput",
        L"hlDPLOutput",    L"hlFileMasks",        L"hlFindError",    L"hlGutterWidth",
        L"hlLibraryPath",  L"hlReplaceText",      L"hlRightMargin",  L"hlSearchReplaceText",
        L"hlSearchText",   L"hlSyntaxExtensions", L"hlTabStops",     L"hlUndoLimit"};
    AddKeys(RegistryKeys, L"\\Software\\Borland\\Delphi\\6.0\\History Lists\\", delphiLists);
    AddKeys(RegistryKeys, L"\\Software\\Borland\\Delphi\\7.0\\History Lists\\", delphiLists);
    AddKeys(RegistryKeys, L"\\Software\\Borland\\BDS\\3.0\\History Lists\\",
            {L"hlBlockIndent", L"hlDCPOutput", L"hlDebugDCUILPath", L"hlDebugDCUPath", L"hlDNETBrowsingPath",
             L"hlDNETLibraryPath", L"hlDNETNamespaceSearchPath", L"hlDPLOutput", L"hlFileMasks", L"hlGutterWidth",
             L"hlLibraryPath", L"hlRightMargin", L"hlSearchText", L"hlSyntaxExtensions", L"hlTabStops",
             L"hlUndoLimit", L"URL History List"});
}

// --- Windows Media Player ---

bool TClearWindowsMediaPlayerHistory::IsAvailable() { return UserKeyExists(L"\\Software\\Microsoft\\MediaPlayer"); }

void TClearWindowsMediaPlayerHistory::Configure(std::wstring& Name, std::wstring& ProgressText,
                                                std::wstring& FirstInfoLine, std::wstring&) {
    Name = FormatText(TTextId::ActionProductHistory, L"Windows Media Player");
    ProgressText = FormatText(TTextId::ProgressProductHistory, L"Windows Media Player");
    FirstInfoLine = FormatText(TTextId::InfoProductHistory, L"Windows Media Player");
    RegistryKeys.push_back(L"\\Software\\Microsoft\\MediaPlayer\\Player\\RecentFileList");
    RegistryKeys.push_back(L"\\Software\\Microsoft\\MediaPlayer\\Player\\RecentURLList");
    RegistryKeys.push_back(L"\\Software\\Microsoft\\MediaPlayer\\AutoComplete\\MediaEdit");
    RegistryKeys.push_back(L"\\Software\\Microsoft\\MediaPlayer\\AutoComplete\\MediaSearch");
}
