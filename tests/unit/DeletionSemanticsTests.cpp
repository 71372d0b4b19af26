// How the deletion primitive marks an entry, and which entry it reaches: the
// POSIX form where the system has it, the classic form otherwise; names that
// Windows reads as devices or trims, reached as themselves.
#include "engine/OrvDirectoryReader.h"
#include "engine/SystemRoutines.h"
#include "platform/LongPath.h"
#include "SandboxTestSupport.h"

#include <gtest/gtest.h>
#include <windows.h>

#include <algorithm>
#include <string>
#include <vector>

namespace {

constexpr int ClassDispositionEx = 21, ClassDisposition = 4;

// What the stand-in for the system's call saw.
struct TDispositionCall {
    int InfoClass;
    DWORD Flags;  // FILE_DISPOSITION_INFO_EX's flags, or DeleteFile of the classic form
    ACCESS_MASK Granted;
    uint32_t Volume = 0;
};
std::vector<TDispositionCall> GCalls;
DWORD GExAnswer = 0;  // 0: the Ex form succeeds; otherwise the error it fails with

ACCESS_MASK GrantedAccess(HANDLE handle) {
    using TNtQueryObject = LONG(WINAPI*)(HANDLE, int, void*, ULONG, ULONG*);
    const auto query = reinterpret_cast<TNtQueryObject>(
        reinterpret_cast<void*>(::GetProcAddress(::GetModuleHandleW(L"ntdll.dll"), "NtQueryObject")));
    struct {
        ULONG Attributes;
        ACCESS_MASK GrantedAccess;
        ULONG Rest[12];
    } basic = {};
    return query && query(handle, 0 /* ObjectBasicInformation */, &basic, sizeof(basic), nullptr) >= 0
               ? basic.GrantedAccess
               : 0;
}

// As a Windows 10 system answers (GExAnswer 0) or an older one: the Ex form is
// recorded and answered, the classic form is the system's own.
int StandInDisposition(void* entry, int infoClass, void* info, unsigned long size) {
    const DWORD flags = *static_cast<const DWORD*>(info);
    GCalls.push_back({infoClass, flags, GrantedAccess(entry)});
    if (infoClass == ClassDispositionEx) {
        if (GExAnswer == 0) return 1;
        ::SetLastError(GExAnswer);
        return 0;
    }
    return ::SetFileInformationByHandle(entry, static_cast<FILE_INFO_BY_HANDLE_CLASS>(infoClass), info, size);
}

class DispositionTest : public ::testing::Test {
protected:
    void SetUp() override {
        GCalls.clear();
        GExAnswer = 0;
        SetDispositionCallForTesting(&StandInDisposition);
    }
    void TearDown() override { SetDispositionCallForTesting(nullptr); }

    int Count(int infoClass) const {
        return static_cast<int>(
            std::count_if(GCalls.begin(), GCalls.end(), [&](const auto& call) { return call.InfoClass == infoClass; }));
    }

    TScratchFolder Scratch{L"disposition"};
};

bool Exists(const std::wstring& path) {
    return ::GetFileAttributesW((L"\\\\?\\" + path).c_str()) != INVALID_FILE_ATTRIBUTES;
}

}  // namespace

TEST(DispositionEx, OnlyAnUnknownFormFallsBackForGood) {
    EXPECT_TRUE(DispositionExIsUnknown(ERROR_INVALID_PARAMETER));  // Windows before 10 1709, Wine 8
    EXPECT_TRUE(DispositionExIsUnknown(ERROR_NOT_SUPPORTED));
    EXPECT_TRUE(DispositionExIsUnknown(ERROR_INVALID_FUNCTION));
    EXPECT_FALSE(DispositionExIsUnknown(ERROR_ACCESS_DENIED));
    EXPECT_FALSE(DispositionExIsUnknown(ERROR_SHARING_VIOLATION));
    EXPECT_FALSE(DispositionExIsUnknown(ERROR_DIR_NOT_EMPTY));
}

