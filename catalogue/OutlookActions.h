// Emptying Outlook's Deleted Items folder through Outlook's automation object,
// called late-bound by member name, so no Outlook type library is needed.
#pragma once

#include "engine/VantrelClasses.h"

#include <string>

// The programmatic identifier of Outlook's application object.
inline constexpr const wchar_t* OutlookProgId = L"Outlook.Application";
// Outlook's number for the Deleted Items folder (GetDefaultFolder).
inline constexpr int olFolderDeletedItems = 3;

class TEmptyOutlookDeletedItemsFolder : public TCleanupSpecialActionItem {
public:
    // One of the Outlook 2000, XP or 2003 keys exists under HKEY_CURRENT_USER and
    // the automation object answers with its MAPI namespace. Starts Outlook's
    // server once and releases it; never raises.
    static bool IsAvailable();
    // Removes the first item of the Deleted Items folder until the folder is
    // empty. A failing call raises (items already removed stay removed). Stops
    // when a removal the server accepted leaves the count where it was, so a
    // folder that refuses deletion quietly cannot hold the cleanup pass forever.
    void Execute() override;

protected:
    void Configure(std::wstring& Name, std::wstring& ProgressText, std::wstring& FirstInfoLine,
                   std::wstring& SecondInfoLine) override;
};
