// Clearing the history, cache and cookies of the first Mozilla Firefox profile
// by removing its files. Only profile "Profile0" of profiles.ini is used; the
// files' contents are never read.
#pragma once

#include "engine/VantrelClasses.h"

#include <string>

// The folder of the first Firefox profile, with a trailing backslash:
// <application data>\Mozilla\Firefox\ followed by the "Path" of section
// "Profile0" in profiles.ini, "/" turned into "\". A relative path must stay
// inside the Firefox folder once "." and ".." are resolved; an absolute one is
// taken only when it holds prefs.js. Empty when the Firefox folder, the file,
// the value or the profile folder is missing, or the path is not taken.
std::wstring GetFirefoxProfileDir();
// Deletes and recreates the profile's "Cache" folder, but only when it holds
// a "_CACHE_MAP_" file (the mark of Firefox's disk cache). What will not go stays.
void ClearFirefoxCache();
// Deletes the profile's cookies.txt when it is there.
void DeleteFirefoxCookies();
// Deletes the profile's history.dat when it is there.
void DeleteFirefoxHistory();

// Firefox is installed for this user: HKEY_CURRENT_USER\SOFTWARE\Mozilla\Mozilla Firefox exists.
bool FirefoxInstalledForUser();

class TClearMozillaFirefoxHistory : public TCleanupSpecialActionItem {
public:
    static bool IsAvailable() { return FirefoxInstalledForUser(); }
    void Execute() override;

protected:
    void Configure(std::wstring& Name, std::wstring& ProgressText, std::wstring& FirstInfoLine,
                   std::wstring& SecondInfoLine) override;
};

class TClearMozillaFirefoxCache : public TCleanupSpecialActionItem {
public:
    static bool IsAvailable() { return FirefoxInstalledForUser(); }
    void Execute() override;

protected:
    void Configure(std::wstring& Name, std::wstring& ProgressText, std::wstring& FirstInfoLine,
                   std::wstring& SecondInfoLine) override;
};

class TClearMozillaFirefoxCookies : public TCleanupSpecialActionItem {
public:
    static bool IsAvailable() { return FirefoxInstalledForUser(); }
    void Execute() override;

protected:
    void Configure(std::wstring& Name, std::wstring& ProgressText, std::wstring& FirstInfoLine,
                   std::wstring& SecondInfoLine) override;
};
