#include "app/SingleInstance.h"

#include "platform/ErrorBox.h"

#include <algorithm>
#include <cstring>

namespace {

// A process that died holding the lock would otherwise block every later
// start of the program; after this long the waiter takes the lock anyway.
constexpr DWORD LockWaitLimitMs = 5000;
// A full message queue is the only reason PostThreadMessage keeps failing;
// give up rather than spin while holding the lock.
constexpr int PostRetryLimit = 1000;

std::wstring UpperCaseAsciiText(std::wstring s) {
    for (auto& c : s)
        if (c >= L'a' && c <= L'z') c = static_cast<wchar_t>(c - L'a' + L'A');
    return s;
}

// Opens or creates a named shared block of Size bytes. A block this call
// created is zero-filled by the system (page-file backed mappings always are).
void OpenSharedBlock(const std::wstring& name, DWORD size, THandle& mapping, TMappedView& view) {
    mapping.Reset(::CreateFileMappingW(INVALID_HANDLE_VALUE, nullptr, PAGE_READWRITE, 0, size, name.c_str()));
    if (!mapping) RaiseLastOSError();
    view.Reset(::MapViewOfFile(mapping.Get(), FILE_MAP_ALL_ACCESS, 0, 0, size));
    if (!view) RaiseLastOSError();
}

struct TFindAppWindow {
    DWORD Pid;
    HWND Found;
};

BOOL CALLBACK FindAppWindowProc(HWND wnd, LPARAM param) {
    auto* search = reinterpret_cast<TFindAppWindow*>(param);
    wchar_t className[32] = {};
    if (::GetClassNameW(wnd, className, 32) == 0 || std::wcscmp(className, L"TApplication") != 0) return TRUE;
    DWORD pid = 0;
    ::GetWindowThreadProcessId(wnd, &pid);
    if (pid != search->Pid) return TRUE;
    search->Found = wnd;
    return FALSE;
}

struct TNotifyArgs {
    UINT Message;
    WPARAM WParam;
    LPARAM LParam;
};

BOOL CALLBACK NotifyThreadWindowProc(HWND wnd, LPARAM param) {
    auto* args = reinterpret_cast<TNotifyArgs*>(param);
    ::SendNotifyMessageW(wnd, args->Message, args->WParam, args->LParam);
    return TRUE;
}

}  // namespace

std::wstring MakeInstanceIdentifier(const std::wstring& exePath) {
    std::wstring id = UpperCaseAsciiText(L"Jcl" + exePath);
    std::replace(id.begin(), id.end(), L'\\', L'_');
    return id;
}

std::wstring GetOwnExecutablePath() {
    std::wstring path(MAX_PATH, L'\0');
    for (;;) {
        DWORD length = ::GetModuleFileNameW(nullptr, path.data(), static_cast<DWORD>(path.size()));
        if (length == 0) RaiseLastOSError();
        if (length < path.size()) {
            path.resize(length);
            return path;
        }
        path.resize(path.size() * 2);
    }
}

int ClampedInstanceCount(const TInstanceBlock& block) {
    return std::min<int>(block.InstanceCount, TInstanceBlock::MaxEntries);
}

int AppendInstance(TInstanceBlock& block, uint32_t pid) {
    int before = ClampedInstanceCount(block);
    if (before < TInstanceBlock::MaxEntries) {
        block.ProcessIds[before] = pid;
        block.InstanceCount = static_cast<uint16_t>(before + 1);
    } else {
        block.InstanceCount = TInstanceBlock::MaxEntries;
    }
    return before;
}

void RemoveInstance(TInstanceBlock& block, uint32_t pid) {
    int count = ClampedInstanceCount(block);
    for (int i = 0; i < count; ++i) {
        if (block.ProcessIds[i] != pid) continue;
        std::memmove(&block.ProcessIds[i], &block.ProcessIds[i + 1],
                     sizeof(block.ProcessIds[0]) * static_cast<size_t>(count - i - 1));
        block.ProcessIds[count - 1] = 0;
        block.InstanceCount = static_cast<uint16_t>(count - 1);
        return;
    }
    block.InstanceCount = static_cast<uint16_t>(count);
}

// --- TCrossProcessLock ---

TCrossProcessLock::TCrossProcessLock(const std::wstring& name) {
    FEvent.Reset(::CreateEventW(nullptr, FALSE, FALSE, (L"Optex_Event_" + name).c_str()));
    if (!FEvent) RaiseLastOSError();
    OpenSharedBlock(L"Optex_MMF_" + name, sizeof(TShared), FMapping, FView);
    FShared = static_cast<TShared*>(FView.Get());
}

