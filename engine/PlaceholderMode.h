// Cloud placeholders seen as they are. Windows may disguise them from a
// process: listings and file-information queries then hide the reparse point
// and the recall attributes, so a OneDrive folder looks like a plain folder and
// every rule of engine/CloudFiles.h is blind. The program asks to see them
// before anything lists or deletes: for the whole process on Windows 10 1803
// and later, per thread on 1709 (whose ntdll has only the thread form).
// Elsewhere (Windows 7/8, Wine) neither exists and nothing is done.
#pragma once

#include <string>

// Once per process, before the first listing (the reader calls it too, so no
// walk can come first): the process form where there is one, else the thread
// form on this thread. Later calls do nothing.
void ExposePlaceholders();

// On a thread that lists or deletes, before it does: the thread form where
// only that exists (the process form covers every thread); at most once per
// thread. Calls ExposePlaceholders first.
void ExposePlaceholdersOnThisThread();

// Empty, or the text of the first call that failed ("..." with its answer),
// for the automatic run's log; the synced-folder rule holds either way.
std::wstring PlaceholderExposureFailure();

// Tests: stand-ins for ntdll's RtlSetProcessPlaceholderCompatibilityMode and
// RtlSetThreadPlaceholderCompatibilityMode (null: that form is absent), and
// the process's state is forgotten, so the next call asks again. Set both to
// null with Restore true to go back to ntdll's own.
using TPlaceholderModeFunction = char(__stdcall*)(char Mode);
void SetPlaceholderModeFunctionsForTesting(TPlaceholderModeFunction Process, TPlaceholderModeFunction Thread,
                                           bool Restore = false);
