// The ticks of the winapp2.ini entries in the settings document.
#pragma once

#include "catalogue/Winapp2Rules.h"
#include "settings/VantrelData.h"

// Ticks every entry whose name has a Winapp2Item with a true Enabled (the
// first item of a name decides; names compare without regard to letter case).
void LoadWinapp2Ticks(const TXMLVantrelSettingsType& Settings, TWinapp2RuleSet& Rules);
// Writes one item per ticked entry that is offered now. The items of entries
// not offered now (their winapp2.ini is gone, their program not detected) stay
// as they are, so their ticks come back with them.
void StoreWinapp2Ticks(const TXMLVantrelSettingsType& Settings, const TWinapp2RuleSet& Rules);
