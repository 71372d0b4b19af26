// The one decision whether a temporary folder may be emptied.
//
// The folders the program empties as temporary - the user's and Windows'
// temporary folders, Outlook's secure temporary folder, the Windows Update
// download folders - come from the environment, the registry and the drives,
// and any of them can name something else: with TEMP and TMP unset Windows
// answers with the user's profile, TEMP=C:\ names a whole drive, a registry
// value may read D:\. Such a folder is refused: no mask is built on it and no
// folder below it is removed. The guarded folders are a table in
// TemporaryFolders.cpp.
#pragma once

#include <string>
#include <vector>

// True when Folder, in any spelling it has (FolderSpellings), is a drive or share
// root, is or contains a guarded folder, or is a user profile (any folder directly
// in the users' root). An empty or not fully qualified folder is refused too.
bool IsRefusedTemporaryFolder(const std::wstring& Folder);

// The folder as the masks and the folder removal of a temporary folder take it
// (WalkFolderPath, with a trailing backslash); empty when it is refused.
std::wstring TemporaryFolderToEmpty(const std::wstring& Folder);

// The guarded folders of this machine and user, each in every spelling it has.
struct TGuardedFolders {
    std::vector<std::wstring> Folders;      // refused themselves and with whatever contains them
    std::vector<std::wstring> ProfileRoots;  // their direct subfolders (the profiles) are refused too
};
TGuardedFolders CurrentGuardedFolders();

// The decision on spellings already normalised (FolderSpellings).
bool IsRefusedAmong(const std::vector<std::wstring>& Spellings, const TGuardedFolders& Guarded);

// The system's temporary folders below the Windows folder WindowsDir: Temp, and
// SystemTemp where it exists, in which Windows 11 keeps the temporary files of
// SYSTEM and the services.
std::vector<std::wstring> SystemTemporaryFolders(const std::wstring& WindowsDir);

// True when Folder and Other name the same folder in any spelling either has.
bool IsSameFolder(const std::wstring& Folder, const std::wstring& Other);

// The user's temporary folder for the user's own action: none when it is one of
// SystemFolders. Running as SYSTEM (a scheduled task may), TEMP is Windows' own
// temporary folder, which the Windows action empties; two actions would find
// every file there twice.
std::vector<std::wstring> UserTemporaryFolders(const std::wstring& UserTemp,
                                               const std::vector<std::wstring>& SystemFolders);
