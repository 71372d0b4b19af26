// TDirReader against real folders in the sandbox's temporary directory.
#include "engine/OrvDirectoryReader.h"

#include "catalogue/Catalogue.h"
#include "engine/DateTime.h"
#include "engine/Exceptions.h"
#include "engine/SystemRoutines.h"
#include "engine/VantrelClasses.h"
#include "platform/Handles.h"
#include "SandboxTestSupport.h"

#include <gtest/gtest.h>
#include <windows.h>

#include <algorithm>
#include <atomic>
#include <climits>
#include <functional>
#include <memory>
#include <new>
#include <random>
#include <string>
#include <vector>

namespace {

constexpr int64_t TicksPerSecond = 10000000;
constexpr int32_t Day = 86400;

// Paths from here on need the \\?\ form for the plain file APIs the tests use.
std::wstring Sys(const std::wstring& path) { return path.size() >= 240 ? L"\\\\?\\" + path : path; }

bool Exists(const std::wstring& path) { return ::GetFileAttributesW(Sys(path).c_str()) != INVALID_FILE_ATTRIBUTES; }

// Unlike Exists, true for a link whose target is gone. Wine looks a plain name
// up through the link, so the parent folder is listed instead.
bool NameExists(const std::wstring& path) {
    const size_t slash = path.rfind(L'\\');
    const std::wstring name = path.substr(slash + 1);
    WIN32_FIND_DATAW data;
    TFindHandle find(::FindFirstFileW(Sys(path.substr(0, slash + 1) + L"*").c_str(), &data));
    if (!find) return false;
    do {
        if (name == data.cFileName) return true;
    } while (::FindNextFileW(find.Get(), &data));
    return false;
}

// Runs a program of the Unix side through Wine's \\?\unix\ namespace and waits
// until Done answers true. False outside Wine or when it never does.
template <class TDone>
bool RunUnix(const std::wstring& program, std::wstring commandLine, TDone done) {
    STARTUPINFOW startup{};
    startup.cb = sizeof startup;
    PROCESS_INFORMATION info{};
    if (!::CreateProcessW((L"\\\\?\\unix" + program).c_str(), commandLine.data(), nullptr, nullptr, FALSE, 0, nullptr,
                          nullptr, &startup, &info))
        return false;
    THandle process(info.hProcess), thread(info.hThread);
    for (int i = 0; i < 200 && !done(); ++i) ::Sleep(25);
    return done();
}

// The Unix path of a file under the sandbox's C:, or empty outside Wine.
std::wstring UnixPath(const std::wstring& path) {
    using TUnixName = char*(CDECL*)(const wchar_t*);
    auto unixName = reinterpret_cast<TUnixName>(
        ::GetProcAddress(::GetModuleHandleW(L"kernel32.dll"), "wine_get_unix_file_name"));
    if (!unixName) return L"";
    char* name = unixName(path.c_str());
    if (!name) return L"";
    wchar_t wide[2048] = {};
    ::MultiByteToWideChar(CP_UTF8, 0, name, -1, wide, 2048);
    ::HeapFree(::GetProcessHeap(), 0, name);
    return wide;
}

// Creates a symbolic link Link -> Target (a name relative to Link's folder).
bool MakeSymbolicLink(const std::wstring& link, const std::wstring& target, bool directory) {
    const std::wstring folder = link.substr(0, link.rfind(L'\\') + 1);
    if (::CreateSymbolicLinkW(link.c_str(), (folder + target).c_str(), directory ? SYMBOLIC_LINK_FLAG_DIRECTORY : 0) &&
        Exists(link))
        return true;
    // Wine 8 answers true but makes nothing; its Unix side can.
    const std::wstring unixLink = UnixPath(link);
    if (unixLink.empty()) return false;
    return RunUnix(L"\\bin\\ln", L"ln -s \"" + target + L"\" \"" + unixLink + L"\"", [&] { return Exists(link); });
}

// Wine removes no directory link, and deletes a file link's target instead of
// the link, so under Wine the link goes from the Unix side.
bool RemoveSymbolicLink(const std::wstring& link) {
    const std::wstring unixLink = UnixPath(link);
    if (unixLink.empty()) return ::RemoveDirectoryW(link.c_str()) || ::DeleteFileW(link.c_str());
    return RunUnix(L"\\usr\\bin\\unlink", L"unlink \"" + unixLink + L"\"", [&] { return !NameExists(link); });
}

// Deletes a tree the tests made; links are removed, never followed.
void RemoveTree(const std::wstring& dir) {
    WIN32_FIND_DATAW data;
    TFindHandle find(::FindFirstFileW(Sys(dir + L"*").c_str(), &data));
    if (find) {
        do {
            const std::wstring name = data.cFileName;
            if (name == L"." || name == L"..") continue;
            const std::wstring path = dir + name;
            if (data.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT)
                RemoveSymbolicLink(path);
            else if (data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY)
                RemoveTree(path + L"\\");
            else {
                ::SetFileAttributesW(Sys(path).c_str(), FILE_ATTRIBUTE_NORMAL);
                ::DeleteFileW(Sys(path).c_str());
            }
        } while (::FindNextFileW(find.Get(), &data));
    }
    find.Reset();
    ::RemoveDirectoryW(Sys(dir).c_str());
}

FILETIME ToFileTime(int64_t value) {
    return FILETIME{static_cast<DWORD>(value & 0xFFFFFFFF), static_cast<DWORD>(static_cast<uint64_t>(value) >> 32)};
}

int64_t UtcNowTicks() {
    FILETIME now;
    ::GetSystemTimeAsFileTime(&now);
    return static_cast<int64_t>((static_cast<uint64_t>(now.dwHighDateTime) << 32) | now.dwLowDateTime);
}

// UTC ticks of a local wall-clock time, converted the way the system converts file times.
int64_t LocalToUtcTicks(const SYSTEMTIME& local) {
    FILETIME localTime, utc;
    ::SystemTimeToFileTime(&local, &localTime);
    ::LocalFileTimeToFileTime(&localTime, &utc);
    return static_cast<int64_t>((static_cast<uint64_t>(utc.dwHighDateTime) << 32) | utc.dwLowDateTime);
}

// Zero leaves that time unchanged. The creation time is set to the write time
// (Wine reports the write time as the creation time anyway).
void SetTimes(const std::wstring& path, int64_t accessUtc, int64_t writeUtc) {
    THandle file(::CreateFileW(Sys(path).c_str(), FILE_WRITE_ATTRIBUTES,
                               FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr, OPEN_EXISTING,
                               FILE_FLAG_BACKUP_SEMANTICS, nullptr));
    ASSERT_TRUE(file.Valid()) << "cannot open " << path;
    const FILETIME access = ToFileTime(accessUtc), write = ToFileTime(writeUtc);
    ASSERT_TRUE(::SetFileTime(file.Get(), writeUtc ? &write : nullptr, accessUtc ? &access : nullptr,
                              writeUtc ? &write : nullptr));
}

TDateTime GFixedNow = 0;
TDateTime FixedNow() { return GFixedNow; }

class DirReaderTest : public ::testing::Test {
protected:
    void SetUp() override {
        static int counter = 0;
        wchar_t temp[MAX_PATH + 1] = {};
        ::GetTempPathW(MAX_PATH + 1, temp);
        Root = std::wstring(temp) + L"DirReaderTests-" + std::to_wstring(::GetCurrentProcessId()) + L"-" +
               std::to_wstring(++counter) + L"\\";
        ASSERT_TRUE(::CreateDirectoryW(Root.c_str(), nullptr)) << "cannot create " << Root;
        Attach(Reader);
    }

