// winapp2.ini entries on a computer: where the files are read from, detection,
// which files an entry takes, and a cleanup that deletes exactly what the
// rules say (files, folders, registry) and nothing of a refused entry.
#include "catalogue/Winapp2Action.h"
#include "catalogue/Winapp2Rules.h"
#include "engine/SystemRoutines.h"
#include "platform/Handles.h"
#include "settings/VantrelData.h"
#include "settings/Winapp2Ticks.h"
#include "support/TempFolder.h"

#include <gtest/gtest.h>

#include <windows.h>

#include <algorithm>
#include <fstream>
#include <set>

namespace {

std::wstring NoSlash(std::wstring path) {
    while (!path.empty() && path.back() == L'\\') path.pop_back();
    return path;
}

// A small "computer" inside a scratch folder: its profile, program and Windows folders.
TWinapp2System SystemUnder(const std::wstring& root) {
    TWinapp2System s;
    TWinapp2Folders& f = s.Folders;
    f.UsersFolder = root + L"\\Users";
    f.UserProfile = f.UsersFolder + L"\\me";
    f.AppData = f.UserProfile + L"\\AppData\\Roaming";
    f.LocalAppData = f.UserProfile + L"\\AppData\\Local";
    f.LocalLowAppData = f.UserProfile + L"\\AppData\\LocalLow";
    f.ProgramData = root + L"\\ProgramData";
    f.ProgramFiles = {root + L"\\Program Files", root + L"\\Program Files (x86)"};
    f.CommonProgramFiles = {root + L"\\Program Files\\Common Files"};
    f.Documents = f.UserProfile + L"\\Documents";
    f.Public = f.UsersFolder + L"\\Public";
    f.WinDir = root + L"\\Windows";
    f.SystemDrive = L"C:";
    f.Temp = f.LocalAppData + L"\\Temp";
    f.UserName = L"me";
    s.KeyExists = [](const std::wstring& key) {
        const auto split = SplitWinapp2RegPath(key);
        return split && split->Hive == TWinapp2RegPath::rhCurrentUser &&
               RegistryKeyExists(HKEY_CURRENT_USER, split->SubKey);
    };
    s.PathExists = Winapp2PathExists;
    return s;
}

void WriteBytes(const std::wstring& path, const std::string& bytes) {
    HANDLE file = ::CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    ASSERT_NE(file, INVALID_HANDLE_VALUE);
    DWORD written = 0;
    ::WriteFile(file, bytes.data(), static_cast<DWORD>(bytes.size()), &written, nullptr);
    ::CloseHandle(file);
}

std::string Utf16Le(const std::wstring& text) {
    std::string out = "\xFF\xFE";
    for (wchar_t c : text) {
        out += static_cast<char>(c & 0xFF);
        out += static_cast<char>((c >> 8) & 0xFF);
    }
    return out;
}

// Every file below Folder, as the reading pass would report them.
void WalkFiles(const std::wstring& folder, std::vector<std::wstring>& files) {
    WIN32_FIND_DATAW data;
    HANDLE find = ::FindFirstFileW((folder + L"\\*").c_str(), &data);
    if (find == INVALID_HANDLE_VALUE) return;
    do {
        const std::wstring name = data.cFileName;
        if (name == L"." || name == L"..") continue;
        if (data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY)
            WalkFiles(folder + L"\\" + name, files);
        else
            files.push_back(folder + L"\\" + name);
    } while (::FindNextFileW(find, &data));
    ::FindClose(find);
}

// Ten days old by all three of its times.
void MakeOld(const std::wstring& path) {
    FILETIME now;
    ::GetSystemTimeAsFileTime(&now);
    ULARGE_INTEGER t{{now.dwLowDateTime, now.dwHighDateTime}};
    t.QuadPart -= 10ULL * 24 * 3600 * 10000000ULL;
    const FILETIME old{t.LowPart, t.HighPart};
    HANDLE file = ::CreateFileW(path.c_str(), FILE_WRITE_ATTRIBUTES, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                                OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr);
    ::SetFileTime(file, &old, &old, &old);
    ::CloseHandle(file);
}

bool Exists(const std::wstring& path) { return ::GetFileAttributesW(path.c_str()) != INVALID_FILE_ATTRIBUTES; }

std::wstring TestKey() { return L"Software\\VantrelTests\\Winapp2-" + std::to_wstring(::GetCurrentProcessId()); }

void SetValue(const std::wstring& subKey, const std::wstring& name) {
    HKEY key = nullptr;
    ASSERT_EQ(::RegCreateKeyExW(HKEY_CURRENT_USER, subKey.c_str(), 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &key, nullptr),
              ERROR_SUCCESS);
    const wchar_t data[] = L"x";
    ::RegSetValueExW(key, name.c_str(), 0, REG_SZ, reinterpret_cast<const BYTE*>(data), sizeof(data));
    ::RegCloseKey(key);
}

bool ValueExists(const std::wstring& subKey, const std::wstring& name) {
    return ::RegGetValueW(HKEY_CURRENT_USER, subKey.c_str(), name.c_str(), RRF_RT_ANY, nullptr, nullptr, nullptr) ==
           ERROR_SUCCESS;
}

struct TRuleSourceGuard {
    ~TRuleSourceGuard() { TCleanupWinapp2Item::RuleSource() = nullptr; }
};

}  // namespace

