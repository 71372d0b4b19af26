// The reading and cleanup passes of the main window.
#include "ui/VantrelUnit.h"
#include "texts/Texts.h"

#include "catalogue/BrowserActions.h"
#include "catalogue/FolderMasks.h"
#include "catalogue/VolumeCacheAction.h"
#include "catalogue/Winapp2Action.h"
#include "engine/SystemRoutines.h"
#include "engine/TemporaryFolders.h"
#include "platform/LongPath.h"
#include "ui/Application.h"
#include "ui/ErrorReport.h"

#include <commctrl.h>

#include <algorithm>
#include <cwctype>
#include <functional>

namespace {

// Restores the window, cursor and commands after a cleanup pass, whatever happened.
class TCleanupPassGuard {
public:
    explicit TCleanupPassGuard(std::function<void()> restore) : FRestore(std::move(restore)) {}
    ~TCleanupPassGuard() {
        try {
            FRestore();
        } catch (...) {
        }
    }
    TCleanupPassGuard(const TCleanupPassGuard&) = delete;
    TCleanupPassGuard& operator=(const TCleanupPassGuard&) = delete;

private:
    std::function<void()> FRestore;
};

std::wstring WithoutTrailingBackslash(const std::wstring& path) {
    if (!path.empty() && path.back() == L'\\') return path.substr(0, path.size() - 1);
    return path;
}

// Found files that no longer exist: those the pass deleted (or, rarely, something
// else meanwhile). A file that cannot be looked at for another reason still counts as there.
int64_t CountGoneFiles(const std::vector<std::wstring>& files) {
    int64_t gone = 0;
    for (const std::wstring& file : files) {
        if (::GetFileAttributesW(LiteralPath(file).c_str()) != INVALID_FILE_ATTRIBUTES) continue;
        const DWORD code = ::GetLastError();
        if (code == ERROR_FILE_NOT_FOUND || code == ERROR_PATH_NOT_FOUND) ++gone;
    }
    return gone;
}

}  // namespace

namespace {

// "648 字节", with the size in the windows' units from 1 KB on: "12690000 字节 (12.1 MB)".
std::wstring ByteCountText(uint64_t Bytes) {
    if (Bytes >= 1024) return FormatText(TTextId::ByteCountWithSize, Bytes, FormatSizeText(static_cast<double>(Bytes)));
    return FormatText(TTextId::ByteCount, Bytes);
}

}  // namespace

std::wstring AutoRunSummaryText(const TCleanupPassResult& Pass, bool Failed) {
    std::wstring text;
    if (Pass.Done) {
        // What the files took, as the window reports it; the free space also moves
        // with whatever else runs meanwhile, so it only follows, named as such.
        const double grown = std::max(0.0, Pass.BytesFreed);
        text = FormatText(TTextId::LogAutoCleanupDone, Pass.FilesDeleted, ByteCountText(Pass.BytesDeleted),
                          ByteCountText(static_cast<uint64_t>(grown)));
    } else {
        text = LoadText(TTextId::LogAutoRunNotDone);
    }
    if (Failed) text += LoadText(TTextId::LogAutoRunFailed);
    return text;
}

std::wstring DeletedFilesText(const TCleanupOutcome& Outcome) {
    return FormatText(TTextId::DeletedFiles, Outcome.Deleted, FormatSizeText(static_cast<double>(Outcome.Bytes)));
}

std::wstring ActionOutcomeLogText(const std::wstring& ActionName, const TCleanupOutcome& Outcome) {
    return FormatText(TTextId::LogActionOutcome, ActionName, Outcome.Deleted, ByteCountText(Outcome.Bytes),
                      Outcome.NotDeleted);
}

std::wstring ReadingStatusText(int Position, int Maximum) {
    int percent = Maximum > 0 ? static_cast<int>(static_cast<long long>(Position) * 100 / Maximum) : 0;
    percent = std::min(percent, 100);
    std::wstring status = LoadText(TTextId::StatusReading);
    if (percent > 0) status += L"  (" + std::to_wstring(percent) + L"%)";
    return status;
}

