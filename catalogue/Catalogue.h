// The whole catalogue of cleanup actions, in the order the main window lists them.
#pragma once

#include "engine/VantrelClasses.h"

#include <vector>

struct TCatalogueRow {
    TCleanupItemClass ItemClass;
    bool DefaultChecked;
};

// Every action class of the program, file-mask and special, in list order.
std::vector<TCatalogueRow> CleanupCatalogue();
