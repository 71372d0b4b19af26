// A named pipe that carries whole messages (UTF-16 texts) both ways between two
// of our processes. Overlapped underneath, so one thread may wait for the next
// message while another writes. Non-copyable.
#pragma once

#include "platform/Handles.h"

#include <windows.h>

#include <mutex>
#include <string>
#include <vector>

class TMessagePipe {
public:
    enum class TWait { Message, Closed, Other, Timeout };

    TMessagePipe() = default;
    ~TMessagePipe();
    TMessagePipe(const TMessagePipe&) = delete;
    TMessagePipe& operator=(const TMessagePipe&) = delete;

    // The server end, the one instance of Name (\\.\pipe\...), local clients only.
    // False when the pipe cannot be made (the system's error stays in GetLastError).
    bool Create(const std::wstring& Name);
    // The client end; waits up to TimeoutMs for the server.
    bool Open(const std::wstring& Name, DWORD TimeoutMs);
    // Server: waits for the client. Others: handles that end the wait early
    // (TWait::Other, their index in OtherIndex).
    TWait WaitConnected(const std::vector<HANDLE>& Others, DWORD TimeoutMs, size_t* OtherIndex = nullptr);

    // Sends one message; false when the other end is gone, or when another
    // thread is writing and has not finished within LockWaitMs (INFINITE: wait).
    bool Write(const std::wstring& Message, DWORD LockWaitMs = INFINITE);
    // The next message, waiting up to TimeoutMs (INFINITE: no limit); a read
    // still under way when the wait ends goes on and is taken by the next call.
    TWait Read(std::wstring& Message, const std::vector<HANDLE>& Others, DWORD TimeoutMs, size_t* OtherIndex = nullptr);

    void Close();
    bool Valid() const { return FPipe.Valid(); }

private:
    bool TakeMessage(std::wstring& Message);
    THandle FPipe;
    THandle FReadEvent;
    OVERLAPPED FReadOverlapped{};
    bool FReadPending = false;
    char FChunk[4096];
    std::vector<char> FBuffer;
    std::timed_mutex FWriteLock;
};

// Fields of a message are separated by tabs; a tab or line break inside a field
// becomes a blank.
std::wstring JoinMessageFields(const std::vector<std::wstring>& Fields);
std::vector<std::wstring> SplitMessageFields(const std::wstring& Message);
