// Folder spellings (engine/FolderPaths.h) and the refusal of folders that are no
// temporary folders (engine/TemporaryFolders.h), as text and against the
// sandbox's real folders.
#include "engine/FolderPaths.h"
#include "engine/SystemRoutines.h"
#include "engine/TemporaryFolders.h"

#include "SandboxTestSupport.h"

#include <gtest/gtest.h>

#include <windows.h>
#include <knownfolders.h>
#include <shlobj.h>

#include <string>
#include <vector>

namespace {

using Strings = std::vector<std::wstring>;

std::wstring KnownFolder(const KNOWNFOLDERID& id) {
    PWSTR path = nullptr;
    std::wstring folder;
    if (SUCCEEDED(::SHGetKnownFolderPath(id, KF_FLAG_DONT_VERIFY, nullptr, &path)) && path) folder = path;
    ::CoTaskMemFree(path);
    return folder;
}

std::wstring ShortName(const std::wstring& path) {
    wchar_t buffer[MAX_PATH] = {};
    const DWORD length = ::GetShortPathNameW(path.c_str(), buffer, MAX_PATH);
    return length > 0 && length < MAX_PATH ? std::wstring(buffer, length) : std::wstring();
}

std::wstring Upper(std::wstring text) {
    ::CharUpperBuffW(text.data(), static_cast<DWORD>(text.size()));
    return text;
}

}  // namespace

// ------------------------------------------------------------ text

TEST(FolderPathText, FullFormResolvesSeparatorsPrefixesAndDots) {
    struct TCase {
        const wchar_t* Typed;
        const wchar_t* Full;
    };
    const TCase cases[] = {
        {L"C:\\a\\b", L"C:\\a\\b"},
        {L"C:\\a\\b\\", L"C:\\a\\b"},
        {L"C:/a/b/", L"C:\\a\\b"},
        {L"C:\\a\\\\b\\\\\\", L"C:\\a\\b"},
        {L"C:\\a\\.\\c\\..\\b", L"C:\\a\\b"},
        {L"C:\\..\\..", L"C:\\"},
        {L"C:\\", L"C:\\"},
        {L"c:/", L"c:\\"},
        {L"\\\\?\\C:\\a\\", L"C:\\a"},
        {L"\\\\.\\C:\\a", L"C:\\a"},
        {L"\\\\?\\UNC\\server\\share\\a", L"\\\\server\\share\\a"},
        {L"//server/share//a/", L"\\\\server\\share\\a"},
        {L"\\\\server\\share", L"\\\\server\\share\\"},
        // Not fully qualified: they would depend on the current drive and folder.
        {L"C:", L""},
        {L"C:a", L""},
        {L"\\a", L""},
        {L"a\\b", L""},
        {L"\\\\server", L""},
        {L"", L""},
    };
    for (const auto& c : cases) EXPECT_EQ(FullFolderPath(c.Typed), c.Full) << testing::PrintToString(std::wstring(c.Typed));
}

TEST(FolderPathText, RootsAndContainment) {
    EXPECT_TRUE(IsRootPath(L"C:\\"));
    EXPECT_TRUE(IsRootPath(L"\\\\server\\share"));
    EXPECT_TRUE(IsRootPath(L"\\\\server\\share\\"));
    EXPECT_FALSE(IsRootPath(L"C:"));
    EXPECT_FALSE(IsRootPath(L"C:\\a"));
    EXPECT_FALSE(IsRootPath(L"\\\\server\\share\\a"));

    EXPECT_TRUE(FolderIsOrContains(L"C:\\Temp", L"c:\\TEMP\\"));
    EXPECT_TRUE(FolderIsOrContains(L"C:\\Temp\\", L"C:\\temp\\x\\y"));
    EXPECT_TRUE(FolderIsOrContains(L"C:\\", L"C:\\Windows"));
    EXPECT_FALSE(FolderIsOrContains(L"C:\\Temp", L"C:\\Temp2"));
    EXPECT_FALSE(FolderIsOrContains(L"C:\\Temp\\x", L"C:\\Temp"));
    EXPECT_FALSE(FolderIsOrContains(L"", L"C:\\Temp"));
    // Letter case beyond a-z, as the file system compares names.
    EXPECT_TRUE(SamePathText(L"D:\\Ελληνικά\\ÄÖ", L"d:\\ελληνικά\\äö"));
    EXPECT_FALSE(SamePathText(L"D:\\Ελληνικά", L"D:\\Ελληνικα"));
}

