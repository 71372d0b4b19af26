#include "settings/VolumeCacheTicks.h"

#include <cwchar>
#include <unordered_set>

namespace {

std::wstring Upper(std::wstring text) {
    for (wchar_t& c : text)
        if (c >= L'a' && c <= L'z') c = static_cast<wchar_t>(c - L'a' + L'A');
    return text;
}

}  // namespace

std::vector<std::pair<std::wstring, bool>> LoadVolumeCacheTicks(const TXMLVantrelSettingsType& settings) {
    std::vector<std::pair<std::wstring, bool>> ticks;
    std::unordered_set<std::wstring> seen;
    for (const TXMLCleanupItemType& item : settings.VolumeCacheItems().All()) {
        const std::wstring name = item.Name();
        if (name.empty() || !seen.insert(Upper(name)).second) continue;
        ticks.emplace_back(name, SettingsTextToBool(item.Enabled()));
    }
    return ticks;
}

void StoreVolumeCacheTicks(const TXMLVantrelSettingsType& settings, const std::vector<TVolumeCacheHandler>& handlers) {
    // No handler known: every item stays as it is, and no empty element joins the file.
    if (handlers.empty()) return;
    std::unordered_set<std::wstring> present;
    for (const TVolumeCacheHandler& handler : handlers) present.insert(Upper(handler.KeyName));
    std::vector<std::pair<std::wstring, std::wstring>> kept;
    std::unordered_set<std::wstring> seen;
    const TXMLVolumeCacheItemsType items = settings.VolumeCacheItems();
    for (const TXMLCleanupItemType& item : items.All()) {
        const std::wstring name = item.Name();
        if (!seen.insert(Upper(name)).second || present.count(Upper(name)) != 0) continue;
        kept.emplace_back(name, item.Enabled());
    }
    items.Clear();
    for (const auto& [name, enabled] : kept) {
        const TXMLCleanupItemType item = items.Add();
        item.SetName(name);
        item.SetEnabled(enabled);
    }
    for (const TVolumeCacheHandler& handler : handlers) {
        if (!handler.TickKnown && !handler.Scanned()) continue;
        const TXMLCleanupItemType item = items.Add();
        item.SetName(handler.KeyName);
        item.SetEnabled(handler.Checked ? L"True" : L"False");
    }
}
