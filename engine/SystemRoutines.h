// The system routines that actions, the driver and the windows share.
#pragma once

#include "engine/DateTime.h"

#include <cstdint>
#include <string>
#include <vector>

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

// --- Drives and folders ---
// The roots ("C:\") of the fixed drives whose root reads as a directory, in letter order.
void GetFixedDrives(std::vector<std::wstring>& List);
// The temporary folder, with a trailing backslash.
std::wstring GetTempDirectory();
// The Windows folder, with a trailing backslash; raises EOSError when the system gives none.
std::wstring GetWindowsDir();
// The special folder of CSIDL with a trailing backslash, or empty when the system has none.
std::wstring GetSpecialFolder(int CSIDL);
// GetSpecialFolder with "*" appended (an unknown folder gives "\*").
std::wstring GetSpecialFolderMask(int CSIDL);

// --- Keeping the windows alive during long work ---
using TProcessMessagesFunction = void (*)();
// The application installs its message pump here; until then it does nothing.
void SetProcessMessagesHandler(TProcessMessagesFunction handler);
void ProcessPendingMessages();
