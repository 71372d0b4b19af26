// Carrying out a winapp2.ini entry's RegKeys, with its REG exclusions kept.
#pragma once

#include "catalogue/Winapp2Format.h"

#include <cstdint>
#include <vector>

struct HKEY__;

// The predefined key of a winapp2.ini hive; nullptr for none.
HKEY__* HiveKey(TWinapp2RegPath::THive hive);

// Deletes the value (Key|Value) or the key with everything below it, in the
// registry view the path names (a WOW6432Node path reaches the 32-bit view).
// Keys and values that an exclusion names stay, and so do the keys above
// them; the rest of such a key's values go. A registry link is never followed.
// Answers how many keys and values went; missing keys are passed over.
int64_t DeleteWinapp2RegKey(const TWinapp2RegKey& RegKey, const std::vector<TWinapp2Exclude>& Excludes);