    void TearDown() override {
        SetClockForTesting(nullptr, nullptr);
        SetProcessMessagesHandler(nullptr);
        RemoveTree(Root);
        EXPECT_FALSE(Exists(Root)) << "left behind: " << Root;
    }

    // Creates the folders of Rel below Root; returns the full path with a trailing backslash.
    std::wstring MakeDir(const std::wstring& rel) {
        std::wstring path = Root;
        size_t start = 0;
        while (start < rel.size()) {
            size_t end = rel.find(L'\\', start);
            if (end == std::wstring::npos) end = rel.size();
            path += rel.substr(start, end - start) + L"\\";
            ::CreateDirectoryW(Sys(path).c_str(), nullptr);
            start = end + 1;
        }
        return path;
    }

    // Creates an empty file (and its folders) below Root; returns the full path.
    std::wstring MakeFile(const std::wstring& rel) {
        const size_t slash = rel.rfind(L'\\');
        if (slash != std::wstring::npos) MakeDir(rel.substr(0, slash));
        const std::wstring path = Root + rel;
        THandle file(::CreateFileW(Sys(path).c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr));
        EXPECT_TRUE(file.Valid()) << "cannot create " << path;
        return path;
    }

    std::wstring Rel(const std::wstring& path) const {
        return path.starts_with(Root) ? path.substr(Root.size()) : L"<outside> " + path;
    }

    // Records events as "D rel\", "F rel" and "END", relative to Root.
    void Attach(TDirReader& reader) {
        reader.OnDirectory = [this](TDirReader* sender, const std::wstring& name) {
            EXPECT_EQ(sender, &Reader);
            EXPECT_TRUE(sender->Active());
            Events.push_back(L"D " + Rel(name));
        };
        reader.OnFile = [this](TDirReader* sender, const std::wstring& name) {
            EXPECT_TRUE(sender->Active());
            Events.push_back(L"F " + Rel(name));
        };
        reader.OnFinished = [this](TDirReader* sender) {
            EXPECT_FALSE(sender->Active());
            Events.push_back(L"END");
        };
    }

    std::vector<std::wstring> Walk(const std::wstring& dir, const std::wstring& mask = L"*.*", bool recursive = true) {
        Events.clear();
        Reader.FileMask = mask;
        Reader.Recursive = recursive;
        Reader.SetDirectory(dir);
        Reader.Start();
        EXPECT_FALSE(Reader.Active());
        return Events;
    }

    // The file names reported, sorted.
    std::vector<std::wstring> Files() const {
        std::vector<std::wstring> files;
        for (const auto& e : Events)
            if (e.starts_with(L"F ")) files.push_back(e.substr(2));
        std::sort(files.begin(), files.end());
        return files;
    }

    std::vector<std::wstring> Dirs() const {
        std::vector<std::wstring> dirs;
        for (const auto& e : Events)
            if (e.starts_with(L"D ")) dirs.push_back(e.substr(2));
        std::sort(dirs.begin(), dirs.end());
        return dirs;
    }

    int Count(const std::wstring& event) const { return static_cast<int>(std::count(Events.begin(), Events.end(), event)); }

    std::wstring Root;
    TDirReader Reader;
    std::vector<std::wstring> Events;
};

using Names = std::vector<std::wstring>;

void ExpectAssertion(const std::wstring& text, const std::function<void()>& action) {
    try {
        action();
        ADD_FAILURE() << "no assertion failure, expected " << text;
    } catch (const EAssertionFailed& e) {
        EXPECT_EQ(e.Message(), text);
    }
}

}  // namespace

// --- Properties and misuse ---

TEST(DirReaderProperties, StartsIdleAndKeepsTheAbsoluteAccessAge) {
    TDirReader reader;
    EXPECT_EQ(reader.Directory(), L"");
    EXPECT_EQ(reader.FileMask, L"");
    EXPECT_FALSE(reader.Active());
    EXPECT_FALSE(reader.Recursive);
    EXPECT_EQ(reader.MinWriteAge, 0);
    EXPECT_EQ(reader.MinAccessAge(), 0);
    EXPECT_TRUE(reader.ExcludedDirectories().empty());

    reader.SetMinAccessAge(-604800);
    EXPECT_EQ(reader.MinAccessAge(), 604800);
    reader.SetMinAccessAge(3600);
    EXPECT_EQ(reader.MinAccessAge(), 3600);
    reader.SetMinAccessAge(INT32_MIN);  // has no positive counterpart
    EXPECT_EQ(reader.MinAccessAge(), INT32_MAX);

    // A reader that never got a directory refuses to start and fires nothing.
    bool finished = false;
    reader.OnFinished = [&](TDirReader*) { finished = true; };
    ExpectAssertion(L"目录不存在", [&] { reader.Start(); });
    EXPECT_FALSE(reader.Active());
    EXPECT_FALSE(finished);
}

