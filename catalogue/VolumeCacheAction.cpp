#include "catalogue/VolumeCacheAction.h"
#include "texts/Texts.h"

#include "catalogue/VolumeCacheHostClient.h"
#include "catalogue/VolumeCacheProtocol.h"
#include "engine/SystemRoutines.h"
#include "platform/ErrorBox.h"

#include <algorithm>
#include <cwchar>

namespace P = VolumeCacheProtocol;

namespace {

uint64_t Number(const std::vector<std::wstring>& fields, size_t index) {
    return index < fields.size() ? std::wcstoull(fields[index].c_str(), nullptr, 10) : 0;
}

HRESULT Result(const std::vector<std::wstring>& fields, size_t index) {
    return static_cast<HRESULT>(static_cast<uint32_t>(Number(fields, index)));
}

std::wstring Field(const std::vector<std::wstring>& fields, size_t index) {
    return index < fields.size() ? fields[index] : std::wstring();
}

std::wstring CodeText(DWORD code) {
    wchar_t text[16];
    std::swprintf(text, 16, L"0x%08lX", static_cast<unsigned long>(code));
    return text;
}

TVolumeCacheDrive* DriveOf(TVolumeCacheHandler& handler, const std::wstring& drive) {
    for (TVolumeCacheDrive& d : handler.Drives)
        if (_wcsicmp(d.Drive.c_str(), drive.c_str()) == 0) return &d;
    return nullptr;
}

TVolumeCacheOutcome* OutcomeOf(TVolumeCacheHandler& handler, const std::wstring& drive) {
    for (TVolumeCacheOutcome& o : handler.Outcomes)
        if (_wcsicmp(o.Drive.c_str(), drive.c_str()) == 0) return &o;
    return nullptr;
}

// Why a host ended without finishing, for the hint and the log.
std::wstring EndText(const TVolumeCacheRunResult& run, DWORD limitMs) {
    switch (run.End) {
        case TVolumeCacheRunEnd::Crashed:
            return FormatText(TTextId::VolumeCacheCrashed, CodeText(run.ExitCode));
        case TVolumeCacheRunEnd::TimedOut:
            return FormatText(TTextId::VolumeCacheTimedOut, (limitMs + 999) / 1000);
        case TVolumeCacheRunEnd::Aborted: return LoadText(TTextId::VolumeCacheStopped);
        case TVolumeCacheRunEnd::StartFailed:
            return FormatText(TTextId::VolumeCacheHostNotStarted, SysErrorMessage(run.Error));
        case TVolumeCacheRunEnd::Done: break;
    }
    return L"";
}

}  // namespace

TCleanupVolumeCacheItem::TCleanupVolumeCacheItem()
    : FAbort(::CreateEventW(nullptr, TRUE, FALSE, nullptr)), FDone(::CreateEventW(nullptr, TRUE, TRUE, nullptr)) {}

TCleanupVolumeCacheItem::~TCleanupVolumeCacheItem() { Stop(); }

bool TCleanupVolumeCacheItem::IsAvailable() { return !FindVolumeCacheHandlers().empty(); }

void TCleanupVolumeCacheItem::AfterConstruction() {
    Name = LoadText(TTextId::ActionVolumeCaches);
    SetKeyFromName();
    std::lock_guard<std::mutex> lock(FLock);
    FHandlers = FindVolumeCacheHandlers();
}

std::vector<TVolumeCacheHandler> TCleanupVolumeCacheItem::Handlers() const {
    std::lock_guard<std::mutex> lock(FLock);
    return FHandlers;
}

bool TCleanupVolumeCacheItem::Busy() const {
    std::lock_guard<std::mutex> lock(FLock);
    return FBusy;
}

std::wstring TCleanupVolumeCacheItem::ActivityText() const {
    std::lock_guard<std::mutex> lock(FLock);
    return FActivity;
}

void TCleanupVolumeCacheItem::Join() {
    if (FThread.joinable()) FThread.join();
}

void TCleanupVolumeCacheItem::Stop() {
    ::SetEvent(FAbort.Get());
    Join();
}

void TCleanupVolumeCacheItem::LoadTicks(const std::vector<std::pair<std::wstring, bool>>& ticks) {
    std::lock_guard<std::mutex> lock(FLock);
    FStoredTicks = ticks;
    for (TVolumeCacheHandler& handler : FHandlers)
        for (const auto& [name, checked] : ticks)
            if (_wcsicmp(name.c_str(), handler.KeyName.c_str()) == 0) {
                handler.Checked = checked;
                handler.TickKnown = true;
            }
}