// A decision over spellings given as text: the table's rules without the system.
TEST(TemporaryFolderRefusal, RulesOverGivenSpellings) {
    const TGuardedFolders guarded{{L"X:\\Guard", L"X:\\Homes"}, {L"X:\\Homes"}};
    auto refused = [&](Strings spellings) { return IsRefusedAmong(spellings, guarded); };
    EXPECT_TRUE(refused({L"X:\\"}));
    EXPECT_TRUE(refused({L"\\\\server\\share\\"}));
    EXPECT_TRUE(refused({L"X:\\Guard"}));
    EXPECT_TRUE(refused({L"x:\\guard\\"}));
    EXPECT_TRUE(refused({L"X:\\Homes"}));
    EXPECT_TRUE(refused({L"X:\\Homes\\bob"}));  // a profile, whoever's
    EXPECT_TRUE(refused({L"X:\\Temp", L"X:\\Guard"}));  // refused in any spelling
    EXPECT_TRUE(refused({}));
    EXPECT_TRUE(refused({L"relative\\Temp"}));
    EXPECT_FALSE(refused({L"X:\\Temp"}));
    EXPECT_FALSE(refused({L"X:\\Guard\\Temp"}));
    EXPECT_FALSE(refused({L"X:\\Guardian"}));
    EXPECT_FALSE(refused({L"X:\\Homes\\bob\\AppData\\Local\\Temp"}));
}

// ------------------------------------------------------------ the sandbox's folders

TEST(TemporaryFolderRefusal, SystemAndUserFoldersAreRefusedInAnySpelling) {
    const std::wstring windows = KnownFolder(FOLDERID_Windows);
    const std::wstring profile = KnownFolder(FOLDERID_Profile);
    const std::wstring programFiles = KnownFolder(FOLDERID_ProgramFiles);
    ASSERT_FALSE(windows.empty());
    ASSERT_FALSE(profile.empty());
    Strings refused = {L"C:\\", L"C:", L"c:/", L"D:\\", windows, windows + L"\\", Upper(windows),
                       windows + L"\\system32\\..", L"C:/ProgramData/../" + windows.substr(3), programFiles,
                       profile, profile + L"\\\\", Upper(profile), profile + L"\\AppData",
                       profile.substr(0, profile.rfind(L'\\')) + L"\\someone-else", L"", L"Temp", L"\\Temp"};
    for (const KNOWNFOLDERID* id :
         {&FOLDERID_System, &FOLDERID_SystemX86, &FOLDERID_ProgramFilesX86, &FOLDERID_ProgramData,
          &FOLDERID_UserProfiles, &FOLDERID_Public, &FOLDERID_Desktop, &FOLDERID_Documents, &FOLDERID_Pictures,
          &FOLDERID_Music, &FOLDERID_Videos, &FOLDERID_Downloads, &FOLDERID_RoamingAppData,
          &FOLDERID_LocalAppData, &FOLDERID_LocalAppDataLow}) {
        const std::wstring folder = KnownFolder(*id);
        if (!folder.empty()) refused.push_back(folder);
    }
    const std::wstring shortProgramFiles = ShortName(programFiles);
    if (!shortProgramFiles.empty()) refused.push_back(shortProgramFiles);
    for (const auto& folder : refused) {
        EXPECT_TRUE(IsRefusedTemporaryFolder(folder)) << testing::PrintToString(folder);
        EXPECT_EQ(TemporaryFolderToEmpty(folder), L"") << testing::PrintToString(folder);
    }

    const Strings accepted = {GetTempDirectory(), windows + L"\\Temp", KnownFolder(FOLDERID_LocalAppData) + L"\\Temp",
                              L"C:\\Temp", L"D:\\Temp\\", programFiles + L"\\App\\Temp"};
    for (const auto& folder : accepted) EXPECT_FALSE(IsRefusedTemporaryFolder(folder)) << testing::PrintToString(folder);
}

// TEMP as Windows writes it for a long user name, and in another letter case:
// the folder enters the masks as the walk reports it.
TEST(TemporaryFolderRefusal, AcceptedFolderComesInTheWalksSpelling) {
    TScratchFolder scratch(L"tempfolders");
    const std::wstring longFolder = scratch.Path() + L"Temporary files of Ελένη";
    ASSERT_TRUE(CreateDirectoryTree(longFolder));
    const std::wstring shortFolder = ShortName(longFolder);
    if (shortFolder.empty() || shortFolder == longFolder) GTEST_SKIP() << "this volume gives no short names";

    EXPECT_EQ(LongFolderPath(shortFolder + L"\\"), longFolder);
    EXPECT_EQ(TemporaryFolderToEmpty(shortFolder), longFolder + L"\\");
    EXPECT_EQ(TemporaryFolderToEmpty(scratch.Path() + L"TEMPORARY FILES OF ΕΛΈΝΗ"), longFolder + L"\\");
    EXPECT_EQ(FolderSpellings(shortFolder), Strings{longFolder});
}