TEST_F(DirReaderTest, DirectoryIsNormalisedAndMisuseLeavesTheReaderUnchanged) {
    const std::wstring sub = MakeDir(L"Sub");
    Reader.SetDirectory(sub.substr(0, sub.size() - 1));
    EXPECT_EQ(Reader.Directory(), sub);

    ExpectAssertion(L"目录不存在", [&] { Reader.SetDirectory(L""); });
    ExpectAssertion(L"目录不存在", [&] { Reader.SetDirectory(Root + L"Missing"); });
    ExpectAssertion(L"目录不存在", [&] { Reader.SetDirectory(MakeFile(L"a.txt")); });
    EXPECT_EQ(Reader.Directory(), sub);

    // The stored value changes with letter case alone.
    std::wstring lower = sub;
    std::transform(lower.begin(), lower.end(), lower.begin(), [](wchar_t c) { return c >= L'A' && c <= L'Z' ? c + 32 : c; });
    Reader.SetDirectory(lower);
    EXPECT_EQ(Reader.Directory(), lower);

    // The root disappears after it was set: starting is refused before anything happens.
    ASSERT_TRUE(::RemoveDirectoryW(sub.c_str()));
    Events.clear();
    ExpectAssertion(L"目录不存在", [&] { Reader.Start(); });
    EXPECT_FALSE(Reader.Active());
    EXPECT_TRUE(Events.empty());
}

TEST_F(DirReaderTest, DirectoryCannotChangeDuringAWalk) {
    MakeFile(L"a.txt");
    const std::wstring other = MakeDir(L"Other");
    Reader.OnFile = [&](TDirReader* sender, const std::wstring&) { sender->SetDirectory(other); };
    Reader.FileMask = L"*.*";
    Reader.SetDirectory(Root);
    ExpectAssertion(L"使用时无法更改目录", [&] { Reader.Start(); });
    EXPECT_EQ(Reader.Directory(), Root);
    EXPECT_EQ(Count(L"END"), 1);
    EXPECT_FALSE(Reader.Active());
}

// --- The walk ---

TEST_F(DirReaderTest, WalksPreOrderDepthFirstWithFullPaths) {
    MakeFile(L"f1.txt");
    MakeFile(L"A\\f2.txt");
    MakeFile(L"A\\B\\f3.log");
    MakeDir(L"A\\B\\C");
    MakeFile(L"A\\noext");
    MakeFile(L"D\\f4.dat");
    ::SetFileAttributesW((Root + L"A\\f2.txt").c_str(), FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_SYSTEM | FILE_ATTRIBUTE_READONLY);

    std::vector<std::wstring> paths;
    Reader.OnFile = [&](TDirReader*, const std::wstring& name) {
        paths.push_back(name);
        Events.push_back(L"F " + Rel(name));
    };
    Walk(Root.substr(0, Root.size() - 1));

    ASSERT_FALSE(Events.empty());
    EXPECT_EQ(Events.front(), L"D ");
    EXPECT_EQ(Events.back(), L"END");
    EXPECT_EQ(Count(L"END"), 1);
    EXPECT_EQ(Dirs(), (Names{L"", L"A\\", L"A\\B\\", L"A\\B\\C\\", L"D\\"}));
    EXPECT_EQ(Files(), (Names{L"A\\B\\f3.log", L"A\\f2.txt", L"A\\noext", L"D\\f4.dat", L"f1.txt"}));
    for (const auto& path : paths) EXPECT_TRUE(Exists(path)) << path;

    // Pre-order, depth first: a directory's event comes before everything below
    // it, and everything between them lies below it too.
    for (size_t i = 1; i + 1 < Events.size(); ++i) {
        std::wstring rel = Events[i].substr(2);
        if (rel.ends_with(L'\\')) rel.pop_back();
        const std::wstring parent = rel.substr(0, rel.rfind(L'\\') + 1);
        const auto at = std::find(Events.begin(), Events.end(), L"D " + parent);
        ASSERT_TRUE(at < Events.begin() + i) << "parent after " << Events[i];
        for (auto between = at + 1; between != Events.begin() + i; ++between)
            EXPECT_TRUE(between->substr(2).starts_with(parent)) << *between << " interrupts " << parent;
    }
}

TEST_F(DirReaderTest, NonRecursiveReportsOnlyTheRootsFiles) {
    MakeFile(L"a.txt");
    MakeFile(L"b");
    MakeFile(L"Sub\\c.txt");
    Walk(Root, L"*.*", false);
    EXPECT_EQ(Dirs(), (Names{L""}));
    EXPECT_EQ(Files(), (Names{L"a.txt", L"b"}));
    EXPECT_EQ(Count(L"END"), 1);
}

TEST_F(DirReaderTest, FileMaskFiltersByExtensionOnly) {
    for (const wchar_t* name : {L"a.TMP", L"b.tmp", L"c.tmp.bak", L"d.tmpx", L"noext", L"Sub\\e.Tmp", L"Sub\\f"})
        MakeFile(name);

    Walk(Root, L"*.tmp");
    EXPECT_EQ(Files(), (Names{L"Sub\\e.Tmp", L"a.TMP", L"b.tmp"}));
    EXPECT_EQ(Dirs(), (Names{L"", L"Sub\\"}));

    // Only the extension counts: the name part of the mask is not matched.
    Walk(Root, L"zzz.TMP");
    EXPECT_EQ(Files(), (Names{L"Sub\\e.Tmp", L"a.TMP", L"b.tmp"}));

    // The initial, empty mask reports the files without an extension.
    Walk(Root, L"");
    EXPECT_EQ(Files(), (Names{L"Sub\\f", L"noext"}));
}

// --- Excluded directories ---

TEST_F(DirReaderTest, ExcludedRootFiresOnlyOnFinished) {
    MakeFile(L"a.txt");
    MakeFile(L"Sub\\b.txt");
    std::wstring entry = Root.substr(0, Root.size() - 1);
    std::transform(entry.begin(), entry.end(), entry.begin(), [](wchar_t c) { return c >= L'A' && c <= L'Z' ? c + 32 : c; });
    Reader.ExcludedDirectories() = {Root + L"Other", entry};
    EXPECT_EQ(Walk(Root), (Names{L"END"}));
}

TEST_F(DirReaderTest, ExclusionMatchesTheExactDirectoryInAnyCase) {
    MakeFile(L"Temp\\a.tmp");
    MakeFile(L"Temp\\Deeper\\b.tmp");
    MakeFile(L"Temp2\\c.tmp");
    MakeFile(L"X\\Temp\\d.tmp");  // same name elsewhere
    MakeFile(L"e.tmp");
    std::wstring entry = Root + L"temp";
    std::transform(entry.begin(), entry.end(), entry.begin(), [](wchar_t c) { return c >= L'a' && c <= L'z' ? c - 32 : c; });
    Reader.ExcludedDirectories() = {entry};

    Walk(Root);
    EXPECT_EQ(Dirs(), (Names{L"", L"Temp2\\", L"X\\", L"X\\Temp\\"}));
    EXPECT_EQ(Files(), (Names{L"Temp2\\c.tmp", L"X\\Temp\\d.tmp", L"e.tmp"}));

    // An entry with its trailing backslash names the same directory.
    Reader.ExcludedDirectories() = {Root + L"X\\TEMP\\"};
    Walk(Root);
    EXPECT_EQ(Files(), (Names{L"Temp2\\c.tmp", L"Temp\\Deeper\\b.tmp", L"Temp\\a.tmp", L"e.tmp"}));
}