void TCleanupVolumeCacheItem::SetHandlerChecked(const std::wstring& keyName, bool checked) {
    std::lock_guard<std::mutex> lock(FLock);
    for (TVolumeCacheHandler& handler : FHandlers)
        if (handler.KeyName == keyName) {
            handler.Checked = checked;
            handler.TickKnown = true;
        }
    for (auto& tick : FStoredTicks)
        if (_wcsicmp(tick.first.c_str(), keyName.c_str()) == 0) tick.second = checked;
}

int TCleanupVolumeCacheItem::CheckedCount() const {
    std::lock_guard<std::mutex> lock(FLock);
    return static_cast<int>(
        std::count_if(FHandlers.begin(), FHandlers.end(), [](const TVolumeCacheHandler& h) { return h.Runs(); }));
}

uint64_t TCleanupVolumeCacheItem::CheckedBytes() const {
    std::lock_guard<std::mutex> lock(FLock);
    uint64_t bytes = 0;
    for (const TVolumeCacheHandler& handler : FHandlers)
        if (handler.Runs()) bytes += handler.TotalSize();
    return bytes;
}

std::wstring TCleanupVolumeCacheItem::RowText() const {
    const int checked = CheckedCount();
    if (checked == 0) return Name;
    return FormatText(TTextId::Winapp2RowChecked, Name, checked);
}

// --- The scan ---

void TCleanupVolumeCacheItem::StartScan(const std::vector<std::wstring>& drives) {
    Stop();
    ::ResetEvent(FAbort.Get());
    ::ResetEvent(FDone.Get());
    {
        std::vector<TVolumeCacheHandler> found = FindVolumeCacheHandlers();
        std::lock_guard<std::mutex> lock(FLock);
        for (TVolumeCacheHandler& handler : found) {
            for (const auto& [name, checked] : FStoredTicks)
                if (_wcsicmp(name.c_str(), handler.KeyName.c_str()) == 0) {
                    handler.Checked = checked;
                    handler.TickKnown = true;
                }
            // A tick the user gave in this run stays.
            for (const TVolumeCacheHandler& old : FHandlers)
                if (old.KeyName == handler.KeyName && old.TickKnown) {
                    handler.Checked = old.Checked;
                    handler.TickKnown = true;
                }
            for (const std::wstring& drive : drives) {
                TVolumeCacheDrive entry;
                entry.Drive = drive;
                handler.Drives.push_back(entry);
            }
        }
        FHandlers = std::move(found);
        FBusy = true;
        FActivity.clear();
    }
    FThread = std::thread([this, drives] { ScanThread(drives); });
}

void TCleanupVolumeCacheItem::ScanThread(std::vector<std::wstring>) {
    size_t count;
    {
        std::lock_guard<std::mutex> lock(FLock);
        count = FHandlers.size();
    }
    for (size_t i = 0; i < count; ++i) {
        if (::WaitForSingleObject(FAbort.Get(), 0) == WAIT_OBJECT_0) break;
        ScanOne(i);
    }
    std::lock_guard<std::mutex> lock(FLock);
    for (TVolumeCacheHandler& handler : FHandlers) {
        for (TVolumeCacheDrive& d : handler.Drives)
            if (d.State == TVolumeCacheDriveState::Pending) d.State = TVolumeCacheDriveState::NotCounted;
        if (!handler.TickKnown) handler.Checked = handler.DefaultChecked(AutomaticRun);
    }
    FBusy = false;
    FActivity.clear();
    ::SetEvent(FDone.Get());
}

