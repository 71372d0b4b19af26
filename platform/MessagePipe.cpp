#include "platform/MessagePipe.h"

#include <chrono>
#include <cstring>

namespace {

// Waits for Event or one of Others; Index of the one that ended it.
TMessagePipe::TWait WaitFor(HANDLE event, const std::vector<HANDLE>& others, DWORD timeoutMs, size_t* otherIndex) {
    std::vector<HANDLE> handles{event};
    handles.insert(handles.end(), others.begin(), others.end());
    const DWORD result = ::WaitForMultipleObjects(static_cast<DWORD>(handles.size()), handles.data(), FALSE, timeoutMs);
    if (result == WAIT_OBJECT_0) return TMessagePipe::TWait::Message;
    if (result > WAIT_OBJECT_0 && result < WAIT_OBJECT_0 + handles.size()) {
        if (otherIndex != nullptr) *otherIndex = result - WAIT_OBJECT_0 - 1;
        return TMessagePipe::TWait::Other;
    }
    if (result == WAIT_TIMEOUT) return TMessagePipe::TWait::Timeout;
    return TMessagePipe::TWait::Closed;
}

}  // namespace

TMessagePipe::~TMessagePipe() { Close(); }

void TMessagePipe::Close() {
    if (FPipe.Valid() && FReadPending) {
        ::CancelIo(FPipe.Get());
        DWORD ignored = 0;
        ::GetOverlappedResult(FPipe.Get(), &FReadOverlapped, &ignored, TRUE);
    }
    FReadPending = false;
    FPipe.Reset();
    FBuffer.clear();
}

bool TMessagePipe::Create(const std::wstring& name) {
    FPipe.Reset(::CreateNamedPipeW(name.c_str(), PIPE_ACCESS_DUPLEX | FILE_FLAG_OVERLAPPED | FILE_FLAG_FIRST_PIPE_INSTANCE,
                                   PIPE_TYPE_BYTE | PIPE_READMODE_BYTE | PIPE_WAIT | PIPE_REJECT_REMOTE_CLIENTS, 1, 65536,
                                   65536, 0, nullptr));
    FReadEvent.Reset(::CreateEventW(nullptr, TRUE, FALSE, nullptr));
    return FPipe.Valid() && FReadEvent.Valid();
}

bool TMessagePipe::Open(const std::wstring& name, DWORD timeoutMs) {
    const ULONGLONG deadline = ::GetTickCount64() + timeoutMs;
    for (;;) {
        FPipe.Reset(::CreateFileW(name.c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_EXISTING,
                                  FILE_FLAG_OVERLAPPED, nullptr));
        if (FPipe.Valid()) break;
        if (::GetLastError() != ERROR_PIPE_BUSY && ::GetLastError() != ERROR_FILE_NOT_FOUND) return false;
        if (::GetTickCount64() >= deadline) return false;
        ::Sleep(20);
    }
    FReadEvent.Reset(::CreateEventW(nullptr, TRUE, FALSE, nullptr));
    return FReadEvent.Valid();
}

TMessagePipe::TWait TMessagePipe::WaitConnected(const std::vector<HANDLE>& others, DWORD timeoutMs, size_t* otherIndex) {
    THandle event(::CreateEventW(nullptr, TRUE, FALSE, nullptr));
    OVERLAPPED overlapped{};
    overlapped.hEvent = event.Get();
    if (::ConnectNamedPipe(FPipe.Get(), &overlapped)) return TWait::Message;
    const DWORD error = ::GetLastError();
    if (error == ERROR_PIPE_CONNECTED) return TWait::Message;
    if (error != ERROR_IO_PENDING) return TWait::Closed;
    const TWait result = WaitFor(event.Get(), others, timeoutMs, otherIndex);
    DWORD ignored = 0;
    if (result != TWait::Message) {
        ::CancelIo(FPipe.Get());
        ::GetOverlappedResult(FPipe.Get(), &overlapped, &ignored, TRUE);
        return result;
    }
    return ::GetOverlappedResult(FPipe.Get(), &overlapped, &ignored, FALSE) ? TWait::Message : TWait::Closed;
}

