// The command-line switch "auto" (with "/" or "-", any letter case).
#pragma once

#include <string>
#include <vector>

// True when any argument after the program name is "/auto" or "-auto" in any letter case.
bool IsAutoModeArgs(const std::vector<std::wstring>& args);

// Reads the process's command line anew each time; always the same answer.
bool IsAutoMode();
