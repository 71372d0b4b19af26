#include "catalogue/BrowserActions.h"
#include "texts/Texts.h"

#include "catalogue/BrowserDatabases.h"
#include "catalogue/FolderMasks.h"
#include "engine/FolderPaths.h"
#include "engine/SystemRoutines.h"
#include "platform/Handles.h"

#include <windows.h>

namespace {

const TBrowserTexts FirefoxTexts = {L"Mozilla Firefox 57+", L"Mozilla Firefox"};

// Deletes a cache folder with everything in it and makes it again, empty, as
// the Firefox cache action of old does; what will not go stays.
void EmptyCacheFolder(const std::wstring& folder) {
    if (!FolderExists(folder)) return;
    DeleteDirectoryTree(folder);
    CreateDirectoryTree(folder);
}

void AddFailure(TBrowserFailures* failures, const std::wstring& what, const std::wstring& why) {
    if (failures) failures->push_back(what + L": " + why);
}

// A database routine's answer: a file left as it was is a failure.
bool Note(const TDatabaseResult& result, const std::wstring& file, TBrowserFailures* failures) {
    if (result.Failed()) AddFailure(failures, file, result.Why);
    return static_cast<bool>(result);
}

// Deletes one file of the profile with the deletion primitive; a file that is
// there and stays is a failure. Nothing when it is not there.
void DeleteProfileFile(const std::wstring& file, TBrowserFailures* failures) {
    const DWORD attributes = ::GetFileAttributesW(file.c_str());
    if (attributes == INVALID_FILE_ATTRIBUTES) return;
    if ((attributes & FILE_ATTRIBUTE_DIRECTORY) != 0 && (attributes & FILE_ATTRIBUTE_REPARSE_POINT) == 0) {
        AddFailure(failures, file, LoadText(TTextId::FailureIsAFolder));
        return;
    }
    if (!DeleteFoundFile(file)) AddFailure(failures, file, LoadText(TTextId::FailureCannotDelete));
}

// Every file directly in Folder whose name starts with Prefix (any name when
// Prefix is empty), links included as links; subfolders stay. The pattern also
// meets short 8.3 names, so the long name is asked again.
void DeleteProfileFiles(const std::wstring& folder, const wchar_t* prefix, TBrowserFailures* failures) {
    const int prefixLength = static_cast<int>(wcslen(prefix));
    std::vector<std::wstring> names;
    WIN32_FIND_DATAW data;
    const std::wstring base = WithTrailingBackslash(folder);
    TFindHandle find(::FindFirstFileW((base + prefix + L"*").c_str(), &data));
    if (!find) return;
    do {
        if ((data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0 &&
            (data.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT) == 0)
            continue;
        if (wcslen(data.cFileName) < static_cast<size_t>(prefixLength) ||
            ::CompareStringOrdinal(data.cFileName, prefixLength, prefix, prefixLength, TRUE) != CSTR_EQUAL)
            continue;
        names.push_back(data.cFileName);
    } while (::FindNextFileW(find.Get(), &data));
    find = TFindHandle();
    for (const auto& name : names) DeleteProfileFile(base + name, failures);
}

}  // namespace

void BrowserActionTexts(const TBrowserTexts& Browser, TBrowserPart Part, std::wstring& Name,
                        std::wstring& ProgressText, std::wstring& FirstInfoLine, std::wstring& SecondInfoLine) {
    const std::wstring list = Browser.ListName, product = Browser.Product;
    switch (Part) {
        case TBrowserPart::Cache:
            Name = FormatText(TTextId::ActionBrowserCache, list);
            ProgressText = FormatText(TTextId::ProgressBrowserCache, product);
            FirstInfoLine = FormatText(TTextId::InfoBrowserCache, product);
            SecondInfoLine.clear();
            break;
        case TBrowserPart::Cookies:
            Name = FormatText(TTextId::ActionBrowserCookies, list);
            ProgressText = FormatText(TTextId::ProgressBrowserCookies, product);
            FirstInfoLine = FormatText(TTextId::InfoBrowserCookies, product);
            SecondInfoLine = LoadText(TTextId::InfoKeepSignedIn);
            break;
        case TBrowserPart::History:
            Name = FormatText(TTextId::ActionProductHistory, list);
            ProgressText = FormatText(TTextId::ProgressProductHistory, product);
            FirstInfoLine = FormatText(TTextId::InfoProductHistory, product);
            // The sessions' own row follows this one; the line fits the detail window.
            SecondInfoLine = LoadText(TTextId::InfoBookmarksKept);
            break;
        case TBrowserPart::Sessions:
            Name = FormatText(TTextId::ActionBrowserSessions, list);
            ProgressText = FormatText(TTextId::ProgressBrowserSessions, product);
            FirstInfoLine = FormatText(TTextId::InfoBrowserSessions, product);
            SecondInfoLine = LoadText(TTextId::InfoSessionTabsLost);
            break;
    }
}

// --- Chromium ---

void CleanChromiumProfile(const std::wstring& ProfileFolder, TBrowserPart Part, TBrowserFailures* Failures) {
    const std::wstring profile = WithTrailingBackslash(ProfileFolder);
    switch (Part) {
        case TBrowserPart::Cache:
            for (const wchar_t* cache : {L"Cache\\Cache_Data", L"Code Cache", L"GPUCache"})
                EmptyCacheFolder(profile + cache);
            // Chromium's own cache clear takes the sites' remembered HTTPS rules
            // and network hints too; Chromium 96 moved them into "Network".
            for (const wchar_t* file : {L"Network\\TransportSecurity", L"TransportSecurity",
                                        L"Network\\Network Persistent State", L"Network Persistent State"})
                DeleteProfileFile(profile + file, Failures);
            break;
        case TBrowserPart::Cookies:
            // Chromium 96 moved the cookies into "Network".
            for (const wchar_t* database : {L"Network\\Cookies", L"Cookies"})
                Note(ClearCookieDatabase(profile + database, "cookies"), profile + database, Failures);
            break;
        case TBrowserPart::History: {
            // What Chromium's own "clear browsing history" clears: every store
            // of visited pages, the bookmarked pages' rows and icons kept.
            const std::vector<std::string> bookmarked = ChromiumBookmarkedUrls(profile);
            Note(ClearChromiumHistoryDatabase(profile + L"History", bookmarked), profile + L"History", Failures);
            Note(ClearChromiumFaviconDatabase(profile + L"Favicons", bookmarked), profile + L"Favicons", Failures);
            Note(ClearHistoryOnlyDatabase(profile + L"Top Sites", "top_sites"), profile + L"Top Sites", Failures);
            Note(ClearHistoryOnlyDatabase(profile + L"Shortcuts", "omni_box_shortcuts"), profile + L"Shortcuts",
                 Failures);
            Note(ClearHistoryOnlyDatabase(profile + L"Network Action Predictor", "network_action_predictor"),
                 profile + L"Network Action Predictor", Failures);
            Note(ClearChromiumDipsInteractions(profile + L"DIPS"), profile + L"DIPS", Failures);
            // The visited-link fingerprints; Chromium rebuilds the file from the history.
            DeleteProfileFile(profile + L"Visited Links", Failures);
            break;
        }
        case TBrowserPart::Sessions:
            DeleteProfileFiles(profile + L"Sessions", L"Session_", Failures);
            DeleteProfileFiles(profile + L"Sessions", L"Tabs_", Failures);
            for (const wchar_t* file : {L"Current Session", L"Last Session", L"Current Tabs", L"Last Tabs"})
                DeleteProfileFile(profile + file, Failures);
            break;
    }
}

bool CleanChromiumUserData(const std::wstring& UserDataFolder, TBrowserPart Part, TBrowserFailures* Failures) {
    if (UserDataFolder.empty()) return false;
    const std::wstring userData = WithTrailingBackslash(UserDataFolder);
    const TBrowserProfileLock lock(userData + L"lockfile");
    if (!lock.Free()) {
        AddFailure(Failures, userData, LoadText(TTextId::FailureBrowserRunning));
        return false;
    }
    for (const auto& profile : ChromiumProfileFolders(userData)) {
        CleanChromiumProfile(profile, Part, Failures);
        ProcessPendingMessages();
    }
    return true;
}

bool ChromiumBrowserPresent(const TChromiumBrowser& Browser) { return FolderExists(ChromiumUserDataFolder(Browser)); }

void TChromiumBrowserAction::Configure(std::wstring& Name, std::wstring& ProgressText, std::wstring& FirstInfoLine,
                                       std::wstring& SecondInfoLine) {
    BrowserActionTexts({FBrowser.Product, FBrowser.Product}, FPart, Name, ProgressText, FirstInfoLine,
                       SecondInfoLine);
}

void TChromiumBrowserAction::GetSecondInfoLine(std::wstring& Text) {
    const std::wstring userData = ChromiumUserDataFolder(FBrowser);
    if (!userData.empty() && ProbeProfileLock(userData + L"lockfile") == TProfileLockState::Held)
        Text = FormatText(TTextId::InfoBrowserRunning, FBrowser.Product);
    else
        TCleanupSpecialActionItem::GetSecondInfoLine(Text);
}

void TChromiumBrowserAction::Execute() {
    FFailures.clear();
    TCleanupSpecialActionItem::Execute();
    CleanChromiumUserData(ChromiumUserDataFolder(FBrowser), FPart, &FFailures);
}

// --- Firefox ---

void CleanFirefoxProfile(const TFirefoxProfile& Profile, TBrowserPart Part, TBrowserFailures* Failures) {
    switch (Part) {
        case TBrowserPart::Cache:
            if (!Profile.LocalFolder.empty()) EmptyCacheFolder(Profile.LocalFolder + L"cache2");
            break;
        case TBrowserPart::Cookies:
            Note(ClearCookieDatabase(Profile.Folder + L"cookies.sqlite", "moz_cookies"), Profile.Folder + L"cookies.sqlite",
                 Failures);
            break;
        case TBrowserPart::History: {
            // The icons follow the places: only once the places are cleared is
            // it known which pages keep theirs.
            TFirefoxKeptPlaces kept;
            if (Note(ClearFirefoxPlacesHistory(Profile.Folder + L"places.sqlite", &kept), Profile.Folder + L"places.sqlite",
                     Failures))
                Note(ClearFirefoxFavicons(Profile.Folder + L"favicons.sqlite", kept), Profile.Folder + L"favicons.sqlite",
                     Failures);
            break;
        }
        case TBrowserPart::Sessions:
            DeleteProfileFile(Profile.Folder + L"sessionstore.jsonlz4", Failures);
            DeleteProfileFiles(Profile.Folder + L"sessionstore-backups", L"", Failures);
            break;
    }
}

int CleanFirefoxProfiles(const std::vector<TFirefoxProfile>& Profiles, TBrowserPart Part, TBrowserFailures* Failures) {
    int passedOver = 0;
    for (const auto& profile : Profiles) {
        const TBrowserProfileLock lock(profile.Folder + L"parent.lock");
        if (!lock.Free()) {
            ++passedOver;
            AddFailure(Failures, profile.Folder, LoadText(TTextId::FailureFirefoxProfileInUse));
            continue;
        }
        CleanFirefoxProfile(profile, Part, Failures);
        ProcessPendingMessages();
    }
    return passedOver;
}

bool AnyFirefoxProfileRunning(const std::vector<TFirefoxProfile>& Profiles) {
    for (const auto& profile : Profiles)
        if (ProbeProfileLock(profile.Folder + L"parent.lock") == TProfileLockState::Held) return true;
    return false;
}

bool TFirefoxQuantumAction::IsAvailable() {
    const std::wstring roaming = FirefoxRoamingRoot();
    return !roaming.empty() && FolderExists(roaming);
}

void TFirefoxQuantumAction::Configure(std::wstring& Name, std::wstring& ProgressText, std::wstring& FirstInfoLine,
                                      std::wstring& SecondInfoLine) {
    BrowserActionTexts(FirefoxTexts, FPart, Name, ProgressText, FirstInfoLine, SecondInfoLine);
}

void TFirefoxQuantumAction::GetSecondInfoLine(std::wstring& Text) {
    if (AnyFirefoxProfileRunning(FirefoxProfiles(FirefoxRoamingRoot(), FirefoxLocalRoot())))
        Text = LoadText(TTextId::InfoFirefoxRunning);
    else
        TCleanupSpecialActionItem::GetSecondInfoLine(Text);
}

void TFirefoxQuantumAction::Execute() {
    FFailures.clear();
    TCleanupSpecialActionItem::Execute();
    const std::wstring roaming = FirefoxRoamingRoot();
    if (FirefoxProfilesIniTooLarge(roaming))
        FFailures.push_back(roaming + LoadText(TTextId::FailureProfilesIniTooLarge));
    CleanFirefoxProfiles(FirefoxProfiles(roaming, FirefoxLocalRoot()), FPart, &FFailures);
}

// --- The catalogue rows ---

std::vector<TPlacedCatalogueRow> BrowserCatalogue() {
    using T = TCleanupCustomItem;
    return {
        {47, T::ClassOf<TClearGoogleChromeCache>(), true},
        {48, T::ClassOf<TClearGoogleChromeCookies>(), false},
        {49, T::ClassOf<TClearGoogleChromeHistory>(), false},
        {50, T::ClassOf<TClearGoogleChromeSessions>(), false},
        {51, T::ClassOf<TClearMicrosoftEdgeCache>(), true},
        {52, T::ClassOf<TClearMicrosoftEdgeCookies>(), false},
        {53, T::ClassOf<TClearMicrosoftEdgeHistory>(), false},
        {54, T::ClassOf<TClearMicrosoftEdgeSessions>(), false},
        {55, T::ClassOf<TClearFirefoxQuantumCache>(), true},
        {56, T::ClassOf<TClearFirefoxQuantumCookies>(), false},
        {57, T::ClassOf<TClearFirefoxQuantumHistory>(), false},
        {58, T::ClassOf<TClearFirefoxQuantumSessions>(), false},
    };
}
