#include "settings/Winapp2Ticks.h"

#include <unordered_set>

namespace {

std::wstring Upper(std::wstring text) {
    for (wchar_t& c : text)
        if (c >= L'a' && c <= L'z') c = static_cast<wchar_t>(c - L'a' + L'A');
    return text;
}

}  // namespace

void LoadWinapp2Ticks(const TXMLVantrelSettingsType& Settings, TWinapp2RuleSet& Rules) {
    // Without entries nothing is read, and no empty element joins the file.
    if (Rules.Rules.empty()) return;
    std::unordered_set<std::wstring> seen;
    for (const TXMLCleanupItemType& item : Settings.Winapp2Items().All()) {
        const std::wstring name = item.Name();
        if (!seen.insert(Upper(name)).second) continue;
        const int index = Rules.Find(name);
        if (index >= 0) Rules.Rules[static_cast<size_t>(index)].Checked = SettingsTextToBool(item.Enabled());
    }
}

void StoreWinapp2Ticks(const TXMLVantrelSettingsType& Settings, const TWinapp2RuleSet& Rules) {
    // Nothing offered: every item stays as it is.
    if (Rules.OfferedCount() == 0) return;
    const TXMLWinapp2ItemsType items = Settings.Winapp2Items();
    struct TKept {
        std::wstring Name, Enabled;
    };
    std::vector<TKept> kept;
    std::unordered_set<std::wstring> seen;
    for (const TXMLCleanupItemType& item : items.All()) {
        const std::wstring name = item.Name();
        if (!seen.insert(Upper(name)).second) continue;
        const int index = Rules.Find(name);
        if (index >= 0 && Rules.Rules[static_cast<size_t>(index)].Offered()) continue;
        kept.push_back({name, item.Enabled()});
    }
    items.Clear();
    for (const TKept& k : kept) {
        const TXMLCleanupItemType item = items.Add();
        item.SetName(k.Name);
        item.SetEnabled(k.Enabled);
    }
    for (const TWinapp2Rule& rule : Rules.Rules) {
        if (!rule.Offered() || !rule.Checked) continue;
        const TXMLCleanupItemType item = items.Add();
        item.SetName(rule.Entry.Name);
        item.SetEnabled(L"True");
    }
}
