// The setup window: file protection, scan mode, the directories the reading
// pass never enters, and the set-up of the Windows disk cleanup tool. It holds
// no settings of its own; RunSetupCommand fills it from the settings document
// and writes back what the user confirmed.
#pragma once

#include "platform/Gdi.h"
#include "settings/VantrelData.h"
#include "ui/ModalForm.h"
#include "ui/VantrelUnit.h"

#include <functional>
#include <string>
#include <vector>

// The folder browser of the add button: the chosen folder's path, or empty when
// the user cancelled. Tests replace it (null restores the shell's browser).
using TFolderBrowser = std::function<std::wstring(HWND Owner)>;
void SetFolderBrowserForTesting(TFolderBrowser Browser);

class TSetupVantrelForm : public TModalForm {
public:
    // Control identifiers (GetDlgItem on the window finds each control).
    enum TControlId : int {
        idOkButton = 100,
        idCancelButton,
        idFileAgeNoneRadioButton,
        idFileAgeUptimeRadioButton,
        idFileAgeWeekRadioButton,
        idFileAgeSmartRadioButton,
        idScanModeQuickRadioButton,
        idScanModeCompleteRadioButton,
        idExcludeDirectoriesListBox,
        idAddExcludeDirectorySpeedButton,
        idRemoveExcludeDirectorySpeedButton,
        idSetupWindowsDiskCleanupButton,
        idLabel16,
        idSyncedFoldersLabel,
        idSyncedFoldersListBox,
        // The group boxes, last.
        idGroupBox3,
        idGroupBox4,
        idGroupBox1,
        idWindowsDiskCleanupGroupBox,
        // The display language, in the button bar.
        idLanguageLabel,
        idLanguageComboBox,
        idLanguageNote,
    };

    static constexpr int ClientWidth = 728;
    static constexpr int ClientHeight = 373;
    static constexpr int BorderWidth = 5;
    static constexpr int ColumnWidth = 362;

    // Creates the window (hidden), owned by Owner, centred on it.
    explicit TSetupVantrelForm(HWND Owner);
    ~TSetupVantrelForm() override;

    // The word of the ticked protection button ("None", "Uptime", "Week", "Smart"),
    // empty when none is ticked. Writing ticks exactly the button whose word equals
    // Value (case-sensitive), so any other word leaves none ticked.
    std::wstring FileProtection() const;
    void SetFileProtection(const std::wstring& Value);
    // The same for "Quick" and "Complete".
    std::wstring ScanMode() const;
    void SetScanMode(const std::wstring& Value);

    // The display language chosen: "" (follow Windows), "zh" or "en". Writing
    // anything else chooses "".
    std::wstring Language() const;
    void SetLanguage(const std::wstring& Value);

    // The list places Directory in its sorted position; duplicates are kept.
    void AddExcludeDirectory(const std::wstring& Directory);
    // The entries in list order.
    std::vector<std::wstring> ExcludeDirectories() const;
    // The entries in list order, each followed by a line break.
    std::wstring ExcludeDirectoriesText() const;

    // The synced folders, shown read-only under the excluded ones with their
    // heading; with none, the heading and list are hidden and the excluded
    // list takes their room.
    void SetSyncedFolders(const std::vector<std::wstring>& Texts);
    std::vector<std::wstring> SyncedFolders() const;

    void AddExcludeDirectorySpeedButtonClick();
    void RemoveExcludeDirectorySpeedButtonClick();
    void SetupWindowsDiskCleanupButtonClick();

protected:
    void CreateControls() override;
    bool HandleEnter() override;
    bool HandleEscape() override;
    LRESULT HandleMessage(UINT message, WPARAM wParam, LPARAM lParam) override;
    HFONT FontForNewDpi(HFONT old) override;

private:
    void FormCreate();
    HWND Control(int id) const { return ::GetDlgItem(Handle(), id); }
    int TextHeight(const std::wstring& text, int width) const;
    int AddRadioChoices(int groupHeight, int x, int y, int width, const int* radioIds, const std::wstring* captions,
                        const std::wstring* texts, int count);
    void CreateProtectionGroup(int x, int y);
    void CreateScanModeGroup(int x, int y);
    void CreateExcludeDirectoriesGroup(int x, int y);
    void CreateDiskCleanupGroup(int x, int y);
    void CreateButtonBar();
    void CreateLanguageChoice(int top);
    void HandleCommand(int id);
    LRESULT HandleControlColour(HDC dc, HWND control);
    void HandleDrawItem(const DRAWITEMSTRUCT& item);
    void PaintForm();
    std::wstring CheckedWord(const int* ids, const wchar_t* const* words, int count) const;
    void CheckWord(const int* ids, const wchar_t* const* words, int count, const std::wstring& value);

    TFont FRadioFont, FOldRadioFont;
    HWND FFocusedControl = nullptr;
};

// The main window's set-up command. Saves the status area (BeginModalStatus with
// "设置..."), fills the window from Settings and shows it modally over
// MainWindow. After OK with a change of the file protection, the scan mode or the
// list of excluded directories (exact comparisons), it stores the three values in
// Settings and calls LoadExcludedDirectories. A new language is stored too; it
// takes effect at the next start and needs no new reading pass. Whatever happens, also on an error,
// the status area is restored (EndModalStatus) and the window released; only then,
// and only after a change, RestartReading stops the running reading pass and
// starts a new one. Errors propagate to the caller. Returns whether anything changed.
bool RunSetupCommand(HWND MainWindow, TXMLVantrelSettingsType& Settings,
                     const std::function<void(const std::wstring&, TStatusSnapshot&)>& BeginModalStatus,
                     const std::function<void(const TStatusSnapshot&)>& EndModalStatus,
                     const std::function<void()>& LoadExcludedDirectories,
                     const std::function<void()>& RestartReading,
                     const std::vector<std::wstring>& SyncedFolders = {});

// A synced folder as the setup window lists it: the path, then the client.
std::vector<std::wstring> SyncedFolderTexts(const std::vector<TSyncedFolder>& Folders);
