// Stands in for Outlook's automation server in the test sandbox: a local-server
// executable whose objects answer the late-bound calls the program makes
// (Application.GetNamespace, Namespace.GetDefaultFolder, Folder.Items,
// Items.Count, Items.Remove), keep the folder's item count in a mailbox file and
// log every call. See FakeOutlookIds.h for the files. No window, no console.
#include "helpers/FakeOutlookIds.h"
#include "platform/ComPtr.h"
#include "platform/Handles.h"

#include <windows.h>
#include <objbase.h>
#include <oleauto.h>
#include <shellapi.h>

#include <atomic>
#include <cstdlib>
#include <string>
#include <vector>

namespace {

std::wstring GMailbox;
DWORD GMainThread = 0;
std::atomic<long> GServerLocks{0};  // live objects plus LockServer calls
int GItemsSerial = 0;

// --- Files ---

std::string ReadFileText(const std::wstring& path) {
    THandle file(::CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING,
                               0, nullptr));
    std::string text;
    char buffer[512];
    DWORD read = 0;
    while (file && ::ReadFile(file.Get(), buffer, sizeof(buffer), &read, nullptr) && read > 0) text.append(buffer, read);
    return text;
}

void WriteFileText(const std::wstring& path, const std::string& text, DWORD disposition, DWORD access) {
    THandle file(::CreateFileW(path.c_str(), access, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, disposition,
                               FILE_ATTRIBUTE_NORMAL, nullptr));
    DWORD written = 0;
    if (file) ::WriteFile(file.Get(), text.data(), static_cast<DWORD>(text.size()), &written, nullptr);
}

void Log(const std::string& line) {
    WriteFileText(GMailbox + L".log", line + "\r\n", OPEN_ALWAYS, FILE_APPEND_DATA);
}

struct TMailbox {
    int Items = 0;
    std::string Mode = "remove";
};

TMailbox ReadMailbox() {
    const std::string text = ReadFileText(GMailbox);
    TMailbox mailbox;
    const size_t lineEnd = text.find_first_of("\r\n");
    mailbox.Items = std::atoi(text.substr(0, lineEnd).c_str());
    if (lineEnd != std::string::npos) {
        const size_t modeStart = text.find_first_not_of("\r\n", lineEnd);
        if (modeStart != std::string::npos)
            mailbox.Mode = text.substr(modeStart, text.find_first_of("\r\n", modeStart) - modeStart);
    }
    return mailbox;
}

void WriteMailbox(const TMailbox& mailbox) {
    WriteFileText(GMailbox, std::to_string(mailbox.Items) + "\r\n" + mailbox.Mode + "\r\n", CREATE_ALWAYS,
                  GENERIC_WRITE);
}

std::string Narrow(const std::wstring& text) { return std::string(text.begin(), text.end()); }

// --- Server lifetime ---

void AddServerLock() { ++GServerLocks; }
void ReleaseServerLock() {
    if (--GServerLocks == 0) ::PostThreadMessageW(GMainThread, WM_QUIT, 0, 0);
}

// --- A dispatch object with members by name ---

// Raised inside a member; Invoke turns it into DISP_E_EXCEPTION.
struct TMemberError {
    std::wstring Description;
};

// The arguments of one call, first to last, converted on request.
class TArgs {
public:
    explicit TArgs(const DISPPARAMS* params) : FParams(params) {}
    size_t Count() const { return FParams ? FParams->cArgs : 0; }
    std::wstring Text(size_t index) const { return Converted(index, VT_BSTR).bstrVal; }
    int Integer(size_t index) const { return Converted(index, VT_I4).lVal; }

private:
    // The converted copies are kept until the call ends, so the strings stay valid.
    const VARIANT& Converted(size_t index, VARTYPE type) const {
        if (index >= Count()) throw TMemberError{L"missing argument"};
        FKept.emplace_back();
        VARIANT& target = FKept.back().Value;
        VARIANT* source = &FParams->rgvarg[Count() - 1 - index];
        if (FAILED(::VariantChangeType(&target, source, 0, type))) throw TMemberError{L"wrong argument type"};
        return target;
    }
    struct TKept {
        TKept() { ::VariantInit(&Value); }
        TKept(const TKept&) = delete;
        TKept(TKept&& other) noexcept : Value(other.Value) { ::VariantInit(&other.Value); }
        ~TKept() { ::VariantClear(&Value); }
        VARIANT Value;
    };
    const DISPPARAMS* FParams;
    mutable std::vector<TKept> FKept;
};

