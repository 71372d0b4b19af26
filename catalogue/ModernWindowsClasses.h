// The file-mask actions for the places Windows 10 and 11 fill: update downloads,
// thumbnail caches, error reports, crash dumps, the shader cache and the Delivery
// Optimization cache. Each is offered only where its folder exists; each folder
// goes through the temporary-folder refusal (engine/TemporaryFolders.h) before a
// mask is built on it, so a folder that names something else gives no mask.
#pragma once

#include "catalogue/Catalogue.h"
#include "engine/VantrelClasses.h"

#include <string>
#include <vector>

// {Windows}SoftwareDistribution\Download: what Windows Update fetched and installed.
class TDeleteWindowsUpdateDownloads : public TCleanupFileMaskItem {
public:
    static bool IsAvailable();

protected:
    void Configure(std::wstring& Name, std::wstring& Masks, TSmartProtection& SmartProtection) override;
};

// Explorer's thumbcache_*.db files; its icon cache (iconcache_*.db) stays.
class TDeleteExplorerThumbnailCache : public TCleanupFileMaskItem {
public:
    static bool IsAvailable();

protected:
    void Configure(std::wstring& Name, std::wstring& Masks, TSmartProtection& SmartProtection) override;
};

// ReportArchive and ReportQueue of Windows Error Reporting, the user's and the machine's.
class TDeleteWindowsErrorReports : public TCleanupFileMaskItem {
public:
    static bool IsAvailable();

protected:
    void Configure(std::wstring& Name, std::wstring& Masks, TSmartProtection& SmartProtection) override;
};

// {LocalAppData}CrashDumps\*.dmp, written when a program crashes.
class TDeleteUserCrashDumps : public TCleanupFileMaskItem {
public:
    static bool IsAvailable();

protected:
    void Configure(std::wstring& Name, std::wstring& Masks, TSmartProtection& SmartProtection) override;
};

// {LocalAppData}D3DSCache: compiled shaders, rebuilt on demand.
class TEmptyDirectXShaderCache : public TCleanupFileMaskItem {
public:
    static bool IsAvailable();

protected:
    void Configure(std::wstring& Name, std::wstring& Masks, TSmartProtection& SmartProtection) override;
};

// The Delivery Optimization cache: update pieces kept to share with other PCs.
class TEmptyDeliveryOptimizationCache : public TCleanupFileMaskItem {
public:
    static bool IsAvailable();

protected:
    void Configure(std::wstring& Name, std::wstring& Masks, TSmartProtection& SmartProtection) override;
};

// The folders these actions read, for the machine as it is now.
std::wstring WindowsUpdateDownloadFolder();
std::vector<std::wstring> WindowsErrorReportFolders();  // the four report folders
std::vector<std::wstring> DeliveryOptimizationCacheFolders();

// The six actions with their places (41 onwards) and default ticks.
std::vector<TPlacedCatalogueRow> ModernWindowsCatalogue();
