// The file-mask catalogue: every action's name, masks and protection rule on
// this machine, what the masks catch, availability by registry keys and folders
// (made and removed again inside the sandbox), the Windows Update folders, and
// folder paths holding "[".
#include "catalogue/FileMaskClasses.h"
#include "catalogue/FolderMasks.h"
#include "engine/FolderPaths.h"
#include "engine/Masks.h"
#include "engine/SystemRoutines.h"
#include "engine/TemporaryFolders.h"

#include "SandboxTestSupport.h"

#include <gtest/gtest.h>

#include <windows.h>
#include <shlobj.h>

#include <algorithm>
#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace {

using Strings = std::vector<std::wstring>;

std::wstring Pid() { return std::to_wstring(::GetCurrentProcessId()); }

// Tests only make files and keys on the sandbox's own C: drive.
bool OnC(const std::wstring& path) {
    return path.size() > 3 && (path[0] == L'C' || path[0] == L'c') && path[1] == L':';
}

void WriteFile(const std::wstring& path) {
    HANDLE h = ::CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    ASSERT_NE(h, INVALID_HANDLE_VALUE);
    DWORD written = 0;
    ::WriteFile(h, "junk", 4, &written, nullptr);
    ::CloseHandle(h);
}

bool Exists(const std::wstring& path) { return ::GetFileAttributesW(path.c_str()) != INVALID_FILE_ATTRIBUTES; }

// A folder the test creates (parents included); on destruction it removes the
// files the test put directly in it and then the folders it created, deepest first.
class TMadeFolder {
public:
    explicit TMadeFolder(std::wstring path) : FPath(std::move(path)) {
        while (!FPath.empty() && FPath.back() == L'\\') FPath.pop_back();
        for (size_t pos = FPath.find(L'\\', 3); ; pos = FPath.find(L'\\', pos + 1)) {
            const std::wstring level = FPath.substr(0, pos);
            if (!Exists(level) && ::CreateDirectoryW(level.c_str(), nullptr)) FCreated.push_back(level);
            if (pos == std::wstring::npos) break;
        }
    }
    ~TMadeFolder() {
        for (const auto& file : FFiles) ::DeleteFileW(file.c_str());
        for (auto it = FCreated.rbegin(); it != FCreated.rend(); ++it) ::RemoveDirectoryW(it->c_str());
    }
    TMadeFolder(const TMadeFolder&) = delete;
    TMadeFolder& operator=(const TMadeFolder&) = delete;

    const std::wstring& Path() const { return FPath; }
    bool Created() const { return !FCreated.empty(); }
    std::wstring AddFile(const std::wstring& name) {
        FFiles.push_back(FPath + L"\\" + name);
        WriteFile(FFiles.back());
        return FFiles.back();
    }

private:
    std::wstring FPath;
    Strings FCreated;
    Strings FFiles;
};

// Creates the missing keys of Path under Root and deletes exactly those again,
// deepest first (a key that meanwhile gained subkeys stays).
class TScratchRegistryKey {
public:
    TScratchRegistryKey(HKEY root, const std::wstring& path) : FRoot(root), FPath(path) {
        for (size_t pos = path.find(L'\\'); ; pos = path.find(L'\\', pos + 1)) {
            const std::wstring level = path.substr(0, pos);
            HKEY key = nullptr;
            if (::RegOpenKeyExW(root, level.c_str(), 0, KEY_READ, &key) == ERROR_SUCCESS) {
                ::RegCloseKey(key);
            } else if (::RegCreateKeyExW(root, level.c_str(), 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &key, nullptr) ==
                       ERROR_SUCCESS) {
                ::RegCloseKey(key);
                FCreated.push_back(level);
            }
            if (pos == std::wstring::npos) break;
        }
        FExists = RegistryKeyExists(root, path);
    }
    ~TScratchRegistryKey() {
        for (auto it = FCreated.rbegin(); it != FCreated.rend(); ++it) ::RegDeleteKeyW(FRoot, it->c_str());
    }
    TScratchRegistryKey(const TScratchRegistryKey&) = delete;
    TScratchRegistryKey& operator=(const TScratchRegistryKey&) = delete;

    // True when the key is there (made by us or found).
    bool Exists() const { return FExists; }
    void SetString(const wchar_t* name, const std::wstring& value, DWORD type = REG_SZ) {
        HKEY key = nullptr;
        ASSERT_EQ(::RegOpenKeyExW(FRoot, FPath.c_str(), 0, KEY_SET_VALUE, &key), ERROR_SUCCESS);
        ::RegSetValueExW(key, name, 0, type, reinterpret_cast<const BYTE*>(value.c_str()),
                         static_cast<DWORD>((value.size() + 1) * sizeof(wchar_t)));
        ::RegCloseKey(key);
    }

private:
    HKEY FRoot;
    std::wstring FPath;
    Strings FCreated;
    bool FExists = false;
};

