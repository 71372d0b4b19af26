// The main window: the list of cleanup actions, the status area and the
// commands (VantrelUnit.cpp), and the driver of the reading and cleanup passes
// (VantrelDriver.cpp).
#pragma once

#include "catalogue/SyncedFolders.h"
#include "engine/OrvDirectoryReader.h"
#include "engine/VantrelClasses.h"
#include "platform/Gdi.h"
#include "settings/SettingsLoad.h"
#include "settings/VantrelData.h"
#include "ui/ActionCheckList.h"
#include "ui/Dpi.h"
#include "ui/MenuBar.h"
#include "ui/MenuLook.h"
#include "ui/WindowBase.h"

#include <memory>
#include <optional>
#include <string>
#include <vector>

// The status area as it was before a secondary window took it over.
struct TStatusSnapshot {
    std::wstring Status1;
    std::wstring Status2;
    bool GaugeVisible = false;
};

// The first status line while reading: the percentage shows once it is above
// zero, estimated from the directory count of the last complete pass.
std::wstring ReadingStatusText(int Position, int Maximum);

// What the last cleanup pass did, for the automatic run's log.
struct TCleanupPassResult {
    bool Done = false;          // the pass ran to its end
    int64_t FilesDeleted = 0;   // found files of the checked actions that no longer exist after it
    double BytesFreed = 0;      // the growth of the free space, as the window reports it
    uint64_t BytesDeleted = 0;  // the sizes of the files the pass deleted, each file once
};

// What a cleanup deleted, as the status line and the automatic run's log say it.
std::wstring DeletedFilesText(const TCleanupOutcome& Outcome);
// The automatic run's log line for one action's part of the cleanup.
std::wstring ActionOutcomeLogText(const std::wstring& ActionName, const TCleanupOutcome& Outcome);

// The automatic run's last log line: what its cleanup pass did, and whether
// anything failed (then the exit code is 1).
std::wstring AutoRunSummaryText(const TCleanupPassResult& Pass, bool Failed);

class TCleanupWinapp2Item;
class TCleanupVolumeCacheItem;

class TVantrelForm : public TWindow {
public:
    // Creates the window, owned by the application window, and shows it.
    explicit TVantrelForm(bool autoMode);
    ~TVantrelForm() override;

    static constexpr int ClientWidth = 552;

    // --- Commands (menu, button and pop-up menu) ---
    void StartReadingActionExecute();
    void StopReadingActionExecute();
    void StartCleanupActionExecute();
    void ExitActionExecute();
    void SelectAllItemsActionExecute();
    void DeselectAllItemsActionExecute();
    void DefaultSelectionActionExecute();
    void SetupActionExecute();
    void LegendActionExecute();
    void AboutActionExecute();
    // The window of the winapp2.ini entries (the row's detail and the menu item).
    void Winapp2ActionExecute();
    // The window of Windows' disk cleanup handlers (the row's detail and the menu item).
    void VolumeCachesActionExecute();

    void BeginModalStatus(const std::wstring& Text, TStatusSnapshot& Snapshot);
    void EndModalStatus(const TStatusSnapshot& Snapshot);

    // --- For tests and the e2e checks ---
    TCleanupList& ActionList() { return *FActionList; }
    TActionCheckList& CleanupActionsListBox() { return FCleanupActionsListBox; }
    bool Reading() const { return FReading; }
    std::wstring Status1Text() const;
    std::wstring Status2Text() const;
    const std::vector<std::wstring>& EmptyDirCandidates() const { return FEmptyDirCandidates; }
    const TCleanupPassResult& LastCleanupPass() const { return FLastCleanupPass; }
    TXMLVantrelSettingsType* Settings() { return FSettings ? &*FSettings : nullptr; }
    // The settings file is still being read on its own thread.
    bool SettingsBeingRead() const { return FSettingsLoad && !FSettingsLoad->Finished(); }
    // The folders the reading pass leaves out: the user's, then the synced ones.
    const std::vector<std::wstring>& ExcludedFolders() const { return FDirReader->ExcludedDirectories(); }
    // The texts of the "文件(&F)" menu as it shows now, and whether Setup can be chosen.
    std::vector<std::wstring> FileMenuTexts() const;
    bool SetupEnabled() const;
    bool GaugeVisible() const;
    bool CleanButtonVisible() const;
    TDpi Dpi() const { return FDpi; }
    HMENU MainMenu() const { return FMainMenu; }
    TMenuBar& MenuBar() { return FMenuBar; }
    TCleanupWinapp2Item* Winapp2Item() const { return FWinapp2Item; }
    int Winapp2Row() const { return FWinapp2Row; }
    TCleanupVolumeCacheItem* VolumeCacheItem() const { return FVolumeCacheItem; }
    int VolumeCacheRow() const { return FVolumeCacheRow; }
    // The folders sync clients mirror, read with the excluded folders; the
    // walk leaves them out, the settings never hold them.
    const std::vector<TSyncedFolder>& SyncedFolders() const { return FSyncedFolders; }

protected:
    LRESULT HandleMessage(UINT message, WPARAM wParam, LPARAM lParam) override;
    void HandleDestroyed() override;

private:
    // Creation (VantrelUnit.cpp)
    void CreateControls();
    void MakeFonts();
    void SetWindowIcons();
    void CreateMenus();
    void RemeasureMenus();
    void LayoutControls();
    void SizeClientTo(int width, int height);
    void HandleDpiChanged(int dpi, const RECT& suggested);
    bool HandleAccelerator(wchar_t key);
    void FormCreate();
    void SettingsLoaded();
    void ApplySettings(TLoadedSettings Loaded);
    void FormActivate();
    void FormDestroy();
    void FormCloseQuery();
    void BuildCleanupActions();
    void AddCleanupAction(const TCleanupItemClass& ItemClass, bool DefaultChecked);
    void RebuildFileMenu();
    void HandleCommand(int id);
    LRESULT HandleControlColour(HDC dc, HWND control);
    void PaintForm();
    void DrawCleanButton(const DRAWITEMSTRUCT& item);