// Windows 10 1709 and later: one call, with the POSIX flags, through a handle
// that never asked to write attributes - not even for a read-only file.
TEST_F(DispositionTest, WhereTheSystemHasThePosixFormOnlyThatIsUsed) {
    const std::wstring locked = Scratch.Path() + L"locked.bak";
    ASSERT_TRUE(WriteTestFile(locked, "r"));
    ::SetFileAttributesW(locked.c_str(), FILE_ATTRIBUTE_READONLY);
    EXPECT_TRUE(DeleteFoundFile(locked));  // the stand-in answers as the system would
    ASSERT_EQ(GCalls.size(), 1u);
    EXPECT_EQ(GCalls[0].InfoClass, ClassDispositionEx);
    EXPECT_EQ(GCalls[0].Flags, static_cast<DWORD>(FILE_DISPOSITION_FLAG_DELETE | FILE_DISPOSITION_FLAG_POSIX_SEMANTICS |
                                                  FILE_DISPOSITION_FLAG_IGNORE_READONLY_ATTRIBUTE));
    EXPECT_NE(GCalls[0].Granted & DELETE, 0u);
    EXPECT_EQ(GCalls[0].Granted & FILE_WRITE_ATTRIBUTES, 0u);
    EXPECT_NE(::GetFileAttributesW(locked.c_str()) & FILE_ATTRIBUTE_READONLY, 0u);  // never cleared
}

// A volume that knows neither POSIX form: 0x13, then 0x3 once; then the
// classic form, clearing a read-only attribute through a second handle that
// alone may write attributes.
TEST_F(DispositionTest, WithoutItTheClassicFormClearsReadOnlyAsBefore) {
    GExAnswer = ERROR_INVALID_PARAMETER;
    const std::wstring plain = Scratch.Path() + L"plain.tmp", locked = Scratch.Path() + L"locked.bak";
    ASSERT_TRUE(WriteTestFile(plain, "p"));
    ASSERT_TRUE(WriteTestFile(locked, "r"));
    ::SetFileAttributesW(locked.c_str(), FILE_ATTRIBUTE_READONLY);
    EXPECT_TRUE(DeleteFoundFile(plain));
    EXPECT_TRUE(DeleteFoundFile(locked));
    EXPECT_FALSE(PathExists(plain));
    EXPECT_FALSE(PathExists(locked));
    EXPECT_EQ(Count(ClassDispositionEx), 2);
    ASSERT_GE(GCalls.size(), 4u);
    EXPECT_EQ(GCalls[0].Flags, 0x13u);
    EXPECT_EQ(GCalls[1].Flags, 0x3u);
    EXPECT_EQ(GCalls[2].InfoClass, ClassDisposition);
    EXPECT_EQ(GCalls[2].Granted & FILE_WRITE_ATTRIBUTES, 0u);  // the plain file needed none
    EXPECT_NE(GCalls.back().Granted & FILE_WRITE_ATTRIBUTES, 0u);  // the read-only one, on the second handle
}

// A refusal of this one entry (in use, denied) is no answer about the system.
TEST_F(DispositionTest, ARefusedEntryFallsBackAloneAndTheNextTriesAgain) {
    GExAnswer = ERROR_ACCESS_DENIED;
    const std::wstring first = Scratch.Path() + L"first.tmp", second = Scratch.Path() + L"second.tmp";
    ASSERT_TRUE(WriteTestFile(first, "1"));
    ASSERT_TRUE(WriteTestFile(second, "2"));
    EXPECT_TRUE(DeleteFoundFile(first));
    EXPECT_TRUE(DeleteFoundFile(second));
    EXPECT_EQ(Count(ClassDispositionEx), 2);
    EXPECT_EQ(Count(ClassDisposition), 2);
}

namespace {

// Three volumes told apart by the folder a file lies in: "ntfs" (POSIX, both
// flag sets), "stick" (claims POSIX in its flags, refuses the form: a share or
// a driver that lies), "fat" (no POSIX flag), "v1709" (knows 0x3, not 0x13).
std::wstring HandlePath(void* entry) {
    wchar_t path[MAX_PATH * 2] = {};
    ::GetFinalPathNameByHandleW(entry, path, MAX_PATH * 2, 0);
    return path;
}

uint32_t VolumeOfPath(const std::wstring& path) {
    if (path.find(L"\\stick\\") != std::wstring::npos) return 2;
    if (path.find(L"\\fat\\") != std::wstring::npos) return 3;
    if (path.find(L"\\v1709\\") != std::wstring::npos) return 4;
    return 1;
}

int StandInVolume(void* entry, uint32_t& serial, uint32_t& flags) {
    serial = VolumeOfPath(HandlePath(entry));
    flags = FILE_CASE_SENSITIVE_SEARCH | (serial == 3 ? 0u : 0x400u /* FILE_SUPPORTS_POSIX_UNLINK_RENAME */);
    return 1;
}

int StandInVolumeDisposition(void* entry, int infoClass, void* info, unsigned long size) {
    const DWORD flags = *static_cast<const DWORD*>(info);
    const uint32_t volume = VolumeOfPath(HandlePath(entry));
    GCalls.push_back({infoClass, flags, 0, volume});
    if (infoClass == ClassDispositionEx) {
        if (volume == 2) {
            ::SetLastError(ERROR_NOT_SUPPORTED);
            return 0;
        }
        if (volume == 4 && flags == 0x13) {
            ::SetLastError(ERROR_INVALID_PARAMETER);
            return 0;
        }
    }
    return ::SetFileInformationByHandle(entry, static_cast<FILE_INFO_BY_HANDLE_CLASS>(infoClass), info, size) ||
           infoClass == ClassDispositionEx;  // Wine lacks the form the stand-in plays; the entry stays
}

}  // namespace

