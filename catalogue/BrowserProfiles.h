// Where today's browsers keep their profiles, and whether one is running.
//
// Chromium browsers (Google Chrome, Microsoft Edge) keep every profile in one
// user-data folder ("Default", "Profile 1", ...), which a running browser locks
// by holding its "lockfile" open. Firefox 57 and later lists its profiles in
// profiles.ini ([ProfileN] and [Install...] sections, paths relative to the
// Firefox folder or absolute); each running profile holds its "parent.lock"
// open, and its cache lives under the local application data.
#pragma once

#include "platform/Handles.h"

#include <string>
#include <vector>

// Whether a lock file shows its browser closed. Held is the conservative
// answer for anything the system will not tell.
enum class TProfileLockState { Free, Held };

// Keeps a browser's lock file open without sharing while its profile is
// cleaned, so the browser cannot start on the profile meanwhile: its own
// attempt to open the lock fails as it would against a running copy of itself.
// A lock file that is missing (Chromium makes its "lockfile" delete-on-close, so
// a closed Chromium leaves none) is made the same way, unshared and
// delete-on-close, and so goes when the lock is let go. A lock file that is a
// link, or one that cannot be opened or made, counts as held.
class TBrowserProfileLock {
public:
    explicit TBrowserProfileLock(const std::wstring& LockFile);
    TProfileLockState State() const { return FState; }
    bool Free() const { return FState == TProfileLockState::Free; }

private:
    TProfileLockState FState = TProfileLockState::Held;
    THandle FHandle;
};

// Asks without keeping the file open, and without making a missing one.
TProfileLockState ProbeProfileLock(const std::wstring& LockFile);

// --- Chromium ---
struct TChromiumBrowser {
    const wchar_t* Product;  // "Google Chrome", as the texts name it
    const wchar_t* UserDataBelowLocalAppData;  // "Google\Chrome\User Data"
};
extern const TChromiumBrowser GoogleChrome;
extern const TChromiumBrowser MicrosoftEdge;

// The browser's user-data folder with a trailing backslash; empty when the
// local application-data folder is unknown.
std::wstring ChromiumUserDataFolder(const TChromiumBrowser& Browser);
// The profile folders (trailing backslash) of a user-data folder: "Default" and
// "Profile N", in the order the folder lists them; links are passed over.
std::vector<std::wstring> ChromiumProfileFolders(const std::wstring& UserDataFolder);

// The addresses a Chromium profile has bookmarked: every "url" of its
// "Bookmarks" file and of "Account Bookmarks" (the bookmarks kept with the
// signed-in account), as the files write them. A missing or unreadable file
// adds nothing.
std::vector<std::string> ChromiumBookmarkedUrls(const std::wstring& ProfileFolder);
// Every string value of a "url" key in JSON text, escapes resolved, as UTF-8;
// reading stops at the first thing that is not JSON.
std::vector<std::string> JsonUrlValues(const std::string& Json);
// The same for any key: every string value of a Key key, at any depth.
std::vector<std::string> JsonStringValues(const std::string& Json, const std::string& Key);

// --- Firefox ---
struct TFirefoxProfile {
    std::wstring Folder;       // the profile (prefs, places, cookies), trailing backslash
    std::wstring LocalFolder;  // where its cache lives, trailing backslash
};
// <application data>\Mozilla\Firefox\ and <local application data>\Mozilla\Firefox\,
// trailing backslashes; empty when the special folder is unknown.
std::wstring FirefoxRoamingRoot();
std::wstring FirefoxLocalRoot();
// Every profile that profiles.ini in RoamingRoot names and that exists and
// holds prefs.js, each once: the "Path" of every [Profile...] section (IsRelative=1 or missing:
// below RoamingRoot; else absolute) and the "Default" of every [Install...]
// section (relative to RoamingRoot unless absolute). A relative profile's cache
// lies in the same relative place below LocalRoot; an absolute one keeps it
// in the profile folder itself.
std::vector<TFirefoxProfile> FirefoxProfiles(const std::wstring& RoamingRoot, const std::wstring& LocalRoot);
// profiles.ini in RoamingRoot is larger than the 1 MB FirefoxProfiles reads
// (no profile of it is then taken).
bool FirefoxProfilesIniTooLarge(const std::wstring& RoamingRoot);
// The full path without "." and ".." steps, with a trailing backslash; empty
// when the system cannot make one.
std::wstring NormalisedFolder(const std::wstring& Path);
// Folder lies inside Root (or is Root) once both are made full paths without
// "." and ".." steps; a path no one can make full is outside.
bool PathLiesInside(const std::wstring& Folder, const std::wstring& Root);
