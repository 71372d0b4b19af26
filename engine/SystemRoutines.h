// The system routines that actions, the driver and the windows share.
#pragma once

#include "engine/DateTime.h"

#include <cstdint>
#include <string>

// --- Clock seam: production reads the system clock; tests may set both. ---
using TNowFunction = TDateTime (*)();
using TTickFunction = uint64_t (*)();
// Null restores the system clock.
void SetClockForTesting(TNowFunction now, TTickFunction ticks);
// The current local date-time.
TDateTime Now();

// Seconds since Windows started. Read from the 64-bit tick counter, so the value
// stays positive and meaningful for uptimes beyond 24.8 days.
int32_t GetUptimeSeconds();

// The file's last-access time, converted to local time at two-second
// resolution. Raises Exception "无法读取上一次访问文件的时间。" CR LF FileName
// when the file cannot be found.
TDateTime GetFileLastAccessTime(const std::wstring& fileName);

// --- The program's windows, for calls that need an owner. ---
struct HWND__;
void SetApplicationWindows(HWND__* applicationWindow, HWND__* mainWindow);
// The hidden window that owns the program's forms (null before it exists).
HWND__* ApplicationWindow();
// The main form (null before it exists and after it is destroyed).
HWND__* ApplicationMainWindow();

// --- Registry ---
struct HKEY__;
// Deletes every value of KeyPath under RootKey; subkeys and the key stay.
// A key that cannot be opened and values that cannot be deleted are passed over.
void DeleteRegistryValues(HKEY__* rootKey, const std::wstring& keyPath);
// True when KeyPath can be opened for reading under RootKey.
bool RegistryKeyExists(HKEY__* rootKey, const std::wstring& keyPath);
