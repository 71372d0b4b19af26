// Special actions on Windows itself and on Internet Explorer.
#include "catalogue/SpecialActionClasses.h"
#include "texts/Texts.h"

#include "engine/SystemRoutines.h"

#include <windows.h>

// --- TExecuteDiskCleanup ---

bool TExecuteDiskCleanup::IsAvailable() { return DiskCleanupExists(); }

void TExecuteDiskCleanup::Configure(std::wstring& Name, std::wstring& ProgressText, std::wstring& FirstInfoLine,
                                    std::wstring& SecondInfoLine) {
    Name = LoadText(TTextId::ActionDiskCleanup);
    ProgressText = LoadText(TTextId::ProgressDiskCleanup);
    FirstInfoLine = LoadText(TTextId::InfoDiskCleanup);
    SecondInfoLine.clear();
}

void TExecuteDiskCleanup::Execute() {
    TCleanupSpecialActionItem::Execute();
    RunDiskCleanup();
}

// --- TEmptyRecycleBin ---

bool TEmptyRecycleBin::IsAvailable() { return CanEmptyRecycleBin(); }

void TEmptyRecycleBin::Configure(std::wstring& Name, std::wstring& ProgressText, std::wstring&, std::wstring&) {
    // The info lines are asked of the shell whenever they are shown.
    Name = LoadText(TTextId::ActionRecycleBin);
    ProgressText = LoadText(TTextId::ProgressRecycleBin);
}

TCleanupItemState TEmptyRecycleBin::GetState() {
    const int32_t count = QueryRecycleBin(false);
    if (count >= 1) return TCleanupItemState::csFilesFound;
    if (count == 0) return TCleanupItemState::csNothingFound;
    return TCleanupItemState::csNotCounted;
}

void TEmptyRecycleBin::GetFirstInfoLine(std::wstring& Text) {
    const int32_t count = QueryRecycleBin(false);
    // Any negative count is a failure, as GetState reads it; only -1 ever comes back.
    if (count < 0)
        Text = LoadText(TTextId::InfoRecycleBinEmpties);
    else if (count == 0)
        Text = LoadText(TTextId::InfoRecycleBinEmpty);
    else if (count == 1)
        Text = LoadText(TTextId::InfoRecycleBinOneFile);
    else
        Text = FormatText(TTextId::InfoRecycleBinFiles, count);
}

void TEmptyRecycleBin::GetSecondInfoLine(std::wstring& Text) {
    if (GetState() != TCleanupItemState::csFilesFound) {
        TCleanupSpecialActionItem::GetSecondInfoLine(Text);
        return;
    }
    Text = FormatText(TTextId::InfoRecycleBinSize, FormatSizeText(QueryRecycleBin(true)));
}

void TEmptyRecycleBin::Execute() {
    TCleanupSpecialActionItem::Execute();
    EmptyRecycleBin();
}

// --- TClearNethood ---

void TClearNethood::Configure(std::wstring& Name, std::wstring& ProgressText, std::wstring& FirstInfoLine,
                              std::wstring& SecondInfoLine) {
    Name = LoadText(TTextId::ActionNetworkShares);
    ProgressText = LoadText(TTextId::ProgressNetworkShares);
    FirstInfoLine = LoadText(TTextId::InfoNetworkShares1);
    SecondInfoLine = LoadText(TTextId::InfoNetworkShares2);
    RegistryKeys.push_back(L"\\Software\\Microsoft\\Windows\\CurrentVersion\\Explorer\\ComputerDescriptions");
}

void TClearNethood::Execute() {
    TCleanupSpecialActionItem::Execute();
    ClearNetHoodFolder();
}

// --- TClearIECache ---

void TClearIECache::Configure(std::wstring& Name, std::wstring& ProgressText, std::wstring& FirstInfoLine,
                              std::wstring& SecondInfoLine) {
    Name = LoadText(TTextId::ActionIeCache);
    ProgressText = LoadText(TTextId::ProgressIeCache);
    FirstInfoLine = LoadText(TTextId::InfoIeCache);
    SecondInfoLine.clear();
}

