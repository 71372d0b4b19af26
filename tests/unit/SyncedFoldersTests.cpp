// The folders sync clients mirror, read from their settings as each client
// writes them, laid out in a scratch folder and a registry key of the test's
// own; and the walk that leaves them out like excluded folders.
#include "catalogue/SyncedFolders.h"

#include "engine/OrvDirectoryReader.h"
#include "platform/Registry.h"
#include "platform/Utf8.h"
#include "SandboxTestSupport.h"

#include <gtest/gtest.h>
#include <sqlite3.h>
#include <windows.h>

#include <algorithm>
#include <string>
#include <vector>

namespace {

const std::wstring UserSid = L"S-1-5-21-1004336348-1177238915-682003330-1001";

std::string JsonEscaped(const std::wstring& path) {
    std::string text;
    for (char c : ToUtf8(path)) {
        if (c == '\\') text += '\\';
        text += c;
    }
    return text;
}

std::wstring FromUtf8Test(const std::string& text) {
    std::wstring wide(text.size(), L'\0');
    wide.resize(static_cast<size_t>(
        ::MultiByteToWideChar(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), wide.data(), static_cast<int>(wide.size()))));
    return wide;
}

class SyncedFoldersTest : public ::testing::Test {
protected:
    void SetUp() override {
        Root = Scratch.Path();
        for (const wchar_t* folder : {L"Local", L"Roaming", L"Profile", L"Profile\\iCloudDrive", L"OneDrive - Personal",
                                      L"OneDriveWin7", L"Dropbox", L"Dropbox (Team)", L"Old Dropbox", L"My Drive Mirror",
                                      L"Photos", L"GDrive", L"Nextcloud", L"Elsewhere"})
            ASSERT_TRUE(CreateDirectoryTree(Root + folder));
        KeyPath = L"Software\\VantrelTests\\Synced" + std::to_wstring(::GetCurrentProcessId());
        ASSERT_EQ(::RegCreateKeyExW(HKEY_CURRENT_USER, (KeyPath + L"\\HKLM").c_str(), 0, nullptr, 0, KEY_ALL_ACCESS,
                                    nullptr, Machine.Receive(), nullptr),
                  ERROR_SUCCESS);
        ASSERT_EQ(::RegCreateKeyExW(HKEY_CURRENT_USER, (KeyPath + L"\\HKCU").c_str(), 0, nullptr, 0, KEY_ALL_ACCESS,
                                    nullptr, User.Receive(), nullptr),
                  ERROR_SUCCESS);
        Places.LocalMachine = Machine.Get();
        Places.CurrentUser = User.Get();
        Places.UserSid = UserSid;
        Places.LocalAppData = Root + L"Local";
        Places.AppData = Root + L"Roaming";
        Places.UserProfile = Root + L"Profile";
    }
    void TearDown() override {
        Machine.Reset();
        User.Reset();
        ::RegDeleteTreeW(HKEY_CURRENT_USER, KeyPath.c_str());
    }

    void SetString(HKEY root, const std::wstring& key, const wchar_t* name, const std::wstring& value) {
        TRegKey opened;
        ASSERT_EQ(::RegCreateKeyExW(root, key.c_str(), 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, opened.Receive(), nullptr),
                  ERROR_SUCCESS);
        ASSERT_EQ(::RegSetValueExW(opened.Get(), name, 0, REG_SZ, reinterpret_cast<const BYTE*>(value.c_str()),
                                   static_cast<DWORD>((value.size() + 1) * sizeof(wchar_t))),
                  ERROR_SUCCESS);
    }

    // Google Drive for desktop's root_preference_sqlite.db, its roots table as the client makes it.
    void MakeDriveFsDatabase(const std::vector<std::wstring>& mirrors) {
        ASSERT_TRUE(CreateDirectoryTree(Root + L"Local\\Google\\DriveFS"));
        sqlite3* db = nullptr;
        ASSERT_EQ(sqlite3_open_v2(ToUtf8(Root + L"Local\\Google\\DriveFS\\root_preference_sqlite.db").c_str(), &db,
                                  SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE, nullptr),
                  SQLITE_OK);
        std::string sql =
            "CREATE TABLE roots (root_id INTEGER PRIMARY KEY, account_token TEXT, media_id INTEGER, title TEXT, "
            "root_path TEXT, sync_type INTEGER, destination INTEGER, last_seen_absolute_path TEXT, "
            "state INTEGER, one_shot INTEGER, doc_id TEXT);"
            "CREATE TABLE media (media_id INTEGER PRIMARY KEY, fs_type INTEGER, name TEXT, last_mount_point TEXT);"
            "CREATE TABLE max_ids (id_type TEXT PRIMARY KEY, value INTEGER);";
        int id = 1;
        for (const auto& mirror : mirrors) {
            std::string path = ToUtf8(mirror);
            const int row = id++;
            sql += "INSERT INTO roots VALUES (" + std::to_string(row) +
                   ", '103371920434920983011', 1, 'mirror', '" + path.substr(3) + "', 1, " + (row == 1 ? "1" : "2") +
                   ", '" + path + "', 1, 0, NULL);";
        }
        ASSERT_EQ(sqlite3_exec(db, sql.c_str(), nullptr, nullptr, nullptr), SQLITE_OK) << sqlite3_errmsg(db);
        sqlite3_close(db);
    }

