// A disk cleanup handler for the tests: an in-process COM server whose
// behaviour each registration chooses with values on its own VolumeCaches key
// (the key handed to Initialize):
//   StandInMode    normal | zero | sfalse | efail | slow | hang | crash | slowpurge
//   StandInFolder  the folder whose files it counts and, in Purge, deletes
//   StandInFlags   DWORD, the flags Initialize returns (EVCF_*)
//   StandInDisplay a display name Initialize returns (wins over the registry's)
//   StandInLog     a file each call is appended to ("InitializeEx C:\", "Deactivate", ...)
// It touches nothing outside its folder and its log.
#include "VolumeCacheStandInIds.h"

#include <windows.h>
#include <emptyvc.h>
#include <ocidl.h>

#include <atomic>
#include <string>
#include <vector>

namespace {

HMODULE GModule = nullptr;
std::atomic<long> GObjects{0};

enum class TKind { Both, V2Only, V1Only };

std::wstring ReadText(HKEY key, const wchar_t* name) {
    wchar_t buffer[1024] = {};
    DWORD size = sizeof(buffer) - sizeof(wchar_t), type = 0;
    if (key == nullptr || ::RegQueryValueExW(key, name, nullptr, &type, reinterpret_cast<BYTE*>(buffer), &size) != ERROR_SUCCESS)
        return L"";
    return buffer;
}

DWORD ReadNumber(HKEY key, const wchar_t* name) {
    DWORD value = 0, size = sizeof(value), type = 0;
    if (key == nullptr || ::RegQueryValueExW(key, name, nullptr, &type, reinterpret_cast<BYTE*>(&value), &size) != ERROR_SUCCESS)
        return 0;
    return value;
}

LPWSTR CoText(const std::wstring& text) {
    if (text.empty()) return nullptr;
    auto* copy = static_cast<LPWSTR>(::CoTaskMemAlloc((text.size() + 1) * sizeof(wchar_t)));
    if (copy != nullptr) ::lstrcpyW(copy, text.c_str());
    return copy;
}

struct TFile {
    std::wstring Path;
    uint64_t Size;
};

std::vector<TFile> FilesIn(const std::wstring& folder) {
    std::vector<TFile> files;
    if (folder.empty()) return files;
    WIN32_FIND_DATAW data;
    HANDLE find = ::FindFirstFileW((folder + L"\\*").c_str(), &data);
    if (find == INVALID_HANDLE_VALUE) return files;
    do {
        if ((data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0) continue;
        files.push_back({folder + L"\\" + data.cFileName, (uint64_t(data.nFileSizeHigh) << 32) | data.nFileSizeLow});
    } while (::FindNextFileW(find, &data));
    ::FindClose(find);
    return files;
}

class THandler : public IEmptyVolumeCache2 {
public:
    explicit THandler(TKind kind) : FKind(kind) { ++GObjects; }
    virtual ~THandler() { --GObjects; }

    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID iid, void** object) override {
        if (object == nullptr) return E_POINTER;
        *object = nullptr;
        if (iid == IID_IUnknown || iid == IID_IEmptyVolumeCache) *object = static_cast<IEmptyVolumeCache*>(this);
        else if (iid == IID_IEmptyVolumeCache2 && FKind != TKind::V1Only) *object = static_cast<IEmptyVolumeCache2*>(this);
        else return E_NOINTERFACE;
        AddRef();
        return S_OK;
    }
    ULONG STDMETHODCALLTYPE AddRef() override { return ++FRefs; }
    ULONG STDMETHODCALLTYPE Release() override {
        const ULONG refs = --FRefs;
        if (refs == 0) delete this;
        return refs;
    }

    HRESULT STDMETHODCALLTYPE Initialize(HKEY key, LPCWSTR volume, LPWSTR* display, LPWSTR* description,
                                         DWORD* flags) override {
        if (FKind == TKind::V2Only) return E_NOTIMPL;
        return Start(L"Initialize", key, volume, display, description, flags);
    }
    HRESULT STDMETHODCALLTYPE InitializeEx(HKEY key, LPCWSTR volume, LPCWSTR keyName, LPWSTR* display,
                                           LPWSTR* description, LPWSTR* button, DWORD* flags) override {
        if (button != nullptr) *button = nullptr;
        return Start(std::wstring(L"InitializeEx ") + (keyName != nullptr ? keyName : L"?"), key, volume, display,
                     description, flags);
    }

    HRESULT STDMETHODCALLTYPE GetSpaceUsed(DWORDLONG* used, IEmptyVolumeCacheCallBack* callback) override {
        Log(L"GetSpaceUsed");
        *used = 0;
        if (FMode == L"hang") ::Sleep(INFINITE);
        if (FMode == L"slow") {
            for (int i = 0; i < 20 * 600; ++i) {
                ::Sleep(50);
                if (callback != nullptr && callback->ScanProgress(0, 0, nullptr) == E_ABORT) {
                    Log(L"GetSpaceUsed aborted");
                    return E_ABORT;
                }
            }
        }
        if (FMode == L"zero") {
            if (callback != nullptr) callback->ScanProgress(0, EVCCBF_LASTNOTIFICATION, nullptr);
            return S_OK;
        }
        for (const TFile& file : FilesIn(FFolder)) {
            *used += file.Size;
            if (callback != nullptr && callback->ScanProgress(*used, 0, nullptr) == E_ABORT) return E_ABORT;
        }
        if (callback != nullptr) callback->ScanProgress(*used, EVCCBF_LASTNOTIFICATION, nullptr);
        return S_OK;
    }

    HRESULT STDMETHODCALLTYPE Purge(DWORDLONG, IEmptyVolumeCacheCallBack* callback) override {
        Log(L"Purge");
        if (FMode == L"crash") {
            volatile int* nowhere = nullptr;
            *nowhere = 1;
        }
        const std::vector<TFile> files = FilesIn(FFolder);
        uint64_t total = 0, freed = 0;
        for (const TFile& file : files) total += file.Size;
        for (const TFile& file : files) {
            if (FMode == L"slowpurge") ::Sleep(100);
            if (::DeleteFileW(file.Path.c_str())) freed += file.Size;
            if (callback != nullptr && callback->PurgeProgress(freed, total, 0, nullptr) == E_ABORT) {
                Log(L"Purge aborted");
                return E_ABORT;
            }
        }
        if (callback != nullptr) callback->PurgeProgress(freed, total, EVCCBF_LASTNOTIFICATION, nullptr);
        return S_OK;
    }

    HRESULT STDMETHODCALLTYPE ShowProperties(HWND) override {
        Log(L"ShowProperties");
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE Deactivate(DWORD* flags) override {
        Log(L"Deactivate");
        if (flags != nullptr) *flags = 0;
        return S_OK;
    }

private:
    HRESULT Start(const std::wstring& call, HKEY key, LPCWSTR volume, LPWSTR* display, LPWSTR* description,
                  DWORD* flags) {
        FMode = ReadText(key, L"StandInMode");
        FFolder = ReadText(key, L"StandInFolder");
        FLog = ReadText(key, L"StandInLog");
        // Its folder lies on one drive: on any other it has nothing.
        if (volume != nullptr && FFolder.size() > 1 && FFolder[1] == L':' &&
            (FFolder[0] | 0x20) != (volume[0] | 0x20))
            FFolder.clear();
        Log(call + L" " + (volume != nullptr ? volume : L"?"));
        *display = CoText(ReadText(key, L"StandInDisplay"));
        *description = nullptr;
        *flags = ReadNumber(key, L"StandInFlags");
        if (FMode == L"zero") *flags |= EVCF_DONTSHOWIFZERO;
        if (FMode == L"efail") return E_FAIL;
        if (FMode == L"sfalse") return S_FALSE;
        return S_OK;
    }
    void Log(const std::wstring& line) {
        if (FLog.empty()) return;
        HANDLE file = ::CreateFileW(FLog.c_str(), FILE_APPEND_DATA, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                                    OPEN_ALWAYS, 0, nullptr);
        if (file == INVALID_HANDLE_VALUE) return;
        const std::wstring text = line + L"\r\n";
        char utf8[2048];
        const int length = ::WideCharToMultiByte(CP_UTF8, 0, text.c_str(), static_cast<int>(text.size()), utf8,
                                                 sizeof(utf8), nullptr, nullptr);
        DWORD written = 0;
        ::WriteFile(file, utf8, static_cast<DWORD>(length), &written, nullptr);
        ::CloseHandle(file);
    }

    std::atomic<ULONG> FRefs{1};
    TKind FKind;
    std::wstring FMode, FFolder, FLog;
};

class TBag : public IPropertyBag {
public:
    TBag() { ++GObjects; }
    virtual ~TBag() { --GObjects; }
    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID iid, void** object) override {
        if (object == nullptr) return E_POINTER;
        *object = nullptr;
        if (iid != IID_IUnknown && iid != IID_IPropertyBag) return E_NOINTERFACE;
        *object = static_cast<IPropertyBag*>(this);
        AddRef();
        return S_OK;
    }
    ULONG STDMETHODCALLTYPE AddRef() override { return ++FRefs; }
    ULONG STDMETHODCALLTYPE Release() override {
        const ULONG refs = --FRefs;
        if (refs == 0) delete this;
        return refs;
    }
    HRESULT STDMETHODCALLTYPE Read(LPCOLESTR name, VARIANT* value, IErrorLog*) override {
        if (name == nullptr || value == nullptr || ::lstrcmpiW(name, L"Description") != 0) return E_INVALIDARG;
        value->vt = VT_BSTR;
        value->bstrVal = ::SysAllocString(VT_STANDIN_BAG_DESCRIPTION);
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE Write(LPCOLESTR, VARIANT*) override { return E_NOTIMPL; }

private:
    std::atomic<ULONG> FRefs{1};
};

class TFactory : public IClassFactory {
public:
    explicit TFactory(int kind) : FKind(kind) {}
    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID iid, void** object) override {
        if (object == nullptr) return E_POINTER;
        *object = nullptr;
        if (iid != IID_IUnknown && iid != IID_IClassFactory) return E_NOINTERFACE;
        *object = static_cast<IClassFactory*>(this);
        return S_OK;
    }
    ULONG STDMETHODCALLTYPE AddRef() override { return 2; }
    ULONG STDMETHODCALLTYPE Release() override { return 1; }
    HRESULT STDMETHODCALLTYPE CreateInstance(IUnknown* outer, REFIID iid, void** object) override {
        if (outer != nullptr) return CLASS_E_NOAGGREGATION;
        IUnknown* created = FKind == 3 ? static_cast<IUnknown*>(new TBag())
                                       : static_cast<IUnknown*>(static_cast<IEmptyVolumeCache*>(
                                             new THandler(static_cast<TKind>(FKind))));
        const HRESULT hr = created->QueryInterface(iid, object);
        created->Release();
        return hr;
    }
    HRESULT STDMETHODCALLTYPE LockServer(BOOL) override { return S_OK; }

private:
    int FKind;
};

}  // namespace

extern "C" BOOL WINAPI DllMain(HINSTANCE instance, DWORD reason, LPVOID) {
    if (reason == DLL_PROCESS_ATTACH) GModule = instance;
    return TRUE;
}

extern "C" __declspec(dllexport) HRESULT STDAPICALLTYPE DllGetClassObject(REFCLSID clsid, REFIID iid, void** object) {
    static TFactory both(0), v2only(1), v1only(2), bag(3);
    const struct {
        const wchar_t* Id;
        TFactory* Factory;
    } classes[] = {{VT_STANDIN_CLSID, &both},
                   {VT_STANDIN_V2ONLY_CLSID, &v2only},
                   {VT_STANDIN_V1ONLY_CLSID, &v1only},
                   {VT_STANDIN_BAG_CLSID, &bag}};
    for (const auto& c : classes) {
        CLSID id{};
        ::CLSIDFromString(c.Id, &id);
        if (::IsEqualCLSID(id, clsid)) return c.Factory->QueryInterface(iid, object);
    }
    return CLASS_E_CLASSNOTAVAILABLE;
}

extern "C" __declspec(dllexport) HRESULT STDAPICALLTYPE DllCanUnloadNow() { return GObjects == 0 ? S_OK : S_FALSE; }