void TClearIECache::Execute() {
    TCleanupSpecialActionItem::Execute();
    ClearUrlCache(true, false);
}

// --- TClearIECookies ---

void TClearIECookies::Configure(std::wstring& Name, std::wstring& ProgressText, std::wstring& FirstInfoLine,
                                std::wstring& SecondInfoLine) {
    Name = LoadText(TTextId::ActionIeCookies);
    ProgressText = LoadText(TTextId::ProgressIeCookies);
    FirstInfoLine = LoadText(TTextId::InfoIeCookies);
    SecondInfoLine = LoadText(TTextId::InfoKeepSignedIn);
}

void TClearIECookies::Execute() {
    TCleanupSpecialActionItem::Execute();
    ClearUrlCache(false, true);
}

// --- TClearIEHistory ---

void TClearIEHistory::Configure(std::wstring& Name, std::wstring& ProgressText, std::wstring& FirstInfoLine,
                                std::wstring& SecondInfoLine) {
    Name = LoadText(TTextId::ActionIeHistory);
    ProgressText = LoadText(TTextId::ProgressIeHistory);
    FirstInfoLine = LoadText(TTextId::InfoIeHistory1);
    SecondInfoLine = LoadText(TTextId::InfoIeHistory2);
    RegistryKeys.push_back(L"\\Software\\Microsoft\\Internet Explorer\\TypedURLs");
}

void TClearIEHistory::Execute() {
    // The typed URLs go first, so they are gone even when the history store cannot be reached.
    TCleanupSpecialActionItem::Execute();
    ClearUrlHistory();
}

// --- TEmptyEventLog ---

bool IsEventLogClearingOffered(DWORD PlatformId, DWORD MajorVersion, DWORD MinorVersion) {
    if (PlatformId != VER_PLATFORM_WIN32_NT) return false;
    return MajorVersion == 4 || (MajorVersion == 5 && MinorVersion <= 2);
}

namespace {

// The version the system really runs. GetVersionExW answers with the newest
// version the executable's manifest declares support for, so it is only the
// fallback for systems without RtlGetVersion (NT 4.0).
OSVERSIONINFOEXW SystemVersion() {
    OSVERSIONINFOEXW version = {};
    version.dwOSVersionInfoSize = sizeof(version);
    using TRtlGetVersion = LONG(WINAPI*)(OSVERSIONINFOEXW*);
    if (HMODULE ntdll = ::GetModuleHandleW(L"ntdll.dll")) {
        const auto rtlGetVersion =
            reinterpret_cast<TRtlGetVersion>(reinterpret_cast<void*>(::GetProcAddress(ntdll, "RtlGetVersion")));
        if (rtlGetVersion != nullptr && rtlGetVersion(&version) == 0) return version;
    }
    version = {};
    version.dwOSVersionInfoSize = sizeof(OSVERSIONINFOW);
    if (!::GetVersionExW(reinterpret_cast<OSVERSIONINFOW*>(&version))) version = {};
    return version;
}

}  // namespace

bool TEmptyEventLog::IsAvailable() {
    const OSVERSIONINFOEXW version = SystemVersion();
    return IsEventLogClearingOffered(version.dwPlatformId, version.dwMajorVersion, version.dwMinorVersion);
}

void ClearEventLogsInOrder(const std::function<void(TEventLogKind)>& Clear) {
    for (TEventLogKind log : {elApplication, elSecurity, elSystem}) Clear(log);
}

void TEmptyEventLog::Configure(std::wstring& Name, std::wstring& ProgressText, std::wstring& FirstInfoLine,
                               std::wstring& SecondInfoLine) {
    Name = LoadText(TTextId::ActionEventLogs);
    ProgressText = LoadText(TTextId::ProgressEventLogs);
    FirstInfoLine = LoadText(TTextId::InfoEventLogs1);
    SecondInfoLine = LoadText(TTextId::InfoEventLogs2);
}

void TEmptyEventLog::Execute() {
    TCleanupSpecialActionItem::Execute();
    ClearEventLogsInOrder(&ClearEventLog);
}
