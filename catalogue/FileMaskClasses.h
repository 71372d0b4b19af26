// The file-mask actions of the catalogue: each class only states its name, its
// masks and the rule the "Smart" protection follows for it; finding, protecting
// and deleting are inherited from TCleanupFileMaskItem.
//
// Folder paths are read once, when an action is created, and enter the masks
// through FolderMaskPrefix (catalogue/FolderMasks.h), so "[" in a path is literal.
#pragma once

#include "engine/VantrelClasses.h"

#include <string>
#include <vector>

// --- Offered only where the product they clean is present ---
class TClearRealOnePlayerHistory : public TCleanupFileMaskItem {
public:
    static bool IsAvailable();

protected:
    void Configure(std::wstring& Name, std::wstring& Masks, TSmartProtection& SmartProtection) override;
};

class TDeleteOracleClientLogFiles : public TCleanupFileMaskItem {
public:
    static bool IsAvailable();

protected:
    void Configure(std::wstring& Name, std::wstring& Masks, TSmartProtection& SmartProtection) override;
};

class TDeleteTemporaryBDSFiles : public TCleanupFileMaskItem {
public:
    static bool IsAvailable();

protected:
    void Configure(std::wstring& Name, std::wstring& Masks, TSmartProtection& SmartProtection) override;
};

class TEmptyJavaCache : public TCleanupFileMaskItem {
public:
    static bool IsAvailable();

protected:
    void Configure(std::wstring& Name, std::wstring& Masks, TSmartProtection& SmartProtection) override;
};

class TEmptyPrefetchAppCache : public TCleanupFileMaskItem {
public:
    static bool IsAvailable();

protected:
    void Configure(std::wstring& Name, std::wstring& Masks, TSmartProtection& SmartProtection) override;
};

class TEmptyOutlookSecureTempDirectory : public TCleanupFileMaskItem {
public:
    static bool IsAvailable();

protected:
    void Configure(std::wstring& Name, std::wstring& Masks, TSmartProtection& SmartProtection) override;
};

// --- Always offered ---
class TClearWindowsRecentlyUsedDocuments : public TCleanupFileMaskItem {
protected:
    void Configure(std::wstring& Name, std::wstring& Masks, TSmartProtection& SmartProtection) override;
};

class TDeleteBackupFiles : public TCleanupFileMaskItem {
protected:
    void Configure(std::wstring& Name, std::wstring& Masks, TSmartProtection& SmartProtection) override;
};

class TDeleteHelpRelatedFiles : public TCleanupFileMaskItem {
protected:
    void Configure(std::wstring& Name, std::wstring& Masks, TSmartProtection& SmartProtection) override;
};

class TDeleteScandiskLogFiles : public TCleanupFileMaskItem {
protected:
    void Configure(std::wstring& Name, std::wstring& Masks, TSmartProtection& SmartProtection) override;
};

class TDeleteScandiskSavedLostClusters : public TCleanupFileMaskItem {
protected:
    void Configure(std::wstring& Name, std::wstring& Masks, TSmartProtection& SmartProtection) override;
};

class TDeleteTemporaryFiles : public TCleanupFileMaskItem {
protected:
    void Configure(std::wstring& Name, std::wstring& Masks, TSmartProtection& SmartProtection) override;
};

class TDeleteTemporaryWordFiles : public TCleanupFileMaskItem {
protected:
    void Configure(std::wstring& Name, std::wstring& Masks, TSmartProtection& SmartProtection) override;
};

class TDeleteThumbnailsCacheFiles : public TCleanupFileMaskItem {
protected:
    void Configure(std::wstring& Name, std::wstring& Masks, TSmartProtection& SmartProtection) override;
};

class TDeleteWindowsDebugMemoryDumpFiles : public TCleanupFileMaskItem {
protected:
    void Configure(std::wstring& Name, std::wstring& Masks, TSmartProtection& SmartProtection) override;
};

class TDeleteWindowsLogFiles : public TCleanupFileMaskItem {
protected:
    void Configure(std::wstring& Name, std::wstring& Masks, TSmartProtection& SmartProtection) override;
};

class TDeleteWindowsUpdateUninstallInformation : public TCleanupFileMaskItem {
protected:
    void Configure(std::wstring& Name, std::wstring& Masks, TSmartProtection& SmartProtection) override;
};

class TEmptyUserTemporaryDirectory : public TCleanupFileMaskItem {
protected:
    void Configure(std::wstring& Name, std::wstring& Masks, TSmartProtection& SmartProtection) override;
};

class TEmptyWindowsTemporaryDirectory : public TCleanupFileMaskItem {
protected:
    void Configure(std::wstring& Name, std::wstring& Masks, TSmartProtection& SmartProtection) override;
};

// Also removes the download folders of Windows Update once their files are gone.
class TDeleteWindowsUpdateTemporaryFiles : public TCleanupFileMaskItem {
public:
    // The folders (no trailing backslash) removed after the files, in the order
    // their masks appear in Masks: those of WindowsUpdateTempFolders that are not
    // refused as temporary folders (engine/TemporaryFolders.h), in the walk's spelling.
    std::vector<std::wstring> TempFolders;

    // Deletes the found files, then removes each of TempFolders, last to first;
    // a folder that is not empty or not there stays, silently.
    void Execute() override;

protected:
    void Configure(std::wstring& Name, std::wstring& Masks, TSmartProtection& SmartProtection) override;
};

// The folders of TDeleteWindowsUpdateTemporaryFiles for the given fixed-drive
// roots and Windows folder: "WUTemp" and "msdownld.tmp" below each root, in
// order, then "msdownld.tmp" and "Windows Update 设置文件" below the Windows folder.
std::vector<std::wstring> WindowsUpdateTempFolders(const std::vector<std::wstring>& Drives,
                                                   const std::wstring& WindowsDir);

// One row of the catalogue table that the main window adds. Place is the
// action's position (1 to 40) among all actions of the catalogue, file-mask and
// special, so the two families' tables merge by sorting on it.
struct TFileMaskCatalogueRow {
    int Place;
    TCleanupItemClass ItemClass;
    bool DefaultChecked;
};

// The twenty file-mask actions, in catalogue order (rising Place).
std::vector<TFileMaskCatalogueRow> FileMaskCatalogue();
