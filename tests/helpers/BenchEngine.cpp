// bench-engine.exe: the engine's share of scripts/bench, in one process and
// without a window, so its figures show what the engine costs apart from the
// main window's drawing. Cases run interleaved, round after round, and are
// reported as medians and as ratios to their bare counterpart.
//
//   bench-engine settings Unticked Ticked
//                                    writes the settings files the bench gives
//                                    Vantrel.exe: protection "None", scan mode
//                                    "Quick", and every action unticked, or only
//                                    the actions that take tree files ticked
//   bench-engine read Root Rounds    the reading pass (TDirReader + TCleanupList
//                                    with the whole catalogue) against a bare walk,
//                                    then AddFoundFile alone over paths in memory
//   bench-engine clean Root Rounds   the cleanup pass over the files the reading
//                                    pass finds below Root against a DeleteFileW
//                                    loop; the files are made again before each case
//   bench-engine engine Paths Rounds AddFoundFile alone over realistic paths in
//                                    memory, none taken and all taken, and the
//                                    memory a found file costs
//   bench-engine cleanmany Root Files Rounds
//                                    the cleanup pass over Files files it makes below
//                                    Root, against a DeleteFileW loop
//   bench-engine detail Files Rounds the detail window's opening with Files found
//                                    files, against a bare list box
//   bench-engine excluded Root Count Rounds
//                                    reading the settings and walking Root with
//                                    Count excluded folders, against the same
//                                    with none, side by side
//   bench-engine winapp2real File Folder Files Rounds
//                                    the real winapp2.ini File, detection stripped:
//                                    reading passes with its row unticked and ticked
//                                    beside one without it, MatchFile per path, its
//                                    loading, the start-up catalogue with and without it
#include "BenchSupport.h"

#include "catalogue/Catalogue.h"
#include "catalogue/Winapp2Action.h"
#include "engine/Exceptions.h"
#include "engine/OrvDirectoryReader.h"
#include "engine/SystemRoutines.h"
#include "engine/VantrelClasses.h"
#include "settings/VantrelData.h"
#include "ui/PreviewVantrelUnit.h"

#include <windows.h>
#include <shlobj.h>
#include <objbase.h>
#include <shellapi.h>

#include <algorithm>
#include <atomic>
#include <cctype>
#include <cstdio>
#include <functional>
#include <memory>
#include <string>
#include <vector>

using namespace bench;