std::wstring TVantrelForm::FileProtection() const { return FSettings ? FSettings->Options().FileProtection() : L""; }
std::wstring TVantrelForm::ScanMode() const { return FSettings ? FSettings->Options().ScanMode() : L""; }

// The user's excluded folders, then the synced ones, read afresh each time: a
// client may have been set up since. Only the reader holds them together.
void TVantrelForm::LoadExcludedDirectories() { LoadExcludedDirectories(LoadExcludeDirectories(*FSettings)); }

void TVantrelForm::LoadExcludedDirectories(std::vector<std::wstring> excluded) {
    FSyncedFolders = ReadSyncedFolders(CurrentUserSyncedFolderPlaces());
    for (const auto& folder : FSyncedFolders) excluded.push_back(folder.Path);
    FDirReader->ExcludedDirectories() = std::move(excluded);
    if (FWinapp2Item != nullptr) FWinapp2Item->ExcludedDirectories = FDirReader->ExcludedDirectories();
}

void TVantrelForm::SetControlsIdle(bool Idle) {
    ::ShowWindow(FGauge, FReading ? SW_SHOW : SW_HIDE);
    ::ShowWindow(FSpeedButton1, Idle ? SW_SHOW : SW_HIDE);
    FIdleCommands = Idle;
    RebuildFileMenu();
    ::ShowWindow(FCleanupActionsListBox.Handle(), SW_HIDE);
    ::ShowWindow(FCleanupActionsListBox.Handle(), SW_SHOW);
    ::RedrawWindow(Handle(), nullptr, nullptr, RDW_INVALIDATE | RDW_UPDATENOW | RDW_ALLCHILDREN);
}

// --- Reading pass ---

void TVantrelForm::StartReadingActionExecute() {
    if (FDirReader->Active()) return;
    FReadingStopped = false;
    FReading = true;
    FShowsFreeSpace = false;
    FListNeedsRefresh = true;
    SetControlsIdle(false);
    FEmptyDirCandidates.clear();
    // The ticks as they stand: an action may spare a pass when it is unticked (winapp2.ini).
    for (int row = 0; row < FCleanupActionsListBox.Count() && row < FActionList->Count(); ++row)
        FActionList->SetChecked(row, FCleanupActionsListBox.Checked(row));
    FActionList->ClearFoundFiles();
    FDirectoryCount = 0;

    FGaugeMaximum = LoadReadDirCount(FSettings->Options(), ScanMode());
    ::SendMessageW(FGauge, PBM_SETRANGE32, 0, FGaugeMaximum);
    ::SendMessageW(FGauge, PBM_SETPOS, 0, 0);
    // Before the first folder: many excluded folders take their time to be spelt out.
    SetStatus1(ReadingStatusText(0, FGaugeMaximum));

    // Read once per pass: a change in the setup window restarts the pass.
    const std::wstring protection = FileProtection();
    FPassFileProtection = protection;
    FLastStatusTick = 0;
    if (protection == L"Uptime" || protection == L"Smart")
        FDirReader->SetMinAccessAge(GetUptimeSeconds());
    else if (protection == L"Week")
        FDirReader->SetMinAccessAge(7 * 24 * 3600);
    else
        FDirReader->SetMinAccessAge(0);

    // Update uninstall folders below the Windows folder and every folder below the
    // two temporary folders; matched literally, whatever the folder names hold. A
    // refused temporary folder (TEMP=C:\, unset, ...) gives up no folders.
    const std::wstring windows = GetWindowsDir();
    std::vector<std::wstring> temporary = SystemTemporaryFolders(windows);
    temporary.push_back(GetTempDirectory());
    std::vector<std::wstring> candidates = TemporaryFolderMasks(temporary);
    candidates.insert(candidates.begin(), FolderMaskPrefix(windows) + L"$Nt*");
    FEmptyDirCandidateMasks = TCompiledMaskList(UpperCaseAscii(MakeMaskList(candidates)));

    // Windows' disk cleanup handlers size themselves beside the walk, in their hosts.
    if (FVolumeCacheItem != nullptr) FVolumeCacheItem->StartScan(PassDrives());

    FDriveIndex = 0;
    if (FDrives.empty()) {
        // Nothing to read: finish at once so the window does not stay in the reading state.
        HandleDirReaderFinished(FDirReader.get());
        return;
    }
    ReadCurrentDrive();
}

