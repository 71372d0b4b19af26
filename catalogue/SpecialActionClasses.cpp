// The table of the special actions, merged by place with the other families.
#include "catalogue/SpecialActionClasses.h"

std::vector<TPlacedCatalogueRow> SpecialActionCatalogue() {
    using T = TCleanupCustomItem;
    return {
        {1, T::ClassOf<TClearBDSHistory>(), false},
        {2, T::ClassOf<TClearIECache>(), true},
        {3, T::ClassOf<TClearIECookies>(), false},
        {4, T::ClassOf<TClearIEHistory>(), false},
        {5, T::ClassOf<TClearMacromediaDreamweaverHistory>(), false},
        {9, T::ClassOf<TClearNethood>(), false},
        {10, T::ClassOf<TClearNeroBurningRomHistory>(), true},
        {11, T::ClassOf<TClearOfficeRecentFileLists>(), true},
        {13, T::ClassOf<TClearWindowsAccessoriesRecentFileLists>(), true},
        {14, T::ClassOf<TClearWindowsMediaPlayerHistory>(), true},
        {16, T::ClassOf<TClearWindowsRunMRU>(), false},
        {17, T::ClassOf<TClearWinRarHistory>(), true},
        {18, T::ClassOf<TClearWinZipHistory>(), true},
        {35, T::ClassOf<TEmptyEventLog>(), false},
        {38, T::ClassOf<TEmptyRecycleBin>(), true},
        {40, T::ClassOf<TExecuteDiskCleanup>(), false},
    };
}
