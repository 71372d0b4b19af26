// The application's standard error box, the system's error texts and the messages of exceptions.
#pragma once

#include <windows.h>

#include <string>

// The system's text for an error code, without the trailing line break.
std::wstring SysErrorMessage(DWORD code);

// Throws EOSError for GetLastError(), with the system's text.
[[noreturn]] void RaiseLastOSError();
[[noreturn]] void RaiseOSError(DWORD code);

// The standard error box: Message in a box captioned "Vantrel" with the error
// icon. Owner may be null. The program reports errors through ReportError
// (ui/ErrorReport.h), which shows this box only in an interactive run.
void ShowErrorBox(HWND owner, const std::wstring& message);

// Tests replace the box (which would wait for a click) with a recorder; null restores it.
using TErrorBoxHandler = void (*)(const std::wstring& message);
void SetErrorBoxHandlerForTesting(TErrorBoxHandler handler);

// The message of whatever exception is in flight; call it only inside a catch block.
std::wstring CurrentExceptionMessage() noexcept;
