#include "catalogue/ModernWindowsClasses.h"
#include "texts/Texts.h"

#include "catalogue/FolderMasks.h"
#include "engine/Masks.h"
#include "engine/SystemRoutines.h"
#include "engine/TemporaryFolders.h"

#include <windows.h>
#include <shlobj.h>

namespace {

// Folder below the special folder, or empty when the system has none: an empty
// base would leave a relative path, which the refusal turns down anyway.
std::wstring Below(int CSIDL, const wchar_t* rest) {
    const std::wstring base = GetSpecialFolder(CSIDL);
    return base.empty() ? std::wstring() : base + rest;
}

std::wstring BelowWindows(const wchar_t* rest) { return GetWindowsDir() + rest; }

// Files matching Pattern directly or below Folder, when Folder may be emptied
// at all (the refusal of TemporaryFolderToEmpty); nothing otherwise.
void AddFolderFiles(std::vector<std::wstring>& masks, const std::wstring& folder, const wchar_t* pattern) {
    const std::wstring accepted = folder.empty() ? std::wstring() : TemporaryFolderToEmpty(folder);
    if (!accepted.empty()) masks.push_back(FolderMaskPrefix(accepted) + pattern);
}

bool AnyFolderExists(const std::vector<std::wstring>& folders) {
    for (const auto& folder : folders)
        if (FolderExists(folder)) return true;
    return false;
}

std::wstring ExplorerCacheFolder() { return Below(CSIDL_LOCAL_APPDATA, L"Microsoft\\Windows\\Explorer"); }
std::wstring CrashDumpFolder() { return Below(CSIDL_LOCAL_APPDATA, L"CrashDumps"); }
std::wstring ShaderCacheFolder() { return Below(CSIDL_LOCAL_APPDATA, L"D3DSCache"); }

}  // namespace

std::wstring WindowsUpdateDownloadFolder() { return BelowWindows(L"SoftwareDistribution\\Download"); }

std::vector<std::wstring> WindowsErrorReportFolders() {
    std::vector<std::wstring> folders;
    for (int csidl : {CSIDL_LOCAL_APPDATA, CSIDL_COMMON_APPDATA})
        for (const wchar_t* part : {L"Microsoft\\Windows\\WER\\ReportArchive", L"Microsoft\\Windows\\WER\\ReportQueue"}) {
            const std::wstring folder = Below(csidl, part);
            if (!folder.empty()) folders.push_back(folder);
        }
    return folders;
}

std::vector<std::wstring> DeliveryOptimizationCacheFolders() {
    // Windows 10 1607 and later keep it in the network service's profile;
    // earlier builds kept it beside the update downloads.
    return {BelowWindows(L"ServiceProfiles\\NetworkService\\AppData\\Local\\Microsoft\\Windows\\DeliveryOptimization\\Cache"),
            BelowWindows(L"SoftwareDistribution\\DeliveryOptimization")};
}

// --- Windows Update downloads ---

bool TDeleteWindowsUpdateDownloads::IsAvailable() { return FolderExists(WindowsUpdateDownloadFolder()); }

void TDeleteWindowsUpdateDownloads::Configure(std::wstring& Name, std::wstring& Masks,
                                              TSmartProtection& SmartProtection) {
    std::vector<std::wstring> masks;
    AddFolderFiles(masks, WindowsUpdateDownloadFolder(), L"*");
    Name = LoadText(TTextId::ActionUpdateDownloads);
    Masks = MakeMaskList(masks);
    SmartProtection = TSmartProtection::spWeek;
}

// --- Thumbnail caches ---

bool TDeleteExplorerThumbnailCache::IsAvailable() { return FolderExists(ExplorerCacheFolder()); }

void TDeleteExplorerThumbnailCache::Configure(std::wstring& Name, std::wstring& Masks,
                                              TSmartProtection& SmartProtection) {
    std::vector<std::wstring> masks;
    // Only the files directly in the folder; "*" would cross into subfolders.
    AddFolderFiles(masks, ExplorerCacheFolder(), L"thumbcache_*.db");
    Name = LoadText(TTextId::ActionThumbnailCache);
    Masks = MakeMaskList(masks);
    SmartProtection = TSmartProtection::spSession;
}

// --- Error reports ---

bool TDeleteWindowsErrorReports::IsAvailable() { return AnyFolderExists(WindowsErrorReportFolders()); }

void TDeleteWindowsErrorReports::Configure(std::wstring& Name, std::wstring& Masks,
                                           TSmartProtection& SmartProtection) {
    std::vector<std::wstring> masks;
    for (const auto& folder : WindowsErrorReportFolders()) AddFolderFiles(masks, folder, L"*");
    Name = LoadText(TTextId::ActionErrorReports);
    Masks = MakeMaskList(masks);
    SmartProtection = TSmartProtection::spWeek;
}

// --- Crash dumps ---

bool TDeleteUserCrashDumps::IsAvailable() { return FolderExists(CrashDumpFolder()); }

void TDeleteUserCrashDumps::Configure(std::wstring& Name, std::wstring& Masks, TSmartProtection& SmartProtection) {
    std::vector<std::wstring> masks;
    AddFolderFiles(masks, CrashDumpFolder(), L"*.dmp");
    Name = LoadText(TTextId::ActionCrashDumps);
    Masks = MakeMaskList(masks);
    SmartProtection = TSmartProtection::spWeek;
}

// --- Shader cache ---

bool TEmptyDirectXShaderCache::IsAvailable() { return FolderExists(ShaderCacheFolder()); }

void TEmptyDirectXShaderCache::Configure(std::wstring& Name, std::wstring& Masks,
                                         TSmartProtection& SmartProtection) {
    std::vector<std::wstring> masks;
    AddFolderFiles(masks, ShaderCacheFolder(), L"*");
    Name = LoadText(TTextId::ActionShaderCache);
    Masks = MakeMaskList(masks);
    // A running game may be reading it.
    SmartProtection = TSmartProtection::spSession;
}

// --- Delivery Optimization ---

bool TEmptyDeliveryOptimizationCache::IsAvailable() { return AnyFolderExists(DeliveryOptimizationCacheFolders()); }

void TEmptyDeliveryOptimizationCache::Configure(std::wstring& Name, std::wstring& Masks,
                                                TSmartProtection& SmartProtection) {
    std::vector<std::wstring> masks;
    for (const auto& folder : DeliveryOptimizationCacheFolders())
        if (FolderExists(folder)) AddFolderFiles(masks, folder, L"*");
    Name = LoadText(TTextId::ActionDeliveryOptimization);
    Masks = MakeMaskList(masks);
    SmartProtection = TSmartProtection::spWeek;
}

// --- The catalogue rows ---

std::vector<TPlacedCatalogueRow> ModernWindowsCatalogue() {
    using T = TCleanupCustomItem;
    return {
        {41, T::ClassOf<TDeleteWindowsUpdateDownloads>(), true},
        {42, T::ClassOf<TDeleteExplorerThumbnailCache>(), true},
        {43, T::ClassOf<TDeleteWindowsErrorReports>(), true},
        {44, T::ClassOf<TDeleteUserCrashDumps>(), true},
        {45, T::ClassOf<TEmptyDirectXShaderCache>(), true},
        {46, T::ClassOf<TEmptyDeliveryOptimizationCache>(), false},
    };
}
