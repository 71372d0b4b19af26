// The whole catalogue of cleanup actions, in the order the main window lists them.
#pragma once

#include "engine/VantrelClasses.h"

#include <vector>

struct TCatalogueRow {
    TCleanupItemClass ItemClass;
    bool DefaultChecked;
};

// A catalogue row with its position (1 to 40) among all actions, so the tables
// of the action families merge by sorting on it.
struct TPlacedCatalogueRow {
    int Place;
    TCleanupItemClass ItemClass;
    bool DefaultChecked;
};

// Every action class of the program, file-mask and special, in list order.
std::vector<TCatalogueRow> CleanupCatalogue();
