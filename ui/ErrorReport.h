// How the program tells the user about errors. An interactive run shows the
// standard error box and waits for a click. An automatic run (a scheduled
// "/auto") has nobody to click: it shows nothing modal, writes each error as one
// line of its log, with the time and what the program was doing, and goes on as
// the interactive run would after the box. Every error the program reports goes
// through ReportError, so no caller decides between box and log.
#pragma once

#include "engine/DateTime.h"

#include <windows.h>

#include <string>

// Switches the process to automatic reporting. Lines reported before the log's
// name is known are kept and written once SetRunLogFileName gives it.
void StartAutomaticErrorReporting();
bool AutomaticErrorReporting();
void SetRunLogFileName(const std::wstring& FileName);

// Shows Message in the standard error box (owned by Owner), or in an automatic
// run writes "<time>  错误 (<Action>): <Message>" to the log. Action names what
// failed, for the log only ("保存设置", "清理操作 "..."", ...); may be empty.
void ReportError(HWND Owner, const std::wstring& Message, const std::wstring& Action = std::wstring());
// Reports the message of the exception in flight; call it only inside a catch block.
void ReportCurrentException(HWND Owner, const std::wstring& Action = std::wstring()) noexcept;
// True once any error has been reported in this process (the exit code of an automatic run).
bool ErrorsReported();

// Writes Text as a line of the automatic run's log; nothing in an interactive run.
void WriteRunLogLine(const std::wstring& Text);
// A log line: the local time stamp, two blanks, and Text on one line (line breaks
// become blanks; very long texts are cut).
std::wstring RunLogLine(TDateTime Time, const std::wstring& Text);

// For tests: interactive reporting again, no log, nothing reported yet.
void ResetErrorReportingForTesting();
