#include "catalogue/OutlookActions.h"
#include "texts/Texts.h"

#include "engine/SystemRoutines.h"
#include "platform/Dispatch.h"

#include <windows.h>

namespace {

// Outlook 2000, XP and 2003 keep their per-user settings here.
constexpr const wchar_t* OutlookKeys[] = {
    L"\\Software\\Microsoft\\Office\\9.0\\Outlook",
    L"\\Software\\Microsoft\\Office\\10.0\\Outlook",
    L"\\Software\\Microsoft\\Office\\11.0\\Outlook",
};

bool OutlookKeyExists() {
    for (const wchar_t* key : OutlookKeys)
        if (RegistryKeyExists(HKEY_CURRENT_USER, key)) return true;
    return false;
}

TComPtr<IDispatch> MapiNamespace(IDispatch* application) {
    return DispatchObject(application, L"GetNamespace", {TVariant::FromString(L"MAPI")});
}

// The collection is asked for again on every call: Outlook hands out a live
// view, and one kept across removals may describe a folder that has changed.
int32_t ItemCount(IDispatch* folder) {
    TComPtr<IDispatch> items = DispatchObject(folder, L"Items");
    return DispatchInteger(items.Get(), L"Count");
}

void RemoveFirstItem(IDispatch* folder) {
    TComPtr<IDispatch> items = DispatchObject(folder, L"Items");
    DispatchCall(items.Get(), L"Remove", {VariantFromInteger(1)});  // collections count from 1
}

}  // namespace

bool TEmptyOutlookDeletedItemsFolder::IsAvailable() {
    if (!OutlookKeyExists()) return false;
    try {
        TComPtr<IDispatch> application = CreateOleObject(OutlookProgId);
        MapiNamespace(application.Get());
        return true;
    } catch (...) {
        return false;
    }
}

void TEmptyOutlookDeletedItemsFolder::Configure(std::wstring& Name, std::wstring& ProgressText,
                                                std::wstring& FirstInfoLine, std::wstring& /*SecondInfoLine*/) {
    Name = LoadText(TTextId::ActionOutlookDeletedItems);
    ProgressText = LoadText(TTextId::ProgressOutlookDeletedItems);
    FirstInfoLine = LoadText(TTextId::InfoOutlookDeletedItems);
}

void TEmptyOutlookDeletedItemsFolder::Execute() {
    TCleanupSpecialActionItem::Execute();
    // Outlook is left running: the user may have it open.
    TComPtr<IDispatch> application = CreateOleObject(OutlookProgId);
    TComPtr<IDispatch> mapi = MapiNamespace(application.Get());
    TComPtr<IDispatch> folder = DispatchObject(mapi.Get(), L"GetDefaultFolder", {VariantFromInteger(olFolderDeletedItems)});
    int32_t count = ItemCount(folder.Get());
    while (count > 0) {
        RemoveFirstItem(folder.Get());
        const int32_t remaining = ItemCount(folder.Get());
        if (remaining >= count) break;
        count = remaining;
    }
}
