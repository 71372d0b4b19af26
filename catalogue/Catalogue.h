// The whole catalogue of cleanup actions, in the order the main window lists them.
#pragma once

#include "engine/VantrelClasses.h"

#include <vector>

struct TCatalogueRow {
    TCleanupItemClass ItemClass;
    bool DefaultChecked;
};

// A catalogue row with its position among all actions (1 to 40 for the first
// forty, 41 onwards for those added after them), so the tables
// of the action families merge by sorting on it.
struct TPlacedCatalogueRow {
    int Place;
    TCleanupItemClass ItemClass;
    bool DefaultChecked;
};

// Every action class of the program, file-mask and special, in list order.
std::vector<TCatalogueRow> CleanupCatalogue();