    std::vector<std::pair<std::wstring, std::wstring>> Read() const {
        std::vector<std::pair<std::wstring, std::wstring>> found;
        for (const auto& folder : ReadSyncedFolders(Places)) found.emplace_back(folder.Path.substr(Root.size()), folder.Client);
        return found;
    }

    TScratchFolder Scratch{L"synced"};
    std::wstring Root, KeyPath;
    TRegKey Machine, User;
    TSyncedFolderPlaces Places;
};

using TFound = std::vector<std::pair<std::wstring, std::wstring>>;

}  // namespace

TEST_F(SyncedFoldersTest, NothingSetUpNamesNothing) {
    ::RemoveDirectoryW((Root + L"Profile\\iCloudDrive").c_str());
    EXPECT_TRUE(Read().empty());
}

TEST_F(SyncedFoldersTest, EveryClientsFoldersAreReadFromItsOwnSettings) {
    const std::wstring manager = L"SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Explorer\\SyncRootManager\\";
    // OneDrive with Files On-Demand: a registered sync root, one value per user.
    SetString(Machine.Get(), manager + L"OneDrive!" + UserSid + L"!Personal\\UserSyncRoots", UserSid.c_str(),
              Root + L"OneDrive - Personal");
    SetString(Machine.Get(), manager + L"OneDrive!" + UserSid + L"!Personal", L"DisplayNameResource", L"OneDrive - Personal");
    // Another user's root on this PC is not ours to keep.
    SetString(Machine.Get(), manager + L"OneDrive!S-1-5-21-9-9-9-1002!Personal\\UserSyncRoots", L"S-1-5-21-9-9-9-1002",
              Root + L"Elsewhere");
    // OneDrive's own accounts: the same folder again, and a Windows 7 one without a root.
    SetString(User.Get(), L"Software\\Microsoft\\OneDrive\\Accounts\\Personal", L"UserFolder", Root + L"OneDrive - Personal\\");
    SetString(User.Get(), L"Software\\Microsoft\\OneDrive\\Accounts\\Business1", L"UserFolder", Root + L"onedrivewin7");
    SetString(User.Get(), L"Software\\Microsoft\\OneDrive\\Accounts\\Business2", L"UserFolder", Root + L"Gone");
    // Dropbox's info.json, personal and business, in both places it may live.
    ASSERT_TRUE(CreateDirectoryTree(Root + L"Local\\Dropbox"));
    ASSERT_TRUE(CreateDirectoryTree(Root + L"Roaming\\Dropbox"));
    ASSERT_TRUE(WriteTestFile(Root + L"Local\\Dropbox\\info.json",
                              "{\"personal\": {\"path\": \"" + JsonEscaped(Root + L"Dropbox") +
                                  "\", \"host\": 5236403718, \"is_team\": false, \"subscription_type\": \"Basic\"}, "
                                  "\"business\": {\"path\": \"" + JsonEscaped(Root + L"Dropbox (Team)") +
                                  "\", \"host\": 5236403719, \"is_team\": true, \"subscription_type\": \"Business\"}}"));
    ASSERT_TRUE(WriteTestFile(Root + L"Roaming\\Dropbox\\info.json",
                              "{\"personal\":{\"path\":\"" + JsonEscaped(Root + L"Old Dropbox") + "\",\"host\":1}}"));
    // Google Drive for desktop: mirrored folders in its database (the \\?\ form
    // it writes), the streamed drive in its per-account preferences.
    MakeDriveFsDatabase({L"\\\\?\\" + Root + L"My Drive Mirror", L"\\\\?\\" + Root + L"Photos"});
    SetString(User.Get(), L"Software\\Google\\DriveFS", L"PerAccountPreferences",
              L"{\"per_account_preferences\":[{\"key\":\"103371920434920983011\",\"value\":{\"mount_point_path\":\"" +
                  FromUtf8Test(JsonEscaped(Root + L"GDrive")) +
                  L"\",\"machine_root_doc_id\":\"0AHsYcH7M\"}}]}");
    // Nextcloud's nextcloud.cfg, forward slashes and all.
    ASSERT_TRUE(CreateDirectoryTree(Root + L"Roaming\\Nextcloud"));
    std::string nextcloud = ToUtf8(Root + L"Nextcloud/");
    std::replace(nextcloud.begin(), nextcloud.end(), '\\', '/');
    ASSERT_TRUE(WriteTestFile(Root + L"Roaming\\Nextcloud\\nextcloud.cfg",
                              "[General]\r\nclientVersion=3.13.0\r\n\r\n[Accounts]\r\n0\\Folders\\1\\ignoreHiddenFiles=false\r\n"
                              "0\\Folders\\1\\localPath=" + nextcloud + "\r\n0\\Folders\\1\\paused=false\r\n"));

    EXPECT_EQ(Read(), (TFound{{L"OneDrive - Personal", L"OneDrive - Personal"},
                              {L"onedrivewin7", L"OneDrive"},
                              {L"Dropbox", L"Dropbox"},
                              {L"Dropbox (Team)", L"Dropbox"},
                              {L"Old Dropbox", L"Dropbox"},
                              {L"My Drive Mirror", L"Google Drive"},
                              {L"Photos", L"Google Drive"},
                              {L"GDrive", L"Google Drive"},
                              {L"Profile\\iCloudDrive", L"iCloud Drive"},
                              {L"Nextcloud", L"Nextcloud"}}));
}