void TVantrelForm::ReadCurrentDrive() {
    // A complete scan reads the next drives while this one is walked.
    FDirReader->FollowingDirectories.clear();
    if (ScanMode() == L"Complete")
        FDirReader->FollowingDirectories.assign(FDrives.begin() + FDriveIndex + 1, FDrives.end());
    FDirReader->SetDirectory(FDrives[static_cast<size_t>(FDriveIndex)]);
    FDirReader->Start();
}

void TVantrelForm::StopReadingActionExecute() {
    if (FSettingsPending) FStoppedWhileLoading = true;
    FReadingStopped = true;
    FDriveIndex = static_cast<int>(FDrives.size()) - 1;
    if (FDirReader) FDirReader->Stop();  // none when the window's creation failed
    if (FVolumeCacheItem != nullptr) FVolumeCacheItem->Stop();
}

std::vector<std::wstring> TVantrelForm::PassDrives() const {
    std::vector<std::wstring> drives;
    for (const std::wstring& root : FDrives) {
        if (root.empty()) continue;
        drives.push_back(std::wstring{static_cast<wchar_t>(::towupper(root[0])), L':', L'\\'});
        if (ScanMode() != L"Complete") break;  // the other drives are not read either
    }
    return drives;
}

void TVantrelForm::WaitForVolumeCacheScan() {
    while (FVolumeCacheItem != nullptr && FVolumeCacheItem->Busy() && !FReadingStopped && !FCloseRequested) {
        const std::wstring activity = FVolumeCacheItem->ActivityText();
        if (!activity.empty() && WindowText(FStatus2Label) != activity) {
            SetStatus2(activity);
            ::UpdateWindow(FStatus2Label);
        }
        ::MsgWaitForMultipleObjects(0, nullptr, FALSE, 50, QS_ALLINPUT);
        Application().ProcessMessages();
    }
    if (FVolumeCacheItem != nullptr && (FReadingStopped || FCloseRequested)) FVolumeCacheItem->Stop();
}

void TVantrelForm::HandleDirReaderDirectory(TDirReader*, const std::wstring& DirName) {
    ++FDirectoryCount;
    NoteEmptyDirCandidate(DirName);
    // Nobody reads thousands of paths a second: the list, the gauge and the
    // status lines follow the walk ten times a second, which keeps their cost
    // (each repaint of the list draws every row) out of the pass. The list is
    // drawn whole again when the pass ends.
    const uint64_t now = ::GetTickCount64();
    if (FDirectoryCount > 1 && now - FLastStatusTick < StatusIntervalMs) return;
    FLastStatusTick = now;
    if (FListNeedsRefresh) {
        RefreshList();
        FListNeedsRefresh = false;
    }
    const int position = std::min(FDirectoryCount, FGaugeMaximum);
    ::SendMessageW(FGauge, PBM_SETPOS, static_cast<WPARAM>(position), 0);
    SetStatus1(ReadingStatusText(position, FGaugeMaximum));
    ShowShortenedPath(WithoutTrailingBackslash(DirName));
}

void TVantrelForm::ShowShortenedPath(const std::wstring& path) {
    RECT rect;
    ::GetClientRect(FStatus2Label, &rect);
    std::wstring buffer = path;
    buffer.append(4, L'\0');  // DT_MODIFYSTRING may write up to four more characters
    TWindowDC dc(FStatus2Label);
    TSelectObject font(dc.Get(), FFont.Get());
    ::DrawTextW(dc.Get(), buffer.data(), static_cast<int>(path.size()), &rect,
                DT_PATH_ELLIPSIS | DT_MODIFYSTRING | DT_SINGLELINE | DT_NOPREFIX | DT_CALCRECT);
    SetStatus2(buffer.c_str());
    ::UpdateWindow(FStatus1Label);
    ::UpdateWindow(FStatus2Label);
}

