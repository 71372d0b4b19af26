#include "catalogue/FileMaskClasses.h"
#include "texts/Texts.h"

#include "catalogue/FolderMasks.h"
#include "engine/Masks.h"
#include "engine/SystemRoutines.h"
#include "engine/TemporaryFolders.h"

#include <windows.h>
#include <shlobj.h>

namespace {

std::wstring WindowsMask(const wchar_t* rest) { return FolderMaskPrefix(GetWindowsDir()) + rest; }

std::wstring SpecialFolderMask(int CSIDL, const wchar_t* rest) {
    return FolderMaskPrefix(GetSpecialFolder(CSIDL)) + rest;
}

// The special folder's subfolder, or empty when the special folder is unknown.
std::wstring SpecialSubfolder(int CSIDL, const wchar_t* rest) {
    const std::wstring folder = GetSpecialFolder(CSIDL);
    return folder.empty() ? std::wstring() : folder + rest;
}

}  // namespace

// --- Offered only where the product is present ---

bool TClearRealOnePlayerHistory::IsAvailable() {
    return RegistryKeyExists(HKEY_LOCAL_MACHINE, L"\\SOFTWARE\\RealNetworks\\RealPlayer");
}

void TClearRealOnePlayerHistory::Configure(std::wstring& Name, std::wstring& Masks,
                                           TSmartProtection& SmartProtection) {
    Name = LoadText(TTextId::ActionRealOneHistory);
    Masks = MakeMaskList({L"*\\Application Data\\Real\\RealOne Player\\History\\*"});
    SmartProtection = TSmartProtection::spWeek;
}

bool TDeleteOracleClientLogFiles::IsAvailable() { return RegistryKeyExists(HKEY_LOCAL_MACHINE, L"\\Software\\Oracle"); }

void TDeleteOracleClientLogFiles::Configure(std::wstring& Name, std::wstring& Masks,
                                            TSmartProtection& SmartProtection) {
    Name = LoadText(TTextId::ActionOracleLog);
    Masks = MakeMaskList({L"*\\sqlnet.log"});
    SmartProtection = TSmartProtection::spWeek;
}

bool TDeleteTemporaryBDSFiles::IsAvailable() { return RegistryKeyExists(HKEY_CURRENT_USER, L"\\Software\\Borland\\BDS"); }

void TDeleteTemporaryBDSFiles::Configure(std::wstring& Name, std::wstring& Masks, TSmartProtection& SmartProtection) {
    Name = LoadText(TTextId::ActionBorlandTemp);
    Masks = MakeMaskList({L"*.bdsproj.local", L"*.bdsgroup.local", L"*.identcache"});
    SmartProtection = TSmartProtection::spSession;
}

bool TEmptyJavaCache::IsAvailable() {
    return FolderExists(SpecialSubfolder(CSIDL_PROFILE, L".jpi_cache")) ||
           FolderExists(SpecialSubfolder(CSIDL_APPDATA, L"Sun\\Java\\Deployment\\cache"));
}

void TEmptyJavaCache::Configure(std::wstring& Name, std::wstring& Masks, TSmartProtection& SmartProtection) {
    Name = LoadText(TTextId::ActionJavaCache);
    Masks = MakeMaskList({SpecialFolderMask(CSIDL_PROFILE, L".jpi_cache\\*"),
                          SpecialFolderMask(CSIDL_APPDATA, L"Sun\\Java\\Deployment\\cache\\*")});
    SmartProtection = TSmartProtection::spSession;
}

bool TEmptyPrefetchAppCache::IsAvailable() { return FolderExists(GetWindowsDir() + L"Prefetch"); }

void TEmptyPrefetchAppCache::Configure(std::wstring& Name, std::wstring& Masks, TSmartProtection& SmartProtection) {
    Name = LoadText(TTextId::ActionPrefetch);
    Masks = MakeMaskList({WindowsMask(L"Prefetch\\*")});
    SmartProtection = TSmartProtection::spWeek;
}

