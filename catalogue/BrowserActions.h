// The cache, cookies and history of today's browsers: Google Chrome and
// Microsoft Edge (Chromium, every profile of the user-data folder) and Mozilla
// Firefox 57 and later (every profile profiles.ini names). Each action is
// offered only when its browser's user-data folder exists.
//
// A running browser is passed over: a Chromium browser whose "lockfile" is
// held open is not touched at all, a Firefox profile whose "parent.lock" is
// held open is skipped. The lock stays held without sharing while a profile is
// cleaned (made for the while when the browser left none), so the browser
// cannot start meanwhile. The action's second info line says when a browser is
// passed over. Whatever could not be cleaned (a profile passed over, a database
// left as it was, a session file that stays) is one line of the action's
// Failures, which the cleanup pass reports.
//
// Caches are folders deleted and made again with the tree routines; cookies and
// history are rows deleted with SQLite (catalogue/BrowserDatabases.h), so
// bookmarks, passwords, sessions, extensions, form entries and preferences stay
// as they are. History is every store the browser keeps visited pages in:
// Chromium's History, Favicons, Top Sites, Shortcuts, Network Action Predictor,
// Visited Links and DIPS' interaction times; Firefox's places.sqlite and
// favicons.sqlite. Sessions (the last session's open tabs with their back and
// forward addresses) are an action of their own, since a user who clears them
// loses the tabs the browser would restore: Chromium's Sessions\Session_*,
// Sessions\Tabs_* and the older Current/Last Session/Tabs files; Firefox's
// sessionstore.jsonlz4 and sessionstore-backups\*, each deleted with
// DeleteFoundFile.
#pragma once

#include "catalogue/BrowserProfiles.h"
#include "catalogue/Catalogue.h"
#include "engine/VantrelClasses.h"

#include <string>
#include <vector>

enum class TBrowserPart { Cache, Cookies, History, Sessions };

// What could not be cleaned, one line each: the file or profile and why.
using TBrowserFailures = std::vector<std::wstring>;

// What the action texts say of a browser.
struct TBrowserTexts {
    const wchar_t* ListName;  // in the action's name: "Mozilla Firefox 57+"
    const wchar_t* Product;   // in the info lines and progress text: "Mozilla Firefox"
};

// The four texts of an action on Part of a browser, in the voice of the IE and
// Firefox actions (the cookie actions share their second line).
void BrowserActionTexts(const TBrowserTexts& Browser, TBrowserPart Part, std::wstring& Name,
                        std::wstring& ProgressText, std::wstring& FirstInfoLine, std::wstring& SecondInfoLine);

// What one action does to one Chromium profile or Firefox profile (the lock
// already checked). Exposed so tests run them on profiles they make. Failures,
// when given, receives a line for each file left as it was.
void CleanChromiumProfile(const std::wstring& ProfileFolder, TBrowserPart Part, TBrowserFailures* Failures = nullptr);
void CleanFirefoxProfile(const TFirefoxProfile& Profile, TBrowserPart Part, TBrowserFailures* Failures = nullptr);
// Every profile of a Chromium user-data folder, unless its lockfile is held.
// True when the browser was closed (and so was cleaned).
bool CleanChromiumUserData(const std::wstring& UserDataFolder, TBrowserPart Part, TBrowserFailures* Failures = nullptr);
// Every Firefox profile whose parent.lock is free; the number of profiles passed over.
int CleanFirefoxProfiles(const std::vector<TFirefoxProfile>& Profiles, TBrowserPart Part,
                         TBrowserFailures* Failures = nullptr);

// The actions on today's browsers: what their last Execute could not clean.
class TBrowserActionItem : public TCleanupSpecialActionItem {
public:
    const TBrowserFailures& Failures() const { return FFailures; }

protected:
    TBrowserFailures FFailures;
};
// True when some profile's parent.lock is held.
bool AnyFirefoxProfileRunning(const std::vector<TFirefoxProfile>& Profiles);

// --- The Chromium actions ---
class TChromiumBrowserAction : public TBrowserActionItem {
public:
    void GetSecondInfoLine(std::wstring& Text) override;
    void Execute() override;

protected:
    TChromiumBrowserAction(const TChromiumBrowser& Browser, TBrowserPart Part) : FBrowser(Browser), FPart(Part) {}
    void Configure(std::wstring& Name, std::wstring& ProgressText, std::wstring& FirstInfoLine,
                   std::wstring& SecondInfoLine) override;

private:
    const TChromiumBrowser& FBrowser;
    TBrowserPart FPart;
};