TEST(Winapp2Rules, TheSettingsFolderWinsAndAnyLetterCaseIsRead) {
    TTempFolder tmp(L"w2load");
    const std::wstring exe = tmp.CreateFolder(L"program"), settings = tmp.CreateFolder(L"settings");
    WriteBytes(NoSlash(exe) + L"\\Winapp2.INI", "[Shared *]\nFileKey1=C:\\from-exe|*.tmp\n[Only Exe *]\nFileKey1=C:\\e|*.log\n");
    WriteBytes(NoSlash(settings) + L"\\WINAPP2.ini",
               Utf16Le(L"[shared *]\r\nFileKey1=C:\\from-settings|*.tmp\r\n[Only Settings *]\r\nFileKey1=C:\\s|*.log\r\n"));
    TWinapp2RuleSet rules;
    rules.LoadFolders({NoSlash(exe), NoSlash(settings), NoSlash(tmp.Path()) + L"\\missing"},
                      SystemUnder(NoSlash(tmp.Path())));
    ASSERT_EQ(rules.Files.size(), 2u);
    ASSERT_EQ(rules.Rules.size(), 3u);
    const int shared = rules.Find(L"SHARED *");
    ASSERT_GE(shared, 0);
    EXPECT_EQ(rules.Rules[shared].Entry.FileKeys[0].Path, L"C:\\from-settings");
    EXPECT_NE(rules.Rules[shared].Source.find(L"settings"), std::wstring::npos);
    EXPECT_GE(rules.Find(L"Only Exe *"), 0);
    EXPECT_GE(rules.Find(L"Only Settings *"), 0);
}

