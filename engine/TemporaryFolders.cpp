#include "engine/TemporaryFolders.h"

#include "engine/FolderPaths.h"

#include <windows.h>
#include <knownfolders.h>
#include <shlobj.h>

namespace {

// Folders no temporary folder may be, nor contain. Each is taken in its long
// form and, when a link lies on its way, where it leads as well.
const KNOWNFOLDERID* const GuardedKnownFolders[] = {
    // The system and the programs.
    &FOLDERID_Windows, &FOLDERID_System, &FOLDERID_SystemX86, &FOLDERID_ProgramFiles, &FOLDERID_ProgramFilesX86,
    &FOLDERID_ProgramFilesX64, &FOLDERID_ProgramData,
    // The users' root and the profile.
    &FOLDERID_UserProfiles, &FOLDERID_Profile, &FOLDERID_Public,
    // The user's own folders and the application data roots.
    &FOLDERID_Desktop, &FOLDERID_Documents, &FOLDERID_Pictures, &FOLDERID_Music, &FOLDERID_Videos,
    &FOLDERID_Downloads, &FOLDERID_RoamingAppData, &FOLDERID_LocalAppData, &FOLDERID_LocalAppDataLow,
    &FOLDERID_PublicDesktop, &FOLDERID_PublicDocuments,
};

std::wstring KnownFolder(const KNOWNFOLDERID& id) {
    PWSTR path = nullptr;
    std::wstring folder;
    if (SUCCEEDED(::SHGetKnownFolderPath(id, KF_FLAG_DONT_VERIFY, nullptr, &path)) && path) folder = path;
    ::CoTaskMemFree(path);
    return folder;
}

std::wstring WindowsDirectory() {
    wchar_t buffer[MAX_PATH + 1] = {};
    const UINT length = ::GetSystemWindowsDirectoryW(buffer, MAX_PATH + 1);
    return length > 0 && length <= MAX_PATH ? std::wstring(buffer, length) : std::wstring();
}

std::wstring SystemDirectory() {
    wchar_t buffer[MAX_PATH + 1] = {};
    const UINT length = ::GetSystemDirectoryW(buffer, MAX_PATH + 1);
    return length > 0 && length <= MAX_PATH ? std::wstring(buffer, length) : std::wstring();
}

std::wstring ParentFolder(const std::wstring& folder) {
    const std::wstring full = FullFolderPath(folder);
    if (full.empty() || IsRootPath(full)) return {};
    const size_t slash = full.rfind(L'\\');
    return slash == std::wstring::npos ? std::wstring() : full.substr(0, slash + 1);
}

void AddSpellings(std::vector<std::wstring>& list, const std::wstring& folder) {
    if (folder.empty()) return;
    for (auto& spelling : FolderSpellings(folder)) list.push_back(std::move(spelling));
}

bool IsProfileIn(const std::wstring& folder, const std::wstring& root) {
    const std::wstring parent = ParentFolder(folder);
    return !parent.empty() && SamePathText(WithTrailingBackslash(parent), WithTrailingBackslash(root));
}

}  // namespace

TGuardedFolders CurrentGuardedFolders() {
    TGuardedFolders guarded;
    for (const KNOWNFOLDERID* id : GuardedKnownFolders) AddSpellings(guarded.Folders, KnownFolder(*id));
    // The same folders from the system's own answers, in case the shell gives none.
    AddSpellings(guarded.Folders, WindowsDirectory());
    AddSpellings(guarded.Folders, SystemDirectory());
    // Every folder directly in the users' root is a profile, whoever's it is. The
    // profile's parent stands in for the root where the shell does not know it.
    AddSpellings(guarded.ProfileRoots, KnownFolder(FOLDERID_UserProfiles));
    const std::wstring usersRoot = ParentFolder(KnownFolder(FOLDERID_Profile));
    AddSpellings(guarded.Folders, usersRoot);
    AddSpellings(guarded.ProfileRoots, usersRoot);
    return guarded;
}

bool IsRefusedAmong(const std::vector<std::wstring>& Spellings, const TGuardedFolders& Guarded) {
    if (Spellings.empty()) return true;
    for (const auto& spelling : Spellings) {
        if (!IsFullyQualifiedPath(spelling) || IsRootPath(spelling)) return true;
        for (const auto& folder : Guarded.Folders)
            if (FolderIsOrContains(spelling, folder)) return true;
        for (const auto& root : Guarded.ProfileRoots)
            if (IsProfileIn(spelling, root)) return true;
    }
    return false;
}

bool IsRefusedTemporaryFolder(const std::wstring& Folder) {
    return IsRefusedAmong(FolderSpellings(Folder), CurrentGuardedFolders());
}

std::wstring TemporaryFolderToEmpty(const std::wstring& Folder) {
    if (IsRefusedTemporaryFolder(Folder)) return {};
    return WithTrailingBackslash(WalkFolderPath(Folder));
}

std::vector<std::wstring> SystemTemporaryFolders(const std::wstring& WindowsDir) {
    if (WindowsDir.empty()) return {};
    const std::wstring windows = WithTrailingBackslash(WindowsDir);
    std::vector<std::wstring> folders{windows + L"Temp"};
    // Only where it is: before Windows 11 the mask would stand in the lists for nothing.
    const DWORD attributes = ::GetFileAttributesW((windows + L"SystemTemp").c_str());
    if (attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0)
        folders.push_back(windows + L"SystemTemp");
    return folders;
}

bool IsSameFolder(const std::wstring& Folder, const std::wstring& Other) {
    const std::vector<std::wstring> others = FolderSpellings(Other);
    for (const auto& spelling : FolderSpellings(Folder))
        for (const auto& other : others)
            if (SamePathText(WithTrailingBackslash(spelling), WithTrailingBackslash(other))) return true;
    return false;
}

std::vector<std::wstring> UserTemporaryFolders(const std::wstring& UserTemp,
                                               const std::vector<std::wstring>& SystemFolders) {
    for (const auto& folder : SystemFolders)
        if (IsSameFolder(UserTemp, folder)) return {};
    return {UserTemp};
}