// The walk reports long names from the root and never passes a link; an excluded
// folder holds in whatever spelling it was typed or handed out, and is kept as typed.
TEST_F(DirReaderTest, ExclusionHoldsInEverySpellingOfTheFolder) {
    MakeFile(L"Long folder name\\a.tmp");
    MakeFile(L"Long folder name\\Deeper\\b.tmp");
    MakeFile(L"Ελληνικά\\c.tmp");
    MakeFile(L"other.tmp");
    const std::wstring folder = Root + L"Long folder name";
    std::wstring forward = folder;
    std::replace(forward.begin(), forward.end(), L'\\', L'/');
    Names spellings = {
        folder + L"\\\\",
        forward,
        Root + L"Ελληνικά\\..\\Long folder name",
        Root + L".\\Long folder name\\.",
        Root.substr(0, Root.size() - 1) + L"\\\\Long folder name",
    };
    wchar_t shortName[MAX_PATH] = {};
    const DWORD shortLength = ::GetShortPathNameW(folder.c_str(), shortName, MAX_PATH);
    // Volumes without 8.3 names give none (Wine always does).
    if (shortLength > 0 && shortLength < MAX_PATH && folder != shortName) spellings.push_back(shortName);
    for (const auto& spelling : spellings) {
        Reader.ExcludedDirectories() = {spelling};
        Walk(Root);
        EXPECT_EQ(Files(), (Names{L"other.tmp", L"Ελληνικά\\c.tmp"})) << testing::PrintToString(spelling);
        EXPECT_EQ(Reader.ExcludedDirectories(), Names{spelling});
    }

    // Letter case beyond a-z.
    Reader.ExcludedDirectories() = {Root + L"ελληνικά"};
    Walk(Root);
    EXPECT_EQ(Files(), (Names{L"Long folder name\\Deeper\\b.tmp", L"Long folder name\\a.tmp", L"other.tmp"}));
}

TEST_F(DirReaderTest, ExclusionTypedThroughALinkHoldsWhereTheLinkLeads) {
    MakeFile(L"Target\\inside.txt");
    MakeFile(L"plain.txt");
    if (!MakeSymbolicLink(Root + L"Link", L"Target", true)) GTEST_SKIP() << "cannot create a directory link here";
    Reader.ExcludedDirectories() = {Root + L"Link\\"};
    Walk(Root);
    EXPECT_EQ(Dirs(), (Names{L""}));
    EXPECT_EQ(Files(), (Names{L"plain.txt"}));
}

// --- Ages ---

// The clock is fixed at a local wall-clock time; file times are set from local
// times the way the system converts them, so the ages are exact.
TEST_F(DirReaderTest, AgesAreWholeSecondsFromLocalTimeAtLeastTheMinimum) {
    const SYSTEMTIME now{2024, 5, 5, 10, 12, 0, 0, 0};  // Friday 10 May 2024, 12:00:00
    GFixedNow = EncodeDateTime(2024, 5, 10, 12, 0, 0, 0);
    SetClockForTesting(FixedNow, nullptr);
    const int64_t nowUtc = LocalToUtcTicks(now);

    const std::wstring accessed = MakeFile(L"accessed.txt");  // read 100 s ago, written 10 days ago
    const std::wstring written = MakeFile(L"written.txt");    // read 10 days ago, written 3600 s ago
    const std::wstring future = MakeFile(L"future.txt");      // both 2 days ahead
    SetTimes(accessed, nowUtc - 100 * TicksPerSecond, nowUtc - 10LL * Day * TicksPerSecond);
    SetTimes(written, nowUtc - 10LL * Day * TicksPerSecond, nowUtc - 3600 * TicksPerSecond);
    SetTimes(future, nowUtc + 2LL * Day * TicksPerSecond, nowUtc + 2LL * Day * TicksPerSecond);

    // The access filter ages a file from the latest of its times: accessed.txt
    // is 100 s old, written.txt 3600 s, future.txt two days.
    Reader.SetMinAccessAge(100);
    Walk(Root);
    EXPECT_EQ(Files(), (Names{L"accessed.txt", L"future.txt", L"written.txt"}));
    Reader.SetMinAccessAge(101);
    Walk(Root);
    EXPECT_EQ(Files(), (Names{L"future.txt", L"written.txt"}));
    Reader.SetMinAccessAge(3601);
    Walk(Root);
    EXPECT_EQ(Files(), (Names{L"future.txt"}));
    Reader.SetMinAccessAge(-2 * Day);  // as 2 days
    Walk(Root);
    EXPECT_EQ(Files(), (Names{L"future.txt"}));
    Reader.SetMinAccessAge(2 * Day + 1);
    Walk(Root);
    EXPECT_TRUE(Files().empty());

    Reader.SetMinAccessAge(0);
    Reader.MinWriteAge = 3600;
    Walk(Root);
    EXPECT_EQ(Files(), (Names{L"accessed.txt", L"future.txt", L"written.txt"}));
    Reader.MinWriteAge = 3601;
    Walk(Root);
    EXPECT_EQ(Files(), (Names{L"accessed.txt", L"future.txt"}));

    // Both filters apply.
    Reader.MinWriteAge = 3600;
    Reader.SetMinAccessAge(101);
    Walk(Root);
    EXPECT_EQ(Files(), (Names{L"future.txt", L"written.txt"}));
}

TEST_F(DirReaderTest, AgesKeepTheFileTimesFullPrecision) {
    const SYSTEMTIME now{2024, 5, 5, 10, 12, 0, 0, 0};  // an even second, where two-second rounding loses most
    GFixedNow = EncodeDateTime(2024, 5, 10, 12, 0, 0, 0);
    SetClockForTesting(FixedNow, nullptr);
    const int64_t nowUtc = LocalToUtcTicks(now);
    // One tick short of 100 s and of 3600 s.
    SetTimes(MakeFile(L"used.txt"), nowUtc - 100 * TicksPerSecond + 1, nowUtc - 3600 * TicksPerSecond + 1);
    SetTimes(MakeFile(L"older.txt"), nowUtc - 100 * TicksPerSecond, nowUtc - 3600 * TicksPerSecond);

    Reader.SetMinAccessAge(100);
    Walk(Root);
    EXPECT_EQ(Files(), (Names{L"older.txt"}));
    Reader.SetMinAccessAge(0);
    Reader.MinWriteAge = 3600;
    Walk(Root);
    EXPECT_EQ(Files(), (Names{L"older.txt"}));
}