    // The list (VantrelUnit.cpp)
    void HandleCleanupActionsDrawItem(const DRAWITEMSTRUCT& item);
    void HandleCleanupActionsMouseMove(POINT point);
    void HandleCleanupActionsClick(int row);
    void HandleCleanupActionsChangeSelection();
    void ShowActionDetails(int row);
    void ShowCleanupActionsPopupMenu(POINT screenPoint);
    void RefreshList();
    // The winapp2.ini row's text and tick after its entries' ticks changed.
    void UpdateWinapp2Row();
    void UpdateVolumeCacheRow();
    // The ticks of the list as the actions' Checked, and the free-space line with
    // what they would free, when that line shows.
    void TicksChanged();
    // A new reading pass when the winapp2.ini row was ticked after one that did not read for it.
    void ReadAgainForWinapp2();
    std::wstring FreeSpaceStatusText();

    // The passes (VantrelDriver.cpp)
    void ReadCurrentDrive();
    void SetControlsIdle(bool Idle);
    void HandleDirReaderDirectory(TDirReader* Sender, const std::wstring& DirName);
    void HandleDirReaderFile(TDirReader* Sender, const std::wstring& FileName);
    void HandleDirReaderFinished(TDirReader* Sender);
    void HandleCleanupListStatus(TCleanupCustomItem* Sender, const std::wstring& Text);
    void LoadExcludedDirectories();
    // The drives the reading pass covers, for the disk cleanup handlers.
    std::vector<std::wstring> PassDrives() const;
    // At the walk's end: the handlers' sizes still coming in, with the window answering.
    void WaitForVolumeCacheScan();
    void LoadExcludedDirectories(std::vector<std::wstring> UserExcluded);
    void NoteEmptyDirCandidate(const std::wstring& DirName);
    void RemoveEmptyDirCandidates();
    void ReportIncompleteActions();  // what the browser actions could not clean
    void LogActionOutcomes();  // the automatic run's log: one line per action that had files
    double GetTotalFreeSpace() const;
    std::wstring FileProtection() const;
    std::wstring ScanMode() const;
    void SetStatus1(const std::wstring& text);
    void SetStatus2(const std::wstring& text);
    void ShowShortenedPath(const std::wstring& path);
    void RequestClose();

    // Controls
    TDpi FDpi;
    TFont FFont, FBoldFont;
    TMenuLook FMenuLook;
    TMenuBar FMenuBar;
    HWND FLabel1 = nullptr;
    TActionCheckList FCleanupActionsListBox;
    HWND FStatus1Label = nullptr;
    HWND FStatus2Label = nullptr;
    HWND FGauge = nullptr;
    HWND FSpeedButton1 = nullptr;
    HMENU FMainMenu = nullptr;
    HMENU FFileMenu = nullptr;
    HMENU FHelpMenu = nullptr;
    RECT FPanel3Bounds{};

    // Command states
    bool FIdleCommands = true;    // read and clean shown, stop hidden
    bool FCommandsEnabled = true; // stop and setup enabled (false while cleaning)

    // Driver state
    bool FAutoMode;
    bool FFirstActivation = false;
    bool FTakingWinapp2Rules = false;  // the rules' ticks are being put on the row, not the user's
    bool FCheckClicked = false;
    bool FReadingStopped = false;
    bool FReading = false;
    bool FListNeedsRefresh = false;
    bool FShowsFreeSpace = false;   // the first status line is the free space after a reading pass
    bool FSettingsUnreadable = false;  // the settings file could not be read: the ticks are the defaults
    // The settings file is read on a thread of its own until FSettings is set and applied.
    std::unique_ptr<TSettingsLoad> FSettingsLoad;
    bool FSettingsPending = false;       // nothing read or applied yet: no pass starts
    bool FActivatedWhileLoading = false; // the first activation waits for the settings
    bool FStoppedWhileLoading = false;   // Stop while loading: no reading pass after it
    double FFreeSpaceAfterReading = 0;
    int FDirectoryCount = 0;
    int FGaugeMaximum = 0;
    std::optional<TXMLVantrelSettingsType> FSettings;
    std::unique_ptr<TCleanupList> FActionList;
    TCleanupWinapp2Item* FWinapp2Item = nullptr;  // in FActionList
    std::vector<TSyncedFolder> FSyncedFolders;
    int FWinapp2Row = -1;
    TCleanupVolumeCacheItem* FVolumeCacheItem = nullptr;  // in FActionList
    int FVolumeCacheRow = -1;
    std::unique_ptr<TDirReader> FDirReader;
    std::vector<std::wstring> FEmptyDirCandidates;
    std::vector<std::wstring> FDrives;
    int FDriveIndex = 0;
    TCompiledMaskList FEmptyDirCandidateMasks;
    bool FCloseRequested = false;
    TCleanupPassResult FLastCleanupPass;
    std::wstring FPassFileProtection;  // the protection mode of the running pass
    uint64_t FLastStatusTick = 0;      // when the reading or cleanup status was last shown
    const TCleanupCustomItem* FLastStatusSender = nullptr;  // whose cleanup status that was
    static constexpr uint64_t StatusIntervalMs = 100;
};