class TDispatchObject : public IDispatch {
public:
    TDispatchObject(const TDispatchObject&) = delete;
    TDispatchObject& operator=(const TDispatchObject&) = delete;

    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID iid, void** object) override {
        if (object == nullptr) return E_POINTER;
        *object = nullptr;
        if (iid != IID_IUnknown && iid != IID_IDispatch) return E_NOINTERFACE;
        *object = static_cast<IDispatch*>(this);
        AddRef();
        return S_OK;
    }
    ULONG STDMETHODCALLTYPE AddRef() override { return ++FRefs; }
    ULONG STDMETHODCALLTYPE Release() override {
        const ULONG refs = --FRefs;
        if (refs == 0) delete this;  // the COM object's own lifetime ends here
        return refs;
    }
    HRESULT STDMETHODCALLTYPE GetTypeInfoCount(UINT* count) override {
        if (count) *count = 0;
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE GetTypeInfo(UINT, LCID, ITypeInfo**) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE GetIDsOfNames(REFIID, LPOLESTR* names, UINT count, LCID, DISPID* ids) override {
        HRESULT result = S_OK;
        for (UINT i = 0; i < count; ++i) {
            ids[i] = DISPID_UNKNOWN;
            for (size_t m = 0; m < FMembers.size(); ++m)
                if (i == 0 && ::lstrcmpiW(names[i], FMembers[m]) == 0) ids[i] = static_cast<DISPID>(m + 1);
            if (ids[i] == DISPID_UNKNOWN) result = DISP_E_UNKNOWNNAME;
        }
        return result;
    }
    HRESULT STDMETHODCALLTYPE Invoke(DISPID id, REFIID, LCID, WORD, DISPPARAMS* params, VARIANT* result,
                                     EXCEPINFO* error, UINT*) override {
        if (id < 1 || static_cast<size_t>(id) > FMembers.size()) return DISP_E_MEMBERNOTFOUND;
        TArgs args(params);
        VARIANT ignored;
        ::VariantInit(&ignored);
        VARIANT* out = result ? result : &ignored;
        try {
            Call(id, args, *out);
        } catch (const TMemberError& e) {
            if (error) {
                *error = {};
                error->bstrSource = ::SysAllocString(L"Fake Outlook");
                error->bstrDescription = ::SysAllocString(e.Description.c_str());
                error->scode = E_FAIL;
            }
            return DISP_E_EXCEPTION;
        }
        ::VariantClear(&ignored);
        return S_OK;
    }

protected:
    explicit TDispatchObject(std::vector<const wchar_t*> members) : FMembers(std::move(members)) { AddServerLock(); }
    virtual ~TDispatchObject() { ReleaseServerLock(); }
    // Member Id (1-based, in the order of the names given) with its arguments; fills Result.
    virtual void Call(DISPID id, const TArgs& args, VARIANT& result) = 0;

    // Hands a new object to the caller through Result.
    static void ReturnObject(VARIANT& result, TDispatchObject* object) {
        result.vt = VT_DISPATCH;
        result.pdispVal = object;  // its first reference goes to the caller
    }

private:
    std::atomic<ULONG> FRefs{1};
    std::vector<const wchar_t*> FMembers;
};

class TItems : public TDispatchObject {
public:
    TItems() : TDispatchObject({L"Count", L"Remove"}), FSerial(++GItemsSerial) {
        Log("Items #" + std::to_string(FSerial));
    }

protected:
    void Call(DISPID id, const TArgs& args, VARIANT& result) override {
        TMailbox mailbox = ReadMailbox();
        if (id == 1) {
            Log("Count #" + std::to_string(FSerial) + " " + std::to_string(mailbox.Items));
            result.vt = VT_I4;
            result.lVal = mailbox.Items;
            return;
        }
        const int index = args.Integer(0);
        Log("Remove #" + std::to_string(FSerial) + " " + std::to_string(index));
        if (mailbox.Mode == "refuse") throw TMemberError{FAKE_OUTLOOK_REFUSAL};
        if (index < 1 || index > mailbox.Items) throw TMemberError{L"Array index out of bounds."};
        if (mailbox.Mode == "keep") return;
        --mailbox.Items;
        WriteMailbox(mailbox);
    }

private:
    int FSerial;
};

