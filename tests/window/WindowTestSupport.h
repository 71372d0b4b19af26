#pragma once

#include <functional>
#include <string>
#include <vector>

// The messages error boxes would have shown, in order.
extern std::vector<std::wstring> GShownErrors;

// Dispatches messages until Done answers true (or a minute passes).
bool PumpUntil(const std::function<bool()>& done);

// Takes away the quit messages a closed main window left in the queue.
void DrainQuit();