// Sets an environment variable for this test process and puts the old value back.
class TScopedEnvironment {
public:
    TScopedEnvironment(const wchar_t* name, const std::wstring& value) : FName(name) {
        wchar_t buffer[32768];
        const DWORD length = ::GetEnvironmentVariableW(name, buffer, 32768);
        if (length > 0 && length < 32768) FOld = std::wstring(buffer, length);
        ::SetEnvironmentVariableW(name, value.c_str());
    }
    ~TScopedEnvironment() { ::SetEnvironmentVariableW(FName.c_str(), FOld ? FOld->c_str() : nullptr); }
    TScopedEnvironment(const TScopedEnvironment&) = delete;
    TScopedEnvironment& operator=(const TScopedEnvironment&) = delete;

private:
    std::wstring FName;
    std::optional<std::wstring> FOld;
};

template <class T>
std::unique_ptr<TCleanupFileMaskItem> Make() {
    std::unique_ptr<TCleanupCustomItem> item = TCleanupCustomItem::ClassOf<T>().Create();
    return std::unique_ptr<TCleanupFileMaskItem>(dynamic_cast<TCleanupFileMaskItem*>(item.release()));
}

bool Catches(const TCleanupFileMaskItem& item, const std::wstring& path) {
    return item.CompiledMasks().MatchesAny(UpperCaseAscii(path));
}

// A special folder as the catalogue puts it before the rest of a mask; the
// sandbox's folders hold no "[".
std::wstring Folder(int csidl) {
    const std::wstring folder = GetSpecialFolder(csidl);
    return folder.empty() ? L"\\" : folder;
}

// The folder with its last name as the file system stores it.
std::wstring StoredFolder(const std::wstring& folder) {
    WIN32_FIND_DATAW data;
    HANDLE find = ::FindFirstFileW(folder.c_str(), &data);
    if (find == INVALID_HANDLE_VALUE) return folder;
    ::FindClose(find);
    return folder.substr(0, folder.rfind(L'\\') + 1) + data.cFileName;
}

struct TExpectedAction {
    int Place;
    const wchar_t* Name;
    TSmartProtection Smart;
    bool Ticked;
    bool OwnAvailabilityTest;
    std::optional<Strings> Masks;  // none where the registry decides
};

std::vector<TExpectedAction> ExpectedCatalogue() {
    using enum TSmartProtection;
    const std::wstring win = GetWindowsDir();
    Strings windowsUpdate;
    Strings drives;
    GetFixedDrives(drives);
    for (const auto& d : drives) windowsUpdate.insert(windowsUpdate.end(), {d + L"WUTemp\\*", d + L"msdownld.tmp\\*"});
    windowsUpdate.insert(windowsUpdate.end(), {win + L"msdownld.tmp\\*", win + L"Windows Update 设置文件\\*"});
    Strings windowsLogs;
    for (const wchar_t* rest :
         {L"system32\\wbem\\Logs\\*.log", L"system32\\wbem\\Logs\\*.lo_", L"KB??????.log", L"Q??????.log",
          L"setuplog.txt", L"comsetup.log", L"DirectX.log", L"FaxSetup.log", L"iis6.log", L"msmqinst.log",
          L"ntdtcsetup.log", L"ocgen.log", L"setupact.log", L"setupapi.log", L"svcpack.log", L"tsoc.log",
          L"Windows Update.log", L"WindowsUpdate.log", L"wmsetup.log", L"ntbtlog.txt", L"Debug\\*.log",
          L"Debug\\UserMode\\*.log"})
        windowsLogs.push_back(win + rest);
    windowsLogs.push_back(L"*\\Application Data\\Microsoft\\Dr Watson\\*.log");
    windowsLogs.push_back(L"*\\Application Data\\Microsoft\\Dr Watson\\*.dmp");

    return {
        {12, L"清除 RealOne Player 历史记录", spWeek, true, true,
         Strings{L"*\\Application Data\\Real\\RealOne Player\\History\\*"}},
        {15, L"清除 Windows 最近使用的文档列表", spWeek, true, false, Strings{Folder(CSIDL_RECENT) + L"*"}},
        {19, L"删除备份文件 (*.bak, *.old, *.000)", spWeek, true, false, Strings{L"*.bak", L"*.old", L"*.000"}},
        {20, L"删除自动创建的帮助相关文件 (*.gid, *.fts, *.ftg)", spWeek, true, false,
         Strings{L"*.gid", L"*.fts", L"*.ftg"}},
        {21, L"删除 Oracle client 日志文件 (sqlnet.log)", spWeek, true, true, Strings{L"*\\sqlnet.log"}},
        {22, L"删除磁盘扫描日志文件", spSession, true, false, Strings{L"?:\\Scandisk.log"}},
        {23, L"删除磁盘扫描保存的丢失簇", spSession, true, false, Strings{L"?:\\File????.CHK"}},
        {24, L"删除 Borland Developer Studio 临时文件", spSession, true, true,
         Strings{L"*.bdsproj.local", L"*.bdsgroup.local", L"*.identcache"}},
        {25, L"删除临时文件 (*.tmp, *.$$$, *.~mp)", spSession, true, false, Strings{L"*.tmp", L"*.$$$", L"*.~mp"}},
        {26, L"删除临时 Word 文件", spSession, true, false, Strings{L"*\\~$*.doc"}},
        {27, L"删除缩略图缓存文件 (Thumbs.db)", spSession, true, false, Strings{L"*Thumbs.db"}},
        {28, L"删除 Windows 调试内存转储文件", spSession, true, false,
         Strings{win + L"Minidump\\*.dmp", win + L"memory.dmp"}},
        {29, L"删除 Windows 日志文件", spWeek, false, false, windowsLogs},
        {30, L"删除 Windows Update 临时文件", spSession, true, false, windowsUpdate},
        {31, L"删除 Windows Update 卸载信息", spSession, true, false,
         Strings{win + L"$Nt*\\*", win + L"$hf_mig$\\*", win + L"$MSI*\\*"}},
        {32, L"Empty Java runtime cache", spSession, true, true,
         Strings{Folder(CSIDL_PROFILE) + L".jpi_cache\\*", Folder(CSIDL_APPDATA) + L"Sun\\Java\\Deployment\\cache\\*"}},
        {33, L"清空预取应用程序缓存", spWeek, true, true, Strings{win + L"Prefetch\\*"}},
        {34, L"清空用户临时目录", spSession, true, false, Strings{GetTempDirectory() + L"*"}},
        {37, L"清空 Outlook Secure 临时文件目录", spSession, true, true, std::nullopt},
        // In the letter case the folder is stored in (Wine keeps "temp"), as the walk reports it.
        {39, L"清空 Windows 临时目录", spSession, true, false, Strings{StoredFolder(win + L"Temp") + L"\\*"}},
    };
}

}  // namespace

