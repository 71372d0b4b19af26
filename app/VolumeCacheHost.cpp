#include "app/VolumeCacheHost.h"

#include "catalogue/VolumeCacheProtocol.h"
#include "platform/MessagePipe.h"

#include <windows.h>
#include <emptyvc.h>
#include <ocidl.h>
#include <objbase.h>
#include <shellapi.h>

#include <atomic>
#include <cwchar>

namespace P = VolumeCacheProtocol;

namespace {

TMessagePipe* GPipe = nullptr;
std::atomic<bool> GAbort{false};

// Whatever the handler leaves uncaught, on any thread: the parent hears the
// code, and the process ends at once (no debugger, no error box).
LONG WINAPI ReportCrash(EXCEPTION_POINTERS* pointers) {
    const DWORD code = pointers != nullptr && pointers->ExceptionRecord != nullptr
                           ? pointers->ExceptionRecord->ExceptionCode
                           : 0xE0000001;
    // A crash in the middle of our own write must not wait for itself.
    if (GPipe != nullptr) GPipe->Write(JoinMessageFields({P::Crash, std::to_wstring(code)}), 500);
    ::TerminateProcess(::GetCurrentProcess(), code);
    return EXCEPTION_EXECUTE_HANDLER;
}

std::wstring Num(unsigned long long value) { return std::to_wstring(value); }

void Send(const std::vector<std::wstring>& fields) {
    if (GPipe != nullptr) GPipe->Write(JoinMessageFields(fields));
}

std::wstring TakeCoString(LPWSTR text) {
    std::wstring result = text != nullptr ? text : L"";
    if (text != nullptr) ::CoTaskMemFree(text);
    return result;
}

// The callback the handler reports to: progress goes to the parent (at most ten
// times a second, and the last one always), ABORT turns every answer into E_ABORT.
class TCallback : public IEmptyVolumeCacheCallBack {
public:
    std::wstring Drive;
    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID iid, void** object) override {
        if (object == nullptr) return E_POINTER;
        if (iid == IID_IUnknown || iid == IID_IEmptyVolumeCacheCallBack) {
            *object = static_cast<IEmptyVolumeCacheCallBack*>(this);
            return S_OK;
        }
        *object = nullptr;
        return E_NOINTERFACE;
    }
    ULONG STDMETHODCALLTYPE AddRef() override { return 2; }
    ULONG STDMETHODCALLTYPE Release() override { return 1; }
    HRESULT STDMETHODCALLTYPE ScanProgress(DWORDLONG used, DWORD flags, LPCWSTR) override {
        Report(used, 0, flags);
        return GAbort ? E_ABORT : S_OK;
    }
    HRESULT STDMETHODCALLTYPE PurgeProgress(DWORDLONG freed, DWORDLONG toFree, DWORD flags, LPCWSTR) override {
        Report(freed, toFree, flags);
        return GAbort ? E_ABORT : S_OK;
    }

private:
    void Report(DWORDLONG done, DWORDLONG total, DWORD flags) {
        const ULONGLONG now = ::GetTickCount64();
        if ((flags & EVCCBF_LASTNOTIFICATION) == 0 && now - FLast < 100) return;
        FLast = now;
        Send({P::Progress, Drive, Num(done), Num(total)});
    }
    ULONGLONG FLast = 0;
};

struct TJob {
    std::wstring Op, KeyPath, KeyName, Clsid, Bag;
    std::vector<std::wstring> Drives;
    HWND Owner = nullptr;
};

uint64_t FreeBytes(const std::wstring& drive) {
    ULARGE_INTEGER available{};
    ::GetDiskFreeSpaceExW(drive.c_str(), &available, nullptr, nullptr);
    return available.QuadPart;
}

std::wstring ReadBagText(IPropertyBag* bag, const wchar_t* name) {
    VARIANT value;
    ::VariantInit(&value);
    std::wstring text;
    if (SUCCEEDED(bag->Read(name, &value, nullptr)) && value.vt == VT_BSTR && value.bstrVal != nullptr)
        text = value.bstrVal;
    ::VariantClear(&value);
    return text;
}

