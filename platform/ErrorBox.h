// The application's standard error box and the system's error texts.
#pragma once

#include <windows.h>

#include <string>

// The system's text for an error code, without the trailing line break.
std::wstring SysErrorMessage(DWORD code);

// Throws EOSError for GetLastError(), with the system's text.
[[noreturn]] void RaiseLastOSError();
[[noreturn]] void RaiseOSError(DWORD code);

// Shows Message in a box captioned "Vantrel" with the error icon. Owner may be null.
void ShowErrorBox(HWND owner, const std::wstring& message);

// Tests replace the box (which would wait for a click) with a recorder; null restores it.
using TErrorBoxHandler = void (*)(const std::wstring& message);
void SetErrorBoxHandlerForTesting(TErrorBoxHandler handler);

// Shows the message of whatever exception is in flight; call it only inside a catch block.
// This is the boundary handler for window procedures and callbacks.
void ShowCurrentException(HWND owner) noexcept;