TEST(Winapp2Rules, AnEntryIsOfferedWhenAnyDetectionHolds) {
    TTempFolder tmp(L"w2detect");
    const std::wstring root = NoSlash(tmp.Path());
    TWinapp2System system = SystemUnder(root);
    std::set<std::wstring> keys = {L"HKCU\\Software\\Present"};
    system.KeyExists = [&](const std::wstring& key) { return keys.count(key) > 0; };
    system.Major = 6;
    system.Minor = 1;
    tmp.CreateFile(L"Users\\me\\AppData\\Roaming\\Vendor7\\App.exe");
    tmp.CreateFolder(L"Users\\me\\AppData\\Local\\Google\\Chrome\\User Data");
    tmp.CreateFolder(L"Users\\me\\AppData\\Roaming\\Mozilla\\Firefox");
    TWinapp2RuleSet rules;
    rules.AddText(L"[NoDetection *]\nFileKey1=C:\\x|*.tmp\n"
                  L"[KeyAbsent *]\nDetect=HKCU\\Software\\Absent\n"
                  L"[SecondKey *]\nDetect1=HKCU\\Software\\Absent\nDetect2=HKCU\\Software\\Present\n"
                  L"[FileWild *]\nDetectFile=%AppData%\\Vendor?\\*.exe\n"
                  L"[FileAbsent *]\nDetectFile=%AppData%\\Vendor7\\Other.exe\n"
                  L"[KeyOrFile *]\nDetect=HKCU\\Software\\Absent\nDetectFile=%AppData%\\Vendor7\n"
                  L"[Chrome *]\nSpecialDetect=DET_CHROME\n"
                  L"[Firefox *]\nSpecialDetect=DET_FIREFOX\n"
                  L"[TooOld *]\nDetectOS=|6.0\n"
                  L"[NewEnough *]\nDetectOS=6.1|\nDetect=HKCU\\Software\\Present\n"
                  L"[WrongOs *]\nDetectOS=6.2|\nDetect=HKCU\\Software\\Present\n"
                  L"[Mozilla *]\nSpecialDetect=DET_MOZILLA\n"
                  L"[Exactly7 *]\nDetectOS=6.1\n"
                  L"[Exactly8 *]\nDetectOS=6.2\n"
                  L"[Unknown *]\nSpecialDetect=DET_NOBODY\n"
                  L"[UnknownAgain *]\nSpecialDetect=DET_NOBODY\nDetect=HKCU\\Software\\Present\n",
                  L"test", system);
    rules.Prepare(system);
    std::set<std::wstring> offered;
    for (const auto& rule : rules.Rules)
        if (rule.Offered()) offered.insert(rule.Entry.Name);
    EXPECT_EQ(offered, (std::set<std::wstring>{L"NoDetection *", L"SecondKey *", L"FileWild *", L"KeyOrFile *",
                                               L"Chrome *", L"Firefox *", L"NewEnough *", L"Mozilla *",
                                               L"Exactly7 *", L"UnknownAgain *"}));
    // An unknown value is noted once, however many entries use it.
    EXPECT_EQ(rules.UnknownSpecialDetects, std::vector<std::wstring>{L"DET_NOBODY"});
}

