// The action detail window: one action's name, its two info lines and, for a
// file-mask action that found files, those files; it can run that one action.
#pragma once

#include "engine/VantrelClasses.h"
#include "settings/VantrelData.h"
#include "ui/ModalForm.h"

#include <functional>
#include <string>
#include <vector>

class TCleanupActionInfoForm : public TModalForm {
public:
    static constexpr int ClientWidth = 495, ClientHeight = 215, Border = 5;
    static constexpr int BarHeight = 35;
    static constexpr int ListHeight = ClientHeight - BarHeight - 2 * 2;  // 176: the panel's bevel is 2 wide

    TCleanupActionInfoForm() = default;
    ~TCleanupActionInfoForm() override;

    // Creates the window owned by Owner, fills it for Item (with the file
    // protection of Settings) and shows it modally; returns the modal result.
    int ShowActionInfo(TCleanupCustomItem& Item, TXMLVantrelSettingsType& Settings, HWND Owner);

    // What "清理" runs on the action; the action's own Perform when unset.
    std::function<void(TCleanupCustomItem&)> PerformItem;

    void CleanupSpeedButtonClick();
    void CloseSpeedButtonClick();
    // Escape closes the window; true when the key was used.
    bool FormKeyDown(WPARAM Key);

    // What the window shows.
    bool FileListShown() const { return FListShown; }
    std::vector<std::wstring> FileListEntries() const;
    std::wstring Text1() const;
    std::wstring Text2() const;
    bool CleanupEnabled() const;
    HWND CleanupButton() const { return FCleanupSpeedButton; }
    HWND CloseButton() const { return FCloseSpeedButton; }
    HWND FileList() const { return FListBox; }
    int SizeColumnWidth() const { return FSizeColumnWidth; }

    // The path shortened to Width pixels in Font, with "..." in its middle where it is too long.
    static std::wstring ShortenPath(HDC dc, HFONT font, const std::wstring& path, int width);

protected:
    void CreateControls() override;
    bool HandleEscape() override { return FormKeyDown(VK_ESCAPE); }
    LRESULT HandleMessage(UINT message, WPARAM wParam, LPARAM lParam) override;
    void DpiChanged(TDpi old) override;

private:
    void FillFileList(const TFoundFileList& files);
    void MeasureSizeColumn(HDC dc);
    void ShowCleanupStatus(const std::wstring& text);
    void HideFileList();
    void LayoutBar(int barTop);
    void Paint();
    void DrawButton(const DRAWITEMSTRUCT& item);
    void DrawFileRow(const DRAWITEMSTRUCT& item);

    TCleanupCustomItem* Item = nullptr;                // shown, not owned
    TXMLVantrelSettingsType* Settings = nullptr;       // held while the window exists
    HWND FListBox = nullptr, FText1Label = nullptr, FText2Label = nullptr;
    HWND FCleanupSpeedButton = nullptr, FCloseSpeedButton = nullptr;
    bool FListShown = true;
    bool FCleaning = false;  // its cleanup runs: "清理" and closing wait
    std::wstring FShownStatus;
    const TFoundFileList* FFiles = nullptr;  // listed, not owned
    std::vector<uint64_t> FSizes;  // of the listed files, by row
    int FSizeColumnWidth = 0;
    LRESULT FTopBeforeDpiChange = 0;
    uint64_t FLastPump = 0;
    static constexpr uint64_t PumpIntervalMs = 30;
};
