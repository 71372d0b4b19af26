#include "settings/Winapp2Ticks.h"

#include "settings/XmlDom.h"

#include <unordered_map>
#include <unordered_set>

namespace {

std::wstring Upper(std::wstring text) {
    for (wchar_t& c : text)
        if (c >= L'a' && c <= L'z') c = static_cast<wchar_t>(c - L'a' + L'A');
    return text;
}

// Finds an entry by the name the settings file holds. A name with a character
// XML forbids (winapp2.ini is anyone's text) is stored with U+FFFD in its
// place, so it is looked up the same way; the first entry of such a name wins.
class TStoredNameIndex {
public:
    explicit TStoredNameIndex(const TWinapp2RuleSet& rules) : FRules(rules) {
        for (size_t i = 0; i < rules.Rules.size(); ++i) {
            const std::wstring& name = rules.Rules[i].Entry.Name;
            const std::wstring safe = XmlSafeText(name);
            if (safe != name) FReplaced.try_emplace(Upper(safe), static_cast<int>(i));
        }
    }
    int Find(const std::wstring& storedName) const {
        const int index = FRules.Find(storedName);
        if (index >= 0 || FReplaced.empty()) return index;
        const auto at = FReplaced.find(Upper(storedName));
        return at == FReplaced.end() ? -1 : at->second;
    }

private:
    const TWinapp2RuleSet& FRules;
    std::unordered_map<std::wstring, int> FReplaced;
};

}  // namespace

void LoadWinapp2Ticks(const TXMLVantrelSettingsType& Settings, TWinapp2RuleSet& Rules) {
    // Without entries nothing is read, and no empty element joins the file.
    if (Rules.Rules.empty()) return;
    std::unordered_set<std::wstring> seen;
    const TStoredNameIndex stored(Rules);
    for (const TXMLCleanupItemType& item : Settings.Winapp2Items().All()) {
        const std::wstring name = item.Name();
        if (!seen.insert(Upper(name)).second) continue;
        const int index = stored.Find(name);
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
    const TStoredNameIndex stored(Rules);
    for (const TXMLCleanupItemType& item : items.All()) {
        const std::wstring name = item.Name();
        if (!seen.insert(Upper(name)).second) continue;
        const int index = stored.Find(name);
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
        item.SetName(XmlSafeText(rule.Entry.Name));
        item.SetEnabled(L"True");
    }
}