// ------------------------------------------------------------ folder paths in masks

TEST(FileMaskCatalogueFolderMasks, BracketsAreEscapedAndEveryFolderEndsInABackslash) {
    EXPECT_EQ(EscapeMaskBrackets(L"C:\\Users\\a[1]\\[x[!]"), L"C:\\Users\\a[[]1]\\[[]x[[]!]");
    EXPECT_EQ(FolderMaskPrefix(L"C:\\Users\\a[1]"), L"C:\\Users\\a[[]1]\\");
    EXPECT_EQ(FolderMaskPrefix(L"C:\\Temp\\"), L"C:\\Temp\\");
    EXPECT_EQ(FolderMaskPrefix(L""), L"\\");
    EXPECT_EQ(FolderContentMask(L""), L"\\*");
    EXPECT_EQ(EscapedSpecialFolderMask(CSIDL_RECENT), GetSpecialFolderMask(CSIDL_RECENT));
}

TEST(FileMaskCatalogueFolderMasks, EscapedFolderMatchesItsOwnFilesOnly) {
    const std::wstring folder = L"C:\\users\\a[1]\\Temp\\";
    const std::wstring mine = L"C:\\USERS\\A[1]\\TEMP\\SUB\\X.TMP";
    const std::wstring sibling = L"C:\\USERS\\A1\\TEMP\\X.TMP";
    // Unescaped, the folder reads as a set: its own files are missed and a sibling's are caught.
    EXPECT_FALSE(MatchesMask(mine, UpperCaseAscii(folder + L"*")));
    EXPECT_TRUE(MatchesMask(sibling, UpperCaseAscii(folder + L"*")));

    const TCompiledMaskList escaped(UpperCaseAscii(MakeMaskList({FolderContentMask(folder)})));
    EXPECT_TRUE(escaped.MatchesAny(mine));
    EXPECT_FALSE(escaped.MatchesAny(sibling));

    // A lone "[" would leave the mask malformed.
    EXPECT_THROW(MatchesMask(L"C:\\A[B\\X", L"C:\\A[B\\*"), EMaskException);
    EXPECT_TRUE(MatchesMask(L"C:\\A[B\\X", FolderContentMask(L"C:\\A[B")));
    // "[!" and "]" stay literal too.
    EXPECT_TRUE(MatchesMask(L"C:\\[!]\\X", FolderContentMask(L"C:\\[!]")));
    EXPECT_FALSE(MatchesMask(L"C:\\A\\X", FolderContentMask(L"C:\\[!]")));
}

// ------------------------------------------------------------ the actions' data

TEST(FileMaskCatalogueClasses, NamesMasksProtectionAndTicksInCatalogueOrder) {
    const auto rows = FileMaskCatalogue();
    const auto expected = ExpectedCatalogue();
    ASSERT_EQ(rows.size(), expected.size());
    for (size_t i = 0; i < rows.size(); ++i) {
        const auto& want = expected[i];
        SCOPED_TRACE(testing::Message() << "place " << want.Place);
        EXPECT_EQ(rows[i].Place, want.Place);
        EXPECT_EQ(rows[i].DefaultChecked, want.Ticked);
        EXPECT_EQ(rows[i].ItemClass.IsAvailable != &TCleanupCustomItem::IsAvailable, want.OwnAvailabilityTest);

        const std::unique_ptr<TCleanupCustomItem> item = rows[i].ItemClass.Create();
        auto* fileMaskItem = dynamic_cast<TCleanupFileMaskItem*>(item.get());
        ASSERT_NE(fileMaskItem, nullptr);
        EXPECT_EQ(item->Name, want.Name);
        EXPECT_EQ(fileMaskItem->SmartProtection, want.Smart);
        EXPECT_TRUE(item->FileProtection.empty());
        EXPECT_TRUE(fileMaskItem->FoundFiles.empty());
        if (want.Masks) {
            EXPECT_EQ(ListFromCommaText(fileMaskItem->Masks), *want.Masks);
            EXPECT_EQ(fileMaskItem->Masks, MakeMaskList(*want.Masks));
        }
    }
}