void TCleanupVolumeCacheItem::ScanOne(size_t index) {
    TVolumeCacheHostJob job;
    {
        std::lock_guard<std::mutex> lock(FLock);
        TVolumeCacheHandler& handler = FHandlers[index];
        if (handler.NeedsAdministrator) {
            for (TVolumeCacheDrive& d : handler.Drives) d.State = TVolumeCacheDriveState::NotCounted;
            return;
        }
        job = {P::OpScan, VolumeCachesKeyPath() + L"\\" + handler.KeyName, handler.KeyName, handler.Clsid,
               handler.PropertyBag, {}, nullptr};
        for (const TVolumeCacheDrive& d : handler.Drives) job.Drives.push_back(d.Drive);
        FActivity = FormatText(TTextId::VolumeCacheSizing, handler.DisplayName());
    }
    const DWORD limit = VolumeCacheTimeLimitMs();
    const TVolumeCacheRunResult run =
        RunVolumeCacheHostJob(job, limit, FAbort.Get(), [&](const std::vector<std::wstring>& fields) {
            std::lock_guard<std::mutex> lock(FLock);
            TVolumeCacheHandler& handler = FHandlers[index];
            const std::wstring& kind = fields[0];
            if (kind == P::Bag) {
                handler.BagDisplay = Field(fields, 1);
                handler.BagDescription = Field(fields, 2);
                return;
            }
            TVolumeCacheDrive* drive = DriveOf(handler, Field(fields, 1));
            if (kind == P::Init && drive != nullptr) {
                const HRESULT hr = Result(fields, 2);
                const DWORD flags = static_cast<DWORD>(Number(fields, 3));
                if (FAILED(hr)) {
                    drive->State = TVolumeCacheDriveState::Failed;
                    drive->Result = hr;
                    if (hr == E_ACCESSDENIED && !ProcessIsElevated()()) handler.NeedsAdministrator = true;
                    else if (handler.Failure.empty())
                        handler.Failure = FormatText(Field(fields, 6) == L"create" ? TTextId::VolumeCacheCannotCreate
                                                                                    : TTextId::VolumeCacheCannotInitialize,
                                                     VolumeCacheResultText(hr));
                    return;
                }
                drive->Flags = flags;
                handler.Flags |= flags;
                if (!Field(fields, 4).empty()) handler.HandlerDisplay = Field(fields, 4);
                if (!Field(fields, 5).empty()) handler.HandlerDescription = Field(fields, 5);
                if (hr == S_FALSE || (flags & 0x0004 /*EVCF_REMOVEFROMLIST*/) != 0)
                    drive->State = TVolumeCacheDriveState::Removed;
                FActivity = FormatText(TTextId::VolumeCacheSizing, handler.DisplayName());
            } else if (kind == P::Progress && drive != nullptr) {
                FActivity = FormatText(TTextId::VolumeCacheSizingSoFar, handler.DisplayName(),
                                       FormatSizeText(static_cast<double>(Number(fields, 2))));
            } else if (kind == P::Size && drive != nullptr) {
                const HRESULT hr = Result(fields, 2);
                if (SUCCEEDED(hr)) {
                    drive->State = TVolumeCacheDriveState::Counted;
                    drive->Size = Number(fields, 3);
                } else if (hr == E_ABORT) {
                    drive->State = TVolumeCacheDriveState::NotCounted;
                } else if (hr == E_ACCESSDENIED && !ProcessIsElevated()()) {
                    drive->State = TVolumeCacheDriveState::Failed;
                    handler.NeedsAdministrator = true;
                } else {
                    drive->State = TVolumeCacheDriveState::Failed;
                    drive->Result = hr;
                    if (handler.Failure.empty())
                        handler.Failure = FormatText(TTextId::VolumeCacheCannotSize, VolumeCacheResultText(hr));
                }
            } else if (kind == P::Deact && drive != nullptr) {
                // Done with this drive for good: nothing to offer here.
                if ((Number(fields, 3) & 0x0004 /*EVCF_REMOVEFROMLIST*/) != 0)
                    drive->State = TVolumeCacheDriveState::Removed;
            }
        });
    std::lock_guard<std::mutex> lock(FLock);
    TVolumeCacheHandler& handler = FHandlers[index];
    if (run.End == TVolumeCacheRunEnd::Crashed || run.End == TVolumeCacheRunEnd::StartFailed) {
        handler.Failure = EndText(run, limit);
        for (TVolumeCacheDrive& d : handler.Drives)
            if (d.State == TVolumeCacheDriveState::Pending) d.State = TVolumeCacheDriveState::Failed;
    } else {
        // Stopped or past the limit: "未计算", and the pass goes on.
        for (TVolumeCacheDrive& d : handler.Drives)
            if (d.State == TVolumeCacheDriveState::Pending) d.State = TVolumeCacheDriveState::NotCounted;
    }
}

// --- The cleanup ---

void TCleanupVolumeCacheItem::Execute() {
    Join();
    std::vector<size_t> indices;
    {
        std::lock_guard<std::mutex> lock(FLock);
        for (size_t i = 0; i < FHandlers.size(); ++i) {
            FHandlers[i].Outcomes.clear();
            if (FHandlers[i].Runs()) indices.push_back(i);
        }
        FFailures.clear();
        FBusy = true;
        FActivity.clear();
    }
    ::ResetEvent(FAbort.Get());
    ::ResetEvent(FDone.Get());
    FThread = std::thread([this, indices] { PurgeThread(indices); });
    // The window keeps answering (DoStatus lets it) while the handlers work.
    while (::WaitForSingleObject(FDone.Get(), 50) == WAIT_TIMEOUT) {
        const std::wstring activity = ActivityText();
        if (!activity.empty()) DoStatus(activity);
    }
    Join();
    std::vector<std::wstring> failures;
    {
        std::lock_guard<std::mutex> lock(FLock);
        failures = FFailures;
    }
    if (OnFailure)
        for (const std::wstring& failure : failures) OnFailure(failure);
}

