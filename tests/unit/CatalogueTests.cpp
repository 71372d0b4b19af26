// The whole catalogue in the order the main window lists it, with its default
// ticks: the order is also the order of the entries in the settings file.
#include "catalogue/BrowserActions.h"
#include "catalogue/Catalogue.h"
#include "catalogue/FileMaskClasses.h"
#include "catalogue/FirefoxActions.h"
#include "catalogue/ModernWindowsClasses.h"
#include "catalogue/OutlookActions.h"
#include "catalogue/SpecialActionClasses.h"
#include "catalogue/Winapp2Action.h"

#include <gtest/gtest.h>

#include <objbase.h>

#include <set>
#include <typeindex>
#include <typeinfo>

namespace {

struct TExpectedRow {
    std::type_index Class;
    bool Tick;
};

#define ROW(T, tick) TExpectedRow{std::type_index(typeid(T)), tick}

TEST(Catalogue, FortyActionsThenTodaysWindowsAndBrowsersInListOrderWithTheirDefaultTicks) {
    const TExpectedRow expected[] = {
        ROW(TClearBDSHistory, false), ROW(TClearIECache, true), ROW(TClearIECookies, false),
        ROW(TClearIEHistory, false), ROW(TClearMacromediaDreamweaverHistory, false),
        ROW(TClearMozillaFirefoxCache, true), ROW(TClearMozillaFirefoxCookies, false),
        ROW(TClearMozillaFirefoxHistory, false), ROW(TClearNethood, false), ROW(TClearNeroBurningRomHistory, true),
        ROW(TClearOfficeRecentFileLists, true), ROW(TClearRealOnePlayerHistory, true),
        ROW(TClearWindowsAccessoriesRecentFileLists, true), ROW(TClearWindowsMediaPlayerHistory, true),
        ROW(TClearWindowsRecentlyUsedDocuments, true), ROW(TClearWindowsRunMRU, false),
        ROW(TClearWinRarHistory, true), ROW(TClearWinZipHistory, true), ROW(TDeleteBackupFiles, true),
        ROW(TDeleteHelpRelatedFiles, true), ROW(TDeleteOracleClientLogFiles, true), ROW(TDeleteScandiskLogFiles, true),
        ROW(TDeleteScandiskSavedLostClusters, true), ROW(TDeleteTemporaryBDSFiles, true),
        ROW(TDeleteTemporaryFiles, true), ROW(TDeleteTemporaryWordFiles, true), ROW(TDeleteThumbnailsCacheFiles, true),
        ROW(TDeleteWindowsDebugMemoryDumpFiles, true), ROW(TDeleteWindowsLogFiles, false),
        ROW(TDeleteWindowsUpdateTemporaryFiles, true), ROW(TDeleteWindowsUpdateUninstallInformation, true),
        ROW(TEmptyJavaCache, true), ROW(TEmptyPrefetchAppCache, true), ROW(TEmptyUserTemporaryDirectory, true),
        ROW(TEmptyEventLog, false), ROW(TEmptyOutlookDeletedItemsFolder, false),
        ROW(TEmptyOutlookSecureTempDirectory, true), ROW(TEmptyRecycleBin, true),
        ROW(TEmptyWindowsTemporaryDirectory, true), ROW(TExecuteDiskCleanup, false),
        // After the forty: Windows 10 and 11, then each browser (cache, cookies, history, sessions).
        ROW(TDeleteWindowsUpdateDownloads, true), ROW(TDeleteExplorerThumbnailCache, true),
        ROW(TDeleteWindowsErrorReports, true), ROW(TDeleteUserCrashDumps, true), ROW(TEmptyDirectXShaderCache, true),
        ROW(TEmptyDeliveryOptimizationCache, false), ROW(TClearGoogleChromeCache, true),
        ROW(TClearGoogleChromeCookies, false), ROW(TClearGoogleChromeHistory, false),
        ROW(TClearGoogleChromeSessions, false), ROW(TClearMicrosoftEdgeCache, true),
        ROW(TClearMicrosoftEdgeCookies, false), ROW(TClearMicrosoftEdgeHistory, false),
        ROW(TClearMicrosoftEdgeSessions, false), ROW(TClearFirefoxQuantumCache, true),
        ROW(TClearFirefoxQuantumCookies, false), ROW(TClearFirefoxQuantumHistory, false),
        ROW(TClearFirefoxQuantumSessions, false),
        // Last, one row for every entry of winapp2.ini.
        ROW(TCleanupWinapp2Item, false),
    };
    ::CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED);
    const std::vector<TCatalogueRow> rows = CleanupCatalogue();
    ASSERT_EQ(rows.size(), std::size(expected));
    std::set<std::wstring> names;  // the settings file keys ticks by name
    for (size_t i = 0; i < rows.size(); ++i) {
        // Creating an action only reads its places; it never cleans anything.
        std::unique_ptr<TCleanupCustomItem> item = rows[i].ItemClass.Create();
        EXPECT_EQ(std::type_index(typeid(*item)), expected[i].Class) << "row " << i + 1;
        EXPECT_EQ(rows[i].DefaultChecked, expected[i].Tick) << "row " << i + 1;
        EXPECT_FALSE(item->Name.empty()) << "row " << i + 1;
        EXPECT_TRUE(names.insert(item->Name).second) << "row " << i + 1 << " repeats a name";
    }
    ::CoUninitialize();
}

}  // namespace
