// Special actions on Windows itself and on Internet Explorer.
#include "catalogue/SpecialActionClasses.h"

#include "engine/SystemRoutines.h"

#include <windows.h>

// --- TExecuteDiskCleanup ---

bool TExecuteDiskCleanup::IsAvailable() { return DiskCleanupExists(); }

void TExecuteDiskCleanup::Configure(std::wstring& Name, std::wstring& ProgressText, std::wstring& FirstInfoLine,
                                    std::wstring& SecondInfoLine) {
    Name = L"执行 Windows 磁盘清理";
    ProgressText = L"正在执行 Windows 磁盘清理...";
    FirstInfoLine = L"此操作将执行 Windows 磁盘清理工具。";
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
    Name = L"清空 Windows 回收站";
    ProgressText = L"清空 Windows 回收站...";
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
        Text = L"此操作将清空回收站。";
    else if (count == 0)
        Text = L"回收站是空的。";
    else if (count == 1)
        Text = L"回收站包含一个文件。";
    else
        Text = L"回收站包含 " + std::to_wstring(count) + L" 个文件";
}

void TEmptyRecycleBin::GetSecondInfoLine(std::wstring& Text) {
    if (GetState() != TCleanupItemState::csFilesFound) {
        TCleanupSpecialActionItem::GetSecondInfoLine(Text);
        return;
    }
    Text = L"回收站中的文件大小总计: " + FormatSizeText(QueryRecycleBin(true));
}

void TEmptyRecycleBin::Execute() {
    TCleanupSpecialActionItem::Execute();
    EmptyRecycleBin();
}

// --- TClearNethood ---

void TClearNethood::Configure(std::wstring& Name, std::wstring& ProgressText, std::wstring& FirstInfoLine,
                              std::wstring& SecondInfoLine) {
    Name = L"清除网络共享历史记录";
    ProgressText = L"正在清除网络共享历史记录...";
    FirstInfoLine = L"此操作将清除最近使用的网络共享列表";
    SecondInfoLine = L"和相关的计算机描述。";
    RegistryKeys.push_back(L"\\Software\\Microsoft\\Windows\\CurrentVersion\\Explorer\\ComputerDescriptions");
}

void TClearNethood::Execute() {
    TCleanupSpecialActionItem::Execute();
    ClearNetHoodFolder();
}

// --- TClearIECache ---

void TClearIECache::Configure(std::wstring& Name, std::wstring& ProgressText, std::wstring& FirstInfoLine,
                              std::wstring& SecondInfoLine) {
    Name = L"清除 Internet Explorer 缓存";
    ProgressText = L"正在清除 Internet Explorer 缓存... (这可能需要几分钟时间)";
    FirstInfoLine = L"此操作将清除 IE 缓存，cookies 除外。";
    SecondInfoLine.clear();
}

void TClearIECache::Execute() {
    TCleanupSpecialActionItem::Execute();
    ClearUrlCache(true, false);
}

// --- TClearIECookies ---

void TClearIECookies::Configure(std::wstring& Name, std::wstring& ProgressText, std::wstring& FirstInfoLine,
                                std::wstring& SecondInfoLine) {
    Name = L"清除 Internet Explorer cookies";
    ProgressText = L"正在清除 Internet Explorer cookies...";
    FirstInfoLine = L"您可能想要保留 Internet Explorer cookies";
    SecondInfoLine = L"以保持登录到经常访问的站点。";
}

void TClearIECookies::Execute() {
    TCleanupSpecialActionItem::Execute();
    ClearUrlCache(false, true);
}

// --- TClearIEHistory ---

void TClearIEHistory::Configure(std::wstring& Name, std::wstring& ProgressText, std::wstring& FirstInfoLine,
                                std::wstring& SecondInfoLine) {
    Name = L"清除 Internet Explorer 历史记录";
    ProgressText = L"正在清除 Internet Explorer 历史记录..";
    FirstInfoLine = L"此操作将清除 Internet Explorer 历史记录";
    SecondInfoLine = L"和最近输入的 URL 列表";
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
    Name = L"清空 Windows 事件日志";
    ProgressText = L"正在清空 Windows 事件日志..";
    FirstInfoLine = L"此操作将清除 Windows 应用程序、安全";
    SecondInfoLine = L"和系统事件日志。";
}

void TEmptyEventLog::Execute() {
    TCleanupSpecialActionItem::Execute();
    ClearEventLogsInOrder(&ClearEventLog);
}
