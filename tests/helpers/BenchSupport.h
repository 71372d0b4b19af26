// What the bench executables share: the bare walk every figure is compared
// with, a stopwatch, medians, the process's peak working set, and the
// "@result key value" lines scripts/bench gathers into its summary.
#pragma once

#include <windows.h>
#include <psapi.h>
#include <shellapi.h>

#include <algorithm>
#include <cstdio>
#include <string>
#include <vector>

namespace bench {

struct TCounts {
    long long Files = 0;
    long long Dirs = 0;
};

inline bool IsDotEntry(const wchar_t* name) {
    return name[0] == L'.' && (name[1] == 0 || (name[1] == L'.' && name[2] == 0));
}

// The least a program can do to see every file: FindFirstFileW/FindNextFileW,
// recursing into every directory. Dir ends with a backslash.
inline void BareWalk(const std::wstring& dir, TCounts& counts) {
    ++counts.Dirs;
    WIN32_FIND_DATAW data;
    HANDLE find = ::FindFirstFileW((dir + L"*.*").c_str(), &data);
    if (find == INVALID_HANDLE_VALUE) return;
    do {
        if (IsDotEntry(data.cFileName)) continue;
        if (data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) {
            if ((data.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT) == 0)
                BareWalk(dir + data.cFileName + L"\\", counts);
        } else {
            ++counts.Files;
        }
    } while (::FindNextFileW(find, &data));
    ::FindClose(find);
}

inline TCounts BareWalkOf(const std::wstring& root) {
    TCounts counts;
    BareWalk(root, counts);
    return counts;
}

// Threads as the reading pass uses them: one per processor, at most eight.
inline int WalkThreads() {
    SYSTEM_INFO info{};
    ::GetSystemInfo(&info);
    return std::clamp(static_cast<int>(info.dwNumberOfProcessors), 1, 8);
}

// Runs Work on Threads threads, this one among them, and returns when all are done.
inline void RunOnThreads(LPTHREAD_START_ROUTINE Work, void* Shared, int Threads) {
    std::vector<HANDLE> started;
    for (int i = 1; i < Threads; ++i)
        if (HANDLE h = ::CreateThread(nullptr, 256 * 1024, Work, Shared, STACK_SIZE_PARAM_IS_A_RESERVATION, nullptr))
            started.push_back(h);
    Work(Shared);
    if (!started.empty()) ::WaitForMultipleObjects(static_cast<DWORD>(started.size()), started.data(), TRUE, INFINITE);
    for (HANDLE h : started) ::CloseHandle(h);
}

// The least Threads threads can do to see every file: a shared stack of
// folders, each listed whole with FindFirstFileExW (basic, large fetch) by
// whichever thread takes it, in no particular order, nothing kept.
inline TCounts ParallelBareWalkOf(const std::wstring& root, int threads) {
    struct TShared {
        SRWLOCK Lock = SRWLOCK_INIT;
        CONDITION_VARIABLE More = CONDITION_VARIABLE_INIT;
        std::vector<std::wstring> Folders;
        int Busy = 0;
        long long Files = 0, Dirs = 0;
    } shared;
    shared.Folders.push_back(root);
    const auto work = [](void* parameter) -> DWORD {
        auto& s = *static_cast<TShared*>(parameter);
        WIN32_FIND_DATAW data;
        std::vector<std::wstring> found;
        long long files = 0;
        ::AcquireSRWLockExclusive(&s.Lock);
        for (;;) {
            if (s.Folders.empty()) {
                if (s.Busy == 0) break;
                ::SleepConditionVariableSRW(&s.More, &s.Lock, INFINITE, 0);
                continue;
            }
            const std::wstring dir = std::move(s.Folders.back());
            s.Folders.pop_back();
            ++s.Busy;
            ::ReleaseSRWLockExclusive(&s.Lock);
            files = 0;
            found.clear();
            HANDLE find = ::FindFirstFileExW((dir + L"*").c_str(), FindExInfoBasic, &data, FindExSearchNameMatch,
                                             nullptr, FIND_FIRST_EX_LARGE_FETCH);
            if (find != INVALID_HANDLE_VALUE) {
                do {
                    if (IsDotEntry(data.cFileName)) continue;
                    if (data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) {
                        if ((data.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT) == 0)
                            found.push_back(dir + data.cFileName + L"\\");
                    } else {
                        ++files;
                    }
                } while (::FindNextFileW(find, &data));
                ::FindClose(find);
            }
            ::AcquireSRWLockExclusive(&s.Lock);
            --s.Busy;
            ++s.Dirs;
            s.Files += files;
            for (auto& f : found) s.Folders.push_back(std::move(f));
            if (!found.empty() || (s.Busy == 0 && s.Folders.empty())) ::WakeAllConditionVariable(&s.More);
        }
        ::WakeAllConditionVariable(&s.More);
        ::ReleaseSRWLockExclusive(&s.Lock);
        return 0;
    };
    RunOnThreads(work, &shared, threads);
    return TCounts{shared.Files, shared.Dirs};
}

class TStopwatch {
public:
    TStopwatch() {
        ::QueryPerformanceFrequency(&FFrequency);
        ::QueryPerformanceCounter(&FStart);
    }
    double Ms() const {
        LARGE_INTEGER now;
        ::QueryPerformanceCounter(&now);
        return 1000.0 * static_cast<double>(now.QuadPart - FStart.QuadPart) / static_cast<double>(FFrequency.QuadPart);
    }

private:
    LARGE_INTEGER FFrequency, FStart;
};

// User and kernel time of this process so far. Wine reads it from the
// process's own counters, so time spent waiting for a busy CPU is left out:
// on a shared machine it varies less than the wall clock.
inline double ProcessCpuMs() {
    FILETIME creation, exit, kernel, user;
    if (!::GetProcessTimes(::GetCurrentProcess(), &creation, &exit, &kernel, &user)) return 0;
    auto value = [](const FILETIME& t) {
        return static_cast<double>((static_cast<unsigned long long>(t.dwHighDateTime) << 32) | t.dwLowDateTime);
    };
    return (value(kernel) + value(user)) / 10000.0;
}

inline double Median(std::vector<double> values) {
    if (values.empty()) return 0;
    std::sort(values.begin(), values.end());
    const size_t n = values.size();
    return n % 2 ? values[n / 2] : (values[n / 2 - 1] + values[n / 2]) / 2;
}

// Wine fills this from the process's VmHWM, as Windows does from its own count.
inline double PeakWorkingSetMB() {
    PROCESS_MEMORY_COUNTERS counters{};
    counters.cb = sizeof(counters);
    if (!::GetProcessMemoryInfo(::GetCurrentProcess(), &counters, sizeof(counters))) return 0;
    return static_cast<double>(counters.PeakWorkingSetSize) / (1024.0 * 1024.0);
}

// For the summary: one line per figure, which scripts/bench takes out of the output.
inline void Result(const char* key, double value) {
    std::printf("@result %s %.3f\n", key, value);
    std::fflush(stdout);
}

// The times of one case over the rounds: wall clock and process CPU, in ms.
struct TSamples {
    std::vector<double> Wall;
    std::vector<double> Cpu;

