// The catalogue rows of the Outlook and Firefox actions.
#pragma once

#include "catalogue/Catalogue.h"

#include <vector>

// The Firefox cache, cookies and history actions and the Outlook Deleted Items
// action, with their places among all actions and their default ticks.
std::vector<TPlacedCatalogueRow> OutlookFirefoxCatalogue();