void TCrossProcessLock::Enter() {
    DWORD self = ::GetCurrentThreadId();
    if (::InterlockedIncrement(&FShared->LockCount) == 1) {
        FShared->OwnerThreadId = self;
        FShared->RecurseCount = 1;
        return;
    }
    if (FShared->OwnerThreadId == self) {
        FShared->RecurseCount = FShared->RecurseCount + 1;
        return;
    }
    ::WaitForSingleObject(FEvent.Get(), LockWaitLimitMs);
    FShared->OwnerThreadId = self;
    FShared->RecurseCount = 1;
}

void TCrossProcessLock::Leave() {
    FShared->RecurseCount = FShared->RecurseCount - 1;
    if (FShared->RecurseCount > 0) {
        ::InterlockedDecrement(&FShared->LockCount);
        return;
    }
    FShared->OwnerThreadId = 0;
    if (::InterlockedDecrement(&FShared->LockCount) > 0) ::SetEvent(FEvent.Get());
}

// --- TInstanceRegistry ---

TInstanceRegistry::TInstanceRegistry(const std::wstring& identifier) : FLock(identifier + L"_Otx") {
    OpenSharedBlock(identifier + L"_Map", sizeof(TInstanceBlock), FMapping, FView);
    FMessageId = ::RegisterWindowMessageW((identifier + L"_Msg").c_str());
}

TInstanceRegistry::~TInstanceRegistry() {
    if (!FRegistered) return;
    {
        TLockGuard guard(FLock);
        RemoveInstance(*Block(), ::GetCurrentProcessId());
    }
    Announce(InstanceEnded);
}

bool TInstanceRegistry::CheckSingleInstance() {
    int before;
    int maximum;
    {
        TLockGuard guard(FLock);
        TInstanceBlock& block = *Block();
        if (block.MaxInstances == 0) block.MaxInstances = 1;
        maximum = block.MaxInstances;
        before = AppendInstance(block, ::GetCurrentProcessId());
        FRegistered = true;
    }
    if (before >= maximum) return false;
    Announce(InstanceCreated);
    return true;
}

std::vector<uint32_t> TInstanceRegistry::RegisteredProcessIds() {
    TLockGuard guard(FLock);
    const TInstanceBlock& block = *Block();
    return std::vector<uint32_t>(block.ProcessIds, block.ProcessIds + ClampedInstanceCount(block));
}

void TInstanceRegistry::Announce(WPARAM event) {
    TLockGuard guard(FLock);
    const TInstanceBlock& block = *Block();
    const LPARAM self = static_cast<LPARAM>(::GetCurrentProcessId());
    for (int i = 0; i < ClampedInstanceCount(block); ++i) {
        HWND appWindow = FindApplicationWindow(block.ProcessIds[i]);
        if (appWindow == nullptr) continue;
        DWORD thread = ::GetWindowThreadProcessId(appWindow, nullptr);
        for (int attempt = 0; attempt < PostRetryLimit; ++attempt) {
            if (::PostThreadMessageW(thread, FMessageId, event, self)) break;
            if (::GetLastError() == ERROR_INVALID_THREAD_ID) break;
            ::Sleep(1);
        }
        TNotifyArgs args{FMessageId, event, self};
        ::EnumThreadWindows(thread, NotifyThreadWindowProc, reinterpret_cast<LPARAM>(&args));
    }
}

void TInstanceRegistry::SwitchToFirstInstance() {
    std::vector<uint32_t> pids = RegisteredProcessIds();
    if (pids.empty()) return;
    HWND appWindow = FindApplicationWindow(pids.front());
    if (appWindow == nullptr) return;
    // The application window is hidden and owns the forms; the window the user
    // knows is the one of them that was active last (the main form or an open dialog).
    HWND target = ::GetLastActivePopup(appWindow);
    if (::IsIconic(appWindow) || ::IsIconic(target)) {
        DWORD_PTR ignored = 0;
        ::SendMessageTimeoutW(appWindow, WM_SYSCOMMAND, SC_RESTORE, 0, SMTO_ABORTIFHUNG, 5000, &ignored);
    }
    BringWindowToFront(target);
}

HWND FindApplicationWindow(DWORD pid) {
    TFindAppWindow search{pid, nullptr};
    ::EnumWindows(FindAppWindowProc, reinterpret_cast<LPARAM>(&search));
    return search.Found;
}

void BringWindowToFront(HWND wnd) {
    HWND foreground = ::GetForegroundWindow();
    if (foreground == wnd) return;
    DWORD targetThread = ::GetWindowThreadProcessId(wnd, nullptr);
    DWORD foregroundThread = foreground ? ::GetWindowThreadProcessId(foreground, nullptr) : 0;
    if (foregroundThread == 0 || foregroundThread == targetThread) {
        ::SetForegroundWindow(wnd);
        return;
    }
    ::AttachThreadInput(foregroundThread, targetThread, TRUE);
    BOOL done = ::SetForegroundWindow(wnd);
    ::AttachThreadInput(foregroundThread, targetThread, FALSE);
    if (done) ::SetForegroundWindow(wnd);
}