TEST(FileMaskCatalogueClasses, MasksCatchTheDocumentedPathsOnly) {
    const std::wstring win = GetWindowsDir();

    auto scandisk = Make<TDeleteScandiskLogFiles>();
    EXPECT_TRUE(Catches(*scandisk, L"C:\\SCANDISK.LOG"));
    EXPECT_TRUE(Catches(*scandisk, L"d:\\scandisk.log"));
    EXPECT_FALSE(Catches(*scandisk, L"C:\\DATA\\SCANDISK.LOG"));

    auto chk = Make<TDeleteScandiskSavedLostClusters>();
    EXPECT_TRUE(Catches(*chk, L"C:\\FILE0001.CHK"));
    EXPECT_FALSE(Catches(*chk, L"C:\\FILE01.CHK"));
    EXPECT_FALSE(Catches(*chk, L"C:\\FOUND.000\\FILE0001.CHK"));

    auto thumbs = Make<TDeleteThumbnailsCacheFiles>();
    EXPECT_TRUE(Catches(*thumbs, L"D:\\Pictures\\Thumbs.db"));
    EXPECT_TRUE(Catches(*thumbs, L"D:\\Pictures\\OldThumbs.db"));
    EXPECT_FALSE(Catches(*thumbs, L"D:\\Pictures\\Thumbs.db.txt"));

    auto word = Make<TDeleteTemporaryWordFiles>();
    EXPECT_TRUE(Catches(*word, L"C:\\Docs\\~$report.doc"));
    EXPECT_FALSE(Catches(*word, L"C:\\Docs\\report.doc"));

    auto oracle = Make<TDeleteOracleClientLogFiles>();
    EXPECT_TRUE(Catches(*oracle, L"C:\\oracle\\network\\log\\sqlnet.log"));
    EXPECT_FALSE(Catches(*oracle, L"C:\\oracle\\mysqlnet.log"));

    auto logs = Make<TDeleteWindowsLogFiles>();
    EXPECT_TRUE(Catches(*logs, win + L"KB123456.log"));
    EXPECT_FALSE(Catches(*logs, win + L"KB12345.log"));
    EXPECT_FALSE(Catches(*logs, win + L"system32\\KB123456.log"));
    EXPECT_TRUE(Catches(*logs, win + L"Q123456.log"));
    EXPECT_FALSE(Catches(*logs, win + L"Q1234567.log"));
    EXPECT_TRUE(Catches(*logs, win + L"Windows Update.log"));  // a mask with a blank survives the comma text
    EXPECT_TRUE(Catches(*logs, win + L"Debug\\UserMode\\userenv.log"));
    EXPECT_TRUE(Catches(*logs, L"D:\\Documents and Settings\\u\\Application Data\\Microsoft\\Dr Watson\\x.dmp"));
    EXPECT_FALSE(Catches(*logs, L"C:\\setupact.log"));

    auto dumps = Make<TDeleteWindowsDebugMemoryDumpFiles>();
    EXPECT_TRUE(Catches(*dumps, win + L"Minidump\\Mini010124-01.dmp"));
    EXPECT_TRUE(Catches(*dumps, win + L"MEMORY.DMP"));
    EXPECT_FALSE(Catches(*dumps, win + L"memory.dmp.bak"));

    auto uninstall = Make<TDeleteWindowsUpdateUninstallInformation>();
    EXPECT_TRUE(Catches(*uninstall, win + L"$NtUninstallKB123456$\\spuninst\\spuninst.exe"));
    EXPECT_TRUE(Catches(*uninstall, win + L"$hf_mig$\\KB1\\update.exe"));
    EXPECT_FALSE(Catches(*uninstall, win + L"$NtUninstallKB123456$"));

    auto windowsTemp = Make<TEmptyWindowsTemporaryDirectory>();
    EXPECT_TRUE(Catches(*windowsTemp, win + L"Temp\\Sub\\x.dat"));
    EXPECT_FALSE(Catches(*windowsTemp, win + L"Temporary\\x.dat"));
}

TEST(FileMaskCatalogueWindowsUpdate, FoldersAndMasksForDrivesCAndD) {
    const Strings folders = WindowsUpdateTempFolders({L"C:\\", L"D:\\"}, L"C:\\WINDOWS\\");
    EXPECT_EQ(folders, (Strings{L"C:\\WUTemp", L"C:\\msdownld.tmp", L"D:\\WUTemp", L"D:\\msdownld.tmp",
                                L"C:\\WINDOWS\\msdownld.tmp", L"C:\\WINDOWS\\Windows Update 设置文件"}));
    Strings masks;
    for (const auto& folder : folders) masks.push_back(FolderContentMask(folder));
    EXPECT_EQ(masks, (Strings{L"C:\\WUTemp\\*", L"C:\\msdownld.tmp\\*", L"D:\\WUTemp\\*", L"D:\\msdownld.tmp\\*",
                              L"C:\\WINDOWS\\msdownld.tmp\\*", L"C:\\WINDOWS\\Windows Update 设置文件\\*"}));
    EXPECT_EQ(WindowsUpdateTempFolders({}, L"C:\\WINDOWS"),
              (Strings{L"C:\\WINDOWS\\msdownld.tmp", L"C:\\WINDOWS\\Windows Update 设置文件"}));
}

