// One running instance per executable path.
//
// Instances of the same executable (path compared without regard to case) share
// a small named block listing their process identifiers; the block is guarded by
// a cross-process lock. The first instance runs; a later one brings the first to
// the front and ends. Every registration and removal is announced to the
// registered instances with a registered window message.
#pragma once

#include "platform/Handles.h"

#include <windows.h>

#include <cstdint>
#include <string>
#include <vector>

// "JCL" + upper-cased executable path, every backslash replaced by an underscore.
std::wstring MakeInstanceIdentifier(const std::wstring& exePath);

// The full path of the running executable.
std::wstring GetOwnExecutablePath();

// The layout of the shared block: 1032 bytes, zero-filled on creation.
#pragma pack(push, 1)
struct TInstanceBlock {
    static constexpr int MaxEntries = 257;
    uint16_t MaxInstances;
    uint16_t InstanceCount;
    uint32_t ProcessIds[MaxEntries];
};
#pragma pack(pop)
static_assert(sizeof(TInstanceBlock) == 1032, "the shared block is 1032 bytes");

// Other processes write the block, so its count is never trusted: it is clamped
// to what the block can hold before any read or write.
int ClampedInstanceCount(const TInstanceBlock& block);
// Appends Pid; returns the number of instances registered before it. A full
// block keeps its entries and does not record Pid.
int AppendInstance(TInstanceBlock& block, uint32_t pid);
// Removes the first entry equal to Pid; the entries behind it move up.
void RemoveInstance(TInstanceBlock& block, uint32_t pid);

// A lock shared by every process that names it the same way. Built from a named
// auto-reset event (the waiters' queue) and a named block holding the lock count
// and the owner, so the uncontended case takes no kernel wait. Recursive per thread.
class TCrossProcessLock {
public:
    explicit TCrossProcessLock(const std::wstring& name);
    TCrossProcessLock(const TCrossProcessLock&) = delete;
    TCrossProcessLock& operator=(const TCrossProcessLock&) = delete;
    void Enter();
    void Leave();

private:
    struct TShared {
        volatile LONG LockCount;
        volatile DWORD OwnerThreadId;
        volatile LONG RecurseCount;
    };
    THandle FEvent;
    THandle FMapping;
    TMappedView FView;
    TShared* FShared = nullptr;
};

class TLockGuard {
public:
    explicit TLockGuard(TCrossProcessLock& lock) : FLock(lock) { FLock.Enter(); }
    ~TLockGuard() { FLock.Leave(); }
    TLockGuard(const TLockGuard&) = delete;
    TLockGuard& operator=(const TLockGuard&) = delete;

private:
    TCrossProcessLock& FLock;
};

class TInstanceRegistry {
public:
    // Opens or creates the lock, the block and the message for Identifier.
    explicit TInstanceRegistry(const std::wstring& identifier);
    // Removes this process's entry (if registered) and announces its end.
    ~TInstanceRegistry();
    TInstanceRegistry(const TInstanceRegistry&) = delete;
    TInstanceRegistry& operator=(const TInstanceRegistry&) = delete;

    // Registers this process. True when it may run (fewer instances than the
    // maximum were registered before it); then "created" has been announced.
    bool CheckSingleInstance();
    // Restores the first registered instance's window and brings it to the front.
    void SwitchToFirstInstance();
    // The registered process identifiers, in order of registration.
    std::vector<uint32_t> RegisteredProcessIds();

    UINT MessageId() const { return FMessageId; }
    static constexpr WPARAM InstanceCreated = 1;
    static constexpr WPARAM InstanceEnded = 2;

private:
    void Announce(WPARAM event);
    TInstanceBlock* Block() const { return static_cast<TInstanceBlock*>(FView.Get()); }

    TCrossProcessLock FLock;
    THandle FMapping;
    TMappedView FView;
    UINT FMessageId = 0;
    bool FRegistered = false;
};

// The top-level window of class "TApplication" that belongs to process Pid, or null.
HWND FindApplicationWindow(DWORD pid);

// Brings Wnd to the foreground even when another process's window holds it.
void BringWindowToFront(HWND wnd);