    template <class F>
    void Measure(F&& run) {
        const double cpu = ProcessCpuMs();
        TStopwatch watch;
        run();
        Wall.push_back(watch.Ms());
        Cpu.push_back(ProcessCpuMs() - cpu);
    }
    double MinWall() const { return Wall.empty() ? 0 : *std::min_element(Wall.begin(), Wall.end()); }
};

inline void PrintSamplesHeader(const char* extra) {
    std::printf("  %-38s %9s %9s %9s %8s %8s %s\n", "case", "wall ms", "min ms", "CPU ms", "wall x", "CPU x", extra);
}

// A row of medians and their ratios to Bare's; Key names the "@result" lines.
inline void PrintSamples(const char* key, const char* name, const TSamples& samples, const TSamples& bare,
                         const std::string& extra) {
    const double wall = Median(samples.Wall), cpu = Median(samples.Cpu);
    const double wallRatio = wall / Median(bare.Wall), cpuRatio = cpu / Median(bare.Cpu);
    std::printf("  %-38s %9.1f %9.1f %9.1f %7.2fx %7.2fx %s\n", name, wall, samples.MinWall(), cpu, wallRatio,
                cpuRatio, extra.c_str());
    const std::string k = key;
    Result((k + "_wall_ms").c_str(), wall);
    Result((k + "_cpu_ms").c_str(), cpu);
    Result((k + "_wall_ratio").c_str(), wallRatio);
    Result((k + "_cpu_ratio").c_str(), cpuRatio);
}

inline std::wstring WithBackslash(std::wstring path) {
    if (path.empty() || path.back() != L'\\') path.push_back(L'\\');
    return path;
}

// The arguments after the program name.
inline std::vector<std::wstring> Arguments() {
    int argc = 0;
    wchar_t** argv = ::CommandLineToArgvW(::GetCommandLineW(), &argc);
    std::vector<std::wstring> args;
    for (int i = 1; i < argc; ++i) args.emplace_back(argv[i]);
    ::LocalFree(argv);
    return args;
}

}  // namespace bench