bool ChromiumBrowserPresent(const TChromiumBrowser& Browser);

class TClearGoogleChromeCache : public TChromiumBrowserAction {
public:
    TClearGoogleChromeCache() : TChromiumBrowserAction(GoogleChrome, TBrowserPart::Cache) {}
    static bool IsAvailable() { return ChromiumBrowserPresent(GoogleChrome); }
};
class TClearGoogleChromeCookies : public TChromiumBrowserAction {
public:
    TClearGoogleChromeCookies() : TChromiumBrowserAction(GoogleChrome, TBrowserPart::Cookies) {}
    static bool IsAvailable() { return ChromiumBrowserPresent(GoogleChrome); }
};
class TClearGoogleChromeHistory : public TChromiumBrowserAction {
public:
    TClearGoogleChromeHistory() : TChromiumBrowserAction(GoogleChrome, TBrowserPart::History) {}
    static bool IsAvailable() { return ChromiumBrowserPresent(GoogleChrome); }
};
class TClearGoogleChromeSessions : public TChromiumBrowserAction {
public:
    TClearGoogleChromeSessions() : TChromiumBrowserAction(GoogleChrome, TBrowserPart::Sessions) {}
    static bool IsAvailable() { return ChromiumBrowserPresent(GoogleChrome); }
};
class TClearMicrosoftEdgeCache : public TChromiumBrowserAction {
public:
    TClearMicrosoftEdgeCache() : TChromiumBrowserAction(MicrosoftEdge, TBrowserPart::Cache) {}
    static bool IsAvailable() { return ChromiumBrowserPresent(MicrosoftEdge); }
};
class TClearMicrosoftEdgeCookies : public TChromiumBrowserAction {
public:
    TClearMicrosoftEdgeCookies() : TChromiumBrowserAction(MicrosoftEdge, TBrowserPart::Cookies) {}
    static bool IsAvailable() { return ChromiumBrowserPresent(MicrosoftEdge); }
};
class TClearMicrosoftEdgeHistory : public TChromiumBrowserAction {
public:
    TClearMicrosoftEdgeHistory() : TChromiumBrowserAction(MicrosoftEdge, TBrowserPart::History) {}
    static bool IsAvailable() { return ChromiumBrowserPresent(MicrosoftEdge); }
};
class TClearMicrosoftEdgeSessions : public TChromiumBrowserAction {
public:
    TClearMicrosoftEdgeSessions() : TChromiumBrowserAction(MicrosoftEdge, TBrowserPart::Sessions) {}
    static bool IsAvailable() { return ChromiumBrowserPresent(MicrosoftEdge); }
};

// --- The Firefox 57+ actions ---
class TFirefoxQuantumAction : public TBrowserActionItem {
public:
    // The Firefox folder in the user's application data exists.
    static bool IsAvailable();
    void GetSecondInfoLine(std::wstring& Text) override;
    void Execute() override;

protected:
    explicit TFirefoxQuantumAction(TBrowserPart Part) : FPart(Part) {}
    void Configure(std::wstring& Name, std::wstring& ProgressText, std::wstring& FirstInfoLine,
                   std::wstring& SecondInfoLine) override;

private:
    TBrowserPart FPart;
};

class TClearFirefoxQuantumCache : public TFirefoxQuantumAction {
public:
    TClearFirefoxQuantumCache() : TFirefoxQuantumAction(TBrowserPart::Cache) {}
};
class TClearFirefoxQuantumCookies : public TFirefoxQuantumAction {
public:
    TClearFirefoxQuantumCookies() : TFirefoxQuantumAction(TBrowserPart::Cookies) {}
};
class TClearFirefoxQuantumHistory : public TFirefoxQuantumAction {
public:
    TClearFirefoxQuantumHistory() : TFirefoxQuantumAction(TBrowserPart::History) {}
};
class TClearFirefoxQuantumSessions : public TFirefoxQuantumAction {
public:
    TClearFirefoxQuantumSessions() : TFirefoxQuantumAction(TBrowserPart::Sessions) {}
};

// The twelve actions with their places (after the Windows ones) and default
// ticks: caches ticked, cookies, history and sessions not; each browser's
// sessions right after its history.
std::vector<TPlacedCatalogueRow> BrowserCatalogue();