bool TMessagePipe::Write(const std::wstring& message, DWORD lockWaitMs) {
    std::unique_lock<std::timed_mutex> lock(FWriteLock, std::defer_lock);
    if (lockWaitMs == INFINITE) lock.lock();
    else if (!lock.try_lock_for(std::chrono::milliseconds(lockWaitMs))) return false;
    if (!FPipe.Valid()) return false;
    std::vector<char> frame(4 + message.size() * sizeof(wchar_t));
    const uint32_t units = static_cast<uint32_t>(message.size());
    std::memcpy(frame.data(), &units, 4);
    if (!message.empty()) std::memcpy(frame.data() + 4, message.data(), message.size() * sizeof(wchar_t));
    THandle event(::CreateEventW(nullptr, TRUE, FALSE, nullptr));
    size_t sent = 0;
    while (sent < frame.size()) {
        OVERLAPPED overlapped{};
        overlapped.hEvent = event.Get();
        DWORD written = 0;
        if (!::WriteFile(FPipe.Get(), frame.data() + sent, static_cast<DWORD>(frame.size() - sent), &written,
                         &overlapped)) {
            if (::GetLastError() != ERROR_IO_PENDING) return false;
            if (!::GetOverlappedResult(FPipe.Get(), &overlapped, &written, TRUE)) return false;
        }
        if (written == 0) return false;
        sent += written;
    }
    return true;
}

bool TMessagePipe::TakeMessage(std::wstring& message) {
    if (FBuffer.size() < 4) return false;
    uint32_t units = 0;
    std::memcpy(&units, FBuffer.data(), 4);
    const size_t bytes = static_cast<size_t>(units) * sizeof(wchar_t);
    if (FBuffer.size() < 4 + bytes) return false;
    message.assign(units, L'\0');
    if (units > 0) std::memcpy(message.data(), FBuffer.data() + 4, bytes);
    FBuffer.erase(FBuffer.begin(), FBuffer.begin() + static_cast<std::ptrdiff_t>(4 + bytes));
    return true;
}

TMessagePipe::TWait TMessagePipe::Read(std::wstring& message, const std::vector<HANDLE>& others, DWORD timeoutMs,
                                      size_t* otherIndex) {
    const ULONGLONG start = ::GetTickCount64();
    for (;;) {
        if (TakeMessage(message)) return TWait::Message;
        if (!FPipe.Valid()) return TWait::Closed;
        if (!FReadPending) {
            ::ResetEvent(FReadEvent.Get());
            FReadOverlapped = OVERLAPPED{};
            FReadOverlapped.hEvent = FReadEvent.Get();
            DWORD got = 0;
            if (::ReadFile(FPipe.Get(), FChunk, sizeof(FChunk), &got, &FReadOverlapped)) {
                FBuffer.insert(FBuffer.end(), FChunk, FChunk + got);
                continue;
            }
            if (::GetLastError() != ERROR_IO_PENDING) return TWait::Closed;
            FReadPending = true;
        }
        DWORD wait = INFINITE;
        if (timeoutMs != INFINITE) {
            const ULONGLONG spent = ::GetTickCount64() - start;
            wait = spent >= timeoutMs ? 0 : static_cast<DWORD>(timeoutMs - spent);
        }
        const TWait result = WaitFor(FReadEvent.Get(), others, wait, otherIndex);
        if (result != TWait::Message) return result;
        DWORD got = 0;
        FReadPending = false;
        if (!::GetOverlappedResult(FPipe.Get(), &FReadOverlapped, &got, FALSE)) return TWait::Closed;
        FBuffer.insert(FBuffer.end(), FChunk, FChunk + got);
    }
}

std::wstring JoinMessageFields(const std::vector<std::wstring>& fields) {
    std::wstring message;
    for (size_t i = 0; i < fields.size(); ++i) {
        if (i > 0) message += L'\t';
        for (wchar_t c : fields[i]) message += (c == L'\t' || c == L'\r' || c == L'\n') ? L' ' : c;
    }
    return message;
}

std::vector<std::wstring> SplitMessageFields(const std::wstring& message) {
    std::vector<std::wstring> fields(1);
    for (wchar_t c : message) {
        if (c == L'\t') fields.emplace_back();
        else fields.back() += c;
    }
    return fields;
}
