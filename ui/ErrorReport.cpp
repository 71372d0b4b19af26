#include "ui/ErrorReport.h"
#include "texts/Texts.h"

#include "engine/SystemRoutines.h"
#include "platform/ErrorBox.h"
#include "platform/LogFile.h"

#include <vector>

namespace {

bool GAutomatic = false;
bool GErrorsReported = false;
std::wstring GLogFileName;
std::vector<std::wstring> GPendingLines;

// A line stays readable and the log cannot be flooded by one message.
constexpr size_t MaxLogTextLength = 2000;

std::wstring OneLine(const std::wstring& text) {
    std::wstring line;
    line.reserve(text.size());
    for (const wchar_t c : text) {
        const bool blank = c == L'\r' || c == L'\n' || c == L'\t' || c == L' ';
        if (blank && (line.empty() || line.back() == L' ')) continue;
        line += blank ? L' ' : c;
    }
    while (!line.empty() && line.back() == L' ') line.pop_back();
    if (line.size() > MaxLogTextLength) line = line.substr(0, MaxLogTextLength) + L"...";
    return line;
}

void WriteLine(const std::wstring& line) {
    if (GLogFileName.empty()) {
        GPendingLines.push_back(line);
        return;
    }
    try {
        AppendLogLine(GLogFileName, line);
    } catch (...) {
        // Nowhere left to tell; the exit code still says that the run failed.
        ::OutputDebugStringW((L"Vantrel: " + line + L"\n").c_str());
    }
}

}  // namespace

void StartAutomaticErrorReporting() { GAutomatic = true; }
bool AutomaticErrorReporting() { return GAutomatic; }

void SetRunLogFileName(const std::wstring& FileName) {
    GLogFileName = FileName;
    std::vector<std::wstring> pending = std::move(GPendingLines);
    GPendingLines.clear();
    for (const std::wstring& line : pending) WriteLine(line);
}

std::wstring RunLogLine(TDateTime Time, const std::wstring& Text) { return DateTimeStampText(Time) + L"  " + OneLine(Text); }

void ReportError(HWND Owner, const std::wstring& Message, const std::wstring& Action) {
    GErrorsReported = true;
    if (!GAutomatic) {
        ShowErrorBox(Owner, Message);
        return;
    }
    WriteLine(RunLogLine(Now(), Action.empty() ? FormatText(TTextId::LogError, Message)
                                               : FormatText(TTextId::LogErrorIn, Action, Message)));
}

void ReportCurrentException(HWND Owner, const std::wstring& Action) noexcept {
    const std::wstring message = CurrentExceptionMessage();
    try {
        ReportError(Owner, message, Action);
    } catch (...) {
        GErrorsReported = true;  // out of memory while reporting: at least the exit code tells
    }
}

bool ErrorsReported() { return GErrorsReported; }

void WriteRunLogLine(const std::wstring& Text) {
    if (GAutomatic) WriteLine(RunLogLine(Now(), Text));
}

void ResetErrorReportingForTesting() {
    GAutomatic = false;
    GErrorsReported = false;
    GLogFileName.clear();
    GPendingLines.clear();
}