TEST(FileMaskCatalogueWindowsUpdate, TempFoldersFollowThisMachinesDrives) {
    Strings drives;
    GetFixedDrives(drives);
    auto item = Make<TDeleteWindowsUpdateTemporaryFiles>();
    auto& action = dynamic_cast<TDeleteWindowsUpdateTemporaryFiles&>(*item);
    EXPECT_EQ(action.TempFolders, WindowsUpdateTempFolders(drives, GetWindowsDir()));
    ASSERT_EQ(action.TempFolders.size(), 2 * drives.size() + 2);
    for (const auto& folder : action.TempFolders) EXPECT_NE(folder.back(), L'\\');
}

// Real folders below C:\ of the sandbox: an emptied folder goes, one with a file left stays.
TEST(FileMaskCatalogueWindowsUpdate, ExecuteRemovesTheFoldersThatItEmptied) {
    Strings drives;
    GetFixedDrives(drives);
    ASSERT_FALSE(drives.empty());
    ASSERT_TRUE(OnC(drives[0] + L"x"));
    TMadeFolder wuTemp(drives[0] + L"WUTemp");
    TMadeFolder download(drives[0] + L"msdownld.tmp");
    if (!wuTemp.Created() || !download.Created()) GTEST_SKIP() << "the folders existed before the test";
    const std::wstring old = wuTemp.AddFile(L"a.tmp");
    const std::wstring young = download.AddFile(L"young.cab");

    TCleanupList list;
    Strings texts;
    list.OnStatus = [&](TCleanupCustomItem*, const std::wstring& text) { texts.push_back(text); };
    list.AddAction(TCleanupCustomItem::ClassOf<TDeleteWindowsUpdateTemporaryFiles>(), true);
    EXPECT_TRUE(list.AddFoundFile(old, L"None"));
    EXPECT_FALSE(list.AddFoundFile(young, L"Week"));  // just written: protected
    list.SetChecked(0, true);
    list.ExecuteChecked();

    EXPECT_FALSE(Exists(old));
    EXPECT_FALSE(Exists(wuTemp.Path()));
    EXPECT_TRUE(Exists(young));
    EXPECT_TRUE(Exists(download.Path()));
    EXPECT_EQ(texts, (Strings{L"", L"删除 Windows Update 临时文件  100%", L""}));
}

// ------------------------------------------------------------ files found by two actions

TEST(FileMaskCatalogueList, FilesInTheUserTempFolderAreFoundByTwoActions) {
    TCleanupList list;
    for (const auto& row : FileMaskCatalogue())
        if (row.ItemClass.IsAvailable()) list.AddAction(row.ItemClass, row.DefaultChecked);
    const std::wstring temp = GetTempDirectory();
    ASSERT_TRUE(OnC(temp));
    TMadeFolder folder(temp + L"vt-catalogue-" + Pid());
    const std::wstring tmp = folder.AddFile(L"setup.tmp");
    const std::wstring word = folder.AddFile(L"~$letter.doc");
    const std::wstring other = folder.AddFile(L"notes.txt");

    auto takers = [&](const std::wstring& file) {
        Strings names;
        for (int i = 0; i < list.Count(); ++i) {
            const auto& found = dynamic_cast<TCleanupFileMaskItem&>(list.Items(i)).FoundFiles;
            if (std::find(found.begin(), found.end(), file) != found.end()) names.push_back(list.Items(i).Name);
        }
        return names;
    };
    EXPECT_TRUE(list.AddFoundFile(tmp, L"None"));
    EXPECT_TRUE(list.AddFoundFile(word, L"None"));
    EXPECT_TRUE(list.AddFoundFile(other, L"None"));
    EXPECT_EQ(takers(tmp), (Strings{L"删除临时文件 (*.tmp, *.$$$, *.~mp)", L"清空用户临时目录"}));
    EXPECT_EQ(takers(word), (Strings{L"删除临时 Word 文件", L"清空用户临时目录"}));
    EXPECT_EQ(takers(other), (Strings{L"清空用户临时目录"}));
}

