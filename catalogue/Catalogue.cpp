#include "catalogue/Catalogue.h"

#include "catalogue/BrowserActions.h"
#include "catalogue/FileMaskClasses.h"
#include "catalogue/ModernWindowsClasses.h"
#include "catalogue/OutlookFirefoxCatalogue.h"
#include "catalogue/SpecialActionClasses.h"
#include "catalogue/VolumeCacheAction.h"
#include "catalogue/Winapp2Action.h"

#include <algorithm>

std::vector<TCatalogueRow> CleanupCatalogue() {
    struct TPlaced {
        int Place;
        TCatalogueRow Row;
    };
    std::vector<TPlaced> placed;
    for (const auto& row : FileMaskCatalogue()) placed.push_back({row.Place, {row.ItemClass, row.DefaultChecked}});
    for (const auto& row : SpecialActionCatalogue()) placed.push_back({row.Place, {row.ItemClass, row.DefaultChecked}});
    for (const auto& row : OutlookFirefoxCatalogue()) placed.push_back({row.Place, {row.ItemClass, row.DefaultChecked}});
    // The actions for today's Windows and browsers come after the forty.
    for (const auto& row : ModernWindowsCatalogue()) placed.push_back({row.Place, {row.ItemClass, row.DefaultChecked}});
    for (const auto& row : BrowserCatalogue()) placed.push_back({row.Place, {row.ItemClass, row.DefaultChecked}});
    std::stable_sort(placed.begin(), placed.end(), [](const TPlaced& a, const TPlaced& b) { return a.Place < b.Place; });
    std::vector<TCatalogueRow> rows;
    for (const auto& p : placed) rows.push_back(p.Row);
    // The community rules come last, as one row for all their entries.
    rows.push_back({TCleanupCustomItem::ClassOf<TCleanupWinapp2Item>(), false});
    // Windows' own disk cleanup handlers, as one row; it starts unticked.
    rows.push_back({TCleanupCustomItem::ClassOf<TCleanupVolumeCacheItem>(), false});
    return rows;
}
