// Drives that are another name for a folder: the decision on the facts, and
// the facts the system gives for the sandbox's drives.
#include "engine/DriveAliases.h"
#include "engine/SystemRoutines.h"
#include "SandboxTestSupport.h"

#include <gtest/gtest.h>
#include <windows.h>

#include <algorithm>
#include <string>
#include <vector>

namespace {

TDriveRootFacts Volume(wchar_t letter) {
    TDriveRootFacts facts;
    facts.Letter = letter;
    facts.DosDevice = L"\\Device\\HarddiskVolume2";
    facts.FinalPath = std::wstring{letter, L':', L'\\'};
    facts.RootId = 5;
    return facts;
}

}  // namespace

TEST(DriveAliases, RealVolumesAreKept) {
    EXPECT_FALSE(IsFolderAlias(Volume(L'D')));
    TDriveRootFacts ntfs = Volume(L'C');
    ntfs.ParentId = 5;  // a root whose ".." names itself
    EXPECT_FALSE(IsFolderAlias(ntfs));
    TDriveRootFacts mounted = Volume(L'E');
    mounted.ParentId = 0;  // Wine: the parent lies on another device, so this root is a mount point
    EXPECT_FALSE(IsFolderAlias(mounted));
    TDriveRootFacts lower = Volume(L'F');
    lower.FinalPath = L"f:\\";
    EXPECT_FALSE(IsFolderAlias(lower));
    // Facts the system did not give decide nothing.
    TDriveRootFacts unknown;
    unknown.Letter = L'G';
    EXPECT_FALSE(IsFolderAlias(unknown));
    // A device that is a volume by name, not a path on a drive.
    TDriveRootFacts guid = Volume(L'H');
    guid.DosDevice = L"\\??\\Volume{00000000-0000-0000-0000-000000000045}";
    EXPECT_FALSE(IsFolderAlias(guid));
}

TEST(DriveAliases, DrivesDefinedAsAPathAreAliases) {
    TDriveRootFacts subst = Volume(L'E');
    subst.DosDevice = L"\\??\\D:\\shared";
    EXPECT_TRUE(IsFolderAlias(subst));
    subst.DosDevice = L"\\??\\d:\\";  // the root of another drive is walked there already
    EXPECT_TRUE(IsFolderAlias(subst));
    subst.DosDevice = L"\\??\\UNC\\server\\share\\folder";
    EXPECT_TRUE(IsFolderAlias(subst));
}

TEST(DriveAliases, ARootWhoseFinalPathLiesOnAnotherLetterIsAnAlias) {
    TDriveRootFacts drive = Volume(L'E');
    drive.FinalPath = L"D:\\shared";
    EXPECT_TRUE(IsFolderAlias(drive));
    drive.FinalPath = L"e:\\";
    EXPECT_FALSE(IsFolderAlias(drive));
}

TEST(DriveAliases, ARootWithAParentFolderIsAnAlias) {
    // Wine: e: linked to drive_d/shared lists ".." with D:'s root's ID.
    TDriveRootFacts linked = Volume(L'E');
    linked.RootId = 0x54867a;
    linked.ParentId = 0x548677;
    EXPECT_TRUE(IsFolderAlias(linked));
}

// Under Wine a drive is another's folder when its Unix folder lies inside the
// folder of a drive that is read; the ".." Wine lists in the root of any drive
// linked outside the prefix tells nothing.
TEST(DriveAliases, UnderWineTheUnixFolderDecides) {
    TDriveRootFacts downloads = Volume(L'D');  // D: -> ~/Downloads, outside the prefix
    downloads.UnderWine = true;
    downloads.RootId = 0x548677;
    downloads.ParentId = 0x548600;
    EXPECT_FALSE(IsFolderAlias(downloads, L"CDEF"));
    TDriveRootFacts inner = downloads;  // F: -> ~/Downloads/inner
    inner.Letter = L'F';
    inner.FinalPath = L"F:\\";
    inner.EnclosingDrives = L"D";
    EXPECT_TRUE(IsFolderAlias(inner, L"CDEF"));
    // Only a drive that is read takes another's files: not the Linux root, not itself.
    EXPECT_FALSE(IsFolderAlias(inner, L"CEF"));
    inner.EnclosingDrives = L"FZ";
    EXPECT_FALSE(IsFolderAlias(inner, L"CDEF"));
    inner.EnclosingDrives = L"ZD";  // nearest first; any one that is read counts
    EXPECT_TRUE(IsFolderAlias(inner, L"CDEF"));
    // The same folder as an earlier drive: Wine names the earlier letter.
    TDriveRootFacts same = downloads;
    same.Letter = L'G';
    same.FinalPath = L"D:\\";
    EXPECT_TRUE(IsFolderAlias(same, L"CDEG"));
    // A drive defined as a path is an alias there too.
    TDriveRootFacts subst = downloads;
    subst.DosDevice = L"\\??\\C:\\users";
    EXPECT_TRUE(IsFolderAlias(subst, L"CD"));
}

