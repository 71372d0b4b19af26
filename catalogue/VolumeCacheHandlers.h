// Windows' disk cleanup handlers as Vantrel sees them: what the registry says
// of each (VolumeCaches, 64-bit view), and what the handler itself said per
// drive when its host sized or purged it.
#pragma once

#include <windows.h>

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

enum class TVolumeCacheDriveState : uint8_t {
    Pending,     // not asked yet
    Counted,     // GetSpaceUsed answered
    NotCounted,  // past the limit, or stopped: "未计算"
    Removed,     // S_FALSE or EVCF_REMOVEFROMLIST: nothing to do on this drive
    Failed,      // could not be created or initialised, or its host died
};

struct TVolumeCacheDrive {
    std::wstring Drive;  // "C:\"
    TVolumeCacheDriveState State = TVolumeCacheDriveState::Pending;
    uint64_t Size = 0;   // GetSpaceUsed
    DWORD Flags = 0;     // from Initialize
    HRESULT Result = S_OK;
    std::wstring Reason;  // why it failed
};

// What one handler's purge on one drive did.
struct TVolumeCacheOutcome {
    std::wstring Drive;
    bool Ran = false;          // Purge was called and returned
    uint64_t Freed = 0;        // the drive's free space grew by this much around the purge
    uint64_t Estimate = 0;     // what GetSpaceUsed said just before
    HRESULT Result = S_OK;
    std::wstring Failure;      // crashed, hung, refused, ...
};

struct TVolumeCacheHandler {
    // From the registry
    std::wstring KeyName;
    std::wstring Clsid;
    std::wstring Display;       // indirect strings already resolved
    std::wstring Description;
    std::wstring PropertyBag;
    DWORD Priority = 0;
    DWORD RegistryFlags = 0;    // "Flags" (StateFlags are cleanmgr's own)
    // From the handler (its own texts win over the property bag's and the registry's)
    std::wstring HandlerDisplay, HandlerDescription;
    std::wstring BagDisplay, BagDescription;
    DWORD Flags = 0;            // what Initialize returned, over all drives
    // Greyed with a reason: needs an administrator, or cannot be run at all
    bool NeedsAdministrator = false;
    std::wstring Failure;
    std::vector<TVolumeCacheDrive> Drives;
    std::vector<TVolumeCacheOutcome> Outcomes;  // of the last cleanup
    bool Checked = false;
    bool TickKnown = false;     // Checked came from the settings or the user

    std::wstring DisplayName() const;
    std::wstring DescriptionText() const;
    bool Scanned() const;       // every drive has its answer
    // Shown in the window: not removed on every drive, and not a zero that asks to be hidden.
    bool Listed() const;
    // Greyed: listed without a tick.
    bool Greyed() const { return NeedsAdministrator || !Failure.empty(); }
    bool Runs() const { return Checked && !Greyed() && Listed(); }
    uint64_t TotalSize() const;
    bool AnyNotCounted() const;
    // The Downloads folder's handler and any whose texts speak of the user's own
    // files: never ticked by default, and asked about before they are.
    bool HoldsUserFiles() const;
    // Ticked when nothing is known of the user's wish: EVCF_ENABLEBYDEFAULT
    // (EVCF_ENABLEBYDEFAULT_AUTO in an automatic run), unless the handler holds the user's files.
    bool DefaultChecked(bool Automatic = false) const;
};

// The key all handlers are registered under, below HKEY_LOCAL_MACHINE; tests
// point it at a key of their own.
std::wstring& VolumeCachesKeyPath();

// Every subkey of the VolumeCaches key with a CLSID, by Priority (highest first)
// then by name. The recycle bin's handler is left out: Vantrel empties the bin itself.
std::vector<TVolumeCacheHandler> FindVolumeCacheHandlers();

// Whether this handler needs an administrator before it can do anything:
// Windows' own handlers of machine-wide files, by key name (see DESIGN.md). A
// handler not known here that answers E_ACCESSDENIED is marked the same way.
bool VolumeCacheHandlerNeedsAdministrator(const std::wstring& KeyName);
// Whether this process runs elevated; tests replace the answer.
std::function<bool()>& ProcessIsElevated();

// "C:" of "C:\".
std::wstring VolumeCacheDriveName(const std::wstring& Drive);
// The cleanup's log line for one handler on one drive.
std::wstring VolumeCacheOutcomeLogText(const std::wstring& DisplayName, const TVolumeCacheOutcome& Outcome);
// Its size per drive, as the hint and the window show it: "C: 12.0 MB, D: 未计算".
std::wstring VolumeCacheSizesText(const TVolumeCacheHandler& Handler);
// An HRESULT for the user: "0x80004005" with the system's text when it has one.
std::wstring VolumeCacheResultText(HRESULT Result);