// One volume refusing the POSIX form leaves the others with it, whichever
// comes first; a volume without the flag is never asked; one that knows only
// 0x3 keeps it.
TEST(DispositionEx, EachVolumeKeepsItsOwnForm) {
    TScratchFolder scratch(L"volumes");
    const std::wstring root = scratch.Path();
    for (const wchar_t* folder : {L"ntfs", L"stick", L"fat", L"v1709"}) ASSERT_TRUE(CreateDirectoryTree(root + folder));
    GCalls.clear();
    SetDispositionCallForTesting(&StandInVolumeDisposition);
    SetVolumeQueryForTesting(&StandInVolume);
    for (const wchar_t* name : {L"stick\\a.tmp", L"ntfs\\a.tmp", L"stick\\b.tmp", L"fat\\a.tmp", L"v1709\\a.tmp",
                                L"v1709\\b.tmp", L"ntfs\\b.tmp"}) {
        ASSERT_TRUE(WriteTestFile(root + name, "x"));
        DeleteFoundFile(root + name);
    }
    SetDispositionCallForTesting(nullptr);
    SetVolumeQueryForTesting(nullptr);

    const auto callsOn = [](uint32_t volume) {
        std::vector<std::pair<int, DWORD>> calls;
        for (const auto& call : GCalls)
            if (call.Volume == volume) calls.emplace_back(call.InfoClass, call.InfoClass == ClassDisposition ? 0 : call.Flags);
        return calls;
    };
    using TCalls = std::vector<std::pair<int, DWORD>>;
    EXPECT_EQ(callsOn(1), (TCalls{{ClassDispositionEx, 0x13}, {ClassDispositionEx, 0x13}}));
    // Refused once (not supported): classic from then on, on that volume alone.
    EXPECT_EQ(callsOn(2), (TCalls{{ClassDispositionEx, 0x13}, {ClassDisposition, 0}, {ClassDisposition, 0}}));
    EXPECT_EQ(callsOn(3), (TCalls{{ClassDisposition, 0}}));
    EXPECT_EQ(callsOn(4), (TCalls{{ClassDispositionEx, 0x13}, {ClassDispositionEx, 0x3}, {ClassDispositionEx, 0x3}}));
    for (const wchar_t* name : {L"stick\\a.tmp", L"stick\\b.tmp", L"fat\\a.tmp"}) EXPECT_FALSE(PathExists(root + name));
}

// What Wine 8 itself answers, with no stand-in: it lacks the Ex form, and
// read-only files still go.
TEST(DispositionEx, TheSystemsOwnAnswerLeavesNoFileBehind) {
    TScratchFolder scratch(L"disposition");
    const std::wstring locked = scratch.Path() + L"locked.bak";
    ASSERT_TRUE(WriteTestFile(locked, "r"));
    ::SetFileAttributesW(locked.c_str(), FILE_ATTRIBUTE_READONLY);
    SetDispositionCallForTesting(nullptr);
    EXPECT_TRUE(DeleteFoundFile(locked));
    EXPECT_FALSE(PathExists(locked));
}

TEST(DeviceAndTrimmedNames, FoundPathsTakeTheLiteralFormOnlyWhenAlreadyNormal) {
    EXPECT_EQ(LiteralPath(L"C:\\t\\com3.old"), L"\\\\?\\C:\\t\\com3.old");
    EXPECT_EQ(LiteralPath(L"D:\\dir.\\name "), L"\\\\?\\D:\\dir.\\name ");
    EXPECT_EQ(LiteralPath(L"C:\\"), L"\\\\?\\C:\\");
    EXPECT_EQ(LiteralPath(L"\\\\server\\share\\nul.bak"), L"\\\\?\\UNC\\server\\share\\nul.bak");
    EXPECT_EQ(LiteralPath(L"\\\\?\\C:\\x"), L"\\\\?\\C:\\x");
    // Anything the system must still normalise keeps its plain form.
    for (const wchar_t* path : {L"C:\\a\\..\\b", L"C:\\a\\.\\b", L"C:\\a\\\\b", L"C:/a/b", L"a\\b", L"C:a", L""})
        EXPECT_EQ(LiteralPath(path), path);
}

