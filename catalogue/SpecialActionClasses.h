// The special actions of the catalogue that act on Windows and Internet
// Explorer, and those that erase the history lists applications keep in the
// registry. Each class states its texts and registry keys in Configure; the
// inherited Execute clears the values of those keys before any operation of
// the class's own runs.
#pragma once

#include "catalogue/Catalogue.h"
#include "engine/SystemRoutines.h"
#include "engine/VantrelClasses.h"

#include <functional>
#include <string>
#include <vector>

// --- Windows and Internet Explorer ---

// Runs system32\cleanmgr.exe with the choices made in the setup window.
class TExecuteDiskCleanup : public TCleanupSpecialActionItem {
public:
    static bool IsAvailable();
    void Execute() override;

protected:
    void Configure(std::wstring& Name, std::wstring& ProgressText, std::wstring& FirstInfoLine,
                   std::wstring& SecondInfoLine) override;
};

// Asks the shell about the bin at every call, so its row follows the bin
// without a reading pass.
class TEmptyRecycleBin : public TCleanupSpecialActionItem {
public:
    static bool IsAvailable();
    void GetFirstInfoLine(std::wstring& Text) override;
    void GetSecondInfoLine(std::wstring& Text) override;
    TCleanupItemState GetState() override;
    void Execute() override;

protected:
    void Configure(std::wstring& Name, std::wstring& ProgressText, std::wstring& FirstInfoLine,
                   std::wstring& SecondInfoLine) override;
};

class TClearNethood : public TCleanupSpecialActionItem {
public:
    void Execute() override;

protected:
    void Configure(std::wstring& Name, std::wstring& ProgressText, std::wstring& FirstInfoLine,
                   std::wstring& SecondInfoLine) override;
};

// Every URL cache entry but the cookies.
class TClearIECache : public TCleanupSpecialActionItem {
public:
    void Execute() override;

protected:
    void Configure(std::wstring& Name, std::wstring& ProgressText, std::wstring& FirstInfoLine,
                   std::wstring& SecondInfoLine) override;
};

class TClearIECookies : public TCleanupSpecialActionItem {
public:
    void Execute() override;

protected:
    void Configure(std::wstring& Name, std::wstring& ProgressText, std::wstring& FirstInfoLine,
                   std::wstring& SecondInfoLine) override;
};

// The typed-URL list, then the history store (COM must be initialised).
class TClearIEHistory : public TCleanupSpecialActionItem {
public:
    void Execute() override;

protected:
    void Configure(std::wstring& Name, std::wstring& ProgressText, std::wstring& FirstInfoLine,
                   std::wstring& SecondInfoLine) override;
};

// Offered on Windows NT 4.0 to Server 2003 only.
class TEmptyEventLog : public TCleanupSpecialActionItem {
public:
    static bool IsAvailable();
    void Execute() override;

protected:
    void Configure(std::wstring& Name, std::wstring& ProgressText, std::wstring& FirstInfoLine,
                   std::wstring& SecondInfoLine) override;
};

// True for the Windows NT family (VER_PLATFORM_WIN32_NT) at versions 4.x to 5.2.
bool IsEventLogClearingOffered(DWORD PlatformId, DWORD MajorVersion, DWORD MinorVersion);

// Calls Clear for the application, security and system logs, in that order.
// The first exception stops the walk and leaves the call.
void ClearEventLogsInOrder(const std::function<void(TEventLogKind)>& Clear);

// --- Application history lists ---

class TClearWindowsAccessoriesRecentFileLists : public TCleanupSpecialActionItem {
protected:
    void Configure(std::wstring& Name, std::wstring& ProgressText, std::wstring& FirstInfoLine,
                   std::wstring& SecondInfoLine) override;
};

class TClearWindowsRunMRU : public TCleanupSpecialActionItem {
protected:
    void Configure(std::wstring& Name, std::wstring& ProgressText, std::wstring& FirstInfoLine,
                   std::wstring& SecondInfoLine) override;
};

// Also deletes Office's folder of recent-file shortcuts.
class TClearOfficeRecentFileLists : public TCleanupSpecialActionItem {
public:
    static bool IsAvailable();
    void Execute() override;

protected:
    void Configure(std::wstring& Name, std::wstring& ProgressText, std::wstring& FirstInfoLine,
                   std::wstring& SecondInfoLine) override;
};

class TClearWinZipHistory : public TCleanupSpecialActionItem {
public:
    static bool IsAvailable();

protected:
    void Configure(std::wstring& Name, std::wstring& ProgressText, std::wstring& FirstInfoLine,
                   std::wstring& SecondInfoLine) override;
};

class TClearWinRarHistory : public TCleanupSpecialActionItem {
public:
    static bool IsAvailable();

protected:
    void Configure(std::wstring& Name, std::wstring& ProgressText, std::wstring& FirstInfoLine,
                   std::wstring& SecondInfoLine) override;
};

class TClearNeroBurningRomHistory : public TCleanupSpecialActionItem {
public:
    static bool IsAvailable();

protected:
    void Configure(std::wstring& Name, std::wstring& ProgressText, std::wstring& FirstInfoLine,
                   std::wstring& SecondInfoLine) override;
};

class TClearMacromediaDreamweaverHistory : public TCleanupSpecialActionItem {
public:
    static bool IsAvailable();

protected:
    void Configure(std::wstring& Name, std::wstring& ProgressText, std::wstring& FirstInfoLine,
                   std::wstring& SecondInfoLine) override;
};

// Offered when Borland Developer Studio is there; also clears the lists of
// Delphi 6 and 7 that it may have left behind.
class TClearBDSHistory : public TCleanupSpecialActionItem {
public:
    static bool IsAvailable();

protected:
    void Configure(std::wstring& Name, std::wstring& ProgressText, std::wstring& FirstInfoLine,
                   std::wstring& SecondInfoLine) override;
};

class TClearWindowsMediaPlayerHistory : public TCleanupSpecialActionItem {
public:
    static bool IsAvailable();

protected:
    void Configure(std::wstring& Name, std::wstring& ProgressText, std::wstring& FirstInfoLine,
                   std::wstring& SecondInfoLine) override;
};

// --- The catalogue table ---

// The sixteen special actions above with their place (1 to 40) among all
// actions and their default tick, in rising place.
std::vector<TPlacedCatalogueRow> SpecialActionCatalogue();
