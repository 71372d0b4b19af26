// Internet Explorer's URL cache and history store, and the event logs.
#include "engine/SystemRoutines.h"

#include "engine/Exceptions.h"
#include "platform/ComPtr.h"
#include "platform/ErrorBox.h"

#include <windows.h>
#include <objbase.h>
#include <urlhist.h>
#include <wininet.h>

#include <cwchar>
#include <vector>

namespace {

// --- URL cache ---

// Owns a URL cache enumeration.
class TUrlCacheFind {
public:
    TUrlCacheFind() = default;
    TUrlCacheFind(const TUrlCacheFind&) = delete;
    TUrlCacheFind& operator=(const TUrlCacheFind&) = delete;
    ~TUrlCacheFind() { Reset(); }

    HANDLE Get() const { return FHandle; }
    explicit operator bool() const { return FHandle != nullptr; }
    void Reset(HANDLE handle = nullptr) {
        if (FHandle) ::FindCloseUrlCache(FHandle);
        FHandle = handle;
    }

private:
    HANDLE FHandle = nullptr;
};

// One cache entry as the enumeration returns it: the record, followed by its
// strings. Kept in 8-byte units because the record holds pointers.
class TCacheEntryBuffer {
public:
    // Sizes the buffer for Size bytes and stamps the size into the record's first word.
    void Prepare(DWORD size) {
        FStorage.assign((size + sizeof(uint64_t) - 1) / sizeof(uint64_t), 0);
        *reinterpret_cast<DWORD*>(FStorage.data()) = size;
    }
    INTERNET_CACHE_ENTRY_INFOW* Entry() { return reinterpret_cast<INTERNET_CACHE_ENTRY_INFOW*>(FStorage.data()); }

private:
    std::vector<uint64_t> FStorage;
};

// The size the next entry needs, or 0 when there is none. The probe passes no
// buffer, so the call can only fail with ERROR_INSUFFICIENT_BUFFER; any other
// answer (the end of the cache included) ends the walk. A record smaller than
// its fixed part cannot be right and ends it too.
DWORD ProbedSize(BOOL probeResult, DWORD size) {
    if (probeResult || ::GetLastError() != ERROR_INSUFFICIENT_BUFFER) return 0;
    return size >= sizeof(INTERNET_CACHE_ENTRY_INFOW) ? size : 0;
}

// Opens the walk and fetches the first entry into Buffer.
bool FindFirstCacheEntry(TUrlCacheFind& find, TCacheEntryBuffer& buffer) {
    DWORD size = 0;
    HANDLE probe = ::FindFirstUrlCacheEntryW(nullptr, nullptr, &size);
    if (probe) {
        // Cannot happen without a buffer; never leak the handle if it does.
        ::FindCloseUrlCache(probe);
        return false;
    }
    size = ProbedSize(FALSE, size);
    if (size == 0) return false;
    buffer.Prepare(size);
    find.Reset(::FindFirstUrlCacheEntryW(nullptr, buffer.Entry(), &size));
    return static_cast<bool>(find);
}

bool FindNextCacheEntry(TUrlCacheFind& find, TCacheEntryBuffer& buffer) {
    DWORD size = 0;
    const BOOL probe = ::FindNextUrlCacheEntryW(find.Get(), nullptr, &size);
    size = ProbedSize(probe, size);
    if (size == 0) return false;
    buffer.Prepare(size);
    return ::FindNextUrlCacheEntryW(find.Get(), buffer.Entry(), &size) != FALSE;
}

void ClearCacheEntry(const INTERNET_CACHE_ENTRY_INFOW& entry, bool deleteNonCookies, bool deleteCookies) {
    const wchar_t* name = entry.lpszSourceUrlName;
    if (!name || !*name) return;
    const bool cookie = std::wcsstr(name, L"Cookie") != nullptr;
    if ((cookie && deleteCookies) || (!cookie && deleteNonCookies)) ::DeleteUrlCacheEntryW(name);
}

// --- URL history ---

// {3C374A40-BAE4-11CF-BF7D-00AA006946EE}
constexpr CLSID CLSID_UrlHistory = {0x3C374A40, 0xBAE4, 0x11CF, {0xBF, 0x7D, 0x00, 0xAA, 0x00, 0x69, 0x46, 0xEE}};
// {AFA0DC11-C313-11D0-831A-00C04FD5AE38}
constexpr IID IID_UrlHistoryStg2 = {0xAFA0DC11, 0xC313, 0x11D0, {0x83, 0x1A, 0x00, 0xC0, 0x4F, 0xD5, 0xAE, 0x38}};

std::wstring GuidText(const GUID& guid) {
    wchar_t text[40] = {};
    ::StringFromGUID2(guid, text, 40);
    return text;
}

}  // namespace

void ClearUrlCache(bool DeleteNonCookies, bool DeleteCookies) {
    TUrlCacheFind find;
    TCacheEntryBuffer buffer;
    if (!FindFirstCacheEntry(find, buffer)) return;
    do {
        ProcessPendingMessages();
        ClearCacheEntry(*buffer.Entry(), DeleteNonCookies, DeleteCookies);
    } while (FindNextCacheEntry(find, buffer));
}

void ClearUrlHistory() {
    TComPtr<IUnknown> object;
    const HRESULT created = ::CoCreateInstance(CLSID_UrlHistory, nullptr, CLSCTX_INPROC_SERVER | CLSCTX_LOCAL_SERVER,
                                               IID_IUnknown, object.ReceiveVoid());
    if (FAILED(created))
        throw Exception(SysErrorMessage(static_cast<DWORD>(created)) + L", ClassID: " + GuidText(CLSID_UrlHistory));
    TComPtr<IUrlHistoryStg2> history = object.As<IUrlHistoryStg2>(IID_UrlHistoryStg2);
    if (!history) throw Exception(L"Interface not supported");
    // Stores that cannot clear (Wine answers E_NOTIMPL) leave nothing we could do.
    history->ClearHistory();
}

// --- Event logs ---

namespace {

// Owns an event log handle.
class TEventLogHandle {
public:
    explicit TEventLogHandle(HANDLE handle) : FHandle(handle) {}
    TEventLogHandle(const TEventLogHandle&) = delete;
    TEventLogHandle& operator=(const TEventLogHandle&) = delete;
    ~TEventLogHandle() {
        if (FHandle) ::CloseEventLog(FHandle);
    }
    HANDLE Get() const { return FHandle; }
    explicit operator bool() const { return FHandle != nullptr; }

private:
    HANDLE FHandle;
};

}  // namespace

const wchar_t* EventLogName(TEventLogKind Log) {
    switch (Log) {
        case elApplication: return L"APPLICATION";
        case elSecurity: return L"SECURITY";
        case elSystem: return L"SYSTEM";
    }
    // Never fall back to some other log: clearing the wrong one loses records.
    throw EAssertionFailed(L"TEventLogKind out of range");
}

void ClearEventLog(TEventLogKind Log) {
    TEventLogHandle log(::OpenEventLogW(nullptr, EventLogName(Log)));
    if (!log) RaiseLastOSError();
    // The service decides what it can clear; a refusal is not the user's concern.
    ::ClearEventLogW(log.Get(), nullptr);
}
