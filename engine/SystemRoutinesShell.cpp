// Recycle bin through shell32 exports looked up at run time, and the system's
// disk cleanup tool.
#include "engine/SystemRoutines.h"

#include "platform/Handles.h"

#include <windows.h>
#include <shellapi.h>

namespace {

// Owns the shell library for the rest of the run; freed when the program ends.
class TShellLibrary {
public:
    TShellLibrary() = default;
    TShellLibrary(const TShellLibrary&) = delete;
    TShellLibrary& operator=(const TShellLibrary&) = delete;
    ~TShellLibrary() {
        if (FModule) ::FreeLibrary(FModule);
    }

    HMODULE Get() {
        if (!FModule) {
            // A missing DLL must not pop up the system's "cannot find file" box.
            const UINT previous = ::SetErrorMode(SEM_NOOPENFILEERRORBOX);
            FModule = ::LoadLibraryW(L"shell32.dll");
            ::SetErrorMode(previous);
        }
        return FModule;
    }

private:
    HMODULE FModule = nullptr;
};

TShellLibrary GShellLibrary;

using TSHQueryRecycleBinW = HRESULT(WINAPI*)(LPCWSTR, LPSHQUERYRBINFO);
using TSHEmptyRecycleBinW = HRESULT(WINAPI*)(HWND, LPCWSTR, DWORD);

template <typename TFunction>
TFunction ShellExport(const char* name) {
    HMODULE shell = LoadShellLibrary();
    if (!shell) return nullptr;
    return reinterpret_cast<TFunction>(::GetProcAddress(shell, name));
}

constexpr DWORD EmptyRecycleBinFlags = SHERB_NOCONFIRMATION | SHERB_NOPROGRESSUI | SHERB_NOSOUND;

}  // namespace

HMODULE LoadShellLibrary() { return GShellLibrary.Get(); }

int32_t QueryRecycleBin(bool Size) {
    auto query = ShellExport<TSHQueryRecycleBinW>("SHQueryRecycleBinW");
    if (!query) return -1;
    SHQUERYRBINFO info = {};
    info.cbSize = sizeof(info);
    if (query(nullptr, &info) != S_OK) return -1;
    const uint64_t value = static_cast<uint64_t>(Size ? info.i64Size : info.i64NumItems);
    return static_cast<int32_t>(static_cast<uint32_t>(value));
}

void EmptyRecycleBin() {
    // Wine's SHEmptyRecycleBinW deletes the target of a trashed file link, and
    // nothing the program can ask tells such a link from a file there.
    if (RunningUnderWine()) return;
    if (auto empty = ShellExport<TSHEmptyRecycleBinW>("SHEmptyRecycleBinW"))
        empty(ApplicationWindow(), nullptr, EmptyRecycleBinFlags);
}

bool CanEmptyRecycleBin() { return ShellExport<TSHEmptyRecycleBinW>("SHEmptyRecycleBinW") != nullptr; }

// --- Disk cleanup tool ---

namespace {

std::wstring DiskCleanupPath() { return GetWindowsDir() + L"system32\\cleanmgr.exe"; }

// Removes and dispatches every message waiting for this thread, so the
// program's windows keep painting while the tool runs.
void DispatchPendingMessages() {
    MSG message;
    while (::PeekMessageW(&message, nullptr, 0, 0, PM_REMOVE)) {
        ::TranslateMessage(&message);
        ::DispatchMessageW(&message);
    }
}

void RunDiskCleanupTool(const wchar_t* parameters) {
    if (!DiskCleanupExists()) return;
    const std::wstring path = DiskCleanupPath();
    SHELLEXECUTEINFOW info = {};
    info.cbSize = sizeof(info);
    info.fMask = SEE_MASK_NOCLOSEPROCESS | SEE_MASK_FLAG_DDEWAIT | SEE_MASK_DOENVSUBST | SEE_MASK_FLAG_NO_UI;
    info.lpVerb = nullptr;
    info.lpFile = path.c_str();
    info.lpParameters = parameters;
    info.nShow = SW_SHOWNORMAL;
    if (!::ShellExecuteExW(&info)) return;
    // A start handed to an already running instance (DDE) gives no process to wait for.
    THandle process(info.hProcess);
    if (!process) return;
    // A tool that never waits for input (hung, or a console program) must not
    // freeze the windows: the idle wait goes in short slices with the messages
    // handled between them, and gives up after a while; the process wait follows.
    const ULONGLONG idleLimit = ::GetTickCount64() + DiskCleanupIdleLimitMs;
    while (::WaitForInputIdle(process.Get(), 50) == WAIT_TIMEOUT && ::GetTickCount64() < idleLimit &&
           ::WaitForSingleObject(process.Get(), 0) == WAIT_TIMEOUT)
        DispatchPendingMessages();
    while (::WaitForSingleObject(process.Get(), 10) == WAIT_TIMEOUT) DispatchPendingMessages();
}

}  // namespace

bool DiskCleanupExists() {
    const std::wstring path = DiskCleanupPath();
    // A drive without a medium must fail quietly, not ask the user to insert one.
    const UINT previous = ::SetErrorMode(SEM_FAILCRITICALERRORS);
    WIN32_FIND_DATAW data;
    TFindHandle find(::FindFirstFileW(path.c_str(), &data));
    ::SetErrorMode(previous);
    return find.Valid();
}

void RunDiskCleanup() { RunDiskCleanupTool(L"/dc /sagerun: 1"); }

void SetupDiskCleanup() { RunDiskCleanupTool(L"/dc /sageset: 1"); }
