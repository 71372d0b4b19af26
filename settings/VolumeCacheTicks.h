// The ticks of Windows' disk cleanup handlers in the settings file, by handler
// key name (VolumeCacheItems, which the older program passes over).
#pragma once

#include "catalogue/VolumeCacheHandlers.h"
#include "settings/VantrelData.h"

#include <string>
#include <utility>
#include <vector>

// Each stored name once (the first of a name in any letter case), with its tick.
std::vector<std::pair<std::wstring, bool>> LoadVolumeCacheTicks(const TXMLVantrelSettingsType& Settings);
// The handlers' ticks, each one whose tick is known; names of handlers that are
// not registered now keep their stored ticks.
void StoreVolumeCacheTicks(const TXMLVantrelSettingsType& Settings, const std::vector<TVolumeCacheHandler>& Handlers);