TEST(Winapp2Rules, WhichFilesAnEntryTakes) {
    TTempFolder tmp(L"w2match");
    const std::wstring root = NoSlash(tmp.Path());
    const TWinapp2System system = SystemUnder(root);
    TWinapp2RuleSet rules;
    rules.AddText(L"[Flat *]\nFileKey1=%LocalAppData%\\App\\Logs|*.log;*.txt\n"
                  L"[Deep *]\nFileKey1=%LocalAppData%\\App\\Cache|*.*|RECURSE\n"
                  L"ExcludeKey1=PATH|%LocalAppData%\\App\\Cache\\Keep\\|*.*\n"
                  L"ExcludeKey2=FILE|%LocalAppData%\\App\\Cache\\|index.dat\n"
                  L"[Wild *]\nFileKey1=%LocalAppData%\\*\\Crash?|*.dmp\n"
                  L"[Split *]\nFileKey1=%LocalAppData%\\Split|*|RECURSE\n"
                  L"ExcludeKey1=FILE|%LocalAppData%\\Split\\|*.ini;*.bak\n"
                  L"[Dots *]\nFileKey1=%LocalAppData%\\Dots|.*\nFileKey2=%LocalAppData%\\NoExt|*.\n"
                  L"[Root *]\nFileKey1=" + root.substr(0, 2) + L"\\*.vttmp|*|REMOVESELF\n",
                  L"test", system);
    rules.Prepare(system);
    std::wstring local = system.Folders.LocalAppData;
    for (auto& c : local)
        if (c >= L'a' && c <= L'z') c = static_cast<wchar_t>(c - 32);
    const auto takers = [&](const std::wstring& relative) {
        std::wstring path = local + L"\\" + relative;
        for (auto& c : path)
            if (c >= L'a' && c <= L'z') c = static_cast<wchar_t>(c - 32);
        std::vector<uint32_t> matched;
        rules.MatchFile(path, matched);
        std::vector<std::wstring> names;
        for (uint32_t i : matched) names.push_back(rules.Rules[i].Entry.Name);
        return names;
    };
    using V = std::vector<std::wstring>;
    EXPECT_EQ(takers(L"APP\\LOGS\\A.LOG"), V{L"Flat *"});
    EXPECT_EQ(takers(L"APP\\LOGS\\A.TXT"), V{L"Flat *"});
    EXPECT_EQ(takers(L"APP\\LOGS\\A.DAT"), V{});
    EXPECT_EQ(takers(L"APP\\LOGS\\OLD\\A.LOG"), V{});  // no RECURSE
    EXPECT_EQ(takers(L"APP\\CACHE\\X"), V{L"Deep *"});
    EXPECT_EQ(takers(L"APP\\CACHE\\A\\B\\X.BIN"), V{L"Deep *"});
    EXPECT_EQ(takers(L"APP\\CACHE\\KEEP\\X.BIN"), V{});
    EXPECT_EQ(takers(L"APP\\CACHE\\KEEP\\SUB\\X.BIN"), V{});
    EXPECT_EQ(takers(L"APP\\CACHE\\INDEX.DAT"), V{});
    EXPECT_EQ(takers(L"APP\\CACHE\\SUB\\INDEX.DAT"), V{L"Deep *"});  // FILE excludes one folder only
    EXPECT_EQ(takers(L"APP\\CACHEX\\X"), V{});
    EXPECT_EQ(takers(L"OTHER\\CRASH1\\A.DMP"), V{L"Wild *"});
    EXPECT_EQ(takers(L"OTHER\\SUB\\CRASH1\\A.DMP"), V{});
    EXPECT_EQ(takers(L"OTHER\\CRASH12\\A.DMP"), V{});
    // ExcludeKey patterns split on ";": each kind is kept.
    EXPECT_EQ(takers(L"SPLIT\\A.INI"), V{});
    EXPECT_EQ(takers(L"SPLIT\\A.BAK"), V{});
    EXPECT_EQ(takers(L"SPLIT\\A.LOG"), V{L"Split *"});
    EXPECT_EQ(takers(L"SPLIT\\SUB\\A.INI"), V{L"Split *"});
    // ".*": names beginning with a dot; "*.": names without an extension. Neither is every name.
    EXPECT_EQ(takers(L"DOTS\\.HIDDEN"), V{L"Dots *"});
    EXPECT_EQ(takers(L"DOTS\\A.TXT"), V{});
    EXPECT_EQ(takers(L"NOEXT\\README"), V{L"Dots *"});
    EXPECT_EQ(takers(L"NOEXT\\A.TXT"), V{});
    // A rule at a drive's root is tried only where its first part fits.
    std::vector<uint32_t> matched;
    const std::wstring drive = root.substr(0, 2);
    rules.MatchFile(drive + L"\\X.VTTMP\\SUB\\A.BIN", matched);
    EXPECT_EQ(matched.size(), 1u);
    rules.MatchFile(drive + L"\\X.OTHER\\A.VTTMP", matched);
    EXPECT_EQ(matched.size(), 0u);
    const std::vector<std::wstring> masks = rules.FolderMasks();
    EXPECT_NE(std::find(masks.begin(), masks.end(), drive + L"\\*.VTTMP\\*"), masks.end());
    EXPECT_EQ(std::find(masks.begin(), masks.end(), drive + L"\\*"), masks.end());
}

