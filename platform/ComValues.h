// RAII owners for the automation value types that COM calls take and return:
// BSTR and VARIANT. Both convert to and from std::wstring without loss
// (a BSTR carries its length, so embedded zeros survive).
#pragma once

#include <oleauto.h>

#include <cstring>
#include <new>
#include <string>
#include <utility>

class TBStr {
public:
    TBStr() = default;
    explicit TBStr(const std::wstring& text)
        : FStr(::SysAllocStringLen(text.data(), static_cast<UINT>(text.size()))) {
        if (FStr == nullptr) throw std::bad_alloc();
    }
    TBStr(const TBStr&) = delete;
    TBStr& operator=(const TBStr&) = delete;
    TBStr(TBStr&& other) noexcept : FStr(std::exchange(other.FStr, nullptr)) {}
    ~TBStr() { ::SysFreeString(FStr); }

    BSTR Get() const { return FStr; }
    // For an "out" parameter: frees the held string and returns the empty slot.
    BSTR* Receive() {
        ::SysFreeString(std::exchange(FStr, nullptr));
        return &FStr;
    }
    // A null BSTR is the empty string by COM convention.
    std::wstring Str() const { return FStr ? std::wstring(FStr, ::SysStringLen(FStr)) : std::wstring(); }

private:
    BSTR FStr = nullptr;
};

class TVariant {
public:
    TVariant() { ::VariantInit(&FValue); }
    TVariant(const TVariant&) = delete;
    TVariant& operator=(const TVariant&) = delete;
    ~TVariant() { ::VariantClear(&FValue); }

    static TVariant FromString(const std::wstring& text) {
        TVariant v;
        v.FValue.bstrVal = ::SysAllocStringLen(text.data(), static_cast<UINT>(text.size()));
        if (v.FValue.bstrVal == nullptr) throw std::bad_alloc();
        v.FValue.vt = VT_BSTR;
        return v;
    }
    static TVariant FromBool(bool value) {
        TVariant v;
        v.FValue.vt = VT_BOOL;
        v.FValue.boolVal = value ? VARIANT_TRUE : VARIANT_FALSE;
        return v;
    }
    // A copy of Bytes as an array of bytes (VT_ARRAY | VT_UI1).
    static TVariant FromBytes(const void* bytes, size_t count) {
        SAFEARRAY* array = ::SafeArrayCreateVector(VT_UI1, 0, static_cast<ULONG>(count));
        if (array == nullptr) throw std::bad_alloc();
        TVariant v;
        v.FValue.vt = VT_ARRAY | VT_UI1;
        v.FValue.parray = array;
        void* data = nullptr;
        if (FAILED(::SafeArrayAccessData(array, &data))) throw std::bad_alloc();
        if (count != 0) ::memcpy(data, bytes, count);
        ::SafeArrayUnaccessData(array);
        return v;
    }
    // Holds a reference of its own to Unknown.
    static TVariant FromUnknown(IUnknown* unknown) {
        TVariant v;
        v.FValue.vt = VT_UNKNOWN;
        v.FValue.punkVal = unknown;
        if (unknown) unknown->AddRef();
        return v;
    }

    TVariant(TVariant&& other) noexcept : FValue(other.FValue) { ::VariantInit(&other.FValue); }

    // Passed by value to COM methods, which only borrow it.
    const VARIANT& Get() const { return FValue; }
    VARIANT* Receive() {
        ::VariantClear(&FValue);
        return &FValue;
    }

    bool IsNullOrEmpty() const { return FValue.vt == VT_NULL || FValue.vt == VT_EMPTY; }
    // The text of a string value; empty for null, empty and any value that does not convert.
    std::wstring Str() const {
        if (FValue.vt == VT_BSTR)
            return FValue.bstrVal ? std::wstring(FValue.bstrVal, ::SysStringLen(FValue.bstrVal)) : std::wstring();
        if (IsNullOrEmpty()) return std::wstring();
        TVariant text;
        VARIANT* source = const_cast<VARIANT*>(&FValue);  // VariantChangeType only reads it
        if (FAILED(::VariantChangeType(text.Receive(), source, 0, VT_BSTR))) return std::wstring();
        return text.Str();
    }

private:
    VARIANT FValue;
};