// The threading model the handler registered: "Free" asks for the
// multithreaded apartment, everything else (Apartment, Both, none) gets one of its own.
DWORD ApartmentFor(const std::wstring& clsid) {
    HKEY key = nullptr;
    const std::wstring path = L"CLSID\\" + clsid + L"\\InprocServer32";
    DWORD model = COINIT_APARTMENTTHREADED;
    if (::RegOpenKeyExW(HKEY_CLASSES_ROOT, path.c_str(), 0, KEY_READ, &key) == ERROR_SUCCESS) {
        wchar_t text[64] = {};
        DWORD size = sizeof(text) - sizeof(wchar_t);
        if (::RegQueryValueExW(key, L"ThreadingModel", nullptr, nullptr, reinterpret_cast<BYTE*>(text), &size) ==
                ERROR_SUCCESS &&
            _wcsicmp(text, L"Free") == 0)
            model = COINIT_MULTITHREADED;
        ::RegCloseKey(key);
    }
    return model;
}

void RunHandler(const TJob& job, IEmptyVolumeCache* cache, HKEY key, const std::wstring& drive) {
    LPWSTR display = nullptr, description = nullptr, button = nullptr;
    DWORD flags = 0;
    HRESULT hr;
    IEmptyVolumeCache2* cache2 = nullptr;
    if (SUCCEEDED(cache->QueryInterface(IID_IEmptyVolumeCache2, reinterpret_cast<void**>(&cache2))) && cache2 != nullptr) {
        hr = cache2->InitializeEx(key, drive.c_str(), job.KeyName.c_str(), &display, &description, &button, &flags);
        cache2->Release();
    } else {
        hr = cache->Initialize(key, drive.c_str(), &display, &description, &flags);
    }
    TakeCoString(button);
    Send({P::Init, drive, Num(static_cast<uint32_t>(hr)), Num(flags), TakeCoString(display), TakeCoString(description)});
    if (FAILED(hr)) return;
    // S_FALSE or EVCF_REMOVEFROMLIST: nothing to do here, but Deactivate still follows.
    if (hr == S_OK && (flags & EVCF_REMOVEFROMLIST) == 0) {
        TCallback callback;
        callback.Drive = drive;
        if (job.Op == P::OpProperties) {
            Send({P::Props, Num(static_cast<uint32_t>(cache->ShowProperties(job.Owner)))});
        } else {
            DWORDLONG used = 0;
            const HRESULT scan = GAbort ? E_ABORT : cache->GetSpaceUsed(&used, &callback);
            Send({P::Size, drive, Num(static_cast<uint32_t>(scan)), Num(used)});
            if (job.Op == P::OpPurge && SUCCEEDED(scan) && !GAbort) {
                const uint64_t before = FreeBytes(drive);
                const HRESULT purge = cache->Purge(static_cast<DWORDLONG>(-1), &callback);
                Send({P::Purged, drive, Num(static_cast<uint32_t>(purge)), Num(before), Num(FreeBytes(drive))});
            }
        }
    }
    DWORD after = 0;
    const HRESULT deactivate = cache->Deactivate(&after);
    Send({P::Deact, drive, Num(static_cast<uint32_t>(deactivate)), Num(after)});
}

