// The window of Windows' disk cleanup handlers: each handler with its tick and
// its size per drive; greyed ones without a tick, their reason as the hint; the
// chosen handler's description below, and its own settings button where it has one.
#pragma once

#include "catalogue/VolumeCacheAction.h"
#include "ui/ModalForm.h"

#include <functional>
#include <string>
#include <vector>

class TVolumeCachesForm : public TModalForm {
public:
    static constexpr int ClientWidth = 560, ClientHeight = 360, Border = 5;

    explicit TVolumeCachesForm(TCleanupVolumeCacheItem& Item) : FItem(Item) {}
    ~TVolumeCachesForm() override;

    // Shows the handlers modally; with OK their ticks go to the action.
    int ShowHandlers(HWND Owner);

    // Asked before a handler that holds the user's own files is ticked; true
    // ticks it. By default a question box.
    std::function<bool(const std::wstring& Handler, const std::wstring& Description)> ConfirmUserFiles;

    // --- What the window shows, for tests ---
    struct TRow {
        std::wstring Text;
        bool HasTick = false;
        bool Checked = false;
        std::wstring Drives, Size;
    };
    std::vector<TRow> Rows() const;
    void ClickHandlerTick(const std::wstring& Name);
    void SelectHandler(const std::wstring& Name);
    std::wstring HintText() const;
    std::wstring SummaryText() const;
    bool PropertiesEnabled() const;
    HWND OkButton() const { return FOkButton; }
    HWND List() const { return FList; }

protected:
    void CreateControls() override;
    bool HandleEscape() override;
    bool HandleEnter() override;
    LRESULT HandleMessage(UINT message, WPARAM wParam, LPARAM lParam) override;

private:
    void Fill();
    int RowOf(const std::wstring& Name) const;
    int HandlerAt(int Row) const;
    bool AllowTick(int Row, bool Checked);
    void ShowSelected();
    void UpdateSummary();
    void Accept();
    LRESULT HandleNotify(const NMHDR& header);
    void Paint();

    TCleanupVolumeCacheItem& FItem;
    std::vector<TVolumeCacheHandler> FHandlers;  // as the window opened
    std::vector<bool> FTicks;
    HWND FList = nullptr, FHint = nullptr, FSummary = nullptr;
    HWND FPropertiesButton = nullptr, FOkButton = nullptr, FCancelButton = nullptr;
    bool FFilling = false;
};

// A handler's hint: its description, its sizes per drive, and why it is greyed.
std::wstring VolumeCacheHandlerHint(const TVolumeCacheHandler& Handler);