TEST_F(DirReaderTest, AccessFilterAgesAFileFromItsLatestTime) {
    const int64_t now = UtcNowTicks();
    // Where access times are not kept up to date, a file written just now shows an old access.
    SetTimes(MakeFile(L"written-now.bak"), now - 40LL * Day * TicksPerSecond, now);
    SetTimes(MakeFile(L"untouched.bak"), now - 40LL * Day * TicksPerSecond, now - 40LL * Day * TicksPerSecond);
    Reader.SetMinAccessAge(7 * Day);
    Walk(Root);
    EXPECT_EQ(Files(), (Names{L"untouched.bak"}));
}

TEST_F(DirReaderTest, FutureAccessTimeCountsAsThatLongAgo) {
    const int64_t now = UtcNowTicks();
    SetTimes(MakeFile(L"future.txt"), now + 2LL * Day * TicksPerSecond, now + 2LL * Day * TicksPerSecond);
    SetTimes(MakeFile(L"weekold.txt"), now - 8LL * Day * TicksPerSecond, now - 8LL * Day * TicksPerSecond);
    SetTimes(MakeFile(L"fresh.txt"), now, now);

    Reader.SetMinAccessAge(Day);
    Walk(Root);
    EXPECT_EQ(Files(), (Names{L"future.txt", L"weekold.txt"}));
    Reader.SetMinAccessAge(-604800);
    Walk(Root);
    EXPECT_EQ(Files(), (Names{L"weekold.txt"}));
}

// --- Ending a walk ---

TEST_F(DirReaderTest, StopFromOnFileEndsTheWalkBeforeTheNextEntry) {
    for (const wchar_t* name : {L"a.txt", L"b.txt", L"c.txt", L"Sub\\d.txt", L"Sub\\e.txt"}) MakeFile(name);
    // Once stopped, the reader is idle, so Start runs a walk of its own nested
    // here; that one stops at its first file too, and so on, three deep.
    int depth = 0;
    Reader.OnFile = [&](TDirReader* sender, const std::wstring& name) {
        Events.push_back(L"F " + Rel(name));
        sender->Stop();
        EXPECT_FALSE(sender->Active());
        if (++depth < 3) sender->Start();
    };
    Walk(Root);
    // Three walks, each ended by its first file; the innermost finishes first.
    EXPECT_EQ(Count(L"END"), 3);
    EXPECT_EQ(Files().size(), 3u);
    EXPECT_EQ(Events.back(), L"END");

    // Stopped once, the reader walks the whole tree the next time.
    Attach(Reader);
    Walk(Root);
    EXPECT_EQ(Files().size(), 5u);
}

TEST_F(DirReaderTest, StartDuringAWalkDoesNothing) {
    MakeFile(L"a.txt");
    MakeFile(L"b.txt");
    Reader.OnFile = [&](TDirReader* sender, const std::wstring& name) {
        Events.push_back(L"F " + Rel(name));
        sender->Start();
    };
    Walk(Root);
    EXPECT_EQ(Files(), (Names{L"a.txt", L"b.txt"}));
    EXPECT_EQ(Count(L"END"), 1);
}

namespace {
TDirReader* GStoppedReader = nullptr;
int GPumps = 0;
void PumpThatStops() {
    ++GPumps;
    GStoppedReader->Stop();
}
}  // namespace

// A window command (here: the message pump itself) stops the walk; a new walk
// started afterwards from that command runs to its end inside the old one.
TEST_F(DirReaderTest, StopFromAWindowCommandEndsTheWalk) {
    for (int i = 0; i < 20; ++i) MakeFile(L"Sub\\f" + std::to_wstring(i) + L".txt");
    GStoppedReader = &Reader;
    GPumps = 0;
    SetProcessMessagesHandler(PumpThatStops);
    Walk(Root);
    SetProcessMessagesHandler(nullptr);
    EXPECT_GE(GPumps, 1);
    EXPECT_LE(Files().size(), 1u);
    EXPECT_EQ(Count(L"END"), 1);

    // The setup window's way: stop, point at another folder, start again.
    const std::wstring other = MakeDir(L"Other");
    MakeFile(L"Other\\x.txt");
    bool restarted = false;
    Reader.OnFile = [&](TDirReader* sender, const std::wstring& name) {
        Events.push_back(L"F " + Rel(name));
        if (restarted) return;
        restarted = true;
        sender->Stop();
        sender->SetDirectory(other);
        sender->Start();
    };
    Walk(Root + L"Sub");
    EXPECT_EQ(Count(L"END"), 2);
    EXPECT_EQ(Count(L"D Other\\"), 1);
    EXPECT_EQ(Count(L"F Other\\x.txt"), 1);
    EXPECT_EQ(Events.back(), L"END");
}

TEST_F(DirReaderTest, HandlerExceptionEndsTheWalkFinishesAndReachesTheCaller) {
    MakeFile(L"a.txt");
    MakeFile(L"Sub\\Deeper\\b.txt");
    Reader.OnDirectory = [&](TDirReader*, const std::wstring& name) {
        Events.push_back(L"D " + Rel(name));
        if (name.ends_with(L"Deeper\\")) throw Exception(L"处理程序失败");
    };
    Reader.SetDirectory(Root);
    Reader.Recursive = true;
    Reader.FileMask = L"*.*";
    try {
        Reader.Start();
        ADD_FAILURE() << "the handler's exception was lost";
    } catch (const Exception& e) {
        EXPECT_EQ(e.Message(), L"处理程序失败");
        Events.push_back(L"caught");
    }
    ASSERT_GE(Events.size(), 3u);
    EXPECT_EQ(Events[Events.size() - 2], L"END");
    EXPECT_EQ(Events.back(), L"caught");
    EXPECT_EQ(Count(L"END"), 1);
    EXPECT_EQ(Count(L"F Sub\\Deeper\\b.txt"), 0);
    EXPECT_FALSE(Reader.Active());

    Attach(Reader);
    Walk(Root);
    EXPECT_EQ(Files(), (Names{L"Sub\\Deeper\\b.txt", L"a.txt"}));
}

