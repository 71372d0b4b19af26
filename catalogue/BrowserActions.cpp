#include "catalogue/BrowserActions.h"
#include "texts/Texts.h"

#include "catalogue/BrowserDatabases.h"
#include "catalogue/FolderMasks.h"
#include "engine/FolderPaths.h"
#include "engine/SystemRoutines.h"

namespace {

const TBrowserTexts FirefoxTexts = {L"Mozilla Firefox 57+", L"Mozilla Firefox"};

// Deletes a cache folder with everything in it and makes it again, empty, as
// the Firefox cache action of old does; what will not go stays.
void EmptyCacheFolder(const std::wstring& folder) {
    if (!FolderExists(folder)) return;
    DeleteDirectoryTree(folder);
    CreateDirectoryTree(folder);
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
            SecondInfoLine = LoadText(TTextId::InfoBookmarksKept);
            break;
    }
}

// --- Chromium ---

void CleanChromiumProfile(const std::wstring& ProfileFolder, TBrowserPart Part) {
    const std::wstring profile = WithTrailingBackslash(ProfileFolder);
    switch (Part) {
        case TBrowserPart::Cache:
            for (const wchar_t* cache : {L"Cache\\Cache_Data", L"Code Cache", L"GPUCache"})
                EmptyCacheFolder(profile + cache);
            break;
        case TBrowserPart::Cookies:
            // Chromium 96 moved the cookies into "Network".
            for (const wchar_t* database : {L"Network\\Cookies", L"Cookies"})
                ClearCookieDatabase(profile + database, "cookies");
            break;
        case TBrowserPart::History: {
            // What Chromium's own "clear browsing history" clears: every store
            // of visited pages, the bookmarked pages' rows and icons kept.
            const std::vector<std::string> bookmarked = ChromiumBookmarkedUrls(profile);
            ClearChromiumHistoryDatabase(profile + L"History", bookmarked);
            ClearChromiumFaviconDatabase(profile + L"Favicons", bookmarked);
            ClearHistoryOnlyDatabase(profile + L"Top Sites", "top_sites");
            ClearHistoryOnlyDatabase(profile + L"Shortcuts", "omni_box_shortcuts");
            ClearHistoryOnlyDatabase(profile + L"Network Action Predictor", "network_action_predictor");
            // The visited-link fingerprints; Chromium rebuilds the file from the history.
            DeleteFoundFile(profile + L"Visited Links");
            break;
        }
    }
}

bool CleanChromiumUserData(const std::wstring& UserDataFolder, TBrowserPart Part) {
    if (UserDataFolder.empty()) return false;
    const std::wstring userData = WithTrailingBackslash(UserDataFolder);
    const TBrowserProfileLock lock(userData + L"lockfile");
    if (!lock.Free()) return false;
    for (const auto& profile : ChromiumProfileFolders(userData)) {
        CleanChromiumProfile(profile, Part);
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
    TCleanupSpecialActionItem::Execute();
    CleanChromiumUserData(ChromiumUserDataFolder(FBrowser), FPart);
}

// --- Firefox ---

void CleanFirefoxProfile(const TFirefoxProfile& Profile, TBrowserPart Part) {
    switch (Part) {
        case TBrowserPart::Cache:
            if (!Profile.LocalFolder.empty()) EmptyCacheFolder(Profile.LocalFolder + L"cache2");
            break;
        case TBrowserPart::Cookies:
            ClearCookieDatabase(Profile.Folder + L"cookies.sqlite", "moz_cookies");
            break;
        case TBrowserPart::History: {
            // The icons follow the places: only once the places are cleared is
            // it known which pages keep theirs.
            TFirefoxKeptPlaces kept;
            if (ClearFirefoxPlacesHistory(Profile.Folder + L"places.sqlite", &kept))
                ClearFirefoxFavicons(Profile.Folder + L"favicons.sqlite", kept);
            break;
        }
    }
}

int CleanFirefoxProfiles(const std::vector<TFirefoxProfile>& Profiles, TBrowserPart Part) {
    int passedOver = 0;
    for (const auto& profile : Profiles) {
        const TBrowserProfileLock lock(profile.Folder + L"parent.lock");
        if (!lock.Free()) {
            ++passedOver;
            continue;
        }
        CleanFirefoxProfile(profile, Part);
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
    TCleanupSpecialActionItem::Execute();
    CleanFirefoxProfiles(FirefoxProfiles(FirefoxRoamingRoot(), FirefoxLocalRoot()), FPart);
}

// --- The catalogue rows ---

std::vector<TPlacedCatalogueRow> BrowserCatalogue() {
    using T = TCleanupCustomItem;
    return {
        {47, T::ClassOf<TClearGoogleChromeCache>(), true},
        {48, T::ClassOf<TClearGoogleChromeCookies>(), false},
        {49, T::ClassOf<TClearGoogleChromeHistory>(), false},
        {50, T::ClassOf<TClearMicrosoftEdgeCache>(), true},
        {51, T::ClassOf<TClearMicrosoftEdgeCookies>(), false},
        {52, T::ClassOf<TClearMicrosoftEdgeHistory>(), false},
        {53, T::ClassOf<TClearFirefoxQuantumCache>(), true},
        {54, T::ClassOf<TClearFirefoxQuantumCookies>(), false},
        {55, T::ClassOf<TClearFirefoxQuantumHistory>(), false},
    };
}