// Broken settings name nothing and break nothing.
TEST_F(SyncedFoldersTest, BrokenSettingsAreNoFolders) {
    ::RemoveDirectoryW((Root + L"Profile\\iCloudDrive").c_str());
    ASSERT_TRUE(CreateDirectoryTree(Root + L"Local\\Dropbox"));
    ASSERT_TRUE(WriteTestFile(Root + L"Local\\Dropbox\\info.json", "{\"personal\": {\"path\": 12, \"host\": "));
    ASSERT_TRUE(CreateDirectoryTree(Root + L"Local\\Google\\DriveFS"));
    ASSERT_TRUE(WriteTestFile(Root + L"Local\\Google\\DriveFS\\root_preference_sqlite.db", "not a database"));
    SetString(User.Get(), L"Software\\Google\\DriveFS", L"PerAccountPreferences", L"{\"per_account_preferences\":[");
    SetString(User.Get(), L"Software\\Microsoft\\OneDrive\\Accounts\\Personal", L"UserFolder", L"relative\\folder");
    EXPECT_TRUE(Read().empty());
}

// The walk leaves a synced folder out as it leaves out an excluded one: the
// junk inside stays unfound, the junk beside it is found.
TEST_F(SyncedFoldersTest, TheWalkLeavesThemOutLikeExcludedFolders) {
    ASSERT_TRUE(WriteTestFile(Root + L"Dropbox\\report.bak", "d"));
    ASSERT_TRUE(WriteTestFile(Root + L"Profile\\iCloudDrive\\notes.tmp", "i"));
    ASSERT_TRUE(WriteTestFile(Root + L"Elsewhere\\old.bak", "e"));
    ASSERT_TRUE(CreateDirectoryTree(Root + L"Local\\Dropbox"));
    ASSERT_TRUE(WriteTestFile(Root + L"Local\\Dropbox\\info.json",
                              "{\"personal\": {\"path\": \"" + JsonEscaped(Root + L"dropbox") + "\", \"host\": 1}}"));
    const std::vector<std::wstring> own{Root + L"Photos"};
    std::vector<std::wstring> excluded = own;
    for (const auto& path : SyncedFolderPaths(ReadSyncedFolders(Places))) excluded.push_back(path);
    for (int threads : {1, 2}) {
        TDirReader reader;
        reader.Threads = threads;
        reader.Recursive = true;
        reader.FileMask = L"*.*";
        reader.ExcludedDirectories() = excluded;
        std::vector<std::wstring> files;
        reader.OnFile = [&](TDirReader*, const std::wstring& name) {
            if (name.find(L"\\Local\\") == std::wstring::npos) files.push_back(name.substr(Root.size()));
        };
        reader.SetDirectory(Root);
        reader.Start();
        EXPECT_EQ(files, std::vector<std::wstring>{L"Elsewhere\\old.bak"});
    }
}