// Names Windows reads as devices ("con.tmp", "com3.old") or trims ("name.",
// "name ", "dir."), made and found as they are, go as themselves; their plain
// neighbours ("name", "dir", "com3") stay.
TEST(DeviceAndTrimmedNames, TheWalkFindsThemAndThePrimitiveDeletesThemAsThemselves) {
    TScratchFolder scratch(L"names");
    const std::wstring root = scratch.Path();
    const std::wstring literal = L"\\\\?\\" + root;
    ASSERT_TRUE(::CreateDirectoryW((literal + L"dir").c_str(), nullptr));
    ASSERT_TRUE(::CreateDirectoryW((literal + L"dir.").c_str(), nullptr));
    const std::vector<std::wstring> junk = {L"con.tmp", L"nul.bak", L"com3.old", L"name.", L"name ", L"dir.\\junk.tmp"};
    const std::vector<std::wstring> kept = {L"name", L"com3", L"dir\\keep.tmp"};
    for (const auto& names : {junk, kept})
        for (const auto& name : names) {
            THandle file(::CreateFileW((literal + name).c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW, 0, nullptr));
            ASSERT_TRUE(file.Valid()) << "cannot make " << std::string(name.begin(), name.end());
            DWORD written = 0;
            ::WriteFile(file.Get(), name.data(), static_cast<DWORD>(name.size() * sizeof(wchar_t)), &written, nullptr);
        }

    TDirReader reader;
    std::vector<std::wstring> found;
    reader.OnFile = [&](TDirReader*, const std::wstring& path) { found.push_back(path.substr(root.size())); };
    reader.FileMask = L"*.*";
    reader.Recursive = true;
    reader.SetDirectory(root);
    reader.Start();
    std::sort(found.begin(), found.end());
    std::vector<std::wstring> all = junk;
    all.insert(all.end(), kept.begin(), kept.end());
    std::sort(all.begin(), all.end());
    EXPECT_EQ(found, all);

    for (const auto& name : junk) {
        TDeletedFile deleted;
        EXPECT_TRUE(DeleteFoundFile(root + name, &deleted)) << std::string(name.begin(), name.end());
        EXPECT_EQ(deleted.Size, name.size() * sizeof(wchar_t)) << std::string(name.begin(), name.end());
        EXPECT_FALSE(Exists(root + name)) << std::string(name.begin(), name.end());
    }
    EXPECT_TRUE(RemoveEmptiedFolder(root + L"dir.\\"));
    EXPECT_FALSE(Exists(root + L"dir."));
    for (const auto& name : kept) EXPECT_TRUE(Exists(root + name)) << std::string(name.begin(), name.end());
    EXPECT_TRUE(Exists(root + L"dir"));
    // "dir" is not empty, and the name "dir." no longer leads anywhere.
    EXPECT_FALSE(RemoveEmptiedFolder(root + L"dir.\\"));
    EXPECT_FALSE(DeleteFoundFile(root + L"name."));
    EXPECT_TRUE(Exists(root + L"name"));
}

// Wine names "copy." as "copy"; where "copy." is only another name of "copy"
// (or a link to it), that file is "copy"'s and keeps its content.
TEST(DeviceAndTrimmedNames, ANameLeadingToItsTrimmedNeighbourLeavesTheNeighbour) {
    TScratchFolder scratch(L"names");
    const std::wstring literal = L"\\\\?\\" + scratch.Path();
    ASSERT_TRUE(WriteTestFile(scratch.Path() + L"copy", "keep"));
    if (!::CreateHardLinkW((literal + L"copy.").c_str(), (literal + L"copy").c_str(), nullptr))
        GTEST_SKIP() << "the system cannot make a second name here";
    DeleteFoundFile(scratch.Path() + L"copy.");  // Windows deletes that name; Wine cannot tell it apart
    EXPECT_EQ(ReadTestFile(scratch.Path() + L"copy"), "keep");
}
