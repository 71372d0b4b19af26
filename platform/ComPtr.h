// RAII owner of one COM interface pointer. Copying adds a reference, moving
// hands it over; the last owner releases it.
#pragma once

#include <objbase.h>

#include <cstddef>
#include <utility>

template <class T>
class TComPtr {
public:
    TComPtr() = default;
    TComPtr(std::nullptr_t) {}
    TComPtr(const TComPtr& other) : FPtr(other.FPtr) {
        if (FPtr) FPtr->AddRef();
    }
    TComPtr(TComPtr&& other) noexcept : FPtr(std::exchange(other.FPtr, nullptr)) {}
    TComPtr& operator=(TComPtr other) noexcept {
        std::swap(FPtr, other.FPtr);
        return *this;
    }
    ~TComPtr() { Reset(); }

    // Takes over a reference the caller already owns (the result of a COM "out" parameter).
    static TComPtr Attach(T* p) {
        TComPtr result;
        result.FPtr = p;
        return result;
    }
    // Adds a reference of its own to a pointer the caller keeps owning.
    static TComPtr Share(T* p) {
        if (p) p->AddRef();
        return Attach(p);
    }

    T* Get() const { return FPtr; }
    T* operator->() const { return FPtr; }
    explicit operator bool() const { return FPtr != nullptr; }

    // For an "out" parameter: releases the held pointer and returns the empty slot.
    // When the call fails the slot stays null.
    T** Receive() {
        Reset();
        return &FPtr;
    }
    void** ReceiveVoid() { return reinterpret_cast<void**>(Receive()); }

    void Reset() {
        if (FPtr) std::exchange(FPtr, nullptr)->Release();
    }

    // The object's interface U, or an empty pointer when it has none.
    template <class U>
    TComPtr<U> As(REFIID iid) const {
        TComPtr<U> result;
        if (FPtr) FPtr->QueryInterface(iid, result.ReceiveVoid());
        return result;
    }

private:
    T* FPtr = nullptr;
};