void TVantrelForm::NoteEmptyDirCandidate(const std::wstring& DirName) {
    const std::wstring directory = WithoutTrailingBackslash(DirName);
    if (FEmptyDirCandidateMasks.MatchesAny(UpperCaseAscii(directory))) FEmptyDirCandidates.push_back(directory);
}

void TVantrelForm::HandleDirReaderFile(TDirReader* Sender, const std::wstring& FileName) {
    // The walk has just read the file's times; the actions need not look again.
    if (FActionList->AddFoundFile(FileName, FPassFileProtection, &Sender->CurrentFileTimes()))
        FListNeedsRefresh = true;
}

void TVantrelForm::HandleDirReaderFinished(TDirReader*) {
    if (FDriveIndex < static_cast<int>(FDrives.size()) - 1 && ScanMode() == L"Complete") {
        ++FDriveIndex;
        ReadCurrentDrive();
        return;
    }
    WaitForVolumeCacheScan();
    FReading = false;
    SetControlsIdle(true);
    FFreeSpaceAfterReading = GetTotalFreeSpace();
    FShowsFreeSpace = true;
    TicksChanged();
    SetStatus1(FreeSpaceStatusText());
    SetStatus2(LoadText(FSettingsUnreadable ? TTextId::StatusDefaultsShown : TTextId::StatusReadyToClean));
    if (!FReadingStopped) StoreReadDirCount(FSettings->Options(), ScanMode(), FDirectoryCount);
    if (FAutoMode) {
        StartCleanupActionExecute();
        return;
    }
    ::RedrawWindow(Handle(), nullptr, nullptr, RDW_INVALIDATE | RDW_UPDATENOW | RDW_ALLCHILDREN);
    if (::IsIconic(Handle())) ::MessageBeep(0);
}

// --- Cleanup pass ---

void TVantrelForm::StartCleanupActionExecute() {
    SetControlsIdle(false);
    FCommandsEnabled = false;
    RebuildFileMenu();
    HCURSOR previousCursor = ::SetCursor(::LoadCursorW(nullptr, IDC_WAIT));
    ::EnableWindow(Handle(), FALSE);
    {
        TCleanupPassGuard restore([&] {
            ::EnableWindow(Handle(), TRUE);
            ::SetCursor(previousCursor);
            FCommandsEnabled = true;
            SetControlsIdle(true);
        });
        FLastCleanupPass = TCleanupPassResult{};
        FShowsFreeSpace = false;
        FLastStatusSender = nullptr;
        const double before = GetTotalFreeSpace();
        SetStatus1(LoadText(TTextId::StatusCleaning));
        for (int row = 0; row < FActionList->Count(); ++row)
            FActionList->SetChecked(row, FCleanupActionsListBox.Checked(row));
        const std::vector<std::wstring> found = FActionList->CheckedFoundFiles();
        if (FAutoMode) {
            // Nobody waits at an error box: each failure is logged under the action's
            // name, and the other actions still run.
            FActionList->ExecuteChecked([this](TCleanupCustomItem& action) {
                ReportCurrentException(Handle(), FormatText(TTextId::ErrorContextAction, action.Name));
            });
        } else {
            FActionList->ExecuteChecked();
        }
        SetStatus2(LoadText(TTextId::StatusRemovingEmptyFolders));
        RemoveEmptyDirCandidates();
        const double after = GetTotalFreeSpace();
        const TCleanupOutcome outcome = FActionList->CheckedOutcome();
        FLastCleanupPass = TCleanupPassResult{true, CountGoneFiles(found), after - before, outcome.Bytes};
        if (FAutoMode) {
            ReportIncompleteActions();
            LogActionOutcomes();
            RequestClose();
            return;
        }
        // Shown after the guard has put the commands back, as the last word of the pass.
        SetStatus1(FormatText(TTextId::StatusSpaceFreed, FormatSizeText(after - before)));
        SetStatus2(FormatText(TTextId::StatusTotalFreeSpace, FormatSizeText(after), DeletedFilesText(outcome)));
    }
    ReportIncompleteActions();
}