namespace {

TDriveRootFacts WineDrive(wchar_t letter, const wchar_t* enclosing) {
    TDriveRootFacts facts = Volume(letter);
    facts.UnderWine = true;
    facts.ParentId = 7;  // Wine lists ".." in every root linked outside the prefix
    facts.EnclosingDrives = enclosing;
    return facts;
}

}  // namespace

// What a Linux user makes: D: -> ~/Downloads, E: -> a folder beside the
// prefix, F: -> ~/Downloads/inner. F's files are read once, through D:.
TEST(DriveAliases, ALinuxUsersDrivesAreReadAndANestedOneOnce) {
    TDriveRootFacts c = WineDrive(L'C', L"");
    c.ParentId.reset();
    EXPECT_EQ(DrivesToRead({c, WineDrive(L'D', L""), WineDrive(L'E', L""), WineDrive(L'F', L"D")}, L'C'), L"CDE");
    EXPECT_EQ(DrivesToRead({c, WineDrive(L'D', L"F"), WineDrive(L'F', L"")}, L'C'), L"CF");
}

// H: -> ~ holds the prefix, so the Windows folder under "H:\.wine\drive_c":
// H: is not read; C: is, and the drives inside H: but outside C: are too.
TEST(DriveAliases, ADriveHoldingTheWindowsDriveIsNotRead) {
    EXPECT_EQ(DrivesToRead({WineDrive(L'C', L"H"), WineDrive(L'D', L"H"), WineDrive(L'F', L"DH"), WineDrive(L'H', L"")},
                           L'C'),
              L"CD");
    // On Windows nothing is enclosing: every volume is read, subst drives are not.
    TDriveRootFacts subst = Volume(L'S');
    subst.DosDevice = L"\\??\\C:\\work";
    EXPECT_EQ(DrivesToRead({Volume(L'C'), Volume(L'D'), subst}, L'C'), L"CD");
}

// The sandbox's own drives are volumes: none of them is left out.
TEST(DriveAliases, SandboxDrivesAreVolumes) {
    std::vector<std::wstring> drives;
    GetFixedDrives(drives);
    ASSERT_FALSE(drives.empty());
    EXPECT_EQ(drives[0], L"C:\\");
    const TDriveRootFacts c = ReadDriveRootFacts(L'C');
    EXPECT_EQ(c.Letter, L'C');
    EXPECT_FALSE(c.DosDevice.empty());
    EXPECT_FALSE(IsFolderAlias(c)) << "device " << std::string(c.DosDevice.begin(), c.DosDevice.end());
}

// A drive defined as a path (what `subst` does) is read as one and left out.
TEST(DriveAliases, ADriveDefinedAsAFolderIsLeftOut) {
    TSandboxLock lock(L"Drives");
    TScratchFolder folder(L"alias");
    wchar_t letter = 0;
    for (wchar_t candidate = L'Q'; candidate <= L'Y' && !letter; ++candidate) {
        const wchar_t device[] = {candidate, L':', 0};
        wchar_t target[MAX_PATH];
        if (::QueryDosDeviceW(device, target, MAX_PATH) == 0) letter = candidate;
    }
    ASSERT_NE(letter, 0) << "no free drive letter";
    const wchar_t device[] = {letter, L':', 0};
    const std::wstring target = folder.Path().substr(0, folder.Path().size() - 1);
    if (!::DefineDosDeviceW(0, device, target.c_str())) GTEST_SKIP() << "the system cannot define drives";
    const TDriveRootFacts facts = ReadDriveRootFacts(letter);
    std::vector<std::wstring> drives;
    GetFixedDrives(drives);
    ::DefineDosDeviceW(DDD_REMOVE_DEFINITION | DDD_EXACT_MATCH_ON_REMOVE, device, target.c_str());

    EXPECT_TRUE(IsFolderAlias(facts)) << "device " << std::string(facts.DosDevice.begin(), facts.DosDevice.end());
    EXPECT_EQ(std::count(drives.begin(), drives.end(), std::wstring{letter, L':', L'\\'}), 0);
}
