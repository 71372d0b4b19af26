// The command-line switches "auto" and "lang:zh" / "lang:en" (with "/" or "-", any letter case).
#pragma once

#include "texts/Texts.h"

#include <string>
#include <vector>

// True when any argument after the program name is "/auto" or "-auto" in any letter case.
bool IsAutoModeArgs(const std::vector<std::wstring>& args);

// Reads the process's command line anew each time; always the same answer.
bool IsAutoMode();

// "/lang:zh" or "/lang:en" for this run only: true and Language when one is
// given (the last counts); an unknown language is passed over.
bool LanguageSwitchArgs(const std::vector<std::wstring>& args, TLanguage& Language);
bool LanguageSwitch(TLanguage& Language);
