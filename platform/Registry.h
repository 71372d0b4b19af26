// RAII owner of an open registry key.
#pragma once

#include <windows.h>

#include <utility>

class TRegKey {
public:
    TRegKey() = default;
    TRegKey(const TRegKey&) = delete;
    TRegKey& operator=(const TRegKey&) = delete;
    TRegKey(TRegKey&& other) noexcept : FKey(std::exchange(other.FKey, nullptr)) {}
    ~TRegKey() { Reset(); }

    HKEY Get() const { return FKey; }
    explicit operator bool() const { return FKey != nullptr; }
    // For RegOpenKeyExW/RegCreateKeyExW: closes the held key and returns the slot.
    // If the call does not return ERROR_SUCCESS the slot stays null.
    HKEY* Receive() {
        Reset();
        return &FKey;
    }
    void Reset() {
        if (FKey != nullptr) ::RegCloseKey(FKey);
        FKey = nullptr;
    }

private:
    HKEY FKey = nullptr;
};