TEST_F(DirReaderTest, DirectoryThatCannotBeListedIsPassedOver) {
    MakeDir(L"A");
    MakeDir(L"Gone");
    MakeFile(L"Z\\z.txt");
    MakeFile(L"a.txt");
    // Threads listing ahead may have listed the folder already, or hold it open
    // while the handler removes it: the walk's own listing is what is tested here.
    Reader.Threads = 1;
    Reader.OnDirectory = [&](TDirReader*, const std::wstring& name) {
        Events.push_back(L"D " + Rel(name));
        // Gone between the parent's listing and its own.
        if (name.ends_with(L"Gone\\")) {
            EXPECT_TRUE(::RemoveDirectoryW(name.c_str()));
        }
    };
    Walk(Root);
    EXPECT_EQ(Dirs(), (Names{L"", L"A\\", L"Gone\\", L"Z\\"}));
    EXPECT_EQ(Files(), (Names{L"Z\\z.txt", L"a.txt"}));
    EXPECT_EQ(Count(L"END"), 1);
}

// --- Links and long paths ---

TEST_F(DirReaderTest, LinkedDirectoryIsNeitherEnteredNorReported) {
    MakeFile(L"Target\\inside.txt");
    MakeFile(L"plain.txt");
    if (!MakeSymbolicLink(Root + L"Link", L"Target", true)) GTEST_SKIP() << "cannot create a directory link here";
    const bool fileLink = MakeSymbolicLink(Root + L"filelink.txt", L"plain.txt", false);

    Walk(Root);
    EXPECT_EQ(Dirs(), (Names{L"", L"Target\\"}));
    Names expected{L"Target\\inside.txt", L"plain.txt"};
    if (fileLink) expected.insert(expected.begin() + 1, L"filelink.txt");  // links to files are files
    EXPECT_EQ(Files(), expected);
    // Wine lists it as a plain file, so the clean-up could not tell it from one.
    if (fileLink) EXPECT_TRUE(RemoveSymbolicLink(Root + L"filelink.txt"));
}

TEST_F(DirReaderTest, WalksPathsLongerThanMaxPath) {
    const std::wstring segment(60, L'x');
    std::wstring rel;
    for (int level = 0; level < 6; ++level) rel += segment + std::to_wstring(level) + L"\\";
    const std::wstring deepest = MakeDir(rel.substr(0, rel.size() - 1));
    ASSERT_GT(deepest.size(), static_cast<size_t>(MAX_PATH));
    MakeFile(rel + L"deep.txt");
    MakeFile(rel + L"Below\\deeper.txt");
    ASSERT_TRUE(Exists(deepest + L"deep.txt"));

    Walk(Root);
    EXPECT_EQ(Files(), (Names{rel + L"Below\\deeper.txt", rel + L"deep.txt"}));
    EXPECT_EQ(Dirs().size(), 8u);  // the root, six levels and Below
    for (const auto& e : Events) EXPECT_EQ(e.find(L"\\\\?\\"), std::wstring::npos) << e;

    // A long root is accepted and walked as well.
    Walk(deepest.substr(0, deepest.size() - 1));
    EXPECT_EQ(Files(), (Names{rel + L"Below\\deeper.txt", rel + L"deep.txt"}));
    EXPECT_EQ(Reader.Directory(), deepest);
}

// --- Folders listed ahead on several threads ---

namespace {

// What a reading pass gives: every event in order, and each action's found list.
struct TPassRecord {
    Names Events;
    std::vector<Names> Found;
    bool operator==(const TPassRecord&) const = default;
};

// The catalogue's file-mask actions, which take files by name anywhere
// (*.tmp, *.bak, ...) and everything below the temporary folder the tests use.
std::unique_ptr<TCleanupList> CatalogueActions() {
    auto list = std::make_unique<TCleanupList>();
    for (const auto& row : CleanupCatalogue())
        if (row.ItemClass.IsAvailable()) list->AddAction(row.ItemClass, false);
    return list;
}

std::vector<Names> FoundLists(TCleanupList& list) {
    std::vector<Names> found;
    for (int i = 0; i < list.Count(); ++i)
        if (auto* item = dynamic_cast<TCleanupFileMaskItem*>(&list.Items(i)))
            found.emplace_back(item->FoundFiles.begin(), item->FoundFiles.end());
    return found;
}

}  // namespace

class ReadAheadTest : public DirReaderTest {
protected:
    // A tree drawn from Seed below Root\Name: folders up to four deep, names the
    // actions take and others, in mixed case, some files used an hour ago and
    // some a month ago. Returns its folders, the top one first.
    Names MakeRandomTree(const std::wstring& name, unsigned seed) {
        std::mt19937 random(seed);
        const wchar_t* stems[] = {L"report", L"Thumbs", L"~$letter", L"setup", L"Data", L"x"};
        const wchar_t* extensions[] = {L".tmp", L".BAK", L".old", L".txt", L".db", L".doc", L".gid", L""};
        Names folders{MakeDir(name)};
        const int64_t now = UtcNowTicks();
        for (size_t i = 0; i < folders.size() && folders.size() < 60; ++i) {
            const std::wstring folder = folders[i];
            const size_t depth = std::count(folder.begin() + Root.size(), folder.end(), L'\\');
            const int files = static_cast<int>(random() % 7);
            for (int f = 0; f < files; ++f) {
                const std::wstring file = folder + stems[random() % 6] + std::to_wstring(f) + extensions[random() % 8];
                THandle made(::CreateFileW(Sys(file).c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr));
                made.Reset();
                const int64_t age = (random() % 2 ? 3600 : 30 * Day) * TicksPerSecond;
                SetTimes(file, now - age, now - age);
            }
            const int subfolders = depth < 3 ? 2 + static_cast<int>(random() % 2) : depth < 5 ? static_cast<int>(random() % 3) : 0;
            for (int d = 0; d < subfolders; ++d)
                folders.push_back(MakeDir(Rel(folder) + (random() % 2 ? L"Sub" : L"temp") + std::to_wstring(d)));
        }
        return folders;
    }