DWORD WINAPI WorkerThread(void* parameter) {
    const TJob& job = *static_cast<const TJob*>(parameter);
    ::CoInitializeEx(nullptr, ApartmentFor(job.Clsid));
    CLSID clsid{};
    const HRESULT parsed = ::CLSIDFromString(job.Clsid.c_str(), &clsid);
    if (!job.Bag.empty()) {
        CLSID bagClsid{};
        IPropertyBag* bag = nullptr;
        if (SUCCEEDED(::CLSIDFromString(job.Bag.c_str(), &bagClsid)) &&
            SUCCEEDED(::CoCreateInstance(bagClsid, nullptr, CLSCTX_INPROC_SERVER, IID_IPropertyBag,
                                         reinterpret_cast<void**>(&bag))) &&
            bag != nullptr) {
            Send({P::Bag, ReadBagText(bag, L"Display"), ReadBagText(bag, L"Description")});
            bag->Release();
        }
    }
    HKEY key = nullptr;
    ::RegOpenKeyExW(HKEY_LOCAL_MACHINE, job.KeyPath.c_str(), 0, KEY_READ | KEY_WOW64_64KEY, &key);
    for (const std::wstring& drive : job.Drives) {
        if (GAbort) break;
        IEmptyVolumeCache* cache = nullptr;
        HRESULT hr = parsed;
        if (SUCCEEDED(hr))
            hr = ::CoCreateInstance(clsid, nullptr, CLSCTX_INPROC_SERVER, IID_IEmptyVolumeCache,
                                    reinterpret_cast<void**>(&cache));
        if (FAILED(hr) || cache == nullptr) {
            // "create": the object itself could not be made (class not registered, DLL missing, ...).
            Send({P::Init, drive, Num(static_cast<uint32_t>(FAILED(hr) ? hr : E_NOINTERFACE)), L"0", L"", L"",
                  L"create"});
            continue;
        }
        RunHandler(job, cache, key, drive);
        cache->Release();
    }
    if (key != nullptr) ::RegCloseKey(key);
    Send({P::End});
    ::CoUninitialize();
    return 0;
}

}  // namespace

std::wstring VolumeCacheHostPipeName(const std::vector<std::wstring>& args) {
    if (args.size() >= 3 && _wcsicmp(args[1].c_str(), P::HostSwitch) == 0) return args[2];
    return L"";
}

std::wstring VolumeCacheHostPipeNameOfProcess() {
    int count = 0;
    LPWSTR* argv = ::CommandLineToArgvW(::GetCommandLineW(), &count);
    if (argv == nullptr) return L"";
    std::vector<std::wstring> args(argv, argv + count);
    ::LocalFree(argv);
    return VolumeCacheHostPipeName(args);
}

int RunVolumeCacheHost(const std::wstring& pipeName) {
    ::SetErrorMode(SEM_FAILCRITICALERRORS | SEM_NOGPFAULTERRORBOX | SEM_NOOPENFILEERRORBOX);
    static TMessagePipe pipe;
    if (!pipe.Open(pipeName, 10000)) return 2;
    GPipe = &pipe;
    ::SetUnhandledExceptionFilter(ReportCrash);

    std::wstring message;
    if (pipe.Read(message, {}, 30000) != TMessagePipe::TWait::Message) return 3;
    const std::vector<std::wstring> fields = SplitMessageFields(message);
    if (fields.size() < 8 || fields[0] != P::Run) return 4;
    static TJob job;
    job.Op = fields[1];
    job.KeyPath = fields[2];
    job.KeyName = fields[3];
    job.Clsid = fields[4];
    job.Bag = fields[5];
    for (size_t start = 0; start < fields[6].size();) {
        size_t end = fields[6].find(L';', start);
        if (end == std::wstring::npos) end = fields[6].size();
        if (end > start) job.Drives.push_back(fields[6].substr(start, end - start));
        start = end + 1;
    }
    job.Owner = reinterpret_cast<HWND>(static_cast<INT_PTR>(std::wcstoll(fields[7].c_str(), nullptr, 10)));

    THandle worker(::CreateThread(nullptr, 0, WorkerThread, &job, 0, nullptr));
    if (!worker.Valid()) return 5;
    // The parent may abort at any time; when its end of the pipe goes, so does this process.
    for (;;) {
        const TMessagePipe::TWait wait = pipe.Read(message, {worker.Get()}, INFINITE);
        if (wait == TMessagePipe::TWait::Other) break;
        if (wait == TMessagePipe::TWait::Message) {
            if (message == P::Abort) GAbort = true;
            continue;
        }
        ::TerminateProcess(::GetCurrentProcess(), ERROR_BROKEN_PIPE);
    }
    return 0;
}