// A user named "a[1]": the temporary folder's own files are cleaned, and the
// files of a user "a1", which the unescaped mask would have caught, are not.
TEST(FileMaskCatalogueBrackets, TemporaryFolderWithABracketIsCleaned) {
    const std::wstring base = GetTempDirectory() + L"vt-catalogue-" + Pid();
    ASSERT_TRUE(OnC(base));
    TMadeFolder bracketed(base + L"\\a[1]\\Temp");
    TMadeFolder sibling(base + L"\\a1\\Temp");
    const std::wstring mine = bracketed.AddFile(L"report.dat");
    const std::wstring theirs = sibling.AddFile(L"report.dat");

    TScopedEnvironment tmp(L"TMP", bracketed.Path() + L"\\");
    TScopedEnvironment tempVariable(L"TEMP", bracketed.Path() + L"\\");
    ASSERT_EQ(GetTempDirectory(), bracketed.Path() + L"\\");

    TCleanupList list;
    list.AddAction(TCleanupCustomItem::ClassOf<TEmptyUserTemporaryDirectory>(), true);
    EXPECT_TRUE(list.AddFoundFile(mine, L"None"));
    EXPECT_FALSE(list.AddFoundFile(theirs, L"None"));
    list.SetChecked(0, true);
    list.ExecuteChecked();
    EXPECT_FALSE(Exists(mine));
    EXPECT_TRUE(Exists(theirs));
}

// TEMP and TMP naming a drive, the profile or the Windows folder: the action
// builds no mask at all. A short 8.3 TEMP gives the mask of the long folder.
TEST(FileMaskCatalogueTemporaryFolders, UserTemporaryFolderThatIsNoTemporaryFolderGivesNoMask) {
    const std::wstring profile = GetSpecialFolder(CSIDL_PROFILE);
    ASSERT_FALSE(profile.empty());
    for (const std::wstring& folder : {std::wstring(L"C:\\"), std::wstring(L"C:"), profile, GetWindowsDir()}) {
        TScopedEnvironment tmp(L"TMP", folder);
        TScopedEnvironment tempVariable(L"TEMP", folder);
        EXPECT_EQ(Make<TEmptyUserTemporaryDirectory>()->Masks, L"") << testing::PrintToString(folder);
    }

    TMadeFolder longFolder(GetTempDirectory() + L"vt-catalogue-" + Pid() + L"\\Temporary files of a long name");
    wchar_t shortName[MAX_PATH] = {};
    const DWORD length = ::GetShortPathNameW(longFolder.Path().c_str(), shortName, MAX_PATH);
    if (length == 0 || length >= MAX_PATH || longFolder.Path() == shortName) GTEST_SKIP() << "no short names here";
    TScopedEnvironment tmp(L"TMP", shortName);
    TScopedEnvironment tempVariable(L"TEMP", shortName);
    auto item = Make<TEmptyUserTemporaryDirectory>();
    EXPECT_EQ(ListFromCommaText(item->Masks), Strings{FolderContentMask(longFolder.Path())});
    EXPECT_TRUE(Catches(*item, longFolder.Path() + L"\\setup\\data.bin"));
}

// Run as SYSTEM (a scheduled task may), the user's temporary folder is Windows'
// own: Windows\Temp, or Windows\SystemTemp on Windows 11. The Windows action
// empties it, and the user's action builds no mask on it, so no file there is
// found twice; Windows 11's SystemTemp is one of the system's folders anyway.
TEST(FileMaskCatalogueTemporaryFolders, RunningAsSystemTheWindowsTemporaryFolderIsEmptiedOnce) {
    const std::wstring windows = GetWindowsDir();
    const Strings system{L"C:\\Windows\\Temp", L"C:\\Windows\\SystemTemp"};
    EXPECT_EQ(UserTemporaryFolders(L"C:\\Users\\zhang\\AppData\\Local\\Temp\\", system),
              Strings{L"C:\\Users\\zhang\\AppData\\Local\\Temp\\"});
    EXPECT_EQ(UserTemporaryFolders(L"c:\\windows\\TEMP\\", system), Strings{});
    EXPECT_EQ(UserTemporaryFolders(L"C:\\Windows\\SystemTemp", system), Strings{});
    EXPECT_EQ(UserTemporaryFolders(L"C:\\Windows\\Temp\\Sub", system), Strings{L"C:\\Windows\\Temp\\Sub"});

    // SystemTemp counts where Windows has made it.
    if (Exists(windows + L"SystemTemp")) GTEST_SKIP() << "the sandbox has a SystemTemp of its own";
    EXPECT_EQ(SystemTemporaryFolders(windows), Strings{windows + L"Temp"});
    TMadeFolder systemTemp(windows + L"SystemTemp");
    EXPECT_EQ(SystemTemporaryFolders(windows), (Strings{windows + L"Temp", windows + L"SystemTemp"}));
    TMadeFolder temp(windows + L"Temp\\vt-system-" + Pid());
    const std::wstring inTemp = temp.AddFile(L"setup.dat");
    const std::wstring inSystemTemp = systemTemp.AddFile(L"vt-system-" + Pid() + L".dat");
    for (const std::wstring& folder : {windows + L"Temp\\", windows + L"SystemTemp\\"}) {
        TScopedEnvironment tmp(L"TMP", folder);
        TScopedEnvironment tempVariable(L"TEMP", folder);
        ASSERT_TRUE(SamePathText(GetTempDirectory(), folder)) << testing::PrintToString(GetTempDirectory());
        EXPECT_EQ(Make<TEmptyUserTemporaryDirectory>()->Masks, L"") << testing::PrintToString(folder);
        TCleanupList list;
        list.AddAction(TCleanupCustomItem::ClassOf<TEmptyUserTemporaryDirectory>(), true);
        list.AddAction(TCleanupCustomItem::ClassOf<TEmptyWindowsTemporaryDirectory>(), true);
        for (const std::wstring& file : {inTemp, inSystemTemp}) {
            EXPECT_TRUE(list.AddFoundFile(file, L"None")) << testing::PrintToString(file);
            EXPECT_TRUE(dynamic_cast<TCleanupFileMaskItem&>(list.Items(0)).FoundFiles.empty());
            EXPECT_EQ(dynamic_cast<TCleanupFileMaskItem&>(list.Items(1)).FoundFiles.size(), file == inTemp ? 1u : 2u);
        }
    }
}

