// The folders sync clients mirror to the cloud. Every file there also lives in
// the cloud, plain as it looks (OneDrive without Files On-Demand or on Windows
// 7, Dropbox, Google Drive's mirror mode, iCloud Drive, Nextcloud): deleting
// it here deletes it everywhere. The reading pass leaves these folders out
// exactly as it leaves out an excluded folder; they are never written to the
// settings with the user's own exclusions.
#pragma once

#include <windows.h>

#include <string>
#include <vector>

struct TSyncedFolder {
    std::wstring Path;    // as the client stores it, "\\?\" dropped, no trailing backslash
    std::wstring Client;  // "OneDrive", "Dropbox", ..., or the sync root's registered name
};

// Where the clients' settings are read: the registry hives and the folders,
// so tests lay them out in a sandbox of their own.
struct TSyncedFolderPlaces {
    HKEY LocalMachine = HKEY_LOCAL_MACHINE;
    HKEY CurrentUser = HKEY_CURRENT_USER;
    std::wstring UserSid;       // "S-1-5-21-..."
    std::wstring LocalAppData;  // trailing backslash; empty: not read
    std::wstring AppData;
    std::wstring UserProfile;
};

// This user's places.
TSyncedFolderPlaces CurrentUserSyncedFolderPlaces();

// Every folder the clients name that exists, each once (letter case and a
// trailing backslash ignored), in this order of sources:
//  - registered cloud sync roots: SOFTWARE\Microsoft\Windows\CurrentVersion\Explorer
//    \SyncRootManager\<root>\UserSyncRoots, the value named after the
//    user's SID (OneDrive with Files On-Demand, iCloud, Nextcloud's virtual files, ...);
//  - OneDrive: Software\Microsoft\OneDrive\Accounts\<account>, value UserFolder;
//  - Dropbox: info.json in <local app data>\Dropbox or <app data>\Dropbox,
//    every "path" (its "personal" and "business" accounts);
//  - Google Drive for desktop: <local app data>\Google\DriveFS\root_preference_sqlite.db,
//    table roots, last_seen_absolute_path (the mirrored folders, My Drive's
//    mirror among them); Software\Google\DriveFS, value PerAccountPreferences
//    (JSON), every "mount_point_path" (the streamed drive: a letter or a folder);
//  - iCloud Drive: <profile>\iCloudDrive;
//  - Nextcloud: <app data>\Nextcloud\nextcloud.cfg, every "...\localPath" key.
std::vector<TSyncedFolder> ReadSyncedFolders(const TSyncedFolderPlaces& Places);

// The paths alone, for the walk.
std::vector<std::wstring> SyncedFolderPaths(const std::vector<TSyncedFolder>& Folders);
