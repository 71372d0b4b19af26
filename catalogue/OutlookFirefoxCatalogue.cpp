#include "catalogue/OutlookFirefoxCatalogue.h"

#include "catalogue/FirefoxActions.h"
#include "catalogue/OutlookActions.h"

std::vector<TPlacedCatalogueRow> OutlookFirefoxCatalogue() {
    using T = TCleanupCustomItem;
    return {
        {6, T::ClassOf<TClearMozillaFirefoxCache>(), true},
        {7, T::ClassOf<TClearMozillaFirefoxCookies>(), false},
        {8, T::ClassOf<TClearMozillaFirefoxHistory>(), false},
        {36, T::ClassOf<TEmptyOutlookDeletedItemsFolder>(), false},
    };
}