// ------------------------------------------------------------ availability

TEST(FileMaskCatalogueAvailability, ProductRegistryKeys) {
    struct TCase {
        HKEY Root;
        const wchar_t* Key;
        bool (*IsAvailable)();
    };
    const TCase cases[] = {
        {HKEY_LOCAL_MACHINE, L"SOFTWARE\\RealNetworks\\RealPlayer", &TClearRealOnePlayerHistory::IsAvailable},
        {HKEY_LOCAL_MACHINE, L"Software\\Oracle", &TDeleteOracleClientLogFiles::IsAvailable},
        {HKEY_CURRENT_USER, L"Software\\Borland\\BDS", &TDeleteTemporaryBDSFiles::IsAvailable},
    };
    TSandboxLock lock(L"ProductKeys");  // the 32-bit view test makes the same products appear
    for (const auto& c : cases) {
        SCOPED_TRACE(testing::Message() << "key " << testing::PrintToString(std::wstring(c.Key)));
        {
            const bool existed = RegistryKeyExists(c.Root, c.Key);
            TScratchRegistryKey key(c.Root, c.Key);
            ASSERT_TRUE(key.Exists());
            if (existed) continue;  // the product is really there; nothing to learn
            EXPECT_TRUE(c.IsAvailable());
        }
        EXPECT_FALSE(c.IsAvailable());
    }
}

// 32-bit RealPlayer and Oracle clients register in the 32-bit view
// (Software\Wow6432Node), which this 64-bit program only sees when it asks.
TEST(FileMaskCatalogueAvailability, ProductKeysInThe32BitRegistryView) {
    struct TCase {
        const wchar_t* Key;
        const wchar_t* MadeFrom;  // the part of Key made (and deleted) by the test
        bool (*IsAvailable)();
    };
    const TCase cases[] = {
        {L"Software\\RealNetworks\\RealPlayer", L"Software\\RealNetworks", &TClearRealOnePlayerHistory::IsAvailable},
        {L"Software\\Oracle", L"Software\\Oracle", &TDeleteOracleClientLogFiles::IsAvailable},
    };
    auto opens = [](const wchar_t* key, REGSAM view) {
        HKEY handle = nullptr;
        if (::RegOpenKeyExW(HKEY_LOCAL_MACHINE, key, 0, KEY_READ | view, &handle) != ERROR_SUCCESS) return false;
        ::RegCloseKey(handle);
        return true;
    };
    TSandboxLock lock(L"ProductKeys");
    for (const auto& c : cases) {
        SCOPED_TRACE(testing::Message() << "key " << testing::PrintToString(std::wstring(c.Key)));
        if (opens(c.MadeFrom, KEY_WOW64_64KEY) || opens(c.MadeFrom, KEY_WOW64_32KEY)) continue;  // really there
        HKEY key = nullptr;
        ASSERT_EQ(::RegCreateKeyExW(HKEY_LOCAL_MACHINE, c.Key, 0, nullptr, 0, KEY_ALL_ACCESS | KEY_WOW64_32KEY, nullptr,
                                    &key, nullptr),
                  ERROR_SUCCESS);
        ::RegCloseKey(key);
        EXPECT_FALSE(opens(c.Key, KEY_WOW64_64KEY)) << "the views are not separate here";
        EXPECT_TRUE(c.IsAvailable());
        EXPECT_TRUE(RegistryKeyExists(HKEY_LOCAL_MACHINE, std::wstring(L"\\") + c.Key));
        // Deepest first: RealPlayer, then RealNetworks.
        for (std::wstring path = c.Key; path.size() >= wcslen(c.MadeFrom); path.resize(path.rfind(L'\\')))
            EXPECT_EQ(::RegDeleteKeyExW(HKEY_LOCAL_MACHINE, path.c_str(), KEY_WOW64_32KEY, 0), ERROR_SUCCESS);
        EXPECT_FALSE(opens(c.MadeFrom, KEY_WOW64_32KEY));
        EXPECT_FALSE(c.IsAvailable());
    }
}

