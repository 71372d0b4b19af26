// A text log that grows by whole lines and stays below a size limit: when the
// next line would reach the limit, the oldest half of the file goes first.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>

constexpr size_t LogFileSizeLimit = 1024 * 1024;

// What stays of a log holding OldText when Adding more bytes are appended:
// all of it while the sum stays below Limit; otherwise its newer half, from the
// first line that starts in the second half (nothing when no line starts there,
// or when even that half would not leave room).
std::string_view KeptLogText(std::string_view OldText, size_t Adding, size_t Limit);

// Appends Line and CR LF to FileName as UTF-8, creating the file when missing and
// first dropping the oldest half (KeptLogText) when the file would reach Limit.
// The shortened file replaces the old one in one step. Raises EOSError.
void AppendLogLine(const std::wstring& FileName, const std::wstring& Line, size_t Limit = LogFileSizeLimit);
