#include "catalogue/VolumeCacheHostClient.h"

#include "catalogue/VolumeCacheProtocol.h"
#include "platform/MessagePipe.h"

#include <atomic>
#include <cwchar>
#include <cstdlib>

namespace P = VolumeCacheProtocol;

namespace {

std::atomic<int> GRunning{0};
std::atomic<unsigned> GCounter{0};

// One job for every host of this process: when this process ends, however it
// ends, the system closes the job's last handle and kills what is left in it.
HANDLE HostJob() {
    static HANDLE job = [] {
        HANDLE created = ::CreateJobObjectW(nullptr, nullptr);
        if (created != nullptr) {
            JOBOBJECT_EXTENDED_LIMIT_INFORMATION limits{};
            limits.BasicLimitInformation.LimitFlags = JOB_OBJECT_LIMIT_KILL_ON_JOB_CLOSE | JOB_OBJECT_LIMIT_DIE_ON_UNHANDLED_EXCEPTION;
            ::SetInformationJobObject(created, JobObjectExtendedLimitInformation, &limits, sizeof(limits));
        }
        return created;
    }();
    return job;
}

std::wstring OwnProgram() {
    std::wstring path(MAX_PATH, L'\0');
    for (;;) {
        const DWORD length = ::GetModuleFileNameW(nullptr, path.data(), static_cast<DWORD>(path.size()));
        if (length < path.size()) {
            path.resize(length);
            // Started from a Unix path (Wine without a Z: drive), only the NT form opens.
            if (path.rfind(L"unix\\", 0) == 0) path = L"\\\\?\\" + path;
            return path;
        }
        path.resize(path.size() * 2);
    }
}

struct TRunningCount {
    TRunningCount() { ++GRunning; }
    ~TRunningCount() { --GRunning; }
};

}  // namespace

std::wstring& VolumeCacheHostProgram() {
    static std::wstring program = OwnProgram();
    return program;
}

DWORD VolumeCacheTimeLimitMs() {
    wchar_t text[32] = {};
    if (::GetEnvironmentVariableW(L"VANTREL_VOLUMECACHE_LIMIT_MS", text, 32) > 0) {
        const unsigned long value = std::wcstoul(text, nullptr, 10);
        if (value > 0) return value;
    }
    return 2 * 60 * 1000;
}

int RunningVolumeCacheHosts() { return GRunning; }

