// One run of one disk cleanup handler in a host process of its own
// ("Vantrel.exe /volumecache-host <pipe>", app/VolumeCacheHost.h): the process
// is started in a job that dies with this one, told what to do over its pipe,
// and its messages are handed on as they come. A run that is aborted, passes its
// limit or whose host dies ends at once; the host is killed where needed.
#pragma once

#include "platform/Handles.h"

#include <windows.h>

#include <functional>
#include <string>
#include <vector>

struct TVolumeCacheHostJob {
    std::wstring Op;       // VolumeCacheProtocol::OpScan, OpPurge or OpProperties
    std::wstring KeyPath;  // below HKEY_LOCAL_MACHINE, 64-bit view
    std::wstring KeyName;
    std::wstring Clsid;
    std::wstring PropertyBag;
    std::vector<std::wstring> Drives;  // "C:\"
    HWND Owner = nullptr;              // for ShowProperties
};

enum class TVolumeCacheRunEnd {
    Done,         // the host said END
    Aborted,      // Abort was set
    TimedOut,     // the limit passed; the host was killed
    Crashed,      // the host died; ExitCode holds the exception code when it said one
    StartFailed,  // no host (Error holds the system's code)
};

struct TVolumeCacheRunResult {
    TVolumeCacheRunEnd End = TVolumeCacheRunEnd::Done;
    DWORD ExitCode = 0;
    DWORD Error = 0;
};

// The program the hosts run: this executable by default; tests point it at Vantrel.exe.
std::wstring& VolumeCacheHostProgram();
// How long one handler may take to size itself, in milliseconds: 2 minutes, or
// VANTREL_VOLUMECACHE_LIMIT_MS from the environment (tests make it seconds).
// A purge ends when this long passes without a word from the handler.
DWORD VolumeCacheTimeLimitMs();

// Runs Job to its end. OnMessage gets each message's fields on the calling
// thread. Abort: an event that, once set, aborts the run (ABORT to the host,
// which is killed unless it ends within 100 ms).
TVolumeCacheRunResult RunVolumeCacheHostJob(const TVolumeCacheHostJob& Job, DWORD LimitMs, HANDLE Abort,
                                            const std::function<void(const std::vector<std::wstring>&)>& OnMessage);

// The host processes running now (for tests: none may outlive its run).
int RunningVolumeCacheHosts();
