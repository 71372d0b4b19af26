#include "platform/Dispatch.h"

#include "engine/Exceptions.h"
#include "platform/ErrorBox.h"

#include <objbase.h>

#include <iterator>
#include <vector>

namespace {

// The error record a failing Invoke fills in; frees its strings.
class TExcepInfo {
public:
    TExcepInfo() = default;
    TExcepInfo(const TExcepInfo&) = delete;
    TExcepInfo& operator=(const TExcepInfo&) = delete;
    ~TExcepInfo() {
        ::SysFreeString(FInfo.bstrSource);
        ::SysFreeString(FInfo.bstrDescription);
        ::SysFreeString(FInfo.bstrHelpFile);
    }
    EXCEPINFO* Receive() { return &FInfo; }

    // The server's description of the failure, or the system's text for its code.
    std::wstring Message() {
        if (FInfo.pfnDeferredFillIn != nullptr) {
            FInfo.pfnDeferredFillIn(&FInfo);
            FInfo.pfnDeferredFillIn = nullptr;
        }
        if (FInfo.bstrDescription != nullptr && ::SysStringLen(FInfo.bstrDescription) > 0)
            return std::wstring(FInfo.bstrDescription, ::SysStringLen(FInfo.bstrDescription));
        const HRESULT code = FInfo.scode != 0 ? FInfo.scode : DISP_E_EXCEPTION;
        return SysErrorMessage(static_cast<DWORD>(code));
    }

private:
    EXCEPINFO FInfo = {};
};

[[noreturn]] void RaiseCallError(const std::wstring& name, const std::wstring& text) {
    throw Exception(L"\"" + name + L"\": " + text);
}

DISPID MemberId(IDispatch* object, const std::wstring& name) {
    LPOLESTR names[] = {const_cast<LPOLESTR>(name.c_str())};
    DISPID id = DISPID_UNKNOWN;
    const HRESULT found = object->GetIDsOfNames(IID_NULL, names, 1, LOCALE_USER_DEFAULT, &id);
    if (FAILED(found)) RaiseCallError(name, SysErrorMessage(static_cast<DWORD>(found)));
    return id;
}

}  // namespace

TVariant VariantFromInteger(int32_t value) {
    TVariant v;
    VARIANT* slot = v.Receive();
    slot->vt = VT_I4;
    slot->lVal = value;
    return v;
}

TComPtr<IDispatch> CreateOleObject(const std::wstring& progId) {
    CLSID classId = {};
    HRESULT result = ::CLSIDFromProgID(progId.c_str(), &classId);
    TComPtr<IDispatch> object;
    if (SUCCEEDED(result))
        result = ::CoCreateInstance(classId, nullptr, CLSCTX_INPROC_SERVER | CLSCTX_LOCAL_SERVER, IID_IDispatch,
                                    object.ReceiveVoid());
    if (SUCCEEDED(result) && !object) result = E_NOINTERFACE;
    if (FAILED(result))
        throw Exception(SysErrorMessage(static_cast<DWORD>(result)) + L", ProgID: \"" + progId + L"\"");
    return object;
}

TVariant DispatchCall(IDispatch* object, const std::wstring& name, std::initializer_list<TDispArg> args) {
    if (object == nullptr) RaiseCallError(name, L"no object");
    const DISPID id = MemberId(object, name);
    // Invoke takes the arguments last to first. The copies only borrow the
    // callers' values: the server must not free in-arguments.
    std::vector<VARIANT> reversed;
    reversed.reserve(args.size());
    for (auto it = std::rbegin(args); it != std::rend(args); ++it) reversed.push_back(it->Value);
    DISPPARAMS params = {reversed.empty() ? nullptr : reversed.data(), nullptr, static_cast<UINT>(reversed.size()), 0};
    TVariant result;
    TExcepInfo error;
    UINT badArgument = 0;
    const HRESULT called = object->Invoke(id, IID_NULL, LOCALE_USER_DEFAULT, DISPATCH_METHOD | DISPATCH_PROPERTYGET,
                                          &params, result.Receive(), error.Receive(), &badArgument);
    if (called == DISP_E_EXCEPTION) RaiseCallError(name, error.Message());
    if (FAILED(called)) RaiseCallError(name, SysErrorMessage(static_cast<DWORD>(called)));
    return result;
}

TComPtr<IDispatch> DispatchObject(IDispatch* object, const std::wstring& name, std::initializer_list<TDispArg> args) {
    TVariant value = DispatchCall(object, name, args);
    const VARIANT& v = value.Get();
    TComPtr<IDispatch> result;
    if (v.vt == VT_DISPATCH)
        result = TComPtr<IDispatch>::Share(v.pdispVal);
    else if (v.vt == VT_UNKNOWN && v.punkVal != nullptr)
        v.punkVal->QueryInterface(IID_IDispatch, result.ReceiveVoid());
    if (!result) RaiseCallError(name, L"the result is not an automation object");
    return result;
}

int32_t DispatchInteger(IDispatch* object, const std::wstring& name, std::initializer_list<TDispArg> args) {
    TVariant value = DispatchCall(object, name, args);
    TVariant number;
    VARIANT* source = const_cast<VARIANT*>(&value.Get());  // VariantChangeType only reads it
    const HRESULT converted = ::VariantChangeType(number.Receive(), source, 0, VT_I4);
    if (FAILED(converted)) RaiseCallError(name, SysErrorMessage(static_cast<DWORD>(converted)));
    return number.Get().lVal;
}
