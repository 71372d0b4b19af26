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
#include "BenchSupport.h"

#include "catalogue/Catalogue.h"
#include "engine/Exceptions.h"
#include "engine/OrvDirectoryReader.h"
#include "engine/SystemRoutines.h"
#include "engine/VantrelClasses.h"
#include "settings/VantrelData.h"

#include <windows.h>
#include <objbase.h>
#include <shellapi.h>

#include <algorithm>
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
                         const std::function<std::wstring()>& protection) {
    TReadOutcome outcome;
    list.ClearFoundFiles();
    TDirReader reader;
    reader.FileMask = L"*.*";
    reader.Recursive = true;
    reader.SetMinAccessAge(minAccessAge);
    reader.OnFile = [&](TDirReader*, const std::wstring& fileName) {
        ++outcome.Files;
        if (list.AddFoundFile(fileName, protection())) ++outcome.Found;
    };
    reader.SetDirectory(root);
    SetProcessMessagesHandler(PeekPump);
    reader.Start();
    SetProcessMessagesHandler(nullptr);
    return outcome;
}

TReadOutcome ReaderOnly(const std::wstring& root) {
    TReadOutcome outcome;
    TDirReader reader;
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
};

int BenchReading(const std::wstring& root, int rounds) {
    auto list = MakeActionList();
    const std::wstring none = L"None", smart = L"Smart";
    // The window asks its settings document for the protection at every file.
    TXMLVantrelSettingsType settings = NewVantrelSettings();
    settings.Options().SetFileProtection(L"None");

    std::vector<TReadCase> cases;
    cases.push_back({"bare", "bare FindFirstFileW walk", [&] {
                         const TCounts c = BareWalkOf(root);
                         return TReadOutcome{c.Files, 0};
                     }, {}, {}});
    cases.push_back({"reader", "TDirReader alone (*.*, no age)", [&] { return ReaderOnly(root); }, {}, {}});
    cases.push_back({"pass_none", "reading pass, protection None", [&] {
                         return ReadingPass(root, *list, 0, [&] { return none; });
                     }, {}, {}});
    cases.push_back({"pass_smart", "reading pass, protection Smart", [&] {
                         return ReadingPass(root, *list, GetUptimeSeconds(), [&] { return smart; });
                     }, {}, {}});
    cases.push_back({"pass_window", "reading pass, None from settings/file", [&] {
                         return ReadingPass(root, *list, 0, [&] { return settings.Options().FileProtection(); });
                     }, {}, {}});

    BareWalkOf(root);  // fill the caches before anything is timed
    const double peakBefore = PeakWorkingSetMB();
    for (int round = 0; round < rounds; ++round) {
        for (auto& c : cases) c.Times.Measure([&] { c.Last = c.Run(); });
    }
    std::printf("reading pass in process: %ls (%lld files; %d rounds, interleaved; medians)\n", root.c_str(),
                cases[0].Last.Files, rounds);
    PrintSamplesHeader("   files   found");
    for (const auto& c : cases) {
        char counts[64];
        std::snprintf(counts, sizeof counts, "%8lld %7lld", c.Last.Files, c.Last.Found);
        PrintSamples((std::string("engine_read_") + c.Key).c_str(), c.Name, c.Times, cases[0].Times, counts);
    }
    const double peak = PeakWorkingSetMB();
    std::printf("  peak working set: %.1f MB (%.1f MB before the first timed case)\n", peak, peakBefore);
    Result("engine_read_peak_mb", peak);
    BenchAddFoundFile(root, *list, rounds, cases[0].Times);
    return 0;
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
    ReadingPass(root, list, 0, [] { return std::wstring(L"None"); });
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

int BenchCleanup(const std::wstring& root, int rounds) {
    auto list = MakeActionList();
    const std::vector<std::wstring> files = FilesToClean(root, *list);
    if (files.empty()) {
        std::fprintf(stderr, "nothing to clean below %ls\n", root.c_str());
        return 1;
    }
    // ExecuteChecked adds the files itself; only its deleting is timed.
    std::vector<TCleanCase> cases;
    cases.push_back({"delete_loop", "bare DeleteFileW loop", nullptr, [&] { DeleteLoop(files); }, {}, 0});
    cases.push_back({"execute", "TCleanupList::ExecuteChecked", [&] {
                         list->ClearFoundFiles();
                         for (const auto& file : files) list->AddFoundFile(file, L"None");
                         for (int i = 0; i < list->Count(); ++i)
                             list->SetChecked(i, dynamic_cast<TCleanupFileMaskItem*>(&list->Items(i)) != nullptr);
                     }, [&] { list->ExecuteChecked(); }, {}, 0});
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
                files.size(), root.c_str(), rounds);
    PrintSamplesHeader("files left");
    for (const auto& c : cases) {
        PrintSamples((std::string("engine_clean_") + c.Key).c_str(), c.Name, c.Times, cases[0].Times,
                     std::to_string(c.Left));
        Result((std::string("engine_clean_") + c.Key + "_left").c_str(), static_cast<double>(c.Left));
    }
    Result("engine_clean_files", static_cast<double>(files.size()));
    const double peak = PeakWorkingSetMB();
    std::printf("  peak working set: %.1f MB\n", peak);
    Result("engine_clean_peak_mb", peak);
    return whole ? 0 : 1;
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
    std::fprintf(stderr, "usage: bench-engine settings Unticked Ticked | read Root Rounds | clean Root Rounds\n");
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