TVolumeCacheRunResult RunVolumeCacheHostJob(const TVolumeCacheHostJob& job, DWORD limitMs, HANDLE abort,
                                            const std::function<void(const std::vector<std::wstring>&)>& onMessage) {
    TVolumeCacheRunResult result;
    const std::wstring pipeName = L"\\\\.\\pipe\\Vantrel-volumecache-" + std::to_wstring(::GetCurrentProcessId()) + L"-" +
                                  std::to_wstring(::GetTickCount64()) + L"-" + std::to_wstring(++GCounter);
    TMessagePipe pipe;
    if (!pipe.Create(pipeName)) {
        result.End = TVolumeCacheRunEnd::StartFailed;
        result.Error = ::GetLastError();
        return result;
    }
    std::wstring commandLine = L"\"" + VolumeCacheHostProgram() + L"\" " + P::HostSwitch + L" " + pipeName;
    STARTUPINFOW startup{};
    startup.cb = sizeof(startup);
    PROCESS_INFORMATION info{};
    // The host holds no folder of ours open: it starts in the system folder.
    wchar_t system[MAX_PATH] = {};
    ::GetSystemDirectoryW(system, MAX_PATH);
    if (!::CreateProcessW(VolumeCacheHostProgram().c_str(), commandLine.data(), nullptr, nullptr, FALSE,
                          CREATE_SUSPENDED | CREATE_NO_WINDOW, nullptr, system, &startup, &info)) {
        result.End = TVolumeCacheRunEnd::StartFailed;
        result.Error = ::GetLastError();
        return result;
    }
    TRunningCount running;
    THandle process(info.hProcess), thread(info.hThread);
    // Windows 7 refuses a second job for a process that is in one already; the
    // host then still ends with its pipe.
    if (HostJob() != nullptr) ::AssignProcessToJobObject(HostJob(), process.Get());
    ::ResumeThread(thread.Get());
    const auto kill = [&] {
        ::TerminateProcess(process.Get(), ERROR_OPERATION_ABORTED);
        ::WaitForSingleObject(process.Get(), 5000);
    };

    std::vector<HANDLE> others{process.Get()};
    if (abort != nullptr) others.push_back(abort);
    size_t which = 0;
    const TMessagePipe::TWait connected = pipe.WaitConnected(others, 10000, &which);
    if (connected != TMessagePipe::TWait::Message) {
        if (connected == TMessagePipe::TWait::Other && which == 1) result.End = TVolumeCacheRunEnd::Aborted;
        else result.End = TVolumeCacheRunEnd::StartFailed;
        kill();
        return result;
    }
    pipe.Write(JoinMessageFields({P::Run, job.Op, job.KeyPath, job.KeyName, job.Clsid, job.PropertyBag,
                                  [&] {
                                      std::wstring drives;
                                      for (const std::wstring& d : job.Drives) drives += (drives.empty() ? L"" : L";") + d;
                                      return drives;
                                  }(),
                                  std::to_wstring(reinterpret_cast<INT_PTR>(job.Owner))}));

    ULONGLONG deadline = ::GetTickCount64() + limitMs;
    bool crashReported = false;
    std::wstring message;
    for (;;) {
        const ULONGLONG now = ::GetTickCount64();
        const DWORD wait = limitMs == INFINITE ? INFINITE : (now >= deadline ? 0 : static_cast<DWORD>(deadline - now));
        const TMessagePipe::TWait got =
            pipe.Read(message, abort != nullptr ? std::vector<HANDLE>{abort} : std::vector<HANDLE>{}, wait, &which);
        if (got == TMessagePipe::TWait::Message) {
            const std::vector<std::wstring> fields = SplitMessageFields(message);
            if (fields[0] == P::End) break;
            if (fields[0] == P::Crash && fields.size() > 1) {
                result.ExitCode = static_cast<DWORD>(std::wcstoul(fields[1].c_str(), nullptr, 10));
                crashReported = true;
                continue;
            }
            // A purge that still reports is working: the limit counts from its last word.
            if (job.Op == P::OpPurge && fields[0] == P::Progress) deadline = ::GetTickCount64() + limitMs;
            if (onMessage) onMessage(fields);
            continue;
        }
        if (got == TMessagePipe::TWait::Other) {
            // Stop: the handler is told, and given a moment to answer it.
            pipe.Write(P::Abort);
            const ULONGLONG grace = ::GetTickCount64() + 100;
            while (::GetTickCount64() < grace) {
                const ULONGLONG left = grace - ::GetTickCount64();
                if (pipe.Read(message, {}, static_cast<DWORD>(left)) != TMessagePipe::TWait::Message) break;
                const std::vector<std::wstring> fields = SplitMessageFields(message);
                if (fields[0] == P::End) break;
                if (onMessage) onMessage(fields);
            }
            kill();
            result.End = TVolumeCacheRunEnd::Aborted;
            return result;
        }
        if (got == TMessagePipe::TWait::Timeout) {
            kill();
            result.End = TVolumeCacheRunEnd::TimedOut;
            return result;
        }
        // The pipe broke: the host is gone, or going.
        ::WaitForSingleObject(process.Get(), 5000);
        DWORD code = 0;
        ::GetExitCodeProcess(process.Get(), &code);
        if (!crashReported) result.ExitCode = code;
        result.End = TVolumeCacheRunEnd::Crashed;
        kill();
        return result;
    }
    // The host ends by itself once it has said END.
    if (::WaitForSingleObject(process.Get(), 2000) != WAIT_OBJECT_0) kill();
    return result;
}