class TFolder : public TDispatchObject {
public:
    TFolder() : TDispatchObject({L"Items"}) {}

protected:
    void Call(DISPID, const TArgs&, VARIANT& result) override { ReturnObject(result, new TItems()); }
};

class TNamespace : public TDispatchObject {
public:
    TNamespace() : TDispatchObject({L"GetDefaultFolder"}) {}

protected:
    void Call(DISPID, const TArgs& args, VARIANT& result) override {
        const int folder = args.Integer(0);
        Log("GetDefaultFolder " + std::to_string(folder));
        if (folder != 3) throw TMemberError{L"only Deleted Items is served"};
        ReturnObject(result, new TFolder());
    }
};

class TApplication : public TDispatchObject {
public:
    TApplication() : TDispatchObject({L"GetNamespace"}) {}

protected:
    void Call(DISPID, const TArgs& args, VARIANT& result) override {
        const std::wstring name = args.Text(0);
        Log("GetNamespace " + Narrow(name));
        if (name != L"MAPI" || ReadMailbox().Mode == "nomapi") throw TMemberError{L"no such namespace"};
        ReturnObject(result, new TNamespace());
    }
};

class TFactory : public IClassFactory {
public:
    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID iid, void** object) override {
        if (object == nullptr) return E_POINTER;
        *object = nullptr;
        if (iid != IID_IUnknown && iid != IID_IClassFactory) return E_NOINTERFACE;
        *object = static_cast<IClassFactory*>(this);
        return S_OK;
    }
    // Lives on the stack of wWinMain for the whole run.
    ULONG STDMETHODCALLTYPE AddRef() override { return 2; }
    ULONG STDMETHODCALLTYPE Release() override { return 1; }
    HRESULT STDMETHODCALLTYPE CreateInstance(IUnknown* outer, REFIID iid, void** object) override {
        if (object == nullptr) return E_POINTER;
        *object = nullptr;
        if (outer != nullptr) return CLASS_E_NOAGGREGATION;
        Log("create");
        TComPtr<IDispatch> application = TComPtr<IDispatch>::Attach(new TApplication());
        return application->QueryInterface(iid, object);
    }
    HRESULT STDMETHODCALLTYPE LockServer(BOOL lock) override {
        if (lock)
            AddServerLock();
        else
            ReleaseServerLock();
        return S_OK;
    }
};

std::wstring MailboxArgument() {
    int count = 0;
    LPWSTR* argv = ::CommandLineToArgvW(::GetCommandLineW(), &count);
    std::wstring mailbox = (argv != nullptr && count > 1) ? argv[1] : L"";
    ::LocalFree(argv);
    return mailbox;
}

// Serves until the last object goes. A server nobody connects to, or whose
// client died holding objects, gives up after a while instead of lingering.
void ServeMessages() {
    const ULONGLONG started = ::GetTickCount64();
    ::SetTimer(nullptr, 0, 500, nullptr);
    MSG message;
    while (::GetMessageW(&message, nullptr, 0, 0) > 0) {
        if (message.message == WM_TIMER && message.hwnd == nullptr) {
            const ULONGLONG elapsed = ::GetTickCount64() - started;
            if ((GServerLocks == 0 && elapsed > 20000) || elapsed > 120000) break;
            continue;
        }
        ::DispatchMessageW(&message);
    }
}

}  // namespace

int WINAPI wWinMain(HINSTANCE, HINSTANCE, PWSTR, int) {
    GMailbox = MailboxArgument();
    if (GMailbox.empty()) return 2;
    GMainThread = ::GetCurrentThreadId();
    if (FAILED(::CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED))) return 3;
    CLSID classId = {};
    ::CLSIDFromString(FAKE_OUTLOOK_CLSID_TEXT, &classId);
    TFactory factory;
    DWORD cookie = 0;
    Log("start");
    // Single use: the next client that asks starts a fresh server.
    if (SUCCEEDED(::CoRegisterClassObject(classId, &factory, CLSCTX_LOCAL_SERVER, REGCLS_SINGLEUSE, &cookie))) {
        ServeMessages();
        ::CoRevokeClassObject(cookie);
    }
    Log("exit");
    ::CoUninitialize();
    return 0;
}
