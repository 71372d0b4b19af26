// Decisions taken for a program that runs under Wine on Linux, tested through
// their pure parts: no test here walks or deletes where Wine reaches the Linux root.
#include "engine/SystemRoutines.h"
#include "SandboxTestSupport.h"

#include <gtest/gtest.h>

#include <algorithm>

TEST(WineHost, RecognisesWineAndLetsTestsDecide) {
    EXPECT_TRUE(RunningUnderWine()) << "these tests run under Wine";
    {
        TWineAnswerForTesting asOnWindows(false);
        EXPECT_FALSE(RunningUnderWine());
        EXPECT_FALSE(DriveReachesUnixRoot(L"C:\\"));
    }
    EXPECT_TRUE(RunningUnderWine());
}

TEST(WineHost, OnlyTheRootItselfIsTheUnixRoot) {
    for (const char* root : {"/", "//", "/.", "/./", "///."}) EXPECT_TRUE(IsUnixRootLocation(root)) << root;
    for (const char* other : {"", ".", "/home", "/home/me/", "/..", "/../", "relative", "/.hidden", "/tmp/."})
        EXPECT_FALSE(IsUnixRootLocation(other)) << other;
}

// The sandbox's C: is a folder of its own, never the root (the sandbox has no Z:).
TEST(WineHost, TheSandboxDrivesAreNotTheRoot) {
    const std::string unixC = WineUnixFileName(L"C:\\");
    ASSERT_FALSE(unixC.empty());
    EXPECT_NE(unixC.find("/build/wine-"), std::string::npos) << unixC;
    EXPECT_FALSE(DriveReachesUnixRoot(L"C:\\"));
}

// The filter is exercised by taking the sandbox's C: for the Linux root: the
// drive must then vanish from the fixed drives, and come back afterwards.
TEST(WineHost, ADriveAtTheLinuxRootIsNoFixedDrive) {
    std::vector<std::wstring> drives;
    GetFixedDrives(drives);
    ASSERT_FALSE(drives.empty());
    ASSERT_EQ(drives.front(), L"C:\\");
    SetUnixRootForTesting(WineUnixFileName(L"C:\\"));
    std::vector<std::wstring> withoutC;
    GetFixedDrives(withoutC);
    SetUnixRootForTesting("");
    EXPECT_EQ(std::count(withoutC.begin(), withoutC.end(), L"C:\\"), 0);
    EXPECT_EQ(withoutC.size() + 1, drives.size());
    GetFixedDrives(drives);
    EXPECT_EQ(drives.front(), L"C:\\");
}

TEST(WineHost, NamesNoWindowsNameCanHoldAreForeign) {
    for (const wchar_t* name : {L"..\\Documents", L"..\\..\\..", L"a/b", L"bad\uFFFDname.tmp", L"\\"})
        EXPECT_TRUE(IsForeignEntryName(name));
    for (const wchar_t* name : {L"report.doc", L"~$draft.doc", L"..", L".", L"中文 名.bak", L"emoji\U0001F600.tmp"})
        EXPECT_FALSE(IsForeignEntryName(name));
}

TEST(WineHost, PathsWithForeignCharactersAreNeverDeleted) {
    TScratchFolder scratch(L"wine");
    EXPECT_FALSE(DeleteFoundFile(scratch.Path() + L"bad\uFFFDname.tmp"));
    EXPECT_FALSE(DeleteFoundFile(scratch.Path() + L"a/b.tmp"));
    EXPECT_FALSE(RemoveEmptiedFolder(scratch.Path() + L"x\uFFFD"));
}