TEST(FileMaskCatalogueAvailability, JavaCacheAndPrefetchFolders) {
    const std::wstring profileCache = GetSpecialFolder(CSIDL_PROFILE) + L".jpi_cache";
    const std::wstring appDataCache = GetSpecialFolder(CSIDL_APPDATA) + L"Sun\\Java\\Deployment\\cache";
    ASSERT_TRUE(OnC(profileCache));
    ASSERT_TRUE(OnC(appDataCache));
    if (Exists(profileCache) || Exists(appDataCache)) GTEST_SKIP() << "a Java cache exists already";
    EXPECT_FALSE(TEmptyJavaCache::IsAvailable());
    {
        TMadeFolder folder(profileCache);
        EXPECT_TRUE(TEmptyJavaCache::IsAvailable());
    }
    {
        TMadeFolder folder(appDataCache);
        EXPECT_TRUE(TEmptyJavaCache::IsAvailable());
    }
    {
        // A file of that name is not the folder.
        TMadeFolder profile(GetSpecialFolder(CSIDL_PROFILE));
        profile.AddFile(L".jpi_cache");
        EXPECT_FALSE(TEmptyJavaCache::IsAvailable());
    }
    EXPECT_FALSE(TEmptyJavaCache::IsAvailable());

    const std::wstring prefetch = GetWindowsDir() + L"Prefetch";
    ASSERT_TRUE(OnC(prefetch));
    const bool hadPrefetch = Exists(prefetch);
    EXPECT_EQ(TEmptyPrefetchAppCache::IsAvailable(), hadPrefetch);
    {
        TMadeFolder folder(prefetch);
        EXPECT_TRUE(TEmptyPrefetchAppCache::IsAvailable());
    }
    EXPECT_EQ(TEmptyPrefetchAppCache::IsAvailable(), hadPrefetch);
}

// A secure temporary folder at a drive root or in the profile gives no mask.
TEST(FileMaskCatalogueOutlook, SecureTempFolderThatIsNoTemporaryFolderGivesNoMask) {
    TSandboxLock lock(L"OutlookKeys");
    auto keyOf = [](int version) {
        return L"Software\\Microsoft\\Office\\" + std::to_wstring(version) + L".0\\Outlook\\Security";
    };
    for (int version = 8; version <= 12; ++version)
        if (RegistryKeyExists(HKEY_CURRENT_USER, keyOf(version))) GTEST_SKIP() << "Outlook keys exist already";
    TScratchRegistryKey key8(HKEY_CURRENT_USER, keyOf(8));
    key8.SetString(L"OutlookSecureTempFolder", L"C:\\");
    TScratchRegistryKey key12(HKEY_CURRENT_USER, keyOf(12));
    key12.SetString(L"OutlookSecureTempFolder", L"%USERPROFILE%", REG_EXPAND_SZ);
    EXPECT_EQ(Make<TEmptyOutlookSecureTempDirectory>()->Masks, L"");
}

// Masks come from versions 8 to 12 whose folder exists; availability asks for 9 to 11 only.
TEST(FileMaskCatalogueOutlook, SecureTempFoldersFromTheRegistry) {
    TSandboxLock lock(L"OutlookKeys");  // the Outlook action's tests look at the same keys
    auto keyOf = [](int version) {
        return L"Software\\Microsoft\\Office\\" + std::to_wstring(version) + L".0\\Outlook\\Security";
    };
    for (int version = 8; version <= 13; ++version)
        if (RegistryKeyExists(HKEY_CURRENT_USER, keyOf(version))) GTEST_SKIP() << "Outlook keys exist already";

    const std::wstring base = GetTempDirectory() + L"vt-catalogue-outlook-" + Pid();
    ASSERT_TRUE(OnC(base));
    TMadeFolder folder8(base + L"\\OLK[8]");
    TMadeFolder folder12(base + L"\\OLK12");
    TMadeFolder folder13(base + L"\\OLK13");
    const std::wstring file8 = folder8.AddFile(L"attachment.doc");
    TScopedEnvironment variable(L"VT_OUTLOOK_TEMP", folder12.Path());

    TScratchRegistryKey key13(HKEY_CURRENT_USER, keyOf(13));
    key13.SetString(L"OutlookSecureTempFolder", folder13.Path() + L"\\");
    TScratchRegistryKey key12(HKEY_CURRENT_USER, keyOf(12));
    key12.SetString(L"OutlookSecureTempFolder", L"%VT_OUTLOOK_TEMP%", REG_EXPAND_SZ);
    TScratchRegistryKey key8(HKEY_CURRENT_USER, keyOf(8));
    key8.SetString(L"OutlookSecureTempFolder", folder8.Path());

    EXPECT_FALSE(TEmptyOutlookSecureTempDirectory::IsAvailable());
    auto item = Make<TEmptyOutlookSecureTempDirectory>();
    EXPECT_EQ(ListFromCommaText(item->Masks),
              (Strings{FolderContentMask(folder8.Path()), FolderContentMask(folder12.Path())}));
    EXPECT_TRUE(Catches(*item, file8));

    {
        // A version 10 key makes the action available; its missing folder adds no mask.
        TScratchRegistryKey key10(HKEY_CURRENT_USER, keyOf(10));
        key10.SetString(L"OutlookSecureTempFolder", base + L"\\gone\\");
        EXPECT_TRUE(TEmptyOutlookSecureTempDirectory::IsAvailable());
        EXPECT_EQ(ListFromCommaText(Make<TEmptyOutlookSecureTempDirectory>()->Masks),
                  ListFromCommaText(item->Masks));
    }
    EXPECT_FALSE(TEmptyOutlookSecureTempDirectory::IsAvailable());
}
