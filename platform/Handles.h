// RAII owners for kernel handles and mapped views. Non-copyable, movable.
#pragma once

#include <windows.h>

#include <utility>

// Owns a kernel handle. Both NULL and INVALID_HANDLE_VALUE count as "no handle",
// because the API families disagree on which one they return on failure.
class THandle {
public:
    THandle() = default;
    explicit THandle(HANDLE h) : FHandle(h) {}
    THandle(const THandle&) = delete;
    THandle& operator=(const THandle&) = delete;
    THandle(THandle&& other) noexcept : FHandle(std::exchange(other.FHandle, nullptr)) {}
    THandle& operator=(THandle&& other) noexcept {
        if (this != &other) Reset(std::exchange(other.FHandle, nullptr));
        return *this;
    }
    ~THandle() { Reset(); }

    HANDLE Get() const { return FHandle; }
    bool Valid() const { return FHandle != nullptr && FHandle != INVALID_HANDLE_VALUE; }
    explicit operator bool() const { return Valid(); }
    void Reset(HANDLE h = nullptr) {
        if (Valid()) ::CloseHandle(FHandle);
        FHandle = h;
    }

private:
    HANDLE FHandle = nullptr;
};

// Owns a view of a file mapping; the view is unmapped before the mapping handle closes.
class TMappedView {
public:
    TMappedView() = default;
    explicit TMappedView(void* view) : FView(view) {}
    TMappedView(const TMappedView&) = delete;
    TMappedView& operator=(const TMappedView&) = delete;
    TMappedView(TMappedView&& other) noexcept : FView(std::exchange(other.FView, nullptr)) {}
    TMappedView& operator=(TMappedView&& other) noexcept {
        if (this != &other) Reset(std::exchange(other.FView, nullptr));
        return *this;
    }
    ~TMappedView() { Reset(); }

    void* Get() const { return FView; }
    explicit operator bool() const { return FView != nullptr; }
    void Reset(void* view = nullptr) {
        if (FView) ::UnmapViewOfFile(FView);
        FView = view;
    }

private:
    void* FView = nullptr;
};

// Owns a file search handle from FindFirstFileW / FindFirstFileExW.
class TFindHandle {
public:
    TFindHandle() = default;
    explicit TFindHandle(HANDLE h) : FHandle(h) {}
    TFindHandle(const TFindHandle&) = delete;
    TFindHandle& operator=(const TFindHandle&) = delete;
    TFindHandle(TFindHandle&& other) noexcept : FHandle(std::exchange(other.FHandle, INVALID_HANDLE_VALUE)) {}
    TFindHandle& operator=(TFindHandle&& other) noexcept {
        if (this != &other) Reset(std::exchange(other.FHandle, INVALID_HANDLE_VALUE));
        return *this;
    }
    ~TFindHandle() { Reset(); }

    HANDLE Get() const { return FHandle; }
    bool Valid() const { return FHandle != INVALID_HANDLE_VALUE && FHandle != nullptr; }
    explicit operator bool() const { return Valid(); }
    void Reset(HANDLE h = INVALID_HANDLE_VALUE) {
        if (Valid()) ::FindClose(FHandle);
        FHandle = h;
    }

private:
    HANDLE FHandle = INVALID_HANDLE_VALUE;
};
