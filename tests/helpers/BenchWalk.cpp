// bench-walk.exe Root [Repeats]: times walks of the tree below Root in one run,
// so the figures compare as ratios: a bare recursive FindFirstFileW walk, the
// same with FindFirstFileExW as TDirReader opens its listings, and TDirReader
// itself in the configurations the reading pass uses. Prints a table.
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

struct TCounts {
    long long Files = 0;
    long long Dirs = 0;
};

void BareWalk(const std::wstring& dir, TCounts& counts) {
    ++counts.Dirs;
    WIN32_FIND_DATAW data;
    HANDLE find = ::FindFirstFileW((dir + L"*.*").c_str(), &data);
    if (find == INVALID_HANDLE_VALUE) return;
    do {
        if (data.cFileName[0] == L'.' && (data.cFileName[1] == 0 || (data.cFileName[1] == L'.' && data.cFileName[2] == 0)))
            continue;
        if (data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY)
            BareWalk(dir + data.cFileName + L"\\", counts);
        else
            ++counts.Files;
    } while (::FindNextFileW(find, &data));
    ::FindClose(find);
}

void BareWalkEx(const std::wstring& dir, TCounts& counts) {
    ++counts.Dirs;
    WIN32_FIND_DATAW data;
    HANDLE find = ::FindFirstFileExW((dir + L"*").c_str(), FindExInfoBasic, &data, FindExSearchNameMatch, nullptr,
                                     FIND_FIRST_EX_LARGE_FETCH);
    if (find == INVALID_HANDLE_VALUE) return;
    do {
        if (data.cFileName[0] == L'.' && (data.cFileName[1] == 0 || (data.cFileName[1] == L'.' && data.cFileName[2] == 0)))
            continue;
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
    const wchar_t* Name;
    std::function<TCounts()> Run;
    std::vector<double> Ms;
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

double Median(std::vector<double> values) {
    std::sort(values.begin(), values.end());
    const size_t n = values.size();
    return n % 2 ? values[n / 2] : (values[n / 2 - 1] + values[n / 2]) / 2;
}

}  // namespace

int main() {
    int argc = 0;
    wchar_t** argv = ::CommandLineToArgvW(::GetCommandLineW(), &argc);
    if (argc < 2) {
        std::fprintf(stderr, "usage: bench-walk Root [Repeats]\n");
        return 2;
    }
    std::wstring root = argv[1];
    if (root.back() != L'\\') root.push_back(L'\\');
    const int repeats = argc > 2 ? std::max(1, _wtoi(argv[2])) : 3;
    ::LocalFree(argv);
    // A message queue for the pump case, as the program's thread has one.
    MSG msg;
    ::PeekMessageW(&msg, nullptr, 0, 0, PM_NOREMOVE);

    std::vector<TCase> cases;
    cases.push_back({L"bare FindFirstFileW walk", [&] { TCounts c; BareWalk(root, c); return c; }, {}, {}});
    cases.push_back({L"bare FindFirstFileExW basic+large", [&] { TCounts c; BareWalkEx(root, c); return c; }, {}, {}});
    cases.push_back({L"TDirReader *.*, MinAccessAge 0", [&] { return ReaderWalk(root, L"*.*", 0, false); }, {}, {}});
    cases.push_back({L"TDirReader *.*, MinAccessAge 1", [&] { return ReaderWalk(root, L"*.*", 1, false); }, {}, {}});
    cases.push_back({L"TDirReader *.*, 604800 (week)", [&] { return ReaderWalk(root, L"*.*", 604800, false); }, {}, {}});
    cases.push_back({L"TDirReader *.tmp", [&] { return ReaderWalk(root, L"*.tmp", 0, false); }, {}, {}});
    cases.push_back({L"TDirReader *.*, 0, message pump", [&] { return ReaderWalk(root, L"*.*", 0, true); }, {}, {}});
    cases.push_back({L"same, PeekMessageW at every file", [&] { return ReaderWalk(root, L"*.*", 0, false, true); }, {}, {}});

    TCounts warm;
    BareWalk(root, warm);  // fill the caches before anything is timed
    LARGE_INTEGER frequency;
    ::QueryPerformanceFrequency(&frequency);
    for (int round = 0; round < repeats; ++round) {
        for (auto& c : cases) {
            LARGE_INTEGER start, stop;
            ::QueryPerformanceCounter(&start);
            c.Counts = c.Run();
            ::QueryPerformanceCounter(&stop);
            c.Ms.push_back(1000.0 * static_cast<double>(stop.QuadPart - start.QuadPart) /
                           static_cast<double>(frequency.QuadPart));
        }
    }

    const double bare = Median(cases[0].Ms);
    std::printf("tree: %ls  (%lld directories, %lld files; %d rounds, cases interleaved)\n", root.c_str(), warm.Dirs,
                warm.Files, repeats);
    std::printf("%-36s %10s %10s %10s %9s %9s\n", "walk", "median ms", "min ms", "max ms", "files", "vs bare");
    for (const auto& c : cases) {
        const double median = Median(c.Ms);
        std::printf("%-36ls %10.1f %10.1f %10.1f %9lld %8.2fx\n", c.Name, median,
                    *std::min_element(c.Ms.begin(), c.Ms.end()), *std::max_element(c.Ms.begin(), c.Ms.end()),
                    c.Counts.Files, median / bare);
    }
    return 0;
}