// What the ticked browser actions left as it was. /auto logs each as an error
// of its action, so the run ends with the failure code; the window shows them
// together in one box once the pass is over.
void TVantrelForm::ReportIncompleteActions() {
    std::wstring together;
    for (int row = 0; row < FActionList->Count(); ++row) {
        const auto* item = dynamic_cast<const TBrowserActionItem*>(&FActionList->Items(row));
        if (item == nullptr || !item->Checked) continue;
        for (const std::wstring& line : item->Failures()) {
            if (FAutoMode) ReportError(Handle(), line, FormatText(TTextId::ErrorContextAction, item->Name));
            else together += L"\"" + item->Name + L"\": " + line + L"\r\n";
        }
    }
    if (!together.empty()) ReportError(Handle(), LoadText(TTextId::FailuresHeading) + L"\r\n" + together);
}

void TVantrelForm::LogActionOutcomes() {
    for (int row = 0; row < FActionList->Count(); ++row) {
        if (const auto* volumeCaches = dynamic_cast<const TCleanupVolumeCacheItem*>(&FActionList->Items(row))) {
            if (!volumeCaches->Checked) continue;
            const std::wstring administrator = volumeCaches->AdministratorLogLine();
            if (!administrator.empty()) WriteRunLogLine(administrator);
            for (const std::wstring& line : volumeCaches->UnusableLogLines()) WriteRunLogLine(line);
            for (const std::wstring& line : volumeCaches->OutcomeLogLines()) WriteRunLogLine(line);
            continue;
        }
        // The winapp2.ini row speaks for each of its entries.
        if (const auto* winapp2 = dynamic_cast<const TCleanupWinapp2Item*>(&FActionList->Items(row))) {
            for (const std::wstring& line : winapp2->LoadLogLines()) WriteRunLogLine(line);
            if (winapp2->Checked)
                for (const std::wstring& line : winapp2->OutcomeLogLines()) WriteRunLogLine(line);
            continue;
        }
        const auto* item = dynamic_cast<const TCleanupFileMaskItem*>(&FActionList->Items(row));
        if (item == nullptr || !item->Checked || item->Outcome.Deleted + item->Outcome.NotDeleted == 0) continue;
        WriteRunLogLine(ActionOutcomeLogText(item->Name, item->Outcome));
    }
}

void TVantrelForm::RemoveEmptyDirCandidates() {
    for (auto it = FEmptyDirCandidates.rbegin(); it != FEmptyDirCandidates.rend(); ++it)
        RemoveEmptiedFolder(*it);
}

void TVantrelForm::HandleCleanupListStatus(TCleanupCustomItem* Sender, const std::wstring& Text) {
    // An action sends a text per file, thousands a second: the line and the
    // messages follow ten times a second, and at once when another action
    // starts, so a long special action never runs under the last one's text.
    const uint64_t now = ::GetTickCount64();
    if (Sender == FLastStatusSender && now - FLastStatusTick < StatusIntervalMs) return;
    FLastStatusSender = Sender;
    FLastStatusTick = now;
    SetStatus2(Text);
    ::UpdateWindow(FStatus2Label);
    Application().ProcessMessages();
}

double TVantrelForm::GetTotalFreeSpace() const {
    double total = 0;
    for (const auto& root : FDrives) {
        std::wstring drive{static_cast<wchar_t>(::towupper(root[0])), L':', L'\\'};
        ULARGE_INTEGER available;
        if (::GetDiskFreeSpaceExW(drive.c_str(), &available, nullptr, nullptr))
            total += static_cast<double>(available.QuadPart);
        else
            total -= 1;
    }
    return total;
}