TEST(Winapp2Cleanup, DeletesExactlyWhatTheTickedRulesSay) {
    TTempFolder tmp(L"w2clean");
    const std::wstring root = NoSlash(tmp.Path());
    const TWinapp2System system = SystemUnder(root);
    const std::wstring key = TestKey();
    ::RegDeleteTreeW(HKEY_CURRENT_USER, key.c_str());
    SetValue(key + L"\\Chat", L"LastFile");
    SetValue(key + L"\\Chat", L"Neighbour");
    SetValue(key + L"\\Chat\\Recent", L"1");
    SetValue(key + L"\\Chat\\Recent\\Deep", L"2");
    SetValue(key + L"\\Chat\\Recent\\Keep", L"3");
    SetValue(key + L"\\Chat\\Recent\\Mixed", L"Stay");
    SetValue(key + L"\\Chat\\Recent\\Mixed", L"Go");
    SetValue(key + L"\\ChatNeighbour", L"x");

    const std::wstring local = L"Users\\me\\AppData\\Local\\";
    for (const wchar_t* file : {L"Chat\\Cache\\a.tmp", L"Chat\\Cache\\sub\\b.bin", L"Chat\\Cache\\Keep\\k.bin",
                                L"Chat\\Logs\\x.log", L"Chat\\Logs\\keep.log", L"Chat\\Logs\\old\\z.log",
                                L"Chat\\Logs\\x.txt", L"Player\\Thumbs\\1.jpg", L"Player\\Thumbs\\a\\b\\2.jpg",
                                L"Player\\Thumbs\\c\\INSTALL.LOG", L"Player\\Fresh\\new.jpg", L"Other\\x.log",
                                L"Unticked\\u.log", L"Excluded\\Stay\\e.log"})
        MakeOld(tmp.CreateFile(local + file));
    tmp.CreateFolder(local + L"Player\\Thumbs\\empty\\deeper");
    tmp.CreateFolder(local + L"Excluded\\Stay\\empty");
    tmp.CreateFile(local + L"Player\\Fresh\\recent.jpg");  // used just now: protected by the week rule
    const std::wstring k = L"HKCU\\" + key;
    TRuleSourceGuard guard;
    TCleanupWinapp2Item::RuleSource() = [&](TWinapp2RuleSet& rules) {
        rules.AddText(L"[Chat *]\nLangSecRef=3022\nDetect=" + k + L"\\Chat\n"
                      L"FileKey1=%LocalAppData%\\Chat\\Cache|*.*|REMOVESELF\n"
                      L"FileKey2=%LocalAppData%\\Chat\\Logs|*.log\n"
                      L"ExcludeKey1=PATH|%LocalAppData%\\Chat\\Cache\\Keep\\|*.*\n"
                      L"ExcludeKey2=FILE|%LocalAppData%\\Chat\\Logs\\|keep.log\n"
                      L"ExcludeKey3=REG|" + k + L"\\Chat\\Recent\\Keep\n"
                      L"ExcludeKey4=REG|" + k + L"\\Chat\\Recent\\Mixed|Stay\n"
                      L"RegKey1=" + k + L"\\Chat\\Recent\n"
                      L"RegKey2=" + k + L"\\Chat|LastFile\n"
                      L"[Player *]\nFileKey1=%LocalAppData%\\Player\\Thumbs|*.*|REMOVESELF\n"
                      L"FileKey2=%LocalAppData%\\Player\\Fresh|*.jpg|REMOVESELF\n"
                      L"[Refused *]\nFileKey1=%LocalAppData%\\Other|x.log\nFileKey2=%LocalAppData%|*.*\n"
                      L"RegKey1=" + k + L"\\ChatNeighbour\n"
                      L"[Unticked *]\nFileKey1=%LocalAppData%\\Unticked|*.log\n"
                      L"[Excluded *]\nFileKey1=%LocalAppData%\\Excluded|*.*|REMOVESELF\n"
                      L"[Not Installed *]\nDetect=" + k + L"\\Nothing\nFileKey1=%LocalAppData%\\Other|*.log\n"
                      // More wildcards than a mask may hold: the rule stays a rule, never a mask.
                      L"[Stars *]\nFileKey1=%LocalAppData%\\" + std::wstring(40, L'*') + L"a*b*c*d*e*f*g*h*i*j*k*l*m*n*o*p*q*r*s*t*u*v*w*x*y*z*1*2*3*4*5*6|*.x\n",
                      L"test", system);
        rules.Prepare(system);
    };
    TCleanupList list;
    auto& item = static_cast<TCleanupWinapp2Item&>(list.AddAction(TCleanupCustomItem::ClassOf<TCleanupWinapp2Item>(), false));
    ASSERT_EQ(item.Rules.Rules.size(), 7u);
    EXPECT_EQ(item.Rules.OfferedCount(), 6);
    EXPECT_EQ(item.Rules.RefusedCount(), 1);
    for (const wchar_t* name : {L"Chat *", L"Player *", L"Refused *", L"Excluded *", L"Not Installed *"})
        item.SetRuleChecked(static_cast<size_t>(item.Rules.Find(name)), true);
    // The reader never enters an excluded folder, so its files never arrive.
    item.ExcludedDirectories = {root + L"\\" + local + L"Excluded\\Stay"};
    std::vector<std::wstring> files;
    WalkFiles(root, files);
    // Unticked, the row costs a pass nothing: no masks, no entry sees a file.
    list.ClearFoundFiles();
    EXPECT_EQ(item.Masks, L"");
    for (const auto& file : files) EXPECT_FALSE(list.AddFoundFile(file, L"Week")) << file;
    EXPECT_EQ(item.Rules.Rules[static_cast<size_t>(item.Rules.Find(L"Chat *"))].FoundFiles.size(), 0u);
    list.SetChecked(0, true);
    EXPECT_EQ(item.GetState(), TCleanupItemState::csNotCounted);  // ticked after the pass began
    // Two reading passes: the second starts afresh, for the row and for every entry.
    for (int pass = 0; pass < 2; ++pass) {
        list.ClearFoundFiles();
        for (const auto& file : files)
            if (file.find(L"Excluded\\Stay") == std::wstring::npos) list.AddFoundFile(file, L"Week");
    }
    // Unticked entries list their files too; only the ticked ones' are the row's.
    const auto& unticked = item.Rules.Rules[static_cast<size_t>(item.Rules.Find(L"Unticked *"))];
    EXPECT_EQ(unticked.FoundFiles.size(), 1u);
    const auto& chat = item.Rules.Rules[static_cast<size_t>(item.Rules.Find(L"Chat *"))];
    EXPECT_EQ(chat.FoundFiles.size(), 3u);  // a.tmp, b.bin, x.log
    EXPECT_EQ(item.FoundFiles.size(), 6u);  // and 1.jpg, 2.jpg, new.jpg
    EXPECT_EQ(item.RowText(), L"清理其他应用程序 (winapp2.ini): 已选 3 项");

    EXPECT_NE(item.Masks, L"");
    list.ExecuteChecked();
    const std::wstring base = root + L"\\" + local;
    for (const wchar_t* gone : {L"Chat\\Cache\\a.tmp", L"Chat\\Cache\\sub", L"Chat\\Logs\\x.log", L"Player\\Thumbs\\1.jpg",
                                L"Player\\Thumbs\\a", L"Player\\Thumbs\\empty", L"Player\\Fresh\\new.jpg"})
        EXPECT_FALSE(Exists(base + gone)) << gone;
    for (const wchar_t* kept :
         {L"Chat\\Cache\\Keep\\k.bin", L"Chat\\Logs\\keep.log", L"Chat\\Logs\\old\\z.log", L"Chat\\Logs\\x.txt",
          L"Player\\Thumbs\\c\\INSTALL.LOG", L"Player\\Fresh\\recent.jpg", L"Other\\x.log", L"Unticked\\u.log",
          L"Excluded\\Stay\\e.log", L"Excluded\\Stay\\empty"})
        EXPECT_TRUE(Exists(base + kept)) << kept;
    // Folders holding something kept stay; the emptied tree of a protected file's folder goes around it.
    EXPECT_TRUE(Exists(base + L"Chat\\Cache"));
    EXPECT_TRUE(Exists(base + L"Player\\Thumbs"));
    EXPECT_FALSE(Exists(base + L"Player\\Thumbs\\empty\\deeper"));
    EXPECT_TRUE(Exists(base + L"Player\\Fresh"));

    EXPECT_FALSE(RegistryKeyExists(HKEY_CURRENT_USER, key + L"\\Chat\\Recent\\Deep"));
    EXPECT_TRUE(RegistryKeyExists(HKEY_CURRENT_USER, key + L"\\Chat\\Recent\\Keep"));
    EXPECT_TRUE(ValueExists(key + L"\\Chat\\Recent\\Keep", L"3"));
    EXPECT_TRUE(ValueExists(key + L"\\Chat\\Recent\\Mixed", L"Stay"));
    EXPECT_FALSE(ValueExists(key + L"\\Chat\\Recent\\Mixed", L"Go"));
    EXPECT_FALSE(ValueExists(key + L"\\Chat\\Recent", L"1"));
    EXPECT_FALSE(ValueExists(key + L"\\Chat", L"LastFile"));
    EXPECT_TRUE(ValueExists(key + L"\\Chat", L"Neighbour"));
    EXPECT_TRUE(ValueExists(key + L"\\ChatNeighbour", L"x"));  // the refused entry's key

    const std::vector<std::wstring> lines = item.OutcomeLogLines();
    ASSERT_EQ(lines.size(), 3u);  // Chat, Player, Excluded: the refused and missing ones never run
    EXPECT_EQ(lines[0], L"winapp2.ini \"Chat\": 删除了 3 个文件, 48 字节, 1 个文件夹, 4 个注册表项, 0 个文件无法删除。");
    const std::vector<std::wstring> loaded = item.LoadLogLines();
    ASSERT_EQ(loaded.size(), 3u);
    EXPECT_EQ(loaded[0], L"winapp2.ini: 读取了 7 个条目 (test), 检测到 6 个应用程序, 其中 1 个已拒绝, 已选 3 项。");
    EXPECT_TRUE(loaded[1].starts_with(L"winapp2.ini: 读取、检测和编译用时 ")) << loaded[1];
    EXPECT_NE(loaded[2].find(L"\"Refused\" 已拒绝: FileKey2 会清理受保护的文件夹"), std::wstring::npos);
    ::RegDeleteTreeW(HKEY_CURRENT_USER, key.c_str());
}