void TCleanupVolumeCacheItem::PurgeThread(std::vector<size_t> indices) {
    for (size_t index : indices) {
        if (::WaitForSingleObject(FAbort.Get(), 0) == WAIT_OBJECT_0) break;
        PurgeOne(index);
    }
    std::lock_guard<std::mutex> lock(FLock);
    FBusy = false;
    FActivity.clear();
    ::SetEvent(FDone.Get());
}

void TCleanupVolumeCacheItem::PurgeOne(size_t index) {
    TVolumeCacheHostJob job;
    std::wstring display;
    {
        std::lock_guard<std::mutex> lock(FLock);
        TVolumeCacheHandler& handler = FHandlers[index];
        job = {P::OpPurge, VolumeCachesKeyPath() + L"\\" + handler.KeyName, handler.KeyName, handler.Clsid,
               handler.PropertyBag, {}, nullptr};
        for (const TVolumeCacheDrive& d : handler.Drives)
            if (d.State != TVolumeCacheDriveState::Removed && d.State != TVolumeCacheDriveState::Failed &&
                !(d.State == TVolumeCacheDriveState::Counted && d.Size == 0)) {
                job.Drives.push_back(d.Drive);
                TVolumeCacheOutcome outcome;
                outcome.Drive = d.Drive;
                handler.Outcomes.push_back(outcome);
            }
        display = handler.DisplayName();
        FActivity = FormatText(TTextId::VolumeCacheCleaning, display);
    }
    if (job.Drives.empty()) return;
    const DWORD limit = VolumeCacheTimeLimitMs();
    const TVolumeCacheRunResult run =
        RunVolumeCacheHostJob(job, limit, FAbort.Get(), [&](const std::vector<std::wstring>& fields) {
            std::lock_guard<std::mutex> lock(FLock);
            TVolumeCacheHandler& handler = FHandlers[index];
            TVolumeCacheOutcome* outcome = OutcomeOf(handler, Field(fields, 1));
            if (outcome == nullptr) return;
            const std::wstring& kind = fields[0];
            if (kind == P::Init && FAILED(Result(fields, 2))) {
                outcome->Result = Result(fields, 2);
                outcome->Failure = FormatText(TTextId::VolumeCacheCannotInitialize, VolumeCacheResultText(outcome->Result));
            } else if (kind == P::Size) {
                outcome->Estimate = Number(fields, 3);
            } else if (kind == P::Progress) {
                const uint64_t done = Number(fields, 2), total = Number(fields, 3);
                const uint64_t percent = total > 0 ? std::min<uint64_t>(100, done * 100 / total) : 0;
                FActivity = FormatText(TTextId::VolumeCacheCleaningPercent, display, percent);
            } else if (kind == P::Purged) {
                outcome->Ran = true;
                outcome->Result = Result(fields, 2);
                const uint64_t before = Number(fields, 3), after = Number(fields, 4);
                outcome->Freed = after > before ? after - before : 0;
                if (FAILED(outcome->Result) && outcome->Result != E_ABORT)
                    outcome->Failure = FormatText(TTextId::VolumeCacheCleanupFailed, VolumeCacheResultText(outcome->Result));
            }
        });
    std::lock_guard<std::mutex> lock(FLock);
    TVolumeCacheHandler& handler = FHandlers[index];
    const std::wstring ended = EndText(run, limit);
    for (TVolumeCacheOutcome& outcome : handler.Outcomes) {
        if (outcome.Failure.empty() && !outcome.Ran && run.End != TVolumeCacheRunEnd::Done) outcome.Failure = ended;
        if (outcome.Failure.empty() || run.End == TVolumeCacheRunEnd::Aborted) continue;
        FFailures.push_back(
            FormatText(TTextId::VolumeCacheLogFailure, display, VolumeCacheDriveName(outcome.Drive), outcome.Failure));
    }
}

