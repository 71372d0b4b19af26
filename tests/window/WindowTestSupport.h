#pragma once

#include <string>
#include <vector>

// The messages error boxes would have shown, in order.
extern std::vector<std::wstring> GShownErrors;