TEST(Winapp2Settings, TicksAreKeptByNameWhileTheirEntryIsAway) {
    ASSERT_TRUE(SUCCEEDED(::CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED)));
    struct TComDone {
        ~TComDone() { ::CoUninitialize(); }
    } comDone;
    TWinapp2System system;
    system.Folders.SystemDrive = L"C:";
    TWinapp2RuleSet rules;
    rules.AddText(L"[A *]\nFileKey1=C:\\a|*.tmp\n[B *]\nFileKey1=C:\\b|*.tmp\n[C *]\nDetect=HKCU\\Nope\n", L"t",
                  system);
    rules.Prepare(system);
    TXMLVantrelSettingsType settings = NewVantrelSettings();
    for (const auto& [name, enabled] : std::vector<std::pair<std::wstring, std::wstring>>{
             {L"a *", L"True"}, {L"Gone *", L"True"}, {L"C *", L"True"}, {L"A *", L"False"}}) {
        const auto item = settings.Winapp2Items().Add();
        item.SetName(name);
        item.SetEnabled(enabled);
    }
    LoadWinapp2Ticks(settings, rules);
    EXPECT_TRUE(rules.Rules[0].Checked);  // the first item of a name decides, whatever its case
    EXPECT_FALSE(rules.Rules[1].Checked);
    EXPECT_TRUE(rules.Rules[2].Checked);
    rules.Rules[0].Checked = false;
    rules.Rules[1].Checked = true;
    StoreWinapp2Ticks(settings, rules);
    std::vector<std::wstring> stored;
    for (const auto& item : settings.Winapp2Items().All()) stored.push_back(item.Name() + L"=" + item.Enabled());
    // Gone and the undetected C keep theirs; A is unticked now, B ticked.
    EXPECT_EQ(stored, (std::vector<std::wstring>{L"Gone *=True", L"C *=True", L"B *=True"}));
    // The old program's elements are untouched.
    EXPECT_EQ(settings.CleanupItems().Count(), 0);
}