// TEmptyOutlookSecureTempDirectory reads its folders from the registry:
// FileMaskClassesDynamic.cpp.

// --- Always offered ---

void TClearWindowsRecentlyUsedDocuments::Configure(std::wstring& Name, std::wstring& Masks,
                                                   TSmartProtection& SmartProtection) {
    Name = LoadText(TTextId::ActionRecentDocuments);
    Masks = MakeMaskList({EscapedSpecialFolderMask(CSIDL_RECENT)});
    SmartProtection = TSmartProtection::spWeek;
}

void TDeleteBackupFiles::Configure(std::wstring& Name, std::wstring& Masks, TSmartProtection& SmartProtection) {
    Name = LoadText(TTextId::ActionBackupFiles);
    Masks = MakeMaskList({L"*.bak", L"*.old", L"*.000"});
    SmartProtection = TSmartProtection::spWeek;
}

void TDeleteHelpRelatedFiles::Configure(std::wstring& Name, std::wstring& Masks, TSmartProtection& SmartProtection) {
    Name = LoadText(TTextId::ActionHelpFiles);
    Masks = MakeMaskList({L"*.gid", L"*.fts", L"*.ftg"});
    SmartProtection = TSmartProtection::spWeek;
}

void TDeleteScandiskLogFiles::Configure(std::wstring& Name, std::wstring& Masks, TSmartProtection& SmartProtection) {
    Name = LoadText(TTextId::ActionChkdskLogs);
    Masks = MakeMaskList({L"?:\\Scandisk.log"});
    SmartProtection = TSmartProtection::spSession;
}

void TDeleteScandiskSavedLostClusters::Configure(std::wstring& Name, std::wstring& Masks,
                                                 TSmartProtection& SmartProtection) {
    Name = LoadText(TTextId::ActionChkdskFragments);
    Masks = MakeMaskList({L"?:\\File????.CHK"});
    SmartProtection = TSmartProtection::spSession;
}

void TDeleteTemporaryFiles::Configure(std::wstring& Name, std::wstring& Masks, TSmartProtection& SmartProtection) {
    Name = LoadText(TTextId::ActionTempFiles);
    Masks = MakeMaskList({L"*.tmp", L"*.$$$", L"*.~mp"});
    SmartProtection = TSmartProtection::spSession;
}

void TDeleteTemporaryWordFiles::Configure(std::wstring& Name, std::wstring& Masks,
                                          TSmartProtection& SmartProtection) {
    Name = LoadText(TTextId::ActionWordTemp);
    Masks = MakeMaskList({L"*\\~$*.doc"});
    SmartProtection = TSmartProtection::spSession;
}

void TDeleteThumbnailsCacheFiles::Configure(std::wstring& Name, std::wstring& Masks,
                                            TSmartProtection& SmartProtection) {
    Name = LoadText(TTextId::ActionThumbsDb);
    Masks = MakeMaskList({L"*Thumbs.db"});
    SmartProtection = TSmartProtection::spSession;
}

void TDeleteWindowsDebugMemoryDumpFiles::Configure(std::wstring& Name, std::wstring& Masks,
                                                   TSmartProtection& SmartProtection) {
    Name = LoadText(TTextId::ActionMemoryDumps);
    Masks = MakeMaskList({WindowsMask(L"Minidump\\*.dmp"), WindowsMask(L"memory.dmp")});
    SmartProtection = TSmartProtection::spSession;
}

