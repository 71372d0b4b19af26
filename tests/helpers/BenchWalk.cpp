// bench-walk.exe Root [Repeats]: times walks of the tree below Root in one run,
// so the figures compare as ratios: a bare recursive FindFirstFileW walk, the
// same with FindFirstFileExW as TDirReader opens its listings, and TDirReader
// itself in the configurations the reading pass uses. Prints a table.
//
// bench-walk.exe --bare Root: one bare walk and nothing else, the counterpart
// scripts/bench times as a whole process beside Vantrel.exe; --bare-parallel
// Root: the same on as many threads as the reading pass uses. Prints the counts,
// the walk's own time and the peak working set as "@result" lines.
#include "BenchSupport.h"

#include "engine/OrvDirectoryReader.h"
#include "engine/SystemRoutines.h"

#include <windows.h>
#include <shellapi.h>

#include <algorithm>
#include <cstdio>
#include <functional>
#include <string>
#include <vector>

namespace {

using bench::TCounts;

void BareWalkEx(const std::wstring& dir, TCounts& counts) {
    ++counts.Dirs;
    WIN32_FIND_DATAW data;
    HANDLE find = ::FindFirstFileExW((dir + L"*").c_str(), FindExInfoBasic, &data, FindExSearchNameMatch, nullptr,
                                     FIND_FIRST_EX_LARGE_FETCH);
    if (find == INVALID_HANDLE_VALUE) return;
    do {
        if (bench::IsDotEntry(data.cFileName)) continue;
        if (data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY)
            BareWalkEx(dir + data.cFileName + L"\\", counts);
        else
            ++counts.Files;
    } while (::FindNextFileW(find, &data));
    ::FindClose(find);
}

// The application's pump: what the reader calls between entries in the program.
void PeekPump() {
    MSG msg;
    while (::PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) {
        ::TranslateMessage(&msg);
        ::DispatchMessageW(&msg);
    }
}

struct TCase {
    const char* Key;
    const char* Name;
    std::function<TCounts()> Run;
    bench::TSamples Times;
    TCounts Counts;
};

// PumpPerFile: the handler pumps at every file, as an unthrottled reader would.
TCounts ReaderWalk(const std::wstring& root, const std::wstring& mask, int32_t minAccessAge, bool pump,
                   bool pumpPerFile = false) {
    TCounts counts;
    TDirReader reader;
    reader.FileMask = mask;
    reader.Recursive = true;
    reader.SetMinAccessAge(minAccessAge);
    reader.OnFile = [&](TDirReader*, const std::wstring&) {
        ++counts.Files;
        if (pumpPerFile) PeekPump();
    };
    reader.OnDirectory = [&](TDirReader*, const std::wstring&) { ++counts.Dirs; };
    reader.SetDirectory(root);
    SetProcessMessagesHandler(pump ? PeekPump : nullptr);
    reader.Start();
    SetProcessMessagesHandler(nullptr);
    return counts;
}

// One bare walk, for the process-level comparison with Vantrel.exe: on this
// thread, or on as many threads as the reading pass uses.
int BareOnly(const std::wstring& root, bool parallel) {
    bench::TStopwatch watch;
    const TCounts counts = parallel ? bench::ParallelBareWalkOf(root, bench::WalkThreads()) : bench::BareWalkOf(root);
    const double ms = watch.Ms();
    bench::Result("bare_files", static_cast<double>(counts.Files));
    bench::Result("bare_dirs", static_cast<double>(counts.Dirs));
    bench::Result("bare_walk_ms", ms);
    bench::Result("bare_peak_mb", bench::PeakWorkingSetMB());
    return 0;
}

}  // namespace

int main() {
    const std::vector<std::wstring> args = bench::Arguments();
    if (args.size() == 2 && (args[0] == L"--bare" || args[0] == L"--bare-parallel"))
        return BareOnly(bench::WithBackslash(args[1]), args[0] == L"--bare-parallel");
    if (args.empty() || args.size() > 2) {
        std::fprintf(stderr, "usage: bench-walk Root [Repeats] | bench-walk --bare Root\n");
        return 2;
    }
    const std::wstring root = bench::WithBackslash(args[0]);
    const int repeats = args.size() > 1 ? std::max(1, _wtoi(args[1].c_str())) : 3;
    // A message queue for the pump case, as the program's thread has one.
    MSG msg;
    ::PeekMessageW(&msg, nullptr, 0, 0, PM_NOREMOVE);

    std::vector<TCase> cases;
    cases.push_back({"bare", "bare FindFirstFileW walk", [&] { return bench::BareWalkOf(root); }, {}, {}});
    cases.push_back({"bare_ex", "bare FindFirstFileExW basic+large", [&] { TCounts c; BareWalkEx(root, c); return c; },
                     {}, {}});
    cases.push_back({"reader", "TDirReader *.*, MinAccessAge 0", [&] { return ReaderWalk(root, L"*.*", 0, false); },
                     {}, {}});
    cases.push_back({"reader_age1", "TDirReader *.*, MinAccessAge 1", [&] { return ReaderWalk(root, L"*.*", 1, false); },
                     {}, {}});
    cases.push_back({"reader_week", "TDirReader *.*, 604800 (week)",
                     [&] { return ReaderWalk(root, L"*.*", 604800, false); }, {}, {}});
    cases.push_back({"reader_tmp", "TDirReader *.tmp", [&] { return ReaderWalk(root, L"*.tmp", 0, false); }, {}, {}});
    cases.push_back({"reader_pump", "TDirReader *.*, 0, message pump", [&] { return ReaderWalk(root, L"*.*", 0, true); },
                     {}, {}});
    cases.push_back({"reader_pump_each", "same, PeekMessageW at every file",
                     [&] { return ReaderWalk(root, L"*.*", 0, false, true); }, {}, {}});

    const TCounts warm = bench::BareWalkOf(root);  // fill the caches before anything is timed
    for (int round = 0; round < repeats; ++round)
        for (auto& c : cases) c.Times.Measure([&] { c.Counts = c.Run(); });

    std::printf("walks of %ls (%lld directories, %lld files; %d rounds, interleaved; medians)\n", root.c_str(),
                warm.Dirs, warm.Files, repeats);
    bench::PrintSamplesHeader("   files");
    for (const auto& c : cases)
        bench::PrintSamples((std::string("walk_") + c.Key).c_str(), c.Name, c.Times, cases[0].Times,
                            std::to_string(c.Counts.Files));
    return 0;
}