// An entry name with a character XML forbids (winapp2.ini is anyone's text)
// is stored with U+FFFD in its place, and the stored name still finds the
// entry when the file is read again: the tick survives and the file reads.
TEST(Winapp2Settings, ANameWithAControlCharacterIsStoredReadablyAndStillFindsItsEntry) {
    ASSERT_TRUE(SUCCEEDED(::CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED)));
    struct TComDone {
        ~TComDone() { ::CoUninitialize(); }
    } comDone;
    TWinapp2System system;
    system.Folders.SystemDrive = L"C:";
    TWinapp2RuleSet rules;
    rules.AddText(L"[Ctl\x01Name *]\nFileKey1=C:\\a|*.tmp\n[Plain *]\nFileKey1=C:\\b|*.tmp\n", L"t", system);
    rules.Prepare(system);
    ASSERT_EQ(rules.Rules.size(), 2u);
    ASSERT_EQ(rules.Rules[0].Entry.Name, L"Ctl\x01Name *");
    rules.Rules[0].Checked = true;
    TTempFolder temp(L"w2xml");
    const std::wstring file = temp.Path() + L"Vantrel.cfg";
    TXMLVantrelSettingsType settings = NewVantrelSettings();
    StoreWinapp2Ticks(settings, rules);
    settings.SaveToFile(file);

    std::wstring error;
    TXMLVantrelSettingsType loaded = OpenVantrelSettings(file, error);
    ASSERT_EQ(error, L"");
    ASSERT_EQ(loaded.Winapp2Items().All().size(), 1u);
    EXPECT_EQ(loaded.Winapp2Items().All()[0].Name(), L"Ctl\xFFFDName *");
    rules.Rules[0].Checked = false;
    LoadWinapp2Ticks(loaded, rules);
    EXPECT_TRUE(rules.Rules[0].Checked);
    EXPECT_FALSE(rules.Rules[1].Checked);
    // Stored again, the entry replaces its own item rather than adding one.
    StoreWinapp2Ticks(loaded, rules);
    EXPECT_EQ(loaded.Winapp2Items().All().size(), 1u);
}