    // A reading pass as the main window runs it, on Threads threads; Stop,
    // when given, is asked after every event and ends the walk when it answers true.
    TPassRecord Pass(const std::wstring& dir, int threads, int32_t minAccessAge = 0,
                     std::function<bool(const Names&)> stop = nullptr) {
        auto list = CatalogueActions();
        TPassRecord record;
        TDirReader reader;
        reader.Threads = threads;
        reader.Recursive = true;
        reader.FileMask = L"*.*";
        reader.SetMinAccessAge(minAccessAge);
        reader.ExcludedDirectories() = Reader.ExcludedDirectories();
        reader.OnDirectory = [&](TDirReader* sender, const std::wstring& name) {
            record.Events.push_back(L"D " + Rel(name));
            if (stop && stop(record.Events)) sender->Stop();
        };
        reader.OnFile = [&](TDirReader* sender, const std::wstring& name) {
            const TFileTimes& times = sender->CurrentFileTimes();
            record.Events.push_back(L"F " + Rel(name) + L" " + std::to_wstring(times.LastAccess.dwLowDateTime));
            list->AddFoundFile(name, L"None", &times);
            if (stop && stop(record.Events)) sender->Stop();
        };
        reader.OnFinished = [&](TDirReader*) { record.Events.push_back(L"END"); };
        reader.SetDirectory(dir);
        reader.Start();
        record.Found = FoundLists(*list);
        return record;
    }
};

// The same trees, read on one thread and on several: the same events in the
// same order, the same found lists, with excluded folders (typed in another
// case, one inside another) and the age filter of the protection modes.
TEST_F(ReadAheadTest, SeveralThreadsGiveTheSamePassAsOne) {
    for (unsigned seed : {1u, 2u, 3u}) {
        const std::wstring name = L"Tree" + std::to_wstring(seed);
        const Names folders = MakeRandomTree(name, seed);
        ASSERT_GE(folders.size(), 10u) << "seed " << seed;
        std::wstring upper = folders[folders.size() / 2];
        std::transform(upper.begin(), upper.end(), upper.begin(), [](wchar_t c) { return c >= L'a' && c <= L'z' ? c - 32 : c; });
        Reader.ExcludedDirectories() = {upper, folders[folders.size() / 3], folders.back() + L"Missing"};
        for (int32_t age : {0, Day}) {
            const TPassRecord one = Pass(Root + name, 1, age);
            ASSERT_GT(one.Events.size(), 20u);
            EXPECT_EQ(std::count(one.Events.begin(), one.Events.end(), L"D " + Rel(folders[folders.size() / 3])), 0);
            for (int threads : {2, 3, 8}) {
                const TPassRecord several = Pass(Root + name, threads, age);
                EXPECT_EQ(several.Events, one.Events) << "seed " << seed << ", " << threads << " threads, age " << age;
                EXPECT_EQ(several.Found, one.Found) << "seed " << seed << ", " << threads << " threads, age " << age;
            }
        }
    }
}

// Directory links (one back to the top, a loop) are neither entered nor
// reported; file links are files; on every thread count alike.
TEST_F(ReadAheadTest, LinksAreTreatedAlikeOnEveryThreadCount) {
    const Names folders = MakeRandomTree(L"Tree", 4);
    ASSERT_GE(folders.size(), 5u);
    if (!MakeSymbolicLink(folders[1] + L"Loop", L"..", true)) GTEST_SKIP() << "cannot create a directory link here";
    MakeFile(L"Tree\\Real\\inside.tmp");
    if (!MakeSymbolicLink(folders[0] + L"Across", L"Real", true)) {
        RemoveSymbolicLink(folders[1] + L"Loop");
        GTEST_SKIP() << "cannot create a second directory link here";
    }
    MakeFile(L"Tree\\plain.tmp");
    const bool fileLink = MakeSymbolicLink(folders[0] + L"link.tmp", L"plain.tmp", false);
    const TPassRecord one = Pass(Root + L"Tree", 1);
    EXPECT_EQ(std::count_if(one.Events.begin(), one.Events.end(), [](const std::wstring& e) {
                  return e.find(L"Loop") != std::wstring::npos || e.find(L"Across") != std::wstring::npos;
              }), 0);
    for (int threads : {2, 4}) {
        const TPassRecord several = Pass(Root + L"Tree", threads);
        EXPECT_EQ(several, one) << threads << " threads";
    }
    RemoveSymbolicLink(folders[1] + L"Loop");
    RemoveSymbolicLink(folders[0] + L"Across");
    if (fileLink) RemoveSymbolicLink(folders[0] + L"link.tmp");
}

// Stopped in the middle (at a file, at a folder, early and late): the events up
// to the stop are those of one thread, and nothing follows but the end.
TEST_F(ReadAheadTest, AStopInTheMiddleEndsAtTheSameEvent) {
    MakeRandomTree(L"Tree", 5);
    const TPassRecord whole = Pass(Root + L"Tree", 1);
    std::mt19937 random(5);
    for (int trial = 0; trial < 6; ++trial) {
        const size_t at = 1 + random() % (whole.Events.size() - 2);
        const auto stopAt = [at](const Names& events) { return events.size() == at; };
        const TPassRecord one = Pass(Root + L"Tree", 1, 0, stopAt);
        ASSERT_EQ(one.Events.size(), at + 1);
        EXPECT_EQ(one.Events.back(), L"END");
        const TPassRecord several = Pass(Root + L"Tree", 3, 0, stopAt);
        EXPECT_EQ(several, one) << "stopped at event " << at << ": " << whole.Events[at - 1];
    }
}

namespace {
TDirReader* GPumpedReader = nullptr;
uint64_t GStopTick = 0;
void PumpThatStopsOnce() {
    if (GStopTick != 0) return;
    GStopTick = ::GetTickCount64();
    GPumpedReader->Stop();
}
}  // namespace

// The drives of a complete scan: each walk takes up what was read ahead for it
// while the one before ran; a walk elsewhere starts afresh. A stop from the
// message pump ends the walk at once.
TEST_F(ReadAheadTest, FollowingDrivesAreReadAheadAndWalkedInTurn) {
    Names trees;
    for (unsigned seed : {6u, 7u, 8u}) {
        MakeRandomTree(L"Drive" + std::to_wstring(seed), seed);
        trees.push_back(Root + L"Drive" + std::to_wstring(seed));
    }
    const auto walkAll = [&](int threads, const Names& order) {
        Names events;
        TDirReader reader;
        reader.Threads = threads;
        reader.Recursive = true;
        reader.FileMask = L"*.*";
        reader.OnDirectory = [&](TDirReader*, const std::wstring& name) { events.push_back(L"D " + Rel(name)); };
        reader.OnFile = [&](TDirReader*, const std::wstring& name) { events.push_back(L"F " + Rel(name)); };
        size_t next = 0;
        reader.OnFinished = [&](TDirReader* sender) {
            events.push_back(L"END");
            if (++next == order.size()) return;
            sender->FollowingDirectories.assign(trees.begin() + static_cast<long>(next) + 1, trees.end());
            sender->SetDirectory(order[next]);
            sender->Start();
        };
        reader.FollowingDirectories.assign(trees.begin() + 1, trees.end());
        reader.SetDirectory(order[0]);
        reader.Start();
        return events;
    };
    const Names one = walkAll(1, trees);
    EXPECT_EQ(std::count(one.begin(), one.end(), L"END"), 3);
    EXPECT_EQ(walkAll(2, trees), one);
    EXPECT_EQ(walkAll(4, trees), one);
    // Not the order announced: the second walk cannot take up what was read.
    const Names swapped{trees[0], trees[2], trees[1]};
    EXPECT_EQ(walkAll(3, swapped), walkAll(1, swapped));

    TDirReader reader;
    reader.Threads = 3;
    reader.Recursive = true;
    reader.FileMask = L"*.*";
    int events = 0;
    reader.OnFile = [&](TDirReader*, const std::wstring&) { ++events; };
    reader.OnDirectory = [&](TDirReader*, const std::wstring&) { ++events; };
    GPumpedReader = &reader;
    GStopTick = 0;
    SetProcessMessagesHandler(PumpThatStopsOnce);
    reader.SetDirectory(trees[0]);
    reader.Start();
    SetProcessMessagesHandler(nullptr);
    EXPECT_NE(GStopTick, 0u);
    EXPECT_LE(events, 2);  // the top folder, and at most the entry handled before the first pump
    EXPECT_LT(::GetTickCount64() - GStopTick, 200u);
}