std::vector<std::wstring> TCleanupVolumeCacheItem::OutcomeLogLines() const {
    std::lock_guard<std::mutex> lock(FLock);
    std::vector<std::wstring> lines;
    for (const TVolumeCacheHandler& handler : FHandlers)
        for (const TVolumeCacheOutcome& outcome : handler.Outcomes)
            if (outcome.Ran) lines.push_back(VolumeCacheOutcomeLogText(handler.DisplayName(), outcome));
    return lines;
}

std::wstring TCleanupVolumeCacheItem::AdministratorLogLine() const {
    std::lock_guard<std::mutex> lock(FLock);
    std::wstring names;
    for (const TVolumeCacheHandler& handler : FHandlers)
        if (handler.NeedsAdministrator) names += (names.empty() ? L"" : L", ") + handler.DisplayName();
    if (names.empty()) return L"";
    return FormatText(TTextId::VolumeCacheLogNeedAdministrator, names);
}

std::vector<std::wstring> TCleanupVolumeCacheItem::UnusableLogLines() const {
    std::lock_guard<std::mutex> lock(FLock);
    std::vector<std::wstring> lines;
    for (const TVolumeCacheHandler& handler : FHandlers)
        if (handler.Checked && !handler.NeedsAdministrator && !handler.Failure.empty())
            lines.push_back(FormatText(TTextId::VolumeCacheLogUnusable, handler.DisplayName(), handler.Failure));
    return lines;
}

void TCleanupVolumeCacheItem::ShowHandlerProperties(const std::wstring& keyName, HWND owner) {
    TVolumeCacheHostJob job;
    {
        std::lock_guard<std::mutex> lock(FLock);
        for (const TVolumeCacheHandler& handler : FHandlers)
            if (handler.KeyName == keyName) {
                job = {P::OpProperties, VolumeCachesKeyPath() + L"\\" + handler.KeyName, handler.KeyName,
                       handler.Clsid, handler.PropertyBag, {}, owner};
                for (const TVolumeCacheDrive& d : handler.Drives)
                    if (d.State == TVolumeCacheDriveState::Counted) {
                        job.Drives.push_back(d.Drive);
                        break;
                    }
            }
    }
    if (job.Drives.empty()) return;
    // The handler's window belongs to the host; ours waits for it, painting.
    THandle finished(::CreateEventW(nullptr, TRUE, FALSE, nullptr));
    std::thread runner([&] {
        RunVolumeCacheHostJob(job, INFINITE, nullptr, nullptr);
        ::SetEvent(finished.Get());
    });
    HANDLE wait = finished.Get();
    while (::MsgWaitForMultipleObjects(1, &wait, FALSE, INFINITE, QS_ALLINPUT) == WAIT_OBJECT_0 + 1) {
        MSG message;
        while (::PeekMessageW(&message, nullptr, 0, 0, PM_REMOVE)) {
            ::TranslateMessage(&message);
            ::DispatchMessageW(&message);
        }
    }
    runner.join();
}

TCleanupItemState TCleanupVolumeCacheItem::GetState() {
    std::lock_guard<std::mutex> lock(FLock);
    bool scanned = !FHandlers.empty();
    for (const TVolumeCacheHandler& handler : FHandlers) {
        if (!handler.Runs()) continue;
        if (handler.TotalSize() > 0) return TCleanupItemState::csFilesFound;
        if (!handler.Scanned() || handler.AnyNotCounted()) scanned = false;
    }
    return scanned ? TCleanupItemState::csNothingFound : TCleanupItemState::csNotCounted;
}

void TCleanupVolumeCacheItem::GetFirstInfoLine(std::wstring& text) {
    text = LoadText(TTextId::InfoVolumeCaches);
}

void TCleanupVolumeCacheItem::GetSecondInfoLine(std::wstring& text) {
    std::lock_guard<std::mutex> lock(FLock);
    int listed = 0, checked = 0;
    uint64_t bytes = 0;
    std::wstring details;
    for (const TVolumeCacheHandler& handler : FHandlers) {
        if (!handler.Listed()) continue;
        ++listed;
        if (!handler.Runs()) continue;
        ++checked;
        bytes += handler.TotalSize();
        details += L"\r" + handler.DisplayName() + L": " + VolumeCacheSizesText(handler);
    }
    text = FormatText(TTextId::VolumeCachesSummary, listed, checked, FormatSizeText(static_cast<double>(bytes))) + details;
    for (const TVolumeCacheHandler& handler : FHandlers)
        for (const TVolumeCacheOutcome& outcome : handler.Outcomes)
            if (outcome.Ran) text += L"\r" + VolumeCacheOutcomeLogText(handler.DisplayName(), outcome);
}
