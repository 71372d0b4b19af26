// Where the settings file lives, and reading and writing its bytes safely.
#pragma once

#include <windows.h>

#include <string>

// The path of the settings file for this program; moves an old settings file from
// beside the executable into the per-user folder "<AppData>\Holvane\Vantrel".
std::wstring GetSettingsFileName();
// The same for ExecutablePath, with AppDataFolder as the user's application-data
// folder (with or without a trailing backslash; empty when there is none).
std::wstring GetSettingsFileName(const std::wstring& ExecutablePath, const std::wstring& AppDataFolder);

// The automatic run's log beside the settings file: its name with the extension
// ".log" ("Vantrel.log" beside "Vantrel.cfg").
std::wstring RunLogFileName(const std::wstring& SettingsFileName);

// The whole file. Raises EOSError when it cannot be opened or read.
std::string ReadSettingsFile(const std::wstring& FileName);

// Writes Bytes to "<FileName>.new", flushes it to disk and then puts it in place
// of FileName in one step. On any failure the new file is removed, FileName keeps
// its previous contents, and EOSError is raised. A read-only FileName is never
// replaced (EOSError with ERROR_ACCESS_DENIED, as Windows itself answers).
void WriteSettingsFile(const std::wstring& FileName, const std::string& Bytes);

// Copies FileName to CopyName, replacing an existing CopyName. Raises EOSError.
void CopySettingsFile(const std::wstring& FileName, const std::wstring& CopyName);

// A file (not a folder) of that name exists.
bool SettingsFileExists(const std::wstring& FileName);

// --- Test seam ---
// The call that puts the new file in place of the old one (MoveFileExW). Null restores it.
using TReplaceFileFunction = BOOL(WINAPI*)(LPCWSTR ExistingName, LPCWSTR NewName, DWORD Flags);
void SetReplaceFileForTesting(TReplaceFileFunction Replace);