// A winapp2.ini another program holds locked is passed over, and the log says which and why.
TEST(Winapp2Settings, ALockedRulesFileIsSkippedAndNamedInTheLog) {
    TTempFolder temp(L"w2lock");
    const std::wstring file = temp.Path() + L"winapp2.ini";
    std::ofstream(file.c_str()) << "[A *]\nFileKey1=C:\\a|*.tmp\n";
    THandle held(::CreateFileW(file.c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_EXISTING, 0, nullptr));
    ASSERT_TRUE(held);
    TWinapp2System system;
    system.Folders.SystemDrive = L"C:";
    TWinapp2RuleSet rules;
    rules.LoadFolders({temp.Path()}, system);
    EXPECT_TRUE(rules.Files.empty());
    ASSERT_EQ(rules.UnreadFiles.size(), 1u);
    EXPECT_EQ(rules.UnreadFiles[0].rfind(file + L": ", 0), 0u);
    {
        // The row's log lines for /auto name it too.
        SetWinapp2FoldersForTesting({temp.Path()});
        struct TRestore {
            ~TRestore() { SetWinapp2FoldersForTesting({}); }
        } restore;
        const auto item = TCleanupCustomItem::ClassOf<TCleanupWinapp2Item>().Create();
        auto& winapp2 = static_cast<TCleanupWinapp2Item&>(*item);
        winapp2.WaitForRules();  // read on the row's worker
        const auto lines = winapp2.LoadLogLines();
        ASSERT_FALSE(lines.empty());
        EXPECT_EQ(lines[0].rfind(L"winapp2.ini 无法读取，已跳过: " + file + L": ", 0), 0u);
    }
    held = THandle();
    rules = TWinapp2RuleSet();
    rules.LoadFolders({temp.Path()}, system);
    EXPECT_TRUE(rules.UnreadFiles.empty());
    EXPECT_EQ(rules.Files.size(), 1u);
}