namespace {

// The program's throttled message pump, minus the window: what the reader calls
// between entries.
void PeekPump() {
    MSG msg;
    while (::PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) {
        ::TranslateMessage(&msg);
        ::DispatchMessageW(&msg);
    }
}

// The actions the main window lists on this machine, in its order.
std::unique_ptr<TCleanupList> MakeActionList() {
    auto list = std::make_unique<TCleanupList>();
    for (const auto& row : CleanupCatalogue())
        if (row.ItemClass.IsAvailable()) list->AddAction(row.ItemClass, row.DefaultChecked);
    return list;
}

std::vector<TCleanupFileMaskItem*> FileMaskItems(TCleanupList& list) {
    std::vector<TCleanupFileMaskItem*> items;
    for (int i = 0; i < list.Count(); ++i)
        if (auto* item = dynamic_cast<TCleanupFileMaskItem*>(&list.Items(i))) items.push_back(item);
    return items;
}

// --- settings ---

// True for the file-mask actions that take files of the bench tree.
bool TakesTreeFiles(TCleanupCustomItem& action) {
    auto* item = dynamic_cast<TCleanupFileMaskItem*>(&action);
    if (item == nullptr) return false;
    for (const wchar_t* name : {L"A.TMP", L"A.BAK", L"A.OLD", L"A.GID", L"THUMBS.DB", L"~$A.DOC"})
        if (item->CompiledMasks().MatchesAny(std::wstring(L"C:\\BENCHTREE\\DIR\\") + name)) return true;
    return false;
}

// Settings for Vantrel.exe, protection "None" and scan mode "Quick": in
// Unticked every action of the catalogue is unticked, in Ticked only those
// that take files of the bench tree are ticked.
void WriteSettings(const std::wstring& fileName, bool tickTreeActions) {
    TXMLVantrelSettingsType settings = NewVantrelSettings();
    settings.Options().SetFileProtection(L"None");
    settings.Options().SetScanMode(L"Quick");
    // Every action, offered here or not: a name the file lacks would come back
    // with its default tick and its files would go.
    TCleanupList all;
    int ticked = 0;
    for (const auto& row : CleanupCatalogue()) {
        TCleanupCustomItem& action = all.AddAction(row.ItemClass, false);
        const bool tick = tickTreeActions && TakesTreeFiles(action);
        StoreActionTick(settings.CleanupItems(), action.Name, tick);
        ticked += tick ? 1 : 0;
    }
    settings.SaveToFile(fileName);
    std::printf("settings with %d of %d actions ticked: %ls\n", ticked, all.Count(), fileName.c_str());
}

// --- reading pass ---

struct TReadOutcome {
    long long Files = 0;  // files the walk reported
    long long Found = 0;  // files at least one action took
};

// The reading pass as the main window runs it, minus the window: every file
// the reader reports goes to AddFoundFile with the protection Protection() gives.
TReadOutcome ReadingPass(const std::wstring& root, TCleanupList& list, int32_t minAccessAge,
                         const std::wstring& protection, int threads = 0) {
    TReadOutcome outcome;
    list.ClearFoundFiles();
    TDirReader reader;
    reader.Threads = threads;
    reader.FileMask = L"*.*";
    reader.Recursive = true;
    reader.SetMinAccessAge(minAccessAge);
    reader.OnFile = [&](TDirReader* sender, const std::wstring& fileName) {
        ++outcome.Files;
        if (list.AddFoundFile(fileName, protection, &sender->CurrentFileTimes())) ++outcome.Found;
    };
    reader.SetDirectory(root);
    SetProcessMessagesHandler(PeekPump);
    reader.Start();
    SetProcessMessagesHandler(nullptr);
    return outcome;
}

TReadOutcome ReaderOnly(const std::wstring& root, int threads) {
    TReadOutcome outcome;
    TDirReader reader;
    reader.Threads = threads;
    reader.FileMask = L"*.*";
    reader.Recursive = true;
    reader.OnFile = [&](TDirReader*, const std::wstring&) { ++outcome.Files; };
    reader.SetDirectory(root);
    SetProcessMessagesHandler(PeekPump);
    reader.Start();
    SetProcessMessagesHandler(nullptr);
    return outcome;
}

// What the action list costs per file, without the walk: every path of the
// tree handed to AddFoundFile from memory. Runs after the peak working set is
// taken, as it holds all paths at once.
void BenchAddFoundFile(const std::wstring& root, TCleanupList& list, int rounds, const TSamples& bare) {
    std::vector<std::wstring> all, notTaken;
    TDirReader reader;
    reader.FileMask = L"*.*";
    reader.Recursive = true;
    reader.OnFile = [&](TDirReader*, const std::wstring& fileName) { all.push_back(fileName); };
    reader.SetDirectory(root);
    reader.Start();
    list.ClearFoundFiles();
    for (const auto& file : all)
        if (!list.AddFoundFile(file, L"None")) notTaken.push_back(file);
    TSamples allTimes, notTakenTimes;
    for (int round = 0; round < rounds; ++round) {
        allTimes.Measure([&] {
            list.ClearFoundFiles();
            for (const auto& file : all) list.AddFoundFile(file, L"None");
        });
        notTakenTimes.Measure([&] {
            for (const auto& file : notTaken) list.AddFoundFile(file, L"None");
        });
    }
    std::printf("TCleanupList::AddFoundFile alone, paths from memory (ratios to the bare walk above):\n");
    PrintSamplesHeader("  ns/file");
    const auto perFile = [](const TSamples& t, size_t n) { return std::to_string(static_cast<int>(Median(t.Wall) * 1e6 / n)); };
    PrintSamples("engine_add_all", "all files, protection None", allTimes, bare, perFile(allTimes, all.size()));
    PrintSamples("engine_add_not_taken", "only the files no action takes", notTakenTimes, bare,
                 perFile(notTakenTimes, notTaken.size()));
}

struct TReadCase {
    const char* Key;
    const char* Name;
    std::function<TReadOutcome()> Run;
    TSamples Times;
    TReadOutcome Last;
    // Cases on N threads: the ratio of each run to a bare walk on N threads run
    // right beside it (see BenchReading).
    std::vector<double> PairedRatios;
};

bool RunsOnThreads(const TReadCase& c) { return std::string(c.Key).ends_with("_threads"); }

int BenchReading(const std::wstring& root, int rounds) {
    auto list = MakeActionList();
    const int threads = WalkThreads();

    std::vector<TReadCase> cases;
    cases.push_back({"bare", "bare FindFirstFileW walk", [&] {
                         const TCounts c = BareWalkOf(root);
                         return TReadOutcome{c.Files, 0};
                     }, {}, {}});
    cases.push_back({"bare_parallel", "bare walk on N threads (FindFirstFileExW)", [&] {
                         const TCounts c = ParallelBareWalkOf(root, threads);
                         return TReadOutcome{c.Files, 0};
                     }, {}, {}});
    cases.push_back({"reader", "TDirReader alone, 1 thread", [&] { return ReaderOnly(root, 1); }, {}, {}});
    cases.push_back({"reader_threads", "TDirReader alone, N threads", [&] { return ReaderOnly(root, threads); }, {}, {}});
    // As the main window runs it: the protection read once per pass, the reader
    // skipping files younger than the protection's age, the walk's times handed on;
    // on the walk's thread alone, and with the folders listed ahead on N threads.
    const struct {
        const char* Key;
        const char* Name;
        const wchar_t* Protection;
        int32_t MinAge;
    } modes[] = {{"pass_none", "reading pass, protection None", L"None", 0},
                 {"pass_uptime", "reading pass, protection Uptime", L"Uptime", GetUptimeSeconds()},
                 {"pass_week", "reading pass, protection Week", L"Week", 7 * 24 * 3600},
                 {"pass_smart", "reading pass, protection Smart", L"Smart", GetUptimeSeconds()}};
    static std::vector<std::string> names;  // the cases keep pointers into them
    names.reserve(16);
    for (const auto& mode : modes) {
        cases.push_back({mode.Key, mode.Name, [&list, mode, &root] {
                             return ReadingPass(root, *list, mode.MinAge, mode.Protection, 1);
                         }, {}, {}});
        names.push_back(std::string(mode.Key) + "_threads");
        const char* key = names.back().c_str();
        names.push_back(std::string(mode.Name) + ", N threads");
        cases.push_back({key, names.back().c_str(), [&list, mode, &root, threads] {
                             return ReadingPass(root, *list, mode.MinAge, mode.Protection, threads);
                         }, {}, {}});
    }
    BareWalkOf(root);  // fill the caches before anything is timed
    const double peakBefore = PeakWorkingSetMB();
    // On this machine two busy cores slow down the longer they stay busy, so a
    // case run after another on N threads is slower for that alone, by up to a
    // fifth. Every case on N threads therefore runs twice a round beside a bare
    // walk on N threads of its own, once after it and once before it (bare,
    // case, case, bare), and is compared with those walks: the median of the
    // paired ratios.
    TReadCase& parallel = cases[1];
    for (int round = 0; round < rounds; ++round) {
        for (auto& c : cases) {
            if (!RunsOnThreads(c)) {
                c.Times.Measure([&] { c.Last = c.Run(); });
                continue;
            }
            for (const bool bareFirst : {true, false}) {
                TSamples pair;
                const auto runBare = [&] { pair.Measure([&] { parallel.Run(); }); };
                if (bareFirst) runBare();
                c.Times.Measure([&] { c.Last = c.Run(); });
                if (!bareFirst) runBare();
                c.PairedRatios.push_back(c.Times.Wall.back() / pair.Wall.back());
            }
        }
    }
    std::printf("reading pass in process: %ls (%lld files; %d rounds, interleaved; medians; N = %d threads)\n",
                root.c_str(), cases[0].Last.Files, rounds, threads);
    Result("engine_read_threads", threads);
    PrintSamplesHeader("   files   found  x N-thread bare (paired)");
    for (const auto& c : cases) {
        // Unpaired cases against the median of the bare walks on N threads.
        const double vsParallel = c.PairedRatios.empty() ? Median(c.Times.Wall) / Median(parallel.Times.Wall)
                                                         : Median(c.PairedRatios);
        char counts[96];
        std::snprintf(counts, sizeof counts, "%8lld %7lld  %6.2fx%s", c.Last.Files, c.Last.Found, vsParallel,
                      c.PairedRatios.empty() ? "" : " paired");
        PrintSamples((std::string("engine_read_") + c.Key).c_str(), c.Name, c.Times, cases[0].Times, counts);
        Result((std::string("engine_read_") + c.Key + "_vs_parallel_wall_ratio").c_str(), vsParallel);
        if (c.Last.Files != cases[0].Last.Files)
            std::printf("  WARNING: %s saw %lld files, the bare walk %lld\n", c.Name, c.Last.Files, cases[0].Last.Files);
    }
    const double peak = PeakWorkingSetMB();
    std::printf("  peak working set: %.1f MB (%.1f MB before the first timed case)\n", peak, peakBefore);
    Result("engine_read_peak_mb", peak);
    BenchAddFoundFile(root, *list, rounds, cases[0].Times);
    return 0;
}

// --- the engine alone, over a million paths in memory ---

// Every action of the catalogue, available here or not.
std::unique_ptr<TCleanupList> MakeFullActionList() {
    auto list = std::make_unique<TCleanupList>();
    for (const auto& row : CleanupCatalogue()) list->AddAction(row.ItemClass, row.DefaultChecked);
    return list;
}

// Private memory the process has committed: what its heaps hold, whatever allocator.
double CommittedPrivateBytes() {
    double total = 0;
    MEMORY_BASIC_INFORMATION info;
    for (auto* address = static_cast<char*>(nullptr);
         ::VirtualQuery(address, &info, sizeof info) == sizeof info;
         address = static_cast<char*>(info.BaseAddress) + info.RegionSize) {
        if (info.State == MEM_COMMIT && info.Type == MEM_PRIVATE) total += static_cast<double>(info.RegionSize);
        if (static_cast<char*>(info.BaseAddress) + info.RegionSize < address) break;
    }
    return total;
}

// Paths of the kinds a drive holds, from a fixed seed: Count of them that
// Keep accepts. Taking: names that file-mask actions take, else ordinary ones.
std::vector<std::wstring> RealisticPaths(size_t count, bool taking, const std::function<bool(const std::wstring&)>& keep) {
    static const wchar_t* const tops[] = {L"C:\\Users\\anna\\AppData\\Local\\", L"C:\\Users\\anna\\AppData\\Roaming\\",
                                          L"C:\\Program Files\\", L"C:\\Program Files (x86)\\",
                                          L"C:\\Users\\anna\\Documents\\", L"C:\\Windows\\System32\\",
                                          L"D:\\Photos\\", L"C:\\ProgramData\\"};
    static const wchar_t* const vendors[] = {L"Contoso", L"Fabrikam", L"Northwind", L"Adatum", L"Litware", L"Tailspin"};
    static const wchar_t* const subs[] = {L"bin", L"cache", L"data", L"resources", L"locales", L"plugins", L"2019",
                                          L"assets\\img", L"lib\\site-packages\\core"};
    static const wchar_t* const ordinary[] = {L".dll", L".exe", L".txt", L".jpg", L".png", L".xml", L".ini",
                                              L".html", L".js", L".css", L".pdf", L".docx", L".mp3", L".json",
                                              L".sys", L".ttf", L".cab", L".dat", L".mui", L".py"};
    static const wchar_t* const takenTails[] = {L".tmp", L".bak", L".old", L".gid", L".chk", L".TMP"};
    static const wchar_t* const takenNames[] = {L"Thumbs.db", L"~$Report.doc"};
    std::vector<std::wstring> paths;
    paths.reserve(count);
    uint32_t seed = taking ? 12345u : 54321u;
    const auto next = [&seed](uint32_t n) {
        seed = seed * 1664525u + 1013904223u;
        return (seed >> 8) % n;
    };
    size_t tries = 0;
    while (paths.size() < count && tries++ < count * 4) {
        std::wstring path = tops[next(8)];
        path += vendors[next(6)];
        path += L"\\Product";
        path += std::to_wstring(next(40));
        path += L"\\";
        path += subs[next(9)];
        path += L"\\";
        if (taking && next(5) == 0) {
            path += takenNames[next(2)];
        } else {
            path += L"file";
            path += std::to_wstring(next(100000));
            path += taking ? takenTails[next(6)] : ordinary[next(20)];
        }
        if (keep(path)) paths.push_back(std::move(path));
    }
    return paths;
}

int BenchEngineAlone(size_t count, int rounds) {
    const TFileTimes old{};  // 1601: old enough for every protection
    auto probe = MakeFullActionList();
    std::printf("engine alone: %zu paths in memory offered to all %d actions of the catalogue, protection None, the "
                "walk's times given\n", count, probe->Count());
    const auto none = RealisticPaths(count, false, [&](const std::wstring& p) {
        return !probe->AddFoundFile(p, L"None", &old);
    });
    probe->ClearFoundFiles();
    const auto all = RealisticPaths(count, true, [&](const std::wstring& p) {
        const bool taken = probe->AddFoundFile(p, L"None", &old);
        probe->ClearFoundFiles();
        return taken;
    });
    probe.reset();
    if (none.size() < count || all.size() < count) {
        std::fprintf(stderr, "could not make %zu paths (%zu none, %zu all)\n", count, none.size(), all.size());
        return 1;
    }

    // Memory first, in a fresh list, before any timing has grown the heap.
    {
        auto list = MakeFullActionList();
        const double before = CommittedPrivateBytes();
        long long found = 0;
        for (const auto& path : all) found += list->AddFoundFile(path, L"None", &old) ? 1 : 0;
        const double after = CommittedPrivateBytes();
        size_t entries = 0, units = 0;
        for (int i = 0; i < list->Count(); ++i)
            if (auto* item = dynamic_cast<TCleanupFileMaskItem*>(&list->Items(i))) {
                entries += item->FoundFiles.size();
                for (const auto& f : item->FoundFiles) units += f.size();
            }
        const double perFile = (after - before) / static_cast<double>(found);
        std::printf("  memory: %lld found files (%zu list entries, paths %.1f units on average) add %.1f MB: %.0f "
                    "bytes per found file (bare: the path's own UTF-16 units, %.0f bytes)\n",
                    found, entries, static_cast<double>(units) / static_cast<double>(entries),
                    (after - before) / 1048576.0, perFile, 2.0 * static_cast<double>(units) / static_cast<double>(entries));
        Result("engine_bytes_per_found_file", perFile);
        Result("engine_bytes_per_found_file_bare", 2.0 * static_cast<double>(units) / static_cast<double>(entries));
    }

    auto list = MakeFullActionList();
    size_t sink = 0;
    TSamples bare, noMatch, allMatch;
    for (int round = 0; round < rounds; ++round) {
        // The least anything can do with a path: look at each of its units once.
        bare.Measure([&] {
            for (const auto& path : none)
                for (wchar_t c : path) sink += static_cast<size_t>(c);
        });
        noMatch.Measure([&] {
            for (const auto& path : none) sink += list->AddFoundFile(path, L"None", &old) ? 1 : 0;
        });
        list->ClearFoundFiles();
        allMatch.Measure([&] {
            for (const auto& path : all) sink += list->AddFoundFile(path, L"None", &old) ? 1 : 0;
        });
        list->ClearFoundFiles();
    }
    PrintSamplesHeader("  us/path");
    const auto perPath = [count](const TSamples& t) {
        char text[32];
        std::snprintf(text, sizeof text, "%8.3f", Median(t.Wall) * 1000.0 / static_cast<double>(count));
        return std::string(text);
    };
    PrintSamples("engine_alone_bare", "bare: every unit of every path read", bare, bare, perPath(bare));
    PrintSamples("engine_alone_none", "AddFoundFile, no action takes the path", noMatch, bare, perPath(noMatch));
    PrintSamples("engine_alone_all", "AddFoundFile, an action takes every path", allMatch, bare, perPath(allMatch));
    Result("engine_alone_bare_us", Median(bare.Wall) * 1000.0 / static_cast<double>(count));
    Result("engine_alone_none_us", Median(noMatch.Wall) * 1000.0 / static_cast<double>(count));
    Result("engine_alone_all_us", Median(allMatch.Wall) * 1000.0 / static_cast<double>(count));
    return sink == 42 ? 1 : 0;  // keeps the bare loop from being optimised away
}

// --- cleanup pass ---

// Makes every file of the list again: empty, last accessed and written 30 days ago.
bool Regenerate(const std::vector<std::wstring>& files) {
    FILETIME now;
    ::GetSystemTimeAsFileTime(&now);
    ULARGE_INTEGER old{{now.dwLowDateTime, now.dwHighDateTime}};
    old.QuadPart -= 30ULL * 24 * 3600 * 10000000;
    const FILETIME aged{old.LowPart, old.HighPart};
    for (const auto& file : files) {
        HANDLE h = ::CreateFileW(file.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
        if (h == INVALID_HANDLE_VALUE) return false;
        ::SetFileTime(h, nullptr, &aged, &aged);
        ::CloseHandle(h);
    }
    return true;
}

long long Remaining(const std::vector<std::wstring>& files) {
    long long count = 0;
    for (const auto& file : files)
        if (::GetFileAttributesW(file.c_str()) != INVALID_FILE_ATTRIBUTES) ++count;
    return count;
}

bool StartsWithNoCase(const std::wstring& text, const std::wstring& prefix) {
    return text.size() > prefix.size() &&
           ::CompareStringOrdinal(text.c_str(), static_cast<int>(prefix.size()), prefix.c_str(),
                                  static_cast<int>(prefix.size()), TRUE) == CSTR_EQUAL;
}

// The files a reading pass with protection "None" finds below Root, every
// action taking part. Empty when one of them lies outside Root.
std::vector<std::wstring> FilesToClean(const std::wstring& root, TCleanupList& list) {
    ReadingPass(root, list, 0, L"None");
    std::vector<std::wstring> files;
    for (auto* item : FileMaskItems(list))
        for (const auto& file : item->FoundFiles) {
            if (!StartsWithNoCase(file, root)) {
                std::fprintf(stderr, "refusing: %ls lies outside %ls\n", file.c_str(), root.c_str());
                return {};
            }
            files.push_back(file);
        }
    std::sort(files.begin(), files.end());
    files.erase(std::unique(files.begin(), files.end()), files.end());
    return files;
}

void DeleteLoop(const std::vector<std::wstring>& files) {
    for (const auto& file : files) ::DeleteFileW(file.c_str());
}

// The deletion primitive's open, mark and close, with none of its checks, on
// Threads threads taking the files in turn.
void HandleLoop(const std::vector<std::wstring>& files, int threads) {
    struct TShared {
        const std::vector<std::wstring>* Files;
        std::atomic<size_t> Next{0};
    } shared{&files};
    const auto work = [](void* parameter) -> DWORD {
        auto& s = *static_cast<TShared*>(parameter);
        for (size_t i; (i = s.Next.fetch_add(1)) < s.Files->size();) {
            HANDLE entry = OpenEntryForDeletion((*s.Files)[i]);
            if (entry == INVALID_HANDLE_VALUE) continue;
            MarkForDeletion(entry);
            ::CloseHandle(entry);
        }
        return 0;
    };
    RunOnThreads(work, &shared, threads);
}

// All files in one shell file operation, with the flags the actions use.
void OneShellOperation(const std::vector<std::wstring>& files) {
    std::wstring from;
    for (const auto& file : files) {
        from += file;
        from.push_back(L'\0');
    }
    from.push_back(L'\0');
    SHFILEOPSTRUCTW op{};
    op.wFunc = FO_DELETE;
    op.pFrom = from.c_str();
    op.fFlags = FOF_SILENT | FOF_NOCONFIRMATION | FOF_NOCONFIRMMKDIR | FOF_NOERRORUI;
    ::SHFileOperationW(&op);
}

struct TCleanCase {
    const char* Key;
    const char* Name;
    std::function<void()> Prepare;  // not timed
    std::function<void()> Run;
    TSamples Times;
    long long Left = 0;
};

// The cleanup cases over Files, each made again before each case. Prefix names
// the "@result" lines.
int CleanCases(const std::vector<std::wstring>& files, TCleanupList& list, int rounds, const std::string& prefix,
               const std::wstring& where) {
    // ExecuteChecked adds the files itself; only its deleting is timed.
    std::vector<TCleanCase> cases;
    const auto prepareExecute = [&] {
        list.ClearFoundFiles();
        for (const auto& file : files) list.AddFoundFile(file, L"None");
        for (int i = 0; i < list.Count(); ++i)
            list.SetChecked(i, dynamic_cast<TCleanupFileMaskItem*>(&list.Items(i)) != nullptr);
    };
    cases.push_back({"delete_loop", "bare DeleteFileW loop", nullptr, [&] { DeleteLoop(files); }, {}, 0});
    cases.push_back({"handle_loop", "bare handle loop: open, mark, close", nullptr, [&] { HandleLoop(files, 1); }, {}, 0});
    cases.push_back({"handle_loop_threads", "the same on 2 threads", nullptr, [&] { HandleLoop(files, 2); }, {}, 0});
    cases.push_back({"execute", "TCleanupList::ExecuteChecked", prepareExecute, [&] { list.ExecuteChecked(); }, {}, 0});
    cases.push_back({"execute_one_thread", "the same, deleting on its own thread alone", prepareExecute, [&] {
                         TCleanupFileMaskItem::DeletionThreads = 1;
                         list.ExecuteChecked();
                         TCleanupFileMaskItem::DeletionThreads = 2;
                     }, {}, 0});
    cases.push_back({"one_shell_op", "one SHFileOperationW for all", nullptr, [&] { OneShellOperation(files); }, {},
                     0});

    for (int round = 0; round < rounds; ++round) {
        for (auto& c : cases) {
            if (!Regenerate(files)) {
                std::fprintf(stderr, "could not make the files again\n");
                return 1;
            }
            if (c.Prepare) c.Prepare();
            c.Times.Measure(c.Run);
            c.Left += Remaining(files);
        }
    }
    const bool whole = Regenerate(files);  // the tree stays whole for the next run
    std::printf("cleanup pass in process: %zu files below %ls (%d rounds, interleaved; made again before each case)\n",
                files.size(), where.c_str(), rounds);
    PrintSamplesHeader("files left  x handle loop");
    for (const auto& c : cases) {
        char extra[64];
        const double toHandleLoop = Median(c.Times.Wall) / Median(cases[1].Times.Wall);
        std::snprintf(extra, sizeof extra, "%10lld  %6.2fx", c.Left, toHandleLoop);
        PrintSamples((prefix + c.Key).c_str(), c.Name, c.Times, cases[0].Times, extra);
        Result((prefix + c.Key + "_left").c_str(), static_cast<double>(c.Left));
        Result((prefix + c.Key + "_vs_handle_wall_ratio").c_str(), toHandleLoop);
    }
    Result((prefix + "files").c_str(), static_cast<double>(files.size()));
    return whole ? 0 : 1;
}

int BenchCleanup(const std::wstring& root, int rounds) {
    auto list = MakeActionList();
    const std::vector<std::wstring> files = FilesToClean(root, *list);
    if (files.empty()) {
        std::fprintf(stderr, "nothing to clean below %ls\n", root.c_str());
        return 1;
    }
    const int code = CleanCases(files, *list, rounds, "engine_clean_", root);
    const double peak = PeakWorkingSetMB();
    std::printf("  peak working set: %.1f MB\n", peak);
    Result("engine_clean_peak_mb", peak);
    return code;
}

// Count files named for a cleanup action in folders of 100 below Root (made
// here, removed at the end), against the same loop of DeleteFileW.
int BenchCleanupMany(const std::wstring& root, size_t count, int rounds) {
    std::vector<std::wstring> files, folders;
    ::CreateDirectoryW(root.c_str(), nullptr);
    for (size_t i = 0; i < count; ++i) {
        if (i % 100 == 0) {
            folders.push_back(root + L"d" + std::to_wstring(i / 100));
            ::CreateDirectoryW(folders.back().c_str(), nullptr);
        }
        files.push_back(folders.back() + L"\\file" + std::to_wstring(i) + L".tmp");
    }
    auto list = MakeActionList();
    const int code = CleanCases(files, *list, rounds, "engine_clean_many_", root);
    DeleteLoop(files);
    for (const auto& folder : folders) ::RemoveDirectoryW(folder.c_str());
    ::RemoveDirectoryW(root.c_str());
    return code;
}

// --- the detail window ---

TCleanupActionInfoForm* GOpenForm = nullptr;
TStopwatch* GOpenWatch = nullptr;
double GOpenMs = 0;

// A thread timer comes after every paint: the window is up, its list filled and drawn.
void CALLBACK OpenTimer(HWND, UINT, UINT_PTR id, DWORD) {
    ::KillTimer(nullptr, id);
    GOpenMs = GOpenWatch->Ms();
    GOpenForm->CloseSpeedButtonClick();
}

int BenchDetailWindow(size_t count, int rounds) {
    auto list = MakeFullActionList();
    TCleanupFileMaskItem* item = nullptr;
    for (auto* candidate : FileMaskItems(*list))
        if (item == nullptr && candidate->CompiledMasks().MatchesAny(L"C:\\X\\A.TMP")) item = candidate;
    const TFileTimes old{};
    const auto paths = RealisticPaths(count, true, [&](const std::wstring& p) { return item->AcceptFile(p, UpperCaseAscii(p), L"None", &old); });
    item->FoundFiles = paths;
    TXMLVantrelSettingsType settings = NewVantrelSettings();
    settings.Options().SetFileProtection(L"None");
    TSamples bare, open;
    for (int round = 0; round < rounds; ++round) {
        // The least a window can do: a plain list box given every path.
        bare.Measure([&] {
            HWND box = ::CreateWindowExW(0, L"LISTBOX", L"", WS_POPUP | WS_VISIBLE | WS_VSCROLL | LBS_NOINTEGRALHEIGHT,
                                         0, 0, 505, 225, nullptr, nullptr, ::GetModuleHandleW(nullptr), nullptr);
            ::SendMessageW(box, WM_SETREDRAW, FALSE, 0);
            for (const auto& path : paths) ::SendMessageW(box, LB_ADDSTRING, 0, reinterpret_cast<LPARAM>(path.c_str()));
            ::SendMessageW(box, WM_SETREDRAW, TRUE, 0);
            ::UpdateWindow(box);
            ::DestroyWindow(box);
        });
        TCleanupActionInfoForm form;
        TStopwatch watch;
        GOpenForm = &form;
        GOpenWatch = &watch;
        ::SetTimer(nullptr, 0, USER_TIMER_MINIMUM, OpenTimer);
        const double cpu = ProcessCpuMs();
        form.ShowActionInfo(*item, settings, nullptr);
        open.Wall.push_back(GOpenMs);
        open.Cpu.push_back(ProcessCpuMs() - cpu);
    }
    std::printf("detail window with %zu found files (%d rounds, interleaved; open: until its first timer, after "
                "every paint)\n", paths.size(), rounds);
    PrintSamplesHeader("");
    PrintSamples("detail_bare", "bare list box filled with the paths", bare, bare, "");
    PrintSamples("detail_open", "detail window opens", open, bare, "");
    return 0;
}

// winapp2.ini: reading and detecting a file of Entries entries (one in twenty
// installed, by a registry key or a folder), against the rest of the
// catalogue's creation at start-up, which is what the program does without it.
int BenchWinapp2(const std::wstring& folder, size_t entries, int rounds) {
    CreateDirectoryTree(folder + L"rules");
    CreateDirectoryTree(folder + L"none");
    const std::wstring appData = GetSpecialFolder(CSIDL_APPDATA);
    std::string text = "\xEF\xBB\xBF; generated for the bench\r\n";
    size_t installed = 0;
    for (size_t i = 0; i < entries; ++i) {
        const std::string n = std::to_string(i);
        const bool present = i % 20 == 0;
        installed += present ? 1 : 0;
        if (present && i % 40 == 0) {
            HKEY key = nullptr;
            ::RegCreateKeyExW(HKEY_CURRENT_USER, (L"Software\\VtBench\\App" + std::to_wstring(i)).c_str(), 0, nullptr,
                              0, KEY_WRITE, nullptr, &key, nullptr);
            if (key) ::RegCloseKey(key);
        } else if (present) {
            CreateDirectoryTree(appData + L"VtBenchApp" + std::to_wstring(i));
        }
        text += "[Bench App " + n + " *]\r\nLangSecRef=" + std::to_string(3021 + i % 11) + "\r\n";
        if (i % 40 == 0) text += "Detect=HKCU\\Software\\VtBench\\App" + n + "\r\n";
        else text += "DetectFile=%AppData%\\VtBenchApp" + n + "\r\n";
        if (i % 3 == 0) text += "Detect2=HKLM\\Software\\VtBenchVendor\\App" + n + "\r\n";
        text += "FileKey1=%LocalAppData%\\VtBenchApp" + n + "\\Cache|*.*|RECURSE\r\n";
        text += "FileKey2=%AppData%\\VtBenchApp" + n + "\\logs|*.log;*.txt\r\n";
        text += "ExcludeKey1=FILE|%AppData%\\VtBenchApp" + n + "\\logs\\|keep.log\r\n";
        text += "RegKey1=HKCU\\Software\\VtBenchApp" + n + "\\Recent\r\n\r\n";
    }
    {
        HANDLE file = ::CreateFileW((folder + L"rules\\winapp2.ini").c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                                    FILE_ATTRIBUTE_NORMAL, nullptr);
        DWORD written = 0;
        ::WriteFile(file, text.data(), static_cast<DWORD>(text.size()), &written, nullptr);
        ::CloseHandle(file);
    }
    TSamples without, load;
    size_t detected = 0;
    for (int round = 0; round < rounds; ++round) {
        SetWinapp2FoldersForTesting({folder + L"none"});
        {
            TStopwatch watch;
            const double cpu = ProcessCpuMs();
            auto list = MakeFullActionList();
            without.Wall.push_back(watch.Ms());
            without.Cpu.push_back(ProcessCpuMs() - cpu);
        }
        SetWinapp2FoldersForTesting({folder + L"rules"});
        TStopwatch watch;
        const double cpu = ProcessCpuMs();
        TCleanupList list;
        auto& item = static_cast<TCleanupWinapp2Item&>(
            list.AddAction(TCleanupCustomItem::ClassOf<TCleanupWinapp2Item>(), false));
        load.Wall.push_back(watch.Ms());
        load.Cpu.push_back(ProcessCpuMs() - cpu);
        detected = static_cast<size_t>(item.Rules.OfferedCount());
    }
    SetWinapp2FoldersForTesting({});
    // Where the time goes: the text alone, then the checks without and with the system's answers.
    TSamples parse, check;
    const TWinapp2System system = Winapp2SystemOfThisComputer();
    TWinapp2System blind = system;
    blind.KeyExists = nullptr;
    blind.PathExists = nullptr;
    const std::wstring wide = DecodeWinapp2Text(text);
    for (int round = 0; round < rounds; ++round) {
        TStopwatch watch;
        TWinapp2RuleSet rules;
        rules.AddText(wide, L"bench", blind);
        parse.Wall.push_back(watch.Ms());
        TStopwatch checkWatch;
        rules.Prepare(blind);
        check.Wall.push_back(checkWatch.Ms());
    }
    std::printf("  of which: the text %.1f ms, checks and compiling without detection %.1f ms\n", Median(parse.Wall),
                Median(check.Wall));
    std::printf("winapp2.ini with %zu entries (%zu KB, %zu installed, %zu detected), %d rounds\n", entries,
                text.size() / 1024, installed, detected, rounds);
    PrintSamplesHeader("");
    PrintSamples("winapp2_startup_without", "start-up's catalogue without winapp2.ini", without, without, "");
    PrintSamples("winapp2_load_detect", "reading and detecting winapp2.ini", load, without, "");
    Result("winapp2_load_detect_ms", Median(load.Wall));
    Result("winapp2_startup_without_ms", Median(without.Wall));
    Result("winapp2_detected", static_cast<double>(detected));
    return 0;
}

// A settings file with Count excluded folders, as a user who pasted a long
// list would have it: one in a hundred in the walked tree (beside its folders,
// so the walk reads the same), the rest on a drive path that is gone, each its own. Reading it and walking Root with them, against the
// same with an empty list: what the list adds to start-up plus reading.
int BenchExcluded(const std::wstring& root, size_t count, int rounds) {
    const std::wstring folder = GetTempDirectory() + L"vt-bench-excluded\\";
    CreateDirectoryTree(folder);
    const std::wstring many = folder + L"many.cfg", none = folder + L"none.cfg";
    {
        TXMLVantrelSettingsType settings = NewVantrelSettings();
        std::vector<std::wstring> excluded;
        for (size_t i = 0; i < count; ++i) {
            const std::wstring name = L"Project" + std::to_wstring(i) + L"\\node_modules";
            wchar_t dir[8];
            swprintf(dir, 8, L"dir%02zu\\", i / 100 % 20);
            excluded.push_back(i % 100 == 0 ? root + dir + name
                                            : L"C:\\Users\\Bench\\Source\\" + name);
        }
        StoreExcludeDirectories(settings, excluded);
        settings.SaveToFile(many);
        NewVantrelSettings().SaveToFile(none);
    }
    std::vector<double> settingsMs, parseMs;
    const auto pass = [&](const std::wstring& file) {
        TStopwatch settingsWatch;
        std::wstring error;
        TXMLVantrelSettingsType settings = OpenVantrelSettings(file, error);
        if (file == many) parseMs.push_back(settingsWatch.Ms());
        TDirReader reader;
        reader.FileMask = L"*.*";
        reader.Recursive = true;
        reader.ExcludedDirectories() = LoadExcludeDirectories(settings);
        if (file == many) settingsMs.push_back(settingsWatch.Ms());
        long long files = 0;
        reader.OnFile = [&](TDirReader*, const std::wstring&) { ++files; };
        reader.SetDirectory(root);
        SetProcessMessagesHandler(PeekPump);
        reader.Start();
        SetProcessMessagesHandler(nullptr);
        return files;
    };
    TSamples with, without;
    long long files = 0;
    for (int round = 0; round < rounds; ++round) {
        for (int order = 0; order < 2; ++order) {
            const bool many_first = (round + order) % 2 == 0;
            TStopwatch watch;
            const double cpu = ProcessCpuMs();
            files = pass(many_first ? many : none);
            (many_first ? with : without).Wall.push_back(watch.Ms());
            (many_first ? with : without).Cpu.push_back(ProcessCpuMs() - cpu);
        }
    }
    DeleteDirectoryTree(folder);
    std::printf("settings with %zu excluded folders, then a walk of %ls (%lld files), %d rounds\n", count, root.c_str(),
                files, rounds);
    std::printf("  of which reading the settings file with them: %.1f ms (parsing %.1f ms)\n", Median(settingsMs),
                Median(parseMs));
    PrintSamplesHeader("");
    PrintSamples("excluded_none", "settings and walk, no excluded folder", without, without, "");
    PrintSamples("excluded_many", "settings and walk, the excluded folders", with, without, "");
    Result("excluded_added_s", (Median(with.Wall) - Median(without.Wall)) / 1000);
    Result("excluded_ratio", Median(with.Wall) / Median(without.Wall));
    return 0;
}

// The community's real winapp2.ini with its detection keys taken out, so every
// entry is offered: what the rules cost a reading pass over Files files of a
// tree of their own with the row unticked and ticked (every entry ticked),
// beside the same pass without the file; MatchFile alone per path (the tree's
// paths and two inside each rule's folder); reading, detecting and compiling
// the file; the catalogue's creation at start-up with and without it, which
// the window's first paint waits for.
namespace winapp2real {

void WriteBytes(const std::wstring& fileName, const std::string& bytes) {
    HANDLE file = ::CreateFileW(fileName.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    DWORD written = 0;
    ::WriteFile(file, bytes.data(), static_cast<DWORD>(bytes.size()), &written, nullptr);
    ::CloseHandle(file);
}

std::string ReadBytes(const std::wstring& fileName) {
    HANDLE file = ::CreateFileW(fileName.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr);
    if (file == INVALID_HANDLE_VALUE) return {};
    std::string bytes(::GetFileSize(file, nullptr), '\0');
    DWORD read = 0;
    ::ReadFile(file, bytes.data(), static_cast<DWORD>(bytes.size()), &read, nullptr);
    ::CloseHandle(file);
    bytes.resize(read);
    return bytes;
}

// Every line but Detect*, DetectFile*, DetectOS and SpecialDetect*.
std::string WithoutDetection(const std::string& text) {
    std::string out;
    size_t start = 0;
    while (start < text.size()) {
        size_t end = text.find('\n', start);
        end = end == std::string::npos ? text.size() : end + 1;
        std::string head = text.substr(start, 14);
        for (char& c : head) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
        if (head.rfind("detect", 0) != 0 && head.rfind("specialdetect", 0) != 0) out.append(text, start, end - start);
        start = end;
    }
    return out;
}

TCleanupWinapp2Item& Winapp2ItemOf(TCleanupList& list) {
    for (int i = 0; i < list.Count(); ++i)
        if (auto* item = dynamic_cast<TCleanupWinapp2Item*>(&list.Items(i))) return *item;
    throw Exception(L"no winapp2.ini row");
}

}  // namespace winapp2real

int BenchWinapp2Real(const std::wstring& source, const std::wstring& folder, size_t files, int rounds) {
    using namespace winapp2real;
    const std::string text = ReadBytes(source);
    if (text.empty()) {
        std::printf("cannot read %ls\n", source.c_str());
        return 1;
    }
    CreateDirectoryTree(folder + L"rules");
    CreateDirectoryTree(folder + L"none");
    WriteBytes(folder + L"rules\\winapp2.ini", WithoutDetection(text));
    const std::wstring tree = folder + L"tree\\";
    std::vector<std::wstring> treePaths;
    static const wchar_t* const extensions[] = {L".dll", L".txt", L".jpg", L".log", L".tmp", L".dat", L".ini", L".png"};
    for (size_t i = 0; i < files; ++i) {
        const std::wstring dir = tree + L"d" + std::to_wstring(i / 1000) + L"\\e" + std::to_wstring(i / 20 % 50);
        if (i % 20 == 0) CreateDirectoryTree(dir);
        treePaths.push_back(dir + L"\\file" + std::to_wstring(i) + extensions[i % 8]);
        if (::GetFileAttributesW(treePaths.back().c_str()) == INVALID_FILE_ATTRIBUTES)
            WriteBytes(treePaths.back(), "");
    }
    TSamples without, unticked, ticked, createWithout, createWith, load, freeing;
    size_t entries = 0, offered = 0, refused = 0;
    long long takenTicked = 0;
    for (int round = 0; round < rounds; ++round) {
        SetWinapp2FoldersForTesting({folder + L"none"});
        std::unique_ptr<TCleanupList> list;
        createWithout.Measure([&] { list = MakeFullActionList(); });
        without.Measure([&] { ReadingPass(tree, *list, 0, L"None", 1); });
        list.reset();
        SetWinapp2FoldersForTesting({folder + L"rules"});
        createWith.Measure([&] { list = MakeFullActionList(); });
        TCleanupWinapp2Item& item = Winapp2ItemOf(*list);
        item.Checked = false;
        // The rules' worker is done: the pass alone is measured (its cost is "read, detect, compile").
        item.WaitForRules();
        unticked.Measure([&] { ReadingPass(tree, *list, 0, L"None", 1); });
        item.Checked = true;
        for (auto& rule : item.Rules.Rules) rule.Checked = true;
        ticked.Measure([&] { takenTicked = ReadingPass(tree, *list, 0, L"None", 1).Found; });
        list.reset();
        // The rules are freed outside the measure: the program keeps them, and
        // freeing some hundred thousand strings is not loading them.
        auto loaded = std::make_unique<TWinapp2RuleSet>();
        load.Measure([&] {
            loaded->LoadFolders({folder + L"rules"}, std::function<TWinapp2System()>(Winapp2SystemOfThisComputer));
            entries = loaded->Rules.size();
            offered = static_cast<size_t>(loaded->OfferedCount());
            refused = static_cast<size_t>(loaded->RefusedCount());
        });
        freeing.Measure([&] { loaded.reset(); });
    }
    // MatchFile alone: the tree's paths (a pass's files), and two below each
    // rule's folder (files the rules are about, nearly all taken).
    TWinapp2RuleSet rules;
    rules.LoadFolders({folder + L"rules"}, Winapp2SystemOfThisComputer());
    SetWinapp2FoldersForTesting({});
    std::vector<std::wstring> treeUpper, ruleUpper;
    for (const auto& p : treePaths) treeUpper.push_back(UpperCaseAscii(p));
    for (const auto& rule : rules.Rules)
        for (const auto& fileRule : rule.FileRules) {
            ruleUpper.push_back(fileRule.Folder + L"\\CACHE\\DATA_1.TMP");
            ruleUpper.push_back(fileRule.Folder + L"\\LOGFILE.LOG");
        }
    std::vector<uint32_t> matched;
    size_t hits = 0;
    const auto perPath = [&](const std::vector<std::wstring>& paths) {
        TSamples samples;
        for (int round = 0; round < rounds; ++round)
            samples.Measure([&] {
                hits = 0;
                for (const auto& p : paths) {
                    rules.MatchFile(p, matched);
                    hits += matched.empty() ? 0 : 1;
                }
            });
        return Median(samples.Wall) * 1000.0 / static_cast<double>(std::max<size_t>(1, paths.size()));
    };
    const double treeUs = perPath(treeUpper);
    const size_t treeHits = hits;
    const double matchUs = perPath(ruleUpper);
    // Where loading goes: the text alone, then the checks and compiling (nothing to detect),
    // and the checks alone on a copy of the entries.
    TSamples parse, check, checkOnly, systemFolders;
    {
        for (int round = 0; round < rounds; ++round)
            systemFolders.Measure([&] { const TWinapp2System asked = Winapp2SystemOfThisComputer(); });
        const TWinapp2System system = Winapp2SystemOfThisComputer();
        const std::wstring wide = DecodeWinapp2Text(WithoutDetection(text));
        const TWinapp2Guards guards = Winapp2GuardsOf(system.Folders);
        for (int round = 0; round < rounds; ++round) {
            TWinapp2RuleSet set;
            parse.Measure([&] { set.AddText(wide, L"bench", system); });
            std::vector<TWinapp2Entry> entries;
            for (const auto& rule : set.Rules) entries.push_back(rule.Entry);
            checkOnly.Measure([&] {
                for (auto& entry : entries) CheckWinapp2Entry(entry, system.Folders, &guards);
            });
            check.Measure([&] { set.Prepare(system); });
        }
    }
    std::printf("  of which: the system's folders %.1f ms, the text %.1f ms, checks and compiling %.1f ms (the checks "
                "alone %.1f ms)\n", Median(systemFolders.Wall), Median(parse.Wall), Median(check.Wall),
                Median(checkOnly.Wall));
    // What a ticked pass pays once as it starts: the row's masks made and compiled.
    TSamples start;
    {
        SetWinapp2FoldersForTesting({folder + L"rules"});
        auto list = MakeFullActionList();
        SetWinapp2FoldersForTesting({});
        TCleanupWinapp2Item& item = Winapp2ItemOf(*list);
        for (int round = 0; round < rounds; ++round) {
            item.Checked = false;
            list->ClearFoundFiles();
            item.Checked = true;
            start.Measure([&] { list->ClearFoundFiles(); });
        }
    }
    std::printf("real winapp2.ini, detection stripped: %zu entries, %zu offered, %zu refused; tree of %zu files, "
                "%lld taken with every entry ticked; %d rounds\n", entries, offered, refused, files, takenTicked, rounds);
    PrintSamplesHeader("");
    PrintSamples("winapp2real_pass_without", "reading pass without winapp2.ini", without, without, "");
    PrintSamples("winapp2real_pass_unticked", "reading pass, row unticked", unticked, without, "");
    PrintSamples("winapp2real_pass_ticked", "reading pass, every entry ticked", ticked, without, "");
    PrintSamples("winapp2real_startup_without", "start-up's catalogue without it", createWithout, createWithout, "");
    PrintSamples("winapp2real_startup_with", "start-up's catalogue with it", createWith, createWithout, "");
    PrintSamples("winapp2real_load", "read, detect, compile", load, createWithout, "");
    std::printf("  freeing the loaded rules (not in the above): %.1f ms\n", Median(freeing.Wall));
    std::printf("  ticked pass's start (masks made and compiled): %.1f ms\n", Median(start.Wall));
    std::printf("  MatchFile alone: the tree's %zu paths (%zu taken) %.3f us per path; %zu paths inside the rules' "
                "folders (%zu taken) %.3f us per path\n", treeUpper.size(), treeHits, treeUs, ruleUpper.size(), hits,
                matchUs);
    Result("winapp2real_pass_start_ms", Median(start.Wall));
    Result("winapp2real_match_tree_us", treeUs);
    Result("winapp2real_match_us", matchUs);
    return 0;
}

int Run(const std::vector<std::wstring>& args) {
    if (args.size() == 3 && args[0] == L"settings") {
        WriteSettings(args[1], false);
        WriteSettings(args[2], true);
        return 0;
    }
    if (args.size() == 3 && (args[0] == L"read" || args[0] == L"clean")) {
        const std::wstring root = WithBackslash(args[1]);
        const int rounds = std::max(1, _wtoi(args[2].c_str()));
        return args[0] == L"read" ? BenchReading(root, rounds) : BenchCleanup(root, rounds);
    }
    if (args.size() == 1 && args[0] == L"masks") {
        // Every action's masks with their fixed endings and starts: what the action list's index files them under.
        auto list = MakeFullActionList();
        for (auto* item : FileMaskItems(*list)) {
            std::printf("%ls\n", item->Name.c_str());
            const auto anchors = item->CompiledMasks().Anchors(3, 64);
            for (const auto& a : anchors ? *anchors : std::vector<TCompiledMaskList::TAnchors>{})
                std::printf("    ending \"%ls\" start \"%ls\"\n", a.Ending.c_str(), a.Start.c_str());
        }
        return 0;
    }
    if (args.size() == 3 && args[0] == L"engine")
        return BenchEngineAlone(static_cast<size_t>(_wtoi(args[1].c_str())), std::max(1, _wtoi(args[2].c_str())));
    if (args.size() == 4 && args[0] == L"cleanmany")
        return BenchCleanupMany(WithBackslash(args[1]), static_cast<size_t>(_wtoi(args[2].c_str())),
                                std::max(1, _wtoi(args[3].c_str())));
    if (args.size() == 4 && args[0] == L"winapp2")
        return BenchWinapp2(WithBackslash(args[1]), static_cast<size_t>(_wtoi(args[2].c_str())),
                            std::max(1, _wtoi(args[3].c_str())));
    if (args.size() == 4 && args[0] == L"excluded")
        return BenchExcluded(WithBackslash(args[1]), static_cast<size_t>(_wtoi(args[2].c_str())),
                             std::max(1, _wtoi(args[3].c_str())));
    if (args.size() == 5 && args[0] == L"winapp2real")
        return BenchWinapp2Real(args[1], WithBackslash(args[2]), static_cast<size_t>(_wtoi(args[3].c_str())),
                                std::max(1, _wtoi(args[4].c_str())));
    if (args.size() == 3 && args[0] == L"detail")
        return BenchDetailWindow(static_cast<size_t>(_wtoi(args[1].c_str())), std::max(1, _wtoi(args[2].c_str())));
    std::fprintf(stderr, "usage: bench-engine settings Unticked Ticked | read Root Rounds | clean Root Rounds | "
                         "engine Paths Rounds | cleanmany Root Files Rounds | detail Files Rounds | winapp2 Folder Entries Rounds | "
                         "excluded Root Count Rounds | winapp2real File Folder Files Rounds\n");
    return 2;
}

}  // namespace

int main() {
    // The settings document and the shell's file operation need COM on this thread.
    ::CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED);
    // A message queue for the pump, as the program's thread has one.
    MSG msg;
    ::PeekMessageW(&msg, nullptr, 0, 0, PM_NOREMOVE);
    int code = 2;
    try {
        code = Run(Arguments());
    } catch (const Exception& e) {
        std::fprintf(stderr, "failed: %ls\n", e.Message().c_str());
        code = 1;
    }
    ::CoUninitialize();
    return code;
}