void TDeleteWindowsLogFiles::Configure(std::wstring& Name, std::wstring& Masks, TSmartProtection& SmartProtection) {
    static const wchar_t* const BelowWindows[] = {
        L"system32\\wbem\\Logs\\*.log", L"system32\\wbem\\Logs\\*.lo_", L"KB??????.log", L"Q??????.log",
        L"setuplog.txt", L"comsetup.log", L"DirectX.log", L"FaxSetup.log", L"iis6.log", L"msmqinst.log",
        L"ntdtcsetup.log", L"ocgen.log", L"setupact.log", L"setupapi.log", L"svcpack.log", L"tsoc.log",
        L"Windows Update.log", L"WindowsUpdate.log", L"wmsetup.log", L"ntbtlog.txt", L"Debug\\*.log",
        L"Debug\\UserMode\\*.log"};
    const std::wstring windows = FolderMaskPrefix(GetWindowsDir());
    std::vector<std::wstring> masks;
    for (const wchar_t* rest : BelowWindows) masks.push_back(windows + rest);
    masks.push_back(L"*\\Application Data\\Microsoft\\Dr Watson\\*.log");
    masks.push_back(L"*\\Application Data\\Microsoft\\Dr Watson\\*.dmp");
    Name = LoadText(TTextId::ActionWindowsLogs);
    Masks = MakeMaskList(masks);
    SmartProtection = TSmartProtection::spWeek;
}

void TDeleteWindowsUpdateUninstallInformation::Configure(std::wstring& Name, std::wstring& Masks,
                                                         TSmartProtection& SmartProtection) {
    Name = LoadText(TTextId::ActionUpdateUninstall);
    Masks = MakeMaskList({WindowsMask(L"$Nt*\\*"), WindowsMask(L"$hf_mig$\\*"), WindowsMask(L"$MSI*\\*")});
    SmartProtection = TSmartProtection::spSession;
}

void TEmptyUserTemporaryDirectory::Configure(std::wstring& Name, std::wstring& Masks,
                                             TSmartProtection& SmartProtection) {
    Name = LoadText(TTextId::ActionUserTemp);
    Masks = MakeMaskList(
        TemporaryFolderMasks(UserTemporaryFolders(GetTempDirectory(), SystemTemporaryFolders(GetWindowsDir()))));
    SmartProtection = TSmartProtection::spSession;
}

void TEmptyWindowsTemporaryDirectory::Configure(std::wstring& Name, std::wstring& Masks,
                                                TSmartProtection& SmartProtection) {
    Name = LoadText(TTextId::ActionWindowsTemp);
    Masks = MakeMaskList(TemporaryFolderMasks(SystemTemporaryFolders(GetWindowsDir())));
    SmartProtection = TSmartProtection::spSession;
}

// --- The catalogue table ---

std::vector<TFileMaskCatalogueRow> FileMaskCatalogue() {
    using T = TCleanupCustomItem;
    return {
        {12, T::ClassOf<TClearRealOnePlayerHistory>(), true},
        {15, T::ClassOf<TClearWindowsRecentlyUsedDocuments>(), true},
        {19, T::ClassOf<TDeleteBackupFiles>(), true},
        {20, T::ClassOf<TDeleteHelpRelatedFiles>(), true},
        {21, T::ClassOf<TDeleteOracleClientLogFiles>(), true},
        {22, T::ClassOf<TDeleteScandiskLogFiles>(), true},
        {23, T::ClassOf<TDeleteScandiskSavedLostClusters>(), true},
        {24, T::ClassOf<TDeleteTemporaryBDSFiles>(), true},
        {25, T::ClassOf<TDeleteTemporaryFiles>(), true},
        {26, T::ClassOf<TDeleteTemporaryWordFiles>(), true},
        {27, T::ClassOf<TDeleteThumbnailsCacheFiles>(), true},
        {28, T::ClassOf<TDeleteWindowsDebugMemoryDumpFiles>(), true},
        {29, T::ClassOf<TDeleteWindowsLogFiles>(), false},
        {30, T::ClassOf<TDeleteWindowsUpdateTemporaryFiles>(), true},
        {31, T::ClassOf<TDeleteWindowsUpdateUninstallInformation>(), true},
        {32, T::ClassOf<TEmptyJavaCache>(), true},
        {33, T::ClassOf<TEmptyPrefetchAppCache>(), true},
        {34, T::ClassOf<TEmptyUserTemporaryDirectory>(), true},
        {37, T::ClassOf<TEmptyOutlookSecureTempDirectory>(), true},
        {39, T::ClassOf<TEmptyWindowsTemporaryDirectory>(), true},
    };
}
