// The main list's row for Windows' disk cleanup handlers: one action that
// carries every handler of the VolumeCaches key. The reading pass sizes them
// beside the file walk (StartScan), each in a host process of its own; the
// cleanup purges the ticked ones the same way and logs each one's outcome.
#pragma once

#include "catalogue/VolumeCacheHandlers.h"
#include "engine/VantrelClasses.h"
#include "platform/Handles.h"
#include "texts/Texts.h"

#include <functional>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

class TCleanupVolumeCacheItem : public TCleanupCustomItem {
public:
    // The row's name as the settings file stores its tick, whatever the display language.
    static inline const std::wstring ActionName = LoadTextIn(TLanguage::Chinese, TTextId::ActionVolumeCaches);

    TCleanupVolumeCacheItem();
    ~TCleanupVolumeCacheItem() override;

    // Listed only where at least one handler is registered.
    static bool IsAvailable();

    // A copy of the handlers as they stand (the scan changes them meanwhile).
    std::vector<TVolumeCacheHandler> Handlers() const;
    // Reads the registry again and sizes every handler on Drives, on a thread of
    // its own, one host after another; returns at once.
    void StartScan(const std::vector<std::wstring>& Drives);
    bool Busy() const;
    // Aborts a scan or purge: the running handler is told (E_ABORT from its
    // callback) and its host killed if it does not end within 100 ms. Returns
    // when nothing runs any more.
    void Stop();
    // What the running scan or purge is doing now: "正在清理 <handler> …  N%".
    std::wstring ActivityText() const;

    // Ticks by handler key name (the window and the settings).
    void SetHandlerChecked(const std::wstring& KeyName, bool Checked);
    // Ticks the settings file holds, before a scan knows the handlers' defaults.
    void LoadTicks(const std::vector<std::pair<std::wstring, bool>>& Ticks);
    int CheckedCount() const;
    // What the ticked handlers said they would free, over all drives.
    uint64_t CheckedBytes() const;
    std::wstring RowText() const;

    // An automatic run: a handler without a stored tick follows EVCF_ENABLEBYDEFAULT_AUTO.
    bool AutomaticRun = false;
    // Each handler that crashed, hung or failed during the cleanup, as it ends.
    std::function<void(const std::wstring& Message)> OnFailure;
    // The cleanup's log lines, one per handler and drive that ran.
    std::vector<std::wstring> OutcomeLogLines() const;
    // One line naming the handlers that need an administrator, or empty.
    std::wstring AdministratorLogLine() const;
    // A line for each ticked handler that could not be used at all, with its reason.
    std::vector<std::wstring> UnusableLogLines() const;
    // The handler's own settings window (EVCF_HASSETTINGS), owned by Owner; the
    // calling thread keeps its messages flowing until it closes.
    void ShowHandlerProperties(const std::wstring& KeyName, HWND Owner);

    TCleanupItemState GetState() override;
    void GetFirstInfoLine(std::wstring& Text) override;
    void GetSecondInfoLine(std::wstring& Text) override;
    void Execute() override;

protected:
    void AfterConstruction() override;

private:
    void ScanThread(std::vector<std::wstring> Drives);
    void PurgeThread(std::vector<size_t> Indices);
    void ScanOne(size_t Index);
    void PurgeOne(size_t Index);
    void Join();

    mutable std::mutex FLock;
    std::vector<TVolumeCacheHandler> FHandlers;
    std::vector<std::pair<std::wstring, bool>> FStoredTicks;
    std::thread FThread;
    THandle FAbort;   // manual reset
    THandle FDone;    // manual reset: the thread has finished
    bool FBusy = false;
    std::wstring FActivity;
    std::vector<std::wstring> FFailures;
};