namespace {
// Fails the allocation at GFailAt once its count of calls there is reached.
std::string GFailAt;
std::atomic<int> GAllocationsLeft{0};
bool FailAllocation(const char* where) { return where == GFailAt && GAllocationsLeft.fetch_sub(1) <= 0; }
}  // namespace

// Out of memory while a read-ahead thread holds its lock (queueing the
// subfolders it found) or while it lists: the walk ends as the walk on its own
// thread ends when memory runs out there - std::bad_alloc reaches the caller
// of Start after OnFinished - and promptly, never waiting on the lock.
TEST_F(ReadAheadTest, OutOfMemoryInAReadAheadThreadEndsTheWalkAsOnOneThread) {
    const Names folders = MakeRandomTree(L"Oom", 9u);
    const auto walk = [&](int threads, const char* where) {
        GFailAt = where;
        GAllocationsLeft = 3;
        SetAllocationFailureForTesting(FailAllocation);
        TDirReader reader;
        reader.Threads = threads;
        reader.Recursive = true;
        reader.FileMask = L"*.*";
        int finished = 0;
        reader.OnFinished = [&](TDirReader* sender) {
            ++finished;
            EXPECT_FALSE(sender->Active());
        };
        reader.SetDirectory(folders[0]);
        const uint64_t start = ::GetTickCount64();
        bool outOfMemory = false;
        try {
            reader.Start();
        } catch (const std::bad_alloc&) {
            outOfMemory = true;
        }
        SetAllocationFailureForTesting(nullptr);
        EXPECT_EQ(finished, 1) << where;
        EXPECT_FALSE(reader.Active());
        EXPECT_LT(::GetTickCount64() - start, 5000u) << where;
        return outOfMemory;
    };
    EXPECT_TRUE(walk(1, "walk"));
    EXPECT_TRUE(walk(3, "read-ahead pending"));
    EXPECT_TRUE(walk(3, "read-ahead listing"));
    EXPECT_TRUE(walk(2, "read-ahead pending"));
}

// A hundred thousand excluded folders: each still keeps its folder out, in
// any letter case and with or without its backslash, a near name is walked,
// and the walk does not slow with their number (a linear look-up per folder
// made this minutes long).
TEST_F(ReadAheadTest, ManyExcludedFoldersKeepTheirMeaningAndCost) {
    MakeDir(L"Big\\Keep");
    MakeDir(L"Big\\keep2");
    MakeDir(L"Big\\Walked");
    ASSERT_TRUE(WriteTestFile(Root + L"Big\\Keep\\a.tmp", "k"));
    ASSERT_TRUE(WriteTestFile(Root + L"Big\\keep2\\b.tmp", "k"));
    ASSERT_TRUE(WriteTestFile(Root + L"Big\\Walked\\c.tmp", "w"));
    Names excluded;
    for (int i = 0; i < 100000; ++i) excluded.push_back(L"Q:\\nowhere\\" + std::to_wstring(i));
    excluded.push_back(Root + L"BIG\\KEEP");
    excluded.push_back(Root + L"big\\keep2\\");
    for (int threads : {1, 3}) {
        TDirReader reader;
        reader.Threads = threads;
        reader.Recursive = true;
        reader.FileMask = L"*.*";
        reader.ExcludedDirectories() = excluded;
        Names files;
        reader.OnFile = [&](TDirReader*, const std::wstring& name) { files.push_back(Rel(name)); };
        reader.SetDirectory(Root + L"Big");
        const uint64_t start = ::GetTickCount64();
        reader.Start();
        EXPECT_LT(::GetTickCount64() - start, 20000u);
        EXPECT_EQ(files, Names{L"Big\\Walked\\c.tmp"});
        EXPECT_EQ(reader.ExcludedDirectories(), excluded);  // as stored, in order
    }
}

// Stop while the excluded folders are being spelt out: the walk ends without
// reading anything, OnFinished comes once.
TEST_F(ReadAheadTest, StopWhileExcludedFoldersAreSpeltOutEndsTheWalk) {
    MakeDir(L"Spelt\\Sub");
    ASSERT_TRUE(WriteTestFile(Root + L"Spelt\\Sub\\a.tmp", "x"));
    Names excluded;
    for (int i = 0; i < 200000; ++i) excluded.push_back(Root + L"Spelt\\n" + std::to_wstring(i));
    TDirReader reader;
    reader.Recursive = true;
    reader.FileMask = L"*.*";
    reader.ExcludedDirectories() = excluded;
    int events = 0, finished = 0;
    reader.OnFile = [&](TDirReader*, const std::wstring&) { ++events; };
    reader.OnDirectory = [&](TDirReader*, const std::wstring&) { ++events; };
    reader.OnFinished = [&](TDirReader*) { ++finished; };
    GPumpedReader = &reader;
    GStopTick = 0;
    SetProcessMessagesHandler(PumpThatStopsOnce);
    reader.SetDirectory(Root + L"Spelt");
    reader.Start();
    SetProcessMessagesHandler(nullptr);
    ASSERT_NE(GStopTick, 0u);
    EXPECT_LT(::GetTickCount64() - GStopTick, 200u);
    EXPECT_EQ(events, 0);
    EXPECT_EQ(finished, 1);
}
